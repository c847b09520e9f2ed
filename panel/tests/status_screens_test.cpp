// The status screens under "*** SYSTEM ERRORS ***", through the simulated
// unit: which are offered for which error bits, and each body.
#include <memory>
#include <string>
#include <vector>

#include "comm/comm_task.h"
#include "panel/pages/status_screens.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/pl_factory.h"

namespace {

using namespace screen_text;

class StatusScreenTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    MakeManager();
    Start();
    LoginWithPin({3, 7, 11, 2});  // 1 2 3 4
    ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  }
  void Open(CLCD_MenuId id) {
    CMenuItem* from = mgr_->CurrentMenu();
    InThread([&] { ASSERT_TRUE(mgr_->ActivateMenu(id, from, false)); });
    Tick();
  }
  static void SetVBytes(db_object o, const std::string& bytes) {
    Db().SetString(o.offset, 4, bytes.data(), static_cast<uint32_t>(bytes.size()), Db().mib_v, DB_NO_VALIDATE);
  }
  void French() {
    mgr_->m_dwLanguage = 1;
    mgr_->RequestRedraw(LCD_DRAW_FULL);
    Tick();
  }
};

TEST_F(StatusScreenTest, EachScreenIsOfferedOnlyWhileItsBitIsSet) {
  const struct {
    CLCD_MenuId id;
    uint32_t bits;
  } screens[] = {{141, 0x1},   {142, 0x2},   {143, 0x4},    {144, 0x8},    {145, 0x40},    {146, 0x80},
                 {147, 0x100}, {148, 0xA00}, {149, 0x400},  {150, 0x2000}, {151, 0x4000}};
  for (const auto& s : screens) {
    CMenuItem* page = mgr_->FindMenu(s.id, nullptr);
    ASSERT_NE(page, nullptr) << s.id;
    EXPECT_EQ(page->m_dwRights, 0u);
    SetV(vol::shortErrorStatus, 0);
    EXPECT_FALSE(page->HasRights(mgr_)) << s.id;
    SetV(vol::shortErrorStatus, 0xFFFF & ~s.bits);
    EXPECT_FALSE(page->HasRights(mgr_)) << s.id;
    // Any one of its bits is enough.
    for (uint32_t bit = 1; bit <= 0x8000; bit <<= 1) {
      if (!(s.bits & bit)) continue;
      SetV(vol::shortErrorStatus, bit);
      EXPECT_TRUE(page->HasRights(mgr_)) << s.id << " bit " << bit;
    }
  }

  // The list offers the power and temperature screens for 0x0804...
  SetV(vol::shortErrorStatus, 0x0804);
  Open(LCD_MENU_SYSTEM_ERRORS);
  EXPECT_EQ(Unit().screen(), Screen({Centred("*** SYSTEM ERRORS ***"), Line("1) POWER SUPPLY ERROR STATUS"),
                                     Line("2) TEMPERATURE WARNING STATUS"), kBlank, kBlank, kBlank, kBlank, kBlank}));
  // ... and the temperature screen for 0x0200 alone.
  SetV(vol::shortErrorStatus, 0x0200);
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().line(2), Line("1) TEMPERATURE WARNING STATUS"));
  EXPECT_EQ(Unit().line(3), kBlank);
  PressKeys({3});  // '1'
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 148);
  EXPECT_EQ(Unit().line(1), Centred("TEMPERATURE WARNING STATUS"));
  // ESC, not handled by the screen, goes back to the list.
  PressKeys({LCD_PAD_CANCEL});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_SYSTEM_ERRORS);
}

