// The fan, climate-control, light, humidity and temperature tables: row
// registration and bitmap growth, give-back and shrinking, failure bits with
// their row columns and shortErrorStatus bits, the climate summary and the
// first-fan trap.
#include <climits>
#include <cstring>
#include <functional>

#include "peripheral_fixture.h"

namespace {

class SensorTablesTest : public PeripheralTest {
 protected:
  std::vector<int32_t> Register(int n, const std::function<int(int32_t*)>& reg) {
    std::vector<int32_t> rows;
    for (int i = 0; i < n; ++i) {
      int32_t row = -1;
      EXPECT_EQ(reg(&row), 1) << i;
      rows.push_back(row);
    }
    return rows;
  }
  std::vector<int32_t> Fans(int n) { return Register(n, CPeripheral::RegisterFanRow); }
  std::vector<int32_t> Climate(int n, uint8_t type = 2) {
    return Register(n, [type](int32_t* r) { return CPeripheral::RegisterClimateRow(r, "FANS", "FANS PASSED", type); });
  }
  std::vector<int32_t> Lights(int n) {
    return Register(n, [](int32_t* r) { return CPeripheral::RegisterLightRow(r, "LIGHT"); });
  }
  std::vector<int32_t> Humidity(int n) {
    return Register(n, [](int32_t* r) { return CPeripheral::RegisterHumidityRow(r, "HUMIDITY"); });
  }
};

TEST_F(SensorTablesTest, FanBitmapGrowsWithTheRows) {
  // Stale bits from an earlier owner.
  SetVString(vol::fanFailures, Bytes({0xFF}));
  auto rows = Fans(8);
  EXPECT_EQ(rows.back(), 7);
  // Row 7 cleared its bit of byte 0; rows 1..6 cleared theirs too.
  EXPECT_EQ(VString(vol::fanFailures), Bytes({0x00}));
  SetVString(vol::fanFailures, Bytes({0x80}));
  int32_t ninth = -1;
  ASSERT_EQ(CPeripheral::RegisterFanRow(&ninth), 1);
  EXPECT_EQ(ninth, 8);
  EXPECT_EQ(VString(vol::fanFailures), Bytes({0x80, 0x00}));
}

TEST_F(SensorTablesTest, FanBitmapIsMadeWhenMissing) {
  ASSERT_EQ(VString(vol::fanFailures), "");
  Fans(1);
  EXPECT_EQ(VString(vol::fanFailures), Bytes({0x00}));
}

TEST_F(SensorTablesTest, RegistrationOfAHeldRowChangesNothing) {
  int32_t row = 3;
  EXPECT_EQ(CPeripheral::RegisterLightRow(&row, "X"), 1);
  EXPECT_EQ(CPeripheral::RegisterFanRow(&row), 1);
  EXPECT_EQ(row, 3);
  EXPECT_EQ(V(vol::lightNumRows), 0u);
  int32_t fresh = -1;
  ASSERT_EQ(CPeripheral::RegisterFanRow(&fresh), 1);
  EXPECT_EQ(fresh, 0);
  EXPECT_EQ(CPeripheral::RegisterFanRow(nullptr), 0);
}

TEST_F(SensorTablesTest, FullGroupsRefuseTheNextRow) {
  struct Row {
    const char* group;
    int most;
    std::function<int(int32_t*)> reg;
  } rows[] = {
      {"fans", 64, CPeripheral::RegisterFanRow},
      {"climate", 32, [](int32_t* r) { return CPeripheral::RegisterClimateRow(r, "H", "HEATER PASSED", 7); }},
      {"light", 12, [](int32_t* r) { return CPeripheral::RegisterLightRow(r, "L"); }},
      {"humidity", 6, [](int32_t* r) { return CPeripheral::RegisterHumidityRow(r, "H"); }},
  };
  for (const Row& r : rows) {
    auto taken = Register(r.most, r.reg);
    EXPECT_EQ(taken.back(), r.most - 1) << r.group;
    int32_t extra = -1;
    EXPECT_EQ(r.reg(&extra), 0) << r.group;
    EXPECT_EQ(extra, -1) << r.group;
  }
  EXPECT_EQ(V(vol::climateNumRows), 32u);
  EXPECT_EQ(VString(vol::climateFailureMap).size(), 4u);
  EXPECT_EQ(VString(vol::fanFailures).size(), 8u);
  EXPECT_EQ(VString(vol::lightFailureMap).size(), 2u);
  EXPECT_EQ(VString(vol::humidityFailureMap).size(), 1u);
}

TEST_F(SensorTablesTest, ClimateRowRegistrationWritesItsColumns) {
  auto rows = Climate(1, 7);
  EXPECT_EQ(rows[0], 0);
  EXPECT_EQ(V(vol::climateNumRows), 1u);
  EXPECT_EQ(VString(vol::climateDescription(0)), "FANS");
  EXPECT_EQ(VString(vol::climateStatusText(0)), "FANS PASSED");
  EXPECT_EQ(V(vol::climateType(0)), 7u);
  EXPECT_EQ(V(vol::climateOn(0)), 0u);
  EXPECT_EQ(VString(vol::climateFailureMap), Bytes({0x00}));
  EXPECT_EQ(VString(vol::climateSummary), Bytes({0x00}));
}

TEST_F(SensorTablesTest, LightAndHumidityRegistration) {
  V(vol::lightStatus(0), 0);
  V(vol::lightReading(0), 500);
  auto light = Lights(1);
  auto humidity = Humidity(1);
  EXPECT_EQ(VString(vol::lightDescription(0)), "LIGHT");
  EXPECT_EQ(V(vol::lightReading(0)), 0u);
  EXPECT_EQ(V(vol::lightStatus(0)), 2u);
  EXPECT_EQ(VString(vol::lightFailureMap), Bytes({0x00}));
  EXPECT_EQ(VString(vol::humidityDescription(0)), "HUMIDITY");
  EXPECT_EQ(V(vol::humidityStatus(0)), 2u);
  EXPECT_EQ(V(vol::humidityNumRows), 1u);
}

// Each sensor group's failure bit drives its summary bit of
// shortErrorStatus, which clears only with the group's last failure.
TEST_F(SensorTablesTest, SummaryBitsFollowTheLastFailure) {
  struct Group {
    const char* name;
    uint16_t bit;
    std::function<void()> make_rows;
    int (*set)(int32_t);
    int (*clear)(int32_t);
  } groups[] = {
      {"light", 0x0040, [this] { Lights(3); }, CPeripheral::SetLightBitmapBit, CPeripheral::ClearLightBitmapBit},
      {"humidity", 0x4000, [this] { Humidity(3); }, CPeripheral::SetHumidityBitmapBit,
       CPeripheral::ClearHumidityBitmapBit},
      {"temperature warning", 0x0200, [this] { SetVString(vol::tempWarningMap, Bytes({0})); },
       CPeripheral::SetTemperatureFlagBitA, CPeripheral::ClearTemperatureFlagBitA},
      {"critical temperature", 0x0800, [this] { SetVString(vol::tempCriticalMap, Bytes({0})); },
       CPeripheral::SetTemperatureFlagBitB, CPeripheral::ClearTemperatureFlagBitB},
  };
  for (const Group& g : groups) {
    g.make_rows();
    V(vol::shortErrorStatus, 0x0001);  // an unrelated bit stays
    EXPECT_EQ(g.set(0), 1) << g.name;
    EXPECT_EQ(g.set(2), 1) << g.name;
    EXPECT_EQ(ShortErrorStatus(), 0x0001u | g.bit) << g.name;
    EXPECT_EQ(g.clear(0), 1) << g.name;
    EXPECT_EQ(ShortErrorStatus(), 0x0001u | g.bit) << g.name << ": row 2 still failed";
    EXPECT_EQ(g.clear(2), 1) << g.name;
    EXPECT_EQ(ShortErrorStatus(), 0x0001u) << g.name;
  }
}

TEST_F(SensorTablesTest, SensorFailureColumns) {
  Lights(2);
  Humidity(2);
  V(vol::lightReading(1), 300);
  V(vol::humidityReading(1), 40);
  CPeripheral::SetLightBitmapBit(1);
  CPeripheral::SetHumidityBitmapBit(1);
  EXPECT_EQ(VString(vol::lightFailureMap), Bytes({0x02}));
  EXPECT_EQ(V(vol::lightReading(1)), 0u);
  EXPECT_EQ(V(vol::lightStatus(1)), 3u);
  EXPECT_EQ(V(vol::humidityReading(1)), 0u);
  EXPECT_EQ(V(vol::humidityStatus(1)), 3u);
  CPeripheral::ClearLightBitmapBit(1);
  CPeripheral::ClearHumidityBitmapBit(1);
  EXPECT_EQ(VString(vol::lightFailureMap), Bytes({0x00}));
  EXPECT_EQ(V(vol::lightStatus(1)), 2u);
  EXPECT_EQ(V(vol::humidityStatus(1)), 2u);

  // Temperature rows: reading 0 both ways, no summary bit.
  SetVString(vol::tempFailureMap, Bytes({0, 0}));
  V(vol::tempReading(9), 25);
  EXPECT_EQ(CPeripheral::SetTemperatureBitmapBit(9), 1);
  EXPECT_EQ(VString(vol::tempFailureMap), Bytes({0x00, 0x02}));
  EXPECT_EQ(V(vol::tempStatus(9)), 3u);
  EXPECT_EQ(V(vol::tempReading(9)), 0u);
  V(vol::tempReading(9), 25);
  EXPECT_EQ(CPeripheral::ClearTemperatureBitmapBit(9), 1);
  EXPECT_EQ(V(vol::tempStatus(9)), 2u);
  EXPECT_EQ(V(vol::tempReading(9)), 0u);
  EXPECT_EQ(ShortErrorStatus(), 0u);
}

TEST_F(SensorTablesTest, RowsOfMinusOneOrBeyondTheGroupAreIgnored) {
  Climate(1);
  std::vector<uint8_t> before(db_->mib_v, db_->mib_v + MIB_V_SIZE);
  struct Op {
    const char* name;
    int32_t first_beyond;  // the group's row count
    std::function<int(int32_t)> call;
  } ops[] = {
      {"SetLightBitmapBit", 12, CPeripheral::SetLightBitmapBit},
      {"ClearLightBitmapBit", 12, CPeripheral::ClearLightBitmapBit},
      {"SetHumidityBitmapBit", 6, CPeripheral::SetHumidityBitmapBit},
      {"ClearHumidityBitmapBit", 6, CPeripheral::ClearHumidityBitmapBit},
      {"SetTemperatureBitmapBit", 12, CPeripheral::SetTemperatureBitmapBit},
      {"ClearTemperatureBitmapBit", 12, CPeripheral::ClearTemperatureBitmapBit},
      {"SetTemperatureFlagBitA", 12, CPeripheral::SetTemperatureFlagBitA},
      {"SetTemperatureFlagBitB", 12, CPeripheral::SetTemperatureFlagBitB},
      {"SetFanBitmapBit", 64, [](int32_t r) { return CPeripheral::SetFanBitmapBit(r, -1, "X"); }},
      {"ClearFanBitmapBit", 64, [](int32_t r) { return CPeripheral::ClearFanBitmapBit(r, -1, "X"); }},
      {"SetClimateBitmapBit", 32, [](int32_t r) { return CPeripheral::SetClimateBitmapBit(r, "X"); }},
      {"ClearClimateBitmapBit", 32, [](int32_t r) { return CPeripheral::ClearClimateBitmapBit(r, "X"); }},
      {"SetFanRowText", 32, [](int32_t r) { return CPeripheral::SetFanRowText(r, "X"); }},
      {"SetFanRowByte", 32, [](int32_t r) { return CPeripheral::SetFanRowByte(r, 9); }},
      {"SetClimateRowByteA", 32, [](int32_t r) { return CPeripheral::SetClimateRowByteA(r, 9); }},
      {"SetClimateRowByteB", 32, [](int32_t r) { return CPeripheral::SetClimateRowByteB(r, 9); }},
      {"SetClimateRowText", 32, [](int32_t r) { return CPeripheral::SetClimateRowText(r, "X"); }},
  };
  for (const Op& op : ops)
    for (int32_t row : {-1, -2, op.first_beyond, op.first_beyond + 1000, INT32_MIN})
      EXPECT_EQ(op.call(row), 0) << op.name << " " << row;
  for (int32_t row : {-1, 32, 1000}) {
    EXPECT_EQ(CPeripheral::GetFanRowByte(row), 0xFFFFFFFFu) << row;
    EXPECT_EQ(CPeripheral::GetClimateRowByteA(row), 0xFFFFFFFFu) << row;
    EXPECT_EQ(CPeripheral::GetClimateRowByteB(row), 0xFFFFFFFFu) << row;
  }
  EXPECT_TRUE(std::equal(before.begin(), before.end(), db_->mib_v));
  EXPECT_TRUE(Traps().empty());
}

TEST_F(SensorTablesTest, ClimateColumnAccessors) {
  auto rows = Climate(2);
  int32_t r = rows[1];
  EXPECT_EQ(CPeripheral::SetFanRowText(r, "FANS NOT MONITORED"), 1);
  EXPECT_EQ(VString(vol::climateStatusText(1)), "FANS NOT MONITORED");
  EXPECT_EQ(CPeripheral::SetFanRowText(r, nullptr), 1);
  EXPECT_EQ(VString(vol::climateStatusText(1)), "");
  EXPECT_EQ(CPeripheral::SetFanRowByte(r, 4), 1);
  EXPECT_EQ(CPeripheral::GetFanRowByte(r), 4u);
  EXPECT_EQ(CPeripheral::SetClimateRowByteA(r, 1), 1);
  EXPECT_EQ(CPeripheral::GetClimateRowByteA(r), 1u);
  EXPECT_EQ(CPeripheral::SetClimateRowByteB(r, 3), 1);
  EXPECT_EQ(CPeripheral::GetClimateRowByteB(r), 3u);
  EXPECT_EQ(CPeripheral::SetClimateRowText(r, "ABORTED"), 1);
  EXPECT_EQ(VString(vol::climateText(1)), "ABORTED");
  EXPECT_EQ(CPeripheral::SetClimateRowText(r, nullptr), 1);
  EXPECT_EQ(VString(vol::climateText(1)), "");
  // Row 0's columns are untouched.
  EXPECT_EQ(V(vol::climateState(0)), 0u);
  EXPECT_EQ(V(vol::climateTestActivation(0)), 0u);
}

TEST_F(SensorTablesTest, FirstFanFailureSendsOneTrap) {
  auto fans = Fans(2);
  auto climate = Climate(1);
  SetNvString(nv::sysLocation, "MILE 12 NB");
  ASSERT_EQ(db_->SetTimeValue(48180, 4, 0x12345678, db_->mib_nv, 0), DB_OK);

  EXPECT_EQ(CPeripheral::SetFanBitmapBit(fans[0], climate[0], "COMM ERROR"), 1);
  ASSERT_EQ(Traps().size(), 1u);
  const captured_trap& t = Traps()[0];
  EXPECT_EQ(t.generic, 6u);
  EXPECT_EQ(t.specific, 15u);
  ASSERT_EQ(t.bindings.size(), 2u);
  EXPECT_EQ(t.bindings[0].oid, (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 6, 0}));
  EXPECT_EQ(t.bindings[0].type, 2);
  EXPECT_EQ(t.bindings[0].value, "MILE 12 NB");
  EXPECT_EQ(t.bindings[1].oid, (std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0}));
  EXPECT_EQ(t.bindings[1].type, 5);
  // The time as the agent takes a counter: a u32 in host order.
  ASSERT_EQ(t.bindings[1].value.size(), 4u);
  uint32_t time = 0;
  std::memcpy(&time, t.bindings[1].value.data(), 4);
  EXPECT_EQ(time, 0x12345678u);

  EXPECT_EQ(VString(vol::fanFailures), Bytes({0x01}));
  EXPECT_EQ(VString(vol::climateFailureMap), Bytes({0x01}));
  EXPECT_EQ(VString(vol::climateStatusText(0)), "COMM ERROR");
  EXPECT_EQ(V(vol::climateState(0)), 3u);
  EXPECT_EQ(ShortErrorStatus(), 0x0400u);

  // A second fan, and the first one again: no more traps while bit 10 is set.
  CPeripheral::SetFanBitmapBit(fans[1], climate[0], "COMM ERROR");
  CPeripheral::SetFanBitmapBit(fans[0], climate[0], "COMM ERROR");
  EXPECT_EQ(Traps().size(), 1u);
  EXPECT_EQ(VString(vol::fanFailures), Bytes({0x03}));

  // Once everything has cleared, the next failure is a first one again.
  CPeripheral::ClearFanBitmapBit(fans[0], climate[0], "FANS PASSED");
  CPeripheral::ClearFanBitmapBit(fans[1], climate[0], "FANS PASSED");
  EXPECT_EQ(ShortErrorStatus(), 0u);
  CPeripheral::SetFanBitmapBit(fans[1], -1, "FAILED");
  EXPECT_EQ(Traps().size(), 2u);
}

