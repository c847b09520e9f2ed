#include "ntcip/snmp/trap/trap_buffer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "frame/peripheral/peripheral_trap.h"
#include "tx_api.h"

// The peripherals hand their bindings over in this layout.
static_assert(sizeof(snmp_trap_varbind) == sizeof(peripheral_trap_binding));
static_assert(offsetof(snmp_trap_varbind, name_length) == offsetof(peripheral_trap_binding, oid_length));
static_assert(offsetof(snmp_trap_varbind, syntax) == offsetof(peripheral_trap_binding, type));
static_assert(offsetof(snmp_trap_varbind, value_length) == offsetof(peripheral_trap_binding, length));
static_assert(offsetof(snmp_trap_varbind, value) == offsetof(peripheral_trap_binding, value));

CTrapBuffer g_trap_buffer;

namespace {

// Holds off interrupts and other threads for a few copies.
class critical_section {
public:
    critical_section() : m_uPosture(tx_interrupt_control(TX_INT_DISABLE)) {}
    ~critical_section() { tx_interrupt_control(m_uPosture); }
    critical_section(const critical_section&) = delete;
    critical_section& operator=(const critical_section&) = delete;

private:
    UINT m_uPosture;
};

uint32_t next(uint32_t index) { return index + 1 < TRAP_BUFFER_RECORDS ? index + 1 : 0; }

// One varbind into a record's slot k.
void copy_varbind(trap_record* to, uint32_t k, const snmp_trap_varbind& from)
{
    snmp_trap_varbind& v = to->varbinds[k];
    uint32_t n = std::min(from.name_length, TRAP_MAX_SUBIDS);
    std::memset(v.name, 0, sizeof v.name);
    std::memcpy(v.name, from.name, n * sizeof(uint32_t));
    v.name_length = n;
    v.syntax = from.syntax;
    uint8_t* slot = to->values[k];
    std::memset(slot, 0, TRAP_VALUE_BYTES);
    uint32_t length = from.value ? std::min(from.value_length, TRAP_VALUE_BYTES) : 0;
    // The source may be this very slot (a record copied onto itself).
    if (length && from.value != slot)
        std::memmove(slot, from.value, length);
    v.value_length = length;
    v.value = slot;
}

}  // namespace

void trap_record_copy(trap_record* to, const trap_record* from)
{
    if (to == from)
        return;
    uint32_t count = std::min(from->varbind_count, TRAP_MAX_VARBINDS);
    to->generic_trap = from->generic_trap;
    to->specific_trap = from->specific_trap;
    to->varbind_count = count;
    to->time_stamp = from->time_stamp;
    for (uint32_t k = 0; k < count; ++k)
        copy_varbind(to, k, from->varbinds[k]);
    for (uint32_t k = count; k < TRAP_MAX_VARBINDS; ++k) {
        std::memset(&to->varbinds[k], 0, sizeof to->varbinds[k]);
        std::memset(to->values[k], 0, TRAP_VALUE_BYTES);
    }
}

CTrapBuffer::CTrapBuffer() : m_uHead(0), m_uCount(0), m_uTail(0)
{
    std::memset(m_Records, 0, sizeof m_Records);
}

void CTrapBuffer::BuildRecord(trap_record* record, uint32_t generic, uint32_t specific, uint32_t count,
                              const snmp_trap_varbind* varbinds, uint32_t time_stamp)
{
    if (!record)
        return;
    std::memset(record, 0, sizeof *record);
    record->generic_trap = generic;
    record->specific_trap = specific;
    record->time_stamp = time_stamp;
    record->varbind_count = varbinds ? std::min(count, TRAP_MAX_VARBINDS) : 0;
    for (uint32_t k = 0; k < record->varbind_count; ++k)
        copy_varbind(record, k, varbinds[k]);
}

void CTrapBuffer::Put(const trap_record& record)
{
    critical_section hold;
    trap_record_copy(&m_Records[m_uHead], &record);
    m_Serials[m_uHead] = m_uSerial++;
    m_uHead = next(m_uHead);
    if (m_uCount < TRAP_BUFFER_RECORDS)
        ++m_uCount;
    if (m_uCount == TRAP_BUFFER_RECORDS)
        m_uTail = m_uHead;
}

bool CTrapBuffer::Get(trap_record* record)
{
    if (!record)
        return false;
    critical_section hold;
    if (m_uCount == 0)
        return false;
    trap_record_copy(record, &m_Records[m_uTail]);
    m_uTail = next(m_uTail);
    --m_uCount;
    return true;
}

bool CTrapBuffer::Peek(trap_record* record, uint32_t* serial)
{
    if (!record || !serial)
        return false;
    critical_section hold;
    if (m_uCount == 0)
        return false;
    trap_record_copy(record, &m_Records[m_uTail]);
    *serial = m_Serials[m_uTail];
    return true;
}

void CTrapBuffer::Remove(uint32_t serial)
{
    critical_section hold;
    if (m_uCount == 0 || m_Serials[m_uTail] != serial)
        return;
    m_uTail = next(m_uTail);
    --m_uCount;
}

bool CTrapBuffer::IsEmpty() const { return m_uCount == 0; }

uint32_t CTrapBuffer::Count() const { return m_uCount; }

void CTrapBuffer::Expire(uint32_t time)
{
    critical_section hold;
    while (m_uCount != 0 && m_Records[m_uTail].time_stamp <= time) {
        m_uTail = next(m_uTail);
        --m_uCount;
    }
}

void CTrapBuffer::Clear()
{
    critical_section hold;
    m_uHead = m_uTail = m_uCount = 0;
}
