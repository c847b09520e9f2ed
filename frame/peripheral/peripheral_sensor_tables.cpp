// The sign-status tables of fans, climate control, light, humidity and
// temperature sensors: row counts, failure bitmaps, the rows' status
// columns and the summary bits of shortErrorStatus, kept moving together.
#include <cstring>

#include "frame/peripheral/peripheral.h"
#include "frame/peripheral/peripheral_db.h"
#include "frame/peripheral/peripheral_trap.h"

using namespace peripheral_db;

namespace {

// Fans have no count object; the count lives here.
int32_t s_fan_count = 0;

bool InGroup(int32_t row, int32_t rows) { return row >= 0 && row < rows; }

// A failure bitmap: row i is bit (i mod 8) of byte i / 8. Its length is the
// object's length; bytes beyond it read 0.
struct bitmap {
  static constexpr uint32_t kBytes = 32;
  db_object object;
  uint8_t bytes[kBytes] = {};
  uint32_t length = 0;

  explicit bitmap(db_object o) : object(o) {
    uint32_t n = 0;
    const uint8_t* p = get_string(object, v_area(), &n);
    length = n < kBytes ? n : kBytes;
    std::memcpy(bytes, p, length);
  }
  bool Any() const {
    for (uint32_t i = 0; i < length; ++i)
      if (bytes[i]) return true;
    return false;
  }
  // Length that keeps every set bit.
  uint32_t Needed() const {
    for (uint32_t i = length; i > 0; --i)
      if (bytes[i - 1]) return i;
    return 0;
  }
  void Set(uint32_t r) {
    // A row beyond a shortened map grows it rather than losing the bit.
    if (r / 8 >= length) length = r / 8 + 1;
    bytes[r / 8] |= static_cast<uint8_t>(1u << (r % 8));
  }
  void Clear(uint32_t r) {
    if (r / 8 < length) bytes[r / 8] &= static_cast<uint8_t>(~(1u << (r % 8)));
  }
  // Stored with the length a row count needs, but never shorter than its
  // highest set bit: a row that is still registered keeps its failure.
  void Store(uint32_t count) {
    uint32_t n = (count + 7) / 8;
    uint32_t keep = Needed();
    if (n < keep) n = keep;
    if (n > kBytes) n = kBytes;
    for (uint32_t i = length; i < n; ++i) bytes[i] = 0;
    length = n;
    set_string(object, bytes, length, v_area());
  }
  // Stored with its present length.
  void Store() { set_string(object, bytes, length, v_area()); }
};

// The new row r = count - 1 gets a clear bit in a map as long as count needs.
void PrepareBit(db_object map, uint32_t count) {
  bitmap b(map);
  b.Clear(count - 1);
  b.Store(count);
}

void GiveBackBit(db_object map, uint32_t row, uint32_t count) {
  bitmap b(map);
  b.Clear(row);
  b.Store(count);
}

void SetSummaryBits(uint16_t mask) {
  uint32_t v = get(vol::shortErrorStatus, v_area());
  if ((v & mask) != mask) set(vol::shortErrorStatus, v | mask, v_area());
}

void ClearSummaryBits(uint16_t mask) {
  uint32_t v = get(vol::shortErrorStatus, v_area());
  if (v & mask) set(vol::shortErrorStatus, v & ~static_cast<uint32_t>(mask), v_area());
}

bool ClimateFailureLeft() { return bitmap(vol::fanFailures).Any() || bitmap(vol::climateFailureMap).Any(); }

// Bit k: the k-th row of type 5, 6 or 7 (first eight only) has failed.
void StoreClimateSummary() {
  uint8_t summary = 0;
  if (ClimateFailureLeft()) {
    uint32_t rows = get(vol::climateNumRows, v_area());
    uint32_t k = 0;
    for (uint32_t r = 0; r < rows && r < static_cast<uint32_t>(CPeripheral::kMaxClimateRows) && k < 8; ++r) {
      uint32_t type = get(vol::climateType(r), v_area());
      if (type < 5 || type > 7) continue;
      if (get(vol::climateState(r), v_area()) == 3) summary |= static_cast<uint8_t>(1u << k);
      ++k;
    }
  }
  set_string(vol::climateSummary, &summary, 1, v_area());
}

void StoreText(db_object o, const char* text) {
  if (!text) text = "";
  set_string(o, text, static_cast<uint32_t>(std::strlen(text)), v_area());
}

// Takes the next row of a group whose count is a database object.
int TakeRow(int32_t* row, db_object count_object, int32_t most, db_object map) {
  uint32_t count = get(count_object, v_area());
  if (count >= static_cast<uint32_t>(most)) return 0;
  *row = static_cast<int32_t>(count);
  set(count_object, count + 1, v_area());
  PrepareBit(map, count + 1);
  return 1;
}

// Counts never go below 0.
uint32_t DropCount(db_object count_object) {
  uint32_t count = get(count_object, v_area());
  if (count > 0) set(count_object, --count, v_area());
  return count;
}

void SendFirstFanTrap() {
  peripheral_trap_origin origin;
  peripheral_trap_binding bindings[2] = {};
  peripheral_trap_origin_bindings(bindings, &origin);
  peripheral_send_trap(TRAP_ENTERPRISE_SPECIFIC, TRAP_FIRST_FAN_FAILURE, 2, bindings);
}

}  // namespace

