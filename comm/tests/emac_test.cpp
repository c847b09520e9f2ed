// The Ethernet MAC layer and its driver entry against the board's EMAC, MAL
// and PHY models: PHY probe and link settings, the descriptor rings, frames
// out through the one transmit descriptor and its queue, frames in through
// the receive ring, and the error interrupts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"
#include "comm/comm_services.h"
#include "comm/ethernet/emac.h"
#include "comm/ethernet/emac_driver.h"
#include "comm/tests/comm_fixture.h"
#include "frame/board/interrupt.h"
#include "frame/console/vms_command.h"
#include "frame/os/interrupts_masked.h"
#include "frame/trace/trace.h"

namespace {

using bytes = std::vector<uint8_t>;
constexpr uint8_t kOwnMac[6] = {0x02, 0x05, 0xAC, 0x12, 0x34, 0x56};
constexpr uint8_t kPeerMac[6] = {0x52, 0x55, 0x0A, 0x00, 0x02, 0x02};
constexpr uint32_t kOwnIp = IP_ADDRESS(10, 0, 2, 15);

void put16(bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}

// A frame to this station: header, then `payload` bytes of which the first
// are an IPv4 header with the given total length; padded to `frame_size`.
bytes IpFrame(uint32_t total_length, size_t payload, size_t frame_size = 0) {
  bytes f(14 + payload, 0xAA);
  std::copy(kOwnMac, kOwnMac + 6, f.begin());
  std::copy(kPeerMac, kPeerMac + 6, f.begin() + 6);
  put16(f, 12, 0x0800);
  f[14] = 0x45;
  put16(f, 16, total_length);
  if (f.size() < frame_size) f.resize(frame_size, 0);
  return f;
}

bytes ArpRequest(uint32_t target) {
  bytes f(60, 0);
  std::fill(f.begin(), f.begin() + 6, 0xFF);
  std::copy(kPeerMac, kPeerMac + 6, f.begin() + 6);
  put16(f, 12, 0x0806);
  put16(f, 14, 1);
  put16(f, 16, 0x0800);
  f[18] = 6;
  f[19] = 4;
  put16(f, 20, 1);
  std::copy(kPeerMac, kPeerMac + 6, f.begin() + 22);
  put16(f, 28, 0x0A00);
  put16(f, 30, 0x0202);
  put16(f, 38, target >> 16);
  put16(f, 40, target & 0xFFFF);
  return f;
}


uint16_t Checksum(const bytes& b, size_t from, size_t n) {
  uint32_t sum = 0;
  for (size_t k = 0; k + 1 < n; k += 2) sum += (b[from + k] << 8) | b[from + k + 1];
  if (n & 1) sum += b[from + n - 1] << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

// An ICMP echo request from the peer, in a frame padded as a wire pads it.
bytes PingFrame(uint32_t to, uint16_t sequence) {
  bytes f = IpFrame(28 + 8, 28 + 8);
  f[15] = 0;
  put16(f, 18, 0x1234);
  put16(f, 20, 0);
  f[22] = 64;
  f[23] = 1;
  put16(f, 24, 0);
  put16(f, 26, 0x0A00);
  put16(f, 28, 0x0202);
  put16(f, 30, to >> 16);
  put16(f, 32, to & 0xFFFF);
  put16(f, 24, Checksum(f, 14, 20));
  bytes icmp = {8, 0, 0, 0, 0x00, 0x07, uint8_t(sequence >> 8), uint8_t(sequence), 'p', 'i', 'n', 'g', 0, 0, 0, 0};
  icmp.resize(16);
  put16(icmp, 2, Checksum(icmp, 0, icmp.size()));
  f.resize(34);
  f.insert(f.end(), icmp.begin(), icmp.end());
  put16(f, 16, 20 + icmp.size());
  put16(f, 24, 0);
  put16(f, 24, Checksum(f, 14, 20));
  f.resize(60, 0);
  return f;
}

class EmacTest : public ct::CommTest {
 protected:
  void SetUp() override {
    CommTest::SetUp();
    saved_ = comm_get_services();
    saved_links_ = vms_get_links();
    interrupt_power_on();
    board::reset(board::board_config());
    board_install_external_vector(&Interrupt::DispatchWithInterruptsOff);
    emac_power_on();
    emac_driver_reset();
    emac_install(board::ETHERNET_MEMORY_BASE);
    emac_set_mac_address(kOwnMac);
    emac_set_link_mode(100, 100, 0);  // as the network start-up sets it
    ip_.nx_ip_address = kOwnIp;
    rtos::cpu_scope s;
    // Frames to send come from a pool the MAL reaches, as the main pool is.
    ASSERT_EQ(NX_SUCCESS, nx_packet_pool_create(&pool_, "frames", 1500, board_memory(board::PACKET_MEMORY_BASE, 0x8000),
                                                0x8000));
  }

  void TearDown() override {
    rtos::settle();
    {
      rtos::cpu_scope s;
      emac_driver_reset();
    }
    for (unsigned k = 0; k < 6; ++k) interrupt_set_ethernet_service(k, nullptr);
    board::shutdown();
    board_install_external_vector(nullptr);
    comm_set_services(saved_);
    vms_set_links(saved_links_);
    emac_power_on();
    CommTest::TearDown();
  }

  UINT Request(UINT command, NX_PACKET* packet = nullptr, ULONG* value = nullptr) {
    NX_IP_DRIVER r{};
    r.nx_driver_command = command;
    r.nx_driver_ip = &ip_;
    r.nx_driver_packet = packet;
    r.nx_driver_dest_msw = (ULONG(kPeerMac[0]) << 8) | kPeerMac[1];
    r.nx_driver_dest_lsw = (ULONG(kPeerMac[2]) << 24) | (ULONG(kPeerMac[3]) << 16) | (ULONG(kPeerMac[4]) << 8) |
                           kPeerMac[5];
    r.nx_driver_return_ptr = value;
    // As the IP instance's thread calls it: interrupts wait while it runs.
    EXPECT_TRUE(rtos::run_in_thread([&r] { emac_driver_entry(&r); }));
    rtos::settle();
    return r.nx_driver_status;
  }

  void Start() {
    ASSERT_EQ(NX_SUCCESS, Request(NX_DRIVER_INITIALIZE));
    ASSERT_EQ(NX_SUCCESS, Request(NX_DRIVER_ENABLE));
  }

  // An IP datagram of n bytes, with room for the link header in front.
  NX_PACKET* Datagram(size_t n, uint8_t fill) {
    rtos::cpu_scope s;
    NX_PACKET* p = nullptr;
    EXPECT_EQ(NX_SUCCESS, nx_packet_allocate(&pool_, &p, NX_PHYSICAL_HEADER, NX_NO_WAIT));
    bytes data(n, fill);
    EXPECT_EQ(NX_SUCCESS, nx_packet_data_append(p, data.data(), n, &pool_, NX_NO_WAIT));
    return p;
  }

  void Receive(const bytes& frame) {
    board::emac().receive(frame.data(), frame.size());
    rtos::settle();
  }

  ULONG EnetFree() { return emac_packet_pool() ? emac_packet_pool()->nx_packet_pool_available : 0; }

  comm_services saved_{};
  vms_links saved_links_{};
  NX_IP ip_{};
  NX_PACKET_POOL pool_{};
};

// ---------------------------------------------------------------- PHY and link

TEST_F(EmacTest, SpeedAndDuplexReachThePhyAndMr1) {
  using P = board::phy_model;
  struct row {
    const char* what;
    uint32_t speed, duplex, force;
    uint16_t partner;
    uint16_t control_set, control_clear, advertise;
    uint32_t mr1;
  } rows[] = {
      {"auto, forced to 10 half", 100, 100, 1, 0x01E1, 0x1000, 0x2100, 0x0021, 0x00380000},
      {"auto, 100 full partner", 100, 100, 0, 0x01E1, 0x3100, 0, 0x01E1, 0x91780000},
      {"auto, 100 half partner", 100, 100, 0, 0x0081, 0x3000, 0x0100, 0x01E1, 0x00780000},
      {"auto, 10 full partner", 100, 100, 0, 0x0041, 0x1100, 0x2000, 0x01E1, 0x00380000},
      {"fixed 100 full", 101, 20, 0, 0x01E1, 0x2100, 0x1000, 0x0101, 0x91780000},
      {"fixed 100 half", 101, 10, 0, 0x01E1, 0x2000, 0x1100, 0x0081, 0x00780000},
      {"fixed 10 full", 102, 20, 0, 0x01E1, 0x0100, 0x3000, 0x0041, 0x00380000},
      {"fixed, forced", 101, 20, 1, 0x01E1, 0, 0x3100, 0x0021, 0x00380000},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    TearDown();
    SetUp();
    board::emac().phy().set_partner(r.partner);
    emac_set_link_mode(r.speed, r.duplex, r.force);
    ASSERT_EQ(NX_SUCCESS, Request(NX_DRIVER_INITIALIZE));
    P& phy = board::emac().phy();
    EXPECT_EQ(r.control_set, phy.reg(0) & r.control_set);
    EXPECT_EQ(0, phy.reg(0) & r.control_clear);
    EXPECT_EQ(r.advertise, phy.reg(4));
    EXPECT_EQ(r.mr1, board::emac().reg(board::emac_model::MR1));
    EXPECT_EQ(0x0020, phy.reg(0x10) & 0x0030);
    EXPECT_EQ(0x60606000u, board::emac().dcr(board::emac_model::CHIP_ETH));
  }
}

TEST_F(EmacTest, InitialiseProgramsAddressRingsAndInstance) {
  Start();
  board::emac_model& m = board::emac();
  EXPECT_EQ(0x0205u, m.reg(board::emac_model::IAHR));
  EXPECT_EQ(0xAC123456u, m.reg(board::emac_model::IALR));
  EXPECT_EQ(board::ETHERNET_MEMORY_BASE + 0x11040, m.dcr(board::emac_model::MAL_TXCTP0R));
  EXPECT_EQ(board::ETHERNET_MEMORY_BASE + 0x11060, m.dcr(board::emac_model::MAL_RXCTP0R));
  EXPECT_EQ(0x60u, m.dcr(board::emac_model::MAL_RCBS0));
  EXPECT_EQ(0x40500000u, m.reg(board::emac_model::RMR));
  EXPECT_EQ(0x80000000u, m.dcr(board::emac_model::MAL_RXCASR));
  EXPECT_EQ(0x1Fu, m.dcr(board::emac_model::MAL_IER));
  EXPECT_EQ(0x003F0000u, mfdcr(board::UIC0_ER) & 0x003F0000u);
  // 32 packets sit in the ring, the rest of the pool is slack.
  EXPECT_EQ(emac_packet_pool()->nx_packet_pool_total - 32, EnetFree());
  EXPECT_EQ(0x0205u, ip_.nx_ip_physical_msw);
  EXPECT_EQ(0xAC123456u, ip_.nx_ip_physical_lsw);
  EXPECT_EQ(1u, ip_.nx_ip_mapping_needed);
  EXPECT_EQ(1u, ip_.nx_ip_driver_datagrams);
  EXPECT_EQ(1u, ip_.nx_ip_link_up);
  EXPECT_EQ(EMAC_DRIVER_ENABLED, emac_driver_state_get());
}

TEST_F(EmacTest, DriverRequestsFollowTheState) {
  ULONG value = 7;
  EXPECT_EQ(NX_NOT_SUCCESSFUL, Request(NX_DRIVER_ENABLE));
  EXPECT_EQ(NX_NOT_ENABLED, Request(NX_DRIVER_DISABLE));
  EXPECT_EQ(NX_NOT_ENABLED, Request(NX_DRIVER_MULTICAST_JOIN));
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_INITIALIZE));
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_INITIALIZE)) << "a second initialise does nothing";
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_GET_STATUS, nullptr, &value));
  EXPECT_EQ(0u, value);
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_ENABLE));
  EXPECT_EQ(NX_ALREADY_ENABLED, Request(NX_DRIVER_ENABLE));
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_GET_STATUS, nullptr, &value));
  EXPECT_EQ(1u, value);
  EXPECT_EQ(NX_UNHANDLED_COMMAND, Request(NX_DRIVER_GET_SPEED, nullptr, &value));
  EXPECT_EQ(0u, value);
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_DISABLE));
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_GET_STATUS, nullptr, &value));
  EXPECT_EQ(0u, value);
  const ULONG before = pool_.nx_packet_pool_available;
  EXPECT_EQ(NX_NOT_ENABLED, Request(NX_DRIVER_SEND, Datagram(40, 1)));
  EXPECT_EQ(before, pool_.nx_packet_pool_available) << "a refused frame's packet is released";
}

