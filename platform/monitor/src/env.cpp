// The monitor's environment: NAME=value lines in the state folder, read at
// boot and rewritten on every change so that a set value holds after a
// restart.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "internal.h"

namespace monitor_impl {

namespace {

constexpr size_t kNameMax = 31;
constexpr size_t kValueMax = 255;

bool name_ok(const char* name) {
  if (!name || !*name || std::strlen(name) > kNameMax) return false;
  for (const char* p = name; *p; ++p) {
    char c = *p;
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

bool value_ok(const char* value) {
  if (std::strlen(value) > kValueMax) return false;
  for (const char* p = value; *p; ++p)
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) return false;
  return true;
}

std::string env_path() {
  const std::string& folder = M().config.state_folder;
  return folder.empty() ? std::string() : folder + "/" + monitor::ENV_FILE;
}

void store(const std::string& name, const std::string& value) {
  monitor_state& m = M();
  // Earlier texts stay alive: a caller may still hold one.
  m.env_texts.push_back(std::make_unique<std::string>(value));
  m.env[name] = m.env_texts.back().get();
}

}  // namespace

void env_load() {
  monitor_state& m = M();
  m.env.clear();
  m.env_texts.clear();
  std::string path = env_path();
  std::ifstream in;
  if (!path.empty()) in.open(path);
  if (!in.is_open()) {
    // A fresh board: the environment it left the factory with.
    for (const auto& kv : m.config.initial_env)
      if (name_ok(kv.first.c_str()) && value_ok(kv.second.c_str())) store(kv.first, kv.second);
    env_save();
    return;
  }
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string name = line.substr(0, eq), value = line.substr(eq + 1);
    if (name_ok(name.c_str()) && value_ok(value.c_str())) store(name, value);
  }
}

void env_save() {
  std::string path = env_path();
  if (path.empty()) return;
  std::string tmp = path + ".new";
  FILE* f = std::fopen(tmp.c_str(), "w");
  if (!f) return;
  for (const auto& kv : M().env) std::fprintf(f, "%s=%s\n", kv.first.c_str(), kv.second->c_str());
  bool ok = std::fflush(f) == 0;
  std::fclose(f);
  if (ok) std::rename(tmp.c_str(), path.c_str());
}

int env_set(const char* name, const char* value) {
  if (!name_ok(name)) return -1;
  monitor_state& m = M();
  if (!value || !*value) {
    m.env.erase(name);
  } else {
    if (!value_ok(value)) return -1;
    store(name, value);
  }
  env_save();
  return 0;
}

const char* env_get(const char* name) {
  if (!name) return nullptr;
  auto it = M().env.find(name);
  return it == M().env.end() ? nullptr : it->second->c_str();
}

}  // namespace monitor_impl
