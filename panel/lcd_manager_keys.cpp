// Keys: the keypad with its multi-tap letters, the PS/2 keyboard, the
// shortcuts of the function keys and the quick arrow messages.
#include <cstdio>
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "panel/lcd_manager.h"

namespace {

constexpr uint32_t kQuickEntry = 499;  // changeable message 500
constexpr uint32_t kQuickMessages = 8;
constexpr uint32_t kQuickSettleTicks = 20;
constexpr uint8_t kStatusNotUsed = 1;
constexpr uint8_t kStatusModifying = 2;
constexpr uint8_t kStatusValid = 4;
constexpr uint8_t kStatusModifyReq = 6;
constexpr uint8_t kStatusValidateReq = 7;
constexpr uint8_t kStatusNotUsedReq = 8;
constexpr uint8_t kMemoryChangeable = 3;

// The pages of each quick message, in order.
const char* const kQuickPages[kQuickMessages][4] = {
    {"ChevronLeft3", "Blank", "ChevronLeft1", "ChevronLeft2"},
    {"ChevronRight3", "Blank", "ChevronRight1", "ChevronRight2"},
    {"ArrowLeft3", "Blank", "ArrowLeft1", "ArrowLeft2"},
    {"ArrowRight3", "Blank", "ArrowRight1", "ArrowRight2"},
    {"ArrowDouble3", "Blank", "ArrowDouble1", "ArrowDouble2"},
    {"ArrowDouble3", "Blank", nullptr, nullptr},
    {"ArrowLeft3", "Blank", nullptr, nullptr},
    {"ArrowRight3", "Blank", nullptr, nullptr},
};

uint32_t get_nv(db_object o) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_nv, 0) : 0;
}

}  // namespace

// The MULTI text of quick message n: bitmaps of 21 x 40 for a character
// matrix sign, else of 27 x 48.
void lcd_quick_message_text(uint32_t n, bool character_matrix, char* out, uint32_t size) {
  if (!out || size == 0) return;
  out[0] = 0;
  if (n >= kQuickMessages) return;
  const char* suffix = character_matrix ? "_21x40.bmp" : "_27x48.bmp";
  uint32_t used = static_cast<uint32_t>(std::snprintf(out, size, "[pt6o0]"));
  for (uint32_t page = 0; page < 4 && kQuickPages[n][page] && used < size; ++page) {
    used += static_cast<uint32_t>(std::snprintf(out + used, size - used, "%s[ms11,g,0,0,%s%s]", page ? "[np]" : "",
                                                kQuickPages[n][page], suffix));
  }
}

void CLCD_Manager::ReloadLogoutCountdown() {
  m_dwLogoutCountdown = 2 * get_nv(nv::fdotDmsPanelLogoutTime);
}

void CLCD_Manager::KeyActivity() {
  lcd_set_led(LCD_LED_BUSY, 1);
  if (m_byBacklightOption) m_Lcd.BacklightOn(m_byBacklightSetting);
  if (IsLoggedIn()) ReloadLogoutCountdown();
}

void CLCD_Manager::HandleKeypadKey(uint8_t k) {
  uint32_t count = 0;
  const LCDKeyEvent* list = lcd_keypad_events(k, &count);
  if (!list || count == 0) return;
  KeyActivity();
  LCDKeyEvent event;
  if (k == m_byLastRawKey) {
    if (m_byTapIndex >= count) m_byTapIndex = 0;
    event = list[m_byTapIndex];
    const bool single = k == LCD_PAD_CANCEL || k == LCD_PAD_ENTER || k >= LCD_PAD_RIGHT;
    if (single)
      event = static_cast<LCDKeyEvent>(event & ~LCD_KEY_FLAG_REPLACE);
    else
      event = static_cast<LCDKeyEvent>(event | LCD_KEY_FLAG_REPLACE);
  } else {
    if (k == LCD_PAD_RIGHT && !m_byKey12Pass) {
      m_byLastRawKey = 0xFF;
      return;
    }
    event = static_cast<LCDKeyEvent>(list[0] & ~LCD_KEY_FLAG_REPLACE);
    m_byTapIndex = 0;
  }
  m_byLastRawKey = k;
  event = static_cast<LCDKeyEvent>(event & ~LCD_KEY_FLAG_CTRL);
  if (!m_pCurrentMenu) return;
  LCDKeyEvent key = event;
  if (!m_pCurrentMenu->HandleKey(this, &key) && lcd_key_code(event) == LCD_KEY_ESC)
    ActivateMenu(LCD_MENU_PARENT, m_pCurrentMenu, true);
}

