// The data key model: the part's instructions on its own (page wrap, flash
// programming, busy time, power), the EPLD interface to its socket, and the
// host file that keeps the key's contents.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"

namespace {

using board::datakey_memory;
using board::datakey_port;

// Drives a part directly as a serial master would.
class Part {
 public:
  // Programs and erases finish at once unless a test gives them time.
  explicit Part(datakey_memory& m) : m_(m) {
    m_.set_clock([this] { return now; });
    m_.set_timing(0, 0);
    m_.set_powered(true);
  }
  std::vector<uint8_t> Instr(std::vector<uint8_t> bytes, size_t read = 0) {
    m_.spi_select(true);
    for (uint8_t b : bytes) m_.spi_exchange(b);
    std::vector<uint8_t> in;
    for (size_t i = 0; i < read; ++i) in.push_back(m_.spi_exchange(0xFF));
    m_.spi_select(false);
    return in;
  }
  void Program(uint32_t address, const std::vector<uint8_t>& data) {
    Instr({0x06});
    std::vector<uint8_t> b = {0x02, uint8_t(address >> 16), uint8_t(address >> 8), uint8_t(address)};
    b.insert(b.end(), data.begin(), data.end());
    Instr(b);
  }
  std::vector<uint8_t> Read(uint32_t address, size_t n) {
    return Instr({0x03, uint8_t(address >> 16), uint8_t(address >> 8), uint8_t(address)}, n);
  }
  uint8_t Status() { return Instr({0x05}, 1)[0]; }
  uint32_t now = 0;

