// PMPP framing checked against frames the central system's end builds from
// the protocol's layout on its own: address fields below and above 64 and
// of groups, stuffing, FCS; and the receiver's refusal of every kind of bad
// frame.
#include <gtest/gtest.h>

#include <cstring>

#include "comm/pmpp/pmpp_frame.h"
#include "sim/pmpp/pmpp_central.h"

namespace {

namespace central = sim::pmpp;

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

std::string Feed(pmpp_deframer* d, const std::string& bytes, std::vector<pmpp_rx_result>* results) {
  std::string frame;
  for (char c : bytes) {
    const pmpp_rx_result r = pmpp_deframe_byte(d, static_cast<uint8_t>(c));
    if (r != PMPP_RX_MORE) results->push_back(r);
    if (r == PMPP_RX_FRAME) frame.assign(reinterpret_cast<const char*>(d->buffer), d->length);
  }
  return frame;
}

TEST(PmppAddress, FieldsAsTheLineCarriesThem) {
  struct row {
    unsigned address;
    std::string field;
  } rows[] = {
      {0, Bytes({0x01})},        {1, Bytes({0x05})},        {31, Bytes({0x7D})},
      {62, Bytes({0xF9})},       {63, Bytes({0xFD})},       {64, Bytes({0x00, 0x03})},
      {100, Bytes({0x90, 0x03})}, {127, Bytes({0xFC, 0x03})}, {128, Bytes({0x00, 0x05})},
      {255, Bytes({0xFC, 0x07})},
  };
  for (const row& r : rows) {
    uint8_t out[2] = {};
    const uint32_t n = pmpp_address_field(static_cast<uint8_t>(r.address), out);
    EXPECT_EQ(r.field, std::string(reinterpret_cast<char*>(out), n)) << r.address;
    EXPECT_EQ(r.field, central::AddressField(r.address, false)) << r.address;
    // Individual and group fields of the central end parse back.
    for (bool group : {false, true}) {
      const std::string f = central::AddressField(r.address, group);
      const auto* p = reinterpret_cast<const uint8_t*>(f.data());
      pmpp_address a{};
      ASSERT_TRUE(pmpp_address_parse(p, p + f.size(), &a)) << r.address;
      EXPECT_EQ(r.address, a.address);
      EXPECT_EQ(group ? 1 : 0, a.group) << r.address;
      EXPECT_EQ(f.size(), a.length);
      // A two-byte field cut after its first byte is refused.
      if (f.size() == 2) EXPECT_FALSE(pmpp_address_parse(p, p + 1, &a));
    }
  }
}

TEST(PmppFrameWriter, FramesMatchTheCentralEndsByteForByte) {
  const std::string infos[] = {
      "", Bytes({0xC1, 0x30, 0x03, 0x02, 0x01, 0x00}),
      // Only the flag and the escape are stuffed; control characters go as they are.
      Bytes({0xC1, 0x7E, 0x7D, 0x11, 0x13, 0x00, 0x20, 0x5E, 0x5D, 0xFF}),
  };
  for (unsigned address : {1u, 31u, 63u, 64u, 100u, 255u}) {
    for (const std::string& info : infos) {
      uint8_t buffer[64 + 8];
      std::memset(buffer, 0xA5, sizeof buffer);
      pmpp_frame_writer w{};
      pmpp_frame_open(&w, buffer, 64, static_cast<uint8_t>(address), PMPP_CONTROL);
      for (char c : info) pmpp_frame_put(&w, static_cast<uint8_t>(c));
      ASSERT_TRUE(pmpp_frame_close(&w));
      EXPECT_EQ(central::Frame(address, false, central::kUi, info),
                std::string(reinterpret_cast<char*>(buffer), w.length))
          << address;
      for (size_t i = w.length; i < sizeof buffer; ++i) ASSERT_EQ(0xA5, buffer[i]) << address << " at " << i;
    }
  }
}

TEST(PmppFrameWriter, AFrameThatDoesNotFitIsRefusedWithinItsBuffer) {
  uint8_t buffer[32 + 8];
  std::memset(buffer, 0xA5, sizeof buffer);
  pmpp_frame_writer w{};
  pmpp_frame_open(&w, buffer, 32, 1, PMPP_CONTROL);
  for (int i = 0; i < 40; ++i) pmpp_frame_put(&w, 0x7E);
  EXPECT_FALSE(pmpp_frame_close(&w));
  for (size_t i = 32; i < sizeof buffer; ++i) ASSERT_EQ(0xA5, buffer[i]) << i;
}

TEST(PmppDeframer, CentralFramesComeOutWhole) {
  for (unsigned address : {1u, 31u, 100u}) {
    const std::string info = Bytes({0xC1, 0x30, 0x02, 0x7E, 0x7D});
    pmpp_deframer d{};
    std::vector<pmpp_rx_result> results;
    const std::string got = Feed(&d, central::Frame(address, true, central::kUi, info), &results);
    EXPECT_EQ(std::vector<pmpp_rx_result>{PMPP_RX_FRAME}, results);
    EXPECT_EQ(central::AddressField(address, true) + "\x13" + info, got);
  }
}

TEST(PmppDeframer, EveryPrefixOfAFrameGivesNothing) {
  const std::string wire = central::SnmpFrame(100, false, Bytes({0x30, 0x03, 0x7E, 0x7D, 0x01}));
  for (size_t n = 0; n < wire.size(); ++n) {
    pmpp_deframer d{};
    std::vector<pmpp_rx_result> results;
    Feed(&d, wire.substr(0, n), &results);
    EXPECT_TRUE(results.empty()) << n;
    // A time-out drops what came; the next frame is whole.
    pmpp_deframe_reset(&d);
    results.clear();
    Feed(&d, wire, &results);
    EXPECT_EQ(std::vector<pmpp_rx_result>{PMPP_RX_FRAME}, results) << n;
  }
}

TEST(PmppDeframer, BadFramesAreRefusedEachWithItsReason) {
  const std::string good = central::SnmpFrame(1, false, Bytes({0x30, 0x00}));
  std::string bad_fcs = good;
  bad_fcs[bad_fcs.size() - 2] ^= 0x01;
  std::string escape_at_end = good.substr(0, good.size() - 1) + "\x7D\x7E";
  std::string too_long = "\x7E" + std::string(PMPP_FRAME_SIZE + 10, 'x') + "\x7E";
  struct row {
    const char* name;
    std::string wire;
    std::vector<pmpp_rx_result> results;
  } rows[] = {
      {"noise before the flag", "ab" + good, {PMPP_RX_OUTSIDE, PMPP_RX_OUTSIDE, PMPP_RX_FRAME}},
      {"bad FCS", bad_fcs, {PMPP_RX_FCS_ERROR}},
      {"escape before the closing flag", escape_at_end, {PMPP_RX_ABORTED}},
      {"over the buffer", too_long, {PMPP_RX_TOO_LONG}},
      {"too short", Bytes({0x7E, 0x05, 0x13, 0x7E}), {PMPP_RX_SHORT}},
      {"back-to-back flags", "\x7E\x7E\x7E" + good.substr(1), {PMPP_RX_FRAME}},
  };
  for (const row& r : rows) {
    pmpp_deframer d{};
    std::vector<pmpp_rx_result> results;
    Feed(&d, r.wire, &results);
    EXPECT_EQ(r.results, results) << r.name;
    // The flag that ended the bad frame opens the next good one.
    results.clear();
    Feed(&d, good.substr(1), &results);
    EXPECT_EQ(std::vector<pmpp_rx_result>{PMPP_RX_FRAME}, results) << r.name;
  }
}

TEST(PmppMessageLength, TheBerHeaderBoundedByTheFrame) {
  std::string long_form = Bytes({0x30, 0x82, 0x01, 0x00}) + std::string(256, '\0');
  struct row {
    const char* name;
    std::string bytes;
    uint32_t length;
  } rows[] = {
      {"exact", Bytes({0x30, 0x03, 1, 2, 3}), 5},
      {"trailing bytes are not the message's", Bytes({0x30, 0x01, 1, 9, 9}), 3},
      {"header longer than the frame", Bytes({0x30, 0x05, 1, 2, 3}), 0},
      {"long form", long_form, 260},
      {"long form cut", long_form.substr(0, 259), 0},
      {"length bytes cut", Bytes({0x30, 0x82, 0x01}), 0},
      {"not a sequence", Bytes({0x04, 0x01, 0x00}), 0},
      {"empty", "", 0},
  };
  for (const row& r : rows)
    EXPECT_EQ(r.length, pmpp_message_length(reinterpret_cast<const uint8_t*>(r.bytes.data()),
                                            static_cast<uint32_t>(r.bytes.size())))
        << r.name;
}

}  // namespace
