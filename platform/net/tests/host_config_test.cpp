// The host configuration text and its checks: nothing may name an address
// outside 127.0.0.0/8.
#include "net_fixture.h"

namespace {

TEST(HostConfig, ReadsEverySetting) {
  net_host_config c;
  std::string error;
  ASSERT_TRUE(net_host_parse_config("# controller on loopback\n"
                                    "listen 127.0.0.2\n"
                                    "offset 20000   # SNMP at 20161\n"
                                    "ephemeral\n"
                                    "port 161 10161\n"
                                    "port 23 0\n"
                                    "peer 10.1.2.3:162 127.0.0.1:20162\n"
                                    "peer 192.168.5.5 127.0.0.3\n"
                                    "\n",
                                    &c, &error))
      << error;
  EXPECT_EQ(c.listen_address, IP_ADDRESS(127, 0, 0, 2));
  EXPECT_EQ(c.port_offset, 20000u);
  EXPECT_TRUE(c.ephemeral);
  ASSERT_EQ(c.ports.size(), 2u);
  EXPECT_EQ(c.ports[0].port, 161u);
  EXPECT_EQ(c.ports[0].host_port, 10161);
  EXPECT_EQ(c.ports[1].port, 23u);
  EXPECT_EQ(c.ports[1].host_port, 0);
  ASSERT_EQ(c.peers.size(), 2u);
  EXPECT_EQ(c.peers[0].address, IP_ADDRESS(10, 1, 2, 3));
  EXPECT_EQ(c.peers[0].port, 162u);
  EXPECT_EQ(c.peers[0].host_address, IP_ADDRESS(127, 0, 0, 1));
  EXPECT_EQ(c.peers[0].host_port, 20162);
  EXPECT_EQ(c.peers[1].address, IP_ADDRESS(192, 168, 5, 5));
  EXPECT_EQ(c.peers[1].port, 0u);
  EXPECT_EQ(c.peers[1].host_address, IP_ADDRESS(127, 0, 0, 3));
  EXPECT_EQ(c.peers[1].host_port, 0);
  EXPECT_TRUE(net_host_configure(c, &error)) << error;
  net_host_configure(net_host_config{});
}

TEST(HostConfig, RefusesBadLinesWithTheirNumber) {
  struct Row {
    const char* text;
    const char* error;
  } rows[] = {
      {"listen 10.0.0.1", "line 1: 10.0.0.1 is not a loopback address"},
      {"\nlisten 127.0.0", "line 2: bad address '127.0.0'"},
      {"peer 10.1.2.3:162 192.168.1.1:162", "line 1: 192.168.1.1:162 is not a loopback address"},
      {"peer 10.1.2.3 127.0.0.1:2000", "line 1: a host port needs a peer port"},
      {"peer 10.1.2.3:0 127.0.0.1", "line 1: bad peer '10.1.2.3:0'"},
      {"port 0 10161", "line 1: bad port '0'"},
      {"port 161 65536", "line 1: bad host port '65536'"},
      {"port 161", "line 1: unknown setting 'port 161'"},
      {"offset -5", "line 1: bad offset '-5'"},
      {"forward all", "line 1: unknown setting 'forward all'"},
  };
  for (const Row& r : rows) {
    net_host_config c;
    c.port_offset = 4242;
    std::string error;
    EXPECT_FALSE(net_host_parse_config(r.text, &c, &error)) << r.text;
    EXPECT_EQ(error, r.error) << r.text;
    EXPECT_EQ(c.port_offset, 4242u) << "a refused text leaves the configuration alone";
  }
}

TEST(HostConfig, ConfigureRefusesOutsideAddresses) {
  net_host_config c;
  c.listen_address = IP_ADDRESS(0, 0, 0, 0);
  std::string error;
  EXPECT_FALSE(net_host_configure(c, &error));
  EXPECT_EQ(error, "listen address 0.0.0.0 is not a loopback address");
  c = net_host_config{};
  net_peer_map m;
  m.address = IP_ADDRESS(10, 1, 2, 3);
  m.host_address = IP_ADDRESS(10, 1, 2, 3);
  c.peers.push_back(m);
  EXPECT_FALSE(net_host_configure(c, &error));
  EXPECT_EQ(error, "peer 10.1.2.3 maps to 10.1.2.3, not a loopback address");
  // The refused configuration did not replace the one in force.
  EXPECT_EQ(net_host_current_config().listen_address, IP_ADDRESS(127, 0, 0, 1));
  EXPECT_TRUE(net_host_current_config().peers.empty());
}

}  // namespace

