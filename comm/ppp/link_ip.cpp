#include "comm/ppp/link_ip.h"

bool link_packet_next(NX_PACKET_POOL* pool, NX_PACKET** first, NX_PACKET** current) {
  NX_PACKET* p = nullptr;
  if (_nx_packet_allocate(pool, &p, NX_RECEIVE_PACKET, TX_NO_WAIT) != NX_SUCCESS || !p) return false;
  if (*current)
    (*current)->nx_packet_next = p;
  else
    *first = p;
  *current = p;
  return true;
}

bool link_packet_append(NX_PACKET_POOL* pool, NX_PACKET** first, NX_PACKET** current, uint8_t byte) {
  NX_PACKET* p = *current;
  if (!p || p->nx_packet_append_ptr >= p->nx_packet_data_end) {
    if (!link_packet_next(pool, first, current)) return false;
    p = *current;
  }
  *p->nx_packet_append_ptr++ = byte;
  return true;
}

bool link_packet_drop(NX_PACKET** first, NX_PACKET** current) {
  const bool had = *first != nullptr;
  if (*first) _nx_packet_release(*first);
  *first = *current = nullptr;
  return had;
}

void link_driver_attach(NX_IP* ip, void* context, ULONG mtu) {
  ip->nx_ip_driver_context = context;
  ip->nx_ip_driver_mtu = mtu;
  ip->nx_ip_mapping_needed = 0;
  ip->nx_ip_driver_datagrams = 1;
  ip->nx_ip_physical_msw = 0;
  ip->nx_ip_physical_lsw = 0;
  ip->nx_ip_link_up = 0;
}

void link_driver_request(NX_IP_DRIVER* request, const link_driver& driver) {
  NX_IP* ip = request->nx_driver_ip;
  request->nx_driver_status = NX_SUCCESS;
  void* link = ip ? ip->nx_ip_driver_context : nullptr;
  switch (request->nx_driver_command) {
    case NX_DRIVER_SEND: {
      NX_PACKET* packet = request->nx_driver_packet;
      if (!packet) break;
      if (!link || !ip->nx_ip_link_up) {
        _nx_packet_transmit_release(packet);
        break;
      }
      TX_MUTEX* protect = driver.protect(link);
      tx_mutex_get(protect, TX_WAIT_FOREVER);
      driver.send(link, packet);
      tx_mutex_put(protect);
      if (driver.sent) driver.sent(link);
      break;
    }
    case NX_DRIVER_INITIALIZE: {
      void* found = ip ? driver.find(ip) : nullptr;
      if (!found) {
        request->nx_driver_status = driver.no_link;
        break;
      }
      link_driver_attach(ip, found, driver.mtu(found));
      break;
    }
    case NX_DRIVER_ENABLE:
      if (!link) {
        request->nx_driver_status = driver.no_link;
        break;
      }
      if (driver.enable) driver.enable(link);
      ip->nx_ip_link_up = 1;
      break;
    case NX_DRIVER_DISABLE:
      if (!link) {
        request->nx_driver_status = driver.no_link;
        break;
      }
      if (driver.disable) driver.disable(link);
      ip->nx_ip_link_up = 0;
      break;
    case NX_DRIVER_GET_STATUS:
      if (request->nx_driver_return_ptr) *request->nx_driver_return_ptr = ip ? ip->nx_ip_link_up : 0;
      break;
    default:
      request->nx_driver_status = driver.unhandled;
      break;
  }
}
