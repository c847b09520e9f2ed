// The monitor's command interpreter: a line is split into words and run as
// an added command (the application's tables) or one of the monitor's own.
//
// Syntax of the monitor's own commands:
//   help [command]              the commands, or one command's help lines
//   set [NAME [value...]]       list, remove or set an environment variable
//   echo [word...]
//   version
//   etheraddr [set XX:XX:XX:XX:XX:XX]
//   reset [1]                   restart (1: install the boot-loader file)
//   tfs ls [pattern]            files: name, size, flags, info, time
//   tfs rm name|pattern...      remove files (* and ? match any text)
//   tfs cat name
//   tfs df                      free, dead and used bytes
//   tfs clean                   defragment, during a restart: the running
//                               application holds files' places in flash
#include <fnmatch.h>

#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "internal.h"

namespace monitor_impl {

namespace {

constexpr size_t kLineMax = 255;
constexpr int kArgsMax = 32;

// Splits a line in place; -1 for an open quote or too many words.
int split(char* line, char** argv) {
  int argc = 0;
  char* p = line;
  for (;;) {
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    if (!*p) return argc;
    if (argc == kArgsMax) return -1;
    char* out = p;
    argv[argc++] = out;
    bool quoted = false;
    while (*p && (quoted || !(*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))) {
      if (*p == '"') {
        quoted = !quoted;
        ++p;
        continue;
      }
      *out++ = *p++;
    }
    if (quoted) return -1;
    bool end = !*p;
    *out = 0;
    if (end) return argc;
    ++p;
  }
}

struct builtin {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* help[4];
};

int cmd_help(int argc, char** argv);

int cmd_set(int argc, char** argv) {
  if (argc == 1) {
    for (const auto& kv : M().env) console_printf("%s=%s\n", kv.first.c_str(), kv.second->c_str());
    return 0;
  }
  std::string value;
  for (int i = 2; i < argc; ++i) {
    if (i > 2) value += ' ';
    value += argv[i];
  }
  if (env_set(argv[1], value.c_str()) != 0) {
    console_printf("set: bad name or value\n");
    return -1;
  }
  return 0;
}

int cmd_echo(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) console_printf(i > 1 ? " %s" : "%s", argv[i]);
  console_printf("\n");
  return 0;
}

int cmd_version(int, char**) {
  console_printf("%s\n", M().version.c_str());
  return 0;
}

bool parse_mac(const char* text, uint8_t* mac) {
  for (int i = 0; i < 6; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[0])) || !std::isxdigit(static_cast<unsigned char>(text[1])))
      return false;
    char hex[3] = {text[0], text[1], 0};
    mac[i] = static_cast<uint8_t>(std::strtoul(hex, nullptr, 16));
    text += 2;
    if (*text != (i < 5 ? ':' : '\0')) return false;
    if (i < 5) ++text;
  }
  return true;
}

int cmd_etheraddr(int argc, char** argv) {
  if (argc == 1) {
    const char* mac = env_get("ETHERADD");
    console_printf("%s\n", mac ? mac : "not set");
    return 0;
  }
  uint8_t mac[6];
  if (argc != 3 || std::strcmp(argv[1], "set") != 0 || !parse_mac(argv[2], mac)) {
    console_printf("usage: etheraddr [set XX:XX:XX:XX:XX:XX]\n");
    return -1;
  }
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return env_set("ETHERADD", text);
}

int cmd_reset(int argc, char** argv) {
  int kind = argc > 1 ? std::atoi(argv[1]) : 0;
  restart(kind == 1 ? monitor::restart_kind::bootloader : monitor::restart_kind::application);
  return 0;
}

bool has_wildcard(const char* s) { return std::strpbrk(s, "*?[") != nullptr; }

