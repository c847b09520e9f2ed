// The task base: creation and its failures, the start and the periodic
// steps, the control letters, the stack report and the uptime.
#include <cstring>
#include <memory>

#include "frame/bus/post_office.h"
#include "frame/task/task_base.h"
#include "frame/tests/frame_kernel.h"
#include "frame/trace/trace.h"

namespace {

const uint32_t kTaskIds[] = {MSG_MONITOR_STOP,        MSG_MONITOR_SUSPEND, MSG_MONITOR_RESUME,
                             MSG_MONITOR_STACK_REPORT, MSG_CONFIG_LOADED,   MSG_COMM_RUNNING_QUERY, 0};
const uint32_t kCheckIns[] = {MSG_WDT_MONITOR_START, MSG_WDT_MONITOR_ALIVE, MSG_WDT_MONITOR_STOP, 0};
const task_letters_s kLetters = {MSG_MONITOR_STOP, MSG_WDT_MONITOR_START, "Suspending test task\n",
                                 "Resuming test task\n", "Test"};

class CTestTask : public CTaskBase {
 public:
  CTestTask(post_office* router, uint32_t first, uint32_t period, uint32_t stack = 4096)
      : CTaskBase("Test", stack, 2, 0, first, period), m_Inbox(router, &m_Events, 1, &m_Thread) {}

  int Create(TX_BYTE_POOL* pool) {
    s_pTask = this;
    return CTaskBase::Create(pool, &CTestTask::Entry, &CTestTask::TimerFunction);
  }
  int Process() override {
    CTaskBase::Process();
    m_log("step");
    letter_s* l = nullptr;
    while (m_Inbox.Receive(&l)) {
      if (!HandleControlLetter(&m_Inbox, l, kLetters)) {
        m_log("letter " + std::to_string(l->Id()));
        if (l->Id() == MSG_COMM_RUNNING_QUERY) {
          letter_s r(MSG_COMM_RUNNING_REPLY);
          r.payload[0] = 1;
          m_Inbox.Router()->Reply(l, &r);
        }
      }
      m_Inbox.Release(l);
    }
    return 0;
  }
  void SetTicks(uint32_t ticks) { m_uTickCount = ticks; }
  void PreCreateEvents() { os_event_create(&m_Events, "taken"); }

  static void Entry(ULONG) {
    ++s_uEntries;
    s_pTask->Run("Test Task", s_pTask->m_Inbox.Router(), MSG_WDT_MONITOR_START);
  }
  static void TimerFunction(ULONG) { s_pTask->TimerExpired(); }

  subscriber m_Inbox;
  std::function<void(const std::string&)> m_log = [](const std::string&) {};
  static CTestTask* s_pTask;
  static int s_uEntries;
};
CTestTask* CTestTask::s_pTask = nullptr;
int CTestTask::s_uEntries = 0;

class TaskTest : public FrameKernelTest {
 protected:
  void SetUp() override {
    CTestTask::s_uEntries = 0;
    trace_set_level(1);
  }
  void TearDown() override {
    FrameKernelTest::TearDown();
    trace_set_level(0);
  }
  // Starts the kernel with a "thread stacks" pool and the task created in
  // the start-up hook, as the controller does.
  void StartTask(uint32_t first, uint32_t period, uint32_t pool_size = 65536) {
    task_ = std::make_unique<CTestTask>(&router_, first, period);
    task_->m_log = [this](const std::string& s) { Log(s); };
    Start([&, pool_size](void* memory) {
      ASSERT_EQ(os_byte_pool_create(&pool_, "thread stacks", memory, pool_size), OS_SUCCESS);
      pool_free_ = Available();
      task_->m_Inbox.Subscribe(kTaskIds);
      watchdog_.Subscribe(kCheckIns);
      created_ = task_->Create(&pool_);
    });
  }
  uint32_t Available() {
    uint32_t total = 0, available = 0, fragments = 0;
    os_byte_pool_info(&pool_, nullptr, &total, &available, &fragments);
    return available;
  }
  std::string CheckIns() {
    rtos::cpu_scope scope;
    std::string out;
    letter_s* l = nullptr;
    while (watchdog_.Receive(&l)) {
      out += (out.empty() ? "" : " ") + std::to_string(l->Id());
      watchdog_.Release(l);
    }
    return out;
  }
  void Publish(uint32_t id) {
    rtos::cpu_scope scope;
    router_.Publish(id);
  }

