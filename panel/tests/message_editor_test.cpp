// The local message editor through the simulated unit: the new message's
// header, bracket escapes, line and page breaks made as the text is typed
// and made again when it flows, signs wider than 255 pixels, and a full
// buffer that takes no more.
#include <cstring>
#include <string>

#include "panel/pages/message_editor.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class MessageEditorTest : public PanelTest {
 protected:
  // A full-matrix sign of the size given, font 1 of 7 rows and characters
  // 5 columns wide with 1 between them.
  void Boot(uint32_t width, uint32_t height, uint32_t max_pages = 3) {
    SetNv(nv::dmsSignType, 6);
    SetNv(nv::vmsSignWidthPixels, width);
    SetNv(nv::vmsSignHeightPixels, height);
    SetNv(nv::dmsMaxNumberPages, max_pages);
    SetNv(nv::defaultFont, 1);
    SetNv(nv::defaultPageOnTime, 30);
    SetNv(nv::defaultPageOffTime, 0);
    SetNv(nv::defaultJustificationPage, 3);
    SetNv(nv::defaultJustificationLine, 3);
    SetNv(nv::fontHeight(0), 7);
    SetNv(nv::fontCharSpacing(0), 1);
    SetNv(nv::fontLineSpacing(0), 2);
    for (uint32_t c = 32; c < 127; ++c) SetNv(nv::characterWidth(0, c - 1), 5);
    SetNv(nv::dmsMessageStatus(0), 1);
    MakeManager();
    Start();
    LoginWithPin({3, 7, 11, 2});  // 1 2 3 4
    Open(LCD_MENU_MESSAGE_CONTROL);
    PressKeys({pad('4')});
    ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_EDITOR);
  }
  // Keys as the PS/2 keyboard gives them.
  void Send(uint16_t code, uint8_t flags = 0) {
    InThread([&] {
      LCDKeyEvent key = lcd_key_event(code, flags);
      EXPECT_TRUE(mgr_->CurrentMenu()->HandleKey(mgr_, &key));
    });
    Tick();
  }
  void Write(const std::string& text) {
    for (char c : text) Send(static_cast<uint8_t>(c));
  }
  std::string Text() const { return std::string(mgr_->m_szEdit, mgr_->m_dwEditLength); }
  CLCD_MessageEditor* Editor() { return dynamic_cast<CLCD_MessageEditor*>(mgr_->CurrentMenu()); }

  static constexpr const char* kHeader = "[pt30o0][jp3][jl3][fo1]";
};

TEST_F(MessageEditorTest, ANewMessageStartsFromTheDefaultsAndEscapesBrackets) {
  Boot(96, 16);
  EXPECT_EQ(Text(), kHeader);
  EXPECT_EQ(Unit().line(1), Centred("CREATE MESSAGE"));
  EXPECT_EQ(Unit().line(2), Line("PAGE: 1/1", 15));
  EXPECT_EQ(Unit().line(8), Centred("PRESS CANCEL FOR MESSAGE SAVE OPTIONS"));
  EXPECT_EQ(std::string(mgr_->m_szEditOwner), "LOCAL EDITOR");
  EXPECT_EQ(mgr_->m_byEditPriority, 190);
  Write("A[B");
  EXPECT_EQ(Text(), std::string(kHeader) + "A[[B");
  EXPECT_EQ(Unit().line(3), Line("A[B"));
  // Backspace over "[[" takes both bytes; at position 0 it does nothing.
  Send(LCD_KEY_BACKSPACE);
  Send(LCD_KEY_BACKSPACE);
  EXPECT_EQ(Text(), std::string(kHeader) + "A");
  Send(LCD_KEY_BACKSPACE);
  Send(LCD_KEY_BACKSPACE);
  EXPECT_EQ(Text(), kHeader);

  // Keypad taps: the same key again changes the character just typed.
  PressKeys({7, 7});  // '2' then 'A'
  PressKeys({3});     // '1'
  EXPECT_EQ(Text(), std::string(kHeader) + "A1");
}

TEST_F(MessageEditorTest, LinesBreakAtBlanksAndFlowAgain) {
  // 96 columns hold 16 characters.
  Boot(96, 16);
  Write("STOP AHEAD RIGHT LANE CLOSED");
  EXPECT_EQ(Text(), std::string(kHeader) + "STOP AHEAD RIGHT[NL]LANE CLOSED");
  EXPECT_EQ(Unit().line(3), Line("STOP AHEAD RIGHT"));
  EXPECT_EQ(Unit().line(4), Line("LANE CLOSED"));
  // Text typed in the middle flows: the old break becomes a blank again;
  // the third line does not fit 16 rows and starts a page.
  for (int i = 0; i < 17; ++i) Send(LCD_KEY_LEFT);
  Write("NOW ");
  EXPECT_EQ(Text(), std::string(kHeader) + "STOP AHEAD NOW[NL]RIGHT LANE[NP]CLOSED");
  // A word longer than the line is cut before the character that does not fit.
  Send(LCD_KEY_ESC);
  Open(LCD_MENU_MESSAGE_CONTROL);
  PressKeys({pad('4')});
  Write("ABCDEFGHIJKLMNOPQR");
  EXPECT_EQ(Text(), std::string(kHeader) + "ABCDEFGHIJKLMNOP[Nl]QR");
  // The cut goes when the word fits again.
  for (int i = 0; i < 4; ++i) Send(LCD_KEY_BACKSPACE);
  EXPECT_EQ(Text(), std::string(kHeader) + "ABCDEFGHIJKLMN");
}

