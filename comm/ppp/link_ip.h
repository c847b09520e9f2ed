// What the PPP and PMPP links do alike for their IP instances: a datagram
// received in frames is gathered into a chain of the pool's packets, and
// the link driver's handling of the instance's requests.
#pragma once

#include <cstdint>

#include "nx_api.h"

// Chains a fresh packet of the pool after `*current` (or as `*first`);
// false when the pool has none free.
bool link_packet_next(NX_PACKET_POOL* pool, NX_PACKET** first, NX_PACKET** current);
// Appends a byte, chaining a packet when the current one is full; false
// when the pool has none free.
bool link_packet_append(NX_PACKET_POOL* pool, NX_PACKET** first, NX_PACKET** current, uint8_t byte);
// Gives the chain back; true when there was one.
bool link_packet_drop(NX_PACKET** first, NX_PACKET** current);
// The instance carries datagrams over the link `context`: no address
// mapping, no physical address, the link down until enabled.
void link_driver_attach(NX_IP* ip, void* context, ULONG mtu);

// What differs between the links' drivers; the rest of a request is
// link_driver_request's.
struct link_driver {
  // The link whose instance is `ip` (initialise), or null.
  void* (*find)(NX_IP* ip);
  ULONG (*mtu)(void* link);
  TX_MUTEX* (*protect)(void* link);
  // Sends a datagram with the link's mutex held, and releases it.
  void (*send)(void* link, NX_PACKET* packet);
  // After a send, the mutex let go; may be null.
  void (*sent)(void* link);
  // Returns once the link carries datagrams; null when it does at once.
  void (*enable)(void* link);
  // Takes the link down before the instance marks it down; may be null.
  void (*disable)(void* link);
  UINT no_link;    // status of a request for an instance without a link
  UINT unhandled;  // status of a command the link does not know
};
void link_driver_request(NX_IP_DRIVER* request, const link_driver& driver);
