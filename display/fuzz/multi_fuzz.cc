// libFuzzer target: arbitrary bytes as a sign configuration and a MULTI
// text through validation and display. Built by tools/fuzz_multi.sh (or by
// any clang build of the project).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "database/database.h"
#include "display/fuzz/multi_fuzz_one.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "rtos_host.h"

namespace {

TX_BYTE_POOL g_pool;

void quiet(int, const char*) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  trace_set_sink(quiet);
  rtos::kernel_config c;
  c.memory_size = 2u << 20;
  rtos::kernel_start(c, [](void* mem) {
    os_byte_pool_create(&g_pool, "dynamic database", mem, 1u << 20);
    os_event_create(&g_database_flags, "database");
  });
  CDataBase* db = new CDataBase(&g_post_office);  // lives for the whole run
  db->SetStringPool(&g_pool);
  db->SetFlashMode(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string problem = multi_fuzz::run_one(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "multi_fuzz: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
