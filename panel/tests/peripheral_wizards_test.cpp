// The add wizards against live boards of a peripheral task: the record each
// page writes for a walk through its questions, byte for byte, and which
// pages show, which pins a board takes and which boards are offered.
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "panel/pages/peripheral_wizards.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/peripheral_records.h"
#include "peripherals/devices/dcio.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/pl_iterator.h"

namespace {

using records = peripheral_records;

class placeholder : public CPeripheral {
 public:
  explicit placeholder(const pl_record& r) : CPeripheral(r.class_code, r.type_id) {}
  void Poll() override {}
};
CPeripheral* make_placeholder(const pl_record& r) { return new (std::nothrow) placeholder(r); }
// An I/O board off the bus: its port 6 direction comes from the text
// ("FF" output, anything else input).
CPeripheral* make_board(const pl_record& r) {
  auto* board = new (std::nothrow) DCIO(r.class_code, r.type_id, 1, 0, 0);
  if (board) board->m_abyRawDirection[3] = r.parameters && std::string(r.parameters) == "FF" ? 0xFF : 0xF0;
  return board;
}
const pl_creator kCreators[] = {
    {PCLASS_DCIO, make_board},          {PCLASS_MINI_DCIO, make_board},        {PCLASS_FAN_CONTROL, make_placeholder},
    {PCLASS_CTRL_PRIMARY, make_placeholder}, {PCLASS_UPS, make_placeholder}, {PCLASS_IO_BASED, make_placeholder},
};

class PeripheralWizardsTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    task_ = std::make_unique<CPeripheralTask>(nullptr);
    for (const pl_creator& row : kCreators) task_->Factory().Register(&row);
    InThread([&] { ASSERT_TRUE(task_->Mediator().Open(&task_->Factory(), task_.get())); });
    g_pPeripheralTask = task_.get();
  }
  void TearDown() override {
    g_pPeripheralTask = nullptr;
    g_hcb_distribution_board = 0;
    InThread([&] { task_->Mediator().Close(); });
    task_.reset();
    PanelTest::TearDown();
  }
  void Live(uint16_t type, const char* text = "") {
    InThread([&] { ASSERT_TRUE(task_->Mediator().Create(type, text)); });
  }
  void Record(uint16_t type, const char* text) {
    InThread([&] {
      pl_iterator it;
      ASSERT_TRUE(it.Add(type, "%s", text));
    });
  }
  static records Records() {
    records out;
    InThread([&] { out = read_peripheral_records(); });
    return out;
  }
  // Keys: a digit is its keypad key, 'E' ENTER, 'v' DOWN (the next page of
  // choices), 'L' LEFT (a digit back), 'X' ESC.
  void Keys(const std::string& keys) {
    for (char c : keys) {
      if (c >= '0' && c <= '9') PressKeys({pad(c)});
      if (c == 'E') PressKeys({LCD_PAD_ENTER});
      if (c == 'v') PressKeys({LCD_PAD_DOWN});
      if (c == 'L') PressKeys({LCD_PAD_LEFT});
      if (c == 'X') KeyCode(LCD_KEY_ESC);
    }
  }
  bool Shows(const std::string& text) { return Unit().screen().find(text) != std::string::npos; }
  bool Visible(CLCD_MenuId id) {
    bool shown = false;
    CMenuItem* page = Page(id);
    InThread([&] { shown = page->HasRights(mgr_); });
    return shown;
  }
  CMenuItem* Page(CLCD_MenuId id) {
    CMenuItem* p = nullptr;
    InThread([&] { p = mgr_->FindMenu(id, nullptr); });
    return p;
  }

  std::unique_ptr<CPeripheralTask> task_;
};

struct live_board {
  uint16_t type;
  const char* text;
};

struct wizard_case {
  const char* name;
  std::vector<live_board> live;
  CLCD_MenuId page;
  const char* keys;
  records expected;
};

