// Overheight detectors on a simulated DC I/O board: a trip shows the
// emergency (or a chosen) message through the detector's own activation
// slot, a release clears it, and the detector follows the board's health.
#include <memory>
#include <string>
#include <vector>

#include "display/codes/msg_codes.h"
#include "peripherals/devices/dcio.h"
#include "peripherals/devices/overheight.h"
#include "peripherals/tests/task_fixture.h"
#include "sim/can/field_board.h"

namespace {

using bytes = std::vector<uint8_t>;

class OverheightTest : public TaskFixture {
 protected:
  static constexpr uint16_t kBoardType = 52;

  void SetUp() override {
    SetUpFieldDevices();
    // The emergency message: memory type 3, message 7, CRC 0x1234.
    SetNvBytes(nv::quorEmergencyMessage, {3, 0, 7, 0x12, 0x34});
    SetNv(nv::dmsMessageCRC(11), 0xBEEF);
    io_ = std::make_unique<sim::field_board>(board::q5_wire(), 0x42401, 5, true);
  }
  void TearDown() override {
    io_.reset();
    TaskFixture::TearDown();
  }
  // Board in slot 0 (port 3 inputs), then the detector records given.
  void Begin(const std::vector<std::pair<uint16_t, std::string>>& detectors) {
    Record(0, kBoardType, "42401,F0,FF,F0,F0,0,0");
    uint32_t slot = 1;
    for (const auto& d : detectors) Record(slot++, d.first, d.second.c_str());
    Start(3, false);
    Steps(60);
  }
  COverheightDetector* Detector(uint16_t type) { return dynamic_cast<COverheightDetector*>(Live(type)); }
  static void SetNvBytes(db_object o, const bytes& b) {
    Db().SetString(o.offset, o.width, b.data(), static_cast<uint32_t>(b.size()), Db().mib_nv, DB_NO_VALIDATE);
  }
  static void SetVBytes(db_object o, const bytes& b) {
    Db().SetString(o.offset, o.width, b.data(), static_cast<uint32_t>(b.size()), Db().mib_v, DB_NO_VALIDATE);
  }
  static bytes VBytes(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(o.offset, o.width, Db().mib_v, &n);
    return p ? bytes(p, p + n) : bytes();
  }
  static bytes Code(uint8_t memory_type, uint16_t number, uint16_t crc) {
    CMsgActivationCode c;
    c.m_wDuration = 65535;
    c.m_byPriority = 255;
    c.m_byMemoryType = memory_type;
    c.m_wMessageNumber = number;
    c.m_wCRC = crc;
    c.Encode();
    return bytes(c.m_encoded, c.m_encoded + MSG_ACTIVATION_CODE_SIZE);
  }
  static bytes Cleared() { return bytes(MSG_ACTIVATION_CODE_SIZE, 0); }
  void Input(uint32_t point, bool on) {
    io_->set_input(point, on);
    Steps(6);
  }

  std::unique_ptr<sim::field_board> io_;
};

TEST_F(OverheightTest, NamesOfTheDetectors) {
  EXPECT_STREQ(COverheightDetector::NameOfType(500), "OVERHEIGHT01");
  EXPECT_STREQ(COverheightDetector::NameOfType(501), "OVERHEIGHT02");
  EXPECT_EQ(COverheightDetector::NameOfType(502), nullptr);
  EXPECT_EQ(COverheightDetector::TypeOfName("OVERHEIGHT02"), 501);
  EXPECT_EQ(COverheightDetector::TypeOfName("OVERHEIGHT03"), 0);
}

TEST_F(OverheightTest, TripShowsTheMessageInTheDetectorsSlotAndReleaseClearsIt) {
  struct Case {
    uint16_t type;
    const char* text;  // point (hex), board type (hex), inverted, message
    uint32_t point;
    bool trip_level;
    bytes code;
  } cases[] = {
      {500, "18,34,0,0", 24, true, Code(3, 7, 0x1234)},  // the emergency message
      {501, "19,34,0,C", 25, true, Code(3, 12, 0xBEEF)},  // changeable message 12
      {500, "1A,34,1,0", 26, false, Code(3, 7, 0x1234)},  // active low
  };
  Begin({});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const uint32_t slot = c.type - 500;
    SetVBytes(vol::activationSlotCode(0), {});
    SetVBytes(vol::activationSlotCode(1), {});
    Input(c.point, !c.trip_level);
    InThread([&] { ASSERT_EQ(task_->CreatePeripheral(c.type, c.text), 1); });
    Steps(6);
    COverheightDetector* d = Detector(c.type);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ActivationState(), COverheightDetector::IDLE);
    EXPECT_EQ(V(vol::auxIOPortValue(d->StatusRow())), 0u);
    EXPECT_TRUE(VBytes(vol::activationSlotCode(slot)).empty());

