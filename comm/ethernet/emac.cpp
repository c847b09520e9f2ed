#include "comm/ethernet/emac.h"

#include <cstring>

#include "board_io.h"
#include "comm/ethernet/emac_driver.h"
#include "frame/trace/trace.h"
#include "mon_api.h"

namespace {

// EMAC registers.
constexpr uint32_t kEmac = 0xEF600800;
constexpr uint32_t kMr0 = kEmac + 0x00, kMr1 = kEmac + 0x04, kTmr0 = kEmac + 0x08, kRmr = kEmac + 0x10,
                   kIsr = kEmac + 0x14, kIser = kEmac + 0x18, kIahr = kEmac + 0x1C, kIalr = kEmac + 0x20,
                   kGaht1 = kEmac + 0x40, kIpgvr = kEmac + 0x58, kStacr = kEmac + 0x5C, kTrtr = kEmac + 0x60,
                   kRwmr = kEmac + 0x64;
constexpr uint32_t kMr0RxIdle = 0x80000000, kMr0TxIdle = 0x40000000, kMr0Reset = 0x20000000, kMr0Tx = 0x10000000,
                   kMr0Rx = 0x08000000;
constexpr uint32_t kRmrMulticast = 0x00080000;
// MAL and chip DCRs.
constexpr uint32_t kMalCfg = 0x180, kMalEsr = 0x181, kMalIer = 0x182, kTxCasr = 0x184, kTxCarr = 0x185,
                   kTxEobisr = 0x186, kTxDeir = 0x187, kRxCasr = 0x190, kRxCarr = 0x191, kRxEobisr = 0x192,
                   kRxDeir = 0x193, kTxCtp0 = 0x1A0, kRxCtp0 = 0x1C0, kRcbs0 = 0x1E0, kChipEth = 0xAA;
constexpr uint32_t kUicSr = 0xC0, kUicEr = 0xC2, kUicPr = 0xC4, kUicTr = 0xC5, kUicVcr = 0xC8;
constexpr uint32_t kChannel0 = 0x80000000;
constexpr uint32_t kEthernetSources = 0x003F0000;
// Descriptor bits.
constexpr uint16_t kEmpty = 0x8000, kWrap = 0x4000, kLast = 0x1000, kInterrupt = 0x0400, kFcs = 0x0200,
                   kPad = 0x0100, kRxErrors = 0x03FF;
// The PHY.
constexpr uint32_t kPhyControl = 0, kPhyStatus = 1, kPhyAdvertise = 4, kPhyPartner = 5, kPhyBoard = 0x10;
constexpr uint32_t kMiiLoops = 500;
constexpr uint32_t kResetWait = 10000000;

struct config {
  uint32_t area = 0;
  uint8_t mac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};  // until ETHERADD is read
  uint32_t speed = EMAC_SPEED_AUTO;
  uint32_t duplex = EMAC_DUPLEX_AUTO;
  uint32_t force_10_half = 1;
  uint32_t receive_mode = 0x40500000;
};

struct run_state {
  uint32_t rx_index = 0;
  uint32_t tx_busy = 0;
  NX_PACKET* tx_packet = nullptr;  // the frame the descriptor holds
  uint32_t link_state = 2;
  uint8_t link_up = 0;
  uint32_t mr1 = 0;
  emac_counters counters;
};

config g_config;
run_state g_run;

void short_delay() {
  volatile uint32_t spin = 0;
  for (uint32_t i = 0; i < 10000; ++i) spin = i;
  (void)spin;
}

uint32_t pool_address() { return g_config.area ? g_config.area : EMAC_FIXED_POOL; }
uint32_t tx_table() { return g_config.area ? g_config.area + EMAC_TX_TABLE : EMAC_FIXED_TX_TABLE; }
uint32_t rx_table() { return g_config.area ? g_config.area + EMAC_RX_TABLE : EMAC_FIXED_RX_TABLE; }
uint32_t rx_descriptor(uint32_t k) { return rx_table() + 8 * k; }

