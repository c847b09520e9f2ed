// Traps over the serial ports' PPP links, with a stand-in PPP module (its
// link state set by the test) and a stand-in dial-up modem: traps leave
// only over a link that is up; with a modem the controller calls central
// back, sends, and hangs up again. One step is one communication-task step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/tests/endpoints_fixture.h"

namespace {

using namespace ct;

struct fake_ppp {
  static inline uint16_t ipcp = 0;
  static inline std::vector<std::string> sent;    // agent names of the traps sent
  static inline std::vector<std::string> events;  // what the link was asked

  static int transport(snmp_agent* agent, uint32_t, uint32_t op, uint8_t*, uint32_t* length) {
    if (op == SNMP_NET_INITIALISE) {
      *length = 0;
    } else if (op == SNMP_NET_SEND) {
      sent.push_back(agent->name);
    }
    return 0;
  }
  static uint16_t state(snmp_agent*) { return ipcp; }
  static void lcp(snmp_agent* agent, uint32_t event) {
    events.push_back(std::string(agent->name) + " lcp " + std::to_string(event));
  }
  static void restart(snmp_agent* agent) { events.push_back(std::string(agent->name) + " restart"); }
};

class FakeModem : public ntcip_modem {
 public:
  void Dial(const char* number) override { calls.push_back(std::string("dial ") + number); }
  void Escape() override { calls.push_back("escape"); }
  void HangUp() override { calls.push_back("hangup"); }
  std::vector<std::string> calls;
};

class LinkTrapTest : public EndpointsTest {
 protected:
  static inline uint8_t carrier_ = 0;

  void BeforeEndpoints() override {
    fake_ppp::ipcp = 0;
    fake_ppp::sent.clear();
    fake_ppp::events.clear();
    ops_.transport = fake_ppp::transport;
    ops_.ipcp_state = fake_ppp::state;
    ops_.post_lcp_event = fake_ppp::lcp;
    ops_.restart_negotiation = fake_ppp::restart;
    ntcip_set_link_ops(NTCIP_LINK_PPP, &ops_);
    carrier_ = 0;
    ntcip_set_carrier_source([] { return carrier_; });
  }
  void SetUp() override {
    EndpointsTest::SetUp();
    trace_set_level(1);
    for (uint32_t p = 0; p < 4; ++p) {
      SetNv(nv::quorCommConfigTraps(p), 1);
      SetNv(nv::quorCommConfigProtocol(p), 4);
    }
    SetNv(nv::quorTrapsGeneric, 0x01);
    SetNumber("5551234");
    SetNv(nv::quorCallbackMinTimeBetweenAttempts, 1);  // 30 steps
    SetNv(nv::quorCallbackMaxAttempts, 255);
  }
  void TearDown() override {
    trace_set_level(0);
    EndpointsTest::TearDown();
  }
  void SetNumber(const std::string& number) {
    rtos::cpu_scope s;
    db_->SetString(nv::quorCallbackNumber.offset, 4, number.data(), static_cast<uint32_t>(number.size()),
                   db_->mib_nv, DB_NO_VALIDATE);
  }
  // A new trap, a second later than the last.
  void Queue() {
    ++s_clock;
    rtos::cpu_scope s;
    CNTCIP::SendTrap(0, 0, 0, nullptr);
  }
  void Steps(int n, void (*step)() = CNTCIP::ProcessPPPTrapsCCP) {
    InThread([&] {
      for (int i = 0; i < n; ++i) step();
    });
  }
  size_t Dials(const FakeModem& m) {
    size_t n = 0;
    for (const std::string& c : m.calls) n += c.rfind("dial ", 0) == 0;
    return n;
  }

