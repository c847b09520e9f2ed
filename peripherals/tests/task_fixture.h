// The peripheral task running on the manual clock, optionally with its CAN
// stack on the simulated board: the sensor buses and the controller bus on
// their drivers, the EPLD's received frames handed back to the packet
// driver's buses (as the module bus does), and simulated boards on the
// wires. Sensors of the test rows report the readings the test sets here.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"
#include "frame/board/board_control.h"
#include "frame/board/interrupt.h"
#include "frame/peripheral/peripheral_trap.h"
#include "frame/trace/trace.h"
#include "peripherals/peripheral_can.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/tests/peripheral_fixture.h"
#include "sim/can/epld_frame_reader.h"

// What the test rows' sensors read: a temperature or a light level per type
// id; a type without one is not a sensor of that kind.
struct sensor_readings {
  static std::map<uint16_t, int8_t> temperature;
  static std::map<uint16_t, uint16_t> light;
  static void Install();
  static void Remove();
};

// One trap as the task raised it.
struct captured_trap {
  uint32_t generic;
  uint32_t specific;
  std::vector<std::vector<uint32_t>> oids;
  std::vector<uint8_t> types;
  std::vector<std::vector<uint8_t>> values;
};

class TaskFixture : public PeripheralTest {
 public:
  // The traps raised, in order.
  static std::vector<captured_trap> s_traps;

 protected:
  static constexpr uint32_t kCycle = CPeripheralTask::TIMER_PERIOD;

  // with_can: the CAN stack on the board.
  void SetUpTask(bool with_can);
  // SetUpTask with the CAN stack, fresh sensor tables and the status
  // table's rows as the factory defaults leave them: what real field-device
  // drivers need.
  void SetUpFieldDevices();
  void TearDown() override;

  // Creates the task and lets it start; the test rows (unless left out)
  // stand in for the classes they name, the registry's creators for the rest.
  void Start(uint8_t board = 3, bool test_rows = true);
  void Steps(uint32_t n) { rtos::advance(n * kCycle); }
  void Record(uint32_t slot, uint16_t type, const char* text) {
    SetNv(nv::quorPeripheralID(slot), type);
    SetNvText(nv::quorPeripheralParameters(slot), text);
  }
  CPeripheral* Live(uint16_t type);
  test_peripheral* Test(uint16_t type) { return dynamic_cast<test_peripheral*>(Live(type)); }
  // A live test sensor of the type, valid (or not).
  test_peripheral* Sensor(uint16_t type, bool valid = true);
  void Deliver(uint32_t id, uint16_t a, uint16_t b, uint16_t kind = LETTER_KIND_PAIRS);
  // The records: type id -> text.
  std::map<uint16_t, std::string> Records();

  std::unique_ptr<CPeripheralTask> task_;
  std::unique_ptr<peripheral_can> can_;
  std::unique_ptr<sim::epld_frame_reader> reader_;
  bool board_ = false;
};
