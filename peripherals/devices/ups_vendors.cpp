// The five vendor dialects of the external UPS: port settings, queries by
// phase and the byte-by-byte reply parsers.
#include <cstdio>
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "peripherals/devices/ups.h"
#include "peripherals/pdb.h"

namespace {
constexpr uint8_t kCR = 0x0D;
constexpr uint8_t kLF = 0x0A;
// Digits of a reading beyond which it cannot be a voltage.
constexpr uint8_t kMaxDigits = 6;

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }
}  // namespace

// ------------------------------------------------------------------ Powercom

int powercom_ups::Open() {
  WritePort(6, 2, 1200);
  return CUninterruptiblePowerSupply::Open();
}

void powercom_ups::SendQuery(uint8_t, uint16_t) {
  m_byReplyPos = 0;
  Put(0x01);
}

int powercom_ups::ParseReply(uint8_t byte) {
  const uint8_t p = m_byReplyPos;
  Advance();
  if (p == 9) {
    m_dwStatus = 0;
    if (byte & 0x01) m_dwStatus |= UPS_ON_BATTERY;
    if (byte & 0x02) m_dwStatus |= UPS_BATTERY_LOW;
    if (byte & 0x08) m_dwStatus |= UPS_BOOST_TRIM;
    if (byte & 0x20) m_dwStatus |= UPS_OVERLOAD;
  } else if (p == 10) {
    if (byte & 0x02) m_dwStatus |= UPS_BAD_BATTERY;
    if (byte & 0x04) m_dwStatus |= UPS_TEST_CYCLE;
    return 1;
  }
  return 0;
}

// ----------------------------------------------------------------- Minuteman

constexpr uint32_t minuteman_ups::kSpeeds[5];
uint8_t minuteman_ups::s_byProbeIndex = 3;
char minuteman_ups::s_szEcho[6] = {};

int minuteman_ups::Open() {
  // The speed is found by probing.
  WritePort(7, 0, 0);
  return CUninterruptiblePowerSupply::Open();
}

void minuteman_ups::SendQuery(uint8_t phase, uint16_t) {
  m_byReplyPos = 0;
  const uint32_t speed = pdb::get_nv(nv::rs232PortInSpeed(AUX_INDEX));
  if (speed != m_dwSpeed) {
    m_bySpeedLocked = 0;
    m_byRetries = 5;
    s_byProbeIndex = 3;
  }
  if (!m_bySpeedLocked) {
    if (m_byRetries >= 5) {
      if (s_byProbeIndex >= 5) s_byProbeIndex = 0;
      m_dwSpeed = kSpeeds[s_byProbeIndex];
      s_byProbeIndex = static_cast<uint8_t>(s_byProbeIndex + 1 >= 5 ? 0 : s_byProbeIndex + 1);
      pdb::set_nv(nv::rs232PortInSpeed(AUX_INDEX), m_dwSpeed);
      m_byRetries = 0;
    } else {
      ++m_byRetries;
    }
    m_byReplyKind = KIND_SPEED;
    PutString("^P003UBR");
    return;
  }
  switch (phase) {
    case 1:
      m_byReplyKind = KIND_ON_BATTERY;
      PutString("^P003ST3");
      break;
    case 2:
      m_byReplyKind = KIND_STATUS_1;
      PutString("^P003ST1");
      break;
    default:
      m_byReplyKind = KIND_STATUS_5;
      PutString("^P003ST5");
      break;
  }
}

