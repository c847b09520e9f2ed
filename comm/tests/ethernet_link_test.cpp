// The SNMP-over-Ethernet pseudo link: message assembly by the BER header,
// datagram and stream boundaries, the receive queue's limits, the idle
// limit, and the send path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/tests/comm_fixture.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/snmp_counters.h"

namespace {

using namespace ct;

ethernet_peer Peer(uint32_t address, uint16_t port, const void* channel = nullptr, uint32_t generation = 0) {
  ethernet_peer p;
  p.channel = channel;
  p.generation = generation;
  p.address = address;
  p.port = port;
  return p;
}

void record_only(ethernet_link* link, const uint8_t* message, uint32_t length) {
  deliveries().Add({std::string(reinterpret_cast<const char*>(message), length), link->reply_to});
}

class LinkTest : public CommTest {
 protected:
  void SetUp() override {
    CommTest::SetUp();
    link_ = Link("ethernet_udp", record_only);
  }
  UINT Datagram(const std::string& bytes, const ethernet_peer& from = Peer(0x7F000001, 4000)) {
    UINT rc;
    {
      rtos::cpu_scope s;
      rc = ethernet_datagram_receive(link_, reinterpret_cast<const uint8_t*>(bytes.data()),
                                     static_cast<uint32_t>(bytes.size()), from);
    }
    rtos::settle();
    return rc;
  }
  UINT Stream(const std::string& bytes) { return Stream(bytes, Peer(0x7F000001, 5000, &stream_, 1)); }
  UINT Stream(const std::string& bytes, const ethernet_peer& from) {
    UINT rc;
    {
      rtos::cpu_scope s;
      rc = ethernet_stream_receive(link_, reinterpret_cast<const uint8_t*>(bytes.data()),
                                   static_cast<uint32_t>(bytes.size()), from);
    }
    rtos::settle();
    return rc;
  }
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (const delivery& d : deliveries().Items()) out.push_back(d.bytes);
    return out;
  }

  ethernet_link* link_ = nullptr;
  int stream_ = 0;  // stands for a connection's socket
};

TEST_F(LinkTest, CreatedWithItsThreadAndParts) {
  EXPECT_EQ(ETHERNET_LINK_ID, link_->id);
  EXPECT_STREQ("SNMP OVER ethernet", link_->name);
  EXPECT_EQ(ETHERNET_QUEUE_SIZE, link_->queue_capacity);
  EXPECT_STREQ("ETHERNET RECEIVE THREAD", link_->receive_thread.name);
  EXPECT_EQ(ETHERNET_PRIORITY, link_->receive_thread.priority);
  EXPECT_EQ(ETHERNET_STACK_SIZE, link_->receive_thread.stack_size);
  EXPECT_EQ(link_, ethernet_find("ethernet_udp"));
  EXPECT_EQ(nullptr, ethernet_find("ethernet_tcp"));
}

