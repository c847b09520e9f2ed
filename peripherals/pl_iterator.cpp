#include "peripherals/pl_iterator.h"

#include <cstdio>

#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "peripherals/peripheral_types.h"

namespace {

uint32_t nv_get(db_object o) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_nv, 0) : 0;
}
uint32_t v_get(db_object o) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_v, 0) : 0;
}
bool nv_set(db_object o, uint32_t value) {
  return g_pDataBase && g_pDataBase->SetValue(o.offset, o.width, value, g_pDataBase->mib_nv, DB_NOTIFY) == DB_OK;
}
bool v_set(db_object o, uint32_t value) {
  return g_pDataBase && g_pDataBase->SetValue(o.offset, o.width, value, g_pDataBase->mib_v, DB_NOTIFY) == DB_OK;
}
bool nv_set_text(db_object o, const char* text, uint32_t length) {
  return g_pDataBase && g_pDataBase->SetString(o.offset, o.width, length ? text : nullptr, length, g_pDataBase->mib_nv,
                                               DB_NOTIFY) == DB_OK;
}

}  // namespace

int pl_record_text(char* out, uint32_t size, const uint32_t* fields, uint32_t count) {
  if (!out || size == 0) return 0;
  out[0] = 0;
  char text[PL_TEXT_MAX + 1];
  uint32_t used = 0;
  for (uint32_t i = 0; i < count; ++i) {
    char field[12];
    int n = std::snprintf(field, sizeof field, i ? ",%X" : "%X", fields ? fields[i] : 0);
    if (n < 0 || used + static_cast<uint32_t>(n) > PL_TEXT_MAX) return 0;
    for (int k = 0; k < n; ++k) text[used++] = field[k];
  }
  if (used + 1 > size) return 0;
  for (uint32_t k = 0; k < used; ++k) out[k] = text[k];
  out[used] = 0;
  return 1;
}

uint16_t pl_iterator::TypeAt(uint32_t slot) { return static_cast<uint16_t>(nv_get(nv::quorPeripheralID(slot))); }

uint32_t pl_iterator::LockTable() {
  uint32_t previous = v_get(vol::peripheralTableLock);
  v_set(vol::peripheralTableLock, 1);
  return previous;
}

void pl_iterator::UnlockTable(uint32_t previous) { v_set(vol::peripheralTableLock, previous); }

void pl_iterator::ClearSlot(uint32_t slot) {
  nv_set(nv::quorPeripheralID(slot), 0);
  v_set(vol::peripheralLoadStatus(slot), 0);
  nv_set_text(nv::quorPeripheralParameters(slot), nullptr, 0);
  nv_set_text(nv::quorPeripheralAuxIOTableIndex(slot), nullptr, 0);
}

int pl_iterator::Add(uint16_t type_id, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = AddV(type_id, format, args);
  va_end(args);
  return result;
}

int pl_iterator::AddV(uint16_t type_id, const char* format, va_list args) {
  if (type_id == 0 || !g_pDataBase) return 0;
  // Formatted in full first: a text that does not fit is refused, never
  // cut, as a shortened field would be a different value.
  char text[PL_TEXT_MAX + 1] = {};
  if (format) {
    int n = std::vsnprintf(text, sizeof text, format, args);
    if (n < 0 || n > static_cast<int>(PL_TEXT_MAX)) {
      monitor_printf("pl_iterator::Add text of %s too long\n", peripheral_name_of_type(type_id));
      return 0;
    }
  }
  if (Exists(type_id)) return 0;
  pl_record free_slot;
  m_wPosition = 0;
  if (!NextFree(&free_slot)) return 0;
  const uint16_t slot = free_slot.slot;

  uint32_t lock = LockTable();
  monitor_printf("menu position =  %d, id = %d\n", slot, type_id);
  int ok = 0;
  if (nv_set(nv::quorPeripheralID(slot), type_id)) {
    v_set(vol::peripheralLoadStatus(slot), 0);
    uint32_t length = 0;
    while (text[length]) ++length;
    if (nv_set_text(nv::quorPeripheralParameters(slot), text, length)) {
      ok = 1;
    } else {
      // A record without its text would load with the wrong parameters.
      nv_set(nv::quorPeripheralID(slot), 0);
    }
  }
  UnlockTable(lock);
  return ok;
}

int pl_iterator::Remove(uint16_t type_id) {
  uint16_t slot = 0;
  if (type_id == 0 || !Find(type_id, &slot)) return 0;
  uint32_t lock = LockTable();
  ClearSlot(slot);
  UnlockTable(lock);
  return 1;
}

int pl_iterator::RemoveAll() {
  uint32_t lock = LockTable();
  m_wPosition = 0;
  pl_record record;
  while (Next(&record)) ClearSlot(record.slot);
  UnlockTable(lock);
  return 1;
}

int pl_iterator::Find(uint16_t type_id, uint16_t* slot) {
  m_wPosition = 0;
  if (type_id == 0) return 0;
  for (uint32_t i = 0; i < PL_SLOTS; ++i) {
    if (TypeAt(i) != type_id) continue;
    if (slot) *slot = static_cast<uint16_t>(i);
    return 1;
  }
  return 0;
}

int pl_iterator::Exists(uint16_t type_id) { return Find(type_id, nullptr); }

int pl_iterator::SetStatus(uint16_t type_id, uint8_t status) {
  uint16_t slot = 0;
  if (!Find(type_id, &slot)) return 0;
  v_set(vol::peripheralLoadStatus(slot), status);
  return 1;
}

int pl_iterator::Next(pl_record* record) {
  while (m_wPosition < PL_SLOTS) {
    const uint16_t slot = m_wPosition++;
    const uint16_t type = TypeAt(slot);
    if (type == 0) continue;
    if (record) {
      record->slot = slot;
      record->type_id = type;
      record->class_code = peripheral_class_of_type(type);
      uint32_t length = 0;
      const db_object text = nv::quorPeripheralParameters(slot);
      record->parameters =
          reinterpret_cast<const char*>(g_pDataBase->GetString(text.offset, text.width, g_pDataBase->mib_nv, &length));
    }
    return 1;
  }
  return 0;
}

int pl_iterator::NextFree(pl_record* record) {
  while (m_wPosition < PL_SLOTS) {
    const uint16_t slot = m_wPosition++;
    if (TypeAt(slot) != 0) continue;
    if (record) {
      record->slot = slot;
      record->type_id = 0;
      record->class_code = 0;
      record->parameters = nullptr;
    }
    return 1;
  }
  return 0;
}
