#include "panel/pages/module_diag_pages.h"

#include <cstdio>
#include <new>

#include "database/objects.h"
#include "display/core/diagnostics.h"
#include "display/core/module.h"
#include "display/driver/module_type.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/task/display.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_keys.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/menu_bases.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kModuleDiagnosticsType = 34;
constexpr uint8_t kDiagnosticsClass = 4;
constexpr uint32_t kFirstLine = 3;
constexpr uint32_t kLastLine = 8;

const uint8_t kRightArrow[8] = {0x00, 0x04, 0x02, 0xFF, 0x02, 0x04, 0x00, 0x00};
const uint8_t kLeftArrow[8] = {0x00, 0x20, 0x40, 0xFF, 0x40, 0x20, 0x00, 0x00};

// The modules' output voltage byte spans 0..5.0 V: tenths of a volt.
int output_tenths(uint8_t byte) { return byte * 50 / 255; }

const char* supply_text(uint8_t supply) {
  switch (supply) {
    case 0: return "PS1";
    case 1: return "PS2";
    case 2: return "1&2";
    default: return "  ?";
  }
}

disp::diagnostics* primary_diagnostics() { return g_pDisplay ? g_pDisplay->FaceDescription(0).diag : nullptr; }

}  // namespace

CLCD_ModuleDiagnostics::CLCD_ModuleDiagnostics(CLCD_MenuId id)
    : CLCD_RightKeyPage(id, "MODULE DIAGNOSTICS", "", LCD_RIGHT_DIAGNOSTICS, kRedrawInterval) {}

bool CLCD_ModuleDiagnostics::HasRights(CLCD_Manager* mgr) {
  return CMenuItem::HasRights(mgr) && module_type_class(lcd_nv(nv::quorModuleID)) == kDiagnosticsClass;
}

void CLCD_ModuleDiagnostics::Enter(CLCD_Manager* mgr) {
  CMenuItem::Enter(mgr);
  m_byPage = 0;
  m_byView = 0;
  m_byRedrawInterval = kRedrawInterval;
}

bool CLCD_ModuleDiagnostics::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!mgr || !key) return false;
  bool changed = false;
  switch (lcd_key_code(*key)) {
    case LCD_KEY_UP:
      if ((changed = m_byPage > 0)) --m_byPage;
      break;
    case LCD_KEY_DOWN:
      if ((changed = !m_byLastPage)) ++m_byPage;
      break;
    case LCD_KEY_RIGHT:
      if ((changed = m_byView + 1 < kViews)) ++m_byView;
      break;
    case LCD_KEY_LEFT:
      if ((changed = m_byView > 0)) --m_byView;
      break;
    default:
      return false;
  }
  if (changed) mgr->RequestRedraw(LCD_DRAW_PARTIAL);
  return true;
}

void CLCD_ModuleDiagnostics::FormatLine(char* out, uint32_t size, const disp::module& m, uint8_t view,
                                        bool single_input, bool single_colour) {
  uint8_t column = 0, row = 0;
  m.GetGridPosition(column, row);
  const int line = row + 1, position = column + 1;
  auto volts = [](uint16_t tenths) { return static_cast<int>(tenths / 10); };
  auto tenth = [](uint16_t tenths) { return static_cast<int>(tenths % 10); };
  if (view == 0 && single_input) {
    snprintf(out, size, "A%1d%02d     %2d.%d  %4d  %2d  %2d  %2d", line, position, volts(m.value[0]),
             tenth(m.value[0]), m.temperature, m.field_a, m.field_e, m.field_f);
  } else if (view == 0) {
    snprintf(out, size, "A%1d%02d     %2d.%d %2d.%d %s %4d  %2d  %2d  %2d", line, position, volts(m.value[0]),
             tenth(m.value[0]), volts(m.value[1]), tenth(m.value[1]), supply_text(m.status_code), m.temperature,
             m.field_a, m.field_e, m.field_f);
  } else if (view == 1) {
    snprintf(out, size, "A%1d%02d      %2d.%d  %2d.%d  %2d.%d %3d", line, position, volts(m.value[2]),
             tenth(m.value[2]), volts(m.value[3]), tenth(m.value[3]), volts(m.value[4]), tenth(m.value[4]),
             m.revision);
  } else if (single_colour) {
    // Fields d, b and c: the average, lowest and highest output voltage.
    const int average = output_tenths(m.field_d), low = output_tenths(m.field_b), high = output_tenths(m.field_c);
    snprintf(out, size, "A%1d%02d     %2d.%d,%2d.%d->%2d.%d", line, position, average / 10, average % 10, low / 10,
             low % 10, high / 10, high % 10);
  } else {
    snprintf(out, size, "A%1d%02d     N/A", line, position);
  }
  // Values wider than their columns push the line past the screen.
  if (size > LCD_COLUMNS) out[LCD_COLUMNS] = 0;
}

