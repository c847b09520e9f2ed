// The message control branch through the simulated unit: the message
// lists (sorting, filtering, typing, letters, pages), running, blanking and
// deleting through the panel's activation slot, and the default-font page.
#include <string>
#include <vector>

#include "display/codes/msg_codes.h"
#include "frame/util/preview.h"
#include "panel/pages/message_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class MessagePageTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    SetNv(nv::dmsSignType, 6);
    SetNv(nv::vmsSignHeightPixels, 7);
    SetNv(nv::vmsSignWidthPixels, 30);
    // Pages of other branches that the lists lead to.
    add_test_page_class(8, "RUN OPTIONS", 0);
    add_test_page_class(13, "PREVIEW", 0);
  }
  void Boot() {
    MakeManager();
    Start();
    LoginWithPin({3, 7, 11, 2});  // 1 2 3 4
    ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  }
  // A valid stored message at entry number n (1..550).
  static void Store(uint32_t n, const std::string& multi) {
    SetNvText(nv::dmsMessageMultiString(n - 1), multi);
    SetNv(nv::dmsMessageStatus(n - 1), 4);
  }
  void Type(const std::string& digits) { TypeDigits(digits); }
  static CMsgActivationCode Slot6() {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(vol::activationSlotCode(6).offset, 4, Db().mib_v, &n);
    CMsgActivationCode code;
    code.Decode(p, n);
    return code;
  }
  static std::string Preview(const std::string& multi) {
    char out[24];
    multi_to_preview_text(multi.c_str(), out, sizeof out);
    return std::string(out).substr(0, 21);
  }
  static std::string Row(char mark, int n, const std::string& text) {
    char head[8];
    std::snprintf(head, sizeof head, "%c%03d) ", mark, n);
    return Line(head + text);
  }
};

TEST_F(MessagePageTest, TheRunListSortsByTextAndLeavesOutGraphicsOnCharacterSigns) {
  Store(3, "STOP");
  Store(7, "ACCIDENT[nl]AHEAD");
  Store(12, "[ms11,g,1,0,0]");
  Store(14, "");                       // valid but empty: not offered
  SetNv(nv::dmsMessageStatus(20), 1);  // not used
  SetNvText(nv::dmsMessageMultiString(20), "UNUSED");
  Boot();
  Open(22);
  const std::string graphic = Preview("[ms11,g,1,0,0]");
  ASSERT_EQ(graphic[0], '<');
  EXPECT_EQ(Unit().screen(), Screen({Centred("RUN SAVED MESSAGE"), Row(' ', 12, graphic),
                                     Row(' ', 7, Preview("ACCIDENT[nl]AHEAD")), Row(' ', 3, "STOP"), kBlank, kBlank,
                                     kBlank, Line("PRESS ENTER TO RUN: 0", 7)}));

  // A character-matrix sign has no graphics to offer.
  PressKeys({LCD_PAD_CANCEL});
  SetNv(nv::dmsSignType, 4);
  Open(22);
  EXPECT_EQ(Unit().line(2), Row(' ', 7, Preview("ACCIDENT[nl]AHEAD")));
  EXPECT_EQ(Unit().line(3), Row(' ', 3, "STOP"));
  EXPECT_EQ(Unit().line(4), kBlank);
}

TEST_F(MessagePageTest, ATypedNumberMovesThePageAfterThreeTicksAndEnterRunsIt) {
  const char* fruit[] = {"APPLE", "BANANA", "CHERRY", "DATE", "ELDER", "FIG", "GRAPE"};
  for (uint32_t n = 1; n <= 7; ++n) Store(n, fruit[n - 1]);
  Boot();
  Open(22);
  EXPECT_EQ(Unit().line(2), Row(' ', 1, "APPLE"));
  Type("7");
  EXPECT_EQ(Unit().line(8), Line("PRESS ENTER TO RUN: 7", 7));
  EXPECT_EQ(mgr_->m_byCursorVisible, 1);
  EXPECT_EQ(mgr_->m_iCursorLine, 8);
  EXPECT_EQ(mgr_->m_iCursorColumn, 29);  // behind the digit
  Tick(2);
  EXPECT_EQ(Unit().line(2), Row(' ', 1, "APPLE"));
  Tick();
  EXPECT_EQ(Unit().screen(), Screen({Centred("RUN SAVED MESSAGE"), Row('*', 7, "GRAPE"), kBlank, kBlank, kBlank, kBlank,
                                     kBlank, Line("PRESS ENTER TO RUN: 7", 7)}));
  EXPECT_EQ(mgr_->m_dwTargetType, 3u);
  EXPECT_EQ(mgr_->m_dwTargetNumber, 7u);

  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_RUN_OPTIONS);
  EXPECT_EQ(mgr_->m_dwTargetType, 3u);
  EXPECT_EQ(mgr_->m_dwTargetNumber, 7u);
  EXPECT_EQ(mgr_->m_wEditSlot, 7);
}

