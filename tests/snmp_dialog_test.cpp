// A traffic centre's dialog with the controller program, run as a process
// on a fresh state folder and asked by net-snmp's command-line tools on
// 127.0.0.1: the first reads of a conformance run, then a message edited,
// validated and activated through the message table, and a message whose
// MULTI text is in error.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "display/tests/sign_picture_rows.h"
#include "frame/startup/host.h"
#include "tests/signctl_process.h"

namespace {

using namespace signctl_test;

const char* const kSnmpGet = "/usr/bin/snmpget";
const char* const kSnmpSet = "/usr/bin/snmpset";
const std::string kSign = "1.3.6.1.4.1.1206.4.2.3.";
// The factory communities: one that reads, one with every right.
const char* const kReader = "fernly";
const char* const kCentral = "Fernly";

// The message CRC as a central system computes it: X.25 (reflected 0x8408,
// from 0xFFFF, complemented) over the MULTI text, the beacon and the
// pixel-service byte, its two bytes exchanged.
uint16_t MessageCrc(const std::string& text, uint8_t beacon, uint8_t pixel) {
  std::string bytes = text;
  bytes.push_back(static_cast<char>(beacon));
  bytes.push_back(static_cast<char>(pixel));
  uint16_t crc = 0xFFFF;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
  }
  crc = static_cast<uint16_t>(~crc);
  return static_cast<uint16_t>((crc << 8) | (crc >> 8));
}

std::string Hex(const std::vector<uint8_t>& bytes, const char* separator) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, "%02X", bytes[i]);
    out += (i ? separator : "") + std::string(b);
  }
  return out;
}

// An octet string as the tool prints it in hex: quoted, each byte followed
// by a space.
std::string Printed(const std::vector<uint8_t>& bytes) { return "\"" + Hex(bytes, " ") + " \""; }

class SnmpDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kSnmpGet, X_OK) != 0) GTEST_SKIP() << "net-snmp's tools are not installed (Debian package snmp)";
    controller_.SetBench(Bench());
    ASSERT_TRUE(controller_.Start()) << controller_.Output();
  }
  void TearDown() override { controller_.Stop(); }
  virtual std::string Bench() const { return "sign factory\n"; }

  // The values a GET answers, one per object, as the tool prints them.
  std::vector<std::string> Get(const std::vector<std::string>& objects, const char* version = "2c") {
    std::vector<std::string> args = {kSnmpGet, "-On", "-Oqv", "-m", "", "-t", "2", "-r", "3",
                                     "-v",     version, "-c", kReader, controller_.Agent()};
    for (const std::string& o : objects) args.push_back(kSign + o);
    run_result r = RunProgram(args);
    EXPECT_EQ(0, r.status) << r.output;
    std::vector<std::string> values;
    size_t at = 0;
    for (size_t end; (end = r.output.find('\n', at)) != std::string::npos; at = end + 1) {
      std::string line = r.output.substr(at, end - at);
      while (!line.empty() && line.back() == ' ') line.pop_back();
      values.push_back(line);
    }
    return values;
  }
  std::string GetOne(const std::string& object) {
    std::vector<std::string> v = Get({object});
    return v.size() == 1 ? v[0] : "<" + std::to_string(v.size()) + " values>";
  }
  // A SET of (object, type, value) triples by the central community; the
  // tool's exit status and what it printed.
  run_result Set(const std::vector<std::vector<std::string>>& values) {
    std::vector<std::string> args = {kSnmpSet, "-On", "-m", "", "-t", "2", "-r", "3",
                                     "-v",     "2c",  "-c", kCentral, controller_.Agent()};
    for (const auto& v : values) {
      args.push_back(kSign + v[0]);
      args.push_back(v[1]);
      args.push_back(v[2]);
    }
    return RunProgram(args);
  }
  // Edits changeable message n: modify, write, validate.
  void Edit(uint32_t n, const std::string& text) {
    const std::string row = "." + std::to_string(n);
    run_result r = Set({{"5.8.1.9.3" + row, "i", "6"}});
    ASSERT_EQ(0, r.status) << r.output;
    ASSERT_EQ("2", GetOne("5.8.1.9.3" + row));  // modifying
    r = Set({{"5.8.1.3.3" + row, "s", text},
             {"5.8.1.4.3" + row, "s", "district 4"},
             {"5.8.1.6.3" + row, "i", "0"},
             {"5.8.1.7.3" + row, "i", "0"},
             {"5.8.1.8.3" + row, "i", "10"}});
    ASSERT_EQ(0, r.status) << r.output;
    r = Set({{"5.8.1.9.3" + row, "i", "7"}});
    ASSERT_EQ(0, r.status) << r.output;
  }

  // The sign's face as the state folder's picture shows it.
  std::vector<std::string> Picture() { return sign_picture_rows(controller_.Folder() + "/" + HOST_SIGN_PICTURE); }
  // The picture once it shows something lit (the controller writes it a
  // few times a second at most).
  std::vector<std::string> LitPicture() {
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    std::vector<std::string> rows;
    while (std::chrono::steady_clock::now() < deadline) {
      rows = Picture();
      for (const std::string& row : rows)
        if (row.find('#') != std::string::npos) return rows;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return rows;
  }

  // A message edited, validated and activated, then one in error.
  void EditValidateActivate() {
    EXPECT_EQ("4", GetOne("6.1.0"));  // dmsControlMode: central

    Edit(1, "AB");
    EXPECT_EQ("4", GetOne("5.8.1.9.3.1"));  // valid
    EXPECT_EQ("2", GetOne("5.9.0"));        // dmsValidateMessageError: none
    const uint16_t crc = MessageCrc("AB", 0, 0);
    ASSERT_EQ(std::to_string(crc), GetOne("5.8.1.5.3.1"));
    EXPECT_EQ("1", GetOne("5.2.0"));  // dmsNumChangeableMsg

    // Nothing is lit yet.
    for (const std::string& row : Picture()) EXPECT_EQ(std::string::npos, row.find('#'));

    // Activate it: duration 0xFFFF, priority 255, changeable 1, its CRC, from
    // 127.0.0.1.
    const uint8_t hi = static_cast<uint8_t>(crc >> 8), lo = static_cast<uint8_t>(crc);
    const std::vector<uint8_t> code = {0xFF, 0xFF, 0xFF, 3, 0, 1, hi, lo, 127, 0, 0, 1};
    run_result r = Set({{"6.3.0", "x", Hex(code, "")}});
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_EQ(Printed({3, 0, 1, hi, lo}), GetOne("6.5.0"));  // dmsMsgTableSource
    EXPECT_EQ("2", GetOne("6.17.0"));                          // dmsActivateMsgError: none
    EXPECT_EQ("\"AB\"", GetOne("5.8.1.3.5.1"));                // the current buffer
    // The sign shows it, as the state folder's picture says.
    const std::vector<std::string> ab = {
        ".........#...####........",  //
        "........#.#..#...#.......",  //
        ".......#...#.#...#.......",  //
        ".......#...#.####........",  //
        ".......#####.#...#.......",  //
        ".......#...#.#...#.......",  //
        ".......#...#.####........",  //
    };
    EXPECT_EQ(ab, LitPicture());

    // A tag the controller does not know: the message ends in error, and
    // says which error and where.
    Edit(2, "A[zz9]B");
    EXPECT_EQ("5", GetOne("5.8.1.9.3.2"));  // error
    EXPECT_EQ("5", GetOne("5.9.0"));        // dmsValidateMessageError: syntaxMULTI
    EXPECT_EQ("3", GetOne("6.18.0"));       // dmsMultiSyntaxError: unsupportedTag
    const int position = std::atoi(GetOne("6.19.0").c_str());
    EXPECT_GT(position, 0);
    EXPECT_LE(position, 7);
    EXPECT_EQ("0", GetOne("5.8.1.5.3.2"));  // no CRC for it
    // Its activation is refused, with the message's status as the reason.
    r = Set({{"6.3.0", "x", Hex({0xFF, 0xFF, 0xFF, 3, 0, 2, 0, 0, 127, 0, 0, 1}, "")}});
    EXPECT_NE(0, r.status);
    EXPECT_NE(std::string::npos, r.output.find("genErr")) << r.output;
    EXPECT_EQ("4", GetOne("6.17.0"));  // messageStatus
    EXPECT_EQ("\"AB\"", GetOne("5.8.1.3.5.1"));
  }

  signctl_process controller_;
};

