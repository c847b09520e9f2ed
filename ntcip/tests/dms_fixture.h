// A manager's view of the sign control objects: agents on the memory
// transport whose processing is the controller's own request processing,
// over the registry of the sign control group, with the communities
// "administrator", "operator" (may activate messages: mask 0x800000) and
// "viewer" (mask 0). Each request runs in a kernel thread, as it does in a
// transport's receive thread.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/objects.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/snmp/agent/memory_transport.h"
#include "ntcip/snmp/agent/request.h"
#include "ntcip/snmp/agent/snmp_agent.h"
#include "ntcip/tests/agent_test_util.h"
#include "rtos_host.h"

namespace dms {

// dmsXxx.0 by its number under signControl.
inline oid_t Obj(uint32_t n) { return O("ENT.4.2.3.6." + std::to_string(n) + ".0"); }
enum : uint32_t {
    kControlMode = 1,
    kSWReset = 2,
    kActivateMessage = 3,
    kMessageTimeRemaining = 4,
    kMsgTableSource = 5,
    kMsgRequesterID = 6,
    kMsgSourceMode = 7,
    kShortPowerRecoveryMessage = 8,
    kShortPowerLossTime = 10,
    kTimeCommLoss = 13,
    kEndDurationMessage = 15,
    kMemoryMgmt = 16,
    kActivateMsgError = 17,
    kMultiSyntaxError = 18,
    kMessageCodeOfActivationError = 24,
    kActivateMessageState = 25,
};

inline std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

// Only the sign control group, so that these tests do not depend on the
// other groups of the sign subtree.
inline void build_registry()
{
    const mib_group* const groups[] = {&g_dms_control_group};
    ASSERT_EQ(1, snmp_mib_build(groups, 1));
}

inline void add_communities(CDataBase& db)
{
    db.SetString(nv::communityNameAdmin.offset, 4, "administrator", 13, db.mib_nv, 0);
    const char* users[] = {"operator", "viewer"};
    const uint32_t masks[] = {0x800000, 0};
    for (uint32_t i = 0; i < 2; ++i) {
        db.SetString(nv::communityNameUser(i).offset, 4, users[i], static_cast<uint32_t>(std::strlen(users[i])),
                     db.mib_nv, 0);
        db.SetValue(nv::communityNameAccessMask(i).offset, 4, masks[i], db.mib_nv, 0);
    }
}

// One agent and what a manager sends it.
class manager {
public:
    static constexpr uint32_t kMemory = 64 * 1024;

    void Create(const char* name = "ethernet_udp")
    {
        memory_.reset(new uint8_t[kMemory]);
        uint32_t used = 0;
        const uint8_t own[4] = {10, 0, 0, 9};
        ASSERT_EQ(0, snmp_agent_create(&agent_, name, 161, 162, own, memory_.get(), kMemory, &used, 2048,
                                       processPppPdu, snmp_v3_hook, snmp_memory_net_drv, nullptr, nullptr));
    }
    // After the kernel has stopped.
    void Destroy()
    {
        if (memory_)
            snmp_memory_transport_destroy(&agent_);
        memory_.reset();
    }

    // One request processed in the calling kernel thread; the response, or
    // one with ok false when none was sent.
    response Process(uint32_t version, const std::string& community, uint32_t pdu, const std::vector<vb>& vbs)
    {
        std::vector<uint8_t> m = request_message(version, community, pdu, vbs);
        snmp_agent_process(&agent_, m.data(), static_cast<uint32_t>(m.size()));
        std::vector<snmp_memory_message> sent = snmp_memory_transport_of(&agent_)->Take();
        EXPECT_LE(sent.size(), 1u);
        return sent.empty() ? response{} : read_response(sent[0].bytes);
    }
    // The same from the test: in a kernel thread of its own.
    response Ask(uint32_t version, const std::string& community, uint32_t pdu, const std::vector<vb>& vbs)
    {
        response r;
        EXPECT_TRUE(rtos::run_in_thread([&] { r = Process(version, community, pdu, vbs); }));
        return r;
    }
    response Get(const std::vector<vb>& vbs, const std::string& community = "administrator")
    {
        return Ask(1, community, SNMP_PDU_GET, vbs);
    }
    response Next(const std::vector<vb>& vbs, const std::string& community = "administrator")
    {
        return Ask(1, community, SNMP_PDU_GETNEXT, vbs);
    }
    response Set(const std::vector<vb>& vbs, const std::string& community = "administrator")
    {
        return Ask(1, community, SNMP_PDU_SET, vbs);
    }

    snmp_agent agent_{};

private:
    std::unique_ptr<uint8_t[]> memory_;
};

}  // namespace dms
