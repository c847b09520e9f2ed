// The message tables: where each memory type keeps its rows, the message
// CRC, and the status pass that serves the managers' requests.
#include "display/tests/activation_fixture.h"

namespace {

using TablesTest = ActivationTest;

uint16_t Crc(const std::string& text, uint8_t beacon = 0, uint8_t pixel = 0) {
  return message_crc(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()), beacon,
                     pixel);
}

TEST(MessageCrc, WorkedExamples) {
  // Stored with the bytes of the X.25 value exchanged.
  EXPECT_EQ(Crc("abc"), 0x3B2F);
  EXPECT_EQ(Crc(""), 0x470F);
  // The standard's example: volatile message 5, no beacon, no pixel
  // service; its X.25 value is 0xF995.
  const uint16_t crc = Crc("[jp3]TEST [fl]Flashing[/fl]");
  EXPECT_EQ(crc, 0x95F9);
  CMsgIDCode id;
  id.Set(MEMORY_VOLATILE, 5, crc);
  EXPECT_EQ(std::vector<uint8_t>(id.m_encoded, id.m_encoded + 5), (std::vector<uint8_t>{0x04, 0x00, 0x05, 0x95, 0xF9}));
  // Beacon and pixel service take part, in that order.
  EXPECT_NE(Crc("abc", 1, 0), Crc("abc", 0, 1));
  EXPECT_NE(Crc("abc", 1, 0), Crc("abc"));
}

TEST_F(TablesTest, MessageNumbersEachMemoryTypeHolds) {
  struct Case {
    uint32_t mode;
    uint32_t permanent;  // mib_v.dmsNumPermanentMsg
    uint8_t type;
    uint16_t number;
    uint32_t result;
    uint32_t status_offset;  // where the row's status is, when found
  } cases[] = {
      {1, 2, 0, 1, ACTIVATE_MEMORY_TYPE, 0},
      {1, 2, 1, 1, ACTIVATE_MEMORY_TYPE, 0},
      {1, 2, 8, 1, ACTIVATE_MEMORY_TYPE, 0},
      {1, 2, 3, 0, ACTIVATE_MESSAGE_NUMBER, 0},
      {1, 2, 3, 1, ACTIVATE_NONE, 32982},
      {1, 2, 3, 500, ACTIVATE_NONE, 32982 + 499},
      {1, 2, 3, 501, ACTIVATE_MESSAGE_NUMBER, 0},
      {2, 2, 3, 550, ACTIVATE_NONE, 32982 + 549},
      {2, 2, 3, 551, ACTIVATE_MESSAGE_NUMBER, 0},
      {3, 2, 3, 550, ACTIVATE_NONE, 32982 + 549},
      {1, 2, 2, 1, ACTIVATE_NONE, 122},
      {1, 2, 2, 2, ACTIVATE_NONE, 123},
      {1, 2, 2, 3, ACTIVATE_MESSAGE_NUMBER, 0},
      {1, 5, 2, 3, ACTIVATE_NONE, 32982 + 500},
      {1, 5, 2, 5, ACTIVATE_NONE, 32982 + 502},
      {1, 5, 2, 6, ACTIVATE_MESSAGE_NUMBER, 0},
      {2, 5, 2, 2, ACTIVATE_NONE, 123},
      {2, 5, 2, 3, ACTIVATE_MESSAGE_NUMBER, 0},
      // A count beyond the table's rows names no row beyond it.
      {1, 80, 2, 52, ACTIVATE_NONE, 32982 + 549},
      {1, 80, 2, 53, ACTIVATE_MESSAGE_NUMBER, 0},
      {1, 2, 4, 0, ACTIVATE_MESSAGE_NUMBER, 0},
      {1, 2, 4, 4, ACTIVATE_NONE, 95},
      {1, 2, 4, 5, ACTIVATE_MESSAGE_NUMBER, 0},
      {1, 2, 5, 1, ACTIVATE_NONE, 33561},
      {1, 2, 5, 2, ACTIVATE_MESSAGE_NUMBER, 0},
      {1, 2, 6, 1, ACTIVATE_NONE, 33545},
      {1, 2, 6, 0, ACTIVATE_MESSAGE_NUMBER, 0},
      {1, 2, 7, 0, ACTIVATE_MESSAGE_NUMBER, 0},
      {1, 2, 7, 255, ACTIVATE_NONE, 0},
      {1, 2, 7, 256, ACTIVATE_MESSAGE_NUMBER, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " type " << int(c.type) << " number " << c.number);
    SetNv(nv::quorMessageTableMode, c.mode);
    SetVol(vol::dmsNumPermanentMsg, c.permanent);
    msg_row row{};
    EXPECT_EQ(msg_find_row(c.type, c.number, &row), c.result);
    if (c.status_offset) {
      EXPECT_EQ(row.status.offset, c.status_offset);
    }
  }
}

