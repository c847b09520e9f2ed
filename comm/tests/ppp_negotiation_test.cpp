// The PPP link against a scripted peer on the CCP port's pipe end: LCP with
// the options the controller offers and takes, CHAP both ways, IPCP, the
// time-outs and the reset, and SNMP directly in frames.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "comm/tests/ppp_fixture.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/db/snmp_chap.h"

namespace {

using namespace pt;

const std::string kAccm0 = Bytes({0x02, 0x06, 0, 0, 0, 0});

class PppNegotiationTest : public PppTest {};

// A peer brings the link up: the controller's own Configure-Request asks for
// CHAP with MD5 and an ACCM of 0; the peer's request is acknowledged; once
// LCP is opened the controller challenges, verifies the response, and IPCP
// gives the IP instance its address.
TEST_F(PppNegotiationTest, APeerBringsTheLinkUp) {
  CreateAgent();
  auto frames = PeerLcpRequest(kAccm0 + Bytes({0x05, 0x06, 0x12, 0x34, 0x56, 0x78}), 7);
  ASSERT_EQ(2u, frames.size()) << Hex(last_wire_);
  for (const frame& f : frames) {
    EXPECT_TRUE(f.fcs_ok);
    EXPECT_TRUE(f.header_ok);
    EXPECT_TRUE(f.control_escaped);
  }
  EXPECT_EQ(PPP_PROTOCOL_LCP, frames[0].protocol);
  EXPECT_EQ(1, Code(frames[0]));
  EXPECT_EQ(Bytes({0x03, 0x05, 0xC2, 0x23, 0x05, 0x02, 0x06, 0, 0, 0, 0}), Data(frames[0]));
  EXPECT_EQ(2, Code(frames[1]));
  EXPECT_EQ(7, Id(frames[1]));
  EXPECT_EQ(kAccm0 + Bytes({0x05, 0x06, 0x12, 0x34, 0x56, 0x78}), Data(frames[1]));
  EXPECT_EQ(PPP_ACK_SENT, link_->lcp_state);
  EXPECT_EQ(0u, link_->tx_accm) << "the peer's map after the Ack";

  // The Ack of the controller's request opens LCP; the Challenge follows.
  frames = Exchange(Frame(PPP_PROTOCOL_LCP, Packet(2, Id(frames[0]), Data(frames[0]))));
  EXPECT_EQ(PPP_OPENED, link_->lcp_state);
  ASSERT_EQ(1u, frames.size()) << Hex(last_wire_);
  const frame challenge = frames[0];
  ASSERT_EQ(PPP_PROTOCOL_CHAP, challenge.protocol);
  ASSERT_EQ(1, Code(challenge));
  const std::string data = Data(challenge);
  const size_t size = static_cast<uint8_t>(data[0]);
  EXPECT_LE(size, 63u);
  EXPECT_EQ("GRANVOLT", data.substr(1 + size)) << "the controller's CHAP name";
  EXPECT_EQ(0, challenge.payload[2]) << "the length's high byte";

  // Before the peer has authenticated, IPCP is dropped and SNMP refused.
  frames = Exchange(Frame(PPP_PROTOCOL_IPCP, Packet(1, 1, Bytes({3, 6, 10, 0, 0, 9}))));
  EXPECT_TRUE(frames.empty());
  trace_capture trace;
  const uint32_t invalid = link_->invalid_frames;
  frames = Exchange(Frame(PPP_PROTOCOL_SNMP, GetSysDescr()));
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(invalid + 1, link_->invalid_frames);
  EXPECT_TRUE(trace.contains("ppp_receive_packet_process: authenticated not TRUE"));

  frames = Exchange(Frame(PPP_PROTOCOL_CHAP, Response(challenge)));
  ASSERT_EQ(1u, frames.size()) << Hex(last_wire_);
  EXPECT_EQ(3, Code(frames[0]));
  EXPECT_EQ(Id(challenge), Id(frames[0]));
  EXPECT_EQ(1, link_->authenticated);

  // IPCP: the peer's request is acknowledged, then the controller's own
  // follows with its address; the peer's Ack opens IPCP.
  frames = Exchange(Frame(PPP_PROTOCOL_IPCP, Packet(1, 1, Bytes({3, 6, 10, 0, 0, 9}))));
  ASSERT_EQ(2u, frames.size()) << Hex(last_wire_);
  EXPECT_EQ(2, Code(frames[0]));
  EXPECT_EQ(1, Id(frames[0]));
  EXPECT_EQ(Bytes({3, 6, 10, 0, 0, 9}), Data(frames[0]));
  EXPECT_EQ(1, Code(frames[1]));
  EXPECT_EQ(2, Id(frames[1]));
  EXPECT_EQ(Bytes({3, 6, 192, 168, 1, 20}), Data(frames[1]));
  Exchange(Frame(PPP_PROTOCOL_IPCP, Packet(2, 2, Data(frames[1]))));
  EXPECT_EQ(PPP_OPENED, link_->ipcp_state);
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent_.get());
  EXPECT_EQ(1u, t->ip.nx_ip_link_up);
  EXPECT_EQ(kLocal, t->ip.nx_ip_address);
  EXPECT_EQ(0xFFFFFFFFu, t->ip.nx_ip_network_mask);
  EXPECT_EQ(Bytes({10, 0, 0, 9}), std::string(reinterpret_cast<char*>(link_->peer_address), 4));
}

