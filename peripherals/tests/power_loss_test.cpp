// The internal UPS's power-loss decisions on the board's EPLD inputs, and
// the power mode's activation slots 4 and 6.
#include "board_host.h"
#include "board_io.h"
#include "display/codes/msg_codes.h"
#include "peripherals/devices/low_power_mode.h"
#include "peripherals/devices/ups_internal.h"
#include "peripherals/pl_factory.h"
#include "peripherals/pl_mediator.h"
#include "peripherals/tests/power_test_fixture.h"

namespace {

bool g_trap_buffer_empty = true;

class InternalUpsTest : public PowerTest {
 protected:
  void SetUp() override {
    PowerTest::SetUp();
    board::reset();
    inbox_->Unsubscribe();
    inbox_->Subscribe(kWatched);
    CUPS_Internal::SetEpldReadyQuery([]() -> uint32_t { return 1; });
    CUPS_Internal::SetTrapBufferEmptyQuery([] { return g_trap_buffer_empty; });
    g_trap_buffer_empty = true;
    g_file_save_pending = 0;
    SetNv(nv::dmsSWReset, 1);
    now_ = 1000000;
    Db().SetTimeValue(nv::globalTime.offset, 4, now_, Db().mib_nv, 0);
    pl_record record;
    record.slot = 65535;
    record.type_id = CUPS_Internal::TYPE_ID;
    record.class_code = CUPS_Internal::CLASS_CODE;
    ups_.reset(static_cast<CUPS_Internal*>(CUPS_Internal::Create(record)));
  }
  void TearDown() override {
    ups_.reset();
    CUPS_Internal::SetEpldReadyQuery(nullptr);
    CUPS_Internal::SetTrapBufferEmptyQuery(nullptr);
    board::shutdown();
    PowerTest::TearDown();
  }
  void Inputs(uint8_t power, uint8_t control = 0) {
    reg_write8(CUPS_Internal::REG_POWER, power);
    reg_write8(CUPS_Internal::REG_CONTROL, control);
  }
  // One poll a second of clock time (the clock advances unless stopped).
  void Seconds(int n, bool clock_runs = true) {
    InThread([&] {
      for (int i = 0; i < n; ++i) {
        if (clock_runs) Db().SetTimeValue(nv::globalTime.offset, 4, ++now_, Db().mib_nv, 0);
        ups_->Poll();
      }
    });
  }
  // Letters and the panel report codes, as "L<id>" / "R<code>".
  std::vector<std::string> Events() {
    std::vector<std::string> out;
    letter_s* l = nullptr;
    while (inbox_->Receive(&l)) {
      if (l->Id() == MSG_PERIPHERAL_REPORT)
        out.push_back("R" + std::to_string(l->LowHalf(0)));
      else
        out.push_back("L" + std::to_string(l->Id()));
      inbox_->Release(l);
    }
    return out;
  }
  static constexpr uint32_t kWatched[] = {MSG_POWER_LOST,       MSG_POWER_RESTORED, MSG_POWER_SHUTDOWN,
                                          MSG_SHUTDOWN_REQUEST, MSG_PERIPHERAL_REPORT, 0};
  std::unique_ptr<CUPS_Internal> ups_;
  uint32_t now_ = 0;
};
constexpr uint32_t InternalUpsTest::kWatched[];

TEST_F(InternalUpsTest, ShortLossThenRestoredWithoutShutdown) {
  Inputs(CUPS_Internal::BIT_POWER_ABSENT);
  Seconds(1);
  EXPECT_EQ(V(vol::powerSource), 7u);
  EXPECT_EQ(V(vol::lineVolts), 0u);
  Seconds(4);
  Inputs(0);
  Seconds(1);
  EXPECT_EQ(Events(), (std::vector<std::string>{"R3", "L1", "R4", "L2"}));
  EXPECT_EQ(V(vol::powerSource), 4u);
  EXPECT_EQ(V(vol::lineVolts), 120u);
  EXPECT_EQ(ups_->State(), CUPS_Internal::STATE_MAINS);
}

TEST_F(InternalUpsTest, NoTrapPortsShutsDownRightAfterTheGrace) {
  for (uint32_t p = 0; p < 5; ++p) SetNv(nv::quorCommConfigTraps(p), 0);
  Inputs(CUPS_Internal::BIT_POWER_ABSENT);
  Seconds(10);
  EXPECT_EQ(Nv(nv::dmsSWReset), 1u) << "still inside the brownout grace";
  Seconds(1);
  EXPECT_EQ(Nv(nv::dmsSWReset), 3u);
  const std::vector<std::string> e = Events();
  EXPECT_EQ(e.back(), "L80");
  EXPECT_TRUE(s_traps.empty());
}

TEST_F(InternalUpsTest, PendingTrapsHoldTheShutdownUntilTheBufferEmpties) {
  SetNv(nv::quorCommConfigTraps(1), 1);
  SetNv(nv::quorTrapsGeneric, 0x40);
  SetNvText(nv::quorTrapsEnterpriseSpecific, std::string("\x80", 1));
  g_trap_buffer_empty = false;
  Inputs(CUPS_Internal::BIT_POWER_ABSENT);
  Seconds(11);
  EXPECT_EQ(TrapCodes(), std::vector<uint32_t>{9});
  EXPECT_EQ(ups_->State(), CUPS_Internal::STATE_SHUTDOWN_PENDING);
  Events();
  Seconds(3);
  EXPECT_TRUE(Events().empty());
  g_trap_buffer_empty = true;
  Seconds(1);
  EXPECT_EQ(Events(), std::vector<std::string>{"L80"});
  EXPECT_EQ(Nv(nv::dmsSWReset), 3u);
}

TEST_F(InternalUpsTest, RestoredWhileShutdownPendingSendsTrap10AndNoShutdown) {
  SetNv(nv::quorCommConfigTraps(0), 1);
  g_trap_buffer_empty = false;
  Inputs(CUPS_Internal::BIT_POWER_ABSENT);
  Seconds(11);
  ASSERT_EQ(ups_->State(), CUPS_Internal::STATE_SHUTDOWN_PENDING);
  Events();
  Inputs(0);
  Seconds(1);
  EXPECT_EQ(TrapCodes(), std::vector<uint32_t>{10});
  EXPECT_EQ(Events(), (std::vector<std::string>{"R4", "L2"}));
  EXPECT_EQ(ups_->State(), CUPS_Internal::STATE_MAINS);
}

TEST_F(InternalUpsTest, PendingShutdownOnLowBatteryTimeoutOrStoppedClock) {
  struct row {
    const char* what;
    int extra_seconds;
    bool clock_runs;
    uint8_t power;
  };
  const row rows[] = {{"Battery Low Shutdown", 1, true, CUPS_Internal::BIT_POWER_ABSENT | CUPS_Internal::BIT_BATTERY_LOW},
                      {"30 Minute Timeout Shutdown", 1800, true, CUPS_Internal::BIT_POWER_ABSENT},
                      {"Clock Stopped Shutdown", 21, false, CUPS_Internal::BIT_POWER_ABSENT}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    TearDown();
    SetUp();
    SetNv(nv::quorCommConfigTraps(0), 1);
    g_trap_buffer_empty = false;
    Inputs(CUPS_Internal::BIT_POWER_ABSENT);
    Seconds(11);
    ASSERT_EQ(ups_->State(), CUPS_Internal::STATE_SHUTDOWN_PENDING);
    Inputs(r.power);
    trace_set_level(1);
    trace_capture capture;
    Seconds(r.extra_seconds, r.clock_runs);
    trace_set_level(0);
    EXPECT_TRUE(capture.contains(r.what)) << capture.text().substr(0, 300);
    EXPECT_EQ(Nv(nv::dmsSWReset), 3u);
  }
}

TEST_F(InternalUpsTest, ShutdownRequestAndBatteryLowReports) {
  Inputs(CUPS_Internal::BIT_POWER_ABSENT, CUPS_Internal::BIT_SHUTDOWN_REQUEST);
  SetNv(nv::dmsSWReset, 0);
  Seconds(3);
  EXPECT_EQ(Events(), std::vector<std::string>{"L81"}) << "once, and power does not count as lost";
  EXPECT_EQ(Nv(nv::dmsSWReset), 2u);

  Inputs(CUPS_Internal::BIT_BATTERY_LOW);
  Seconds(2);
  Inputs(0);
  Seconds(1);
  Inputs(CUPS_Internal::BIT_BATTERY_LOW);
  Seconds(1);
  EXPECT_EQ(Events(), (std::vector<std::string>{"R2", "R3", "R2"}));
  EXPECT_EQ(ups_->State(), CUPS_Internal::STATE_MAINS);
}

TEST_F(InternalUpsTest, InputsCountAsInactiveWhileTheEpldIsNotReady) {
  CUPS_Internal::SetEpldReadyQuery([]() -> uint32_t { return 0; });
  Inputs(CUPS_Internal::BIT_POWER_ABSENT);
  Seconds(3);
  EXPECT_TRUE(Events().empty());
}

// ------------------------------------------------------------ power mode

class PowerModeTest : public PowerTest {
 protected:
  void SetUp() override {
    PowerTest::SetUp();
    SetV(vol::powerSource, 4);
    SetNv(nv::quorLowPowerDuration, 2);
    SetNv(nv::dmsShortPowerLossTime, 30);
    SetId(nv::dmsPowerLossMessage, 3, 5, 0x1234);
    SetId(nv::dmsShortPowerRecoveryMessage, 3, 6, 0x1111);
    SetId(nv::dmsLongPowerRecoveryMessage, 3, 7, 0x2222);
    pl_record record;
    record.slot = 65535;
    record.type_id = CLowPowerMode::TYPE_ID;
    record.class_code = CLowPowerMode::CLASS_CODE;
    mode_.reset(static_cast<CLowPowerMode*>(CLowPowerMode::Create(record)));
  }
  void TearDown() override {
    mode_.reset();
    PowerTest::TearDown();
  }
  void SetId(db_object o, uint8_t type, uint16_t number, uint16_t crc) {
    const uint8_t b[5] = {type, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number),
                          static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
    SetNvText(o, std::string(reinterpret_cast<const char*>(b), 5));
  }
  // n polls, one a second, on battery or mains.
  void Polls(int n, bool battery) {
    SetV(vol::powerSource, battery ? 7 : 4);
    for (int i = 0; i < n; ++i) {
      Db().SetTimeValue(nv::globalTime.offset, 4, ++now_, Db().mib_nv, 0);
      mode_->Poll();
    }
  }
  CMsgActivationCode Slot(uint32_t s) {
    CMsgActivationCode code;
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(vol::activationSlotCode(s).offset, 4, Db().mib_v, &n);
    code.Decode(p, n);
    return code;
  }
  bool SlotEmpty(uint32_t s) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(vol::activationSlotCode(s).offset, 4, Db().mib_v, &n);
    for (uint32_t i = 0; p && i < n; ++i)
      if (p[i]) return false;
    return true;
  }
  std::unique_ptr<CLowPowerMode> mode_;
  uint32_t now_ = 1000000;
};

