// The renderer's surface seen as a disp::frame, and the frame engine of the
// primary face.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "display/frame/face_description.h"
#include "display/render/render_adapter.h"
#include "display/render/render_hooks.h"

namespace {

class SurfaceAdapterTest : public ::testing::Test {
 protected:
  void Surface(uint32_t height, uint32_t width, uint8_t depth) {
    ASSERT_NE(surface_.Allocate(height, width, depth), nullptr);
    adapter_.Open(static_cast<uint16_t>(height), static_cast<uint16_t>(width), 0, depth);
  }

  CSurface surface_;
  surface_adapter adapter_{&surface_};
};

}  // namespace

TEST_F(SurfaceAdapterTest, PixelValuesByDepth) {
  Surface(2, 3, 1);
  surface_.SetPixel(1, 1, 0x1234);
  disp::pixel p(1, 1);
  ASSERT_TRUE(adapter_.GetPixel(p));
  EXPECT_EQ(p.value, 1u);
  disp::pixel outside(3, 0, 9);
  EXPECT_FALSE(adapter_.GetPixel(outside));
  EXPECT_EQ(adapter_.ColourType(), 1u);

  Surface(1, 2, 2);
  surface_.SetPixel(0, 0, 0x021F);  // red and green
  disp::pixel both(0, 0), dark(1, 0, 7);
  ASSERT_TRUE(adapter_.GetPixel(both));
  EXPECT_EQ(both.value, 3u);
  ASSERT_TRUE(adapter_.GetPixel(dark));
  EXPECT_EQ(dark.value, 0u);  // not the value the pixel object came with
  for (uint32_t v = 0; v < 4; ++v) {
    disp::pixel in(1, 0, v), out(1, 0);
    ASSERT_TRUE(adapter_.SetPixel(in));
    ASSERT_TRUE(adapter_.GetPixel(out));
    EXPECT_EQ(out.value, v);
  }

  Surface(1, 1, 15);
  disp::pixel colour(0, 0, 0x7C1F);
  ASSERT_TRUE(adapter_.SetPixel(colour));
  disp::pixel back(0, 0);
  ASSERT_TRUE(adapter_.GetPixel(back));
  EXPECT_EQ(back.value, 0x7C1F0000u);

  Surface(1, 1, 8);
  EXPECT_FALSE(adapter_.GetPixel(back));
  EXPECT_FALSE(adapter_.SetPixel(colour));
}

TEST_F(SurfaceAdapterTest, PackedMonochromePixels) {
  Surface(2, 3, 1);
  surface_.SetPixel(0, 0, 1);
  surface_.SetPixel(2, 1, 1);
  uint8_t byte = 0xEE;
  uint32_t cursor = 0, got = 0;
  ASSERT_TRUE(adapter_.ReadPacked(cursor, &byte, 1, got));
  EXPECT_EQ(byte, 0x21);
  EXPECT_EQ(cursor, 6u);
  EXPECT_EQ(got, 1u);
  ASSERT_TRUE(adapter_.ReadPacked(cursor, &byte, 1, got));  // the end of the picture
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(adapter_.LitCount(), 2u);
}

TEST_F(SurfaceAdapterTest, PackedColourPixelsLeaveLittleEndian) {
  Surface(1, 2, 15);
  surface_.SetPixel(0, 0, 0x7C1F);
  surface_.SetPixel(1, 0, 0x0123);
  uint8_t out[6];
  uint32_t cursor = 0, got = 0;
  ASSERT_TRUE(adapter_.ReadPacked(cursor, out, sizeof out, got));
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{0x1F, 0x7C, 0x23, 0x01, 0, 0}));
  // From an odd cursor the bytes keep their places.
  cursor = 1;
  ASSERT_TRUE(adapter_.ReadPacked(cursor, out, 2, got));
  EXPECT_EQ(out[0], 0x7C);
  EXPECT_EQ(out[1], 0x23);
  cursor = 4;
  EXPECT_FALSE(adapter_.ReadPacked(cursor, out, 2, got));
  EXPECT_EQ(got, 0u);
}

