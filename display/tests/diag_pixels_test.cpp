// Pixel reports of the display modules decoded into failed pixels, one
// example per report layout, and the rules of marking: which frame, which
// colour bits, and what lies outside the modules.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "display/tests/diag_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
// Failed pixels as (row, column, colour bits), both from 1.
using Marks = std::vector<std::tuple<int, int, uint32_t>>;

class DiagPixelsTest : public DiagTest {
 protected:
  // A face of 2 module rows of 4 modules of R x W pixels.
  void Shape(uint16_t type, uint8_t R, uint8_t W, uint8_t depth = 1, uint8_t per_line = 0) {
    desc_.module_type = type;
    desc_.module_height = R;
    desc_.module_width = W;
    desc_.height = static_cast<uint16_t>(2 * R);
    desc_.width = static_cast<uint16_t>(4 * W);
    desc_.depth = depth;
    desc_.modules_per_line = per_line;
  }
  void Reopen() {
    InThread([&] {
      core_.DetachFace(&face_);
      face_.Close();
    });
    OpenFace();
  }
  void StartTest() {
    InThread([&] { ASSERT_TRUE(diag_.StartPixelTest()); });
    Packets();
  }
  void Decode(uint32_t line, uint32_t id, const Bytes& d) {
    InThread([&] { diag_.DecodePixelErrors(line, id, static_cast<uint32_t>(d.size()), d.data()); });
  }
  static Marks Read(disp::frame& f) {
    Marks out;
    for (uint16_t y = 0; y < f.Height(); ++y)
      for (uint16_t x = 0; x < f.Width(); ++x) {
        disp::pixel p(x, y);
        if (f.GetPixel(p) && p.value) out.emplace_back(y + 1, x + 1, p.value);
      }
    return out;
  }
  Marks Results() { return Read(diag_.m_Frames[diag_ksr7100::FRAME_RESULTS]); }
  Marks Aux() { return Read(diag_.m_Frames[diag_ksr7100::FRAME_AUX]); }
};

struct LayoutCase {
  const char* name;
  uint16_t type;
  uint8_t R, W, depth, per_line;
  uint32_t line, id;
  Bytes data;
  Marks marks;
};

