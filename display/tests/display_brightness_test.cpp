// The brightness evaluation by illumination mode, the level table's load,
// refusal, replacement and spreading, and the built-in table switch.
#include <vector>

#include "display/task/display_peripherals.h"
#include "display/tests/display_fixture.h"

namespace {

struct Level {
  uint32_t output, down, up;
};

std::vector<uint8_t> Encode(const std::vector<Level>& levels, int count = -1) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(count < 0 ? levels.size() : count)};
  for (const Level& l : levels)
    for (uint32_t v : {l.output, l.down, l.up}) {
      bytes.push_back(static_cast<uint8_t>(v >> 8));
      bytes.push_back(static_cast<uint8_t>(v));
    }
  return bytes;
}

const std::vector<Level> kThreeLevels = {{6553, 0, 100}, {32767, 90, 500}, {65535, 450, 65535}};

uint8_t g_derating = 100;

class BrightnessTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    g_derating = 100;
    g_display_peripherals = {};
    g_display_peripherals.derating_percent = [] { return g_derating; };
    SetVol(vol::dmsIllumMaxPhotocellLevel, 65535);
    SetNv(nv::dmsIllumControl, 2);
    Register(7, 15);
    driver_.Clear();
  }
  void TearDown() override {
    g_display_peripherals = {};
    DisplayTest::TearDown();
  }

  void Store(const std::vector<uint8_t>& bytes) { SetNvBytes(nv::dmsIllumBrightnessValues, bytes); }
  std::vector<uint8_t> Stored() {
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(nv::dmsIllumBrightnessValues.offset, 4, db_->mib_nv, &n);
    return std::vector<uint8_t>(p, p + n);
  }
  void Load() {
    InThread([&] { display_->LoadBrightnessTable(); });
  }
  void Evaluate(bool force = false) {
    InThread([&] { display_->UpdateBrightness(force); });
  }
  // The photocell reads r; the evaluation follows.
  void Read(uint32_t r) {
    SetVol(vol::dmsIllumPhotocellLevelStatus, r);
    Evaluate();
  }
  CDisplay::bright_level_s At(uint32_t i) { return display_->m_BrightTable[i]; }
};

TEST_F(BrightnessTest, PhotocellKeepsItsLevelInsideTheBand) {
  Store(Encode(kThreeLevels));
  Load();
  ASSERT_EQ(display_->m_dwBrightLevelCount, 3u);
  struct Step {
    uint32_t reading;
    int32_t sent;  // -1: nothing sent
    uint32_t index;
    const char* line;
  } steps[] = {
      {300, 128, 1, "Sensor Value Up, New Bright Value = 0x80\n"},
      {95, -1, 1, nullptr},  // down(1) <= 95 <= up(1)
      {80, 26, 0, "Sensor Value Down, New Bright Value = 0x1a\n"},
      {95, -1, 0, nullptr},  // the bands overlap: level 0 holds 95 too
      {600, 255, 2, "Sensor Value Up, New Bright Value = 0xff\n"},
      {449, 128, 1, "Sensor Value Down, New Bright Value = 0x80\n"},
      {100, -1, 1, nullptr},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.reading);
    driver_.Clear();
    trace_capture cap;
    Read(s.reading);
    if (s.sent < 0) {
      EXPECT_TRUE(driver_.brightness_calls.empty());
      EXPECT_EQ(cap.text(), "");
    } else {
      EXPECT_EQ(driver_.brightness_calls, std::vector<int32_t>{s.sent});
      EXPECT_EQ(cap.text(), s.line);
      // Photocell mode reports the level it reached as the manual level.
      EXPECT_EQ(Nv(nv::dmsIllumManLevel), static_cast<uint32_t>(s.sent));
      EXPECT_EQ(Vol(vol::dmsIllumBrightLevelStatus), static_cast<uint32_t>(s.sent));
    }
    EXPECT_EQ(display_->m_dwBrightnessState, s.index);
  }

  // A forced evaluation searches upward from level 0 again.
  driver_.Clear();
  SetVol(vol::dmsIllumPhotocellLevelStatus, 95);
  Evaluate(true);
  EXPECT_EQ(driver_.brightness_calls, std::vector<int32_t>{26});
  EXPECT_EQ(display_->m_dwBrightnessState, 0u);
  EXPECT_EQ(display_->m_byBrightnessReload, 0);
}

