// The agent's database services: communities and their masks, the counters
// in the database, the record of a refused activation, the tolerant mode,
// the CHAP callbacks and the PMPP group addresses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "database/journal.h"
#include "ntcip/snmp/asn1.h"
#include "ntcip/tests/agent_fixture.h"

namespace {

class SnmpDb : public SnmpDbTest {};

TEST_F(SnmpDb, CommunitySearch)
{
    SetNvText(nv::communityNameAdmin, "admin");
    SetNvText(nv::communityNameUser(0), "admin");  // the administrator wins
    SetNv(nv::communityNameAccessMask(0), 0x11);
    SetNvText(nv::communityNameUser(3), "twice");
    SetNv(nv::communityNameAccessMask(3), 0x300);
    SetNvText(nv::communityNameUser(7), "twice");  // the lower index gives the mask
    SetNv(nv::communityNameAccessMask(7), 0x700);
    SetNvText(nv::communityNameUser(99), "last");
    SetNv(nv::communityNameAccessMask(99), 0x99);

    struct {
        const char* community;
        int access_class;
        uint32_t access_mask;  // of snmp_community_access_mask
        uint32_t lookup_mask;  // of snmp_community_lookup
    } cases[] = {
        {"admin", 2, 0xFFFFFFFF, 0},
        {"twice", 1, 0x300, 0x300},
        {"last", 1, 0x99, 0x99},
        {"Admin", 0, 0, 0},    // case-sensitive
        {"admin ", 0, 0, 0},   // a trailing space
        {"adm", 0, 0, 0},
        {"", 0, 0, 0},         // empty stored names match nothing, not even this
    };
    for (const auto& c : cases) {
        uint32_t mask = 0;
        EXPECT_EQ(c.access_class, snmp_community_access_mask(c.community, &mask)) << c.community;
        EXPECT_EQ(c.access_mask, mask) << c.community;
        mask = 0;
        EXPECT_EQ(c.access_class, snmp_community_lookup(c.community, &mask)) << c.community;
        EXPECT_EQ(c.lookup_mask, mask) << c.community;
    }
    uint32_t mask = 0;
    EXPECT_EQ(0, snmp_community_access_mask(nullptr, &mask));
    EXPECT_EQ(0, snmp_community_access_mask("admin", nullptr));
}

TEST_F(SnmpDb, NoAdministratorWhileItsNameIsEmpty)
{
    uint32_t mask = 0;
    EXPECT_EQ(0, snmp_community_access_mask("", &mask));
    SetNvText(nv::communityNameUser(0), "public");
    EXPECT_EQ(1, snmp_community_access_mask("public", &mask));
}

TEST_F(SnmpDb, CountersLiveInTheDatabase)
{
    snmp_counter_add(snmp_counter::snmpInPkts);
    snmp_counter_add(snmp_counter::snmpInPkts);
    snmp_counter_add(snmp_counter::snmpOutGenErrs);
    EXPECT_EQ(2u, V(vol::snmpInPkts));
    EXPECT_EQ(1u, V(vol::snmpOutGenErrs));
    EXPECT_EQ(0u, V(vol::snmpOutBadValues));
    SetV(vol::snmpInGetNexts, 41);  // what the database holds is what counts
    snmp_counter_add(snmp_counter::snmpInGetNexts);
    EXPECT_EQ(42u, snmp_counter_get(snmp_counter::snmpInGetNexts));
    SetV(vol::snmpInTooBigs, 0xFFFFFFFF);
    snmp_counter_add(snmp_counter::snmpInTooBigs);
    EXPECT_EQ(0u, V(vol::snmpInTooBigs));  // wraps

    snmp_inc_counter_25280();
    snmp_inc_counter_25280();
    EXPECT_EQ(2u, V(vol::quorBadCommunityCount));
    snmp_clear_counter_25280();
    EXPECT_EQ(0u, V(vol::quorBadCommunityCount));

    snmp_counters_clear();
    EXPECT_EQ(0u, V(vol::snmpInPkts));
    EXPECT_EQ(0u, V(vol::snmpInGetNexts));

    // Without the services the codec counts on its own, and the database keeps still.
    snmp_db_services_shutdown();
    snmp_counter_add(snmp_counter::snmpInPkts);
    EXPECT_EQ(0u, V(vol::snmpInPkts));
}

TEST_F(SnmpDb, ControlModeIsTheLowByte)
{
    SetV(vol::dmsControlMode, 5);
    EXPECT_EQ(5, snmp_get_control_mode());
}

uint32_t g_check_result = 0;
uint32_t check(const uint8_t*, uint32_t) { return g_check_result; }

TEST_F(SnmpDb, RefusedActivationIsRecorded)
{
    const uint8_t code[12] = {0xFF, 0xFF, 0xFF, 0x09, 0x00, 0x01, 0x12, 0x34, 10, 0, 0, 1};
    struct {
        const char* what;
        bool installed;
        uint32_t result;
        uint32_t mode;
        uint32_t stored;
    } cases[] = {
        {"memory type above 7", true, 5, 2, 5},
        {"status", true, 4, 4, 4},
        {"number", true, 6, 5, 6},
        {"crc", true, 7, 2, 7},
        {"would activate, local", true, 2, 2, 9},
        {"would activate, central", true, 2, 4, 10},
        {"would activate, central override", true, 2, 5, 11},
        {"priority is the mode's", true, 3, 4, 10},
        {"syntax is the mode's", true, 8, 6, 9},
        {"no display", false, 0, 4, 10},
    };
    for (const auto& c : cases) {
        SetNv(nv::dmsActivateMsgError, 2);
        SetV(vol::shortErrorStatus, 0x0101);
        SetV(vol::dmsControlMode, c.mode);
        g_check_result = c.result;
        snmp_set_activation_check(c.installed ? check : nullptr);
        snmp_activation_refused(code, sizeof code);
        EXPECT_EQ(c.stored, Nv(nv::dmsActivateMsgError)) << c.what;
        EXPECT_EQ(0x0181u, V(vol::shortErrorStatus)) << c.what;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(code), 12), VText(vol::dmsMessageCodeOfActivationError))
            << c.what;
    }
    const uint8_t longer[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    snmp_activation_refused(longer, sizeof longer);
    EXPECT_EQ(12u, VText(vol::dmsMessageCodeOfActivationError).size());
}

