// Illumination, the action table and the dmsStatus objects over SNMP: the
// scaled illumination status, the brightness table's checks and its error
// object, the control mode and manual level reaching the sign driver, the
// action table's bounds, and the MULTI field table.
#include <array>

#include "ntcip/tests/dms_status_fixture.h"

namespace {

using namespace status;

// A brightness table: the count byte and (output, down, up) per level.
std::string Levels(uint32_t count, const std::vector<std::array<uint16_t, 3>>& levels)
{
    std::string s(1, static_cast<char>(count));
    for (const auto& l : levels)
        for (uint16_t v : l) {
            s.push_back(static_cast<char>(v >> 8));
            s.push_back(static_cast<char>(v & 0xFF));
        }
    return s;
}

const oid_t kControl = Dms("7.1.0");
const oid_t kManLevel = Dms("7.6.0");
const oid_t kTable = Dms("7.7.0");
const oid_t kTableError = Dms("7.8.0");
oid_t Action(uint32_t column, uint32_t a) { return Dms("8.2.1." + Ix(column) + "." + Ix(a)); }
oid_t Field(uint32_t column, uint32_t x) { return Dms("9.2.1." + Ix(column) + "." + Ix(x)); }

class DmsIllumTest : public DmsStatusTest {};

TEST_F(DmsIllumTest, IllumStatusIsScaledWhileTheFeatureIsOn)
{
    SetVol(vol::dmsIllumPhotocellLevelStatus, 1000);
    SetVol(vol::dmsIllumBrightLevelStatus, 9);
    SetNv(nv::dmsIllumLightOutputStatus, 4000);
    struct {
        const char* what;
        oid_t name;
        uint32_t plain, scaled;
    } cases[] = {
        {"max photocell level", Dms("7.2.0"), 65535, 65535},
        {"photocell level / 126", Dms("7.3.0"), 1000, 7},
        {"number of levels / 2", Dms("7.4.0"), 255, 127},
        {"level sent / 2", Dms("7.5.0"), 9, 4},
        {"light output", Dms("7.9.0"), 4000, 4000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.plain, GetInt(c.name)) << c.what;
    SetNv(nv::quorSpecialFeatureSet, 0x20);
    for (const auto& c : cases)
        EXPECT_EQ(c.scaled, GetInt(c.name)) << c.what;
}

TEST_F(DmsIllumTest, BrightnessTableIsCheckedAndItsErrorRecorded)
{
    const std::string good = Levels(1, {{1000, 0, 100}});
    ASSERT_EQ(7u, good.size());
    struct {
        const char* what;
        std::string table;
        uint32_t status, error;
    } cases[] = {
        {"one level, 7 bytes", good, 0, 2},
        {"two levels said, one given", Levels(2, {{1000, 0, 100}, {2000, 101, 200}}).substr(0, 12), 5, 6},
        {"no levels", std::string(1, '\0'), 5, 6},
        {"empty", std::string(), 5, 6},
        {"gap of 10 above the level below", Levels(2, {{1000, 0, 100}, {2000, 111, 200}}), 5, 3},
        {"up below down", Levels(1, {{1000, 50, 40}}), 5, 6},
        {"contiguous pair", Levels(2, {{1000, 0, 100}, {2000, 101, 200}}), 0, 2},
        {"one byte too many", Levels(1, {{1000, 0, 100}}) + "x", 5, 6},
    };
    for (const auto& c : cases) {
        // Each case starts from the good table.
        ASSERT_EQ(0u, Set({vb_str(kTable, good)}).error_status);
        response r = Set({vb_str(kTable, c.table)});
        ASSERT_TRUE(r.ok) << c.what;
        EXPECT_EQ(c.status, r.error_status) << c.what;
        EXPECT_EQ(c.error, GetInt(kTableError)) << c.what;
        EXPECT_EQ(c.status == 0 ? c.table : good, GetText(kTable)) << c.what;
        if (c.status != 0) {
            EXPECT_EQ(1u, r.error_index) << c.what;
        }
    }

    // A level above the photocell's top is no data the sign can use.
    SetVol(vol::dmsIllumMaxPhotocellLevel, 150);
    EXPECT_EQ(5u, Set({vb_str(kTable, Levels(2, {{1000, 0, 100}, {2000, 101, 200}}))}).error_status);
    EXPECT_EQ(6u, GetInt(kTableError));

    // The display loads an accepted table.
    ASSERT_EQ(0u, Set({vb_str(kTable, Levels(2, {{1000, 0, 70}, {2000, 71, 150}}))}).error_status);
    Steps();
    EXPECT_EQ(2u, display_->m_dwBrightLevelCount);

    // The table needs its own write mask.
    response denied = Set({vb_str(kTable, good)}, "viewer");
    EXPECT_EQ(2u, denied.error_status);
}

TEST_F(DmsIllumTest, ControlModeAndManualLevelReachTheDriver)
{
    response r = Set({vb_int(kControl, 4), vb_int(kManLevel, 0)});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(4u, r.varbinds[0].integer);
    Steps();
    EXPECT_EQ(1u, driver_.brightness);
    EXPECT_EQ(1u, GetInt(Dms("7.5.0")));
    EXPECT_EQ(257u, GetInt(Dms("7.9.0")));

    ASSERT_EQ(0u, Set({vb_int(kManLevel, 120)}).error_status);
    Steps();
    EXPECT_EQ(120u, driver_.brightness);
    EXPECT_EQ(120u, GetInt(kManLevel));

    // The timer mode's fixed level.
    ASSERT_EQ(0u, Set({vb_int(kControl, 3)}).error_status);
    Steps();
    EXPECT_EQ(5u, driver_.brightness);

    struct {
        const char* what;
        vb value;
        const char* community;
        uint32_t status;
    } refused[] = {
        {"control 0", vb_int(kControl, 0), "administrator", 3},
        {"control 7", vb_int(kControl, 7), "administrator", 3},
        {"level 256", vb_int(kManLevel, 256), "administrator", 3},
        {"control as text", vb_str(kControl, "4"), "administrator", 3},
        {"without the mask", vb_int(kControl, 4), "viewer", 2},
        {"level without the mask", vb_int(kManLevel, 9), "viewer", 2},
        {"read-only status", vb_int(Dms("7.5.0"), 9), "administrator", 2},
        {"read-only error", vb_int(kTableError, 2), "administrator", 2},
    };
    for (const auto& c : refused) {
        response s = Set({c.value}, c.community);
        ASSERT_TRUE(s.ok) << c.what;
        EXPECT_EQ(c.status, s.error_status) << c.what;
        EXPECT_EQ(1u, s.error_index) << c.what;
    }
    EXPECT_EQ(3u, GetInt(kControl));
    EXPECT_EQ(120u, GetInt(kManLevel));
}

TEST_F(DmsIllumTest, ActionTableBoundsAndCodes)
{
    const std::string code("\x03\x00\x07\xAB\xCD", 5);
    struct {
        const char* what;
        oid_t name;
        uint32_t status;
    } gets[] = {
        {"index 1", Action(1, 1), 0},   {"index 255", Action(1, 255), 0}, {"index 256", Action(1, 256), 2},
        {"index 0", Action(1, 0), 2},   {"code 255", Action(2, 255), 0},  {"code 256", Action(2, 256), 2},
        {"code 0", Action(2, 0), 2},    {"column 3", Action(3, 1), 2},    {"entry count", Dms("8.1.0"), 0},
    };
    for (const auto& c : gets)
        EXPECT_EQ(c.status, GetStatus(c.name)) << c.what;
    EXPECT_EQ(255u, GetInt(Action(1, 255)));
    EXPECT_EQ(255u, GetInt(Dms("8.1.0")));

    response r = Set({vb_str(Action(2, 255), code)});
    ASSERT_EQ(0u, r.error_status);
    EXPECT_EQ(code, r.varbinds[0].text);
    EXPECT_EQ(code, NvString(nv::dmsActionMsgCode(254)));
    EXPECT_EQ(code, GetText(Action(2, 255)));

    struct {
        const char* what;
        vb value;
        uint32_t status;
    } refused[] = {
        {"4 bytes", vb_str(Action(2, 1), code.substr(0, 4)), 3},
        {"6 bytes", vb_str(Action(2, 1), code + "x"), 3},
        {"an integer", vb_int(Action(2, 1), 5), 3},
        {"action 256", vb_str(Action(2, 256), code), 2},
        {"action 0", vb_str(Action(2, 0), code), 2},
        {"the index", vb_int(Action(1, 1), 1), 2},
    };
    for (const auto& c : refused)
        EXPECT_EQ(c.status, Set({c.value}).error_status) << c.what;
    EXPECT_EQ("", NvString(nv::dmsActionMsgCode(0)));
    EXPECT_EQ(2u, Set({vb_str(Action(2, 1), code)}, "viewer").error_status);

    // The walk passes from the last index to the first code.
    EXPECT_EQ(dotted(Action(1, 255)), dotted(NextOf(Action(1, 254)).name));
    EXPECT_EQ(dotted(Action(2, 1)), dotted(NextOf(Action(1, 255)).name));
    EXPECT_EQ(dotted(Action(1, 1)), dotted(NextOf(Dms("8.1.0")).name));
    EXPECT_EQ(255u, Walk(Action(1, 0), Dms("8.2.1.1")).size());
}

TEST_F(DmsIllumTest, StatusScalarsAndTheMultiFieldTable)
{
    SetVol(vol::dmsCurrentSpeed, 55);
    SetVol(vol::dmsStatDoorOpen, 0x05);
    SetNv(nv::watchdogFailureCount, 70000);
    SetVolBytes(vol::statMultiCurrentFieldValue(2), "12:30");

    EXPECT_EQ(0u, GetInt(Dms("9.1.0")));
    EXPECT_EQ(55u, GetInt(Dms("9.3.0")));
    EXPECT_EQ(5u, GetInt(Dms("9.6.0")));
    response w = Get({vb_null(Dms("9.5.0"))});
    ASSERT_EQ(0u, w.error_status);
    EXPECT_EQ(SNMP_COUNTER, w.varbinds[0].syntax);
    EXPECT_EQ(70000u, w.varbinds[0].integer);

    EXPECT_EQ(4u, GetInt(Field(2, 4)));
    EXPECT_EQ(11u, GetInt(Field(2, 11)));
    EXPECT_EQ(11u, GetInt(Field(1, 11)));
    EXPECT_EQ("12:30", GetText(Field(3, 3)));
    EXPECT_EQ("", GetText(Field(3, 1)));
    EXPECT_EQ(2u, GetStatus(Field(1, 12)));
    EXPECT_EQ(2u, GetStatus(Field(2, 0)));
    EXPECT_EQ(2u, GetStatus(Field(3, 12)));

    // Eleven rows a column, then the next column.
    std::vector<std::string> walk = Walk(Dms("9.2"), Dms("9.2.1"));
    ASSERT_EQ(33u, walk.size());
    EXPECT_EQ("1.1", walk.front());
    EXPECT_EQ("2.1", walk[11]);
    EXPECT_EQ("3.11", walk.back());
    EXPECT_EQ(dotted(Dms("9.3.0")), dotted(NextOf(Field(3, 11)).name));

    ASSERT_EQ(0u, Set({vb_int(Dms("9.4.0"), 65)}).error_status);
    EXPECT_EQ(65u, Nv(nv::dmsCurrentSpeedLimit));
    EXPECT_EQ(3u, Set({vb_int(Dms("9.4.0"), 256)}).error_status);
    EXPECT_EQ(2u, Set({vb_int(Dms("9.4.0"), 30)}, "viewer").error_status);
    EXPECT_EQ(2u, Set({vb_int(Dms("9.3.0"), 30)}).error_status);
    EXPECT_EQ(2u, Set({vb_int(Field(2, 1), 3)}).error_status);
    EXPECT_EQ(65u, GetInt(Dms("9.4.0")));
}

}  // namespace
