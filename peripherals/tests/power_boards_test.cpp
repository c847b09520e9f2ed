// Distribution boards: readings into their status and power-supply rows,
// the under-voltage debounce, fuse faults, silence and malformed answers,
// against simulated boards on the controller's CAN bus and with frames
// handed straight to a board's queue.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "peripherals/devices/lvdb.h"
#include "peripherals/pl_iterator.h"
#include "peripherals/power_supply_table.h"
#include "peripherals/tests/task_fixture.h"
#include "sim/can/field_board.h"

namespace {

class PowerBoardTest : public TaskFixture {
 protected:
  void SetUp() override {
    SetUpFieldDevices();
    InThread([] { power_supply_table_init(); });
  }
  void TearDown() override {
    boards_.clear();
    TaskFixture::TearDown();
  }
  sim::field_board* Board(uint32_t address, uint16_t firmware = 5) {
    boards_.push_back(std::make_unique<sim::field_board>(board::q5_wire(), address, firmware));
    return boards_.back().get();
  }
  void Begin() { Start(3, false); }
  CLVDB* Lvdb(uint16_t type) { return dynamic_cast<CLVDB*>(Live(type)); }
  static std::string VText(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(o.offset, 4, Db().mib_v, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  static uint32_t StatusValue(uint32_t row) { return V(vol::auxIOPortValue(row)); }
  struct supply {
    uint32_t voltage;
    uint32_t status;
    std::string text;
  };
  static supply Supply(uint16_t id) {
    const int32_t row = g_power_supply_table.RowOf(id);
    if (row < 0) return {0, 0, "<none>"};
    return {V(vol::dmsPowerVoltage(row)), V(vol::dmsPowerStatus(row)), VText(vol::dmsPowerMfrStatus(row))};
  }
  // A status reply of the board at 0x42500: raw tenths of a volt, fuse bits.
  static can_packet Status(uint16_t tenths, uint16_t fuses, uint8_t code = CAN_REPLY_INPUTS, uint8_t length = 8) {
    can_packet p;
    p.id = 0x42500 + CAN_REPLY_OFFSET;
    p.flags = CAN_FLAG_DATA;
    p.length = length;
    p.data[0] = code;
    p.data[3] = static_cast<uint8_t>(tenths >> 8);
    p.data[4] = static_cast<uint8_t>(tenths);
    p.data[5] = static_cast<uint8_t>(fuses >> 8);
    p.data[6] = static_cast<uint8_t>(fuses);
    return p;
  }

  std::vector<std::unique_ptr<sim::field_board>> boards_;
};

TEST_F(PowerBoardTest, NamesOfTheDistributionBoards) {
  EXPECT_STREQ(CLVDB::NameOfType(680), "POWER LVDB1");
  EXPECT_STREQ(CLVDB::NameOfType(699), "POWER LVDB20");
  EXPECT_EQ(CLVDB::NameOfType(679), nullptr);
  EXPECT_EQ(CLVDB::NameOfType(700), nullptr);
  EXPECT_EQ(CLVDB::TypeOfName("POWER LVDB7"), 686);
  EXPECT_EQ(CLVDB::TypeOfName("power lvdb7"), 0);
  EXPECT_EQ(CLVDB::TypeOfName("POWER LVDB21"), 0);
  EXPECT_EQ(CLVDB::TypeOfName(nullptr), 0);
}

TEST_F(PowerBoardTest, BoardIdentifiesThenReportsItsReading) {
  sim::field_board* board = Board(0x42501, 0x0102);
  board->set_words(245, 0);
  Record(0, 681, "42501,0");
  Begin();
  CLVDB* b = Lvdb(681);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->m_byState, PERIPHERAL_READING);
  EXPECT_EQ(VText(vol::dmsPowerDescription(g_power_supply_table.RowOf(b->PowerSupplyId()))), "POWER LVDB2");
  EXPECT_EQ(NvText(nv::auxIOPortDescription(b->VoltageRow())), "POWER LVDB2 VOLTAGE (Volts)");
  EXPECT_EQ(NvText(nv::auxIOPortDescription(b->FuseRow())), "POWER LVDB2 FUSES");
  Steps(20 * 4);
  EXPECT_EQ(b->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(b->m_wVersion, 0x0102);
  EXPECT_EQ(StatusValue(b->VoltageRow()), 24u);
  EXPECT_EQ(StatusValue(b->FuseRow()), 0u);
  supply s = Supply(b->PowerSupplyId());
  EXPECT_EQ(s.voltage, 2450u);
  EXPECT_EQ(s.status, 2u);
  EXPECT_EQ(s.text, "POWER SUPPLY PASS");
  // One identify query, then ten status queries, repeating.
  std::vector<uint8_t> cmds = board->commands();
  ASSERT_GE(cmds.size(), 4u);
  EXPECT_EQ(cmds[0], CAN_CMD_IDENTIFY);
  for (size_t i = 1; i < cmds.size(); ++i) EXPECT_EQ(cmds[i], CAN_CMD_READ) << i;
  board->clear();
  Steps(20 * 11);
  cmds = board->commands();
  ASSERT_EQ(cmds.size(), 11u);
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), CAN_CMD_IDENTIFY), 1);
}

