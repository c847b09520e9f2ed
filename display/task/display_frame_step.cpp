// The frame step: what the renderer draws into the sign's surface for the
// next frame output (blank, a message's pages by their on and off times,
// test patterns, module reprogramming), and the running message's time.
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "display/codes/msg_codes.h"
#include "display/message/db_read.h"
#include "display/render/render.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_lock.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t kGraphicRows = 50;
constexpr uint32_t kFontRows = 20;
constexpr uint8_t kInUse = 5;
constexpr uint8_t kReadyForUse = 4;
constexpr uint32_t kForever = 65535;
constexpr uint8_t kSourceEndDuration = 14;
constexpr uint32_t kRequestSlot = 6;

}  // namespace

void CDisplay::StartMessage(const uint8_t* text, uint32_t length, bool blank) {
  CRender* render = m_pRenderRef ? m_pRenderRef : &g_render;
  if (!m_Message.m_pSurface) m_Message.m_pSurface = &render->Surface();
  m_byPageCount = render->CountPages(&m_Parser, text, length);
  m_Message.m_defaults.Load();
  render->Load(&m_Parser, &m_Message, text, length);
  m_pRunningMulti = m_Message.m_text;
  if (nv_value(nv::quorDisplayMode) != 1) set_nv(nv::quorDisplayMode, 1, 0);
  m_dwDisplayState = blank ? STATE_BLANK : STATE_START_MESSAGE;
}

void CDisplay::SaveRenderState(CMessage* m) {
  if (!m) return;
  render_state_s& s = m_SavedRenderState;
  s.flash_mode = m->m_byFlashMode;
  std::memcpy(s.line_justification, m->m_byLineJustification, sizeof s.line_justification);
  std::memcpy(s.page_justification, m->m_byPageJustification, sizeof s.page_justification);
  s.font = m->m_byFont;
  s.foreground = m->m_dwForeground;
  s.text_background = m->m_dwTextBackground;
  s.char_spacing = m->m_nCharSpacing;
  s.page_background = m->m_dwPageBackground;
}

void CDisplay::RestoreRenderState(CMessage* m) {
  if (!m) return;
  const render_state_s& s = m_SavedRenderState;
  m->m_byFlashMode = s.flash_mode;
  std::memcpy(m->m_byLineJustification, s.line_justification, sizeof s.line_justification);
  std::memcpy(m->m_byPageJustification, s.page_justification, sizeof s.page_justification);
  m->m_byFont = s.font;
  m->m_dwForeground = s.foreground;
  m->m_dwTextBackground = s.text_background;
  m->m_nCharSpacing = s.char_spacing;
  m->m_dwPageBackground = s.page_background;
  std::memset(m->m_byPageJustificationGiven, 0, sizeof m->m_byPageJustificationGiven);
}

void CDisplay::ReleaseGraphicsAndFonts() {
  for (uint32_t g = 0; g < kGraphicRows; ++g)
    if (nv_value(nv::dmsGraphicStatus(g)) == kInUse)
      set_nv(nv::dmsGraphicStatus(g), kReadyForUse, DB_NOTIFY | DB_NO_VALIDATE);
  for (uint32_t f = 0; f < kFontRows; ++f)
    if (nv_value(nv::fontStatus(f)) == kInUse) set_nv(nv::fontStatus(f), kReadyForUse, DB_NOTIFY | DB_NO_VALIDATE);
}

void CDisplay::PageTiming() {
  CRender* render = m_pRenderRef ? m_pRenderRef : &g_render;
  const uint32_t rate = render->m_byFrameRate;
  m_dwOffTicks = rate * m_Message.m_byPageOff / 10;
  m_dwOnTicks = rate * m_Message.m_byPageOn / 10;
  render->m_byAttribute2 = m_Message.m_byPageOff;
  render->m_byAttribute1 = m_Message.m_byPageOn;
  if (m_dwFaceCount > 1) {
    m_dwOffTicks *= 2;
    m_dwOnTicks *= 2;
  }
  if (m_dwOnTicks) --m_dwOnTicks;
  m_dwDisplayState = m_dwOnTicks ? STATE_PAGE_ON : STATE_PAGE_OFF;
}

