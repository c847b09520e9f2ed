// Random input for the PPP receive side, run under the sanitizers: the
// option parsers on buffers of exactly the random length, and the whole
// receive path (deframer, dispatch, machines, the link's IP instance) fed
// random bytes and random frames with good FCS, before and after the link
// is up. Nothing may crash, hang or read outside its buffer, and the link
// must still answer afterwards. Seeded, so every run sees the same input.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "comm/tests/ppp_fixture.h"
#include "frame/trace/trace.h"

namespace {

using namespace pt;

class Random {
 public:
  explicit Random(uint32_t seed) : m_(seed) {}
  uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(m_() % n) : 0; }
  std::string Bytes(size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(m_());
    return s;
  }
  // Bytes that look like options: plausible types and lengths, now and then
  // a length that does not fit.
  std::string Options(size_t n) {
    std::string s;
    while (s.size() < n) {
      const uint32_t type = Below(4) == 0 ? Below(256) : Below(10);
      const uint32_t length = Below(8) == 0 ? Below(256) : 2 + Below(6);
      s += static_cast<char>(type);
      s += static_cast<char>(length);
      s += Bytes(Below(length + 2));
    }
    s.resize(n);
    return s;
  }

 private:
  std::mt19937 m_;
};

TEST(PppFuzz, OptionParsersStayInsideTheirPackets) {
  Random r(1234);
  auto link = std::make_unique<ppp_link>();
  for (int round = 0; round < 20000; ++round) {
    const size_t n = 4 + r.Below(120);
    std::unique_ptr<uint8_t[]> packet(new uint8_t[n]);  // exactly n bytes: ASan sees over-reads
    const std::string body = r.Below(2) ? r.Options(n - 4) : r.Bytes(n - 4);
    packet[0] = 1;
    packet[1] = 1;
    packet[2] = static_cast<uint8_t>(n >> 8);
    packet[3] = static_cast<uint8_t>(n);
    std::memcpy(packet.get() + 4, body.data(), body.size());
    link->lcp_packet = packet.get();
    link->lcp_length = static_cast<uint16_t>(n);
    link->chap_enabled = static_cast<uint16_t>(r.Below(2));
    bool malformed = false;
    const bool good = lcp_parse_configure_request(link.get(), &malformed);
    ASSERT_LE(link->nak_list[0], PPP_LIST_SIZE - 1);
    ASSERT_LE(link->reject_list[0], PPP_LIST_SIZE - 1);
    if (good) {
      EXPECT_FALSE(malformed);
      EXPECT_EQ(0, link->nak_list[0]);
      EXPECT_EQ(0, link->reject_list[0]);
    }
    ASSERT_LE(link->peer_mru, 1500);

    const size_t m = r.Below(60);
    std::unique_ptr<uint8_t[]> options(new uint8_t[m ? m : 1]);
    const std::string o = r.Below(2) ? r.Options(m) : r.Bytes(m);
    std::memcpy(options.get(), o.data(), m);
    const bool ipcp_good =
        ipcp_parse_configure_request(link.get(), options.get(), static_cast<uint32_t>(m), &malformed);
    ASSERT_LE(link->nak_list[0], PPP_LIST_SIZE - 1);
    ASSERT_LE(link->reject_list[0], PPP_LIST_SIZE - 1);
    if (ipcp_good) {
      EXPECT_FALSE(malformed);
    }
  }
}

class PppFuzzTest : public PppTest {
 protected:
  // A frame with a good FCS: one of the link's protocols (or any), a code
  // the machines know (or any), lengths that fit or not.
  std::string RandomFrame(Random& r, uint32_t ip_share = 0) {
    static const uint16_t protocols[] = {PPP_PROTOCOL_LCP, PPP_PROTOCOL_IPCP, PPP_PROTOCOL_CHAP,
                                         PPP_PROTOCOL_PAP, PPP_PROTOCOL_IP,   PPP_PROTOCOL_SNMP};
    uint16_t protocol = r.Below(8) == 0 ? static_cast<uint16_t>(r.Below(65536)) : protocols[r.Below(6)];
    if (r.Below(100) < ip_share) protocol = PPP_PROTOCOL_IP;
    std::string payload;
    if (protocol == PPP_PROTOCOL_IP) {
      payload = RandomDatagram(r);
    } else {
      const uint32_t body = r.Below(80);
      const uint32_t length = r.Below(4) == 0 ? r.Below(65536) : body + 4;
      payload = Bytes({static_cast<int>(r.Below(12)), static_cast<int>(r.Below(256))}) + U16(length) +
                (r.Below(2) ? r.Options(body) : r.Bytes(body));
      if (r.Below(6) == 0) payload.resize(r.Below(static_cast<uint32_t>(payload.size()) + 1));
    }
    std::string frame = Frame(protocol, payload, r.Below(4) == 0);
    if (r.Below(10) == 0)
      frame[1 + r.Below(static_cast<uint32_t>(frame.size() - 2))] ^= static_cast<char>(1 + r.Below(255));
    return frame;
  }

