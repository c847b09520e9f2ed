#include "panel/lcd_manager.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "comm/ports.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/letter.h"
#include "frame/os/os.h"
#include "frame/serial/serial_driver.h"
#include "frame/trace/trace.h"
#include "mon_api.h"
#include "peripherals/peripheral_hooks.h"
#include "panel/lcd_traps.h"

namespace {

lcd_can_dispatch_function s_can_dispatch = nullptr;
void (*s_restart_hook)() = nullptr;
const lcd_status_sources kNoSources = {};
const lcd_status_sources* s_sources = &kNoSources;

constexpr uint8_t kControlModeLocal = 2;
constexpr uint8_t kControlModeCentral = 4;
constexpr uint8_t kControlModeOverride = 5;
constexpr uint8_t kLanguageFrench = 2;
constexpr uint8_t kPowerMains = 4;
constexpr uint8_t kBlinkReload = 8;
constexpr uint8_t kPeripheralReportBatteryLow = 2;
constexpr uint8_t kPeripheralReportBatteryOk = 3;
constexpr uint8_t kPeripheralReportPowerRestored = 4;
constexpr uint8_t kMaxCanData = 8;
const char kPanelModel[] = "KB52076 - CONTROL PANEL";
constexpr uint32_t kPanelModuleRow = 3;

CDataBase* db() { return g_pDataBase; }
uint32_t get_nv(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_nv, 0) : 0; }
uint32_t get_v(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_v, 0) : 0; }
void set_v_text(db_object o, const char* text) {
  if (db()) db()->SetString(o.offset, 4, text, static_cast<uint32_t>(std::strlen(text)), db()->mib_v, DB_NOTIFY);
}

}  // namespace

void lcd_set_can_dispatch(lcd_can_dispatch_function fn) { s_can_dispatch = fn; }
void lcd_set_restart_hook(void (*fn)()) { s_restart_hook = fn; }
void lcd_set_status_sources(const lcd_status_sources* sources) { s_sources = sources ? sources : &kNoSources; }
const lcd_status_sources& lcd_status() { return *s_sources; }

// ---------------------------------------------------------------- creation

const char* CLCD_Manager::NameOfType(uint16_t type_id) {
  if (type_id == TYPE_LCD01) return "LCD01";
  if (type_id == TYPE_LCD02) return "LCD02";
  return nullptr;
}

uint16_t CLCD_Manager::TypeOfName(const char* name) {
  if (!name) return 0;
  if (std::strcmp(name, "LCD01") == 0) return TYPE_LCD01;
  if (std::strcmp(name, "LCD02") == 0) return TYPE_LCD02;
  return 0;
}

CPeripheral* CLCD_Manager::Create(const pl_record& record) {
  CSerialDriver* driver = peripheral_attain_driver(COMM_DRIVER_PANEL);
  CLCD_Manager* manager = new (std::nothrow) CLCD_Manager(record.type_id);
  if (!manager) {
    if (driver) peripheral_release_driver(COMM_DRIVER_PANEL);
    return nullptr;
  }
  manager->m_wPollInterval = 1;
  manager->m_wPollCountdown = 0;
  manager->m_wConfigSlot = record.slot;
  manager->m_byFromDatabase = 0;
  if (!manager->Init(driver)) {
    delete manager;
    // Only a driver this call took is given back.
    if (driver) peripheral_release_driver(COMM_DRIVER_PANEL);
    return nullptr;
  }
  manager->SetEnabled(1);
  // The panel of type 70 carries sensor bus C.
  if (record.type_id == TYPE_LCD01) g_can_cp_driver.SetPanel(&manager->m_CanPort);
  return manager;
}

CLCD_Manager::CLCD_Manager(uint16_t type_id) : CPeripheral(CLASS_CODE, type_id) {
  lcd_register_page_classes(this);
  LoadLanguage();
  BuildMenus(g_lcd_menu_table, g_lcd_menu_table_rows);
  if (BuildMenuTree() != 0) monitor_printf("common menu init failed\n");
  m_pCurrentMenu = m_pStartMenu;
}