TEST_F(StatusScreenTest, PowerSuppliesListTheFailedRows) {
  SetV(vol::shortErrorStatus, 0x4);
  SetV(vol::dmsPowerNumRows, 6);
  for (uint32_t r = 0; r < 6; ++r) {
    SetVBytes(vol::dmsPowerDescription(r), "PS" + std::to_string(r));
    SetVBytes(vol::dmsPowerMfrStatus(r), r == 1 ? "LOW" : "FUSE");
  }
  SetVBytes(vol::dmsPowerFailureStatusMap, std::string("\x12", 1));  // rows 1 and 4
  Open(143);
  EXPECT_EQ(Unit().screen(), Screen({Centred("POWER SUPPLY ERROR STATUS"), Line("1) PS1 - LOW"),
                                     Line("2) PS4 - FUSE"), kBlank, kBlank, kBlank, kBlank, kBlank}));
  French();
  EXPECT_EQ(Unit().line(1), Centred("ERREUR D'ALIMENTATION"));

  // No failure bit, and a missing map, both read as all passed.
  for (const std::string& map : {std::string("\0", 1), std::string()}) {
    SetVBytes(vol::dmsPowerFailureStatusMap, map);
    mgr_->RequestRedraw(LCD_DRAW_PARTIAL);
    Tick();
    EXPECT_EQ(Unit().line(2), Line("ALL POWER SUPPLIES PASSED"));
    EXPECT_EQ(Unit().line(3), kBlank);
  }
  // A row count beyond the map reads the missing bytes as clear.
  SetV(vol::dmsPowerNumRows, 255);
  SetVBytes(vol::dmsPowerFailureStatusMap, std::string("\x01", 1));
  mgr_->RequestRedraw(LCD_DRAW_PARTIAL);
  Tick();
  EXPECT_EQ(Unit().line(2), Line("1) PS0 - FUSE"));
  EXPECT_EQ(Unit().line(3), kBlank);
}

// The attached-device screen walks the peripheral task's live list.
class AttachedDeviceTest : public StatusScreenTest {
 protected:
  class device : public CPeripheral {
   public:
    device(uint8_t class_code, uint16_t type_id) : CPeripheral(class_code, type_id) {}
    void Poll() override {}
  };
  static CPeripheral* Create(const pl_record& record) {
    return new (std::nothrow) device(record.class_code, record.type_id);
  }
  void SetUp() override {
    StatusScreenTest::SetUp();
    InThread([this] {
      task_ = std::make_unique<CPeripheralTask>(&g_post_office);
      for (const pl_creator& row : kRows) factory_.Register(&row);
      ASSERT_EQ(task_->Mediator().Open(&factory_, this), 1);
    });
    g_pPeripheralTask = task_.get();
  }
  void TearDown() override {
    g_pPeripheralTask = nullptr;
    InThread([this] {
      task_->Mediator().Close();
      task_.reset();
    });
    StatusScreenTest::TearDown();
  }
  void Add(uint16_t type_id, uint8_t state) {
    InThread([&] {
      ASSERT_EQ(task_->Mediator().Create(type_id, nullptr), 1);
      CPeripheral* p = nullptr;
      task_->Mediator().Find(type_id, &p);
      ASSERT_NE(p, nullptr);
      p->m_byState = state;
    });
  }
  static std::string Name(uint16_t type_id) { return peripheral_type_name(type_id); }

  static constexpr pl_creator kRows[] = {
      {PCLASS_DCIO, Create}, {PCLASS_MINI_DCIO, Create}, {PCLASS_CAN_PRODUCT_BOARD, Create},
      {PCLASS_UPS, Create},  {PCLASS_DOOR, Create},     {PCLASS_FAN_RPM, Create}};
  pl_factory factory_;
  std::unique_ptr<CPeripheralTask> task_;
};

TEST_F(AttachedDeviceTest, EightFailedDevicesTakeTwoPages) {
  SetV(vol::shortErrorStatus, 0x8);
  // Live-list order differs from the screen's class order: the board, the
  // door switches, the DC I/O boards, then the mini DC I/O boards.
  Add(170, 3);
  for (uint16_t t = 50; t <= 54; ++t) Add(t, 3);
  Add(30, 3);
  Add(610, 3);
  Open(144);
  EXPECT_EQ(Unit().screen(),
            Screen({Centred("ATTACHED DEVICE ERROR STATUS"), Line(Name(610) + " COMM ERR"),
                    Line(Name(30) + " COMM ERRORS"), Line(Name(50) + " COMM ERRORS"), Line(Name(51) + " COMM ERRORS"),
                    Line(Name(52) + " COMM ERRORS"), Line(Name(53) + " COMM ERRORS"), Centred("(MORE)")}));
  PressKeys({LCD_PAD_DOWN});
  EXPECT_EQ(Unit().screen(), Screen({Centred("ATTACHED DEVICE ERROR STATUS"), Line(Name(54) + " COMM ERRORS"),
                                     Line(Name(170) + " COMM ERRORS"), kBlank, kBlank, kBlank, kBlank, kBlank}));
  // The last page: a further DOWN does nothing.
  PressKeys({LCD_PAD_DOWN});
  EXPECT_EQ(Unit().line(2), Line(Name(54) + " COMM ERRORS"));
  PressKeys({LCD_PAD_UP});
  EXPECT_EQ(Unit().line(2), Line(Name(610) + " COMM ERR"));
  EXPECT_EQ(Unit().line(8), Centred("(MORE)"));
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 144);
}

