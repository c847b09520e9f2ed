// Fuzz target: arbitrary bytes as a SCRIPT.XML text, scanned and applied
// through the agent's internal sets over the whole MIB (a database with
// factory defaults). The scan runs in a kernel thread, as at the start-up,
// over a buffer of exactly the input's size.
//
// With SIGN_FUZZ_WRITE_SEED=<file> set, the first run writes the built-in
// default script there: one of the corpus's seeds.
#include <cstdint>
#include <cstdlib>

#include "ntcip/fuzz/fuzz_snmp_engine.h"
#include "ntcip/script/file_script.h"
#include "rtos_host.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_snmp_engine_start();
  fuzz_write_seed(CFile_Script::kBufferSize, [](char* out, uint32_t size, uint32_t* length) {
    return CFile_Script::DefaultText(out, size, length) == 1;
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const uint32_t length = static_cast<uint32_t>(size);
  if (!rtos::run_in_thread([&] { CFile_Script::Parse(text, length); })) std::abort();
  return 0;
}
