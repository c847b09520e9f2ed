// A manager's view of the MIB-II, fdot, global and protocol object groups:
// requests built byte for byte, processed by the controller's own request
// processing in a kernel thread over the memory transport, and the
// responses read back, OID values included. The database holds the factory
// defaults of these groups and their factory communities: the
// administrator "quillfeathers", the user "fernly" (mask 0) in every row
// but row 3, which is "Fernly" with every bit.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/defaults.h"
#include "frame/bus/subscriber.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/snmp/agent/memory_transport.h"
#include "ntcip/snmp/agent/request.h"
#include "ntcip/tests/agent_fixture.h"
#include "rtos_host.h"

namespace mg {

inline const std::string kAdmin = "quillfeathers";
inline const std::string kFullUser = "Fernly";
inline const std::string kUser = "fernly";

// A varbind of a request or a response.
struct value {
    oid_t name;
    uint16_t syntax = SNMP_NULL;
    uint32_t integer = 0;
    std::string text;  // strings and addresses
    oid_t oid;         // OID values
};

inline value Null(const oid_t& o) { return {o, SNMP_NULL, 0, {}, {}}; }
inline value Int(const oid_t& o, uint32_t v) { return {o, SNMP_INTEGER, v, {}, {}}; }
inline value Counter(const oid_t& o, uint32_t v) { return {o, SNMP_COUNTER, v, {}, {}}; }
inline value Gauge(const oid_t& o, uint32_t v) { return {o, SNMP_GAUGE, v, {}, {}}; }
inline value Str(const oid_t& o, const std::string& s) { return {o, SNMP_OCTET_STRING, 0, s, {}}; }
inline value Oid(const oid_t& o, const oid_t& v) { return {o, SNMP_OBJECT_ID, 0, {}, v}; }
inline value Ip(const oid_t& o, uint32_t a)
{
    std::string bytes = {char(a >> 24), char(a >> 16), char(a >> 8), char(a)};
    return {o, SNMP_IPADDRESS, 0, bytes, {}};
}
// An IpAddress of another length than four bytes.
inline value IpBytes(const oid_t& o, const std::string& bytes) { return {o, SNMP_IPADDRESS, 0, bytes, {}}; }

struct reply {
    bool ok = false;
    uint32_t status = 0;
    uint32_t index = 0;
    std::vector<value> vbs;
    const value& at(size_t i) const { return vbs.at(i); }
};

inline std::vector<uint8_t> message(uint32_t version, const std::string& community, uint32_t pdu,
                                    const std::vector<value>& vbs)
{
    auto record = std::make_unique<snmp_record>();
    snmp_request& r = record->request;
    r.pdu_type = pdu;
    r.request_id = 11;
    r.count = static_cast<int16_t>(vbs.size());
    for (size_t i = 0; i < vbs.size(); ++i) {
        snmp_varbind& e = r.varbinds[i];
        const value& v = vbs[i];
        std::memset(&e, 0, sizeof e);
        e.name_length = static_cast<uint32_t>(v.name.size());
        std::memcpy(e.name, v.name.data(), v.name.size() * sizeof(uint32_t));
        e.syntax = v.syntax;
        switch (v.syntax) {
        case SNMP_NULL:
            break;
        case SNMP_OCTET_STRING:
        case SNMP_IPADDRESS:
            e.value_length = static_cast<uint32_t>(v.text.size());
            std::memcpy(e.value, v.text.data(), v.text.size());
            break;
        case SNMP_OBJECT_ID:
            e.value_length = static_cast<uint32_t>(v.oid.size());  // sub-identifiers when encoded
            std::memcpy(e.value_words, v.oid.data(), v.oid.size() * sizeof(uint32_t));
            break;
        default:
            e.value_words[0] = v.integer;
            e.value_length = 4;
            break;
        }
    }
    std::vector<uint8_t> buffer(8192);
    asn1_stream s;
    g_asn1_open(&s, buffer.data(), static_cast<uint32_t>(buffer.size()), ASN1_ENCODE);
    uint8_t *end = nullptr, *field = nullptr;
    g_asn1_eoc_encode(&s, &end);
    bool ok = (version == 0 ? g_snmp_pdu_v1_encode(&s, record.get()) : g_snmp_pdu_v2_encode(&s, &r)) &&
              g_asn1_octets_encode(&s, &field, reinterpret_cast<const uint8_t*>(community.data()),
                                   static_cast<uint32_t>(community.size())) &&
              g_asn1_header_encode(&s, field, ASN1_UNI, ASN1_PRI, ASN1_OTS) && g_asn1_uint_encode(&s, &field, version) &&
              g_asn1_header_encode(&s, field, ASN1_UNI, ASN1_PRI, ASN1_INT) &&
              g_asn1_header_encode(&s, end, ASN1_UNI, ASN1_CON, ASN1_SEQ);
    EXPECT_TRUE(ok);
    uint8_t* start = nullptr;
    uint32_t length = 0;
    g_asn1_close(&s, &start, &length);
    return std::vector<uint8_t>(start, start + length);
}

// Decoded with the PDU decoder only, so that the agent's counters stay put.
inline reply read(const std::vector<uint8_t>& bytes)
{
    reply out;
    auto record = std::make_unique<snmp_record>();
    std::vector<uint8_t> copy = bytes;
    asn1_stream s;
    g_asn1_open(&s, copy.data(), static_cast<uint32_t>(copy.size()), ASN1_DECODE);
    uint8_t *end = nullptr, *f = nullptr;
    uint32_t cls = 0, form = 0, tag = 0, version = 0, n = 0;
    char community[64] = {};
    if (!g_asn1_header_decode(&s, &end, &cls, &form, &tag) || !g_asn1_header_decode(&s, &f, &cls, &form, &tag) ||
        !g_asn1_uint_decode(&s, f, &version) || !g_asn1_header_decode(&s, &f, &cls, &form, &tag) ||
        !g_asn1_octets_decode(&s, f, reinterpret_cast<uint8_t*>(community), sizeof community - 1, &n) ||
        !g_snmp_pdu_v2_decode(&s, &record->request) || !g_asn1_eoc_decode(&s, end))
        return out;
    const snmp_request& r = record->request;
    out.status = r.error_status;
    out.index = r.error_index;
    for (int i = 0; i < r.count; ++i) {
        const snmp_varbind& e = r.varbinds[i];
        value v{oid_t(e.name, e.name + e.name_length), e.syntax, 0, {}, {}};
        if (e.syntax == SNMP_OCTET_STRING || e.syntax == SNMP_OPAQUE || e.syntax == SNMP_IPADDRESS)
            v.text.assign(reinterpret_cast<const char*>(e.value), e.value_length);
        else if (e.syntax == SNMP_OBJECT_ID)
            v.oid.assign(e.value_words, e.value_words + e.value_length / 4);
        else if (e.syntax != SNMP_NULL)
            v.integer = e.value_words[0];
        if (e.syntax == SNMP_IPADDRESS && e.value_length == 4)
            v.integer = uint32_t(e.value[0]) << 24 | uint32_t(e.value[1]) << 16 | uint32_t(e.value[2]) << 8 |
                        e.value[3];
        out.vbs.push_back(v);
    }
    out.ok = true;
    return out;
}

// A column instance: "ENT.4.2.6.3.7.2.1.2" and its indexes.
inline oid_t At(const std::string& column, std::initializer_list<uint32_t> indexes)
{
    oid_t o = O(column);
    o.insert(o.end(), indexes);
    return o;
}

inline bool under(const oid_t& name, const oid_t& prefix)
{
    return name.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), name.begin());
}

}  // namespace mg

