#include "panel/lcd.h"

#include <cstdio>
#include <cstring>

#include "comm/servers/tcp_server.h"
#include "frame/os/os.h"
#include "frame/serial/serial_driver.h"
#include "frame/trace/trace.h"
#include "panel/lcd_manager.h"
#include "peripherals/peripheral_task.h"

const uint8_t g_lcd_charmap[128] = {
    0x20, 0x20, 0x27, 0x9F, 0x22, 0x20, 0x20, 0x20, 0x5E, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,  // 0x80
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x22, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,  // 0x90
    0x20, 0x21, 0x9B, 0x9C, 0x6F, 0x9D, 0x7C, 0x53, 0x20, 0x20, 0x20, 0x22, 0x20, 0x20, 0x20, 0x2D,  // 0xA0
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x2E, 0x2E, 0x27, 0x27, 0x22, 0x20, 0x20, 0x20, 0x3F,  // 0xB0
    0x41, 0x41, 0x41, 0x41, 0x8E, 0x8F, 0x92, 0x80, 0x45, 0x90, 0x45, 0x45, 0x49, 0x49, 0x49, 0x49,  // 0xC0
    0x44, 0x4E, 0x4F, 0x4F, 0x4F, 0x4F, 0x4F, 0x78, 0x30, 0x55, 0x55, 0x55, 0x55, 0x59, 0x20, 0x20,  // 0xD0
    0x85, 0x61, 0x83, 0x61, 0x84, 0x86, 0x92, 0x63, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0x69, 0x8C, 0x8B,  // 0xE0
    0x6F, 0x6E, 0x95, 0x6F, 0x93, 0x6F, 0x94, 0x2F, 0x30, 0x97, 0x75, 0x96, 0x9A, 0x79, 0x00, 0x00,  // 0xF0
};

namespace {

// Long enough for the longest write (a full-screen bitmap) of another
// thread.
constexpr uint32_t kWriteWaitTicks = 100;
constexpr uint32_t kClearPauseTicks = 7;
constexpr uint32_t kFormatBuffer = 200;

lcd_relay_function s_relay = nullptr;

}  // namespace

void lcd_set_hcb_relay(lcd_relay_function fn) { s_relay = fn; }

CLCD::CLCD() = default;

CLCD::~CLCD() {
  if (m_bSemaphoreCreated) tx_semaphore_delete(&m_Suspend);
  if (m_bLockCreated) tx_mutex_delete(&m_Lock);
  if (m_bWriteLockCreated) tx_mutex_delete(&m_Write);
}

uint32_t CLCD::Open(CSerialDriver* driver, CLCD_Manager* owner) {
  if (!driver || !owner) return 1;
  m_pDriver = driver;
  m_pOwner = owner;
  if (!m_bLockCreated) {
    if (os_mutex_create(&m_Lock, "lcd", TX_NO_INHERIT) != OS_SUCCESS) return 3;
    m_bLockCreated = true;
  }
  if (!m_bSemaphoreCreated) {
    if (os_semaphore_create(&m_Suspend, "lcd", LCD_SUSPEND_SLOTS) != OS_SUCCESS) return 3;
    m_bSemaphoreCreated = true;
  }
  if (!m_bWriteLockCreated) {
    if (os_mutex_create(&m_Write, "lcd write", TX_INHERIT) != OS_SUCCESS) return 3;
    m_bWriteLockCreated = true;
  }
  const uint8_t resume[] = {LCD_CMD, LCD_CMD_RESUME};
  WriteCommand(resume, sizeof resume);
  return 0;
}

// ---------------------------------------------------------------- bytes

bool CLCD::SendsRaw() const {
  return (m_byHardwareRevision >= 1 && m_byHardwareRevision <= 6) ||
         (m_byFirmwareRevision >= 1 && m_byFirmwareRevision <= 6);
}

void CLCD::PutByte(uint8_t byte) {
  if (m_pDriver) m_pDriver->PutTxByte(byte);
  if (m_pMirror) m_pMirror->PutByte(byte);
  if (g_hcb_distribution_board && s_relay) s_relay(byte);
}

void CLCD::PutDataByte(uint8_t byte) {
  if (!SendsRaw() && (byte == LCD_CMD || byte == LCD_DATA_ESCAPE)) {
    PutByte(LCD_DATA_ESCAPE);
    PutByte(static_cast<uint8_t>(byte ^ 0x20));
    return;
  }
  PutByte(byte);
}

