// What the communication task watches each step: a central that goes
// silent (the communication-loss message), the heartbeat between requests
// and reads of globalTime, the community options of the special features,
// and the file-write lock.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "comm/tests/endpoints_fixture.h"
#include "ntcip/snmp/agent/request.h"

namespace {

using namespace ct;

class SupervisionTest : public EndpointsTest {
 protected:
  void SetUp() override {
    EndpointsTest::SetUp();
    trace_set_level(1);
  }
  void TearDown() override {
    trace_set_level(0);
    EndpointsTest::TearDown();
  }
  std::string VolText(db_object o) {
    rtos::cpu_scope s;
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_v, &n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
  }
  std::string NvText(db_object o) {
    rtos::cpu_scope s;
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_nv, &n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
  }
  void SetNvText(db_object o, const std::string& text) {
    rtos::cpu_scope s;
    db_->SetString(o.offset, 4, text.data(), static_cast<uint32_t>(text.size()), db_->mib_nv, DB_NO_VALIDATE);
  }
  void SetVol(db_object o, uint32_t v) {
    rtos::cpu_scope s;
    db_->SetValue(o.offset, o.width, v, db_->mib_v, DB_NO_VALIDATE);
  }
  // The step's supervision at global time t.
  void At(uint32_t t) {
    InThread([&] {
      g_comm_task.NoteActivity(t);
      g_comm_task.CheckFdotCommLoss(t);
      g_comm_task.CheckCommLoss(t);
      g_comm_task.CheckHeartbeat(t);
    });
  }
};

TEST_F(SupervisionTest, SilentCentralBringsTheCommLossMessageOnce) {
  SetNv(nv::dmsTimeCommLoss, 2);
  SetNvText(nv::dmsCommunicationsLossMessage, std::string("\x03\x00\x07\x12\x34", 5));
  g_comm_task.SetCommLossMinutes(2);
  const uint32_t start = 5000;
  At(start);  // the first step takes the start as the last communication
  EXPECT_EQ(start, g_comm_task.LastCommTimestamp());
  At(start + 119);
  EXPECT_EQ(0u, Vol(vol::shortErrorStatus) & COMM_ERROR_BIT);
  EXPECT_EQ("", VolText(vol::activationSlotCode(6)));

  At(start + 120);
  EXPECT_EQ(COMM_ERROR_BIT, Vol(vol::shortErrorStatus) & COMM_ERROR_BIT);
  // Duration for ever, lowest priority, changeable message 7, its CRC, from 127.0.0.1.
  EXPECT_EQ(std::string("\xFF\xFF\xFF\x03\x00\x07\x12\x34\x7F\x00\x00\x01", 12), VolText(vol::activationSlotCode(6)));
  EXPECT_EQ(12u, Vol(vol::activationSlotSourceMode(6)));
  EXPECT_EQ(2u, Vol(vol::activationSlotReason(6)));

  // Announced once: a cleared slot is not written again while the loss lasts.
  SetVol(vol::activationSlotSourceMode(6), 0);
  At(start + 500);
  EXPECT_EQ(0u, Vol(vol::activationSlotSourceMode(6)));

  // Central speaks: the error clears on the next step.
  g_comm_activity = 1;
  At(start + 600);
  EXPECT_EQ(0u, Vol(vol::shortErrorStatus) & COMM_ERROR_BIT);
}

TEST_F(SupervisionTest, CommLossCasesThatActivateNothing) {
  const struct {
    uint32_t minutes;
    uint32_t control_mode;
    std::string message;
    bool error_bit;
  } rows[] = {
      {0, 4, std::string("\x03\x00\x07\x12\x34", 5), false},  // no comm-loss time
      {2, 2, std::string("\x03\x00\x07\x12\x34", 5), false},  // local control holds the timer
      {2, 4, std::string("\x03\x00\x07\x12", 4), true},       // no valid message: the bit all the same
  };
  for (const auto& r : rows) {
    SetVol(vol::shortErrorStatus, 0);
    SetVol(vol::dmsControlMode, r.control_mode);
    SetNv(nv::dmsTimeCommLoss, r.minutes);
    SetNvText(nv::dmsCommunicationsLossMessage, r.message);
    g_comm_task.SetCommLossMinutes(static_cast<int32_t>(r.minutes));
    g_comm_task.SetLastCommTimestamp(1000);
    At(1000 + 3600);
    EXPECT_EQ(r.error_bit ? COMM_ERROR_BIT : 0u, Vol(vol::shortErrorStatus) & COMM_ERROR_BIT) << r.minutes;
    EXPECT_EQ("", VolText(vol::activationSlotCode(6))) << r.minutes;
    if (r.control_mode == 2) {
      EXPECT_EQ(1000u + 3600, g_comm_task.LastCommTimestamp());
    }
  }
}

// A central that keeps talking but stops reading globalTime resets the
// controller; a silent one does not; no reset before the first read.
TEST_F(SupervisionTest, HeartbeatResetsWhenRequestsOutrunTheTimeReads) {
  SetNv(nv::quorHeartBeatThreshold, 60);
  SetNv(nv::dmsMsgSourceMode, 5);
  g_comm_task.SetSavedGlobalTime(0);
  g_comm_task.SetLastCommTimestamp(10000);
  At(10001);
  EXPECT_EQ(0u, Nv(nv::dmsSWReset)) << "globalTime never read";

  g_comm_task.SetSavedGlobalTime(10000);
  g_comm_task.SetLastCommTimestamp(10059);
  At(10059);
  EXPECT_EQ(0u, Nv(nv::dmsSWReset));
  trace_capture trace;
  g_comm_task.SetLastCommTimestamp(10060);
  At(10061);
  EXPECT_EQ(1u, Nv(nv::dmsSWReset));
  EXPECT_EQ(1u, Nv(nv::dmsMsgSourceMode));
  EXPECT_EQ(0u, g_comm_task.SavedGlobalTime());
  EXPECT_TRUE(trace.contains("Reset controller ->time_now = 10061, savedGlobalTime = 10000"));

  // With the communications error set the heartbeat holds off.
  SetNv(nv::dmsSWReset, 0);
  SetVol(vol::shortErrorStatus, COMM_ERROR_BIT);
  g_comm_task.SetSavedGlobalTime(100);
  At(20003);
  EXPECT_EQ(0u, Nv(nv::dmsSWReset));
  EXPECT_TRUE(trace.contains("Comm Loss, don't reset\n"));
  EXPECT_EQ(20003u, g_comm_task.SavedGlobalTime());
}

TEST_F(SupervisionTest, SpecialFeaturesOpenAndCloseTheFirstUserCommunity) {
  const struct {
    uint32_t features;
    uint32_t mask;
  } rows[] = {{0x40, 0xFFFFFFFF}, {0x00, 0}, {0x20, 0xFFFFFFFF}, {0x20, 0xFFFFFFFF}, {0x00, 0}};
  SetVol(vol::controllerLocalTime, 777);
  for (const auto& r : rows) {
    SetNv(nv::quorSpecialFeatureSet, r.features);
    SetNv(nv::communityNameAccessMask(0), 0x12345678);
    InThread([] { g_comm_task.ApplySnmpOptions(); });
    // Switched on twice in a row: the second changes nothing.
    const bool unchanged = r.features == 0x20 && &r != &rows[2];
    EXPECT_EQ(unchanged ? 0x12345678u : r.mask, Nv(nv::communityNameAccessMask(0))) << r.features;
    if (!unchanged) {
      EXPECT_EQ("fernly", NvText(nv::communityNameUser(0))) << r.features;
    }
  }
  EXPECT_EQ(777u, s_clock) << "the time feature took the local time";
}

TEST_F(SupervisionTest, FileWriteLockIsTakenAndGivenBack) {
  TX_EVENT_FLAGS_GROUP* group = g_comm_task.Events();
  InThread([&] {
    std::memset(static_cast<void*>(group), 0, sizeof *group);
    ASSERT_EQ(TX_SUCCESS, tx_event_flags_create(group, const_cast<char*>("comm")));
    tx_event_flags_set(group, COMM_FILE_LOCK_FLAG, TX_OR);  // free, as the network start leaves it
  });
  auto free_now = [&] {
    ULONG actual = 0;
    return tx_event_flags_get(group, COMM_FILE_LOCK_FLAG, TX_OR, &actual, TX_NO_WAIT) == TX_SUCCESS;
  };
  InThread([&] {
    g_comm_task.Lock();
    EXPECT_EQ(1, g_comm_task.Locked());
    EXPECT_FALSE(free_now());
    g_comm_task.Unlock();
    EXPECT_EQ(0, g_comm_task.Locked());
    EXPECT_TRUE(free_now());
    tx_event_flags_delete(group);
  });
}

}  // namespace
