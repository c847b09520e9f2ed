#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "display/multi/colour.h"
#include "display/multi/tags.h"
#include "frame/trace/trace.h"
#include "multi_fixture.h"

namespace {

using MultiTagsTest = MultiTest;

struct tag_case {
  const char* text;
  uint32_t code;
  int32_t position;  // checked for errors only
};

// Accepted and refused forms of every tag on the fixture's sign (96 x 32,
// full matrix, monochrome modules; fonts 1 to 3; graphic 7 of 10 x 8 with
// ID 1234 ready, graphic 9 not ready).
const tag_case kCases[] = {
    // names
    {"[xx]", 3, 0},
    {"AB[xx]", 3, 2},
    {"[]", 3, 0},
    {"[fo1", 3, 0},
    {"A[", 3, 1},
    {"[fo[1]", 3, 0},
    {"[fo1]]", 3, 0},
    {"[FO1]", 2, 0},
    // cb
    {"[cb]", 2, 0},
    {"[cb0]", 2, 0},
    {"[cb9]", 2, 0},
    {"[cb1]", 4, 0},
    // pb
    {"[pb]", 2, 0},
    {"[pb9]", 2, 0},
    {"[pb1]", 2, 0},
    {"[pb3]", 4, 0},
    {"[pb256]", 4, 0},
    {"[pb-1]", 4, 0},
    {"[pb255,128,0]", 2, 0},
    {"[pb0,256,0]", 4, 0},
    {"[pb0,0,256]", 4, 0},
    // cf
    {"[cf]", 2, 0},
    {"[cf9]", 2, 0},
    {"[cf5]", 4, 0},
    {"[cf255,255,255]", 2, 0},
    {"[cf256,0,0]", 4, 0},
    // fl
    {"[fl]", 2, 0},
    {"[flt5o5]", 2, 0},
    {"[FLO5T5]", 2, 0},
    {"[flt]", 2, 0},
    {"[flo]", 2, 0},
    {"[flt99o0]", 2, 0},
    {"[flt100]", 4, 0},
    {"[flt5o100]", 4, 0},
    {"[flo-1]", 4, 0},
    {"[flo5t100]", 4, 0},
    {"[/fl]", 2, 0},
    {"[/FL]", 2, 0},
    {"[/fl1]", 4, 0},
    // fo
    {"[fo]", 2, 0},
    {"[fo1]", 2, 0},
    {"[fo3,1234]", 2, 0},
    {"[fo3,abcd]", 13, 0},
    {"[fo3,ABCD]", 13, 0},
    {"[fo3,1234x]", 4, 0},
    {"[fo3,]", 4, 0},
    {"[fo3x]", 4, 0},
    {"[fo0]", 4, 0},
    {"[fo21]", 6, 0},
    {"[fo256]", 4, 0},
    {"[fo9]", 6, 0},
    // f
    {"[f1]", 2, 0},
    {"[f13]", 2, 0},
    {"[F2]", 2, 0},
    {"[f3,2]", 2, 0},
    {"[f7,99]", 2, 0},
    {"[f92]", 2, 0},
    {"[f99]", 2, 0},
    {"[f]", 4, 0},
    {"[f0]", 4, 0},
    {"[f14]", 4, 0},
    {"[f91]", 4, 0},
    {"[f3,100]", 4, 0},
    {"[f12345]", 4, 0},
    {"[f1,2,34]", 4, 0},
    // g
    {"[g7]", 2, 0},
    {"[g7,1,1]", 2, 0},
    {"[g7,87,25]", 2, 0},
    {"[g7,1,1,1234]", 2, 0},
    {"[G7,1,1,1234]", 2, 0},
    {"[g8]", 15, 0},
    {"[g9]", 15, 0},
    {"[g0]", 15, 0},
    {"[g263]", 15, 0},
    {"[g7,1,1,1235]", 14, 0},
    {"[g7,88,1]", 4, 0},
    {"[g7,1,26]", 4, 0},
    {"[g7,0,1]", 4, 0},
    {"[g7,1]", 4, 0},
    {"[g7x]", 4, 0},
    {"[g7,1,1,1234x]", 4, 0},
    // hc
    {"[hc41]", 2, 0},
    {"[hcab]", 2, 0},
    {"[HC0041]", 2, 0},
    {"[hc]", 4, 0},
    {"[hcZZ]", 4, 0},
    {"[hc4g]", 4, 0},
    {"[hc12345]", 4, 0},
    // jl, jp
    {"[jl]", 2, 0},
    {"[jl1]", 2, 0},
    {"[jl5]", 2, 0},
    {"[jl0]", 4, 0},
    {"[jl6]", 4, 0},
    {"[jl33]", 4, 0},
    {"[jlx]", 4, 0},
    {"[jp]", 2, 0},
    {"[jp4]", 2, 0},
    {"[jp5]", 4, 0},
    {"[jp22]", 4, 0},
    {"[jp3][jp3]", 2, 0},
    {"[jp3][jp4]", 11, 5},
    {"[jp4][jp]", 11, 5},
    // mv
    {"[mvcl50,1,2,text]", 2, 0},
    {"[mvCR50,1,2,text]", 2, 0},
    {"[mvl5r50,1,2,text]", 2, 0},
    {"[mvll50,1,2,]", 2, 0},
    {"[mvxl50,1,2,t]", 3, 0},
    {"[mvcx50,1,2,t]", 3, 0},
    {"[mvcl50;1,2,t]", 3, 0},
    {"[mvcl50,1;2,t]", 3, 0},
    {"[mvcl50,1,2]", 3, 0},
    {"[mvcl50,256,2,t]", 4, 0},
    {"[mvcl70000,1,2,t]", 4, 0},
    {"[jl5][mvcl50,1,2,t]", 11, 5},
    // ms
    {"[ms12,anything]", 2, 0},
    {"[ms]", 2, 0},
    {"[ms11,sc,1]", 2, 0},
    {"[ms11,name,x]", 2, 0},
    {"[ms11]", 3, 0},
    {"[ms11,zz]", 3, 0},
    {"[ms11,cf,255,0,0]", 2, 0},
    {"[ms11cf,1,2,3]", 2, 0},
    {"[ms11,cf,256,0,0]", 4, 0},
    {"[ms11,cb,1,2,300]", 4, 0},
    {"[ms11,cb,1,2,3]", 2, 0},
    {"[ms11,r,0,5]", 2, 0},
    {"[ms11,r,-1,5]", 4, 0},
    {"[ms11,r,0,256]", 4, 0},
    {"[ms11,spm,0,3]", 2, 0},
    {"[ms11,SPk,3,49]", 2, 0},
    {"[ms11,spx,0,3]", 3, 0},
    {"[ms11,spM,0,3]", 3, 0},
    {"[ms11,spm,4,3]", 4, 0},
    {"[ms11,spm,-1,3]", 4, 0},
    {"[ms11,spm,0,50]", 4, 0},
    {"[ms11,spm,0,2147483647]", 4, 0},
    {"[ms11,xy,1,1]", 2, 0},
    {"[ms11,xy,96,32]", 2, 0},
    {"[ms11,xy,0,1]", 4, 0},
    {"[ms11,xy,97,1]", 4, 0},
    {"[ms11,xy,1,33]", 4, 0},
    {"[ms11,gpo,1,1]", 2, 0},
    {"[ms11,gpo,10,0]", 2, 0},
    {"[ms11,gpo1,1]", 2, 0},
    {"[ms11,gpo,11,1]", 2, 0},
    {"[ms11,g,1,1,none.bmp]", 4, 0},
    {"[ms11,g1,1,none.bmp]", 2, 0},
    {"[/ms]", 2, 0},
    {"[/MS]", 3, 0},
    {"[/ms1]", 4, 0},
    // nl, np
    {"[nl]", 2, 0},
    {"[nl0]", 2, 0},
    {"[nl99]", 2, 0},
    {"[nl100]", 4, 0},
    {"[nl5x]", 4, 0},
    {"[nlx]", 4, 0},
    {"[np]", 2, 0},
    {"[npx]", 4, 0},
    // pt, po
    {"[pt]", 2, 0},
    {"[pt5]", 2, 0},
    {"[pt5o5]", 2, 0},
    {"[PTO5]", 2, 0},
    {"[pt5o]", 2, 0},
    {"[po5o5]", 2, 0},
    {"[pt256]", 4, 0},
    {"[pt5o256]", 4, 0},
    {"[pt5x]", 4, 0},
    {"[pt5o5x]", 4, 0},
    // sc
    {"[sc2]", 2, 0},
    {"[sc99]", 2, 0},
    {"[sc100]", 4, 0},
    {"[sc2x]", 4, 0},
    {"[/sc]", 2, 0},
    {"[/scx]", 4, 0},
    // cr
    {"[cr1,1,10,10,9]", 2, 0},
    {"[cr1,1,0,0,9]", 2, 0},
    {"[cr96,32,1,1,1]", 2, 0},
    {"[cr1,1,10,10,255,0,0]", 2, 0},
    {"[cr1,1,97,1,9]", 4, 0},
    {"[cr0,1,1,1,9]", 4, 0},
    {"[cr1,0,1,1,9]", 4, 0},
    {"[cr1,1,1,33,9]", 4, 0},
    {"[cr97,1,0,1,1]", 4, 0},
    {"[cr1,1,-5,1,1]", 4, 0},
    {"[cr1,1,10,10,256]", 4, 0},
    {"[cr1,1,10,10,1,256,0]", 4, 0},
    {"[cr1,1,10,10,1,0,256]", 4, 0},
    // tr
    {"[tr1,1,0,0]", 2, 0},
    {"[tr10,5,20,10]", 2, 0},
    {"[tr1,1,97,1]", 4, 0},
    {"[tr1,1,10,33]", 4, 0},
    {"[tr0,1,10,10]", 4, 0},
    {"[tr1,1,-1,10]", 4, 0},
};

TEST_F(MultiTagsTest, AcceptedAndRefusedForms) {
  for (const auto& c : kCases) {
    msg_->m_nErrorPosition = 12345;
    uint32_t r = Validate(c.text);
    EXPECT_EQ(r, c.code) << c.text;
    if (c.code != MULTI_OK && r == c.code) {
      EXPECT_EQ(msg_->m_nErrorPosition, c.position) << c.text;
    }
  }
}

TEST_F(MultiTagsTest, FontTagResolvesTheTableRow) {
  trace_capture capture;
  SetNv(nv::fontNumber(2), 7);
  SetNv(nv::fontNumber(5), 21);
  SetNv(nv::fontStatus(5), 4);
  // Fonts go by their number column, whatever their row: the message
  // keeps the number.
  EXPECT_EQ(Validate("[fo7]"), MULTI_OK);
  EXPECT_EQ(msg_->m_byFont, 7);
  EXPECT_EQ(multi_tags::font_row_of_member(7), 2);
  EXPECT_EQ(Validate("[fo21]"), MULTI_OK);
  EXPECT_EQ(msg_->m_byFont, 21);
  EXPECT_EQ(multi_tags::font_row_of_member(21), 5);
  SetNv(nv::fontNumber(5), 255);
  EXPECT_EQ(Validate("[fo255]"), MULTI_OK);
  EXPECT_EQ(Validate("[fo21]"), MULTI_FONT_NOT_DEFINED);
  EXPECT_EQ(Validate("[fo3]"), MULTI_FONT_NOT_DEFINED);  // row 2 is numbered 7
  EXPECT_EQ(Validate("[fo7,4321]"), MULTI_FONT_VERSION_ID);
  EXPECT_TRUE(capture.contains("Font Version ID does not match font.\n"));

  SetNv(nv::fontStatus(1), 2);
  EXPECT_EQ(Validate("[fo2]"), MULTI_FONT_NOT_DEFINED);
  EXPECT_TRUE(capture.contains("Font not ready for use  status = 2\n"));
  SetNv(nv::fontStatus(1), 11);
  EXPECT_EQ(Validate("[fo2]"), MULTI_OK);

  EXPECT_EQ(Validate("[fo0]"), MULTI_UNSUPPORTED_TAG_VALUE);
  SetNv(nv::quorSpecialFeatureSet, 0x20);
  EXPECT_EQ(Validate("[fo0]"), MULTI_OK);
  EXPECT_EQ(msg_->m_byFont, 1);
}

TEST_F(MultiTagsTest, ColourTagsSetTheirColours) {
  SetNv(nv::quorModuleID, 97);
  g_multi_hooks.module_info = [](uint32_t, multi_module_info* out) { out->colour_type = 3; };
  ASSERT_TRUE(Show("[cf5][cb4][pb7]"));
  EXPECT_EQ(msg_->m_dwForeground, 0x7C00u);
  EXPECT_EQ(msg_->m_dwTextBackground, 0x6300u);
  EXPECT_EQ(msg_->m_dwPageBackground, 0x7FFFu);
  ASSERT_TRUE(Show("[cf255,128,0][pb8,8,8][ms11,cb,0,0,255]"));
  EXPECT_EQ(msg_->m_dwForeground, 0x021Fu);
  EXPECT_EQ(msg_->m_dwPageBackground, 0x0421u);
  EXPECT_EQ(msg_->m_dwTextBackground, 0x7C00u);
  ASSERT_TRUE(Show("[cb7][cb]"));
  EXPECT_EQ(msg_->m_dwTextBackground, COLOUR_NONE);
  ASSERT_TRUE(Show("[cf1][cf][pb1][pb]"));
  EXPECT_EQ(msg_->m_dwForeground, 0x02DFu);  // the defaults: amber on black
  EXPECT_EQ(msg_->m_dwPageBackground, 0u);

  // Red-green modules accept red, green and amber.
  g_multi_hooks.module_info = [](uint32_t, multi_module_info* out) { out->colour_type = 2; };
  EXPECT_EQ(Validate("[cf3]"), MULTI_OK);
  EXPECT_EQ(Validate("[cf2]"), MULTI_UNSUPPORTED_TAG_VALUE);
}

TEST_F(MultiTagsTest, ColourRectanglesAreRecordedWhileMeasuring) {
  Load("[cr1,1,0,0,1][cr10,5,3,2,255,255,0]");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(rec_.Trace(), "20 20 14 15 17 | 20 20");
  const colour_rect_s& whole = msg_->m_colourRects[0];
  EXPECT_EQ(whole.x, 1u);
  EXPECT_EQ(whole.width, 96u);
  EXPECT_EQ(whole.height, 32u);
  EXPECT_EQ(whole.colour, 0x001Fu);
  EXPECT_EQ(msg_->m_colourRects[1].colour, 0x03FFu);

  // On red-green module types any red with green is green.
  SetNv(nv::quorModuleID, 11);
  EXPECT_EQ(Validate("[cr1,1,1,1,255,255,0]"), MULTI_OK);
  EXPECT_EQ(Validate("[cr1,1,1,1,255,255,0][cr1,1,1,1,9,0,0]"), MULTI_OK);

  // A page holds 20 colour rectangles.
  std::string many;
  for (int i = 0; i < 20; ++i) many += "[cr1,1,1,1,1]";
  EXPECT_EQ(Validate(many), MULTI_OK);
  EXPECT_EQ(Validate(many + "[cr1,1,1,1,1]"), MULTI_UNSUPPORTED_TAG_VALUE);
  EXPECT_EQ(msg_->m_nErrorPosition, 20 * 13);
}

TEST_F(MultiTagsTest, TwoColourRectangleRule) {
  SetNv(nv::quorModuleID, 99);
  struct {
    const char* tag;
    uint32_t colour;
  } cases[] = {{"[cr1,1,1,1,255,255,0]", 0x03E0}, {"[cr1,1,1,1,8,0,200]", 0x001F}, {"[cr1,1,1,1,0,255,0]", 0},
               {"[cr1,1,1,1,9]", 0x03E0}, {"[cr1,1,1,1,2]", 0}};
  for (const auto& c : cases) {
    Load(c.tag);
    ASSERT_TRUE(parser_.NextPage(msg_.get())) << c.tag;
    EXPECT_EQ(msg_->m_colourRects[0].colour, c.colour) << c.tag;
  }
}

TEST_F(MultiTagsTest, TextRectanglesOnTheSign) {
  EXPECT_EQ(Validate("[tr1,1,0,0]"), MULTI_OK);
  const text_rect_s& r = msg_->m_rects[1];
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 96);
  EXPECT_EQ(r.bottom, 32);
  EXPECT_EQ(rec_.Trace(), "15 21 14 15");

