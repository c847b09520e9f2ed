// Fixed-capacity rings shared between an interrupt routine (the producer)
// and a task (the consumer). They take no lock: the task side masks external
// interrupts around its operations.
//
// impl::fifo<T> holds elements (the CAN packet queues of the devices);
// impl::fifo<uint8_t> is the byte ring of the module bus and the EPLD
// packet driver, with its own operation names.
#pragma once

#include <cstdint>
#include <new>

namespace impl {

template <typename T>
class fifo {
 public:
  enum : uint8_t { NEVER_OPENED = 0, CLOSED = 1, OPEN = 2 };

  fifo() = default;
  virtual ~fifo() { close(); }
  fifo(const fifo&) = delete;
  fifo& operator=(const fifo&) = delete;

  // Only when not open and n > 0: n default-constructed elements. 1 / 0.
  uint32_t open(uint32_t n) {
    if (m_state == OPEN || n == 0) return 0;
    m_items = new (std::nothrow) T[n];
    if (!m_items) return 0;
    m_capacity = n;
    m_count = m_head = m_tail = m_overflows = 0;
    m_state = OPEN;
    return 1;
  }
  void close() {
    delete[] m_items;
    m_items = nullptr;
    m_capacity = m_count = m_head = m_tail = 0;
    if (m_state == OPEN) m_state = CLOSED;
  }
  // Copies the element in (its assignment); a full or closed ring counts an
  // overflow and refuses it.
  uint32_t push(const T& item) {
    if (m_state != OPEN || m_count >= m_capacity) {
      ++m_overflows;
      return 0;
    }
    m_items[m_head] = item;
    m_head = m_head + 1 == m_capacity ? 0 : m_head + 1;
    ++m_count;
    return 1;
  }
  uint32_t pop(T& out) {
    if (m_state != OPEN || m_count == 0) return 0;
    out = m_items[m_tail];
    m_tail = m_tail + 1 == m_capacity ? 0 : m_tail + 1;
    --m_count;
    return 1;
  }
  uint32_t empty() const { return m_count == 0; }

  uint8_t state() const { return m_state; }
  uint32_t capacity() const { return m_capacity; }
  uint32_t count() const { return m_count; }
  uint32_t overflows() const { return m_overflows; }

 private:
  T* m_items = nullptr;
  uint8_t m_state = NEVER_OPENED;
  uint32_t m_capacity = 0;
  uint32_t m_count = 0;
  uint32_t m_head = 0;
  uint32_t m_tail = 0;
  uint32_t m_overflows = 0;
};

template <>
class fifo<uint8_t> {
 public:
  enum : uint8_t { CONSTRUCTED = 0, CLOSED = 1, OPEN = 2 };

  explicit fifo(uint32_t capacity) { Open(capacity); }
  virtual ~fifo() { Close(); }
  fifo(const fifo&) = delete;
  fifo& operator=(const fifo&) = delete;

  bool Open(uint32_t capacity) {
    if (m_state == OPEN || capacity == 0) return false;
    m_buffer = new (std::nothrow) uint8_t[capacity];
    if (!m_buffer) return false;
    m_capacity = capacity;
    m_count = m_head = m_tail = m_overflows = 0;
    m_state = OPEN;
    return true;
  }
  bool Close() {
    if (m_state != OPEN) return false;
    delete[] m_buffer;
    m_buffer = nullptr;
    m_count = m_head = m_tail = m_overflows = 0;
    m_state = CLOSED;
    return true;
  }
  bool Push(uint8_t byte) {
    if (m_state != OPEN) return false;
    if (m_count >= m_capacity || !m_buffer) {
      ++m_overflows;
      return false;
    }
    m_buffer[m_head] = byte;
    m_head = m_head + 1 == m_capacity ? 0 : m_head + 1;
    ++m_count;
    return true;
  }
  bool Pop(uint8_t& out) {
    if (m_state != OPEN || m_count == 0 || !m_buffer) return false;
    out = m_buffer[m_tail];
    m_tail = m_tail + 1 == m_capacity ? 0 : m_tail + 1;
    --m_count;
    return true;
  }
  bool IsEmpty() const { return m_count == 0; }
  uint32_t FreeSpace() const { return m_capacity - m_count; }
  uint32_t Capacity() const { return m_capacity; }
  uint32_t Overflows() const { return m_overflows; }
  uint8_t State() const { return m_state; }

 private:
  uint8_t* m_buffer = nullptr;
  uint8_t m_state = CONSTRUCTED;
  uint32_t m_capacity = 0;
  uint32_t m_count = 0;
  uint32_t m_head = 0;
  uint32_t m_tail = 0;
  uint32_t m_overflows = 0;
};

}  // namespace impl
