#include "panel/pages/message_pages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "frame/util/preview.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr uint8_t kStatusNotUsed = 1;
constexpr uint8_t kStatusValid = 4;
constexpr uint8_t kStatusNotUsedReq = 8;
enum : uint32_t { MEM_PERMANENT = 2, MEM_CHANGEABLE = 3, MEM_BLANK = 7 };
constexpr uint16_t kBlankDuration = 65535;
constexpr uint32_t kNotListed = CLCD_MessageList::kEntries;
// The first permanent message the list offers (entry 501).
constexpr uint32_t kPermanentOffset = 498;
constexpr uint32_t kCompared = 23;
constexpr uint32_t kShownText = 21;
constexpr uint32_t kRowWidth = 27;  // "%c%03d) " and 21 characters
constexpr CLCD_MenuId kMenuRunList = 22;
constexpr CLCD_MenuId kMenuDeleteConfirm = 26;
constexpr CLCD_MenuId kMenuPreview = 29;
constexpr CLCD_MenuId kMenuPreviewPage = 30;
const char kGraphicReference[] = "[ms11,g,";

CDataBase* db() { return g_pDataBase; }
uint32_t nv_value(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_nv, 0) : 0; }

bool character_matrix_sign() {
  const uint32_t type = nv_value(nv::dmsSignType);
  return type == 4 || type == 132;
}

bool contains(const uint8_t* text, uint32_t length, const char* needle) {
  const uint32_t n = static_cast<uint32_t>(std::strlen(needle));
  for (uint32_t i = 0; i + n <= length; ++i)
    if (std::memcmp(text + i, needle, n) == 0) return true;
  return false;
}

int compare_keys(const char* a, const char* b) {
  for (uint32_t i = 0; i < kCompared; ++i) {
    const uint32_t ca = latin1_toupper(static_cast<uint8_t>(a[i]));
    const uint32_t cb = latin1_toupper(static_cast<uint8_t>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) break;
  }
  return 0;
}

}  // namespace

bool lcd_blank_sign(CLCD_Manager* mgr) {
  mgr->SetActivationTarget(MEM_BLANK, 1);
  return mgr->ActivateMessage(kBlankDuration);
}

// ---------------------------------------------------------------- message control

CLCD_MessageControl::CLCD_MessageControl(CLCD_MenuId id)
    : CLCD_MenuItemEx(id, "MESSAGE CONTROL", "COMMANDE DE MESSAGES") {
  m_dwPerPage = 7;
}

void CLCD_MessageControl::Enter(CLCD_Manager* mgr) {
  m_bySlotsFull = 0;
  CLCD_MenuItemEx::Enter(mgr);
}

bool CLCD_MessageControl::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (key && lcd_key_code(*key) == '4') {
    bool found = false;
    for (uint32_t i = 0; i < CLCD_MessageList::kChangeable && !found; ++i) {
      if (nv_value(nv::dmsMessageStatus(i)) == kStatusNotUsed) {
        mgr->m_wEditSlot = static_cast<uint16_t>(i + 1);
        found = true;
      }
    }
    if (!found) {
      // No page of its own for a full table: the list says so itself.
      if (mgr->FindMenu(LCD_MENU_SLOTS_FULL, nullptr)) {
        mgr->ActivateMenu(LCD_MENU_SLOTS_FULL, this, false);
      } else {
        m_bySlotsFull = 1;
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      return true;
    }
  }
  return CLCD_MenuItemEx::HandleKey(mgr, key);
}

void CLCD_MessageControl::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  CLCD_MenuItemEx::Draw(mgr, lcd, mode);
  if (mode != LCD_DRAW_REFRESH && m_bySlotsFull)
    lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, "NO FREE MESSAGE SLOT", "AUCUN MESSAGE LIBRE"));
}

// ---------------------------------------------------------------- message list

CLCD_MessageList::CLCD_MessageList(CLCD_MenuId id, const char* title, const char* title_fr, uint32_t rights)
    : CMenuItem(id, title, title_fr, rights, 0) {}

bool CLCD_MessageList::HasRights(CLCD_Manager* mgr) {
  // A list whose page is not built would lead nowhere: not offered.
  CMenuItem* target = mgr->FindMenu(m_iTarget, nullptr);
  return target && target->HasRights(mgr);
}