// Module type 21 is of the family with isolation boards, LVDBs and the
// GEN4 supplies.
constexpr uint32_t kClass4Module = 21;

TEST_F(PeripheralWizardsTest, EachWalkWritesItsRecordText) {
  const std::vector<wizard_case> cases = {
      // Product board pins: input 3 is point 26, output 4 is point 48.
      {"door switch on product input 3", {{50, ""}}, 167, "213E", {{30, "1A,32"}}},
      {"intake fans on product output 4", {{50, ""}}, 157, "114E", {{510, "30,32"}}},
      {"binary switch on DC I/O 2 pins 1..4", {{51, ""}}, 172, "111E4E115EE1", {{560, "18,33,4,0,5,0,0"}}},
      // Numbers other than the count of inputs stay from the last visit.
      {"binary switch by priority, momentary", {{51, ""}}, 172, "111E2E12L2E7E2", {{560, "18,33,2,1,2,7,1"}}},
      {"binary switch with activation input", {{51, ""}}, 172, "111E3E2", {{570, "18,33,3"}}},
      // The activation question is asked again although the last walk
      // answered YES.
      {"bcd switch skips to momentary", {{51, ""}}, 172, "212E4E12", {{650, "19,33,4,0,0,0,1"}}},
      {"bcd switch with activation input", {{51, ""}}, 172, "212E4E2", {{580, "19,33,4"}}},
      {"blank button", {{51, ""}}, 172, "313E", {{640, "1A,33"}}},
      {"blank indicator on product output 1", {{50, ""}}, 173, "111E", {{641, "28,32"}}},
      {"beacon gen1", {{50, ""}}, 169, "112E", {{40, "29,32"}}},
      {"beacon gen2 alternate, dimmed", {{50, ""}}, 169, "211E12", {{700, "32,30000,5,5,6,1"}}},
      {"beacon gen2 sync", {{50, ""}}, 169, "211E21", {{700, "32,10000,5,5,5,0"}}},
      {"surge suppressor on HCB input 20", {{55, ""}}, 185, "1120E", {{75, "37,8000000"}}},
      {"GP output 10 on DC I/O 2 output 17", {{51, "FF"}}, 177, "v4117E", {{669, "30,33"}}},
      {"heater status on mini input 2", {{590, ""}}, 165, "212E", {{546, "19,24E"}}},
      {"face fan status", {{50, ""}}, 160, "312E", {{530, "19,32"}}},
      {"maintenance heaters on HCB output 8", {{55, ""}}, 164, "218E", {{542, "2F,37"}}},
      {"airflow sensors with power sense", {{51, ""}}, 159, "3E11E5E",
       {{710, "33,1,0"}, {711, "33,2,0"}, {712, "33,4,0"}, {720, "33,10,0"}}},
      {"airflow sensors with a fan controller", {{51, ""}, {510, ""}}, 159, "2E13E",
       {{710, "33,4,0"}, {711, "33,8,0"}}},
      {"rpm sensors with power sense", {{51, ""}}, 161, "2E12E",
       {{730, "42521,1,0"}, {731, "42522,1,0"}, {749, "33,2,0"}}},
      {"rpm sensors with a fan controller", {{51, ""}, {510, ""}}, 161, "3E",
       {{730, "42521,1,0"}, {731, "42522,1,0"}, {732, "42523,1,0"}}},
      {"fault LED on mini output 1", {{590, ""}}, 179, "111E", {{670, "24E,300,1"}}},
      {"current message outputs", {{590, ""}}, 179, "211E3E", {{671, "24E,700,1"}}},
      {"overheight 1 normally closed", {{55, ""}}, 171, "112E1", {{500, "19,37,0,0"}}},
      {"overheight 2 keeps a slot above 255", {{55, ""}}, 171, "212E2300E", {{501, "19,37,1,12C"}}},
      // Before any walk has answered the direction: the HCB takes the
      // direction item's answer unasked.
      {"HCB I/O 1", {}, 166, "61", {{55, "42201,F0,F0,FF,F0,1"}}},
      {"DC I/O 3 with port 6 out, on the panel", {}, 166, "222", {{52, "42203,F0,F0,FF,FF,4"}}},
      {"mini DC I/O 1", {}, 166, "v11", {{590, "42221,1"}}},
      {"mini DC I/O 3", {}, 166, "v32", {{592, "42223,4,2"}}},
      {"mini DC I/O line 2", {}, 166, "vv21", {{171, "42221,1,7"}}},
      {"primary controller link", {}, 184, "1", {{792, "5B001,8"}}},
      {"secondary controller link", {}, 184, "25E", {{793, "5B005,8"}}},
      {"two LVDBs", {}, 180, "2E", {{680, "42A01,1"}, {681, "42A02,1"}}},
      {"cabinet humidity, default address, on the panel", {}, 175, "512", {{632, "42908,4"}}},
      {"ambient humidity at address 3", {}, 175, "123E1", {{630, "42903,1"}}},
      {"light line 2 at address 3", {}, 155, "523E1", {{151, "42013,1,1"}}},
      {"front light, default", {}, 155, "211", {{2, "42005,1"}}},
      {"lux light line, default", {}, 155, "v411", {{156, "42001,1,1"}}},
      {"temperature line 2, default", {}, 156, "v111", {{161, "42101,1,2"}}},
      {"ambient temperature without an HCB", {}, 156, "111", {{12, "42101,1"}}},
      {"cabinet temperature at address 9", {}, 156, "529E2", {{11, "42109,4"}}},
      {"modem on the auxiliary port, no AT text", {}, 174, "12E", {{620, "2"}}},
      {"real-time data input", {}, 182, "1", {{760, ""}}},
      {"UPS that backs the display up", {}, 170, "42", {{23, ""}, {29, ""}}},
      {"UPS that does not", {}, 170, "41", {{23, ""}}},
      {"tripp lite UPS", {}, 170, "6", {{25, ""}}},
  };
  SetNv(nv::quorModuleID, kClass4Module);
  BootWithAllRights();
  for (const wizard_case& c : cases) {
    SCOPED_TRACE(c.name);
    InThread([&] {
      pl_iterator it;
      it.RemoveAll();
      task_->Mediator().Close();
      ASSERT_TRUE(task_->Mediator().Open(&task_->Factory(), task_.get()));
    });
    for (const live_board& b : c.live) Live(b.type, b.text);
    Open(LCD_MENU_MAIN);
    Open(c.page);
    Keys(c.keys);
    EXPECT_EQ(Records(), c.expected) << Unit().screen();
    EXPECT_NE(mgr_->CurrentMenu(), Page(c.page)) << "back to the list when done\n" << Unit().screen();
  }
}