  rec_.events.clear();
  EXPECT_EQ(Validate("A[tr10,5,20,10]"), MULTI_OK);
  EXPECT_EQ(rec_.Trace(), "1:A 14 15 21 14 15");
  const text_rect_s& s = msg_->m_rects[1];
  EXPECT_EQ(s.left, 9);
  EXPECT_EQ(s.top, 4);
  EXPECT_EQ(s.right, 29);
  EXPECT_EQ(s.bottom, 14);
}

TEST_F(MultiTagsTest, CharacterMatrixCells) {
  SetNv(nv::dmsSignType, 4);
  struct {
    const char* text;
    uint32_t code;
  } cases[] = {
      {"[tr6,1,10,7]", 2},  {"[tr5,1,10,7]", 4},  {"[tr6,1,9,7]", 4},   {"[tr1,8,5,14]", 2},
      {"[tr1,2,5,7]", 4},   {"[ms11,xy,3,8]", 2}, {"[ms11,xy,3,9]", 4}, {"[ms11,g,1,1,a.bmp]", 4},
  };
  for (const auto& c : cases) EXPECT_EQ(Validate(c.text), c.code) << c.text;

  // A line-matrix sign keeps whole lines but not whole columns.
  SetNv(nv::dmsSignType, 5);
  EXPECT_EQ(Validate("[tr5,1,10,7]"), MULTI_OK);
  EXPECT_EQ(Validate("[tr5,2,10,7]"), MULTI_UNSUPPORTED_TAG_VALUE);
}

