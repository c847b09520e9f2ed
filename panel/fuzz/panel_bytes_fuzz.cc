// Fuzz target: the bytes the front-panel unit sends on its serial line
// (keys, key switch, PS/2 keys, tunnelled CAN frames with their escapes).
// Each input starts a manager that the simulated unit brings through its
// start-up; then the line carries the input instead of the unit, a chunk a
// tick (the first byte gives the chunk's size), and some quiet ticks
// follow for the time-outs.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "database/fuzz/fuzz_database.h"
#include "database/objects.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/peripheral/peripheral_trap.h"
#include "frame/trace/trace.h"
#include "monitor_host.h"
#include "panel/lcd_indicators.h"
#include "panel/lcd_manager.h"
#include "rtos_host.h"
#include "sim/panel/front_panel.h"

namespace {

// The unit's line until the start-up is over, then the fuzzer's bytes.
class PanelLine : public CSerialDriver {
 public:
  explicit PanelLine(sim::front_panel_port& unit) : m_unit(unit) {}
  uint32_t PutTxByte(uint8_t b) override { return fuzzing ? 1 : m_unit.PutTxByte(b); }
  uint32_t ReadByte(uint32_t* v) override {
    if (!fuzzing) return m_unit.ReadByte(v);
    if (at >= available) return 0;
    *v = bytes[at++];
    return 1;
  }
  uint32_t Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 1; }
  uint32_t SetBaudRate(uint32_t) override { return 1; }
  bool fuzzing = false;
  const uint8_t* bytes = nullptr;
  size_t size = 0, at = 0, available = 0;

 private:
  sim::front_panel_port& m_unit;
};

CDataBase* g_db;

void set(db_object o, uint8_t* area, uint32_t v) { g_db->SetValue(o.offset, o.width, v, area, DB_NO_VALIDATE); }
void no_trap(uint32_t, uint32_t, uint32_t, const peripheral_trap_binding*) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  monitor::reset();
  g_db = fuzz_database_start(2u << 20);
  g_db->LoadDefaults(0);
  g_db->SetNotifyEnabled(true);
  peripheral_set_trap_sender(no_trap);
  // A restart asked for at the panel ends the board's run; here it is
  // only counted.
  lcd_set_restart_hook([] {});
  lcd_indicators_reset();
  lcd_set_product_board(5);
  set(vol::dmsControlMode, g_db->mib_v, 4);
  set(nv::quorLCDAdminPassword, g_db->mib_nv, 1234);
  set(nv::quorLCDPassword, g_db->mib_nv, 5678);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  sim::front_panel unit;
  sim::front_panel_port unit_port(unit);
  PanelLine line(unit_port);
  CLCD_Manager* mgr = nullptr;
  rtos::run_in_thread([&] {
    mgr = new CLCD_Manager(CLCD_Manager::TYPE_LCD01);
    mgr->m_wPollInterval = 1;
    if (mgr->Init(&line) != 1) {
      delete mgr;
      mgr = nullptr;
    }
  });
  if (!mgr) return 0;
  for (int i = 0; i < 20 && mgr->m_byPanelState != CLCD_Manager::PANEL_RUN; ++i)
    rtos::run_in_thread([&] { mgr->Process(); });
  line.fuzzing = true;
  line.bytes = data + 1;
  line.size = size - 1;
  const size_t chunk = data[0] ? data[0] : 1;
  for (int quiet = 0; quiet < 3;) {
    if (line.available < line.size)
      line.available = std::min(line.size, line.available + chunk);
    else
      ++quiet;
    rtos::run_in_thread([&] { mgr->Process(); });
  }
  rtos::run_in_thread([&] { delete mgr; });
  return 0;
}