int cmd_tfs(int argc, char** argv) {
  tfs& fs = M().fs;
  const char* op = argc > 1 ? argv[1] : "";
  if (std::strcmp(op, "ls") == 0) {
    for (tfs_header* h = fs.next(nullptr); h; h = fs.next(h)) {
      if (argc > 2 && fnmatch(argv[2], h->name, FNM_NOESCAPE) != 0) continue;
      char flags[10];
      tfs::flags_text(h->flags, flags);
      char date[32] = "";
      if (M().date_hook) {
        M().date_hook(h->mod_time, date, sizeof date);
        date[sizeof date - 1] = 0;
        // The hook's text ends its own line; it is shown as a column here.
        if (char* nl = std::strchr(date, '\n')) *nl = 0;
      }
      console_printf("%-32s %8u %-9s %-16s %s\n", h->name, static_cast<unsigned>(h->data_size), flags, h->info, date);
    }
    return 0;
  }
  if (std::strcmp(op, "rm") == 0 && argc > 2) {
    int result = 0;
    for (int i = 2; i < argc; ++i) {
      if (has_wildcard(argv[i])) {
        fs.remove_matching(argv[i]);
      } else if (int r = fs.unlink(argv[i]); r != TFS_OKAY) {
        console_printf("tfs rm: %s: %s\n", argv[i], r == TFS_ERR_NOFILE ? "no such file" : "refused");
        result = -1;
      }
    }
    return result;
  }
  if (std::strcmp(op, "cat") == 0 && argc == 3) {
    tfs_header* h = fs.stat(argv[2]);
    if (!h) {
      console_printf("tfs cat: %s: no such file\n", argv[2]);
      return -1;
    }
    console_write(reinterpret_cast<const char*>(h) + h->hdr_size, h->data_size);
    return 0;
  }
  if (std::strcmp(op, "df") == 0) {
    console_printf("free %u, dead %u, used %u of %u bytes\n", fs.free_bytes(), fs.dead_bytes(), fs.used_end(),
                   M().flash.size());
    return 0;
  }
  if (std::strcmp(op, "clean") == 0) {
    monitor::set_scratch(static_cast<uint8_t>(monitor::scratch() | 0x01));
    restart(monitor::restart_kind::application);
    return 0;
  }
  console_printf("usage: tfs ls [pattern] | rm name... | cat name | df | clean\n");
  return -1;
}

const builtin kBuiltins[] = {
    {"help", cmd_help, {"help [command]", nullptr}},
    {"set", cmd_set, {"set [NAME [value...]]", "list, remove or set a variable", nullptr}},
    {"echo", cmd_echo, {"echo [word...]", nullptr}},
    {"version", cmd_version, {"version", nullptr}},
    {"etheraddr", cmd_etheraddr, {"etheraddr [set XX:XX:XX:XX:XX:XX]", nullptr}},
    {"reset", cmd_reset, {"reset [1]", "restart the board (1: install the boot-loader file)", nullptr}},
    {"tfs", cmd_tfs, {"tfs ls [pattern] | rm name... | cat name | df | clean", "the flash file system (clean: restart and defragment)", nullptr}},
};

const mon_command* find_added(const char* name) {
  for (const mon_command* t : M().tables)
    for (const mon_command* c = t; c->name; ++c)
      if (std::strcmp(c->name, name) == 0) return c;
  return nullptr;
}

int cmd_help(int argc, char** argv) {
  if (argc > 1) {
    if (const mon_command* c = find_added(argv[1])) {
      for (const char* const* l = c->help; l && *l; ++l) console_printf("%s\n", *l);
      return 0;
    }
    for (const builtin& b : kBuiltins)
      if (std::strcmp(b.name, argv[1]) == 0) {
        for (const char* const* l = b.help; *l; ++l) console_printf("%s\n", *l);
        return 0;
      }
    console_printf("help: no command %s\n", argv[1]);
    return -1;
  }
  for (const builtin& b : kBuiltins) console_printf("%s\n", b.name);
  for (const mon_command* t : M().tables)
    for (const mon_command* c = t; c->name; ++c) console_printf("%s\n", c->name);
  return 0;
}

}  // namespace

int run_command(const char* line, call_guard* guard) {
  if (!line) return -1;
  size_t n = std::strlen(line);
  if (n > kLineMax) {
    console_printf("line too long\n");
    return -1;
  }
  char buf[kLineMax + 1];
  std::memcpy(buf, line, n + 1);
  char* argv[kArgsMax + 1];
  int argc = split(buf, argv);
  if (argc < 0) {
    console_printf("cannot split the line\n");
    return -1;
  }
  if (argc == 0) return 0;
  argv[argc] = nullptr;
  if (const mon_command* c = find_added(argv[0])) {
    if (!c->func) return -1;
    // The application's command may wait on its own locks; the monitor's
    // lock is not held meanwhile, so a task that needs the monitor for its
    // part in that wait is not stuck behind it.
    if (guard) guard->release();
    int r = c->func(argc, argv);
    if (guard) guard->retake();
    return r;
  }
  for (const builtin& b : kBuiltins)
    if (std::strcmp(b.name, argv[0]) == 0) return b.run(argc, argv);
  console_printf("Command not found: %s\n", argv[0]);
  return -1;
}

void run_script(const char* name) {
  tfs_header* h = M().fs.stat(name);
  if (!h) return;
  std::string text(reinterpret_cast<const char*>(h) + h->hdr_size, h->data_size);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.empty() || line[0] == '#') continue;
    run_command(line.c_str(), nullptr);
  }
}

}  // namespace monitor_impl

using namespace monitor_impl;

int mon_addcommand(const mon_command* table) {
  call_guard g;
  if (!table) return -1;
  for (const mon_command* t : M().tables)
    if (t == table) return 0;
  if (M().tables.size() >= 8) return -1;
  M().tables.push_back(table);
  return 0;
}

int mon_docommand(const char* line, int) {
  call_guard g;
  return run_command(line, &g);
}
