// Peripheral records: the record text, writing and deleting records with
// pl_iterator, and the table lock that makes the peripheral task reload.
#include <cstring>
#include <string>

#include "frame/trace/trace.h"
#include "peripherals/pl_iterator.h"
#include "peripherals/tests/peripheral_fixture.h"

namespace {

constexpr uint32_t kReloadFlag = 0x1000000;

TEST(RecordText, FieldsAsUpperCaseHexadecimal) {
  struct Row {
    std::vector<uint32_t> fields;
    int result;
    const char* text;
  } rows[] = {
      {{0x42201, 0xF0, 0xF0, 0xFF, 0xFF, 1}, 1, "42201,F0,F0,FF,FF,1"},
      {{0x42100}, 1, "42100"},
      {{}, 1, ""},
      {{0}, 1, "0"},
      {{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, 1, "FFFFFFFF,FFFFFFFF,FFFFFFFF,FFFFFFFF"},  // 35
      {{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x1}, 1, "FFFFFFFF,FFFFFFFF,FFFFFFFF,FFFFFFFF,1"},  // 37
      {{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x123}, 1, "FFFFFFFF,FFFFFFFF,FFFFFFFF,FFFFFFFF,123"},  // 39
      {{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x1234}, 0, ""},  // 40: too long
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, 0, ""},
  };
  for (const Row& r : rows) {
    char out[64];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(pl_record_text(out, sizeof out, r.fields.data(), static_cast<uint32_t>(r.fields.size())), r.result)
        << r.text;
    EXPECT_STREQ(out, r.text);
  }
  // A buffer too small for the text is refused too, and not overrun.
  const uint32_t fields[] = {0x42201, 0xF0};
  char small[8] = {};
  small[7] = 'G';
  EXPECT_EQ(pl_record_text(small, 7, fields, 2), 0);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(small[7], 'G');
}

using RecordsTest = PeripheralTest;

TEST_F(RecordsTest, AddWritesTheLowestFreeSlotUnderTheLock) {
  SetV(vol::peripheralTableLock, 2);
  SetV(vol::peripheralLoadStatus(0), 1);
  TakeFlags(kReloadFlag);
  trace_capture trace;
  pl_iterator records;
  ASSERT_EQ(records.Add(10, "%X", 0x42100), 1);
  EXPECT_TRUE(trace.contains("menu position =  0, id = 10\n"));
  EXPECT_EQ(Nv(nv::quorPeripheralID(0)), 10u);
  EXPECT_EQ(NvText(nv::quorPeripheralParameters(0)), "42100");
  EXPECT_EQ(V(vol::peripheralLoadStatus(0)), 0u);
  // The lock went to 1 and back: the task's reload flag is up.
  EXPECT_EQ(V(vol::peripheralTableLock), 2u);
  EXPECT_EQ(TakeFlags(kReloadFlag), kReloadFlag);

  ASSERT_EQ(records.Add(30, nullptr), 1);
  ASSERT_EQ(records.Add(31, "%X,%X", 0x42201, 1), 1);
  ASSERT_EQ(records.Add(32, "%d", 7), 1);
  ASSERT_EQ(records.Add(33, "%s", ""), 1);
  EXPECT_EQ(Nv(nv::quorPeripheralID(1)), 30u);
  EXPECT_EQ(NvText(nv::quorPeripheralParameters(1)), "");
  EXPECT_EQ(NvText(nv::quorPeripheralParameters(2)), "42201,1");

  // The record of slot 3 goes; the next record takes its place.
  ASSERT_EQ(records.Remove(32), 1);
  EXPECT_EQ(Nv(nv::quorPeripheralID(3)), 0u);
  ASSERT_EQ(records.Add(34, "1"), 1);
  uint16_t slot = 0;
  ASSERT_EQ(records.Find(34, &slot), 1);
  EXPECT_EQ(slot, 3);
}

TEST_F(RecordsTest, AddRefusesWithoutWriting) {
  SetV(vol::peripheralTableLock, 2);
  pl_iterator records;
  ASSERT_EQ(records.Add(10, "%X", 0x42100), 1);
  TakeFlags(kReloadFlag);
  struct Row {
    const char* why;
    int (*add)(pl_iterator&);
  } rows[] = {
      {"type already recorded", [](pl_iterator& r) { return r.Add(10, "1"); }},
      {"type 0", [](pl_iterator& r) { return r.Add(0, "1"); }},
      {"40 characters", [](pl_iterator& r) { return r.Add(11, "%s", "0123456789012345678901234567890123456789"); }},
      {"a long field", [](pl_iterator& r) { return r.Add(11, "%s,%X", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", 1); }},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.add(records), 0) << r.why;
    EXPECT_EQ(Nv(nv::quorPeripheralID(1)), 0u) << r.why;
    EXPECT_EQ(TakeFlags(kReloadFlag), 0u) << r.why;
  }
  // 39 characters are the most a record takes.
  EXPECT_EQ(records.Add(11, "%s", "012345678901234567890123456789012345678"), 1);
  EXPECT_EQ(NvText(nv::quorPeripheralParameters(1)).size(), 39u);

  // A full table takes nothing more.
  for (uint32_t s = 0; s < PL_SLOTS; ++s)
    if (Nv(nv::quorPeripheralID(s)) == 0) SetNv(nv::quorPeripheralID(s), 1000 + s);
  TakeFlags(kReloadFlag);
  EXPECT_EQ(records.Add(12, "1"), 0);
  EXPECT_EQ(TakeFlags(kReloadFlag), 0u);
}

TEST_F(RecordsTest, RemoveOfAnAbsentTypeLeavesTheLock) {
  SetV(vol::peripheralTableLock, 2);
  TakeFlags(kReloadFlag);
  pl_iterator records;
  EXPECT_EQ(records.Remove(10), 0);
  EXPECT_EQ(records.Remove(0), 0);
  EXPECT_EQ(TakeFlags(kReloadFlag), 0u);
  EXPECT_EQ(V(vol::peripheralTableLock), 2u);
}

TEST_F(RecordsTest, RemoveClearsTheWholeRecord) {
  pl_iterator records;
  ASSERT_EQ(records.Add(10, "42100"), 1);
  SetNvText(nv::quorPeripheralAuxIOTableIndex(0), "0x5,0x70");
  SetV(vol::peripheralLoadStatus(0), 2);
  SetV(vol::peripheralTableLock, 0);
  ASSERT_EQ(records.Remove(10), 1);
  EXPECT_EQ(Nv(nv::quorPeripheralID(0)), 0u);
  EXPECT_EQ(NvText(nv::quorPeripheralParameters(0)), "");
  EXPECT_EQ(NvText(nv::quorPeripheralAuxIOTableIndex(0)), "");
  EXPECT_EQ(V(vol::peripheralLoadStatus(0)), 0u);
  // Back to what it was, even when that is not 2.
  EXPECT_EQ(V(vol::peripheralTableLock), 0u);
}

TEST_F(RecordsTest, WalksOccupiedAndFreeSlots) {
  SetNv(nv::quorPeripheralID(2), 90);
  SetNv(nv::quorPeripheralID(7), 11);
  SetNvText(nv::quorPeripheralParameters(7), "42101,5");
  SetNv(nv::quorPeripheralID(254), 56);
  pl_iterator records;
  pl_record r;
  std::vector<std::pair<uint16_t, uint16_t>> seen;
  while (records.Next(&r)) seen.push_back({r.slot, r.type_id});
  EXPECT_EQ(seen, (std::vector<std::pair<uint16_t, uint16_t>>{{2, 90}, {7, 11}, {254, 56}}));
  EXPECT_EQ(records.Next(&r), 0);  // stays at the end
  EXPECT_EQ(records.Position(), PL_SLOTS);

  records.Rewind();
  ASSERT_EQ(records.Next(&r), 1);
  ASSERT_EQ(records.Next(&r), 1);
  EXPECT_EQ(r.class_code, 38);
  EXPECT_STREQ(r.parameters, "42101,5");

  records.Rewind();
  uint32_t free_slots = 0;
  while (records.NextFree(&r)) {
    EXPECT_NE(r.slot, 2);
    ++free_slots;
  }
  EXPECT_EQ(free_slots, PL_SLOTS - 3);

  ASSERT_EQ(records.SetStatus(11, 2), 1);
  EXPECT_EQ(V(vol::peripheralLoadStatus(7)), 2u);
  EXPECT_EQ(records.SetStatus(12, 2), 0);
  EXPECT_EQ(records.Exists(56), 1);
}

TEST_F(RecordsTest, RemoveAllEmptiesTheTable) {
  pl_iterator records;
  for (uint16_t t : {10, 11, 12}) ASSERT_EQ(records.Add(t, "1"), 1);
  SetV(vol::peripheralTableLock, 2);
  TakeFlags(kReloadFlag);
  ASSERT_EQ(records.RemoveAll(), 1);
  pl_record r;
  records.Rewind();
  EXPECT_EQ(records.Next(&r), 0);
  EXPECT_EQ(TakeFlags(kReloadFlag), kReloadFlag);
}

// What a creator makes of stored texts that no wizard would write: a
// central system can store any text.
TEST_F(RecordsTest, StoredTextsSplitSafely) {
  struct Row {
    std::string text;
    std::vector<uint32_t> values;  // the first fields
    std::string first_text;
  } rows[] = {
      {"42201,F0,1", {0x42201, 0xF0, 1}, "42201"},
      {"zz,12", {0, 0x12}, "zz"},  // not hexadecimal: 0
      {",,7", {0, 0, 7}, ""},
      // Longer fields keep their first 39 characters.
      {"123456789ABCDEF0123456789ABCDEF0123456789ABCDEF", {0x01234567}, "123456789ABCDEF0123456789ABCDEF01234567"},
      {"1,2,3,4,5,6,7,8,9,10,11", {1, 2, 3, 4, 5, 6, 7, 8}, "1"},
      {std::string(1500, 'F'), {0xFFFFFFFF, 0}, std::string(39, 'F')},
  };
  for (const Row& r : rows) {
    SetNv(nv::quorPeripheralID(0), 11);
    SetNvText(nv::quorPeripheralParameters(0), r.text);
    pl_iterator records;
    pl_record record;
    ASSERT_EQ(records.Next(&record), 1);
    CPeripheral::ParseParameters(record.parameters);
    for (size_t i = 0; i < r.values.size(); ++i)
      EXPECT_EQ(CPeripheral::s_dwParamValues[i], r.values[i]) << r.text.substr(0, 40) << " field " << i;
    EXPECT_EQ(std::string(CPeripheral::s_szParamTexts[0]), r.first_text) << r.text.substr(0, 40);
  }
}

}  // namespace