TEST_F(PowerBoardTest, LowVoltageIsDebouncedAndFusesFailAtOnce) {
  InThread([&] {
    CLVDB b(680, 0, 0x42500);
    b.m_wConfigSlot = 0;
    ASSERT_EQ(b.Init(), 1);
    auto feed = [&](uint16_t tenths, uint16_t fuses) {
      ASSERT_EQ(b.receive(Status(tenths, fuses)), 1u);
      b.Poll();
    };
    struct Step {
      uint16_t tenths, fuses;
      int32_t count;
      const char* text;
    } steps[] = {
        {240, 0, 0, "POWER SUPPLY PASS"},
        {205, 0, 1, "POWER SUPPLY PASS"},  // 20.5 V is low
        {0, 0, 2, "POWER SUPPLY PASS"},
        {240, 0, 1, "POWER SUPPLY PASS"},  // a good one counts down
        {100, 0, 2, "POWER SUPPLY PASS"},
        {100, 0, 3, "POWER SUPPLY FAIL"},
        {240, 0, 2, "POWER SUPPLY FAIL"},
        {240, 0, 1, "POWER SUPPLY FAIL"},
        {240, 0, 0, "POWER SUPPLY FAIL"},
        {240, 0, 0, "POWER SUPPLY PASS"},
        {240, 4, 0, "FUSE FAIL"},
        {240, 0, 0, "POWER SUPPLY PASS"},
    };
    int i = 0;
    for (const Step& s : steps) {
      feed(s.tenths, s.fuses);
      EXPECT_EQ(b.PowerFailCount(), s.count) << i;
      EXPECT_EQ(Supply(b.PowerSupplyId()).text, s.text) << i;
      EXPECT_EQ(b.m_byState, PERIPHERAL_VALID) << i;
      ++i;
    }
    // Fault bits stay once seen; asking changes nothing.
    EXPECT_EQ(b.GetFaultFlags(), CLVDB::FAULT_POWER | CLVDB::FAULT_FUSE);
    // Two low readings, then however many questions: the third reading
    // still decides.
    feed(100, 0);
    feed(100, 0);
    for (int n = 0; n < 5; ++n) EXPECT_EQ(b.GetFaultFlags(), CLVDB::FAULT_POWER | CLVDB::FAULT_FUSE);
    EXPECT_EQ(b.PowerFailCount(), 2);
    EXPECT_EQ(Supply(b.PowerSupplyId()).text, "POWER SUPPLY PASS");
    feed(100, 0);
    EXPECT_EQ(Supply(b.PowerSupplyId()).text, "POWER SUPPLY FAIL");
    // A long outage stops counting at 20.
    for (int n = 0; n < 30; ++n) feed(0, 0);
    EXPECT_EQ(b.PowerFailCount(), 20);
    EXPECT_EQ(Supply(b.PowerSupplyId()).voltage, 0u);
    // Hundredths past the object's width are clamped, not wrapped.
    feed(7000, 0);
    EXPECT_EQ(Supply(b.PowerSupplyId()).voltage, 65535u);
    EXPECT_EQ(StatusValue(b.VoltageRow()), 700u);
  });
}

