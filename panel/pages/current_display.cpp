#include "panel/pages/current_display.h"

#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "display/codes/msg_codes.h"
#include "frame/os/os.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr uint8_t kControlModeLocal = 2;
constexpr uint32_t kPanelWidth = 240;
constexpr uint32_t kTitleHeightLimit = 48;
constexpr uint32_t kFullHeight = 49;
constexpr CLCD_MenuId kMenuMultiString = 20;
enum : uint8_t { MEM_OTHER = 1, MEM_BLANK = 7 };

CDataBase* db() { return g_pDataBase; }
uint32_t nv_value(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_nv, 0) : 0; }
uint32_t v_value(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_v, 0) : 0; }

bool wide_sign() { return nv_value(nv::vmsSignWidthPixels) > kPanelWidth; }

}  // namespace

void lcd_set_show_frames(CLCD_Manager* mgr, uint8_t mode) {
  if (mgr->m_bDisplayMutexCreated && os_mutex_get(&mgr->m_DisplayMutex, OS_WAIT_FOREVER) == OS_SUCCESS) {
    mgr->m_byShowFrames = mode;
    os_mutex_put(&mgr->m_DisplayMutex);
  } else {
    mgr->m_byShowFrames = mode;
  }
}

// ---------------------------------------------------------------- live picture

CLCD_CurrentDisplay::CLCD_CurrentDisplay(CLCD_MenuId id)
    : CMenuItem(id, "CURRENT DISPLAY", "CURRENT DISPLAY", 0, 0) {}

void CLCD_CurrentDisplay::Activate(CLCD_Manager* mgr) {
  CMenuItem::Activate(mgr);
  m_dwSavedKey12 = mgr->m_byKey12Pass;
  mgr->m_byKey12Pass = 1;
  m_byView = VIEW_LEFT;
  m_wCountdown = static_cast<uint16_t>(2 * nv_value(nv::fdotDmsPanelLogoutTime));
  m_bySavedLayout = mgr->m_byScreenLayout;
  // A tall picture leaves no room for the title: how much of the panel's
  // decoration stays depends on the width the picture takes.
  if (nv_value(nv::vmsSignHeightPixels) >= kFullHeight) {
    const uint32_t width = nv_value(nv::vmsSignWidthPixels);
    mgr->m_byScreenLayout = width < 193 ? 0 : width <= 208 ? 1 : width <= 224 ? 2 : 3;
  }
}

void CLCD_CurrentDisplay::Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id) {
  lcd_set_show_frames(mgr, 0);
  mgr->m_byKey12Pass = static_cast<uint8_t>(m_dwSavedKey12);
  CMenuItem::Deactivate(mgr, new_id);
  mgr->m_byScreenLayout = m_bySavedLayout;
}

bool CLCD_CurrentDisplay::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  m_wCountdown = static_cast<uint16_t>(2 * nv_value(nv::fdotDmsPanelLogoutTime));
  switch (lcd_key_code(*key)) {
    case LCD_KEY_ENTER:
      lcd_set_show_frames(mgr, 0);
      mgr->ActivateMenu(kMenuMultiString, this, false);
      return true;
    case LCD_KEY_ESC:
      lcd_set_show_frames(mgr, 0);
      mgr->ActivateMenu(LCD_MENU_PARENT, this, true);
      return true;
    case LCD_KEY_LEFT:
      if (wide_sign()) {
        m_byView = VIEW_LEFT;
        mgr->RequestRedraw(LCD_DRAW_FULL);
      }
      return true;
    case LCD_KEY_RIGHT:
      if (wide_sign()) {
        m_byView = VIEW_RIGHT;
        mgr->RequestRedraw(LCD_DRAW_FULL);
      }
      return true;
    default:
      return false;
  }
}

void CLCD_CurrentDisplay::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  // Outside local control the page leaves by itself after a while.
  if (v_value(vol::dmsControlMode) != kControlModeLocal && m_wCountdown != 0) {
    if (--m_wCountdown == 0) {
      mgr->m_byAutoExit = 1;
      return;
    }
  }
  if (mode != LCD_DRAW_FULL) return;
  if (nv_value(nv::vmsSignHeightPixels) < kTitleHeightLimit) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  lcd_set_show_frames(mgr, m_byView);
}

// ---------------------------------------------------------------- MULTI text

CLCD_CurrentMultiString::CLCD_CurrentMultiString(CLCD_MenuId id)
    : CMenuItem(id, "MULTI MESSAGE STRING", "", 0, 0) {}

void CLCD_CurrentMultiString::Enter(CLCD_Manager*) { m_dwPage = 1; }

bool CLCD_CurrentMultiString::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  switch (lcd_key_code(*key)) {
    case LCD_KEY_ENTER:
    case LCD_KEY_ESC:
      mgr->ActivateMenu(LCD_MENU_PARENT, this, false);
      return true;
    case LCD_KEY_UP:
      if (m_dwPage > 1) --m_dwPage;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      return true;
    case LCD_KEY_DOWN:
      ++m_dwPage;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      return true;
    default:
      return false;
  }
}

uint32_t CLCD_CurrentMultiString::FetchText() {
  m_szText[0] = 0;
  if (!db()) return 0;
  uint32_t length = 0;
  const uint8_t* bytes = db()->GetString(nv::dmsMsgTableSource.offset, 4, db()->mib_nv, &length);
  CMsgIDCode id;
  if (!id.Decode(bytes, length) || id.m_byMemoryType == MEM_BLANK || id.m_byMemoryType == MEM_OTHER) return 0;
  bytes = db()->GetString(nv::currentBufferMultiString.offset, 4, db()->mib_nv, &length);
  if (!bytes) return 0;
  if (length > sizeof m_szText - 1) length = sizeof m_szText - 1;
  std::memcpy(m_szText, bytes, length);
  m_szText[length] = 0;
  return length;
}

bool CLCD_CurrentMultiString::DrawPage(CLCD* lcd, uint32_t page) {
  if (page == 0) return false;
  const uint32_t length = FetchText();
  const uint32_t rows = (length + kRowChars - 1) / kRowChars;
  bool drawn = false;
  for (uint32_t slot = 0; slot < kRows; ++slot) {
    const uint32_t r = kRows * (page - 1) + slot;
    if (r < rows) {
      lcd->PrintfLine(slot + 2, LCD_ALIGN_LEFT, "%.38s", m_szText + kRowChars * r);
      drawn = true;
    } else {
      // The rows of a longer page shown before must not stay.
      lcd->ClearLine(slot + 2);
    }
  }
  if (kRows * page < rows)
    lcd->Printf(8, LCD_ALIGN_CENTRE, "(MORE)");
  else
    lcd->Printf(8, LCD_ALIGN_CENTRE, "%17s", "");
  return drawn;
}

void CLCD_CurrentMultiString::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  // Past the end of the text: back to the last page that has rows.
  if (!DrawPage(lcd, m_dwPage) && m_dwPage > 1) {
    --m_dwPage;
    DrawPage(lcd, m_dwPage);
    mgr->RequestRedraw(LCD_DRAW_PARTIAL);
  }
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_current_display(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_CurrentDisplay(id); }
CMenuItem* create_current_multi(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_CurrentMultiString(id); }
}  // namespace

const class_descriptor g_current_display_class = {3, create_current_display};
const class_descriptor g_current_multi_string_class = {4, create_current_multi};
