// Mails of the controller bus: split into frames on one side, assembled on
// the other, with frames from the wire that do not fit abandoning the mail.
#include <cstring>
#include <functional>
#include <string>

#include "frame/can/can_bus.h"
#include "frame/can/can_core.h"
#include "frame/tests/can_fixture.h"

namespace {

using frame_bytes = std::vector<uint8_t>;

can_mail Mail(uint32_t length, uint8_t destination = 2) {
  can_mail m;
  m.header = 0x01;
  m.destination = destination;
  m.type = 0x1234;
  m.length = static_cast<uint16_t>(length);
  for (uint32_t i = 0; i < length && i < CAN_MAIL_PAYLOAD; ++i) m.payload[i] = static_cast<uint8_t>(0xA0 + i);
  return m;
}

bool Same(const can_mail& a, const can_mail& b) {
  return a.header == b.header && a.destination == b.destination && a.type == b.type && a.length == b.length &&
         std::memcmp(a.payload, b.payload, a.length) == 0;
}

class MailTest : public CanTest {
 protected:
  void SetUp() override {
    CanTest::SetUp();
    InThread([&] { ASSERT_EQ(out.open("Q5 CONTROLLER BUS", &drv), 1u); });
  }
  // The frames a mail goes out as.
  std::vector<can_packet> Frames(const can_mail& m, uint32_t* result = nullptr) {
    drv.sends.clear();
    uint32_t r = 0;
    InThread([&] { r = out.send_mail(m); });
    if (result) *result = r;
    std::vector<can_packet> frames;
    for (const auto& s : drv.sends) {
      EXPECT_EQ(s.id, CAN_MAIL_ID);
      EXPECT_EQ(s.remote, 0u);
      frames.push_back(Packet(s.id, s.data));
    }
    return frames;
  }
  // Feeds frames to the receiving bus; the mails completed.
  std::vector<can_mail> Assemble(const std::vector<can_packet>& frames) {
    std::vector<can_mail> done;
    for (const can_packet& f : frames) {
      can_mail m;
      if (rx.assemble_mail(f, &m)) done.push_back(m);
    }
    return done;
  }

  RecordingDriver drv;
  controller_bus out, rx;
};

TEST_F(MailTest, FramesOfAMail) {
  std::vector<can_packet> f = Frames(Mail(12));
  ASSERT_EQ(f.size(), 4u);
  auto data = [](const can_packet& p) { return frame_bytes(p.data, p.data + p.length); };
  EXPECT_EQ(data(f[0]), (frame_bytes{0x82, 1, 4, 0x01, 0x12, 0x34, 0x00, 12}));
  EXPECT_EQ(data(f[1]), (frame_bytes{0x82, 2, 4, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4}));
  EXPECT_EQ(data(f[2]), (frame_bytes{0x82, 3, 4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9}));
  EXPECT_EQ(data(f[3]), (frame_bytes{0x82, 4, 4, 0xAA, 0xAB, 0x00, 0x00, 0x00}));

  f = Frames(Mail(10));
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].data[2], 3);
  EXPECT_EQ(data(f[2]), (frame_bytes{0x82, 3, 3, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9}));

  EXPECT_EQ(Frames(Mail(0)).size(), 1u);
  EXPECT_EQ(Frames(Mail(20)).size(), 5u);
  uint32_t result = 1;
  EXPECT_TRUE(Frames(Mail(21), &result).empty()) << "more than a mail holds";
  EXPECT_EQ(result, 0u);
}

TEST_F(MailTest, MailsRoundTrip) {
  for (uint32_t length : {0u, 1u, 4u, 5u, 6u, 12u, 19u, 20u}) {
    can_mail sent = Mail(length, 7);
    std::vector<can_mail> got = Assemble(Frames(sent));
    ASSERT_EQ(got.size(), 1u) << length;
    EXPECT_TRUE(Same(got[0], sent)) << length;
  }
  // Through the hub, which knows only the controller bus assembles.
  can_core core;
  sensor_bus sensors;
  can_mail m;
  std::vector<can_packet> f = Frames(Mail(3));
  EXPECT_EQ(core.assemble_mail(&sensors, f[0], &m), 0u);
  EXPECT_EQ(core.assemble_mail(&rx, f[0], &m), 0u);
  EXPECT_EQ(core.assemble_mail(&rx, f[1], &m), 1u);
  EXPECT_EQ(m.length, 3);
}

TEST_F(MailTest, TracesEachFrame) {
  VerboseCapture cap;
  Assemble(Frames(Mail(6)));
  EXPECT_EQ(cap.text(), "assemble packet 1 of 3\nassemble packet 2 of 3\nassemble packet 3 of 3\nmail assembled\n");
}

TEST_F(MailTest, MalformedFramesAbandonTheMail) {
  struct row {
    const char* what;
    std::function<void(std::vector<can_packet>&)> spoil;
  };
  const std::vector<row> rows = {
      {"frame number 0", [](auto& f) { f[1].data[1] = 0; }},
      {"frame number beyond the total", [](auto& f) { f[2].data[1] = 5; }},
      {"frame number far beyond", [](auto& f) { f[2].data[1] = 200; }},
      {"total changes", [](auto& f) { f[2].data[2] = 3; }},
      {"total of six", [](auto& f) {
         for (auto& p : f) p.data[2] = 6;
       }},
      {"length longer than the total carries", [](auto& f) { f[0].data[7] = 21; }},
      {"length shorter than the total carries", [](auto& f) { f[0].data[7] = 2; }},
      {"short frame", [](auto& f) { f[2].length = 7; }},
      {"no first frame", [](auto& f) { f.erase(f.begin()); }},
  };
  for (const row& r : rows) {
    std::vector<can_packet> f = Frames(Mail(12));
    r.spoil(f);
    EXPECT_TRUE(Assemble(f).empty()) << r.what;
    // The next good mail is assembled whole.
    can_mail good = Mail(7, 3);
    std::vector<can_mail> got = Assemble(Frames(good));
    ASSERT_EQ(got.size(), 1u) << r.what;
    EXPECT_TRUE(Same(got[0], good)) << r.what;
  }
}

TEST_F(MailTest, TwentyOneBytesAreAbandoned) {
  // Built by hand: a sender that claims 21 bytes in six frames.
  std::vector<can_packet> f;
  f.push_back(Packet(CAN_MAIL_ID, {0x82, 1, 6, 1, 0, 0, 0, 21}));
  for (uint8_t k = 2; k <= 6; ++k) f.push_back(Packet(CAN_MAIL_ID, {0x82, k, 6, 1, 2, 3, 4, 5}));
  EXPECT_TRUE(Assemble(f).empty());
  EXPECT_FALSE(rx.assembling());
}

TEST_F(MailTest, FirstFrameWithBit4IsRefused) {
  std::vector<can_packet> f = Frames(Mail(3));
  f[0].data[0] |= 0x10;
  can_mail m = Mail(9);
  EXPECT_EQ(rx.assemble_mail(f[0], &m), 0u);
  EXPECT_EQ(m.length, 0);
  EXPECT_FALSE(rx.assembling());
}

}  // namespace
