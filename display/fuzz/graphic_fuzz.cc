// Fuzz target: the bitmaps a central system or a file puts on the sign.
// The first byte picks the form of the rest:
//   even: a bitmap file ("Bitmaps/pic.bmp") drawn by a MULTI graphic tag of
//         the file kind at the position of the next two bytes;
//   odd:  a graphic of the graphic table, number 7, drawn by "[g7,x,y]":
//         height, width, type, transparency, two position bytes, three
//         transparent-colour bytes, a block size (u16), then the bitmap's
//         blocks.
// On a 24 x 64 full-colour sign, through the real parser and renderer.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/fuzz/fuzz_database.h"
#include "database/objects.h"
#include "display/message/message.h"
#include "display/multi/multi_hooks.h"
#include "display/multi/parser.h"
#include "display/render/render.h"
#include "display/render/render_hooks.h"

namespace {

CDataBase* g_db;
CRender* g_renderer;
CMessage* g_msg;
CMULTIParser* g_parser;
std::vector<uint8_t> g_file;

void set_nv(db_object o, uint32_t v) { g_db->SetValue(o.offset, o.width, v, g_db->mib_nv, DB_NO_VALIDATE); }
void nv_bytes(db_object o, const uint8_t* p, uint32_t n) {
  g_db->SetString(o.offset, 4, p, n, g_db->mib_nv, DB_NO_VALIDATE);
}

void show(const std::string& text) {
  g_msg->m_defaults.Load();
  g_renderer->Load(g_parser, g_msg, reinterpret_cast<const uint8_t*>(text.data()),
                 static_cast<uint32_t>(text.size()));
  g_renderer->NextPage(g_parser, g_msg);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_db = fuzz_database_start(1u << 20);
  g_db->LoadDefaults(0);
  g_db->SetHooksEnabled(false);
  set_nv(nv::dmsSignType, 6);
  set_nv(nv::vmsSignWidthPixels, 64);
  set_nv(nv::vmsSignHeightPixels, 24);
  set_nv(nv::dmsColorScheme, 4);
  g_multi_hooks = {};
  g_render_hooks = {};
  g_multi_hooks.module_info = [](uint32_t, multi_module_info* out) { *out = {5, 3}; };
  g_multi_hooks.file_exists = [](const char* name) { return std::string(name) == "Bitmaps/pic.bmp"; };
  g_render_hooks.file_contents = [](const char* name, const uint8_t** data, uint32_t* size) {
    if (std::string(name) != "Bitmaps/pic.bmp") return false;
    *data = g_file.data();
    *size = static_cast<uint32_t>(g_file.size());
    return true;
  };
  g_renderer = new CRender();
  g_msg = new CMessage(&g_renderer->Surface());
  g_parser = new CMULTIParser();
  g_renderer->SizeSurface(24, 64, 15);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  char tag[64];
  if ((data[0] & 1) == 0) {
    // The file lies in a buffer of exactly its size.
    g_file.assign(data + 3, data + size);
    g_file.shrink_to_fit();
    std::snprintf(tag, sizeof tag, "[ms11,g,%u,%u,pic.bmp]", data[1] % 70, data[2] % 30);
    show(tag);
    return 0;
  }
  if (size < 13) return 0;
  set_nv(nv::dmsGraphicNumber(0), 7);
  set_nv(nv::dmsGraphicStatus(0), 4);
  set_nv(nv::dmsGraphicHeight(0), data[1]);
  set_nv(nv::dmsGraphicWidth(0), data[2] | (data[3] & 1) << 8);
  set_nv(nv::dmsGraphicType(0), data[3] >> 1);
  set_nv(nv::dmsGraphicTransparentEnabled(0), data[4] & 1);
  nv_bytes(nv::dmsGraphicTransparentColor(0), data + 7, 1 + data[4] % 3);
  const uint32_t block = (uint32_t(data[10]) << 8 | data[11]) % 1024 + 1;
  g_db->SetValue(vol::dmsGraphicBlockSize.offset, 2, block, g_db->mib_v, DB_NO_VALIDATE);
  const uint8_t* bits = data + 12;
  const size_t left = size - 12;
  for (uint32_t b = 0; b < 63; ++b) {
    const size_t at = static_cast<size_t>(b) * block;
    const uint32_t n = at < left ? static_cast<uint32_t>(std::min<size_t>(block, left - at)) : 0;
    nv_bytes(nv::dmsGraphicBitmap(0, b), n ? bits + at : nullptr, n);
  }
  std::snprintf(tag, sizeof tag, "[g7,%u,%u]", data[5] % 70 + 1, data[6] % 30 + 1);
  show(tag);
  return 0;
}
