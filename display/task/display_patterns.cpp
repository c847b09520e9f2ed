// Test patterns: while mib_nv.quorDisplayMode is not 1 the frame step calls
// DrawTestPattern once per display step on a cleared surface. Patterns are
// drawn here (fills, stripes, moving lines, characters) or by the modules
// themselves on a line command; several force the brightness, which is
// given back when the mode is left.
#include "database/objects.h"
#include "display/driver/module_type.h"
#include "display/driver/q5_display_driver.h"
#include "display/font/ntcip_font.h"
#include "display/message/db_read.h"
#include "display/render/render.h"
#include "display/surface/surface.h"
#include "display/surface/text.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t kRed = 31, kGreen = 992, kBlue = 31744;
constexpr uint8_t kColourRed = 0, kColourGreen = 1, kColourBlue = 2, kColourOff = 3, kColourAll = 4;
// dmsIllumControl while a pattern forces the brightness.
constexpr uint32_t kManualControl = 5;

bool one_of(uint32_t v, std::initializer_list<uint32_t> set) {
  for (uint32_t s : set)
    if (s == v) return true;
  return false;
}

// Modes that force the brightness: full, or 10 % for 12 to 14.
bool full_brightness_mode(uint32_t m) { return one_of(m, {2, 8, 15, 16, 17, 25, 30, 31, 32, 35}); }
bool tenth_brightness_mode(uint32_t m) { return one_of(m, {12, 13, 14}); }
bool forced_brightness_mode(uint32_t m) { return full_brightness_mode(m) || tenth_brightness_mode(m); }

// The line commands of the sign's own driver; other drivers have no lines.
CQ5DisplayDriver* line_driver(display_driver* d) { return dynamic_cast<CQ5DisplayDriver*>(d); }

uint8_t realtime_option() { return nv_value(nv::quorEnableRealTimePixelDiagnostics) != 0 ? 1 : 0; }

}  // namespace

uint8_t CDisplay::PatternColourCount() {
  const module_type_row* row = find_module_type(nv_value(nv::quorModuleID));
  return row ? row->colour_type : 1;
}

uint32_t CDisplay::PatternColour(uint8_t index) {
  switch (index) {
    case kColourRed: return kRed;
    case kColourGreen: return kGreen;
    case kColourBlue: return kBlue;
    case kColourOff: return 0;
    case kColourAll: {
      const uint8_t n = PatternColourCount();
      return n == 2 ? 1023 : n == 3 ? 32767 : kRed;
    }
    default: return kRed;
  }
}

// ------------------------------------------------------------ drawing

namespace {
CSurface& pattern_surface(CRender* r) { return r ? r->Surface() : g_render.Surface(); }
}  // namespace

void CDisplay::DrawColumnsEvery8(uint32_t colour, uint32_t first) {
  CSurface& s = pattern_surface(m_pRenderRef);
  for (uint32_t x = first; x < s.Width(); x += 8) s.DrawColumn(static_cast<int32_t>(x), colour);
}

void CDisplay::DrawRowsEvery8(uint32_t colour, uint32_t first) {
  CSurface& s = pattern_surface(m_pRenderRef);
  for (uint32_t y = first; y < s.Height(); y += 8) s.DrawRow(static_cast<int32_t>(y), colour);
}

void CDisplay::DrawOddRows(uint32_t colour) {
  CSurface& s = pattern_surface(m_pRenderRef);
  for (uint32_t y = 1; y < s.Height(); y += 2) s.DrawRow(static_cast<int32_t>(y), colour);
}

void CDisplay::DrawEvenRows(uint32_t colour) {
  CSurface& s = pattern_surface(m_pRenderRef);
  for (uint32_t y = 0; y < s.Height(); y += 2) s.DrawRow(static_cast<int32_t>(y), colour);
}

void CDisplay::DrawOddColumns(uint32_t colour) {
  CSurface& s = pattern_surface(m_pRenderRef);
  for (uint32_t x = 1; x < s.Width(); x += 2) s.DrawColumn(static_cast<int32_t>(x), colour);
}

void CDisplay::DrawEvenColumns(uint32_t colour) {
  CSurface& s = pattern_surface(m_pRenderRef);
  for (uint32_t x = 0; x < s.Width(); x += 2) s.DrawColumn(static_cast<int32_t>(x), colour);
}