TEST_F(DiagPixelsTest, EachLayoutMarksItsExamplePixels) {
  const LayoutCase cases[] = {
      // Two-plane layouts: the code of a pixel is (high bit, low bit); any
      // non-zero code is a failure of colour 1.
      {"A two columns", 1, 7, 5, 1, 0, 0, 0x300, {0x01, 0, 0x40, 0, 0x02}, {{1, 1, 1}, {2, 1, 1}, {7, 2, 1}}},
      {"A last column only", 1, 7, 5, 1, 0, 0, 0x304, {0x01, 0, 0x01, 0}, {{1, 5, 1}}},
      {"B code 3", 2, 9, 5, 1, 0, 0, 0x300, {0x01, 0, 0, 0, 0x01}, {{1, 1, 1}}},
      {"B code 1 and row 8", 2, 9, 5, 1, 0, 0, 0x300, {0, 0x01, 0, 0, 0x01}, {{1, 1, 1}, {9, 1, 1}}},
      {"B second line", 2, 9, 5, 1, 0, 1, 0x308, {0, 0, 0, 0, 0x01}, {{10, 6, 1}}},
      {"C right half of module 1", 3, 8, 8, 1, 0, 0, 0x309, {0x80, 0, 0, 0, 0, 0, 0, 0x01}, {{8, 13, 1}, {1, 16, 1}}},
      {"D", 4, 16, 16, 1, 0, 0, 0x301, {0x01, 0x80, 0, 0, 0, 0, 0, 0x01}, {{1, 3, 1}, {16, 3, 1}, {9, 4, 1}}},
      {"E bottom rows", 5, 5, 7, 1, 0, 0, 0x300, {0x01, 0, 0x40, 0}, {{5, 1, 1}, {4, 7, 1}}},
      {"E top row", 5, 5, 7, 1, 0, 0, 0x302, {0x02, 0, 0x01, 0}, {{1, 2, 1}}},
      {"F across the module end", 8, 9, 6, 1, 0, 0, 0x305, {0x01, 0, 0x01, 0}, {{1, 6, 1}, {1, 7, 1}}},
      {"G", 106, 8, 5, 1, 0, 0, 0x303, {0x80, 0x01, 0, 0, 0, 0x02}, {{8, 4, 1}, {1, 5, 1}, {2, 5, 1}}},
      {"G last column only", 106, 8, 5, 1, 0, 0, 0x304, {0x80, 0x01}, {{8, 5, 1}}},
      // Single-bit layouts: the colour comes from the identifier.
      {"H eighths", 17, 7, 5, 3, 63, 0, 0x30A, {0x01}, {{1, 6, 2}}},
      {"H sixteenths, all colours", 17, 7, 5, 3, 0, 0, 0x31A, {0, 0, 0, 0, 0x40}, {{7, 10, 7}}},
      {"I", 18, 9, 5, 3, 0, 0, 0x310, {0x80, 0, 0, 0, 0, 0x10}, {{8, 6, 7}, {9, 10, 7}}},
      {"J", 21, 7, 5, 3, 0, 0, 0x309, {0, 0, 0x04}, {{3, 8, 1}}},
      {"K row 8", 22, 9, 5, 3, 0, 0, 0x30B, {0, 0, 0, 0, 0, 0x88}, {{9, 6, 4}, {9, 10, 4}}},
      {"L", 23, 8, 8, 3, 0, 0, 0x30A, {0, 0, 0, 0, 0, 0, 0, 0x80}, {{8, 16, 2}}},
      {"M", 11, 8, 8, 3, 0, 0, 0x313, {0x01}, {{1, 9, 4}}},
      {"N", 24, 16, 16, 1, 0, 0, 0x30A, {0x01, 0, 0, 0, 0, 0, 0, 0x80}, {{1, 25, 1}, {16, 28, 1}}},
      {"P lower right quarter", 97, 16, 16, 3, 0, 0, 0x317, {0x01, 0, 0, 0, 0, 0, 0, 0x80}, {{9, 25, 1}, {16, 32, 1}}},
      {"P second line", 97, 16, 16, 3, 0, 1, 0x300, {0x01}, {{17, 1, 7}}},
      {"Q", 27, 5, 8, 3, 0, 1, 0x312, {0x10}, {{10, 9, 2}}},
      {"R", 172, 24, 1, 1, 0, 0, 0x302, {0x01, 0, 0x80}, {{17, 3, 1}, {8, 3, 1}}},
      {"R second line", 172, 24, 1, 1, 0, 1, 0x300, {0, 0x01}, {{33, 1, 1}}},
      {"unknown type", 50, 7, 5, 1, 0, 0, 0x300, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {}},
  };
  bool open = false;
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    Shape(c.type, c.R, c.W, c.depth, c.per_line);
    if (open) {
      Reopen();
    } else {
      OpenFace();
      open = true;
    }
    StartTest();
    Decode(c.line, c.id, c.data);
    Marks got = Results();
    Marks want = c.marks;
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
  }
}

TEST_F(DiagPixelsTest, SplitLinesPlaceTheSecondLineAfterTheFirstLinesModules) {
  // 4 modules a row, 3 a line: line 2r + 1 serves the fourth module of row r.
  Shape(2, 9, 5, 1, 3);
  OpenFace();
  StartTest();
  Decode(1, 0x300, {0x01});
  Decode(3, 0x300, {0x01});
  Decode(2, 0x308, {0x01});
  EXPECT_EQ(Results(), (Marks{{1, 16, 1}, {10, 6, 1}, {10, 16, 1}}));
}

TEST_F(DiagPixelsTest, ReportsThatNameNothingMarkNothing) {
  Shape(21, 7, 5, 1);
  desc_.modules_per_row[1] = 2;  // a short second row
  desc_.total_modules = 6;
  OpenFace();
  StartTest();
  Decode(0, 0x300, {});                  // no data
  Decode(9, 0x300, {0xFF});              // no such line
  Decode(0xFFFFFFFF, 0x300, {0xFF});     // channel 0
  Decode(1, 0x310, {0xFF});              // module 2 of a row of 2
  Decode(0, 0x320, {0xFF});              // module 4 of a row of 4
  InThread([&] { diag_.DecodePixelErrors(0, 0x300, 1, nullptr); });
  EXPECT_TRUE(Results().empty());
  // A report carries at most 8 bytes; the rest are not read.
  Decode(0, 0x300, {0, 0, 0, 0, 0, 0, 0, 0, 0xFF});
  EXPECT_TRUE(Results().empty());

  // Faces with two response words number their reports from 0x500.
  desc_.two_response_words = 1;
  desc_.modules_per_row[1] = 4;
  desc_.total_modules = 8;
  InThread([&] {
    core_.DetachFace(&face_);
    face_.Close();
  });
  OpenFace();
  StartTest();
  Decode(0, 0x4FF, {0xFF});
  EXPECT_TRUE(Results().empty());
  Decode(0, 0x508, {0x01});
  EXPECT_EQ(Results(), (Marks{{1, 6, 1}}));
}

