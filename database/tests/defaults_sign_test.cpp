// Factory defaults of the NTCIP sign objects.
#include "database/defaults.h"
#include "database/tests/defaults_fixture.h"

namespace {

const std::vector<int_row> kSignInts = {
    // Sign and pixel configuration.
    {48, 2, 1072, FULL},
    {50, 2, 2260, FULL},
    {52, 2, 305, FULL},
    {54, 2, 305, FULL},
    {56, 1, 8, FULL},
    {57, 1, 5, FULL},
    {58, 1, 2, FULL},
    {60, 1, 7, FULL},
    {61, 1, 0, FULL},
    {62, 2, 7, FULL},
    {64, 2, 25, FULL},
    {66, 1, 66, FULL},
    {67, 1, 66, FULL},
    // Fonts and characters.
    {72, 1, 0, ALWAYS, 20},
    {172, 1, 0, ALWAYS, 60},  // heights, character and line spacings
    {232, 2, 0, ALWAYS, 20},
    {272, 1, 11, ALWAYS, 20},
    {292, 1, 0, ALWAYS, 5100},
    // MULTI defaults.
    {25792, 1, 0},
    {25793, 1, 9},
    {25794, 1, 10},
    {25795, 1, 10},
    {25796, 1, 8},
    {25797, 1, 3},
    {25798, 1, 3},
    {25799, 1, 20},
    {25800, 1, 0},
    {25801, 1, 2},
    {25802, 1, 6, FULL},
    {25820, 1, 10},
    {25821, 1, 10},
    {25822, 1, 8},
    {25823, 1, 3},
    {25824, 1, 3},
    {25825, 1, 20},
    {25826, 1, 0},
    {25803, 1, 3},
    {25828, 1, 2},
    // Message table: changeable rows, then the permanent rows 500..549.
    {30232, 2, 0, ALWAYS, 500},
    {31332, 1, 0, ALWAYS, 500},
    {31882, 1, 0, ALWAYS, 500},
    {32432, 1, 1, ALWAYS, 500},
    {32982, 1, 1, ALWAYS, 500},
    {30232 + 1000, 2, 0, FULL, 50},
    {31332 + 500, 1, 0, FULL, 50},
    {31882 + 500, 1, 0, FULL, 50},
    {32432 + 500, 1, 190, FULL, 50},
    {32982 + 500, 1, 1, FULL, 50},
    // The schedule and current-buffer rows.
    {33540, 2, 0},
    {33542, 1, 0},
    {33543, 1, 0},
    {33544, 1, 1},
    {33545, 1, 4},
    {33556, 2, 0},
    {33558, 1, 0},
    {33559, 1, 0},
    {33560, 1, 1},
    {33561, 1, 4},
    // Sign control.
    {33564, 1, 0},
    {33566, 2, 65535},
    {33572, 4, 0},
    {33576, 1, 11},
    {33588, 2, 60},
    {33600, 2, 0},
    {33612, 1, 0},
    {33613, 1, 2},
    {33614, 2, 0},
    // Illumination and status.
    {33620, 1, 2},
    {33621, 1, 255},
    {33628, 1, 2},
    {33630, 2, 0},
    {34652, 1, 0},
    {34656, 4, 0},
    // Graphic table.
    {34660, 1, 0, FULL, 50},
    {34912, 1, 0, FULL, 50},
    {34962, 2, 0, FULL, 50},
    {35062, 1, 1, FULL, 50},
    {35112, 2, 0, FULL, 50},
    {35212, 1, 0, FULL, 50},
    {35464, 1, 1, FULL, 50},
};

const std::vector<str_row> kSignStrings = {
    // Amber on, black off, in the colours of the factory module type 21.
    {68, std::string("\xFF\xB4\x00\x00\x00\x00", 6), FULL},
    {92, "", ALWAYS, 20},
    {5392, "", ALWAYS, 5100},
    {25804, Zeros(1)},
    {25812, Zeros(1)},
    {25808, "\x09"},
    {25816, "\x09"},
    {25832, "", ALWAYS, 500},
    {28032, "", ALWAYS, 500},
    {25832 + 2000, "", FULL, 50},
    {28032 + 2000, "", FULL, 50},
    {33532, "", ALWAYS, 2},
    {33548, "", ALWAYS, 2},
    {33568, kBlank1},
    {33580, kCurrent1, ALWAYS, 2},
    {33592, kCurrent1},
    {33596, kBlank1},
    {33604, kCurrent1},
    {33608, kBlank1},
    {33616, ""},
    {33624, "\x30"},
    {33632, "", ALWAYS, 255},
    {34712, "", FULL, 50},
    {35264, Zeros(1), FULL, 50},
    {35516, "", FULL, 3150},
};

const std::vector<int_row> kSignVolatileInts = {
    {0, 1, 2},        {2, 2, 2},       {4, 1, 20},       {6, 2, 255},         {8, 1, 64},
    {16, 2, 3000},    {20, 2, 2},      {22, 2, 0},       {24, 2, 500},        {28, 4, 750000},
    {32, 2, 0},       {34, 2, 4},      {36, 4, 6000},
    // Volatile messages.
    {72, 2, 0, ALWAYS, 4}, {80, 1, 0, ALWAYS, 8}, {88, 1, 1, ALWAYS, 4}, {92, 1, 1, ALWAYS, 4},
    // The two permanent messages and the third special row.
    {112, 2, 0, ALWAYS, 2}, {116, 1, 0, ALWAYS, 4}, {120, 1, 255}, {121, 1, 1}, {122, 1, 4, ALWAYS, 2},
    {132, 2, 0},      {134, 1, 0},     {135, 1, 0},      {136, 1, 1},         {137, 1, 1},
    // Sign control, illumination, counts.
    {144, 1, 4},      {145, 1, 2},     {146, 2, 0, ALWAYS, 3}, {156, 1, 1},  {160, 1, 0},
    {162, 2, 0},      {164, 2, 65535}, {166, 1, 255},    {168, 1, 255},       {169, 1, 0, ALWAYS, 3},
    {172, 1, 1},      {182, 1, 11},
    // Error status.
    {240, 2, 0},      {242, 1, 2},     {243, 1, 2},      {244, 1, 2},         {245, 1, 0},
    {246, 2, 0},      {248, 2, 0},     {250, 2, 0},      {256, 1, 0},         {264, 1, 0},
    {272, 1, 0, ALWAYS, 3}, {280, 1, 0}, {288, 1, 0},
    // Power, lamp, light, humidity and temperature tables.
    {2692, 1, 2, ALWAYS, 300}, {2992, 2, 0, ALWAYS, 300}, {3592, 1, 6, ALWAYS, 300},
    {4148, 1, 2, ALWAYS, 32},  {4180, 1, 0, ALWAYS, 32},  {4212, 1, 2, ALWAYS, 32}, {4372, 1, 1, ALWAYS, 32},
    {4496, 2, 0, ALWAYS, 12},  {4520, 1, 2, ALWAYS, 12},  {4556, 1, 0, ALWAYS, 6},  {4562, 1, 2, ALWAYS, 6},
    {4616, 1, 127, ALWAYS, 12}, {4628, 1, 128, ALWAYS, 12}, {4640, 1, 127, ALWAYS, 12},
    {4652, 1, 128, ALWAYS, 12}, {4664, 1, 0, ALWAYS, 24},
    // Pixel status: three rows of each 500-row group.
    {4688, 2, 1, ALWAYS, 3}, {4688 + 1000, 2, 1, ALWAYS, 3}, {4688 + 2000, 2, 1, ALWAYS, 3},
    {7688, 2, 1, ALWAYS, 3}, {7688 + 1000, 2, 1, ALWAYS, 3}, {7688 + 2000, 2, 1, ALWAYS, 3},
    {4694, 2, 0},  // row 3 of the first group is not written
    // Power and temperature status, graphics.
    {12188, 2, 0},    {12190, 1, 0, ALWAYS, 2}, {12192, 1, 120}, {12193, 1, 4}, {12194, 1, 0},
    {12196, 1, 0, ALWAYS, 6}, {12212, 1, 50}, {12213, 1, 0}, {12214, 2, 64449}, {12216, 4, 16777215},
    {12220, 2, 1023},
};

const std::vector<str_row> kSignVolatileStrings = {
    {12, "\xFF\xFF\xFF\x3F"}, {40, "", ALWAYS, 4},   {56, "", ALWAYS, 4},  {96, "", ALWAYS, 4},
    {124, "", ALWAYS, 2},     {140, ""},             {152, ""},            {184, "", ALWAYS, 11},
    {228, "", ALWAYS, 3},     {252, ""},             {260, ""},            {268, ""},
    {276, Zeros(1)},          {284, Zeros(1)},       {292, "", ALWAYS, 300}, {1492, "", ALWAYS, 300},
    {3892, "", ALWAYS, 32},   {4020, "", ALWAYS, 32}, {4244, "", ALWAYS, 32}, {4404, "", ALWAYS, 11},
    {4448, "", ALWAYS, 12},   {4532, "", ALWAYS, 6}, {4568, "", ALWAYS, 12}, {12204, "", ALWAYS, 2},
};

}  // namespace

