#include "ntcip/snmp/snmp_counters.h"

#include <atomic>

namespace {

// Several agents' threads count at once; relaxed atomics keep every increment.
std::atomic<uint32_t> g_counters[static_cast<uint32_t>(snmp_counter::count)];

}  // namespace

void snmp_counter_add(snmp_counter c)
{
    if (c < snmp_counter::count)
        g_counters[static_cast<uint32_t>(c)].fetch_add(1, std::memory_order_relaxed);
}

uint32_t snmp_counter_get(snmp_counter c)
{
    if (c >= snmp_counter::count)
        return 0;
    return g_counters[static_cast<uint32_t>(c)].load(std::memory_order_relaxed);
}

void snmp_counters_clear()
{
    for (auto& c : g_counters)
        c.store(0, std::memory_order_relaxed);
}
