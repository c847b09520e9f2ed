#include "peripherals/peripheral_task.h"

#include <cstdio>
#include <cstdlib>

#include "display/multi/multi_hooks.h"
#include "display/task/display.h"
#include "frame/bus/post_office.h"
#include "frame/console/vms_command.h"
#include "frame/os/os.h"
#include "frame/peripheral/peripheral.h"
#include "frame/trace/trace.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_can.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/peripheral_types.h"

CPeripheralTask* g_pPeripheralTask = nullptr;
uint8_t g_hcb_distribution_board = 0;
uint8_t g_reset_hold = 0;
uint8_t g_watchdog_cycle = 0;

constexpr uint32_t CPeripheralTask::kOutputStatusBit[];
constexpr uint16_t CPeripheralTask::kOutputType[];
constexpr uint8_t CPeripheralTask::kDetectBus[];

namespace {

const uint32_t kSubscriptions[] = {60, 61, 62, 63, 1,  2,  3,  4,   5,   23,  26,  29,  30,  79,  80,
                                   81, 83, 76, 78, 84, 85, 86, 87,  89,  90,  35,  36,  92,  93,  94,
                                   95, 108, 109, 111, 112, 117, 120, 121, 122, 125, 51, 52, 127, 128, 0};

// The attached-device error: peripherals of these classes in state 3 or 4,
// except the row's type.
struct error_row {
  uint8_t class_code;
  uint16_t excluded_type;
};
const error_row kErrorRows[] = {{38, 10}, {9, 0},  {10, 0}, {39, 0}, {3, 0},  {20, 0},
                                {8, 0},   {29, 0}, {30, 0}, {31, 0}, {33, 0}, {13, 0}};
constexpr uint32_t kAttachedDeviceError = 0x8;
constexpr uint8_t kStateAttachedError = 4;

// Port speeds the first port may hold.
const uint32_t kSpeeds[] = {2400, 4800, 9600, 19200, 28800, 38400, 57600, 115200};

// The CAN address of the built-in temperature sensor and of the product
// board's I/O.
constexpr uint32_t kControllerTempAddress = 0x42100;
const uint32_t kProductBoardIo[] = {0x42201, 0xF0, 0xF0, 0xFF, 0xFF, 1};
const uint32_t kSignModulesTemp[] = {0x42109, 1};
constexpr uint32_t kBuiltinModemPort = 3;
constexpr uint8_t kModuleClassWithDiagnostics = 4;

void gp_output_hook(uint32_t output, bool on) {
  if (!g_pPeripheralTask) return;
  if (on)
    g_pPeripheralTask->SetGPOutputRequest(output);
  else
    g_pPeripheralTask->ClearGPOutputRequest(output);
}

}  // namespace

CPeripheralTask::CPeripheralTask(post_office* router)
    : CTaskBase("Peripheral", STACK_SIZE, PRIORITY, 0, TIMER_FIRST, TIMER_PERIOD),
      m_Inbox(router, Events(), FLAG_LETTER, Thread()) {
  g_pPeripheralTask = this;
  peripheral_set_name_function(peripheral_name_of_type);
}

CPeripheralTask::~CPeripheralTask() {
  AbandonAutoDetect();
  if (g_pPeripheralTask == this) g_pPeripheralTask = nullptr;
}

void CPeripheralTask::ResetState() {
  // A second start in one process (the kernel beneath was started again):
  // what the last run left refers to the old kernel.
  if (m_Mediator.State() >= pl_mediator::STATE_OPEN) m_Mediator.Abandon();
  m_Factory.Clear();
  m_LoadCursor.Rewind();
  m_byBrightnessLimit = 100;
  m_byMaintenanceHeaterState = 1;
  AbandonAutoDetect();
  m_byAutoDetectState = DETECT_IDLE;
  g_over_temperature_state = OVERTEMP_NORMAL;
  m_byMissingSensors = 0;
  for (uint32_t k = 0; k < CLIMATE_OUTPUTS; ++k) {
    m_abyClimateMode[k] = MODE_AUTOMATIC;
    m_abyClimateState[k] = 0;
    m_adwForcedDuration[k] = 0;
    m_adwForcedExpiry[k] = 0;
  }
  m_dwStatus = 0;
  m_byClimateWarmUp = 0;
  m_TestPattern = m_Temperature = m_Humidity = m_FanHeaterTest = m_ClimateTest = m_MaintenanceHeater = evaluator_s{};
  m_dwFanHeaterTestExpiry = 0;
  m_dwMaintenanceCounter = 0;
  m_byMaintenanceWarmUp = 0;
  m_byPowerFlags = 0;
  m_byResetReason = 0;
  m_byResetPublished = 0;
  m_pFrontPanel = nullptr;
  m_uTickCount = 0;
  m_uLoopCount = 0;
}

