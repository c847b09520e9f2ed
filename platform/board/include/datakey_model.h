// The removable data key: a serial flash memory with the common instruction
// set of serial EEPROMs and flash parts (write enable, read status, read,
// page program, chip erase; 24-bit addresses, 256-byte pages), and the small
// serial interface of the EPLD through which the board reaches it.
//
// The memory is an spi_device; it keeps its contents in a host file when
// one is given (the state folder's key), else in memory. Programming only
// clears bits, and a page program wraps within its page as the part does,
// so a writer that crosses a page boundary corrupts the start of the page.
// A program or erase keeps the write-in-progress bit set for a number of
// kernel ticks.
//
// EPLD registers (offsets 0x62-0x64 of its window):
//   0x62 control and status: bit 0 (read) key present, bit 1 key power,
//        bit 2 chip select, bit 3 transfer strobe (toggled for every byte),
//        bit 4 direction (0 write, 1 read)
//   0x63 read: the byte shifted in by the last read transfer
//   0x64 write: the byte to shift out (a write transfer)
// A toggle of the strobe with the direction set to read shifts one byte in;
// a write of 0x64 with the direction set to write shifts one byte out.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "board_models.h"

namespace board {

class datakey_memory : public spi_device {
 public:
  static constexpr uint32_t PAGE = 256;
  static constexpr uint32_t DEFAULT_SIZE = 4u << 20;
  enum : uint8_t { WREN = 0x06, RDSR = 0x05, READ = 0x03, PP = 0x02, CE = 0xC7 };
  enum : uint8_t { SR_WIP = 0x01, SR_WEL = 0x02 };

  // One instruction as the part saw it (observation for tests).
  struct command {
    uint8_t opcode;
    uint32_t address;  // READ and PP
    uint32_t length;   // data bytes moved (READ, PP); status reads (RDSR)
    bool operator==(const command&) const = default;
  };

  // A power-of-two size of at least one page. With a file, its contents are
  // loaded (a missing or short file reads as erased) and every program and
  // erase is written through to it.
  explicit datakey_memory(uint32_t size = DEFAULT_SIZE, const std::string& file = std::string());

  void spi_select(bool selected) override { select(selected, now()); }
  uint8_t spi_exchange(uint8_t out) override { return exchange(out, now()); }
  // The same at a given time (callers that hold a lock read the clock
  // before they take it: the clock enters the kernel).
  void select(bool selected, uint32_t now);
  uint8_t exchange(uint8_t out, uint32_t now);
  uint32_t now() const { return m_clock ? m_clock() : 0; }

  // Power from the socket: without it the part answers nothing (0xFF) and
  // forgets its write enable; a program or erase under way is lost.
  void set_powered(bool on);
  bool powered();

  // Where "now" comes from for the busy times (kernel ticks by default).
  // Set before use, not while the part is in use.
  void set_clock(std::function<uint32_t()> clock);
  // Ticks the write-in-progress bit stays set after a page program and
  // after a chip erase.
  void set_timing(uint32_t program_ticks, uint32_t erase_ticks);

  // ---- faults
  // The write-in-progress bit never clears after a program or erase.
  void set_stuck_busy(bool on);
  // Program and erase are ignored (the write enable never latches).
  void set_write_protected(bool on);

  // ---- observation and set-up
  uint32_t size() const { return m_size; }
  std::vector<uint8_t> peek(uint32_t address, uint32_t length);
  void poke(uint32_t address, const std::vector<uint8_t>& bytes);  // as stored, bypassing flash rules
  std::vector<command> commands();
  void clear_commands();
  uint64_t status_reads();
  const std::string& file() const { return m_file; }

 private:
  void finish_locked(uint32_t now);
  void store_locked(uint32_t address, uint32_t length);
  bool busy_locked(uint32_t now) const;

  std::mutex m_lock;
  const uint32_t m_size;
  const std::string m_file;
  std::vector<uint8_t> m_data;
  std::function<uint32_t()> m_clock;
  uint32_t m_program_ticks = 1, m_erase_ticks = 100;
  bool m_powered = false;
  bool m_selected = false;
  bool m_wel = false;
  bool m_busy = false;
  uint32_t m_busy_until = 0;
  bool m_stuck = false, m_protected = false;
  // The instruction in progress.
  uint32_t m_pos = 0;  // bytes exchanged since select
  uint8_t m_op = 0;
  uint32_t m_address = 0;
  std::vector<uint8_t> m_page;  // PP: the page buffer, as the part latches it
  std::vector<bool> m_page_set;
  uint32_t m_moved = 0;
  std::vector<command> m_commands;
  uint64_t m_status_reads = 0;
};

// The EPLD's data-key interface with the key's socket.
class datakey_port : public bus_device {
 public:
  static constexpr uint32_t OFFSET = 0x62;
  static constexpr uint32_t SIZE = 3;
  enum : uint8_t { PRESENT = 0x01, POWER = 0x02, SELECT = 0x04, STROBE = 0x08, DIR_READ = 0x10 };

  explicit datakey_port(datakey_memory* key = nullptr);

  uint32_t read(uint32_t offset, unsigned width) override;
  void write(uint32_t offset, unsigned width, uint32_t value) override;

  // ---- the socket
  // Puts a key in (replacing any); null pulls it.
  void insert(datakey_memory* key);
  void remove() { insert(nullptr); }
  bool present();
  datakey_memory* key();
  // The key is pulled after this many more byte transfers (-1: never).
  void remove_after(int64_t transfers);

  uint8_t control();
  uint64_t transfers();

 private:
  void count_transfer_locked();

  std::mutex m_lock;
  datakey_memory* m_key = nullptr;
  uint8_t m_control = 0;  // bits 1-4 as written
  uint8_t m_rx = 0xFF;
  uint8_t m_tx = 0;
  int64_t m_remove_after = -1;
  uint64_t m_transfers = 0;
};

}  // namespace board
