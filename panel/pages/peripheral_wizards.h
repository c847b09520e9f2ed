// The wizards that add field devices from the panel: each asks which
// device, where it is attached and how, then writes the device's record(s)
// (type id + parameter text) through pl_iterator, on which the peripheral
// task reloads its configured peripherals. The record texts are exactly
// what the device classes' creators parse.
//
// Pages that attach a device to a pin of an I/O board derive from
// CLCD_PeripheralAdd_IOBase: items 0 (the device), 1 (the board, from the
// live I/O boards) and 2 (the pin, with a rule that fits the board).
#pragma once

#include <cstdint>
#include <new>

#include "panel/menu_bases.h"

// Item set-up shared by the peripheral pages.
void wizard_choice(CLCD_WizardItem* item, const char* title, const char* const* choices,
                   const char* const* restrictions = nullptr);
void wizard_number(CLCD_WizardItem* item, const char* title, const char* label, const char* rule,
                   const char* line8);
// Whether a peripheral of the class is live.
bool live_class(uint8_t class_code);
// The channel bit of an I/O board point (24..55) added to the mask.
uint32_t point_mask(uint8_t point, uint32_t mask = 0);

class CLCD_PeripheralAdd_IOBase : public CLCD_SimpleWizardBase {
 public:
  enum : uint8_t { OUTPUT = 0, INPUT = 1 };
  static constexpr uint32_t kMaxTargets = 8;

  CLCD_PeripheralAdd_IOBase(CLCD_MenuId id, const char* title, const char* title_fr, uint8_t direction);
  void Enter(CLCD_Manager* mgr) override;
  bool HasRights(CLCD_Manager* mgr) override;
  void EnterItem(CLCD_Manager* mgr, CLCD_WizardItem* item) override;

  // The board point of the pin typed for the board; 0 without that board.
  // A product-board output beyond its fourth pin is its fourth.
  uint8_t PinToPoint(uint16_t board, uint8_t direction, CLCD_WizardItem* pin);
  uint8_t Point() { return PinToPoint(m_wTarget, m_byDirection, &m_Pin); }

  // The live I/O boards, in class order 8, 29, 30.
  void BuildTargets();
  // The rule and line-8 text of the pin item for the chosen board.
  void SetPinRule();

  uint8_t m_byDirection;
  CLCD_WizardItem m_Type;
  CLCD_WizardItem m_Target;
  CLCD_WizardItem m_Pin;
  const char* m_apszTargets[kMaxTargets + 1] = {};
  uint16_t m_awTargets[kMaxTargets] = {};
  uint16_t m_wTarget = 0;
};

