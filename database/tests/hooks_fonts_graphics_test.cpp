// Write hooks of the font and graphic tables: status machines, the columns
// that only an editable row may change, sizes against the sign, unique
// numbers.
#include <set>

#include "database/tests/hooks_fixture.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t kFontStatus = 272;
constexpr uint32_t kGraphicStatus = 35464;

}  // namespace

TEST_F(HookTest, FontStatusFollowsItsStateMachine) {
  const std::set<uint32_t> accepts[12] = {
      {}, {7, 9, 10}, {7, 8, 9, 10}, {9}, {7, 8, 9}, {}, {}, {}, {}, {}, {}, {7, 9, 10},
  };
  for (uint32_t stored = 0; stored <= 11; ++stored)
    for (uint32_t v = 0; v <= 12; ++v) {
      Put(nv(), kFontStatus + 5, 1, stored);
      uint32_t expected = accepts[stored].count(v) ? DB_OK : DB_BAD_VALUE;
      EXPECT_EQ(Write(nv(), kFontStatus + 5, 1, v), expected) << stored << " -> " << v;
    }
}

TEST_F(HookTest, GraphicStatusFollowsItsStateMachine) {
  const std::set<uint32_t> accepts[7] = {{}, {7, 9}, {7, 8, 9}, {9}, {7, 8, 9}, {}, {}};
  for (uint32_t stored = 0; stored <= 6; ++stored)
    for (uint32_t v = 0; v <= 10; ++v) {
      Put(nv(), kGraphicStatus + 49, 1, stored);
      uint32_t expected = accepts[stored].count(v) ? DB_OK : DB_BAD_VALUE;
      EXPECT_EQ(Write(nv(), kGraphicStatus + 49, 1, v), expected) << stored << " -> " << v;
    }
}

// Font columns need the font unmanaged (11) or modifying (2); else 5.
TEST_F(HookTest, FontColumnsNeedAnEditableFont) {
  Geometry(6, 0, 0, 100, 200);
  struct column {
    const char* name;
    uint32_t offset;
    bool string;
    uint32_t font;
  } columns[] = {
      {"fontNumber", 72 + 19, false, 19},
      {"fontHeight", 172 + 3, false, 3},
      {"fontCharSpacing", 192, false, 0},
      {"fontLineSpacing", 212 + 7, false, 7},
      {"characterWidth", 292 + 255 * 4 + 254, false, 4},
      {"fontName", 92 + 4 * 19, true, 19},
      {"characterBitmap", 5392 + 4 * (255 * 19 + 254), true, 19},
  };
  for (const column& c : columns)
    for (uint32_t status = 1; status <= 11; ++status) {
      Put(nv(), kFontStatus + c.font, 1, status);
      bool editable = status == 2 || status == 11;
      uint32_t result = c.string ? WriteString(nv(), c.offset, "\x01") : Write(nv(), c.offset, 1, 1);
      EXPECT_EQ(result, editable ? DB_OK : DB_GEN_ERR) << c.name << " in status " << status;
    }
}

TEST_F(HookTest, FontNumbersAreUniqueAmongUnmanagedFonts) {
  for (uint32_t f = 0; f < 20; ++f) Put(nv(), 72 + f, 1, f + 1);
  Put(nv(), kFontStatus + 8, 1, 11);
  EXPECT_EQ(Write(nv(), 72 + 8, 1, 3), DB_BAD_VALUE);  // font 2 has it
  EXPECT_EQ(Write(nv(), 72 + 8, 1, 9), DB_OK);         // its own number
  EXPECT_EQ(Write(nv(), 72 + 8, 1, 42), DB_OK);
  EXPECT_EQ(Write(nv(), 72 + 9, 1, 42), DB_GEN_ERR);  // font 9 is not editable (status 0)
  Put(nv(), kFontStatus + 9, 1, 11);
  EXPECT_EQ(Write(nv(), 72 + 9, 1, 42), DB_BAD_VALUE);  // the second unmanaged font may not take it
  Put(nv(), kFontStatus + 9, 1, 2);
  EXPECT_EQ(Write(nv(), 72 + 9, 1, 42), DB_OK);  // a font being modified is not checked
}

