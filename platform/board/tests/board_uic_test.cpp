// Interrupt controller model: latching per trigger mode, acknowledgement,
// masking, polarity, delivery to the external-interrupt vector, and the
// routing of the EPLD line to IRQ1.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "board_host.h"
#include "board_io.h"

namespace {

std::function<void()> g_vector_body;
int g_depth = 0, g_max_depth = 0, g_calls = 0;

void test_vector() {
  ++g_calls;
  ++g_depth;
  if (g_depth > g_max_depth) g_max_depth = g_depth;
  if (g_vector_body) g_vector_body();
  --g_depth;
}

class UicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    board::reset();
    g_vector_body = nullptr;
    g_depth = g_max_depth = g_calls = 0;
    board_install_external_vector(&test_vector);
  }
  void TearDown() override {
    board_install_external_vector(nullptr);
    board::shutdown();
  }
};

TEST_F(UicTest, LevelStatusStaysWhileTheInputIsActive) {
  board::uic().force(0x100, true);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x100, 0x100u);
  mtdcr(board::UIC0_SR, 0x100);  // acknowledging an active level input does not clear it
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x100, 0x100u);
  board::uic().force(0x100, false);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x100, 0x100u) << "status is latched";
  mtdcr(board::UIC0_SR, 0x100);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x100, 0u);
}

TEST_F(UicTest, EdgeStatusLatchesOnceAndClearsOnAcknowledge) {
  mtdcr(board::UIC0_TR, 0x100);
  board::uic().force(0x100, true);
  mtdcr(board::UIC0_SR, 0x100);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x100, 0u) << "held input makes no new edge";
  board::uic().force(0x100, false);
  board::uic().force(0x100, true);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x100, 0x100u);
}

TEST_F(UicTest, MaskedStatusIsStatusAndEnable) {
  board_install_external_vector(nullptr);
  mtdcr(board::UIC0_TR, 0x300);
  board::uic().force(0x300, true);
  EXPECT_EQ(mfdcr(board::UIC0_MSR), 0u);
  mtdcr(board::UIC0_ER, 0x200);
  EXPECT_EQ(mfdcr(board::UIC0_MSR), 0x200u);
}

TEST_F(UicTest, VectorRunsWhilePendingAndIsNeverNested) {
  mtdcr(board::UIC0_TR, 0x3);
  // Each run serves one bit; serving bit 0 raises bit 1, which must latch
  // and be served by a later run rather than by a nested one.
  g_vector_body = [] {
    uint32_t msr = mfdcr(board::UIC0_MSR);
    if (msr & 1) {
      mtdcr(board::UIC0_SR, 1);
      board::uic().force(2, true);
    } else if (msr & 2) {
      mtdcr(board::UIC0_SR, 2);
    }
  };
  mtdcr(board::UIC0_ER, 0x3);
  board::uic().force(1, true);
  EXPECT_EQ(g_calls, 2);
  EXPECT_EQ(g_max_depth, 1);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 3, 0u);
}

TEST_F(UicTest, CriticalSourcesDoNotReachTheExternalVector) {
  mtdcr(board::UIC0_TR, 0x1);
  mtdcr(board::UIC0_CR, 0x1);
  mtdcr(board::UIC0_ER, 0x1);
  board::uic().force(1, true);
  EXPECT_EQ(g_calls, 0);
  EXPECT_EQ(mfdcr(board::UIC0_MSR), 1u);
}

TEST_F(UicTest, EpldLineReachesIrq1OnlyWhenThePinIsRouted) {
  // An EPLD channel with a pending interrupt and its OUT2 on.
  reg_write8(0xF0500001, 0x02);  // transmit holding empty
  reg_write8(0xF0500004, 0x08);
  ASSERT_TRUE(board::epld().line());
  mtdcr(board::UIC0_PR, mfdcr(board::UIC0_PR) | 0x20);
  mtdcr(board::UIC0_SR, 0xFFFFFFFF);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x20, 0u) << "pin still a GPIO";
  mtdcr(board::CPC0_CR0, mfdcr(board::CPC0_CR0) & ~0x40000u);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x20, 0u) << "pin still driven by GPIO";
  reg_write32(0xEF600704, reg_read32(0xEF600704) & ~0x2000u);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x20, 0x20u);
  // Polarity: with active-low the idle line would count as active.
  reg_write8(0xF0500001, 0x00);
  mtdcr(board::UIC0_SR, 0x20);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x20, 0u);
  mtdcr(board::UIC0_PR, mfdcr(board::UIC0_PR) & ~0x20u);
  EXPECT_EQ(mfdcr(board::UIC0_SR) & 0x20, 0x20u);
}

TEST_F(UicTest, SourceThatIsNeverServedEndsAsAReportedStorm) {
  board::uic().force(0x100, true);  // level, and the vector serves nothing
  mtdcr(board::UIC0_ER, 0x100);     // returns only because delivery gives up
  EXPECT_EQ(g_calls, 10000);
  EXPECT_EQ(mfdcr(board::UIC0_MSR), 0x100u);
}

TEST(BusTest, UnmappedAccessesFloatAndAreCounted) {
  board::reset();
  uint64_t before = board::unmapped_accesses();
  EXPECT_EQ(reg_read8(0x10000000), 0xFF);
  EXPECT_EQ(reg_read32(0x10000000), 0xFFFFFFFFu);
  reg_write16(0x10000002, 1);
  EXPECT_EQ(board::unmapped_accesses(), before + 3);
  EXPECT_EQ(board::last_unmapped_address(), 0x10000002u);
  board::shutdown();
}

TEST(BusTest, BoardRegisterAnswersByteLanesBigEndian) {
  board::board_config c;
  c.board_id = 6;
  board::reset(c);
  EXPECT_EQ(reg_read16(0xF0200004), 6u << 9 | 0x100);
  EXPECT_EQ(reg_read8(0xF0200004), (6u << 9 | 0x100) >> 8);
  EXPECT_EQ(reg_read16(0xF0200000), 0xFFFF) << "write-only";
  reg_write16(0xF0200000, 0x0087);
  EXPECT_EQ(board::cpld().control(), 0x0087);
  board::shutdown();
}

}  // namespace
