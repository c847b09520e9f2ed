#include "panel/pages/pixel_test_pages.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "database/database.h"
#include "database/objects.h"
#include "panel/db_values.h"
#include "display/task/display.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"
#include "panel/sign_view.h"

namespace {

constexpr uint8_t kTestRunning = 3;
constexpr uint32_t kShortErrorPixel = 0x20;
constexpr CLCD_MenuId kMenuResults = 9;
constexpr CLCD_MenuId kMenuTestList = 11;
constexpr CLCD_MenuId kMenuRealTimeBitmap = 14;
constexpr CLCD_MenuId kMenuRealTimeList = 15;
constexpr CLCD_MenuId kMenuRealTimeClear = 16;
constexpr uint32_t kRows = 500;

CDataBase* db() { return g_pDataBase; }

bool real_time_on() { return lcd_nv(nv::quorEnableRealTimePixelDiagnostics) == 1; }
bool asked_by_system_errors(const CMenuItem* page) {
  return page->m_pParent && page->m_pParent->m_iId == LCD_MENU_SYSTEM_ERRORS;
}

// Visibility of the picture and the list of a source.
bool results_visible(CMenuItem* page, CLCD_Manager* mgr, uint8_t source) {
  if (!page->CMenuItem::HasRights(mgr)) return false;
  if (source == PIXEL_SOURCE_REAL_TIME && !real_time_on()) return false;
  return !asked_by_system_errors(page) || lcd_pixel_failure_rows(source) >= 1;
}

void clear_results(uint8_t source) {
  g_post_office.Publish(source == PIXEL_SOURCE_REAL_TIME ? MSG_CLEAR_AUX_PIXEL_RESULTS : MSG_CLEAR_PIXEL_RESULTS);
}

}  // namespace

uint32_t lcd_pixel_failure_rows(uint8_t source) {
  const uint32_t rows =
      lcd_v(source == PIXEL_SOURCE_REAL_TIME ? vol::dmsPixelFailureMessageRows : vol::dmsPixelFailureTestRows);
  return rows < kRows ? rows : kRows;
}

// ---------------------------------------------------------------- activation

CLCD_PixelTestActivation::CLCD_PixelTestActivation(CLCD_MenuId id)
    : CLCD_ConfirmMenu(id, "PIXEL TEST ACTIVATION", "ACTIVATION DU TEST DE PIXELS", LCD_RIGHT_DIAGNOSTICS) {}

void CLCD_PixelTestActivation::OnSelect(CLCD_Manager*, CLCD_MenuOption* option) {
  if (!option) return;
  if (option->m_dwValue == 1 && db()) {
    db()->SetValue(vol::pixelTestActivation.offset, vol::pixelTestActivation.width, kTestRunning, db()->mib_v,
                   DB_NOTIFY);
    option->m_iNextMenu = kMenuResults;
  } else {
    option->m_iNextMenu = 0;
  }
}

// ---------------------------------------------------------------- results list

CLCD_PixelTestResults::CLCD_PixelTestResults(CLCD_MenuId id)
    : CLCD_MenuItemEx(id, "PIXEL TEST RESULTS", "RESULTAT DU TEST DE PIXELS") {
  m_dwRights = LCD_RIGHT_DIAGNOSTICS;
}

bool CLCD_PixelTestResults::IsRunning(CLCD_Manager*) { return lcd_v(vol::pixelTestActivation) == kTestRunning; }

void CLCD_PixelTestResults::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_FULL) m_bShownRunning = false;
  if (m_bShownRunning && !IsRunning(mgr)) {
    // The test is over: the entries come back.
    m_bShownRunning = false;
    mgr->RequestRedraw(LCD_DRAW_FULL);
    return;
  }
  CLCD_MenuItemEx::Draw(mgr, lcd, mode);
}

void CLCD_PixelTestResults::DrawRunning(CLCD_Manager* mgr, CLCD* lcd, uint32_t first_line, uint32_t) {
  if (m_bShownRunning) return;
  for (uint32_t line = first_line; line <= LCD_LINES; ++line) lcd->ClearLine(line);
  lcd->Printf(first_line, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, "RUNNING... PLEASE WAIT", "EN COURS D'EXECUTION..."));
  m_bShownRunning = true;
}

// ---------------------------------------------------------------- picture

CLCD_PixelTestResultsBitmap::CLCD_PixelTestResultsBitmap(CLCD_MenuId id, uint8_t source)
    : CMenuItem(id, "", "", LCD_RIGHT_DIAGNOSTICS, 0), m_bySource(source) {}

bool CLCD_PixelTestResultsBitmap::HasRights(CLCD_Manager* mgr) { return results_visible(this, mgr, m_bySource); }

