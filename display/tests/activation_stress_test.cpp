// Activations from two threads while the display task steps: an urgent one
// woken in the middle of the display step (as an agent's request arrives at
// any moment) and a less urgent one that keeps writing slots, central
// requests and table requests between the steps. No activation may run
// inside the step, every answer must fit its code, and the running message
// must end as the current-buffer row says.
#include <string>

#include "display/tests/activation_fixture.h"

namespace {

// State shared with the display step's hooks; the kernel runs one context
// at a time.
struct stress_state {
  CDisplay* display = nullptr;
  bool in_step = false;
  bool urgent_waiting = false;
  TX_SEMAPHORE wake{};
};
stress_state g_stress;

void count_message_time_then_end_step() {
  if (g_stress.display) g_stress.display->CountMessageTime();
  // The last thing the step does with the message.
  g_stress.in_step = false;
}

struct StressThread {
  TX_THREAD cb{};
  std::vector<uint8_t> stack = std::vector<uint8_t>(16384);
  std::function<void()> body;
  bool done = false;

  // The entry's argument is 32 bits wide: threads are found by number.
  void Start(const char* name, UINT priority, std::function<void()> fn) {
    body = std::move(fn);
    const ULONG index = Registry().size();
    Registry().push_back(this);
    ASSERT_EQ(tx_thread_create(&cb, const_cast<char*>(name), &Entry, index, stack.data(),
                               static_cast<ULONG>(stack.size()), priority, priority, 0, TX_AUTO_START),
              TX_SUCCESS);
  }
  static std::vector<StressThread*>& Registry() {
    static std::vector<StressThread*> threads;
    return threads;
  }
  static void Entry(ULONG index) {
    StressThread* t = Registry()[index];
    t->body();
    t->done = true;
  }
};

class StressTest : public ActivationTest {
 protected:
  void SetUp() override {
    ActivationTest::SetUp();
    trace_set_level(0);
    crc_[0] = StoreChangeable(1, "[pt10o0]A[np]B");
    crc_[1] = StoreChangeable(2, "[pt5o2]C");
    crc_[2] = StoreChangeable(3, "B[np]A[np]C");
    g_stress = stress_state();
    g_stress.display = display_.get();
    InThread([] { ASSERT_EQ(tx_semaphore_create(&g_stress.wake, const_cast<char*>("stress"), 0), TX_SUCCESS); });
    g_render_hooks.count_message_time = &count_message_time_then_end_step;
    driver_.on_write = [] {
      g_stress.in_step = true;
      if (g_stress.urgent_waiting) {
        g_stress.urgent_waiting = false;
        tx_semaphore_put(&g_stress.wake);
      }
    };
  }
  void TearDown() override {
    ActivationTest::TearDown();
    g_stress = stress_state();
  }
  Bytes Good(uint32_t i) { return Code(3, static_cast<uint16_t>(i % 3 + 1), crc_[i % 3], 255, 30); }
  Bytes Bad(uint32_t i) { return Code(3, static_cast<uint16_t>(i % 3 + 1), crc_[i % 3] ^ 0x100, 255, 30); }

  uint16_t crc_[3] = {};
};

TEST_F(StressTest, ActivationsFromTwoThreadsNeverEnterTheDisplayStep) {
  constexpr uint32_t kUrgent = 60, kBackground = 400;
  uint32_t woken_in_step = 0, ran_in_step = 0, wrong_answers = 0;
  StressThread urgent, background;

  // Priority 1: more urgent than the display task.
  urgent.Start("urgent", 1, [&] {
    for (uint32_t i = 0; i < kUrgent; ++i) {
      g_stress.urgent_waiting = true;
      tx_semaphore_get(&g_stress.wake, TX_WAIT_FOREVER);
      if (g_stress.in_step) ++woken_in_step;
      const Bytes code = i % 4 == 3 ? Bad(i) : Good(i);
      db_->SetString(vol::dmsActivateMessage.offset, 4, code.data(), 12, db_->mib_v, 0);
      const bool failed = display_activate_message();
      if (g_stress.in_step) ++ran_in_step;
      if (failed != (i % 4 == 3)) ++wrong_answers;
    }
  });
  // Priority 3: runs whenever the display task waits.
  background.Start("background", 3, [&] {
    for (uint32_t i = 0; i < kBackground; ++i) {
      switch (i % 5) {
        case 0:
          db_->SetValue(vol::activationSlotSourceMode(6).offset, 1, 2, db_->mib_v, DB_NOTIFY);
          db_->SetString(vol::activationSlotCode(6).offset, 4, Good(i).data(), 12, db_->mib_v, DB_NOTIFY);
          break;
        case 1: {
          const Bytes code = Good(i + 1);
          db_->SetString(vol::dmsActivateMessage.offset, 4, code.data(), 12, db_->mib_v, 0);
          if (display_activate_message()) ++wrong_answers;
          break;
        }
        case 2:
          db_->SetValue(vol::volatileMessageStatus(0).offset, 1, MSG_STATUS_NOT_USED_REQ, db_->mib_v, 0);
          db_->SetString(vol::volatileMessageMultiString(0).offset, 4, "AB", 2, db_->mib_v, DB_NO_VALIDATE);
          db_->SetValue(vol::volatileMessageStatus(0).offset, 1, MSG_STATUS_VALIDATE_REQ, db_->mib_v,
                        DB_NO_VALIDATE);
          display_process_message_table();
          break;
        case 3: {
          const Bytes code = Bad(i);
          if (display_check_activation(code.data(), 12) != ACTIVATE_MESSAGE_CRC) ++wrong_answers;
          break;
        }
        default:
          db_->SetString(vol::activationSlotCode(6).offset, 4, Code(7, 1, 0).data(), 12, db_->mib_v, DB_NOTIFY);
          break;
      }
      tx_thread_sleep(1);
    }
  });

  for (uint32_t ticks = 0; ticks < 20000 && !(urgent.done && background.done); ticks += 10) rtos::advance(10);
  ASSERT_TRUE(urgent.done);
  ASSERT_TRUE(background.done);

  // The urgent thread was woken inside the step every time and yet never
  // activated inside it.
  EXPECT_EQ(woken_in_step, kUrgent);
  EXPECT_EQ(ran_in_step, 0u);
  EXPECT_EQ(wrong_answers, 0u);
  // What the display runs is the current-buffer row.
  RunToStep((tx_time_get() - kFirstStep) / 10 + 3);
  uint32_t n = 0;
  const uint8_t* p = db_->GetString(nv::currentBufferMultiString.offset, 4, db_->mib_nv, &n);
  EXPECT_EQ(Running(), std::string(reinterpret_cast<const char*>(p), n));
  EXPECT_EQ(Vol(vol::volatileMessageStatus(0)), MSG_STATUS_VALID);
  // Nobody holds the lock any more.
  InThread([&] {
    ASSERT_EQ(os_mutex_get(display_->ActivateLock(), OS_NO_WAIT), OS_SUCCESS);
    os_mutex_put(display_->ActivateLock());
  });
}

}  // namespace
