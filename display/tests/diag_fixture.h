// The module diagnostics on a fresh board: the kernel on the manual clock,
// a database with its string pool, the module-data driver whose packets
// the board's EPLD FIFO takes (and whose received bytes go to the module
// bus), a job queue, the display core with the module bus and its stream,
// and one face of 2 module rows of 4 modules (7 x 5 pixels) served by the
// diagnostics under test. Tests open the face themselves (OpenFace) after
// adjusting its description.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"
#include "database/database.h"
#include "database/journal.h"
#include "database/objects.h"
#include "display/core/core.h"
#include "display/core/face.h"
#include "display/core/job_queue.h"
#include "display/core/module_link.h"
#include "display/driver/module_type.h"
#include "display/driver/q5_display_driver.h"
#include "display/frame/frame_engine.h"
#include "display/modbus/bus_ksr7100.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/modbus/diag_registrar.h"
#include "display/modbus/module_bus_frame.h"
#include "display/modbus/stream_ksr7100.h"
#include "frame/board/board_control.h"
#include "frame/board/interrupt.h"
#include "frame/bus/post_office.h"
#include "frame/can/can_db_driver.h"
#include "frame/can/can_packet.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "rtos_host.h"

struct DiagNullJournal : db_journal {
  int INT8(uint32_t, uint8_t, uint32_t*) override { return 1; }
  int INT16(uint32_t, uint16_t, uint32_t*) override { return 1; }
  int INT32(uint32_t, uint32_t, uint32_t*) override { return 1; }
  int STRING(uint32_t, const uint8_t*, uint16_t, uint32_t*) override { return 1; }
};

