// The program stopped and started again on its state folder, as an operator
// or a power cut does it: whatever a manager was told was stored (a
// message, a setting, a message activated for ten minutes) is there after
// the restart, whether the program was stopped in order, by Ctrl-C, by a
// dmsSWReset or killed outright. A stream
// of message texts long enough to fill and copy the journal twice leaves
// every row with the last text it acknowledged. Two controllers started at
// once on the same host ports never both run.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/tests/trap_bytes.h"
#include "tests/signctl_process.h"

namespace {

using namespace signctl_test;

// ------------------------------------------------- a small SNMPv1 client

using trap_bytes::Oid;
using trap_bytes::Tlv;

std::string Int(uint32_t v) { return trap_bytes::Unsigned(0x02, v); }

// Reads one TLV at *at; its tag and value.
bool Read(const std::string& m, size_t* at, uint8_t* tag, std::string* value) {
  if (*at + 2 > m.size()) return false;
  *tag = static_cast<uint8_t>(m[*at]);
  size_t n = static_cast<uint8_t>(m[*at + 1]), head = 2;
  if (n & 0x80) {
    const size_t bytes = n & 0x7F;
    if (bytes > 2 || *at + 2 + bytes > m.size()) return false;
    n = 0;
    for (size_t i = 0; i < bytes; ++i) n = n << 8 | static_cast<uint8_t>(m[*at + 2 + i]);
    head += bytes;
  }
  if (*at + head + n > m.size()) return false;
  *value = m.substr(*at + head, n);
  *at += head + n;
  return true;
}

struct snmp_answer {
  bool answered = false;
  uint32_t error = 0;  // error-status
  std::string value;   // the first variable's value bytes
};

class snmp_client {
 public:
  explicit snmp_client(uint16_t port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    timeval tv{2, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  ~snmp_client() { close(fd_); }

  snmp_answer Set(const std::vector<uint32_t>& oid, const std::string& value_tlv) {
    return Ask(0xA3, "Fernly", oid, value_tlv);
  }
  snmp_answer SetInt(const std::vector<uint32_t>& oid, uint32_t v) { return Set(oid, Int(v)); }
  snmp_answer SetText(const std::vector<uint32_t>& oid, const std::string& text) { return Set(oid, Tlv(0x04, text)); }
  snmp_answer Get(const std::vector<uint32_t>& oid) { return Ask(0xA0, "fernly", oid, Tlv(0x05, "")); }
  uint32_t GetInt(const std::vector<uint32_t>& oid) {
    const std::string v = Get(oid).value;
    uint32_t n = 0;
    for (char c : v) n = n << 8 | static_cast<uint8_t>(c);
    return n;
  }

 private:
  snmp_answer Ask(uint8_t pdu, const std::string& community, const std::vector<uint32_t>& oid,
                  const std::string& value_tlv) {
    const uint32_t id = ++id_;
    const std::string varbinds = Tlv(0x30, Tlv(0x30, Oid(oid) + value_tlv));
    const std::string message =
        Tlv(0x30, Int(0) + Tlv(0x04, community) + Tlv(pdu, Int(id) + Int(0) + Int(0) + varbinds));
    snmp_answer r;
    for (int attempt = 0; attempt < 3 && !r.answered; ++attempt) {
      if (send(fd_, message.data(), message.size(), 0) != static_cast<ssize_t>(message.size())) continue;
      char buf[8192];
      for (;;) {
        const ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) break;
        if (Parse(std::string(buf, static_cast<size_t>(n)), id, &r)) break;
      }
    }
    return r;
  }

  static bool Parse(const std::string& m, uint32_t id, snmp_answer* r) {
    size_t at = 0;
    uint8_t tag;
    std::string seq, v, pdu, varbinds, varbind;
    if (!Read(m, &at, &tag, &seq)) return false;
    at = 0;
    if (!Read(seq, &at, &tag, &v) || !Read(seq, &at, &tag, &v) || !Read(seq, &at, &tag, &pdu) || tag != 0xA2)
      return false;
    at = 0;
    std::string rid, err, index;
    if (!Read(pdu, &at, &tag, &rid) || !Read(pdu, &at, &tag, &err) || !Read(pdu, &at, &tag, &index) ||
        !Read(pdu, &at, &tag, &varbinds))
      return false;
    uint32_t got = 0;
    for (char c : rid) got = got << 8 | static_cast<uint8_t>(c);
    if (got != id) return false;
    r->answered = true;
    r->error = 0;
    for (char c : err) r->error = r->error << 8 | static_cast<uint8_t>(c);
    size_t vat = 0;
    if (Read(varbinds, &vat, &tag, &varbind)) {
      size_t bat = 0;
      std::string name;
      Read(varbind, &bat, &tag, &name);
      Read(varbind, &bat, &tag, &r->value);
    }
    return true;
  }

  int fd_;
  uint32_t id_ = 0;
};

// ------------------------------------------------------------ the objects

std::vector<uint32_t> Message(uint32_t column, uint32_t row) {
  return {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, column, 3, row};
}
std::vector<uint32_t> SignControl(uint32_t column) { return {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, column, 0}; }
const uint32_t kMulti = 3, kOwner = 4, kCrc = 5, kStatus = 9;
const uint32_t kModifyReq = 6, kValidateReq = 7, kValid = 4;
const uint32_t kSwReset = 2, kActivate = 3, kTimeRemaining = 4, kTableSource = 5, kTimeCommLoss = 13;

// Activates changeable message `row` for ten minutes; the code's bytes.
std::string ActivateForTenMinutes(snmp_client* snmp, uint32_t row, uint32_t crc) {
  const std::string code = {0x00, 0x0A, static_cast<char>(0xFF), 0x03, static_cast<char>(row >> 8),
                            static_cast<char>(row & 0xFF), static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF),
                            0x7F, 0x00, 0x00, 0x01};
  EXPECT_EQ(snmp->SetText(SignControl(kActivate), code).error, 0u);
  return code;
}

// Whether changeable message `row` runs with time left, waiting a little
// for the display task to take it up after a start.
bool RunsWithTimeLeft(snmp_client* snmp, uint32_t row) {
  for (int i = 0; i < 100; ++i) {
    const std::string source = snmp->Get(SignControl(kTableSource)).value;
    const uint32_t left = snmp->GetInt(SignControl(kTimeRemaining));
    if (source.size() >= 3 && source[0] == 3 && static_cast<uint8_t>(source[2]) == row && left > 0 && left <= 10)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

struct stored_message {
  std::string text;
  uint32_t crc = 0;
};

// A MULTI text of the longest the sign takes (3000 bytes) that still fits
// its face: justification tags in front of the words, spaces after them.
std::string LongestText(const std::string& words) {
  std::string text;
  while (text.size() + 5 <= 3000 - words.size()) text += "[jl2]";
  text += words;
  text.resize(3000, ' ');
  return text;
}

// Defines changeable message `row` as a manager does; what it was told.
stored_message Define(snmp_client* snmp, uint32_t row, const std::string& text) {
  stored_message m;
  EXPECT_EQ(snmp->SetInt(Message(kStatus, row), kModifyReq).error, 0u);
  EXPECT_EQ(snmp->SetText(Message(kMulti, row), text).error, 0u);
  EXPECT_EQ(snmp->SetText(Message(kOwner, row), "restart test").error, 0u);
  EXPECT_EQ(snmp->SetInt(Message(kStatus, row), kValidateReq).error, 0u);
  for (int i = 0; i < 50 && snmp->GetInt(Message(kStatus, row)) != kValid; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(snmp->GetInt(Message(kStatus, row)), kValid) << text;
  m.text = text;
  m.crc = snmp->GetInt(Message(kCrc, row));
  return m;
}

// Starts the program again on its folder. A start may find the flash file
// system needing a clean-up first, which restarts the board (here: ends the
// program with status 64) before it runs.
bool StartAgain(signctl_process* controller) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (controller->Start()) return true;
    const int status = controller->WaitExit();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 64) return false;
  }
  return false;
}

// Every stored message with its text, CRC and status valid.
void ExpectStored(snmp_client* snmp, const std::vector<stored_message>& rows, const std::string& after) {
  for (size_t i = 0; i < rows.size(); ++i) {
    const uint32_t row = static_cast<uint32_t>(i + 1);
    EXPECT_EQ(snmp->Get(Message(kMulti, row)).value, rows[i].text) << "row " << row << " after " << after;
    EXPECT_EQ(snmp->GetInt(Message(kCrc, row)), rows[i].crc) << "row " << row << " after " << after;
    EXPECT_EQ(snmp->GetInt(Message(kStatus, row)), kValid) << "row " << row << " after " << after;
  }
}

TEST(RestartProcess, WhatWasAcknowledgedSurvivesEveryKindOfStop) {
  signctl_process controller;
  controller.SetBench("");  // the default sign, on which two lines fit
  ASSERT_TRUE(controller.Start()) << controller.Output();
  struct stop {
    const char* name;
    std::function<void()> how;
  };
  const stop stops[] = {
      {"an orderly stop", [&] { controller.Halt(SIGTERM); }},
      {"Ctrl-C", [&] { controller.Halt(SIGINT); }},
      {"dmsSWReset",
       [&] {
         snmp_client snmp(controller.Port());
         EXPECT_EQ(snmp.SetInt(SignControl(kSwReset), 1).error, 0u);
         const int status = controller.WaitExit();
         EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 64) << status;
       }},
      {"a kill", [&] { controller.Halt(SIGKILL); }},
  };
  std::vector<stored_message> rows;
  uint32_t setting = 100;
  for (const stop& s : stops) {
    {
      snmp_client snmp(controller.Port());
      rows.push_back(Define(&snmp, static_cast<uint32_t>(rows.size() + 1),
                            LongestText("STORED[nl]BEFORE " + std::to_string(rows.size() + 1))));
      ++setting;
      ASSERT_EQ(snmp.SetInt(SignControl(kTimeCommLoss), setting).error, 0u);
      ActivateForTenMinutes(&snmp, static_cast<uint32_t>(rows.size()), rows.back().crc);
      ASSERT_TRUE(RunsWithTimeLeft(&snmp, static_cast<uint32_t>(rows.size()))) << s.name;
    }
    s.how();
    ASSERT_TRUE(StartAgain(&controller)) << s.name << "\n" << controller.Output();
    snmp_client snmp(controller.Port());
    ExpectStored(&snmp, rows, s.name);
    EXPECT_EQ(snmp.GetInt(SignControl(kTimeCommLoss)), setting) << s.name;
    // The factory power-recovery settings bring a timed message back for
    // what is left of its time.
    EXPECT_TRUE(RunsWithTimeLeft(&snmp, static_cast<uint32_t>(rows.size()))) << s.name;
  }
}