void CLCD_MessageList::Enter(CLCD_Manager*) {
  std::memset(m_aRows, 0, sizeof m_aRows);
  m_dwRowCount = 0;
  m_dwTyped = 0;
  m_iCountdown = 0;
  Collect();
  Sort();
  ShowPage(0, SHOW_FIRST);
}

void CLCD_MessageList::Collect() {
  m_dwCount = 0;
  if (!db()) return;
  const bool no_graphics = character_matrix_sign();
  const uint32_t highest = m_dwHighest < kEntries ? m_dwHighest : kEntries;
  for (uint32_t i = 0; i < highest; ++i) {
    if (nv_value(nv::dmsMessageStatus(i)) != kStatusValid) continue;
    uint32_t length = 0;
    const uint8_t* text = db()->GetString(nv::dmsMessageMultiString(i).offset, 4, db()->mib_nv, &length);
    if (!text || length == 0) continue;
    if (no_graphics && contains(text, length, kGraphicReference)) continue;
    const uint32_t copied = length < sizeof m_szMulti - 1 ? length : static_cast<uint32_t>(sizeof m_szMulti - 1);
    std::memcpy(m_szMulti, text, copied);
    m_szMulti[copied] = 0;
    multi_to_preview_text(m_szMulti, m_aszKeys[i], kSortKey);
    m_awEntries[m_dwCount++] = static_cast<uint16_t>(i);
  }
}

void CLCD_MessageList::Sort() {
  for (uint32_t gap : {3u, 1u}) {
    for (uint32_t i = gap; i < m_dwCount; ++i) {
      const uint16_t entry = m_awEntries[i];
      uint32_t j = i;
      while (j >= gap && compare_keys(m_aszKeys[m_awEntries[j - gap]], m_aszKeys[entry]) > 0) {
        m_awEntries[j] = m_awEntries[j - gap];
        j -= gap;
      }
      m_awEntries[j] = entry;
    }
  }
}

uint32_t CLCD_MessageList::PositionOf(uint32_t index) const {
  for (uint32_t p = 0; p < m_dwCount; ++p)
    if (m_awEntries[p] == index) return p;
  return kNotListed;
}

void CLCD_MessageList::ShowPage(uint32_t index, uint8_t mode) {
  const uint32_t last = m_dwCount ? (m_dwCount - 1) / kRows : 0;
  uint32_t page = m_dwPage;
  if (mode == SHOW_FIRST) {
    page = 0;
  } else if (mode == SHOW_LAST) {
    page = last;
  } else {
    const uint32_t position = PositionOf(index);
    if (position == kNotListed) return;
    page = position / kRows;
    if (mode == SHOW_PREVIOUS && page > 0) --page;
    if (mode == SHOW_NEXT && page < last) ++page;
  }
  m_dwPage = page;
  std::memset(m_aRows, 0, sizeof m_aRows);
  m_dwRowCount = 0;
  for (uint32_t p = kRows * page; p < m_dwCount && p < kRows * (page + 1); ++p) {
    row& r = m_aRows[m_dwRowCount++];
    r.number = m_awEntries[p] + 1u;
    const char* key = m_aszKeys[m_awEntries[p]];
    const size_t n = strnlen(key, std::min<size_t>(kShownText, sizeof r.text - 1));
    std::memcpy(r.text, key, n);
    r.text[n] = '\0';
  }
  m_dwArrows = 0;
  if (page > 0) m_dwArrows |= ARROW_UP;
  if (m_dwCount && page < last) m_dwArrows |= ARROW_DOWN;
}

void CLCD_MessageList::JumpToLetter(uint16_t letter) {
  const uint32_t wanted = latin1_toupper(letter);
  for (uint32_t p = 0; p < m_dwCount; ++p) {
    const uint16_t entry = m_awEntries[p];
    if (latin1_toupper(static_cast<uint8_t>(m_aszKeys[entry][0])) == wanted) {
      ShowPage(entry, SHOW_HOLDING);
      return;
    }
  }
}

