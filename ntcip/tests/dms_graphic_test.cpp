// The graphic objects over SNMP: the limits, the status machine with the
// count of usable graphics, what a row accepts in each state, blocks that
// a new height or width empties, and bitmap blocks of the wrong size.
#include "ntcip/tests/dms_status_fixture.h"

namespace {

using namespace status;

oid_t Graphic(uint32_t column, uint32_t g) { return Dms("10.6.1." + Ix(column) + "." + Ix(g)); }
oid_t Block(uint32_t column, uint32_t g, uint32_t b) { return Dms("10.7.1." + Ix(column) + "." + Ix(g) + "." + Ix(b)); }
enum : uint32_t { kIndex = 1, kNumber, kName, kHeight, kWidth, kType, kID, kTransparent, kColor, kStatus };
constexpr uint32_t kBitmap = 3;

class DmsGraphicTest : public DmsStatusTest {
protected:
    uint32_t State(uint32_t g) { return Nv(nv::dmsGraphicStatus(g - 1)); }
    uint32_t Count() { return Vol(vol::dmsGraphicNumEntries); }
    // Row g asked for a state; the request's error status.
    uint32_t Request(uint32_t g, uint32_t state) { return Set({vb_int(Graphic(kStatus, g), state)}).error_status; }
    // Row g modifying, with a 1-bit 7 x 15 graphic of number n.
    void Define(uint32_t g, uint32_t n)
    {
        ASSERT_EQ(0u, Request(g, 7));
        ASSERT_EQ(2u, State(g));
        response r = Set({vb_int(Graphic(kNumber, g), n), vb_int(Graphic(kHeight, g), 7),
                          vb_int(Graphic(kWidth, g), 15), vb_int(Graphic(kType, g), 1),
                          vb_str(Graphic(kColor, g), std::string(1, '\0'))});
        ASSERT_EQ(0u, r.error_status);
        ASSERT_EQ(0u, Set({vb_str(Block(kBitmap, g, 1), std::string(14, '\x5A'))}).error_status);
    }
    std::string BlockText(uint32_t g, uint32_t b) { return NvString(nv::dmsGraphicBitmap(g - 1, b - 1)); }
};

TEST_F(DmsGraphicTest, LimitsAndFreeMemory)
{
    EXPECT_EQ(50u, GetInt(Dms("10.1.0")));
    EXPECT_EQ(0u, GetInt(Dms("10.2.0")));
    EXPECT_EQ(64449u, GetInt(Dms("10.3.0")));
    EXPECT_EQ(1023u, GetInt(Dms("10.5.0")));
    // The database pool's free bytes: a large string takes its share.
    response before = Get({vb_null(Dms("10.4.0"))});
    ASSERT_EQ(0u, before.error_status);
    EXPECT_EQ(SNMP_COUNTER, before.varbinds[0].syntax);
    uint32_t total = 0;
    ASSERT_EQ(OS_SUCCESS, os_byte_pool_info(&strings_, nullptr, &total, nullptr, nullptr));
    EXPECT_GT(before.varbinds[0].integer, 0u);
    EXPECT_LT(before.varbinds[0].integer, total);
    // The longest string any object takes goes to the pool; a longer one is
    // refused and takes nothing, so the figure stays as it was.
    const auto put = [&](uint32_t n) {
        const std::vector<uint8_t> bytes(n, 1);
        return db_->SetString(nv::dmsIllumBrightnessValues.offset, 4, bytes.data(), n, db_->mib_nv, DB_NO_VALIDATE);
    };
    EXPECT_EQ(DB_BAD_VALUE, put(50000));
    EXPECT_EQ(before.varbinds[0].integer, GetInt(Dms("10.4.0")));
    ASSERT_EQ(DB_OK, put(DB_NV_STRING_MAX));
    const uint32_t after = GetInt(Dms("10.4.0"));
    EXPECT_LE(after + DB_NV_STRING_MAX, before.varbinds[0].integer);
    EXPECT_EQ(DB_BAD_VALUE, put(DB_NV_STRING_MAX + 1));
    EXPECT_EQ(after, GetInt(Dms("10.4.0")));
    EXPECT_EQ(DB_NV_STRING_MAX, NvString(nv::dmsIllumBrightnessValues).size());
    EXPECT_EQ(2u, Set({vb_int(Dms("10.1.0"), 40)}).error_status);
}

TEST_F(DmsGraphicTest, StatusMachineAndTheCount)
{
    // A name is refused until the row is being modified.
    EXPECT_EQ(5u, Set({vb_str(Graphic(kName, 1), "arrow")}).error_status);
    EXPECT_EQ("", NvString(nv::dmsGraphicName(0)));
    Define(1, 9);
    EXPECT_EQ(0u, Set({vb_str(Graphic(kName, 1), "arrow")}).error_status);
    EXPECT_EQ("arrow", GetText(Graphic(kName, 1)));

    // Ready for use: the display computes the ID and counts the graphic.
    ASSERT_EQ(0u, Request(1, 8));
    EXPECT_EQ(4u, State(1));
    EXPECT_EQ(1u, Count());
    EXPECT_EQ(1u, GetInt(Dms("10.2.0")));
    uint16_t id = 0;
    InThread([&] { id = graphic_id(0); });
    EXPECT_EQ(id, GetInt(Graphic(kID, 1)));
    EXPECT_NE(0u, id);

    // Asked for readyForUse again, it is counted once.
    ASSERT_EQ(0u, Request(1, 8));
    EXPECT_EQ(4u, State(1));
    EXPECT_EQ(1u, Count());

    // Back to modifying leaves the count; then ready again.
    ASSERT_EQ(0u, Request(1, 7));
    EXPECT_EQ(2u, State(1));
    EXPECT_EQ(0u, Count());
    ASSERT_EQ(0u, Request(1, 8));
    EXPECT_EQ(1u, Count());

    // In use: every request is refused until another message is shown.
    SetNv(nv::dmsGraphicStatus(0), 5);
    for (uint32_t s = 1; s <= 9; ++s)
        EXPECT_EQ(3u, Request(1, s)) << s;
    EXPECT_EQ(5u, State(1));
    EXPECT_EQ(1u, Count());
    SetNv(nv::dmsGraphicStatus(0), 4);

    // Not used: the blocks go at once, the rest of the row with the display.
    ASSERT_EQ(0u, Request(1, 9));
    EXPECT_EQ(1u, State(1));
    EXPECT_EQ(0u, Count());
    EXPECT_EQ("", BlockText(1, 1));
    EXPECT_EQ(0u, Nv(nv::dmsGraphicNumber(0)));
    EXPECT_EQ("", NvString(nv::dmsGraphicName(0)));
    EXPECT_EQ(std::string(1, '\0'), NvString(nv::dmsGraphicTransparentColor(0)));

    // Requests a state does not take.
    struct {
        const char* what;
        uint32_t stored, request, status;
    } cases[] = {
        {"notUsed to readyForUse", 1, 8, 3}, {"notUsed to modifying", 1, 2, 3}, {"modifying to notUsed", 2, 1, 3},
        {"modifying to inUse", 2, 5, 3},     {"calculatingID to modify", 3, 7, 3}, {"permanent to notUsed", 6, 9, 3},
        {"state 10", 1, 10, 3},              {"state 0", 1, 0, 3},              {"calculatingID to notUsed", 3, 9, 0},
    };
    for (const auto& c : cases) {
        SetNv(nv::dmsGraphicStatus(1), c.stored);
        EXPECT_EQ(c.status, Request(2, c.request)) << c.what;
        if (c.status != 0) {
            EXPECT_EQ(c.stored, State(2)) << c.what;
        }
    }
    EXPECT_EQ(0u, Count());
    // A count at 0 is not taken below it.
    SetNv(nv::dmsGraphicStatus(2), 4);
    ASSERT_EQ(0u, Request(3, 7));
    EXPECT_EQ(0u, Count());
}

TEST_F(DmsGraphicTest, AttributesFollowTheRowsState)
{
    Define(1, 9);
    SetNv(nv::dmsGraphicStatus(1), 2);

    struct {
        const char* what;
        vb value;
        uint32_t status;
    } cases[] = {
        {"number taken by row 1", vb_int(Graphic(kNumber, 2), 9), 3},
        {"number 0", vb_int(Graphic(kNumber, 2), 0), 3},
        {"height above the sign", vb_int(Graphic(kHeight, 2), 8), 3},
        {"width above the sign", vb_int(Graphic(kWidth, 2), 16), 3},
        {"type 5", vb_int(Graphic(kType, 2), 5), 3},
        {"transparent 2", vb_int(Graphic(kTransparent, 2), 2), 3},
        {"colour of 4 bytes", vb_str(Graphic(kColor, 2), "abcd"), 3},
        {"empty colour", vb_str(Graphic(kColor, 2), ""), 3},
        {"name of 65", vb_str(Graphic(kName, 2), std::string(65, 'n')), 3},
        {"the ID", vb_int(Graphic(kID, 2), 7), 2},
        {"the index", vb_int(Graphic(kIndex, 2), 2), 2},
        {"row 51", vb_int(Graphic(kNumber, 51), 3), 2},
        {"row 0", vb_int(Graphic(kNumber, 0), 3), 2},
        {"number 10", vb_int(Graphic(kNumber, 2), 10), 0},
        {"name of 64", vb_str(Graphic(kName, 2), std::string(64, 'n')), 0},
        {"colour of 3", vb_str(Graphic(kColor, 2), "abc"), 0},
        {"full height", vb_int(Graphic(kHeight, 2), 7), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, Set({c.value}).error_status) << c.what;
    EXPECT_EQ(10u, GetInt(Graphic(kNumber, 2)));
    EXPECT_EQ("abc", GetText(Graphic(kColor, 2)));

    // Every attribute of a row that is not being modified is refused.
    SetNv(nv::dmsGraphicStatus(2), 4);
    const vb locked[] = {
        vb_int(Graphic(kNumber, 3), 11), vb_str(Graphic(kName, 3), "x"),  vb_int(Graphic(kHeight, 3), 1),
        vb_int(Graphic(kWidth, 3), 1),   vb_int(Graphic(kType, 3), 2),    vb_int(Graphic(kTransparent, 3), 1),
        vb_str(Graphic(kColor, 3), "a"), vb_str(Block(kBitmap, 3, 1), "z"),
    };
    for (const vb& v : locked)
        EXPECT_EQ(5u, Set({v}).error_status) << dotted(v.name);
    EXPECT_EQ(0u, Nv(nv::dmsGraphicNumber(2)));
    EXPECT_EQ("", BlockText(3, 1));

    // A new height or width empties the blocks; the same one keeps them.
    SetNv(nv::dmsGraphicStatus(0), 2);
    const std::string bits(14, '\x5A');
    ASSERT_EQ(bits, BlockText(1, 1));
    ASSERT_EQ(0u, Set({vb_int(Graphic(kHeight, 1), 7)}).error_status);
    EXPECT_EQ(bits, BlockText(1, 1));
    ASSERT_EQ(0u, Set({vb_int(Graphic(kWidth, 1), 15)}).error_status);
    EXPECT_EQ(bits, BlockText(1, 1));
    ASSERT_EQ(0u, Set({vb_int(Graphic(kHeight, 1), 4)}).error_status);
    EXPECT_EQ("", BlockText(1, 1));
    ASSERT_EQ(0u, Set({vb_str(Block(kBitmap, 1, 63), "q")}).error_status);
    ASSERT_EQ(0u, Set({vb_int(Graphic(kWidth, 1), 8)}).error_status);
    EXPECT_EQ("", BlockText(1, 63));
    // A refused height leaves them.
    ASSERT_EQ(0u, Set({vb_str(Block(kBitmap, 1, 2), "q")}).error_status);
    EXPECT_EQ(3u, Set({vb_int(Graphic(kHeight, 1), 8)}).error_status);
    EXPECT_EQ("q", BlockText(1, 2));
}

TEST_F(DmsGraphicTest, BitmapBlocks)
{
    Define(4, 3);
    ASSERT_EQ(0u, Set({vb_str(Block(kBitmap, 4, 2), std::string(10, '\x7F'))}).error_status);

    // A get answers the whole block size, zero-filled.
    response r = Get({vb_null(Block(kBitmap, 4, 2))});
    ASSERT_EQ(0u, r.error_status);
    ASSERT_EQ(1023u, r.varbinds[0].text.size());
    EXPECT_EQ(std::string(10, '\x7F') + std::string(1013, '\0'), r.varbinds[0].text);
    EXPECT_EQ(1023u, NextOf(Block(kBitmap, 4, 1)).text.size());
    EXPECT_EQ(std::string(10, '\x7F'), BlockText(4, 2));

    // Blocks of the wrong size are refused, and nothing of their request is
    // written.
    const std::string full(1023, '\x11');
    struct {
        const char* what;
        std::string bytes;
        uint32_t status;
    } cases[] = {
        {"1024 bytes", std::string(1024, '\x22'), 3},
        {"beyond the set value", std::string(2100, '\x22'), 3},
        {"a whole block", full, 0},
        {"empty", std::string(), 0},
    };
    for (const auto& c : cases) {
        response s = Set({vb_str(Graphic(kName, 4), c.what), vb_str(Block(kBitmap, 4, 3), c.bytes)});
        ASSERT_TRUE(s.ok) << c.what;
        EXPECT_EQ(c.status, s.error_status) << c.what;
        if (c.status != 0) {
            EXPECT_EQ(2u, s.error_index) << c.what;
            EXPECT_NE(c.what, NvString(nv::dmsGraphicName(3))) << c.what;
        } else {
            EXPECT_EQ(c.bytes, BlockText(4, 3)) << c.what;
        }
    }
    // A stored block of the whole size is answered as stored.
    ASSERT_EQ(0u, Set({vb_str(Block(kBitmap, 4, 3), full)}).error_status);
    EXPECT_EQ(full, GetText(Block(kBitmap, 4, 3)));

    // The radio link's smaller blocks.
    SetVol(vol::dmsGraphicBlockSize, 400);
    EXPECT_EQ(3u, Set({vb_str(Block(kBitmap, 4, 5), std::string(401, 'r'))}).error_status);
    EXPECT_EQ(0u, Set({vb_str(Block(kBitmap, 4, 5), std::string(400, 'r'))}).error_status);
    EXPECT_EQ(std::string(400, 'r'), BlockText(4, 5));

    struct {
        const char* what;
        oid_t name;
        uint32_t status, value;
    } gets[] = {
        {"graphic index", Block(1, 50, 63), 0, 50}, {"block number", Block(2, 50, 63), 0, 63},
        {"graphic 51", Block(1, 51, 1), 2, 0},      {"block 64", Block(2, 1, 64), 2, 0},
        {"graphic 0", Block(3, 0, 1), 2, 0},        {"block 0", Block(3, 1, 0), 2, 0},
        {"one index", Dms("10.7.1.3.1"), 2, 0},     {"graphic row 51", Graphic(kStatus, 51), 2, 0},
        {"graphic row 0", Graphic(kIndex, 0), 2, 0}, {"graphic row 50", Graphic(kStatus, 50), 0, 1},
    };
    for (const auto& c : gets) {
        response g = Get({vb_null(c.name)});
        ASSERT_TRUE(g.ok) << c.what;
        EXPECT_EQ(c.status, g.error_status) << c.what;
        if (c.status == 0) {
            EXPECT_EQ(c.value, g.varbinds[0].integer) << c.what;
        }
    }
    EXPECT_EQ(2u, Set({vb_str(Block(kBitmap, 4, 64), "x")}).error_status);
    EXPECT_EQ(2u, Set({vb_str(Block(kBitmap, 51, 1), "x")}).error_status);

    // The walk carries from a graphic's last block to the next graphic, and
    // from the last graphic to the next column.
    EXPECT_EQ(dotted(Block(1, 2, 1)), dotted(NextOf(Block(1, 1, 63)).name));
    EXPECT_EQ(dotted(Block(2, 1, 1)), dotted(NextOf(Block(1, 50, 63)).name));
    EXPECT_EQ(dotted(Block(1, 1, 1)), dotted(NextOf(Dms("10.7")).name));
    EXPECT_EQ(50u, Walk(Graphic(kStatus, 0), Dms("10.6.1.10")).size());
    EXPECT_EQ(dotted(Block(1, 1, 1)), dotted(NextOf(Graphic(kStatus, 50)).name));
}

}  // namespace
