// MIB-II beyond the system group as a manager sees it: the walk of the whole
// subtree, the fixed row counts of its tables, the sets that are stored,
// ignored or refused, the serial-port speeds, and the network settings
// written under the SNMP write override.
#include <gtest/gtest.h>

#include "frame/bus/letter.h"
#include "frame/trace/trace.h"
#include "ntcip/mib/dms_control.h"
#include "ntcip/tests/mib_group_fixture.h"

namespace {

using namespace mg;

oid_t M2(const std::string& rest) { return O("1.3.6.1.2.1." + rest); }

const uint8_t kMac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const std::string kNewMac("\x02\x00\x00\x00\x00\x01", 6);

class Mib2Test : public MibGroupTest {
protected:
    void SetUp() override
    {
        MibGroupTest::SetUp();
        snmp_clear_interface_addresses();
        snmp_set_interface_address(0, 0x0A000009, kMac);
        snmp_network_settings_clear();
    }
    void TearDown() override
    {
        snmp_clear_interface_addresses();
        snmp_network_settings_clear();
        MibGroupTest::TearDown();
    }
};

TEST_F(Mib2Test, WalkVisitsEveryServedInstanceInOrder)
{
    std::vector<value> all = Walk(M2(""), M2(""));
    // system 7, ifNumber 1, ifTable 22, atTable 3, IP scalars 20, ipAddrTable 5,
    // ipRouteTable 13, dot3StatsTable 14, LAPB 5 x 5 + 4 x 5, rs232Number 1,
    // the RS-232 tables 4 x 5 + 3 x 5, snmp 26.
    ASSERT_EQ(192u, all.size());
    for (size_t i = 1; i < all.size(); ++i)
        ASSERT_LT(all[i - 1].name, all[i].name) << dotted(all[i].name);
    auto find = [&](const oid_t& name) -> const value* {
        for (const value& v : all)
            if (v.name == name)
                return &v;
        return nullptr;
    };
    for (const value& v : all) {
        EXPECT_FALSE(under(v.name, M2("4.22"))) << "ipNetToMediaTable answers nothing";
        EXPECT_FALSE(under(v.name, M2("10.7.5"))) << "dot3CollTable answers nothing";
    }

    struct expected {
        std::string name;
        uint16_t syntax;
        uint32_t integer;
    } cases[] = {
        {"2.1.0", SNMP_INTEGER, 1},           {"2.2.1.1.1", SNMP_INTEGER, 1},
        {"2.2.1.3.1", SNMP_INTEGER, 6},       {"2.2.1.4.1", SNMP_INTEGER, 1518},
        {"2.2.1.5.1", SNMP_GAUGE, 83886080},  {"2.2.1.7.1", SNMP_INTEGER, 1},
        {"2.2.1.9.1", SNMP_TIMETICKS, 0},     {"2.2.1.16.1", SNMP_COUNTER, 0},
        {"3.1.1.1.1.1.10.0.0.9", SNMP_INTEGER, 0},
        {"3.1.1.3.1.1.10.0.0.9", SNMP_IPADDRESS, 0x0A000009},
        {"4.1.0", SNMP_INTEGER, 2},           {"4.2.0", SNMP_INTEGER, 100},
        {"4.13.0", SNMP_INTEGER, 0},          {"4.21.1.8.1", SNMP_INTEGER, 1},
        {"10.7.2.1.1.1", SNMP_INTEGER, 1},    {"10.16.1.1.1.5", SNMP_INTEGER, 5},
        {"10.16.2.1.1.3", SNMP_INTEGER, 3},   {"10.33.1.0", SNMP_INTEGER, 0},
        {"10.33.2.1.2.1", SNMP_INTEGER, 2},   {"10.33.2.1.2.3", SNMP_INTEGER, 1},
        {"10.33.2.1.2.5", SNMP_INTEGER, 1},   {"10.33.2.1.5.4", SNMP_INTEGER, 9600},
        {"10.33.2.1.6.5", SNMP_INTEGER, 10},  {"10.33.3.1.1.2", SNMP_INTEGER, 2},
        {"11.30.0", SNMP_INTEGER, 2},
    };
    for (const expected& c : cases) {
        const value* v = find(M2(c.name));
        ASSERT_NE(nullptr, v) << c.name;
        EXPECT_EQ(c.syntax, v->syntax) << c.name;
        EXPECT_EQ(c.integer, v->integer) << c.name;
    }
    EXPECT_EQ("Ethernet Port", find(M2("2.2.1.2.1"))->text);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(kMac), 6), find(M2("3.1.1.2.1.1.10.0.0.9"))->text);
    EXPECT_EQ(O("1.3.6.1.2.1.10.7.8.2.1"), find(M2("10.7.2.1.17.1"))->oid);
    EXPECT_EQ(O("0.0"), find(M2("2.2.1.22.1"))->oid);
    EXPECT_EQ(O("0.0"), find(M2("10.16.2.1.13.5"))->oid);
    EXPECT_EQ(M2("11.30.0"), all.back().name);

    // The routing table's last column is followed by ipRoutingDiscards, past
    // the net-to-media table, and the IP group by the Ethernet statistics.
    EXPECT_EQ(M2("4.23.0"), Next(M2("4.21.1.13.1")).at(0).name);
    EXPECT_EQ(M2("10.7.2.1.1.1"), Next(M2("4.23.0")).at(0).name);
    // The last MIB-II object is followed by the older auxiliary I/O node.
    EXPECT_EQ(O("ENT.2.1.1.1.0"), Next(M2("11.30.0")).at(0).name);
}

