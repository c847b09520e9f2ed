#include "display/modbus/diag_ksr7100.h"

#include <cstdio>
#include <cstring>

#include "board_io.h"
#include "database/database.h"
#include "database/objects.h"
#include "display/core/bus.h"
#include "display/core/face.h"
#include "display/driver/display_driver.h"
#include "display/driver/module_type.h"
#include "display/driver/q5_display_driver.h"
#include "display/message/db_read.h"
#include "display/modbus/bus_ksr7100.h"
#include "display/modbus/diag_registrar.h"
#include "display/modbus/module_bus_frame.h"
#include "display/modbus/packet.h"
#include "display/task/display.h"
#include "frame/can/can_db_driver.h"
#include "frame/can/can_packet.h"
#include "frame/os/interrupts_masked.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

module_link_services g_module_link_services;

namespace {

constexpr uint32_t kNoSlot = diag_index_registrar::NO_SLOT;

bool is_gen4(uint32_t type) { return type == 90 || type == 114 || type == 125; }

bool in(uint32_t v, std::initializer_list<uint32_t> set) {
  for (uint32_t s : set)
    if (s == v) return true;
  return false;
}

bool between(uint32_t v, uint32_t low, uint32_t high) { return v >= low && v <= high; }

void set_vol_text(const db_object& o, const char* text) {
  if (g_pDataBase)
    g_pDataBase->SetString(o.offset, 4, text, static_cast<uint32_t>(std::strlen(text)), g_pDataBase->mib_v,
                           DB_NOTIFY);
}

// Colour code of a result table by the frame depth.
uint8_t result_colour_code(uint8_t depth) {
  switch (depth) {
    case 1: return 1;
    case 2: return 3;
    case 3: return 4;
    default: return 2;
  }
}

const char* const kDisplayTables[7] = {
    "Current Display with Errors",  "Page 1 - Display with Errors", "Page 2 - Display with Errors",
    "Page 3 - Display with Errors", "Page 4 - Display with Errors", "Page 5 - Display with Errors",
    "Page 6 - Display with Errors",
};
const uint8_t kDisplayTableKinds[7] = {8, 2, 3, 4, 5, 6, 7};

using masked = interrupts_masked;

}  // namespace

diag_ksr7100::diag_ksr7100() {
  for (uint32_t& s : m_dwSlots) s = kNoSlot;
  m_pResults = &m_Frames[FRAME_RESULTS];
}

diag_ksr7100::~diag_ksr7100() { diag_ksr7100::Close(); }

// ------------------------------------------------------------------ shared

uint8_t& diag_ksr7100::SecondStreamActive() {
  if (m_pSecondStreamActive) return *m_pSecondStreamActive;
  return g_pDisplay ? g_pDisplay->m_bySecondStreamActive : m_bySecondStreamOwn;
}

uint8_t& diag_ksr7100::ModuleInfoC() {
  if (m_pModuleInfoC) return *m_pModuleInfoC;
  return g_pDisplay ? g_pDisplay->m_byModuleInfoC : m_byModuleInfoCOwn;
}

uint8_t diag_ksr7100::SignLineCount() { return m_pLineCount ? m_pLineCount() : CQ5DisplayDriver::LineCount(); }

bool diag_ksr7100::TwoResponseWords() const { return m_pDescription && m_pDescription->two_response_words; }

void diag_ksr7100::SendToBus(const uint8_t* bytes, uint32_t n) {
  if (m_pBus) m_pBus->Write(bytes, n);
}

void diag_ksr7100::ClearLineState() {
  std::memset(m_dwResponse, 0, sizeof m_dwResponse);
  std::memset(m_byPresence, 0, sizeof m_byPresence);
}

// ------------------------------------------------------------------ lines

uint32_t diag_ksr7100::ModulesPerLine() const {
  if (!m_pDescription || !m_pDescription->modules_per_line) return LINE_POSITIONS;
  const uint32_t n = m_pDescription->modules_per_line;
  return m_pDescription->module_width == 15 ? n / 3 : n;
}