void CDisplay::DrawCheckerEven(uint32_t colour) {
  CSurface& s = pattern_surface(m_pRenderRef);
  for (uint32_t y = 0; y < s.Height(); ++y)
    for (uint32_t x = y % 2; x < s.Width(); x += 2) s.SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), colour);
}

void CDisplay::DrawCheckerOdd(uint32_t colour) {
  CSurface& s = pattern_surface(m_pRenderRef);
  for (uint32_t y = 0; y < s.Height(); ++y)
    for (uint32_t x = 1 - y % 2; x < s.Width(); x += 2)
      s.SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), colour);
}

void CDisplay::DrawLogoTiles(uint32_t colour) {
  static const uint8_t kGlyph[][2] = {{1, 1}, {1, 2}, {1, 4}, {1, 5}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5},
                                      {3, 1}, {3, 2}, {3, 4}, {3, 5}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 5},
                                      {5, 2}, {5, 3}, {5, 4}};
  CSurface& s = pattern_surface(m_pRenderRef);
  for (uint32_t y0 = 0; y0 < s.Height(); y0 += 8)
    for (uint32_t x0 = 0; x0 < s.Width(); x0 += 6)
      for (const auto& p : kGlyph)
        s.SetPixel(static_cast<int32_t>(x0 + p[0]), static_cast<int32_t>(y0 + p[1]), colour);
}

namespace {

// Characters one at a time along a text line from x = 0 to the surface's
// width, with the font's own spacing; next(c) gives the following one.
// A glyph that does not move the line along ends it.
template <typename Next>
void draw_text_line(CSurface& s, const CNTCIPFont& font, int32_t y, uint8_t c, Next next) {
  const text_rect clip{0, 0, static_cast<int32_t>(s.Width()), static_cast<int32_t>(s.Height())};
  int32_t x = 0;
  bool first = true;
  while (x < static_cast<int32_t>(s.Width())) {
    const int32_t before = x;
    int32_t top = y;
    DrawText(s, font, &c, 1, &x, &top, clip, false, -2, first, false, nullptr);
    first = false;
    if (x <= before) break;
    c = next(c);
  }
}

void set_text_colours(CSurface& s, uint32_t colour) {
  s.m_dwTextForeground = colour ? colour : 32767;
  s.m_dwTextBackground = SURFACE_NO_BACKGROUND;
}

}  // namespace

void CDisplay::DrawAlphabet(uint32_t colour) {
  CSurface& s = pattern_surface(m_pRenderRef);
  const CNTCIPFont font(0);
  set_text_colours(s, colour);
  const uint32_t h = font.GetHeight() + font.GetLineSpacing();
  if (h == 0) return;
  for (uint32_t y = 0; y < s.Height(); y += h)
    draw_text_line(s, font, static_cast<int32_t>(y), 'A',
                   [](uint8_t c) { return static_cast<uint8_t>(c == 'Z' ? 'a' : c + 1); });
}

void CDisplay::DrawLineNumbers(uint32_t colour) {
  CSurface& s = pattern_surface(m_pRenderRef);
  const CNTCIPFont font(0);
  set_text_colours(s, colour);
  const uint32_t type = nv_value(nv::dmsSignType);
  const uint32_t h = one_of(type, {4, 5, 132, 133}) ? nv_value(nv::vmsCharacterHeightPixels)
                                                    : font.GetHeight() + font.GetLineSpacing();
  if (h == 0) return;
  uint32_t k = 0;
  for (uint32_t y = 0; y < s.Height(); y += h, ++k) {
    uint32_t c = '1' + k;
    if (c >= ':') c = 'A' + (c - ':');
    if (c > 255) break;
    draw_text_line(s, font, static_cast<int32_t>(y), static_cast<uint8_t>(c), [](uint8_t same) { return same; });
  }
}

// ------------------------------------------------------------ the step

void CDisplay::PatternLevel(uint32_t level) {
  if (m_pActiveDriver) m_pActiveDriver->SetBrightness(static_cast<int32_t>(level & 0xFF));
}

void CDisplay::EndModuleRevision() {
  if (CQ5DisplayDriver* q5 = line_driver(m_pSignDriver)) q5->SendModuleMode6(0);
  if (m_pSignDriver) m_pSignDriver->SetDiagnosticsEnabled(realtime_option());
  m_byModuleTestActive = 0;
}

