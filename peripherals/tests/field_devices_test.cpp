// The CAN sensor and I/O-board drivers against simulated field boards on
// the controller's own CAN bus: readings into their status rows, silence
// and recovery, malformed answers, the DC I/O board's set-up sequence and
// its clients' points, and the fan failure trap.
#include <memory>
#include <string>
#include <vector>

#include "frame/peripheral/peripheral_trap.h"
#include "peripherals/devices/dcio.h"
#include "peripherals/devices/fan_heater_io.h"
#include "peripherals/devices/fan_rpm.h"
#include "peripherals/devices/humidity_light.h"
#include "peripherals/devices/sensor_ops.h"
#include "peripherals/devices/temperature.h"
#include "peripherals/tests/task_fixture.h"
#include "sim/can/field_board.h"

namespace {

class FieldDeviceTest : public TaskFixture {
 protected:
  void SetUp() override {
    SetUpFieldDevices();
  }
  void TearDown() override {
    boards_.clear();
    TaskFixture::TearDown();
  }
  sim::field_board* Board(uint32_t address, uint16_t firmware = 5, bool io = false) {
    boards_.push_back(std::make_unique<sim::field_board>(board::q5_wire(), address, firmware, io));
    return boards_.back().get();
  }
  template <class T>
  T* Get(uint16_t type) {
    return dynamic_cast<T*>(Live(type));
  }
  // Starts with the real creators only.
  void Begin() {
    Start(3, false);
    install_sensor_device_ops();
  }
  static int8_t S8(db_object o) { return static_cast<int8_t>(V(o)); }
  static std::vector<uint8_t> Bytes(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(o.offset, o.width, Db().mib_v, &n);
    return std::vector<uint8_t>(p, p + n);
  }
  static bool MapBit(db_object o, int32_t row) {
    auto b = Bytes(o);
    return row >= 0 && static_cast<size_t>(row / 8) < b.size() && (b[row / 8] >> (row % 8) & 1);
  }
  static uint32_t StatusValue(uint32_t row) { return V(vol::auxIOPortValue(row)); }

  std::vector<std::unique_ptr<sim::field_board>> boards_;
};

// ---------------------------------------------------------------- temperature

TEST_F(FieldDeviceTest, SignSensorLimitsFollowTheShutOffTemperature) {
  struct Case {
    uint32_t shut_off;
    int8_t hw, hc;
  } cases[] = {{90, 87, 90}, {85, 82, 85}, {110, 82, 85}, {86, 83, 86}, {109, 106, 109}};
  for (const Case& c : cases) {
    SetNv(nv::quorShutOffTemp, c.shut_off);
    int32_t row = -1;
    InThread([&] {
      CTemperature t(13, 0, 0x42300, 0);
      t.m_wConfigSlot = 0;
      ASSERT_EQ(t.Init(), 1);
      row = t.TableRow();
      ASSERT_GE(row, 0);
      EXPECT_EQ(S8(vol::dmsTempSensorHighWarningTemperature(row)), c.hw) << c.shut_off;
      EXPECT_EQ(S8(vol::dmsTempSensorLowWarningTemperature(row)), -40);
      EXPECT_EQ(S8(vol::dmsTempSensorHighCriticalTemperature(row)), c.hc);
      EXPECT_EQ(S8(vol::dmsTempSensorLowCriticalTemperature(row)), -128);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(Bytes(vol::dmsTempSensorDescription(row)).data()),
                            Bytes(vol::dmsTempSensorDescription(row)).size()),
                "TEMPSIGN1");
    });
    EXPECT_EQ(V(vol::tempStatus(row)), 0u) << "the row is free again";
  }
}