bool CLCD::TakeBusy() {
  // Outside a thread (interrupt context) no kernel thread runs meanwhile:
  // the busy byte alone tells whether a write was cut into.
  const bool locked = m_bWriteLockCreated && tx_thread_identify();
  if (locked && tx_mutex_get(&m_Write, kWriteWaitTicks) != TX_SUCCESS) return false;
  if (m_byBusy) {
    if (locked) tx_mutex_put(&m_Write);
    return false;
  }
  m_byBusy = 1;
  return true;
}

void CLCD::GiveBusy() {
  m_byBusy = 0;
  if (m_bWriteLockCreated && tx_thread_identify()) tx_mutex_put(&m_Write);
}

uint32_t CLCD::WriteCommand(const uint8_t* bytes, uint32_t count) {
  if (!bytes || count == 0) return 0;
  if (!TakeBusy()) {
    monitor_printf_debug("CLCD::WriteCommand: Warning Write Failed\n");
    return 0;
  }
  PutByte(bytes[0]);
  for (uint32_t k = 1; k < count; ++k) PutDataByte(bytes[k]);
  GiveBusy();
  return 1;
}

// ---------------------------------------------------------------- text

void CLCD::SetPosition(uint32_t column, uint32_t line, uint8_t send) {
  m_byColumn = static_cast<uint8_t>(column);
  m_byLine = static_cast<uint8_t>(line);
  if (!send) return;
  const uint8_t command[] = {LCD_CMD, LCD_CMD_POSITION, m_byColumn, m_byLine};
  WriteCommand(command, sizeof command);
}

void CLCD::SendPositionRaw() {
  // Inside a text write: the busy byte is already ours.
  PutByte(LCD_CMD);
  PutDataByte(LCD_CMD_POSITION);
  PutDataByte(m_byColumn);
  PutDataByte(m_byLine);
}

void CLCD::SendString(const char* text) {
  if (!text) return;
  if (!TakeBusy()) {
    monitor_printf_debug("CLCD::SendString: Warning Write Failed\n");
    return;
  }
  for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); *p; ++p) {
    const uint8_t c = *p;
    if (c >= 0x20 && c <= 0x7E) {
      PutByte(c);
    } else if (c == '\n') {
      m_byLine = m_byLine >= LCD_LINES ? 1 : static_cast<uint8_t>(m_byLine + 1);
      SendPositionRaw();
    } else if (c == '\r') {
      m_byColumn = 1;
      SendPositionRaw();
    } else if (c == 8) {
      if (m_byColumn != 5) PutByte(' ');
      PutByte(' ');
      SendPositionRaw();
    } else if (c >= 0x80 && c <= 0xFD) {
      PutByte(g_lcd_charmap[c - 0x80]);
    }
    // 0xFE and 0xFF would start a command; other control bytes have no
    // panel character. Both are dropped.
  }
  GiveBusy();
}

void CLCD::PutChar(char c) {
  const char text[2] = {c, 0};
  SendString(text);
}

void CLCD::WriteTextAt(uint32_t column, uint32_t line, const char* text) {
  SetPosition(column, line, 1);
  SendString(text);
}

void CLCD::VPrintf(uint32_t line, uint8_t align, const char* format, va_list args) {
  char text[kFormatBuffer];
  const int n = std::vsnprintf(text, sizeof text, format, args);
  if (n < 0 || n >= static_cast<int>(kFormatBuffer) - 1) return;
  const int32_t length = n;
  if (line >= 1 && line <= LCD_LINES) {
    int32_t column = -1;
    switch (align) {
      case LCD_ALIGN_LEFT:
        column = 1;
        break;
      case LCD_ALIGN_CENTRE:
        column = (42 - length) / 2;
        break;
      case LCD_ALIGN_RIGHT:
        column = 40 - length;
        break;
      default:
        break;
    }
    // A text longer than the line still starts on it.
    if (align == LCD_ALIGN_LEFT || align == LCD_ALIGN_CENTRE || align == LCD_ALIGN_RIGHT) {
      if (column < 1) column = 1;
      SetPosition(static_cast<uint32_t>(column), line, 1);
    }
  }
  SendString(text);
}

