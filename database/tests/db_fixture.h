// A database on the manual-clock kernel with its string pool and event
// flags, a journal that records what it is given, and an inbox on the
// router that collects the letters change notices publish.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/journal.h"
#include "frame/bus/letter.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "monitor_host.h"
#include "rtos_host.h"

struct RecordingJournal : db_journal {
  struct record {
    uint32_t offset;
    uint32_t width;  // 0 for a string
    uint32_t value;
    std::string bytes;
  };
  std::vector<record> records;
  int INT8(uint32_t o, uint8_t v, uint32_t*) override { return add({o, 1, v, {}}); }
  int INT16(uint32_t o, uint16_t v, uint32_t*) override { return add({o, 2, v, {}}); }
  int INT32(uint32_t o, uint32_t v, uint32_t*) override { return add({o, 4, v, {}}); }
  int STRING(uint32_t o, const uint8_t* d, uint16_t n, uint32_t*) override {
    return add({o, 0, n, std::string(reinterpret_cast<const char*>(d), n)});
  }
  int add(record r) {
    records.push_back(std::move(r));
    return 1;
  }
};

class DatabaseTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kPoolSize = 2097152;

  void SetUp() override { Boot(kPoolSize); }

  void Boot(uint32_t pool_size) {
    // A flash in memory for the journal that Init opens.
    monitor::monitor_config mon;
    mon.flash_size = 5u << 20;
    monitor::reset(mon);
    rtos::kernel_config c;
    c.memory_size = 4u << 20;
    rtos::kernel_start(c, [this, pool_size](void* mem) {
      ASSERT_EQ(os_byte_pool_create(&pool_, "dynamic database", mem, pool_size), OS_SUCCESS);
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
      ASSERT_EQ(os_event_create(&inbox_flags_, "inbox"), OS_SUCCESS);
      // Work buffers (font loading) behind the string pool, when asked for.
      uint8_t* cursor = static_cast<uint8_t*>(mem) + pool_size;
      if (with_buffers_) {
        ASSERT_EQ(g_gpbuffer.Create(&cursor, kBufferPool), 1);
      }
    });
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&pool_);
    db_->m_pJournal = &journal_;
    db_->SetNotifyEnabled(true);
    inbox_ = std::make_unique<subscriber>(&g_post_office, &inbox_flags_, 1, nullptr);
    inbox_->Subscribe(kAllLetters);
  }

  void TearDown() override {
    inbox_.reset();
    db_.reset();
    if (with_buffers_) {
      // The global pool lived in this kernel's memory.
      g_gpbuffer.~CGPBuffer();
      new (&g_gpbuffer) CGPBuffer();
    }
    rtos::kernel_stop();
    CDB::DestroyInstance();
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

  // Database event flags raised since the last call (and clears them).
  uint32_t Flags() {
    uint32_t actual = 0;
    if (os_event_get(&g_database_flags, 0xFFFFFFFF, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT) != OS_SUCCESS) return 0;
    return actual;
  }

  std::string Str(uint32_t offset, uint8_t* area) {
    uint32_t len = 0;
    const uint8_t* p = db_->GetString(offset, 4, area, &len);
    return std::string(reinterpret_cast<const char*>(p), len);
  }

  static const uint32_t kAllLetters[];
  static constexpr uint32_t kBufferPool = 1u << 20;
  bool with_buffers_ = false;  // set before SetUp
  TX_BYTE_POOL pool_{};
  TX_EVENT_FLAGS_GROUP inbox_flags_{};
  RecordingJournal journal_;
  std::unique_ptr<CDataBase> db_;
  std::unique_ptr<subscriber> inbox_;
};
