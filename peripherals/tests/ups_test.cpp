// The external UPS against the simulated unit on the AUX port: each
// dialect's exchange, mains -> battery -> low battery with powerSource, the
// letters and the traps, the silence time-out, and replies of the wrong
// length or format.
#include <algorithm>

#include "peripherals/devices/ups.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/pl_factory.h"
#include "peripherals/pl_mediator.h"
#include "peripherals/tests/power_test_fixture.h"

namespace {

class UpsTest : public PowerTest {
 protected:
  void SetUp() override {
    PowerTest::SetUp();
    inbox_->Unsubscribe();
    inbox_->Subscribe(kPower);
    minuteman_ups::ResetProbe();
    trace_set_level(1);  // the protocol traces
  }
  void TearDown() override {
    InThread([&] { ups_.reset(); });
    port_.reset();
    unit_.reset();
    trace_set_level(0);
    PowerTest::TearDown();
  }
  void Make(uint16_t type, sim::ups_unit::dialect d = sim::ups_unit::dialect::colon_command) {
    unit_ = std::make_unique<sim::ups_unit>(d);
    port_ = std::make_unique<sim::ups_port>(*unit_);
    s_port = port_.get();
    pl_record record;
    record.slot = 3;
    record.type_id = type;
    record.class_code = PCLASS_UPS;
    InThread([&] { ups_.reset(static_cast<CUninterruptiblePowerSupply*>(CUninterruptiblePowerSupply::Create(record))); });
    ASSERT_TRUE(ups_);
  }
  void Polls(int n) {
    InThread([&] {
      for (int i = 0; i < n; ++i) ups_->Poll();
    });
  }
  // Bytes the UPS receives, as if on the line; parsed by the next poll.
  uint32_t Feed(const std::string& bytes) {
    uint32_t complete = 0;
    InThread([&] {
      for (char c : bytes) complete += ups_->ParseReply(static_cast<uint8_t>(c));
    });
    return complete;
  }

  static constexpr uint32_t kPower[] = {MSG_UPS_ON_BATTERY, MSG_UPS_ON_AC, 0};
  std::unique_ptr<sim::ups_unit> unit_;
  std::unique_ptr<sim::ups_port> port_;
  std::unique_ptr<CUninterruptiblePowerSupply> ups_;
};
constexpr uint32_t UpsTest::kPower[];

TEST_F(UpsTest, NamesAndUnknownTypes) {
  EXPECT_STREQ(CUninterruptiblePowerSupply::NameOfType(24), "UPS ALPHA 3500");
  EXPECT_EQ(CUninterruptiblePowerSupply::TypeOfName("UPS TRIPP LITE"), 25);
  EXPECT_EQ(CUninterruptiblePowerSupply::TypeOfName("UPS tripp lite"), 0);
  pl_record record;
  record.type_id = 26;
  record.class_code = PCLASS_UPS;
  EXPECT_EQ(CUninterruptiblePowerSupply::Create(record), nullptr);
}

TEST_F(UpsTest, PortSettingsWhileHeldAndDefaultsAfter) {
  struct row {
    uint16_t type;
    uint32_t protocol, flow, speed;
  };
  const row rows[] = {{20, 6, 2, 1200}, {22, 12, 0, 2400}, {23, 18, 0, 2400}, {24, 19, 0, 9600}, {25, 20, 0, 2400}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.type);
    Make(r.type);
    EXPECT_EQ(Nv(nv::quorCommConfigProtocol(1)), r.protocol);
    EXPECT_EQ(Nv(nv::quorCommConfigFlowControl(1)), r.flow);
    EXPECT_EQ(Nv(nv::rs232PortInSpeed(1)), r.speed);
    EXPECT_EQ(ups_->m_byState, PERIPHERAL_READING);
    EXPECT_TRUE(ups_->HoldsPort());
    EXPECT_EQ(V(vol::dmsPowerNumRows), 1u);
    EXPECT_EQ(VText(vol::dmsPowerDescription(0)), CUninterruptiblePowerSupply::NameOfType(r.type));
    SetNv(nv::quorCommPortReinit, 0);
    InThread([&] { ups_.reset(); });
    EXPECT_EQ(Nv(nv::quorCommConfigProtocol(1)), 2u);
    EXPECT_EQ(Nv(nv::quorCommConfigFlowControl(1)), 0u);
    EXPECT_EQ(Nv(nv::rs232PortInSpeed(1)), 9600u);
    EXPECT_EQ(Nv(nv::quorCommPortReinit), 4u);
    EXPECT_EQ(V(vol::dmsPowerNumRows), 0u);
    EXPECT_FALSE(s_port_lent);
  }
}

