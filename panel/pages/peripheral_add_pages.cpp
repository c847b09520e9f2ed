// The add wizards of devices that sit on a bus or a port of their own
// rather than on a pin: I/O boards, sensors, isolation boards and LVDBs,
// the controller link, the modem, the real-time data input and the UPS.
#include <cstring>

#include "database/objects.h"
#include "display/task/display.h"
#include "frame/trace/trace.h"
#include "panel/db_values.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"
#include "panel/pages/peripheral_wizards.h"
#include "peripherals/devices/can_peripheral.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/pl_iterator.h"

namespace {

// Where a CAN board is wired: its CAN driver selector.
const char* const kLocations[] = {"ON PRODUCT BOARD", "ON LOCAL CONTROL PANEL", nullptr};
uint32_t location_of(const CLCD_WizardItem& item) { return item.choice.selected == 1 ? 4 : 1; }
void location_item(CLCD_WizardItem* item) { wizard_choice(item, "LOCATION", kLocations); }

}  // namespace

// ---------------------------------------------------------------- DC I/O boards

namespace {
const char* const kDcioBoards[] = {
    "DC I/O 2",           "DC I/O 3",           "DC I/O 4",           "DC I/O 5",           "DC I/O 6",
    "HCB I/O 1",          "MINI DC I/O 1",      "MINI DC I/O 2",      "MINI DC I/O 3",      "MINI DC I/O 4",
    "MINI DC I/O 5",      "MINI DC I/O 6",      "MINI DC I/O LINE 1", "MINI DC I/O LINE 2", "MINI DC I/O LINE 3",
    "MINI DC I/O LINE 4", "MINI DC I/O LINE 5", "MINI DC I/O LINE 6", nullptr};
const char* const kDcioRestrictions[] = {"?51",  "?52",  "?53",  "?54",  "?56",  "?55",  "?590", "?591", "?592",
                                         "?593", "?594", "?595", "?170", "?171", "?172", "?173", "?174", "?175"};
const uint16_t kDcioTypes[] = {51, 52, 53, 54, 56, 55, 590, 591, 592, 593, 594, 595, 170, 171, 172, 173, 174, 175};
const uint32_t kDcioAddresses[] = {0x42202, 0x42203, 0x42204, 0x42205, 0x42206, 0x42201, 0x42221, 0x42222, 0x42223,
                                   0x42224, 0x42225, 0x42226, 0x42221, 0x42221, 0x42221, 0x42221, 0x42221, 0x42221};
const char* const kPortDirections[] = {"SWITCH 5 ON (TB5 AND TB8 INPUT)", "SWITCH 5 OFF (TB5 AND TB8 OUTPUT)",
                                       nullptr};
// Boards with a port-direction switch; the HCB's ports are fixed.
constexpr uint32_t kSwitchedBoards = 5;
constexpr uint32_t kFullBoards = 6;
constexpr uint32_t kFirstMini = 6;
constexpr uint32_t kPortIn = 0xF0;
constexpr uint32_t kPortOut = 0xFF;
}  // namespace

CLCD_PeripheralAdd_DCIO::CLCD_PeripheralAdd_DCIO(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "ADD DC I/O SENSOR", "AJOUTER CAPTEUR DC I/O", LCD_RIGHT_PERIPHERALS) {
  wizard_choice(&m_Board, m_pszTitle, kDcioBoards, kDcioRestrictions);
  wizard_choice(&m_Direction, "SELECT PORT DIRECTION", kPortDirections);
  location_item(&m_Location);
  AddItem(&m_Board);
  AddItem(&m_Direction);
  AddItem(&m_Location);
}

bool CLCD_PeripheralAdd_DCIO::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  if (item == &m_Board) {
    index = m_Board.choice.selected < kSwitchedBoards ? m_Direction.position : m_Location.position;
    return true;
  }
  return CLCD_SimpleWizardBase::GetNextItem(mgr, item, index);
}

