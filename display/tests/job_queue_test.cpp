// The job queue: jobs posted from interrupt handling or threads run in the
// "job queue" thread in the order they were posted, a waiting job is not
// queued twice, and a job may post itself again from its own run.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "display/core/job_queue.h"
#include "frame/os/os.h"
#include "rtos_host.h"

namespace {

std::vector<std::string>* g_log = nullptr;

struct logging_job : job {
  explicit logging_job(std::string n) : name(std::move(n)) {}
  void Run() override {
    const char* thread = "";
    os_thread_name(&thread);
    if (g_log) g_log->push_back(name + "@" + thread);
    ++runs;
    if (then) then();
  }
  std::string name;
  int runs = 0;
  std::function<void()> then;
};

class JobQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = &log_;
    rtos::kernel_config c;
    c.memory_size = 1u << 20;
    rtos::kernel_start(c, [](void*) {});
  }
  void TearDown() override {
    rtos::kernel_stop();
    g_log = nullptr;
  }
  void OpenQueue() { ASSERT_TRUE(rtos::run_in_thread([&] { ASSERT_TRUE(queue_.Open()); })); }

  std::vector<std::string> log_;
  job_queue queue_;
};

TEST_F(JobQueueTest, JobsRunInPostOrderAndAWaitingJobRunsOnce) {
  logging_job a("a"), b("b");
  EXPECT_FALSE(queue_.Post(&a)) << "not open yet";
  OpenQueue();
  EXPECT_FALSE(queue_.Post(nullptr));
  // One interrupt posts b, a and a again: the worker runs after it.
  std::vector<bool> posted;
  rtos::raise_interrupt([&] {
    posted.push_back(queue_.Post(&b));
    posted.push_back(queue_.Post(&a));
    posted.push_back(queue_.Post(&a));
  });
  rtos::settle();
  EXPECT_EQ(posted, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(log_, (std::vector<std::string>{"b@job queue", "a@job queue"}));
  EXPECT_FALSE(a.IsQueued());
  // Taken off the queue: it may be posted again.
  rtos::raise_interrupt([&] { EXPECT_TRUE(queue_.Post(&a)); });
  rtos::settle();
  EXPECT_EQ(a.runs, 2);
}

TEST_F(JobQueueTest, AJobThatPostsItselfRunsAgainBehindTheOthers) {
  OpenQueue();
  logging_job a("a"), b("b"), c("c");
  a.then = [&] {
    if (a.runs == 1) {
      EXPECT_TRUE(queue_.Post(&a));
      EXPECT_TRUE(queue_.Post(&c));
    }
  };
  rtos::raise_interrupt([&] {
    queue_.Post(&a);
    queue_.Post(&b);
  });
  rtos::settle();
  EXPECT_EQ(log_, (std::vector<std::string>{"a@job queue", "b@job queue", "a@job queue", "c@job queue"}));
}

TEST_F(JobQueueTest, TheWorkerPreemptsThePostingThread) {
  OpenQueue();
  logging_job a("a");
  ASSERT_TRUE(rtos::run_in_thread([&] {
    EXPECT_TRUE(queue_.Post(&a));
    log_.push_back("after post");
  }));
  EXPECT_EQ(log_, (std::vector<std::string>{"a@job queue", "after post"}));
}

TEST_F(JobQueueTest, OpensOncePerKernel) {
  OpenQueue();
  ASSERT_TRUE(rtos::run_in_thread([&] { EXPECT_FALSE(queue_.Open()); }));
  logging_job a("a");
  // A job left waiting when the kernel goes must be postable in the next.
  ASSERT_TRUE(rtos::run_in_thread([&] {
    UINT posture = tx_interrupt_control(TX_INT_DISABLE);
    queue_.m_Jobs.push_back(&a);
    a.m_byQueued = 1;
    tx_interrupt_control(posture);
  }));
  rtos::kernel_stop();
  rtos::kernel_config c;
  c.memory_size = 1u << 20;
  rtos::kernel_start(c, [](void*) {});
  queue_.PowerOn();
  EXPECT_FALSE(a.IsQueued());
  OpenQueue();
  rtos::raise_interrupt([&] { EXPECT_TRUE(queue_.Post(&a)); });
  rtos::settle();
  EXPECT_EQ(a.runs, 1);
}

}  // namespace