// Dropped at a second start: the old kernel's rows stay as they are, the
// port is still handed back.
TEST_F(UpsTest, AbandonedAtASecondStartFreesThePortAndLeavesTheRows) {
  unit_ = std::make_unique<sim::ups_unit>(sim::ups_unit::dialect::colon_command);
  port_ = std::make_unique<sim::ups_port>(*unit_);
  s_port = port_.get();
  pl_factory factory;
  peripheral_register_factories(&factory);
  pl_mediator mediator;
  InThread([&] {
    ASSERT_EQ(mediator.Open(&factory, &mediator), 1);
    ASSERT_EQ(mediator.Create(20, nullptr), 1);
  });
  ASSERT_TRUE(s_port_lent);
  SetNv(nv::quorCommPortReinit, 0);
  InThread([&] { mediator.Abandon(); });
  EXPECT_FALSE(s_port_lent);
  EXPECT_EQ(Nv(nv::quorCommConfigProtocol(1)), 6u);
  EXPECT_EQ(Nv(nv::quorCommPortReinit), 0u);
  EXPECT_EQ(V(vol::dmsPowerNumRows), 1u);
}

TEST_F(UpsTest, AuxPortInUseIsAnInitErrorOnTheRow) {
  // Another owner holds the AUX driver.
  s_port_lent = true;
  unit_ = std::make_unique<sim::ups_unit>(sim::ups_unit::dialect::colon_command);
  port_ = std::make_unique<sim::ups_port>(*unit_);
  s_port = port_.get();
  pl_record record;
  record.slot = 3;
  record.type_id = CUninterruptiblePowerSupply::TYPE_TRIPP;
  record.class_code = PCLASS_UPS;
  InThread([&] { ups_.reset(static_cast<CUninterruptiblePowerSupply*>(CUninterruptiblePowerSupply::Create(record))); });
  ASSERT_TRUE(ups_);
  EXPECT_EQ(ups_->m_byState, PERIPHERAL_INIT_ERROR);
  EXPECT_EQ(ups_->GetErrorCode(), 1u);
  EXPECT_FALSE(ups_->HoldsPort());
  EXPECT_EQ(V(vol::dmsPowerStatus(0)), 3u);
  EXPECT_EQ(VText(vol::dmsPowerMfrStatus(0)), "CONFIGURATION ERROR");
  EXPECT_EQ(V(vol::shortErrorStatus) & 4, 4u);
  Polls(5);
  EXPECT_EQ(port_->take_sent(), "") << "no queries without the port";
  EXPECT_EQ(ups_->m_byState, PERIPHERAL_INIT_ERROR);
  InThread([&] { ups_.reset(); });
  EXPECT_TRUE(s_port_lent) << "the other owner keeps its port";
  EXPECT_EQ(V(vol::shortErrorStatus) & 4, 0u);
}

