// The global configuration, module table and database management objects:
// what the defaults build, the module rows a walk visits, and the
// transaction objects that are stored and nothing more.
#include <gtest/gtest.h>

#include "ntcip/tests/mib_group_fixture.h"

namespace {

using namespace mg;

oid_t Cfg(const std::string& rest) { return O("ENT.4.2.6.1." + rest); }
oid_t Dbm(uint32_t n) { return O("ENT.4.2.6.2." + std::to_string(n) + ".0"); }
oid_t Module(uint32_t column, uint32_t row) { return At("ENT.4.2.6.1.3.1." + std::to_string(column), {row}); }

const oid_t kSignNode = O("ENT.4.2.3");

using GlobalConfigTest = MibGroupTest;

TEST_F(GlobalConfigTest, ConfigurationAndModuleTable)
{
    reply r = Get({Cfg("1.0"), Cfg("2.0"), Cfg("4.0")});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(0u, r.at(0).integer);
    EXPECT_EQ(8u, r.at(1).integer);
    const std::string standards = r.at(2).text;
    EXPECT_EQ(149u, standards.size());
    EXPECT_EQ(0u, standards.find("NTCIP 1101:1996v01.12\r\nNTCIP 1201:v03.03\r\n"));
    EXPECT_EQ("NTCIP 2202:2001 v01.05", standards.substr(standards.size() - 22));

    // A walk of the table: six columns of rows 1..8, then the standards.
    std::vector<value> table = Walk(Cfg("3"), Cfg("3"));
    ASSERT_EQ(48u, table.size());
    for (uint32_t row = 1; row <= 8; ++row) {
        EXPECT_EQ(Module(1, row), table[row - 1].name);
        EXPECT_EQ(row, table[row - 1].integer);
        const value& node = table[8 + row - 1];
        EXPECT_EQ(SNMP_OBJECT_ID, node.syntax);
        // Every row names the sign, but the CAN product board's, which the
        // defaults leave empty: answered as 0.0.
        EXPECT_EQ(row == 6 ? O("0.0") : kSignNode, node.oid) << row;
        EXPECT_EQ(row == 6 ? "" : "Quorvantis, Inc.", table[16 + row - 1].text) << row;
        const uint32_t type = table[40 + row - 1].integer;
        EXPECT_TRUE(type == 2 || type == 3) << row;
    }
    EXPECT_EQ("PX3907561 - KSR-7100 FW", table[24].text);
    EXPECT_EQ("1.9.4588.42", table[32].text);
    EXPECT_EQ("CONTROLLER SERIAL NUMBER", table[25].text);
    EXPECT_EQ(Cfg("4.0"), Next(Module(6, 8)).at(0).name);

    for (uint32_t row : {0u, 9u, 255u})
        EXPECT_EQ(2u, GetStatus(Module(3, row))) << row;
    EXPECT_EQ(2u, GetStatus(O("ENT.4.2.6.1.3.1.7.1")));
    // All of it is read-only.
    EXPECT_EQ(2u, Set({Str(Module(4, 1), "mine")}).status);
    EXPECT_EQ(2u, Set({Int(Cfg("1.0"), 5)}).status);
}

TEST_F(GlobalConfigTest, DatabaseManagementIsStoredOnly)
{
    reply r = Get({Dbm(1), Dbm(2), Dbm(3), Dbm(4), Dbm(5), Dbm(6), Dbm(7)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(1u, r.at(0).integer);
    EXPECT_EQ(7u, r.at(1).integer);
    EXPECT_EQ(O("0.0"), r.at(2).oid);
    EXPECT_EQ(0u, r.at(3).integer);
    EXPECT_EQ(0u, r.at(4).integer);
    EXPECT_EQ(0u, r.at(5).integer);
    EXPECT_EQ("", r.at(6).text);

    struct {
        value v;
        std::string community;
        uint32_t status;
    } cases[] = {
        {Int(Dbm(1), 2), kAdmin, 0},     {Int(Dbm(1), 4), kAdmin, 3},   {Int(Dbm(1), 6), kFullUser, 0},
        {Int(Dbm(1), 3), kUser, 2},      {Int(Dbm(4), 9), kAdmin, 0},   {Int(Dbm(4), 256), kAdmin, 3},
        {Int(Dbm(2), 1), kAdmin, 2},     {Int(Dbm(5), 1), kAdmin, 2},   {Int(Dbm(6), 1), kAdmin, 2},
        {Str(Dbm(7), "x"), kAdmin, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, Set({c.v}, c.community).status) << dotted(c.v.name) << " " << c.community;
    EXPECT_EQ(6u, V(vol::dbCreateTransaction));
    EXPECT_EQ(9u, V(vol::dbTransactionID));

    // A transaction mode changes nothing: later sets are committed at once.
    EXPECT_EQ(0u, Set({Int(Dbm(1), 2)}).status);
    EXPECT_EQ(0u, Set({Int(Dbm(4), 10)}).status);
    EXPECT_EQ(10u, V(vol::dbTransactionID));

    // A restart rebuilds them.
    defaults_global_v(*db_);
    EXPECT_EQ(1u, Integer(Dbm(1)));
    EXPECT_EQ(0u, Integer(Dbm(4)));
}

}  // namespace
