// Framing of the PPP link: frames built against bytes computed by hand,
// long frames and split datagrams, and the receive path's assembly of
// frames from bytes, good and bad.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "comm/tests/ppp_fixture.h"
#include "frame/trace/trace.h"

namespace {

using namespace pt;

std::string g_written;
void capture(uint8_t b) { g_written += static_cast<char>(b); }

std::vector<std::string> g_pieces;
int take_piece(const uint8_t* frame, uint32_t length) {
  g_pieces.emplace_back(reinterpret_cast<const char*>(frame), length);
  return 1;
}

// The output side needs no kernel: a bare link with a write hook.
class PppOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link_.reset(new ppp_link{});
    link_->tx_accm = 0xFFFFFFFFu;
    link_->peer_mru = 1500;
    link_->write_byte = capture;
    g_written.clear();
    g_pieces.clear();
  }
  void Send(uint16_t protocol, const std::string& data) {
    ppp_start_frame(link_.get(), protocol);
    for (unsigned char c : data) ppp_output_byte(link_.get(), c);
    ppp_send_frame(link_.get());
  }
  std::unique_ptr<ppp_link> link_;
};

TEST_F(PppOutputTest, Fcs16CheckValueAndResidue) {
  const std::string check = "123456789";
  const uint16_t fcs =
      static_cast<uint16_t>(~ppp_fcs16(PPP_FCS_INITIAL, reinterpret_cast<const uint8_t*>(check.data()), 9));
  EXPECT_EQ(0x906E, fcs);
  std::string with = check + static_cast<char>(fcs & 0xFF) + static_cast<char>(fcs >> 8);
  EXPECT_EQ(PPP_FCS_GOOD, ppp_fcs16(PPP_FCS_INITIAL, reinterpret_cast<const uint8_t*>(with.data()), 11));
}

// Frames as the controller sends them, byte for byte.
TEST_F(PppOutputTest, FramesMatchHandComputedBytes) {
  struct row {
    const char* what;
    uint32_t accm;
    uint16_t protocol;
    std::string data;
    const char* wire;
  } rows[] = {
      {"LCP Configure-Request with CHAP, every control character escaped", 0xFFFFFFFFu, PPP_PROTOCOL_LCP,
       Bytes({0x01, 0x00, 0x00, 0x0F, 0x03, 0x05, 0xC2, 0x23, 0x05, 0x02, 0x06, 0, 0, 0, 0}),
       "7E FF 7D 23 C0 21 7D 21 7D 20 7D 20 7D 2F 7D 23 7D 25 C2 23 7D 25 7D 22 7D 26 7D 20 7D 20 7D 20 7D 20 57 E3 "
       "7E"},
      {"SNMP frame with a map of 0: flag and escape still escaped, and the control field", 0, PPP_PROTOCOL_SNMP,
       Bytes({0x30, 0x03, 0x7E, 0x7D, 0x11}), "7E FF 7D 23 00 C1 30 03 7D 5E 7D 5D 11 35 A4 7E"},
  };
  for (const row& r : rows) {
    g_written.clear();
    link_->tx_accm = r.accm;
    Send(r.protocol, r.data);
    EXPECT_EQ(r.wire, Hex(g_written)) << r.what;
  }
  EXPECT_EQ(2u, link_->frames_sent);
  EXPECT_EQ(37u + g_written.size(), link_->bytes_sent);
}

// A frame longer than the transmit buffer (an SNMP answer of 1400 bytes that
// all need escaping) leaves in pieces that together form one good frame.
TEST_F(PppOutputTest, AFrameLongerThanTheBufferLeavesWhole) {
  const std::string data(1400, '\x7E');
  Send(PPP_PROTOCOL_SNMP, data);
  auto frames = Parse(g_written);
  ASSERT_EQ(1u, frames.size());
  EXPECT_TRUE(frames[0].fcs_ok);
  EXPECT_EQ(PPP_PROTOCOL_SNMP, frames[0].protocol);
  EXPECT_EQ(data, frames[0].payload);

  // A port that takes whole frames gets the pieces in order.
  link_->frame_send = take_piece;
  g_written.clear();
  Send(PPP_PROTOCOL_SNMP, data);
  EXPECT_TRUE(g_written.empty());
  ASSERT_GE(g_pieces.size(), 2u);
  std::string joined;
  for (auto& p : g_pieces) {
    EXPECT_LE(p.size(), PPP_BUFFER_SIZE);
    joined += p;
  }
  frames = Parse(joined);
  ASSERT_EQ(1u, frames.size());
  EXPECT_TRUE(frames[0].fcs_ok);
  EXPECT_EQ(data, frames[0].payload);
}

