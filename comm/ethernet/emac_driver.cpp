#include "comm/ethernet/emac_driver.h"

#include "board_io.h"
#include "comm/comm_services.h"
#include "comm/ethernet/emac.h"
#include "frame/board/interrupt.h"
#include "frame/console/vms_command.h"
#include "frame/os/interrupts_masked.h"
#include "frame/watchdog/watchdog_task.h"

namespace {

emac_driver_state g_driver;
NX_PACKET_POOL g_enet_pool;

// The console's "vms -d ethernet pool" shows the driver's pool while it exists.
void show_pool_on_console(NX_PACKET_POOL* pool) {
  vms_links links = vms_get_links();
  links.driver_pool = pool;
  vms_set_links(links);
}

// The very first request sets the driver up.
bool first_request() {
  if (g_driver.created) return true;
  if (tx_semaphore_create(&g_driver.protect, "ENET rec protect", 1) != TX_SUCCESS) return false;
  g_driver.created = true;
  g_driver.ip = nullptr;
  g_driver.queue = nullptr;
  g_driver.state = EMAC_DRIVER_CREATED;
  g_driver.pool = nullptr;
  return true;
}

UINT initialise(NX_IP* ip) {
  if (phy_probe() != 0) {
    g_driver.phy_absent = 1;
    g_driver.state = EMAC_DRIVER_NO_PHY;
    return NX_NOT_SUCCESSFUL;
  }
  uint8_t* memory = board_memory(emac_buffer_area_pool(), EMAC_POOL_MEMORY);
  if (!memory ||
      nx_packet_pool_create(&g_enet_pool, "enet packet pool", EMAC_POOL_PAYLOAD, memory, EMAC_POOL_MEMORY) !=
          NX_SUCCESS) {
    g_driver.state = EMAC_DRIVER_NO_POOL;
    return NX_NOT_SUCCESSFUL;
  }
  g_driver.pool = &g_enet_pool;
  show_pool_on_console(&g_enet_pool);
  tx_semaphore_put(&g_driver.protect);
  const UINT status = emac_hardware_init();
  tx_semaphore_get(&g_driver.protect, TX_NO_WAIT);
  if (status != NX_SUCCESS) {
    nx_packet_pool_delete(&g_enet_pool);
    g_driver.pool = nullptr;
    show_pool_on_console(nullptr);
    g_driver.state = EMAC_DRIVER_HARDWARE_FAILED;
    return NX_NOT_SUCCESSFUL;
  }
  const uint8_t* mac = emac_mac_address();
  ip->nx_ip_driver_mtu = 1500;
  ip->nx_ip_physical_msw = (ULONG(mac[0]) << 8) | mac[1];
  ip->nx_ip_physical_lsw = (ULONG(mac[2]) << 24) | (ULONG(mac[3]) << 16) | (ULONG(mac[4]) << 8) | mac[5];
  ip->nx_ip_mapping_needed = 1;
  // The stack's own engine carries the instance's datagrams on this link.
  ip->nx_ip_driver_datagrams = 1;
  ip->nx_ip_link_up = 0;
  g_driver.ip = ip;
  g_driver.queue = nullptr;
  g_driver.state = EMAC_DRIVER_INITIALISED;
  return NX_SUCCESS;
}

// Puts the header in front of the packet and sends it.
UINT send_frame(NX_IP_DRIVER* request, ULONG msw, ULONG lsw, uint16_t type) {
  NX_PACKET* packet = request->nx_driver_packet;
  NX_IP* ip = request->nx_driver_ip;
  if (!packet) return NX_PTR_ERROR;
  if (g_driver.state != EMAC_DRIVER_ENABLED) {
    nx_packet_transmit_release(packet);
    return NX_NOT_ENABLED;
  }
  if (packet->nx_packet_prepend_ptr - packet->nx_packet_data_start < 14) {
    nx_packet_transmit_release(packet);
    return NX_UNDERFLOW;
  }
  packet->nx_packet_prepend_ptr -= 14;
  packet->nx_packet_length += 14;
  uint8_t* h = packet->nx_packet_prepend_ptr;
  const ULONG smsw = ip->nx_ip_physical_msw, slsw = ip->nx_ip_physical_lsw;
  const uint8_t header[14] = {uint8_t(msw >> 8),  uint8_t(msw),       uint8_t(lsw >> 24), uint8_t(lsw >> 16),
                              uint8_t(lsw >> 8),  uint8_t(lsw),       uint8_t(smsw >> 8), uint8_t(smsw),
                              uint8_t(slsw >> 24), uint8_t(slsw >> 16), uint8_t(slsw >> 8), uint8_t(slsw),
                              uint8_t(type >> 8), uint8_t(type)};
  for (int k = 0; k < 14; ++k) h[k] = header[k];
  return emac_send_packet(ip, packet);
}

}  // namespace

emac_driver_state& emac_driver() { return g_driver; }
uint16_t emac_driver_state_get() { return g_driver.state; }

