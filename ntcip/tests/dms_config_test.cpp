// The sign's description, its fonts and its MULTI defaults over SNMP: what
// the write override opens, what an open font accepts, character bitmaps of
// the wrong size, the download of a font with its version ID, and the
// colour defaults by colour scheme.
#include <functional>

#include "display/driver/module_type.h"
#include "ntcip/tests/dms_tables_fixture.h"

namespace {

using namespace tables;

oid_t Font(uint32_t column, uint32_t f) { return O("ENT.4.2.3.3.2.1." + std::to_string(column) + "." + std::to_string(f)); }
oid_t Char(uint32_t column, uint32_t f, uint32_t c)
{
    return O("ENT.4.2.3.3.4.1." + std::to_string(column) + "." + std::to_string(f) + "." + std::to_string(c));
}
enum : uint32_t { kIndex = 1, kFontNumber, kName, kHeight, kCharSpacing, kLineSpacing, kVersion, kFontStatus };
enum : uint32_t { kCharNumber = 1, kWidth, kBitmap };

std::string Bits(std::initializer_list<uint8_t> b) { return std::string(b.begin(), b.end()); }

// The font version ID worked out here: X.25 over the font's parameters and
// every character (number, width, bitmap), its bytes exchanged.
uint16_t VersionId(const std::vector<uint8_t>& bytes)
{
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
    }
    crc = static_cast<uint16_t>(~crc);
    return static_cast<uint16_t>((crc << 8) | (crc >> 8));
}

class DmsConfigTest : public DmsTablesTest {
protected:
    void TearDown() override
    {
        snmp_mib_set_write_override(0);
        DmsTablesTest::TearDown();
    }
    // Lets the display task serve what it was told, until `done` or a bound.
    void StepUntil(const std::function<bool()>& done)
    {
        for (int i = 0; i < 50 && !done(); ++i)
            rtos::advance(10);
        EXPECT_TRUE(done());
    }
    std::string NvText(db_object o)
    {
        Bytes b = NvBytes(o);
        return std::string(b.begin(), b.end());
    }
};

TEST_F(DmsConfigTest, SignDescriptionOpensOnlyToTheWriteOverride)
{
    EXPECT_EQ(6u, GetInt(Dms("1.2")));
    EXPECT_EQ(7u, GetInt(Dms("2.3")));
    EXPECT_EQ(15u, GetInt(Dms("2.4")));
    EXPECT_EQ(5u, GetInt(Dms("2.2")));
    EXPECT_EQ(2u, GetInt(Dms("1.7")));  // dmsLegend
    EXPECT_EQ(2u, GetInt(Dms("1.9")));  // dmsSignTechnology

    EXPECT_NE(0u, Set({vb_int(Dms("1.3"), 1200)}).error_status);
    EXPECT_NE(1200u, Nv(nv::dmsSignHeight));

    snmp_mib_set_write_override(1);
    EXPECT_EQ(0u, Set({vb_int(Dms("1.3"), 1200)}).error_status);
    EXPECT_EQ(1200u, Nv(nv::dmsSignHeight));
    EXPECT_EQ(0u, Set({vb_int(Dms("2.4"), 20)}).error_status);
    EXPECT_EQ(20u, GetInt(Dms("2.4")));
    // Past the registry's checks the handler still wants an integer.
    EXPECT_EQ(3u, Set({vb_str(Dms("1.3"), "tall")}).error_status);
    EXPECT_EQ(3u, Set({vb_str(Dms("2.3"), "tall")}).error_status);
    EXPECT_EQ(1200u, Nv(nv::dmsSignHeight));
    // Read-only in every case.
    EXPECT_NE(0u, Set({vb_int(Dms("1.7"), 3)}).error_status);
    EXPECT_EQ(2u, GetInt(Dms("1.7")));
}

