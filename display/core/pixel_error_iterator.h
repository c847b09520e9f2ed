// Walks the marked (failed) pixels of a result frame in row order, giving
// positions on the sign: the frame's own coordinates plus the face's
// origin. The display task reports a face's failed pixels with it.
//
//   disp::pixel_error_iterator it(frame, origin_x, origin_y);
//   for (it.Begin(); it.IsValid(); it.Advance()) use(it.Current());
#pragma once

#include <cstdint>

#include "display/frame/frame.h"

namespace disp {

class pixel_error_iterator {
 public:
  enum : uint8_t { CLOSED = 1, OPEN = 2 };

  pixel_error_iterator(frame* f, uint16_t xOffset, uint16_t yOffset);
  virtual ~pixel_error_iterator() { Close(); }
  pixel_error_iterator(const pixel_error_iterator&) = delete;
  pixel_error_iterator& operator=(const pixel_error_iterator&) = delete;

  // The corners of the frame on the sign; false without a frame.
  bool Reset();
  // To the first marked pixel (invalid when there is none).
  void Begin();
  // To the next marked pixel after the current one.
  void Advance();
  bool IsValid() const;
  void Close();
  // Position on the sign and the frame's value there.
  const pixel& Current() const { return m_Current; }

  uint8_t m_byState = CLOSED;
  frame* m_pFrame = nullptr;
  pixel m_Current;
  pixel m_Next;
  pixel m_First;
  pixel m_Last;
  uint16_t m_wXOffset = 0;
  uint16_t m_wYOffset = 0;

 private:
  // The frame has no pixels: nothing is ever valid.
  bool m_bEmpty = true;
  // The scan passed the last row (the row below it may not exist in 16
  // bits).
  bool m_bEnd = true;
  // The current pixel is the last corner: the next Advance ends the walk.
  bool m_bNextPastEnd = false;
};

}  // namespace disp
