// The pixel surface: storage of each depth, bounds, allocation and fills.
#include <vector>

#include "display/surface/surface.h"
#include "display/tests/font_fixture.h"

using SurfaceTest = FontDbTest;

TEST_F(SurfaceTest, EachDepthStoresAndReadsBackItsOwnWay) {
  const struct {
    uint8_t depth;
    uint32_t colour;
    std::vector<uint8_t> stored;
    uint32_t read;
  } cases[] = {
      {1, 0x0001, {1}, 0x7C00},
      {1, 0x7FFF, {1}, 0x7C00},
      {1, 0x0000, {0}, 0},
      {2, 0x021F, {3}, 0x7F70},  // red and green bits
      {2, 0x001F, {1}, 0x7C00},
      {2, 0x0020, {2}, 0x0370},
      {2, 0x7C00, {0}, 0},  // blue alone shows nothing
      {8, 0x1234, {0x34}, 0x34},
      {15, 0x7FFF, {0x7F, 0xFF}, 0x7FFF},
      {15, 0x03E0, {0x03, 0xE0}, 0x03E0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.depth) << " " << std::hex << c.colour);
    CSurface s;
    ASSERT_NE(s.Allocate(3, 4, c.depth), nullptr);
    const uint32_t bpp = c.depth == 15 ? 2 : 1;
    EXPECT_EQ(s.Size(), 12 * bpp);
    s.SetPixel(2, 1, c.colour);
    const uint8_t* p = s.Pixels() + (1 * 4 + 2) * bpp;
    EXPECT_EQ(std::vector<uint8_t>(p, p + bpp), c.stored);
    EXPECT_EQ(s.GetPixel(2, 1), c.read);
    // Nothing else changed.
    for (uint32_t i = 0; i < s.Size(); ++i)
      if (i / bpp != 6) { EXPECT_EQ(s.Pixels()[i], 0) << i; }
  }
}

TEST_F(SurfaceTest, NothingHappensOutsideTheSurface) {
  CSurface s;
  ASSERT_NE(s.Allocate(5, 7, 15), nullptr);
  const int32_t outside[][2] = {{7, 0}, {0, 5}, {-1, 0}, {0, -1}, {7, 5}, {INT32_MAX, 0}, {0, INT32_MIN}};
  for (const auto& o : outside) {
    s.SetPixel(o[0], o[1], 0x7FFF);
    EXPECT_EQ(s.GetPixel(o[0], o[1]), 0u);
  }
  for (uint32_t i = 0; i < s.Size(); ++i) EXPECT_EQ(s.Pixels()[i], 0);
  s.SetPixel(6, 4, 0x1111);
  EXPECT_EQ(s.GetPixel(6, 4), 0x1111u);
  // Unallocated: no store, nothing read or written.
  CSurface none;
  none.SetPixel(0, 0, 1);
  EXPECT_EQ(none.GetPixel(0, 0), 0u);
  none.Fill(1);
  none.Clear();
  none.FillRect(0, 0, 10, 10, 1);
}

TEST_F(SurfaceTest, AllocateKeepsAStoreOfTheSameShape) {
  CSurface s;
  uint8_t* first = s.Allocate(8, 16, 8);
  ASSERT_NE(first, nullptr);
  s.SetPixel(3, 3, 0x55);
  EXPECT_EQ(s.Allocate(8, 16, 8), first);
  EXPECT_EQ(s.GetPixel(3, 3), 0x55u);
  // Another depth or size: a new zeroed store.
  ASSERT_NE(s.Allocate(8, 16, 15), nullptr);
  EXPECT_EQ(s.Depth(), 15);
  EXPECT_EQ(s.Size(), 8u * 16 * 2);
  EXPECT_EQ(s.GetPixel(3, 3), 0u);
  ASSERT_NE(s.Allocate(16, 8, 15), nullptr);
  EXPECT_EQ(s.Width(), 8u);
  EXPECT_EQ(s.Height(), 16u);
  // Depths the surface does not know, and sizes beyond memory.
  EXPECT_EQ(s.Allocate(8, 8, 4), nullptr);
  EXPECT_FALSE(s.IsAllocated());
  EXPECT_EQ(s.Allocate(0xFFFFFFFF, 0xFFFFFFFF, 15), nullptr);
  EXPECT_FALSE(s.IsAllocated());
  EXPECT_EQ(s.Size(), 0u);
  s.Free();
  EXPECT_EQ(s.Pixels(), nullptr);
}

TEST_F(SurfaceTest, ClearHonoursTheHoldFlag) {
  CSurface s;
  ASSERT_NE(s.Allocate(4, 4, 2), nullptr);
  s.Fill(0x03FF);
  s.m_dwHold = 1;
  s.Clear();
  EXPECT_EQ(s.GetPixel(3, 3), 0x7F70u);
  s.m_dwHold = 0;
  s.Clear();
  EXPECT_EQ(s.GetPixel(3, 3), 0u);
}

TEST_F(SurfaceTest, FillIsHeldBackInSimulationExceptForBlack) {
  CSurface s;
  ASSERT_NE(s.Allocate(2, 3, 15), nullptr);
  s.Fill(0x1234);
  EXPECT_EQ(s.GetPixel(2, 1), 0x1234u);
  SetVol(vol::dmsControlMode, 6);
  s.Fill(0x7FFF);
  EXPECT_EQ(s.GetPixel(0, 0), 0x1234u);
  s.Fill(0);
  EXPECT_EQ(s.GetPixel(0, 0), 0u);
  SetVol(vol::dmsControlMode, 4);
  s.Fill(0x7FFF);
  EXPECT_EQ(s.GetPixel(1, 1), 0x7FFFu);
}

TEST_F(SurfaceTest, LinesAndRectanglesAreClippedToTheSurface) {
  CSurface s;
  ASSERT_NE(s.Allocate(4, 6, 8), nullptr);
  s.DrawColumn(5, 1);
  s.DrawRow(0, 2);
  s.DrawColumn(6, 9);
  s.DrawRow(-1, 9);
  s.FillRect(-2, 2, 4, 10, 3);   // overlaps the left and bottom edges
  s.FillRect(4, -3, 100, 5, 4);  // overlaps the top and right edges
  s.FillRect(7, 0, 1, 1, 9);     // wholly outside
  const char* expected[] = {
      "222244",
      "000044",
      "330001",
      "330001",
  };
  for (uint32_t y = 0; y < 4; ++y) {
    std::string row;
    for (uint32_t x = 0; x < 6; ++x) row += static_cast<char>('0' + s.GetPixel(x, y));
    EXPECT_EQ(row, expected[y]) << y;
  }
}
