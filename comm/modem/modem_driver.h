// The dial-up modem drivers: a Hayes-type modem on the CCP, AUX or MODEM
// serial port, in front of the port's PPP or PMPP endpoint. The driver
// initialises the modem with AT commands, reads the caller's number, reports
// ring, connect and disconnect on the message bus and sends the commands
// the callback needs (dial, escape, hang up).
//
// To send a command the driver borrows the port: the port's endpoints are
// unbound, the serial driver is taken, the text written, and the endpoint of
// the port's protocol is bound again. While the carrier is down the port's
// glue hands the modem's responses to the driver (FeedByte); while it is up
// the bytes belong to the link.
#pragma once

#include <cstdint>

#include "comm/ntcip_link.h"
#include "frame/matcher/serial_probe.h"

class CRingBuffer;
class CSerialDriver;

class CModemDriver : public ntcip_modem {
 public:
  static constexpr uint32_t INIT_SIZE = 40;  // the init string with its zero

  CModemDriver();
  ~CModemDriver() override;
  CModemDriver(const CModemDriver&) = delete;
  CModemDriver& operator=(const CModemDriver&) = delete;

  virtual bool Open(uint16_t type, uint8_t port, const char* init) = 0;
  // One initialisation step, at every poll of the peripheral.
  virtual void Service() = 0;
  void Dial(const char* number) override;  // "ATDTW<number>" CR
  // After the line dropped: the modem is put back on hook.
  virtual void OnDisconnect() {}
  void Escape() override;  // "+++"
  void HangUp() override;  // "ATH0" CR
  // Borrows the port and writes the text (and a CR); false when the port's
  // serial driver could not be had.
  virtual bool SendString(const char* text, bool add_cr);
  virtual bool IsReady() = 0;
  virtual uint8_t GetPort() = 0;
  // A response byte from the port's glue; dropped when the buffer is full.
  virtual void FeedByte(uint8_t byte) = 0;
  // The response buffer is at least 75 % full.
  virtual bool IsBufferHigh() = 0;

  // The serial driver's modem-event callback: 0 ring, 1 connect, 2 disconnect.
  static void OnEvent(void* driver, uint32_t event);
  // Gives the serial driver back and binds the endpoint of the protocol read
  // at borrowing; false for protocol 0 and above 5.
  static bool ReleaseAccess(CModemDriver* driver);
  // A disconnect the modem reported since the last call. The hang-up that
  // follows it waits for the peripheral task: the event comes in interrupt
  // context, which cannot wait the two seconds between "+++" and "ATH0".
  bool TakeDisconnect();

  CSerialDriver* m_pSerial = nullptr;  // while the driver holds the port
  CRingBuffer* m_pResponses = nullptr;
  uint16_t m_wType = 0;
  volatile uint8_t m_byConnected = 0;
  uint8_t m_byPort = 0;
  uint8_t m_byProtocol = 0;  // read at the last borrowing
  char m_szInit[INIT_SIZE] = {};
  serial_probe m_Matcher;
  volatile uint8_t m_byDisconnectDue = 0;
};

class CModemDriver_Dialup : public CModemDriver {
 public:
  enum : uint8_t { STATE_CREATED = 1, STATE_INIT_DUE = 3, STATE_WAITING = 4, STATE_READY = 5 };
  static constexpr uint32_t RESPONSE_SIZE = 100;
  static constexpr uint32_t NUMBER_SIZE = 11;
  // Polls spent waiting for the reply before the init string goes again.
  static constexpr uint8_t INIT_WAIT = 30;
  static constexpr uint32_t ESCAPE_GUARD = 200;  // ticks between "+++" and "ATH0"

  CModemDriver_Dialup() = default;
  ~CModemDriver_Dialup() override;

  bool Open(uint16_t type, uint8_t port, const char* init) override;
  void Service() override;
  void OnDisconnect() override;
  bool IsReady() override { return m_byInitState == STATE_READY; }
  uint8_t GetPort() override { return m_byPort; }
  void FeedByte(uint8_t byte) override;
  bool IsBufferHigh() override;

  // The caller-id lines "NMBR = <number>" CR among the responses.
  void ParseResponse(uint8_t byte);
  uint8_t InitState() const { return m_byInitState; }

 private:
  void Initialize();
  bool NextResponse(uint8_t* byte);

  uint8_t m_byInitState = STATE_CREATED;
  uint8_t m_byMatch = 0;  // characters of "NMBR = " matched; 7: collecting
  char m_szNumber[NUMBER_SIZE + 1] = {};
  uint8_t m_byNumberLength = 0;
  uint8_t m_byOverlong = 0;
  uint8_t m_byAttempts = 0;
  CSerialDriver* m_pEventSource = nullptr;  // the driver whose modem events come here
};
