// The two channels that bring work to the display task once per step: the
// letters of its inbox and the request bits of the database's event flags.
#include "database/database.h"
#include "database/objects.h"
#include "display/message/db_read.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_lock.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t kAutoLockSteps = 9000;
constexpr uint32_t kFontRows = 20;

const task_letters_s kControlLetters = {MSG_DISPLAY_STOP, MSG_WDT_DISPLAY_START, "Suspending display task\n",
                                        "Resuming display task\n", "Display"};

bool local_or_override() {
  const uint32_t mode = vol_value(vol::dmsControlMode);
  return mode == 2 || mode == 5;
}

// The request bits, in the order they are served, with their handlers.
struct request_s {
  uint32_t bit;
  void (CDisplay::*handler)();
};

}  // namespace

void CDisplay::StateMachine_MessageHandler() {
  letter_s* letter = nullptr;
  while (m_Inbox.Receive(&letter)) {
    const bool stop = letter->Id() == MSG_DISPLAY_STOP;
    HandleLetter(letter);
    // A stop gave the letter back itself and ended the thread.
    if (stop) return;
    m_Inbox.Release(letter);
  }
  AutoLockCheck();
}

void CDisplay::HandleLetter(letter_s* letter) {
  post_office* router = m_Inbox.Router();
  switch (letter->Id()) {
    case MSG_POWER_LOST:
      if (m_pSignDriver) m_pSignDriver->m_byActive = 0;
      break;
    case MSG_POWER_RESTORED:
      if (m_pSignDriver) m_pSignDriver->m_byActive = 1;
      break;
    case MSG_CHG_NV95028:
      if (nv_value(nv::quorMessageTableMode) == 2) {
        m_wAutoLockCountdown = kAutoLockSteps;
        if (local_or_override()) set_vol(vol::dmsMaxChangeableMsg, 550, DB_NOTIFY);
      } else {
        m_wAutoLockCountdown = 0;
        set_vol(vol::dmsMaxChangeableMsg, 500, DB_NOTIFY);
      }
      break;
    case MSG_CONFIG_LOADED:
      CountPermanentMessages();
      break;
    case MSG_PIXEL_DIAG_OPTION:
      if (nv_value(nv::quorEnableRealTimePixelDiagnostics) == 0) set_vol_bytes(vol::quorFailedModuleMap, "", 0, DB_NOTIFY);
      for (uint32_t i = 0; i < m_dwFaceCount; ++i) m_Faces[i].ClearResults();
      ClearPixelTestFailures();
      break;
    case MSG_CHG_NV33624:
      m_byBrightnessReload = 1;
      m_dwBrightnessState = 0;
      LoadBrightnessTable();
      UpdateBrightness(false);
      break;
    case MSG_DISPLAY_STOP:
    case MSG_DISPLAY_SUSPEND:
    case MSG_DISPLAY_RESUME:
    case MSG_DISPLAY_STACK_REPORT: {
      // A suspended or ended display thread must not keep the others out.
      display_unlock unlock(this);
      HandleControlLetter(&m_Inbox, letter, kControlLetters);
      break;
    }
    case MSG_FONT_STATUS_CHANGED:
      ApplyFontStatusRequests();
      break;
    case MSG_ACTIVATION_WRITTEN:
      handle_activate_msg();
      break;
    case MSG_SIGN_TYPE_CHANGED: {
      if (router) router->Publish(MSG_WDT_DISPLAY_STOP);
      const uint32_t type = nv_value(nv::dmsSignType);
      if (type == 4 || type == 132) {
        set_vol(vol::numFonts, 1, 0);
        if (g_pDataBase) g_pDataBase->LoadFont("FW07X5_1_NEMA4.FNT", 0);
      } else {
        set_vol(vol::numFonts, 20, 0);
        if (g_pDataBase && g_pDataBase->IsFlashMode()) g_pDataBase->LoadDefaultFonts();
      }
      UpdateDriverInfo();
      UpdateSignDimensions();
      if (router) router->Publish(MSG_WDT_DISPLAY_START);
      break;
    }
    case MSG_CLEAR_PIXEL_RESULTS:
      for (uint32_t i = 0; i < m_dwFaceCount; ++i) m_Faces[i].ClearResults();
      ClearPixelTestFailures();
      break;
    case MSG_CLEAR_AUX_PIXEL_RESULTS:
      for (uint32_t i = 0; i < m_dwFaceCount; ++i) m_Faces[i].ClearAuxResults();
      ClearRealtimeFailures();
      break;
    case MSG_SPECIAL_FEATURES_CHANGED:
      ApplyBrightnessDefaults();
      break;
    case MSG_CHG_VOL17317:
      // Nothing switches the cap off again.
      if (vol_value(vol::quorPowerModeStatus) == 2) m_dwCapFlags |= CAP_ENABLED;
      break;
    case MSG_MODULE_INFO: {
      const uint32_t face = letter->payload[0] & 0xFF;
      if (face >= m_dwFaceCount) {
        monitor_printf("face does not exist\n");
        break;
      }
      // A long report of module records: activations go on meanwhile.
      display_unlock unlock(this);
      ModuleStatusReport(face);
      break;
    }
    default:  // MSG_RESET_SPI and anything else: nothing
      break;
  }
}

