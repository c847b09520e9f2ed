#include "display/task/display_lock.h"

#include <exception>

#include "display/task/display.h"
#include "frame/os/os.h"

display_lock::display_lock(CDisplay* display) : m_pDisplay(display) {
  TX_MUTEX* mutex = display ? display->ActivateLock() : nullptr;
  if (!mutex) {
    m_bOk = display != nullptr;
    return;
  }
  if (os_mutex_get(mutex, OS_WAIT_FOREVER) != OS_SUCCESS) return;
  m_pMutex = mutex;
  // A first take starts the count afresh (a holder that was ended left
  // its count behind).
  TX_THREAD* self = tx_thread_identify();
  if (display->m_pLockOwner != self) {
    display->m_pLockOwner = self;
    display->m_dwLockDepth = 0;
  }
  ++display->m_dwLockDepth;
  m_bOk = true;
}

namespace {

// A thread that is ended while it holds the lock leaves through here with
// its stack unwinding; it makes no kernel call then (the kernel takes an
// ended thread's mutexes back itself).
bool ending() { return std::uncaught_exceptions() > 0; }

}  // namespace

display_lock::~display_lock() {
  if (!m_pMutex || ending()) return;
  if (--m_pDisplay->m_dwLockDepth == 0) m_pDisplay->m_pLockOwner = nullptr;
  os_mutex_put(m_pMutex);
}

display_unlock::display_unlock(CDisplay* display) : m_pDisplay(display) {
  TX_MUTEX* mutex = display ? display->ActivateLock() : nullptr;
  TX_THREAD* self = tx_thread_identify();
  if (!mutex || !self || display->m_pLockOwner != self) return;
  m_pMutex = mutex;
  m_dwDepth = display->m_dwLockDepth;
  display->m_dwLockDepth = 0;
  display->m_pLockOwner = nullptr;
  for (uint32_t i = 0; i < m_dwDepth; ++i) os_mutex_put(mutex);
}

display_unlock::~display_unlock() {
  if (!m_pMutex || ending()) return;
  uint32_t taken = 0;
  for (uint32_t i = 0; i < m_dwDepth; ++i)
    if (os_mutex_get(m_pMutex, OS_WAIT_FOREVER) == OS_SUCCESS) ++taken;
  // The guards of the holder give back what they took; a get that failed
  // (the kernel going down) leaves them nothing to give.
  if (taken) {
    m_pDisplay->m_pLockOwner = tx_thread_identify();
    m_pDisplay->m_dwLockDepth = taken;
  }
}