TEST_F(SensorTablesTest, NoTrapWithoutAFanRowOrWhileAClimateFailureIsSet) {
  auto fans = Fans(1);
  auto climate = Climate(1, 7);
  // A heater failure alone sends no trap ...
  CPeripheral::SetFanBitmapBit(-1, climate[0], "HEATER FAILED");
  EXPECT_TRUE(Traps().empty());
  EXPECT_EQ(ShortErrorStatus(), 0x0400u);
  // ... and a fan failing after it is not the first climate failure.
  CPeripheral::SetFanBitmapBit(fans[0], -1, "FAILED");
  EXPECT_TRUE(Traps().empty());
  // Without an installed sender the trap is dropped quietly.
  peripheral_set_trap_sender(nullptr);
  CPeripheral::ClearFanBitmapBit(fans[0], climate[0], "PASSED");
  EXPECT_EQ(ShortErrorStatus(), 0u);
  EXPECT_EQ(CPeripheral::SetFanBitmapBit(fans[0], -1, "FAILED"), 1);
  EXPECT_TRUE(Traps().empty());
  EXPECT_EQ(ShortErrorStatus(), 0x0400u);
}

TEST_F(SensorTablesTest, FanClearLeavesBit10ToTheClimateClear) {
  auto fans = Fans(2);
  auto climate = Climate(2);
  CPeripheral::SetFanBitmapBit(fans[0], -1, "FAILED");
  CPeripheral::SetClimateBitmapBit(climate[1], "HEATER FAILED");

  // Climate row -1: bit 10 stays while the climate map has a bit.
  CPeripheral::ClearFanBitmapBit(fans[0], -1, "PASSED");
  EXPECT_EQ(VString(vol::fanFailures), Bytes({0x00}));
  EXPECT_EQ(ShortErrorStatus(), 0x0400u);

  // With a climate row, the climate clear decides: row 0 clears, but the
  // failed fan keeps bit 10.
  CPeripheral::SetFanBitmapBit(fans[1], -1, "FAILED");
  CPeripheral::ClearClimateBitmapBit(climate[1], "PASSED");
  EXPECT_EQ(ShortErrorStatus(), 0x0400u);
  EXPECT_EQ(CPeripheral::ClearFanBitmapBit(fans[1], climate[0], "FANS PASSED"), 1);
  EXPECT_EQ(ShortErrorStatus(), 0u);
  EXPECT_EQ(VString(vol::climateStatusText(0)), "FANS PASSED");
  EXPECT_EQ(V(vol::climateState(0)), 2u);
}