// The AUX I/O port and AC I/O pages have no row of the menu table; here they
// stand in for the pages of two table rows.
TEST_F(PeripheralWizardsTest, PagesOutsideTheMenuTable) {
  static const class_descriptor kAuxInGpoRow = {107, create_page<CLCD_PeripheralAdd_AuxIO>};
  static const class_descriptor kAcioInRtdRow = {113, create_page<CLCD_PeripheralAdd_ACIO>};
  ASSERT_TRUE(lcd_add_page_class(&kAuxInGpoRow));
  ASSERT_TRUE(lcd_add_page_class(&kAcioInRtdRow));
  BootWithAllRights();
  Live(50);
  // Port 2 with its highest point on output pin 3 (point 42), 3 wide.
  Open(177);
  EXPECT_TRUE(Shows("ADD AUX I/O PORT")) << Unit().screen();
  Keys("213E3E");
  EXPECT_EQ(Records(), (records{{471, "28,32,3"}}));
  Open(182);
  Keys("12");
  EXPECT_EQ(Records(), (records{{471, "28,32,3"}, {490, "42601,4"}}));
}

TEST_F(PeripheralWizardsTest, IsolationBoardsReplaceTheEarlierOnes) {
  SetNv(nv::quorModuleID, kClass4Module);
  BootWithAllRights();
  Record(799, "43006,4");
  Record(30, "18,37");
  Open(181);
  Keys("3E1");
  EXPECT_EQ(Records(), (records{{30, "18,37"}, {794, "43001,1"}, {795, "43002,1"}, {796, "43003,1"}}));
}

