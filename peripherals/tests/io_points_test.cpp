// The points on a simulated DC I/O board: switch inputs that put messages
// on the sign, the blank push button with its trap and indicator, the
// surge contact's debounce, intake flow sensors in pairs, beacons and
// general-purpose outputs; isolation boards on the sensor bus; the speed
// radar on the AUX port.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "display/codes/msg_codes.h"
#include "frame/peripheral/peripheral_trap.h"
#include "frame/serial/serial_driver.h"
#include "peripherals/devices/acio.h"
#include "peripherals/devices/beacons.h"
#include "peripherals/devices/dcio.h"
#include "peripherals/devices/fan_heater_io.h"
#include "peripherals/devices/io_based.h"
#include "peripherals/devices/isolation.h"
#include "peripherals/devices/radar.h"
#include "peripherals/devices/sensor_ops.h"
#include "peripherals/power_supply_table.h"
#include "peripherals/tests/task_fixture.h"
#include "sim/can/field_board.h"
#include "sim/serial/speed_radar.h"

namespace {

uint8_t g_beacon = 0;

class IoPointTest : public TaskFixture {
 protected:
  void SetUp() override {
    SetUpFieldDevices();
    InThread([] { power_supply_table_init(); });
    peripheral_set_beacon_flag_source([] { return g_beacon; });
    g_beacon = 0;
    io_ = std::make_unique<sim::field_board>(board::q5_wire(), 0x42401, 4, true);
    // Board 52: points 24..31 and 40..47 inputs, 32..39 and 48..55 outputs.
    Record(0, 52, "42401,F0,FF,F0,FF,0,0");
    // Inputs idle (released) until a test presses them.
    for (uint32_t p = 24; p < 48; ++p) io_->set_input(p, true);
  }
  void TearDown() override {
    peripheral_set_beacon_flag_source(nullptr);
    io_.reset();
    isolation_.reset();
    TaskFixture::TearDown();
  }
  void Begin() {
    Start(3, false);
    install_sensor_device_ops();
    Steps(30);
  }
  CIO_BasedPeripheral* Io(uint16_t type) { return dynamic_cast<CIO_BasedPeripheral*>(Live(type)); }
  DCIO* Board() { return dynamic_cast<DCIO*>(Live(52)); }
  // Sets a point's level in the board's last input report, as a report
  // would, without waiting for one.
  void Level(uint32_t point, bool level) {
    DCIO* board = Board();
    ASSERT_NE(board, nullptr);
    InThread([&] {
      uint8_t& b = board->m_LastInput.data[point / 8];
      b = level ? static_cast<uint8_t>(b | 1u << (point % 8)) : static_cast<uint8_t>(b & ~(1u << (point % 8)));
    });
  }
  void Polls(CPeripheral* p, uint32_t n) {
    InThread([&] {
      for (uint32_t i = 0; i < n; ++i) p->Poll();
    });
  }
  void Input(CPeripheral* p) {
    InThread([&] { p->OnInput(); });
  }
  static std::vector<uint8_t> Slot(uint32_t slot) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(vol::activationSlotCode(slot).offset, 4, Db().mib_v, &n);
    return std::vector<uint8_t>(p, p + n);
  }
  static void ClearSlot(uint32_t slot) {
    Db().SetString(vol::activationSlotCode(slot).offset, 4, nullptr, 0, Db().mib_v, DB_NO_VALIDATE);
  }
  static std::vector<uint8_t> Code(uint8_t priority, uint8_t memory, uint16_t number, uint16_t crc) {
    CMsgActivationCode c;
    c.m_wDuration = 0xFFFF;
    c.m_byPriority = priority;
    c.m_byMemoryType = memory;
    c.m_wMessageNumber = number;
    c.m_wCRC = crc;
    c.Encode();
    return std::vector<uint8_t>(c.m_encoded, c.m_encoded + MSG_ACTIVATION_CODE_SIZE);
  }
  static std::vector<uint8_t> Blank(uint8_t priority = 190) { return Code(priority, 7, 1, 0); }
  static size_t Traps(uint32_t specific) {
    size_t n = 0;
    for (const captured_trap& t : s_traps)
      if (t.generic == TRAP_ENTERPRISE_SPECIFIC && t.specific == specific) ++n;
    return n;
  }
  static void Now(uint32_t t) { Db().SetTimeValue(nv::globalTime.offset, 4, t, Db().mib_nv, 0); }
  static std::string VText(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(o.offset, 4, Db().mib_v, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }

  std::unique_ptr<sim::field_board> io_;
  std::unique_ptr<sim::field_board> isolation_;
};

// ------------------------------------------------------------ switch inputs

TEST_F(IoPointTest, OneOfNSwitchTakesItsEntryOrTheChangeableMessageByOffset) {
  Record(1, 560, "18,34,4,0,0,3,0");  // points 24..27, offset 3, maintained
  SetNv(nv::dmsMessageCRC(5), 0x1234);
  Begin();
  CIO_BasedPeripheral* sw = Io(560);
  ASSERT_NE(sw, nullptr);
  ASSERT_EQ(sw->m_byState, PERIPHERAL_VALID);
  ClearSlot(6);

  // Two points together: nothing.
  Level(25, false);
  Level(26, false);
  Input(sw);
  EXPECT_TRUE(Slot(6).empty());
  // Point 26 alone: entry 2, empty, so changeable message 2 + 1 + 3 = 6.
  Level(25, true);
  Input(sw);
  EXPECT_EQ(Slot(6), Code(190, 3, 6, 0x1234));
  EXPECT_EQ(V(vol::activationSlotSourceMode(6)), 3u);
  EXPECT_EQ(V(vol::activationSlotReason(6)), 2u);
  // Released: the switch blanks the sign.
  Level(26, true);
  Input(sw);
  EXPECT_EQ(Slot(6), Blank());
  EXPECT_EQ(sw->SubState(), 0);
}

TEST_F(IoPointTest, SwitchEntryLookupRefusesMessagesPastTheTable) {
  Record(1, 560, "18,34,4,0,0,1F0,0");  // offset 496: entries 3 and up pass 500
  Begin();
  CIO_BasedPeripheral* sw = Io(560);
  ASSERT_NE(sw, nullptr);
  CMsgActivationCode code;
  struct Case {
    uint32_t index, offset;
    bool named;
    uint16_t number;
  } cases[] = {{3, 496, true, 500}, {4, 496, false, 0}, {0, 0xFFFFFFFF, false, 0}, {50, 0, false, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(sw->EntryCode(c.index, c.offset, &code), c.named) << c.index << "+" << c.offset;
    if (c.named) EXPECT_EQ(code.m_wMessageNumber, c.number);
  }
  // A stored entry names its own message.
  SetNvText(nv::quorMessageIDCode(4), std::string("\x03\x00\x07\xAB\xCD", 5));
  ASSERT_TRUE(sw->EntryCode(4, 496, &code));
  EXPECT_EQ(code.m_wMessageNumber, 7);
  EXPECT_EQ(code.m_wCRC, 0xABCD);
  // Point 27 (entry 3) names message 500, the last of the table.
  ClearSlot(6);
  Level(27, false);
  Input(sw);
  EXPECT_EQ(Slot(6), Code(190, 3, 500, 0));
}

TEST_F(IoPointTest, CodedSwitchesActivateByValue) {
  Record(1, 580, "18,34,4");         // code points 24..26, activate 27
  Record(2, 650, "28,34,3,0,0,0,0");  // maintained, points 40..42
  Begin();
  CIO_BasedPeripheral* act = Io(580);
  CIO_BasedPeripheral* bcd = Io(650);
  ASSERT_NE(act, nullptr);
  ASSERT_NE(bcd, nullptr);

  // 580: points 24..26 at levels 1,0,0 read as 0,1,1 = 6 with activate down.
  ClearSlot(6);
  Level(25, false);
  Level(26, false);
  Input(act);
  EXPECT_TRUE(Slot(6).empty()) << "activate released";
  Level(27, false);
  Input(act);
  EXPECT_EQ(act->LastNumber(), 7u);
  EXPECT_EQ(Slot(6), Code(190, 3, 7, 0));
  Level(27, true);
  Input(act);
  EXPECT_EQ(act->SubState(), 0);
  EXPECT_EQ(Slot(6), Code(190, 3, 7, 0)) << "no blank on release";

  // 650 maintained: the first report acts, the same value again does not.
  ClearSlot(6);
  Level(41, false);  // value 2
  Input(bcd);
  EXPECT_EQ(Slot(6), Code(190, 3, 3, 0));
  ClearSlot(6);
  Input(bcd);
  EXPECT_TRUE(Slot(6).empty());
  Level(41, true);  // value 0: entry 0
  Input(bcd);
  EXPECT_EQ(Slot(6), Code(190, 3, 1, 0));
}

TEST_F(IoPointTest, MomentaryCodedSwitchTakesAPressOnlyAfterARelease) {
  Record(1, 650, "28,34,3,0,0,0,1");
  Begin();
  CIO_BasedPeripheral* bcd = Io(650);
  ASSERT_NE(bcd, nullptr);
  ClearSlot(6);
  Level(40, false);
  Level(41, false);  // value 3: entry 2
  Input(bcd);
  EXPECT_EQ(Slot(6), Code(190, 3, 3, 0));
  ClearSlot(6);
  Level(40, true);  // value 2 while still held
  Input(bcd);
  EXPECT_TRUE(Slot(6).empty());
  Level(41, true);
  Input(bcd);
  Level(41, false);
  Input(bcd);
  EXPECT_EQ(Slot(6), Code(190, 3, 2, 0));
}

TEST_F(IoPointTest, PrioritySwitchBlanksAfterItsDelayUnlessOutranked) {
  Record(1, 560, "18,34,4,1,5,0,0");  // priority mode, 5 s delay
  SetNv(nv::dmsMessageStatus(0), 4);
  Begin();
  CIO_BasedPeripheral* sw = Io(560);
  ASSERT_NE(sw, nullptr);
  ClearSlot(6);
  Level(24, false);
  Polls(sw, 1);
  EXPECT_EQ(Slot(6), Code(190, 3, 1, 0));
  Level(24, true);
  ClearSlot(6);
  Polls(sw, 9);
  EXPECT_TRUE(Slot(6).empty());
  Polls(sw, 1);
  EXPECT_EQ(Slot(6), Blank()) << "the 10th poll after the activation";
  // A message of priority 200 on display is never replaced.
  SetNv(nv::currentBufferRunTimePriority, 200);
  ClearSlot(6);
  Level(24, false);
  Polls(sw, 3);
  EXPECT_TRUE(Slot(6).empty());
}

TEST_F(IoPointTest, BlankSwitchNeedsThreePollsAndSendsOneBlankAndOneTrap) {
  Record(1, 640, "18,34");
  Record(2, 641, "20,34");  // the indicator on output 32
  Begin();
  CIO_BasedPeripheral* sw = Io(640);
  CIO_BasedPeripheral* lamp = Io(641);
  ASSERT_NE(sw, nullptr);
  ASSERT_NE(lamp, nullptr);
  Polls(sw, 20);  // the start-up debounce
  ClearSlot(6);
  s_traps.clear();
  for (int held : {1, 2}) {
    Level(24, false);
    Polls(sw, held);
    Level(24, true);
    Polls(sw, 1);
    EXPECT_TRUE(Slot(6).empty()) << held;
  }
  Level(24, false);
  Polls(sw, 3);
  EXPECT_EQ(Slot(6), Blank(255));
  EXPECT_EQ(Traps(CIO_BasedPeripheral::TRAP_BLANK_SWITCH), 1u);
  ASSERT_EQ(s_traps.back().oids.size(), 2u);
  EXPECT_EQ(s_traps.back().oids[0], (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 6, 0}));
  EXPECT_EQ(lamp->SubState(), 1);
  ClearSlot(6);
  Polls(sw, 10);  // still held
  EXPECT_TRUE(Slot(6).empty());
  EXPECT_EQ(Traps(CIO_BasedPeripheral::TRAP_BLANK_SWITCH), 1u);

  // The lamp lights (level 0) and stays until another source runs.
  SetNv(nv::dmsMsgSourceMode, 3);
  Polls(lamp, 3);
  Steps(10);
  EXPECT_FALSE(io_->output(32));
  SetNv(nv::dmsMsgSourceMode, 8);
  Polls(lamp, 2);
  Steps(10);
  EXPECT_TRUE(io_->output(32));
}

// ------------------------------------------------------------ surge, flow

TEST_F(IoPointTest, SurgeContactIsDebouncedOverTwentyPolls) {
  Record(1, 75, "34,1,0,0,0");  // point 24
  Begin();
  CIO_BasedPeripheral* surge = Io(75);
  ASSERT_NE(surge, nullptr);
  ASSERT_GE(surge->StatusRow(), 0);
  const int32_t row = g_power_supply_table.RowOf(surge->SupplyId());
  ASSERT_GE(row, 0);
  auto supply_text = [&] { return VText(vol::dmsPowerMfrStatus(row)); };
  Polls(surge, 1);
  EXPECT_EQ(V(vol::auxIOPortValue(surge->StatusRow())), 1u);

  Level(24, true);  // open for 19 polls, then closed again
  Polls(surge, 19);
  Level(24, false);
  Polls(surge, 1);
  EXPECT_EQ(V(vol::auxIOPortValue(surge->StatusRow())), 1u);
  EXPECT_EQ(supply_text(), "SURGE PASSED");

  Level(24, true);
  Polls(surge, 20);
  EXPECT_EQ(V(vol::auxIOPortValue(surge->StatusRow())), 1u);
  Polls(surge, 1);
  EXPECT_EQ(V(vol::auxIOPortValue(surge->StatusRow())), 0u) << "the 21st poll";
  EXPECT_EQ(supply_text(), "SURGE FAILED");
  Level(24, false);
  Polls(surge, 1);
  EXPECT_EQ(supply_text(), "SURGE PASSED");
}

TEST_F(IoPointTest, FlowSensorsInPairsTestOneAtATime) {
  Record(1, 510, "21,34");          // intake fan control, output 33
  Record(2, 710, "34,1,0,0,0");     // FLOW SENSOR1 on 24
  Record(3, 711, "34,2,0,0,0");     // FLOW SENSOR2 on 25
  SetNv(nv::quorSpecialFeatureSet, 0x10);
  Begin();
  CIO_BasedPeripheral* f1 = Io(710);
  CIO_BasedPeripheral* f2 = Io(711);
  ASSERT_NE(f1, nullptr);
  ASSERT_NE(f2, nullptr);
  ASSERT_GE(f1->ClimateRow(), 0);
  ASSERT_GE(f2->ClimateRow(), 0);
  Now(1000);
  InThread([&] {
    CPeripheral::SetClimateRowByteB(f1->ClimateRow(), 3);
    CPeripheral::SetClimateRowByteB(f2->ClimateRow(), 3);
    f1->Poll();
    f2->Poll();
  });
  EXPECT_TRUE(f1->IsFlowTesting());
  EXPECT_FALSE(f2->IsFlowTesting()) << "its partner is testing";
  auto* fans = dynamic_cast<CFanIO*>(Live(510));
  ASSERT_NE(fans, nullptr);
  EXPECT_EQ(fans->RunReason(), 0);
  // The first test ends after 180 s; the second starts then.
  Now(1180);
  Polls(f1, 1);
  EXPECT_TRUE(f1->IsFlowTesting());
  Now(1181);
  Polls(f1, 1);
  EXPECT_FALSE(f1->IsFlowTesting());
  Polls(f2, 1);
  EXPECT_TRUE(f2->IsFlowTesting());
  EXPECT_EQ(fans->RunReason(), 1);
}

TEST_F(IoPointTest, FlowSensorWithAPowerSenseRefusesATest) {
  Record(1, 510, "21,34");
  Record(2, 720, "34,4,0,0,0");  // power sense on 26, present (level 0)
  Record(3, 710, "34,1,0,0,0");
  Begin();
  CIO_BasedPeripheral* sense = Io(720);
  CIO_BasedPeripheral* f1 = Io(710);
  ASSERT_NE(sense, nullptr);
  ASSERT_NE(f1, nullptr);
  Level(26, false);
  Polls(sense, 1);
  EXPECT_EQ(sense->SubState(), 1);
  InThread([&] { CPeripheral::SetClimateRowByteB(f1->ClimateRow(), 3); });
  Polls(f1, 1);
  EXPECT_FALSE(f1->IsFlowTesting());
  InThread([&] { EXPECT_EQ(CPeripheral::GetClimateRowByteB(f1->ClimateRow()), 4u); });
  Level(26, true);
  Polls(sense, 1);
  EXPECT_EQ(sense->SubState(), 2);
}

// ------------------------------------------------------------ outputs

TEST_F(IoPointTest, BeaconsFollowTheMessagesBeaconFlag) {
  Record(1, 40, "20,34");                       // BEACON01 on 32
  Record(2, 700, "34,3000000,5,5,6,1");          // GEN2 beacon on 48, 49
  Begin();
  auto* b = dynamic_cast<CBeacon*>(Live(40));
  auto* g = dynamic_cast<CBeaconIO*>(Live(700));
  ASSERT_NE(b, nullptr);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->Group(), 3);
  EXPECT_EQ(g->Mask(), 0x03);
  EXPECT_STREQ(b->m_pszStatusText, "     OFF");
  g_beacon = 1;
  Steps(20);
  EXPECT_STREQ(b->m_pszStatusText, "      ON");
  EXPECT_STREQ(g->m_pszStatusText, "      ON");
  EXPECT_TRUE(io_->output(32));
  EXPECT_TRUE(io_->output(48));
  EXPECT_TRUE(io_->output(49));
  EXPECT_EQ(b->ReadBack(), 1);
  g_beacon = 0;
  Steps(20);
  EXPECT_FALSE(io_->output(32));
  EXPECT_FALSE(io_->output(48));
  EXPECT_STREQ(g->m_pszStatusText, "     OFF");
}

