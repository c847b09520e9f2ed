// Failed pixels of the display modules: the failure table and its row
// counters, the failed-module map, the failed-pixel bitmap and the pixel
// error bit, the switching off of failed pixels in every shown frame, the
// legibility ratio, and the blanking of the sign (with one trap) when too
// many pixels failed or too little of the message is still lit.
#include <cstring>
#include <new>

#include "database/objects.h"
#include "display/core/diagnostics.h"
#include "display/core/face.h"
#include "display/core/pixel_error_iterator.h"
#include "display/frame/frame_engine.h"
#include "display/message/db_read.h"
#include "display/modbus/diag_registrar.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/peripheral/peripheral_trap.h"
#include "frame/trace/trace.h"

namespace {

// Modules the failed-module map can hold (4608).
constexpr uint32_t kModuleMapBytes = 576;
// Pieces of the failed-pixel bitmap and their size.
constexpr uint32_t kBitmapPieces = 11;
constexpr uint32_t kBitmapPiece = 400;
constexpr uint32_t kFailureStatus = 20;
// Why the running message is a blank of the pixel rules.
constexpr uint8_t kReasonFailedPixels = 3;
constexpr uint8_t kReasonLegibility = 4;
constexpr uint8_t kSourceOther = 1;
constexpr uint32_t kBlankingTrap = 16;
// Steps the real-time check waits after a test.
constexpr uint8_t kHoldoffAfterTest = 50;

disp::frame* current_frame(disp::face& f) {
  disp::face_description* d = f.Description();
  disp::frame* frame = nullptr;
  if (!d || !d->engine || !d->engine->GetFrame(&frame)) return nullptr;
  return frame;
}

disp::diagnostics* diagnostics_of(disp::face& f) { return f.Description() ? f.Description()->diag : nullptr; }

uint32_t pixel_value(disp::frame* f, uint32_t x, uint32_t y) {
  disp::pixel p(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
  return f && f->GetPixel(p) ? p.value : 0;
}

// The colour detail of a failed pixel: on colour signs the value's colour
// bits 0, 1, 2 go to detail bits 0, 2, 4.
uint32_t colour_detail(uint8_t colourCount, uint32_t value) {
  if (colourCount != 2 && colourCount != 3) return value;
  return (value & 1u) | ((value & 2u) << 1) | ((value & 4u) << 2);
}

void set_pixel_error_bit(bool rows, uint32_t otherRows) {
  const uint32_t status = vol_value(vol::shortErrorStatus);
  if (rows)
    set_vol(vol::shortErrorStatus, status | CDisplay::SHORT_ERROR_PIXEL, DB_NOTIFY);
  else if (otherRows == 0)
    set_vol(vol::shortErrorStatus, status & ~CDisplay::SHORT_ERROR_PIXEL, DB_NOTIFY);
}

void clear_failures(uint32_t type, const db_object& rows, const db_object& pixels, const db_object& otherRows) {
  set_vol(rows, 0, DB_NOTIFY);
  set_vol(pixels, 0, DB_NOTIFY);
  set_vol_bytes(vol::quorFailedModuleMap, "", 0, DB_NOTIFY);
  if (vol_value(otherRows) == 0)
    set_vol(vol::shortErrorStatus, vol_value(vol::shortErrorStatus) & ~CDisplay::SHORT_ERROR_PIXEL, DB_NOTIFY);
  for (uint32_t i = 0; i < CDisplay::FAILURE_ROWS; ++i) {
    set_vol(vol::pixelFailureXLocation(type - 1, i), 1, DB_NOTIFY);
    set_vol(vol::pixelFailureYLocation(type - 1, i), 1, DB_NOTIFY);
    set_vol(vol::pixelFailureStatus(type - 1, i), 0, DB_NOTIFY);
    set_vol(vol::quorPixelFailureDetail((type - 1) * CDisplay::FAILURE_ROWS + i), 0, DB_NOTIFY);
  }
}

// The running message's source as the blank's record.
void remember_blanked_message() {
  if (!g_pDataBase) return;
  uint32_t n = 0;
  const uint8_t* p = g_pDataBase->GetString(nv::dmsMsgTableSource.offset, 4, g_pDataBase->mib_nv, &n);
  set_vol_bytes(vol::quorBlankedMessage, p ? p : reinterpret_cast<const uint8_t*>(""), p ? n : 0, DB_NOTIFY);
}

bool failed_pixel_blank_running() {
  return nv_value(nv::dmsMsgSourceMode) == kSourceOther && vol_value(vol::quorActivationReason) == kReasonFailedPixels;
}

}  // namespace

// ------------------------------------------------------------ failure table

void CDisplay::ClearPixelTestFailures() {
  clear_failures(DETECT_PIXEL_TEST, vol::dmsPixelFailureTestRows, vol::quorFailedPixelsTest,
                 vol::dmsPixelFailureMessageRows);
}

void CDisplay::ClearRealtimeFailures() {
  clear_failures(DETECT_MESSAGE, vol::dmsPixelFailureMessageRows, vol::quorFailedPixelsDisplay,
                 vol::dmsPixelFailureTestRows);
}

void CDisplay::StorePixelFailure(uint32_t detectionType, int32_t index, uint8_t colourCount, const disp::pixel& p) {
  if (detectionType < 1 || detectionType > 3 || index < 0 || static_cast<uint32_t>(index) >= FAILURE_ROWS) return;
  const uint32_t t = detectionType - 1, i = static_cast<uint32_t>(index);
  set_vol(vol::pixelFailureXLocation(t, i), p.x + 1u, DB_NOTIFY);
  set_vol(vol::pixelFailureYLocation(t, i), p.y + 1u, DB_NOTIFY);
  set_vol(vol::pixelFailureStatus(t, i), kFailureStatus, DB_NOTIFY);
  set_vol(vol::quorPixelFailureDetail(t * FAILURE_ROWS + i), colour_detail(colourCount, p.value), DB_NOTIFY);
}

uint32_t CDisplay::SignPixelCount() {
  uint32_t total = 0;
  for (uint32_t i = 0; i < m_dwFaceCount && i < FACES; ++i)
    total += static_cast<uint32_t>(m_FaceDesc[i].height) * m_FaceDesc[i].width;
  return total;
}

void CDisplay::StorePixelStatusBitmap() {
  const uint32_t n = (SignPixelCount() + 7) / 8;
  uint8_t* bits = new (std::nothrow) uint8_t[n ? n : 1]();
  if (!bits) {
    monitor_printf("StorePixelStatusBitmap: no memory for %u bytes\n", static_cast<unsigned>(n));
    return;
  }
  for (uint32_t i = 0; i < m_dwFaceCount && i < FACES; ++i) {
    const disp::face_description& d = m_FaceDesc[i];
    disp::diagnostics* diag = d.diag;
    if (!diag || !diag->m_pResults) continue;
    disp::pixel_error_iterator it(diag->m_pResults, d.origin_x, d.origin_y);
    for (it.Begin(); it.IsValid(); it.Advance()) {
      const uint64_t bit = it.Current().x + static_cast<uint64_t>(it.Current().y) * d.width;
      // A face placed beyond the sign's pixel count has no bits.
      if (bit < static_cast<uint64_t>(n) * 8) bits[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    }
  }
  for (uint32_t k = 0; k <= n / kBitmapPiece && k < kBitmapPieces; ++k) {
    const uint32_t first = k * kBitmapPiece;
    const uint32_t end = first + kBitmapPiece < n ? first + kBitmapPiece : n;
    set_vol_bytes(vol::dmsPixelStatus(k), bits + first, end - first, DB_NOTIFY);
  }
  delete[] bits;
}

// ------------------------------------------------------------ pixel test

void CDisplay::PixelTestCountdown() {
  if (!m_byPixelTestCountdown) return;
  if (--m_byPixelTestCountdown) {
    monitor_printf("paused frame for pixel test\n");
    return;
  }
  ClearPixelTestFailures();
  StartPixelTest();
  for (uint32_t i = 0; i < m_dwFaceCount && i < FACES; ++i) {
    disp::diagnostics* diag = diagnostics_of(m_Faces[i]);
    if (!diag) continue;
    if (!diag->QuickTestSupported()) {
      // The modules test only while no frames come.
      monitor_printf("%s face requires display data to halt\n", m_Faces[i].Name());
      m_dwDisplayState = STATE_HALTED;
      break;
    }
  }
}

// ------------------------------------------------------------ the scan

int32_t CDisplay::ModuleOfPixel(uint32_t x, uint32_t y) const {
  const disp::face_description& d = m_FaceDesc[0];
  if (!d.module_width || !d.module_height) return -1;
  const uint32_t row = y / d.module_height;
  if (row >= 9) return -1;
  uint32_t index = x / d.module_width;
  for (uint32_t r = 0; r < row; ++r) index += d.modules_per_row[r];
  return static_cast<int32_t>(index);
}

void CDisplay::ScanRenderedFrames() {
  const uint32_t faces = m_dwFaceCount < FACES ? m_dwFaceCount : FACES;
  const bool storeRealtime = m_bStoreRealtime;
  m_bStoreRealtime = false;
  if (faces == 0) return;

  disp::frame* current[FACES] = {};
  for (uint32_t i = 0; i < faces; ++i) {
    current[i] = current_frame(m_Faces[i]);
    m_dwLitBefore[i] = current[i] ? current[i]->LitCount() : 0;
  }

  bool testDone = false;
  if (m_byPixelTestRunning && !m_byPixelTestCountdown) {
    monitor_printf(".");
    testDone = true;
    for (uint32_t i = 0; i < faces; ++i) {
      disp::diagnostics* diag = diagnostics_of(m_Faces[i]);
      if (diag && diag->m_pResults && diag->AuxResultsReady() != 1) testDone = false;
    }
  }

  const bool realtimeOn = nv_value(nv::quorEnableRealTimePixelDiagnostics) != 0;
  disp::frame* testFrame[FACES] = {};
  disp::frame* realtimeFrame[FACES] = {};
  bool any = false;
  for (uint32_t i = 0; i < faces; ++i) {
    disp::diagnostics* diag = diagnostics_of(m_Faces[i]);
    if (!diag || !diag->m_pResults) continue;
    if (diag->AuxResultsReady() == 1) testFrame[i] = diag->m_pResults;
    if (realtimeOn) realtimeFrame[i] = diag->m_pAuxResults;
    any = any || testFrame[i] || realtimeFrame[i];
  }

  uint8_t moduleMap[kModuleMapBytes] = {};
  uint32_t testRows = 0, realtimeRows = 0;
  const uint8_t colourCount = m_FaceDesc[0].depth;
  // Without result frames to read no pixel can have failed.
  if (any && current[0]) {
    const uint32_t height = current[0]->Height(), width = current[0]->Width();
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        uint32_t a = 0, b = 0;
        for (uint32_t j = 0; j < faces; ++j) {
          if (testFrame[j]) a |= pixel_value(testFrame[j], x, y);
          if (realtimeFrame[j]) b |= pixel_value(realtimeFrame[j], x, y);
          if (a || b) {
            const int32_t module = ModuleOfPixel(x, y);
            if (module >= 0 && static_cast<uint32_t>(module) < kModuleMapBytes * 8)
              moduleMap[module / 8] |= static_cast<uint8_t>(1u << (module % 8));
            // A failed pixel is not lit.
            disp::pixel off(static_cast<uint16_t>(x), static_cast<uint16_t>(y), 0);
            if (current[j]) current[j]->SetPixel(off);
          }
        }
        const disp::pixel at(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
        if (testDone && a && testRows < FAILURE_ROWS) {
          StorePixelFailure(DETECT_PIXEL_TEST, static_cast<int32_t>(testRows++), colourCount,
                            disp::pixel(at.x, at.y, a));
        }
        if (storeRealtime && b && realtimeRows < FAILURE_ROWS) {
          StorePixelFailure(DETECT_MESSAGE, static_cast<int32_t>(realtimeRows++), colourCount,
                            disp::pixel(at.x, at.y, b));
        }
      }
    }
  }

  if (testDone) {
    set_vol(vol::dmsPixelFailureTestRows, testRows, DB_NOTIFY);
    uint32_t failed = 0;
    for (uint32_t i = 0; i < faces; ++i) {
      disp::diagnostics* diag = diagnostics_of(m_Faces[i]);
      if (diag && diag->m_pResults) failed += diag->m_pResults->LitCount();
    }
    set_vol(vol::quorFailedPixelsTest, failed, DB_NOTIFY);
    set_pixel_error_bit(testRows != 0, vol_value(vol::dmsPixelFailureMessageRows));
    for (uint32_t i = 0; i < faces; ++i) {
      disp::diagnostics* diag = diagnostics_of(m_Faces[i]);
      if (diag && diag->m_pResults) g_diag_index_registrar.StoreTable(0, diag->m_pResults, false, 0);
    }
    m_byRealtimeHoldoff = kHoldoffAfterTest;
    StorePixelStatusBitmap();
    set_vol(vol::pixelTestActivation, 2, 0);
    if (post_office* router = m_Inbox.Router()) router->Publish(MSG_PERIPHERALS_ALL_ON);
    m_byPixelTestRunning = 0;
    m_dwDisplayState = STATE_START_MESSAGE;
  }

  if (storeRealtime) {
    set_vol(vol::dmsPixelFailureMessageRows, realtimeRows, DB_NOTIFY);
    uint32_t failed = 0;
    for (uint32_t i = 0; i < faces; ++i) {
      disp::diagnostics* diag = diagnostics_of(m_Faces[i]);
      if (diag && diag->m_pAuxResults) failed += diag->m_pAuxResults->LitCount();
    }
    set_vol(vol::quorFailedPixelsDisplay, failed, DB_NOTIFY);
    set_pixel_error_bit(realtimeRows != 0, vol_value(vol::dmsPixelFailureTestRows));
  }

  uint32_t mapLength = (m_FaceDesc[0].total_modules + 7u) / 8u;
  if (mapLength > kModuleMapBytes) mapLength = kModuleMapBytes;
  set_vol_bytes(vol::quorFailedModuleMap, moduleMap, mapLength, DB_NOTIFY);
}

void CDisplay::UpdateFaceResults(uint32_t face) {
  if (face >= FACES || face >= m_dwFaceCount) return;
  disp::frame* frame = current_frame(m_Faces[face]);
  if (!frame) return;
  // The face's first result table; 0: the face has none, and the rendered
  // frame must not land in another face's (or no face's) table.
  const uint32_t first = vol_value(vol::quorDiagFaceFirstTable(face));
  if (first) {
    const uint32_t base = first - 1;
    g_diag_index_registrar.StoreTable(base + frame->m_attributes.a0 + 1, frame, true, base);
  }
  uint32_t ratio = 100;
  if (m_dwLitBefore[face]) ratio = static_cast<uint32_t>(static_cast<uint64_t>(frame->LitCount()) * 100 / m_dwLitBefore[face]);
  if (ratio > 255) ratio = 255;
  set_vol(vol::quorLegibilityRatio, ratio, DB_NOTIFY);
  CheckLegibility();
}

// ------------------------------------------------------------ blanking

void CDisplay::CheckLegibility() {
  const uint32_t threshold = nv_value(nv::quorLegibilityRatioThreshold);
  if (threshold == 0 || m_dwDisplayState == STATE_TEST_PATTERN) return;
  const uint32_t ratio = vol_value(vol::quorLegibilityRatio);
  if (ratio >= threshold) return;
  if (failed_pixel_blank_running()) return;
  remember_blanked_message();
  monitor_printf("Legiblity Threshold(%d%%) Exceeded! Blanking.. Current Ratio:%d%%\n", static_cast<int>(threshold),
                 static_cast<int>(ratio));
  RequestBlankMessage(kSourceOther, kReasonLegibility);
  SendBlankingTrap();
}

bool CDisplay::FailedPixelLimitExceeded() {
  const uint32_t limit = nv_value(nv::fdotMaxNumPixelFailure);
  if (limit == 0xFFFFFFFF || m_dwDisplayState == STATE_TEST_PATTERN) return false;
  // Unsigned: a large limit must not read as a negative one.
  return vol_value(vol::dmsPixelFailureMessageRows) > limit || vol_value(vol::dmsPixelFailureTestRows) > limit;
}

void CDisplay::CheckFailedPixels() {
  if (!FailedPixelLimitExceeded()) return;
  if (failed_pixel_blank_running()) return;
  remember_blanked_message();
  monitor_printf("Max(%d) Fail Pixels Exceeded! Blanking.. RT cnt:%d PT cnt:%d\n",
                 static_cast<int>(nv_value(nv::fdotMaxNumPixelFailure)),
                 static_cast<int>(vol_value(vol::dmsPixelFailureMessageRows)),
                 static_cast<int>(vol_value(vol::dmsPixelFailureTestRows)));
  RequestBlankMessage(kSourceOther, kReasonFailedPixels);
  SendBlankingTrap();
}

void CDisplay::SendBlankingTrap() {
  peripheral_trap_binding b[2] = {};
  static const uint32_t kLocation[] = {1, 3, 6, 1, 2, 1, 1, 6, 0};
  static const uint32_t kGlobalTime[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};
  std::memcpy(b[0].oid, kLocation, sizeof kLocation);
  b[0].oid_length = sizeof kLocation / sizeof kLocation[0];
  b[0].type = TRAP_VALUE_OCTETS;
  uint32_t n = 0;
  const uint8_t* location =
      g_pDataBase ? g_pDataBase->GetString(nv::sysLocation.offset, 4, g_pDataBase->mib_nv, &n) : nullptr;
  b[0].value = location ? location : reinterpret_cast<const uint8_t*>("");
  b[0].length = location ? n : 0;
  std::memcpy(b[1].oid, kGlobalTime, sizeof kGlobalTime);
  b[1].oid_length = sizeof kGlobalTime / sizeof kGlobalTime[0];
  b[1].type = TRAP_VALUE_COUNTER;
  const uint32_t now = global_time();
  b[1].value = reinterpret_cast<const uint8_t*>(&now);
  b[1].length = sizeof now;
  peripheral_send_trap(TRAP_ENTERPRISE_SPECIFIC, kBlankingTrap, 2, b);
}
