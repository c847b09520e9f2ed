#include "panel/pages/peripheral_wizards.h"

#include <new>

#include "database/objects.h"
#include "display/task/display.h"
#include "frame/trace/trace.h"
#include "panel/db_values.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"
#include "peripherals/devices/can_peripheral.h"
#include "peripherals/devices/dcio.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/pl_iterator.h"

namespace {

constexpr uint8_t kClassDcio = 8;
constexpr uint8_t kClassMiniDcio = 29;
constexpr uint8_t kClassBoard30 = 30;
constexpr uint16_t kIntakeFanControl = 510;

struct pin_rule {
  const char* rule;
  const char* line8;
};

}  // namespace

// ---------------------------------------------------------------- helpers

void wizard_choice(CLCD_WizardItem* item, const char* title, const char* const* choices,
                   const char* const* restrictions) {
  item->kind = WIZARD_CHOICE;
  item->choice.title = title;
  item->choice.choices = choices;
  item->choice.restrictions = restrictions;
  item->choice.per_page = 6;
}

void wizard_number(CLCD_WizardItem* item, const char* title, const char* label, const char* rule,
                   const char* line8) {
  item->kind = WIZARD_NUMBER;
  item->number.title = title;
  item->number.label = label;
  item->number.rule = rule;
  item->number.line8 = line8;
}

bool live_class(uint8_t class_code) {
  if (!g_pPeripheralTask) return false;
  pl_mediator::cursor it = 0;
  CPeripheral* p = nullptr;
  return g_pPeripheralTask->Mediator().FindFirst(class_code, &it, &p) && p;
}

uint32_t point_mask(uint8_t point, uint32_t mask) {
  dcio_bridge::ChannelMask(point, &mask, false);
  return mask;
}

// ---------------------------------------------------------------- the I/O board pages

CLCD_PeripheralAdd_IOBase::CLCD_PeripheralAdd_IOBase(CLCD_MenuId id, const char* title, const char* title_fr,
                                                     uint8_t direction)
    : CLCD_SimpleWizardBase(id, title, title_fr, LCD_RIGHT_PERIPHERALS), m_byDirection(direction) {
  m_Type.kind = WIZARD_CHOICE;
  m_Type.choice.per_page = 6;
  wizard_choice(&m_Target, "ATTACH TO WHICH TARGET", m_apszTargets);
  wizard_number(&m_Pin, "CHOOSE CONTROL PIN", "NUMBER", nullptr, nullptr);
  AddItem(&m_Type);
  AddItem(&m_Target);
  AddItem(&m_Pin);
}

void CLCD_PeripheralAdd_IOBase::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_Pin.number.value = 0;
  m_Type.choice.title = Title(mgr);
  m_Type.number.title = Title(mgr);
}

bool CLCD_PeripheralAdd_IOBase::HasRights(CLCD_Manager* mgr) {
  return CMenuItem::HasRights(mgr) &&
         (live_class(kClassDcio) || live_class(kClassMiniDcio) || live_class(kClassBoard30));
}

void CLCD_PeripheralAdd_IOBase::EnterItem(CLCD_Manager* mgr, CLCD_WizardItem* item) {
  if (item == &m_Target) BuildTargets();
  if (item == &m_Pin) {
    const uint32_t k = m_Target.choice.selected;
    m_wTarget = k < kMaxTargets && m_apszTargets[k] ? m_awTargets[k] : 0;
    SetPinRule();
  }
  CLCD_SimpleWizardBase::EnterItem(mgr, item);
}

void CLCD_PeripheralAdd_IOBase::BuildTargets() {
  for (const char*& name : m_apszTargets) name = nullptr;
  if (!g_pPeripheralTask) return;
  pl_mediator& live = g_pPeripheralTask->Mediator();
  uint32_t n = 0;
  for (uint8_t class_code : {kClassDcio, kClassMiniDcio, kClassBoard30}) {
    pl_mediator::cursor it = 0;
    CPeripheral* p = nullptr;
    for (int more = live.FindFirst(class_code, &it, &p); more && p && n < kMaxTargets;
         more = live.FindNext(class_code, &it, &p)) {
      const char* name = peripheral_type_name(p->m_wTypeId);
      m_awTargets[n] = p->m_wTypeId;
      m_apszTargets[n++] = name ? name : "";
    }
  }
}

