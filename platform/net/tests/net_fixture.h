// A kernel on the manual clock with one packet pool and one IP instance on
// host sockets (every port ephemeral, so test processes run side by side),
// plus plain host sockets for the other end. Host I/O arrives in real time:
// tests wait for it on a condition with a generous bound, never on timing.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "net_host.h"
#include "nx_api.h"
#include "rtos_host.h"

constexpr ULONG kAddress = IP_ADDRESS(192, 168, 1, 10);
constexpr ULONG kMask = IP_ADDRESS(255, 255, 255, 0);
constexpr auto kBound = std::chrono::seconds(20);

// Lines kernel threads, callbacks and host threads report, in order.
class Mailbox {
 public:
  void Post(const std::string& s) {
    std::lock_guard<std::mutex> lk(m_);
    items_.push_back(s);
    cv_.notify_all();
  }
  // Waits (real time, bounded) until `n` lines have been posted.
  bool WaitFor(size_t n) {
    std::unique_lock<std::mutex> lk(m_);
    if (cv_.wait_for(lk, kBound, [&] { return items_.size() >= n; })) return true;
    std::string seen;
    for (const std::string& s : items_) seen += "  " + s + "\n";
    ADD_FAILURE() << "waited for " << n << " lines, got:\n" << seen;
    return false;
  }
  std::vector<std::string> Items() {
    std::lock_guard<std::mutex> lk(m_);
    return items_;
  }
  std::string At(size_t i) {
    std::lock_guard<std::mutex> lk(m_);
    return i < items_.size() ? items_[i] : std::string("<none>");
  }
  size_t Size() {
    std::lock_guard<std::mutex> lk(m_);
    return items_.size();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<std::string> items_;
};

// The stack's traces, captured.
class TraceLog {
 public:
  static void Print(const char* text) {
    std::lock_guard<std::mutex> lk(Mutex());
    Text() += text;
  }
  static bool Contains(const std::string& s) {
    std::lock_guard<std::mutex> lk(Mutex());
    return Text().find(s) != std::string::npos;
  }
  static void Clear() {
    std::lock_guard<std::mutex> lk(Mutex());
    Text().clear();
  }
  static std::string All() {
    std::lock_guard<std::mutex> lk(Mutex());
    return Text();
  }

 private:
  static std::mutex& Mutex() {
    static std::mutex m;
    return m;
  }
  static std::string& Text() {
    static std::string t;
    return t;
  }
};

// A kernel thread running a std::function.
struct KThread {
  TX_THREAD cb{};
  std::vector<uint8_t> stack = std::vector<uint8_t>(4096);
  std::function<void()> body;

  UINT Create(const char* name, UINT priority, std::function<void()> fn, UINT start = TX_AUTO_START) {
    body = std::move(fn);
    Registry().push_back(this);
    return tx_thread_create(&cb, name, &KThread::Trampoline, static_cast<ULONG>(Registry().size() - 1),
                            stack.data(), static_cast<ULONG>(stack.size()), priority, priority, 0, start);
  }

