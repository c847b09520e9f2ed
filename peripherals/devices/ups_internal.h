// The internal UPS of boards with a battery backup ("UPS INTERNAL1", type
// 95, class 40). Every task cycle it reads the EPLD's power inputs,
// publishes power loss and restoration, keeps powerSource and lineVolts,
// tells the front panel, and decides the orderly shutdown on battery
// (softwareReset 3 and MSG_POWER_SHUTDOWN, which the watchdog task carries
// out): after the brownout grace, once the power-loss traps are out, on a
// low battery, after 30 minutes, or when the clock has stopped.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"

// Set while a file save is in progress; the internal UPS waits for it (at
// most 120 polls) before it decides a shutdown. Written by whoever saves.
extern volatile uint8_t g_file_save_pending;

class CUPS_Internal : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 40 };
  enum : uint16_t { TYPE_ID = 95, PANEL_TYPE = 70 };
  enum : uint8_t { STATE_MAINS = 1, STATE_LOST = 2, STATE_SHUTDOWN_PENDING = 3 };
  static constexpr uint32_t REG_POWER = 0xF0500023;
  static constexpr uint32_t REG_CONTROL = 0xF0500028;
  static constexpr uint8_t BIT_POWER_ABSENT = 0x01, BIT_BATTERY_LOW = 0x02, BIT_SHUTDOWN_REQUEST = 0x20;
  enum : uint16_t { REPORT_BATTERY_LOW = 2, REPORT_BATTERY_OK_OR_LOST = 3, REPORT_RESTORED = 4 };

  CUPS_Internal();

  static CPeripheral* Create(const pl_record& record);
  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);

  int Init();
  void Poll() override;
  bool PrimaryPowerLost();
  bool ShutdownRequested();

  uint8_t State() const { return m_byState2; }

  // Seams: whether the display driver's EPLD is programmed (default: the
  // sign driver's flag), and whether the trap buffer is empty (default:
  // empty, as no traps can be queued without the agent).
  static void SetEpldReadyQuery(uint32_t (*query)());
  static void SetTrapBufferEmptyQuery(bool (*query)());

 private:
  void Report(uint16_t code);
  void Shutdown();
  void Restored(bool trap);
  bool TrapBufferEmpty();

  uint8_t m_byClockStopped = 0;
  uint8_t m_byState2 = STATE_MAINS;
  uint8_t m_byBatteryLowReported = 0;
  uint32_t m_dwSaveWait = 0;
  uint32_t m_dwLossTime = 0;
  uint32_t m_dwLastTime = 0;
};
