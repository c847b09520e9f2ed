// Write hooks of single objects: control mode, the lamp column, daylight
// saving, the shut-off temperature, the default colours and the brightness
// table.
#include <algorithm>
#include <array>
#include <vector>

#include "database/tests/hooks_fixture.h"
#include "display/driver/module_type.h"

namespace {

constexpr uint32_t kDaylightSaving = 48184;
constexpr uint32_t kBeginMonth = 48196;
constexpr uint32_t kColorScheme = 25803;
constexpr uint32_t kModuleID = 95030;
constexpr uint32_t kBackground = 25792, kForeground = 25793;
constexpr uint32_t kBackgroundRGB = 25804, kForegroundRGB = 25808;
constexpr uint32_t kBrightness = 33624, kBrightnessError = 33628;

}  // namespace

TEST_F(HookTest, ControlModeOnlyGoesFromLocalToCentralOverride) {
  struct row {
    uint32_t stored, value, result;
  } rows[] = {
      {2, 5, DB_OK},        {2, 4, DB_BAD_VALUE}, {2, 2, DB_BAD_VALUE}, {4, 5, DB_BAD_VALUE},
      {4, 4, DB_BAD_VALUE}, {5, 2, DB_BAD_VALUE}, {5, 4, DB_BAD_VALUE}, {6, 4, DB_BAD_VALUE},
  };
  for (const row& r : rows) {
    Put(vol(), 144, 1, r.stored);
    EXPECT_EQ(Write(vol(), 144, 1, r.value), r.result) << r.stored << " -> " << r.value;
    EXPECT_EQ(Get(vol(), 144), r.result == DB_OK ? r.value : r.stored);
  }
}

TEST_F(HookTest, LampColumnRefusesFour) {
  for (uint32_t offset : {4212u, 4230u, 4243u}) {
    EXPECT_EQ(Write(vol(), offset, 1, 4), DB_BAD_VALUE) << offset;
    EXPECT_EQ(Write(vol(), offset, 1, 3), DB_OK) << offset;
  }
  EXPECT_EQ(Write(vol(), 4211, 1, 4), DB_OK);  // the column before
  EXPECT_EQ(Write(vol(), 4372, 1, 4), DB_OK);  // a later column of the table
}

TEST_F(HookTest, DaylightSavingAndBeginMonthsFollowEachOther) {
  auto months = [&] {
    std::vector<uint32_t> m;
    for (uint32_t j = 0; j < 10; ++j) m.push_back(Get(nv(), kBeginMonth + j));
    return m;
  };
  EXPECT_EQ(Write(nv(), kDaylightSaving, 1, 1), DB_GEN_ERR);
  EXPECT_EQ(Write(nv(), kDaylightSaving, 1, 2), DB_OK);
  EXPECT_EQ(months(), std::vector<uint32_t>(10, 14));
  EXPECT_EQ(Write(nv(), kDaylightSaving, 1, 20), DB_GEN_ERR);  // no rule in the first entry
  EXPECT_EQ(Write(nv(), kDaylightSaving, 1, 3), DB_OK);
  EXPECT_EQ(months(), std::vector<uint32_t>(10, 15));
  EXPECT_EQ(Get(nv(), kDaylightSaving), 3u);

  // The other way: a month entry sets the mode (and is not itself reset).
  EXPECT_EQ(Write(nv(), kBeginMonth + 4, 1, 15), DB_GEN_ERR);
  EXPECT_EQ(Write(nv(), kBeginMonth + 4, 1, 14), DB_OK);
  EXPECT_EQ(Get(nv(), kDaylightSaving), 2u);
  EXPECT_EQ(Write(nv(), kBeginMonth, 1, 3), DB_OK);
  EXPECT_EQ(Get(nv(), kDaylightSaving), 1u);
  EXPECT_EQ(Get(nv(), kBeginMonth + 4), 14u);
  EXPECT_EQ(Write(nv(), kDaylightSaving, 1, 20), DB_OK);  // the first entry holds March now
  EXPECT_EQ(Get(nv(), kBeginMonth), 3u);
}

