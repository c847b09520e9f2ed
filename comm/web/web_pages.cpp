#include "comm/web/web_pages.h"

#include <cctype>
#include <cstdarg>
#include <string_view>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "comm/comm_services.h"
#include "comm/comm_task.h"
#include "database/database.h"
#include "database/fs/fs_system.h"
#include "database/objects.h"
#include "display/activation/display_services.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/trace/trace.h"
#include "frame/util/preview.h"
#include "mon_api.h"
#include "ntcip/snmp/local/snmp_local.h"

namespace {

constexpr uint32_t kAllAccess = 0xFFFFFFFF;
constexpr uint32_t kPasswordSize = 50;
constexpr uint32_t kListParameters = 10;
constexpr uint32_t kParameterMax = 30;
constexpr uint32_t kKeyMax = 40;
constexpr uint32_t kPreviewMax = 300;

NX_HTTP_SERVER s_server;
int s_flag = 0;
char s_password[kPasswordSize];
char s_empty_name[1] = "";
char s_realm[] = "Quorvantis";

// One token of a template or one posted field.
struct token_record {
  char oid[WEB_OID_MAX + 1];
  char type[4];
  uint32_t integer;
  uint32_t length;
  uint8_t value[WEB_VALUE_MAX + 1];
  uint8_t flags;
};
// Token work areas: both callbacks run in the server's one thread.
token_record s_token;

CDataBase* db() { return g_pDataBase; }

// Work buffer borrowed for the span of one callback.
struct work_buffer {
  void* p = nullptr;
  work_buffer() {
    if (!g_gpbuffer.Allocate(&p, WEB_BUFFER_SIZE)) p = nullptr;
  }
  ~work_buffer() {
    if (p) g_gpbuffer.Release(&p);
  }
  char* text() const { return static_cast<char*>(p); }
};

// Replaces the RAM file `name` with the bytes.
bool write_ram_file(const char* name, const void* data, uint32_t size) {
  if (!g_pFileSystemDriver) return false;
  g_pFileSystemDriver->FileDelete(&g_fs_media, name);
  fs_file file;
  fs_file_init(&file);
  return g_pFileSystemDriver->FileCreateWithData(&g_fs_media, &file, name, WEB_RAM_FILE, data, size) == FS_SUCCESS;
}

// Where the type word of a token or field starts (its comma), among the
// words given; null when none comes before `end`.
const char* find_type(const char* text, const char* end, const char* const* words, uint32_t count) {
  const char* best = nullptr;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t n = std::strlen(words[i]);
    for (const char* p = text; p + n <= end; ++p) {
      if (!strncasecmp(p, words[i], n)) {
        if (!best || p < best) best = p;
        break;
      }
    }
  }
  return best;
}

// The OID text between begin and end into the record, commas as dots.
bool take_oid(const char* begin, const char* end, token_record* t) {
  const size_t n = static_cast<size_t>(end - begin);
  if (n == 0 || n > WEB_OID_MAX) return false;
  for (size_t i = 0; i < n; ++i) t->oid[i] = begin[i] == ',' ? '.' : begin[i];
  t->oid[n] = '\0';
  return true;
}

uint32_t oid_length(const token_record& t) { return static_cast<uint32_t>(std::strlen(t.oid)); }

// Appends bytes to out within its room.
struct writer {
  char* out;
  uint32_t size;  // room including the terminator
  uint32_t used = 0;
  void Put(const char* p, uint32_t n) {
    if (used + 1 >= size) return;
    if (n > size - 1 - used) n = size - 1 - used;
    std::memcpy(out + used, p, n);
    used += n;
    out[used] = '\0';
  }
  void Put(const char* p) { Put(p, static_cast<uint32_t>(std::strlen(p))); }
  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char text[64];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) Put(text, static_cast<uint32_t>(n < static_cast<int>(sizeof text) ? n : sizeof text - 1));
  }
};

