#include "panel/pages/maintenance_pages.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kResetType = 124;
constexpr CLCD_FactoryType kPasswordType = 137;
constexpr CLCD_FactoryType kVersionType = 25;
constexpr uint32_t kLcdDefaultContrast = 16;

const char* const kResetEn[CLCD_Reset::kChoices] = {
    "CANCEL",          "RESET ONLY",       "CLEAR MEMORY",       "RESTORE FACTORY DEFAULTS",
    "BOOT FROM FLASH", "BOOT FROM CONFIG", "RESET LCD CONTRAST", "BOOT FROM SCRIPT",
};
const char* const kResetFr[CLCD_Reset::kChoices] = {
    "ANNULER",
    "REDEMARRER",
    "VIDER LA MEMOIRE",
    "PARAMETRES PAR DEFAUT",
    "REDEMARRER A PARTIR DE LA FLASH",
    "REDEMARRER A PARTIR DE LA CONFIG",
    "REINITIALISER LE CONTRASTE DE L'ACL",
    "REDEMARRER A PARTIR DU SCRIPT",
};
// The reset mode the display task carries out, per choice; 0: none.
constexpr uint8_t kResetMode[CLCD_Reset::kChoices] = {0, 0, 2, 6, 4, 5, 0, 7};
enum : uint8_t { RESET_CANCEL = 0, RESET_ONLY = 1, RESET_CONTRAST = 6 };

bool french(const CLCD_Manager* mgr) { return mgr && mgr->m_dwLanguage == 1; }

void write_value(db_object o, uint8_t* area, uint32_t value) {
  if (!g_pDataBase) return;
  g_pDataBase->SetValue(o.offset, o.width, value, area, DB_NOTIFY);
}

// The text of a string object, cut to size - 1 characters.
void read_text(db_object o, uint8_t* area, char* out, uint32_t size) {
  out[0] = 0;
  if (!g_pDataBase || size == 0) return;
  uint32_t length = 0;
  const uint8_t* bytes = g_pDataBase->GetString(o.offset, 4, area, &length);
  if (!bytes) return;
  if (length > size - 1) length = size - 1;
  std::memcpy(out, bytes, length);
  out[length] = 0;
}

// The password object of a user level: the admin's for 3, a user's above.
bool password_object(int32_t level, db_object* out) {
  if (level == 3) {
    *out = nv::communityNameAdmin;
    return true;
  }
  if (level >= 4 && static_cast<uint32_t>(level - 4) < LCD_COMMUNITIES) {
    *out = nv::communityNameUser(static_cast<uint32_t>(level - 4));
    return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- reset

CLCD_Reset::CLCD_Reset(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "RESET OPTIONS", "OPTIONS DE REDEMARAGE", LCD_RIGHT_RESET) {
  m_Item.kind = WIZARD_CHOICE;
  m_Item.choice.per_page = 6;
  for (uint32_t i = 0; i < kChoices; ++i) m_apszChoices[i] = kResetEn[i];
  m_Item.choice.choices = m_apszChoices;
  m_Item.choice.title = m_pszTitle;
  AddItem(&m_Item);
}

void CLCD_Reset::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  const bool fr = french(mgr);
  for (uint32_t i = 0; i < kChoices; ++i) m_apszChoices[i] = fr ? kResetFr[i] : kResetEn[i];
  m_Item.choice.title = Title(mgr);
  m_Item.choice.selected = 0;
  m_Item.choice.value = nullptr;
}

void CLCD_Reset::Finish(CLCD_Manager* mgr) {
  const uint8_t choice = m_Item.choice.selected;
  if (choice >= kChoices || choice == RESET_CANCEL) return;
  monitor_printf_debug("CLCD_Reset::Finish: choice %u\n", static_cast<unsigned>(choice));
  if (choice == RESET_CONTRAST) {
    if (mgr) mgr->m_Lcd.SetContrast(kLcdDefaultContrast);
    return;
  }
  if (!g_pDataBase) return;
  if (choice == RESET_ONLY) {
    write_value(nv::dmsSWReset, g_pDataBase->mib_nv, 1);
    return;
  }
  write_value(vol::quorResetOption, g_pDataBase->mib_v, kResetMode[choice]);
}

// ---------------------------------------------------------------- password

CLCD_Password::CLCD_Password(CLCD_MenuId id)
    : CMenuItem(id, "CHANGE PASSWORD", "CHANGER LE MOT DE PASSE", LCD_RIGHT_PASSWORD) {}

bool CLCD_Password::HasRights(CLCD_Manager* mgr) {
  // Levels 0..2 log in with a PIN, not a stored password.
  return CMenuItem::HasRights(mgr) && mgr && mgr->m_iLevel > 2;
}

void CLCD_Password::Enter(CLCD_Manager*) {
  m_dwStep = 0;
  m_szNew[0] = 0;
  m_szConfirm[0] = 0;
}

bool CLCD_Password::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!mgr || !key) return false;
  const uint16_t code = lcd_key_code(*key);
  if (m_dwStep == 0) {
    if (mgr->EditText(m_szNew, kSize, *key)) return true;
    const uint32_t length = static_cast<uint32_t>(strnlen(m_szNew, kSize));
    if (code == LCD_KEY_ENTER) {
      if (length >= kMinLength) {
        m_dwStep = 1;
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      return true;
    }
    if (code == LCD_KEY_LEFT) {
      if (length == 0) return false;
      m_szNew[length - 1] = 0;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      return true;
    }
    return false;
  }

  if ((code == LCD_KEY_BACKSPACE || code == LCD_KEY_LEFT) && m_szConfirm[0] == 0) {
    m_dwStep = 0;
    mgr->RequestRedraw(LCD_DRAW_PARTIAL);
    return true;
  }
  if (mgr->EditText(m_szConfirm, kSize, *key)) return true;
  if (code != LCD_KEY_ENTER) return false;
  if (std::strcmp(m_szNew, m_szConfirm) != 0) return true;

  db_object object{};
  if (password_object(mgr->m_iLevel, &object)) {
    char current[kSize];
    read_text(object, g_pDataBase ? g_pDataBase->mib_nv : nullptr, current, sizeof current);
    if (!CLCD_Manager::KeypadEquivalent(m_szNew, current)) {
      if (!mgr->IsPasswordUnique(m_szNew)) {
        Enter(mgr);
        m_byNotUnique = 1;
        mgr->RequestRedraw(LCD_DRAW_FULL);
        return true;
      }
      Store(mgr);
    }
  }
  mgr->ActivateMenu(LCD_MENU_PARENT, this, false);
  return true;
}

