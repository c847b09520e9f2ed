// The climate outputs: each evaluator on its own, as a table of runs, and
// the run that combines them with the warm-up and the per-output modes.
#include "peripherals/peripheral_hooks.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/tests/peripheral_fixture.h"

namespace {

class ClimateTest : public PeripheralTest {
 protected:
  void SetUp() override {
    PeripheralTest::SetUp();
    task_ = std::make_unique<CPeripheralTask>(&g_post_office);
    task_->RunClimateEvaluators(1);
    Now(1000);
  }
  void TearDown() override {
    peripheral_set_display_ops(nullptr);
    task_.reset();
    PeripheralTest::TearDown();
  }
  static void Now(uint32_t t) { Db().SetTimeValue(nv::globalTime.offset, 4, t, Db().mib_nv, 0); }
  static void Housing(int8_t min, int8_t max) {
    SetV(vol::tempMinSignHousing, static_cast<uint8_t>(min));
    SetV(vol::tempMaxSignHousing, static_cast<uint8_t>(max));
  }
  // Runs past the warm-up of the combined run.
  void WarmUp() {
    for (int i = 0; i < 24; ++i) task_->RunClimateEvaluators(0);
  }
  uint32_t Outputs() const { return task_->StatusWord() & CPeripheralTask::STATUS_OUTPUTS; }

