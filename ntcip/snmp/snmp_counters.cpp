#include "ntcip/snmp/snmp_counters.h"

#include <atomic>

namespace {

// The codec's own store: several agents' threads count at once, and relaxed
// atomics keep every increment.
std::atomic<uint32_t> g_counters[static_cast<uint32_t>(snmp_counter::count)];

std::atomic<const snmp_counter_store*> g_store{nullptr};

}  // namespace

void snmp_counter_set_store(const snmp_counter_store* store) { g_store.store(store, std::memory_order_release); }

void snmp_counter_add(snmp_counter c)
{
    if (c >= snmp_counter::count)
        return;
    if (const snmp_counter_store* s = g_store.load(std::memory_order_acquire)) {
        s->set(c, s->get(c) + 1);
        return;
    }
    g_counters[static_cast<uint32_t>(c)].fetch_add(1, std::memory_order_relaxed);
}

uint32_t snmp_counter_get(snmp_counter c)
{
    if (c >= snmp_counter::count)
        return 0;
    if (const snmp_counter_store* s = g_store.load(std::memory_order_acquire))
        return s->get(c);
    return g_counters[static_cast<uint32_t>(c)].load(std::memory_order_relaxed);
}

void snmp_counters_clear()
{
    const snmp_counter_store* s = g_store.load(std::memory_order_acquire);
    for (uint32_t k = 0; k < static_cast<uint32_t>(snmp_counter::count); ++k) {
        if (s)
            s->set(static_cast<snmp_counter>(k), 0);
        else
            g_counters[k].store(0, std::memory_order_relaxed);
    }
}