TEST_F(SensorTablesTest, ClimateSummaryCountsRowsOfTypes5To7) {
  // Types in row order: 2 is never represented; the ninth row of types 5 to
  // 7 falls outside the byte.
  const uint8_t types[] = {2, 5, 6, 2, 7, 5, 5, 5, 5, 6, 7};
  for (uint8_t t : types) {
    int32_t row = -1;
    ASSERT_EQ(CPeripheral::RegisterClimateRow(&row, "C", "PASSED", t), 1);
  }
  for (int32_t r = 0; r < 11; ++r) CPeripheral::SetClimateBitmapBit(r, "FAILED");
  // Rows 1,2,4,5,6,7,8,9 are the eight counted ones; row 10 is the ninth.
  EXPECT_EQ(VString(vol::climateSummary), Bytes({0xFF}));

  CPeripheral::ClearClimateBitmapBit(2, "PASSED");  // k = 1
  CPeripheral::ClearClimateBitmapBit(0, "PASSED");  // type 2, not counted
  EXPECT_EQ(VString(vol::climateSummary), Bytes({0xFD}));
  CPeripheral::ClearClimateBitmapBit(10, "PASSED");  // not represented
  EXPECT_EQ(VString(vol::climateSummary), Bytes({0xFD}));
  for (int32_t r : {1, 3, 4, 5, 6, 7, 8}) CPeripheral::ClearClimateBitmapBit(r, "PASSED");
  EXPECT_EQ(VString(vol::climateSummary), Bytes({0x80}));
  CPeripheral::ClearClimateBitmapBit(9, "PASSED");
  EXPECT_EQ(VString(vol::climateSummary), Bytes({0x00}));
  EXPECT_EQ(ShortErrorStatus(), 0u);
}

