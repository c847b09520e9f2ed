// Host ends of the serial ports.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

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

}  // namespace