TEST_F(TablesTest, ValidationRequestGivesStatusValidAndTheCrc) {
  const msg_row row = msg_main_row(0);
  WriteRow(row, "ABC", MSG_STATUS_MODIFYING, 0);
  // Written as the agent does: announced, which raises the table's bit;
  // the next display step serves it.
  RunToStep(1);
  InThread([&] { db_->SetValue(row.status.offset, 1, MSG_STATUS_VALIDATE_REQ, db_->mib_nv, DB_NOTIFY); });
  RunToStep(2);
  EXPECT_EQ(RowValue(row, row.status), MSG_STATUS_VALID);
  EXPECT_EQ(RowValue(row, row.crc), Crc("ABC"));
  EXPECT_EQ(Nv(nv::dmsValidateMessageError), 2u);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), 2u);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxErrorPosition), 0u);
  EXPECT_EQ(Vol(vol::dmsNumChangeableMsg), 1u);
  EXPECT_EQ(Vol(vol::dmsFreeChangeableMemory), 748500u);
  EXPECT_EQ(Vol(vol::dmsNumVolatileMsg), 0u);
  EXPECT_EQ(Vol(vol::dmsFreeVolatileMemory), 6000u);
}

TEST_F(TablesTest, EachStatusIsServedOnce) {
  struct Case {
    uint8_t before, after;
  } cases[] = {
      {MSG_STATUS_NOT_USED, MSG_STATUS_NOT_USED},     {MSG_STATUS_MODIFYING, MSG_STATUS_MODIFYING},
      {MSG_STATUS_VALIDATING, MSG_STATUS_VALID},      {MSG_STATUS_VALID, MSG_STATUS_VALID},
      {MSG_STATUS_ERROR, MSG_STATUS_ERROR},           {MSG_STATUS_MODIFY_REQ, MSG_STATUS_MODIFYING},
      {MSG_STATUS_VALIDATE_REQ, MSG_STATUS_VALID},    {MSG_STATUS_NOT_USED_REQ, MSG_STATUS_NOT_USED},
      {0, MSG_STATUS_NOT_USED},                       {9, MSG_STATUS_NOT_USED},
      {200, MSG_STATUS_NOT_USED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.before));
    // The same request in a volatile row and a changeable row; a row that
    // is already valid keeps the CRC it has.
    const msg_row rows[] = {msg_volatile_row(2), msg_main_row(41)};
    for (const msg_row& row : rows) WriteRow(row, "AB", c.before, 0x1111);
    InThread([&] { display_->ProcessMessageTable(); });
    for (const msg_row& row : rows) {
      EXPECT_EQ(RowValue(row, row.status), c.after);
      const bool validated = c.before == MSG_STATUS_VALIDATING || c.before == MSG_STATUS_VALIDATE_REQ;
      EXPECT_EQ(RowValue(row, row.crc), validated ? Crc("AB") : 0x1111u);
    }
    const uint32_t valid = c.after == MSG_STATUS_VALID ? 1 : 0;
    EXPECT_EQ(Vol(vol::dmsNumVolatileMsg), valid);
    EXPECT_EQ(Vol(vol::dmsNumChangeableMsg), valid);
  }
}

