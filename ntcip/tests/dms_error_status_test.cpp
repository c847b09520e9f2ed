// The error-status objects over SNMP: the scalars as their writers leave
// them, the fixed row counts of the status tables, signed temperatures, the
// walk of the two-index pixel-failure table, and the test requests a
// central may set.
#include "ntcip/tests/dms_status_fixture.h"

namespace {

using namespace status;

oid_t Err(const std::string& tail) { return Dms("9.7." + tail); }
oid_t Column(uint32_t table, uint32_t column, uint32_t row)
{
    return Err(Ix(table) + ".1." + Ix(column) + "." + Ix(row));
}
oid_t Failure(uint32_t column, uint32_t type, uint32_t row)
{
    return Err("3.1." + Ix(column) + "." + Ix(type) + "." + Ix(row));
}

class DmsErrorStatusTest : public DmsStatusTest {
protected:
    // A failed pixel as the display task records it.
    void Failed(uint32_t type, uint32_t row, uint32_t x, uint32_t y)
    {
        SetVol(vol::pixelFailureXLocation(type - 1, row - 1), x);
        SetVol(vol::pixelFailureYLocation(type - 1, row - 1), y);
        SetVol(vol::pixelFailureStatus(type - 1, row - 1), 20);
    }
};

TEST_F(DmsErrorStatusTest, ScalarsServeTheirWriters)
{
    SetVol(vol::shortErrorStatus, 0x2061);
    SetVol(vol::dmsPixelFailureTestRows, 3);
    SetVol(vol::dmsPixelFailureMessageRows, 4);
    SetVol(vol::controllerErrorStatus, 0x10);
    SetVol(vol::dmsPowerNumRows, 2);
    SetVol(vol::climateNumRows, 3);
    SetVol(vol::dmsTempSensorNumRows, 1);
    SetVol(vol::dmsTempSensorMaxHighCritical, 80);
    SetVol(vol::dmsTempSensorMinLowCritical, static_cast<uint8_t>(-40));
    SetVolBytes(vol::fanFailures, std::string("\x02", 1));
    SetVolBytes(vol::tempFailureMap, std::string("\x00\x08", 2));

    struct {
        const char* what;
        oid_t name;
        uint32_t integer;
        std::string text;  // for strings
    } cases[] = {
        {"shortErrorStatus", Err("1.0"), 0x2061, ""},
        {"pixelFailureTableNumRows", Err("2.0"), 7, ""},
        {"pixelTestActivation", Err("4.0"), 2, ""},
        {"lampFailureStuckOn", Err("5.0"), 0, ""},
        {"lampFailureStuckOff", Err("6.0"), 0, ""},
        {"lampTestActivation", Err("7.0"), 2, ""},
        {"fanFailures", Err("8.0"), 0, std::string("\x02", 1)},
        {"fanTestActivation", Err("9.0"), 2, ""},
        {"controllerErrorStatus", Err("10.0"), 0x10, ""},
        {"dmsPowerFailureStatusMap", Err("11.0"), 0, std::string(1, '\0')},
        {"dmsPowerNumRows", Err("12.0"), 2, ""},
        {"dmsClimateCtrlStatusMap", Err("14.0"), 0, std::string(1, '\0')},
        {"dmsClimateCtrlNumRows", Err("16.0"), 3, ""},
        {"dmsPixelFailureTestRows", Err("19.0"), 3, ""},
        {"dmsPixelFailureMessageRows", Err("20.0"), 4, ""},
        {"dmsLightSensorStatusMap", Err("28.0"), 0, ""},
        {"dmsLightSensorNumRows", Err("29.0"), 0, ""},
        {"dmsHumiditySensorStatusMap", Err("31.0"), 0, ""},
        {"dmsHumiditySensorNumRows", Err("32.0"), 0, ""},
        {"dmsTempSensorStatusMap", Err("34.0"), 0, std::string("\x00\x08", 2)},
        {"dmsTempSensorNumRows", Err("35.0"), 1, ""},
        {"dmsTempSensorMaxHighCritical", Err("37.0"), 80, ""},
        {"dmsTempSensorMinLowCritical", Err("38.0"), static_cast<uint32_t>(-40), ""},
    };
    for (const auto& c : cases) {
        response r = Get({vb_null(c.name)});
        ASSERT_TRUE(r.ok && r.error_status == 0 && r.varbinds.size() == 1) << c.what;
        if (r.varbinds[0].syntax == SNMP_OCTET_STRING)
            EXPECT_EQ(c.text, r.varbinds[0].text) << c.what;
        else
            EXPECT_EQ(c.integer, r.varbinds[0].integer) << c.what;
    }
    // Nodes that hold nothing.
    for (const char* tail : {"3.0", "13.0", "15.0", "21.0", "36.0", "39.0"})
        EXPECT_EQ(2u, GetStatus(Err(tail))) << tail;
}

TEST_F(DmsErrorStatusTest, TablesServeTheirFixedRows)
{
    SetVolBytes(vol::dmsPowerDescription(299), "PSU 300");
    SetVol(vol::dmsPowerVoltage(0), 2400);
    SetVolBytes(vol::climateDescription(31), "fan 32");
    SetVolBytes(vol::dmsPixelStatus(10), std::string(400, '\x01'));
    SetVol(vol::lightReading(11), 900);
    SetVol(vol::humidityReading(5), 45);
    SetVolBytes(vol::dmsTempSensorDescription(11), "cabinet");
    SetVol(vol::tempReading(0), static_cast<uint8_t>(-5));
    struct {
        const char* what;
        oid_t name;
        uint32_t status;
    } cases[] = {
        {"power 1", Column(13, 1, 1), 0},         {"power 300", Column(13, 6, 300), 0},
        {"power 301", Column(13, 1, 301), 2},     {"power 0", Column(13, 2, 0), 2},
        {"power column 7", Column(13, 7, 1), 2},  {"climate 32", Column(17, 8, 32), 0},
        {"climate 33", Column(17, 1, 33), 2},     {"pixel status 11", Column(18, 2, 11), 0},
        {"pixel status 12", Column(18, 1, 12), 2}, {"light 12", Column(30, 4, 12), 0},
        {"light 13", Column(30, 4, 13), 2},       {"humidity 6", Column(33, 3, 6), 0},
        {"humidity 7", Column(33, 1, 7), 2},      {"temperature 12", Column(36, 8, 12), 0},
        {"temperature 13", Column(36, 3, 13), 2}, {"temperature 0", Column(36, 3, 0), 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, GetStatus(c.name)) << c.what;

    // Rows beyond the counts still answer (the counts are 0 here).
    EXPECT_EQ(300u, GetInt(Column(13, 1, 300)));
    EXPECT_EQ("PSU 300", GetText(Column(13, 2, 300)));
    EXPECT_EQ(2400u, GetInt(Column(13, 5, 1)));
    EXPECT_EQ(6u, GetInt(Column(13, 6, 17)));  // the start type
    EXPECT_EQ(2u, GetInt(Column(13, 4, 17)));
    EXPECT_EQ("fan 32", GetText(Column(17, 2, 32)));
    EXPECT_EQ(1u, GetInt(Column(17, 8, 1)));
    EXPECT_EQ(std::string(400, '\x01'), GetText(Column(18, 2, 11)));
    EXPECT_EQ(900u, GetInt(Column(30, 3, 12)));
    EXPECT_EQ(45u, GetInt(Column(33, 3, 6)));
    EXPECT_EQ("cabinet", GetText(Column(36, 2, 12)));
    // Thresholds start at the ends of the signed range.
    EXPECT_EQ(127u, GetInt(Column(36, 4, 1)));
    EXPECT_EQ(static_cast<uint32_t>(-128), GetInt(Column(36, 5, 1)));
    EXPECT_EQ(127u, GetInt(Column(36, 6, 1)));
    EXPECT_EQ(static_cast<uint32_t>(-128), GetInt(Column(36, 7, 1)));

    // -5 degrees goes out as the integer -5 (negatives take four octets),
    // not as 251.
    EXPECT_EQ(static_cast<uint32_t>(-5), GetInt(Column(36, 3, 1)));
    const std::vector<uint8_t> raw = Raw(SNMP_PDU_GET, {vb_null(Column(36, 3, 1))});
    ASSERT_GE(raw.size(), 6u);
    const std::vector<uint8_t> minus5 = {0x02, 0x04, 0xFF, 0xFF, 0xFF, 0xFB};
    EXPECT_EQ(minus5, std::vector<uint8_t>(raw.end() - 6, raw.end()));

    // A column's walk ends at its last fixed row.
    std::vector<std::string> walk = Walk(Err("33"), Err("33.1.1"));
    EXPECT_EQ(std::vector<std::string>({"1", "2", "3", "4", "5", "6"}), walk);
    EXPECT_EQ(dotted(Column(13, 2, 1)), dotted(NextOf(Column(13, 1, 300)).name));
}

TEST_F(DmsErrorStatusTest, PixelFailureTableFollowsTheRowCounts)
{
    EXPECT_EQ(0u, GetInt(Err("2.0")));
    EXPECT_EQ(dotted(Err("4.0")), dotted(NextOf(Err("3")).name));  // no rows at all

    Failed(2, 1, 3, 4);
    Failed(2, 2, 15, 7);
    Failed(3, 1, 9, 1);
    SetVol(vol::dmsPixelFailureTestRows, 2);
    SetVol(vol::dmsPixelFailureMessageRows, 1);
    EXPECT_EQ(3u, GetInt(Err("2.0")));

    struct {
        const char* what;
        oid_t name;
        uint32_t status, value;
    } cases[] = {
        {"X of test row 2", Failure(3, 2, 2), 0, 15},
        {"Y of test row 2", Failure(4, 2, 2), 0, 7},
        {"status of message row 1", Failure(5, 3, 1), 0, 20},
        {"type of message row 1", Failure(1, 3, 1), 0, 3},
        {"index of test row 2", Failure(2, 2, 2), 0, 2},
        {"detection type 1", Failure(3, 1, 1), 2, 0},
        {"test row beyond the count", Failure(3, 2, 3), 2, 0},
        {"message row beyond the count", Failure(3, 3, 2), 2, 0},
        {"row 0", Failure(3, 2, 0), 2, 0},
        {"detection type 4", Failure(3, 4, 1), 2, 0},
        {"row 501 of a type counted past it", Failure(3, 2, 501), 2, 0},
        {"one index only", Err("3.1.3.2"), 2, 0},
    };
    for (const auto& c : cases) {
        response r = Get({vb_null(c.name)});
        ASSERT_TRUE(r.ok) << c.what;
        EXPECT_EQ(c.status, r.error_status) << c.what;
        if (c.status == 0) {
            EXPECT_EQ(c.value, r.varbinds[0].integer) << c.what;
        }
    }

    // Column by column: the test rows, then the message rows.
    std::vector<std::string> walk = Walk(Failure(1, 1, 1), Err("3.1"));
    const std::vector<std::string> expected = {"1.2.1", "1.2.2", "1.3.1", "2.2.1", "2.2.2", "2.3.1", "3.2.1", "3.2.2",
                                               "3.3.1", "4.2.1", "4.2.2", "4.3.1", "5.2.1", "5.2.2", "5.3.1"};
    EXPECT_EQ(expected, walk);
    EXPECT_EQ(dotted(Failure(1, 2, 1)), dotted(NextOf(Err("3.1.1")).name));
    EXPECT_EQ(dotted(Failure(3, 3, 1)), dotted(NextOf(Failure(3, 2, 9)).name));
    EXPECT_EQ(dotted(Err("4.0")), dotted(NextOf(Failure(5, 3, 1)).name));

    // A count beyond the table's 500 rows is held to them.
    SetVol(vol::dmsPixelFailureTestRows, 9000);
    EXPECT_EQ(0u, GetStatus(Failure(3, 2, 500)));
    EXPECT_EQ(2u, GetStatus(Failure(3, 2, 501)));
    EXPECT_EQ(dotted(Failure(3, 3, 1)), dotted(NextOf(Failure(3, 2, 500)).name));
}

TEST_F(DmsErrorStatusTest, PixelStatusIndexIsTracedOnEachRead)
{
    trace_capture trace;
    EXPECT_EQ(4u, GetInt(Column(18, 1, 4)));
    EXPECT_EQ("", GetText(Column(18, 2, 4)));
    const std::string line = "inside var_pixelFailureEntry: DMSPIXELSTATUSINDEX\n";
    const std::string& text = trace.text();
    size_t count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
        ++count;
    EXPECT_EQ(1u, count);
}

TEST_F(DmsErrorStatusTest, TestRequestsAndClimateColumns)
{
    // The lamp test: stored and answered; there is no lamp to test.
    response lamp = Set({vb_int(Err("7.0"), 3)});
    ASSERT_EQ(0u, lamp.error_status);
    EXPECT_EQ(3u, lamp.varbinds[0].integer);

    response fan = Set({vb_int(Err("9.0"), 3)});
    ASSERT_EQ(0u, fan.error_status);
    EXPECT_EQ(3u, Vol(vol::climateCtrlTestActivation));

    // The pixel test request reaches the display through its notice: 1
    // (other) is taken back to 2 on the next step.
    TakeFlags();
    response pixel = Set({vb_int(Err("4.0"), 1)});
    ASSERT_EQ(0u, pixel.error_status);
    EXPECT_EQ(1u, pixel.varbinds[0].integer);
    Steps();
    EXPECT_EQ(2u, GetInt(Err("4.0")));

    // A stop request of a climate device's test is refused and reported.
    response stop = Set({vb_int(Column(17, 6, 1), 4)});
    EXPECT_EQ(3u, stop.error_status);
    EXPECT_EQ(1u, stop.error_index);
    EXPECT_EQ(2u, Vol(vol::climateTestActivation(0)));
    ASSERT_EQ(0u, Set({vb_int(Column(17, 6, 32), 3)}).error_status);
    EXPECT_EQ(3u, Vol(vol::climateTestActivation(31)));
    ASSERT_EQ(0u, Set({vb_int(Column(17, 8, 5), 9)}).error_status);
    EXPECT_EQ(9u, GetInt(Column(17, 8, 5)));

    struct {
        const char* what;
        vb value;
        const char* community;
        uint32_t status;
    } refused[] = {
        {"pixel test 5", vb_int(Err("4.0"), 5), "administrator", 3},
        {"pixel test 0", vb_int(Err("4.0"), 0), "administrator", 3},
        {"lamp test 4", vb_int(Err("7.0"), 4), "administrator", 3},
        {"fan test 4", vb_int(Err("9.0"), 4), "administrator", 3},
        {"climate test 1", vb_int(Column(17, 6, 1), 1), "administrator", 3},
        {"climate type 10", vb_int(Column(17, 8, 1), 10), "administrator", 3},
        {"climate type 0", vb_int(Column(17, 8, 1), 0), "administrator", 3},
        {"climate row 33", vb_int(Column(17, 6, 33), 3), "administrator", 2},
        {"without the mask", vb_int(Err("9.0"), 3), "viewer", 2},
        {"climate type without the mask", vb_int(Column(17, 8, 1), 3), "viewer", 2},
        {"read-only word", vb_int(Err("1.0"), 0), "administrator", 2},
        {"read-only climate state", vb_int(Column(17, 4, 1), 3), "administrator", 2},
        {"read-only power status", vb_int(Column(13, 4, 1), 3), "administrator", 2},
    };
    for (const auto& c : refused) {
        response r = Set({c.value}, c.community);
        ASSERT_TRUE(r.ok) << c.what;
        EXPECT_EQ(c.status, r.error_status) << c.what;
    }
    EXPECT_EQ(1u, GetInt(Column(17, 8, 1)));
    EXPECT_EQ(3u, GetInt(Err("9.0")));
}

}  // namespace
