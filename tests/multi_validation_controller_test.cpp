// Validation of MULTI texts while the sign shows a message, in the whole
// controller started in-process on the manual clock: the agent's thread
// validates table rows and asks for activations that are refused, between
// display steps, and the frames the sign's driver receives never go dark.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/activation/display_services.h"
#include "display/codes/msg_codes.h"
#include "display/driver/recording_driver.h"
#include "display/tables/message_table.h"
#include "tests/controller_fixture.h"

namespace {

class MultiValidationRoadTest : public controller_test {
 protected:
  void SetUp() override { Boot(); }

  // Changeable message n (2 and up) written and its validation asked for,
  // as the agent does: the status pass then runs in the agent's thread.
  static uint32_t ValidateInAgentThread(uint16_t n, const std::string& text) {
    uint8_t* nv = Db().mib_nv;
    const uint32_t r = n - 1u;
    Set(nv, nv::dmsMessageStatus(r), MSG_STATUS_MODIFYING);
    Db().SetString(nv::dmsMessageMultiString(r).offset, 4, text.data(), static_cast<uint32_t>(text.size()), nv,
                   DB_NO_VALIDATE);
    Set(nv, nv::dmsMessageStatus(r), MSG_STATUS_VALIDATE_REQ);
    display_process_message_table();
    return Nv(nv::dmsMessageStatus(r));
  }
  static std::vector<uint8_t> Code(uint16_t number, uint16_t crc) {
    CMsgActivationCode code;
    code.m_wDuration = 0xFFFF;
    code.m_byPriority = 200;
    code.m_byMemoryType = MEMORY_CHANGEABLE;
    code.m_wMessageNumber = number;
    code.m_wCRC = crc;
    code.Encode();
    return std::vector<uint8_t>(code.m_encoded, code.m_encoded + MSG_ACTIVATION_CODE_SIZE);
  }

  // A text, the status its validation leaves, and the MULTI error and its
  // position.
  struct Case {
    std::string text;
    uint32_t status, syntax, position;
  };

  recording_display_driver driver_;
  trace_capture cap_;
};

TEST_F(MultiValidationRoadTest, ValidationFromTheAgentsThreadNeverBlanksTheSign) {
  FirstDisplayStep();
  InThread([&] { ConfigureSmallSign(&driver_); });
  DisplaySteps(1);
  InThread([&] { StoreChangeable1("HELLO"); });
  DisplaySteps(1);
  ASSERT_EQ(Nv(nv::dmsMessageStatus(0)), MSG_STATUS_VALID);
  const uint16_t crc = static_cast<uint16_t>(Nv(nv::dmsMessageCRC(0)));
  InThread([&] {
    const std::vector<uint8_t> code = Code(1, crc);
    EXPECT_EQ(g_pDisplay->request_activation(code.data(), static_cast<uint32_t>(code.size()), 6, true, 8, 2),
              ACTIVATE_NONE);
  });
  DisplaySteps(2);
  ASSERT_FALSE(driver_.frames.empty());
  const std::vector<std::string> shown = driver_.frames.back().Rows();
  ASSERT_NE(shown, std::vector<std::string>(7, std::string(30, '.')));

  // A font downloaded into row 4 under number 30.
  InThread([&] {
    ASSERT_EQ(Db().LoadFont("07X05_1_KM.FNT", 3), 1);
    Set(Db().mib_nv, nv::fontNumber(3), 30);
    Set(Db().mib_nv, nv::fontStatus(3), 4);
  });

  const Case cases[] = {
      {"BYE", MSG_STATUS_VALID, 2, 0},
      {"[fo30]SLOW", MSG_STATUS_VALID, 2, 0},
      {"AB[xx]", MSG_STATUS_ERROR, 3, 2},
      {"[pb9]ABC[np]DEF", MSG_STATUS_VALID, 2, 0},
      {"AB[hcZZ]", MSG_STATUS_ERROR, 4, 2},
      {"ABCDEFGHIJ", MSG_STATUS_ERROR, 5, 5},  // the sixth letter no longer fits
      {"[fo31]A", MSG_STATUS_ERROR, 6, 0},
  };
  driver_.Clear();
  uint16_t n = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    InThread([&] { EXPECT_EQ(ValidateInAgentThread(n, c.text), c.status); });
    EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), c.syntax);
    EXPECT_EQ(Nv(nv::dmsMultiSyntaxErrorPosition), c.position);
    // An activation refused for its text runs the same trial parse.
    if (c.status == MSG_STATUS_ERROR) {
      InThread([&] {
        const std::vector<uint8_t> code = Code(n, static_cast<uint16_t>(Nv(nv::dmsMessageCRC(n - 1u))));
        EXPECT_NE(g_pDisplay->request_activation(code.data(), static_cast<uint32_t>(code.size()), 6, true, 8, 2),
                  ACTIVATE_NONE);
      });
    }
    DisplaySteps(1);
    ++n;
  }
  // Every frame the sign received meanwhile is the message that runs.
  ASSERT_FALSE(driver_.frames.empty());
  for (const auto& f : driver_.frames) EXPECT_EQ(f.Rows(), shown);
  EXPECT_EQ(NvText(nv::currentBufferMultiString), "HELLO");
}

// The sign a new controller keeps: 7 x 25 line matrix, character height 7,
// font 8 (7 x 5, one column between letters) by default, lines centred.
// What fits is what its 25 columns and single line hold.
class FactorySignTextTest : public MultiValidationRoadTest {};

TEST_F(FactorySignTextTest, TextsThatFitAndTextsThatDoNot) {
  FirstDisplayStep();
  ASSERT_EQ(Nv(nv::dmsSignType), 5u);
  ASSERT_EQ(Nv(nv::vmsSignWidthPixels), 25u);
  ASSERT_EQ(Nv(nv::vmsCharacterHeightPixels), 7u);
  ASSERT_EQ(Nv(nv::vmsCharacterWidthPixels), 0u);
  ASSERT_EQ(Nv(nv::defaultFont), 8u);

  const Case cases[] = {
      {"A", MSG_STATUS_VALID, 2, 0},
      {"AB", MSG_STATUS_VALID, 2, 0},
      {"ABCD", MSG_STATUS_VALID, 2, 0},         // 4 x 5 + 3 = 23 columns
      {"[jl2]ABCD", MSG_STATUS_VALID, 2, 0},    // left as well as centred
      {"AB[np]CD", MSG_STATUS_VALID, 2, 0},     // one line a page
      {"[fo1]HELLO", MSG_STATUS_VALID, 2, 0},   // the narrower font 1: 5 x 4 + 4 = 24
      {"HELLO", MSG_STATUS_ERROR, 5, 4},        // 5 x 5 + 4 = 29: the fifth letter does not fit
      {"ABCDE", MSG_STATUS_ERROR, 5, 4},
      {"AB[nl]CD", MSG_STATUS_ERROR, 5, 0},     // a second line is taller than the sign
      {"[fo5]AB", MSG_STATUS_ERROR, 5, 0},      // a 9-row font on 7-row lines
  };
  uint16_t n = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    InThread([&] { EXPECT_EQ(ValidateInAgentThread(n, c.text), c.status); });
    EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), c.syntax);
    if (c.position) {
      EXPECT_EQ(Nv(nv::dmsMultiSyntaxErrorPosition), c.position);
    }
    ++n;
  }
}

}  // namespace