void CLCD_PeripheralAdd_IOBase::SetPinRule() {
  static const pin_rule kProduct = {">0,<5", "VALID FROM 1->4"};
  static const pin_rule kHcbIn = {">0,<21", "VALID FROM 1->20"};
  static const pin_rule kHcbOut = {">0,<9", "VALID FROM 1->8"};
  static const pin_rule kInPort6In = {">0,<25", "VALID FROM 1->24"};
  static const pin_rule kInPort6Out = {">0,<17", "VALID FROM 1->16"};
  static const pin_rule kOutPort6In = {">0,<4", "VALID FROM 1->3"};
  static const pin_rule kOutPort6Out = {"=1,=2,=3,=17,=18,=19,=20,=21,=22,=23,=24", "VALID FROM 1->3 OR 17->24"};
  static const pin_rule kMiniIn = {">0,<3", "VALID FROM 1->2"};
  static const pin_rule kMiniOut = {"=1", "MUST BE 1"};
  static const pin_rule kBoard30 = {">0,<10", "VALID FROM 1->9"};
  static const pin_rule kNone = {nullptr, nullptr};

  const CPeripheral* board = live_peripheral(m_wTarget);
  const pin_rule* r = &kNone;
  const bool input = m_byDirection == INPUT;
  if (board && board->m_byClass == kClassDcio) {
    const auto* dcio = dynamic_cast<const DCIO*>(board);
    const bool port6_in = dcio && dcio->GetPortDirection(3) == DCIO::PARAM_IN;
    if (m_wTarget == DCIO::TYPE_PRODUCT_BOARD)
      r = &kProduct;
    else if (m_wTarget == DCIO::TYPE_HCB)
      r = input ? &kHcbIn : &kHcbOut;
    else if (input)
      r = port6_in ? &kInPort6In : &kInPort6Out;
    else
      r = port6_in ? &kOutPort6In : &kOutPort6Out;
  } else if (board && board->m_byClass == kClassMiniDcio) {
    r = input ? &kMiniIn : &kMiniOut;
  } else if (board && board->m_byClass == kClassBoard30) {
    r = &kBoard30;
  }
  m_Pin.number.rule = r->rule;
  m_Pin.number.line8 = r->line8;
}

uint8_t CLCD_PeripheralAdd_IOBase::PinToPoint(uint16_t board_type, uint8_t direction, CLCD_WizardItem* pin) {
  const CPeripheral* board = live_peripheral(board_type);
  if (!board || !pin) return 0;
  uint32_t& p = pin->number.value;
  const bool input = direction == INPUT;
  uint32_t point = 0;
  switch (board->m_byClass) {
    case kClassDcio:
      if (input) {
        point = p <= 16 ? p + 23 : p + 31;
      } else if (board_type == DCIO::TYPE_PRODUCT_BOARD) {
        if (p >= 4) p = 4;
        point = p < 4 ? p + 39 : 48;
      } else if (board_type == DCIO::TYPE_HCB && p < 9) {
        point = p + 39;
      } else {
        point = p > 3 ? p + 31 : p + 39;
      }
      break;
    case kClassMiniDcio:
      point = input ? p + 23 : p + 31;
      break;
    case kClassBoard30:
      point = 40 - p;
      break;
    default:
      return 0;
  }
  return static_cast<uint8_t>(point);
}

// ---------------------------------------------------------------- one device on one pin

CLCD_PeripheralAdd_Pin::CLCD_PeripheralAdd_Pin(CLCD_MenuId id, const page_kind& s)
    : CLCD_PeripheralAdd_IOBase(id, s.title, s.title_fr, s.direction), m_Kind(s) {
  m_Type.choice.choices = s.choices;
  m_Type.choice.restrictions = s.restrictions;
}

bool CLCD_PeripheralAdd_Pin::HasRights(CLCD_Manager* mgr) {
  if (m_Kind.module_class && module_type_class(lcd_nv(nv::quorModuleID)) < m_Kind.module_class) return false;
  return CLCD_PeripheralAdd_IOBase::HasRights(mgr);
}

void CLCD_PeripheralAdd_Pin::Finish(CLCD_Manager*) {
  const uint16_t type = m_Kind.types[m_Type.choice.selected];
  pl_iterator records;
  if (m_Kind.record == BOARD_MASK)
    records.Add(type, "%X,%X", m_wTarget, point_mask(Point()));
  else
    records.Add(type, "%X,%X", Point(), m_wTarget);
}

