// What the two UART drivers of the board share: the interrupt-driven
// transmit and receive paths over a 16550 register block, the line
// disciplines (duplex and flow modes) and the modem lines.
#pragma once

#include <cstdint>

#include "frame/serial/serial_driver.h"
#include "tx_api.h"

// Open options.
enum : uint32_t {
  SERIAL_OPT_NO_PARITY = 0x0001,
  SERIAL_OPT_LINE_CONTROL = 0x0002,  // port 0: the driver writes line control
  SERIAL_OPT_ONE_STOP = 0x0020,
  SERIAL_OPT_TWO_STOP_A = 0x0040,
  SERIAL_OPT_TWO_STOP_B = 0x0080,
  SERIAL_OPT_RTS_LOW = 0x0100,       // flowMode 0
  SERIAL_OPT_RTS_HIGH = 0x0200,      // flowMode 1
  SERIAL_OPT_RTS_SWITCHED = 0x0400,  // flowMode 2, or 5 with flow bit 1
  SERIAL_OPT_RTS_TOGGLE = 0x0800,    // flowMode 3
  SERIAL_OPT_INTERRUPTS = 0x1000,
  SERIAL_OPT_DTR_LOW = 0x2000,       // duplexMode 0
  SERIAL_OPT_DTR_HIGH = 0x4000,      // duplexMode 1
  SERIAL_OPT_REFUSED = 0x8000,
};

// Flow argument of Open.
enum : uint32_t {
  SERIAL_FLOW_HANDSHAKE = 0x1,  // no flow option: RTS/CTS with water marks (flowMode 4)
  SERIAL_FLOW_NO_DCD = 0x2,     // with SERIAL_OPT_RTS_SWITCHED: flowMode 5
};

// Event flag set in the owner's group after every received byte.
constexpr ULONG SERIAL_EVENT_RX = 0x1;

class CQ5UartDriver : public CSerialDriver {
 public:
  ~CQ5UartDriver() override;

  uint32_t PutTxByte(uint8_t byte) override;
  uint32_t ReadByte(uint32_t* out) override;
  uint32_t GetDCD() override;
  uint32_t GetRI() override;
  void SetDTR(uint32_t on) override;
  uint32_t GetDSR() override;
  void SetRTS(uint32_t on) override;
  uint32_t GetCTS() override;

  // The owner's event-flags group (null: none).
  void SetEventGroup(TX_EVENT_FLAGS_GROUP* group) { m_events = group; }

  // Interrupt side.
  virtual void OnUartInterrupt();
  virtual void OnTxEmpty();
  virtual void OnRxByte(uint8_t byte);

  uint32_t Registers() const { return m_regs; }
  uint8_t DuplexMode() const { return m_duplexMode; }
  uint8_t FlowMode() const { return m_flowMode; }
  uint8_t Opened() const { return m_opened; }

 protected:
  // Shared by all ports of one driver class: an RTS-switched transmitter
  // holds the line, and the first settling delay of a burst has passed.
  struct turnaround {
    uint8_t transmitting = 0;
    uint8_t settled = 0;
  };

  CQ5UartDriver(bool quad, turnaround& shared) : m_quad(quad), m_shared(shared) {}

  // Creates both rings on the first open; false when they cannot exist.
  bool CreateRings(uint32_t size);
  // Duplex and flow bits; false when the options are refused.
  bool ApplyLineModes(uint32_t options, uint32_t flow);
  uint8_t Reg(uint32_t offset);
  void SetReg(uint32_t offset, uint8_t value);
  void ModemControl(uint8_t bit, uint32_t on);
  void Busy(uint32_t iterations);

  TX_EVENT_FLAGS_GROUP* m_events = nullptr;
  uint32_t m_regs = 0;  // register block; 0 until opened
  uint32_t m_options = 0;
  uint8_t m_duplexMode = 0;
  uint8_t m_flowMode = 0;
  uint8_t m_opened = 0;
  const bool m_quad;
  turnaround& m_shared;
};
