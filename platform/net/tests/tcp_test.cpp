// TCP sockets on host sockets: a server worker in the manner of the
// controller's (listen callback resumes it, relisten after each connection),
// clients to mapped peers and to the instance itself, callbacks in the
// instance's thread, aborted waits and time-outs on the kernel's clock.
#include <thread>

#include "net_fixture.h"

namespace {

class TcpTest;
TcpTest* g_test = nullptr;

class TcpTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    g_test = this;
  }
  void TearDown() override {
    for (int fd : fds_) close(fd);
    NetTest::TearDown();
    if (writer_.joinable()) writer_.join();
    g_test = nullptr;
  }
  int Keep(int fd) {
    fds_.push_back(fd);
    return fd;
  }

  static std::string Where() { return tx_thread_identify() == &g_test->ip_.nx_ip_thread ? "ip thread" : "elsewhere"; }
  static void OnListen(NX_TCP_SOCKET* s, UINT port) {
    g_test->box_.Post("listen callback " + std::to_string(port) + " in " + Where());
    tx_thread_resume(&g_test->worker_.cb);
  }
  static void OnDisconnect(NX_TCP_SOCKET* s) { g_test->box_.Post("disconnect callback in " + Where()); }
  static void AbortOnDisconnect(NX_TCP_SOCKET* s) {
    g_test->box_.Post("disconnect callback");
    tx_thread_wait_abort(&g_test->worker_.cb);
  }

  void CreateSocket(NX_TCP_SOCKET* s, const char* name, VOID (*disconnect)(NX_TCP_SOCKET*) = nullptr,
                    ULONG window = 1000) {
    ASSERT_EQ(nx_tcp_socket_create(&ip_, s, name, NX_IP_NORMAL, NX_FRAGMENT_OKAY, NX_IP_TIME_TO_LIVE, window, nullptr,
                                   disconnect),
              NX_SUCCESS);
  }

  // Sends `text` on a connection from a kernel thread.
  UINT Send(NX_TCP_SOCKET* s, const std::string& text) {
    NX_PACKET* p = Packet(text, NX_TCP_PACKET);
    UINT st = nx_tcp_socket_send(s, p, NX_WAIT_FOREVER);
    if (st != NX_SUCCESS) nx_packet_release(p);
    return st;
  }

  // The controller's server worker, `rounds` connections long: accept,
  // echo every segment, and once the peer has gone disconnect, unaccept
  // and listen again.
  void Worker(int rounds) {
    worker_.Create(
        "tcp thread", 3,
        [this, rounds] {
          for (int r = 0; r < rounds; ++r) {
            box_.Post("accept " + std::to_string(nx_tcp_server_socket_accept(&server_, 500)));
            for (;;) {
              NX_PACKET* p = nullptr;
              UINT st = nx_tcp_socket_receive(&server_, &p, NX_WAIT_FOREVER);
              if (st != NX_SUCCESS) {
                box_.Post("receive " + std::to_string(st));
                break;
              }
              std::string text = Text(p);
              nx_packet_release(p);
              box_.Post("got " + text);
              Send(&server_, text);
            }
            box_.Post("send after close " + std::to_string(Send(&server_, "late")));
            box_.Post("disconnect " + std::to_string(nx_tcp_socket_disconnect(&server_, 4)));
            UINT st = nx_tcp_server_socket_unaccept(&server_);
            box_.Post("unaccept " + std::to_string(st) + " port " + std::to_string(server_.nx_tcp_socket_port));
            box_.Post("relisten " + std::to_string(nx_tcp_server_socket_relisten(&ip_, 14001, &server_)));
          }
        },
        TX_DONT_START);
  }

  ULONG Queued() {
    rtos::cpu_scope c;
    return ip_.nx_ip_tcp_connections_queued;
  }

  NX_TCP_SOCKET server_{}, client_{}, other_{};
  KThread worker_, client_thread_;
  std::vector<int> fds_;
  std::thread writer_;
};

