// What the display task derives from the module type (mib_nv.quorModuleID):
// the module class, the sign's size limits, the default colours, the EPLD
// colour registers, the display-line lengths and the module-bus timing, the
// sign model text and the module-table entries, and the refresh rate. Also
// the module-temperature peripheral and the over-temperature count of the
// temperature protection.
#include <cstdio>
#include <cstring>

#include "board_io.h"
#include "database/database.h"
#include "database/objects.h"
#include "display/core/diagnostics.h"
#include "display/driver/q5_display_driver.h"
#include "display/message/db_read.h"
#include "display/modbus/info.h"
#include "display/render/render.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_peripherals.h"
#include "frame/bus/post_office.h"
#include "frame/can/can_db_driver.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "tx_api.h"

namespace {

// The module types of the current generation, searched from the start.
const uint16_t kClass4Types[] = {21, 22, 23, 24, 118, 154, 98, 99, 100, 101, 169,
                                 102, 103, 104, 105, 94, 95, 96, 97, 172, 119, 155};

// EPLD and FPGA registers.
constexpr uint32_t kEpldLineControl = 0xF0500028;  // bit 0x40: two response words per line
constexpr uint8_t kTwoResponseWords = 0x40;
constexpr uint32_t kEpldModulesPerLine = 0xF0500029;
constexpr uint32_t kEpldColour1 = 0xF0500051;
constexpr uint32_t kEpldColour2 = 0xF0500054;
constexpr uint32_t kEpldColour3 = 0xF0500057;
constexpr uint32_t kFpgaVersion = 0xF040000E;

// Module-table rows: the controller, the display modules, the sign.
constexpr uint32_t kRowController = 1, kRowModules = 2, kRowBoard = 5, kRowSign = 6;
constexpr uint32_t kMaxLines = 9;

bool in(uint32_t v, uint32_t first, uint32_t last) { return v >= first && v <= last; }

// Module types with the EPLD's pixel diagnostics.
bool epld_diagnostics_type(uint32_t t) {
  return in(t, 11, 19) || in(t, 21, 24) || t == 27 || in(t, 94, 105) || t == 118 || t == 119 || t == 154 ||
         t == 155 || t == 169 || t == 172;
}
// Module types whose EPLD takes the bits per colour.
bool bits_per_colour_type(uint32_t t) { return epld_diagnostics_type(t) && t != 12 && t != 16; }
// Module types of short display lines.
bool short_line_type(uint32_t t) { return t == 118 || t == 119 || t == 154 || t == 155; }

// A board register bit that other drivers change too: with interrupts masked.
void epld_bits(uint32_t reg, uint8_t set, uint8_t clear) {
  const UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  reg_write8(reg, static_cast<uint8_t>((reg_read8(reg) & ~clear) | set));
  tx_interrupt_control(posture);
}

void set_vol_text(const db_object& o, const char* text) {
  set_vol_bytes(o, text, static_cast<uint32_t>(std::strlen(text)), DB_NOTIFY);
}

// The product family and colour suffix of the model text.
struct family_s {
  uint8_t family;
  const char* suffix;
};

family_s model_family(uint32_t t) {
  if (in(t, 1, 8) || t == 106 || in(t, 126, 128)) return {1, "A"};
  if (in(t, 9, 12)) return {1, "RA"};
  if (in(t, 13, 16) || t == 27) return {1, "RG"};
  if (in(t, 17, 20)) return {1, "RGB"};
  if (in(t, 21, 24) || t == 118 || t == 154) return {2, "A"};
  if (in(t, 98, 101)) return {2, "RA"};
  if (in(t, 102, 105) || t == 169) return {2, "RG"};
  if (in(t, 94, 97) || t == 119 || t == 155 || t == 172) return {2, "RGB"};
  if (in(t, 109, 114) || in(t, 120, 125)) return {3, "A"};
  if (in(t, 28, 57) || t == 64 || t == 65 || t == 70 || t == 71) return {4, "A"};
  if (in(t, 58, 63) || in(t, 66, 69)) return {4, "RG"};
  if (in(t, 72, 93)) return {4, "RGB"};
  if (t == 116 || t == 117) return {5, "W"};
  return {1, " "};
}

const char* family_text(uint8_t family, uint32_t access, uint32_t horizontalPitch) {
  switch (family) {
    case 2:
      switch (access) {
        case 2:
          return "KT-26X0";
        case 4:
          return "KT-27X0";
        case 8:
          return "KM-1820";
        default:
          // An access this family has no model for.
          return "KT-2XX0";
      }
    case 3:
      return horizontalPitch == 44 ? "KP-6100" : "KP-6000";
    case 4:
      return "KL-5XXX";
    case 5:
      return "KS-8XXX";
    default:
      return "KT-1400";
  }
}

}  // namespace

