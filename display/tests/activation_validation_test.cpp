// One activation code through preparation, validation and activation: the
// refusals with their NTCIP errors, and what a successful activation makes
// of the running message and the objects that describe it.
#include "display/tests/activation_fixture.h"

namespace {

class ValidationTest : public ActivationTest {
 protected:
  void SetUp() override {
    ActivationTest::SetUp();
    crc1_ = StoreChangeable(1, "A", 10);
    crc2_ = StoreChangeable(2, "B", 20, 1);
  }
  // Preparation and validation alone, as the agent's check does.
  uint32_t Check(const Bytes& code) {
    uint32_t r = 0;
    InThread([&] { r = display_check_activation(code.data(), static_cast<uint32_t>(code.size())); });
    return r;
  }
  uint16_t crc1_ = 0, crc2_ = 0;
};

TEST_F(ValidationTest, RefusalsGiveTheirNtcipError) {
  SetNv(nv::currentBufferRunTimePriority, 50);
  const msg_row schedule{true, nv::scheduleMessageMultiString, nv::scheduleMessageOwner, nv::scheduleMessageCRC,
                         nv::scheduleMessageBeacon, nv::scheduleMessagePixelService,
                         nv::scheduleMessageRunTimePriority, nv::scheduleMessageStatus};
  WriteRow(schedule, "C", MSG_STATUS_NOT_USED, 0x7777);
  WriteRow(msg_main_row(2), "C", MSG_STATUS_MODIFYING, 0);
  Bytes eleven = Code(3, 1, crc1_);
  eleven.pop_back();
  struct Case {
    const char* what;
    Bytes code;
    uint32_t result;
  } cases[] = {
      {"11 bytes", eleven, ACTIVATE_OTHER},
      {"no bytes", {}, ACTIVATE_OTHER},
      {"memory type 0", Code(0, 1, crc1_), ACTIVATE_MEMORY_TYPE},
      {"memory type other", Code(1, 1, crc1_), ACTIVATE_MEMORY_TYPE},
      {"memory type 8", Code(8, 1, crc1_), ACTIVATE_MEMORY_TYPE},
      {"changeable 0", Code(3, 0, crc1_), ACTIVATE_MESSAGE_NUMBER},
      {"changeable 501", Code(3, 501, crc1_), ACTIVATE_MESSAGE_NUMBER},
      {"not valid", Code(3, 3, 0), ACTIVATE_MESSAGE_STATUS},
      {"wrong CRC", Code(3, 1, crc1_ ^ 1), ACTIVATE_MESSAGE_CRC},
      {"schedule whatever its status", Code(6, 1, 0), ACTIVATE_NONE},
      {"schedule with its row's CRC", Code(6, 1, 0x7777), ACTIVATE_MESSAGE_CRC},
      {"blank with a CRC", Code(7, 200, 5), ACTIVATE_MESSAGE_CRC},
      {"priority below the running message", Code(3, 1, crc1_, 49), ACTIVATE_PRIORITY},
      {"equal priority", Code(3, 1, crc1_, 50), ACTIVATE_NONE},
  };
  for (const Case& c : cases) EXPECT_EQ(Check(c.code), c.result) << c.what;

  // The tolerant mode checks no CRC.
  SetNv(nv::quorSpecialFeatureSet, 0x20);
  EXPECT_EQ(Check(Code(3, 1, crc1_ ^ 1)), ACTIVATE_NONE);
  EXPECT_EQ(Check(Code(7, 200, 5)), ACTIVATE_NONE);
}

TEST_F(ValidationTest, EachRefusalIsRecordedAndTheRunningMessageStays) {
  const uint16_t crc4 = StoreChangeable(4, "C", 50);
  ASSERT_EQ(Activate(Code(3, 4, crc4, 255, 30)), ACTIVATE_NONE);
  const Bytes source = NvBytes(nv::dmsMsgTableSource);
  const uint16_t bad = StoreChangeable(5, "A[fo1,0000]");
  struct Case {
    const char* what;
    Bytes code;
    uint32_t error, syntax, position;
  } cases[] = {
      {"memory type", Code(9, 1, crc1_), ACTIVATE_MEMORY_TYPE, 2, 0},
      {"message number", Code(4, 9, crc1_), ACTIVATE_MESSAGE_NUMBER, 2, 0},
      {"CRC", Code(3, 1, crc2_), ACTIVATE_MESSAGE_CRC, 2, 0},
      {"priority", Code(3, 1, crc1_, 49), ACTIVATE_PRIORITY, 2, 0},
      {"MULTI syntax", Code(3, 5, bad), ACTIVATE_SYNTAX_MULTI, 13, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetVol(vol::shortErrorStatus, 0);
    EXPECT_EQ(Activate(c.code), c.error);
    EXPECT_EQ(Nv(nv::dmsActivateMsgError), c.error);
    EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), c.syntax);
    EXPECT_EQ(Nv(nv::dmsMultiSyntaxErrorPosition), c.position);
    EXPECT_EQ(Vol(vol::shortErrorStatus) & 0x80, 0x80u);
    EXPECT_EQ(Running(), "C");
    EXPECT_EQ(NvBytes(nv::dmsMsgTableSource), source);
    EXPECT_EQ(Nv(nv::currentBufferRunTimePriority), 50u);
    EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 30u);
  }
}

