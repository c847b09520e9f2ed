// The climate outputs: intake, face and pixel fans, heater and maintenance
// heater. Eight evaluators each propose outputs as a 5-bit mask; the
// front panel's per-output mode forces an output on or off for a while.
// The result is five bits of the status word, which the fan and heater
// control peripherals follow.
#include "frame/peripheral/peripheral.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/peripheral_task.h"

namespace {

enum : uint8_t { IDLE = 3, COOLING = 1, ACTIVE = 2, HEATING = 14, TESTING = 1 };
enum : uint8_t { FANS = 7, FACE_FAN_HEATER = 10, HEATERS_AND_FACE_FAN = 26, ALL_OUTPUTS = 31, MAINTENANCE = 16 };
enum : uint8_t { HEATER_ON = 2, HEATER_OFF = 3, HEATER_TEST_PATTERN = 7 };

constexpr uint32_t kTestSeconds = 180;
constexpr uint32_t kMaintenanceRuns = 57600;
constexpr uint8_t kTestRun = 1;
constexpr uint8_t kTestIdle = 2;
constexpr uint8_t kClimateTestRequested = 3;
constexpr uint8_t kClimateTestNone = 2;

bool ventilation_pattern(uint32_t pattern) { return pattern == 25 || pattern == 30 || pattern == 31; }
uint8_t base_state(uint32_t k) { return static_cast<uint8_t>(4 + 3 * k); }

}  // namespace

void CPeripheralTask::RunClimateEvaluators(uint8_t reset) {
  if (reset) {
    m_byClimateWarmUp = 0;
    EvaluateOverrides(1);
    EvaluateTestPatternVentilation(1);
    EvaluateTemperatureClimate(1);
    EvaluateHumidityClimate(1);
    EvaluateFanHeaterTest(1);
    EvaluateClimateTest(1);
    EvaluateMaintenanceHeater(1);
    m_dwStatus &= ~static_cast<uint32_t>(STATUS_OUTPUTS);
    return;
  }
  if (m_byClimateWarmUp < kClimateWarmUp) {
    ++m_byClimateWarmUp;
    return;
  }
  // In this order: each may depend on what the one before wrote.
  uint8_t mask = EvaluateOverrides(0);
  mask |= EvaluateTestPatternVentilation(0);
  mask |= EvaluateTemperatureClimate(0);
  mask |= EvaluateHumidityClimate(0);
  mask |= EvaluateFanHeaterTest(0);
  mask |= EvaluateClimateTest(0);
  mask |= EvaluateMaintenanceHeater(0);
  mask |= EvaluateSensorTests();
  for (uint32_t k = 0; k < CLIMATE_OUTPUTS; ++k) {
    const uint8_t b = base_state(k);
    bool on;
    if (m_abyClimateState[k] == b + 1)
      on = true;
    else if (m_abyClimateState[k] == b + 2)
      on = false;
    else
      on = (mask >> k) & 1;
    if (on)
      m_dwStatus |= kOutputStatusBit[k];
    else
      m_dwStatus &= ~kOutputStatusBit[k];
  }
}

uint8_t CPeripheralTask::EvaluateOverrides(uint8_t reset) {
  uint8_t forced_on = 0;
  const uint32_t now = reset ? 0 : pdb::global_time();
  for (uint32_t k = 0; k < CLIMATE_OUTPUTS; ++k) {
    const uint8_t b = base_state(k);
    uint8_t& s = m_abyClimateState[k];
    uint8_t& m = m_abyClimateMode[k];
    uint32_t& expiry = m_adwForcedExpiry[k];
    if (reset) {
      s = b;
      expiry = 0;
      continue;
    }
    if (s == b + 1) {
      if (m == MODE_AUTOMATIC)
        s = b;
      else if (m == MODE_FORCED_OFF)
        s = static_cast<uint8_t>(b + 2);
      if (now > expiry) {
        s = b;
        m = MODE_AUTOMATIC;
      }
    } else if (s == b + 2) {
      if (m == MODE_AUTOMATIC) {
        s = b;
      } else if (m == MODE_FORCED_ON) {
        s = static_cast<uint8_t>(b + 1);
        expiry = now + m_adwForcedDuration[k];
      }
      if (now > expiry) {
        s = b;
        m = MODE_AUTOMATIC;
      }
    } else if (m == MODE_FORCED_ON || m == MODE_FORCED_OFF) {
      s = static_cast<uint8_t>(m == MODE_FORCED_ON ? b + 1 : b + 2);
      expiry = now + m_adwForcedDuration[k];
    }
    if (s == b + 1) forced_on |= static_cast<uint8_t>(1u << k);
  }
  return forced_on;
}

