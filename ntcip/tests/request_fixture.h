// Request processing driven end to end: an agent on the memory transport
// whose processing callback is the controller's own, over a stub MIB that
// holds the names request processing treats specially.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ntcip/snmp/agent/request.h"
#include "ntcip/tests/agent_fixture.h"

namespace rq {

// Stub objects (g_mib_stub[column]).
enum : uint8_t {
    kDescrObj = 0,      // read-only string "sign"
    kByteObj = 1,       // 0..255, write mask 0x800000
    kAObj = 2,          // plain integer; also read as an IpAddress
    kBObj = 3,          // plain integer; also read as a Counter
    kTextObj = 4,       // string of any length
    kModeObj = 5,       // dmsControlMode.0
    kActivateObj = 6,   // dmsActivateMessage.0
    kMsgStatusObj = 7,  // dmsMessageStatus column
    kGraphicObj = 8,    // dmsGraphicStatus column
    kBitmapObj = 9,     // dmsGraphicBlockBitmap column (read-only string)
    kSecurityObj = 10,  // under the security node
    kAfterObj = 11,     // the first object after the security node
    kAuxObj = 12,       // auxIOv2PortValue column
    kChapObj = 13,      // under the CHAP node
    kPanelObj = 14,     // the panel administrator password
    kCompatObj = 15,    // the time-compatibility object
};

inline constexpr uint32_t kDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
inline constexpr uint32_t kByte[] = {1, 3, 6, 1, 2, 1, 1, 2, 0};
inline constexpr uint32_t kA[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
inline constexpr uint32_t kB[] = {1, 3, 6, 1, 2, 1, 1, 4, 0};
inline constexpr uint32_t kText[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
inline constexpr uint32_t kBadSyntax[] = {1, 3, 6, 1, 2, 1, 1, 6, 0};
inline constexpr uint32_t kAddress[] = {1, 3, 6, 1, 2, 1, 1, 7, 0};
inline constexpr uint32_t kCounter[] = {1, 3, 6, 1, 2, 1, 1, 8, 0};
#define RQ_ENT 1, 3, 6, 1, 4, 1, 1206
inline constexpr uint32_t kMode[] = {RQ_ENT, 4, 2, 3, 6, 1, 0};
inline constexpr uint32_t kActivate[] = {RQ_ENT, 4, 2, 3, 6, 3, 0};
inline constexpr uint32_t kMsgStatus[] = {RQ_ENT, 4, 2, 3, 5, 8, 1, 9, 255};
inline constexpr uint32_t kGraphicStatus[] = {RQ_ENT, 4, 2, 3, 10, 6, 1, 10, 255};
inline constexpr uint32_t kBitmap[] = {RQ_ENT, 4, 2, 3, 10, 7, 1, 3, 255};
inline constexpr uint32_t kSecurity[] = {RQ_ENT, 4, 2, 6, 5, 1, 0};
inline constexpr uint32_t kAfter[] = {RQ_ENT, 4, 2, 6, 6, 1, 0};
inline constexpr uint32_t kAux[] = {RQ_ENT, 4, 2, 6, 7, 3, 1, 5, 255};
inline constexpr uint32_t kChap[] = {RQ_ENT, 4, 1, 1, 1, 1, 0};
inline constexpr uint32_t kPanel[] = {RQ_ENT, 3, 11, 2, 12, 0};
inline constexpr uint32_t kCompat[] = {RQ_ENT, 3, 16, 1, 1, 20, 5, 0};
#undef RQ_ENT

inline const mib_variable kClsB[] = {
    mib_row(kDescr, MIB_OCTET_STRING, kDescrObj, MIB_READ_ONLY, var_stub_scalar),
    mib_row(kByte, MIB_INTEGER, kByteObj, MIB_READ_WRITE, var_stub_scalar, 0, 0x800000, mib_unsigned_range(0, 255)),
    mib_row(kA, MIB_INTEGER, kAObj, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kB, MIB_INTEGER, kBObj, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kText, MIB_OCTET_STRING, kTextObj, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kBadSyntax, 3, kAObj, MIB_READ_ONLY, var_stub_scalar),
    mib_row(kAddress, MIB_IPADDRESS, kAObj, MIB_READ_ONLY, var_stub_scalar),
    mib_row(kCounter, MIB_COUNTER, kBObj, MIB_READ_ONLY, var_stub_scalar),
};
inline const mib_variable kDms[] = {
    mib_row(kMode, MIB_INTEGER, kModeObj, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kActivate, MIB_OCTET_STRING, kActivateObj, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kMsgStatus, MIB_INTEGER, kMsgStatusObj, MIB_READ_WRITE, var_stub_table, 2),
    mib_row(kGraphicStatus, MIB_INTEGER, kGraphicObj, MIB_READ_WRITE, var_stub_column, 1),
    mib_row(kBitmap, MIB_OCTET_STRING, kBitmapObj, MIB_READ_ONLY, var_stub_table, 2),
};
inline const mib_variable kGlobal[] = {
    mib_row(kSecurity, MIB_OCTET_STRING, kSecurityObj, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kAfter, MIB_INTEGER, kAfterObj, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kAux, MIB_INTEGER, kAuxObj, MIB_READ_WRITE, var_stub_table, 2),
};
inline const mib_variable kProtocol[] = {mib_row(kChap, MIB_INTEGER, kChapObj, MIB_READ_WRITE, var_stub_scalar)};
inline const mib_variable kQuor[] = {mib_row(kPanel, MIB_INTEGER, kPanelObj, MIB_READ_WRITE, var_stub_scalar)};
inline const mib_variable kVestrel[] = {mib_row(kCompat, MIB_INTEGER, kCompatObj, MIB_READ_WRITE, var_stub_scalar)};

inline const mib_group kGroups[] = {
    {"cls b", kClsB, sizeof kClsB / sizeof kClsB[0]},     {"dms", kDms, sizeof kDms / sizeof kDms[0]},
    {"global", kGlobal, sizeof kGlobal / sizeof kGlobal[0]}, {"protocol", kProtocol, 1},
    {"quor", kQuor, 1},                                     {"vestrel", kVestrel, 1},
};
inline const mib_group* const kGroupList[] = {&kGroups[0], &kGroups[1], &kGroups[2],
                                              &kGroups[3], &kGroups[4], &kGroups[5]};

inline void set_text(uint8_t object, const std::string& s)
{
    std::memcpy(g_mib_stub[object].bytes, s.data(), s.size());
    g_mib_stub[object].length = static_cast<uint32_t>(s.size());
}

inline void build()
{
    ASSERT_EQ(1, snmp_mib_build(kGroupList, sizeof kGroupList / sizeof kGroupList[0]));
    mib_stub_reset();
    set_text(kDescrObj, "sign");
    g_mib_stub[kByteObj].value = 17;
    g_mib_stub[kAObj].value = 0x0A000009;  // 10.0.0.9 read as an address
    g_mib_stub[kBObj].value = 200;
    set_text(kTextObj, "old");
    g_mib_stub[kModeObj].value = 4;
    set_text(kActivateObj, std::string(12, '\0'));
    g_mib_stub[kMsgStatusObj].highest[0] = 3;
    g_mib_stub[kMsgStatusObj].highest[1] = 4;
    g_mib_stub[kGraphicObj].highest[0] = 4;
    set_text(kBitmapObj, "bits");
    g_mib_stub[kBitmapObj].highest[0] = 2;
    g_mib_stub[kBitmapObj].highest[1] = 63;
    set_text(kSecurityObj, "secret");
    g_mib_stub[kAfterObj].value = 66;
    g_mib_stub[kAuxObj].highest[0] = 2;
    g_mib_stub[kAuxObj].highest[1] = 24;
}

// What the display services saw.
struct display_log {
    uint32_t activations = 0;
    bool activation_result = true;
    uint32_t message_table = 0;
    uint32_t graphic_table = 0;
    std::vector<uint8_t> commit_at_activation;
};
inline display_log& dlog()
{
    static display_log log;
    return log;
}

}  // namespace rq

// The agent "ethernet_udp" on the memory transport, processing with
// processPppPdu over the stub MIB above; communities as in AgentTest.
class RequestTest : public AgentTest {
protected:
    void SetUp() override
    {
        AgentTest::SetUp();
        ASSERT_EQ(0, Create(nullptr, nullptr, processPppPdu));
        rq::build();
        rq::dlog() = rq::display_log{};
        static const snmp_display_services services = {
            [] {
                ++rq::dlog().activations;
                rq::dlog().commit_at_activation.push_back(g_snmp_commit_indicator);
                return rq::dlog().activation_result;
            },
            [] { ++rq::dlog().message_table; },
            [] { ++rq::dlog().graphic_table; },
            nullptr,
        };
        snmp_set_display_services(&services);
    }

    void TearDown() override
    {
        snmp_set_display_services(nullptr);
        snmp_set_polled_trap_answer(nullptr);
        AgentTest::TearDown();
    }

    // One request in this thread; its response, or a response with ok false
    // when none was sent.
    response Ask(uint32_t version, const std::string& community, uint32_t pdu, const std::vector<vb>& vbs)
    {
        std::vector<response> out = Process(request_message(version, community, pdu, vbs));
        EXPECT_LE(out.size(), 1u);
        return out.empty() ? response{} : out[0];
    }
    response Get(const std::vector<vb>& vbs, const std::string& community = "administrator", uint32_t version = 0)
    {
        return Ask(version, community, SNMP_PDU_GET, vbs);
    }
    response Next(const std::vector<vb>& vbs, const std::string& community = "administrator")
    {
        return Ask(0, community, SNMP_PDU_GETNEXT, vbs);
    }
    response Set(const std::vector<vb>& vbs, const std::string& community = "administrator", uint32_t version = 0)
    {
        return Ask(version, community, SNMP_PDU_SET, vbs);
    }
};

template <size_t N>
inline oid_t Oid(const uint32_t (&o)[N])
{
    return oid_t(o, o + N);
}

// A column instance: the row's OID without its placeholder, then the indexes.
template <size_t N>
inline oid_t Instance(const uint32_t (&o)[N], std::initializer_list<uint32_t> indexes)
{
    oid_t out(o, o + N - 1);
    out.insert(out.end(), indexes);
    return out;
}
