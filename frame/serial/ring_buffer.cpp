#include "frame/serial/ring_buffer.h"

#include <new>

CRingBuffer::CRingBuffer(uint32_t size) {
  if (size == 0 || size > 0xFFFF) return;
  m_data = new (std::nothrow) uint8_t[size];
  if (m_data) m_size = size;
}

CRingBuffer::~CRingBuffer() { delete[] m_data; }

uint32_t CRingBuffer::Put(uint8_t byte) {
  if (m_count >= m_size) return 0;
  m_data[m_head] = byte;
  ++m_count;
  m_head = static_cast<uint16_t>(m_head + 1u >= m_size ? 0u : m_head + 1u);
  return 1;
}

uint32_t CRingBuffer::Get(uint8_t* out) {
  if (m_count == 0) return 0;
  *out = m_data[m_tail];
  --m_count;
  m_tail = static_cast<uint16_t>(m_tail + 1u >= m_size ? 0u : m_tail + 1u);
  return 1;
}

void CRingBuffer::Clear() { m_count = m_head = m_tail = 0; }

bool CRingBuffer::IsAboveHighWater() const {
  return static_cast<int32_t>(m_count) >= static_cast<int32_t>(m_size * 75 / 100);
}

bool CRingBuffer::IsBelowLowWater() const {
  return static_cast<int32_t>(m_count) <= static_cast<int32_t>(m_size * 25 / 100);
}