TEST_F(MessagePageTest, PagesLettersAndNumbersThatAreNotListed) {
  const char* fruit[] = {"APPLE", "BANANA", "CHERRY", "DATE", "ELDER", "FIG", "GRAPE"};
  for (uint32_t n = 1; n <= 7; ++n) Store(n, fruit[n - 1]);
  Boot();
  Open(22);
  // The down arrow is there, the up arrow not.
  EXPECT_TRUE(Unit().pixel(237, 33));
  EXPECT_FALSE(Unit().pixel(237, 26));
  PressKeys({LCD_PAD_DOWN});
  EXPECT_EQ(Unit().line(2), Row(' ', 7, "GRAPE"));
  EXPECT_EQ(Unit().line(3), kBlank);  // the longer rows of page 1 are gone
  EXPECT_TRUE(Unit().pixel(237, 26));
  PressKeys({LCD_PAD_DOWN});  // no further page
  EXPECT_EQ(Unit().line(2), Row(' ', 7, "GRAPE"));
  PressKeys({LCD_PAD_UP});
  EXPECT_EQ(Unit().line(2), Row(' ', 1, "APPLE"));

  // A letter from the keyboard jumps to the page of the first text that
  // starts with it; keypad digits stay digits, tapped twice or not.
  Unit().keyboard(0, {0x34, 0xF0, 0x34});  // g
  Tick();
  EXPECT_EQ(Unit().line(2), Row(' ', 7, "GRAPE"));
  Unit().keyboard(0, {0x1C, 0xF0, 0x1C});  // a
  Tick();
  EXPECT_EQ(Unit().line(2), Row(' ', 1, "APPLE"));
  Unit().keyboard(0, {0x1A, 0xF0, 0x1A});  // z: no text starts with it
  Tick();
  EXPECT_EQ(Unit().line(2), Row(' ', 1, "APPLE"));
  PressKeys({pad('4'), pad('4')});
  EXPECT_EQ(Unit().line(8), Line("PRESS ENTER TO RUN: 44", 7));
  PressKeys({LCD_PAD_LEFT, LCD_PAD_LEFT});
  EXPECT_EQ(Unit().line(8), Line("PRESS ENTER TO RUN: 0", 7));
  PressKeys({LCD_PAD_DOWN});
  EXPECT_EQ(Unit().line(2), Row(' ', 7, "GRAPE"));

  // A number that is not listed: ENTER only redraws; backspace takes it back.
  Type("9");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_RUN_SAVED_MESSAGE);
  Tick(3);
  EXPECT_EQ(mgr_->m_dwTargetType, 7u);
  EXPECT_EQ(mgr_->m_dwTargetNumber, 1u);
  PressKeys({LCD_PAD_LEFT});
  EXPECT_EQ(Unit().line(8), Line("PRESS ENTER TO RUN: 0", 7));
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_RUN_SAVED_MESSAGE);
}

TEST_F(MessagePageTest, PermanentEntriesAndTheDeleteListLimit) {
  Store(1, "ONE");
  Store(501, "PERMANENT THREE");
  Boot();
  Open(22);
  Type("501");
  Tick(3);
  EXPECT_EQ(Unit().line(3), Row('*', 501, "PERMANENT THREE"));
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_RUN_OPTIONS);
  EXPECT_EQ(mgr_->m_dwTargetType, 2u);
  EXPECT_EQ(mgr_->m_dwTargetNumber, 3u);

  // The delete list stops at 500: 5 0 1 rolls over to 1.
  PressKeys({LCD_PAD_CANCEL});
  Open(25);
  EXPECT_EQ(Unit().line(1), Centred("DELETE MESSAGE"));
  EXPECT_EQ(Unit().line(2), Row(' ', 1, "ONE"));
  EXPECT_EQ(Unit().line(3), kBlank);
  Type("501");
  EXPECT_EQ(Unit().line(8), Line("PRESS ENTER TO DELETE: 1", 7));
  EXPECT_EQ(Unit().line(2), Row('*', 1, "ONE"));
}