TEST_F(PowerBoardTest, MalformedFramesAreDropped) {
  InThread([&] {
    CLVDB b(680, 0, 0x42500);
    b.m_wConfigSlot = 0;
    ASSERT_EQ(b.Init(), 1);
    b.receive(Status(240, 0));
    b.Poll();
    ASSERT_EQ(b.Voltage(), 24);
    struct Case {
      const char* what;
      can_packet p;
    } cases[] = {{"short", Status(120, 1, CAN_REPLY_INPUTS, 4)},
                 {"unknown code", Status(120, 1, 0x41)},
                 {"configure ack", Status(120, 1, CAN_REPLY_CONFIGURED)},
                 {"another board", Status(120, 1)}};
    cases[3].p.id = 0x42501 + CAN_REPLY_OFFSET;
    for (Case& c : cases) {
      b.receive(c.p);
      b.Poll();
      EXPECT_EQ(b.Voltage(), 24) << c.what;
      EXPECT_EQ(b.FuseBits(), 0) << c.what;
      EXPECT_EQ(StatusValue(b.VoltageRow()), 24u) << c.what;
    }
  });
}

TEST_F(PowerBoardTest, SilentBoardIsLostOnceAndComesBack) {
  sim::field_board* board = Board(0x42502);
  board->set_words(240, 0);
  Record(0, 682, "42502,0");
  Begin();
  CLVDB* b = Lvdb(682);
  ASSERT_NE(b, nullptr);
  Steps(20 * 4);
  ASSERT_EQ(b->m_byState, PERIPHERAL_VALID);
  board->set_silent(true);
  // Nine unanswered status queries (an identify among them) keep it.
  Steps(20 * 10);
  EXPECT_EQ(b->m_byState, PERIPHERAL_VALID);
  Steps(20 * 2);
  EXPECT_EQ(b->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_EQ(StatusValue(b->VoltageRow()), 0u);
  EXPECT_EQ(StatusValue(b->FuseRow()), 65535u);
  supply s = Supply(b->PowerSupplyId());
  EXPECT_EQ(s.text, "COMM ERROR");
  EXPECT_EQ(s.voltage, 0u);
  EXPECT_EQ(s.status, 3u);
  // Raised once per silent period: a later error text stays.
  InThread([&] { g_power_supply_table.SetPowerSupplyError(b->PowerSupplyId(), 3, "MARK"); });
  Steps(20 * 15);
  EXPECT_EQ(Supply(b->PowerSupplyId()).text, "MARK");
  board->set_silent(false);
  Steps(20 * 3);
  EXPECT_EQ(b->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(StatusValue(b->VoltageRow()), 24u);
  EXPECT_EQ(Supply(b->PowerSupplyId()).text, "POWER SUPPLY PASS");
}

TEST_F(PowerBoardTest, RemovedBoardFreesItsRows) {
  Record(0, 680, "42500,0");
  Begin();
  CLVDB* b = Lvdb(680);
  ASSERT_NE(b, nullptr);
  const uint32_t v = b->VoltageRow(), f = b->FuseRow();
  EXPECT_NE(v, f);
  EXPECT_EQ(g_power_supply_table.Count(), 1u);
  InThread([] {
    pl_iterator records;
    ASSERT_EQ(records.Remove(680), 1);
  });
  Steps(2);
  EXPECT_EQ(Lvdb(680), nullptr);
  EXPECT_EQ(g_power_supply_table.Count(), 0u);
  EXPECT_EQ(NvText(nv::auxIOPortDescription(v)), "UNUSED");
  EXPECT_EQ(NvText(nv::auxIOPortDescription(f)), "UNUSED");
}

}  // namespace
