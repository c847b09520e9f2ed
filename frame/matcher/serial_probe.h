// Watches a byte stream for one text, byte by byte, without buffering the
// stream: the dial-up modem driver notices the modem's reply with it while
// the bytes pass through.
#pragma once

#include <cstdint>

class serial_probe {
 public:
  serial_probe() = default;
  virtual ~serial_probe() = default;

  const char* m_pszPattern = nullptr;  // not copied: the caller keeps it alive
  uint32_t m_uIndex = 0;               // pattern bytes matched so far
  uint32_t m_uLength = 0;              // bytes up to the pattern's zero
  uint8_t m_byMatched = 0;             // 1 right after the whole pattern was seen
};

// Stores the pattern and starts over; returns its length (0 for a null or
// empty pattern, which never matches).
int32_t string_matcher_init(serial_probe* probe, const char* pattern);
// Looks at one byte of the stream and hands it back unchanged, so the call
// can sit inside a byte-forwarding loop. A byte that breaks a partial match
// starts the search over without being taken as a new first byte.
uint8_t string_matcher_feed(serial_probe* probe, uint8_t byte);
