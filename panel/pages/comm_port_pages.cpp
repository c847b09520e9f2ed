#include "panel/pages/comm_port_pages.h"

#include <cstdio>
#include <new>

#include "comm/ntcip_endpoint.h"
#include "database/database.h"
#include "frame/trace/trace.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"
#include "peripherals/clock.h"

namespace {

constexpr CLCD_FactoryType kBaudType = 70;
constexpr CLCD_FactoryType kProtocolType = 71;
constexpr CLCD_FactoryType kHandshakingType = 72;
constexpr CLCD_FactoryType kTrapsType = 73;
constexpr CLCD_FactoryType kTimeoutType = 74;
constexpr CLCD_FactoryType kStatusType = 75;

// Written after a port setting changed: the communication task rebuilds
// its endpoints from the stored settings.
constexpr uint32_t kReinitPorts = 4;
constexpr uint32_t kRestart = 1;
constexpr uint32_t kLargestTimeout = 32767;
constexpr uint8_t kStatusInterval = 4;

// The Ethernet speed words and duplex codes.
constexpr uint32_t kSpeed10 = 0x05000000;
constexpr uint32_t kSpeed100 = 0x32000000;
constexpr uint32_t kDuplexAuto = 4;
constexpr uint32_t kDuplexHalf = 5;
constexpr uint32_t kDuplexFull = 6;
struct ethernet_mode {
  uint32_t speed;  // 0: any
  uint32_t duplex;
};
constexpr ethernet_mode kEthernetModes[] = {
    {0, kDuplexAuto}, {kSpeed10, kDuplexHalf}, {kSpeed10, kDuplexFull}, {kSpeed100, kDuplexHalf}, {kSpeed100, kDuplexFull}};

using option_text = CLCD_ComPortOptions::option_text;

const option_text kSerialSpeeds[] = {{2400, "2400", ""},   {4800, "4800", ""},   {9600, "9600", ""},
                                     {19200, "19200", ""}, {28800, "28800", ""}, {38400, "38400", ""},
                                     {57600, "57600", ""}, {115200, "115200", ""}};
const option_text kEthernetSpeeds[] = {
    {0, "AUTO", ""}, {1, "10 HALF", ""}, {2, "10 FULL", ""}, {3, "100 HALF", ""}, {4, "100 FULL", ""}};

const option_text kCcpProtocols[] = {{2, "PMPP", ""}, {4, "PPP", ""}, {14, "M/A COM RADIO", ""}};
const option_text kEthernetProtocols[] = {
    {9, "PMPP TCP/IP", ""}, {10, "PPP TCP/IP", ""}, {11, "TCP/IP AND UDP/IP", ""}};
// The power-supply protocols that take the auxiliary port over.
const option_text kUpsProtocols[] = {{6, "POWERCOM", ""},    {7, "MINUTEMAN", ""},   {12, "CLARY", ""},
                                     {18, "ALPHA 2000", ""}, {19, "ALPHA 3500", ""}, {20, "TRIPPLITE", ""}};

const option_text kHandshakes[] = {{0, "NONE", ""},
                                   {1, "RTS TOGGLE", ""},
                                   {2, "RTS/DTR SET", ""},
                                   {3, "RTS SHAKE/DTR SET", ""},
                                   {7, "RTS SHAKE RS232E", ""},
                                   {8, "RTS SHAKE/NO DCD", ""}};

const option_text kSerialTraps[] = {{0, "DISABLE", "DESACTIVE"}, {1, "ENABLE", "ACTIVE"}};
const option_text kEthernetTraps[] = {{0, "DISABLE", "DESACTIVE"},
                                      {3, "ENABLE PUSH OVER UDP", "UDP"},
                                      {2, "ENABLE PUSH OVER TCP", "TCP"},
                                      {4, "ENABLE SOFTWARE PULL OVER TCP", "SERVEUR TCP"}};

template <uint32_t N>
const option_text* rows(const option_text (&table)[N], uint32_t* count) {
  *count = N;
  return table;
}

const option_text* find_text(const option_text* table, uint32_t count, uint32_t value) {
  for (uint32_t i = 0; i < count; ++i)
    if (table[i].value == value) return &table[i];
  return nullptr;
}

void reinit_ports() { lcd_set_nv(nv::quorCommPortReinit, kReinitPorts); }

struct port_endpoints {
  const char* pmpp;
  const char* ppp;
};
const port_endpoints kEndpoints[kLcdPorts] = {{"ccp_pmpp", "ccp_ppp"},
                                              {"aux_pmpp", "aux_ppp"},
                                              {"modem_pmpp", "modem_ppp"},
                                              {"laptop_pmpp", "laptop_ppp"},
                                              {"ethernet_pmpp", "ethernet_ppp"}};

}  // namespace