bool diag_ksr7100::SplitLines() const {
  if (!m_pDescription) return false;
  const uint32_t per = ModulesPerLine();
  for (uint32_t r = 0; r < m_pDescription->module_rows && r < 9; ++r)
    if (m_pDescription->modules_per_row[r] > per) return true;
  return false;
}

uint32_t diag_ksr7100::LineCount() const {
  if (!m_pDescription) return 0;
  const uint32_t rows = m_pDescription->module_rows;
  return SplitLines() ? rows * 2 : rows;
}

uint32_t diag_ksr7100::LineRow(uint32_t line) const { return SplitLines() ? line / 2 : line; }

uint32_t diag_ksr7100::LineFirstColumn(uint32_t line) const {
  return SplitLines() && line % 2 ? ModulesPerLine() : 0;
}

uint32_t diag_ksr7100::LineModules(uint32_t line) const {
  if (!m_pDescription || line >= LINES) return 0;
  const uint32_t row = LineRow(line);
  if (row >= m_pDescription->module_rows || row >= 9) return 0;
  const uint32_t n = m_pDescription->modules_per_row[row];
  const uint32_t per = ModulesPerLine();
  if (!SplitLines()) return n;
  if (line % 2 == 0) return n < per ? n : per;
  return n > per ? n - per : 0;
}

uint32_t diag_ksr7100::RecordIndex(uint32_t column, uint32_t row) const {
  const uint32_t none = ModuleCount();
  if (!m_pDescription || row >= m_pDescription->module_rows || row >= 9) return none;
  if (column >= m_pDescription->modules_per_row[row]) return none;
  uint32_t index = column;
  for (uint32_t r = 0; r < row; ++r) index += m_pDescription->modules_per_row[r];
  return index < none ? index : none;
}

// ------------------------------------------------------------------ open, close

bool diag_ksr7100::Open(disp::face* f) {
  const bool realtime = nv_value(nv::quorEnableRealTimePixelDiagnostics) != 0;
  // The module records keep the frames they are opened with.
  m_pResults = &m_Frames[FRAME_RESULTS];
  m_pAuxResults = realtime ? &m_Frames[FRAME_AUX] : nullptr;
  if (!diagnostics::Open(f) || !m_pDescription) return false;
  const disp::face_description& d = *m_pDescription;
  ClearLineState();

  diag_index_registrar& reg = g_diag_index_registrar;
  const uint8_t face_value = static_cast<uint8_t>(d.face_number + 1);
  for (uint32_t i = 0; i < 7; ++i) {
    uint32_t unused = kNoSlot;
    reg.Register(face_value, kDisplayTables[i], d.height, d.width, d.colour_code == 1 ? 1 : 2,
                 kDisplayTableKinds[i], unused);
  }
  const uint8_t colour = result_colour_code(d.depth);
  m_Frames[FRAME_RESULTS].Open(d.height, d.width, 0, d.depth);
  reg.Register(face_value, "Pixel Test Errors", d.height, d.width, colour, 9, m_dwSlots[FRAME_RESULTS]);
  if (realtime) {
    m_Frames[FRAME_AUX].Open(d.height, d.width, 0, d.depth);
    reg.Register(face_value, "Real Time Pixel Errors", d.height, d.width, colour, 10, m_dwSlots[FRAME_AUX]);
  }
  if (d.module_class == 4) {
    static const char* const kTitles[3] = {"Module Input Voltage 1", "Module Input Voltage 2",
                                           "Module Temperature (C)"};
    const uint16_t h = static_cast<uint16_t>(d.height / d.module_height);
    const uint16_t w = static_cast<uint16_t>(d.width / d.module_width);
    for (uint32_t k = 0; k < 3; ++k) {
      m_Frames[FRAME_VOLTAGE1 + k].Open(h, w, 0, 15);
      reg.Register(face_value, kTitles[k], h, w, 2, static_cast<uint8_t>(11 + k), m_dwSlots[FRAME_VOLTAGE1 + k]);
    }
  }
  m_wConfigCountdown = 1;
  if (can_db_driver* drv = module_line_driver()) drv->m_configurationRequests = 0;
  m_wStepCountdown = 0;
  // A face opened again (a new configuration) starts without a test.
  m_wTestCountdown = 0;
  m_byCollecting = 0;
  m_dwStatus &= ~STATUS_CHANGED;
  return true;
}

