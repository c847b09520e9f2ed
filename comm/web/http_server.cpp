#include "comm/web/http_server.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "database/files/fx_shim.h"
#include "frame/trace/trace.h"

namespace {

constexpr ULONG kStartFlag = 0x1;
constexpr UINT kPriority = 16;
constexpr ULONG kSendChunk = 1024;
constexpr ULONG kSendWait = 500;

// Bytes of the connection, read packet by packet.
struct reader {
  NX_HTTP_SERVER* server;
  NX_PACKET* packet = nullptr;
  ULONG offset = 0;
  ULONG length = 0;
  // In place of the connection, when set.
  const uint8_t* bytes = nullptr;
  uint32_t bytes_left = 0;

  ~reader() {
    if (packet) nx_packet_release(packet);
  }
  // Up to max bytes; 0 when the connection ended or stayed silent.
  uint32_t Read(void* out, uint32_t max) {
    if (bytes) {
      const uint32_t n = max < bytes_left ? max : bytes_left;
      std::memcpy(out, bytes, n);
      bytes += n;
      bytes_left -= n;
      return n;
    }
    if (!packet || offset >= length) {
      if (packet) nx_packet_release(packet);
      packet = nullptr;
      if (nx_tcp_socket_receive(&server->socket, &packet, HTTP_RECEIVE_WAIT) != NX_SUCCESS) {
        packet = nullptr;
        return 0;
      }
      offset = 0;
      nx_packet_length_get(packet, &length);
      if (length == 0) return Read(out, max);
    }
    ULONG copied = 0;
    if (nx_packet_data_copy(packet, offset, out, max, &copied) != NX_SUCCESS) return 0;
    offset += copied;
    return copied;
  }
};

bool send_bytes(NX_HTTP_SERVER* s, const void* data, uint32_t size) {
  if (s->answer_out) {
    s->answer_out(data, size, s->answer_context);
    return true;
  }
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (size) {
    const ULONG n = size < kSendChunk ? size : kSendChunk;
    NX_PACKET* packet = nullptr;
    if (nx_packet_allocate(s->pool, &packet, NX_TCP_PACKET, kSendWait) != NX_SUCCESS) return false;
    if (nx_packet_data_append(packet, p, n, s->pool, kSendWait) != NX_SUCCESS ||
        nx_tcp_socket_send(&s->socket, packet, kSendWait) != NX_SUCCESS) {
      nx_packet_release(packet);
      return false;
    }
    p += n;
    size -= n;
  }
  return true;
}

const char* reason_of(UINT code) {
  switch (code) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    default: return "Internal Server Error";
  }
}

void send_status(NX_HTTP_SERVER* s, UINT code, const char* realm = nullptr) {
  char head[300];
  char body[80];
  const int body_length = std::snprintf(body, sizeof body, "%u %s\r\n", code, reason_of(code));
  int n = std::snprintf(head, sizeof head, "HTTP/1.0 %u %s\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n",
                        code, reason_of(code), body_length);
  if (realm) n += std::snprintf(head + n, sizeof head - n, "WWW-Authenticate: Basic realm=\"%s\"\r\n", realm);
  n += std::snprintf(head + n, sizeof head - n, "Connection: close\r\n\r\n");
  send_bytes(s, head, static_cast<uint32_t>(n));
  send_bytes(s, body, static_cast<uint32_t>(body_length));
}

const char* content_type(const char* name) {
  const char* dot = std::strrchr(name, '.');
  if (!dot) return "application/octet-stream";
  if (!strcasecmp(dot, ".html") || !strcasecmp(dot, ".htm")) return "text/html";
  if (!strcasecmp(dot, ".css")) return "text/css";
  if (!strcasecmp(dot, ".js")) return "application/javascript";
  if (!strcasecmp(dot, ".gif")) return "image/gif";
  if (!strcasecmp(dot, ".png")) return "image/png";
  if (!strcasecmp(dot, ".jpg")) return "image/jpeg";
  if (!strcasecmp(dot, ".ico")) return "image/x-icon";
  return nullptr;
}

