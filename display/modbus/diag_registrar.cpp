#include "display/modbus/diag_registrar.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "display/frame/frame.h"
#include "display/task/display.h"

diag_index_registrar g_diag_index_registrar;

namespace {

uint32_t vol_get(const db_object& o) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_v, 0) : 0;
}
void vol_set(const db_object& o, uint32_t v) {
  if (g_pDataBase) g_pDataBase->SetValue(o.offset, o.width, v, g_pDataBase->mib_v, DB_NOTIFY);
}
void vol_text(const db_object& o, const void* bytes, uint32_t n) {
  if (g_pDataBase) g_pDataBase->SetString(o.offset, 4, bytes, n, g_pDataBase->mib_v, DB_NOTIFY);
}

}  // namespace

bool diag_index_registrar::Register(uint8_t faceValue, const char* title, uint16_t height, uint16_t width,
                                    uint8_t colourCode, uint8_t kind, uint32_t& slot) {
  if (!title || !g_pDataBase) return false;
  for (uint32_t i = 0; i < SLOTS; ++i) {
    if (vol_get(vol::quorDiagTableKind(i)) != KIND_FREE) continue;
    vol_text(vol::quorDiagTableTitle(i), title, static_cast<uint32_t>(std::strlen(title)));
    // The table's height is kept in 8 bits.
    vol_set(vol::quorDiagTableHeight(i), height & 0xFF);
    vol_set(vol::quorDiagTableWidth(i), width);
    vol_set(vol::quorDiagTableColour(i), colourCode);
    vol_set(vol::quorDiagTableFace(i), faceValue);
    vol_set(vol::quorDiagTableKind(i), kind);
    vol_set(vol::quorDiagTableCount, vol_get(vol::quorDiagTableCount) + 1);
    slot = i;
    UpdateRanges();
    return true;
  }
  return false;
}

void diag_index_registrar::ClearAll() {
  for (uint32_t i = 0; i < SLOTS; ++i) vol_set(vol::quorDiagTableKind(i), KIND_FREE);
  vol_set(vol::quorDiagTableCount, 0);
}

void diag_index_registrar::UpdateRanges() {
  uint32_t runs = 0;
  bool open = false, seen = false;
  uint32_t face = 0, first = 0, last = 0, highest = 0;
  auto close = [&] {
    if (!open) return;
    open = false;
    ++runs;
    // Face values count from 1; the objects hold faces 0 and 1.
    if (face >= 1 && face <= 2) {
      vol_set(vol::quorDiagFaceFirstTable(face - 1), first + 1);
      vol_set(vol::quorDiagFaceLastTable(face - 1), last + 1);
    }
  };
  for (uint32_t i = 0; i < SLOTS; ++i) {
    if (vol_get(vol::quorDiagTableKind(i)) == KIND_FREE) {
      close();
      continue;
    }
    const uint32_t value = vol_get(vol::quorDiagTableFace(i));
    if (!seen || value > highest) {
      close();
      highest = value;
      seen = true;
    } else if (open) {
      last = i;
      continue;
    }
    open = true;
    face = value;
    first = last = i;
  }
  close();
  vol_set(vol::quorDiagFaceCount, runs);
}

void diag_index_registrar::StoreTable(uint32_t slot, disp::frame* frame, bool second, uint32_t secondSlot) {
  if (!frame || slot >= SLOTS || !g_pDataBase) return;
  const uint32_t size = g_pDataBase->GetValue(nv::quorDiagLineSize.offset, nv::quorDiagLineSize.width,
                                              g_pDataBase->mib_nv, 0);
  if (!size) return;
  uint8_t* buffer = new (std::nothrow) uint8_t[size];
  if (!buffer) return;
  const bool second_ok = second && secondSlot < SLOTS;
  if (second_ok) {
    char timing[16];
    const int n = std::snprintf(timing, sizeof timing, "%d,%d", frame->m_attributes.a1, frame->m_attributes.a2);
    vol_text(vol::quorDiagTableTiming(slot), timing, static_cast<uint32_t>(n));
    vol_text(vol::quorDiagTableTiming(secondSlot), timing, static_cast<uint32_t>(n));
  }
  // A picture of the second kind goes to its own slot only while the sign
  // shows it (page on) or is blank.
  bool to_slot = true;
  if (second) {
    const uint32_t state = g_pDisplay ? g_pDisplay->m_dwDisplayState : 0;
    to_slot = state == CDisplay::STATE_BLANK || state == CDisplay::STATE_PAGE_ON;
  }
  uint32_t cursor = 0;
  for (uint32_t line = 0; line < LINES; ++line) {
    uint32_t got = 0;
    if (!frame->ReadPacked(cursor, buffer, size, got) || got == 0) break;
    if (to_slot) vol_text(vol::quorDiagTableLine(slot, line), buffer, size);
    if (second_ok) vol_text(vol::quorDiagTableLine(secondSlot, line), buffer, size);
  }
  delete[] buffer;
}

void diag_index_registrar::Withdraw(uint32_t slot) {
  if (slot >= SLOTS) return;
  vol_text(vol::quorDiagTableTitle(slot), "", 0);
  vol_text(vol::quorDiagTableTiming(slot), "", 0);
  vol_set(vol::quorDiagTableHeight(slot), 0);
  vol_set(vol::quorDiagTableWidth(slot), 0);
  vol_set(vol::quorDiagTableColour(slot), 1);
  vol_set(vol::quorDiagTableKind(slot), KIND_FREE);
  vol_set(vol::quorDiagTableFace(slot), 1);
  UpdateRanges();
}
