// Setting up the field devices from the front panel in the whole
// controller: auto-detection started at the panel finds the utility boards
// on the sensor buses and the peripheral task brings them to life; the HCB
// questions that follow add the cabinet board's devices; a device added
// with its wizard is loaded at the next task cycles.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "panel/controller_tests/panel_controller_fixture.h"
#include "panel/tests/peripheral_records.h"
#include "peripherals/peripheral_task.h"
#include "sim/can/utility_board.h"
#include "tests/controller_fixture.h"

namespace {

class PanelPeripheralTest : public panel_controller<controller_test> {
 protected:
  void SetUp() override {
    Boot();
    AttachUnit();
    ASSERT_NO_FATAL_FAILURE(Login());
  }
  void TearDown() override {
    g_hcb_distribution_board = 0;
    boards_.clear();
    controller_test::TearDown();
  }
  // A board on sensor bus B (the controller's own CAN controller).
  void OnBusB(uint32_t address) {
    boards_.push_back(std::make_unique<sim::utility_board>(board::q5_wire(), address));
  }
  // A board on sensor bus A, behind the EPLD.
  void OnBusA(uint32_t address) {
    boards_.push_back(std::make_unique<sim::utility_board>(board::epld_wire(0), address, 0x0102, 0));
  }
  static peripheral_records Records() {
    peripheral_records out;
    InThread([&] { out = read_peripheral_records(); });
    return out;
  }
  static bool IsLive(uint16_t type) {
    bool live = false;
    InThread([&] { live = g_pPeripheralTask->GetPeripheral(type) != nullptr; });
    return live;
  }
  // Lets the task take the records written (a reload per write).
  void Cycles(uint32_t n) { RunFor(n * 50); }
  void OpenAutoDetect() {
    ASSERT_NO_FATAL_FAILURE(Choose("CONFIGURATION"));
    ASSERT_NO_FATAL_FAILURE(Choose("PERIPHERAL CONFIGURATION"));
    ASSERT_NO_FATAL_FAILURE(Choose("PERIPHERAL AUTO DETECT"));
    ASSERT_TRUE(RunUntil("1) CONFIRM")) << unit_.screen();
  }

  std::vector<std::unique_ptr<sim::utility_board>> boards_;
};

TEST_F(PanelPeripheralTest, AutoDetectionFindsTheBoardsOnTheSensorBuses) {
  OnBusB(0x42221);  // mini DC I/O 1
  OnBusA(0x43003);  // isolation board 3
  InThread([] {
    pl_iterator records;
    records.Add(660, "28,32");
  });
  OpenAutoDetect();
  Digits("1");
  ASSERT_TRUE(RunUntil("DETECTING, PLEASE WAIT")) << unit_.screen();
  ASSERT_TRUE(RunUntil("COMPLETE", 20000)) << unit_.screen();
  EXPECT_TRUE(trace_.contains("auto detect complete\n"));
  // Mini board 1 brings its surge suppressor and door switch; the sign of
  // the start-up defaults is a line-matrix sign of one line.
  EXPECT_EQ(Records(), (peripheral_records{{590, "42221,2"},
                                           {76, "24E,1"},
                                           {31, "19,24E"},
                                           {796, "43003,1"},
                                           {160, "42101,1,1"},
                                           {170, "42221,1,1"},
                                           {180, "18,AA"}}));
  // No HCB board: ENTER ends the wizard.
  Key(8);
  ASSERT_TRUE(RunUntil("1) ADD PERIPHERALS")) << unit_.screen();
  Cycles(4);
  EXPECT_TRUE(IsLive(590));
  EXPECT_TRUE(IsLive(796));
  EXPECT_TRUE(IsLive(31));
  EXPECT_FALSE(IsLive(660)) << "the earlier records went first";
}

TEST_F(PanelPeripheralTest, CancelKeepsTheRecords) {
  InThread([] {
    pl_iterator records;
    records.Add(660, "28,32");
  });
  const peripheral_records before = Records();
  OpenAutoDetect();
  Digits("2");
  ASSERT_TRUE(RunUntil("1) ADD PERIPHERALS")) << unit_.screen();
  Cycles(4);
  EXPECT_EQ(Records(), before);
  EXPECT_FALSE(trace_.contains("auto detect complete\n"));
}

TEST_F(PanelPeripheralTest, TheHcbAnswersFollowTheDetectedBoards) {
  OnBusB(0x42222);  // mini DC I/O 2
  g_hcb_distribution_board = 1;
  OpenAutoDetect();
  Digits("1");
  ASSERT_TRUE(RunUntil("COMPLETE", 20000)) << unit_.screen();
  Key(8);
  ASSERT_TRUE(RunUntil("DOORS ON HCB")) << unit_.screen();
  // One door, no surge suppressor, no beacon, intake fans, RPM monitoring
  // of two fans.
  Digits("1");
  Key(8);
  ASSERT_TRUE(RunUntil("SURGE SUPPRESSORS ON HCB")) << unit_.screen();
  Key(8);
  ASSERT_TRUE(RunUntil("BEACONS ON HCB")) << unit_.screen();
  Digits("12111");
  ASSERT_TRUE(RunUntil("FAN MONITORING ON HCB")) << unit_.screen();
  Digits("32");
  Key(8);
  ASSERT_TRUE(RunUntil("1) ADD PERIPHERALS")) << unit_.screen();
  EXPECT_EQ(Records(), (peripheral_records{{591, "42222,2"},
                                           {160, "42101,1,1"},
                                           {170, "42221,1,1"},
                                           {180, "18,AA"},
                                           {55, "42201,F0,F0,FF,F0,1"},
                                           {30, "18,37"},
                                           {510, "28,37"},
                                           {730, "42521,1,0"},
                                           {731, "42522,1,0"}}));
  EXPECT_EQ(Nv(nv::dmsBeaconType), 2u);
  Cycles(4);
  EXPECT_TRUE(IsLive(591));
  EXPECT_TRUE(IsLive(55));
  EXPECT_TRUE(IsLive(30));
}

TEST_F(PanelPeripheralTest, ASensorAddedAtThePanelComesToLife) {
  ASSERT_NO_FATAL_FAILURE(Choose("CONFIGURATION"));
  ASSERT_NO_FATAL_FAILURE(Choose("PERIPHERAL CONFIGURATION"));
  ASSERT_NO_FATAL_FAILURE(Choose("ADD PERIPHERALS"));
  ASSERT_NO_FATAL_FAILURE(Choose("ADD HUMIDITY"));
  ASSERT_TRUE(RunUntil("1) AMBIENT")) << unit_.screen();
  Digits("1");
  ASSERT_TRUE(RunUntil("1) DEFAULT (RECOMMENDED)")) << unit_.screen();
  Digits("1");
  ASSERT_TRUE(RunUntil("2) ON LOCAL CONTROL PANEL")) << unit_.screen();
  Digits("1");
  ASSERT_TRUE(RunUntil("1) ADD LIGHT")) << unit_.screen();
  EXPECT_EQ(Records().at(630), "42901,1");
  Cycles(4);
  EXPECT_TRUE(IsLive(630));
  // Chosen once, it is marked.
  ASSERT_NO_FATAL_FAILURE(Choose("ADD HUMIDITY"));
  EXPECT_TRUE(RunUntil("1) AMBIENT (ADDED)")) << unit_.screen();
}

}  // namespace