// ---------------------------------------------------------------- beacon

namespace {
const char* const kBeacons[] = {"BEACON GEN1", "BEACON GEN2", nullptr};
const char* const kBeaconRestrictions[] = {"?40", "?700"};
const char* const kFlashing[] = {"ALTERNATE FLASH", "SYNC FLASH", nullptr};
const char* const kDimming[] = {"NO DIMMING", "BEACON DIMMING", nullptr};
constexpr uint16_t kBeaconGen1 = 40;
constexpr uint16_t kBeaconGen2 = 700;
}  // namespace

CLCD_PeripheralAdd_Beacon::CLCD_PeripheralAdd_Beacon(CLCD_MenuId id)
    : CLCD_PeripheralAdd_IOBase(id, "ADD BEACON", "", OUTPUT) {
  m_Type.choice.choices = kBeacons;
  m_Type.choice.restrictions = kBeaconRestrictions;
  wizard_choice(&m_Flashing, "CHOOSE FLASHING OPERATION", kFlashing);
  wizard_choice(&m_Dimming, "CHOOSE DIMMING OPERATION", kDimming);
}

void CLCD_PeripheralAdd_Beacon::EnterItem(CLCD_Manager* mgr, CLCD_WizardItem* item) {
  if (item == &m_Target) {
    RemoveItem(&m_Flashing);
    RemoveItem(&m_Dimming);
    if (m_Type.choice.selected == 1) {
      AddItem(&m_Flashing);
      AddItem(&m_Dimming);
    }
  }
  CLCD_PeripheralAdd_IOBase::EnterItem(mgr, item);
}

void CLCD_PeripheralAdd_Beacon::Finish(CLCD_Manager*) {
  pl_iterator records;
  const uint8_t point = Point();
  if (m_Type.choice.selected == 0) {
    records.Add(kBeaconGen1, "%X,%X", point, m_wTarget);
    return;
  }
  const bool alternate = m_Flashing.choice.selected == 0;
  uint32_t mask = point_mask(point);
  if (alternate) mask = point_mask(static_cast<uint8_t>(point + 1), mask);
  records.Add(kBeaconGen2, "%X,%X,%X,%X,%X,%X", m_wTarget, mask, 5u, 5u, alternate ? 6u : 5u,
              m_Dimming.choice.selected == 1 ? 1u : 0u);
}

// ---------------------------------------------------------------- door switches

namespace {
const char* const kDoors[] = {"DOOR LINE SENSORS", "DOOR SWITCH 1", "DOOR SWITCH 2", "DOOR SWITCH 3",
                              "DOOR SWITCH 4",     "DOOR SWITCH 5", "DOOR SWITCH 6", "DOOR SWITCH 7",
                              "DOOR SWITCH 8",     nullptr};
const char* const kDoorRestrictions[] = {nullptr, "?30", "?31", "?32", "?33", "?34", "?35", "?36", "?37"};
constexpr uint16_t kFirstDoor = 30;
constexpr uint16_t kLineBoard = 170;
constexpr uint16_t kLineDoor = 180;
constexpr uint32_t kLineTypes = 7;  // 170..176 and 180..186 are cleared
constexpr uint32_t kLineBoardAddress = 0x42221;
constexpr uint32_t kLineDoorPoint = 0x18;
constexpr uint32_t kSignTypeLineMatrix = 5;
}  // namespace

CLCD_PeripheralAdd_Doorsensor::CLCD_PeripheralAdd_Doorsensor(CLCD_MenuId id)
    : CLCD_PeripheralAdd_IOBase(id, "ADD DOOR SWITCH", "AJOUTER DETECTEUR DE PORTE", INPUT) {
  m_Type.choice.choices = kDoors;
  m_Type.choice.restrictions = kDoorRestrictions;
}

