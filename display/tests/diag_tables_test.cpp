// The pieces around the module diagnostics: the result tables of the
// database (slots, face ranges, lines of packed bytes), the module record,
// the walk over a frame's failed pixels and the module temperature table.
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "display/core/pixel_error_iterator.h"
#include "display/modbus/module_temp.h"
#include "display/tests/diag_fixture.h"

namespace {

class DiagTablesTest : public DiagTest {
 protected:
  diag_index_registrar& reg = g_diag_index_registrar;

  uint32_t Register(uint8_t face, const char* title, uint8_t kind = 9) {
    uint32_t slot = diag_index_registrar::NO_SLOT;
    bool ok = false;
    InThread([&] { ok = reg.Register(face, title, 300, 400, 2, kind, slot); });
    return ok ? slot : diag_index_registrar::NO_SLOT;
  }
  void Free(uint32_t slot) { db_->SetValue(vol::quorDiagTableKind(slot).offset, 1, 1, db_->mib_v, 0); }
  std::pair<uint32_t, uint32_t> Range(uint32_t face) {
    return {Vol(vol::quorDiagFaceFirstTable(face)), Vol(vol::quorDiagFaceLastTable(face))};
  }
};

// ------------------------------------------------------------------ registrar

TEST_F(DiagTablesTest, RegisterTakesTheFirstFreeSlotUntilAllAreUsed) {
  EXPECT_EQ(Register(1, "Pixel Test Errors"), 0u);
  EXPECT_EQ(VolText(vol::quorDiagTableTitle(0)), "Pixel Test Errors");
  EXPECT_EQ(Vol(vol::quorDiagTableHeight(0)), 300u & 0xFF) << "heights are kept in 8 bits";
  EXPECT_EQ(Vol(vol::quorDiagTableWidth(0)), 400u);
  EXPECT_EQ(Vol(vol::quorDiagTableColour(0)), 2u);
  EXPECT_EQ(Vol(vol::quorDiagTableKind(0)), 9u);
  EXPECT_EQ(Vol(vol::quorDiagTableFace(0)), 1u);
  for (uint32_t i = 1; i < diag_index_registrar::SLOTS; ++i) ASSERT_EQ(Register(1, "t"), i);
  EXPECT_EQ(Vol(vol::quorDiagTableCount), 26u);
  EXPECT_EQ(Register(1, "one too many"), diag_index_registrar::NO_SLOT);
  EXPECT_EQ(Vol(vol::quorDiagTableCount), 26u);
  uint32_t slot = 0;
  InThread([&] { EXPECT_FALSE(reg.Register(1, nullptr, 1, 1, 1, 9, slot)); });

  // A freed slot in the middle is the next one taken; ClearAll frees all.
  Free(7);
  EXPECT_EQ(Register(1, "again"), 7u);
  InThread([&] { reg.ClearAll(); });
  EXPECT_EQ(Vol(vol::quorDiagTableCount), 0u);
  EXPECT_EQ(Vol(vol::quorDiagTableKind(25)), 1u);
  EXPECT_EQ(VolText(vol::quorDiagTableTitle(25)), "t") << "titles stay";
  EXPECT_EQ(Register(2, "first"), 0u);
}

TEST_F(DiagTablesTest, FaceRangesFollowTheRunsOfUsedSlots) {
  for (uint32_t i = 0; i < 10; ++i) Register(1, "a");
  Register(2, "b");
  Register(2, "b");
  EXPECT_EQ(Range(0), (std::pair<uint32_t, uint32_t>{1, 10}));
  EXPECT_EQ(Range(1), (std::pair<uint32_t, uint32_t>{11, 12}));
  EXPECT_EQ(Vol(vol::quorDiagFaceCount), 2u);

  // A gap between two tables of one face makes two runs; the later run's
  // range is the one that stays.
  InThread([&] { reg.ClearAll(); });
  Register(1, "a");
  Register(1, "a");
  Register(1, "a");
  Free(1);
  InThread([&] { reg.UpdateRanges(); });
  EXPECT_EQ(Vol(vol::quorDiagFaceCount), 2u);
  EXPECT_EQ(Range(0), (std::pair<uint32_t, uint32_t>{3, 3}));

  // Withdrawing a table empties its slot.
  InThread([&] { reg.Withdraw(2); });
  EXPECT_EQ(Vol(vol::quorDiagTableKind(2)), 1u);
  EXPECT_EQ(Vol(vol::quorDiagTableFace(2)), 1u);
  EXPECT_EQ(Vol(vol::quorDiagTableWidth(2)), 0u);
  EXPECT_EQ(VolText(vol::quorDiagTableTitle(2)), "");
  EXPECT_EQ(Vol(vol::quorDiagFaceCount), 1u);
  EXPECT_EQ(Range(0), (std::pair<uint32_t, uint32_t>{1, 1}));
}

struct LineCase {
  uint32_t line_size;
  std::vector<uint32_t> filled;  // bytes of packed data per line stored
};

TEST_F(DiagTablesTest, StoreTableCutsThePackedFrameIntoLinesOfTheLineSize) {
  // 100 x 200 one-bit pixels: 2500 packed bytes; the last pixel is lit.
  disp::frame f;
  ASSERT_TRUE(f.Open(100, 200, 0, 1));
  disp::pixel last(199, 99, 1);
  ASSERT_TRUE(f.SetPixel(last));
  const uint32_t slot = Register(1, "Pixel Test Errors");
  const LineCase cases[] = {
      {1024, {1024, 1024, 452}},
      {2500, {2500}},
      {2600, {2500}},
      // 157 lines would be needed; a table holds 62.
      {16, std::vector<uint32_t>(62, 16)},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.line_size);
    for (uint32_t l = 0; l < 63; ++l) db_->SetString(vol::quorDiagTableLine(slot, l).offset, 4, "", 0, db_->mib_v, 0);
    SetNv(nv::quorDiagLineSize, c.line_size);
    InThread([&] { reg.StoreTable(slot, &f); });
    for (uint32_t l = 0; l < c.filled.size(); ++l) {
      const std::string text = VolText(vol::quorDiagTableLine(slot, l));
      ASSERT_EQ(text.size(), c.line_size) << "line " << l << ": every line holds the line size";
      // Past the frame's bytes the line is zero-filled.
      EXPECT_EQ(text.find_first_not_of('\0', c.filled[l]), std::string::npos) << "line " << l;
    }
    EXPECT_EQ(VolText(vol::quorDiagTableLine(slot, static_cast<uint32_t>(c.filled.size()))), "");
    if (c.filled.size() < 62) {
      // The lit pixel is the top bit of the last packed byte.
      const std::string text = VolText(vol::quorDiagTableLine(slot, static_cast<uint32_t>(c.filled.size() - 1)));
      EXPECT_EQ(static_cast<uint8_t>(text[c.filled.back() - 1]), 0x80);
    }
  }
  // Nothing without a frame or a slot.
  InThread([&] {
    reg.StoreTable(slot, nullptr);
    reg.StoreTable(diag_index_registrar::SLOTS, &f);
  });
}