bool diag_ksr7100::Close() {
  if (!diagnostics::Close()) return false;
  g_diag_index_registrar.ClearAll();
  for (uint32_t k = 0; k < FRAMES; ++k) {
    m_Frames[k].Close();
    m_dwSlots[k] = kNoSlot;
  }
  return true;
}

// ------------------------------------------------------------------ packets

bool diag_ksr7100::HandlePacket(disp::packet* p) {
  if (!p || p->length < 2) return false;
  const uint8_t* data = p->data;
  const uint8_t kind = data[0];
  can_db_driver* drv = module_line_driver();

  if (kind == module_bus::KIND_CAN11) {
    if (p->length < 4) return false;
    can_packet f;
    f.id = static_cast<uint32_t>(data[2]) << 3 | data[3] >> 5;
    f.flags = CAN_FLAG_DATA;
    const uint32_t n = p->length - 4;
    f.length = static_cast<uint8_t>(n > 8 ? 8 : n);
    std::memcpy(f.data, data + 4, f.length);
    f.channel = data[1] >> 4;
    const bool two = TwoResponseWords();
    if (f.id == 0x32) {
      if (g_module_link_services.reprogram_response)
        g_module_link_services.reprogram_response(f.channel - 1u, 0x32, f.length, f.data);
    } else if (f.id == 0xAA) {
      // Ignored.
    } else if (between(f.id, 0x300, two ? 0x6FF : 0x4FF)) {
      DecodePixelErrors(f.channel - 1u, f.id, f.length, f.data);
    } else if (between(f.id, two ? 0x700 : 0x500, two ? 0x7FF : 0x5FF)) {
      ProcessModuleReply(f);
    }
    return false;
  }
  if (kind == module_bus::KIND_CAN29) {
    if (p->length < 6) return false;
    can_packet f;
    f.id = static_cast<uint32_t>(data[2]) << 21 | (data[3] & 0xE0u) << 13 | (data[3] & 0x07u) << 15 |
           static_cast<uint32_t>(data[4]) << 7 | data[5] >> 1;
    f.flags = CAN_FLAG_DATA;
    const uint32_t n = p->length - 6;
    f.length = static_cast<uint8_t>(n > 8 ? 8 : n);
    std::memcpy(f.data, data + 6, f.length);
    f.channel = data[1] >> 4;
    if (drv) drv->DispatchToNodes(f);
    return false;
  }
  switch (module_bus::kind_of(kind)) {
    case module_bus::KIND_IDENTIFY:
      IdentifyDistributionBoard(*p);
      break;
    case module_bus::KIND_RESET:
      monitor_printf("db reset!\n");
      break;
    case module_bus::KIND_TEST_DONE:
      HandleTestDone(*p);
      break;
    case module_bus::KIND_STREAM_DRIVER:
      if (drv) {
        for (uint32_t i = 0; i < p->PayloadLength(); ++i) {
          // Taken by the display task: the push must not be cut in half.
          masked m;
          drv->InStreamRing().Push(p->Payload()[i]);
        }
      }
      break;
    case module_bus::KIND_STREAM_LAPTOP:
      if (g_module_link_services.laptop_put_byte)
        for (uint32_t i = 0; i < p->PayloadLength(); ++i) g_module_link_services.laptop_put_byte(p->Payload()[i]);
      break;
    default:
      break;
  }
  return false;
}

