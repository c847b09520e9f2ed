#include "panel/pages/page_classes.h"
#include "panel/pages/login.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "display/codes/msg_codes.h"
#include "display/driver/module_type.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/menu_bases.h"
#include "panel/pages/version_text.h"
#include "peripherals/clock.h"

namespace {

constexpr uint8_t kControlModeLocal = 2;
constexpr uint8_t kControlModeOverride = 5;
constexpr uint32_t kFeatureCellular = 0x20;
constexpr uint32_t kSpecialRamDatabase = 0x800;
constexpr uint8_t kPixelTestRunning = 3;
constexpr uint32_t kStatusItems = 6;
constexpr uint32_t kIconX = 232;
constexpr uint32_t kIconY = 56;
// The key switch, 8 x 8.
const uint8_t kKeySwitchIcon[8] = {0x00, 0x60, 0x90, 0x9F, 0x95, 0x60, 0x00, 0x00};

CDataBase* db() { return g_pDataBase; }
uint32_t nv_value(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_nv, 0) : 0; }
uint32_t v_value(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_v, 0) : 0; }
const char* nv_string(db_object o, uint32_t* length) {
  *length = 0;
  if (!db()) return "";
  return reinterpret_cast<const char*>(db()->GetString(o.offset, 4, db()->mib_nv, length));
}

bool local_mode() { return v_value(vol::dmsControlMode) == kControlModeLocal; }

const char* pick(const CLCD_Manager* mgr, const char* en, const char* fr) {
  return mgr->m_dwLanguage == 1 ? fr : en;
}

}  // namespace

CLCD_Login::CLCD_Login() : CMenuItem(LCD_MENU_LOGIN, "", "", 0, 0) {}

void CLCD_Login::Enter(CLCD_Manager*) {
  m_dwKeyCount = 0;
  m_byWrong = 0;
  m_byWrongCountdown = 0;
  m_byStatusItem = 0;
  m_byStatusHold = 0;
}

void CLCD_Login::Activate(CLCD_Manager* mgr) {
  m_bySavedKey12Pass = mgr->m_byKey12Pass;
  CMenuItem::Activate(mgr);
  mgr->m_byKey12Pass = 1;
}

void CLCD_Login::Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id) {
  CMenuItem::Deactivate(mgr, new_id);
  mgr->m_byKey12Pass = m_bySavedKey12Pass;
}

// ---------------------------------------------------------------- passwords

bool CLCD_Login::MatchString(const char* text, uint32_t length) const {
  if (!text || length != m_dwKeyCount) return false;
  for (uint32_t i = 0; i < length; ++i) {
    const uint16_t code = lcd_key_code(m_aKeys[i]);
    const uint8_t c = static_cast<uint8_t>(text[i]);
    if (lcd_key_flags(m_aKeys[i]) & LCD_KEY_FLAG_KEYPAD) {
      if (keypad_digit_of(code) != keypad_digit_of(c)) return false;
    } else if (code != c) {
      return false;
    }
  }
  return true;
}

bool CLCD_Login::MatchNumber(uint32_t number) const {
  // ENTER alone is no PIN, whatever the stored number.
  if (m_dwKeyCount == 0) return false;
  uint32_t value = 0;
  for (uint32_t i = 0; i < m_dwKeyCount; ++i) {
    const uint16_t code = lcd_key_code(m_aKeys[i]);
    int32_t digit = -1;
    if (lcd_key_flags(m_aKeys[i]) & LCD_KEY_FLAG_KEYPAD)
      digit = keypad_digit_of(code);
    else if (code >= '0' && code <= '9')
      digit = code - '0';
    if (digit < 0) return false;
    // A longer entry must not wrap round onto the PIN.
    if (value > (UINT32_MAX - static_cast<uint32_t>(digit)) / 10) return false;
    value = value * 10 + static_cast<uint32_t>(digit);
  }
  return value == number;
}

