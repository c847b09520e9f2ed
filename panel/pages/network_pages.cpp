#include "panel/pages/network_pages.h"

#include <new>

#include "comm/comm_task.h"
#include "database/database.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kOptionsType = 76;
constexpr CLCD_FactoryType kModeType = 77;
constexpr CLCD_FactoryType kCtrlAddressType = 78;
constexpr CLCD_FactoryType kCtrlPortType = 79;
constexpr CLCD_FactoryType kCtrlSubnetType = 80;
constexpr CLCD_FactoryType kCtrlGatewayType = 81;
constexpr CLCD_FactoryType kCentralAddressType = 84;
constexpr CLCD_FactoryType kCentralPortType = 85;
constexpr CLCD_FactoryType kTelnetType = 146;
constexpr CLCD_FactoryType kWebLcdType = 147;
constexpr CLCD_FactoryType kIcmpType = 148;
constexpr CLCD_FactoryType kNtpType = 154;
constexpr CLCD_FactoryType kNtpServerType = 155;
constexpr CLCD_FactoryType kNtpPollType = 156;

constexpr uint32_t kModeStatic = 1;
constexpr uint32_t kModeDhcp = 2;

constexpr uint32_t kBitIcmp = 0x04;
constexpr uint32_t kBitTelnet = 0x08;
constexpr uint32_t kBitWebLcd = 0x10;
constexpr uint32_t kBitNtp = 0x40;

const char* const kServiceChoices[] = {"DISABLE", "ENABLE", nullptr};

struct address_row {
  const char* title;
  const char* title_fr;
  db_object object;
  bool in_volatile;
  // Taken from DHCP in mode 2, and only read when the network starts.
  bool from_dhcp;
  bool restarts;
};
const address_row kAddresses[] = {
    {"CONTROLLER IP ADDRESS", "ADRESSE IP LOCALE", vol::ipAdEntAddr, true, true, true},
    {"CONTROLLER SUBNET", "MASQUE SOUS-RESEAU", vol::ipAdEntNetMask, true, true, true},
    {"CONTROLLER GATEWAY", "PASSERELLE", vol::ipRouteDest, true, true, true},
    {"CENTRAL IP ADDRESS", "IP DU CENTRAL", nv::quorRemoteIPAddress, false, false, false},
    {"NTP SERVER IP ADDRESS", "", nv::quorNTPIPAddress, false, false, true},
};

struct number_row {
  const char* title;
  const char* title_fr;
  db_object object;
  const char* label;
  const char* label_fr;
};
const number_row kNumbers[] = {
    {"CONTROLLER IP PORT", "PORT IP LOCAL", nv::quorHostIPPort, "PORT", "PORT"},
    {"CENTRAL IP PORT", "PORT IP DU CENTRAL", nv::quorRemoteIPPort, "PORT", "PORT"},
    {"NTP POLL TIME (MINUTES)", "", nv::quorNTPPollTime, nullptr, nullptr},
};

void print_address(CLCD* lcd, uint32_t line, uint8_t align, uint32_t a, char mark) {
  lcd->Printf(line, align, "%u.%u.%u.%u%c", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF, mark);
}

}  // namespace

void lcd_set_feature_bit(uint32_t bit, bool on) {
  if (!g_pDataBase) return;
  const uint32_t features = lcd_nv(nv::quorFeatureSet);
  g_pDataBase->SetValue(nv::quorFeatureSet.offset, nv::quorFeatureSet.width, on ? features | bit : features & ~bit,
                        g_pDataBase->mib_nv, 0);
}

// ---------------------------------------------------------------- the list

CLCD_EthernetOptions::CLCD_EthernetOptions(CLCD_MenuId id) : CLCD_MenuItemEx(id, "IP SETTINGS", "PARAMETRES IP") {
  m_pszFooter = "* = TAKES EFFECT ON NEXT BOOT";
  m_pszFooterFr = "* = NECESSITE UN REDEMARAGE";
}

void CLCD_EthernetOptions::Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id) {
  CLCD_MenuItemEx::Deactivate(mgr, new_id);
  for (CMenuItem* sub : m_apSubMenus)
    if (sub && sub->m_iId == new_id) return;
  for (CMenuItem* sub : m_apSubMenus) {
    const CLCD_RestartSetting* setting = dynamic_cast<const CLCD_RestartSetting*>(sub);
    if (setting && setting->AwaitsRestart()) {
      g_post_office.Publish(MSG_NETWORK_CONFIG_CHANGED);
      return;
    }
  }
}

