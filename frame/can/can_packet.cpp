#include "frame/can/can_packet.h"

#include <cstring>

void can_packet::clone(const can_packet& other) {
  if (this == &other) return;
  id = other.id;
  flags = other.flags;
  // A length beyond the frame's 8 bytes is cut, never copied past them.
  length = other.length > 8 ? 8 : other.length;
  std::memcpy(data, other.data, length);
}