TEST_F(PowerModeTest, LossMessageThenBlankThenLongRecovery) {
  EXPECT_EQ(V(vol::quorPowerModeStatus), 2u);
  SetNv(nv::quorDisplayMode, 4);
  Polls(6, true);
  EXPECT_TRUE(SlotEmpty(4));
  Polls(1, true);
  CMsgActivationCode loss = Slot(4);
  EXPECT_EQ(loss.m_wMessageNumber, 5);
  EXPECT_EQ(loss.m_wCRC, 0x1234);
  EXPECT_EQ(loss.m_wDuration, 65535);
  EXPECT_EQ(loss.m_byPriority, 255);
  EXPECT_EQ(V(vol::activationSlotSourceMode(4)), 13u);
  EXPECT_EQ(V(vol::activationSlotReason(4)), 2u);
  EXPECT_EQ(Nv(nv::quorDisplayMode), 1u) << "the test pattern ends";

  Polls(120, true);
  EXPECT_EQ(Slot(4).m_wMessageNumber, 5) << "two minutes of backup time";
  Polls(1, true);  // the 121st poll blanks
  EXPECT_EQ(Slot(4).m_byMemoryType, 7);
  EXPECT_EQ(Slot(4).m_wMessageNumber, 1);

  Polls(7, false);
  EXPECT_FALSE(SlotEmpty(4));
  Polls(1, false);
  EXPECT_TRUE(SlotEmpty(4));
  EXPECT_EQ(Slot(6).m_wMessageNumber, 7) << "an outage of minutes is long";
  EXPECT_EQ(V(vol::activationSlotSourceMode(6)), 10u);
  EXPECT_EQ(V(vol::activationSlotReason(6)), 7u);
  EXPECT_EQ(mode_->Mode(), CLowPowerMode::MODE_NORMAL);
}

