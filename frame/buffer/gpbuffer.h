// The pool of large work buffers (file images, fonts, EPLD images,
// configuration files) that subsystems borrow and give back, so that they
// fragment neither the heap nor the smaller pools.
#pragma once

#include <atomic>
#include <cstdint>

#include "tx_api.h"

// Sizes that the users borrow.
enum : uint32_t {
  GPBUFFER_FILE_TRANSFER = 2097152,
  GPBUFFER_EPLD = 1048576,
  GPBUFFER_REPROGRAM = 524288,
  GPBUFFER_FILE = 262144,
  GPBUFFER_POOL_SIZE = 3149824,  // 3 MiB and 4096 bytes
};

class CGPBuffer {
 public:
  CGPBuffer() = default;
  virtual ~CGPBuffer();
  // Creates the pool "gpbuffer" of `size` bytes at *cursor and advances the
  // cursor. 0 when already created or refused by the kernel.
  int Create(uint8_t** cursor, uint32_t size);
  // 1 and the buffer in *out (null first); 0 when the pool was not created
  // or has no block of that size free. Never waits.
  int Allocate(void** out, uint32_t size);
  // 1 after returning the buffer; 0 when the pool was not created, the
  // buffer is null or not the pool's. The caller's pointer is not cleared.
  int Release(void** buffer);

  uint8_t State() const { return m_byState; }
  uint32_t BuffersOut() const { return m_uOut.load(); }
  uint32_t Size() const { return m_uSize; }

 private:
  // Kept apart from the use count, which would otherwise wrap the state.
  uint8_t m_byState = 0;  // 0 constructed, 2 created
  std::atomic<uint32_t> m_uOut{0};
  uint32_t m_uSize = 0;
  TX_BYTE_POOL m_Pool{};
};

extern CGPBuffer g_gpbuffer;
