#include "display/core/bus.h"

namespace disp {

bool bus::Open(const char* name, stream* s) {
  if (m_byState == OPEN || !name || !s) return false;
  m_pszName = name;
  m_pStream = s;
  m_dwReserved = 0;
  m_byState = OPEN;
  return true;
}

bool bus::Close() {
  if (m_byState != OPEN) return false;
  m_byState = CLOSED;
  return true;
}

}  // namespace disp
