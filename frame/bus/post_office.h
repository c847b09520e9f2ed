// The router of the message bus: up to ten subscribers in slots. Publishing
// copies a letter to every subscriber of its id in slot order; a request goes
// to the first subscriber only, ahead of its queue, and waits for the reply.
#pragma once

#include <cstdint>

#include "frame/bus/letter.h"
#include "frame/bus/subscriber.h"
#include "tx_api.h"

class post_office {
 public:
  enum : uint32_t { SLOTS = 10 };
  // Ticks a request waits for its reply.
  enum : uint32_t { REQUEST_TIMEOUT = 30 };

  // Constant-initialised, so it exists before any static constructor runs.
  constexpr post_office() : m_apSlots{} {}
  ~post_office() = default;
  post_office(const post_office&) = delete;
  post_office& operator=(const post_office&) = delete;

  int Attach(subscriber* s);
  int Detach(subscriber* s);
  // A letter with the id and nothing else to every subscriber of the id.
  void Publish(uint32_t id);
  // A copy of the caller's letter to every subscriber of its id.
  void Deliver(const letter_s* letter);
  // Sends the request to the first subscriber of its id and suspends the
  // calling thread until the reply has been copied into `reply` (1), or
  // until REQUEST_TIMEOUT ticks have passed without one (0: `reply` keeps
  // what it held). 0 at once when nobody takes the id, when request and
  // reply are one letter, or when not called from a thread. Sets the
  // request's reply address and payload word 3.
  int SendAndWait(letter_s* request, letter_s* reply);
  // Called by the task that handled a request, with the copy it received:
  // copies `reply` into the requester's letter and wakes it. 0 when the
  // letter is no request, or when its requester no longer waits (the reply
  // is then dropped).
  int Reply(const letter_s* request, const letter_s* reply);

  subscriber* Slot(uint32_t i) const { return i < SLOTS ? m_apSlots[i] : nullptr; }

  // A request between SendAndWait and its return; lives on the requester's
  // stack and is found by the id of its wake-up event.
  struct pending_request {
    enum : uint8_t { WAITING = 0, REPLIED = 1, TIMED_OUT = 2 };
    uint32_t event_id = 0;
    letter_s* reply = nullptr;
    volatile uint8_t state = WAITING;
    pending_request* next = nullptr;
  };

 private:
  subscriber* FirstSubscriber(uint32_t id) const;
  pending_request* FindPending(uint32_t event_id, const letter_s* reply) const;
  void Unlink(pending_request* p);

  subscriber* m_apSlots[SLOTS];
  pending_request* m_pPending = nullptr;  // changed with interrupts masked
};

// The system's router, built before every task.
extern post_office g_post_office;