  post_office router_;
  subscriber watchdog_{&router_, nullptr, 1, nullptr};
  TX_BYTE_POOL pool_{};
  uint32_t pool_free_ = 0;
  std::unique_ptr<CTestTask> task_;
  int created_ = -1;
};

TEST_F(TaskTest, StartsAtItsFirstExpiryAndStepsExactlyAtItsPeriod) {
  trace_capture trace;
  StartTask(20, 10);
  ASSERT_EQ(created_, 1);
  EXPECT_EQ(task_->State(), CTaskBase::STATE_CREATED);
  EXPECT_EQ(task_->LoopsPerSecond(), 10);
  EXPECT_EQ(task_->StartTime(), 0u);
  EXPECT_LT(Available(), pool_free_ - 4096);
  rtos::advance(19);
  EXPECT_EQ(CTestTask::s_uEntries, 1);
  EXPECT_FALSE(trace.contains("Start"));
  rtos::advance(1);
  EXPECT_EQ(trace.text(), "Test Task Start...\n");
  EXPECT_EQ(CheckIns(), "41 42");
  rtos::advance(30);
  EXPECT_EQ(log_, (strings{"30 step", "40 step", "50 step"}));
  EXPECT_EQ(CheckIns(), "42 42 42");
  EXPECT_EQ(task_->LoopCount(), 3u);
  EXPECT_EQ(task_->TickCount(), 4u);
}

TEST_F(TaskTest, PublishedLettersWaitForTheStepButARequestStepsAtOnce) {
  StartTask(10, 10);
  rtos::advance(12);
  Publish(MSG_CONFIG_LOADED);
  letter_s reply;
  int answered = -1;
  FrameThread client;
  {
    rtos::cpu_scope scope;
    client.Create("client", 10, [&] {
      letter_s request(MSG_COMM_RUNNING_QUERY);
      answered = router_.SendAndWait(&request, &reply);
      Log("answered");
    });
  }
  rtos::advance(10);
  EXPECT_EQ(log_, (strings{"12 step", "12 letter 77", "12 letter 25", "12 answered", "20 step"}));
  EXPECT_EQ(answered, 1);
  EXPECT_EQ(reply.Id(), MSG_COMM_RUNNING_REPLY);
}

TEST_F(TaskTest, StopEndsTheTaskForGood) {
  StartTask(10, 10);
  rtos::advance(15);
  CheckIns();
  Publish(MSG_MONITOR_STOP);
  rtos::advance(100);
  EXPECT_EQ(log_, (strings{"20 step"}));
  EXPECT_EQ(CheckIns(), "42 43");
  EXPECT_EQ(task_->m_Inbox.Mailbox().FreeCount(), 10u);  // the stop letter went back too
  rtos::cpu_scope scope;
  EXPECT_EQ(tx_thread_resume(task_->Thread()), TX_RESUME_ERROR);
}

TEST_F(TaskTest, SuspendHoldsTheTaskUntilItsThreadIsResumedAndResumeRestartsTheTimer) {
  trace_capture trace;
  StartTask(10, 10);
  rtos::advance(15);
  CheckIns();
  Publish(MSG_MONITOR_SUSPEND);
  rtos::advance(100);
  EXPECT_EQ(log_, (strings{"20 step"}));
  EXPECT_TRUE(trace.contains("Suspending test task\n"));
  EXPECT_EQ(CheckIns(), "42 43");
  // The resume letter waits in the inbox until something resumes the
  // thread directly, as a request does.
  Publish(MSG_MONITOR_RESUME);
  rtos::advance(20);
  EXPECT_EQ(log_.size(), 1u);
  {
    rtos::cpu_scope scope;
    task_->m_Inbox.WakeThread();
  }
  rtos::settle();
  EXPECT_TRUE(trace.contains("Resuming test task\n"));
  EXPECT_EQ(CheckIns(), "41");
  // The timer had 10 ticks left when it stopped at 20.
  rtos::advance(20);
  EXPECT_EQ(log_, (strings{"20 step", "145 step", "155 step"}));
}

TEST_F(TaskTest, SuspendAndResumeFromAnotherThread) {
  StartTask(10, 10);
  rtos::advance(25);
  {
    rtos::cpu_scope scope;
    EXPECT_EQ(task_->Suspend(), 1);
  }
  rtos::advance(50);
  {
    rtos::cpu_scope scope;
    EXPECT_EQ(task_->Resume(), 1);
  }
  rtos::advance(10);
  EXPECT_EQ(log_, (strings{"20 step", "80 step"}));
}

TEST_F(TaskTest, StackReportCountsTheBytesBelowTheDeepestUse) {
  trace_capture trace;
  StartTask(10, 10);
  rtos::advance(10);
  uint8_t* stack = task_->Stack();
  ASSERT_NE(stack, nullptr);
  const unsigned long start = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(stack));
  auto line = [&](unsigned long used) {
    char text[160];
    snprintf(text, sizeof text, "Test Stack Used: %lu/4096. 0x%08lX-0x%08lX Current:0x%08lX\n", used, start,
             start + 4096, start + 4096 - used);
    return std::string(text);
  };
  // The thread's own use shows in the stack it was given.
  trace.clear();
  Publish(MSG_MONITOR_STACK_REPORT);
  rtos::advance(10);
  unsigned long used = 0;
  ASSERT_EQ(sscanf(trace.text().c_str(), "Test Stack Used: %lu/", &used), 1) << trace.text();
  EXPECT_GT(used, 0u);
  EXPECT_LT(used, 4096u);
  EXPECT_EQ(trace.text(), line(used));
  // The scan stops at the first byte from the low end that lost the fill;
  // a fill byte above it changes nothing.
  std::memset(stack + 96, 0x11, 4000);
  stack[3000] = 0xEF;
  trace.clear();
  Publish(MSG_MONITOR_STACK_REPORT);
  rtos::advance(10);
  EXPECT_EQ(trace.text(), line(4000));
}

