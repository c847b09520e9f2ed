// Firmware images for the boot loaders of board and module micros, cut into
// the 64-byte blocks the loaders program: Intel HEX text (":" LL AAAA TT
// data CC, CR LF after each record) or a raw image.
#pragma once

#include <cstddef>
#include <cstdint>

struct HexRecord {
  static constexpr uint32_t MAX_DATA = 32;
  uint8_t length = 0;
  uint16_t address = 0;
  uint8_t type = 0;
  uint8_t data[MAX_DATA] = {};
  uint32_t chars = 0;  // text taken, CR LF included
};

// Parses the record at `text[pos]`. False when it does not start with ":",
// is cut short, holds a non-hex digit, carries more than 32 data bytes, or
// (types other than 02 and 04) has a wrong checksum.
bool hex_parse_record(const char* text, size_t size, size_t pos, HexRecord* out);

class HexBlockReader {
 public:
  static constexpr uint32_t BLOCK = 64;
  enum Result { FAILED, END, BLOCK_READY };
  // `board`: type 02 records set the page (board micros); otherwise every
  // record that is not data ends the image (display modules).
  HexBlockReader(const char* text, size_t size, bool board) : m_text(text), m_size(size), m_board(board) {}

  // Assembles the block at the consumed position (nothing is consumed).
  Result Next();
  // The block was acknowledged: consume the records it took.
  void Accept();

  // The block assembled by Next.
  uint16_t Base() const { return m_base; }
  uint8_t Page() const { return m_block_page; }
  const uint8_t* Data() const { return m_block; }
  // Set by a type 04 record: replaces the page in every block address.
  uint8_t Extended() const { return m_block_extended; }
  // The block closed on the end record (Next returns END once it is accepted).
  bool EndsImage() const { return m_ends; }
  size_t Consumed() const { return m_consumed; }

 private:
  const char* m_text;
  size_t m_size;
  bool m_board;
  size_t m_consumed = 0;
  bool m_split = false;  // the previous block ended inside the record at m_consumed

  uint16_t m_base = 0;
  uint8_t m_page = 0, m_block_page = 0;  // as accepted, and as the block has it
  uint8_t m_extended = 0, m_block_extended = 0;
  uint8_t m_block[BLOCK] = {};
  size_t m_next_consumed = 0;
  bool m_next_split = false;
  bool m_ends = false;
};
