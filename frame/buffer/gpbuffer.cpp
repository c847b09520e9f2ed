#include "frame/buffer/gpbuffer.h"

#include "frame/os/os.h"

CGPBuffer g_gpbuffer;

CGPBuffer::~CGPBuffer() {
  if (m_byState == 2) tx_byte_pool_delete(&m_Pool);
}

int CGPBuffer::Create(uint8_t** cursor, uint32_t size) {
  if (m_byState >= 2 || !cursor || !*cursor) return 0;
  if (os_byte_pool_create(&m_Pool, "gpbuffer", *cursor, size) != OS_SUCCESS) return 0;
  *cursor += size;
  m_uSize = size;
  m_uOut = 0;
  m_byState = 2;
  return 1;
}

int CGPBuffer::Allocate(void** out, uint32_t size) {
  if (!out) return 0;
  *out = nullptr;
  if (m_byState < 2) return 0;
  if (os_byte_allocate(&m_Pool, out, size, OS_NO_WAIT) != OS_SUCCESS) {
    *out = nullptr;
    return 0;
  }
  ++m_uOut;
  return 1;
}

int CGPBuffer::Release(void** buffer) {
  if (m_byState < 2 || !buffer || !*buffer) return 0;
  if (os_byte_release(*buffer) != OS_SUCCESS) return 0;
  --m_uOut;
  return 1;
}
