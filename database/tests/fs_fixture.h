// A file-system driver over a boot monitor with its flash in memory, a
// kernel with the buffer pool, and an open media.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

#include "database/fs/fs_driver_tfs.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/os/os.h"
#include "mon_api.h"
#include "monitor_host.h"
#include "rtos_host.h"

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    monitor::monitor_config mon;
    mon.flash_size = 2u << 20;
    monitor::reset(mon);
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    rtos::kernel_config c;
    c.memory_size = 8u << 20;
    rtos::kernel_start(c, [](void* mem) {
      uint8_t* cursor = static_cast<uint8_t*>(mem);
      ASSERT_EQ(g_gpbuffer.Create(&cursor, GPBUFFER_POOL_SIZE), 1);
    });
    media_.file_buffer_size = FS_FILE_BUFFER_SIZE;
    rtos::cpu_scope scope;
    ASSERT_EQ(driver_.MediaOpen(&media_, 1), FS_SUCCESS);
  }

  void TearDown() override {
    // Records left by a test (the list's nodes are the driver's).
    if (media_.id == FS_MEDIA_ID) list_destroy(&media_.local_paths);
    rtos::kernel_stop();
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    monitor::shutdown();
  }

  // Runs fn on a kernel thread of that name until it returns.
  void RunAs(const char* name, const std::function<void()>& fn) {
    struct Job {
      const std::function<void()>* fn;
      bool done;
    } job{&fn, false};
    static Job* current;
    current = &job;
    TX_THREAD thread{};
    std::vector<uint8_t> stack(65536);
    {
      rtos::cpu_scope scope;
      ASSERT_EQ(tx_thread_create(
                    &thread, const_cast<char*>(name),
                    [](ULONG) {
                      Job* j = current;
                      (*j->fn)();
                      j->done = true;
                    },
                    0, stack.data(), static_cast<ULONG>(stack.size()), 10, 10, 0, TX_AUTO_START),
                TX_SUCCESS);
    }
    for (int i = 0; i < 1000 && !job.done; ++i) rtos::advance(1);
    ASSERT_TRUE(job.done) << name;
    rtos::cpu_scope scope;
    tx_thread_terminate(&thread);
    tx_thread_delete(&thread);
  }

  static int Add(const char* name, const std::string& data, const char* flags = "") {
    return mon_tfsadd(name, nullptr, flags, data.data(), static_cast<uint32_t>(data.size()));
  }
  static std::string Content(const char* name) {
    tfs_header* h = mon_tfsstat(name);
    if (!h) return "<none>";
    return std::string(reinterpret_cast<const char*>(h) + h->hdr_size, h->data_size);
  }
  static fs_file NewFile() {
    fs_file f;
    fs_file_init(&f);
    return f;
  }

  CFileSystem_DriverTFS driver_;
  fs_media media_{};
};
