// The controller's side of the panel link: CLCD turns text, cursor
// positions, rectangles and bitmaps into the front-panel unit's command
// bytes and writes them to the panel's serial driver, to the TCP mirror and,
// while the HCB distribution board is present, to the module-bus relay.
//
// Screen: 8 lines of 40 cells (6 x 8 pixels), 240 x 64 pixels; lines and
// columns count from 1. Every page draws through the manager's one CLCD;
// other subsystems only suspend and resume it.
//
// Writes come from the manager's tick, the display task, the data-key
// worker and the CAN tunnel: each takes the "lcd write" mutex for the whole
// write and sets the busy byte under it, so writers of other threads wait
// their turn instead of mixing their bytes. The "lcd" mutex serialises
// Suspend and Resume.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "tx_api.h"

class CSerialDriver;
class CTCP_Server;
class CLCD_Manager;

// Bytes from the panel (the panel's codes). Codes 0x00..0x0F are keypad
// keys; the others follow an escape byte 0xFF.
enum LCDPanelCode : uint8_t {
  LCD_CODE_KEY_LAST = 0x0F,
  LCD_CODE_REVISION = 0xA0,  // 0xA0 + n, n = 0..15
  LCD_CODE_REVISION_LAST = 0xAF,
  LCD_CODE_RESTARTED = 0xB0,
  LCD_CODE_LAPTOP_DISCONNECTED = 0xB1,
  LCD_CODE_LAPTOP_CONNECTED = 0xB2,
  LCD_CODE_LOCAL_MODE = 0xB3,
  LCD_CODE_REMOTE_MODE = 0xB4,
  LCD_CODE_RESTART_CONTROLLER = 0xB5,
  LCD_CODE_CAN_FRAME = 0xB8,
  LCD_CODE_TOGGLE_LOCAL = 0xB9,
  LCD_CODE_KEYBOARD = 0xBD,
  LCD_CODE_KEYBOARD_END = 0xED,
  LCD_CODE_ESCAPE = 0xFF,
};

// Command bytes to the panel: LCD_CMD, a letter, then parameters.
enum : uint8_t {
  LCD_CMD = 0xFE,
  LCD_CMD_CLEAR = 'X',
  LCD_CMD_POSITION = 'G',
  LCD_CMD_BITMAP = 'd',
  LCD_CMD_OUTLINE = 'r',
  LCD_CMD_BOX = 'x',
  LCD_CMD_CONTRAST = 'P',
  LCD_CMD_BACKLIGHT_ON = 'B',
  LCD_CMD_BACKLIGHT_OFF = 'F',
  LCD_CMD_LOCAL_ON = 'V',
  LCD_CMD_LOCAL_OFF = 'W',
  LCD_CMD_COMM_ACTIVITY = 'Y',
  LCD_CMD_PROBE = '6',
  LCD_CMD_FIRMWARE = '7',
  LCD_CMD_REFRESH = '9',
  LCD_CMD_FLUSH = 0x40,
  LCD_CMD_SUSPEND = '<',
  LCD_CMD_RESUME = ';',
  LCD_CMD_SETTING_C = 'c',
  LCD_CMD_SETTING_P = 'p',
  LCD_CMD_CAN_FRAME = 'A',
  // The escape of a parameter byte 0xFE or 0xFF: LCD_DATA_ESCAPE, byte ^ 0x20.
  LCD_DATA_ESCAPE = 0xFF,
};

// Alignments of the formatted writes.
enum : uint8_t { LCD_ALIGN_LEFT = 2, LCD_ALIGN_CENTRE = 3, LCD_ALIGN_RIGHT = 4 };

constexpr uint32_t LCD_LINES = 8;
constexpr uint32_t LCD_COLUMNS = 40;
constexpr uint32_t LCD_WIDTH = 240;
constexpr uint32_t LCD_HEIGHT = 64;
constexpr uint32_t LCD_SUSPEND_SLOTS = 200;

// The panel byte of each Latin-1 byte 0x80..0xFF (the panel's font is a PC
// code page).
extern const uint8_t g_lcd_charmap[128];

// Where panel bytes go while the HCB distribution board is present: the
// module-bus relay queue. The module-bus code installs it; null drops them.
typedef void (*lcd_relay_function)(uint8_t byte);
void lcd_set_hcb_relay(lcd_relay_function fn);

