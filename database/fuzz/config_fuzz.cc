// Fuzz target: arbitrary bytes as a CONFIG.XML text, restored into a
// database with factory defaults (hooks off, as during the start-up where
// the restore runs). The text lies in a buffer of exactly its size.
//
// With SIGN_FUZZ_WRITE_SEED=<file> set, the first run writes the text the
// controller builds from its defaults there: the corpus's main seed.
#include <cstdint>
#include <cstdlib>

#include "database/files/file_config.h"
#include "database/fuzz/fuzz_database.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  CDataBase* db = fuzz_database_start(2u << 20);
  db->LoadDefaults(0);
  db->SetHooksEnabled(false);
  fuzz_write_seed(CFile_Config::kBufferSize, [](char* out, uint32_t size, uint32_t* length) {
    return CFile_Config::Build(out, size, length) == 0;
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFile_Config::ParseFile(reinterpret_cast<const char*>(data), static_cast<uint32_t>(size));
  return 0;
}
