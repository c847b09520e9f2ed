// What a display step costs on the largest colour face: the render of a
// full page, and the sign picture's share of the step (the face handed to
// the picture's thread) beside the picture's own encoding on that thread.
// The frame period at the default frame rate is printed as the counter
// "period_us" for comparison.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "display/driver/sign_picture.h"
#include "display/tests/render_fixture.h"

namespace {

constexpr uint32_t kWidth = 464, kHeight = 112;  // the largest colour face
constexpr double kDefaultPeriodUs = 1e6 / 2;       // 2 frames a second

class RenderBench : public RenderTest {
 public:
  void TestBody() override {}
  using RenderTest::FullColourModules;
  using RenderTest::SetUp;
  using RenderTest::Show;
  using RenderTest::Sign;
  using RenderTest::TearDown;
};

// Fourteen lines of 7-pixel blocks across the face, each in its colour.
std::string FullPage() {
  std::string text = "[fo2][jp2]";
  for (int line = 0; line < 14; ++line) {
    if (line) text += "[nl]";
    text += "[cf" + std::to_string(line * 18) + ",255," + std::to_string(255 - line * 18) + "]";
    text += std::string(77, line % 2 ? 'A' : 'B');
  }
  return text;
}

void BM_RenderFullPage(benchmark::State& state) {
  RenderBench f;
  f.SetUp();
  f.Sign(kWidth, kHeight, 15);
  f.FullColourModules();
  const std::string page = FullPage();
  if (!f.Show(page)) state.SkipWithError("the page did not render");
  for (auto _ : state) benchmark::DoNotOptimize(f.Show(page));
  state.counters["period_us"] = kDefaultPeriodUs;
  f.TearDown();
}
BENCHMARK(BM_RenderFullPage)->Unit(benchmark::kMicrosecond);

std::vector<uint16_t> Face(uint16_t seed) {
  std::vector<uint16_t> pixels(static_cast<size_t>(kWidth) * kHeight);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint16_t>((i * 7 + seed) & 0x7FFF);
  return pixels;
}

// The display step's share: a changed face offered each step (the picture
// thread takes the newest), as the step sees it.
void BM_PictureOfferInTheStep(benchmark::State& state) {
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("display_bench_" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(folder);
  CSignPicture picture;
  picture.SetFile(folder + "/sign.png");
  std::vector<uint16_t> a = Face(0), b = Face(1);
  sign_face_s face;
  face.width = kWidth;
  face.height = kHeight;
  face.wide = true;
  face.colours = 3;
  uint32_t tick = 0;
  for (auto _ : state) {
    face.pixels = (tick & 1) ? a.data() : b.data();
    tick += CSignPicture::MIN_TICKS;  // every offer taken: the costliest case
    benchmark::DoNotOptimize(picture.Offer(face, tick));
  }
  picture.Flush();
  state.counters["period_us"] = kDefaultPeriodUs;
  state.counters["pictures"] = picture.PicturesWritten();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_PictureOfferInTheStep)->Unit(benchmark::kMicrosecond);

// The picture's own work, on its thread: colours, dots and PNG encoding.
void BM_PictureEncodeOnItsThread(benchmark::State& state) {
  std::vector<uint16_t> pixels = Face(0);
  sign_face_s face;
  face.width = kWidth;
  face.height = kHeight;
  face.wide = true;
  face.colours = 3;
  face.pixels = pixels.data();
  size_t bytes = 0;
  for (auto _ : state) bytes = CSignPicture::Picture(face).size();
  state.counters["png_bytes"] = static_cast<double>(bytes);
  state.counters["period_us"] = kDefaultPeriodUs;
}
BENCHMARK(BM_PictureEncodeOnItsThread)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
