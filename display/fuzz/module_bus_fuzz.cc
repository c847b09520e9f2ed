// Fuzz target: the bytes the display modules' link sends back through the
// EPLD's FIFO, into the module bus's stream, parsed into frames and handed
// through the display core to a face of 2 x 4 modules and its diagnostics
// (the unit tests' diagnostics fixture). The first byte gives how many
// bytes arrive between two runs of the job queue; a diagnostics tick
// follows each run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "display/tests/diag_fixture.h"

namespace {

class Harness : public DiagTest {
 public:
  void TestBody() override {}
  void Start() {
    SetUp();
    trace_set_sink([](int, const char*) {});
    OpenFace();
  }
  // A frame cut off at the end of the last input does not carry over.
  void Restart() {
    rtos::cpu_scope s;
    stream_.PowerOn();
  }
  void Receive(const uint8_t* bytes, size_t n) {
    {
      rtos::cpu_scope s;
      for (size_t i = 0; i < n; ++i) bus_.ReceiveByte(bytes[i]);
    }
    rtos::settle();
    InThread([&] { diag_.Tick(); });
    board::can_fifo().take_packets();
  }
};

Harness* g_harness;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_harness = new Harness;
  g_harness->Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  g_harness->Restart();
  const size_t chunk = data[0] ? data[0] : 1;
  for (size_t at = 1; at < size; at += chunk) g_harness->Receive(data + at, std::min(chunk, size - at));
  return 0;
}