TEST_F(EmacTest, MissingPhyEndsInitialisation) {
  board::emac().phy().set_present(false);
  trace_capture out;
  EXPECT_EQ(NX_NOT_SUCCESSFUL, Request(NX_DRIVER_INITIALIZE));
  EXPECT_EQ(EMAC_DRIVER_NO_PHY, emac_driver_state_get());
  EXPECT_EQ(1, comm_get_services().phy_absent());
  EXPECT_TRUE(out.contains("phy_read err3\n"));
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_INITIALIZE)) << "not retried";
  EXPECT_EQ(EMAC_DRIVER_NO_PHY, emac_driver_state_get());
}

TEST_F(EmacTest, NoBufferAreaNoPool) {
  emac_set_buffer_area(0);  // the fixed addresses: no memory there on this board
  EXPECT_EQ(NX_NOT_SUCCESSFUL, Request(NX_DRIVER_INITIALIZE));
  EXPECT_EQ(EMAC_DRIVER_NO_POOL, emac_driver_state_get());
}

TEST_F(EmacTest, MiiFailuresAreReported) {
  uint16_t value = 0x1234;
  board::emac().set_mii_stuck(true);
  trace_capture out;
  {
    rtos::cpu_scope s;
    board::emac().phy().set_present(true);
    reg_write32(0xEF60085C, 0x1421);  // an operation that never completes
    EXPECT_EQ(-1, phy_read(1, &value));
    EXPECT_EQ(-1, phy_write(0, 0));
  }
  EXPECT_TRUE(out.contains("phy_read err1\n"));
  EXPECT_TRUE(out.contains("phy_write err1\n"));
  EXPECT_EQ(0x1234, value) << "a failed read leaves the output";
}

