// A kernel on the manual clock with the parameter database and the SNMP
// engine started (database services, stub MIB), and an agent on the memory
// transport whose processing callback is the small request processing below.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/mib/mib_stub.h"
#include "ntcip/snmp/agent/memory_transport.h"
#include "ntcip/snmp/agent/snmp_agent.h"
#include "ntcip/snmp/db/snmp_chap.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "ntcip/snmp/snmp_counters.h"
#include "ntcip/tests/agent_test_util.h"
#include "rtos_host.h"

// What the test processing saw.
struct processing_log {
    uint32_t processed = 0;         // calls of the processing callback
    uint32_t second = 0;            // calls of the second callback
    int last_response_result = -1;  // returnResponsePdu's result
};
inline processing_log& plog()
{
    static processing_log log;
    return log;
}

// The least request processing the agent needs to be driven end to end:
// the community's mask, the passes of a get, get-next or set through the
// registry, the response values, and the response. The controller's own
// request processing does much more.
inline void test_processor(snmp_agent* agent, uint32_t version, uint32_t version_tag, const char* community,
                           uint8_t flags, const char* engine, const char* context, uint32_t wrapper_tag,
                           snmp_record* record, int slot)
{
    ++plog().processed;
    uint32_t mask = 0;
    if (snmp_community_access_mask(community, &mask) == SNMP_COMMUNITY_UNKNOWN) {
        snmp_inc_counter_25280();
        return;
    }
    snmp_request& r = record->request;
    uint32_t op = 0;
    switch (r.pdu_type) {
    case SNMP_PDU_GET:
        op = MIB_GET;
        break;
    case SNMP_PDU_GETNEXT:
        op = MIB_GETNEXT;
        break;
    case SNMP_PDU_SET:
        op = MIB_SET;
        break;
    default:
        return;
    }
    g_snmp_community_mask = mask;
    bool last = false, stop = false;
    for (int pass = op == MIB_GETNEXT ? 1 : 0; pass < 2 && !last && !stop; ++pass) {
        g_snmp_commit_indicator = static_cast<uint8_t>(pass);
        for (int i = 0; i < r.count && !stop; ++i) {
            snmp_varbind& v = r.varbinds[i];
            if (op == MIB_SET) {
                g_snmp_set_value.integer = v.value_words[0];
                g_snmp_set_value.length = v.syntax == SNMP_OCTET_STRING ? std::min(v.value_length, MIB_SET_BYTES) : 4;
                if (v.syntax == SNMP_OCTET_STRING)
                    std::memcpy(g_snmp_set_value.bytes, v.value, g_snmp_set_value.length);
            }
            uint16_t type = v.syntax;
            uint32_t vlen = 0, err = 0, len = v.name_length;
            uint8_t access = 0;
            uintptr_t* cell = getStatPtr(v.name, &len, &type, &vlen, &access, op, &r, i, &err);
            if (op == MIB_GETNEXT && cell)
                v.name_length = len;
            uint32_t status = 0;
            if (err != 0)
                status = err == MIB_ERR_BAD_VALUE ? 3 : 2;
            else if (op == MIB_SET && access == MIB_READ_ONLY)
                status = 2;
            if (status != 0) {
                if (r.error_status == 0) {
                    r.error_status = status;
                    r.error_index = i + 1;
                }
                if (err != 0 && err != MIB_ERR_BAD_VALUE)
                    stop = true;
                else
                    last = true;
                continue;
            }
            if (pass == 0)
                continue;
            if (type == MIB_OCTET_STRING) {
                v.syntax = SNMP_OCTET_STRING;
                std::memmove(v.value, reinterpret_cast<const uint8_t*>(*cell), vlen);
                v.value[vlen] = 0;
                v.value_length = vlen;
            } else {
                v.syntax = type == MIB_COUNTER ? SNMP_COUNTER : SNMP_INTEGER;
                v.value_words[0] = static_cast<uint32_t>(*cell);
                v.value_length = 4;
            }
        }
    }
    g_snmp_commit_indicator = 1;
    r.pdu_type = SNMP_PDU_RESPONSE;
    plog().last_response_result =
        returnResponsePdu(agent, version, version_tag, community, flags, engine, context, wrapper_tag, record, slot);
}

inline void test_second(snmp_agent*, uint32_t, uint32_t, const char*, uint8_t, const char*, const char*, uint32_t,
                        snmp_record*, int)
{
    ++plog().second;
}

