// libFuzzer target: arbitrary bytes through the SNMP message decoder, with
// the tolerant end test off and on; what is accepted must re-encode to the
// same record. Built by tools/fuzz_snmp.sh or by a clang CMake build, from
// the codec's sources alone.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "frame/trace/trace.h"
#include "ntcip/fuzz/snmp_roundtrip.h"

// The codec's failure traces go nowhere here: the target links none of the
// system frame, and printing would only slow the run.
int monitor_printf(const char*, ...) { return 0; }
int monitor_printf_debug(const char*, ...) { return 0; }

namespace {

bool g_tolerant = false;
bool tolerant() { return g_tolerant; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::unique_ptr<snmp_message> a(new snmp_message());
    static std::unique_ptr<snmp_message> b(new snmp_message());
    g_asn1_set_tolerant_query(tolerant);
    for (bool mode : {false, true}) {
        g_tolerant = mode;
        if (snmp_roundtrip(data, size, a.get(), b.get()) == SNMP_RT_MISMATCH)
            abort();
    }
    return 0;
}
