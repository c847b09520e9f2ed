// The serial pattern matcher: whole-pattern matches, restarts after a
// broken partial match, and patterns that can never match.
#include <gtest/gtest.h>

#include <string>

#include "frame/matcher/serial_probe.h"

namespace {

// Feeds the stream and records the matched flag after every byte.
std::string Trace(serial_probe& probe, const std::string& stream) {
  std::string flags;
  for (char c : stream) {
    uint8_t b = static_cast<uint8_t>(c);
    EXPECT_EQ(string_matcher_feed(&probe, b), b);  // the byte passes through
    flags += probe.m_byMatched ? '1' : '0';
  }
  return flags;
}

TEST(Matcher, FlagAfterEachByte) {
  struct Row {
    const char* pattern;
    const char* stream;
    const char* flags;
  } rows[] = {
      {"AB", "AB", "01"},
      // The second A breaks the partial match and is not a new start.
      {"AB", "AAB", "000"},
      // After a match the first pattern byte keeps the flag; others clear it.
      {"AB", "ABA", "011"},
      {"AB", "ABC", "010"},
      {"AB", "ABAB", "0111"},
      {"OK\r\n", "xxOK\r\nOK", "00000111"},
      {"CONNECT", "CONNEC CONNECT", "00000000000001"},
      {"A", "AAA", "111"},
  };
  for (const Row& r : rows) {
    serial_probe probe;
    EXPECT_EQ(string_matcher_init(&probe, r.pattern), static_cast<int32_t>(std::string(r.pattern).size()));
    EXPECT_EQ(Trace(probe, r.stream), r.flags) << r.pattern << " / " << r.stream;
  }
}

TEST(Matcher, EmptyOrMissingPatternNeverMatches) {
  // A zero byte in the stream must not match an empty pattern's terminator
  // and walk the matcher past its end.
  const char empty[1] = {0};
  serial_probe probe;
  EXPECT_EQ(string_matcher_init(&probe, empty), 0);
  EXPECT_EQ(Trace(probe, std::string("\0\0a\0", 4)), "0000");
  EXPECT_EQ(probe.m_uIndex, 0u);

  serial_probe unset;  // never initialised
  EXPECT_EQ(Trace(unset, "abc"), "000");
  EXPECT_EQ(string_matcher_init(&unset, nullptr), 0);
  EXPECT_EQ(Trace(unset, std::string("\0x", 2)), "00");
  EXPECT_EQ(string_matcher_feed(nullptr, 7), 7);
}

TEST(Matcher, InitStartsOver) {
  serial_probe probe;
  string_matcher_init(&probe, "XY");
  Trace(probe, "X");
  EXPECT_EQ(probe.m_uIndex, 1u);
  string_matcher_init(&probe, "YZ");
  EXPECT_EQ(probe.m_uIndex, 0u);
  EXPECT_EQ(Trace(probe, "YZ"), "01");
}

}  // namespace
