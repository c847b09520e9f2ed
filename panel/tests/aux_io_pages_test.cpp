// The AUX I/O port page: offered only while a port peripheral is live, lists
// the first six, and writes the typed state into the chosen port's status
// row.
#include <string>

#include "panel/pages/aux_io_pages.h"
#include "panel/tests/live_peripherals_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class AuxIOPageTest : public LivePeripheralsTest {
 protected:
  void SetUp() override {
    LivePeripheralsTest::SetUp();
    // No type id is of the port class here: stand-ins play the ports.
    stand_in_device::s_byClass = CLCD_AuxIOPortControl::kPortClass;
  }
  // The port of the record in the slot keeps its state in this row.
  void GiveRow(uint16_t slot, uint32_t row) {
    aux_index_list rows;
    rows.Append(row);
    InThread([&] { ASSERT_TRUE(CPeripheral::SetAuxIOIndexList(slot, &rows)); });
  }
};

TEST_F(AuxIOPageTest, HiddenWithoutPorts) {
  BootWithAllRights();
  Load();
  EXPECT_FALSE(Offered(18));
}

TEST_F(AuxIOPageTest, SixPortsListedAndTheStateWrittenToTheChosenRow) {
  const uint16_t types[7] = {75, 76, 710, 711, 712, 713, 714};
  for (uint16_t t : types) Record(t);
  Load();
  GiveRow(1, 40);
  SetV(vol::auxIOPortValue(40), 3);
  BootWithAllRights();
  ASSERT_TRUE(Offered(18));
  Open(18);
  EXPECT_EQ(Unit().line(1), Centred("AUX I/O PORT CONTROL"));
  for (uint32_t i = 0; i < 6; ++i)
    EXPECT_EQ(Unit().line(i + 2), Line(std::to_string(i + 1) + ") " + peripheral_type_name(types[i]) + " "));
  EXPECT_EQ(Unit().screen().find(peripheral_type_name(714)), std::string::npos) << "a seventh port is not listed";

  PressKeys({pad('2')});
  EXPECT_EQ(Unit().line(1), Centred("SET STATE"));
  EXPECT_NE(Unit().line(4).find("VALID FROM 0->9:"), std::string::npos) << Unit().screen();
  TypeDigits("10");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(V(vol::auxIOPortValue(40)), 3u) << "10 is refused";
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 18);
  for (const char* typed : {"9", "0"}) {
    PressKeys({LCD_PAD_LEFT, LCD_PAD_LEFT, LCD_PAD_LEFT});
    TypeDigits(typed);
    PressKeys({LCD_PAD_ENTER});
    EXPECT_EQ(V(vol::auxIOPortValue(40)), static_cast<uint32_t>(std::stoi(typed)));
    if (typed[0] == '9') {
      Open(18);
      PressKeys({pad('2')});
    }
  }
}

TEST_F(AuxIOPageTest, PortGoneBeforeTheStateChangesNothing) {
  Record(75);
  Load();
  GiveRow(0, 41);
  BootWithAllRights();
  Open(18);
  PressKeys({pad('1')});
  InThread([&] { ASSERT_TRUE(task_->Mediator().Remove(75)); });
  TypeDigits("5");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(V(vol::auxIOPortValue(41)), 0u);
}

}  // namespace
