// The environment summaries of the task step: sign, cabinet and ambient
// temperatures, the light objects, the humidity sensors' presence, and the
// over-temperature protection with its brightness stages, blank activation
// and traps.
#include <algorithm>
#include <cstring>

#include "database/objects.h"
#include "display/task/display_peripherals.h"
#include "peripherals/peripheral_startup.h"
#include "peripherals/tests/task_fixture.h"

namespace {

class EnvironmentTest : public TaskFixture {
 protected:
  void SetUp() override {
    SetUpTask(false);
    Start();
    brightness_updates_ = 0;
    modules_hot_above_ = 127;
    module_limits_.clear();
    peripheral_set_display_ops(&kDisplayOps);
  }

  int8_t SignedV(db_object o) { return static_cast<int8_t>(V(o)); }
  // One task step with the sign sensor 13 reading t.
  void HousingStep(int8_t t) {
    Sensor(13);
    sensor_readings::temperature[13] = t;
    Steps(1);
  }
  std::vector<uint8_t> SlotCode() {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(vol::activationSlotCode(2).offset, 4, Db().mib_v, &n);
    return std::vector<uint8_t>(p, p + n);
  }
  bool SlotBlank() {
    const std::vector<uint8_t> code = SlotCode();
    return code.size() == 12 && code[3] == 7;
  }

