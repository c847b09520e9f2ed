// The configuration objects: the seventy objects that make up the sign's
// configuration, backed up in CONFIG.XML and announced when they change.
#pragma once

#include <cstdint>

enum config_kind : uint8_t { CONFIG_INTEGER = 2, CONFIG_STRING = 3 };

struct config_object_entry {
  const char* name;
  uint32_t offset;        // element 0 in mib_nv
  uint32_t element_size;  // 1, 2 or 4 (strings: their 4-byte slot)
  uint8_t kind;
  uint32_t element_count;  // 0 for a single object
  uint32_t last_offset;    // offset of the last element
  uint32_t first_index;
  int32_t default_value;  // integer elements equal to it are left out of the file
};

// Factory values of the front-panel PINs.
constexpr uint32_t DB_FACTORY_USER_PIN = 1234;
constexpr uint32_t DB_FACTORY_ADMIN_PIN = 4321;

constexpr uint32_t CONFIG_OBJECT_COUNT = 70;
extern const config_object_entry g_config_objects[CONFIG_OBJECT_COUNT];

// Elements of a row: every one from its offset to its last offset (a row
// given as one object may still span several, as the port parameters do).
uint32_t config_object_elements(const config_object_entry& row);

// The row whose element range holds the offset, or null.
const config_object_entry* config_object_find(uint32_t offset);