TEST_F(ValidationTest, BlankMessagesHaveTheirNumberAsPriority) {
  for (uint32_t tolerant : {0u, 0x20u}) {
    SetNv(nv::quorSpecialFeatureSet, tolerant);
    CMessageActivation a;
    const Bytes code = Code(7, 200, 0);
    uint32_t r = 0;
    InThread([&] { r = display_->PrepareActivation(code.data(), 12, &a); });
    EXPECT_EQ(r, ACTIVATE_NONE);
    EXPECT_EQ(a.m_dwRunTimePriority, tolerant ? 100u : 200u);
    EXPECT_EQ(a.m_dwStatus, MSG_STATUS_VALID);
    EXPECT_EQ(a.m_dwMultiLength, 0u);
    EXPECT_NE(a.m_pStoredText, nullptr);  // empty, not absent
  }
}

TEST_F(ValidationTest, SyntaxErrorIsRecordedWithItsPositionAndTheMessageStays) {
  EXPECT_EQ(Activate(Code(3, 1, crc1_, 255, 30)), ACTIVATE_NONE);
  const uint32_t state = display_->m_dwDisplayState;
  const uint16_t bad = StoreChangeable(3, "AB[xx]C");
  SetVol(vol::shortErrorStatus, 0);
  EXPECT_EQ(Activate(Code(3, 3, bad)), ACTIVATE_SYNTAX_MULTI);
  EXPECT_EQ(Nv(nv::dmsActivateMsgError), ACTIVATE_SYNTAX_MULTI);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), 3u);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxErrorPosition), 2u);  // the tag's "["
  EXPECT_EQ(Vol(vol::shortErrorStatus) & 0x80, 0x80u);
  // The running message, its row, priority and time are as they were.
  EXPECT_EQ(Running(), "A");
  EXPECT_EQ(display_->m_dwDisplayState, state);
  EXPECT_EQ(RowText(msg_main_row(0), nv::dmsMessageMultiString(0)), "A");
  EXPECT_EQ(Nv(nv::currentBufferRunTimePriority), 10u);
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 30u);
  uint32_t n = 0;
  const uint8_t* p = db_->GetString(nv::currentBufferMultiString.offset, 4, db_->mib_nv, &n);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), n), "A");

  // Every other refusal leaves the position at 0.
  EXPECT_EQ(Activate(Code(3, 1, crc1_ ^ 1)), ACTIVATE_MESSAGE_CRC);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), 2u);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxErrorPosition), 0u);
  EXPECT_EQ(Running(), "A");
}

