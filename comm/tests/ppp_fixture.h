// Fixtures of the PPP tests: the far end of a PPP link written apart from
// the link's own code (framing with a bitwise FCS, parsing, the peer's side
// of LCP, CHAP and IPCP), and a kernel on the manual clock with the board's
// serial models, the database with its factory defaults and the SNMP engine,
// on which a PPP agent is created and bound to the CCP port. The test plays
// the peer on the port's pipe end.
#pragma once

#include <md5.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"
#include "comm/network.h"
#include "comm/ppp/ppp_link.h"
#include "comm/ppp/ppp_negotiation.h"
#include "comm/ppp/serial_glue.h"
#include "comm/ppp/snmp_ppp.h"
#include "comm/tests/comm_fixture.h"
#include "database/defaults.h"
#include "frame/board/board_control.h"
#include "frame/board/interrupt.h"
#include "frame/serial/q5_serial_driver.h"
#include "ntcip/snmp/agent/request.h"
#include "ntcip/snmp/db/snmp_db.h"

namespace pt {

// ---------------------------------------------------------------- wire

inline uint16_t Fcs(const std::string& bytes) {
  uint16_t fcs = 0xFFFF;
  for (unsigned char b : bytes) {
    fcs ^= b;
    for (int i = 0; i < 8; ++i) fcs = (fcs & 1) ? static_cast<uint16_t>((fcs >> 1) ^ 0x8408) : fcs >> 1;
  }
  return fcs;
}

inline std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

inline std::string Hex(const std::string& s) {
  std::string out;
  char buf[4];
  for (unsigned char c : s) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

inline std::string U16(uint32_t v) { return Bytes({static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF)}); }

// Escapes and wraps one frame's content (address to FCS).
inline std::string Wrap(const std::string& content, uint32_t accm = 0xFFFFFFFFu) {
  std::string fcsd = content;
  const uint16_t fcs = static_cast<uint16_t>(~Fcs(content));
  fcsd += static_cast<char>(fcs & 0xFF);
  fcsd += static_cast<char>(fcs >> 8);
  std::string out = "\x7E";
  for (unsigned char b : fcsd) {
    if (b == 0x7E || b == 0x7D || (b < 0x20 && (accm & (1u << b)))) {
      out += '\x7D';
      out += static_cast<char>(b ^ 0x20);
    } else {
      out += static_cast<char>(b);
    }
  }
  return out + "\x7E";
}

// A frame as a peer sends it: address, control, protocol (one byte when it
// is odd and `short_protocol`), the payload.
inline std::string Frame(uint16_t protocol, const std::string& payload, bool short_protocol = false) {
  std::string content = "\xFF\x03";
  if (short_protocol && (protocol & 0xFF00) == 0)
    content += static_cast<char>(protocol);
  else
    content += U16(protocol);
  return Wrap(content + payload);
}

// A control packet: code, identifier, length, data.
inline std::string Packet(int code, int id, const std::string& data) {
  return Bytes({code, id}) + U16(static_cast<uint32_t>(data.size() + 4)) + data;
}

struct frame {
  bool fcs_ok = false;
  bool header_ok = false;  // FF 03 in front
  bool control_escaped = false;
  uint16_t protocol = 0;
  std::string payload;
  std::string raw;  // as on the wire, flags excluded
};

// Splits what the controller sent into frames.
inline std::vector<frame> Parse(const std::string& wire) {
  std::vector<frame> out;
  size_t i = 0;
  while (i < wire.size()) {
    size_t start = wire.find('\x7E', i);
    if (start == std::string::npos) break;
    size_t end = wire.find('\x7E', start + 1);
    if (end == std::string::npos) break;
    std::string raw = wire.substr(start + 1, end - start - 1);
    i = end;
    if (raw.empty()) continue;
    frame f;
    f.raw = raw;
    std::string plain;
    for (size_t k = 0; k < raw.size(); ++k) {
      if (raw[k] == '\x7D' && k + 1 < raw.size()) {
        plain += static_cast<char>(raw[++k] ^ 0x20);
      } else {
        plain += raw[k];
      }
    }
    f.control_escaped = raw.size() > 2 && raw[1] == '\x7D' && raw[2] == '\x23';
    f.fcs_ok = plain.size() >= 4 && Fcs(plain) == 0xF0B8;
    if (plain.size() >= 6) {
      plain.resize(plain.size() - 2);
      f.header_ok = plain[0] == '\xFF' && plain[1] == '\x03';
      f.protocol = static_cast<uint16_t>((static_cast<uint8_t>(plain[2]) << 8) | static_cast<uint8_t>(plain[3]));
      f.payload = plain.substr(4);
    }
    out.push_back(f);
  }
  return out;
}

inline int Code(const frame& f) { return f.payload.empty() ? -1 : static_cast<uint8_t>(f.payload[0]); }
inline int Id(const frame& f) { return f.payload.size() < 2 ? -1 : static_cast<uint8_t>(f.payload[1]); }
inline std::string Data(const frame& f) { return f.payload.size() < 4 ? std::string() : f.payload.substr(4); }

inline std::string Md5(int id, const std::string& secret, const std::string& challenge) {
  MD5_CTX c;
  MD5Init(&c);
  const uint8_t i = static_cast<uint8_t>(id);
  MD5Update(&c, &i, 1);
  MD5Update(&c, reinterpret_cast<const uint8_t*>(secret.data()), secret.size());
  MD5Update(&c, reinterpret_cast<const uint8_t*>(challenge.data()), challenge.size());
  uint8_t d[16];
  MD5Final(d, &c);
  return std::string(reinterpret_cast<char*>(d), 16);
}

// An SNMPv1 GetRequest for sysDescr.0 with the factory community.
inline std::string GetSysDescr(int request_id = 1) {
  std::string varbind = Bytes({0x30, 0x0C, 0x06, 0x08, 0x2B, 6, 1, 2, 1, 1, 1, 0, 0x05, 0x00});
  std::string pdu = Bytes({0x02, 0x01, request_id, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E}) + varbind;
  std::string message =
      Bytes({0x02, 0x01, 0x00, 0x04, 0x06}) + "fernly" + Bytes({0xA0, static_cast<int>(pdu.size())}) + pdu;
  return Bytes({0x30, static_cast<int>(message.size())}) + message;
}

// ---------------------------------------------------------------- IPv4

inline uint16_t Checksum(const std::string& bytes, uint32_t sum = 0) {
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    sum += (static_cast<uint8_t>(bytes[i]) << 8) | static_cast<uint8_t>(bytes[i + 1]);
  if (bytes.size() & 1) sum += static_cast<uint8_t>(bytes.back()) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

inline std::string U32(uint32_t v) { return U16(v >> 16) + U16(v & 0xFFFF); }

inline std::string Ipv4(uint8_t proto, uint32_t src, uint32_t dst, const std::string& payload, uint16_t id = 7,
                        uint16_t fragment = 0) {
  std::string h = Bytes({0x45, 0}) + U16(static_cast<uint32_t>(20 + payload.size())) + U16(id) + U16(fragment) +
                  Bytes({64, proto, 0, 0}) + U32(src) + U32(dst);
  const uint16_t c = Checksum(h);
  h[10] = static_cast<char>(c >> 8);
  h[11] = static_cast<char>(c & 0xFF);
  return h + payload;
}

inline uint32_t Pseudo(uint32_t src, uint32_t dst, uint8_t proto, size_t length) {
  return (src >> 16) + (src & 0xFFFF) + (dst >> 16) + (dst & 0xFFFF) + proto + static_cast<uint32_t>(length);
}

inline std::string Udp(uint32_t src, uint16_t sport, uint32_t dst, uint16_t dport, const std::string& data) {
  std::string u = U16(sport) + U16(dport) + U16(static_cast<uint32_t>(8 + data.size())) + U16(0) + data;
  uint16_t c = Checksum(u, Pseudo(src, dst, 17, u.size()));
  u[6] = static_cast<char>(c >> 8);
  u[7] = static_cast<char>(c & 0xFF);
  return Ipv4(17, src, dst, u);
}

inline uint32_t Get32(const std::string& s, size_t at) {
  return (uint32_t(static_cast<uint8_t>(s[at])) << 24) | (uint32_t(static_cast<uint8_t>(s[at + 1])) << 16) |
         (uint32_t(static_cast<uint8_t>(s[at + 2])) << 8) | static_cast<uint8_t>(s[at + 3]);
}
inline uint16_t Get16(const std::string& s, size_t at) {
  return static_cast<uint16_t>((static_cast<uint8_t>(s[at]) << 8) | static_cast<uint8_t>(s[at + 1]));
}

constexpr uint32_t kLocal = IP_ADDRESS(192, 168, 1, 20);
constexpr uint32_t kPeer = IP_ADDRESS(10, 0, 0, 1);
constexpr uint32_t kManager = IP_ADDRESS(10, 0, 0, 9);
const std::string kSecret = "BRIMOX";  // the factory chapSecret

// The peer's CHAP Response to a Challenge frame.
inline std::string ChapResponse(const frame& challenge, const std::string& secret = kSecret) {
  const std::string data = Data(challenge);
  const size_t size = data.empty() ? 0 : static_cast<uint8_t>(data[0]);
  const std::string value = data.substr(1, size);
  const std::string digest = Md5(Id(challenge), secret, value);
  const std::string name = "peer";
  return Bytes({2, Id(challenge)}) + U16(static_cast<uint32_t>(4 + 1 + 16 + name.size())) + Bytes({16}) + digest +
         name;
}

// ---------------------------------------------------------------- kernel

class PppTest : public ct::CommTest {
 protected:
  void SetUp() override {
    CommTest::SetUp();
    interrupt_power_on();
    board_control_power_on();
    board::reset(board::board_config());
    ppp_forget_links();
    snmp_ppp_forget();
    serial_glue_reset();
    defaults_global_nv(*db_, 0);
    defaults_mib2_nv(*db_, 0);
    defaults_mib2_v(*db_);
    {
      rtos::cpu_scope s;
      snmp_entry();
    }
  }

  void TearDown() override {
    rtos::settle();
    serial_glue_reset();
    ccp_.reset();
    board::shutdown();
    board_install_external_vector(nullptr);
    ppp_forget_links();
    snmp_ppp_forget();
    serial_glue_reset();
    snmp_db_services_shutdown();
    CommTest::TearDown();
  }

  // The agent "ccp_ppp" on the PPP transport, bound to the CCP port.
  void CreateAgent(bool chap = true) {
    const uint32_t size = snmp_ppp_memory_size(2048);
    memory_.reset(new uint8_t[size]);
    agent_ = std::make_unique<snmp_agent>();
    agent_->packet_pool = &g_netx_pool;
    const uint8_t own[4] = {192, 168, 1, 20};
    uint32_t used = 0;
    {
      rtos::cpu_scope s;
      ASSERT_EQ(0, snmp_agent_create(agent_.get(), "ccp_ppp", 1161, 1162, own, memory_.get(), size, &used, 2048,
                                     processPppPdu, snmp_v3_hook, snmp_ppp_net_drv, ppp_udp_ip_thread_entry,
                                     ppp_tcp_ip_thread_entry));
      snmp_ppp_set_chap(agent_.get(), chap);
      link_ = ppp_link_of(agent_.get());
      ASSERT_NE(nullptr, link_);
      const uint8_t local[4] = {192, 168, 1, 20};
      const uint8_t peer[4] = {10, 0, 0, 1};
      nx_ppp_ip_address_set(link_, local, peer);
    }
    ASSERT_LE(used, size);
    ccp_ = std::make_unique<CQ5SerialDriver>();
    ASSERT_EQ(1u, ccp_->Open(0, 9600, 8, 0x1021, 0, 2000));
    {
      rtos::cpu_scope s;
      ppp_bind_serial(link_, GLUE_PORT_CCP, ccp_.get());
    }
    rtos::settle();
  }

  board::serial_line& Line() { return board::serial(0); }

  // Hands bytes to the link as its port would and lets the worker take them.
  void Feed(const std::string& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
      const size_t n = std::min<size_t>(bytes.size() - at, 700);
      {
        rtos::cpu_scope s;
        for (size_t i = 0; i < n; ++i) ppp_byte_receive(link_, static_cast<uint8_t>(bytes[at + i]));
        ppp_wake(link_);
      }
      rtos::settle();
      Line().transmit_all();
      Line().take_received();
      at += n;
    }
  }

  // Sends bytes as the peer and returns the frames the controller answered
  // with once the system has settled.
  std::vector<frame> Exchange(const std::string& bytes) {
    Line().send(bytes);
    return Collect();
  }
  std::vector<frame> Collect() {
    std::string wire;
    for (int round = 0; round < 8; ++round) {
      rtos::settle();
      Line().transmit_all();
      std::string got = Line().take_received();
      if (got.empty() && round > 0) break;
      wire += got;
    }
    last_wire_ = wire;
    return Parse(wire);
  }
  // Lets the clock run (time-outs, the dispatch threads' polls).
  std::vector<frame> Advance(uint32_t ticks) {
    rtos::advance(ticks);
    return Collect();
  }

  static const frame* Find(const std::vector<frame>& frames, uint16_t protocol, int code) {
    for (const frame& f : frames)
      if (f.protocol == protocol && Code(f) == code) return &f;
    return nullptr;
  }

  // The peer's LCP Configure-Request with the options given.
  std::vector<frame> PeerLcpRequest(const std::string& options, int id = 1) {
    return Exchange(Frame(PPP_PROTOCOL_LCP, Packet(1, id, options)));
  }

  // Brings the link up the way a peer does: LCP both ways, the answer to
  // the controller's Challenge (when CHAP is on), IPCP both ways.
  void BringUp() {
    auto frames = PeerLcpRequest(Bytes({0x02, 0x06, 0, 0, 0, 0}));
    const frame* request = Find(frames, PPP_PROTOCOL_LCP, 1);
    ASSERT_NE(nullptr, request) << "no Configure-Request";
    ASSERT_NE(nullptr, Find(frames, PPP_PROTOCOL_LCP, 2)) << "no Configure-Ack";
    frames = Exchange(Frame(PPP_PROTOCOL_LCP, Packet(2, Id(*request), Data(*request))));
    ASSERT_EQ(PPP_OPENED, link_->lcp_state);
    if (link_->peer_auth_protocol == PPP_PROTOCOL_CHAP) {
      const frame* challenge = Find(frames, PPP_PROTOCOL_CHAP, 1);
      ASSERT_NE(nullptr, challenge) << "no Challenge";
      frames = Exchange(Frame(PPP_PROTOCOL_CHAP, Response(*challenge)));
      ASSERT_NE(nullptr, Find(frames, PPP_PROTOCOL_CHAP, 3)) << "no Success";
    }
    frames = Exchange(Frame(PPP_PROTOCOL_IPCP, Packet(1, 1, Bytes({3, 6, 10, 0, 0, 9}))));
    ASSERT_NE(nullptr, Find(frames, PPP_PROTOCOL_IPCP, 2)) << "no IPCP Configure-Ack";
    const frame* ipcp = Find(frames, PPP_PROTOCOL_IPCP, 1);
    ASSERT_NE(nullptr, ipcp) << "no IPCP Configure-Request";
    Exchange(Frame(PPP_PROTOCOL_IPCP, Packet(2, Id(*ipcp), Data(*ipcp))));
    ASSERT_EQ(PPP_OPENED, link_->ipcp_state);
  }

  static std::string Response(const frame& challenge, const std::string& secret = kSecret) {
    return ChapResponse(challenge, secret);
  }

  std::unique_ptr<uint8_t[]> memory_;
  std::unique_ptr<snmp_agent> agent_;
  ppp_link* link_ = nullptr;
  std::unique_ptr<CQ5SerialDriver> ccp_;
  std::string last_wire_;
};

}  // namespace pt