void CLCD_PeripheralAdd_DCIO::Finish(CLCD_Manager*) {
  const uint32_t c = m_Board.choice.selected;
  if (c >= sizeof kDcioTypes / sizeof kDcioTypes[0]) return;
  const uint32_t address = kDcioAddresses[c];
  const uint32_t location = location_of(m_Location);
  pl_iterator records;
  if (c < kFullBoards) {
    // Ports 3 and 4 in, port 5 out, port 6 by the board's switch 5.
    const uint32_t port6 = m_Direction.choice.selected == 0 ? kPortIn : kPortOut;
    records.Add(kDcioTypes[c], "%X,%X,%X,%X,%X,%X", address, kPortIn, kPortIn, kPortOut, port6, location);
  } else if (c == kFirstMini) {
    records.Add(kDcioTypes[c], "%X,%X", address, location);
  } else {
    records.Add(kDcioTypes[c], "%X,%X,%X", address, location, c - kFirstMini);
  }
}

// ---------------------------------------------------------------- AC I/O board

namespace {
const char* const kAcio[] = {"AC I/O 1", nullptr};
const char* const kAcioRestrictions[] = {"?490"};
constexpr uint16_t kAcioType = 490;
constexpr uint32_t kAcioAddress = 0x42601;
}  // namespace

CLCD_PeripheralAdd_ACIO::CLCD_PeripheralAdd_ACIO(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "ADD AC I/O SENSOR", "", LCD_RIGHT_PERIPHERALS) {
  wizard_choice(&m_Board, m_pszTitle, kAcio, kAcioRestrictions);
  location_item(&m_Location);
  AddItem(&m_Board);
  AddItem(&m_Location);
}

void CLCD_PeripheralAdd_ACIO::Finish(CLCD_Manager*) {
  pl_iterator records;
  records.Add(kAcioType, "%X,%X", kAcioAddress, location_of(m_Location));
}

// ---------------------------------------------------------------- controller link

namespace {
const char* const kRoles[] = {"PRIMARY", "SECONDARY", nullptr};
constexpr uint16_t kPrimaryType = 792;
constexpr uint16_t kSecondaryType = 793;
constexpr uint32_t kLinkAddressBase = 0x5B000;
constexpr uint32_t kPrimaryAddress = 0x5B001;
constexpr uint32_t kLinkSelector = 8;
}  // namespace

CLCD_PeripheralAdd_CtrlComm::CLCD_PeripheralAdd_CtrlComm(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "ADD CONTROLLER COMM", "", LCD_RIGHT_PERIPHERALS) {
  wizard_choice(&m_Role, m_pszTitle, kRoles);
  wizard_number(&m_Address, "ENTER ADDRESS", "ADDRESS", ">1,<17", "FROM 2->16");
  AddItem(&m_Role);
  AddItem(&m_Address);
}

void CLCD_PeripheralAdd_CtrlComm::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_Address.number.value = 0;
}

bool CLCD_PeripheralAdd_CtrlComm::HasRights(CLCD_Manager* mgr) {
  return CMenuItem::HasRights(mgr) && !live_class(PCLASS_CTRL_PRIMARY) && !live_class(PCLASS_CTRL_SECONDARY);
}

bool CLCD_PeripheralAdd_CtrlComm::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  if (item == &m_Role && m_Role.choice.selected == 0) return false;
  return CLCD_SimpleWizardBase::GetNextItem(mgr, item, index);
}

void CLCD_PeripheralAdd_CtrlComm::Finish(CLCD_Manager*) {
  const bool secondary = m_Role.choice.selected == 1;
  pl_iterator records;
  records.Add(secondary ? kSecondaryType : kPrimaryType, "%X,%X",
              secondary ? kLinkAddressBase + m_Address.number.value : kPrimaryAddress, kLinkSelector);
}

// ---------------------------------------------------------------- runs of boards

namespace {
// The isolation boards and LVDBs come with this module family only.
constexpr uint8_t kBoardModuleClass = 4;
const CLCD_PeripheralAdd_Boards::page_kind kIsolationPage = {"ADD ISOLATION BOARD", 794, 8, 0x43001,
                                                        ">0,<9",               "FROM 1->8", true};
const CLCD_PeripheralAdd_Boards::page_kind kLvdbPage = {"ADD LVDB", 680, 20, 0x42A01, ">0,<21", "FROM 1->20", false};
}  // namespace