uint16_t d_control(uint32_t d) { return reg_read16(d); }
void d_set_control(uint32_t d, uint16_t v) { reg_write16(d, v); }
uint16_t d_length(uint32_t d) { return reg_read16(d + 2); }
void d_set_length(uint32_t d, uint16_t v) { reg_write16(d + 2, v); }
uint32_t d_buffer(uint32_t d) { return reg_read32(d + 4); }
void d_set_buffer(uint32_t d, uint32_t v) { reg_write32(d + 4, v); }

// The packet whose receive buffer starts at this address: the buffer is
// the packet's data start + 2, and the packet header lies in front of it.
NX_PACKET* rx_packet_of(uint32_t buffer) {
  if (buffer < 2) return nullptr;
  uint8_t* data = board_memory(buffer - 2, 2);
  return data ? reinterpret_cast<NX_PACKET*>(data - NX_PACKET_HEADER_SIZE) : nullptr;
}

bool take_protect() {
  emac_driver_state& s = emac_driver();
  return s.created && tx_semaphore_get(&s.protect, TX_NO_WAIT) == TX_SUCCESS;
}
bool give_protect() { return tx_semaphore_put(&emac_driver().protect) == TX_SUCCESS; }

void write_mac() {
  const uint8_t* m = g_config.mac;
  reg_write32(kIahr, (uint32_t(m[0]) << 8) | m[1]);
  reg_write32(kIalr, (uint32_t(m[2]) << 24) | (uint32_t(m[3]) << 16) | (uint32_t(m[4]) << 8) | m[5]);
}

// MR1 for the resolved speed and duplex; 10 Mb/s has no full-duplex value.
uint32_t mr1_for(uint32_t speed, uint32_t duplex, bool after_link_up) {
  if (speed == EMAC_SPEED_100) {
    if (duplex == EMAC_DUPLEX_FULL) return after_link_up ? 0x81780000 : 0x91780000;
    return 0x00780000;
  }
  return 0x00380000;
}

void set_mr1(uint32_t value) {
  g_run.mr1 = value;
  reg_write32(kMr1, value);
}

// Speed and duplex: negotiated in auto mode, else the stored codes.
void choose_link(uint32_t* speed, uint32_t* duplex, bool set_phy_by_hand) {
  if (g_config.speed == EMAC_SPEED_AUTO) {
    uint32_t speed100 = g_config.force_10_half ? 0 : 1;
    uint32_t full = speed100;
    AutoNegotiate(7000, &speed100, &full);
    *speed = speed100 ? EMAC_SPEED_100 : EMAC_SPEED_10;
    *duplex = full ? EMAC_DUPLEX_FULL : EMAC_DUPLEX_HALF;
    return;
  }
  if (g_config.force_10_half) {
    *speed = EMAC_SPEED_10;
    *duplex = EMAC_DUPLEX_HALF;
  } else {
    *speed = g_config.speed;
    *duplex = g_config.duplex;
  }
  if (!set_phy_by_hand) return;
  uint16_t control = 0;
  phy_read(kPhyControl, &control);
  control &= static_cast<uint16_t>(~0x1000);
  if (*speed == EMAC_SPEED_100)
    control |= 0x2000;
  else
    control &= static_cast<uint16_t>(~0x2000);
  if (*duplex == EMAC_DUPLEX_FULL)
    control |= 0x0100;
  else
    control &= static_cast<uint16_t>(~0x0100);
  phy_write(kPhyControl, control);
  uint16_t ability = *speed == EMAC_SPEED_100 ? (*duplex == EMAC_DUPLEX_FULL ? 0x0100 : 0x0080)
                                              : (*duplex == EMAC_DUPLEX_FULL ? 0x0040 : 0x0020);
  phy_write(kPhyAdvertise, static_cast<uint16_t>(0x0001 | ability));
}

