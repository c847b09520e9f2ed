// The auxiliary I/O port table: the built-ins' phase and the database
// peripherals' phase, free-row search, remembered rows, values, bounds and
// the index lists that keep rows stable across restarts.
#include <cstring>

#include "frame/trace/trace.h"
#include "peripheral_fixture.h"

namespace {

using StatusTableTest = PeripheralTest;

constexpr uint32_t kAny = CPeripheral::kRowAny;
constexpr uint32_t kBuiltin = CPeripheral::kRowBuiltin;

TEST_F(StatusTableTest, BuiltinsTakeRowsInCreationOrder) {
  uint32_t a = kBuiltin, b = kBuiltin, analog = kBuiltin;
  ASSERT_EQ(CPeripheral::RegisterStatus(&a, 3, 2, 1, "%s", "DOOR"), 1);
  ASSERT_EQ(CPeripheral::RegisterStatus(&analog, 2, 2, 8, "%s %s", "LVDB", "VOLTAGE"), 1);
  ASSERT_EQ(CPeripheral::RegisterStatus(&b, 3, 1, 1, "BEACON %d", 1), 1);
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 1u);
  EXPECT_EQ(analog, 112u);
  EXPECT_EQ(NvString(nv::auxIOPortDescription(0)), "DOOR");
  EXPECT_EQ(NvString(nv::auxIOPortDescription(1)), "BEACON 1");
  EXPECT_EQ(NvString(nv::auxIOPortDescription(112)), "LVDB VOLTAGE");
  EXPECT_EQ(V(vol::auxIOPortDirection(1)), 1u);
  EXPECT_EQ(V(vol::auxIOPortResolution(112)), 8u);
}

TEST_F(StatusTableTest, BuiltinOtherPortTypesAreRefused) {
  trace_capture cap;
  uint32_t row = kBuiltin;
  EXPECT_EQ(CPeripheral::RegisterStatus(&row, 1, 2, 1, "X"), 0);
  EXPECT_TRUE(cap.contains("Attempted to register other port type\n"));
  EXPECT_EQ(CPeripheral::RegisterStatus(&row, 7, 2, 1, "X"), 0);
  EXPECT_TRUE(cap.contains("Invalid port type registration attempt\n"));
  EXPECT_EQ(row, kBuiltin);
  // Refusals leave the built-ins' phase open.
  ASSERT_EQ(CPeripheral::RegisterStatus(&row, 3, 2, 1, "X"), 1);
  EXPECT_EQ(row, 0u);
}

TEST_F(StatusTableTest, BuiltinCountersStayInsideTheirRanges) {
  trace_capture cap;
  for (uint32_t i = 0; i < CPeripheral::kDigitalRows; ++i) {
    uint32_t row = kBuiltin;
    ASSERT_EQ(CPeripheral::RegisterStatus(&row, 3, 2, 1, "D%u", i), 1);
    ASSERT_EQ(row, i);
  }
  for (uint32_t i = 0; i < CPeripheral::kAnalogRows; ++i) {
    uint32_t row = kBuiltin;
    ASSERT_EQ(CPeripheral::RegisterStatus(&row, 2, 2, 8, "A%u", i), 1);
    ASSERT_EQ(row, 112 + i);
  }
  uint32_t digital = kBuiltin, analog = kBuiltin;
  EXPECT_EQ(CPeripheral::RegisterStatus(&digital, 3, 2, 1, "one too many"), 0);
  EXPECT_EQ(CPeripheral::RegisterStatus(&analog, 2, 2, 8, "one too many"), 0);
  EXPECT_EQ(digital, kBuiltin);
  EXPECT_EQ(analog, kBuiltin);
  // The first analog row and the last one keep their owners.
  EXPECT_EQ(NvString(nv::auxIOPortDescription(112)), "A0");
  EXPECT_EQ(NvString(nv::auxIOPortDescription(135)), "A23");
  EXPECT_EQ(V(vol::auxIOPortType(112)), 2u);
}