TEST_F(AttachedDeviceTest, OnlyDevicesInCommErrorAreListed) {
  SetV(vol::shortErrorStatus, 0x8);
  Add(610, 6);
  Add(20, 4);  // a UPS reading, not in COMM ERROR
  Open(144);
  EXPECT_EQ(Unit().screen(), Screen({Centred("ATTACHED DEVICE ERROR STATUS"), Line("NO ATTACHED DEVICE ERRORS"),
                                     kBlank, kBlank, kBlank, kBlank, kBlank, kBlank}));
  PressKeys({LCD_PAD_DOWN});
  EXPECT_EQ(Unit().line(2), Line("NO ATTACHED DEVICE ERRORS"));
  // The UPS loses its link: listed at the next redraw.
  InThread([this] { task_->GetPeripheral(20)->m_byState = 3; });
  mgr_->RequestRedraw(LCD_DRAW_PARTIAL);
  Tick();
  EXPECT_EQ(Unit().line(2), Line(Name(20) + " COMM ERRORS"));
  // A fan-speed sensor that went silent is an attached device too.
  Add(730, 3);
  mgr_->RequestRedraw(LCD_DRAW_PARTIAL);
  Tick();
  EXPECT_EQ(Unit().line(3), Line(Name(730) + " COMM ERRORS"));
}

TEST_F(StatusScreenTest, MessageAndControllerErrorsInBothLanguages) {
  SetV(vol::shortErrorStatus, 0x180);
  const struct {
    uint32_t value;
    const char* en;
    const char* fr;
  } messages[] = {{9, "LOCAL MODE", "MODE LOCAL"},
                  {1, "OTHER ERROR", "AUTRE ERREUR"},
                  {11, "CENTRAL OVERRIDE MODE", "INTERRUPTION DU CENTRAL"}};
  Open(146);
  for (const auto& m : messages) {
    SetNv(nv::dmsActivateMsgError, m.value);
    mgr_->m_dwLanguage = 0;
    mgr_->RequestRedraw(LCD_DRAW_FULL);
    Tick();
    EXPECT_EQ(Unit().screen(), Screen({Centred("MESSAGE ERROR STATUS"), kBlank, Line(m.en), kBlank, kBlank, kBlank,
                                       kBlank, kBlank}));
    French();
    EXPECT_EQ(Unit().line(1), Centred("ERREUR DE MESSAGE"));
    EXPECT_EQ(Unit().line(3), Line(m.fr));
  }
  // A value outside the table has no text.
  SetNv(nv::dmsActivateMsgError, 12);
  French();
  EXPECT_EQ(Unit().line(3), kBlank);

  mgr_->m_dwLanguage = 0;
  SetV(vol::controllerErrorStatus, 16);
  Open(147);
  EXPECT_EQ(Unit().screen(), Screen({Centred("CONTROLLER ERROR STATUS"), Line("DISPLAY INTERFACE ERROR"), kBlank,
                                     kBlank, kBlank, kBlank, kBlank, kBlank}));
  // Several bits: one line each.
  SetV(vol::controllerErrorStatus, 0x0A);
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().line(2), Line("PROM ERROR"));
  EXPECT_EQ(Unit().line(3), Line("RAM ERROR"));
  French();
  EXPECT_EQ(Unit().line(1), Centred("ERREUR DU CONTROLLEUR"));
  EXPECT_EQ(Unit().line(2), Line("ERREUR PROM"));
}

