// Host ends of the serial ports.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "board_host.h"
#include "board_io.h"

namespace {

TEST(SerialEnd, ParsesTheHostConfiguration) {
  const struct {
    const char* text;
    bool ok;
    board::serial_kind kind;
    uint16_t port;
    const char* link;
  } rows[] = {
      {"none", true, board::serial_kind::none, 0, ""},
      {"pipe", true, board::serial_kind::pipe, 0, ""},
      {"stdio", true, board::serial_kind::stdio, 0, ""},
      {"pty", true, board::serial_kind::pty, 0, ""},
      {"pty:var/ttyS2", true, board::serial_kind::pty, 0, "var/ttyS2"},
      {"tcp", true, board::serial_kind::tcp, 0, ""},
      {"tcp:10002", true, board::serial_kind::tcp, 10002, ""},
      {"tcp:", false, board::serial_kind::pipe, 0, ""},
      {"tcp:70000", false, board::serial_kind::pipe, 0, ""},
      {"tcp:12x", false, board::serial_kind::pipe, 0, ""},
      {"serial", false, board::serial_kind::pipe, 0, ""},
  };
  for (const auto& r : rows) {
    board::serial_end e;
    EXPECT_EQ(board::parse_serial_end(r.text, &e), r.ok) << r.text;
    if (!r.ok) continue;
    EXPECT_EQ(e.kind, r.kind) << r.text;
    EXPECT_EQ(e.tcp_port, r.port) << r.text;
    EXPECT_EQ(e.pty_link, r.link) << r.text;
  }
}

TEST(SerialEnd, PipeCarriesBytesBothWays) {
  board::reset();
  board::serial_line& line = board::serial(2);
  reg_write8(0xF0500002, 0x07);
  for (char c : std::string("out")) reg_write8(0xF0500000, static_cast<uint8_t>(c));
  EXPECT_EQ(line.received(), "");
  EXPECT_EQ(line.transmit(), 3u);
  EXPECT_EQ(line.take_received(), "out");
  line.send("in");
  EXPECT_EQ(reg_read8(0xF0500000), 'i');
  EXPECT_EQ(reg_read8(0xF0500000), 'n');
  line.set_loopback(true);
  reg_write8(0xF0500000, 'L');
  line.transmit_all();
  EXPECT_EQ(reg_read8(0xF0500000), 'L');
  board::shutdown();
}

// A kept-up line takes a full FIFO at once and the rest when served: no
// byte is lost to a full transmitter, and the order holds.
TEST(SerialEnd, KeptUpPipeTakesFullFifosAtOnceAndTheRestWhenServed) {
  board::reset();
  board::serial_line& line = board::serial(2);
  line.keep_up();
  reg_write8(0xF0500002, 0x07);  // FIFOs on
  std::string sent;
  for (int i = 0; i < 40; ++i) {
    const char c = static_cast<char>('A' + i % 26);
    reg_write8(0xF0500000, static_cast<uint8_t>(c));
    sent += c;
  }
  EXPECT_EQ(board::uart(2).tx_overruns(), 0u);
  EXPECT_EQ(line.received(), sent.substr(0, 32));
  EXPECT_EQ(board::uart(2).tx_level(), 8u);
  EXPECT_EQ(line.transmit_all(), 0u);  // the drain is the line's own
  EXPECT_EQ(line.take_received(), sent);
  EXPECT_EQ(board::uart(2).tx_level(), 0u);
  board::shutdown();
}

TEST(SerialEnd, UnattachedPortShowsNoCarrierAndLosesItsBytes) {
  board::board_config c;
  c.serial[1].kind = board::serial_kind::none;
  board::reset(c);
  EXPECT_EQ(reg_read8(0xEF600406) & 0xB0, 0);
  reg_write8(0xEF600402, 0x07);
  reg_write8(0xEF600400, 'x');
  EXPECT_EQ(board::uart(1).tx_level(), 0u);
  board::shutdown();
}

TEST(SerialEnd, PtyDeliversTransmittedBytesToTheTerminal) {
  int probe = posix_openpt(O_RDWR | O_NOCTTY);
  if (probe < 0) GTEST_SKIP() << "this host has no pseudo-terminals";
  close(probe);
  board::board_config c;
  c.serial[4].kind = board::serial_kind::pty;
  board::reset(c);
  std::string path = board::serial(4).pty_path();
  ASSERT_FALSE(path.empty());
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  uint32_t ch = 0xF0500010;
  reg_write8(ch + 2, 0x07);
  for (char c : std::string("hello")) reg_write8(ch, static_cast<uint8_t>(c));
  std::string got;
  while (got.size() < 5) {
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1) << "nothing arrived";
    char buf[16];
    ssize_t n = read(fd, buf, sizeof buf);
    ASSERT_GT(n, 0);
    got.append(buf, n);
  }
  EXPECT_EQ(got, "hello");
  close(fd);
  board::shutdown();
}

// The console on the program's terminal: its characters are taken as they
// are written, leave in order, and text without a newline (a prompt) still
// leaves; a terminal that reads slowly holds the transmitter back instead
// of losing text.
TEST(SerialEnd, ConsoleTextReachesTheTerminalWholeAndInOrder) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  fcntl(out[1], F_SETPIPE_SZ, 4096);  // a terminal that holds little
  fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  ASSERT_GE(saved, 0);
  ASSERT_EQ(dup2(out[1], STDOUT_FILENO), STDOUT_FILENO);
  close(out[1]);
  board::board_config c;
  c.serial[1].kind = board::serial_kind::stdio;
  board::reset(c);
  constexpr uint32_t kThr = 0xEF600400, kLsr = 0xEF600405;
  // Written as the boot monitor writes: a character, then a wait for the
  // transmitter to empty (bounded: a stuck transmitter fails the test).
  auto type = [&](const std::string& text) {
    for (char ch : text) {
      for (int i = 0; i < 5000000 && !(reg_read8(kLsr) & 0x20); ++i) {
      }
      reg_write8(kThr, static_cast<uint8_t>(ch));
    }
  };
  auto read_until = [&](size_t size) {
    std::string got;
    while (got.size() < size) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, 10000) != 1) break;
      char buf[4096];
      const ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  };
  type("login ok\nPassword:");
  const std::string first = read_until(18);
  // Far more than the terminal end holds, while nobody reads.
  std::string many;
  for (int i = 0; many.size() < 20000; ++i) many += "line " + std::to_string(i) + "\n";
  std::thread writer([&] { type(many + "VMS>"); });
  const std::string rest = read_until(many.size() + 4);
  writer.join();
  EXPECT_EQ(board::uart(1).tx_overruns(), 0u);
  board::shutdown();
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(out[0]);
  EXPECT_EQ(first, "login ok\nPassword:");
  EXPECT_EQ(rest, many + "VMS>");
}

}  // namespace
