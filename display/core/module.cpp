#include "display/core/module.h"

namespace disp {

bool module::Open(const pixel* topLeft, const pixel* bottomRight, frame* results, frame* auxResults) {
  if (IsOpen() || !topLeft || !bottomRight) return false;
  top_left.x = topLeft->x;
  top_left.y = topLeft->y;
  top_left.value = topLeft->value;
  bottom_right.x = bottomRight->x;
  bottom_right.y = bottomRight->y;
  bottom_right.value = bottomRight->value;
  m_pResults = results;
  m_pAuxResults = auxResults;
  failed_pixels = 0;
  lost = 0;
  unanswered = 0;
  Reset();
  m_byState = OPEN;
  return true;
}

bool module::Close() {
  if (!IsOpen()) return false;
  m_byState = CLOSED;
  return true;
}

void module::Reset() {
  revision = 0;
  status_code = 0;
  field_a = field_b = field_c = field_d = field_e = field_f = field_g = 0;
  type = 0;
  for (uint16_t& v : value) v = 0;
  temperature = 0;
  measurements_valid = 0;
  identified = 0;
  new_format = 0;
}

bool module::CountFailedPixels() {
  if (!IsOpen()) return false;
  uint32_t count = 0;
  for (uint32_t y = top_left.y; y <= bottom_right.y; ++y)
    for (uint32_t x = top_left.x; x <= bottom_right.x; ++x) {
      pixel p(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
      pixel q(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
      if ((m_pResults && m_pResults->GetPixel(p) && p.value) ||
          (m_pAuxResults && m_pAuxResults->GetPixel(q) && q.value))
        ++count;
    }
  failed_pixels = static_cast<uint16_t>(count > 0xFFFF ? 0xFFFF : count);
  return true;
}

bool module::GetGridPosition(uint8_t& column, uint8_t& row) const {
  if (!IsOpen()) return false;
  const uint8_t width = static_cast<uint8_t>(bottom_right.x - top_left.x + 1);
  const uint8_t height = static_cast<uint8_t>(bottom_right.y - top_left.y + 1);
  if (!width || !height) return false;
  column = static_cast<uint8_t>((top_left.x + 1) / width);
  row = static_cast<uint8_t>((top_left.y + 1) / height);
  return true;
}

}  // namespace disp
