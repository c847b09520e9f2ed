#include "peripherals/tests/task_fixture.h"

#include <cstring>

std::map<uint16_t, int8_t> sensor_readings::temperature;
std::map<uint16_t, uint16_t> sensor_readings::light;
std::vector<captured_trap> TaskFixture::s_traps;

namespace {

bool read_temperature(CPeripheral* p, int8_t* celsius) {
  auto it = sensor_readings::temperature.find(p->m_wTypeId);
  if (it == sensor_readings::temperature.end()) return false;
  *celsius = it->second;
  return true;
}

bool read_light(CPeripheral* p, uint16_t* level) {
  auto it = sensor_readings::light.find(p->m_wTypeId);
  if (it == sensor_readings::light.end()) return false;
  *level = it->second;
  return true;
}

const peripheral_device_ops kSensorOps = {nullptr, nullptr, nullptr, read_temperature, read_light};

void capture_trap(uint32_t generic, uint32_t specific, uint32_t count, const peripheral_trap_binding* bindings) {
  captured_trap t{generic, specific, {}, {}, {}};
  for (uint32_t k = 0; k < count; ++k) {
    const peripheral_trap_binding& b = bindings[k];
    t.oids.emplace_back(b.oid, b.oid + b.oid_length);
    t.types.push_back(b.type);
    t.values.emplace_back(b.value, b.value + b.length);
  }
  TaskFixture::s_traps.push_back(t);
}

}  // namespace

void sensor_readings::Install() { peripheral_set_device_ops(&kSensorOps); }

void sensor_readings::Remove() {
  peripheral_set_device_ops(nullptr);
  temperature.clear();
  light.clear();
}

void TaskFixture::SetUpFieldDevices() {
  SetUpTask(true);
  peripheral_tables_reset();
  for (uint32_t i = 0; i < CPeripheral::kStatusRows; ++i) {
    SetV(vol::auxIOPortType(i), i < CPeripheral::kDigitalRows ? 3 : 2);
    SetNvText(nv::auxIOPortDescription(i), "UNUSED");
  }
}

void TaskFixture::SetUpTask(bool with_can) {
  PeripheralTest::SetUp();
  if (with_can) {
    interrupt_power_on();
    board_control_power_on();
    board::reset();
    board_ = true;
    can_ = std::make_unique<peripheral_can>();
    // The module bus's part: frames that come in through the EPLD go back
    // to the packet driver's buses.
    reader_ = std::make_unique<sim::epld_frame_reader>(can_->db_driver);
    can_->db_driver.SetReceiver(reader_.get());
  }
  SetV(vol::peripheralTableLock, 2);
  sensor_readings::Install();
  s_traps.clear();
  peripheral_set_trap_sender(capture_trap);
  task_ = std::make_unique<CPeripheralTask>(&g_post_office);
  task_->SetCan(can_.get());
  ASSERT_EQ(task_->Subscribe(), 1);
}

void TaskFixture::TearDown() {
  if (task_->Mediator().State() >= pl_mediator::STATE_OPEN) InThread([this] { task_->Mediator().Close(); });
  if (can_) can_->db_driver.SetReceiver(nullptr);
  if (board_) {
    board::shutdown();
    board_install_external_vector(nullptr);
  }
  // The task's thread may be inside a step (a detection, a lock of the CAN
  // stack held): its detectors and the stack go once the thread has.
  rtos::kernel_stop();
  task_->AbandonAutoDetect();
  can_.reset();
  reader_.reset();
  task_.reset();
  sensor_readings::Remove();
  peripheral_set_trap_sender(nullptr);
  peripheral_set_display_ops(nullptr);
  PeripheralTest::TearDown();
}

void TaskFixture::Start(uint8_t board, bool test_rows) {
  task_->SetProductBoardId(board);
  ASSERT_EQ(task_->Create(&stacks_), 1);
  if (test_rows) RegisterTestRows(&task_->Factory());
  rtos::advance(CPeripheralTask::TIMER_FIRST);
  // Opening the CAN stack takes the chip's set-up time.
  for (int i = 0; i < 200 && task_->RunState() != CPeripheralTask::RUN_STARTED; ++i) rtos::advance(1);
  ASSERT_EQ(task_->RunState(), CPeripheralTask::RUN_STARTED);
}

CPeripheral* TaskFixture::Live(uint16_t type) {
  CPeripheral* p = nullptr;
  InThread([&] { p = task_->GetPeripheral(type); });
  return p;
}

test_peripheral* TaskFixture::Sensor(uint16_t type, bool valid) {
  test_peripheral* p = Test(type);
  if (!p) {
    InThread([&] { task_->CreatePeripheral(type, "0"); });
    p = Test(type);
  }
  if (p) p->m_byState = valid ? PERIPHERAL_VALID : PERIPHERAL_COMM_ERROR;
  return p;
}

void TaskFixture::Deliver(uint32_t id, uint16_t a, uint16_t b, uint16_t kind) {
  letter_s l(id);
  l.kind = kind;
  l.payload[0] = static_cast<uint32_t>(a) << 16 | b;
  g_post_office.Deliver(&l);
}

std::map<uint16_t, std::string> TaskFixture::Records() {
  std::map<uint16_t, std::string> records;
  for (uint32_t slot = 0; slot < PL_SLOTS; ++slot) {
    const uint16_t type = static_cast<uint16_t>(Nv(nv::quorPeripheralID(slot)));
    if (type) records[type] = NvText(nv::quorPeripheralParameters(slot));
  }
  return records;
}
