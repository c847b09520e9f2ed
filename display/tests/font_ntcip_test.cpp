// The NTCIP font view of the database's font table, and the loading of the
// built-in fonts into that table with the font version ID.
#include <string>
#include <vector>

#include "display/font/font_loader.h"
#include "display/font/ntcip_font.h"
#include "display/font/orvel_font.h"
#include "display/tests/font_fixture.h"
#include "frame/trace/trace.h"

namespace {

// X.25 CRC written out bit by bit, apart from the controller's table.
uint16_t Crc16X25(const std::vector<uint8_t>& bytes) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
  }
  return static_cast<uint16_t>(~crc);
}

const char* const kDefaultFonts[8] = {
    "07X04_1_CP1252.FNT", "07X06_2_CP1252.FNT", "FW07X5_1_NEMA4.FNT", "07GRAPH.FNT",
    "09X06_2_CP1252.FNT", "09X05_1_CP1252.FNT", "09X08_3_CP1252.FNT", "07X05_1_KM.FNT",
};

}  // namespace

class NtcipFontTest : public FontDbTest {
 protected:
  void SetUp() override {
    FontDbTest::SetUp();
    display_fonts_install();
  }
  void TearDown() override {
    g_builtin_font_loader = nullptr;
    FontDbTest::TearDown();
  }

  void SetBitmap(uint32_t slot, uint32_t c, std::vector<uint8_t> bytes) {
    db_->SetString(nv::characterBitmap(slot, c - 1).offset, 4, bytes.data(), static_cast<uint32_t>(bytes.size()),
                   db_->mib_nv, DB_NO_VALIDATE);
  }

  // The version ID computed from the stored objects, apart from the database.
  uint16_t ExpectedVersionID(uint32_t s) {
    std::vector<uint8_t> in = {uint8_t(Nv(nv::fontNumber(s))), uint8_t(Nv(nv::fontHeight(s))),
                               uint8_t(Nv(nv::fontCharSpacing(s))), uint8_t(Nv(nv::fontLineSpacing(s)))};
    for (uint32_t c = 0; c < 255; ++c) {
      uint8_t w = uint8_t(Nv(nv::characterWidth(s, c)));
      in.push_back(uint8_t(c + 1));
      in.push_back(w);
      if (w) {
        std::string bits = NvString(nv::characterBitmap(s, c));
        in.insert(in.end(), bits.begin(), bits.end());
      }
    }
    uint16_t crc = Crc16X25(in);
    return static_cast<uint16_t>((crc << 8) | (crc >> 8));
  }
};

TEST(Crc16X25, CheckValue) {
  const std::string s = "123456789";
  EXPECT_EQ(Crc16X25(std::vector<uint8_t>(s.begin(), s.end())), 0x906E);
}

TEST_F(NtcipFontTest, RowsArePackedBitAfterBit) {
  CNTCIPFont f(3);
  SetNv(nv::fontHeight(3), 7);
  SetNv(nv::characterWidth(3, 'X' - 1), 5);
  // Pixel (0, 1) is bit number 5: bit 2 of byte 0. Pixel (3, 1) is bit
  // number 8: bit 7 of byte 1.
  SetBitmap(3, 'X', {0x04, 0x80, 0x00, 0x00, 0x00});
  for (uint32_t y = 0; y < 7; ++y)
    for (uint32_t x = 0; x < 5; ++x)
      EXPECT_EQ(f.IsPixelSet('X', x, y), (x == 0 && y == 1) || (x == 3 && y == 1)) << x << "," << y;
  // The last pixel of a 5 x 7 glyph is bit 34: bit 5 of byte 4.
  SetBitmap(3, 'X', {0, 0, 0, 0, 0x20});
  EXPECT_TRUE(f.IsPixelSet('X', 4, 6));
  EXPECT_FALSE(f.IsPixelSet('X', 3, 6));
}

TEST_F(NtcipFontTest, ShortOrMissingBitmapsLeaveTheRestUnlit) {
  CNTCIPFont f(0);
  SetNv(nv::fontHeight(0), 7);
  SetNv(nv::characterWidth(0, 'M' - 1), 5);
  // No bitmap at all: no pixel, but the width still counts.
  EXPECT_EQ(f.GetCharWidth('M'), 5u);
  for (uint32_t y = 0; y < 7; ++y)
    for (uint32_t x = 0; x < 5; ++x) EXPECT_FALSE(f.IsPixelSet('M', x, y));
  // One byte of the five: its eight pixels and nothing beyond.
  SetBitmap(0, 'M', {0xFF});
  uint32_t lit = 0;
  for (uint32_t y = 0; y < 7; ++y)
    for (uint32_t x = 0; x < 5; ++x) lit += f.IsPixelSet('M', x, y);
  EXPECT_EQ(lit, 8u);
  EXPECT_TRUE(f.IsPixelSet('M', 2, 1));
  EXPECT_FALSE(f.IsPixelSet('M', 3, 1));
}

