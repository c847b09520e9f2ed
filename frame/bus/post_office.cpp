#include "frame/bus/post_office.h"

#include <new>

#include "frame/timer/timer_scheduler.h"
#include "frame/trace/trace.h"

post_office g_post_office;

namespace {

// A request's wake-up event. A reply arms it (ChangePeriod to 1 tick) and
// it resumes the requester at the next tick. Unarmed, its first expiry ends
// the wait: the request is marked timed out, so that a late reply finds it
// gone instead of writing into a letter that no longer waits.
class request_wake_event : public wake_thread_event {
 public:
  request_wake_event(TX_THREAD* thread, post_office::pending_request* request)
      : wake_thread_event(thread), m_pRequest(request) {}

  void Fire() override {
    if (!m_pRequest) return;
    if (m_pRequest->state == post_office::pending_request::WAITING && !m_byArmed)
      m_pRequest->state = post_office::pending_request::TIMED_OUT;
    // Keeps resuming every expiry until the requester removes the event, in
    // case the requester was not yet suspended at the first one.
    if (m_pRequest->state != post_office::pending_request::WAITING) tx_thread_resume(m_pThread);
  }
  void Forget() { m_pRequest = nullptr; }

 private:
  post_office::pending_request* m_pRequest;
};

}  // namespace

int post_office::Attach(subscriber* s) {
  if (!s) return 0;
  for (subscriber*& slot : m_apSlots) {
    if (!slot) {
      slot = s;
      return 1;
    }
  }
  return 0;
}

int post_office::Detach(subscriber* s) {
  if (!s) return 0;
  for (subscriber*& slot : m_apSlots) {
    if (slot == s) {
      slot = nullptr;
      return 1;
    }
  }
  return 0;
}

void post_office::Publish(uint32_t id) {
  letter_s letter(id);
  Deliver(&letter);
}

void post_office::Deliver(const letter_s* letter) {
  if (!letter) return;
  for (subscriber* s : m_apSlots)
    if (s && s->IsSubscribed(letter->Id())) s->Post(letter, 0);
}

subscriber* post_office::FirstSubscriber(uint32_t id) const {
  for (subscriber* s : m_apSlots)
    if (s && s->IsSubscribed(id)) return s;
  return nullptr;
}

post_office::pending_request* post_office::FindPending(uint32_t event_id, const letter_s* reply) const {
  for (pending_request* p = m_pPending; p; p = p->next)
    if (p->event_id == event_id && p->reply == reply) return p;
  return nullptr;
}

void post_office::Unlink(pending_request* p) {
  for (pending_request** pp = &m_pPending; *pp; pp = &(*pp)->next) {
    if (*pp == p) {
      *pp = p->next;
      return;
    }
  }
}

int post_office::SendAndWait(letter_s* request, letter_s* reply) {
  if (!request || !reply || request == reply) return 0;
  TX_THREAD* self = tx_thread_identify();
  timer_scheduler* timers = g_timer_scheduler;
  if (!self || !timers) {
    monitor_printf("post_office::SendAndWait: letter %u needs a thread and the timer service\n", request->Id());
    return 0;
  }
  pending_request pending;
  pending.reply = reply;
  request_wake_event* wake = new (std::nothrow) request_wake_event(self, &pending);
  if (!wake) {
    monitor_printf("post_office::SendAndWait: no memory for letter %u\n", request->Id());
    return 0;
  }
  request->reply_to = reply;
  uint32_t event_id = timers->AddEvent(wake, REQUEST_TIMEOUT, 1);
  if (!event_id) {
    delete wake;
    return 0;
  }
  request->payload[LETTER_WORD_EVENT] = event_id;
  pending.event_id = event_id;

  subscriber* target = FirstSubscriber(request->Id());
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  if (target) {
    // Listed before the post: the target may reply before we suspend.
    pending.next = m_pPending;
    m_pPending = &pending;
  }
  tx_interrupt_control(posture);

  uint8_t state = pending_request::TIMED_OUT;
  if (target && target->Post(request, 1)) {
    target->WakeThread();
    for (;;) {
      posture = tx_interrupt_control(TX_INT_DISABLE);
      state = pending.state;
      tx_interrupt_control(posture);
      if (state != pending_request::WAITING) break;
      // Another resume (a request to this task, say) is not the reply.
      tx_thread_suspend(self);
    }
    if (state == pending_request::TIMED_OUT)
      monitor_printf("post_office::SendAndWait: no reply to letter %u\n", request->Id());
  }

  if (!timers->RemoveEvent(event_id)) {
    // Still listed somehow: it must not touch `pending` once we return.
    posture = tx_interrupt_control(TX_INT_DISABLE);
    wake->Forget();
    tx_interrupt_control(posture);
  }
  posture = tx_interrupt_control(TX_INT_DISABLE);
  Unlink(&pending);
  tx_interrupt_control(posture);
  return target && state == pending_request::REPLIED ? 1 : 0;
}

int post_office::Reply(const letter_s* request, const letter_s* reply) {
  if (!request || !reply || !request->reply_to) return 0;
  letter_s* waiting = request->reply_to;
  uint32_t event_id = request->payload[LETTER_WORD_EVENT];
  int delivered = 0;
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  pending_request* p = FindPending(event_id, waiting);
  if (p && p->state == pending_request::WAITING) {
    waiting->Copy(*reply);
    p->state = pending_request::REPLIED;
    delivered = 1;
  }
  tx_interrupt_control(posture);
  if (!delivered) {
    monitor_printf("post_office::Reply: request %u no longer waits, reply %u dropped\n", request->Id(),
                   reply->Id());
    return 0;
  }
  // Arms the requester's wake-up event: it resumes the requester next tick.
  if (g_timer_scheduler) g_timer_scheduler->ChangePeriod(event_id, 1);
  tx_thread_relinquish();
  return 1;
}
