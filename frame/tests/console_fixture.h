// The console on a fresh kernel (manual clock): a database for the password
// and the feature bits, the boot monitor with the "vms" command, the monitor
// task on a console driver that keeps its output, an IP instance on host
// sockets (ephemeral ports) for the telnet console, and plain host sockets
// for the telnet users.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board_host.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/post_office.h"
#include "frame/bus/subscriber.h"
#include "frame/monitor/monitor_task.h"
#include "frame/monitor_link/micromonitor.h"
#include "frame/os/os.h"
#include "frame/serial/serial_driver.h"
#include "monitor_host.h"
#include "net_host.h"
#include "nx_api.h"
#include "rtos_host.h"

// A console driver that keeps what it is given and reads typed input.
class KeptConsole : public CSerialDriver {
 public:
  uint32_t PutTxByte(uint8_t b) override {
    out += static_cast<char>(b);
    return 1;
  }
  uint32_t ReadByte(uint32_t* v) override {
    if (input.empty()) return 0;
    *v = static_cast<uint8_t>(input[0]);
    input.erase(0, 1);
    return 1;
  }
  uint32_t Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 1; }
  uint32_t SetBaudRate(uint32_t) override { return 1; }
  std::string out;
  std::string input;
};

inline void ConsoleTestDriver(NX_IP_DRIVER* req) {
  NX_IP* ip = req->nx_driver_ip;
  req->nx_driver_status = NX_SUCCESS;
  if (req->nx_driver_command == NX_DRIVER_INITIALIZE) {
    ip->nx_ip_driver_mtu = 1500;
    ip->nx_ip_link_up = 1;
  } else if (req->nx_driver_command != NX_DRIVER_ENABLE) {
    req->nx_driver_status = NX_UNHANDLED_COMMAND;
  }
}

class ConsoleTest : public ::testing::Test {
 protected:
  static constexpr const char* kPassword = "administrator";

  void SetUp() override {
    net_host_config nc;
    nc.ephemeral = true;
    ASSERT_TRUE(net_host_configure(nc));
    net_host_set_trace([](const char*) {});
    board::board_config bc;
    bc.serial[1].kind = board::serial_kind::pipe;
    board::reset(bc);
    monitor::reset();
    rtos::kernel_config kc;
    kc.clock = rtos::clock_source::manual;
    kc.memory_size = 8u << 20;
    rtos::kernel_start(kc, [this](void* memory) {
      uint8_t* m = static_cast<uint8_t*>(memory);
      ASSERT_EQ(os_byte_pool_create(&stacks_, "thread stacks", m, 1u << 20), OS_SUCCESS);
      ASSERT_EQ(os_byte_pool_create(&strings_, "dynamic database", m + (1u << 20), 1u << 20), OS_SUCCESS);
      ASSERT_EQ(nx_packet_pool_create(&packets_, "NetX", 1500, m + (2u << 20), 30000), NX_SUCCESS);
      ASSERT_EQ(nx_ip_create(&ip_, "main", IP_ADDRESS(192, 168, 1, 20), IP_ADDRESS(255, 255, 255, 0), &packets_,
                             ConsoleTestDriver, m + (3u << 20), 4096, 1),
                NX_SUCCESS);
      nx_tcp_enable(&ip_);
    });
    mon_addcommand(g_vms_commands);
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&strings_);
    monitor_ = std::make_unique<CMonitorTask>(&g_post_office);
    monitor_->SetConsoleDriver(&console_);
    monitor_->SetNetwork(&ip_, &packets_);
    monitor_->TelnetServer().SetBytePool(&stacks_);
    rtos::run_in_thread([&] {
      monitor_->Initialize();
      db_->SetString(nv::communityNameAdmin.offset, 4, kPassword, 13, db_->mib_nv, 0);
    });
    console_.out.clear();
  }

  void TearDown() override {
    for (int fd : fds_) close(fd);
    monitor_.reset();
    db_.reset();
    net_host_shutdown();
    board::shutdown();
    rtos::kernel_stop();
    monitor::shutdown();
    net_host_set_trace(nullptr);
  }

  void SetFeature(uint32_t bits) {
    rtos::run_in_thread([&] { db_->SetValue(nv::quorFeatureSet.offset, 4, bits, db_->mib_nv, 0); });
  }
  // Starts the telnet console as the communication task's start letter does.
  uint16_t StartTelnet() {
    SetFeature(CMonitorTask::FEATURE_TELNET);
    monitor_->Subscribe();
    g_post_office.Publish(MSG_COMM_STARTED);
    rtos::run_in_thread([&] { monitor_->ProcessLetters(); });
    return net_host_port(&ip_, net_proto::tcp, 23);
  }

  // ---- telnet users on host sockets
  int Connect(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(fd);
      ADD_FAILURE() << "cannot connect to " << port;
      return -1;
    }
    fds_.push_back(fd);
    return fd;
  }
  void Write(int fd, const std::string& text) {
    ASSERT_EQ(send(fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
  }
  // Reads until `want` has come (the text read is returned), letting the
  // kernel's clock run while nothing arrives; gives up after a generous
  // bound.
  std::string ReadUntil(int fd, const std::string& want) {
    std::string got;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (got.find(want) == std::string::npos && std::chrono::steady_clock::now() < end) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 2) > 0) {
        char buf[512];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
      } else {
        rtos::advance(1);
      }
    }
    EXPECT_NE(got.find(want), std::string::npos) << "waited for [" << want << "], got [" << got << "]";
    return got;
  }
  // True once the peer has closed (bounded).
  bool SeesClose(int fd) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 2) > 0) {
        char c;
        if (recv(fd, &c, 1, 0) <= 0) return true;
      } else {
        rtos::advance(1);
      }
    }
    return false;
  }
  // Runs fn on a kernel thread and waits (real time, bounded) until it has
  // ended, with the kernel's clock standing still: for calls whose waits
  // end on host I/O (run_in_thread would run their time out at once).
  void RunHeld(const std::function<void()>& fn) {
    static const std::function<void()>* body = nullptr;
    static std::atomic<bool> done{false};
    body = &fn;
    done = false;
    TX_THREAD thread{};
    std::vector<uint8_t> stack(4096);
    {
      rtos::cpu_scope s;
      ASSERT_EQ(tx_thread_create(
                    &thread, "held",
                    [](ULONG) {
                      (*body)();
                      done = true;
                    },
                    0, stack.data(), static_cast<ULONG>(stack.size()), 10, 10, 0, TX_AUTO_START),
                TX_SUCCESS);
    }
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < end) {
      pollfd p{-1, 0, 0};
      poll(&p, 0, 2);
    }
    EXPECT_TRUE(done.load()) << "the kernel thread did not end";
    rtos::cpu_scope s;
    tx_thread_terminate(&thread);
    tx_thread_delete(&thread);
  }

  // Lets the system settle until `done` holds (bounded).
  template <class F>
  bool Until(F done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < end) {
      pollfd p{-1, 0, 0};
      poll(&p, 0, 2);
      rtos::advance(1);
    }
    return done();
  }

  TX_BYTE_POOL stacks_{};
  TX_BYTE_POOL strings_{};
  NX_PACKET_POOL packets_{};
  NX_IP ip_{};
  std::unique_ptr<CDataBase> db_;
  std::unique_ptr<CMonitorTask> monitor_;
  KeptConsole console_;
  std::vector<int> fds_;
};
