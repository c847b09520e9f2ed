// Detection of simulated utility boards through the whole CAN path: on the
// controller's own bus (SPI port, CAN controller, its driver) and behind the
// EPLD (packet FIFO, its channels, the packet driver).
#include <memory>
#include <utility>
#include <vector>

#include "frame/can/can_bus.h"
#include "frame/can/can_core.h"
#include "frame/can/can_db_driver.h"
#include "frame/can/can_detect.h"
#include "frame/can/can_q5_driver.h"
#include "frame/tests/board_fixture.h"
#include "sim/can/can_board.h"

namespace {

using responders = std::vector<std::pair<uint32_t, uint8_t>>;

const uint32_t kAddresses[3] = {0x42221, 0x42222, 0x43001};

// The module bus's part in this path, reduced to CAN frames: turns the
// EPLD's received packets back into frames for the packet driver's buses.
struct FrameReader : can_db_receiver {
  explicit FrameReader(can_db_driver& d) : drv(d) {}
  void ReceiveByte(uint8_t b) override {
    if (bytes.empty() && b != 0x55) return;
    bytes.push_back(b);
    if (bytes.size() < 4) return;
    size_t n = bytes[2] == 0x01 ? (bytes[3] & 0x0F) + 2 : (bytes[3] & 0x0F) + 4;
    if (bytes.size() < 4 + n + 1) return;
    can_packet p;
    const uint8_t* d = &bytes[4];
    if (bytes[2] == 0x02) {
      p.id = static_cast<uint32_t>(d[0]) << 21 | (d[1] & 0xE0u) << 13 | (d[1] & 0x07u) << 15 | d[2] << 7 | d[3] >> 1;
      d += 4;
    } else {
      p.id = static_cast<uint32_t>(d[0]) << 3 | d[1] >> 5;
      d += 2;
    }
    p.length = bytes[3] & 0x0F;
    for (uint8_t i = 0; i < p.length; ++i) p.data[i] = d[i];
    p.channel = bytes[3] >> 4;
    bytes.clear();
    drv.DispatchToNodes(p);
  }
  uint32_t ErrorCount() override { return 0; }
  can_db_driver& drv;
  std::vector<uint8_t> bytes;
};

class DetectSimTest : public BoardTest {
 protected:
  void TearDown() override {
    boards.clear();
    bus.reset();
    core.reset();
    q5.reset();
    db.reset();
    BoardTest::TearDown();
  }
  void Open(const char* name, can_driver* driver) {
    core = std::make_unique<can_core>();
    bus = std::make_unique<sensor_bus>();
    uint32_t ok = 0;
    ASSERT_TRUE(rtos::run_in_thread([&] { ok = bus->open(name, driver); }));
    ASSERT_EQ(ok, 1u);
    ASSERT_EQ(core->register_bus(bus.get()), 1u);
  }
  responders Detect(const char* name) {
    can_detect det(nullptr, core.get());
    uint32_t running = 0;
    EXPECT_TRUE(rtos::run_in_thread([&] { running = det.start(2, name, 0x42000, 0x5AFFF, kAddresses, 3); }));
    EXPECT_EQ(running, 1u);
    det.stop();
    responders found;
    uint32_t address;
    uint8_t channel;
    for (uint32_t more = det.first(&address, &channel); more; more = det.next(&address, &channel))
      found.push_back({address, channel});
    return found;
  }

  std::unique_ptr<CCANQ5Driver> q5;
  std::unique_ptr<can_db_driver> db;
  std::unique_ptr<can_core> core;
  std::unique_ptr<sensor_bus> bus;
  std::vector<std::unique_ptr<sim::can_board>> boards;
};

TEST_F(DetectSimTest, BoardsOnTheControllersOwnBusAnswer) {
  boards.push_back(std::make_unique<sim::can_board>(board::q5_wire(), 0x43001, 0x0205));
  boards.push_back(std::make_unique<sim::can_board>(board::q5_wire(), 0x42221));
  boards.push_back(std::make_unique<sim::can_board>(board::q5_wire(), 0x42222));
  boards.back()->set_silent(true);
  boards.push_back(std::make_unique<sim::can_board>(board::q5_wire(), 0x42100));  // not asked for
  q5 = std::make_unique<CCANQ5Driver>();
  Open("CAN Q5 Driver", q5.get());
  // Frames of this bus carry no channel: every answer counts once.
  EXPECT_EQ(Detect("CAN Q5 Driver"), (responders{{0x42221, 0}, {0x43001, 0}}));
  EXPECT_EQ(boards[0]->identifies(), 7u) << "asked on each of the seven channels";
  EXPECT_EQ(boards[2]->frames_for_me(), 7u);
  EXPECT_EQ(boards[3]->frames_for_me(), 0u);
  EXPECT_EQ(board::can_chip().frames_lost(), 0u);
}

TEST_F(DetectSimTest, BoardsBehindTheEpldAnswerOnTheirChannels) {
  db = std::make_unique<can_db_driver>();
  FrameReader reader(*db);
  db->SetReceiver(&reader);
  boards.push_back(std::make_unique<sim::can_board>(board::epld_wire(2), 0x42221, 0x0102, 0));
  boards.push_back(std::make_unique<sim::can_board>(board::epld_wire(5), 0x42222, 0x0102, 0));
  boards.push_back(std::make_unique<sim::can_board>(board::epld_wire(9), 0x43001, 0x0102, 0));  // beyond 6
  Open("CAN DB Driver", db.get());
  EXPECT_EQ(Detect("CAN DB Driver"), (responders{{0x42221, 2}, {0x42222, 5}}));
  EXPECT_EQ(boards[0]->identifies(), 1u);
  EXPECT_EQ(boards[2]->identifies(), 0u);
  db->SetReceiver(nullptr);
}

TEST_F(DetectSimTest, ABoardAnswersReadsWithItsReading) {
  boards.push_back(std::make_unique<sim::can_board>(board::q5_wire(), 0x42109));
  boards.back()->set_reading({0x01, 0x17, 0x40});
  q5 = std::make_unique<CCANQ5Driver>();
  Open("CAN Q5 Driver", q5.get());
  can_device sensor;
  sensor.set_name("TEMP");
  sensor.set_bus_name("CAN Q5 Driver");
  sensor.set_address(0x42109);
  ASSERT_EQ(core->register_device(&sensor), 1u);
  can_packet read;
  read.id = 0x42109;
  read.length = 8;
  read.data[1] = read.data[2] = 1;
  uint32_t sent = 0;
  ASSERT_TRUE(rtos::run_in_thread([&] { sent = sensor.send(read); }));
  EXPECT_EQ(sent, 1u);
  can_packet answer;
  ASSERT_EQ(sensor.read(&answer), 1u);
  EXPECT_EQ(answer.id, 0x42109u + 128);
  EXPECT_EQ(answer.data[0], 0x40);
  EXPECT_EQ(answer.data[2], 0x17);
  core->unregister_device(&sensor);
}

}  // namespace
