#include "display/task/display.h"

#include <cstring>

#include "board_io.h"
#include "database/database.h"
#include "database/files/file_config.h"
#include "database/objects.h"
#include "display/core/core.h"
#include "display/core/diagnostics.h"
#include "display/core/module_link.h"
#include "display/driver/frame_keeping_driver.h"
#include "display/driver/q5_display_driver.h"
#include "display/frame/frame.h"
#include "display/message/db_read.h"
#include "display/multi/multi_hooks.h"
#include "display/render/render.h"
#include "display/render/render_adapter.h"
#include "display/render/render_hooks.h"
#include "display/task/display_db.h"
#include "display/task/display_lock.h"
#include "display/task/display_peripherals.h"
#include "frame/can/can_db_driver.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

CDisplay* g_pDisplay = nullptr;

namespace {

const uint32_t kSubscriptions[] = {MSG_DISPLAY_STOP,
                                   MSG_DISPLAY_SUSPEND,
                                   MSG_DISPLAY_RESUME,
                                   MSG_DISPLAY_STACK_REPORT,
                                   MSG_CHG_NV95028,
                                   MSG_CONFIG_LOADED,
                                   MSG_PIXEL_DIAG_OPTION,
                                   MSG_CLEAR_PIXEL_RESULTS,
                                   MSG_CLEAR_AUX_PIXEL_RESULTS,
                                   MSG_POWER_LOST,
                                   MSG_POWER_RESTORED,
                                   MSG_CHG_NV33624,
                                   MSG_FONT_STATUS_CHANGED,
                                   MSG_ACTIVATION_WRITTEN,
                                   MSG_SIGN_TYPE_CHANGED,
                                   MSG_SPECIAL_FEATURES_CHANGED,
                                   MSG_CHG_VOL17317,
                                   MSG_MODULE_INFO,
                                   MSG_RESET_SPI,
                                   0};

// The board register whose bit 2 the reload sets while the sign is under
// local control.
constexpr uint32_t kLocalControlRegister = 0xF0500022;
constexpr uint32_t kPrimary = 0;

// The render adapter's view of the faces, and the frame step of the task
// whose faces they are.
CDisplay* g_pHooked = nullptr;

const disp::face_description* face_description_of(const disp::face* f) { return f ? f->Description() : nullptr; }
void frame_step() {
  if (g_pHooked) g_pHooked->FrameStep();
}
void count_message_time() {
  if (g_pHooked) g_pHooked->CountMessageTime();
}

}  // namespace

// Constructed among the start-up globals: the renderer may not exist yet,
// so only its address is taken here.
CDisplay::CDisplay(post_office* router)
    : CTaskBase("Display", STACK_SIZE, 2, 1, 150, 10),
      m_pSignDriver(&g_frame_keeping_driver),
      m_Inbox(router, Events(), FLAG_LETTER, Thread()),
      m_pCore(&g_display_core),
      m_pModuleBus(g_display_module_link.bus),
      m_pModuleStream(g_display_module_link.stream),
      m_pDiagnostics(g_display_module_link.diagnostics),
      m_pEngine(&g_render_adapter) {
  m_dwIllumControlAtStart = nv_value(nv::dmsIllumControl);
  g_pDisplay = this;
  // A restored module type brings its default colours.
  g_config_module_id_restored = [] {
    if (g_pDisplay) g_pDisplay->ReconfigureColours();
  };
}

CDisplay::~CDisplay() {
  // The faces leave the core before they go; they close themselves.
  for (uint32_t i = 0; i < m_dwFaceCount && i < FACES; ++i)
    if (m_pCore) m_pCore->DetachFace(&m_Faces[i]);
  for (disp::face& f : m_Faces) f.Close();
  if (m_bActivateLockCreated) os_mutex_delete(&m_ActivateLock);
  m_bActivateLockCreated = false;
  if (m_pRenderRef) m_pRenderRef->Surface().Free();
  if (g_pHooked == this) {
    g_pHooked = nullptr;
    g_render_hooks.frame_step = nullptr;
    g_render_hooks.count_message_time = nullptr;
  }
  if (g_pDisplay == this) {
    g_pDisplay = nullptr;
    g_config_module_id_restored = nullptr;
  }
}