TEST_F(StatusScreenTest, TemperatureWarnings) {
  SetV(vol::shortErrorStatus, 0x800);
  SetV(vol::dmsTempSensorNumRows, 3);
  for (uint32_t r = 0; r < 3; ++r) SetVBytes(vol::dmsTempSensorDescription(r), "SENSOR" + std::to_string(r));
  SetV(vol::dmsTempSensorHighCriticalTemperature(0), 80);
  SetV(vol::dmsTempSensorHighCriticalTemperature(2), 85);
  SetV(vol::tempReading(0), 82);
  SetV(vol::tempReading(2), 71);
  SetVBytes(vol::tempCriticalMap, std::string("\x04", 1));  // row 2
  SetVBytes(vol::tempWarningMap, std::string("\x00", 1));

  // No shut-off temperature: only the shut-off line.
  SetNv(nv::quorShutOffTemp, 0);
  Open(148);
  EXPECT_EQ(Unit().screen(), Screen({Centred("TEMPERATURE WARNING STATUS"), Line("1) SHUTDOWN TEMP SET AT 0C"),
                                     kBlank, kBlank, kBlank, kBlank, kBlank, kBlank}));

  SetNv(nv::quorShutOffTemp, 85);
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().screen(), Screen({Centred("TEMPERATURE WARNING STATUS"), Line("1) SENSOR2 - CRITICAL AT 71C"),
                                     kBlank, kBlank, kBlank, kBlank, kBlank, kBlank}));
  // Row 0 warns, but its limit is below the shut-off: counted, left empty.
  SetVBytes(vol::tempWarningMap, std::string("\x01", 1));
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().line(2), kBlank);
  EXPECT_EQ(Unit().line(3), Line("2) SENSOR2 - CRITICAL AT 71C"));
  // A warning row within the limits, and a reading below zero.
  SetV(vol::dmsTempSensorHighCriticalTemperature(0), 90);
  SetV(vol::tempReading(0), static_cast<uint8_t>(-5));
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().line(2), Line("1) SENSOR0 - WARNING AT -5C"));
  French();
  EXPECT_EQ(Unit().line(1), Centred("AVERTISSEMENT DE TEMPERATURE"));
}

TEST_F(StatusScreenTest, DoorsAndTheirClosing) {
  SetV(vol::shortErrorStatus, 0x2000);
  SetV(vol::dmsStatDoorOpen, 0x05);
  Open(150);
  EXPECT_EQ(Unit().screen(), Screen({Centred("DOOR OPEN STATUS"), Line("DOOR 1 OPEN"), Line("DOOR 3 OPEN"), kBlank,
                                     kBlank, kBlank, kBlank, kBlank}));
  // The bit clears while the screen is open: it stays and says so.
  SetV(vol::shortErrorStatus, 0);
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 150);
  EXPECT_EQ(Unit().line(2), Line("NO DOORS OPEN"));
  French();
  EXPECT_EQ(Unit().line(1), Centred("PORTE OUVERTE"));
  EXPECT_EQ(Unit().line(2), Line("AUCUNE PORTE OUVERTE"));
  // All eight doors: the eighth shares the last line.
  SetV(vol::shortErrorStatus, 0x2000);
  SetV(vol::dmsStatDoorOpen, 0xFF);
  mgr_->m_dwLanguage = 0;
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().line(8), Line("DOOR 7 OPEN         DOOR 8 OPEN"));
}

TEST_F(StatusScreenTest, CommunicationLossShowsTheLastContact) {
  SetV(vol::shortErrorStatus, 0x2);
  g_comm_task.SetLastCommTimestamp(0);
  Open(142);
  EXPECT_EQ(Unit().screen(), Screen({Centred("COMM ERROR STATUS"), kBlank, Centred("COMM LOST WITH CENTRAL..."), kBlank,
                                     Centred("LAST CONNECTION OCCURRED AT:"),
                                     Centred("01/01/1970 @ 00:00:00 (GMT)"), kBlank, kBlank}));
  g_comm_task.SetLastCommTimestamp(1268524800 + 13 * 3600 + 5 * 60 + 9);  // 2010-03-14 13:05:09
  French();
  EXPECT_EQ(Unit().screen(), Screen({Centred("ERREUR DE COMMUNICATION"), kBlank,
                                     Centred("PERTE DE COMMUNICATION AVEC CENTRAL..."), kBlank,
                                     Centred("DERNIERE CONNECTION A:"), Centred("03/14/2010 @ 13:05:09 (GMT)"), kBlank,
                                     kBlank}));
  g_comm_task.SetLastCommTimestamp(0);
}