TEST_F(StatusTableTest, BuiltinAfterDatabasePeripheralIsRefused) {
  uint32_t builtin = kBuiltin, configured = kAny, late = kBuiltin;
  ASSERT_EQ(CPeripheral::RegisterStatus(&builtin, 3, 2, 1, "BUILTIN"), 1);
  ASSERT_EQ(CPeripheral::RegisterStatus(&configured, 3, 2, 1, "CONFIGURED"), 1);
  EXPECT_EQ(configured, 1u);
  trace_capture cap;
  EXPECT_EQ(CPeripheral::RegisterStatus(&late, 3, 2, 1, "LATE"), 0);
  EXPECT_EQ(cap.text(), "ERROR: Hardcoded peripheral tried to register after db peripherals\n");
  // The phase never returns, even after a refusal.
  EXPECT_EQ(CPeripheral::RegisterStatus(&late, 3, 2, 1, "LATE"), 0);
}

TEST_F(StatusTableTest, FreeRowSearchSkipsTakenRowsAndStaysInItsType) {
  SetNvString(nv::auxIOPortDescription(0), "DOOR");
  SetNvString(nv::auxIOPortDescription(1), "BEACON");
  uint32_t row = kAny;
  ASSERT_EQ(CPeripheral::RegisterStatus(&row, 3, 2, 1, "FAN"), 1);
  EXPECT_EQ(row, 2u);

  // Every digital row taken: a digital request never spills into the
  // analog rows.
  for (uint32_t i = 0; i < CPeripheral::kDigitalRows; ++i) SetNvString(nv::auxIOPortDescription(i), "TAKEN");
  row = kAny;
  trace_capture cap;
  EXPECT_EQ(CPeripheral::RegisterStatus(&row, 3, 2, 1, "FAN"), 0);
  EXPECT_EQ(row, kAny);
  EXPECT_EQ(cap.text(), "");  // a full table fails quietly
  row = kAny;
  ASSERT_EQ(CPeripheral::RegisterStatus(&row, 2, 2, 16, "SENSOR"), 1);
  EXPECT_EQ(row, 112u);
}

TEST_F(StatusTableTest, RememberedRowKeepsItsDescription) {
  SetNvString(nv::auxIOPortDescription(5), "OLD NAME");
  V(vol::auxIOPortValue(5), 77);
  V(vol::auxIOPortLastCommandedState(5), 66);
  uint32_t row = 5;
  ASSERT_EQ(CPeripheral::RegisterStatus(&row, 3, 1, 1, "NEW NAME"), 1);
  EXPECT_EQ(row, 5u);
  EXPECT_EQ(NvString(nv::auxIOPortDescription(5)), "OLD NAME");
  EXPECT_EQ(V(vol::auxIOPortDirection(5)), 1u);
  EXPECT_EQ(V(vol::auxIOPortResolution(5)), 1u);
  EXPECT_EQ(V(vol::auxIOPortValue(5)), 0u);
  EXPECT_EQ(V(vol::auxIOPortLastCommandedState(5)), 0u);

  // A remembered row that is free takes the new description, whatever its
  // type.
  row = 120;
  ASSERT_EQ(CPeripheral::RegisterStatus(&row, 3, 2, 1, "MOVED"), 1);
  EXPECT_EQ(NvString(nv::auxIOPortDescription(120)), "MOVED");
}

TEST_F(StatusTableTest, RememberedRowOutsideTheTableTakesAFreeRow) {
  SetNvString(nv::auxIOPortDescription(0), "TAKEN");
  uint8_t before[16];
  std::memcpy(before, db_->mib_v + 13632 + 4 * 136, sizeof before);
  for (uint32_t bad : {136u, 200u, 0x10000u}) {
    uint32_t row = bad;
    trace_capture cap;
    ASSERT_EQ(CPeripheral::RegisterStatus(&row, 3, 2, 1, "P"), 1) << bad;
    EXPECT_LT(row, CPeripheral::kDigitalRows) << bad;
    EXPECT_TRUE(cap.contains("outside the table")) << bad;
  }
  // Nothing written past the last row of any column.
  EXPECT_EQ(std::memcmp(before, db_->mib_v + 13632 + 4 * 136, sizeof before), 0);
}

