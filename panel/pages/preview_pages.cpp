#include "panel/pages/preview_pages.h"

#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "panel/db_values.h"
#include "display/message/message.h"
#include "display/task/display.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/menu_bases.h"
#include "panel/pages/page_classes.h"
#include "panel/sign_view.h"

namespace {

enum : uint32_t { MEM_PERMANENT = 2, MEM_CHANGEABLE = 3, MEM_VOLATILE = 4 };
constexpr uint8_t kStatusValid = 4;
constexpr uint32_t kChangeable = 500;
constexpr uint32_t kPermanentBuiltIn = 2;
constexpr uint32_t kPermanentLast = 52;
constexpr uint32_t kVolatileMessages = 4;
constexpr CLCD_MenuId kMenuSaveAs = 32;
constexpr CLCD_MenuId kMenuSlotUsed = 33;
constexpr uint32_t kWideShown = 232;

CDataBase* db() { return g_pDataBase; }

// The one workspace of every preview, built on first use.
CMessage& workspace() {
  static CMessage message;
  return message;
}

}  // namespace

// ---------------------------------------------------------------- preview

CLCD_MessagePreview::CLCD_MessagePreview(CLCD_MenuId id)
    : CLCD_RightKeyPage(id, "PREVIEW MESSAGE", "", LCD_RIGHT_EDIT_MESSAGES, 4) {}

bool CLCD_MessagePreview::FetchText(CLCD_Manager*) {
  m_dwTextLength = 0;
  m_szText[0] = 0;
  if (!db()) return false;
  const uint32_t n = m_dwTargetNumber;
  db_object status{0, 0};
  db_object text{0, 0};
  uint8_t* area = db()->mib_nv;
  if (m_dwTargetType == MEM_CHANGEABLE && n >= 1 && n <= kChangeable) {
    status = nv::dmsMessageStatus(n - 1);
    text = nv::dmsMessageMultiString(n - 1);
  } else if (m_dwTargetType == MEM_PERMANENT && n >= 1 && n <= kPermanentBuiltIn) {
    status = vol::permanentMessageStatus(n - 1);
    text = vol::permanentMessageMultiString(n - 1);
    area = db()->mib_v;
  } else if (m_dwTargetType == MEM_PERMANENT && n > kPermanentBuiltIn && n <= kPermanentLast) {
    status = nv::dmsMessageStatus(n + 497);
    text = nv::dmsMessageMultiString(n + 497);
  } else if (m_dwTargetType == MEM_VOLATILE && n >= 1 && n <= kVolatileMessages) {
    status = vol::volatileMessageStatus(n - 1);
    text = vol::volatileMessageMultiString(n - 1);
    area = db()->mib_v;
  } else {
    return false;
  }
  if (db()->GetValue(status.offset, status.width, area, 0) != kStatusValid) return false;
  uint32_t length = 0;
  const uint8_t* bytes = db()->GetString(text.offset, 4, area, &length);
  if (!bytes) return false;
  if (length > kTextSize - 1) length = kTextSize - 1;
  std::memcpy(m_szText, bytes, length);
  m_szText[length] = 0;
  m_dwTextLength = length;
  return length > 0;
}

void CLCD_MessagePreview::Enter(CLCD_Manager* mgr) {
  m_dwSignWidth = lcd_nv(nv::vmsSignWidthPixels);
  m_dwSignHeight = lcd_nv(nv::vmsSignHeightPixels);
  const uint32_t rows = lcd_v(vol::dmsPixelFailureTestRows);
  m_dwFailures = rows < kFailureRows ? rows : kFailureRows;
  m_dwTargetType = mgr->m_dwTargetType;
  m_dwTargetNumber = mgr->m_dwTargetNumber;
  m_byFrameCount = 0;
  if (FetchText(mgr) && g_pDisplay)
    m_byFrameCount = g_pDisplay->CountPages(reinterpret_cast<const uint8_t*>(m_szText), m_dwTextLength);
  m_byFrame = 1;
  m_byView = 0;
  m_byPhase = 0;
}

