// Write hooks: validation of a write and re-derivation of the objects that
// depend on it. While the hooks are switched off every write is accepted.
#include "database/database.h"

namespace {

constexpr uint32_t kLampColumnFirst = 4212;
constexpr uint32_t kLampColumnLast = 4243;

}  // namespace

uint32_t CDataBase::ValidateValue(uint32_t offset, uint32_t width, uint32_t value, uint8_t* area) {
  if (!m_bHookEnable) return DB_OK;
  if (area == mib_v) {
    if (offset >= kLampColumnFirst && offset <= kLampColumnLast) return value == 4 ? DB_BAD_VALUE : DB_OK;
  }
  return DB_OK;
}

uint32_t CDataBase::ValidateString(uint32_t offset, uint32_t width, const void* data, uint32_t length,
                                   uint8_t* area) {
  if (!m_bHookEnable) return DB_OK;
  return DB_OK;
}
