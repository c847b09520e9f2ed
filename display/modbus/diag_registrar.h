// Publishes pixel frames of the module diagnostics as result tables in
// volatile objects of the database, where the agent's private objects and
// the web pages read them: 26 table slots with title, size, colour code,
// kind (1: free) and face, and the frame's packed bytes in lines of
// mib_nv.quorDiagLineSize bytes. The registrar keeps no state of its own;
// every write is announced.
#pragma once

#include <cstdint>

namespace disp {
class frame;
}

class diag_index_registrar {
 public:
  static constexpr uint32_t SLOTS = 26;
  static constexpr uint32_t LINES = 62;
  static constexpr uint8_t KIND_FREE = 1;
  // No slot (a table that could not be registered).
  static constexpr uint32_t NO_SLOT = 0xFFFFFFFF;

  // The first free slot, in slot order: its description, one more table
  // counted, the face ranges again. False without a title or a free slot.
  bool Register(uint8_t faceValue, const char* title, uint16_t height, uint16_t width, uint8_t colourCode,
                uint8_t kind, uint32_t& slot);
  // Every slot free, no tables (titles and lines stay).
  void ClearAll();
  // The runs of used slots per face value into the face objects.
  void UpdateRanges();
  // The frame's packed bytes into the slot's lines (and, with `second`, its
  // attribute times into both slots' timing texts and the lines into the
  // second slot). Nothing without a frame, for a slot beyond the table or
  // when no line buffer can be had.
  void StoreTable(uint32_t slot, disp::frame* frame, bool second = false, uint32_t secondSlot = NO_SLOT);
  // Makes the slot free and empty (title, timing, size 0; colour, kind and
  // face 1) and recomputes the ranges.
  void Withdraw(uint32_t slot);
};

extern diag_index_registrar g_diag_index_registrar;
