// Serial ports 0 and 1: the processor's UARTs, interrupts from the
// interrupt controller.
#pragma once

#include "frame/board/interrupt.h"
#include "frame/serial/q5_uart_driver.h"

class CQ5SerialDriver : public CQ5UartDriver, public Interrupt {
 public:
  CQ5SerialDriver();
  ~CQ5SerialDriver() override;

  uint32_t Open(uint32_t port, uint32_t baud, uint32_t dataBits, uint32_t options, uint32_t flow,
                uint32_t ringSize) override;
  uint32_t SetBaudRate(uint32_t baud) override;
  void OnInterrupt() override { OnUartInterrupt(); }

 private:
  uint32_t m_irqBit = 0;
  static turnaround s_shared;
};

// Line control for port 0 from the frame-format options.
uint8_t q5_line_control(uint32_t dataBits, uint32_t options);