bool CLCD_MessagePreview::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  uint16_t code = lcd_key_code(*key);
  if (code == LCD_KEY_ENTER) {
    if (m_byFrame >= m_byFrameCount) {
      mgr->ActivateMenu(LCD_MENU_MESSAGE_CONTROL, this, false);
      return true;
    }
    code = LCD_KEY_DOWN;
  }
  switch (code) {
    case LCD_KEY_DOWN:
      if (m_byFrame < m_byFrameCount) {
        ++m_byFrame;
        m_byPhase = 0;
        mgr->RequestRedraw(LCD_DRAW_FULL);
      }
      return true;
    case LCD_KEY_UP:
      if (m_byFrame >= 2) {
        --m_byFrame;
        m_byPhase = 0;
        mgr->RequestRedraw(LCD_DRAW_FULL);
      }
      return true;
    case LCD_KEY_LEFT:
    case LCD_KEY_RIGHT:
      if (m_dwSignWidth > LCD_WIDTH) {
        m_byView = code == LCD_KEY_RIGHT ? 1 : 0;
        m_byPhase = 0;
        mgr->RequestRedraw(LCD_DRAW_FULL);
      }
      return true;
    default:
      return false;
  }
}

bool CLCD_MessagePreview::Render(uint32_t frame) {
  if (!g_pDisplay || !m_dwTextLength) return false;
  // A later page carries what the earlier ones set.
  bool drawn = false;
  for (uint32_t page = 1; page <= frame; ++page)
    drawn = g_pDisplay->LoadMessage(&m_Surface, &m_Driver, reinterpret_cast<const uint8_t*>(m_szText),
                                    m_dwTextLength, page, &workspace());
  return drawn;
}

void CLCD_MessagePreview::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  // A cleared screen needs the picture again.
  if (mode == LCD_DRAW_FULL) m_byPhase = 0;
  lcd->PrintfLine(1, LCD_ALIGN_CENTRE, "%s FRAME %d/%d", Title(mgr), m_byFrame, m_byFrameCount);
  if (lcd_sign_too_tall()) {
    lcd_draw_too_tall(mgr, lcd);
    return;
  }
  if (!m_byFrameCount) return;
  if (m_byPhase == 0 && (!Render(m_byFrame) || !m_Driver.Bitmap())) return;
  // The rendered size, known once a frame has been rendered.
  const uint32_t H = static_cast<uint32_t>(m_Driver.GetHeight());
  const uint32_t W = static_cast<uint32_t>(m_Driver.GetWidth());
  if (m_byPhase == 0) {
    const sign_picture picture = {m_Driver.Bitmap(), m_Driver.BitmapRowBytes(), H, W, m_dwSignHeight, m_dwSignWidth};
    lcd_draw_sign_picture(lcd, picture, m_byView ? SIGN_VIEW_RIGHT : SIGN_VIEW_LEFT);
    lcd_sign_picture_origin(H, W, &m_dwLeft, &m_dwTop);
    if (W > LCD_WIDTH && m_byView) m_dwLeft = 0;
    m_byPhase = 1;
    return;
  }
  // The failed pixels blink.
  lcd->CommandC(m_byPhase == 1 ? 0 : 0xFF);
  m_byPhase = m_byPhase == 1 ? 2 : 1;
  const uint32_t first = (W > LCD_WIDTH && m_byView) ? W - (kWideShown + W % 8) : 0;
  for (uint32_t r = 0; r < m_dwFailures; ++r) {
    const uint32_t x = lcd_v(vol::pixelFailureXLocation(0, r));
    const uint32_t y = lcd_v(vol::pixelFailureYLocation(0, r));
    if (x == 0 || y == 0 || x - 1 < first) continue;
    const uint32_t shown_x = m_dwLeft + x - 1 - first;
    if (shown_x >= LCD_WIDTH || m_dwTop + y - 1 >= LCD_HEIGHT) continue;
    lcd->CommandP(static_cast<uint8_t>(shown_x), static_cast<uint8_t>(m_dwTop + y - 1));
  }
}

// ---------------------------------------------------------------- save

void lcd_store_and_offer_run(CLCD_Manager* mgr, CMenuItem* from) {
  if (mgr->StoreEditedMessage())
    mgr->ActivateMenu(LCD_MENU_RUN_OPTIONS, from, false);
  else
    mgr->ActivateMenu(LCD_MENU_MESSAGE_CONTROL, from, false);
}

CLCD_MessageSave::CLCD_MessageSave(CLCD_MenuId id)
    : CMenuItem(id, "SAVE MESSAGE", "ENREGISTRER LE MESSAGE", LCD_RIGHT_EDIT_MESSAGES, 0) {}

bool CLCD_MessageSave::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  switch (lcd_key_code(*key)) {
    case '1':
      lcd_store_and_offer_run(mgr, this);
      return true;
    case '2':
      mgr->ActivateMenu(kMenuSaveAs, this, false);
      return true;
    case '3':
      mgr->ActivateMenu(LCD_MENU_MESSAGE_CONTROL, this, false);
      return true;
    case '4':
    case LCD_KEY_ESC:
      // Back to the editor with its text.
      mgr->ActivateMenu(LCD_MENU_PARENT, this, true);
      return true;
    default:
      return false;
  }
}