// A GET in a frame of protocol 0xC1 is answered in such a frame; the
// protocol field may also be the single byte 0xC1.
TEST_F(PppNegotiationTest, SnmpInFramesIsAnsweredInFrames) {
  CreateAgent();
  BringUp();
  for (bool short_protocol : {false, true}) {
    auto frames = Exchange(Frame(PPP_PROTOCOL_SNMP, GetSysDescr(5), short_protocol));
    ASSERT_EQ(1u, frames.size()) << Hex(last_wire_);
    EXPECT_TRUE(frames[0].fcs_ok);
    EXPECT_EQ(PPP_PROTOCOL_SNMP, frames[0].protocol);
    const std::string& answer = frames[0].payload;
    ASSERT_GE(answer.size(), 20u);
    EXPECT_EQ('\x30', answer[0]);
    EXPECT_NE(std::string::npos, answer.find("fernly"));
    EXPECT_NE(std::string::npos, answer.find(Bytes({0xA2})));
    EXPECT_NE(std::string::npos, answer.find("Field Controller")) << Hex(answer);
    EXPECT_EQ(0xC1, link_->last_data_protocol);
  }
}

// Messages in frames at the size limit: a header announcing the whole limit
// is dropped with its trace; a short header (30 LL) is served.
TEST_F(PppNegotiationTest, SnmpFramesAtTheLimits) {
  CreateAgent(false);
  BringUp();
  trace_capture trace;
  const uint32_t at_limit = SNMP_PPP_MESSAGE_MAX - 4;
  const auto header = [](uint32_t content) {
    return Bytes({0x30, 0x82, static_cast<uint8_t>(content >> 8), static_cast<uint8_t>(content)});
  };
  auto frames = Exchange(Frame(PPP_PROTOCOL_SNMP, header(at_limit) + std::string(40, '\0')));
  EXPECT_TRUE(frames.empty());
  EXPECT_TRUE(trace.contains("SNMP PACKET TOO LONG: " + std::to_string(SNMP_PPP_MESSAGE_MAX))) << trace.text();
  frames = Exchange(Frame(PPP_PROTOCOL_SNMP, header(at_limit - 1) + std::string(40, '\0')));
  EXPECT_TRUE(frames.empty()) << "a message that ends early is refused by the decoder";
  frames = Exchange(Frame(PPP_PROTOCOL_SNMP, GetSysDescr(9)));
  EXPECT_EQ(1u, frames.size());
}