// The value of one output token.
void expand_token(const char* begin, const char* end, writer& w) {
  static const char* const kTypes[] = {",INT", ",STR", ",OCT", ",IP"};
  token_record& t = s_token;
  std::memset(&t, 0, sizeof t);
  const char* type = find_type(begin, end, kTypes, 4);
  if (!type || !take_oid(begin, type, &t)) return;
  const char* word = type + 1;
  if (!strncasecmp(word, "INT", 3)) {
    if (snmp_local_get_int(t.oid, oid_length(t), &t.integer)) w.Printf("%d", static_cast<int32_t>(t.integer));
  } else if (!strncasecmp(word, "IP", 2)) {
    if (snmp_local_get_ip(t.oid, oid_length(t), &t.integer)) w.Printf("%d", static_cast<int32_t>(t.integer));
  } else if (!strncasecmp(word, "STR", 3)) {
    if (snmp_local_get_octets(t.oid, oid_length(t), t.value, WEB_VALUE_MAX, &t.length)) {
      // Text stops at a zero byte, as a C string would.
      const void* nul = std::memchr(t.value, 0, t.length);
      w.Put(reinterpret_cast<const char*>(t.value),
            nul ? static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - t.value) : t.length);
    }
  } else if (!strncasecmp(word, "OCT", 3)) {
    if (snmp_local_get_octets_decoded(t.oid, oid_length(t), reinterpret_cast<char*>(t.value), WEB_VALUE_MAX + 1,
                                      &t.length))
      w.Put(reinterpret_cast<const char*>(t.value), t.length);
  }
}

bool same_oid(const uint32_t* a, uint32_t a_length, const uint32_t* b, uint32_t b_length) {
  return a_length == b_length && std::memcmp(a, b, a_length * sizeof *a) == 0;
}

// Before a posted activation code is set: the CRC of the message it names.
void activation_fixup(const char* oid, uint32_t length, uint8_t* bytes, uint32_t* count, uint32_t) {
  static const uint32_t kActivate[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 3, 0};
  uint32_t name[SNMP_LOCAL_MAX_SUBIDS];
  uint32_t name_length = 0;
  if (!snmp_local_parse_oid(oid, length, name, &name_length)) return;
  if (!same_oid(name, name_length, kActivate, 13) || *count < 8) return;
  char crc_oid[64];
  const int n = std::snprintf(crc_oid, sizeof crc_oid, "1.3.6.1.4.1.1206.4.2.3.5.8.1.5.%d.%d", bytes[3],
                              bytes[4] << 8 | bytes[5]);
  uint32_t crc = 0;
  if (!snmp_local_get_int(crc_oid, static_cast<uint32_t>(n), &crc)) return;
  bytes[6] = static_cast<uint8_t>(crc >> 8);
  bytes[7] = static_cast<uint8_t>(crc);
}

bool is_message_status(const char* oid) {
  static const uint32_t kColumn[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, 9};
  uint32_t name[SNMP_LOCAL_MAX_SUBIDS];
  uint32_t length = 0;
  if (!snmp_local_parse_oid(oid, static_cast<uint32_t>(std::strlen(oid)), name, &length) || length < 2) return false;
  return same_oid(name, length - 2, kColumn, 14);
}

// Reads a whole file (at most size - 1 bytes) into buffer, zero-terminated.
bool read_file(const char* name, char* buffer, uint32_t size, uint32_t* length) {
  fs_file file;
  fs_file_init(&file);
  if (g_pFileSystemDriver->FileOpen(&g_fs_media, &file, name, FS_MODE_READ) != FS_SUCCESS) return false;
  g_pFileSystemDriver->FileSeek(&file, 0);
  uint32_t total = 0;
  bool ok = true;
  while (total < size - 1) {
    uint32_t got = 0;
    const fs_status st = g_pFileSystemDriver->FileRead(&file, buffer + total, size - 1 - total, &got);
    total += got;
    if (st == FS_END_OF_FILE || got == 0) break;
    if (st != FS_SUCCESS) {
      ok = false;
      break;
    }
  }
  g_pFileSystemDriver->FileClose(&file);
  buffer[total] = '\0';
  *length = total;
  return ok;
}

