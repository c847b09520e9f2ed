// SNMP over IP over the PMPP link: frames of IPI 0x21 carry datagrams to the
// link's own IP instance, which answers UDP and TCP on port 161 in frames of
// IPI 0x21, at once to an individual request and at the next poll after an
// all-stations or group request. The test is the central system with the
// sim's own frame codec.
#include <gtest/gtest.h>

#include <map>

#include "comm/tests/pmpp_fixture.h"
#include "comm/tests/ppp_fixture.h"
#include "ntcip/snmp/snmp_counters.h"

namespace {

using namespace pmt;
using pt::Checksum;
using pt::Get16;
using pt::Get32;
using pt::kLocal;
using pt::kManager;
using pt::Pseudo;
using pt::Udp;

constexpr uint8_t kStation = 9;

std::string IpFrame(unsigned address, const std::string& bytes, bool group = false) {
  return central::Frame(address, group, central::kUi, "\x21" + bytes);
}

// The IP bytes of the controller's frames, which must all be IP frames of
// the station, each within the frame size; cut into datagrams by their
// total lengths, fragments joined.
std::vector<std::string> Datagrams(const std::vector<central::frame>& frames) {
  std::string stream;
  for (const central::frame& f : frames) {
    EXPECT_TRUE(f.fcs_ok);
    EXPECT_EQ(kStation, f.address);
    EXPECT_EQ(central::kUi, f.control);
    EXPECT_LE(f.raw.size() + 2, 2050u) << "frame size";
    if (f.info.empty() || f.info[0] != '\x21') {
      ADD_FAILURE() << "not an IP frame";
      continue;
    }
    stream += f.info.substr(1);
  }
  std::vector<std::string> out;
  std::map<uint16_t, std::map<uint32_t, std::string>> fragments;
  size_t at = 0;
  while (at + 20 <= stream.size()) {
    const uint16_t total = Get16(stream, at + 2);
    if (total < 20 || at + total > stream.size()) {
      ADD_FAILURE() << "datagram runs past the frames";
      break;
    }
    const std::string d = stream.substr(at, total);
    at += total;
    EXPECT_EQ(0, Checksum(d.substr(0, 20))) << "header checksum";
    const uint16_t fragment = Get16(d, 6);
    if ((fragment & 0x3FFF) == 0) {
      out.push_back(d);
      continue;
    }
    auto& parts = fragments[Get16(d, 4)];
    parts[(fragment & 0x1FFF) * 8u] = d;
    if (fragment & 0x2000) continue;
    std::string whole = parts.begin()->second.substr(0, 20);
    for (const auto& [offset, part] : parts) {
      EXPECT_EQ(offset, whole.size() - 20) << "fragments leave a gap";
      whole += part.substr(20);
    }
    out.push_back(whole);
  }
  EXPECT_EQ(at, stream.size()) << "bytes after the last datagram";
  return out;
}

// The SNMP message of a UDP answer from port 161 of the link to the
// manager's port.
std::string UdpAnswer(const std::string& d, uint16_t port) {
  if (d.size() < 28 || d[9] != 17) return "";
  EXPECT_EQ(kLocal, Get32(d, 12));
  EXPECT_EQ(kManager, Get32(d, 16));
  const std::string u = d.substr(20);
  EXPECT_EQ(0, Checksum(u, Pseudo(kLocal, kManager, 17, u.size()))) << "UDP checksum";
  EXPECT_EQ(161, Get16(u, 0));
  EXPECT_EQ(port, Get16(u, 2));
  return u.substr(8);
}

std::string BerLength(size_t n) {
  if (n < 0x80) return pt::Bytes({static_cast<int>(n)});
  return pt::Bytes({0x82}) + pt::U16(static_cast<uint32_t>(n));
}

std::string Tlv(int tag, const std::string& content) { return pt::Bytes({tag}) + BerLength(content.size()) + content; }

// A GET of `count` times sysDescr.0, of any length.
std::string LongGet(int count) {
  const std::string varbind = pt::Bytes({0x30, 0x0C, 0x06, 0x08, 0x2B, 6, 1, 2, 1, 1, 1, 0, 0x05, 0x00});
  std::string list;
  for (int i = 0; i < count; ++i) list += varbind;
  const std::string pdu = pt::Bytes({0x02, 0x01, 9, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00}) + Tlv(0x30, list);
  return Tlv(0x30, pt::Bytes({0x02, 0x01, 0x00}) + Tlv(0x04, "fernly") + Tlv(0xA0, pdu));
}

class PmppIpTest : public PmppTest {
 protected:
  void SetUp() override {
    PmppTest::SetUp();
    CreateAgent(kStation);
    // The dispatch threads see the link enabled at their next poll.
    Advance(2);
  }
};

// A GET over UDP in an IP frame to the station is answered at once in an IP
// frame; one to all stations waits for the poll, and a second poll gets the
// empty answer. SNMP frames are still answered in SNMP frames.
TEST_F(PmppIpTest, UdpGetIsAnsweredInIpFrames) {
  const uint32_t out = snmp_counter_get(snmp_counter::snmpOutPkts);
  auto d = Datagrams(Exchange(IpFrame(kStation, Udp(kManager, 5000, kLocal, 161, GetSysDescr(1, 3)))));
  ASSERT_EQ(1u, d.size()) << pt::Hex(last_wire_);
  EXPECT_TRUE(IsResponse(UdpAnswer(d[0], 5000)));
  EXPECT_EQ(0x21, link_->last_data_protocol);
  EXPECT_EQ(1u, link_->count.ip_frames_received);
  EXPECT_EQ(1u, link_->count.ip_frames_sent);
  EXPECT_EQ(out + 1, snmp_counter_get(snmp_counter::snmpOutPkts));

  EXPECT_TRUE(Exchange(IpFrame(central::kAllStations, Udp(kManager, 5001, kLocal, 161, GetSysDescr(1, 4)))).empty());
  Advance(2);
  EXPECT_TRUE(Collect().empty()) << "held until the poll";
  d = Datagrams(Exchange(central::PollFrame(kStation)));
  ASSERT_EQ(1u, d.size()) << pt::Hex(last_wire_);
  EXPECT_TRUE(IsResponse(UdpAnswer(d[0], 5001)));
  auto frames = Exchange(central::PollFrame(kStation));
  ASSERT_EQ(1u, frames.size());
  EXPECT_TRUE(frames[0].info.empty()) << "the empty answer";

  frames = Exchange(central::SnmpFrame(kStation, false, GetSysDescr(1, 5)));
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ('\xC1', frames[0].info[0]);
  EXPECT_TRUE(IsResponse(frames[0].info.substr(1)));
}

// A datagram in two frames is reassembled; one cut off by silence is
// dropped with a count and does not swallow the next request.
TEST_F(PmppIpTest, DatagramAcrossFrames) {
  const std::string whole = Udp(kManager, 5002, kLocal, 161, GetSysDescr(1, 6));
  EXPECT_TRUE(Exchange(IpFrame(kStation, whole.substr(0, 30))).empty());
  auto d = Datagrams(Exchange(IpFrame(kStation, whole.substr(30))));
  ASSERT_EQ(1u, d.size()) << pt::Hex(last_wire_);
  EXPECT_TRUE(IsResponse(UdpAnswer(d[0], 5002)));

  EXPECT_TRUE(Exchange(IpFrame(kStation, whole.substr(0, 30))).empty());
  Advance(200);
  EXPECT_EQ(1u, link_->count.datagrams_lost);
  d = Datagrams(Exchange(IpFrame(kStation, Udp(kManager, 5003, kLocal, 161, GetSysDescr(1, 7)))));
  ASSERT_EQ(1u, d.size());
  EXPECT_TRUE(IsResponse(UdpAnswer(d[0], 5003)));
}

// Datagrams whose header is not IPv4 or disagrees with the frames that carry
// it are dropped with a count; the link goes on serving.
TEST_F(PmppIpTest, MalformedDatagramsAreDroppedWithACount) {
  const std::string good = Udp(kManager, 5004, kLocal, 161, GetSysDescr(1, 8));
  auto with = [&](size_t at, int value) {
    std::string d = good;
    d[at] = static_cast<char>(value);
    return d;
  };
  const std::string rows[] = {
      with(0, 0x65),                                       // version 6
      with(0, 0x44),                                       // header of 16 bytes
      good.substr(0, 2) + pt::U16(19) + good.substr(4),    // total below the header
      good.substr(0, 2) + pt::U16(2051) + good.substr(4),  // total over the frame size
      good.substr(0, 12),                                  // a first frame shorter than a header
      good + "extra",                                      // bytes past the total length
  };
  uint32_t expected = 0;
  for (const std::string& d : rows) {
    EXPECT_TRUE(Exchange(IpFrame(kStation, d)).empty()) << pt::Hex(d);
    EXPECT_EQ(++expected, link_->count.datagrams_malformed) << pt::Hex(d);
  }
  // Checksums and addresses are the instance's to check: dropped there.
  std::string bad_udp = good;
  bad_udp[30] ^= 1;
  EXPECT_TRUE(Exchange(IpFrame(kStation, bad_udp)).empty());
  auto d = Datagrams(Exchange(IpFrame(kStation, good)));
  ASSERT_EQ(1u, d.size());
  EXPECT_TRUE(IsResponse(UdpAnswer(d[0], 5004)));
}

// An answer longer than one frame goes on in the next frames, each with the
// frame's header; held after an all-stations request, it comes whole at
// the poll.
TEST_F(PmppIpTest, LongAnswersSpanFrames) {
  for (bool held : {false, true}) {
    SCOPED_TRACE(held);
    const std::string request = Udp(kManager, 5005, kLocal, 161, LongGet(40));
    auto frames = Exchange(IpFrame(held ? central::kAllStations : kStation, request));
    if (held) {
      EXPECT_TRUE(frames.empty());
      frames = Exchange(central::PollFrame(kStation));
    }
    EXPECT_GE(frames.size(), 2u) << "more than one frame";
    auto d = Datagrams(frames);
    ASSERT_EQ(1u, d.size()) << pt::Hex(last_wire_);
    const std::string answer = UdpAnswer(d[0], 5005);
    EXPECT_TRUE(IsResponse(answer));
    EXPECT_GT(answer.size(), 2050u) << "longer than the frame size";
  }
}

// TCP on port 161: the handshake and a request on the connection, answered
// on it, all in IP frames. Once the manager resets the connection, a new one
// from another port is accepted and served the same way.
TEST_F(PmppIpTest, TcpGetIsAnsweredOnTheConnection) {
  auto tcp = [](uint16_t port, uint32_t seq, uint32_t ack, uint8_t flags, const std::string& data) {
    std::string t = pt::U16(port) + pt::U16(161) + pt::U32(seq) + pt::U32(ack) + pt::Bytes({0x50, flags}) +
                    pt::U16(8192) + pt::U16(0) + pt::U16(0) + data;
    const uint16_t c = Checksum(t, Pseudo(kManager, kLocal, 6, t.size()));
    t[16] = static_cast<char>(c >> 8);
    t[17] = static_cast<char>(c & 0xFF);
    return pt::Ipv4(6, kManager, kLocal, t);
  };
  for (uint16_t port : {6000, 6001}) {
    SCOPED_TRACE(port);
    std::vector<std::string> d;
    for (int i = 0; i < 20 && d.empty(); ++i) {
      d = Datagrams(Exchange(IpFrame(kStation, tcp(port, 1000, 0, 2 /* SYN */, ""))));
      if (d.empty()) Advance(50);  // the server listens again after the last connection
    }
    ASSERT_EQ(1u, d.size()) << pt::Hex(last_wire_);
    ASSERT_EQ(6, d[0][9]);
    EXPECT_EQ(0x12, d[0][33]) << "SYN and ACK";
    const uint32_t theirs = Get32(d[0], 24) + 1;
    const std::string get = GetSysDescr(1, 10);
    Exchange(IpFrame(kStation, tcp(port, 1001, theirs, 0x10, "")));
    Exchange(IpFrame(kStation, tcp(port, 1001, theirs, 0x18, get)));
    std::string answer;
    uint32_t answered = 0;
    for (int i = 0; i < 20 && answer.empty(); ++i)
      for (const std::string& s : Datagrams(Advance(50)))
        if (s.size() > 40 && s[9] == 6) {
          answer += s.substr(20 + (static_cast<uint8_t>(s[32]) >> 4) * 4u);
          answered = Get32(s, 24) + static_cast<uint32_t>(s.size() - 20 - (static_cast<uint8_t>(s[32]) >> 4) * 4u);
        }
    EXPECT_TRUE(IsResponse(answer)) << pt::Hex(answer);
    Exchange(IpFrame(kStation, tcp(port, 1001 + static_cast<uint32_t>(get.size()), answered, 0x14 /* RST, ACK */, "")));
    Advance(50);
  }
}

}  // namespace