bool CLCD_PixelTestResultsBitmap::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key || m_bySource != PIXEL_SOURCE_TEST || lcd_key_code(*key) != LCD_KEY_ENTER) return false;
  if (lcd_pixel_failure_rows(m_bySource) == 0) return false;
  mgr->ActivateMenu(kMenuTestList, this, false);
  return true;
}

void CLCD_PixelTestResultsBitmap::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  const bool french = mgr->m_dwLanguage == 1;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  const uint32_t rows = lcd_pixel_failure_rows(m_bySource);
  if (rows)
    lcd->PrintfLine(8, LCD_ALIGN_CENTRE, french ? "%d ERREURS" : "%d ERRORS!", static_cast<int>(rows));
  else
    lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", french ? "AUCUNE ERREUR" : "NO ERRORS!");
  if (lcd_sign_too_tall()) {
    lcd_draw_too_tall(mgr, lcd);
    return;
  }
  // The failed pixels of the table make the picture.
  const uint32_t h = lcd_nv(nv::vmsSignHeightPixels);
  const uint32_t w = lcd_nv(nv::vmsSignWidthPixels);
  uint32_t H = h;
  uint32_t W = w;
  if (g_pDisplay && g_pDisplay->SignDriver() && g_pDisplay->SignDriver()->GetHeight() > 0) {
    H = static_cast<uint32_t>(g_pDisplay->SignDriver()->GetHeight());
    W = static_cast<uint32_t>(g_pDisplay->SignDriver()->GetWidth());
  }
  if (H == 0 || W == 0) return;
  const uint32_t stride = (W + 7) / 8;
  std::vector<uint8_t> bits(static_cast<size_t>(stride) * H, 0);
  const uint32_t base = m_bySource == PIXEL_SOURCE_REAL_TIME ? kRows : 0;
  for (uint32_t r = 0; r < rows; ++r) {
    const uint32_t x = lcd_v(vol::pixelFailureXLocation(0, base + r));
    const uint32_t y = lcd_v(vol::pixelFailureYLocation(0, base + r));
    if (x == 0 || y == 0 || x > W || y > H) continue;
    bits[(y - 1) * stride + (x - 1) / 8] |= static_cast<uint8_t>(0x80u >> ((x - 1) % 8));
  }
  // A sign wider than the panel shows its leftmost columns.
  const sign_picture picture = {bits.data(), stride, H, W, h, w};
  lcd_draw_sign_picture(lcd, picture, SIGN_VIEW_LEFT);
}

// ---------------------------------------------------------------- list

CLCD_PixelTestResultsList::CLCD_PixelTestResultsList(CLCD_MenuId id, uint8_t source)
    : CLCD_SimpleMenuBase(id, "", "", LCD_RIGHT_DIAGNOSTICS), m_bySource(source) {
  m_byAutoNavigate = 0;
  m_byContinuousNumbering = 1;
}

bool CLCD_PixelTestResultsList::HasRights(CLCD_Manager* mgr) { return results_visible(this, mgr, m_bySource); }

void CLCD_PixelTestResultsList::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleMenuBase::Enter(mgr);
  ClearOptions();
  m_dwRows = lcd_pixel_failure_rows(m_bySource);
  uint32_t module_width = lcd_nv(nv::vmsCharacterWidthPixels);
  uint32_t module_height = lcd_nv(nv::vmsCharacterHeightPixels);
  if (g_pDisplay && g_pDisplay->FaceDescription(0).module_width) {
    module_width = g_pDisplay->FaceDescription(0).module_width;
    module_height = g_pDisplay->FaceDescription(0).module_height;
  }
  if (module_width == 0 || module_height == 0) return;
  if (m_dwRows == 0) {
    m_aOptions[0] = CLCD_MenuOption(0, "NO ERROR", "AUCUNE ERREUR", 0);
    AddOption(&m_aOptions[0]);
    return;
  }
  const uint32_t base = m_bySource == PIXEL_SOURCE_REAL_TIME ? kRows : 0;
  for (uint32_t r = 0; r < m_dwRows; ++r) {
    const uint32_t x = lcd_v(vol::pixelFailureXLocation(0, base + r));
    const uint32_t y = lcd_v(vol::pixelFailureYLocation(0, base + r));
    const uint32_t status = lcd_v(vol::pixelFailureStatus(0, base + r));
    std::snprintf(m_aszTexts[r], kTextSize, "[%u,%u] module:[%u,%u]", x, y, x ? (x - 1) / module_width + 1 : 0,
                  y ? (y - 1) / module_height + 1 : 0);
    m_aOptions[r] = CLCD_MenuOption(status, m_aszTexts[r], m_aszTexts[r], 0);
    AddOption(&m_aOptions[r]);
  }
}