void emac_mode_registers(uint32_t speed, uint32_t duplex) {
  set_mr1(mr1_for(speed, duplex, false));
  reg_write32(kRmr, g_config.receive_mode);
  reg_write32(kTrtr, 0x18000000);
  reg_write32(kRwmr, 0x0F002000);
  reg_write32(kIpgvr, 8);
}

// Starts a frame on the one transmit descriptor.
void transmit(NX_PACKET* packet) {
  const uint32_t d = tx_table();
  uint32_t length = packet->nx_packet_length;
  if (length > EMAC_MAX_FRAME) length = EMAC_MAX_FRAME;
  d_set_buffer(d, board_address(packet->nx_packet_prepend_ptr));
  d_set_control(d, static_cast<uint16_t>(kLast | kFcs | kPad | kWrap));
  d_set_length(d, static_cast<uint16_t>(length));
  d_set_control(d, static_cast<uint16_t>(d_control(d) | kEmpty | kInterrupt));
  g_run.tx_packet = packet;
  g_run.tx_busy = 1;
  reg_write32(kTmr0, reg_read32(kTmr0) | 0x80000000);
  ++g_run.counters.frames_sent;
}

// Gives the Ethernet header back and releases a sent (or refused) frame.
void release_sent(NX_PACKET* packet) {
  packet->nx_packet_prepend_ptr += 14;
  packet->nx_packet_length -= 14;
  nx_packet_transmit_release(packet);
}

// The MAL sends one buffer per frame: a chain is gathered into one packet
// of the driver's pool. Null when none is free.
NX_PACKET* single_buffer(NX_PACKET* packet) {
  if (!packet->nx_packet_next) return packet;
  emac_driver_state& s = emac_driver();
  NX_PACKET* one = nullptr;
  if (!s.pool || nx_packet_allocate(s.pool, &one, NX_RECEIVE_PACKET, TX_NO_WAIT) != NX_SUCCESS) return nullptr;
  ULONG copied = 0;
  one->nx_packet_prepend_ptr += 2;
  if (nx_packet_data_copy(packet, 0, one->nx_packet_prepend_ptr, packet->nx_packet_length, &copied) != NX_SUCCESS) {
    nx_packet_release(one);
    return nullptr;
  }
  one->nx_packet_append_ptr = one->nx_packet_prepend_ptr + copied;
  one->nx_packet_length = copied;
  nx_packet_transmit_release(packet);
  return one;
}

}  // namespace

// ------------------------------------------------------------------ set-up

UINT emac_set_buffer_area(uint32_t base) {
  g_config.area = base;
  return 0;
}

uint32_t emac_buffer_area_pool() { return pool_address(); }
const uint8_t* emac_mac_address() { return g_config.mac; }

UINT emac_set_mac_address(const uint8_t mac[6]) {
  std::memcpy(g_config.mac, mac, 6);
  return 0;
}

void emac_set_link_mode(uint32_t speed, uint32_t duplex, uint32_t force_10_half) {
  g_config.speed = speed;
  g_config.duplex = duplex;
  g_config.force_10_half = force_10_half;
}

void emac_power_on() {
  g_config = config();
  g_run = run_state();
}

NX_PACKET_POOL* emac_packet_pool() { return emac_driver().pool; }

// ------------------------------------------------------------------ MII

namespace {

// One MII operation: wait until the interface is free (read: without
// delays, write: one per poll), give the command, poll for completion.
// The STACR value at the end, or false with "<name> errN" printed.
bool mii_operation(const char* name, uint32_t command, bool delay_while_busy, uint32_t* stacr) {
  for (uint32_t n = 0; !(reg_read32(kStacr) & 0x8000);) {
    if (delay_while_busy) short_delay();
    if (++n > kMiiLoops) {
      monitor_printf("%s err1\n", name);
      return false;
    }
  }
  reg_write32(kStacr, command);
  for (uint32_t n = 0;;) {
    short_delay();
    short_delay();
    *stacr = reg_read32(kStacr);
    if (*stacr & 0x8000) break;
    if (++n > kMiiLoops) {
      monitor_printf("%s err2\n", name);
      return false;
    }
  }
  if (*stacr & 0x4000) {
    monitor_printf("%s err3\n", name);
    return false;
  }
  return true;
}

}  // namespace

