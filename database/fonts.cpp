// The NTCIP font objects: loading a built-in font into a font slot and the
// font's version ID.
#include "database/database.h"
#include "database/objects.h"
#include "frame/util/crc16.h"

namespace {

const char* const kDefaultFonts[8] = {
    "07X04_1_CP1252.FNT", "07X06_2_CP1252.FNT", "FW07X5_1_NEMA4.FNT", "07GRAPH.FNT",
    "09X06_2_CP1252.FNT", "09X05_1_CP1252.FNT", "09X08_3_CP1252.FNT", "07X05_1_KM.FNT",
};

}  // namespace

builtin_font_loader g_builtin_font_loader = nullptr;

int CDataBase::LoadFont(const char* name, int slot) {
  // Built-in fonts come from the display's font library.
  if (!g_builtin_font_loader) return 0;
  // The font's objects are judged as a whole, not each on its own; the
  // other threads' writes keep their hooks.
  const uint32_t quiet = BeginQuiet(DB_QUIET_HOOKS);
  int ok = g_builtin_font_loader(*this, name, slot);
  EndQuiet(quiet);
  return ok;
}

void CDataBase::LoadDefaultFonts() {
  for (int slot = 0; slot < 8; ++slot) LoadFont(kDefaultFonts[slot], slot);
}

void CDataBase::UpdateFontVersionID(int slot) {
  if (slot < 0 || slot >= 20) return;
  uint32_t f = static_cast<uint32_t>(slot);
  if (GetValue(nv::fontHeight(f).offset, 1, mib_nv, 0) == 0) return;
  crc16_state crc{};
  crc16_begin(&crc, 0xFFFF);
  const db_object header[] = {nv::fontNumber(f), nv::fontHeight(f), nv::fontCharSpacing(f), nv::fontLineSpacing(f)};
  for (const db_object& o : header) {
    uint8_t b = static_cast<uint8_t>(GetValue(o.offset, 1, mib_nv, 0));
    crc16_update(&crc, &b, 1);
  }
  for (uint32_t c = 0; c < 255; ++c) {
    uint8_t pair[2] = {static_cast<uint8_t>(c + 1),
                       static_cast<uint8_t>(GetValue(nv::characterWidth(f, c).offset, 1, mib_nv, 0))};
    crc16_update(&crc, pair, 2);
    if (pair[1]) {
      uint32_t len = 0;
      const uint8_t* bits = GetString(nv::characterBitmap(f, c).offset, 4, mib_nv, &len);
      crc16_update(&crc, bits, len);
    }
  }
  uint16_t id = 0;
  crc16_result(&crc, &id, 7);
  crc16_end(&crc);
  SetValue(nv::fontVersionID(f).offset, 2, id, mib_nv, DB_NOTIFY);
}
