// The peripheral base: state texts and error codes, the parameter parser,
// the poll countdown, the status line and the change flag on destruction.
#include <cstring>
#include <new>

#include "frame/trace/trace.h"
#include "peripheral_fixture.h"

namespace {

class TestPeripheral : public CPeripheral {
 public:
  TestPeripheral() : CPeripheral(14, 301) {}
  void Poll() override { ++polls; }
  int polls = 0;
};

using PeripheralBaseTest = PeripheralTest;

TEST_F(PeripheralBaseTest, NewPeripheralIsSettingUp) {
  TestPeripheral p;
  const char* text = nullptr;
  EXPECT_EQ(p.GetStateText(&text), 0);
  EXPECT_STREQ(text, "SETTING UP");
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_FALSE(p.IsValid());
  EXPECT_STREQ(p.m_pszStatusText, "        ");
  EXPECT_EQ(p.m_byClass, 14);
  EXPECT_EQ(p.m_wTypeId, 301);
  EXPECT_EQ(p.m_wVersion, 0);
  EXPECT_STREQ(p.GetVersionText(), "");
  EXPECT_EQ(p.GetCanAddress(), 0u);
  EXPECT_EQ(p.GetCanBus(), 0);
}

TEST_F(PeripheralBaseTest, StateTextsAndErrorCodes) {
  struct Row {
    uint8_t state;
    const char* text;
    int valid;
    uint32_t error;
  } rows[] = {
      {0, "SETTING UP", 0, 0}, {1, "INIT ERROR", 0, 1}, {2, "READING", 0, 0}, {3, "COMM ERROR", 0, 2},
      {4, "UNKNOWN", 0, 0},    {5, "READING", 0, 0},    {6, "VALID", 1, 0},   {7, "UNKNOWN", 0, 0},
      {9, "UNKNOWN", 0, 0},    {255, "UNKNOWN", 0, 0},
  };
  TestPeripheral p;
  for (const Row& r : rows) {
    p.m_byState = r.state;
    const char* text = nullptr;
    EXPECT_EQ(p.GetStateText(&text), r.valid) << int(r.state);
    EXPECT_STREQ(text, r.text) << int(r.state);
    EXPECT_EQ(p.GetErrorCode(), r.error) << int(r.state);
    EXPECT_EQ(p.IsValid(), r.valid) << int(r.state);
  }
}

TEST_F(PeripheralBaseTest, ParseParameters) {
  struct Row {
    const char* text;
    uint32_t values[8];
    const char* texts[8];
  } rows[] = {
      {"A,1F,,3", {10, 31, 0, 3, 0, 0, 0, 0}, {"A", "1F", "", "3", "", "", "", ""}},
      {"", {0, 0, 0, 0, 0, 0, 0, 0}, {"", "", "", "", "", "", "", ""}},
      {"42100", {0x42100, 0, 0, 0, 0, 0, 0, 0}, {"42100", "", "", "", "", "", "", ""}},
      {"42109,1", {0x42109, 1, 0, 0, 0, 0, 0, 0}, {"42109", "1", "", "", "", "", "", ""}},
      // Fields beyond the eighth are ignored.
      {"1,2,3,4,5,6,7,8,9,A", {1, 2, 3, 4, 5, 6, 7, 8}, {"1", "2", "3", "4", "5", "6", "7", "8"}},
      {"ffFFffFF,0", {0xFFFFFFFF, 0, 0, 0, 0, 0, 0, 0}, {"ffFFffFF", "0", "", "", "", "", "", ""}},
  };
  for (const Row& r : rows) {
    // Leftovers of an earlier call must not show through.
    CPeripheral::ParseParameters("FF,FF,FF,FF,FF,FF,FF,FF");
    CPeripheral::ParseParameters(r.text);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(CPeripheral::s_dwParamValues[i], r.values[i]) << r.text << " field " << i;
      EXPECT_STREQ(CPeripheral::s_szParamTexts[i], r.texts[i]) << r.text << " field " << i;
    }
  }
}

