// SET of dmsActivateMessage to frame at the driver: the whole controller in
// this process on the host's clock, a message activated through the
// agent's central path (as an SNMP SET's commit does) at a random moment,
// and the time until the display hardware decodes the first frame that
// shows it. Activations alternate between a stored message and the blank
// message so that each one changes the face. Prints p50, p99 and the
// largest against the frame period at the default frame rate, for all and
// for each kind, how many display steps after the one that takes the
// activation the frame leaves, and the longest time the sign's picture
// took of a display step.
// Usage: activation_bench [activations]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "display/activation/display_services.h"
#include "display/codes/msg_codes.h"
#include "frame/startup/host.h"
#include "tests/controller_fixture.h"

namespace {

using clock_type = std::chrono::steady_clock;

struct frame_seen {
  std::mutex lock;
  clock_type::time_point at;
  uint32_t lit = 0;
  uint64_t count = 0;
  uint32_t step = 0;                // the display step that output the frame
  std::vector<double> picture_us;  // the picture's share of each display step
};
frame_seen g_seen;

class ActivationBench : public controller_test {
 public:
  void TestBody() override {}

  int Run(int activations) {
    clock_ = rtos::clock_source::real;
    Boot();
    if (!WaitFor([] { return g_pDisplay && g_pDisplay->LoopCount() > 0; })) return Fail("no display step");
    InThread([] { ConfigureSmallSign(); });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    InThread([] { StoreChangeable1("HELLO"); });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    if (Nv(nv::dmsMessageStatus(0)) != 4) return Fail("the message is not valid");
    const uint32_t rate = std::max<uint32_t>(1, Nv(nv::quorFrameRate));
    const double period_ms = 1000.0 / rate;

    // The sign's picture is written as in the running controller; the time
    // its hand-over takes in the display step is measured.
    const std::string folder = "/tmp/activation_bench_" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    host_show_sign(folder + "/" + HOST_SIGN_PICTURE);
    std::function<void()> picture = board::display_output().on_frame;
    board::display_output().on_frame = [picture] {
      const clock_type::time_point begin = clock_type::now();
      picture();
      const double us = std::chrono::duration<double, std::micro>(clock_type::now() - begin).count();
      const board::display_face f = board::display_output().face();
      uint32_t lit = 0;
      for (uint16_t p : f.pixels) lit += p != 0;
      std::lock_guard<std::mutex> lk(g_seen.lock);
      g_seen.at = begin;
      g_seen.lit = lit;
      g_seen.step = g_pDisplay ? g_pDisplay->LoopCount() : 0;
      ++g_seen.count;
      g_seen.picture_us.push_back(us);
    };

    std::mt19937 random(12345);
    std::vector<double> ms, shown_ms[2];
    uint32_t steps_after[2][3] = {};  // [blank, message][0, 1, 2 or more]
    for (int i = 0; i < activations; ++i) {
      const bool show = i % 2 == 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % static_cast<uint32_t>(period_ms * 2)));
      CMsgActivationCode code;
      code.m_wDuration = 0xFFFF;
      code.m_byPriority = 255;
      code.m_byMemoryType = show ? 3 : 7;
      code.m_wMessageNumber = 1;
      code.m_wCRC = show ? static_cast<uint16_t>(Nv(nv::dmsMessageCRC(0))) : 0;
      code.Encode();
      const clock_type::time_point start = clock_type::now();
      bool failed = true;
      uint32_t last_step = 0;  // the step before the one that takes it
      InThread([&] {
        Db().SetString(vol::dmsActivateMessage.offset, 4, code.m_encoded, 12, Db().mib_v, 0);
        failed = display_activate_message();
        last_step = g_pDisplay->LoopCount();
      });
      if (failed) return Fail("activation refused");
      clock_type::time_point shown;
      uint32_t step = 0;
      const bool seen = WaitFor([&] {
        std::lock_guard<std::mutex> lk(g_seen.lock);
        if (g_seen.at < start || (g_seen.lit != 0) != show) return false;
        shown = g_seen.at;
        step = g_seen.step;
        return true;
      });
      if (!seen) return Fail("the frame never came");
      ms.push_back(std::chrono::duration<double, std::milli>(shown - start).count());
      shown_ms[show].push_back(ms.back());
      const uint32_t after = step > last_step ? step - last_step - 1 : 0;
      ++steps_after[show][std::min<uint32_t>(after, 2)];
    }
    board::display_output().on_frame = nullptr;
    host_sign_picture().Flush();
    const uint32_t pictures = host_sign_picture().PicturesWritten();
    std::filesystem::remove_all(folder);
    std::printf("activation to frame at the driver, %zu activations, %u frames a second (period %.1f ms)\n",
                ms.size(), rate, period_ms);
    auto figures = [&](const char* what, std::vector<double>& v) {
      std::sort(v.begin(), v.end());
      auto at = [&](double q) { return v[std::min(v.size() - 1, static_cast<size_t>(q * v.size()))]; };
      std::printf("%-8s p50 %.1f ms (%.2f periods)  p99 %.1f ms (%.2f periods)  max %.1f ms\n", what, at(0.5),
                  at(0.5) / period_ms, at(0.99), at(0.99) / period_ms, v.back());
    };
    figures("all", ms);
    figures("message", shown_ms[1]);
    figures("blank", shown_ms[0]);
    for (int kind = 1; kind >= 0; --kind)
      std::printf("%-8s frame output by the step that takes it: %u, by the next: %u, later: %u\n",
                  kind ? "message" : "blank", steps_after[kind][0], steps_after[kind][1], steps_after[kind][2]);
    std::vector<double>& share = g_seen.picture_us;
    std::sort(share.begin(), share.end());
    std::printf("the picture's share of a display step: p50 %.1f us, p99 %.1f us, max %.1f us of the %.1f ms period "
                "(%zu frames, %u pictures)\n",
                share[share.size() / 2], share[std::min(share.size() - 1, share.size() * 99 / 100)], share.back(),
                period_ms, share.size(), pictures);
    TearDown();
    return 0;
  }

 private:
  template <typename F>
  static bool WaitFor(F done) {
    const clock_type::time_point end = clock_type::now() + std::chrono::seconds(30);
    while (!done()) {
      if (clock_type::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
  int Fail(const char* why) {
    std::fprintf(stderr, "activation_bench: %s\n", why);
    return 1;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int activations = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
  trace_capture quiet;  // the controller's trace stays off the figures
  ActivationBench bench;
  return bench.Run(activations);
}