  static uint32_t brightness_updates_;
  static int32_t modules_hot_above_;
  static bool warning_defined_;
  static std::vector<int32_t> module_limits_;
  static const peripheral_display_ops kDisplayOps;
};

uint32_t EnvironmentTest::brightness_updates_ = 0;
int32_t EnvironmentTest::modules_hot_above_ = 127;
bool EnvironmentTest::warning_defined_ = false;
std::vector<int32_t> EnvironmentTest::module_limits_;
const peripheral_display_ops EnvironmentTest::kDisplayOps = {
    nullptr,
    nullptr,
    nullptr,
    [](int32_t limit) {
      module_limits_.push_back(limit);
      return modules_hot_above_ > limit;
    },
    [] { return warning_defined_; },
    [] { ++brightness_updates_; },
};

// ---------------------------------------------------------------- summaries

struct HousingCase {
  const char* name;
  std::vector<std::pair<uint16_t, int8_t>> valid;
  std::vector<std::pair<uint16_t, int8_t>> not_valid;
  int8_t min, max;
  bool missing;
};

TEST_F(EnvironmentTest, SignHousingSummaries) {
  const HousingCase cases[] = {
      {"two sensors", {{13, 35}, {160, 41}}, {}, 35, 41, false},
      {"an invalid one does not count", {{13, 35}}, {{160, 50}}, 35, 35, false},
      {"below zero", {{14, -5}, {165, -20}, {15, -1}}, {}, -20, -1, false},
      {"every line sensor", {{161, 1}, {162, 2}, {163, 3}, {164, 4}}, {}, 1, 4, false},
      {"none valid", {}, {{13, 30}}, 0, 0, true},
  };
  for (const HousingCase& c : cases) {
    for (uint16_t type : {13, 14, 15, 160, 161, 162, 163, 164, 165})
      if (CPeripheral* p = Live(type)) p->m_byState = PERIPHERAL_COMM_ERROR;
    sensor_readings::temperature.clear();
    for (auto [type, t] : c.valid) {
      Sensor(type, true);
      sensor_readings::temperature[type] = t;
    }
    for (auto [type, t] : c.not_valid) {
      Sensor(type, false);
      sensor_readings::temperature[type] = t;
    }
    Steps(1);
    EXPECT_EQ(SignedV(vol::tempMinSignHousing), c.min) << c.name;
    EXPECT_EQ(SignedV(vol::tempMaxSignHousing), c.max) << c.name;
    EXPECT_EQ((task_->m_byMissingSensors & CPeripheralTask::MISSING_SIGN_TEMPERATURE) != 0, c.missing) << c.name;
  }
}

TEST_F(EnvironmentTest, NoSignSensorIsNoFaultWithoutFansAndHeaters) {
  SetV(vol::nvdotFanState, 2);
  SetV(vol::nvdotHeaterState, 2);
  Steps(1);
  EXPECT_EQ(task_->m_byMissingSensors & CPeripheralTask::MISSING_SIGN_TEMPERATURE, 0);
  SetV(vol::nvdotHeaterState, 3);
  Steps(1);
  EXPECT_NE(task_->m_byMissingSensors & CPeripheralTask::MISSING_SIGN_TEMPERATURE, 0);
}

TEST_F(EnvironmentTest, CabinetAndAmbient) {
  // The built-in controller sensor stands in while the cabinet's is not valid.
  Sensor(10);
  sensor_readings::temperature[10] = 40;
  Sensor(11);
  sensor_readings::temperature[11] = 25;
  SetV(vol::tempMinAmbient, 77);
  SetV(vol::tempMaxAmbient, 77);
  Steps(1);
  EXPECT_EQ(SignedV(vol::tempMinCtrlCabinet), 25);
  EXPECT_EQ(SignedV(vol::tempMaxCtrlCabinet), 25);
  EXPECT_EQ(V(vol::tempMinAmbient), 77u) << "no ambient sensor: left alone";

  Live(11)->m_byState = PERIPHERAL_COMM_ERROR;
  Sensor(12);
  sensor_readings::temperature[12] = -18;
  Steps(1);
  EXPECT_EQ(SignedV(vol::tempMaxCtrlCabinet), 40);
  EXPECT_EQ(SignedV(vol::tempMinAmbient), -18);
  EXPECT_EQ(SignedV(vol::tempMaxAmbient), -18);

  Live(10)->m_byState = PERIPHERAL_COMM_ERROR;
  Live(12)->m_byState = PERIPHERAL_COMM_ERROR;
  Steps(1);
  EXPECT_EQ(V(vol::tempMinCtrlCabinet), 0u);
  EXPECT_EQ(V(vol::tempMaxCtrlCabinet), 0u);
  EXPECT_EQ(V(vol::tempMinAmbient), 0u) << "an ambient sensor that is not valid reads 0";
}

TEST_F(EnvironmentTest, LightObjectsAndTheSignLevel) {
  sensor_readings::light = {{3, 0x0102}, {2, 0x0304}, {1, 0x0506}, {151, 0x0700}, {153, 0x0042}};
  for (uint16_t type : {3, 2, 1, 151, 153}) Sensor(type);
  Steps(1);
  EXPECT_EQ(V(vol::lightLevelRear), 0xFFu) << "clamped, not cut to the low byte";
  EXPECT_EQ(V(vol::lightLevelAmbient), 0xFFu);
  EXPECT_EQ(V(vol::lightLevelFront), 0x42u) << "the last line sensor writes last";
  EXPECT_EQ(V(vol::dmsIllumPhotocellLevelStatus), 0x0700u);

  // A sensor that is not valid keeps its object and leaves the maximum.
  Live(151)->m_byState = PERIPHERAL_COMM_ERROR;
  Live(3)->m_byState = PERIPHERAL_COMM_ERROR;
  sensor_readings::light[3] = 0x00FF;
  Steps(1);
  EXPECT_EQ(V(vol::lightLevelRear), 0xFFu);
  EXPECT_EQ(V(vol::dmsIllumPhotocellLevelStatus), 0x0506u);
  // Levels that fit the byte are kept as they are, up to 255.
  Live(3)->m_byState = PERIPHERAL_VALID;
  sensor_readings::light[3] = 0x00FE;
  Steps(1);
  EXPECT_EQ(V(vol::lightLevelRear), 0xFEu);
  Live(3)->m_byState = PERIPHERAL_COMM_ERROR;

  for (uint16_t type : {2, 1, 153}) Live(type)->m_byState = PERIPHERAL_COMM_ERROR;
  Steps(1);
  EXPECT_EQ(V(vol::dmsIllumPhotocellLevelStatus), 0u) << "no sensor: no light level";
}

TEST_F(EnvironmentTest, HumiditySensorsPresence) {
  const uint8_t both = CPeripheralTask::MISSING_HUMIDITY_AMBIENT | CPeripheralTask::MISSING_HUMIDITY_SIGN;
  Steps(1);
  EXPECT_EQ(task_->m_byMissingSensors & both, both);
  Sensor(631, false);
  Steps(1);
  EXPECT_EQ(task_->m_byMissingSensors & both, CPeripheralTask::MISSING_HUMIDITY_AMBIENT) << "live is enough";
  Sensor(630);
  Steps(1);
  EXPECT_EQ(task_->m_byMissingSensors & both, 0);
}

// ---------------------------------------------------------------- over-temperature

struct Stage {
  int8_t housing;
  uint8_t state;
  uint8_t limit;
  bool blank;
  std::vector<uint32_t> traps;  // raised by this step
};

TEST_F(EnvironmentTest, OverTemperatureStagesWithTheSignSensors) {
  SetNv(nv::quorShutOffTemp, 60);
  const Stage stages[] = {
      {56, 0, 100, false, {}},  {57, 1, 50, false, {}}, {59, 1, 50, false, {}}, {60, 2, 0, true, {2}},
      {61, 2, 0, true, {}},     {58, 2, 0, true, {}},   {57, 1, 50, false, {8}}, {59, 1, 50, false, {}},
      {55, 1, 50, false, {}},   {54, 0, 100, false, {}}, {57, 1, 50, false, {}}, {54, 0, 100, false, {}},
  };
  uint32_t updates = 0;
  uint8_t last_limit = 100;
  for (const Stage& s : stages) {
    s_traps.clear();
    HousingStep(s.housing);
    EXPECT_EQ(g_over_temperature_state, s.state) << int(s.housing);
    EXPECT_EQ(task_->m_byBrightnessLimit, s.limit) << int(s.housing);
    EXPECT_EQ(SlotBlank(), s.blank) << int(s.housing);
    std::vector<uint32_t> specific;
    for (const captured_trap& t : s_traps) specific.push_back(t.specific);
    EXPECT_EQ(specific, s.traps) << int(s.housing);
    // The display recomputes its brightness at every change of the limit.
    if (s.limit != last_limit) ++updates;
    last_limit = s.limit;
    EXPECT_EQ(brightness_updates_, updates) << int(s.housing);
  }
  // Cleared: twelve zero bytes, not an empty string.
  EXPECT_EQ(SlotCode(), std::vector<uint8_t>(12, 0));
}

TEST_F(EnvironmentTest, TheBlankActivationAndTheTraps) {
  SetNv(nv::quorShutOffTemp, 60);
  SetNvText(nv::sysLocation, "I-95 exit 12");
  HousingStep(57);
  HousingStep(63);
  EXPECT_EQ(SlotCode(), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x01, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(V(vol::activationSlotSourceMode(2)), 1u);
  EXPECT_EQ(V(vol::activationSlotReason(2)), 5u);

  ASSERT_EQ(s_traps.size(), 1u);
  const captured_trap& t = s_traps[0];
  EXPECT_EQ(t.generic, 6u);
  EXPECT_EQ(t.specific, 2u);
  ASSERT_EQ(t.oids.size(), 3u);
  EXPECT_EQ(t.oids[0], (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 6, 0}));
  EXPECT_EQ(t.oids[1], (std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0}));
  EXPECT_EQ(t.oids[2], (std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 9, 6, 0}));
  EXPECT_EQ(t.types, (std::vector<uint8_t>{2, 5, 1}));
  EXPECT_EQ(std::string(t.values[0].begin(), t.values[0].end()), "I-95 exit 12");
  // Integers in host order, as the agent takes them.
  uint32_t time = 0;
  int32_t hottest = 0;
  ASSERT_EQ(t.values[1].size(), 4u);
  ASSERT_EQ(t.values[2].size(), 4u);
  std::memcpy(&time, t.values[1].data(), 4);
  std::memcpy(&hottest, t.values[2].data(), 4);
  EXPECT_NEAR(static_cast<double>(time), static_cast<double>(host_seconds_), 5.0);
  EXPECT_EQ(hottest, 63);

  s_traps.clear();
  HousingStep(-3);  // cooled far down: the warning stage first
  ASSERT_EQ(s_traps.size(), 1u);
  EXPECT_EQ(s_traps[0].specific, 8u);
  std::memcpy(&hottest, s_traps[0].values[2].data(), 4);
  EXPECT_EQ(hottest, -3) << "signed";
}

