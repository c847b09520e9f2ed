// Telnet add-ons: the server's negotiation and command stripping, its
// logical connections (separate, queued when all are busy, ended by either
// side), and the client's connection to a host listener.
#include "net_fixture.h"
#include "nx_telnet.h"

namespace {

class TelnetTest;
TelnetTest* g_test = nullptr;

// Text with zero bytes in it.
template <size_t N>
std::string S(const char (&a)[N]) {
  return std::string(a, N - 1);
}

const std::string kOffer = "\xFF\xFB\x01\xFF\xFB\x03";  // WILL ECHO, WILL SGA

class TelnetTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    g_test = this;
  }
  void TearDown() override {
    for (int fd : fds_) close(fd);
    NetTest::TearDown();
    g_test = nullptr;
  }
  int Keep(int fd) {
    fds_.push_back(fd);
    return fd;
  }

  static void OnNew(NX_TELNET_SERVER* s, UINT c) {
    bool in_server = tx_thread_identify() == &s->nx_telnet_server_thread;
    g_test->box_.Post("new " + std::to_string(c) + (in_server ? "" : " elsewhere"));
  }
  static void OnData(NX_TELNET_SERVER*, UINT c, NX_PACKET* p) {
    g_test->box_.Post("data " + std::to_string(c) + " " + Text(p));
    nx_packet_release(p);
  }
  static void OnEnd(NX_TELNET_SERVER*, UINT c) { g_test->box_.Post("end " + std::to_string(c)); }

  void StartServer() {
    Start([this] {
      ASSERT_EQ(nx_telnet_server_create(&server_, "Server", &ip_, stack_.data(), stack_.size(), OnNew, OnData, OnEnd),
                NX_SUCCESS);
      EXPECT_EQ(nx_telnet_server_create(&server_, "Server", &ip_, stack_.data(), stack_.size(), OnNew, OnData, OnEnd),
                NX_ALREADY_CREATED);
      ASSERT_EQ(nx_telnet_server_start(&server_), NX_SUCCESS);
      EXPECT_EQ(nx_telnet_server_start(&server_), NX_ALREADY_ENABLED);
    });
    port_ = HostPort(net_proto::tcp, NX_TELNET_SERVER_PORT);
    ASSERT_NE(port_, 0);
  }
  // Connects and takes the server's offer.
  int Connect() {
    int fd = Keep(HostConnect(port_));
    EXPECT_EQ(HostRead(fd, kOffer.size()), kOffer);
    return fd;
  }
  UINT SendTo(UINT connection, const std::string& text) {
    rtos::cpu_scope s;
    NX_PACKET* p = Packet(text, NX_TCP_PACKET);
    UINT st = nx_telnet_server_packet_send(&server_, connection, p, NX_NO_WAIT);
    if (st != NX_SUCCESS) nx_packet_release(p);
    return st;
  }

  NX_TELNET_SERVER server_{};
  std::vector<uint8_t> stack_ = std::vector<uint8_t>(2048);
  uint16_t port_ = 0;
  std::vector<int> fds_;
};

TEST_F(TelnetTest, ServerHandsOnTheDataStreamOnly) {
  StartServer();
  int fd = Connect();
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), "new 0");
  // The client agrees to our offers, offers window sizes (refused once),
  // sends a sub-negotiation, an escaped 0xFF and a CR NUL pair.
  std::string in = S("\xFF\xFD\x01\xFF\xFD\x03"
                     "ab\r\0cd"
                     "\xFF\xFB\x1F\xFF\xFA\x1F\x00\x50\xFF\xF0"
                     "\xFF\xFF\r\n"
                     "\xFF\xFB\x1F\xFF\xFD\x18");
  ASSERT_TRUE(HostWrite(fd, in));
  // Refusals: DONT NAWS once; WONT TERMINAL-TYPE for the request.
  EXPECT_EQ(HostRead(fd, 6), "\xFF\xFE\x1F\xFF\xFC\x18");
  // The data may come in one piece or several.
  std::string got;
  for (size_t next = 1; got.size() < 8 && box_.WaitFor(next + 1); ++next) {
    std::string line = box_.At(next);
    ASSERT_EQ(line.rfind("data 0 ", 0), 0u) << line;
    got += line.substr(7);
  }
  EXPECT_EQ(got, "ab\rcd\xFF\r\n");
  // Output reaches the client as it is.
  EXPECT_EQ(SendTo(0, "VMS>"), NX_SUCCESS);
  EXPECT_EQ(HostRead(fd, 4), "VMS>");
  // The client leaves: the end routine runs.
  size_t before = box_.Size();
  close(fd);
  fds_.clear();
  ASSERT_TRUE(box_.WaitFor(before + 1));
  EXPECT_EQ(box_.At(before), "end 0");
  EXPECT_EQ(SendTo(0, "late"), NX_TELNET_INVALID_CONNECTION);
  EXPECT_EQ(server_.nx_telnet_server_open_connections, 0u);
}