void CLCD_PeripheralAdd_Doorsensor::Finish(CLCD_Manager*) {
  pl_iterator records;
  const uint32_t choice = m_Type.choice.selected;
  if (choice > 0) {
    records.Add(static_cast<uint16_t>(kFirstDoor + choice - 1), "%X,%X", Point(), m_wTarget);
    return;
  }
  // The door line sensors: a mini I/O line board and its door per line.
  for (uint16_t i = 0; i < kLineTypes; ++i) {
    records.Remove(static_cast<uint16_t>(kLineBoard + i));
    records.Remove(static_cast<uint16_t>(kLineDoor + i));
  }
  const uint32_t character = lcd_nv(nv::vmsCharacterHeightPixels);
  if (lcd_nv(nv::dmsSignType) != kSignTypeLineMatrix || character == 0) return;
  uint32_t lines = lcd_nv(nv::vmsSignHeightPixels) / character;
  // The line types of the family end after the sixth line.
  if (lines > kLineTypes - 1) lines = kLineTypes - 1;
  for (uint32_t i = 0; i < lines; ++i)
    records.Add(static_cast<uint16_t>(kLineBoard + i), "%X,%X,%X", kLineBoardAddress, 1u, i + 1);
  for (uint32_t i = 0; i < lines; ++i)
    records.Add(static_cast<uint16_t>(kLineDoor + i), "%X,%X", kLineDoorPoint, kLineBoard + i);
}

// ---------------------------------------------------------------- fan monitoring

namespace {
constexpr uint16_t kFirstAirflow = 710;
constexpr uint16_t kAirflowPowerSense = 720;
constexpr uint16_t kFirstRpm = 730;
constexpr uint16_t kRpmPowerSense = 749;
constexpr uint32_t kFirstRpmAddress = 0x42521;
}  // namespace

CLCD_PeripheralAdd_FanAirflow::CLCD_PeripheralAdd_FanAirflow(CLCD_MenuId id)
    : CLCD_PeripheralAdd_IOBase(id, "AIRFLOW SENSORS", "", INPUT) {
  wizard_number(&m_Type, nullptr, "HOW MANY", ">0,<11", "FROM 1->10");
  wizard_number(&m_PowerSense, "CHOOSE POWER SENSE INPUT", "NUMBER", nullptr, nullptr);
  AddItem(&m_PowerSense);
}

void CLCD_PeripheralAdd_FanAirflow::Enter(CLCD_Manager* mgr) {
  m_byHasFanControl = live_peripheral(kIntakeFanControl) ? 1 : 0;
  if (m_byHasFanControl) {
    RemoveItem(&m_PowerSense);
  } else {
    m_PowerSense.number.value = 0;
    if (!HasItem(&m_PowerSense)) AddItem(&m_PowerSense);
  }
  m_Type.number.value = 0;
  CLCD_PeripheralAdd_IOBase::Enter(mgr);
}

void CLCD_PeripheralAdd_FanAirflow::EnterItem(CLCD_Manager* mgr, CLCD_WizardItem* item) {
  if (item == &m_PowerSense) m_byFirstPoint = Point();
  CLCD_PeripheralAdd_IOBase::EnterItem(mgr, item);
}

void CLCD_PeripheralAdd_FanAirflow::Finish(CLCD_Manager*) {
  pl_iterator records;
  // Without the power-sense step the pin is read here.
  const uint8_t first = m_byHasFanControl ? Point() : m_byFirstPoint;
  for (uint32_t i = 0; i < m_Type.number.value; ++i)
    records.Add(static_cast<uint16_t>(kFirstAirflow + i), "%X,%X,0", m_wTarget,
                point_mask(static_cast<uint8_t>(first + i)));
  if (!m_byHasFanControl)
    records.Add(kAirflowPowerSense, "%X,%X,0", m_wTarget,
                point_mask(PinToPoint(m_wTarget, m_byDirection, &m_PowerSense)));
}

CLCD_PeripheralAdd_FanRPM::CLCD_PeripheralAdd_FanRPM(CLCD_MenuId id)
    : CLCD_PeripheralAdd_IOBase(id, "FAN RPM SENSORS", "", INPUT) {
  wizard_number(&m_Type, nullptr, "HOW MANY", ">0,<17", "FROM 1->16");
}

void CLCD_PeripheralAdd_FanRPM::Enter(CLCD_Manager* mgr) {
  m_byHasFanControl = live_peripheral(kIntakeFanControl) ? 1 : 0;
  RemoveItem(&m_Target);
  RemoveItem(&m_Pin);
  if (!m_byHasFanControl) {
    AddItem(&m_Target);
    AddItem(&m_Pin);
  }
  m_Type.number.value = 0;
  CLCD_PeripheralAdd_IOBase::Enter(mgr);
}