TEST_F(TcpTest, ServesHostClientsAndListensAgainAfterEachCloses) {
  Start([&] {
    CreateSocket(&server_, "tcp thread socket", OnDisconnect);
    ASSERT_EQ(nx_tcp_server_socket_listen(&ip_, 14001, &server_, 1, OnListen), NX_SUCCESS);
    Worker(2);
  });
  uint16_t port = HostPort(net_proto::tcp, 14001);
  ASSERT_NE(port, 0);
  for (int round = 0; round < 2; ++round) {
    size_t base = box_.Size();
    int fd = HostConnect(port);
    ASSERT_GE(fd, 0);
    // The connection wakes the worker through the callback (the first time
    // from its suspension; later it already waits in accept).
    ASSERT_TRUE(box_.WaitFor(base + 2));
    EXPECT_EQ(box_.At(base), "listen callback 14001 in ip thread");
    EXPECT_EQ(box_.At(base + 1), "accept 0");
    ASSERT_TRUE(HostWrite(fd, "hello " + std::to_string(round)));
    EXPECT_EQ(HostRead(fd, 7), "hello " + std::to_string(round));
    close(fd);
    ASSERT_TRUE(box_.WaitFor(base + 9));
    std::vector<std::string> rest;
    for (size_t i = base + 2; i < base + 9; ++i) rest.push_back(box_.At(i));
    EXPECT_EQ(rest, (std::vector<std::string>{"got hello " + std::to_string(round), "disconnect callback in ip thread",
                                             "receive " + std::to_string(NX_NOT_CONNECTED),
                                             "send after close " + std::to_string(NX_NOT_CONNECTED), "disconnect 0",
                                             "unaccept 0 port 0", "relisten 0"}));
  }
  EXPECT_EQ(Available(), pool_.nx_packet_pool_total);
}

// The link transports listen again (not relisten) after unaccepting: the
// port, still listened without a socket, takes the socket back.
TEST_F(TcpTest, ListeningAgainAfterUnacceptTakesThePortBack) {
  Start([&] {
    CreateSocket(&server_, "TCP IP Socket");
    ASSERT_EQ(nx_tcp_server_socket_listen(&ip_, 161, &server_, 1, nullptr), NX_SUCCESS);
    worker_.Create("tcp thread", 3, [&] {
      for (int round = 0; round < 2; ++round) {
        box_.Post("accept " + std::to_string(nx_tcp_server_socket_accept(&server_, NX_WAIT_FOREVER)));
        NX_PACKET* p = nullptr;
        box_.Post("receive " + std::to_string(nx_tcp_socket_receive(&server_, &p, NX_WAIT_FOREVER)));
        nx_tcp_socket_disconnect(&server_, 4);
        nx_tcp_server_socket_unaccept(&server_);
        box_.Post("listen " + std::to_string(nx_tcp_server_socket_listen(&ip_, 161, &server_, 1, nullptr)));
      }
    });
  });
  uint16_t port = HostPort(net_proto::tcp, 161);
  for (int round = 0; round < 2; ++round) {
    int fd = HostConnect(port);
    ASSERT_TRUE(box_.WaitFor(3 * round + 1));
    close(fd);
    ASSERT_TRUE(box_.WaitFor(3 * round + 3));
    EXPECT_EQ(box_.At(3 * round), "accept 0");
    EXPECT_EQ(box_.At(3 * round + 1), "receive " + std::to_string(NX_NOT_CONNECTED));
    EXPECT_EQ(box_.At(3 * round + 2), "listen 0");
  }
  EXPECT_EQ(HostPort(net_proto::tcp, 161), port);  // the same host socket all along
}

