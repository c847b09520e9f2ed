// Fuzz target: CAN frames that field boards send to the controller, on the
// peripheral task's sensor bus with a temperature sensor and a DC I/O board
// configured (and answered by simulated boards), through the CAN
// controller's model, the driver, the bus and the devices (the unit tests'
// task fixture). The input is a list of frames, each a flags byte (bit 0
// extended, bit 1 remote, bits 4-7 task steps to run after it), an
// identifier (u32, big-endian), a length code and the data bytes it names.
//
// With SIGN_FUZZ_WRITE_SEED=<file> set, the start writes the frames the
// simulated boards sent while the devices joined: the corpus's main seed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "peripherals/devices/sensor_ops.h"
#include "peripherals/tests/task_fixture.h"
#include "sim/can/field_board.h"

namespace {

class Sender : public board::can_wire::node {
 public:
  bool acknowledges(uint32_t) override { return false; }
  void on_frame(const board::can_frame&, uint32_t) override {}
};

class Harness : public TaskFixture {
 public:
  void TestBody() override {}
  void Start() {
    SetUpFieldDevices();
    trace_set_sink([](int, const char*) {});
    sensor_ = std::make_unique<sim::field_board>(board::q5_wire(), 0x42301, 0x0203);
    sensor_->set_byte(25);
    io_ = std::make_unique<sim::field_board>(board::q5_wire(), 0x42401, 4, true);
    Record(0, 13, "42301,0,0");
    Record(1, 52, "42401,F0,FF,F0,FF,0,0");
    board::q5_wire().clear_log();
    TaskFixture::Start(3, false);
    install_sensor_device_ops();
    Steps(30);
    if (const char* seed = std::getenv("SIGN_FUZZ_WRITE_SEED")) WriteSeed(seed);
    board::q5_wire().attach(&sender_);
  }
  void Send(const board::can_frame& f) {
    board::q5_wire().transmit(&sender_, f, sim::field_board::DEFAULT_RATE);
  }
  void Run(uint32_t steps) { TaskFixture::Steps(steps); }

 private:
  void WriteSeed(const char* path) {
    FILE* out = std::fopen(path, "wb");
    if (!out) return;
    for (const board::can_frame& f : board::q5_wire().log()) {
      const uint8_t head[6] = {static_cast<uint8_t>((f.extended ? 1 : 0) | (f.remote ? 2 : 0) | 0x10),
                               static_cast<uint8_t>(f.id >> 24), static_cast<uint8_t>(f.id >> 16),
                               static_cast<uint8_t>(f.id >> 8), static_cast<uint8_t>(f.id), f.dlc};
      std::fwrite(head, 1, sizeof head, out);
      std::fwrite(f.data, 1, f.dlc < 8 ? f.dlc : 8, out);
    }
    std::fclose(out);
  }
  Sender sender_;
  std::unique_ptr<sim::field_board> sensor_;
  std::unique_ptr<sim::field_board> io_;
};

Harness* g_harness;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_harness = new Harness;
  g_harness->Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t at = 0; at + 6 <= size;) {
    board::can_frame f;
    const uint8_t flags = data[at];
    f.extended = flags & 1;
    f.remote = flags & 2;
    f.id = (uint32_t(data[at + 1]) << 24 | uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 3]) << 8 | data[at + 4]) &
           (f.extended ? 0x1FFFFFFFu : 0x7FFu);
    f.dlc = data[at + 5] & 0x0F;
    at += 6;
    const size_t n = std::min<size_t>({f.dlc, 8, size - at});
    std::copy(data + at, data + at + n, f.data);
    at += n;
    g_harness->Send(f);
    g_harness->Run(flags >> 4);
  }
  g_harness->Run(2);
  return 0;
}