// Each row: the datagrams, and the messages the agent gets.
TEST_F(LinkTest, EachDatagramIsOneMessage) {
  const std::string a = Sequence("abc"), b = Sequence(std::string(300, 'b'));
  struct {
    const char* what;
    std::vector<std::string> datagrams;
    std::vector<std::string> messages;
  } cases[] = {
      {"plain", {a}, {a}},
      {"long-form length 0x82 0x01 0x2C", {b}, {b}},
      {"not a SEQUENCE, then a good one", {"\x02\x01\x00" + a, a}, {a}},
      {"short datagram does not join the next", {a.substr(0, 3), a.substr(3), a}, {a}},
      {"short datagram then a whole one", {a.substr(0, 3), a}, {a}},
      {"trailing bytes after the message", {a + a}, {a}},
      {"content one byte over", {Sequence(std::string(ETHERNET_CONTENT_MAX + 1, 'x')), a}, {a}},
      {"a whole message of the agent's 3000 bytes", {Sequence(std::string(ETHERNET_CONTENT_MAX, 'x'))},
       {Sequence(std::string(ETHERNET_CONTENT_MAX, 'x'))}},
      {"content of 2500 bytes", {Sequence(std::string(2500, 'x'))}, {Sequence(std::string(2500, 'x'))}},
      {"length bytes that would overflow", {std::string("\x30\x88\x00\x00\x00\x00\x00\x00\x00\x05", 10) + "abcde", a},
       {std::string("\x30\x88\x00\x00\x00\x00\x00\x00\x00\x05", 10) + "abcde", a}},
      {"huge long-form length", {std::string("\x30\x84\xFF\xFF\xFF\xFF") + "abcd", a}, {a}},
      {"empty datagram", {"", a}, {a}},
  };
  for (const auto& c : cases) {
    deliveries().Clear();
    for (const std::string& d : c.datagrams) Datagram(d);
    EXPECT_EQ(c.messages, Messages()) << c.what;
    EXPECT_EQ(0u, link_->message_length) << c.what;
  }
}

// Every proper prefix of a message, each its own datagram, is no message.
TEST_F(LinkTest, EveryPrefixOfADatagramIsRefused) {
  const std::string m = Sequence(std::string(300, 'p'));
  for (size_t n = 0; n < m.size(); ++n) Datagram(m.substr(0, n));
  EXPECT_TRUE(Messages().empty());
  Datagram(m);
  EXPECT_EQ((std::vector<std::string>{m}), Messages());
}

// Whatever bytes arrive, what reaches the agent is one whole BER SEQUENCE of
// at most ETHERNET_CONTENT_MAX content bytes.
TEST_F(LinkTest, ArbitraryBytesYieldOnlyWholeMessages) {
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0xFF;
  };
  for (int round = 0; round < 300; ++round) {
    std::string bytes(next() * 8 % 2100, '\0');
    for (char& c : bytes) c = static_cast<char>(next() < 40 ? 0x30 : next());
    if (round % 2)
      Datagram(bytes);
    else
      Stream(bytes);
  }
  EXPECT_FALSE(Messages().empty());  // the seed gives some
  for (const std::string& m : Messages()) {
    ASSERT_GE(m.size(), 2u);
    EXPECT_EQ('\x30', m[0]);
    const uint8_t first = static_cast<uint8_t>(m[1]);
    size_t header = 2, content = first;
    if (first & 0x80) {
      header = 2 + (first & 0x7F);
      content = 0;
      for (size_t i = 2; i < header && i < m.size(); ++i) content = content * 256 + static_cast<uint8_t>(m[i]);
    }
    EXPECT_LE(content, ETHERNET_CONTENT_MAX);
    EXPECT_EQ(header + content, m.size());
  }
}

TEST_F(LinkTest, StreamsAreAssembledAcrossSegmentsOfOneConnection) {
  const std::string a = Sequence("first"), b = Sequence(std::string(200, 'y'));
  Stream(a + b);  // two messages back to back in one segment
  Stream(b.substr(0, 10));
  Stream(b.substr(10, 100));
  Stream(b.substr(110));
  EXPECT_EQ((std::vector<std::string>{a, b, b}), Messages());

  // A message left open by one connection is dropped when another's bytes come.
  deliveries().Clear();
  int other = 0;
  Stream(a.substr(0, 4));
  Stream(a, Peer(0x7F000001, 5001, &other, 1));
  ASSERT_EQ(1u, deliveries().Items().size());
  EXPECT_EQ(a, deliveries().Items()[0].bytes);
  EXPECT_EQ(5001, deliveries().Items()[0].from.port);
  // So does a new connection on the same socket.
  deliveries().Clear();
  Stream(a.substr(0, 4), Peer(0x7F000001, 5001, &other, 1));
  Stream(a, Peer(0x7F000001, 5001, &other, 2));
  EXPECT_EQ((std::vector<std::string>{a}), Messages());
}

