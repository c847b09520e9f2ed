// The reprogram request as the display task carries it out: file checks,
// the loader chosen, memory refused, and runs that stop early.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "panel/pages/can_reprogram.h"
#include "panel/pages/reprogram_run.h"
#include "panel/tests/reprogram_fixture.h"

namespace {

std::string Rec(uint16_t address, uint8_t type = 0, size_t n = 4) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), ":%02X%04X%02X", unsigned(n), address, type);
  std::string s = buf;
  uint8_t sum = static_cast<uint8_t>(n + (address >> 8) + address + type);
  for (size_t i = 0; i < n; ++i) {
    s += "A5";
    sum = static_cast<uint8_t>(sum + 0xA5);
  }
  std::snprintf(buf, sizeof(buf), "%02X\r\n", static_cast<uint8_t>(-sum));
  return s + buf;
}
const std::string END_REC = ":00000001FF\r\n";

bool Check(const std::string& name, const std::string& text, uint32_t menu, uint8_t hw, uint8_t* node = nullptr,
           size_t* start = nullptr) {
  uint8_t n;
  size_t s;
  return reprogram_check_file(name.c_str(), reinterpret_cast<const uint8_t*>(text.data()), text.size(), menu, hw,
                              node ? node : &n, start ? start : &s);
}

TEST(ReprogramFileCheck, Table) {
  const std::string body = Rec(0x0100) + Rec(0x0104) + END_REC;
  const std::string header = "HEADER REVISION = 01\r\nDEVICE TYPE = 5B\r\nOTHER = 1\r\n";
  struct Row {
    const char* what;
    std::string name, text;
    uint32_t menu;
    bool ok;
  } rows[] = {
      {"plain hex", "a.hex", body, 72, true},
      {"header that matches", "a.hex", header + body, 72, true},
      {"other device type", "a.hex", "HEADER REVISION = 01\r\nDEVICE TYPE = 5C\r\n" + body, 72, false},
      {"other header revision", "a.hex", "HEADER REVISION = 02\r\n" + body, 73, false},
      {"first record at 0000", "a.hex", Rec(0) + Rec(4) + END_REC, 72, false},
      {"0000 is fine for boards", "a.hex", Rec(0) + Rec(4) + END_REC, 73, true},
      {"LF line ends", "a.hex", ":04010000A5A5A5A5C1\n:00000001FF\n", 73, false},
      {"addresses fall in a run", "a.hex", Rec(0x0108) + Rec(0x0104) + END_REC, 73, false},
      {"a segment starts a new run", "a.hex", Rec(0x0108) + Rec(0, 2, 2) + Rec(0x0104) + END_REC, 73, true},
      {"no records", "a.hex", "HEADER REVISION = 01\r\n", 73, false},
      {"cut record", "a.hex", Rec(0x0100).substr(0, 15), 73, false},
      {"raw image, unchecked", "A.BIN", "\x01\x02garbage", 72, true},
  };
  for (const Row& r : rows) EXPECT_EQ(Check(r.name, r.text, r.menu, 0x5B), r.ok) << r.what;
  uint8_t node = 9;
  size_t start = 0;
  ASSERT_TRUE(Check("a.hex", header + body, 72, 0x5B, &node, &start));
  EXPECT_EQ(node, 0);
  EXPECT_EQ(start, header.size());
  ASSERT_TRUE(Check("x.bin", "", 72, 0, &node, &start));
  EXPECT_EQ(node, 128);
}

class Host : public reprogram_host {
 public:
  std::map<std::string, std::string> files;
  int free_blocks = 2;
  bool path_ok = true;
  std::vector<std::unique_ptr<uint8_t[]>> blocks;
  uint8_t* TakeBlock() override {
    if (free_blocks == 0) return nullptr;
    --free_blocks;
    blocks.emplace_back(new uint8_t[0x80000]);
    return blocks.back().get();
  }
  void ReleaseBlock(uint8_t*) override { ++free_blocks; }
  bool SetLocalPath() override { return path_ok; }
  void ClearLocalPath() override {}
  bool ReadFile(const char* name, uint8_t* buffer, size_t capacity, size_t* length) override {
    auto it = files.find(name);
    if (it == files.end()) return false;
    *length = std::min(capacity, it->second.size());
    std::memcpy(buffer, it->second.data(), *length);
    return true;
  }
  uint8_t Hardware(uint32_t) override { return 0x5B; }
  bool HcbDistributionBoard() override { return false; }
};

class ReprogramRunTest : public ReprogramFixture {
 protected:
  uint8_t Run(const char* file, uint32_t menu, uint16_t type) {
    std::snprintf(request.file, sizeof(request.file), "%s", file);
    request.menu = menu;
    request.type = type;
    request.state = REPROGRAM_RUNNING;
    int free_before = host.free_blocks;
    InThread([&] { reprogram_modules(request, host, prog); });
    EXPECT_EQ(host.free_blocks, free_before);
    return request.state;
  }
  Host host;
  reprogram_request request;
};

TEST_F(ReprogramRunTest, Outcomes) {
  host.files["mod.hex"] = Rec(0x0100) + Rec(0x0104) + END_REC;
  host.files["bad.hex"] = "DEVICE TYPE = 11\r\n" + host.files["mod.hex"];
  auto& a = AddMicro(1, 91);
  auto& b = AddMicro(2, 91);
  EXPECT_EQ(Run("mod.hex", 72, 91), REPROGRAM_SUCCESS);
  EXPECT_TRUE(a.application_running());
  EXPECT_TRUE(b.application_running());
  EXPECT_FALSE(a.loader().empty());
  EXPECT_EQ(Run("bad.hex", 72, 91), REPROGRAM_BAD_FILE);
  // Stopped before programming: a failure, never a page left waiting.
  EXPECT_EQ(Run("missing.hex", 72, 91), REPROGRAM_FAILURE);
  host.path_ok = false;
  EXPECT_EQ(Run("mod.hex", 72, 91), REPROGRAM_FAILURE);
  host.path_ok = true;
  host.free_blocks = 1;
  EXPECT_EQ(Run("mod.hex", 72, 91), REPROGRAM_NO_MEMORY);
  host.free_blocks = 2;
}

TEST_F(ReprogramRunTest, RamloaderInFlashReplacesTheBuiltInOne) {
  host.files["ramloader.hex"] = Rec(0x0200, 0, 8) + END_REC;
  host.files["mod.hex"] = Rec(0x0100) + END_REC;
  auto& m = AddMicro(2, 36);
  EXPECT_EQ(Run("mod.hex", 75, 36), REPROGRAM_SUCCESS);
  EXPECT_EQ(m.loader().size(), 8u);
  EXPECT_EQ(m.loader().begin()->first, 0x0200u);
}

TEST_F(ReprogramRunTest, RawImageGoesToEveryModule) {
  host.files["mod.bin"] = std::string(130, '\x11');
  auto& m = AddMicro(3, 91);
  EXPECT_EQ(Run("mod.bin", 72, 91), REPROGRAM_SUCCESS);
  EXPECT_EQ(m.application().size(), 130u);
  EXPECT_TRUE(m.loader().empty());
}

}  // namespace