TEST_F(MultiTagsTest, CellSizesOfZeroDivideNothing) {
  // Settable over SNMP: a matrix sign whose cells are 0 pixels wide and high.
  SetNv(nv::vmsCharacterWidthPixels, 0);
  SetNv(nv::vmsCharacterHeightPixels, 0);
  for (uint32_t type : {4u, 5u, 132u, 133u}) {
    SetNv(nv::dmsSignType, type);
    EXPECT_EQ(Validate("[tr1,1,0,0]"), MULTI_UNSUPPORTED_TAG_VALUE) << type;
    EXPECT_EQ(Validate("[ms11,xy,1,1]"), MULTI_OK) << type;
    EXPECT_EQ(Validate("[ms11,xy,1,8]"), MULTI_UNSUPPORTED_TAG_VALUE) << type;
    EXPECT_EQ(Validate("[mvcl10,3,1,AB]"), MULTI_OK) << type;
  }
  // Nor does a module width of 0 when the step is rounded to it.
  SetNv(nv::dmsSignType, 4);
  g_multi_hooks.module_info = [](uint32_t, multi_module_info* out) { out->width = 0; };
  EXPECT_EQ(Validate("[mvcl10,3,1,AB]"), MULTI_OK);
}

TEST_F(MultiTagsTest, MovingStepIsWholeModulesOnCharacterMatrixSigns) {
  SetNv(nv::dmsSignType, 132);
  struct {
    int step;
    int expected;
  } cases[] = {{0, 5}, {2, 5}, {7, 5}, {8, 10}, {12, 10}, {13, 15}, {255, 255}};
  for (const auto& c : cases) {
    Load("[mvcl10," + std::to_string(c.step) + ",1,A]");
    ASSERT_TRUE(parser_.NextPage(msg_.get())) << c.step;
    EXPECT_EQ(msg_->m_moving[0].step, c.expected) << c.step;
  }
  EXPECT_EQ(Validate("[jl2]A[jl3][mvcl10,1,1,B]"), MULTI_OK);
}

