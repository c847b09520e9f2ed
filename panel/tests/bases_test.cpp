// The generic pages: the editors and field painters they use, the submenu
// and option lists, the number and address entries, and the wizard.
#include <string>
#include <vector>

#include "panel/tests/panel_fixture.h"

namespace {

std::string Line(const std::string& text, unsigned lead = 0) {
  std::string s = std::string(lead, ' ') + text;
  s.resize(40, ' ');
  return s;
}

LCDKeyEvent Key(uint16_t code, uint8_t flags = 0) { return lcd_key_event(code, flags); }

class BasesTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    MakeManager();
    Start();
    mgr_->m_dwRights = 0xFFFFFFFF;
    mgr_->m_iLevel = 1;
  }
  // The manager owns the page from now on; its parent is the main menu.
  template <class T>
  T* Adopt(T* page) {
    page->m_pParent = mgr_->FindMenu(LCD_MENU_MAIN, nullptr);
    mgr_->m_apMenus[mgr_->m_wMenuCount++] = page;
    return page;
  }
  void Open(CMenuItem* page) {
    InThread([&] { ASSERT_TRUE(mgr_->ActivateMenu(page->m_iId, mgr_->CurrentMenu(), false)); });
    Tick();
  }
  // Keys straight to the manager's key handling, one tick each.
  void Keys(const std::vector<LCDKeyEvent>& keys) {
    for (LCDKeyEvent k : keys) {
      InThread([&] {
        LCDKeyEvent key = k;
        if (!mgr_->CurrentMenu()->HandleKey(mgr_, &key)) mgr_->UnhandledKey(k, false);
      });
      Tick();
    }
  }
  std::vector<LCDKeyEvent> Digits(const std::string& digits) {
    std::vector<LCDKeyEvent> out;
    for (char c : digits) out.push_back(Key(static_cast<uint16_t>(c), LCD_KEY_FLAG_KEYPAD));
    return out;
  }
};

// ---------------------------------------------------------------- editors

TEST_F(BasesTest, EditNumber) {
  const struct {
    uint32_t value, max;
    LCDKeyEvent key;
    uint8_t rolling;
    uint32_t result;
    bool consumed;
  } rows[] = {
      {25, 255, Key('6'), 0, 25, true},
      {25, 255, Key('5'), 0, 255, true},
      {0, 255, Key('0'), 0, 0, true},
      {429496729, 0, Key('1'), 0, 429496729, true},
      {429496728, 0, Key('5'), 0, 4294967285u, true},
      {12, 0, Key(LCD_KEY_BACKSPACE), 0, 1, true},
      {12, 0, Key(LCD_KEY_LEFT, LCD_KEY_FLAG_KEYPAD), 0, 1, true},
      {12, 0, Key(LCD_KEY_LEFT), 0, 12, false},
      {12, 0, Key('A'), 0, 12, false},
      {50, 500, Key('7'), 1, 7, true},
      {5, 59, Key('7'), 1, 57, true},
      {57, 59, Key('3'), 1, 3, true},
      {200000000, 1500000000, Key('1'), 1, 200000000, true},
  };
  for (const auto& r : rows) {
    uint32_t value = r.value;
    bool consumed = false;
    InThread([&] { consumed = mgr_->EditNumber(&value, r.max, r.key, r.rolling); });
    EXPECT_EQ(value, r.result) << r.value << " max " << r.max << " key " << lcd_key_code(r.key);
    EXPECT_EQ(consumed, r.consumed) << r.value;
  }
  EXPECT_FALSE(mgr_->EditNumber(nullptr, 0, Key('1')));
}

