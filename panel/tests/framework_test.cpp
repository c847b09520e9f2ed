// The menu framework: the class factory, the menu table and tree, page
// switching and redraw requests, the panel's start-up states, and the
// indicators the tick draws.
#include <set>
#include <string>
#include <vector>

#include "panel/lcd_indicators.h"
#include "panel/tests/panel_fixture.h"

namespace {

// ---------------------------------------------------------------- factory

CMenuItem* make_nothing(CLCD_MenuId, uint32_t) { return nullptr; }

TEST(ClassFactory, HoldsAHundredAndFiftyFiveClasses) {
  trace_capture trace;
  static class_descriptor descriptors[160];
  class_factory factory;
  for (uint32_t i = 0; i < 160; ++i) {
    descriptors[i] = {i, [](CLCD_MenuId id, uint32_t) -> CMenuItem* { return new test_page(id, "", 0); }};
    EXPECT_EQ(factory.Register(&descriptors[i]), i);
  }
  EXPECT_EQ(factory.Registered(), 155u);
  CMenuItem* page = factory.Create(154, 9, 0);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->m_iId, 9);
  delete page;
  EXPECT_EQ(factory.Create(155, 9, 0), nullptr);
  EXPECT_EQ(factory.Register(nullptr), 0xFFFFFFFFu);
}

TEST(ClassFactory, ADuplicateTypeIsReportedAndTheFirstWins) {
  trace_capture trace;
  class_factory factory;
  static const class_descriptor first = {7, [](CLCD_MenuId id, uint32_t) -> CMenuItem* {
                                           return new test_page(id, "FIRST", 0);
                                         }};
  static const class_descriptor second = {7, make_nothing};
  factory.Register(&first);
  factory.Register(&second);
  EXPECT_TRUE(trace.contains("class_factory::Register: error duplicate type:7\n"));
  EXPECT_EQ(factory.Registered(), 2u);
  CMenuItem* page = factory.Create(7, 1, 0);
  ASSERT_NE(page, nullptr);
  EXPECT_STREQ(page->m_pszTitle, "FIRST");
  delete page;
}

TEST(MenuTable, HasAHundredAndNinetyRowsOfUniqueIds) {
  ASSERT_EQ(g_lcd_menu_table_rows, 190u);
  std::set<CLCD_MenuId> ids;
  for (uint32_t i = 0; i < g_lcd_menu_table_rows; ++i) ids.insert(g_lcd_menu_table[i].id);
  EXPECT_EQ(ids.size(), 190u);
  for (CLCD_MenuId absent : {34, 39, 40, 41, 42, 43, 51, 55, 58, 59, 74, 76, 84, 152, 162, 163, 168, 176, 183, 186,
                             187, 192, 194})
    EXPECT_EQ(ids.count(absent), 0u) << absent;
  // The rows whose type is the id less 15.
  for (uint32_t i = 0; i < g_lcd_menu_table_rows; ++i) {
    if (g_lcd_menu_table[i].id >= 141 && g_lcd_menu_table[i].id <= 151) {
      EXPECT_EQ(g_lcd_menu_table[i].type, static_cast<uint32_t>(g_lcd_menu_table[i].id - 15));
    }
  }
}

// ---------------------------------------------------------------- the manager

class FrameworkTest : public PanelTest {
 protected:
  CMenuItem* Page(CLCD_MenuId id) { return mgr_->FindMenu(id, nullptr); }
};

