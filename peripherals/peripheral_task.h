// The "Peripheral" task: the one thread that owns every field device. At
// its start it builds the CAN buses and creates the built-in peripherals and
// those configured in the database; then every task cycle (50 ticks) it
// handles its letters, reloads the configured peripherals when the records
// changed, polls each peripheral at its own interval, reports each one's
// error state and evaluates the sign's environment and climate outputs.
//
// Other threads reach the live peripherals only through the mediator's
// locked operations (Find, Enable, Disable, SetPollInterval, Remove); the
// general-purpose output requests and the climate override slots are plain
// fields that the display's activation code and the front panel write.
#pragma once

#include <cstdint>

#include "frame/bus/subscriber.h"
#include "frame/task/task_base.h"
#include "peripherals/pl_factory.h"
#include "peripherals/pl_iterator.h"
#include "peripherals/pl_mediator.h"

class CPeripheral;
class can_detect;
struct peripheral_can;

// Set by the module-bus diagnostics when they identify the HCB distribution
// board.
extern uint8_t g_hcb_distribution_board;
// Held non-zero by a part of the system that holds back reset requests.
extern uint8_t g_reset_hold;
// Set by the internal UPS, cleared by MSG_WATCHDOG_CYCLE.
extern uint8_t g_watchdog_cycle;
// The over-temperature protection: 0 normal, 1 warning (half brightness),
// 2 shut off (blanked); 0 at every start.
enum : uint8_t { OVERTEMP_NORMAL = 0, OVERTEMP_WARNING = 1, OVERTEMP_SHUT_OFF = 2 };
extern uint8_t g_over_temperature_state;

class CPeripheralTask : public CTaskBase {
 public:
  static constexpr uint32_t STACK_SIZE = 6144;
  static constexpr uint32_t PRIORITY = 2;
  static constexpr uint32_t TIMER_FIRST = 10;
  static constexpr uint32_t TIMER_PERIOD = 50;

  enum : uint8_t { RUN_STARTED = 1, RUN_SHUTDOWN = 2 };
  // Status word.
  enum : uint32_t {
    STATUS_RUN_SHIFT = 24,
    STATUS_OUTPUTS = 0x00EC0000,           // bits 23, 22, 21, 19, 18
    STATUS_TEST_VENTILATION = 0x00100000,  // bit 20
    STATUS_SHUTDOWN = 0x00020000,          // bit 17
    STATUS_GP_OUTPUTS = 0x0000FFFF,
  };
  // Bits of the "database" event flags the step takes.
  enum : uint32_t { DB_FLAG_PERIPHERAL_TABLE = 0x1000000, DB_FLAG_CONTROL_MODE = 0x1000 };
  enum : uint8_t { TABLE_RELOAD = 2 };
  // Power flags.
  enum : uint8_t { POWER_PRIMARY_LOST = 0x1, POWER_ON_BATTERY = 0x2 };
  // Auto-detection states.
  enum : uint8_t { DETECT_IDLE = 1, DETECT_START = 2, DETECT_SETTLE = 3, DETECT_COLLECT = 4 };
  // The sensor buses auto-detection asks, in their order.
  static constexpr uint32_t DETECT_BUSES = 3;
  static constexpr uint8_t kDetectBus[DETECT_BUSES] = {1, 2, 4};
  // Missing-sensor bits.
  enum : uint8_t { MISSING_SIGN_TEMPERATURE = 0x1, MISSING_HUMIDITY_AMBIENT = 0x2, MISSING_HUMIDITY_SIGN = 0x4 };
  // Brightness limits of the over-temperature protection, percent.
  enum : uint8_t { BRIGHTNESS_FULL = 100, BRIGHTNESS_HALF = 50, BRIGHTNESS_OFF = 0 };
  // The activation slot the task writes (the over-temperature blank).
  static constexpr uint32_t ACTIVATION_SLOT = 2;

  // The climate outputs k = 0..4: intake fan, face fan, pixel fan, heater,
  // maintenance heater.
  static constexpr uint32_t CLIMATE_OUTPUTS = 5;
  enum : uint8_t { MODE_AUTOMATIC = 1, MODE_FORCED_ON = 2, MODE_FORCED_OFF = 3 };
  static constexpr uint32_t kOutputStatusBit[CLIMATE_OUTPUTS] = {0x800000, 0x400000, 0x200000, 0x080000, 0x040000};
  static constexpr uint16_t kOutputType[CLIMATE_OUTPUTS] = {510, 526, 518, 534, 542};
  static constexpr uint8_t kClimateWarmUp = 24;

  explicit CPeripheralTask(post_office* router);
  ~CPeripheralTask() override;

  // Thread (started on the first timer expiry), event flags and timer. Every
  // earlier state of the object is forgotten first.
  int Create(TX_BYTE_POOL* pool);
  int Subscribe();
  // One task cycle: the thread's per-cycle checks, then the step.
  int Process() override;

  void SetProductBoardId(uint8_t id) { m_byProductBoardId = id; }
  // The CAN stack the task opens at start-up (null: none).
  void SetCan(peripheral_can* can) { m_pCan = can; }
  peripheral_can* Can() const { return m_pCan; }

  // --- start-up and the step
  void InitPeripherals();
  int CreatePeripheral(uint16_t type_id, const char* parameters);
  int LoadPeripherals();
  void CheckDatabaseFlags();
  void ReloadIfLocked();
  void HandleLetters();
  void ProcessMessages();
  void PollPeripherals();
  // The environment summaries (temperatures, light level, humidity), run
  // in this order after the polls.
  void EvaluateTemperatures();
  void EvaluateLightLevel();
  void EvaluateHumidityPresence();
  // Half brightness, then a blank sign and a trap, while the sign is too
  // hot; both undone as it cools down.
  void OverTemperatureProtection();
  void SetOverTemperatureActivation();
  void ClearOverTemperatureActivation();
  // One step of auto-detection (once a cycle); start asks for a new
  // detection while none runs.
  void AutoDetect(uint8_t start);
  // The records for the boards one detector found.
  void AddDetectedPeripherals(can_detect* detector, uint8_t bus_number);
  // Destroys the detectors of a run in progress (before the CAN stack they
  // are registered with goes away); the run ends.
  void AbandonAutoDetect();

