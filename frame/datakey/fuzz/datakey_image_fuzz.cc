// Fuzz target: arbitrary bytes as the contents of a data key (the rest of
// the key erased). The key is scanned as the panel does on insertion, then
// every install job runs against flash files in memory.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "frame/datakey/datakey_jobs.h"

namespace {

constexpr uint32_t KEY_SIZE = 1u << 20;

class ImageKey : public DataKeyMedium {
 public:
  std::vector<uint8_t> bytes = std::vector<uint8_t>(KEY_SIZE, 0xFF);
  bool Present() override { return true; }
  bool Power(bool) override { return true; }
  bool Read(uint32_t offset, uint8_t* buffer, uint32_t length) override {
    if (offset > bytes.size() || length > bytes.size() - offset) return false;
    std::memcpy(buffer, bytes.data() + offset, length);
    return true;
  }
  bool Write(uint32_t, const uint8_t*, uint32_t) override { return false; }
  bool Erase() override { return false; }
};

class MemoryFlash : public DataKeyFlash {
 public:
  std::map<std::string, std::vector<uint8_t>> files;
  std::vector<uint8_t> block = std::vector<uint8_t>(CDataKeyJobs::BLOCK);
  bool FirmwareFile(std::string* name) override {
    *name = "SIGN.EXE";
    return true;
  }
  bool Exists(const std::string& name) override { return files.count(name) != 0; }
  bool Load(const std::string& name, std::vector<uint8_t>* data, uint32_t* flags, uint32_t* time) override {
    auto it = files.find(name);
    if (it == files.end()) return false;
    *data = it->second;
    *flags = *time = 0;
    return true;
  }
  bool Create(const std::string& name, uint32_t, const uint8_t* data, uint32_t size) override {
    files[name].assign(data, data + size);
    return true;
  }
  bool Remove(const std::string& name) override { return files.erase(name) != 0; }
  // Exactly the block's size, so that a write past it is seen.
  uint8_t* TakeBlock() override { return block.data(); }
  void ReleaseBlock(uint8_t*) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ImageKey key;
  static MemoryFlash flash;
  std::fill(key.bytes.begin(), key.bytes.end(), 0xFF);
  std::memcpy(key.bytes.data(), data, std::min<size_t>(size, KEY_SIZE));
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