  // An IPv4 datagram to the link's address with a random UDP, TCP or ICMP
  // payload, its header lengths and flags now and then wrong.
  std::string RandomDatagram(Random& r) {
    static const uint8_t protos[] = {1, 6, 17};
    const uint8_t proto = r.Below(8) == 0 ? static_cast<uint8_t>(r.Below(256)) : protos[r.Below(3)];
    std::string body = r.Bytes(r.Below(120));
    if (proto == 17 && body.size() >= 8) {
      body[2] = 0;
      body[3] = static_cast<char>(r.Below(2) ? 161 : r.Below(256));
      body[4] = static_cast<char>(body.size() >> 8);
      body[5] = static_cast<char>(body.size());
      body[6] = body[7] = 0;  // no checksum
    }
    if (proto == 6 && body.size() >= 20) {
      body[2] = 0;
      body[3] = static_cast<char>(161);
      const uint16_t c = Checksum(std::string(body.substr(0, 16)) + std::string(2, '\0') + body.substr(18),
                                  Pseudo(kManager, kLocal, 6, body.size()));
      body[16] = static_cast<char>(c >> 8);
      body[17] = static_cast<char>(c & 0xFF);
    }
    std::string d = Ipv4(proto, kManager, kLocal, body, static_cast<uint16_t>(r.Below(4)),
                         static_cast<uint16_t>(r.Below(3) == 0 ? r.Below(65536) : 0));
    if (r.Below(6) == 0) d[r.Below(20)] = static_cast<char>(r.Below(256));
    return d;
  }
};

TEST_F(PppFuzzTest, TheReceivePathTakesAnything) {
  CreateAgent(false);
  Random r(99);
  trace_capture quiet;
  // Before the link is up: mostly negotiation.
  for (int round = 0; round < 300; ++round) {
    if (r.Below(3) == 0) {
      Feed(r.Bytes(1 + r.Below(400)));
    } else {
      Feed(RandomFrame(r));
    }
    if (round % 50 == 0) Advance(1000);
  }
  // Up: IP and SNMP reach the instance and the agent.
  {
    rtos::cpu_scope s;
    lcp_state_machine(link_, LCP_RTR);
  }
  BringUp();
  Advance(2);
  for (int round = 0; round < 600; ++round) {
    if (r.Below(5) == 0) {
      Feed(r.Bytes(1 + r.Below(1600)));
    } else {
      Feed(RandomFrame(r, 60));
    }
    if (round % 100 == 0) Advance(300);
  }
  // The input reached every part.
  EXPECT_GT(link_->frames_received, 500u);
  EXPECT_GT(link_->ip_received, 200u);
  EXPECT_GT(link_->packets_malformed, 10u);
  EXPECT_GT(link_->invalid_frames, 10u);
  // The link still comes up and answers.
  {
    rtos::cpu_scope s;
    lcp_state_machine(link_, LCP_RTR);
    link_->frame_index = 0;
    link_->skipping = 0;
  }
  Feed("\x7E\x7E");
  BringUp();
  auto frames = Exchange(Frame(PPP_PROTOCOL_SNMP, GetSysDescr(4)));
  ASSERT_EQ(1u, frames.size()) << Hex(last_wire_);
  EXPECT_EQ(PPP_PROTOCOL_SNMP, frames[0].protocol);
  EXPECT_LE(link_->queue_count, PPP_BUFFER_SIZE);
}

}  // namespace
