// The MIB-II system group served from its factory defaults through request
// processing, as a manager sees it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/defaults.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/tests/request_fixture.h"

namespace {

const std::string kDescription = "Quorvantis, Inc. KSR-7100 Palisade(tm) VMS Field Controller";
const oid_t kSystem = O("1.3.6.1.2.1.1");
oid_t Sys(uint32_t n) { return O("1.3.6.1.2.1.1." + std::to_string(n) + ".0"); }

class SystemGroupTest : public SnmpDbTest {
protected:
    void SetUp() override
    {
        SnmpDbTest::SetUp();
        defaults_mib2_nv(*db_, 0);
        defaults_mib2_v(*db_);
        defaults_global_nv(*db_, 0);
        const mib_group* const groups[] = {&g_mib2_system_group};
        ASSERT_EQ(1, snmp_mib_build(groups, 1));
        memory_.reset(new uint8_t[kMemory]);
        uint32_t used = 0;
        const uint8_t own[4] = {10, 0, 0, 9};
        ASSERT_EQ(0, snmp_agent_create(&agent_, "ethernet_udp", 161, 162, own, memory_.get(), kMemory, &used, 2048,
                                       processPppPdu, snmp_v3_hook, snmp_memory_net_drv, nullptr, nullptr));
    }
    void AfterKernelStop() override { snmp_memory_transport_destroy(&agent_); }

    response Ask(uint32_t version, const std::string& community, uint32_t pdu, const std::vector<vb>& vbs)
    {
        std::vector<uint8_t> m = request_message(version, community, pdu, vbs);
        snmp_agent_process(&agent_, m.data(), static_cast<uint32_t>(m.size()));
        std::vector<snmp_memory_message> sent = snmp_memory_transport_of(&agent_)->Take();
        EXPECT_EQ(1u, sent.size());
        return sent.empty() ? response{} : read_response(sent[0].bytes);
    }

    static constexpr uint32_t kMemory = 64 * 1024;
    snmp_agent agent_{};
    std::unique_ptr<uint8_t[]> memory_;
};

TEST_F(SystemGroupTest, GetOfTheSystemObjects)
{
    rtos::advance(1234);  // 12.34 s: sysUpTime counts hundredths
    for (uint32_t version : {0u, 1u}) {
        std::vector<vb> all;
        for (uint32_t n = 1; n <= 7; ++n)
            all.push_back(vb_null(Sys(n)));
        response r = Ask(version, "fernly", SNMP_PDU_GET, all);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(0u, r.error_status);
        ASSERT_EQ(7u, r.varbinds.size());
        EXPECT_EQ(kDescription, r.varbinds[0].text);
        EXPECT_EQ(SNMP_OBJECT_ID, r.varbinds[1].syntax);
        EXPECT_EQ(SNMP_TIMETICKS, r.varbinds[2].syntax);
        EXPECT_EQ(1234u, r.varbinds[2].integer);
        EXPECT_EQ(46u, r.varbinds[3].text.size());
        EXPECT_EQ(kDescription, r.varbinds[4].text);
        EXPECT_EQ("Unknown", r.varbinds[5].text);
        EXPECT_EQ(SNMP_INTEGER, r.varbinds[6].syntax);
        EXPECT_EQ(67u, r.varbinds[6].integer);
    }
}

TEST_F(SystemGroupTest, ObjectIdentifierValue)
{
    // read_response keeps no OID values: decode the answer's value here.
    std::vector<uint8_t> m = request_message(0, "fernly", SNMP_PDU_GET, {vb_null(Sys(2))});
    snmp_agent_process(&agent_, m.data(), static_cast<uint32_t>(m.size()));
    std::vector<snmp_memory_message> sent = snmp_memory_transport_of(&agent_)->Take();
    ASSERT_EQ(1u, sent.size());
    // The message ends in the value 1.3.6.1.4.1.1206.4.2.3.
    const std::vector<uint8_t> tail = {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x89, 0x36, 0x04, 0x02, 0x03};
    ASSERT_GE(sent[0].bytes.size(), tail.size());
    EXPECT_EQ(tail, std::vector<uint8_t>(sent[0].bytes.end() - tail.size(), sent[0].bytes.end()));
}

TEST_F(SystemGroupTest, WalkVisitsEachObjectInOrderAndEnds)
{
    oid_t at = kSystem;
    std::vector<oid_t> seen;
    for (int guard = 0; guard < 20; ++guard) {
        response r = Ask(1, "fernly", SNMP_PDU_GETNEXT, {vb_null(at)});
        ASSERT_TRUE(r.ok);
        if (r.error_status != 0) {
            EXPECT_EQ(2u, r.error_status);
            EXPECT_EQ(at, r.varbinds[0].name);
            break;
        }
        at = r.varbinds[0].name;
        seen.push_back(at);
    }
    std::vector<oid_t> expected;
    for (uint32_t n = 1; n <= 7; ++n)
        expected.push_back(Sys(n));
    EXPECT_EQ(expected, seen);
}

TEST_F(SystemGroupTest, SetsOfTheSystemTexts)
{
    struct {
        const char* community;
        vb value;
        uint32_t status;
    } cases[] = {
        {"Fernly", vb_str(Sys(6), "Exit 12 northbound"), 0},
        {"quillfeathers", vb_str(Sys(5), "sign 7"), 0},
        {"fernly", vb_str(Sys(6), "nowhere"), 2},  // a user with no rights
        {"Fernly", vb_str(Sys(1), "mine"), 2},
        {"Fernly", vb_int(Sys(7), 1), 2},
        {"Fernly", vb_str(Sys(4), std::string(256, 'c')), 3},
        {"Fernly", vb_int(Sys(4), 3), 3},
    };
    for (const auto& c : cases) {
        response r = Ask(0, c.community, SNMP_PDU_SET, {c.value});
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(c.status, r.error_status) << dotted(c.value.name);
    }
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(nv::sysLocation.offset, 4, db_->mib_nv, &n);
    EXPECT_EQ("Exit 12 northbound", std::string(reinterpret_cast<const char*>(p), n));
    p = db_->GetString(nv::sysName.offset, 4, db_->mib_nv, &n);
    EXPECT_EQ("sign 7", std::string(reinterpret_cast<const char*>(p), n));
    response r = Ask(1, "fernly", SNMP_PDU_GET, {vb_null(Sys(1)), vb_null(Sys(4))});
    EXPECT_EQ(kDescription, r.varbinds[0].text);
    EXPECT_EQ(46u, r.varbinds[1].text.size());
}

// A partial reset keeps the speeds that only a full factory reset sets.
TEST_F(SystemGroupTest, PartialResetKeepsTheSpeeds)
{
    SetNv(nv::ifSpeed, 838860800);
    SetNv(nv::rs232PortInSpeed(0), 57600);
    SetNvText(nv::sysLocation, "Exit 3");
    defaults_mib2_nv(*db_, 1);
    EXPECT_EQ(838860800u, Nv(nv::ifSpeed));
    EXPECT_EQ(57600u, Nv(nv::rs232PortInSpeed(0)));
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(nv::sysLocation.offset, 4, db_->mib_nv, &n);
    EXPECT_EQ("Unknown", std::string(reinterpret_cast<const char*>(p), n));
    defaults_mib2_nv(*db_, 0);
    EXPECT_EQ(83886080u, Nv(nv::ifSpeed));
    EXPECT_EQ(9600u, Nv(nv::rs232PortInSpeed(0)));
    EXPECT_EQ(10u, Nv(nv::rs232PortInSpeed(4)));
}

}  // namespace
