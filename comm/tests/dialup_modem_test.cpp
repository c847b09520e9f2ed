// The dial-up modem on the MODEM port against a simulated Hayes modem: its
// initialisation and auto-answer, the caller's number, the hang-up after
// five minutes without SNMP, the callback that dials central when traps
// wait, and a PPP session over an answered call that carries SNMP. The
// tests play the remote party on the modem's telephone side; the clock is
// the manual one.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "comm/modem/modem.h"
#include "comm/modem/modem_driver.h"
#include "comm/ppp/ppp_module.h"
#include "comm/tests/endpoints_fixture.h"
#include "comm/tests/ppp_fixture.h"
#include "database/defaults.h"
#include "frame/board/board_control.h"
#include "frame/board/interrupt.h"
#include "frame/timer/timer_scheduler.h"
#include "ntcip/snmp/agent/request.h"
#include "sim/modem/hayes_modem.h"

namespace {

using namespace ct;
using pt::frame;

constexpr uint32_t kModemIndex = 2;  // the MODEM port's row of the port settings

class DialupModemTest : public EndpointsTest {
 protected:
  void BeforeEndpoints() override {
    {
      rtos::cpu_scope s;
      interrupt_power_on();
      board_control_power_on();
      timer_scheduler_tx_rtos::Instance();
    }
    {
      rtos::cpu_scope s;
      defaults_global_nv(*db_, 0);
      defaults_mib2_nv(*db_, 0);
      defaults_mib2_v(*db_);
    }
    ppp_module_install();
    SetNv(nv::quorCommConfigProtocol(kModemIndex), 4);
  }
  void SetUp() override {
    EndpointsTest::SetUp();
    trace_set_level(1);
    {
      // The port keeps its speed across starts: open it on this board.
      rtos::cpu_scope s;
      CSerialDriver* port = CNTCIP::PortDriver(COMM_PORT_MODEM);
      ASSERT_NE(nullptr, port);
      ASSERT_EQ(1u, port->Open(3, 9600, 8, 0x1021, 0, 2000));
    }
    {
      rtos::cpu_scope s;
      db_->SetString(nv::chapSecret.offset, 4, pt::kSecret.data(), static_cast<uint32_t>(pt::kSecret.size()),
                     db_->mib_nv, DB_NO_VALIDATE);
    }
    modem_.connect_line(&board::serial(COMM_PORT_MODEM));
    Create(CModem::TYPE_INTERNAL, "3");
    ASSERT_NE(nullptr, peripheral_);
  }
  void TearDown() override {
    InThread([&] { peripheral_.reset(); });
    trace_set_level(0);
    g_modem_snmp_activity = 0;
    EndpointsTest::TearDown();
    timer_scheduler_tx_rtos::DestroyInstance();
  }

  void Create(uint16_t type, const char* parameters) {
    InThread([&] {
      peripheral_.reset();
      pl_record record;
      record.type_id = type;
      record.class_code = CModem::CLASS_CODE;
      record.parameters = parameters;
      peripheral_.reset(static_cast<CModem*>(CModem::Create(record)));
    });
  }
  CModemDriver_Dialup* Driver() { return static_cast<CModemDriver_Dialup*>(peripheral_->Driver()); }

  // Bytes both ways between the controller and the modem until quiet.
  void Pump() {
    for (int round = 0; round < 8; ++round) {
      rtos::settle();
      const size_t in = modem_.pump();
      rtos::settle();
      if (!in && round > 1) break;
    }
  }
  void Poll(int n = 1) {
    for (int i = 0; i < n; ++i) {
      InThread([&] { peripheral_->Poll(); });
      Pump();
    }
  }
  // Initialised and answering on the second ring.
  void Ready() {
    Poll(2);
    ASSERT_TRUE(Driver()->IsReady());
  }
  void Answer(const std::string& number = "5551234") {
    modem_.incoming_call(number);
    for (int r = 0; r < 2; ++r) {
      modem_.ring();
      Pump();
      Poll();
    }
    ASSERT_TRUE(modem_.online());
  }
  std::string NvText(db_object o) {
    rtos::cpu_scope s;
    uint32_t length = 0;
    const uint8_t* text = db_->GetString(o.offset, o.width, db_->mib_nv, &length);
    return text ? std::string(reinterpret_cast<const char*>(text), length) : std::string();
  }
  size_t Count(const std::string& command) {
    size_t n = 0;
    for (const std::string& c : modem_.commands()) n += c == command;
    return n;
  }