void CLCD::Printf(uint32_t line, uint8_t align, const char* format, ...) {
  va_list args;
  va_start(args, format);
  VPrintf(line, align, format, args);
  va_end(args);
}

void CLCD::PrintfAt(uint32_t line, uint32_t column, const char* format, ...) {
  char text[kFormatBuffer];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0 || n >= static_cast<int>(kFormatBuffer) - 1) return;
  WriteTextAt(column, line, text);
}

void CLCD::PrintfLine(uint32_t line, uint8_t align, const char* format, ...) {
  if (line < 1 || line > LCD_LINES) return;
  char text[kFormatBuffer];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return;
  uint32_t length = static_cast<uint32_t>(n) < sizeof text ? static_cast<uint32_t>(n) : sizeof text - 1;
  if (length > LCD_COLUMNS) length = LCD_COLUMNS;
  char out[LCD_COLUMNS + 1];
  std::memset(out, ' ', LCD_COLUMNS);
  out[LCD_COLUMNS] = 0;
  const uint32_t lead = align == LCD_ALIGN_CENTRE ? (LCD_COLUMNS - length) / 2 : 0;
  std::memcpy(out + lead, text, length);
  WriteTextAt(1, line, out);
}

void CLCD::PrintfField(uint32_t line, uint32_t column, uint8_t align, const char* format, ...) {
  if (align != LCD_ALIGN_LEFT && align != LCD_ALIGN_CENTRE && align != LCD_ALIGN_RIGHT) return;
  if (column >= LCD_COLUMNS) return;
  const uint32_t width = LCD_COLUMNS - column;
  char text[kFormatBuffer];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return;
  uint32_t length = static_cast<uint32_t>(n) < sizeof text ? static_cast<uint32_t>(n) : sizeof text - 1;
  if (length > width) length = width;
  char out[LCD_COLUMNS + 1];
  std::memset(out, ' ', width);
  out[width] = 0;
  uint32_t start = 0;
  if (align == LCD_ALIGN_CENTRE) {
    const int32_t s = static_cast<int32_t>(width / 2) - static_cast<int32_t>(length / 2);
    start = s > 0 ? static_cast<uint32_t>(s) : 0;
    if (start + length > width) start = width - length;
  } else if (align == LCD_ALIGN_RIGHT) {
    start = width - length;
  }
  std::memcpy(out + start, text, length);
  WriteTextAt(column, line, out);
}

void CLCD::ClearLine(uint32_t line) {
  if (line < 1 || line > LCD_LINES) return;
  char blanks[LCD_COLUMNS + 1];
  std::memset(blanks, ' ', LCD_COLUMNS);
  blanks[LCD_COLUMNS] = 0;
  WriteTextAt(1, line, blanks);
  if (line == 1) m_byCleared = 1;
}

void CLCD::ClearLineFrom(uint32_t line, uint32_t column) {
  if (line < 1 || line > LCD_LINES || column < 1 || column > LCD_COLUMNS) return;
  char blanks[LCD_COLUMNS + 1];
  const uint32_t n = LCD_COLUMNS + 1 - column;
  std::memset(blanks, ' ', n);
  blanks[n] = 0;
  WriteTextAt(column, line, blanks);
}

void CLCD::Clear() {
  const uint8_t command[] = {LCD_CMD, LCD_CMD_CLEAR};
  WriteCommand(command, sizeof command);
  m_byCleared = 1;
  // The panel needs the time to clear its memory.
  tx_thread_sleep(kClearPauseTicks);
}

// ---------------------------------------------------------------- graphics

uint32_t CLCD::Bitmap(uint32_t x, uint32_t y, uint32_t width, uint32_t height, const uint8_t* bits) {
  if (!bits || width == 0 || height == 0) return 2;
  if (!TakeBusy()) {
    monitor_printf_debug("CLCD::Bitmap: Warning Write Failed\n");
    return 2;
  }
  PutByte(LCD_CMD);
  PutByte(LCD_CMD_BITMAP);
  PutDataByte(static_cast<uint8_t>(x));
  PutDataByte(static_cast<uint8_t>(y));
  PutDataByte(static_cast<uint8_t>(x + width - 1));
  PutDataByte(static_cast<uint8_t>(y + height - 1));
  const uint32_t bytes = (width + 7) / 8 * height;
  for (uint32_t i = 0; i < bytes; ++i) {
    // A restarting panel is initialised again anyway.
    if (m_pOwner && m_pOwner->RestartCountdown()) {
      GiveBusy();
      return 2;
    }
    PutDataByte(bits[i]);
  }
  GiveBusy();
  return 0;
}

