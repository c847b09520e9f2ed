// The registry's subtrees, the merge of the object groups into their row
// tables, and the run-time state of the rows.
#include "ntcip/mib/mib_registry.h"

#include <algorithm>
#include <cstring>

#include "frame/trace/trace.h"

thread_local mib_set_value g_snmp_set_value;
thread_local uint8_t g_snmp_commit_indicator = 0;
thread_local uint32_t g_snmp_community_mask = 0;

namespace {

// 1.3.6.1.4.1.1206 and 1.3.6.1.2.1, written out.
#define ENT 1, 3, 6, 1, 4, 1, 1206
#define MIB2 1, 3, 6, 1, 2, 1

template <size_t N>
constexpr mib_oid oid(const uint32_t (&s)[N])
{
    static_assert(N <= MIB_PREFIX_MAX, "subtree OIDs hold at most 17 sub-identifiers");
    mib_oid o{};
    for (size_t i = 0; i < N; ++i)
        o.sub[i] = s[i];
    o.length = static_cast<uint8_t>(N);
    return o;
}

struct subtree_def {
    const char* label;
    mib_oid prefix;
    mib_oid first;
    mib_oid end;
};

constexpr uint32_t p_clsb[] = {MIB2}, f_clsb[] = {MIB2, 1, 1, 0}, e_clsb[] = {MIB2, 11, 31};
constexpr uint32_t p_auxio[] = {ENT, 2, 1, 1}, f_auxio[] = {ENT, 2, 1, 1, 1, 0}, e_auxio[] = {ENT, 2, 1, 1, 3, 1, 7};
constexpr uint32_t p_fdot[] = {ENT, 3, 6}, f_fdot[] = {ENT, 3, 6, 11, 1, 0}, e_fdot[] = {ENT, 3, 6, 11, 13};
constexpr uint32_t p_quor[] = {ENT, 3, 11}, f_quor[] = {ENT, 3, 11, 1, 1, 0}, e_quor[] = {ENT, 3, 11, 11, 7, 0};
constexpr uint32_t p_vestrel[] = {ENT, 3, 16}, f_vestrel[] = {ENT, 3, 16, 1, 1, 1, 0}, e_vestrel[] = {ENT, 3, 16, 1, 3};
constexpr uint32_t p_zezaro[] = {ENT, 3, 32}, f_zezaro[] = {ENT, 3, 32, 1, 1, 0}, e_zezaro[] = {ENT, 3, 32, 1, 8};
constexpr uint32_t p_nvdot[] = {ENT, 3, 35}, f_nvdot[] = {ENT, 3, 35, 1, 0}, e_nvdot[] = {ENT, 3, 35, 5, 0};
constexpr uint32_t p_protocol[] = {ENT, 4, 1}, f_protocol[] = {ENT, 4, 1, 1, 1, 1, 0}, e_protocol[] = {ENT, 4, 1, 3, 2, 14};
constexpr uint32_t p_dms[] = {ENT, 4, 2, 3}, f_dms[] = {ENT, 4, 2, 3, 1, 1, 0}, e_dms[] = {ENT, 4, 2, 3, 10, 7, 1, 4};
constexpr uint32_t p_ess[] = {ENT, 4, 2, 5}, f_ess[] = {ENT, 4, 2, 5, 2, 2, 1, 0}, e_ess[] = {ENT, 4, 2, 5, 3};
constexpr uint32_t p_global[] = {ENT, 4, 2, 6}, f_global[] = {ENT, 4, 2, 6, 1, 1, 0}, e_global[] = {ENT, 4, 2, 6, 7, 3, 1, 8};

#undef ENT
#undef MIB2

// In the order of the registry's array.
const subtree_def kSubtrees[MIB_SUBTREES] = {
    {"cls b", oid(p_clsb), oid(f_clsb), oid(e_clsb)},
    {"auxio", oid(p_auxio), oid(f_auxio), oid(e_auxio)},
    {"fdot", oid(p_fdot), oid(f_fdot), oid(e_fdot)},
    {"quor", oid(p_quor), oid(f_quor), oid(e_quor)},
    {"nvdot", oid(p_nvdot), oid(f_nvdot), oid(e_nvdot)},
    {"zezaro", oid(p_zezaro), oid(f_zezaro), oid(e_zezaro)},
    {"vestrel", oid(p_vestrel), oid(f_vestrel), oid(e_vestrel)},
    {"protocol", oid(p_protocol), oid(f_protocol), oid(e_protocol)},
    {"global", oid(p_global), oid(f_global), oid(e_global)},
    {"dms", oid(p_dms), oid(f_dms), oid(e_dms)},
    {"ess", oid(p_ess), oid(f_ess), oid(e_ess)},
};

// The merged rows of all subtrees; each subtree owns a run of them.
mib_variable g_rows[MIB_MAX_ROWS];
mib_subtree* g_head = nullptr;

mib_interface_address g_interfaces[MIB_INTERFACES];

bool row_before(const mib_variable* a, const mib_variable* b)
{
    return oid_compare(a->oid, a->oid_length, b->oid, b->oid_length) < 0;
}

// The longest name an instance of the row has.
uint32_t instance_length(const mib_variable& r)
{
    switch (r.index_count) {
    case 0:
    case 1:
        return r.oid_length;
    default:
        return r.oid_length - 1u + r.index_count;
    }
}

bool row_fits(const mib_subtree& t, const mib_variable& r)
{
    if (!r.oid || r.oid_length == 0 || instance_length(r) > MIB_MAX_OID || r.index_count > 3 || !r.handler) {
        monitor_printf("snmp_mib_build: bad row in \"%s\"\n", t.label);
        return false;
    }
    if (r.constraint_count > MIB_CONSTRAINT_VALUES ||
        (r.constraint_list == MIB_LIST_PAIRS && r.constraint_count > MIB_CONSTRAINT_VALUES / 2)) {
        monitor_printf("snmp_mib_build: bad constraint in \"%s\"\n", t.label);
        return false;
    }
    // Within the subtree: under its prefix and first object <= row < end.
    if (oid_compare_n(r.oid, r.oid_length, t.prefix.sub, t.prefix.length, t.prefix.length) != 0 ||
        oid_compare(r.oid, r.oid_length, t.first.sub, t.first.length) < 0 ||
        oid_compare(r.oid, r.oid_length, t.end.sub, t.end.length) >= 0) {
        monitor_printf("snmp_mib_build: row outside \"%s\"\n", t.label);
        return false;
    }
    return true;
}

}  // namespace