TEST_F(HookTest, ShutOffTemperatureWithinTheModuleLimits) {
  struct row {
    uint32_t value, result;
  } defaults[] = {{0, DB_OK}, {84, DB_BAD_VALUE}, {85, DB_OK}, {110, DB_OK}, {111, DB_BAD_VALUE}, {255, DB_BAD_VALUE}};
  for (const row& r : defaults) {
    EXPECT_EQ(Write(nv(), 95023, 1, r.value), r.result) << r.value;
    if (r.result == DB_OK) {
      EXPECT_EQ(Get(nv(), 95023), r.value);
    }
  }
  g_module_critical_limits = [](int32_t* minimum, int32_t* maximum) {
    *minimum = 95;
    *maximum = 105;
  };
  EXPECT_EQ(Write(nv(), 95023, 1, 94), DB_BAD_VALUE);
  EXPECT_EQ(Write(nv(), 95023, 1, 105), DB_OK);
  EXPECT_EQ(Write(nv(), 95023, 1, 0), DB_OK);
  g_module_critical_limits = nullptr;
}

class ColourHookTest : public HookTest {
 protected:
  void SetUp() override {
    HookTest::SetUp();
    select_module_type_table(254);
  }
  void TearDown() override {
    select_module_type_table(0);
    HookTest::TearDown();
  }
  std::string Rgb(uint32_t offset) { return Str(offset, nv()); }
};

TEST_F(ColourHookTest, ClassicColourByTheModulesColourType) {
  struct module {
    uint32_t type;
    std::vector<uint32_t> accepted;
  } modules[] = {
      {21, {0, 1, 9}},                        // monochrome
      {102, {0, 1, 3, 9}},                    // red-green
      {97, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},   // full colour
      {999, {0, 1, 9}},                       // not in the table: the default row
  };
  Put(nv(), kColorScheme, 1, 3);
  for (const module& m : modules) {
    Put(nv(), kModuleID, 2, m.type);
    for (uint32_t v = 0; v <= 10; ++v) {
      bool ok = std::find(m.accepted.begin(), m.accepted.end(), v) != m.accepted.end();
      PutString(nv(), kForegroundRGB, "-");
      EXPECT_EQ(Write(nv(), kForeground, 1, v), ok ? DB_OK : DB_GEN_ERR) << m.type << " colour " << v;
      EXPECT_EQ(Rgb(kForegroundRGB), ok ? std::string(1, static_cast<char>(v)) : "-") << m.type << " " << v;
    }
  }
  // Outside the classic scheme the classic colours are not written.
  Put(nv(), kColorScheme, 1, 4);
  EXPECT_EQ(Write(nv(), kBackground, 1, 0), DB_GEN_ERR);
}

