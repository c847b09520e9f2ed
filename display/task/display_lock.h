// The display lock: the display object's mutex "Activate Msg". The display
// step holds it for its whole work, and every entry from another thread
// into what the step owns (the parser, the renderer and its surface, the
// running message, the activation state) takes it first: the agent's
// activation and its activation check, the message-table pass, previews.
// The mutex is recursive for its owner, so an operation that takes it can
// be called from inside the step as well.
#pragma once

#include <cstdint>

#include "tx_api.h"

class CDisplay;

class display_lock {
 public:
  // Takes the lock, waiting without limit.
  explicit display_lock(CDisplay* display);
  ~display_lock();
  display_lock(const display_lock&) = delete;
  display_lock& operator=(const display_lock&) = delete;

  // False when the lock exists but could not be taken (a caller outside a
  // thread, a kernel that went away): the caller must leave the display's
  // state alone. True when taken, and when the display has no lock yet
  // (before its kernel objects are made nothing else runs).
  bool ok() const { return m_bOk; }

 private:
  CDisplay* m_pDisplay;
  TX_MUTEX* m_pMutex = nullptr;  // set while held by this guard
  bool m_bOk = false;
};

// Gives the lock up for a wait that must not keep the others out (a
// suspend of the display thread, a long module operation) and takes it
// again afterwards. Nothing happens when the calling thread does not hold
// it.
class display_unlock {
 public:
  explicit display_unlock(CDisplay* display);
  ~display_unlock();
  display_unlock(const display_unlock&) = delete;
  display_unlock& operator=(const display_unlock&) = delete;

 private:
  CDisplay* m_pDisplay;
  TX_MUTEX* m_pMutex = nullptr;
  uint32_t m_dwDepth = 0;  // how often it was held
};
