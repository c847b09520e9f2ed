// The EPLD packet driver on the board's EPLD FIFO model: the packets it
// builds, direct and queued writing, stream chunks, FIFO time-outs and the
// receive path.
#include <memory>
#include <string>

#include "frame/can/can_bus.h"
#include "frame/can/can_core.h"
#include "frame/can/can_db_driver.h"
#include "frame/can/can_device.h"
#include "frame/tests/can_fixture.h"

namespace {

using bytes = std::vector<uint8_t>;

bytes with_checksum(bytes p) {
  uint8_t sum = 0;
  for (uint8_t b : p) sum = static_cast<uint8_t>(sum + b);
  p.push_back(static_cast<uint8_t>(0 - sum));
  return p;
}

uint32_t g_fps = 0;
uint32_t frame_rate() { return g_fps; }

struct Receiver : can_db_receiver {
  void ReceiveByte(uint8_t b) override {
    got.push_back(b);
    ++errors;
  }
  uint32_t ErrorCount() override { return errors; }
  bytes got;
  uint32_t errors = 100;
};

class DbDriverTest : public CanTest {
 protected:
  void SetUp() override {
    CanTest::SetUp();
    db = std::make_unique<can_db_driver>();
    g_fps = 0;
    can_db_driver::SetFrameRateQuery(&frame_rate);
  }
  void TearDown() override {
    can_db_driver::SetFrameRateQuery(nullptr);
    db.reset();
    CanTest::TearDown();
  }
  void Init(uint32_t channel = 0, uint32_t extended = 1) {
    InThread([&] { ASSERT_EQ(db->Initialize(channel, extended, 100), 1u); });
  }
  void Write(uint8_t stream) {
    InThread([&] { db->WriteEPLDPacket(stream); });
  }
  void FillStream(impl::fifo<uint8_t>& ring, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) ASSERT_TRUE(ring.Push(static_cast<uint8_t>(i)));
  }
  // Count bytes of the packets taken, by kind.
  std::vector<uint32_t> Chunks(char kind) {
    std::vector<uint32_t> out;
    for (const bytes& p : board::can_fifo().take_packets())
      if (p[2] == kind) out.push_back(p[3]);
    return out;
  }

  std::unique_ptr<can_db_driver> db;
};

TEST_F(DbDriverTest, PacketBytesAndChecksums) {
  Init(5);
  struct row {
    const char* what;
    std::function<uint32_t()> send;
    bytes expected;
  };
  const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const uint8_t nine0[2] = {9, 0};
  std::vector<row> rows = {
      {"11-bit frame on channel 2", [&] { return db->SendCanFrame(2, 0, 33, 0, 2, nine0); },
       {0x55, 0xAA, 0x01, 0x22, 0x04, 0x20, 0x09, 0x00, 0xB1}},
      {"29-bit frame on channel 1", [&] { return db->SendCanFrame(1, 1, 0x5B001, 0, 8, eight); },
       with_checksum({0x55, 0xAA, 0x02, 0x18, 0x00, 0x3B, 0x60, 0x02, 1, 2, 3, 4, 5, 6, 7, 8})},
      {"11-bit remote frame", [&] { return db->SendCanFrame(3, 0, 0x7FF, 1, 0, nullptr); },
       with_checksum({0x55, 0xAA, 0x01, 0x30, 0xFF, 0xF0})},
      {"29-bit remote frame", [&] { return db->SendCanFrame(15, 1, 0x42101, 1, 0, nullptr); },
       with_checksum({0x55, 0xAA, 0x02, 0xF0, 0x00, 0x38, 0x42, 0x03})},
      {"default channel", [&] { return db->Send(0x42101, 0, 1, eight, 0); },
       with_checksum({0x55, 0xAA, 0x02, 0x51, 0x00, 0x38, 0x42, 0x02, 1})},
      {"bit-rate set-up", [&] { return db->SendTemplatePacket(1, 3); },
       with_checksum({0x55, 0xAA, 0xCA, 0x0A, 0x01, 3, 3, 3, 3, 3, 3, 3, 3, 3})},
      {"command: c, e, d", [&] { return db->SendCommandPacket(0x1234, 0xABCD, 0x11, 0x22, 0x33); },
       with_checksum({0x55, 0xAA, 'Y', 0x07, 0x12, 0x34, 0xAB, 0xCD, 0x11, 0x33, 0x22})},
  };
  for (const row& r : rows) {
    uint32_t ok = 0;
    InThread([&] { ok = r.send(); });
    EXPECT_EQ(ok, 1u) << r.what;
    std::vector<bytes> taken = board::can_fifo().take_packets();
    ASSERT_EQ(taken.size(), 1u) << r.what;
    EXPECT_EQ(taken[0], r.expected) << r.what;
  }
  EXPECT_EQ(rows[1].expected.size(), 17u);
  EXPECT_EQ(board::can_fifo().bad_packets(), 0u);
  EXPECT_EQ(db->m_packetsSent, 5u) << "CAN frames only";
}

