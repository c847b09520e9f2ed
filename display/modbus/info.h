// The status record of a board behind the module bus (the distribution or
// production board that feeds the modules), kept by the module diagnostics
// and reported by the display task.
#pragma once

#include <cstdint>

namespace disp {

class info {
 public:
  // Board states.
  enum : uint8_t { UNKNOWN = 0, NOT_RESPONDING = 3, IDENTIFIED = 4 };
  // Board kinds.
  enum : uint8_t { KIND_NONE = 0, KIND_DISTRIBUTION = 2, KIND_PRODUCTION = 3 };

  info() = default;
  virtual ~info() = default;

  uint8_t state = UNKNOWN;
  uint8_t kind = KIND_NONE;
  uint8_t revision[2] = {};  // by sender
  uint32_t code = 0;         // board code as stored
  const char* name = "UNKNOWN";
};

}  // namespace disp
