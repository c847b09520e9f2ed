// A data key and flash files held in memory: the jobs without the board's
// key or the flash file system (tools, fuzzing and page tests).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "frame/datakey/datakey_jobs.h"

class CDataKeyInMemory : public DataKeyMedium {
 public:
  explicit CDataKeyInMemory(uint32_t size = 1u << 20) : bytes(size, 0xFF) {}
  bool Present() override { return present; }
  bool Power(bool on) override { return !on || present; }
  bool Read(uint32_t offset, uint8_t* buffer, uint32_t length) override;
  bool Write(uint32_t offset, const uint8_t* data, uint32_t length) override;
  bool Erase() override;

  bool present = true;
  std::vector<uint8_t> bytes;
};

class CDataKeyFlashInMemory : public DataKeyFlash {
 public:
  bool FirmwareFile(std::string* name) override {
    *name = firmware;
    return !firmware.empty();
  }
  bool Exists(const std::string& name) override { return files.count(name) != 0; }
  bool Load(const std::string& name, std::vector<uint8_t>* data, uint32_t* flags, uint32_t* time) override;
  bool Create(const std::string& name, uint32_t flags, const uint8_t* data, uint32_t size) override;
  bool Remove(const std::string& name) override { return files.erase(name) != 0; }
  // Exactly the block's size, so that a write past it is seen.
  uint8_t* TakeBlock() override { return block.data(); }
  void ReleaseBlock(uint8_t*) override {}

  std::string firmware = "SIGN.EXE";
  std::map<std::string, std::vector<uint8_t>> files;
  std::vector<uint8_t> block = std::vector<uint8_t>(CDataKeyJobs::BLOCK);
};
