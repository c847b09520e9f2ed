// The power peripherals on the peripheral fixture: a fresh power-supply
// table, the traps they raise, and a simulated UPS on the AUX port.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/peripheral/peripheral_trap.h"
#include "frame/trace/trace.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/power_supply_table.h"
#include "peripherals/tests/peripheral_fixture.h"
#include "sim/ups/ups_unit.h"

class PowerTest : public PeripheralTest {
 public:
  struct trap {
    uint32_t specific;
    uint32_t count;
    int32_t third;  // the third binding's integer, when there is one
  };
  static std::vector<trap> s_traps;
  static CSerialDriver* s_port;
  static bool s_port_lent;

 protected:
  void SetUp() override {
    PeripheralTest::SetUp();
    s_traps.clear();
    s_port = nullptr;
    s_port_lent = false;
    peripheral_set_trap_sender(&PowerTest::Capture);
    peripheral_set_port_ops(&kPorts);
    InThread([] { power_supply_table_init(); });
  }
  void TearDown() override {
    peripheral_set_port_ops(nullptr);
    peripheral_set_trap_sender(nullptr);
    PeripheralTest::TearDown();
  }
  std::vector<uint32_t> TrapCodes() const {
    std::vector<uint32_t> codes;
    for (const trap& t : s_traps) codes.push_back(t.specific);
    return codes;
  }
  std::string VText(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(o.offset, 4, Db().mib_v, &n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
  }

  static void Capture(uint32_t, uint32_t specific, uint32_t count, const peripheral_trap_binding* b) {
    trap t{specific, count, 0};
    if (count >= 3 && b[2].length == 4) std::memcpy(&t.third, b[2].value, 4);
    s_traps.push_back(t);
  }
  static const peripheral_port_ops kPorts;
};