void CLCD_ModuleDiagnostics::DrawHeader(CLCD* lcd, bool single_input) {
  static const char* const kHeaders[kViews] = {"MODULE   VIN1 VIN2  PS T(C) mA1 mA2 mA3",
                                               "MODULE   VLED1 VLED2 VLED3 REV", "MODULE   VOUT(AVG,RANGE)"};
  const char* header = m_byView == 0 && single_input ? "MODULE    VIN  T(C) mA1 mA2 mA3" : kHeaders[m_byView];
  lcd->PrintfLine(2, LCD_ALIGN_LEFT, "%s", header);
  if (m_byView + 1 < kViews)
    lcd->Bitmap(232, 56, 8, 8, kRightArrow);
  else
    lcd->DrawRect(0, 232, 56, 239, 63);
  if (m_byView > 0)
    lcd->Bitmap(0, 56, 8, 8, kLeftArrow);
  else
    lcd->DrawRect(0, 0, 56, 7, 63);
}

uint32_t CLCD_ModuleDiagnostics::DrawModules(CLCD* lcd, disp::diagnostics* diag, bool single_input,
                                             bool single_colour) {
  uint32_t line = kFirstLine;
  if (!diag) return line;
  uint32_t index = 0;
  disp::module* m = nullptr;
  // The records are written by the module bus meanwhile: one line may mix
  // two replies, the next redraw shows the later.
  for (bool more = diag->FirstModule(index, &m); more && m && index < diag->ModuleCount();
       more = diag->NextModule(index, &m)) {
    const uint32_t page = index / kPerPage;
    if (page > m_byPage) {
      m_byLastPage = 0;
      break;
    }
    if (page < m_byPage) continue;
    char text[64];
    FormatLine(text, sizeof text, *m, m_byView, single_input, single_colour);
    lcd->PrintfLine(line++, LCD_ALIGN_LEFT, "%s", text);
  }
  return line;
}

void CLCD_ModuleDiagnostics::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (!lcd || mode == LCD_DRAW_REFRESH) return;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  m_byLastPage = 1;
  const bool single_input = g_diag_ksr7100.m_bySingleInput != 0;
  const bool single_colour = find_module_type(lcd_nv(nv::quorModuleID))->colour_type == 1;
  DrawHeader(lcd, single_input);
  const uint32_t next = DrawModules(lcd, primary_diagnostics(), single_input, single_colour);
  if (!m_byLastPage) {
    lcd->PrintfLine(kLastLine, LCD_ALIGN_CENTRE, "(MORE)");
    return;
  }
  for (uint32_t line = next; line <= kLastLine; ++line) lcd->ClearLine(line);
}

namespace {
CMenuItem* create_module_diagnostics(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_ModuleDiagnostics(id);
}
}  // namespace

const class_descriptor g_module_diagnostics_class = {kModuleDiagnosticsType, create_module_diagnostics};
