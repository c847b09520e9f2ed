// What the display task derives from the module type and the frame rate:
// the module class, the display-line lengths, the faces' refresh rate. The
// rest of the sign identification (EPLD colour registers, the module-table
// texts, the model text) and the brightness evaluation come with their own
// work; their entry points here do the least the face registration needs.
#include "database/database.h"
#include "database/objects.h"
#include "display/message/db_read.h"
#include "display/render/render.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

namespace {

// The module types of the current generation, searched from the start.
const uint16_t kClass4Types[] = {21, 22, 23, 24, 118, 154, 98, 99, 100, 101, 169,
                                 102, 103, 104, 105, 94, 95, 96, 97, 172, 119, 155};

}  // namespace

uint8_t module_type_class(uint32_t module_type) {
  for (uint16_t t : kClass4Types)
    if (t == module_type) return 4;
  return (find_module_type(module_type)->flags & MODULE_FLAG_CLASS2) ? 2 : 3;
}

void CDisplay::ComputeLineLengths(disp::face_description* d) {
  if (!d) return;
  const uint32_t rows = d->module_height ? d->height / d->module_height : 0;
  const uint32_t full = d->module_width ? d->width / d->module_width : 0;
  for (uint32_t i = 0; i < 9; ++i) {
    if (i >= rows) {
      d->modules_per_row[i] = 0;
      continue;
    }
    uint32_t length = nv_value(nv::quorLineLength(i));
    if (length == 0) {
      length = full;
    } else if (length > full) {
      length = full;
      set_nv(nv::quorLineLength(i), length, DB_NOTIFY);
    }
    d->modules_per_row[i] = static_cast<uint8_t>(length > 255 ? 255 : length);
  }
}

// Rates outside 1..100 have no timer period: they are held to that range.
void CDisplay::SetRefreshRate(uint8_t framesPerSecond) {
  uint32_t f = framesPerSecond ? framesPerSecond : 1;
  if (f > TICKS_PER_SECOND) f = TICKS_PER_SECOND;
  g_render.m_byFrameRate = static_cast<uint8_t>(f);
  monitor_printf_debug("SetRefreshRate to %d frames per second\n", static_cast<int>(f));
  const uint32_t period = TICKS_PER_SECOND / f;
  set_nv(nv::quorFrameRate, f, DB_NOTIFY);
  m_uTimerPeriod = period;
  if (State() == STATE_CREATED) {
    os_timer_deactivate(Timer());
    os_timer_change(Timer(), m_uTimerFirst, period, nullptr);
    os_timer_activate(Timer());
  }
  m_byLoopsPerSecond = static_cast<uint8_t>(TICKS_PER_SECOND / period);
}

bool CDisplay::SetFaceFrameRate(disp::face_description* d) {
  if (!d) return false;
  uint32_t rate = nv_value(nv::quorFrameRate);
  if (rate == 0) rate = 2;
  if (rate > TICKS_PER_SECOND) rate = TICKS_PER_SECOND;
  d->rate = static_cast<uint8_t>(rate);
  monitor_printf_debug("FPS = %d\n", static_cast<int>(rate));
  return true;
}

void CDisplay::UpdateDriverInfo() {
  for (uint32_t i = 0; i < m_dwFaceCount && i < FACES; ++i) SetFaceFrameRate(&m_FaceDesc[i]);
  if (m_dwFaceCount) SetRefreshRate(m_FaceDesc[0].rate);
}

void CDisplay::UpdateBrightness(bool force) {
  if (force) {
    m_dwBrightnessState = 0;
    m_byBrightnessReload = 1;
  }
  if (!m_pActiveDriver) return;
  const uint32_t mode = nv_value(nv::quorDisplayMode);
  if (mode == 9 || mode == 10 || mode == 25 || mode == 35) return;
  const uint32_t control = nv_value(nv::dmsIllumControl);
  if (control != m_dwIllumControlAtStart) {
    m_byBrightnessReload = 1;
    m_dwBrightnessState = 0;
    m_dwIllumControlAtStart = control;
  }
}