TEST_F(PowerModeTest, ShortOutageGivesTheShortRecovery) {
  Polls(20, true);
  Polls(8, false);
  EXPECT_EQ(Slot(6).m_wMessageNumber, 6);
  EXPECT_EQ(V(vol::activationSlotReason(6)), 2u);
}

TEST_F(PowerModeTest, FivePollsOfBatteryActivateNothing) {
  Polls(5, true);
  Polls(20, false);
  EXPECT_TRUE(SlotEmpty(4));
  EXPECT_TRUE(SlotEmpty(6));
}

TEST_F(PowerModeTest, BackupTimeNeverKeepsTheMessageAndZeroBlanksAtOnce) {
  Polls(7, true);
  EXPECT_EQ(Slot(4).m_wMessageNumber, 5);

  SetNv(nv::quorLowPowerDuration, 65535);
  Polls(300, true);
  EXPECT_EQ(Slot(4).m_wMessageNumber, 5) << "never";

  TearDown();
  SetUp();
  SetNv(nv::quorLowPowerDuration, 0);
  Polls(7, true);
  EXPECT_EQ(Slot(4).m_wMessageNumber, 5);
  Polls(1, true);
  EXPECT_EQ(Slot(4).m_byMemoryType, 7) << "no backup time: the next poll blanks";
  EXPECT_EQ(Slot(4).m_wMessageNumber, 1);
  Polls(300, true);
  EXPECT_EQ(Slot(4).m_byMemoryType, 7) << "and it stays blank";
}