  ntcip_link_ops ops_{};
};

TEST_F(LinkTrapTest, WithoutAModemATrapLeavesOnceThePppLinkIsUp) {
  trace_capture trace;
  Queue();
  Steps(3);
  EXPECT_TRUE(fake_ppp::sent.empty());
  fake_ppp::ipcp = NTCIP_IPCP_OPENED;
  Steps(1);
  EXPECT_EQ(std::vector<std::string>{"ccp_ppp"}, fake_ppp::sent);
  EXPECT_TRUE(trace.contains("CNTCIP::ProcessTrapsCCP: ccp_ppp link up, send trap\n"));
  EXPECT_TRUE(g_trap_buffer.IsEmpty());
}

TEST_F(LinkTrapTest, EachPortSendsOnItsOwnLinkAndOnlyWithTrapsEnabled) {
  fake_ppp::ipcp = NTCIP_IPCP_OPENED;
  const struct {
    void (*step)();
    uint32_t index;
    const char* endpoint;  // null: the port sends nothing
  } rows[] = {
      {CNTCIP::ProcessPPPTrapsCCP, 0, "ccp_ppp"},
      {CNTCIP::ProcessPPPTrapsAUX, 1, "aux_ppp"},
      {CNTCIP::ProcessPPPTrapsModem, 2, nullptr},  // the MODEM port needs its modem
      {CNTCIP::ProcessPPPTrapsLaptop, 3, "laptop_ppp"},
  };
  for (const auto& r : rows) {
    fake_ppp::sent.clear();
    g_trap_buffer.Clear();
    Queue();
    SetNv(nv::quorCommConfigTraps(r.index), 0);
    Steps(1, r.step);
    EXPECT_TRUE(fake_ppp::sent.empty()) << r.index << ": traps disabled";
    SetNv(nv::quorCommConfigTraps(r.index), 1);
    Steps(1, r.step);
    if (r.endpoint)
      EXPECT_EQ(std::vector<std::string>{r.endpoint}, fake_ppp::sent) << r.index;
    else
      EXPECT_TRUE(fake_ppp::sent.empty()) << r.index;
  }
}

TEST_F(LinkTrapTest, CallbackDialsAtMostMaxAttemptsPerBurstOfTraps) {
  FakeModem modem;
  CNTCIP::LinkExternalModem(COMM_PORT_CCP, &modem);
  SetNv(nv::quorCallbackMaxAttempts, 2);
  Queue();
  Steps(1);
  EXPECT_EQ(std::vector<std::string>{"dial 5551234"}, modem.calls);
  EXPECT_EQ(std::vector<std::string>{"ccp_ppp restart"}, fake_ppp::events);
  // Nobody answers: the next attempt 30 steps later, the link reset 5 before.
  Steps(25);
  EXPECT_EQ(1u, Dials(modem));
  Steps(1);
  EXPECT_EQ("ccp_ppp lcp 4096", fake_ppp::events.back());
  Steps(4);
  EXPECT_EQ(1u, Dials(modem));
  Steps(1);
  EXPECT_EQ(2u, Dials(modem));
  Steps(100);
  EXPECT_EQ(2u, Dials(modem)) << "two attempts per burst";
  // A new trap starts a new burst.
  Queue();
  Steps(1);
  EXPECT_EQ(3u, Dials(modem));
}

TEST_F(LinkTrapTest, CallbackSendsOneTrapPerStepThenEscapesAndHangsUp) {
  FakeModem modem;
  CNTCIP::LinkExternalModem(COMM_PORT_CCP, &modem);
  Queue();
  Queue();
  Queue();
  Steps(1);
  ASSERT_EQ(1u, Dials(modem));
  carrier_ = NTCIP_CARRIER_CCP;  // central answered
  Steps(2);                        // negotiating
  fake_ppp::ipcp = NTCIP_IPCP_OPENED;
  Steps(3);
  EXPECT_EQ(3u, fake_ppp::sent.size());
  EXPECT_TRUE(g_trap_buffer.IsEmpty());
  modem.calls.clear();
  Steps(16);
  EXPECT_TRUE(modem.calls.empty());
  Steps(1);
  EXPECT_EQ(std::vector<std::string>{"escape"}, modem.calls);
  Steps(2);
  EXPECT_EQ(std::vector<std::string>{"escape"}, modem.calls);
  Steps(1);
  EXPECT_EQ((std::vector<std::string>{"escape", "hangup"}), modem.calls);
  Steps(20);
  EXPECT_EQ(2u, modem.calls.size());
}

TEST_F(LinkTrapTest, CarrierWithoutALinkIsEscapedAndHungUp) {
  FakeModem modem;
  CNTCIP::LinkExternalModem(COMM_PORT_AUX, &modem);
  Queue();
  carrier_ = NTCIP_CARRIER_AUX;
  Steps(237, CNTCIP::ProcessPPPTrapsAUX);
  EXPECT_TRUE(modem.calls.empty());
  trace_capture trace;
  Steps(1, CNTCIP::ProcessPPPTrapsAUX);
  EXPECT_EQ(std::vector<std::string>{"escape"}, modem.calls);
  EXPECT_TRUE(trace.contains("CNTCIP::ProcessPPPTrapsAUX: establish ppp connection timed out\n"));
  Steps(3, CNTCIP::ProcessPPPTrapsAUX);
  EXPECT_EQ((std::vector<std::string>{"escape", "hangup"}), modem.calls);
  EXPECT_TRUE(fake_ppp::sent.empty());
}

TEST_F(LinkTrapTest, NoCallbackNumberMeansNoDialling) {
  FakeModem modem;
  CNTCIP::LinkExternalModem(COMM_PORT_MODEM, &modem);
  SetNumber("");
  Queue();
  Steps(100, CNTCIP::ProcessPPPTrapsModem);
  EXPECT_TRUE(modem.calls.empty());
  // Central calls in: the trap leaves on its call.
  carrier_ = NTCIP_CARRIER_MODEM;
  fake_ppp::ipcp = NTCIP_IPCP_OPENED;
  Steps(1, CNTCIP::ProcessPPPTrapsModem);
  EXPECT_EQ(std::vector<std::string>{"modem_ppp"}, fake_ppp::sent);
}

TEST_F(LinkTrapTest, ModemsOnlyOnTheirPortsAndReleasedWithALinkReset) {
  FakeModem modem;
  trace_capture trace;
  EXPECT_EQ(0u, CNTCIP::LinkExternalModem(COMM_PORT_LAPTOP, &modem));
  EXPECT_TRUE(trace.contains("CNTCIP::LinkExternalModem: error unknown comm port setting\n"));
  EXPECT_EQ(nullptr, CNTCIP::LinkedModem(COMM_PORT_LAPTOP));
  CNTCIP::LinkExternalModem(COMM_PORT_MODEM, &modem);
  EXPECT_EQ(&modem, CNTCIP::LinkedModem(COMM_PORT_MODEM));
  CNTCIP::ReleaseModemLink(&modem);
  EXPECT_EQ(nullptr, CNTCIP::LinkedModem(COMM_PORT_MODEM));
  EXPECT_EQ(std::vector<std::string>{"modem_ppp lcp 4096"}, fake_ppp::events);
}

// A serial endpoint whose port has traps enabled answers a poll with its
// oldest trap instead of the request.
TEST_F(LinkTrapTest, PolledTrapAnswerTakesThePlaceOfTheResponse) {
  CNTCIP::InstallTrapPaths();
  SetNv(nv::quorCommConfigProtocol(0), 2);
  InThread([] { g_comm_task.ApplyPortProtocols(); });
  ASSERT_EQ(COMM_PORT_CCP, PortOf("ccp_pmpp"));
  EXPECT_EQ(0u, CNTCIP::TrapsEnabled("ccp_pmpp"));
  EXPECT_EQ(1u, CNTCIP::TrapsEnabled("ccp_ppp"));      // not bound
  EXPECT_EQ(1u, CNTCIP::TrapsEnabled("ethernet_udp"));  // not a serial port
  EXPECT_EQ(1u, CNTCIP::TrapsEnabled("nowhere"));
  EXPECT_EQ(1u, CNTCIP::IsTrapBufferEmpty("ccp_pmpp"));
  Queue();
  EXPECT_EQ(0u, CNTCIP::IsTrapBufferEmpty("ccp_pmpp"));
  EXPECT_EQ(1u, CNTCIP::IsTrapBufferEmpty("nowhere"));
}

}  // namespace