// The peer's LCP options, one request each, with the controller's answer.
TEST_F(PppNegotiationTest, TheControllersAnswerToEachLcpOption) {
  CreateAgent();
  struct row {
    const char* what;
    std::string options;
    int code;            // the answer's code, -1 none
    std::string answer;  // its data
    uint16_t mru;        // the peer MRU afterwards
  } rows[] = {
      {"MRU 100 is Nak'd with the peer's own value", Bytes({1, 4, 0, 100}), 3, Bytes({1, 4, 0, 100}), 1500},
      {"MRU 4000 is taken as 1500", Bytes({1, 4, 0x0F, 0xA0}), 2, Bytes({1, 4, 0x0F, 0xA0}), 1500},
      {"MRU 1000", Bytes({1, 4, 0x03, 0xE8}), 2, Bytes({1, 4, 0x03, 0xE8}), 1000},
      {"magic number, PFC and ACFC are acknowledged as they are", Bytes({5, 6, 1, 2, 3, 4, 7, 2, 8, 2}), 2,
       Bytes({5, 6, 1, 2, 3, 4, 7, 2, 8, 2}), 1000},
      {"PAP is Nak'd naming PAP", Bytes({3, 4, 0xC0, 0x23}), 3, Bytes({3, 4, 0xC0, 0x23}), 1000},
      {"CHAP with MD5 is taken", Bytes({3, 5, 0xC2, 0x23, 5}), 2, Bytes({3, 5, 0xC2, 0x23, 5}), 1000},
      {"Quality-Protocol is rejected whole", Bytes({4, 8, 0xC0, 0x25, 0, 0, 0, 10}), 4,
       Bytes({4, 8, 0xC0, 0x25, 0, 0, 0, 10}), 1000},
      {"a Reject wins over a Nak", Bytes({1, 4, 0, 50, 13, 3, 6}), 4, Bytes({13, 3, 6}), 1500},
      {"an ACCM of the wrong size is rejected", Bytes({2, 4, 0, 0}), 4, Bytes({2, 4, 0, 0}), 1500},
      {"an option of length 0 is not answered", Bytes({1, 0, 5, 6}), -1, "", 1500},
      {"an option running past the packet is not answered", Bytes({2, 6, 0, 0}), -1, "", 1500},
      {"a truncated option header is not answered", Bytes({5, 6, 1, 2, 3, 4, 7}), -1, "", 1500},
  };
  int id = 20;
  for (const row& r : rows) {
    auto frames = PeerLcpRequest(r.options, ++id);
    const frame* answer = nullptr;
    for (const frame& f : frames)
      if (f.protocol == PPP_PROTOCOL_LCP && Code(f) != 1) answer = &f;
    if (r.code < 0) {
      EXPECT_EQ(nullptr, answer) << r.what;
    } else {
      ASSERT_NE(nullptr, answer) << r.what << ": " << Hex(last_wire_);
      EXPECT_EQ(r.code, Code(*answer)) << r.what;
      EXPECT_EQ(id, Id(*answer)) << r.what;
      EXPECT_EQ(r.answer, Data(*answer)) << r.what;
    }
    EXPECT_EQ(r.mru, link_->peer_mru) << r.what;
  }
  EXPECT_EQ(3u, link_->packets_malformed);
}

