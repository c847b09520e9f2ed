// The serial-port interface every link, peripheral and the console talk to.
#pragma once

#include <cstdint>

#include "frame/serial/ring_buffer.h"

// Called after every received byte / every byte handed to the UART, in
// interrupt context: (context, argument) as registered.
typedef void (*serial_callback)(void* context, uint32_t argument);
// Modem events: 1 carrier detect present, 2 carrier detect absent, 0 ring
// indicator (quad channels only).
typedef void (*modem_callback)(void* context, uint32_t event);

enum : uint32_t {
  MODEM_EVENT_RING = 0,
  MODEM_EVENT_CONNECT = 1,
  MODEM_EVENT_DISCONNECT = 2,
};

class CSerialDriver {
 public:
  CSerialDriver() = default;
  virtual ~CSerialDriver();
  CSerialDriver(const CSerialDriver&) = delete;
  CSerialDriver& operator=(const CSerialDriver&) = delete;

  // Queues one byte for sending: 1, or 0 when refused (no port, ring full).
  virtual uint32_t PutTxByte(uint8_t byte) = 0;
  // 1 and the next received byte, or 0 and 0xFFFFFFFF when none waits.
  virtual uint32_t ReadByte(uint32_t* out) = 0;
  virtual uint32_t Open(uint32_t port, uint32_t baud, uint32_t dataBits, uint32_t options, uint32_t flow,
                        uint32_t ringSize) = 0;
  // Two operations without effect in every driver.
  virtual void Reserved1() {}
  virtual void Reserved2() {}
  virtual uint32_t GetDCD() { return 0; }
  virtual uint32_t GetRI() { return 0; }
  virtual void SetDTR(uint32_t on) {}
  virtual uint32_t GetDSR() { return 0; }
  virtual void SetRTS(uint32_t on) {}
  virtual uint32_t GetCTS() { return 0; }
  virtual uint32_t SetBaudRate(uint32_t baud) = 0;
  // PutTxByte for each byte: 0 at the first refusal, else 1.
  virtual uint32_t Write(const uint8_t* bytes, uint32_t length);
  virtual uint32_t WriteString(const char* text);
  virtual uint32_t GetRxFree();
  virtual uint32_t GetRxSize();
  // Empties both rings, the receive ring first.
  virtual void Flush();
  virtual void SetRxCallback(serial_callback fn, void* context, uint32_t argument);
  virtual void SetTxCallback(serial_callback fn, void* context, uint32_t argument);
  virtual void SetModemCallback(void* context, modem_callback fn);
  virtual void SetOptionByte(uint8_t value) { m_optionByte = value; }
  virtual uint8_t GetOptionByte() { return m_optionByte; }

 protected:
  CRingBuffer* m_txRing = nullptr;
  CRingBuffer* m_rxRing = nullptr;
  serial_callback m_rxCallback = nullptr;
  serial_callback m_txCallback = nullptr;
  void* m_modemContext = nullptr;
  modem_callback m_modemCallback = nullptr;
  void* m_rxContext = nullptr;
  uint32_t m_rxArgument = 0;
  void* m_txContext = nullptr;
  uint32_t m_txArgument = 0;
  uint8_t m_optionByte = 0;
};