TEST_F(DiagTablesTest, AStoreWithASecondSlotWritesTimingToBothAndLinesToTheSecond) {
  disp::frame f;
  ASSERT_TRUE(f.Open(8, 8, 0, 1));
  f.m_attributes.a1 = 30;
  f.m_attributes.a2 = 5;
  const uint32_t first = Register(1, "Current Display with Errors", 8);
  const uint32_t second = Register(1, "Page 1 - Display with Errors", 2);
  SetNv(nv::quorDiagLineSize, 8);
  // No display task: its state is neither blank nor page on, so the first
  // slot keeps its lines.
  InThread([&] { reg.StoreTable(first, &f, true, second); });
  EXPECT_EQ(VolText(vol::quorDiagTableTiming(first)), "30,5");
  EXPECT_EQ(VolText(vol::quorDiagTableTiming(second)), "30,5");
  EXPECT_EQ(VolText(vol::quorDiagTableLine(second, 0)).size(), 8u);
  EXPECT_EQ(VolText(vol::quorDiagTableLine(first, 0)), "");
}

// ------------------------------------------------------------------ module records

TEST_F(DiagTablesTest, AModuleKnowsItsGridPositionAndFailedPixels) {
  disp::frame results, aux;
  ASSERT_TRUE(results.Open(21, 15, 0, 1));
  ASSERT_TRUE(aux.Open(21, 15, 0, 1));
  disp::module m;
  uint8_t column = 9, row = 9;
  EXPECT_FALSE(m.GetGridPosition(column, row)) << "not open";
  EXPECT_FALSE(m.CountFailedPixels());
  const disp::pixel tl(10, 14), br(14, 20);
  EXPECT_FALSE(m.Open(nullptr, &br, &results, &aux));
  ASSERT_TRUE(m.Open(&tl, &br, &results, &aux));
  EXPECT_FALSE(m.Open(&tl, &br, &results, &aux));
  ASSERT_TRUE(m.GetGridPosition(column, row));
  EXPECT_EQ(column, 2);
  EXPECT_EQ(row, 2);

  // A pixel failed in either frame counts once; pixels outside the
  // rectangle do not count.
  for (auto [x, y, in_results, in_aux] : std::vector<std::tuple<uint16_t, uint16_t, bool, bool>>{
           {10, 14, true, true}, {14, 20, false, true}, {12, 17, true, false}, {9, 14, true, true}}) {
    disp::pixel p(x, y, 1);
    if (in_results) results.SetPixel(p);
    if (in_aux) aux.SetPixel(p);
  }
  ASSERT_TRUE(m.CountFailedPixels());
  EXPECT_EQ(m.failed_pixels, 3);

  // Reset forgets what the module said, not whether it is lost.
  m.revision = 4;
  m.type = 21;
  m.gen4_subtype = 7;
  m.quick_test = 1;
  m.lost = 1;
  m.unanswered = 10;
  m.measurements_valid = 1;
  m.Reset();
  EXPECT_EQ(m.revision, 0);
  EXPECT_EQ(m.type, 0);
  EXPECT_EQ(m.measurements_valid, 0);
  EXPECT_EQ(m.gen4_subtype, 7);
  EXPECT_EQ(m.quick_test, 1);
  EXPECT_EQ(m.lost, 1);
  EXPECT_EQ(m.unanswered, 10);
  EXPECT_EQ(m.guard0, disp::module::GUARD);
  EXPECT_TRUE(m.Close());
  EXPECT_FALSE(m.Close());
}

