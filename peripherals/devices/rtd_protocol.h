// The real-time data input ("REAL TIME DATA INPUT", type 760, class 43): it
// takes the AUX serial port and collects the text records an external data
// source sends, publishing the last one as mib_v.rtdData, which a message
// field can show and the agent serves.
//
// A record on the port: a carriage return starts it, the next seven bytes
// that are not CR are a header (skipped), every following byte up to the
// next CR is data. The CR that ends the data publishes it and starts the
// next record; a CR inside the header starts the header again. Only the
// first 1000 data bytes of a record are kept.
//
// While it exists the AUX port runs protocol 16 at 9600 baud without flow
// control; destroying it gives the port back to the communication task
// (protocol 2).
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"

class CSerialDriver;

class CRTD_Protocol : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 43 };
  enum : uint16_t { TYPE_ID = 760 };
  static constexpr uint32_t AUX_PORT = 2;
  static constexpr uint32_t BUFFER_SIZE = 1000;
  // Polls (one a cycle) without a byte before the time-out is reported.
  static constexpr uint8_t SILENCE_LIMIT = 120;
  static constexpr uint8_t PROTOCOL_RTD = 16;
  static constexpr uint8_t PROTOCOL_DEFAULT = 2;
  static constexpr uint32_t PORT_SPEED = 9600;
  static constexpr uint8_t PORT_REINIT = 4;
  enum : uint8_t { PHASE_WAIT_CR = 1, PHASE_HEADER = 2, PHASE_LAST_HEADER = 8, PHASE_DATA = 9 };

  explicit CRTD_Protocol(uint16_t type_id);
  ~CRTD_Protocol() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  // Poll every cycle; null when Init fails.
  static CPeripheral* Create(const pl_record& record);

  // Takes the AUX port (protocol 16, 9600 baud, no flow control) and the
  // record buffer: READING and 1; INIT ERROR and 0 without the port's
  // driver or the buffer.
  int Init();
  void Poll() override;

  uint8_t Phase() const { return m_byPhase; }
  uint32_t DataCount() const { return m_dwDataCount; }
  uint8_t SilenceCount() const { return m_bySilence; }

 private:
  void Take(uint8_t byte);
  void Publish();
  static void WritePortSettings(uint8_t protocol);

  CSerialDriver* m_pDriver = nullptr;
  uint8_t m_bySilence = 0;
  uint8_t m_byPhase = PHASE_WAIT_CR;
  uint32_t m_dwDataCount = 0;
  uint8_t* m_pBuffer = nullptr;
  // Bytes of the current record beyond the buffer.
  uint32_t m_dwDropped = 0;
};
