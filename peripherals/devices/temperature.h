// A temperature sensor: a CAN board answering a read with one signed byte
// of degrees Celsius, or one of two built-in sources (the controller
// board's own sensor, type 10, and the hottest display module, type 16).
// Each keeps one row of the temperature-sensor table with warning and
// critical limits (3 degrees of hysteresis) and mirrors its reading into
// its row of the peripheral status table.
//
// Polls run in the peripheral task; the CAN receive path only queues
// frames; the timer events (identify, bus service, silence) run in the
// timer service and set a flag, service the bus or mark the failure.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "peripherals/devices/can_peripheral.h"

class CTemperature : public can_peripheral {
 public:
  enum : uint8_t { CLASS_CODE = 38 };
  enum : uint16_t { TYPE_CONTROLLER = 10, TYPE_CABINET = 11, TYPE_SIGN_MODULES = 16 };
  static constexpr uint16_t POLL_INTERVAL = 10;
  static constexpr uint32_t IDENTIFY_PERIOD = 12000;
  static constexpr uint32_t SERVICE_PERIOD = 10000;
  static constexpr uint32_t SILENCE_PERIOD = 40000;
  static constexpr int32_t kMaxRows = 12;
  // Identifiers of the readings the built-in sources put into their queue.
  static constexpr uint32_t kControllerReplyId = 0x42180;
  static constexpr uint32_t kModulesReplyId = 0x42189;

  CTemperature(uint16_t type_id, uint32_t selector, uint32_t address, uint32_t bus);
  ~CTemperature() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  int Init();
  void Poll() override;
  void OnTimer(uint32_t argument) override;
  void set_bus(can_bus* bus) override;
  // Sends the identify frame on the bus just attached.
  void Attach(can_bus* bus);
  // The sign sensors' limits after the shut-off temperature changed.
  void ApplyShutOffTemp();

  int8_t Reading() const { return m_iReading; }
  int32_t TableRow() const { return m_iTableRow; }
  uint32_t StatusRow() const { return m_uStatusRow; }
  uint8_t Registered() const { return m_byRegistered; }

  // The table rows: shared by every sensor (the row count object decides
  // where a new one goes). Row in/out; 1 added or already held.
  static int AddTableRow(int32_t* row, const char* description, int8_t hw, int8_t lw, int8_t hc, int8_t lc);
  static void RemoveTableRow(int32_t* row);
  static void StoreCriticalSummaries();

 private:
  void RegisterRow();
  void InjectLocalReading();
  void TakeReading(int8_t reading);
  void CheckLimits(int8_t reading);
  bool IsSignType() const;
  bool Builtin() const { return m_wTypeId == TYPE_CONTROLLER || m_wTypeId == TYPE_SIGN_MODULES; }

  int8_t m_iReading = 0;
  uint32_t m_uStatusRow = kRowAny;
  int32_t m_iTableRow = -1;
  uint32_t m_dwIdentifyTimer = 0;
  uint32_t m_dwServiceTimer = 0;
  uint32_t m_dwSilenceTimer = 0;
  uint8_t m_byRegistered = 0;
  uint8_t m_byHighWarning = 0;
  uint8_t m_byLowWarning = 0;
  uint8_t m_byHighCritical = 0;
  uint8_t m_byLowCritical = 0;
  volatile uint8_t m_byIdentifyPending = 0;
};