TEST_F(TaskTest, UptimeFromTheTimerExpiries) {
  StartTask(1, 10);
  rtos::advance(1 + 729 * 10);
  EXPECT_EQ(task_->TickCount(), 730u);
  uint32_t seconds = 0;
  task_->GetUptimeSeconds(&seconds);
  EXPECT_EQ(seconds, 73u);
  uptime_s u{};
  task_->GetUptime(&u);
  EXPECT_EQ(u.years, 0u);
  EXPECT_EQ(u.days, 0u);
  EXPECT_EQ(u.hours, 0u);
  EXPECT_EQ(u.minutes, 1u);
  EXPECT_EQ(u.seconds, 13u);

  // 2 years, 35 days, 5:06:07 at 10 loops per second.
  task_->SetTicks(10u * (2u * 31536000u + 35u * 86400u + 5u * 3600u + 6u * 60u + 7u));
  task_->GetUptime(&u);
  EXPECT_EQ(u.years, 2u);
  EXPECT_EQ(u.days, 35u);
  EXPECT_EQ(u.hours, 5u);
  EXPECT_EQ(u.minutes, 6u);
  EXPECT_EQ(u.seconds, 7u);
}

TEST(TaskLoops, LoopsPerSecondFollowTheTimerPeriod) {
  struct Row {
    uint32_t period;
    uint8_t loops;
  } rows[] = {{10, 10}, {50, 2}, {100, 1}, {200, 0}, {30, 3}, {1, 100}};
  for (const Row& r : rows) {
    std::vector<uint8_t> memory(16384);
    TX_BYTE_POOL pool{};
    std::unique_ptr<CTaskBase> task;
    rtos::kernel_config c;
    c.memory_size = 1u << 16;
    rtos::kernel_start(c, [&](void*) {
      os_byte_pool_create(&pool, "thread stacks", memory.data(), memory.size());
      task = std::make_unique<CTaskBase>("Loops", 1024, 3, 0, 1000, r.period);
      EXPECT_EQ(task->LoopsPerSecond(), 1);  // before Create
      EXPECT_EQ(task->Create(&pool, [](ULONG) {}, [](ULONG) {}), 1);
    });
    EXPECT_EQ(task->LoopsPerSecond(), r.loops) << r.period;
    uint32_t seconds = 12345;
    uptime_s u{9, 9, 9, 9, 9};
    if (r.loops == 0) {
      task->GetUptimeSeconds(&seconds);
      EXPECT_EQ(seconds, 12345u);  // not computed
      task->GetUptime(&u);
      EXPECT_EQ(u.years + u.days + u.hours + u.minutes + u.seconds, 0u);
    }
    rtos::kernel_stop();
  }
}

TEST_F(TaskTest, APoolTooSmallGivesTheAllocationErrorThenTheCreationError) {
  trace_capture trace;
  StartTask(10, 10, 4096);  // less than the stack once the pool's own header is counted
  EXPECT_EQ(created_, 0);
  EXPECT_EQ(task_->State(), CTaskBase::STATE_CONSTRUCTED);
  EXPECT_EQ(trace.text(),
            "Test Allocation Error:12! Ptr:00000000, Size:4096\n"
            "Test Creation Error:67! Stack:4096, Priority:2, Time Slice:0\n");
  EXPECT_EQ(Available(), pool_free_);
}

// A failure after the thread exists must not leave it running on a stack
// that went back to the pool.
TEST_F(TaskTest, AFailedCreationTakesTheThreadAndItsStackBack) {
  struct Row {
    const char* what;
    uint32_t first;
    bool events_taken;
    const char* trace;
  } rows[] = {
      {"event flags", 10, true, "Test Creation Error:1!\n"},
      {"timer", 0, false, "Test Creation Error:3!\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    trace_capture trace;
    task_ = std::make_unique<CTestTask>(&router_, r.first, 10);
    Start([&](void* memory) {
      ASSERT_EQ(os_byte_pool_create(&pool_, "thread stacks", memory, 65536), OS_SUCCESS);
      pool_free_ = Available();
      if (r.events_taken) task_->PreCreateEvents();
      created_ = task_->Create(&pool_);
      // The whole pool can be had again: the stack went back.
      void* all = nullptr;
      EXPECT_EQ(os_byte_allocate(&pool_, &all, pool_free_, OS_NO_WAIT), OS_SUCCESS);
      os_byte_release(all);
    });
    EXPECT_EQ(created_, 0);
    EXPECT_EQ(trace.text(), r.trace);
    rtos::advance(50);
    EXPECT_EQ(CTestTask::s_uEntries, 0);
    {
      rtos::cpu_scope scope;
      EXPECT_EQ(tx_thread_resume(task_->Thread()), TX_THREAD_ERROR);
      // The group that Create made is gone too, so a new one can be made.
      if (!r.events_taken) {
        EXPECT_EQ(os_event_create(task_->Events(), "again"), OS_SUCCESS);
      }
    }
    rtos::kernel_stop();
    timer_scheduler_tx_rtos::DestroyInstance();
  }
}

}  // namespace
