// HEX text cut into the loaders' 64-byte blocks: block vectors for plain,
// straddling, paged and oversized records.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "panel/pages/can_reprogram_hex.h"

namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t first) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i);
  return v;
}

std::string Rec(uint8_t type, uint16_t address, const std::vector<uint8_t>& data, int fix = 0) {
  char buf[16];
  uint8_t sum = static_cast<uint8_t>(data.size() + (address >> 8) + address + type);
  std::snprintf(buf, sizeof(buf), ":%02X%04X%02X", unsigned(data.size()), address, type);
  std::string s = buf;
  for (uint8_t b : data) {
    std::snprintf(buf, sizeof(buf), "%02X", b);
    s += buf;
    sum = static_cast<uint8_t>(sum + b);
  }
  std::snprintf(buf, sizeof(buf), "%02X\r\n", static_cast<uint8_t>(-sum + fix));
  return s + buf;
}

const std::string END_REC = Rec(0x01, 0, {});

struct Block {
  uint16_t base;
  uint8_t page;
  uint8_t extended;
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> spans;  // offset, bytes; the rest 0xFF
};

// Runs the reader over the text; every block is accepted.
void Expect(const std::string& text, bool board, const std::vector<Block>& blocks, HexBlockReader::Result last) {
  HexBlockReader reader(text.data(), text.size(), board);
  for (const Block& b : blocks) {
    ASSERT_EQ(reader.Next(), HexBlockReader::BLOCK_READY) << b.base;
    EXPECT_EQ(reader.Base(), b.base);
    EXPECT_EQ(reader.Page(), b.page) << b.base;
    EXPECT_EQ(reader.Extended(), b.extended) << b.base;
    std::vector<uint8_t> want(64, 0xFF);
    for (const auto& [at, bytes] : b.spans) std::copy(bytes.begin(), bytes.end(), want.begin() + at);
    EXPECT_EQ(std::vector<uint8_t>(reader.Data(), reader.Data() + 64), want) << b.base;
    // Assembling again before the acknowledgement gives the same block.
    ASSERT_EQ(reader.Next(), HexBlockReader::BLOCK_READY);
    EXPECT_EQ(reader.Base(), b.base);
    reader.Accept();
  }
  EXPECT_EQ(reader.Next(), last);
}

TEST(HexBlocks, Vectors) {
  SCOPED_TRACE("four records fill one block");
  Expect(Rec(0, 0x100, Bytes(16, 0)) + Rec(0, 0x110, Bytes(16, 16)) + Rec(0, 0x120, Bytes(16, 32)) +
             Rec(0, 0x130, Bytes(16, 48)) + Rec(0, 0x140, Bytes(4, 9)) + END_REC,
         true, {{0x100, 0, 0, {{0, Bytes(64, 0)}}}, {0x140, 0, 0, {{0, Bytes(4, 9)}}}}, HexBlockReader::END);
}

TEST(HexBlocks, StraddlingRecordIsSplitAtTheBoundary) {
  Expect(Rec(0, 0x0020, Bytes(16, 0)) + Rec(0, 0x0030, Bytes(32, 100)) + Rec(0, 0x0050, Bytes(8, 200)) + END_REC,
         true,
         {{0x0000, 0, 0, {{0x20, Bytes(16, 0)}, {0x30, Bytes(16, 100)}}},
          {0x0040, 0, 0, {{0x00, Bytes(16, 116)}, {0x10, Bytes(8, 200)}}}},
         HexBlockReader::END);
}

TEST(HexBlocks, FiveRecordsAtMostPerBlock) {
  std::string text;
  for (uint16_t a = 0; a < 64; a += 8) text += Rec(0, a, Bytes(8, static_cast<uint8_t>(a)));
  Expect(text + END_REC, true, {{0, 0, 0, {{0, Bytes(40, 0)}}}, {0, 0, 0, {{40, Bytes(24, 40)}}}},
         HexBlockReader::END);
}

TEST(HexBlocks, EndRecordClosesABlockOrEndsAtOnce) {
  std::string text = Rec(0, 0x200, Bytes(4, 1)) + END_REC;
  HexBlockReader reader(text.data(), text.size(), true);
  ASSERT_EQ(reader.Next(), HexBlockReader::BLOCK_READY);
  EXPECT_TRUE(reader.EndsImage());
  reader.Accept();
  EXPECT_EQ(reader.Consumed(), text.size() - END_REC.size());
  EXPECT_EQ(reader.Next(), HexBlockReader::END);
  HexBlockReader first(END_REC.data(), END_REC.size(), true);
  EXPECT_EQ(first.Next(), HexBlockReader::END);
}

TEST(HexBlocks, PagesAndExtendedAddress) {
  // Board image: a segment record first sets page and base; later, it
  // closes the block and applies from the next one.
  Expect(Rec(0x02, 0x0000, {0x10, 0x00}) + Rec(0, 0x0000, Bytes(8, 0)) + Rec(0x02, 0x0000, {0x20, 0x00}) +
             Rec(0, 0x0000, Bytes(8, 50)) + END_REC,
         true, {{0, 4, 0, {{0, Bytes(8, 0)}}}, {0, 8, 0, {{0, Bytes(8, 50)}}}}, HexBlockReader::END);
  Expect(Rec(0x04, 0x0000, {0x00, 0x03}) + Rec(0, 0x0040, Bytes(8, 0)) + END_REC, true,
         {{0x40, 0, 3, {{0, Bytes(8, 0)}}}}, HexBlockReader::END);
  // Module image: any record but data ends it.
  Expect(Rec(0, 0x0040, Bytes(8, 0)) + Rec(0x04, 0x0000, {0x00, 0x03}) + Rec(0, 0x0080, Bytes(8, 0)), false,
         {{0x40, 0, 0, {{0, Bytes(8, 0)}}}}, HexBlockReader::END);
}

TEST(HexBlocks, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    std::string text;
  } rows[] = {
      {"more than 32 data bytes", Rec(0, 0, Bytes(33, 0))},
      {"255 data bytes", Rec(0, 0, Bytes(255, 0))},
      {"wrong checksum", Rec(0, 0, Bytes(8, 0), 1)},
      {"no colon", "00000001FF\r\n"},
      {"cut short", Rec(0, 0, Bytes(8, 0)).substr(0, 20)},
      {"not hex", ":0400000012G4567800\r\n"},
      {"empty", ""},
  };
  for (const Row& r : rows) {
    HexBlockReader reader(r.text.data(), r.text.size(), true);
    EXPECT_EQ(reader.Next(), HexBlockReader::FAILED) << r.what;
  }
  HexRecord rec;
  std::string ok = Rec(0, 0x1234, Bytes(32, 0));
  ASSERT_TRUE(hex_parse_record(ok.data(), ok.size(), 0, &rec));
  EXPECT_EQ(rec.length, 32);
  EXPECT_EQ(rec.address, 0x1234);
  EXPECT_EQ(rec.chars, ok.size());
  // LF-only line ends: the next record is not where it must be.
  std::string lf = Rec(0, 0, Bytes(4, 0));
  lf.erase(lf.size() - 2, 1);
  lf += Rec(0, 4, Bytes(4, 4));
  lf.erase(lf.size() - 2, 1);
  HexBlockReader reader(lf.data(), lf.size(), true);
  ASSERT_EQ(reader.Next(), HexBlockReader::BLOCK_READY);
  reader.Accept();
  EXPECT_EQ(reader.Next(), HexBlockReader::FAILED);
}

}  // namespace
