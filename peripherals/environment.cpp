// The environment summaries at the end of every task step: the sign-level
// temperature and light objects from the sensors' readings, the climate
// evaluators, and the over-temperature protection of the display (half
// brightness when the sign gets hot, then a blank sign and a trap; undone
// as it cools down).
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "display/codes/msg_codes.h"
#include "frame/peripheral/peripheral.h"
#include "frame/peripheral/peripheral_trap.h"
#include "peripherals/devices/controller_link.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"

uint8_t g_over_temperature_state = OVERTEMP_NORMAL;

namespace {

// The sign housing's sensors, in the order they are read.
const uint16_t kSignSensors[] = {13, 14, 15, 160, 161, 162, 163, 164, 165};
constexpr uint16_t kCabinetSensor = 11;
constexpr uint16_t kControllerSensor = 10;
constexpr uint16_t kAmbientSensor = 12;

// The light sensors: the rear, front and ambient sensors, then the lines'.
struct light_row {
  uint16_t type;
  db_object object;
};
const light_row kLightSensors[] = {
    {3, vol::lightLevelRear},    {2, vol::lightLevelFront},   {1, vol::lightLevelAmbient},
    {150, vol::lightLevelFront}, {151, vol::lightLevelFront}, {152, vol::lightLevelFront},
    {153, vol::lightLevelFront}, {154, vol::lightLevelFront}, {155, vol::lightLevelFront},
    {156, vol::lightLevelFront},
};

// The fan and heater tests run the evaluators without a sign temperature;
// the climate states 2 and 2 say that neither fans nor heaters are fitted.
constexpr uint32_t kTestRunning = 1;
constexpr uint32_t kNotFitted = 2;

// quorSpecialFeatureSet: the over-temperature protection is switched off.
constexpr uint32_t kFeatureNoOverTemperature = 0x80;
// A message of this priority or more keeps the sign lit.
constexpr uint32_t kKeepLitPriority = 200;
// The stages below the shut-off temperature S: half brightness from S - 3,
// full brightness again at S - 6 (and back from blank at S - 3).
constexpr int32_t kWarningMargin = 3;
constexpr int32_t kCoolMargin = 6;

// The blank activation of the over-temperature shut-off.
constexpr uint16_t kBlankDuration = 65535;
constexpr uint8_t kBlankPriority = 255;
constexpr uint8_t kMemoryBlank = 7;
constexpr uint8_t kSourceMode = 1;
constexpr uint8_t kOriginOverTemperature = 5;

// The over-temperature traps.
constexpr uint32_t kTrapShutOff = 2;
constexpr uint32_t kTrapCooled = 8;
constexpr uint8_t kTrapInteger = 1;

// A live peripheral's temperature while it is valid.
bool valid_temperature(CPeripheral* p, int8_t* celsius) {
  if (!p || !p->IsValid() || !peripheral_devices().temperature) return false;
  return peripheral_devices().temperature(p, celsius);
}

void set_signed(db_object o, int32_t value) { pdb::set_v(o, static_cast<uint8_t>(value)); }

void send_over_temperature_trap(uint32_t specific) {
  // The integers go to the agent as u32 in host order.
  const int32_t hottest = pdb::v_signed8(vol::tempMaxSignHousing);
  const uint32_t temp_max[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 9, 6, 0};
  peripheral_trap_origin origin;
  peripheral_trap_binding bindings[3] = {};
  peripheral_trap_origin_bindings(bindings, &origin);
  peripheral_trap_bind(&bindings[2], temp_max, sizeof temp_max / sizeof temp_max[0], kTrapInteger, &hottest,
                       sizeof hottest);
  peripheral_send_trap(TRAP_ENTERPRISE_SPECIFIC, specific, 3, bindings);
}

}  // namespace

// ---------------------------------------------------------------- temperatures

void CPeripheralTask::EvaluateTemperatures() {
  int32_t lowest = 127, highest = -127;
  bool any = false;
  for (uint16_t type : kSignSensors) {
    int8_t t = 0;
    if (!valid_temperature(GetPeripheral(type), &t)) continue;
    any = true;
    if (t < lowest) lowest = t;
    if (t > highest) highest = t;
  }
  if (any) {
    set_signed(vol::tempMinSignHousing, lowest);
    set_signed(vol::tempMaxSignHousing, highest);
    RunClimateEvaluators(0);
    m_byMissingSensors &= static_cast<uint8_t>(~MISSING_SIGN_TEMPERATURE);
  } else {
    pdb::set_v(vol::tempMinSignHousing, 0);
    pdb::set_v(vol::tempMaxSignHousing, 0);
    if (pdb::get_nv(nv::nvdotFanTest) == kTestRunning || pdb::get_nv(nv::nvdotHeaterTest) == kTestRunning)
      RunClimateEvaluators(0);
    else if (pdb::get_v(vol::nvdotFanState) != kNotFitted || pdb::get_v(vol::nvdotHeaterState) != kNotFitted)
      m_byMissingSensors |= MISSING_SIGN_TEMPERATURE;
  }

  OverTemperatureProtection();

  int8_t t = 0;
  if (valid_temperature(GetPeripheral(kCabinetSensor), &t) ||
      valid_temperature(GetPeripheral(kControllerSensor), &t)) {
    set_signed(vol::tempMinCtrlCabinet, t);
    set_signed(vol::tempMaxCtrlCabinet, t);
  } else {
    pdb::set_v(vol::tempMinCtrlCabinet, 0);
    pdb::set_v(vol::tempMaxCtrlCabinet, 0);
  }

  // Without an ambient sensor the objects keep what they hold.
  if (CPeripheral* ambient = GetPeripheral(kAmbientSensor)) {
    if (!valid_temperature(ambient, &t)) t = 0;
    set_signed(vol::tempMinAmbient, t);
    set_signed(vol::tempMaxAmbient, t);
  }
}

