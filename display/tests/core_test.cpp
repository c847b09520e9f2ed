// The display-module core: faces bound to buses by name, packets handed to
// the faces of their bus, and the face's calls on its engine and
// diagnostics.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "display/core/bus.h"
#include "display/core/core.h"
#include "display/core/diagnostics.h"
#include "display/core/face.h"
#include "display/core/stream.h"
#include "display/frame/frame_engine.h"

namespace {

std::vector<std::string>* g_calls = nullptr;
void note(const std::string& s) {
  if (g_calls) g_calls->push_back(s);
}

struct test_engine : disp::frame_engine {
  bool Attach(disp::face* f) override {
    note("attach");
    return frame_engine::Attach(f);
  }
  bool Detach() override {
    note("detach");
    return frame_engine::Detach();
  }
  void Commit() override { note("commit"); }
};

struct test_diagnostics : disp::diagnostics {
  explicit test_diagnostics(const char* n) : name(n) {}
  bool Open(disp::face* f) override {
    note("open");
    return diagnostics::Open(f);
  }
  bool Close() override {
    note("close");
    return diagnostics::Close();
  }
  void Tick() override { note("tick"); }
  bool HandlePacket(disp::packet*) override {
    note(std::string("packet ") + name);
    return true;
  }
  bool ClearResults() override {
    note("clear");
    return true;
  }
  bool StartPixelTest() override {
    note("start");
    return diagnostics::StartPixelTest();
  }
  const char* name;
};

struct test_bus : disp::bus {
  void ReceiveByte() override {}
};

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = &calls_;
    ASSERT_TRUE(core_.Open());
  }
  void TearDown() override { g_calls = nullptr; }

  // A valid description: 2 rows of 7 x 5 modules, 3 across.
  static void Describe(disp::face_description& d, const char* face, const char* bus, disp::diagnostics* diag,
                       disp::frame_engine* engine) {
    d = disp::face_description();
    std::strncpy(d.face_name, face, sizeof d.face_name - 1);
    std::strncpy(d.bus_name, bus, sizeof d.bus_name - 1);
    d.height = 14;
    d.width = 15;
    d.module_height = 7;
    d.module_width = 5;
    d.module_rows = 2;
    d.modules_per_row[0] = d.modules_per_row[1] = 3;
    d.colour_code = 1;
    d.diag = diag;
    d.engine = engine;
  }

  std::vector<std::string> calls_;
  disp::core core_;
  disp::stream stream_;
  test_engine engine_a_, engine_b_, engine_c_;
  test_diagnostics diag_a_{"a"}, diag_b_{"b"}, diag_c_{"c"};
};

