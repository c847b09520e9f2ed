// A byte ring shared between a task and an interrupt routine; the task side
// changes it with external interrupts masked.
#pragma once

#include <cstdint>

class CRingBuffer {
 public:
  // Storage of size bytes (at most 65535, the count is 16 bits). A failed
  // allocation leaves a ring of size 0 that holds nothing.
  explicit CRingBuffer(uint32_t size);
  virtual ~CRingBuffer();
  CRingBuffer(const CRingBuffer&) = delete;
  CRingBuffer& operator=(const CRingBuffer&) = delete;

  // 1 stored, 0 when the ring is full (the byte is dropped).
  uint32_t Put(uint8_t byte);
  // 1 and the oldest byte, 0 when empty.
  uint32_t Get(uint8_t* out);
  void Clear();

  bool IsEmpty() const { return m_count == 0; }
  bool IsFull() const { return m_count >= m_size; }
  bool IsAboveHighWater() const;
  bool IsBelowLowWater() const;

  uint16_t Count() const { return m_count; }
  uint32_t Size() const { return m_size; }

 private:
  uint16_t m_count = 0;
  uint16_t m_head = 0;
  uint16_t m_tail = 0;
  uint8_t* m_data = nullptr;
  uint32_t m_size = 0;
};