TEST_F(DefaultsTest, SignObjectsOnAFullAndAPartialReset) { CheckResets(kSignInts, kSignStrings); }

TEST_F(DefaultsTest, SignStatusAtEveryStart) {
  db_->LoadDefaults(0);
  db_->InitVolatileDefaults();
  ExpectInts(vol(), kSignVolatileInts, "volatile");
  ExpectStrings(vol(), kSignVolatileStrings, "volatile");
}

TEST_F(DefaultsTest, MessageAndGraphicCountsFollowTheTables) {
  db_->LoadDefaults(0);
  for (uint32_t r : {3u, 17u, 499u, 549u}) db_->SetValue(32982 + r, 1, 4, nv(), DB_NO_VALIDATE);
  db_->SetValue(32982 + 500, 1, 5, nv(), DB_NO_VALIDATE);  // not valid
  // Graphics: 0 ready, 1 in use, 2 modifying, 3 not used; each with a block.
  const uint32_t status[4] = {4, 5, 2, 1};
  for (uint32_t g = 0; g < 4; ++g) {
    db_->SetValue(35464 + g, 1, status[g], nv(), DB_NO_VALIDATE);
    db_->SetString(35516 + 4 * 63 * g + 8, 4, "bits", 4, nv(), DB_NO_VALIDATE);
  }
  db_->InitVolatileDefaults();
  EXPECT_EQ(db_->GetValue(22, 2, vol(), 0), 3u);  // dmsNumChangeableMsg
  EXPECT_EQ(db_->GetValue(20, 2, vol(), 0), 3u);  // dmsNumPermanentMsg: 2 + one valid row
  EXPECT_EQ(db_->GetValue(28, 4, vol(), 0), 745500u);
  EXPECT_EQ(db_->GetValue(12213, 1, vol(), 0), 2u);
  // Only the graphic not in use loses its blocks.
  for (uint32_t g = 0; g < 4; ++g) EXPECT_EQ(Str(35516 + 4 * 63 * g + 8, nv()), g == 3 ? "" : "bits") << g;
}

TEST_F(DefaultsTest, CharacterMatrixSignHasOneFont) {
  db_->LoadDefaults(0);
  db_->SetValue(57, 1, 132, nv(), DB_NO_VALIDATE);
  db_->InitVolatileDefaults();
  EXPECT_EQ(db_->GetValue(4, 1, vol(), 0), 1u);
}

// The monochrome colour comes from the module type the reset stores, not
// from the one it finds.
TEST_F(DefaultsTest, MonochromeColourOfTheFactoryModuleType) {
  db_->SetValue(95030, 2, 98, nv(), DB_NO_VALIDATE);  // a two-colour module before the reset
  db_->LoadDefaults(0);
  EXPECT_EQ(db_->GetValue(95030, 2, nv(), 0), 21u);
  EXPECT_EQ(Str(68, nv()), std::string("\xFF\xB4\x00\x00\x00\x00", 6));
}