// A second client waits in the listen queue while the first is served; the
// worker's relisten then finds it pending, and its listen callback follows
// on the next tick, outside the relistening thread.
TEST_F(TcpTest, AQueuedConnectionIsPendingOnRelisten) {
  Start([&] {
    CreateSocket(&server_, "tcp thread socket", OnDisconnect);
    ASSERT_EQ(nx_tcp_server_socket_listen(&ip_, 14001, &server_, 1, OnListen), NX_SUCCESS);
    Worker(2);
  });
  uint16_t port = HostPort(net_proto::tcp, 14001);
  int first = HostConnect(port);
  ASSERT_TRUE(box_.WaitFor(2));  // callback, accept
  int second = Keep(HostConnect(port));
  ASSERT_GE(second, 0);
  ASSERT_TRUE(HostWrite(second, "queued"));
  for (int i = 0; i < 2000 && Queued() == 0; ++i) usleep(10000);
  ASSERT_EQ(Queued(), 1u);
  close(first);
  ASSERT_TRUE(box_.WaitFor(9));
  EXPECT_EQ(box_.At(7), "relisten " + std::to_string(NX_CONNECTION_PENDING));
  EXPECT_EQ(box_.At(8), "accept 0");
  ASSERT_TRUE(box_.WaitFor(10));
  EXPECT_EQ(box_.At(9), "got queued");
  EXPECT_EQ(HostRead(second, 6), "queued");
  EXPECT_EQ(Queued(), 0u);
  rtos::advance(1);
  ASSERT_TRUE(box_.WaitFor(11));
  EXPECT_EQ(box_.At(10), "listen callback 14001 in ip thread");
}

TEST_F(TcpTest, AClientReachesAMappedPeerAndStaysBoundAfterItCloses) {
  uint16_t hp = 0;
  int listener = Keep(HostListen(&hp));
  net_host_config c = net_host_current_config();
  net_peer_map m;
  m.address = IP_ADDRESS(10, 9, 8, 7);
  m.port = 2000;
  m.host_port = hp;
  c.peers.push_back(m);
  ASSERT_TRUE(net_host_configure(c));
  Start([&] {
    CreateSocket(&client_, "tcp client socket", OnDisconnect);
    ASSERT_EQ(nx_tcp_client_socket_bind(&client_, 162, NX_NO_WAIT), NX_SUCCESS);
    client_thread_.Create("tcp client thread", 3, [&] {
      box_.Post("connect " + std::to_string(nx_tcp_client_socket_connect(&client_, IP_ADDRESS(10, 9, 8, 7), 2000, 6000)));
      box_.Post("send " + std::to_string(Send(&client_, "trap")));
      for (;;) {
        NX_PACKET* p = nullptr;
        UINT st = nx_tcp_socket_receive(&client_, &p, NX_WAIT_FOREVER);
        if (st != NX_SUCCESS) {
          box_.Post("receive " + std::to_string(st));
          break;
        }
        box_.Post("got " + Text(p));
        nx_packet_release(p);
      }
      UINT st = nx_tcp_socket_disconnect(&client_, 6000);
      box_.Post("disconnect " + std::to_string(st) + " state " + std::to_string(client_.nx_tcp_socket_state) +
                " port " + std::to_string(client_.nx_tcp_socket_port));
      box_.Post("again " + std::to_string(nx_tcp_socket_disconnect(&client_, 6000)));
    });
  });
  int conn = Keep(accept(listener, nullptr, nullptr));
  ASSERT_GE(conn, 0);
  HostTimeout(conn);
  EXPECT_EQ(HostRead(conn, 4), "trap");
  ASSERT_TRUE(HostWrite(conn, "ack"));
  ASSERT_TRUE(box_.WaitFor(3));
  shutdown(conn, SHUT_WR);
  ASSERT_TRUE(box_.WaitFor(7));
  EXPECT_EQ(box_.Items(), (std::vector<std::string>{"connect 0", "send 0", "got ack", "disconnect callback in ip thread",
                                                    "receive " + std::to_string(NX_NOT_CONNECTED),
                                                    "disconnect 0 state 0 port 162",
                                                    "again " + std::to_string(NX_NOT_CONNECTED)}));
  EXPECT_TRUE(HostSeesClose(conn));
}