TEST_F(LinkTest, OpenStreamMessageIsDroppedAfterTheIdleLimit) {
  const std::string a = Sequence("hello");
  Stream(a.substr(0, 3));
  rtos::advance(ETHERNET_WAIT_SLICE * (ETHERNET_IDLE_LIMIT + 1));
  EXPECT_EQ(0u, link_->message_length);
  Stream(a.substr(3));  // the rest alone is no message
  Stream(a);
  EXPECT_EQ((std::vector<std::string>{a}), Messages());
}

// Once quiet with nothing part-way in, the receive thread's waits stop
// lapsing; the next message still comes straight through. A message
// part-way in keeps them timed, for the idle limit.
TEST_F(LinkTest, QuietLinkStopsTimingItsWaits) {
  const std::string a = Sequence("a"), b = Sequence("b"), c = Sequence("hello");
  Stream(a);
  rtos::advance(ETHERNET_WAIT_SLICE * 50);
  EXPECT_LE(link_->idle, 2u);
  Datagram(b);
  EXPECT_EQ((std::vector<std::string>{a, b}), Messages());
  Stream(c.substr(0, 3));
  rtos::advance(ETHERNET_WAIT_SLICE * 50);
  EXPECT_GE(link_->idle, 49u);
  Stream(c.substr(3));
  EXPECT_EQ((std::vector<std::string>{a, b, c}), Messages());
}

TEST_F(LinkTest, FullQueueRefusesAndCounts) {
  trace_capture trace;
  const std::string big(ETHERNET_QUEUE_SIZE, 'z');
  {
    rtos::cpu_scope s;
    // Nothing is taken out while the scope holds the processor.
    EXPECT_EQ(0u, ethernet_stream_receive(link_, reinterpret_cast<const uint8_t*>(big.data()),
                                          ETHERNET_QUEUE_SIZE - 1, Peer(0x7F000001, 1)));
    EXPECT_EQ(0u, _nx_ethernet_byte_receive(link_, 'z'));  // the last byte that fits
    EXPECT_EQ(ETHERNET_QUEUE_FULL, _nx_ethernet_byte_receive(link_, 'z'));
    EXPECT_EQ(ETHERNET_QUEUE_FULL, ethernet_datagram_receive(link_, reinterpret_cast<const uint8_t*>("0"), 1,
                                                             Peer(0x7F000001, 2)));
  }
  EXPECT_EQ(2u, link_->bytes_dropped);
  EXPECT_EQ(ETHERNET_QUEUE_SIZE, link_->bytes_received);
  EXPECT_TRUE(trace.contains("_nx_ethernet_byte_receive: error buffer full\n"));
  rtos::settle();
  EXPECT_EQ(0u, link_->count);

  // A datagram longer than the queue is dropped whole; the next is served.
  const std::string a = Sequence("after");
  EXPECT_EQ(ETHERNET_QUEUE_FULL, Datagram(std::string(ETHERNET_QUEUE_SIZE + 1, '\x30')));
  EXPECT_EQ(0u, Datagram(a));
  EXPECT_EQ((std::vector<std::string>{a}), Messages());
  EXPECT_EQ(2u + ETHERNET_QUEUE_SIZE + 1, link_->bytes_dropped);
}

// Many pieces waiting at once: each keeps its own sender.
TEST_F(LinkTest, EachMessageKeepsItsSender) {
  {
    rtos::cpu_scope s;
    for (uint16_t i = 0; i < 20; ++i) {
      std::string m = Sequence("m" + std::to_string(i));
      ethernet_datagram_receive(link_, reinterpret_cast<const uint8_t*>(m.data()), static_cast<uint32_t>(m.size()),
                                Peer(0x7F000001 + (i % 3), static_cast<uint16_t>(6000 + i)));
    }
  }
  rtos::settle();
  std::vector<delivery> got = deliveries().Items();
  ASSERT_EQ(20u, got.size());
  for (uint16_t i = 0; i < 20; ++i) {
    EXPECT_EQ(Sequence("m" + std::to_string(i)), got[i].bytes);
    EXPECT_EQ(6000 + i, got[i].from.port);
    EXPECT_EQ(0x7F000001u + (i % 3), got[i].from.address);
  }
}