 private:
  datakey_memory& m_;
};

TEST(DataKeyMemory, PageProgramWrapsWithinItsPage) {
  datakey_memory mem(4096);
  Part p(mem);
  std::vector<uint8_t> data(20);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(0x10 + i);
  // 20 bytes from 250: six to the page end, the other 14 at its start.
  p.Program(250, data);
  EXPECT_EQ(p.Read(250, 6), std::vector<uint8_t>(data.begin(), data.begin() + 6));
  EXPECT_EQ(p.Read(0, 14), std::vector<uint8_t>(data.begin() + 6, data.end()));
  EXPECT_EQ(p.Read(256, 1), std::vector<uint8_t>{0xFF});
}

TEST(DataKeyMemory, ProgramOnlyClearsBitsAndEraseSetsThemAll) {
  datakey_memory mem(4096);
  Part p(mem);
  p.Program(10, {0xF0});
  p.Program(10, {0x3C});
  EXPECT_EQ(p.Read(10, 1)[0], 0x30);
  // Without a write enable nothing happens.
  p.Instr({0x02, 0, 0, 11, 0x00});
  EXPECT_EQ(p.Read(11, 1)[0], 0xFF);
  p.Instr({0x06});
  p.Instr({0xC7});
  EXPECT_EQ(p.Read(10, 1)[0], 0xFF);
}

TEST(DataKeyMemory, BusyForItsTicksThenIdle) {
  datakey_memory mem(4096);
  Part p(mem);
  mem.set_timing(2, 100);
  EXPECT_EQ(p.Status(), 0x00);
  p.Instr({0x06});
  EXPECT_EQ(p.Status(), 0x02);  // write enable latched
  p.Program(0, {0x00});
  EXPECT_EQ(p.Status(), 0x01);
  // While busy the part ignores everything but the status.
  p.Instr({0x06});
  p.Instr({0xC7});
  p.now = 2;
  EXPECT_EQ(p.Status(), 0x00);
  EXPECT_EQ(p.Read(0, 2), (std::vector<uint8_t>{0x00, 0xFF}));
  p.Instr({0x06});
  p.Instr({0xC7});
  p.now = 101;
  EXPECT_EQ(p.Status(), 0x01);
  p.now = 102;
  EXPECT_EQ(p.Status(), 0x00);
  mem.set_stuck_busy(true);
  p.Program(0, {0x00});
  p.now = 100000;
  EXPECT_EQ(p.Status(), 0x01);
}

TEST(DataKeyMemory, UnpoweredOrProtectedPartDoesNothing) {
  datakey_memory mem(4096);
  Part p(mem);
  mem.set_write_protected(true);
  p.Program(0, {0x00});
  EXPECT_EQ(p.Read(0, 1)[0], 0xFF);
  mem.set_write_protected(false);
  mem.set_powered(false);
  EXPECT_EQ(p.Read(0, 1), std::vector<uint8_t>{0xFF});
  EXPECT_EQ(p.Status(), 0xFF);
}

TEST(DataKeyMemory, ContentsLiveInTheHostFile) {
  char path[] = "/tmp/datakeyXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  unlink(path);  // a key that was never written has no file yet
  {
    datakey_memory mem(4096, path);
    Part p(mem);
    EXPECT_EQ(p.Read(0, 1)[0], 0xFF);
    EXPECT_NE(access(path, F_OK), 0);
    p.Program(300, {1, 2, 3});
  }
  {
    datakey_memory mem(4096, path);
    Part p(mem);
    EXPECT_EQ(p.Read(300, 4), (std::vector<uint8_t>{1, 2, 3, 0xFF}));
    p.Instr({0x06});
    p.Instr({0xC7});
  }
  datakey_memory mem(4096, path);
  EXPECT_EQ(mem.peek(300, 3), std::vector<uint8_t>(3, 0xFF));
  FILE* f = std::fopen(path, "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 0, SEEK_END);
  EXPECT_EQ(std::ftell(f), 4096);
  std::fclose(f);
  unlink(path);
}

// The EPLD interface as the driver uses it, on a fresh board.
class DataKeyPort : public ::testing::Test {
 protected:
  void SetUp() override {
    board::board_config c;
    c.datakey.inserted = true;
    c.datakey.size = 4096;
    board::reset(c);
    board::datakey_key().set_clock([] { return 0u; });
  }
  void TearDown() override { board::shutdown(); }
  static constexpr uint32_t CTL = 0xF0500062, RX = 0xF0500063, TX = 0xF0500064;
  void Control(uint8_t v) { reg_write8(CTL, v); }
  void Out(uint8_t b) {
    Control((reg_read8(CTL) ^ 0x08) & ~0x10);
    reg_write8(TX, b);
  }
  uint8_t In() {
    Control((reg_read8(CTL) ^ 0x08) | 0x10);
    return reg_read8(RX);
  }
};

TEST_F(DataKeyPort, PresencePowerAndTransfers) {
  EXPECT_EQ(reg_read8(CTL), 0x01);  // present, unpowered
  board::datakey_key().poke(5, {0xAB, 0xCD});
  Control(0x02 | 0x04);
  EXPECT_EQ(reg_read8(CTL), 0x07);
  for (uint8_t b : {0x03, 0x00, 0x00, 0x05}) Out(b);
  EXPECT_EQ(In(), 0xAB);
  EXPECT_EQ(In(), 0xCD);
  Control(0x02);
  EXPECT_EQ(board::datakey().transfers(), 6u);
  // Unpowered, the part does not answer.
  Control(0x04);
  Out(0x03);
  EXPECT_EQ(In(), 0xFF);
  Control(0x00);
}

TEST_F(DataKeyPort, PulledKeyLeavesTheLineFloating) {
  board::datakey().remove();
  EXPECT_EQ(reg_read8(CTL) & 0x01, 0);
  Control(0x06);
  Out(0x05);
  EXPECT_EQ(In(), 0xFF);
  // Pulled after a given number of transfers.
  board::datakey().insert(&board::datakey_key());
  EXPECT_TRUE(board::datakey_key().powered());
  Control(0x02);
  Control(0x06);
  board::datakey().remove_after(2);
  Out(0x05);
  EXPECT_EQ(In(), 0x00);
  EXPECT_FALSE(board::datakey().present());
  EXPECT_FALSE(board::datakey_key().powered());
}

}  // namespace