// Nobody answers an unmapped outside address or a closed loopback port: the
// connect fails when its time is up on the kernel's clock.
TEST_F(TcpTest, AnUnansweredConnectFailsOnItsTimeOut) {
  struct Row {
    ULONG address;
    UINT port;
    const char* trace;
  } rows[] = {{IP_ADDRESS(10, 1, 2, 3), 162, "nx_tcp_client_socket_connect: no host mapping for 10.1.2.3:162"},
              {IP_ADDRESS(127, 0, 0, 1), FreePort(SOCK_STREAM), nullptr}};
  for (const Row& r : rows) {
    SCOPED_TRACE(Endpoint(r.address, r.port));
    TraceLog::Clear();
    Start([&] {
      CreateSocket(&client_, "tcp client socket");
      nx_tcp_client_socket_bind(&client_, NX_ANY_PORT, NX_NO_WAIT);
      client_thread_.Create("client", 3, [&] {
        UINT st = nx_tcp_client_socket_connect(&client_, r.address, r.port, 6000);
        box_.Post(std::to_string(st) + " at " + std::to_string(tx_time_get()) + " state " +
                  std::to_string(client_.nx_tcp_socket_state));
      });
    });
    size_t base = box_.Size();
    rtos::advance(5999);
    EXPECT_EQ(box_.Size(), base);
    rtos::advance(1);
    ASSERT_TRUE(box_.WaitFor(base + 1));
    EXPECT_EQ(box_.At(base), std::to_string(NX_NOT_CONNECTED) + " at 6000 state 0");
    if (r.trace) {
      EXPECT_TRUE(TraceLog::Contains(r.trace)) << TraceLog::All();
    }
    net_host_shutdown();
    rtos::kernel_stop();
    client_ = NX_TCP_SOCKET{};
    client_thread_ = KThread{};
  }
}

// A client of the instance connects to the instance's own listening port;
// the server sees the client's own address and port.
TEST_F(TcpTest, ConnectsToItself) {
  Start([&] {
    CreateSocket(&server_, "server");
    CreateSocket(&client_, "client");
    ASSERT_EQ(nx_tcp_server_socket_listen(&ip_, 14001, &server_, 1, nullptr), NX_SUCCESS);
    ASSERT_EQ(nx_tcp_client_socket_bind(&client_, 5000, NX_NO_WAIT), NX_SUCCESS);
    worker_.Create("server", 3, [&] {
      UINT st = nx_tcp_server_socket_accept(&server_, NX_WAIT_FOREVER);
      box_.Post("accept " + std::to_string(st) + " from " +
                Endpoint(server_.nx_tcp_socket_peer_address, server_.nx_tcp_socket_peer_port));
      NX_PACKET* p = nullptr;
      if (nx_tcp_socket_receive(&server_, &p, NX_WAIT_FOREVER) == NX_SUCCESS) {
        box_.Post("server got " + Text(p));
        nx_packet_release(p);
        Send(&server_, "pong");
      }
    });
    client_thread_.Create("client", 4, [&] {
      box_.Post("connect " + std::to_string(nx_tcp_client_socket_connect(&client_, kAddress, 14001, 6000)));
      Send(&client_, "ping");
      NX_PACKET* p = nullptr;
      if (nx_tcp_socket_receive(&client_, &p, NX_WAIT_FOREVER) == NX_SUCCESS) {
        box_.Post("client got " + Text(p));
        nx_packet_release(p);
      }
    });
  });
  ASSERT_TRUE(box_.WaitFor(4));
  auto items = box_.Items();
  std::sort(items.begin(), items.end());
  EXPECT_EQ(items, (std::vector<std::string>{"accept 0 from " + Endpoint(kAddress, 5000), "client got pong",
                                             "connect 0", "server got ping"}));
}

