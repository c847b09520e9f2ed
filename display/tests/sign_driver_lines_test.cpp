// The sign driver's display lines: the line select, the commands it sends
// as CAN frames on the EPLD's channels, the repeated test-pattern commands
// and the pixel test.
#include "display/tests/sign_driver_fixture.h"

namespace {

using frames = std::vector<LineFrame>;

class SignDriverLinesTest : public SignDriverTest {
 protected:
  void SetUp() override {
    SignDriverTest::SetUp();
    AttachLines();
  }
  // A sign `lines` lines high whose EPLD is already programmed.
  void Lines(int32_t lines) {
    driver_.m_nModuleType = 21;
    trace_capture quiet;
    Configure(7 * lines, 25, 21);
    ASSERT_EQ(CQ5DisplayDriver::LineCount(), lines);
  }
  // Every line's frame of one command.
  static frames ToEach(uint32_t lines, uint32_t id, const std::vector<uint8_t>& data) {
    frames out;
    for (uint32_t l = 1; l <= lines; ++l) out.push_back({l, id, data});
    return out;
  }
  uint32_t Ticks(const std::function<void()>& fn) {
    uint32_t start = 0, end = 0;
    InThread([&] {
      start = tx_time_get();
      fn();
      end = tx_time_get();
    });
    return end - start;
  }
};

TEST_F(SignDriverLinesTest, LineSelect) {
  Lines(3);
  struct {
    uint32_t line;
    uint8_t lines1to8, line9;
  } cases[] = {{0, 0x01, 0}, {3, 0x08, 0}, {7, 0x80, 0}, {8, 0x00, 1}, {9, 0x00, 0}, {100, 0x00, 0}};
  for (const auto& c : cases) {
    reg_write8(0xF0500032, 0xF0);
    driver_.SelectLine(c.line);
    EXPECT_EQ(reg_read8(0xF0500033), c.lines1to8) << c.line;
    EXPECT_EQ(reg_read8(0xF0500032), 0xF0 | c.line9) << c.line << ": the other bits stay";
  }
  driver_.SelectLine(2);
  driver_.SetDiagnosticsEnabled(0);
  EXPECT_EQ(reg_read8(0xF0500033), 0);
  driver_.SetDiagnosticsEnabled(1);
  EXPECT_EQ(reg_read8(0xF0500033), 0x04) << "the selected line again";
  EXPECT_EQ(driver_.m_byDiagnosticsEnabled, 1);
  // NextLine walks the lines the sign has.
  std::vector<int32_t> walk;
  for (int i = 0; i < 4; ++i) walk.push_back(driver_.NextLine());
  EXPECT_EQ(walk, (std::vector<int32_t>{0, 1, 2, 0}));
}

TEST_F(SignDriverLinesTest, CommandsGoToTheirLines) {
  Lines(3);
  InThread([&] {
    driver_.RequestModuleInfo(0);
    driver_.RequestModuleSubtype(1);
    driver_.RequestVoltTemp(2);
    driver_.RequestNextInfo(1);
    driver_.ResetLines(2);
  });
  EXPECT_EQ(LineFrames(), (frames{{1, 33, {9, 0}}, {2, 33, {12, 0}}, {3, 33, {2, 0}}, {2, 33, {18, 0}}, {3, 16, {}}}));

  struct {
    const char* what;
    std::function<void()> send;
    frames expected;
  } everyLine[] = {
      {"setting", [&] { driver_.SendModuleSetting(7, 8, 9); }, ToEach(3, 33, {7, 8, 9, 0})},
      {"defaults", [&] { driver_.RestoreModuleDefaults(); }, ToEach(3, 33, {13, 1, 0})},
      {"test mode, type 1", [&] { driver_.SetModuleTestMode(2, 1); }, ToEach(3, 33, {5, 2, 1})},
      {"test mode off", [&] { driver_.SetModuleTestMode(0, 21); }, ToEach(3, 33, {5, 0, 0})},
  };
  for (const auto& c : everyLine) {
    InThread(c.send);
    EXPECT_EQ(LineFrames(), c.expected) << c.what;
  }
  uint32_t result = 0;
  const uint8_t raw[3] = {29, 1, 2};
  InThread([&] { result = driver_.SendToAllLines(raw, 3); });
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(LineFrames(), ToEach(3, 33, {29, 1, 2}));
}

TEST_F(SignDriverLinesTest, EveryLineIsResetHalfASecondApart) {
  Lines(3);
  EXPECT_EQ(Ticks([&] { driver_.ResetLines(-1); }), 150u);
  EXPECT_EQ(LineFrames(), ToEach(3, 16, {}));
}

TEST_F(SignDriverLinesTest, WithoutTheModuleDataDriverNothingIsSent) {
  Lines(2);
  CQ5DisplayDriver::SetLineDriver(nullptr);
  uint32_t result = 1;
  const uint8_t raw[1] = {1};
  InThread([&] {
    driver_.RequestModuleInfo(0);
    result = driver_.SendToAllLines(raw, 1);
  });
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(LineFrames(), frames());
}

TEST_F(SignDriverLinesTest, TestPatternCommandsRepeatEveryFifthCall) {
  Lines(1);
  // Which calls (1-based) of a sequence of on/off values send, for each
  // command.
  auto sends = [&](const std::function<void(uint32_t)>& command, const std::vector<uint32_t>& ons) {
    std::vector<uint32_t> calls;
    for (size_t i = 0; i < ons.size(); ++i) {
      InThread([&] { command(ons[i]); });
      if (!LineFrames().empty()) calls.push_back(static_cast<uint32_t>(i + 1));
    }
    return calls;
  };
  const std::vector<uint32_t> pattern = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1};
  // On every fifth call; off at once, and on again at the second call after.
  EXPECT_EQ(sends([&](uint32_t on) { driver_.SendModuleMode6(on); }, pattern),
            (std::vector<uint32_t>{5, 10, 11, 13}));
  EXPECT_EQ(sends([&](uint32_t on) { driver_.SendModuleMode20(on); }, pattern),
            (std::vector<uint32_t>{5, 10, 11, 13}));
  // Mode 14 refreshes every second call after the first, and after an off
  // starts over.
  EXPECT_EQ(sends([&](uint32_t on) { driver_.SendModuleMode14(on); }, pattern),
            (std::vector<uint32_t>{5, 7, 9, 11, 16}));
  EXPECT_EQ(sends([&](uint32_t on) { driver_.SendModuleModes14And15(on); }, pattern),
            (std::vector<uint32_t>{5, 10, 11, 13}));

