// A speed radar on the AUX serial port. It reports each vehicle as CR,
// three ASCII digits, CR; the last speed is published (the MULTI speed
// field shows it) and a vehicle above the configured threshold puts the
// radar message on the sign through activation slot 3 for 20 polls, renewed
// by every further fast vehicle. Runs in the peripheral task.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"

class CSerialDriver;

class CRadar : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 44 };
  enum : uint16_t { TYPE_ID = 765 };
  static constexpr uint16_t POLL_INTERVAL = 1;
  static constexpr uint32_t AUX_PORT = 2;   // the comm-port driver
  static constexpr uint32_t AUX_INDEX = 1;  // its row of the port settings
  static constexpr uint8_t PROTOCOL_RADAR = 16;  // a port no endpoint holds
  static constexpr uint8_t PROTOCOL_DEFAULT = 2;
  static constexpr uint32_t PORT_SPEED = 9600;
  static constexpr uint8_t HOLD_POLLS = 20;
  static constexpr uint32_t SLOT = 3;

  explicit CRadar(uint16_t type_id);
  ~CRadar() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  int Init();
  void Poll() override;
  // Feeds one byte of the line (Poll's work, for each byte read).
  void Take(uint8_t byte);
  void ActivateSpeedMessage();
  void ClearSpeedMessage();
  uint8_t HoldCount() const { return m_byHold; }

 private:
  void WritePort(uint8_t protocol);

  uint8_t m_byPosition = 0;
  uint8_t m_abyDigits[3] = {};
  uint8_t m_byHold = 0;
  CSerialDriver* m_pDriver = nullptr;
};