CLCD_Manager::~CLCD_Manager() {
  for (uint32_t i = 0; i < m_wMenuCount; ++i) delete m_apMenus[i];
  m_wMenuCount = 0;
  m_pCurrentMenu = m_pStartMenu = nullptr;
  if (m_bDisplayMutexCreated) tx_mutex_delete(&m_DisplayMutex);
  lcd_forget_manager(this);
  g_can_cp_driver.ForgetPanel(&m_CanPort);
}

int CLCD_Manager::Init(CSerialDriver* driver) {
  m_pDriver = driver;
  if (m_Lcd.Open(driver, this) != 0) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  if (!m_bDisplayMutexCreated) {
    const os_status st = os_mutex_create(&m_DisplayMutex, "LCDDisplayDriver Mutex", TX_INHERIT);
    if (st != OS_SUCCESS)
      monitor_printf("CLCD_Manager::Init: error creating lcd display driver mutex:%d\n", static_cast<int>(st));
    else
      m_bDisplayMutexCreated = true;
  }
  m_byState = PERIPHERAL_READING;
  return 1;
}

void CLCD_Manager::LoadLanguage() {
  if (get_nv(nv::quorLanguage) == kLanguageFrench) {
    m_dwLanguage = 1;
    m_Keyboard.SetLanguage(KEYBOARD_LAYOUT_FRCA);
  } else {
    m_dwLanguage = 0;
    m_Keyboard.SetLanguage(KEYBOARD_LAYOUT_ENUS);
  }
}

// ---------------------------------------------------------------- pages

void CLCD_Manager::BuildMenus(const lcd_menu_row* table, uint32_t rows) {
  if (!table) return;
  for (uint32_t i = 0; i < rows; ++i) {
    if (m_wMenuCount >= kMaxMenus) {
      monitor_printf("build_menus failed: insufficient storage\n");
      return;
    }
    CMenuItem* page = class_factory::Create(table[i].type, table[i].id, 0);
    if (!page) {
      monitor_printf("build_menus failed to build type:%d, id:%d!\n", static_cast<int>(table[i].type),
                     static_cast<int>(table[i].id));
      continue;
    }
    m_apMenus[m_wMenuCount++] = page;
  }
}

CMenuItem* CLCD_Manager::FindMenu(CLCD_MenuId id, CMenuItem* caller) {
  if (id == LCD_MENU_PARENT && caller) return caller->m_pParent;
  for (uint32_t i = 0; i < m_wMenuCount; ++i)
    if (m_apMenus[i]->m_iId == id) return m_apMenus[i];
  return nullptr;
}

bool CLCD_Manager::ActivateMenu(CLCD_MenuId id, CMenuItem* caller, bool forward_key) {
  if (id < 0) return false;
  CMenuItem* target = FindMenu(id, caller);
  if (!target) {
    monitor_printf("failed to find the desired menu:%d!\n", static_cast<int>(id));
    return false;
  }
  m_byLastRawKey = 0xFF;
  if (id == LCD_MENU_RUN_OPTIONS || id == LCD_MENU_SLOTS_FULL) target->m_pParent = caller;
  if ((target->m_dwRights & m_dwRights) != target->m_dwRights) {
    CMenuItem* refusal = FindMenu(LCD_MENU_INSUFFICIENT_RIGHTS, nullptr);
    // Without the refusal page the page simply stays shut.
    if (!refusal) {
      monitor_printf("failed to find the desired menu:%d!\n", static_cast<int>(LCD_MENU_INSUFFICIENT_RIGHTS));
      return false;
    }
    refusal->m_pParent = caller;
    target = refusal;
  }
  if (caller) caller->Deactivate(this, id);
  m_byCursorVisible = 0;
  m_pCurrentMenu = target;
  if (forward_key) {
    LCDKeyEvent key = lcd_key_event(LCD_KEY_FORWARDED);
    target->HandleKey(this, &key);
  } else {
    target->Enter(this);
  }
  target->Activate(this);
  RequestRedraw(LCD_DRAW_FULL);
  return true;
}