// A receive waiting forever ends when its wait is aborted; one waiting for
// 30000 ticks ends on that tick.
TEST_F(TcpTest, AReceiveEndsWhenAbortedOrOnItsTimeOut) {
  Start([&] {
    CreateSocket(&server_, "server");
    ASSERT_EQ(nx_tcp_server_socket_listen(&ip_, 14001, &server_, 1, nullptr), NX_SUCCESS);
    worker_.Create("server", 3, [&] {
      box_.Post("accept " + std::to_string(nx_tcp_server_socket_accept(&server_, NX_WAIT_FOREVER)));
      NX_PACKET* p = nullptr;
      UINT st = nx_tcp_socket_receive(&server_, &p, NX_WAIT_FOREVER);
      box_.Post("forever " + std::to_string(st) + " at " + std::to_string(tx_time_get()));
      st = nx_tcp_socket_receive(&server_, &p, 30000);
      box_.Post("timed " + std::to_string(st) + " at " + std::to_string(tx_time_get()));
    });
  });
  int fd = Keep(HostConnect(HostPort(net_proto::tcp, 14001)));
  ASSERT_TRUE(box_.WaitFor(1));
  rtos::advance(70);
  {
    rtos::cpu_scope c;
    ASSERT_EQ(tx_thread_wait_abort(&worker_.cb), TX_SUCCESS);
  }
  ASSERT_TRUE(box_.WaitFor(2));
  EXPECT_EQ(box_.At(1), "forever " + std::to_string(NX_WAIT_ABORTED) + " at 70");
  rtos::advance(29999);
  EXPECT_EQ(box_.Size(), 2u);
  rtos::advance(1);
  ASSERT_TRUE(box_.WaitFor(3));
  EXPECT_EQ(box_.At(2), "timed " + std::to_string(NX_NO_PACKET) + " at 30070");
  (void)fd;
}

// The disconnect callback aborts another thread's wait, as the link
// transports' callbacks do.
TEST_F(TcpTest, ADisconnectCallbackCanAbortAWaitingThread) {
  TX_SEMAPHORE never;
  Start([&] {
    tx_semaphore_create(&never, "never", 0);
    CreateSocket(&server_, "server", AbortOnDisconnect);
    ASSERT_EQ(nx_tcp_server_socket_listen(&ip_, 14001, &server_, 1, nullptr), NX_SUCCESS);
    worker_.Create("server", 3, [&] {
      box_.Post("accept " + std::to_string(nx_tcp_server_socket_accept(&server_, NX_WAIT_FOREVER)));
      box_.Post("sleep " + std::to_string(tx_semaphore_get(&never, TX_WAIT_FOREVER)));
      box_.Post("disconnect " + std::to_string(nx_tcp_socket_disconnect(&server_, 4)));
    });
  });
  int fd = HostConnect(HostPort(net_proto::tcp, 14001));
  ASSERT_TRUE(box_.WaitFor(1));
  // An abort before the wait has begun would be lost, as on the board: let
  // the worker reach its wait first.
  rtos::settle();
  close(fd);
  ASSERT_TRUE(box_.WaitFor(4));
  EXPECT_EQ(box_.Items(), (std::vector<std::string>{"accept 0", "disconnect callback",
                                                    "sleep " + std::to_string(TX_WAIT_ABORTED), "disconnect 0"}));
}

// More data than the pool holds: reading pauses while the pool is empty and
// goes on as packets come back, so every byte arrives, in order.
TEST_F(TcpTest, DataBeyondThePoolWaitsForReleasedPackets) {
  const size_t total = 100000;
  std::string data(total, '\0');
  for (size_t i = 0; i < total; ++i) data[i] = static_cast<char>(i % 251);
  Start([&] {
    CreateSocket(&server_, "server", nullptr, 65536);
    ASSERT_EQ(nx_tcp_server_socket_listen(&ip_, 14001, &server_, 1, nullptr), NX_SUCCESS);
    worker_.Create("server", 3, [&] {
      box_.Post("accept " + std::to_string(nx_tcp_server_socket_accept(&server_, NX_WAIT_FOREVER)));
    });
  });
  int fd = Keep(HostConnect(HostPort(net_proto::tcp, 14001)));
  ASSERT_TRUE(box_.WaitFor(1));
  writer_ = std::thread([fd, &data] { HostWrite(fd, data); });
  for (int i = 0; i < 2000 && Available() > 0; ++i) usleep(10000);
  ASSERT_EQ(Available(), 0u);
  std::string got;
  bool in_order_sizes = true;
  client_thread_.Create("reader", 3, [&] {
    while (got.size() < total) {
      NX_PACKET* p = nullptr;
      if (nx_tcp_socket_receive(&server_, &p, NX_WAIT_FOREVER) != NX_SUCCESS) break;
      if (p->nx_packet_next) in_order_sizes = false;  // segments come as single packets
      got += Text(p);
      nx_packet_release(p);
    }
    box_.Post("read " + std::to_string(got.size()));
  });
  ASSERT_TRUE(box_.WaitFor(2));
  writer_.join();
  EXPECT_EQ(box_.At(1), "read " + std::to_string(total));
  EXPECT_TRUE(got == data);
  EXPECT_TRUE(in_order_sizes);
  EXPECT_EQ(Available(), pool_.nx_packet_pool_total);
}