TEST_F(BasesTest, EditText) {
  char text[17] = {};
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(mgr_->EditText(text, sizeof text, Key('a' + i)));
  EXPECT_FALSE(mgr_->EditText(text, sizeof text, Key('z')));
  EXPECT_STREQ(text, "abcdefghijklmnop");
  // The same key again replaces the last character, without a length test.
  EXPECT_TRUE(mgr_->EditText(text, sizeof text, Key('Q', LCD_KEY_FLAG_REPLACE)));
  EXPECT_STREQ(text, "abcdefghijklmnoQ");
  EXPECT_FALSE(mgr_->EditText(text, sizeof text, Key(LCD_KEY_ENTER)));
  EXPECT_FALSE(mgr_->EditText(text, sizeof text, Key(LCD_KEY_RIGHT)));
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(mgr_->EditText(text, sizeof text, Key(LCD_KEY_BACKSPACE)));
  // Backspace on an empty text is left to the page.
  EXPECT_FALSE(mgr_->EditText(text, sizeof text, Key(LCD_KEY_BACKSPACE)));
  EXPECT_TRUE(mgr_->EditText(text, sizeof text, Key('x', LCD_KEY_FLAG_REPLACE)));
  EXPECT_STREQ(text, "x");
  // No room for a character and its end.
  char tiny[1] = {0};
  EXPECT_FALSE(mgr_->EditText(tiny, sizeof tiny, Key('x', LCD_KEY_FLAG_REPLACE)));
  EXPECT_FALSE(mgr_->EditText(nullptr, 5, Key('x')));
  // Each character taken moves the multi-tap on.
  mgr_->m_byTapIndex = 0;
  mgr_->EditText(text, sizeof text, Key('y'));
  EXPECT_EQ(mgr_->m_byTapIndex, 1);
}