// Rows are served 1 up to the table's size; anything else is no such name.
TEST_F(Mib2Test, TableInstancesOutsideTheirRowsAreNotServed)
{
    const char* refused[] = {
        "2.2.1.1.0",  "2.2.1.1.2",   "2.2.1.1",      "2.2.1.1.1.1", "4.20.1.1.2",  "4.21.1.1.0",
        "4.21.1.1.2", "4.22.1.1.1",  "10.7.2.1.1.2", "10.7.2.1.12.1", "10.7.5.1.3.1.1", "10.16.1.1.1.6",
        "10.16.1.1.2.1", "10.16.2.1.1.0", "10.33.2.1.5.0", "10.33.2.1.5.6", "10.33.3.1.7.6", "11.7.0",
        "11.13.0",    "11.31.0",     "2.1.1",        "3.1.1.1.1.1.10.0.0.8",
    };
    for (const char* n : refused)
        EXPECT_EQ(2u, GetStatus(M2(n))) << n;
    for (const char* n : {"2.2.1.1.1", "4.20.1.5.1", "10.16.1.1.12.5", "10.33.3.1.8.5", "3.1.1.1.1.1.10.0.0.9"})
        EXPECT_EQ(0u, GetStatus(M2(n))) << n;
}

TEST_F(Mib2Test, SerialPortSpeedsTakeOnlyWhatThePortAccepts)
{
    letter_listener letters({MSG_PORT_SETTINGS_CHANGED});
    struct {
        uint32_t row;
        uint32_t speed;
        bool taken;
    } cases[] = {
        {1, 57600, true},   {1, 1200, false}, {1, 115200, true}, {2, 56000, true}, {2, 57600, false},
        {3, 38400, true},   {3, 57600, false}, {4, 512000, true}, {4, 115200, false}, {5, 9600, false},
        {5, 10, true},
    };
    bool out = false;
    for (const auto& c : cases) {
        const uint32_t before = Nv(nv::rs232PortInSpeed(c.row - 1));
        // In and out are the same object.
        const oid_t column = M2((out = !out) ? "10.33.2.1.6" : "10.33.2.1.5");
        reply r = Set({Int(At(dotted(column), {c.row}), c.speed)});
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(0u, r.status) << c.row << " " << c.speed;  // never an error
        const uint32_t now = c.taken ? c.speed : before;
        EXPECT_EQ(now, r.at(0).integer) << c.row << " " << c.speed;
        EXPECT_EQ(now, Nv(nv::rs232PortInSpeed(c.row - 1)));
        EXPECT_EQ(now, Integer(M2("10.33.2.1.5." + std::to_string(c.row))));
        EXPECT_EQ(now, Integer(M2("10.33.2.1.6." + std::to_string(c.row))));
    }
    // A stored change tells the communication task; row 5 already held 10.
    EXPECT_EQ(std::vector<uint32_t>(5, MSG_PORT_SETTINGS_CHANGED), letters.Take());
}

