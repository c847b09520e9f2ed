#include "display/driver/q5_display_driver.h"

#include <zlib.h>

#include "board_io.h"
#include "database/objects.h"
#include "display/driver/frame_layouts.h"
#include "display/message/db_read.h"
#include "display/surface/surface.h"
#include "display/task/display.h"
#include "frame/board/board_regs.h"
#include "frame/board/epld_program.h"
#include "frame/board/interrupt.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/can/can_db_driver.h"
#include "frame/trace/trace.h"
#include "mon_api.h"
#include "mon_service.h"
#include "tx_api.h"

CQ5DisplayDriver g_q5_display_driver;

uint8_t CQ5DisplayDriver::s_byLineCount = CQ5DisplayDriver::MAX_LINES;
uint8_t CQ5DisplayDriver::s_byEpldReady = 0;
uint8_t CQ5DisplayDriver::s_byGammaSelect = 0;
uint8_t CQ5DisplayDriver::s_byMode6Count = 0;
uint8_t CQ5DisplayDriver::s_byMode20Count = 0;
uint8_t CQ5DisplayDriver::s_byMode14Count = 0;
uint8_t CQ5DisplayDriver::s_byMode14And15Count = 0;
can_db_driver* CQ5DisplayDriver::s_pLineDriver = nullptr;

namespace {

// Display FPGA.
constexpr uint32_t kFpgaBrightness = 0xF0400000;
constexpr uint32_t kFpgaWidth = 0xF0400002;
constexpr uint32_t kFpgaHeight = 0xF0400004;
constexpr uint32_t kFpgaStatus = 0xF0400008;
// EPLD.
constexpr uint32_t kEpldControl = 0xF0500022;
constexpr uint8_t kEpldControlLocal = 0x04;
constexpr uint8_t kEpldControlProgrammed = 0x08;
constexpr uint8_t kEpldControlBit4 = 0x10;
constexpr uint8_t kEpldFifoInterrupt = 0x80;
constexpr uint32_t kLineSelect9 = 0xF0500032;
constexpr uint32_t kLineSelect1to8 = 0xF0500033;
// DMA channel 0.
constexpr uint32_t kDmaCr0 = 0x100;
constexpr uint32_t kDmaCt0 = 0x101;
constexpr uint32_t kDmaSa0 = 0x103;
constexpr uint32_t kDmaSr = 0x120;
constexpr uint32_t kDmaTerminalCount0 = 0x80000000;
constexpr uint32_t kDmaClearAll = 0x88888880;
constexpr uint32_t kDmaStart = 0x878827E0;
// The data cache: 512 lines of 32 bytes, pushed out by reading as much
// other memory.
constexpr uint32_t kCacheLines = 512;
constexpr uint32_t kCacheLine = 32;

// A register bit that other drivers change too: with interrupts masked.
void epld_bits(uint32_t reg, uint8_t set, uint8_t clear) {
  const UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  reg_write8(reg, static_cast<uint8_t>((reg_read8(reg) & ~clear) | set));
  tx_interrupt_control(posture);
}

void uic_enable(uint32_t bit, bool on) {
  const UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  const uint32_t er = mfdcr(UIC0_ER);
  mtdcr(UIC0_ER, on ? er | bit : er & ~bit);
  tx_interrupt_control(posture);
}

bool module_driven_pattern(uint32_t mode) {
  return mode == 24 || mode == 26 || mode == 27 || mode == 28 || mode == 34 || mode == 36;
}

bool has_row(const module_type_row* row) { return row && row != &g_default_module_type; }

}  // namespace

CQ5DisplayDriver::CQ5DisplayDriver() { m_nModuleType = -1; }

void CQ5DisplayDriver::PowerOn() {
  m_byActive = 1;
  m_byConfiguring = 0;
  m_nHeight = m_nWidth = 0;
  m_nModuleType = -1;
  m_byDiagnosticsEnabled = 0;
  m_dwSelectedLine = 0;
  m_byBrightness = 0;
  m_byReady = 1;
  m_bOversizeReported = m_bNoBufferReported = false;
  s_byLineCount = MAX_LINES;
  s_byEpldReady = 0;
  s_byGammaSelect = 0;
  s_byMode6Count = s_byMode20Count = s_byMode14Count = s_byMode14And15Count = 0;
}

uint32_t CQ5DisplayDriver::FrameRateQuery() {
  if (!g_pDisplay || !g_pDisplay->m_dwFaceCount) return 0;
  return g_pDisplay->FaceDescription(0).rate;
}

// ------------------------------------------------------------ brightness

