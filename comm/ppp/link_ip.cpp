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