void CLCD_Password::Store(CLCD_Manager* mgr) {
  db_object object{};
  if (!g_pDataBase || !password_object(mgr->m_iLevel, &object)) return;
  const uint32_t length = static_cast<uint32_t>(strnlen(m_szNew, kSize - 1));
  const uint32_t result =
      g_pDataBase->SetString(object.offset, 4, m_szNew, length, g_pDataBase->mib_nv, DB_NOTIFY);
  if (result != DB_OK) monitor_printf("CLCD_Password::Store: write failed (%u)\n", static_cast<unsigned>(result));
}

void CLCD_Password::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH || !lcd) return;
  const bool fr = french(mgr);
  const char* label = fr ? "M.D.PASSE:" : "PASSWORD:";
  if (mode == LCD_DRAW_FULL) {
    lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
    lcd->PrintfAt(3, 1, "%s", label);
    lcd->PrintfAt(5, 1, "%s", fr ? "CONFIRMER" : "CONFIRM");
    lcd->PrintfAt(6, 1, "%s", label);
    mgr->ShowCursor(true, 3, 11);
  }
  const char* hint_short = fr ? "ENTRER AU MOINS 6 CARACTERES" : "ENTER AT LEAST 6 CHARACTERS";
  const char* hint_enter = fr ? "APPUYER SUR ENTER POUR CONTINUER" : "PRESS ENTER TO CONTINUE";
  const uint32_t new_length = static_cast<uint32_t>(strnlen(m_szNew, kSize));
  const char* hint = hint_enter;
  uint32_t line = 3;
  uint32_t length = new_length;
  if (m_dwStep == 0) {
    lcd->ClearLineFrom(3, 11);
    lcd->PrintfAt(3, 11, "%s", m_szNew);
    if (new_length < kMinLength && !m_byNotUnique) {
      hint = hint_short;
    } else if (new_length == 0 && m_byNotUnique) {
      hint = fr ? "MOT DE PASSE NON DISPONIBLE" : "CANNOT ENTER NON-UNIQUE PASSWORD";
      m_byNotUnique = 0;
    }
  } else {
    line = 6;
    length = static_cast<uint32_t>(strnlen(m_szConfirm, kSize));
    lcd->ClearLineFrom(6, 11);
    lcd->PrintfAt(6, 11, "%s", m_szConfirm);
    if (new_length < kMinLength || length < kMinLength) hint = hint_short;
  }
  mgr->SetCursorPos(static_cast<int32_t>(line), static_cast<int32_t>(11 + length));
  lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", hint);
}

// ---------------------------------------------------------------- version info

CLCD_VersionInfo::CLCD_VersionInfo(CLCD_MenuId id)
    : CLCD_SimpleMenuBase(id, "VERSION INFO", "INFORMATIONS SUR LA VERSION", LCD_RIGHT_DIAGNOSTICS, 4) {}

void CLCD_VersionInfo::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleMenuBase::Enter(mgr);
  ClearOptions();
  if (!g_pDataBase) return;
  for (uint32_t i = 0; i < kModules; ++i) {
    read_text(vol::moduleModel(i), g_pDataBase->mib_v, m_aszModels[i], sizeof m_aszModels[i]);
    if (!m_aszModels[i][0]) continue;
    m_aOptions[i] = CLCD_MenuOption(i, m_aszModels[i], m_aszModels[i], 0);
    AddOption(&m_aOptions[i]);
  }
}

void CLCD_VersionInfo::DrawOptionValue(CLCD_Manager*, CLCD* lcd, uint32_t index, uint32_t line, uint8_t align) {
  if (!lcd || index >= m_dwOptionCount || !m_apOptions[index] || !g_pDataBase) return;
  const uint32_t row = m_apOptions[index]->m_dwValue;
  if (row >= kModules) return;
  char version[41];
  read_text(vol::moduleVersion(row), g_pDataBase->mib_v, version, sizeof version);
  lcd->Printf(line, align, "%s", version[0] ? version : "?");
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_reset(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_Reset(id); }
CMenuItem* create_password(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_Password(id); }
CMenuItem* create_version_info(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_VersionInfo(id); }
}  // namespace

const class_descriptor g_reset_class = {kResetType, create_reset};
const class_descriptor g_password_class = {kPasswordType, create_password};
const class_descriptor g_version_info_class = {kVersionType, create_version_info};