TEST_F(NtcipFontTest, ReadsEachObjectOfItsRow) {
  CNTCIPFont f;
  EXPECT_EQ(f.GetFontIndex(), 0u);
  f.SetFontIndex(19);
  SetNv(nv::fontHeight(19), 9);
  SetNv(nv::fontCharSpacing(19), 2);
  SetNv(nv::fontLineSpacing(19), 3);
  SetNv(nv::fontStatus(19), 4);
  SetNv(nv::characterWidth(19, 0), 6);    // character 1
  SetNv(nv::characterWidth(19, 254), 7);  // character 255
  EXPECT_EQ(f.GetHeight(), 9u);
  EXPECT_EQ(f.GetCharSpacing(), 2u);
  EXPECT_EQ(f.GetLineSpacing(), 3u);
  EXPECT_EQ(f.GetStatus(), 4u);
  EXPECT_EQ(f.GetCharWidth(1), 6u);
  EXPECT_EQ(f.GetCharWidth(255), 7u);
  EXPECT_EQ(f.GetName(), nullptr);
  // Character 0 is not in the table; nor is a row past the last.
  EXPECT_EQ(f.GetCharWidth(0), 0u);
  EXPECT_EQ(f.GetCharWidth(256), 0u);
  f.SetFontIndex(20);
  EXPECT_EQ(f.GetHeight(), 0u);
  EXPECT_EQ(f.GetCharWidth(1), 0u);
}

TEST_F(NtcipFontTest, LineSpacingIsZeroOnCharacterAndLineMatrixSigns) {
  CNTCIPFont f(1);
  SetNv(nv::fontLineSpacing(1), 3);
  const struct {
    uint32_t type, spacing;
  } cases[] = {{4, 0}, {5, 0}, {132, 0}, {133, 0}, {6, 3}, {3, 3}, {134, 3}};
  for (const auto& c : cases) {
    SetNv(nv::dmsSignType, c.type);
    EXPECT_EQ(f.GetLineSpacing(), c.spacing) << c.type;
  }
}

TEST_F(NtcipFontTest, LoadedFontMatchesItsBuiltInSource) {
  for (int slot = 0; slot < 8; ++slot) {
    const char* name = kDefaultFonts[slot];
    SCOPED_TRACE(name);
    ASSERT_EQ(db_->LoadFont(name, slot), 1);
    COrvelFont src;
    ASSERT_TRUE(src.Load(name));
    const uint32_t s = static_cast<uint32_t>(slot);
    EXPECT_EQ(Nv(nv::fontNumber(s)), s + 1);
    EXPECT_EQ(Nv(nv::fontHeight(s)), src.GetHeight());
    EXPECT_EQ(Nv(nv::fontCharSpacing(s)), src.GetCharSpacing());
    EXPECT_EQ(Nv(nv::fontLineSpacing(s)), src.GetLineSpacing());
    EXPECT_EQ(NvString(nv::fontName(s)), name);
    CNTCIPFont view(s);
    for (uint32_t c = 1; c < 256; ++c) {
      const uint32_t w = src.GetCharWidth(c);
      ASSERT_EQ(view.GetCharWidth(c), w) << c;
      EXPECT_EQ(NvString(nv::characterBitmap(s, c - 1)).size(), (w * src.GetHeight() + 7) / 8) << c;
      for (uint32_t y = 0; y < src.GetHeight(); ++y)
        for (uint32_t x = 0; x < w; ++x) ASSERT_EQ(view.IsPixelSet(c, x, y), src.IsPixelSet(c, x, y)) << c;
    }
  }
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
}

TEST_F(NtcipFontTest, DefaultFontsFillTheFirstEightSlots) {
  db_->LoadDefaultFonts();
  for (uint32_t s = 0; s < 8; ++s) {
    EXPECT_EQ(NvString(nv::fontName(s)), kDefaultFonts[s]);
    EXPECT_NE(Nv(nv::fontVersionID(s)), 0u);
  }
  for (uint32_t s = 8; s < 20; ++s) EXPECT_EQ(Nv(nv::fontHeight(s)), 0u);
  EXPECT_EQ(Nv(nv::fontHeight(3)), 7u);
  EXPECT_EQ(Nv(nv::fontHeight(6)), 9u);
}

TEST_F(NtcipFontTest, VersionIdIsTheCrcOfTheFontAndStableAcrossLoads) {
  ASSERT_EQ(db_->LoadFont("09X05_1_CP1252.FNT", 4), 1);
  const uint32_t id = Nv(nv::fontVersionID(4));
  EXPECT_EQ(id, ExpectedVersionID(4));
  ASSERT_EQ(db_->LoadFont("07GRAPH.FNT", 4), 1);
  EXPECT_EQ(Nv(nv::fontVersionID(4)), ExpectedVersionID(4));
  EXPECT_NE(Nv(nv::fontVersionID(4)), id);
  ASSERT_EQ(db_->LoadFont("09X05_1_CP1252.FNT", 4), 1);
  EXPECT_EQ(Nv(nv::fontVersionID(4)), id);
  // The same font in another slot differs only by its number.
  ASSERT_EQ(db_->LoadFont("09X05_1_CP1252.FNT", 9), 1);
  EXPECT_EQ(Nv(nv::fontVersionID(9)), ExpectedVersionID(9));
  EXPECT_NE(Nv(nv::fontVersionID(9)), id);
}