TEST_F(DmsConfigTest, FontAndCharacterTables)
{
    SetVol(vol::numFonts, 1);
    SetNv(nv::fontStatus(1), 11);
    SetNv(nv::fontStatus(2), 1);
    struct {
        const char* what;
        vb value;  // a null value is a GET
        uint32_t status;
        uint32_t answer;
    } cases[] = {
        {"fontIndex beyond numFonts", vb_null(Font(kIndex, 7)), 0, 7},
        {"fontIndex 20", vb_null(Font(kIndex, 20)), 0, 20},
        {"fontIndex 21", vb_null(Font(kIndex, 21)), 2, 0},
        {"fontIndex 0", vb_null(Font(kIndex, 0)), 2, 0},
        {"characterNumber 20.255", vb_null(Char(kCharNumber, 20, 255)), 0, 255},
        {"characterNumber 21.1", vb_null(Char(kCharNumber, 21, 1)), 2, 0},
        {"characterNumber 1.256", vb_null(Char(kCharNumber, 1, 256)), 2, 0},
        {"characterNumber 1.0", vb_null(Char(kCharNumber, 1, 0)), 2, 0},
        {"characterWidth of A", vb_null(Char(kWidth, 1, 65)), 0, 3},
        {"name of a font ready for use", vb_str(Font(kName, 1), "mine"), 5, 0},
        {"name too long", vb_str(Font(kName, 2), std::string(65, 'n')), 3, 0},
        {"duplicate number, unmanaged", vb_int(Font(kFontNumber, 2), 1), 3, 0},
        {"number 0", vb_int(Font(kFontNumber, 2), 0), 3, 0},
        {"ready for use from notUsed", vb_int(Font(kFontStatus, 3), 8), 3, 0},
        {"status beyond the values", vb_int(Font(kFontStatus, 3), 12), 3, 0},
        {"width of a closed font", vb_int(Char(kWidth, 3, 65), 2), 5, 0},
        {"version ID is read-only", vb_int(Font(kVersion, 1), 1), ~0u, 0},
    };
    for (const auto& c : cases) {
        response r = c.value.syntax == SNMP_NULL ? Get({c.value}) : Set({c.value});
        ASSERT_TRUE(r.ok) << c.what;
        if (c.status == ~0u)
            EXPECT_NE(0u, r.error_status) << c.what;
        else
            EXPECT_EQ(c.status, r.error_status) << c.what;
        if (c.status == 0 && c.value.syntax == SNMP_NULL) {
            EXPECT_EQ(c.answer, r.varbinds[0].integer) << c.what;
        }
    }
    // The same number is accepted while the font is being modified.
    SetNv(nv::fontStatus(1), 2);
    EXPECT_EQ(0u, Set({vb_int(Font(kFontNumber, 2), 1)}).error_status);
    EXPECT_EQ(1u, Nv(nv::fontNumber(1)));
    // Wider than the sign's pixels: refused on a full-matrix sign.
    SetNv(nv::fontStatus(0), 2);
    EXPECT_EQ(3u, Set({vb_int(Char(kWidth, 1, 66), 16)}).error_status);
    EXPECT_EQ(0u, Set({vb_int(Char(kWidth, 1, 66), 15)}).error_status);
}

TEST_F(DmsConfigTest, NewHeightEmptiesTheFontsCharacters)
{
    SetNv(nv::fontStatus(0), 2);
    const std::string a = NvText(nv::characterBitmap(0, 64));
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(0u, Set({vb_int(Font(kHeight, 1), 5)}).error_status);
    EXPECT_EQ(3u, Nv(nv::characterWidth(0, 64)));
    EXPECT_EQ(a, NvText(nv::characterBitmap(0, 64)));
    // Taller than the sign: refused, characters kept.
    EXPECT_EQ(3u, Set({vb_int(Font(kHeight, 1), 8)}).error_status);
    EXPECT_EQ(a, NvText(nv::characterBitmap(0, 64)));
    EXPECT_EQ(0u, Set({vb_int(Font(kHeight, 1), 6)}).error_status);
    for (uint32_t c : {64u, 65u, 66u}) {
        EXPECT_EQ(0u, Nv(nv::characterWidth(0, c))) << c;
        EXPECT_EQ("", NvText(nv::characterBitmap(0, c))) << c;
    }
}

