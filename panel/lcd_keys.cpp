#include "panel/lcd_keys.h"

#include <array>
#include <cstddef>

namespace {

// ---------------------------------------------------------------- keypad

constexpr uint8_t kFirst = LCD_KEY_FLAG_KEYPAD | LCD_KEY_FLAG_REPLACE;
constexpr uint8_t kNext = LCD_KEY_FLAG_REPLACE;

constexpr LCDKeyEvent F(uint16_t c) { return lcd_key_event(c, kFirst); }
constexpr LCDKeyEvent N(uint16_t c) { return lcd_key_event(c, kNext); }

const LCDKeyEvent kCancel[] = {F(LCD_KEY_ESC)};
const LCDKeyEvent k7[] = {F('7'), N('P'), N('Q'), N('R'), N('S'), N('7'), N('p'), N('q'), N('r'), N('s')};
const LCDKeyEvent k4[] = {F('4'), N('G'), N('H'), N('I'), N('4'), N('g'), N('h'), N('i')};
const LCDKeyEvent k1[] = {F('1'), N('$'), N('.'), N('&'), N('='), N('%'), N('*'), N('+'), N('-'), N('\\'),
                          N('@'), N(':'), N('^'), N('?'), N('!'), N('~'), N('#'), N('('), N(')')};
const LCDKeyEvent k0[] = {F('0'), N(' ')};
const LCDKeyEvent k8[] = {F('8'), N('T'), N('U'), N('V'), N('8'), N('t'), N('u'), N('v')};
const LCDKeyEvent k5[] = {F('5'), N('J'), N('K'), N('L'), N('5'), N('j'), N('k'), N('l')};
const LCDKeyEvent k2[] = {F('2'), N('A'), N('B'), N('C'), N('2'), N('a'), N('b'), N('c')};
const LCDKeyEvent kEnter[] = {F(LCD_KEY_ENTER)};
const LCDKeyEvent k9[] = {F('9'), N('W'), N('X'), N('Y'), N('Z'), N('9'), N('w'), N('x'), N('y'), N('z')};
const LCDKeyEvent k6[] = {F('6'), N('M'), N('N'), N('O'), N('6'), N('m'), N('n'), N('o')};
const LCDKeyEvent k3[] = {F('3'), N('D'), N('E'), N('F'), N('3'), N('d'), N('e'), N('f')};
const LCDKeyEvent kRight[] = {F(LCD_KEY_RIGHT)};
const LCDKeyEvent kLeft[] = {F(LCD_KEY_LEFT)};
const LCDKeyEvent kDown[] = {F(LCD_KEY_DOWN)};
const LCDKeyEvent kUp[] = {F(LCD_KEY_UP)};

struct keypad_list {
  const LCDKeyEvent* events;
  uint32_t count;
};
template <std::size_t Count>
constexpr keypad_list L(const LCDKeyEvent (&a)[Count]) {
  return {a, Count};
}
const keypad_list kKeypad[LCD_PAD_KEYS] = {L(kCancel), L(k7), L(k4), L(k1),     L(k0),    L(k8),
                                          L(k5),      L(k2), L(kEnter), L(k9), L(k6),    L(k3),
                                          L(kRight),  L(kLeft), L(kDown), L(kUp)};

// ---------------------------------------------------------------- layouts

typedef std::array<uint16_t, keyboard_decoder::kTableSize> layout_table;

struct key_pair {
  uint8_t scan;
  uint16_t plain;
  uint16_t shifted;
};

// The keys every table shares: function keys, editing keys, modifiers and
// locks.
constexpr key_pair kCommon[] = {
    {0x05, 0x100, 0x100}, {0x06, 0x101, 0x101}, {0x04, 0x102, 0x102}, {0x0C, 0x103, 0x103},
    {0x03, 0x104, 0x104}, {0x0B, 0x105, 0x105}, {0x83, 0x106, 0x106}, {0x0A, 0x107, 0x107},
    {0x01, 0x108, 0x108}, {0x09, 0x109, 0x109}, {0x78, 0x10A, 0x10A}, {0x07, 0x10B, 0x10B},
    {0x76, 27, 27},       {0x66, 8, 8},         {0x0D, 9, 9},         {0x5A, 10, 10},
    {0x29, ' ', ' '},     {0x14, 0x10C, 0x10C}, {0x11, 0x10D, 0x10D}, {0x12, 0x10E, 0x10E},
    {0x59, 0x111, 0x111}, {0x58, 0x112, 0x112}, {0x77, 0x113, 0x113}, {0x7E, 0x114, 0x114},
    // Numeric keypad: navigation plain, digits shifted.
    {0x69, 0x118, '1'},   {0x72, 0x11E, '2'},   {0x7A, 0x11A, '3'},   {0x6B, 0x11C, '4'},
    {0x73, '5', '5'},     {0x74, 0x11D, '6'},   {0x6C, 0x117, '7'},   {0x75, 0x11B, '8'},
    {0x7D, 0x119, '9'},   {0x70, 0x115, '0'},   {0x71, 0x116, '.'},   {0x79, '+', '+'},
    {0x7B, '-', '-'},     {0x7C, '*', '*'},
};

constexpr key_pair kUs[] = {
    {0x0E, '`', '~'},  {0x16, '1', '!'},  {0x1E, '2', '@'},  {0x26, '3', '#'},  {0x25, '4', '$'},
    {0x2E, '5', '%'},  {0x36, '6', '^'},  {0x3D, '7', '&'},  {0x3E, '8', '*'},  {0x46, '9', '('},
    {0x45, '0', ')'},  {0x4E, '-', '_'},  {0x55, '=', '+'},  {0x15, 'q', 'Q'},  {0x1D, 'w', 'W'},
    {0x24, 'e', 'E'},  {0x2D, 'r', 'R'},  {0x2C, 't', 'T'},  {0x35, 'y', 'Y'},  {0x3C, 'u', 'U'},
    {0x43, 'i', 'I'},  {0x44, 'o', 'O'},  {0x4D, 'p', 'P'},  {0x54, '[', '{'},  {0x5B, ']', '}'},
    {0x5D, '\\', '|'}, {0x1C, 'a', 'A'},  {0x1B, 's', 'S'},  {0x23, 'd', 'D'},  {0x2B, 'f', 'F'},
    {0x34, 'g', 'G'},  {0x33, 'h', 'H'},  {0x3B, 'j', 'J'},  {0x42, 'k', 'K'},  {0x4B, 'l', 'L'},
    {0x4C, ';', ':'},  {0x52, '\'', '"'}, {0x1A, 'z', 'Z'},  {0x22, 'x', 'X'},  {0x21, 'c', 'C'},
    {0x2A, 'v', 'V'},  {0x32, 'b', 'B'},  {0x31, 'n', 'N'},  {0x3A, 'm', 'M'},  {0x41, ',', '<'},
    {0x49, '.', '>'},  {0x4A, '/', '?'},
};

// Where the Canadian French layout differs.
constexpr key_pair kFrDiff[] = {
    {0x0E, '#', '|'},   {0x1E, '2', '"'},   {0x26, '3', '/'},   {0x36, '6', '?'},
    {0x41, ',', '\''},  {0x49, '.', '.'},   {0x4A, 0xE9, 0xC9}, {0x52, 0x60, 0x60},
    {0x54, '^', '^'},   {0x5B, 0xB8, 0xA8}, {0x5D, '<', '>'},
};

constexpr key_pair kFrAltGr[] = {
    {0x0E, '\\', 0}, {0x16, 0xB1, 0}, {0x1E, '@', 0},  {0x25, 0xA2, 0}, {0x26, 0xA3, 0}, {0x2E, 0xA4, 0},
    {0x36, 0xAC, 0}, {0x3D, 0xA6, 0}, {0x3E, 0xB2, 0}, {0x41, 0xAF, 0}, {0x44, 0xA7, 0}, {0x45, 0xBC, 0},
    {0x46, 0xB3, 0}, {0x49, 0xAD, 0}, {0x4A, 0xB4, 0}, {0x4C, '~', 0},  {0x4D, 0xB6, 0}, {0x4E, 0xBD, 0},
    {0x52, '{', 0},  {0x54, '[', 0},  {0x55, 0xBE, 0}, {0x5B, ']', 0},  {0x5D, '}', 0},
};

template <std::size_t Count>
constexpr void put(layout_table& t, const key_pair (&keys)[Count], bool shifted) {
  for (const key_pair& k : keys) t[k.scan] = static_cast<uint16_t>((shifted ? k.shifted : k.plain) << 3);
}

constexpr layout_table make_table(bool french, bool shifted) {
  layout_table t{};
  put(t, kCommon, shifted);
  put(t, kUs, shifted);
  if (french) put(t, kFrDiff, shifted);
  return t;
}

constexpr layout_table make_altgr() {
  layout_table t{};
  for (const key_pair& k : kCommon)
    if (k.plain >= LCD_KEY_F1 && k.plain <= LCD_KEY_F12) t[k.scan] = static_cast<uint16_t>(k.plain << 3);
  put(t, kFrAltGr, false);
  return t;
}

constexpr layout_table kEnUs = make_table(false, false);
constexpr layout_table kEnUsShifted = make_table(false, true);
constexpr layout_table kFrCa = make_table(true, false);
constexpr layout_table kFrCaShifted = make_table(true, true);
constexpr layout_table kFrCaAltGr = make_altgr();

// Dead keys: spacing characters by index, and the compositions.
constexpr uint8_t kSpacing[5] = {0xB4, '^', 0x60, 0xA8, 0xB8};

struct composition {
  uint8_t base;
  uint8_t by_index[5];  // 0: none
};
constexpr composition kCompositions[] = {
    {'a', {0xE1, 0xE2, 0xE0, 0xE4, 0}}, {'e', {0xE9, 0xEA, 0xE8, 0xEB, 0}}, {'i', {0xED, 0xEE, 0xEC, 0xEF, 0}},
    {'o', {0xF3, 0xF4, 0xF2, 0xF6, 0}}, {'u', {0xFA, 0xFB, 0xF9, 0xFC, 0}}, {'y', {0xFD, 0, 0, 0xFF, 0}},
    {'c', {0, 0, 0, 0, 0xE7}},          {'A', {0xC1, 0xC2, 0xC0, 0xC4, 0}}, {'E', {0xC9, 0xCA, 0xC8, 0xCB, 0}},
    {'I', {0xCD, 0xCE, 0xCC, 0xCF, 0}}, {'O', {0xD3, 0xD4, 0xD2, 0xD6, 0}}, {'U', {0xDA, 0xDB, 0xD9, 0xDC, 0}},
    {'Y', {0xDD, 0, 0, 0x9F, 0}},       {'C', {0, 0, 0, 0, 0xC7}},
};

// Scan codes of the numeric keypad, which carry the keypad flag.
bool numeric_keypad(uint8_t b) {
  return b == 0x69 || b == 0x6B || b == 0x6C || (b >= 0x70 && b <= 0x75) || b == 0x77 || (b >= 0x79 && b <= 0x7E);
}

}  // namespace

