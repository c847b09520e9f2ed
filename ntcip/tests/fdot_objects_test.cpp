// The fdot subtree as a customer's central system sees it: its factory
// values, the objects it shares with the sign control and private groups,
// the compact power-supply table, the message source and its write masks.
#include <gtest/gtest.h>

#include "frame/bus/letter.h"
#include "ntcip/tests/mib_group_fixture.h"

namespace {

using namespace mg;

oid_t F(uint32_t n) { return O("ENT.3.6.11." + std::to_string(n) + ".0"); }
oid_t Row(uint32_t column, uint32_t i) { return At("ENT.3.6.11.3.1." + std::to_string(column), {i}); }

enum : uint32_t {
    kFailureMap = 1,
    kNumRows = 2,
    kShutOffTemp = 4,
    kMaxPollTime = 5,
    kMaxPollTimeEnable = 6,
    kMaxNumPixelFailure = 7,
    kShortPowerLossTime = 8,
    kLongPowerRecoveryMessage = 9,
    kNearlyFull = 10,
    kPanelLogoutTime = 11,
    kMessageSource = 12,
};

using FdotTest = MibGroupTest;

TEST_F(FdotTest, FactoryValuesAndSharedObjects)
{
    EXPECT_EQ(0u, Integer(F(kMaxPollTime)));
    EXPECT_EQ(0u, Integer(F(kMaxPollTimeEnable)));
    EXPECT_EQ(0xFFFFFFFFu, Integer(F(kMaxNumPixelFailure)));
    EXPECT_EQ(3600u, Integer(F(kPanelLogoutTime)));
    EXPECT_EQ(0u, Integer(F(kNearlyFull)));
    EXPECT_EQ(Nv(nv::dmsShortPowerLossTime), Integer(F(kShortPowerLossTime)));

    // The same objects as the sign control group's, both ways.
    EXPECT_EQ(0u, Set({Int(F(kShortPowerLossTime), 45)}).status);
    EXPECT_EQ(45u, Nv(nv::dmsShortPowerLossTime));
    SetNv(nv::dmsShortPowerLossTime, 90);
    EXPECT_EQ(90u, Integer(F(kShortPowerLossTime)));
    EXPECT_EQ(0u, Set({Str(F(kLongPowerRecoveryMessage), std::string("\x03\x00\x07\x12\x34", 5))}).status);
    EXPECT_EQ(std::string("\x03\x00\x07\x12\x34", 5), NvText(nv::dmsLongPowerRecoveryMessage));
    reply r = Set({Str(F(kLongPowerRecoveryMessage), "abcd")});
    EXPECT_EQ(3u, r.status);
    EXPECT_EQ(std::string("\x03\x00\x07\x12\x34", 5), Text(F(kLongPowerRecoveryMessage)));

    SetV(vol::dmsPowerNumRows, 2);
    EXPECT_EQ(2u, Integer(F(kNumRows)));
    SetV(vol::eventLogNearlyFullSent, 1);
    EXPECT_EQ(1u, Integer(F(kNearlyFull)));

    EXPECT_EQ(0u, Set({Int(F(kMaxPollTime), 10), Int(F(kMaxPollTimeEnable), 1), Int(F(kPanelLogoutTime), 0),
                       Int(F(kMaxNumPixelFailure), 250)})
                      .status);
    EXPECT_EQ(10u, Nv(nv::fdotDmsMaxPollTime));
    EXPECT_EQ(1u, Nv(nv::fdotDmsMaxPollTimeEnable));
    EXPECT_EQ(0u, Nv(nv::fdotDmsPanelLogoutTime));
    EXPECT_EQ(250u, Nv(nv::fdotMaxNumPixelFailure));
    EXPECT_EQ(3u, Set({Int(F(kMaxPollTimeEnable), 2)}).status);
    EXPECT_EQ(2u, Set({Int(F(kNearlyFull), 0)}).status);
    EXPECT_EQ(2u, Set({Int(F(kMessageSource), 1)}).status);
}

TEST_F(FdotTest, ShutOffTemperatureFollowsTheDatabasesRule)
{
    letter_listener letters({MSG_SHUTOFF_TEMP_CHANGED});
    reply r = Set({Int(F(kShutOffTemp), 95)});
    EXPECT_EQ(0u, r.status);
    EXPECT_EQ(95u, r.at(0).integer);
    EXPECT_EQ(95u, Nv(nv::quorShutOffTemp));
    EXPECT_EQ(std::vector<uint32_t>{MSG_SHUTOFF_TEMP_CHANGED}, letters.Take());

    // Outside the registry's -128..127.
    EXPECT_EQ(3u, Set({Int(F(kShutOffTemp), 200)}).status);
    // Outside the modules' critical limits: the database's refusal is the answer.
    r = Set({Int(F(kShutOffTemp), static_cast<uint32_t>(-5))});
    EXPECT_EQ(3u, r.status);
    EXPECT_EQ(1u, r.index);
    EXPECT_EQ(95u, Nv(nv::quorShutOffTemp));
    EXPECT_TRUE(letters.Take().empty());

    // Stored in one byte and answered unsigned.
    db_->SetHooksEnabled(false);
    r = Set({Int(F(kShutOffTemp), static_cast<uint32_t>(-5))});
    db_->SetHooksEnabled(true);
    EXPECT_EQ(0u, r.status);
    EXPECT_EQ(251u, r.at(0).integer);
    EXPECT_EQ(251u, Integer(F(kShutOffTemp)));
}

TEST_F(FdotTest, PowerTableShowsTheFirstHundredRows)
{
    struct {
        uint32_t type, status, voltage;
        const char* description;
        uint32_t fdot_type, fault;
    } rows[] = {
        {6, 2, 120, "AC mains", 2, 0},
        {5, 3, 240, "Battery", 4, 1},
        {1, 4, 12, "Solar", 1, 1},
        {3, 2, 48, "Generator", 1, 0},
    };
    for (uint32_t i = 0; i < 4; ++i) {
        SetV(vol::dmsPowerType(i), rows[i].type);
        SetV(vol::dmsPowerStatus(i), rows[i].status);
        SetV(vol::dmsPowerVoltage(i), rows[i].voltage);
        ASSERT_EQ(DB_OK, db_->SetString(vol::dmsPowerDescription(i).offset, 4, rows[i].description,
                                        static_cast<uint32_t>(std::strlen(rows[i].description)), db_->mib_v,
                                        DB_NO_VALIDATE));
    }
    SetV(vol::dmsPowerNumRows, 4);
    for (uint32_t i = 0; i < 4; ++i) {
        reply r = Get({Row(1, i + 1), Row(2, i + 1), Row(3, i + 1), Row(4, i + 1), Row(5, i + 1)});
        ASSERT_EQ(0u, r.status);
        EXPECT_EQ(i + 1, r.at(0).integer);
        EXPECT_EQ(rows[i].fdot_type, r.at(1).integer) << i;
        EXPECT_EQ(rows[i].description, r.at(2).text);
        EXPECT_EQ(rows[i].voltage, r.at(3).integer);
        EXPECT_EQ(rows[i].fault, r.at(4).integer) << i;
    }
    // A row nothing registered is still served.
    reply r = Get({Row(1, 50), Row(3, 50), Row(4, 50)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(50u, r.at(0).integer);
    EXPECT_EQ("", r.at(1).text);
    EXPECT_EQ(0u, r.at(2).integer);
    for (uint32_t i : {0u, 101u, 300u})
        EXPECT_EQ(2u, GetStatus(Row(4, i))) << i;
    EXPECT_EQ(0u, GetStatus(Row(5, 100)));

    // A walk of a column ends at row 100 and goes on with the next column.
    EXPECT_EQ(Row(2, 1), Next(Row(1, 100)).at(0).name);
    std::vector<value> column = Walk(O("ENT.3.6.11.3.1.5"), O("ENT.3.6.11.3.1.5"));
    EXPECT_EQ(100u, column.size());

    // The failure map is the power table's, as it stands.
    const std::string map("\x0E", 1);
    ASSERT_EQ(DB_OK, db_->SetString(vol::dmsPowerFailureStatusMap.offset, 4, map.data(), 1, db_->mib_v, 0));
    EXPECT_EQ(map, Text(F(kFailureMap)));
}

TEST_F(FdotTest, MessageSourceFromTheRecordedRequester)
{
    const uint32_t cases[][2] = {{5, 3}, {7, 4}, {1, 1}, {0, 1}, {2, 1}, {6, 1}};
    for (const auto& c : cases) {
        SetV(vol::quorActivationReason, c[0]);
        EXPECT_EQ(c[1], Integer(F(kMessageSource))) << c[0];
    }
}

// Each read-write object carries its write mask.
TEST_F(FdotTest, WriteMasks)
{
    AddUser(4, "polling", 0x02000000);
    AddUser(5, "signtech", 0x08000000);
    AddUser(6, "messages", 0x20000000);
    struct {
        const char* community;
        uint32_t object;
        uint32_t value;
        uint32_t status;
    } cases[] = {
        {"polling", kMaxPollTime, 5, 0},        {"polling", kPanelLogoutTime, 60, 0},
        {"polling", kShutOffTemp, 90, 2},       {"polling", kShortPowerLossTime, 5, 2},
        {"signtech", kShutOffTemp, 90, 0},      {"signtech", kMaxNumPixelFailure, 7, 0},
        {"signtech", kMaxPollTimeEnable, 1, 2}, {"messages", kShortPowerLossTime, 5, 0},
        {"messages", kMaxNumPixelFailure, 7, 2}, {"Fernly", kPanelLogoutTime, 61, 0},
        {"fernly", kPanelLogoutTime, 62, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, Set({Int(F(c.object), c.value)}, c.community).status) << c.community << " " << c.object;
    EXPECT_EQ(61u, Nv(nv::fdotDmsPanelLogoutTime));
    // Everyone may read.
    EXPECT_EQ(5u, One(F(kMaxPollTime), "fernly").integer);
}

}  // namespace