void CLCD_PeripheralAdd_FanRPM::Finish(CLCD_Manager*) {
  pl_iterator records;
  for (uint32_t i = 0; i < m_Type.number.value; ++i)
    records.Add(static_cast<uint16_t>(kFirstRpm + i), "%X,%X,0", kFirstRpmAddress + i, 1u);
  if (!m_byHasFanControl) records.Add(kRpmPowerSense, "%X,%X,0", m_wTarget, point_mask(Point()));
}

// ---------------------------------------------------------------- misc outputs

namespace {
const char* const kMiscIo[] = {"FAULT/OK LED", "CURRENT MESSAGE", nullptr};
const char* const kMiscIoRestrictions[] = {"?670", "?671"};
constexpr uint16_t kFaultLed = 670;
constexpr uint16_t kCurrentMessage = 671;
}  // namespace

CLCD_PeripheralAdd_MiscIO::CLCD_PeripheralAdd_MiscIO(CLCD_MenuId id)
    : CLCD_PeripheralAdd_IOBase(id, "ADD MISC IO", "", OUTPUT) {
  m_Type.choice.choices = kMiscIo;
  m_Type.choice.restrictions = kMiscIoRestrictions;
  wizard_number(&m_Outputs, "HOW MANY OUTPUTS", "NUMBER", ">0,<9", nullptr);
  AddItem(&m_Outputs);
}

bool CLCD_PeripheralAdd_MiscIO::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  if (item == &m_Pin && m_Type.choice.selected == 0) return false;
  return CLCD_PeripheralAdd_IOBase::GetNextItem(mgr, item, index);
}

void CLCD_PeripheralAdd_MiscIO::Finish(CLCD_Manager*) {
  const uint8_t point = Point();
  const bool led = m_Type.choice.selected == 0;
  const uint32_t n = led ? 2 : m_Outputs.number.value;
  uint32_t mask = 0;
  for (uint32_t i = 0; i < n; ++i) mask = point_mask(static_cast<uint8_t>(point + i), mask);
  pl_iterator records;
  records.Add(led ? kFaultLed : kCurrentMessage, "%X,%X,1", m_wTarget, mask);
}

// ---------------------------------------------------------------- overheight

namespace {
const char* const kOverheight[] = {"OVERHEIGHT 1", "OVERHEIGHT 2", nullptr};
const char* const kOverheightRestrictions[] = {"?500", "?501"};
const char* const kPolarity[] = {"NORMALLY CLOSED", "NORMALLY OPEN", nullptr};
constexpr uint16_t kFirstOverheight = 500;
}  // namespace

CLCD_PeripheralAdd_Overheight::CLCD_PeripheralAdd_Overheight(CLCD_MenuId id)
    : CLCD_PeripheralAdd_IOBase(id, "ADD OVERHEIGHT DETECTOR", "", INPUT) {
  m_Type.choice.choices = kOverheight;
  m_Type.choice.restrictions = kOverheightRestrictions;
  wizard_choice(&m_Polarity, "CHOOSE CONTACT POLARITY", kPolarity);
  wizard_number(&m_Slot, "CHOOSE MESSAGE SLOT", "NUMBER", "<501", "USE ZERO FOR EMERGENCY");
  AddItem(&m_Polarity);
  AddItem(&m_Slot);
}

void CLCD_PeripheralAdd_Overheight::Enter(CLCD_Manager* mgr) {
  CLCD_PeripheralAdd_IOBase::Enter(mgr);
  m_Slot.number.value = 0;
}

bool CLCD_PeripheralAdd_Overheight::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  if (item == &m_Polarity && m_Type.choice.selected == 0) return false;
  return CLCD_PeripheralAdd_IOBase::GetNextItem(mgr, item, index);
}

void CLCD_PeripheralAdd_Overheight::Finish(CLCD_Manager*) {
  const bool second = m_Type.choice.selected == 1;
  // The detector reads the slot as a whole number: slots above 255 stay.
  const uint32_t slot = second ? m_Slot.number.value : 0;
  pl_iterator records;
  records.Add(static_cast<uint16_t>(kFirstOverheight + (second ? 1 : 0)), "%X,%X,%X,%X", Point(), m_wTarget,
              m_Polarity.choice.selected == 1 ? 1u : 0u, slot);
}

// ---------------------------------------------------------------- switches