int phy_read(uint32_t reg, uint16_t* value) {
  uint32_t stacr = 0;
  if (!mii_operation("phy_read", (reg & 0x1F) | 0x1420, false, &stacr)) return -1;
  *value = static_cast<uint16_t>(stacr >> 16);
  return 0;
}

int phy_write(uint32_t reg, uint16_t value) {
  uint32_t stacr = 0;
  return mii_operation("phy_write", (uint32_t(value) << 16) | (reg & 0x1F) | 0x2420, true, &stacr) ? 0 : -1;
}

UINT phy_probe() {
  phy_write(kPhyControl, 0x8000);
  short_delay();
  short_delay();
  uint16_t control = 0;
  return phy_read(kPhyControl, &control) == 0 ? 0 : NX_NOT_SUCCESSFUL;
}

int AutoNegotiate(uint32_t count, uint32_t* speed100, uint32_t* full) {
  if (count == 0) count = 1000;
  uint16_t control = 0;
  phy_read(kPhyControl, &control);
  control = static_cast<uint16_t>((control & ~0x4C80) | 0x1000);
  phy_write(kPhyControl, control);
  uint16_t status = 0;
  phy_read(kPhyStatus, &status);
  if (!(status & 0x0008)) {
    monitor_printf("AutoNegotiate: PHY does not support AUTO Negotiation\n");
    return -1;
  }
  uint16_t advertise = 0x0001;
  if ((status & 0x2000) && *speed100 == 1) {
    advertise |= 0x0080;
    if ((status & 0x4000) && *full == 1) advertise |= 0x0100;
  }
  if (status & 0x0800) {
    advertise |= 0x0020;
    if ((status & 0x1000) && *full == 1) advertise |= 0x0040;
  }
  phy_write(kPhyAdvertise, advertise);
  phy_read(kPhyControl, &control);
  phy_write(kPhyControl, static_cast<uint16_t>(control | 0x0200));
  for (;;) {
    uint16_t poll = 0;
    phy_read(kPhyStatus, &poll);
    if (poll & 0x0010) {
      monitor_printf("Autonegotiate: remote fault\n");
      return -1;
    }
    --count;
    if (count == 0 || (poll & 0x0020)) break;
  }
  uint16_t partner = 0;
  phy_read(kPhyPartner, &partner);
  if (partner & 0x2000) {
    monitor_printf("Autonegotiate: remote fault\n");
    return -1;
  }
  phy_read(kPhyControl, &control);
  const bool fast = (status & 0x2000) && *speed100 == 1 && (partner & 0x0080);
  *speed100 = fast ? 1 : 0;
  control = fast ? static_cast<uint16_t>(control | 0x2000) : static_cast<uint16_t>(control & ~0x2000);
  const bool duplex = *full == 1 && ((fast && (status & 0x4000) && (partner & 0x0100)) ||
                                     (!fast && (status & 0x1000) && (partner & 0x0040)));
  *full = duplex ? 1 : 0;
  control = duplex ? static_cast<uint16_t>(control | 0x0100) : static_cast<uint16_t>(control & ~0x0100);
  phy_write(kPhyControl, control);
  // The time-out went to the C library's printer, which shows nothing.
  return count == 0 ? -1 : 0;
}

// ------------------------------------------------------------------ rings

