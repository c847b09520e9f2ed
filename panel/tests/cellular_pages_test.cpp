// The cellular modem pages through the simulated unit, with a stand-in of
// the modem task's flags and texts: the detection and activation script,
// the carrier wizards' values, the refusals, and the feature switch.
#include <string>
#include <vector>

#include "comm/modem/modem_task.h"
#include "panel/lcd_manager.h"
#include "panel/pages/cellular_pages.h"
#include "panel/tests/logged_in_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

// What the stand-in task was asked and will answer.
struct fake_task {
  std::vector<uint32_t> requests;
  uint32_t results = 0;
  uint8_t carrier = 2;
} g_task;

void fake_request(uint32_t bits) { g_task.requests.push_back(bits); }
bool fake_take(uint32_t bit) {
  if (!(g_task.results & bit)) return false;
  g_task.results &= ~bit;
  return true;
}
const char* fake_model() { return "CELL MODEM 2"; }
const char* fake_esn() { return "0x5A0C71E2"; }
const char* fake_phone() { return "5551230000"; }
uint8_t fake_carrier() { return g_task.carrier; }
const char* fake_carrier_name() { return g_task.carrier == 2 ? "Sprint PCS Wireless" : "Other"; }
const lcd_modem_source kFake = {fake_request, fake_take,    fake_model,       fake_esn,
                                fake_phone,   fake_carrier, fake_carrier_name};

constexpr uint32_t kFeatureModem = 0x20;

class CellularPagesTest : public LoggedInPanelTest {
 protected:
  void SetUp() override {
    LoggedInPanelTest::SetUp();
    g_task = fake_task();
    lcd_set_modem_source(&kFake);
    SetNv(nv::quorFeatureSet, kFeatureModem);
  }
  void TearDown() override {
    lcd_set_modem_source(nullptr);
    LoggedInPanelTest::TearDown();
  }
  void Answer(uint32_t flags) {
    g_task.results |= flags;
    Tick(2);
  }
  void Type(const std::string& text) {
    for (char c : text) KeyCode(static_cast<uint16_t>(c));
    KeyCode(LCD_KEY_ENTER);
  }
  // The modem page with the modem found.
  void Found() {
    Open(131);
    Open(204);
    Answer(CModemTask::RES_QUERIED);
  }
  std::string VText(uint32_t offset) { return PanelTest::VText(db_object{offset, 4}); }
};

TEST_F(CellularPagesTest, DetectActivateAndSucceed) {
  Boot();
  Open(131);
  Open(204);
  EXPECT_EQ(g_task.requests, (std::vector<uint32_t>{CModemTask::REQ_QUERY}));
  EXPECT_EQ(Unit().line(1), Centred("MODEM CONFIGURATION"));
  EXPECT_EQ(Unit().line(4).substr(0, 26), Centred("DETECTING MODEM...").substr(0, 26));
  Tick(3);
  EXPECT_EQ(Unit().line(4).substr(0, 26), Centred("DETECTING MODEM...").substr(0, 26));

  Answer(CModemTask::RES_QUERIED);
  EXPECT_EQ(Unit().screen(), Screen({Centred("MODEM CONFIGURATION"), Line("MODEM: CELL MODEM 2"), Line("ESN: 0x5A0C71E2"),
                                     Line("NETWORK: Sprint PC PHONE#: 5551230000"), kBlank,
                                     Line("1) ACTIVATE MODEM"), Line("2) EXIT MENU"), kBlank}));

  // Sprint: lock code, directory number and station id, as entered.
  KeyCode('1');
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 207);
  EXPECT_EQ(Unit().line(4).substr(0, 4), "MSL:");
  EXPECT_EQ(Unit().line(8), Centred("PRESS ENTER TO SAVE"));
  Type("123456");
  Type("5551239999");
  Type("000123");
  EXPECT_EQ(VText(17304), "123456");
  EXPECT_EQ(VText(17308), "5551239999");
  EXPECT_EQ(VText(17312), "000123");
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 204);
  EXPECT_EQ(g_task.requests.back(), CModemTask::REQ_ACTIVATE);
  Tick();
  EXPECT_EQ(Unit().line(4).substr(0, 27), Centred("ACTIVATING MODEM...").substr(0, 27));
  EXPECT_EQ(Unit().line(6), Centred("(THIS MAY TAKE SEVERAL MINUTES)"));
  KeyCode('2');
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 204) << "keys wait for the answer";

  Answer(CModemTask::RES_ACTIVATED);
  EXPECT_EQ(Unit().line(4), Centred("SUCCESS"));
  EXPECT_EQ(Unit().line(6), Centred("(PLEASE CYCLE SIGN POWER"));
  EXPECT_EQ(Unit().line(7), Centred("BEFORE USING REMOTE COMMUNICATION)"));
  KeyCode('5');
  EXPECT_EQ(Unit().line(2), Line("MODEM: CELL MODEM 2"));
  EXPECT_EQ(Unit().line(6), Line("1) EXIT MENU"));
  EXPECT_EQ(Unit().line(7), kBlank);
  KeyCode('1');
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 131);
}