bool CLCD_MessageList::SelectTyped() {
  if (m_dwTyped == 0 || m_dwTyped > m_dwHighest) return false;
  ShowPage(m_dwTyped - 1, SHOW_HOLDING);
  for (uint32_t r = 0; r < m_dwRowCount; ++r)
    if (m_aRows[r].number == m_dwTyped) return true;
  return false;
}

void CLCD_MessageList::GetTarget(uint32_t number, uint32_t* memory_type, uint32_t* message_number) {
  const bool listed = number >= 1 && number <= m_dwHighest && PositionOf(number - 1) != kNotListed;
  if (!listed) {
    *memory_type = MEM_BLANK;
    *message_number = 1;
  } else if (number > kChangeable) {
    *memory_type = MEM_PERMANENT;
    *message_number = number - kPermanentOffset;
  } else {
    *memory_type = MEM_CHANGEABLE;
    *message_number = number;
  }
}

bool CLCD_MessageList::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  const uint16_t code = lcd_key_code(*key);
  if ((code >= '0' && code <= '9') || lcd_key_is_backspace(*key)) {
    if (mgr->EditNumber(&m_dwTyped, m_dwHighest, *key, 1)) {
      m_iCountdown = kJumpTicks;
      return true;
    }
  }
  if ((code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z')) {
    JumpToLetter(code);
    mgr->RequestRedraw(LCD_DRAW_PARTIAL);
    return true;
  }
  if (code == LCD_KEY_ENTER) {
    if (SelectTyped()) {
      uint32_t memory_type = 0;
      uint32_t number = 0;
      GetTarget(m_dwTyped, &memory_type, &number);
      mgr->SetActivationTarget(memory_type, number);
      mgr->m_wEditSlot = static_cast<uint16_t>(m_dwTyped);
      mgr->ActivateMenu(m_iTarget, this, false);
    } else {
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
    }
    return true;
  }
  const uint32_t first_shown = m_dwRowCount ? m_aRows[0].number - 1 : kNotListed;
  switch (lcd_page_key_of(*key)) {
    case LCD_PAGE_FIRST:
      ShowPage(0, SHOW_FIRST);
      break;
    case LCD_PAGE_LAST:
      ShowPage(0, SHOW_LAST);
      break;
    case LCD_PAGE_PREVIOUS:
      if (m_dwArrows & ARROW_UP) ShowPage(first_shown, SHOW_PREVIOUS);
      break;
    case LCD_PAGE_NEXT:
      if (m_dwArrows & ARROW_DOWN) ShowPage(first_shown, SHOW_NEXT);
      break;
    default:
      return false;
  }
  mgr->RequestRedraw(LCD_DRAW_PARTIAL);
  return true;
}

void CLCD_MessageList::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  const bool french = mgr->m_dwLanguage == 1;
  const char* action = lcd_text(mgr, m_pszAction, m_pszActionFr);
  if (mode == LCD_DRAW_FULL) {
    lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
    lcd->PrintfAt(8, 8, french ? "ENTER POUR %s:" : "PRESS ENTER TO %s:", action);
  } else if (mode == LCD_DRAW_REFRESH) {
    if (m_iCountdown <= 0) return;
    if (--m_iCountdown == 0) {
      if (m_dwTyped >= 1) ShowPage(m_dwTyped - 1, SHOW_HOLDING);
      uint32_t memory_type = 0;
      uint32_t number = 0;
      GetTarget(m_dwTyped, &memory_type, &number);
      mgr->SetActivationTarget(memory_type, number);
    }
  }
  const uint32_t column = static_cast<uint32_t>(std::strlen(action)) + (french ? 21 : 25);
  mgr->DrawNumberField(8, column, m_dwTyped, 3, true);
  if (m_dwCount == 0) {
    lcd->Printf(4, LCD_ALIGN_CENTRE, "%s", french ? "AUCUN MESSAGE" : "NO MESSAGE");
  } else {
    // Rows keep one width so that a shorter text covers a longer one.
    for (uint32_t r = 0; r < kRows; ++r) {
      if (r < m_dwRowCount)
        lcd->PrintfAt(2 + r, 1, "%c%03d) %-*s", m_aRows[r].number == m_dwTyped ? '*' : ' ',
                      static_cast<int>(m_aRows[r].number), static_cast<int>(kShownText), m_aRows[r].text);
      else
        lcd->PrintfAt(2 + r, 1, "%*s", static_cast<int>(kRowWidth), "");
    }
  }
  const uint32_t last = m_dwCount ? (m_dwCount - 1) / kRows : 0;
  lcd_draw_page_arrows(lcd, m_dwPage, last);
}

