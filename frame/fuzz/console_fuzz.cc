// Fuzz target: what users type at the consoles. The input is a list of
// events, each a head byte and, for typing, a length byte and the bytes:
//   head & 3         the telnet connection (0..3)
//   (head >> 2) & 3  0 typing on that connection, 1 a new connection,
//                    2 its end, 3 typing at the serial console
// Typed bytes go through the password prompt, the line editor and the
// boot monitor's command interpreter with the "vms" command, on a kernel
// with a database holding the password and nothing else of the controller.
#include <cstdint>
#include <memory>
#include <string>

#include "board_host.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/post_office.h"
#include "frame/monitor/monitor_task.h"
#include "frame/monitor_link/micromonitor.h"
#include "frame/os/os.h"
#include "frame/serial/serial_driver.h"
#include "frame/trace/trace.h"
#include "monitor_host.h"
#include "rtos_host.h"

namespace {

constexpr char kPassword[] = "administrator";

// The serial console: output dropped, input typed by the target.
class Console : public CSerialDriver {
 public:
  uint32_t PutTxByte(uint8_t) override { return 1; }
  uint32_t ReadByte(uint32_t* v) override {
    if (at >= input.size()) return 0;
    *v = static_cast<uint8_t>(input[at++]);
    return 1;
  }
  uint32_t Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 1; }
  uint32_t SetBaudRate(uint32_t) override { return 1; }
  std::string input;
  size_t at = 0;
};

TX_BYTE_POOL g_strings;
Console* g_console;
CMonitorTask* g_monitor;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  trace_set_sink([](int, const char*) {});
  board::board_config bc;
  bc.serial[1].kind = board::serial_kind::pipe;
  board::reset(bc);
  monitor::reset();
  rtos::kernel_config kc;
  kc.clock = rtos::clock_source::manual;
  kc.memory_size = 4u << 20;
  rtos::kernel_start(kc, [](void* memory) { os_byte_pool_create(&g_strings, "dynamic database", memory, 1u << 20); });
  mon_addcommand(g_vms_commands);
  auto* db = new CDataBase(&g_post_office);
  db->SetStringPool(&g_strings);
  g_console = new Console;
  g_monitor = new CMonitorTask(&g_post_office);
  g_monitor->SetConsoleDriver(g_console);
  rtos::run_in_thread([db] {
    g_monitor->Initialize();
    db->SetString(nv::communityNameAdmin.offset, 4, kPassword, sizeof kPassword - 1, db->mib_nv, 0);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rtos::run_in_thread([&] {
    for (uint32_t c = 0; c < NX_TELNET_MAX_CLIENTS; ++c)
      g_monitor->OnTelnetEvent(CTelnetServer::EVENT_END, c, nullptr, 0, nullptr, nullptr);
    g_monitor->Prompt().Reset();
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    char reply[CTelnetServer::REPLY_SIZE + 1];
    while (p < end) {
      const uint8_t head = *p++;
      const uint32_t connection = head & 3;
      const uint32_t kind = (head >> 2) & 3;
      uint32_t reply_length = 0;
      if (kind == 1 || kind == 2) {
        g_monitor->OnTelnetEvent(kind == 1 ? CTelnetServer::EVENT_CONNECT : CTelnetServer::EVENT_END, connection,
                                 nullptr, 0, reply, &reply_length);
        continue;
      }
      if (p >= end) break;
      uint32_t length = *p++;
      if (length > static_cast<uint32_t>(end - p)) length = static_cast<uint32_t>(end - p);
      if (kind == 0) {
        g_monitor->OnTelnetEvent(CTelnetServer::EVENT_DATA, connection, p, length, reply, &reply_length);
      } else {
        g_console->input.assign(reinterpret_cast<const char*>(p), length);
        g_console->at = 0;
        g_monitor->ReadConsole();
      }
      p += length;
    }
  });
  return 0;
}
