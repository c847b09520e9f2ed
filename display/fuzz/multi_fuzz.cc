// libFuzzer target: arbitrary bytes as a sign configuration and a MULTI
// text through validation and display. Built by tools/fuzz_multi.sh (or by
// any clang build of the project).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "database/fuzz/fuzz_database.h"
#include "display/fuzz/multi_fuzz_one.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_database_start(1u << 20);
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
