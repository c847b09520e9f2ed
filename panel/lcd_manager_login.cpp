// Login, logout and the panel's local mode.
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "frame/os/os.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/lcd_traps.h"

namespace {

constexpr uint8_t kControlModeLocal = 2;
constexpr uint8_t kControlModeCentral = 4;
constexpr uint8_t kControlModeOverride = 5;
// Notify, without the write hook.
constexpr uint32_t kControlModeFlags = DB_NOTIFY | DB_NO_VALIDATE;

const char* const kKeypadGroups[] = {"1&.%*+-\\@:$^?~#()", "2abcABC", "3defDEF", "4ghiGHI",   "5jklJKL",
                                     "6mnoMNO",           "7pqrsPQRS", "8tuvTUV", "9wxyzWXZY", "0 "};

uint32_t control_mode() {
  return g_pDataBase ? g_pDataBase->GetValue(vol::dmsControlMode.offset, 1, g_pDataBase->mib_v, 0) : 0;
}
void set_control_mode(uint8_t mode) {
  if (g_pDataBase)
    g_pDataBase->SetValue(vol::dmsControlMode.offset, 1, mode, g_pDataBase->mib_v, kControlModeFlags);
}

bool equivalent(const char* a, uint32_t la, const char* b, uint32_t lb) {
  if (la != lb) return false;
  for (uint32_t i = 0; i < la; ++i)
    if (CLCD_Manager::KeypadGroupOf(a[i]) != CLCD_Manager::KeypadGroupOf(b[i])) return false;
  return true;
}

bool equivalent_to_object(const char* text, uint32_t length, db_object o) {
  uint32_t stored = 0;
  const uint8_t* name = g_pDataBase->GetString(o.offset, 4, g_pDataBase->mib_nv, &stored);
  return equivalent(text, length, reinterpret_cast<const char*>(name), stored);
}

}  // namespace

bool CLCD_Manager::Login(int32_t level) {
  if (level < 0) return false;
  m_iLevel = level;
  m_dwRights = lcd_rights_of_level(level);
  ReloadLogoutCountdown();
  CMenuItem* login = FindMenu(LCD_MENU_LOGIN, nullptr);
  if (CMenuItem* main = FindMenu(LCD_MENU_MAIN, nullptr)) main->m_pParent = login;
  ActivateMenu(LCD_MENU_MAIN, login, false);
  m_Lcd.LocalIndicatorOn();
  return true;
}

void CLCD_Manager::Logout() {
  m_iLevel = LCD_LEVEL_LOGGED_OUT;
  m_dwRights = 0;
  m_dwLogoutCountdown = 0;
  if (control_mode() != kControlModeOverride) set_control_mode(kControlModeCentral);
  ActivateMenu(LCD_MENU_LOGIN, m_pCurrentMenu, false);
  m_Lcd.LocalIndicatorOff();
}

void CLCD_Manager::EnterLocalMode() {
  lcd_send_panel_trap(LCD_TRAP_LOCAL_MODE);
  if (m_byBacklightOption) m_Lcd.BacklightOn(m_byBacklightSetting);
  m_Lcd.LocalIndicatorOn();
  ReloadLogoutCountdown();
  set_control_mode(kControlModeLocal);
}

void CLCD_Manager::LeaveLocalMode() {
  if (m_bDisplayMutexCreated && os_mutex_get(&m_DisplayMutex, OS_WAIT_FOREVER) == OS_SUCCESS) {
    m_byShowFrames = 0;
    os_mutex_put(&m_DisplayMutex);
  } else {
    m_byShowFrames = 0;
  }
  if (m_byBacklightOption) m_Lcd.BacklightOn(m_byBacklightSetting);
  m_Lcd.LocalIndicatorOff();
  set_control_mode(kControlModeCentral);
  lcd_send_panel_trap(LCD_TRAP_CENTRAL_MODE);
  Logout();
}

char CLCD_Manager::KeypadGroupOf(char c) {
  if (c == 0) return 0;
  for (const char* group : kKeypadGroups)
    if (std::strchr(group, c)) return group[0];
  return 0;
}

bool CLCD_Manager::KeypadEquivalent(const char* a, const char* b) {
  if (!a || !b) return false;
  return equivalent(a, static_cast<uint32_t>(std::strlen(a)), b, static_cast<uint32_t>(std::strlen(b)));
}

bool CLCD_Manager::IsPasswordUnique(const char* text) {
  if (!text || !g_pDataBase) return true;
  const uint32_t length = static_cast<uint32_t>(std::strlen(text));
  if (equivalent_to_object(text, length, nv::communityNameAdmin)) return false;
  for (uint32_t i = 0; i < LCD_COMMUNITIES; ++i)
    if (equivalent_to_object(text, length, nv::communityNameUser(i))) return false;
  return true;
}