int minuteman_ups::ParseReply(uint8_t byte) {
  const uint8_t p = m_byReplyPos;
  if (p == 0) {
    if (byte != '^') return 0;
    if (m_byReplyKind == KIND_STATUS_1) m_dwAccumulator = 0;
    m_byField = 1;
    m_byDigits = 0;
    Advance();
    return 0;
  }
  if (p == 1) {
    if (byte == 'D') Advance();
    return 0;
  }
  if (p <= 4) {  // three length characters
    Advance();
    return 0;
  }
  Advance();
  switch (m_byReplyKind) {
    case KIND_SPEED: {
      if (p > 9) return 0;
      s_szEcho[p - 5] = static_cast<char>(byte);
      s_szEcho[p - 4] = 0;
      char expected[8];
      if (p == 8 && m_dwSpeed < 10000) {
        std::snprintf(expected, sizeof expected, "%u", static_cast<unsigned>(m_dwSpeed));
        if (std::memcmp(s_szEcho, expected, 4) == 0) m_bySpeedLocked = 1;
      } else if (p == 9) {
        std::snprintf(expected, sizeof expected, "%05u", static_cast<unsigned>(m_dwSpeed));
        if (std::memcmp(s_szEcho, expected, 5) == 0) m_bySpeedLocked = 1;
      }
      return 0;
    }
    case KIND_ON_BATTERY:
      if (p != 5) return 0;
      if (byte == '0') {
        m_dwStatus &= ~static_cast<uint32_t>(UPS_ON_BATTERY);
        return 1;
      }
      if (byte == '1') {
        m_dwStatus |= UPS_ON_BATTERY;
        return 1;
      }
      monitor_printf_debug("minuteman_ups::ParseReply: bad power source %X\n", byte);
      return 0;
    case KIND_STATUS_1:
      if (byte == ',') {
        if (m_byField == 7 && m_byDigits) {
          m_dwBatteryVoltage = m_dwAccumulator * 10;
          m_dwStatus |= UPS_BATTERY_VOLTS_READY;
        }
        if (m_byField < 255) ++m_byField;
        return 0;
      }
      if (m_byField == 2) {
        if (byte == '0') m_dwStatus &= ~static_cast<uint32_t>(UPS_BATTERY_LOW);
        if (byte == '1' || byte == '2') m_dwStatus |= UPS_BATTERY_LOW;
      } else if (m_byField == 7) {
        if (!is_digit(byte) || m_byDigits >= kMaxDigits) {
          monitor_printf_debug("minuteman_ups::ParseReply: bad battery voltage\n");
          m_byField = 8;  // the reading is dropped
          m_byDigits = 0;
          return 0;
        }
        m_dwAccumulator = m_dwAccumulator * 10 + (byte - '0');
        ++m_byDigits;
      }
      return 0;
    case KIND_STATUS_5:
      if (byte == ',') {
        if (m_byField < 255) ++m_byField;
        return 0;
      }
      if (m_byField == 4) {
        if (byte == '0') {
          if (m_dwStatus & UPS_OVERLOAD) monitor_printf_debug("UPS off overload state\n");
          m_dwStatus &= ~static_cast<uint32_t>(UPS_OVERLOAD);
        } else if (byte == '1') {
          if (!(m_dwStatus & UPS_OVERLOAD)) monitor_printf_debug("UPS in overload state\n");
          m_dwStatus |= UPS_OVERLOAD;
        }
      }
      return 0;
    default:
      return 0;
  }
}

// --------------------------------------------------------------------- Clary

namespace {
const uint8_t kClaryWidths[7] = {6, 6, 6, 4, 5, 5, 5};
}

int clary_ups::Open() {
  WritePort(12, 0, 2400);
  return CUninterruptiblePowerSupply::Open();
}

void clary_ups::SendQuery(uint8_t phase, uint16_t) {
  m_byReplyPos = 0;
  m_byStep = WAIT_OPEN;
  m_byCountdown = 0;
  if (phase == 1) PutString("Q1\r");
}

int clary_ups::ParseReply(uint8_t byte) {
  switch (m_byStep) {
    case WAIT_OPEN:
      if (byte == '(') {
        m_byStep = FIELDS;
        m_byField = 0;
        m_byCountdown = kClaryWidths[0];
      }
      return 0;
    case FIELDS:
      if (--m_byCountdown == 0) {
        if (byte != ' ') {
          monitor_printf_debug("clary_ups::ParseReply: field %u not ended by a space\n", m_byField + 1u);
          m_byStep = WAIT_OPEN;
          return 0;
        }
        if (++m_byField < sizeof kClaryWidths) {
          m_byCountdown = kClaryWidths[m_byField];
        } else {
          m_byStep = STATUS;
          m_byCountdown = 0;
        }
      } else if (byte == kCR || byte == '(') {
        monitor_printf_debug("clary_ups::ParseReply: reply cut short\n");
        m_byStep = byte == '(' ? WAIT_OPEN : DONE;
        if (byte == '(') return ParseReply(byte);
      }
      return 0;
    case STATUS:
      if (byte == kCR) {
        monitor_printf_debug("clary_ups::ParseReply: %u status characters\n", static_cast<unsigned>(m_byCountdown));
        m_byStep = DONE;
        return 0;
      }
      m_acStatus[m_byCountdown++] = static_cast<char>(byte);
      if (m_byCountdown == 8) m_byStep = END;
      return 0;
    case END: {
      m_byStep = DONE;
      if (byte != kCR) {
        monitor_printf_debug("clary_ups::ParseReply: reply too long\n");
        return 0;
      }
      // b7 .. b0; b3, b1 and b0 carry nothing here.
      const uint32_t bits[8] = {UPS_ON_BATTERY, UPS_BATTERY_LOW, UPS_BOOST_TRIM, UPS_BAD_BATTERY, 0, UPS_TEST_CYCLE,
                                0, 0};
      for (int i = 0; i < 8; ++i) {
        if (!bits[i]) continue;
        if (m_acStatus[i] == '1') m_dwStatus |= bits[i];
        if (m_acStatus[i] == '0') m_dwStatus &= ~bits[i];
      }
      return 1;
    }
    default:
      return 0;
  }
}

