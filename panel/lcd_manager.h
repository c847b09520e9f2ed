// The front-panel manager: the built-in peripheral of type 70 ("LCD01";
// 71 "LCD02") whose Poll is the panel's tick, run once per peripheral-task
// cycle in that task's thread. One tick reads the panel's bytes and turns
// them into keys for the current page, steps the panel's start-up, redraws
// the current page, draws the cursor box and the indicators, and counts
// down the automatic logout. The manager is also the class factory that
// builds every page of the menu table.
//
// Other threads touch single bytes only: the comm-activity flag, the
// show-frames flag (under "LCDDisplayDriver Mutex") and the indicator
// table.
#pragma once

#include <cstdint>

#include "comm/servers/tcp_server.h"
#include "database/files/pl_record.h"
#include "frame/can/can_cp_driver.h"
#include "frame/peripheral/peripheral.h"
#include "panel/lcd.h"
#include "panel/lcd_keys.h"
#include "panel/menu_item.h"
#include "tx_api.h"

class CSerialDriver;

// One row of the menu table: the page's class and its id.
struct lcd_menu_row {
  CLCD_FactoryType type;
  CLCD_MenuId id;
};
extern const lcd_menu_row g_lcd_menu_table[];
extern const uint32_t g_lcd_menu_table_rows;

// ---- indicators of line 1 (any task may set them)
enum : uint32_t { LCD_LED_MODEM = 1, LCD_LED_LAPTOP = 2, LCD_LED_BUSY = 3, LCD_LED_POWER = 4, LCD_LED_ETHERNET = 5,
                  LCD_LED_COMM = 6, LCD_LEDS = 6 };
void lcd_set_led(uint32_t indicator, uint8_t state);
uint8_t lcd_get_led(uint32_t indicator);
// Power-up states of the table (start-up and tests).
void lcd_indicators_reset();
// Traffic on a communication port: the manager pulses the panel.
void lcd_comm_activity();
class CLCD_Manager;
// A manager going away is no longer the one lcd_comm_activity found.
void lcd_forget_manager(CLCD_Manager* manager);

// ---- seams to parts built elsewhere
// A frame of the panel's CAN port (sensor bus C): identifier, flags,
// length, data. Null drops them.
typedef void (*lcd_can_dispatch_function)(uint32_t identifier, uint8_t flags, uint8_t length, const uint8_t* data);
void lcd_set_can_dispatch(lcd_can_dispatch_function fn);
// What the panel's "restart the controller" code does; null: the boot
// monitor's watchdog on and restart requests until one takes.
void lcd_set_restart_hook(void (*fn)());
// What the idle screen shows of the display and the modem. Null members
// read as: brightness 100 %, maximum level 255, no modem signal text.
struct lcd_status_sources {
  uint32_t (*brightness_percent)();
  int32_t (*max_brightness_level)();
  // true with the modem's signal text.
  bool (*modem_signal_text)(bool french, const char** text);
};
void lcd_set_status_sources(const lcd_status_sources* sources);
const lcd_status_sources& lcd_status();

// The MULTI text of the quick message n (0..7).
void lcd_quick_message_text(uint32_t n, bool character_matrix, char* out, uint32_t size);

class CLCD_Manager : public CPeripheral, public class_factory {
 public:
  enum : uint8_t { CLASS_CODE = 26 };
  enum : uint16_t { TYPE_LCD01 = 70, TYPE_LCD02 = 71 };
  static constexpr uint32_t kMaxMenus = 205;
  static constexpr uint32_t kEditSize = 1024;
  static constexpr uint32_t kOwnerSize = 128;
  static constexpr uint8_t kBacklightSetting = 10;
  static constexpr uint8_t kSplashTicks = 3;
  static constexpr uint8_t kRestartTicks = 20;
  static constexpr uint8_t kSilenceLimit = 60;
  static constexpr uint8_t kProbes = 4;
  static constexpr uint32_t kRefreshPeriod = 30;
  static constexpr uint32_t kFirmwareQueryPeriod = 61;
  static constexpr uint16_t kRemotePanelPort = 15002;
  static constexpr uint32_t kRemotePanelRing = 4000;
  static constexpr uint32_t kFeatureRemotePanel = 0x10;

  enum : uint8_t {
    PANEL_PROBE = 0,
    PANEL_PROBE_ALT = 1,
    PANEL_START = 2,
    PANEL_STARTED = 3,
    PANEL_RUN = 4,
    PANEL_RESTART = 5,
    PANEL_CENTRAL = 6,
    PANEL_SPLASH = 8,
  };
  enum : uint8_t {
    ESCAPE_NONE = 0,
    ESCAPE_CODE = 1,
    ESCAPE_CAN = 5,
    ESCAPE_KEYBOARD_STATE = 6,
    ESCAPE_KEYBOARD = 7,
  };