// ---------------------------------------------------------------- kernel

class PppFrameTest : public PppTest {
 protected:
  void SetUp() override {
    PppTest::SetUp();
    g_written.clear();
    link_ = std::make_unique<ppp_link>();
    rtos::cpu_scope s;
    ASSERT_EQ(0u, nx_ppp_create(link_.get(), "test", nullptr, nullptr, 3, nullptr, capture));
  }
  void TearDown() override {
    {
      rtos::cpu_scope s;
      ppp_destroy(link_.get());
    }
    PppTest::TearDown();
  }

  struct result {
    uint32_t code;
    std::string content;  // after address and control
    bool operator==(const result& o) const { return code == o.code && content == o.content; }
  };

  // The receive path over the bytes: each frame it completed or discarded.
  std::vector<result> Deframe(const std::string& bytes) {
    std::vector<result> out;
    rtos::cpu_scope s;
    ppp_link* l = link_.get();
    for (unsigned char b : bytes) {
      EXPECT_EQ(0u, ppp_byte_receive(l, b));
      const uint32_t r = ReceiveBufferProcess(l, false);
      if (r == PPP_FRAME_COMPLETE) {
        std::string content;
        l->read_index = 0;
        uint8_t c = 0;
        while (ppp_input_byte(l, &c)) content += static_cast<char>(c);
        out.push_back({r, content});
      } else if (r == PPP_FRAME_DISCARDED && (l->frame_index != 0 || l->skipping)) {
        out.push_back({r, ""});
      } else if (r == PPP_FRAME_DISCARDED) {
        continue;  // a byte outside frames
      } else {
        EXPECT_EQ(PPP_BYTE_DONE, r);
        continue;
      }
      ppp_frame_restart(l);
    }
    return out;
  }

  std::unique_ptr<ppp_link> link_;
};

TEST_F(PppFrameTest, ReceivedBytesBecomeFrames) {
  const std::string lcp = Frame(PPP_PROTOCOL_LCP, Packet(9, 1, "ab"));
  std::string bad = lcp;
  bad[bad.size() - 4] ^= 0x01;  // a payload byte
  std::string long_frame = "\x7E" + std::string(1600, 'A') + "\x7E";
  const std::string lcp_content = U16(PPP_PROTOCOL_LCP) + Packet(9, 1, "ab");
  const std::string snmp = Bytes({0x30, 0x01, 0x09});
  std::string shared = Frame(PPP_PROTOCOL_LCP, Packet(9, 1, "ab"));
  shared += Frame(PPP_PROTOCOL_SNMP, snmp).substr(1);  // the closing flag opens the next frame

  struct row {
    const char* what;
    std::string bytes;
    std::vector<result> expected;
    uint32_t outside;
  } rows[] = {
      {"one frame", lcp, {{178, lcp_content}}, 0},
      {"back-to-back flags open no empty frame", "\x7E\x7E\x7E" + lcp, {{178, lcp_content}}, 0},
      {"a bad FCS is discarded, the next frame comes through", bad + lcp, {{176, ""}, {178, lcp_content}}, 0},
      {"bytes outside frames", "CLIENT" + lcp, {{178, lcp_content}}, 6},
      {"an escaped FCS byte", Frame(PPP_PROTOCOL_SNMP, snmp), {{178, U16(PPP_PROTOCOL_SNMP) + snmp}}, 0},
      {"escaped payload bytes",
       Frame(PPP_PROTOCOL_SNMP, Bytes({0x7D, 0x7E, 0x01})),
       {{178, U16(PPP_PROTOCOL_SNMP) + Bytes({0x7D, 0x7E, 0x01})}},
       0},
      {"a frame too short to hold its FCS", Bytes({0x7E, 0xFF, 0x03, 0x7E}) + lcp, {{176, ""}, {178, lcp_content}}, 0},
      {"an over-long frame is dropped to its end", long_frame + lcp, {{176, ""}, {178, lcp_content}}, 0},
      {"one flag between two frames", shared, {{178, lcp_content}, {178, U16(PPP_PROTOCOL_SNMP) + snmp}}, 0},
  };
  for (const row& r : rows) {
    trace_capture trace;
    const uint32_t outside = link_->bytes_outside;
    EXPECT_EQ(r.expected, Deframe(r.bytes)) << r.what;
    EXPECT_EQ(r.outside, link_->bytes_outside - outside) << r.what;
    {
      rtos::cpu_scope s;
      link_->frame_index = 0;
      link_->skipping = 0;
      link_->closed_by_flag = 0;
    }
  }
  EXPECT_EQ(1u, link_->frames_too_long);
}

