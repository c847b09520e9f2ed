#include "frame/can/spi.h"

#include "board_io.h"
#include "frame/trace/trace.h"

namespace {
constexpr uint32_t kMaxPolls = 10000;
}

uint16_t CSPI::SelectBits(uint32_t select) {
  if (select == 0) return SPI_SELECT_DEVICE0;
  if (select == 1) return SPI_SELECT_DEVICE1;
  return SPI_SELECT_NONE;
}

void CSPI::WaitDone() {
  for (uint32_t i = 0; i < kMaxPolls; ++i)
    if (reg_read16(SPI_STATUS) & SPI_DONE) return;
  // The operation goes on with whatever byte the port holds.
  monitor_printf("SPI Write Error\n");
  Reset();
}

uint32_t CSPI::Write(uint32_t select, uint8_t byte) {
  uint16_t sel = SelectBits(select);
  reg_write16(SPI_CONTROL, sel);
  reg_write16(SPI_CONTROL, sel | byte);
  reg_write16(SPI_CONTROL, sel | byte | SPI_START);
  WaitDone();
  reg_write16(SPI_CONTROL, sel | byte);
  return 1;
}

uint8_t CSPI::Read(uint32_t select) {
  if (select > 1) return 0;
  uint16_t sel = SelectBits(select);
  reg_write16(SPI_CONTROL, sel);
  reg_write16(SPI_CONTROL, sel | SPI_READ);
  reg_write16(SPI_CONTROL, sel | SPI_READ | SPI_START);
  WaitDone();
  reg_write16(SPI_CONTROL, sel | SPI_READ);
  return static_cast<uint8_t>(reg_read16(SPI_STATUS) & 0xFF);
}

void CSPI::Reset() {
  reg_write16(SPI_CONTROL, SPI_RESET | SPI_SELECT_NONE);
  reg_write16(SPI_CONTROL, SPI_SELECT_NONE);
}
