// Fuzz target: arbitrary bytes as the contents of a data key (the rest of
// the key erased). The key is scanned as the panel does on insertion, then
// every install job runs against flash files in memory.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "frame/datakey/datakey_memory.h"

namespace {
constexpr uint32_t KEY_SIZE = 1u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CDataKeyInMemory key(KEY_SIZE);
  static CDataKeyFlashInMemory flash;
  std::fill(key.bytes.begin(), key.bytes.end(), 0xFF);
  if (size) std::memcpy(key.bytes.data(), data, std::min<size_t>(size, KEY_SIZE));
  flash.files.clear();
  flash.files["SIGN.EXE"] = {1, 2, 3};
  flash.files["CONFIG.XML"] = {4, 5, 6};

  CDataKeyJobs jobs(&key, &flash);
  jobs.KeyCheck();
  if (jobs.GetState() != CDataKeyJobs::RECORDS) return 0;
  for (auto job : {CDataKeyJobs::UPDATE_CONFIG, CDataKeyJobs::UPDATE_HEX, CDataKeyJobs::UPDATE_FIRMWARE}) {
    jobs.SetState(CDataKeyJobs::RECORDS);
    jobs.Run(job);
    if (jobs.GetState() < CDataKeyJobs::SUCCESS) __builtin_trap();
  }
  return 0;
}