size_t Copies(const std::string& out) {
  size_t copies = 0;
  for (size_t at = 0; (at = out.find("StateMachine_Defrag: copying", at)) != std::string::npos; ++at) ++copies;
  return copies;
}

// The stream may meet a restart of the controller's own: with the flash
// too full of deleted files for the next copy, it restarts so the boot
// monitor compacts the flash. What it acknowledged before is kept then too.
TEST(RestartProcess, AStreamThatCopiesTheJournalTwiceLeavesTheLastTextOfEveryRow) {
  signctl_process controller;
  ASSERT_TRUE(controller.Start()) << controller.Output();
  auto snmp = std::make_unique<snmp_client>(controller.Port());
  constexpr uint32_t kRows = 4;
  auto edit_rows = [&] {
    for (uint32_t row = 1; row <= kRows; ++row) ASSERT_EQ(snmp->SetInt(Message(kStatus, row), kModifyReq).error, 0u);
  };
  edit_rows();
  // Texts of 2,900 bytes: the 4 MiB journal fills about every 1,450 of them.
  std::string last[kRows + 1];
  size_t copies = 0;
  int restarts = 0;
  for (uint32_t n = 0; n < 3600; ++n) {
    const uint32_t row = 1 + n % kRows;
    std::string text = "TEXT " + std::to_string(n) + " ";
    text.resize(2900, static_cast<char>('A' + n % 26));
    const snmp_answer a = snmp->SetText(Message(kMulti, row), text);
    if (!a.answered) {
      const int status = controller.WaitExit();
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 64) << n << " unanswered, status " << status;
      ASSERT_LT(++restarts, 3);
      copies += Copies(controller.Output());
      ASSERT_TRUE(StartAgain(&controller)) << controller.Output();
      snmp = std::make_unique<snmp_client>(controller.Port());
      for (uint32_t r = 1; r <= kRows; ++r)
        EXPECT_EQ(snmp->Get(Message(kMulti, r)).value, last[r]) << "row " << r << " after the restart at " << n;
      edit_rows();
      --n;
      continue;
    }
    if (a.error == 0) last[row] = text;
  }
  for (uint32_t row = 1; row <= kRows; ++row) ASSERT_FALSE(last[row].empty()) << "row " << row << " took no text";
  copies += Copies(controller.Output());
  EXPECT_GE(copies, 2u);

  controller.Halt(SIGKILL);
  ASSERT_TRUE(StartAgain(&controller)) << controller.Output();
  snmp_client again(controller.Port());
  for (uint32_t row = 1; row <= kRows; ++row)
    EXPECT_EQ(again.Get(Message(kMulti, row)).value, last[row]) << "row " << row;
}

}  // namespace