void peripheral_tables_reset() {
  reset_status_registration();
  s_fan_count = 0;
}

// --- registration

int CPeripheral::RegisterFanRow(int32_t* row) {
  if (!row || !g_pDataBase) return 0;
  if (*row != -1) return 1;
  if (s_fan_count >= kMaxFanRows) return 0;
  *row = s_fan_count++;
  PrepareBit(vol::fanFailures, static_cast<uint32_t>(s_fan_count));
  return 1;
}

int CPeripheral::RegisterClimateRow(int32_t* row, const char* description, const char* status_text, uint8_t type) {
  if (!row || !g_pDataBase) return 0;
  if (*row != -1) return 1;
  if (!TakeRow(row, vol::climateNumRows, kMaxClimateRows, vol::climateFailureMap)) return 0;
  uint32_t r = static_cast<uint32_t>(*row);
  set(vol::climateOn(r), 0, v_area());
  StoreText(vol::climateDescription(r), description);
  StoreText(vol::climateStatusText(r), status_text);
  set(vol::climateType(r), type, v_area());
  StoreClimateSummary();
  return 1;
}

int CPeripheral::RegisterLightRow(int32_t* row, const char* description) {
  if (!row || !g_pDataBase) return 0;
  if (*row != -1) return 1;
  if (!TakeRow(row, vol::lightNumRows, kMaxLightRows, vol::lightFailureMap)) return 0;
  uint32_t r = static_cast<uint32_t>(*row);
  StoreText(vol::lightDescription(r), description);
  set(vol::lightReading(r), 0, v_area());
  set(vol::lightStatus(r), 2, v_area());
  return 1;
}

int CPeripheral::RegisterHumidityRow(int32_t* row, const char* description) {
  if (!row || !g_pDataBase) return 0;
  if (*row != -1) return 1;
  if (!TakeRow(row, vol::humidityNumRows, kMaxHumidityRows, vol::humidityFailureMap)) return 0;
  uint32_t r = static_cast<uint32_t>(*row);
  StoreText(vol::humidityDescription(r), description);
  set(vol::humidityReading(r), 0, v_area());
  set(vol::humidityStatus(r), 2, v_area());
  return 1;
}

// --- unregistration

void CPeripheral::UnregisterFanRow(int32_t* row) {
  if (!row || !g_pDataBase || *row == -1) return;
  if (InGroup(*row, kMaxFanRows)) {
    if (s_fan_count > 0) --s_fan_count;
    GiveBackBit(vol::fanFailures, static_cast<uint32_t>(*row), static_cast<uint32_t>(s_fan_count));
    if (!ClimateFailureLeft()) ClearSummaryBits(SES_CLIMATE);
  }
  *row = -1;
}

void CPeripheral::UnregisterClimateRow(int32_t* row) {
  if (!row || !g_pDataBase || *row == -1) return;
  if (InGroup(*row, kMaxClimateRows)) {
    uint32_t r = static_cast<uint32_t>(*row);
    StoreText(vol::climateDescription(r), "");
    set(vol::climateType(r), 1, v_area());
    uint32_t count = DropCount(vol::climateNumRows);
    StoreText(vol::climateStatusText(r), "");
    set(vol::climateState(r), 2, v_area());
    set(vol::climateOn(r), 0, v_area());
    set(vol::climateTestActivation(r), 2, v_area());
    StoreText(vol::climateText(r), "");
    GiveBackBit(vol::climateFailureMap, r, count);
    if (!ClimateFailureLeft()) ClearSummaryBits(SES_CLIMATE);
    StoreClimateSummary();
  }
  *row = -1;
}

void CPeripheral::UnregisterLightRow(int32_t* row) {
  if (!row || !g_pDataBase || *row == -1) return;
  if (InGroup(*row, kMaxLightRows)) {
    uint32_t r = static_cast<uint32_t>(*row);
    StoreText(vol::lightDescription(r), "");
    set(vol::lightReading(r), 0, v_area());
    set(vol::lightStatus(r), 0, v_area());
    GiveBackBit(vol::lightFailureMap, r, DropCount(vol::lightNumRows));
    if (!bitmap(vol::lightFailureMap).Any()) ClearSummaryBits(SES_LIGHT);
  }
  *row = -1;
}

