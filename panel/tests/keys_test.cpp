// Key decoding: the keypad's events and letter groups, the PS/2 decoder
// with both layouts, and the manager's multi-tap, key-12 and shortcut rules.
#include <string>
#include <vector>

#include "panel/lcd_keys.h"
#include "panel/tests/panel_fixture.h"

namespace {

// Codes of a keypad key's events in tap order; flags folded in as a
// prefix: '+' keypad and replace, '~' replace only.
std::string Events(uint32_t k) {
  uint32_t count = 0;
  const LCDKeyEvent* list = lcd_keypad_events(k, &count);
  std::string s;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t f = lcd_key_flags(list[i]);
    s += f == (LCD_KEY_FLAG_KEYPAD | LCD_KEY_FLAG_REPLACE) ? '+' : f == LCD_KEY_FLAG_REPLACE ? '~' : '?';
    const uint16_t c = lcd_key_code(list[i]);
    if (c >= 0x20 && c < 0x7F)
      s += static_cast<char>(c);
    else
      s += "<" + std::to_string(c) + ">";
  }
  return s;
}

TEST(KeypadTable, EveryKeyGivesItsEvents) {
  const struct {
    uint32_t code;
    std::string events;
  } rows[] = {
      {0, "+<27>"},
      {1, "+7~P~Q~R~S~7~p~q~r~s"},
      {2, "+4~G~H~I~4~g~h~i"},
      {3, "+1~$~.~&~=~%~*~+~-~\\~@~:~^~?~!~~~#~(~)"},
      {4, "+0~ "},
      {5, "+8~T~U~V~8~t~u~v"},
      {6, "+5~J~K~L~5~j~k~l"},
      {7, "+2~A~B~C~2~a~b~c"},
      {8, "+<10>"},
      {9, "+9~W~X~Y~Z~9~w~x~y~z"},
      {10, "+6~M~N~O~6~m~n~o"},
      {11, "+3~D~E~F~3~d~e~f"},
      {12, "+<285>"},
      {13, "+<284>"},
      {14, "+<286>"},
      {15, "+<283>"},
  };
  for (const auto& r : rows) EXPECT_EQ(Events(r.code), r.events) << "key " << r.code;
  uint32_t count = 7;
  EXPECT_EQ(lcd_keypad_events(16, &count), nullptr);
  EXPECT_EQ(count, 0u);
}

TEST(KeypadTable, LetterGroupsAndCase) {
  const struct {
    uint32_t c;
    int32_t digit;
  } rows[] = {{'a', 2}, {'C', 2}, {0xC5, 2}, {0xE0, 2}, {'d', 3}, {0xCB, 3}, {'i', 4}, {0xEF, 4}, {'j', 5},
              {'l', 5}, {'o', 6}, {0xD6, 6}, {0xF6, 6}, {'s', 7}, {'t', 8}, {0xFC, 8}, {'z', 9}, {0x9F, 9},
              {' ', 0}, {'0', 0}, {'7', 7}, {'$', 1}, {0xD7, 1}, {0xC6, 1}, {0x1F, -1}, {10, -1}};
  for (const auto& r : rows) EXPECT_EQ(keypad_digit_of(r.c), r.digit) << "char " << r.c;

  EXPECT_EQ(latin1_toupper('q'), static_cast<uint32_t>('Q'));
  EXPECT_EQ(latin1_toupper(0xE9), 0xC9u);
  EXPECT_EQ(latin1_toupper(0xF7), 0xF7u);  // the division sign has no case
  EXPECT_EQ(latin1_toupper(0xFF), 0xAFu);
  EXPECT_EQ(latin1_tolower('Q'), static_cast<uint32_t>('q'));
  EXPECT_EQ(latin1_tolower(0xD7), 0xD7u);
  EXPECT_EQ(latin1_tolower(0xAF), 0xFFu);
  EXPECT_EQ(latin1_tolower('5'), static_cast<uint32_t>('5'));
}

// ---------------------------------------------------------------- PS/2

class KeyboardTest : public ::testing::Test {
 protected:
  // Feeds the bytes and returns the queued events as text: characters as
  // themselves, other codes in <>, flags after '/'.
  // Drains after every byte, as the manager does.
  std::string Feed(const std::vector<uint8_t>& bytes) {
    std::string s;
    for (uint8_t b : bytes) {
      kb.FeedScanCode(b);
      s += Drain();
    }
    return s;
  }
  std::string Drain() {
    std::string s;
    LCDKeyEvent e = 0;
    while (kb.GetKey(&e)) {
      const uint16_t c = lcd_key_code(e);
      if (c >= 0x20 && c < 0x7F)
        s += static_cast<char>(c);
      else
        s += "<" + std::to_string(c) + ">";
      if (lcd_key_flags(e)) s += "/" + std::to_string(lcd_key_flags(e));
    }
    return s;
  }
  keyboard_decoder kb;
};