uint8_t lcd_port_of_menu(CLCD_MenuId id) {
  if (id >= 100 && id <= 105) return LCD_PORT_CCP;
  if (id >= 107 && id <= 112) return LCD_PORT_AUX;
  if (id >= 114 && id <= 119) return LCD_PORT_MODEM;
  if (id >= 121 && id <= 125) return LCD_PORT_LAPTOP;
  if ((id >= 127 && id <= 130) || id == 138) return LCD_PORT_ETHERNET;
  return LCD_PORT_CCP;
}

uint32_t lcd_port_endpoints(uint8_t port, uint32_t protocol, const char* names[2]) {
  if (port >= kLcdPorts) return 0;
  switch (protocol) {
    case 2:
    case 3:
    case 9:
      names[0] = kEndpoints[port].pmpp;
      return 1;
    case 4:
    case 5:
    case 10:
      names[0] = kEndpoints[port].ppp;
      return 1;
    case 11:
      names[0] = "ethernet_tcp";
      names[1] = "ethernet_udp";
      return 2;
    default:
      return 0;
  }
}

// ---------------------------------------------------------------- option lists

CLCD_ComPortOptions::CLCD_ComPortOptions(CLCD_MenuId id, const char* title, const char* title_fr)
    : CLCD_SimpleMenuBase(id, title, title_fr, LCD_RIGHT_COMMUNICATION) {}

void CLCD_ComPortOptions::SetPort(uint8_t port) {
  m_byPort = port < kLcdPorts ? port : 0;
  ClearOptions();
  uint32_t count = 0;
  const option_text* table = Options(m_byPort, &count);
  for (uint32_t i = 0; i < count && i < kMaxPortOptions; ++i) {
    m_aOptions[i] = CLCD_MenuOption(table[i].value, table[i].en, table[i].fr, 0);
    AddOption(&m_aOptions[i]);
  }
}

const char* CLCD_ComPortOptions::OtherText(CLCD_Manager*, uint32_t) const { return "OTHER"; }

void CLCD_ComPortOptions::DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t code = lcd_nv(Object());
  CLCD_MenuOption* option = nullptr;
  if (FindOption(code, &option))
    lcd->Printf(line, align, "%s", lcd_text(mgr, option->m_pszText, option->m_pszTextFr));
  else
    lcd->Printf(line, align, "%s", OtherText(mgr, code));
}

void CLCD_ComPortOptions::OnSelect(CLCD_Manager*, CLCD_MenuOption* option) {
  if (!option) return;
  lcd_set_nv(Object(), option->m_dwValue);
  reinit_ports();
}

// ---------------------------------------------------------------- speed

CLCD_ComConfigPort_Baud::CLCD_ComConfigPort_Baud(CLCD_MenuId id)
    : CLCD_ComPortOptions(id, "BAUD RATE", "DEBIT EN BAUDS") {}

const option_text* CLCD_ComConfigPort_Baud::Options(uint8_t port, uint32_t* count) const {
  return port == LCD_PORT_ETHERNET ? rows(kEthernetSpeeds, count) : rows(kSerialSpeeds, count);
}

db_object CLCD_ComConfigPort_Baud::Object() const {
  return m_byPort == LCD_PORT_ETHERNET ? nv::ifSpeed : nv::rs232PortInSpeed(m_byPort);
}

void CLCD_ComConfigPort_Baud::DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  if (m_byPort != LCD_PORT_ETHERNET) {
    lcd->Printf(line, align, "%d", static_cast<int>(lcd_nv(Object())));
    return;
  }
  const uint32_t speed = lcd_nv(nv::ifSpeed);
  const uint32_t duplex = lcd_nv(nv::quorCommConfigFlowControl(LCD_PORT_ETHERNET));
  for (uint32_t i = 0; i < sizeof kEthernetModes / sizeof kEthernetModes[0]; ++i) {
    const ethernet_mode& m = kEthernetModes[i];
    if (m.duplex == duplex && (m.speed == 0 || m.speed == speed)) {
      lcd->Printf(line, align, "%s", lcd_text(mgr, kEthernetSpeeds[i].en, kEthernetSpeeds[i].fr));
      return;
    }
  }
}

void CLCD_ComConfigPort_Baud::OnSelect(CLCD_Manager*, CLCD_MenuOption* option) {
  if (!option) return;
  if (m_byPort != LCD_PORT_ETHERNET) {
    // The communication task applies a new speed on its change letter.
    lcd_set_nv(Object(), option->m_dwValue);
    return;
  }
  if (option->m_dwValue >= sizeof kEthernetModes / sizeof kEthernetModes[0]) return;
  const ethernet_mode& m = kEthernetModes[option->m_dwValue];
  if (m.speed) lcd_set_nv(nv::ifSpeed, m.speed);
  lcd_set_nv(nv::quorCommConfigFlowControl(LCD_PORT_ETHERNET), m.duplex);
  // The link mode is set only when the network starts.
  lcd_set_nv(nv::dmsSWReset, kRestart);
}

