// The radio-link pages of the central port and the trap switches through
// the simulated unit (the running PMPP link is checked in the whole
// controller).
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/bus/subscriber.h"
#include "panel/pages/trap_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

std::string Stored() {
  uint32_t n = 0;
  const uint8_t* p = g_pDataBase->GetString(nv::quorTrapsEnterpriseSpecific.offset, 4, g_pDataBase->mib_nv, &n);
  return std::string(reinterpret_cast<const char*>(p), n);
}

std::string TrapLine(const std::string& text, bool on) {
  std::string s = text;
  s.resize(35, ' ');
  return Line(s + (on ? " ON" : "OFF"));
}

class TrapPagesTest : public PanelTest {
 protected:
  static constexpr CLCD_MenuId kTraps = 70;
  static constexpr CLCD_MenuId kRdiList = 96;
  static constexpr CLCD_MenuId kRdiSettings = 97;
  static constexpr CLCD_MenuId kCentralPort = 99;

  bool Shows(const std::string& text) { return Unit().screen().find(text) != std::string::npos; }
  bool UpArrow() { return Unit().pixel(235, 24); }
  bool DownArrow() { return Unit().pixel(235, 32); }
};

TEST_F(TrapPagesTest, SwitchesToggleTheirBitsAndStoreTheShortestArray) {
  BootWithAllRights();
  SetNvText(nv::quorTrapsEnterpriseSpecific, std::string("\x01\x00\x00", 3));
  Open(kTraps);
  EXPECT_EQ(Unit().line(1), Centred("TRAP CONFIGURATION"));
  EXPECT_EQ(Unit().line(2), TrapLine("1) MAX TEMP REACHED", true));
  EXPECT_EQ(Unit().line(7), TrapLine("6) REACTIVATE TEMP REACHED", false));
  EXPECT_FALSE(UpArrow());
  EXPECT_TRUE(DownArrow());

  // Every trap off: nothing is stored.
  PressKeys({pad('1')});
  EXPECT_EQ(Unit().line(2), TrapLine("1) MAX TEMP REACHED", false));
  EXPECT_EQ(Stored(), "");

  PressKeys({LCD_PAD_DOWN, LCD_PAD_DOWN});
  EXPECT_EQ(Unit().line(3), TrapLine("2) UPS BATTERY LOW", false));
  EXPECT_EQ(Unit().line(6), kBlank);
  EXPECT_EQ(Unit().line(7), kBlank);
  EXPECT_TRUE(UpArrow());
  EXPECT_FALSE(DownArrow());
  PressKeys({pad('2')});
  EXPECT_EQ(Stored(), std::string("\x00\x00\x01", 3));
  EXPECT_EQ(Unit().line(3), TrapLine("2) UPS BATTERY LOW", true));
  // The empty lines change nothing; the last page stays the last.
  PressKeys({pad('5'), pad('6'), LCD_PAD_DOWN});
  EXPECT_EQ(Stored(), std::string("\x00\x00\x01", 3));
  EXPECT_EQ(Unit().line(3), TrapLine("2) UPS BATTERY LOW", true));

  // Page 2: the bits of byte 0 and byte 1 side by side.
  PressKeys({LCD_PAD_UP, pad('1'), pad('3')});
  EXPECT_EQ(Unit().line(2), TrapLine("1) UPS RUNNING OFF BATTERY POWER", true));
  EXPECT_EQ(Stored(), std::string("\x80\x08\x01", 3));
  PressKeys({LCD_PAD_UP, LCD_PAD_UP});
  EXPECT_FALSE(UpArrow());
  EXPECT_EQ(Unit().line(2), TrapLine("1) MAX TEMP REACHED", false));

  KeyCode(LCD_KEY_ESC);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, kTraps);
}

TEST_F(TrapPagesTest, EnterReadsTheStoredArray) {
  BootWithAllRights();
  SetNvText(nv::quorTrapsEnterpriseSpecific, std::string("\x00\x40", 2));
  Open(kTraps);
  PressKeys({LCD_PAD_DOWN});
  EXPECT_EQ(Unit().line(7), TrapLine("6) PIXEL FAILURES", true));
  EXPECT_EQ(Unit().line(6), TrapLine("5) FAN FAILURES", false));
  // A new visit starts on the first page with what is stored now.
  SetNvText(nv::quorTrapsEnterpriseSpecific, std::string("\x02", 1));
  Open(kTraps);
  EXPECT_EQ(Unit().line(3), TrapLine("2) DOOR OPENED", true));
  PressKeys({pad('1')});
  EXPECT_EQ(Stored(), std::string("\x03", 1));
}

