// Write hooks: validation of a write and re-derivation of the objects that
// depend on it. While the hooks are switched off every write is accepted.
//
// Each rule covers one column; the row is found from the offset. Writes the
// hooks make themselves skip validation (DB_NO_VALIDATE), so a coupled pair
// (daylight saving, colours) never recurses.
#include <initializer_list>

#include "database/database.h"
#include "display/driver/module_type.h"
#include "frame/trace/trace.h"
#include "ntcip/mib/mib_registry.h"

module_critical_limits_fn g_module_critical_limits = nullptr;

namespace {

constexpr uint32_t kWriteBack = DB_NOTIFY | DB_NO_VALIDATE;

// --- status machines (NTCIP 1203)

constexpr uint32_t bits(std::initializer_list<uint32_t> values) {
  uint32_t m = 0;
  for (uint32_t v : values) m |= 1u << v;
  return m;
}

// Message status: for each value written, the stored states that accept it.
constexpr uint32_t kMessageAccepts[9] = {
    0,                     //
    bits({8}),             // 1 notUsed, after notUsedReq
    bits({6}),             // 2 modifying, after modifyReq
    bits({7}),             // 3 validating, after validateReq
    bits({3}),             // 4 valid
    bits({3}),             // 5 error
    bits({1, 2, 4, 5}),    // 6 modifyReq
    bits({2}),             // 7 validateReq
    bits({1, 2, 4, 5, 8}), // 8 notUsedReq
};

uint32_t message_status_rule(uint32_t stored, uint32_t value) {
  if (value < 1 || value > 8) return DB_GEN_ERR;
  if (stored < 1 || stored > 8) stored = 1;
  return kMessageAccepts[value] & (1u << stored) ? DB_OK : DB_BAD_VALUE;
}

// Font status: for each stored state, the values it accepts.
uint32_t font_status_rule(uint32_t stored, uint32_t value) {
  uint32_t accepts = 0;
  switch (stored) {
    case 1:   // notUsed
    case 11:  // unmanaged
      accepts = bits({7, 9, 10});
      break;
    case 2:  // modifying
      accepts = bits({7, 8, 9, 10});
      break;
    case 3:  // calculatingID
      accepts = bits({9});
      break;
    case 4:  // readyForUse
      accepts = bits({7, 8, 9});
      break;
    default:  // inUse, permanent and anything else
      break;
  }
  return value < 32 && (accepts & (1u << value)) ? DB_OK : DB_BAD_VALUE;
}

// Graphic status, the same way.
uint32_t graphic_status_rule(uint32_t stored, uint32_t value) {
  uint32_t accepts = 0;
  switch (stored) {
    case 1:
      accepts = bits({7, 9});
      break;
    case 2:
    case 4:
      accepts = bits({7, 8, 9});
      break;
    case 3:
      accepts = bits({9});
      break;
    default:
      break;
  }
  return value < 32 && (accepts & (1u << value)) ? DB_OK : DB_BAD_VALUE;
}

// --- reads

struct reader {
  CDataBase& db;
  uint32_t nv(uint32_t offset, uint32_t width = 1) const { return db.GetValue(offset, width, db.mib_nv, 0); }
  uint32_t vol(uint32_t offset, uint32_t width = 1) const { return db.GetValue(offset, width, db.mib_v, 0); }
};

bool in(uint32_t offset, uint32_t first, uint32_t last) { return offset >= first && offset <= last; }

// Sign geometry.
constexpr uint32_t kSignType = 57;
constexpr uint32_t kCharacterHeight = 60;
constexpr uint32_t kCharacterWidth = 61;
constexpr uint32_t kSignHeight = 62;
constexpr uint32_t kSignWidth = 64;

// Font and graphic tables.
constexpr uint32_t kFonts = 20;
constexpr uint32_t kFontNumber = 72;
constexpr uint32_t kFontStatus = 272;
constexpr uint8_t kFontModifying = 2;
constexpr uint8_t kFontUnmanaged = 11;
constexpr uint32_t kGraphics = 50;
constexpr uint32_t kGraphicNumber = 34660;
constexpr uint32_t kGraphicStatus = 35464;
constexpr uint8_t kGraphicModifying = 2;

// Message status columns.
constexpr uint32_t kVolMessageStatus = 92;
constexpr uint32_t kMessageStatus = 32982;
constexpr uint8_t kMessageModifying = 2;
constexpr uint8_t kMessageValidating = 3;

// Daylight saving.
constexpr uint32_t kDaylightSaving = 48184;
constexpr uint32_t kBeginMonth = 48196;
constexpr uint32_t kRules = 10;

// Colours.
constexpr uint32_t kColorScheme = 25803;
constexpr uint32_t kModuleID = 95030;
constexpr uint32_t kBackgroundColor = 25792;
constexpr uint32_t kForegroundColor = 25793;
constexpr uint32_t kBackgroundRGB = 25804;
constexpr uint32_t kForegroundRGB = 25808;

// Event configurations.
constexpr uint32_t kCompareOID = 52100;
constexpr uint32_t kLogOID = 52340;
constexpr uint32_t kEventConfigStatus = 52640;
constexpr uint32_t kCompareOIDError = 0x10;
constexpr uint32_t kLogOIDError = 0x20;

bool font_editable(uint32_t status) { return status == kFontUnmanaged || status == kFontModifying; }

// Whether another row of a u8 column already holds the value.
bool number_taken(const reader& r, uint32_t column, uint32_t rows, uint32_t row, uint32_t value) {
  for (uint32_t i = 0; i < rows; ++i)
    if (i != row && r.nv(column + i) == (value & 0xFF)) return true;
  return false;
}

// The classic colours a module accepts, by its colour type.
bool colour_allowed(uint32_t module_type, uint32_t v) {
  switch (find_module_type(module_type)->colour_type) {
    case 2:  // red-green
      return v == 0 || v == 1 || v == 3 || v == 9;
    case 3:  // full colour
      return v <= 9;
    default:
      return v == 0 || v == 1 || v == 9;
  }
}

// Module types whose modules have no blue.
bool module_without_blue(uint32_t t) {
  return (t >= 1 && t <= 8) || t == 11 || (t >= 13 && t <= 15) || (t >= 21 && t <= 24) || t == 27 ||
         (t >= 98 && t <= 105) || t == 118 || (t >= 126 && t <= 128) || t == 154 || t == 169;
}

uint32_t load_be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

// OIDs that an event may not log: the security node and the CHAP objects.
constexpr uint32_t kSecurityNode[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5};
constexpr uint32_t kChapNode[] = {1, 3, 6, 1, 4, 1, 1206, 4, 1, 1, 1};
constexpr uint32_t kPrefixLength = 11;

bool oid_under(const uint32_t* oid, uint32_t length, const uint32_t (&prefix)[kPrefixLength]) {
  return oid_compare_n(oid, length, prefix, kPrefixLength, kPrefixLength) == 0;
}

// Whether the registry serves the object the bytes name. Bytes that are no
// whole number of sub-identifiers, or more than a name holds, name nothing.
bool oid_exists(const uint8_t* data, uint32_t length, bool log) {
  if (length % 4 != 0 || length / 4 > MIB_MAX_OID) return false;
  uint32_t name[MIB_MAX_OID];
  uint32_t name_length = bytes_to_oid(name, MIB_MAX_OID, data, length);
  if (log && (oid_under(name, name_length, kSecurityNode) || oid_under(name, name_length, kChapNode))) return false;
  uint16_t type = 0;
  uint32_t value_length = 0, error = MIB_ERR_NO_OBJECT;
  uint8_t access = 0;
  getStatPtr(name, &name_length, &type, &value_length, &access, MIB_GET, nullptr, 0, &error);
  return error == MIB_ERR_NONE;
}

namespace db_hooks {

// A status-guarded column: the row's status must be one of the two.
uint32_t require(uint32_t status, uint32_t a, uint32_t b = 0xFFFFFFFF) {
  return status == a || status == b ? DB_OK : DB_GEN_ERR;
}

uint32_t volatile_value(CDataBase& db, uint32_t offset, uint32_t value) {
  reader r{db};
  // The lamp table's writable column.
  if (in(offset, 4212, 4243)) return value == 4 ? DB_BAD_VALUE : DB_OK;
  // dmsControlMode: only local may hand over to central override.
  if (offset == 144) return r.vol(144) == 2 && value == 5 ? DB_OK : DB_BAD_VALUE;

  struct guarded {
    uint32_t first, last, width;
    bool validating_too;
    const char* error;
  };
  static const guarded kColumns[] = {
      {72, 78, 2, true, "Vol MsgStatus error\n"},
      {80, 83, 1, false, "Vol MsgBeacon error\n"},
      {84, 87, 1, false, "Vol MsgPixelSer error\n"},
      {88, 91, 1, false, "Vol MsgRTP error\n"},
  };
  for (const guarded& c : kColumns) {
    if (!in(offset, c.first, c.last)) continue;
    uint32_t status = r.vol(kVolMessageStatus + (offset - c.first) / c.width);
    uint32_t result = require(status, kMessageModifying, c.validating_too ? kMessageValidating : kMessageModifying);
    if (result != DB_OK) monitor_printf("%s", c.error);
    return result;
  }
  if (in(offset, 92, 95)) {
    uint32_t result = message_status_rule(r.vol(offset), value);
    if (result != DB_OK) monitor_printf("Vol MsgStatus%u error\n", value >= 1 && value <= 8 ? value : 9u);
    return result;
  }
  return DB_OK;
}

uint32_t daylight_saving(CDataBase& db, uint32_t offset, uint32_t value) {
  reader r{db};
  if (offset == kDaylightSaving) {
    if (value == 1) return DB_GEN_ERR;
    if (value == 20) return r.nv(kBeginMonth) <= 13 ? DB_OK : DB_GEN_ERR;
    // 2 (disableDST) marks every rule unused; anything else leaves them to be set.
    uint32_t month = value == 2 ? 14 : 15;
    for (uint32_t j = 0; j < kRules; ++j) db.SetValue(kBeginMonth + j, 1, month, db.mib_nv, kWriteBack);
    return DB_OK;
  }
  // A begin month.
  if (value == 15) return DB_GEN_ERR;
  db.SetValue(kDaylightSaving, 1, value == 14 ? 2 : 1, db.mib_nv, kWriteBack);
  return DB_OK;
}

uint32_t shut_off_temperature(CDataBase& db, uint32_t offset, uint32_t value) {
  if (value != 0) {
    int32_t minimum = DB_DEFAULT_CRITICAL_MIN, maximum = DB_DEFAULT_CRITICAL_MAX;
    if (g_module_critical_limits) g_module_critical_limits(&minimum, &maximum);
    int64_t v = value;
    if (v < minimum || v > maximum) return DB_BAD_VALUE;
  }
  db.SetValue(offset, 1, value, db.mib_nv, kWriteBack);
  return DB_OK;
}

uint32_t font_value(CDataBase& db, uint32_t offset, uint32_t value) {
  reader r{db};
  uint32_t type = r.nv(kSignType);
  if (in(offset, 72, 91)) {  // fontNumber
    uint32_t f = offset - 72;
    uint32_t status = r.nv(kFontStatus + f);
    if (status == kFontModifying) return DB_OK;
    if (status != kFontUnmanaged) return DB_GEN_ERR;
    return number_taken(r, kFontNumber, kFonts, f, value) ? DB_BAD_VALUE : DB_OK;
  }
  if (in(offset, 172, 191)) {  // fontHeight
    if (!font_editable(r.nv(kFontStatus + offset - 172))) return DB_GEN_ERR;
    bool matrix = type == 4 || type == 5 || type == 132 || type == 133;
    uint32_t limit = matrix ? r.nv(kCharacterHeight) : r.nv(kSignHeight, 2);
    return value > limit ? DB_BAD_VALUE : DB_OK;
  }
  if (in(offset, 192, 211)) {  // fontCharSpacing
    if (!font_editable(r.nv(kFontStatus + offset - 192))) return DB_GEN_ERR;
    bool limited = type == 5 || type == 6 || type == 133 || type == 134;
    return limited && value > r.nv(kSignWidth, 2) ? DB_BAD_VALUE : DB_OK;
  }
  if (in(offset, 212, 231))  // fontLineSpacing
    return font_editable(r.nv(kFontStatus + offset - 212)) ? DB_OK : DB_GEN_ERR;
  if (in(offset, 272, 291)) return font_status_rule(r.nv(offset), value);
  // characterWidth
  if (!font_editable(r.nv(kFontStatus + (offset - 292) / 255))) return DB_GEN_ERR;
  uint32_t sign_width = r.nv(kSignWidth, 2);
  uint32_t limit = sign_width;
  if (type == 4 || type == 132) {
    monitor_printf_debug("Char Charwidth val = %d  sign width %d\n", value, sign_width);
    limit = r.nv(kCharacterWidth);
  } else {
    monitor_printf_debug("Charwidth val = %d  sign width %d\n", value, sign_width);
  }
  return value > limit ? DB_BAD_VALUE : DB_OK;
}

uint32_t graphic_value(CDataBase& db, uint32_t offset, uint32_t value) {
  reader r{db};
  if (in(offset, 35464, 35513)) return graphic_status_rule(r.nv(offset), value);
  struct column {
    uint32_t first, last, width;
  };
  static const column kColumns[] = {
      {34660, 34709, 1},  // number
      {34912, 34961, 1},  // height
      {34962, 35060, 2},  // width
      {35062, 35111, 1},  // type
      {35212, 35261, 1},  // transparent enabled
  };
  for (const column& c : kColumns) {
    if (!in(offset, c.first, c.last)) continue;
    uint32_t g = (offset - c.first) / c.width;
    if (r.nv(kGraphicStatus + g) != kGraphicModifying) return DB_GEN_ERR;
    if (c.first == 34660) return number_taken(r, kGraphicNumber, kGraphics, g, value) ? DB_BAD_VALUE : DB_OK;
    if (c.first == 34912) return value > r.nv(kSignHeight, 2) ? DB_BAD_VALUE : DB_OK;
    if (c.first == 34962) return value > r.nv(kSignWidth, 2) ? DB_BAD_VALUE : DB_OK;
    return DB_OK;
  }
  return DB_OK;
}

// defaultBackgroundColor / defaultForegroundColor: the classic colour also
// becomes the one-byte RGB object of its pair.
uint32_t default_colour(CDataBase& db, uint32_t offset, uint32_t value) {
  reader r{db};
  if (r.nv(kColorScheme) != 3) return DB_GEN_ERR;
  if (!colour_allowed(r.nv(kModuleID, 2), value)) return DB_GEN_ERR;
  uint8_t byte = static_cast<uint8_t>(value);
  db.SetString(offset == kBackgroundColor ? kBackgroundRGB : kForegroundRGB, 4, &byte, 1, db.mib_nv, kWriteBack);
  return DB_OK;
}

uint32_t nonvolatile_value(CDataBase& db, uint32_t offset, uint32_t value) {
  reader r{db};
  // The changeable and permanent message rows.
  struct guarded {
    uint32_t first, last, width;
    bool validating_too;
  };
  static const guarded kColumns[] = {
      {30232, 31330, 2, true},   // CRC
      {31332, 31881, 1, false},  // beacon
      {31882, 32431, 1, false},  // pixel service
      {32432, 32981, 1, false},  // run-time priority
  };
  for (const guarded& c : kColumns)
    if (in(offset, c.first, c.last))
      return require(r.nv(kMessageStatus + (offset - c.first) / c.width), kMessageModifying,
                     c.validating_too ? kMessageValidating : kMessageModifying);
  if (in(offset, 32982, 33531)) return message_status_rule(r.nv(offset), value);
  if (offset == kDaylightSaving || in(offset, kBeginMonth, kBeginMonth + kRules - 1))
    return daylight_saving(db, offset, value);
  if (offset == 95023) return shut_off_temperature(db, offset, value);
  if (in(offset, 72, 91) || in(offset, 172, 231) || in(offset, 272, 5391)) return font_value(db, offset, value);
  if (in(offset, 34660, 35513)) return graphic_value(db, offset, value);
  if (offset == kBackgroundColor || offset == kForegroundColor) return default_colour(db, offset, value);
  return DB_OK;
}

// --- strings

// The brightness table: N levels of (output, photocell down, photocell up),
// contiguous in photocell level and within the photocell's range.
uint32_t brightness_table(CDataBase& db, const uint8_t* data, uint32_t length) {
  constexpr uint32_t kError = 33628;  // dmsIllumBrightnessValuesError
  auto refuse = [&](uint32_t error) {
    db.SetValue(kError, 1, error, db.mib_nv, DB_NOTIFY);
    return DB_GEN_ERR;
  };
  // The count byte is only read once there is one.
  if (length == 0) return refuse(6);
  uint32_t levels = data[0];
  if (levels == 0 || length != 6 * levels + 1) return refuse(6);
  uint32_t maximum = db.GetValue(164, 2, db.mib_v, 0);
  uint32_t previous_up = 0;
  for (uint32_t i = 0; i < levels; ++i) {
    const uint8_t* entry = data + 1 + 6 * i;
    uint32_t down = load_be16(entry + 2), up = load_be16(entry + 4);
    if (i > 0 && down > previous_up + 1) return refuse(3);  // a gap in the photocell levels
    if (down > maximum || up > maximum || up < down) return refuse(6);
    previous_up = up;
  }
  db.SetValue(kError, 1, 2, db.mib_nv, DB_NOTIFY);
  return DB_OK;
}

void set_event_status(CDataBase& db, uint32_t k, uint32_t error_bit, bool refused) {
  uint32_t at = kEventConfigStatus + k;
  if (refused) {
    db.m_dwOidErrors |= error_bit;
    db.SetValue(at, 1, 4, db.mib_nv, DB_NOTIFY);  // error
    return;
  }
  db.m_dwOidErrors &= ~error_bit;
  if (db.m_dwOidErrors == 0) {
    uint32_t enabled = db.GetValue(at, 1, db.mib_nv, 0) == 3;
    db.SetValue(at, 1, enabled ? 3 : 2, db.mib_nv, DB_NOTIFY);
  }
}

uint32_t event_oid(CDataBase& db, uint32_t k, const uint8_t* data, uint32_t length, bool log) {
  uint32_t bit = log ? kLogOIDError : kCompareOIDError;
  // Fewer than three sub-identifiers (0.0 and the like) mean "none".
  bool refused = length >= 12 && !oid_exists(data, length, log);
  set_event_status(db, k, bit, refused);
  return refused ? DB_BAD_VALUE : DB_OK;
}

// defaultBackgroundRGB / defaultForegroundRGB by the colour scheme.
uint32_t default_rgb(CDataBase& db, uint32_t offset, const uint8_t* data, uint32_t length) {
  reader r{db};
  uint32_t pair = offset == kBackgroundRGB ? kBackgroundColor : kForegroundColor;
  uint32_t module = r.nv(kModuleID, 2);
  auto write_pair = [&](uint32_t colour) { db.SetValue(pair, 1, colour, db.mib_nv, kWriteBack); };
  switch (r.nv(kColorScheme)) {
    case 1:  // monochrome, 1 bit
      if (length == 0 || data[0] > 1) return DB_GEN_ERR;
      write_pair(data[0] ? 9 : 0);
      return DB_OK;
    case 2:  // monochrome, 8 bits
      if (length != 1) return DB_GEN_ERR;
      write_pair(data[0] ? 9 : 0);
      return DB_OK;
    case 4:  // colour, 24 bits
      if (length != 3) return DB_GEN_ERR;
      return module_without_blue(module) && data[2] != 0 ? DB_GEN_ERR : DB_OK;
    default:  // classic colours
      if (length != 1 || !colour_allowed(module, data[0])) return DB_GEN_ERR;
      write_pair(data[0]);
      return DB_OK;
  }
}

uint32_t volatile_string(CDataBase& db, uint32_t offset) {
  reader r{db};
  if (in(offset, 40, 52) || in(offset, 56, 68)) {
    bool text = offset <= 52;
    uint32_t row = (offset - (text ? 40 : 56)) / 4;
    if (r.vol(kVolMessageStatus + row) == kMessageModifying) return DB_OK;
    monitor_printf(text ? "Vol MsgString error\n" : "Vol MsgOwner error\n");
    return DB_GEN_ERR;
  }
  return DB_OK;
}

uint32_t nonvolatile_string(CDataBase& db, uint32_t offset, const uint8_t* data, uint32_t length) {
  reader r{db};
  if (in(offset, 25832, 28028))  // MULTI text
    return require(r.nv(kMessageStatus + (offset - 25832) / 4), kMessageModifying);
  if (in(offset, 28032, 30228))  // owner
    return require(r.nv(kMessageStatus + (offset - 28032) / 4), kMessageModifying);
  if (offset == 33624) return brightness_table(db, data, length);
  if (in(offset, 92, 168)) return font_editable(r.nv(kFontStatus + (offset - 92) / 4)) ? DB_OK : DB_GEN_ERR;
  if (in(offset, 5392, 25788))
    return font_editable(r.nv(kFontStatus + (offset - 5392) / 4 / 255)) ? DB_OK : DB_GEN_ERR;
  if (in(offset, 34712, 34908)) return require(r.nv(kGraphicStatus + (offset - 34712) / 4), kGraphicModifying);
  if (in(offset, 35264, 35460)) return require(r.nv(kGraphicStatus + (offset - 35264) / 4), kGraphicModifying);
  if (in(offset, 35516, 48112))
    return require(r.nv(kGraphicStatus + (offset - 35516) / 4 / 63), kGraphicModifying);
  if (in(offset, kCompareOID, kCompareOID + 4 * 59)) return event_oid(db, (offset - kCompareOID) / 4, data, length, false);
  if (in(offset, kLogOID, kLogOID + 4 * 59)) return event_oid(db, (offset - kLogOID) / 4, data, length, true);
  if (offset == kBackgroundRGB || offset == kForegroundRGB) return default_rgb(db, offset, data, length);
  return DB_OK;
}

}  // namespace db_hooks
}  // namespace

uint32_t CDataBase::ValidateValue(uint32_t offset, uint32_t, uint32_t value, uint8_t* area) {
  if (!m_bHookEnable || (QuietBits() & DB_QUIET_HOOKS)) return DB_OK;
  if (area == mib_v) return db_hooks::volatile_value(*this, offset, value);
  if (area == mib_nv) return db_hooks::nonvolatile_value(*this, offset, value);
  return DB_OK;
}

uint32_t CDataBase::ValidateString(uint32_t offset, uint32_t, const void* data, uint32_t length, uint8_t* area) {
  if (!m_bHookEnable || (QuietBits() & DB_QUIET_HOOKS)) return DB_OK;
  if (area == mib_v) return db_hooks::volatile_string(*this, offset);
  if (area == mib_nv) return db_hooks::nonvolatile_string(*this, offset, static_cast<const uint8_t*>(data), length);
  return DB_OK;
}
