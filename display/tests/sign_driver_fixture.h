// The sign's display driver on a fresh board: the kernel on the manual
// clock, the boot monitor's flash in memory, the buffer pool the EPLD images
// are inflated into, a database with the sign's settings, the built-in
// module-type table and the module-data driver whose CAN frames the board's
// EPLD FIFO takes. The driver under test is a fresh object; its driver-wide
// values are back at power-up.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"
#include "database/database.h"
#include "database/journal.h"
#include "database/objects.h"
#include "display/driver/module_type.h"
#include "display/driver/q5_display_driver.h"
#include "frame/board/board_control.h"
#include "frame/board/interrupt.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/bus/post_office.h"
#include "frame/can/can_db_driver.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "monitor_host.h"
#include "rtos_host.h"

struct SignNullJournal : db_journal {
  int INT8(uint32_t, uint8_t, uint32_t*) override { return 1; }
  int INT16(uint32_t, uint16_t, uint32_t*) override { return 1; }
  int INT32(uint32_t, uint32_t, uint32_t*) override { return 1; }
  int STRING(uint32_t, const uint8_t*, uint16_t, uint32_t*) override { return 1; }
};

// A CAN frame a display line received.
struct LineFrame {
  uint32_t channel, id;
  std::vector<uint8_t> data;
  bool operator==(const LineFrame&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const LineFrame& f) {
  os << "{ch " << f.channel << " id " << f.id << " [";
  for (uint8_t b : f.data) os << ' ' << int(b);
  return os << " ]}";
}

class SignDriverTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(); }

  void Start(const board::board_config& config = board::board_config()) {
    monitor::monitor_config mon;
    mon.flash_size = 2u << 20;
    monitor::reset(mon);
    // The pool is a global that outlives each test's kernel.
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    rtos::kernel_config k;
    k.memory_size = 6u << 20;
    rtos::kernel_start(k, [this](void* mem) {
      uint8_t* cursor = static_cast<uint8_t*>(mem);
      ASSERT_EQ(os_byte_pool_create(&strings_, "dynamic database", cursor, 1u << 20), OS_SUCCESS);
      cursor += 1u << 20;
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
      ASSERT_EQ(g_gpbuffer.Create(&cursor, GPBUFFER_POOL_SIZE), 1);
    });
    interrupt_power_on();
    board_control_power_on();
    board::reset(config);
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&strings_);
    db_->m_pJournal = &journal_;
    SetNv(nv::quorModuleID, 21);
    SetNv(nv::quorDisplayMode, 1);
    SetNv(nv::quorCANBaudRate, 1);
    select_module_type_table(5);
    driver_.PowerOn();
    CQ5DisplayDriver::SetLineDriver(nullptr);
  }

  void TearDown() override {
    CQ5DisplayDriver::SetLineDriver(nullptr);
    line_driver_.reset();
    board::shutdown();
    board_install_external_vector(nullptr);
    rtos::kernel_stop();
    db_.reset();
    g_module_type_table = nullptr;
    g_module_type_count = 0;
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    monitor::shutdown();
    trace_set_level(0);
  }

  void SetNv(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_nv, DB_NO_VALIDATE); }
  void SetVol(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_v, DB_NO_VALIDATE); }

  void InThread(const std::function<void()>& fn) { ASSERT_TRUE(rtos::run_in_thread(fn)); }
  void Configure(int32_t height, int32_t width, int32_t type) {
    InThread([&] { driver_.Configure(height, width, type); });
  }

  // The module-data driver, initialised, as the line commands' way out.
  void AttachLines() {
    line_driver_ = std::make_unique<can_db_driver>();
    InThread([&] { ASSERT_EQ(line_driver_->Initialize(0, 0, 0), 1u); });
    CQ5DisplayDriver::SetLineDriver(line_driver_.get());
    board::can_fifo().take_packets();
  }
  // The CAN frames sent since the last call, in order.
  std::vector<LineFrame> LineFrames() {
    std::vector<LineFrame> out;
    for (const std::vector<uint8_t>& p : board::can_fifo().take_packets()) {
      if (p.size() < 7 || p[2] != 0x01) continue;
      const uint32_t n = p[3] & 0x0F;
      out.push_back({static_cast<uint32_t>(p[3] >> 4), static_cast<uint32_t>((p[4] << 8 | p[5]) >> 5),
                     std::vector<uint8_t>(p.begin() + 6, p.begin() + 6 + n)});
    }
    return out;
  }
  // The bit-rate set-up packets' codes since the last call.
  std::vector<uint8_t> TemplateCodes(const std::vector<std::vector<uint8_t>>& packets) {
    std::vector<uint8_t> out;
    for (const std::vector<uint8_t>& p : packets)
      if (p.size() > 5 && p[2] == 0xCA) out.push_back(p[5]);
    return out;
  }

  TX_BYTE_POOL strings_{};
  SignNullJournal journal_;
  std::unique_ptr<CDataBase> db_;
  std::unique_ptr<can_db_driver> line_driver_;
  CQ5DisplayDriver driver_;
};