TEST_F(KeyboardTest, UsLayout) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string events;
  } rows[] = {
      {"letters", {0x1C, 0xF0, 0x1C, 0x32, 0xF0, 0x32}, "ab"},
      {"shift", {0x12, 0x1C, 0xF0, 0x1C, 0x16, 0xF0, 0x12, 0x16}, "<270>A!1"},
      {"caps lock", {0x58, 0xF0, 0x58, 0x1C, 0x12, 0x1C}, "<274>A<270>a"},
      {"enter, esc, backspace, tab", {0x5A, 0x76, 0x66, 0x0D}, "<10><27><8><9>"},
      {"function keys", {0x05, 0x07, 0x83}, "<256><267><262>"},
      {"keypad without num lock", {0x69, 0x75, 0x73}, "<280>/1<283>/1" "5/1"},
      {"keypad digits need num lock and shift", {0x77, 0x6B, 0x12, 0x6B}, "<275>/1<284>/1<270>4/1"},
      {"keypad operators", {0x79, 0x7B, 0x7C}, "+/1-/1*/1"},
      {"extended keys", {0xE0, 0x75, 0xE0, 0x6B, 0xE0, 0x71, 0xE0, 0x5A, 0xE0, 0x4A}, "<283><284><278><10>/1//1"},
      {"extended release", {0xE0, 0xF0, 0x75}, ""},
      {"unknown codes", {0x00, 0x84, 0xE0, 0x12, 0x1C}, "a"},
      {"ctrl flag", {0x14, 0x05, 0xF0, 0x14, 0x05}, "<268>/4<256>/4<256>"},
      {"right ctrl", {0xE0, 0x14, 0x06, 0xE0, 0xF0, 0x14, 0x06}, "<271>/4<257>/4<257>"},
  };
  for (const auto& r : rows) {
    kb = keyboard_decoder();
    EXPECT_EQ(Feed(r.bytes), r.events) << r.name;
  }
}

TEST_F(KeyboardTest, AReleaseOfAnUnknownKeyDoesNotEatTheNextPress) {
  EXPECT_EQ(kb.FeedScanCode(0xF0), 1u);
  EXPECT_EQ(kb.FeedScanCode(0x00), 0u);
  EXPECT_EQ(Feed({0x1C}), "a");
}

TEST_F(KeyboardTest, FrenchCanadianLayoutAndDeadKeys) {
  ASSERT_TRUE(kb.SetLanguage(KEYBOARD_LAYOUT_FRCA));
  EXPECT_FALSE(kb.SetLanguage(0x41424344));
  EXPECT_EQ(kb.Language(), KEYBOARD_LAYOUT_FRCA);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string events;
  } rows[] = {
      {"hash", {0x0E}, "#"},
      {"e acute key", {0x4A}, "<233>"},
      {"shifted", {0x12, 0x1E, 0x26, 0x36, 0x41, 0x5D, 0xF0, 0x12}, "<270>\"/?'>"},
      {"circumflex then e", {0x54, 0x24}, "<234>"},
      {"circumflex then x", {0x54, 0x22}, "^x"},
      {"circumflex then blank", {0x54, 0x29}, "^"},
      {"circumflex twice", {0x54, 0x54}, "^^"},
      {"circumflex then backspace", {0x54, 0x66}, ""},
      {"cedilla then c", {0x5B, 0x21}, "<231>"},
      {"diaeresis (shifted) then u", {0x12, 0x5B, 0xF0, 0x12, 0x3C}, "<270><252>"},
      {"grave then a", {0x52, 0x1C}, "<224>"},
      {"grave then a function key", {0x52, 0x05, 0x1C}, "<256><224>"},
      {"altgr", {0xE0, 0x11, 0x1E, 0x52, 0x0E, 0x1C}, "<272>@{\\a"},
      {"altgr acute then E", {0xE0, 0x11, 0x4A, 0xE0, 0xF0, 0x11, 0x12, 0x24}, "<272><270><201>"},
  };
  for (const auto& r : rows) {
    kb = keyboard_decoder();
    kb.SetLanguage(KEYBOARD_LAYOUT_FRCA);
    EXPECT_EQ(Feed(r.bytes), r.events) << r.name;
  }
}

TEST_F(KeyboardTest, TheQueueHoldsFourEvents) {
  for (uint8_t b : {0x1C, 0x32, 0x21, 0x23, 0x24}) kb.FeedScanCode(b);
  EXPECT_EQ(kb.Queued(), 4u);
  EXPECT_EQ(Drain(), "abcd");
  EXPECT_FALSE(kb.GetKey(nullptr));
}