// The groups of this subsystem's configuration objects in the registry, with
// the factory defaults they are served from, and one agent.
class MibGroupTest : public SnmpDbTest {
protected:
    static constexpr uint32_t kMemory = 64 * 1024;

    void SetUp() override
    {
        SnmpDbTest::SetUp();
        // Written as the database's start writes them, past the write hooks.
        db_->SetHooksEnabled(false);
        defaults_sign_nv(*db_, 0);
        defaults_sign_v(*db_);
        defaults_mib2_nv(*db_, 0);
        defaults_mib2_v(*db_);
        defaults_global_nv(*db_, 0);
        defaults_global_v(*db_);
        defaults_fdot_nv(*db_, 0);
        defaults_fdot_v(*db_);
        db_->SetHooksEnabled(true);
        const mib_group* const groups[] = {&g_mib2_system_group, &g_mib2_group,        &g_fdot_group,
                                           &g_global_config_group, &g_global_time_group, &g_security_group,
                                           &g_auxio_group,       &g_protocol_group};
        ASSERT_EQ(1, snmp_mib_build(groups, sizeof groups / sizeof groups[0]));
        memory_.reset(new uint8_t[kMemory]);
        uint32_t used = 0;
        const uint8_t own[4] = {10, 0, 0, 9};
        ASSERT_EQ(0, snmp_agent_create(&agent_, "ethernet_udp", 161, 162, own, memory_.get(), kMemory, &used, 2048,
                                       processPppPdu, snmp_v3_hook, snmp_memory_net_drv, nullptr, nullptr));
    }
    void TearDown() override
    {
        snmp_mib_set_write_override(0);
        SnmpDbTest::TearDown();
    }
    void AfterKernelStop() override { snmp_memory_transport_destroy(&agent_); }

