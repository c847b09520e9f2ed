// Services of the manager that pages use: the cursor, the number and text
// editors, the field painters, and the message operations (activation
// target, activation, the message table's status protocol).
#include <cstdio>
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "display/codes/msg_codes.h"
#include "frame/trace/trace.h"
#include "panel/lcd_manager.h"

namespace {

// The last value that may still take a digit without leaving 32 bits.
constexpr uint32_t kDigitGuard = 429496728;
constexpr uint32_t kFieldMax = 16;
constexpr uint32_t kPanelSlot = 6;
constexpr uint8_t kSourceLocal = 2;
constexpr uint8_t kStatusNotUsed = 1;
constexpr uint8_t kStatusModifying = 2;
constexpr uint8_t kStatusValid = 4;
constexpr uint8_t kStatusError = 5;
constexpr uint8_t kStatusModifyReq = 6;
constexpr uint8_t kStatusValidateReq = 7;
constexpr uint8_t kStatusNotUsedReq = 8;
constexpr uint32_t kChangeableEntries = 500;
constexpr uint32_t kStatusPolls = 5;
enum : uint32_t { MEM_PERMANENT = 2, MEM_CHANGEABLE = 3, MEM_VOLATILE = 4, MEM_SCHEDULE = 6, MEM_BLANK = 7 };
constexpr uint32_t kVolatileMessages = 4;

CDataBase* db() { return g_pDataBase; }
uint32_t nv_value(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_nv, 0) : 0; }
uint32_t v_value(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_v, 0) : 0; }

}  // namespace

// ---------------------------------------------------------------- cursor

void CLCD_Manager::ShowCursor(bool visible, int32_t line, int32_t column) {
  m_byCursorVisible = visible ? 1 : 0;
  m_iCursorLine = line;
  m_iCursorColumn = column;
}

void CLCD_Manager::SetCursorPos(int32_t line, int32_t column) {
  if (line >= 0) m_iCursorLine = line;
  if (column >= 0) m_iCursorColumn = column;
}

// ---------------------------------------------------------------- editors

bool CLCD_Manager::EditNumber(uint32_t* value, uint32_t max, LCDKeyEvent key, uint8_t rolling) {
  if (!value) return false;
  if (lcd_key_is_backspace(key)) {
    if (*value) *value /= 10;
    RequestRedraw(LCD_DRAW_PARTIAL);
    return true;
  }
  const uint16_t code = lcd_key_code(key);
  if (code < '0' || code > '9') return false;
  const uint32_t digit = code - '0';
  const uint64_t next = static_cast<uint64_t>(*value) * 10 + digit;
  if (!rolling) {
    if (*value <= kDigitGuard && (max == 0 || next <= max)) *value = static_cast<uint32_t>(next);
  } else if (next <= max) {
    *value = static_cast<uint32_t>(next);
  } else {
    uint64_t p = 10;
    while (p <= 1000000000ull && max >= p) p *= 10;
    if (p <= 1000000000ull) {
      uint64_t v = next;
      while (v > max && p > 0) {
        v %= p;
        p /= 10;
      }
      *value = static_cast<uint32_t>(v);
    }
  }
  RequestRedraw(LCD_DRAW_PARTIAL);
  return true;
}

bool CLCD_Manager::EditText(char* buffer, uint32_t size, LCDKeyEvent key) {
  // Room for at least one character and its end.
  if (!buffer || size < 2) return false;
  uint32_t length = static_cast<uint32_t>(strnlen(buffer, size - 1));
  if (lcd_key_is_backspace(key)) {
    if (length == 0) return false;
    buffer[length - 1] = 0;
    RequestRedraw(LCD_DRAW_PARTIAL);
    return true;
  }
  const uint16_t code = lcd_key_code(key);
  if (lcd_key_flags(key) & LCD_KEY_FLAG_REPLACE) {
    if (code > 0xFF) return false;
    if (length == 0) length = 1;
    buffer[length - 1] = static_cast<char>(code);
  } else {
    if (code < 0x20 || code > 0xFF || length >= size - 1) return false;
    buffer[length++] = static_cast<char>(code);
  }
  buffer[length] = 0;
  ++m_byTapIndex;
  RequestRedraw(LCD_DRAW_PARTIAL);
  return true;
}

// ---------------------------------------------------------------- painters

