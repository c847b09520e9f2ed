// The PMPP link in radio mode on the CCP port, the test as the radio modem:
// requests come as XFERB transfers of UDP datagrams, answers leave in
// checksummed packets of at most 488 data bytes, each acknowledged three
// times; bad, overlong or truncated transfers are dropped with a count.
#include "comm/tests/pmpp_fixture.h"
#include "comm/ntcip_endpoint.h"
#include "comm/ntcip_link.h"
#include "comm/pmpp/pmpp_module.h"
#include "comm/ports.h"
#include "sim/rdi/rdi_radio.h"

namespace {

using namespace pmt;
namespace radio = sim::rdi;
using kind = radio::event;

constexpr radio::address kOwn = 0xC0A80114;  // 192.168.1.20, the agent's
constexpr radio::address kCentral = 0x0A000005;
const std::string kLid = "40321";

// BER header with a two-byte length.
std::string Long(int tag, const std::string& content) {
  const int n = static_cast<int>(content.size());
  return Bytes({tag, 0x82, n >> 8, n & 0xFF}) + content;
}

// A GET of sysDescr.0 `count` times, long enough to need long-form lengths.
std::string GetMany(int count) {
  std::string list;
  for (int i = 0; i < count; ++i) list += Bytes({0x30, 0x0C, 0x06, 0x08, 0x2B, 6, 1, 2, 1, 1, 1, 0, 0x05, 0x00});
  const std::string pdu = Bytes({0x02, 0x01, 0x05, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00}) + Long(0x30, list);
  return Long(0x30, Bytes({0x02, 0x01, 0x00, 0x04, 0x06}) + "fernly" + Long(0xA0, pdu));
}

class RdiTest : public PmppTest {
 protected:
  void Start(uint8_t retries = 2, uint16_t ack2 = 0) {
    CreateAgent(1);
    rtos::cpu_scope s;
    pmpp_rdi_set_mode(link_, true);
    pmpp_set_parameters(link_, ack2, retries, 0, 0);
  }

  std::vector<radio::event> Send(const std::string& bytes) {
    if (!bytes.empty()) Line().send(bytes);
    return radio_.feed(Wire());
  }

  // Time passes on a silent line.
  std::vector<radio::event> Wait(uint32_t ticks) {
    rtos::advance(ticks);
    return Send("");
  }

  static radio::datagram Request(const std::string& message, int type = 2) {
    radio::datagram d;
    d.h.type = type;
    d.h.source = kCentral;
    d.h.destination = kOwn;
    d.h.tag = 0x5A;
    d.h.value = 0x1234;
    d.source_port = 3001;
    d.destination_port = 161;
    d.data = message;
    return d;
  }

  // One whole transfer to the controller; what it answers to the data.
  std::vector<radio::event> Transfer(const radio::datagram& d) {
    const std::string bytes = radio::Encode(d);
    auto ready = Send(radio::Xferb(kLid, static_cast<unsigned>(bytes.size())));
    EXPECT_TRUE(ready.size() == 1 && ready[0].what == kind::ACK && ready[0].ack == '0');
    return Send(bytes);
  }

  // Takes the announced answer packet by packet, acknowledging each; the
  // packets in order.
  std::vector<radio::event> TakeAnswer(std::vector<radio::event> events) {
    std::vector<radio::event> packets;
    for (int n = 0; n < 10; ++n) {
      const radio::event* x = nullptr;
      for (const auto& e : events)
        if (e.what == kind::XFERB) x = &e;
      if (!x) break;
      EXPECT_EQ("11002", x->command);
      EXPECT_EQ(kLid, x->lid);
      auto got = Send(radio::Ack('0'));
      EXPECT_EQ(1u, got.size());
      if (got.size() != 1 || got[0].what != kind::PACKET) break;
      EXPECT_EQ(x->length, got[0].raw.size());
      packets.push_back(got[0]);
      EXPECT_TRUE(Send(radio::Ack('1')).empty());  // the next waits for ACK2
      events = Send(radio::Ack('2'));
    }
    EXPECT_TRUE(events.empty());
    return packets;
  }