TEST_F(PppFrameTest, ABadFcsIsTracedAndLeavesTheQueueInStep) {
  std::string bad = Frame(PPP_PROTOCOL_LCP, Packet(9, 1, "ab"));
  bad[5] ^= 0x40;
  trace_capture trace;
  EXPECT_EQ((std::vector<result>{{176, ""}}), Deframe(bad));
  EXPECT_TRUE(trace.contains("Error CRC is not 0xF0B8")) << trace.text();
  EXPECT_TRUE(trace.contains("receive_buf: CRC failed 7E")) << trace.text();
  EXPECT_EQ(0u, link_->queue_count);
  EXPECT_EQ(bad.size(), link_->bytes_received);
}

// A full receive queue drops the byte, counts it and says so.
TEST_F(PppFrameTest, AFullQueueDropsBytes) {
  rtos::cpu_scope s;
  for (uint32_t i = 0; i < PPP_BUFFER_SIZE; ++i) ASSERT_EQ(0u, ppp_byte_receive(link_.get(), 'x'));
  EXPECT_EQ(PPP_QUEUE_FULL, ppp_byte_receive(link_.get(), 'y'));
  EXPECT_EQ(1u, link_->bytes_dropped);
  EXPECT_EQ(PPP_BUFFER_SIZE, link_->bytes_received);
}

// A peer reassembles no datagram from several frames: each datagram leaves
// in one frame of protocol 0x0021, however its escaping lengthens it.
TEST_F(PppFrameTest, ADatagramLeavesInOneFrame) {
  std::string datagram(1500, 'A');
  for (size_t i = 0; i < datagram.size(); ++i) datagram[i] = static_cast<char>(i % 256);  // escapes among them
  NX_PACKET* packet = nullptr;
  {
    rtos::cpu_scope s;
    ASSERT_EQ(NX_SUCCESS, nx_packet_allocate(&g_netx_pool, &packet, NX_PHYSICAL_HEADER, NX_NO_WAIT));
    ASSERT_EQ(NX_SUCCESS, nx_packet_data_append(packet, datagram.data(), 1500, &g_netx_pool, NX_NO_WAIT));
    const ULONG available = g_netx_pool.nx_packet_pool_available;
    link_->tx_head = link_->tx_tail = packet;
    ppp_ip_packet_send(link_.get());
    EXPECT_EQ(nullptr, link_->tx_head);
    EXPECT_GT(g_netx_pool.nx_packet_pool_available, available) << "the packets went back";
  }
  auto frames = Parse(g_written);
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(1u, link_->ip_sent);
  EXPECT_TRUE(frames[0].fcs_ok);
  EXPECT_EQ(PPP_PROTOCOL_IP, frames[0].protocol);
  EXPECT_EQ(datagram, frames[0].payload);
}

// The IP instance's MTU follows the peer's MRU, never above 1500, so that
// the stack cuts datagrams the peer can take in one frame.
TEST_F(PppFrameTest, TheMtuFollowsThePeersMru) {
  NX_IP ip{};
  link_->ip = &ip;
  for (uint16_t mru : {1500, 1000, 200}) {
    ppp_set_peer_mru(link_.get(), mru);
    EXPECT_EQ(mru, link_->peer_mru);
    EXPECT_EQ(mru, ip.nx_ip_driver_mtu);
  }
  link_->ip = nullptr;
}

}  // namespace
