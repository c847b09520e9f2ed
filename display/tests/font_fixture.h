// A database and a buffer pool on the manual-clock kernel, for the font and
// surface tests: the fonts load through the pool into the database's font
// table, and the surface reads the sign type and control mode from it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "database/database.h"
#include "database/journal.h"
#include "database/objects.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "rtos_host.h"

struct NullJournal : db_journal {
  int INT8(uint32_t, uint8_t, uint32_t*) override { return 1; }
  int INT16(uint32_t, uint16_t, uint32_t*) override { return 1; }
  int INT32(uint32_t, uint32_t, uint32_t*) override { return 1; }
  int STRING(uint32_t, const uint8_t*, uint16_t, uint32_t*) override { return 1; }
};

class FontDbTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kStringPool = 2u << 20;
  static constexpr uint32_t kBufferPool = 1u << 20;  // three font buffers

  void SetUp() override { Boot(true); }

  void Boot(bool with_buffers) {
    rtos::kernel_config c;
    c.memory_size = 4u << 20;
    rtos::kernel_start(c, [this, with_buffers](void* mem) {
      uint8_t* cursor = static_cast<uint8_t*>(mem);
      ASSERT_EQ(os_byte_pool_create(&pool_, "dynamic database", cursor, kStringPool), OS_SUCCESS);
      cursor += kStringPool;
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
      if (with_buffers) { ASSERT_EQ(g_gpbuffer.Create(&cursor, kBufferPool), 1); }
    });
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&pool_);
    db_->m_pJournal = &journal_;
  }

  void TearDown() override {
    db_.reset();
    // The global pool lives in this kernel's memory: start the next test
    // with a pool that was never created.
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    rtos::kernel_stop();
  }

  uint32_t Nv(db_object o) { return db_->GetValue(o.offset, o.width, db_->mib_nv, 0); }
  // Test state is set up around the database's write hooks.
  void SetNv(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_nv, DB_NO_VALIDATE); }
  void SetVol(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_v, DB_NO_VALIDATE); }
  std::string NvString(db_object o) {
    uint32_t len = 0;
    const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_nv, &len);
    return std::string(reinterpret_cast<const char*>(p), len);
  }

  TX_BYTE_POOL pool_{};
  NullJournal journal_;
  std::unique_ptr<CDataBase> db_;
};
