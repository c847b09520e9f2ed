// A database on the manual-clock kernel configured as a 96 x 32 full-matrix
// sign with three fonts and one graphic, and a render callback that records
// every event the parser raises (doing the little bookkeeping of the
// renderer that the parser relies on: the rectangle and line advances).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/journal.h"
#include "database/objects.h"
#include "display/multi/multi_hooks.h"
#include "display/multi/parser.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "rtos_host.h"

struct MultiNullJournal : db_journal {
  int INT8(uint32_t, uint8_t, uint32_t*) override { return 1; }
  int INT16(uint32_t, uint16_t, uint32_t*) override { return 1; }
  int INT32(uint32_t, uint32_t, uint32_t*) override { return 1; }
  int STRING(uint32_t, const uint8_t*, uint16_t, uint32_t*) override { return 1; }
};

// What the recording callback saw of one event.
struct seen_event {
  uint32_t kind;
  std::string text;  // text runs
  bool measuring;
  uint8_t font;      // the message's font reference at the time
};

class Recorder {
 public:
  static uint32_t Callback(void* context, CMessage* m) {
    auto* self = static_cast<Recorder*>(context);
    const render_event_s& e = m->m_event;
    if (e.kind == RE_NONE) return MULTI_OK;
    seen_event s{e.kind, "", m->m_byMeasuring != 0, m->m_byFont};
    if (e.kind == RE_TEXT) s.text.assign(reinterpret_cast<const char*>(e.arg.run.text), e.arg.run.count);
    self->events.push_back(s);
    self->last = e;
    if (self->hook) {
      uint32_t r = self->hook(m);
      if (r != MULTI_OK) return r;
    }
    if (e.kind == RE_NEW_RECT && m->m_nRect < MSG_RECTANGLES - 1) ++m->m_nRect;
    if (e.kind == RE_NEW_LINE && m->m_nLine < MSG_LINES - 1) ++m->m_nLine;
    if (e.kind == RE_MOVING_END && m->m_nMoving < MSG_MOVING - 1) ++m->m_nMoving;
    m->m_event.Clear();
    return MULTI_OK;
  }

  // "1:AB" for text runs, the kind alone for the others; measuring events
  // first marked by the drawing pass's first event being preceded by "|".
  std::string Trace() const {
    std::string out;
    bool measuring = true;
    for (const auto& e : events) {
      if (measuring && !e.measuring) {
        out += "| ";
        measuring = false;
      }
      out += std::to_string(e.kind);
      if (e.kind == RE_TEXT) out += ":" + e.text;
      out += " ";
    }
    if (!out.empty()) out.pop_back();
    return out;
  }

  std::vector<seen_event> events;
  render_event_s last{};
  // Runs on every event; a result other than 2 is returned to the parser.
  std::function<uint32_t(CMessage*)> hook;
};

class MultiTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kStringPool = 1u << 20;

  void SetUp() override {
    rtos::kernel_config c;
    c.memory_size = 2u << 20;
    rtos::kernel_start(c, [this](void* mem) {
      ASSERT_EQ(os_byte_pool_create(&pool_, "dynamic database", mem, kStringPool), OS_SUCCESS);
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
    });
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&pool_);
    db_->m_pJournal = &journal_;
    g_multi_hooks = {};
    Configure();
    msg_ = std::make_unique<CMessage>();
  }

  void TearDown() override {
    msg_.reset();
    g_multi_hooks = {};
    db_.reset();
    rtos::kernel_stop();
  }

  void SetNv(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_nv, DB_NO_VALIDATE); }
  void SetVol(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_v, DB_NO_VALIDATE); }
  void SetNvBytes(db_object o, std::vector<uint8_t> bytes) {
    db_->SetString(o.offset, 4, bytes.data(), static_cast<uint32_t>(bytes.size()), db_->mib_nv, DB_NO_VALIDATE);
  }

  // A 96 x 32 full-matrix sign of monochrome modules, 5 x 7 characters;
  // fonts 1, 2 and 3 in rows 0 to 2, ready; graphic 7 (10 x 8, ID 0x1234)
  // in row 0, ready, and graphic 9 in row 1, not ready.
  void Configure() {
    SetNv(nv::dmsSignType, 6);
    SetNv(nv::vmsSignWidthPixels, 96);
    SetNv(nv::vmsSignHeightPixels, 32);
    SetNv(nv::vmsCharacterWidthPixels, 5);
    SetNv(nv::vmsCharacterHeightPixels, 7);
    SetNv(nv::quorModuleID, 21);
    SetNv(nv::defaultFlashOn, 10);
    SetNv(nv::defaultFlashOff, 10);
    SetNv(nv::defaultFont, 1);
    SetNv(nv::defaultJustificationLine, 3);
    SetNv(nv::defaultJustificationPage, 3);
    SetNv(nv::defaultPageOnTime, 20);
    SetNv(nv::defaultPageOffTime, 0);
    SetNv(nv::dmsColorScheme, 3);
    SetNvBytes(nv::defaultForegroundRGB, {9});
    SetNvBytes(nv::defaultBackgroundRGB, {0});
    for (uint32_t f = 0; f < 3; ++f) {
      SetNv(nv::fontNumber(f), f + 1);
      SetNv(nv::fontHeight(f), 7);
      SetNv(nv::fontStatus(f), 4);
      SetNv(nv::fontVersionID(f), 0x1234);
    }
    for (uint32_t f = 3; f < 20; ++f) SetNv(nv::fontStatus(f), 11);
    SetNv(nv::dmsGraphicNumber(0), 7);
    SetNv(nv::dmsGraphicStatus(0), 4);
    SetNv(nv::dmsGraphicWidth(0), 10);
    SetNv(nv::dmsGraphicHeight(0), 8);
    SetNv(nv::dmsGraphicID(0), 0x1234);
    SetNv(nv::dmsGraphicNumber(1), 9);
    SetNv(nv::dmsGraphicStatus(1), 2);
    for (uint32_t g = 2; g < 50; ++g) SetNv(nv::dmsGraphicStatus(g), 1);
  }

  uint32_t Validate(const std::string& text) {
    return parser_.Validate(&rec_, &Recorder::Callback, msg_.get(), reinterpret_cast<const uint8_t*>(text.data()),
                            static_cast<uint32_t>(text.size()));
  }

  // As the display task loads a message: the defaults first.
  void Load(const std::string& text) {
    msg_->m_defaults.Load();
    parser_.Load(&rec_, &Recorder::Callback, msg_.get(), reinterpret_cast<const uint8_t*>(text.data()),
                 static_cast<uint32_t>(text.size()));
  }

  // Loads the text and shows its first page (both passes).
  bool Show(const std::string& text) {
    Load(text);
    return parser_.NextPage(msg_.get());
  }

  TX_BYTE_POOL pool_{};
  MultiNullJournal journal_;
  std::unique_ptr<CDataBase> db_;
  std::unique_ptr<CMessage> msg_;
  CMULTIParser parser_;
  Recorder rec_;
};
