#include "frame/matcher/serial_probe.h"

#include <cstring>

int32_t string_matcher_init(serial_probe* probe, const char* pattern) {
  if (!probe) return 0;
  probe->m_pszPattern = pattern;
  probe->m_uLength = pattern ? static_cast<uint32_t>(std::strlen(pattern)) : 0;
  probe->m_uIndex = 0;
  probe->m_byMatched = 0;
  return static_cast<int32_t>(probe->m_uLength);
}

uint8_t string_matcher_feed(serial_probe* probe, uint8_t byte) {
  // An empty pattern has no byte to compare with: its terminating zero must
  // not count as one, or a zero in the stream would walk the index past it.
  if (!probe || !probe->m_pszPattern || probe->m_uLength == 0) return byte;
  if (probe->m_uIndex >= probe->m_uLength) probe->m_uIndex = 0;
  if (byte != static_cast<uint8_t>(probe->m_pszPattern[probe->m_uIndex])) {
    probe->m_uIndex = 0;
    probe->m_byMatched = 0;
    return byte;
  }
  if (++probe->m_uIndex == probe->m_uLength) {
    probe->m_uIndex = 0;
    probe->m_byMatched = 1;
  }
  return byte;
}