TEST_F(DmsConfigTest, CharacterBitmapsOfTheWrongSizeAreRefused)
{
    SetNv(nv::fontStatus(0), 2);
    const std::string a = NvText(nv::characterBitmap(0, 64));  // 3 x 5: 2 bytes
    struct {
        const char* what;
        std::vector<vb> values;
        uint32_t status;
    } cases[] = {
        {"one byte short", {vb_str(Char(kBitmap, 1, 65), Bits({0x55}))}, 3},
        {"one byte over", {vb_str(Char(kBitmap, 1, 65), Bits({0x55, 0xAA, 0x00}))}, 3},
        {"empty", {vb_str(Char(kBitmap, 1, 65), "")}, 3},
        {"for the width the same request sets",
         {vb_int(Char(kWidth, 1, 65), 4), vb_str(Char(kBitmap, 1, 65), Bits({0xFF, 0xFF}))},
         3},
    };
    for (const auto& c : cases) {
        response r = Set(c.values);
        EXPECT_EQ(c.status, r.error_status) << c.what;
    }
    // Nothing of a refused request was written.
    EXPECT_EQ(3u, Nv(nv::characterWidth(0, 64)));
    EXPECT_EQ(a, NvText(nv::characterBitmap(0, 64)));

    EXPECT_EQ(0u, Set({vb_str(Char(kBitmap, 1, 65), Bits({0x12, 0x34}))}).error_status);
    EXPECT_EQ(Bits({0x12, 0x34}), GetText(Char(kBitmap, 1, 65)));
    // A width and its bitmap in one request, in either order.
    EXPECT_EQ(0u, Set({vb_str(Char(kBitmap, 1, 67), Bits({1, 2, 3, 4})), vb_int(Char(kWidth, 1, 67), 5)}).error_status);
    EXPECT_EQ(5u, Nv(nv::characterWidth(0, 66)));
    EXPECT_EQ(Bits({1, 2, 3, 4}), NvText(nv::characterBitmap(0, 66)));
    // A new height first, then a character drawn for it.
    response r = Set({vb_int(Font(kHeight, 1), 6), vb_int(Char(kWidth, 1, 66), 2),
                      vb_str(Char(kBitmap, 1, 66), Bits({0xAB, 0xC0}))});
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(Bits({0xAB, 0xC0}), NvText(nv::characterBitmap(0, 65)));
    EXPECT_EQ("", NvText(nv::characterBitmap(0, 64)));
}

TEST_F(DmsConfigTest, DownloadOfAFontEndsReadyWithItsVersionId)
{
    // Font 5, not used: modify, fill, ready for use.
    ASSERT_EQ(0u, Set({vb_int(Font(kFontStatus, 5), 7)}).error_status);
    StepUntil([&] { return Nv(nv::fontStatus(4)) == 2; });
    response r = Set({vb_int(Font(kFontNumber, 5), 9), vb_str(Font(kName, 5), "narrow"), vb_int(Font(kHeight, 5), 2),
                      vb_int(Font(kCharSpacing, 5), 1), vb_int(Font(kLineSpacing, 5), 3),
                      vb_int(Char(kWidth, 5, 49), 1), vb_str(Char(kBitmap, 5, 49), Bits({0xC0})),
                      vb_int(Char(kWidth, 5, 50), 3), vb_str(Char(kBitmap, 5, 50), Bits({0xB4}))});
    ASSERT_EQ(0u, r.error_status);
    ASSERT_EQ(0u, Set({vb_int(Font(kFontStatus, 5), 8)}).error_status);
    StepUntil([&] { return Nv(nv::fontStatus(4)) == 4; });

    std::vector<uint8_t> bytes = {9, 2, 1, 3};
    for (uint32_t c = 1; c <= 255; ++c) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(c == 49 ? 1 : c == 50 ? 3 : 0);
        if (c == 49)
            bytes.push_back(0xC0);
        if (c == 50)
            bytes.push_back(0xB4);
    }
    EXPECT_EQ(VersionId(bytes), GetInt(Font(kVersion, 5)));
    EXPECT_EQ("narrow", GetText(Font(kName, 5)));
    EXPECT_EQ(4u, GetInt(Font(kFontStatus, 5)));
}