// ------------------------------------------------------------------ failed pixels

using Marks = std::vector<std::tuple<uint16_t, uint16_t, uint32_t>>;

Marks Walk(disp::pixel_error_iterator& it) {
  Marks out;
  for (it.Begin(); it.IsValid(); it.Advance()) {
    out.emplace_back(it.Current().x, it.Current().y, it.Current().value);
    if (out.size() > 100) break;
  }
  return out;
}

TEST(PixelErrorIteratorTest, WalksTheMarkedPixelsInRowOrderOnTheSign) {
  disp::frame f;
  ASSERT_TRUE(f.Open(4, 6, 0, 3));
  {
    disp::pixel_error_iterator it(&f, 10, 20);
    EXPECT_TRUE(Walk(it).empty()) << "no marks: invalid right after Begin";
  }
  for (auto [x, y, v] : Marks{{5, 3, 4}, {0, 0, 1}, {5, 0, 2}, {2, 1, 7}}) {
    disp::pixel p(x, y, v);
    ASSERT_TRUE(f.SetPixel(p));
  }
  disp::pixel_error_iterator it(&f, 10, 20);
  EXPECT_EQ(Walk(it), (Marks{{10, 20, 1}, {15, 20, 2}, {12, 21, 7}, {15, 23, 4}}));
  // Begin again starts over; Close ends the walk for good.
  EXPECT_EQ(Walk(it).size(), 4u);
  it.Close();
  EXPECT_TRUE(Walk(it).empty());

  disp::pixel_error_iterator none(nullptr, 0, 0);
  EXPECT_FALSE(none.Reset());
  EXPECT_TRUE(Walk(none).empty());
  disp::frame closed;
  disp::pixel_error_iterator empty(&closed, 0, 0);
  EXPECT_TRUE(Walk(empty).empty());
}