TEST_F(HookTest, FontSizesAgainstTheSign) {
  struct row {
    const char* what;
    uint32_t type;
    uint32_t offset;  // in font 0 (status 11)
    uint32_t limit;   // the largest accepted value; 0: no limit
  } rows[] = {
      // Geometry below: character cell 9 x 6, sign 27 x 120.
      {"height, full matrix", 6, 172, 27},
      {"height, character matrix", 4, 172, 9},
      {"height, line matrix", 5, 172, 9},
      {"height, portable character matrix", 132, 172, 9},
      {"height, portable line matrix", 133, 172, 9},
      {"char spacing, line matrix", 5, 192, 120},
      {"char spacing, full matrix", 6, 192, 120},
      {"char spacing, portable line", 133, 192, 120},
      {"char spacing, portable full", 134, 192, 120},
      {"char spacing, character matrix", 4, 192, 0},
      {"width, character matrix", 4, 292 + 17, 6},
      {"width, portable character matrix", 132, 292 + 17, 6},
      {"width, line matrix", 5, 292 + 17, 120},
      {"width, full matrix", 6, 292 + 17, 120},
  };
  Put(nv(), kFontStatus, 1, 11);
  for (const row& r : rows) {
    Geometry(r.type, 9, 6, 27, 120);
    if (r.limit) {
      EXPECT_EQ(Write(nv(), r.offset, 1, r.limit), DB_OK) << r.what;
      EXPECT_EQ(Write(nv(), r.offset, 1, r.limit + 1), DB_BAD_VALUE) << r.what;
    } else {
      EXPECT_EQ(Write(nv(), r.offset, 1, 255), DB_OK) << r.what;
    }
  }
}

TEST_F(HookTest, CharacterWidthIsTracedWithTheSignWidth) {
  Put(nv(), kFontStatus + 1, 1, 2);
  Geometry(4, 7, 5, 7, 90);
  trace_set_level(1);  // the verbose trace
  trace_capture cap;
  Write(nv(), 292 + 255 + 65, 1, 5);
  EXPECT_TRUE(cap.contains("Char Charwidth val = 5  sign width 90\n"));
  Geometry(6, 7, 5, 7, 90);
  Write(nv(), 292 + 255 + 65, 1, 4);
  EXPECT_TRUE(cap.contains("Charwidth val = 4  sign width 90\n"));
  trace_set_level(0);
}

// Graphic columns need the row modifying (2); else 5.
TEST_F(HookTest, GraphicColumnsNeedTheRowBeingModified) {
  Geometry(6, 0, 0, 50, 300);
  struct column {
    const char* name;
    uint32_t offset;
    uint32_t width;  // 0: a string
    uint32_t row;
  } columns[] = {
      {"number", 34660 + 7, 1, 7},
      {"name", 34712 + 4 * 49, 0, 49},
      {"height", 34912, 1, 0},
      {"width", 34962 + 2 * 49, 2, 49},
      {"type", 35062 + 20, 1, 20},
      {"transparent enabled", 35212 + 49, 1, 49},
      {"transparent colour", 35264 + 4 * 3, 0, 3},
      {"bitmap block 62 of row 49", 35516 + 4 * (63 * 49 + 62), 0, 49},
      {"bitmap block 0 of row 1", 35516 + 4 * 63, 0, 1},
  };
  for (const column& c : columns)
    for (uint32_t status = 1; status <= 9; ++status) {
      Put(nv(), kGraphicStatus + c.row, 1, status);
      uint32_t result = c.width ? Write(nv(), c.offset, c.width, 2) : WriteString(nv(), c.offset, "\x09");
      EXPECT_EQ(result, status == 2 ? DB_OK : DB_GEN_ERR) << c.name << " in status " << status;
    }
}

TEST_F(HookTest, GraphicNumbersAreUniqueAndSizesFitTheSign) {
  Geometry(6, 0, 0, 48, 240);
  for (uint32_t g = 0; g < 50; ++g) Put(nv(), 34660 + g, 1, g + 1);
  Put(nv(), kGraphicStatus + 10, 1, 2);
  EXPECT_EQ(Write(nv(), 34660 + 10, 1, 50), DB_BAD_VALUE);
  EXPECT_EQ(Write(nv(), 34660 + 10, 1, 11), DB_OK);
  EXPECT_EQ(Write(nv(), 34660 + 10, 1, 51), DB_OK);
  EXPECT_EQ(Write(nv(), 34912 + 10, 1, 48), DB_OK);
  EXPECT_EQ(Write(nv(), 34912 + 10, 1, 49), DB_BAD_VALUE);
  EXPECT_EQ(Write(nv(), 34962 + 20, 2, 240), DB_OK);
  EXPECT_EQ(Write(nv(), 34962 + 20, 2, 241), DB_BAD_VALUE);
}
