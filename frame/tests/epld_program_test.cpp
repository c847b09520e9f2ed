// Loading the EPLD from the committed images through the configuration port
// model, and every way the load can fail.
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "frame/board/board_control.h"
#include "frame/board/epld_program.h"
#include "frame/tests/board_fixture.h"
#include "frame/trace/trace.h"

namespace {

std::vector<uint8_t> inflate_image(const std::string& part) {
  std::string f = __FILE__;
  std::ifstream in(f.substr(0, f.rfind("frame/tests/")) + "data/epld/" + part + ".zlib", std::ios::binary);
  std::vector<uint8_t> z((std::istreambuf_iterator<char>(in)), {});
  // The display driver inflates into a 1 MB work block.
  std::vector<uint8_t> out(1 << 20);
  uLongf n = out.size();
  if (z.empty() || uncompress(out.data(), &n, z.data(), z.size()) != Z_OK) return {};
  out.resize(n);
  return out;
}

class EpldProgramTest : public BoardTest {
 protected:
  void SetUp() override {
    board::board_config c;
    c.epld_configured = false;
    StartBoard(c);
    image = inflate_image("PX2214087");
    ASSERT_EQ(image.size(), 98023u);
  }
  uint32_t Program(const uint8_t* data, uint32_t length) {
    rtos::cpu_scope scope;  // start-up runs it before the tasks
    return ProgramEPLD(data, length);
  }
  bool ErrorIndicator() { return board::cpld().control() & BOARD_CONTROL_EPLD_ERROR; }
  std::vector<uint8_t> image;
};

TEST_F(EpldProgramTest, EveryImageLoads) {
  for (const char* part : {"PX2214087", "PX5581320", "PX6642915", "PX7730468"}) {
    std::vector<uint8_t> data = inflate_image(part);
    trace_capture cap;
    EXPECT_EQ(Program(data.data(), data.size()), 1u) << part;
    EXPECT_EQ(cap.text(), "");
    EXPECT_EQ(board::epld_config().part_number(), part);
    EXPECT_EQ(epld_status_bit(), 0x80u);
    EXPECT_EQ(epld_nstatus_bit(), 0x20u);
    EXPECT_FALSE(ErrorIndicator());
    EXPECT_EQ(board::cpld().control(), board_control_shadow()) << "written through the shadow";
  }
  reg_write8(0xF0500007, 0x55);
  EXPECT_EQ(reg_read8(0xF0500007), 0x55) << "the EPLD's registers answer";
}

TEST_F(EpldProgramTest, NullImageLeavesTheDeviceAlone) {
  trace_capture cap;
  EXPECT_EQ(Program(nullptr, 98023), 0u);
  EXPECT_EQ(cap.text(), "ProgramEPLD: Null pointer error\n");
  EXPECT_EQ(board::epld_config().attempts(), 0u) << "no configuration pulse";
}

TEST_F(EpldProgramTest, StatusNeverReleased) {
  board::epld_config().set_stuck_status(true);
  trace_capture cap;
  EXPECT_EQ(Program(image.data(), image.size()), 0u);
  EXPECT_EQ(cap.text(), "ProgramEPLD: EPLD didn't release nStatus\nEPLD Program Error 2\n");
  EXPECT_EQ(board::epld_config().bytes_received(), 0u) << "no data shifted";
  EXPECT_TRUE(ErrorIndicator());
  EXPECT_EQ(epld_status_bit(), 0u);
}

TEST_F(EpldProgramTest, StatusReleasedLateIsWaitedFor) {
  board::epld_config().set_release_delay(50000);
  EXPECT_EQ(Program(image.data(), image.size()), 1u);
}

TEST_F(EpldProgramTest, ErrorAfterAByteIsReportedWithItsIndex) {
  board::epld_config().set_error_at_byte(57);
  trace_capture cap;
  EXPECT_EQ(Program(image.data(), image.size()), 0u);
  EXPECT_EQ(cap.text(), "EPLD Program Error 1:57\n");
  EXPECT_EQ(board::epld_config().bytes_received(), 58u) << "stopped at once";
  EXPECT_TRUE(ErrorIndicator());
  // The fault was for one attempt: the caller's retry loads the device and
  // clears the indicator.
  cap.clear();
  EXPECT_EQ(Program(image.data(), image.size()), 1u);
  EXPECT_EQ(cap.text(), "");
  EXPECT_FALSE(ErrorIndicator());
}

TEST_F(EpldProgramTest, PersistentErrorFailsEveryRetry) {
  board::epld_config().set_error_at_byte(1000, -1);
  trace_capture cap;
  for (int attempt = 0; attempt < 3; ++attempt) EXPECT_EQ(Program(image.data(), image.size()), 0u);
  EXPECT_EQ(cap.text(), "EPLD Program Error 1:1000\nEPLD Program Error 1:1000\nEPLD Program Error 1:1000\n");
  EXPECT_EQ(board::epld_config().attempts(), 3u);
}

TEST_F(EpldProgramTest, DamagedImagesFail) {
  struct {
    const char* what;
    uint32_t length;
    size_t flip;
    const char* message;
  } rows[] = {
      {"cut short", 50000, SIZE_MAX, "EPLD Program Error 2\n"},
      {"empty", 0, SIZE_MAX, "EPLD Program Error 2\n"},
      {"corrupt payload", 98023, 4242, "EPLD Program Error 1:98022\n"},
  };
  for (const auto& r : rows) {
    std::vector<uint8_t> data = image;
    if (r.flip != SIZE_MAX) data[r.flip] ^= 0x80;
    trace_capture cap;
    EXPECT_EQ(Program(data.data(), r.length), 0u) << r.what;
    EXPECT_EQ(cap.text(), r.message) << r.what;
    EXPECT_TRUE(ErrorIndicator()) << r.what;
  }
}

}  // namespace