int CPeripheralTask::Create(TX_BYTE_POOL* pool) {
  // The task being started is the one the peripherals and the other
  // subsystems reach.
  g_pPeripheralTask = this;
  ResetState();
  peripheral_set_name_function(peripheral_name_of_type);
  g_multi_hooks.gp_output_request = gp_output_hook;
  return CTaskBase::Create(pool, TaskEntry, TimerFunction);
}

int CPeripheralTask::Subscribe() { return m_Inbox.Subscribe(kSubscriptions); }

void CPeripheralTask::TaskEntry(ULONG) {
  if (g_pPeripheralTask)
    g_pPeripheralTask->Run("Peripheral Task", g_pPeripheralTask->m_Inbox.Router(), MSG_WDT_PERIPHERAL_START);
}

void CPeripheralTask::TimerFunction(ULONG) {
  if (g_pPeripheralTask) g_pPeripheralTask->TimerExpired();
}

// ---------------------------------------------------------------- start-up

void CPeripheralTask::InitPeripherals() {
  peripheral_register_factories(&m_Factory);
  m_Mediator.Open(&m_Factory, this);
  if (m_pCan) m_pCan->Register();
  std::srand(TickCount() + 1980);

  char text[PL_TEXT_MAX + 1];
  CreatePeripheral(PTYPE_CLOCK, nullptr);
  CreatePeripheral(PTYPE_LCD, nullptr);
  pl_record_text(text, sizeof text, &kControllerTempAddress, 1);
  CreatePeripheral(PTYPE_TEMP_CONTROLLER, text);
  CreatePeripheral(PTYPE_FILE_DIRECTORY, nullptr);
  CreatePeripheral(PTYPE_FILE_CONFIG, nullptr);
  CreatePeripheral(PTYPE_FILE_MONRC, nullptr);
  CreatePeripheral(PTYPE_FILE_MANAGER, nullptr);
  CreatePeripheral(PTYPE_FILE_SCRIPT, nullptr);
  CreatePeripheral(PTYPE_CAN_PRODUCT_BOARD, nullptr);

  char io[PL_TEXT_MAX + 1];
  pl_record_text(io, sizeof io, kProductBoardIo, sizeof kProductBoardIo / sizeof kProductBoardIo[0]);
  pl_record_text(text, sizeof text, &kBuiltinModemPort, 1);
  switch (m_byProductBoardId) {
    case 0:
    case 1:
    case 4:
      CreatePeripheral(PTYPE_INTERNAL_MODEM, text);
      CreatePeripheral(PTYPE_UPS_INTERNAL, nullptr);
      break;
    case 2:
      CreatePeripheral(PTYPE_INTERNAL_MODEM, text);
      CreatePeripheral(PTYPE_PRODUCT_BOARD_IO, io);
      CreatePeripheral(PTYPE_SIGN_POWER_MODE, nullptr);
      break;
    case 5:
    case 6:
      CreatePeripheral(PTYPE_PRODUCT_BOARD_IO, io);
      CreatePeripheral(PTYPE_SIGN_POWER_MODE, nullptr);
      break;
    default:
      break;
  }

  if (module_type_class(pdb::get_nv(nv::quorModuleID)) == kModuleClassWithDiagnostics) {
    pl_record_text(text, sizeof text, kSignModulesTemp, 2);
    CreatePeripheral(PTYPE_TEMP_SIGN_MODULES, text);
  }

  LoadPeripherals();
  for (uint32_t k = 0; k < CLIMATE_OUTPUTS; ++k) m_abyClimateState[k] = static_cast<uint8_t>(4 + 3 * k);
  m_dwStatus = (m_dwStatus & ~(0xFFu << STATUS_RUN_SHIFT)) | (static_cast<uint32_t>(RUN_STARTED) << STATUS_RUN_SHIFT);
}

int CPeripheralTask::CreatePeripheral(uint16_t type_id, const char* parameters) {
  if (!m_Mediator.Exists(type_id) && m_Mediator.Create(type_id, parameters)) return 1;
  monitor_printf("failed to create %s[%d]\n", peripheral_name_of_type(type_id), type_id);
  return 0;
}

int CPeripheralTask::LoadPeripherals() {
  if (!m_Mediator.UnloadConfigured() && m_Mediator.State() == pl_mediator::STATE_LOADED) {
    // The old set is still live; loading over it would only skip duplicates.
    monitor_printf("unable to unload peripherals\n");
    return 0;
  }
  m_Mediator.Load(&m_LoadCursor);
  uint32_t configured = 0;
  pl_mediator::cursor it = 0;
  CPeripheral* p = nullptr;
  for (int more = m_Mediator.FindFirst(PCLASS_ANY, &it, &p); more; more = m_Mediator.FindNext(PCLASS_ANY, &it, &p))
    if (p->m_wConfigSlot < PL_SLOT_BUILTIN) ++configured;
  pdb::set_v(vol::peripheralConfiguredCount, configured);
  return 1;
}

