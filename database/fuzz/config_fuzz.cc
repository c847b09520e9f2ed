// Fuzz target: arbitrary bytes as a CONFIG.XML text, restored into a
// database with factory defaults (hooks off, as during the start-up where
// the restore runs). The text lies in a buffer of exactly its size.
//
// With SIGN_FUZZ_WRITE_SEED=<file> set, the first run writes the text the
// controller builds from its defaults there: the corpus's main seed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "database/database.h"
#include "database/files/file_config.h"
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
  c.memory_size = 4u << 20;
  rtos::kernel_start(c, [](void* mem) {
    os_byte_pool_create(&g_pool, "dynamic database", mem, 2u << 20);
    os_event_create(&g_database_flags, "database");
  });
  CDataBase* db = new CDataBase(&g_post_office);  // lives for the whole run
  db->SetStringPool(&g_pool);
  db->SetFlashMode(0);
  db->LoadDefaults(0);
  db->SetHooksEnabled(false);
  if (const char* seed = std::getenv("SIGN_FUZZ_WRITE_SEED")) {
    std::vector<char> text(CFile_Config::kBufferSize);
    uint32_t length = 0;
    if (CFile_Config::Build(text.data(), static_cast<uint32_t>(text.size()), &length) == 0) {
      if (FILE* f = std::fopen(seed, "wb")) {
        std::fwrite(text.data(), 1, length, f);
        std::fclose(f);
      }
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFile_Config::ParseFile(reinterpret_cast<const char*>(data), static_cast<uint32_t>(size));
  return 0;
}