// A device on one pin, chosen from a list that maps to its type ids; the
// record is "point,board", or "board,mask of the point" for the devices
// read through the I/O-based class.
class CLCD_PeripheralAdd_Pin : public CLCD_PeripheralAdd_IOBase {
 public:
  enum record_e : uint8_t { POINT_BOARD, BOARD_MASK };
  struct page_kind {
    const char* title;
    const char* title_fr;
    uint8_t direction;
    const char* const* choices;
    const char* const* restrictions;
    const uint16_t* types;
    record_e record;
    // Shown only with a module type of at least this class (0: always).
    uint8_t module_class;
  };
  CLCD_PeripheralAdd_Pin(CLCD_MenuId id, const page_kind& s);
  bool HasRights(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;
  const page_kind& m_Kind;
};

class CLCD_PeripheralAdd_Beacon : public CLCD_PeripheralAdd_IOBase {
 public:
  explicit CLCD_PeripheralAdd_Beacon(CLCD_MenuId id);
  void EnterItem(CLCD_Manager* mgr, CLCD_WizardItem* item) override;
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_Flashing;
  CLCD_WizardItem m_Dimming;
};

class CLCD_PeripheralAdd_Doorsensor : public CLCD_PeripheralAdd_IOBase {
 public:
  explicit CLCD_PeripheralAdd_Doorsensor(CLCD_MenuId id);
  void Finish(CLCD_Manager* mgr) override;
};

class CLCD_PeripheralAdd_FanAirflow : public CLCD_PeripheralAdd_IOBase {
 public:
  explicit CLCD_PeripheralAdd_FanAirflow(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void EnterItem(CLCD_Manager* mgr, CLCD_WizardItem* item) override;
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_PowerSense;
  uint8_t m_byHasFanControl = 0;
  uint8_t m_byFirstPoint = 0;
};

class CLCD_PeripheralAdd_FanRPM : public CLCD_PeripheralAdd_IOBase {
 public:
  explicit CLCD_PeripheralAdd_FanRPM(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;
  uint8_t m_byHasFanControl = 0;
};

class CLCD_PeripheralAdd_MiscIO : public CLCD_PeripheralAdd_IOBase {
 public:
  explicit CLCD_PeripheralAdd_MiscIO(CLCD_MenuId id);
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_Outputs;
};

class CLCD_PeripheralAdd_Overheight : public CLCD_PeripheralAdd_IOBase {
 public:
  explicit CLCD_PeripheralAdd_Overheight(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_Polarity;
  CLCD_WizardItem m_Slot;
};

class CLCD_PeripheralAdd_Switch : public CLCD_PeripheralAdd_IOBase {
 public:
  explicit CLCD_PeripheralAdd_Switch(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HasRights(CLCD_Manager* mgr) override;
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void Finish(CLCD_Manager* mgr) override;
  // The switch type of the present answers.
  uint16_t SelectedType() const;
  CLCD_WizardItem m_Inputs;
  CLCD_WizardItem m_ActivationInput;
  CLCD_WizardItem m_ActivationEvent;
  CLCD_WizardItem m_Delay;
  CLCD_WizardItem m_Offset;
  CLCD_WizardItem m_Momentary;
};

class CLCD_PeripheralAdd_AuxIO : public CLCD_PeripheralAdd_IOBase {
 public:
  explicit CLCD_PeripheralAdd_AuxIO(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_Width;
};

// ---------------------------------------------------------------- pages without a pin

class CLCD_PeripheralAdd_DCIO : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_PeripheralAdd_DCIO(CLCD_MenuId id);
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_Board;
  CLCD_WizardItem m_Direction;
  CLCD_WizardItem m_Location;
};

class CLCD_PeripheralAdd_ACIO : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_PeripheralAdd_ACIO(CLCD_MenuId id);
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_Board;
  CLCD_WizardItem m_Location;
};

class CLCD_PeripheralAdd_CtrlComm : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_PeripheralAdd_CtrlComm(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HasRights(CLCD_Manager* mgr) override;
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_Role;
  CLCD_WizardItem m_Address;
};

// A run of boards at consecutive addresses (isolation boards, LVDBs): the
// earlier records of the family go first.
class CLCD_PeripheralAdd_Boards : public CLCD_SimpleWizardBase {
 public:
  struct page_kind {
    const char* title;
    uint16_t first_type;
    uint32_t most;
    uint32_t first_address;
    const char* rule;
    const char* line8;
    bool location;  // else the CAN driver selector is 1
  };
  CLCD_PeripheralAdd_Boards(CLCD_MenuId id, const page_kind& s);
  void Enter(CLCD_Manager* mgr) override;
  bool HasRights(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;
  const page_kind& m_Kind;
  CLCD_WizardItem m_Count;
  CLCD_WizardItem m_Location;
};

class CLCD_PeripheralAdd_FET : public CLCD_PeripheralAdd_Boards {
 public:
  explicit CLCD_PeripheralAdd_FET(CLCD_MenuId id);
};

class CLCD_PeripheralAdd_LVDB : public CLCD_PeripheralAdd_Boards {
 public:
  explicit CLCD_PeripheralAdd_LVDB(CLCD_MenuId id);
};

// A CAN sensor at its default address or one typed.
class CLCD_PeripheralAdd_Sensor : public CLCD_SimpleWizardBase {
 public:
  struct page_kind {
    const char* title;
    const char* title_fr;
    const char* const* choices;
    const char* const* restrictions;
    const uint16_t* types;
    const uint32_t* default_addresses;
    uint32_t specified_base;
    // Choices from this index on are line sensors: a third field.
    uint32_t first_line;
    // The line number in the third field (else 1).
    bool numbered_lines;
    const char* item_title_fr;  // French title of every item, or null
    // One choice whose typed address counts from a base of its own.
    uint32_t odd_choice;
    uint32_t odd_base;
  };
  CLCD_PeripheralAdd_Sensor(CLCD_MenuId id, const page_kind& s);
  void Enter(CLCD_Manager* mgr) override;
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void Finish(CLCD_Manager* mgr) override;
  virtual uint32_t DefaultAddress(uint32_t choice) const;
  uint32_t Address() const;
  const page_kind& m_Kind;
  CLCD_WizardItem m_Sensor;
  CLCD_WizardItem m_Mode;
  CLCD_WizardItem m_Address;
  CLCD_WizardItem m_Location;
};

class CLCD_PeripheralAdd_Light : public CLCD_PeripheralAdd_Sensor {
 public:
  explicit CLCD_PeripheralAdd_Light(CLCD_MenuId id);
};

class CLCD_PeripheralAdd_Temp : public CLCD_PeripheralAdd_Sensor {
 public:
  explicit CLCD_PeripheralAdd_Temp(CLCD_MenuId id);
  uint32_t DefaultAddress(uint32_t choice) const override;
};

class CLCD_PeripheralAdd_Humidity : public CLCD_PeripheralAdd_Sensor {
 public:
  explicit CLCD_PeripheralAdd_Humidity(CLCD_MenuId id);
};

class CLCD_PeripheralAdd_Modem : public CLCD_SimpleWizardBase {
 public:
  // What a record text leaves for the AT text after "2," and the CR.
  static constexpr uint32_t kMaxAtText = 36;
  explicit CLCD_PeripheralAdd_Modem(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_Kind;
  CLCD_WizardItem m_Port;
  CLCD_WizardItem m_Text;
  const char* m_apszKind[2] = {};
  const char* m_apszPorts[3] = {};
  char m_szText[91] = {};
};

class CLCD_PeripheralAdd_RTD : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_PeripheralAdd_RTD(CLCD_MenuId id);
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_Kind;
};

class CLCD_PeripheralAdd_UPS : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_PeripheralAdd_UPS(CLCD_MenuId id);
  bool HasRights(CLCD_Manager* mgr) override;
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void Finish(CLCD_Manager* mgr) override;
  CLCD_WizardItem m_Model;
  CLCD_WizardItem m_Backup;
};

// Builds a page class that takes the menu id of its table row.
template <typename Page>
CMenuItem* create_page(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) Page(id);
}