const LCDKeyEvent* lcd_keypad_events(uint32_t k, uint32_t* count) {
  if (k >= LCD_PAD_KEYS) {
    if (count) *count = 0;
    return nullptr;
  }
  if (count) *count = kKeypad[k].count;
  return kKeypad[k].events;
}

uint32_t latin1_toupper(uint32_t c) {
  if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0xAF;
  return c;
}

uint32_t latin1_tolower(uint32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c == 0xAF) return 0xFF;
  return c;
}

int32_t keypad_digit_of(uint32_t c) {
  c = latin1_toupper(c);
  if ((c >= 'A' && c <= 'C') || (c >= 0xC0 && c <= 0xC5)) return 2;
  if ((c >= 'D' && c <= 'F') || (c >= 0xC8 && c <= 0xCB)) return 3;
  if ((c >= 'G' && c <= 'I') || (c >= 0xCC && c <= 0xCF)) return 4;
  if (c >= 'J' && c <= 'L') return 5;
  if ((c >= 'M' && c <= 'O') || (c >= 0xD2 && c <= 0xD6)) return 6;
  if (c >= 'P' && c <= 'S') return 7;
  if ((c >= 'T' && c <= 'V') || (c >= 0xD9 && c <= 0xDC)) return 8;
  if ((c >= 'W' && c <= 'Z') || c == 0x9F) return 9;
  if (c == ' ') return 0;
  if (c >= '0' && c <= '9') return static_cast<int32_t>(c - '0');
  if (c >= 0x20) return 1;
  return -1;
}

