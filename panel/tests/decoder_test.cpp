// The panel's byte stream as the manager decodes it, bad input included:
// unknown codes, cut sequences, floods, a silent or restarting unit, and
// frames of the panel's CAN port.
#include <string>
#include <vector>

#include "panel/pages/login.h"
#include "panel/tests/panel_fixture.h"
#include "peripherals/peripheral_hooks.h"

namespace {

struct can_seen {
  uint32_t id;
  uint8_t flags;
  std::vector<uint8_t> data;
};
std::vector<can_seen> g_frames;
void record_frame(uint32_t id, uint8_t flags, uint8_t length, const uint8_t* data) {
  g_frames.push_back({id, flags, std::vector<uint8_t>(data, data + length)});
}

class DecoderTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    add_test_page_class(137, "CHANGE PASSWORD", 0);
    MakeManager();
    Start();
    LoginWithPin({3, 7, 11, 2});
    ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
    page_ = test_page::s_made.back();
    InThread([this] { mgr_->ActivateMenu(212, mgr_->CurrentMenu(), false); });
    Tick();
    g_frames.clear();
    lcd_set_can_dispatch(record_frame);
  }
  void Send(const std::string& bytes) {
    Unit().send_raw(bytes);
    Tick();
  }
  static std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
  }
  test_page* page_ = nullptr;
};

TEST_F(DecoderTest, UnknownCodesAndStrayBytesAreIgnored) {
  std::string junk;
  for (int b = 0x10; b < 0xFF; ++b) junk.push_back(static_cast<char>(b));
  Send(junk);
  // After FF: codes without a meaning.
  Send(B({0xFF, 0x00, 0xFF, 0x10, 0xFF, 0xB6, 0xFF, 0xC0, 0xFF, 0xFE, 0xFF, 0xFF}));
  EXPECT_TRUE(page_->keys.empty());
  EXPECT_EQ(mgr_->m_byEscapeState, CLCD_Manager::ESCAPE_NONE);
  EXPECT_EQ(mgr_->CurrentMenu(), page_);
  Send(B({7}));
  EXPECT_STREQ(page_->text, "2");
}

TEST_F(DecoderTest, AnEscapeCutAtTheEndOfATickTakesTheNextByte) {
  Send(B({0xFF}));
  EXPECT_EQ(mgr_->m_byEscapeState, CLCD_Manager::ESCAPE_CODE);
  // The key that follows is read as a panel code and dropped.
  Send(B({7}));
  EXPECT_TRUE(page_->keys.empty());
  Send(B({7}));
  EXPECT_STREQ(page_->text, "2");
}

TEST_F(DecoderTest, AFloodOfKeysIsTakenKeyByKey) {
  std::string flood;
  for (int i = 0; i < 2000; ++i) flood.push_back(static_cast<char>(i % 2 ? 7 : 11));
  Send(flood);
  EXPECT_EQ(page_->keys.size(), 2000u);
  EXPECT_EQ(std::string(page_->text), std::string("32323232323232323232", 16));
  EXPECT_EQ(mgr_->CurrentMenu(), page_);
  EXPECT_EQ(mgr_->m_byState, PERIPHERAL_VALID);
}

TEST_F(DecoderTest, KeyboardBytesRunUntilTheirEnd) {
  // An unfinished keyboard sequence keeps the following bytes as scan codes.
  Send(B({0xFF, 0xBD, 0x00, 0x1C}));
  EXPECT_EQ(mgr_->m_byEscapeState, CLCD_Manager::ESCAPE_KEYBOARD);
  Send(B({0x32, 0x84, 0xE0, 0x99, 0xF0, 0xF0, 0xED, 7}));
  EXPECT_STREQ(page_->text, "ab2");
  EXPECT_EQ(mgr_->m_byEscapeState, CLCD_Manager::ESCAPE_NONE);
  // The modifier byte from the unit: left Ctrl held, then Ctrl+F9 is no
  // quick message and no shortcut either.
  Send(B({0xFF, 0xBD, 0x01, 0x01, 0xED}));
  EXPECT_EQ(mgr_->CurrentMenu(), page_);
}

