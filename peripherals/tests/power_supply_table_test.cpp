// The power-supply rows: registration, the dense rows after a removal, the
// error bookkeeping with its one trap, and the AC line.
#include "peripherals/tests/power_test_fixture.h"

std::vector<PowerTest::trap> PowerTest::s_traps;
CSerialDriver* PowerTest::s_port = nullptr;
bool PowerTest::s_port_lent = false;
const peripheral_port_ops PowerTest::kPorts = {
    [](uint32_t id) -> CSerialDriver* {
      if (id != 2 || !s_port || s_port_lent) return nullptr;
      s_port_lent = true;
      return s_port;
    },
    [](uint32_t id) -> uint32_t {
      if (id == 2) s_port_lent = false;
      return 1;
    },
};

namespace {

class PowerTableTest : public PowerTest {
 protected:
  CPowerSupplyTable& t = g_power_supply_table;
  uint16_t Reg(const char* name, uint8_t type = 5) {
    uint16_t id = 0;
    EXPECT_EQ(t.RegisterPowerSupply(&id, name, "PASS", type), 1);
    return id;
  }
  std::string Map() { return VText(vol::dmsPowerFailureStatusMap); }
};

TEST_F(PowerTableTest, RemovalKeepsTheRowsDense) {
  InThread([&] {
    const uint16_t a = Reg("A", 5), b = Reg("B", 6), c = Reg("C", 1);
    t.SetPowerSupplyVoltage(b, 1200);
    t.SetPowerSupplyError(c, 3, "FAIL C");
    uint16_t gone = a;
    t.UnRegisterPowerSupply(&gone);
    EXPECT_EQ(V(vol::dmsPowerNumRows), 2u);
    EXPECT_EQ(VText(vol::dmsPowerDescription(0)), "B");
    EXPECT_EQ(V(vol::dmsPowerVoltage(0)), 1200u);
    EXPECT_EQ(V(vol::dmsPowerType(0)), 6u);
    EXPECT_EQ(VText(vol::dmsPowerDescription(1)), "C");
    EXPECT_EQ(VText(vol::dmsPowerMfrStatus(1)), "FAIL C");
    EXPECT_EQ(V(vol::dmsPowerStatus(1)), 3u);
    EXPECT_EQ(VText(vol::dmsPowerDescription(2)), "");
    EXPECT_EQ(V(vol::dmsPowerStatus(2)), 2u);
    EXPECT_EQ(V(vol::dmsPowerType(2)), 0u);
    EXPECT_EQ(Map(), std::string("\x02", 1)) << "the failing row moved to row 1";
    t.SetPowerSupplyVoltage(c, 77);
    EXPECT_EQ(V(vol::dmsPowerVoltage(1)), 77u);
    EXPECT_EQ(t.RowOf(a), -1);
    t.SetPowerSupplyError(a, 3, "NOBODY");  // an unknown id changes nothing
    EXPECT_EQ(V(vol::dmsPowerStatus(0)), 2u);
  });
}

TEST_F(PowerTableTest, OneTrapUntilEveryErrorClears) {
  InThread([&] {
    const uint16_t a = Reg("A", 5), b = Reg("B", 6);
    t.SetPowerSupplyError(a, 3, "POWER SUPPLY FAIL");
    t.SetPowerSupplyError(b, 4, "LOW BATTERY");
    ASSERT_EQ(TrapCodes(), std::vector<uint32_t>{4});
    EXPECT_EQ(s_traps[0].count, 3u);
    EXPECT_EQ(s_traps[0].third & 4, 0) << "shortErrorStatus as it was before the bit is set";
    EXPECT_EQ(V(vol::shortErrorStatus) & 4, 4u);
    EXPECT_EQ(VText(vol::powerSupplySummary), std::string("\x00\x03", 2));

    t.ClearPowerSupplyError(a, "POWER SUPPLY PASS");
    EXPECT_EQ(V(vol::shortErrorStatus) & 4, 4u) << "one row still fails";
    t.ClearPowerSupplyError(b, "POWER SUPPLY PASS");
    EXPECT_EQ(V(vol::shortErrorStatus) & 4, 0u);
    EXPECT_EQ(VText(vol::powerSupplySummary), std::string("\x00\x00", 2));
    t.SetPowerSupplyError(b, 5, "OVERLOAD");
    EXPECT_EQ(TrapCodes(), (std::vector<uint32_t>{4, 4}));
  });
}

TEST_F(PowerTableTest, ModuleCommErrorsNeitherTrapNorHoldTheTrapBack) {
  InThread([&] {
    const uint16_t m = Reg("MODULE 3", 6), a = Reg("A", 5);
    t.SetPowerSupplyError(m, 3, "COMM ERROR 7");
    EXPECT_TRUE(s_traps.empty());
    t.SetPowerSupplyError(a, 3, "POWER SUPPLY FAIL");
    t.ClearPowerSupplyError(a, "POWER SUPPLY PASS");
    t.SetPowerSupplyError(a, 3, "POWER SUPPLY FAIL");
    EXPECT_EQ(TrapCodes(), (std::vector<uint32_t>{4, 4}));
  });
}

TEST_F(PowerTableTest, AcLineRowFollowsTheVoltage) {
  InThread([&] {
    Reg("UPS", 5);
    const uint16_t ac = Reg("AC", 2);
    t.SetACVoltage(0);
    EXPECT_EQ(V(vol::dmsPowerStatus(1)), 3u);
    EXPECT_EQ(VText(vol::dmsPowerMfrStatus(1)), "POWER SUPPLY FAIL");
    EXPECT_EQ(VText(vol::powerSupplySummary), std::string("\x00\x20", 2));
    t.SetACVoltage(11800);
    EXPECT_EQ(V(vol::dmsPowerStatus(1)), 2u);
    EXPECT_EQ(V(vol::dmsPowerVoltage(1)), 11800u);
    EXPECT_EQ(V(vol::dmsPowerStatus(0)), 2u) << "the UPS row is not the AC line";
    (void)ac;
  });
}

TEST_F(PowerTableTest, IdsGrowAndTheTableStopsAtItsByte) {
  InThread([&] {
    uint16_t ids[3];
    for (uint16_t& id : ids) id = Reg("X");
    uint16_t first = ids[0];
    t.UnRegisterPowerSupply(&first);
    EXPECT_EQ(Reg("Y"), ids[2] + 1);
    while (t.Count() < CPowerSupplyTable::kMaxRows) Reg("Z");
    uint16_t id = 0;
    EXPECT_EQ(t.RegisterPowerSupply(&id, "FULL", "PASS", 5), 0);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(V(vol::dmsPowerNumRows), CPowerSupplyTable::kMaxRows);
  });
}

TEST_F(PowerTableTest, WithoutItsMutexNothingChanges) {
  g_power_supply_table.Reset();  // no Init: no mutex
  trace_capture capture;
  uint16_t id = 0;
  EXPECT_EQ(g_power_supply_table.RegisterPowerSupply(&id, "A", "PASS", 5), 0);
  EXPECT_NE(capture.text().find("CPowerSupplyTable::RegisterPowerSupply: tx_mutex_get failed"), std::string::npos);
  EXPECT_EQ(V(vol::dmsPowerNumRows), 0u);
}

}  // namespace
