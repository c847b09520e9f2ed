// A fan-speed sensor on a CAN bus, mounted on an intake fan. It reads the
// fan's RPM, learns from the intake fan controller (type 510) whether its
// fan should be turning, and reports the intake fan and filter diagnostics
// in the climate-control and fan tables; it also runs its part of the
// front panel's fan test. With fan pairs, even types watch the primary fan
// and the following odd type the secondary. Runs in the peripheral task.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "peripherals/devices/can_peripheral.h"

class CFanRPM : public can_peripheral {
 public:
  enum : uint8_t { CLASS_CODE = 13 };
  enum : uint16_t { TYPE_INTAKE_CONTROL = 510 };
  static constexpr uint16_t POLL_INTERVAL = 10;
  static constexpr uint16_t MIN_RPM = 1000;
  static constexpr uint8_t SILENT_READS = 80;
  static constexpr uint8_t MAX_SERVICES = 10;
  static constexpr uint32_t TEST_SECONDS = 180;

  CFanRPM(uint16_t type_id, uint32_t selector, uint32_t address);
  ~CFanRPM() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  int Init();
  void Poll() override;

  uint8_t GetTestState() const { return m_byTestState; }
  bool IsTestRunning() const { return m_byTestState == 3; }
  uint16_t GetRpm() const { return m_wRpm; }
  bool IsPassing() const { return m_byFailureReported == 0; }
  int32_t ClimateRow() const { return m_iClimateRow; }
  int32_t FanRow() const { return m_iFanRow; }
  uint32_t StatusRow() const { return m_uStatusRow; }

 private:
  void OnReading(uint16_t rpm);
  void HandleTest();
  void JudgeSpeed(bool report);
  void ServiceIfDue();

  uint8_t m_byFailureReported = 0;
  uint32_t m_uStatusRow = kRowAny;
  uint8_t m_bySilence = 0;
  uint16_t m_wRpm = 0;
  uint8_t m_byRetries = 0;
  uint8_t m_byIdentifyCountdown = 10;
  uint8_t m_byFanOn = 0;
  uint8_t m_byLowSpeed = 10;
  int32_t m_iClimateRow = -1;
  int32_t m_iFanRow = -1;
  uint8_t m_byTestState = 2;
  uint32_t m_dwTestEnd = 0;
  uint8_t m_byTestFailed = 0;
  // The failure was raised by silence, and goes with the next frame.
  uint8_t m_bySilentFailure = 0;
};
