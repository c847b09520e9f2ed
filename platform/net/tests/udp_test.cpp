// UDP sockets on host sockets: datagrams with plain host sockets and with the
// instance itself, time-outs on the kernel's clock, aborted waits, refused
// destinations and the port mapping.
#include "net_fixture.h"

namespace {

class UdpTest : public NetTest {
 protected:
  void TearDown() override {
    for (int fd : fds_) close(fd);
    NetTest::TearDown();
  }
  int Udp() {
    fds_.push_back(HostUdp());
    return fds_.back();
  }
  // Creates and binds a socket of the main instance (any context).
  void Bind(NX_UDP_SOCKET* s, UINT port, ULONG queue = 30) {
    ASSERT_EQ(nx_udp_socket_create(&ip_, s, "udp", NX_IP_NORMAL, NX_FRAGMENT_OKAY, NX_IP_TIME_TO_LIVE, queue),
              NX_SUCCESS);
    ASSERT_EQ(nx_udp_socket_bind(s, port, NX_NO_WAIT), NX_SUCCESS);
  }
  // A kernel thread that receives datagrams and reports each as
  // "status text from", until told to stop by a datagram "stop".
  void Receiver(NX_UDP_SOCKET* s, ULONG wait = NX_WAIT_FOREVER, int count = 1) {
    a_.Create("receiver", 3, [this, s, wait, count] {
      for (int i = 0; i < count; ++i) {
        NX_PACKET* p = nullptr;
        UINT st = nx_udp_socket_receive(s, &p, wait);
        std::string line = std::to_string(st) + " at " + std::to_string(tx_time_get());
        if (st == NX_SUCCESS) {
          ULONG from = 0;
          UINT port = 0;
          nx_udp_source_extract(p, &from, &port);
          line = "0 " + Text(p) + " from " + Endpoint(from, port);
          nx_packet_release(p);
        }
        box_.Post(line);
      }
    });
  }
  // Host I/O arrives in real time: waits until `n` datagrams were queued
  // or dropped.
  void WaitHandled(NX_UDP_SOCKET& s, ULONG n) {
    for (int i = 0; i < 2000; ++i) {
      {
        rtos::cpu_scope c;
        if (s.nx_udp_socket_packets_received + s.nx_udp_socket_packets_dropped == n) return;
      }
      usleep(10000);
    }
  }
  // The socket's queue holds these datagrams (the processor held).
  void ExpectQueued(NX_UDP_SOCKET& s, std::vector<std::string> texts) {
    for (const std::string& d : texts) {
      NX_PACKET* p = nullptr;
      ASSERT_EQ(nx_udp_socket_receive(&s, &p, NX_NO_WAIT), NX_SUCCESS);
      EXPECT_EQ(Text(p), d);
      nx_packet_release(p);
    }
  }
  KThread a_, b_;
  std::vector<int> fds_;
  NX_IP second_{};
  std::vector<uint8_t> stack_ = std::vector<uint8_t>(2048);
};

TEST_F(UdpTest, ExchangesDatagramsWithAHostSocket) {
  NX_UDP_SOCKET s{};
  Start([&] { Bind(&s, 161); });
  uint16_t controller = HostPort(net_proto::udp, 161);
  ASSERT_NE(controller, 0);
  int host = Udp();
  Receiver(&s);
  HostSendTo(host, controller, "get-request");
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), "0 get-request from " + Endpoint(IP_ADDRESS(127, 0, 0, 1), LocalPort(host)));

  // The answer goes back to the sender's address and port, from port 161's host socket.
  {
    rtos::cpu_scope c;
    NX_PACKET* p = Packet("get-response");
    ASSERT_EQ(nx_udp_socket_send(&s, p, IP_ADDRESS(127, 0, 0, 1), LocalPort(host)), NX_SUCCESS);
    EXPECT_EQ(s.nx_udp_socket_packets_sent, 1u);
  }
  uint16_t from = 0;
  EXPECT_EQ(HostRecv(host, &from), "get-response");
  EXPECT_EQ(from, controller);
  EXPECT_EQ(Available(), pool_.nx_packet_pool_total);
}

// Sockets of one instance reach each other through its own address, and see
// each other's controller ports.
TEST_F(UdpTest, ExchangesDatagramsWithItself) {
  NX_UDP_SOCKET server{}, client{};
  Start([&] {
    Bind(&server, 161);
    Bind(&client, 3002);
  });
  Receiver(&server);
  {
    rtos::cpu_scope c;
    ASSERT_EQ(nx_udp_socket_send(&client, Packet("to myself"), kAddress, 161), NX_SUCCESS);
  }
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), "0 to myself from " + Endpoint(kAddress, 3002));
  // A datagram to an own port that nobody listens on is lost, not refused.
  rtos::cpu_scope c;
  NX_PACKET* p = Packet("nobody");
  EXPECT_EQ(nx_udp_socket_send(&client, p, kAddress, 9999), NX_SUCCESS);
}

