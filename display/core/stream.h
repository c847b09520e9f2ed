// The byte stream of a module bus: received bytes go in with Write, whole
// packets come out with Read. The base accepts and yields nothing; the
// module bus's own stream overrides both.
#pragma once

#include <cstdint>

namespace disp {

class packet;

class stream {
 public:
  stream() = default;
  virtual ~stream() = default;
  stream(const stream&) = delete;
  stream& operator=(const stream&) = delete;

  virtual bool Write(const uint8_t* bytes, uint32_t length) { return true; }
  // The next complete packet, when there is one.
  virtual bool Read(packet** out) { return true; }
};

}  // namespace disp
