#include "frame/board/epld_program.h"

#include "board_io.h"
#include "frame/board/board_control.h"
#include "frame/board/board_regs.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t NCONFIG = 0x40000000;
constexpr uint32_t DATA0 = 0x10000000;
constexpr uint32_t DCLK = 0x08000000;

void pin(uint32_t mask, bool high) {
  uint32_t v = reg_read32(GPIO0_OR);
  reg_write32(GPIO0_OR, high ? (v | mask) : (v & ~mask));
}

void spin(uint32_t iterations) {
  for (volatile uint32_t i = 0; i < iterations;) {
    i = i + 1;
  }
}

}  // namespace

uint32_t epld_nstatus_bit() { return reg_read8(GPIO0_IR) & 0x20; }

uint32_t epld_status_bit() { return reg_read8(GPIO0_IR_BYTE1) & 0x80; }

uint32_t ProgramEPLD(const uint8_t* image, uint32_t length) {
  pin(DCLK, false);
  if (!image) {
    monitor_printf("ProgramEPLD: Null pointer error\n");
    return 0;
  }

  pin(NCONFIG, false);
  spin(10000);
  pin(NCONFIG, true);

  bool released = false;
  for (uint32_t i = 0; i < 10000000 && !released; ++i) released = epld_nstatus_bit() != 0;

  if (!released) {
    monitor_printf("ProgramEPLD: EPLD didn't release nStatus\n");
  } else {
    for (uint32_t n = 0; n < length; ++n) {
      uint8_t b = image[n];
      for (int bit = 0; bit < 8; ++bit) {
        pin(DCLK, false);
        pin(DATA0, (b >> bit) & 1);
        pin(DCLK, true);
      }
      if (!epld_nstatus_bit()) {
        board_control_set(BOARD_CONTROL_EPLD_ERROR);
        monitor_printf("EPLD Program Error 1:%d\n", static_cast<int>(n));
        return 0;
      }
    }
  }

  pin(DCLK, false);
  if (!epld_status_bit()) {
    board_control_set(BOARD_CONTROL_EPLD_ERROR);
    monitor_printf("EPLD Program Error 2\n");
    return 0;
  }
  board_control_clear(BOARD_CONTROL_EPLD_ERROR);
  return 1;
}