// A flat file name of the web's kinds: no directories, no "..", nothing a
// peer could use to reach other files of the file system.
bool resource_allowed(const char* resource) {
  if (resource[0] != '/') return false;
  const char* name = resource + 1;
  if (*name == '\0') return true;  // "/" is the status page
  if (*name == '.') return false;
  for (const char* p = name; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (!(std::isalnum(c) || c == '.' || c == '_' || c == '-')) return false;
  }
  if (std::strstr(name, "..")) return false;
  return content_type(name) != nullptr && std::strcmp(content_type(name), "application/octet-stream") != 0;
}

// Strict base64: whole groups, the alphabet, "=" only as the last one or two.
bool decode_base64(const char* text, uint32_t length, char* out, uint32_t size, uint32_t* out_length) {
  if (length == 0 || length % 4 != 0 || length / 4 * 3 > size) return false;
  uint32_t n = 0;
  for (uint32_t i = 0; i < length; i += 4) {
    uint32_t group = 0;
    int pad = 0;
    for (uint32_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      int v;
      if (c >= 'A' && c <= 'Z') v = c - 'A';
      else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
      else if (c >= '0' && c <= '9') v = c - '0' + 52;
      else if (c == '+') v = 62;
      else if (c == '/') v = 63;
      else if (c == '=' && i + 4 == length && k >= 2) {
        v = 0;
        ++pad;
      } else {
        return false;
      }
      if (pad && c != '=') return false;
      group = group << 6 | static_cast<uint32_t>(v);
    }
    out[n++] = static_cast<char>(group >> 16);
    if (pad < 2) out[n++] = static_cast<char>(group >> 8 & 0xFF);
    if (pad < 1) out[n++] = static_cast<char>(group & 0xFF);
  }
  *out_length = n;
  return true;
}

// The value of header `name` (case ignored) in the header block, its length
// in *length; null when absent.
const char* header_value(const char* block, const char* name, uint32_t* length) {
  const size_t name_length = std::strlen(name);
  const char* line = std::strchr(block, '\n');  // skip the request line
  while (line) {
    ++line;
    if (*line == '\r' || *line == '\n' || *line == '\0') return nullptr;
    const char* end = std::strchr(line, '\n');
    if (!end) end = line + std::strlen(line);
    if (static_cast<size_t>(end - line) > name_length && !strncasecmp(line, name, name_length) &&
        line[name_length] == ':') {
      const char* v = line + name_length + 1;
      while (v < end && (*v == ' ' || *v == '\t')) ++v;
      const char* e = end;
      while (e > v && (e[-1] == '\r' || e[-1] == ' ' || e[-1] == '\t')) --e;
      *length = static_cast<uint32_t>(e - v);
      return v;
    }
    line = *end ? end : nullptr;
  }
  return nullptr;
}

bool authorised(NX_HTTP_SERVER* s, UINT type, const char** realm_out) {
  if (!s->authenticate) return true;
  CHAR* name = nullptr;
  CHAR* password = nullptr;
  CHAR* realm = nullptr;
  if (s->authenticate(s, type, s->resource, &name, &password, &realm) != NX_HTTP_BASIC_AUTHENTICATE) return true;
  *realm_out = realm ? realm : "";
  uint32_t length = 0;
  const char* value = header_value(s->header, "Authorization", &length);
  if (!value || length < 6 || strncasecmp(value, "Basic ", 6) != 0) return false;
  value += 6;
  length -= 6;
  while (length && *value == ' ') {
    ++value;
    --length;
  }
  char decoded[HTTP_CREDENTIAL_MAX + 1];
  uint32_t decoded_length = 0;
  if (!decode_base64(value, length, decoded, HTTP_CREDENTIAL_MAX, &decoded_length)) return false;
  char expected[2 * HTTP_CREDENTIAL_MAX + 2];
  const int n = std::snprintf(expected, sizeof expected, "%s:%s", name ? name : "", password ? password : "");
  return n >= 0 && static_cast<uint32_t>(n) == decoded_length && std::memcmp(expected, decoded, decoded_length) == 0;
}

