// An overheight detector: a vehicle-height sensor on one input of a DC I/O
// board. While it is tripped the sign shows the emergency message (or a
// chosen changeable message) through the detector's own activation slot:
// detector 1 slot 0, the most urgent, detector 2 slot 1. Poll runs in the
// peripheral task, OnInput in the board's receive path.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "peripherals/devices/dcio.h"

class COverheightDetector : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 33 };
  enum : uint16_t { FIRST_TYPE = 500, LAST_TYPE = 501 };
  enum : uint8_t { IDLE = 1, ACTIVE = 2 };
  static constexpr uint16_t POLL_INTERVAL = 2;

  COverheightDetector(uint16_t type_id);
  ~COverheightDetector() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  int Init(uint8_t point, CPeripheral* board, uint8_t inverted, uint16_t message);
  void Poll() override;
  void OnInput() override;

  uint8_t ActivationState() const { return m_byActivation; }
  uint32_t Slot() const { return m_wTypeId - FIRST_TYPE; }
  uint32_t StatusRow() const { return m_uStatusRow; }

 private:
  void ActivateEmergencyMessage();
  void ClearEmergencyMessage();

  uint8_t m_byActivation = IDLE;
  CPeripheral* m_pBoard = nullptr;
  uint32_t m_dwNodeId = 0;
  uint8_t m_byInverted = 0;
  uint16_t m_wMessage = 0;
  dcio_bridge m_Bridge;
  uint32_t m_uStatusRow = kRowAny;
};
