// The auxiliary I/O port table as the peripherals see it: built-ins take
// fixed rows in creation order, database-configured peripherals take free
// rows and remember them in their record's index list, so that a restart or
// a reload gives every point the same row again.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "frame/peripheral/peripheral.h"
#include "frame/peripheral/peripheral_db.h"
#include "frame/trace/trace.h"

using namespace peripheral_db;

namespace {

constexpr uint32_t kRecordSlots = 255;
constexpr uint32_t kIndexTextMax = 255;  // the object holds at most 255 bytes
constexpr char kUnused[] = "UNUSED";
constexpr uint32_t kUnusedLength = 6;

// Registration state; never persisted, never set back while running.
struct registration {
  uint8_t phase;         // 0 built-ins, 1 once a database peripheral registered
  uint8_t next_digital;  // next built-in digital row
  uint8_t next_analog;   // next built-in analog row, from row 112
} s_reg{};

bool IsUnused(uint32_t row) {
  uint32_t length = 0;
  const uint8_t* text = get_string(nv::auxIOPortDescription(row), nv_area(), &length);
  // Stored with or without its zero byte.
  if (length == kUnusedLength + 1 && text[kUnusedLength] == 0) length = kUnusedLength;
  return length == kUnusedLength && std::memcmp(text, kUnused, kUnusedLength) == 0;
}

void WriteRow(uint32_t row, const char* description, bool write_description, uint8_t direction,
              uint8_t resolution) {
  if (write_description)
    set_string(nv::auxIOPortDescription(row), description, static_cast<uint32_t>(std::strlen(description)), nv_area());
  set(vol::auxIOPortResolution(row), resolution, v_area());
  set(vol::auxIOPortValue(row), 0, v_area());
  set(vol::auxIOPortDirection(row), direction, v_area());
  set(vol::auxIOPortLastCommandedState(row), 0, v_area());
}

}  // namespace

void peripheral_db::reset_status_registration() { s_reg = {}; }

int aux_index_list::Append(uint32_t row) {
  if (count >= kCapacity) return 0;
  rows[count++] = row;
  return 1;
}

int CPeripheral::RegisterStatus(uint32_t* row, uint32_t port_type, uint8_t direction, uint8_t resolution,
                                const char* format, ...) {
  if (!row || !g_pDataBase) return 0;
  char description[100] = {};
  if (format) {
    va_list args;
    va_start(args, format);
    vsnprintf(description, sizeof description, format, args);
    va_end(args);
  }

  if (s_reg.phase == 0 && *row == kRowBuiltin) {
    uint32_t r;
    if (port_type == PORT_DIGITAL) {
      if (s_reg.next_digital >= kDigitalRows) {
        monitor_printf("CPeripheral::RegisterStatus: no digital row left for %s\n", description);
        return 0;
      }
      r = s_reg.next_digital++;
    } else if (port_type == PORT_ANALOG) {
      if (s_reg.next_analog >= kAnalogRows) {
        monitor_printf("CPeripheral::RegisterStatus: no analog row left for %s\n", description);
        return 0;
      }
      r = kDigitalRows + s_reg.next_analog++;
    } else if (port_type == PORT_OTHER) {
      monitor_printf("Attempted to register other port type\n");
      return 0;
    } else {
      monitor_printf("Invalid port type registration attempt\n");
      return 0;
    }
    *row = r;
    WriteRow(r, description, true, direction, resolution);
    return 1;
  }

  // The first database-configured peripheral closes the built-ins' phase.
  s_reg.phase = 1;

  if (*row == kRowBuiltin) {
    monitor_printf("ERROR: Hardcoded peripheral tried to register after db peripherals\n");
    return 0;
  }
  if (*row < kStatusRows) {
    // A remembered row keeps a description that is still set.
    WriteRow(*row, description, IsUnused(*row), direction, resolution);
    return 1;
  }
  if (*row != kRowAny) {
    // A damaged index list: take a free row instead, and the caller stores
    // the new one.
    monitor_printf("CPeripheral::RegisterStatus: row %u is outside the table\n", static_cast<unsigned>(*row));
  }
  for (uint32_t r = 0; r < kStatusRows; ++r) {
    if (get(vol::auxIOPortType(r), v_area()) != port_type || !IsUnused(r)) continue;
    *row = r;
    WriteRow(r, description, true, direction, resolution);
    return 1;
  }
  return 0;
}