// ---------------------------------------------------------------- blank

CLCD_MessageBlank::CLCD_MessageBlank(CLCD_MenuId id)
    : CMenuItem(id, "BLANK DISPLAY", "METTRE AU NOIR", LCD_RIGHT_RUN_MESSAGES, 0) {}

bool CLCD_MessageBlank::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  switch (lcd_key_code(*key)) {
    case '1':
      lcd_blank_sign(mgr);
      mgr->ActivateMenu(LCD_MENU_MESSAGE_CONTROL, this, false);
      return true;
    case '2':
      mgr->ActivateMenu(LCD_MENU_MESSAGE_CONTROL, this, false);
      return true;
    default:
      return false;
  }
}

void CLCD_MessageBlank::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  lcd->Printf(2, LCD_ALIGN_LEFT, "%s", lcd_text(mgr, "1) CONFIRM", "1) CONFIRMER"));
  lcd->Printf(3, LCD_ALIGN_LEFT, "%s", lcd_text(mgr, "2) CANCEL", "2) ANNULER"));
}

// ---------------------------------------------------------------- delete

namespace {
// The changeable message the list chose, or 0 when the target is none.
uint32_t delete_target(const CLCD_Manager* mgr) {
  if (mgr->m_dwTargetType != MEM_CHANGEABLE) return 0;
  const uint32_t n = mgr->m_dwTargetNumber;
  return n >= 1 && n <= CLCD_MessageList::kChangeable ? n : 0;
}
}  // namespace

CLCD_MessageDeleteC::CLCD_MessageDeleteC(CLCD_MenuId id)
    : CMenuItem(id, "DELETE CONFIRMATION", "CONFIRMATION DE SUPPRESSION", LCD_RIGHT_EDIT_MESSAGES, 0) {}

bool CLCD_MessageDeleteC::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  const uint16_t code = lcd_key_code(*key);
  if (code == '1') {
    const uint32_t n = delete_target(mgr);
    if (n && db()) {
      const bool running = mgr->IsRunning(MEM_CHANGEABLE, n);
      const db_object status = nv::dmsMessageStatus(n - 1);
      const uint32_t result = db()->SetValue(status.offset, status.width, kStatusNotUsedReq, db()->mib_nv, DB_NOTIFY);
      // The sign goes blank only once the message is really on its way out.
      if (result == DB_OK && running) lcd_blank_sign(mgr);
    }
    mgr->ActivateMenu(LCD_MENU_MESSAGE_CONTROL, this, false);
    return true;
  }
  if (code == '2' || code == LCD_KEY_ESC) {
    mgr->ActivateMenu(LCD_MENU_MESSAGE_CONTROL, this, false);
    return true;
  }
  return false;
}

void CLCD_MessageDeleteC::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  const bool french = mgr->m_dwLanguage == 1;
  const uint32_t n = delete_target(mgr);
  if (!n) {
    lcd->Printf(2, LCD_ALIGN_LEFT, "%s", french ? "AUCUN MESSAGE" : "NO MESSAGE");
  } else {
    lcd->Printf(2, LCD_ALIGN_LEFT, french ? "1) SUPPRIMER LE MESSAGE %d" : "1) DELETE MESSAGE %d", static_cast<int>(n));
  }
  lcd->Printf(3, LCD_ALIGN_LEFT, "%s", french ? "2) NE PAS SUPPRIMER" : "2) DO NOT DELETE");
  if (n && mgr->IsRunning(MEM_CHANGEABLE, n)) {
    lcd->Printf(6, LCD_ALIGN_CENTRE, "%s", french ? "SUPPRIMER CE MESSAGE" : "MESSAGE IS RUNNING");
    lcd->Printf(7, LCD_ALIGN_CENTRE, "%s", french ? "METTRA LE PANNEAU AU NOIR" : "THIS WILL BLANK DISPLAY");
  }
}

// ---------------------------------------------------------------- default font

