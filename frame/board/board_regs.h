// Registers of the controller board as the drivers use them.
#pragma once

#include <cstdint>

// Universal interrupt controller (device-control registers).
constexpr uint32_t UIC0_SR = 0xC0;   // status; writing a 1 bit acknowledges it
constexpr uint32_t UIC0_ER = 0xC2;   // enable
constexpr uint32_t UIC0_CR = 0xC3;   // critical (1) or normal (0)
constexpr uint32_t UIC0_PR = 0xC4;   // polarity: 1 active high
constexpr uint32_t UIC0_TR = 0xC5;   // trigger: 1 edge, 0 level
constexpr uint32_t UIC0_MSR = 0xC6;  // masked status
constexpr uint32_t CPC0_CR0 = 0xB1;  // chip control 0
constexpr uint32_t CPC0_CR0_IRQ1_GPIO = 0x40000;  // shared pin works as GPIO, not IRQ1

// UIC bits.
constexpr uint32_t UIC_UART0 = 0x80000000;
constexpr uint32_t UIC_UART1 = 0x40000000;
constexpr uint32_t UIC_ETHERNET_MASK = 0x003F0000;
constexpr uint32_t UIC_EPLD = 0x00000020;  // IRQ1
constexpr uint32_t UIC_CAN = 0x00000004;   // IRQ4

// GPIO0.
constexpr uint32_t GPIO0_OR = 0xEF600700;
constexpr uint32_t GPIO0_TCR = 0xEF600704;
constexpr uint32_t GPIO0_IR = 0xEF60071C;
constexpr uint32_t GPIO0_IR_BYTE1 = 0xEF60071D;
constexpr uint32_t GPIO0_TCR_IRQ1 = 0x2000;

// Processor UARTs.
constexpr uint32_t UART0_BASE = 0xEF600300;
constexpr uint32_t UART1_BASE = 0xEF600400;

// Board logic.
constexpr uint32_t BOARD_CONTROL = 0xF0200000;  // 16-bit, write-only
constexpr uint32_t BOARD_SPI_STATUS = 0xF0200004;  // bits 9-12: board id / clock field

// EPLD.
constexpr uint32_t EPLD_QUAD_UART = 0xF0500000;  // channel k at + 8k
constexpr uint32_t EPLD_SCRATCH = 0xF0500007;    // channel 0's scratch, the presence probe
constexpr uint32_t EPLD_INT_STATUS = 0xF0500021;
constexpr uint32_t EPLD_FIFO_CONTROL = 0xF0500028;  // bit 7: module-data FIFO interrupt enable

// 16550 register offsets.
enum : uint32_t {
  UART_RBR = 0,  // THR on write; DLL while LCR bit 7
  UART_IER = 1,  // DLM while LCR bit 7
  UART_IIR = 2,  // FCR on write
  UART_LCR = 3,
  UART_MCR = 4,
  UART_LSR = 5,
  UART_MSR = 6,
  UART_SCR = 7,
};
