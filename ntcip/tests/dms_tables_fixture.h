// The sign's tables as a manager sees them: the display task of the small
// test sign (7 x 15, font 1 with "A", "B", "C") with its message-table
// service, and an agent on the memory transport whose processing is the
// controller's own, over the registry of the message table, sign
// configuration, font and MULTI configuration groups. Each request runs in a
// kernel thread, as in a transport's receive thread.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "display/activation/display_services.h"
#include "database/defaults.h"
#include "display/tests/activation_fixture.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/snmp/agent/memory_transport.h"
#include "ntcip/snmp/agent/request.h"
#include "ntcip/snmp/agent/snmp_agent.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "ntcip/tests/agent_test_util.h"

namespace tables {

// dmsMessageTable column c of memory type t, number n.
inline oid_t Msg(uint32_t c, uint32_t t, uint32_t n)
{
    return O("ENT.4.2.3.5.8.1." + std::to_string(c) + "." + std::to_string(t) + "." + std::to_string(n));
}
enum : uint32_t { kType = 1, kNumber, kMulti, kOwner, kCrc, kBeacon, kPixel, kPriority, kStatus };
// A scalar of the sign subtree: "5.2" is dmsNumChangeableMsg.0.
inline oid_t Dms(const std::string& node) { return O("ENT.4.2.3." + node + ".0"); }

}  // namespace tables

class DmsTablesTest : public ActivationTest {
protected:
    static constexpr uint32_t kMemory = 64 * 1024;

    void SetUp() override
    {
        ActivationTest::SetUp();
        ASSERT_EQ(tx_mutex_create(&g_snmp_protect_mutex, const_cast<char*>("SNMP PROTECT MUTEX"), TX_NO_INHERIT),
                  TX_SUCCESS);
        snmp_db_services_init();
        const mib_group* const groups[] = {&g_dms_message_group, &g_dms_sign_config_group, &g_dms_font_group,
                                           &g_dms_multi_config_group};
        ASSERT_EQ(1, snmp_mib_build(groups, 4));
        db_->SetString(nv::communityNameAdmin.offset, 4, "administrator", 13, db_->mib_nv, 0);
        const char* users[] = {"editor", "viewer"};
        const uint32_t masks[] = {0x400000, 0x800000};
        for (uint32_t i = 0; i < 2; ++i) {
            db_->SetString(nv::communityNameUser(i).offset, 4, users[i], 6, db_->mib_nv, 0);
            db_->SetValue(nv::communityNameAccessMask(i).offset, 4, masks[i], db_->mib_nv, 0);
        }
        // The tables as a start leaves them: every message row unused, the
        // built-in messages valid, the volatile start values.
        db_->SetHooksEnabled(false);
        defaults_sign_v(*db_);
        for (uint32_t r = 0; r < MSG_MAIN_ROWS; ++r)
            WriteRow(msg_main_row(r), "", MSG_STATUS_NOT_USED, 0, 1, 0, 0, "");
        db_->SetHooksEnabled(true);
        snmp_display_services services{};
        services.process_message_table = display_process_message_table;
        snmp_set_display_services(&services);

        memory_.reset(new uint8_t[kMemory]);
        uint32_t used = 0;
        const uint8_t own[4] = {10, 0, 0, 9};
        ASSERT_EQ(0, snmp_agent_create(&agent_, "ethernet_udp", 161, 162, own, memory_.get(), kMemory, &used, 2048,
                                       processPppPdu, snmp_v3_hook, snmp_memory_net_drv, nullptr, nullptr));
        TakeFlags();
    }

    void TearDown() override
    {
        snmp_set_display_services(nullptr);
        snmp_db_services_shutdown();
        ActivationTest::TearDown();
        snmp_memory_transport_destroy(&agent_);
    }

    // One request, processed in a kernel thread of its own.
    response Ask(uint32_t pdu, const std::vector<vb>& vbs, const std::string& community = "administrator")
    {
        std::vector<uint8_t> m = request_message(1, community, pdu, vbs);
        response r;
        EXPECT_TRUE(rtos::run_in_thread([&] {
            snmp_agent_process(&agent_, m.data(), static_cast<uint32_t>(m.size()));
            std::vector<snmp_memory_message> sent = snmp_memory_transport_of(&agent_)->Take();
            EXPECT_LE(sent.size(), 1u);
            if (!sent.empty())
                r = read_response(sent[0].bytes);
        }));
        return r;
    }
    response Get(const std::vector<vb>& vbs) { return Ask(SNMP_PDU_GET, vbs); }
    response Next(const std::vector<vb>& vbs) { return Ask(SNMP_PDU_GETNEXT, vbs); }
    response Set(const std::vector<vb>& vbs, const std::string& community = "administrator")
    {
        return Ask(SNMP_PDU_SET, vbs, community);
    }
    // The integer a GET answers, or ~0 when it answers an error.
    uint32_t GetInt(const oid_t& name)
    {
        response r = Get({vb_null(name)});
        return r.ok && r.error_status == 0 && r.varbinds.size() == 1 ? r.varbinds[0].integer : ~0u;
    }
    std::string GetText(const oid_t& name)
    {
        response r = Get({vb_null(name)});
        return r.ok && r.error_status == 0 && r.varbinds.size() == 1 ? r.varbinds[0].text : "<error>";
    }

    snmp_agent agent_{};
    std::unique_ptr<uint8_t[]> memory_;
};
