// The buffer pool of large work buffers.
#include <gtest/gtest.h>

#include "frame/buffer/gpbuffer.h"
#include "rtos_host.h"

namespace {

class GPBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtos::kernel_config c;
    c.memory_size = 8u << 20;
    rtos::kernel_start(c, [this](void* mem) {
      cursor_ = static_cast<uint8_t*>(mem);
      start_ = cursor_;
      ASSERT_EQ(pool_.Create(&cursor_, GPBUFFER_POOL_SIZE), 1);
    });
  }
  void TearDown() override { rtos::kernel_stop(); }
  CGPBuffer pool_;
  uint8_t* cursor_ = nullptr;
  uint8_t* start_ = nullptr;
};

TEST_F(GPBufferTest, TransferAndEpldBuffersFitTogetherThenTheRestFails) {
  EXPECT_EQ(cursor_, start_ + GPBUFFER_POOL_SIZE);
  void *transfer = nullptr, *epld = nullptr, *file = nullptr;
  ASSERT_EQ(pool_.Allocate(&transfer, GPBUFFER_FILE_TRANSFER), 1);
  ASSERT_EQ(pool_.Allocate(&epld, GPBUFFER_EPLD), 1);
  EXPECT_EQ(pool_.BuffersOut(), 2u);
  EXPECT_EQ(pool_.Allocate(&file, GPBUFFER_FILE), 0);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(pool_.Release(&epld), 1);
  EXPECT_NE(epld, nullptr);  // the caller's pointer is left alone
  EXPECT_EQ(pool_.Allocate(&file, GPBUFFER_FILE), 1);
  EXPECT_EQ(pool_.BuffersOut(), 2u);
  EXPECT_EQ(pool_.State(), 2);
}

TEST_F(GPBufferTest, SecondCreateAndBadReleasesAreRefused) {
  uint8_t* cursor = cursor_;
  EXPECT_EQ(pool_.Create(&cursor, 4096), 0);
  EXPECT_EQ(cursor, cursor_);
  void* none = nullptr;
  EXPECT_EQ(pool_.Release(&none), 0);
  EXPECT_EQ(pool_.Release(nullptr), 0);
  int local = 0;
  void* foreign = &local;
  EXPECT_EQ(pool_.Release(&foreign), 0);
  EXPECT_EQ(pool_.BuffersOut(), 0u);
  CGPBuffer never;
  void* out = &local;
  EXPECT_EQ(never.Allocate(&out, 16), 0);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