// An Echo-Request gets an Echo-Reply with its identifier and data (the
// controller negotiates no magic number: 0); a code LCP does not know gets a
// Code-Reject carrying it; Echo-Reply, Discard-Request and Protocol-Reject
// get nothing.
TEST_F(PppNegotiationTest, EchoRequestsAreRepliedAndUnknownCodesRejected) {
  CreateAgent(false);
  BringUp();
  struct row {
    const char* what;
    std::string packet;
    int code;            // of the answer, -1 none
    std::string answer;  // its data
    int id;              // its identifier, -1 any other than the packet's
  } rows[] = {
      {"Echo-Request", Packet(9, 3, Bytes({1, 2, 3, 4}) + "hi"), 10, Bytes({0, 0, 0, 0}) + "hi", 3},
      {"Echo-Request without data", Packet(9, 4, Bytes({1, 2, 3, 4})), 10, Bytes({0, 0, 0, 0}), 4},
      {"code 12", Packet(12, 5, "xyz"), 7, Packet(12, 5, "xyz"), -1},
      {"code 0", Packet(0, 6, ""), 7, Packet(0, 6, ""), -1},
      {"Echo-Reply", Packet(10, 7, Bytes({1, 2, 3, 4})), -1, "", 0},
      {"Discard-Request", Packet(11, 8, Bytes({1, 2, 3, 4})), -1, "", 0},
      {"Protocol-Reject", Packet(8, 9, Bytes({0x80, 0x21})), -1, "", 0},
  };
  for (const row& r : rows) {
    auto frames = Exchange(Frame(PPP_PROTOCOL_LCP, r.packet));
    if (r.code < 0) {
      EXPECT_TRUE(frames.empty()) << r.what << ": " << Hex(last_wire_);
      continue;
    }
    ASSERT_EQ(1u, frames.size()) << r.what;
    EXPECT_EQ(PPP_PROTOCOL_LCP, frames[0].protocol) << r.what;
    EXPECT_EQ(r.code, Code(frames[0])) << r.what;
    EXPECT_EQ(r.answer, Data(frames[0])) << r.what;
    if (r.id >= 0)
      EXPECT_EQ(r.id, Id(frames[0])) << r.what;
    else
      EXPECT_NE(static_cast<uint8_t>(r.packet[1]), Id(frames[0])) << r.what << ": a new identifier";
  }
  EXPECT_EQ(PPP_OPENED, link_->lcp_state);
}

// The controller's challenge is used by its length: a value of zero bytes
// goes out whole and only a digest over all of it authenticates.
TEST_F(PppNegotiationTest, AChallengeOfZeroBytesIsVerifiedByItsLength) {
  chap_set_random([](uint8_t* bytes, uint32_t count) {
    std::memset(bytes, 0, count);  // length byte 0: 32 bytes of value
    return true;
  });
  CreateAgent();
  auto frames = PeerLcpRequest(kAccm0);
  const frame* request = Find(frames, PPP_PROTOCOL_LCP, 1);
  ASSERT_NE(nullptr, request);
  frames = Exchange(Frame(PPP_PROTOCOL_LCP, Packet(2, Id(*request), Data(*request))));
  ASSERT_NE(nullptr, Find(frames, PPP_PROTOCOL_CHAP, 1)) << Hex(last_wire_);
  const frame kept = *Find(frames, PPP_PROTOCOL_CHAP, 1);
  const frame* challenge = &kept;
  const std::string data = Data(*challenge);
  ASSERT_GE(data.size(), 33u);
  EXPECT_EQ(32, data[0]);
  EXPECT_EQ(std::string(32, '\0'), data.substr(1, 32));
  // A digest over the value cut at its first zero byte is refused.
  const std::string cut = Md5(Id(*challenge), kSecret, "");
  frames = Exchange(Frame(PPP_PROTOCOL_CHAP, Bytes({2, Id(*challenge)}) + U16(4 + 1 + 16) + Bytes({16}) + cut));
  EXPECT_NE(nullptr, Find(frames, PPP_PROTOCOL_CHAP, 4)) << Hex(last_wire_);
  EXPECT_EQ(0, link_->authenticated);
  frames = Exchange(Frame(PPP_PROTOCOL_CHAP, Response(*challenge)));
  EXPECT_NE(nullptr, Find(frames, PPP_PROTOCOL_CHAP, 3)) << Hex(last_wire_);
  EXPECT_EQ(1, link_->authenticated);
  chap_set_random(nullptr);
}

