// Setting the sign driver up: the EPLD images it carries, programming the
// EPLD for the module type (with its retries and failures), the FPGA's
// frame size, the line count, brightness and start-up programming.
#include <zlib.h>

#include <fstream>
#include <iterator>

#include "display/driver/epld_images.h"
#include "display/task/display.h"
#include "display/tests/sign_driver_fixture.h"
#include "frame/board/epld_program.h"
#include "mon_api.h"

namespace {

constexpr uint32_t kUicEpld = 0x20;

std::vector<uint8_t> Inflate(const uint8_t* z, uint32_t n) {
  std::vector<uint8_t> out(1u << 20);
  uLongf length = out.size();
  if (uncompress(out.data(), &length, z, n) != Z_OK) return {};
  out.resize(length);
  return out;
}

TEST(SignDriverImages, EveryRowCarriesItsImage) {
  const std::string here = __FILE__;
  const std::string root = here.substr(0, here.rfind("display/tests/"));
  for (uint32_t i = 0; i < BUILTIN_MODULE_TYPE_COUNT; ++i) {
    const module_type_row& row = g_builtin_module_types[i];
    SCOPED_TRACE(row.part_number);
    ASSERT_NE(row.image, nullptr);
    EXPECT_EQ(row.image[0], 0x78);
    EXPECT_EQ(row.image[1], 0xDA);
    EXPECT_EQ(Inflate(row.image, row.image_size).size(), EPLD_IMAGE_SIZE);
    // The same stream as the committed image file.
    std::ifstream in(root + "data/epld/" + row.part_number + ".zlib", std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(file, std::vector<uint8_t>(row.image, row.image + row.image_size));
  }
}

class SignDriverConfigureTest : public SignDriverTest {
 protected:
  // A board whose EPLD holds nothing yet.
  void SetUp() override {
    board::board_config c;
    c.epld_configured = false;
    Start(c);
  }
  uint32_t Attempts() { return board::epld_config().attempts(); }
};

TEST_F(SignDriverConfigureTest, ProgramsTheImageOfTheModuleTypeAndSetsTheFpgaUp) {
  // Start-up left the EPLD running with the first row's image; the
  // module-data driver serves the EPLD's interrupt.
  InThread([] { CQ5DisplayDriver::JustProgramEPLD(); });
  AttachLines();
  Interrupt* handler = Interrupt::Lookup(kUicEpld);
  ASSERT_NE(handler, nullptr);
  ASSERT_TRUE(reg_read8(0xF0500028) & 0x80);
  SetVol(vol::dmsControlMode, 2);
  ASSERT_EQ(mon_tfsadd(CQ5DisplayDriver::STALE_IMAGE_FILE, "", nullptr, "x", 1), 0);
  EXPECT_EQ(CQ5DisplayDriver::EpldReady(), 0) << "start-up programming leaves the flag alone";
  const uint32_t before = Attempts();

  trace_capture cap;
  Configure(14, 75, 154);
  EXPECT_EQ(cap.text(), " - Programming EPLD\t\t\t\t\t[ OK ]\n");
  EXPECT_EQ(Attempts(), before + 1);
  EXPECT_EQ(board::epld_config().part_number(), "PX2214087");
  EXPECT_EQ(CQ5DisplayDriver::EpldReady(), 1);
  EXPECT_EQ(CQ5DisplayDriver::LineCount(), 2);
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
  EXPECT_EQ(mon_tfsstat(CQ5DisplayDriver::STALE_IMAGE_FILE), nullptr);
  // The FPGA: control byte of the row, frame size of the sign.
  EXPECT_EQ(reg_read16(0xF0400000), 0x0100);
  EXPECT_EQ(reg_read16(0xF0400002), 75);
  EXPECT_EQ(reg_read16(0xF0400004), 14);
  // The EPLD: programmed, local control, and what it served before.
  const uint8_t control = reg_read8(0xF0500022);
  EXPECT_EQ(control & 0x1C, 0x0C);
  EXPECT_EQ(Interrupt::Lookup(kUicEpld), handler);
  EXPECT_TRUE(mfdcr(0xC2) & kUicEpld);
  EXPECT_TRUE(reg_read8(0xF0500028) & 0x80);
  // The display lines learn the row's bit rate.
  EXPECT_EQ(TemplateCodes(board::can_fifo().take_packets()), std::vector<uint8_t>{1});
  EXPECT_EQ(driver_.GetHeight(), 14);
  EXPECT_EQ(driver_.GetWidth(), 75);

  // A bit-rate option of n sends code n - 2.
  SetNv(nv::quorCANBaudRate, 4);
  driver_.m_nModuleType = -1;
  Configure(14, 75, 154);
  EXPECT_EQ(TemplateCodes(board::can_fifo().take_packets()), std::vector<uint8_t>{2});
}

TEST_F(SignDriverConfigureTest, SameTypeReappliesTheGeometryOnly) {
  Configure(14, 25, 21);
  const uint32_t attempts = Attempts();
  reg_write8(0xF0500022, reg_read8(0xF0500022) | 0x10);
  trace_capture cap;
  Configure(21, 30, 21);
  EXPECT_EQ(cap.text(), " - Programming EPLD\t\t\t\t\t[FAIL]\n\terror programming epld\n");
  EXPECT_EQ(Attempts(), attempts);
  EXPECT_EQ(CQ5DisplayDriver::LineCount(), 3);
  EXPECT_EQ(reg_read16(0xF0400004), 21);
  EXPECT_EQ(reg_read16(0xF0400002), 30);
  EXPECT_EQ(reg_read8(0xF0500022) & 0x10, 0) << "bit 4 is cleared by every call";

  // Unless the EPLD says it lost its configuration.
  board::epld_config().power_up(false);
  cap.clear();
  Configure(21, 30, 21);
  EXPECT_EQ(cap.text(), " - Programming EPLD\t\t\t\t\t[ OK ]\n");
  EXPECT_EQ(Attempts(), attempts + 1);
  EXPECT_EQ(epld_status_bit(), 0x80u);
}

TEST_F(SignDriverConfigureTest, FailedAttemptIsRetried) {
  board::epld_config().power_up(true);
  AttachLines();
  Interrupt* handler = Interrupt::Lookup(kUicEpld);
  board::epld_config().set_error_at_byte(57, 1);
  trace_capture cap;
  Configure(14, 25, 21);
  EXPECT_EQ(cap.text(),
            " - Programming EPLD\t\t\t\t\tEPLD Program Error 1:57\n"
            "EPLD Program Error - Type:21 - 14x25\n[ OK ]\n");
  EXPECT_EQ(Attempts(), 2u);
  EXPECT_EQ(epld_status_bit(), 0x80u);
  // The retry found the EPLD blank and its handler gone; both come back as
  // they were before the first attempt.
  EXPECT_EQ(Interrupt::Lookup(kUicEpld), handler);
  EXPECT_TRUE(mfdcr(0xC2) & kUicEpld);
  EXPECT_TRUE(reg_read8(0xF0500028) & 0x80);
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
}

TEST_F(SignDriverConfigureTest, EpldThatNeverTakesTheImageIsReportedAsAFailure) {
  board::epld_config().set_error_at_byte(57, -1);
  trace_capture cap;
  Configure(14, 25, 21);
  // One attempt and five retries, then the display runs with what it has.
  EXPECT_EQ(Attempts(), 6u);
  size_t errors = 0;
  for (size_t at = 0; (at = cap.text().find("EPLD Program Error - Type:21 - 14x25\n", at)) != std::string::npos; ++at)
    ++errors;
  EXPECT_EQ(errors, 6u);
  EXPECT_NE(cap.text().find("[FAIL]\n\terror programming epld\n"), std::string::npos) << cap.text();
  EXPECT_EQ(cap.text().find("[ OK ]"), std::string::npos);
  EXPECT_EQ(CQ5DisplayDriver::EpldReady(), 1);
  EXPECT_EQ(reg_read16(0xF0400004), 14) << "the frame size is set up all the same";
  EXPECT_EQ(board::cpld().control() & BOARD_CONTROL_EPLD_ERROR, BOARD_CONTROL_EPLD_ERROR);
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
}

TEST_F(SignDriverConfigureTest, TypeWithoutARowOrWithoutABuffer) {
  trace_capture cap;
  Configure(35, 25, 99);
  EXPECT_EQ(cap.text(),
            " - Programming EPLD\t\t\t\t\t\n\tmod not found or buffer unavailable!\t\t"
            "[FAIL]\n\terror programming epld\n");
  EXPECT_EQ(Attempts(), 0u);
  EXPECT_EQ(CQ5DisplayDriver::LineCount(), 5) << "7 rows a line, as the default record";
  EXPECT_EQ(CQ5DisplayDriver::EpldReady(), 0);

  // The pool's blocks are all out.
  void* a = nullptr;
  void* b = nullptr;
  ASSERT_EQ(g_gpbuffer.Allocate(&a, GPBUFFER_FILE_TRANSFER), 1);
  ASSERT_EQ(g_gpbuffer.Allocate(&b, GPBUFFER_EPLD - 4096), 1);
  cap.clear();
  Configure(14, 25, 21);
  EXPECT_EQ(cap.text(),
            " - Programming EPLD\t\t\t\t\tCQ5DisplayDriver::Configure: failed to get gpBuffer\n"
            "\n\tmod not found or buffer unavailable!\t\t[FAIL]\n\terror programming epld\n");
  EXPECT_EQ(Attempts(), 0u);
  g_gpbuffer.Release(&a);
  g_gpbuffer.Release(&b);

  // With the table emptied no type has a row.
  select_module_type_table(0);
  driver_.m_nModuleType = -1;
  cap.clear();
  Configure(14, 25, 97);
  EXPECT_NE(cap.text().find("mod not found"), std::string::npos);
  EXPECT_EQ(Attempts(), 0u);
}

TEST_F(SignDriverConfigureTest, LineCountFollowsTheSignAndTheHardware) {
  trace_capture quiet;
  Configure(14, 25, 21);
  struct {
    int32_t height, width, type;
    uint8_t chain;  // the display's modules per CAN line (0: not known)
    uint8_t lines;
  } cases[] = {
      {14, 25, 21, 0, 2},
      {63, 25, 21, 0, 9},
      {70, 25, 21, 0, 9},      // ten rows of modules: the hardware has nine lines
      {140, 25, 21, 0, 9},
      {28, 25, 21, 3, 8},      // four lines, five modules across a chain of three
      {28, 15, 21, 3, 4},      // three modules across fit
      {49, 25, 21, 3, 9},      // seven lines driven as fourteen
      {14, 75, 154, 9, 4},     // 15-wide modules count a third of the chain
      {14, 45, 154, 9, 2},
  };
  for (const auto& c : cases) {
    CDisplay display(&g_post_office);
    display.m_dwFaceCount = c.chain ? 1 : 0;
    display.FaceDescription(0).modules_per_line = c.chain;
    driver_.m_nModuleType = c.type;  // no programming
    Configure(c.height, c.width, c.type);
    EXPECT_EQ(CQ5DisplayDriver::LineCount(), c.lines) << c.height << "x" << c.width << " chain " << int(c.chain);
    display.m_dwFaceCount = 0;
  }
}

TEST_F(SignDriverConfigureTest, FrameSizeOfModulesCountedTheirOwnWay) {
  trace_capture quiet;
  board::epld_config().power_up(true);
  struct {
    int32_t height, width, type;
    uint16_t height_reg, width_reg;
  } cases[] = {
      {14, 25, 21, 14, 25},
      {10, 21, 5, 14, 15},   // (h / 5) * 7, (w / 7) * 5
      {10, 30, 27, 16, 30},  // (h / 5) * 8
      {0x12345, 0x10002, 21, 0x2345, 0x0002},
  };
  for (const auto& c : cases) {
    driver_.m_nModuleType = c.type;
    Configure(c.height, c.width, c.type);
    EXPECT_EQ(reg_read16(0xF0400004), c.height_reg) << c.type;
    EXPECT_EQ(reg_read16(0xF0400002), c.width_reg) << c.type;
  }
}

TEST_F(SignDriverConfigureTest, BrightnessIsCappedAndNeverZero) {
  trace_capture quiet;
  Configure(14, 25, 21);  // FPGA control byte 1
  struct {
    int32_t level;
    uint32_t cap;
    uint8_t written;
  } cases[] = {
      {77, 255, 77}, {0, 255, 1}, {-5, 255, 1}, {255, 255, 255}, {300, 255, 255}, {150, 100, 100},
      {100, 100, 100}, {1000, 0x1FF, 0xFF},
  };
  CDisplay display(&g_post_office);
  for (const auto& c : cases) {
    display.m_dwBrightnessCap = c.cap;
    driver_.SetBrightness(c.level);
    EXPECT_EQ(driver_.GetBrightness(), c.written) << c.level;
    EXPECT_EQ(reg_read16(0xF0400000), 0x0100 | c.written) << "the high byte comes from the FPGA's status";
  }
}

TEST_F(SignDriverConfigureTest, StartUpProgramsTheFirstRow) {
  trace_set_level(1);
  trace_capture cap;
  InThread([] { CQ5DisplayDriver::JustProgramEPLD(); });
  EXPECT_EQ(cap.text(), "JustProgramEPLD - Success!\n");
  EXPECT_EQ(board::epld_config().part_number(), "PX2214087");
  EXPECT_EQ(CQ5DisplayDriver::EpldReady(), 0);
  EXPECT_EQ(reg_read16(0xF0400004), 0) << "the frame size waits for Configure";
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);

  board::epld_config().set_error_at_byte(57, 1);
  cap.clear();
  InThread([] { CQ5DisplayDriver::JustProgramEPLD(); });
  EXPECT_EQ(cap.text(), "EPLD Program Error 1:57\nJustProgramEPLD - EPLD Program Error\n");

  void* a = nullptr;
  void* b = nullptr;
  ASSERT_EQ(g_gpbuffer.Allocate(&a, GPBUFFER_FILE_TRANSFER), 1);
  ASSERT_EQ(g_gpbuffer.Allocate(&b, GPBUFFER_EPLD - 4096), 1);
  const uint32_t attempts = Attempts();
  cap.clear();
  InThread([] { CQ5DisplayDriver::JustProgramEPLD(); });
  EXPECT_EQ(cap.text(), "CQ5DisplayDriver::JustProgramEPLD: error getting gpbuffer\n");
  g_gpbuffer.Release(&a);
  g_gpbuffer.Release(&b);

  select_module_type_table(0);
  cap.clear();
  InThread([] { CQ5DisplayDriver::JustProgramEPLD(); });
  EXPECT_EQ(cap.text(), "");
  EXPECT_EQ(Attempts(), attempts);
}

}  // namespace
