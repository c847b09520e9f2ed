#include "display/core/diagnostics.h"

#include "display/core/face.h"
#include "display/frame/frame.h"
#include "frame/os/os.h"

namespace disp {

uint32_t diagnostics::ModuleCount() const {
  if (!m_pDescription) return 0;
  const uint32_t n = m_pDescription->total_modules;
  return n < MAX_MODULES ? n : MAX_MODULES;
}

bool diagnostics::Lock() {
  if (!m_bMutexCreated) return true;
  return os_mutex_get(&m_Mutex, OS_WAIT_FOREVER) == OS_SUCCESS;
}

void diagnostics::Unlock() {
  if (m_bMutexCreated) os_mutex_put(&m_Mutex);
}

bool diagnostics::Open(face* f) {
  if (IsOpen() || !f) return false;
  m_pFace = f;
  m_pDescription = f->Description();
  if (!m_bMutexCreated) {
    m_Mutex = TX_MUTEX{};
    m_bMutexCreated = os_mutex_create(&m_Mutex, "Diag Mutex", TX_INHERIT) == OS_SUCCESS;
  }
  if (!ValidateDescription(m_pDescription)) {
    if (m_bMutexCreated) os_mutex_delete(&m_Mutex);
    m_bMutexCreated = false;
    // Nothing may walk the records by a description they were not opened
    // for.
    m_pDescription = nullptr;
    m_pFace = nullptr;
    return false;
  }
  // One record per module: module rows top to bottom, each left to right.
  const face_description& d = *m_pDescription;
  uint32_t index = 0;
  for (uint32_t row = 0; row < 9 && row < d.module_rows; ++row) {
    for (uint32_t column = 0; column < d.modules_per_row[row] && index < ModuleCount(); ++column, ++index) {
      const uint32_t x0 = column * d.module_width, y0 = row * d.module_height;
      const pixel top_left(static_cast<uint16_t>(x0), static_cast<uint16_t>(y0));
      const pixel bottom_right(static_cast<uint16_t>(x0 + d.module_width - 1),
                               static_cast<uint16_t>(y0 + d.module_height - 1));
      module& m = m_Modules[index];
      m.Close();
      m.Open(&top_left, &bottom_right, m_pResults, m_pAuxResults);
      m.status_code = 3;
    }
  }
  m_byState = OPEN;
  return true;
}

bool diagnostics::Close() {
  if (!IsOpen()) return false;
  for (module& m : m_Modules) m.Close();
  if (m_bMutexCreated) os_mutex_delete(&m_Mutex);
  m_bMutexCreated = false;
  m_byState = CLOSED;
  return true;
}

bool diagnostics::StartPixelTest() {
  if (m_byState != OPEN && m_byState != TESTED) return false;
  diag_lock lock(*this);
  m_byState = TESTING;
  return true;
}

bool diagnostics::FinishPixelTest() {
  if (m_byState != TESTING) return false;
  diag_lock lock(*this);
  m_byState = TESTED;
  return true;
}

bool diagnostics::ClearResults() {
  if (!IsOpen() || !m_pResults) return false;
  diag_lock lock(*this);
  if (lock.ok()) m_pResults->Clear();
  return true;
}

bool diagnostics::ClearAuxResults() {
  if (!IsOpen() || !m_pAuxResults) return false;
  diag_lock lock(*this);
  if (lock.ok()) m_pAuxResults->Clear();
  return true;
}

bool diagnostics::FirstModule(uint32_t& index, module** out) {
  if (!out) return false;
  index = 0;
  *out = &m_Modules[0];
  return true;
}

bool diagnostics::NextModule(uint32_t& index, module** out) {
  if (!out) return false;
  const uint32_t total = ModuleCount();
  if (index < total) ++index;
  if (index >= total) return false;
  *out = &m_Modules[index];
  return true;
}

}  // namespace disp
