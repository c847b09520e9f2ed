// The controller's web pages: a status page, messaging, a quick-message
// editor, diagnostics, a view of the running message and the message list.
// Each page is a template whose "$%<oid>,<TYPE>#$" tokens are replaced by
// MIB values read through the internal get; the expanded page is written as
// a RAM file, which the HTTP server then sends. Posted form fields
// ("$*<oid>,<type>,<flags>#$") are written through the internal set.
//
// The server is created at the network start and stays stopped until
// http_server_enable(1) is called; nothing in the controller calls it, so a
// field unit does not listen unless its integrator starts it.
#pragma once

#include <cstdint>

#include "comm/web/http_server.h"
#include "nx_api.h"

constexpr uint32_t WEB_BUFFER_SIZE = 262144;
constexpr uint32_t WEB_OID_MAX = 159;
constexpr uint32_t WEB_VALUE_MAX = 2000;
constexpr uint32_t WEB_RAM_FILE = 0x2000;
constexpr uint32_t WEB_MESSAGE_SLOTS = 550;

// Creates the server (thread stack taken at *cursor, which advances by
// 16384 bytes), takes its port from quorHostHttpPort and applies a pending
// stop request of quorFeatureSet.
void http_server_setup(NX_IP* ip, uint8_t** cursor, NX_PACKET_POOL* pool);
// Starts the server when the flag becomes non-zero while stopped, stops it
// when it becomes zero while running; remembers the flag.
void http_server_enable(int flag);
int http_server_enabled();
// Installs setup and stop as the communication task's web services.
void web_install_services();
// Stops and deletes the server (tests, before their kernel goes).
void http_server_teardown();
NX_HTTP_SERVER* http_server_instance();

// The server's callbacks.
UINT http_authentication_check(NX_HTTP_SERVER* server, UINT request_type, CHAR* resource, CHAR** name,
                               CHAR** password, CHAR** realm);
UINT http_request_notify(NX_HTTP_SERVER* server, UINT request_type, CHAR* resource, http_request* request);

// --- Pieces, open for tests.
// Expands template text (zero-terminated) into out (at most size - 1
// characters, zero-terminated); returns the length written.
uint32_t web_expand(const char* in, char* out, uint32_t size);
// Applies every posted field of a body, in order; returns the fields set.
uint32_t web_apply_fields(const char* body, uint32_t length);
// The built-in copy of a file: null when there is none.
const char* web_builtin(const char* name, uint32_t* size);
// Writes "list.html" for page index `page`; 1 when written.
int web_build_list(uint32_t page);