// A 3000-byte message arrives as one chained datagram with its sender.
TEST_F(UdpTest, ALargeDatagramArrivesWhole) {
  NX_UDP_SOCKET s{};
  Start([&] { Bind(&s, 161); });
  std::string big(3000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  Receiver(&s);
  HostSendTo(Udp(), HostPort(net_proto::udp, 161), big);
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0).substr(0, 2 + big.size()), "0 " + big);
  EXPECT_EQ(Available(), pool_.nx_packet_pool_total);
}

TEST_F(UdpTest, ReceiveTimeOutsCountKernelTicks) {
  NX_UDP_SOCKET s{};
  Start([&] { Bind(&s, 123); });
  Receiver(&s, 100, 2);
  rtos::advance(99);
  EXPECT_EQ(box_.Size(), 0u);
  rtos::advance(1);
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), std::to_string(NX_NO_PACKET) + " at 100");
  rtos::advance(100);
  ASSERT_TRUE(box_.WaitFor(2));
  EXPECT_EQ(box_.At(1), std::to_string(NX_NO_PACKET) + " at 200");
  rtos::cpu_scope c;
  NX_PACKET* p = reinterpret_cast<NX_PACKET*>(1);
  EXPECT_EQ(nx_udp_socket_receive(&s, &p, NX_NO_WAIT), NX_NO_PACKET);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(nx_udp_socket_receive(&s, &p, 5), NX_WAIT_ERROR);  // host code may not wait
}

TEST_F(UdpTest, AReceiveWaitingForeverEndsWhenAborted) {
  NX_UDP_SOCKET s{};
  Start([&] { Bind(&s, 161); });
  Receiver(&s);
  rtos::advance(1000);
  EXPECT_EQ(box_.Size(), 0u);
  {
    rtos::cpu_scope c;
    ASSERT_EQ(tx_thread_wait_abort(&a_.cb), TX_SUCCESS);
  }
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), std::to_string(NX_WAIT_ABORTED) + " at 1000");
}

TEST_F(UdpTest, ASendToAnUnmappedOutsideAddressIsRefused) {
  NX_UDP_SOCKET s{};
  Start([&] { Bind(&s, 162); });
  rtos::cpu_scope c;
  NX_PACKET* p = Packet("trap");
  EXPECT_EQ(nx_udp_socket_send(&s, p, IP_ADDRESS(10, 1, 2, 3), 162), NX_ADDRESS_REFUSED);
  EXPECT_TRUE(TraceLog::Contains("nx_udp_socket_send: no host mapping for 10.1.2.3:162")) << TraceLog::All();
  // The caller still owns the refused packet.
  EXPECT_EQ(nx_packet_release(p), NX_SUCCESS);
  EXPECT_EQ(pool_.nx_packet_pool_available, pool_.nx_packet_pool_total);
}

// A mapped peer is reached on its loopback port, and its answers show its
// controller-side address and port.
TEST_F(UdpTest, AMappedPeerIsReachedOnLoopbackAndSeenUnderItsOwnAddress) {
  int manager = Udp();
  net_host_config c = net_host_current_config();
  net_peer_map m;
  m.address = IP_ADDRESS(10, 1, 2, 3);
  m.port = 162;
  m.host_port = LocalPort(manager);
  c.peers.push_back(m);
  ASSERT_TRUE(net_host_configure(c));
  NX_UDP_SOCKET s{};
  Start([&] { Bind(&s, 162); });
  {
    rtos::cpu_scope cs;
    ASSERT_EQ(nx_udp_socket_send(&s, Packet("trap-pdu"), IP_ADDRESS(10, 1, 2, 3), 162), NX_SUCCESS);
  }
  EXPECT_EQ(HostRecv(manager), "trap-pdu");
  Receiver(&s);
  HostSendTo(manager, HostPort(net_proto::udp, 162), "ack");
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), "0 ack from 10.1.2.3:162");
}

TEST_F(UdpTest, AFullQueueDropsFurtherDatagrams) {
  NX_UDP_SOCKET s{};
  Start([&] { Bind(&s, 161, 2); });
  int host = Udp();
  uint16_t port = HostPort(net_proto::udp, 161);
  for (const char* d : {"one", "two", "three"}) HostSendTo(host, port, d);
  WaitHandled(s, 3);
  rtos::cpu_scope c;
  EXPECT_EQ(s.nx_udp_socket_packets_received, 2u);
  EXPECT_EQ(s.nx_udp_socket_packets_dropped, 1u);
  // The instance counts them too, for the service console.
  EXPECT_EQ(ip_.nx_ip_udp_packets_received, 2u);
  EXPECT_EQ(ip_.nx_ip_udp_packets_dropped, 1u);
  ExpectQueued(s, {"one", "two"});
}