TEST_F(FrameworkTest, BuildsThePagesItHasClassesFor) {
  MakeManager();
  // Splash, login, main menu, the refusal page, the plain lists, the two
  // current-display pages, the seven message pages, the editor, the
  // preview and the three save pages, the run, duration and schedule pages,
  // the nine pixel-test pages, the eleven status screens and the reset,
  // password and version pages, the data-key page and the three reprogram
  // wizards, the status, test-pattern and fan pages, the three brightness
  // pages, the seven sign geometry pages, the six module bus pages and the
  // four module setting wizards, the peripheral add and auto-detect wizards,
  // the module diagnostics table, the 47 port, network and cellular modem
  // pages, the RDI, trap, date and time, and sign and controller settings
  // pages, the four peripheral view, delete and error pages, the two
  // low-power pages and the AUX port page: every class of the table.
  uint32_t lists = 0;
  for (uint32_t i = 0; i < g_lcd_menu_table_rows; ++i)
    if (g_lcd_menu_table[i].type == LCD_CLASS_MENU_ITEM_EX) ++lists;
  EXPECT_EQ(mgr_->MenuCount(), 4 + lists + 2 + 7 + 5 + 4 + 9 + 11 + 3 + 1 + 3 + 3 + 3 + 7 + 6 + 4 + 26 + 1 + 47 + 17 + 7);
  EXPECT_FALSE(trace_.contains("failed to build type")) << trace_.text();
  EXPECT_FALSE(trace_.contains("common menu init failed\n"));
  EXPECT_EQ(mgr_->CurrentMenu(), Page(LCD_MENU_SPLASH));
  EXPECT_EQ(mgr_->m_pStartMenu, Page(LCD_MENU_SPLASH));
  EXPECT_STREQ(Page(45)->m_pszTitle, "CONFIGURATION");
  EXPECT_EQ(Page(99)->m_dwRights, 0x2000000u);
  EXPECT_EQ(Page(99)->m_byRedrawInterval, 4);
  EXPECT_EQ(Page(36)->m_byRedrawInterval, 1);
  EXPECT_STREQ(Page(113)->m_pszTitle, "AUXILIARY CONTROL PORT 2");
  auto* options = dynamic_cast<CLCD_MenuItemEx*>(Page(48));
  ASSERT_NE(options, nullptr);
  EXPECT_STREQ(options->m_pszFooter, "* = REQUIRES REBOOT");
  // Lists link their entries: SYSTEM CONFIGURATION holds all its pages in
  // order.
  auto* system = dynamic_cast<CLCD_MenuItemEx*>(Page(46));
  ASSERT_NE(system, nullptr);
  ASSERT_EQ(system->m_dwSubMenuCount, 6u);
  const CLCD_MenuId system_ids[] = {47, 48, 54, 80, 81, 71};
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(system->m_apSubMenus[i], Page(system_ids[i]));
  EXPECT_EQ(Page(47)->m_pParent, system);
}

TEST_F(FrameworkTest, TheMainMenuListsItsEntriesInOrder) {
  lcd_set_product_board(2);
  const CLCD_FactoryType types[] = {5, 137, 35, 3, 124, 142};
  const char* const titles[] = {"MESSAGE CONTROL", "CHANGE PASSWORD", "BRIGHTNESS CONTROL", "CURRENT DISPLAY",
                                "RESET OPTIONS", "DATAKEY"};
  for (uint32_t i = 0; i < 6; ++i) add_test_page_class(types[i], titles[i], 0);
  MakeManager();
  auto* main = dynamic_cast<CLCD_MenuItemEx*>(Page(LCD_MENU_MAIN));
  ASSERT_NE(main, nullptr);
  std::vector<CLCD_MenuId> ids;
  for (uint32_t i = 0; i < main->m_dwSubMenuCount; ++i) ids.push_back(main->m_apSubMenus[i]->m_iId);
  EXPECT_EQ(ids, (std::vector<CLCD_MenuId>{21, 4, 44, 45, 19, 140, 212}));
  // On product board 2 the data key closes the CONFIGURATION list.
  auto* configuration = dynamic_cast<CLCD_MenuItemEx*>(Page(45));
  ASSERT_NE(configuration, nullptr);
  ASSERT_EQ(configuration->m_dwSubMenuCount, 5u);
  EXPECT_EQ(configuration->m_apSubMenus[4]->m_iId, 198);
  EXPECT_STREQ(Page(113)->m_pszTitle, "INTERNAL MODEM CONTROL PORT");
}

TEST_F(FrameworkTest, FindAndActivate) {
  add_test_page_class(137, "CHANGE PASSWORD", 0);
  MakeManager();
  CMenuItem* main = Page(LCD_MENU_MAIN);
  CMenuItem* page = Page(212);
  EXPECT_EQ(mgr_->FindMenu(0, page), main);
  EXPECT_EQ(mgr_->FindMenu(0, nullptr), nullptr);
  EXPECT_EQ(mgr_->FindMenu(-1, nullptr), Page(LCD_MENU_INSUFFICIENT_RIGHTS));
  InThread([&] {
    EXPECT_FALSE(mgr_->ActivateMenu(-1, main, false));
    EXPECT_FALSE(mgr_->ActivateMenu(LCD_MENU_SLOTS_FULL, main, false));
  });
  EXPECT_TRUE(trace_.contains("failed to find the desired menu:194!\n"));
  EXPECT_EQ(mgr_->CurrentMenu(), Page(LCD_MENU_SPLASH));

  auto* test = static_cast<test_page*>(page);
  mgr_->m_byLastRawKey = 7;
  mgr_->m_byRedrawRequest = 0;
  InThread([&] { EXPECT_TRUE(mgr_->ActivateMenu(212, main, false)); });
  EXPECT_EQ(mgr_->CurrentMenu(), page);
  EXPECT_EQ(test->enters, 1u);
  EXPECT_EQ(mgr_->m_byLastRawKey, 0xFF);
  EXPECT_EQ(mgr_->m_byRedrawRequest, LCD_DRAW_FULL);
  // A forwarded key in place of Enter.
  InThread([&] { EXPECT_TRUE(mgr_->ActivateMenu(212, main, true)); });
  EXPECT_EQ(test->enters, 1u);
  ASSERT_FALSE(test->keys.empty());
  EXPECT_EQ(test->keys.back(), lcd_key_event(LCD_KEY_FORWARDED));
}

