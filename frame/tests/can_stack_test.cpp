// The CAN stack above the drivers: packets, device queues, buses, the hub
// and detection, over a driver that records what it is given.
#include <cstring>
#include <string>

#include "frame/can/can_bus.h"
#include "frame/can/can_core.h"
#include "frame/can/can_detect.h"
#include "frame/can/can_device.h"
#include "frame/tests/can_fixture.h"

namespace {

struct Device : can_device {
  Device(const char* name, const char* bus, uint32_t address) {
    set_name(name);
    set_bus_name(bus);
    set_address(address);
  }
  void set_bus(can_bus* b) override {
    can_device::set_bus(b);
    ++attachments;
  }
  int attachments = 0;
};

class StackTest : public CanTest {
 protected:
  void Open(can_bus& bus, const char* name) {
    InThread([&] { ASSERT_EQ(bus.open(name, &drv), 1u); });
  }
  void Deliver(const can_packet& p) {
    rtos::cpu_scope scope;
    drv.Receive(p);
  }
  RecordingDriver drv;
};

TEST(CanPacket, CopyTakesTheFrameButNotTheChannel) {
  can_packet a = Packet(0x42101, {1, 2, 3}, 5);
  a.flags = CAN_FLAG_REMOTE;
  can_packet b;
  b.channel = 9;
  b.data[5] = 0xEE;
  b = a;
  EXPECT_EQ(b.id, 0x42101u);
  EXPECT_EQ(b.flags, CAN_FLAG_REMOTE);
  EXPECT_EQ(b.length, 3);
  EXPECT_EQ(b.channel, 9) << "the channel stays";
  EXPECT_EQ(b.data[5], 0xEE) << "only length bytes are copied";
  can_packet c(a);
  EXPECT_EQ(c.channel, 0);
  a.length = 200;  // a corrupt length is cut at the frame's size
  can_packet d;
  d = a;
  EXPECT_EQ(d.length, 8);
}

TEST(CanFifo, RingOfPacketsCountsOverflows) {
  impl::fifo<can_packet> q;
  can_packet p;
  EXPECT_EQ(q.push(p), 0u) << "never opened";
  EXPECT_EQ(q.open(0), 0u);
  ASSERT_EQ(q.open(3), 1u);
  EXPECT_EQ(q.open(3), 0u) << "open already";
  for (uint32_t i = 0; i < 5; ++i) q.push(Packet(i, {static_cast<uint8_t>(i)}));
  EXPECT_EQ(q.overflows(), 2u) << "opening reset the count";
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_EQ(q.pop(p), 1u);
    EXPECT_EQ(p.id, i);
  }
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(q.pop(p), 0u);
  q.push(Packet(7, {}));  // wraps
  ASSERT_EQ(q.pop(p), 1u);
  EXPECT_EQ(p.id, 7u);
  q.close();
  EXPECT_EQ(q.state(), impl::fifo<can_packet>::CLOSED);
  EXPECT_EQ(q.push(p), 0u);

  impl::fifo<uint8_t> bytes(2);
  EXPECT_TRUE(bytes.Push(1));
  EXPECT_TRUE(bytes.Push(2));
  EXPECT_FALSE(bytes.Push(3));
  EXPECT_EQ(bytes.Overflows(), 1u);
  EXPECT_EQ(bytes.FreeSpace(), 0u);
  uint8_t b = 0;
  EXPECT_TRUE(bytes.Pop(b));
  EXPECT_EQ(b, 1);
}