// Reads the header block; 0 when it is complete, else the status to answer
// (0xFFFF: the connection ended first).
UINT read_header(NX_HTTP_SERVER* s, reader& r) {
  s->header_length = 0;
  for (;;) {
    const uint32_t room = HTTP_HEADER_MAX - s->header_length;
    if (room == 0) return 431;
    const uint32_t got = r.Read(s->header + s->header_length, room);
    if (got == 0) return 0xFFFF;
    s->header_length += got;
    s->header[s->header_length] = '\0';
    // A NUL inside the header block is no text.
    if (std::strlen(s->header) != s->header_length) return 400;
    const char* first_line_end = std::strchr(s->header, '\n');
    if (!first_line_end && s->header_length > HTTP_LINE_MAX) return 414;
    if (first_line_end && static_cast<uint32_t>(first_line_end - s->header) > HTTP_LINE_MAX) return 414;
    const char* end = std::strstr(s->header, "\r\n\r\n");
    uint32_t terminator = 4;
    const char* bare = std::strstr(s->header, "\n\n");
    if (!end || (bare && bare < end)) {
      end = bare;
      terminator = 2;
    }
    // Every line of the block, complete or not, stays within its bound.
    const char* limit = end ? end : s->header + s->header_length;
    for (const char* line = s->header; line < limit;) {
      const char* nl = static_cast<const char*>(std::memchr(line, '\n', limit - line));
      const char* line_end = nl ? nl : limit;
      if (static_cast<uint32_t>(line_end - line) > HTTP_LINE_MAX) return line == s->header ? 414 : 431;
      if (!nl) break;
      line = nl + 1;
    }
    if (end) {
      s->header_used = static_cast<uint32_t>(end - s->header) + terminator;
      return 0;
    }
  }
}

// Method and target of the request line into the server's fields.
UINT parse_request_line(NX_HTTP_SERVER* s, UINT* type) {
  const char* p = s->header;
  if (!strncmp(p, "GET ", 4)) {
    *type = NX_HTTP_SERVER_GET_REQUEST;
    p += 4;
  } else if (!strncmp(p, "POST ", 5)) {
    *type = NX_HTTP_SERVER_POST_REQUEST;
    p += 5;
  } else {
    const char* sp = std::strchr(p, ' ');
    const char* nl = std::strchr(p, '\n');
    return sp && (!nl || sp < nl) && sp != p ? 405 : 400;
  }
  const char* target_end = p;
  while (*target_end && *target_end != ' ' && *target_end != '\r' && *target_end != '\n') ++target_end;
  if (*target_end != ' ' || strncmp(target_end + 1, "HTTP/", 5) != 0) return 400;
  const char* question = static_cast<const char*>(std::memchr(p, '?', target_end - p));
  const char* path_end = question ? question : target_end;
  const size_t path_length = static_cast<size_t>(path_end - p);
  if (path_length == 0) return 400;
  if (path_length > HTTP_RESOURCE_MAX) return 414;
  std::memcpy(s->resource, p, path_length);
  s->resource[path_length] = '\0';
  s->request.query[0] = '\0';
  if (question) {
    const size_t query_length = static_cast<size_t>(target_end - question - 1);
    if (query_length > HTTP_QUERY_MAX) return 414;
    std::memcpy(s->request.query, question + 1, query_length);
    s->request.query[query_length] = '\0';
  }
  if (!resource_allowed(s->resource)) return std::strstr(s->resource, "..") ? 400 : 404;
  return 0;
}

// Reads the body of a POST; 0 or the status to answer.
UINT read_content(NX_HTTP_SERVER* s, reader& r) {
  s->request.content_length = 0;
  s->request.content[0] = 0;
  uint32_t length = 0;
  const char* value = header_value(s->header, "Content-Length", &length);
  if (!value) return 411;
  if (length == 0 || length > 9) return length ? 413 : 400;
  uint32_t wanted = 0;
  for (uint32_t i = 0; i < length; ++i) {
    if (value[i] < '0' || value[i] > '9') return 400;
    wanted = wanted * 10 + static_cast<uint32_t>(value[i] - '0');
  }
  if (wanted > HTTP_CONTENT_MAX) return 413;
  uint32_t have = s->header_length - s->header_used;
  if (have > wanted) have = wanted;
  std::memcpy(s->request.content, s->header + s->header_used, have);
  while (have < wanted) {
    const uint32_t got = r.Read(s->request.content + have, wanted - have);
    if (got == 0) return 400;
    have += got;
  }
  s->request.content[have] = 0;
  s->request.content_length = have;
  return 0;
}