void CLCD_Manager::DrawNumberField(uint32_t line, uint32_t column, uint32_t value, uint32_t width,
                                   bool place_cursor) {
  if (width >= kFieldMax) return;
  char text[kFieldMax];
  const int n = std::snprintf(text, sizeof text, "%u", value);
  const uint32_t length = n > 0 ? static_cast<uint32_t>(n) : 0;
  if (place_cursor)
    ShowCursor(true, static_cast<int32_t>(line), static_cast<int32_t>(column + length - (value == 0 ? 1 : 0)));
  m_Lcd.PrintfAt(line, column, "%-*s", static_cast<int>(width), text);
}

void CLCD_Manager::DrawDecimalField(uint32_t line, uint32_t column, uint32_t whole, uint8_t whole_digits,
                                    uint32_t fraction, uint8_t fraction_digits, bool typing_fraction,
                                    bool place_cursor) {
  const uint32_t width = static_cast<uint32_t>(whole_digits) + fraction_digits + 1;
  if (width >= kFieldMax) return;
  char text[64];
  uint32_t back = 0;
  if (!typing_fraction) {
    if (whole_digits == 0)
      std::snprintf(text, sizeof text, " .");
    else
      std::snprintf(text, sizeof text, "%u .", whole);
    back = 2;
  } else {
    if (fraction_digits == 0)
      std::snprintf(text, sizeof text, "%u. ", whole);
    else if (fraction_digits <= 6)
      std::snprintf(text, sizeof text, "%u.%0*u ", whole, static_cast<int>(fraction_digits), fraction);
    else
      std::snprintf(text, sizeof text, "%u.%u ", whole, fraction);
    back = 1;
  }
  text[kFieldMax - 1] = 0;
  const uint32_t length = static_cast<uint32_t>(std::strlen(text));
  if (place_cursor) ShowCursor(true, static_cast<int32_t>(line), static_cast<int32_t>(column + length - back));
  m_Lcd.PrintfAt(line, column, "%-*s", static_cast<int>(width), text);
}

void CLCD_Manager::DrawTextField(uint32_t line, uint32_t column, const char* text, uint32_t width, uint32_t rows,
                                 bool place_cursor) {
  if (!text || width == 0 || rows == 0) return;
  uint32_t n = static_cast<uint32_t>(std::strlen(text));
  if (n > width * rows) n = width * rows;
  if (place_cursor) ShowCursor(true, static_cast<int32_t>(line + n / width), static_cast<int32_t>(column + n % width));
  uint32_t offset = 0;
  for (uint32_t row = 0; row < rows; ++row) {
    const uint32_t chunk = offset < n ? (n - offset < width ? n - offset : width) : 0;
    m_Lcd.PrintfAt(line + row, column, "%.*s%*s", static_cast<int>(chunk), text + offset,
                   static_cast<int>(width - chunk), "");
    offset += chunk;
  }
}

// ---------------------------------------------------------------- messages

void CLCD_Manager::SetActivationTarget(uint32_t memory_type, uint32_t number) {
  m_dwTargetType = memory_type;
  m_dwTargetNumber = number;
}

void CLCD_Manager::SetActivationTargetIfValid(uint32_t, int32_t memory_type, uint32_t number) {
  if (memory_type >= 0) SetActivationTarget(static_cast<uint32_t>(memory_type), number);
}

bool CLCD_Manager::ActivateMessage(uint16_t duration) {
  if (!db()) return false;
  const uint32_t n = m_dwTargetNumber;
  uint32_t crc = 0;
  bool found = true;
  switch (m_dwTargetType) {
    case MEM_PERMANENT:
      if (n >= 1 && n <= 2) {
        crc = v_value(vol::permanentMessageCRC(n - 1));
      } else if (n > 2 && n <= v_value(vol::dmsNumPermanentMsg)) {
        crc = nv_value(nv::dmsMessageCRC(n + 497));
      } else {
        monitor_printf("CLCD_Manager: ERROR --  trying to activate an invalid permanent message");
        found = false;
      }
      break;
    case MEM_CHANGEABLE:
      if (n >= 1 && n <= kChangeableEntries)
        crc = nv_value(nv::dmsMessageCRC(n - 1));
      else
        found = false;
      break;
    case MEM_VOLATILE:
      if (n >= 1 && n <= kVolatileMessages)
        crc = v_value(vol::volatileMessageCRC(n - 1));
      else
        found = false;
      break;
    case MEM_SCHEDULE:
    case MEM_BLANK:
      break;
    default:
      found = false;
      break;
  }
  // A target that names no message is not put in the slot.
  if (!found) return false;
  CMsgActivationCode code;
  code.m_wDuration = duration;
  code.m_byPriority = 255;
  code.m_byMemoryType = static_cast<uint8_t>(m_dwTargetType);
  code.m_wMessageNumber = static_cast<uint16_t>(n);
  code.m_wCRC = static_cast<uint16_t>(crc);
  std::memset(code.m_bySource, 0, sizeof code.m_bySource);
  code.Encode();
  CDataBase& d = *db();
  d.SetValue(vol::activationSlotSourceMode(kPanelSlot).offset, 1, kSourceLocal, d.mib_v, DB_NOTIFY);
  d.SetValue(vol::activationSlotReason(kPanelSlot).offset, 1, kSourceLocal, d.mib_v, DB_NOTIFY);
  d.SetString(vol::activationSlotCode(kPanelSlot).offset, 4, code.m_encoded, MSG_ACTIVATION_CODE_SIZE, d.mib_v,
              DB_NOTIFY);
  return true;
}

