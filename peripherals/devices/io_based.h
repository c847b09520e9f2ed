// Small field points on the channels of a DC I/O board, one class for many
// kinds chosen by the type id: surge-suppressor contacts, intake flow
// sensors and the fans' power senses, the IO FAULT/OK lamps, the output
// that shows the number of the message on display, switch inputs that put
// messages on the sign, and the blank push button with its indicator.
//
// Inputs are active low (level 0: contact closed, signal present). Poll,
// creation and destruction run in the peripheral task; OnInput where the
// board delivers its input reports (the CAN receive path).
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "display/codes/msg_codes.h"
#include "frame/peripheral/peripheral.h"
#include "peripherals/devices/dcio.h"

// Writes an activation code into a slot of the message display: source
// mode 3 (external), requester 2, then the code, each with notification;
// the write of the code makes the display run it. length 0 clears the slot.
void peripheral_write_activation(uint32_t slot, const uint8_t* code, uint32_t length);

class CIO_BasedPeripheral : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 24 };
  enum : uint16_t {
    TYPE_SWITCH_BINARY = 560,
    TYPE_SWITCH_BINARY_ACT = 570,
    TYPE_SWITCH_BCD_ACT = 580,
    TYPE_BLANK_SWITCH = 640,
    TYPE_BLANK_INDICATOR = 641,
    TYPE_SWITCH_BCD = 650,
    TYPE_FAULT_LED = 670,
    TYPE_CURRENT_MESSAGE = 671,
    TYPE_FLOW_POWER_SENSE = 720,
    TYPE_RPM_POWER_SENSE = 749,
  };
  static constexpr uint16_t POLL_INTERVAL = 2;
  static constexpr uint8_t DEBOUNCE = 20;
  static constexpr uint32_t SWITCH_ENTRIES = 50;
  static constexpr uint32_t SWITCH_SLOT = 6;
  static constexpr uint8_t SWITCH_PRIORITY = 190;
  static constexpr uint32_t CHANGEABLE_MESSAGES = 500;
  static constexpr uint32_t FLOW_TEST_SECONDS = 180;
  enum : uint32_t { TRAP_BLANK_SWITCH = 5 };

  explicit CIO_BasedPeripheral(uint16_t type_id);
  ~CIO_BasedPeripheral() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  bool Init(uint16_t type_id, uint16_t board_type, const interface_cfg* first, const interface_cfg* second);
  void Poll() override;
  void OnInput() override;
  virtual uint8_t GetFlowState() const { return m_byFlowState; }
  bool IsFlowTesting() const { return m_byFlowState == 3; }

  // The code of switch entry i (offset o): false when the entry names no
  // message (an index past the table, or a changeable message past the
  // message table).
  bool EntryCode(uint32_t index, uint32_t offset, CMsgActivationCode* code) const;
  bool BuildLevelActivation(CMsgActivationCode* code);
  bool IsCurrentMessage(const CMsgActivationCode& code) const;
  static void WriteActivation(const CMsgActivationCode& code);

  uint8_t SubState() const { return m_bySubState; }
  void SetSubState(uint8_t s) { m_bySubState = s; }
  uint32_t LastNumber() const { return m_dwLastNumber; }
  uint32_t SelectedIndex() const { return m_dwSelected; }
  int32_t StatusRow() const { return m_iStatusRow; }
  int32_t ClimateRow() const { return m_iClimateRow; }
  int32_t FanRow() const { return m_iFanRow; }
  uint16_t SupplyId() const { return m_wSupplyId; }
  uint32_t FirstNode() const { return m_dwFirstNode; }
  uint32_t SecondNode() const { return m_dwSecondNode; }
  uint8_t Debounce() const { return m_byDebounce; }
  dcio_bridge& Bridge() { return m_Bridge; }

 private:
  static CPeripheral* CreatePointPair(const pl_record& record);
  static CPeripheral* CreateSwitch(const pl_record& record);
  static CPeripheral* CreateBcdActivate(const pl_record& record);
  static CPeripheral* CreateSinglePoint(const pl_record& record, uint8_t write_access);
  static CIO_BasedPeripheral* Construct(const pl_record& record, uint16_t interval);

  static bool IsSurge(uint16_t t) { return t >= 75 && t <= 80; }
  static bool IsFlow(uint16_t t) { return (t >= 710 && t <= 719) || (t >= 850 && t <= 863); }
  uint32_t Levels() { return m_dwFirstNode ? m_Bridge.Get(m_dwFirstNode, 0) : 0; }
  static void BlankCode(CMsgActivationCode* code, uint8_t priority);
  // Writes entry i's code; false when the entry names no message.
  bool Activate(uint32_t index, uint32_t offset);
  void WriteBlank();
  void RegisterStatusRow();

  void PollSurge();
  void PollFaultLed();
  void PollCurrentMessage();
  void PollPowerSense();
  void PollFlow();
  void PollPriority();
  void PollBlankSwitch();
  void PollBlankIndicator();
  void InputBinary();
  void InputBinaryActivate();
  void InputBcdActivate();
  void InputBcd();

  uint8_t m_bySubState = 0;
  uint32_t m_dwLastNumber = 0;
  uint8_t m_byCheckAirflow = 0;
  uint8_t m_byPriorityMode = 0;
  uint32_t m_dwBlankCountdown = 0;
  uint32_t m_dwBlankDelay = 0;
  uint32_t m_dwOffset = 0;
  uint8_t m_byMomentary = 0;
  uint16_t m_wBoardType = 0;
  uint32_t m_dwFirstNode = 0;
  uint32_t m_dwSecondNode = 0;
  uint8_t m_byDebounce = DEBOUNCE;
  dcio_bridge m_Bridge;
  int32_t m_iStatusRow = -1;
  uint16_t m_wSupplyId = 0;
  bool m_bSupplyRegistered = false;
  int32_t m_iClimateRow = -1;
  int32_t m_iFanRow = -1;
  uint8_t m_byFlowState = 2;
  uint32_t m_dwTestEnd = 0;
  uint8_t m_byNoAirflowInTest = 0;
  uint32_t m_dwSelected = 0;
  uint8_t m_byChannelCount = 0;
};
