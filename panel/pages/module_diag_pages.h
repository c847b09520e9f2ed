// What every display module reports of itself, as a table five modules a
// page: supply voltages, temperature and LED currents; LED voltages and
// firmware revision; the output voltage. LEFT and RIGHT change the view,
// UP and DOWN the page. The records are the display's; the page only reads
// them, and its periodic redraw shows them as they change.
#pragma once

#include <cstdint>

#include "panel/menu_item.h"

namespace disp {
class diagnostics;
class module;
}  // namespace disp

class CLCD_ModuleDiagnostics : public CLCD_RightKeyPage {
 public:
  static constexpr uint32_t kPerPage = 5;
  static constexpr uint8_t kViews = 3;
  static constexpr uint8_t kRedrawInterval = 6;

  explicit CLCD_ModuleDiagnostics(CLCD_MenuId id);
  // Only modules that report diagnostics have the page.
  bool HasRights(CLCD_Manager* mgr) override;
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  // One module's line of the view (at most 40 characters and the NUL).
  static void FormatLine(char* out, uint32_t size, const disp::module& m, uint8_t view, bool single_input,
                         bool single_colour);

  uint8_t m_byPage = 0;
  uint8_t m_byView = 0;
  uint8_t m_byLastPage = 1;

 private:
  void DrawHeader(CLCD* lcd, bool single_input);
  // The lines of the current page; the first line left free.
  uint32_t DrawModules(CLCD* lcd, disp::diagnostics* diag, bool single_input, bool single_colour);
};