TEST_F(PeripheralBaseTest, ParseParametersCutsLongFields) {
  std::string field(60, '1');
  CPeripheral::ParseParameters((field + ",2").c_str());
  EXPECT_EQ(std::strlen(CPeripheral::s_szParamTexts[0]), 39u);
  EXPECT_EQ(CPeripheral::s_szParamTexts[0][39], '\0');
  EXPECT_EQ(CPeripheral::s_dwParamValues[0], 0x11111111u);
  EXPECT_EQ(CPeripheral::s_dwParamValues[1], 2u);

  // A null text leaves the buffers as they were.
  CPeripheral::ParseParameters(nullptr);
  EXPECT_EQ(CPeripheral::s_dwParamValues[1], 2u);
}

TEST_F(PeripheralBaseTest, PollCountdown) {
  TestPeripheral p;
  p.m_wPollInterval = 5;
  p.m_wPollCountdown = 0;
  p.SetEnabled(1);
  std::vector<int> polled_on;
  for (int cycle = 1; cycle <= 15; ++cycle)
    if (p.PollCycle()) polled_on.push_back(cycle);
  EXPECT_EQ(polled_on, (std::vector<int>{5, 10, 15}));
  EXPECT_EQ(p.polls, 3);

  // While disabled the countdown stands still.
  p.PollCycle();
  p.PollCycle();
  EXPECT_EQ(p.m_wPollCountdown, 2);
  p.SetEnabled(0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(p.PollCycle(), 0);
  EXPECT_EQ(p.m_wPollCountdown, 2);
  EXPECT_EQ(p.polls, 3);
  p.SetEnabled(1);
  EXPECT_EQ(p.PollCycle(), 0);
  EXPECT_EQ(p.PollCycle(), 0);
  EXPECT_EQ(p.PollCycle(), 1);
}

TEST_F(PeripheralBaseTest, PollCountdownEdges) {
  TestPeripheral p;
  p.SetEnabled(1);
  // Interval 0 polls every cycle.
  p.m_wPollInterval = 0;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(p.PollCycle(), 1);
  // A seeded countdown shifts the first poll.
  p.m_wPollInterval = 10;
  p.m_wPollCountdown = 7;
  EXPECT_EQ(p.PollCycle(), 0);
  EXPECT_EQ(p.PollCycle(), 0);
  EXPECT_EQ(p.PollCycle(), 1);
  // A countdown set beyond the interval polls at once.
  p.m_wPollCountdown = 50;
  EXPECT_EQ(p.PollCycle(), 1);
  EXPECT_EQ(p.m_wPollCountdown, 0);
}

TEST_F(PeripheralBaseTest, ShowStatusNamesTheType) {
  peripheral_set_name_function([](uint16_t type) { return type == 301 ? "CONFIG FILE" : "UNKNOWN"; });
  TestPeripheral p;
  p.m_wConfigSlot = 65535;
  trace_capture cap;
  p.ShowStatus();
  EXPECT_EQ(cap.text(), "CONFIG FILE is currently disabled\n");
  cap.clear();
  p.SetEnabled(1);
  p.ShowStatus();
  EXPECT_EQ(cap.text(), "CONFIG FILE is currently enabled\n");

  // Without a registry the type reads UNKNOWN.
  peripheral_set_name_function(nullptr);
  cap.clear();
  p.ShowStatus();
  EXPECT_EQ(cap.text(), "UNKNOWN is currently enabled\n");
}

TEST_F(PeripheralBaseTest, DestructionRaisesTheChangeFlag) {
  uint32_t actual = 0;
  os_event_get(&g_database_flags, 0xFFFFFFFF, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT);
  CPeripheral* p = new (std::nothrow) TestPeripheral;
  ASSERT_NE(p, nullptr);
  actual = 0;
  EXPECT_NE(os_event_get(&g_database_flags, 0x40, OS_EVENT_OR, &actual, OS_NO_WAIT), OS_SUCCESS);
  delete p;
  ASSERT_EQ(os_event_get(&g_database_flags, 0x40, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT), OS_SUCCESS);
  EXPECT_EQ(actual & 0x40, 0x40u);
}

}  // namespace