void CDisplay::PatternTiming(uint32_t mode) {
  pattern_state_s& p = m_Pattern;
  const uint8_t rate = m_pRenderRef ? m_pRenderRef->m_byFrameRate : g_render.m_byFrameRate;
  const uint8_t slow = static_cast<uint8_t>(3 * rate);
  if (mode == 25 || mode == 35) {
    p.stepFrames = 2;
  } else if (one_of(mode, {2, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 26, 27, 28, 32, 34,
                           36})) {
    p.autoPeriod = 1;
    p.stepFrames = slow;
  } else if (one_of(mode, {5, 6, 30, 31})) {
    p.autoPeriod = 3;
    p.stepFrames = rate;
  } else if (mode == 10) {
    if (p.autoStep == 5 || p.autoStep == 6) {
      p.autoPeriod = 2;
      p.stepFrames = rate;
    } else if (one_of(p.autoStep, {7, 8, 24})) {
      p.autoPeriod = 1;
      p.stepFrames = slow;
    } else {
      p.autoPeriod = 8;
      p.stepFrames = rate;
    }
  } else {
    p.autoPeriod = 8;
    p.stepFrames = rate;
  }
}

void CDisplay::LeavePatternMode(uint32_t mode) {
  pattern_state_s& p = m_Pattern;
  CQ5DisplayDriver* q5 = line_driver(m_pSignDriver);
  if (forced_brightness_mode(mode)) {
    // Nothing saved: nothing to give back (dmsIllumControl 0 is no mode).
    if (p.savedIllumControl) {
      set_nv(nv::dmsIllumControl, p.savedIllumControl, DB_NOTIFY);
      set_nv(nv::dmsIllumManLevel, p.savedManLevel, DB_NOTIFY);
    }
    p.savedIllumControl = 0;
    CQ5DisplayDriver::SetGammaSelect(p.savedGamma);
    monitor_printf_debug("Restore Gamma to %d\n", static_cast<int>(p.savedGamma));
    p.savedGamma = 0;
  } else if ((mode == 10 && p.autoStep == 24) || mode == 24) {
    EndModuleRevision();
    if (mode == 10) p.autoStep = 7;
  } else if (one_of(mode, {26, 27, 28})) {
    if (q5) q5->SetModuleTestMode(0, 0);
    if (m_pSignDriver) m_pSignDriver->SetDiagnosticsEnabled(realtime_option());
    m_byModuleTestActive = 0;
    p.moduleTestSent = 0;
  } else if (mode == 33) {
    if (q5) q5->SendModuleModes14And15(0);
  } else if (mode == 34) {
    if (q5) q5->SendModuleMode14(0);
  } else if (mode == 36) {
    if (q5) q5->SendModuleMode20(0);
    if (m_pSignDriver) m_pSignDriver->SetDiagnosticsEnabled(realtime_option());
    m_byModuleTestActive = 0;
  }
}

void CDisplay::EnterPatternMode(uint32_t mode) {
  pattern_state_s& p = m_Pattern;
  if (forced_brightness_mode(mode)) {
    if (p.savedIllumControl == 0) {
      p.savedIllumControl = static_cast<uint8_t>(nv_value(nv::dmsIllumControl));
      p.savedManLevel = static_cast<uint8_t>(nv_value(nv::dmsIllumManLevel));
    }
    if (p.savedGamma == 0) {
      p.savedGamma = CQ5DisplayDriver::GammaSelect();
      CQ5DisplayDriver::SetGammaSelect(0);
      monitor_printf_debug("Set gamma to 0\n");
    }
    const uint32_t levels = vol_value(vol::dmsIllumNumBrightLevels);
    const uint32_t level = full_brightness_mode(mode) ? levels : levels / 10;
    set_nv(nv::dmsIllumControl, kManualControl, DB_NOTIFY);
    set_nv(nv::dmsIllumManLevel, level, DB_NOTIFY);
    if (m_pActiveDriver)
      m_pActiveDriver->SetBrightness(static_cast<int32_t>(level * nv_value(nv::quorIllumBrightnessScaler) / 100));
  }
  if (one_of(mode, {5, 6, 25, 30, 31, 35}))
    p.colourIndex = kColourAll;
  else if (mode == 13 || mode == 16)
    p.colourIndex = kColourGreen;
  else if (mode == 14 || mode == 17)
    p.colourIndex = kColourBlue;
  else
    p.colourIndex = kColourRed;
}