void CLCD_Manager::RequestRedraw(uint8_t level) {
  if (m_byRedrawRequest == 0 || (m_byRedrawRequest == LCD_DRAW_PARTIAL && level == LCD_DRAW_FULL))
    m_byRedrawRequest = level;
}

void CLCD_Manager::InvalidateFileMenus() {
  for (CLCD_MenuId id = 72; id <= 75; ++id)
    if (CMenuItem* page = FindMenu(id, nullptr)) page->InvalidateFiles();
}

void CLCD_Manager::OnEvent(letter_s* letter) {
  if (!letter) return;
  if (letter->Id() == MSG_PERIPHERAL_REPORT && letter->kind == LETTER_KIND_PAIRS && letter->HighHalf(0) == m_wTypeId) {
    const uint16_t code = letter->LowHalf(0);
    if (code == kPeripheralReportBatteryLow) {
      m_byPowerBlink = 1;
      m_byPowerBlinkCounter = kBlinkReload;
    } else if (code == kPeripheralReportBatteryOk || code == kPeripheralReportPowerRestored) {
      m_byPowerBlink = 0;
      m_byPowerBlinkCounter = 0;
    }
  }
  if (m_pCurrentMenu) m_pCurrentMenu->OnEvent(letter);
}

// ---------------------------------------------------------------- the tick

void CLCD_Manager::Process() {
  if (m_byState < PERIPHERAL_READING) {
    monitor_printf("exit state < created\n");
    return;
  }
  ++m_dwTicks;

  uint32_t byte = 0;
  while (m_pDriver && m_pDriver->ReadByte(&byte)) ProcessEvent(static_cast<uint8_t>(byte));

  if (m_byMirrorOpen) {
    m_RemoteServer.Flush();
    while (m_RemoteServer.GetByte(&byte)) ProcessEvent(static_cast<uint8_t>(byte));
  }
  if (m_byAutoExit) {
    m_byAutoExit = 0;
    ProcessEvent(LCD_PAD_CANCEL);
  }

  if (m_byPeriodicInterval) {
    if (++m_byPeriodicCounter >= m_byPeriodicInterval + 1) {
      RequestRedraw(LCD_DRAW_PARTIAL);
      m_byPeriodicCounter = 0;
    }
  }

  if (!m_byPowerBlink) {
    lcd_set_led(LCD_LED_POWER, get_v(vol::powerSource) == kPowerMains ? 1 : 2);
    m_byPowerBlinkCounter = 0;
  } else if (m_byPowerBlinkCounter == 0) {
    m_byPowerBlinkCounter = kBlinkReload;
  } else {
    --m_byPowerBlinkCounter;
    if (m_byPowerBlinkCounter == 4) lcd_set_led(LCD_LED_POWER, 2);
    if (m_byPowerBlinkCounter == 0) lcd_set_led(LCD_LED_POWER, 7);
  }

  StepPanel();

  static uint8_t s_backlight_was_on = 1;
  if (m_byBacklightOption) {
    s_backlight_was_on = 1;
  } else if (s_backlight_was_on) {
    s_backlight_was_on = 0;
    m_Lcd.BacklightOff();
  }

  if (m_byCommActivity) {
    m_byCommActivity = 0;
    m_Lcd.CommActivity();
    lcd_set_led(LCD_LED_COMM, 1);
  }

  m_Lcd.Flush();
  DrawIndicators(m_Lcd.m_byCleared);
  m_Lcd.m_byCleared = 0;

  if (m_dwTicks % kRefreshPeriod == 0) m_Lcd.Refresh();

  if (m_bySilence < kSilenceLimit) {
    ++m_bySilence;
  } else if (m_bySilence == kSilenceLimit) {
    monitor_printf_debug("Warning: Comm Timeout %d\n", static_cast<int>(m_wTypeId));
    m_bySilence = kSilenceLimit + 1;
    m_byState = PERIPHERAL_COMM_ERROR;
  }

  if (IsLoggedIn() && m_dwLogoutCountdown) {
    if (--m_dwLogoutCountdown == 0) Logout();
  }

  tx_thread_sleep(1);
}

