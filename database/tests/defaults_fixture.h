// Factory defaults against tables of (offset, width, value). A row can stand
// for a run of objects (count of them, stride bytes apart); rows marked full
// only must survive a partial reset, all others must be written again.
#pragma once

#include <string>
#include <vector>

#include "database/tests/db_fixture.h"

struct int_row {
  uint32_t offset, width, value;
  bool full_only = false;
  uint32_t count = 1;
  uint32_t stride = 0;  // 0: the width
};

struct str_row {
  uint32_t offset;
  std::string bytes;
  bool full_only = false;
  uint32_t count = 1;  // strings 4 bytes apart
};

constexpr bool FULL = true, ALWAYS = false;

// Message ID codes.
inline const std::string kBlank1("\x07\x00\x01\x00\x00", 5);
inline const std::string kCurrent1("\x05\x00\x01\x00\x00", 5);
inline std::string Zeros(size_t n) { return std::string(n, '\0'); }

class DefaultsTest : public DatabaseTest {
 protected:
  uint8_t* nv() { return db_->mib_nv; }
  uint8_t* vol() { return db_->mib_v; }

  static uint32_t At(const int_row& r, uint32_t i) { return r.offset + i * (r.stride ? r.stride : r.width); }

  void ExpectInts(uint8_t* area, const std::vector<int_row>& rows, const char* what) {
    for (const int_row& r : rows)
      for (uint32_t i = 0; i < r.count; ++i) {
        uint32_t at = At(r, i);
        ASSERT_EQ(db_->GetValue(at, r.width, area, DB_GLOBAL_TIME), r.value) << what << ": offset " << at;
      }
  }
  void ExpectStrings(uint8_t* area, const std::vector<str_row>& rows, const char* what) {
    for (const str_row& r : rows)
      for (uint32_t i = 0; i < r.count; ++i)
        ASSERT_EQ(Str(r.offset + 4 * i, area), r.bytes) << what << ": offset " << r.offset + 4 * i;
  }

  // Another value in every object of the tables.
  void Scribble(uint8_t* area, const std::vector<int_row>& ints, const std::vector<str_row>& strings) {
    for (const int_row& r : ints)
      for (uint32_t i = 0; i < r.count; ++i) {
        uint32_t mask = r.width == 4 ? 0xFFFFFFFF : (1u << (8 * r.width)) - 1;
        db_->SetValue(At(r, i), r.width, (r.value + 1) & mask, area, DB_NO_VALIDATE | DB_GLOBAL_TIME);
      }
    for (const str_row& r : strings)
      for (uint32_t i = 0; i < r.count; ++i) db_->SetString(r.offset + 4 * i, 4, "scribble", 8, area, DB_NO_VALIDATE);
  }

  // After a partial reset: the full-only objects keep the scribbled values.
  void ExpectPartial(uint8_t* area, const std::vector<int_row>& ints, const std::vector<str_row>& strings) {
    for (const int_row& r : ints)
      for (uint32_t i = 0; i < r.count; ++i) {
        uint32_t mask = r.width == 4 ? 0xFFFFFFFF : (1u << (8 * r.width)) - 1;
        uint32_t expected = r.full_only ? (r.value + 1) & mask : r.value;
        ASSERT_EQ(db_->GetValue(At(r, i), r.width, area, DB_GLOBAL_TIME), expected) << "offset " << At(r, i);
      }
    for (const str_row& r : strings)
      for (uint32_t i = 0; i < r.count; ++i)
        ASSERT_EQ(Str(r.offset + 4 * i, area), r.full_only ? "scribble" : r.bytes) << "offset " << r.offset + 4 * i;
  }

  // A full reset, then a partial one over scribbled objects.
  void CheckResets(const std::vector<int_row>& ints, const std::vector<str_row>& strings) {
    db_->LoadDefaults(0);
    ExpectInts(nv(), ints, "full reset");
    ExpectStrings(nv(), strings, "full reset");
    Scribble(nv(), ints, strings);
    db_->LoadDefaults(1);
    ExpectPartial(nv(), ints, strings);
  }
};