TEST_F(NtcipFontTest, SpecialGlyphsReplaceLettersOfTheFirstTwoFonts) {
  SetNv(nv::quorSpecialFeatureSet, 0x20);
  db_->LoadDefaultFonts();
  CNTCIPFont f0(0), f1(1), f2(2);
  // 'a' (index 0x60) is a right arrow in both, 5 and 6 columns wide.
  EXPECT_EQ(f0.GetCharWidth('a'), 5u);
  EXPECT_EQ(NvString(nv::characterBitmap(0, 0x60)), std::string("\x01\x05\xF1\x10\x00", 5));
  std::string arrow;
  for (uint32_t y = 0; y < 7; ++y) {
    for (uint32_t x = 0; x < 5; ++x) arrow += f0.IsPixelSet('a', x, y) ? '#' : '.';
    arrow += '\n';
  }
  EXPECT_EQ(arrow, ".....\n..#..\n...#.\n#####\n...#.\n..#..\n.....\n");
  EXPECT_EQ(f1.GetCharWidth('a'), 6u);
  EXPECT_EQ(f1.GetCharWidth('i'), 4u);  // index 0x68
  EXPECT_EQ(f1.GetCharWidth('j'), 5u);  // index 0x69
  EXPECT_EQ(NvString(nv::characterBitmap(1, 0x67)), std::string("\xF3\x8E\x2C\x18\x30\x40", 6));
  // 'k' and the third font are their own.
  COrvelFont km, nema;
  ASSERT_TRUE(km.Load("07X06_2_CP1252.FNT"));
  EXPECT_EQ(f1.GetCharWidth('k'), km.GetCharWidth('k'));
  ASSERT_TRUE(nema.Load("FW07X5_1_NEMA4.FNT"));
  EXPECT_EQ(f2.GetCharWidth('a'), nema.GetCharWidth('a'));
  EXPECT_EQ(Nv(nv::fontVersionID(0)), ExpectedVersionID(0));
  EXPECT_EQ(Nv(nv::fontVersionID(1)), ExpectedVersionID(1));

  // Without the feature the letters stay.
  SetNv(nv::quorSpecialFeatureSet, 0);
  ASSERT_EQ(db_->LoadFont("07X04_1_CP1252.FNT", 0), 1);
  COrvelFont small;
  ASSERT_TRUE(small.Load("07X04_1_CP1252.FNT"));
  EXPECT_EQ(f0.GetCharWidth('a'), small.GetCharWidth('a'));
}

TEST_F(NtcipFontTest, UnknownNameLoadsTheFirstFontUnderThatName) {
  ASSERT_EQ(db_->LoadFont("CUSTOM.FNT", 12), 1);
  EXPECT_EQ(NvString(nv::fontName(12)), "CUSTOM.FNT");
  EXPECT_EQ(Nv(nv::fontNumber(12)), 13u);
  COrvelFont first;
  ASSERT_TRUE(first.Load("07X04_1_CP1252.FNT"));
  CNTCIPFont view(12);
  for (uint32_t c = 1; c < 256; ++c) EXPECT_EQ(view.GetCharWidth(c), first.GetCharWidth(c)) << c;
}

TEST_F(NtcipFontTest, FontsThatCannotLoadLeaveTheSlotAlone) {
  EXPECT_EQ(db_->LoadFont(nullptr, 2), 0);
  EXPECT_EQ(db_->LoadFont(std::string(60, 'F').c_str(), 2), 0);
  EXPECT_EQ(db_->LoadFont("07GRAPH.FNT", 20), 0);
  EXPECT_EQ(db_->LoadFont("07GRAPH.FNT", -1), 0);
  EXPECT_EQ(Nv(nv::fontHeight(2)), 0u);
  EXPECT_EQ(Nv(nv::fontVersionID(2)), 0u);
  // The database's hooks are back on after a load.
  EXPECT_TRUE(db_->HooksEnabled());
}

class NtcipFontNoPoolTest : public NtcipFontTest {
  void SetUp() override {
    Boot(false);
    display_fonts_install();
  }
};

TEST_F(NtcipFontNoPoolTest, WithoutTheBufferPoolTheSlotStaysEmpty) {
  trace_capture trace;
  EXPECT_EQ(db_->LoadFont("07X05_1_KM.FNT", 7), 0);
  EXPECT_EQ(Nv(nv::fontHeight(7)), 0u);
  EXPECT_EQ(Nv(nv::characterWidth(7, 'A' - 1)), 0u);
  EXPECT_TRUE(trace.contains("display_fonts_load"));
}