TEST_F(StackTest, OpenSendReceiveAndService) {
  sensor_bus bus;
  EXPECT_EQ(bus.kind(), can_bus::KIND_SENSOR);
  Open(bus, "CAN Q5 Driver");
  EXPECT_EQ(drv.args, (std::vector<uint32_t>{0, 1, 100}));
  EXPECT_EQ(drv.NodeCount(), 1u);
  InThread([&] { EXPECT_EQ(bus.open("again", &drv), 0u); });

  Device dev("DCIO", "CAN Q5 Driver", 0x42221);
  dev.set_channel(3);
  dev.set_bus(&bus);
  InThread([&] {
    EXPECT_EQ(dev.send(Packet(0x42221, {2, 1, 1})), 1u);
    bus.set_raw_ids(false);
    EXPECT_EQ(bus.send(Packet(0x42221, {0}), nullptr), 1u);
    drv.result = 0;
    EXPECT_EQ(dev.send(Packet(0x42221, {0})), 0u);
  });
  ASSERT_EQ(drv.sends.size(), 3u);
  EXPECT_EQ(drv.sends[0].id, 0x42221u) << "raw identifiers";
  EXPECT_EQ(drv.sends[0].channel, 3u);
  EXPECT_EQ(drv.sends[0].data, (std::vector<uint8_t>{2, 1, 1}));
  EXPECT_EQ(drv.sends[1].id, 0x42221u + 128);
  EXPECT_EQ(drv.sends[1].channel, 0u);
  EXPECT_EQ(bus.m_packetsSent, 2u);
  EXPECT_EQ(bus.m_sendFailures, 1u);
  EXPECT_EQ(dev.m_packetsSent, 1u);
  EXPECT_EQ(dev.m_sendFailures, 1u);

  can_packet p;
  InThread([&] { EXPECT_EQ(bus.receive(&p), 0u) << "nothing received is nothing"; });
  InThread([&] { dev.service(); });
  EXPECT_EQ(drv.initializations, 2u);
  EXPECT_EQ(bus.m_serviceCalls, 1u);

  EXPECT_EQ(bus.close(), 1u);
  EXPECT_EQ(bus.close(), 0u);
  InThread([&] { EXPECT_EQ(bus.send(Packet(1, {}), nullptr), 0u); });
}

TEST_F(StackTest, OwnershipOfIdentifierRanges) {
  sensor_bus sensors;
  controller_bus controllers;
  can_bus any;
  struct row {
    uint32_t id;
    uint32_t sensor, controller;
  };
  const row rows[] = {{0x41FFF, 0, 0}, {0x42000, 1, 0}, {0x5AFFF, 1, 0},
                      {0x5B000, 0, 1}, {0x5BFFE, 0, 1}, {0x5BFFF, 0, 0}};
  for (const row& r : rows) {
    can_packet p = Packet(r.id, {});
    EXPECT_EQ(sensors.owns_address(p), r.sensor) << std::hex << r.id;
    EXPECT_EQ(controllers.owns_address(p), r.controller) << std::hex << r.id;
    EXPECT_EQ(any.owns_address(p), 1u);
  }
}

TEST_F(StackTest, HubAttachesDevicesByBusNameAndDispatches) {
  can_core core;
  sensor_bus a, b;
  Device early("EARLY", "A", 0x42101), late("LATE", "A", 0x42102), other("OTHER", "B", 0x42101);
  late.set_range(0x42200, 0x422FF);
  // A device registered before its bus is attached when the bus comes.
  EXPECT_EQ(core.register_device(&early), 1u);
  EXPECT_EQ(early.bus(), nullptr);
  Open(a, "A");
  Open(b, "B");
  EXPECT_EQ(core.register_bus(&a), 1u);
  EXPECT_EQ(early.bus(), &a);
  EXPECT_EQ(core.register_bus(&b), 1u);
  EXPECT_EQ(core.register_device(&late), 1u);
  EXPECT_EQ(late.bus(), &a);
  EXPECT_EQ(core.register_device(&other), 1u);

  // Duplicates and nameless objects are refused.
  Device twin("EARLY", "B", 1), nameless("", "A", 1);
  sensor_bus a2, unnamed;
  Open(a2, "A");
  EXPECT_EQ(core.register_device(&twin), 0u);
  EXPECT_EQ(core.register_device(&nameless), 0u);
  EXPECT_EQ(core.register_bus(&a2), 0u);
  EXPECT_EQ(core.register_bus(&unnamed), 0u);
  EXPECT_EQ(drv.AttachNode(&a2), 0u) << "a bus named like an attached one";
  EXPECT_EQ(core.device_count(), 3u);
  EXPECT_EQ(core.bus_count(), 2u);

  // Each bus delivers only to its own devices, by address and channel.
  Deliver(Packet(0x42101 + 128, {1}));
  EXPECT_EQ(early.m_packetsReceived, 1u);
  EXPECT_EQ(other.m_packetsReceived, 1u) << "bus B was attached to the same driver";
  Deliver(Packet(0x42250 + 128, {2}));
  EXPECT_EQ(late.m_packetsReceived, 1u) << "in the accepted range";
  Deliver(Packet(0x42101 + 128, {3}, 1));
  EXPECT_EQ(early.m_packetsReceived, 1u) << "another channel";
  Deliver(Packet(0x5B081, {4}));
  EXPECT_EQ(a.m_packetsDelivered, 3u) << "owned, whether or not a device took it";

  // A full queue drops and counts; the task reads in order.
  for (int i = 0; i < 12; ++i) Deliver(Packet(0x42101 + 128, {static_cast<uint8_t>(i)}));
  EXPECT_EQ(early.m_packetsReceived, 10u);
  EXPECT_EQ(early.m_packetsDropped, 3u);
  can_packet p;
  ASSERT_EQ(early.read(&p), 1u);
  EXPECT_EQ(p.data[0], 1);

  // Unregistered devices hear nothing more; a closed bus refuses deliveries.
  VerboseCapture cap;
  uint32_t heard = other.m_packetsReceived;
  EXPECT_EQ(core.unregister_device(&other), 1u);
  EXPECT_EQ(core.unregister_device(&other), 0u);
  EXPECT_EQ(cap.text(), "unregister can device:OTHER\n");
  Deliver(Packet(0x42101 + 128, {5}));
  EXPECT_EQ(other.m_packetsReceived, heard);
  b.close();
  Deliver(Packet(0x42101 + 128, {6}));
  EXPECT_EQ(b.m_deliveriesRefused, 1u);
}

