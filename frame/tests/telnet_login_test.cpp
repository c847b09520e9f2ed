// The telnet console: the server starts with the communication task's
// letter and the feature bit, each connection gives the password on its
// own, the logged-in user gets the trace output and the prompt, and other
// connections neither see that output nor disturb that login.
#include "console_fixture.h"
#include "frame/trace/trace.h"

namespace {

const std::string kOffer = "\xFF\xFB\x01\xFF\xFB\x03";
const std::string kPasswordPrompt = "\r\nPassword: ";
const std::string kSuccess = "\r\nSUCCESS\r\nVMS>";
const std::string kFailure = "\r\nFAILURE\r\nPassword: ";

class TelnetLoginTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    port_ = StartTelnet();
    ASSERT_NE(port_, 0);
  }
  // A new user at the password prompt.
  int User() {
    int fd = Connect(port_);
    std::string got = ReadUntil(fd, kPasswordPrompt);
    EXPECT_EQ(got, kOffer + kPasswordPrompt);
    return fd;
  }
  int LoggedIn() {
    int fd = User();
    Write(fd, std::string(kPassword) + "\r\n");
    ReadUntil(fd, kSuccess);
    return fd;
  }
  // Prints from a kernel thread, as any task does.
  void Trace(const std::string& text) {
    rtos::run_in_thread([&] { monitor_printf("%s", text.c_str()); });
  }
  uint16_t port_ = 0;
};

TEST_F(TelnetLoginTest, ServerNeedsTheLetterAndTheFeatureBit) {
  EXPECT_EQ(monitor_->TelnetServer().State(), CTelnetServer::STATE_STARTED);
  // The letter again changes nothing.
  g_post_office.Publish(MSG_COMM_STARTED);
  rtos::run_in_thread([&] { monitor_->ProcessLetters(); });
  EXPECT_EQ(monitor_->TelnetServer().State(), CTelnetServer::STATE_STARTED);
}

TEST_F(TelnetLoginTest, PasswordGivesThePromptAndTheTrace) {
  int fd = User();
  Write(fd, std::string(kPassword) + "\r\n");
  EXPECT_EQ(ReadUntil(fd, kSuccess), std::string(13, '*') + kSuccess);
  EXPECT_EQ(monitor_->Mode(), CMonitorTask::MODE_TELNET);
  EXPECT_EQ(monitor_->LoginState(0), CMonitorTask::LOGIN_DONE);
  // Every trace line now reaches the user, with CR LF line ends.
  Trace("line one\nline two\n");
  EXPECT_EQ(ReadUntil(fd, "two\r\n"), "line one\r\nline two\r\n");
  // Typed lines run at the prompt; the echo and the output come back (the
  // echoed line end is CR and LF, and every LF goes out as CR LF).
  Write(fd, "vms\r");
  EXPECT_EQ(ReadUntil(fd, "\r\nVMS>"), "vms\r\r\n\r\nVMS>");
  Write(fd, "vms -t 1\r\n");
  EXPECT_EQ(ReadUntil(fd, "VMS>"), "vms -t 1\r\r\nnew level:1\r\nVMS>");
  EXPECT_EQ(console_.out, "");
  // When the user leaves, the trace goes back to the serial console.
  close(fd);
  fds_.clear();
  ASSERT_TRUE(Until([&] { return monitor_->Mode() == CMonitorTask::MODE_CONSOLE; }));
  EXPECT_EQ(monitor_->LoginState(0), CMonitorTask::LOGIN_NONE);
  Trace("back\n");
  EXPECT_EQ(console_.out, "back\r\n");
}