// The peer's MRU bounds the IP instance's MTU: the stack cuts datagrams the
// peer takes in one frame each.
TEST_F(PppNegotiationTest, TheIpMtuFollowsThePeersMru) {
  CreateAgent(false);
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent_.get());
  PeerLcpRequest(Bytes({1, 4, 0x03, 0xE8}), 31);  // MRU 1000
  EXPECT_EQ(1000u, t->ip.nx_ip_driver_mtu);
  PeerLcpRequest(Bytes({1, 4, 0x0F, 0xA0}), 32);  // MRU 4000: the controller sends at most 1500
  EXPECT_EQ(1500u, t->ip.nx_ip_driver_mtu);
}

// The peer's IPCP requests with the controller's answers.
TEST_F(PppNegotiationTest, TheControllersAnswerToIpcpRequests) {
  CreateAgent(false);
  auto frames = PeerLcpRequest(kAccm0);
  const frame* request = Find(frames, PPP_PROTOCOL_LCP, 1);
  ASSERT_NE(nullptr, request);
  Exchange(Frame(PPP_PROTOCOL_LCP, Packet(2, Id(*request), Data(*request))));
  ASSERT_EQ(PPP_OPENED, link_->lcp_state);
  struct row {
    const char* what;
    std::string options;
    int code;
    std::string answer;
  } rows[] = {
      {"0.0.0.0 gets the configured peer address", Bytes({3, 6, 0, 0, 0, 0}), 3, Bytes({3, 6, 10, 0, 0, 1})},
      {"name servers are rejected, no Ack", Bytes({3, 6, 10, 0, 0, 7, 129, 6, 0, 0, 0, 0}), 4,
       Bytes({129, 6, 0, 0, 0, 0})},
      {"IP-Addresses is neither acknowledged nor refused", Bytes({1, 10, 1, 1, 1, 1, 2, 2, 2, 2}), -1, ""},
      {"an option running past the packet is not answered", Bytes({3, 8, 10, 0, 0, 7}), -1, ""},
      {"a non-zero address is acknowledged", Bytes({3, 6, 10, 0, 0, 8}), 2, Bytes({3, 6, 10, 0, 0, 8})},
  };
  int id = 40;
  for (const row& r : rows) {
    frames = Exchange(Frame(PPP_PROTOCOL_IPCP, Packet(1, ++id, r.options)));
    const frame* answer = nullptr;
    for (const frame& f : frames)
      if (f.protocol == PPP_PROTOCOL_IPCP && Code(f) != 1) answer = &f;
    if (r.code < 0) {
      EXPECT_EQ(nullptr, answer) << r.what << ": " << Hex(last_wire_);
      continue;
    }
    ASSERT_NE(nullptr, answer) << r.what << ": " << Hex(last_wire_);
    EXPECT_EQ(r.code, Code(*answer)) << r.what;
    EXPECT_EQ(id, Id(*answer)) << r.what;
    EXPECT_EQ(r.answer, Data(*answer)) << r.what;
  }
  EXPECT_EQ(Bytes({10, 0, 0, 8}), std::string(reinterpret_cast<char*>(link_->peer_address), 4));
}

// A Response with the wrong secret is refused and leaves the link closed to
// IP; the right one then opens it.
TEST_F(PppNegotiationTest, AWrongChapResponseIsRefused) {
  CreateAgent();
  auto frames = PeerLcpRequest(kAccm0);
  const frame* request = Find(frames, PPP_PROTOCOL_LCP, 1);
  ASSERT_NE(nullptr, request);
  frames = Exchange(Frame(PPP_PROTOCOL_LCP, Packet(2, Id(*request), Data(*request))));
  const frame* challenge = Find(frames, PPP_PROTOCOL_CHAP, 1);
  ASSERT_NE(nullptr, challenge);
  const frame kept = *challenge;
  trace_capture trace;
  frames = Exchange(Frame(PPP_PROTOCOL_CHAP, Response(kept, "WRONG")));
  ASSERT_NE(nullptr, Find(frames, PPP_PROTOCOL_CHAP, 4)) << "Failure";
  EXPECT_TRUE(trace.contains("CHAP_RESP_EVENT build Failed msg No Good"));
  EXPECT_EQ(0, link_->authenticated);
  EXPECT_EQ(PPP_OPENED, link_->lcp_state) << "the link stays up";
  frames = Exchange(Frame(PPP_PROTOCOL_IPCP, Packet(1, 1, Bytes({3, 6, 10, 0, 0, 9}))));
  EXPECT_TRUE(frames.empty());
  // A value that is no MD5 digest fails too.
  frames = Exchange(Frame(PPP_PROTOCOL_CHAP, Bytes({2, Id(kept), 0, 8, 3, 1, 2, 3})));
  EXPECT_NE(nullptr, Find(frames, PPP_PROTOCOL_CHAP, 4)) << Hex(last_wire_);
  frames = Exchange(Frame(PPP_PROTOCOL_CHAP, Response(kept)));
  ASSERT_NE(nullptr, Find(frames, PPP_PROTOCOL_CHAP, 3)) << "Success";
  frames = Exchange(Frame(PPP_PROTOCOL_IPCP, Packet(1, 2, Bytes({3, 6, 10, 0, 0, 9}))));
  EXPECT_NE(nullptr, Find(frames, PPP_PROTOCOL_IPCP, 2));
}