TEST_F(Mib2Test, StoredIgnoredAndRefusedSets)
{
    struct {
        value v;
        uint32_t status;
        uint32_t answer;  // the value in the response (when noError)
    } cases[] = {
        {Int(M2("2.2.1.7.1"), 2), 0, 2},
        {Int(M2("2.2.1.7.1"), 4), 3, 0},
        {Int(M2("4.1.0"), 1), 0, 1},
        {Int(M2("4.1.0"), 3), 3, 0},
        {Int(M2("4.2.0"), 64), 0, 64},
        {Int(M2("4.21.1.8.1"), 4), 0, 4},
        {Int(M2("4.21.1.8.1"), 5), 3, 0},
        {Ip(M2("4.21.1.11.1"), 0xFFFF0000), 0, 0xFFFF0000},
        {Int(M2("4.21.1.3.1"), 0xFFFFFFFF), 0, 0xFFFFFFFF},
        // Answered with what they hold; nothing stored.
        {Int(M2("11.30.0"), 1), 0, 2},
        {Int(M2("10.16.1.1.9.1"), 500), 0, 0},
        {Int(M2("10.16.2.1.4.3"), 9), 0, 0},
        {Int(M2("3.1.1.1.1.1.10.0.0.9"), 7), 0, 0},
        {Ip(M2("3.1.1.3.1.1.10.0.0.9"), 0x0A000001), 0, 0x0A000009},
        // Read-only objects.
        {Int(M2("2.2.1.8.1"), 1), 2, 0},
        {Int(M2("10.33.2.1.2.1"), 1), 2, 0},
        {mg::Counter(M2("11.1.0"), 0), 2, 0},
        {Int(M2("4.21.1.9.1"), 2), 2, 0},
        // A value of another syntax.
        {Str(M2("2.2.1.7.1"), "up"), 3, 0},
        {Int(M2("4.21.1.1.1"), 1), 3, 0},
    };
    for (const auto& c : cases) {
        reply r = Set({c.v});
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(c.status, r.status) << dotted(c.v.name);
        if (c.status == 0)
            EXPECT_EQ(c.answer, r.at(0).integer) << dotted(c.v.name);
        else
            EXPECT_EQ(1u, r.index);
    }
    EXPECT_EQ(2u, Integer(M2("11.30.0")));
    EXPECT_EQ(2u, V(vol::ifAdminStatus));
    EXPECT_EQ(1u, Nv(nv::ipForwarding));
    EXPECT_EQ(64u, Nv(nv::ipDefaultTTL));
    EXPECT_EQ(0xFFFF0000u, Nv(nv::ipRouteMask));
    EXPECT_EQ(0u, V(vol::lapbAdmnTimer(0, 0)));
    EXPECT_EQ(0x0A000009u, snmp_interface_address(0)->address);
}

