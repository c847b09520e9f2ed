// The stand-alone CAN controller on SPI device 0: its instruction set and
// register map, bit timing, three transmit buffers with an optional software
// queue in front of the first, two receive buffers and the error flags.
#pragma once

#include <cstdint>

#include "frame/can/spi.h"

// Instructions.
enum : uint8_t {
  MCP_RESET = 0xC0,
  MCP_READ = 0x03,
  MCP_WRITE = 0x02,
  MCP_BIT_MODIFY = 0x05,
  MCP_READ_STATUS = 0xA0,
};

// Registers.
enum : uint8_t {
  MCP_RXF2 = 0x08,
  MCP_CANSTAT = 0x0E,
  MCP_CANCTRL = 0x0F,
  MCP_RXF3 = 0x10,
  MCP_RXF4 = 0x14,
  MCP_RXF5 = 0x18,
  MCP_RXM0 = 0x20,
  MCP_RXM1 = 0x24,
  MCP_CNF3 = 0x28,
  MCP_CNF2 = 0x29,
  MCP_CNF1 = 0x2A,
  MCP_CANINTE = 0x2B,
  MCP_CANINTF = 0x2C,
  MCP_EFLG = 0x2D,
  MCP_TXB0CTRL = 0x30,
  MCP_TXB1CTRL = 0x40,
  MCP_TXB2CTRL = 0x50,
  MCP_RXB0CTRL = 0x60,
  MCP_RXB1CTRL = 0x70,
};

// READ STATUS bits.
enum : uint8_t {
  MCP_STATUS_RX0IF = 0x01,
  MCP_STATUS_RX1IF = 0x02,
  MCP_STATUS_TX0REQ = 0x04,
  MCP_STATUS_TX0IF = 0x08,
  MCP_STATUS_TX1IF = 0x20,
  MCP_STATUS_TX2IF = 0x80,
};

// One queued frame, as the transmit buffer's registers hold it: SIDH, SIDL,
// EID8, EID0, data 0-7, DLC.
constexpr uint32_t MCP_ENTRY_SIZE = 13;
// Queue storage below this is too small to be a queue.
constexpr uint32_t MCP_MIN_QUEUE_BYTES = 40;
// Consecutive receive overflows and empty interrupts after which the chip
// is configured again.
constexpr uint8_t MCP_OVERFLOW_LIMIT = 7;
constexpr uint8_t MCP_EMPTY_LIMIT = 5;

class CMCP2510 {
 public:
  CMCP2510() = default;
  virtual ~CMCP2510() = default;
  CMCP2510(const CMCP2510&) = delete;
  CMCP2510& operator=(const CMCP2510&) = delete;

  uint8_t ReadRegister(uint8_t reg);
  // count registers from reg on, in one READ.
  void ReadRegisters(uint8_t reg, uint8_t* out, uint32_t count);
  void WriteRegister(uint8_t reg, uint8_t value);
  void BitModify(uint8_t reg, uint8_t mask, uint32_t set);
  uint8_t ReadStatus();
  void Reset();
  // 1 when bus-off, transmit error passive or receive error passive.
  uint32_t IsErrorState();
  // Index 0-8 of the bit-timing table; other indexes write nothing.
  void SetBitTiming(uint8_t index);

  // Resets and configures the chip: bit timing, every frame accepted,
  // normal mode, receive interrupts. A non-zero queueBytes enables the
  // chip's interrupt at the processor; storage of at least 40 bytes becomes
  // a transmit queue in front of buffer 0. Sleeps, so it runs in a thread.
  uint32_t Configure(uint8_t extendedIds, uint8_t bitTiming, uint32_t queueBytes, uint8_t* storage);
  // Length 0-8 bytes of data (data may be null for none). 1 accepted, 0 refused.
  uint32_t Send(uint32_t id, uint32_t remote, uint32_t length, const uint8_t* data);
  // The interrupt service: 1 and a frame, or 0 (a flag served or an error
  // counted).
  uint32_t Receive(uint32_t* id, uint8_t* remote, uint8_t* length, uint8_t data[8]);
  // Writes an entry into transmit buffer 1-3 and requests it. 0 for another
  // buffer number.
  uint32_t LoadTxBuffer(const uint8_t* entry, uint32_t buffer);

  // The interrupt service never configures the chip itself (that sleeps):
  // it marks the reconfiguration pending and calls this notifier, and a
  // thread runs ReconfigureIfPending.
  typedef void (*reconfigure_notify)(void* context);
  void SetReconfigureNotify(reconfigure_notify fn, void* context);
  bool ReconfigurePending() const { return m_reconfigurePending != 0; }
  // Configures again with the stored settings when a reconfiguration is
  // pending (thread context). 1 when it ran and succeeded.
  uint32_t ReconfigureIfPending();
  // The flags that the interrupt service serves (READ STATUS).
  uint8_t PendingFlags();

  uint8_t Initialized() const { return m_initialized; }
  uint8_t ExtendedIds() const { return m_extendedIds; }
  uint8_t BitTiming() const { return m_bitTiming; }
  uint8_t Queued() const { return m_queued; }
  int32_t QueueCapacity() const { return m_queueCapacity; }
  int32_t QueueRead() const { return m_queueRead; }
  int32_t QueueWrite() const { return m_queueWrite; }
  uint8_t ErrorCount() const { return m_errorCount; }

 private:
  void Deselect();
  void CountError(uint8_t limit);
  uint32_t ReadRxBuffer(uint8_t ctrl, uint32_t* id, uint8_t* remote, uint8_t* length, uint8_t data[8]);
  static void BuildEntry(uint8_t* entry, uint8_t extended, uint32_t id, uint32_t remote, uint32_t length,
                         const uint8_t* data);

  CSPI m_spi;
  uint8_t m_initialized = 0;
  uint8_t m_extendedIds = 0;
  uint8_t m_bitTiming = 0;
  uint8_t m_queued = 0;
  int32_t m_queueRead = 0;
  int32_t m_queueWrite = 0;
  uint8_t m_errorCount = 0;
  uint8_t* m_queue = nullptr;
  int32_t m_queueCapacity = 0;
  // The settings of the last Configure, for a reconfiguration.
  uint32_t m_queueBytes = 0;
  uint8_t* m_storage = nullptr;
  volatile uint8_t m_reconfigurePending = 0;
  reconfigure_notify m_reconfigureNotify = nullptr;
  void* m_reconfigureContext = nullptr;
};
