// External interrupts held off for a scope, restored to the posture found.
#pragma once

#include "tx_api.h"

class interrupts_masked {
 public:
  interrupts_masked() : m_posture(tx_interrupt_control(TX_INT_DISABLE)) {}
  ~interrupts_masked() { tx_interrupt_control(m_posture); }
  interrupts_masked(const interrupts_masked&) = delete;
  interrupts_masked& operator=(const interrupts_masked&) = delete;

 private:
  UINT m_posture;
};
