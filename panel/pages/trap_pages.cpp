#include "panel/pages/trap_pages.h"

#include <cstring>
#include <new>

#include "comm/ntcip_endpoint.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_keys.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kTrapConfigType = 56;
constexpr CLCD_FactoryType kRdiOptionsType = 68;
constexpr CLCD_FactoryType kRdiSettingsType = 69;

constexpr uint32_t kRadioProtocol = 14;
constexpr uint32_t kCentralPort = 0;
constexpr CLCD_MenuId kControllerAddressPage = 132;

struct trap_switch {
  const char* text;
  uint8_t byte;
  uint8_t mask;
};
// Three pages of six lines; the last page has two empty lines.
constexpr uint32_t kTrapLines = 18;
const trap_switch kTraps[kTrapLines] = {
    {"1) MAX TEMP REACHED", 0, 0x01},
    {"2) DOOR OPENED", 0, 0x02},
    {"3) POWER SUPPLY FAILURE", 0, 0x04},
    {"4) LOCAL SERIAL PORT CONNECTED", 0, 0x10},
    {"5) LOCAL SERIAL PORT DISCONNECTED", 0, 0x20},
    {"6) REACTIVATE TEMP REACHED", 0, 0x40},
    {"1) UPS RUNNING OFF BATTERY POWER", 0, 0x80},
    {"2) UPS RUNNING OFF AC POWER", 1, 0x01},
    {"3) CONTROLLER IN CENTRAL MODE", 1, 0x08},
    {"4) CONTROLLER IN LOCAL MODE", 1, 0x10},
    {"5) FAN FAILURES", 1, 0x20},
    {"6) PIXEL FAILURES", 1, 0x40},
    {"1) EVENT LOG 9/10 FULL", 1, 0x80},
    {"2) UPS BATTERY LOW", 2, 0x01},
    {"3) COLD START", 2, 0x02},
    {"4) WARM START", 2, 0x04},
    {nullptr, 0, 0},
    {nullptr, 0, 0},
};

void make_number(CLCD_WizardItem* item, const char* title, const char* label, const char* rule) {
  item->kind = WIZARD_NUMBER;
  item->number.title = title;
  item->number.label = label;
  item->number.rule = rule;
  item->number.restriction = rule;
  item->number.line8 = "PRESS ENTER TO SAVE";
}

}  // namespace

// ---------------------------------------------------------------- RDI list

CLCD_RDIOptions::CLCD_RDIOptions(CLCD_MenuId id) : CLCD_MenuItemEx(id, "RDI OPTIONS", "RDI OPTIONS") {
  m_dwRights = LCD_RIGHT_COMMUNICATION;
  m_pszFooter = "* = TAKES EFFECT ON NEXT BOOT";
  m_pszFooterFr = "* = NECESSITE UN REDEMARAGE";
}

bool CLCD_RDIOptions::HasRights(CLCD_Manager* mgr) {
  return CMenuItem::HasRights(mgr) && lcd_nv(nv::quorCommConfigProtocol(kCentralPort)) == kRadioProtocol;
}

void CLCD_RDIOptions::Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id) {
  CLCD_MenuItemEx::Deactivate(mgr, new_id);
  for (uint32_t i = 0; i < m_dwSubMenuCount; ++i)
    if (m_apSubMenus[i] && m_apSubMenus[i]->m_iId == new_id) return;
  auto* address = dynamic_cast<CLCD_SimpleIPAddrBase*>(mgr->FindMenu(kControllerAddressPage, nullptr));
  if (address && address->m_byChanged) g_post_office.Publish(MSG_NETWORK_CONFIG_CHANGED);
}

// ---------------------------------------------------------------- RDI settings

CLCD_RDISettings::CLCD_RDISettings(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "LID, ACK2, RETRIES", "LID, ACK2, RETRIES", LCD_RIGHT_CONFIGURATION) {
  make_number(&m_LogicalId, "LOGICAL ID", "ID", "<65536");
  make_number(&m_Timeout, "ACK2 TIMEOUT", "MILLISECONDS", "<65536");
  make_number(&m_Retries, "NUMBER OF RETRIES", "COUNT", "<5");
  AddItem(&m_LogicalId);
  AddItem(&m_Timeout);
  AddItem(&m_Retries);
}

