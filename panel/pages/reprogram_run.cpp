#include "panel/pages/reprogram_run.h"

#include <zlib.h>

#include <cstring>
#include <strings.h>

#include "frame/trace/trace.h"
#include "panel/pages/can_reprogram.h"
#include "panel/pages/can_reprogram_hex.h"
#include "panel/pages/reprogram_loaders.h"

namespace {

constexpr size_t BLOCK = 0x80000;

int HexDigit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The header value: upper-case hex digits after "=" and the character
// that follows it, accumulated into 8 bits.
uint8_t HeaderValue(const uint8_t* line, size_t length) {
  const uint8_t* eq = static_cast<const uint8_t*>(std::memchr(line, '=', length));
  if (!eq) return 0;
  uint8_t v = 0;
  for (size_t i = (eq - line) + 2; i < length; ++i) {
    int d = HexDigit(line[i]);
    if (d < 0) break;
    v = static_cast<uint8_t>(v << 4 | d);
  }
  return v;
}

bool StartsWith(const uint8_t* line, size_t length, const char* key) {
  size_t n = std::strlen(key);
  return length >= n && std::memcmp(line, key, n) == 0;
}

// The 16-bit field at `at + 3` (the record's address), -1 when not hex.
int Field16(const uint8_t* text, size_t size, size_t at) {
  if (size - at < 7) return -1;
  int v = 0;
  for (size_t i = 0; i < 4; ++i) {
    int d = HexDigit(text[at + 3 + i]);
    if (d < 0) return -1;
    v = v << 4 | d;
  }
  return v;
}

size_t LineLength(const uint8_t* text, size_t size, size_t at) {
  const uint8_t* nl = static_cast<const uint8_t*>(std::memchr(text + at, '\n', size - at));
  return nl ? static_cast<size_t>(nl - (text + at)) + 1 : size - at;
}

}  // namespace

bool reprogram_check_file(const char* name, const uint8_t* text, size_t size, uint32_t menu, uint8_t hardware,
                          uint8_t* node, size_t* start) {
  size_t n = std::strlen(name);
  if (n >= 4 && strcasecmp(name + n - 4, ".bin") == 0) {
    *node = 128;
    *start = 0;
    return true;
  }
  *node = 0;
  size_t at = 0;
  bool revision = false, device = false;
  while (at < size && text[at] != ':') {
    size_t length = LineLength(text, size, at);
    const uint8_t* line = text + at;
    size_t key = std::min<size_t>(length, 24);
    if (!revision && StartsWith(line, key, "HEADER REVISION =")) {
      if (HeaderValue(line, length) != 1) return false;
      revision = true;
    } else if (!device && StartsWith(line, key, "DEVICE TYPE =")) {
      if (HeaderValue(line, length) != hardware) return false;
      device = true;
    }
    at += length;
  }
  *start = at;
  if (at >= size) return false;  // no records at all
  if (menu == REPROGRAM_MENU_MODULES) {
    size_t first = LineLength(text, size, at);
    size_t which = at;
    if (at + first < size && LineLength(text, size, at + first) != first) which = at + first;
    if (text[which] != ':' || Field16(text, size, which) <= 0) return false;
  }
  // Record by record, CR LF assumed; data addresses never fall within a run.
  int last = -1;
  while (at < size) {
    if (text[at] != ':' || size - at < 11) return false;
    int ll = HexDigit(text[at + 1]) < 0 || HexDigit(text[at + 2]) < 0 ? -1
                                                                        : HexDigit(text[at + 1]) << 4 | HexDigit(text[at + 2]);
    int address = Field16(text, size, at);
    int t7 = HexDigit(text[at + 7]), t8 = HexDigit(text[at + 8]);
    if (ll < 0 || address < 0 || t7 < 0 || t8 < 0 || size - at < 11 + 2 * static_cast<size_t>(ll)) return false;
    if (t7 << 4 | t8) {
      last = -1;
    } else {
      if (address < last) return false;
      last = address;
    }
    at += 9 + 2 * static_cast<size_t>(ll) + 4;
  }
  return true;
}

void reprogram_modules(reprogram_request& request, reprogram_host& host, can_reprogram& prog) {
  uint8_t* image = host.TakeBlock();
  uint8_t* loader = image ? host.TakeBlock() : nullptr;
  if (!loader) {
    if (image) host.ReleaseBlock(image);
    request.state = REPROGRAM_NO_MEMORY;
    return;
  }
  // Whatever stops the run before a result ends it as a failure, so that
  // the page never waits for ever.
  uint8_t result = REPROGRAM_FAILURE;
  size_t loader_size = 0, image_size = 0;
  if (host.ReadFile("ramloader.hex", loader, BLOCK, &loader_size))
    monitor_printf_debug("using ramloader.hex file\n");
  else
    loader_size = 0;
  if (host.SetLocalPath()) {
    uint8_t node = 0;
    size_t start = 0;
    if (!host.ReadFile(request.file, image, BLOCK, &image_size)) {
      monitor_printf_debug("cannot read %s\n", request.file);
    } else if (!reprogram_check_file(request.file, image, image_size, request.menu, host.Hardware(request.menu), &node,
                                     &start)) {
      result = REPROGRAM_BAD_FILE;
    } else {
      const uint8_t* builtin = nullptr;
      uint32_t builtin_size = 0;
      if (request.menu == REPROGRAM_MENU_MODULES) {
        monitor_printf_debug("Ramloaded size %d  device %d file %s\n", int(loader_size), request.type, request.file);
        builtin = request.type < 90 ? g_loader_module_small : g_loader_module_large;
        builtin_size = request.type < 90 ? g_loader_module_small_size : g_loader_module_large_size;
      } else if (request.menu == REPROGRAM_MENU_PRODUCT_BOARD) {
        builtin = g_loader_product_board;
        builtin_size = g_loader_product_board_size;
      } else {
        bool hcb = host.HcbDistributionBoard();
        builtin = hcb ? g_loader_distribution_hcb : g_loader_distribution;
        builtin_size = hcb ? g_loader_distribution_hcb_size : g_loader_distribution_size;
      }
      bool have_loader = loader_size > 0;
      if (!have_loader) {
        uLongf n = BLOCK;
        have_loader = uncompress(loader, &n, builtin, builtin_size) == Z_OK;
        loader_size = n;
        if (!have_loader) monitor_printf_debug("Ramloader Decompression Error\n");
      }
      if (have_loader) {
        const char* l = reinterpret_cast<const char*>(loader);
        const uint8_t* img = image + start;
        size_t size = image_size - start;
        bool ok;
        if (request.menu == REPROGRAM_MENU_MODULES) {
          ok = prog.ProgramPFC(l, loader_size, img, size, node, request.type);
        } else if (request.menu == REPROGRAM_MENU_PRODUCT_BOARD) {
          monitor_printf_debug("Program Micro 1\n");
          ok = prog.ProgramDistributionBoard(l, loader_size, reinterpret_cast<const char*>(img), size, 1,
                                             request.type, 1);
        } else {
          monitor_printf_debug("Program Micro 2\n");
          ok = prog.ProgramDistributionBoard(l, loader_size, reinterpret_cast<const char*>(img), size, 2, 36, 2);
        }
        result = ok ? REPROGRAM_SUCCESS : REPROGRAM_FAILURE;
      }
    }
    host.ClearLocalPath();
  }
  request.state = result;
  host.ReleaseBlock(loader);
  host.ReleaseBlock(image);
}
