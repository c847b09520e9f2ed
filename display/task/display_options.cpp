// Requests that database objects bring to the display task when they
// change: the NTCIP pixel test, the private display mode, the option word
// and the HDLC station address. The display step calls each handler once
// for every raise of its event flag.
#include "database/objects.h"
#include "display/message/db_read.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_links.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/trace/trace.h"

hdlc_address_setter g_pfnSetHdlcAddress = nullptr;

namespace {

enum pixel_test_request : uint32_t {
  PIXEL_TEST_OTHER = 1,
  PIXEL_TEST_NO_ACTIVE = 2,
  PIXEL_TEST_TEST = 3,
  PIXEL_TEST_CLEAR_TABLE = 4,
};

// Bit value of mib_nv.quorSpecialFeatureSet that lets activations of
// priority 50 and up replace built-in permanent message 1.
constexpr uint32_t kLowPermanentPriority = 0x2;
// Steps between a test request and the start of the test.
constexpr uint8_t kPixelTestDelay = 2;

}  // namespace

void CDisplay::ProcessPixelTestActivation() {
  const uint32_t faces = m_dwFaceCount < FACES ? m_dwFaceCount : FACES;
  switch (vol_value(vol::pixelTestActivation)) {
    case PIXEL_TEST_OTHER:
      // The write raises the request again; the next pass finds 2.
      set_vol(vol::pixelTestActivation, PIXEL_TEST_NO_ACTIVE, DB_NOTIFY);
      break;
    case PIXEL_TEST_NO_ACTIVE:
      // Ends a test in progress; the end of the test starts the message
      // again. Without one the running message and the display mode stay.
      if (!m_byPixelTestRunning) break;
      for (uint32_t i = 0; i < faces; ++i) m_Faces[i].FinishPixelTest();
      break;
    case PIXEL_TEST_TEST:
    case PIXEL_TEST_CLEAR_TABLE: {
      const bool test = vol_value(vol::pixelTestActivation) == PIXEL_TEST_TEST;
      for (uint32_t i = 0; i < faces; ++i) {
        m_Faces[i].ClearAuxResults();
        m_Faces[i].ClearResults();
      }
      ClearPixelTestFailures();
      ClearRealtimeFailures();
      if (!test) {
        set_vol(vol::pixelTestActivation, PIXEL_TEST_NO_ACTIVE, DB_NOTIFY);
        break;
      }
      m_byPixelTestRunning = 1;
      if (post_office* router = m_Inbox.Router()) router->Publish(MSG_PERIPHERALS_ALL_OFF);
      m_byPixelTestCountdown = kPixelTestDelay;
      break;
    }
    default:  // 0 and unknown values
      break;
  }
}

void CDisplay::StartPixelTest() {
  const uint32_t faces = m_dwFaceCount < FACES ? m_dwFaceCount : FACES;
  for (uint32_t i = 0; i < faces; ++i) {
    monitor_printf("kick off pixel test on face:%s\n", m_Faces[i].Name());
    m_Faces[i].StartPixelTest();
  }
}

void CDisplay::OnDisplayModeChanged() {
  // The drawing of the new mode starts with the next frame step; the
  // lit-ratio cap is measured anew for it.
  m_dwDisplayState = STATE_TEST_PATTERN;
  m_dwCapFlags |= CAP_MEASURE;
}

void CDisplay::OnSpecialFeaturesChanged() {
  const bool low = (nv_value(nv::quorSpecialFeatureSet) & kLowPermanentPriority) != 0;
  set_vol(vol::permanentMessageRunTimePriority(0), low ? 50 : 255, DB_NOTIFY);
  ApplyTolerantModeChange();
}

void CDisplay::ApplyHdlcAddress() {
  if (g_pfnSetHdlcAddress) g_pfnSetHdlcAddress(static_cast<uint8_t>(nv_value(nv::quorhdlcAddress) & 0xFF));
}