void CLCD_RDISettings::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_LogicalId.number.value = 0;
  m_Timeout.number.value = 0;
  m_Retries.number.value = 0;
}

void CLCD_RDISettings::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (lcd)
    lcd->Printf(line, align, "%d,%d,%d ", static_cast<int>(lcd_nv(nv::quorRdiLid)),
                static_cast<int>(lcd_nv(nv::quorRdiAck2Timeout)), static_cast<int>(lcd_nv(nv::quorRdiRetries)));
}

void CLCD_RDISettings::Finish(CLCD_Manager*) {
  lcd_set_nv(nv::quorRdiLid, m_LogicalId.number.value);
  lcd_set_nv(nv::quorRdiAck2Timeout, m_Timeout.number.value);
  lcd_set_nv(nv::quorRdiRetries, m_Retries.number.value);
  // The running link takes what the database kept, without a restart.
  CNTCIP::SetPMPPParameters(nullptr, "ccp_pmpp", lcd_nv(nv::quorCommConfigInnerCharTimeout(kCentralPort)),
                            static_cast<uint16_t>(lcd_nv(nv::quorRdiAck2Timeout)),
                            static_cast<uint8_t>(lcd_nv(nv::quorRdiRetries)), lcd_nv(nv::quorRemoteIPAddress),
                            static_cast<uint16_t>(lcd_nv(nv::quorRdiLid)));
}

// ---------------------------------------------------------------- traps

CLCD_TrapConfig::CLCD_TrapConfig(CLCD_MenuId id)
    : CLCD_SwitchList(id, "TRAP CONFIGURATION", "", LCD_RIGHT_CONFIGURATION, 3) {}

void CLCD_TrapConfig::Enter(CLCD_Manager* mgr) {
  CLCD_SwitchList::Enter(mgr);
  m_byPageCount = 3;
  std::memset(m_abyBits, 0, sizeof m_abyBits);
  if (g_pDataBase) {
    uint32_t n = 0;
    const uint8_t* p = g_pDataBase->GetString(nv::quorTrapsEnterpriseSpecific.offset, 4, g_pDataBase->mib_nv, &n);
    if (p) std::memcpy(m_abyBits, p, n < kBytes ? n : kBytes);
  }
}

bool CLCD_TrapConfig::Toggle(uint32_t index) {
  if (index >= kTrapLines || !kTraps[index].text) return false;
  const trap_switch& t = kTraps[index];
  m_abyBits[t.byte] ^= t.mask;
  // Stored without its trailing zero bytes: all off is an empty string.
  uint32_t length = kBytes;
  while (length > 0 && m_abyBits[length - 1] == 0) --length;
  if (g_pDataBase)
    g_pDataBase->SetString(nv::quorTrapsEnterpriseSpecific.offset, 4, m_abyBits, length, g_pDataBase->mib_nv,
                           DB_NOTIFY);
  return true;
}

void CLCD_TrapConfig::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (!lcd || mode == LCD_DRAW_REFRESH) return;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  for (uint32_t i = 0; i < kPerPage; ++i) {
    const uint32_t line = i + 2;
    const uint32_t index = m_byPage * kPerPage + i;
    const trap_switch& t = kTraps[index < kTrapLines ? index : kTrapLines - 1];
    if (!t.text) {
      lcd->ClearLine(line);
      continue;
    }
    lcd->PrintfLine(line, LCD_ALIGN_LEFT, "%-35s%3s", t.text, (m_abyBits[t.byte] & t.mask) ? "ON" : "OFF");
  }
  lcd_draw_page_arrows(lcd, m_byPage, m_byPageCount - 1u, kArrowX);
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_rdi_options(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_RDIOptions(id); }
CMenuItem* create_rdi_settings(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_RDISettings(id); }
CMenuItem* create_trap_config(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_TrapConfig(id); }
}  // namespace

const class_descriptor g_rdi_options_class = {kRdiOptionsType, create_rdi_options};
const class_descriptor g_rdi_settings_class = {kRdiSettingsType, create_rdi_settings};
const class_descriptor g_trap_config_class = {kTrapConfigType, create_trap_config};
