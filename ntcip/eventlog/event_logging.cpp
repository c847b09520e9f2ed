#include "ntcip/eventlog/event_logging.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/letter.h"
#include "frame/trace/trace.h"
#include "frame/util/crc16.h"
#include "ntcip/eventlog/event_value.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/snmp/local/snmp_local.h"
#include "ntcip/snmp/trap/snmp_trap.h"

CEventLogging g_event_logging;

namespace {

constexpr event_deferred_oid deferred(std::initializer_list<uint32_t> subids)
{
    event_deferred_oid d{};
    for (uint32_t s : subids)
        d.subids[d.length++] = s;
    return d;
}

#define ENT 1, 3, 6, 1, 4, 1, 1206
// Objects that read nothing sensible until the peripherals have been polled
// for a while after a start: a configuration watching one of them is not
// evaluated during the start-up countdown.
const event_deferred_oid kDeferred[] = {
    deferred({ENT, 4, 2, 3, 9, 6, 0}),     // dmsStatDoorOpen
    deferred({ENT, 4, 2, 3, 9, 9, 1, 0}),  // tempMinCtrlCabinet
    deferred({ENT, 4, 2, 3, 9, 9, 2, 0}),  // tempMaxCtrlCabinet
    deferred({ENT, 4, 2, 3, 9, 9, 3, 0}),  // tempMinAmbient
    deferred({ENT, 4, 2, 3, 9, 9, 4, 0}),  // tempMaxAmbient
    deferred({ENT, 4, 2, 3, 9, 9, 5, 0}),  // tempMinSignHousing
    deferred({ENT, 4, 2, 3, 9, 9, 6, 0}),  // tempMaxSignHousing
    deferred({ENT, 3, 11, 5, 7, 0}),       // quorSignHumidity
    deferred({ENT, 3, 11, 5, 8, 0}),       // quorAmbientHumidity
    deferred({ENT, 3, 11, 5, 9, 0}),       // quorCabinetHumidity
    deferred({ENT, 3, 6, 11, 1, 0}),       // the first fdot scalar
    deferred({ENT, 3, 35, 2, 0}),          // quorNvdot2
    deferred({ENT, 3, 35, 4, 0}),          // quorNvdot4
};
constexpr uint32_t kSysLocation[] = {1, 3, 6, 1, 2, 1, 1, 6, 0};
constexpr uint32_t kGlobalTime[] = {ENT, 4, 2, 6, 3, 1, 0};
#undef ENT

// An OID of two sub-identifiers or fewer names no object.
constexpr uint32_t kMinOidBytes = 12;

CEventLogging::comm_loss_query g_comm_loss = nullptr;

uint32_t nv_get(CDataBase* db, const db_object& o) { return db->GetValue(o.offset, o.width, db->mib_nv, 0); }
uint32_t v_get(CDataBase* db, const db_object& o) { return db->GetValue(o.offset, o.width, db->mib_v, 0); }
void nv_set(CDataBase* db, const db_object& o, uint32_t value)
{
    db->SetValue(o.offset, o.width, value, db->mib_nv, DB_NOTIFY);
}
void v_set(CDataBase* db, const db_object& o, uint32_t value)
{
    db->SetValue(o.offset, o.width, value, db->mib_v, DB_NOTIFY);
}
const uint8_t* nv_string(CDataBase* db, const db_object& o, uint32_t* length)
{
    *length = 0;
    const uint8_t* p = db->GetString(o.offset, o.width, db->mib_nv, length);
    if (!p)
        *length = 0;
    return p;
}

uint32_t now(CDataBase* db) { return db->GetTimeValue(nv::globalTime.offset, 4, db->mib_nv, DB_GLOBAL_TIME); }

uint32_t entry(uint32_t c, uint32_t k) { return EVENT_CLASS_ENTRIES * c + k; }

// The registry's answer for a stored OID; false when it names nothing served.
bool read_object(const uint8_t* oid, uint32_t length, snmp_local_value* value)
{
    if (!oid || length < kMinOidBytes || length / 4 > MIB_MAX_OID)
        return false;
    uint32_t name[MIB_MAX_OID];
    uint32_t count = bytes_to_oid(name, MIB_MAX_OID, oid, length);
    return snmp_local_get_oid(name, count, value) == 1;
}

uint16_t crc_of(const uint8_t* bytes, uint32_t length)
{
    crc16_state state{};
    uint16_t result = 0;
    crc16_begin(&state, 0xFFFF);
    if (bytes && length)
        crc16_update(&state, bytes, length);
    crc16_result(&state, &result, CRC16_COMPLEMENT | CRC16_SWAP);
    crc16_end(&state);
    return result;
}

const char* failure_text(uint8_t mode)
{
    switch (mode) {
    case EVENT_MODE_ON_CHANGE:
        return "CEventLoggging::Process: on change, failed to get value\n";
    case EVENT_MODE_GREATER:
        return "CEventLogging::Process: > value, failed to get value\n";
    case EVENT_MODE_HYSTERESIS:
        return "CEventLogging::Process: hysteresis bound, failed to get value\n";
    default:
        return "CEventLogging::Process: < value, failed to get value\n";
    }
}

}  // namespace

