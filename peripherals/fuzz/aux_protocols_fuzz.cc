// Fuzz target: what a device on the AUX serial port sends: the replies of
// the UPS dialects and the records of the real-time data input. The first
// byte picks the device (0-5: UPS types 20-25, 6: real-time data), the
// second how many bytes arrive between two polls; the rest is the line.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "database/fuzz/fuzz_database.h"
#include "database/objects.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/serial/serial_driver.h"
#include "frame/timer/timer_scheduler.h"
#include "frame/trace/trace.h"
#include "monitor_host.h"
#include "peripherals/devices/rtd_protocol.h"
#include "peripherals/devices/ups.h"
#include "frame/peripheral/peripheral_trap.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/power_supply_table.h"
#include "rtos_host.h"

namespace {

// The AUX port: what the device sends, a chunk at a time; what the
// controller sends is dropped.
class AuxPort : public CSerialDriver {
 public:
  uint32_t PutTxByte(uint8_t) override { return 1; }
  uint32_t ReadByte(uint32_t* v) override {
    if (at >= available) return 0;
    *v = bytes[at++];
    return 1;
  }
  uint32_t Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 1; }
  uint32_t SetBaudRate(uint32_t) override { return 1; }
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  size_t at = 0;
  size_t available = 0;
};

AuxPort* g_port;
bool g_lent;

const peripheral_port_ops kPorts = {
    [](uint32_t id) -> CSerialDriver* {
      if (id != 2 || g_lent) return nullptr;
      g_lent = true;
      return g_port;
    },
    [](uint32_t id) -> uint32_t {
      if (id == 2) g_lent = false;
      return 1;
    },
};

void no_trap(uint32_t, uint32_t, uint32_t, const peripheral_trap_binding*) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  monitor::reset();
  fuzz_database_start(2u << 20, [] { timer_scheduler_tx_rtos::Instance(); });
  g_port = new AuxPort;
  peripheral_set_port_ops(&kPorts);
  peripheral_set_trap_sender(no_trap);
  rtos::run_in_thread([] { power_supply_table_init(); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t device = data[0] % 7;
  const size_t chunk = data[1] ? data[1] : 1;
  g_port->bytes = data + 2;
  g_port->size = size - 2;
  g_port->at = g_port->available = 0;
  rtos::run_in_thread([&] {
    pl_record record;
    record.slot = 3;
    if (device < 6) {
      record.type_id = static_cast<uint16_t>(CUninterruptiblePowerSupply::TYPE_POWERCOM + device);
      record.class_code = PCLASS_UPS;
    } else {
      record.type_id = CRTD_Protocol::TYPE_ID;
      record.class_code = CRTD_Protocol::CLASS_CODE;
    }
    std::unique_ptr<CPeripheral> p(device < 6 ? CUninterruptiblePowerSupply::Create(record)
                                              : CRTD_Protocol::Create(record));
    if (!p) return;
    // A few quiet polls after the line's end too: time-outs and retries.
    for (int quiet = 0; quiet < 4;) {
      if (g_port->available < g_port->size)
        g_port->available = std::min(g_port->size, g_port->available + chunk);
      else
        ++quiet;
      p->Poll();
    }
  });
  return 0;
}
