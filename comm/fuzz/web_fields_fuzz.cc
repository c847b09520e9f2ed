// Fuzz target: what a web client controls after the HTTP layer. The first
// byte picks the use of the rest: even, the body of a POST whose form fields
// are written through the internal set; odd, a page template (an uploaded
// file) expanded with MIB values read through the internal get. Over the
// whole MIB and a database with factory defaults.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "comm/web/web_pages.h"
#include "ntcip/fuzz/fuzz_snmp_engine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_snmp_engine_start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const uint32_t length = static_cast<uint32_t>(size - 1);
  if ((data[0] & 1) == 0) {
    // The body lies in a buffer of exactly its size.
    std::unique_ptr<char[]> body(new char[length ? length : 1]);
    std::memcpy(body.get(), text, length);
    web_apply_fields(body.get(), length);
  } else {
    std::vector<char> in(text, text + length);
    in.push_back('\0');
    static std::vector<char> out(64 * 1024);
    web_expand(in.data(), out.data(), static_cast<uint32_t>(out.size()));
  }
  return 0;
}
