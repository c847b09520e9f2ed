// The sign's brightness: the level sent to the sign driver from the
// illumination objects (photocell with hysteresis, timer, manual, indexed),
// pulled down by the temperature derating and the brightness ceiling, and
// the level table it is looked up in.

#include "database/database.h"
#include "database/objects.h"
#include "display/message/db_read.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_peripherals.h"
#include "frame/trace/trace.h"

display_peripheral_links g_display_peripherals;

uint8_t display_derating_percent() {
  return g_display_peripherals.derating_percent ? g_display_peripherals.derating_percent() : 100;
}

bool display_field_device(uint32_t field) {
  const display_peripheral_links& p = g_display_peripherals;
  if (!p.is_live) return true;
  // Peripheral types of the temperature sensors.
  static const uint32_t kAmbient[] = {12};
  static const uint32_t kCabinet[] = {10, 11};
  static const uint32_t kHousing[] = {13, 14, 15, 160, 161, 162, 163, 164, 165};
  auto any_live = [&p](const uint32_t* types, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
      if (p.is_live(types[i])) return true;
    return false;
  };
  if (field == 3 || field == 4) return any_live(kAmbient, 1);
  if (field == 5 || field == 6) return p.radar_live && p.radar_live();
  if (field >= 92 && field <= 95) return any_live(kCabinet, 2);
  if (field >= 96 && field <= 99) return any_live(kHousing, sizeof kHousing / sizeof kHousing[0]);
  return true;
}

namespace {

enum : uint32_t {
  CONTROL_PHOTOCELL = 2,
  CONTROL_TIMER = 3,
  CONTROL_MANUAL = 4,
  CONTROL_MANUAL_DIRECT = 5,
  CONTROL_MANUAL_INDEXED = 6,
};
enum : uint32_t { REASON_NONE = 1, REASON_DERATED = 2, REASON_CEILING = 3 };
enum : uint32_t { TABLE_OK = 2, TABLE_GAP = 3, TABLE_INVALID = 6 };

// quorSpecialFeatureSet bits.
constexpr uint32_t kFeatureSensorlessHigh = 0x01;  // a missing photocell gives half output
constexpr uint32_t kFeatureShortTable = 0x08;

constexpr uint8_t kTimerLevel = 5;
constexpr uint32_t kSensorlessHigh = 32767, kSensorlessLow = 257;
constexpr uint16_t kSpreadTopUp = 16000;

// A light output 0..65535 as a level 0..255.
uint32_t to8(uint32_t x) { return (255 * x + 64770) / 65535; }
uint32_t derate(uint32_t x, uint32_t percent) { return (x * percent / 100) & 0xFFFF; }

uint32_t be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
void put_be16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// The built-in level tables in their stored form.
struct builtin_tables {
  static constexpr uint32_t SHORT_LEVELS = 8, LONG_LEVELS = 248;
  uint8_t short_table[1 + 6 * SHORT_LEVELS];
  uint8_t long_table[1 + 6 * LONG_LEVELS];

  builtin_tables() {
    static const uint16_t kShort[SHORT_LEVELS][3] = {
        {257, 2, 101},     {6500, 101, 273},  {12300, 273, 443},  {19500, 443, 611},
        {27400, 611, 784}, {36700, 784, 921}, {46200, 921, 1049}, {65535, 1049, 65535}};
    short_table[0] = SHORT_LEVELS;
    for (uint32_t i = 0; i < SHORT_LEVELS; ++i)
      for (uint32_t k = 0; k < 3; ++k) put_be16(short_table + 1 + 6 * i + 2 * k, kShort[i][k]);

    // Photocell ranges from 1 to 1204, contiguous: one reading wide at the
    // dark end, where the eye sees every step, wider towards the middle.
    long_table[0] = LONG_LEVELS;
    uint32_t down = 1;
    for (uint32_t i = 0; i < LONG_LEVELS; ++i) {
      uint32_t width;
      if (i <= 8) {
        width = 1;
      } else if (i <= 10) {
        width = 2;
      } else if (i <= 16) {
        static const uint8_t kWidths[] = {3, 4, 5, 6, 7, 7};
        width = kWidths[i - 11];
      } else if (i <= 24) {
        static const uint8_t kWidths[] = {10, 10, 11, 10, 11, 10, 11, 10};
        width = kWidths[i - 17];
      } else if (i <= 198) {
        // 931 readings (129..1059) over 174 levels: 5 or 6 each.
        const uint32_t j = i - 25;
        width = 931 * (j + 1) / 174 - 931 * j / 174;
      } else {
        width = 3;
      }
      const uint32_t output = i + 1 < LONG_LEVELS ? 1057 * (i + 1) / 4 : 65535;  // 264.25 per level
      const uint32_t up = i + 1 < LONG_LEVELS ? down + width - 1 : 65535;
      uint8_t* entry = long_table + 1 + 6 * i;
      put_be16(entry, output);
      put_be16(entry + 2, down);
      put_be16(entry + 4, up);
      down = up + 1;
    }
  }
};

const builtin_tables& builtins() {
  static const builtin_tables tables;
  return tables;
}

}  // namespace