TEST_F(TablesTest, RowsLeftHalfValidatedAreFinishedWhenTheTaskStarts) {
  // As a restart finds them: written before the task runs, nothing
  // announced, so no request bit raised.
  const msg_row req = msg_main_row(3), validating = msg_main_row(7), modify = msg_volatile_row(1);
  WriteRow(req, "ABC", MSG_STATUS_VALIDATE_REQ, 0);
  WriteRow(validating, "AB", MSG_STATUS_VALIDATING, 0);
  WriteRow(modify, "x", MSG_STATUS_MODIFY_REQ, 0);
  RunToStep(1);
  EXPECT_EQ(RowValue(req, req.status), MSG_STATUS_VALID);
  EXPECT_EQ(RowValue(req, req.crc), Crc("ABC"));
  EXPECT_EQ(RowValue(validating, validating.status), MSG_STATUS_VALID);
  EXPECT_EQ(RowValue(validating, validating.crc), Crc("AB"));
  EXPECT_EQ(RowValue(modify, modify.status), MSG_STATUS_MODIFYING);
  EXPECT_EQ(Vol(vol::dmsNumChangeableMsg), 2u);
  // And they take requests again.
  InThread([&] { db_->SetValue(req.status.offset, 1, MSG_STATUS_MODIFY_REQ, db_->mib_nv, DB_NOTIFY); });
  RunToStep(2);
  EXPECT_EQ(RowValue(req, req.status), MSG_STATUS_MODIFYING);
}

TEST_F(TablesTest, SyntaxErrorLeavesTheRowInErrorWithItsPosition) {
  struct Case {
    std::string text;
    uint32_t syntax, position;
    bool flagged;  // level-0 line and the message-error bit
    const char* line;
  } cases[] = {
      {"AB[xx]", 3, 2, false, "MULTI Error -> UNSUPPORTED_TAG At:2\n"},
      {"A[fo1,0000]B", 13, 1, true, "MULTI Error -> ERR_FONT_VERSION_ID At:1\n"},
      {"[fo9]A", 6, 0, false, "MULTI Error -> ERR_FONT_NOT_DEFINED At:0\n"},
      {"AB[jl]c", 7, 6, false, "MULTI Error -> ERR_CHAR_NOT_DEFINED At:6\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SetVol(vol::shortErrorStatus, 0);
    const msg_row row = msg_main_row(3);
    WriteRow(row, c.text, MSG_STATUS_VALIDATE_REQ, 0x2222);
    trace_set_level(0);
    trace_capture cap;
    InThread([&] { display_->ProcessMessageTable(); });
    EXPECT_EQ(RowValue(row, row.status), MSG_STATUS_ERROR);
    EXPECT_EQ(RowValue(row, row.crc), 0x2222u);
    EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), c.syntax);
    EXPECT_EQ(Nv(nv::dmsMultiSyntaxErrorPosition), c.position);
    EXPECT_EQ(Nv(nv::dmsValidateMessageError), 5u);
    EXPECT_EQ(Vol(vol::shortErrorStatus) & 0x80, c.flagged ? 0x80u : 0u);
    EXPECT_EQ(cap.contains(c.line), c.flagged);
    trace_set_level(1);
  }
  // A valid text afterwards clears the error objects and the bit.
  const msg_row row = msg_main_row(3);
  WriteRow(row, "A", MSG_STATUS_VALIDATE_REQ, 0);
  InThread([&] { display_->ProcessMessageTable(); });
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), 2u);
  EXPECT_EQ(Nv(nv::dmsValidateMessageError), 2u);
  EXPECT_EQ(Vol(vol::shortErrorStatus) & 0x80, 0u);
}

TEST_F(TablesTest, SpecialMessagesNamingAMessageThatGoesFallBackToBlank) {
  StoreChangeable(7, "A");
  StoreChangeable(8, "B");
  const std::vector<uint8_t> seven = {3, 0, 7, 0x12, 0x34};
  const std::vector<uint8_t> eight = {3, 0, 8, 0x12, 0x34};
  const std::vector<uint8_t> blank = {7, 0, 1, 0, 0};
  SetNvBytes(nv::dmsCommunicationsLossMessage, seven);
  SetNvBytes(nv::quorMessageRef(1), seven);
  SetNvBytes(nv::dmsEndDurationMessage, eight);
  const msg_row row = msg_main_row(6);
  InThread([&] { db_->SetValue(row.status.offset, 1, MSG_STATUS_NOT_USED_REQ, db_->mib_nv, DB_NOTIFY); });
  InThread([&] { display_->ProcessMessageTable(); });
  EXPECT_EQ(RowValue(row, row.status), MSG_STATUS_NOT_USED);
  EXPECT_EQ(NvBytes(nv::dmsCommunicationsLossMessage), blank);
  EXPECT_EQ(NvBytes(nv::quorMessageRef(1)), blank);
  EXPECT_EQ(NvBytes(nv::dmsEndDurationMessage), eight);
  EXPECT_EQ(Vol(vol::dmsNumChangeableMsg), 1u);
}