  // ---- the remote party's PPP
  std::vector<frame> Exchange(const std::string& bytes) {
    modem_.peer_send(bytes);
    return Collect();
  }
  std::vector<frame> Collect() {
    std::string wire;
    for (int round = 0; round < 8; ++round) {
      Pump();
      wire += modem_.peer_take();
    }
    last_wire_ = wire;
    return pt::Parse(wire);
  }
  static const frame* Find(const std::vector<frame>& frames, uint16_t protocol, int code) {
    for (const frame& f : frames)
      if (f.protocol == protocol && pt::Code(f) == code) return &f;
    return nullptr;
  }
  // LCP both ways, CHAP when asked, IPCP both ways.
  void BringUpPpp() {
    using namespace pt;
    auto frames = Exchange(Frame(PPP_PROTOCOL_LCP, Packet(1, 1, Bytes({0x02, 0x06, 0, 0, 0, 0}))));
    std::vector<frame> seen = frames;
    // The link's own request may wait for its restart timer.
    for (int wait = 0; wait < 10 && !Find(seen, PPP_PROTOCOL_LCP, 1); ++wait) {
      rtos::advance(100);
      seen = Collect();
    }
    const frame* request = Find(seen, PPP_PROTOCOL_LCP, 1);
    ASSERT_NE(nullptr, request) << "no Configure-Request";
    frames = Exchange(Frame(PPP_PROTOCOL_LCP, Packet(2, Id(*request), Data(*request))));
    if (const frame* challenge = Find(frames, PPP_PROTOCOL_CHAP, 1)) {
      frames = Exchange(Frame(PPP_PROTOCOL_CHAP, PppTest_Response(*challenge)));
      ASSERT_NE(nullptr, Find(frames, PPP_PROTOCOL_CHAP, 3)) << "no Success";
    }
    frames = Exchange(Frame(PPP_PROTOCOL_IPCP, Packet(1, 1, Bytes({3, 6, 10, 0, 0, 9}))));
    const frame* ipcp = Find(frames, PPP_PROTOCOL_IPCP, 1);
    ASSERT_NE(nullptr, ipcp) << "no IPCP Configure-Request";
    Exchange(Frame(PPP_PROTOCOL_IPCP, Packet(2, Id(*ipcp), Data(*ipcp))));
    ASSERT_EQ(PPP_OPENED, ppp_find("modem_ppp")->ipcp_state);
  }
  static std::string PppTest_Response(const frame& challenge) {
    using namespace pt;
    const std::string data = Data(challenge);
    const size_t size = data.empty() ? 0 : static_cast<uint8_t>(data[0]);
    const std::string digest = Md5(Id(challenge), kSecret, data.substr(1, size));
    const std::string name = "peer";
    return Bytes({2, Id(challenge)}) + U16(static_cast<uint32_t>(4 + 1 + 16 + name.size())) + Bytes({16}) + digest +
           name;
  }