// ---------------------------------------------------------------- protocol

CLCD_ComConfigPort_Protocol::CLCD_ComConfigPort_Protocol(CLCD_MenuId id)
    : CLCD_ComPortOptions(id, "PROTOCOL", "PROTOCOLE") {}

const option_text* CLCD_ComConfigPort_Protocol::Options(uint8_t port, uint32_t* count) const {
  if (port == LCD_PORT_ETHERNET) return rows(kEthernetProtocols, count);
  // Ports other than the CCP lack the radio mode.
  const option_text* table = rows(kCcpProtocols, count);
  if (port != LCD_PORT_CCP) *count = 2;
  return table;
}

db_object CLCD_ComConfigPort_Protocol::Object() const { return nv::quorCommConfigProtocol(m_byPort); }

const char* CLCD_ComConfigPort_Protocol::OtherText(CLCD_Manager*, uint32_t code) const {
  if (m_byPort == LCD_PORT_AUX) {
    if (const option_text* ups = find_text(kUpsProtocols, sizeof kUpsProtocols / sizeof kUpsProtocols[0], code))
      return ups->en;
  }
  return "OTHER";
}

// ---------------------------------------------------------------- handshaking

CLCD_ComConfigPort_Handshaking::CLCD_ComConfigPort_Handshaking(CLCD_MenuId id)
    : CLCD_ComPortOptions(id, "HANDSHAKING", "ETABLISSEMENT DE LIAISON") {}

const option_text* CLCD_ComConfigPort_Handshaking::Options(uint8_t, uint32_t* count) const {
  return rows(kHandshakes, count);
}

db_object CLCD_ComConfigPort_Handshaking::Object() const { return nv::quorCommConfigFlowControl(m_byPort); }

// ---------------------------------------------------------------- traps

CLCD_ComConfigPort_Traps::CLCD_ComConfigPort_Traps(CLCD_MenuId id)
    : CLCD_ComPortOptions(id, "TRAPS", "DEROUTEMENTS") {}

const option_text* CLCD_ComConfigPort_Traps::Options(uint8_t port, uint32_t* count) const {
  return port == LCD_PORT_ETHERNET ? rows(kEthernetTraps, count) : rows(kSerialTraps, count);
}

db_object CLCD_ComConfigPort_Traps::Object() const { return nv::quorCommConfigTraps(m_byPort); }

const char* CLCD_ComConfigPort_Traps::OtherText(CLCD_Manager* mgr, uint32_t) const {
  return lcd_text(mgr, "OTHER", "AUTRE");
}

// ---------------------------------------------------------------- time-out

CLCD_ComConfigPort_Timeout::CLCD_ComConfigPort_Timeout(CLCD_MenuId id)
    : CLCD_SimpleNumberEntry(id, "TIMEOUT", "DELAIS D'ATTENTE", LCD_RIGHT_COMMUNICATION) {
  m_pszLabel = "MILLISECONDS";
  m_pszLabelFr = "MILLISECONDES";
  m_pszRestriction = "< 32768ms";
  m_pszRestrictionFr = "< 32768ms";
}

void CLCD_ComConfigPort_Timeout::DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t ms = lcd_nv(nv::quorCommConfigInnerCharTimeout(m_byPort));
  if (ms)
    lcd->Printf(line, align, "%dms", static_cast<int>(ms));
  else
    lcd->Printf(line, align, "%s", lcd_text(mgr, "DEFAULT", "DEFAUT"));
}

void CLCD_ComConfigPort_Timeout::StoreValue(CLCD_Manager*) {
  lcd_set_nv(nv::quorCommConfigInnerCharTimeout(m_byPort), m_dwValue);
  reinit_ports();
}

bool CLCD_ComConfigPort_Timeout::ValidateValue(CLCD_Manager*) { return m_dwValue <= kLargestTimeout; }

// ---------------------------------------------------------------- status