// ------------------------------------------------------------------ board

void diag_ksr7100::IdentifyDistributionBoard(const disp::packet& p) {
  const uint8_t length_byte = p.LengthByte();
  if (!((p.length == 5 && length_byte == 3) || (p.length == 6 && length_byte == 4))) return;
  const uint8_t* payload = p.Payload();
  const int sender = (p.Kind() >> 6) - 1;
  if (payload[0] != 0 || (sender != 0 && sender != 1)) return;

  if (can_db_driver* drv = module_line_driver()) drv->m_configurationRequests = 0;
  m_wUnansweredConfig = 0;
  m_BoardInfo[0].state = m_BoardInfo[1].state = disp::info::IDENTIFIED;
  m_dwStatus |= STATUS_CHANGED;
  disp::info& board = m_BoardInfo[0];
  const uint8_t revision = payload[1];
  const uint8_t code = payload[2];
  board.revision[sender] = revision;
  board.code = code;
  const char* const kCanDist = "KB61937 - CAN DIST BOARD";
  const char* const kMpscDist = "KB70254 - MPSC DIST BRD";
  switch (code) {
    case 1:
    case 28:
      board.code = 28;
      board.name = kCanDist;
      board.kind = disp::info::KIND_DISTRIBUTION;
      SecondStreamActive() = 0;
      ModuleInfoC() = 28;
      break;
    case 2:
      board.code = 18;
      board.name = kMpscDist;
      board.kind = disp::info::KIND_DISTRIBUTION;
      break;
    case 18:
      board.name = revision == 10 || revision == 11 ? kCanDist : kMpscDist;
      board.kind = disp::info::KIND_DISTRIBUTION;
      break;
    case 27:
      board.name = "PX9356148 - HCB DIST BRD";
      board.kind = disp::info::KIND_DISTRIBUTION;
      SecondStreamActive() = 1;
      if (ModuleInfoC() != 27) {
        ModuleInfoC() = 27;
        SetModuleBaud(m_dwLinkRate ? m_dwLinkRate : DEFAULT_LINK_RATE);
      }
      break;
    case 29:
      board.name = "KB83419 - CAN PROD BOARD";
      board.kind = disp::info::KIND_PRODUCTION;
      break;
    case 30:
    case 36:
      board.code = 30;
      board.name = "PX8105273 - KM PROD BRD";
      board.kind = disp::info::KIND_PRODUCTION;
      break;
    default:
      board.kind = disp::info::KIND_NONE;
      break;
  }
}

bool diag_ksr7100::SetModuleBaud(uint32_t rate) {
  // 115200 / rate is the frame's divisor: a rate of 0 has none.
  if (!rate) return false;
  m_dwLinkRate = rate;
  if (SecondStreamActive() && m_pBus) {
    uint8_t frame[6];
    const uint32_t n = module_bus::build_link_rate(rate, frame);
    if (n) SendToBus(frame, n);
  }
  return true;
}

void diag_ksr7100::ResendConfiguration() {
  if (!m_pBus) return;
  SendToBus(module_bus::CONFIGURATION_REQUEST, sizeof module_bus::CONFIGURATION_REQUEST);
  can_db_driver* drv = module_line_driver();
  if (!drv) return;
  if (++drv->m_configurationRequests > CONFIGURATION_UNANSWERED) {
    monitor_printf("resending configuration\n");
    const uint32_t rate = nv_value(nv::quorCANBaudRate);
    const module_type_row* row = find_module_type(nv_value(nv::quorModuleID));
    drv->SendTemplatePacket(1, rate == 1 ? row->line_bitrate : static_cast<uint8_t>(rate - 2));
  }
}

void diag_ksr7100::CountUnansweredConfiguration() {
  if (m_wUnansweredConfig >= CONFIGURATION_UNANSWERED) return;
  if (++m_wUnansweredConfig == CONFIGURATION_UNANSWERED) {
    m_BoardInfo[0].state = m_BoardInfo[1].state = disp::info::NOT_RESPONDING;
    m_dwStatus |= STATUS_CHANGED;
  }
}

