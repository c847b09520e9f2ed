// A kernel on the manual clock with the "database" flags, a database with
// its string pool, a pool for task stacks, the board clock on a time the
// test sets, and an inbox that collects the letters the task publishes.
// Test peripherals of any class and type, counting their polls, come from
// test_peripheral::Create.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/peripheral/peripheral.h"
#include "monitor_host.h"
#include "peripherals/pl_factory.h"
#include "rtos_host.h"

// A peripheral that counts its polls and events and takes its state and
// CAN address from the test.
class test_peripheral : public CPeripheral {
 public:
  test_peripheral(uint8_t class_code, uint16_t type_id) : CPeripheral(class_code, type_id) {}
  ~test_peripheral() override { ++s_destroyed; }
  void Poll() override {
    ++polls;
    if (on_poll) on_poll(this);
  }
  void OnEvent(letter_s* letter) override { events.push_back(letter->Id()); }
  uint32_t GetCanAddress() override { return can_address; }

  // The creator of the test rows: interval from the record's first field,
  // nothing for a text "FAIL".
  static CPeripheral* Create(const pl_record& record);

  uint32_t polls = 0;
  uint32_t can_address = 0;
  std::vector<uint32_t> events;
  std::function<void(test_peripheral*)> on_poll;
  static uint32_t s_destroyed;
  static std::vector<std::string> s_created_texts;
};

class PeripheralTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kStringPool = 2u << 20;
  static constexpr uint32_t kStackPool = 1u << 20;

  void SetUp() override;
  void TearDown() override;

  // Runs fn on a kernel thread (the mediator's lock wants one).
  static void InThread(const std::function<void()>& fn) { ASSERT_TRUE(rtos::run_in_thread(fn)); }

  static CDataBase& Db() { return *g_pDataBase; }
  static uint32_t Nv(db_object o) { return Db().GetValue(o.offset, o.width, Db().mib_nv, 0); }
  static uint32_t V(db_object o) { return Db().GetValue(o.offset, o.width, Db().mib_v, 0); }
  static void SetNv(db_object o, uint32_t v, uint32_t flags = DB_NO_VALIDATE) {
    Db().SetValue(o.offset, o.width, v, Db().mib_nv, flags);
  }
  static void SetV(db_object o, uint32_t v, uint32_t flags = DB_NO_VALIDATE) {
    Db().SetValue(o.offset, o.width, v, Db().mib_v, flags);
  }
  static std::string NvText(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(o.offset, 4, Db().mib_nv, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  static void SetNvText(db_object o, const std::string& text) {
    Db().SetString(o.offset, 4, text.data(), static_cast<uint32_t>(text.size()), Db().mib_nv, DB_NO_VALIDATE);
  }
  // Takes (and clears) the database flags of the mask.
  static uint32_t TakeFlags(uint32_t mask) {
    uint32_t actual = 0;
    if (os_event_get(&g_database_flags, mask, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT) != OS_SUCCESS) return 0;
    return actual & mask;
  }

  // Letters published since the last call, in order.
  std::vector<uint32_t> Letters();

  // The test rows: classes the registry leaves without a creator here.
  static const pl_creator kTestRows[];
  static void RegisterTestRows(pl_factory* factory);

  int64_t host_seconds_ = 1268524800;  // 2010-03-14 00:00:00 UTC
  TX_BYTE_POOL strings_{};
  TX_BYTE_POOL stacks_{};
  TX_EVENT_FLAGS_GROUP inbox_flags_{};
  std::unique_ptr<CDataBase> db_;
  std::unique_ptr<subscriber> inbox_;
};
