// The module bus's receive side: frames parsed out of the byte stream with
// their length rules, checksum errors and resynchronisation; the byte ring
// that keeps what it has when it fills; and the bus that defers the
// parsing to the job queue and hands the frames to the faces of the bus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/core/core.h"
#include "display/core/face.h"
#include "display/core/job_queue.h"
#include "display/core/module_link.h"
#include "display/frame/frame_engine.h"
#include "display/modbus/bus_ksr7100.h"
#include "display/modbus/module_bus_frame.h"
#include "display/modbus/packet.h"
#include "display/modbus/stream_ksr7100.h"
#include "frame/trace/trace.h"
#include "rtos_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(uint8_t kind, uint8_t length_byte, const Bytes& data) {
  Bytes out(data.size() + 5);
  EXPECT_EQ(module_bus::build(kind, length_byte, data.data(), static_cast<uint32_t>(data.size()), out.data(),
                              static_cast<uint32_t>(out.size())),
            out.size());
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A packet as kind byte, then the bytes it holds after the kind byte.
struct Got {
  uint8_t kind;
  Bytes rest;
  bool operator==(const Got&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Got& g) {
  os << "{kind 0x" << std::hex << int(g.kind) << std::dec << " +" << g.rest.size() << "}";
  return os;
}

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtos::kernel_config c;
    c.memory_size = 1u << 20;
    rtos::kernel_start(c, [](void*) {});
  }
  void TearDown() override { rtos::kernel_stop(); }

  // Feeds the bytes one at a time and collects the packets.
  std::vector<Got> Feed(stream_ksr7100& s, const Bytes& bytes) {
    std::vector<Got> got;
    for (uint8_t b : bytes)
      if (s.ParseByte(b)) got.push_back({s.m_Packet.data[0], Bytes(s.m_Packet.data + 1, s.m_Packet.data + s.m_Packet.length)});
    return got;
  }
};

const Bytes kConfigurationRequest = {0x55, 0xAA, 0xC5, 0x00, 0x3C};