TEST_F(EnvironmentTest, AHighPriorityMessageKeepsTheSignLit) {
  SetNv(nv::quorShutOffTemp, 60);
  HousingStep(57);
  HousingStep(65);
  ASSERT_TRUE(SlotBlank());
  SetNv(nv::currentBufferRunTimePriority, 200);
  HousingStep(65);
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_NORMAL);
  EXPECT_EQ(task_->m_byBrightnessLimit, 100);
  EXPECT_FALSE(SlotBlank()) << "the blanking was released";
  HousingStep(70);
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_NORMAL);
  // From the warning stage, too.
  SetNv(nv::currentBufferRunTimePriority, 199);
  HousingStep(58);
  ASSERT_EQ(task_->m_byBrightnessLimit, 50);
  SetNv(nv::currentBufferRunTimePriority, 255);
  HousingStep(58);
  EXPECT_EQ(task_->m_byBrightnessLimit, 100);
  EXPECT_TRUE(s_traps.size() == 1u && s_traps[0].specific == 2u) << "no cool-down trap for a release";
}

TEST_F(EnvironmentTest, TheFeatureBitFreezesTheProtection) {
  SetNv(nv::quorShutOffTemp, 60);
  HousingStep(57);
  HousingStep(60);
  ASSERT_TRUE(SlotBlank());
  SetNv(nv::quorSpecialFeatureSet, 0x80);
  HousingStep(20);
  EXPECT_TRUE(SlotBlank());
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_SHUT_OFF);
  SetNv(nv::quorSpecialFeatureSet, 0);
  HousingStep(20);
  EXPECT_FALSE(SlotBlank());
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_WARNING);
  HousingStep(20);
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_NORMAL);
}