  std::string last_wire_;
  sim::hayes_modem modem_;
  std::unique_ptr<CModem> peripheral_;
};

TEST_F(DialupModemTest, InitialisesAndAnswersOnTheSecondRing) {
  trace_capture trace;
  EXPECT_EQ(PERIPHERAL_READING, peripheral_->m_byState);
  Poll();
  ASSERT_FALSE(modem_.commands().empty());
  EXPECT_EQ("AT&F&K0&D0V0S0=2&W0+VCID=1", modem_.commands()[0]);
  EXPECT_EQ(2, modem_.auto_answer_rings());
  EXPECT_TRUE(modem_.caller_id_on());
  Poll();
  EXPECT_TRUE(Driver()->IsReady());
  EXPECT_EQ(PERIPHERAL_VALID, peripheral_->m_byState);
  EXPECT_TRUE(trace.contains("Initialized INTERNAL DIALUP MODEM\n"));
  EXPECT_EQ(COMM_PORT_MODEM, PortOf("modem_ppp")) << "the endpoint has its port back";

  modem_.incoming_call("5551234");
  modem_.ring();
  Pump();
  EXPECT_TRUE(trace.contains("ring\n"));
  EXPECT_FALSE(modem_.online()) << "S0=2: not on the first ring";
  Poll();
  modem_.ring();
  Pump();
  EXPECT_TRUE(modem_.online());
  EXPECT_TRUE(trace.contains("connect\n"));
  EXPECT_EQ(1, Driver()->m_byConnected);
  EXPECT_EQ(static_cast<ntcip_modem*>(Driver()), CNTCIP::LinkedModem(COMM_PORT_MODEM)) << "the callback dials through it";
}

TEST_F(DialupModemTest, ASilentModemGetsItsInitStringEvery32PollsAndReportsTheTimeout) {
  trace_capture trace;
  modem_.connect_line(nullptr);  // nobody answers
  Poll(33);
  EXPECT_EQ(PERIPHERAL_COMM_ERROR, peripheral_->m_byState);
  EXPECT_TRUE(trace.contains("Warning: Comm Timeout 005B\n"));
  EXPECT_EQ(CModemDriver_Dialup::STATE_WAITING, Driver()->InitState()) << "sent again on the 33rd poll";
}

TEST_F(DialupModemTest, AnExternalModemSendsOnlyItsParameterText) {
  modem_.connect_line(&board::serial(COMM_PORT_MODEM));
  Create(CModem::TYPE_EXTERNAL, "3,ATE1V0S0=3\r");
  ASSERT_NE(nullptr, peripheral_);
  const size_t before = modem_.commands().size();
  Poll(2);
  ASSERT_EQ(before + 1, modem_.commands().size());
  EXPECT_EQ("ATE1V0S0=3", modem_.commands().back());
  EXPECT_EQ(3, modem_.auto_answer_rings());
  EXPECT_TRUE(Driver()->IsReady());
}

TEST_F(DialupModemTest, OtherPortsAndProtocolsAreRefused) {
  trace_capture trace;
  Create(CModem::TYPE_INTERNAL, "1");
  EXPECT_EQ(nullptr, peripheral_) << "the console is no modem port";
  Create(600, "3");
  EXPECT_EQ(nullptr, peripheral_) << "not a modem type";
  Create(CModem::TYPE_INTERNAL, "3");
  ASSERT_NE(nullptr, peripheral_);
  SetNv(nv::quorCommConfigProtocol(kModemIndex), 9);
  Poll();
  EXPECT_TRUE(trace.contains("CModem::RequestAccess: error protocol 9\n"));
  EXPECT_TRUE(modem_.commands().empty());
}

TEST_F(DialupModemTest, TheCallersNumberIsStoredWhenItFits) {
  Ready();
  Answer("5551234");
  EXPECT_EQ("5551234", NvText(nv::quorCallerIDNumber));
  EXPECT_EQ("UNKNOWN", NvText(nv::quorCallerIDName));
  EXPECT_EQ(s_clock, Nv(nv::quorCallerIDTime));

  const struct {
    const char* line;
    const char* stored;  // what the number object holds afterwards
  } rows[] = {
      {"NMBR = 12345678901\r", "12345678901"},          // eleven: the whole area
      {"NMBR = 123456789012345\r", "12345678901"},      // too long: the last number stays
      {"NNMBR = 7\r", "7"},                             // N restarts the match
      {"NMBX = 8\rNMBR = 9\r", "9"},                    // a broken match starts over
      {"NAME = ABC\r", "9"},                            // not a number line
  };
  for (const auto& r : rows) {
    InThread([&] {
      for (const char* p = r.line; *p; ++p) Driver()->ParseResponse(static_cast<uint8_t>(*p));
    });
    EXPECT_EQ(r.stored, NvText(nv::quorCallerIDNumber)) << r.line;
  }
}

TEST_F(DialupModemTest, FiveMinutesWithoutSnmpHangUpTheCall) {
  Ready();
  Answer();
  Poll();
  ASSERT_TRUE(peripheral_->CommTimerRunning());
  // A request restarts the time: still on line past the first five minutes.
  rtos::advance(100);
  g_modem_snmp_activity = 1;
  Poll();
  rtos::advance(CModem::COMM_TIMEOUT - 50);
  Poll();
  EXPECT_TRUE(modem_.online());
  EXPECT_EQ(0u, modem_.hang_ups());
  rtos::advance(100);
  Poll();
  EXPECT_FALSE(modem_.online());
  EXPECT_EQ(1u, modem_.hang_ups());
  EXPECT_EQ(1u, Count("ATH0"));
  Poll(2);
  EXPECT_FALSE(peripheral_->CommTimerRunning());
  EXPECT_EQ(0, Driver()->m_byConnected);
}

TEST_F(DialupModemTest, TheRemoteHangUpIsFollowedByEscapeAndHangUp) {
  trace_capture trace;
  Ready();
  Answer();
  modem_.remote_hang_up();
  Pump();
  EXPECT_TRUE(trace.contains("disconnect\n"));
  EXPECT_EQ(0, Driver()->m_byConnected);
  Poll();
  EXPECT_EQ(1u, Count("ATH0"));
  EXPECT_EQ(COMM_PORT_MODEM, PortOf("modem_ppp"));
}

TEST_F(DialupModemTest, APppSessionOverTheAnsweredCallCarriesSnmp) {
  Ready();
  Answer();
  BringUpPpp();
  rtos::advance(2);
  std::vector<frame> frames = Exchange(pt::Frame(PPP_PROTOCOL_SNMP, pt::GetSysDescr(21)));
  for (int wait = 0; wait < 5 && frames.empty(); ++wait) {
    rtos::advance(10);
    frames = Collect();
  }
  const frame* answer = nullptr;
  for (const frame& f : frames)
    if (f.protocol == PPP_PROTOCOL_SNMP) answer = &f;
  ASSERT_NE(nullptr, answer) << pt::Hex(last_wire_);
  EXPECT_NE(std::string::npos, answer->payload.find("Field Controller"));
  EXPECT_EQ(1, g_modem_snmp_activity) << "the request keeps the call up";
}

// With traps waiting and no carrier the controller dials central; once the
// PPP link is up the traps leave, and 17 and 20 steps after the last one the
// modem is escaped and hung up.
TEST_F(DialupModemTest, TheCallbackDialsSendsTheTrapsAndHangsUp) {
  trace_capture trace;
  Ready();
  SetNv(nv::quorCommConfigTraps(kModemIndex), 1);
  SetNv(nv::quorTrapsGeneric, 0x01);
  SetNv(nv::quorCallbackMinTimeBetweenAttempts, 1);
  SetNv(nv::quorCallbackMaxAttempts, 2);
  {
    rtos::cpu_scope s;
    const std::string number = "5550199";
    db_->SetString(nv::quorCallbackNumber.offset, 4, number.data(), static_cast<uint32_t>(number.size()),
                   db_->mib_nv, DB_NO_VALIDATE);
    ++s_clock;
    CNTCIP::SendTrap(0, 0, 0, nullptr);
  }
  auto step = [&](int n) {
    for (int i = 0; i < n; ++i) {
      InThread([] { CNTCIP::ProcessPPPTrapsModem(); });
      Pump();
    }
  };
  step(1);
  ASSERT_EQ(std::vector<std::string>{"5550199"}, modem_.dialled());
  EXPECT_EQ(1u, Count("ATDTW5550199"));
  // Nobody answers: the next attempt comes a minute (30 steps) later.
  modem_.answer_dial(false);
  step(30);
  EXPECT_EQ(1u, modem_.dialled().size());
  step(1);
  ASSERT_EQ(2u, modem_.dialled().size());
  modem_.answer_dial(true);
  Pump();
  ASSERT_TRUE(modem_.online());
  step(1);
  EXPECT_TRUE(trace.contains("CNTCIP::ProcessPPPTrapsModem: attempting callback...\n"));
  BringUpPpp();
  modem_.peer_take();
  step(1);
  EXPECT_TRUE(trace.contains("CNTCIP::ProcessPPPTrapsModem: ppp link up, send trap\n"));
  EXPECT_TRUE(g_trap_buffer.IsEmpty());
  bool trap_frame = false;
  for (int round = 0; round < 4 && !trap_frame; ++round) {
    rtos::advance(2);
    for (const frame& f : Collect())
      trap_frame = trap_frame || f.protocol == PPP_PROTOCOL_IP || f.protocol == PPP_PROTOCOL_SNMP;
  }
  EXPECT_TRUE(trap_frame) << "the trap went out over the call" << pt::Hex(last_wire_);
  step(16);
  EXPECT_TRUE(modem_.data_mode());
  step(1);  // the 17th step after the trap
  EXPECT_FALSE(modem_.data_mode()) << "escaped";
  step(2);
  EXPECT_EQ(0u, Count("ATH0"));
  step(1);  // the 20th
  EXPECT_EQ(1u, Count("ATH0"));
  EXPECT_FALSE(modem_.online());
  EXPECT_EQ(2u, modem_.dialled().size()) << "the queue is empty: no further call";
}

}  // namespace