CEventLogging::CEventLogging() : m_byCountdown(EVENT_STARTUP_COUNTDOWN)
{
    for (event_config_state& s : m_State)
        s = {0, 0, 0, 1};
}

void CEventLogging::SetCommLossQuery(comm_loss_query query) { g_comm_loss = query; }

void CEventLogging::Update()
{
    Process();
    CheckNearlyFull();
}

bool CEventLogging::HandleLetter(uint32_t id)
{
    if (id >= MSG_EVENT_CLASS_CLEAR_TIME && id < MSG_EVENT_CLASS_CLEAR_TIME + EVENT_CLASSES) {
        ClearByTime(static_cast<uint8_t>(id - MSG_EVENT_CLASS_CLEAR_TIME));
        return true;
    }
    if (id == MSG_EVENT_CLASS_LIMIT) {
        TrimToLimits();
        return true;
    }
    return false;
}

bool CEventLogging::MatchesOid(const uint8_t* oid, uint32_t length, const event_deferred_oid& row)
{
    if (!oid || length != 4 * row.length)
        return false;
    uint32_t name[16];
    bytes_to_oid(name, 16, oid, length);
    return std::equal(row.subids, row.subids + row.length, name);
}

bool CEventLogging::Deferred(const uint8_t* oid, uint32_t length) const
{
    for (const event_deferred_oid& row : kDeferred)
        if (MatchesOid(oid, length, row))
            return true;
    return false;
}