bool CLCD_Manager::IsRunning(uint32_t memory_type, uint32_t number) {
  if (!db()) return false;
  uint32_t length = 0;
  const uint8_t* bytes = db()->GetString(nv::dmsMsgTableSource.offset, 4, db()->mib_nv, &length);
  CMsgIDCode id;
  if (!id.Decode(bytes, length)) return false;
  return id.m_byMemoryType == memory_type && id.m_wMessageNumber == number;
}

bool CLCD_Manager::SetMessageStatus(uint32_t entry, uint8_t request, uint8_t expected) {
  if (!db() || entry >= kChangeableEntries) return false;
  const db_object status = nv::dmsMessageStatus(entry);
  db()->SetValue(status.offset, 1, request, db()->mib_nv, DB_NOTIFY);
  for (uint32_t k = 1; k <= kStatusPolls; ++k) {
    tx_thread_sleep(10 * k);
    const uint32_t now = nv_value(status);
    if (now == expected) return true;
    if (now == kStatusError || now != request) return false;
  }
  return false;
}

bool CLCD_Manager::StoreEditedMessage() {
  if (!db() || m_wEditSlot < 1 || m_wEditSlot > kChangeableEntries) return false;
  const uint32_t i = m_wEditSlot - 1u;
  if (nv_value(nv::dmsMessageStatus(i)) != kStatusNotUsed &&
      !SetMessageStatus(i, kStatusNotUsedReq, kStatusNotUsed))
    return false;
  if (!SetMessageStatus(i, kStatusModifyReq, kStatusModifying)) {
    SetMessageStatus(i, kStatusNotUsedReq, kStatusNotUsed);
    return false;
  }
  CDataBase& d = *db();
  const uint32_t length = m_dwEditLength < kEditSize ? m_dwEditLength : kEditSize;
  d.SetString(nv::dmsMessageMultiString(i).offset, 4, m_szEdit, length, d.mib_nv, DB_NOTIFY);
  d.SetString(nv::dmsMessageOwner(i).offset, 4, m_szEditOwner,
              static_cast<uint32_t>(strnlen(m_szEditOwner, sizeof m_szEditOwner)), d.mib_nv, DB_NOTIFY);
  d.SetValue(nv::dmsMessageRunTimePriority(i).offset, 1, m_byEditPriority, d.mib_nv, DB_NOTIFY);
  d.SetValue(nv::dmsMessageBeacon(i).offset, 1, m_byEditBeacon ? 1 : 0, d.mib_nv, DB_NOTIFY);
  if (!SetMessageStatus(i, kStatusValidateReq, kStatusValid)) {
    SetMessageStatus(i, kStatusNotUsedReq, kStatusNotUsed);
    return false;
  }
  SetActivationTarget(MEM_CHANGEABLE, m_wEditSlot);
  return true;
}

bool CLCD_Manager::FindFreeSlot() {
  m_wEditSlot = 0;
  for (uint32_t i = 0; i < kChangeableEntries; ++i) {
    if (nv_value(nv::dmsMessageStatus(i)) == kStatusNotUsed) {
      m_wEditSlot = static_cast<uint16_t>(i + 1);
      ActivateMenu(LCD_MENU_MESSAGE_EDITOR, m_pCurrentMenu, false);
      return true;
    }
  }
  ActivateMenu(LCD_MENU_SLOTS_FULL, m_pCurrentMenu, false);
  return false;
}