// ------------------------------------------------------------------ task

void CDisplay::TaskEntry(ULONG) {
  if (g_pDisplay) g_pDisplay->Run("Display Task", g_pDisplay->m_Inbox.Router(), MSG_WDT_DISPLAY_START);
}

void CDisplay::TimerFunction(ULONG) {
  if (g_pDisplay) g_pDisplay->TimerExpired();
}

int CDisplay::Create(TX_BYTE_POOL* pool) {
  // A new kernel: its objects are made anew. The display lock is made
  // here already, so that the step and the other threads' entries are
  // serialised from the first step on, registered faces or not.
  m_bActivateLockCreated = false;
  m_pLockOwner = nullptr;
  m_dwLockDepth = 0;
  int result = CTaskBase::Create(pool, TaskEntry, TimerFunction);
  if (result && os_mutex_create(&m_ActivateLock, "Activate Msg", 1) == OS_SUCCESS) m_bActivateLockCreated = true;
  if (result) m_dwPreviousStepTick = StartTime();
  SetRefreshRate(g_render.m_byFrameRate);
  return result;
}

int CDisplay::Subscribe() { return m_Inbox.Subscribe(kSubscriptions); }

// The lines start from a known state, and rows a power cut left half
// validated are finished before managers and schedules use the table.
void CDisplay::OnStart() {
  ResetSignLines();
  ProcessMessageTable();
}

void CDisplay::ResetSignLines() {
  if (m_pSignDriver) m_pSignDriver->ResetLines(-1);
}

void CDisplay::InstallRenderHooks() {
  g_pHooked = this;
  g_render_hooks.face_description = face_description_of;
  g_render_hooks.frame_step = frame_step;
  g_render_hooks.count_message_time = count_message_time;
  g_multi_hooks.field_device = display_field_device;
}

// A late step is reported once and the timer re-aligned to it.
void CDisplay::CheckStepTiming() {
  const uint32_t now = tx_time_get();
  if (now != m_dwPreviousStepTick + m_uTimerPeriod) {
    monitor_printf("warning %s ticks:%d, desired %d\n", Name(), static_cast<int>(now - m_dwPreviousStepTick),
                   static_cast<int>(m_uTimerPeriod));
    ++m_uLateSteps;
    os_timer_deactivate(Timer());
    os_timer_change(Timer(), m_uTimerPeriod, m_uTimerPeriod, nullptr);
    os_timer_activate(Timer());
  }
  m_dwPreviousStepTick = now;
}