// A CAN frame the controller sent on a display line (EPLD channel).
struct SentFrame {
  uint32_t channel, id;
  std::vector<uint8_t> data;
  bool operator==(const SentFrame&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const SentFrame& f) {
  os << "{ch " << f.channel << " id 0x" << std::hex << f.id << std::dec << " [";
  for (uint8_t b : f.data) os << ' ' << int(b);
  return os << " ]}";
}

class DiagTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtos::kernel_config k;
    k.memory_size = 4u << 20;
    rtos::kernel_start(k, [this](void* mem) {
      ASSERT_EQ(os_byte_pool_create(&strings_, "dynamic database", mem, 2u << 20), OS_SUCCESS);
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
    });
    interrupt_power_on();
    board_control_power_on();
    board::reset();
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&strings_);
    db_->m_pJournal = &journal_;
    select_module_type_table(5);
    SetNv(nv::quorModuleID, 21);
    SetNv(nv::quorCANBaudRate, 1);
    SetNv(nv::quorDiagLineSize, 1024);
    InThread([&] { g_diag_index_registrar.ClearAll(); });

    driver_ = std::make_unique<can_db_driver>();
    InThread([&] { ASSERT_EQ(driver_->Initialize(0, 0, 0), 1u); });
    CQ5DisplayDriver::SetLineDriver(driver_.get());
    InThread([&] { ASSERT_TRUE(queue_.Open()); });
    bus_.SetQueue(&queue_);
    ASSERT_TRUE(bus_.Open(MODULE_BUS_NAME, &stream_));
    driver_->SetReceiver(&bus_);
    ASSERT_TRUE(core_.Open());
    ASSERT_TRUE(core_.AttachBus(&bus_));
    diag_.SetLineCountQuery(&DiagTest::SignLines);
    diag_.SetDisplayFlags(&second_stream_, &module_info_c_);
    s_sign_lines = 9;

    desc_.face_number = 0;
    std::snprintf(desc_.face_name, sizeof desc_.face_name, "primary");
    std::snprintf(desc_.bus_name, sizeof desc_.bus_name, "%s", MODULE_BUS_NAME);
    desc_.height = 14;
    desc_.width = 20;
    desc_.rate = 10;
    desc_.colour_code = 1;
    desc_.depth = 1;
    desc_.modules_per_row[0] = desc_.modules_per_row[1] = 4;
    desc_.module_rows = 2;
    desc_.total_modules = 8;
    desc_.module_type = 21;
    desc_.module_class = 4;
    desc_.module_height = 7;
    desc_.module_width = 5;
    desc_.module_type_flag = 2;  // type 21: pixel-test data 0x60
    desc_.diag = &diag_;
    desc_.engine = &engine_;
  }

  void TearDown() override {
    InThread([&] {
      core_.DetachFace(&face_);
      face_.Close();
    });
    driver_->SetReceiver(nullptr);
    CQ5DisplayDriver::SetLineDriver(nullptr);
    board::shutdown();
    board_install_external_vector(nullptr);
    rtos::kernel_stop();
    core_.Close();
    driver_.reset();
    db_.reset();
    g_module_type_table = nullptr;
    g_module_type_count = 0;
    trace_set_level(0);
  }

  void OpenFace() {
    InThread([&] {
      ASSERT_TRUE(face_.Open(&desc_));
      ASSERT_TRUE(core_.AttachFace(&face_));
    });
    ASSERT_EQ(face_.m_byState, disp::face::BOUND);
    board::can_fifo().take_packets();
  }

  void SetNv(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_nv, DB_NO_VALIDATE); }
  uint32_t Vol(db_object o) { return db_->GetValue(o.offset, o.width, db_->mib_v, 0); }
  std::string VolText(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_v, &n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
  }
  void InThread(const std::function<void()>& fn) { ASSERT_TRUE(rtos::run_in_thread(fn)); }

  // A module-bus packet (kind, length byte, data) as the stream hands it on.
  static void MakePacket(disp::packet& p, uint8_t kind, uint8_t length_byte, const std::vector<uint8_t>& data) {
    p.bytes[0] = 0x55;
    p.bytes[1] = 0xAA;
    p.bytes[2] = kind;
    p.bytes[3] = length_byte;
    for (size_t i = 0; i < data.size(); ++i) p.bytes[4 + i] = data[i];
    p.data = p.bytes + 2;
    p.length = static_cast<uint32_t>(2 + data.size());
  }
  void Handle(uint8_t kind, uint8_t length_byte, const std::vector<uint8_t>& data) {
    disp::packet p;
    MakePacket(p, kind, length_byte, data);
    InThread([&] { diag_.HandlePacket(&p); });
  }
  // A module reply (11-bit identifier) on a channel.
  void Reply(uint32_t channel, uint32_t id, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> d = {static_cast<uint8_t>(id >> 3), static_cast<uint8_t>((id << 5) & 0xE0)};
    d.insert(d.end(), data.begin(), data.end());
    Handle(0x01, static_cast<uint8_t>(channel << 4 | data.size()), d);
  }
  void Tick(uint32_t n = 1) {
    InThread([&] {
      for (uint32_t i = 0; i < n; ++i) diag_.Tick();
    });
  }

  // What the controller wrote to the EPLD since the last call.
  std::vector<std::vector<uint8_t>> Packets() { return board::can_fifo().take_packets(); }
  static std::vector<SentFrame> CanFrames(const std::vector<std::vector<uint8_t>>& packets) {
    std::vector<SentFrame> out;
    for (const std::vector<uint8_t>& p : packets) {
      if (p.size() < 7 || p[2] != 0x01) continue;
      const uint32_t n = p[3] & 0x0F;
      out.push_back({static_cast<uint32_t>(p[3] >> 4), static_cast<uint32_t>((p[4] << 8 | p[5]) >> 5),
                     std::vector<uint8_t>(p.begin() + 6, p.begin() + 6 + n)});
    }
    return out;
  }
  static size_t Count(const std::vector<std::vector<uint8_t>>& packets, const std::vector<uint8_t>& frame) {
    size_t n = 0;
    for (const std::vector<uint8_t>& p : packets)
      if (p == frame) ++n;
    return n;
  }

  static uint8_t SignLines() { return s_sign_lines; }
  static inline uint8_t s_sign_lines = 9;

  TX_BYTE_POOL strings_{};
  DiagNullJournal journal_;
  std::unique_ptr<CDataBase> db_;
  std::unique_ptr<can_db_driver> driver_;
  job_queue queue_;
  stream_ksr7100 stream_;
  bus_ksr7100 bus_;
  disp::core core_;
  diag_ksr7100 diag_;
  disp::frame_engine engine_;
  disp::face_description desc_;
  disp::face face_;
  uint8_t second_stream_ = 0;
  uint8_t module_info_c_ = 0;
};
