// Fans and heaters switched through DC I/O board outputs and watched
// through board inputs. A control peripheral owns an output point and
// follows one climate output of the peripheral task; a status peripheral
// owns an input point, pairs with the control whose type id is 4 lower and
// judges whether the fan or heater does what it was told. Both keep a
// climate-control row, run the three-minute "RUN FANS / HEATERS" test and
// mirror their point into the peripheral status table. Everything runs in
// the peripheral task.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"
#include "peripherals/devices/dcio.h"

class climate_point : public CPeripheral {
 public:
  static constexpr uint16_t POLL_INTERVAL = 2;
  static constexpr uint32_t TEST_SECONDS = 180;
  static constexpr uint16_t ALTERNATE_POLLS = 28800;
  static constexpr uint16_t ALTERNATE_POLLS_TEST = 120;

  ~climate_point() override;

  int Init(uint8_t point, uint16_t board_type);
  void Poll() override;
  void SetOutput(uint8_t on);
  bool IsCommandedOn() const { return m_byCommanded != 0; }
  bool IsSettled() const { return m_bySettle == 0; }
  int32_t GetClimateRow() const { return m_iClimateRow; }
  bool IsOutputOn() { return m_dwNodeId && m_Bridge.Get(m_dwNodeId, 0) != 0; }
  bool IsControl() const { return m_bControl; }
  bool IsFan() const { return m_bFan; }
  uint8_t RunReason() const { return m_byRunReason; }
  void SetRunReason(uint8_t reason) { m_byRunReason = reason; }
  uint8_t TestState() const { return m_byTestState; }
  uint8_t Passing() const { return m_byPassing; }
  uint32_t StatusRow() const { return m_uStatusRow; }
  int32_t FanRow() const { return m_iFanRow; }
  int32_t PairedRow() const { return m_iPairedRow; }
  dcio_bridge& Bridge() { return m_Bridge; }
  uint32_t NodeId() const { return m_dwNodeId; }

 protected:
  climate_point(uint8_t class_code, uint16_t type_id, bool fan, bool control);
  // The climate output bit of the status word this control type follows.
  uint32_t OutputBit() const;
  bool Pairs() const;
  void RegisterClimateRows();
  void MarkFailed(const char* text);
  void MarkPassed();
  void Report();
  void PollControl();
  void PollStatus();

  bool m_bFan;
  bool m_bControl;
  uint8_t m_bySettle = 100;
  uint8_t m_byStartDelay = 10;
  DCIO* m_pBoard = nullptr;
  uint8_t m_byPassing = 1;
  uint32_t m_uStatusRow = kRowAny;
  uint8_t m_byRunReason = 0;
  uint16_t m_wAlternation = 0;
  int32_t m_iFanRow = -1;
  int32_t m_iClimateRow = -1;
  int32_t m_iPairedRow = -1;
  uint8_t m_byTestState = 2;
  uint32_t m_dwTestEnd = 0;
  uint8_t m_byCommanded = 0;
  uint32_t m_dwNodeId = 0;
  dcio_bridge m_Bridge;
  uint8_t m_byRetries = 0;
};

class CFanIO : public climate_point {
 public:
  enum : uint8_t { CLASS_CONTROL = 11, CLASS_STATUS = 12 };
  CFanIO(uint16_t type_id);
  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);
};

class CHeaterIO : public climate_point {
 public:
  enum : uint8_t { CLASS_CONTROL = 21, CLASS_STATUS = 22 };
  CHeaterIO(uint16_t type_id);
  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);
};
