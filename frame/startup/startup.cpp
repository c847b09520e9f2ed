#include "frame/startup/startup.h"

#include <new>

#include "board_io.h"
#include "comm/clients/trap_clients.h"
#include "comm/dhcp/dhcp_startup.h"
#include "comm/modem/modem_task.h"
#include "comm/network.h"
#include "comm/ntcip_endpoint.h"
#include "comm/ports.h"
#include "comm/web/web_pages.h"
#include "comm/ppp/ppp_module.h"
#include "comm/pmpp/pmpp_module.h"
#include "comm/sntp/sntp_client.h"
#include "comm/transfer/file_transfer.h"
#include "database/config_file.h"
#include "database/database.h"
#include "database/files/fx_shim.h"
#include "database/fs/fs_system.h"
#include "database/objects.h"
#include "display/activation/display_services.h"
#include "display/core/core.h"
#include "display/core/job_queue.h"
#include "display/driver/module_type.h"
#include "display/driver/q5_display_driver.h"
#include "display/font/font_loader.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/modbus/module_temp.h"
#include "display/render/render.h"
#include "display/schedule/schedule_task.h"
#include "display/task/display.h"
#include "display/task/display_links.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/can/can_db_driver.h"
#include "frame/can/can_q5_driver.h"
#include "frame/monitor/monitor_task.h"
#include "frame/monitor_link/micromonitor.h"
#include "frame/os/os.h"
#include "frame/startup/neighbours.h"
#include "frame/timer/timer_scheduler.h"
#include "frame/trace/trace.h"
#include "frame/watchdog/watchdog_task.h"
#include "ntcip/eventlog/event_logging.h"
#include "ntcip/mib/dms_power_temp.h"
#include "ntcip/snmp/agent/request.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "ntcip/snmp/trap/snmp_trap.h"
#include "panel/lcd_manager.h"
#include "ntcip/script/file_script.h"
#include "peripherals/devices/sensor_ops.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/power_supply_table.h"
#include "ntcip/snmp/trap/trap_buffer.h"
#include "peripherals/devices/ups_internal.h"

TX_BYTE_POOL g_thread_stack_pool;
TX_BYTE_POOL g_dynamic_database_pool;
uint8_t g_product_board_id = 0;
uint8_t g_reset_mode = 0;
void (*g_startup_configure)() = nullptr;

// The global objects, in their order of construction: the router comes
// first (it is constant-initialised), then every object that is given it.
namespace {
alignas(CDisplay) unsigned char g_display_storage[sizeof(CDisplay)];
}  // namespace
// Never destroyed: its faces stay registered with the display core and
// its frame engine, which the exit would take down first.
CDisplay& g_display = *new (g_display_storage) CDisplay(&g_post_office);
// Reads the kind of this start when its thread starts.
CScheduleTask g_schedule_task(&g_post_office, &g_reset_mode);
CMonitorTask g_monitor(&g_post_office);
CWatchdogTask g_watchdog(&g_post_office);
CDataBase g_database(&g_post_office);