TEST_F(PeripheralWizardsTest, DoorLineSensorsFollowTheLinesOfTheSign) {
  SetNv(nv::dmsSignType, 5);
  SetNv(nv::vmsSignHeightPixels, 21);
  SetNv(nv::vmsCharacterHeightPixels, 7);
  BootWithAllRights();
  Live(50);
  Record(174, "42221,1,5");
  Record(186, "18,AE");
  Open(167);
  Keys("111E");
  EXPECT_EQ(Records(), (records{{170, "42221,1,1"},
                                {171, "42221,1,2"},
                                {172, "42221,1,3"},
                                {180, "18,AA"},
                                {181, "18,AB"},
                                {182, "18,AC"}}));

  // Ten lines: the family's six line types, no more.
  SetNv(nv::vmsSignHeightPixels, 70);
  Open(167);
  Keys("111E");
  const records ten = Records();
  EXPECT_EQ(ten.size(), 12u);
  EXPECT_EQ(ten.at(175), "42221,1,6");
  EXPECT_EQ(ten.at(185), "18,AF");

  // Not a line-matrix sign: the earlier line records go, none come.
  SetNv(nv::dmsSignType, 1);
  Open(167);
  Keys("111E");
  EXPECT_TRUE(Records().empty());
}

TEST_F(PeripheralWizardsTest, TemperatureAmbientOfAnHcbCabinet) {
  g_hcb_distribution_board = 1;
  SetNv(nv::dmsSignAccess, 2);
  BootWithAllRights();
  Open(156);
  Keys("111");
  EXPECT_EQ(Records(), (records{{12, "42104,1"}}));
}

TEST_F(PeripheralWizardsTest, ModemAtTextEndsInACarriageReturnAndMustFitTheRecord) {
  BootWithAllRights();
  Open(174);
  Keys("11");
  EXPECT_TRUE(Shows("AT STR:")) << Unit().screen();
  for (char c : std::string(37, 'A')) KeyCode(static_cast<uint16_t>(c));
  KeyCode(LCD_KEY_ENTER);
  EXPECT_TRUE(Records().empty()) << "37 characters do not fit a record";
  EXPECT_EQ(mgr_->CurrentMenu(), Page(174));
  KeyCode(LCD_KEY_BACKSPACE);
  KeyCode(LCD_KEY_ENTER);
  EXPECT_EQ(Records(), (records{{620, "0," + std::string(36, 'A') + "\r"}}));

  // The next visit starts with an empty text.
  InThread([] {
    pl_iterator it;
    it.RemoveAll();
  });
  Open(174);
  Keys("11E");
  EXPECT_EQ(Records(), (records{{620, "0"}}));
}

TEST_F(PeripheralWizardsTest, FrenchTextsWhereThePagesHaveThem) {
  BootWithAllRights();
  Live(50);
  InThread([&] { mgr_->m_dwLanguage = 1; });
  Open(174);
  EXPECT_TRUE(Shows("1) ACCES PAR LIGNE COMMUTEE")) << Unit().screen();
  Keys("1");
  EXPECT_TRUE(Shows("2) SUR LE PORT ACCESSOIRE")) << Unit().screen();
  Keys("2");
  EXPECT_TRUE(Shows("CMD AT:")) << Unit().screen();
  Open(167);
  EXPECT_TRUE(Shows("AJOUTER DETECTEUR DE PORTE")) << Unit().screen();
  Open(155);
  Keys("1");
  EXPECT_TRUE(Shows("AJOUTER CAPTEUR DE LUMINOSITE")) << Unit().screen();
  EXPECT_FALSE(Shows("SENSOR ADDRESS")) << Unit().screen();
}