uint8_t module_type_class(uint32_t module_type) {
  for (uint16_t t : kClass4Types)
    if (t == module_type) return 4;
  return (find_module_type(module_type)->flags & MODULE_FLAG_CLASS2) ? 2 : 3;
}

// ------------------------------------------------------------ colours

void CDisplay::ReconfigureColours() {
  monitor_printf("reconfigure the color settings\n");
  const module_type_row* row = find_module_type(nv_value(nv::quorModuleID));
  const uint32_t scheme = nv_value(nv::dmsColorScheme);
  switch (row->colour_type) {
    case 1:
    case 2:
      if (scheme != 3) {
        // Classic colours: black on amber.
        static const uint8_t kBackground = 0, kForeground = 9;
        set_nv(nv::dmsColorScheme, 3, DB_NOTIFY);
        set_nv_bytes(nv::defaultBackgroundRGB, &kBackground, 1, DB_NOTIFY);
        set_nv_bytes(nv::defaultForegroundRGB, &kForeground, 1, DB_NOTIFY);
      }
      break;
    case 3:
      if (scheme != 4) {
        static const uint8_t kBackground[3] = {0, 0, 0}, kForeground[3] = {255, 180, 0};
        set_nv(nv::dmsColorScheme, 4, DB_NOTIFY);
        set_nv_bytes(nv::defaultBackgroundRGB, kBackground, 3, DB_NOTIFY);
        set_nv_bytes(nv::defaultForegroundRGB, kForeground, 3, DB_NOTIFY);
      }
      break;
    default:
      break;
  }
}

// ------------------------------------------------------ driver settings

void CDisplay::UpdateDriverInfo() {
  const uint32_t type = nv_value(nv::quorModuleID);
  const module_type_row* row = find_module_type(type);

  uint32_t bits = nv_value(nv::quorBitsPerColour);
  if (bits == 0) bits = row->pixel_test[2] & 0x0F;
  if (epld_diagnostics_type(type)) {
    reg_write8(kEpldColour3, nv_value(nv::quorEnableRealTimePixelDiagnostics) ? 0x80 : 0x00);
  } else {
    reg_write8(kEpldColour1, row->pixel_test[0]);
    reg_write8(kEpldColour2, row->pixel_test[1]);
    reg_write8(kEpldColour3, row->pixel_test[2]);
    bits = 1;
  }

  for (uint32_t i = 0; i < m_dwFaceCount && i < FACES; ++i) {
    SetFaceFrameRate(&m_FaceDesc[i]);
    FillFaceDescription(&m_FaceDesc[i]);
  }

  char text[64];
  std::snprintf(text, sizeof text, "%s - EPLD", row->name ? row->name : "");
  set_vol_text(vol::moduleModel(kRowModules), text);
  set_vol_text(vol::moduleMake(kRowModules), "Quorvantis, Inc.");
  std::snprintf(text, sizeof text, "%2d", reg_read16(kFpgaVersion) & 0xFF);
  set_vol_text(vol::moduleVersion(kRowModules), text);

  SetBitsPerColour(static_cast<uint8_t>(bits));
  if (m_dwFaceCount) SetRefreshRate(m_FaceDesc[0].rate);

  // What was measured belongs to the hardware as it was.
  for (uint32_t i = 0; i < m_dwFaceCount && i < FACES; ++i) {
    m_Faces[i].ClearResults();
    m_Faces[i].ClearAuxResults();
  }
  ClearPixelTestFailures();
  ClearRealtimeFailures();

  // More failed pixels than a module has cannot be a useful limit.
  const uint32_t pixels = static_cast<uint32_t>(row->height) * row->width;
  const uint32_t limit = nv_value(nv::fdotMaxNumPixelFailure);
  if (pixels && (limit == 0xFFFFFFFF || limit >= pixels)) set_nv(nv::fdotMaxNumPixelFailure, pixels - 1, DB_NOTIFY);

  BuildModelString();
}

