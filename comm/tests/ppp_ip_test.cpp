// SNMP over IP over the PPP link: the link's own IP instance answers UDP
// and TCP on port 161 and pings, with datagrams carried in frames of
// protocol 0x0021 in both directions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/tests/ppp_fixture.h"
#include "ntcip/snmp/snmp_counters.h"

namespace {

using namespace pt;

struct datagram {
  uint32_t src = 0, dst = 0;
  uint8_t proto = 0;
  std::string payload;
  bool checksum_ok = false;
};

// The IP datagrams the controller sent, one per frame of protocol 0x0021
// (the answers here are short).
std::vector<datagram> Datagrams(const std::vector<frame>& frames) {
  std::vector<datagram> out;
  for (const frame& f : frames) {
    if (f.protocol != PPP_PROTOCOL_IP || f.payload.size() < 20) continue;
    const std::string& d = f.payload;
    datagram g;
    g.src = Get32(d, 12);
    g.dst = Get32(d, 16);
    g.proto = static_cast<uint8_t>(d[9]);
    g.checksum_ok = Checksum(d.substr(0, 20)) == 0 && Get16(d, 2) == d.size();
    g.payload = d.substr(20);
    out.push_back(g);
  }
  return out;
}

struct segment {
  uint16_t sport = 0, dport = 0;
  uint32_t seq = 0, ack = 0;
  uint8_t flags = 0;
  std::string data;
};

enum : uint8_t { kFin = 1, kSyn = 2, kRst = 4, kPsh = 8, kAck = 16 };

std::string Tcp(uint16_t sport, uint32_t seq, uint32_t ack, uint8_t flags, const std::string& data,
                uint16_t dport = 161) {
  std::string t =
      U16(sport) + U16(dport) + U32(seq) + U32(ack) + Bytes({0x50, flags}) + U16(8192) + U16(0) + U16(0) + data;
  const uint16_t c = Checksum(t, Pseudo(kManager, kLocal, 6, t.size()));
  t[16] = static_cast<char>(c >> 8);
  t[17] = static_cast<char>(c & 0xFF);
  return Ipv4(6, kManager, kLocal, t);
}

std::vector<segment> Segments(const std::vector<frame>& frames) {
  std::vector<segment> out;
  for (const datagram& d : Datagrams(frames)) {
    if (d.proto != 6 || d.payload.size() < 20) continue;
    EXPECT_EQ(0, Checksum(d.payload, Pseudo(d.src, d.dst, 6, d.payload.size()))) << "TCP checksum";
    segment s;
    s.sport = Get16(d.payload, 0);
    s.dport = Get16(d.payload, 2);
    s.seq = Get32(d.payload, 4);
    s.ack = Get32(d.payload, 8);
    s.flags = static_cast<uint8_t>(d.payload[13]);
    s.data = d.payload.substr((static_cast<uint8_t>(d.payload[12]) >> 4) * 4u);
    out.push_back(s);
  }
  return out;
}

bool IsSysDescrAnswer(const std::string& message) {
  return message.size() > 20 && message[0] == '\x30' && message.find("Field Controller") != std::string::npos;
}

class PppIpTest : public PppTest {
 protected:
  void SetUp() override {
    PppTest::SetUp();
    CreateAgent(false);
    BringUp();
    // The dispatch threads see the link enabled at their next poll.
    Advance(2);
  }
};

// A GET over UDP to port 161 of the link's address is answered from port 161
// to the sender's port; a GET in a 0xC1 frame afterwards is still answered
// in a 0xC1 frame.
TEST_F(PppIpTest, UdpGetIsAnsweredOverUdp) {
  const uint32_t out = snmp_counter_get(snmp_counter::snmpOutPkts);
  auto frames = Exchange(Frame(PPP_PROTOCOL_IP, Udp(kManager, 5000, kLocal, 161, GetSysDescr(11))));
  auto datagrams = Datagrams(frames);
  ASSERT_EQ(1u, datagrams.size()) << Hex(last_wire_);
  const datagram& d = datagrams[0];
  EXPECT_TRUE(d.checksum_ok);
  EXPECT_EQ(kLocal, d.src);
  EXPECT_EQ(kManager, d.dst);
  ASSERT_EQ(17, d.proto);
  EXPECT_EQ(0, Checksum(d.payload, Pseudo(d.src, d.dst, 17, d.payload.size()))) << "UDP checksum";
  EXPECT_EQ(161, Get16(d.payload, 0));
  EXPECT_EQ(5000, Get16(d.payload, 2));
  EXPECT_TRUE(IsSysDescrAnswer(d.payload.substr(8))) << Hex(d.payload);
  EXPECT_EQ(0x21, link_->last_data_protocol);
  EXPECT_EQ(out + 1, snmp_counter_get(snmp_counter::snmpOutPkts)) << "UDP answers are counted";

  frames = Exchange(Frame(PPP_PROTOCOL_SNMP, GetSysDescr(12)));
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(PPP_PROTOCOL_SNMP, frames[0].protocol);
  EXPECT_TRUE(IsSysDescrAnswer(frames[0].payload));
}

// A datagram may come in several frames, and in IP fragments.
TEST_F(PppIpTest, DatagramsAcrossFramesAndFragments) {
  const std::string whole = Udp(kManager, 5001, kLocal, 161, GetSysDescr(13));
  Line().send(Frame(PPP_PROTOCOL_IP, whole.substr(0, 30)));
  auto frames = Exchange(Frame(PPP_PROTOCOL_IP, whole.substr(30)));
  auto datagrams = Datagrams(frames);
  ASSERT_EQ(1u, datagrams.size()) << Hex(last_wire_);
  EXPECT_EQ(5001, Get16(datagrams[0].payload, 2));

  // The same UDP datagram in two IP fragments (offsets in 8-byte units).
  const std::string udp = Udp(kManager, 5002, kLocal, 161, GetSysDescr(14)).substr(20);
  const std::string first = Ipv4(17, kManager, kLocal, udp.substr(0, 24), 99, 0x2000);
  const std::string second = Ipv4(17, kManager, kLocal, udp.substr(24), 99, 3);
  Line().send(Frame(PPP_PROTOCOL_IP, second));
  frames = Exchange(Frame(PPP_PROTOCOL_IP, first));
  datagrams = Datagrams(frames);
  ASSERT_EQ(1u, datagrams.size()) << Hex(last_wire_);
  EXPECT_EQ(5002, Get16(datagrams[0].payload, 2));
  EXPECT_TRUE(IsSysDescrAnswer(datagrams[0].payload.substr(8)));
}

// Bad datagrams are dropped by the instance: a wrong header checksum,
// another destination, a wrong UDP checksum, a port nobody listens on.
TEST_F(PppIpTest, BadDatagramsAreDropped) {
  std::string bad_header = Udp(kManager, 5003, kLocal, 161, GetSysDescr(15));
  bad_header[8] ^= 1;  // time to live, under the header checksum
  std::string bad_udp = Udp(kManager, 5003, kLocal, 161, GetSysDescr(15));
  bad_udp[30] ^= 1;
  for (const std::string& d : {bad_header, bad_udp, Udp(kManager, 5003, IP_ADDRESS(10, 9, 9, 9), 161, GetSysDescr()),
                               Udp(kManager, 5003, kLocal, 162, GetSysDescr())}) {
    auto frames = Exchange(Frame(PPP_PROTOCOL_IP, d));
    EXPECT_TRUE(Datagrams(frames).empty()) << Hex(d);
  }
  auto frames = Exchange(Frame(PPP_PROTOCOL_IP, Udp(kManager, 5003, kLocal, 161, GetSysDescr(16))));
  EXPECT_EQ(1u, Datagrams(frames).size());
}

TEST_F(PppIpTest, PingIsAnswered) {
  std::string echo = Bytes({8, 0, 0, 0, 0x12, 0x34, 0, 1}) + "ping data";
  const uint16_t c = Checksum(echo);
  echo[2] = static_cast<char>(c >> 8);
  echo[3] = static_cast<char>(c & 0xFF);
  auto datagrams = Datagrams(Exchange(Frame(PPP_PROTOCOL_IP, Ipv4(1, kManager, kLocal, echo))));
  ASSERT_EQ(1u, datagrams.size());
  EXPECT_EQ(1, datagrams[0].proto);
  EXPECT_EQ(kManager, datagrams[0].dst);
  EXPECT_EQ(0, datagrams[0].payload[0]) << "echo reply";
  EXPECT_EQ(0, Checksum(datagrams[0].payload));
  EXPECT_EQ(echo.substr(4), datagrams[0].payload.substr(4));
}

// TCP on port 161: a request is answered on its connection, the peer's close
// ends it, and a new connection is accepted afterwards.
TEST_F(PppIpTest, TcpGetIsAnsweredOnTheConnection) {
  const uint32_t out = snmp_counter_get(snmp_counter::snmpOutPkts);
  for (uint16_t port : {6000, 6001}) {
    uint32_t seq = 1000;
    auto segments = Segments(Exchange(Frame(PPP_PROTOCOL_IP, Tcp(port, seq, 0, kSyn, ""))));
    ASSERT_EQ(1u, segments.size()) << Hex(last_wire_);
    ASSERT_EQ(kSyn | kAck, segments[0].flags);
    EXPECT_EQ(seq + 1, segments[0].ack);
    EXPECT_EQ(port, segments[0].dport);
    ++seq;
    uint32_t theirs = segments[0].seq + 1;
    const std::string get = GetSysDescr(21);
    Exchange(Frame(PPP_PROTOCOL_IP, Tcp(port, seq, theirs, kAck, "")));
    Exchange(Frame(PPP_PROTOCOL_IP, Tcp(port, seq, theirs, kAck | kPsh, get)));
    seq += static_cast<uint32_t>(get.size());
    // The server thread accepts within its wait, the dispatch thread then
    // receives within its step.
    std::string answer;
    for (int i = 0; i < 20 && answer.empty(); ++i) {
      for (const segment& s : Segments(Advance(50))) answer += s.data;
    }
    EXPECT_TRUE(IsSysDescrAnswer(answer)) << Hex(answer);
    EXPECT_EQ(out, snmp_counter_get(snmp_counter::snmpOutPkts)) << "TCP answers are not counted";
    Exchange(Frame(PPP_PROTOCOL_IP, Tcp(port, seq, theirs + static_cast<uint32_t>(answer.size()), kAck, "")));

    // The peer closes; the controller closes its side too.
    Exchange(Frame(PPP_PROTOCOL_IP, Tcp(port, seq, theirs + static_cast<uint32_t>(answer.size()), kAck | kFin, "")));
    ++seq;
    bool fin = false;
    uint32_t fin_seq = 0;
    for (int i = 0; i < 20 && !fin; ++i) {
      for (const segment& s : Segments(Advance(50)))
        if (s.flags & kFin) {
          fin = true;
          fin_seq = s.seq;
        }
    }
    ASSERT_TRUE(fin) << "the controller's FIN";
    Exchange(Frame(PPP_PROTOCOL_IP, Tcp(port, seq, fin_seq + 1, kAck, "")));
    Advance(100);
  }
}

// A segment for a port nobody listens on is reset.
TEST_F(PppIpTest, TcpToAnotherPortIsReset) {
  auto segments = Segments(Exchange(Frame(PPP_PROTOCOL_IP, Tcp(7000, 5, 0, kSyn, "", 80))));
  ASSERT_EQ(1u, segments.size());
  EXPECT_EQ(kRst | kAck, segments[0].flags);
  EXPECT_EQ(6u, segments[0].ack);
}

}  // namespace