CLCD_PeripheralAdd_Boards::CLCD_PeripheralAdd_Boards(CLCD_MenuId id, const page_kind& s)
    : CLCD_SimpleWizardBase(id, s.title, "", LCD_RIGHT_PERIPHERALS), m_Kind(s) {
  wizard_number(&m_Count, s.title, "HOW MANY", s.rule, s.line8);
  AddItem(&m_Count);
  if (s.location) {
    location_item(&m_Location);
    AddItem(&m_Location);
  }
}

void CLCD_PeripheralAdd_Boards::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_Count.number.value = 0;
}

bool CLCD_PeripheralAdd_Boards::HasRights(CLCD_Manager* mgr) {
  return CMenuItem::HasRights(mgr) && module_type_class(lcd_nv(nv::quorModuleID)) == kBoardModuleClass;
}

void CLCD_PeripheralAdd_Boards::Finish(CLCD_Manager*) {
  pl_iterator records;
  for (uint32_t i = 0; i < m_Kind.most; ++i)
    while (records.Remove(static_cast<uint16_t>(m_Kind.first_type + i))) {
    }
  const uint32_t n = m_Count.number.value < m_Kind.most ? m_Count.number.value : m_Kind.most;
  for (uint32_t i = 0; i < n; ++i) {
    const auto type = static_cast<uint16_t>(m_Kind.first_type + i);
    if (m_Kind.location)
      records.Add(type, "%X,%X", m_Kind.first_address + i, location_of(m_Location));
    else
      records.Add(type, "%X,1", m_Kind.first_address + i);
  }
}

CLCD_PeripheralAdd_FET::CLCD_PeripheralAdd_FET(CLCD_MenuId id) : CLCD_PeripheralAdd_Boards(id, kIsolationPage) {}
CLCD_PeripheralAdd_LVDB::CLCD_PeripheralAdd_LVDB(CLCD_MenuId id) : CLCD_PeripheralAdd_Boards(id, kLvdbPage) {}

// ---------------------------------------------------------------- CAN sensors

namespace {
const char* const kAddressModes[] = {"DEFAULT (RECOMMENDED)", "SPECIFY", nullptr};
constexpr uint32_t kNoChoice = 0xFFFFFFFF;

const char* const kHumidity[] = {"AMBIENT", "SIGN1", "SIGN2", "SIGN3", "CABINET", nullptr};
const char* const kHumidityRestrictions[] = {"?630", "?631", "?633", "?634", "?632"};
const uint16_t kHumidityTypes[] = {630, 631, 633, 634, 632};
const uint32_t kHumidityAddresses[] = {0x42901, 0x42905, 0x42906, 0x42907, 0x42908};

const char* const kLight[] = {"AMBIENT",      "FRONT",        "REAR",         "LIGHT LINE 1",
                              "LIGHT LINE 2", "LIGHT LINE 3", "LIGHT LINE 4", "LIGHT LINE 5",
                              "LIGHT LINE 6", "LUX LIGHT LINE 1", nullptr};
const char* const kLightRestrictions[] = {"?1", "?2", "?3", "?150", "?151", "?152", "?153", "?154", "?155", "?156"};
const uint16_t kLightTypes[] = {1, 2, 3, 150, 151, 152, 153, 154, 155, 156};
// The lux line sensor answers where the first line's sensor does.
const uint32_t kLightAddresses[] = {0x42004, 0x42005, 0x42001, 0x42001, 0x42001,
                                    0x42001, 0x42001, 0x42001, 0x42001, 0x42001};
constexpr uint32_t kLightLine2 = 4;
constexpr uint32_t kLightLine2Base = 0x42010;

const char* const kTemp[] = {"EXTERNAL (AMBIENT)", "INTERNAL (SIGN1)",   "INTERNAL (SIGN2)",   "INTERNAL (SIGN3)",
                             "INTERNAL (CABINET)", "TEMPERATURE LINE 1", "TEMPERATURE LINE 2", "TEMPERATURE LINE 3",
                             "TEMPERATURE LINE 4", "TEMPERATURE LINE 5", "TEMPERATURE LINE 6", nullptr};
const char* const kTempRestrictions[] = {"?12",  "?13",  "?14",  "?15",  "?11", "?160",
                                         "?161", "?162", "?163", "?164", "?165"};
const uint16_t kTempTypes[] = {12, 13, 14, 15, 11, 160, 161, 162, 163, 164, 165};
const uint32_t kTempAddresses[] = {0x42101, 0x42105, 0x42106, 0x42107, 0x42108, 0x42101,
                                   0x42101, 0x42101, 0x42101, 0x42101, 0x42101};
// The ambient sensor of an HCB cabinet with walk-in access.
constexpr uint32_t kHcbAmbientAddress = 0x42104;
constexpr uint32_t kWalkInAccess = 2;

const CLCD_PeripheralAdd_Sensor::page_kind kHumidityPage = {
    "ADD HUMIDITY", "", kHumidity, kHumidityRestrictions, kHumidityTypes, kHumidityAddresses, 0x42900, 5, false,
    nullptr, kNoChoice, 0};
const CLCD_PeripheralAdd_Sensor::page_kind kLightPage = {"ADD LIGHT",
                                                    "AJOUTER CAPTEUR DE LUMINOSITE",
                                                    kLight,
                                                    kLightRestrictions,
                                                    kLightTypes,
                                                    kLightAddresses,
                                                    0x42000,
                                                    3,
                                                    false,
                                                    "AJOUTER CAPTEUR DE LUMINOSITE",
                                                    kLightLine2,
                                                    kLightLine2Base};
const CLCD_PeripheralAdd_Sensor::page_kind kTempPage = {
    "ADD TEMP", "", kTemp, kTempRestrictions, kTempTypes, kTempAddresses, 0x42100, 5, true, nullptr, kNoChoice, 0};
}  // namespace