TEST_F(DmsConfigTest, MultiDefaultsAndCapabilities)
{
    EXPECT_EQ(3000u, GetInt(Dms("4.16")));
    EXPECT_EQ(Bits({0xFF, 0xFF, 0xFF, 0x3F}), GetText(Dms("4.14")));
    EXPECT_EQ(0u, Set({vb_str(Dms("4.14"), Bits({0x0F}))}).error_status);
    EXPECT_EQ(Bits({0x0F}), GetText(Dms("4.14")));
    EXPECT_EQ(3u, Set({vb_int(Dms("4.8"), 0)}).error_status);  // defaultPageOnTime
    EXPECT_EQ(3u, Set({vb_int(Dms("4.6"), 6)}).error_status);  // defaultJustificationLine
    EXPECT_EQ(0u, Set({vb_int(Dms("4.6"), 5)}).error_status);
    EXPECT_EQ(5u, GetInt(Dms("4.6")));
    EXPECT_EQ(2u, Set({vb_int(Dms("4.3"), 4)}, "viewer").error_status);
    EXPECT_EQ(0u, Set({vb_int(Dms("4.3"), 4)}).error_status);
    EXPECT_EQ(4u, GetInt(Dms("4.3")));
}

TEST_F(DmsConfigTest, ClassicColoursFollowTheColourScheme)
{
    // Classic colours on a sign of classic colours, kept in step with the RGB.
    SetNv(nv::dmsColorScheme, 3);
    const module_type_row* m = find_module_type(Nv(nv::quorModuleID));
    ASSERT_NE(nullptr, m);
    EXPECT_EQ(0u, Set({vb_int(Dms("4.2"), 9)}).error_status);
    EXPECT_EQ(9u, GetInt(Dms("4.2")));
    EXPECT_EQ(Bits({9}), GetText(Dms("4.13")));
    if (m->colour_type != 3) {
        EXPECT_EQ(5u, Set({vb_int(Dms("4.2"), 2)}).error_status);
        EXPECT_EQ(9u, GetInt(Dms("4.2")));
    }
    EXPECT_EQ(3u, Set({vb_int(Dms("4.1"), 10)}).error_status);

    // A 24-bit sign of modules without blue: no classic colours, and RGB
    // values without blue.
    SetNv(nv::dmsColorScheme, 4);
    SetNv(nv::quorModuleID, 13);
    EXPECT_EQ(~0u, GetInt(Dms("4.2")));
    response r = Next({vb_null(Dms("4.1"))});
    ASSERT_EQ(1u, r.varbinds.size());
    EXPECT_EQ(dotted(Dms("4.3")), dotted(r.varbinds[0].name));
    EXPECT_EQ(0u, Set({vb_str(Dms("4.13"), Bits({255, 180, 0}))}).error_status);
    EXPECT_EQ(5u, Set({vb_str(Dms("4.13"), Bits({255, 180, 10}))}).error_status);
    EXPECT_EQ(Bits({255, 180, 0}), GetText(Dms("4.13")));

    // Monochrome, 1 bit: the RGB byte sets the classic colour, unseen.
    SetNv(nv::dmsColorScheme, 1);
    EXPECT_EQ(0u, Set({vb_str(Dms("4.12"), Bits({1}))}).error_status);
    EXPECT_EQ(9u, Nv(nv::defaultBackgroundColor));
    EXPECT_EQ(5u, Set({vb_str(Dms("4.12"), Bits({2}))}).error_status);
}

}  // namespace
