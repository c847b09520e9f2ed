// An isolation board between a power supply and the display: it reports,
// over a sensor CAN bus, the voltage it receives and the voltage it passes
// on. Shown as two status rows, the peripheral's status text and one row of
// the power-supply table. A board that falls silent on a bus whose driver
// can be serviced asks the bus to service it. Runs in the peripheral task.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "peripherals/devices/can_peripheral.h"

class CIsolationBoard : public can_peripheral {
 public:
  enum : uint8_t { CLASS_CODE = 25 };
  enum : uint16_t { FIRST_TYPE = 794, LAST_TYPE = 801 };
  static constexpr uint16_t POLL_INTERVAL = 10;
  static constexpr uint8_t SILENT_POLLS = 20;
  static constexpr uint8_t MAX_SERVICES = 10;
  static constexpr uint8_t MIN_VOLTS = 21;
  static constexpr uint16_t POWER_TYPE = 6;

  // selector: the bus number (its driver by name); channel: the channel
  // received frames must carry.
  CIsolationBoard(uint16_t type_id, uint32_t selector, uint32_t address, uint32_t channel);
  ~CIsolationBoard() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  int Init();
  void Poll() override;

  uint8_t VoltsIn() const { return m_byVoltsIn; }
  uint8_t VoltsOut() const { return m_byVoltsOut; }
  uint8_t TenthsIn() const { return m_byTenthsIn; }
  uint8_t TenthsOut() const { return m_byTenthsOut; }
  const char* StatusText() const { return m_szStatus; }
  uint32_t InputRow() const { return m_uInputRow; }
  uint32_t OutputRow() const { return m_uOutputRow; }
  uint16_t PowerSupplyId() const { return m_wPowerSupplyId; }
  uint8_t QueryPhase() const { return m_byQueryPhase; }
  uint8_t Services() const { return m_byAttempts; }

 private:
  void OnStatus(const can_packet& p);
  void Silent();
  // A bus number with bit 0x02 names a driver that can be serviced.
  bool Serviceable() const { return (Selector() & 0x02) != 0; }
  void Service(const char* format);

  uint8_t m_byVoltsIn = 0;
  uint8_t m_byTenthsIn = 0;
  uint8_t m_byVoltsOut = 0;
  uint8_t m_byTenthsOut = 0;
  uint8_t m_byQueryPhase = 0;
  uint8_t m_bySilence = 0;
  char m_szStatus[13] = {};
  uint32_t m_uInputRow = kRowAny;
  uint32_t m_uOutputRow = kRowAny;
  uint16_t m_wPowerSupplyId = 65535;
  uint8_t m_byAttempts = 0;
  bool m_bPowerRegistered = false;
};