void CPeripheral::UnregisterStatus(uint32_t row) {
  if (row >= kStatusRows || !g_pDataBase) return;
  set_string(nv::auxIOPortDescription(row), kUnused, kUnusedLength, nv_area());
  set(vol::auxIOPortResolution(row), 0, v_area());
  set(vol::auxIOPortValue(row), 0, v_area());
  set(vol::auxIOPortDirection(row), 0, v_area());
  set(vol::auxIOPortLastCommandedState(row), 0, v_area());
}

int CPeripheral::SetStatusValue(uint32_t row, uint32_t value) {
  if (row >= kStatusRows || !g_pDataBase) return 0;
  if (!set(vol::auxIOPortValue(row), value, v_area())) return 0;
  uint32_t direction = get(vol::auxIOPortDirection(row), v_area());
  if (direction == DIR_OUTPUT || direction == DIR_BIDIRECTIONAL)
    set(vol::auxIOPortLastCommandedState(row), value, v_area());
  return 1;
}

int CPeripheral::GetAuxIOIndexList(uint16_t slot, aux_index_list* list) {
  if (!list) return 0;
  list->count = 0;
  if (slot >= kRecordSlots || !g_pDataBase) return 0;
  uint32_t length = 0;
  const uint8_t* stored = get_string(nv::quorPeripheralAuxIOTableIndex(slot), nv_area(), &length);
  char text[kIndexTextMax + 1] = {};
  std::memcpy(text, stored, length < kIndexTextMax ? length : kIndexTextMax);
  ParseIndexList(text, list);
  return 1;
}

int CPeripheral::SetAuxIOIndexList(uint16_t slot, const aux_index_list* list) {
  if (!list || slot >= kRecordSlots || !g_pDataBase) return 0;
  char text[kIndexTextMax] = {};
  // A list that does not fit leaves the stored one as it was.
  if (!FormatIndexList(list, text, sizeof text)) {
    monitor_printf("CPeripheral::SetAuxIOIndexList: %u rows do not fit slot %u\n", static_cast<unsigned>(list->count),
                   static_cast<unsigned>(slot));
    return 0;
  }
  return set_string(nv::quorPeripheralAuxIOTableIndex(slot), text, static_cast<uint32_t>(std::strlen(text)) + 1,
                    nv_area());
}

void CPeripheral::ParseIndexList(const char* text, aux_index_list* list) {
  if (!list) return;
  list->count = 0;
  if (!text) return;
  const char* p = text;
  while (*p) {
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
    uint32_t value = 0;
    ParseHex(&p, &value);
    list->Append(value);
    while (*p && *p != ',') ++p;
    if (*p == ',') ++p;
  }
}

int CPeripheral::FormatIndexList(const aux_index_list* list, char* out, uint32_t size) {
  if (!out || size == 0) return 0;
  out[0] = 0;
  if (!list) return 1;
  uint32_t used = 0;
  for (uint32_t i = 0; i < list->count && i < aux_index_list::kCapacity; ++i) {
    int n = snprintf(out + used, size - used, i + 1 < list->count ? "0x%X," : "0x%X",
                     static_cast<unsigned>(list->rows[i]));
    if (n < 0 || static_cast<uint32_t>(n) >= size - used) {
      out[0] = 0;
      return 0;
    }
    used += static_cast<uint32_t>(n);
  }
  return 1;
}

int CPeripheral::ParseHex(const char** cursor, uint32_t* value) {
  uint32_t v = 0;
  int any = 0;
  uint32_t digit;
  while (**cursor && HexDigit(**cursor, &digit)) {
    v = (v << 4) | digit;
    any = 1;
    ++*cursor;
  }
  if (value) *value = v;
  return any;
}

int CPeripheral::HexDigit(char c, uint32_t* value) {
  uint32_t v;
  if (c >= '0' && c <= '9')
    v = static_cast<uint32_t>(c - '0');
  else if (c >= 'A' && c <= 'F')
    v = static_cast<uint32_t>(c - 'A' + 10);
  else if (c >= 'a' && c <= 'f')
    v = static_cast<uint32_t>(c - 'a' + 10);
  else {
    if (value) *value = 0;
    return 0;
  }
  if (value) *value = v;
  return 1;
}
