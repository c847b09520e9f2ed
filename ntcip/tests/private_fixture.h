// The private subtrees as a manager and the start-up script see them: a
// kernel on the manual clock with the parameter database (factory and start
// values of the sign, private and vestrel objects), the buffer pool, the
// flash file system over a boot monitor with its flash in memory, the SNMP
// engine over the registry of the private groups (with the sign control and
// message table groups, which the script and activation by number reach),
// and an agent on the memory transport whose processing is the
// controller's own. Communities: "administrator"; "config" (mask
// 0x2000000), "transfer" (0x400000), "bay" (0x1000) and "viewer" (0).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/defaults.h"
#include "database/fs/fs_system.h"
#include "database/journal.h"
#include "database/objects.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/bus/subscriber.h"
#include "frame/os/os.h"
#include "monitor_host.h"
#include "ntcip/mib/dms_control.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/snmp/agent/request.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "ntcip/tests/dms_fixture.h"
#include "rtos_host.h"

namespace priv {

// A name under the quor subtree ("2.8.0") or the vestrel subtree.
inline oid_t Quor(const std::string& tail)
{
    return O("ENT.3.11." + tail);
}
inline oid_t Vestrel(const std::string& tail)
{
    return O("ENT.3.16." + tail);
}

inline bool begins_with(const oid_t& name, const oid_t& prefix)
{
    return name.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), name.begin());
}

}  // namespace priv

class PrivateMibTest : public ::testing::Test {
protected:
    static constexpr uint32_t kStringPool = 6u << 20;

    void SetUp() override
    {
        monitor::monitor_config mon;
        mon.flash_size = 8u << 20;
        monitor::reset(mon);
        g_gpbuffer.~CGPBuffer();
        new (&g_gpbuffer) CGPBuffer();
        rtos::kernel_config c;
        c.memory_size = 12u << 20;
        rtos::kernel_start(c, [this](void* mem) {
            uint8_t* cursor = static_cast<uint8_t*>(mem);
            ASSERT_EQ(os_byte_pool_create(&pool_, "dynamic database", cursor, kStringPool), OS_SUCCESS);
            cursor += kStringPool;
            ASSERT_EQ(g_gpbuffer.Create(&cursor, GPBUFFER_POOL_SIZE), 1);
            ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
            ASSERT_EQ(os_event_create(&inbox_flags_, "inbox"), OS_SUCCESS);
        });
        db_ = std::make_unique<CDataBase>(&g_post_office);
        db_->SetStringPool(&pool_);
        db_->SetNotifyEnabled(true);
        // The values a start leaves, written past the write hooks.
        db_->SetHooksEnabled(false);
        defaults_sign_nv(*db_, 0);
        defaults_private_nv(*db_, 0);
        defaults_fdot_nv(*db_, 0);
        defaults_sign_v(*db_);
        defaults_private_v(*db_);
        defaults_global_v(*db_);
        defaults_vestrel_v(*db_);
        db_->SetHooksEnabled(true);
        {
            rtos::cpu_scope scope;
            ASSERT_EQ(file_system_media_open(), 0);
        }
        snmp_entry();
        const mib_group* const groups[] = {&g_quor_sign_group, &g_quor_comm_group,   &g_quor_status_group,
                                           &g_vestrel_group,   &g_dms_control_group, &g_dms_message_group};
        ASSERT_EQ(1, snmp_mib_build(groups, sizeof groups / sizeof groups[0]));
        snmp_mib_set_write_override(0);
        snmp_network_settings_clear();

        db_->SetString(nv::communityNameAdmin.offset, 4, "administrator", 13, db_->mib_nv, 0);
        const char* users[] = {"config", "transfer", "bay", "viewer"};
        const uint32_t masks[] = {0x2000000, 0x400000, 0x1000, 0};
        for (uint32_t i = 0; i < 4; ++i) {
            db_->SetString(nv::communityNameUser(i).offset, 4, users[i], static_cast<uint32_t>(std::strlen(users[i])),
                           db_->mib_nv, 0);
            db_->SetValue(nv::communityNameAccessMask(i).offset, 4, masks[i], db_->mib_nv, 0);
        }
        manager_.Create();
        inbox_ = std::make_unique<subscriber>(&g_post_office, &inbox_flags_, 1, nullptr);
        inbox_->Subscribe(kLetters);
        Flags();
    }