TEST_F(MultiTagsTest, MovingTextKeepsToOneJustification) {
  // The renderer records the justification a line was laid out with.
  rec_.hook = [](CMessage* m) -> uint32_t {
    if (m->m_event.kind == RE_TEXT) m->CurrentLine().SetJustification(m->m_byLineJustification[m->Rect()]);
    return MULTI_OK;
  };
  EXPECT_EQ(Validate("[jl2]A[mvcl10,1,1,B]"), MULTI_OK);
  EXPECT_EQ(Validate("[jl2]A[jl4][mvcl10,1,1,B]"), MULTI_TAG_CONFLICT);
  EXPECT_EQ(msg_->m_nErrorPosition, 11);  // the tag's "["
  EXPECT_EQ(Validate("[jl2]A[nl][jl4][mvcl10,1,1,B]"), MULTI_OK);
}

TEST_F(MultiTagsTest, FieldsOfAbsentDevicesAreRefused) {
  // Only the cabinet sensor is there.
  g_multi_hooks.field_device = [](uint32_t field) { return field < 3 || field > 6 ? field < 96 : false; };
  const tag_case cases[] = {
      {"[f1]", 2, 0},  {"AB[f3]", 8, 2}, {"[f4,2]", 8, 0}, {"[f5]", 8, 0}, {"[f6]", 8, 0}, {"[f7]", 2, 0},
      {"[f92]", 2, 0}, {"[f95]", 2, 0},  {"[f96]", 8, 0},  {"[f99]", 8, 0}, {"[f98,2]", 8, 0},
      // Numbers the sign has no field for stay unsupported values.
      {"[f14]", 4, 0}, {"[f50]", 4, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Validate(c.text), c.code) << c.text;
    if (c.code != MULTI_OK) EXPECT_EQ(msg_->m_nErrorPosition, c.position) << c.text;
  }
}