namespace {

const char* const kBoardNames[] = {
    "KSR Product Board I",
    "KSR Product Board II",
    "KSR CAN Product Board",
    "KP Product Board",
    "KSR Product Board II with Datakey",
    "KM Product Board with MM Fiber",
    "KM Product Board with SM Fiber",
};

// The quad UART of the EPLD: four channels of eight registers.
constexpr uint32_t kQuadUart[4] = {0xF0500000, 0xF0500008, 0xF0500010, 0xF0500018};
constexpr uint32_t kEpldCanControl = 0xF0500028;

// What the agent's request processing asks of the display: its hook wants
// true for an activation that succeeded.
bool agent_activate_message() { return !display_activate_message(); }
const snmp_display_services kDisplayServices = {agent_activate_message, display_process_message_table,
                                                display_process_graphic_table, display_memory_management};

// The schedule task steps the event logger; the peripherals' traps go to the agent.
// The display modules' temperature table: the switching stages of the
// peripherals' temperature control and the database's bounds of the
// critical temperature.
void install_module_temperatures() {
  static peripheral_display_ops ops = {};
  ops.stage1_on = disp::module_temp_stage1_on;
  ops.stage2_on = disp::module_temp_stage2_on;
  ops.stages_defined = disp::module_temp_stages_defined;
  ops.warning_defined = disp::module_temp_warning_defined;
  peripheral_set_display_ops(&ops);
  g_module_critical_limits = [](int32_t* minimum, int32_t* maximum) {
    *minimum = disp::module_temp_critical_min();
    *maximum = disp::module_temp_critical_max();
  };
}

void install_event_logger() {
  schedule_services s = schedule_get_services();
  s.event_log_update = [] { g_event_logging.Update(); };
  s.event_log_clear_by_time = [](uint32_t c) { g_event_logging.ClearByTime(static_cast<uint8_t>(c)); };
  s.event_log_trim = [] { g_event_logging.TrimToLimits(); };
  schedule_set_services(s);
  snmp_install_peripheral_trap_sender();
}

// The agent asks whether a sensor type is fitted (the temperature extremes).
bool peripheral_present(uint16_t type_id) {
  return g_pPeripheralTask && g_pPeripheralTask->FindPeripheral(type_id, nullptr) != 0;
}

// Raised traps are queued by the endpoints' trap settings and leave through
// the trap clients, which follow the trap manager's address. The display
// hands the endpoints the station address and the module replies bound for
// the LAPTOP port.
void install_comm_links() {
  CNTCIP::InstallTrapPaths();
  schedule_services s = schedule_get_services();
  s.trap_clients_configure = trap_clients_configure;
  schedule_set_services(s);
  g_pfnSetHdlcAddress = [](uint8_t address) { CNTCIP::SetHdlcAddress(address); };
  g_module_link_services.laptop_put_byte = laptop_port_put_byte;
  dhcp_install_services();
  sntp_install_services();
  web_install_services();
  modem_install_services();
}

}  // namespace

TX_BYTE_POOL* thread_stack_pool() { return &g_thread_stack_pool; }

const char* product_board_name() {
  if (g_product_board_id < sizeof kBoardNames / sizeof kBoardNames[0]) return kBoardNames[g_product_board_id];
  return "Unknown Product Board";
}

void update_reset_type() {
  CDataBase& db = *g_pDataBase;
  uint32_t cause = db.GetValue(nv::dmsSWReset.offset, 1, db.mib_nv, 0);
  if (cause == 3) {
    g_reset_mode = 0;
  } else if (cause == 2) {
    g_reset_mode = 2;
  } else {
    g_reset_mode = 1;
    // No orderly reset came before this start: the watchdog ended the last.
    if (cause == 0) {
      uint32_t failures = db.GetValue(nv::watchdogFailureCount.offset, 4, db.mib_nv, 0);
      db.SetValue(nv::watchdogFailureCount.offset, 4, failures + 1, db.mib_nv, DB_NOTIFY);
    }
  }
  db.SetValue(nv::dmsSWReset.offset, 1, 0, db.mib_nv, DB_NOTIFY);
}

void startup_subscribe() {
  neighbour_tasks_subscribe_before_monitor();
  g_monitor.Subscribe();
  g_watchdog.Subscribe();
  g_database.Subscribe();
}