void CQ5DisplayDriver::SetBrightness(int32_t level) {
  const int32_t most = g_pDisplay ? static_cast<int32_t>(g_pDisplay->m_dwBrightnessCap) : 255;
  if (level > most) level = most & 0xFF;
  // Nothing below 1: a negative level is no darker than 0.
  if (level <= 0) level = 1;
  m_byBrightness = static_cast<uint8_t>(level);
  reg_write16(kFpgaBrightness, static_cast<uint16_t>((reg_read16(kFpgaStatus) & 0xFF00) | m_byBrightness));
}

// ------------------------------------------------------------ EPLD

void CQ5DisplayDriver::JustProgramEPLD() {
  if (!g_module_type_table || !g_module_type_count) return;
  const module_type_row& row = g_module_type_table[0];
  void* block = nullptr;
  if (!g_gpbuffer.Allocate(&block, GPBUFFER_EPLD)) {
    monitor_printf("CQ5DisplayDriver::JustProgramEPLD: error getting gpbuffer\n");
    return;
  }
  uLongf length = GPBUFFER_EPLD;
  if (!row.image || uncompress(static_cast<Bytef*>(block), &length, row.image, row.image_size) != Z_OK)
    monitor_printf("Uncompress Error - compressed size:%i\n", static_cast<int>(row.image_size));
  if (ProgramEPLD(static_cast<const uint8_t*>(block), static_cast<uint32_t>(length)))
    monitor_printf_debug("JustProgramEPLD - Success!\n");
  else
    monitor_printf("JustProgramEPLD - EPLD Program Error\n");
  g_gpbuffer.Release(&block);
}

bool CQ5DisplayDriver::ProgramPass(const module_type_row* row, uint32_t* retries, bool* programmed) {
  // What the EPLD served before programming; a retry finds the EPLD blank
  // and the handler already unregistered, so both are taken once.
  bool remembered = false;
  bool fifoInterrupt = false;
  Interrupt* handler = nullptr;
  bool ok = false;
  for (;;) {
    void* block = nullptr;
    if (!g_gpbuffer.Allocate(&block, GPBUFFER_EPLD)) {
      monitor_printf("CQ5DisplayDriver::Configure: failed to get gpBuffer\n");
      if (remembered) break;  // put back what an earlier attempt took away
      return false;
    }
    if (mon_tfsstat(STALE_IMAGE_FILE)) mon_tfsunlink(STALE_IMAGE_FILE);
    uLongf length = GPBUFFER_EPLD;
    if (!row->image || uncompress(static_cast<Bytef*>(block), &length, row->image, row->image_size) != Z_OK)
      monitor_printf("Uncompress Error - compressed size:%i\n", static_cast<int>(row->image_size));
    if (!remembered) {
      fifoInterrupt = (reg_read8(EPLD_FIFO_CONTROL) & kEpldFifoInterrupt) != 0;
      handler = Interrupt::Lookup(UIC_EPLD);
      remembered = true;
    }
    if (handler) {
      uic_enable(UIC_EPLD, false);
      Interrupt::Unregister(UIC_EPLD);
    }
    s_byEpldReady = 0;
    ok = ProgramEPLD(static_cast<const uint8_t*>(block), static_cast<uint32_t>(length)) != 0;
    g_gpbuffer.Release(&block);
    if (ok) {
      monitor_printf_debug("EPLD Program Success! - Type:%d - %dx%d\n", static_cast<int>(m_nModuleType),
                           static_cast<int>(m_nHeight), static_cast<int>(m_nWidth));
      break;
    }
    monitor_printf("EPLD Program Error - Type:%d - %dx%d\n", static_cast<int>(m_nModuleType),
                   static_cast<int>(m_nHeight), static_cast<int>(m_nWidth));
    if (*retries >= PROGRAM_RETRIES) break;
    ++*retries;
  }

  // The display lines learn their CAN bit rate.
  if (s_pLineDriver) {
    const uint32_t rate = nv_value(nv::quorCANBaudRate);
    s_pLineDriver->SendTemplatePacket(1, rate == 1 ? row->line_bitrate : static_cast<uint8_t>(rate - 2));
  }
  if (g_pDisplay) g_pDisplay->UpdateDriverInfo();

  epld_bits(kEpldControl, kEpldControlProgrammed, 0);
  s_byEpldReady = 1;
  if (handler) {
    Interrupt::Register(UIC_EPLD, handler);
    uic_enable(UIC_EPLD, true);
  }
  if (fifoInterrupt) epld_bits(EPLD_FIFO_CONTROL, kEpldFifoInterrupt, 0);
  if (vol_value(vol::dmsControlMode) == 2) epld_bits(kEpldControl, kEpldControlLocal, 0);
  reg_write16(kFpgaBrightness, static_cast<uint16_t>(row->fpga_control << 8));
  *programmed = ok;
  return true;
}