int32_t CLCD_Login::CheckPassword() {
  uint32_t length = 0;
  const char* admin = nv_string(nv::communityNameAdmin, &length);
  if (length && MatchString(admin, length)) return LCD_LEVEL_ADMIN;
  if (MatchNumber(nv_value(nv::quorLCDAdminPassword))) return LCD_LEVEL_ADMIN_PIN;
  if (MatchNumber(nv_value(nv::quorLCDPassword))) return LCD_LEVEL_USER_PIN;
  for (uint32_t i = 0; i < LCD_COMMUNITIES; ++i) {
    const char* name = nv_string(nv::communityNameUser(i), &length);
    if (length && MatchString(name, length)) return LCD_LEVEL_COMMUNITY + static_cast<int32_t>(i);
  }
  return LCD_LEVEL_LOGGED_OUT;
}

// ---------------------------------------------------------------- keys

bool CLCD_Login::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  const uint16_t code = lcd_key_code(*key);
  if (lcd_key_is_function(*key)) return true;
  if (m_byWrong) {
    Enter(mgr);
    mgr->RequestRedraw(LCD_DRAW_PARTIAL);
    return true;
  }
  if (local_mode()) {
    if (code == LCD_KEY_BACKSPACE || code == LCD_KEY_LEFT) {
      if (m_dwKeyCount) --m_dwKeyCount;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      return true;
    }
    if (code == LCD_KEY_ESC) {
      m_dwKeyCount = 0;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      return true;
    }
    if (code >= 0x20 && code <= 0xFF) {
      if (m_dwKeyCount < kMaxKeys) m_aKeys[m_dwKeyCount++] = *key;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      return true;
    }
    if (code == LCD_KEY_ENTER) {
      const int32_t level = CheckPassword();
      if (level >= 0) {
        mgr->Login(level);
      } else {
        m_byWrong = 1;
        m_byWrongCountdown = kWrongTicks;
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      return true;
    }
  } else if (code == LCD_KEY_RIGHT) {
    if (CMenuItem* view = mgr->FindMenu(LCD_MENU_CURRENT_DISPLAY, nullptr)) view->m_pParent = this;
    mgr->ActivateMenu(LCD_MENU_CURRENT_DISPLAY, this, false);
    return true;
  }
  if (code == LCD_KEY_DOWN) {
    mgr->m_Lcd.SetContrast(0);
    return true;
  }
  if (code == LCD_KEY_UP) {
    mgr->m_Lcd.SetContrast(1);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- drawing

void CLCD_Login::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  const bool french = mgr->m_dwLanguage == 1;
  if (m_byWrongCountdown) {
    if (--m_byWrongCountdown == 0) {
      Enter(mgr);
      mgr->ShowCursor(true, 4, 17);
      // The entry line comes back in place of the invalid-password text.
      if (mode == LCD_DRAW_REFRESH) mode = LCD_DRAW_PARTIAL;
    }
  }

  // The local time.
  clock_date date{};
  CClock::SecondsToDate(v_value(vol::controllerLocalTime), &date);
  uint32_t hours = date.hours;
  const char* suffix = "";
  if (!french) {
    suffix = "AM ";
    if (hours == 0) {
      hours = 12;
    } else if (hours == 12) {
      suffix = "PM ";
    } else if (hours > 12) {
      hours -= 12;
      suffix = "PM ";
    }
  }
  lcd->PrintfField(6, 1, LCD_ALIGN_CENTRE, "%02d:%02d:%02d %s%02d/%02d/%d", static_cast<int>(hours),
                   static_cast<int>(date.minutes), static_cast<int>(date.seconds), suffix,
                   static_cast<int>(date.month + 1), static_cast<int>(date.day), static_cast<int>(date.year + 1900));

  // The rotating status line.
  if (mode == LCD_DRAW_FULL || m_byStatusHold == 0) {
    DrawStatusItem(mgr, lcd);
    m_byStatusHold = kHoldCalls;
  } else {
    --m_byStatusHold;
  }

  const uint32_t control = v_value(vol::dmsControlMode);
  const char* state = control == kControlModeLocal      ? pick(mgr, "LOCAL MODE - LOGGED OUT", "MODE LOCAL - SESSION FERMEE")
                      : control == kControlModeOverride ? pick(mgr, "REMOTE OVERRIDE - LOGGED OUT", "PRISE DE CONTROLE A DISTANCE")
                                                        : pick(mgr, "REMOTE MODE - LOGGED OUT", "MODE A DISTANCE - SESSION FERMEE");
  lcd->PrintfField(8, 1, LCD_ALIGN_CENTRE, "%s", state);

  if (nv_value(nv::quorSpecialFeatureSet) & kSpecialRamDatabase)
    lcd->PrintfLine(2, LCD_ALIGN_CENTRE, "RAM DATABASE");
  else
    lcd->ClearLine(2);

  if (mode == LCD_DRAW_REFRESH) return;

  if (m_byWrong) {
    mgr->ShowCursor(false, 4, 17);
    lcd->PrintfAt(4, 7, "%s", french ? "  MOT DE PASSE INVALIDE   " : "     INVALID PASSWORD     ");
    return;
  }
  if (mode == LCD_DRAW_FULL) DrawSignDescription(mgr, lcd);

  if (control == kControlModeLocal) {
    char entry[kMaxKeys + 1];
    for (uint32_t i = 0; i < kMaxKeys; ++i) entry[i] = i < m_dwKeyCount ? '*' : '_';
    entry[kMaxKeys] = 0;
    lcd->PrintfAt(4, 7, "%s%s", french ? "M.D.PASSE:" : "PASSWORD: ", entry);
    mgr->ShowCursor(m_dwKeyCount < kMaxKeys, 4, static_cast<int32_t>(17 + m_dwKeyCount));
    lcd->DrawRect(0, kIconX, kIconY, kIconX + 8, kIconY + 8);
    m_byPasswordLineDrawn = 1;
  } else {
    m_dwKeyCount = 0;
    lcd->PrintfField(4, 0, LCD_ALIGN_CENTRE, "SWITCH TO LOCAL MODE TO LOGIN");
    mgr->ShowCursor(false, 4, 17);
    lcd->Bitmap(kIconX, kIconY, 8, 8, kKeySwitchIcon);
    m_byPasswordLineDrawn = 0;
  }
}

void CLCD_Login::DrawSignDescription(CLCD_Manager* mgr, CLCD* lcd) {
  char text[96];
  const uint32_t type = nv_value(nv::dmsSignType);
  const uint32_t height = nv_value(nv::vmsSignHeightPixels);
  const uint32_t width = nv_value(nv::vmsSignWidthPixels);
  int n;
  if (type == 4 || type == 0x84) {
    n = std::snprintf(text, sizeof text, "%s %dX%d ", pick(mgr, "VMS CHAR", "MATRICE DE CARACTERES"),
                      static_cast<int>(height), static_cast<int>(width));
  } else if (type == 5 || type == 0x85) {
    const uint32_t char_height = nv_value(nv::vmsCharacterHeightPixels);
    const uint32_t char_width = nv_value(nv::vmsCharacterWidthPixels);
    const char* name = pick(mgr, "VMS LINE", "MATRICE DE LIGNES");
    n = std::snprintf(text, sizeof text, "%s %d", name, static_cast<int>(char_height ? height / char_height : 0));
    if (n > 0 && static_cast<size_t>(n) < sizeof text)
      n += std::snprintf(text + n, sizeof text - n, "-%dX%d ", static_cast<int>(char_height),
                         static_cast<int>(char_width));
  } else {
    n = std::snprintf(text, sizeof text, "%s %dX%d ", pick(mgr, "VMS FULL", "PLEINE MATRICE"),
                      static_cast<int>(height), static_cast<int>(width));
  }
  const module_type_row* row = find_module_type(nv_value(nv::quorModuleID));
  const char* colour = row->colour_type == 2   ? pick(mgr, "TRI COLOR", "TROIS COULEURS")
                       : row->colour_type == 3 ? pick(mgr, "FULL COLOR", "EN COULEURS")
                       : (row->flags & MODULE_FLAG_CLASS2) ? "MONO MPSC"
                                                            : "MONO";
  if (n > 0 && static_cast<size_t>(n) < sizeof text) std::snprintf(text + n, sizeof text - n, "%s", colour);
  lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", text);
}

void CLCD_Login::DrawStatusItem(CLCD_Manager* mgr, CLCD* lcd) {
  const bool french = mgr->m_dwLanguage == 1;
  const uint32_t items = (nv_value(nv::quorFeatureSet) & kFeatureCellular) ? kStatusItems : kStatusItems - 1;
  if (m_byStatusItem >= items) m_byStatusItem = 0;
  char text[96] = "";
  switch (m_byStatusItem) {
    case 0:
      lcd_version_text(text, sizeof text);
      break;
    case 1:
      std::snprintf(text, sizeof text, "%s:%3d%%", pick(mgr, "SIGN LEGIBILITY", "LISIBILITE"),
                    static_cast<int>(v_value(vol::quorLegibilityRatio)));
      break;
    case 2: {
      const module_type_row* row = find_module_type(nv_value(nv::quorModuleID));
      if (nv_value(nv::quorDisplayMode) != 1) {
        std::snprintf(text, sizeof text, "%s", pick(mgr, "TEST PATTERN MODE", "MOTIFS DE TEST"));
      } else if (row->pixel_test[0] && v_value(vol::pixelTestActivation) == kPixelTestRunning) {
        std::snprintf(text, sizeof text, "%s", pick(mgr, "PIXEL TEST ACTIVE", "PIXEL TEST EN COURS"));
      } else {
        uint32_t length = 0;
        const char* bytes = nv_string(nv::dmsMsgTableSource, &length);
        CMsgIDCode id;
        id.Decode(reinterpret_cast<const uint8_t*>(bytes), length);
        const int number = id.m_wMessageNumber;
        switch (id.m_byMemoryType) {
          case 2: std::snprintf(text, sizeof text, "MSG:PERMANENT %d (%d)", number, number + 498); break;
          case 3: std::snprintf(text, sizeof text, "MSG:%s %d", pick(mgr, "CHANGEABLE", "MODIFIABLE"), number); break;
          case 4: std::snprintf(text, sizeof text, "MSG:VOLATILE %d", number); break;
          case 5: std::snprintf(text, sizeof text, "MSG:%s", pick(mgr, "CURRENT BUFFER", "COURANT")); break;
          case 6: std::snprintf(text, sizeof text, "MSG:%s", pick(mgr, "SCHEDULE", "HORAIRE")); break;
          case 7: std::snprintf(text, sizeof text, "MSG:%s", pick(mgr, "BLANK", "AU NOIR")); break;
          default: std::snprintf(text, sizeof text, "MSG:%s %d", pick(mgr, "OTHER", "AUTRE"), number); break;
        }
      }
      break;
    }
    case 3: {
      static const char* const kEn[] = {nullptr,         nullptr,           " SRC:LOCAL",          " SRC:EXTERAL",
                                        " SRC:COM1",     " SRC:COM2",       " SRC:COM3",           " SRC:COM4",
                                        " SRC:CENTRAL",  " SRC:SCHEDULE",   " SRC:POWER RECOVERY", " SRC:RESET",
                                        " SRC:COMM LOSS", " SRC:POWER LOSS", " SRC:END DURATION"};
      static const char* const kFr[] = {nullptr,
                                        nullptr,
                                        "SOURCE:LOCALE",
                                        "SOURCE:EXTERNE",
                                        "SOURCE:COM1",
                                        "SOURCE:COM2",
                                        "SOURCE:COM3",
                                        "SOURCE:COM4",
                                        "SOURCE:CENTRALE",
                                        "SOURCE:HORAIRE",
                                        "SOURCE:RETABLISSEMENT ALIM",
                                        "SOURCE:REDEMARRAGE",
                                        "SOURCE:PERTE DE COMMUNICATION",
                                        "SOURCE:PERTE D'ALIMENTATION",
                                        "SOURCE:FIN DE DUREE"};
      const uint32_t source = nv_value(nv::dmsMsgSourceMode);
      if (source == 1) {
        switch (v_value(vol::quorActivationReason)) {
          case 3: std::snprintf(text, sizeof text, "%s", pick(mgr, " SRC:MAX PIXEL ERROR", "SOURCE:MAX ERREURS DE PIXEL")); break;
          case 4: std::snprintf(text, sizeof text, "%s", pick(mgr, " SRC:LEGIBILITY ERROR", "SOURCE:ERREUR LISIBILITE")); break;
          case 5: std::snprintf(text, sizeof text, "%s", pick(mgr, " SRC:MAX TEMP", "SOURCE:TEMPERATURE MAX")); break;
          case 6: std::snprintf(text, sizeof text, "%s", pick(mgr, " SRC:EMERGENCY", "SOURCE:URGENCE")); break;
          default: std::snprintf(text, sizeof text, "%s", pick(mgr, " SRC:OTHER", "SOURCE:AUTRE")); break;
        }
      } else if (source >= 2 && source <= 14) {
        std::snprintf(text, sizeof text, "%s", french ? kFr[source] : kEn[source]);
      }
      break;
    }
    case 4: {
      const uint32_t control = nv_value(nv::dmsIllumControl);
      const char* how = control == 1                   ? pick(mgr, "OTHER", "AUTRE")
                        : control == 3                 ? pick(mgr, "TIMER", "TEMPORISATEUR")
                        : control >= 4 && control <= 6 ? pick(mgr, "MANUAL", "MANUEL")
                                                       : "AUTO";
      const bool automatic = control != 1 && control != 3 && !(control >= 4 && control <= 6);
      uint64_t level = automatic ? v_value(vol::dmsIllumBrightLevelStatus) : nv_value(nv::dmsIllumManLevel);
      const lcd_status_sources& sources = lcd_status();
      const uint64_t percent = sources.brightness_percent ? sources.brightness_percent() : 100;
      const int64_t max_level = sources.max_brightness_level ? sources.max_brightness_level() : 255;
      level = level * percent / 100;
      if (max_level >= 0 && level > static_cast<uint64_t>(max_level)) level = static_cast<uint64_t>(max_level);
      const uint64_t shown = level * 100 / 255 + ((level * 100) % 255 ? 1 : 0);
      std::snprintf(text, sizeof text, "%s %s:%3d%%", how, pick(mgr, "BRIGHTNESS", "LUMINOSITE"),
                    static_cast<int>(shown));
      break;
    }
    default: {
      const char* signal = nullptr;
      const lcd_status_sources& sources = lcd_status();
      if (!sources.modem_signal_text || !sources.modem_signal_text(french, &signal) || !signal)
        signal = pick(mgr, "NOT FOUND", "NON TROUVE");
      std::snprintf(text, sizeof text, "%s%s", pick(mgr, "SIGNAL STR:", "INT SIGNAL:"), signal);
      break;
    }
  }
  lcd->PrintfField(7, 1, LCD_ALIGN_CENTRE, "%s", text);
  m_byStatusItem = static_cast<uint8_t>((m_byStatusItem + 1) % items);
}

// ---------------------------------------------------------------- insufficient rights

CLCD_InsufficientRights::CLCD_InsufficientRights()
    : CMenuItem(LCD_MENU_INSUFFICIENT_RIGHTS, "INSUFFICIENT RIGHTS", "DROITS INSUFFISANT", 0, 0) {}

bool CLCD_InsufficientRights::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key || lcd_key_code(*key) != LCD_KEY_ENTER) return false;
  mgr->ActivateMenu(LCD_MENU_PARENT, this, true);
  return true;
}