  InThread([&] { driver_.SendModuleMode6(0); });
  EXPECT_EQ(LineFrames(), (frames{{1, 33, {6, 0, 6, 0}}}));
  InThread([&] { driver_.SendModuleModes14And15(0); });
  EXPECT_EQ(LineFrames(), (frames{{1, 33, {14, 0, 6, 0}}, {1, 33, {15, 0, 5, 0}}}));
  for (int i = 0; i < 2; ++i) InThread([&] { driver_.SendModuleMode20(1); });
  EXPECT_EQ(LineFrames(), (frames{{1, 33, {20, 1, 6, 0}}}));
}

TEST_F(SignDriverLinesTest, PixelTestDataFollowTheModuleType) {
  Lines(2);
  struct {
    uint32_t module_id;      // mib_nv.quorModuleID
    int32_t driver_type;     // the type the driver was configured with
    std::vector<uint8_t> data;
    bool announced;
  } cases[] = {
      {21, 21, {0x60}, true},        // row flag bit 1 set
      {24, 24, {0x40}, true},        // clear
      {154, 154, {0x60}, true},
      {13, 13, {0x60}, false},
      {102, 102, {0x60}, false},
      {169, 169, {0x60}, false},
      {97, 97, {0x70}, false},
      {172, 172, {0x70}, false},
      {0, 102, {0x81, 0x00, 0xC1}, false},  // the row of the driver's type
      {0, 97, {0x81, 0x00, 0xE5}, false},
      {0, 99, {}, false},                   // no row: nothing sent
  };
  for (const auto& c : cases) {
    SetNv(nv::quorModuleID, c.module_id);
    driver_.m_nModuleType = c.driver_type;
    trace_capture cap;
    const uint32_t ticks = Ticks([&] { driver_.PixelTest(7); });
    const frames sent = LineFrames();
    if (c.data.empty()) {
      EXPECT_EQ(sent, frames()) << c.module_id;
      continue;
    }
    EXPECT_EQ(sent, ToEach(2, 34, c.data)) << c.module_id << "/" << c.driver_type;
    EXPECT_EQ(ticks, 14u) << "delay after each line";
    EXPECT_EQ(cap.text(), c.announced ? "Pixel test line 0\nPixel test line 1\n" : "") << c.module_id;
  }
}

}  // namespace
