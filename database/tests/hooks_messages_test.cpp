// Write hooks of the message tables: the status machine and the columns
// that only a row being modified (or validated) may change.
#include <set>

#include "database/tests/hooks_fixture.h"
#include "frame/trace/trace.h"

namespace {

// Status values.
enum : uint32_t { NOT_USED = 1, MODIFYING, VALIDATING, VALID, ERROR, MODIFY_REQ, VALIDATE_REQ, NOT_USED_REQ };

// For each value written, the stored states that accept it.
const std::set<uint32_t> kAccepting[9] = {
    {},
    {NOT_USED_REQ},
    {MODIFY_REQ},
    {VALIDATE_REQ},
    {VALIDATING},
    {VALIDATING},
    {NOT_USED, MODIFYING, VALID, ERROR},
    {MODIFYING},
    {NOT_USED, MODIFYING, VALID, ERROR, NOT_USED_REQ},
};

uint32_t Expected(uint32_t stored, uint32_t v) {
  if (v < 1 || v > 8) return DB_GEN_ERR;
  if (stored < 1 || stored > 8) stored = NOT_USED;  // an unknown state counts as notUsed
  return kAccepting[v].count(stored) ? DB_OK : DB_BAD_VALUE;
}

}  // namespace

TEST_F(HookTest, MessageStatusFollowsItsStateMachineInBothTables) {
  struct table {
    const char* name;
    uint8_t* area;
    uint32_t status;  // offset of the row's status
  } tables[] = {{"changeable row 7", nv(), 32982 + 7},
                {"permanent row 520", nv(), 32982 + 520},
                {"volatile row 2", vol(), 92 + 2}};
  for (const table& t : tables)
    for (uint32_t stored = 0; stored <= 9; ++stored)
      for (uint32_t v = 0; v <= 9; ++v) {
        Put(t.area, t.status, 1, stored);
        uint32_t expected = Expected(stored, v);
        EXPECT_EQ(Write(t.area, t.status, 1, v), expected) << t.name << ": " << stored << " -> " << v;
        EXPECT_EQ(Get(t.area, t.status), expected == DB_OK ? v : stored) << t.name;
      }
}

TEST_F(HookTest, RefusedVolatileStatusNamesTheRequest) {
  trace_capture cap;
  Put(vol(), 92, 1, VALID);
  EXPECT_EQ(Write(vol(), 92, 1, MODIFYING), DB_BAD_VALUE);
  EXPECT_TRUE(cap.contains("Vol MsgStatus2 error\n"));
  cap.clear();
  EXPECT_EQ(Write(vol(), 92, 1, 9), DB_GEN_ERR);
  EXPECT_TRUE(cap.contains("Vol MsgStatus9 error\n"));
  cap.clear();
  EXPECT_EQ(Write(vol(), 92, 1, MODIFY_REQ), DB_OK);
  EXPECT_FALSE(cap.contains("Vol MsgStatus"));
}

TEST_F(HookTest, AChangeableMessageIsEditedOnlyThroughModifyReq) {
  const uint32_t row = 12, status = 32982 + row, text = 25832 + 4 * row;
  Put(nv(), status, 1, NOT_USED);
  EXPECT_EQ(WriteString(nv(), text, "[jl3]EXIT"), DB_GEN_ERR);
  EXPECT_EQ(Write(nv(), status, 1, MODIFYING), DB_BAD_VALUE);  // only after modifyReq
  EXPECT_EQ(Write(nv(), status, 1, MODIFY_REQ), DB_OK);
  EXPECT_EQ(Write(nv(), status, 1, MODIFYING), DB_OK);
  EXPECT_EQ(WriteString(nv(), text, "[jl3]EXIT"), DB_OK);
  EXPECT_EQ(Str(text, nv()), "[jl3]EXIT");
}

// Columns that need the row in modifying (CRC: or validating); refusals are 5.
TEST_F(HookTest, MessageColumnsNeedTheRowBeingModified) {
  struct column {
    const char* name;
    uint8_t* area;
    uint32_t offset;
    uint32_t width;  // 0: a string
    uint32_t status;
    bool validating_too;
    const char* trace;  // volatile rows say why
  } columns[] = {
      {"nv CRC", nv(), 30232 + 2 * 549, 2, 32982 + 549, true, nullptr},
      {"nv beacon", nv(), 31332 + 3, 1, 32982 + 3, false, nullptr},
      {"nv pixel service", nv(), 31882 + 499, 1, 32982 + 499, false, nullptr},
      {"nv run-time priority", nv(), 32432 + 500, 1, 32982 + 500, false, nullptr},
      {"nv MULTI text", nv(), 25832 + 4 * 549, 0, 32982 + 549, false, nullptr},
      {"nv owner", nv(), 28032 + 4 * 1, 0, 32982 + 1, false, nullptr},
      {"vol CRC", vol(), 72 + 2 * 3, 2, 95, true, "Vol MsgStatus error\n"},
      {"vol beacon", vol(), 81, 1, 93, false, "Vol MsgBeacon error\n"},
      {"vol pixel service", vol(), 86, 1, 94, false, "Vol MsgPixelSer error\n"},
      {"vol run-time priority", vol(), 88, 1, 92, false, "Vol MsgRTP error\n"},
      {"vol MULTI text", vol(), 52, 0, 95, false, "Vol MsgString error\n"},
      {"vol owner", vol(), 60, 0, 93, false, "Vol MsgOwner error\n"},
  };
  for (const column& c : columns)
    for (uint32_t stored : {NOT_USED, MODIFYING, VALIDATING, VALID, ERROR, MODIFY_REQ}) {
      Put(c.area, c.status, 1, stored);
      bool allowed = stored == MODIFYING || (c.validating_too && stored == VALIDATING);
      trace_capture cap;
      uint32_t result = c.width ? Write(c.area, c.offset, c.width, 1 + stored) : WriteString(c.area, c.offset, "x");
      EXPECT_EQ(result, allowed ? DB_OK : DB_GEN_ERR) << c.name << " in status " << stored;
      if (c.trace) {
        EXPECT_EQ(cap.contains(c.trace), !allowed) << c.name;
      }
    }
}

TEST_F(HookTest, WithHooksOffEveryWriteIsAccepted) {
  db_->SetHooksEnabled(false);
  EXPECT_EQ(Write(nv(), 32982, 1, 42), DB_OK);
  EXPECT_EQ(Write(vol(), 144, 1, 6), DB_OK);
  EXPECT_EQ(WriteString(nv(), 25832, "x"), DB_OK);
  EXPECT_EQ(WriteString(nv(), 33624, ""), DB_OK);
  EXPECT_EQ(Write(vol(), 4212, 1, 4), DB_OK);
}
