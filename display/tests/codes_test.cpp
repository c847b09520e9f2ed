#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "display/codes/msg_codes.h"

namespace {

std::vector<uint8_t> Encoded(const CMsgActivationCode& c) { return {c.m_encoded, c.m_encoded + 12}; }
std::vector<uint8_t> Encoded(const CMsgIDCode& c) { return {c.m_encoded, c.m_encoded + 5}; }

TEST(MsgActivationCode, DecodesFieldsAndEncodesTheSameBytes) {
  struct {
    std::array<uint8_t, 12> bytes;
    uint16_t duration;
    uint8_t priority, memory_type;
    uint16_t number, crc;
    std::array<uint8_t, 4> source;
  } cases[] = {
      {{0x01, 0x0B, 0x37, 0x04, 0x00, 0x05, 0x95, 0xF9, 0x67, 0x08, 0x09, 0x0A}, 267, 55, 4, 5, 0x95F9, {103, 8, 9, 10}},
      {{0x00, 0x3C, 0x05, 0x03, 0x00, 0x2A, 0x01, 0x02, 0x0A, 0x00, 0x00, 0x01}, 60, 5, 3, 42, 258, {10, 0, 0, 1}},
      {{0xFF, 0xFF, 0xFF, 0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 65535, 255, 7, 65535, 65535,
       {255, 255, 255, 255}},
      {{}, 0, 0, 0, 0, 0, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    CMsgActivationCode code;
    ASSERT_TRUE(code.Decode(c.bytes.data()));
    EXPECT_EQ(code.m_wDuration, c.duration);
    EXPECT_EQ(code.m_byPriority, c.priority);
    EXPECT_EQ(code.m_byMemoryType, c.memory_type);
    EXPECT_EQ(code.m_wMessageNumber, c.number);
    EXPECT_EQ(code.m_wCRC, c.crc);
    EXPECT_EQ(0, std::memcmp(code.m_bySource, c.source.data(), 4));
    EXPECT_EQ(0, std::memcmp(code.m_encoded, c.bytes.data(), 12));

    // Fields set by hand encode to the same bytes.
    CMsgActivationCode built;
    built.m_wDuration = c.duration;
    built.m_byPriority = c.priority;
    built.m_byMemoryType = c.memory_type;
    built.m_wMessageNumber = c.number;
    built.m_wCRC = c.crc;
    std::memcpy(built.m_bySource, c.source.data(), 4);
    built.Encode();
    EXPECT_EQ(Encoded(built), std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
  }
}

TEST(MsgActivationCode, NoInputOrAWrongLengthGivesAnAllZeroValue) {
  const uint8_t bytes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  CMsgActivationCode code;
  ASSERT_TRUE(code.Decode(bytes));
  EXPECT_FALSE(code.Decode(nullptr));
  EXPECT_EQ(Encoded(code), std::vector<uint8_t>(12, 0));
  EXPECT_EQ(code.m_wDuration, 0);
  EXPECT_EQ(code.m_wCRC, 0);
  code.Encode();
  EXPECT_EQ(Encoded(code), std::vector<uint8_t>(12, 0));

  // A stored string of another length is not read as a code (nor past its end).
  for (uint32_t length : {0u, 5u, 11u, 13u}) {
    ASSERT_TRUE(code.Decode(bytes, 12));
    EXPECT_FALSE(code.Decode(bytes, length)) << length;
    EXPECT_EQ(Encoded(code), std::vector<uint8_t>(12, 0)) << length;
  }
  // A decode of its own encoded bytes keeps them.
  ASSERT_TRUE(code.Decode(bytes, 12));
  ASSERT_TRUE(code.Decode(code.m_encoded));
  EXPECT_EQ(code.m_wMessageNumber, 0x0506);
}

TEST(MsgActivationCode, SameMessageComparesMemoryTypeNumberAndCrcOnly) {
  const std::array<uint8_t, 12> base = {0x00, 0x3C, 0x05, 0x03, 0x00, 0x2A, 0x01, 0x02, 0x0A, 0x00, 0x00, 0x01};
  struct {
    int byte;
    bool same;
  } cases[] = {{0, true}, {1, true}, {2, true}, {8, true}, {11, true}, {3, false}, {4, false}, {5, false},
               {6, false}, {7, false}};
  CMsgActivationCode a;
  a.Decode(base.data());
  for (const auto& c : cases) {
    auto changed = base;
    changed[c.byte] ^= 0x40;
    CMsgActivationCode b;
    b.Decode(changed.data());
    EXPECT_EQ(a.IsSameMessage(b), c.same) << "byte " << c.byte;
    EXPECT_EQ(b.IsSameMessage(a), c.same) << "byte " << c.byte;
  }
}

TEST(MsgIDCode, SetEncodesAndDecodeRoundTrips) {
  CMsgIDCode code;
  code.Set(2, 1, 0);
  EXPECT_EQ(Encoded(code), (std::vector<uint8_t>{0x02, 0x00, 0x01, 0x00, 0x00}));

  const uint8_t bytes[5] = {0x04, 0x00, 0x05, 0x95, 0xF9};
  CMsgIDCode decoded;
  ASSERT_TRUE(decoded.Decode(bytes));
  EXPECT_EQ(decoded.m_byMemoryType, 4);
  EXPECT_EQ(decoded.m_wMessageNumber, 5);
  EXPECT_EQ(decoded.m_wCRC, 0x95F9);
  CMsgIDCode again;
  again.Set(decoded.m_byMemoryType, decoded.m_wMessageNumber, decoded.m_wCRC);
  EXPECT_EQ(Encoded(again), std::vector<uint8_t>(bytes, bytes + 5));

  EXPECT_FALSE(decoded.Decode(nullptr));
  EXPECT_EQ(Encoded(decoded), std::vector<uint8_t>(5, 0));
  EXPECT_EQ(decoded.m_wMessageNumber, 0);
  EXPECT_FALSE(again.Decode(bytes, 4));
  EXPECT_EQ(Encoded(again), std::vector<uint8_t>(5, 0));
  EXPECT_TRUE(again.Decode(bytes, 5));
}

}  // namespace
