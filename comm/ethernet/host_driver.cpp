#include "comm/ethernet/host_driver.h"

#include <cstring>

namespace {

uint16_t g_state = 0;  // 0 until the first request
uint8_t g_mac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

}  // namespace

void ethernet_host_set_mac(const uint8_t mac[6]) { std::memcpy(g_mac, mac, 6); }
uint16_t ethernet_host_driver_state() { return g_state; }
void ethernet_host_driver_reset() { g_state = 0; }

VOID ethernet_host_driver(NX_IP_DRIVER* request) {
  NX_IP* ip = request->nx_driver_ip;
  if (g_state == 0) g_state = ETHERNET_DRIVER_CREATED;
  request->nx_driver_status = NX_SUCCESS;
  switch (request->nx_driver_command) {
    case NX_DRIVER_INITIALIZE:
      if (g_state != ETHERNET_DRIVER_CREATED) break;
      ip->nx_ip_driver_mtu = 1518;
      ip->nx_ip_physical_msw = (ULONG(g_mac[0]) << 8) | g_mac[1];
      ip->nx_ip_physical_lsw = (ULONG(g_mac[2]) << 24) | (ULONG(g_mac[3]) << 16) | (ULONG(g_mac[4]) << 8) | g_mac[5];
      ip->nx_ip_mapping_needed = 1;
      ip->nx_ip_link_up = 0;
      g_state = ETHERNET_DRIVER_INITIALISED;
      break;
    case NX_DRIVER_ENABLE:
      if (g_state < ETHERNET_DRIVER_INITIALISED) {
        request->nx_driver_status = NX_NOT_SUCCESSFUL;
      } else if (g_state == ETHERNET_DRIVER_ENABLED) {
        request->nx_driver_status = NX_ALREADY_ENABLED;
      } else {
        g_state = ETHERNET_DRIVER_ENABLED;
        ip->nx_ip_link_up = 1;
      }
      break;
    case NX_DRIVER_DISABLE:
      if (g_state != ETHERNET_DRIVER_ENABLED) {
        request->nx_driver_status = NX_NOT_ENABLED;
      } else {
        g_state = ETHERNET_DRIVER_INITIALISED;
        ip->nx_ip_link_up = 0;
      }
      break;
    case NX_DRIVER_GET_STATUS:
      if (request->nx_driver_return_ptr) *request->nx_driver_return_ptr = ip->nx_ip_link_up;
      break;
    case NX_DRIVER_SEND:
    case NX_DRIVER_BROADCAST:
    case NX_DRIVER_ARP_SEND:
    case NX_DRIVER_ARP_RESPONSE_SEND:
    case NX_DRIVER_RARP_SEND:
      // The host sockets carry the traffic; no frame goes out here.
      if (request->nx_driver_packet) nx_packet_transmit_release(request->nx_driver_packet);
      if (g_state != ETHERNET_DRIVER_ENABLED) request->nx_driver_status = NX_NOT_ENABLED;
      break;
    case NX_DRIVER_MULTICAST_JOIN:
    case NX_DRIVER_MULTICAST_LEAVE:
      if (g_state != ETHERNET_DRIVER_ENABLED) request->nx_driver_status = NX_NOT_ENABLED;
      break;
    default:
      if (request->nx_driver_return_ptr) *request->nx_driver_return_ptr = 0;
      request->nx_driver_status = NX_UNHANDLED_COMMAND;
      break;
  }
}