TEST_F(DbDriverTest, SetUpPacketsGoOutBeforeTheThreadsRun) {
  // Start-up tells the display lines their bit rate before any thread runs
  // and before the bus opens the driver.
  {
    rtos::cpu_scope scope;
    EXPECT_EQ(db->SendTemplatePacket(1, 2), 1u);
  }
  std::vector<bytes> taken = board::can_fifo().take_packets();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].size(), 15u);
  EXPECT_EQ(taken[0][4], 1);
}

TEST_F(DbDriverTest, BadFramesAreRefused) {
  const uint8_t data[9] = {};
  uint32_t before_init = 1;
  InThread([&] { before_init = db->SendCanFrame(1, 1, 0x42101, 0, 1, data); });
  EXPECT_EQ(before_init, 0u);
  Init();
  InThread([&] {
    EXPECT_EQ(db->SendCanFrame(1, 1, 0x42101, 0, 9, data), 0u);
    EXPECT_EQ(db->SendCanFrame(16, 1, 0x42101, 0, 1, data), 0u);
    EXPECT_EQ(db->SendCanFrame(1, 1, 0x42101, 0, 1, nullptr), 0u);
  });
  EXPECT_TRUE(board::can_fifo().take_packets().empty());
}

TEST_F(DbDriverTest, DirectModeWritesAtOnceQueuedModeWaits) {
  WireNode line2(board::epld_wire(2), 0);
  Init();
  const uint8_t d[1] = {7};
  InThread([&] { db->SendCanFrame(2, 0, 0x22, 0, 1, d); });
  ASSERT_EQ(line2.heard.size(), 1u) << "direct: written at once";
  EXPECT_EQ(line2.heard[0], board::make_frame(0x22, false, {7}));
  EXPECT_TRUE(db->PacketRing().IsEmpty());

  db->SetDirect(0);
  InThread([&] { db->SendCanFrame(2, 0, 0x23, 0, 1, d); });
  EXPECT_EQ(line2.heard.size(), 1u) << "queued: waits";
  Write('2');
  ASSERT_EQ(line2.heard.size(), 2u);
  EXPECT_EQ(line2.heard[1].id, 0x23u);
}

TEST_F(DbDriverTest, FullPacketRingDropsAndSaysSo) {
  WireNode line1(board::epld_wire(1), 0);
  Init();
  db->SetDirect(0);
  const uint8_t d[8] = {};
  // 17-byte packets: 30 fill 510 of the 512 bytes.
  InThread([&] {
    for (uint32_t i = 0; i < 30; ++i) ASSERT_EQ(db->SendCanFrame(1, 1, 0x42000 + i, 0, 8, d), 1u) << i;
    EXPECT_EQ(db->SendCanFrame(1, 1, 0x42100, 0, 8, d), 0u);
  });
  EXPECT_EQ(db->m_bytesLost, 17u);
  EXPECT_EQ(db->m_packetsSent, 30u);
  Write('2');
  ASSERT_EQ(line1.heard.size(), 30u);
  for (uint32_t i = 0; i < 30; ++i) EXPECT_EQ(line1.heard[i].id, 0x42000 + i);
}

TEST_F(DbDriverTest, StreamChunksFollowTheFrameRate) {
  Init();
  db->SetDirect(0);
  struct row {
    uint32_t fps, waiting;
    std::vector<uint32_t> chunks;
    uint32_t left;
  };
  const row rows[] = {
      {2, 130, {100, 30}, 0},
      {3, 130, {75, 55}, 0},
      {4, 80, {75, 5}, 0},
      {5, 130, {50, 50, 30}, 0},
      {6, 130, {25, 25, 25, 25, 25, 5}, 0},
      {6, 300, {25, 25, 25, 25, 25, 25, 25, 25}, 100},  // at most 8 packets a call
  };
  for (const row& r : rows) {
    g_fps = r.fps;
    FillStream(db->StreamRing3(), r.waiting);
    Write('3');
    EXPECT_EQ(Chunks('3'), r.chunks) << r.fps << " fps, " << r.waiting << " bytes";
    EXPECT_EQ(db->StreamRing3().Capacity() - db->StreamRing3().FreeSpace(), r.left);
    Write('3');
    board::can_fifo().take_packets();
  }
  // Stream '2' has its own ring; the bytes arrive in order.
  g_fps = 0;
  FillStream(db->StreamRing2(), 150);
  Write('2');
  EXPECT_EQ(Chunks('2'), (std::vector<uint32_t>{100, 50}));
  std::string s2 = board::can_fifo().stream('2');
  ASSERT_EQ(s2.size(), 150u);
  for (uint32_t i = 0; i < 150; ++i) ASSERT_EQ(static_cast<uint8_t>(s2[i]), i);
}

