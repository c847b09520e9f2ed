// The start of a fuzz target that needs a database: a kernel, the string
// pool and the database's event flags, traces silenced. The database lives
// for the whole run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "database/database.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "rtos_host.h"

// more: what else must be created while the kernel starts.
inline CDataBase* fuzz_database_start(uint32_t pool_size, std::function<void()> more = {}) {
  static TX_BYTE_POOL pool;
  trace_set_sink([](int, const char*) {});
  rtos::kernel_config c;
  c.memory_size = 2 * pool_size;
  rtos::kernel_start(c, [pool_size, more](void* mem) {
    os_byte_pool_create(&pool, "dynamic database", mem, pool_size);
    os_event_create(&g_database_flags, "database");
    if (more) more();
  });
  CDataBase* db = new CDataBase(&g_post_office);
  db->SetStringPool(&pool);
  db->SetFlashMode(0);
  return db;
}

// With SIGN_FUZZ_WRITE_SEED=<file> set, writes there the text that
// build(buffer, size, &length) makes when it returns true: how a target
// generates the main seed of its corpus from the controller's own code.
template <class Build>
void fuzz_write_seed(uint32_t size, Build build) {
  const char* seed = std::getenv("SIGN_FUZZ_WRITE_SEED");
  if (!seed) return;
  std::vector<char> text(size);
  uint32_t length = 0;
  if (!build(text.data(), size, &length)) return;
  if (FILE* f = std::fopen(seed, "wb")) {
    std::fwrite(text.data(), 1, length, f);
    std::fclose(f);
  }
}
