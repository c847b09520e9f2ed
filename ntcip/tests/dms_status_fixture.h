// The sign's illumination, status and graphic objects as a manager sees
// them: the display task of the small test sign (7 x 15) and an agent on the
// memory transport over the registry of the illumination, error-status,
// power and temperature, and graphic groups. The display's message- and
// graphic-table services are installed, as start-up installs them; the
// communities are those of the tables fixture ("viewer" lacks the write
// masks of these groups).
#pragma once

#include <string>
#include <vector>

#include "display/tables/graphic_table.h"
#include "ntcip/mib/dms_power_temp.h"
#include "ntcip/tests/dms_tables_fixture.h"

namespace status {

// A name under the sign subtree: Dms("7.1.0") is dmsIllumControl.0.
inline oid_t Dms(const std::string& tail) { return O("ENT.4.2.3." + tail); }
inline std::string Ix(uint32_t i) { return std::to_string(i); }

}  // namespace status

class DmsStatusTest : public DmsTablesTest {
protected:
    void SetUp() override
    {
        DmsTablesTest::SetUp();
        const mib_group* const groups[] = {&g_dms_illum_group, &g_dms_error_status_group, &g_dms_power_temp_group,
                                           &g_dms_graphic_group};
        ASSERT_EQ(1, snmp_mib_build(groups, 4));
        snmp_display_services services{};
        services.process_message_table = display_process_message_table;
        services.process_graphic_table = display_process_graphic_table;
        snmp_set_display_services(&services);
        snmp_set_peripheral_presence(nullptr);
        // Every graphic row as the factory leaves it: not used.
        db_->SetHooksEnabled(false);
        for (uint32_t g = 0; g < GRAPHIC_ROWS; ++g)
            SetNv(nv::dmsGraphicStatus(g), GRAPHIC_NOT_USED);
        db_->SetHooksEnabled(true);
        TakeFlags();
    }
    void TearDown() override
    {
        snmp_set_peripheral_presence(nullptr);
        DmsTablesTest::TearDown();
    }

    // The raw response of one request, for checks of the encoding itself.
    std::vector<uint8_t> Raw(uint32_t pdu, const std::vector<vb>& vbs)
    {
        std::vector<uint8_t> m = request_message(1, "administrator", pdu, vbs);
        std::vector<uint8_t> out;
        EXPECT_TRUE(rtos::run_in_thread([&] {
            snmp_agent_process(&agent_, m.data(), static_cast<uint32_t>(m.size()));
            std::vector<snmp_memory_message> sent = snmp_memory_transport_of(&agent_)->Take();
            if (!sent.empty())
                out = sent[0].bytes;
        }));
        return out;
    }

    // The error status of a GET (0 when it answered).
    uint32_t GetStatus(const oid_t& name)
    {
        response r = Get({vb_null(name)});
        return r.ok ? r.error_status : ~0u;
    }

    // The names a walk visits from `start` while they stay under `prefix`,
    // at most `limit` of them.
    std::vector<std::string> Walk(const oid_t& start, const oid_t& prefix, uint32_t limit = 2000)
    {
        std::vector<std::string> names;
        oid_t at = start;
        for (uint32_t i = 0; i < limit; ++i) {
            response r = Next({vb_null(at)});
            if (!r.ok || r.error_status != 0 || r.varbinds.size() != 1)
                break;
            const oid_t& n = r.varbinds[0].name;
            if (n.size() < prefix.size() || !std::equal(prefix.begin(), prefix.end(), n.begin()))
                break;
            names.push_back(dotted(oid_t(n.begin() + prefix.size(), n.end())));
            at = n;
        }
        return names;
    }

    // The name and answer of one get-next.
    vb NextOf(const oid_t& name)
    {
        response r = Next({vb_null(name)});
        return r.ok && r.error_status == 0 && r.varbinds.size() == 1 ? r.varbinds[0] : vb{};
    }

    // Lets the display task take a few steps (its first comes at kFirstStep).
    void Steps(uint32_t n = 3)
    {
        const uint32_t now = tx_time_get();
        const uint32_t target = (now > kFirstStep ? now : kFirstStep) + 10 * n;
        rtos::advance(target - now);
    }

    std::string NvString(db_object o)
    {
        Bytes b = NvBytes(o);
        return std::string(b.begin(), b.end());
    }
    void SetVolBytes(db_object o, const std::string& bytes)
    {
        db_->SetString(o.offset, 4, bytes.data(), static_cast<uint32_t>(bytes.size()), db_->mib_v, DB_NO_VALIDATE);
    }
};
