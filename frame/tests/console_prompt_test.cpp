// The console's line editor: typing, erasing, the line limit, line ends
// from different terminals, recall of earlier lines and the bounded history.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/console/prompt.h"

namespace {

std::string g_screen;
std::vector<std::string> g_lines;

int Echo(int c) {
  g_screen += static_cast<char>(c);
  return 0;
}
int Line(const char* line, int) {
  g_lines.push_back(line);
  return 0;
}

class PromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_screen.clear();
    g_lines.clear();
  }
  void Type(const std::string& keys) {
    for (char c : keys) EXPECT_EQ(prompt_.PutChar(static_cast<unsigned char>(c)), static_cast<unsigned char>(c));
  }
  CPrompt prompt_{Echo, Line};
};

const std::string kUp = "\x1b[A";
const std::string kDown = "\x1b[B";
const std::string kErase1 = "\b \b";

TEST_F(PromptTest, TypedLineGoesToTheHandlerAndThePromptFollows) {
  prompt_.ShowPrompt();
  Type("vms -s\r");
  EXPECT_EQ(g_lines, std::vector<std::string>{"vms -s"});
  EXPECT_EQ(g_screen, "VMS>vms -s\r\nVMS>");
  EXPECT_EQ(prompt_.Length(), 0u);
}

TEST_F(PromptTest, EditingCases) {
  struct Row {
    const char* name;
    std::string keys;
    std::vector<std::string> lines;
    std::string screen;
  } rows[] = {
      {"backspace erases", "ab\bc\r", {"ac"}, "ab" + kErase1 + "c\r\nVMS>"},
      {"delete erases too", "ab\x7f\r", {"a"}, "ab" + kErase1 + "\r\nVMS>"},
      {"backspace on an empty line", "\b\r", {""}, "\r\nVMS>"},
      {"CR LF is one line end", "a\r\nb\n", {"a", "b"}, "a\r\nVMS>b\r\nVMS>"},
      {"LF CR is two", "\n\r", {"", ""}, "\r\nVMS>\r\nVMS>"},
      {"other escapes are dropped", "a\x1b[Cb\x1bXc\r", {"abc"}, "abc\r\nVMS>"},
      {"zero bytes are dropped", std::string("a\0b\r", 4), {"ab"}, "ab\r\nVMS>"},
  };
  for (const Row& r : rows) {
    SetUp();
    prompt_.Reset();
    Type(r.keys);
    EXPECT_EQ(g_lines, r.lines) << r.name;
    EXPECT_EQ(g_screen, r.screen) << r.name;
  }
}

TEST_F(PromptTest, LineIsCutAtFiftyCharacters) {
  Type(std::string(60, 'y') + "\r");
  ASSERT_EQ(g_lines.size(), 1u);
  EXPECT_EQ(g_lines[0], std::string(50, 'y'));
  EXPECT_EQ(g_screen, std::string(50, 'y') + "\r\nVMS>");
}

TEST_F(PromptTest, RecallTakesTheNewestLineOutOfTheHistory) {
  Type("vms -s\r");
  Type("help\r");
  Type("\r");  // empty lines are not kept
  EXPECT_EQ(prompt_.HistoryCount(), 2u);
  g_screen.clear();
  Type("xy" + kUp);
  // The typed text is erased, the newest line shown and taken.
  EXPECT_EQ(g_screen, "xy" + kErase1 + kErase1 + "help");
  EXPECT_STREQ(prompt_.Line(), "help");
  EXPECT_EQ(prompt_.HistoryCount(), 1u);
  // Down recalls the same way: the next newest.
  g_screen.clear();
  Type(kDown);
  EXPECT_EQ(g_screen, kErase1 + kErase1 + kErase1 + kErase1 + "vms -s");
  EXPECT_STREQ(prompt_.Line(), "vms -s");
  EXPECT_EQ(prompt_.HistoryCount(), 0u);
  // With the history empty the line is left empty.
  Type(kUp);
  EXPECT_STREQ(prompt_.Line(), "");
  EXPECT_EQ(prompt_.Length(), 0u);
  // A recalled line can be edited and run again, and is kept again.
  Type("vms -s" + kUp + "vms -t 1\r");
  EXPECT_EQ(g_lines.back(), "vms -t 1");
  EXPECT_EQ(prompt_.HistoryCount(), 1u);
}

TEST_F(PromptTest, RecallOfTheOnlyLineEmptiesTheHistory) {
  Type("vms -s\r" + kUp);
  EXPECT_STREQ(prompt_.Line(), "vms -s");
  EXPECT_EQ(prompt_.HistoryCount(), 0u);
  Type("\r" + kUp);
  EXPECT_STREQ(prompt_.Line(), "vms -s");
  Type(kUp);
  EXPECT_STREQ(prompt_.Line(), "");
}

TEST_F(PromptTest, HistoryIsBounded) {
  for (int i = 0; i < 1000; ++i) Type("line " + std::to_string(i) + "\r");
  EXPECT_EQ(prompt_.HistoryCount(), CPrompt::HISTORY_MAX);
  Type(kUp);
  EXPECT_STREQ(prompt_.Line(), "line 999");
  for (uint32_t i = 1; i < CPrompt::HISTORY_MAX; ++i) Type(kUp);
  EXPECT_EQ(prompt_.Line(), "line " + std::to_string(1000 - CPrompt::HISTORY_MAX));
  Type(kUp);
  EXPECT_STREQ(prompt_.Line(), "");
}

TEST_F(PromptTest, WithoutAnEchoNothingHappens) {
  CPrompt silent(nullptr, Line);
  silent.ShowPrompt();
  EXPECT_EQ(silent.PutChar('a'), 'a');
  EXPECT_EQ(silent.PutChar('\r'), '\r');
  EXPECT_TRUE(g_lines.empty());
  EXPECT_EQ(g_screen, "");
}

}  // namespace