void CLCD_Manager::StepPanel() {
  switch (m_byPanelState) {
    case PANEL_PROBE:
    case PANEL_PROBE_ALT:
      m_Lcd.Probe();
      if (++m_byProbes >= kProbes) {
        m_byProbes = 0;
        m_byPanelState = PANEL_START;
      }
      break;
    case PANEL_START:
      m_Lcd.Command7();
      m_Lcd.Refresh();
      if (get_v(vol::dmsControlMode) == kControlModeLocal)
        m_Lcd.LocalIndicatorOn();
      else
        m_Lcd.LocalIndicatorOff();
      if (m_pCurrentMenu) {
        m_pCurrentMenu->Enter(this);
        m_pCurrentMenu->Activate(this);
        m_pCurrentMenu->Draw(this, &m_Lcd, LCD_DRAW_FULL);
      }
      lcd_set_led(LCD_LED_POWER, 1);
      m_byPanelState = PANEL_STARTED;
      break;
    case PANEL_STARTED:
      m_byPanelState = PANEL_SPLASH;
      break;
    case PANEL_SPLASH:
      if (m_bySplashTicks) {
        if (m_pCurrentMenu) m_pCurrentMenu->Draw(this, &m_Lcd, LCD_DRAW_REFRESH);
        --m_bySplashTicks;
        break;
      }
      if (CMenuItem* login = FindMenu(LCD_MENU_LOGIN, nullptr)) m_pCurrentMenu = login;
      if (m_pCurrentMenu) {
        m_pCurrentMenu->Enter(this);
        m_pCurrentMenu->Activate(this);
      }
      m_Lcd.Clear();
      if (m_pCurrentMenu) m_pCurrentMenu->Draw(this, &m_Lcd, LCD_DRAW_FULL);
      m_byPanelState = PANEL_RUN;
      break;
    case PANEL_RUN: {
      if (m_byRestartCountdown) {
        m_byPanelState = PANEL_RESTART;
        break;
      }
      if (m_byFirmwareRevision == 0 && m_dwTicks % kFirmwareQueryPeriod == 0) m_Lcd.Command7();
      if (m_byCentralCheck) {
        m_byPanelState = PANEL_CENTRAL;
        break;
      }
      const uint8_t mode = m_byRedrawRequest;
      if (mode == LCD_DRAW_FULL) m_Lcd.Clear();
      if (m_pCurrentMenu) m_pCurrentMenu->Draw(this, &m_Lcd, mode);
      m_byRedrawRequest = 0;
      DrawCursorBox(mode == LCD_DRAW_FULL);
      break;
    }
    case PANEL_RESTART:
      if (m_byRestartCountdown) --m_byRestartCountdown;
      if (m_byRestartCountdown == 0) {
        Logout();
        m_pCurrentMenu = m_pStartMenu;
        m_byProbes = 0;
        m_byPanelState = PANEL_PROBE;
      }
      break;
    case PANEL_CENTRAL: {
      m_byCentralCheck = 0;
      const uint32_t mode = get_v(vol::dmsControlMode);
      if (mode == kControlModeCentral || mode == kControlModeOverride) Logout();
      m_byPanelState = PANEL_RUN;
      break;
    }
    default:
      m_byPanelState = PANEL_PROBE;
      break;
  }
}