// The parameter database and the engine's start.
class SnmpDbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        rtos::kernel_config c;
        c.memory_size = 4u << 20;
        rtos::kernel_start(c, [this](void* mem) {
            ASSERT_EQ(os_byte_pool_create(&pool_, "dynamic database", mem, 2u << 20), OS_SUCCESS);
            ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
        });
        db_ = std::make_unique<CDataBase>(&g_post_office);
        db_->SetStringPool(&pool_);
        db_->SetNotifyEnabled(true);
        snmp_entry();
        plog() = processing_log{};
    }

    void TearDown() override
    {
        snmp_db_services_shutdown();
        snmp_set_activation_check(nullptr);
        chap_set_random(nullptr);
        db_.reset();
        rtos::kernel_stop();
        AfterKernelStop();
    }

    virtual void AfterKernelStop() {}

    uint32_t Nv(const db_object& o) { return db_->GetValue(o.offset, o.width, db_->mib_nv, 0); }
    uint32_t V(const db_object& o) { return db_->GetValue(o.offset, o.width, db_->mib_v, 0); }
    void SetNv(const db_object& o, uint32_t v) { ASSERT_EQ(DB_OK, db_->SetValue(o.offset, o.width, v, db_->mib_nv, 0)); }
    // Test state is set up around the database's write hooks.
    void SetV(const db_object& o, uint32_t v)
    {
        ASSERT_EQ(DB_OK, db_->SetValue(o.offset, o.width, v, db_->mib_v, DB_NO_VALIDATE));
    }
    void SetNvText(const db_object& o, const std::string& s)
    {
        ASSERT_EQ(DB_OK, db_->SetString(o.offset, o.width, s.data(), static_cast<uint32_t>(s.size()), db_->mib_nv, 0));
    }
    std::string VText(const db_object& o)
    {
        uint32_t n = 0;
        const uint8_t* p = db_->GetString(o.offset, o.width, db_->mib_v, &n);
        return std::string(reinterpret_cast<const char*>(p), n);
    }
    uint32_t Counter(snmp_counter c) { return db_->GetValue(snmp_counter_offset(c), 4, db_->mib_v, 0); }

    TX_BYTE_POOL pool_{};
    std::unique_ptr<CDataBase> db_;
};

// An agent on the memory transport over the stub MIB, with the communities
// "administrator", "public" (mask 0x400000), "private" (0x800000) and
// "nobody" (0).
class AgentTest : public SnmpDbTest {
protected:
    static constexpr uint32_t kMemory = 64 * 1024;

    void SetUp() override
    {
        SnmpDbTest::SetUp();
        stub::build();
        SetNvText(nv::communityNameAdmin, "administrator");
        const char* users[] = {"public", "private", "nobody"};
        const uint32_t masks[] = {0x400000, 0x800000, 0};
        for (uint32_t i = 0; i < 3; ++i) {
            SetNvText(nv::communityNameUser(i), users[i]);
            SetNv(nv::communityNameAccessMask(i), masks[i]);
        }
        ASSERT_EQ(0, Create());
    }

    // The transport's waits have unwound with the kernel.
    void AfterKernelStop() override { snmp_memory_transport_destroy(&agent_); }

    int Create(snmp_dispatch_entry udp = nullptr, snmp_dispatch_entry tcp = nullptr,
               snmp_request_callback process = test_processor, snmp_request_callback second = test_second,
               snmp_net_drv transport = snmp_memory_net_drv, uint32_t memory = kMemory)
    {
        if (agent_.transport_area)
            snmp_memory_transport_destroy(&agent_);
        memory_.reset(new uint8_t[memory]);
        const uint8_t own[4] = {10, 0, 0, 9};
        used_ = 0;
        return snmp_agent_create(&agent_, "ethernet_udp", 161, 162, own, memory_.get(), memory, &used_, 2048, process,
                                 second, transport, udp, tcp);
    }

    snmp_memory_transport& Transport() { return *snmp_memory_transport_of(&agent_); }

    // Processes one message in this thread; the responses sent for it.
    std::vector<response> Process(const std::vector<uint8_t>& message)
    {
        snmp_agent_process(&agent_, message.data(), static_cast<uint32_t>(message.size()));
        std::vector<response> out;
        for (const auto& m : Transport().Take())
            out.push_back(read_response(m.bytes));
        return out;
    }

    int SlotsInUse() const
    {
        int n = 0;
        for (const auto& s : agent_.slots)
            n += s.in_use;
        return n;
    }

    snmp_agent agent_{};
    std::unique_ptr<uint8_t[]> memory_;
    uint32_t used_ = 0;
};
