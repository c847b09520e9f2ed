// EPLD configuration port and register window, driven through the GPIO pins
// as a loader would, with the committed synthetic images.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"

namespace {

constexpr uint32_t OR = 0xEF600700;
constexpr uint32_t IR = 0xEF60071C;

std::string root() {
  std::string f = __FILE__;
  return f.substr(0, f.rfind("platform/board/tests/"));
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> inflate_image(const std::string& part) {
  std::vector<uint8_t> z = read_file(root() + "data/epld/" + part + ".zlib");
  std::vector<uint8_t> out(1 << 20);
  uLongf n = out.size();
  if (z.empty() || uncompress(out.data(), &n, z.data(), z.size()) != Z_OK) return {};
  out.resize(n);
  return out;
}

class EpldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    board::board_config c;
    c.epld_configured = false;
    board::reset(c);
  }
  void TearDown() override { board::shutdown(); }

  void pulse() {
    reg_write32(OR, reg_read32(OR) & ~0x40000000u);
    reg_write32(OR, reg_read32(OR) | 0x40000000u);
  }
  bool nstatus() { return reg_read8(IR) & 0x20; }
  bool conf_done() { return reg_read8(IR + 1) & 0x80; }
  // Shifts bytes in; returns the index of the byte after which nSTATUS fell,
  // or -1.
  long shift(const std::vector<uint8_t>& data) {
    uint32_t v = reg_read32(OR);
    for (size_t i = 0; i < data.size(); ++i) {
      for (int b = 0; b < 8; ++b) {
        v &= ~0x08000000u;
        reg_write32(OR, v);
        v = (data[i] >> b & 1) ? v | 0x10000000u : v & ~0x10000000u;
        reg_write32(OR, v);
        v |= 0x08000000u;
        reg_write32(OR, v);
      }
      if (!nstatus()) return static_cast<long>(i);
    }
    return -1;
  }
};

TEST(EpldImages, EachInflatesToTheDeviceSizeFromItsStatedLength) {
  const struct {
    const char* part;
    size_t compressed;
  } rows[] = {{"PX2214087", 36901}, {"PX5581320", 36344}, {"PX6642915", 38533}, {"PX7730468", 38185}};
  for (const auto& r : rows) {
    std::vector<uint8_t> z = read_file(root() + "data/epld/" + r.part + ".zlib");
    ASSERT_EQ(z.size(), r.compressed) << r.part;
    EXPECT_EQ(z[0], 0x78);
    EXPECT_EQ(z[1], 0xDA);
    EXPECT_EQ(inflate_image(r.part).size(), 98023u) << r.part;
  }
}

TEST_F(EpldTest, BlankDeviceDoesNotAnswer) {
  EXPECT_FALSE(conf_done());
  reg_write8(0xF0500007, 0x55);
  EXPECT_EQ(reg_read8(0xF0500007), 0xFF);
}

TEST_F(EpldTest, ValidImageConfiguresTheDevice) {
  std::vector<uint8_t> image = inflate_image("PX6642915");
  pulse();
  ASSERT_TRUE(nstatus());
  EXPECT_EQ(shift(image), -1);
  EXPECT_TRUE(conf_done());
  EXPECT_EQ(board::epld_config().part_number(), "PX6642915");
  reg_write8(0xF0500007, 0x55);
  EXPECT_EQ(reg_read8(0xF0500007), 0x55);
  // A new configuration pulse takes the device away; once configured again
  // (another module type's image) the quad UART's channels are as they were.
  pulse();
  EXPECT_FALSE(conf_done());
  EXPECT_EQ(reg_read8(0xF0500007), 0xFF);
  EXPECT_EQ(shift(inflate_image("PX2214087")), -1);
  EXPECT_TRUE(conf_done());
  EXPECT_EQ(reg_read8(0xF0500007), 0x55);
}

TEST_F(EpldTest, BadImagesAreRefusedWhereTheDeviceNotices) {
  std::vector<uint8_t> good = inflate_image("PX2214087");
  ASSERT_EQ(good.size(), 98023u);
  struct {
    const char* what;
    size_t corrupt;  // index of a byte to flip, or SIZE_MAX
    size_t length;
    long error_at;   // -1: no error, but also no CONF_DONE
  } rows[] = {
      {"bad sync word", 17, good.size(), 19},
      {"bad length field", 38, good.size(), 39},
      {"payload bit flipped", 5000, good.size(), 98022},
      {"cut short", SIZE_MAX, 60000, -1},
  };
  for (const auto& r : rows) {
    std::vector<uint8_t> image(good.begin(), good.begin() + r.length);
    if (r.corrupt != SIZE_MAX) image[r.corrupt] ^= 0x01;
    pulse();
    EXPECT_EQ(shift(image), r.error_at) << r.what;
    EXPECT_FALSE(conf_done()) << r.what;
  }
}

TEST_F(EpldTest, InjectedFaults) {
  std::vector<uint8_t> image = inflate_image("PX5581320");
  board::epld_config().set_error_at_byte(57, 1);
  pulse();
  EXPECT_EQ(shift(image), 57);
  pulse();
  EXPECT_EQ(shift(image), -1) << "the fault was for one attempt";
  EXPECT_TRUE(conf_done());
  EXPECT_EQ(board::epld_config().attempts(), 2u);

  board::epld_config().set_release_delay(3);
  pulse();
  EXPECT_FALSE(nstatus());
  EXPECT_FALSE(nstatus());
  EXPECT_TRUE(nstatus());

  board::epld_config().set_stuck_status(true);
  pulse();
  for (int i = 0; i < 100; ++i) ASSERT_FALSE(nstatus());
}

}  // namespace