TEST_F(TablesTest, UpperRowsAreServedOnlyInThe550Mode) {
  const msg_row upper = msg_main_row(520);
  WriteRow(upper, "C", MSG_STATUS_VALIDATE_REQ, 0);
  SetVol(vol::dmsNumPermanentMsg, 40);
  InThread([&] { display_->ProcessMessageTable(); });
  EXPECT_EQ(RowValue(upper, upper.status), MSG_STATUS_VALIDATE_REQ);
  EXPECT_EQ(Vol(vol::dmsNumPermanentMsg), 40u);

  SetNv(nv::quorMessageTableMode, 2);
  InThread([&] { display_->ProcessMessageTable(); });
  EXPECT_EQ(RowValue(upper, upper.status), MSG_STATUS_VALID);
  EXPECT_EQ(Vol(vol::dmsNumPermanentMsg), 1u);
  EXPECT_EQ(Vol(vol::dmsNumChangeableMsg), 0u);
}

TEST_F(TablesTest, FullTablesHaveNoFreeMemoryLeft) {
  for (uint32_t k = 0; k < 4; ++k) WriteRow(msg_volatile_row(k), "A", MSG_STATUS_VALID, Crc("A"));
  for (uint16_t n = 1; n <= 500; ++n) StoreChangeable(n, "B");
  InThread([&] { display_->ProcessMessageTable(); });
  EXPECT_EQ(Vol(vol::dmsNumVolatileMsg), 4u);
  EXPECT_EQ(Vol(vol::dmsFreeVolatileMemory), 0u);
  EXPECT_EQ(Vol(vol::dmsNumChangeableMsg), 500u);
  EXPECT_EQ(Vol(vol::dmsFreeChangeableMemory), 0u);
}

TEST_F(TablesTest, ValidationNeverTouchesTheShownPicture) {
  Start("ABC");
  RunToStep(2);
  ASSERT_FALSE(driver_.frames.empty());
  const Picture shown = driver_.frames.back().Rows();
  ASSERT_NE(shown, Picture(7, std::string(15, '.')));
  const CSurface& surface = g_render.Surface();
  const std::vector<uint8_t> pixels(surface.Pixels(), surface.Pixels() + surface.Size());
  // A valid text, one with an error and one with a page background: none
  // of them clears or draws on the sign's surface.
  for (const std::string text : {"CBA", "A[xx]", "[pb9]B[np]C"}) {
    SCOPED_TRACE(text);
    const msg_row row = msg_main_row(5);
    WriteRow(row, text, MSG_STATUS_VALIDATE_REQ, 0);
    InThread([&] { display_->ProcessMessageTable(); });
    EXPECT_EQ(std::vector<uint8_t>(surface.Pixels(), surface.Pixels() + surface.Size()), pixels);
  }
  driver_.Clear();
  RunToStep(4);
  ASSERT_FALSE(driver_.frames.empty());
  for (const auto& f : driver_.frames) EXPECT_EQ(f.Rows(), shown);
}

TEST_F(TablesTest, AgentEntryPointServesTheTableInTheCallersThread) {
  const msg_row row = msg_volatile_row(0);
  WriteRow(row, "AB", MSG_STATUS_VALIDATE_REQ, 0);
  InThread([] { display_process_message_table(); });
  EXPECT_EQ(RowValue(row, row.status), MSG_STATUS_VALID);
  EXPECT_EQ(RowValue(row, row.crc), Crc("AB"));
  // Outside a thread the display's state is left alone.
  WriteRow(row, "AB", MSG_STATUS_VALIDATE_REQ, 0);
  {
    rtos::cpu_scope scope;
    display_process_message_table();
  }
  EXPECT_EQ(RowValue(row, row.status), MSG_STATUS_VALIDATE_REQ);
}

}  // namespace
