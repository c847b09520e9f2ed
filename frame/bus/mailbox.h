// A task's store of letters: a free list and a queue. It only grows: a Put
// that finds no free letter allocates one, and letters go back to the free
// list, never to the heap, while the mailbox lives.
#pragma once

#include <cstdint>

#include "frame/bus/letter.h"
#include "frame/util/impl_list.h"

class mailbox {
 public:
  explicit mailbox(uint32_t capacity);
  ~mailbox();
  mailbox(const mailbox&) = delete;
  mailbox& operator=(const mailbox&) = delete;

  // Copies the letter into a free (or new) letter and queues it at the tail,
  // or at the head when urgent. 0 when no letter can be had.
  int Put(const letter_s* letter, uint8_t urgent);
  // Unlinks the head of the queue; 0 when empty.
  int Get(letter_s** out);
  // Hands a letter taken by Get back to the free list.
  int Release(letter_s* letter);

  uint32_t FreeCount() const { return m_Free.count(); }
  uint32_t QueuedCount() const { return m_Queued.count(); }

  // Where new letters come from. Tests swap it to run the heap out; null
  // restores the heap.
  typedef letter_s* (*allocator)();
  static void SetAllocator(allocator a);

 private:
  impl::list m_Free;
  impl::list m_Queued;
};