TEST_F(UpsTest, ColonDialectMainsBatteryLowBattery) {
  Make(CUninterruptiblePowerSupply::TYPE_TRIPP);
  unit_->set_line_volts(118);
  unit_->set_battery_volts(27);
  Polls(3);
  EXPECT_EQ(port_->take_sent(), std::string(":S\xAC\r:D\xBB\r:S\xAC\r"));
  EXPECT_EQ(ups_->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(V(vol::powerSource), 4u);
  EXPECT_EQ(V(vol::lineVolts), 118u);
  EXPECT_EQ(V(vol::signVolts), 270u);
  EXPECT_EQ(Letters(), std::vector<uint32_t>{MSG_UPS_ON_AC});
  EXPECT_EQ(TrapCodes(), std::vector<uint32_t>{10});

  unit_->set_mode(sim::ups_unit::mode::battery);
  Polls(4);
  EXPECT_EQ(V(vol::powerSource), 7u);
  EXPECT_EQ(V(vol::lineVolts) == 0 || V(vol::lineVolts) == 118, true);
  EXPECT_EQ(Letters(), std::vector<uint32_t>{MSG_UPS_ON_BATTERY}) << "once, however many replies say battery";
  EXPECT_EQ(TrapCodes(), (std::vector<uint32_t>{10, 4, 9})) << "the row's error goes out before the battery trap";
  EXPECT_EQ(VText(vol::dmsPowerMfrStatus(0)), "POWER SUPPLY FAIL");
  EXPECT_EQ(V(vol::shortErrorStatus) & 4, 4u);

  unit_->set_mode(sim::ups_unit::mode::mains);
  Polls(3);
  EXPECT_EQ(V(vol::powerSource), 4u);
  EXPECT_EQ(Letters(), std::vector<uint32_t>{MSG_UPS_ON_AC});
  EXPECT_EQ(V(vol::dmsPowerStatus(0)), 2u);
  EXPECT_EQ(V(vol::shortErrorStatus) & 4, 0u);
}

TEST_F(UpsTest, StatusByteDialectLowBatteryOverloadAndBadBattery) {
  Make(CUninterruptiblePowerSupply::TYPE_POWERCOM, sim::ups_unit::dialect::status_byte);
  Polls(2);
  EXPECT_EQ(port_->take_sent(), std::string("\x01\x01", 2));
  EXPECT_EQ(V(vol::powerSource), 4u);
  s_traps.clear();

  // Low battery on mains: the row's error, no trap 18.
  unit_->set_mode(sim::ups_unit::mode::low_battery);
  SetV(vol::powerSource, 4);
  InThread([&] {
    ups_->Poll();
  });
  // The unit says battery and low at once: battery first, then low.
  Polls(1);
  EXPECT_EQ(V(vol::powerSource), 7u);
  EXPECT_EQ(VText(vol::dmsPowerMfrStatus(0)), "LOW BATTERY");
  EXPECT_EQ(TrapCodes(), (std::vector<uint32_t>{4, 9, 18}));
  EXPECT_EQ(ups_->Reported() & (UPS_REPORTED_LOW | UPS_REPORTED_BATTERY), UPS_REPORTED_LOW | UPS_REPORTED_BATTERY);

  s_traps.clear();
  unit_->set_mode(sim::ups_unit::mode::mains);
  unit_->set_overload(true);
  Polls(2);
  EXPECT_EQ(TrapCodes(), (std::vector<uint32_t>{10, 4, 11})) << "AC, then the overload's power error and its trap";
  unit_->set_overload(false);
  unit_->set_bad_battery(true);
  Polls(2);
  EXPECT_EQ(VText(vol::dmsPowerMfrStatus(0)), "BAD BATTERY");
  EXPECT_EQ(TrapCodes().back(), 4u);
  const std::vector<uint32_t> codes = TrapCodes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 12u), 1);
}

TEST_F(UpsTest, LowBatteryWhileOnAcRaisesTheErrorWithoutTrap18) {
  Make(CUninterruptiblePowerSupply::TYPE_POWERCOM, sim::ups_unit::dialect::status_byte);
  SetV(vol::powerSource, 4);
  // Byte 9: battery low only.
  std::string reply(11, '\0');
  reply[9] = 0x02;
  ASSERT_EQ(Feed(reply), 1u);
  InThread([&] { ups_->EvaluateStatus(); });
  EXPECT_EQ(VText(vol::dmsPowerMfrStatus(0)), "LOW BATTERY");
  const std::vector<uint32_t> codes = TrapCodes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 18u), 0);
}

