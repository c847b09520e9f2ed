// A renderer over a small full-matrix sign, with two fonts written into the
// font table: font 1, 3 x 5 glyphs with spacing 1 ("A", "B", "C", "I" one
// column wide, space two columns), and font 2, solid 5 x 7 blocks "A" and
// "B". Pages are shown as the display task shows them and the surface is
// read back as text rows for golden pictures.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/journal.h"
#include "database/objects.h"
#include "display/message/message.h"
#include "display/multi/multi_hooks.h"
#include "display/multi/parser.h"
#include "display/render/render.h"
#include "display/render/render_hooks.h"
#include "display/surface/text.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "rtos_host.h"

struct RenderNullJournal : db_journal {
  int INT8(uint32_t, uint8_t, uint32_t*) override { return 1; }
  int INT16(uint32_t, uint16_t, uint32_t*) override { return 1; }
  int INT32(uint32_t, uint32_t, uint32_t*) override { return 1; }
  int STRING(uint32_t, const uint8_t*, uint16_t, uint32_t*) override { return 1; }
};

class RenderTest : public ::testing::Test {
 protected:
  using Picture = std::vector<std::string>;

  void SetUp() override {
    rtos::kernel_config c;
    c.memory_size = 2u << 20;
    rtos::kernel_start(c, [this](void* mem) {
      ASSERT_EQ(os_byte_pool_create(&pool_, "dynamic database", mem, 1u << 20), OS_SUCCESS);
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
    });
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&pool_);
    db_->m_pJournal = &journal_;
    g_multi_hooks = {};
    g_render_hooks = {};
    Configure();
    render_ = std::make_unique<CRender>();
    msg_ = std::make_unique<CMessage>(&render_->Surface());
    Sign(11, 7);
    PrimeRunSpacing();
  }

  // Text layout averages the spacing before a run with the last run's,
  // which it keeps between calls: every test starts after a run of
  // spacing 1, as if the previous run was in the test fonts.
  void PrimeRunSpacing() {
    CNTCIPFont font(0);
    int32_t x = 0, y = 0, spacing = 1;
    uint32_t line_spacing = 0, overflow = 0;
    const uint8_t a = 'A';
    MeasureText(font, &a, 1, &x, {0, 0, 100, 100}, &spacing, &line_spacing, &overflow, true, false);
    CSurface scratch;
    scratch.Allocate(1, 1, 1);
    DrawText(scratch, font, &a, 1, &x, &y, {0, 0, 1, 1}, false, 1, false, false, nullptr);
  }

  void TearDown() override {
    msg_.reset();
    render_.reset();
    g_multi_hooks = {};
    g_render_hooks = {};
    db_.reset();
    rtos::kernel_stop();
  }

  uint32_t Nv(db_object o) { return db_->GetValue(o.offset, o.width, db_->mib_nv, 0); }
  uint32_t Vol(db_object o) { return db_->GetValue(o.offset, o.width, db_->mib_v, 0); }
  void SetNv(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_nv, DB_NO_VALIDATE); }
  void SetVol(db_object o, uint32_t v) { db_->SetValue(o.offset, o.width, v, db_->mib_v, DB_NO_VALIDATE); }
  void SetNvBytes(db_object o, const std::vector<uint8_t>& bytes) {
    db_->SetString(o.offset, 4, bytes.data(), static_cast<uint32_t>(bytes.size()), db_->mib_nv, DB_NO_VALIDATE);
  }
  void SetVolBytes(db_object o, const std::string& bytes) {
    db_->SetString(o.offset, 4, bytes.data(), static_cast<uint32_t>(bytes.size()), db_->mib_v, DB_NO_VALIDATE);
  }
  std::string VolString(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_v, &n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
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

  void Font(uint32_t row, uint32_t number, uint32_t height, uint32_t spacing, uint32_t line_spacing) {
    SetNv(nv::fontNumber(row), number);
    SetNv(nv::fontHeight(row), height);
    SetNv(nv::fontCharSpacing(row), spacing);
    SetNv(nv::fontLineSpacing(row), line_spacing);
    SetNv(nv::fontStatus(row), 4);
    SetNv(nv::fontVersionID(row), 0x1234);
  }

  void Configure() {
    SetNv(nv::dmsSignType, 6);
    SetNv(nv::vmsCharacterWidthPixels, 5);
    SetNv(nv::vmsCharacterHeightPixels, 7);
    SetNv(nv::quorModuleID, 21);
    SetNv(nv::defaultFlashOn, 10);
    SetNv(nv::defaultFlashOff, 10);
    SetNv(nv::defaultFont, 1);
    SetNv(nv::defaultJustificationLine, 2);
    SetNv(nv::defaultJustificationPage, 2);
    SetNv(nv::defaultPageOnTime, 20);
    SetNv(nv::defaultPageOffTime, 0);
    SetNv(nv::dmsColorScheme, 3);
    SetNvBytes(nv::defaultForegroundRGB, {9});
    SetNvBytes(nv::defaultBackgroundRGB, {0});
    SetVol(vol::dmsGraphicBlockSize, 1023);
    for (uint32_t f = 0; f < 20; ++f) SetNv(nv::fontStatus(f), 1);

    Font(0, 1, 5, 1, 1);
    Glyph(0, 'A', {".#.", "#.#", "###", "#.#", "#.#"});
    Glyph(0, 'B', {"##.", "#.#", "##.", "#.#", "##."});
    Glyph(0, 'C', {".##", "#..", "#..", "#..", ".##"});
    Glyph(0, 'I', {"#", "#", "#", "#", "#"});
    Glyph(0, ' ', {"..", "..", "..", "..", ".."});

    Font(1, 2, 7, 1, 0);
    const std::vector<std::string> block(7, "#####");
    Glyph(1, 'A', block);
    Glyph(1, 'B', block);
  }

  // Sign and surface of the given size.
  void Sign(uint32_t width, uint32_t height, uint8_t depth = 1) {
    SetNv(nv::vmsSignWidthPixels, width);
    SetNv(nv::vmsSignHeightPixels, height);
    ASSERT_TRUE(render_->SizeSurface(height, width, depth));
  }

  // Modules that show every colour (the default modules are monochrome).
  void FullColourModules() {
    g_multi_hooks.module_info = [](uint32_t, multi_module_info* out) { *out = {5, 3}; };
  }

  // Loads a message as the display task does and draws its first page.
  bool Show(const std::string& text) {
    msg_->m_defaults.Load();
    render_->Load(&parser_, msg_.get(), reinterpret_cast<const uint8_t*>(text.data()),
                  static_cast<uint32_t>(text.size()));
    return render_->NextPage(&parser_, msg_.get());
  }
  bool Next() { return render_->NextPage(&parser_, msg_.get()); }
  // One more frame of the page shown.
  bool Redraw() { return render_->CurrentPage(&parser_, msg_.get()); }

  // The surface as rows: '.' for 0; '#' for any other value, or the
  // character `colours` names for it.
  Picture Shot(const std::map<uint32_t, char>& colours = {}) {
    Picture rows;
    CSurface& s = render_->Surface();
    for (uint32_t y = 0; y < s.Height(); ++y) {
      std::string row;
      for (uint32_t x = 0; x < s.Width(); ++x) {
        uint32_t v = s.GetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y));
        auto it = colours.find(v);
        row += v == 0 ? '.' : it != colours.end() ? it->second : '#';
      }
      rows.push_back(row);
    }
    return rows;
  }

  line_record_s& Line(int rect, int line) { return msg_->m_lines[rect][line]; }

  TX_BYTE_POOL pool_{};
  RenderNullJournal journal_;
  std::unique_ptr<CDataBase> db_;
  std::unique_ptr<CRender> render_;
  std::unique_ptr<CMessage> msg_;
  CMULTIParser parser_;
};