TEST_F(FrameworkTest, RedrawRequestsOnlyGrow) {
  MakeManager();
  const struct {
    uint8_t pending, asked, result;
  } rows[] = {{0, 2, 2}, {0, 1, 1}, {2, 1, 1}, {1, 2, 1}, {2, 2, 2}};
  for (const auto& r : rows) {
    mgr_->m_byRedrawRequest = r.pending;
    mgr_->RequestRedraw(r.asked);
    EXPECT_EQ(mgr_->m_byRedrawRequest, r.result) << int(r.pending) << " " << int(r.asked);
  }
}

TEST_F(FrameworkTest, APageIsRedrawnEveryIntervalPlusOneTicks) {
  add_test_page_class(137, "CHANGE PASSWORD", 0);
  MakeManager();
  Start();
  auto* page = static_cast<test_page*>(Page(212));
  page->m_byRedrawInterval = 4;
  InThread([&] { mgr_->ActivateMenu(212, mgr_->CurrentMenu(), false); });
  Tick(11);
  // The full draw of the opening, then a partial one every fifth tick.
  EXPECT_EQ(page->modes, (std::vector<uint8_t>{1, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0}));
}

TEST_F(FrameworkTest, AUnitThatNeverAnswersIsStartedAfterFourProbes) {
  sim::front_panel::config silent;
  silent.answers_probe = false;
  MakeManager(silent);
  Tick(3);
  EXPECT_EQ(mgr_->m_byPanelState, CLCD_Manager::PANEL_PROBE);
  Tick();
  EXPECT_EQ(mgr_->m_byPanelState, CLCD_Manager::PANEL_START);
  EXPECT_EQ(Unit().count('6'), 4u);
  Start();
  EXPECT_EQ(mgr_->m_byHardwareRevision, 0);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_LOGIN);
  // The firmware is asked for again every 61st tick.
  Unit().clear_log();
  Tick(61);
  EXPECT_EQ(Unit().count('7'), 1u);
  EXPECT_EQ(Unit().count('9'), 2u);  // and the refresh every 30th
}

TEST_F(FrameworkTest, AKeyAnimatesTheBusyIndicator) {
  MakeManager();
  Start();
  const std::string h1 = ".######.\n.######.\n..####..\n...##...\n..#..#..\n.#....#.\n.######.\n........\n";
  const std::string h3 = ".######.\n.#....#.\n..#..#..\n...##...\n..####..\n.######.\n.######.\n........\n";
  std::string blank;
  for (int i = 0; i < 8; ++i) blank += "........\n";
  Unit().press(LCD_PAD_DOWN);
  Tick();
  EXPECT_EQ(Unit().pixels(232, 0, 8, 8), h1);
  Tick(2);
  EXPECT_EQ(Unit().pixels(232, 0, 8, 8), h3);
  Tick();
  EXPECT_EQ(Unit().pixels(232, 0, 8, 8), blank);
  // A key during the animation starts it again.
  Unit().press(LCD_PAD_DOWN);
  Tick(2);
  Unit().press(LCD_PAD_UP);
  Tick();
  EXPECT_EQ(Unit().pixels(232, 0, 8, 8), h1);
}

TEST_F(FrameworkTest, ABlinkingPowerIndicatorRepeatsEveryNineTicks) {
  MakeManager();
  Start();
  letter_s letter(MSG_PERIPHERAL_REPORT);
  letter.kind = LETTER_KIND_PAIRS;
  letter.payload[0] = (70u << 16) | 2;  // battery low
  mgr_->OnEvent(&letter);
  std::string seen;
  for (int i = 0; i < 18; ++i) {
    Tick();
    seen += Unit().pixel(229, 0) ? 'P' : Unit().pixel(228, 2) ? 'B' : '.';
  }
  EXPECT_EQ(seen, "PPPBBBB.....BBBB..");
  letter.payload[0] = (70u << 16) | 4;  // power restored
  mgr_->OnEvent(&letter);
  Tick();
  EXPECT_EQ(lcd_get_led(LCD_LED_POWER), 1);
  // A report for another peripheral changes nothing.
  letter.payload[0] = (71u << 16) | 2;
  mgr_->OnEvent(&letter);
  EXPECT_EQ(mgr_->m_byPowerBlink, 0);
}

