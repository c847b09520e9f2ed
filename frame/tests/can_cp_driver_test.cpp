// Frames sent through the front panel's CAN port: the panel command of both
// identifier forms, and the panels and link states that refuse a frame.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "frame/can/can_cp_driver.h"

namespace {

class Panel : public can_cp_driver::panel_port {
 public:
  uint8_t hw = 0, fw = 7;
  std::vector<std::vector<uint8_t>> written;
  uint8_t HardwareRevision() override { return hw; }
  uint8_t FirmwareRevision() override { return fw; }
  void WriteCommand(const uint8_t* bytes, uint32_t count) override { written.emplace_back(bytes, bytes + count); }
};

using Bytes = std::vector<uint8_t>;

TEST(CanCpDriver, FrameLayouts) {
  const uint8_t data[8] = {0xFE, 0xFF, 3, 4, 5, 6, 7, 8};
  struct Row {
    bool extended;
    uint32_t id;
    bool remote;
    uint8_t length;
    Bytes frame;
  } rows[] = {
      {true, 0x1ABCDEF5, false, 2, {0xFE, 0x41, 0xD5, 0xF9, 0xBD, 0xEA, 2, 0xFE, 0xFF, 0, 0, 0, 0, 0, 0}},
      {true, 0x00000001, true, 0, {0xFE, 0x41, 0x00, 0x18, 0x00, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {false, 0x7FF, false, 8, {0xFE, 0x41, 0xFF, 0xE0, 8, 0xFE, 0xFF, 3, 4, 5, 6, 7, 8}},
      {false, 0x123, true, 1, {0xFE, 0x41, 0x24, 0x70, 1, 0xFE, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Row& r : rows) {
    can_cp_driver d;
    Panel panel;
    d.SetPanel(&panel);
    d.Initialize(0, r.extended, 100);
    EXPECT_EQ(d.WritePacket(r.id, r.remote, r.length, data, 0), 1u) << r.id;
    ASSERT_EQ(panel.written.size(), 1u);
    EXPECT_EQ(panel.written[0], r.frame) << r.id;
    EXPECT_EQ(d.m_packetsSent, 1u);
  }
}

TEST(CanCpDriver, RefusedFrames) {
  const uint8_t data[16] = {};
  volatile uint8_t busy = 1;
  struct Row {
    const char* what;
    std::function<void(can_cp_driver&, Panel&)> arrange;
    uint8_t length;
    uint8_t option;
    bool counted;
  } rows[] = {
      {"option", [](can_cp_driver&, Panel&) {}, 1, 1, false},
      {"no panel", [](can_cp_driver& d, Panel&) { d.SetPanel(nullptr); }, 1, 0, true},
      {"no revision yet", [](can_cp_driver&, Panel& p) { p.fw = 0; }, 1, 0, true},
      {"old firmware", [](can_cp_driver&, Panel& p) { p.fw = 6; }, 1, 0, true},
      {"old hardware", [](can_cp_driver&, Panel& p) { p.hw = 6; }, 1, 0, true},
      {"link stays busy", [&](can_cp_driver& d, Panel&) { d.SetBusyFlag(&busy); }, 1, 0, true},
      {"more than 8 bytes", [](can_cp_driver&, Panel&) {}, 15, 0, true},
  };
  for (const Row& r : rows) {
    can_cp_driver d;
    Panel panel;
    d.SetPanel(&panel);
    r.arrange(d, panel);
    EXPECT_EQ(d.WritePacket(0x10, 0, r.length, data, r.option), 0u) << r.what;
    EXPECT_TRUE(panel.written.empty()) << r.what;
    EXPECT_EQ(d.m_streamErrors, r.counted ? 1u : 0u) << r.what;
    EXPECT_EQ(d.m_packetsSent, 0u) << r.what;
  }
  // Hardware revision 0 passes; an idle link does not wait.
  can_cp_driver d;
  Panel panel;
  volatile uint8_t idle = 0;
  d.SetPanel(&panel);
  d.SetBusyFlag(&idle);
  EXPECT_EQ(d.Send(0x10, 0, 2, data, 0), 1u);
  EXPECT_EQ(d.Send(0x10, 0, 9, data, 0), 0u);
}

}  // namespace