int CDisplay::Process() {
  CTaskBase::Process();
  // The step owns the parser, the renderer and the running message: other
  // threads' activations wait until it is done.
  display_lock lock(this);

  uint32_t actual = 0;
  if (os_event_get(&g_database_flags, DB_FLAG_DISPLAY_CONFIG, OS_EVENT_AND_CLEAR, &actual, OS_NO_WAIT) ==
      OS_SUCCESS) {
    monitor_printf("load new display configuration\n");
    ReloadDisplayConfiguration();
    UpdateTemperatureSensor();
    os_sleep(10);
  }

  if (m_byReprogramRequested) {
    m_byReprogramRequested = 0;
    m_dwDisplayState = STATE_REPROGRAM;
    RunReprogram();
  }

  CheckStepTiming();

  if (m_dwBrightLevelCount == 0) {
    m_byBrightnessReload = 1;
    m_dwBrightnessState = 0;
    LoadBrightnessTable();
  }

  WriteModuleBusOutput();

  if (m_dwDisplayState != STATE_HALTED && m_dwDisplayState != STATE_REPROGRAM) {
    if (!m_byPixelTestRunning && m_pDiagnostics && m_pDiagnostics->AuxResultsReady()) PollModules();

    if (m_dwCapFlags & CAP_ENABLED) {
      if (m_byCapRaiseDelay) {
        --m_byCapRaiseDelay;
      } else if (m_dwBrightnessCap != m_dwLitCap) {
        m_dwBrightnessCap = m_dwLitCap;
        monitor_printf("set max dimming to %d\n", static_cast<int>(m_dwBrightnessCap));
        UpdateBrightness(true);
      }
    }

    if (m_byPixelTestCountdown) {
      PixelTestCountdown();
    } else if (m_pActiveDriver && m_pRenderRef) {
      CSurface& surface = m_pRenderRef->Surface();
      const uint32_t s = m_dwDisplayState;
      const bool off_or_blank = s == STATE_BLANK || s == STATE_PAGE_OFF;
      const bool dark = surface.Pixels() && surface.Pixels()[0] == 0;
      if ((dark && off_or_blank) || (!m_pRunningMulti && off_or_blank) ||
          (m_pRunningMulti && (s == STATE_PAGE_ON || s == STATE_PAGE_OFF || s == STATE_TEST_PATTERN ||
                               s == STATE_HALTED)))
        m_pActiveDriver->WriteFrame(&surface);
    }

    if (!m_byPixelTestRunning && nv_value(nv::quorEnableRealTimePixelDiagnostics)) {
      if (m_byRealtimeHoldoff) {
        --m_byRealtimeHoldoff;
      } else {
        if (!m_byModuleTestActive) m_Faces[kPrimary].ScanModules();
        if (++m_dwRealtimeCounter >= 50) {
          StoreRealtimeResults();
          m_dwRealtimeCounter = 0;
        }
      }
    }

    if (!m_byPixelTestRunning) {
      if (m_dwFontServiceCounter++ >= 50) {
        ServiceFontStatus();
        m_dwFontServiceCounter = 0;
      }
      CheckFailedPixels();
    }
  }

  ServiceRequests();
  StateMachine_MessageHandler();
  if (m_dwFaceCount > FACES) m_dwFaceCount = FACES;
  ScanRenderedFrames();

  for (uint32_t i = 0; i < m_dwFaceCount; ++i) {
    disp::face& f = m_Faces[i];
    UpdateFaceResults(i);
    if (std::strcmp(f.Name(), "primary") == 0) {
      disp::frame_engine* engine = f.Description() ? f.Description()->engine : nullptr;
      disp::frame* frame = nullptr;
      if (engine && engine->GetFrame(&frame)) MirrorFrameToPanel(frame);
      disp::diagnostics* diag = f.Description() ? f.Description()->diag : nullptr;
      disp::info* info = nullptr;
      if (diag && diag->TakeChangeFlag() && diag->GetBoardInfo(&info)) ReportBoardInfo(i, info);
    }
    f.Refresh();
    if (i == 0 && (m_dwCapFlags & CAP_ENABLED)) {
      const uint32_t t = LitRatioCap(&f);
      if ((m_dwCapFlags & CAP_MEASURE) && t > m_dwLitCap) {
        m_byCapRaiseDelay = 1;
        m_dwLitCap = t;
      } else if (t <= m_dwLitCap) {
        m_byCapRaiseDelay = 0;
        m_dwLitCap = t;
      }
      m_dwCapFlags &= ~CAP_MEASURE;
    }
  }
  return 0;
}

// ------------------------------------------------- faces and configuration

const module_type_row* CDisplay::ReadModuleColourDepth() { return find_module_type(nv_value(nv::quorModuleID)); }

void CDisplay::RaiseToWholeModules(disp::face_description* d) {
  const uint32_t mh = d->module_height, mw = d->module_width;
  if (!mh || !mw) return;
  uint32_t h = d->height ? d->height : mh;
  uint32_t w = d->width ? d->width : mw;
  h = (h + mh - 1) / mh * mh;
  w = (w + mw - 1) / mw * mw;
  // Raised past what the description holds: the largest whole number of
  // modules that fits.
  if (h > 0xFFFF) h = 0xFFFF / mh * mh;
  if (w > 0xFFFF) w = 0xFFFF / mw * mw;
  d->height = static_cast<uint16_t>(h);
  d->width = static_cast<uint16_t>(w);
  d->module_rows = static_cast<uint8_t>(h / mh);
}