void diag_ksr7100::HandleTestDone(const disp::packet& p) {
  if (p.LengthByte() != 3 || p.PayloadLength() < 2 || p.Payload()[0] != 0 || p.Payload()[1] != 0) return;
  m_wTestCountdown = 0;
  m_byResultsReady = m_byAuxResultsReady = 1;
  FinishPixelTest();
}

bool diag_ksr7100::TakeChangeFlag() {
  const bool changed = (m_dwStatus & STATUS_CHANGED) != 0;
  m_dwStatus &= ~STATUS_CHANGED;
  return changed;
}

bool diag_ksr7100::GetBoardInfo(disp::info** out) {
  if (!out) return false;
  *out = m_BoardInfo;
  return true;
}

// ------------------------------------------------------------------ refresh step

void diag_ksr7100::Tick() {
  if (!IsOpen() || !m_pDescription) return;
  disp::diag_lock lock(*this);
  if (!lock.ok()) return;
  const disp::face_description& d = *m_pDescription;
  const uint16_t rate = d.rate;

  // Configuration requests while no test runs.
  if (m_wConfigCountdown) --m_wConfigCountdown;
  if (m_wConfigCountdown == 0 && m_wTestCountdown == 0) {
    ResendConfiguration();
    CountUnansweredConfiguration();
    m_wConfigCountdown = CONFIGURATION_PERIOD;
  }

  if (!m_byCollecting) {
    if (m_wStepCountdown && --m_wStepCountdown == 0) SendPixelTestCommand(50, 0);
    if (m_wTestCountdown) {
      --m_wTestCountdown;
      if (d.module_class == 2) {
        if (m_wTestCountdown == 49) SendResultRequest();
        // A class-2 test ends on the board's completion packet only.
        if (m_wTestCountdown < 6) m_wTestCountdown = 50;
      } else if (!m_byEarlyFinish && m_wTestCountdown > 1 && LastLineResponded()) {
        m_wTestCountdown = static_cast<uint16_t>(rate * 10);
        m_byEarlyFinish = 1;
      }
      if (m_wTestCountdown == 0) {
        m_byResultsReady = m_byAuxResultsReady = 1;
        FinishPixelTest();
      }
    }
  } else if (m_wStepCountdown && --m_wStepCountdown == 0) {
    monitor_printf_debug("request results line:%d\n", m_byResultLine);
    RequestLineResults(m_byResultLine);
    ++m_byResultLine;
    if (m_byResultLine > SignLineCount()) {
      m_wTestCountdown = 0;
      m_byAuxResultsReady = 1;
      m_byCollecting = 0;
      FinishPixelTest();
    } else {
      m_wStepCountdown = rate;
    }
  }

  // Row 5 of the module table: the display modules.
  char text[32];
  std::snprintf(text, sizeof text, "%2d", MinimumRevision());
  set_vol_text(vol::moduleVersion(4), text);
  std::snprintf(text, sizeof text, "DISPLAY MODULE:%2d", GetEffectiveModuleType());
  set_vol_text(vol::moduleModel(4), text);

  for (uint32_t i = 0; i < ModuleCount(); ++i) {
    disp::module& m = m_Modules[i];
    if (m.lost) SetModuleValues(m, 0, 0, 0);
    m.CountFailedPixels();
  }
  for (uint32_t k = FRAME_VOLTAGE1; k <= FRAME_TEMPERATURE; ++k)
    if (m_dwSlots[k] != kNoSlot) g_diag_index_registrar.StoreTable(m_dwSlots[k], &m_Frames[k]);
  if (nv_value(nv::quorEnableRealTimePixelDiagnostics) && m_pAuxResults && m_dwSlots[FRAME_AUX] != kNoSlot)
    g_diag_index_registrar.StoreTable(m_dwSlots[FRAME_AUX], m_pAuxResults);
}

