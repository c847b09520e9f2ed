// A partner controller on the controller bus behind the EPLD: mails from the
// controller's bus reach it whole, its light mails are assembled by the
// controller's bus, and the frame reader skips what is not a CAN frame.
#include <memory>
#include <vector>

#include "frame/can/can_bus.h"
#include "frame/can/can_core.h"
#include "frame/can/can_db_driver.h"
#include "frame/can/can_device.h"
#include "frame/tests/board_fixture.h"
#include "sim/can/epld_frame_reader.h"
#include "sim/can/partner_controller.h"

namespace {

class PartnerTest : public BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    db = std::make_unique<can_db_driver>();
    reader = std::make_unique<sim::epld_frame_reader>(*db);
    db->SetReceiver(reader.get());
    core = std::make_unique<can_core>();
    bus = std::make_unique<controller_bus>();
    uint32_t ok = 0;
    ASSERT_TRUE(rtos::run_in_thread([&] { ok = bus->open("Q5 CONTROLLER BUS", db.get()); }));
    ASSERT_EQ(ok, 1u);
    ASSERT_EQ(core->register_bus(bus.get()), 1u);
    device.set_name("LINK");
    device.set_bus_name("Q5 CONTROLLER BUS");
    device.set_address(0x5B001);
    device.set_offset_ids(false);
    ASSERT_EQ(core->register_device(&device), 1u);
    partner = std::make_unique<sim::partner_controller>(board::epld_wire(0));
  }
  void TearDown() override {
    partner.reset();
    core->unregister_device(&device);
    db->SetReceiver(nullptr);
    bus.reset();
    core.reset();
    reader.reset();
    db.reset();
    BoardTest::TearDown();
  }
  // The mails the device's frames make.
  std::vector<can_mail> Mails() {
    std::vector<can_mail> mails;
    can_packet p;
    can_mail m;
    while (device.read(&p))
      if (core->assemble_mail(bus.get(), p, &m)) mails.push_back(m);
    return mails;
  }

  std::unique_ptr<can_db_driver> db;
  std::unique_ptr<sim::epld_frame_reader> reader;
  std::unique_ptr<can_core> core;
  std::unique_ptr<controller_bus> bus;
  can_device device;
  std::unique_ptr<sim::partner_controller> partner;
};

TEST_F(PartnerTest, MailsOfEveryLengthCrossBothWays) {
  for (uint16_t length : {0, 2, 5, 6, 20}) {
    can_mail out;
    out.header = 0x21;
    out.destination = 1;
    out.type = 0x0102;
    out.length = length;
    for (uint16_t i = 0; i < length; ++i) out.payload[i] = static_cast<uint8_t>(0xA0 + i);
    uint32_t sent = 0;
    ASSERT_TRUE(rtos::run_in_thread([&] { sent = bus->send_mail(out); }));
    ASSERT_EQ(sent, 1u);
    ASSERT_FALSE(partner->mails().empty());
    std::vector<uint8_t> expected = {0x21, 1, 0x01, 0x02, static_cast<uint8_t>(length >> 8),
                                     static_cast<uint8_t>(length)};
    for (uint16_t i = 0; i < length; ++i) expected.push_back(static_cast<uint8_t>(0xA0 + i));
    EXPECT_EQ(partner->mails().back(), expected) << length;

    ASSERT_TRUE(partner->send_mail(expected));
    const std::vector<can_mail> in = Mails();
    ASSERT_EQ(in.size(), 1u) << length;
    EXPECT_EQ(in[0].header, 0x21);
    EXPECT_EQ(in[0].type, 0x0102);
    EXPECT_EQ(in[0].length, length);
    for (uint16_t i = 0; i < length; ++i) EXPECT_EQ(in[0].payload[i], 0xA0 + i);
  }
  EXPECT_EQ(reader->ErrorCount(), 0u);
}

TEST_F(PartnerTest, LightMails) {
  ASSERT_TRUE(partner->send_light(0x1234, 3));
  const std::vector<can_mail> in = Mails();
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].header, 0x31);
  EXPECT_EQ(in[0].length, 2);
  EXPECT_EQ(in[0].payload[0], 0x12);
  EXPECT_EQ(in[0].payload[1], 0x34);
  EXPECT_EQ(sim::light_mail(0x0506), (std::vector<uint8_t>{1, 1, 0, 0, 0, 2, 5, 6}));
}

TEST_F(PartnerTest, TheReaderSkipsWhatIsNotAFrame) {
  // Noise, a stream packet, a frame with a bad checksum, then a good frame.
  board::can_fifo().inject({0x00, 0x55, 0x00, 0x55, 0xAA, '2', 0x01, 0x41, 0x00});
  board::can_fifo().inject({0x55, 0xAA, 0x02, 0x08, 0x2D, 0x98, 0x00, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 0x00});
  partner->send_light(0x0001);
  EXPECT_GE(reader->ErrorCount(), 3u);
  const std::vector<can_mail> in = Mails();
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].payload[1], 0x01);
}

}  // namespace
