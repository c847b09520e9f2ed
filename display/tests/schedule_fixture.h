// The schedule task beside the display task on the manual clock: a clock
// that tests set, a trap sender and an event logger that record what they
// are given, a listener that counts the requests written into the
// activation slots, and helpers that write schedule entries, day-plan
// events and actions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "display/schedule/schedule_task.h"
#include "display/tests/activation_fixture.h"
#include "frame/bus/subscriber.h"
#include "frame/peripheral/peripheral_trap.h"

struct schedule_test_world {
  bool clock_present = true;
  bool clock_valid = true;
  calendar_record date{};
  uint32_t outage = 0;
  // Runs when the task asks for the outage (after its 40-tick wait).
  std::function<void()> on_startup_time;

  struct trap {
    uint32_t generic, specific, count;
    std::vector<std::string> values;  // each binding's value bytes
    std::vector<std::vector<uint32_t>> oids;
  };
  std::vector<trap> traps;
  std::vector<std::string> log;  // "update", "clear 1", "trim", "clients a:p"
};

inline schedule_test_world& schedule_world() {
  static schedule_test_world world;
  return world;
}

class ScheduleTest : public ActivationTest {
 protected:
  // 1 January 2024 00:00, a Monday, in seconds since 1970.
  static constexpr uint32_t kNewYear2024 = 1704067200;
  static constexpr uint32_t kPrefix[14] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 8, 2, 1, 1};

  void SetUp() override {
    ActivationTest::SetUp();
    schedule_world() = schedule_test_world{};
    schedule_services s;
    s.find_clock = []() -> void* { return schedule_world().clock_present ? &schedule_world() : nullptr; };
    s.clock_local_date = [](void* clock, calendar_record* out) {
      auto* w = static_cast<schedule_test_world*>(clock);
      if (!w->clock_valid) return 0;
      *out = w->date;
      return 1;
    };
    s.clock_startup_time = [](void* clock, uint32_t* seconds) {
      auto* w = static_cast<schedule_test_world*>(clock);
      if (w->on_startup_time) w->on_startup_time();
      if (!w->clock_valid) return 0;
      *seconds = w->outage;
      return 1;
    };
    s.event_log_update = [] {
      // Only the first few: the logger steps twice a second.
      if (schedule_world().log.size() < 64) schedule_world().log.push_back("update");
    };
    s.event_log_clear_by_time = [](uint32_t c) { schedule_world().log.push_back("clear " + std::to_string(c)); };
    s.event_log_trim = [] { schedule_world().log.push_back("trim"); };
    s.trap_clients_configure = [](uint32_t address, uint16_t port) {
      schedule_world().log.push_back("clients " + std::to_string(address) + ":" + std::to_string(port));
    };
    schedule_set_services(s);
    peripheral_set_trap_sender([](uint32_t generic, uint32_t specific, uint32_t count,
                                  const peripheral_trap_binding* bindings) {
      schedule_test_world::trap t{generic, specific, count, {}, {}};
      for (uint32_t i = 0; i < count; ++i) {
        t.values.emplace_back(reinterpret_cast<const char*>(bindings[i].value), bindings[i].length);
        t.oids.emplace_back(bindings[i].oid, bindings[i].oid + bindings[i].oid_length);
      }
      schedule_world().traps.push_back(t);
    });
    g_tcp_client_connected = 0;
    task_ = std::make_unique<CScheduleTask>(&g_post_office, &reset_mode_);
    ASSERT_EQ(task_->Subscribe(), 1);
    static const uint32_t ids[] = {MSG_ACTIVATION_WRITTEN, 0};
    requests_ = std::make_unique<subscriber>(&g_post_office, nullptr, 1, nullptr);
    ASSERT_EQ(requests_->Subscribe(ids), 1);
    // Messages 1 to 3 to schedule; nothing scheduled yet.
    crc1_ = StoreChangeable(1, "A");
    crc2_ = StoreChangeable(2, "B");
    crc3_ = StoreChangeable(3, "C");
    SetNv(nv::scheduleMessageCRC, 0);
    SetNv(nv::dmsMsgSourceMode, CScheduleTask::SCHEDULE_SOURCE_MODE);
  }

  void TearDown() override {
    requests_.reset();
    ActivationTest::TearDown();
    task_.reset();
    schedule_set_services(schedule_services{});
    peripheral_set_trap_sender(nullptr);
    g_tcp_client_connected = 0;
  }

  // Seconds since 1970 of a day of 2024 (0 = 1 January) at hh:mm.
  static uint32_t At2024(uint32_t day, uint32_t hour, uint32_t minute) {
    return kNewYear2024 + day * 86400 + hour * 3600 + minute * 60;
  }
  static calendar_record Date(uint32_t seconds) {
    calendar_record d{};
    calendar_from_seconds(seconds, &d);
    return d;
  }

  static Bytes Oid(const std::vector<uint32_t>& subids) {
    Bytes b;
    for (uint32_t s : subids)
      for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(s >> shift));
    return b;
  }
  static Bytes ActionOid(uint32_t action) {
    std::vector<uint32_t> s(kPrefix, kPrefix + 14);
    s.push_back(action);
    return Oid(s);
  }
  static Bytes IdCode(uint8_t type, uint16_t number, uint16_t crc) {
    return Bytes{type, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number),
                 static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
  }
  static Bytes LocalCode(uint8_t type, uint16_t number, uint16_t crc, uint16_t duration = 0xFFFF) {
    return Code(type, number, crc, 255, duration, {127, 0, 0, 1});
  }

  // Entry i: month, weekday and date masks, and its day plan.
  void SetEntry(uint32_t i, uint32_t months, uint32_t days, uint32_t dates, uint32_t plan) {
    SetNv(nv::timeBaseScheduleMonth(i), months);
    SetNv(nv::timeBaseScheduleDay(i), days);
    SetNv(nv::timeBaseScheduleDate(i), dates);
    SetNv(nv::timeBaseScheduleDayPlan(i), plan);
  }
  // An entry for every day of the year.
  void SetEveryDay(uint32_t i, uint32_t plan) { SetEntry(i, 0x1FFE, 0xFE, 0xFFFFFFFE, plan); }
  void ClearEntries() {
    for (uint32_t i = 0; i < CScheduleTask::SCHEDULE_ENTRIES; ++i) SetEntry(i, 0, 0, 0, 0);
  }
  // Event e of day plan p (1-based) at hh:mm with its action OID.
  void SetEvent(uint32_t plan, uint32_t e, uint32_t hour, uint32_t minute, const Bytes& oid) {
    SetNv(nv::dayPlanHour(plan - 1, e), hour);
    SetNv(nv::dayPlanMinute(plan - 1, e), minute);
    SetNvBytes(nv::dayPlanActionNumberOID(plan - 1, e), oid);
  }
  // Action a (1-based) names a message.
  void SetAction(uint32_t a, uint8_t type, uint16_t number, uint16_t crc) {
    SetNvBytes(nv::dmsActionMsgCode(a - 1), IdCode(type, number, crc));
  }

  void Evaluate(uint32_t seconds) {
    InThread([&] {
      task_->SetLocalDate(Date(seconds));
      task_->EvaluateSchedule();
    });
  }
  // Requests written into the activation slots since the last call.
  uint32_t Requests() {
    uint32_t n = 0;
    letter_s* l = nullptr;
    while (requests_->Receive(&l)) {
      ++n;
      requests_->Release(l);
    }
    return n;
  }
  Bytes Slot6() { return VolCode(vol::activationSlotCode(6)); }

  // Creates the task: it starts at tick 100 and steps every 50 ticks.
  void CreateTask() { ASSERT_EQ(task_->Create(&stacks_), 1); }
  void AdvanceTo(uint32_t tick) {
    const uint32_t now = tx_time_get();
    if (tick > now) rtos::advance(tick - now);
  }

  uint8_t reset_mode_ = 1;
  std::unique_ptr<CScheduleTask> task_;
  std::unique_ptr<subscriber> requests_;
  uint16_t crc1_ = 0, crc2_ = 0, crc3_ = 0;
};