// ---------------------------------------------------------------- the cycle

int CPeripheralTask::Process() {
  // What the thread checks before each step.
  CheckResetRequest();
  CheckPortSpeed();

  CTaskBase::Process();
  CheckDatabaseFlags();
  HandleLetters();
  PollPeripherals();
  EvaluateTemperatures();
  EvaluateLightLevel();
  EvaluateHumidityPresence();
  return 0;
}

void CPeripheralTask::CheckResetRequest() {
  const uint32_t request = pdb::get_nv(nv::dmsSWReset);
  if ((request != 1 && request != 4) || g_reset_hold || m_byResetPublished) return;
  if (post_office* router = m_Inbox.Router()) router->Publish(request == 1 ? MSG_SYSTEM_RESET : MSG_DEFRAG_RESET);
  m_byResetPublished = 1;
}

void CPeripheralTask::CheckPortSpeed() {
  const uint32_t speed = pdb::get_nv(nv::rs232PortInSpeed(0));
  for (uint32_t s : kSpeeds)
    if (s == speed) return;
  pdb::set_nv(nv::rs232PortInSpeed(0), 9600);
}

void CPeripheralTask::CheckDatabaseFlags() {
  uint32_t actual = 0;
  if (os_event_get(&g_database_flags, DB_FLAG_PERIPHERAL_TABLE, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT) ==
      OS_SUCCESS)
    ReloadIfLocked();
  if (os_event_get(&g_database_flags, DB_FLAG_CONTROL_MODE, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT) == OS_SUCCESS) {
    CPeripheral* panel = GetPeripheral(PTYPE_LCD);
    if (panel && peripheral_panel().control_mode_changed) peripheral_panel().control_mode_changed(panel);
  }
}

void CPeripheralTask::ReloadIfLocked() {
  if (pdb::get_v(vol::peripheralTableLock) != TABLE_RELOAD) return;
  LoadPeripherals();
  RunClimateEvaluators(1);
}

void CPeripheralTask::HandleLetters() {
  ProcessMessages();
  AutoDetect(0);
}

void CPeripheralTask::PollPeripherals() {
  pl_mediator::cursor it = 0;
  CPeripheral* p = nullptr;
  for (int more = m_Mediator.FindFirst(PCLASS_ANY, &it, &p); more; more = m_Mediator.FindNext(PCLASS_ANY, &it, &p)) {
    const uint16_t type = p->m_wTypeId;
    const uint16_t slot = p->m_wConfigSlot;
    if (!p->PollCycle()) continue;
    // A poll may remove peripherals (the front panel's delete page); only a
    // peripheral that is still live reports.
    if (m_Mediator.Contains(p)) ReportError(type, slot, p->GetErrorCode());
  }
}

// ---------------------------------------------------------------- live list

CPeripheral* CPeripheralTask::GetPeripheral(uint16_t type_id) {
  CPeripheral* p = nullptr;
  m_Mediator.Find(type_id, &p);
  return p;
}

int CPeripheralTask::FindPeripheral(uint16_t type_id, CPeripheral** out) { return m_Mediator.Find(type_id, out); }

void CPeripheralTask::ForEachLive(uint8_t class_code, void (*fn)(CPeripheral*, void*), void* context) {
  pl_mediator::cursor it = 0;
  CPeripheral* p = nullptr;
  for (int more = m_Mediator.FindFirst(class_code, &it, &p); more; more = m_Mediator.FindNext(class_code, &it, &p))
    fn(p, context);
}

void CPeripheralTask::DisableAllPeripherals() {
  ForEachLive(PCLASS_ANY, [](CPeripheral* p, void*) {
    if (p->m_wConfigSlot < PL_SLOT_BUILTIN) p->SetEnabled(0);
  }, nullptr);
}

void CPeripheralTask::EnableAllPeripherals() {
  ForEachLive(PCLASS_ANY, [](CPeripheral* p, void*) {
    if (p->m_wConfigSlot < PL_SLOT_BUILTIN) p->SetEnabled(1);
  }, nullptr);
}

void CPeripheralTask::ShowPeripheralStatus(uint16_t type_id) {
  if (CPeripheral* p = GetPeripheral(type_id)) p->ShowStatus();
}

void CPeripheralTask::ReportError(uint16_t type_id, uint16_t slot, uint32_t error_code) {
  // Built-ins have no record; a slot beyond the table would write into
  // other objects.
  if (slot < PL_SLOTS) pdb::set_v(vol::peripheralLoadStatus(slot), error_code);
  UpdateDeviceErrorBit();
}

