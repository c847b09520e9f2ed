// The EPLD's module-response registers at 0xF0500080 (offsets 0x80-0xC7 of
// its window): eighteen 32-bit words in which the module link latches one
// bit per display-module position that has answered on a CAN line, read
// by the processor byte lane by byte lane (most significant first). Which
// word and bit a position takes depends on the layout the link runs (one
// word per line, or two); the link's side names word and bits. Any write
// to the first word's first byte clears them all (the processor writes the
// whole word 0).
#pragma once

#include <cstdint>
#include <mutex>

#include "board_models.h"

namespace board {

class module_response_model : public bus_device {
 public:
  static constexpr uint32_t OFFSET = 0x80;
  static constexpr unsigned WORDS = 18;
  static constexpr uint32_t SIZE = WORDS * 4;

  uint32_t read(uint32_t offset, unsigned width) override;
  void write(uint32_t offset, unsigned width, uint32_t value) override;

  // ---- the link's side
  void latch(unsigned word, uint32_t bits);
  uint32_t word(unsigned index);
  // Clears of the registers by the processor so far.
  uint32_t resets();

 private:
  std::mutex m_lock;
  uint32_t m_words[WORDS] = {};
  uint32_t m_resets = 0;
};

}  // namespace board