const uint8_t* CDisplay::BuiltinBrightnessTable(bool shortTable, uint32_t* length) {
  const builtin_tables& t = builtins();
  if (length) *length = shortTable ? sizeof t.short_table : sizeof t.long_table;
  return shortTable ? t.short_table : t.long_table;
}

// ------------------------------------------------------------- evaluation

void CDisplay::UpdateBrightness(bool force) {
  if (force) {
    m_dwBrightnessState = 0;
    m_byBrightnessReload = 1;
  }
  if (!m_pActiveDriver) return;
  const uint32_t displayMode = nv_value(nv::quorDisplayMode);
  if (displayMode == 9 || displayMode == 10 || displayMode == 25 || displayMode == 35) return;
  const uint32_t control = nv_value(nv::dmsIllumControl);
  if (control != m_dwIllumControlAtStart) {
    m_byBrightnessReload = 1;
    m_dwBrightnessState = 0;
    m_dwIllumControlAtStart = control;
  }

  switch (control) {
    case CONTROL_TIMER:
      m_pActiveDriver->SetBrightness(kTimerLevel);
      return;

    case CONTROL_PHOTOCELL: {
      const uint32_t reading = vol_value(vol::dmsIllumPhotocellLevelStatus);
      if (reading == 0) {
        // No sensor: a fixed output.
        m_dwBrightnessState = 0;
        const bool high = (nv_value(nv::quorSpecialFeatureSet) & kFeatureSensorlessHigh) != 0;
        ApplyLightOutput(high ? kSensorlessHigh : kSensorlessLow, true);
        return;
      }
      const uint32_t n = m_dwBrightLevelCount;
      if (n == 0) return;
      uint32_t i = m_dwBrightnessState < n ? m_dwBrightnessState : n - 1;
      if (reading < m_BrightTable[i].down) {
        for (uint32_t j = i + 1; j-- > 0;) {
          if (reading < m_BrightTable[j].down) continue;
          m_dwBrightnessState = j;
          const uint8_t level = ApplyLightOutput(m_BrightTable[j].output, true);
          monitor_printf("Sensor Value Down, New Bright Value = 0x%x\n", static_cast<unsigned>(level));
          return;
        }
      } else if (reading > m_BrightTable[i].up || m_byBrightnessReload) {
        for (uint32_t j = i; j < n; ++j) {
          if (reading > m_BrightTable[j].up) continue;
          m_dwBrightnessState = j;
          const uint8_t level = ApplyLightOutput(m_BrightTable[j].output, true);
          monitor_printf("Sensor Value Up, New Bright Value = 0x%x\n", static_cast<unsigned>(level));
          m_byBrightnessReload = 0;
          return;
        }
      }
      // Inside the current level's band, or outside every band: as it was.
      return;
    }

    case CONTROL_MANUAL:
    case CONTROL_MANUAL_DIRECT: {
      uint32_t level = nv_value(nv::dmsIllumManLevel);
      m_byBrightnessReload = 1;
      m_dwBrightnessState = 0;
      set_vol(vol::quorRequestedBrightness, level, DB_NOTIFY);
      uint32_t reason = REASON_NONE;
      const uint32_t percent = display_derating_percent();
      if (percent != 100) {
        reason = REASON_DERATED;
        level = level * percent / 100;
      }
      if (level == 0) level = 1;
      if (level > m_dwBrightnessCap) {
        reason = REASON_CEILING;
        level = m_dwBrightnessCap;
      }
      if (level == 0) level = 1;
      set_vol(vol::dmsIllumBrightLevelStatus, level, DB_NOTIFY);
      set_nv(nv::dmsIllumLightOutputStatus, 257 * level, DB_NOTIFY);
      if (vol_value(vol::quorBrightnessLimitReason) != reason)
        set_vol(vol::quorBrightnessLimitReason, reason, DB_NOTIFY);
      m_pActiveDriver->SetBrightness(static_cast<int32_t>(level));
      return;
    }

    case CONTROL_MANUAL_INDEXED: {
      m_byBrightnessReload = 1;
      m_dwBrightnessState = 0;
      const uint32_t n = m_dwBrightLevelCount;
      if (n == 0) return;
      uint32_t k = nv_value(nv::dmsIllumManLevel);
      if (k > n) k = n;
      // Index 0 names no level: the lowest one.
      if (k == 0) k = 1;
      ApplyLightOutput(m_BrightTable[k - 1].output, false);
      return;
    }

    default:  // other, and values the standard does not define
      return;
  }
}

