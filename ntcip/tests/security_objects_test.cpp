// The community objects, which only the administrator reaches, and the
// auxiliary I/O table under both of its nodes.
#include <gtest/gtest.h>

#include "ntcip/tests/mib_group_fixture.h"

namespace {

using namespace mg;

const oid_t kSecurity = O("ENT.4.2.6.5");
const oid_t kAdminName = O("ENT.4.2.6.5.1.0");
const oid_t kNamesMax = O("ENT.4.2.6.5.2.0");
oid_t Community(uint32_t column, uint32_t row) { return At("ENT.4.2.6.5.3.1." + std::to_string(column), {row}); }

oid_t Aux(uint32_t column, uint32_t type, uint32_t port)
{
    return At("ENT.4.2.6.7.3.1." + std::to_string(column), {type, port});
}
oid_t OldAux(uint32_t column, uint32_t type, uint32_t port)
{
    return At("ENT.2.1.1.3.1." + std::to_string(column), {type, port});
}

using SecurityTest = MibGroupTest;

TEST_F(SecurityTest, OnlyTheAdministratorReachesTheCommunities)
{
    reply r = Get({kAdminName, kNamesMax, Community(1, 100), Community(2, 3), Community(3, 3), Community(2, 1)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(kAdmin, r.at(0).text);
    EXPECT_EQ(100u, r.at(1).integer);
    EXPECT_EQ(100u, r.at(2).integer);
    EXPECT_EQ(kFullUser, r.at(3).text);
    EXPECT_EQ(SNMP_GAUGE, r.at(4).syntax);
    EXPECT_EQ(0xFFFFFFFFu, r.at(4).integer);
    EXPECT_EQ(kUser, r.at(5).text);

    // The user communities see nothing of the node, not even by walking.
    for (const std::string& user : {kFullUser, kUser}) {
        for (const oid_t& name : {kAdminName, kNamesMax, Community(2, 3), Community(3, 1)})
            EXPECT_EQ(2u, GetStatus(name, user)) << user << " " << dotted(name);
        reply next = Next(kSecurity, user);
        ASSERT_EQ(0u, next.status);
        EXPECT_EQ(O("ENT.4.2.6.7.1.0"), next.at(0).name) << user;
        EXPECT_EQ(2u, Set({Str(kAdminName, "takeover1")}, user).status);
        EXPECT_EQ(2u, Set({Str(Community(2, 3), "takeover")}, user).status);
    }
    EXPECT_EQ(kAdminName, Next(kSecurity).at(0).name);
    EXPECT_EQ(kAdmin, NvText(nv::communityNameAdmin));
    EXPECT_EQ(kFullUser, NvText(nv::communityNameUser(2)));
}

TEST_F(SecurityTest, CommunitiesSetOverSnmp)
{
    struct {
        value v;
        uint32_t status;
    } cases[] = {
        {Str(Community(2, 5), "oper5"), 3},
        {Str(Community(2, 5), std::string(17, 'o')), 3},
        {Str(Community(2, 5), "operator"), 0},
        {Gauge(Community(3, 5), 0x8000), 0},
        {Int(Community(3, 5), 0x8000), 3},
        {Str(Community(2, 101), "operator"), 2},
        {Str(Community(2, 0), "operator"), 2},
        {Int(Community(1, 5), 9), 2},
        {Int(kNamesMax, 5), 2},
        {Str(kAdminName, "short77"), 3},
        {Str(kAdminName, std::string(17, 'a')), 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, Set({c.v}).status) << dotted(c.v.name) << " " << c.v.text;
    EXPECT_EQ("operator", NvText(nv::communityNameUser(4)));
    EXPECT_EQ(0x8000u, Nv(nv::communityNameAccessMask(4)));

    // The new community's mask decides what it may set.
    EXPECT_EQ(0u, Set({Int(O("ENT.4.2.6.2.4.0"), 3)}, "operator").status);
    EXPECT_EQ(2u, Set({Int(O("ENT.4.2.6.3.5.0"), 0)}, "operator").status);

    // A new administrator name takes effect with the next request; the old
    // one is then unknown and gets no answer.
    EXPECT_EQ(0u, Set({Str(kAdminName, "newadminname")}).status);
    EXPECT_FALSE(Get({kNamesMax}, kAdmin).ok);
    reply r = Get({kAdminName}, "newadminname");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ("newadminname", r.at(0).text);
}

TEST_F(SecurityTest, AuxiliaryPortsByTypeAndNumber)
{
    reply r = Get({O("ENT.4.2.6.7.1.0"), O("ENT.4.2.6.7.2.0"), Aux(1, 2, 24), Aux(2, 2, 24), Aux(1, 1, 7),
                   Aux(1, 3, 7), Aux(2, 3, 112), Aux(3, 3, 4), Aux(6, 2, 1)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(112u, r.at(0).integer);
    EXPECT_EQ(24u, r.at(1).integer);
    EXPECT_EQ(2u, r.at(2).integer);
    EXPECT_EQ(24u, r.at(3).integer);
    EXPECT_EQ(3u, r.at(4).integer);  // types 1 and 3 read the same digital row
    EXPECT_EQ(3u, r.at(5).integer);
    EXPECT_EQ(112u, r.at(6).integer);
    EXPECT_EQ("UNUSED", r.at(7).text);
    EXPECT_EQ(2u, r.at(8).integer);  // input

    const std::vector<std::pair<uint32_t, uint32_t>> outside = {{2, 25}, {3, 113}, {1, 0}, {0, 1}, {4, 1}, {2, 0}};
    for (const auto& p : outside)
        EXPECT_EQ(2u, GetStatus(Aux(1, p.first, p.second))) << p.first << "." << p.second;

    // A walk of a column: the digital rows as type 1, the analog rows, then
    // the digital rows again as type 3.
    EXPECT_EQ(Aux(1, 3, 1), Next(Aux(1, 2, 24)).at(0).name);
    EXPECT_EQ(Aux(1, 2, 1), Next(Aux(1, 1, 112)).at(0).name);
    EXPECT_EQ(248u, Walk(O("ENT.4.2.6.7.3.1.2"), O("ENT.4.2.6.7.3.1.2")).size());
}

TEST_F(SecurityTest, AuxiliaryPortSets)
{
    // A value is held against the row's resolution (0: at most 1), and it
    // becomes the last commanded state too.
    reply r = Set({Int(Aux(5, 3, 4), 1)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(1u, Integer(Aux(7, 3, 4)));
    EXPECT_EQ(1u, Integer(Aux(5, 1, 4)));
    EXPECT_EQ(3u, Set({Int(Aux(5, 3, 4), 2)}).status);
    EXPECT_EQ(0u, Set({Int(Aux(4, 3, 4), 8)}).status);
    EXPECT_EQ(0u, Set({Int(Aux(5, 3, 4), 200)}).status);
    EXPECT_EQ(200u, V(vol::auxIOPortValue(3)));
    EXPECT_EQ(200u, V(vol::auxIOPortLastCommandedState(3)));

    // The other columns write only themselves.
    r = Set({Str(Aux(3, 2, 1), "Door contact"), Int(Aux(6, 2, 1), 3), Int(Aux(7, 2, 1), 2)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ("Door contact", NvText(nv::auxIOPortDescription(112)));
    EXPECT_EQ(3u, V(vol::auxIOPortDirection(112)));
    EXPECT_EQ(2u, V(vol::auxIOPortLastCommandedState(112)));
    EXPECT_EQ(0u, V(vol::auxIOPortValue(112)));

    struct {
        value v;
        uint32_t status;
    } refused[] = {
        {Int(Aux(1, 3, 1), 2), 2},    {Int(Aux(2, 3, 1), 2), 2},  {Int(Aux(6, 3, 1), 4), 3},
        {Int(Aux(4, 3, 1), 0), 3},    {Str(Aux(3, 3, 1), std::string(256, 'd')), 3},
        {Int(Aux(6, 2, 25), 1), 2},
    };
    for (const auto& c : refused)
        EXPECT_EQ(c.status, Set({c.v}).status) << dotted(c.v.name);

    // The auxiliary I/O bit of the access mask.
    AddUser(4, "aux", 0x2000);
    AddUser(5, "other", 0x4000);
    EXPECT_EQ(0u, Set({Int(Aux(6, 3, 9), 1)}, "aux").status);
    EXPECT_EQ(2u, Set({Int(Aux(6, 3, 9), 3)}, "other").status);
    EXPECT_EQ(1u, V(vol::auxIOPortDirection(8)));
}

// The older node: the same rows, no last commanded state, resolution 1..32.
TEST_F(SecurityTest, OlderAuxiliaryNode)
{
    SetV(vol::auxIOPortValue(115), 77);
    reply r = Get({O("ENT.2.1.1.1.0"), O("ENT.2.1.1.2.0"), OldAux(1, 2, 24), OldAux(5, 2, 4), OldAux(2, 1, 112)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(112u, r.at(0).integer);
    EXPECT_EQ(24u, r.at(1).integer);
    EXPECT_EQ(2u, r.at(2).integer);
    EXPECT_EQ(77u, r.at(3).integer);
    EXPECT_EQ(112u, r.at(4).integer);
    EXPECT_EQ(2u, GetStatus(OldAux(7, 3, 1)));
    EXPECT_EQ(3u, Set({Int(OldAux(4, 3, 1), 33)}).status);
    EXPECT_EQ(0u, Set({Int(Aux(4, 3, 1), 33)}).status);
    EXPECT_EQ(0u, Set({Int(OldAux(4, 3, 2), 32)}).status);
    EXPECT_EQ(32u, Integer(Aux(4, 3, 2)));
    // The node's last object is followed by the fdot subtree.
    EXPECT_EQ(O("ENT.3.6.11.1.0"), Next(OldAux(6, 3, 112)).at(0).name);
}

}  // namespace