void CDisplay::SetBitsPerColour(uint8_t bits) {
  m_byBitsPerColour = bits;
  set_nv(nv::quorBitsPerColour, bits, 0);
  const uint32_t type = nv_value(nv::quorModuleID);
  if (bits_per_colour_type(type))
    reg_write8(kEpldColour1,
               static_cast<uint8_t>((bits & 0x0F) + (find_module_type(type)->pixel_test[2] & 0xF0)));
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

// ------------------------------------------------------ face and lines

void CDisplay::ComputeLineLengths(disp::face_description* d) {
  if (!d) return;
  const uint32_t rows = d->module_height ? d->height / d->module_height : 0;
  const uint32_t full = d->module_width ? d->width / d->module_width : 0;
  for (uint32_t i = 0; i < kMaxLines; ++i) {
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

void CDisplay::FillFaceDescription(disp::face_description* d) {
  if (!d) return;
  const uint32_t type = nv_value(nv::quorModuleID);
  const module_type_row* row = find_module_type(type);
  d->width = static_cast<uint16_t>(nv_value(nv::vmsSignWidthPixels));
  d->height = static_cast<uint16_t>(nv_value(nv::vmsSignHeightPixels));
  d->module_type = static_cast<uint16_t>(type);
  d->module_height = row->height;
  d->module_width = row->width;
  d->module_class = module_type_class(type);
  RaiseToWholeModules(d);
  ComputeLineLengths(d);
  uint32_t total = 0;
  for (uint8_t n : d->modules_per_row) total += n;
  d->total_modules = static_cast<uint16_t>(total);
  d->depth = row->colour_type;
  d->horizontal_pitch = static_cast<uint8_t>(nv_value(nv::vmsHorizontalPitch));
  d->vertical_pitch = static_cast<uint8_t>(nv_value(nv::vmsVerticalPitch));

  // The line timing: modules per CAN line and whether each line answers
  // with two response words.
  auto set_line = [&](uint32_t faceValue, uint32_t registerValue, bool twoWords) {
    d->modules_per_line = static_cast<uint8_t>(faceValue);
    d->two_response_words = twoWords ? 1 : 0;
    reg_write8(kEpldModulesPerLine, static_cast<uint8_t>(registerValue));
    if (twoWords)
      epld_bits(kEpldLineControl, kTwoResponseWords, 0);
    else
      epld_bits(kEpldLineControl, 0, kTwoResponseWords);
  };

  const uint32_t configured = nv_value(nv::quorCANMaxLineLength);
  if (configured) {
    const uint32_t n = configured > 63 ? 63 : configured;
    set_line(n, n, false);
    return;
  }
  if (d->module_class < 4) {
    set_line(31, 31, false);
    return;
  }

  const uint32_t access = nv_value(nv::dmsSignAccess);
  const uint32_t signWidth = nv_value(nv::vmsSignWidthPixels);
  const uint32_t baud = nv_value(nv::quorCANBaudRate);
  uint8_t code;
  if (d->vertical_pitch == 44 && access == 8 && signWidth > 105 && baud == 1) {
    set_nv(nv::quorCANBaudRate, 3, DB_NOTIFY);
    code = 1;
  } else {
    code = baud == 1 ? row->line_bitrate : static_cast<uint8_t>(baud - 2);
  }
  if (can_db_driver* lines = CQ5DisplayDriver::LineDriver()) lines->SendTemplatePacket(1, code);

  if (d->vertical_pitch == 66 && access == 8) {
    const uint32_t value = d->width % 3 == 0 ? 12 : (signWidth % 3 == 1 ? 11 : 13);
    set_line(value, value, false);
    return;
  }
  if (row->flags & MODULE_FLAG_LARGE_SIGN) {
    const uint32_t across = d->module_width ? d->width / d->module_width : 0;
    const uint32_t rows = d->module_rows;
    if (short_line_type(type)) {
      if (across > 10 && rows > 4)
        set_line(63, 63, true);
      else if (across > 10)
        set_line(63, 42, true);
      else
        set_line(30, 30, false);
      return;
    }
    if (across > 31 && rows > 4) {
      set_line(63, 63, true);
      return;
    }
  }
  set_line(31, 31, false);
}

// ------------------------------------------------------------ geometry

void CDisplay::SetSignGeometry(uint16_t moduleType, uint16_t height, uint16_t width, uint8_t moduleHeight,
                               uint8_t moduleWidth) {
  const module_type_row* row = find_module_type(moduleType);
  const uint32_t mh = moduleHeight ? moduleHeight : row->height;
  const uint32_t mw = moduleWidth ? moduleWidth : row->width;
  if (!mh || !mw) return;

  // At least one module row, at most nine.
  uint32_t h = height ? height : mh;
  h = (h + mh - 1) / mh * mh;
  if (h > 9 * mh) h = 9 * mh;

  const bool large = (row->flags & MODULE_FLAG_LARGE_SIGN) != 0;
  const uint32_t limit = short_line_type(moduleType) ? (large ? 21 : 10) * mw : (large ? 63 : 31) * mw;
  uint32_t w = width ? width : mw;
  w = (w + mw - 1) / mw * mw;
  if (w > limit) {
    // Up to four module rows the lines can be doubled.
    if (9 / (h / mh) >= 2) {
      if (w > 2 * limit) w = 2 * limit;
    } else {
      w = limit;
    }
  }

  // The frame store's pixel budget.
  const uint32_t budget = row->colour_type == 2 || row->colour_type == 3 ? 52000 : 99000;
  if (h * w > budget) w = (budget / h / mw) * mw;

  switch (nv_value(nv::dmsSignType)) {
    case 5:
      set_nv(nv::vmsCharacterHeightPixels, mh, DB_NOTIFY);
      set_nv(nv::vmsCharacterWidthPixels, 0, DB_NOTIFY);
      break;
    case 4:
      set_nv(nv::vmsCharacterHeightPixels, mh, DB_NOTIFY);
      set_nv(nv::vmsCharacterWidthPixels, mw, DB_NOTIFY);
      break;
    default:
      set_nv(nv::vmsCharacterHeightPixels, 0, DB_NOTIFY);
      set_nv(nv::vmsCharacterWidthPixels, 0, DB_NOTIFY);
      break;
  }
  set_nv(nv::quorModuleID, moduleType, DB_NOTIFY);
  set_nv(nv::vmsSignHeightPixels, h, DB_NOTIFY);
  set_nv(nv::vmsSignWidthPixels, w, DB_NOTIFY);
}

// ---------------------------------------------------------- identification

void CDisplay::BuildModelString() {
  const uint32_t type = nv_value(nv::quorModuleID);
  const family_s f = model_family(type);
  const uint32_t pitch = nv_value(nv::vmsHorizontalPitch);
  const char* family = family_text(f.family, nv_value(nv::dmsSignAccess), pitch);
  const int h = static_cast<int>(nv_value(nv::vmsSignHeightPixels));
  const int w = static_cast<int>(nv_value(nv::vmsSignWidthPixels));
  uint32_t charHeight = nv_value(nv::vmsCharacterHeightPixels);
  const uint32_t charWidth = nv_value(nv::vmsCharacterWidthPixels);
  const uint32_t signType = nv_value(nv::dmsSignType);

  if ((f.family == 1 || f.family == 2) && (signType == 4 || signType == 5) && charHeight == 0) {
    // Matrix signs of these families have 7-pixel characters unless told.
    charHeight = 7;
    set_nv(nv::vmsCharacterHeightPixels, charHeight, DB_NOTIFY);
  }
  // No character size: no lines or characters to count.
  const int lines = charHeight ? h / static_cast<int>(charHeight) : 0;
  const int chars = charWidth ? w / static_cast<int>(charWidth) : 0;

  char model[96];
  switch (f.family) {
    case 1:
    case 2:
    case 3: {
      const int p = f.family == 3 ? (pitch == 44 ? 12 : 18) : static_cast<int>(pitch);
      if (signType == 4)
        std::snprintf(model, sizeof model, "%s-%d-%d-%d-%s", family, lines, chars, p, f.suffix);
      else if (signType == 5)
        std::snprintf(model, sizeof model, "%s-%d-%dx%d-%d-%s", family, lines, static_cast<int>(charHeight), w, p,
                      f.suffix);
      else
        std::snprintf(model, sizeof model, "%s-%dx%d-%d-%s", family, h, w, p, f.suffix);
      break;
    }
    case 4:
      std::snprintf(model, sizeof model, "%s-%dx%d-%d-%s", family, h, w, static_cast<int>(pitch), f.suffix);
      break;
    default:
      std::snprintf(model, sizeof model, "%s-X-18-%s", family, f.suffix);
      break;
  }
  set_vol_text(vol::moduleModel(kRowSign), model);

  char serial[24];
  const uint32_t controllerSerial = nv_value(nv::quorControllerSerialNum);
  if (controllerSerial)
    std::snprintf(serial, sizeof serial, "SN: %u", static_cast<unsigned>(controllerSerial));
  else
    std::snprintf(serial, sizeof serial, "SN: ----");
  set_vol_text(vol::moduleVersion(kRowController), serial);
  const uint32_t signSerial = nv_value(nv::quorSignSerialNum);
  if (signSerial)
    std::snprintf(serial, sizeof serial, "SN: %u", static_cast<unsigned>(signSerial));
  else
    std::snprintf(serial, sizeof serial, "SN: ----");
  set_vol_text(vol::moduleVersion(kRowSign), serial);
}

// ---------------------------------------------------------- temperatures

int CDisplay::UpdateTemperatureSensor() {
  const display_peripheral_links& p = g_display_peripherals;
  if (module_type_class(nv_value(nv::quorModuleID)) == 4) {
    if (p.is_live && p.is_live(PERIPHERAL_SIGN_MODULE_TEMPERATURES)) return 1;
    if (!p.create) return 0;
    char parameters[24];
    std::snprintf(parameters, sizeof parameters, "%X,%X", 0x42109u, 1u);
    return p.create(PERIPHERAL_SIGN_MODULE_TEMPERATURES, parameters);
  }
  if (p.remove) p.remove(PERIPHERAL_SIGN_MODULE_TEMPERATURES);
  return 1;
}

bool CDisplay::ModulesOverTemperature(int8_t limit) {
  if (!m_dwFaceCount) return false;
  const disp::face_description& d = m_FaceDesc[0];
  if (d.module_class < 4 || !d.diag) return false;
  uint32_t hot = 0;
  for (uint32_t i = 0; i < d.total_modules; ++i) {
    int8_t temperature = 0;
    if (d.diag->GetModuleValue(i, temperature) && temperature > limit) ++hot;
  }
  // A tenth of the modules, and never a single one.
  uint32_t needed = static_cast<uint32_t>(d.total_modules) * 10 / 100;
  if (needed < 2) needed = 2;
  return hot >= needed;
}

void CDisplay::ReportBoardInfo(uint32_t face, disp::info* info) {
  if (!info) return;
  // The product board's peripheral follows the board's state.
  if (post_office* router = m_Inbox.Router()) {
    letter_s letter(MSG_DISPLAY_TO_PERIPHERAL);
    letter.kind = LETTER_KIND_PAIRS;
    letter.payload[0] = (face & 0xFFFFu) << 16 | info->state;
    router->Deliver(&letter);
  }
  if (info->state == disp::info::NOT_RESPONDING) return;
  char text[16];
  std::snprintf(text, sizeof text, "%d/%d", info->revision[0], info->revision[1]);
  set_vol_text(vol::moduleVersion(kRowBoard), text);
  set_vol_text(vol::moduleModel(kRowBoard), info->name ? info->name : "");
  m_byModuleInfoA = info->kind;
  m_byModuleInfoB = static_cast<uint8_t>((info->revision[0] != 0) + (info->revision[1] != 0));
  m_byModuleInfoC = static_cast<uint8_t>(info->code);
}
