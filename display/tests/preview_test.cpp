// Message preview and the render-state snapshot: the front panel's preview
// draws pages with the display's parser and renderer into its own message
// and surface, and leaves the running message and the sign alone, also
// while the display task steps.
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/driver/lcd_display_driver.h"
#include "display/tests/display_fixture.h"

namespace {

const DisplayTest::Picture kPageA = {".#.............", "#.#............", "###............", "#.#............",
                                     "#.#............", "...............", "..............."};
const DisplayTest::Picture kPageB = {"##.............", "#.#............", "##.............", "#.#............",
                                     "##.............", "...............", "..............."};
const DisplayTest::Picture kPageBRight = {"............##.", "............#.#", "............##.",
                                          "............#.#", "............##.", "...............",
                                          "..............."};
const DisplayTest::Picture kPageC = {".##............", "#..............", "#..............", "#..............",
                                     ".##............", "...............", "..............."};
const DisplayTest::Picture kPageCRight = {".............##", "............#..", "............#..",
                                          "............#..", ".............##", "...............",
                                          "..............."};

DisplayTest::Picture Rows(const CSurface& s) {
  DisplayTest::Picture p;
  for (uint32_t y = 0; y < s.Height(); ++y) {
    std::string row;
    for (uint32_t x = 0; x < s.Width(); ++x)
      row += s.GetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y)) ? '#' : '.';
    p.push_back(row);
  }
  return p;
}

DisplayTest::Picture Rows(const CLCDDisplayDriver& lcd, uint32_t height, uint32_t width) {
  DisplayTest::Picture p;
  for (uint32_t y = 0; y < height; ++y) {
    std::string row;
    for (uint32_t x = 0; x < width; ++x) row += lcd.BitmapPixel(x, y) ? '#' : '.';
    p.push_back(row);
  }
  return p;
}