TEST_F(MultiTagsTest, FieldTagsCarryTheirFormat) {
  SetVol(vol::tempMinCtrlCabinet, static_cast<uint8_t>(-5));
  SetVol(vol::tempMaxCtrlCabinet, 30);
  SetVol(vol::tempMinSignHousing, static_cast<uint8_t>(-40));
  SetVol(vol::tempMaxSignHousing, 100);
  struct {
    const char* tag;
    uint32_t kind;
    const char* format;
    uint16_t code, time_code;
  } cases[] = {
      {"[f1]", RE_TIME, "%#I:%M", 1, 1},      {"[f2]", RE_TIME, "%H:%M", 2, 2},
      {"[f3]", RE_TEMP_C, "%3d", 3, 0},       {"[f3,2]", RE_TEMP_C, "%2d", 3, 0},
      {"[f4,3]", RE_TEMP_F, "%3d", 4, 0},     {"[f5]", RE_SPEED_KMH, "%3d", 5, 0},
      {"[f6,2]", RE_SPEED_MPH, "%2d", 6, 0},  {"[f7]", RE_TIME, "%a", 7, 7},
      {"[f7,5]", RE_TIME, "%A", 7, 7},        {"[f8]", RE_TIME, "%d", 8, 8},
      {"[f9]", RE_TIME, "%m", 9, 9},          {"[f10]", RE_TIME, "%y", 10, 10},
      {"[f11]", RE_TIME, "%Y", 11, 11},       {"[f12]", RE_TIME, "%#I:%M %P", 12, 12},
      {"[f13]", RE_TIME, "%#I:%M %p", 13, 13}, {"[f92]", RE_TEMP_C, "-5", 92, 0},
      {"[f93]", RE_TEMP_F, "23", 93, 0},      {"[f94]", RE_TEMP_C, "30", 94, 0},
      {"[f95]", RE_TEMP_F, "86", 95, 0},      {"[f96]", RE_TEMP_C, "-40", 96, 0},
      {"[f97]", RE_TEMP_F, "-40", 97, 0},     {"[f98]", RE_TEMP_C, "100", 98, 0},
      {"[f99]", RE_TEMP_F, "212", 99, 0},
  };
  for (const auto& c : cases) {
    rec_.events.clear();
    ASSERT_EQ(Validate(c.tag), MULTI_OK) << c.tag;
    ASSERT_FALSE(rec_.events.empty());
    EXPECT_EQ(rec_.events[0].kind, c.kind) << c.tag;
    // The field is content of the line: the segment ends after it.
    EXPECT_EQ(rec_.Trace(), std::to_string(c.kind) + " 14 15") << c.tag;
  }
  for (const auto& c : cases) {
    Load(c.tag);
    ASSERT_TRUE(parser_.NextPage(msg_.get()));
    EXPECT_STREQ(rec_.last.arg.field.format, c.format) << c.tag;
    EXPECT_EQ(rec_.last.arg.field.code, c.code) << c.tag;
    EXPECT_EQ(rec_.last.arg.field.time_code, c.time_code) << c.tag;
  }
}

