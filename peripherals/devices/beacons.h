// Output peripherals on DC I/O boards: a beacon lamp switched with the
// running message's beacon flag, a pair of second-generation beacons whose
// flashing and dimming the board runs itself, and ten general-purpose
// outputs that messages switch with the MULTI gpo tag. Polls, creation and
// destruction run in the peripheral task; OnInput in the board's receive
// path, where it only stores the read-back.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"
#include "peripherals/devices/dcio.h"

// The display's beacon-on flag (non-zero: beacons on); 0 without a display.
uint8_t peripheral_beacon_flag();
// Tests put a flag of their own in place of the display's (null: the
// display's again).
void peripheral_set_beacon_flag_source(uint8_t (*source)());

// What the three classes share: the board, the status row, the node of
// their points and the bridge.
class CBeaconBase : public CPeripheral {
 public:
  static constexpr uint16_t POLL_INTERVAL = 2;
  ~CBeaconBase() override;

  int32_t StatusRow() const { return m_iStatusRow; }
  uint32_t NodeId() const { return m_dwNodeId; }
  dcio_bridge& Bridge() { return m_Bridge; }

 protected:
  CBeaconBase(uint8_t class_code, uint16_t type_id) : CPeripheral(class_code, type_id) {}
  // Attaches to the board and registers the points as outputs and the
  // status row; false when the bridge found no board.
  bool Attach(uint16_t board_type, uint32_t channels);
  // The state of the board, or COMM ERROR when it left.
  void FollowBoard();
  // "      ON" / "     OFF".
  void ShowOnOff(bool on) { m_pszStatusText = on ? "      ON" : "     OFF"; }
  // Parse, construct, set up; null when Init fails.
  template <class T, class... A>
  static CPeripheral* Build(const pl_record& record, A... init_args);

  DCIO* m_pBoard = nullptr;
  int32_t m_iStatusRow = -1;
  uint32_t m_dwNodeId = 0;
  dcio_bridge m_Bridge;
};

class CBeacon : public CBeaconBase {
 public:
  enum : uint8_t { CLASS_CODE = 3 };
  enum : uint16_t { TYPE = 40 };
  explicit CBeacon(uint16_t type_id) : CBeaconBase(CLASS_CODE, type_id) {}

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  bool Init(uint8_t point, uint16_t board_type);
  void Poll() override;
  void OnInput() override;
  uint8_t ReadBack() const { return m_byReadBack; }

 private:
  volatile uint8_t m_byReadBack = 0;
};

class CBeaconIO : public CBeaconBase, public dcio_beacon_client {
 public:
  enum : uint8_t { CLASS_CODE = 20 };
  enum : uint16_t { FIRST_TYPE = 700, LAST_TYPE = 701 };
  explicit CBeaconIO(uint16_t type_id) : CBeaconBase(CLASS_CODE, type_id) {}

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);
  // The volatile defaults of the legibility objects served with the beacons.
  static void InitDefaults();

  bool Init(uint16_t board_type, uint32_t channels, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t dimming);
  void Poll() override;
  void OnInput() override;
  void BeaconConfiguration(uint8_t bytes[5]) override;
  uint8_t BeaconDimming() override { return m_byDimming; }

  uint8_t Group() const { return m_byGroup; }
  uint8_t Mask() const { return m_byMask; }
  uint8_t ReadBack() const { return m_byReadBack; }

 private:
  uint8_t m_byGroup = 0;
  uint8_t m_byMask = 0;
  uint8_t m_abyConfig[3] = {};
  uint8_t m_byDimming = 0;
  uint16_t m_wBoardType = 0;
  volatile uint8_t m_byReadBack = 0;
};

class CGeneralPurposeOutput : public CBeaconBase {
 public:
  enum : uint8_t { CLASS_CODE = 19 };
  enum : uint16_t { FIRST_TYPE = 660, LAST_TYPE = 669 };
  explicit CGeneralPurposeOutput(uint16_t type_id) : CBeaconBase(CLASS_CODE, type_id) {}

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  bool Init(uint8_t point, uint16_t board_type);
  void Poll() override;
  void SetOutput(bool on);
  bool IsCommandedOn() const { return m_byCommanded != 0; }
  // The point's level in the board's last input report.
  bool IsOutputOn();

 private:
  uint8_t m_byCommanded = 0;
};