TEST_F(MessageEditorTest, AFourthLineStartsAPageAndPagesPastTheLimitAreCut) {
  // 30 rows hold three lines of 7 with 2 between them; 6 characters a line.
  Boot(36, 30, 2);
  Write("AAA BBB CCC DDD");
  EXPECT_EQ(Text(), std::string(kHeader) + "AAA[NL]BBB[NL]CCC[NP]DDD");
  EXPECT_EQ(Unit().line(2), Line("PAGE: 2/2", 15));
  EXPECT_EQ(Unit().line(3), Line("DDD"));
  // The third page would pass the limit of two: its text goes.
  Write(" EEE FFF GGG HHH");
  EXPECT_EQ(Text(), std::string(kHeader) + "AAA[NL]BBB[NL]CCC[NP]DDD[NL]EEE[NL]FFF");
  // A typed line break where a page must start becomes a page break, and
  // backspace right after a page break removes it with its settings.
  Send(LCD_KEY_ESC);
  Open(LCD_MENU_MESSAGE_CONTROL);
  PressKeys({pad('4')});
  Write("A");
  Send(LCD_KEY_ENTER, LCD_KEY_FLAG_CTRL);
  EXPECT_EQ(Text(), std::string(kHeader) + "A[np]");
  Write("B");
  EXPECT_EQ(Unit().line(2), Line("PAGE: 2/2", 15));
  Send(LCD_KEY_BACKSPACE);
  Send(LCD_KEY_BACKSPACE);
  EXPECT_EQ(Text(), std::string(kHeader) + "A");
  EXPECT_EQ(Unit().line(2), Line("PAGE: 1/1", 15));
}

TEST_F(MessageEditorTest, SignsWiderThan255PixelsStillBreakLines) {
  // 300 columns hold 50 characters.
  Boot(300, 16);
  Write(std::string(48, 'A') + " " + std::string(10, 'B'));
  EXPECT_EQ(Text(), std::string(kHeader) + std::string(48, 'A') + "[NL]" + std::string(10, 'B'));
  EXPECT_EQ(Editor()->m_aLines[0].width, 48 * 6 - 1);
}

TEST_F(MessageEditorTest, AFullBufferRefusesMoreInputCleanly) {
  Boot(300, 30, 10);
  // The buffer filled up to a few bytes short of its end; the forwarded
  // key lays it out as a return from the save pages does.
  std::string full = kHeader;
  while (full.size() + 2 <= CLCD_Manager::kEditSize - 3) full += "[[";
  std::memcpy(mgr_->m_szEdit, full.data(), full.size());
  mgr_->m_dwEditLength = static_cast<uint32_t>(full.size());
  Editor()->m_wCursor = 0xFFFF;
  Send(LCD_KEY_FORWARDED);
  const std::string before = Text();
  ASSERT_LE(before.size(), CLCD_Manager::kEditSize - 1);
  // Characters go in while they fit; then nothing changes.
  Write("A");
  Write("[");
  const std::string after = Text();
  EXPECT_EQ(after.size(), before.size() + 1);
  Write("B");
  Write("[");
  Send(LCD_KEY_ENTER);
  EXPECT_LE(Text().size(), CLCD_Manager::kEditSize - 1);
  EXPECT_EQ(Text().substr(0, after.size()), after);
  // Backspace still works and makes room again.
  Send(LCD_KEY_BACKSPACE);
  Send(LCD_KEY_BACKSPACE);
  Write("C");
  EXPECT_EQ(Text().back(), 'C');
}

}  // namespace

namespace {

// Saving the editor's text: in the slot message control chose, in another
// one, over a message already there, or not at all.
TEST_F(MessageEditorTest, TheTextIsSavedInTheChosenSlotOrAnother) {
  Boot(96, 16);
  SetNvText(nv::dmsMessageMultiString(11), "OLD");
  SetNv(nv::dmsMessageStatus(11), 4);
  Write("NEW");
  Send(LCD_KEY_ESC);
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 31);
  EXPECT_EQ(Unit().line(2), Line("1) SAVE IN 1"));
  // GO BACK: the editor again, its text kept.
  PressKeys({pad('4')});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_EDITOR);
  EXPECT_EQ(Text(), std::string(kHeader) + "NEW");
  Write("S");
  Send(LCD_KEY_ESC);
  // Another slot that holds a message asks first; SELECT ANOTHER SLOT
  // asks for a number again.
  PressKeys({pad('2')});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 32);
  TypeDigits("12");
  EXPECT_EQ(Unit().line(8), Centred("PRESS ENTER TO SAVE"));
  PressKeys({LCD_PAD_ENTER});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 33);
  EXPECT_EQ(Unit().line(2), Line("1) CONFIRM (OVERWRITE)"));
  PressKeys({pad('9')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 33);
  PressKeys({pad('2')});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 32);
  EXPECT_EQ(mgr_->m_dwTargetType, 0u);
  TypeDigits("12");
  PressKeys({LCD_PAD_ENTER});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 33);
  // The store goes through the table's status steps; without a database
  // task to answer them it fails and message control comes back.
  PressKeys({pad('1')});
  EXPECT_EQ(mgr_->m_wEditSlot, 12);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
}

}  // namespace

namespace {

// Before the save pages open, format tags that change nothing go.
TEST_F(MessageEditorTest, CancelTidiesTheTextBeforeSaving) {
  Boot(96, 16);
  const std::string text = std::string(kHeader) + "A[fo1]B[fo2][fo3]C[jl2][fo1]";
  std::memcpy(mgr_->m_szEdit, text.data(), text.size());
  mgr_->m_dwEditLength = static_cast<uint32_t>(text.size());
  Editor()->m_wCursor = 3;
  Send(LCD_KEY_FORWARDED);
  Send(LCD_KEY_ESC);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 31);
  EXPECT_EQ(Text(), std::string(kHeader) + "AB[fo3]C");
}

}  // namespace
