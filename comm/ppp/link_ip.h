// What the PPP and PMPP links do alike for their IP instances: a datagram
// received in frames is gathered into a chain of the pool's packets, and
// the link driver's answer to the instance's initialise request.
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
