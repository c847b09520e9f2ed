// The data-key driver against the board's key model: page programs that
// never cross a page, power with and without a key, busy polling, and keys
// that are pulled or never finish.
#include <gtest/gtest.h>

#include <vector>

#include "board_fixture.h"
#include "frame/datakey/datakey.h"

namespace {

using command = board::datakey_memory::command;

class DataKeyTest : public BoardTest {
 protected:
  void SetUp() override {
    board::board_config c;
    c.datakey.inserted = true;
    c.datakey.size = 64 * 1024;
    StartBoard(c);
    key().set_timing(3, 120);
  }
  board::datakey_memory& key() { return board::datakey_key(); }
  // Runs fn on a kernel thread with the key powered first.
  uint32_t Powered(const std::function<uint32_t(CDataKey&)>& fn) {
    uint32_t result = 0xDEAD;
    rtos::run_in_thread([&] {
      CDataKey dk;
      if (dk.Power(1) != 1) return;
      key().clear_commands();
      result = fn(dk);
    });
    return result;
  }
  // The programs and erases the part saw, without the status polls.
  std::vector<command> Writes() {
    std::vector<command> out;
    for (const command& c : key().commands())
      if (c.opcode != board::datakey_memory::RDSR) out.push_back(c);
    return out;
  }
  static std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
  }
};

constexpr uint8_t WREN = 0x06, PP = 0x02, CE = 0xC7, RDSR = 0x05;

TEST_F(DataKeyTest, WritesArePageProgramsThatNeverCrossAPage) {
  struct Row {
    uint32_t address;
    uint32_t length;
    std::vector<command> programs;
  } rows[] = {
      // Page-aligned: whole pages and the rest.
      {0, 600, {{WREN, 0, 0}, {PP, 0, 256}, {WREN, 0, 0}, {PP, 256, 256}, {WREN, 0, 0}, {PP, 512, 88}}},
      // Unaligned: up to the page end first, then whole pages.
      {0x1000 + 200, 300, {{WREN, 0, 0}, {PP, 0x1000 + 200, 56}, {WREN, 0, 0}, {PP, 0x1100, 244}}},
      {0x2000 + 255, 2, {{WREN, 0, 0}, {PP, 0x2000 + 255, 1}, {WREN, 0, 0}, {PP, 0x2100, 1}}},
      {0x3000 + 16, 100, {{WREN, 0, 0}, {PP, 0x3000 + 16, 100}}},
  };
  for (const Row& r : rows) {
    std::vector<uint8_t> data = Pattern(r.length, static_cast<uint8_t>(r.address));
    EXPECT_EQ(Powered([&](CDataKey& dk) { return dk.Write(r.address, data.data(), r.length); }), 1u) << r.address;
    EXPECT_EQ(Writes(), r.programs) << r.address;
    // Every byte landed where it belongs (a wrapped program would have
    // overwritten the start of the page).
    EXPECT_EQ(key().peek(r.address, r.length), data) << r.address;
    if (r.address) {
      EXPECT_EQ(key().peek(r.address - 1, 1)[0], 0xFF) << r.address;
    }
    EXPECT_EQ(key().peek(r.address + r.length, 1)[0], 0xFF) << r.address;
  }
}

TEST_F(DataKeyTest, ProgramsWaitForThePartEveryTick) {
  // A page program keeps the part busy for 3 ticks: polled once a tick.
  uint32_t elapsed = 0;
  std::vector<uint8_t> data = Pattern(10, 1);
  EXPECT_EQ(Powered([&](CDataKey& dk) {
              uint32_t start = tx_time_get();
              uint32_t ok = dk.Write(0, data.data(), 10);
              elapsed = tx_time_get() - start;
              return ok;
            }),
            1u);
  EXPECT_EQ(elapsed, 3u);
  EXPECT_EQ(key().status_reads(), 3u);
}

TEST_F(DataKeyTest, ReadReturnsWhatTheKeyHolds) {
  std::vector<uint8_t> stored = Pattern(700, 9);
  key().poke(0x4000 - 100, stored);
  std::vector<uint8_t> got(700);
  EXPECT_EQ(Powered([&](CDataKey& dk) { return dk.Read(0x4000 - 100, got.data(), 700); }), 1u);
  EXPECT_EQ(got, stored);
  EXPECT_EQ(key().commands(), (std::vector<command>{{0x03, 0x4000 - 100, 700}}));
}