TEST_F(StreamTest, FramesByTheirLengthRules) {
  const Bytes can11 = Frame(0x01, 0x12, {0xA0, 0x00, 7, 9});  // channel 1, 2 data bytes
  const Bytes can29 = Frame(0x02, 0x21, {0x00, 0x3B, 0x60, 0x02, 5});
  Bytes stream200(200);
  for (size_t i = 0; i < stream200.size(); ++i) stream200[i] = static_cast<uint8_t>(i);
  const Bytes kind50 = Frame(50, 200, stream200);
  struct Case {
    const char* what;
    Bytes bytes;
    std::vector<Got> packets;
    uint32_t errors;
  };
  const std::vector<Case> cases = {
      {"a frame without data", kConfigurationRequest, {{0xC5, {0x00}}}, 0},
      {"11-bit CAN frame", can11, {{0x01, {0x12, 0xA0, 0x00, 7, 9}}}, 0},
      {"29-bit CAN frame", can29, {{0x02, {0x21, 0x00, 0x3B, 0x60, 0x02, 5}}}, 0},
      {"a stream frame of 200 bytes", kind50, {{50, Cat({{200}, stream200})}}, 0},
      {"control frame of 8 bytes", Frame(0x5E, 8, Bytes(8, 1)), {{0x5E, Cat({{8}, Bytes(8, 1)})}}, 0},
      // 9 CAN data bytes make 11: too long; the frame's other bytes are
      // sync errors until the next frame.
      {"CAN frame too long", Cat({{0x55, 0xAA, 0x01, 0x39}, Bytes(12, 0x11), kConfigurationRequest}),
       {{0xC5, {0x00}}}, 13},
      {"control frame too long", Cat({{0x55, 0xAA, 0x45, 9}, kConfigurationRequest}), {{0xC5, {0x00}}}, 1},
      // An unknown kind is dropped without an error of its own.
      {"unknown kind", Cat({{0x55, 0xAA, 0x07, 0x00}, kConfigurationRequest}), {{0xC5, {0x00}}}, 0},
      // The second 0x55 fails the 0xAA test; the parser starts again and
      // takes AA C5 00 3C as noise.
      {"55 55 AA", Cat({{0x55}, kConfigurationRequest, kConfigurationRequest}), {{0xC5, {0x00}}}, 5},
      {"noise before a frame", Cat({{0x00, 0xAA, 0x13}, kConfigurationRequest}), {{0xC5, {0x00}}}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stream_ksr7100 s;
    EXPECT_EQ(Feed(s, c.bytes), c.packets);
    EXPECT_EQ(s.Errors(), c.errors);
  }
}

TEST_F(StreamTest, AFrameCompletesAtItsLastByteAndNoPrefixIsAFrame) {
  const Bytes frame = Frame(0x01, 0x38, {0xA0, 0x20, 1, 2, 3, 4, 5, 6, 7, 8});
  for (size_t n = 0; n < frame.size(); ++n) {
    stream_ksr7100 s;
    EXPECT_TRUE(Feed(s, Bytes(frame.begin(), frame.begin() + n)).empty()) << "prefix of " << n;
    EXPECT_EQ(s.Errors(), 0u);
  }
  stream_ksr7100 s;
  const std::vector<Got> got = Feed(s, frame);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(s.m_Packet.length, 12u);
  EXPECT_EQ(s.m_Packet.LengthByte(), 0x38);
}

TEST_F(StreamTest, AChecksumErrorCountsTheFrameAndTheNextFrameIsTaken) {
  trace_capture trace;
  Bytes bad = kConfigurationRequest;
  bad.back() ^= 1;
  stream_ksr7100 s;
  EXPECT_EQ(Feed(s, Cat({bad, kConfigurationRequest})), (std::vector<Got>{{0xC5, {0x00}}}));
  EXPECT_TRUE(trace.contains("checksum error\n"));
  EXPECT_EQ(s.Errors(), 5u);
}

TEST_F(StreamTest, LinkRateFrame) {
  uint8_t frame[6];
  ASSERT_EQ(module_bus::build_link_rate(9600, frame), 6u);
  EXPECT_EQ(Bytes(frame, frame + 6), (Bytes{0x55, 0xAA, 0x68, 0x01, 0x0C, 0x8C}));
  uint32_t sum = 0;
  for (uint8_t b : frame) sum += b;
  EXPECT_EQ(sum, 0x200u);
  EXPECT_EQ(module_bus::build_link_rate(0, frame), 0u);
}

TEST_F(StreamTest, AFullRingLosesTheNewestBytes) {
  trace_set_level(1);
  trace_capture trace;
  stream_ksr7100 s;
  EXPECT_FALSE(s.Write(nullptr, 3));
  EXPECT_FALSE(s.Write(kConfigurationRequest.data(), 0));
  // 204 frames fill 1020 bytes; of the next two only 4 bytes fit.
  for (int i = 0; i < 206; ++i) EXPECT_TRUE(s.Write(kConfigurationRequest.data(), 5));
  EXPECT_EQ(s.Ring().Overflows(), 6u);
  EXPECT_TRUE(trace.contains("EEEEEE"));
  trace_set_level(0);
  int frames = 0;
  ASSERT_TRUE(rtos::run_in_thread([&] {
    disp::packet* p = nullptr;
    while (s.Read(&p)) {
      ++frames;
      EXPECT_EQ(p, &s.m_Packet);
    }
  }));
  EXPECT_EQ(frames, 204);
  // The torn frame waits in the parser; its rest completes it.
  EXPECT_EQ(s.ParseState(), stream_ksr7100::DATA);
  ASSERT_TRUE(s.Write(kConfigurationRequest.data() + 4, 1));
  ASSERT_TRUE(rtos::run_in_thread([&] {
    disp::packet* p = nullptr;
    EXPECT_TRUE(s.Read(&p));
    EXPECT_FALSE(s.Read(&p));
  }));
}

// ------------------------------------------------------------------ the bus

std::vector<Got>* g_seen = nullptr;

struct recording_diagnostics : disp::diagnostics {
  bool HandlePacket(disp::packet* p) override {
    if (g_seen) g_seen->push_back({p->data[0], Bytes(p->data + 1, p->data + p->length)});
    return false;
  }
};

TEST_F(StreamTest, TheBusDefersFramesToTheJobQueueAndTheFacesOfItsName) {
  std::vector<Got> seen;
  g_seen = &seen;
  job_queue queue;
  ASSERT_TRUE(rtos::run_in_thread([&] { ASSERT_TRUE(queue.Open()); }));
  stream_ksr7100 stream;
  bus_ksr7100 bus;
  bus.SetQueue(&queue);
  ASSERT_TRUE(bus.Open(MODULE_BUS_NAME, &stream));
  disp::core core;
  ASSERT_TRUE(core.Open());
  ASSERT_TRUE(core.AttachBus(&bus));
  recording_diagnostics diag;
  disp::frame_engine engine;
  disp::face_description d;
  std::snprintf(d.face_name, sizeof d.face_name, "primary");
  std::snprintf(d.bus_name, sizeof d.bus_name, "%s", MODULE_BUS_NAME);
  d.height = 7;
  d.width = 5;
  d.module_height = 7;
  d.module_width = 5;
  d.module_rows = 1;
  d.colour_code = 1;
  d.diag = &diag;
  d.engine = &engine;
  disp::face face;
  ASSERT_TRUE(rtos::run_in_thread([&] {
    ASSERT_TRUE(face.Open(&d));
    ASSERT_TRUE(core.AttachFace(&face));
  }));

  const Bytes bytes = Cat({{0x13}, kConfigurationRequest, Frame(0x01, 0x11, {0xA0, 0x00, 0x42})});
  // One interrupt delivers every byte; the job is queued once and reads
  // them all.
  rtos::raise_interrupt([&] {
    for (uint8_t b : bytes) static_cast<can_db_receiver&>(bus).ReceiveByte(b);
    EXPECT_TRUE(bus.IsQueued());
    // Checked here: once the interrupt ends, the queue's thread may run at
    // any moment.
    EXPECT_TRUE(seen.empty()) << "nothing is parsed in the interrupt";
  });
  rtos::settle();
  EXPECT_EQ(seen, (std::vector<Got>{{0xC5, {0x00}}, {0x01, {0x11, 0xA0, 0x00, 0x42}}}));
  EXPECT_EQ(bus.ErrorCount(), 1u) << "the noise byte";
  EXPECT_FALSE(bus.Write(kConfigurationRequest.data(), 5)) << "no module-data driver";

  ASSERT_TRUE(rtos::run_in_thread([&] {
    core.DetachFace(&face);
    face.Close();
  }));
  g_seen = nullptr;
}

}  // namespace
