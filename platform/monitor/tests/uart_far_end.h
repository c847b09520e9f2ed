// A far end of serial port 1 that takes one character each `period` ticks
// of the kernel's clock, so that its pace does not hang on the host's
// scheduling.
#pragma once

#include <gtest/gtest.h>

#include "board_host.h"
#include "rtos_host.h"
#include "tx_api.h"

class UartFarEnd {
 public:
  explicit UartFarEnd(ULONG period) {
    rtos::cpu_scope scope;
    m_live = tx_timer_create(&m_timer, const_cast<char*>("far end"), [](ULONG) { board::serial(1).transmit(1); }, 0,
                             period, period, TX_AUTO_ACTIVATE) == TX_SUCCESS;
    EXPECT_TRUE(m_live);
  }
  ~UartFarEnd() { Stop(); }
  UartFarEnd(const UartFarEnd&) = delete;
  UartFarEnd& operator=(const UartFarEnd&) = delete;
  void Stop() {
    rtos::cpu_scope scope;
    if (m_live) tx_timer_delete(&m_timer);
    m_live = false;
  }

 private:
  TX_TIMER m_timer{};
  bool m_live = false;
};