namespace {
// Gives the packets the receive ring holds back to the pool.
UINT release_rx_packets() {
  UINT status = NX_SUCCESS;
  for (uint32_t k = 0; k < EMAC_RX_DESCRIPTORS && status == NX_SUCCESS; ++k) {
    const uint32_t d = rx_descriptor(k);
    if (!d_buffer(d)) continue;
    NX_PACKET* p = rx_packet_of(d_buffer(d));
    status = p ? nx_packet_release(p) : NX_INVALID_PACKET;
    d_set_buffer(d, 0);
  }
  return status;
}
}  // namespace

UINT emac_rx_ring_init(bool free_packets) {
  if (!take_protect()) return NX_NOT_SUCCESSFUL;
  emac_driver_state& s = emac_driver();
  UINT status = NX_SUCCESS;
  if (!s.pool || !board_memory(rx_table(), EMAC_RX_DESCRIPTORS * 8)) {
    status = NX_NOT_SUCCESSFUL;
  } else {
    if (free_packets) status = release_rx_packets();
    for (uint32_t k = 0; k < EMAC_RX_DESCRIPTORS && status == NX_SUCCESS; ++k) {
      const uint32_t d = rx_descriptor(k);
      d_set_control(d, 0);
      d_set_length(d, 0);
      NX_PACKET* p = nullptr;
      status = nx_packet_allocate(s.pool, &p, NX_RECEIVE_PACKET, TX_NO_WAIT);
      if (status != NX_SUCCESS) break;
      d_set_buffer(d, board_address(p->nx_packet_prepend_ptr + 2));
      uint16_t control = kEmpty | kInterrupt;
      if (k == EMAC_RX_DESCRIPTORS - 1) control |= kWrap;
      d_set_control(d, control);
    }
    g_run.rx_index = 0;
  }
  if (!give_protect() && status == NX_SUCCESS) status = NX_NOT_SUCCESSFUL;
  return status;
}

UINT emac_tx_ring_init() {
  if (!take_protect()) return NX_NOT_SUCCESSFUL;
  UINT status = NX_SUCCESS;
  const uint32_t d = tx_table();
  if (!board_memory(d, 8)) {
    status = NX_NOT_SUCCESSFUL;
  } else {
    d_set_control(d, 0);
    d_set_length(d, 0);
    if (g_run.tx_packet) release_sent(g_run.tx_packet);
    g_run.tx_packet = nullptr;
    d_set_buffer(d, 0);
    d_set_control(d, kWrap);
    g_run.tx_busy = 0;
  }
  if (!give_protect() && status == NX_SUCCESS) status = NX_NOT_SUCCESSFUL;
  return status;
}

// ------------------------------------------------------------------ hardware

UINT emac_hardware_init() {
  mtdcr(kMalCfg, 0x80000000);
  for (uint32_t n = 0; n < kResetWait && (mfdcr(kMalCfg) & 0x80000000); ++n) {
  }
  if (emac_driver().phy_absent) return NX_NOT_SUCCESSFUL;
  uint32_t speed = 0, duplex = 0;
  choose_link(&speed, &duplex, true);
  uint16_t board = 0;
  phy_read(kPhyBoard, &board);
  phy_write(kPhyBoard, static_cast<uint16_t>((board | 0x0020) & ~0x0010));
  mtdcr(kChipEth, 0x60606000);
  mtdcr(kMalCfg, mfdcr(kMalCfg) | 0x0007C082);
  UINT status = emac_rx_ring_init(false);
  if (status == NX_SUCCESS) status = emac_tx_ring_init();
  if (status != NX_SUCCESS) return status;
  write_mac();
  mtdcr(kRxCarr, kChannel0);
  mtdcr(kTxCarr, kChannel0);
  mtdcr(kTxCtp0, tx_table());
  mtdcr(kRxCtp0, rx_table());
  mtdcr(kRcbs0, 0x60);
  mtdcr(kTxCasr, kChannel0);
  mtdcr(kRxCasr, kChannel0);
  reg_write32(kMr0, kMr0Tx | kMr0Rx);
  emac_mode_registers(speed, duplex);
  return NX_SUCCESS;
}

