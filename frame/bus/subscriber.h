// A task's inbox on the message bus: the ids it takes, its mailbox, and the
// event flag that tells the task a letter came.
#pragma once

#include <cstdint>

#include "frame/bus/letter.h"
#include "frame/bus/mailbox.h"
#include "tx_api.h"

class post_office;

class subscriber {
 public:
  enum : uint8_t { CONSTRUCTED = 0, UNSUBSCRIBED = 1, SUBSCRIBED = 2 };
  enum : uint32_t { MAILBOX_CAPACITY = 10, MAX_LIST_LENGTH = 65535 };

  // group may be null (nothing to signal); thread is the task's own.
  subscriber(post_office* router, TX_EVENT_FLAGS_GROUP* group, uint32_t mask, TX_THREAD* thread);
  ~subscriber();
  subscriber(const subscriber&) = delete;
  subscriber& operator=(const subscriber&) = delete;

  // ids: zero-terminated, in storage that outlives the subscription.
  int Subscribe(const uint32_t* ids);
  int Unsubscribe();
  int IsSubscribed(uint32_t id) const;
  // Queues a copy of the letter and raises the flag. 0 when not subscribed
  // or when the letter found no memory (then nothing is raised).
  int Post(const letter_s* letter, uint8_t urgent);
  int Receive(letter_s** out);
  // Gives a handled letter back to the mailbox.
  int Release(letter_s* letter) { return m_Mailbox.Release(letter); }
  // Makes the owning thread step at once: resumes it, or aborts its wait.
  void WakeThread();

  uint8_t State() const { return m_byState; }
  TX_THREAD* Thread() const { return m_pThread; }
  post_office* Router() const { return m_pPostOffice; }
  mailbox& Mailbox() { return m_Mailbox; }

 private:
  post_office* m_pPostOffice;
  TX_EVENT_FLAGS_GROUP* m_pEvents;
  uint32_t m_uMask;
  const uint32_t* m_pIds = nullptr;
  uint8_t m_byState = CONSTRUCTED;
  mailbox m_Mailbox;
  TX_THREAD* m_pThread;
};
