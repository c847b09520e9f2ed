#include "display/core/pixel_error_iterator.h"

namespace disp {

pixel_error_iterator::pixel_error_iterator(frame* f, uint16_t xOffset, uint16_t yOffset)
    : m_pFrame(f), m_wXOffset(xOffset), m_wYOffset(yOffset) {
  Reset();
  m_byState = OPEN;
}

bool pixel_error_iterator::Reset() {
  if (!m_pFrame) return false;
  const uint32_t height = m_pFrame->Height(), width = m_pFrame->Width();
  // A frame without pixels, or one that would reach past the sign's 16-bit
  // coordinates, has no corners to walk between.
  m_bEmpty = !height || !width || m_wXOffset + width - 1 > 0xFFFF || m_wYOffset + height - 1 > 0xFFFF;
  m_First = pixel(m_wXOffset, m_wYOffset);
  m_Last = m_bEmpty ? m_First
                    : pixel(static_cast<uint16_t>(m_wXOffset + width - 1),
                            static_cast<uint16_t>(m_wYOffset + height - 1));
  m_bEnd = true;
  return true;
}

void pixel_error_iterator::Begin() {
  if (m_byState != OPEN) return;
  m_Next = pixel(m_First.x, m_First.y, 0);
  m_bEnd = false;
  m_bNextPastEnd = false;
  Advance();
}

void pixel_error_iterator::Advance() {
  if (m_byState != OPEN || !m_pFrame || m_bEmpty || m_bEnd || m_bNextPastEnd) {
    m_bEnd = true;
    return;
  }
  uint32_t x = m_Next.x, y = m_Next.y;
  for (; y <= m_Last.y; ++y, x = m_First.x) {
    for (; x <= m_Last.x; ++x) {
      pixel p(static_cast<uint16_t>(x - m_wXOffset), static_cast<uint16_t>(y - m_wYOffset));
      if (!m_pFrame->GetPixel(p) || !p.value) continue;
      m_Current = pixel(static_cast<uint16_t>(x), static_cast<uint16_t>(y), p.value);
      if (x < m_Last.x)
        m_Next = pixel(static_cast<uint16_t>(x + 1), static_cast<uint16_t>(y));
      else if (y < m_Last.y)
        m_Next = pixel(m_First.x, static_cast<uint16_t>(y + 1));
      else
        m_bNextPastEnd = true;
      return;
    }
  }
  m_bEnd = true;
}

bool pixel_error_iterator::IsValid() const { return m_pFrame && m_byState == OPEN && !m_bEmpty && !m_bEnd; }

void pixel_error_iterator::Close() {
  if (m_byState != OPEN) return;
  m_pFrame = nullptr;
  m_byState = CLOSED;
}

}  // namespace disp