uint8_t CDisplay::RegisterFaces(uint16_t height, uint16_t width, uint8_t colourCode) {
  InstallRenderHooks();
  CRender& render = g_render;
  const uint32_t module = nv_value(nv::quorModuleID);
  const module_type_row* row = find_module_type(module);

  for (uint32_t i = 0; i < m_dwFaceCount && i < FACES; ++i) {
    if (m_pCore) m_pCore->DetachFace(&m_Faces[i]);
    m_Faces[i].Close();
  }
  m_dwFaceCount = 0;
  if (m_pModuleBus) {
    if (m_pCore) m_pCore->DetachBus(m_pModuleBus);
    m_pModuleBus->Close();
  }

  disp::face_description& d = m_FaceDesc[m_dwFaceCount];
  d = disp::face_description();
  d.face_number = static_cast<uint8_t>(m_dwFaceCount);
  std::strncpy(d.face_name, "primary", sizeof d.face_name - 1);
  d.height = height;
  d.width = width;
  d.origin_x = d.origin_y = 0;
  d.rate = render.m_byFrameRate;
  d.module_type = static_cast<uint16_t>(module);
  d.module_class = module_type_class(module);
  d.module_height = row->height;
  d.module_width = row->width;
  RaiseToWholeModules(&d);
  ComputeLineLengths(&d);
  uint32_t total = 0;
  for (uint8_t n : d.modules_per_row) total += n;
  d.total_modules = static_cast<uint16_t>(total);
  d.module_type_flag = static_cast<uint8_t>(((row->flags & MODULE_FLAG_PIXEL_TEST_60) >> 1) + 1);
  d.colour_code = colourCode;
  d.depth = row->colour_type;
  std::strncpy(d.bus_name, MODULE_BUS_NAME, sizeof d.bus_name - 1);
  d.diag = m_pDiagnostics;
  d.engine = m_pEngine;
  ++m_dwFaceCount;

  if (m_pModuleBus && m_pModuleStream) {
    m_pModuleBus->Open(MODULE_BUS_NAME, m_pModuleStream);
    if (m_pCore) m_pCore->AttachBus(m_pModuleBus);
  }
  for (uint32_t i = 0; i < m_dwFaceCount; ++i) {
    m_Faces[i].Open(&m_FaceDesc[i]);
    if (m_pCore && m_pCore->AttachFace(&m_Faces[i]))
      monitor_printf("\tsuccessfully registered %s display face\n", m_FaceDesc[i].face_name);
  }
  // The module bus becomes the CAN controller-bus driver's receiver.
  if (can_db_driver* line = CQ5DisplayDriver::LineDriver())
    if (can_db_receiver* receiver = dynamic_cast<can_db_receiver*>(m_pModuleBus)) line->SetReceiver(receiver);

  const disp::face_description& p = m_FaceDesc[kPrimary];
  set_nv(nv::vmsSignHeightPixels, p.height, DB_NOTIFY);
  set_nv(nv::vmsSignWidthPixels, p.width, DB_NOTIFY);

  // Made once: a reload must not make a second mutex under the holder of
  // the first.
  if (!m_bActivateLockCreated && os_mutex_create(&m_ActivateLock, "Activate Msg", 1) == OS_SUCCESS)
    m_bActivateLockCreated = true;

  uint32_t out_height = p.height, out_width = p.width;
  if (module == 106) {
    out_height = p.height + p.height / 8;
    out_width = p.width + p.width / 5;
  }

  uint8_t result = 0;
  if (m_pSignDriver) m_pSignDriver->m_byConfiguring = 1;
  render.SizeSurface(p.height, p.width, colourCode);
  m_pActiveDriver = m_pSignDriver;
  const int32_t configured =
      m_pSignDriver ? m_pSignDriver->Configure(static_cast<int32_t>(out_height), static_cast<int32_t>(out_width),
                                               static_cast<int32_t>(module))
                    : 0;
  if (!configured) {
    set_vol(vol::controllerErrorStatus, vol_value(vol::controllerErrorStatus) | 0x10, DB_NOTIFY);
    set_vol(vol::shortErrorStatus, vol_value(vol::shortErrorStatus) | 0x100, DB_NOTIFY);
    m_pActiveDriver = nullptr;
  } else {
    const uint32_t errors = vol_value(vol::controllerErrorStatus) & ~0x10u;
    set_vol(vol::controllerErrorStatus, errors, DB_NOTIFY);
    if (errors == 0) set_vol(vol::shortErrorStatus, vol_value(vol::shortErrorStatus) & ~0x100u, DB_NOTIFY);
    m_pSignDriver->SetDiagnosticsEnabled(nv_value(nv::quorEnableRealTimePixelDiagnostics) != 0);
    const uint32_t most = m_pSignDriver->GetMaxFrameRate();
    if (most < render.m_byFrameRate) SetRefreshRate(static_cast<uint8_t>(most));
    result = render.m_byFrameRate;
  }
  if (m_pSignDriver) m_pSignDriver->m_byConfiguring = 0;
  m_LcdDriver.Configure(p.height, p.width, 0);

  m_pParserRef = &m_Parser;
  m_pRenderRef = &render;
  m_Message.m_pSurface = &render.Surface();
  for (window_s& w : m_Windows) w = {0, render.Surface().Width(), 0, render.Surface().Height()};

  UpdateBrightness(false);
  m_dwDisplayState = nv_value(nv::quorDisplayMode) == 1 ? STATE_BLANK : STATE_TEST_PATTERN;
  UpdateDriverInfo();
  return result;
}