  std::unique_ptr<CPeripheralTask> task_;
};

TEST_F(ClimateTest, TemperatureStartsAndStopsFansAndHeating) {
  struct Step {
    int8_t min, max;
    uint8_t state, mask;
  } steps[] = {
      {10, 31, 3, 0},   // below stage 1 (32)
      {10, 33, 1, 7},   // all fans
      {10, 30, 1, 7},   // above the off point (29)
      {10, 29, 3, 0},   // off at 29 or below
      {0, 0, 3, 0},     // 0 is no reading: never heats
      {-1, 0, 14, 10},  // face fan and heater
      {7, 10, 14, 10},
      {8, 10, 3, 0},
      {10, 0, 3, 0},    // no maximum reading: no cooling
  };
  for (const Step& s : steps) {
    Housing(s.min, s.max);
    EXPECT_EQ(task_->EvaluateTemperatureClimate(0), s.mask) << int(s.min) << "/" << int(s.max);
    EXPECT_EQ(task_->m_Temperature.state, s.state) << int(s.min) << "/" << int(s.max);
  }
}

TEST_F(ClimateTest, TemperatureOnBatteryWaitsForTheSecondStage) {
  SetV(vol::quorPowerModeStatus, 2);
  SetV(vol::powerSource, 7);
  Housing(10, 48);
  EXPECT_EQ(task_->EvaluateTemperatureClimate(0), 0);
  Housing(10, 49);
  EXPECT_EQ(task_->EvaluateTemperatureClimate(0), 7);
  Housing(10, 47);
  EXPECT_EQ(task_->EvaluateTemperatureClimate(0), 7);
  Housing(10, 46);
  EXPECT_EQ(task_->EvaluateTemperatureClimate(0), 0);
}

int32_t s_module_limit_asked = 0;
bool s_modules_hot = false;

TEST_F(ClimateTest, TemperatureFromTheModulesWhenTheyHaveStages) {
  static const peripheral_display_ops ops = [] {
    peripheral_display_ops o{};
    o.stage1_on = [] { return 40; };
    o.stages_defined = [] { return true; };
    o.modules_over_temperature = [](int32_t limit) {
      s_module_limit_asked = limit;
      return s_modules_hot;
    };
    return o;
  }();
  peripheral_set_display_ops(&ops);
  Housing(10, 60);  // the housing reading no longer counts
  s_modules_hot = false;
  EXPECT_EQ(task_->EvaluateTemperatureClimate(0), 0);
  EXPECT_EQ(s_module_limit_asked, 40);
  s_modules_hot = true;
  EXPECT_EQ(task_->EvaluateTemperatureClimate(0), 7);
  EXPECT_EQ(task_->EvaluateTemperatureClimate(0), 7);
  EXPECT_EQ(s_module_limit_asked, 37);  // asked at the off point while cooling
  s_modules_hot = false;
  EXPECT_EQ(task_->EvaluateTemperatureClimate(0), 0);
}

TEST_F(ClimateTest, Humidity) {
  struct Step {
    uint8_t humidity;
    uint8_t mask;
  } steps[] = {{94, 0}, {95, 10}, {91, 10}, {0, 10}, {90, 0}, {100, 10}};
  for (const Step& s : steps) {
    SetV(vol::humiditySignAverage, s.humidity);
    EXPECT_EQ(task_->EvaluateHumidityClimate(0), s.mask) << int(s.humidity);
  }
}

TEST_F(ClimateTest, TestPatternVentilation) {
  struct Step {
    uint8_t pattern;
    uint8_t mask;
    bool bit20;
  } steps[] = {{1, 0, false}, {30, 31, true}, {31, 31, true}, {25, 31, true}, {2, 0, false}};
  for (const Step& s : steps) {
    SetNv(nv::quorDisplayMode, s.pattern);
    EXPECT_EQ(task_->EvaluateTestPatternVentilation(0), s.mask) << int(s.pattern);
    EXPECT_EQ((task_->StatusWord() & CPeripheralTask::STATUS_TEST_VENTILATION) != 0, s.bit20) << int(s.pattern);
  }
}

TEST_F(ClimateTest, FanTestRunsThreeMinutesThenWritesIdle) {
  SetNv(nv::nvdotFanTest, 1);
  SetNv(nv::nvdotHeaterTest, 2);
  EXPECT_EQ(task_->EvaluateFanHeaterTest(0), 7);
  Now(1180);
  EXPECT_EQ(task_->EvaluateFanHeaterTest(0), 7);
  EXPECT_EQ(Nv(nv::nvdotFanTest), 1u);
  Now(1181);
  EXPECT_EQ(task_->EvaluateFanHeaterTest(0), 0);
  EXPECT_EQ(Nv(nv::nvdotFanTest), 2u);
  EXPECT_EQ(Nv(nv::nvdotHeaterTest), 2u);
}

TEST_F(ClimateTest, FanAndHeaterTestsTogether) {
  // Both at once: the heater check comes last, so the first run ends in
  // the heater test with every output, and the next run in both.
  SetNv(nv::nvdotFanTest, 1);
  SetNv(nv::nvdotHeaterTest, 1);
  EXPECT_EQ(task_->EvaluateFanHeaterTest(0), 31);
  EXPECT_EQ(task_->m_FanHeaterTest.state, 14);
  EXPECT_EQ(task_->EvaluateFanHeaterTest(0), 31);
  EXPECT_EQ(task_->m_FanHeaterTest.state, 2);
  // Either one cancelled ends both.
  SetNv(nv::nvdotHeaterTest, 2);
  EXPECT_EQ(task_->EvaluateFanHeaterTest(0), 0);
  EXPECT_EQ(Nv(nv::nvdotFanTest), 2u);
  // The heater test alone runs the heaters and the face fan.
  SetNv(nv::nvdotHeaterTest, 1);
  EXPECT_EQ(task_->EvaluateFanHeaterTest(0), 26);
  // A fan test asked for meanwhile joins it.
  SetNv(nv::nvdotFanTest, 1);
  EXPECT_EQ(task_->EvaluateFanHeaterTest(0), 31);
  EXPECT_EQ(task_->m_FanHeaterTest.state, 2);
}

TEST_F(ClimateTest, ClimateTestOfTheTestableRows) {
  SetV(vol::climateNumRows, 3);
  SetV(vol::climateType(0), 2);
  SetV(vol::climateType(1), 4);
  SetV(vol::climateType(2), 3);
  SetV(vol::climateCtrlTestActivation, 3);
  EXPECT_EQ(task_->EvaluateClimateTest(0), 7);
  EXPECT_EQ(V(vol::climateTestActivation(0)), 3u);
  EXPECT_EQ(V(vol::climateTestActivation(1)), 0u);
  EXPECT_EQ(V(vol::climateTestActivation(2)), 3u);
  // The devices end their tests; the last one ends the climate test.
  SetV(vol::climateTestActivation(0), 2);
  EXPECT_EQ(task_->EvaluateClimateTest(0), 7);
  SetV(vol::climateTestActivation(2), 2);
  EXPECT_EQ(task_->EvaluateClimateTest(0), 0);
  EXPECT_EQ(V(vol::climateCtrlTestActivation), 2u);
  // Without testable rows a request is answered at once.
  SetV(vol::climateType(0), 4);
  SetV(vol::climateType(2), 1);
  SetV(vol::climateCtrlTestActivation, 3);
  EXPECT_EQ(task_->EvaluateClimateTest(0), 0);
  EXPECT_EQ(V(vol::climateCtrlTestActivation), 2u);
  // A row count beyond the table stops at its last row.
  SetV(vol::climateNumRows, 255);
  SetV(vol::climateCtrlTestActivation, 3);
  task_->EvaluateClimateTest(0);
  EXPECT_EQ(V(vol::climateTestActivation(32)), 0u);
}

TEST_F(ClimateTest, MaintenanceHeaterCycles) {
  for (int i = 0; i < 25; ++i) EXPECT_EQ(task_->EvaluateMaintenanceHeater(0), 0);  // its warm-up
  EXPECT_EQ(task_->EvaluateMaintenanceHeater(0), 0);  // state 1 -> off
  EXPECT_EQ(task_->m_byMaintenanceHeaterState, 3);
  struct Step {
    int8_t max;
    uint8_t request, pattern;
    uint8_t mask, state;
  } steps[] = {
      {15, 2, 1, 0, 3},    // not requested
      {15, 1, 1, 16, 2},   // requested and cold: on
      {25, 1, 1, 16, 2},
      {26, 1, 1, 0, 3},    // warm: off, still requested
      {21, 1, 1, 0, 3},
      {19, 1, 1, 16, 2},   // cold again: on
      {19, 2, 1, 0, 3},    // request withdrawn
      {30, 2, 30, 16, 7},  // a ventilating test pattern holds it on
      {30, 2, 31, 16, 7},
      {30, 2, 1, 0, 3},
  };
  for (const Step& s : steps) {
    SetV(vol::tempMaxSignHousing, static_cast<uint8_t>(s.max));
    SetV(vol::maintenanceHeaterRequest, s.request);
    SetNv(nv::quorDisplayMode, s.pattern);
    EXPECT_EQ(task_->EvaluateMaintenanceHeater(0), s.mask) << int(s.max) << " " << int(s.request);
    EXPECT_EQ(task_->m_byMaintenanceHeaterState, s.state) << int(s.max) << " " << int(s.request);
  }
}

TEST_F(ClimateTest, MaintenanceHeaterRequestRunsOut) {
  for (int i = 0; i < 26; ++i) task_->EvaluateMaintenanceHeater(0);
  SetV(vol::maintenanceHeaterRequest, 1);
  SetV(vol::tempMaxSignHousing, 10);
  uint32_t runs = 0;
  while (V(vol::maintenanceHeaterRequest) == 1 && runs < 60000) {
    task_->EvaluateMaintenanceHeater(0);
    ++runs;
  }
  // The run that switches it on, then 57600 counted runs.
  EXPECT_EQ(runs, 57601u);
  EXPECT_EQ(task_->EvaluateMaintenanceHeater(0), 0);
  EXPECT_EQ(task_->m_byMaintenanceHeaterState, 3);
}

TEST_F(ClimateTest, ForcedModesAndTheirExpiry) {
  task_->m_adwForcedDuration[0] = 600;
  task_->m_abyClimateMode[0] = CPeripheralTask::MODE_FORCED_ON;
  struct Step {
    uint32_t now;
    uint8_t mode_written;  // 0: none
    uint8_t state, mode;
    uint8_t forced;
  } steps[] = {
      {1000, 0, 5, 2, 1},
      {1600, 0, 5, 2, 1},
      {1601, 0, 4, 1, 0},  // 600 s later: automatic again
      {1700, 3, 6, 3, 0},  // forced off
      {2000, 2, 5, 2, 1},  // from off to on: a fresh expiry
      {2300, 0, 5, 2, 1},
      {2400, 3, 6, 3, 0},  // to off keeps the expiry of 2600
      {2601, 0, 4, 1, 0},
      {2700, 1, 4, 1, 0},
  };
  for (const Step& s : steps) {
    Now(s.now);
    if (s.mode_written) task_->m_abyClimateMode[0] = s.mode_written;
    EXPECT_EQ(task_->EvaluateOverrides(0) & 1, s.forced) << s.now;
    EXPECT_EQ(task_->m_abyClimateState[0], s.state) << s.now;
    EXPECT_EQ(task_->m_abyClimateMode[0], s.mode) << s.now;
  }
}

TEST_F(ClimateTest, CombinedRunAfterItsWarmUp) {
  SetNv(nv::quorDisplayMode, 30);
  WarmUp();
  EXPECT_EQ(Outputs(), 0u);  // nothing during the warm-up
  task_->RunClimateEvaluators(0);
  EXPECT_EQ(Outputs(), static_cast<uint32_t>(CPeripheralTask::STATUS_OUTPUTS));
  // A forced-off output stays off whatever the evaluators want.
  task_->m_adwForcedDuration[2] = 60;
  task_->m_abyClimateMode[2] = CPeripheralTask::MODE_FORCED_OFF;
  task_->RunClimateEvaluators(0);
  EXPECT_FALSE(task_->OutputOn(2));
  EXPECT_TRUE(task_->OutputOn(1));
  // Forced on without any evaluator asking.
  SetNv(nv::quorDisplayMode, 1);
  task_->m_abyClimateMode[4] = CPeripheralTask::MODE_FORCED_ON;
  task_->m_adwForcedDuration[4] = 60;
  for (int i = 0; i < 30; ++i) task_->RunClimateEvaluators(0);  // the heater's own warm-up passes
  EXPECT_EQ(Outputs(), 0x040000u);
  // A reset drops every output and starts the warm-up again; the modes
  // stay as the panel left them.
  task_->m_abyClimateMode[2] = CPeripheralTask::MODE_AUTOMATIC;
  task_->m_abyClimateMode[4] = CPeripheralTask::MODE_AUTOMATIC;
  Housing(10, 40);
  task_->RunClimateEvaluators(1);
  EXPECT_EQ(Outputs(), 0u);
  task_->RunClimateEvaluators(0);
  EXPECT_EQ(Outputs(), 0u);
  WarmUp();
  EXPECT_EQ(Outputs(), 0x800000u | 0x400000u | 0x200000u);  // the fans
}

}  // namespace