void CPeripheral::UnregisterHumidityRow(int32_t* row) {
  if (!row || !g_pDataBase || *row == -1) return;
  if (InGroup(*row, kMaxHumidityRows)) {
    uint32_t r = static_cast<uint32_t>(*row);
    StoreText(vol::humidityDescription(r), "");
    set(vol::humidityReading(r), 0, v_area());
    set(vol::humidityStatus(r), 0, v_area());
    GiveBackBit(vol::humidityFailureMap, r, DropCount(vol::humidityNumRows));
    if (!bitmap(vol::humidityFailureMap).Any()) ClearSummaryBits(SES_HUMIDITY);
  }
  *row = -1;
}

// --- failure bits

int CPeripheral::SetFanBitmapBit(int32_t fan_row, int32_t climate_row, const char* text) {
  if (!g_pDataBase) return 0;
  int done = 0;
  if (InGroup(fan_row, kMaxFanRows)) {
    // The trap announces the first climate failure, not every fan.
    if (!(get(vol::shortErrorStatus, v_area()) & SES_CLIMATE)) SendFirstFanTrap();
    bitmap b(vol::fanFailures);
    b.Set(static_cast<uint32_t>(fan_row));
    b.Store();
    SetSummaryBits(SES_CLIMATE);
    done = 1;
  }
  return SetClimateBitmapBit(climate_row, text) | done;
}

int CPeripheral::ClearFanBitmapBit(int32_t fan_row, int32_t climate_row, const char* text) {
  if (!g_pDataBase) return 0;
  int done = 0;
  if (InGroup(fan_row, kMaxFanRows)) {
    bitmap b(vol::fanFailures);
    b.Clear(static_cast<uint32_t>(fan_row));
    b.Store();
    // With a climate row the climate clear decides.
    if (climate_row == -1 && !ClimateFailureLeft()) ClearSummaryBits(SES_CLIMATE);
    done = 1;
  }
  return ClearClimateBitmapBit(climate_row, text) | done;
}

int CPeripheral::SetClimateBitmapBit(int32_t row, const char* text) {
  if (!g_pDataBase || !InGroup(row, kMaxClimateRows)) return 0;
  uint32_t r = static_cast<uint32_t>(row);
  bitmap b(vol::climateFailureMap);
  b.Set(r);
  b.Store();
  StoreText(vol::climateStatusText(r), text);
  set(vol::climateState(r), 3, v_area());
  SetSummaryBits(SES_CLIMATE);
  StoreClimateSummary();
  return 1;
}

int CPeripheral::ClearClimateBitmapBit(int32_t row, const char* text) {
  if (!g_pDataBase || !InGroup(row, kMaxClimateRows)) return 0;
  uint32_t r = static_cast<uint32_t>(row);
  bitmap b(vol::climateFailureMap);
  b.Clear(r);
  b.Store();
  StoreText(vol::climateStatusText(r), text);
  set(vol::climateState(r), 2, v_area());
  if (!ClimateFailureLeft()) ClearSummaryBits(SES_CLIMATE);
  StoreClimateSummary();
  return 1;
}

namespace {

// A sensor group's failure bit with its row columns and summary bit.
struct sensor_group {
  db_object map;
  int32_t rows;
  uint16_t summary;  // 0: the group has no summary bit
};

int SetSensorBit(const sensor_group& g, int32_t row) {
  if (!g_pDataBase || !InGroup(row, g.rows)) return 0;
  bitmap b(g.map);
  b.Set(static_cast<uint32_t>(row));
  b.Store();
  if (g.summary) SetSummaryBits(g.summary);
  return 1;
}

int ClearSensorBit(const sensor_group& g, int32_t row) {
  if (!g_pDataBase || !InGroup(row, g.rows)) return 0;
  bitmap b(g.map);
  b.Clear(static_cast<uint32_t>(row));
  b.Store();
  if (g.summary && !b.Any()) ClearSummaryBits(g.summary);
  return 1;
}

const sensor_group kLight{vol::lightFailureMap, CPeripheral::kMaxLightRows, CPeripheral::SES_LIGHT};
const sensor_group kHumidity{vol::humidityFailureMap, CPeripheral::kMaxHumidityRows, CPeripheral::SES_HUMIDITY};
const sensor_group kTemperature{vol::tempFailureMap, CPeripheral::kMaxTemperatureRows, 0};
const sensor_group kTempWarning{vol::tempWarningMap, CPeripheral::kMaxTemperatureRows, CPeripheral::SES_TEMP_WARNING};
const sensor_group kTempCritical{vol::tempCriticalMap, CPeripheral::kMaxTemperatureRows,
                                 CPeripheral::SES_TEMP_CRITICAL};

}  // namespace