// A frame copies the adapter's pixels through its packed stream, in chunks
// that end mid-row.
TEST_F(SurfaceAdapterTest, FramesCopyTheRenderedPicture) {
  for (uint8_t depth : {1, 2, 15}) {
    SCOPED_TRACE(depth);
    Surface(7, 45, depth);  // 315 pixels: more than one chunk of the copy at depths 1 and 2
    const uint32_t colours[] = {0, 0x001F, 0x03E0, 0x021F, 0x7FFF};
    for (uint32_t y = 0; y < 7; ++y)
      for (uint32_t x = 0; x < 45; ++x) surface_.SetPixel(x, y, colours[(x * 7 + y * 3) % 5]);
    disp::frame f;
    ASSERT_TRUE(f.Open(7, 45, 0, depth));
    ASSERT_TRUE(f.CopyFrom(&adapter_));
    uint32_t lit = 0;
    for (uint16_t y = 0; y < 7; ++y)
      for (uint16_t x = 0; x < 45; ++x) {
        disp::pixel a(x, y), b(x, y);
        adapter_.GetPixel(a);
        f.GetPixel(b);
        uint32_t expected = depth == 15 ? a.value >> 16 : a.value;
        ASSERT_EQ(b.value, expected) << x << "," << y;
        lit += expected != 0;
      }
    EXPECT_EQ(f.LitCount(), lit);
    EXPECT_EQ(adapter_.LitCount(), lit);
  }
}

// ----------------------------------------------------------- render_adapter

namespace {

std::vector<std::string> g_calls;
disp::face_description g_primary, g_other;

const disp::face_description* describe(const disp::face* f) {
  if (f == reinterpret_cast<const disp::face*>(&g_primary)) return &g_primary;
  if (f == reinterpret_cast<const disp::face*>(&g_other)) return &g_other;
  return nullptr;
}

class RenderAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_primary = {};
    std::strcpy(g_primary.face_name, "primary");
    g_primary.height = 16;
    g_primary.width = 40;
    g_other = {};
    std::strcpy(g_other.face_name, "second");
    g_render_hooks = {};
    g_render_hooks.face_description = describe;
    g_render_hooks.frame_step = [] { g_calls.push_back("frame step"); };
    g_render_hooks.count_message_time = [] { g_calls.push_back("message time"); };
    render_.SizeSurface(16, 40, 1);
  }
  void TearDown() override { g_render_hooks = {}; }

  disp::face* Face(disp::face_description& d) { return reinterpret_cast<disp::face*>(&d); }

  CRender render_;
  render_adapter engine_{&render_};
};

}  // namespace

TEST_F(RenderAdapterTest, CommitRunsTheFrameStepOfThePrimaryFaceOnly) {
  engine_.Commit();  // not attached
  ASSERT_TRUE(engine_.Attach(Face(g_other)));
  engine_.Commit();
  EXPECT_TRUE(g_calls.empty());
  ASSERT_TRUE(engine_.Detach());

  ASSERT_TRUE(engine_.Attach(Face(g_primary)));
  EXPECT_FALSE(engine_.Attach(Face(g_primary)));
  engine_.Commit();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"frame step", "message time"}));
  ASSERT_TRUE(engine_.Detach());
  EXPECT_FALSE(engine_.Detach());
  engine_.Commit();
  EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(RenderAdapterTest, AttachNeedsADescribedFace) {
  disp::face_description unknown;
  EXPECT_FALSE(engine_.Attach(Face(unknown)));
  EXPECT_FALSE(engine_.Attach(nullptr));
  g_render_hooks.face_description = nullptr;
  EXPECT_FALSE(engine_.Attach(Face(g_primary)));
  EXPECT_FALSE(engine_.IsAttached());
}

TEST_F(RenderAdapterTest, TheFrameIsTheSurfaceWithThePageAttributes) {
  ASSERT_TRUE(engine_.Attach(Face(g_primary)));
  render_.m_dwPatternMode = 0x101;
  render_.m_byAttribute1 = 30;
  render_.m_byAttribute2 = 5;
  render_.Surface().SetPixel(39, 15, 1);
  disp::frame* frame = nullptr;
  EXPECT_FALSE(engine_.GetFrame(nullptr));
  ASSERT_TRUE(engine_.GetFrame(&frame));
  ASSERT_EQ(frame, &engine_.m_adapter);
  EXPECT_EQ(frame->m_attributes.a0, 1);
  EXPECT_EQ(frame->m_attributes.a1, 30);
  EXPECT_EQ(frame->m_attributes.a2, 5);
  EXPECT_EQ(frame->Height(), 16);
  EXPECT_EQ(frame->Width(), 40);
  EXPECT_EQ(frame->ColourType(), 1u);
  EXPECT_EQ(frame->LitCount(), 1u);
  EXPECT_EQ(engine_.m_adapter.m_dwPackedBytes, 640u);
  // The failed-pixel scan darkens pixels through the frame.
  disp::pixel dark(39, 15, 0);
  EXPECT_TRUE(frame->SetPixel(dark));
  EXPECT_EQ(frame->LitCount(), 0u);
}

TEST(RenderGlobalsTest, TheGlobalEngineDrawsWithTheGlobalRenderer) {
  EXPECT_EQ(g_render_adapter.m_pRender, &g_render);
  EXPECT_EQ(g_render_adapter.m_adapter.m_pSurface, &g_render.Surface());
  EXPECT_EQ(g_render.m_byFrameRate, 2);
}
