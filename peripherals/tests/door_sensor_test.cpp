// Door sensors on a simulated DC I/O board: door numbering, the door-open
// bitmap and error bit, the open trap, the fail-safe on a silent board and
// the records the creator refuses.
#include <memory>
#include <vector>

#include "frame/peripheral/peripheral_trap.h"
#include "peripherals/devices/dcio.h"
#include "peripherals/devices/door_sensor.h"
#include "peripherals/devices/sensor_ops.h"
#include "peripherals/tests/task_fixture.h"
#include "sim/can/field_board.h"

namespace {

class DoorSensorTest : public TaskFixture {
 protected:
  void SetUp() override {
    SetUpFieldDevices();
    io_ = std::make_unique<sim::field_board>(board::q5_wire(), 0x42401, 4, true);
    // Board 52: points 24..31 and 40..47 inputs, 32..39 and 48..55 outputs.
    Record(0, 52, "42401,F0,FF,F0,FF,0,0");
  }
  void TearDown() override {
    io_.reset();
    TaskFixture::TearDown();
  }
  void Begin() {
    Start(3, false);
    install_sensor_device_ops();
  }
  CDoorSensor* Door(uint16_t type) { return dynamic_cast<CDoorSensor*>(Live(type)); }
  static size_t DoorTraps() {
    size_t n = 0;
    for (const captured_trap& t : s_traps)
      if (t.generic == TRAP_ENTERPRISE_SPECIFIC && t.specific == CDoorSensor::TRAP_DOOR_OPEN) ++n;
    return n;
  }
  static bool ErrorBit() { return (V(vol::shortErrorStatus) & CDoorSensor::ERROR_DOOR_OPEN) != 0; }
  static bool StatusBit() { return (V(vol::vestrelStatusBits) & CDoorSensor::STATUS_DOOR_OPEN) != 0; }

  std::unique_ptr<sim::field_board> io_;
};

TEST_F(DoorSensorTest, DoorsAreNumberedInOrderAndDriveTheBitmapAndErrorBit) {
  Record(1, 30, "18,34");  // point 24
  Record(2, 31, "19,34");  // point 25
  SetNvText(nv::sysLocation, "GATE 4");
  Begin();
  CDoorSensor* d1 = Door(30);
  CDoorSensor* d2 = Door(31);
  ASSERT_NE(d1, nullptr);
  ASSERT_NE(d2, nullptr);
  EXPECT_EQ(d1->DoorNumber(), 1);
  EXPECT_EQ(d2->DoorNumber(), 2);
  ASSERT_GE(d2->StatusRow(), 0);
  Steps(30);
  EXPECT_EQ(d1->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(d1->DoorState(), CDoorSensor::DOOR_CLOSED);
  EXPECT_EQ(DoorTraps(), 0u) << "a door first seen closed sends nothing";
  EXPECT_FALSE(ErrorBit());

  io_->set_input(25, true);
  Steps(30);  // many input reports while it stays open
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 2u);
  EXPECT_TRUE(ErrorBit());
  EXPECT_TRUE(StatusBit());
  EXPECT_EQ(V(vol::auxIOPortValue(d2->StatusRow())), 1u);
  ASSERT_EQ(DoorTraps(), 1u);
  const captured_trap& trap = s_traps.back();
  ASSERT_EQ(trap.oids.size(), 2u);
  EXPECT_EQ(trap.oids[0], (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 6, 0}));
  EXPECT_EQ(trap.values[0], (std::vector<uint8_t>{'G', 'A', 'T', 'E', ' ', '4'}));
  EXPECT_EQ(trap.types[1], TRAP_VALUE_COUNTER);

  // Door 1 opens too; closing door 2 keeps the error while door 1 is open.
  io_->set_input(24, true);
  Steps(10);
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 3u);
  EXPECT_EQ(DoorTraps(), 2u);
  io_->set_input(25, false);
  Steps(10);
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 1u);
  EXPECT_TRUE(ErrorBit());
  EXPECT_EQ(V(vol::auxIOPortValue(d2->StatusRow())), 0u);
  io_->set_input(24, false);
  Steps(10);
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 0u);
  EXPECT_FALSE(ErrorBit());
  EXPECT_FALSE(StatusBit());
  EXPECT_EQ(DoorTraps(), 2u) << "closing sends no trap";
}

TEST_F(DoorSensorTest, ADoorOpenAtTheFirstReportSendsTheTrap) {
  Record(1, 33, "1A,34");  // point 26
  io_->set_input(26, true);
  Begin();
  CDoorSensor* d = Door(33);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->DoorState(), CDoorSensor::DOOR_UNKNOWN);
  Steps(30);
  EXPECT_EQ(d->DoorState(), CDoorSensor::DOOR_OPEN);
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 1u);
  EXPECT_EQ(DoorTraps(), 1u);

  // Creating another sensor clears the picture until the next report.
  InThread([&] { ASSERT_TRUE(task_->CreatePeripheral(34, "28,34")); });  // point 40
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 0u);
  EXPECT_FALSE(ErrorBit());
  Steps(10);
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 0u) << "door 1 stays open: no change to report";
}