uint32_t CEventLogging::GetValue(const uint8_t* oid, uint32_t length, bool* failed)
{
    *failed = true;
    snmp_local_value v{};
    if (!read_object(oid, length, &v))
        return 0;
    switch (v.syntax) {
    case MIB_INTEGER:
    case MIB_COUNTER:
    case MIB_GAUGE:
    case MIB_TIMETICKS:
        *failed = false;
        return static_cast<uint32_t>(v.cell);
    case MIB_OCTET_STRING:
    case MIB_OBJECT_ID:
    case MIB_OPAQUE:
        *failed = false;
        return crc_of(reinterpret_cast<const uint8_t*>(v.cell), v.length);
    case MIB_IPADDRESS: {
        // Addresses are answered as a number, most significant byte first.
        uint32_t a = static_cast<uint32_t>(v.cell);
        const uint8_t bytes[4] = {uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
        *failed = false;
        return crc_of(bytes, 4);
    }
    default:
        monitor_printf("processPppPDU: type error\n");
        return 0;
    }
}

void CEventLogging::Process()
{
    CDataBase* db = g_pDataBase;
    if (m_byCountdown > 0)
        --m_byCountdown;
    if (!db)
        return;
    const uint32_t time = now(db);
    for (uint16_t i = 0; i < EVENT_CONFIGS; ++i) {
        if (nv_get(db, nv::eventConfigAction(i)) != EVENT_ACTION_LOG)
            continue;
        if (m_byCountdown > 0) {
            uint32_t length = 0;
            const uint8_t* oid = nv_string(db, nv::eventConfigCompareOID(i), &length);
            if (Deferred(oid, length))
                continue;
        }
        uint32_t mode = nv_get(db, nv::eventConfigMode(i));
        if (mode <= EVENT_MODE_OTHER || mode > EVENT_MODE_AND)
            continue;
        Evaluate(i, static_cast<uint8_t>(mode), time);
    }
}

void CEventLogging::Accumulate(event_config_state& s, uint32_t time)
{
    // A clock set back adds nothing rather than wrapping to a huge duration.
    if (s.time_stamp != 0 && time > s.time_stamp)
        s.accumulated += time - s.time_stamp;
    s.time_stamp = time;
}

void CEventLogging::Evaluate(uint16_t i, uint8_t mode, uint32_t time)
{
    CDataBase* db = g_pDataBase;
    event_config_state& s = m_State[i];
    const uint32_t cv1 = nv_get(db, nv::eventConfigCompareValue(i));
    const uint32_t cv2 = nv_get(db, nv::eventConfigCompareValue2(i));

    if (mode == EVENT_MODE_PERIODIC) {
        Accumulate(s, time);
        if (s.accumulated >= cv1) {
            Log(i);
            s.accumulated = 0;
        }
        return;
    }

    uint32_t length = 0;
    const uint8_t* oid = nv_string(db, nv::eventConfigCompareOID(i), &length);
    bool failed = true;
    const uint32_t v = GetValue(oid, length, &failed);
    if (failed) {
        monitor_printf_debug("%s", failure_text(mode));
        return;
    }
    const int32_t sv = static_cast<int32_t>(v);
    const int32_t s1 = static_cast<int32_t>(cv1);
    const int32_t s2 = static_cast<int32_t>(cv2);

    switch (mode) {
    case EVENT_MODE_ON_CHANGE:
        if (s.armed) {
            monitor_printf_debug("dwPrior:%d, dwValue:%d\n", static_cast<int>(s.prior), static_cast<int>(v));
            s.prior = v;
            s.armed = 0;
        } else if (v != s.prior) {
            Log(i);
            s.prior = v;
        }
        break;
    case EVENT_MODE_GREATER:
    case EVENT_MODE_SMALLER:
    case EVENT_MODE_AND: {
        bool holds = mode == EVENT_MODE_GREATER ? sv > s1 : mode == EVENT_MODE_SMALLER ? sv < s1 : (v & cv1) != 0;
        if (!holds) {
            s.armed = 1;
            s.accumulated = 0;
            s.time_stamp = 0;
            break;
        }
        Accumulate(s, time);
        // The duration is in tenths of a second, counted in whole seconds.
        if (s.accumulated < static_cast<uint32_t>(s2 / 10))
            break;
        if (s.armed) {
            Log(i);
            s.armed = 0;
        }
        break;
    }
    case EVENT_MODE_HYSTERESIS: {
        const int32_t low = std::min(s1, s2), high = std::max(s1, s2);
        if (sv < low || sv > high) {
            if (s.armed) {
                Log(i);
                s.armed = 0;
            }
        } else {
            s.armed = 1;
        }
        break;
    }
    default:
        break;
    }
}

void CEventLogging::Log(uint16_t i)
{
    CDataBase* db = g_pDataBase;
    if (!db || i >= EVENT_CONFIGS)
        return;
    if (g_comm_loss && g_comm_loss()) {
        monitor_printf_debug("CEventLogging::Log: Logging Disabled by fdotDmsMaxPollTime\n");
        return;
    }
    const uint32_t cls = nv_get(db, nv::eventConfigClass(i));
    // An entry outside the class's 255 would land in another class.
    if (cls < 1 || cls > EVENT_CLASSES) {
        monitor_printf("CEventLogging::Log: no class %u, event %u dropped\n", cls, i + 1u);
        return;
    }
    const uint8_t c = static_cast<uint8_t>(cls - 1);
    if (nv_get(db, nv::eventClassLimit(c)) == 0) {
        monitor_printf("CEventLogging::Log: class %u keeps no entries, event %u dropped\n", cls, i + 1u);
        return;
    }

    uint32_t length = 0;
    const uint8_t* oid = nv_string(db, nv::eventConfigLogOID(i), &length);
    snmp_local_value value{};
    if (!read_object(oid, length, &value)) {
        monitor_printf("CEventLogging::Log: noSuchObject\n");
        return;
    }
    uint8_t encoded[EVENT_VALUE_BUFFER];
    uint32_t encoded_length = 0;
    if (!event_value_writer(value.syntax, value.cell, value.length, encoded, &encoded_length)) {
        monitor_printf_debug("CEventLogging::Log - Unhandled Type:%d", value.syntax);
        encoded_length = 0;
    }

    const uint8_t k = AllocateEntry(c);
    monitor_printf_debug("CEventLogging::Log:[byClass:%d][byNumber:%d]\n", c, k);
    const uint32_t n = entry(c, k);
    const uint32_t time = now(db);
    nv_set(db, nv::eventLogID(n), i + 1u);
    nv_set(db, nv::eventLogTime(n), time);
    const db_object o = nv::eventLogValue(n);
    db->SetString(o.offset, o.width, encoded, encoded_length, db->mib_nv, DB_NOTIFY);

    v_set(db, vol::eventClassNumEvents(c), (v_get(db, vol::eventClassNumEvents(c)) + 1) & 0xFFFF);
    v_set(db, vol::numEvents, (v_get(db, vol::numEvents) + 1) & 0xFFFF);
}

void CEventLogging::ClearEntry(uint32_t n, uint16_t id)
{
    CDataBase* db = g_pDataBase;
    uint32_t length = 0;
    nv_string(db, nv::eventLogValue(n), &length);
    if (nv_get(db, nv::eventLogID(n)) != id)
        nv_set(db, nv::eventLogID(n), id);
    if (nv_get(db, nv::eventLogTime(n)) != 0)
        nv_set(db, nv::eventLogTime(n), 0);
    if (length != 0) {
        const db_object o = nv::eventLogValue(n);
        db->SetString(o.offset, o.width, nullptr, 0, db->mib_nv, DB_NOTIFY);
    }
}

uint8_t CEventLogging::AllocateEntry(uint8_t c)
{
    CDataBase* db = g_pDataBase;
    if (!db || c >= EVENT_CLASSES)
        return 0;
    const uint32_t rows = nv_get(db, nv::eventClassNumRowsInLog(c));
    const uint32_t limit = nv_get(db, nv::eventClassLimit(c));
    if (limit == 0)
        return 0;
    if (rows >= limit) {
        // Full: the oldest entry gives its place to the new one.
        ClearEntry(entry(c, 0), 1);
        CompactClass(c);
        return static_cast<uint8_t>(limit - 1);
    }
    for (uint32_t k = 0; k < limit; ++k) {
        if (nv_get(db, nv::eventLogTime(entry(c, k))) == 0) {
            nv_set(db, nv::eventClassNumRowsInLog(c), rows + 1);
            return static_cast<uint8_t>(k);
        }
    }
    return 0;
}

void CEventLogging::CompactClass(uint8_t c)
{
    CDataBase* db = g_pDataBase;
    if (!db || c >= EVENT_CLASSES || nv_get(db, nv::eventLogTime(entry(c, 0))) != 0)
        return;
    uint32_t used = 0;
    for (uint32_t k = 0; k < EVENT_CLASS_ENTRIES; ++k) {
        const uint32_t from = entry(c, k);
        const uint32_t time = nv_get(db, nv::eventLogTime(from));
        if (time == 0)
            continue;
        const uint32_t to = entry(c, used++);
        if (to == from)
            continue;
        nv_set(db, nv::eventLogID(to), nv_get(db, nv::eventLogID(from)));
        nv_set(db, nv::eventLogTime(to), time);
        // The source block stays as it is while the destination gets a new one.
        uint32_t length = 0;
        const uint8_t* bytes = nv_string(db, nv::eventLogValue(from), &length);
        const db_object o = nv::eventLogValue(to);
        db->SetString(o.offset, o.width, bytes, length, db->mib_nv, DB_NOTIFY);
    }
    for (uint32_t k = used; k < EVENT_CLASS_ENTRIES; ++k)
        ClearEntry(entry(c, k), 0);
}

void CEventLogging::ClearByTime(uint8_t c)
{
    CDataBase* db = g_pDataBase;
    if (!db || c >= EVENT_CLASSES)
        return;
    const uint32_t clear = nv_get(db, nv::eventClassClearTime(c));
    uint32_t rows = nv_get(db, nv::eventClassNumRowsInLog(c));
    for (uint32_t k = 0; k < EVENT_CLASS_ENTRIES; ++k) {
        const uint32_t time = nv_get(db, nv::eventLogTime(entry(c, k)));
        if (time != 0 && time <= clear) {
            ClearEntry(entry(c, k), 0);
            if (rows > 0)
                --rows;
        }
    }
    nv_set(db, nv::eventClassNumRowsInLog(c), rows);
    CompactClass(c);
}

void CEventLogging::TrimToLimits()
{
    CDataBase* db = g_pDataBase;
    if (!db)
        return;
    for (uint8_t c = 0; c < EVENT_CLASSES; ++c) {
        const uint32_t rows = nv_get(db, nv::eventClassNumRowsInLog(c));
        const uint32_t limit = nv_get(db, nv::eventClassLimit(c));
        if (rows <= limit)
            continue;
        for (uint32_t k = 0; k < rows - limit && k < EVENT_CLASS_ENTRIES; ++k)
            ClearEntry(entry(c, k), 0);
        CompactClass(c);
        nv_set(db, nv::eventClassNumRowsInLog(c), limit);
    }
}

void CEventLogging::CheckNearlyFull()
{
    CDataBase* db = g_pDataBase;
    if (!db)
        return;
    const uint32_t classes = std::min<uint32_t>(v_get(db, vol::maxEventClasses), EVENT_CLASSES);
    bool nearly = false;
    for (uint32_t c = 0; c < classes && !nearly; ++c) {
        const uint32_t limit = nv_get(db, nv::eventClassLimit(c));
        nearly = limit != 0 && nv_get(db, nv::eventClassNumRowsInLog(c)) >= limit * 90 / 100;
    }
    const uint32_t sent = v_get(db, vol::eventLogNearlyFullSent);
    if (nearly && sent == 0) {
        v_set(db, vol::eventLogNearlyFullSent, 1);
        uint32_t length = 0;
        const uint8_t* location = nv_string(db, nv::sysLocation, &length);
        const uint32_t time = now(db);
        snmp_trap_varbind varbinds[2] = {};
        std::memcpy(varbinds[0].name, kSysLocation, sizeof kSysLocation);
        varbinds[0].name_length = sizeof kSysLocation / sizeof kSysLocation[0];
        varbinds[0].syntax = SNMP_OCTET_STRING;
        varbinds[0].value_length = location ? length : 0;
        varbinds[0].value = location;
        std::memcpy(varbinds[1].name, kGlobalTime, sizeof kGlobalTime);
        varbinds[1].name_length = sizeof kGlobalTime / sizeof kGlobalTime[0];
        varbinds[1].syntax = SNMP_COUNTER;
        varbinds[1].value_length = 4;
        varbinds[1].value = reinterpret_cast<const uint8_t*>(&time);
        snmp_raise_trap(TRAP_ENTERPRISE, EVENT_TRAP_NEARLY_FULL, 2, varbinds);
    } else if (!nearly && sent == 1) {
        v_set(db, vol::eventLogNearlyFullSent, 0);
    }
}