CLCD_MessageDefaults_Font::CLCD_MessageDefaults_Font(CLCD_MenuId id)
    : CLCD_SimpleMenuBase(id, "DEFAULT FONT", "POLICE", LCD_RIGHT_DEFAULT_FONT) {}

namespace {
void font_name(uint32_t font, char* out, uint32_t size) {
  out[0] = 0;
  if (!db() || font >= CLCD_MessageDefaults_Font::kFonts) return;
  uint32_t length = 0;
  const uint8_t* bytes = db()->GetString(nv::fontName(font).offset, 4, db()->mib_nv, &length);
  if (!bytes) return;
  if (length > size - 1) length = size - 1;
  std::memcpy(out, bytes, length);
  out[length] = 0;
}
}  // namespace

void CLCD_MessageDefaults_Font::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleMenuBase::Enter(mgr);
  ClearOptions();
  const uint32_t sign_height = nv_value(nv::vmsSignHeightPixels);
  for (uint32_t i = 0; i < kFonts; ++i) {
    const uint32_t height = nv_value(nv::fontHeight(i));
    if (height == 0 || height > sign_height) continue;
    font_name(i, m_aszNames[i], kNameSize);
    m_aOptions[i] = CLCD_MenuOption(i + 1, m_aszNames[i], m_aszNames[i], 0);
    AddOption(&m_aOptions[i]);
  }
}

void CLCD_MessageDefaults_Font::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  const uint32_t font = nv_value(nv::defaultFont);
  char name[kNameSize];
  if (font >= 1 && font <= kFonts)
    font_name(font - 1, name, sizeof name);
  else
    name[0] = 0;
  lcd->Printf(line, align, "%s", name);
}

void CLCD_MessageDefaults_Font::OnSelect(CLCD_Manager*, CLCD_MenuOption* option) {
  if (!option || !db()) return;
  db()->SetValue(nv::defaultFont.offset, nv::defaultFont.width, option->m_dwValue, db()->mib_nv, DB_NOTIFY);
}

// ---------------------------------------------------------------- factory

namespace {

CMenuItem* create_message_control(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MessageControl(id); }

// One class serves the run, preview and delete lists.
CMenuItem* create_message_list(CLCD_MenuId id, uint32_t) {
  CLCD_MessageList* list = nullptr;
  switch (id) {
    case kMenuRunList:
      list = new (std::nothrow)
          CLCD_MessageList(id, "RUN SAVED MESSAGE", "AFFICHER MESSAGE", LCD_RIGHT_RUN_MESSAGES);
      if (list) {
        list->m_pszAction = "RUN";
        list->m_pszActionFr = "AFFICHER";
        list->m_iTarget = LCD_MENU_RUN_OPTIONS;
      }
      break;
    case kMenuPreview:
      list = new (std::nothrow) CLCD_MessageList(id, "PREVIEW A MESSAGE", "", LCD_RIGHT_EDIT_MESSAGES);
      if (list) {
        list->m_pszAction = "PREVIEW";
        list->m_iTarget = kMenuPreviewPage;
      }
      break;
    case LCD_MENU_DELETE_MESSAGE:
      list = new (std::nothrow)
          CLCD_MessageList(id, "DELETE MESSAGE", "SUPPRIMER UN MESSAGE", LCD_RIGHT_EDIT_MESSAGES);
      if (list) {
        list->m_pszAction = "DELETE";
        list->m_pszActionFr = "SUPPRIMER";
        list->m_iTarget = kMenuDeleteConfirm;
        list->m_dwHighest = CLCD_MessageList::kChangeable;
      }
      break;
    default:
      list = new (std::nothrow) CLCD_MessageList(id, "", "", 0);
      break;
  }
  return list;
}

CMenuItem* create_message_blank(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MessageBlank(id); }
CMenuItem* create_message_delete(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MessageDeleteC(id); }
CMenuItem* create_default_font(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MessageDefaults_Font(id); }

}  // namespace

const class_descriptor g_message_control_class = {5, create_message_control};
const class_descriptor g_message_list_class = {7, create_message_list};
const class_descriptor g_message_blank_class = {11, create_message_blank};
const class_descriptor g_message_delete_class = {10, create_message_delete};
const class_descriptor g_default_font_class = {157, create_default_font};