TEST_F(DecoderTest, FramesOfThePanelsCanPort) {
  Unit().can_frame(0x42000, true, {0x11, 0x22}, true);
  Tick();
  ASSERT_EQ(g_frames.size(), 1u);
  EXPECT_EQ(g_frames[0].id, 0x42000u);
  EXPECT_EQ(g_frames[0].flags, 0);
  EXPECT_EQ(g_frames[0].data, (std::vector<uint8_t>{0x11, 0x22}));
  // By hand: FE DE is 0xFE, FE DF 0xFF.
  Send(B({0xFF, 0xB8, 0x00, 0x38, 0x40, 0x00, 0x03, 0xFE, 0xDE, 0x22, 0xFE, 0xDF}));
  ASSERT_EQ(g_frames.size(), 2u);
  EXPECT_EQ(g_frames[1].data, (std::vector<uint8_t>{0xFE, 0x22, 0xFF}));
  Unit().can_frame(0x123, false, {0x7F});
  Tick();
  ASSERT_EQ(g_frames.size(), 3u);
  EXPECT_EQ(g_frames[2].id, 0x123u);
  EXPECT_EQ(mgr_->m_byEscapeState, CLCD_Manager::ESCAPE_NONE);
  // A key in the middle of a frame is a frame byte.
  Send(B({0xFF, 0xB8, 0x24, 0x60, 0x01}));
  Send(B({7}));
  ASSERT_EQ(g_frames.size(), 4u);
  EXPECT_EQ(g_frames[3].data, std::vector<uint8_t>{7});
  EXPECT_TRUE(page_->keys.empty());
  // A frame of length 0 is complete with the next byte, which it takes.
  Send(B({0xFF, 0xB8, 0x24, 0x60, 0x00, 7}));
  ASSERT_EQ(g_frames.size(), 5u);
  EXPECT_TRUE(g_frames[4].data.empty());
  EXPECT_TRUE(page_->keys.empty());
}

TEST_F(DecoderTest, AFrameLongerThanEightBytesIsDropped) {
  Send(B({0xFF, 0xB8, 0x24, 0x60, 0xFF, 7, 7}));
  EXPECT_TRUE(g_frames.empty());
  EXPECT_TRUE(trace_.contains("CLCD_Manager::ParseCanFrame: bad length 255\n"));
  // The bytes after it are the panel's own again.
  EXPECT_EQ(page_->keys.size(), 2u);
  // And the next frame is whole.
  Unit().can_frame(0x42000, true, {1});
  Tick();
  ASSERT_EQ(g_frames.size(), 1u);
  EXPECT_EQ(g_frames[0].id, 0x42000u);
}

TEST_F(DecoderTest, ARestartingPanelIsProbedAgainAndEndsTheSession) {
  mgr_->m_byShowFrames = 1;
  Unit().restarted();
  Tick();
  EXPECT_EQ(mgr_->m_byShowFrames, 0);
  EXPECT_EQ(mgr_->RestartCountdown(), 20);
  Tick(20);
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT);
  EXPECT_EQ(mgr_->m_byPanelState, CLCD_Manager::PANEL_PROBE);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_SPLASH);
  // The splash page is passed over once the unit answers.
  Tick(4);
  EXPECT_EQ(mgr_->m_byPanelState, CLCD_Manager::PANEL_RUN);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_LOGIN);
  EXPECT_EQ(V(vol::dmsControlMode), 4u);
}