TEST_F(CoreTest, DescriptionValidation) {
  struct Case {
    const char* what;
    void (*spoil)(disp::face_description&);
    bool valid;
  } cases[] = {
      {"as made", [](disp::face_description&) {}, true},
      {"rows differ from height", [](disp::face_description& d) { d.module_rows = 3; }, false},
      {"height not whole modules but rows match", [](disp::face_description& d) { d.height = 20; }, true},
      {"too many modules in a row", [](disp::face_description& d) { d.modules_per_row[1] = 4; }, false},
      {"too many modules beyond the rows", [](disp::face_description& d) { d.modules_per_row[8] = 4; }, false},
      {"no engine", [](disp::face_description& d) { d.engine = nullptr; }, false},
      {"no diagnostics", [](disp::face_description& d) { d.diag = nullptr; }, false},
      {"no module width", [](disp::face_description& d) { d.module_width = 0; }, false},
      {"no colour code", [](disp::face_description& d) { d.colour_code = 0; }, false},
      {"no width", [](disp::face_description& d) { d.width = 0; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    disp::face_description d;
    Describe(d, "primary", "ksr-7100", &diag_a_, &engine_a_);
    c.spoil(d);
    EXPECT_EQ(disp::ValidateDescription(&d), c.valid);
    disp::face f;
    calls_.clear();
    EXPECT_EQ(f.Open(&d), c.valid);
    EXPECT_EQ(f.IsOpen(), c.valid);
    if (!c.valid) { EXPECT_TRUE(calls_.empty()); }
  }
  EXPECT_FALSE(disp::ValidateDescription(nullptr));
}

TEST_F(CoreTest, FaceOpensItsEngineAndDiagnosticsAndRefreshesThem) {
  disp::face_description d;
  Describe(d, "primary", "ksr-7100", &diag_a_, &engine_a_);
  disp::face f;
  ASSERT_TRUE(f.Open(&d));
  EXPECT_FALSE(f.Open(&d));
  EXPECT_EQ(f.m_byState, disp::face::OPEN);
  EXPECT_TRUE(engine_a_.IsAttached());
  EXPECT_TRUE(diag_a_.IsOpen());
  f.Refresh();
  f.StartPixelTest();
  EXPECT_EQ(calls_, (std::vector<std::string>{"attach", "open", "commit", "tick", "clear", "start"}));
  calls_.clear();
  EXPECT_TRUE(f.Close());
  EXPECT_FALSE(f.Close());
  EXPECT_EQ(calls_, (std::vector<std::string>{"close", "detach"}));
  f.Refresh();
  EXPECT_EQ(calls_.size(), 2u);
}

TEST_F(CoreTest, FaceRegisteredBeforeItsBusIsBoundWhenTheBusComes) {
  disp::face_description d;
  Describe(d, "primary", "ksr-7100", &diag_a_, &engine_a_);
  disp::face f;
  test_bus bus;
  EXPECT_FALSE(core_.AttachFace(&f));  // not open
  ASSERT_TRUE(f.Open(&d));
  EXPECT_TRUE(core_.AttachFace(&f));
  EXPECT_EQ(f.m_byState, disp::face::OPEN);
  EXPECT_FALSE(core_.AttachBus(&bus));  // not open
  ASSERT_TRUE(bus.Open("ksr-7100", &stream_));
  EXPECT_TRUE(core_.AttachBus(&bus));
  EXPECT_EQ(f.m_byState, disp::face::BOUND);
  EXPECT_EQ(f.Bus(), &bus);
  EXPECT_EQ(diag_a_.m_pBus, &bus);
  EXPECT_EQ(bus.Core(), &core_);

  // Closing a bound face unbinds it; the bus stays registered.
  EXPECT_TRUE(f.Close());
  EXPECT_EQ(f.m_byState, disp::face::CLOSED);
  EXPECT_EQ(diag_a_.m_pBus, nullptr);
  EXPECT_TRUE(core_.HasBusNamed("ksr-7100"));

  // Reopened and attached again: bound at once; detaching the bus leaves
  // it open and unbound.
  core_.DetachFace(&f);
  ASSERT_TRUE(f.Open(&d));
  ASSERT_TRUE(core_.AttachFace(&f));
  EXPECT_EQ(f.m_byState, disp::face::BOUND);
  EXPECT_TRUE(core_.DetachBus(&bus));
  EXPECT_EQ(f.m_byState, disp::face::UNBOUND);
  EXPECT_EQ(bus.Core(), nullptr);
  EXPECT_TRUE(f.AttachBus(&bus));
  EXPECT_TRUE(f.DetachBus());
  EXPECT_FALSE(f.DetachBus());
  core_.Close();  // before the face and bus go
}

TEST_F(CoreTest, NamesAreUniqueAndFoundAnywhereInTheLists) {
  disp::face_description da, db, dc, dup;
  Describe(da, "a", "bus-1", &diag_a_, &engine_a_);
  Describe(db, "b", "bus-2", &diag_b_, &engine_b_);
  Describe(dc, "c", "bus-1", &diag_c_, &engine_c_);
  disp::face fa, fb, fc;
  ASSERT_TRUE(fa.Open(&da) && fb.Open(&db) && fc.Open(&dc));
  ASSERT_TRUE(core_.AttachFace(&fa) && core_.AttachFace(&fb) && core_.AttachFace(&fc));

  // A second face called "b" is refused.
  test_diagnostics diag_d{"d"};
  test_engine engine_d;
  Describe(dup, "b", "bus-1", &diag_d, &engine_d);
  disp::face fd;
  ASSERT_TRUE(fd.Open(&dup));
  EXPECT_FALSE(core_.AttachFace(&fd));
  EXPECT_EQ(core_.FaceCount(), 3u);

  test_bus b1, b2, b1_again, stranger;
  ASSERT_TRUE(b1.Open("bus-1", &stream_) && b2.Open("bus-2", &stream_) && b1_again.Open("bus-1", &stream_));
  ASSERT_TRUE(stranger.Open("bus-9", &stream_));
  ASSERT_TRUE(core_.AttachBus(&b1));
  ASSERT_TRUE(core_.AttachBus(&b2));
  EXPECT_FALSE(core_.AttachBus(&b1_again));
  EXPECT_EQ(fa.Bus(), &b1);
  EXPECT_EQ(fb.Bus(), &b2);
  EXPECT_EQ(fc.Bus(), &b1);

  // Packets go to the faces of their bus, in list order; to none for a
  // bus no face names.
  calls_.clear();
  core_.Dispatch(nullptr, &b1);
  core_.Dispatch(nullptr, &stranger);
  EXPECT_EQ(calls_, (std::vector<std::string>{"packet a", "packet c"}));

  // The middle entries go; unknown names are refused.
  EXPECT_FALSE(core_.DetachBus(&stranger));
  EXPECT_TRUE(core_.DetachBus(&b2));
  EXPECT_EQ(fb.m_byState, disp::face::UNBOUND);
  disp::face undescribed;
  EXPECT_FALSE(core_.DetachFace(&undescribed));
  EXPECT_TRUE(core_.DetachFace(&fb));
  EXPECT_FALSE(core_.HasFaceNamed("b"));
  EXPECT_EQ(core_.FaceCount(), 2u);
  // The face named "b" that was refused can now join.
  EXPECT_TRUE(core_.AttachFace(&fd));
  EXPECT_EQ(fd.Bus(), &b1);

  // Closing the core unbinds every face and forgets everything.
  EXPECT_TRUE(core_.Close());
  EXPECT_FALSE(core_.Close());
  EXPECT_EQ(fa.m_byState, disp::face::UNBOUND);
  EXPECT_EQ(fd.m_byState, disp::face::UNBOUND);
  EXPECT_FALSE(core_.AttachFace(&fb));
  EXPECT_TRUE(core_.Open());
  EXPECT_EQ(core_.FaceCount(), 0u);
  EXPECT_EQ(core_.BusCount(), 0u);
}

TEST_F(CoreTest, BusOpensOnceWithNameAndStream) {
  test_bus bus;
  EXPECT_FALSE(bus.Open(nullptr, &stream_));
  EXPECT_FALSE(bus.Open("x", nullptr));
  EXPECT_FALSE(bus.Write(nullptr, 0));
  EXPECT_FALSE(bus.Close());
  EXPECT_TRUE(bus.Open("x", &stream_));
  EXPECT_FALSE(bus.Open("y", &stream_));
  EXPECT_STREQ(bus.Name(), "x");
  EXPECT_TRUE(bus.Write(nullptr, 0));
  EXPECT_TRUE(bus.Control(0, 0, 0));
  EXPECT_TRUE(bus.Close());
  EXPECT_FALSE(bus.IsOpen());
  EXPECT_TRUE(bus.Open("y", &stream_));
}

TEST_F(CoreTest, BaseDiagnosticsFollowTheFaceAndTheirTests) {
  disp::diagnostics diag;
  disp::face_description d;
  Describe(d, "primary", "ksr-7100", &diag, &engine_a_);
  d.total_modules = 6;
  disp::face f;
  EXPECT_FALSE(diag.StartPixelTest());
  ASSERT_TRUE(f.Open(&d));
  EXPECT_TRUE(diag.IsOpen());
  EXPECT_EQ(diag.m_pDescription, &d);
  EXPECT_FALSE(diag.FinishPixelTest());
  EXPECT_TRUE(diag.StartPixelTest());
  EXPECT_FALSE(diag.StartPixelTest());
  EXPECT_TRUE(diag.FinishPixelTest());
  EXPECT_TRUE(diag.StartPixelTest());
  // No result frames: nothing to clear.
  EXPECT_FALSE(diag.ClearResults());
  EXPECT_FALSE(diag.ClearAuxResults());
  EXPECT_EQ(diag.ResultsReady(), 1);
  EXPECT_EQ(diag.AuxResultsReady(), 1);
  // One record per module, row by row, with the module's rectangle.
  uint32_t index = 9;
  disp::module* m = nullptr;
  ASSERT_TRUE(diag.FirstModule(index, &m));
  EXPECT_EQ(index, 0u);
  for (uint32_t k = 1; k < 6; ++k) ASSERT_TRUE(diag.NextModule(index, &m));
  EXPECT_FALSE(diag.NextModule(index, &m));
  EXPECT_EQ(m, &diag.m_Modules[5]);
  EXPECT_EQ(m->top_left.x, 10);
  EXPECT_EQ(m->top_left.y, 7);
  EXPECT_EQ(m->status_code, 3);
  f.Close();
  EXPECT_FALSE(diag.IsOpen());
}

}  // namespace