  radio::decoder radio_;
};

TEST_F(RdiTest, RequestIsAnsweredByAChecksummedDatagramForEachHeaderType) {
  Start();
  // Type 0 carries no destination: the one of the type 2 before counts.
  for (int type : {2, 1, 0}) {
    SCOPED_TRACE(type);
    const radio::datagram d = Request(GetSysDescr(1, 10 + type), type);
    auto events = Transfer(d);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(kind::ACK, events[0].what);
    EXPECT_EQ('1', events[0].ack);
    auto packets = TakeAnswer(events);
    ASSERT_EQ(1u, packets.size());
    const radio::event& p = packets[0];
    EXPECT_TRUE(p.checksum_ok);
    EXPECT_NE(0, p.checksum);
    EXPECT_EQ(2, p.packet.h.type);
    EXPECT_EQ(kOwn, p.packet.h.source);
    EXPECT_EQ(kCentral, p.packet.h.destination);
    EXPECT_EQ(0x5A, p.packet.h.tag);
    EXPECT_EQ(type == 1 ? 0 : 0x1234, p.packet.h.value);
    EXPECT_FALSE(p.packet.h.more);
    EXPECT_EQ(0u, p.packet.h.number);
    EXPECT_EQ(161, p.packet.source_port);
    EXPECT_EQ(3001, p.packet.destination_port);
    EXPECT_TRUE(IsResponse(p.packet.data));
  }
  EXPECT_EQ(RDI_IDLE, link_->rdi.state);
}

TEST_F(RdiTest, LongAnswerLeavesIn488BytePacketsEachAfterAck2) {
  Start();
  auto packets = TakeAnswer(Transfer(Request(GetMany(20))));
  ASSERT_GE(packets.size(), 2u) << link_->rdi.count.answers_dropped;
  std::string message;
  for (size_t k = 0; k < packets.size(); ++k) {
    SCOPED_TRACE(k);
    const bool last = k + 1 == packets.size();
    EXPECT_TRUE(packets[k].checksum_ok);
    EXPECT_EQ(k, packets[k].packet.h.number);
    EXPECT_EQ(!last, packets[k].packet.h.more);
    if (!last) {
      EXPECT_EQ(RDI_PACKET_DATA, packets[k].packet.data.size());
    }
    message += packets[k].packet.data;
  }
  EXPECT_TRUE(IsResponse(message));
}

TEST_F(RdiTest, MessageInTwoPacketsIsServedAfterTheSecond) {
  Start();
  const std::string message = GetSysDescr(4);
  radio::datagram first = Request(message.substr(0, 20));
  first.h.more = true;
  radio::datagram second = Request(message.substr(20));
  second.h.number = 1;
  auto events = Transfer(first);
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ('1', events[0].ack);
  EXPECT_EQ(1u, TakeAnswer(Transfer(second)).size());

  // A later packet whose first never came is acknowledged and dropped.
  radio::datagram orphan = Request(GetSysDescr());
  orphan.h.number = 3;
  events = Transfer(orphan);
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ('1', events[0].ack);
  EXPECT_EQ(1u, link_->rdi.count.transfers_orphan);
}

TEST_F(RdiTest, MissingOrFailedAcknowledgementsAreRetriedThenAbandoned) {
  Start(2);
  auto events = Transfer(Request(GetSysDescr()));
  ASSERT_EQ(2u, events.size());
  // 'A' from the radio: the XFERB again, at once.
  events = Send(radio::Ack('A'));
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(kind::XFERB, events[0].what);
  // Silence: one more retry, then the answer is given up.
  events = Wait(60);
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(kind::XFERB, events[0].what);
  EXPECT_TRUE(Wait(60).empty());
  EXPECT_EQ(RDI_IDLE, link_->rdi.state);
  EXPECT_EQ(2u, link_->rdi.count.retransmissions);
  EXPECT_EQ(1u, link_->rdi.count.answers_abandoned);
  // A lost ACK1 after the packet: the XFERB again, then the packet.
  ASSERT_EQ(2u, Transfer(Request(GetSysDescr(1, 7))).size());
  ASSERT_EQ(kind::PACKET, Send(radio::Ack('0')).at(0).what);
  events = Wait(110);
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(1u, TakeAnswer(events).size());
}

TEST_F(RdiTest, WaitsFollowTheStateAndTheAck2Setting) {
  Start();
  struct row {
    uint32_t state;
    uint32_t ack2;
    uint32_t ticks;
  } rows[] = {{RDI_IDLE, 0, 52},      {RDI_COMMAND, 0, 22},   {RDI_SENDING_XFERB, 0, 52}, {RDI_WAIT_ACK0, 0, 52},
              {RDI_WAIT_ACK0 + 1, 0, 22}, {RDI_WAIT_ACK1, 0, 102}, {RDI_WAIT_ACK2, 0, 4502},  {RDI_WAIT_ACK2, 3000, 302},
              {RDI_LAST_STATE, 0, 22}, {RDI_LAST_STATE + 1, 0, 52}};
  for (const row& r : rows) {
    pmpp_rdi rdi{};
    rdi.state = r.state;
    rdi.ack2_timeout = r.ack2;
    EXPECT_EQ(r.ticks, pmpp_rdi_wait(rdi)) << r.state << " " << r.ack2;
  }
}

TEST(RdiChecksum, MatchesRfc768) {
  const uint8_t src[4] = {1, 2, 3, 4}, dst[4] = {5, 6, 7, 8};
  const uint8_t odd[9] = {0, 1, 0, 2, 0, 9, 0, 0, 0xAB};
  EXPECT_EQ(0x44C5, pmpp_udp_checksum(src, dst, odd, sizeof odd));
  // A full packet, against the radio's own sum.
  std::string udp(496, '\0');
  for (size_t i = 0; i < udp.size(); ++i) udp[i] = static_cast<char>(i * 37 + 11);
  udp[6] = udp[7] = 0;
  EXPECT_EQ(radio::UdpChecksum(0x01020304, 0x05060708, udp),
            pmpp_udp_checksum(src, dst, reinterpret_cast<const uint8_t*>(udp.data()), 496));
}

// Bad transfers: nothing is acknowledged beyond what arrived whole, the
// drop is counted, and the next good request is served.
TEST_F(RdiTest, BadTransfersAreDroppedWithACount) {
  Start();
  const std::string good = radio::Encode(Request(GetSysDescr()));
  const std::string xferb = radio::Xferb(kLid, static_cast<unsigned>(good.size()));
  auto served = [&] {
    auto events = Transfer(Request(GetSysDescr(1, 99)));
    return events.size() == 2 && events[0].ack == '1' && TakeAnswer(events).size() == 1;
  };

  // Every prefix of a transfer, ended by silence.
  const std::string whole = xferb + good;
  for (size_t n = 1; n < whole.size(); ++n) {
    auto events = Send(whole.substr(0, n));
    for (const auto& e : events) EXPECT_TRUE(e.what == kind::ACK && e.ack == '0') << n;
    Wait(60);
    ASSERT_EQ(RDI_IDLE, link_->rdi.state) << n;
  }
  EXPECT_TRUE(served());

  struct row {
    const char* what;
    std::string command, data;
    uint32_t pmpp_rdi_counters::*counter;
  };
  std::string corrupt = good;
  corrupt.back() ^= 0x01;
  radio::datagram elsewhere = Request(GetSysDescr());
  elsewhere.h.destination = kOwn + 1;
  radio::datagram lying = Request(GetSysDescr());
  std::string short_udp = radio::Encode(lying);
  short_udp[15 + 5] += 1;  // UDP length one more than sent
  const row rows[] = {
      {"overlong command", "\x04" + std::string(40, '7') + "\r", "", &pmpp_rdi_counters::commands_overlong},
      {"short command", "\x04" "11002" "1234\r", "", &pmpp_rdi_counters::commands_refused},
      {"length not digits", "\x04" "11002" "40321" "05x0\r", "", &pmpp_rdi_counters::commands_refused},
      {"above 512", radio::Xferb(kLid, 513), std::string(513, '\x10'), &pmpp_rdi_counters::commands_refused},
      {"bad checksum", xferb, corrupt, &pmpp_rdi_counters::transfers_bad_checksum},
      {"wrong UDP length", xferb, short_udp, &pmpp_rdi_counters::transfers_bad_checksum},
      {"other address", radio::Xferb(kLid, static_cast<unsigned>(radio::Encode(elsewhere).size())),
       radio::Encode(elsewhere), &pmpp_rdi_counters::transfers_other},
      {"announced too short", radio::Xferb(kLid, 12), good, &pmpp_rdi_counters::transfers_malformed},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    const uint32_t before = link_->rdi.count.*r.counter;
    auto events = Send(r.command);
    auto after = Send(r.data);
    events.insert(events.end(), after.begin(), after.end());
    for (const auto& e : events) EXPECT_TRUE(e.what == kind::ACK && e.ack == '0');
    EXPECT_EQ(before + 1, link_->rdi.count.*r.counter);
    Wait(60);
    EXPECT_TRUE(served());
  }

  // A message larger than the frame buffer, in full packets.
  const std::string chunk(480, '\x30');
  for (unsigned k = 0; k < 5; ++k) {
    radio::datagram d = Request(chunk);
    d.h.number = k;
    d.h.more = k < 4;
    auto events = Transfer(d);
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ('1', events[0].ack);
  }
  EXPECT_EQ(1u, link_->rdi.count.transfers_overflow);
  EXPECT_TRUE(served());
}

}  // namespace

namespace {

using namespace pmt;

// The port binding hands the CCP port to the PMPP endpoint; the radio
// protocol setting of the port turns the radio mode on, any other off.
TEST_F(PmppTest, RadioProtocolOfTheCcpPortSelectsRadioMode) {
  pmpp_module_install();
  CreateAgent(1);
  const ntcip_link_ops* ops = ntcip_get_link_ops(NTCIP_LINK_PMPP);
  ASSERT_TRUE(ops && ops->set_io);
  const ntcip_port_io io{ccp_ppp_read, ccp_port_write, nullptr};
  const db_object protocol = nv::quorCommConfigProtocol(PORT_INDEX_CCP);
  for (uint32_t p : {PORT_PROTOCOL_RADIO, PORT_PROTOCOL_PMPP, PORT_PROTOCOL_RADIO}) {
    db_->SetValue(protocol.offset, protocol.width, p, db_->mib_nv, DB_NO_VALIDATE);
    {
      rtos::cpu_scope s;
      ops->set_io(agent_.get(), io);
    }
    EXPECT_EQ(p == PORT_PROTOCOL_RADIO, link_->rdi.mode == 1) << p;
  }
}

}  // namespace