// The controller answers the peer's Challenge with the MD5 of the
// identifier, the secret and the whole value, zero bytes and all.
TEST_F(PppNegotiationTest, ThePeersChallengeIsAnswered) {
  CreateAgent();
  auto frames = PeerLcpRequest(kAccm0 + Bytes({3, 5, 0xC2, 0x23, 5}));
  const frame* request = Find(frames, PPP_PROTOCOL_LCP, 1);
  ASSERT_NE(nullptr, request);
  Exchange(Frame(PPP_PROTOCOL_LCP, Packet(2, Id(*request), Data(*request))));
  const std::string value = "abc" + Bytes({0}) + "def";
  const std::string challenge = Bytes({1, 77}) + U16(4 + 1 + 7 + 4) + Bytes({7}) + value + "peer";
  frames = Exchange(Frame(PPP_PROTOCOL_CHAP, challenge));
  const frame* response = Find(frames, PPP_PROTOCOL_CHAP, 2);
  ASSERT_NE(nullptr, response) << Hex(last_wire_);
  EXPECT_EQ(77, Id(*response));
  const std::string data = Data(*response);
  ASSERT_EQ(1u + 16u + 8u, data.size());
  EXPECT_EQ(16, data[0]);
  EXPECT_EQ(Md5(77, kSecret, value), data.substr(1, 16));
  EXPECT_EQ("GRANVOLT", data.substr(17));
  // A value longer than 64 bytes is refused without an answer.
  frames = Exchange(Frame(PPP_PROTOCOL_CHAP, Bytes({1, 78}) + U16(4 + 1 + 70) + Bytes({70}) + std::string(70, 'x')));
  EXPECT_EQ(nullptr, Find(frames, PPP_PROTOCOL_CHAP, 2));
}

// Silence after the controller's request: one more request at the first
// time-out, then Stopped; from there only the peer restarts LCP.
TEST_F(PppNegotiationTest, TimeOutsRepeatTheRequestOnceThenStop) {
  CreateAgent();
  auto frames = Exchange(std::string("x"));
  ASSERT_NE(nullptr, Find(frames, PPP_PROTOCOL_LCP, 1));
  EXPECT_EQ(PPP_REQ_SENT, link_->lcp_state);
  frames = Advance(999);
  EXPECT_TRUE(frames.empty());
  frames = Advance(1);
  EXPECT_NE(nullptr, Find(frames, PPP_PROTOCOL_LCP, 1)) << "TO+";
  frames = Advance(1000);
  EXPECT_TRUE(frames.empty()) << "TO-";
  EXPECT_EQ(PPP_STOPPED, link_->lcp_state);
  frames = Advance(3000);
  EXPECT_TRUE(frames.empty());
  frames = PeerLcpRequest(kAccm0, 9);
  EXPECT_NE(nullptr, Find(frames, PPP_PROTOCOL_LCP, 1));
  EXPECT_NE(nullptr, Find(frames, PPP_PROTOCOL_LCP, 2));
  EXPECT_EQ(PPP_ACK_SENT, link_->lcp_state);
}