TEST_F(FrameworkTest, IndicatorsAndTheirStates) {
  MakeManager();
  Start();
  // A ring during a connection keeps the connected picture.
  lcd_set_led(LCD_LED_MODEM, 3);
  lcd_set_led(LCD_LED_MODEM, 4);
  EXPECT_EQ(lcd_get_led(LCD_LED_MODEM), 3);
  lcd_set_led(LCD_LED_MODEM, 1);
  lcd_set_led(LCD_LED_MODEM, 4);
  Tick();
  EXPECT_TRUE(Unit().pixel(9, 1));  // R
  EXPECT_EQ(lcd_get_led(LCD_LED_MODEM), 1);
  Tick();
  EXPECT_FALSE(Unit().pixel(9, 1));
  lcd_set_led(7, 1);
  lcd_set_led(0, 1);

  // Comm activity: the pulse to the unit and picture C for three ticks.
  lcd_comm_activity();  // no peripheral task here: nothing
  mgr_->m_byCommActivity = 1;
  Unit().clear_log();
  Tick();
  EXPECT_EQ(Unit().count('Y'), 1u);
  EXPECT_TRUE(Unit().pixel(20, 3));
  Tick(2);
  EXPECT_TRUE(Unit().pixel(20, 3));
  Tick();
  EXPECT_FALSE(Unit().pixel(20, 3));

  // Nothing drawn while the sign view covers line 1.
  mgr_->m_byScreenLayout = 3;
  lcd_set_led(LCD_LED_ETHERNET, 1);
  Unit().clear_log();
  Tick();
  EXPECT_EQ(Unit().count('d'), 0u);
  mgr_->m_byScreenLayout = 0;
  Tick();
  EXPECT_TRUE(Unit().pixel(221, 1));
}

TEST_F(FrameworkTest, ClearingLineOneRedrawsEveryIndicator) {
  MakeManager();
  Start();
  Tick();
  Unit().clear_log();
  Tick();
  EXPECT_EQ(Unit().count('d') + Unit().count('x'), 0u);
  InThread([this] { mgr_->m_Lcd.ClearLine(1); });
  Unit().clear_log();
  Tick();
  // Pictures for the states that have one, blank boxes for the others.
  EXPECT_EQ(Unit().count('d') + Unit().count('x'), 4u);  // the animated two stay idle
  EXPECT_TRUE(Unit().pixel(229, 0));                       // the mains plug
}

TEST_F(FrameworkTest, TheLaptopPortSendsItsTrapsOnChangesOnly) {
  MakeManager();
  Start();
  Traps();
  const struct {
    bool connected;
    std::vector<uint32_t> traps;
  } rows[] = {{false, {}}, {false, {}}, {true, {6}}, {true, {}}, {false, {7}}, {false, {}}};
  for (const auto& r : rows) {
    Unit().laptop(r.connected);
    Tick();
    EXPECT_EQ(Traps(), r.traps);
    EXPECT_EQ(lcd_get_led(LCD_LED_LAPTOP), r.connected ? 2 : 1);
  }
}

TEST_F(FrameworkTest, TheCursorBoxFollowsTheWantedCursor) {
  add_test_page_class(137, "CHANGE PASSWORD", 0);
  MakeManager();
  Start();
  InThread([&] { mgr_->ActivateMenu(212, mgr_->CurrentMenu(), false); });
  Tick();
  mgr_->ShowCursor(true, 4, 3);
  Unit().clear_log();
  Tick();
  auto boxes = [this] {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& c : Unit().take_commands())
      if (c.letter == 'x') out.push_back(c.params);
    return out;
  };
  EXPECT_EQ(boxes(), (std::vector<std::vector<uint8_t>>{{0xFF, 12, 31, 17, 32}}));
  mgr_->SetCursorPos(-1, 4);
  Tick();
  EXPECT_EQ(boxes(), (std::vector<std::vector<uint8_t>>{{0, 12, 31, 17, 32}, {0xFF, 18, 31, 23, 32}}));
  Tick();
  EXPECT_TRUE(boxes().empty());
  mgr_->ShowCursor(false, 4, 4);
  Tick();
  EXPECT_EQ(boxes(), (std::vector<std::vector<uint8_t>>{{0, 18, 31, 23, 32}}));
}

}  // namespace
