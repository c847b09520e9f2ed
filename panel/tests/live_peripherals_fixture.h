// A panel with a peripheral task whose factory makes stand-in devices: the
// records written with pl_iterator load as live peripherals of the record's
// class (or of a class the test picks), from the database, in the state and
// with the CAN address their record text gives ("address,state").
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "frame/peripheral/peripheral.h"
#include "panel/tests/panel_fixture.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/pl_iterator.h"

class stand_in_device : public CPeripheral {
 public:
  stand_in_device(uint8_t class_code, uint16_t type_id, uint32_t address)
      : CPeripheral(class_code, type_id), m_dwAddress(address) {}
  void Poll() override {}
  uint32_t GetCanAddress() override { return m_dwAddress; }
  uint32_t m_dwAddress;

  // The class every stand-in is made with; 0: the record's.
  static uint8_t s_byClass;
  static CPeripheral* Create(const pl_record& r) {
    CPeripheral::ParseParameters(r.parameters);
    auto* p = new stand_in_device(s_byClass ? s_byClass : r.class_code, r.type_id, CPeripheral::s_dwParamValues[0]);
    p->m_wConfigSlot = r.slot;
    p->m_byFromDatabase = 1;
    const uint32_t state = CPeripheral::s_dwParamValues[1];
    p->m_byState = static_cast<uint8_t>(state ? state : PERIPHERAL_VALID);
    return p;
  }
};
inline uint8_t stand_in_device::s_byClass = 0;

class LivePeripheralsTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    stand_in_device::s_byClass = 0;
    task_ = std::make_unique<CPeripheralTask>(nullptr);
    for (pl_creator& row : rows_) task_->Factory().Register(&row);
    InThread([&] { ASSERT_TRUE(task_->Mediator().Open(&task_->Factory(), task_.get())); });
    g_pPeripheralTask = task_.get();
  }
  void TearDown() override {
    g_pPeripheralTask = nullptr;
    InThread([&] { task_->Mediator().Close(); });
    task_.reset();
    PanelTest::TearDown();
  }
  // Writes the record of the type.
  void Record(uint16_t type, const std::string& text = "") {
    InThread([&] { ASSERT_TRUE(pl_iterator().Add(type, "%s", text.c_str())) << type; });
  }
  // Creates the live peripherals of the records (once).
  void Load() {
    InThread([&] {
      pl_iterator records;
      ASSERT_TRUE(task_->Mediator().Load(&records));
    });
  }
  CPeripheral* Live(uint16_t type) {
    CPeripheral* p = nullptr;
    task_->Mediator().Find(type, &p);
    return p;
  }
  CMenuItem* Page(CLCD_MenuId id) {
    CMenuItem* p = nullptr;
    InThread([&] { p = mgr_->FindMenu(id, nullptr); });
    return p;
  }
  bool Offered(CLCD_MenuId id) {
    bool shown = false;
    CMenuItem* page = Page(id);
    InThread([&] { shown = page->HasRights(mgr_); });
    return shown;
  }

  std::unique_ptr<CPeripheralTask> task_;
  // Every class a page of these tests looks at.
  std::vector<pl_creator> rows_ = [] {
    std::vector<pl_creator> rows;
    for (uint8_t c : {PCLASS_DCIO, PCLASS_DOOR, PCLASS_FAN_CONTROL, PCLASS_IO_BASED, PCLASS_LVDB, PCLASS_TEMPERATURE,
                      PCLASS_UPS, PCLASS_OVERHEIGHT})
      rows.push_back({c, stand_in_device::Create});
    return rows;
  }();
};