void emac_initialize() {
  reg_write32(kMr0, kMr0Reset);
  for (uint32_t n = 0; n < kResetWait && (reg_read32(kMr0) & kMr0Reset); ++n) {
  }
  uint32_t speed = 0, duplex = 0;
  choose_link(&speed, &duplex, false);
  write_mac();
  emac_mode_registers(speed, duplex);
  reg_write32(kMr0, kMr0Tx | kMr0Rx);
}

void emac_enable() {
  mtdcr(kUicEr, mfdcr(kUicEr) | kEthernetSources);
  mtdcr(kMalIer, 0x1F);
  reg_write32(kIser, 0x000F0000);
  mtdcr(kUicSr, 0xFFFFFFFF);
  mtdcr(kUicPr, mfdcr(kUicPr) | kEthernetSources);
  mtdcr(kUicTr, 0x20000000);
  mtdcr(kUicVcr, 1);
  mtdcr(kUicSr, 0xFFFFFFFF);
}

namespace {
// The idle waits are bounded as the reset waits are.
void mr0_clear_and_wait(uint32_t enable, uint32_t idle) {
  reg_write32(kMr0, reg_read32(kMr0) & ~enable);
  for (uint32_t n = 0; n < kResetWait && !(reg_read32(kMr0) & idle); ++n) {
  }
}
}  // namespace

void emac_disable() {
  mr0_clear_and_wait(kMr0Rx, kMr0RxIdle);
  mr0_clear_and_wait(kMr0Tx, kMr0TxIdle);
  mtdcr(kUicEr, mfdcr(kUicEr) & ~kEthernetSources);
  mtdcr(kMalIer, 0);
  reg_write32(kIser, 0);
  mtdcr(kUicSr, 0xFFFFFFFF);
}

void emac_multicast_join() {
  mr0_clear_and_wait(kMr0Rx, kMr0RxIdle);
  for (uint32_t k = 0; k < 4; ++k) reg_write32(kGaht1 + 4 * k, 0xFFFF);
  reg_write32(kRmr, reg_read32(kRmr) | kRmrMulticast);
  reg_write32(kMr0, reg_read32(kMr0) | kMr0Rx);
}

void emac_multicast_leave() {
  mr0_clear_and_wait(kMr0Rx, kMr0RxIdle);
  reg_write32(kRmr, reg_read32(kRmr) & ~kRmrMulticast);
  for (uint32_t k = 0; k < 4; ++k) reg_write32(kGaht1 + 4 * k, 0);
  reg_write32(kMr0, reg_read32(kMr0) | kMr0Rx);
}

// ------------------------------------------------------------------ frames

UINT emac_send_packet(NX_IP* ip, NX_PACKET* packet) {
  if (packet->nx_packet_length > EMAC_MAX_FRAME) {
    ++g_run.counters.frames_refused;
    release_sent(packet);
    return NX_NOT_SUCCESSFUL;
  }
  if (!take_protect()) {
    // The frame is lost, not its packet.
    ++g_run.counters.frames_refused;
    release_sent(packet);
    return NX_NOT_SUCCESSFUL;
  }
  NX_PACKET* frame = single_buffer(packet);
  if (!frame) {
    ++g_run.counters.frames_refused;
    release_sent(packet);
  } else if (!g_run.tx_busy) {
    transmit(frame);
  } else {
    emac_driver_state& s = emac_driver();
    frame->nx_packet_queue_next = nullptr;
    if (!s.queue || s.queue == NX_PACKET_NOT_QUEUED) {
      s.queue = frame;
    } else {
      NX_PACKET* last = s.queue;
      while (last->nx_packet_queue_next && last->nx_packet_queue_next != NX_PACKET_NOT_QUEUED)
        last = last->nx_packet_queue_next;
      last->nx_packet_queue_next = frame;
    }
    ++g_run.counters.tx_queued;
  }
  return give_protect() ? NX_SUCCESS : NX_NOT_SUCCESSFUL;
}