TEST_F(StatusTableTest, SetStatusValueMirrorsOutputs) {
  struct Row {
    uint8_t direction;
    bool mirrored;
  } rows[] = {{1, true}, {2, false}, {3, true}};
  for (const Row& r : rows) {
    uint32_t row = kAny;
    ASSERT_EQ(CPeripheral::RegisterStatus(&row, 3, r.direction, 1, "P%d", r.direction), 1);
    EXPECT_EQ(CPeripheral::SetStatusValue(row, 9), 1);
    EXPECT_EQ(V(vol::auxIOPortValue(row)), 9u);
    EXPECT_EQ(V(vol::auxIOPortLastCommandedState(row)), r.mirrored ? 9u : 0u) << int(r.direction);
  }
}

TEST_F(StatusTableTest, RowsOutsideTheTableAreRefused) {
  // The bytes behind each column's last row belong to other objects.
  std::vector<uint8_t> v_before(db_->mib_v, db_->mib_v + MIB_V_SIZE);
  std::vector<uint8_t> nv_before(db_->mib_nv, db_->mib_nv + MIB_NV_SIZE);
  for (uint32_t row : {136u, 1000u, 0xFFFFFFFEu, kAny}) {
    EXPECT_EQ(CPeripheral::SetStatusValue(row, 0x5A5A5A5A), 0) << row;
    CPeripheral::UnregisterStatus(row);
  }
  EXPECT_TRUE(std::equal(v_before.begin(), v_before.end(), db_->mib_v));
  EXPECT_TRUE(std::equal(nv_before.begin(), nv_before.end(), db_->mib_nv));
}

TEST_F(StatusTableTest, UnregisterFreesTheRowForTheNextRequest) {
  uint32_t row = kAny;
  ASSERT_EQ(CPeripheral::RegisterStatus(&row, 3, 1, 1, "BEACON"), 1);
  CPeripheral::SetStatusValue(row, 1);
  CPeripheral::UnregisterStatus(row);
  EXPECT_EQ(NvString(nv::auxIOPortDescription(row)), "UNUSED");
  EXPECT_EQ(V(vol::auxIOPortValue(row)), 0u);
  EXPECT_EQ(V(vol::auxIOPortLastCommandedState(row)), 0u);
  EXPECT_EQ(V(vol::auxIOPortDirection(row)), 0u);
  EXPECT_EQ(V(vol::auxIOPortResolution(row)), 0u);
  EXPECT_EQ(V(vol::auxIOPortType(row)), 3u);
  EXPECT_EQ(V(vol::auxIOPortNumber(row)), row + 1);
  uint32_t again = kAny;
  ASSERT_EQ(CPeripheral::RegisterStatus(&again, 3, 2, 1, "DOOR"), 1);
  EXPECT_EQ(again, row);
}

TEST_F(StatusTableTest, ParseIndexList) {
  struct Row {
    const char* text;
    std::vector<uint32_t> rows;
  } rows[] = {
      {"0x5,0x70", {5, 112}},
      {"5,70", {5, 112}},
      {"0X5,0xa", {5, 10}},
      {"", {}},
      {"0x", {0}},
      {"0x5,,0x6", {5, 0, 6}},
      {"0x5,", {5}},
      {"0x12zz,0x3", {0x12, 3}},
      {"zz", {0}},
  };
  for (const Row& r : rows) {
    aux_index_list list;
    list.count = 3;
    CPeripheral::ParseIndexList(r.text, &list);
    EXPECT_EQ(std::vector<uint32_t>(list.rows, list.rows + list.count), r.rows) << r.text;
  }
}

TEST_F(StatusTableTest, ParseIndexListStopsAtCapacity) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "1,";
  aux_index_list list;
  CPeripheral::ParseIndexList(text.c_str(), &list);
  EXPECT_EQ(list.count, aux_index_list::kCapacity);
}

TEST_F(StatusTableTest, FormatIndexList) {
  struct Row {
    std::vector<uint32_t> rows;
    const char* text;
  } rows[] = {{{5, 112}, "0x5,0x70"}, {{}, ""}, {{0}, "0x0"}, {{135, 0xABCDEF}, "0x87,0xABCDEF"}};
  for (const Row& r : rows) {
    aux_index_list list;
    for (uint32_t v : r.rows) list.Append(v);
    char out[64];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(CPeripheral::FormatIndexList(&list, out, sizeof out), 1);
    EXPECT_STREQ(out, r.text);
  }
  // Too small: nothing half-written.
  aux_index_list list;
  list.Append(5);
  list.Append(112);
  char out[8];
  EXPECT_EQ(CPeripheral::FormatIndexList(&list, out, sizeof out), 0);
  EXPECT_STREQ(out, "");
}

