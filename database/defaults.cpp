// Shared writers of the factory-default entries.
#include "database/defaults.h"

#include "database/defaults_util.h"

namespace dflt {

void oid(CDataBase& db, uint8_t* area, uint32_t offset, const uint32_t* subids, uint32_t count) {
  uint8_t buffer[4 * 40];
  if (count > 40) count = 40;
  for (uint32_t i = 0; i < count; ++i) {
    buffer[4 * i] = static_cast<uint8_t>(subids[i] >> 24);
    buffer[4 * i + 1] = static_cast<uint8_t>(subids[i] >> 16);
    buffer[4 * i + 2] = static_cast<uint8_t>(subids[i] >> 8);
    buffer[4 * i + 3] = static_cast<uint8_t>(subids[i]);
  }
  bytes(db, area, offset, buffer, 4 * count);
}

}  // namespace dflt