// ------------------------------------------------------------------ temperatures

struct TempCase {
  uint16_t type, subtype;
  int32_t stage1_on, stage1_off, stage2_on, stage2_off;
  bool stages, warning_defined;
  int32_t warning, critical_min, critical_max;
};

TEST(ModuleTempTest, TheModulesReportedTypeSelectsTheLimits) {
  const TempCase cases[] = {
      {91, 0, 60, 57, 75, 72, true, true, 88, 80, 90},
      {100, 0, 32, 29, 49, 46, false, true, 90, 85, 110},
      {110, 0, 50, 47, 50, 47, false, true, 103, 95, 105},
      {136, 0, 60, 57, 75, 72, true, true, 85, 80, 90},
      // Not listed, and no module at all: the defaults.
      {21, 0, 32, 29, 49, 46, false, false, 0, 85, 110},
      {0, 0, 32, 29, 49, 46, false, false, 0, 85, 110},
      // Gen4 modules are looked up by their subtype.
      {114, 110, 50, 47, 50, 47, false, true, 103, 95, 105},
      {114, 0, 32, 29, 49, 46, false, false, 0, 85, 110},
  };
  disp::face_description d;
  d.total_modules = 2;
  diag_ksr7100& diag = g_diag_ksr7100;
  const disp::face_description* saved = diag.m_pDescription;
  const disp::module saved0 = diag.m_Modules[0], saved1 = diag.m_Modules[1];
  diag.m_pDescription = &d;
  diag.m_Modules[0].type = 0;
  for (const TempCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " subtype " << c.subtype);
    // The first module has not answered; the second reports the type.
    diag.m_Modules[1].type = c.type;
    diag.m_Modules[1].gen4_subtype = c.subtype;
    EXPECT_EQ(disp::module_temp_stage1_on(), c.stage1_on);
    EXPECT_EQ(disp::module_temp_stage1_off(), c.stage1_off);
    EXPECT_EQ(disp::module_temp_stage2_on(), c.stage2_on);
    EXPECT_EQ(disp::module_temp_stage2_off(), c.stage2_off);
    EXPECT_EQ(disp::module_temp_stages_defined(), c.stages);
    EXPECT_EQ(disp::module_temp_warning_defined(), c.warning_defined);
    EXPECT_EQ(disp::module_temp_warning(), c.warning);
    EXPECT_EQ(disp::module_temp_critical_min(), c.critical_min);
    EXPECT_EQ(disp::module_temp_critical_max(), c.critical_max);
  }
  diag.m_Modules[0] = saved0;
  diag.m_Modules[1] = saved1;
  diag.m_pDescription = saved;
  // Every listed type has a row of its own.
  for (uint16_t type : {91, 92, 93, 94, 100, 101, 102, 103, 104, 105, 110, 113, 115, 117, 120, 121, 122, 123, 127,
                        129, 131, 133, 135, 136})
    EXPECT_EQ(disp::module_temp_row_of(type).type, type);
  EXPECT_EQ(disp::module_temp_row_of(95).type, 0);
}

}  // namespace
