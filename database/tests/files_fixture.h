// A database and the system media over a boot monitor with its flash in
// memory, with the buffer pool the file services borrow from, for the
// configuration, script and listing files and the web file calls.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/fs/fs_system.h"
#include "database/journal.h"
#include "db_fixture.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "mon_api.h"
#include "monitor_host.h"
#include "rtos_host.h"

class FilesTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kStringPool = 2097152;

  void SetUp() override {
    monitor::monitor_config mon;
    mon.flash_size = 8u << 20;
    monitor::reset(mon);
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    rtos::kernel_config c;
    c.memory_size = 8u << 20;
    rtos::kernel_start(c, [this](void* mem) {
      uint8_t* cursor = static_cast<uint8_t*>(mem);
      ASSERT_EQ(os_byte_pool_create(&pool_, "dynamic database", cursor, kStringPool), OS_SUCCESS);
      cursor += kStringPool;
      ASSERT_EQ(g_gpbuffer.Create(&cursor, GPBUFFER_POOL_SIZE), 1);
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
      ASSERT_EQ(os_event_create(&inbox_flags_, "inbox"), OS_SUCCESS);
    });
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&pool_);
    db_->m_pJournal = &journal_;
    db_->SetNotifyEnabled(true);
    inbox_ = std::make_unique<subscriber>(&g_post_office, &inbox_flags_, 1, nullptr);
    inbox_->Subscribe(kLetters);
    rtos::cpu_scope scope;
    ASSERT_EQ(file_system_media_open(), 0);
  }

  void TearDown() override {
    g_pFileSystemDriver = &g_fs_driver_tfs;
    g_fs_media.watchdog_hook = nullptr;
    inbox_.reset();
    db_.reset();
    {
      rtos::cpu_scope scope;
      g_pFileSystemDriver->MediaClose(&g_fs_media);
    }
    rtos::kernel_stop();
    CDB::DestroyInstance();
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    monitor::shutdown();
  }

  // Letters published since the last call, in order.
  std::vector<uint32_t> Letters() {
    std::vector<uint32_t> ids;
    letter_s* l = nullptr;
    while (inbox_->Receive(&l)) {
      ids.push_back(l->key);
      inbox_->Release(l);
    }
    return ids;
  }

  static int Add(const char* name, const std::string& data, const char* flags = "") {
    return mon_tfsadd(name, nullptr, flags, data.data(), static_cast<uint32_t>(data.size()));
  }
  static std::string Content(const char* name) {
    tfs_header* h = mon_tfsstat(name);
    if (!h) return "<none>";
    return std::string(reinterpret_cast<const char*>(h) + h->hdr_size, h->data_size);
  }

  uint32_t NvValue(uint32_t offset, uint32_t width) { return db_->GetValue(offset, width, db_->mib_nv, 0); }
  std::string NvString(uint32_t offset) {
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(offset, 4, db_->mib_nv, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  void SetNvString(uint32_t offset, const std::string& s) {
    ASSERT_EQ(db_->SetString(offset, 4, s.data(), static_cast<uint32_t>(s.size()), db_->mib_nv, 0), DB_OK);
  }

  static constexpr uint32_t kLetters[] = {MSG_CONFIG_LOADED, MSG_CONFIG_OBJECT_CHANGED, MSG_SIGN_TYPE_CHANGED, 0};
  TX_BYTE_POOL pool_{};
  TX_EVENT_FLAGS_GROUP inbox_flags_{};
  RecordingJournal journal_;
  std::unique_ptr<CDataBase> db_;
  std::unique_ptr<subscriber> inbox_;
};
