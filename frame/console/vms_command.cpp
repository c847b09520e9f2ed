// The "vms" console command.
#include "frame/console/vms_command.h"

#include <cstdlib>
#include <cstring>

#include "database/database.h"
#include "frame/board/interrupt.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/can/can_bus.h"
#include "frame/can/can_core.h"
#include "frame/can/can_db_driver.h"
#include "frame/can/can_q5_driver.h"
#include "frame/monitor/monitor_task.h"
#include "frame/monitor_link/micromonitor.h"
#include "frame/os/os.h"
#include "frame/peripheral/peripheral.h"
#include "frame/trace/trace.h"
#include "frame/util/strings.h"
#include "frame/watchdog/watchdog_task.h"

namespace {

vms_links g_links;

const char kDebug[] = "vms -d";

// The tasks the console can ask for a stack report or suspend.
struct thread_row {
  const char* name;
  uint32_t stack_report;
  uint32_t suspend;
  uint32_t resume;  // not offered by the console
};
const thread_row kThreads[] = {
    {"watchdog", 75, 73, 74}, {"display", 47, 45, 46},     {"schedule", 56, 54, 55}, {"monitor", 40, 38, 39},
    {"peripheral", 63, 61, 62}, {"comm", 100, 98, 99}, {"database", 71, 69, 70},
};

constexpr uint32_t kFrontPanelType = 70;
constexpr uint32_t kLastPeripheralId = 0x35F;
const char* const kEthernetOps[] = {"tcp", "udp", "icmp", "pool", "reset", "dhcp", "arp"};

bool Is(const char* a, const char* b) { return a && std::strcmp(a, b) == 0; }

uint32_t Decimal(const char* text) { return static_cast<uint32_t>(std::strtoul(text, nullptr, 10)); }

const char* Arg(int argc, char** argv, int i) { return i < argc ? argv[i] : nullptr; }

void Help() {
  for (const char* const* line = g_vms_help; *line; ++line) monitor_printf("%s\n", *line);
}

uint32_t Loops(CTaskBase* task) { return task ? task->LoopCount() : 0; }

void PoolUsage(const char* label, TX_BYTE_POOL* pool) {
  const char* name = nullptr;
  uint32_t total = 0, available = 0, fragments = 0;
  if (pool && os_byte_pool_info(pool, &name, &total, &available, &fragments) == OS_SUCCESS)
    monitor_printf("-%s usage:0x%X of 0x%X\n", label, total - available, total);
  else
    monitor_printf("-%s not available\n", label);
}

void Status() {
  uptime_s up{};
  if (g_pMonitor) g_pMonitor->GetUptime(&up);
  monitor_printf("-Uptime(y/d/h/m/s) = %d/%d/%02d/%02d/%02d\n", up.years, up.days, up.hours, up.minutes,
                 up.seconds);
  monitor_printf("-Display:%d, Peripheral:%d, Schedule:%d, Comm:%d\n", Loops(g_links.display),
                 Loops(g_links.peripheral), Loops(g_links.schedule), Loops(g_links.comm));
  if (g_links.display_late_steps)
    monitor_printf("\t Display Timer Reschedule Events:%d\n", g_links.display_late_steps());
  else
    monitor_printf("\t Display Timer Reschedule Events: not available\n");
  monitor_printf("-Interrupts RX:%d, Ether:%d\n", g_interrupt_count, g_ethernet_interrupt_count);
  PoolUsage("byte_pool_0", g_links.thread_stacks);
  PoolUsage("dyn db", g_pDataBase ? g_pDataBase->StringPool() : nullptr);
  if (can_driver* q5 = g_pCANQ5Driver)
    monitor_printf("-Q5 CAN\tRX:%d\tTX:%d\tErr:%d\n", q5->m_packetsReceived, q5->m_packetsSent, q5->m_streamErrors);
  else
    monitor_printf("-Q5 CAN\tnot available\n");
  if (can_db_driver* db = g_links.db_can) {
    monitor_printf("-DB CAN\tRX:%d\tTX:%d\tErr:%d\tDropped:%d\n", db->m_packetsReceived, db->m_packetsSent,
                   db->m_streamErrors, db->m_bytesLost);
    monitor_printf("\treprogram attempts:%d\n", db->m_configurationRequests);
  } else {
    monitor_printf("-DB CAN\tnot available\n");
  }
  if (can_driver* ltp = g_links.ltp_can)
    monitor_printf("-LTP CAN\tRX:%d\tTX:%d\tErr:%d\n", ltp->m_packetsReceived, ltp->m_packetsSent,
                   ltp->m_streamErrors);
  else
    monitor_printf("-LTP CAN\tnot available\n");
}

void Trace(const char* level) {
  if (!level) {
    Help();
    return;
  }
  if (!g_pMonitor) {
    monitor_printf("trace not available\n");
    return;
  }
  uint32_t n = Decimal(level);
  if (g_pMonitor->SetPrintLevel(n)) monitor_printf("new level:%d\n", n);
}

void DebugHelp() {
  monitor_printf("%s\n", "commands");
  monitor_printf("%s spi\n", kDebug);
  monitor_printf("%s module X\t\t(X=face number)\n", kDebug);
  monitor_printf("%s modem X\t\t(X=id)\n", kDebug);
  monitor_printf("%s thread\n", kDebug);
  monitor_printf("%s %s\n", kDebug, "peripheral");
  monitor_printf("%s defrag\n", kDebug);
  monitor_printf("%s %s\n", kDebug, "ethernet");
}

void Spi() {
  monitor_printf("reset spi\n");
  can_bus* bus = g_links.can_hub ? g_links.can_hub->find_bus("CAN Q5 Driver") : nullptr;
  if (bus)
    bus->service();
  else
    monitor_printf("CAN Q5 Driver not available\n");
}

void Module(const char* face) {
  if (!face) {
    DebugHelp();
    return;
  }
  letter_s letter(MSG_MODULE_INFO);
  letter.kind = LETTER_KIND_BYTE;
  letter.payload[0] = hex_to_uint(face) & 0xFF;
  g_post_office.Deliver(&letter);
}

void Modem(const char* id, const char* text) {
  const vms_peripheral_ops* ops = g_links.peripherals;
  CPeripheral* modem = nullptr;
  if (id && text && ops && ops->find && ops->is_modem) {
    modem = ops->find(hex_to_uint(id));
    if (modem && !ops->is_modem(modem)) modem = nullptr;
  }
  if (!modem) {
    monitor_printf("%s modem X AT    (X=id)\n", kDebug);
    monitor_printf("%s modem X +++   (X=id)\n", kDebug);
    return;
  }
  if (Is(text, "+++")) {
    monitor_printf("try enter cmd mode\n");
    if (ops->modem_escape) ops->modem_escape(modem);
    return;
  }
  monitor_printf("send %s to %s\n", text, modem->TypeName());
  if (ops->modem_send) ops->modem_send(modem, text);
}

void Thread(const char* action, const char* name) {
  for (const thread_row& row : kThreads) {
    if (!name || stricmp(name, row.name) != 0) continue;
    if (Is(action, "stack")) {
      g_post_office.Publish(row.stack_report);
      return;
    }
    if (Is(action, "suspend")) {
      g_post_office.Publish(row.suspend);
      return;
    }
    break;
  }
  monitor_printf("%s thread stack X    (X=name)\n", kDebug);
  monitor_printf("%s thread suspend X  (X=name)\n", kDebug);
}

void PeripheralHelp() {
  monitor_printf("%s\n", "commands");
  monitor_printf("%s %s enable X   (X=id)\n", kDebug, "peripheral");
  monitor_printf("%s %s disable X  (X=id)\n", kDebug, "peripheral");
  monitor_printf("%s %s freq X Y   (X=id,Y=new freq)\n", kDebug, "peripheral");
  monitor_printf("%s %s stat X     (X=id)\n", kDebug, "peripheral");
}

void Peripheral(const char* action, const char* id_text, const char* value_text) {
  const vms_peripheral_ops* ops = g_links.peripherals;
  if (!ops || !ops->find) {
    monitor_printf("peripherals not available\n");
    PeripheralHelp();
    return;
  }
  const uint32_t id = hex_to_uint(id_text);
  if (id_text && Is(action, "enable") && ops->enable) {
    if (ops->enable(id))
      if (CPeripheral* p = ops->find(id)) monitor_printf("Enabled:%s\n", p->TypeName());
    return;
  }
  if (id_text && Is(action, "disable") && ops->disable) {
    if (ops->disable(id))
      if (CPeripheral* p = ops->find(id)) monitor_printf("Disabled:%s\n", p->TypeName());
    return;
  }
  if (id_text && value_text && Is(action, "freq") && ops->set_poll_interval) {
    uint16_t old_interval = 0;
    const uint16_t interval = static_cast<uint16_t>(hex_to_uint(value_text));
    if (ops->set_poll_interval(id, interval, &old_interval))
      if (CPeripheral* p = ops->find(id)) monitor_printf("%s old:%d, new:%d\n", p->TypeName(), old_interval, interval);
    return;
  }
  if (id_text && Is(action, "stat") && ops->show_status) {
    ops->show_status(id);
    return;
  }
  // The whole list, with the panel quiet and the watchdog off while it
  // prints.
  const bool panel = ops->find(kFrontPanelType) != nullptr;
  if (panel && ops->lcd_suspend) ops->lcd_suspend();
  if (g_pWatchdog) g_pWatchdog->Disable();
  monitor_printf("%ss:\n", "peripheral");
  for (uint32_t i = 0; i <= kLastPeripheralId; ++i) {
    CPeripheral* p = ops->find(i);
    if (!p) continue;
    const char* state = "";
    p->GetStateText(&state);
    monitor_printf("-%s(0x%04X) state=%s \n", p->TypeName(), i, state);
  }
  if (g_pWatchdog) g_pWatchdog->Enable();
  if (panel && ops->lcd_resume) ops->lcd_resume();
  PeripheralHelp();
}

void PoolLine(const char* label, NX_PACKET_POOL* pool) {
  if (!pool) {
    monitor_printf("%s: not available\n", label);
    return;
  }
  // The stack keeps no count of suspended or invalid requests: 0.
  monitor_printf("%s: %d of %d Free, Req:%d, Susp:%d, Invalid:%d\n", label, pool->nx_packet_pool_available,
                 pool->nx_packet_pool_total, pool->nx_packet_pool_empty_requests, 0, 0);
}

void Statistics(const char* op) {
  const NX_IP* ip = g_links.main_ip;
  if (!ip) {
    monitor_printf("%s statistics not available\n", op);
    return;
  }
  // TCP sees no malformed segments or drops of its own: the host's stack
  // or the link engine has taken them before the sockets do.
  if (Is(op, "tcp"))
    monitor_printf("%s TX:%d, RX:%d, Invalid:%d, Dropped:%d\n", op, ip->nx_ip_tcp_packets_sent,
                   ip->nx_ip_tcp_packets_received, 0, 0);
  else if (Is(op, "udp"))
    monitor_printf("%s TX:%d, RX:%d, Invalid:%d, Dropped:%d\n", op, ip->nx_ip_udp_packets_sent,
                   ip->nx_ip_udp_packets_received, ip->nx_ip_udp_invalid_packets, ip->nx_ip_udp_packets_dropped);
  else  // the controller sends no pings: no timeouts, no replies
    monitor_printf("%s TX:%d, RX:%d, Timeout:%d, Replies:%d\n", op, ip->nx_ip_icmp_packets_sent,
                   ip->nx_ip_icmp_packets_received, 0, 0);
}

void Arp(const char* arg) {
  const NX_IP* ip = g_links.main_ip;
  if (!Is(arg, "stat") && !Is(arg, "list")) {
    monitor_printf("%s %s arp list\n", kDebug, "ethernet");
    monitor_printf("%s %s arp stat\n", kDebug, "ethernet");
  } else if (!ip) {
    monitor_printf("arp %s not available\n", arg);
  } else if (Is(arg, "list")) {
    // Addresses are resolved by the host or the point-to-point link, never
    // by the controller: its own table stays empty.
    monitor_printf("Dynamic ARP Table:\n");
  } else {
    monitor_printf(" requests sent:%d\n requests received:%d\n responses sent:%d\n responses received:%d\n", 0, 0,
                   0, 0);
    monitor_printf(" dynamic entries:%d\n static entries:%d\n aged entries:%d\n dropped msg:%d\n", 0, 0, 0,
                   ip->nx_ip_arp_frames_dropped);
  }
}

void Ethernet(const char* op, const char* arg) {
  if (Is(op, "tcp") || Is(op, "udp") || Is(op, "icmp")) {
    Statistics(op);
    return;
  }
  if (Is(op, "pool")) {
    PoolLine("Main", g_links.main_pool);
    PoolLine("Driver", g_links.driver_pool);
    return;
  }
  if (Is(op, "reset")) {
    monitor_printf("reset %s\n", "ethernet");
    if (g_links.emac_initialize)
      g_links.emac_initialize();
    else
      monitor_printf("ethernet controller not available\n");
    return;
  }
  if (Is(op, "dhcp")) {
    if (Is(arg, "renew"))
      g_post_office.Publish(MSG_DHCP_RENEW);
    else
      monitor_printf("%s dhcp renew\n", kDebug);
    return;
  }
  if (Is(op, "arp")) {
    Arp(arg);
    return;
  }
  for (const char* o : kEthernetOps) monitor_printf("%s %s %s\n", kDebug, "ethernet", o);
}

void Debug(int argc, char** argv) {
  const char* op = Arg(argc, argv, 2);
  const char* a3 = Arg(argc, argv, 3);
  const char* a4 = Arg(argc, argv, 4);
  if (Is(op, "spi")) {
    Spi();
  } else if (Is(op, "prog")) {
    g_post_office.Publish(MSG_RESET_SPI);
  } else if (Is(op, "module")) {
    Module(a3);
  } else if (Is(op, "modem")) {
    Modem(a3, a4);
  } else if (Is(op, "thread")) {
    Thread(a3, a4);
  } else if (Is(op, "peripheral")) {
    Peripheral(a3, a4, Arg(argc, argv, 5));
  } else if (Is(op, "defrag")) {
    system_defrag_reset();
  } else if (Is(op, "ethernet")) {
    Ethernet(a3, a4);
  } else {
    DebugHelp();
  }
}

}  // namespace

void vms_set_links(const vms_links& links) { g_links = links; }
const vms_links& vms_get_links() { return g_links; }

int vms_command(int argc, char** argv) {
  const char* op = Arg(argc, argv, 1);
  if (!op) {
    monitor_printf("\n");
  } else if (Is(op, "gamma")) {
    if (const char* n = Arg(argc, argv, 2)) {
      if (g_links.gamma_select)
        g_links.gamma_select(Decimal(n));
      else
        monitor_printf("gamma not available\n");
    }
  } else if (Is(op, "trace") || Is(op, "-t")) {
    Trace(Arg(argc, argv, 2));
  } else if (Is(op, "-s")) {
    Status();
  } else if (Is(op, "-d")) {
    Debug(argc, argv);
  } else {
    Help();
  }
  return 0;
}