// --------------------------------------------------------------------- Alpha

namespace {
const uint8_t kAlphaStatusQuery[7] = {0x7B, 0x03, 0x80, 0x03, 0xD4, 0x57, 0x7D};
const uint8_t kAlphaOverviewQuery[7] = {0x7B, 0x03, 0x80, 0x03, 0xDA, 0x5D, 0x7D};
constexpr uint8_t kFrameStart = 0x7B;
constexpr uint8_t kFrameEnd = 0x7D;
constexpr uint32_t kStatusChecksumAt = 17;
constexpr uint32_t kOverviewChecksumAt = 23;

// The first occurrence of key in [begin, end), or null.
const char* find(const char* begin, const char* end, const char* key) {
  const size_t k = std::strlen(key);
  for (const char* p = begin; p + k <= end; ++p)
    if (std::memcmp(p, key, k) == 0) return p;
  return nullptr;
}
const char* find_char(const char* begin, const char* end, char c) {
  for (const char* p = begin; p < end; ++p)
    if (*p == c) return p;
  return nullptr;
}
}  // namespace

int alpha_ups::Open() {
  if (m_wTypeId == TYPE_ALPHA_3500)
    WritePort(19, 0, 9600, true);
  else
    WritePort(18, 0, 2400, true);
  return CUninterruptiblePowerSupply::Open();
}

void alpha_ups::SendQuery(uint8_t phase, uint16_t type_id) {
  m_byReplyPos = 0;
  if (type_id == TYPE_ALPHA_3500) {
    PutBytes(phase == 2 ? kAlphaOverviewQuery : kAlphaStatusQuery, sizeof kAlphaStatusQuery);
  } else {
    PutString(phase == 2 ? "2\r" : "event1\r");
  }
}

void alpha_ups::ClearLine() {
  std::memset(m_abyLine, 0, sizeof m_abyLine);
  m_dwFill = 0;
}

int alpha_ups::ParseReply(uint8_t byte) {
  if (m_dwFill >= kLineSize) {
    monitor_printf_debug("alpha_ups::ParseReply: %u bytes without an end, dropped\n",
                         static_cast<unsigned>(kLineSize));
    ClearLine();
  }
  m_abyLine[m_dwFill++] = byte;
  if (m_wTypeId == TYPE_ALPHA_3500) {
    if (byte != kFrameEnd) return 0;
    const int taken = TakeFrame();
    ClearLine();
    return taken;
  }
  if (byte != kLF) return 0;
  const int taken = TakeTextLine();
  ClearLine();
  return taken;
}

int alpha_ups::TakeTextLine() {
  const char* begin = reinterpret_cast<const char*>(m_abyLine);
  const char* end = begin + m_dwFill;
  const char* at;
  if ((at = find(begin, end, "Input:"))) return ParseInputLine(at + 6, end);
  if ((at = find(begin, end, "Output:"))) return ParseOutputLine();
  if ((at = find(begin, end, "Battery:"))) return ParseBatteryLine(at + 8, end);
  if ((at = find(begin, end, "*event001"))) return ParseEventLine(at, end);
  return 0;
}

int alpha_ups::ParseInputLine(const char* p, const char* end) {
  const char* dot = find_char(p, end, '.');
  if (!dot) {
    monitor_printf_debug("alpha_ups::ParseInputLine: no '.'\n");
    return 1;
  }
  uint32_t volts = 0;
  uint8_t digits = 0;
  for (; p < dot; ++p) {
    if (!is_digit(static_cast<uint8_t>(*p))) continue;
    if (++digits > kMaxDigits) break;
    volts = volts * 10 + static_cast<uint32_t>(*p - '0');
  }
  if (dot + 1 < end && *(dot + 1) >= '5' && *(dot + 1) <= '9') ++volts;
  if (volts > 255) {
    monitor_printf_debug("alpha_ups::ParseInputLine: %u V out of range\n", static_cast<unsigned>(volts));
    return 1;
  }
  m_byLineVoltage = static_cast<uint8_t>(volts);
  m_dwStatus |= UPS_LINE_VOLTS_READY;
  return 1;
}