TEST_F(BasesTest, FieldPainters) {
  InThread([&] { mgr_->DrawNumberField(4, 10, 0, 5, true); });
  EXPECT_EQ(Unit().line(4).substr(9, 5), "0    ");
  EXPECT_EQ(mgr_->m_iCursorColumn, 10);
  InThread([&] { mgr_->DrawNumberField(4, 10, 42, 5, true); });
  EXPECT_EQ(Unit().line(4).substr(9, 5), "42   ");
  EXPECT_EQ(mgr_->m_iCursorColumn, 12);
  EXPECT_EQ(mgr_->m_iCursorLine, 4);
  port_->take_sent();
  InThread([&] { mgr_->DrawNumberField(4, 10, 42, 16, true); });
  EXPECT_EQ(port_->take_sent(), "");

  InThread([&] { mgr_->DrawDecimalField(5, 3, 12, 2, 5, 2, true, true); });
  EXPECT_EQ(Unit().line(5).substr(2, 6), "12.05 ");
  EXPECT_EQ(mgr_->m_iCursorColumn, 3 + 6 - 1);
  InThread([&] { mgr_->DrawDecimalField(5, 3, 12, 2, 0, 0, false, true); });
  EXPECT_EQ(Unit().line(5).substr(2, 4), "12 .");
  EXPECT_EQ(mgr_->m_iCursorColumn, 3 + 4 - 2);
  InThread([&] { mgr_->DrawDecimalField(5, 3, 0, 0, 0, 0, false, true); });
  EXPECT_EQ(Unit().line(5).substr(2, 2), " .");
  InThread([&] { mgr_->DrawDecimalField(5, 3, 1, 1, 1234567, 7, true, true); });
  EXPECT_EQ(Unit().line(5).substr(2, 10), "1.1234567 ");

  const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWXY";
  InThread([&] { mgr_->DrawTextField(6, 2, text.c_str(), 20, 2, true); });
  EXPECT_EQ(Unit().line(6).substr(1, 20), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(Unit().line(7).substr(1, 20), "UVWXY               ");
  EXPECT_EQ(mgr_->m_iCursorLine, 7);
  EXPECT_EQ(mgr_->m_iCursorColumn, 7);
}

// ---------------------------------------------------------------- lists

TEST_F(BasesTest, ASubmenuListOfSevenTurnsItsPage) {
  auto* list = Adopt(new CLCD_MenuItemEx(300, "LIST"));
  const char* titles[] = {"ONE", "TWO", "THREE", "FOUR", "FIVE", "SIX", "SEVEN", "EIGHT"};
  std::vector<test_page*> entries;
  for (int i = 0; i < 8; ++i) {
    entries.push_back(Adopt(new test_page(301 + i, titles[i], i == 3 ? 0x1 : 0)));
    ASSERT_TRUE(list->AddSubMenu(entries.back()));
  }
  mgr_->m_dwRights = 0xFFFFFFFE;  // FOUR is hidden: the numbering closes up
  Open(list);
  EXPECT_EQ(Unit().line(1), Line("LIST", 18));
  EXPECT_EQ(Unit().line(4), Line("3) THREE"));
  EXPECT_EQ(Unit().line(5), Line("4) FIVE"));
  EXPECT_EQ(Unit().line(7), Line("6) SEVEN"));
  EXPECT_FALSE(Unit().pixel(237, 26));  // no up arrow
  EXPECT_TRUE(Unit().pixel(237, 36));   // a down arrow

  Keys({Key(LCD_KEY_DOWN, LCD_KEY_FLAG_KEYPAD)});
  EXPECT_EQ(Unit().line(2), Line("1) EIGHT"));
  for (unsigned l = 3; l <= 7; ++l) EXPECT_EQ(Unit().line(l), Line("")) << l;
  EXPECT_TRUE(Unit().pixel(237, 26));
  EXPECT_FALSE(Unit().pixel(237, 36));
  Keys({Key('2'), Key(LCD_KEY_DOWN)});
  EXPECT_EQ(mgr_->CurrentMenu(), list);
  EXPECT_EQ(list->m_byPage, 1);
  Keys({Key(LCD_KEY_HOME), Key('7'), Key('8')});
  EXPECT_EQ(mgr_->CurrentMenu(), list);
  Keys({Key('6')});
  EXPECT_EQ(mgr_->CurrentMenu(), entries[6]);
  EXPECT_EQ(entries[6]->m_pParent, list);
}

TEST_F(BasesTest, EmptyAndHiddenLists) {
  auto* empty = Adopt(new CLCD_MenuItemEx(310, "EMPTY"));
  EXPECT_FALSE(empty->HasRights(mgr_));
  Open(empty);
  EXPECT_EQ(Unit().line(2), Line(""));

  auto* hidden = Adopt(new CLCD_MenuItemEx(311, "HIDDEN"));
  hidden->AddSubMenu(Adopt(new test_page(312, "LOCKED", 0x80000000)));
  mgr_->m_dwRights = 0x1;
  EXPECT_FALSE(hidden->HasRights(mgr_));
  Open(hidden);
  EXPECT_EQ(Unit().line(2), Line("1) NO MENUS AVAILABLE"));

  for (uint32_t i = 1; i < CLCD_MenuItemEx::MAX_SUBMENUSIZE; ++i) EXPECT_TRUE(hidden->AddSubMenu(empty));
  EXPECT_FALSE(hidden->AddSubMenu(empty));
  EXPECT_TRUE(trace_.contains("Error: Add LCD Menu Failure, 30 selection, MAX_SUBMENUSIZE) = 30\n"));
  EXPECT_FALSE(empty->AddSubMenu(nullptr));
  EXPECT_TRUE(trace_.contains("Error: Add LCD menu Failure,  0 pointer = NULL\n"));
}

class options_page : public CLCD_SimpleMenuBase {
 public:
  options_page() : CLCD_SimpleMenuBase(320, "OPTIONS") {
    for (uint32_t i = 0; i < 12; ++i) {
      names[i] = "OPTION " + std::to_string(i + 1);
      options[i] = CLCD_MenuOption(100 + i, names[i].c_str(), "");
      AddOption(&options[i]);
    }
  }
  void OnSelect(CLCD_Manager*, CLCD_MenuOption* option) override { selected.push_back(option->m_dwValue); }
  std::string names[12];
  CLCD_MenuOption options[12];
  std::vector<uint32_t> selected;
};

TEST_F(BasesTest, OptionListsNumberByPageOrOnwards) {
  auto* page = Adopt(new options_page());
  page->m_byAutoNavigate = 0;
  Open(page);
  EXPECT_EQ(Unit().line(2), Line("1) OPTION 1"));
  Keys({Key(LCD_KEY_PAGE_DOWN)});
  EXPECT_EQ(Unit().line(2), Line("1) OPTION 7"));
  page->m_byContinuousNumbering = 1;
  Keys({Key(LCD_KEY_END)});
  EXPECT_EQ(Unit().line(2), Line("7) OPTION 7"));
  EXPECT_EQ(Unit().line(7), Line("12) OPTION 12"));
  Keys({Key('2'), Key('7')});
  EXPECT_EQ(page->selected, std::vector<uint32_t>{107});
  EXPECT_EQ(page->m_dwSelected, 7u);
  CLCD_MenuOption* found = nullptr;
  EXPECT_TRUE(page->FindOption(105, &found));
  EXPECT_EQ(found, &page->options[5]);
  EXPECT_FALSE(page->FindOption(99, &found));
  EXPECT_EQ(found, nullptr);
  // With auto-navigation the option's next menu opens: 0 is the parent.
  page->m_byAutoNavigate = 1;
  Keys({Key('1')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
}

// ---------------------------------------------------------------- entries

class number_page : public CLCD_SimpleNumberEntry {
 public:
  number_page() : CLCD_SimpleNumberEntry(330, "NUMBER") { m_pszRestriction = "0-99"; }
  bool ValidateValue(CLCD_Manager*) override { return m_dwValue < 100; }
  void StoreValue(CLCD_Manager*) override { stored.push_back(m_dwValue); }
  std::vector<uint32_t> stored;
};

TEST_F(BasesTest, NumberEntry) {
  auto* page = Adopt(new number_page());
  Open(page);
  EXPECT_EQ(Unit().line(2), Line("RESTRICTIONS:0-99", 11));
  EXPECT_EQ(Unit().line(8), Line("PRESS ENTER TO SAVE", 10));
  Keys({Key('1'), Key('2'), Key(LCD_KEY_BACKSPACE), Key('5')});
  EXPECT_EQ(page->m_dwValue, 15u);
  EXPECT_EQ(Unit().line(4), Line("VALUE: 15", 9));
  EXPECT_EQ(mgr_->m_iCursorColumn, 19);
  Keys({Key('0'), Key(LCD_KEY_ENTER)});
  EXPECT_EQ(page->stored, std::vector<uint32_t>{});
  EXPECT_EQ(Unit().line(6), Line("INVALID ENTRY", 13));
  EXPECT_EQ(mgr_->CurrentMenu(), page);
  Tick(4);
  EXPECT_EQ(Unit().line(6), Line("INVALID ENTRY", 13));
  Tick();
  EXPECT_EQ(Unit().line(6), Line(""));
  Keys({Key(LCD_KEY_BACKSPACE), Key(LCD_KEY_ENTER)});
  EXPECT_EQ(page->stored, std::vector<uint32_t>{15});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
}

class address_page : public CLCD_SimpleIPAddrBase {
 public:
  address_page() : CLCD_SimpleIPAddrBase(340, "ADDRESS") {}
  void LoadValue() override {
    m_dwCurrent = 0xC0A80001;  // 192.168.0.1
    m_byLocked = locked;
  }
  void StoreValue(CLCD_Manager*) override { stored.push_back(m_dwEntered); }
  uint8_t locked = 0;
  std::vector<uint32_t> stored;
};

TEST_F(BasesTest, AddressEntry) {
  auto* page = Adopt(new address_page());
  Open(page);
  EXPECT_EQ(Unit().line(2), Line("CURRENT:192.168.0.1", 10));
  EXPECT_EQ(mgr_->m_byKey12Pass, 1);
  Keys(Digits("192"));
  EXPECT_EQ(page->m_byOctet, 1);
  Keys(Digits("30"));
  EXPECT_EQ(page->m_byOctet, 2);
  EXPECT_EQ(Unit().line(4), Line("192.30 .0  .0  ", 14));
  Keys({Key(LCD_KEY_RIGHT)});
  EXPECT_EQ(page->m_byOctet, 3);
  // Backspace at the start of an octet goes back into the one before.
  Keys({Key(LCD_KEY_BACKSPACE)});
  EXPECT_EQ(page->m_byOctet, 2);
  Keys({Key(LCD_KEY_BACKSPACE)});
  EXPECT_EQ(page->m_byOctet, 1);
  EXPECT_EQ(page->m_adwOctets[1], 3u);
  EXPECT_EQ(mgr_->m_iCursorColumn, 15 + 4 + 1);
  Keys({Key(LCD_KEY_ENTER)});
  ASSERT_EQ(page->stored.size(), 1u);
  EXPECT_EQ(page->stored[0], 0xC0030000u);
  EXPECT_EQ(page->m_byChanged, 1);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);

  // The same address again: nothing changed.
  Open(page);
  Keys(Digits("192168"));
  Keys({Key(LCD_KEY_RIGHT)});
  Keys(Digits("1"));
  Keys({Key(LCD_KEY_ENTER)});
  EXPECT_EQ(page->stored.back(), 0xC0A80001u);
  EXPECT_EQ(page->m_byChanged, 0);
}

TEST_F(BasesTest, ALockedAddressTakesNoKey) {
  auto* page = Adopt(new address_page());
  page->locked = 1;
  Open(page);
  EXPECT_EQ(Unit().line(4), Line("UNABLE TO MODIFY DUE TO ETHERNET MODE", 1));
  EXPECT_EQ(Unit().line(6), Line("(PRESS ESC TO CONTINUE)", 8));
  LCDKeyEvent key = Key('1');
  EXPECT_FALSE(page->HandleKey(mgr_, &key));
  Keys({Key(LCD_KEY_ESC)});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
}

// ---------------------------------------------------------------- wizard

const char* const kChoices[] = {"A", "B", "C", "D", "E", "F", "G", "H", nullptr};
const char* const kRestrictions[] = {"", "", "(?615)", "", "", "", "", "", nullptr};

class wizard_page : public CLCD_SimpleWizardBase {
 public:
  wizard_page() : CLCD_SimpleWizardBase(350, "WIZARD") {
    number.kind = WIZARD_NUMBER;
    number.number.title = "NUMBER";
    number.number.label = "VALUE";
    number.number.rule = ">0<100";
    decimal.kind = WIZARD_DECIMAL;
    decimal.decimal.label = "LEVEL";
    decimal.decimal.rule = "<=20";
    choice.kind = WIZARD_CHOICE;
    choice.choice.choices = kChoices;
    choice.choice.restrictions = kRestrictions;
    AddItem(&number);
    AddItem(&decimal);
    AddItem(&choice);
  }
  void Finish(CLCD_Manager*) override { ++finished; }
  CLCD_WizardItem number, decimal, choice;
  int finished = 0;
};

TEST_F(BasesTest, WizardRules) {
  wizard_page w;
  const struct {
    const char* rule;
    uint32_t value;
    bool ok;
  } numbers[] = {{">0<100", 0, false}, {">0<100", 1, true}, {">0<100", 99, true},
                 {">0<100", 100, false}, {"=7", 7, true},    {"=7", 8, false},
                 {"=1,=3,=17", 17, true}, {"=1,=3,=17", 2, false},
                 {"", 5, true},        {"<5=9", 9, true}};
  for (const auto& r : numbers) {
    w.number.number.rule = r.rule;
    w.number.number.value = r.value;
    EXPECT_EQ(w.CheckRange(&w.number), r.ok) << r.rule << " " << r.value;
  }
  const struct {
    const char* rule;
    uint32_t whole, fraction;
    bool ok;
  } decimals[] = {{"<=10", 10, 0, true}, {"<=10", 10, 5, false}, {"<=10", 9, 9, true},
                  {">5|=0", 0, 0, true}, {">5|=0", 6, 0, true},  {">5|=0", 3, 0, false},
                  {">=5&<6", 5, 9, true}, {"!3", 3, 0, false},   {"none", 3, 0, true}};
  for (const auto& r : decimals) {
    w.decimal.decimal.rule = r.rule;
    w.decimal.decimal.whole = r.whole;
    w.decimal.decimal.fraction = r.fraction;
    EXPECT_EQ(w.ValidateItem(&w.decimal), r.ok) << r.rule << " " << r.whole << "." << r.fraction;
  }
  // A choice naming a configured peripheral type cannot be taken.
  EXPECT_TRUE(w.CheckPeripheralExists(&w.choice, 2));
  SetNv(nv::quorPeripheralID(17), 615);
  EXPECT_FALSE(w.CheckPeripheralExists(&w.choice, 2));
  EXPECT_TRUE(w.CheckPeripheralExists(&w.choice, 1));
  EXPECT_TRUE(w.CheckPeripheralExists(&w.number, 0));
}

TEST_F(BasesTest, WizardWalksItsItems) {
  auto* w = Adopt(new wizard_page());
  Open(w);
  EXPECT_EQ(Unit().line(1), Line("NUMBER", 17));
  EXPECT_EQ(Unit().line(4), Line("VALUE:0", 9));
  // Out of range: ENTER is taken, the item stays.
  Keys({Key(LCD_KEY_ENTER)});
  EXPECT_EQ(w->m_dwCurrent, 0u);
  Keys({Key('4'), Key('2'), Key(LCD_KEY_ENTER)});
  ASSERT_EQ(w->m_dwCurrent, 1u);

  Keys({Key('1'), Key('2'), Key('.'), Key('5'), Key('0')});
  EXPECT_EQ(w->decimal.decimal.whole, 12u);
  EXPECT_EQ(w->decimal.decimal.fraction, 50u);
  EXPECT_EQ(w->decimal.decimal.fraction_digits, 2);
  EXPECT_EQ(Unit().line(4), Line("LEVEL:12.50 ", 9));
  Keys({Key(LCD_KEY_BACKSPACE), Key(LCD_KEY_BACKSPACE)});
  EXPECT_EQ(w->decimal.decimal.typing_fraction, 0);
  Keys({Key(LCD_KEY_RIGHT), Key('7'), Key(LCD_KEY_ENTER)});
  ASSERT_EQ(w->m_dwCurrent, 2u);

  // Eight choices, six a page: the second page is numbered from 1.
  EXPECT_EQ(Unit().line(2), Line("1) A "));
  Keys({Key(LCD_KEY_DOWN)});
  EXPECT_EQ(Unit().line(2), Line("1) G "));
  EXPECT_EQ(Unit().line(3), Line("2) H "));
  EXPECT_EQ(Unit().line(4), Line(""));
  Keys({Key('3')});
  EXPECT_EQ(w->m_dwCurrent, 2u);
  EXPECT_EQ(w->finished, 0);

  // ESC walks back along the items visited; on the first it leaves.
  Keys({Key(LCD_KEY_ESC)});
  EXPECT_EQ(w->m_dwCurrent, 1u);
  Keys({Key(LCD_KEY_ESC)});
  EXPECT_EQ(w->m_dwCurrent, 0u);
  Keys({Key(LCD_KEY_ENTER), Key(LCD_KEY_ENTER), Key(LCD_KEY_ENTER)});
  ASSERT_EQ(w->m_dwCurrent, 2u);
  Keys({Key(LCD_KEY_UP), Key('2')});
  EXPECT_EQ(w->finished, 1);
  EXPECT_STREQ(w->choice.choice.value, "B");
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);

  Open(w);
  EXPECT_EQ(w->m_dwCurrent, 0u);
  Keys({Key(LCD_KEY_ESC)});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
}

TEST_F(BasesTest, WizardItemsComeAndGo) {
  wizard_page w;
  CLCD_WizardItem extra;
  EXPECT_EQ(w.m_dwItemCount, 3u);
  EXPECT_EQ(w.choice.position, 2);
  w.RemoveItem(&w.decimal);
  EXPECT_EQ(w.m_dwItemCount, 2u);
  EXPECT_EQ(w.m_apItems[1], &w.choice);
  EXPECT_FALSE(w.HasItem(&w.decimal));
  w.RemoveItem(&extra);
  EXPECT_EQ(w.m_dwItemCount, 2u);
  w.ClearItems();
  EXPECT_EQ(w.m_dwItemCount, 0u);
  for (uint32_t i = 0; i < CLCD_SimpleWizardBase::kMaxItems; ++i) EXPECT_TRUE(w.AddItem(&extra));
  EXPECT_FALSE(w.AddItem(&extra));
}

}  // namespace
