// Fuzz target: the bytes a PPP peer sends on the CCP port, through the
// deframer, the negotiation machines, authentication and the link's IP
// instance to the agent (the unit tests' PPP fixture). The first byte:
//   bit 0  the link is brought up first (LCP, CHAP, IPCP as a peer does);
//   bit 1  the rest is a list of frames given a good FCS here, each a
//          length (u16), a protocol (u16) and its payload; else the rest
//          is raw line bytes.
// Every input starts from a link reset to its initial state.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "comm/tests/ppp_fixture.h"
#include "frame/trace/trace.h"

namespace {

class Harness : public pt::PppTest {
 public:
  void TestBody() override {}
  void Start() {
    SetUp();
    CreateAgent(true);
  }
  void Reset() {
    {
      rtos::cpu_scope s;
      lcp_state_machine(link_, LCP_RTR);
      link_->frame_index = 0;
      link_->skipping = 0;
    }
    Feed("\x7E\x7E");
  }
  void Up() { BringUp(); }
  using PppTest::Feed;
};

Harness* g_harness;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  trace_set_sink([](int, const char*) {});
  g_harness = new Harness;
  g_harness->Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  g_harness->Reset();
  if (data[0] & 1) g_harness->Up();
  std::string line;
  if (data[0] & 2) {
    for (size_t at = 1; at + 4 <= size;) {
      size_t n = static_cast<size_t>(data[at]) << 8 | data[at + 1];
      const uint16_t protocol = static_cast<uint16_t>(data[at + 2] << 8 | data[at + 3]);
      at += 4;
      n = std::min(n, size - at);
      line += pt::Frame(protocol, std::string(reinterpret_cast<const char*>(data + at), n));
      at += n;
    }
  } else {
    line.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  }
  g_harness->Feed(line);
  rtos::advance(2);
  return 0;
}
