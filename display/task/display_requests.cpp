// Work the display task's letters ask of the task itself: the tolerant-mode
// switch of the special features and the module status report.
#include <cstdio>

#include "database/database.h"
#include "database/objects.h"
#include "display/core/diagnostics.h"
#include "display/core/module.h"
#include "display/message/db_read.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_peripherals.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "frame/watchdog/watchdog_task.h"

namespace {

constexpr uint32_t kFeatureTolerant = 0x20;
// The user community that tolerant mode opens to everything.
constexpr char kTolerantCommunity[] = "fernly";

// A value kept in tenths of a volt, as whole volts and tenths.
int volts(uint32_t tenths) { return static_cast<int>(tenths / 10); }
int tenths_of(uint32_t tenths) { return static_cast<int>(tenths % 10); }

}  // namespace

void CDisplay::ApplyTolerantModeChange() {
  const uint32_t tolerant = nv_value(nv::quorSpecialFeatureSet) & kFeatureTolerant;
  if (tolerant == m_dwTolerantSeen) return;
  post_office* router = m_Inbox.Router();
  // A font load takes longer than the watchdog waits for a check-in.
  if (router) router->Publish(MSG_WDT_DISPLAY_STOP);
  const uint32_t signType = nv_value(nv::dmsSignType);
  if ((signType == 4 || signType == 132) && g_pDataBase) g_pDataBase->LoadFont("FW07X5_1_NEMA4.FNT", 0);
  set_nv_bytes(nv::communityNameUser(0), kTolerantCommunity, sizeof kTolerantCommunity - 1, DB_NOTIFY);
  set_nv(nv::communityNameAccessMask(0), tolerant ? 0xFFFFFFFF : 0, DB_NOTIFY);
  if (router) router->Publish(MSG_WDT_DISPLAY_START);
  m_dwTolerantSeen = tolerant;
}

// The record's fields as the report shows them: the status code carries
// the module's power supply (0-based), fields a, e, f its three currents,
// fields b, c, d, g its minimum, maximum, average and current voltage,
// values 1 and 2 its supply voltages and values 3 to 5 its LED voltages.
void CDisplay::ModuleStatusReport(uint32_t face) {
  if (face >= m_dwFaceCount || face >= FACES) {
    monitor_printf("face does not exist\n");
    return;
  }
  if (g_pWatchdog) g_pWatchdog->Disable();
  const disp::face_description* d = m_Faces[face].Description();
  disp::diagnostics* diag = d ? d->diag : nullptr;
  uint32_t index = 0;
  disp::module* m = nullptr;
  bool more = diag && diag->FirstModule(index, &m);
  while (more && m) {
    uint8_t column = 0, row = 0;
    m->GetGridPosition(column, row);
    monitor_printf("mod:A%1d%02d type:%d rev:%d ps:%d Temp:%d mA:%d,%d,%d Vmn,mx,a,c:%d,%d,%d,%d\n", row + 1,
                   column + 1, static_cast<int>(m->type), static_cast<int>(m->revision), m->status_code + 1,
                   static_cast<int>(m->temperature), m->field_a, m->field_e, m->field_f, m->field_b, m->field_c,
                   m->field_d, m->field_g);
    monitor_printf("\tVps1,2:%d.%d,%d.%d Vled1->3:%d.%d,%d.%d,%d.%d %s\n\n", volts(m->value[0]),
                   tenths_of(m->value[0]), volts(m->value[1]), tenths_of(m->value[1]), volts(m->value[2]),
                   tenths_of(m->value[2]), volts(m->value[3]), tenths_of(m->value[3]), volts(m->value[4]),
                   tenths_of(m->value[4]), m->quick_test ? "quick" : "legacy");
    os_sleep(10);
    more = diag->NextModule(index, &m);
  }
  if (g_pWatchdog) g_pWatchdog->Enable();
}

// What the peripheral task does for the display, when there is one.
bool CDisplay::LowPowerModeActive() {
  return g_display_peripherals.low_power_active && g_display_peripherals.low_power_active();
}
void CDisplay::ClearPowerLossActivation() {
  if (g_display_peripherals.clear_power_loss_activation) g_display_peripherals.clear_power_loss_activation();
}
void CDisplay::ClearGPOutputRequests() {
  if (g_display_peripherals.clear_gp_output_requests) g_display_peripherals.clear_gp_output_requests();
}