TEST_F(MessagePageTest, AnEmptyListInBothLanguages) {
  Boot();
  Open(22);
  EXPECT_EQ(Unit().screen(), Screen({Centred("RUN SAVED MESSAGE"), kBlank, kBlank, Centred("NO MESSAGE"), kBlank, kBlank,
                                     kBlank, Line("PRESS ENTER TO RUN: 0", 7)}));
  Type("1");
  PressKeys({LCD_PAD_ENTER, LCD_PAD_DOWN, LCD_PAD_UP});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_RUN_SAVED_MESSAGE);
  PressKeys({LCD_PAD_CANCEL});

  mgr_->m_dwLanguage = 1;
  Open(22);
  EXPECT_EQ(Unit().screen(), Screen({Centred("AFFICHER MESSAGE"), kBlank, kBlank, Centred("AUCUN MESSAGE"), kBlank,
                                     kBlank, kBlank, Line("ENTER POUR AFFICHER: 0", 7)}));
  PressKeys({LCD_PAD_CANCEL});
  Open(25);
  EXPECT_EQ(Unit().line(1), Centred("SUPPRIMER UN MESSAGE"));
  EXPECT_EQ(Unit().line(8), Line("ENTER POUR SUPPRIMER: 0", 7));
  // No French action for the preview list: the English one stands in.
  PressKeys({LCD_PAD_CANCEL});
  Open(29);
  EXPECT_EQ(Unit().line(1), Centred("PREVIEW A MESSAGE"));
  EXPECT_EQ(Unit().line(8), Line("ENTER POUR PREVIEW: 0", 7));
}