mib_subtree g_mib_subtrees[MIB_SUBTREES];

mib_subtree* snmp_subtree_head() { return g_head; }

mib_subtree* snmp_subtree_find(const char* label)
{
    for (auto& t : g_mib_subtrees)
        if (std::strcmp(t.label, label) == 0)
            return &t;
    return nullptr;
}

int snmp_mib_init() { return snmp_mib_build(g_mib_groups, g_mib_group_count); }

namespace {

// Each row's key below the next one's, differing before either ends: then
// the rows whose key sorts below a name come first, whatever the name.
bool keys_rise(const mib_subtree& t)
{
    for (uint32_t i = 1; i < t.row_count; ++i) {
        const mib_variable& a = t.rows[i - 1];
        const mib_variable& b = t.rows[i];
        const uint32_t n = std::min(mib_key_length(a), mib_key_length(b));
        uint32_t j = 0;
        while (j < n && a.oid[j] == b.oid[j])
            ++j;
        if (j == n || a.oid[j] > b.oid[j]) {
            monitor_printf("snmp_mib_build: \"%s\" searched row by row\n", t.label);
            return false;
        }
    }
    return true;
}

}  // namespace

int snmp_mib_build(const mib_group* const* groups, uint32_t count)
{
    int ok = 1;
    uint32_t used = 0;
    const mib_variable* sorted[MIB_MAX_ROWS];
    for (uint32_t s = 0; s < MIB_SUBTREES; ++s) {
        mib_subtree& t = g_mib_subtrees[s];
        const subtree_def& d = kSubtrees[s];
        std::memset(&t, 0, sizeof t);
        t.prefix = d.prefix;
        t.first = d.first;
        t.end = d.end;
        std::strncpy(t.label, d.label, sizeof t.label - 1);
        t.row_width = sizeof(mib_variable);

        uint32_t n = 0;
        for (uint32_t g = 0; g < count; ++g) {
            const mib_group* grp = groups[g];
            if (!grp || !grp->subtree || std::strcmp(grp->subtree, t.label) != 0)
                continue;
            for (uint32_t i = 0; i < grp->count; ++i) {
                const mib_variable& r = grp->rows[i];
                if (!row_fits(t, r)) {
                    ok = 0;
                    continue;
                }
                if (used + n >= MIB_MAX_ROWS) {
                    monitor_printf("snmp_mib_build: more than %u rows\n", MIB_MAX_ROWS);
                    ok = 0;
                    break;
                }
                sorted[n++] = &r;
            }
        }
        std::stable_sort(sorted, sorted + n, row_before);
        t.rows = &g_rows[used];
        for (uint32_t i = 0; i < n; ++i) {
            if (t.row_count > 0 &&
                oid_compare(sorted[i]->oid, sorted[i]->oid_length, t.rows[t.row_count - 1].oid,
                            t.rows[t.row_count - 1].oid_length) == 0) {
                monitor_printf("snmp_mib_build: second row of one OID in \"%s\"\n", t.label);
                ok = 0;
                continue;
            }
            t.rows[t.row_count] = *sorted[i];
            t.rows[t.row_count].write_override = 0;
            ++t.row_count;
        }
        used += t.row_count;
        t.keys_ordered = keys_rise(t);
    }
    // Groups naming no subtree.
    for (uint32_t g = 0; g < count; ++g) {
        if (groups[g] && (!groups[g]->subtree || !snmp_subtree_find(groups[g]->subtree))) {
            monitor_printf("snmp_mib_build: no subtree \"%s\"\n", groups[g]->subtree ? groups[g]->subtree : "");
            ok = 0;
        }
    }
    snmp_subtree_list_init();
    return ok;
}