TEST_F(SensorTablesTest, UnregisteringTheLastClimateRow) {
  auto rows = Climate(1, 7);
  int32_t row = rows[0];
  CPeripheral::SetClimateRowByteA(row, 1);
  CPeripheral::SetClimateRowByteB(row, 3);
  CPeripheral::SetClimateRowText(row, "ABORTED");
  CPeripheral::SetClimateBitmapBit(row, "HEATER FAILED");
  ASSERT_EQ(ShortErrorStatus(), 0x0400u);

  CPeripheral::UnregisterClimateRow(&row);
  EXPECT_EQ(row, -1);
  EXPECT_EQ(V(vol::climateNumRows), 0u);
  EXPECT_EQ(VString(vol::climateFailureMap), "");
  EXPECT_EQ(VString(vol::climateSummary), Bytes({0x00}));
  EXPECT_EQ(ShortErrorStatus(), 0u);
  EXPECT_EQ(VString(vol::climateDescription(0)), "");
  EXPECT_EQ(VString(vol::climateStatusText(0)), "");
  EXPECT_EQ(VString(vol::climateText(0)), "");
  EXPECT_EQ(V(vol::climateType(0)), 1u);
  EXPECT_EQ(V(vol::climateState(0)), 2u);
  EXPECT_EQ(V(vol::climateOn(0)), 0u);
  EXPECT_EQ(V(vol::climateTestActivation(0)), 2u);

  // A second give-back of the same row variable does nothing.
  CPeripheral::UnregisterClimateRow(&row);
  EXPECT_EQ(V(vol::climateNumRows), 0u);
}