int alpha_ups::ParseOutputLine() { return 1; }

int alpha_ups::ParseBatteryLine(const char* p, const char* end) {
  const char* v = find_char(p, end, 'V');
  if (!v) {
    monitor_printf_debug("alpha_ups::ParseBatteryLine: no 'V'\n");
    return 1;
  }
  uint32_t value = 0;
  uint8_t digits = 0;
  for (; p < v; ++p) {
    if (!is_digit(static_cast<uint8_t>(*p))) continue;
    if (++digits > kMaxDigits) {
      monitor_printf_debug("alpha_ups::ParseBatteryLine: reading too long\n");
      return 1;
    }
    value = value * 10 + static_cast<uint32_t>(*p - '0');
  }
  m_dwBatteryVoltage = value * 10;
  m_dwStatus |= UPS_BATTERY_VOLTS_READY;
  return 1;
}

int alpha_ups::ParseEventLine(const char* star, const char* end) {
  const uint32_t L = static_cast<uint32_t>(end - star);
  if (L < 67) return 1;
  auto flag = [&](uint32_t pos) { return pos < L && star[pos] == '1'; };
  auto apply = [&](uint32_t bit, bool on) {
    if (on)
      m_dwStatus |= bit;
    else
      m_dwStatus &= ~bit;
  };
  if (L == 75) {
    apply(UPS_BAD_BATTERY, flag(58));
    apply(UPS_BREAKER_OPEN, flag(40));
    apply(UPS_BATTERY_LOW, flag(44) || flag(60));
    apply(UPS_OVERLOAD, flag(39));
  } else {
    apply(UPS_BAD_BATTERY, flag(34) || flag(53));
    apply(UPS_BREAKER_OPEN, flag(35));
    apply(UPS_BATTERY_LOW, flag(38) || flag(55));
    apply(UPS_OVERLOAD, flag(42));
  }
  const uint32_t first = L == 68 ? L - 4 : L - 5;
  const char a = star[first], b = star[first + 1], c = star[first + 2];
  if (!is_digit(static_cast<uint8_t>(a)) || !is_digit(static_cast<uint8_t>(b)) || !is_digit(static_cast<uint8_t>(c))) {
    monitor_printf_debug("alpha_ups::ParseEventLine: no operating mode\n");
    return 1;
  }
  const int mode = 100 * (a - '0') + 10 * (b - '0') + (c - '0');
  monitor_printf_debug("2000 Mode = %d %d %d = %d\n", a - '0', b - '0', c - '0', mode);
  apply(UPS_ON_BATTERY, mode == 0 || mode == 6 || mode == 9);
  return 1;
}

int alpha_ups::TakeFrame() {
  if (m_dwFill < 5) {
    monitor_printf_debug("Alpha 3500 - frame of %u bytes\n", static_cast<unsigned>(m_dwFill));
    return 0;
  }
  switch (m_abyLine[4]) {
    case 0xD4:
      return ParseSystemStatus(m_abyLine, m_dwFill);
    case 0xDA:
      return ParseOverviewStatus(m_abyLine, m_dwFill);
    default:
      monitor_printf_debug("Alpha 3500 - Invalid command byte\n");
      return 0;
  }
}

namespace {
// The common checks of a reply frame; n counts the bytes up to and with the
// closing '}'.
bool alpha_frame_ok(const uint8_t* f, uint32_t n, uint32_t checksum_at, const char* what, const char* tag) {
  if (f[0] != kFrameStart) {
    monitor_printf_debug("Alpha 3500 %s - %sDidn't receive Init Char\n", what, tag);
    return false;
  }
  if (f[2] != 0x03) {
    monitor_printf_debug("Alpha 3500 %s - %sSource id not 0x03\n", what, tag);
    return false;
  }
  if (f[3] != 0x80) {
    monitor_printf_debug("Alpha 3500 %s - %sDest id not 0x80\n", what, tag);
    return false;
  }
  // The checksum byte and the closing '}' must both be inside the frame, and
  // the summed bytes must end before the checksum.
  const uint32_t length = f[1];
  if (n < checksum_at + 2 || 2 + length > checksum_at) {
    monitor_printf_debug("Alpha 3500 %s - frame of %u bytes, length %u\n", what, static_cast<unsigned>(n),
                         static_cast<unsigned>(length));
    return false;
  }
  uint8_t sum = 0;
  for (uint32_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + f[2 + i]);
  if (sum != f[checksum_at]) {
    monitor_printf_debug("Alpha 3500 %s - Invalid Checksum %X %X\n", what, sum, f[checksum_at]);
    return false;
  }
  return true;
}
}  // namespace

