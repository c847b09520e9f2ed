// A low-voltage distribution board on a sensor CAN bus: it feeds display
// modules from a power supply and reports the supply voltage it sees and
// its blown fuses. Shown as a voltage row and a fuse row of the status
// table and as one row of the power-supply table, with a debounced
// under-voltage evaluation. Runs in the peripheral task.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "peripherals/devices/can_peripheral.h"

class CLVDB : public can_peripheral {
 public:
  enum : uint8_t { CLASS_CODE = 28 };
  enum : uint16_t { FIRST_TYPE = 680, LAST_TYPE = 699 };
  enum : uint8_t { FAULT_POWER = 0x01, FAULT_FUSE = 0x02 };
  static constexpr uint16_t POLL_INTERVAL = 20;
  static constexpr uint8_t SILENT_QUERIES = 10;
  static constexpr uint8_t STATUS_QUERIES = 10;
  static constexpr uint16_t MIN_VOLTS = 21;
  static constexpr int32_t FAIL_COUNT = 3;
  static constexpr int32_t MAX_FAIL_COUNT = 20;

  CLVDB(uint16_t type_id, uint32_t selector, uint32_t address);
  ~CLVDB() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  int Init();
  void Poll() override;
  // The fault bits seen so far. Only readings advance the debounce, so
  // asking never counts a reading twice.
  uint8_t GetFaultFlags() const { return m_byFaults; }

  uint16_t Voltage() const { return m_wVoltage; }
  uint8_t Tenths() const { return m_byTenths; }
  uint16_t FuseBits() const { return m_wFuseBits; }
  int32_t PowerFailCount() const { return m_iPowerFailCount; }
  uint16_t PowerSupplyId() const { return m_wPowerSupplyId; }
  uint32_t VoltageRow() const { return m_uVoltageRow; }
  uint32_t FuseRow() const { return m_uFuseRow; }
  uint8_t QueryPhase() const { return m_byQueryPhase; }

 private:
  void OnStatus(const can_packet& p);
  void EvaluateFaults();
  void Lost();

  uint8_t m_byQueryPhase = 1;
  uint16_t m_wVoltage = 0;
  uint8_t m_byTenths = 0;
  uint16_t m_wFuseBits = 0;
  uint32_t m_uVoltageRow = kRowAny;
  uint32_t m_uFuseRow = kRowAny;
  int32_t m_iPowerFailCount = 0;
  uint8_t m_byReadingValid = 0;
  uint8_t m_bySilence = 0;
  uint8_t m_byQueryCount = 0;
  uint8_t m_byFaults = 0;
  uint16_t m_wPowerSupplyId = 0;
  bool m_bPowerRegistered = false;
};
