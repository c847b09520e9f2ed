// The data key's serial memory as the front panel reaches it: presence and
// power of the key, byte transfers through the EPLD's small serial
// interface, and read, page-program, chip-erase and busy-wait operations.
//
// The operations keep no state of their own (the object is only the
// reference every call takes) and use no lock: the front panel's "Datakey"
// worker is their only caller. Results: 1 success, 0 failure (a missing,
// unpowered or pulled key).
#pragma once

#include <cstdint>

class CDataKey {
 public:
  // EPLD registers of the interface.
  static constexpr uint32_t REG_CONTROL = 0xF0500062;  // control and status
  static constexpr uint32_t REG_RX = 0xF0500063;       // byte of the last read transfer
  static constexpr uint32_t REG_TX = 0xF0500064;       // byte to shift out
  enum : uint8_t { PRESENT = 0x01, POWER = 0x02, SELECT = 0x04, STROBE = 0x08, DIR_READ = 0x10 };
  // Instructions of the memory.
  enum : uint8_t { CMD_WREN = 0x06, CMD_RDSR = 0x05, CMD_READ = 0x03, CMD_PP = 0x02, CMD_CE = 0xC7 };
  enum : uint8_t { STATUS_WIP = 0x01 };
  static constexpr uint32_t PAGE = 256;
  static constexpr uint32_t POWER_UP_TICKS = 50;
  static constexpr uint32_t PROGRAM_POLL_TICKS = 1;
  static constexpr uint32_t ERASE_POLL_TICKS = 50;
  // Longest busy wait before a part that never finishes counts as failed.
  static constexpr uint32_t MAX_BUSY_TICKS = 30000;

  // ---- bytes
  void WriteByte(uint8_t byte);
  uint8_t ReadByte();
  uint32_t IsPresent();
  uint32_t IsReady();
  void SetPower(uint32_t on);
  void SetSelect(uint32_t on);

  // ---- instructions (each: select, bytes, deselect)
  void WriteEnable();
  uint8_t ReadStatus();
  void ReadRaw(uint32_t address, uint8_t* buffer, uint32_t count);
  void WritePage(uint32_t address, const uint8_t* buffer, uint32_t count);
  void ChipErase();

  // ---- operations
  // Off: 1. On: 0 without a key; else powers it, waits 50 ticks and
  // returns whether it is ready.
  uint32_t Power(uint32_t on);
  // 1 when the bytes were read and the key is still there afterwards.
  uint32_t Read(uint32_t address, uint8_t* buffer, uint32_t count);
  // Page programs, each after a write enable and followed by a busy wait.
  // A program never crosses a 256-byte page: the part would wrap within the
  // page and overwrite its start.
  uint32_t Write(uint32_t address, const uint8_t* buffer, uint32_t count);
  // Chip erase, busy polled every 50 ticks.
  uint32_t Erase();
  // Sleeps `ticks` at a time until the part is no longer busy (1) or the
  // key is gone (0); a part still busy after MAX_BUSY_TICKS fails (0).
  uint32_t WaitReady(uint32_t ticks);

 private:
  static void Address(CDataKey* key, uint32_t address);
};

// The front panel's names for the operations.
bool datakey_present();
bool datakey_power(CDataKey* key, bool on);
bool datakey_read_block(CDataKey* key, uint32_t offset, uint8_t* buffer, uint32_t length);
bool datakey_write(CDataKey* key, uint32_t offset, const uint8_t* data, uint32_t length);
bool datakey_erase(CDataKey* key);