bool file_exists(const char* name) { return mon_tfsstat(name) != nullptr; }

// The built-in copy written as a RAM file when the file system has none.
bool materialise_builtin(const char* name) {
  if (file_exists(name)) return true;
  uint32_t size = 0;
  const char* text = web_builtin(name, &size);
  return text && write_ram_file(name, text, size);
}

void expand_page(const char* name) {
  char template_name[HTTP_RESOURCE_MAX + 8];
  std::snprintf(template_name, sizeof template_name, "pre%s", name);
  monitor_printf_debug("get resource pre %s  %s\n", template_name, name);
  materialise_builtin(template_name);
  if (!file_exists(template_name)) return;
  work_buffer in;
  work_buffer out;
  if (!in.p || !out.p) return;
  uint32_t length = 0;
  if (!read_file(template_name, in.text(), WEB_BUFFER_SIZE, &length)) return;
  const uint32_t written = web_expand(in.text(), out.text(), WEB_BUFFER_SIZE);
  monitor_printf_debug("Add the file  size %d\n", static_cast<int>(written));
  write_ram_file(name, out.text(), written);
}

const char* page_name(const char* resource) { return resource[0] == '/' ? resource + 1 : resource; }

void answer_get(CHAR* resource) {
  monitor_printf("get resource %s\n", resource);
  if (std::strcmp(resource, "/") == 0) std::strcpy(resource, "/index.html");
  const char* name = page_name(resource);
  if (!strcasecmp(name, "quorstyle.css") || !strcasecmp(name, "list.html")) {
    monitor_printf_debug("Save %s to disk\n", name);
    if (!strcasecmp(name, "list.html")) {
      web_build_list(0);
      std::strcpy(resource, "/list.html");
    } else {
      uint32_t size = 0;
      const char* css = web_builtin("quorstyle.css", &size);
      if (css) write_ram_file("quorstyle.css", css, size);
      std::strcpy(resource, "/quorstyle.css");
    }
    return;
  }
  for (char* p = resource; *p; ++p) *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  expand_page(page_name(resource));
}

void answer_list_post(const http_request* request) {
  char parameter[kParameterMax + 1];
  uint32_t page = 0;
  for (UINT i = 0; i < kListParameters; ++i) {
    if (nx_http_server_query_get(request, i, parameter, sizeof parameter) != NX_SUCCESS) break;
    char key[kKeyMax + 1] = "";
    char value[kKeyMax + 1] = "";
    const char* eq = std::strchr(parameter, '=');
    const size_t key_length = eq ? static_cast<size_t>(eq - parameter) : std::strlen(parameter);
    std::snprintf(key, sizeof key, "%.*s", static_cast<int>(key_length), parameter);
    if (eq) std::snprintf(value, sizeof value, "%s", eq + 1);
    monitor_printf_debug("Found key=%s, value=%s\n", key, value);
    if (i == 0 && !strcasecmp(key, "page")) page = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
  }
  web_build_list(page);
}

void write_button(writer& w, const char* label, uint32_t page, bool enabled) {
  char text[200];
  std::snprintf(text, sizeof text,
                "<input type=\"button\" value=\"%s\" onclick=\"load_page(%u)\"%s />\n", label, page,
                enabled ? "" : " disabled=\"disabled\"");
  w.Put(text);
}

}  // namespace

uint32_t web_expand(const char* in, char* out, uint32_t size) {
  writer w{out, size};
  if (size) out[0] = '\0';
  const char* p = in;
  for (;;) {
    const char* token = std::strstr(p, "$%");
    if (!token) {
      w.Put(p);
      break;
    }
    w.Put(p, static_cast<uint32_t>(token - p));
    const char* end = std::strstr(token + 2, "#$");
    if (!end) {
      // An unclosed token is no token.
      w.Put(token);
      break;
    }
    expand_token(token + 2, end, w);
    p = end + 2;
  }
  return w.used;
}