UINT emac_receive_dispatch(NX_IP* ip, NX_PACKET* packet) {
  if (packet->nx_packet_length < 14) {
    nx_packet_release(packet);
    return 0;
  }
  const uint8_t* f = packet->nx_packet_prepend_ptr;
  const uint16_t type = static_cast<uint16_t>((f[12] << 8) | f[13]);
  auto strip = [packet] {
    packet->nx_packet_prepend_ptr += 14;
    packet->nx_packet_length -= 14;
  };
  if (type == 0x0800) {
    strip();
    _nx_ip_packet_deferred_receive(ip, packet);
  } else if (type == 0x0806) {
    // Requests for the instance's address now, also one DHCP gave it.
    const uint32_t target = packet->nx_packet_length >= 42
                                ? (uint32_t(f[38]) << 24) | (uint32_t(f[39]) << 16) | (uint32_t(f[40]) << 8) | f[41]
                                : 0;
    strip();
    if (target != 0 && target == ip->nx_ip_address) {
      _nx_arp_packet_deferred_receive(ip, packet);
    } else {
      ++g_run.counters.arp_filtered;
      nx_packet_release(packet);
    }
  } else if (type == 0x8035) {
    strip();
    _nx_rarp_packet_deferred_receive(ip, packet);
  } else {
    nx_packet_release(packet);
  }
  return 0;
}

// ------------------------------------------------------------------ interrupts

void emac_rx_isr() {
  const uint32_t eob = mfdcr(kRxEobisr);
  if (!(eob & kChannel0)) return;
  mtdcr(kRxEobisr, eob);
  if (!take_protect()) return;
  emac_driver_state& s = emac_driver();
  for (uint32_t guard = 0; guard < EMAC_RX_DESCRIPTORS; ++guard) {
    const uint32_t d = rx_descriptor(g_run.rx_index);
    const uint16_t control = d_control(d);
    if (control & kEmpty) break;
    g_run.rx_index = (g_run.rx_index + 1) % EMAC_RX_DESCRIPTORS;
    uint32_t length = d_length(d);
    if (length > EMAC_MAX_FRAME || (control & kRxErrors)) length = 0;
    NX_PACKET* fresh = nullptr;
    if (length == 0 || !s.pool || nx_packet_allocate(s.pool, &fresh, NX_RECEIVE_PACKET, TX_NO_WAIT) != NX_SUCCESS) {
      // The frame is lost; the descriptor keeps its buffer.
      ++g_run.counters.frames_dropped;
      d_set_control(d, static_cast<uint16_t>((control & (kWrap | kInterrupt)) | kEmpty));
      continue;
    }
    NX_PACKET* packet = rx_packet_of(d_buffer(d));
    d_set_buffer(d, board_address(fresh->nx_packet_prepend_ptr + 2));
    d_set_control(d, static_cast<uint16_t>((control & (kWrap | kInterrupt)) | kEmpty));
    if (!packet) continue;
    packet->nx_packet_prepend_ptr += 2;
    const uint8_t* f = packet->nx_packet_prepend_ptr;
    if (length >= 18 && f[12] == 0x08 && f[13] == 0x00) {
      // Pad bytes never reach the stack; a total length beyond what came
      // does not make the packet longer than its frame.
      const uint32_t ip_total = (uint32_t(f[16]) << 8) | f[17];
      if (ip_total + 14 < length) length = ip_total + 14;
    }
    packet->nx_packet_length = length;
    packet->nx_packet_append_ptr = packet->nx_packet_prepend_ptr + length;
    ++g_run.counters.frames_received;
    g_run.counters.bytes_received += length;
    emac_receive_dispatch(s.ip, packet);
  }
  give_protect();
}