namespace {

// Draws the first page of a message just loaded or restarted. The parser
// moves its next-page start only when it steps to a page, so the first
// page is drawn by stepping to it: redrawing it in place would leave the
// next page change on page 1 again, and page 1 would be shown twice.
bool draw_first_page(CRender* render, CParser* parser, CMessage* m) {
  if (m->m_dwTextLength == 0) return render->CurrentPage(parser, m);
  const bool drawn = render->NextPage(parser, m);
  m->m_byShownPage = 0;
  return drawn;
}

}  // namespace

void CDisplay::FrameStep() {
  CRender* render = m_pRenderRef ? m_pRenderRef : &g_render;
  CSurface& surface = render->Surface();
  CParser* parser = &m_Parser;

  switch (m_dwDisplayState) {
    case STATE_TEST_PATTERN:
      surface.Fill(0);
      DrawTestPattern(nv_value(nv::quorDisplayMode));
      break;

    case STATE_HALTED:
      if (!m_byPixelTestRunning) m_dwDisplayState = STATE_START_MESSAGE;
      break;

    case STATE_BLANK:
      surface.Fill(0);
      render->Load(parser, &m_Message, nullptr, 0);
      set_vol(vol::statMultiFieldRows, 0, 0);
      ReleaseGraphicsAndFonts();
      break;

    case STATE_START_MESSAGE:
      m_dwCapFlags |= CAP_MEASURE;
      m_byPatternActive = 0;
      render->m_dwPatternMode = 0;
      set_nv(nv::quorDisplayMode, 1, 0);
      set_vol_bytes(vol::quorBlankedMessage, "", 0, 0);
      ReleaseGraphicsAndFonts();
      m_Message.Reset(0);
      m_Message.ApplyDefaults();
      m_Message.m_byFlashMode = 0;
      SaveRenderState(&m_Message);
      m_Message.m_byShownPage = 0;
      m_wSavedPage = 0;
      set_vol(vol::statMultiFieldRows, 0, 0);
      if (!draw_first_page(render, parser, &m_Message)) {
        m_dwDisplayState = STATE_BLANK;
        monitor_printf("ERROR PARSING FRAME\n");
        break;
      }
      PageTiming();
      break;

    case STATE_PAGE_ON:
      RestoreRenderState(&m_Message);
      m_Message.m_byShownPage = static_cast<uint8_t>(m_wSavedPage);
      render->CurrentPage(parser, &m_Message);
      // A single page without an off time is shown without end.
      if (m_byPageCount == 1 && (!m_Message.m_byPageTimeGiven || m_dwOffTicks == 0)) break;
      if (m_dwOnTicks && --m_dwOnTicks == 0) m_dwDisplayState = STATE_PAGE_OFF;
      break;

    case STATE_PAGE_OFF:
      surface.Fill(0);
      if (m_dwOffTicks > 0) {
        --m_dwOffTicks;
        break;
      }
      if (m_byPageCount == 1) {
        m_Message.Reset(1);  // the flash phase goes on
        SaveRenderState(&m_Message);
      } else {
        SaveRenderState(&m_Message);
        m_Message.Reset(0);
        RestoreRenderState(&m_Message);
      }
      m_wSavedPage = m_Message.m_byShownPage;
      if (!render->NextPage(parser, &m_Message)) {
        // The last page was shown: from the first again.
        m_Message.m_byFlashMode = 0;
        if (m_byPageCount != 1) m_Message.Reset(0);
        m_Message.m_byShownPage = 0;
        m_wSavedPage = 0;
        render->Restart(parser, &m_Message);
        SaveRenderState(&m_Message);
        draw_first_page(render, parser, &m_Message);
      }
      render->m_dwPatternMode = m_byPatternActive;
      PageTiming();
      break;

    case STATE_REPROGRAM:
      RunReprogram();
      break;

    default:
      break;
  }
}

