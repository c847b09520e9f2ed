#include "ntcip/snmp/db/snmp_db.h"

#include <cstring>

#include "database/database.h"
#include "database/journal.h"
#include "database/objects.h"
#include "ntcip/snmp/asn1.h"
#include "ntcip/snmp/db/snmp_chap.h"
#include "ntcip/snmp/snmp_counters.h"

namespace {

static_assert(snmp_counter_offset(snmp_counter::snmpInPkts) == vol::snmpInPkts.offset);
static_assert(snmp_counter_offset(snmp_counter::snmpOutGenErrs) == vol::snmpOutGenErrs.offset);
static_assert(snmp_counter_offset(snmp_counter::snmpOutTraps) == vol::snmpOutTraps.offset);

snmp_activation_check g_activation_check = nullptr;

uint32_t get_value(const db_object& o, bool nv)
{
    CDataBase* db = g_pDataBase;
    return db ? db->GetValue(o.offset, o.width, nv ? db->mib_nv : db->mib_v, 0) : 0;
}

void set_value(const db_object& o, bool nv, uint32_t value)
{
    if (CDataBase* db = g_pDataBase)
        db->SetValue(o.offset, o.width, value, nv ? db->mib_nv : db->mib_v, DB_NOTIFY);
}

// The counters are the database's volatile objects, where a GET reads
// them. Counted on every request, they are stored plainly: no write hook and
// no change notice, which nothing waits for. Their read-add-write takes no
// lock, as every other database write.
uint32_t counter_get(snmp_counter c)
{
    CDataBase* db = g_pDataBase;
    return db ? db->GetValue(snmp_counter_offset(c), 4, db->mib_v, 0) : 0;
}

void counter_set(snmp_counter c, uint32_t value)
{
    if (CDataBase* db = g_pDataBase)
        db->SetValue(snmp_counter_offset(c), 4, value, db->mib_v, DB_NO_VALIDATE);
}

const snmp_counter_store kDatabaseCounters = {counter_get, counter_set};

bool name_matches(const db_object& o, const char* community, size_t length)
{
    uint32_t stored = 0;
    const uint8_t* bytes = g_pDataBase->GetString(o.offset, o.width, g_pDataBase->mib_nv, &stored);
    return stored != 0 && stored == length && std::memcmp(bytes, community, length) == 0;
}

int community_search(const char* community, uint32_t* mask, uint32_t admin_mask)
{
    if (!community || !mask || !g_pDataBase)
        return SNMP_COMMUNITY_UNKNOWN;
    size_t length = std::strlen(community);
    if (name_matches(nv::communityNameAdmin, community, length)) {
        *mask = admin_mask;
        return SNMP_COMMUNITY_ADMIN;
    }
    for (uint32_t i = 0; i < SNMP_COMMUNITY_USERS; ++i) {
        if (name_matches(nv::communityNameUser(i), community, length)) {
            *mask = get_value(nv::communityNameAccessMask(i), true);
            return SNMP_COMMUNITY_USER;
        }
    }
    return SNMP_COMMUNITY_UNKNOWN;
}

bool tolerant_query() { return special_feature_bit5_enabled(); }

}  // namespace

void snmp_db_services_init()
{
    snmp_counter_set_store(&kDatabaseCounters);
    g_asn1_set_tolerant_query(tolerant_query);
    chap_reset_identifier();
}

void snmp_db_services_shutdown()
{
    snmp_counter_set_store(nullptr);
    g_asn1_set_tolerant_query(nullptr);
}

int snmp_community_access_mask(const char* community, uint32_t* mask)
{
    return community_search(community, mask, 0xFFFFFFFF);
}

int snmp_community_lookup(const char* community, uint32_t* mask) { return community_search(community, mask, 0); }

uint8_t snmp_get_control_mode() { return static_cast<uint8_t>(get_value(vol::dmsControlMode, false)); }

void snmp_inc_counter_25280()
{
    set_value(vol::quorBadCommunityCount, false, get_value(vol::quorBadCommunityCount, false) + 1);
}

void snmp_clear_counter_25280() { set_value(vol::quorBadCommunityCount, false, 0); }

void snmp_set_activation_check(snmp_activation_check check) { g_activation_check = check; }

void snmp_activation_refused(const uint8_t* code, uint32_t length)
{
    CDataBase* db = g_pDataBase;
    if (!db)
        return;
    if (!code)
        length = 0;
    uint32_t result = g_activation_check ? g_activation_check(code, length) : 1;
    uint32_t error = 0;
    if (result >= 4 && result <= 7) {
        error = result;  // the table's own reason
    } else {
        switch (snmp_get_control_mode()) {
        case 4:
            error = 10;  // centralMode
            break;
        case 5:
            error = 11;  // centralOverrideMode
            break;
        default:
            error = 9;  // localMode
            break;
        }
    }
    set_value(nv::dmsActivateMsgError, true, error);
    set_value(vol::shortErrorStatus, false, get_value(vol::shortErrorStatus, false) | 0x80);
    const db_object& o = vol::dmsMessageCodeOfActivationError;
    db->SetString(o.offset, o.width, code, length > 12 ? 12 : length, db->mib_v, DB_NOTIFY);
}

bool special_feature_bit5_enabled()
{
    return (get_value(nv::quorSpecialFeatureSet, true) & SNMP_FEATURE_TOLERANT) != 0;
}

void special_feature_bit5_set(uint32_t on)
{
    CDataBase* db = g_pDataBase;
    if (!db)
        return;
    uint32_t features = get_value(nv::quorSpecialFeatureSet, true);
    if (!on) {
        set_value(nv::quorSpecialFeatureSet, true, features & ~SNMP_FEATURE_TOLERANT);
        return;
    }
    if (features & SNMP_FEATURE_TOLERANT)
        return;
    set_value(nv::quorSpecialFeatureSet, true, features | SNMP_FEATURE_TOLERANT);
    // The managers that need the tolerant mode keep the sign on local time.
    uint32_t local = get_value(vol::controllerLocalTime, false);
    db->SetTimeValue(nv::globalTime.offset, nv::globalTime.width, local, db->mib_nv, DB_NOTIFY | DB_GLOBAL_TIME);
    set_value(nv::controllerStandardTimeZone, true, 0);
}

uint32_t snmp_db_fill_percent(CDataBase* db)
{
    CDB* journal = db ? dynamic_cast<CDB*>(db->m_pJournal) : nullptr;
    return journal ? journal->FillPercent() : 0;
}