// ---------------------------------------------------------------- addresses

CLCD_NetworkAddress::CLCD_NetworkAddress(CLCD_MenuId id, kind_e kind)
    : CLCD_SimpleIPAddrBase(id, kAddresses[kind].title, kAddresses[kind].title_fr, LCD_RIGHT_COMMUNICATION),
      m_eKind(kind) {}

uint32_t CLCD_NetworkAddress::InUse() const {
  switch (m_eKind) {
    case CONTROLLER_ADDRESS: return interface_settings.address;
    case CONTROLLER_SUBNET: return interface_settings.mask;
    case CONTROLLER_GATEWAY: return interface_settings.gateway;
    case NTP_SERVER: return interface_settings.sntp_server;
    default: return lcd_nv(kAddresses[m_eKind].object);
  }
}

void CLCD_NetworkAddress::Activate(CLCD_Manager* mgr) {
  CLCD_SimpleIPAddrBase::Activate(mgr);
  m_byLocked = kAddresses[m_eKind].from_dhcp && lcd_nv(nv::quorEthernetMode) == kModeDhcp ? 1 : 0;
}

void CLCD_NetworkAddress::LoadValue() { m_dwCurrent = InUse(); }

void CLCD_NetworkAddress::StoreValue(CLCD_Manager*) {
  const address_row& row = kAddresses[m_eKind];
  if (!g_pDataBase) return;
  g_pDataBase->SetValue(row.object.offset, row.object.width, m_dwEntered,
                        row.in_volatile ? g_pDataBase->mib_v : g_pDataBase->mib_nv, DB_NOTIFY);
}

void CLCD_NetworkAddress::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  if (m_eKind != CENTRAL_ADDRESS && m_byChanged)
    print_address(lcd, line, align, m_dwEntered, '*');
  else
    print_address(lcd, line, align, InUse(), ' ');
}

bool CLCD_NetworkAddress::AwaitsRestart() const { return kAddresses[m_eKind].restarts && m_byChanged; }

// ---------------------------------------------------------------- ports and poll time

CLCD_NetworkNumber::CLCD_NetworkNumber(CLCD_MenuId id, kind_e kind)
    : CLCD_SimpleNumberEntry(id, kNumbers[kind].title, kNumbers[kind].title_fr, LCD_RIGHT_COMMUNICATION),
      m_eKind(kind) {
  if (kNumbers[kind].label) {
    m_pszLabel = kNumbers[kind].label;
    m_pszLabelFr = kNumbers[kind].label_fr;
  }
  m_pszRestriction = "MIN 1, MAX 65535";
  m_pszRestrictionFr = "MIN 1, MAX 65535";
}

void CLCD_NetworkNumber::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const char mark = m_eKind == CONTROLLER_PORT && m_byChanged ? '*' : ' ';
  lcd->Printf(line, align, "%d%c", static_cast<int>(lcd_nv(kNumbers[m_eKind].object)), mark);
}

void CLCD_NetworkNumber::StoreValue(CLCD_Manager*) {
  lcd_set_nv(kNumbers[m_eKind].object, m_dwValue);
  if (m_eKind != CENTRAL_PORT) m_byChanged = 1;
}

bool CLCD_NetworkNumber::ValidateValue(CLCD_Manager*) { return m_dwValue >= 1 && m_dwValue <= 65535; }

// The poll time is read by the SNTP client as it goes; the SNMP port only
// when the servers start.
bool CLCD_NetworkNumber::AwaitsRestart() const { return m_eKind == CONTROLLER_PORT && m_byChanged; }

// ---------------------------------------------------------------- address mode

CLCD_EthernetMode::CLCD_EthernetMode(CLCD_MenuId id)
    : CLCD_SimpleMenuBase(id, "ETHERNET MODE", "ADRESSE ETHERNET", LCD_RIGHT_COMMUNICATION),
      m_Static(kModeStatic, "STATIC", "STATIQUE", 0),
      m_Dynamic(kModeDhcp, "DYNAMIC", "DYNAMIQUE", 0) {
  AddOption(&m_Static);
  AddOption(&m_Dynamic);
}