TEST_F(SnmpDb, TolerantModeSwitchesOnOnce)
{
    SetNv(nv::quorSpecialFeatureSet, 0x03);
    SetV(vol::controllerLocalTime, 1000);
    SetNv(nv::controllerStandardTimeZone, static_cast<uint32_t>(-21600));
    db_->SetTimeValue(nv::globalTime.offset, 4, 22600, db_->mib_nv, DB_GLOBAL_TIME);
    EXPECT_FALSE(special_feature_bit5_enabled());
    EXPECT_FALSE(g_asn1_tolerant());

    special_feature_bit5_set(1);
    EXPECT_TRUE(special_feature_bit5_enabled());
    EXPECT_TRUE(g_asn1_tolerant());  // the codec asks the database
    EXPECT_EQ(0x23u, Nv(nv::quorSpecialFeatureSet));
    EXPECT_EQ(1000u, db_->GetTimeValue(nv::globalTime.offset, 4, db_->mib_nv, DB_GLOBAL_TIME));
    EXPECT_EQ(0u, Nv(nv::controllerStandardTimeZone));

    SetV(vol::controllerLocalTime, 5000);
    SetNv(nv::controllerStandardTimeZone, 3600);
    special_feature_bit5_set(1);  // already on: the time stays
    EXPECT_EQ(1000u, db_->GetTimeValue(nv::globalTime.offset, 4, db_->mib_nv, DB_GLOBAL_TIME));
    EXPECT_EQ(3600u, Nv(nv::controllerStandardTimeZone));

    special_feature_bit5_set(0);  // off: only the bit
    EXPECT_EQ(0x03u, Nv(nv::quorSpecialFeatureSet));
    EXPECT_EQ(3600u, Nv(nv::controllerStandardTimeZone));
    EXPECT_FALSE(g_asn1_tolerant());
}

// A scripted random source: the bytes of g_source in turn, then 0x41.
std::vector<uint8_t> g_source;
size_t g_taken = 0;
bool g_source_fails = false;
bool scripted(uint8_t* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i, ++g_taken)
        bytes[i] = g_taken < g_source.size() ? g_source[g_taken] : 0x41;
    return !g_source_fails;
}

TEST_F(SnmpDb, ChapChallengeIsUsedByItsLength)
{
    SetNvText(nv::chapName, "sign-17");
    chap_set_random(scripted);
    struct {
        const char* what;
        std::vector<uint8_t> source;  // the length byte, then the value
        int length;
    } cases[] = {
        {"length byte 0", {0}, 32},
        {"length byte 31", {31}, 63},
        {"only the low five bits count", {0xE1}, 33},
        {"zero bytes are part of the value", {5, 0, 0, 7}, 37},
    };
    uint8_t expected_id = 11;  // the first challenge after start-up
    for (const auto& c : cases) {
        g_source = c.source;
        g_taken = 0;
        uint8_t challenge[CHAP_CHALLENGE_SIZE];
        std::memset(challenge, 0x55, sizeof challenge);
        uint8_t id = 0;
        char name[CHAP_NAME_SIZE];
        EXPECT_EQ(c.length, chap_get_challenge_values(challenge, &id, name)) << c.what;
        EXPECT_EQ(expected_id++, id) << c.what;
        EXPECT_STREQ("sign-17", name) << c.what;
        for (int i = 0; i < c.length; ++i) {
            const size_t k = static_cast<size_t>(i) + 1;
            ASSERT_EQ(k < c.source.size() ? c.source[k] : 0x41, challenge[i]) << c.what << " byte " << i;
        }
        EXPECT_EQ(0x55, challenge[c.length]) << c.what << ": nothing past the value";
    }
    g_source_fails = true;
    uint8_t challenge[CHAP_CHALLENGE_SIZE], id = 0;
    char name[CHAP_NAME_SIZE];
    EXPECT_EQ(0, chap_get_challenge_values(challenge, &id, name)) << "no random source, no value";
    g_source_fails = false;
}