void CLCD_MessageSave::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode != LCD_DRAW_FULL) return;
  const bool french = mgr->m_dwLanguage == 1;
  lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  lcd->Printf(2, LCD_ALIGN_LEFT, french ? "1) ENREGISTRER DANS %d" : "1) SAVE IN %d", mgr->m_wEditSlot);
  lcd->Printf(3, LCD_ALIGN_LEFT, "%s", french ? "2) ENREGISTRER SOUS..." : "2) SAVE IN ANOTHER SLOT");
  lcd->Printf(4, LCD_ALIGN_LEFT, "%s", french ? "3) NE PAS ENREGISTRER" : "3) DO NOT SAVE");
  lcd->Printf(5, LCD_ALIGN_LEFT, "%s", french ? "4) RETOURNER EN EDITION" : "4) GO BACK");
}

CLCD_MessageSaveAs::CLCD_MessageSaveAs(CLCD_MenuId id)
    : CMenuItem(id, "SAVE MESSAGE AS", "ENREGISTRER LE MESSAGE SOUS", LCD_RIGHT_EDIT_MESSAGES, 0) {}

void CLCD_MessageSaveAs::Activate(CLCD_Manager* mgr) {
  CMenuItem::Activate(mgr);
  m_dwSlot = 0;
}

bool CLCD_MessageSaveAs::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  if (mgr->EditNumber(&m_dwSlot, kChangeable, *key, 1)) return true;
  if (lcd_key_code(*key) != LCD_KEY_ENTER || m_dwSlot == 0) return false;
  if (lcd_nv(nv::dmsMessageStatus(m_dwSlot - 1)) == kStatusValid) {
    mgr->m_dwPendingSlot = m_dwSlot;
    mgr->ActivateMenu(kMenuSlotUsed, this, false);
  } else {
    mgr->m_wEditSlot = static_cast<uint16_t>(m_dwSlot);
    lcd_store_and_offer_run(mgr, this);
  }
  return true;
}

void CLCD_MessageSaveAs::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  const bool french = mgr->m_dwLanguage == 1;
  if (mode == LCD_DRAW_FULL) {
    lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
    lcd->PrintfAt(4, 9, "%s", french ? "NUMERO DU MESSAGE:" : "ENTER SLOT NUMBER:");
  }
  mgr->DrawNumberField(4, 28, m_dwSlot, 3, true);
  if (m_dwSlot)
    lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", french ? "APPUYER SUR ENTER POUR ENREGISTRER" : "PRESS ENTER TO SAVE");
  else
    lcd->ClearLine(8);
}

CLCD_MessageSlotUsed::CLCD_MessageSlotUsed(CLCD_MenuId id)
    : CMenuItem(id, "SLOT USED, REPLACE THIS MSG?", "REMPLACER CE MESSAGE?", LCD_RIGHT_EDIT_MESSAGES, 0) {}

bool CLCD_MessageSlotUsed::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return true;
  switch (lcd_key_code(*key)) {
    case '1':
      mgr->m_wEditSlot = static_cast<uint16_t>(mgr->m_dwPendingSlot);
      lcd_store_and_offer_run(mgr, this);
      break;
    case '2':
      mgr->ActivateMenu(kMenuSaveAs, this, false);
      mgr->SetActivationTarget(0, 0);
      break;
    default:
      break;
  }
  // Only the two choices leave the page.
  return true;
}

void CLCD_MessageSlotUsed::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode != LCD_DRAW_FULL) return;
  const bool french = mgr->m_dwLanguage == 1;
  lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  lcd->Printf(2, LCD_ALIGN_LEFT, "%s", french ? "1) REMPLACER LE MESSAGE" : "1) CONFIRM (OVERWRITE)");
  lcd->Printf(3, LCD_ALIGN_LEFT, "%s", french ? "2) CHOISIR UN AUTRE NUMERO" : "2) SELECT ANOTHER SLOT");
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_preview(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MessagePreview(id); }
CMenuItem* create_save(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MessageSave(id); }
CMenuItem* create_save_as(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MessageSaveAs(id); }
CMenuItem* create_slot_used(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MessageSlotUsed(id); }
}  // namespace

const class_descriptor g_message_preview_class = {13, create_preview};
const class_descriptor g_message_save_class = {14, create_save};
const class_descriptor g_message_save_as_class = {15, create_save_as};
const class_descriptor g_message_slot_used_class = {16, create_slot_used};
