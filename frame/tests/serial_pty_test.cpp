// Serial ports attached to the host: a pseudo-terminal and a TCP client at
// the far end, interrupts delivered from the host end's own thread.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "frame/serial/q5_quad_serial_driver.h"
#include "frame/tests/board_fixture.h"

namespace {

// Interrupt-side callbacks signal the test thread, which waits for them.
struct Signal {
  std::mutex m;
  std::condition_variable cv;
  int rx = 0;
  uint32_t last_modem = 0xFF;
  int modem = 0;
  bool wait(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lk(m);
    return cv.wait_for(lk, std::chrono::seconds(20), done);
  }
};

void on_rx(void* context, uint32_t) {
  auto* s = static_cast<Signal*>(context);
  std::lock_guard<std::mutex> lk(s->m);
  ++s->rx;
  s->cv.notify_all();
}

void on_modem(void* context, uint32_t event) {
  auto* s = static_cast<Signal*>(context);
  std::lock_guard<std::mutex> lk(s->m);
  s->last_modem = event;
  ++s->modem;
  s->cv.notify_all();
}

// Reads until n bytes came or nothing more arrives in time.
std::string read_n(int fd, size_t n) {
  std::string got;
  while (got.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20000) != 1) break;
    char buf[256];
    ssize_t r = read(fd, buf, sizeof buf);
    if (r <= 0) break;
    got.append(buf, r);
  }
  return got;
}

class HostEndTest : public BoardTest {
 protected:
  void SetUp() override {
    board::board_config c;
    c.serial[3].kind = board::serial_kind::pty;
    c.serial[5].kind = board::serial_kind::tcp;
    StartBoard(c);
    drv = std::make_unique<CQ5QuadSerialDriver>();
  }
  void TearDown() override {
    // The host ends stop first so no interrupt reaches a dying driver.
    board::shutdown();
    drv.reset();
    BoardTest::TearDown();
  }
  // System calls hold the processor, as a task would.
  uint32_t Open(uint32_t port) {
    rtos::cpu_scope scope;
    drv->SetRxCallback(on_rx, &signal, 0);
    drv->SetModemCallback(&signal, on_modem);
    return drv->Open(port, 9600, 8, SERIAL_OPT_INTERRUPTS | SERIAL_OPT_RTS_HIGH, 0, 2000);
  }
  void Write(const std::string& s) {
    rtos::cpu_scope scope;
    ASSERT_EQ(drv->WriteString(s.c_str()), 1u);
  }
  std::string Read() {
    rtos::cpu_scope scope;
    std::string s;
    uint32_t b;
    while (drv->ReadByte(&b)) s += static_cast<char>(b);
    return s;
  }

  std::unique_ptr<CQ5QuadSerialDriver> drv;
  Signal signal;
};

TEST_F(HostEndTest, PtyCarriesTheDriversBytesBothWays) {
  int probe = posix_openpt(O_RDWR | O_NOCTTY);
  if (probe < 0) GTEST_SKIP() << "this host has no pseudo-terminals";
  close(probe);
  ASSERT_EQ(Open(3), 1u);
  int fd = open(board::serial(3).pty_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  std::string text(600, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  Write(text);
  EXPECT_EQ(read_n(fd, text.size()), text);

  ASSERT_EQ(write(fd, "typed", 5), 5);
  ASSERT_TRUE(signal.wait([&] { return signal.rx >= 5; }));
  EXPECT_EQ(Read(), "typed");
  close(fd);
}

TEST_F(HostEndTest, TcpClientIsTheFarEnd) {
  ASSERT_EQ(Open(5), 1u);
  uint32_t b;
  EXPECT_EQ(drv->GetDCD(), 0u) << "no client yet";
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(board::serial(5).tcp_port());
  ASSERT_EQ(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_TRUE(signal.wait([&] { return signal.last_modem == MODEM_EVENT_CONNECT; })) << "carrier on connect";

  ASSERT_EQ(send(s, "ping", 4, 0), 4);
  ASSERT_TRUE(signal.wait([&] { return signal.rx >= 4; }));
  EXPECT_EQ(Read(), "ping");
  Write("pong");
  EXPECT_EQ(read_n(s, 4), "pong");

  close(s);
  ASSERT_TRUE(signal.wait([&] { return signal.last_modem == MODEM_EVENT_DISCONNECT; })) << "carrier drops";
  {
    rtos::cpu_scope scope;
    EXPECT_EQ(drv->ReadByte(&b), 0u);
  }
}

}  // namespace