    void TearDown() override
    {
        snmp_mib_set_write_override(0);
        snmp_network_settings_clear();
        inbox_.reset();
        snmp_db_services_shutdown();
        db_.reset();
        {
            rtos::cpu_scope scope;
            g_pFileSystemDriver->MediaClose(&g_fs_media);
        }
        rtos::kernel_stop();
        manager_.Destroy();
        CDB::DestroyInstance();
        g_gpbuffer.~CGPBuffer();
        new (&g_gpbuffer) CGPBuffer();
        monitor::shutdown();
    }

    // --- requests
    response Get(const oid_t& name, const std::string& community = "administrator")
    {
        return manager_.Get({vb_null(name)}, community);
    }
    response Next(const oid_t& name, const std::string& community = "administrator")
    {
        return manager_.Next({vb_null(name)}, community);
    }
    response Set(const vb& value, const std::string& community = "administrator")
    {
        return manager_.Set({value}, community);
    }
    // The integer a GET answers, or ~0 when it answers an error.
    uint32_t GetInt(const oid_t& name)
    {
        response r = Get(name);
        return r.ok && r.error_status == 0 && r.varbinds.size() == 1 ? r.varbinds[0].integer : ~0u;
    }
    std::string GetText(const oid_t& name)
    {
        response r = Get(name);
        return r.ok && r.error_status == 0 && r.varbinds.size() == 1 ? r.varbinds[0].text : "<error>";
    }
    // The names a walk from `from` visits while they stay under `prefix`
    // (at most `limit` of them).
    std::vector<oid_t> Walk(const oid_t& from, const oid_t& prefix, uint32_t limit = 4000)
    {
        std::vector<oid_t> names;
        oid_t name = from;
        while (names.size() < limit) {
            response r = Next(name);
            if (!r.ok || r.error_status != 0 || r.varbinds.size() != 1 ||
                !priv::begins_with(r.varbinds[0].name, prefix))
                break;
            name = r.varbinds[0].name;
            names.push_back(name);
        }
        return names;
    }

    // --- the database
    uint32_t Nv(const db_object& o) { return db_->GetValue(o.offset, o.width, db_->mib_nv, 0); }
    uint32_t V(const db_object& o) { return db_->GetValue(o.offset, o.width, db_->mib_v, 0); }
    void SetNv(const db_object& o, uint32_t v)
    {
        ASSERT_EQ(DB_OK, db_->SetValue(o.offset, o.width, v, db_->mib_nv, DB_NO_VALIDATE));
    }
    void SetV(const db_object& o, uint32_t v)
    {
        ASSERT_EQ(DB_OK, db_->SetValue(o.offset, o.width, v, db_->mib_v, DB_NO_VALIDATE));
    }
    std::string Text(const db_object& o, bool nv)
    {
        uint32_t n = 0;
        const uint8_t* p = db_->GetString(o.offset, 4, nv ? db_->mib_nv : db_->mib_v, &n);
        return std::string(reinterpret_cast<const char*>(p), n);
    }
    void SetText(const db_object& o, bool nv, const std::string& s)
    {
        ASSERT_EQ(DB_OK, db_->SetString(o.offset, 4, s.data(), static_cast<uint32_t>(s.size()),
                                        nv ? db_->mib_nv : db_->mib_v, DB_NO_VALIDATE));
    }

    // Database event flags raised since the last call (and clears them).
    uint32_t Flags()
    {
        ULONG actual = 0;
        return tx_event_flags_get(&g_database_flags, 0xFFFFFFFF, TX_OR_CLEAR, &actual, TX_NO_WAIT) == TX_SUCCESS
                   ? actual
                   : 0;
    }
    // Letters published since the last call, in order.
    std::vector<uint32_t> Letters()
    {
        std::vector<uint32_t> ids;
        letter_s* l = nullptr;
        while (inbox_->Receive(&l)) {
            ids.push_back(l->key);
            inbox_->Release(l);
        }
        return ids;
    }

    static constexpr uint32_t kLetters[] = {MSG_CONFIG_LOADED,
                                            MSG_ACTIVATION_WRITTEN,
                                            MSG_SHUTOFF_TEMP_CHANGED,
                                            MSG_CHG_NV95028,
                                            MSG_CHG_NV95229,
                                            MSG_PORT_SETTINGS_CHANGED,
                                            MSG_SPECIAL_FEATURES_CHANGED,
                                            MSG_NETWORK_CONFIG_CHANGED,
                                            0};
    TX_BYTE_POOL pool_{};
    TX_EVENT_FLAGS_GROUP inbox_flags_{};
    std::unique_ptr<CDataBase> db_;
    std::unique_ptr<subscriber> inbox_;
    dms::manager manager_;
};