// The 550-message mode falls back after 15 minutes, or at once when the
// control mode leaves local and central override.
void CDisplay::AutoLockCheck() {
  if (nv_value(nv::quorMessageTableMode) == 2 && vol_value(vol::dmsMaxChangeableMsg) == 550 && !local_or_override())
    m_wAutoLockCountdown = 1;
  if (m_wAutoLockCountdown && --m_wAutoLockCountdown == 0) {
    monitor_printf("CDisplay::StateMachine_MessageHandler::auto locking config objects\n");
    set_nv(nv::quorMessageTableMode, 1, 0);
    set_vol(vol::dmsMaxChangeableMsg, 500, DB_NOTIFY);
  }
}

void CDisplay::CountPermanentMessages() {
  monitor_printf_debug("counting the number of permanent messages stored\n");
  uint32_t count = 2;
  for (uint32_t r = 500; r < 550; ++r)
    if (nv_value(nv::dmsMessageStatus(r)) == 4) ++count;
  set_vol(vol::dmsNumPermanentMsg, count, DB_NOTIFY);
}

void CDisplay::ApplyFontStatusRequests() {
  constexpr uint32_t kFlags = DB_NOTIFY | DB_NO_VALIDATE;
  for (uint32_t i = 0; i < kFontRows; ++i) {
    switch (nv_value(nv::fontStatus(i))) {
      case 7:  // modify request
        set_nv(nv::fontStatus(i), 2, kFlags);
        break;
      case 8:  // ready-for-use request
        set_nv(nv::fontStatus(i), 3, kFlags);
        if (g_pDataBase) g_pDataBase->UpdateFontVersionID(static_cast<int>(i));
        set_nv(nv::fontStatus(i), 4, kFlags);
        break;
      case 9:  // not-used request
        set_nv(nv::fontStatus(i), 1, kFlags);
        break;
      case 10:  // unmanaged request
        set_nv(nv::fontStatus(i), 11, kFlags);
        break;
      default:
        break;
    }
  }
}

void CDisplay::ServiceRequests() {
  static const request_s kRequests[] = {
      {0x800, &CDisplay::ProcessMessageTable},
      {0x400, &CDisplay::ProcessGraphicTable},
      {0x4000, &CDisplay::ProcessActivateRequest},
      {0x20000, nullptr},  // brightness
      {0x200000, &CDisplay::ProcessPixelTestActivation},
      {0x800000, &CDisplay::OnDisplayModeChanged},
      {0x200, &CDisplay::HandleMemoryManagement},
      {0x20000000, &CDisplay::ApplyHdlcAddress},
      {0x100000, &CDisplay::OnSpecialFeaturesChanged},
  };
  for (const request_s& r : kRequests) {
    uint32_t actual = 0;
    if (os_event_get(&g_database_flags, r.bit, OS_EVENT_AND_CLEAR, &actual, OS_NO_WAIT) != OS_SUCCESS) continue;
    if (r.handler)
      (this->*r.handler)();
    else
      UpdateBrightness(false);
  }
}

// Sizes in millimetres; every division is an integer one.
void CDisplay::UpdateSignDimensions() {
  const uint32_t type = nv_value(nv::dmsSignType);
  const uint32_t v_pitch = nv_value(nv::vmsVerticalPitch);
  const uint32_t h_pitch = nv_value(nv::vmsHorizontalPitch);
  uint32_t v_border, h_border;
  if (type == 4 || type == 5) {
    v_border = v_pitch == 44 ? 229 : 305;
    h_border = 610;
  } else {
    v_border = h_border = 305;
  }
  set_nv(nv::dmsVerticalBorder, v_border, DB_NOTIFY);
  set_nv(nv::dmsHorizontalBorder, h_border, DB_NOTIFY);

  const uint32_t height = nv_value(nv::vmsSignHeightPixels);
  const uint32_t width = nv_value(nv::vmsSignWidthPixels);
  const uint32_t char_height = nv_value(nv::vmsCharacterHeightPixels);
  const uint32_t char_width = nv_value(nv::vmsCharacterWidthPixels);
  uint32_t a = 2, b = 2;
  uint32_t sign_width;
  if (type == 4) {
    if (char_height) a = height / char_height + 1;
    // No whole character: no gap columns.
    if (char_width) b = width / char_width ? (width / char_width) * 2 - 2 : 0;
    sign_width = h_pitch * (width + b) + h_border * 2;
  } else {
    if (type == 5 && char_height) a = height / char_height + 1;
    sign_width = h_pitch * width + h_border * 2;
  }
  set_nv(nv::dmsSignWidth, sign_width, DB_NOTIFY);
  set_nv(nv::dmsSignHeight, v_pitch * height + v_border * a, DB_NOTIFY);
}