namespace {

// A loopback port that another program holds, for UDP and TCP alike.
struct held_port {
  held_port() {
    udp = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(udp, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(udp, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    tcp = socket(AF_INET, SOCK_STREAM, 0);
    bind(tcp, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(tcp, 1);
  }
  ~held_port() {
    close(udp);
    close(tcp);
  }
  int udp = -1, tcp = -1;
  uint16_t port = 0;
};

TEST(HostConfig, PortsHeldByAnotherProgramAreFoundBeforeTheStart) {
  held_port other;
  net_host_config c;
  c.ports.push_back({161, other.port});
  c.ports.push_back({15002, 0});
  ASSERT_TRUE(net_host_configure(c));
  std::string busy;
  EXPECT_FALSE(net_host_ports_free({{net_proto::udp, 161}}, &busy));
  EXPECT_EQ(busy, "host port " + std::to_string(other.port) + " (UDP, the controller's port 161) is in use");
  EXPECT_FALSE(net_host_ports_free({{net_proto::tcp, 15002}, {net_proto::tcp, 161}}, &busy));
  EXPECT_EQ(busy, "host port " + std::to_string(other.port) + " (TCP, the controller's port 161) is in use");
  // Ephemeral ports are never busy.
  EXPECT_TRUE(net_host_ports_free({{net_proto::udp, 15002}, {net_proto::tcp, 15002}}, &busy));
  net_host_configure(net_host_config{});
}

// Ports held from the check are the stack's when it opens them: a second
// check (another controller) finds them busy in between.
class HeldPortsTest : public NetTest {};

TEST_F(HeldPortsTest, PortsHeldFromTheCheckGoToTheStack) {
  uint16_t free_port = 0;
  {
    held_port probe;
    free_port = probe.port;
  }
  net_host_config c;
  c.ephemeral = true;
  c.ports.push_back({161, free_port});
  ASSERT_TRUE(net_host_configure(c));
  const std::vector<net_listen_port> ports = {{net_proto::udp, 161}, {net_proto::tcp, 161}, {net_proto::udp, 3002}};
  std::string busy;
  ASSERT_TRUE(net_host_hold_ports(ports, &busy)) << busy;
  EXPECT_FALSE(net_host_ports_free(ports, &busy));
  EXPECT_EQ(busy, "host port " + std::to_string(free_port) + " (UDP, the controller's port 161) is in use");
  EXPECT_FALSE(net_host_hold_ports({{net_proto::tcp, 161}}, &busy));
  EXPECT_EQ(busy, "host port " + std::to_string(free_port) + " (TCP, the controller's port 161) is in use");

  NX_UDP_SOCKET udp{};
  NX_TCP_SOCKET tcp{};
  Start([&] {
    ASSERT_EQ(nx_udp_socket_create(&ip_, &udp, "udp", NX_IP_NORMAL, NX_FRAGMENT_OKAY, NX_IP_TIME_TO_LIVE, 4),
              NX_SUCCESS);
    ASSERT_EQ(nx_udp_socket_bind(&udp, 161, NX_NO_WAIT), NX_SUCCESS);
    ASSERT_EQ(nx_tcp_socket_create(&ip_, &tcp, "tcp", NX_IP_NORMAL, NX_FRAGMENT_OKAY, NX_IP_TIME_TO_LIVE, 1024,
                                   nullptr, nullptr),
              NX_SUCCESS);
    ASSERT_EQ(nx_tcp_server_socket_listen(&ip_, 161, &tcp, 2, nullptr), NX_SUCCESS);
  });
  EXPECT_EQ(HostPort(net_proto::udp, 161), free_port);
  EXPECT_EQ(HostPort(net_proto::tcp, 161), free_port);
  // The held socket carries traffic once the stack has it.
  const int host = HostUdp();
  HostSendTo(host, free_port, "get");
  for (int i = 0; i < 2000; ++i) {
    {
      rtos::cpu_scope cs;
      if (udp.nx_udp_socket_packets_received) break;
    }
    usleep(10000);
  }
  close(host);
  rtos::cpu_scope cs;
  EXPECT_EQ(udp.nx_udp_socket_packets_received, 1u);
}

TEST(HostConfig, PortsTheStackPicksForClientsTakeEphemeralHostPorts) {
  net_host_config c;
  c.port_offset = 10000;
  c.ports.push_back({50000, 40000});
  ASSERT_TRUE(net_host_configure(c));
  EXPECT_EQ(net_host_listen_port(161), 10161);
  EXPECT_EQ(net_host_listen_port(49151), 59151);
  // Two controllers' clients would otherwise meet on 59152 and up.
  EXPECT_EQ(net_host_listen_port(49152), 0);
  EXPECT_EQ(net_host_listen_port(55000), 0);
  EXPECT_EQ(net_host_listen_port(50000), 40000) << "a listed port keeps its mapping";
  net_host_configure(net_host_config{});
}

}  // namespace