// What a conformance run reads first, as the factory configured it.
TEST_F(SnmpDialogTest, FirstReadsOfAConformanceRun) {
  const std::vector<std::string> objects = {
      "1.3.0",   // dmsSignHeight (mm)
      "1.4.0",   // dmsSignWidth
      "2.3.0",   // vmsSignHeightPixels
      "2.4.0",   // vmsSignWidthPixels
      "2.1.0",   // vmsCharacterHeightPixels
      "2.2.0",   // vmsCharacterWidthPixels
      "3.1.0",   // numFonts
      "3.3.0",   // maxFontCharacters
      "4.5.0",   // defaultFont
      "4.11.0",  // dmsColorScheme
      "4.14.0",  // dmsSupportedMultiTags
      "4.15.0",  // dmsMaxNumberPages
      "4.16.0",  // dmsMaxMultiStringLength
  };
  const std::vector<std::string> expected = {"1072", "2260", "7", "25", "7",          "0",    "20",
                                             "255",  "8",    "3", Printed({0xFF, 0xFF, 0xFF, 0x3F}), "6", "3000"};
  for (const char* version : {"1", "2c"}) EXPECT_EQ(expected, Get(objects, version)) << "version " << version;
}

TEST_F(SnmpDialogTest, MessageEditedValidatedAndActivated) { EditValidateActivate(); }

// Requests the controller refuses, each with its error.
TEST_F(SnmpDialogTest, RefusedRequests) {
  struct {
    std::vector<std::vector<std::string>> values;
    const char* error;
  } cases[] = {
      {{{"5.8.1.3.3.1", "s", "AB"}}, "genErr"},          // not being modified
      {{{"5.8.1.9.3.1", "i", "7"}}, "badValue"},         // validate an unused message
      {{{"5.8.1.9.3.0", "i", "6"}}, "noSuchName"},       // no message 0
      {{{"5.8.1.9.3.501", "i", "6"}}, "noSuchName"},     // beyond the table
      {{{"5.8.1.9.2.1", "i", "6"}}, "genErr"},           // a permanent message
      {{{"3.2.1.8.1", "i", "8"}}, "badValue"},           // an unmanaged font made ready
      {{{"3.4.1.2.21.1", "i", "1"}}, "noSuchName"},      // no font 21
      {{{"1.3.0", "i", "900"}}, ""},                     // the sign's size is locked
  };
  for (const auto& c : cases) {
    run_result r = Set(c.values);
    EXPECT_NE(0, r.status) << c.values[0][0] << ": " << r.output;
    if (*c.error) {
      EXPECT_NE(std::string::npos, r.output.find(c.error)) << c.values[0][0] << ": " << r.output;
    }
  }
  EXPECT_EQ("1", GetOne("5.8.1.9.3.1"));  // still not used
  EXPECT_EQ("1072", GetOne("1.3.0"));
}

// The same dialog with the Ethernet in wire mode: every request and answer
// crosses the far end's forward, the MAC model, the driver and the IPv4
// engine, over UDP and over TCP.
class SnmpDialogOverWireTest : public SnmpDialogTest {
 protected:
  std::string Bench() const override { return "sign factory\nethernet wire\n"; }
};

TEST_F(SnmpDialogOverWireTest, GetOverUdpAndTcp) {
  EXPECT_NE(std::string::npos, controller_.Output().find("bench: Ethernet on a wire")) << controller_.Output();
  for (const std::string transport : {"udp:", "tcp:"}) {
    run_result r = RunProgram({kSnmpGet, "-On", "-Oqv", "-m", "", "-t", "2", "-r", "3", "-v", "2c", "-c", kReader,
                               transport + controller_.Agent(), "1.3.6.1.2.1.1.1.0"});
    EXPECT_EQ(0, r.status) << transport << r.output;
    EXPECT_EQ("\"Quorvantis, Inc. KSR-7100 Palisade(tm) VMS Field Controller\"\n", r.output) << transport;
  }
}

TEST_F(SnmpDialogOverWireTest, MessageEditedValidatedAndActivated) { EditValidateActivate(); }

}  // namespace