void CLCD_EthernetMode::DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const CLCD_MenuOption& o = lcd_nv(nv::quorEthernetMode) == kModeDhcp ? m_Dynamic : m_Static;
  lcd->Printf(line, align, "%s", lcd_text(mgr, o.m_pszText, o.m_pszTextFr));
}

void CLCD_EthernetMode::OnSelect(CLCD_Manager*, CLCD_MenuOption* option) {
  if (option) lcd_set_nv(nv::quorEthernetMode, option->m_dwValue);
}

// ---------------------------------------------------------------- services

CLCD_ServiceEnable::CLCD_ServiceEnable(CLCD_MenuId id, const char* title, uint32_t bit, bool restarts)
    : CLCD_SimpleWizardBase(id, title, "", LCD_RIGHT_COMMUNICATION), m_dwBit(bit), m_bRestarts(restarts) {
  m_Item.kind = WIZARD_CHOICE;
  m_Item.choice.title = title;
  m_Item.choice.choices = kServiceChoices;
  m_Item.choice.per_page = 6;
  AddItem(&m_Item);
}

void CLCD_ServiceEnable::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  lcd->Printf(line, align, "%s%s", (lcd_nv(nv::quorFeatureSet) & m_dwBit) ? "ENABLE" : "DISABLE",
              m_byChanged ? "*" : " ");
}

void CLCD_ServiceEnable::Finish(CLCD_Manager*) {
  m_byChanged = 1;
  lcd_set_feature_bit(m_dwBit, Enabled());
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_options(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_EthernetOptions(id); }
CMenuItem* create_mode(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_EthernetMode(id); }
template <CLCD_NetworkAddress::kind_e K>
CMenuItem* create_address(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_NetworkAddress(id, K);
}
template <CLCD_NetworkNumber::kind_e K>
CMenuItem* create_number(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_NetworkNumber(id, K);
}
CMenuItem* create_telnet(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_ServiceEnable(id, "TELNET INTERFACE", kBitTelnet, false);
}
CMenuItem* create_web_lcd(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_ServiceEnable(id, "WEB LCD INTERFACE", kBitWebLcd, true);
}
CMenuItem* create_icmp(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_ServiceEnable(id, "ICMP(PING) INTERFACE", kBitIcmp, false);
}
CMenuItem* create_ntp(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_ServiceEnable(id, "NTP INTERFACE", kBitNtp, true);
}
}  // namespace

const class_descriptor g_ethernet_options_class = {kOptionsType, create_options};
const class_descriptor g_ethernet_mode_class = {kModeType, create_mode};
const class_descriptor g_ctrl_ip_address_class = {kCtrlAddressType,
                                                  create_address<CLCD_NetworkAddress::CONTROLLER_ADDRESS>};
const class_descriptor g_ctrl_ip_port_class = {kCtrlPortType, create_number<CLCD_NetworkNumber::CONTROLLER_PORT>};
const class_descriptor g_ctrl_subnet_class = {kCtrlSubnetType, create_address<CLCD_NetworkAddress::CONTROLLER_SUBNET>};
const class_descriptor g_ctrl_gateway_class = {kCtrlGatewayType,
                                               create_address<CLCD_NetworkAddress::CONTROLLER_GATEWAY>};
const class_descriptor g_central_ip_address_class = {kCentralAddressType,
                                                     create_address<CLCD_NetworkAddress::CENTRAL_ADDRESS>};
const class_descriptor g_central_ip_port_class = {kCentralPortType, create_number<CLCD_NetworkNumber::CENTRAL_PORT>};
const class_descriptor g_telnet_enable_class = {kTelnetType, create_telnet};
const class_descriptor g_web_lcd_enable_class = {kWebLcdType, create_web_lcd};
const class_descriptor g_icmp_enable_class = {kIcmpType, create_icmp};
const class_descriptor g_ntp_enable_class = {kNtpType, create_ntp};
const class_descriptor g_ntp_ip_address_class = {kNtpServerType, create_address<CLCD_NetworkAddress::NTP_SERVER>};
const class_descriptor g_ntp_poll_time_class = {kNtpPollType, create_number<CLCD_NetworkNumber::NTP_POLL_TIME>};
