#include "display/core/job_queue.h"

#include <cstring>

#include "frame/os/interrupts_masked.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

job_queue g_job_queue;
job_queue* job_queue::s_Registry[job_queue::MAX_QUEUES] = {};

namespace {

using masked = interrupts_masked;

}  // namespace

job_queue::~job_queue() {
  for (impl::node* n = m_Jobs.head(); n; n = n->next) static_cast<job*>(n)->m_byQueued = 0;
  m_Jobs.clear();
  if (m_nSlot >= 0 && s_Registry[m_nSlot] == this) s_Registry[m_nSlot] = nullptr;
}

void job_queue::PowerOn() {
  // Jobs left waiting by the last kernel are forgotten: they must be
  // postable again.
  for (impl::node* n = m_Jobs.head(); n; n = n->next) static_cast<job*>(n)->m_byQueued = 0;
  m_Jobs.clear();
  m_byState = CONSTRUCTED;
  m_Events = TX_EVENT_FLAGS_GROUP{};
  m_Thread = TX_THREAD{};
}

bool job_queue::Open() {
  if (IsOpen() || !m_Jobs.open()) return false;
  if (m_nSlot < 0 || s_Registry[m_nSlot] != this) {
    m_nSlot = -1;
    for (uint32_t i = 0; i < MAX_QUEUES && m_nSlot < 0; ++i)
      if (!s_Registry[i]) {
        s_Registry[i] = this;
        m_nSlot = static_cast<int32_t>(i);
      }
  }
  if (m_nSlot < 0) {
    m_Jobs.clear();
    return false;
  }
  if (os_event_create(&m_Events, "job events") != OS_SUCCESS) {
    m_Jobs.clear();
    return false;
  }
  if (tx_thread_create(&m_Thread, "job queue", &job_queue::ThreadEntry, static_cast<ULONG>(m_nSlot), m_Stack,
                       STACK_SIZE, PRIORITY, PRIORITY, 1, TX_AUTO_START) != TX_SUCCESS) {
    os_event_delete(&m_Events);
    m_Jobs.clear();
    return false;
  }
  m_byState = OPEN;
  return true;
}

bool job_queue::Post(job* j) {
  if (!j || !IsOpen()) return false;
  {
    // Handlers post from interrupt context, where this changes nothing;
    // a thread that posts must not be cut off mid-link by one.
    masked m;
    if (j->m_byQueued || !m_Jobs.push_back(j)) return false;
    j->m_byQueued = 1;
  }
  os_event_set(&m_Events, FLAG_JOBS, OS_EVENT_OR);
  return true;
}

void job_queue::Drain() {
  for (;;) {
    job* j = nullptr;
    {
      masked m;
      j = static_cast<job*>(m_Jobs.head());
      if (j) {
        m_Jobs.pop_front();
        j->m_byQueued = 0;
      }
    }
    if (!j) return;
    j->Run();
  }
}

void job_queue::ThreadEntry(ULONG slot) {
  job_queue* q = slot < MAX_QUEUES ? s_Registry[slot] : nullptr;
  if (!q) return;
  for (;;) {
    uint32_t actual = 0;
    // Cleared as the wait returns: a post after the last pop of a pass
    // sets it again for the next pass.
    if (os_event_get(&q->m_Events, FLAG_JOBS, OS_EVENT_OR_CLEAR, &actual, OS_WAIT_FOREVER) != OS_SUCCESS) return;
    q->Drain();
  }
}

void job_queue_open() {
  g_job_queue.PowerOn();
  if (!g_job_queue.Open()) monitor_printf("job_queue_open: the job queue did not start\n");
}