TEST_F(MultiTagsTest, ManufacturerTagEvents) {
  Load("[ms11,spk,2,7][ms11,r,10,20][ms11,xy,5,9]");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(rec_.Trace(), "22 2 18 14 15 17 | 22 2 18");
  rec_.events.clear();

  Load("[ms11,spm,1,12]");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(rec_.last.kind, RE_SPEED_SENSOR);
  EXPECT_STREQ(rec_.last.arg.field.format, "%12d");
  EXPECT_EQ(rec_.last.arg.field.code, 1);   // mph
  EXPECT_EQ(rec_.last.arg.field.width, 1);  // the sensor

  Load("[ms11,r,10,20]");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(rec_.last.arg.realtime.offset, 10);
  EXPECT_EQ(rec_.last.arg.realtime.count, 20);

  // The position tag moves the text origin and switches justification off
  // until the next line or page.
  Load("[jl4][jp2][ms11,xy,5,9]A[nl]B");
  ASSERT_TRUE(parser_.ParsePage(&rec_, &Recorder::Callback, msg_.get(), 1));
  EXPECT_EQ(msg_->m_nTextX, 4);
  EXPECT_EQ(msg_->m_nTextY, 8);
  EXPECT_EQ(msg_->m_lines[0][0].x, 4);
  EXPECT_EQ(msg_->m_lines[0][0].top, 8);
  EXPECT_EQ(msg_->m_dwSavedLineJustification, 4u);
  EXPECT_EQ(msg_->m_dwSavedPageJustification, 2u);
  EXPECT_EQ(msg_->m_byLineJustification[0], 4);  // restored by [nl]
  EXPECT_EQ(msg_->m_byPageJustification[0], 1);
}