TEST_F(DataKeyTest, PowerWithAndWithoutAKey) {
  rtos::run_in_thread([] {
    CDataKey dk;
    uint32_t start = tx_time_get();
    EXPECT_EQ(dk.Power(1), 1u);
    EXPECT_EQ(tx_time_get() - start, CDataKey::POWER_UP_TICKS);
    EXPECT_EQ(dk.IsReady(), 1u);
    EXPECT_EQ(dk.Power(0), 1u);
    EXPECT_EQ(dk.IsReady(), 0u);
  });
  board::datakey().remove();
  rtos::run_in_thread([] {
    CDataKey dk;
    EXPECT_FALSE(datakey_present());
    uint32_t start = tx_time_get();
    EXPECT_EQ(dk.Power(1), 0u);
    EXPECT_EQ(tx_time_get(), start);  // no key: no wait either
    EXPECT_EQ(reg_read8(CDataKey::REG_CONTROL) & CDataKey::POWER, 0);
    EXPECT_FALSE(datakey_power(&dk, true));
    uint8_t b[4] = {1, 2, 3, 4};
    EXPECT_EQ(dk.Read(0, b, 4), 0u);
    EXPECT_EQ(dk.Write(0, b, 4), 0u);
    EXPECT_EQ(dk.Erase(), 0u);
    EXPECT_TRUE(datakey_power(&dk, false));
  });
}

TEST_F(DataKeyTest, UnpoweredKeyRefusesEveryOperation) {
  rtos::run_in_thread([&] {
    CDataKey dk;
    EXPECT_TRUE(datakey_present());
    uint8_t b[4] = {};
    EXPECT_EQ(dk.Read(0, b, 4), 0u);
    EXPECT_EQ(dk.Write(0, b, 4), 0u);
    EXPECT_EQ(dk.Erase(), 0u);
  });
  EXPECT_TRUE(key().commands().empty());
}

TEST_F(DataKeyTest, ErasePollsEveryFiftyTicks) {
  key().poke(0, Pattern(300, 3));
  uint32_t elapsed = 0;
  EXPECT_EQ(Powered([&](CDataKey& dk) {
              uint32_t start = tx_time_get();
              uint32_t ok = dk.Erase();
              elapsed = tx_time_get() - start;
              return ok;
            }),
            1u);
  // Busy for 120 ticks: polls at 50, 100 and 150.
  EXPECT_EQ(elapsed, 150u);
  EXPECT_EQ(key().commands(), (std::vector<command>{{WREN, 0, 0}, {CE, 0, 0}, {RDSR, 0, 1}, {RDSR, 0, 1}, {RDSR, 0, 1}}));
  EXPECT_EQ(key().peek(0, 300), std::vector<uint8_t>(300, 0xFF));
  EXPECT_TRUE(datakey_erase(nullptr) == false);
}

TEST_F(DataKeyTest, KeyPulledDuringAnOperationFails) {
  std::vector<uint8_t> data = Pattern(600, 5);
  // Pulled in the middle of the second page program.
  EXPECT_EQ(Powered([&](CDataKey& dk) {
              board::datakey().remove_after(256 + 4 + 1 + 1 + 4 + 10);
              return dk.Write(0, data.data(), 600);
            }),
            0u);
  board::datakey().insert(&key());
  // Pulled while reading.
  std::vector<uint8_t> got(100);
  EXPECT_EQ(Powered([&](CDataKey& dk) {
              board::datakey().remove_after(50);
              return dk.Read(0, got.data(), 100);
            }),
            0u);
  board::datakey().insert(&key());
  // Pulled while the erase runs.
  EXPECT_EQ(Powered([&](CDataKey& dk) {
              board::datakey().remove_after(3);  // write enable, erase, first status poll
              return dk.Erase();
            }),
            0u);
}

TEST_F(DataKeyTest, PartThatNeverFinishesFailsInsteadOfHanging) {
  key().set_stuck_busy(true);
  uint32_t elapsed = 0;
  EXPECT_EQ(Powered([&](CDataKey& dk) {
              uint32_t start = tx_time_get();
              uint32_t ok = dk.Erase();
              elapsed = tx_time_get() - start;
              return ok;
            }),
            0u);
  EXPECT_GE(elapsed, CDataKey::MAX_BUSY_TICKS);
  EXPECT_LT(elapsed, CDataKey::MAX_BUSY_TICKS + 100);
  uint8_t b = 0;
  EXPECT_EQ(Powered([&](CDataKey& dk) { return dk.Write(0, &b, 1); }), 0u);
}

}  // namespace