TEST_F(EnvironmentTest, NoShutOffTemperatureNoProtection) {
  SetNv(nv::quorShutOffTemp, 0);
  HousingStep(120);
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_NORMAL);
  EXPECT_EQ(brightness_updates_, 0u);
  // A sign without sensors reads 0 and stays normal.
  SetNv(nv::quorShutOffTemp, 60);
  Live(13)->m_byState = PERIPHERAL_COMM_ERROR;
  Steps(2);
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_NORMAL);
}

TEST_F(EnvironmentTest, ModulesWithAWarningTemperatureDecide) {
  warning_defined_ = true;
  SetNv(nv::quorShutOffTemp, 60);
  modules_hot_above_ = 58;  // the hottest modules
  HousingStep(100);         // the housing no longer counts
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_WARNING);
  EXPECT_EQ(module_limits_, std::vector<int32_t>{57});
  module_limits_.clear();
  HousingStep(100);
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_WARNING);
  EXPECT_EQ(module_limits_, (std::vector<int32_t>{60, 54})) << "shut-off, then cool";
  modules_hot_above_ = 61;
  HousingStep(0);
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_SHUT_OFF);
  module_limits_.clear();
  modules_hot_above_ = 57;
  HousingStep(0);
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_WARNING);
  EXPECT_EQ(module_limits_, std::vector<int32_t>{57});
  modules_hot_above_ = 54;
  HousingStep(0);
  EXPECT_EQ(g_over_temperature_state, OVERTEMP_NORMAL);
  warning_defined_ = false;
}

}  // namespace

namespace {

// The display reads the brightness limit and keeps its module-temperature
// peripheral through the links start-up fills in.
class DisplayLinksTest : public PeripheralTest {
 protected:
  void TearDown() override {
    rtos::kernel_stop();
    g_display_peripherals = {};
    PeripheralTest::TearDown();
  }
};

TEST_F(DisplayLinksTest, StartUpGivesTheDisplayTheTasksLimit) {
  EXPECT_EQ(display_derating_percent(), 100);
  ASSERT_EQ(peripheral_task_create(&stacks_, 3), 1);
  ASSERT_NE(g_display_peripherals.derating_percent, nullptr);
  g_peripheral_task.m_byBrightnessLimit = 50;
  EXPECT_EQ(display_derating_percent(), 50);
  g_peripheral_task.m_byBrightnessLimit = 100;
  bool live = true;
  InThread([&] { live = g_display_peripherals.is_live(16); });
  EXPECT_FALSE(live) << "nothing is live before the task starts";
  EXPECT_FALSE(g_display_peripherals.is_live(0x10010)) << "no such type";
}

}  // namespace