TEST_F(MultiTagsTest, GeneralPurposeOutputsOutsideValidation) {
  static std::vector<std::pair<uint32_t, bool>> calls;
  calls.clear();
  g_multi_hooks.gp_output_request = [](uint32_t n, bool on) { calls.emplace_back(n, on); };
  const char* text = "[ms11,gpo,3,1][ms11,gpo,10,0][ms11,gpo,4,2][ms11,gpo,11,1][ms11,gpo,x,1]";
  EXPECT_EQ(Validate(text), MULTI_OK);
  EXPECT_TRUE(calls.empty());
  Load(text);
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  // Both passes ask.
  EXPECT_EQ(calls, (std::vector<std::pair<uint32_t, bool>>{{3, true}, {10, false}, {3, true}, {10, false}}));
}

TEST_F(MultiTagsTest, FileGraphicsAreLookedUpDirectlyThenInBitmaps) {
  static std::vector<std::string> asked;
  asked.clear();
  g_multi_hooks.file_exists = [](const char* name) {
    asked.emplace_back(name);
    return std::string(name) == "Bitmaps/logo.bmp";
  };
  Load("[ms11,g,3,4,logo.bmp]");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(rec_.last.kind, RE_FILE_GRAPHIC);
  EXPECT_STREQ(rec_.last.arg.file.name, "Bitmaps/logo.bmp");
  EXPECT_EQ(rec_.last.arg.file.x, 3);
  EXPECT_EQ(rec_.last.arg.file.y, 4);
  EXPECT_EQ(asked[0], "logo.bmp");

  // The name must leave room for the folder in 151 characters.
  std::string longest(143, 'n'), too_long(144, 'n');
  EXPECT_EQ(Validate("[ms11,g,1,1," + longest + "]"), MULTI_UNSUPPORTED_TAG_VALUE);  // not found
  EXPECT_EQ(asked.back(), "Bitmaps/" + longest);
  asked.clear();
  EXPECT_EQ(Validate("[ms11,g,1,1," + too_long + "]"), MULTI_UNSUPPORTED_TAG_VALUE);
  EXPECT_TRUE(asked.empty());
}

TEST_F(MultiTagsTest, GraphicEventCarriesItsPlace) {
  Load("[g7,3,4]");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(rec_.last.kind, RE_GRAPHIC);
  EXPECT_EQ(rec_.last.arg.graphic.number, 7);
  EXPECT_EQ(rec_.last.arg.graphic.id, 0x1234);
  EXPECT_EQ(rec_.last.arg.graphic.x, 3);
  EXPECT_EQ(rec_.last.arg.graphic.y, 4);
  Load("[g7]");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(rec_.last.arg.graphic.x, 1);
  EXPECT_EQ(rec_.last.arg.graphic.y, 1);
}

TEST_F(MultiTagsTest, HexCharacterCodes) {
  struct {
    const char* tag;
    uint16_t code;
  } cases[] = {{"[hc41]", 0x41}, {"[hcab]", 0xAB}, {"[hcAb]", 0xAB}, {"[hc0FfF]", 0x0FFF}, {"[hc00041]", 0x41}};
  for (const auto& c : cases) {
    Load(c.tag);
    ASSERT_TRUE(parser_.NextPage(msg_.get())) << c.tag;
    EXPECT_EQ(rec_.last.kind, RE_HEX_CHAR);
    EXPECT_EQ(rec_.last.arg.hex.code, c.code) << c.tag;
  }
}