void diag_ksr7100::SetModuleValues(const disp::module& m, uint16_t v1, uint16_t v2, int8_t temperature) {
  uint8_t column = 0, row = 0;
  if (!m.GetGridPosition(column, row)) return;
  disp::pixel p1(column, row, v1), p2(column, row, v2), pt(column, row, static_cast<uint8_t>(temperature));
  m_Frames[FRAME_VOLTAGE1].SetPixel(p1);
  m_Frames[FRAME_VOLTAGE2].SetPixel(p2);
  m_Frames[FRAME_TEMPERATURE].SetPixel(pt);
}

// ------------------------------------------------------------------ pixel tests

bool diag_ksr7100::StartPixelTest() {
  if (!diagnostics::StartPixelTest()) return false;
  disp::diag_lock lock(*this);
  if (!lock.ok()) return true;
  const disp::face_description& d = *m_pDescription;
  const uint16_t rate = d.rate;
  reg_write32(EPLD_MODULE_RESPONSES, 0);
  m_byResultsReady = m_byAuxResultsReady = 0;
  m_byCollecting = 0;
  m_wStepCountdown = rate;
  // Every test may end early once, whatever the last one did.
  m_byEarlyFinish = 0;
  if (d.module_class == 2) {
    m_wTestCountdown = 200;
  } else if (d.module_type == 27) {
    m_wTestCountdown = static_cast<uint16_t>(rate * 20);
  } else {
    if (CheckModuleRevisions()) {
      monitor_printf("all modules support quick pixel test\n");
      m_byResultLine = 0;
      m_byCollecting = 1;
      SendPixelTestCommand(0, 1);
      m_byResultsReady = 1;
    }
    m_wTestCountdown = static_cast<uint16_t>(rate * (d.depth == 2 ? 22 : d.depth == 3 ? 32 : 12));
  }
  if (m_pDisplayDriver) {
    m_pDisplayDriver->SetDiagnosticsEnabled(0);
    m_byRealtimeReading = 0;
  }
  return true;
}

bool diag_ksr7100::FinishPixelTest() {
  disp::diag_lock lock(*this);
  ReadModuleResponses();
  ScanModules();
  if (!diagnostics::FinishPixelTest()) return false;
  if (m_dwSlots[FRAME_RESULTS] != kNoSlot) g_diag_index_registrar.StoreTable(m_dwSlots[FRAME_RESULTS], m_pResults);
  m_byResultsReady = m_byAuxResultsReady = 1;
  m_wTestCountdown = 0;
  return true;
}

void diag_ksr7100::SendPixelTestCommand(uint32_t pause, uint8_t flag) {
  if (!m_pDescription) return;
  const disp::face_description& d = *m_pDescription;
  const uint32_t type = d.module_type;
  uint8_t data[3] = {};
  uint32_t n = 2;
  if (in(type, {11, 13, 14, 15, 169}) || between(type, 98, 105)) {
    data[0] = 0x60;
    data[1] = flag;
  } else if (between(type, 21, 24) || type == 118 || type == 154) {
    data[0] = d.module_type_flag == 1 ? 0x40 : 0x60;
    data[1] = flag;
  } else if (in(type, {17, 18, 19, 119, 155, 172}) || between(type, 94, 97)) {
    data[0] = 0x70;
    data[1] = flag;
  } else if (type == 27) {
    data[0] = 0x60;
    n = 1;
  } else {
    const module_type_row* row = find_module_type(type);
    std::memcpy(data, row->pixel_test, 3);
    n = 3;
  }
  can_db_driver* drv = module_line_driver();
  const uint32_t lines = LineCount();
  for (uint32_t line = 1; line <= lines; ++line) {
    if (drv) {
      drv->SendCanFrame(line, 0, CQ5DisplayDriver::LINE_PIXEL_TEST, 0, n, data);
      drv->WriteEPLDPacket('2');
    }
    if (pause) os_sleep(pause);
  }
}