void CLCD_Manager::DrawCursorBox(bool full_redraw_done) {
  if (full_redraw_done && m_byCursorVisible) --m_iDrawnCursorColumn;
  if (!m_byCursorVisible && !m_byDrawnCursorVisible) return;
  if (m_byCursorVisible == m_byDrawnCursorVisible && m_iCursorLine == m_iDrawnCursorLine &&
      m_iCursorColumn == m_iDrawnCursorColumn)
    return;
  auto box = [](int32_t line, int32_t column, uint32_t* x1, uint32_t* y1, uint32_t* x2, uint32_t* y2) {
    *x1 = static_cast<uint32_t>(6 * column - 6);
    *x2 = static_cast<uint32_t>(6 * column - 1);
    *y1 = static_cast<uint32_t>(8 * line - 1);
    *y2 = static_cast<uint32_t>(8 * line);
  };
  uint32_t x1, y1, x2, y2;
  if (m_iDrawnCursorLine >= 1 && m_iDrawnCursorColumn >= 1) {
    box(m_iDrawnCursorLine, m_iDrawnCursorColumn, &x1, &y1, &x2, &y2);
    m_Lcd.DrawRect(0, x1, y1, x2, y2);
  }
  if (m_byCursorVisible && m_iCursorLine >= 1 && m_iCursorColumn >= 1) {
    box(m_iCursorLine, m_iCursorColumn, &x1, &y1, &x2, &y2);
    m_Lcd.DrawRect(0xFF, x1, y1, x2, y2);
    m_iDrawnCursorLine = m_iCursorLine;
    m_iDrawnCursorColumn = m_iCursorColumn;
  }
  m_byDrawnCursorVisible = m_byCursorVisible;
}

// ---------------------------------------------------------------- panel bytes

void CLCD_Manager::ProcessEvent(uint8_t code) {
  m_bySilence = 0;
  m_byState = PERIPHERAL_VALID;
  switch (m_byEscapeState) {
    case ESCAPE_NONE:
      if (code == LCD_CODE_ESCAPE)
        m_byEscapeState = ESCAPE_CODE;
      else if (code <= LCD_CODE_KEY_LAST)
        HandleKeypadKey(code);
      break;
    case ESCAPE_CODE:
      m_byEscapeState = ESCAPE_NONE;
      PanelCommand(code);
      break;
    case ESCAPE_CAN:
      ReceiveCanByte(code);
      break;
    case ESCAPE_KEYBOARD_STATE:
      m_Keyboard.SetStateLow(code);
      m_byEscapeState = ESCAPE_KEYBOARD;
      break;
    case ESCAPE_KEYBOARD:
      if (code == LCD_CODE_KEYBOARD_END) {
        m_Keyboard.EndSequence();
        m_byEscapeState = ESCAPE_NONE;
      } else
        HandleKeyboardByte(code);
      break;
    default:
      m_byEscapeState = ESCAPE_NONE;
      break;
  }
}

void CLCD_Manager::PanelCommand(uint8_t code) {
  if (code >= LCD_CODE_REVISION && code <= LCD_CODE_REVISION_LAST) {
    const uint8_t revision = static_cast<uint8_t>(code - LCD_CODE_REVISION);
    char text[16];
    if (m_byPanelState == PANEL_PROBE) {
      m_byHardwareRevision = revision;
      m_wVersion = revision;
      m_Lcd.m_byHardwareRevision = revision;
      set_v_text(vol::moduleModel(kPanelModuleRow), kPanelModel);
      std::snprintf(text, sizeof text, "%2d", revision);
      set_v_text(vol::moduleVersion(kPanelModuleRow), text);
      m_byProbes = 0;
      m_byPanelState = PANEL_START;
    } else {
      m_byFirmwareRevision = revision;
      m_Lcd.m_byFirmwareRevision = revision;
      std::snprintf(text, sizeof text, "%d/%d", m_byHardwareRevision, revision);
      set_v_text(vol::moduleVersion(kPanelModuleRow), text);
    }
    return;
  }
  switch (code) {
    case LCD_CODE_RESTARTED:
      if (m_bDisplayMutexCreated && os_mutex_get(&m_DisplayMutex, OS_WAIT_FOREVER) == OS_SUCCESS) {
        m_byShowFrames = 0;
        os_mutex_put(&m_DisplayMutex);
      } else {
        m_byShowFrames = 0;
      }
      m_byRestartCountdown = kRestartTicks;
      break;
    case LCD_CODE_LAPTOP_DISCONNECTED:
      LaptopPort(false);
      break;
    case LCD_CODE_LAPTOP_CONNECTED:
      LaptopPort(true);
      break;
    case LCD_CODE_LOCAL_MODE:
      RequestRedraw(LCD_DRAW_FULL);
      EnterLocalMode();
      break;
    case LCD_CODE_REMOTE_MODE:
      RequestRedraw(LCD_DRAW_FULL);
      LeaveLocalMode();
      break;
    case LCD_CODE_TOGGLE_LOCAL: {
      RequestRedraw(LCD_DRAW_FULL);
      const uint32_t mode = get_v(vol::dmsControlMode);
      if (mode == kControlModeLocal || mode == kControlModeOverride)
        LeaveLocalMode();
      else
        EnterLocalMode();
      break;
    }
    case LCD_CODE_RESTART_CONTROLLER:
      if (s_restart_hook) {
        s_restart_hook();
        break;
      }
      // The watchdog ends it at the latest.
      mon_watchdog_enable(1);
      for (;;) mon_restart(0);
    case LCD_CODE_CAN_FRAME:
      m_byEscapeState = ESCAPE_CAN;
      break;
    case LCD_CODE_KEYBOARD:
      m_byEscapeState = ESCAPE_KEYBOARD_STATE;
      break;
    default:
      break;
  }
}