namespace {
const char* const kSwitchKinds[] = {"BINARY", "BINARY COUNT DECIMAL (BCD)", "BLANK DISPLAY BUTTON", nullptr};
const char* const kNoYes[] = {"NO", "YES", nullptr};
const char* const kActivationEvents[] = {"ACTIVATE BY TRANSITION", "ACTIVATE BY PRIORITY", nullptr};
// By kind x 2 + activation input.
const uint16_t kSwitchTypes[] = {560, 570, 650, 580, 640};
constexpr uint16_t kBinary = 560;
constexpr uint16_t kBcd = 650;
constexpr uint16_t kBlankButton = 640;
constexpr uint8_t kKindBinary = 0;
constexpr uint8_t kKindBlank = 2;
}  // namespace

CLCD_PeripheralAdd_Switch::CLCD_PeripheralAdd_Switch(CLCD_MenuId id)
    : CLCD_PeripheralAdd_IOBase(id, "ADD SWITCH", "", INPUT) {
  m_Type.choice.choices = kSwitchKinds;
  wizard_number(&m_Inputs, "HOW MANY INPUTS", "NUMBER", ">0,<9", nullptr);
  wizard_choice(&m_ActivationInput, "USE ACTIVATION INPUT", kNoYes);
  wizard_choice(&m_ActivationEvent, "USE ACTIVATION EVENT", kActivationEvents);
  wizard_number(&m_Delay, "DELAY BEFORE BLANK", "SECONDS", nullptr, nullptr);
  wizard_number(&m_Offset, "MESSAGE SLOT OFFSET", "NUMBER UP TO 30", "<31", "SLOT 1 = OFFSET OF 0");
  wizard_choice(&m_Momentary, "USE MOMENTARY SWITCH", kNoYes);
  for (CLCD_WizardItem* item : {&m_Inputs, &m_ActivationInput, &m_ActivationEvent, &m_Delay, &m_Offset, &m_Momentary})
    AddItem(item);
}

void CLCD_PeripheralAdd_Switch::Enter(CLCD_Manager* mgr) {
  m_Inputs.number.value = 0;
  CLCD_PeripheralAdd_IOBase::Enter(mgr);
}

bool CLCD_PeripheralAdd_Switch::HasRights(CLCD_Manager* mgr) {
  for (uint16_t type : kSwitchTypes)
    if (live_peripheral(type)) return false;
  return CLCD_PeripheralAdd_IOBase::HasRights(mgr);
}

uint16_t CLCD_PeripheralAdd_Switch::SelectedType() const {
  if (m_Type.choice.selected >= kKindBlank) return kBlankButton;
  return kSwitchTypes[m_Type.choice.selected * 2 + (m_ActivationInput.choice.selected == 1 ? 1 : 0)];
}

bool CLCD_PeripheralAdd_Switch::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  if (item == &m_Pin && m_Type.choice.selected >= kKindBlank) return false;
  // The activation question is asked every time: an answer kept from an
  // earlier visit must not decide the switch's type unseen.
  if (item == &m_ActivationInput) {
    if (m_ActivationInput.choice.selected == 1) return false;
    index = m_Type.choice.selected == kKindBinary ? m_ActivationEvent.position : m_Momentary.position;
    return true;
  }
  return CLCD_PeripheralAdd_IOBase::GetNextItem(mgr, item, index);
}

void CLCD_PeripheralAdd_Switch::Finish(CLCD_Manager*) {
  const uint16_t type = SelectedType();
  const uint8_t point = Point();
  const uint32_t n = m_Inputs.number.value;
  const uint32_t momentary = m_Momentary.choice.selected == 1 ? 1 : 0;
  pl_iterator records;
  if (type == kBlankButton) {
    records.Add(type, "%X,%X", point, m_wTarget);
  } else if (type == kBinary) {
    records.Add(type, "%X,%X,%X,%X,%X,%X,%X", point, m_wTarget, n, m_ActivationEvent.choice.selected == 1 ? 1u : 0u,
                m_Delay.number.value, m_Offset.number.value, momentary);
  } else if (type == kBcd) {
    monitor_printf_debug("Selection is %d\n", static_cast<int>(m_Momentary.choice.selected));
    records.Add(type, "%X,%X,%X,%X,%X,%X,%X", point, m_wTarget, n, 0u, 0u, 0u, momentary);
  } else {
    records.Add(type, "%X,%X,%X", point, m_wTarget, n);
  }
}

// ---------------------------------------------------------------- AUX I/O port