// The send path: the answer goes to the sender of the message being served,
// whole up to 3000 bytes.
struct sent_frame {
  std::string bytes;
  ethernet_peer to;
};
std::vector<sent_frame>& frames() {
  static std::vector<sent_frame> f;
  return f;
}
int recording_send(const uint8_t* frame, uint32_t length, const ethernet_peer* to) {
  frames().push_back({std::string(reinterpret_cast<const char*>(frame), length), to ? *to : ethernet_peer{}});
  return 1;
}

TEST_F(LinkTest, AnswersGoWholeToTheirSender) {
  frames().clear();
  ethernet_set_hooks(link_, null_byte_output, recording_send);
  link_->deliver = echo_deliver;
  const std::string small = Sequence("q"), large = Sequence(std::string(1900, 'L'));
  Datagram(small, Peer(0x7F000001, 7001));
  Datagram(large, Peer(0x7F000002, 7002));
  ASSERT_EQ(2u, frames().size());
  EXPECT_EQ("re:" + small, frames()[0].bytes);
  EXPECT_EQ(7001, frames()[0].to.port);
  EXPECT_EQ("re:" + large, frames()[1].bytes);  // longer than 1456 bytes, sent whole
  EXPECT_EQ(0x7F000002u, frames()[1].to.address);
  EXPECT_EQ(2u, link_->frames_transmitted);
  EXPECT_EQ(2u, link_->messages_received);
}

int failing_send(const uint8_t*, uint32_t, const ethernet_peer*) { return 0; }
uint32_t g_output_bytes = 0;
void counting_output(uint8_t) { ++g_output_bytes; }

TEST_F(LinkTest, TransportSendCountsOnlyWhatWentOut) {
  snmp_counters_clear();
  frames().clear();
  snmp_agent* agent = link_->agent;
  agent->transport_area = link_;
  ethernet_set_hooks(link_, null_byte_output, recording_send);
  std::vector<uint8_t> answer(SNMP_AGENT_BUFFER, 0x30);
  uint32_t length = SNMP_AGENT_BUFFER;
  EXPECT_EQ(0, snmp_ethernet_net_drv(agent, SNMP_IPI_UDP, SNMP_NET_SEND, answer.data(), &length));
  EXPECT_EQ(1u, snmp_counter_get(snmp_counter::snmpOutPkts));
  ASSERT_EQ(1u, frames().size());
  EXPECT_EQ(SNMP_AGENT_BUFFER, frames()[0].bytes.size());

  trace_capture trace;
  g_output_bytes = 0;
  ethernet_set_hooks(link_, counting_output, failing_send);
  length = 100;
  EXPECT_NE(0, snmp_ethernet_net_drv(agent, SNMP_IPI_UDP, SNMP_NET_SEND, answer.data(), &length));
  EXPECT_TRUE(trace.contains("failed to transmit packet on ethernet\n"));
  EXPECT_EQ(100u, g_output_bytes);
  EXPECT_EQ(100u, link_->bytes_output);
  EXPECT_EQ(1u, snmp_counter_get(snmp_counter::snmpOutPkts));
  EXPECT_EQ(1u, link_->frames_transmitted);
  // Open, receive and close do nothing and succeed.
  for (uint32_t op : {SNMP_NET_OPEN, SNMP_NET_RECEIVE, SNMP_NET_CLOSE})
    EXPECT_EQ(0, snmp_ethernet_net_drv(agent, SNMP_IPI_UDP, op, nullptr, nullptr));
  agent->transport_area = nullptr;
}

}  // namespace
