// Work that an interrupt handler hands to a thread. The class that needs
// deferred work derives from job and implements Run; the handler posts the
// object to the queue and one worker thread, "job queue" (the most urgent
// priority of the system), runs the posted jobs in the order they came.
// A job that is still waiting is not queued again, so a burst of
// interrupts costs one run.
#pragma once

#include <cstdint>

#include "frame/util/impl_list.h"
#include "tx_api.h"

class job : public impl::node {
 public:
  // The queue never owns (nor deletes) a job: jobs live in their owners.
  job() : impl::node(0, false) {}
  ~job() override = default;

  // Called in the worker thread with interrupts enabled; the job is off the
  // queue already, so Run may post it again.
  virtual void Run() {}

  bool IsQueued() const { return m_byQueued != 0; }

  // 1 from a successful Post until the worker takes the job off the queue.
  uint8_t m_byQueued = 0;
};

class job_queue {
 public:
  enum : uint8_t { CONSTRUCTED = 0, OPEN = 2 };
  static constexpr uint32_t STACK_SIZE = 1024;
  static constexpr UINT PRIORITY = 0;
  static constexpr uint32_t FLAG_JOBS = 1;

  job_queue() = default;
  virtual ~job_queue();
  job_queue(const job_queue&) = delete;
  job_queue& operator=(const job_queue&) = delete;

  // Creates "job events" and the worker thread "job queue". False when open
  // already or when a kernel object cannot be made (nothing is left behind).
  bool Open();
  // From interrupt handling or a thread: false for a null job, a queue that
  // is not open, or a job that is waiting already.
  bool Post(job* j);
  bool IsOpen() const { return m_byState == OPEN; }
  uint32_t Waiting() const { return m_Jobs.count(); }

  // Back to the state after power-up, forgetting the kernel objects of a
  // kernel that has gone (a controller started again in the same process).
  void PowerOn();

  // The thread's argument is the queue's place in a small registry: the
  // kernel passes 32 bits.
  static void ThreadEntry(ULONG slot);
  static constexpr uint32_t MAX_QUEUES = 8;

  uint8_t m_byState = CONSTRUCTED;
  impl::list m_Jobs;

 private:
  // One pass: every job waiting, including those posted meanwhile.
  void Drain();

  static job_queue* s_Registry[MAX_QUEUES];
  // This queue's registry place, or -1.
  int32_t m_nSlot = -1;
  TX_EVENT_FLAGS_GROUP m_Events{};
  TX_THREAD m_Thread{};
  alignas(8) uint8_t m_Stack[STACK_SIZE] = {};
};

// The controller's job queue.
extern job_queue g_job_queue;

// Start-up: opens the controller's job queue in the kernel being started.
void job_queue_open();