namespace {
const char* const kAuxPorts[] = {"AUX I/O PORT 1", "AUX I/O PORT 2", "AUX I/O PORT 3", "AUX I/O PORT 4",
                                 "AUX I/O PORT 5", "AUX I/O PORT 6", "AUX I/O PORT 7", "AUX I/O PORT 8",
                                 "AUX I/O PORT 9", nullptr};
const char* const kAuxPortRestrictions[] = {"?470", "?471", "?472", "?473", "?474", "?475", "?476", "?477", "?478"};
constexpr uint16_t kFirstAuxPort = 470;
}  // namespace

CLCD_PeripheralAdd_AuxIO::CLCD_PeripheralAdd_AuxIO(CLCD_MenuId id)
    : CLCD_PeripheralAdd_IOBase(id, "ADD AUX I/O PORT", "", OUTPUT) {
  m_Type.choice.choices = kAuxPorts;
  m_Type.choice.restrictions = kAuxPortRestrictions;
  wizard_number(&m_Width, "PORT WIDTH", "NUMBER", ">0,<10", nullptr);
  AddItem(&m_Width);
}

void CLCD_PeripheralAdd_AuxIO::Enter(CLCD_Manager* mgr) {
  CLCD_PeripheralAdd_IOBase::Enter(mgr);
  m_Width.number.value = 0;
}

void CLCD_PeripheralAdd_AuxIO::Finish(CLCD_Manager*) {
  const uint32_t top = Point();
  const uint32_t width = m_Width.number.value;
  // The pin chosen is the port's highest point.
  const uint32_t lowest = top + 1 >= width ? top + 1 - width : 0;
  pl_iterator records;
  records.Add(static_cast<uint16_t>(kFirstAuxPort + m_Type.choice.selected), "%X,%X,%X", lowest, m_wTarget, width);
}

// ---------------------------------------------------------------- the table-made pin pages

