#include "frame/board/board_control.h"

#include "board_io.h"
#include "frame/board/board_regs.h"
#include "tx_api.h"

namespace {

uint16_t s_shadow = 0x0086;

void modify(uint16_t set, uint16_t clear) {
  // Drivers of several threads share the register.
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  s_shadow = static_cast<uint16_t>((s_shadow & ~clear) | set);
  reg_write16(BOARD_CONTROL, s_shadow);
  tx_interrupt_control(posture);
}

}  // namespace

uint16_t board_control_shadow() { return s_shadow; }
void board_control_set(uint16_t bits) { modify(bits, 0); }
void board_control_clear(uint16_t bits) { modify(0, bits); }
void board_control_power_on() { s_shadow = 0x0086; }