// A peer that keeps Nak'ing uses up the retry budget: the time-out that
// follows ends the exchange instead of starting it over.
TEST_F(PppNegotiationTest, NaksUseUpTheRetryBudget) {
  CreateAgent();
  auto frames = Exchange(std::string("x"));
  const frame* request = Find(frames, PPP_PROTOCOL_LCP, 1);
  ASSERT_NE(nullptr, request);
  const int id = Id(*request);
  for (int i = 0; i < 3; ++i) {
    frames = Exchange(Frame(PPP_PROTOCOL_LCP, Packet(3, id, Bytes({1, 4, 2, 0}))));
    EXPECT_NE(nullptr, Find(frames, PPP_PROTOCOL_LCP, 1)) << "the same request again";
  }
  EXPECT_EQ(0, link_->restart_counter);
  frames = Advance(1000);
  EXPECT_TRUE(frames.empty()) << Hex(last_wire_);
  EXPECT_EQ(PPP_STOPPED, link_->lcp_state);
}

// More bytes than the receive queue holds arrive at once: the rest wait in
// the port's driver and nothing is lost.
TEST_F(PppNegotiationTest, BytesBeyondTheQueueWaitInThePort) {
  CreateAgent();
  std::string burst;
  int frames_sent = 0;
  while (burst.size() < 1800) {
    burst += Frame(0x80FD, Packet(1, frames_sent, std::string(50, 'q')));
    ++frames_sent;
  }
  Exchange(burst);
  EXPECT_EQ(0u, link_->bytes_dropped);
  EXPECT_EQ(static_cast<uint32_t>(frames_sent), link_->invalid_frames);
  EXPECT_EQ(burst.size(), link_->bytes_received);
}

// A link without CHAP ignores CHAP packets: an unasked-for Response must not
// close it to IP and SNMP.
TEST_F(PppNegotiationTest, ALinkWithoutChapIgnoresChap) {
  CreateAgent(false);
  BringUp();
  auto frames = Exchange(Frame(PPP_PROTOCOL_CHAP, Bytes({2, 1, 0, 21, 16}) + std::string(16, 'z')));
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(1, link_->authenticated);
  frames = Exchange(Frame(PPP_PROTOCOL_SNMP, GetSysDescr()));
  EXPECT_EQ(1u, frames.size());
}

// The peer's Terminate-Request takes everything down; the peer starts again.
TEST_F(PppNegotiationTest, TerminateRequestResetsTheLink) {
  CreateAgent();
  BringUp();
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent_.get());
  auto frames = Exchange(Frame(PPP_PROTOCOL_LCP, Packet(5, 60, "")));
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(6, Code(frames[0]));
  EXPECT_EQ(60, Id(frames[0]));
  EXPECT_EQ(PPP_STOPPED, link_->lcp_state);
  EXPECT_EQ(PPP_STOPPED, link_->ipcp_state);
  EXPECT_EQ(0, link_->authenticated);
  EXPECT_EQ(0u, t->ip.nx_ip_link_up);
  frames = Exchange(Frame(PPP_PROTOCOL_SNMP, GetSysDescr()));
  EXPECT_TRUE(frames.empty());
  BringUp();
  EXPECT_EQ(1u, t->ip.nx_ip_link_up);
}