// ---------------------------------------------------------------- keyboard

bool keyboard_decoder::SetLanguage(uint32_t layout) {
  if (layout != KEYBOARD_LAYOUT_ENUS && layout != KEYBOARD_LAYOUT_FRCA) return false;
  m_dwLayout = layout;
  m_byDeadKey = kNoDeadKey;
  return true;
}

bool keyboard_decoder::PutKey(LCDKeyEvent event) {
  if (m_byCount >= kQueue) return false;
  m_aQueue[m_byCount++] = event;
  return true;
}

bool keyboard_decoder::GetKey(LCDKeyEvent* out) {
  if (m_byCount == 0) return false;
  if (out) *out = m_aQueue[0];
  for (uint32_t i = 1; i < m_byCount; ++i) m_aQueue[i - 1] = m_aQueue[i];
  --m_byCount;
  return true;
}

uint32_t keyboard_decoder::Ignore() {
  // A release of a key without a code must not turn the next press into a
  // release.
  m_wState &= static_cast<uint16_t>(~STATE_BREAK);
  return 0;
}

uint32_t keyboard_decoder::FeedScanCode(uint8_t b) {
  if (b == 0xF0) {
    m_wState |= STATE_BREAK;
    return 1;
  }
  if (b == 0xE0) {
    m_wState |= STATE_EXTENDED;
    return 1;
  }

  uint16_t code = 0;
  uint8_t flags = 0;
  if (m_wState & STATE_EXTENDED) {
    m_wState &= static_cast<uint16_t>(~STATE_EXTENDED);
    switch (b) {
      case 0x11: code = LCD_KEY_RIGHT_ALT; break;
      case 0x14: code = LCD_KEY_RIGHT_CTRL; break;
      case 0x1F: code = LCD_KEY_LEFT_GUI; break;
      case 0x27: code = LCD_KEY_RIGHT_GUI; break;
      case 0x2F: code = LCD_KEY_MENU; break;
      case 0x4A: code = '/'; flags = LCD_KEY_FLAG_KEYPAD; break;
      case 0x5A: code = LCD_KEY_ENTER; flags = LCD_KEY_FLAG_KEYPAD; break;
      case 0x69: code = LCD_KEY_END; break;
      case 0x6B: code = LCD_KEY_LEFT; break;
      case 0x6C: code = LCD_KEY_HOME; break;
      case 0x70: code = LCD_KEY_INSERT; break;
      case 0x71: code = LCD_KEY_DELETE; break;
      case 0x72: code = LCD_KEY_DOWN; break;
      case 0x74: code = LCD_KEY_RIGHT; break;
      case 0x75: code = LCD_KEY_UP; break;
      case 0x7A: code = LCD_KEY_PAGE_DOWN; break;
      case 0x7C: code = LCD_KEY_PRINT_SCREEN; break;
      case 0x7D: code = LCD_KEY_PAGE_UP; break;
      default: return Ignore();
    }
  } else {
    if (b >= kTableSize) return Ignore();
    bool shifted, lock;
    if (b < 0x69) {
      shifted = (m_wState & (STATE_LEFT_SHIFT | STATE_RIGHT_SHIFT)) != 0;
      lock = (m_wState & STATE_CAPS_LOCK) != 0;
    } else {
      lock = (m_wState & STATE_NUM_LOCK) != 0;
      shifted = lock && (m_wState & (STATE_LEFT_SHIFT | STATE_RIGHT_SHIFT)) != 0;
    }
    uint16_t entry = 0;
    if (m_dwLayout == KEYBOARD_LAYOUT_FRCA) {
      if (m_wState & STATE_RIGHT_ALT) entry = kFrCaAltGr[b];
      if (entry == 0) entry = shifted ? kFrCaShifted[b] : kFrCa[b];
    } else {
      entry = shifted ? kEnUsShifted[b] : kEnUs[b];
    }
    code = static_cast<uint16_t>(entry >> 3);
    if (lock && code <= 0xFF) code = static_cast<uint16_t>(shifted ? latin1_tolower(code) : latin1_toupper(code));
    if (code == 0) return Ignore();
    if (numeric_keypad(b)) flags = LCD_KEY_FLAG_KEYPAD;
  }

  const bool is_break = (m_wState & STATE_BREAK) != 0;
  if (code >= LCD_KEY_LEFT_CTRL && code <= LCD_KEY_RIGHT_SHIFT) {
    const uint16_t bit = static_cast<uint16_t>(1u << (code - LCD_KEY_LEFT_CTRL));
    if (is_break)
      m_wState &= static_cast<uint16_t>(~bit);
    else
      m_wState |= bit;
  } else if (code >= LCD_KEY_CAPS_LOCK && code <= LCD_KEY_SCROLL_LOCK && !is_break) {
    m_wState ^= static_cast<uint16_t>(STATE_CAPS_LOCK << (code - LCD_KEY_CAPS_LOCK));
  }
  const uint8_t ctrl = (m_wState & (STATE_LEFT_CTRL | STATE_RIGHT_CTRL)) ? LCD_KEY_FLAG_CTRL : 0;
  flags = static_cast<uint8_t>(flags | ctrl);

  if (is_break) {
    m_wState &= static_cast<uint16_t>(~STATE_BREAK);
    return 1;
  }
  if (m_dwLayout == KEYBOARD_LAYOUT_FRCA && code <= 0xFF)
    Compose(code, flags);
  else
    PutKey(lcd_key_event(code, flags));
  return 1;
}

