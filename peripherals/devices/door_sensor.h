// A cabinet or sign door watched through one input point of a DC I/O
// board. Keeps the door-open bitmap, the door-open error bit, the private
// status bit and a peripheral status row; an opening door raises
// enterprise trap 3.
//
// Doors are numbered 1, 2, ... in creation order from a count of the live
// sensors, so a reload of the records numbers them again from 1.
// Creation, Poll and destruction run in the peripheral task; OnInput in the
// board's receive path.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"
#include "peripherals/devices/dcio.h"

class CDoorSensor : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 10 };
  enum : uint8_t { DOOR_CLOSED = 1, DOOR_OPEN = 2, DOOR_UNKNOWN = 3 };
  enum : uint32_t { TRAP_DOOR_OPEN = 3 };
  static constexpr uint16_t POLL_INTERVAL = 2;
  static constexpr uint16_t ERROR_DOOR_OPEN = 0x2000;  // shortErrorStatus
  static constexpr uint32_t STATUS_DOOR_OPEN = 0x2;     // the private status bits

  explicit CDoorSensor(uint16_t type_id);
  ~CDoorSensor() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  // board: the live DC I/O board, or null.
  bool Init(uint8_t point, CPeripheral* board);
  void Poll() override;
  void OnInput() override;

  uint8_t DoorState() const { return m_byDoorState; }
  uint8_t DoorNumber() const { return m_byDoorNumber; }
  int32_t StatusRow() const { return m_iStatusRow; }
  uint32_t NodeId() const { return m_dwNodeId; }
  static uint8_t LiveCount() { return s_byCount; }

 private:
  // Bit of this door in dmsStatDoorOpen; 0 past the eighth door.
  uint8_t DoorBit() const;
  void SetDoorBit(bool open);
  void OpenActions(bool trap);
  void CloseActions();

  uint8_t m_byDoorState = DOOR_UNKNOWN;
  uint8_t m_byDoorNumber = 0;
  int32_t m_iStatusRow = -1;
  uint32_t m_dwNodeId = 0;
  dcio_bridge m_Bridge;

  static uint8_t s_byCount;
};
