// The registry of the sign's power supplies. Every driver that watches a
// supply (external UPS, distribution and isolation boards, I/O-board power
// senses) registers one row and reports errors, recoveries and voltages
// against the id it was given. The rows are the power status objects of the
// volatile area (dmsPowerStatusTable), kept dense from row 0; the table also
// keeps the failure map, bit 2 of shortErrorStatus, the by-type summary and
// the power-error trap (4).
//
// Every operation takes "Power Supply Table Mutex"; a failure to take it is
// traced and changes nothing.
#pragma once

#include <cstdint>

#include "tx_api.h"

class CPowerSupplyTable {
 public:
  // Rows the database has room for; the row count object is one byte, so
  // the table stops at 255.
  static constexpr uint32_t kDatabaseRows = 300;
  static constexpr uint32_t kMaxRows = 255;
  static constexpr uint8_t kStatusOk = 2;
  static constexpr uint16_t kPowerErrorBit = 0x0004;  // shortErrorStatus
  static constexpr uint32_t kTrapPowerError = 4;
  enum : uint8_t {
    TYPE_IO_SENSE = 1,
    TYPE_AC_LINE = 2,
    TYPE_UPS = 5,
    TYPE_DISTRIBUTION = 6,
  };

  CPowerSupplyTable() = default;
  CPowerSupplyTable(const CPowerSupplyTable&) = delete;
  CPowerSupplyTable& operator=(const CPowerSupplyTable&) = delete;
  ~CPowerSupplyTable();

  // Creates the mutex (once) and clears the trap flag.
  void Init();
  // Forgets every row without touching the database (a controller started
  // again in the same process, tests).
  void Reset();

  // 1 with the new id in *id; 0 when the table is full or the mutex fails.
  int RegisterPowerSupply(uint16_t* id, const char* description, const char* status_text, uint8_t power_type);
  // Later rows move up one; the last row is cleared.
  void UnRegisterPowerSupply(uint16_t* id);
  void SetPowerSupplyError(uint16_t id, uint8_t status, const char* text);
  void ClearPowerSupplyError(uint16_t id, const char* text);
  void SetPowerSupplyVoltage(uint16_t id, uint16_t voltage);
  // The first AC-line row: its voltage, and its error by the voltage
  // (0 fails the row, anything else clears it).
  void SetACVoltage(uint16_t voltage);

  uint32_t Count() const { return m_dwCount; }
  // The row of an id, or -1.
  int32_t RowOf(uint16_t id) const;

 private:
  bool Lock(const char* who);
  void Unlock();
  void SetErrorLocked(int32_t row, uint8_t status, const char* text);
  void ClearErrorLocked(int32_t row, const char* text);
  void Recompute();
  void WriteMapAndSummary(const uint8_t* map, uint8_t summary_bits, bool any);

  uint16_t m_awIds[kMaxRows] = {};  // by row, in registration order
  uint32_t m_dwCount = 0;
  uint16_t m_wIdCounter = 0;
  uint8_t m_byTrapSent = 0;
  bool m_bMutexCreated = false;
  TX_MUTEX m_Mutex{};
};

extern CPowerSupplyTable g_power_supply_table;

// Start-up: the table's Init.
void power_supply_table_init();

// The summary bit of a power type (byte 1 of the power summary).
uint8_t power_type_summary_bit(uint8_t power_type);

// Enterprise trap with sysLocation.0 and globalTime.0, and an optional
// third integer binding (shortErrorStatus.0 for the power-error trap).
void power_send_trap(uint32_t specific, const uint32_t* extra_oid = nullptr, uint32_t extra_oid_length = 0,
                     int32_t extra_value = 0);