int32_t CQ5DisplayDriver::Configure(int32_t height, int32_t width, int32_t moduleType) {
  monitor_printf(" - Programming EPLD\t\t\t\t\t");
  m_nHeight = height;
  m_nWidth = width;

  uint32_t retries = 0;
  bool passRan = false, programmed = false, gotBlock = false, noBuffer = false;
  const module_type_row* row = find_module_type(static_cast<uint32_t>(moduleType));
  if (moduleType != m_nModuleType) {
    m_nModuleType = moduleType;
    if (has_row(row)) {
      gotBlock = ProgramPass(row, &retries, &programmed);
      passRan = gotBlock;
    }
    if (!gotBlock) monitor_printf("\n\tmod not found or buffer unavailable!\t\t");
    noBuffer = has_row(row) && !gotBlock;
  }

  for (;;) {
    const uint32_t mh = row->height ? row->height : 7, mw = row->width ? row->width : 5;
    uint32_t lines = static_cast<uint8_t>(static_cast<uint32_t>(height) / mh);
    // Modules across beyond what one line's chain takes: each physical line
    // is driven as two. A chain length not known yet doubles nothing.
    uint32_t chain = 0;
    if (g_pDisplay && g_pDisplay->m_dwFaceCount) chain = g_pDisplay->FaceDescription(0).modules_per_line;
    if (mw == 15) chain /= 3;
    if (chain && static_cast<uint32_t>(width) / mw > chain) lines *= 2;
    // The hardware has nine lines whatever the geometry says.
    s_byLineCount = static_cast<uint8_t>(lines > MAX_LINES ? MAX_LINES : lines);

    // No buffer now is no buffer a moment later: only a failed image is
    // tried again.
    if (epld_status_bit() || retries >= PROGRAM_RETRIES || !has_row(row) || noBuffer) break;
    ++retries;
    bool again = false;
    if (!ProgramPass(row, &retries, &again)) break;
    passRan = true;
    programmed = again;
  }

  m_byReady = 1;
  uint32_t h = static_cast<uint32_t>(height), w = static_cast<uint32_t>(width);
  if (moduleType == 5) {
    h = (h / 5) * 7;
    w = (w / 7) * 5;
  } else if (moduleType == 27) {
    h = (h / 5) * 8;
  }
  reg_write16(kFpgaHeight, static_cast<uint16_t>(h));
  reg_write16(kFpgaWidth, static_cast<uint16_t>(w));

  // Success only when the image really went in.
  if (passRan && programmed)
    monitor_printf("[ OK ]\n");
  else
    monitor_printf("[FAIL]\n\terror programming epld\n");

  epld_bits(kEpldControl, 0, kEpldControlBit4);
  SetDiagnosticsEnabled(m_byDiagnosticsEnabled);
  return 1;
}

// ------------------------------------------------------------ frames

uint8_t CQ5DisplayDriver::ReadLayoutCode() { return static_cast<uint8_t>(reg_read16(kFpgaStatus) & 0xFF); }

