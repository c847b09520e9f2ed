// The EPLD's module-response registers.
#include "module_response_model.h"

namespace board {

uint32_t module_response_model::read(uint32_t offset, unsigned width) {
  std::lock_guard<std::mutex> lk(m_lock);
  uint32_t v = 0;
  for (unsigned i = 0; i < width; ++i) {
    const uint32_t at = offset + i;
    uint8_t b = 0;
    if (at < SIZE) b = static_cast<uint8_t>(m_words[at / 4] >> (8 * (3 - at % 4)));
    v = (v << 8) | b;
  }
  return v;
}

void module_response_model::write(uint32_t offset, unsigned width, uint32_t) {
  // Read-only but for the reset at the first byte.
  if (offset != 0 || width == 0) return;
  std::lock_guard<std::mutex> lk(m_lock);
  for (uint32_t& w : m_words) w = 0;
  ++m_resets;
}

void module_response_model::latch(unsigned word, uint32_t bits) {
  if (word >= WORDS) return;
  std::lock_guard<std::mutex> lk(m_lock);
  m_words[word] |= bits;
}

uint32_t module_response_model::word(unsigned index) {
  std::lock_guard<std::mutex> lk(m_lock);
  return index < WORDS ? m_words[index] : 0;
}

uint32_t module_response_model::resets() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_resets;
}

}  // namespace board