TEST_F(EmacTest, AutoNegotiationFailures) {
  struct row {
    const char* what;
    bool can_negotiate, remote_fault;
    const char* message;
  } rows[] = {
      {"no auto-negotiation", false, false, "AutoNegotiate: PHY does not support AUTO Negotiation\n"},
      {"remote fault", true, true, "Autonegotiate: remote fault\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    board::emac().phy().set_abilities(0x7800, r.can_negotiate);
    board::emac().phy().set_remote_fault(r.remote_fault);
    trace_capture out;
    uint32_t speed100 = 1, full = 1;
    rtos::cpu_scope s;
    EXPECT_EQ(-1, AutoNegotiate(7000, &speed100, &full));
    EXPECT_TRUE(out.contains(r.message));
    EXPECT_EQ(1u, speed100) << "stays as offered";
    EXPECT_EQ(1u, full);
  }
}

TEST_F(EmacTest, NegotiationThatNeverCompletesStillResolves) {
  board::emac().phy().set_negotiation_reads(1000000);
  board::emac().phy().set_link(false);  // no partner: never completes
  uint32_t speed100 = 1, full = 1;
  rtos::cpu_scope s;
  EXPECT_EQ(-1, AutoNegotiate(5, &speed100, &full));
  EXPECT_EQ(0u, speed100) << "no partner abilities: 10 Mb/s half";
  EXPECT_EQ(0u, full);
}

TEST_F(EmacTest, LinkMonitorReportsLossAndRenegotiates) {
  Start();
  EXPECT_EQ(0x91780000u, emac_mr1());
  trace_capture out;
  auto poll = [] {
    rtos::cpu_scope s;
    emac_link_monitor();
  };
  poll();
  EXPECT_EQ("", out.text()) << "the first poll records the link quietly";
  EXPECT_EQ(1, emac_link_up());
  const uint32_t negotiations = board::emac().phy().negotiations();
  board::emac().phy().set_link(false);
  poll();
  EXPECT_EQ("link down\n\r", out.text());
  EXPECT_EQ(0, emac_link_up());
  EXPECT_EQ(0, comm_get_services().link_up());
  poll();
  EXPECT_EQ("link down\n\r", out.text()) << "said once";
  board::emac().phy().set_link(true);
  poll();
  EXPECT_EQ("link down\n\rlink enabled\n\r", out.text());
  EXPECT_EQ(1, emac_link_up());
  EXPECT_EQ(negotiations + 1, board::emac().phy().negotiations());
  EXPECT_EQ(0x81780000u, board::emac().reg(board::emac_model::MR1));
}

TEST_F(EmacTest, FixedModeLinkFlagFollowsThePhy) {
  emac_set_link_mode(101, 20, 0);
  Start();
  trace_capture out;
  board::emac().phy().set_link(false);
  {
    rtos::cpu_scope s;
    emac_link_monitor();
  }
  EXPECT_EQ(0, emac_link_up());
  board::emac().phy().set_link(true);
  {
    rtos::cpu_scope s;
    emac_link_monitor();
  }
  EXPECT_EQ(1, emac_link_up());
  EXPECT_EQ("", out.text());
}

// ---------------------------------------------------------------- transmit

TEST_F(EmacTest, FramesLeaveOneAtATimeThroughTheQueue) {
  Start();
  const ULONG before = pool_.nx_packet_pool_available;
  NX_PACKET* first = Datagram(100, 0x11);
  NX_PACKET* second = Datagram(200, 0x22);
  NX_PACKET* third = Datagram(1500, 0x33);
  EXPECT_TRUE(rtos::run_in_thread([&] {
    // Back to back before the first transmit interrupt is served.
    interrupts_masked masked;
    NX_IP_DRIVER r{};
    r.nx_driver_command = NX_DRIVER_SEND;
    r.nx_driver_ip = &ip_;
    r.nx_driver_dest_msw = 0x5255;
    r.nx_driver_dest_lsw = 0x0A000202;
    for (NX_PACKET* p : {first, second, third}) {
      r.nx_driver_packet = p;
      emac_driver_entry(&r);
      EXPECT_EQ(NX_SUCCESS, r.nx_driver_status);
    }
    EXPECT_EQ(2u, emac_get_counters().tx_queued);
  }));
  rtos::settle();
  auto sent = board::emac().take_sent();
  ASSERT_EQ(3u, sent.size());
  EXPECT_EQ(114u, sent[0].size());
  EXPECT_EQ(214u, sent[1].size());
  EXPECT_EQ(1514u, sent[2].size());
  const bytes header = {0x52, 0x55, 0x0A, 0x00, 0x02, 0x02, 0x02, 0x05, 0xAC, 0x12, 0x34, 0x56, 0x08, 0x00};
  EXPECT_EQ(header, bytes(sent[0].begin(), sent[0].begin() + 14));
  EXPECT_EQ(0x11, sent[0][14]);
  EXPECT_EQ(0x22, sent[1][14]);
  EXPECT_EQ(0x33, sent[2][1513]);
  EXPECT_EQ(before, pool_.nx_packet_pool_available) << "every sent packet is released";
}

TEST_F(EmacTest, BroadcastArpAndShortFrames) {
  Start();
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_ARP_SEND, Datagram(28, 0)));
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_ARP_RESPONSE_SEND, Datagram(28, 0)));
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_RARP_SEND, Datagram(28, 0)));
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_BROADCAST, Datagram(28, 0)));
  auto sent = board::emac().take_sent();
  ASSERT_EQ(4u, sent.size());
  struct row {
    uint8_t first_byte;
    uint16_t type;
  } expect[] = {{0xFF, 0x0806}, {0x52, 0x0806}, {0xFF, 0x8035}, {0xFF, 0x0800}};
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(60u, sent[k].size()) << "padded to the shortest frame";
    EXPECT_EQ(expect[k].first_byte, sent[k][0]);
    EXPECT_EQ(expect[k].type, (sent[k][12] << 8) | sent[k][13]);
  }
}

