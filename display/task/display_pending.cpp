// Operations of the display task whose own work is not built yet: module
// diagnostics and reprogramming, and what the task asks of the front panel
// and the peripherals. Each does
// the least its callers here need (usually nothing) until its work
// replaces it; the step calls them at their place already.
#include "database/objects.h"
#include "display/message/db_read.h"
#include "display/task/display.h"

// ---- module diagnostics, the module bus and the sign driver's lines
void (*g_pfnDisplayReprogram)() = nullptr;
void CDisplay::ReprogramModules() {
  if (g_pfnDisplayReprogram) g_pfnDisplayReprogram();
}

// ---- the database's font service
void CDisplay::ServiceFontStatus() {}

// ---- front panel and peripherals
CPeripheral* CDisplay::FindFrontPanel() { return CLCDDisplayDriver::FrontPanel(nullptr); }
uint8_t CDisplay::FrontPanelFrameViewMode() {
  uint8_t mode = 0;
  return CLCDDisplayDriver::FrontPanel(&mode) ? mode : 0;
}
void CDisplay::RedrawFrontPanelPage() {}
