#include "peripherals/tests/peripheral_fixture.h"

#include <new>

#include "frame/timer/timer_scheduler.h"
#include "peripherals/peripheral_types.h"

uint32_t test_peripheral::s_destroyed = 0;
std::vector<std::string> test_peripheral::s_created_texts;

CPeripheral* test_peripheral::Create(const pl_record& record) {
  const std::string text = record.parameters ? record.parameters : "";
  s_created_texts.push_back(text);
  if (text == "FAIL") return nullptr;
  test_peripheral* p = new (std::nothrow) test_peripheral(record.class_code, record.type_id);
  if (!p) return nullptr;
  CPeripheral::ParseParameters(record.parameters);
  p->m_wPollInterval = record.parameters ? static_cast<uint16_t>(CPeripheral::s_dwParamValues[0]) : 0;
  p->m_wConfigSlot = record.slot;
  p->m_byFromDatabase = record.slot != 65535;
  p->m_byState = PERIPHERAL_READING;
  p->SetEnabled(1);
  return p;
}

const pl_creator PeripheralTest::kTestRows[] = {
    {PCLASS_TEMPERATURE, test_peripheral::Create}, {PCLASS_DOOR, test_peripheral::Create},
    {PCLASS_LCD_MANAGER, test_peripheral::Create}, {PCLASS_LIGHT, test_peripheral::Create},
    {PCLASS_HUMIDITY, test_peripheral::Create},    {PCLASS_DCIO, test_peripheral::Create},
    {PCLASS_CAN_PRODUCT_BOARD, test_peripheral::Create},
};

void PeripheralTest::RegisterTestRows(pl_factory* factory) {
  for (const pl_creator& row : kTestRows) factory->Register(&row);
}

namespace {
const uint32_t kWatched[] = {MSG_WDT_PERIPHERAL_START, MSG_WDT_PERIPHERAL_ALIVE, MSG_WDT_PERIPHERAL_STOP,
                             MSG_SYSTEM_RESET,         MSG_DEFRAG_RESET,         MSG_SHUTDOWN_RESET,
                             MSG_TIME_ZONE_CHANGED,    0};
}  // namespace

void PeripheralTest::SetUp() {
  monitor::monitor_config mon;
  mon.host_time = [this] { return host_seconds_; };
  monitor::reset(mon);
  rtos::kernel_config c;
  c.memory_size = 8u << 20;
  rtos::kernel_start(c, [this](void* mem) {
    uint8_t* cursor = static_cast<uint8_t*>(mem);
    ASSERT_EQ(os_byte_pool_create(&strings_, "dynamic database", cursor, kStringPool), OS_SUCCESS);
    ASSERT_EQ(os_byte_pool_create(&stacks_, "thread stacks", cursor + kStringPool, kStackPool), OS_SUCCESS);
    ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
    ASSERT_EQ(os_event_create(&inbox_flags_, "inbox"), OS_SUCCESS);
    timer_scheduler_tx_rtos::Instance();
  });
  db_ = std::make_unique<CDataBase>(&g_post_office);
  db_->SetStringPool(&strings_);
  db_->SetNotifyEnabled(true);
  inbox_ = std::make_unique<subscriber>(&g_post_office, &inbox_flags_, 1, nullptr);
  inbox_->Subscribe(kWatched);
  test_peripheral::s_destroyed = 0;
  test_peripheral::s_created_texts.clear();
  // The first port's speed is one the task keeps.
  SetNv(nv::rs232PortInSpeed(0), 9600);
}

void PeripheralTest::TearDown() {
  inbox_.reset();
  db_.reset();
  rtos::kernel_stop();
  timer_scheduler_tx_rtos::DestroyInstance();
  monitor::shutdown();
}

std::vector<uint32_t> PeripheralTest::Letters() {
  std::vector<uint32_t> ids;
  letter_s* l = nullptr;
  while (inbox_->Receive(&l)) {
    ids.push_back(l->Id());
    inbox_->Release(l);
  }
  return ids;
}