TEST_F(EmacTest, OverlongFrameIsRefusedAndReleased) {
  Start();
  const ULONG before = pool_.nx_packet_pool_available;
  NX_PACKET* p = Datagram(1505, 0x44);  // 1519 with its header
  EXPECT_EQ(NX_NOT_SUCCESSFUL, Request(NX_DRIVER_SEND, p));
  EXPECT_TRUE(board::emac().take_sent().empty());
  EXPECT_EQ(before, pool_.nx_packet_pool_available);
  EXPECT_EQ(1u, emac_get_counters().frames_refused);
}

// ---------------------------------------------------------------- receive

TEST_F(EmacTest, ReceivedLengthIsTrimmedToTheDatagram) {
  Start();
  struct row {
    const char* what;
    bytes frame;
    uint32_t handed_on;
  } rows[] = {
      {"padded 60-byte frame with a 28-byte datagram", IpFrame(28, 28, 60), 42},
      {"total length beyond what came", IpFrame(400, 46), 60},
      {"exact", IpFrame(100, 100), 114},
      {"not IPv4: the descriptor's length", [] {
         bytes f = IpFrame(28, 28, 60);
         f[12] = 0x88;
         f[13] = 0x99;
         return f;
       }(), 60},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    emac_clear_counters();
    Receive(r.frame);
    EXPECT_EQ(1u, emac_get_counters().frames_received);
    EXPECT_EQ(r.handed_on, emac_get_counters().bytes_received);
  }
  EXPECT_EQ(emac_packet_pool()->nx_packet_pool_total - 32, EnetFree()) << "every frame went back to the pool";
}