namespace {
const option_text kStatusLines[CLCD_ComConfigPort_Status::kLines] = {
    {0, "COMM RX CNT", "NOMBRE DE COMM RECU"},         {1, "COMM TX CNT", "NOMBRE DE COMM TRANSMIS"},
    {2, "COMM BYTES DROPPED", "NOMBRE D'OCTETS PERDU"}, {3, "COMM BYTES INVALID", "NOMBRE D'OCTETS INVALIDE"},
    {4, "CALLER ID NUMBER", "NUMERO D'APPELANT"},       {5, "CALLER ID TIME", "HEURE DE L'APPEL"}};
constexpr uint32_t kCounterLines = 4;

uint32_t counter(uint32_t kind, const char* endpoint) {
  switch (kind) {
    case 0: return CNTCIP::GetRxCount(endpoint);
    case 1: return CNTCIP::GetTxCount(endpoint);
    case 2: return CNTCIP::GetBytesDropped(endpoint);
    default: return CNTCIP::GetBytesInvalid(endpoint);
  }
}
}  // namespace

CLCD_ComConfigPort_Status::CLCD_ComConfigPort_Status(CLCD_MenuId id)
    : CLCD_SimpleMenuBase(id, "STATUS", "STATUT", LCD_RIGHT_COMMUNICATION) {
  // The lines are for reading only.
  m_byAutoNavigate = 0;
}

void CLCD_ComConfigPort_Status::SetPort(uint8_t port) {
  m_byPort = port < kLcdPorts ? port : 0;
  m_byRedrawInterval = kStatusInterval;
  ClearOptions();
  const uint8_t board = lcd_product_board();
  const bool caller = m_byPort == LCD_PORT_MODEM && board != 5 && board != 6;
  const uint32_t lines = caller ? kLines : kCounterLines;
  for (uint32_t i = 0; i < lines; ++i) {
    m_aLines[i] = CLCD_MenuOption(kStatusLines[i].value, kStatusLines[i].en, kStatusLines[i].fr, 0);
    AddOption(&m_aLines[i]);
  }
}

void CLCD_ComConfigPort_Status::DrawOptionValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t index, uint32_t line,
                                                uint8_t align) {
  if (!lcd || index >= m_dwOptionCount) return;
  const uint32_t kind = m_apOptions[index]->m_dwValue;
  if (kind < kCounterLines) {
    const char* names[2] = {};
    const uint32_t n = lcd_port_endpoints(m_byPort, lcd_nv(nv::quorCommConfigProtocol(m_byPort)), names);
    if (n == 0) return;
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n; ++i) sum += counter(kind, names[i]);
    lcd->Printf(line, align, "%u ", sum);
    return;
  }
  uint32_t length = 0;
  const uint8_t* number =
      g_pDataBase ? g_pDataBase->GetString(nv::quorCallerIDNumber.offset, 4, g_pDataBase->mib_nv, &length) : nullptr;
  if (!number || length == 0) {
    lcd->Printf(line, align, "%s", lcd_text(mgr, "N/A ", "ND  "));
    return;
  }
  if (kind == 4) {
    lcd->Printf(line, align, "%.*s ", static_cast<int>(length), reinterpret_cast<const char*>(number));
    return;
  }
  // The call was logged in UTC; shown in local time.
  const uint32_t logged = lcd_nv(nv::quorCallerIDTime);
  const uint32_t offset = db_global_time() - lcd_v(vol::controllerLocalTime);
  monitor_printf_debug("logged caller gmtime:%d, local offset:%d\n", static_cast<int>(logged),
                       static_cast<int>(offset));
  clock_date d{};
  CClock::SecondsToDate(logged - offset, &d);
  lcd->Printf(line, align, "%02u/%02u/%02u %02u:%02u ", static_cast<unsigned>(d.month + 1),
              static_cast<unsigned>(d.day), static_cast<unsigned>(d.year % 100), static_cast<unsigned>(d.hours),
              static_cast<unsigned>(d.minutes));
}

// ---------------------------------------------------------------- factory

namespace {
template <class Page>
CMenuItem* create_port_page(CLCD_MenuId id, uint32_t) {
  Page* page = new (std::nothrow) Page(id);
  if (page) page->SetPort(lcd_port_of_menu(id));
  return page;
}
}  // namespace

const class_descriptor g_com_port_baud_class = {kBaudType, create_port_page<CLCD_ComConfigPort_Baud>};
const class_descriptor g_com_port_protocol_class = {kProtocolType, create_port_page<CLCD_ComConfigPort_Protocol>};
const class_descriptor g_com_port_handshaking_class = {kHandshakingType,
                                                       create_port_page<CLCD_ComConfigPort_Handshaking>};
const class_descriptor g_com_port_traps_class = {kTrapsType, create_port_page<CLCD_ComConfigPort_Traps>};
const class_descriptor g_com_port_timeout_class = {kTimeoutType, create_port_page<CLCD_ComConfigPort_Timeout>};
const class_descriptor g_com_port_status_class = {kStatusType, create_port_page<CLCD_ComConfigPort_Status>};
