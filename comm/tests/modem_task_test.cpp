// The cellular modem task against a simulated modem's AT command port on
// loopback (the modem's address is mapped there): the identity query and
// the carrier it finds, the activation with its refusals, and the signal
// poll that the task's timer starts. Host I/O arrives in real time; the
// tests wait for the task's result bits with a generous bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "comm/modem/modem_task.h"
#include "comm/tests/comm_fixture.h"
#include "database/defaults.h"
#include "database/objects.h"
#include "frame/peripheral/peripheral.h"
#include "sim/modem/cell_modem.h"

namespace {

using namespace ct;

class ModemTaskTest : public CommTest {
 protected:
  bool WithNetwork() const override { return true; }
  void SetUp() override {
    CommTest::SetUp();
    peripheral_tables_reset();
    MapModemTo(sim_.port());
    rtos::cpu_scope s;
    defaults_private_v(*db_);
    task_ = std::make_unique<CModemTask>(&stacks_, &g_netx_ip, &g_netx_pool);
  }
  void TearDown() override {
    {
      rtos::cpu_scope s;
      task_.reset();
    }
    CommTest::TearDown();
  }
  static void MapModemTo(uint16_t port) {
    net_host_config config = net_host_current_config();
    net_peer_map peer;
    peer.address = CModemTask::MODEM_ADDRESS;
    peer.port = CModemTask::COMMAND_PORT;
    peer.host_port = port;
    config.peers = {peer};
    ASSERT_TRUE(net_host_configure(config));
  }
  // Sets the request and waits for one of the result bits; the bits found.
  // advance: ticks the clock moves on each round (the connection's time-outs).
  ULONG Request(ULONG request, uint32_t advance = 0) {
    {
      rtos::cpu_scope s;
      tx_event_flags_set(task_->Events(), request, TX_OR);
    }
    const ULONG results = ~static_cast<ULONG>(CModemTask::REQ_QUERY | CModemTask::REQ_ACTIVATE | CModemTask::REQ_POLL);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      if (advance) rtos::advance(advance);
      rtos::settle();
      ULONG got = 0;
      {
        rtos::cpu_scope s;
        if (tx_event_flags_get(task_->Events(), results, TX_OR_CLEAR, &got, TX_NO_WAIT) == TX_SUCCESS) return got;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
  }
  // Lets the timer start polls until the signal reads `dbm`.
  bool PolledTo(int16_t dbm) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      rtos::advance(CModemTask::POLL_PERIOD);
      for (int i = 0; i < 3000 && task_->Signal() != dbm; ++i) {
        rtos::settle();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (task_->Signal() == dbm) return true;
    }
    return false;
  }
  void SetVol(db_object o, const std::string& text) {
    rtos::cpu_scope s;
    db_->SetString(o.offset, o.width, text.data(), static_cast<uint32_t>(text.size()), db_->mib_v, DB_NO_VALIDATE);
  }
  // The rating as the front panel reads it, from a thread (it takes the
  // task's mutex); "" without a reading.
  std::string SignalText(int french) {
    const char* text = nullptr;
    int got = 0;
    EXPECT_TRUE(rtos::run_in_thread([&] { got = CModemTask::GetSignalText(task_.get(), french, &text); }));
    return got ? text : "";
  }