TEST_F(EmacTest, ArpFilterComparesWithTheCurrentAddress) {
  Start();
  struct row {
    const char* what;
    uint32_t address, target;
    uint32_t filtered;
  } rows[] = {
      {"for us", kOwnIp, kOwnIp, 0},
      {"for another station", kOwnIp, IP_ADDRESS(10, 0, 2, 16), 1},
      {"after a lease gave a new address", IP_ADDRESS(10, 0, 2, 99), IP_ADDRESS(10, 0, 2, 99), 0},
      {"the old address after the lease", IP_ADDRESS(10, 0, 2, 99), kOwnIp, 1},
      {"no address yet", 0, 0, 1},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    ip_.nx_ip_address = r.address;
    emac_clear_counters();
    Receive(ArpRequest(r.target));
    EXPECT_EQ(r.filtered, emac_get_counters().arp_filtered);
  }
  EXPECT_EQ(emac_packet_pool()->nx_packet_pool_total - 32, EnetFree());
}

TEST_F(EmacTest, FramesWithErrorsOrWithoutAPacketAreLost) {
  Start();
  Receive(IpFrame(1600, 1600));  // longer than the buffer: too-long status
  EXPECT_EQ(1u, emac_get_counters().frames_dropped);
  // With the pool's slack gone, the descriptor keeps its buffer.
  std::vector<NX_PACKET*> held;
  {
    rtos::cpu_scope s;
    NX_PACKET* p = nullptr;
    while (nx_packet_allocate(emac_packet_pool(), &p, NX_RECEIVE_PACKET, NX_NO_WAIT) == NX_SUCCESS) held.push_back(p);
  }
  Receive(IpFrame(28, 28, 60));
  EXPECT_EQ(2u, emac_get_counters().frames_dropped);
  {
    rtos::cpu_scope s;
    for (NX_PACKET* p : held) nx_packet_release(p);
  }
  Receive(IpFrame(28, 28, 60));
  EXPECT_EQ(1u, emac_get_counters().frames_received) << "the ring goes on";
  // Frames the filter does not pass never reach a descriptor.
  bytes other = IpFrame(28, 28, 60);
  other[5] = 0x99;
  Receive(other);
  EXPECT_EQ(1u, emac_get_counters().frames_received);
}