void tx_application_define(void* first_unused_memory) {
  uint8_t* cursor = static_cast<uint8_t*>(first_unused_memory);

  monitor_printf("Booting %s ver %s.%s.%s.%s%s built %s at %s....\n", "PX3907561", "1", "9", "4588", "42", "",
                 __DATE__, __TIME__);

  if (os_byte_pool_create(&g_thread_stack_pool, "thread stacks", cursor, THREAD_STACK_POOL_SIZE) != OS_SUCCESS)
    monitor_printf(" - tx_byte_pool_create: thread_stacks\t\t\t[FAIL]\n");
  cursor += THREAD_STACK_POOL_SIZE;
  if (os_byte_pool_create(&g_dynamic_database_pool, "dynamic database", cursor, DYNAMIC_DATABASE_POOL_SIZE) !=
      OS_SUCCESS)
    monitor_printf(" - tx_byte_pool_create: dynamic_database\t\t[FAIL]\n");
  cursor += DYNAMIC_DATABASE_POOL_SIZE;
  g_database.SetStringPool(&g_dynamic_database_pool);
  // A start before this one in the same process (tests) launched its threads:
  // until this start's do, the journal takes writes without its lock.
  g_database.m_byThreadsLaunched = 0;
  if (tx_event_flags_create(&g_database_flags, const_cast<char*>("database")) != TX_SUCCESS)
    monitor_printf(" - tx_event_flags_create: database\t\t\t[FAIL]\n");

  timer_scheduler_tx_rtos::Instance();

  g_product_board_id = platform_board_id();
  monitor_printf(" - Detecting Hardware\t\t\t\t\t%s\n\t%s\n", "[ OK ]", product_board_name());
  select_module_type_table(g_product_board_id);
  // The front panel joins the peripheral task as its peripheral of type 70.
  panel_install(g_product_board_id);
  render_install_hooks();
  install_module_temperatures();
  install_sensor_device_ops();
  micromonitor_set_steps({network_memory_areas, fx_media_hook_install, file_system_media_open});
  g_watchdog.SetConfigWriter(config_file_write_on_reset);
  platform_init_micromonitor(&cursor);
  job_queue_open();

  g_watchdog.Create(&g_thread_stack_pool);
  g_database.Create(&g_thread_stack_pool);
  g_display_core.Open();
  neighbour_tasks_create_middle(&g_thread_stack_pool);
  g_monitor.Create(&g_thread_stack_pool);
  // The telnet console serves on the main network once it is up.
  g_monitor.SetNetwork(&g_netx_ip, &g_netx_pool);
  neighbour_tasks_create_last(&g_thread_stack_pool);
  neighbour_tasks_link_console(&g_thread_stack_pool);

  for (uint32_t channel : kQuadUart) {
    reg_write8(channel + 3, reg_read8(channel + 3) & 0x7F);
    reg_write8(channel + 1, 0);
  }
  reg_write8(kEpldCanControl, reg_read8(kEpldCanControl) & 0x7F);

  g_q5_display_driver.PowerOn();
  CQ5DisplayDriver::JustProgramEPLD();
  // The sign's own driver; the CAN drivers follow its EPLD state and the
  // display's frame rate.
  g_display.SetSignDriver(&g_q5_display_driver);
  CCANQ5Driver::SetEpldReadyQuery(&CQ5DisplayDriver::EpldReadyQuery);
  can_db_driver::SetFrameRateQuery(&CQ5DisplayDriver::FrameRateQuery);
  display_fonts_install();
  g_database.Init();
  if (g_startup_configure) g_startup_configure();
  power_supply_table_init();
  // The internal UPS shuts down only once the power-loss traps are out.
  CUPS_Internal::SetTrapBufferEmptyQuery([] { return g_trap_buffer.IsEmpty(); });
  const module_type_row* module_row = g_display.ReadModuleColourDepth();
  {
    CDataBase& db = g_database;
    uint32_t height = db.GetValue(nv::vmsSignHeightPixels.offset, 2, db.mib_nv, 0);
    uint32_t width = db.GetValue(nv::vmsSignWidthPixels.offset, 2, db.mib_nv, 0);
    // The row of mib_nv.quorModuleID.
    g_display.RegisterFaces(static_cast<uint16_t>(height), static_cast<uint16_t>(width), module_row->colour_code);
  }
  snmp_set_display_services(&kDisplayServices);
  snmp_set_activation_check(display_check_activation);
  snmp_set_peripheral_presence(peripheral_present);
  ppp_module_install();  // the PPP endpoints' link, before they are created
  pmpp_module_install();  // and the PMPP endpoints' link
  InitializeNTCIPObjects(&cursor);
  install_comm_links();
  file_transfer_install();
  install_event_logger();
  g_event_logging.Update();
  platform_init_product(&cursor);
  CFile_Script::Load(&g_fs_media, g_pFileSystemDriver);
  update_reset_type();
  {
    CDataBase& db = g_database;
    uint32_t bits = db.GetValue(vol::vestrelStatusBits.offset, 4, db.mib_v, 0);
    db.SetValue(vol::vestrelStatusBits.offset, 4, bits | 1, db.mib_v, DB_NOTIFY);
    db.m_dwConfigChangeCount = 0;
    db.m_byThreadsLaunched = 1;
    monitor_printf("Launching Thread(s) at %d GMT, Please Wait...\n",
                   db.GetTimeValue(nv::globalTime.offset, 4, db.mib_nv, DB_GLOBAL_TIME));
  }
}