// ---------------------------------------------------------------- light

void CPeripheralTask::EvaluateLightLevel() {
  uint32_t highest = 0;
  for (const light_row& row : kLightSensors) {
    CPeripheral* sensor = GetPeripheral(row.type);
    uint16_t level = 0;
    if (!sensor || !sensor->IsValid() || !peripheral_devices().light_output_level ||
        !peripheral_devices().light_output_level(sensor, &level))
      continue;
    // The one-byte objects saturate: a bright sky must not read as dark.
    pdb::set_v(row.object, level > 0xFF ? 0xFF : level);
    if (level > highest) highest = level;
  }
  CPeripheral* primary = GetPeripheral(controller_comm::TYPE_ID);
  if (primary && primary->m_byClass == controller_comm::CLASS_CODE) {
    static_cast<controller_comm*>(primary)->SetLightLevel(static_cast<uint16_t>(highest));
  } else if (CPeripheral* secondary = GetPeripheral(ctrl_secondary::TYPE_ID)) {
    if (secondary->m_byClass == ctrl_secondary::CLASS_CODE && secondary->IsValid())
      highest = static_cast<ctrl_secondary*>(secondary)->GetLightLevel();
  }
  pdb::set_v(vol::dmsIllumPhotocellLevelStatus, highest);
}

// ---------------------------------------------------------------- humidity

void CPeripheralTask::EvaluateHumidityPresence() {
  uint8_t bits = m_byMissingSensors & static_cast<uint8_t>(~(MISSING_HUMIDITY_AMBIENT | MISSING_HUMIDITY_SIGN));
  if (!m_Mediator.Exists(PTYPE_HUMIDITY_AMBIENT)) bits |= MISSING_HUMIDITY_AMBIENT;
  if (!m_Mediator.Exists(PTYPE_HUMIDITY_SIGN)) bits |= MISSING_HUMIDITY_SIGN;
  m_byMissingSensors = bits;
  RunClimateEvaluators(0);
}

// ---------------------------------------------------------------- over-temperature

void CPeripheralTask::OverTemperatureProtection() {
  const int32_t shut_off = static_cast<int32_t>(pdb::get_nv(nv::quorShutOffTemp));
  if (shut_off == 0 || (pdb::get_nv(nv::quorSpecialFeatureSet) & kFeatureNoOverTemperature)) return;

  const int32_t hottest = pdb::v_signed8(vol::tempMaxSignHousing);
  const bool modules = module_temp_warning_defined();
  auto hot = [&](int32_t limit) { return modules ? modules_over_temperature(limit) : hottest >= limit; };
  auto cool = [&](int32_t limit) { return modules ? !modules_over_temperature(limit) : hottest <= limit; };
  const bool keep_lit = pdb::get_nv(nv::currentBufferRunTimePriority) >= kKeepLitPriority;

  auto set_limit = [this](uint8_t percent) {
    m_byBrightnessLimit = percent;
    display_update_brightness();
  };
  auto back_to_normal = [&] {
    set_limit(BRIGHTNESS_FULL);
    g_over_temperature_state = OVERTEMP_NORMAL;
  };

  switch (g_over_temperature_state) {
    case OVERTEMP_WARNING:
      if (keep_lit) {
        back_to_normal();
      } else if (hot(shut_off)) {
        send_over_temperature_trap(kTrapShutOff);
        set_limit(BRIGHTNESS_OFF);
        SetOverTemperatureActivation();
        g_over_temperature_state = OVERTEMP_SHUT_OFF;
      } else if (cool(shut_off - kCoolMargin)) {
        back_to_normal();
      }
      break;
    case OVERTEMP_SHUT_OFF:
      if (keep_lit) {
        ClearOverTemperatureActivation();
        back_to_normal();
      } else if (cool(shut_off - kWarningMargin)) {
        send_over_temperature_trap(kTrapCooled);
        ClearOverTemperatureActivation();
        set_limit(BRIGHTNESS_HALF);
        g_over_temperature_state = OVERTEMP_WARNING;
      }
      break;
    default:
      g_over_temperature_state = OVERTEMP_NORMAL;
      if (keep_lit) break;
      if (hot(shut_off - kWarningMargin)) {
        set_limit(BRIGHTNESS_HALF);
        g_over_temperature_state = OVERTEMP_WARNING;
      }
      break;
  }
}

void CPeripheralTask::SetOverTemperatureActivation() {
  CMsgActivationCode code;
  code.m_wDuration = kBlankDuration;
  code.m_byPriority = kBlankPriority;
  code.m_byMemoryType = kMemoryBlank;
  code.m_wMessageNumber = 1;
  code.m_wCRC = 0;
  code.Encode();
  pdb::set_v(vol::activationSlotSourceMode(ACTIVATION_SLOT), kSourceMode);
  pdb::set_v(vol::activationSlotReason(ACTIVATION_SLOT), kOriginOverTemperature);
  if (g_pDataBase)
    g_pDataBase->SetString(vol::activationSlotCode(ACTIVATION_SLOT).offset, 4, code.m_encoded,
                           MSG_ACTIVATION_CODE_SIZE, g_pDataBase->mib_v, DB_NOTIFY);
}

void CPeripheralTask::ClearOverTemperatureActivation() {
  const uint8_t none[MSG_ACTIVATION_CODE_SIZE] = {};
  if (g_pDataBase)
    g_pDataBase->SetString(vol::activationSlotCode(ACTIVATION_SLOT).offset, 4, none, MSG_ACTIVATION_CODE_SIZE,
                           g_pDataBase->mib_v, DB_NOTIFY);
}