TEST_F(DecoderTest, ASilentPanelIsACommErrorUntilItSpeaks) {
  trace_set_level(1);
  Send(B({0x40}));
  Tick(59);
  EXPECT_EQ(mgr_->m_byState, PERIPHERAL_VALID);
  Tick();
  EXPECT_EQ(mgr_->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_TRUE(trace_.contains("Warning: Comm Timeout 70\n"));
  trace_.clear();
  Tick(100);
  EXPECT_FALSE(trace_.contains("Comm Timeout"));
  trace_set_level(0);
  Send(B({0x40}));
  EXPECT_EQ(mgr_->m_byState, PERIPHERAL_VALID);
}

TEST_F(DecoderTest, TheRestartCodeAsksTheControllerToRestart) {
  static int restarts = 0;
  restarts = 0;
  lcd_set_restart_hook([] { ++restarts; });
  Send(B({0xFF, 0xB5}));
  EXPECT_EQ(restarts, 1);
}

TEST_F(DecoderTest, TheAutoExitRequestActsAsCancel) {
  mgr_->m_byAutoExit = 1;
  Tick();
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  EXPECT_EQ(mgr_->m_byAutoExit, 0);
}

// ---------------------------------------------------------------- creation

class CreationTest : public PanelTest {};

TEST_F(CreationTest, WithoutItsSerialPortThereIsNoManager) {
  static int released = 0;
  released = 0;
  static const peripheral_port_ops kNoPort = {[](uint32_t) -> CSerialDriver* { return nullptr; },
                                              [](uint32_t id) -> uint32_t {
                                                if (id == 4) ++released;
                                                return 1;
                                              }};
  peripheral_set_port_ops(&kNoPort);
  pl_record record;
  record.type_id = 70;
  record.class_code = 26;
  CPeripheral* p = reinterpret_cast<CPeripheral*>(1);
  InThread([&] { p = CLCD_Manager::Create(record); });
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(released, 0);  // nothing was taken
  peripheral_set_port_ops(nullptr);
}

TEST_F(CreationTest, TheFactoryRowBuildsTheManagerOnPortFour) {
  static sim::front_panel_port* port = nullptr;
  static uint32_t attained = 0;
  port_ = std::make_unique<sim::front_panel_port>(*unit_);
  port = port_.get();
  attained = 0;
  static const peripheral_port_ops kPanelPort = {[](uint32_t id) -> CSerialDriver* {
                                                   attained = id;
                                                   return port;
                                                 },
                                                 nullptr};
  peripheral_set_port_ops(&kPanelPort);
  panel_install(5);
  pl_record record;
  record.type_id = 70;
  record.class_code = 26;
  CPeripheral* p = nullptr;
  InThread([&] { p = peripheral_panel_create(record); });
  peripheral_set_port_ops(nullptr);
  ASSERT_NE(p, nullptr);
  mgr_ = static_cast<CLCD_Manager*>(p);
  EXPECT_EQ(attained, 4u);
  EXPECT_EQ(p->m_byClass, 26);
  EXPECT_EQ(p->m_wTypeId, 70);
  EXPECT_EQ(p->m_wPollInterval, 1);
  EXPECT_EQ(p->m_wConfigSlot, 65535);
  EXPECT_EQ(p->m_byEnabled, 1);
  EXPECT_EQ(p->m_byState, PERIPHERAL_READING);
  EXPECT_STREQ(p->GetVersionText(), "");
  Start();
  // The task's seams reach the manager.
  const peripheral_panel_ops& ops = peripheral_panel();
  InThread([&] { ops.lcd_print_centred(p, 4, "CONTROLLED RESET"); });
  EXPECT_EQ(Unit().line(4), std::string(12, ' ') + "CONTROLLED RESET" + std::string(12, ' '));
  ops.control_mode_changed(p);
  EXPECT_EQ(mgr_->m_byCentralCheck, 1);
  peripheral_set_panel_ops(nullptr);
  peripheral_set_panel_creator(nullptr);
}

TEST_F(CreationTest, TypeNames) {
  EXPECT_STREQ(CLCD_Manager::NameOfType(70), "LCD01");
  EXPECT_STREQ(CLCD_Manager::NameOfType(71), "LCD02");
  EXPECT_EQ(CLCD_Manager::NameOfType(72), nullptr);
  EXPECT_EQ(CLCD_Manager::TypeOfName("LCD02"), 71);
  EXPECT_EQ(CLCD_Manager::TypeOfName("lcd01"), 0);
  EXPECT_EQ(CLCD_Manager::TypeOfName(nullptr), 0);
}

TEST_F(CreationTest, AManagerThatCouldNotOpenItsLcdDoesNothing) {
  InThread([this] {
    mgr_ = new CLCD_Manager(CLCD_Manager::TYPE_LCD01);
    EXPECT_EQ(mgr_->Init(nullptr), 0);
    mgr_->Process();
  });
  EXPECT_EQ(mgr_->m_byState, PERIPHERAL_INIT_ERROR);
  EXPECT_TRUE(trace_.contains("exit state < created\n"));
}

}  // namespace