TEST_F(StatusTableTest, IndexListRoundTripKeepsRowsAcrossAReload) {
  // First start: a configured peripheral with two points and no list yet.
  aux_index_list list;
  ASSERT_EQ(CPeripheral::GetAuxIOIndexList(7, &list), 1);
  EXPECT_EQ(list.count, 0u);
  SetNvString(nv::auxIOPortDescription(0), "BUILTIN");
  uint32_t voltage = kAny, fuses = kAny;
  ASSERT_EQ(CPeripheral::RegisterStatus(&voltage, 2, 2, 8, "VOLTAGE"), 1);
  ASSERT_EQ(CPeripheral::RegisterStatus(&fuses, 3, 2, 8, "FUSES"), 1);
  list.Append(voltage);
  list.Append(fuses);
  ASSERT_EQ(CPeripheral::SetAuxIOIndexList(7, &list), 1);
  EXPECT_EQ(NvString(nv::quorPeripheralAuxIOTableIndex(7)), std::string("0x70,0x1") + '\0');

  // Unloaded, and another peripheral takes the first free digital row.
  CPeripheral::UnregisterStatus(voltage);
  CPeripheral::UnregisterStatus(fuses);
  uint32_t other = kAny;
  ASSERT_EQ(CPeripheral::RegisterStatus(&other, 3, 2, 1, "OTHER"), 1);
  ASSERT_EQ(other, 1u);
  CPeripheral::UnregisterStatus(other);

  // Reloaded: the list brings back the same rows.
  aux_index_list again;
  ASSERT_EQ(CPeripheral::GetAuxIOIndexList(7, &again), 1);
  ASSERT_EQ(again.count, 2u);
  uint32_t v2 = again.rows[0], f2 = again.rows[1];
  ASSERT_EQ(CPeripheral::RegisterStatus(&v2, 2, 2, 8, "VOLTAGE"), 1);
  ASSERT_EQ(CPeripheral::RegisterStatus(&f2, 3, 2, 8, "FUSES"), 1);
  EXPECT_EQ(v2, 112u);
  EXPECT_EQ(f2, 1u);
  EXPECT_EQ(NvString(nv::auxIOPortDescription(1)), "FUSES");
}

TEST_F(StatusTableTest, IndexListSlotsOutsideTheRecordsAreRefused) {
  aux_index_list list;
  list.Append(3);
  std::vector<uint8_t> before(db_->mib_nv, db_->mib_nv + MIB_NV_SIZE);
  EXPECT_EQ(CPeripheral::SetAuxIOIndexList(255, &list), 0);
  EXPECT_EQ(CPeripheral::SetAuxIOIndexList(65535, &list), 0);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), db_->mib_nv));
  EXPECT_EQ(CPeripheral::GetAuxIOIndexList(65535, &list), 0);
  EXPECT_EQ(list.count, 0u);
  // The last record slot works.
  list.Append(3);
  EXPECT_EQ(CPeripheral::SetAuxIOIndexList(254, &list), 1);
  EXPECT_EQ(NvString(nv::quorPeripheralAuxIOTableIndex(254)), std::string("0x3") + '\0');
}

TEST_F(StatusTableTest, IndexListThatDoesNotFitKeepsTheStoredOne) {
  aux_index_list list;
  list.Append(4);
  ASSERT_EQ(CPeripheral::SetAuxIOIndexList(2, &list), 1);
  aux_index_list big;
  for (uint32_t i = 0; i < aux_index_list::kCapacity; ++i) big.Append(0x80 + (i % 8));
  trace_capture cap;
  EXPECT_EQ(CPeripheral::SetAuxIOIndexList(2, &big), 0);
  EXPECT_EQ(NvString(nv::quorPeripheralAuxIOTableIndex(2)), std::string("0x4") + '\0');
}

}  // namespace