void CPeripheralTask::UpdateDeviceErrorBit() {
  uint32_t count = 0;
  pl_mediator::cursor it = 0;
  CPeripheral* p = nullptr;
  for (int more = m_Mediator.FindFirst(PCLASS_ANY, &it, &p); more; more = m_Mediator.FindNext(PCLASS_ANY, &it, &p)) {
    if (p->m_byState != PERIPHERAL_COMM_ERROR && p->m_byState != kStateAttachedError) continue;
    for (const error_row& row : kErrorRows)
      if (p->m_byClass == row.class_code && p->m_wTypeId != row.excluded_type) ++count;
  }
  const uint32_t status = pdb::get_v(vol::shortErrorStatus);
  if (count && !(status & kAttachedDeviceError))
    pdb::set_v(vol::shortErrorStatus, status | kAttachedDeviceError);
  else if (!count && (status & kAttachedDeviceError))
    pdb::set_v(vol::shortErrorStatus, status & ~kAttachedDeviceError);
}

void CPeripheralTask::SpreadSensorPolls(CPeripheral* p, uint32_t depth) {
  if (!p || depth >= 10 || p->m_wPollInterval == 0) return;
  static const uint8_t kClasses[] = {PCLASS_TEMPERATURE, PCLASS_LIGHT, PCLASS_HUMIDITY};
  for (uint8_t class_code : kClasses) {
    pl_mediator::cursor it = 0;
    CPeripheral* q = nullptr;
    for (int more = m_Mediator.FindFirst(class_code, &it, &q); more;
         more = m_Mediator.FindNext(class_code, &it, &q)) {
      if (q == p) continue;
      if ((p->GetCanAddress() & 0xF) != (q->GetCanAddress() & 0xF)) continue;
      if (p->m_wPollInterval != q->m_wPollInterval || p->m_wPollCountdown != q->m_wPollCountdown) continue;
      p->m_wPollCountdown = static_cast<uint16_t>(std::rand() % p->m_wPollInterval);
      SpreadSensorPolls(p, depth + 1);
      return;
    }
  }
}

// ---------------------------------------------------------------- GP outputs

void CPeripheralTask::SetGPOutputRequest(uint32_t n) {
  if (n >= 1 && n <= 16) m_dwStatus |= 1u << (n - 1);
}

void CPeripheralTask::ClearGPOutputRequest(uint32_t n) {
  if (n >= 1 && n <= 16) m_dwStatus &= ~(1u << (n - 1));
}

void CPeripheralTask::ClearAllGPOutputRequests() { m_dwStatus &= ~0x3FFu; }

// ---------------------------------------------------------------- console

namespace {

CPeripheral* console_find(uint32_t type_id) {
  return g_pPeripheralTask && type_id <= 0xFFFF ? g_pPeripheralTask->GetPeripheral(static_cast<uint16_t>(type_id))
                                                : nullptr;
}
int console_enable(uint32_t type_id) {
  return g_pPeripheralTask && type_id <= 0xFFFF ? g_pPeripheralTask->Mediator().Enable(static_cast<uint16_t>(type_id))
                                                : 0;
}
int console_disable(uint32_t type_id) {
  return g_pPeripheralTask && type_id <= 0xFFFF
             ? g_pPeripheralTask->Mediator().Disable(static_cast<uint16_t>(type_id))
             : 0;
}
int console_interval(uint32_t type_id, uint16_t interval, uint16_t* old_interval) {
  return g_pPeripheralTask && type_id <= 0xFFFF
             ? g_pPeripheralTask->Mediator().SetPollInterval(static_cast<uint16_t>(type_id), interval, old_interval)
             : 0;
}
void console_status(uint32_t type_id) {
  if (g_pPeripheralTask && type_id <= 0xFFFF) g_pPeripheralTask->ShowPeripheralStatus(static_cast<uint16_t>(type_id));
}
void console_lcd_suspend() {
  if (CPeripheral* panel = console_find(PTYPE_LCD))
    if (peripheral_panel().lcd_suspend) peripheral_panel().lcd_suspend(panel);
}
void console_lcd_resume() {
  if (CPeripheral* panel = console_find(PTYPE_LCD))
    if (peripheral_panel().lcd_resume) peripheral_panel().lcd_resume(panel);
}
int console_is_modem(CPeripheral* p) { return p && p->m_byClass == PCLASS_MODEM; }

const vms_peripheral_ops kConsoleOps = {console_find,   console_enable,      console_disable,
                                        console_interval, console_status,    console_lcd_suspend,
                                        console_lcd_resume, console_is_modem, nullptr,
                                        nullptr};

}  // namespace

const vms_peripheral_ops* peripheral_console_ops() { return &kConsoleOps; }