TEST_F(EmacTest, MulticastLeaveStopsAllMulticast) {
  Start();
  bytes m = IpFrame(28, 28, 60);
  m[0] = 0x01;
  m[1] = 0x00;
  m[2] = 0x5E;
  Receive(m);
  EXPECT_EQ(0u, emac_get_counters().frames_received);
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_MULTICAST_JOIN));
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_MULTICAST_JOIN));
  Receive(m);
  EXPECT_EQ(1u, emac_get_counters().frames_received);
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_MULTICAST_LEAVE));
  Receive(m);
  EXPECT_EQ(1u, emac_get_counters().frames_received);
  EXPECT_EQ(0u, board::emac().reg(board::emac_model::GAHT1));
}

// ---------------------------------------------------------------- errors

TEST_F(EmacTest, PlbErrorReinitialisesTheHardware) {
  Start();
  const uint32_t resets = board::emac().mal_resets();
  const ULONG free_before = EnetFree();
  board::emac().raise_system_error(board::emac_model::ESR_PLB);
  rtos::settle();
  EXPECT_EQ(resets + 1, board::emac().mal_resets());
  EXPECT_EQ(0x80000000u, board::emac().dcr(board::emac_model::MAL_TXCASR));
  EXPECT_EQ(0x80000000u, board::emac().dcr(board::emac_model::MAL_RXCASR));
  EXPECT_EQ(0x1Fu, board::emac().dcr(board::emac_model::MAL_IER));
  EXPECT_EQ(free_before, EnetFree()) << "the old ring's packets went back";
  Receive(IpFrame(28, 28, 60));
  EXPECT_EQ(1u, emac_get_counters().frames_received);
}

TEST_F(EmacTest, DescriptorErrorsRebuildTheirRing) {
  Start();
  // Half the ring filled, then the receive channel stops on an error.
  for (int k = 0; k < 5; ++k) Receive(IpFrame(28, 28, 60));
  board::emac().raise_system_error(board::emac_model::ESR_RECEIVE | board::emac_model::ESR_DESCRIPTOR);
  rtos::settle();
  EXPECT_EQ(0x80000000u, board::emac().dcr(board::emac_model::MAL_RXCASR));
  EXPECT_EQ(emac_packet_pool()->nx_packet_pool_total - 32, EnetFree());
  for (int k = 0; k < 40; ++k) Receive(IpFrame(28, 28, 60));
  EXPECT_EQ(45u, emac_get_counters().frames_received) << "the rebuilt ring starts at its first descriptor";
  // The transmit channel likewise.
  board::emac().raise_system_error(board::emac_model::ESR_DESCRIPTOR);
  rtos::settle();
  EXPECT_EQ(0x80000000u, board::emac().dcr(board::emac_model::MAL_TXCASR));
  EXPECT_EQ(NX_SUCCESS, Request(NX_DRIVER_SEND, Datagram(40, 1)));
  EXPECT_EQ(1u, board::emac().take_sent().size());
}

