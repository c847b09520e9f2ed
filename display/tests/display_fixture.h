// The display task on the manual clock: a database with a small sign of
// 7 x 5 modules and one font (3 x 5 glyphs "A", "B", "C"), the built-in
// module-type table, the global renderer and display core, and a recording
// driver in place of the sign's. The task is created but its faces are
// registered by each test (Register), as start-up would do.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/journal.h"
#include "database/objects.h"
#include "display/core/core.h"
#include "display/driver/module_type.h"
#include "display/driver/recording_driver.h"
#include "display/multi/multi_hooks.h"
#include "display/render/render.h"
#include "display/render/render_hooks.h"
#include "display/task/display.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "rtos_host.h"

struct DisplayNullJournal : db_journal {
  int INT8(uint32_t, uint8_t, uint32_t*) override { return 1; }
  int INT16(uint32_t, uint16_t, uint32_t*) override { return 1; }
  int INT32(uint32_t, uint32_t, uint32_t*) override { return 1; }
  int STRING(uint32_t, const uint8_t*, uint16_t, uint32_t*) override { return 1; }
};

class DisplayTest : public ::testing::Test {
 public:
  using Picture = std::vector<std::string>;

 protected:

  void SetUp() override {
    rtos::kernel_config c;
    c.memory_size = 4u << 20;
    rtos::kernel_start(c, [this](void* mem) {
      uint8_t* cursor = static_cast<uint8_t*>(mem);
      // The controller's own size: a reload of the factory defaults fits.
      ASSERT_EQ(os_byte_pool_create(&strings_, "dynamic database", cursor, 2u << 20), OS_SUCCESS);
      ASSERT_EQ(os_byte_pool_create(&stacks_, "thread stacks", cursor + (2u << 20), 1u << 18), OS_SUCCESS);
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
    });
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&strings_);
    db_->m_pJournal = &journal_;
    db_->SetNotifyEnabled(true);
    g_multi_hooks = {};
    g_render_hooks = {};
    select_module_type_table(5);
    render_install_hooks();
    saved_rate_ = g_render.m_byFrameRate;
    g_render.m_byFrameRate = 10;
    g_render.m_dwPatternMode = 0;
    g_display_core.Close();
    g_display_core.Open();
    Configure();
    driver_.Clear();
    display_ = std::make_unique<CDisplay>(&g_post_office);
    display_->SetSignDriver(&driver_);
    ASSERT_EQ(display_->Subscribe(), 1);
    ASSERT_EQ(display_->Create(&stacks_), 1);
  }

  void TearDown() override {
    rtos::kernel_stop();
    display_.reset();
    g_display_core.Close();
    g_multi_hooks = {};
    g_render_hooks = {};
    g_module_type_table = nullptr;
    g_module_type_count = 0;
    // The renderer is global: the next tests find it as it was.
    g_render.m_byFrameRate = saved_rate_;
    g_render.m_dwPatternMode = 0;
    g_render.m_byAttribute1 = g_render.m_byAttribute2 = 0;
    db_.reset();
  }

  uint32_t Nv(db_object o) { return db_->GetValue(o.offset, o.width, db_->mib_nv, 0); }
  uint32_t Vol(db_object o) { return db_->GetValue(o.offset, o.width, db_->mib_v, 0); }
  void SetNv(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_nv, DB_NO_VALIDATE); }
  void SetVol(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_v, DB_NO_VALIDATE); }
  void SetNvBytes(db_object o, const std::vector<uint8_t>& bytes) {
    db_->SetString(o.offset, 4, bytes.data(), static_cast<uint32_t>(bytes.size()), db_->mib_nv, DB_NO_VALIDATE);
  }
  std::string VolBytes(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_v, &n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
  }
  // Database event flags raised since the last call (and clears them).
  uint32_t TakeFlags(uint32_t mask = 0xFFFFFFFF) {
    uint32_t actual = 0;
    if (os_event_get(&g_database_flags, mask, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT) != OS_SUCCESS) return 0;
    return actual;
  }

  // A glyph from rows of '#' and '.', into font row `font`.
  void Glyph(uint32_t font, char c, const std::vector<std::string>& rows) {
    const uint32_t w = rows.empty() ? 0 : static_cast<uint32_t>(rows[0].size());
    std::vector<uint8_t> bits((w * rows.size() + 7) / 8, 0);
    for (uint32_t y = 0; y < rows.size(); ++y)
      for (uint32_t x = 0; x < w; ++x)
        if (rows[y][x] == '#') bits[(y * w + x) / 8] |= static_cast<uint8_t>(0x80 >> ((y * w + x) % 8));
    const uint32_t code = static_cast<uint8_t>(c);
    SetNv(nv::characterWidth(font, code - 1), w);
    SetNvBytes(nv::characterBitmap(font, code - 1), bits);
  }

  void Configure() {
    SetNv(nv::dmsSignType, 6);
    SetNv(nv::vmsCharacterWidthPixels, 5);
    SetNv(nv::vmsCharacterHeightPixels, 7);
    SetNv(nv::quorModuleID, 21);  // 7 x 5 monochrome
    SetNv(nv::quorDisplayMode, 1);
    SetNv(nv::quorFrameRate, 10);
    SetNv(nv::vmsSignHeightPixels, 7);
    SetNv(nv::vmsSignWidthPixels, 15);
    SetNv(nv::defaultFlashOn, 10);
    SetNv(nv::defaultFlashOff, 10);
    SetNv(nv::defaultFont, 1);
    SetNv(nv::defaultJustificationLine, 2);
    SetNv(nv::defaultJustificationPage, 2);
    SetNv(nv::defaultPageOnTime, 30);
    SetNv(nv::defaultPageOffTime, 0);
    SetNv(nv::dmsColorScheme, 3);
    SetNvBytes(nv::defaultForegroundRGB, {9});
    SetNvBytes(nv::defaultBackgroundRGB, {0});
    SetNv(nv::dmsMessageTimeRemaining, 65535);
    for (uint32_t f = 0; f < 20; ++f) SetNv(nv::fontStatus(f), 1);
    SetNv(nv::fontNumber(0), 1);
    SetNv(nv::fontHeight(0), 5);
    SetNv(nv::fontCharSpacing(0), 1);
    SetNv(nv::fontLineSpacing(0), 1);
    SetNv(nv::fontStatus(0), 4);
    SetNv(nv::fontVersionID(0), 0x1234);
    Glyph(0, 'A', {".#.", "#.#", "###", "#.#", "#.#"});
    Glyph(0, 'B', {"##.", "#.#", "##.", "#.#", "##."});
    Glyph(0, 'C', {".##", "#..", "#..", "#..", ".##"});
    // Nothing raised by the set-up is left for the task.
    TakeFlags();
  }

  // Registers the faces in a thread, as start-up does before scheduling.
  uint8_t Register(uint16_t height, uint16_t width, uint8_t colour = 1) {
    uint8_t result = 0;
    EXPECT_TRUE(rtos::run_in_thread([&] { result = display_->RegisterFaces(height, width, colour); }));
    return result;
  }
  void InThread(const std::function<void()>& fn) { ASSERT_TRUE(rtos::run_in_thread(fn)); }
  void Start(const std::string& text) {
    InThread([&] {
      display_->StartMessage(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()),
                             false);
    });
  }

  // The tick of the task's first step: the timer's first expiry (150)
  // starts the thread, the next expiry steps.
  static constexpr uint32_t kFirstStep = 160;
  // Advances to just after step n (1-based) of the task.
  void RunToStep(uint32_t n) {
    const uint32_t target = kFirstStep + (n - 1) * 10;
    const uint32_t now = tx_time_get();
    if (target >= now) rtos::advance(target - now + 1);
  }

  // The frames as runs of equal pictures: (picture, count).
  std::vector<std::pair<Picture, uint32_t>> Runs() const {
    std::vector<std::pair<Picture, uint32_t>> runs;
    for (const auto& f : driver_.frames) {
      Picture p = f.Rows();
      if (!runs.empty() && runs.back().first == p)
        ++runs.back().second;
      else
        runs.push_back({p, 1});
    }
    return runs;
  }

  uint8_t saved_rate_ = 2;
  TX_BYTE_POOL strings_{};
  TX_BYTE_POOL stacks_{};
  DisplayNullJournal journal_;
  std::unique_ptr<CDataBase> db_;
  recording_display_driver driver_;
  std::unique_ptr<CDisplay> display_;
};