void snmp_subtree_list_init()
{
    mib_subtree* order[MIB_SUBTREES];
    for (uint32_t i = 0; i < MIB_SUBTREES; ++i)
        order[i] = &g_mib_subtrees[i];
    std::stable_sort(order, order + MIB_SUBTREES, [](const mib_subtree* a, const mib_subtree* b) {
        return oid_compare(a->first.sub, a->first.length, b->first.sub, b->first.length) < 0;
    });
    for (uint32_t i = 0; i < MIB_SUBTREES; ++i) {
        order[i]->previous = i > 0 ? order[i - 1] : nullptr;
        order[i]->next = i + 1 < MIB_SUBTREES ? order[i + 1] : nullptr;
    }
    g_head = order[0];
}

void snmp_mib_set_write_override(uint8_t on)
{
    for (mib_subtree* t = g_head; t; t = t->next)
        for (uint32_t i = 0; i < t->row_count; ++i)
            if (t->rows[i].access == MIB_READ_ONLY_SNMP)
                t->rows[i].write_override = on ? 1 : 0;
}

void snmp_set_interface_address(uint32_t index, uint32_t address, const uint8_t* mac)
{
    if (index >= MIB_INTERFACES)
        return;
    g_interfaces[index].address = address;
    if (mac)
        std::memcpy(g_interfaces[index].mac, mac, 6);
    else
        std::memset(g_interfaces[index].mac, 0, 6);
    g_interfaces[index].used = 1;
}

const mib_interface_address* snmp_interface_address(uint32_t index)
{
    return index < MIB_INTERFACES && g_interfaces[index].used ? &g_interfaces[index] : nullptr;
}

void snmp_clear_interface_addresses() { std::memset(g_interfaces, 0, sizeof g_interfaces); }