TEST_F(TcpTest, CallsOutOfTurnAreRefused) {
  Start([&] {
    CreateSocket(&server_, "server");
    CreateSocket(&client_, "client");
    CreateSocket(&other_, "other");
    ASSERT_EQ(nx_tcp_server_socket_listen(&ip_, 14001, &server_, 1, nullptr), NX_SUCCESS);
    worker_.Create("acceptor", 3, [&] {
      UINT st = nx_tcp_server_socket_accept(&server_, 500);
      box_.Post(std::to_string(st) + " at " + std::to_string(tx_time_get()));
    });
  });
  rtos::advance(500);
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), std::to_string(NX_NOT_CONNECTED) + " at 500");

  rtos::cpu_scope c;
  NX_PACKET* p = nullptr;
  struct Row {
    const char* what;
    UINT got;
    UINT want;
  } rows[] = {
      {"second listen on a port", nx_tcp_server_socket_listen(&ip_, 14001, &other_, 1, nullptr), NX_DUPLICATE_LISTEN},
      {"listen with a busy socket", nx_tcp_server_socket_listen(&ip_, 15002, &server_, 1, nullptr), NX_NOT_CLOSED},
      {"relisten on an unlistened port", nx_tcp_server_socket_relisten(&ip_, 80, &other_), NX_NOT_LISTENING},
      {"relisten while a socket waits", nx_tcp_server_socket_relisten(&ip_, 14001, &other_), NX_DUPLICATE_LISTEN},
      {"accept on a closed socket", nx_tcp_server_socket_accept(&other_, NX_NO_WAIT), NX_NOT_LISTENING},
      {"unaccept of a non-server", nx_tcp_server_socket_unaccept(&other_), NX_NOT_LISTENING},
      {"disconnect while listening", nx_tcp_socket_disconnect(&server_, 4), NX_NOT_CONNECTED},
      {"receive unconnected", nx_tcp_socket_receive(&other_, &p, NX_NO_WAIT), NX_NOT_CONNECTED},
      {"connect unbound", nx_tcp_client_socket_connect(&client_, kAddress, 14001, NX_NO_WAIT), NX_NOT_BOUND},
      {"bind", nx_tcp_client_socket_bind(&client_, 7000, NX_NO_WAIT), NX_SUCCESS},
      {"bind again", nx_tcp_client_socket_bind(&client_, 7001, NX_NO_WAIT), NX_ALREADY_BOUND},
      {"port taken", nx_tcp_client_socket_bind(&other_, 7000, NX_NO_WAIT), NX_PORT_UNAVAILABLE},
      {"port 0 in connect", nx_tcp_client_socket_connect(&client_, kAddress, 0, NX_NO_WAIT), NX_INVALID_PORT},
      {"unaccept a listener", nx_tcp_server_socket_unaccept(&server_), NX_SUCCESS},
      {"unlisten", nx_tcp_server_socket_unlisten(&ip_, 14001), NX_SUCCESS},
      {"unlisten again", nx_tcp_server_socket_unlisten(&ip_, 14001), NX_NOT_LISTENING},
      {"unbind", nx_tcp_client_socket_unbind(&client_), NX_SUCCESS},
      {"unbind again", nx_tcp_client_socket_unbind(&client_), NX_NOT_BOUND},
  };
  for (const Row& r : rows) EXPECT_EQ(r.got, r.want) << r.what;
  EXPECT_EQ(net_host_port(&ip_, net_proto::tcp, 14001), 0);
  NX_PACKET* q = Packet("x", NX_TCP_PACKET);
  EXPECT_EQ(nx_tcp_socket_send(&server_, q, NX_NO_WAIT), NX_NOT_CONNECTED);
  nx_packet_release(q);
}

}  // namespace