CLCD_PeripheralAdd_Sensor::CLCD_PeripheralAdd_Sensor(CLCD_MenuId id, const page_kind& s)
    : CLCD_SimpleWizardBase(id, s.title, s.title_fr, LCD_RIGHT_PERIPHERALS), m_Kind(s) {
  wizard_choice(&m_Sensor, s.title, s.choices, s.restrictions);
  wizard_choice(&m_Mode, "SENSOR ADDRESS", kAddressModes);
  wizard_number(&m_Address, "SENSOR ADDRESS", "ADDRESS", "<17", "PRESS ENTER TO SAVE");
  location_item(&m_Location);
  for (CLCD_WizardItem* item : {&m_Sensor, &m_Mode, &m_Address, &m_Location}) AddItem(item);
}

void CLCD_PeripheralAdd_Sensor::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_Address.number.value = 0;
  const char* fr = m_Kind.item_title_fr;
  m_Sensor.choice.title = fr ? lcd_text(mgr, m_Kind.title, fr) : Title(mgr);
  m_Mode.choice.title = lcd_text(mgr, "SENSOR ADDRESS", fr);
  m_Address.number.title = lcd_text(mgr, "SENSOR ADDRESS", fr);
  m_Location.choice.title = lcd_text(mgr, "LOCATION", fr);
}

bool CLCD_PeripheralAdd_Sensor::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  if (item == &m_Mode) {
    index = m_Mode.choice.selected == 0 ? m_Location.position : m_Address.position;
    return true;
  }
  return CLCD_SimpleWizardBase::GetNextItem(mgr, item, index);
}

uint32_t CLCD_PeripheralAdd_Sensor::DefaultAddress(uint32_t choice) const {
  return m_Kind.default_addresses[choice];
}

uint32_t CLCD_PeripheralAdd_Sensor::Address() const {
  const uint32_t c = m_Sensor.choice.selected;
  if (m_Mode.choice.selected == 0) return DefaultAddress(c);
  return (c == m_Kind.odd_choice ? m_Kind.odd_base : m_Kind.specified_base) + m_Address.number.value;
}