TEST_F(SnmpDb, ChapChallengesComeFromTheSystemsRandomSource)
{
    chap_set_random(nullptr);
    uint8_t a[CHAP_CHALLENGE_SIZE] = {}, b[CHAP_CHALLENGE_SIZE] = {}, id = 0;
    char name[CHAP_NAME_SIZE];
    const int na = chap_get_challenge_values(a, &id, name);
    const int nb = chap_get_challenge_values(b, &id, name);
    ASSERT_GE(na, 32);
    ASSERT_LE(na, 63);
    ASSERT_GE(nb, 32);
    ASSERT_LE(nb, 63);
    EXPECT_NE(std::string(a, a + 32), std::string(b, b + 32));
}

TEST_F(SnmpDb, ChapIdentifierWrapsAtOneByte)
{
    uint8_t challenge[CHAP_CHALLENGE_SIZE], id = 0;
    char name[CHAP_NAME_SIZE];
    for (int i = 0; i < 245; ++i)
        chap_get_challenge_values(challenge, &id, name);
    EXPECT_EQ(255, id);
    chap_get_challenge_values(challenge, &id, name);
    EXPECT_EQ(0, id);
}

TEST_F(SnmpDb, ChapNamesAndSecretsFitTheLinksAreas)
{
    SetNvText(nv::chapName, std::string(40, 'n'));
    SetNvText(nv::chapSecret, std::string(60, 's'));
    char name[CHAP_SECRET_SIZE + 1], secret[CHAP_SECRET_SIZE + 1];
    std::memset(name, 0x7E, sizeof name);
    std::memset(secret, 0x7E, sizeof secret);
    EXPECT_EQ(0, chap_get_responder_values(nullptr, name, secret));
    EXPECT_EQ(std::string(40, 'n'), name);
    EXPECT_EQ(std::string(CHAP_SECRET_SIZE - 1, 's'), secret);
    EXPECT_EQ(0x7E, secret[CHAP_SECRET_SIZE]);  // nothing past the area
    EXPECT_EQ(0, chap_get_verification_values(nullptr, name, secret));
    EXPECT_EQ(std::string(CHAP_SECRET_SIZE - 1, 's'), secret);

    uint8_t challenge[CHAP_CHALLENGE_SIZE], id = 0;
    char local[CHAP_NAME_SIZE + 1];
    std::memset(local, 0x7E, sizeof local);
    chap_get_challenge_values(challenge, &id, local);
    EXPECT_EQ(std::string(CHAP_NAME_SIZE - 1, 'n'), local);
    EXPECT_EQ(0x7E, local[CHAP_NAME_SIZE]);

    uint32_t length = 0;
    snmp_get_chap_secret(&length);
    EXPECT_EQ(60u, length);
    EXPECT_EQ('n', snmp_get_chap_name(&length)[0]);
    EXPECT_EQ(40u, length);
}

TEST_F(SnmpDb, PmppGroupAddresses)
{
    for (uint32_t g = 0; g < PMPP_GROUP_ADDRESSES; ++g)
        SetNv(nv::pmppGroupAddress(g), 100 + g);
    SetNv(nv::pmppGroupAddress(9), 104);  // the same address twice
    EXPECT_EQ(255u, pmpp_address_listed(104));
    EXPECT_EQ(255u, pmpp_address_listed(100));
    EXPECT_EQ(0u, pmpp_address_listed(109));
    EXPECT_EQ(0u, pmpp_address_listed(7));
}

TEST_F(SnmpDb, FillPercentOfTheJournal)
{
    EXPECT_EQ(0u, snmp_db_fill_percent(nullptr));
    EXPECT_EQ(0u, snmp_db_fill_percent(db_.get()));  // no journal
    db_->m_pJournal = CDB::Instance(db_.get());
    EXPECT_EQ(0u, snmp_db_fill_percent(db_.get()));
    db_->m_pJournal = nullptr;
}

}  // namespace
