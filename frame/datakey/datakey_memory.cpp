#include "frame/datakey/datakey_memory.h"

#include <algorithm>
#include <cstring>

bool CDataKeyInMemory::Read(uint32_t offset, uint8_t* buffer, uint32_t length) {
  if (!present || offset > bytes.size() || length > bytes.size() - offset) return false;
  std::memcpy(buffer, bytes.data() + offset, length);
  return true;
}

bool CDataKeyInMemory::Write(uint32_t offset, const uint8_t* data, uint32_t length) {
  if (!present || offset > bytes.size() || length > bytes.size() - offset) return false;
  std::memcpy(bytes.data() + offset, data, length);
  return true;
}

bool CDataKeyInMemory::Erase() {
  if (!present) return false;
  std::fill(bytes.begin(), bytes.end(), 0xFF);
  return true;
}

bool CDataKeyFlashInMemory::Load(const std::string& name, std::vector<uint8_t>* data, uint32_t* flags,
                                 uint32_t* time) {
  auto it = files.find(name);
  if (it == files.end()) return false;
  *data = it->second;
  *flags = *time = 0;
  return true;
}

bool CDataKeyFlashInMemory::Create(const std::string& name, uint32_t, const uint8_t* data, uint32_t size) {
  files[name].assign(data, data + size);
  return true;
}