void send_file(NX_HTTP_SERVER* s) {
  uint32_t size = 0;
  if (fx_directory_information_get(nullptr, s->resource, nullptr, &size, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr) != FX_SUCCESS ||
      !resource_allowed(s->resource)) {
    send_status(s, 404);
    return;
  }
  FX_FILE file{};
  if (fx_file_open(nullptr, &file, s->resource, FX_OPEN_FOR_READ) != FX_SUCCESS) {
    send_status(s, 404);
    return;
  }
  char head[200];
  const int n = std::snprintf(head, sizeof head,
                              "HTTP/1.0 200 OK\r\nContent-Type: %s\r\nContent-Length: %u\r\nCache-Control: no-cache\r\n"
                              "Connection: close\r\n\r\n",
                              content_type(s->resource), size);
  bool ok = send_bytes(s, head, static_cast<uint32_t>(n));
  uint8_t chunk[kSendChunk];
  uint32_t sent = 0;
  while (ok && sent < size) {
    uint32_t got = 0;
    const uint32_t status = fx_file_read(&file, chunk, sizeof chunk, &got);
    if (got == 0 || (status != FX_SUCCESS && status != FX_END_OF_FILE)) break;
    ok = send_bytes(s, chunk, got);
    sent += got;
  }
  fx_file_close(&file);
}

void serve(NX_HTTP_SERVER* s, reader& r) {
  UINT status = read_header(s, r);
  if (status == 0xFFFF) return;
  UINT type = 0;
  if (status == 0) status = parse_request_line(s, &type);
  if (status == 0) {
    const char* realm = nullptr;
    if (!authorised(s, type, &realm)) {
      send_status(s, 401, realm);
      ++s->requests;
      return;
    }
    s->request.type = type;
    s->request.content_length = 0;
    s->request.content[0] = 0;
    if (type == NX_HTTP_SERVER_POST_REQUEST) status = read_content(s, r);
  }
  if (status != 0) {
    send_status(s, status);
    ++s->requests;
    return;
  }
  const UINT answer = s->notify ? s->notify(s, type, s->resource, &s->request) : 0;
  if (answer == 0) send_file(s);
  ++s->requests;
}

// Thread entries take a 32-bit word: servers are found by their index here.
constexpr ULONG kMaxServers = 4;
NX_HTTP_SERVER* s_servers[kMaxServers];

void server_entry(ULONG input) {
  NX_HTTP_SERVER* s = input < kMaxServers ? s_servers[input] : nullptr;
  if (!s) return;
  for (;;) {
    if (!s->listening) {
      ULONG actual = 0;
      tx_event_flags_get(&s->events, kStartFlag, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
      continue;
    }
    if (nx_tcp_server_socket_accept(&s->socket, NX_WAIT_FOREVER) == NX_SUCCESS && s->listening) {
      reader r{s};
      serve(s, r);
    }
    nx_tcp_socket_disconnect(&s->socket, 10);
    nx_tcp_server_socket_unaccept(&s->socket);
    if (s->listening) nx_tcp_server_socket_relisten(s->ip, s->port, &s->socket);
  }
}

}  // namespace