TEST_F(EmacTest, SoftResetKeepsRingsAndRestoresModes) {
  Start();
  const uint32_t resets = board::emac().emac_resets();
  {
    rtos::cpu_scope s;
    emac_initialize();
  }
  EXPECT_EQ(resets + 1, board::emac().emac_resets());
  EXPECT_EQ(0x18000000u, board::emac().reg(board::emac_model::MR0) & 0x18000000u);
  EXPECT_EQ(0x0205u, board::emac().reg(board::emac_model::IAHR));
  EXPECT_EQ(0x91780000u, board::emac().reg(board::emac_model::MR1));
  Receive(IpFrame(28, 28, 60));
  EXPECT_EQ(1u, emac_get_counters().frames_received);
}


// ---------------------------------------------------------------- with the stack

// The main instance on this driver, as the network start-up makes it in
// wire mode: ARP is answered for its address (also after a lease changed
// it), the asker is learnt, and a ping is answered to the asker's address.
TEST_F(EmacTest, InstanceAnswersArpAndPingOverTheWire) {
  NX_IP ip{};
  std::vector<uint8_t> stack(4096), arp_cache(1024);
  {
    rtos::cpu_scope s;
    ASSERT_EQ(NX_SUCCESS, nx_ip_create(&ip, "NetX IP Instance 0", kOwnIp, 0xFFFFFF00, &pool_, emac_driver_entry,
                                       stack.data(), stack.size(), 1));
    nx_arp_enable(&ip, arp_cache.data(), arp_cache.size());
    nx_icmp_enable(&ip);
  }
  rtos::settle();
  ASSERT_EQ(EMAC_DRIVER_ENABLED, emac_driver_state_get());
  struct row {
    const char* what;
    uint32_t address;
  } rows[] = {{"configured address", kOwnIp}, {"address from a lease", IP_ADDRESS(10, 0, 2, 77)}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    {
      rtos::cpu_scope s;
      nx_ip_address_set(&ip, r.address, 0xFFFFFF00);
    }
    Receive(ArpRequest(r.address));
    auto sent = board::emac().take_sent();
    ASSERT_EQ(1u, sent.size());
    const bytes& reply = sent[0];
    EXPECT_EQ(bytes(kPeerMac, kPeerMac + 6), bytes(reply.begin(), reply.begin() + 6));
    EXPECT_EQ(0x0806, (reply[12] << 8) | reply[13]);
    EXPECT_EQ(2, reply[21]) << "an ARP reply";
    EXPECT_EQ(bytes(kOwnMac, kOwnMac + 6), bytes(reply.begin() + 22, reply.begin() + 28));
    EXPECT_EQ(r.address, (uint32_t(reply[28]) << 24) | (reply[29] << 16) | (reply[30] << 8) | reply[31]);
    Receive(PingFrame(r.address, 5));
    sent = board::emac().take_sent();
    ASSERT_EQ(1u, sent.size()) << "the asker's address is known: no request first";
    const bytes& pong = sent[0];
    EXPECT_EQ(bytes(kPeerMac, kPeerMac + 6), bytes(pong.begin(), pong.begin() + 6));
    EXPECT_EQ(0x0800, (pong[12] << 8) | pong[13]);
    EXPECT_EQ(0, pong[34]) << "echo reply";
    EXPECT_EQ(5, pong[41]);
  }
  {
    rtos::cpu_scope s;
    nx_ip_delete(&ip);
  }
}