TEST_F(TrapPagesTest, RdiListOnlyWithTheRadioProtocolOnTheCentralPort) {
  BootWithAllRights();
  CMenuItem* rdi = nullptr;
  InThread([&] { rdi = mgr_->FindMenu(kRdiList, nullptr); });
  ASSERT_NE(rdi, nullptr);
  const struct {
    uint32_t protocol;
    uint32_t rights;
    bool visible;
  } rows[] = {{14, LCD_RIGHTS_ALL, true}, {1, LCD_RIGHTS_ALL, false}, {14, ~LCD_RIGHT_COMMUNICATION, false}};
  for (const auto& r : rows) {
    SetNv(nv::quorCommConfigProtocol(0), r.protocol);
    InThread([&] {
      mgr_->m_dwRights = r.rights;
      EXPECT_EQ(rdi->HasRights(mgr_), r.visible) << r.protocol;
    });
  }
}

TEST_F(TrapPagesTest, RdiSettingsStoreTheThreeValuesWithinTheirRules) {
  BootWithAllRights();
  SetNv(nv::quorCommConfigProtocol(0), 14);
  Open(kRdiSettings);
  EXPECT_TRUE(Shows("LOGICAL ID")) << Unit().screen();
  TypeDigits("65536");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_TRUE(Shows("LOGICAL ID")) << "65536 is refused";
  PressKeys({LCD_PAD_LEFT});
  PressKeys({LCD_PAD_ENTER});
  EXPECT_TRUE(Shows("ACK2 TIMEOUT")) << Unit().screen();
  EXPECT_TRUE(Shows("MILLISECONDS")) << Unit().screen();
  TypeDigits("4500");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_TRUE(Shows("NUMBER OF RETRIES")) << Unit().screen();
  TypeDigits("5");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_TRUE(Shows("NUMBER OF RETRIES")) << "5 retries are refused";
  EXPECT_EQ(Nv(nv::quorRdiLid), 0u);
  PressKeys({LCD_PAD_LEFT});
  TypeDigits("4");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::quorRdiLid), 6553u);
  EXPECT_EQ(Nv(nv::quorRdiAck2Timeout), 4500u);
  EXPECT_EQ(Nv(nv::quorRdiRetries), 4u);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, kRdiSettings);
  Open(kRdiList);
  EXPECT_EQ(Unit().line(1), Centred("RDI OPTIONS"));
  EXPECT_TRUE(Shows("6553,4500,4")) << Unit().screen();
  EXPECT_EQ(Unit().line(8), Centred("* = TAKES EFFECT ON NEXT BOOT"));
}

// A controller-address page that only keeps its changed flag.
class address_page : public CLCD_SimpleIPAddrBase {
 public:
  explicit address_page(CLCD_MenuId id) : CLCD_SimpleIPAddrBase(id, "CONTROLLER IP ADDRESS", "", 0) {}
  void LoadValue() override {}
  void StoreValue(CLCD_Manager*) override {}
};
CMenuItem* create_address_page(CLCD_MenuId id, uint32_t) { return new (std::nothrow) address_page(id); }
const class_descriptor kAddressPage = {78, create_address_page};

TEST_F(TrapPagesTest, LeavingTheRdiListWithANewAddressAsksForTheNetworkRestart) {
  ASSERT_TRUE(lcd_add_page_class(&kAddressPage));
  static const uint32_t kLetters[] = {MSG_NETWORK_CONFIG_CHANGED, 0};
  subscriber inbox(&g_post_office, nullptr, 0, nullptr);
  ASSERT_TRUE(inbox.Subscribe(kLetters));
  auto letters = [&] {
    uint32_t n = 0;
    letter_s* l = nullptr;
    while (inbox.Receive(&l)) {
      ++n;
      inbox.Release(l);
    }
    return n;
  };
  BootWithAllRights();
  SetNv(nv::quorCommConfigProtocol(0), 14);
  Open(kCentralPort);
  Open(kRdiList);
  CMenuItem* address = nullptr;
  InThread([&] { address = mgr_->FindMenu(132, nullptr); });
  ASSERT_NE(address, nullptr);
  // Into the address page and back with no change: nothing.
  PressKeys({pad('1')});
  EXPECT_EQ(mgr_->CurrentMenu(), address);
  KeyCode(LCD_KEY_ESC);
  KeyCode(LCD_KEY_ESC);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, kCentralPort);
  EXPECT_EQ(letters(), 0u);
  // With a changed address, leaving the list (not into one of its pages)
  // asks for the restart.
  Open(kRdiList);
  static_cast<address_page*>(address)->m_byChanged = 1;
  PressKeys({pad('1')});
  EXPECT_EQ(letters(), 0u) << "into one of its pages";
  KeyCode(LCD_KEY_ESC);
  KeyCode(LCD_KEY_ESC);
  EXPECT_EQ(letters(), 1u);
  inbox.Unsubscribe();
}

}  // namespace