uint32_t web_apply_fields(const char* body, uint32_t length) {
  static const char* const kTypes[] = {",int", ",str", ",oct"};
  const char* end = body + length;
  const char* p = body;
  uint32_t applied = 0;
  for (;;) {
    const char* field = nullptr;
    for (const char* q = p; q + 1 < end; ++q)
      if (q[0] == '$' && q[1] == '*') {
        field = q;
        break;
      }
    if (!field) break;
    token_record& t = s_token;
    std::memset(&t, 0, sizeof t);
    const char* name = field + 2;
    const char* quote = static_cast<const char*>(std::memchr(name, '"', end - name));
    const char* name_end = quote ? quote : end;
    const char* type = find_type(name, name_end, kTypes, 3);
    p = name_end;
    if (!type || !take_oid(name, type, &t)) continue;
    std::snprintf(t.type, sizeof t.type, "%.3s", type + 1);
    for (const char* f = type + 4; f < name_end; ++f) {
      if (*f == 'n' || *f == 'N') t.flags |= SNMP_LOCAL_NOTIFY;
      if (*f == 'v' || *f == 'V') t.flags |= SNMP_LOCAL_VALIDATE;
    }
    const char* v = name_end;
    if (v < end) ++v;  // the quote
    while (v < end && (*v == '\r' || *v == '\n')) ++v;
    if (!strcasecmp(t.type, "int")) {
      char digits[16] = "";
      uint32_t n = 0;
      if (v < end && (*v == '-' || *v == '+')) digits[n++] = *v++;
      while (v < end && n < sizeof digits - 1 && *v >= '0' && *v <= '9') digits[n++] = *v++;
      t.integer = static_cast<uint32_t>(std::strtol(digits, nullptr, 10));
      p = v;
      monitor_printf_debug("INT %s, value:%d\n", t.oid, static_cast<int32_t>(t.integer));
      if (snmp_local_set_int(t.oid, oid_length(t), t.integer, t.flags, kAllAccess)) ++applied;
      if (is_message_status(t.oid)) display_process_message_table();
      continue;
    }
    if (strcasecmp(t.type, "str") != 0 && strcasecmp(t.type, "oct") != 0) continue;
    const char* stop = end;
    for (const char* q = v; q + 4 <= end; ++q)
      if (q[0] == '\r' && q[1] == '\n' && q[2] == '-' && q[3] == '-') {
        stop = q;
        break;
      }
    t.length = static_cast<uint32_t>(stop - v);
    if (t.length > WEB_VALUE_MAX) t.length = WEB_VALUE_MAX;
    std::memcpy(t.value, v, t.length);
    p = stop;
    if (!strcasecmp(t.type, "str")) {
      monitor_printf_debug("STR %s, string w/length:%d\n", t.oid, static_cast<int>(t.length));
      if (snmp_local_set_octets(t.oid, oid_length(t), t.value, t.length, t.flags, kAllAccess)) ++applied;
    } else {
      monitor_printf_debug("OCT %s, octets w/length:%d\n", t.oid, static_cast<int>(t.length));
      if (snmp_local_set_octets_encoded(t.oid, oid_length(t), reinterpret_cast<const char*>(t.value), t.length,
                                        t.flags, kAllAccess, activation_fixup))
        ++applied;
    }
  }
  return applied;
}