int CPeripheral::SetLightBitmapBit(int32_t row) {
  if (!SetSensorBit(kLight, row)) return 0;
  set(vol::lightReading(static_cast<uint32_t>(row)), 0, v_area());
  set(vol::lightStatus(static_cast<uint32_t>(row)), 3, v_area());
  return 1;
}

int CPeripheral::ClearLightBitmapBit(int32_t row) {
  if (!ClearSensorBit(kLight, row)) return 0;
  set(vol::lightStatus(static_cast<uint32_t>(row)), 2, v_area());
  return 1;
}

int CPeripheral::SetHumidityBitmapBit(int32_t row) {
  if (!SetSensorBit(kHumidity, row)) return 0;
  set(vol::humidityReading(static_cast<uint32_t>(row)), 0, v_area());
  set(vol::humidityStatus(static_cast<uint32_t>(row)), 3, v_area());
  return 1;
}

int CPeripheral::ClearHumidityBitmapBit(int32_t row) {
  if (!ClearSensorBit(kHumidity, row)) return 0;
  set(vol::humidityStatus(static_cast<uint32_t>(row)), 2, v_area());
  return 1;
}

int CPeripheral::SetTemperatureBitmapBit(int32_t row) {
  if (!SetSensorBit(kTemperature, row)) return 0;
  set(vol::tempReading(static_cast<uint32_t>(row)), 0, v_area());
  set(vol::tempStatus(static_cast<uint32_t>(row)), 3, v_area());
  return 1;
}

int CPeripheral::ClearTemperatureBitmapBit(int32_t row) {
  if (!ClearSensorBit(kTemperature, row)) return 0;
  set(vol::tempReading(static_cast<uint32_t>(row)), 0, v_area());
  set(vol::tempStatus(static_cast<uint32_t>(row)), 2, v_area());
  return 1;
}

int CPeripheral::SetTemperatureFlagBitA(int32_t row) { return SetSensorBit(kTempWarning, row); }
int CPeripheral::ClearTemperatureFlagBitA(int32_t row) { return ClearSensorBit(kTempWarning, row); }
int CPeripheral::SetTemperatureFlagBitB(int32_t row) { return SetSensorBit(kTempCritical, row); }
int CPeripheral::ClearTemperatureFlagBitB(int32_t row) { return ClearSensorBit(kTempCritical, row); }

// --- climate-table columns

namespace {

int SetClimateByte(db_object (*column)(uint32_t), int32_t row, uint8_t value, uint32_t flags = DB_NOTIFY) {
  if (!g_pDataBase || !InGroup(row, CPeripheral::kMaxClimateRows)) return 0;
  const db_object o = column(static_cast<uint32_t>(row));
  g_pDataBase->SetValue(o.offset, o.width, value, v_area(), flags);
  return 1;
}

uint32_t GetClimateByte(db_object (*column)(uint32_t), int32_t row) {
  if (!g_pDataBase || !InGroup(row, CPeripheral::kMaxClimateRows)) return 0xFFFFFFFF;
  return get(column(static_cast<uint32_t>(row)), v_area());
}

int SetClimateText(db_object (*column)(uint32_t), int32_t row, const char* text) {
  if (!g_pDataBase || !InGroup(row, CPeripheral::kMaxClimateRows)) return 0;
  StoreText(column(static_cast<uint32_t>(row)), text);
  return 1;
}

}  // namespace

int CPeripheral::SetFanRowText(int32_t row, const char* text) {
  return SetClimateText(vol::climateStatusText, row, text);
}
int CPeripheral::SetFanRowByte(int32_t row, uint8_t value) { return SetClimateByte(vol::climateState, row, value); }
uint32_t CPeripheral::GetFanRowByte(int32_t row) { return GetClimateByte(vol::climateState, row); }
int CPeripheral::SetClimateRowByteA(int32_t row, uint8_t value) { return SetClimateByte(vol::climateOn, row, value); }
uint32_t CPeripheral::GetClimateRowByteA(int32_t row) { return GetClimateByte(vol::climateOn, row); }
int CPeripheral::SetClimateRowByteB(int32_t row, uint8_t value) {
  // 4 (no test possible) is the controller's own answer: the write check
  // keeps it from managers only.
  return SetClimateByte(vol::climateTestActivation, row, value, DB_NOTIFY | DB_NO_VALIDATE);
}
uint32_t CPeripheral::GetClimateRowByteB(int32_t row) { return GetClimateByte(vol::climateTestActivation, row); }
int CPeripheral::SetClimateRowText(int32_t row, const char* text) {
  return SetClimateText(vol::climateText, row, text);
}
