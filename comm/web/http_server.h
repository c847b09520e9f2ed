// A small HTTP/1.0 server on the IP stack: one thread, one connection at a
// time, Basic authentication, GET and POST. Each request is handed to the
// owner's notify callback, which may rewrite the resource; the server then
// sends the file of that name from the file system. Requests are read with
// hard bounds (line, header block, body) so a peer cannot overrun or stall it
// beyond the receive time-out.
#pragma once

#include <cstdint>

#include "nx_api.h"
#include "tx_api.h"

enum : UINT {
  NX_HTTP_SERVER_GET_REQUEST = 1,
  NX_HTTP_SERVER_POST_REQUEST = 2,
  NX_HTTP_BASIC_AUTHENTICATE = 228,
};

constexpr uint32_t HTTP_LINE_MAX = 512;        // request line and each header line
constexpr uint32_t HTTP_HEADER_MAX = 4096;     // the whole header block
constexpr uint32_t HTTP_RESOURCE_MAX = 100;    // path part of the request target
constexpr uint32_t HTTP_QUERY_MAX = 400;       // query part
constexpr uint32_t HTTP_CONTENT_MAX = 1800;    // body of a POST
constexpr uint32_t HTTP_CREDENTIAL_MAX = 128;  // decoded "user:password"
constexpr ULONG HTTP_RECEIVE_WAIT = 1000;      // ticks a silent client is given
constexpr uint32_t HTTP_STACK_SIZE = 16384;

// One parsed request, as the notify callback sees it.
struct http_request {
  UINT type;  // NX_HTTP_SERVER_GET_REQUEST or _POST_REQUEST
  char query[HTTP_QUERY_MAX + 1];
  uint8_t content[HTTP_CONTENT_MAX + 1];  // zero-terminated
  uint32_t content_length;
};

struct NX_HTTP_SERVER;

// Out-parameters point at texts that stay valid until the request ends.
typedef UINT (*http_authenticate_fn)(NX_HTTP_SERVER* server, UINT request_type, CHAR* resource, CHAR** name,
                                     CHAR** password, CHAR** realm);
// The resource buffer holds HTTP_RESOURCE_MAX + 1 bytes and may be rewritten.
typedef UINT (*http_request_notify_fn)(NX_HTTP_SERVER* server, UINT request_type, CHAR* resource,
                                      http_request* request);

struct NX_HTTP_SERVER {
  const CHAR* name;
  NX_IP* ip;
  NX_PACKET_POOL* pool;
  UINT port;
  TX_THREAD thread;
  NX_TCP_SOCKET socket;
  TX_EVENT_FLAGS_GROUP events;
  http_authenticate_fn authenticate;
  http_request_notify_fn notify;
  volatile UINT listening;  // 1 while started
  uint32_t created;
  ULONG requests;  // requests answered (any status)
  // Work areas of the one connection served at a time.
  char header[HTTP_HEADER_MAX + 1];
  uint32_t header_length;
  uint32_t header_used;
  char resource[HTTP_RESOURCE_MAX + 1];
  http_request request;
  // Set only while http_server_serve_bytes runs: where the answer goes.
  void (*answer_out)(const void* data, uint32_t size, void* context);
  void* answer_context;
};

// Creates the server and its thread (not listening yet).
UINT nx_http_server_create(NX_HTTP_SERVER* server, const CHAR* name, NX_IP* ip, VOID* stack, ULONG stack_size,
                           NX_PACKET_POOL* pool, http_authenticate_fn authenticate, http_request_notify_fn notify);
// Listens on the port (set before starting); stop ends listening and any
// connection being served.
UINT nx_http_server_start(NX_HTTP_SERVER* server);
UINT nx_http_server_stop(NX_HTTP_SERVER* server);
// Tears the server down (tests).
UINT nx_http_server_delete(NX_HTTP_SERVER* server);

// Serves one request read from the given bytes instead of a connection, the
// answer handed to out: the parsing path on its own (tests and fuzzing).
void http_server_serve_bytes(NX_HTTP_SERVER* server, const uint8_t* data, uint32_t size,
                             void (*out)(const void* data, uint32_t size, void* context), void* context);

// Query parameter `index` (0 first) of the request, "key=value" as sent, at
// most size - 1 bytes, zero-terminated. NX_NOT_SUCCESSFUL when there is none.
UINT nx_http_server_query_get(const http_request* request, UINT index, CHAR* out, UINT size);
