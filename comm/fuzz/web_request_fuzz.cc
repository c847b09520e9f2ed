// Fuzz target: the bytes a web client sends on one connection, read by the
// HTTP server: request line, header block, Basic authorisation and the body
// of a POST. Pages under /private ask for a user and password; the notify
// callback answers everything but "/" itself, which is looked up as a file.
// (Resources are flat names: "/private.htm".)
#include <cstdint>
#include <cstring>
#include <memory>

#include "comm/web/http_server.h"

namespace {

CHAR kUser[] = "admin";
CHAR kPassword[] = "sign";
CHAR kRealm[] = "controller";

UINT authenticate(NX_HTTP_SERVER*, UINT, CHAR* resource, CHAR** name, CHAR** password, CHAR** realm) {
  if (std::strncmp(resource, "/private", 8) != 0) return 0;
  *name = kUser;
  *password = kPassword;
  *realm = kRealm;
  return NX_HTTP_BASIC_AUTHENTICATE;
}

UINT notify(NX_HTTP_SERVER*, UINT, CHAR* resource, http_request* request) {
  // What a page handler reads of the request.
  CHAR field[64];
  for (UINT i = 0; nx_http_server_query_get(request, i, field, sizeof field) == NX_SUCCESS; ++i) {
  }
  if (request->content_length > HTTP_CONTENT_MAX) __builtin_trap();
  return std::strcmp(resource, "/") == 0 ? 0 : 1;
}

void discard(const void*, uint32_t, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto server = std::make_unique<NX_HTTP_SERVER>();
  *server = NX_HTTP_SERVER{};
  server->authenticate = authenticate;
  server->notify = notify;
  http_server_serve_bytes(server.get(), data, static_cast<uint32_t>(size), discard, nullptr);
  return 0;
}