 private:
  static std::vector<KThread*>& Registry() {
    static std::vector<KThread*> r;
    return r;
  }
  static void Trampoline(ULONG index) { Registry()[index]->body(); }
};

// A driver like the Ethernet one as far as the stack sees it: initialise
// fills in the link fields, enable brings the link up.
struct DriverLog {
  static std::vector<std::pair<UINT, TX_THREAD*>>& Requests() {
    static std::vector<std::pair<UINT, TX_THREAD*>> r;
    return r;
  }
};

inline void TestDriver(NX_IP_DRIVER* req) {
  NX_IP* ip = req->nx_driver_ip;
  DriverLog::Requests().emplace_back(req->nx_driver_command, tx_thread_identify());
  req->nx_driver_status = NX_SUCCESS;
  switch (req->nx_driver_command) {
    case NX_DRIVER_INITIALIZE:
      ip->nx_ip_driver_mtu = 1518;
      ip->nx_ip_physical_msw = 0x0002;
      ip->nx_ip_physical_lsw = 0x03040506;
      ip->nx_ip_mapping_needed = 1;
      ip->nx_ip_link_up = 0;
      break;
    case NX_DRIVER_ENABLE:
      ip->nx_ip_link_up = 1;
      break;
    case NX_DRIVER_GET_STATUS:
      *req->nx_driver_return_ptr = ip->nx_ip_link_up;
      break;
    default:
      req->nx_driver_status = NX_UNHANDLED_COMMAND;
  }
}

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_host_config c;
    c.ephemeral = true;
    ASSERT_TRUE(net_host_configure(c));
    TraceLog::Clear();
    net_host_set_trace(&TraceLog::Print);
    DriverLog::Requests().clear();
  }

  void TearDown() override {
    net_host_shutdown();
    rtos::kernel_stop();
    net_host_set_trace(nullptr);
  }

  // Starts the kernel; the define hook creates the pool and the instance
  // with every service enabled, then runs `more`.
  void Start(std::function<void()> more = {}, VOID (*driver)(NX_IP_DRIVER*) = TestDriver) {
    rtos::kernel_config kc;
    kc.clock = rtos::clock_source::manual;
    kc.memory_size = 4u << 20;
    rtos::kernel_start(kc, [&](void*) {
      nx_system_initialize();
      create_status_ = nx_packet_pool_create(&pool_, "main pool", 1500, pool_memory_.data(),
                                             static_cast<ULONG>(pool_memory_.size()));
      if (create_status_ == NX_SUCCESS)
        create_status_ = nx_ip_create(&ip_, "main instance", kAddress, kMask, &pool_, driver,
                                      ip_stack_.data(), static_cast<ULONG>(ip_stack_.size()), 1);
      if (create_status_ == NX_SUCCESS) {
        nx_arp_enable(&ip_, arp_cache_.data(), static_cast<ULONG>(arp_cache_.size()));
        nx_icmp_enable(&ip_);
        nx_udp_enable(&ip_);
        nx_tcp_enable(&ip_);
      }
      if (more) more();
    });
    ASSERT_EQ(create_status_, NX_SUCCESS);
  }

  uint16_t HostPort(net_proto proto, UINT port) { return net_host_port(&ip_, proto, port); }

  // A packet of `pool_` with header room and `data`.
  NX_PACKET* Packet(const std::string& data, ULONG room = NX_UDP_PACKET) {
    NX_PACKET* p = nullptr;
    if (nx_packet_allocate(&pool_, &p, room, NX_NO_WAIT) != NX_SUCCESS) return nullptr;
    if (nx_packet_data_append(p, data.data(), static_cast<ULONG>(data.size()), &pool_, NX_NO_WAIT) != NX_SUCCESS) {
      nx_packet_release(p);
      return nullptr;
    }
    return p;
  }

  static std::string Text(NX_PACKET* p) {
    std::string s(p->nx_packet_length, '\0');
    ULONG n = 0;
    nx_packet_data_retrieve(p, s.data(), &n);
    s.resize(n);
    return s;
  }

  ULONG Available() {
    rtos::cpu_scope s;
    return pool_.nx_packet_pool_available;
  }

  UINT create_status_ = NX_NOT_SUCCESSFUL;
  NX_PACKET_POOL pool_{};
  std::vector<uint8_t> pool_memory_ = std::vector<uint8_t>(40000);
  NX_IP ip_{};
  std::vector<uint8_t> ip_stack_ = std::vector<uint8_t>(2048);
  std::vector<uint8_t> arp_cache_ = std::vector<uint8_t>(1024);
  Mailbox box_;
};

// ---------------------------------------------------------------- host end

inline std::string Endpoint(ULONG address, UINT port) {
  char text[32];
  snprintf(text, sizeof text, "%u.%u.%u.%u:%u", (unsigned)(address >> 24), (unsigned)(address >> 16) & 255u,
           (unsigned)(address >> 8) & 255u, (unsigned)address & 255u, port);
  return text;
}

inline void HostTimeout(int fd) {
  timeval tv{20, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

inline sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

inline uint16_t LocalPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A UDP socket on an ephemeral loopback port.
inline int HostUdp() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = Loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  HostTimeout(fd);
  return fd;
}

inline void HostSendTo(int fd, uint16_t port, const std::string& data) {
  sockaddr_in a = Loopback(port);
  sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

// One datagram, or "" when none came within the bound.
inline std::string HostRecv(int fd, uint16_t* from_port = nullptr) {
  std::vector<char> buf(65536);
  sockaddr_in from{};
  socklen_t len = sizeof from;
  ssize_t n = recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
  if (n < 0) return "";
  if (from_port) *from_port = ntohs(from.sin_port);
  return std::string(buf.data(), static_cast<size_t>(n));
}

inline int HostConnect(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  HostTimeout(fd);
  sockaddr_in a = Loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline int HostListen(uint16_t* port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(fd, 4);
  HostTimeout(fd);
  *port = LocalPort(fd);
  return fd;
}

inline bool HostWrite(int fd, const std::string& data) {
  return send(fd, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

// Reads until `n` bytes came, the peer closed, or the bound passed.
inline std::string HostRead(int fd, size_t n) {
  std::string out;
  char buf[4096];
  while (out.size() < n) {
    ssize_t got = recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
    if (got <= 0) break;
    out.append(buf, static_cast<size_t>(got));
  }
  return out;
}

// True when the peer closed the connection (end of stream within the bound).
inline bool HostSeesClose(int fd) {
  char c;
  return recv(fd, &c, 1, 0) == 0;
}

// An ephemeral loopback port that is free at the moment.
inline uint16_t FreePort(int type) {
  int fd = socket(AF_INET, type, 0);
  sockaddr_in a = Loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  uint16_t p = LocalPort(fd);
  close(fd);
  return p;
}