TEST_F(SensorTablesTest, UnregisteringAClimateRowKeepsAFanFailure) {
  auto fans = Fans(1);
  auto climate = Climate(1);
  CPeripheral::SetFanBitmapBit(fans[0], -1, "FAILED");
  int32_t row = climate[0];
  CPeripheral::UnregisterClimateRow(&row);
  EXPECT_EQ(ShortErrorStatus(), 0x0400u);
  // Giving back the failed fan leaves nothing set.
  int32_t fan = fans[0];
  CPeripheral::UnregisterFanRow(&fan);
  EXPECT_EQ(fan, -1);
  EXPECT_EQ(VString(vol::fanFailures), "");
  EXPECT_EQ(ShortErrorStatus(), 0u);
}

TEST_F(SensorTablesTest, UnregisteringClearsTheRowVariableAndTheSummaryBit) {
  auto lights = Lights(2);
  auto humidity = Humidity(1);
  CPeripheral::SetLightBitmapBit(lights[1]);
  CPeripheral::SetHumidityBitmapBit(humidity[0]);
  int32_t l0 = lights[0], l1 = lights[1], h0 = humidity[0];

  CPeripheral::UnregisterLightRow(&l0);
  EXPECT_EQ(l0, -1);
  EXPECT_EQ(ShortErrorStatus() & 0x0040, 0x0040u);  // row 1 is still failed
  CPeripheral::UnregisterLightRow(&l1);
  EXPECT_EQ(l1, -1);
  EXPECT_EQ(V(vol::lightNumRows), 0u);
  EXPECT_EQ(VString(vol::lightFailureMap), "");
  EXPECT_EQ(VString(vol::lightDescription(1)), "");
  EXPECT_EQ(V(vol::lightStatus(1)), 0u);

  CPeripheral::UnregisterHumidityRow(&h0);
  EXPECT_EQ(h0, -1);
  EXPECT_EQ(V(vol::humidityStatus(0)), 0u);
  EXPECT_EQ(ShortErrorStatus(), 0u);
}