void CLCD_PixelTestResultsList::DrawOptionValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t index, uint32_t line,
                                                uint8_t align) {
  if (index >= m_dwOptionCount || !m_apOptions[index]) return;
  const uint32_t status = m_apOptions[index]->m_dwValue;
  if (status == 0) return;
  const char* text = nullptr;
  switch (status) {
    case 4: case 6: case 20:
      text = lcd_text(mgr, "STUCK OFF", "TOUJOURS ETEINTE");
      break;
    case 5: case 7:
      text = lcd_text(mgr, "STUCK ON", "TOUJOURS ALLUMEE");
      break;
    default:
      text = lcd_text(mgr, "UNKNOWN ERROR", "ERREUR INCONNUE");
      break;
  }
  // Right-aligned beside the option's own text.
  const uint32_t length = static_cast<uint32_t>(std::strlen(text));
  if (align == LCD_ALIGN_RIGHT && length < LCD_COLUMNS)
    lcd->PrintfAt(line, LCD_COLUMNS - length + 1, "%s", text);
  else
    lcd->PrintfAt(line, 1, "%s", text);
}

// ---------------------------------------------------------------- clear

CLCD_PixelTestResultsClear::CLCD_PixelTestResultsClear(CLCD_MenuId id, uint8_t source)
    : CLCD_ConfirmMenu(id, "", "", LCD_RIGHT_DIAGNOSTICS), m_bySource(source) {}

bool CLCD_PixelTestResultsClear::HasRights(CLCD_Manager* mgr) {
  if (!CMenuItem::HasRights(mgr)) return false;
  if (asked_by_system_errors(this)) return (lcd_v(vol::shortErrorStatus) & kShortErrorPixel) != 0;
  if (m_bySource == PIXEL_SOURCE_REAL_TIME) return real_time_on() || lcd_pixel_failure_rows(m_bySource) > 0;
  return true;
}

void CLCD_PixelTestResultsClear::OnSelect(CLCD_Manager*, CLCD_MenuOption* option) {
  if (option && option->m_dwValue == 1) clear_results(m_bySource);
}

// ---------------------------------------------------------------- real time

namespace {
const char* const kRealTimeChoices[] = {"DISABLE", "ENABLE", nullptr};
}  // namespace

CLCD_RealTimePixel::CLCD_RealTimePixel(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "REAL-TIME PIXEL ERRORS", "REAL-TIME PIXEL ERRORS", LCD_RIGHT_CONFIGURATION) {
  m_Item.kind = WIZARD_CHOICE;
  m_Item.choice.per_page = 6;
  m_Item.choice.choices = kRealTimeChoices;
  m_Item.choice.title = m_pszTitle;
  AddItem(&m_Item);
}

void CLCD_RealTimePixel::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_Item.choice.selected = real_time_on() ? 1 : 0;
}

void CLCD_RealTimePixel::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  lcd->Printf(line, align, "%sD ", lcd_nv(nv::quorEnableRealTimePixelDiagnostics) ? "ENABLE" : "DISABLE");
}

void CLCD_RealTimePixel::Finish(CLCD_Manager*) {
  if (!db()) return;
  db()->SetValue(nv::quorEnableRealTimePixelDiagnostics.offset, nv::quorEnableRealTimePixelDiagnostics.width,
                 m_Item.choice.selected != 0 ? 1 : 0, db()->mib_nv, DB_NOTIFY);
  clear_results(PIXEL_SOURCE_REAL_TIME);
}

// ---------------------------------------------------------------- factory

namespace {
uint8_t source_of(CLCD_MenuId id) {
  return (id == kMenuRealTimeBitmap || id == kMenuRealTimeList || id == kMenuRealTimeClear) ? PIXEL_SOURCE_REAL_TIME
                                                                                           : PIXEL_SOURCE_TEST;
}
CMenuItem* create_activation(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_PixelTestActivation(id); }
CMenuItem* create_results(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_PixelTestResults(id); }
CMenuItem* create_bitmap(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_PixelTestResultsBitmap(id, source_of(id));
}
CMenuItem* create_list(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_PixelTestResultsList(id, source_of(id));
}
CMenuItem* create_clear(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_PixelTestResultsClear(id, source_of(id));
}
CMenuItem* create_real_time(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_RealTimePixel(id); }
}  // namespace

const class_descriptor g_real_time_pixel_class = {44, create_real_time};
const class_descriptor g_pixel_test_activation_class = {27, create_activation};
const class_descriptor g_pixel_test_results_class = {28, create_results};
const class_descriptor g_pixel_test_bitmap_class = {29, create_bitmap};
const class_descriptor g_pixel_test_list_class = {30, create_list};
const class_descriptor g_pixel_test_clear_class = {31, create_clear};