void diag_ksr7100::SendResultRequest() {
  if (m_pBus) SendToBus(module_bus::RESULT_REQUEST, sizeof module_bus::RESULT_REQUEST);
}

void diag_ksr7100::RequestLineResults(uint32_t line) {
  if (!m_pDescription) return;
  const uint32_t type = m_pDescription->module_type;
  uint8_t mode;
  if (in(type, {11, 13, 14, 15, 27, 169}) || between(type, 98, 105)) {
    mode = 0x60;
  } else if (in(type, {17, 18, 19, 119, 155, 172}) || between(type, 94, 97)) {
    mode = 0x70;
  } else if (between(type, 21, 24) || type == 118 || type == 154) {
    mode = (find_module_type(type)->flags & MODULE_FLAG_PIXEL_TEST_60) ? 0x60 : 0x40;
  } else {
    return;
  }
  can_db_driver* drv = module_line_driver();
  if (!drv) return;
  const uint8_t data[3] = {0x15, 0x00, mode};
  drv->SendCanFrame(line + 1, 0, CQ5DisplayDriver::LINE_COMMAND, 0, 3, data);
  drv->WriteEPLDPacket('2');
}

bool diag_ksr7100::LastLineResponded() {
  const uint32_t lines = LineCount();
  if (!lines) return false;
  const uint32_t line = (lines > LINES ? LINES : lines) - 1;
  if (TwoResponseWords())
    return reg_read32(EPLD_MODULE_RESPONSES + 8 * line) != 0 || reg_read32(EPLD_MODULE_RESPONSES + 8 * line + 4) != 0;
  return reg_read32(EPLD_MODULE_RESPONSES + 4 * line) != 0;
}

void diag_ksr7100::ReadModuleResponses() {
  const bool two = TwoResponseWords();
  for (uint32_t line = 0; line < LINES; ++line) {
    if (two) {
      const uint32_t a = EPLD_MODULE_RESPONSES + 8 * line, b = a + 4;
      m_dwResponse[line][0] = reg_read32(a);
      m_dwResponse[line][1] = reg_read32(b);
      monitor_printf("Mod Resp[%d](%X)(%X) 0x%08X 0x%08X\n", static_cast<int>(line), a, b, m_dwResponse[line][0],
                     m_dwResponse[line][1]);
    } else {
      m_dwResponse[line][0] = reg_read32(EPLD_MODULE_RESPONSES + 4 * line);
      monitor_printf("Mod Resp[%d] 0x%08X\n", static_cast<int>(line), m_dwResponse[line][0]);
    }
  }
  reg_write32(EPLD_MODULE_RESPONSES, 0);
}

bool diag_ksr7100::CheckModuleRevisions() {
  uint32_t found = 0, quick = 0;
  {
    disp::diag_lock lock(*this);
    if (lock.ok()) {
      for (uint32_t i = 0; i < ModuleCount(); ++i) {
        const disp::module& m = m_Modules[i];
        monitor_printf("Mod %d revision: %d\n", static_cast<int>(i), m.revision);
        if (!m.revision) continue;
        ++found;
        if (m.guard0 != disp::module::GUARD) {
          monitor_printf("guard byte 0 invalid:0x%02X\n", m.guard0);
          ++m_dwGuardErrors;
        }
        if (m.guard1 != disp::module::GUARD) {
          monitor_printf("guard byte 1 invalid:0x%02X\n", m.guard1);
          ++m_dwGuardErrors;
        }
        if (m.quick_test) ++quick;
      }
      if (m_dwGuardErrors > 0) monitor_printf("TOTAL ERRORS:%d\n", static_cast<int>(m_dwGuardErrors));
    }
  }
  monitor_printf("found:%d, cnt:%d\n", static_cast<int>(found), static_cast<int>(quick));
  return found > 0 && found == quick;
}