TEST_F(DoorSensorTest, ASilentBoardReportsTheDoorOpenWithoutATrap) {
  Record(1, 30, "18,34");
  Begin();
  CDoorSensor* d = Door(30);
  ASSERT_NE(d, nullptr);
  io_->set_input(24, true);
  Steps(20);
  ASSERT_TRUE(StatusBit());
  ASSERT_EQ(DoorTraps(), 1u);
  io_->set_input(24, false);
  Steps(20);
  ASSERT_FALSE(ErrorBit());

  io_->set_silent(true);
  Steps(2 * DCIO::SILENT_POLLS + 40);
  EXPECT_EQ(d->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 1u);
  EXPECT_TRUE(ErrorBit());
  EXPECT_FALSE(StatusBit()) << "only a live sensor's report sets the private bit";
  EXPECT_EQ(V(vol::auxIOPortValue(d->StatusRow())), 1u);
  EXPECT_EQ(DoorTraps(), 1u);
}

TEST_F(DoorSensorTest, BadRecordsAreRefusedAndLeaveNothingBehind) {
  Begin();
  Steps(20);
  struct Case {
    const char* what;
    uint16_t type;
    const char* parameters;
  } cases[] = {
      {"no such board", 30, "18,35"},
      {"point below the I/O range", 30, "17,34"},
      {"point past the I/O range", 30, "38,34"},
      {"point beyond a byte", 30, "118,34"},
      {"an output point", 30, "20,34"},
      {"not a door type", 38, "18,34"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InThread([&] { EXPECT_FALSE(task_->CreatePeripheral(c.type, c.parameters)); });
    EXPECT_EQ(Live(c.type), nullptr);
    EXPECT_EQ(CDoorSensor::LiveCount(), 0);
  }
  // A claimed point is refused to the second sensor only.
  InThread([&] {
    EXPECT_TRUE(task_->CreatePeripheral(30, "18,34"));
    EXPECT_FALSE(task_->CreatePeripheral(31, "18,34"));
  });
  EXPECT_EQ(CDoorSensor::LiveCount(), 1);
}

TEST_F(DoorSensorTest, ANinthDoorDrivesTheErrorBitButNoBitOfTheMap) {
  Begin();
  const uint16_t types[] = {30, 31, 32, 33, 34, 35, 36, 37, 180};
  const char* params[] = {"18,34", "19,34", "1A,34", "1B,34", "1C,34", "1D,34", "1E,34", "1F,34", "28,34"};
  InThread([&] {
    for (int i = 0; i < 9; ++i) ASSERT_TRUE(task_->CreatePeripheral(types[i], params[i])) << types[i];
  });
  CDoorSensor* ninth = Door(180);
  ASSERT_NE(ninth, nullptr);
  EXPECT_EQ(ninth->DoorNumber(), 9);
  Steps(20);
  io_->set_input(40, true);
  Steps(20);
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 0u);
  EXPECT_TRUE(ErrorBit());
  EXPECT_EQ(V(vol::auxIOPortValue(ninth->StatusRow())), 1u);
  EXPECT_EQ(DoorTraps(), 1u);
  io_->set_input(31, true);  // the eighth door: the map's top bit
  Steps(20);
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 0x80u);
  io_->set_input(31, false);
  Steps(20);
  EXPECT_EQ(V(vol::dmsStatDoorOpen), 0u);
  EXPECT_FALSE(ErrorBit()) << "the ninth door leaves no bit to keep the error up";
}

TEST(DoorSensorNames, TypesAndNamesMatchExactly) {
  EXPECT_STREQ(CDoorSensor::NameOfType(30), "DOOR SWITCH 1");
  EXPECT_STREQ(CDoorSensor::NameOfType(37), "DOOR SWITCH 8");
  EXPECT_STREQ(CDoorSensor::NameOfType(185), "DOOR SWITCH LINE 6");
  EXPECT_EQ(CDoorSensor::NameOfType(38), nullptr);
  EXPECT_EQ(CDoorSensor::NameOfType(186), nullptr);
  EXPECT_EQ(CDoorSensor::TypeOfName("DOOR SWITCH LINE 1"), 180);
  EXPECT_EQ(CDoorSensor::TypeOfName("door switch 1"), 0);
  EXPECT_EQ(CDoorSensor::TypeOfName("DOOR SWITCH 1 "), 0);
  EXPECT_EQ(CDoorSensor::TypeOfName(nullptr), 0);
}

}  // namespace