// Once its receiver has taken a datagram and gone on to other work, the
// next datagrams are still queued and counted as they come, within the
// queue's bound.
TEST_F(UdpTest, DatagramsThatComeWhileTheReceiverIsAwayAreQueued) {
  NX_UDP_SOCKET s{};
  Start([&] { Bind(&s, 161, 2); });
  int host = Udp();
  uint16_t port = HostPort(net_proto::udp, 161);
  Receiver(&s);
  rtos::advance(1);
  usleep(50000);  // its host thread is asleep on the socket by now
  HostSendTo(host, port, "first");
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), "0 first from " + Endpoint(IP_ADDRESS(127, 0, 0, 1), LocalPort(host)));
  for (const char* d : {"two", "three", "four"}) HostSendTo(host, port, d);
  WaitHandled(s, 4);
  rtos::cpu_scope c;
  EXPECT_EQ(s.nx_udp_socket_packets_received, 3u);
  EXPECT_EQ(s.nx_udp_socket_packets_dropped, 1u);
  EXPECT_EQ(s.nx_udp_socket_queued, 2u);
  ExpectQueued(s, {"two", "three"});
}

// Unbinding a socket that a thread waits on ends the wait and gives the
// host port back at once: a host socket can take it right away.
TEST_F(UdpTest, UnbindingUnderAWaitingReceiverFreesItsHostPort) {
  NX_UDP_SOCKET s{};
  Start([&] { Bind(&s, 161); });
  uint16_t port = HostPort(net_proto::udp, 161);
  ASSERT_NE(port, 0);
  Receiver(&s);
  rtos::advance(10);
  usleep(50000);  // its host thread is asleep on the socket by now
  {
    rtos::cpu_scope c;
    ASSERT_EQ(nx_udp_socket_unbind(&s), NX_SUCCESS);
    int again = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = Loopback(port);
    EXPECT_EQ(bind(again, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << strerror(errno);
    close(again);
  }
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), std::to_string(NX_NOT_BOUND) + " at 10");
}

TEST_F(UdpTest, PortsAreBoundOnceAndWaitersGetThemWhenFreed) {
  NX_UDP_SOCKET first{}, second{};
  Start([&] {
    Bind(&first, 123);
    nx_udp_socket_create(&ip_, &second, "second", NX_IP_NORMAL, NX_FRAGMENT_OKAY, 128, 30);
    a_.Create("binder", 3, [&] {
      box_.Post("no wait " + std::to_string(nx_udp_socket_bind(&second, 123, NX_NO_WAIT)));
      UINT st = nx_udp_socket_bind(&second, 123, NX_WAIT_FOREVER);
      box_.Post("bound " + std::to_string(st) + " at " + std::to_string(tx_time_get()));
    });
  });
  rtos::advance(40);
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), "no wait " + std::to_string(NX_PORT_UNAVAILABLE));
  {
    rtos::cpu_scope c;
    EXPECT_EQ(nx_udp_socket_bind(&first, 124, NX_NO_WAIT), NX_ALREADY_BOUND);
    EXPECT_EQ(nx_udp_socket_unbind(&first), NX_SUCCESS);
    EXPECT_EQ(nx_udp_socket_unbind(&first), NX_NOT_BOUND);
  }
  ASSERT_TRUE(box_.WaitFor(2));
  EXPECT_EQ(box_.At(1), "bound 0 at 40");
  rtos::cpu_scope c;
  UINT port = 0;
  EXPECT_EQ(nx_udp_socket_port_get(&second, &port), NX_SUCCESS);
  EXPECT_EQ(port, 123u);
  // Rebinding the freed socket elsewhere, and to any port, works.
  EXPECT_EQ(nx_udp_socket_bind(&first, NX_ANY_PORT, NX_NO_WAIT), NX_SUCCESS);
  EXPECT_GE(first.nx_udp_socket_port, 49152u);
  // Deleting a bound socket unbinds it.
  EXPECT_EQ(nx_udp_socket_delete(&second), NX_SUCCESS);
  EXPECT_EQ(net_host_port(&ip_, net_proto::udp, 123), 0);
  EXPECT_EQ(nx_udp_socket_bind(&second, 123, NX_NO_WAIT), NX_NOT_CREATED);
}