uint8_t CPeripheralTask::EvaluateTestPatternVentilation(uint8_t reset) {
  evaluator_s& e = m_TestPattern;
  if (reset) {
    e = evaluator_s{};
    m_dwStatus &= ~static_cast<uint32_t>(STATUS_TEST_VENTILATION);
    return 0;
  }
  const bool pattern = ventilation_pattern(pdb::get_nv(nv::quorDisplayMode));
  if (e.state == IDLE && pattern) {
    e.state = ACTIVE;
    e.mask = ALL_OUTPUTS;
    m_dwStatus |= STATUS_TEST_VENTILATION;
  } else if (e.state == ACTIVE && !pattern) {
    e = evaluator_s{};
    m_dwStatus &= ~static_cast<uint32_t>(STATUS_TEST_VENTILATION);
  }
  return e.mask;
}

uint8_t CPeripheralTask::EvaluateTemperatureClimate(uint8_t reset) {
  evaluator_s& e = m_Temperature;
  if (reset) {
    e = evaluator_s{};
    return 0;
  }
  // On battery in the power-saving mode the fans wait for the second stage.
  const bool saving = pdb::get_v(vol::quorPowerModeStatus) == 2 && pdb::get_v(vol::powerSource) == 7;
  const int32_t on = saving ? module_temp_stage2_on() : module_temp_stage1_on();
  const int32_t off = saving ? module_temp_stage2_off() : module_temp_stage1_off();
  const bool modules = module_temp_stages_defined();
  // 0 is no reading.
  const int32_t max = pdb::v_signed8(vol::tempMaxSignHousing);
  const int32_t min = pdb::v_signed8(vol::tempMinSignHousing);
  switch (e.state) {
    case IDLE:
      if (modules ? modules_over_temperature(on) : (max != 0 && max >= on)) {
        e.state = COOLING;
        e.mask |= FANS;
      } else if (min != 0 && min < 5) {
        e.state = HEATING;
        e.mask |= FACE_FAN_HEATER;
      }
      break;
    case COOLING:
      if (modules ? !modules_over_temperature(off) : (max != 0 && max <= off)) e = evaluator_s{};
      break;
    case HEATING:
      if (min != 0 && min >= 8) e = evaluator_s{};
      break;
    default:
      e = evaluator_s{};
      break;
  }
  return e.mask;
}

uint8_t CPeripheralTask::EvaluateHumidityClimate(uint8_t reset) {
  evaluator_s& e = m_Humidity;
  if (reset) {
    e = evaluator_s{};
    return 0;
  }
  const uint32_t humidity = pdb::get_v(vol::humiditySignAverage);
  if (e.state == IDLE && humidity != 0 && humidity >= 95) {
    e.state = HEATING;
    e.mask |= FACE_FAN_HEATER;
  } else if (e.state == HEATING && humidity != 0 && humidity <= 90) {
    e = evaluator_s{};
  }
  return e.mask;
}

uint8_t CPeripheralTask::EvaluateFanHeaterTest(uint8_t reset) {
  evaluator_s& e = m_FanHeaterTest;
  uint32_t& expiry = m_dwFanHeaterTestExpiry;
  auto stop = [&] {
    pdb::set_nv(nv::nvdotFanTest, kTestIdle);
    pdb::set_nv(nv::nvdotHeaterTest, kTestIdle);
    e = evaluator_s{};
  };
  if (reset) {
    stop();
    expiry = 0;
    return 0;
  }
  const uint32_t now = pdb::global_time();
  const uint32_t fan = pdb::get_nv(nv::nvdotFanTest);
  const uint32_t heater = pdb::get_nv(nv::nvdotHeaterTest);
  auto start = [&](uint8_t state, uint8_t mask) {
    expiry = now + kTestSeconds;
    e.state = state;
    e.mask |= mask;
  };
  switch (e.state) {
    case IDLE:
      if (fan == kTestRun && heater == kTestRun) start(ACTIVE, ALL_OUTPUTS);
      if (fan == kTestRun) start(COOLING, FANS);
      if (heater == kTestRun) start(HEATING, HEATERS_AND_FACE_FAN);
      break;
    case COOLING:  // the fan test
      if (fan == kTestIdle) e = evaluator_s{};
      if (heater == kTestRun) start(ACTIVE, ALL_OUTPUTS);
      if (now > expiry) stop();
      break;
    case HEATING:  // the heater test
      if (heater == kTestIdle) e = evaluator_s{};
      if (fan == kTestRun) start(ACTIVE, ALL_OUTPUTS);
      if (now > expiry) stop();
      break;
    case ACTIVE:  // both
      if (fan == kTestIdle || heater == kTestIdle || now > expiry) stop();
      break;
    default:
      e = evaluator_s{};
      break;
  }
  return e.mask;
}

