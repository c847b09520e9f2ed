// Fixtures of the communication tests: a kernel on the manual clock with the
// parameter database, the "thread stacks" pool of the links, and, for the
// servers, the main packet pool and IP instance on host sockets (every port
// ephemeral, so test processes run side by side), with plain host sockets
// for the managers at the other end. Host I/O arrives in real time: tests
// wait for it with a generous bound, never on timing.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comm/ethernet/ethernet_link.h"
#include "comm/ethernet/host_driver.h"
#include "comm/network.h"
#include "comm/servers/tcp_server.h"
#include "comm/servers/udp_server.h"
#include "database/database.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "net_host.h"
#include "nx_api.h"
#include "rtos_host.h"

namespace ct {

// What a link delivered, for tests that look at the assembly alone.
struct delivery {
  std::string bytes;
  ethernet_peer from;
};

class Deliveries {
 public:
  void Add(delivery d) {
    std::lock_guard<std::mutex> lk(m_);
    items_.push_back(std::move(d));
    cv_.notify_all();
  }
  std::vector<delivery> Items() {
    std::lock_guard<std::mutex> lk(m_);
    return items_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lk(m_);
    items_.clear();
  }
  bool WaitFor(size_t n) {
    std::unique_lock<std::mutex> lk(m_);
    return cv_.wait_for(lk, std::chrono::seconds(20), [&] { return items_.size() >= n; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<delivery> items_;
};

inline Deliveries& deliveries() {
  static Deliveries d;
  return d;
}

// Records each message; answers "re:" and the message through the link, as
// the agent would.
inline void echo_deliver(ethernet_link* link, const uint8_t* message, uint32_t length) {
  std::string m(reinterpret_cast<const char*>(message), length);
  deliveries().Add({m, link->reply_to});
  std::string answer = "re:" + m;
  ethernet_send(link, reinterpret_cast<const uint8_t*>(answer.data()), static_cast<uint32_t>(answer.size()));
}

// A BER SEQUENCE of the given content.
inline std::string Sequence(const std::string& content) {
  std::string h = "\x30";
  size_t n = content.size();
  if (n < 128) {
    h += static_cast<char>(n);
  } else if (n < 256) {
    h += "\x81";
    h += static_cast<char>(n);
  } else {
    h += "\x82";
    h += static_cast<char>(n >> 8);
    h += static_cast<char>(n & 0xFF);
  }
  return h + content;
}

// ---------------------------------------------------------------- kernel

class CommTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kStackPool = 196608;

  void SetUp() override {
    deliveries().Clear();
    rtos::kernel_config c;
    c.memory_size = 8u << 20;
    rtos::kernel_start(c, [this](void* mem) {
      uint8_t* m = static_cast<uint8_t*>(mem);
      ASSERT_EQ(os_byte_pool_create(&strings_, "dynamic database", m, 2u << 20), OS_SUCCESS);
      ASSERT_EQ(os_byte_pool_create(&stacks_, "thread stacks", m + (2u << 20), kStackPool), OS_SUCCESS);
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
      comm_set_thread_stack_pool(&stacks_);
      network_memory_areas();
      if (WithNetwork()) StartNetwork(m + (3u << 20));
    });
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&strings_);
    db_->SetNotifyEnabled(true);
  }

  void TearDown() override {
    // Every kernel thread waits before the stack's state goes: a thread that
    // entered a wait after the shutdown would find it freed.
    rtos::settle();
    net_host_shutdown();
    for (int fd : fds_) close(fd);
    for (ethernet_link* l : links_) ethernet_destroy(l);
    db_.reset();
    rtos::kernel_stop();
    comm_set_thread_stack_pool(nullptr);
    ethernet_host_driver_reset();
  }

  virtual bool WithNetwork() const { return false; }

  // The main instance, as the network start-up makes it, and the servers'
  // workers; runs in the kernel's start.
  void StartNetwork(uint8_t* memory) {
    net_host_config config;
    config.ephemeral = true;
    ASSERT_TRUE(net_host_configure(config));
    ASSERT_EQ(NX_SUCCESS, nx_ip_create(&g_netx_ip, "NetX IP Instance 0", IP_ADDRESS(192, 168, 1, 20),
                                       IP_ADDRESS(255, 255, 255, 0), &g_netx_pool, ethernet_host_driver, memory,
                                       2048, 1));
    uint8_t* cursor = memory + 2048;
    nx_arp_enable(&g_netx_ip, cursor, 1024);
    cursor += 1024;
    nx_udp_enable(&g_netx_ip);
    nx_tcp_enable(&g_netx_ip);
    tcp_thread_initialize(&g_netx_ip, &cursor, &g_netx_pool);
    udp_thread_initialize(&g_netx_ip, &cursor, &g_netx_pool);
  }

  // A link whose agent has the name; its messages go to `deliver`.
  ethernet_link* Link(const char* name, ethernet_deliver deliver = echo_deliver,
                      ethernet_frame_send send = null_frame_send) {
    auto agent = std::make_unique<snmp_agent>();
    std::strncpy(agent->name, name, sizeof agent->name - 1);
    auto link = std::make_unique<ethernet_link>();
    {
      rtos::cpu_scope s;
      EXPECT_EQ(0, ethernet_create(link.get(), "SNMP OVER ethernet", nullptr, agent.get(), ETHERNET_PRIORITY,
                                   &stacks_, null_byte_output, send));
      link->deliver = deliver;
    }
    ethernet_link* l = link.get();
    links_.push_back(l);
    agents_.push_back(std::move(agent));
    owned_.push_back(std::move(link));
    return l;
  }

  uint16_t HostPort(net_proto proto, UINT port) { return net_host_port(&g_netx_ip, proto, port); }

  TX_BYTE_POOL strings_{};
  TX_BYTE_POOL stacks_{};
  std::unique_ptr<CDataBase> db_;
  std::vector<ethernet_link*> links_;
  std::vector<std::unique_ptr<snmp_agent>> agents_;
  std::vector<std::unique_ptr<ethernet_link>> owned_;
  std::vector<int> fds_;
};

// ---------------------------------------------------------------- host end

inline sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

inline void Bounded(int fd) {
  timeval tv{20, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

inline int HostUdp() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = Loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  Bounded(fd);
  return fd;
}

inline uint16_t LocalPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

inline void SendTo(int fd, uint16_t port, const std::string& data) {
  sockaddr_in a = Loopback(port);
  sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

// One datagram, or "" when none came within the bound.
inline std::string Recv(int fd) {
  std::vector<char> buf(65536);
  ssize_t n = recv(fd, buf.data(), buf.size(), 0);
  return n < 0 ? std::string() : std::string(buf.data(), static_cast<size_t>(n));
}

inline int Connect(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  Bounded(fd);
  sockaddr_in a = Loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline bool Write(int fd, const std::string& data) {
  return send(fd, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

// Reads until n bytes came, the peer closed, or the bound passed.
inline std::string Read(int fd, size_t n) {
  std::string out;
  char buf[4096];
  while (out.size() < n) {
    ssize_t got = recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
    if (got <= 0) break;
    out.append(buf, static_cast<size_t>(got));
  }
  return out;
}

}  // namespace ct