TEST_F(FieldDeviceTest, TemperatureSensorReadsWarnsFailsAndRecovers) {
  SetNv(nv::quorShutOffTemp, 90);
  sim::field_board* sensor = Board(0x42301, 0x0203);
  sensor->set_byte(25);
  Record(0, 13, "42301,0,0");
  Begin();
  CTemperature* t = Get<CTemperature>(13);
  ASSERT_NE(t, nullptr);
  ASSERT_GE(t->TableRow(), 0);
  const int32_t row = t->TableRow();
  Steps(30);
  EXPECT_EQ(t->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(S8(vol::tempReading(row)), 25);
  EXPECT_EQ(V(vol::tempStatus(row)), 2u);
  EXPECT_EQ(t->m_wVersion, 0x0203) << "identified when it joined the bus";
  EXPECT_EQ(static_cast<int32_t>(StatusValue(t->StatusRow())), 25);
  int8_t reading = 0;
  ASSERT_TRUE(peripheral_devices().temperature(t, &reading));
  EXPECT_EQ(reading, 25);

  // Warning above 87, critical above 90, each with 3 degrees of hysteresis.
  struct Step {
    int8_t value;
    bool warning, critical;
  } steps[] = {{87, false, false}, {88, true, false}, {91, true, true},
               {87, true, true},   {86, true, false}, {84, true, false}, {83, false, false}};
  for (const Step& s : steps) {
    sensor->set_byte(s.value);
    Steps(20);
    EXPECT_EQ(MapBit(vol::tempWarningMap, row), s.warning) << int(s.value);
    EXPECT_EQ(MapBit(vol::tempCriticalMap, row), s.critical) << int(s.value);
    EXPECT_EQ((V(vol::shortErrorStatus) & 0x200) != 0, s.warning) << int(s.value);
    EXPECT_EQ((V(vol::shortErrorStatus) & 0x800) != 0, s.critical) << int(s.value);
  }

  // Silence: after 40000 ticks the row fails with reading 0.
  sensor->set_byte(30);
  sensor->set_silent(true);
  Steps(40000 / kCycle + 20);
  EXPECT_EQ(t->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_TRUE(MapBit(vol::tempFailureMap, row));
  EXPECT_EQ(V(vol::tempStatus(row)), 3u);
  EXPECT_EQ(S8(vol::tempReading(row)), 0);
  EXPECT_EQ(StatusValue(t->StatusRow()), 0u);

  // Back: the first reading clears the failure and shows at once.
  sensor->set_silent(false);
  for (int n = 0; n < 40 && t->m_byState != PERIPHERAL_VALID; ++n) Steps(1);
  EXPECT_EQ(t->m_byState, PERIPHERAL_VALID);
  EXPECT_FALSE(MapBit(vol::tempFailureMap, row));
  EXPECT_EQ(V(vol::tempStatus(row)), 2u);
  EXPECT_EQ(S8(vol::tempReading(row)), 30);
}

TEST_F(FieldDeviceTest, CriticalSummariesAreTheExtremesOfTheRowsInUse) {
  SetNv(nv::quorShutOffTemp, 90);
  struct Step {
    int add;  // index into rows to add, or -1 - index to remove
    int8_t max_high, min_low;
  } steps[] = {
      {0, -5, -60},        // one row below zero: its own limits, not 0
      {1, -5, -60},        //
      {-1 - 0, -10, -20},  // the other row's
      {2, 40, -20},        //
      {-1 - 1, 40, 10},    //
      {-1 - 2, 0, 0},      // no row left
  };
  const int8_t limits[][2] = {{-5, -60}, {-10, -20}, {40, 10}};
  int32_t rows[3] = {-1, -1, -1};
  InThread([&] {
    for (const Step& s : steps) {
      if (s.add >= 0)
        ASSERT_EQ(CTemperature::AddTableRow(&rows[s.add], "T", 0, 0, limits[s.add][0], limits[s.add][1]), 1);
      else
        CTemperature::RemoveTableRow(&rows[-1 - s.add]);
      EXPECT_EQ(S8(vol::dmsTempSensorMaxHighCritical), s.max_high) << s.add;
      EXPECT_EQ(S8(vol::dmsTempSensorMinLowCritical), s.min_low) << s.add;
    }
  });
}

TEST_F(FieldDeviceTest, MalformedRepliesAreDroppedWithoutAReading) {
  sim::field_board* sensor = Board(0x42301);
  sensor->set_byte(20);
  Record(0, 12, "42301,0,0");
  Begin();
  CTemperature* t = Get<CTemperature>(12);
  ASSERT_NE(t, nullptr);
  Steps(25);
  ASSERT_EQ(t->Reading(), 20);
  struct Case {
    const char* what;
    uint8_t dlc;
    uint32_t offset;
    uint8_t code;
  } cases[] = {{"short", 4, 128, 0}, {"wrong identifier", 8, 129, 0},
               {"no reply offset", 8, 0, 0}, {"unknown reply code", 8, 128, 0x41}};
  int8_t value = 21;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sensor->set_reply_length(c.dlc);
    sensor->set_reply_offset(c.offset);
    sensor->set_read_code(c.code);
    sensor->set_byte(value);
    Steps(25);
    EXPECT_EQ(t->Reading(), 20);
    EXPECT_EQ(S8(vol::tempReading(t->TableRow())), 20);
    ++value;
  }
  sensor->set_reply_length(8);
  sensor->set_reply_offset(128);
  sensor->set_read_code(0);
  Steps(25);
  EXPECT_EQ(t->Reading(), value - 1);
}

TEST_F(FieldDeviceTest, MalformedInputReportsNeitherCountNorNotify) {
  sim::field_board* io = Board(0x42401, 4, true);
  Record(0, 52, "42401,F0,FF,F0,F0,0,0");
  Begin();
  DCIO* board = Get<DCIO>(52);
  ASSERT_NE(board, nullptr);
  Steps(20);
  ASSERT_TRUE(board->IsOperational());
  io->set_input(24, true);
  io->set_reply_length(3);
  Steps(10);
  EXPECT_EQ(board->m_LastInput.data[3], 0) << "a 3-byte report is never read past its length";
  io->set_reply_length(8);
  Steps(4);
  EXPECT_EQ(board->m_LastInput.data[3], 0x01);
}

// ---------------------------------------------------------------- humidity and light

TEST_F(FieldDeviceTest, SignHumidityAverageAndSilence) {
  sim::field_board* a = Board(0x42311);
  sim::field_board* b = Board(0x42312);
  a->set_byte(40);
  b->set_byte(45);
  Record(0, 631, "42311,0,0");
  Record(1, 633, "42312,0,0");
  Begin();
  CHumidity* ha = Get<CHumidity>(631);
  CHumidity* hb = Get<CHumidity>(633);
  ASSERT_TRUE(ha && hb);
  Steps(40);
  EXPECT_EQ(ha->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(hb->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(V(vol::humiditySignAverage), 42u);
  EXPECT_EQ(V(vol::humidityReading(hb->TableRow())), 45u);

  b->set_silent(true);
  for (int n = 0; n < 10 * 13 && hb->m_byState != PERIPHERAL_COMM_ERROR; ++n) Steps(1);
  EXPECT_EQ(hb->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_EQ(V(vol::humiditySignAverage), 40u) << "the failed sensor leaves the average at once";
  EXPECT_EQ(V(vol::humidityStatus(hb->TableRow())), 3u);
  EXPECT_TRUE(V(vol::shortErrorStatus) & 0x4000);
  Steps(20);
  EXPECT_EQ(V(vol::humiditySignAverage), 40u);

  b->set_silent(false);
  Steps(30);
  EXPECT_EQ(hb->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(V(vol::humidityStatus(hb->TableRow())), 2u);
  EXPECT_FALSE(V(vol::shortErrorStatus) & 0x4000);
}

TEST_F(FieldDeviceTest, HumiditySensorThatNeverIdentifiesNeverReads) {
  sim::field_board* a = Board(0x42311);
  a->set_byte(40);
  a->set_silent(true);
  Record(0, 630, "42311,0,0");
  Begin();
  Steps(60);
  for (uint8_t command : a->commands()) EXPECT_EQ(command, 0x02);
  EXPECT_FALSE(a->commands().empty());
}

TEST_F(FieldDeviceTest, LightLevelIsScaledForPhotocellBoards) {
  SetNv(nv::quorPhotocellScale, 50);
  sim::field_board* scaled = Board(0x42015);
  sim::field_board* plain = Board(0x42321);
  scaled->set_words(2000, 1000);
  plain->set_words(2000, 1000);
  Record(0, 1, "42015,0,0");
  Record(1, 2, "42321,0,0");
  Begin();
  Steps(40);
  CLight* s = Get<CLight>(1);
  CLight* p = Get<CLight>(2);
  ASSERT_TRUE(s && p);
  EXPECT_EQ(s->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(s->GetOutputLevel(), 500);
  EXPECT_EQ(s->FirstReading(), 1000);
  EXPECT_EQ(V(vol::lightReading(s->TableRow())), 500u);
  EXPECT_EQ(p->GetOutputLevel(), 1000);
  uint16_t level = 0;
  ASSERT_TRUE(peripheral_devices().light_output_level(p, &level));
  EXPECT_EQ(level, 1000);
}

TEST_F(FieldDeviceTest, SilentLightSensorFailsAfterEightyReads) {
  sim::field_board* l = Board(0x42321);
  l->set_words(1, 700);
  Record(0, 2, "42321,2,0");
  Begin();
  Steps(40);
  CLight* s = Get<CLight>(2);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->m_byState, PERIPHERAL_VALID);
  l->set_silent(true);
  trace_capture capture;
  // 80 reads take 88 polls (one identify after every ten reads).
  Steps(10 * 90);
  EXPECT_EQ(s->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_EQ(V(vol::lightStatus(s->TableRow())), 3u);
  EXPECT_TRUE(V(vol::shortErrorStatus) & 0x40);
  EXPECT_EQ(s->GetOutputLevel(), 0);
  EXPECT_NE(capture.text().find("Light Comm Error timeout = 80\n"), std::string::npos);
  EXPECT_LE(s->Services(), 10);
  l->set_silent(false);
  Steps(30);
  EXPECT_EQ(s->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(s->GetOutputLevel(), 700);
}

// ---------------------------------------------------------------- DC I/O boards

TEST_F(FieldDeviceTest, DcioSetUpSequenceDependsOnTypeAndRevision) {
  struct Case {
    uint16_t type;
    uint16_t revision;
    std::vector<uint8_t> config;  // the 03 frames' byte 7 in order
  } cases[] = {
      {52, 4, {0x00}},        // directions only
      {52, 5, {0x07, 0x00}},  // extended set-up, directions (no triggers held)
      {55, 5, {0x00}},        // the HCB skips the extended set-up
  };
  Begin();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type * 100 + c.revision);
    boards_.clear();
    sim::field_board* io = Board(0x42401, c.revision, true);
    InThread([&] { ASSERT_EQ(task_->CreatePeripheral(c.type, "42401,F0,FF,F0,F0,0,0"), 1); });
    Steps(60);
    DCIO* board = Get<DCIO>(c.type);
    ASSERT_NE(board, nullptr);
    EXPECT_TRUE(board->IsOperational());
    EXPECT_EQ(board->m_wVersion, c.revision);
    EXPECT_EQ(board->m_byState, PERIPHERAL_VALID);
    std::vector<uint8_t> config;
    for (const board::can_frame& f : io->received())
      if (f.data[0] == 0x03) config.push_back(f.data[7]);
    EXPECT_EQ(config, c.config);
    ASSERT_FALSE(io->received().empty());
    EXPECT_EQ(io->received().front().data[0], 0x02);
    EXPECT_EQ(io->received().back().data[0], 0x00);
    InThread([&] { task_->Mediator().Remove(c.type); });
  }
}

TEST_F(FieldDeviceTest, DcioRefusesBadDirectionsAndNamesTypes) {
  InThread([&] {
    DCIO board(DCIO::CLASS_CODE, 52, 0, 0x42401, 0);
    EXPECT_EQ(board.Init(0xF0, 0xFE, 0xF0, 0xF0), 0);
    EXPECT_EQ(board.m_byState, PERIPHERAL_INIT_ERROR);
  });
  EXPECT_EQ(DCIO::TypeOfName("DC I/O 1"), 50);
  EXPECT_EQ(DCIO::TypeOfName("PROD BRD IO"), 0);
  EXPECT_EQ(DCIO::TypeOfName("dc i/o 2"), 0);
  EXPECT_EQ(DCIO::TypeOfName("MINI I/O LINE 6"), 175);
  EXPECT_STREQ(DCIO::NameOfType(56), "DC I/O 6");
  EXPECT_EQ(DCIO::NameOfType(57), nullptr);
}

class BridgeTest : public FieldDeviceTest {
 protected:
  void SetUp() override {
    FieldDeviceTest::SetUp();
    io_ = Board(0x42401, 4, true);
    Record(0, 52, "42401,F0,FF,F0,FF,0,0");
    Begin();
    board_ = Get<DCIO>(52);
    ASSERT_NE(board_, nullptr);
  }
  sim::field_board* io_ = nullptr;
  DCIO* board_ = nullptr;
};

TEST_F(BridgeTest, RegistrationsAreCheckedAgainstDirectionsAndClaims) {
  InThread([&] {
    test_peripheral a(50, 900), b(50, 901);
    dcio_bridge ba, bb;
    ASSERT_TRUE(ba.Init(52, &a));
    ASSERT_TRUE(bb.Init(52, &b));
    uint32_t p32 = 0, p24 = 0, p56 = 0;
    dcio_bridge::ChannelMask(32, &p32, true);
    dcio_bridge::ChannelMask(24, &p24, true);
    dcio_bridge::ChannelMask(56, &p56, true);
    dcio_bridge::ChannelMask(23, &p56, false);
    EXPECT_EQ(p32, 1u << 8);
    EXPECT_EQ(p56, 0u) << "points outside 24..55 leave the mask alone";

    const uint32_t out = ba.Register(interface_cfg(p32, 1, 0, 0));
    EXPECT_NE(out, 0u);
    EXPECT_EQ(bb.Register(interface_cfg(p32, 1, 0, 0)), 0u) << "conflict";
    EXPECT_EQ(bb.Register(interface_cfg(p24, 1, 0, 0)), 0u) << "output on an input port";
    EXPECT_EQ(bb.Register(interface_cfg(p32, 0, 0, 0)), 0u) << "input on an output port";
    EXPECT_EQ(bb.Register(interface_cfg(0, 0, p32, 1)), 0u) << "trigger on an output port";
    interface_cfg override_cfg(1u << 16 | 1u, 0, 0, 0);  // points 24 and 40: inputs
    const uint32_t in = bb.Register(override_cfg);
    ASSERT_NE(in, 0u);
    // Points 24 (held by the other client) and 25 (free), with triggers.
    interface_cfg shared(1u | 2u, 0, 1u | 2u, 2);
    shared.m_byReadOnlyOverride = 1;
    EXPECT_NE(bb.Register(interface_cfg(0, 0, 1u, 2)), 0u);
    const uint32_t over = ba.Register(shared);
    EXPECT_NE(over, 0u) << "read-only override on a claimed point";
    EXPECT_TRUE(board_->m_Claimed.Has(25));
    EXPECT_TRUE(ba.UnRegister(over));
    EXPECT_TRUE(board_->m_Claimed.Has(24)) << "the other client's point stays its own";
    EXPECT_TRUE(board_->TriggerSet(2).Has(24));
    EXPECT_FALSE(board_->m_Claimed.Has(25)) << "what the override took is freed";
    EXPECT_FALSE(board_->TriggerSet(2).Has(25));
    EXPECT_TRUE(board_->m_Claimed.Has(40));
    EXPECT_EQ(bb.CountChannels(in), 2);
    EXPECT_EQ(bb.Register(interface_cfg(1u, 0, 0, 0)), 0u) << "still a conflict for an owner";

    // Get: the k-th channel's level is bit k.
    board_->m_LastInput.data[5] = 0x01;  // point 40
    EXPECT_EQ(bb.Get(in, 0), 2u);
    board_->m_LastInput.data[3] = 0x01;  // point 24
    EXPECT_EQ(bb.Get(in, 0), 3u);

    // Set twice with the same bits: one change.
    ba.Set(out, 1);
    interface_cfg* n = ba.Find(out);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->m_byPending, 1);
    n->m_byPending = 0;
    ba.Set(out, 1);
    EXPECT_EQ(n->m_byPending, 0);
    EXPECT_TRUE(ba.UnRegister(out));
    EXPECT_TRUE(bb.UnRegister(in));
  });
}

TEST_F(BridgeTest, OutputsReachTheBoardAndInputsNotifyClients) {
  struct client : test_peripheral {
    client() : test_peripheral(50, 902) {}
    ~client() override { bridge.Detach(); }
    void OnInput() override {
      ++inputs;
      if (node) level = bridge.Get(node, 1);
    }
    dcio_bridge bridge;
    uint32_t node = 0;
    uint32_t inputs = 0;
    uint32_t level = 0;
  };
  auto c = std::make_unique<client>();
  uint32_t out = 0;
  InThread([&] {
    ASSERT_TRUE(c->bridge.Init(52, c.get()));
    c->node = c->bridge.Register(interface_cfg(1u, 0, 0, 0));  // point 24
    out = c->bridge.Register(interface_cfg(1u << 8, 1, 0, 0));  // point 32
  });
  ASSERT_NE(c->node, 0u);
  ASSERT_NE(out, 0u);
  io_->set_input(24, true);
  Steps(30);
  EXPECT_TRUE(board_->IsOperational());
  EXPECT_GT(c->inputs, 0u);
  EXPECT_EQ(c->level, 1u);
  InThread([&] {
    c->bridge.Set(out, 1);
    c->bridge.Process();
  });
  Steps(4);
  EXPECT_TRUE(io_->output(32));
  InThread([&] {
    EXPECT_TRUE(c->bridge.UnRegister(c->node));
    EXPECT_TRUE(c->bridge.UnRegister(out));
    c.reset();
  });
  Steps(4);
  EXPECT_FALSE(board_->m_Claimed.Has(24)) << "the client gave its points back";
  EXPECT_FALSE(board_->m_Claimed.Has(32));
}

// ---------------------------------------------------------------- fans

TEST_F(BridgeTest, FanStatusFailureSendsTheFirstFanTrapOnce) {
  // Intake fan 1: control on point 32 (output), status on point 24 (input).
  InThread([&] {
    task_->CreatePeripheral(510, "20,34");
    task_->CreatePeripheral(514, "18,34");
    task_->CreatePeripheral(522, "19,34");
  });
  CFanIO* control = Get<CFanIO>(510);
  CFanIO* status = Get<CFanIO>(514);
  ASSERT_NE(control, nullptr);
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(control->IsControl());
  EXPECT_FALSE(status->IsControl());
  // The fan is off and its sensor reads 0 (not the 1 of a stopped fan).
  io_->set_input(24, false);
  Steps(2 * 130);
  EXPECT_GE(control->GetClimateRow(), 0);
  EXPECT_EQ(status->PairedRow(), control->GetClimateRow());
  EXPECT_EQ(status->Passing(), 0);
  EXPECT_TRUE(V(vol::shortErrorStatus) & 0x400);
  size_t traps = 0;
  for (const captured_trap& t : s_traps)
    if (t.generic == TRAP_ENTERPRISE_SPECIFIC && t.specific == TRAP_FIRST_FAN_FAILURE) ++traps;
  EXPECT_EQ(traps, 1u);

  io_->set_input(24, true);
  Steps(10);
  EXPECT_EQ(status->Passing(), 1);
  EXPECT_FALSE(V(vol::shortErrorStatus) & 0x400);
}

TEST_F(BridgeTest, FanOnAMissingBoardIsNotCreated) {
  InThread([&] { EXPECT_EQ(task_->CreatePeripheral(510, "20,35"), 0); });
  EXPECT_EQ(Live(510), nullptr);
}

// ---------------------------------------------------------------- fan speed

TEST_F(FieldDeviceTest, SilentRpmSensorFailsRaisesTheDeviceErrorAndRecovers) {
  sim::field_board* rpm = Board(0x42331);
  rpm->set_reading({0x01, 0x01, 0x05, 0xDC});  // 1500
  Record(0, 730, "42331,0");
  Begin();
  CFanRPM* s = Get<CFanRPM>(730);
  ASSERT_NE(s, nullptr);
  Steps(30);
  EXPECT_EQ(s->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(s->GetRpm(), 1500);
  EXPECT_TRUE(s->IsPassing());
  rpm->set_silent(true);
  Steps(10 * 78);
  EXPECT_EQ(s->m_byState, PERIPHERAL_VALID) << "not yet 80 unanswered reads";
  EXPECT_TRUE(s->IsPassing());
  Steps(10 * 12);
  EXPECT_EQ(s->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_EQ(s->GetRpm(), 0);
  EXPECT_EQ(StatusValue(s->StatusRow()), 0u) << "a fan nobody hears is not running";
  EXPECT_FALSE(s->IsPassing());
  EXPECT_TRUE(MapBit(vol::climateFailureMap, s->ClimateRow()));
  EXPECT_EQ(V(vol::shortErrorStatus) & 0x8, 0x8u) << "the attached-device error";

  rpm->set_silent(false);
  Steps(20);
  EXPECT_EQ(s->m_byState, PERIPHERAL_VALID);
  EXPECT_TRUE(s->IsPassing());
  EXPECT_FALSE(MapBit(vol::climateFailureMap, s->ClimateRow()));
  EXPECT_EQ(V(vol::shortErrorStatus) & 0x8, 0u);
  EXPECT_EQ(CFanRPM::TypeOfName("RPM SENSOR 17"), 810);
  EXPECT_STREQ(CFanRPM::NameOfType(745), "RPM SENSOR 16");
}

TEST_F(FieldDeviceTest, AFailedRpmSensorAnswersAFanTestAsNotPossibleAndTheTestEnds) {
  Board(0x42331)->set_reading({0x01, 0x01, 0x05, 0xDC});
  Record(0, 730, "42331,0");
  Begin();
  CFanRPM* s = Get<CFanRPM>(730);
  ASSERT_NE(s, nullptr);
  Steps(30);
  const int32_t row = s->ClimateRow();
  ASSERT_GE(row, 0);
  InThread([&] { s->m_byState = PERIPHERAL_INIT_ERROR; });
  SetV(vol::climateCtrlTestActivation, 3);
  Steps(60);
  const uint32_t r = static_cast<uint32_t>(row);
  EXPECT_EQ(V(vol::climateTestActivation(r)), 4u);
  uint32_t n = 0;
  const uint8_t* text = Db().GetString(vol::climateText(r).offset, 4, Db().mib_v, &n);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(text), n), "CLIMATE CONTROL IS IN AN ERROR STATE");
  EXPECT_EQ(V(vol::climateCtrlTestActivation), 2u) << "no fan test is left running";
  // A manager still cannot write 4 there.
  EXPECT_EQ(Db().SetValue(vol::climateTestActivation(r).offset, 1, 4, Db().mib_v, DB_NOTIFY), DB_BAD_VALUE);
}

}  // namespace