void CLCD_InsufficientRights::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode != LCD_DRAW_FULL) return;
  lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  if (mgr->m_dwLanguage == 1) {
    lcd->Printf(4, LCD_ALIGN_CENTRE, "VOUS N'AVEZ PAS LE DROIT");
    lcd->Printf(5, LCD_ALIGN_CENTRE, "D'ACCEDER \xC0 CE MENU");
    lcd->Printf(8, LCD_ALIGN_CENTRE, "PRESSEZ ENTER OU CANCEL");
  } else {
    lcd->Printf(4, LCD_ALIGN_CENTRE, "YOU DO NOT HAVE RIGHTS");
    lcd->Printf(5, LCD_ALIGN_CENTRE, "TO ACCESS THIS MENU");
    lcd->Printf(8, LCD_ALIGN_CENTRE, "PRESS ENTER OR CANCEL TO GO BACK");
  }
}

// ---------------------------------------------------------------- classes

namespace {
CMenuItem* create_login(CLCD_MenuId, uint32_t) { return new (std::nothrow) CLCD_Login(); }
CMenuItem* create_insufficient_rights(CLCD_MenuId, uint32_t) { return new (std::nothrow) CLCD_InsufficientRights(); }
}  // namespace

const class_descriptor g_login_class = {LCD_CLASS_LOGIN, create_login};
const class_descriptor g_insufficient_rights_class = {LCD_CLASS_INSUFFICIENT_RIGHTS, create_insufficient_rights};