class PreviewTest : public DisplayTest {
 protected:
  // One preview in a thread, as the front panel calls it.
  bool Preview(const std::string& text, uint32_t page, CSurface* surface, CLCDDisplayDriver* lcd) {
    bool drawn = false;
    InThread([&] {
      drawn = display_->LoadMessage(surface, lcd, reinterpret_cast<const uint8_t*>(text.data()),
                                    static_cast<uint32_t>(text.size()), page, message_.get());
    });
    return drawn;
  }
  uint8_t Pages(const std::string& text) {
    return display_->CountPages(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  }

  std::unique_ptr<CMessage> message_ = std::make_unique<CMessage>();
};

TEST_F(PreviewTest, PagesAreCountedWithTheDisplaysParserOnly) {
  // Before the faces are registered the task has no parser.
  EXPECT_EQ(Pages("A[np]B"), 0);
  CSurface panel;
  EXPECT_FALSE(Preview("A[np]B", 1, &panel, nullptr));

  Register(7, 15);
  EXPECT_EQ(Pages("A[np]B"), 2);
  EXPECT_EQ(Pages("A[NP]B[np]C"), 3);
  EXPECT_EQ(Pages("AB"), 1);
  EXPECT_EQ(Pages(""), 0);
}

TEST_F(PreviewTest, EachPageIsDrawnIntoThePanelsSurfaceAndDriver) {
  Register(7, 15);
  CSurface panel;
  CLCDDisplayDriver lcd;
  ASSERT_TRUE(Preview("A[np]B", 1, &panel, &lcd));
  EXPECT_EQ(panel.Width(), 15u);
  EXPECT_EQ(panel.Height(), 7u);
  EXPECT_EQ(Rows(panel), kPageA);
  EXPECT_EQ(Rows(lcd, 7, 15), kPageA);
  ASSERT_TRUE(Preview("A[np]B", 2, &panel, &lcd));
  EXPECT_EQ(Rows(panel), kPageB);
  EXPECT_EQ(Rows(lcd, 7, 15), kPageB);
  // No such page.
  EXPECT_FALSE(Preview("A[np]B", 3, &panel, &lcd));

  // Without a driver the surface is still drawn.
  CSurface other;
  EXPECT_TRUE(Preview("C", 1, &other, nullptr));
  EXPECT_EQ(Rows(other), kPageC);
  // A page that cannot be drawn (no font 9) is reported.
  EXPECT_FALSE(Preview("[fo9]A", 1, &other, nullptr));
}

TEST_F(PreviewTest, LaterPagesKeepWhatEarlierPagesLeftInTheMessage) {
  Register(7, 15);
  CSurface panel;
  // Right justification set on page 1 carries into page 2.
  ASSERT_TRUE(Preview("[jl4]A[np]B", 1, &panel, nullptr));
  ASSERT_TRUE(Preview("[jl4]A[np]B", 2, &panel, nullptr));
  EXPECT_EQ(Rows(panel), kPageBRight);
  // A new preview starts from the defaults again.
  ASSERT_TRUE(Preview("A[np]B", 1, &panel, nullptr));
  ASSERT_TRUE(Preview("A[np]B", 2, &panel, nullptr));
  EXPECT_EQ(Rows(panel), kPageB);
}

TEST_F(PreviewTest, TextsLongerThanTheMessageHoldsAreCut) {
  Register(7, 15);
  CSurface panel;
  std::string text = "A[np]B" + std::string(MULTI_TEXT_MAX, ' ');
  Preview(text, 2, &panel, nullptr);
  EXPECT_EQ(message_->m_dwTextLength, MULTI_TEXT_MAX);
  // The running message is never a preview's.
  bool drawn = true;
  InThread([&] {
    drawn = display_->LoadMessage(&panel, nullptr, reinterpret_cast<const uint8_t*>("C"), 1, 1, &display_->m_Message);
  });
  EXPECT_FALSE(drawn);
}

TEST_F(PreviewTest, RunningMessageAndSignAreLeftAlone) {
  Register(7, 15);
  Start("[pt10o0]A[np]B");
  RunToStep(4);
  const CMessage& running = display_->m_Message;
  const std::string text(reinterpret_cast<const char*>(running.m_text), running.m_dwTextLength);
  const uint32_t next = running.m_dwNextPageStart, start = running.m_dwPageStart;
  const uint8_t shown = running.m_byShownPage;
  const Picture sign = Rows(g_render.Surface());
  const uint32_t fg = running.m_dwForeground;
  const uint8_t justification = running.m_byLineJustification[0];

  CSurface panel;
  ASSERT_TRUE(Preview("[jl4]C[np]A", 1, &panel, nullptr));
  ASSERT_TRUE(Preview("[jl4]C[np]A", 2, &panel, nullptr));

  EXPECT_EQ(std::string(reinterpret_cast<const char*>(running.m_text), running.m_dwTextLength), text);
  EXPECT_EQ(running.m_dwNextPageStart, next);
  EXPECT_EQ(running.m_dwPageStart, start);
  EXPECT_EQ(running.m_byShownPage, shown);
  EXPECT_EQ(running.m_dwForeground, fg);
  EXPECT_EQ(running.m_byLineJustification[0], justification);
  EXPECT_EQ(Rows(g_render.Surface()), sign);
  EXPECT_EQ(running.m_pSurface, &g_render.Surface());

  // The sign goes on with its own pages.
  driver_.Clear();
  RunToStep(40);
  for (const auto& f : driver_.frames) {
    const Picture p = f.Rows();
    EXPECT_TRUE(p == kPageA || p == kPageB);
  }
}

// Previews from two threads while the display task steps through a message
// of two pages: one woken inside the display step (a panel key arrives at
// any moment), one that previews between the steps. Every preview shows
// its own page, and the sign shows its pages in their own rhythm.
TEST_F(PreviewTest, PreviewsWhileTheDisplayTaskRuns) {
  Register(7, 15);
  Start("[pt10o0]A[np]B");

  struct Worker {
    TX_THREAD cb{};
    std::vector<uint8_t> stack = std::vector<uint8_t>(32768);
    std::function<void()> body;
    bool done = false;
    static void Entry(ULONG index) {
      Worker* w = List()[index];
      w->body();
      w->done = true;
    }
    static std::vector<Worker*>& List() {
      static std::vector<Worker*> list;
      return list;
    }
    void Start(const char* name, UINT priority, std::function<void()> fn) {
      body = std::move(fn);
      const ULONG index = List().size();
      List().push_back(this);
      ASSERT_EQ(tx_thread_create(&cb, const_cast<char*>(name), &Entry, index, stack.data(),
                                 static_cast<ULONG>(stack.size()), priority, priority, 0, TX_AUTO_START),
                TX_SUCCESS);
    }
  };
  Worker::List().clear();

  static TX_SEMAPHORE wake;
  static bool waiting;
  waiting = false;
  InThread([] { ASSERT_EQ(tx_semaphore_create(&wake, const_cast<char*>("preview"), 0), TX_SUCCESS); });
  driver_.on_write = [] {
    if (waiting) {
      waiting = false;
      tx_semaphore_put(&wake);
    }
  };

  constexpr uint32_t kUrgent = 60, kBackground = 300;
  uint32_t wrong = 0;
  CDisplay* display = display_.get();
  auto preview = [display, &wrong](CMessage* m, CSurface* s, CLCDDisplayDriver* lcd, const char* text,
                                   uint32_t page, const Picture& expected) {
    const uint32_t n = static_cast<uint32_t>(std::strlen(text));
    if (!display->LoadMessage(s, lcd, reinterpret_cast<const uint8_t*>(text), n, page, m) || Rows(*s) != expected)
      ++wrong;
    if (lcd && Rows(*lcd, 7, 15) != expected) ++wrong;
  };

  Worker urgent, background;
  urgent.Start("panel key", 1, [&] {
    auto m = std::make_unique<CMessage>();
    CSurface s;
    CLCDDisplayDriver lcd;
    for (uint32_t i = 0; i < kUrgent; ++i) {
      waiting = true;
      tx_semaphore_get(&wake, TX_WAIT_FOREVER);
      preview(m.get(), &s, &lcd, "C[np]B", 1, kPageC);
      preview(m.get(), &s, &lcd, "C[np]B", 2, kPageB);
    }
  });
  background.Start("panel", 3, [&] {
    auto m = std::make_unique<CMessage>();
    CSurface s;
    for (uint32_t i = 0; i < kBackground; ++i) {
      preview(m.get(), &s, nullptr, "[jl4]C[np]B", 1, kPageCRight);
      preview(m.get(), &s, nullptr, "[jl4]C[np]B", 2, kPageBRight);
      tx_thread_sleep(1);
    }
  });

  for (uint32_t ticks = 0; ticks < 20000 && !(urgent.done && background.done); ticks += 10) rtos::advance(10);
  ASSERT_TRUE(urgent.done);
  ASSERT_TRUE(background.done);
  driver_.on_write = nullptr;
  EXPECT_EQ(wrong, 0u);

  // The sign's frames: pages A and B in turn, ten frames each.
  const auto runs = Runs();
  ASSERT_GT(runs.size(), 4u);
  for (size_t i = 0; i < runs.size(); ++i) {
    EXPECT_TRUE(runs[i].first == (i % 2 ? kPageB : kPageA)) << i;
    if (i > 0 && i + 1 < runs.size()) {
      EXPECT_EQ(runs[i].second, 10u) << i;
    }
  }
  InThread([] { tx_semaphore_delete(&wake); });
}

TEST_F(DisplayTest, RenderStateSnapshotComesBackWithoutPageJustificationFlags) {
  CMessage m;
  m.m_byFlashMode = 2;
  for (int r = 0; r < MSG_RECTANGLES; ++r) {
    m.m_byLineJustification[r] = static_cast<uint8_t>(r % 5 + 1);
    m.m_byPageJustification[r] = static_cast<uint8_t>(r % 4 + 1);
  }
  m.m_byFont = 3;
  m.m_dwForeground = 0x7C00;
  m.m_dwTextBackground = 0x1F;
  m.m_nCharSpacing = 4;
  m.m_dwPageBackground = 0x3E0;
  display_->SaveRenderState(&m);

  CMessage other;
  for (int r = 0; r < MSG_RECTANGLES; ++r) other.m_byPageJustificationGiven[r] = 1;
  display_->RestoreRenderState(&other);
  EXPECT_EQ(other.m_byFlashMode, 2);
  for (int r = 0; r < MSG_RECTANGLES; ++r) {
    EXPECT_EQ(other.m_byLineJustification[r], r % 5 + 1);
    EXPECT_EQ(other.m_byPageJustification[r], r % 4 + 1);
    EXPECT_EQ(other.m_byPageJustificationGiven[r], 0);
  }
  EXPECT_EQ(other.m_byFont, 3);
  EXPECT_EQ(other.m_dwForeground, 0x7C00u);
  EXPECT_EQ(other.m_dwTextBackground, 0x1Fu);
  EXPECT_EQ(other.m_nCharSpacing, 4);
  EXPECT_EQ(other.m_dwPageBackground, 0x3E0u);
}

}  // namespace