TEST_F(PowerModeTest, NoLossMessageStillRecovers) {
  SetNvText(nv::dmsPowerLossMessage, "abc");
  Polls(10, true);
  EXPECT_TRUE(SlotEmpty(4));
  Polls(8, false);
  EXPECT_EQ(Slot(6).m_wMessageNumber, 6);
}

TEST_F(PowerModeTest, FlickerDuringRecoveryKeepsTheFirstLossTime) {
  Polls(10, true);
  Polls(3, false);
  Polls(1, true);  // back to the loss debounce, the loss time kept
  EXPECT_EQ(mode_->Mode(), CLowPowerMode::MODE_LOSS_DEBOUNCE);
  Polls(40, true);
  Polls(8, false);
  EXPECT_EQ(Slot(6).m_wMessageNumber, 7) << "the outage counts from the first loss";
}

TEST_F(PowerModeTest, DestroyingClearsSlot4) {
  Polls(8, true);
  ASSERT_FALSE(SlotEmpty(4));
  mode_.reset();
  EXPECT_TRUE(SlotEmpty(4));
  EXPECT_EQ(V(vol::quorPowerModeStatus), 3u);
}

// At a second start the live list is dropped while the database still holds
// the old kernel's rows: the mode must leave them alone.
TEST_F(PowerModeTest, AbandonedAtASecondStartLeavesTheOldRowsAlone) {
  Polls(8, true);
  ASSERT_FALSE(SlotEmpty(4));
  pl_factory factory;
  peripheral_register_factories(&factory);
  pl_mediator mediator;
  InThread([&] {
    ASSERT_EQ(mediator.Open(&factory, &mediator), 1);
    ASSERT_EQ(mediator.Create(CLowPowerMode::TYPE_ID, nullptr), 1);
    mediator.Abandon();
  });
  EXPECT_EQ(mediator.Count(), 0u);
  EXPECT_FALSE(SlotEmpty(4));
  EXPECT_EQ(V(vol::quorPowerModeStatus), 2u);
}

}  // namespace