  // --- the live peripherals
  CPeripheral* GetPeripheral(uint16_t type_id);
  int FindPeripheral(uint16_t type_id, CPeripheral** out);
  CPeripheral* FindById(uint16_t type_id) { return GetPeripheral(type_id); }
  void DisableAllPeripherals();
  void EnableAllPeripherals();
  void ShowPeripheralStatus(uint16_t type_id);
  uint8_t HasHCBDistributionBoard() const { return g_hcb_distribution_board; }
  void ReportError(uint16_t type_id, uint16_t slot, uint32_t error_code);
  void UpdateDeviceErrorBit();
  void SpreadSensorPolls(CPeripheral* p, uint32_t depth);

  // --- general-purpose outputs n = 1..16 (callers use 1..10)
  void SetGPOutputRequest(uint32_t n);
  void ClearGPOutputRequest(uint32_t n);
  void ClearAllGPOutputRequests();
  uint16_t GPOutputMask() const { return static_cast<uint16_t>(m_dwStatus & STATUS_GP_OUTPUTS); }

  // --- climate outputs
  void RunClimateEvaluators(uint8_t reset);
  uint8_t EvaluateOverrides(uint8_t reset);
  uint8_t EvaluateTestPatternVentilation(uint8_t reset);
  uint8_t EvaluateTemperatureClimate(uint8_t reset);
  uint8_t EvaluateHumidityClimate(uint8_t reset);
  uint8_t EvaluateFanHeaterTest(uint8_t reset);
  uint8_t EvaluateClimateTest(uint8_t reset);
  uint8_t EvaluateMaintenanceHeater(uint8_t reset);
  uint8_t EvaluateSensorTests();
  bool OutputOn(uint32_t k) const { return k < CLIMATE_OUTPUTS && (m_dwStatus & kOutputStatusBit[k]) != 0; }

  // --- state
  pl_mediator& Mediator() { return m_Mediator; }
  pl_factory& Factory() { return m_Factory; }
  subscriber& Inbox() { return m_Inbox; }
  uint32_t StatusWord() const { return m_dwStatus; }
  uint8_t RunState() const { return static_cast<uint8_t>(m_dwStatus >> STATUS_RUN_SHIFT); }
  uint8_t PowerFlags() const { return m_byPowerFlags; }
  uint8_t ResetReason() const { return m_byResetReason; }
  uint8_t AutoDetectState() const { return m_byAutoDetectState; }
  CPeripheral* FrontPanel() const { return m_pFrontPanel; }

  // Percent of the normal brightness the display may use.
  uint8_t m_byBrightnessLimit = 100;
  uint8_t m_byMaintenanceHeaterState = 1;
  uint8_t m_byMissingSensors = 0;
  // Climate overrides, written by the front panel's fan and heater test
  // page: mode M[k] and duration D[k] in seconds.
  uint8_t m_abyClimateMode[CLIMATE_OUTPUTS] = {1, 1, 1, 1, 1};
  uint8_t m_abyClimateState[CLIMATE_OUTPUTS] = {};
  uint32_t m_adwForcedDuration[CLIMATE_OUTPUTS] = {};
  uint32_t m_adwForcedExpiry[CLIMATE_OUTPUTS] = {};
  uint8_t m_byClimateWarmUp = 0;

  // One evaluator's own state and proposed outputs.
  struct evaluator_s {
    uint8_t state = 3;
    uint8_t mask = 0;
  };
  evaluator_s m_TestPattern;
  evaluator_s m_Temperature;
  evaluator_s m_Humidity;
  evaluator_s m_FanHeaterTest;
  uint32_t m_dwFanHeaterTestExpiry = 0;
  evaluator_s m_ClimateTest;
  evaluator_s m_MaintenanceHeater;
  uint32_t m_dwMaintenanceCounter = 0;
  uint8_t m_byMaintenanceWarmUp = 0;

 private:
  static void TaskEntry(ULONG);
  static void TimerFunction(ULONG);
  void OnStart() override { InitPeripherals(); }
  void ResetState();
  void CheckResetRequest();
  void CheckPortSpeed();
  void HandleLetter(letter_s* letter, bool* power_changed);
  void ShowStopText();
  void ControlledReset(letter_s* letter);
  void ForEachLive(uint8_t class_code, void (*fn)(CPeripheral*, void*), void* context);

  subscriber m_Inbox;
  uint8_t m_byAutoDetectState = DETECT_IDLE;
  uint32_t m_dwStatus = 0;
  pl_mediator m_Mediator;
  pl_factory m_Factory;
  pl_iterator m_LoadCursor;
  peripheral_can* m_pCan = nullptr;
  uint8_t m_byProductBoardId = 0;
  uint8_t m_byPowerFlags = 0;
  uint8_t m_byResetReason = 0;
  uint8_t m_byResetPublished = 0;
  CPeripheral* m_pFrontPanel = nullptr;
  // The detectors of a run, one per sensor bus; null when idle.
  can_detect* m_apDetectors[DETECT_BUSES] = {};
};

// The peripheral task, while one exists.
extern CPeripheralTask* g_pPeripheralTask;

// The console's view of the task's list ("vms debug peripheral").
struct vms_peripheral_ops;
const vms_peripheral_ops* peripheral_console_ops();