namespace {

const char* const kFans[] = {"INTAKE FANS", "PIXEL FANS", "FRONT FANS", nullptr};
const char* const kFanRestrictions[] = {"?510", "?518", "?526"};
const uint16_t kFanTypes[] = {510, 518, 526};
const char* const kFanStatus[] = {"INTAKE FAN STATUS", "PIXEL FAN STATUS", "FRONT FAN STATUS", nullptr};
const char* const kFanStatusRestrictions[] = {"?514", "?522", "?530"};
const uint16_t kFanStatusTypes[] = {514, 522, 530};
const char* const kHeaters[] = {"HEATERS", "MAINTENANCE HEATERS", nullptr};
const char* const kHeaterRestrictions[] = {"?534", "?542"};
const uint16_t kHeaterTypes[] = {534, 542};
const char* const kHeaterStatus[] = {"HEATERS STATUS RELAY", "MAINTENACE HEATERS STATUS RELAY", nullptr};
const char* const kHeaterStatusRestrictions[] = {"?538", "?546"};
const uint16_t kHeaterStatusTypes[] = {538, 546};
const char* const kGpo[] = {"GP OUTPUT 1", "GP OUTPUT 2", "GP OUTPUT 3", "GP OUTPUT 4", "GP OUTPUT 5",
                            "GP OUTPUT 6", "GP OUTPUT 7", "GP OUTPUT 8", "GP OUTPUT 9", "GP OUTPUT 10", nullptr};
const char* const kGpoRestrictions[] = {"?660", "?661", "?662", "?663", "?664",
                                        "?665", "?666", "?667", "?668", "?669"};
const uint16_t kGpoTypes[] = {660, 661, 662, 663, 664, 665, 666, 667, 668, 669};
const char* const kSupplies[] = {"POWERSUPPLY01", "POWERSUPPLY02", "POWERSUPPLY03", "POWERSUPPLY04", "POWERSUPPLY05",
                                 "POWERSUPPLY06", "POWERSUPPLY07", "POWERSUPPLY08", "POWERSUPPLY09", "POWERSUPPLY10",
                                 "POWERSUPPLY11", "POWERSUPPLY12", "POWERSUPPLY13", "POWERSUPPLY14", nullptr};
const char* const kSupplyRestrictions[] = {"?136", "?137", "?138", "?139", "?140", "?141", "?142",
                                           "?143", "?144", "?145", "?146", "?147", "?148", "?149"};
const uint16_t kSupplyTypes[] = {136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149};
const char* const kSurge[] = {"SURGE SUPPRESSOR 1", "SURGE SUPPRESSOR 2", "SURGE SUPPRESSOR 3",
                              "SURGE SUPPRESSOR 4", "SURGE SUPPRESSOR 5", "SURGE SUPPRESSOR 6", nullptr};
const char* const kSurgeRestrictions[] = {"?75", "?76", "?77", "?78", "?79", "?80"};
const uint16_t kSurgeTypes[] = {75, 76, 77, 78, 79, 80};
const char* const kBlankIndicator[] = {"BLANK INDICATOR 1", nullptr};
const uint16_t kBlankIndicatorTypes[] = {641};
// The power-supply inputs come with the larger module families.
constexpr uint8_t kGen4ModuleClass = 4;

using pin = CLCD_PeripheralAdd_Pin;
const pin::page_kind kFanPage = {"FAN CONTROL", "", pin::OUTPUT, kFans, kFanRestrictions, kFanTypes, pin::POINT_BOARD, 0};
const pin::page_kind kFanStatusPage = {"STATUS RELAY",       "", pin::INPUT, kFanStatus, kFanStatusRestrictions,
                                  kFanStatusTypes, pin::POINT_BOARD, 0};
const pin::page_kind kHeaterPage = {"ADD HEATERS", "",          pin::OUTPUT, kHeaters, kHeaterRestrictions,
                               kHeaterTypes,  pin::POINT_BOARD, 0};
const pin::page_kind kHeaterStatusPage = {"ADD HEATER MONITORING", "", pin::INPUT, kHeaterStatus,
                                     kHeaterStatusRestrictions, kHeaterStatusTypes, pin::POINT_BOARD, 0};
const pin::page_kind kGpoPage = {"ADD GENERAL PURPOSE OUTPUT", "", pin::OUTPUT, kGpo, kGpoRestrictions, kGpoTypes,
                            pin::POINT_BOARD, 0};
const pin::page_kind kGen4Page = {"ADD GEN4 PS", "", pin::INPUT, kSupplies, kSupplyRestrictions, kSupplyTypes,
                             pin::POINT_BOARD, kGen4ModuleClass};
const pin::page_kind kSurgePage = {"ADD SURGE SUPPRESSOR", "", pin::INPUT, kSurge, kSurgeRestrictions, kSurgeTypes,
                              pin::BOARD_MASK, 0};
const pin::page_kind kSwitchIndicatorPage = {"ADD SWITCH INDICATOR", "", pin::OUTPUT, kBlankIndicator, nullptr,
                                        kBlankIndicatorTypes, pin::POINT_BOARD, 0};

template <const pin::page_kind& S>
CMenuItem* create_pin_page(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) pin(id, S);
}

}  // namespace

const class_descriptor g_add_fans_class = {88, create_pin_page<kFanPage>};
const class_descriptor g_add_fan_status_class = {93, create_pin_page<kFanStatusPage>};
const class_descriptor g_add_heaters_class = {94, create_pin_page<kHeaterPage>};
const class_descriptor g_add_heater_status_class = {95, create_pin_page<kHeaterStatusPage>};
const class_descriptor g_add_gpo_class = {107, create_pin_page<kGpoPage>};
const class_descriptor g_add_gen4_ps_class = {108, create_pin_page<kGen4Page>};
const class_descriptor g_add_surge_class = {112, create_pin_page<kSurgePage>};
const class_descriptor g_add_switch_indicator_class = {103, create_pin_page<kSwitchIndicatorPage>};
const class_descriptor g_add_beacon_class = {99, create_page<CLCD_PeripheralAdd_Beacon>};
const class_descriptor g_add_door_class = {97, create_page<CLCD_PeripheralAdd_Doorsensor>};
const class_descriptor g_add_fan_airflow_class = {89, create_page<CLCD_PeripheralAdd_FanAirflow>};
const class_descriptor g_add_fan_rpm_class = {90, create_page<CLCD_PeripheralAdd_FanRPM>};
const class_descriptor g_add_misc_io_class = {109, create_page<CLCD_PeripheralAdd_MiscIO>};
const class_descriptor g_add_overheight_class = {101, create_page<CLCD_PeripheralAdd_Overheight>};
const class_descriptor g_add_switch_class = {102, create_page<CLCD_PeripheralAdd_Switch>};
const class_descriptor g_add_aux_io_class = {117, create_page<CLCD_PeripheralAdd_AuxIO>};