TEST_F(EmacTest, UnknownNextHopIsAskedForOnce) {
  NX_IP ip{};
  NX_UDP_SOCKET socket{};
  std::vector<uint8_t> stack(4096), arp_cache(1024);
  {
    rtos::cpu_scope s;
    ASSERT_EQ(NX_SUCCESS, nx_ip_create(&ip, "NetX IP Instance 0", kOwnIp, 0xFFFFFF00, &pool_, emac_driver_entry,
                                       stack.data(), stack.size(), 1));
    nx_arp_enable(&ip, arp_cache.data(), arp_cache.size());
    nx_udp_enable(&ip);
    nx_ip_gateway_address_set(&ip, IP_ADDRESS(10, 0, 2, 2));
  }
  rtos::settle();
  {
    rtos::cpu_scope s;
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_create(&ip, &socket, "trap", 0, 0, 128, 4));
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_bind(&socket, 162, NX_NO_WAIT));
    for (int k = 0; k < 2; ++k) {
      NX_PACKET* p = nullptr;
      ASSERT_EQ(NX_SUCCESS, nx_packet_allocate(&pool_, &p, NX_UDP_PACKET, NX_NO_WAIT));
      ASSERT_EQ(NX_SUCCESS, nx_packet_data_append(p, "trap", 4, &pool_, NX_NO_WAIT));
      // Off the subnet: through the gateway.
      ASSERT_EQ(NX_SUCCESS, nx_udp_socket_send(&socket, p, IP_ADDRESS(192, 168, 7, 1), 162));
    }
  }
  rtos::settle();
  auto sent = board::emac().take_sent();
  ASSERT_EQ(1u, sent.size()) << "one request while both datagrams wait";
  EXPECT_EQ(0xFF, sent[0][0]);
  EXPECT_EQ(1, sent[0][21]);
  EXPECT_EQ(bytes({10, 0, 2, 2}), bytes(sent[0].begin() + 38, sent[0].begin() + 42));
  // The gateway answers: both leave to its address.
  const ULONG free_while_waiting = pool_.nx_packet_pool_available;
  bytes answer = ArpRequest(kOwnIp);
  std::copy(kOwnMac, kOwnMac + 6, answer.begin());
  answer[21] = 2;
  Receive(answer);
  sent = board::emac().take_sent();
  ASSERT_EQ(2u, sent.size());
  for (const bytes& f : sent) {
    EXPECT_EQ(bytes(kPeerMac, kPeerMac + 6), bytes(f.begin(), f.begin() + 6));
    EXPECT_EQ(bytes({192, 168, 7, 1}), bytes(f.begin() + 30, f.begin() + 34));
  }
  EXPECT_EQ(free_while_waiting + 2, pool_.nx_packet_pool_available);
  // A next hop that never answers: what waits for it goes back to the pool.
  auto send_to_silent = [&] {
    rtos::cpu_scope s;
    NX_PACKET* p = nullptr;
    ASSERT_EQ(NX_SUCCESS, nx_packet_allocate(&pool_, &p, NX_UDP_PACKET, NX_NO_WAIT));
    ASSERT_EQ(NX_SUCCESS, nx_packet_data_append(p, "trap", 4, &pool_, NX_NO_WAIT));
    ASSERT_EQ(NX_SUCCESS, nx_udp_socket_send(&socket, p, IP_ADDRESS(10, 0, 2, 40), 162));
  };
  const ULONG free_before = pool_.nx_packet_pool_available;
  send_to_silent();
  rtos::settle();
  EXPECT_EQ(free_before - 1, pool_.nx_packet_pool_available);
  rtos::advance(400);
  send_to_silent();
  rtos::settle();
  EXPECT_EQ(free_before - 1, pool_.nx_packet_pool_available) << "the first was given up";
  EXPECT_EQ(2u, board::emac().take_sent().size()) << "asked again";
  {
    rtos::cpu_scope s;
    nx_udp_socket_delete(&socket);
    nx_ip_delete(&ip);
  }
}


TEST_F(EmacTest, ConsoleShowsThePoolAndResetsTheController) {
  auto console = [](std::string line) {
    std::vector<char*> argv;
    for (char* word = std::strtok(line.data(), " "); word; word = std::strtok(nullptr, " ")) argv.push_back(word);
    trace_capture out;
    {
      rtos::cpu_scope s;
      vms_command(static_cast<int>(argv.size()), argv.data());
    }
    return out.text();
  };
  EXPECT_NE(std::string::npos, console("vms -d ethernet pool").find("Driver: not available\n"));
  Start();
  const ULONG total = emac_packet_pool()->nx_packet_pool_total;
  EXPECT_NE(std::string::npos, console("vms -d ethernet pool")
                                   .find("Driver: " + std::to_string(total - 32) + " of " + std::to_string(total) +
                                         " Free, Req:0, Susp:0, Invalid:0\n"));
  const uint32_t resets = board::emac().emac_resets();
  EXPECT_EQ("reset ethernet\n", console("vms -d ethernet reset"));
  EXPECT_EQ(resets + 1, board::emac().emac_resets());
}

}  // namespace