int32_t CQ5DisplayDriver::WriteFrame(CSurface* surface) {
  if (module_driven_pattern(nv_value(nv::quorDisplayMode))) return 0;
  if (!m_byReady) return 0;

  // The previous frame may still be on its way out of the buffer.
  for (uint32_t i = 0; i < DMA_WAIT_READS; ++i)
    if (mfdcr(kDmaSr) & kDmaTerminalCount0) break;
  mtdcr(kDmaSr, kDmaTerminalCount0);
  if (!surface) return 0;

  uint8_t* buffer = board_memory(FRAME_BUFFER_ADDRESS, FRAME_BUFFER_SIZE);
  if (!buffer) {
    if (!m_bNoBufferReported) monitor_printf("CQ5DisplayDriver::WriteFrame: no frame buffer\n");
    m_bNoBufferReported = true;
    return 0;
  }

  frame_layout_s layout;
  layout.code = ReadLayoutCode();
  layout.module_type = static_cast<uint32_t>(m_nModuleType);
  layout.gamma_select = s_byGammaSelect;
  layout.row = find_module_type(nv_value(nv::quorModuleID));
  uint32_t count = 0, raised = surface->Height();
  switch (frame_layout_write(layout, *surface, buffer, FRAME_BUFFER_SIZE, &count, &raised)) {
    case FRAME_LAYOUT_OK: break;
    case FRAME_LAYOUT_TOO_LARGE: {
      // Dropped rather than written past the buffer; said once per run of
      // such frames.
      if (!m_bOversizeReported) {
        uint32_t ignored = 0;
        frame_layout_result r;
        const uint64_t size =
            frame_layout_size(layout, surface->Depth(), surface->Width(), surface->Height(), &ignored, &r);
        monitor_printf("CQ5DisplayDriver::WriteFrame: %ux%u frame of layout %u needs %llu bytes, dropped\n",
                       surface->Width(), surface->Height(), layout.code, static_cast<unsigned long long>(size));
      }
      m_bOversizeReported = true;
      return 0;
    }
    case FRAME_LAYOUT_BAD_DEPTH: monitor_printf("Display invalid bit count %d\n", surface->Depth()); return 0;
    default: return 0;
  }
  m_bOversizeReported = false;
  if (raised != surface->Height()) m_nHeight = static_cast<int32_t>(raised);

  SetBrightness(m_byBrightness);

  uint32_t sink = 0;
  for (uint32_t i = 0; i < kCacheLines; ++i) sink += reg_read32(i * kCacheLine);
  (void)sink;

  mtdcr(kDmaSa0, FRAME_BUFFER_ADDRESS);
  mtdcr(kDmaCt0, (count + 1) / 2);
  mtdcr(kDmaSr, kDmaClearAll);
  mtdcr(kDmaCr0, kDmaStart);
  mon_service31(0, 18);
  return 0;
}

// ------------------------------------------------------------ lines

void CQ5DisplayDriver::ClearLineSelect() {
  (void)reg_read8(kLineSelect1to8);
  reg_write8(kLineSelect1to8, 0);
  reg_write8(kLineSelect9, static_cast<uint8_t>(reg_read8(kLineSelect9) & ~0x01));
}

void CQ5DisplayDriver::SetDiagnosticsEnabled(uint8_t on) {
  display_driver::SetDiagnosticsEnabled(on);
  ClearLineSelect();
  if (on) SelectLine(m_dwSelectedLine);
}

void CQ5DisplayDriver::SelectLine(uint32_t line) {
  ClearLineSelect();
  if (line < 8) {
    reg_write8(kLineSelect1to8, static_cast<uint8_t>(1u << line));
    m_dwSelectedLine = line;
  } else if (line == 8) {
    reg_write8(kLineSelect9, static_cast<uint8_t>(reg_read8(kLineSelect9) | 0x01));
    m_dwSelectedLine = line;
  }
}

int32_t CQ5DisplayDriver::NextLine() {
  uint32_t next = m_dwSelectedLine + 1;
  if (next >= s_byLineCount) next = 0;
  m_dwSelectedLine = next;
  return static_cast<int32_t>(next);
}

uint32_t CQ5DisplayDriver::SendLine(uint32_t line, uint32_t id, const uint8_t* data, uint32_t length) {
  if (!s_pLineDriver) return 0;
  return s_pLineDriver->SendCanFrame(line + 1, 0, id, 0, length, data);
}

void CQ5DisplayDriver::SendAll(uint32_t id, const uint8_t* data, uint32_t length) {
  for (uint32_t line = 0; line < s_byLineCount; ++line) SendLine(line, id, data, length);
}

uint32_t CQ5DisplayDriver::SendToAllLines(const uint8_t* data, uint32_t length) {
  uint32_t result = 0;
  for (uint32_t line = 0; line < s_byLineCount; ++line) result = SendLine(line, LINE_COMMAND, data, length);
  return result;
}

void CQ5DisplayDriver::ResetLines(int32_t line) {
  if (line != -1) {
    SendLine(static_cast<uint32_t>(line), LINE_RESET, nullptr, 0);
    return;
  }
  for (uint32_t l = 0; l < s_byLineCount; ++l) {
    SendLine(l, LINE_RESET, nullptr, 0);
    tx_thread_sleep(50);
  }
}

void CQ5DisplayDriver::RequestModuleInfo(uint32_t line) {
  const uint8_t d[2] = {9, 0};
  SendLine(line, LINE_COMMAND, d, 2);
}

void CQ5DisplayDriver::RequestModuleSubtype(uint32_t line) {
  const uint8_t d[2] = {12, 0};
  SendLine(line, LINE_COMMAND, d, 2);
}