TEST_F(DbDriverTest, BusyFifoTimesOutAndKeepsTheData) {
  Init();
  db->SetDirect(0);
  board::can_fifo().set_hold(true);
  {
    rtos::cpu_scope scope;
    for (size_t i = 0; i < board::epld_can_fifo::BUSY_LEVEL; ++i) reg_write8(0xF0500040, 0);
  }
  FillStream(db->StreamRing3(), 10);
  VerboseCapture cap;
  uint32_t start = tx_time_get();
  Write('3');
  EXPECT_EQ(tx_time_get() - start, 500u) << "500 polls a tick apart";
  EXPECT_EQ(cap.text(), "WriteEPLDPacket1 timeout\r");
  EXPECT_EQ(db->StreamRing3().FreeSpace(), db->StreamRing3().Capacity() - 10);

  const uint8_t d[1] = {1};
  InThread([&] { db->SendCanFrame(1, 0, 0x20, 0, 1, d); });
  cap.clear();
  Write('2');
  EXPECT_EQ(cap.text(), "WriteEPLDPacket2 timeout\r");
  EXPECT_FALSE(db->PacketRing().IsEmpty());

  board::can_fifo().set_hold(false);
  board::can_fifo().take_packets();
  Write('3');
  std::vector<bytes> taken = board::can_fifo().take_packets();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0][2], '3');
  EXPECT_EQ(taken[0][3], 10);
  EXPECT_EQ(taken[1][2], 0x01);
}

TEST_F(DbDriverTest, AHalfWrittenPacketIsFinishedBeforeStreamData) {
  WireNode line1(board::epld_wire(1), 0);
  Init();
  db->SetDirect(0);
  const uint8_t d[8] = {};
  InThread([&] {
    for (uint32_t i = 0; i < 20; ++i) db->SendCanFrame(1, 1, 0x42000 + i, 0, 8, d);  // 340 bytes
  });
  // Half full: the first 256 bytes fill the FIFO, the wait after them fails.
  board::can_fifo().set_hold(true);
  {
    rtos::cpu_scope scope;
    for (size_t i = 0; i < board::epld_can_fifo::BUSY_LEVEL - 256; ++i) reg_write8(0xF0500040, 0);
  }
  Write('3');
  EXPECT_EQ(db->PacketRing().Capacity() - db->PacketRing().FreeSpace(), 340u - 256u);
  FillStream(db->StreamRing3(), 5);
  board::can_fifo().set_hold(false);
  Write('3');
  ASSERT_EQ(line1.heard.size(), 20u) << "the rest of the packets came first";
  for (const bytes& p : board::can_fifo().take_packets()) EXPECT_NE(p[2], '3');
  EXPECT_EQ(board::can_fifo().bad_packets(), board::epld_can_fifo::BUSY_LEVEL - 256);
  Write('3');
  EXPECT_EQ(Chunks('3'), (std::vector<uint32_t>{5}));
}

TEST_F(DbDriverTest, ReceivedBytesGoToTheReceiverAndFramesToTheBuses) {
  Receiver rx;
  db->SetReceiver(&rx);
  Init();
  EXPECT_EQ(board::epld().reg(0x28) & 0x80, 0x80);
  board::can_fifo().inject({0x55, 0xAA, 0xC5, 0x00, 0x3C});
  EXPECT_EQ(rx.got, (bytes{0x55, 0xAA, 0xC5, 0x00, 0x3C}));
  EXPECT_EQ(db->m_packetsReceived, 5u);
  EXPECT_EQ(db->m_streamErrors, 105u);
  EXPECT_EQ(board::can_fifo().rx_level(), 0u);

  // A board's frame on an EPLD channel arrives as a packet too.
  WireNode board13(board::epld_wire(13), 0);
  rx.got.clear();
  board13.Send(board::make_frame(0x21, false, {5}));
  EXPECT_EQ(rx.got, with_checksum({0x55, 0xAA, 0x01, 0xD1, 0x04, 0x20, 5}));

  // What the module bus decodes comes back to the buses.
  sensor_bus bus;
  can_core core;
  can_device dev;
  dev.set_name("SENSOR");
  dev.set_bus_name("CAN DB Driver");
  dev.set_address(0x42101);
  dev.set_channel(3);
  InThread([&] { ASSERT_EQ(bus.open("CAN DB Driver", db.get()), 1u); });
  core.register_bus(&bus);
  core.register_device(&dev);
  {
    rtos::cpu_scope scope;
    db->DispatchToNodes(Packet(0x42181, {0x42}, 3));
    db->DispatchToNodes(Packet(0x42181, {0x42}, 4));
  }
  EXPECT_EQ(dev.m_packetsReceived, 1u) << "on its channel only";
}

}  // namespace