TEST_F(TelnetTest, ConnectionsAreSeparateAndQueueWhenAllAreBusy) {
  StartServer();
  std::vector<int> fds;
  for (UINT i = 0; i < NX_TELNET_MAX_CLIENTS; ++i) {
    fds.push_back(Connect());
    ASSERT_TRUE(box_.WaitFor(i + 1));
    EXPECT_EQ(box_.At(i), "new " + std::to_string(i));
  }
  // Output to one connection reaches only that one.
  EXPECT_EQ(SendTo(2, "two"), NX_SUCCESS);
  EXPECT_EQ(SendTo(1, "one"), NX_SUCCESS);
  EXPECT_EQ(HostRead(fds[2], 3), "two");
  EXPECT_EQ(HostRead(fds[1], 3), "one");
  ASSERT_TRUE(HostWrite(fds[3], "x"));
  ASSERT_TRUE(box_.WaitFor(NX_TELNET_MAX_CLIENTS + 1));
  EXPECT_EQ(box_.At(NX_TELNET_MAX_CLIENTS), "data 3 x");

  // One more client waits in the queue until a connection ends.
  int extra = Keep(HostConnect(port_));
  ASSERT_GE(extra, 0);
  close(fds[1]);
  ASSERT_TRUE(box_.WaitFor(NX_TELNET_MAX_CLIENTS + 2));
  EXPECT_EQ(box_.At(NX_TELNET_MAX_CLIENTS + 1), "end 1");
  rtos::advance(2);  // the queued connection's listen callback comes a tick later
  EXPECT_EQ(HostRead(extra, kOffer.size()), kOffer);
  ASSERT_TRUE(box_.WaitFor(NX_TELNET_MAX_CLIENTS + 3));
  EXPECT_EQ(box_.At(NX_TELNET_MAX_CLIENTS + 2), "new 1");
}

TEST_F(TelnetTest, StopEndsEveryConnectionAndDeleteEndsTheServer) {
  StartServer();
  int fd = Connect();
  ASSERT_TRUE(box_.WaitFor(1));
  {
    rtos::cpu_scope s;
    EXPECT_EQ(nx_telnet_server_disconnect(&server_, 1), NX_TELNET_INVALID_CONNECTION);
    EXPECT_EQ(nx_telnet_server_stop(&server_), NX_SUCCESS);
    EXPECT_EQ(nx_telnet_server_stop(&server_), NX_NOT_ENABLED);
  }
  EXPECT_EQ(box_.At(1), "end 0");
  EXPECT_TRUE(HostSeesClose(fd));
  EXPECT_EQ(HostPort(net_proto::tcp, NX_TELNET_SERVER_PORT), 0);
  {
    rtos::cpu_scope s;
    EXPECT_EQ(nx_telnet_server_start(&server_), NX_SUCCESS);
  }
  port_ = HostPort(net_proto::tcp, NX_TELNET_SERVER_PORT);
  int again = Connect();
  ASSERT_TRUE(box_.WaitFor(3));
  EXPECT_EQ(box_.At(2), "new 0");
  {
    rtos::cpu_scope s;
    EXPECT_EQ(nx_telnet_server_disconnect(&server_, 0), NX_SUCCESS);
  }
  EXPECT_EQ(box_.At(3), "end 0");
  EXPECT_TRUE(HostSeesClose(again));
  {
    rtos::cpu_scope s;
    EXPECT_EQ(nx_telnet_server_delete(&server_), NX_SUCCESS);
    EXPECT_EQ(nx_telnet_server_delete(&server_), NX_NOT_CREATED);
    EXPECT_EQ(nx_telnet_server_start(&server_), NX_NOT_CREATED);
  }
}

TEST_F(TelnetTest, ClientTalksToAServer) {
  Start();
  uint16_t host_port = 0;
  int listener = Keep(HostListen(&host_port));
  NX_TELNET_CLIENT client{};
  {
    rtos::cpu_scope s;
    ASSERT_EQ(nx_telnet_client_create(&client, "Client", &ip_, 1000), NX_SUCCESS);
    EXPECT_EQ(nx_telnet_client_create(&client, "Client", &ip_, 1000), NX_ALREADY_CREATED);
    EXPECT_EQ(nx_telnet_client_disconnect(&client, NX_NO_WAIT), NX_NOT_CONNECTED);
  }
  // The client's thread; its waits end on host I/O while the clock stands.
  KThread worker;
  ASSERT_EQ(worker.Create("client", 3,
                          [&] {
                            box_.Post("connect " + std::to_string(nx_telnet_client_connect(
                                                       &client, IP_ADDRESS(127, 0, 0, 1), host_port, 6000)));
                            NX_PACKET* p = Packet("AT\r", NX_TCP_PACKET);
                            box_.Post("send " + std::to_string(nx_telnet_client_packet_send(&client, p, 6000)));
                            std::string reply;
                            while (reply.size() < 2 &&
                                   nx_telnet_client_packet_receive(&client, &p, NX_WAIT_FOREVER) == NX_SUCCESS) {
                              reply += Text(p);
                              nx_packet_release(p);
                            }
                            box_.Post("got " + reply);
                            box_.Post("disconnect " + std::to_string(nx_telnet_client_disconnect(&client, 100)));
                            box_.Post("delete " + std::to_string(nx_telnet_client_delete(&client)));
                            box_.Post("connect " + std::to_string(nx_telnet_client_connect(
                                                       &client, IP_ADDRESS(127, 0, 0, 1), host_port, 100)));
                          }),
            TX_SUCCESS);
  int peer = Keep(accept(listener, nullptr, nullptr));
  ASSERT_GE(peer, 0);
  HostTimeout(peer);
  EXPECT_EQ(HostRead(peer, 3), "AT\r");
  ASSERT_TRUE(HostWrite(peer, "OK"));
  ASSERT_TRUE(box_.WaitFor(6));
  EXPECT_EQ(box_.Items(), (std::vector<std::string>{"connect 0", "send 0", "got OK", "disconnect 0", "delete 0",
                                                    "connect " + std::to_string(NX_NOT_CREATED)}));
  EXPECT_TRUE(HostSeesClose(peer));
}

}  // namespace