TEST_F(TelnetLoginTest, WrongPasswordsAreRefusedAfterADelay) {
  int fd = User();
  struct Row {
    std::string typed;
    std::string stars;
  } rows[] = {
      {"administratoR", std::string(13, '*')},
      {"administrato", std::string(12, '*')},   // a prefix of the password
      {"administrator!", std::string(14, '*')},  // the password and more
      {"", ""},
      // More than 25 characters: the rest is ignored without reply.
      {std::string(40, 'a'), std::string(25, '*')},
  };
  for (const Row& r : rows) {
    uint32_t before = 0;
    {
      rtos::cpu_scope s;
      before = tx_time_get();
    }
    Write(fd, r.typed + "\r");
    EXPECT_EQ(ReadUntil(fd, kFailure), r.stars + kFailure) << r.typed;
    uint32_t after = 0;
    {
      rtos::cpu_scope s;
      after = tx_time_get();
    }
    EXPECT_GE(after - before, CMonitorTask::LOGIN_FAIL_DELAY) << r.typed;
    EXPECT_EQ(monitor_->LoginState(0), CMonitorTask::LOGIN_PASSWORD);
    EXPECT_EQ(monitor_->Mode(), CMonitorTask::MODE_CONSOLE);
  }
  // The entry starts over after each try.
  Write(fd, std::string(kPassword) + "\r");
  ReadUntil(fd, kSuccess);
  EXPECT_EQ(monitor_->LoginState(0), CMonitorTask::LOGIN_DONE);
}

TEST_F(TelnetLoginTest, WrongPasswordHoldsBackOnlyItsOwnConnection) {
  int a = LoggedIn();
  int b = User();
  auto now = [] {
    rtos::cpu_scope s;
    return tx_time_get();
  };
  const uint32_t before = now();
  Write(b, "guess\r");
  ReadUntil(b, "*****");
  ASSERT_TRUE(monitor_->LoginHeld(1));
  // The logged-in user is answered while B waits out its delay.
  Write(a, "vms -t 1\r");
  EXPECT_EQ(ReadUntil(a, "VMS>"), "vms -t 1\r\r\nnew level:1\r\nVMS>");
  EXPECT_LT(now() - before, CMonitorTask::LOGIN_FAIL_DELAY);
  EXPECT_TRUE(monitor_->LoginHeld(1));
  // What B types during its delay is dropped, the right password included.
  Write(b, std::string(kPassword) + "\r");
  EXPECT_EQ(ReadUntil(b, kFailure), kFailure);
  EXPECT_GE(now() - before, CMonitorTask::LOGIN_FAIL_DELAY);
  EXPECT_FALSE(monitor_->LoginHeld(1));
  EXPECT_EQ(monitor_->LoginState(1), CMonitorTask::LOGIN_PASSWORD);
  // B leaving during a hold ends it; the next connection starts afresh.
  Write(b, "again\r");
  ReadUntil(b, "*****");
  ASSERT_TRUE(monitor_->LoginHeld(1));
  close(b);
  fds_.pop_back();
  ASSERT_TRUE(Until([&] { return monitor_->LoginState(1) == CMonitorTask::LOGIN_NONE; }));
  EXPECT_FALSE(monitor_->LoginHeld(1));
  int c = User();
  Write(c, std::string(kPassword) + "\r");
  ReadUntil(c, kSuccess);
}

TEST_F(TelnetLoginTest, EmptyStoredPasswordLetsNobodyIn) {
  rtos::run_in_thread([&] { db_->SetString(nv::communityNameAdmin.offset, 4, "", 0, db_->mib_nv, 0); });
  int fd = User();
  Write(fd, "\r");
  ReadUntil(fd, kFailure);
  EXPECT_EQ(monitor_->LoginState(0), CMonitorTask::LOGIN_PASSWORD);
}

TEST_F(TelnetLoginTest, PasswordAndCommandInOnePacket) {
  int fd = User();
  // A client that sends whole lines: the reply comes before the echo.
  Write(fd, std::string(kPassword) + "\r\nvms\r\n");
  EXPECT_EQ(ReadUntil(fd, "\r\n\r\nVMS>"), std::string(13, '*') + kSuccess + "vms\r\r\n\r\nVMS>");
}

