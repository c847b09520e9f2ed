// The record of one display module, kept by the module diagnostics of its
// face: what the module reports of itself (identity, revision, measured
// voltages and temperature, spare fields), whether it still answers, and
// the rectangle of its pixels on the face. The diagnostics write it under
// their mutex; the display task and the front panel read it for the module
// reports.
#pragma once

#include <cstdint>

#include "display/frame/frame.h"

namespace disp {

class module {
 public:
  enum : uint8_t { CONSTRUCTED = 0, CLOSED = 1, OPEN = 2 };
  static constexpr uint8_t GUARD = 0xAA;
  // Unanswered requests after which a module counts as lost.
  static constexpr uint8_t LOST_AFTER = 10;

  module() = default;
  virtual ~module() = default;

  // False when open already or without a rectangle. Clears the counts and
  // the reported values.
  bool Open(const pixel* topLeft, const pixel* bottomRight, frame* results, frame* auxResults);
  bool Close();
  // Forgets what the module reported (the subtype, the quick-test flag and
  // the lost state and count stay).
  void Reset();
  // The failed pixels of the rectangle by the result frame (else the aux
  // frame); false when not open.
  bool CountFailedPixels();
  // Column and row of the module on the face, 0-based; false when not open
  // or without a size.
  bool GetGridPosition(uint8_t& column, uint8_t& row) const;
  bool IsOpen() const { return m_byState == OPEN; }

  uint8_t revision = 0;  // non-zero once the module identified itself
  uint8_t status_code = 0;
  uint8_t field_a = 0, field_e = 0, field_f = 0, field_b = 0, field_c = 0, field_d = 0;
  uint16_t type = 0;
  uint16_t gen4_subtype = 0;
  uint16_t value[5] = {};  // values 1 and 2: input voltages
  uint8_t field_g = 0;
  int8_t temperature = 0;  // degrees Celsius
  uint8_t guard0 = GUARD;
  uint8_t quick_test = 0;
  uint8_t guard1 = GUARD;
  uint8_t measurements_valid = 0;
  uint8_t identified = 0;
  uint8_t new_format = 0;
  uint8_t lost = 0;
  uint8_t unanswered = 0;
  pixel top_left;
  pixel bottom_right;
  uint8_t m_byState = CONSTRUCTED;
  uint16_t failed_pixels = 0;
  frame* m_pResults = nullptr;
  frame* m_pAuxResults = nullptr;
};

}  // namespace disp