uint8_t CDisplay::ApplyLightOutput(uint32_t output, bool photocell) {
  uint32_t reason = REASON_NONE;
  set_vol(vol::quorRequestedBrightness, to8(output), DB_NOTIFY);
  const uint32_t percent = display_derating_percent();
  if (percent != 100) {
    reason = REASON_DERATED;
    output = derate(output, percent);
  }
  set_nv(nv::dmsIllumLightOutputStatus, output, DB_NOTIFY);
  uint32_t level = to8(output);
  if (level == 0) level = 1;
  if (level > m_dwBrightnessCap) {
    reason = REASON_CEILING;
    level = m_dwBrightnessCap;
  }
  // The sign never goes dark through its brightness.
  if (level == 0) level = 1;
  set_vol(vol::dmsIllumBrightLevelStatus, level, DB_NOTIFY);
  if (photocell) set_nv(nv::dmsIllumManLevel, level, DB_NOTIFY);
  if (vol_value(vol::quorBrightnessLimitReason) != reason)
    set_vol(vol::quorBrightnessLimitReason, reason, DB_NOTIFY);
  if (m_pActiveDriver) m_pActiveDriver->SetBrightness(static_cast<int32_t>(level));
  return static_cast<uint8_t>(level);
}

// ------------------------------------------------------------ level table

void CDisplay::LoadBrightnessTable() {
  uint32_t length = 0;
  const uint8_t* p = nv_bytes(nv::dmsIllumBrightnessValues, &length);
  const uint32_t maximum = vol_value(vol::dmsIllumMaxPhotocellLevel);
  const uint32_t count = length ? p[0] : 0;
  m_dwBrightLevelCount = count;

  uint32_t error = TABLE_OK;
  if (count == 0 || length != count * 6 + 1) {
    error = TABLE_INVALID;
  } else {
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* entry = p + 1 + 6 * i;
      bright_level_s& level = m_BrightTable[i];
      level.output = static_cast<uint16_t>(be16(entry));
      level.down = static_cast<uint16_t>(be16(entry + 2));
      level.up = static_cast<uint16_t>(be16(entry + 4));
      // Overlapping levels pass; a gap does not.
      if (i > 0 && level.down > m_BrightTable[i - 1].up + 1u) {
        error = TABLE_GAP;
        break;
      }
      if (level.down > maximum || level.up > maximum || level.up < level.down) {
        error = TABLE_INVALID;
        break;
      }
    }
  }

  if (error != TABLE_OK) {
    set_nv(nv::dmsIllumBrightnessValuesError, error, DB_NOTIFY);
    uint32_t n = 0;
    const uint8_t* builtin =
        BuiltinBrightnessTable((nv_value(nv::quorSpecialFeatureSet) & kFeatureShortTable) != 0, &n);
    set_nv_bytes(nv::dmsIllumBrightnessValues, builtin, n, DB_NOTIFY);
    // What is stored now: the built-in table, or the refused one when the
    // database refused the replacement too (a photocell range below the
    // built-in tables' top).
    p = nv_bytes(nv::dmsIllumBrightnessValues, &length);
    FillBrightnessTable(p, length);
    // Not one whole level there: the built-in levels all the same, rather
    // than no brightness control and a new attempt every step.
    if (m_dwBrightLevelCount == 0) FillBrightnessTable(builtin, n);
  } else {
    set_nv(nv::dmsIllumBrightnessValuesError, TABLE_OK, DB_NOTIFY);
  }
  SpreadBrightnessTable();
}

