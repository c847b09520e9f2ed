#include "frame/startup/placeholders/placeholder_task.h"

namespace {

placeholder_task* g_tasks[8];
uint32_t g_count = 0;

}  // namespace

placeholder_task::placeholder_task(post_office* router, const params& p)
    : CTaskBase(p.name, p.stack, p.priority, p.slice, p.first, p.period),
      m_Params(p),
      m_Inbox(router, Events(), 1, Thread()),
      m_uIndex(g_count) {
  if (g_count < 8) g_tasks[g_count++] = this;
}

void placeholder_task::Entry(ULONG) {
  // The entry argument is 0, as for every task: find ourselves by thread.
  TX_THREAD* self = tx_thread_identify();
  for (uint32_t i = 0; i < g_count; ++i) {
    placeholder_task* t = g_tasks[i];
    if (t->Thread() == self) t->Run(t->m_Params.start_name, t->m_Inbox.Router(), t->m_Params.letters.check_in);
  }
}

int placeholder_task::Create(TX_BYTE_POOL* pool) {
  // Each task needs its own timer function to find itself in the timer
  // context; a small table of them serves the placeholders.
  static void (*const timers[8])(ULONG) = {
      [](ULONG) { g_tasks[0]->TimerExpired(); }, [](ULONG) { g_tasks[1]->TimerExpired(); },
      [](ULONG) { g_tasks[2]->TimerExpired(); }, [](ULONG) { g_tasks[3]->TimerExpired(); },
      [](ULONG) { g_tasks[4]->TimerExpired(); }, [](ULONG) { g_tasks[5]->TimerExpired(); },
      [](ULONG) { g_tasks[6]->TimerExpired(); }, [](ULONG) { g_tasks[7]->TimerExpired(); },
  };
  if (m_uIndex >= 8) return 0;
  return CTaskBase::Create(pool, Entry, timers[m_uIndex]);
}

int placeholder_task::Process() {
  CTaskBase::Process();
  letter_s* letter = nullptr;
  while (m_Inbox.Receive(&letter)) {
    bool stop = letter->Id() == m_Params.letters.control;
    HandleControlLetter(&m_Inbox, letter, m_Params.letters);
    if (stop) return 0;
    m_Inbox.Release(letter);
  }
  return 0;
}
