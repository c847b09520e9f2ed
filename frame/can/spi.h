// The byte-wide SPI master of the board logic: one byte out and one byte in
// per transfer, two chip selects (device 0 is the CAN controller).
#pragma once

#include <cstdint>

constexpr uint32_t SPI_CONTROL = 0xF0200002;  // write: data, select, read, start, reset
constexpr uint32_t SPI_STATUS = 0xF0200004;   // read: received byte, done, board clock field

constexpr uint16_t SPI_SELECT_DEVICE0 = 0x000;
constexpr uint16_t SPI_SELECT_DEVICE1 = 0x100;
constexpr uint16_t SPI_SELECT_NONE = 0x200;
constexpr uint16_t SPI_READ = 0x400;
constexpr uint16_t SPI_START = 0x800;
constexpr uint16_t SPI_RESET = 0x1000;
constexpr uint16_t SPI_DONE = 0x100;

class CSPI {
 public:
  CSPI() = default;
  virtual ~CSPI() = default;

  // Sends one byte to device `select` (0 or 1; any other value selects
  // none). A transfer that never finishes prints "SPI Write Error" and
  // resets the SPI logic. Always 1.
  uint32_t Write(uint32_t select, uint8_t byte);
  // Clocks one byte in from device 0 or 1 (0 for any other select).
  uint8_t Read(uint32_t select);
  // Resets the SPI logic and leaves no device selected.
  void Reset();

 private:
  static uint16_t SelectBits(uint32_t select);
  void WaitDone();
};