// The address, mask and gateway reach the running network only through the
// restart that the next reset request brings; the MAC address at once.
TEST_F(Mib2Test, NetworkSettingsAreMarkedBeforeTheyAreWritten)
{
    letter_listener letters({MSG_MAC_ADDRESS_CHANGED});
    const oid_t address = M2("4.20.1.1.1"), mask = M2("4.20.1.3.1"), gateway = M2("4.21.1.1.1");
    const oid_t speed = M2("2.2.1.5.1"), mac = M2("2.2.1.6.1");

    // Read-only to SNMP while the write override is off.
    for (const value& v : {Ip(address, 0x0A010203), Ip(mask, 0xFFFFFF00), Gauge(speed, 0x32000000),
                           Str(mac, kNewMac)}) {
        reply r = Set({v});
        EXPECT_EQ(2u, r.status) << dotted(v.name);
    }
    EXPECT_FALSE(snmp_network_settings_pending());
    EXPECT_EQ(0u, V(vol::ipAdEntAddr));

    // The gateway is plainly writable, and marks the settings as well.
    EXPECT_EQ(0u, Set({Ip(gateway, 0x0A0000FE)}).status);
    EXPECT_TRUE(snmp_network_settings_pending());
    EXPECT_EQ(0x0A0000FEu, V(vol::ipRouteDest));
    snmp_network_settings_clear();

    snmp_mib_set_write_override(1);
    reply r = Set({Ip(address, 0x0A010203), Ip(mask, 0xFFFFFF00), Gauge(speed, 0x32000000)});
    EXPECT_EQ(0u, r.status);
    EXPECT_EQ(0x0A010203u, r.at(0).integer);
    EXPECT_TRUE(snmp_network_settings_pending());
    EXPECT_EQ(0x0A010203u, V(vol::ipAdEntAddr));
    EXPECT_EQ(0xFFFFFF00u, V(vol::ipAdEntNetMask));
    EXPECT_EQ(0x32000000u, Nv(nv::ifSpeed));
    EXPECT_TRUE(letters.Take().empty());

    EXPECT_EQ(0u, Set({Str(mac, kNewMac)}).status);
    EXPECT_EQ(kNewMac, One(mac).text);
    EXPECT_EQ(std::vector<uint32_t>{MSG_MAC_ADDRESS_CHANGED}, letters.Take());

    // Unchecked by the registry under the override, so checked here: a value
    // of the wrong syntax, a truncated or long address, a MAC of other than
    // six bytes. Refused before anything of the request is written.
    snmp_network_settings_clear();
    struct {
        std::vector<value> vbs;
        uint32_t index;
    } refused[] = {
        {{Int(address, 0x0A010204)}, 1},
        {{IpBytes(address, std::string(16, '\x01'))}, 1},
        {{Int(speed, 0x05000000)}, 1},
        {{Str(mac, kNewMac.substr(0, 5))}, 1},
        {{Str(mac, kNewMac + "\x01")}, 1},
        {{Ip(gateway, 0x0A000001), Int(address, 0x0A010204)}, 2},
    };
    for (const auto& c : refused) {
        reply bad = Set(c.vbs);
        ASSERT_TRUE(bad.ok);
        EXPECT_EQ(3u, bad.status) << dotted(c.vbs.back().name);
        EXPECT_EQ(c.index, bad.index);
    }
    EXPECT_FALSE(snmp_network_settings_pending());
    EXPECT_EQ(0x0A010203u, V(vol::ipAdEntAddr));
    EXPECT_EQ(0x0A0000FEu, V(vol::ipRouteDest));
    EXPECT_EQ(0x32000000u, Nv(nv::ifSpeed));
    EXPECT_EQ(kNewMac, One(mac).text);
    EXPECT_TRUE(letters.Take().empty());
}

TEST_F(Mib2Test, SnmpGroupAnswersTheAgentsCounters)
{
    const uint32_t before = Integer(M2("11.15.0"));  // snmpInGetRequests
    Get({M2("1.1.0")});
    Get({M2("1.1.0")});
    value v = One(M2("11.15.0"));
    EXPECT_EQ(SNMP_COUNTER, v.syntax);
    EXPECT_EQ(before + 3, v.integer);  // the two gets and the first read
    EXPECT_EQ(Counter(snmp_counter::snmpInGetRequests), v.integer);
    EXPECT_GT(Integer(M2("11.1.0")), 0u);  // snmpInPkts
}

}  // namespace

namespace {

// The program's registry takes every row of these groups: each subtree
// holds as many rows as it has objects.
TEST_F(MibGroupTest, ProgramRegistryHoldsEveryRow)
{
    trace_capture trace;
    ASSERT_EQ(1, snmp_mib_init()) << trace.text();
    EXPECT_EQ(133, snmp_subtree_find("cls b")->row_count);
    EXPECT_EQ(8, snmp_subtree_find("auxio")->row_count);
    EXPECT_EQ(16, snmp_subtree_find("fdot")->row_count);
    EXPECT_EQ(9, snmp_subtree_find("protocol")->row_count);
    EXPECT_EQ(87, snmp_subtree_find("global")->row_count);
    // Every subtree's keys allow the search by halves.
    for (mib_subtree* t = snmp_subtree_head(); t; t = t->next)
        EXPECT_TRUE(t->keys_ordered) << t->label;
    EXPECT_FALSE(trace.contains("searched row by row"));
}

}  // namespace