TEST_F(SensorTablesTest, CountsNeverGoBelowZero) {
  auto lights = Lights(1);
  int32_t stale = 0;  // a row variable that was never given a row here
  int32_t row = lights[0];
  CPeripheral::UnregisterLightRow(&row);
  CPeripheral::UnregisterLightRow(&stale);
  EXPECT_EQ(V(vol::lightNumRows), 0u);
  stale = 0;
  CPeripheral::UnregisterHumidityRow(&stale);
  EXPECT_EQ(V(vol::humidityNumRows), 0u);
  stale = 0;
  CPeripheral::UnregisterClimateRow(&stale);
  EXPECT_EQ(V(vol::climateNumRows), 0u);
  stale = 0;
  CPeripheral::UnregisterFanRow(&stale);
  // The fan count stayed at 0: the next fan gets row 0.
  int32_t fan = -1;
  ASSERT_EQ(CPeripheral::RegisterFanRow(&fan), 1);
  EXPECT_EQ(fan, 0);
  // And the next light sensor gets row 0 again.
  int32_t light = -1;
  ASSERT_EQ(CPeripheral::RegisterLightRow(&light, "L"), 1);
  EXPECT_EQ(light, 0);
}

// Giving back a low row shortens the map to the new count; a higher row that
// is still registered and failed keeps its bit.
TEST_F(SensorTablesTest, ShorteningKeepsTheFailureOfAHigherRow) {
  auto fans = Fans(9);
  auto climate = Climate(9);
  CPeripheral::SetFanBitmapBit(fans[8], climate[8], "FAILED");
  ASSERT_EQ(VString(vol::fanFailures), Bytes({0x00, 0x01}));
  ASSERT_EQ(VString(vol::climateFailureMap), Bytes({0x00, 0x01}));

  int32_t f0 = fans[0], c0 = climate[0];
  CPeripheral::UnregisterFanRow(&f0);
  CPeripheral::UnregisterClimateRow(&c0);
  EXPECT_EQ(VString(vol::fanFailures), Bytes({0x00, 0x01}));
  EXPECT_EQ(VString(vol::climateFailureMap), Bytes({0x00, 0x01}));
  EXPECT_EQ(ShortErrorStatus(), 0x0400u);

  // Once the higher row has cleared, the next give-back shortens.
  CPeripheral::ClearFanBitmapBit(fans[8], climate[8], "PASSED");
  EXPECT_EQ(ShortErrorStatus(), 0u);
  int32_t f1 = fans[1], c1 = climate[1];
  CPeripheral::UnregisterFanRow(&f1);
  CPeripheral::UnregisterClimateRow(&c1);
  EXPECT_EQ(VString(vol::fanFailures), Bytes({0x00}));
  EXPECT_EQ(VString(vol::climateFailureMap), Bytes({0x00}));

  // A row beyond the shortened map that fails again grows it back.
  CPeripheral::SetFanBitmapBit(fans[8], climate[8], "FAILED");
  EXPECT_EQ(VString(vol::fanFailures), Bytes({0x00, 0x01}));
  EXPECT_EQ(VString(vol::climateFailureMap), Bytes({0x00, 0x01}));
}

