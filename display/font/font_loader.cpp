#include "display/font/font_loader.h"

#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "display/font/orvel_font.h"
#include "frame/trace/trace.h"

namespace {

// Feature bit that replaces characters 0x61..0x6A of fonts 1 and 2 with
// arrows and signs of the controller's own.
constexpr uint32_t kSpecialGlyphFeature = 0x20;

struct special_glyph {
  uint8_t index;  // character index (character number - 1)
  uint8_t width;
  uint8_t bits[6];  // rows packed most significant bit first
};

const special_glyph kSpecialGlyphs[2][10] = {
    {
        {0x60, 5, {0x01, 0x05, 0xF1, 0x10, 0x00}},
        {0x61, 5, {0x01, 0x11, 0xF4, 0x10, 0x00}},
        {0x62, 5, {0x23, 0xAA, 0x42, 0x10, 0x00}},
        {0x63, 5, {0x01, 0x08, 0x4A, 0xB8, 0x80}},
        {0x64, 5, {0x03, 0xC6, 0x54, 0xC0, 0x00}},
        {0x65, 5, {0x00, 0x65, 0x4C, 0x78, 0x00}},
        {0x66, 5, {0x04, 0x12, 0x51, 0xBC, 0x00}},
        {0x67, 5, {0x07, 0xB1, 0x49, 0x04, 0x00}},
        {0x68, 4, {0x4A, 0x40, 0x00, 0x00}},
        {0x69, 5, {0x22, 0xA3, 0x15, 0x10, 0x00}},
    },
    {
        {0x60, 6, {0x00, 0x41, 0xBF, 0xFC, 0x61, 0x00}},
        {0x61, 6, {0x00, 0x86, 0x3F, 0xFD, 0x82, 0x00}},
        {0x62, 6, {0x31, 0xEF, 0xCC, 0x30, 0xC3, 0x00}},
        {0x63, 6, {0x30, 0xC3, 0x0C, 0xFD, 0xE3, 0x00}},
        {0x64, 6, {0x3C, 0x71, 0xCD, 0x63, 0x08, 0x00}},
        {0x65, 6, {0x04, 0x31, 0xAC, 0xE3, 0x8F, 0x00}},
        {0x66, 6, {0x83, 0x06, 0x0D, 0x1C, 0x73, 0xC0}},
        {0x67, 6, {0xF3, 0x8E, 0x2C, 0x18, 0x30, 0x40}},
        {0x68, 4, {0x4A, 0x40, 0x00, 0x00}},
        {0x69, 5, {0x22, 0xA3, 0x15, 0x10, 0x00}},
    },
};

// A built-in glyph holds at most 255 bytes of columns, each of 8 rows per
// byte, so its packed bitmap never exceeds 255 bytes either.
constexpr uint32_t kBitmapMax = 255;

// NTCIP layout: h x w bits, row by row from the top, each row left to
// right, from the most significant bit of the first byte.
uint32_t pack_bitmap(const CFontBase& font, uint32_t c, uint32_t w, uint32_t h, uint8_t* out) {
  uint32_t bytes = (h * w + 7) / 8;
  std::memset(out, 0, bytes);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      if (font.IsPixelSet(c, x, y)) {
        uint32_t b = y * w + x;
        out[b / 8] |= static_cast<uint8_t>(0x80 >> (b % 8));
      }
  return bytes;
}

}  // namespace

int display_fonts_load(CDataBase& db, const char* name, int slot) {
  if (slot < 0 || slot >= 20) return 0;
  const uint32_t s = static_cast<uint32_t>(slot);
  COrvelFont font;
  if (!font.Load(name)) {
    monitor_printf("display_fonts_load: font %s not loaded into slot %d\n", name ? name : "(none)", slot);
    return 0;
  }
  // The font's objects are written as a whole; their write hooks would
  // judge each half-written character on its own. Only this thread's
  // writes skip them: the other tasks write on meanwhile.
  const uint32_t quiet = db.BeginQuiet(DB_QUIET_HOOKS);
  uint8_t* nvm = db.mib_nv;
  const uint32_t h = font.GetHeight();
  db.SetValue(nv::fontNumber(s).offset, 1, s + 1, nvm, DB_NOTIFY);
  db.SetValue(nv::fontHeight(s).offset, 1, h, nvm, DB_NOTIFY);
  db.SetValue(nv::fontCharSpacing(s).offset, 1, font.GetCharSpacing(), nvm, DB_NOTIFY);
  db.SetValue(nv::fontLineSpacing(s).offset, 1, font.GetLineSpacing(), nvm, DB_NOTIFY);
  db.SetString(nv::fontName(s).offset, 4, font.GetName(), static_cast<uint32_t>(std::strlen(font.GetName())), nvm,
               DB_NOTIFY);

  uint8_t bitmap[kBitmapMax];
  for (uint32_t c = 0; c < 255; ++c) {
    const uint32_t w = font.GetCharWidth(c + 1);
    db.SetValue(nv::characterWidth(s, c).offset, 1, w, nvm, DB_NOTIFY);
    uint32_t bytes = w ? pack_bitmap(font, c + 1, w, h, bitmap) : 0;
    db.SetString(nv::characterBitmap(s, c).offset, 4, bitmap, bytes, nvm, DB_NOTIFY);
  }

  uint32_t features = db.GetValue(nv::quorSpecialFeatureSet.offset, 4, nvm, 0);
  if ((features & kSpecialGlyphFeature) && s < 2) {
    for (const special_glyph& g : kSpecialGlyphs[s]) {
      db.SetString(nv::characterBitmap(s, g.index).offset, 4, g.bits, g.width, nvm, DB_NOTIFY | DB_NO_VALIDATE);
      db.SetValue(nv::characterWidth(s, g.index).offset, 1, g.width, nvm, DB_NOTIFY | DB_NO_VALIDATE);
    }
  }

  db.UpdateFontVersionID(slot);
  db.EndQuiet(quiet);
  return 1;
}

void display_fonts_install() { g_builtin_font_loader = &display_fonts_load; }