    // One request, processed in a kernel thread as a transport's receive
    // thread does; a reply with ok false when none was sent.
    mg::reply Ask(const std::string& community, uint32_t pdu, const std::vector<mg::value>& vbs, uint32_t version = 1)
    {
        mg::reply r;
        EXPECT_TRUE(rtos::run_in_thread([&] {
            std::vector<uint8_t> m = mg::message(version, community, pdu, vbs);
            snmp_agent_process(&agent_, m.data(), static_cast<uint32_t>(m.size()));
            std::vector<snmp_memory_message> sent = snmp_memory_transport_of(&agent_)->Take();
            EXPECT_LE(sent.size(), 1u);
            if (!sent.empty())
                r = mg::read(sent[0].bytes);
        }));
        return r;
    }
    mg::reply Get(const std::vector<oid_t>& names, const std::string& community = mg::kAdmin)
    {
        std::vector<mg::value> vbs;
        for (const oid_t& n : names)
            vbs.push_back(mg::Null(n));
        return Ask(community, SNMP_PDU_GET, vbs);
    }
    mg::reply Next(const oid_t& name, const std::string& community = mg::kAdmin)
    {
        return Ask(community, SNMP_PDU_GETNEXT, {mg::Null(name)});
    }
    mg::reply Set(const std::vector<mg::value>& vbs, const std::string& community = mg::kAdmin)
    {
        return Ask(community, SNMP_PDU_SET, vbs);
    }

    // The value of one object; the test fails when it is not served.
    mg::value One(const oid_t& name, const std::string& community = mg::kAdmin)
    {
        mg::reply r = Get({name}, community);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(0u, r.status) << dotted(name);
        return r.ok && !r.vbs.empty() ? r.vbs[0] : mg::value{};
    }
    uint32_t Integer(const oid_t& name) { return One(name).integer; }
    std::string Text(const oid_t& name) { return One(name).text; }

    // The error status of a get of one name (0 when served).
    uint32_t GetStatus(const oid_t& name, const std::string& community = mg::kAdmin)
    {
        mg::reply r = Get({name}, community);
        EXPECT_TRUE(r.ok);
        return r.status;
    }

    // Get-next from `from` while the answers stay under `prefix`.
    std::vector<mg::value> Walk(const oid_t& from, const oid_t& prefix, const std::string& community = mg::kAdmin,
                                size_t limit = 2000)
    {
        std::vector<mg::value> out;
        oid_t at = from;
        for (size_t guard = 0; guard < limit; ++guard) {
            mg::reply r = Next(at, community);
            if (!r.ok || r.status != 0 || r.vbs.empty() || !mg::under(r.vbs[0].name, prefix))
                break;
            at = r.vbs[0].name;
            out.push_back(r.vbs[0]);
        }
        return out;
    }

    std::string NvText(const db_object& o)
    {
        uint32_t n = 0;
        const uint8_t* p = db_->GetString(o.offset, o.width, db_->mib_nv, &n);
        return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
    }
    // A user community of row i + 1 with its mask.
    void AddUser(uint32_t i, const std::string& name, uint32_t mask)
    {
        SetNvText(nv::communityNameUser(i), name);
        SetNv(nv::communityNameAccessMask(i), mask);
    }

    snmp_agent agent_{};
    std::unique_ptr<uint8_t[]> memory_;
};

// Letters published on the bus while the listener lives.
class letter_listener {
public:
    explicit letter_listener(std::initializer_list<uint32_t> ids) : m_ids(ids), m_sub(&g_post_office, nullptr, 1, nullptr)
    {
        m_ids.push_back(0);
        EXPECT_EQ(1, m_sub.Subscribe(m_ids.data()));
    }
    ~letter_listener() { m_sub.Unsubscribe(); }
    // The ids received since the last call.
    std::vector<uint32_t> Take()
    {
        std::vector<uint32_t> out;
        letter_s* letter = nullptr;
        while (m_sub.Receive(&letter)) {
            out.push_back(letter->Id());
            m_sub.Release(letter);
        }
        return out;
    }

private:
    std::vector<uint32_t> m_ids;
    subscriber m_sub;
};