TEST_F(TelnetLoginTest, EachConnectionLogsInOnItsOwn) {
  int a = LoggedIn();
  // A second connection: asked for its own password; A stays logged in
  // and keeps the output.
  int b = User();
  EXPECT_EQ(monitor_->LoginState(0), CMonitorTask::LOGIN_DONE);
  EXPECT_EQ(monitor_->LoginState(1), CMonitorTask::LOGIN_PASSWORD);
  EXPECT_EQ(monitor_->Mode(), CMonitorTask::MODE_TELNET);
  Trace("for a\n");
  EXPECT_EQ(ReadUntil(a, "for a\r\n"), "for a\r\n");
  // B's typing before its login reaches no console.
  Write(b, "vms -t 1\r");
  EXPECT_EQ(ReadUntil(b, kFailure), std::string(8, '*') + kFailure);
  EXPECT_EQ(monitor_->PrintLevel(), 0u);
  // B leaves: A's login and output are untouched.
  close(b);
  fds_.pop_back();
  ASSERT_TRUE(Until([&] { return monitor_->LoginState(1) == CMonitorTask::LOGIN_NONE; }));
  EXPECT_EQ(monitor_->LoginState(0), CMonitorTask::LOGIN_DONE);
  EXPECT_EQ(monitor_->Mode(), CMonitorTask::MODE_TELNET);
  Trace("still a\n");
  EXPECT_EQ(ReadUntil(a, "still a\r\n"), "still a\r\n");

  // C logs in and takes the output; A's typing takes it back, and what A
  // runs is answered to A only.
  int c = LoggedIn();
  Trace("for c\n");
  EXPECT_EQ(ReadUntil(c, "for c\r\n"), "for c\r\n");
  Write(a, "vms\r");
  EXPECT_EQ(ReadUntil(a, "\r\nVMS>"), "vms\r\r\n\r\nVMS>");
  // C then runs a command of its own: its answer, and only that, comes to
  // C (the same stream, so anything of A's would have come first).
  Write(c, "vms -t 0\r");
  EXPECT_EQ(ReadUntil(c, "VMS>"), "vms -t 0\r\r\nnew level:0\r\nVMS>");
  // A leaves while C has the output: C keeps it.
  close(a);
  fds_.erase(fds_.begin());
  ASSERT_TRUE(Until([&] { return monitor_->LoginState(0) == CMonitorTask::LOGIN_NONE; }));
  EXPECT_EQ(monitor_->Mode(), CMonitorTask::MODE_TELNET);
  EXPECT_EQ(monitor_->LoginState(2), CMonitorTask::LOGIN_DONE);
  Trace("c again\n");
  EXPECT_EQ(ReadUntil(c, "c again\r\n"), "c again\r\n");
  EXPECT_EQ(console_.out, "");
}

TEST_F(TelnetLoginTest, HandlerRepliesWithoutANetwork) {
  char reply[CTelnetServer::REPLY_SIZE];
  uint32_t n = 99;
  CMonitorTask& m = *monitor_;
  EXPECT_EQ(m.OnTelnetEvent(9, 3, nullptr, 0, reply, &n), CTelnetServer::HANDLER_UNKNOWN_EVENT);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(m.OnTelnetEvent(CTelnetServer::EVENT_CONNECT, 3, nullptr, 0, reply, &n), 0);
  EXPECT_EQ(std::string(reply, n), kPasswordPrompt);
  const uint8_t typed[] = {'a', 'd'};
  EXPECT_EQ(m.OnTelnetEvent(CTelnetServer::EVENT_DATA, 3, typed, 2, reply, &n), 0);
  EXPECT_EQ(std::string(reply, n), "**");
  EXPECT_EQ(m.OnTelnetEvent(CTelnetServer::EVENT_END, 3, nullptr, 0, reply, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(m.LoginState(3), CMonitorTask::LOGIN_NONE);
  // Data of a connection that never connected are ignored.
  EXPECT_EQ(m.OnTelnetEvent(CTelnetServer::EVENT_DATA, 2, typed, 2, reply, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(m.OnTelnetEvent(CTelnetServer::EVENT_DATA, 77, typed, 2, reply, &n), 0);
}

class TelnetFeatureOffTest : public ConsoleTest {};

TEST_F(TelnetFeatureOffTest, NoServerWithoutTheFeatureBit) {
  monitor_->Subscribe();
  SetFeature(0x10);
  g_post_office.Publish(MSG_COMM_STARTED);
  rtos::run_in_thread([&] { monitor_->ProcessLetters(); });
  EXPECT_EQ(monitor_->TelnetServer().State(), CTelnetServer::STATE_CONSTRUCTED);
  EXPECT_EQ(net_host_port(&ip_, net_proto::tcp, 23), 0);
}

}  // namespace