  sim::cell_modem sim_;
  std::unique_ptr<CModemTask> task_;
};

TEST(ModemCarrier, TheOperatorTextNamesTheCarrier) {
  const struct {
    const char* text;
    uint8_t carrier;
  } rows[] = {
      {"Verizon Wireless", 1}, {"Sprint PCS", 2},  {"Alltel", 3},          {"Bell Mobility", 4},
      {"TELUS", 0},            {"Telus", 5},       {"AT&T 310 410", 6},    {"Rogers 302 720", 7},
      {"Bell 302 610", 4},     {"310410", 0},      {"", 0},
  };
  for (const auto& r : rows) EXPECT_EQ(r.carrier, CModemTask::DetectCarrier(r.text)) << r.text;
  EXPECT_EQ(0, CModemTask::DetectCarrier(nullptr));
}

TEST_F(ModemTaskTest, TheQueryReadsTheModemsIdentityAndCarrier) {
  EXPECT_STREQ("N/A", task_->Model());
  EXPECT_EQ(CModemTask::RES_QUERIED, Request(CModemTask::REQ_QUERY));
  EXPECT_STREQ("CELL MODEM 2", task_->Model());
  EXPECT_STREQ("0x5A0C71E2", task_->Esn());
  EXPECT_STREQ("5551230000", task_->Phone());
  EXPECT_EQ(1, task_->Carrier());
  EXPECT_STREQ("Verizon", CModemTask::GetCarrierName(task_.get()));
  const std::vector<std::string> expected = {"20473", "ATE0", "AT*TELNETTIMEOUT=20", "ATI3", "ATI0", "AT*NETOP?",
                                             "AT*NETPHONE?"};
  EXPECT_EQ(expected, sim_.commands());
}

TEST_F(ModemTaskTest, AModemThatDoesNotAnswerLeavesTheIdentityUnread) {
  sim::cell_modem* gone = new sim::cell_modem();
  const uint16_t port = gone->port();
  delete gone;  // nobody listens there now
  MapModemTo(port);
  EXPECT_EQ(CModemTask::RES_UNREACHABLE, Request(CModemTask::REQ_QUERY, 10));
  EXPECT_STREQ("N/A", task_->Model());
  EXPECT_STREQ("N/A", task_->Phone());
}

TEST_F(ModemTaskTest, ActivationByCarrierAndSignal) {
  SetVol({17292, 4}, "internet");
  SetVol({17296, 4}, "user");
  SetVol({17300, 4}, "secret");
  SetVol({17304, 4}, "123456");
  SetVol({17308, 4}, "5551230000");
  SetVol({17312, 4}, "5551239999");
  const struct {
    const char* op;
    int signal;
    bool refuse;
    ULONG result;
    const char* command;  // sent by the provisioning (null: none)
  } rows[] = {
      {"AT&T 310 410", -95, false, CModemTask::RES_ACTIVATED, "AT*NETAPN=internet"},
      {"AT&T 310 410", -96, false, CModemTask::RES_SIGNAL_WEAK, nullptr},
      {"Sprint PCS", -70, false, CModemTask::RES_ACTIVATED, "AT*PROVISION2=123456,5551230000,5551239999"},
      {"Alltel", -70, false, CModemTask::RES_CARRIER_UNSUPPORTED, nullptr},
      {"AT&T 310 410", -70, true, CModemTask::RES_NOT_OK, "AT*NETAPN=internet"},
  };
  for (const auto& r : rows) {
    sim_.set_operator(r.op);
    sim_.set_signal(r.signal);
    sim_.set_refuse_settings(false);
    ASSERT_EQ(CModemTask::RES_QUERIED, Request(CModemTask::REQ_QUERY)) << r.op;
    sim_.set_refuse_settings(r.refuse);
    const size_t before = sim_.commands().size();
    EXPECT_EQ(r.result, Request(CModemTask::REQ_ACTIVATE)) << r.op << " " << r.signal;
    const std::vector<std::string> all = sim_.commands();
    const std::vector<std::string> sent(all.begin() + static_cast<long>(before), all.end());
    // The modem is configured before the signal and the carrier decide.
    EXPECT_NE(sent.end(), std::find(sent.begin(), sent.end(), "AT*DPORT=3001")) << r.op;
    const bool provisioned =
        std::find_if(sent.begin(), sent.end(), [](const std::string& c) {
          return c.rfind("AT*NETAPN=", 0) == 0 || c.rfind("AT*PROVISION2=", 0) == 0;
        }) != sent.end();
    EXPECT_EQ(r.command != nullptr, provisioned) << r.op << " " << r.signal;
    if (r.command) EXPECT_NE(sent.end(), std::find(sent.begin(), sent.end(), r.command)) << r.op;
  }
}

TEST_F(ModemTaskTest, TheTimerPollsTheSignalStrength) {
  EXPECT_EQ("", SignalText(0)) << "no reading yet";
  rtos::advance(CModemTask::FIRST_POLL - CModemTask::POLL_PERIOD);
  ASSERT_TRUE(PolledTo(-75));
  EXPECT_EQ(static_cast<uint32_t>(static_cast<uint16_t>(-75)), [&] {
    rtos::cpu_scope s;
    return db_->GetValue(17284, 2, db_->mib_v, 0);
  }());
  const struct {
    int16_t dbm;
    const char* english;
    const char* french;
  } rows[] = {{-80, "GOOD", "GRANDE"}, {-81, "MODERATE", "MOYENNE"}, {-87, "WEAK", "FAIBLE"},
              {-101, "UNACCEPTABLE", "TROP FAIBLE"}};
  for (const auto& r : rows) {
    sim_.set_signal(r.dbm);
    ASSERT_TRUE(PolledTo(r.dbm)) << r.dbm;
    EXPECT_EQ(r.english, SignalText(0)) << r.dbm;
    EXPECT_EQ(r.french, SignalText(1)) << r.dbm;
  }
}

}  // namespace