int web_build_list(uint32_t page) {
  CDataBase* d = db();
  if (!d) return 0;
  work_buffer buffer;
  if (!buffer.p) return 0;
  writer w{buffer.text(), WEB_BUFFER_SIZE};
  buffer.text()[0] = '\0';
  // The listed slots, in table order.
  static uint16_t listed[WEB_MESSAGE_SLOTS];
  uint32_t count = 0;
  const uint32_t sign_type = d->GetValue(nv::dmsSignType.offset, nv::dmsSignType.width, d->mib_nv, 0);
  const bool skip_graphics = sign_type == 4 || sign_type == 132;
  for (uint32_t s = 0; s < WEB_MESSAGE_SLOTS; ++s) {
    const db_object status = nv::dmsMessageStatus(s);
    if (d->GetValue(status.offset, status.width, d->mib_nv, 0) != 4) continue;
    if (skip_graphics) {
      uint32_t n = 0;
      const uint8_t* text = d->GetString(nv::dmsMessageMultiString(s).offset, 4, d->mib_nv, &n);
      const std::string_view multi(reinterpret_cast<const char*>(text ? text : reinterpret_cast<const uint8_t*>("")),
                                   text ? n : 0);
      if (multi.find("[ms11,g,") != std::string_view::npos) continue;
    }
    listed[count++] = static_cast<uint16_t>(s);
  }
  w.Put(
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\n<html>\n<head>\n"
      "<title>Quorvantis, Inc.</title>\n"
      "<meta http-equiv=\"Pragma\" content=\"no-cache\" />\n"
      "<meta http-equiv=\"Cache-Control\" content=\"no-cache\" />\n"
      "<meta http-equiv=\"Expires\" content=\"0\" />\n"
      "<link rel=\"stylesheet\" type=\"text/css\" href=\"quorstyle.css\" />\n"
      "<script type=\"text/javascript\">\n"
      "function load_page(n) {\n"
      "  var f = document.getElementById(\"pos\");\n"
      "  f.action = \"list.html?page=\" + n;\n"
      "  f.submit();\n"
      "}\n"
      "</script>\n</head>\n<body>\n"
      "<div class=\"banner\">QUORVANTIS</div>\n"
      "<a href=\"message.html\">Messaging</a>\n"
      "<h2>Message List</h2>\n<font class=\"list\">\n");
  static char preview[kPreviewMax + 1];
  for (uint32_t i = page * 10; i < count && i < page * 10 + 10; ++i) {
    const uint32_t s = listed[i];
    uint32_t n = 0;
    const uint8_t* text = d->GetString(nv::dmsMessageMultiString(s).offset, 4, d->mib_nv, &n);
    if (!text || n == 0) continue;
    static char multi[WEB_VALUE_MAX + 1];
    if (n > WEB_VALUE_MAX) n = WEB_VALUE_MAX;
    std::memcpy(multi, text, n);
    multi[n] = '\0';
    multi_to_preview_text(multi, preview, sizeof preview);
    w.Put("<a href=\"message.html?run=");
    w.Printf("%u", s + 1);
    w.Put("\">");
    w.Printf("%u) ", s + 1);
    w.Put(preview);
    w.Put("</a><br />\n");
  }
  w.Put("</font>\n");

  // The pager.
  const uint32_t pages = count / 10 + (count % 10 ? 1 : 0);
  const uint32_t c = page;
  uint32_t first = 0;
  uint32_t last = 0;  // one past
  bool first_on = true;
  bool last_on = true;
  const uint32_t low = pages > 5 ? pages - 5 : 0;
  const uint32_t five = pages < 5 ? pages : 5;
  if (c == 0) {
    first_on = false;
    first = 0;
    last = five;
    last_on = pages > 1;
  } else if (pages > 0 && c == pages - 1) {
    first_on = pages > 1;
    first = low;
    last = pages;
    last_on = false;
  } else if (c < 4) {
    first = 0;
    last = five;
    last_on = pages > 1;
  } else if (c + 4 > pages - 1 || pages == 0) {
    first_on = pages > 1;
    first = low;
    last = pages;
  } else {
    first = c - 2;
    last = c + 3;
  }
  w.Put("<form id=\"pos\" method=\"post\" action=\"list.html\">\n<input type=\"hidden\" name=\"first\" value=\"1\" />\n");
  write_button(w, "First", 0, first_on);
  for (uint32_t k = first; k < last; ++k) {
    char label[12];
    std::snprintf(label, sizeof label, "%u", k);
    write_button(w, label, k, k != c);
  }
  write_button(w, "Last", pages ? pages - 1 : 0, last_on);
  w.Put("</form>\n<input type=\"button\" value=\"Reload Page\" onclick=\"window.location.reload()\" />\n"
        "</body>\n</html>\n");
  return write_ram_file("list.html", buffer.text(), w.used) ? 1 : 0;
}