uint8_t CPeripheralTask::EvaluateClimateTest(uint8_t reset) {
  evaluator_s& e = m_ClimateTest;
  if (reset) {
    pdb::set_v(vol::climateCtrlTestActivation, kClimateTestNone);
    e = evaluator_s{};
    return 0;
  }
  uint32_t rows = pdb::get_v(vol::climateNumRows);
  if (rows > static_cast<uint32_t>(CPeripheral::kMaxClimateRows)) rows = CPeripheral::kMaxClimateRows;
  auto testable = [](uint32_t i) {
    const uint32_t kind = pdb::get_v(vol::climateType(i));
    return kind == 2 || kind == 3;
  };
  if (e.state == IDLE) {
    if (pdb::get_v(vol::climateCtrlTestActivation) != kClimateTestRequested) return e.mask;
    bool any = false;
    for (uint32_t i = 0; i < rows; ++i) {
      if (!testable(i)) continue;
      pdb::set_v(vol::climateTestActivation(i), kClimateTestRequested);
      any = true;
    }
    if (any) {
      e.state = TESTING;
      e.mask |= FANS;
    } else {
      pdb::set_v(vol::climateCtrlTestActivation, kClimateTestNone);
    }
  } else if (e.state == TESTING) {
    bool running = false;
    for (uint32_t i = 0; i < rows && !running; ++i)
      running = testable(i) && pdb::get_v(vol::climateTestActivation(i)) == kClimateTestRequested;
    if (!running) {
      pdb::set_v(vol::climateCtrlTestActivation, kClimateTestNone);
      e = evaluator_s{};
    }
  } else {
    e = evaluator_s{};
  }
  return e.mask;
}

uint8_t CPeripheralTask::EvaluateMaintenanceHeater(uint8_t reset) {
  evaluator_s& e = m_MaintenanceHeater;
  uint8_t& state = m_byMaintenanceHeaterState;
  if (reset) {
    m_dwMaintenanceCounter = 0;
    m_byMaintenanceWarmUp = 0;
    state = 1;
    e.mask = 0;
    return 0;
  }
  if (m_byMaintenanceWarmUp <= kClimateWarmUp) {
    ++m_byMaintenanceWarmUp;
    return e.mask;
  }
  const bool pattern = ventilation_pattern(pdb::get_nv(nv::quorDisplayMode));
  const int32_t max = pdb::v_signed8(vol::tempMaxSignHousing);
  const uint32_t request = pdb::get_v(vol::maintenanceHeaterRequest);
  if (pattern && (state == HEATER_ON || state == HEATER_OFF)) {
    m_dwMaintenanceCounter = 0;
    e.mask |= MAINTENANCE;
    state = HEATER_TEST_PATTERN;
    return e.mask;
  }
  switch (state) {
    case HEATER_ON:
      if (request == 2) {
        m_dwMaintenanceCounter = 0;
        e.mask &= ~MAINTENANCE;
        state = HEATER_OFF;
      } else if (max < 26) {
        // One request lasts a bounded number of runs.
        if (m_dwMaintenanceCounter) --m_dwMaintenanceCounter;
        if (m_dwMaintenanceCounter == 0) {
          pdb::set_v(vol::maintenanceHeaterRequest, 2);
          e.mask &= ~MAINTENANCE;
          state = HEATER_OFF;
        }
      } else {
        e.mask &= ~MAINTENANCE;
        state = HEATER_OFF;
      }
      break;
    case HEATER_OFF:
      if (request != 1) break;
      if (m_dwMaintenanceCounter) {
        if (--m_dwMaintenanceCounter == 0) {
          pdb::set_v(vol::maintenanceHeaterRequest, 2);
          break;
        }
      } else {
        m_dwMaintenanceCounter = kMaintenanceRuns;
      }
      if (max < 20) {
        e.mask |= MAINTENANCE;
        state = HEATER_ON;
      }
      break;
    case HEATER_TEST_PATTERN:
      if (!pattern) {
        e.mask &= ~MAINTENANCE;
        state = HEATER_OFF;
      }
      break;
    default:
      state = HEATER_OFF;
      e.mask = 0;
      break;
  }
  return e.mask;
}

uint8_t CPeripheralTask::EvaluateSensorTests() {
  const peripheral_device_ops& ops = peripheral_devices();
  if (ops.rpm_test_running)
    for (uint16_t type = 730; type <= 744; ++type)
      if (CPeripheral* p = GetPeripheral(type))
        if (ops.rpm_test_running(p)) return FANS;
  if (ops.flow_testing)
    for (uint16_t type = 710; type <= 718; ++type)
      if (CPeripheral* p = GetPeripheral(type))
        if (ops.flow_testing(p)) return FANS;
  return 0;
}
