// Which modules are there: the presence scan over the EPLD's response
// bits, and the poll schedule that asks one line at a time for identity,
// information and measurements and counts the requests a module leaves
// unanswered.
#include "database/database.h"
#include "database/objects.h"
#include "display/core/face.h"
#include "display/driver/q5_display_driver.h"
#include "display/message/db_read.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/task/display.h"
#include "frame/trace/trace.h"

namespace {

bool is_gen4(uint32_t type) { return type == 90 || type == 114 || type == 125; }

// Module types whose modules take three positions of their line (only the
// first is tested).
bool three_positions(uint32_t type) { return type == 118 || type == 119 || type == 154 || type == 155; }

}  // namespace

uint8_t diag_ksr7100::PixelTestRunning() const {
  if (m_pPixelTestRunning) return *m_pPixelTestRunning;
  return g_pDisplay ? g_pDisplay->m_byPixelTestRunning : 0;
}

uint32_t diag_ksr7100::DisplayState() const {
  if (m_pDisplayState) return *m_pDisplayState;
  return g_pDisplay ? g_pDisplay->m_dwDisplayState : 0;
}

uint32_t diag_ksr7100::SignSelectedLine() {
  if (CQ5DisplayDriver* sign = dynamic_cast<CQ5DisplayDriver*>(m_pDisplayDriver)) return sign->m_dwSelectedLine;
  return g_q5_display_driver.m_dwSelectedLine;
}

// ------------------------------------------------------------------ presence

void diag_ksr7100::ScanModules() {
  if (!IsOpen() || !m_pDescription) return;
  const bool two = TwoResponseWords();
  const bool thirds = three_positions(m_pDescription->module_type);
  const uint8_t running = PixelTestRunning();
  const bool halted = DisplayState() == CDisplay::STATE_HALTED;

  uint32_t first = 0, end = LineCount() < LINES ? LineCount() : LINES;
  if (vol_value(vol::pixelTestActivation) != 3) {
    first = SignSelectedLine();
    end = first + 1;
  }
  for (uint32_t line = first; line < end && line < LINES; ++line) {
    const uint32_t modules = LineModules(line);
    for (uint32_t index = 0; index < modules && index < LINE_POSITIONS; ++index) {
      const uint32_t p = thirds ? 3 * index : index;
      if (p >= LINE_POSITIONS) break;
      uint32_t word;
      if (two)
        word = p < 32 ? m_dwResponse[line][1] : m_dwResponse[line][0];
      else
        word = m_dwResponse[line][0];
      const bool answering = (word >> (p % 32)) & 1u;
      // Positions from 32 on have no bit in the map.
      const uint32_t map_bit = index < 32 ? 1u << index : 0;
      uint8_t& counter = m_byPresence[line][index];

      if (!answering) {
        if (counter < PRESENCE_MISSING && !running) {
          ++counter;
        } else if (counter == PRESENCE_MISSING || running) {
          // Held at 255 rather than wrapping to "just seen".
          if (!halted && counter < 0xFF) ++counter;
          m_dwPresentMap[line] &= ~map_bit;
          MarkModule(line, index, 3, 0);
        }
      } else if (counter < 2 || running) {
        if (running || (counter == 1 && !(m_dwPresentMap[line] & map_bit))) {
          m_dwPresentMap[line] |= map_bit;
          counter = 0;
          MarkModule(line, index, 0, 0);
        }
      } else {
        --counter;
      }
    }
  }
}

// ------------------------------------------------------------------ polling

void diag_ksr7100::CountUnansweredRequests(uint32_t line) {
  const uint32_t row = LineRow(line), first = LineFirstColumn(line), modules = LineModules(line);
  for (uint32_t column = first; column < first + modules; ++column) {
    const uint32_t index = RecordIndex(column, row);
    if (index >= ModuleCount()) break;
    disp::module& m = m_Modules[index];
    if (m.unanswered >= disp::module::LOST_AFTER) continue;
    if (++m.unanswered < disp::module::LOST_AFTER) continue;
    uint8_t c = 0, r = 0;
    m.GetGridPosition(c, r);
    monitor_printf("mod r:%d c:%d comm lost\n", r + 1, c + 1);
    m.lost = 1;
    m.Reset();
    m.status_code = 3;
  }
}

void diag_ksr7100::PollModules(display_driver* driver) {
  if (!IsOpen() || !m_pDescription) return;
  m_pDisplayDriver = driver;
  const bool realtime = nv_value(nv::quorEnableRealTimePixelDiagnostics) != 0;
  if (realtime) ReadModuleResponses();
  if (!m_byRealtimeReading) {
    if (realtime && driver) driver->SetDiagnosticsEnabled(1);
    m_byRealtimeReading = 1;
  }
  // Line requests go through the sign's driver only.
  CQ5DisplayDriver* sign = dynamic_cast<CQ5DisplayDriver*>(driver);

  if (m_wPollCounter >= POLL_CYCLE) {
    m_wPollCounter = 0;
    if (sign) {
      const uint32_t previous = m_dwPollLine;
      m_dwPollLine = static_cast<uint32_t>(sign->NextLine());
      if (realtime) sign->SelectLine(previous);
    }
    return;
  }
  const uint32_t rate = nv_value(nv::quorFrameRate);
  m_wPollCounter = static_cast<uint16_t>(m_wPollCounter + (rate >= 1 && rate <= 3 ? 5 : rate >= 4 && rate <= 6 ? 2 : 1));
  if (m_pDescription->module_class < 4 || !sign) return;

  const uint32_t line = m_dwPollLine;
  bool sent = true, realtime_off = true;
  switch (m_wPollCounter) {
    case 20:
      monitor_printf_debug("request rev's line:%d\n", static_cast<int>(line));
      sign->ResetLines(static_cast<int32_t>(line));
      break;
    case 40:
      monitor_printf_debug("request info's line:%d\n", static_cast<int>(line));
      sign->RequestModuleInfo(line);
      break;
    case 50: {
      const uint8_t type = GetModuleType(), effective = GetEffectiveModuleType();
      if (is_gen4(type) && effective == 0) {
        monitor_printf_debug("request module subtype:%d,%d\n", type, effective);
        sign->RequestModuleSubtype(line);
      } else {
        sent = false;
      }
      break;
    }
    case 60:
      monitor_printf_debug("request volt temp's line:%d\n", static_cast<int>(line));
      sign->RequestVoltTemp(line);
      break;
    case 70:
      realtime_off = false;
      if (line == 0) {
        uint32_t t = nv_value(nv::quorModTimeout);
        if (t < MIN_MODULE_TIMEOUT) {
          t = MIN_MODULE_TIMEOUT;
          if (g_pDataBase)
            g_pDataBase->SetValue(nv::quorModTimeout.offset, nv::quorModTimeout.width, t, g_pDataBase->mib_nv,
                                  DB_NOTIFY);
        }
        monitor_printf_debug("send mod timeout, %d\n", static_cast<int>(t));
        const uint8_t data[4] = {0x1D, static_cast<uint8_t>(t >> 8), static_cast<uint8_t>(t & 0xFF), 0x00};
        sign->SendToAllLines(data, 4);
      } else {
        sent = false;
      }
      break;
    case 80:
      monitor_printf_debug("request N+1 info line:%d\n", static_cast<int>(line));
      sign->RequestNextInfo(line);
      break;
    default:
      sent = false;
      break;
  }
  if (!sent) return;
  if (realtime_off && realtime) {
    sign->SetDiagnosticsEnabled(0);
    m_byRealtimeReading = 0;
  }
  CountUnansweredRequests(line);
}