// Frames a peer should not send: each is refused or answered as it must
// be, and the link goes on serving.
TEST_F(PppNegotiationTest, MalformedFramesAreRefused) {
  CreateAgent();
  BringUp();
  struct row {
    const char* what;
    std::string bytes;
    uint16_t answer_protocol;  // 0: no answer
    int answer_code;
  } rows[] = {
      {"LCP length past the frame", Frame(PPP_PROTOCOL_LCP, Bytes({9, 1, 0, 200, 1, 2})), 0, 0},
      {"LCP length below its header", Frame(PPP_PROTOCOL_LCP, Bytes({9, 1, 0, 2})), 0, 0},
      {"LCP header cut short", Frame(PPP_PROTOCOL_LCP, Bytes({9, 1})), 0, 0},
      {"CHAP value past the frame", Frame(PPP_PROTOCOL_CHAP, Bytes({2, 1, 0, 30, 16, 1, 2})), 0, 0},
      {"IPCP length past the frame", Frame(PPP_PROTOCOL_IPCP, Bytes({1, 1, 0, 40, 3, 6})), 0, 0},
      {"IP datagram of 10 bytes", Frame(PPP_PROTOCOL_IP, Bytes({0x45, 0, 0, 10, 0, 0, 0, 0, 0, 0})), 0, 0},
      {"IP datagram of 4000 bytes", Frame(PPP_PROTOCOL_IP, Bytes({0x45, 0, 0x0F, 0xA0, 0, 0})), 0, 0},
      {"IP frame of two bytes", Frame(PPP_PROTOCOL_IP, Bytes({0x45, 0})), 0, 0},
      {"SNMP frame without a message", Frame(PPP_PROTOCOL_SNMP, ""), 0, 0},
      {"SNMP frame that is no BER", Frame(PPP_PROTOCOL_SNMP, "hello world"), 0, 0},
      {"a frame of one protocol byte only", Wrap(Bytes({0xFF, 0x03, 0x21})), 0, 0},
      {"an unknown protocol is rejected", Frame(0x80FD, Bytes({1, 1, 0, 4})), PPP_PROTOCOL_LCP, 8},
      {"a bad FCS", Frame(PPP_PROTOCOL_LCP, Packet(9, 1, "ab")).replace(6, 1, "\x55"), 0, 0},
      {"an over-long frame", "\x7E" + std::string(3000, '\x21') + "\x7E", 0, 0},
  };
  trace_capture trace;
  for (const row& r : rows) {
    auto frames = Exchange(r.bytes);
    if (r.answer_protocol == 0) {
      EXPECT_TRUE(frames.empty()) << r.what << ": " << Hex(last_wire_);
    } else {
      ASSERT_EQ(1u, frames.size()) << r.what << ": " << Hex(last_wire_);
      EXPECT_EQ(r.answer_protocol, frames[0].protocol) << r.what;
      EXPECT_EQ(r.answer_code, Code(frames[0])) << r.what;
    }
    // The link still serves.
    frames = Exchange(Frame(PPP_PROTOCOL_SNMP, GetSysDescr(3)));
    EXPECT_EQ(1u, frames.size()) << "after " << r.what;
  }
  EXPECT_EQ(PPP_OPENED, link_->lcp_state);
  EXPECT_GE(link_->packets_malformed, 4u);
  EXPECT_EQ(1u, link_->frames_too_long);
}

// A Protocol-Reject names the protocol and carries the start of the frame.
TEST_F(PppNegotiationTest, ProtocolRejectCarriesTheRejectedProtocol) {
  CreateAgent(false);
  BringUp();
  const uint32_t invalid = link_->invalid_frames;
  auto frames = Exchange(Frame(0x80FD, Bytes({1, 9, 0, 4})));
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(8, Code(frames[0]));
  EXPECT_EQ(Bytes({0x80, 0xFD, 1, 9, 0, 4}), Data(frames[0]));
  EXPECT_EQ(invalid + 1, link_->invalid_frames);
}

// "CLIENT" outside frames is answered with "CLIENTSERVER"; each C starts
// the match again.
TEST_F(PppNegotiationTest, ClientIsAnsweredWithClientServer) {
  CreateAgent();
  Exchange("CLIENT");
  EXPECT_NE(std::string::npos, last_wire_.find("CLIENTSERVER"));
  Exchange("CCLIENT");
  EXPECT_EQ(std::string("CLIENTSERVER"), last_wire_);
  Exchange("CLIENTX");
  EXPECT_EQ(std::string("CLIENTSERVER"), last_wire_) << "once per match";
}

}  // namespace