  // The factory's creator of class 26: takes comm-port driver 4, builds and
  // initialises the manager; null (driver given back) when that fails.
  static CPeripheral* Create(const pl_record& record);
  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);

  // Builds the pages of the menu table and links them.
  explicit CLCD_Manager(uint16_t type_id);
  ~CLCD_Manager() override;

  // ---- CPeripheral
  const char* GetVersionText() override { return ""; }
  uint32_t GetCanAddress() override { return 0; }
  uint8_t GetCanBus() override { return 0; }
  void OnEvent(letter_s* letter) override;
  void Poll() override { Process(); }
  void SetEnabled(uint8_t enabled) override { m_byEnabled = enabled; }

  // ---- the tick and the panel's bytes
  // 1 ready; 0 (INIT ERROR) when the LCD could not be opened.
  int Init(CSerialDriver* driver);
  void Process();
  void ProcessEvent(uint8_t code);
  void LoadLanguage();

  // ---- pages
  void BuildMenus(const lcd_menu_row* table, uint32_t rows);
  uint32_t BuildMenuTree();
  CMenuItem* FindMenu(CLCD_MenuId id, CMenuItem* caller);
  bool ActivateMenu(CLCD_MenuId id, CMenuItem* caller, bool forward_key);
  void RequestRedraw(uint8_t level);
  void InvalidateFileMenus();
  CMenuItem* CurrentMenu() const { return m_pCurrentMenu; }
  uint32_t MenuCount() const { return m_wMenuCount; }
  CMenuItem* MenuAt(uint32_t i) const { return i < m_wMenuCount ? m_apMenus[i] : nullptr; }

  // ---- keys
  void HandleKeypadKey(uint8_t k);
  void HandleKeyboardByte(uint8_t b);
  // What the manager does with a key that the page did not consume.
  void UnhandledKey(LCDKeyEvent key, bool keyboard);
  // Ctrl + F(n + 1): an arrow message on changeable message 500.
  void QuickMessage(uint32_t n);

  // ---- login, rights and local mode
  bool Login(int32_t level);
  void Logout();
  void EnterLocalMode();
  void LeaveLocalMode();
  bool IsLoggedIn() const { return m_iLevel >= 0; }
  bool IsPasswordUnique(const char* text);
  static bool KeypadEquivalent(const char* a, const char* b);
  static char KeypadGroupOf(char c);
  void ReloadLogoutCountdown();

  // ---- entry fields
  void ShowCursor(bool visible, int32_t line, int32_t column);
  void SetCursorPos(int32_t line, int32_t column);
  bool EditNumber(uint32_t* value, uint32_t max, LCDKeyEvent key, uint8_t rolling = 0);
  bool EditText(char* buffer, uint32_t size, LCDKeyEvent key);
  void DrawNumberField(uint32_t line, uint32_t column, uint32_t value, uint32_t width, bool place_cursor);
  void DrawDecimalField(uint32_t line, uint32_t column, uint32_t whole, uint8_t whole_digits, uint32_t fraction,
                        uint8_t fraction_digits, bool typing_fraction, bool place_cursor);
  void DrawTextField(uint32_t line, uint32_t column, const char* text, uint32_t width, uint32_t rows,
                     bool place_cursor);

  // ---- messages
  void SetActivationTarget(uint32_t memory_type, uint32_t number);
  void SetActivationTargetIfValid(uint32_t ignored, int32_t memory_type, uint32_t number);
  bool ActivateMessage(uint16_t duration);
  bool IsRunning(uint32_t memory_type, uint32_t number);
  bool SetMessageStatus(uint32_t entry, uint8_t request, uint8_t expected);
  bool StoreEditedMessage();
  bool FindFreeSlot();

  // ---- indicators, remote panel, CAN tunnel
  void DrawIndicators(uint8_t cleared);
  void OpenRemoteLCD();
  void ReceiveCanByte(uint8_t byte);
  void ParseCanFrame(uint8_t byte);

  // ---- for the LCD and the peripheral task
  uint8_t RestartCountdown() const { return m_byRestartCountdown; }
  void SetCentralCheck() { m_byCentralCheck = 1; }
  void SetPowerGood(uint8_t good) { m_byPowerGood = good; }
  void SetBacklightOption(uint8_t on) { m_byBacklightOption = on; }
  // The key-activity duties: busy indicator, backlight, logout countdown.
  void KeyActivity();

  // ---- fields (pages read and write many of them)
  char m_szEdit[kEditSize] = {};
  uint32_t m_dwEditLength = 0;
  uint16_t m_wEditSlot = 0;
  uint8_t m_byEditorFlag = 1;
  uint8_t m_byEditPriority = 255;
  uint8_t m_byEditBeacon = 0;
  char m_szEditOwner[kOwnerSize] = {};
  CLCD m_Lcd;
  // Sensor bus C's way to the boards on the panel's CAN port.
  class can_port : public can_cp_driver::panel_port {
   public:
    explicit can_port(CLCD& lcd) : m_lcd(lcd) {}
    uint8_t HardwareRevision() override { return m_lcd.m_byHardwareRevision; }
    uint8_t FirmwareRevision() override { return m_lcd.m_byFirmwareRevision; }
    void WriteCommand(const uint8_t* bytes, uint32_t count) override { m_lcd.WriteCommand(bytes, count); }

   private:
    CLCD& m_lcd;
  } m_CanPort{m_Lcd};
  uint8_t m_byBacklightOption = 1;
  volatile uint8_t m_byShowFrames = 0;
  TX_MUTEX m_DisplayMutex{};
  uint8_t m_byRestartCountdown = 0;
  CSerialDriver* m_pDriver = nullptr;
  volatile uint8_t m_byCentralCheck = 0;
  volatile uint8_t m_byCommActivity = 0;
  uint8_t m_byAutoExit = 0;
  uint8_t m_byScreenLayout = 0;
  uint32_t m_dwLanguage = 0;
  uint8_t m_byPanelState = PANEL_PROBE;
  uint8_t m_byPowerBlink = 0;
  uint8_t m_byPowerBlinkCounter = 0;
  uint8_t m_byKey12Pass = 0;
  uint8_t m_byLastRawKey = 0xFF;
  uint8_t m_byTapIndex = 0;
  uint8_t m_byRedrawRequest = LCD_DRAW_FULL;
  uint32_t m_dwTargetType = 0;
  uint32_t m_dwTargetNumber = 0;
  uint8_t m_byCursorVisible = 0;
  int32_t m_iCursorLine = 1;
  int32_t m_iCursorColumn = 1;
  uint8_t m_byDrawnCursorVisible = 0;
  int32_t m_iDrawnCursorLine = -1;
  int32_t m_iDrawnCursorColumn = -1;
  uint32_t m_dwPendingSlot = 0;
  int32_t m_iLevel = -1;
  uint32_t m_dwRights = 0;
  CMenuItem* m_pCurrentMenu = nullptr;
  CMenuItem* m_pStartMenu = nullptr;
  CMenuItem* m_apMenus[kMaxMenus] = {};
  uint16_t m_wMenuCount = 0;
  uint8_t m_byMirrorOpen = 0;
  CTCP_Server m_RemoteServer;
  uint8_t m_byPeriodicInterval = 0;
  uint8_t m_byPeriodicCounter = 0;
  uint32_t m_dwLogoutCountdown = 0;  // half seconds; twice the u16 time fits
  keyboard_decoder m_Keyboard;
  uint8_t m_byHardwareRevision = 0;
  uint8_t m_byFirmwareRevision = 0;
  uint8_t m_byEscapeState = ESCAPE_NONE;
  uint8_t m_bySilence = 0;
  uint8_t m_bySplashTicks = kSplashTicks;
  // What the screen shows at power-up: the power-up states.
  uint8_t m_abyShadow[LCD_LEDS] = {1, 1, 5, 7, 2, 5};
  uint8_t m_byBacklightSetting = kBacklightSetting;
  // Own additions.
  uint8_t m_byProbes = 0;
  uint32_t m_dwTicks = 0;
  uint8_t m_byPowerGood = 1;
  uint8_t m_byLaptopState = '2';
  bool m_bDisplayMutexCreated = false;
  // The panel's CAN port: the frame being received.
  struct can_rx {
    uint8_t previous = 0;
    uint8_t step = 1;
    uint32_t identifier = 0;
    uint8_t length = 0;
    uint8_t count = 0;
    uint8_t data[8] = {};
  } m_CanRx;

 private:
  void StepPanel();
  void DrawCursorBox(bool full_redraw_done);
  void PanelCommand(uint8_t code);
  void LaptopPort(bool connected);
};

// The product board (the menu tree has pages that depend on it).
void lcd_set_product_board(uint8_t id);
uint8_t lcd_product_board();

// Installs the panel into the peripheral task's seams: the creator of class
// 26 and the operations the task asks of the panel.
void panel_install(uint8_t product_board_id);