void CDisplay::CountMessageTime() {
  const uint32_t t = nv_value(nv::dmsMessageTimeRemaining);
  const uint32_t now = global_time();
  if (t == kForever) {
    m_dwTimeRemainingSeen = kForever;
    return;
  }
  if (t == 0) {
    if (nv_value(nv::dmsMsgSourceMode) != kSourceEndDuration) {
      set_nv(nv::dmsMessageTimeRemaining, 0, DB_NOTIFY);
      ActivateEndDurationMessage();
    }
    return;
  }
  if (m_dwTimeRemainingSeen != t || m_dwTimeRemainingMark > now) {
    // A new or changed time starts counting now.
    m_dwTimeRemainingMark = now;
    m_dwTimeRemainingSeen = t;
    return;
  }
  const uint32_t elapsed = now - m_dwTimeRemainingMark;
  const uint32_t minutes = elapsed / 60;
  if (minutes >= m_dwTimeRemainingSeen) {
    set_nv(nv::dmsMessageTimeRemaining, 0, DB_NOTIFY);
    ActivateEndDurationMessage();
  } else if (minutes) {
    m_dwTimeRemainingSeen -= minutes;
    set_nv(nv::dmsMessageTimeRemaining, m_dwTimeRemainingSeen, DB_NOTIFY);
    // The seconds of the unfinished minute still count.
    m_dwTimeRemainingMark = now - elapsed % 60;
  }
}

void CDisplay::ActivateEndDurationMessage() {
  uint32_t length = 0;
  const uint8_t* bytes = nv_bytes(nv::dmsEndDurationMessage, &length);
  CMsgIDCode id;
  if (!id.Decode(bytes, length)) return;
  CMsgActivationCode code;
  code.m_wDuration = 65535;
  code.m_byPriority = 255;
  code.m_byMemoryType = id.m_byMemoryType;
  code.m_wMessageNumber = id.m_wMessageNumber;
  code.m_wCRC = id.m_wCRC;
  const uint8_t loopback[4] = {127, 0, 0, 1};
  std::memcpy(code.m_bySource, loopback, sizeof loopback);
  code.Encode();
  set_vol(vol::activationSlotSourceMode(kRequestSlot), kSourceEndDuration, DB_NOTIFY);
  set_vol(vol::activationSlotReason(kRequestSlot), 2, DB_NOTIFY);
  set_vol_bytes(vol::activationSlotCode(kRequestSlot), code.m_encoded, MSG_ACTIVATION_CODE_SIZE, DB_NOTIFY);
}

void CDisplay::RequestBlankMessage(uint8_t sourceMode, uint8_t reason) {
  CMsgActivationCode code;
  code.m_wDuration = 65535;
  code.m_byPriority = 255;
  code.m_byMemoryType = 7;
  code.m_wMessageNumber = 1;
  code.m_wCRC = 0;
  std::memset(code.m_bySource, 0, sizeof code.m_bySource);
  code.Encode();
  set_vol(vol::activationSlotSourceMode(kRequestSlot), sourceMode, DB_NOTIFY);
  set_vol(vol::activationSlotReason(kRequestSlot), reason, DB_NOTIFY);
  set_vol_bytes(vol::activationSlotCode(kRequestSlot), code.m_encoded, MSG_ACTIVATION_CODE_SIZE, DB_NOTIFY);
}

void CDisplay::RunReprogram() {
  set_nv(nv::quorDisplayMode, 1, 0);
  RequestBlankMessage(2, 2);
  if (post_office* router = m_Inbox.Router()) {
    router->Publish(MSG_WDT_DISPLAY_STOP);
    router->Publish(MSG_PERIPHERALS_DISABLE);
  }
  {
    // Programming takes minutes and needs neither parser nor message:
    // activations are not held up meanwhile.
    display_unlock unlock(this);
    os_sleep(100);
    ReprogramModules();
    // The reprogrammed modules start afresh.
    ResetSignLines();
  }
  if (post_office* router = m_Inbox.Router()) {
    router->Publish(MSG_PERIPHERALS_ENABLE);
    router->Publish(MSG_WDT_DISPLAY_START);
  }
  m_dwDisplayState = STATE_BLANK;
}