TEST_F(StatusScreenTest, SensorListsAndTheirNoneTexts) {
  SetV(vol::shortErrorStatus, 0x4441);

  Open(141);
  EXPECT_EQ(Unit().line(1), Centred("OTHER ERROR STATUS"));
  EXPECT_EQ(Unit().line(2), Line("NO EXTENDED STATUS"));
  French();
  EXPECT_EQ(Unit().line(1), Centred("AUTRES ERREURS"));
  EXPECT_EQ(Unit().line(2), Line("AUCUNE INFORMATION ETENDUE"));
  mgr_->m_dwLanguage = 0;

  // Climate: the none text is on line 3, line 2 stays empty.
  SetV(vol::climateNumRows, 2);
  SetVBytes(vol::climateDescription(1), "INTAKE FAN");
  Open(149);
  EXPECT_EQ(Unit().screen(), Screen({Centred("CLIMATE ERROR STATUS"), kBlank, Line("  NO CLIMATE CONTROL WARNINGS"),
                                     kBlank, kBlank, kBlank, kBlank, kBlank}));
  SetVBytes(vol::climateFailureMap, std::string("\x02", 1));
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().line(2), Line("INTAKE FAN FAILURE"));
  EXPECT_EQ(Unit().line(3), kBlank);

  // Photocells.
  SetV(vol::lightNumRows, 1);
  SetVBytes(vol::lightDescription(0), "EAST");
  Open(145);
  EXPECT_EQ(Unit().line(2), Line("NO PHOTOCELL ERRORS"));
  SetVBytes(vol::lightFailureMap, std::string("\x01", 1));
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().line(2), Line("1) EAST -- COMM ERROR"));
  French();
  EXPECT_EQ(Unit().line(1), Centred("ERREUR DE CELLULE PHOTOELECTRIQUE"));
  EXPECT_EQ(Unit().line(2), Line("1) EAST -- ERREUR DE COMMUNICATION"));
  mgr_->m_dwLanguage = 0;

  // Humidity.
  SetV(vol::humidityNumRows, 2);
  SetVBytes(vol::humidityDescription(1), "SIGN");
  Open(151);
  EXPECT_EQ(Unit().line(2), Line("  NO HUMIDITY WARNINGS"));
  SetVBytes(vol::humidityFailureMap, std::string("\x02", 1));
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().line(2), Line(" 1) SIGN   SENSOR FAILURE"));
  French();
  EXPECT_EQ(Unit().line(1), Centred("AVERTISSEMENT D'HUMIDITE"));
  EXPECT_EQ(Unit().line(2), Line(" 1) DEFAILLANCE DU CAPTEUR SIGN"));
}

TEST_F(StatusScreenTest, DigitsDoNothingAndNeverHoldThePage) {
  SetV(vol::shortErrorStatus, 0x4);
  SetV(vol::dmsPowerNumRows, 8);
  for (uint32_t r = 0; r < 8; ++r) SetVBytes(vol::dmsPowerDescription(r), "PS" + std::to_string(r));
  SetVBytes(vol::dmsPowerFailureStatusMap, std::string("\xFF", 1));
  Open(143);
  EXPECT_EQ(Unit().line(8), Centred("(MORE)"));
  auto* screen = static_cast<CLCD_SimpleErrorMenuBase*>(mgr_->CurrentMenu());
  EXPECT_EQ(screen->m_byItemsOnPage, 6);
  EXPECT_EQ(screen->m_byPageCount, 2);
  const std::string page1 = Unit().screen();
  PressKeys({3});  // '1'
  EXPECT_EQ(Unit().screen(), page1);
  EXPECT_EQ(mgr_->CurrentMenu(), screen);
  PressKeys({LCD_PAD_DOWN});
  EXPECT_EQ(Unit().line(2), Line("1) PS6 - ")) << "the page keys still page";
  EXPECT_EQ(Unit().line(3), Line("2) PS7 - "));
  EXPECT_EQ(screen->m_byItemsOnPage, 2);
  PressKeys({11, LCD_PAD_LEFT});  // '3', LEFT: nothing
  EXPECT_EQ(mgr_->CurrentMenu(), screen);
  PressKeys({LCD_PAD_UP});
  EXPECT_EQ(Unit().line(2), Line("1) PS0 - "));
  // Entering again starts on page 1.
  PressKeys({LCD_PAD_DOWN, LCD_PAD_CANCEL});
  Open(143);
  EXPECT_EQ(Unit().line(2), Line("1) PS0 - "));
}

}  // namespace