int alpha_ups::ParseSystemStatus(const uint8_t* f, uint32_t n) {
  if (!alpha_frame_ok(f, n, kStatusChecksumAt, "System Status", "")) return 0;
  const uint8_t mode = f[6], a = f[10], b = f[14];
  if (mode == 3) monitor_printf_debug("3500 AC Line Failed\n");
  if (a & 0x04) {
    monitor_printf_debug("3500 Line Failed\n");
    m_dwStatus |= UPS_ON_BATTERY;
  } else {
    m_dwStatus &= ~static_cast<uint32_t>(UPS_ON_BATTERY);
  }
  if ((a | b) & 0x01) {
    monitor_printf_debug("3500 Low battery\n");
    m_dwStatus |= UPS_BATTERY_LOW;
  } else {
    m_dwStatus &= ~static_cast<uint32_t>(UPS_BATTERY_LOW);
  }
  if ((a | b) & 0x02) {
    monitor_printf_debug("3500 Overload\n");
    m_dwStatus |= UPS_OVERLOAD;
  } else {
    m_dwStatus &= ~static_cast<uint32_t>(UPS_OVERLOAD);
  }
  if ((a & 0x30) || (b & 0x30)) monitor_printf_debug("3500 overtemp\n");
  if ((a & 0xC8) || (b & 0xCC)) monitor_printf_debug("3500 other error\n");
  m_dwStatus &= ~static_cast<uint32_t>(UPS_BAD_BATTERY);
  return 1;
}

int alpha_ups::ParseOverviewStatus(const uint8_t* f, uint32_t n) {
  if (!alpha_frame_ok(f, n, kOverviewChecksumAt, "Overview Status", "OV ")) return 0;
  m_dwBatteryVoltage = (static_cast<uint32_t>(f[9]) << 8 | f[10]) * 10;
  m_byLineVoltage = f[18];
  m_dwStatus |= UPS_BATTERY_VOLTS_READY | UPS_LINE_VOLTS_READY;
  return 1;
}

// --------------------------------------------------------------- Tripp Lite

int tripp_ups::Open() {
  WritePort(20, 0, 2400);
  return CUninterruptiblePowerSupply::Open();
}

void tripp_ups::SendQuery(uint8_t phase, uint16_t) {
  m_byReplyPos = 0;
  if (phase == 2) {
    m_byReplyKind = KIND_DATA;
    const uint8_t q[] = {':', 'D', 0xBB, kCR};
    PutBytes(q, sizeof q);
  } else {
    m_byReplyKind = KIND_STATUS;
    const uint8_t q[] = {':', 'S', 0xAC, kCR};
    PutBytes(q, sizeof q);
  }
}

int tripp_ups::ParseReply(uint8_t byte) {
  if (byte == kCR) {
    m_byReplyPos = 0;
    return 1;
  }
  const uint8_t p = m_byReplyPos;
  switch (p) {
    case 0:
      if (byte == (m_byReplyKind == KIND_DATA ? 'D' : 'S')) {
        m_byReplyPos = 1;
        return 1;
      }
      return 0;
    case 1:
    case 3:
      m_byReplyPos = static_cast<uint8_t>(p + 1);
      return 0;
    case 2:
      m_byReplyPos = 3;
      if (m_byReplyKind == KIND_DATA) {
        m_byLineVoltage = byte;
        m_dwStatus |= UPS_LINE_VOLTS_READY;
        return 1;
      }
      return 0;
    case 4:
      m_byReplyPos = 0;
      if (m_byReplyKind == KIND_DATA) {
        m_dwBatteryVoltage = static_cast<uint32_t>(byte) * 10;
        m_dwStatus |= UPS_BATTERY_VOLTS_READY;
        return 1;
      }
      if (byte == 0) {
        m_dwStatus &= ~static_cast<uint32_t>(UPS_ON_BATTERY);
        return 1;
      }
      if (byte == 1 || byte == 4) {
        m_dwStatus |= UPS_ON_BATTERY;
        return 1;
      }
      monitor_printf_debug("tripp_ups::ParseReply: unknown status %X\n", byte);
      return 0;
    default:
      m_byReplyPos = 0;
      return 0;
  }
}
