// Serial ports 2 to 5: the four channels of the quad UART in the EPLD,
// interrupts through the EPLD demultiplexer.
#pragma once

#include "frame/board/interrupt.h"
#include "frame/serial/q5_uart_driver.h"

class CQ5QuadSerialDriver : public CQ5UartDriver, public CEpldInterrupt {
 public:
  CQ5QuadSerialDriver();
  ~CQ5QuadSerialDriver() override;

  uint32_t Open(uint32_t port, uint32_t baud, uint32_t dataBits, uint32_t options, uint32_t flow,
                uint32_t ringSize) override;
  uint32_t SetBaudRate(uint32_t baud) override;
  void OnEpldInterrupt() override { OnUartInterrupt(); }

 private:
  void WriteDivisor(uint32_t baud);
  uint32_t m_source = 0;  // EPLD source bit
  static turnaround s_shared;
};

// Divisor of a quad channel for a baud rate and board clock field (0 selects
// the first column); -1 when the column has no entry (divisor left as is).
int32_t quad_divisor(uint32_t baud, uint32_t clockField);