namespace {

// Two controllers started at once on the same host ports, neither yet with
// its network up: the ports are held from the check on, so one of them
// stops with the busy-port message and the other keeps them.
TEST(BusyPorts, OfTwoControllersStartedAtOnceOneStops) {
  const uint16_t port = FreePort();
  struct program {
    std::string folder;
    pid_t pid = -1;
  } programs[2];
  for (program& p : programs) {
    char folder[] = "/tmp/signctl-busy-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    p.folder = folder;
    std::ofstream(p.folder + "/net.conf") << "ephemeral\nport 161 " << port << "\n";
    std::ofstream(p.folder + "/bench.conf") << "sign factory\n";
  }
  for (program& p : programs) {
    const int out = open((p.folder + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(out, 0);
    p.pid = Spawn({SIGNCTL_PATH, "--exit-on-restart", p.folder}, -1, out);
    close(out);
    ASSERT_GT(p.pid, 0);
  }
  int stopped = -1, status = 0;
  for (int i = 0; i < 600 && stopped < 0; ++i) {
    for (int k = 0; k < 2 && stopped < 0; ++k)
      if (waitpid(programs[k].pid, &status, WNOHANG) == programs[k].pid) stopped = k;
    if (stopped < 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (int k = 0; k < 2; ++k) {
    if (k == stopped) continue;
    kill(programs[k].pid, SIGKILL);
    waitpid(programs[k].pid, nullptr, 0);
  }
  ASSERT_GE(stopped, 0) << "both kept running on one port";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  std::ifstream in(programs[stopped].folder + "/out.txt");
  const std::string out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(out.find("host port " + std::to_string(port) + " (UDP, the controller's port 161) is in use"),
            std::string::npos)
      << out;
  for (program& p : programs) std::filesystem::remove_all(p.folder);
}

}  // namespace