void CLCD::FillRect(uint8_t colour, uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2) {
  const uint8_t command[] = {LCD_CMD,
                             LCD_CMD_OUTLINE,
                             colour,
                             static_cast<uint8_t>(x1),
                             static_cast<uint8_t>(y1),
                             static_cast<uint8_t>(x2),
                             static_cast<uint8_t>(y2)};
  WriteCommand(command, sizeof command);
}

void CLCD::DrawRect(uint8_t colour, uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2) {
  const uint8_t command[] = {LCD_CMD,
                             LCD_CMD_BOX,
                             colour,
                             static_cast<uint8_t>(x1),
                             static_cast<uint8_t>(y1),
                             static_cast<uint8_t>(x2),
                             static_cast<uint8_t>(y2)};
  WriteCommand(command, sizeof command);
}

// ---------------------------------------------------------------- single commands

namespace {
void command0(CLCD* lcd, uint8_t letter) {
  const uint8_t command[] = {LCD_CMD, letter};
  lcd->WriteCommand(command, sizeof command);
}
void command1(CLCD* lcd, uint8_t letter, uint8_t value) {
  const uint8_t command[] = {LCD_CMD, letter, value};
  lcd->WriteCommand(command, sizeof command);
}
}  // namespace

void CLCD::SetContrast(uint8_t up) { command1(this, LCD_CMD_CONTRAST, up); }
void CLCD::BacklightOn(uint8_t level) { command1(this, LCD_CMD_BACKLIGHT_ON, level); }
void CLCD::BacklightOff() { command0(this, LCD_CMD_BACKLIGHT_OFF); }
void CLCD::LocalIndicatorOn() { command0(this, LCD_CMD_LOCAL_ON); }
void CLCD::LocalIndicatorOff() { command0(this, LCD_CMD_LOCAL_OFF); }
void CLCD::CommActivity() { command0(this, LCD_CMD_COMM_ACTIVITY); }
void CLCD::Probe() { command0(this, LCD_CMD_PROBE); }
void CLCD::Command7() { command0(this, LCD_CMD_FIRMWARE); }
void CLCD::Refresh() { command0(this, LCD_CMD_REFRESH); }
void CLCD::Flush() { command0(this, LCD_CMD_FLUSH); }
void CLCD::CommandC(uint8_t value) { command1(this, LCD_CMD_SETTING_C, value); }
void CLCD::CommandP(uint8_t a, uint8_t b) {
  const uint8_t command[] = {LCD_CMD, LCD_CMD_SETTING_P, a, b};
  WriteCommand(command, sizeof command);
}

// ---------------------------------------------------------------- suspend

uint32_t CLCD::Suspend() {
  if (!m_bLockCreated || !m_bSemaphoreCreated) return TX_MUTEX_ERROR;
  const os_status held = os_mutex_get(&m_Lock, OS_NO_WAIT);
  if (held != OS_SUCCESS) return held;
  if (os_semaphore_get(&m_Suspend, OS_NO_WAIT) == OS_SUCCESS) command0(this, LCD_CMD_SUSPEND);
  os_mutex_put(&m_Lock);
  return OS_SUCCESS;
}

uint32_t CLCD::Resume() {
  if (!m_bLockCreated || !m_bSemaphoreCreated) return TX_MUTEX_ERROR;
  const os_status held = os_mutex_get(&m_Lock, OS_NO_WAIT);
  if (held != OS_SUCCESS) return held;
  // A resume without a suspend would raise the count past the slots.
  if (SuspendCount() > 0) {
    os_semaphore_put(&m_Suspend);
    if (SuspendCount() == 0) command0(this, LCD_CMD_RESUME);
  }
  os_mutex_put(&m_Lock);
  return OS_SUCCESS;
}

uint32_t CLCD::SuspendCount() {
  if (!m_bSemaphoreCreated) return 0;
  uint32_t count = 0;
  if (os_semaphore_info(&m_Suspend, nullptr, &count) != OS_SUCCESS) return 0;
  return count >= LCD_SUSPEND_SLOTS ? 0 : LCD_SUSPEND_SLOTS - count;
}
