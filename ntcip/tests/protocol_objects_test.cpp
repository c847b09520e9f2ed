// The protocol objects: the CHAP name and secret that only the
// administrator reaches, the SNMP packet size, and the PMPP group addresses
// in their number and address forms.
#include <gtest/gtest.h>

#include "frame/trace/trace.h"
#include "ntcip/snmp/db/snmp_chap.h"
#include "ntcip/tests/mib_group_fixture.h"

namespace {

using namespace mg;

oid_t P(const std::string& rest) { return O("ENT.4.1." + rest); }
const oid_t kChapCount = P("1.1.1.0"), kMaxPacketSize = P("1.7.1.1.0"), kNode2 = P("2.2.1.0"),
            kMaxGroups = P("2.3.1.0");
oid_t Chap(uint32_t column, uint32_t row) { return At("ENT.4.1.1.1.2.1." + std::to_string(column), {row}); }
oid_t Group(uint32_t column, uint32_t row) { return At("ENT.4.1.2.3.2.1." + std::to_string(column), {row}); }

using ProtocolTest = MibGroupTest;

std::string chap_secret()
{
    uint32_t n = 0;
    const uint8_t* p = snmp_get_chap_secret(&n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
}

TEST_F(ProtocolTest, ChapObjectsForTheAdministratorOnly)
{
    trace_capture trace;
    trace_set_level(1);
    reply r = Get({kChapCount, Chap(1, 1), Chap(2, 1), kMaxPacketSize});
    trace_set_level(0);
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(1u, r.at(0).integer);
    EXPECT_EQ("GRANVOLT", r.at(1).text);
    EXPECT_EQ("BRIMOX", r.at(2).text);
    EXPECT_EQ(2050u, r.at(3).integer);
    EXPECT_TRUE(trace.contains("inside var_chap:\n"));
    EXPECT_TRUE(trace.contains("inside var_chapSecretEntry:\n"));
    EXPECT_TRUE(trace.contains("inside var_snmpConfiguration:\n"));

    for (const std::string& user : {kFullUser, kUser}) {
        for (const oid_t& name : {kChapCount, Chap(1, 1), Chap(2, 1)})
            EXPECT_EQ(2u, GetStatus(name, user)) << user << " " << dotted(name);
        // A walk passes the whole node.
        reply next = Next(P(""), user);
        ASSERT_EQ(0u, next.status);
        EXPECT_EQ(kMaxPacketSize, next.at(0).name) << user;
        EXPECT_EQ(2u, Set({Str(Chap(2, 1), "STOLEN")}, user).status);
    }
    EXPECT_EQ("BRIMOX", chap_secret());
    EXPECT_EQ(kChapCount, Next(P("")).at(0).name);

    // One row only.
    EXPECT_EQ(2u, GetStatus(Chap(1, 2)));
    EXPECT_EQ(2u, GetStatus(Chap(1, 0)));
    EXPECT_EQ(Chap(2, 1), Next(Chap(1, 1)).at(0).name);

    // The links read what is written; a secret longer than they keep is refused.
    EXPECT_EQ(0u, Set({Str(Chap(2, 1), "NEWSECRET"), Str(Chap(1, 1), "SIGN42")}).status);
    EXPECT_EQ("NEWSECRET", chap_secret());
    EXPECT_EQ("SIGN42", NvText(nv::chapName));
    r = Set({Str(Chap(2, 1), std::string(CHAP_SECRET_SIZE, 's'))});
    EXPECT_EQ(3u, r.status);
    EXPECT_EQ(3u, Set({Str(Chap(1, 1), std::string(CHAP_NAME_SIZE, 'n'))}).status);
    EXPECT_EQ(0u, Set({Str(Chap(2, 1), std::string(CHAP_SECRET_SIZE - 1, 's'))}).status);
    EXPECT_EQ(2u, Set({Int(kChapCount, 2)}).status);
    EXPECT_EQ(2u, Set({Int(kMaxPacketSize, 1500)}).status);
}

TEST_F(ProtocolTest, GroupAddressForms)
{
    EXPECT_EQ(10u, Integer(kMaxGroups));
    struct {
        value v;
        uint32_t status;
        uint32_t row;
        uint32_t stored;   // the number after the set
        uint32_t address;  // what pmppGroupAddress then reads
    } cases[] = {
        {Int(Group(2, 1), 7), 0, 1, 1, 7},
        {Int(Group(2, 2), 5), 0, 2, 1, 7},
        {Int(Group(2, 1), 6), 3, 1, 1, 7},  // no end-of-address bit
        {Int(Group(2, 2), 0), 0, 2, 0, 0},
        {Int(Group(3, 3), 62), 0, 3, 62, 251},
        {Int(Group(3, 3), 63), 3, 3, 62, 251},
        {Int(Group(2, 4), 0xFFFFFFFF), 0, 4, 63, 255},
        {Int(Group(2, 10), 11), 0, 10, 2, 11},
        {Int(Group(2, 11), 7), 2, 10, 2, 11},
        {Int(Group(2, 0), 7), 2, 10, 2, 11},
        {Int(Group(1, 1), 1), 2, 1, 1, 7},
    };
    for (const auto& c : cases) {
        reply r = Set({c.v});
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(c.status, r.status) << dotted(c.v.name) << " := " << c.v.integer;
        EXPECT_EQ(c.stored, Nv(nv::pmppGroupAddress(c.row - 1))) << dotted(c.v.name);
        reply g = Get({Group(1, c.row), Group(2, c.row), Group(3, c.row)});
        ASSERT_EQ(0u, g.status);
        EXPECT_EQ(c.row, g.at(0).integer);
        EXPECT_EQ(c.address, g.at(1).integer) << dotted(c.v.name);
        EXPECT_EQ(c.stored, g.at(2).integer);
    }
    // The PMPP links take the stored numbers.
    EXPECT_EQ(255u, pmpp_address_listed(62));
    EXPECT_EQ(0u, pmpp_address_listed(61));

    // A refused address is refused before anything of the request is written.
    reply r = Set({Int(Group(3, 5), 9), Int(Group(2, 5), 6)});
    EXPECT_EQ(3u, r.status);
    EXPECT_EQ(2u, r.index);
    EXPECT_EQ(0u, Nv(nv::pmppGroupAddress(4)));
}

TEST_F(ProtocolTest, WriteMasksOfThePmppObjects)
{
    AddUser(4, "pmpp", 0x2000000);
    AddUser(5, "node", 0x4000000);
    struct {
        const char* community;
        value v;
        uint32_t status;
    } cases[] = {
        {"pmpp", Int(Group(2, 1), 7), 0},   {"pmpp", Int(kNode2, 1), 2},     {"node", Int(kNode2, 65535), 0},
        {"node", Int(Group(2, 1), 7), 2},   {"node", Int(Group(3, 1), 5), 0}, {"Fernly", Int(kNode2, 7), 0},
        {"quillfeathers", Int(kNode2, 65536), 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, Set({c.v}, c.community).status) << c.community << " " << dotted(c.v.name);
    EXPECT_EQ(7u, Nv(nv::protocolNode2Value));
    EXPECT_EQ(5u, Nv(nv::pmppGroupAddress(0)));
}

}  // namespace