TEST_F(IoPointTest, GeneralPurposeOutputFollowsItsBitOfTheMask) {
  Record(1, 662, "22,34");  // GP OUTPUT03 on 34
  Record(2, 663, "22,38");  // no board 56: no object
  Begin();
  auto* gpo = dynamic_cast<CGeneralPurposeOutput*>(Live(662));
  ASSERT_NE(gpo, nullptr);
  EXPECT_EQ(Live(663), nullptr);
  InThread([] { g_pPeripheralTask->SetGPOutputRequest(3); });
  Steps(10);
  EXPECT_TRUE(gpo->IsCommandedOn());
  EXPECT_TRUE(io_->output(34));
  InThread([] { g_pPeripheralTask->ClearAllGPOutputRequests(); });
  Steps(10);
  EXPECT_FALSE(gpo->IsCommandedOn());
  EXPECT_FALSE(io_->output(34));
}

// ------------------------------------------------------------ isolation

TEST_F(IoPointTest, IsolationBoardReadingsIncludingADeadSupply) {
  isolation_ = std::make_unique<sim::field_board>(board::q5_wire(), 0x42601, 0x0102);
  isolation_->set_words(243, 120);
  Record(1, 794, "42601,0,0");
  Begin();
  auto* iso = dynamic_cast<CIsolationBoard*>(Live(794));
  ASSERT_NE(iso, nullptr);
  Steps(10 * 4);
  EXPECT_EQ(iso->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(iso->QueryPhase(), 1);
  EXPECT_EQ(iso->m_wVersion, 0x0102);
  const int32_t row = g_power_supply_table.RowOf(iso->PowerSupplyId());
  ASSERT_GE(row, 0);
  struct Case {
    uint16_t in, out;
    uint32_t row_in, row_out, voltage;
    const char* text;
    const char* supply;
  } cases[] = {
      {243, 120, 24, 12, 2430, "24.3V", "POWER SUPPLY PASS"},
      {205, 120, 20, 12, 2050, "PWR FAIL", "LOW VOLTAGE"},
      {0, 0, 0, 0, 0, "PWR FAIL", "POWER SUPPLY FAIL"},  // a dead supply, not the last value
      {250, 240, 25, 24, 2500, "25.0V", "POWER SUPPLY PASS"},
  };
  for (const Case& c : cases) {
    isolation_->set_words(c.in, c.out);
    Steps(10 * 3);
    EXPECT_EQ(V(vol::auxIOPortValue(iso->InputRow())), c.row_in) << c.in;
    EXPECT_EQ(V(vol::auxIOPortValue(iso->OutputRow())), c.row_out) << c.in;
    EXPECT_EQ(V(vol::dmsPowerVoltage(row)), c.voltage) << c.in;
    EXPECT_STREQ(iso->StatusText(), c.text) << c.in;
    EXPECT_EQ(VText(vol::dmsPowerMfrStatus(row)), c.supply) << c.in;
  }
  // Silent on bus 0: no service, COMM ERROR.
  isolation_->set_silent(true);
  Steps(10 * 22);
  EXPECT_EQ(iso->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_EQ(iso->Services(), 0);
  EXPECT_EQ(VText(vol::dmsPowerMfrStatus(row)), "COMM ERROR");
}

TEST_F(IoPointTest, IsolationBoardOnAServiceableBusAsksForServiceWhileSilent) {
  Begin();
  InThread([&] {
    CIsolationBoard b(795, 2, 0x42602, 0);
    b.m_wConfigSlot = 5;
    ASSERT_EQ(b.Init(), 1);
    b.Poll();
    EXPECT_EQ(b.QueryPhase(), 0) << "only identify queries before an identify reply";
    can_packet reply;
    reply.id = 0x42602 + CAN_REPLY_OFFSET;
    reply.flags = CAN_FLAG_DATA;
    reply.length = 8;
    reply.data[0] = CAN_REPLY_IDENTIFY;
    ASSERT_EQ(b.receive(reply), 1u);
    b.Poll();  // heard
    EXPECT_EQ(b.QueryPhase(), 1);
    const uint8_t before = b.Services();
    b.Poll();  // silent poll 1
    EXPECT_EQ(b.Services(), before);
    for (int k = 2; k <= 19; ++k) b.Poll();
    EXPECT_EQ(b.Services() - before, 18) << "silent polls 2 to 19";
    EXPECT_EQ(b.m_byState, PERIPHERAL_READING);
    b.Poll();
    EXPECT_EQ(b.m_byState, PERIPHERAL_COMM_ERROR) << "the 20th silent poll";
  });
}

// ------------------------------------------------------------ AC I/O

TEST(AuxIOBidirect, OneOfNCoding) {
  struct Case {
    uint32_t value, n;
    uint8_t options;
    uint32_t code;
  } cases[] = {{0, 4, 0, 0}, {1, 4, 0, 1}, {3, 4, 0, 4}, {4, 4, 0, 8}, {5, 4, 0, 0},
               {0, 4, 1, 0}, {1, 4, 1, 2}, {3, 4, 1, 8}, {4, 4, 1, 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(CAuxIOBidirect::Encode(c.value, c.n, c.options), c.code) << c.value << "/" << int(c.options);
    if (c.value <= c.n) EXPECT_EQ(CAuxIOBidirect::Decode(c.code, c.n, c.options), c.value) << c.code;
  }
  EXPECT_EQ(CAuxIOBidirect::Decode(3, 4, 0), 0u) << "two points on is no value";
}

TEST_F(IoPointTest, AuxPortOnAnACBoardPutsOutItsValueAndReadsItBackAtStart) {
  auto ac = std::make_unique<sim::field_board>(board::q5_wire(), 0x42701, 3, true);
  ac->set_ac(true);
  ac->set_input(33, true);  // the board reports value 2 on points 32..35
  Record(1, ACIO::TYPE_ID, "42701,F0,FF,F0,F0,0,0");
  Record(2, CAuxIOBidirect::TYPE_ID, "20,4,1EA,0");
  Begin();
  auto* port = dynamic_cast<CAuxIOBidirect*>(Live(CAuxIOBidirect::TYPE_ID));
  ASSERT_NE(port, nullptr);
  ASSERT_GE(port->StatusRow(), 0);
  const uint32_t row = static_cast<uint32_t>(port->StatusRow());
  Steps(40);
  EXPECT_FALSE(port->StartupPending());
  EXPECT_EQ(V(vol::auxIOPortValue(row)), 2u);
  ac->set_input(33, false);
  SetV(vol::auxIOPortValue(row), 3);
  Steps(20);
  EXPECT_TRUE(ac->output(34));
  EXPECT_FALSE(ac->output(33));
  EXPECT_EQ(port->m_byState, 4) << "the points read back on";
  SetV(vol::auxIOPortValue(row), 9);  // above n: 0
  Steps(20);
  EXPECT_EQ(V(vol::auxIOPortValue(row)), 0u);
  EXPECT_FALSE(ac->output(34));
  EXPECT_EQ(ac->unmarked(), 0u);
  // The AC board's bridge refuses a DC board.
  InThread([] {
    acio_bridge b;
    EXPECT_FALSE(b.Init(52, nullptr));
  });
}

// ------------------------------------------------------------ radar

sim::speed_radar g_radar;
sim::serial_device_port g_radar_port(g_radar);

const peripheral_port_ops kRadarPorts = {
    [](uint32_t id) -> CSerialDriver* { return id == CRadar::AUX_PORT ? &g_radar_port : nullptr; },
    [](uint32_t) -> uint32_t { return 1; },
};

TEST_F(IoPointTest, RadarPublishesSpeedsAndHoldsItsMessage) {
  peripheral_set_port_ops(&kRadarPorts);
  g_radar.take_output();
  SetNv(nv::dmsCurrentSpeedLimit, 50);
  SetNvText(db_object{95084, 4}, std::string("\x03\x00\x09\x12\x34", 5));
  SetNv(nv::quorCommConfigProtocol(2), 7);
  Record(1, CRadar::TYPE_ID, "");
  Begin();
  auto* radar = dynamic_cast<CRadar*>(Live(CRadar::TYPE_ID));
  ASSERT_NE(radar, nullptr);
  EXPECT_EQ(Nv(nv::quorCommConfigProtocol(1)), CRadar::PROTOCOL_RADAR);
  ClearSlot(3);
  auto vehicle = [&](unsigned speed) {
    g_radar.vehicle(speed);
    Steps(1);
  };
  auto noise = [&](const std::string& s) {
    g_radar.noise(s);
    Steps(1);
  };
  vehicle(45);
  EXPECT_EQ(V(vol::dmsCurrentSpeed), 45u);
  EXPECT_TRUE(Slot(3).empty()) << "below the threshold";
  vehicle(55);
  EXPECT_EQ(V(vol::dmsCurrentSpeed), 55u);
  EXPECT_EQ(Slot(3), Code(255, 3, 9, 0x1234));
  EXPECT_EQ(V(vol::activationSlotSourceMode(3)), 3u);
  // The poll that read the vehicle counts as the first of the 20.
  Steps(18);
  EXPECT_FALSE(Slot(3).empty());
  Steps(1);
  EXPECT_TRUE(Slot(3).empty());
  // A stray byte is a comm error; the next CR resynchronises.
  noise("\r5x");
  EXPECT_EQ(radar->m_byState, PERIPHERAL_COMM_ERROR);
  vehicle(60);
  EXPECT_EQ(radar->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(V(vol::dmsCurrentSpeed), 60u);
  // Removed: the port it held gets its settings back, no other.
  InThread([] { g_pPeripheralTask->Mediator().Remove(CRadar::TYPE_ID); });
  EXPECT_EQ(Nv(nv::quorCommConfigProtocol(1)), 2u);
  EXPECT_EQ(Nv(nv::quorCommConfigProtocol(2)), 7u);
  EXPECT_TRUE(Slot(3).empty());
  peripheral_set_port_ops(nullptr);
}

}  // namespace