TEST_F(BrightnessTest, LevelsAndTheirLimitReasons) {
  Store(Encode(kThreeLevels));
  Load();
  struct Case {
    const char* name;
    uint32_t control, manual, reading, features;
    uint8_t derating;
    uint32_t cap;
    int32_t sent;
    uint32_t reason, light_output, requested;
  } cases[] = {
      {"photocell top level derated", 2, 0, 600, 0, 50, 255, 128, 2, 32767, 255},
      {"photocell held at the ceiling", 2, 0, 600, 0, 50, 100, 100, 3, 32767, 255},
      {"photocell reads 0, half output", 2, 0, 0, 1, 100, 255, 128, 1, 32767, 128},
      {"photocell reads 0", 2, 0, 0, 0, 100, 255, 1, 1, 257, 1},
      {"manual at the ceiling", 4, 200, 0, 0, 100, 100, 100, 3, 25700, 200},
      {"manual 0 still lights", 5, 0, 0, 0, 100, 255, 1, 1, 257, 0},
      {"manual at the shut-off", 4, 255, 0, 0, 0, 255, 1, 2, 257, 255},
      {"manual derated", 5, 200, 0, 0, 50, 255, 100, 2, 25700, 200},
      {"indexed beyond the table", 6, 9, 0, 0, 100, 255, 255, 1, 65535, 255},
      {"indexed 0 takes the lowest", 6, 0, 0, 0, 100, 255, 26, 1, 6553, 26},
      {"indexed 2", 6, 2, 0, 0, 100, 255, 128, 1, 32767, 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetNv(nv::dmsIllumControl, c.control);
    SetNv(nv::dmsIllumManLevel, c.manual);
    SetNv(nv::quorSpecialFeatureSet, c.features);
    SetVol(vol::dmsIllumPhotocellLevelStatus, c.reading);
    SetVol(vol::quorBrightnessLimitReason, 9);
    g_derating = c.derating;
    display_->m_dwBrightnessCap = c.cap;
    driver_.Clear();
    Evaluate(true);
    EXPECT_EQ(driver_.brightness_calls, std::vector<int32_t>{c.sent});
    EXPECT_EQ(Vol(vol::dmsIllumBrightLevelStatus), static_cast<uint32_t>(c.sent));
    EXPECT_EQ(Vol(vol::quorBrightnessLimitReason), c.reason);
    EXPECT_EQ(Nv(nv::dmsIllumLightOutputStatus), c.light_output);
    EXPECT_EQ(Vol(vol::quorRequestedBrightness), c.requested);
    // Only the photocell mode writes the manual level.
    if (c.control != 2) { EXPECT_EQ(Nv(nv::dmsIllumManLevel), c.manual); }
  }
}

TEST_F(BrightnessTest, TimerOtherAndSpecialDisplayModesLeaveTheStatusAlone) {
  Store(Encode(kThreeLevels));
  Load();
  SetVol(vol::dmsIllumBrightLevelStatus, 77);
  SetNv(nv::dmsIllumLightOutputStatus, 1234);
  SetVol(vol::quorBrightnessLimitReason, 2);
  SetNv(nv::dmsIllumControl, 3);
  Evaluate();
  Evaluate(true);
  EXPECT_EQ(driver_.brightness_calls, (std::vector<int32_t>{5, 5}));

  driver_.Clear();
  SetNv(nv::dmsIllumControl, 1);
  Evaluate(true);
  SetNv(nv::dmsIllumControl, 7);
  Evaluate(true);
  EXPECT_TRUE(driver_.brightness_calls.empty());

  // Test-pattern display modes own the brightness.
  SetNv(nv::dmsIllumControl, 4);
  for (uint32_t mode : {9u, 10u, 25u, 35u}) {
    SetNv(nv::quorDisplayMode, mode);
    Evaluate(true);
  }
  EXPECT_TRUE(driver_.brightness_calls.empty());
  EXPECT_EQ(Vol(vol::dmsIllumBrightLevelStatus), 77u);
  EXPECT_EQ(Nv(nv::dmsIllumLightOutputStatus), 1234u);
  EXPECT_EQ(Vol(vol::quorBrightnessLimitReason), 2u);
}

TEST_F(BrightnessTest, ModeChangeSearchesFromTheBottomAgain) {
  Store(Encode(kThreeLevels));
  Load();
  Read(600);
  EXPECT_EQ(display_->m_dwBrightnessState, 2u);
  // Manual, then photocell again: the reading inside level 1's band is
  // searched upward from level 0 and lands at level 0 (overlap).
  SetNv(nv::dmsIllumControl, 4);
  Evaluate();
  SetNv(nv::dmsIllumControl, 2);
  driver_.Clear();
  Read(95);
  EXPECT_EQ(driver_.brightness_calls, std::vector<int32_t>{26});
  EXPECT_EQ(display_->m_dwBrightnessState, 0u);
}

TEST_F(BrightnessTest, ShortTablesAreSpreadOverTheLevels) {
  std::vector<Level> nine;
  for (uint32_t i = 0; i < 9; ++i) nine.push_back({1000 + 8000 * i, 100 * i, 100 * i + 99});
  Store(Encode(nine));
  Load();
  EXPECT_EQ(Nv(nv::dmsIllumBrightnessValuesError), 2u);
  ASSERT_EQ(display_->m_dwBrightLevelCount, 8u * 31 + 1);
  for (uint32_t i = 0; i < 9; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(At(31 * i).output, nine[i].output);
    EXPECT_EQ(At(31 * i).down, nine[i].down);
  }
  // Between stored levels: linear steps of (8000 / 31, 100 / 31).
  EXPECT_EQ(At(1).output, 1258);
  EXPECT_EQ(At(1).down, 3);
  EXPECT_EQ(At(32).output, 9258);
  // Each band ends where the next starts; the top one at 16000.
  for (uint32_t k = 0; k + 1 < 249; ++k) ASSERT_EQ(At(k).up + 1, At(k + 1).down) << k;
  EXPECT_EQ(At(248).up, 16000);

  // Counts whose step divides 255 reach the 256th level.
  std::vector<Level> sixteen;
  for (uint32_t i = 0; i < 16; ++i) sixteen.push_back({4000 * i + 1, 10 * i, 10 * i + 9});
  Store(Encode(sixteen));
  Load();
  ASSERT_EQ(display_->m_dwBrightLevelCount, 256u);
  EXPECT_EQ(At(255).output, 60001);
  EXPECT_EQ(At(255).up, 16000);

  // Fewer than 8 and 128 or more levels are used as stored.
  Store(Encode(kThreeLevels));
  Load();
  EXPECT_EQ(display_->m_dwBrightLevelCount, 3u);
  EXPECT_EQ(At(2).up, 65535);
  std::vector<Level> many;
  for (uint32_t i = 0; i < 128; ++i) many.push_back({500 * i, i, i});
  Store(Encode(many));
  Load();
  EXPECT_EQ(display_->m_dwBrightLevelCount, 128u);
  EXPECT_EQ(At(127).up, 127);
}

TEST_F(BrightnessTest, RefusedTablesAreReplacedByABuiltInOne) {
  uint32_t long_size = 0, short_size = 0;
  const uint8_t* long_table = CDisplay::BuiltinBrightnessTable(false, &long_size);
  const uint8_t* short_table = CDisplay::BuiltinBrightnessTable(true, &short_size);
  const std::vector<uint8_t> long_bytes(long_table, long_table + long_size);
  const std::vector<uint8_t> short_bytes(short_table, short_table + short_size);

  struct Case {
    const char* name;
    std::vector<uint8_t> stored;
    uint32_t features;
    uint32_t error;
  } cases[] = {
      {"a gap between levels", Encode({{100, 0, 10}, {200, 12, 20}}), 0, 3},
      {"up beyond the photocell's range", Encode({{100, 0, 10}, {200, 11, 1001}}), 0, 6},
      {"up below down", Encode({{100, 0, 10}, {200, 11, 10}}), 8, 6},
      {"count 0", {0}, 8, 6},
      {"length not matching the count", Encode({{100, 0, 10}}, 2), 0, 6},
      {"nothing stored", {}, 0, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetNv(nv::quorSpecialFeatureSet, c.features);
    Store(c.stored);
    // The database's own check of the replacement writes the error object
    // too: without it the task's report stays.
    db_->SetHooksEnabled(false);
    SetVol(vol::dmsIllumMaxPhotocellLevel, 1000);
    Load();
    db_->SetHooksEnabled(true);
    EXPECT_EQ(Nv(nv::dmsIllumBrightnessValuesError), c.error);
    EXPECT_EQ(Stored(), c.features ? short_bytes : long_bytes);
    EXPECT_EQ(display_->m_dwBrightLevelCount, c.features ? 7u * 36 + 1 : 248u);
    // The replacement's change letter reloads it: valid over the whole range.
    SetVol(vol::dmsIllumMaxPhotocellLevel, 65535);
    Load();
    EXPECT_EQ(Nv(nv::dmsIllumBrightnessValuesError), 2u);
    EXPECT_EQ(Stored(), c.features ? short_bytes : long_bytes);
  }
}

TEST_F(BrightnessTest, RefusedReplacementFillsOnlyWhatIsStored) {
  // The photocell's range refuses the built-in tables too: the table is
  // filled from the stored bytes, as many whole levels as they hold.
  SetVol(vol::dmsIllumMaxPhotocellLevel, 500);
  Store(Encode({{6553, 0, 100}, {32767, 101, 400}}, 40));
  Load();
  EXPECT_EQ(Nv(nv::dmsIllumBrightnessValuesError), 6u);
  ASSERT_EQ(display_->m_dwBrightLevelCount, 2u);
  EXPECT_EQ(At(1).output, 32767);
  EXPECT_EQ(At(1).up, 400);
  Read(300);
  EXPECT_EQ(driver_.brightness_calls, std::vector<int32_t>{128});

  // The factory default, a count byte alone, holds no level: the built-in
  // levels are used, and the stored bytes stay as they are.
  Store({0x30});
  Load();
  EXPECT_EQ(Stored(), std::vector<uint8_t>{0x30});
  EXPECT_EQ(display_->m_dwBrightLevelCount, 248u);
  driver_.Clear();
  Read(1204);
  EXPECT_EQ(driver_.brightness_calls, std::vector<int32_t>{255});

  // The step does not try again while it has levels.
  trace_capture cap;
  RunToStep(3);
  EXPECT_FALSE(cap.contains("SetString invalid value"));
  EXPECT_EQ(display_->m_dwBrightLevelCount, 248u);
}

TEST_F(BrightnessTest, BuiltInTablesAreContiguousAndValid) {
  uint32_t n = 0;
  const uint8_t* p = CDisplay::BuiltinBrightnessTable(false, &n);
  ASSERT_EQ(n, 1489u);
  ASSERT_EQ(p[0], 248);
  auto level = [&](uint32_t i) {
    const uint8_t* e = p + 1 + 6 * i;
    return Level{uint32_t(e[0] << 8 | e[1]), uint32_t(e[2] << 8 | e[3]), uint32_t(e[4] << 8 | e[5])};
  };
  struct Known {
    uint32_t i;
    Level l;
  } known[] = {{0, {264, 1, 1}},        {3, {1057, 4, 4}},          {8, {2378, 9, 9}},
               {9, {2642, 10, 11}},     {10, {2906, 12, 13}},       {246, {65269, 1201, 1203}},
               {247, {65535, 1204, 65535}}};
  for (const Known& k : known) {
    SCOPED_TRACE(k.i);
    EXPECT_EQ(level(k.i).output, k.l.output);
    EXPECT_EQ(level(k.i).down, k.l.down);
    EXPECT_EQ(level(k.i).up, k.l.up);
  }
  for (uint32_t i = 1; i < 248; ++i) {
    ASSERT_EQ(level(i).down, level(i - 1).up + 1) << i;
    ASSERT_GT(level(i).output, level(i - 1).output) << i;
    const uint32_t width = level(i).up - level(i).down + 1;
    if (i >= 17 && i <= 24) { EXPECT_TRUE(width == 10 || width == 11) << i; }
    if (i >= 25 && i <= 198) { EXPECT_TRUE(width >= 5 && width <= 7) << i; }
    if (i >= 199 && i <= 246) { EXPECT_EQ(width, 3u) << i; }
  }
  // The database takes both as they are.
  for (bool short_table : {false, true}) {
    p = CDisplay::BuiltinBrightnessTable(short_table, &n);
    EXPECT_EQ(db_->SetString(nv::dmsIllumBrightnessValues.offset, 4, p, n, db_->mib_nv, 0), DB_OK);
  }
  EXPECT_EQ(n, 49u);
}

TEST_F(BrightnessTest, FeatureBitSwitchesTheBuiltInTable) {
  uint32_t short_size = 0, long_size = 0;
  const uint8_t* s = CDisplay::BuiltinBrightnessTable(true, &short_size);
  const uint8_t* l = CDisplay::BuiltinBrightnessTable(false, &long_size);
  const std::vector<uint8_t> custom = Encode(kThreeLevels);
  Store(custom);
  RunToStep(1);
  EXPECT_EQ(display_->m_dwBrightLevelCount, 3u);

  // Another feature bit changes nothing here.
  InThread([&] { db_->SetValue(nv::quorSpecialFeatureSet.offset, 4, 0x02, db_->mib_nv, DB_NOTIFY); });
  rtos::advance(10);
  EXPECT_EQ(Stored(), custom);

  // Bit 3 set: the short table, loaded and spread by its change letter.
  SetNv(nv::dmsIllumBrightnessValuesError, 3);
  InThread([&] { db_->SetValue(nv::quorSpecialFeatureSet.offset, 4, 0x0A, db_->mib_nv, DB_NOTIFY); });
  rtos::advance(20);
  EXPECT_EQ(Stored(), std::vector<uint8_t>(s, s + short_size));
  EXPECT_EQ(Nv(nv::dmsIllumBrightnessValuesError), 2u);
  EXPECT_EQ(display_->m_dwBrightLevelCount, 253u);

  // Cleared: the long table.
  InThread([&] { db_->SetValue(nv::quorSpecialFeatureSet.offset, 4, 0x02, db_->mib_nv, DB_NOTIFY); });
  rtos::advance(20);
  EXPECT_EQ(Stored(), std::vector<uint8_t>(l, l + long_size));
  EXPECT_EQ(display_->m_dwBrightLevelCount, 248u);
}

TEST_F(BrightnessTest, PhotocellWritesAreServedInTheStep) {
  Store(Encode(kThreeLevels));
  RunToStep(1);
  driver_.Clear();
  InThread([&] { db_->SetValue(vol::dmsIllumPhotocellLevelStatus.offset, 2, 600, db_->mib_v, DB_NOTIFY); });
  rtos::advance(10);
  EXPECT_EQ(driver_.brightness_calls, std::vector<int32_t>{255});
  // The ceiling from the lit ratio forces a new evaluation.
  display_->m_dwCapFlags |= CDisplay::CAP_ENABLED;
  display_->m_dwLitCap = 200;
  rtos::advance(10);
  EXPECT_EQ(driver_.brightness_calls.back(), 200);
  EXPECT_EQ(Vol(vol::quorBrightnessLimitReason), 3u);
}

}  // namespace
