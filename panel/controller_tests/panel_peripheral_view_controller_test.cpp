// The configured field devices seen from the front panel in the whole
// controller: records written as the panel's wizards write them show in
// the list with their addresses and states and on their detail screens, a
// record deleted at the panel leaves the list at the task's next reload,
// and a record that cannot load shows on the error page.
#include <gtest/gtest.h>

#include <string>

#include "panel/controller_tests/panel_controller_fixture.h"
#include "peripherals/pl_iterator.h"

namespace {

class PanelPeripheralViewTest : public panel_controller<controller_test> {
 protected:
  void SetUp() override {
    Boot();
    AttachUnit();
    FirstDisplayStep();
    Login();
  }
  void OpenPeripheralConfiguration() {
    Choose("CONFIGURATION");
    Choose("PERIPHERAL CONFIGURATION");
  }
  static void Write(uint16_t type, const char* text) {
    InThread([&] { ASSERT_TRUE(pl_iterator().Add(type, "%s", text)) << type; });
  }
  std::string Line(uint32_t n) { return unit_.line(n); }
};

TEST_F(PanelPeripheralViewTest, ListDetailDeleteAndInitErrors) {
  Write(11, "42303,0,0");              // TEMPCABINET on the sensor bus
  Write(52, "42401,F0,FF,F0,F0,0,0");  // a DC I/O board nobody answers for
  Write(77, "");                       // a type this controller cannot make
  uint16_t cabinet = 0, board = 0;
  InThread([&] {
    ASSERT_TRUE(pl_iterator().Find(11, &cabinet));
    ASSERT_TRUE(pl_iterator().Find(52, &board));
  });
  OpenPeripheralConfiguration();
  Choose("VIEW PERIPHERALS");
  ASSERT_TRUE(RunUntil(") TEMPCABINET ADDR:3")) << unit_.screen();
  uint32_t row = 0;
  for (uint32_t l = 2; l <= 7; ++l)
    if (Line(l).find("TEMPCABINET") != std::string::npos) row = l - 1;
  ASSERT_NE(row, 0u) << unit_.screen();
  EXPECT_EQ(Line(row + 1).substr(0, 21), std::to_string(row) + ") TEMPCABINET ADDR:3");
  // Boards that have not answered show their state, not a value.
  for (const char* name : {") TEMPCABINET", ") DC I/O 3"}) {
    const size_t at = unit_.screen().find(name);
    ASSERT_NE(at, std::string::npos) << unit_.screen();
    const std::string status = unit_.screen().substr(at - 1 + 26, 13);
    EXPECT_TRUE(status.find("READING") != std::string::npos || status.find("COMM ERROR") != std::string::npos ||
                status.find("SETTING UP") != std::string::npos)
        << name << "\n" << unit_.screen();
  }

  Digits(std::string(1, static_cast<char>('0' + row)));
  ASSERT_TRUE(RunUntil("REVISION:0")) << unit_.screen();
  EXPECT_NE(Line(1).find("TEMPCABINET"), std::string::npos) << unit_.screen();
  // Bus 0 of its record: the sensor bus behind the panel.
  EXPECT_EQ(Line(3), " ON VMS CONTROL PANEL CAN NETWORK       ");
  Key(kKeyCancel);  // CANCEL: back to the list
  ASSERT_TRUE(RunUntil(") TEMPCABINET")) << unit_.screen();
  Key(kKeyCancel);  // and out of the page

  Choose("PERIPHERAL INIT ERRORS");
  ASSERT_TRUE(RunUntil("1) UNKNOWN")) << unit_.screen();
  EXPECT_EQ(unit_.screen().find("2) "), std::string::npos) << unit_.screen();
  Key(kKeyCancel);

  Choose("DELETE PERIPHERALS");
  Choose("TEMPCABINET");
  Choose("CONFIRM");
  EXPECT_EQ(Nv(nv::quorPeripheralID(cabinet)), 0u);
  EXPECT_EQ(Nv(nv::quorPeripheralID(board)), 52u);
  Choose("VIEW PERIPHERALS");
  ASSERT_TRUE(RunUntil(") DC I/O 3", 20000)) << unit_.screen();
  for (uint32_t t = 0; t < 200 && unit_.screen().find("TEMPCABINET") != std::string::npos; ++t) RunUntil("-", 100);
  EXPECT_EQ(unit_.screen().find("TEMPCABINET"), std::string::npos) << "gone at the task's reload\n" << unit_.screen();
  Key(kKeyCancel);

  Choose("DELETE ALL PERIPHERALS");
  Choose("CONFIRM");
  for (uint32_t slot = 0; slot < 8; ++slot) EXPECT_EQ(Nv(nv::quorPeripheralID(slot)), 0u) << slot;
  // The built-in sensors stay; the configured board goes at the reload.
  Choose("VIEW PERIPHERALS");
  ASSERT_TRUE(RunUntil("1) TEMPCONTROLLER")) << unit_.screen();
  for (uint32_t t = 0; t < 200 && unit_.screen().find("DC I/O 3") != std::string::npos; ++t) RunUntil("-", 100);
  EXPECT_EQ(unit_.screen().find("DC I/O 3"), std::string::npos) << unit_.screen();
}

}  // namespace