TEST_F(MultiTagsTest, FlashAndPageTimes) {
  struct {
    const char* tag;
    uint8_t mode, on, off;
  } flashes[] = {
      {"[flt3o4]", 1, 3, 4}, {"[flo4t3]", 2, 3, 4}, {"[flt3]", 1, 3, 10}, {"[flo4]", 2, 10, 4},
      {"[flto]", 1, 10, 10}, {"[fl]", 1, 10, 10},   {"[flt0o0]", 1, 0, 0},
  };
  for (const auto& c : flashes) {
    ASSERT_TRUE(Show(c.tag)) << c.tag;
    EXPECT_EQ(msg_->m_byFlashMode, c.mode) << c.tag;
    EXPECT_EQ(msg_->m_byFlashOn, c.on) << c.tag;
    EXPECT_EQ(msg_->m_byFlashOff, c.off) << c.tag;
  }
  // Without an off time by default there is no flashing.
  SetNv(nv::defaultFlashOff, 0);
  ASSERT_TRUE(Show("[fl]"));
  EXPECT_EQ(msg_->m_byFlashMode, 0);

  // After [pt9o9]; the defaults are 20 on and 0 off: what a tag leaves
  // out takes its default.
  struct {
    const char* tag;
    uint8_t on, off, given;
  } pages[] = {
      {"[pt5o6]", 5, 6, 1}, {"[pt5]", 5, 0, 1}, {"[pt]", 20, 0, 1}, {"[pto6]", 20, 6, 1}, {"[pt5o]", 5, 0, 1},
      {"[po7]", 7, 0, 1},   {"[pto]", 20, 0, 1}, {"[pt0o3]", 0, 3, 1},
  };
  for (const auto& c : pages) {
    ASSERT_TRUE(Show("[pt9o9]" + std::string(c.tag))) << c.tag;
    EXPECT_EQ(msg_->m_byPageOn, c.on) << c.tag;
    EXPECT_EQ(msg_->m_byPageOff, c.off) << c.tag;
    EXPECT_EQ(msg_->m_byPageTimeGiven, c.given) << c.tag;
  }
  ASSERT_TRUE(Show("[pt5o]"));
  EXPECT_EQ(msg_->m_byPageTimeGiven, 0);
}

TEST_F(MultiTagsTest, JustificationAndSpacing) {
  ASSERT_TRUE(Show("[jl4][jp2][sc3]"));
  EXPECT_EQ(msg_->m_byLineJustification[0], 4);
  EXPECT_EQ(msg_->m_byPageJustification[0], 2);
  EXPECT_EQ(msg_->m_byPageJustificationGiven[0], 1);
  EXPECT_EQ(msg_->m_nCharSpacing, 3);
  EXPECT_EQ(msg_->m_lines[0][0].SpacingOverride(), 3);
  ASSERT_TRUE(Show("[sc3][/sc][jl][jp]"));
  EXPECT_EQ(msg_->m_nCharSpacing, -1);
  EXPECT_EQ(msg_->m_lines[0][0].SpacingOverride(), 255);
  EXPECT_EQ(msg_->m_byLineJustification[0], 3);
  EXPECT_EQ(msg_->m_byPageJustification[0], 3);
  // A new text rectangle may take its own page justification.
  EXPECT_EQ(Validate("[jp2]A[tr1,1,0,0][jp4]B"), MULTI_OK);
  // Left text after a justification tag ends the segment before it.
  rec_.events.clear();
  EXPECT_EQ(Validate("[jl2]A[jl4]B"), MULTI_OK);
  EXPECT_EQ(rec_.Trace(), "1:A 14 1:B 14 15");
}

TEST_F(MultiTagsTest, NewLineSpacing) {
  SetNv(nv::fontLineSpacing(0), 2);
  SetNv(nv::fontLineSpacing(1), 5);
  SetNv(nv::fontLineSpacing(2), 9);
  // The renderer records the line spacing of the fonts used on the line.
  rec_.hook = [](CMessage* m) -> uint32_t {
    if (m->m_event.kind == RE_TEXT) m->CurrentLine().SetFontLineSpacing(3);
    return MULTI_OK;
  };
  struct {
    const char* text;
    uint8_t spacing;
  } cases[] = {
      {"A[nl]B", 3},           // (3 + 2) / 2, rounded up
      {"A[nl][fo2]B", 4},      // (3 + 5) / 2
      {"A[nl]B[fo3]C", 6},     // (3 + 9) / 2: fonts up to the next line count
      {"A[nl]B[nl][fo3]C", 3}, // ... but not those after it
      {"A[nl][[fo3]]B", 3},    // literal brackets name no font
      {"A[nl7]B", 7},
  };
  for (const auto& c : cases) {
    Load(c.text);
    ASSERT_TRUE(parser_.NextPage(msg_.get())) << c.text;
    EXPECT_EQ(msg_->m_lines[0][0].SpacingAfter(), c.spacing) << c.text;
  }
  SetNv(nv::dmsSignType, 5);
  Load("A[nl7]B");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(msg_->m_lines[0][0].SpacingAfter(), 0);
}

}  // namespace
