// Fuzz target: arbitrary bytes as a font file read from the file system,
// loaded and then drawn glyph by glyph. The first byte picks the form of
// the rest: even, the zlib stream as stored; odd, the font file itself,
// compressed here, so that the search reaches the layout behind the stream.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "display/font/orvel_font.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/trace/trace.h"
#include "rtos_host.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  trace_set_sink([](int, const char*) {});
  rtos::kernel_config c;
  c.memory_size = 2u << 20;
  rtos::kernel_start(c, [](void* mem) {
    uint8_t* cursor = static_cast<uint8_t*>(mem);
    g_gpbuffer.Create(&cursor, 1u << 20);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> image(data + 1, data + size);
  if (data[0] & 1) {
    uLongf length = compressBound(static_cast<uLong>(image.size()));
    std::vector<uint8_t> z(length);
    if (compress(z.data(), &length, image.data(), static_cast<uLong>(image.size())) != Z_OK) std::abort();
    z.resize(length);
    image.swap(z);
  }
  static COrvelFont font;
  if (!font.LoadImage("fuzz.fnt", image.data(), static_cast<uint32_t>(image.size()))) return 0;
  const uint32_t height = font.GetHeight();
  uint32_t lit = font.GetCharSpacing() + font.GetLineSpacing();
  for (uint32_t c = 0; c < 256; ++c) {
    const uint32_t width = font.GetCharWidth(c);
    for (uint32_t x = 0; x < width; ++x)
      for (uint32_t y = 0; y < height; ++y) lit += font.IsPixelSet(c, x, y);
  }
  // A pixel outside a glyph is never lit.
  if (font.IsPixelSet(65, font.GetCharWidth(65), 0) || font.IsPixelSet(65, 0, height)) std::abort();
  font.ReleaseBuffer();
  static volatile uint32_t sink;
  sink = lit;  // keeps the reads from being optimised away
  return 0;
}