TEST_F(UpsTest, Q1DialectFixedFields) {
  Make(CUninterruptiblePowerSupply::TYPE_CLARY, sim::ups_unit::dialect::q1_line);
  unit_->set_mode(sim::ups_unit::mode::low_battery);
  Polls(2);
  EXPECT_EQ(port_->take_sent(), "Q1\r") << "phases 2 and 3 send nothing";
  EXPECT_EQ(V(vol::powerSource), 7u);
  EXPECT_EQ(ups_->StatusFlags() & (UPS_ON_BATTERY | UPS_BATTERY_LOW), UPS_ON_BATTERY | UPS_BATTERY_LOW);
  // A '?' leaves the flag as it was.
  InThread([&] { ups_->SendQuery(1, 22); });
  EXPECT_EQ(Feed("(120.0 140.0 120.0 034 59.9 2.70 35.0 ?0000000\r"), 1u);
  EXPECT_EQ(ups_->StatusFlags() & (UPS_ON_BATTERY | UPS_BATTERY_LOW), UPS_ON_BATTERY);
}

TEST_F(UpsTest, SilenceGivesOneTimeoutAndCommError) {
  Make(CUninterruptiblePowerSupply::TYPE_TRIPP);
  Polls(3);
  unit_->set_mode(sim::ups_unit::mode::silent);
  trace_set_level(1);
  trace_capture capture;
  Polls(121);  // the first still reads the answer to the last query
  EXPECT_EQ(ups_->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_EQ(V(vol::powerSource), 4u) << "the last values stay";
  Polls(30);
  size_t n = 0;
  for (size_t at = 0; (at = capture.text().find("Warning: UPS Comm Timeout 25", at)) != std::string::npos; ++at) ++n;
  trace_set_level(0);
  EXPECT_EQ(n, 1u);
  unit_->set_mode(sim::ups_unit::mode::mains);
  Polls(2);
  EXPECT_EQ(ups_->m_byState, PERIPHERAL_VALID);
}

TEST_F(UpsTest, GarbageNeverCompletesAStatusReply) {
  struct row {
    uint16_t type;
    sim::ups_unit::dialect d;
  };
  for (const row& r : {row{20, sim::ups_unit::dialect::status_byte}, row{22, sim::ups_unit::dialect::q1_line}}) {
    SCOPED_TRACE(r.type);
    Make(r.type, r.d);
    unit_->set_mode(sim::ups_unit::mode::garbage);
    Polls(12);
    EXPECT_EQ(ups_->m_byState, PERIPHERAL_READING);
    EXPECT_EQ(V(vol::powerSource), 0u);
    EXPECT_EQ(ups_->StatusFlags(), 0u);
    InThread([&] { ups_.reset(); });
  }
}

TEST_F(UpsTest, MalformedRepliesAreRefused) {
  // Powercom: shorter than 10 bytes.
  Make(CUninterruptiblePowerSupply::TYPE_POWERCOM, sim::ups_unit::dialect::status_byte);
  EXPECT_EQ(Feed(std::string(9, '\x01')), 0u);
  EXPECT_EQ(ups_->StatusFlags(), 0u);
  // An endless stream completes one reply and never wraps back onto the
  // status bytes.
  InThread([&] { ups_->SendQuery(1, 20); });
  EXPECT_EQ(Feed(std::string(600, '\x01')), 1u);

  // Clary: a field not ended by a space, a reply cut short, one too long.
  Make(CUninterruptiblePowerSupply::TYPE_CLARY, sim::ups_unit::dialect::q1_line);
  trace_capture capture;
  EXPECT_EQ(Feed("(120.0x140.0 120.0 034 59.9 2.70 35.0 11000000\r"), 0u);
  EXPECT_EQ(Feed("(120.0 140.0 120.0 034 59.9 2.70 35.0 110\r"), 0u);
  EXPECT_EQ(Feed("(120.0 140.0 120.0 034 59.9 2.70 35.0 110000001\r"), 0u);
  EXPECT_EQ(ups_->StatusFlags(), 0u);
  EXPECT_TRUE(capture.contains("clary_ups::ParseReply"));
}

TEST_F(UpsTest, ColonDialectStatusCodes) {
  Make(CUninterruptiblePowerSupply::TYPE_TRIPP);
  InThread([&] { ups_->SendQuery(1, 25); });
  EXPECT_EQ(Feed(std::string("S000\x04", 5)), 2u) << "the letter and the status";
  EXPECT_TRUE(ups_->StatusFlags() & UPS_ON_BATTERY);
  EXPECT_EQ(Feed(std::string("S000\x07", 5)), 1u) << "an unknown status changes nothing";
  EXPECT_TRUE(ups_->StatusFlags() & UPS_ON_BATTERY);
  EXPECT_EQ(Feed(std::string("S000\x00", 5)), 2u);
  EXPECT_FALSE(ups_->StatusFlags() & UPS_ON_BATTERY);
}

TEST_F(UpsTest, MinutemanProbesTheSpeedThenPolls) {
  Make(CUninterruptiblePowerSupply::TYPE_MINUTEMAN);
  std::vector<uint32_t> speeds;
  // The unit answers at 2400 only.
  for (int q = 0; q < 40 && !static_cast<minuteman_ups*>(ups_.get())->SpeedLocked(); ++q) {
    InThread([&] { ups_->SendQuery(1, 21); });
    const uint32_t speed = Nv(nv::rs232PortInSpeed(1));
    if (speeds.empty() || speeds.back() != speed) speeds.push_back(speed);
    if (speed == 2400) Feed("^D0052400\r");
  }
  EXPECT_EQ(speeds, (std::vector<uint32_t>{9600, 19200, 1200, 2400}));
  EXPECT_EQ(Nv(nv::rs232PortInSpeed(1)), 2400u);
  EXPECT_EQ(port_->take_sent().substr(0, 8), "^P003UBR");

  InThread([&] { ups_->SendQuery(1, 21); });
  EXPECT_EQ(port_->take_sent(), "^P003ST3");
  EXPECT_EQ(Feed("^D0011"), 1u);
  EXPECT_TRUE(ups_->StatusFlags() & UPS_ON_BATTERY);
  InThread([&] { ups_->SendQuery(2, 21); });
  EXPECT_EQ(Feed("^D030x,1,a,b,c,d,272,9\r"), 0u);
  EXPECT_TRUE(ups_->StatusFlags() & UPS_BATTERY_LOW);
  EXPECT_EQ(ups_->BatteryVoltage(), 2720u);
  InThread([&] { ups_->SendQuery(3, 21); });
  EXPECT_EQ(Feed("^D010a,b,c,1,x\r"), 0u);
  EXPECT_TRUE(ups_->StatusFlags() & UPS_OVERLOAD);

  // A speed changed by hand starts the probe again at 9600.
  SetNv(nv::rs232PortInSpeed(1), 4800);
  InThread([&] { ups_->SendQuery(1, 21); });
  EXPECT_EQ(Nv(nv::rs232PortInSpeed(1)), 9600u);
  EXPECT_FALSE(static_cast<minuteman_ups*>(ups_.get())->SpeedLocked());
}

// Alpha 3500 frames: '{', L, source, destination, command, data..., the
// checksum over L bytes from offset 2, '}'.
std::string AlphaFrame(uint8_t command, size_t checksum_at, const std::vector<std::pair<size_t, uint8_t>>& data) {
  std::string f(checksum_at + 2, '\0');
  f[0] = '{';
  f[1] = static_cast<char>(checksum_at - 2);
  f[2] = 0x03;
  f[3] = static_cast<char>(0x80);
  f[4] = static_cast<char>(command);
  for (auto [at, v] : data) f[at] = static_cast<char>(v);
  uint8_t sum = 0;
  for (size_t i = 2; i < checksum_at; ++i) sum = static_cast<uint8_t>(sum + f[i]);
  f[checksum_at] = static_cast<char>(sum);
  f[checksum_at + 1] = '}';
  return f;
}

TEST_F(UpsTest, Alpha3500Frames) {
  Make(CUninterruptiblePowerSupply::TYPE_ALPHA_3500);
  InThread([&] { ups_->SendQuery(1, 24); });
  EXPECT_EQ(port_->take_sent(), std::string("\x7B\x03\x80\x03\xD4\x57\x7D"));
  InThread([&] { ups_->SendQuery(2, 24); });
  EXPECT_EQ(port_->take_sent(), std::string("\x7B\x03\x80\x03\xDA\x5D\x7D"));

  // Mode 3 with alarm A's line bit clear stays on AC.
  EXPECT_EQ(Feed(AlphaFrame(0xD4, 17, {{6, 3}, {10, 0x00}})), 1u);
  EXPECT_FALSE(ups_->StatusFlags() & UPS_ON_BATTERY);
  EXPECT_EQ(Feed(AlphaFrame(0xD4, 17, {{6, 3}, {10, 0x05}, {14, 0x02}})), 1u);
  EXPECT_EQ(ups_->StatusFlags() & 0x0F, UPS_ON_BATTERY | UPS_BATTERY_LOW | UPS_OVERLOAD);
  EXPECT_EQ(Feed(AlphaFrame(0xDA, 23, {{9, 0x01}, {10, 0x10}, {18, 121}})), 1u);
  EXPECT_EQ(ups_->BatteryVoltage(), 0x110u * 10);
  EXPECT_EQ(ups_->LineVoltage(), 121);

  trace_capture capture;
  std::string bad = AlphaFrame(0xD4, 17, {});
  bad[17] = static_cast<char>(bad[17] + 1);
  EXPECT_EQ(Feed(bad), 0u);
  EXPECT_TRUE(capture.contains("Alpha 3500 System Status - Invalid Checksum"));
  bad = AlphaFrame(0xDA, 23, {});
  bad[2] = 0x04;
  EXPECT_EQ(Feed(bad), 0u);
  EXPECT_TRUE(capture.contains("Alpha 3500 Overview Status - OV Source id not 0x03"));
  // Frames too short for their fields, or claiming more bytes than they hold.
  EXPECT_EQ(Feed(std::string("{\x03\x03\x80\xD4\x57}", 7)), 0u);
  bad = AlphaFrame(0xD4, 17, {});
  bad[1] = static_cast<char>(200);
  EXPECT_EQ(Feed(bad), 0u);
  EXPECT_EQ(Feed(std::string("{\x03\x03\x80\x99\x57}", 7)), 0u);
  EXPECT_TRUE(capture.contains("Alpha 3500 - Invalid command byte"));
  // A stream without an end is dropped at the buffer's size.
  EXPECT_EQ(Feed(std::string(700, 'a')), 0u);
}

TEST_F(UpsTest, AlphaFxmLines) {
  Make(CUninterruptiblePowerSupply::TYPE_ALPHA_FXM);
  InThread([&] { ups_->SendQuery(2, 23); });
  EXPECT_EQ(port_->take_sent(), "2\r");
  EXPECT_EQ(Feed("Input: 119.6 V\r\n"), 1u);
  EXPECT_EQ(ups_->LineVoltage(), 120);
  EXPECT_EQ(Feed("Battery: 27.2V\r\n"), 1u);
  EXPECT_EQ(ups_->BatteryVoltage(), 2720u);
  EXPECT_EQ(Feed("Output: 120.0\r\n"), 1u);
  EXPECT_EQ(Feed("nothing here\r\n"), 0u);
  // Lines without the character they need give no value.
  const uint32_t flags = ups_->StatusFlags();
  EXPECT_EQ(Feed("Input: 119\r\n"), 1u);
  EXPECT_EQ(Feed("Battery: 27\r\n"), 1u);
  EXPECT_EQ(ups_->StatusFlags(), flags);

  // "*event001" of length 75: bad battery at 58, mode at L-5..L-3.
  std::string e(75, '0');
  e.replace(0, 9, "*event001");
  e[58] = '1';
  e.replace(70, 3, "006");
  e[74] = '\n';
  EXPECT_EQ(Feed(e), 1u);
  EXPECT_TRUE(ups_->StatusFlags() & UPS_BAD_BATTERY);
  EXPECT_TRUE(ups_->StatusFlags() & UPS_ON_BATTERY);
  // Length 66 completes but changes nothing.
  std::string s(66, '0');
  s.replace(0, 9, "*event001");
  s[65] = '\n';
  const uint32_t before = ups_->StatusFlags();
  EXPECT_EQ(Feed(s), 1u);
  EXPECT_EQ(ups_->StatusFlags(), before);
}

}  // namespace