// ---------------------------------------------------------------- the manager's keys

class ManagerKeysTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    // A text page under the main menu's CHANGE PASSWORD entry.
    add_test_page_class(137, "CHANGE PASSWORD", 0);
    MakeManager();
    Start();
    LoginWithPin({3, 7, 11, 2});   // 1 2 3 4
    ASSERT_EQ(mgr_->m_iLevel, LCD_LEVEL_ADMIN_PIN);
    page_ = test_page::s_made.back();
    ASSERT_TRUE(mgr_->ActivateMenu(LCD_MENU_CHANGE_PASSWORD, mgr_->CurrentMenu(), false));
    Tick();
  }
  test_page* page_ = nullptr;
};

TEST_F(ManagerKeysTest, MultiTapReplacesTheLastLetter) {
  PressKeys({7, 7, 7, 7, 7, 7, 7, 7, 7});
  // '2', then A, B, C, '2', a, b, c replacing it, and the list again.
  EXPECT_STREQ(page_->text, "2");
  ASSERT_EQ(page_->keys.size(), 9u);
  EXPECT_EQ(lcd_key_flags(page_->keys[0]), LCD_KEY_FLAG_KEYPAD);
  EXPECT_EQ(lcd_key_code(page_->keys[1]), 'A');
  EXPECT_EQ(lcd_key_flags(page_->keys[1]), LCD_KEY_FLAG_REPLACE);
  EXPECT_EQ(lcd_key_code(page_->keys[7]), 'c');
  EXPECT_EQ(lcd_key_code(page_->keys[8]), '2');
  EXPECT_TRUE(lcd_key_flags(page_->keys[8]) & LCD_KEY_FLAG_REPLACE);

  PressKeys({11, 9});  // 3 then 9: two new characters
  EXPECT_STREQ(page_->text, "239");
  EXPECT_EQ(lcd_key_flags(page_->keys[9]), LCD_KEY_FLAG_KEYPAD);
  EXPECT_EQ(lcd_key_flags(page_->keys[10]), LCD_KEY_FLAG_KEYPAD);
  EXPECT_EQ(Unit().line(4).substr(0, 8), "TEXT:239");
}

TEST_F(ManagerKeysTest, RightIsHeldBackUnlessThePageWantsIt) {
  PressKeys({LCD_PAD_RIGHT});
  EXPECT_TRUE(page_->keys.empty());
  mgr_->m_byKey12Pass = 1;
  PressKeys({LCD_PAD_RIGHT, LCD_PAD_RIGHT});
  ASSERT_EQ(page_->keys.size(), 2u);
  // The second RIGHT is the same key again, but arrows never replace.
  EXPECT_EQ(page_->keys[1], lcd_key_event(LCD_KEY_RIGHT, LCD_KEY_FLAG_KEYPAD));
}

TEST_F(ManagerKeysTest, EscOpensTheParentAndFunctionKeysTheirPages) {
  PressKeys({LCD_PAD_CANCEL});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);

  // F12 from a PS/2 keyboard on any page opens the main menu.
  ASSERT_TRUE(mgr_->ActivateMenu(LCD_MENU_CHANGE_PASSWORD, mgr_->CurrentMenu(), false));
  Unit().keyboard(0, {0x07, 0xF0, 0x07});
  Tick();
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  Unit().keyboard(0, {0x0A});  // F8: BRIGHTNESS
  Tick();
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 44);
}

TEST_F(ManagerKeysTest, KeysReloadTheLogoutCountdown) {
  mgr_->m_dwLogoutCountdown = 3;
  PressKeys({7});
  EXPECT_EQ(mgr_->m_dwLogoutCountdown, 120 - 1);
  Unit().keyboard(0, {0x1C});
  Tick();
  EXPECT_EQ(mgr_->m_dwLogoutCountdown, 120 - 1);
}

TEST(QuickMessages, TextsOfBothSignKinds) {
  char text[256];
  lcd_quick_message_text(5, false, text, sizeof text);
  EXPECT_STREQ(text, "[pt6o0][ms11,g,0,0,ArrowDouble3_27x48.bmp][np][ms11,g,0,0,Blank_27x48.bmp]");
  lcd_quick_message_text(2, true, text, sizeof text);
  EXPECT_STREQ(text,
               "[pt6o0][ms11,g,0,0,ArrowLeft3_21x40.bmp][np][ms11,g,0,0,Blank_21x40.bmp][np][ms11,g,0,0,"
               "ArrowLeft1_21x40.bmp][np][ms11,g,0,0,ArrowLeft2_21x40.bmp]");
  lcd_quick_message_text(8, false, text, sizeof text);
  EXPECT_STREQ(text, "");
}

}  // namespace