bool diag_ksr7100::ClearResults() {
  diagnostics::ClearResults();
  if (!IsOpen()) return true;
  disp::diag_lock lock(*this);
  if (!lock.ok()) return true;
  ClearLineState();
  m_Frames[FRAME_RESULTS].Clear();
  if (m_dwSlots[FRAME_RESULTS] != kNoSlot)
    g_diag_index_registrar.StoreTable(m_dwSlots[FRAME_RESULTS], &m_Frames[FRAME_RESULTS]);
  return true;
}

bool diag_ksr7100::ClearAuxResults() {
  diagnostics::ClearAuxResults();
  if (!IsOpen()) return true;
  disp::diag_lock lock(*this);
  if (!lock.ok()) return true;
  ClearLineState();
  if (m_pAuxResults) {
    m_pAuxResults->Clear();
    if (nv_value(nv::quorEnableRealTimePixelDiagnostics) && m_dwSlots[FRAME_AUX] != kNoSlot)
      g_diag_index_registrar.StoreTable(m_dwSlots[FRAME_AUX], m_pAuxResults);
  }
  return true;
}

// ------------------------------------------------------------------ queries

uint8_t diag_ksr7100::GetModuleType() {
  for (uint32_t i = 0; i < ModuleCount(); ++i)
    if (m_Modules[i].type) return static_cast<uint8_t>(m_Modules[i].type);
  return 0;
}

uint8_t diag_ksr7100::GetEffectiveModuleType() {
  for (uint32_t i = 0; i < ModuleCount(); ++i) {
    const disp::module& m = m_Modules[i];
    if (!m.type) continue;
    const uint8_t type = static_cast<uint8_t>(m.type);
    return is_gen4(type) ? static_cast<uint8_t>(m.gen4_subtype) : type;
  }
  return 0;
}

bool diag_ksr7100::HasNonGen4Modules() {
  for (uint32_t i = 0; i < ModuleCount(); ++i) {
    const disp::module& m = m_Modules[i];
    if (m.type && (!is_gen4(m.type) || m.gen4_subtype)) return true;
  }
  return false;
}

uint8_t diag_ksr7100::MinimumRevision() {
  uint8_t lowest = 0;
  for (uint32_t i = 0; i < ModuleCount(); ++i) {
    const uint8_t r = m_Modules[i].revision;
    if (r && r < 255 && (!lowest || r < lowest)) lowest = r;
  }
  return lowest;
}

bool diag_ksr7100::GetModuleValue(uint32_t index, int8_t& out) {
  if (index >= ModuleCount()) return false;
  const disp::module& m = m_Modules[index];
  if (m.lost || !m.measurements_valid) return false;
  out = m.temperature;
  return true;
}

uint32_t diag_ksr7100::GetModuleTemperatureStats(int8_t& average, int8_t& minimum, int8_t& maximum) {
  average = 0;
  minimum = 127;
  maximum = -128;
  const uint32_t type = nv_value(nv::quorModuleID);
  const bool measured_type = between(type, 21, 24) || between(type, 94, 105) ||
                             in(type, {118, 119, 154, 155, 169, 172});
  if (!measured_type) {
    minimum = maximum = 0;
    return 1;
  }
  int32_t sum = 0;
  uint32_t count = 0, lost = 0;
  for (uint32_t i = 0; i < ModuleCount(); ++i) {
    const disp::module& m = m_Modules[i];
    if (m.lost) ++lost;
    if (m.lost || !m.measurements_valid) continue;
    sum += m.temperature;
    ++count;
    if (m.temperature < minimum) minimum = m.temperature;
    if (m.temperature > maximum) maximum = m.temperature;
  }
  if (!count) {
    minimum = maximum = 0;
    return lost && lost == ModuleCount() ? 3 : 5;
  }
  average = static_cast<int8_t>(sum / static_cast<int32_t>(count));
  return 6;
}

// The global module diagnostics are defined with the other module-link
// objects (display/core/module_link.cpp), so that they go in order.