TEST_F(DiagPixelsTest, OutsideATestMarksGoToTheAuxFrameAndCanBeCleared) {
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  Shape(21, 7, 5, 2);
  OpenFace();
  InThread([&] {
    diag_.MarkPixel(1, 1, 1, 1);
    diag_.MarkPixel(1, 1, 2, 2);  // ORed in
    diag_.MarkPixel(2, 2, 3, 0);  // all colours of a depth-2 face
    diag_.MarkPixel(14, 20, 1, 1);
    diag_.MarkPixel(15, 1, 1, 1);  // below the face
    diag_.MarkPixel(1, 21, 1, 1);  // right of the modules
    diag_.MarkPixel(0, 1, 1, 1);
  });
  EXPECT_EQ(Aux(), (Marks{{1, 1, 3}, {2, 2, 3}, {14, 20, 1}}));
  EXPECT_TRUE(Results().empty());
  InThread([&] { diag_.MarkPixel(1, 1, 0, 1); });
  EXPECT_EQ(Aux(), (Marks{{2, 2, 3}, {14, 20, 1}}));

  // During a test marks only add to the result frame.
  StartTest();
  InThread([&] {
    diag_.MarkPixel(3, 3, 1, 2);
    diag_.MarkPixel(3, 3, 0, 0);
    diag_.MarkPixel(2, 2, 0, 0);
  });
  EXPECT_EQ(Results(), (Marks{{3, 3, 2}}));
  EXPECT_EQ(Aux(), (Marks{{2, 2, 3}, {14, 20, 1}}));
}

struct BitsCase {
  uint8_t depth, type_flag;
  uint32_t colour;
  uint32_t bits;
};

TEST_F(DiagPixelsTest, ColourBitsFollowTheFace) {
  const BitsCase cases[] = {
      {3, 2, 0, 7}, {3, 2, 4, 7}, {3, 2, 2, 2}, {3, 2, 3, 4}, {2, 2, 0, 3},
      {1, 1, 0, 3}, {1, 2, 0, 1}, {1, 2, 1, 1}, {15, 2, 9, 1},
  };
  bool open = false;
  for (const BitsCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << int(c.depth) << " flag " << int(c.type_flag) << " colour "
                                    << c.colour);
    Shape(21, 7, 5, 3);
    desc_.module_type_flag = c.type_flag;
    desc_.depth = c.depth;
    if (open) {
      Reopen();
    } else {
      OpenFace();
      open = true;
    }
    StartTest();
    // The depth-3 result frame shows every bit the mark sets.
    diag_.m_Frames[diag_ksr7100::FRAME_RESULTS].Close();
    diag_.m_Frames[diag_ksr7100::FRAME_RESULTS].Open(desc_.height, desc_.width, 0, 3);
    InThread([&] { diag_.MarkPixel(1, 1, 1, c.colour); });
    EXPECT_EQ(Results(), (Marks{{1, 1, c.bits}}));
  }
}

TEST_F(DiagPixelsTest, AMissingModuleIsMarkedWholeAndClearedWhole) {
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  Shape(21, 7, 5, 1, 3);  // split lines
  OpenFace();
  InThread([&] { diag_.MarkModule(3, 0, 3, 0); });
  const Marks aux = Aux();
  ASSERT_EQ(aux.size(), 35u);
  EXPECT_EQ(aux.front(), (std::tuple<int, int, uint32_t>{8, 16, 1}));
  EXPECT_EQ(aux.back(), (std::tuple<int, int, uint32_t>{14, 20, 1}));
  InThread([&] { diag_.MarkModule(3, 0, 0, 0); });
  EXPECT_TRUE(Aux().empty());
  // A position beyond the row marks nothing.
  InThread([&] { diag_.MarkModule(3, 1, 3, 0); });
  EXPECT_TRUE(Aux().empty());
}

}  // namespace
