// Quiet writes: a loader that writes many objects at once (the factory
// defaults, a built-in font) keeps its own writes from being announced or
// judged one by one. Switching the database-wide bits off for that would
// silence the writes of every other thread meanwhile, so the table below
// names the threads that write quietly instead.
#include "database/database.h"
#include "frame/trace/trace.h"

namespace {

// The writer in the start-up context, before any thread runs, is the null
// thread.
const TX_THREAD* self() { return tx_thread_identify(); }

}  // namespace

uint32_t CDataBase::BeginQuiet(uint32_t what) {
  const TX_THREAD* me = self();
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  quiet_writer* slot = nullptr;
  quiet_writer* free_slot = nullptr;
  for (quiet_writer& q : m_quiet) {
    if (q.used && q.thread == me) {
      slot = &q;
      break;
    }
    if (!q.used && !free_slot) free_slot = &q;
  }
  if (!slot && free_slot) {
    slot = free_slot;
    slot->thread = me;
    slot->bits = 0;
    slot->used = true;
  }
  const uint32_t previous = slot ? slot->bits : 0;
  if (slot) slot->bits = previous | what;
  tx_interrupt_control(posture);
  if (!slot) monitor_printf("CDataBase::BeginQuiet: no room for another quiet writer\n");
  return previous;
}

void CDataBase::EndQuiet(uint32_t previous) {
  const TX_THREAD* me = self();
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  for (quiet_writer& q : m_quiet) {
    if (!q.used || q.thread != me) continue;
    q.bits = previous;
    if (!previous) q.used = false;
    break;
  }
  tx_interrupt_control(posture);
}

uint32_t CDataBase::QuietBits() const {
  const TX_THREAD* me = self();
  for (const quiet_writer& q : m_quiet)
    if (q.used && q.thread == me) return q.bits;
  return 0;
}