void CQ5DisplayDriver::RequestVoltTemp(uint32_t line) {
  const uint8_t d[2] = {2, 0};
  SendLine(line, LINE_COMMAND, d, 2);
}

void CQ5DisplayDriver::RequestNextInfo(uint32_t line) {
  const uint8_t d[2] = {18, 0};
  SendLine(line, LINE_COMMAND, d, 2);
}

void CQ5DisplayDriver::SendModuleSetting(uint8_t a, uint8_t b, uint8_t c) {
  const uint8_t d[4] = {a, b, c, 0};
  SendAll(LINE_COMMAND, d, 4);
}

void CQ5DisplayDriver::RestoreModuleDefaults() {
  const uint8_t d[3] = {13, 1, 0};
  SendAll(LINE_COMMAND, d, 3);
}

void CQ5DisplayDriver::SetModuleTestMode(uint32_t mode, uint32_t moduleType) {
  const uint8_t d[3] = {5, static_cast<uint8_t>(mode), static_cast<uint8_t>(moduleType == 1 ? 1 : 0)};
  SendAll(LINE_COMMAND, d, 3);
}

bool CQ5DisplayDriver::RepeatDue(uint8_t* counter, uint32_t on, bool atLeast) {
  ++*counter;
  if (!on) *counter = 5;
  if (atLeast ? *counter >= 5 : *counter == 5) {
    *counter = 0;
    return true;
  }
  return false;
}

void CQ5DisplayDriver::SendModuleMode6(uint32_t on) {
  if (!RepeatDue(&s_byMode6Count, on, false)) return;
  const uint8_t d[4] = {6, static_cast<uint8_t>(on ? 1 : 0), 6, 0};
  // Switched off: a following switch-on goes out after two calls.
  if (!on) s_byMode6Count = 3;
  SendAll(LINE_COMMAND, d, 4);
}

void CQ5DisplayDriver::SendModuleMode20(uint32_t on) {
  if (!RepeatDue(&s_byMode20Count, on, false)) return;
  const uint8_t d[4] = {20, static_cast<uint8_t>(on ? 1 : 0), 6, 0};
  if (!on) s_byMode20Count = 3;
  SendAll(LINE_COMMAND, d, 4);
}

void CQ5DisplayDriver::SendModuleMode14(uint32_t on) {
  if (!RepeatDue(&s_byMode14Count, on, false)) return;
  const uint8_t d[4] = {14, static_cast<uint8_t>(on ? 1 : 0), 6, 0};
  if (on) s_byMode14Count = 3;
  SendAll(LINE_COMMAND, d, 4);
}

void CQ5DisplayDriver::SendModuleModes14And15(uint32_t on) {
  if (!RepeatDue(&s_byMode14And15Count, on, true)) return;
  const uint8_t d14[4] = {14, static_cast<uint8_t>(on ? 1 : 0), 6, 0};
  const uint8_t d15[4] = {15, static_cast<uint8_t>(on ? 1 : 0), 5, 0};
  if (!on) s_byMode14And15Count = 3;
  SendAll(LINE_COMMAND, d14, 4);
  SendAll(LINE_COMMAND, d15, 4);
}

// ------------------------------------------------------------ pixel test

void CQ5DisplayDriver::PixelTest(uint32_t delayTicks) {
  const uint32_t type = nv_value(nv::quorModuleID);
  uint8_t data[3] = {0, 0, 0};
  uint32_t length = 1;
  bool announce = false;
  switch (type) {
    case 11: case 13: case 14: case 15: case 27: case 98: case 99: case 100: case 101: case 102: case 103:
    case 104: case 105: case 169:
      data[0] = 0x60;
      break;
    case 17: case 18: case 19: case 94: case 95: case 96: case 97: case 119: case 155: case 172:
      data[0] = 0x70;
      break;
    case 21: case 22: case 23: case 24: case 118: case 154:
      data[0] = (find_module_type(type)->flags & MODULE_FLAG_PIXEL_TEST_60) ? 0x60 : 0x40;
      announce = true;
      break;
    default: {
      const module_type_row* row = find_module_type(static_cast<uint32_t>(m_nModuleType));
      if (!has_row(row)) return;
      data[0] = row->pixel_test[0];
      data[1] = row->pixel_test[1];
      data[2] = row->pixel_test[2];
      length = 3;
      break;
    }
  }
  for (uint32_t line = 0; line < s_byLineCount; ++line) {
    if (announce) monitor_printf("Pixel test line %d\n", static_cast<int>(line));
    SendLine(line, LINE_PIXEL_TEST, data, length);
    tx_thread_sleep(delayTicks);
  }
}
