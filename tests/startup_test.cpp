// The controller's start-up, run in-process on the manual clock: the boot
// lines, the tasks' first steps, and what the start records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/monitor/monitor_task.h"
#include "mon_api.h"
#include "tests/controller_fixture.h"

namespace {

class StartupTest : public controller_test {
 protected:
  void Start(const std::function<void(void*)>& before = nullptr) {
    // "1" typed on the console while the controller starts: debug trace.
    Boot([] { board::serial(1).send("1"); }, before);
  }
  // Position of a line in the captured output, or npos.
  size_t At(const std::string& line) const { return cap_.text().find(line); }

  trace_capture cap_;
};

TEST_F(StartupTest, BootsAndStartsEachTaskAtItsFirstExpiry) {
  Start();
  const std::string lines[] = {
      "Booting PX3907561 ver 1.9.4588.42 built ",
      " - Detecting Hardware\t\t\t\t\t[ OK ]\n\tKM Product Board with MM Fiber\n",
      " - Initialize Q5 Platform Specific Items\t\t[ OK ]\n",
      " - Initialize KM Product Specific Items\t\t\t[ OK ]\n",
      "Launching Thread(s) at 0 GMT, Please Wait...\n",
  };
  size_t last = 0;
  for (const std::string& l : lines) {
    size_t at = At(l);
    ASSERT_NE(at, std::string::npos) << l;
    EXPECT_GE(at, last) << l;
    last = at;
  }
  // A fresh board has no journal and no configuration file yet: their
  // lookups are the steps that fail, and the configuration is saved at once.
  std::string text = cap_.text();
  for (const std::string first_start : {" - Find Flash DB File\t\t\t\t\t[FAIL]\n\tCreating nv1.dat\n",
                                        " - Restore Config File\t\t\t\t\t[FAIL]\n\tFile Does Not Exist\n"}) {
    ASSERT_NE(text.find(first_start), std::string::npos) << text;
    text.erase(text.find(first_start), first_start.size());
  }
  EXPECT_EQ(text.find("[FAIL]"), std::string::npos) << text;
  EXPECT_NE(mon_tfsstat("CONFIG.XML"), nullptr);

  // Each task's start line appears exactly at its timer's first expiry.
  struct Step {
    uint32_t tick;
    std::vector<const char*> lines;
  } steps[] = {{1, {"Watchdog Task Start...\n"}},
               {10, {"Peripheral Task Start...\n"}},
               {100, {"Schedule Task Start...\n"}},
               {150, {"Display Task Start...\n"}},
               {200, {"Database Task Start...\n", "Monitor Task Start...\n"}},
               {1000, {"Communication Start...\n"}}};
  uint32_t now = 0;
  for (const Step& s : steps) {
    rtos::advance(s.tick - 1 - now);
    for (const char* l : s.lines) EXPECT_EQ(At(l), std::string::npos) << l << " before tick " << s.tick;
    rtos::advance(1);
    now = s.tick;
    for (const char* l : s.lines) EXPECT_NE(At(l), std::string::npos) << l << " at tick " << s.tick;
  }
}

TEST_F(StartupTest, FailedPoolPrintsItsFailureAndStartUpGoesOn) {
  // The pool exists already, so the kernel refuses to create it again.
  Start([](void* mem) { tx_byte_pool_create(&g_thread_stack_pool, "taken", mem, 4096); });
  EXPECT_NE(At(" - tx_byte_pool_create: thread_stacks\t\t\t[FAIL]\n"), std::string::npos);
  EXPECT_NE(At("Launching Thread(s) at"), std::string::npos);
}

TEST_F(StartupTest, StartRecordsTheResetKind) {
  Start();
  struct Row {
    uint32_t cause;
    uint8_t mode;
    uint32_t failures_added;
  } rows[] = {{0, 1, 1}, {1, 1, 0}, {4, 1, 0}, {2, 2, 0}, {3, 0, 0}};
  CDataBase& db = *g_pDataBase;
  for (const Row& r : rows) {
    rtos::run_in_thread([&] {
      db.SetValue(nv::dmsSWReset.offset, 1, r.cause, db.mib_nv, 0);
      uint32_t before = db.GetValue(nv::watchdogFailureCount.offset, 4, db.mib_nv, 0);
      update_reset_type();
      EXPECT_EQ(g_reset_mode, r.mode) << r.cause;
      EXPECT_EQ(db.GetValue(nv::watchdogFailureCount.offset, 4, db.mib_nv, 0) - before, r.failures_added) << r.cause;
      EXPECT_EQ(db.GetValue(nv::dmsSWReset.offset, 1, db.mib_nv, 0), 0u) << r.cause;
    });
  }
}

TEST(ProductBoard, NamesOfTheBoardIds) {
  const char* expected[16] = {"KSR Product Board I",
                              "KSR Product Board II",
                              "KSR CAN Product Board",
                              "KP Product Board",
                              "KSR Product Board II with Datakey",
                              "KM Product Board with MM Fiber",
                              "KM Product Board with SM Fiber"};
  for (uint8_t id = 0; id < 16; ++id) {
    g_product_board_id = id;
    EXPECT_STREQ(product_board_name(), expected[id] ? expected[id] : "Unknown Product Board") << int(id);
  }
}

}  // namespace