TEST_F(UdpTest, ASendChecksItsPacket) {
  NX_UDP_SOCKET s{}, unbound{};
  Start([&] {
    Bind(&s, 161);
    nx_udp_socket_create(&ip_, &unbound, "unbound", NX_IP_NORMAL, NX_FRAGMENT_OKAY, 128, 30);
  });
  rtos::cpu_scope c;
  NX_PACKET* raw = Packet("no header room", NX_RECEIVE_PACKET);
  EXPECT_EQ(nx_udp_socket_send(&s, raw, IP_ADDRESS(127, 0, 0, 1), 9), NX_UNDERFLOW);
  NX_PACKET* p = Packet("ok");
  EXPECT_EQ(nx_udp_socket_send(&unbound, p, IP_ADDRESS(127, 0, 0, 1), 9), NX_NOT_BOUND);
  EXPECT_EQ(nx_udp_socket_send(&s, p, IP_ADDRESS(127, 0, 0, 1), 0), NX_INVALID_PORT);
  p->nx_packet_length = 99;  // does not match the data
  EXPECT_EQ(nx_udp_socket_send(&s, p, IP_ADDRESS(127, 0, 0, 1), 9), NX_INVALID_PACKET);
  nx_packet_release(p);
  EXPECT_EQ(nx_udp_socket_send(&s, p, IP_ADDRESS(127, 0, 0, 1), 9), NX_INVALID_PACKET);  // released
  ULONG from;
  UINT port;
  EXPECT_EQ(nx_udp_source_extract(raw, &from, &port), NX_INVALID_PACKET);  // never received
  nx_packet_release(raw);
}

// Host ports by the configuration: an explicit entry, the default offset,
// and an ephemeral port that net_host_port reports.
TEST_F(UdpTest, HostPortsFollowTheConfiguration) {
  uint16_t fixed = FreePort(SOCK_DGRAM);
  // The offset entry must name a stack port below the client range, which
  // takes ephemeral host ports whatever the offset.
  uint16_t offset_port = FreePort(SOCK_DGRAM);
  for (int n = 0; n < 50 && offset_port - 10000 >= 49152; ++n) offset_port = FreePort(SOCK_DGRAM);
  net_host_config c;
  c.ephemeral = false;
  c.port_offset = 10000;
  c.ports.push_back({161, fixed});
  c.ports.push_back({3002, 0});
  ASSERT_TRUE(net_host_configure(c));
  NX_UDP_SOCKET a{}, b{}, d{};
  Start([&] {
    Bind(&a, 161);
    Bind(&b, 3002);
    if (offset_port > 10000) Bind(&d, offset_port - 10000u);
  });
  EXPECT_EQ(HostPort(net_proto::udp, 161), fixed);
  EXPECT_NE(HostPort(net_proto::udp, 3002), 0);
  if (offset_port > 10000) {
    EXPECT_EQ(HostPort(net_proto::udp, offset_port - 10000u), offset_port);
  }
  EXPECT_EQ(HostPort(net_proto::udp, 9), 0);
  EXPECT_EQ(HostPort(net_proto::tcp, 161), 0);
}

// Two instances bind the same controller port side by side on their own
// ephemeral host ports, and each gets its own traffic.
TEST_F(UdpTest, TwoInstancesUseTheSamePortOnEphemeralHostPorts) {
  NX_IP& second = second_;
  std::vector<uint8_t>& stack = stack_;
  NX_UDP_SOCKET one{}, two{};
  Start([&] {
    ASSERT_EQ(nx_ip_create(&second, "second", IP_ADDRESS(192, 168, 1, 11), kMask, &pool_, TestDriver, stack.data(),
                           2048, 1),
              NX_SUCCESS);
    nx_udp_enable(&second);
    Bind(&one, 161);
    nx_udp_socket_create(&second, &two, "two", NX_IP_NORMAL, NX_FRAGMENT_OKAY, 128, 30);
    nx_udp_socket_bind(&two, 161, NX_NO_WAIT);
  });
  uint16_t p1 = HostPort(net_proto::udp, 161);
  uint16_t p2 = net_host_port(&second, net_proto::udp, 161);
  ASSERT_NE(p1, 0);
  ASSERT_NE(p2, 0);
  EXPECT_NE(p1, p2);
  int host = Udp();
  HostSendTo(host, p2, "for two");
  HostSendTo(host, p1, "for one");
  a_.Create("one", 3, [&] {
    NX_PACKET* p = nullptr;
    if (nx_udp_socket_receive(&one, &p, NX_WAIT_FOREVER) == NX_SUCCESS) box_.Post("one got " + Text(p));
  });
  b_.Create("two", 3, [&] {
    NX_PACKET* p = nullptr;
    if (nx_udp_socket_receive(&two, &p, NX_WAIT_FOREVER) == NX_SUCCESS) box_.Post("two got " + Text(p));
  });
  ASSERT_TRUE(box_.WaitFor(2));
  auto items = box_.Items();
  std::sort(items.begin(), items.end());
  EXPECT_EQ(items, (std::vector<std::string>{"one got for one", "two got for two"}));
}

}  // namespace