class CLCD {
 public:
  CLCD();
  ~CLCD();
  CLCD(const CLCD&) = delete;
  CLCD& operator=(const CLCD&) = delete;

  // Keeps both, creates the "lcd" mutex and semaphore (200) and sends FE
  // ';'. 0; 1 for a null driver or owner; 3 when a kernel object cannot be
  // made.
  uint32_t Open(CSerialDriver* driver, CLCD_Manager* owner);
  void SetMirror(CTCP_Server* mirror) { m_pMirror = mirror; }
  CTCP_Server* Mirror() const { return m_pMirror; }

  // ---- text
  void SetPosition(uint32_t column, uint32_t line, uint8_t send);
  void SendString(const char* text);
  void PutChar(char c);
  void Printf(uint32_t line, uint8_t align, const char* format, ...) __attribute__((format(printf, 4, 5)));
  void VPrintf(uint32_t line, uint8_t align, const char* format, va_list args);
  void PrintfAt(uint32_t line, uint32_t column, const char* format, ...) __attribute__((format(printf, 4, 5)));
  void PrintfLine(uint32_t line, uint8_t align, const char* format, ...) __attribute__((format(printf, 4, 5)));
  void PrintfField(uint32_t line, uint32_t column, uint8_t align, const char* format, ...)
      __attribute__((format(printf, 5, 6)));
  void ClearLine(uint32_t line);
  void ClearLineFrom(uint32_t line, uint32_t column);
  void Clear();

  // ---- graphics
  // 0 sent; 2 not sent (link busy, empty size) or cut short by a panel
  // restart.
  uint32_t Bitmap(uint32_t x, uint32_t y, uint32_t width, uint32_t height, const uint8_t* bits);
  void FillRect(uint8_t colour, uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2);  // outline
  void DrawRect(uint8_t colour, uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2);  // filled box

  // ---- single commands
  void SetContrast(uint8_t up);
  void BacklightOn(uint8_t level);
  void BacklightOff();
  void LocalIndicatorOn();
  void LocalIndicatorOff();
  void CommActivity();
  void Probe();
  void Command7();
  void Refresh();
  void Flush();
  void CommandC(uint8_t value);
  void CommandP(uint8_t a, uint8_t b);

  // Nesting suspend of panel output: FE '<' for every suspender, FE ';'
  // when the last one resumes. The mutex's error code when it is held.
  uint32_t Suspend();
  uint32_t Resume();
  // Suspenders at the moment (200 less the semaphore's count).
  uint32_t SuspendCount();

  // One command: the first byte raw, the others by the data-byte rule; up
  // to 10 immediate tries. 1 written, 0 dropped.
  uint32_t WriteCommand(const uint8_t* bytes, uint32_t count);
  uint32_t WriteData(const uint8_t* bytes, uint32_t count) { return WriteCommand(bytes, count); }

  // ---- byte level
  void PutByte(uint8_t byte);
  void PutDataByte(uint8_t byte);
  // Panels of revision 1..6 take parameters unescaped.
  bool SendsRaw() const;

  // Fields, in their firmware order.
  uint8_t m_byCleared = 0;  // screen cleared since the manager last looked
  uint8_t m_byColumn = 1;
  uint8_t m_byLine = 1;
  volatile uint8_t m_byBusy = 0;
  CSerialDriver* m_pDriver = nullptr;
  CTCP_Server* m_pMirror = nullptr;
  CLCD_Manager* m_pOwner = nullptr;
  uint8_t m_byHardwareRevision = 0;
  uint8_t m_byFirmwareRevision = 0;
  TX_MUTEX m_Lock{};
  TX_SEMAPHORE m_Suspend{};
  TX_MUTEX m_Write{};

 private:
  // Takes the write lock (a writer of another thread has its time to
  // finish) and the busy byte under it; false, holding nothing, when the
  // lock stayed taken or the byte is set. GiveBusy undoes a success.
  bool TakeBusy();
  void GiveBusy();
  void SendPositionRaw();
  void WriteTextAt(uint32_t column, uint32_t line, const char* text);
  bool m_bLockCreated = false;
  bool m_bSemaphoreCreated = false;
  bool m_bWriteLockCreated = false;
};