void CDisplay::AdvancePattern(uint32_t mode) {
  pattern_state_s& p = m_Pattern;
  const uint8_t count = PatternColourCount();
  if (one_of(mode, {5, 6, 24, 31, 36})) {
    ++p.stepCounter;
    p.colourIndex = kColourAll;
  } else if (mode == 12 || mode == 15) {
    p.stepCounter = 0;
    p.colourIndex = kColourRed;
  } else if (mode == 13 || mode == 16) {
    p.stepCounter = 0;
    p.colourIndex = kColourGreen;
  } else if (mode == 14 || mode == 17) {
    p.stepCounter = 0;
    p.colourIndex = kColourBlue;
  } else if (one_of(mode, {25, 30, 35})) {
    if (p.colourIndex == kColourAll) {
      ++p.stepCounter;
      p.colourIndex = kColourOff;
    } else {
      p.colourIndex = kColourAll;
    }
  } else if (mode == 2) {
    ++p.colourIndex;
    if (p.colourIndex == count)
      p.colourIndex = kColourOff;
    else if (p.colourIndex > count)
      p.colourIndex = kColourRed;
  } else {
    ++p.colourIndex;
    if (p.colourIndex >= count) {
      ++p.stepCounter;
      p.colourIndex = kColourRed;
    }
  }
}

void CDisplay::DrawTestPattern(uint32_t mode) {
  pattern_state_s& p = m_Pattern;
  CRender& render = m_pRenderRef ? *m_pRenderRef : g_render;
  if (!p.initialised) {
    p.initialised = 1;
    p.stepFrames = render.m_byFrameRate;
  }
  m_byPatternActive = 1;
  render.m_dwPatternMode = 1;

  PatternTiming(mode);
  if (mode != p.previousMode) {
    LeavePatternMode(p.previousMode);
    EnterPatternMode(mode);
    p.previousMode = mode;
  } else if (++p.frameCounter >= p.stepFrames) {
    p.frameCounter = 0;
    AdvancePattern(mode);
  }

  const uint32_t colour = PatternColour(p.colourIndex);
  if (mode != 1 && !p.beaconsSet) {
    p.beaconsSet = 1;
    m_byBeaconRequest = 1;
  }
  DrawPattern(mode, colour);
}

