// The vestrel subtree through request processing: its start values over a
// walk of the whole subtree, the objects mapped onto the controller's own,
// the reset command, the three-index table's own walk, and the refusals.
#include <algorithm>
#include <map>

#include "ntcip/tests/private_fixture.h"

namespace {

using priv::Vestrel;

class VestrelTest : public PrivateMibTest {};

std::string Tail(const oid_t& name)
{
    const oid_t prefix = Vestrel("");
    return dotted(oid_t(name.begin() + static_cast<long>(prefix.size()), name.end()));
}

TEST_F(VestrelTest, AWalkFindsTheStartValues)
{
    // The objects mapped onto the controller's own, at known values.
    SetNv(nv::quorShutOffTemp, 95);
    SetNv(nv::fdotMaxNumPixelFailure, 40);
    SetV(vol::dmsPowerNumRows, 3);
    SetNv(nv::dmsSWReset, 0);
    SetV(vol::tempReading(1), 0xF6);  // -10 degrees
    SetV(vol::tempReading(2), 30);
    SetV(vol::climateOn(0), 0);
    SetV(vol::climateOn(1), 1);
    for (uint32_t i = 0; i < 5; ++i)
        SetV(vol::dmsPowerStatus(i), i == 2 ? 2 : 3);
    const std::map<std::string, uint32_t> mapped = {
        {"1.1.1.0", 95},    {"1.1.3.0", 40}, {"1.1.4.0", 3}, {"1.1.9.0", 0},    {"1.2.1.0", ~9u},
        {"1.2.2.0", 30},    {"1.2.3.0", 1},  {"1.2.4.0", 0}, {"1.2.13.0", ~0u},  // the stored byte less one
        {"1.2.9.1.5.3", 1},
    };

    std::vector<oid_t> names = Walk(Vestrel(""), Vestrel(""));
    // 46 scalars, and the tables' columns over every index: 3 x 5, 6 x 150,
    // 6 x 5, 3 x 25 and 2 x 5.
    ASSERT_EQ(46u + 15 + 900 + 30 + 75 + 10, names.size());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ("1.1.1.0", Tail(names.front()));
    EXPECT_EQ("1.2.21.0", Tail(names.back()));

    uint32_t strings = 0;
    for (const oid_t& name : names) {
        response r = Get(name);
        ASSERT_TRUE(r.ok && r.error_status == 0 && r.varbinds.size() == 1) << Tail(name);
        const vb& v = r.varbinds[0];
        const std::string tail = Tail(name);
        if (v.syntax == SNMP_OCTET_STRING) {
            ++strings;
            EXPECT_EQ("", v.text) << tail;
            continue;
        }
        ASSERT_EQ(SNMP_INTEGER, v.syntax) << tail;
        uint32_t expected = 0;
        auto m = mapped.find(tail);
        const bool table5 = tail.rfind("1.1.5.1.", 0) == 0;
        const bool index_column =
            (table5 && tail[8] == '1') || tail.rfind("1.2.9.1.1.", 0) == 0 || tail.rfind("1.2.16.1.1.", 0) == 0;
        if (m != mapped.end())
            expected = m->second;
        else if (tail.rfind("1.2.9.1.5.", 0) == 0)
            expected = 0;  // power supplies in error
        else if (index_column)
            expected = name.back();
        else if (table5)
            expected = 1;
        else if (tail.rfind("1.2.8.1.", 0) == 0 && tail[8] <= '3')
            expected = name[name.size() - 4 + (tail[8] - '0')];  // the index of that column
        else if (tail.rfind("1.2.11.1.", 0) == 0 && tail[9] <= '2')
            expected = name[name.size() - 3 + (tail[9] - '0')];
        EXPECT_EQ(expected, v.integer) << tail;
    }
    // Texts: config, three of group 20, three status texts, 150 + 25 + 5 table cells.
    EXPECT_EQ(1u + 3 + 3 + 150 + 25 + 5, strings);
}

TEST_F(VestrelTest, MappedObjectsWriteTheControllersOwn)
{
    Letters();
    EXPECT_EQ(3u, Set(vb_int(Vestrel("1.1.1.0"), 50)).error_status);  // the database's limits
    EXPECT_EQ(0u, Nv(nv::quorShutOffTemp));
    EXPECT_EQ(0u, Set(vb_int(Vestrel("1.1.1.0"), 100)).error_status);
    EXPECT_EQ(100u, Nv(nv::quorShutOffTemp));
    std::vector<uint32_t> letters = Letters();
    EXPECT_EQ(1, std::count(letters.begin(), letters.end(), uint32_t(MSG_SHUTOFF_TEMP_CHANGED)));

    EXPECT_EQ(3u, Set(vb_int(Vestrel("1.1.3.0"), 70000)).error_status);
    EXPECT_EQ(0u, Set(vb_int(Vestrel("1.1.3.0"), 500)).error_status);
    EXPECT_EQ(500u, Nv(nv::fdotMaxNumPixelFailure));
    EXPECT_EQ(2u, Set(vb_int(Vestrel("1.1.4.0"), 2)).error_status);

    struct {
        const char* what;
        vb value;
        uint32_t status;
    } cases[] = {
        {"config 6 of 99", vb_int(Vestrel("1.1.6.0"), 99), 0},
        {"config 6 of 100", vb_int(Vestrel("1.1.6.0"), 100), 3},
        {"config 2 of 2", vb_int(Vestrel("1.1.2.0"), 2), 3},
        {"config text of 4", vb_str(Vestrel("1.1.10.0"), "abcd"), 0},
        {"config text of 5", vb_str(Vestrel("1.1.10.0"), "abcde"), 3},
        {"config 18", vb_int(Vestrel("1.1.18.0"), 200), 0},
        {"group 20 value", vb_int(Vestrel("1.1.20.2.0"), 65535), 0},
        {"group 20 value of 65536", vb_int(Vestrel("1.1.20.2.0"), 65536), 3},
        {"time compatibility of 16", vb_str(Vestrel("1.1.20.5.0"), std::string(16, 't')), 3},
        {"status bits are read-only", vb_int(Vestrel("1.1.20.7.0"), 1), 2},
        {"config 22", vb_int(Vestrel("1.1.22.0"), 7), 0},
        {"status text 1", vb_str(Vestrel("1.2.10.0"), "fine"), 0},
        {"status text 2 is read-only", vb_str(Vestrel("1.2.15.0"), "x"), 2},
        {"a scalar's longer name", vb_int(Vestrel("1.1.2.0.1"), 1), 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, Set(c.value).error_status) << c.what;
    EXPECT_EQ(99u, V(vol::vestrelConfigByte(1)));
    EXPECT_EQ("abcd", Text(vol::vestrelConfigText, false));
    EXPECT_EQ(200u, V(vol::vestrelConfigByte2(7)));
    EXPECT_EQ(65535u, V(vol::vestrelGroup20Value));
    EXPECT_EQ(7u, V(vol::vestrelConfigByte2(10)));
    EXPECT_EQ("fine", Text(vol::vestrelStatusText1, false));
    EXPECT_EQ(2u, Get(Vestrel("1.1.2.0.1")).error_status);
}

TEST_F(VestrelTest, TheResetCommand)
{
    SetNv(nv::dmsSWReset, 0);
    response r = Set(vb_int(Vestrel("1.1.9.0"), 1));
    EXPECT_EQ(0u, r.error_status);
    ASSERT_EQ(1u, r.varbinds.size());
    EXPECT_EQ(0u, r.varbinds[0].integer);  // dmsSWReset, unchanged
    EXPECT_EQ(3u, V(vol::quorResetOption));
    EXPECT_EQ(0x200u, Flags() & 0x200u);
    EXPECT_EQ(3u, Set(vb_int(Vestrel("1.1.9.0"), 5)).error_status);
    EXPECT_EQ(3u, Set(vb_int(Vestrel("1.1.9.0"), 0)).error_status);

    // A reset waits for changed network settings to be written out.
    snmp_network_settings_changed();
    Letters();
    r = Set(vb_int(Vestrel("1.1.9.0"), 3));
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(1u, Nv(nv::dmsSWReset));
    EXPECT_EQ(1u, r.varbinds[0].integer);
    std::vector<uint32_t> letters = Letters();
    EXPECT_EQ(1, std::count(letters.begin(), letters.end(), uint32_t(MSG_NETWORK_CONFIG_CHANGED)));
}

TEST_F(VestrelTest, TheThreeIndexTableWalksItself)
{
    SetV(vol::vestrelTable8Col4(149), 3);
    SetV(vol::vestrelTable8Col5(0), 8);
    SetText(vol::vestrelTable8Col6(31), false, "cell 2.2.2");
    EXPECT_EQ(3u, GetInt(Vestrel("1.2.8.1.4.6.5.5")));
    EXPECT_EQ(8u, GetInt(Vestrel("1.2.8.1.5.1.1.1")));
    EXPECT_EQ("cell 2.2.2", GetText(Vestrel("1.2.8.1.6.2.2.2")));
    EXPECT_EQ(4u, GetInt(Vestrel("1.2.8.1.2.6.4.5")));
    for (const char* tail : {"1.2.8.1.4.7.1.1", "1.2.8.1.4.1.6.1", "1.2.8.1.4.1.1.6", "1.2.8.1.4.0.1.1",
                             "1.2.8.1.4.1.1", "1.2.8.1.4.1.1.1.1", "1.2.8.1.7.1.1.1"})
        EXPECT_EQ(2u, Get(Vestrel(tail)).error_status) << tail;
    EXPECT_EQ(2u, Set(vb_int(Vestrel("1.2.8.1.4.1.1.1"), 1)).error_status);

    struct {
        const char* from;
        const char* next;
    } cases[] = {
        {"1.2.8", "1.2.8.1.1.1.1.1"},
        {"1.2.8.1.4", "1.2.8.1.4.1.1.1"},
        {"1.2.8.1.4.6.5", "1.2.8.1.4.6.5.1"},
        {"1.2.8.1.4.2.9.9", "1.2.8.1.4.3.1.1"},
        {"1.2.8.1.4.2.5.5", "1.2.8.1.4.3.1.1"},
        {"1.2.8.1.4.0", "1.2.8.1.4.1.1.1"},
        {"1.2.8.1.4.1.1.1.7", "1.2.8.1.4.1.1.2"},
        {"1.2.8.1.4.4294967295.1.1", "1.2.8.1.5.1.1.1"},
        {"1.2.8.1.4.6.5.5", "1.2.8.1.5.1.1.1"},
        {"1.2.8.1.6.6.5.5", "1.2.9.1.1.1"},
    };
    for (const auto& c : cases) {
        response r = Next(Vestrel(c.from));
        ASSERT_TRUE(r.ok && r.error_status == 0 && r.varbinds.size() == 1) << c.from;
        EXPECT_EQ(c.next, Tail(r.varbinds[0].name)) << c.from;
    }
}

TEST_F(VestrelTest, OnlyASetOfTheTimeCompatibilityObjectSwitchesTheTolerantMode)
{
    SetNv(nv::quorSpecialFeatureSet, 0);
    EXPECT_EQ("", GetText(Vestrel("1.1.20.5.0")));
    Walk(Vestrel("1.1.20"), Vestrel(""));
    EXPECT_EQ(0u, Nv(nv::quorSpecialFeatureSet) & 0x20u);

    ASSERT_EQ(0u, Set(vb_str(Vestrel("1.1.20.5.0"), "t")).error_status);
    EXPECT_EQ(0x20u, Nv(nv::quorSpecialFeatureSet) & 0x20u);
}

}  // namespace