UINT nx_http_server_create(NX_HTTP_SERVER* server, const CHAR* name, NX_IP* ip, VOID* stack, ULONG stack_size,
                           NX_PACKET_POOL* pool, http_authenticate_fn authenticate, http_request_notify_fn notify) {
  if (!server || !ip || !stack || !pool) return NX_PTR_ERROR;
  if (server->created) return NX_ALREADY_CREATED;
  server->name = name;
  server->ip = ip;
  server->pool = pool;
  server->port = 80;
  server->authenticate = authenticate;
  server->notify = notify;
  server->listening = 0;
  server->requests = 0;
  UINT status = nx_tcp_socket_create(ip, &server->socket, "HTTP Server Socket", NX_IP_NORMAL, NX_FRAGMENT_OKAY,
                                     NX_IP_TIME_TO_LIVE, 8192, nullptr, nullptr);
  if (status != NX_SUCCESS) return status;
  status = tx_event_flags_create(&server->events, "HTTP Server");
  if (status != TX_SUCCESS) {
    nx_tcp_socket_delete(&server->socket);
    return status;
  }
  ULONG slot = 0;
  while (slot < kMaxServers && s_servers[slot]) ++slot;
  if (slot == kMaxServers) status = NX_NOT_SUCCESSFUL;
  if (status == TX_SUCCESS) {
    s_servers[slot] = server;
    status = tx_thread_create(&server->thread, const_cast<CHAR*>(name), server_entry, slot, stack, stack_size, kPriority,
                            kPriority, TX_NO_TIME_SLICE, TX_AUTO_START);
    if (status != TX_SUCCESS) s_servers[slot] = nullptr;
  }
  if (status != TX_SUCCESS) {
    tx_event_flags_delete(&server->events);
    nx_tcp_socket_delete(&server->socket);
    return status;
  }
  server->created = 1;
  return NX_SUCCESS;
}

UINT nx_http_server_start(NX_HTTP_SERVER* server) {
  if (!server || !server->created) return NX_PTR_ERROR;
  if (server->listening) return NX_ALREADY_ENABLED;
  const UINT status = nx_tcp_server_socket_listen(server->ip, server->port, &server->socket, 5, nullptr);
  if (status != NX_SUCCESS) return status;
  server->listening = 1;
  tx_event_flags_set(&server->events, kStartFlag, TX_OR);
  return NX_SUCCESS;
}

UINT nx_http_server_stop(NX_HTTP_SERVER* server) {
  if (!server || !server->created) return NX_PTR_ERROR;
  if (!server->listening) return NX_SUCCESS;
  server->listening = 0;
  nx_tcp_server_socket_unlisten(server->ip, server->port);
  tx_thread_wait_abort(&server->thread);
  return NX_SUCCESS;
}

UINT nx_http_server_delete(NX_HTTP_SERVER* server) {
  if (!server || !server->created) return NX_PTR_ERROR;
  nx_http_server_stop(server);
  tx_thread_terminate(&server->thread);
  tx_thread_delete(&server->thread);
  nx_tcp_socket_delete(&server->socket);
  tx_event_flags_delete(&server->events);
  for (NX_HTTP_SERVER*& slot : s_servers)
    if (slot == server) slot = nullptr;
  server->created = 0;
  return NX_SUCCESS;
}

void http_server_serve_bytes(NX_HTTP_SERVER* server, const uint8_t* data, uint32_t size,
                             void (*out)(const void* data, uint32_t size, void* context), void* context) {
  reader r{server};
  r.bytes = data;
  r.bytes_left = size;
  server->answer_out = out;
  server->answer_context = context;
  serve(server, r);
  server->answer_out = nullptr;
  server->answer_context = nullptr;
}

UINT nx_http_server_query_get(const http_request* request, UINT index, CHAR* out, UINT size) {
  if (!request || !out || size == 0) return NX_PTR_ERROR;
  out[0] = '\0';
  const char* p = request->query;
  for (UINT i = 0; i < index; ++i) {
    p = std::strchr(p, '&');
    if (!p) return NX_NOT_SUCCESSFUL;
    ++p;
  }
  if (*p == '\0') return NX_NOT_SUCCESSFUL;
  const char* end = std::strchr(p, '&');
  size_t n = end ? static_cast<size_t>(end - p) : std::strlen(p);
  if (n > size - 1) n = size - 1;
  std::memcpy(out, p, n);
  out[n] = '\0';
  return NX_SUCCESS;
}