void keyboard_decoder::Compose(uint16_t code, uint8_t flags) {
  const uint8_t ctrl = static_cast<uint8_t>(flags & LCD_KEY_FLAG_CTRL);
  int32_t dead = -1;
  switch (code) {
    case 0xB4: dead = 0; break;
    case '^': dead = 1; break;
    case 0x60: dead = 2; break;
    case 0xA8:
    case 0xB8: dead = (m_wState & (STATE_LEFT_SHIFT | STATE_RIGHT_SHIFT)) ? 3 : 4; break;
    default: break;
  }
  if (dead >= 0) {
    if (m_byDeadKey == kNoDeadKey) {
      m_byDeadKey = static_cast<uint8_t>(dead);
    } else {
      PutKey(lcd_key_event(kSpacing[m_byDeadKey], ctrl));
      PutKey(lcd_key_event(kSpacing[dead], ctrl));
      m_byDeadKey = kNoDeadKey;
    }
    return;
  }
  if (m_byDeadKey == kNoDeadKey) {
    PutKey(lcd_key_event(code, flags));
    return;
  }
  const uint8_t index = m_byDeadKey;
  m_byDeadKey = kNoDeadKey;
  if (code == LCD_KEY_BACKSPACE) return;
  for (const composition& c : kCompositions) {
    if (c.base == code && c.by_index[index]) {
      PutKey(lcd_key_event(c.by_index[index], ctrl));
      return;
    }
  }
  PutKey(lcd_key_event(kSpacing[index], ctrl));
  if (code != ' ') PutKey(lcd_key_event(code, flags));
}