TEST_F(StackTest, CountersPrintFiveLines) {
  Device dev("D", "A", 1);
  dev.m_packetsSent = 1;
  dev.m_packetsReceived = 2;
  dev.m_packetsDropped = 3;
  dev.m_packetsRejected = 4;
  dev.m_sendFailures = 5;
  trace_capture cap;
  can_core::print_counters(dev);
  EXPECT_EQ(cap.text(),
            "\t packets_sent:1\n\t packets_received:2\n\t packets_dropped:3\n\t packets_invalid:4\n"
            "\t transmit_failures:5\n");
}

TEST_F(StackTest, DetectionQueriesEveryChannelAndRecordsAnswers) {
  can_core core;
  sensor_bus bus;
  Open(bus, "CAN DB Driver");
  core.register_bus(&bus);
  can_detect det(nullptr, &core);
  EXPECT_EQ(std::strncmp(det.name(), "auto detect utility ", 20), 0);
  const uint32_t addresses[3] = {0x42221, 0x42222, 0x43001};
  uint32_t running = 0, start = 0, end = 0;
  InThread([&] {
    start = tx_time_get();
    running = det.start(1, "CAN DB Driver", 0x42000, 0x5AFFF, addresses, 3);
    end = tx_time_get();
  });
  EXPECT_EQ(running, 1u);
  EXPECT_EQ(end - start, 21u) << "one tick after each query";
  ASSERT_EQ(drv.sends.size(), 21u);
  for (uint32_t i = 0; i < 21; ++i) {
    EXPECT_EQ(drv.sends[i].channel, i / 3);
    EXPECT_EQ(drv.sends[i].id, addresses[i % 3]);
    EXPECT_EQ(drv.sends[i].data, (std::vector<uint8_t>{2, 1, 1, 0, 0, 0, 0, 0}));
  }
  // Refused while running.
  InThread([&] { EXPECT_EQ(det.start(1, "CAN DB Driver", 0x42000, 0x5AFFF, addresses, 3), 0u); });

  // Answers in range, once per address and channel, whatever the channel.
  Deliver(Packet(0x42222 + 128, {0x42}, 4));
  Deliver(Packet(0x42222 + 128, {0x42}, 4));
  Deliver(Packet(0x42221 + 128, {0x42}, 0));
  Deliver(Packet(0x42221 + 128, {0x42}, 6));
  Deliver(Packet(0x41000 + 128, {0x42}, 0));  // outside the range
  uint32_t address;
  uint8_t channel;
  EXPECT_EQ(det.first(&address, &channel), 0u) << "not while running";
  EXPECT_EQ(det.stop(), 0u);
  std::vector<std::pair<uint32_t, uint8_t>> found;
  for (uint32_t more = det.first(&address, &channel); more; more = det.next(&address, &channel))
    found.push_back({address, channel});
  EXPECT_EQ(found, (std::vector<std::pair<uint32_t, uint8_t>>{{0x42222, 4}, {0x42221, 0}, {0x42221, 6}}));
  EXPECT_EQ(core.device_count(), 0u) << "stopped detectors leave the hub";
  can_detect second(nullptr, &core);
  EXPECT_STRNE(second.name(), det.name());
}

}  // namespace
