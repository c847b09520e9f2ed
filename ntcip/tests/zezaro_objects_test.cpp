// The zezaro subtree as a central system walks and sets it: its seven
// scalars, the origin codes it renames, its constraints and write mask.
#include <gtest/gtest.h>

#include "ntcip/tests/mib_group_fixture.h"

namespace {

using namespace mg;

oid_t Z(uint32_t n) { return O("ENT.3.32.1." + std::to_string(n) + ".0"); }

class ZezaroTest : public MibGroupTest {
protected:
    void SetUp() override
    {
        MibGroupTest::SetUp();
        const mib_group* const groups[] = {&g_mib2_system_group, &g_security_group, &g_zezaro_group};
        ASSERT_EQ(1, snmp_mib_build(groups, sizeof groups / sizeof groups[0]));
    }
};

TEST_F(ZezaroTest, WalkServesTheSevenScalars)
{
    SetNv(nv::fdotMaxNumPixelFailure, 250);
    SetNv(nv::quorLegibilityRatioThreshold, 80);
    SetV(vol::quorActivationReason, 5);
    SetV(vol::quorLegibilityRatio, 93);
    const std::string blanked("\x03\x00\x02\x12\x34", 5);
    ASSERT_EQ(DB_OK, db_->SetString(vol::quorBlankedMessage.offset, 4, blanked.data(), 5, db_->mib_v, 0));
    ASSERT_EQ(DB_OK, db_->SetString(vol::quorFailedModuleMap.offset, 4, "MODULE 3", 8, db_->mib_v, 0));

    std::vector<value> walk = Walk(O("ENT.3.32"), O("ENT.3.32"));
    ASSERT_EQ(7u, walk.size());
    for (uint32_t i = 0; i < 7; ++i)
        EXPECT_EQ(Z(i + 1), walk[i].name) << i;
    EXPECT_EQ(250u, walk[0].integer);
    EXPECT_EQ(80u, walk[1].integer);
    EXPECT_EQ(blanked, walk[2].text);
    EXPECT_EQ(3u, walk[3].integer);
    EXPECT_EQ(SNMP_COUNTER, walk[4].syntax);
    // A request with a known community ends the count after it is answered.
    SetV(vol::quorBadCommunityCount, 12);
    EXPECT_EQ(12u, One(Z(5)).integer);
    EXPECT_EQ(93u, walk[5].integer);
    EXPECT_EQ("MODULE 3", walk[6].text);
}

TEST_F(ZezaroTest, OriginCodesAreRenamed)
{
    const uint32_t cases[][2] = {{4, 2}, {5, 3}, {0, 1}, {1, 1}, {7, 1}};
    for (const auto& c : cases) {
        SetV(vol::quorActivationReason, c[0]);
        EXPECT_EQ(c[1], Integer(Z(4))) << c[0];
    }
}

TEST_F(ZezaroTest, SetsKeepToTheirConstraintsAndMask)
{
    EXPECT_EQ(0u, Set({Int(Z(2), 60)}).status);
    EXPECT_EQ(60u, Nv(nv::quorLegibilityRatioThreshold));
    EXPECT_NE(0u, Set({Int(Z(2), 101)}).status);
    EXPECT_EQ(60u, Nv(nv::quorLegibilityRatioThreshold));
    EXPECT_NE(0u, Set({Int(Z(4), 2)}).status) << "read-only";
    EXPECT_EQ(0u, Set({Int(Z(1), 1000)}).status);
    EXPECT_EQ(1000u, Nv(nv::fdotMaxNumPixelFailure));

    AddUser(4, "polling", 0x02000000);
    AddUser(5, "signtech", 0x08000000);
    EXPECT_NE(0u, Set({Int(Z(1), 5)}, "polling").status);
    EXPECT_EQ(0u, Set({Int(Z(1), 5)}, "signtech").status);
    EXPECT_EQ(5u, Nv(nv::fdotMaxNumPixelFailure));
}

}  // namespace