TEST_F(CellularPagesTest, CarrierWizardsWriteTheirValues) {
  Boot();
  // GSM: each value ends in a carriage return.
  g_task.carrier = 6;
  Found();
  KeyCode('1');
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 206);
  Type("apn.example");
  Type("user");
  // One line of 30 at the most.
  Type(std::string(31, 'x'));
  EXPECT_EQ(VText(17292), "apn.example\r");
  EXPECT_EQ(VText(17296), "user\r");
  EXPECT_EQ(VText(17300), std::string(30, 'x') + "\r");

  // The first CDMA carrier has a fixed lock code; the buffers start empty.
  g_task.carrier = 1;
  Found();
  KeyCode('1');
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 205);
  EXPECT_EQ(Unit().line(4).substr(0, 5), "MDN: ");
  Type("5550001111");
  Type("42");
  EXPECT_EQ(VText(17304), "417352");
  EXPECT_EQ(VText(17308), "5550001111");
  EXPECT_EQ(VText(17312), "42");
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 204);
}

TEST_F(CellularPagesTest, RefusalsReturnToTheFoundModem) {
  Boot();
  const struct {
    uint32_t flag;
    const char* text;
  } cases[] = {{CModemTask::RES_FAILED, "TIMED OUT"},
               {CModemTask::RES_SIGNAL_WEAK, "INSUFFICENT SIGNAL STRENGTH"},
               {CModemTask::RES_CARRIER_UNSUPPORTED, "NOT SUPPORTED"},
               {CModemTask::RES_NOT_OK, "INVALID COMMAND OR USER DATA"}};
  Found();
  for (const auto& c : cases) {
    Answer(c.flag);
    EXPECT_EQ(Unit().line(4), Centred(c.text));
    EXPECT_EQ(Unit().line(6), Centred("(PRESS ANY KEY TO CONTINUE)"));
    KeyCode(LCD_KEY_ESC);
    EXPECT_EQ(Unit().line(6), Line("1) ACTIVATE MODEM")) << c.text;
  }
  // A carrier without a wizard cannot be activated here.
  g_task.carrier = 3;
  KeyCode('1');
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 204);
  EXPECT_EQ(Unit().line(4), Centred("NOT SUPPORTED"));
}

TEST_F(CellularPagesTest, NoModemOffersAnotherDetection) {
  Boot();
  Open(131);
  Open(204);
  Answer(CModemTask::RES_UNREACHABLE);
  EXPECT_EQ(Unit().line(4), Centred("NO MODEM FOUND"));
  EXPECT_EQ(Unit().line(6), Centred("1) DETECT MODEM"));
  KeyCode('1');
  EXPECT_EQ(g_task.requests, (std::vector<uint32_t>{CModemTask::REQ_QUERY, CModemTask::REQ_QUERY}));
  EXPECT_EQ(Unit().line(4).substr(0, 25), Centred("DETECTING MODEM...").substr(0, 25));
  Answer(CModemTask::RES_UNREACHABLE);
  KeyCode('2');
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 131);

  // Without the modem task nothing answers: no modem.
  lcd_set_modem_source(nullptr);
  Open(204);
  Tick();
  EXPECT_EQ(Unit().line(4), Centred("NO MODEM FOUND"));
}

TEST_F(CellularPagesTest, FrenchPagesShowTheDetectedModem) {
  Boot();
  mgr_->m_dwLanguage = 1;
  Found();
  EXPECT_EQ(Unit().line(2), Line("MODEM: CELL MODEM 2"));
  EXPECT_EQ(Unit().line(4), Line("RESEAU: Sprint PC  TELEPHONE#: 5551230000").substr(0, 40));
  EXPECT_EQ(Unit().line(6), Line("1) ACTIVER LE MODEM"));
  Answer(CModemTask::RES_ACTIVATED);
  EXPECT_EQ(Unit().line(4), Centred("ACTIVATION REUSSIE"));
  KeyCode('9');
  EXPECT_EQ(Unit().line(2), Line("MODEM: CELL MODEM 2"));
  EXPECT_EQ(Unit().line(6), Line("1) QUITTER"));
}

TEST_F(CellularPagesTest, TheFeatureSwitchSetsTheEthernetSideAndRestarts) {
  SetNv(nv::quorFeatureSet, 0x40);
  Boot();
  Open(131);
  EXPECT_EQ(Unit().screen().find("MODEM CONFIGURATION"), std::string::npos);
  const struct {
    char choice;
    uint32_t features, mode, port;
  } cases[] = {{'2', 0x60, 2, 3001}, {'1', 0x40, 1, 161}};
  for (const auto& c : cases) {
    SetNv(nv::dmsSWReset, 0);
    Open(203);
    PressKeys({pad(c.choice)});
    EXPECT_EQ(Nv(nv::quorFeatureSet), c.features);
    EXPECT_EQ(Nv(nv::quorEthernetMode), c.mode);
    EXPECT_EQ(Nv(nv::quorHostIPPort), c.port);
    EXPECT_EQ(Nv(nv::dmsSWReset), 1u);
  }
  SetNv(nv::quorFeatureSet, 0x60);
  Open(131);
  PressKeys({LCD_PAD_DOWN});
  EXPECT_NE(Unit().screen().find("2) MODEM CONFIGURATION"), std::string::npos) << Unit().screen();
  EXPECT_NE(Unit().screen().find("1) MODEM ACTIVATION INTERFACE   ENABLE*"), std::string::npos) << Unit().screen();
}

}  // namespace