TEST_F(MessagePageTest, BlankingGoesThroughThePanelSlot) {
  Boot();
  Open(LCD_MENU_BLANK_DISPLAY);
  EXPECT_EQ(Unit().screen(), Screen({Centred("BLANK DISPLAY"), Line("1) CONFIRM"), Line("2) CANCEL"), kBlank, kBlank,
                                     kBlank, kBlank, kBlank}));
  // CANCEL on the page: nothing written.
  PressKeys({pad('2')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
  EXPECT_EQ(Slot6().m_byMemoryType, 0);

  mgr_->m_dwLanguage = 1;
  Open(LCD_MENU_BLANK_DISPLAY);
  EXPECT_EQ(Unit().screen(), Screen({Centred("METTRE AU NOIR"), Line("1) CONFIRMER"), Line("2) ANNULER"), kBlank,
                                     kBlank, kBlank, kBlank, kBlank}));
  PressKeys({pad('1')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
  const CMsgActivationCode code = Slot6();
  EXPECT_EQ(code.m_byMemoryType, 7);
  EXPECT_EQ(code.m_wMessageNumber, 1);
  EXPECT_EQ(code.m_wDuration, 65535);
  EXPECT_EQ(V(vol::activationSlotSourceMode(6)), 2u);
}

TEST_F(MessagePageTest, DeletingAMessageAndTheOneThatRuns) {
  Store(4, "SLOW DOWN");
  Store(9, "DETOUR");
  Boot();
  Open(25);
  Type("4");
  PressKeys({LCD_PAD_ENTER});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 26);
  EXPECT_EQ(Unit().screen(), Screen({Centred("DELETE CONFIRMATION"), Line("1) DELETE MESSAGE 4"),
                                     Line("2) DO NOT DELETE"), kBlank, kBlank, kBlank, kBlank, kBlank}));
  // Changed mind: nothing is touched.
  PressKeys({pad('2')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
  EXPECT_EQ(Nv(nv::dmsMessageStatus(3)), 4u);

  Open(25);
  Type("4");
  PressKeys({LCD_PAD_ENTER, pad('1')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
  EXPECT_EQ(Nv(nv::dmsMessageStatus(3)), 8u);
  EXPECT_EQ(Slot6().m_byMemoryType, 0);  // it did not run: the sign is left alone

  // Message 9 runs: the page warns, and deleting it blanks the sign.
  CMsgIDCode running;
  running.Set(3, 9, 0x1234);
  Db().SetString(nv::dmsMsgTableSource.offset, 4, running.m_encoded, MSG_ID_CODE_SIZE, Db().mib_nv, DB_NO_VALIDATE);
  Open(25);
  Type("9");
  PressKeys({LCD_PAD_ENTER});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 26);
  EXPECT_EQ(Unit().line(2), Line("1) DELETE MESSAGE 9"));
  EXPECT_EQ(Unit().line(6), Centred("MESSAGE IS RUNNING"));
  EXPECT_EQ(Unit().line(7), Centred("THIS WILL BLANK DISPLAY"));
  mgr_->m_dwLanguage = 1;
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().screen(), Screen({Centred("CONFIRMATION DE SUPPRESSION"), Line("1) SUPPRIMER LE MESSAGE 9"),
                                     Line("2) NE PAS SUPPRIMER"), kBlank, kBlank, Centred("SUPPRIMER CE MESSAGE"),
                                     Centred("METTRA LE PANNEAU AU NOIR"), kBlank}));
  PressKeys({pad('1')});
  EXPECT_EQ(Nv(nv::dmsMessageStatus(8)), 8u);
  const CMsgActivationCode code = Slot6();
  EXPECT_EQ(code.m_byMemoryType, 7);
  EXPECT_EQ(code.m_wMessageNumber, 1);
  EXPECT_EQ(code.m_wDuration, 65535);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
}

TEST_F(MessagePageTest, TheDeleteConfirmationWithoutAChosenMessage) {
  Boot();
  mgr_->SetActivationTarget(7, 1);
  Open(26);
  EXPECT_EQ(Unit().line(2), Line("NO MESSAGE"));
  PressKeys({pad('1')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
  EXPECT_EQ(Slot6().m_byMemoryType, 0);
}

// A list whose target page is not built would lead nowhere: it is not
// offered.
TEST_F(MessagePageTest, ListsThatLeadNowhereAreNotOffered) {
  Boot();
  for (CLCD_MenuId id : {22, 29}) {
    auto* list = dynamic_cast<CLCD_MessageList*>(mgr_->FindMenu(id, nullptr));
    ASSERT_NE(list, nullptr);
    list->m_iTarget = 999;
  }
  Open(LCD_MENU_MESSAGE_CONTROL);
  EXPECT_EQ(Unit().line(1), Centred("MESSAGE CONTROL"));
  EXPECT_EQ(Unit().line(2), Line("1) BLANK DISPLAY"));
}

TEST_F(MessagePageTest, MessageControlPicksTheFirstFreeSlotForTheEditor) {
  for (uint32_t i = 0; i < 3; ++i) SetNv(nv::dmsMessageStatus(i), 4);
  SetNv(nv::dmsMessageStatus(3), 1);
  Boot();
  Open(LCD_MENU_MESSAGE_CONTROL);
  EXPECT_EQ(Unit().line(1), Centred("MESSAGE CONTROL"));
  EXPECT_EQ(Unit().line(2), Line("1) RUN SAVED MESSAGE"));
  EXPECT_EQ(Unit().line(3), Line("2) PREVIEW A MESSAGE"));
  EXPECT_EQ(Unit().line(4), Line("3) BLANK DISPLAY"));
  EXPECT_EQ(Unit().line(5), Line("4) CREATE MESSAGE"));
  EXPECT_EQ(Unit().line(6), Line("5) DELETE MESSAGE"));
  PressKeys({pad('4')});
  EXPECT_EQ(mgr_->m_wEditSlot, 4);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_EDITOR);

  // Every changeable slot in use: the page says so and stays.
  for (uint32_t i = 0; i < 500; ++i) SetNv(nv::dmsMessageStatus(i), 4);
  Open(LCD_MENU_MESSAGE_CONTROL);
  mgr_->m_wEditSlot = 0;
  PressKeys({pad('4')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
  EXPECT_EQ(mgr_->m_wEditSlot, 0);
  EXPECT_EQ(Unit().line(8), Line("NO FREE MESSAGE SLOT", 10));
  mgr_->m_dwLanguage = 1;
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().line(1), Centred("COMMANDE DE MESSAGES"));
  EXPECT_EQ(Unit().line(8), Line("AUCUN MESSAGE LIBRE", 10));
}

TEST_F(MessagePageTest, TheDefaultFontOffersTheFontsThatFit) {
  const struct {
    uint32_t height;
    const char* name;
  } fonts[] = {{7, "SEVEN"}, {16, "TALL"}, {0, "EMPTY"}, {5, "FIVE"}};
  for (uint32_t i = 0; i < 4; ++i) {
    SetNv(nv::fontHeight(i), fonts[i].height);
    SetNvText(nv::fontName(i), fonts[i].name);
  }
  SetNv(nv::defaultFont, 1);
  Boot();
  Open(47);
  PressKeys({LCD_PAD_DOWN});  // after the six sign pages
  std::string entry = Line("1) DEFAULT FONT");
  entry.replace(34, 5, "SEVEN");
  EXPECT_EQ(Unit().line(2), entry);

  PressKeys({pad('1')});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 211);
  EXPECT_EQ(Unit().screen(), Screen({Centred("DEFAULT FONT"), Line("1) SEVEN"), Line("2) FIVE"), kBlank, kBlank,
                                     kBlank, kBlank, kBlank}));
  PressKeys({pad('2')});
  EXPECT_EQ(Nv(nv::defaultFont), 4u);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 47);
  entry = Line("1) DEFAULT FONT");
  entry.replace(35, 4, "FIVE");
  EXPECT_EQ(Unit().line(2), entry);
  // A digit with no option does nothing.
  PressKeys({pad('1'), pad('5')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 211);
  EXPECT_EQ(Nv(nv::defaultFont), 4u);
}

}  // namespace