TEST_F(ValidationTest, ActivationDescribesTheRunningMessage) {
  SetVol(vol::shortErrorStatus, 0x80);
  SetVol(vol::vestrelStatusBits, 0x10);
  SetNv(nv::dmsGraphicStatus(3), 5);
  SetNv(nv::dmsGraphicStatus(4), 6);
  SetNv(nv::defaultPageOnTime, 25);
  SetNvBytes(nv::defaultForegroundRGB, {9, 8, 7, 6});
  db_->SetString(vol::currentBufferOverride.offset, 4, "x", 1, db_->mib_v, 0);
  const Bytes code = Code(3, 2, crc2_, 100, 45, {10, 1, 2, 3});
  db_->SetString(vol::dmsActivateMessage.offset, 4, code.data(), 12, db_->mib_v, 0);

  EXPECT_EQ(Activate(code, 9, 7), ACTIVATE_NONE);
  EXPECT_EQ(Nv(nv::dmsActivateMsgError), ACTIVATE_NONE);
  EXPECT_EQ(Vol(vol::shortErrorStatus) & 0x80, 0u);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), 2u);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxErrorPosition), 0u);
  EXPECT_EQ(VolCode(vol::dmsMessageCodeOfActivationError), code);

  // The current-buffer row is the message's row.
  EXPECT_EQ(NvBytes(nv::currentBufferMultiString), B("B"));
  EXPECT_EQ(NvBytes(nv::currentBufferOwner), B("tmc"));
  EXPECT_EQ(Nv(nv::currentBufferCRC), crc2_);
  EXPECT_EQ(Nv(nv::currentBufferBeacon), 1u);
  EXPECT_EQ(Nv(nv::currentBufferPixelService), 0u);
  EXPECT_EQ(Nv(nv::currentBufferRunTimePriority), 20u);
  EXPECT_EQ(Nv(nv::currentBufferStatus), 4u);
  EXPECT_EQ(VolBytes(vol::currentBufferOverride), "");
  EXPECT_EQ(NvBytes(nv::dmsMsgTableSource), (Bytes{3, 0, 2, static_cast<uint8_t>(crc2_ >> 8),
                                                  static_cast<uint8_t>(crc2_)}));
  EXPECT_EQ(Nv(nv::dmsMsgRequesterID), 0x0A010203u);
  EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 9u);
  EXPECT_EQ(Vol(vol::quorActivationReason), 7u);
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 45u);
  EXPECT_EQ(Vol(vol::vestrelStatusBits), 0x14u);
  EXPECT_EQ(Nv(nv::dmsGraphicStatus(3)), 4u);
  EXPECT_EQ(Nv(nv::dmsGraphicStatus(4)), 6u);
  EXPECT_EQ(Nv(nv::defaultPageOnTimeActivate), 25u);
  EXPECT_EQ(Nv(nv::defaultFontActivate), 1u);
  EXPECT_EQ(NvBytes(nv::defaultForegroundRGBActivate), (Bytes{9, 8, 7}));
  EXPECT_EQ(NvBytes(nv::defaultBackgroundRGBActivate), (Bytes{0}));

  // The display task starts the message (its own copy of the text).
  EXPECT_EQ(Running(), "B");
  EXPECT_EQ(display_->m_pRunningMulti, display_->m_Message.m_text);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_START_MESSAGE);
  EXPECT_EQ(display_->m_byPageCount, 1);
  EXPECT_EQ(display_->m_byBeaconRequest, 1);

  // A second activation toggles the bit back; loopback and no address
  // leave no requester.
  EXPECT_EQ(Activate(Code(3, 1, crc1_, 255, 0xFFFF, {127, 0, 0, 1})), ACTIVATE_NONE);
  EXPECT_EQ(Vol(vol::vestrelStatusBits), 0x10u);
  EXPECT_EQ(Nv(nv::dmsMsgRequesterID), 0u);
  EXPECT_EQ(display_->m_byBeaconRequest, 0);
}

TEST_F(ValidationTest, BlankActivationBlanksTheSign) {
  EXPECT_EQ(Activate(Code(3, 1, crc1_)), ACTIVATE_NONE);
  EXPECT_EQ(Activate(Code(7, 3, 0)), ACTIVATE_NONE);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_BLANK);
  EXPECT_EQ(Running(), "");
  EXPECT_EQ(Nv(nv::currentBufferRunTimePriority), 3u);
  EXPECT_EQ(NvBytes(nv::dmsMsgTableSource), (Bytes{7, 0, 3, 0, 0}));
}

TEST_F(ValidationTest, TextLongerThanTheRunningMessageHoldsIsRefused) {
  // Shown cut it would not be the message its CRC names.
  const std::string text(MULTI_TEXT_MAX + 1, 'A');
  const msg_row row = msg_volatile_row(0);
  WriteRow(row, text, MSG_STATUS_VALID,
           message_crc(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()), 0, 0));
  const uint16_t crc = static_cast<uint16_t>(RowValue(row, row.crc));
  EXPECT_EQ(Activate(Code(4, 1, crc)), ACTIVATE_SYNTAX_MULTI);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), 5u);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxErrorPosition), MULTI_TEXT_MAX);
}

}  // namespace