void CLCD_PeripheralAdd_Sensor::Finish(CLCD_Manager*) {
  const uint32_t c = m_Sensor.choice.selected;
  if (c >= ChoiceCount(&m_Sensor)) return;
  const uint32_t location = location_of(m_Location);
  pl_iterator records;
  if (c < m_Kind.first_line)
    records.Add(m_Kind.types[c], "%X,%X", Address(), location);
  else
    records.Add(m_Kind.types[c], "%X,%X,%X", Address(), location,
                m_Kind.numbered_lines ? c - m_Kind.first_line + 1 : 1);
}

CLCD_PeripheralAdd_Humidity::CLCD_PeripheralAdd_Humidity(CLCD_MenuId id)
    : CLCD_PeripheralAdd_Sensor(id, kHumidityPage) {}
CLCD_PeripheralAdd_Light::CLCD_PeripheralAdd_Light(CLCD_MenuId id) : CLCD_PeripheralAdd_Sensor(id, kLightPage) {}
CLCD_PeripheralAdd_Temp::CLCD_PeripheralAdd_Temp(CLCD_MenuId id) : CLCD_PeripheralAdd_Sensor(id, kTempPage) {}

uint32_t CLCD_PeripheralAdd_Temp::DefaultAddress(uint32_t choice) const {
  if (choice == 0 && g_hcb_distribution_board && lcd_nv(nv::dmsSignAccess) == kWalkInAccess)
    return kHcbAmbientAddress;
  return CLCD_PeripheralAdd_Sensor::DefaultAddress(choice);
}

// ---------------------------------------------------------------- modem

namespace {
const char* const kModemEn[] = {"EXTERNAL DIALUP", nullptr};
const char* const kModemFr[] = {"ACCES PAR LIGNE COMMUTEE", nullptr};
const char* const kModemRestrictions[] = {"?620"};
const char* const kPortsEn[] = {"ON CENTRAL PORT", "ON AUXILIARY PORT", nullptr};
const char* const kPortsFr[] = {"SUR LE PORT MODEM EXTERNE", "SUR LE PORT ACCESSOIRE", nullptr};
constexpr uint16_t kModemType = 620;
constexpr uint32_t kCentralPort = 0;
constexpr uint32_t kAuxiliaryPort = 2;
}  // namespace

CLCD_PeripheralAdd_Modem::CLCD_PeripheralAdd_Modem(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "ADD MODEM", "AJOUTER MODEM", LCD_RIGHT_PERIPHERALS) {
  wizard_choice(&m_Kind, m_pszTitle, m_apszKind, kModemRestrictions);
  wizard_choice(&m_Port, m_pszTitle, m_apszPorts);
  m_Text.kind = WIZARD_TEXT;
  m_Text.text.buffer = m_szText;
  m_Text.text.per_line = 30;
  m_Text.text.lines = 3;
  AddItem(&m_Kind);
  AddItem(&m_Port);
  AddItem(&m_Text);
}

void CLCD_PeripheralAdd_Modem::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_apszKind[0] = lcd_text(mgr, kModemEn[0], kModemFr[0]);
  for (uint32_t i = 0; i < 2; ++i) m_apszPorts[i] = lcd_text(mgr, kPortsEn[i], kPortsFr[i]);
  m_Kind.choice.title = m_Port.choice.title = m_Text.text.title = Title(mgr);
  m_Text.text.label = lcd_text(mgr, "AT STR", "CMD AT");
  m_Text.text.line8 = lcd_text(mgr, "PRESS ENTER FOR DEFAULT OR TYPE STR", "ENTER POUR LA VALEUR PAR DEFAUT");
  m_szText[0] = 0;
}

bool CLCD_PeripheralAdd_Modem::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  // A text the record cannot hold is not taken: the page waits for a
  // shorter one.
  if (key && CurrentItem() == &m_Text && lcd_key_code(*key) == LCD_KEY_ENTER &&
      strnlen(m_szText, sizeof m_szText) > kMaxAtText)
    return true;
  return CLCD_SimpleWizardBase::HandleKey(mgr, key);
}