// Unchecked, but never past the bytes there are.
void CDisplay::FillBrightnessTable(const uint8_t* p, uint32_t length) {
  uint32_t count = length ? p[0] : 0;
  const uint32_t whole = length ? (length - 1) / 6 : 0;
  if (count > whole) count = whole;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = p + 1 + 6 * i;
    m_BrightTable[i].output = static_cast<uint16_t>(be16(entry));
    m_BrightTable[i].down = static_cast<uint16_t>(be16(entry + 2));
    m_BrightTable[i].up = static_cast<uint16_t>(be16(entry + 4));
  }
  m_dwBrightLevelCount = count;
}

// A table of 8 to 127 levels is stretched over about 255 levels, the levels
// between two stored ones interpolated, so that the photocell moves the
// brightness in small steps.
void CDisplay::SpreadBrightnessTable() {
  const uint32_t count = m_dwBrightLevelCount;
  if (count < 8 || count >= 128) return;
  const uint32_t step = 255 / (count - 1);
  // From the top down: no stored level is overwritten before it moved.
  for (uint32_t i = count - 1; i >= 1; --i) {
    m_BrightTable[i * step].output = m_BrightTable[i].output;
    m_BrightTable[i * step].down = m_BrightTable[i].down;
  }
  for (uint32_t i = 0; i + 1 < count; ++i) {
    const bright_level_s& from = m_BrightTable[i * step];
    const bright_level_s& to = m_BrightTable[(i + 1) * step];
    const float outputStep = (static_cast<float>(to.output) - static_cast<float>(from.output)) / step;
    const float downStep = (static_cast<float>(to.down) - static_cast<float>(from.down)) / step;
    float output = from.output, down = from.down;
    for (uint32_t j = 1; j < step; ++j) {
      output += outputStep;
      down += downStep;
      m_BrightTable[i * step + j].output = static_cast<uint16_t>(static_cast<int32_t>(output));
      m_BrightTable[i * step + j].down = static_cast<uint16_t>(static_cast<int32_t>(down));
    }
  }
  const uint32_t n = (count - 1) * step + 1;
  m_dwBrightLevelCount = n;
  for (uint32_t k = 0; k + 1 < n; ++k) {
    const uint16_t next = m_BrightTable[k + 1].down;
    m_BrightTable[k].up = static_cast<uint16_t>(next ? next - 1 : 0);
  }
  m_BrightTable[n - 1].up = kSpreadTopUp;
}

void CDisplay::ApplyBrightnessDefaults() {
  const uint32_t features = nv_value(nv::quorSpecialFeatureSet);
  const bool shortTable = (features & kFeatureShortTable) != 0;
  if (shortTable != ((m_dwFeaturesSeen & kFeatureShortTable) != 0)) {
    uint32_t n = 0;
    const uint8_t* table = BuiltinBrightnessTable(shortTable, &n);
    // The write posts the table's change letter, which reloads the levels.
    set_nv_bytes(nv::dmsIllumBrightnessValues, table, n, DB_NOTIFY);
    set_nv(nv::dmsIllumBrightnessValuesError, TABLE_OK, DB_NOTIFY);
  }
  m_dwFeaturesSeen = features;
}