TEST_F(PeripheralWizardsTest, PinsOutsideTheBoardsRuleStay) {
  BootWithAllRights();
  Live(50);
  Live(51, "FF");
  Live(590);
  Open(157);
  Keys("1");
  // Boards in class order, each by its display name.
  EXPECT_TRUE(Shows("1) PROD BRD IO")) << Unit().screen();
  EXPECT_TRUE(Shows("2) DC I/O 2")) << Unit().screen();
  EXPECT_TRUE(Shows("3) MINI DC I/O 1")) << Unit().screen();
  Keys("2");
  EXPECT_TRUE(Shows("VALID FROM 1->3 OR 17->24")) << Unit().screen();
  Keys("5E");
  EXPECT_TRUE(Records().empty()) << "pin 5 is no output of a board with port 6 out";
  Keys("X");
  Keys("3");
  EXPECT_TRUE(Shows("MUST BE 1")) << Unit().screen();
  Keys("2E");
  EXPECT_TRUE(Records().empty());
  Keys("LL1E");
  EXPECT_EQ(Records(), (records{{510, "20,24E"}}));
}

TEST_F(PeripheralWizardsTest, AnAddedDeviceCannotBeChosenAgain) {
  BootWithAllRights();
  Live(50);
  Record(510, "28,32");
  Open(157);
  EXPECT_TRUE(Shows("1) INTAKE FANS (ADDED)")) << Unit().screen();
  Keys("1");
  EXPECT_FALSE(Shows("ATTACH TO WHICH TARGET")) << Unit().screen();
  Keys("2");
  EXPECT_TRUE(Shows("ATTACH TO WHICH TARGET")) << Unit().screen();
}

TEST_F(PeripheralWizardsTest, PagesShowOnlyWhereTheyCanAddSomething) {
  BootWithAllRights();
  // Pin pages need an I/O board.
  EXPECT_FALSE(Visible(157));
  EXPECT_TRUE(Visible(166)) << "the board page itself needs none";
  Live(590);
  EXPECT_TRUE(Visible(157));
  // One switch per controller, one controller link, one external UPS.
  EXPECT_TRUE(Visible(172));
  Live(650);
  EXPECT_FALSE(Visible(172));
  EXPECT_TRUE(Visible(184));
  Live(792);
  EXPECT_FALSE(Visible(184));
  EXPECT_TRUE(Visible(170));
  Live(21);
  EXPECT_FALSE(Visible(170));
  // Isolation boards, LVDBs and GEN4 supplies with their module family.
  SetNv(nv::quorModuleID, 1);
  EXPECT_FALSE(Visible(181));
  EXPECT_FALSE(Visible(180));
  EXPECT_FALSE(Visible(178));
  SetNv(nv::quorModuleID, kClass4Module);
  EXPECT_TRUE(Visible(181));
  EXPECT_TRUE(Visible(180));
  EXPECT_TRUE(Visible(178));
  // Rights.
  InThread([&] { mgr_->m_dwRights = LCD_RIGHTS_ALL & ~LCD_RIGHT_PERIPHERALS; });
  EXPECT_FALSE(Visible(157));
  EXPECT_FALSE(Visible(166));
}

TEST_F(PeripheralWizardsTest, EscapeFromTheFirstQuestionWritesNothing) {
  BootWithAllRights();
  Live(50);
  Open(LCD_MENU_MAIN);
  Open(172);
  Keys("11X");
  EXPECT_TRUE(Shows("ATTACH TO WHICH TARGET")) << Unit().screen();
  Keys("XX");
  EXPECT_NE(mgr_->CurrentMenu(), Page(172));
  EXPECT_TRUE(Records().empty());
}

}  // namespace
