#include "display/core/diagnostics.h"

#include "display/core/face.h"
#include "display/frame/frame.h"

namespace disp {

bool diagnostics::Open(face* f) {
  if (IsOpen() || !f) return false;
  m_pFace = f;
  m_pDescription = f->Description();
  if (!ValidateDescription(m_pDescription)) return false;
  m_byState = OPEN;
  return true;
}

bool diagnostics::Close() {
  if (!IsOpen()) return false;
  m_byState = CLOSED;
  return true;
}

bool diagnostics::StartPixelTest() {
  if (m_byState != OPEN && m_byState != TESTED) return false;
  m_byState = TESTING;
  return true;
}

bool diagnostics::FinishPixelTest() {
  if (m_byState != TESTING) return false;
  m_byState = TESTED;
  return true;
}

bool diagnostics::ClearResults() {
  if (!IsOpen() || !m_pResults) return false;
  m_pResults->Clear();
  return true;
}

bool diagnostics::ClearAuxResults() {
  if (!IsOpen() || !m_pAuxResults) return false;
  m_pAuxResults->Clear();
  return true;
}

}  // namespace disp