void CLCD_Manager::HandleKeyboardByte(uint8_t b) {
  if (!m_Keyboard.FeedScanCode(b)) return;
  m_byLastRawKey = 0xFF;
  KeyActivity();
  LCDKeyEvent event = 0;
  while (m_Keyboard.GetKey(&event)) {
    if (!m_pCurrentMenu) continue;
    LCDKeyEvent key = event;
    if (!m_pCurrentMenu->HandleKey(this, &key)) UnhandledKey(event, true);
  }
}

void CLCD_Manager::UnhandledKey(LCDKeyEvent key, bool) {
  const uint16_t code = lcd_key_code(key);
  if (lcd_key_flags(key) & LCD_KEY_FLAG_CTRL) {
    if (code >= LCD_KEY_F1 && code < LCD_KEY_F1 + kQuickMessages) QuickMessage(code - LCD_KEY_F1);
    return;
  }
  CLCD_MenuId target = -1;
  switch (code) {
    case LCD_KEY_ESC:
      ActivateMenu(LCD_MENU_PARENT, m_pCurrentMenu, true);
      return;
    case LCD_KEY_F1 + 1: target = LCD_MENU_RUN_SAVED_MESSAGE; break;
    case LCD_KEY_F1 + 2: target = LCD_MENU_BLANK_DISPLAY; break;
    case LCD_KEY_F1 + 3:
      FindFreeSlot();
      return;
    case LCD_KEY_F1 + 5: target = LCD_MENU_DELETE_MESSAGE; break;
    case LCD_KEY_F1 + 6: target = LCD_MENU_QUICK_SCHEDULE; break;
    case LCD_KEY_F1 + 7: target = LCD_MENU_BRIGHTNESS; break;
    case LCD_KEY_F1 + 8: target = LCD_MENU_DIAGNOSTICS; break;
    case LCD_KEY_F1 + 9: target = LCD_MENU_CONFIGURATION; break;
    case LCD_KEY_F1 + 10: target = LCD_MENU_MESSAGE_CONTROL; break;
    case LCD_KEY_F1 + 11: target = LCD_MENU_MAIN; break;
    default: return;
  }
  ActivateMenu(target, m_pCurrentMenu, false);
}

void CLCD_Manager::QuickMessage(uint32_t n) {
  if (n >= kQuickMessages || !g_pDataBase) return;
  CDataBase& db = *g_pDataBase;
  if (get_nv(nv::dmsMessageStatus(kQuickEntry)) != kStatusNotUsed &&
      !SetMessageStatus(kQuickEntry, kStatusNotUsedReq, kStatusNotUsed)) {
    monitor_printf("Failed to free changeable 500\n");
    return;
  }
  if (!SetMessageStatus(kQuickEntry, kStatusModifyReq, kStatusModifying)) {
    monitor_printf("Failed to modify changeable 500\n");
    return;
  }
  const uint32_t sign_type = get_nv(nv::dmsSignType);
  char text[256];
  lcd_quick_message_text(n, sign_type == 4 || sign_type == 0x84, text, sizeof text);
  db.SetString(nv::dmsMessageMultiString(kQuickEntry).offset, 4, text, static_cast<uint32_t>(std::strlen(text)),
               db.mib_nv, DB_NOTIFY);
  db.SetValue(nv::dmsMessageRunTimePriority(kQuickEntry).offset, 1, 255, db.mib_nv, DB_NOTIFY);
  if (!SetMessageStatus(kQuickEntry, kStatusValidateReq, kStatusValid)) {
    monitor_printf("Failed to validate changeable 500\n");
    return;
  }
  tx_thread_sleep(kQuickSettleTicks);
  SetActivationTarget(kMemoryChangeable, kQuickEntry + 1);
  ActivateMenu(LCD_MENU_RUN_OPTIONS, m_pCurrentMenu, false);
}