UINT http_authentication_check(NX_HTTP_SERVER*, UINT, CHAR*, CHAR** name, CHAR** password, CHAR** realm) {
  std::memset(s_password, 0, sizeof s_password);
  if (CDataBase* d = db()) {
    uint32_t n = 0;
    const uint8_t* text = d->GetString(nv::communityNameAdmin.offset, 4, d->mib_nv, &n);
    if (text) std::memcpy(s_password, text, n < kPasswordSize - 1 ? n : kPasswordSize - 1);
  }
  *name = s_empty_name;
  *password = s_password;
  *realm = s_realm;
  return NX_HTTP_BASIC_AUTHENTICATE;
}

UINT http_request_notify(NX_HTTP_SERVER*, UINT request_type, CHAR* resource, http_request* request) {
  if (request_type == NX_HTTP_SERVER_POST_REQUEST) {
    monitor_printf_debug("--Post Request\n");
    if (!strcasecmp(resource, "/list.html")) {
      answer_list_post(request);
      std::strcpy(resource, "/list.html");
      return NX_SUCCESS;
    }
    if (request->content_length)
      web_apply_fields(reinterpret_cast<const char*>(request->content), request->content_length);
  }
  answer_get(resource);
  return NX_SUCCESS;
}

void http_server_setup(NX_IP* ip, uint8_t** cursor, NX_PACKET_POOL* pool) {
  const UINT status = nx_http_server_create(&s_server, "HTTP Server", ip, *cursor, HTTP_STACK_SIZE, pool,
                                            http_authentication_check, http_request_notify);
  *cursor += HTTP_STACK_SIZE;
  if (status != NX_SUCCESS) monitor_printf("nx_http_server_create failed:0x%02X\n", status);
  CDataBase* d = db();
  if (!d) return;
  s_server.port = d->GetValue(nv::quorHostHttpPort.offset, nv::quorHostHttpPort.width, d->mib_nv, 0);
  const uint32_t features = d->GetValue(nv::quorFeatureSet.offset, nv::quorFeatureSet.width, d->mib_nv, 0);
  if (features & FEATURE_STOP_WEB) {
    d->SetValue(nv::quorFeatureSet.offset, nv::quorFeatureSet.width, features & ~FEATURE_STOP_WEB, d->mib_nv, 0);
    http_server_enable(0);
  }
}

void http_server_enable(int flag) {
  if (flag && !s_flag) {
    const UINT status = nx_http_server_start(&s_server);
    if (status != NX_SUCCESS) {
      // Not listening: a later request may try again.
      monitor_printf("http_server_enable: start failed:0x%02X\n", status);
      return;
    }
  } else if (!flag && s_flag) {
    nx_http_server_stop(&s_server);
  }
  s_flag = flag;
}

int http_server_enabled() { return s_flag; }

NX_HTTP_SERVER* http_server_instance() { return &s_server; }

void http_server_teardown() {
  if (s_server.created) nx_http_server_delete(&s_server);
  s_flag = 0;
}

void web_install_services() {
  comm_services s = comm_get_services();
  s.web_setup = [](NX_IP* ip, NX_PACKET_POOL* pool, uint8_t** cursor) { http_server_setup(ip, cursor, pool); };
  s.web_stop = [] { http_server_enable(0); };
  comm_set_services(s);
}