void CDisplay::ReloadDisplayConfiguration() {
  m_byRealtimeHoldoff = 200;
  RegisterFaces(static_cast<uint16_t>(nv_value(nv::vmsSignHeightPixels)),
                static_cast<uint16_t>(nv_value(nv::vmsSignWidthPixels)), ReadModuleColourDepth()->colour_code);
  m_dwDisplayState = nv_value(nv::quorDisplayMode) == 1 ? STATE_START_MESSAGE : STATE_TEST_PATTERN;
  if (vol_value(vol::dmsControlMode) == 2) reg_write8(kLocalControlRegister, reg_read8(kLocalControlRegister) | 0x04);
  if (m_pFrontPanel) RedrawFrontPanelPage();
  UpdateDriverInfo();
  ClearUnusedLineLengths();
}

void CDisplay::ClearUnusedLineLengths() {
  for (uint32_t k = 0; k < 9; ++k)
    if (k + 1 > m_FaceDesc[kPrimary].module_rows) set_nv(nv::quorLineLength(k), 0, DB_NOTIFY);
}

// ------------------------------------------------------ mirror and cap

void CDisplay::MirrorFrameToPanel(disp::frame* frame) {
  if (!frame) return;
  if (!m_pFrontPanel) m_pFrontPanel = FindFrontPanel();
  if (!m_pFrontPanel) return;
  const uint8_t mode = FrontPanelFrameViewMode();
  if (!mode) {
    // The next enabling shows a frame at once.
    m_dwMirrorCounter = 500;
    return;
  }
  if (++m_dwMirrorCounter >= 19) {
    m_LcdDriver.SetMode(mode);
    m_LcdDriver.ShowFrame(frame);
    m_dwMirrorCounter = 0;
  }
}

uint8_t CDisplay::LitRatioCap(disp::face* f) {
  const disp::face_description* d = f ? f->Description() : nullptr;
  const uint32_t area = d ? static_cast<uint32_t>(d->height) * d->width : 0;
  if (!area) return 255;
  disp::frame* frame = nullptr;
  if (!d->engine || !d->engine->GetFrame(&frame) || !frame) return 255;
  uint32_t p = static_cast<uint32_t>(static_cast<uint64_t>(frame->LitCount()) * 100 / area);
  if (p == 0) p = 1;

  uint32_t level;
  if (nv_value(nv::quorSpecialFeatureSet) & 0x200) {
    if (vol_value(vol::powerSource) == 7 || LowPowerModeActive()) {
      level = 0;
      const uint32_t levels = nv_value(nv::quorPixelDimLevels);
      for (uint32_t k = 0; k < levels && k < 5; ++k)
        if (nv_value(nv::quorPixelDimPercent(k)) > p) {
          const uint32_t b = nv_value(nv::quorPixelDimBrightness(k));
          if (b > level) level = b;
        }
    } else {
      level = 100;
    }
  } else {
    level = nv_value(nv::quorPixelDimPercent(0)) * 100 / p;
  }
  if (level == 0) level = 1;
  if (level > 100) level = 100;
  return static_cast<uint8_t>(level * 255 / 100);
}