TEST_F(ColourHookTest, RgbByTheColourScheme) {
  struct row {
    const char* what;
    uint32_t scheme, module;
    std::string rgb;
    uint32_t result;
    int pair;  // the paired classic colour afterwards; -1 unchanged
  } rows[] = {
      {"1-bit on", 1, 21, std::string("\x01", 1), DB_OK, 9},
      {"1-bit off", 1, 21, std::string("\x00", 1), DB_OK, 0},
      {"1-bit, other byte", 1, 21, "\x02", DB_GEN_ERR, -1},
      {"1-bit, nothing", 1, 21, "", DB_GEN_ERR, -1},
      {"8-bit lit", 2, 21, "\x80", DB_OK, 9},
      {"8-bit dark", 2, 21, std::string("\x00", 1), DB_OK, 0},
      {"8-bit, two bytes", 2, 21, "\x80\x80", DB_GEN_ERR, -1},
      {"24-bit, no blue", 4, 21, std::string("\xF8\x60\x00", 3), DB_OK, -1},
      {"24-bit, blue on a module without", 4, 21, "\xF8\x60\x01", DB_GEN_ERR, -1},
      {"24-bit, blue on a red-green module", 4, 169, "\x01\x01\x01", DB_GEN_ERR, -1},
      {"24-bit, blue on full colour", 4, 97, "\xF8\x60\x01", DB_OK, -1},
      {"24-bit, short", 4, 97, "\xF8\x60", DB_GEN_ERR, -1},
      {"classic green on red-green", 3, 102, "\x03", DB_OK, 3},
      {"classic blue on red-green", 3, 102, "\x05", DB_GEN_ERR, -1},
      {"classic, two bytes", 3, 97, "\x03\x03", DB_GEN_ERR, -1},
  };
  for (const row& r : rows)
    for (uint32_t offset : {kBackgroundRGB, kForegroundRGB}) {
      uint32_t pair = offset == kBackgroundRGB ? kBackground : kForeground;
      Put(nv(), kColorScheme, 1, r.scheme);
      Put(nv(), kModuleID, 2, r.module);
      Put(nv(), pair, 1, 77);
      EXPECT_EQ(WriteString(nv(), offset, r.rgb), r.result) << r.what;
      EXPECT_EQ(Get(nv(), pair), r.pair < 0 ? 77u : static_cast<uint32_t>(r.pair)) << r.what;
      if (r.result == DB_OK) {
        EXPECT_EQ(Rgb(offset), r.rgb) << r.what;
      }
    }
}

namespace {

// A brightness table: the count, then (output, down, up) per level.
std::string Levels(std::initializer_list<std::array<uint16_t, 3>> levels) {
  std::string s(1, static_cast<char>(levels.size()));
  for (const auto& l : levels)
    for (uint16_t v : l) {
      s.push_back(static_cast<char>(v >> 8));
      s.push_back(static_cast<char>(v));
    }
  return s;
}

}  // namespace

TEST_F(HookTest, BrightnessTableIsContiguousAndWithinThePhotocell) {
  Put(vol(), 164, 2, 1000);  // the maximum photocell level
  struct row {
    const char* what;
    std::string table;
    uint32_t result, error;
  } rows[] = {
      {"two levels that meet", Levels({{10, 0, 100}, {200, 101, 1000}}), DB_OK, 2},
      {"overlapping levels", Levels({{10, 0, 100}, {200, 50, 300}}), DB_OK, 2},
      {"a gap between the levels", Levels({{10, 0, 100}, {200, 102, 200}}), DB_GEN_ERR, 3},
      {"down above the maximum", Levels({{10, 1001, 1001}}), DB_GEN_ERR, 6},
      {"up above the maximum", Levels({{10, 0, 1001}}), DB_GEN_ERR, 6},
      {"up below down", Levels({{10, 50, 40}}), DB_GEN_ERR, 6},
      {"count 2, one level of bytes", Levels({{10, 0, 100}, {20, 101, 200}}).substr(0, 12), DB_GEN_ERR, 6},
      {"count 0", std::string(1, '\0'), DB_GEN_ERR, 6},
      {"a byte too many", Levels({{10, 0, 100}}) + "x", DB_GEN_ERR, 6},
      {"empty", "", DB_GEN_ERR, 6},
  };
  for (const row& r : rows) {
    PutString(nv(), kBrightness, "\x30");
    Put(nv(), kBrightnessError, 1, 0);
    EXPECT_EQ(WriteString(nv(), kBrightness, r.table), r.result) << r.what;
    EXPECT_EQ(Get(nv(), kBrightnessError), r.error) << r.what;
    EXPECT_EQ(Str(kBrightness, nv()), r.result == DB_OK ? r.table : "\x30") << r.what;
  }
}

// An empty table is refused on its length alone: no byte of it is read.
TEST_F(HookTest, EmptyBrightnessTableReadsNoByte) {
  EXPECT_EQ(db_->SetString(kBrightness, 4, nullptr, 0, nv(), DB_NOTIFY), DB_GEN_ERR);
  EXPECT_EQ(Get(nv(), kBrightnessError), 6u);
}