void emac_driver_reset() {
  if (g_driver.created) tx_semaphore_delete(&g_driver.protect);
  if (vms_get_links().driver_pool == &g_enet_pool) show_pool_on_console(nullptr);
  g_driver = emac_driver_state();
  g_enet_pool = NX_PACKET_POOL{};
}

VOID emac_driver_entry(NX_IP_DRIVER* request) {
  interrupts_masked masked;
  request->nx_driver_status = NX_SUCCESS;
  if (!first_request() || tx_semaphore_get(&g_driver.protect, TX_NO_WAIT) != TX_SUCCESS) {
    request->nx_driver_status = NX_NOT_SUCCESSFUL;
    return;
  }
  NX_IP* ip = request->nx_driver_ip;
  constexpr ULONG kAllMsw = 0xFFFF, kAllLsw = 0xFFFFFFFF;
  UINT& status = request->nx_driver_status;
  const UINT command = request->nx_driver_command;
  // The transmit path takes the semaphore itself; interrupts stay masked.
  const bool sends = command == NX_DRIVER_SEND || (command >= NX_DRIVER_BROADCAST && command <= NX_DRIVER_RARP_SEND);
  if (sends) tx_semaphore_put(&g_driver.protect);
  switch (command) {
    case NX_DRIVER_SEND:
      status = send_frame(request, request->nx_driver_dest_msw, request->nx_driver_dest_lsw, 0x0800);
      break;
    case NX_DRIVER_INITIALIZE:
      if (g_driver.state == EMAC_DRIVER_CREATED) status = initialise(ip);
      break;
    case NX_DRIVER_ENABLE:
      if (g_driver.state < EMAC_DRIVER_INITIALISED) {
        status = NX_NOT_SUCCESSFUL;
      } else if (g_driver.state == EMAC_DRIVER_ENABLED) {
        status = NX_ALREADY_ENABLED;
      } else {
        emac_enable();
        g_driver.state = EMAC_DRIVER_ENABLED;
        ip->nx_ip_link_up = 1;
      }
      break;
    case NX_DRIVER_DISABLE:
      if (g_driver.state != EMAC_DRIVER_ENABLED) {
        status = NX_NOT_ENABLED;
      } else {
        emac_disable();
        g_driver.state = EMAC_DRIVER_INITIALISED;
        ip->nx_ip_link_up = 0;
      }
      break;
    case NX_DRIVER_BROADCAST:
      status = send_frame(request, kAllMsw, kAllLsw, 0x0800);
      break;
    case NX_DRIVER_ARP_SEND:
      status = send_frame(request, kAllMsw, kAllLsw, 0x0806);
      break;
    case NX_DRIVER_ARP_RESPONSE_SEND:
      status = send_frame(request, request->nx_driver_dest_msw, request->nx_driver_dest_lsw, 0x0806);
      break;
    case NX_DRIVER_RARP_SEND:
      status = send_frame(request, kAllMsw, kAllLsw, 0x8035);
      break;
    case NX_DRIVER_MULTICAST_JOIN:
    case NX_DRIVER_MULTICAST_LEAVE:
      if (g_driver.state != EMAC_DRIVER_ENABLED)
        status = NX_NOT_ENABLED;
      else if (request->nx_driver_command == NX_DRIVER_MULTICAST_JOIN)
        emac_multicast_join();
      else
        emac_multicast_leave();
      break;
    case NX_DRIVER_GET_STATUS:
      if (request->nx_driver_return_ptr) *request->nx_driver_return_ptr = ip->nx_ip_link_up;
      break;
    default:
      if (request->nx_driver_return_ptr) *request->nx_driver_return_ptr = 0;
      status = NX_UNHANDLED_COMMAND;
      break;
  }
  if (!sends) tx_semaphore_put(&g_driver.protect);
}

void emac_install(uint32_t buffer_area) {
  emac_set_buffer_area(buffer_area);
  void (*services[6])() = {emac_error_isr, emac_tx_isr, emac_rx_isr, mal_tx_error_isr, mal_rx_error_isr,
                           emac_clear_status};
  for (unsigned k = 0; k < 6; ++k) interrupt_set_ethernet_service(k, services[k]);
  comm_services s = comm_get_services();
  s.set_link_mode = emac_set_link_mode;
  s.set_mac_address = [](const uint8_t mac[6]) { emac_set_mac_address(mac); };
  s.link_monitor = emac_link_monitor;
  s.link_up = [] { return int(emac_link_up()); };
  s.phy_absent = [] { return int(g_driver.phy_absent); };
  s.reinitialize = emac_initialize;
  s.ethernet_reset = system_ethernet_reset;
  // The supervision's soft reset follows the dispatcher's Ethernet count.
  s.interrupt_count = [] { return g_ethernet_interrupt_count; };
  s.interrupt_seen = [] { return int(g_ethernet_activity); };
  s.ip_driver = emac_driver_entry;
  comm_set_services(s);
  vms_links links = vms_get_links();
  links.emac_initialize = emac_initialize;
  vms_set_links(links);
}
