// Key events of the front panel: the keypad's 16 keys (with multi-tap
// letters) and the PS/2 keyboard that the panel forwards, both turned into
// one 16-bit event for the pages.
#pragma once

#include <cstdint>

// Bits 15..3: the key code; bits 2..0: flags.
typedef uint16_t LCDKeyEvent;

enum : uint8_t {
  LCD_KEY_FLAG_KEYPAD = 1,   // a keypad digit (or the PS/2 numeric keypad): stands for its letter group
  LCD_KEY_FLAG_REPLACE = 2,  // replaces the last character typed (same keypad key again)
  LCD_KEY_FLAG_CTRL = 4,     // Ctrl held
  LCD_KEY_FLAGS = 7,
};

// Key codes: 0x20..0xFF are Latin-1 characters.
enum : uint16_t {
  LCD_KEY_BACKSPACE = 8,
  LCD_KEY_TAB = 9,
  LCD_KEY_ENTER = 10,
  LCD_KEY_ESC = 27,
  LCD_KEY_F1 = 0x100,
  LCD_KEY_F12 = 0x10B,
  LCD_KEY_LEFT_CTRL = 0x10C,
  LCD_KEY_LEFT_ALT = 0x10D,
  LCD_KEY_LEFT_SHIFT = 0x10E,
  LCD_KEY_RIGHT_CTRL = 0x10F,
  LCD_KEY_RIGHT_ALT = 0x110,
  LCD_KEY_RIGHT_SHIFT = 0x111,
  LCD_KEY_CAPS_LOCK = 0x112,
  LCD_KEY_NUM_LOCK = 0x113,
  LCD_KEY_SCROLL_LOCK = 0x114,
  LCD_KEY_INSERT = 0x115,
  LCD_KEY_DELETE = 0x116,
  LCD_KEY_HOME = 0x117,
  LCD_KEY_END = 0x118,
  LCD_KEY_PAGE_UP = 0x119,
  LCD_KEY_PAGE_DOWN = 0x11A,
  LCD_KEY_UP = 0x11B,
  LCD_KEY_LEFT = 0x11C,
  LCD_KEY_RIGHT = 0x11D,
  LCD_KEY_DOWN = 0x11E,
  LCD_KEY_LEFT_GUI = 0x11F,
  LCD_KEY_RIGHT_GUI = 0x120,
  LCD_KEY_MENU = 0x121,
  LCD_KEY_PRINT_SCREEN = 0x122,
  // The page was opened by ActivateMenu with a forwarded key.
  LCD_KEY_FORWARDED = 0x123,
};

constexpr LCDKeyEvent lcd_key_event(uint16_t code, uint8_t flags = 0) {
  return static_cast<LCDKeyEvent>((code << 3) | (flags & LCD_KEY_FLAGS));
}
constexpr uint16_t lcd_key_code(LCDKeyEvent e) { return static_cast<uint16_t>(e >> 3); }
constexpr uint8_t lcd_key_flags(LCDKeyEvent e) { return static_cast<uint8_t>(e & LCD_KEY_FLAGS); }
constexpr bool lcd_key_is_function(LCDKeyEvent e) {
  return lcd_key_code(e) >= LCD_KEY_F1 && lcd_key_code(e) <= LCD_KEY_F12;
}
// Backspace, or the keypad's LEFT (which editors take for a backspace).
constexpr bool lcd_key_is_backspace(LCDKeyEvent e) {
  return lcd_key_code(e) == LCD_KEY_BACKSPACE ||
         (lcd_key_code(e) == LCD_KEY_LEFT && (lcd_key_flags(e) & LCD_KEY_FLAG_KEYPAD));
}

// ---- the keypad

// Panel codes of the keypad keys.
enum : uint8_t {
  LCD_PAD_CANCEL = 0,
  LCD_PAD_ENTER = 8,
  LCD_PAD_RIGHT = 12,
  LCD_PAD_LEFT = 13,
  LCD_PAD_DOWN = 14,
  LCD_PAD_UP = 15,
  LCD_PAD_KEYS = 16,
};

// The events of keypad key k (0..15) in tap order; *count their number.
// The first event carries the keypad and replace flags, the others the
// replace flag. Null for k outside the keypad.
const LCDKeyEvent* lcd_keypad_events(uint32_t k, uint32_t* count);

// The keypad digit whose letter group holds c (after latin1_toupper): 2 for
// A-C, ... 9 for W-Z, 0 for the blank, the digit itself, 1 for any other
// character from 0x20 up, -1 below 0x20.
int32_t keypad_digit_of(uint32_t c);
uint32_t latin1_toupper(uint32_t c);
uint32_t latin1_tolower(uint32_t c);

// ---- the PS/2 keyboard

// Layouts, as four characters in a u32.
constexpr uint32_t KEYBOARD_LAYOUT_ENUS = ('E' << 24) | ('N' << 16) | ('U' << 8) | 'S';
constexpr uint32_t KEYBOARD_LAYOUT_FRCA = ('F' << 24) | ('R' << 16) | ('C' << 8) | 'A';

// Scan code set 2 to key events, with the modifier and lock state, the
// Canadian French dead keys and a queue of 4 events.
class keyboard_decoder {
 public:
  enum : uint16_t {
    STATE_LEFT_CTRL = 0x1,
    STATE_LEFT_ALT = 0x2,
    STATE_LEFT_SHIFT = 0x4,
    STATE_RIGHT_CTRL = 0x8,
    STATE_RIGHT_ALT = 0x10,
    STATE_RIGHT_SHIFT = 0x20,
    STATE_CAPS_LOCK = 0x40,
    STATE_NUM_LOCK = 0x80,
    STATE_SCROLL_LOCK = 0x100,
    STATE_BREAK = 0x200,
    STATE_EXTENDED = 0x400,
  };
  static constexpr uint32_t kQueue = 4;
  static constexpr uint32_t kTableSize = 132;
  static constexpr uint8_t kNoDeadKey = 0xFF;

  // Accepts "ENUS" and "FRCA" only.
  bool SetLanguage(uint32_t layout);
  uint32_t Language() const { return m_dwLayout; }
  // 1 when the byte was taken (events may have been queued), 0 ignored.
  uint32_t FeedScanCode(uint8_t byte);
  bool GetKey(LCDKeyEvent* out);
  // false (the event is dropped) while 4 are queued.
  bool PutKey(LCDKeyEvent event);
  uint32_t Queued() const { return m_byCount; }
  // The panel sends the modifier and lock bits ahead of the scan codes.
  void SetStateLow(uint8_t bits) { m_wState = static_cast<uint16_t>((m_wState & 0xFF00) | bits); }
  uint16_t State() const { return m_wState; }
  // The end of the panel's sequence: a prefix left open by a cut sequence
  // must not turn the next sequence's first key into a release.
  void EndSequence() { m_wState &= static_cast<uint16_t>(~(STATE_BREAK | STATE_EXTENDED)); }

 private:
  uint32_t Ignore();
  void Compose(uint16_t code, uint8_t flags);

  uint32_t m_dwLayout = KEYBOARD_LAYOUT_ENUS;
  uint16_t m_wState = 0;
  uint8_t m_byDeadKey = kNoDeadKey;
  uint8_t m_byCount = 0;
  LCDKeyEvent m_aQueue[kQueue] = {};
};