TEST_F(SensorTablesTest, LightMapShorteningKeepsAFailure) {
  auto lights = Lights(12);
  CPeripheral::SetLightBitmapBit(lights[11]);
  ASSERT_EQ(VString(vol::lightFailureMap), Bytes({0x00, 0x08}));
  for (int i = 0; i < 11; ++i) {
    int32_t r = lights[i];
    CPeripheral::UnregisterLightRow(&r);
  }
  EXPECT_EQ(V(vol::lightNumRows), 1u);
  EXPECT_EQ(VString(vol::lightFailureMap), Bytes({0x00, 0x08}));
  EXPECT_EQ(ShortErrorStatus(), 0x0040u);
  CPeripheral::ClearLightBitmapBit(lights[11]);
  EXPECT_EQ(ShortErrorStatus(), 0u);
}

TEST_F(SensorTablesTest, SetAndClearKeepTheMapLength) {
  auto lights = Lights(3);
  SetVString(vol::lightFailureMap, Bytes({0x00, 0x00}));
  CPeripheral::SetLightBitmapBit(lights[2]);
  EXPECT_EQ(VString(vol::lightFailureMap), Bytes({0x04, 0x00}));
  CPeripheral::ClearLightBitmapBit(lights[2]);
  EXPECT_EQ(VString(vol::lightFailureMap), Bytes({0x00, 0x00}));
}

}  // namespace
