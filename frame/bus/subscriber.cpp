#include "frame/bus/subscriber.h"

#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

subscriber::subscriber(post_office* router, TX_EVENT_FLAGS_GROUP* group, uint32_t mask, TX_THREAD* thread)
    : m_pPostOffice(router), m_pEvents(group), m_uMask(mask), m_Mailbox(MAILBOX_CAPACITY), m_pThread(thread) {}

subscriber::~subscriber() { Unsubscribe(); }

int subscriber::Subscribe(const uint32_t* ids) {
  if (m_byState == SUBSCRIBED || !ids) return 0;
  m_pIds = ids;
  if (!m_pPostOffice || !m_pPostOffice->Attach(this)) return 0;
  m_byState = SUBSCRIBED;
  return 1;
}

int subscriber::Unsubscribe() {
  if (m_byState != SUBSCRIBED) return 0;
  m_pPostOffice->Detach(this);
  m_byState = UNSUBSCRIBED;
  return 1;
}

int subscriber::IsSubscribed(uint32_t id) const {
  if (m_byState != SUBSCRIBED || !m_pIds) return 0;
  // A list that lost its terminator still ends.
  for (uint32_t i = 0; i < MAX_LIST_LENGTH && m_pIds[i]; ++i)
    if (m_pIds[i] == id) return 1;
  return 0;
}

int subscriber::Post(const letter_s* letter, uint8_t urgent) {
  if (m_byState != SUBSCRIBED || !letter) return 0;
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  int queued = m_Mailbox.Put(letter, urgent);
  // Raising the flag for a letter that is not there would wake the task
  // for nothing and hide the loss.
  if (queued && m_pEvents) os_event_set(m_pEvents, m_uMask, OS_EVENT_OR);
  tx_interrupt_control(posture);
  if (!queued) monitor_printf("subscriber::Post: no memory, letter %u dropped\n", letter->Id());
  return queued;
}

int subscriber::Receive(letter_s** out) {
  if (m_byState != SUBSCRIBED) return 0;
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  int got = m_Mailbox.Get(out);
  tx_interrupt_control(posture);
  return got;
}

void subscriber::WakeThread() {
  if (!m_pThread) return;
  if (tx_thread_resume(m_pThread) != TX_SUCCESS) tx_thread_wait_abort(m_pThread);
}
