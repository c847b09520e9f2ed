#include "frame/bus/mailbox.h"

#include <new>

#include "tx_api.h"

namespace {

letter_s* heap_letter() { return new (std::nothrow) letter_s; }

mailbox::allocator g_allocate = &heap_letter;

}  // namespace

void mailbox::SetAllocator(allocator a) { g_allocate = a ? a : &heap_letter; }

mailbox::mailbox(uint32_t capacity) {
  m_Free.open();
  m_Queued.open();
  for (uint32_t i = 0; i < capacity; ++i) {
    letter_s* l = g_allocate();
    if (!l) break;  // fewer letters; Put allocates later
    m_Free.push_back(l);
  }
}

// Interrupt handlers publish too, so every list change runs masked.
mailbox::~mailbox() {
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  for (impl::list::iterator it(&m_Free); it.current(); it.next()) it.current()->owned = 1;
  for (impl::list::iterator it(&m_Queued); it.current(); it.next()) it.current()->owned = 1;
  m_Free.clear();
  m_Queued.clear();
  tx_interrupt_control(posture);
}

int mailbox::Put(const letter_s* letter, uint8_t urgent) {
  if (!letter) return 0;
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  letter_s* l = static_cast<letter_s*>(m_Free.head());
  if (l)
    m_Free.pop_front();
  else
    l = g_allocate();
  if (l) {
    l->Copy(*letter);
    if (urgent)
      m_Queued.push_front(l);
    else
      m_Queued.push_back(l);
  }
  tx_interrupt_control(posture);
  return l ? 1 : 0;
}

int mailbox::Get(letter_s** out) {
  if (!out) return 0;
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  letter_s* l = static_cast<letter_s*>(m_Queued.head());
  if (l) m_Queued.pop_front();
  tx_interrupt_control(posture);
  if (!l) return 0;
  *out = l;
  return 1;
}

int mailbox::Release(letter_s* letter) {
  if (!letter) return 0;
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  int done = m_Free.push_back(letter);
  tx_interrupt_control(posture);
  return done;
}
