// The CAN tests' common parts: a fresh board and kernel, a node on a board
// wire, a driver that records what the stack sends, and a way to run code on
// a kernel thread (mutexes and sleeps need one).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "can_models.h"
#include "frame/can/can_driver.h"
#include "frame/can/can_packet.h"
#include "frame/tests/board_fixture.h"
#include "frame/trace/trace.h"

// A node on a wire: acknowledges at its rate and records what it hears.
struct WireNode : board::can_wire::node {
  WireNode(board::can_wire& w, uint32_t r) : wire(w), rate(r) { wire.attach(this); }
  ~WireNode() override { wire.detach(this); }
  bool acknowledges(uint32_t r) override { return r == 0 || rate == 0 || r == rate; }
  void on_frame(const board::can_frame& f, uint32_t r) override {
    if (acknowledges(r)) heard.push_back(f);
  }
  void Send(const board::can_frame& f) { wire.transmit(this, f, rate); }
  board::can_wire& wire;
  uint32_t rate;
  std::vector<board::can_frame> heard;
};

// A driver that records every Send and lets a test deliver frames.
struct RecordingDriver : can_driver {
  struct sent {
    uint32_t id, remote, length, channel;
    std::vector<uint8_t> data;
    uint32_t tick;
  };
  uint32_t Send(uint32_t id, uint32_t remote, uint32_t length, const uint8_t* data, uint32_t channel) override {
    sends.push_back({id, remote, length, channel, std::vector<uint8_t>(data, data + length), tx_time_get()});
    return result;
  }
  uint32_t ReadFrame(uint32_t*, uint8_t*, uint8_t*, uint8_t*) override { return 0; }
  uint32_t Initialize(uint32_t a, uint32_t b, uint32_t c) override {
    ++initializations;
    args = {a, b, c};
    return 1;
  }
  void Receive(const can_packet& p) { DeliverToNodes(p); }

  std::vector<sent> sends;
  uint32_t result = 1;
  uint32_t initializations = 0;
  std::vector<uint32_t> args;
};

inline can_packet Packet(uint32_t id, std::vector<uint8_t> data, uint8_t channel = 0) {
  can_packet p;
  p.id = id;
  p.length = static_cast<uint8_t>(data.size());
  for (size_t i = 0; i < data.size() && i < 8; ++i) p.data[i] = data[i];
  p.channel = channel;
  return p;
}

// Captures both trace levels.
struct VerboseCapture : trace_capture {
  VerboseCapture() { trace_set_level(1); }
  ~VerboseCapture() { trace_set_level(0); }
};

class CanTest : public BoardTest {
 protected:
  // Runs fn on a kernel thread; the manual clock advances while it sleeps.
  void InThread(const std::function<void()>& fn, uint32_t max_ticks = 100000) {
    ASSERT_TRUE(rtos::run_in_thread(fn, 16, max_ticks));
  }
};