void emac_tx_isr() {
  const uint32_t eob = mfdcr(kTxEobisr);
  mtdcr(kTxEobisr, eob);
  if (!take_protect()) return;
  emac_driver_state& s = emac_driver();
  const uint32_t d = tx_table();
  if (g_run.tx_packet && !(d_control(d) & kEmpty)) {
    release_sent(g_run.tx_packet);
    g_run.tx_packet = nullptr;
    g_run.tx_busy = 0;
    d_set_buffer(d, 0);
    if (s.queue && s.queue != NX_PACKET_NOT_QUEUED) {
      NX_PACKET* next = s.queue;
      s.queue = next->nx_packet_queue_next;
      next->nx_packet_queue_next = nullptr;
      transmit(next);
    }
  }
  give_protect();
}

void emac_error_isr() {
  const uint32_t esr = mfdcr(kMalEsr);
  mtdcr(kMalEsr, esr);
  if (!(esr & 0x80000000)) return;
  ++g_run.counters.errors;
  const bool receive = (esr & 0x40000000) != 0;
  if (esr & 0x00010000) {
    // The old ring's packets go back to the pool before it is rebuilt.
    if (take_protect()) {
      release_rx_packets();
      give_protect();
    }
    if (emac_hardware_init() == NX_SUCCESS) emac_enable();
    return;
  }
  if (esr & 0x001E0000) {
    const UINT status = receive ? emac_rx_ring_init(true) : emac_tx_ring_init();
    if (status != NX_SUCCESS) return;
    if (!(mfdcr(kRxCasr) & kChannel0)) {
      mtdcr(kRxCarr, kChannel0);
      mtdcr(kRxCasr, kChannel0);
    }
    if (!(mfdcr(kTxCasr) & kChannel0)) {
      mtdcr(kTxCarr, kChannel0);
      mtdcr(kTxCasr, kChannel0);
    }
  }
}

void mal_rx_error_isr() {
  const uint32_t v = mfdcr(kRxDeir);
  mtdcr(kRxDeir, v);
  ++g_run.counters.errors;
  if (emac_rx_ring_init(true) == NX_SUCCESS) {
    mtdcr(kRxCarr, kChannel0);
    mtdcr(kRxCasr, kChannel0);
  }
}

void mal_tx_error_isr() {
  const uint32_t v = mfdcr(kTxDeir);
  mtdcr(kTxDeir, v);
  ++g_run.counters.errors;
  if (emac_tx_ring_init() == NX_SUCCESS) mtdcr(kTxCasr, kChannel0);
}

void emac_clear_status() { reg_write32(kIsr, reg_read32(kIsr)); }

// ------------------------------------------------------------------ link

void emac_link_monitor() {
  uint16_t status = 0;
  if (phy_read(kPhyStatus, &status) != 0) {
    g_run.link_up = 0;
    return;
  }
  const bool up = (status & 0x0004) != 0;
  if (g_config.speed != EMAC_SPEED_AUTO) {
    g_run.link_up = up ? 1 : 0;
    return;
  }
  if (!up) {
    if (g_run.link_state == 1) {
      monitor_printf("link down\n\r");
      g_run.link_up = 0;
    }
    g_run.link_state = 0;
  } else if (g_run.link_state == 0) {
    monitor_printf("link enabled\n\r");
    g_run.link_up = 1;
    g_run.link_state = 1;
    mon_watchdog_enable(0);
    uint32_t speed = 0, duplex = 0;
    choose_link(&speed, &duplex, false);
    mon_watchdog_enable(0xFF);
    set_mr1(mr1_for(speed, duplex, true));
  } else {
    g_run.link_state = 1;
    g_run.link_up = 1;
  }
}

uint8_t emac_link_up() { return g_run.link_up; }
uint32_t emac_link_state() { return g_run.link_state; }
uint32_t emac_mr1() { return g_run.mr1; }
emac_counters emac_get_counters() { return g_run.counters; }
void emac_clear_counters() { g_run.counters = emac_counters(); }