    Input(c.point, c.trip_level);
    EXPECT_EQ(d->m_byState, PERIPHERAL_VALID);
    EXPECT_EQ(d->ActivationState(), COverheightDetector::ACTIVE);
    EXPECT_EQ(V(vol::auxIOPortValue(d->StatusRow())), 1u);
    EXPECT_EQ(VBytes(vol::activationSlotCode(slot)), c.code);
    EXPECT_EQ(V(vol::activationSlotSourceMode(slot)), 1u);
    EXPECT_EQ(V(vol::activationSlotReason(slot)), 6u);
    EXPECT_TRUE(VBytes(vol::activationSlotCode(1 - slot)).empty()) << "the other detector's slot";

    Input(c.point, !c.trip_level);
    EXPECT_EQ(d->ActivationState(), COverheightDetector::IDLE);
    EXPECT_EQ(V(vol::auxIOPortValue(d->StatusRow())), 0u);
    EXPECT_EQ(VBytes(vol::activationSlotCode(slot)), Cleared());
    InThread([&] { task_->Mediator().Remove(c.type); });
  }
}

TEST_F(OverheightTest, MissingEmergencyMessageStillCountsAsActive) {
  SetNvBytes(nv::quorEmergencyMessage, {});
  const bytes before = Code(3, 99, 1);
  SetVBytes(vol::activationSlotCode(0), before);
  Begin({{500, "18,34,0,0"}});
  COverheightDetector* d = Detector(500);
  ASSERT_NE(d, nullptr);
  trace_capture capture;
  Input(24, true);
  EXPECT_NE(capture.text().find("Error reading quorEmergencyMessage\n"), std::string::npos);
  EXPECT_EQ(d->ActivationState(), COverheightDetector::ACTIVE);
  EXPECT_EQ(VBytes(vol::activationSlotCode(0)), before);
  Input(24, false);
  EXPECT_EQ(VBytes(vol::activationSlotCode(0)), Cleared());
}

TEST_F(OverheightTest, ChosenMessageNeedsNoEmergencyMessage) {
  const bytes emergencies[] = {{}, {3, 0, 7}, {3, 0, 7, 0x12, 0x34, 0}};
  for (const bytes& e : emergencies) {
    SCOPED_TRACE(e.size());
    SetNvBytes(nv::quorEmergencyMessage, e);
    Begin({{501, "19,34,0,C"}});
    trace_capture capture;
    Input(25, true);
    EXPECT_EQ(VBytes(vol::activationSlotCode(1)), Code(3, 12, 0xBEEF));
    EXPECT_EQ(capture.text().find("Error reading quorEmergencyMessage"), std::string::npos);
    Input(25, false);
    EXPECT_EQ(VBytes(vol::activationSlotCode(1)), Cleared());
    TearDown();
    SetUp();
  }
}

TEST_F(OverheightTest, RemovingATrippedDetectorClearsItsSlot) {
  Begin({{501, "18,34,0,0"}});
  ASSERT_NE(Detector(501), nullptr);
  Input(24, true);
  ASSERT_EQ(VBytes(vol::activationSlotCode(1)), Code(3, 7, 0x1234));
  InThread([&] { task_->Mediator().Remove(501); });
  EXPECT_EQ(Detector(501), nullptr);
  EXPECT_EQ(VBytes(vol::activationSlotCode(1)), Cleared());
  Input(24, false);
  Input(24, true);
  EXPECT_EQ(VBytes(vol::activationSlotCode(1)), Cleared()) << "the board no longer calls it";
}

TEST_F(OverheightTest, DetectorWithoutItsBoardIsRefusedAndFollowsBoardHealth) {
  InThread([&] {
    COverheightDetector d(500);
    d.m_wConfigSlot = 0;
    EXPECT_EQ(d.Init(24, nullptr, 0, 0), 0);
    EXPECT_EQ(d.m_byState, PERIPHERAL_INIT_ERROR);
  });
  Begin({{500, "18,35,0,0"}});  // type 53: no such board live
  EXPECT_EQ(Detector(500), nullptr);
  InThread([&] { EXPECT_EQ(task_->CreatePeripheral(501, "18,34,0,0"), 1); });
  COverheightDetector* d = Detector(501);
  ASSERT_NE(d, nullptr);
  Steps(10);
  io_->set_silent(true);
  Steps(DCIO::SILENT_POLLS * DCIO::POLL_INTERVAL + 20);
  ASSERT_EQ(Live(kBoardType)->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_EQ(d->m_byState, PERIPHERAL_COMM_ERROR);
  io_->set_silent(false);
  Steps(60);
  EXPECT_EQ(d->m_byState, PERIPHERAL_VALID);
}

}  // namespace