void CLCD_PeripheralAdd_Modem::Finish(CLCD_Manager*) {
  const uint32_t port = m_Port.choice.selected == 1 ? kAuxiliaryPort : kCentralPort;
  pl_iterator records;
  if (m_szText[0])
    records.Add(kModemType, "%X,%s\r", port, m_szText);
  else
    records.Add(kModemType, "%X", port);
}

// ---------------------------------------------------------------- real-time data

namespace {
const char* const kRtd[] = {"REAL TIME DATA INPUT", nullptr};
const char* const kRtdRestrictions[] = {"?760"};
constexpr uint16_t kRtdType = 760;
}  // namespace

CLCD_PeripheralAdd_RTD::CLCD_PeripheralAdd_RTD(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "ADD REAL TIME DATA", "", LCD_RIGHT_PERIPHERALS) {
  wizard_choice(&m_Kind, m_pszTitle, kRtd, kRtdRestrictions);
  AddItem(&m_Kind);
}

void CLCD_PeripheralAdd_RTD::Finish(CLCD_Manager*) {
  pl_iterator records;
  records.Add(kRtdType, "%s", "");
}

// ---------------------------------------------------------------- UPS

namespace {
const char* const kUpsModels[] = {"POWERCOM 750VA", "MINUTEMAN E SERIES", "CLARY 1000VA", "ALPHA FXM SERIES",
                                  "ALPHA 3000",     "TRIPP LITE",         nullptr};
const char* const kUpsBackup[] = {"UPS WILL NOT BACKUP DISPLAY", "UPS WILL BACKUP DISPLAY", nullptr};
constexpr uint16_t kFirstUps = 20;
constexpr uint32_t kAlphaFxm = 3;
}  // namespace

CLCD_PeripheralAdd_UPS::CLCD_PeripheralAdd_UPS(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "ADD UPS", "", LCD_RIGHT_PERIPHERALS) {
  wizard_choice(&m_Model, m_pszTitle, kUpsModels);
  wizard_choice(&m_Backup, m_pszTitle, kUpsBackup);
  AddItem(&m_Model);
  AddItem(&m_Backup);
}

bool CLCD_PeripheralAdd_UPS::HasRights(CLCD_Manager* mgr) {
  return CMenuItem::HasRights(mgr) && !live_class(PCLASS_UPS);
}

bool CLCD_PeripheralAdd_UPS::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  if (item == &m_Model && m_Model.choice.selected != kAlphaFxm) return false;
  return CLCD_SimpleWizardBase::GetNextItem(mgr, item, index);
}

void CLCD_PeripheralAdd_UPS::Finish(CLCD_Manager*) {
  pl_iterator records;
  const uint32_t model = m_Model.choice.selected;
  records.Add(static_cast<uint16_t>(kFirstUps + model), "%s", "");
  if (model == kAlphaFxm && m_Backup.choice.selected == 1) records.Add(PTYPE_SIGN_POWER_MODE, "%s", "");
}

// ---------------------------------------------------------------- factory

const class_descriptor g_add_dcio_class = {96, create_page<CLCD_PeripheralAdd_DCIO>};
const class_descriptor g_add_acio_class = {116, create_page<CLCD_PeripheralAdd_ACIO>};
const class_descriptor g_add_ctrl_comm_class = {115, create_page<CLCD_PeripheralAdd_CtrlComm>};
const class_descriptor g_add_isolation_class = {111, create_page<CLCD_PeripheralAdd_FET>};
const class_descriptor g_add_lvdb_class = {110, create_page<CLCD_PeripheralAdd_LVDB>};
const class_descriptor g_add_humidity_class = {105, create_page<CLCD_PeripheralAdd_Humidity>};
const class_descriptor g_add_light_class = {86, create_page<CLCD_PeripheralAdd_Light>};
const class_descriptor g_add_temp_class = {87, create_page<CLCD_PeripheralAdd_Temp>};
const class_descriptor g_add_modem_class = {104, create_page<CLCD_PeripheralAdd_Modem>};
const class_descriptor g_add_rtd_class = {113, create_page<CLCD_PeripheralAdd_RTD>};
const class_descriptor g_add_ups_class = {100, create_page<CLCD_PeripheralAdd_UPS>};