void CDisplay::DrawPattern(uint32_t mode, uint32_t colour) {
  pattern_state_s& p = m_Pattern;
  CSurface& s = pattern_surface(m_pRenderRef);
  CQ5DisplayDriver* q5 = line_driver(m_pSignDriver);
  const uint32_t L = vol_value(vol::dmsIllumNumBrightLevels) * nv_value(nv::quorIllumBrightnessScaler);
  bool brightness = true;

  switch (mode) {
    case 1:
      p.stepCounter = 0;
      m_dwDisplayState = STATE_START_MESSAGE;
      UpdateBrightness(false);
      s.Fill(0);
      EndModuleRevision();
      m_byBeaconRequest = nv_value(nv::currentBufferBeacon) ? 1 : 0;
      p.beaconsSet = 0;
      return;
    case 2:
    case 30:
    case 31:
      p.stepCounter = 0;
      s.Fill(colour);
      break;
    case 3:
      if (p.stepCounter > 7) p.stepCounter = 0;
      DrawColumnsEvery8(colour, p.stepCounter);
      break;
    case 4:
      if (p.stepCounter > 7) p.stepCounter = 0;
      DrawRowsEvery8(colour, p.stepCounter);
      break;
    case 5:
      p.stepCounter = 0;
      DrawAlphabet(colour);
      break;
    case 6:
      p.stepCounter = 0;
      DrawLineNumbers(colour);
      break;
    case 7:
      s.Fill(colour);
      PatternLevel(L / 1000);
      brightness = false;
      break;
    case 8:
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
      s.Fill(colour);
      break;
    case 9:
      s.Fill(colour);
      if (p.stepCounter > 20) p.stepCounter = 0;
      PatternLevel((L / 1000) * (p.stepCounter / 2));
      brightness = false;
      break;
    case 10:
      DrawAutoTest(colour);
      return;
    case 11:
      p.stepCounter = 0;
      DrawLogoTiles(colour);
      break;
    case 18:
    case 19:
    case 20:
    case 21:
    case 22:
    case 23:
      p.stepCounter = 0;
      if (mode == 18) DrawOddRows(colour);
      if (mode == 19) DrawEvenRows(colour);
      if (mode == 20) DrawOddColumns(colour);
      if (mode == 21) DrawEvenColumns(colour);
      if (mode == 22) DrawCheckerOdd(colour);
      if (mode == 23) DrawCheckerEven(colour);
      break;
    case 24:
      if (m_pSignDriver) m_pSignDriver->SetDiagnosticsEnabled(0);
      if (q5) q5->SendModuleMode6(1);
      m_byModuleTestActive = 1;
      brightness = false;
      break;
    case 25:
    case 35: {
      s.Fill(colour);
      const uint32_t errors = vol_value(vol::dmsPixelFailureMessageRows);
      if (errors && errors != p.lastErrorCount) {
        p.lastErrorCount = errors;
        monitor_printf_debug("DrawTestPattern: dimming level %d, %d failed pixels\n", static_cast<int>(p.stepCounter),
                             static_cast<int>(errors));
      } else if (!errors) {
        p.lastErrorCount = 0;
      }
      if (p.stepCounter > L / 100) p.stepCounter = 0;
      PatternLevel(p.stepCounter);
      brightness = false;
      break;
    }
    case 26:
    case 27:
    case 28:
      if (!p.moduleTestSent) {
        if (m_pSignDriver) m_pSignDriver->SetDiagnosticsEnabled(0);
        if (q5) q5->SetModuleTestMode(mode - 25, nv_value(nv::quorModuleID) & 0xFF);
        m_byModuleTestActive = 1;
        if (m_pSignDriver) m_pSignDriver->PixelTest(0);
        p.moduleTestSent = 1;
      }
      brightness = false;
      break;
    case 32:
      p.stepCounter = 0;
      s.Fill((m_byCustomRed >> 3) | ((m_byCustomGreen >> 3) << 5) | ((m_byCustomBlue >> 3) << 10));
      break;
    case 33:
      if (q5) q5->SendModuleModes14And15(1);
      brightness = false;
      break;
    case 34:
      if (q5) q5->SendModuleMode14(1);
      brightness = false;
      break;
    case 36:
      if (m_pSignDriver) m_pSignDriver->SetDiagnosticsEnabled(0);
      if (q5) q5->SendModuleMode20(1);
      m_byModuleTestActive = 1;
      brightness = false;
      break;
    default:  // 0, 29 and above 36: nothing
      p.stepCounter = 0;
      brightness = false;
      break;
  }
  if (brightness) UpdateBrightness(false);
}

void CDisplay::DrawAutoTest(uint32_t colour) {
  pattern_state_s& p = m_Pattern;
  CSurface& s = pattern_surface(m_pRenderRef);
  const uint32_t L = vol_value(vol::dmsIllumNumBrightLevels) * nv_value(nv::quorIllumBrightnessScaler);
  if (p.stepCounter >= p.autoPeriod) {
    p.colourIndex = kColourRed;
    colour = kRed;
    p.stepCounter = 0;
    switch (p.autoStep) {
      case 3: p.autoStep = 4; break;
      case 4: p.autoStep = 6; break;
      case 5: p.autoStep = 3; break;
      case 6: p.autoStep = 24; break;
      case 7: p.autoStep = 8; break;
      case 8: p.autoStep = 5; break;
      case 24:
        EndModuleRevision();
        p.autoStep = 7;
        break;
      default: break;
    }
  }
  switch (p.autoStep) {
    case 3: DrawColumnsEvery8(colour, p.stepCounter); break;
    case 4: DrawRowsEvery8(colour, p.stepCounter); break;
    case 5: DrawAlphabet(PatternColour(kColourAll)); break;
    case 6: DrawLineNumbers(PatternColour(kColourAll)); break;
    case 7:
      s.Fill(colour);
      PatternLevel(L / 1000);
      p.fullBrightnessSet = 0;
      return;
    case 8:
      s.Fill(colour);
      if (p.fullBrightnessSet) PatternLevel(L / 100);
      p.fullBrightnessSet = 1;
      return;
    case 24:
      if (m_pSignDriver) m_pSignDriver->SetDiagnosticsEnabled(0);
      if (CQ5DisplayDriver* q5 = line_driver(m_pSignDriver)) q5->SendModuleMode6(1);
      m_byModuleTestActive = 1;
      break;
    default:
      p.autoStep = 7;
      return;
  }
  UpdateBrightness(false);
}
