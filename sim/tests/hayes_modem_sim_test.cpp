// The simulated Hayes modem on its own: result codes, auto-answer and the
// caller's number, escape and hang-up, and the loopback TCP peer that
// places calls to it and takes the calls it dials.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "sim/modem/hayes_modem.h"

namespace {

using sim::hayes_modem;

int Connect(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  EXPECT_EQ(0, ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
  timeval t{0, 20000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
  return fd;
}

// Serves the modem until `done` holds (bounded).
template <class F>
bool ServeUntil(hayes_modem& m, F done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    m.serve_tcp();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

std::string Read(int fd) {
  char buffer[256];
  const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

TEST(HayesModemSim, CommandsAnswerInTheChosenResultForm) {
  const struct {
    const char* typed;
    const char* answer;
  } rows[] = {
      {"AT\r", "AT\r\r\nOK\r\n"},                    // echo and words at first
      {"ATE0\r", "ATE0\r\r\nOK\r\n"},                // echo stops after this line
      {"ATV0\r", "0\r"},                             // numeric results
      {"ATS0=2+VCID=1\r", "0\r"},
      {"ATS0?\r", "\r\n2\r\n0\r"},
      {"ATA\r", "3\r"},                              // nothing to answer: NO CARRIER
      {"ATO\r", "3\r"},                              // no call to return to
      {"ATY\r", "4\r"},                              // ERROR
      {"noise\r", ""},                               // not a command
  };
  hayes_modem m;
  for (const auto& r : rows) {
    m.receive(std::string(r.typed));
    EXPECT_EQ(r.answer, m.take_output()) << r.typed;
  }
  EXPECT_EQ(2, m.auto_answer_rings());
  EXPECT_TRUE(m.caller_id_on());
}

TEST(HayesModemSim, AnswersOnTheS0thRingEscapesAndHangsUp) {
  hayes_modem m;
  m.receive(std::string("ATE0V0S0=2+VCID=1\r"));
  m.take_output();
  EXPECT_FALSE(m.ring()) << "no call";
  m.incoming_call("5551234");
  EXPECT_TRUE(m.ring());
  EXPECT_EQ("2\r\r\nDATE = 1211\r\nTIME = 0242\r\nNMBR = 5551234\r\nNAME = O\r\n", m.take_output());
  EXPECT_FALSE(m.online());
  m.ring();
  EXPECT_EQ("2\r1\r", m.take_output());
  EXPECT_TRUE(m.data_mode());
  // Data both ways; "+" alone is data.
  m.receive(std::string("a+b"));
  EXPECT_EQ("a+b", m.peer_take());
  m.peer_send("xyz");
  EXPECT_EQ("xyz", m.take_output());
  m.receive(std::string("+++"));
  EXPECT_EQ("0\r", m.take_output());
  EXPECT_TRUE(m.online());
  EXPECT_FALSE(m.data_mode());
  m.receive(std::string("ATH0\r"));
  EXPECT_EQ("0\r", m.take_output());
  EXPECT_FALSE(m.online());
  EXPECT_EQ(1u, m.hang_ups());
}

TEST(HayesModemSim, ALoopbackClientIsACallAndADialReachesALoopbackPort) {
  hayes_modem m;
  const uint16_t port = m.listen_tcp(0);
  ASSERT_NE(0, port);
  m.receive(std::string("ATE0V0S0=1\r"));
  m.take_output();
  const int caller = Connect(port);
  ASSERT_TRUE(ServeUntil(m, [&] { return m.online(); }));
  EXPECT_EQ("2\r1\r", m.take_output());
  ::send(caller, "ppp", 3, 0);
  std::string got;
  ASSERT_TRUE(ServeUntil(m, [&] { return (got += m.take_output()) == "ppp"; }));
  m.receive(std::string("back"));
  std::string back;
  ASSERT_TRUE(ServeUntil(m, [&] { return (back += Read(caller)) == "back"; }));
  ::close(caller);
  ASSERT_TRUE(ServeUntil(m, [&] { return !m.online(); }));
  EXPECT_EQ("3\r", m.take_output());

  // Dialling a number that is a listening loopback port.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(0, ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a));
  ASSERT_EQ(0, ::listen(listener, 1));
  ASSERT_EQ(0, ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len));
  const std::string number = std::to_string(ntohs(a.sin_port));
  m.receive("ATDTW" + number + "\r");
  EXPECT_EQ("1\r", m.take_output());
  EXPECT_EQ(number, m.dialled().back());
  const int central = ::accept(listener, nullptr, nullptr);
  ASSERT_GE(central, 0);
  m.receive(std::string("trap"));
  timeval t{0, 20000};
  ::setsockopt(central, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
  std::string trap;
  ASSERT_TRUE(ServeUntil(m, [&] { return (trap += Read(central)) == "trap"; }));
  m.receive(std::string("+++ATH0\r"));
  EXPECT_FALSE(m.online());
  ::close(central);
  ::close(listener);

  // A number where nobody listens: NO CARRIER.
  m.take_output();
  m.receive("ATDT" + number + "\r");
  EXPECT_EQ("3\r", m.take_output());
}

}  // namespace
