// The PMPP link with an agent on the CCP port, the test as the central
// system: individual requests answered at once from the station's own
// address, all-stations and group requests held until a poll, and bad
// input dropped with a count.
#include "comm/tests/pmpp_fixture.h"

namespace {

using namespace pmt;

const central::frame* OnlySnmp(const std::vector<central::frame>& frames) {
  return frames.size() == 1 && frames[0].fcs_ok && !frames[0].info.empty() && frames[0].info[0] == '\xC1'
             ? &frames[0]
             : nullptr;
}

TEST_F(PmppTest, IndividualRequestIsAnsweredFromTheStationAddress) {
  for (uint8_t station : {1, 31, 62, 64, 100, 255}) {
    SCOPED_TRACE(static_cast<int>(station));
    TearDown();
    SetUp();
    CreateAgent(station);
    auto frames = Exchange(central::SnmpFrame(station, false, GetSysDescr()));
    const central::frame* f = OnlySnmp(frames);
    ASSERT_NE(nullptr, f) << frames.size();
    EXPECT_EQ(station, f->address);
    EXPECT_FALSE(f->group);
    EXPECT_EQ(central::kUi, f->control);
    EXPECT_TRUE(IsResponse(f->info.substr(1)));
    EXPECT_EQ(1u, link_->count.frames_received);
    EXPECT_EQ(1u, link_->count.frames_sent);
  }
}

TEST_F(PmppTest, ControlBytesThatAreServedAndIgnored) {
  CreateAgent(5);
  const std::string info = "\xC1" + GetSysDescr();
  struct row {
    uint8_t control;
    bool answered;
  } rows[] = {{0x13, true}, {0x03, true}, {0x93, false}, {0x33, false} /* a poll needs 0xE7 */};
  for (const row& r : rows) {
    auto frames = Exchange(central::Frame(5, false, r.control, info));
    EXPECT_EQ(r.answered ? 1u : 0u, frames.size()) << static_cast<int>(r.control);
  }
  EXPECT_EQ(2u, link_->count.frames_bad_control);
}

TEST_F(PmppTest, OtherStationsAndUnlistedGroupsAreIgnoredWithACount) {
  db_->SetValue(nv::pmppGroupAddress(3).offset, 4, 40, db_->mib_nv, DB_NO_VALIDATE);
  db_->SetValue(nv::pmppGroupAddress(4).offset, 4, 140, db_->mib_nv, DB_NO_VALIDATE);
  CreateAgent(7);
  EXPECT_TRUE(Exchange(central::SnmpFrame(8, false, GetSysDescr())).empty());
  EXPECT_TRUE(Exchange(central::SnmpFrame(41, true, GetSysDescr())).empty());
  EXPECT_EQ(2u, link_->count.frames_other_station);
  // Listed groups, below and above 64, are served; their answers wait.
  EXPECT_TRUE(Exchange(central::SnmpFrame(40, true, GetSysDescr(1, 11))).empty());
  EXPECT_TRUE(OnlySnmp(Exchange(central::PollFrame(7))));
  EXPECT_TRUE(Exchange(central::SnmpFrame(140, true, GetSysDescr(1, 12))).empty());
  EXPECT_TRUE(OnlySnmp(Exchange(central::PollFrame(7))));
  EXPECT_EQ(2u, link_->count.frames_other_station);
}

TEST_F(PmppTest, AllStationsAnswerIsHeldWholeUntilThePoll) {
  CreateAgent(100);
  // Seven copies of sysDescr make an answer well over 255 bytes.
  const std::string request = GetSysDescr(7);
  auto frames = Exchange(central::SnmpFrame(63, false, request));
  EXPECT_TRUE(frames.empty());
  EXPECT_NE(0u, link_->held_length);

  frames = Exchange(central::PollFrame(100));
  const central::frame* f = OnlySnmp(frames);
  ASSERT_NE(nullptr, f);
  EXPECT_EQ(100u, f->address);
  const std::string answer = f->info.substr(1);
  ASSERT_TRUE(IsResponse(answer));
  EXPECT_GT(answer.size(), 255u);
  // The whole message: its own header says how long it is.
  EXPECT_EQ(answer.size(), pmpp_message_length(reinterpret_cast<const uint8_t*>(answer.data()),
                                               static_cast<uint32_t>(answer.size())));

  // The next poll finds nothing held: the empty answer.
  frames = Exchange(central::PollFrame(100));
  ASSERT_EQ(1u, frames.size());
  EXPECT_TRUE(frames[0].fcs_ok);
  EXPECT_EQ(central::kUi, frames[0].control);
  EXPECT_TRUE(frames[0].info.empty());
  EXPECT_EQ(2u, link_->count.polls);
}

TEST_F(PmppTest, MessageLengthComesFromItsHeaderWithinTheFrame) {
  CreateAgent(1);
  std::string message = GetSysDescr();
  // Bytes after the message are not part of it.
  EXPECT_TRUE(OnlySnmp(Exchange(central::SnmpFrame(1, false, message + "\x00\x00\xFF"))));
  // A header that claims more than the frame holds is refused whole.
  std::string claims_more = message;
  claims_more[1] = static_cast<char>(claims_more[1] + 4);
  EXPECT_TRUE(Exchange(central::SnmpFrame(1, false, claims_more)).empty());
  EXPECT_TRUE(Exchange(central::SnmpFrame(1, false, message.substr(0, 10))).empty());
  EXPECT_EQ(2u, link_->count.messages_malformed);
}

TEST_F(PmppTest, BadInputIsDroppedWithACountAndTheLinkGoesOn) {
  CreateAgent(100);
  const std::string good = central::SnmpFrame(100, false, GetSysDescr());
  // Every prefix of a good frame, each ended by a time-out.
  for (size_t n = 1; n < good.size(); ++n) {
    EXPECT_TRUE(Exchange(good.substr(0, n)).empty()) << n;
    rtos::advance(PMPP_MINIMUM_TIMEOUT + 2);
  }
  EXPECT_EQ(good.size() - 2, link_->count.frames_timed_out);
  std::string bad_fcs = good;
  bad_fcs[bad_fcs.size() - 3] ^= 0x40;
  EXPECT_TRUE(Exchange(bad_fcs).empty());
  EXPECT_EQ(1u, link_->count.fcs_errors);
  // Over the receive buffer, sent as a line paces it.
  const std::string over = "\x7E" + std::string(3000, '\x55') + "\x7E";
  for (size_t at = 0; at < over.size(); at += 200) EXPECT_TRUE(Exchange(over.substr(at, 200)).empty());
  EXPECT_EQ(1u, link_->count.frames_too_long);
  EXPECT_TRUE(Exchange(good.substr(0, good.size() - 1) + "\x7D\x7E").empty());
  EXPECT_EQ(1u, link_->count.frames_aborted);
  EXPECT_TRUE(Exchange(central::Frame(100, false, central::kUi, "\x99\x01\x02")).empty());
  EXPECT_EQ(1u, link_->count.other_ipi_frames);
  EXPECT_TRUE(OnlySnmp(Exchange(good)));
}

TEST_F(PmppTest, AFullQueueDropsBytesWithACount) {
  CreateAgent(1);
  {
    rtos::cpu_scope s;
    for (uint32_t i = 0; i < PMPP_FRAME_SIZE + 5; ++i) pmpp_byte_receive(link_, 0x55);
  }
  EXPECT_EQ(5u, link_->count.bytes_dropped);
  rtos::settle();
  EXPECT_EQ(PMPP_FRAME_SIZE, link_->count.bytes_outside);
}

// Received bytes report activity to the front panel once in 51 (one count
// for all PMPP links, so any 153 bytes in a row make three reports).
uint32_t g_activity_reports = 0;

TEST_F(PmppTest, EveryFiftyFirstByteReportsActivity) {
  CreateAgent(1);
  ppp_set_activity_hook([] { ++g_activity_reports; });
  g_activity_reports = 0;
  {
    rtos::cpu_scope s;
    for (uint32_t i = 0; i < 51 * 3; ++i) pmpp_byte_receive(link_, 0x55);
  }
  rtos::settle();
  ppp_set_activity_hook(nullptr);
  EXPECT_EQ(3u, g_activity_reports);
}

// PMPP over TCP: the server hands the stream in byte by byte and takes each
// answer frame whole.
std::string g_stream_out;
int take_frame(const uint8_t* frame, uint32_t length) {
  g_stream_out.append(reinterpret_cast<const char*>(frame), length);
  return 1;
}

TEST_F(PmppTest, AStreamOfBytesIsAnsweredInWholeFrames) {
  CreateAgent(9);
  g_stream_out.clear();
  const std::string wire = central::SnmpFrame(9, false, GetSysDescr());
  {
    rtos::cpu_scope s;
    pmpp_set_port_hooks(link_, nullptr, nullptr, take_frame);
    for (char c : wire) pmpp_byte_receive(link_, static_cast<uint8_t>(c));
  }
  rtos::settle();
  EXPECT_TRUE(OnlySnmp(decoder_.feed(g_stream_out)));
  EXPECT_EQ(0u, link_->count.bytes_sent);
}

}  // namespace