void CLCD_Manager::LaptopPort(bool connected) {
  if (connected) {
    lcd_set_led(LCD_LED_LAPTOP, 2);
    if (m_byLaptopState == '3') lcd_send_panel_trap(LCD_TRAP_LAPTOP_CONNECTED);
    m_byLaptopState = '1';
  } else {
    lcd_set_led(LCD_LED_LAPTOP, 1);
    if (m_byLaptopState == '1') lcd_send_panel_trap(LCD_TRAP_LAPTOP_DISCONNECTED);
    m_byLaptopState = '3';
  }
}

// ---------------------------------------------------------------- remote panel, CAN tunnel

void CLCD_Manager::OpenRemoteLCD() {
  if (!(get_nv(nv::quorFeatureSet) & kFeatureRemotePanel)) return;
  if (!m_RemoteServer.Open(kRemotePanelPort, kRemotePanelRing)) return;
  m_Lcd.SetMirror(&m_RemoteServer);
  m_byMirrorOpen = 1;
}

void CLCD_Manager::ReceiveCanByte(uint8_t byte) {
  const uint8_t previous = m_CanRx.previous;
  m_CanRx.previous = byte;
  if (previous == LCD_CMD) {
    // The escaped byte must not escape the next one.
    m_CanRx.previous = 0;
    ParseCanFrame(static_cast<uint8_t>(byte ^ 0x20));
  } else if (byte != LCD_CMD) {
    ParseCanFrame(byte);
  }
}

void CLCD_Manager::ParseCanFrame(uint8_t byte) {
  can_rx& rx = m_CanRx;
  switch (rx.step) {
    case 2:
      if (byte & 0x08) {
        rx.identifier = rx.identifier * 8 + (byte >> 5);
        rx.identifier = rx.identifier * 8 + (byte & 0x07);
        rx.step = 3;
      } else {
        rx.identifier = rx.identifier * 8 + (byte >> 5);
        rx.step = 5;
      }
      return;
    case 3:
      rx.identifier = rx.identifier * 256 + byte;
      rx.step = 4;
      return;
    case 4:
      rx.identifier = rx.identifier * 128 + (byte >> 1);
      rx.step = 5;
      return;
    case 5:
      rx.length = byte;
      rx.count = 0;
      std::memset(rx.data, 0, sizeof rx.data);
      rx.step = 6;
      if (rx.length > kMaxCanData) {
        // No CAN frame is that long: the bytes after it are the panel's
        // own again.
        monitor_printf("CLCD_Manager::ParseCanFrame: bad length %d\n", rx.length);
        rx.step = 1;
        rx.previous = 0;
        m_byEscapeState = ESCAPE_NONE;
      }
      return;
    case 6:
      if (rx.count < rx.length) rx.data[rx.count++] = byte;
      if (rx.count >= rx.length) {
        if (s_can_dispatch) s_can_dispatch(rx.identifier, 0, rx.length, rx.data);
        rx.step = 1;
        rx.previous = 0;
        m_byEscapeState = ESCAPE_NONE;
      }
      return;
    default:
      rx.identifier = byte;
      rx.step = 2;
      return;
  }
}
