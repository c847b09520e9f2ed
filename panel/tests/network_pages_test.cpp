// The IP SETTINGS pages through the simulated unit: what each stores, the
// lock under DHCP, the marks of changes that wait for the restart, and
// which changes make leaving the list restart the controller.
#include <string>
#include <vector>

#include "comm/comm_task.h"
#include "frame/bus/post_office.h"
#include "frame/bus/subscriber.h"
#include "panel/lcd_manager.h"
#include "panel/pages/network_pages.h"
#include "panel/tests/logged_in_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

constexpr uint32_t ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) { return a << 24 | b << 16 | c << 8 | d; }

class NetworkPagesTest : public LoggedInPanelTest {
 protected:
  void SetUp() override {
    LoggedInPanelTest::SetUp();
    saved_ = interface_settings;
    interface_settings = {ip(10, 1, 2, 3), ip(255, 255, 0, 0), ip(10, 1, 0, 1), ip(10, 9, 9, 9)};
  }
  void TearDown() override {
    TearDownListener();
    interface_settings = saved_;
    LoggedInPanelTest::TearDown();
  }
  void Reboot() {
    if (mgr_) InThread([this] { delete mgr_; });
    mgr_ = nullptr;
    Boot();
  }
  void Store(CLCD_MenuId page, const std::string& digits) {
    Open(page);
    TypeDigits(digits);
    PressKeys({LCD_PAD_ENTER});
  }
  std::string ValueOf(const std::string& name) { return EntryValue(Unit().screen(), name); }
  // Letters MSG_NETWORK_CONFIG_CHANGED published since the last call.
  uint32_t RestartLetters() {
    uint32_t n = 0;
    InThread([&] {
      letter_s* letter = nullptr;
      while (listener_->Receive(&letter)) {
        if (letter->Id() == MSG_NETWORK_CONFIG_CHANGED) ++n;
        listener_->Release(letter);
      }
    });
    return n;
  }
  void Listen() {
    listener_ = std::make_unique<subscriber>(&g_post_office, nullptr, 1, nullptr);
    InThread([&] { ASSERT_EQ(listener_->Subscribe(kIds), 1); });
  }
  void TearDownListener() {
    if (listener_) InThread([&] { listener_->Unsubscribe(); });
    listener_.reset();
  }

  static constexpr uint32_t kIds[2] = {MSG_NETWORK_CONFIG_CHANGED, 0};
  interface_settings_s saved_{};
  std::unique_ptr<subscriber> listener_;
};

TEST_F(NetworkPagesTest, AChangedAddressIsMarkedWhileTheOneInUseStays) {
  Boot();
  Store(132, "010001002009");
  EXPECT_EQ(V(vol::ipAdEntAddr), ip(10, 1, 2, 9));
  EXPECT_EQ(interface_settings.address, ip(10, 1, 2, 3));
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 131);
  EXPECT_EQ(ValueOf("CONTROLLER IP ADDRESS"), "10.1.2.9*");
  EXPECT_EQ(ValueOf("CONTROLLER SUBNET"), "255.255.0.0");
  Open(132);
  EXPECT_EQ(Unit().line(2), Centred("CURRENT:10.1.2.3"));

  // The central system's address is shown as stored, never marked.
  Open(131);
  Store(136, "192168001010");
  EXPECT_EQ(Nv(nv::quorRemoteIPAddress), ip(192, 168, 1, 10));
  EXPECT_EQ(ValueOf("CENTRAL IP ADDRESS"), "192.168.1.10");
}

TEST_F(NetworkPagesTest, UnderDhcpTheControllerAddressesAreLocked) {
  SetNv(nv::quorEthernetMode, 2);
  Boot();
  for (CLCD_MenuId page : {132, 134, 135}) {
    SCOPED_TRACE(page);
    SetV(vol::ipAdEntAddr, 0);
    Store(page, "010001002009");
    EXPECT_EQ(Unit().line(4), Centred("UNABLE TO MODIFY DUE TO ETHERNET MODE"));
    EXPECT_EQ(V(vol::ipAdEntAddr), 0u);
    EXPECT_EQ(V(vol::ipAdEntNetMask), 0u);
    EXPECT_EQ(V(vol::ipRouteDest), 0u);
  }
  Store(209, "010001002009");
  EXPECT_EQ(Nv(nv::quorNTPIPAddress), ip(10, 1, 2, 9));
  Store(136, "010001002008");
  EXPECT_EQ(Nv(nv::quorRemoteIPAddress), ip(10, 1, 2, 8));
}

TEST_F(NetworkPagesTest, PortsAndPollTimeFromOneTo65535) {
  Boot();
  const struct {
    CLCD_MenuId page;
    db_object object;
  } pages[] = {{133, nv::quorHostIPPort}, {137, nv::quorRemoteIPPort}, {210, nv::quorNTPPollTime}};
  for (const auto& p : pages) {
    SetNv(p.object, 7);
    for (const char* refused : {"0", "65536"}) {
      Store(p.page, refused);
      EXPECT_EQ(Nv(p.object), 7u) << p.page << " " << refused;
      EXPECT_EQ(Unit().line(6), Centred("INVALID ENTRY"));
    }
    for (const char* typed : {"1", "65535"}) {
      Store(p.page, typed);
      EXPECT_EQ(std::to_string(Nv(p.object)), typed) << p.page;
    }
  }
  Open(133);
  EXPECT_EQ(Unit().line(2), Centred("RESTRICTIONS:MIN 1, MAX 65535"));
  EXPECT_EQ(Unit().line(4).substr(9, 5), "PORT:");
  Open(131);
  EXPECT_EQ(ValueOf("CONTROLLER IP PORT"), "65535*");
  EXPECT_EQ(ValueOf("CENTRAL IP PORT"), "65535");
}

TEST_F(NetworkPagesTest, ServicesSetTheirBitsWithoutNotice) {
  SetNv(nv::quorFeatureSet, 0x100 | 0x04);
  Boot();
  const struct {
    CLCD_MenuId page;
    char choice;
    uint32_t features;
  } cases[] = {{200, '2', 0x10C}, {202, '1', 0x108}, {201, '2', 0x118}, {208, '2', 0x158}, {201, '1', 0x148}};
  for (const auto& c : cases) {
    Open(c.page);
    PressKeys({pad(c.choice)});
    EXPECT_EQ(Nv(nv::quorFeatureSet), c.features) << c.page;
  }
  Open(131);
  PressKeys({LCD_PAD_DOWN});
  EXPECT_EQ(ValueOf("TELNET INTERFACE"), "ENABLE*");
  EXPECT_EQ(ValueOf("ICMP(PING) INTERFACE"), "DISABLE*");
  EXPECT_EQ(ValueOf("WEB LCD INTERFACE"), "DISABLE*");
  EXPECT_EQ(Unit().line(8), Centred("* = TAKES EFFECT ON NEXT BOOT"));
}

TEST_F(NetworkPagesTest, EthernetModeIsStaticUnlessTwo) {
  Boot();
  Open(139);
  PressKeys({pad('2')});
  EXPECT_EQ(Nv(nv::quorEthernetMode), 2u);
  Open(126);
  EXPECT_EQ(ValueOf("ETHERNET MODE"), "DYNAMIC");
  mgr_->m_dwLanguage = 1;
  SetNv(nv::quorEthernetMode, 0);
  Open(126);
  EXPECT_EQ(ValueOf("ADRESSE ETHERNET"), "STATIQUE");
}

// Leaving IP SETTINGS restarts the controller (the letter) after a change
// that only a start applies; opening one of its pages does not.
TEST_F(NetworkPagesTest, LeavingTheListAfterABootSettingRestarts) {
  const struct {
    CLCD_MenuId page;
    const char* keys;
    uint32_t letters;
  } cases[] = {
      {200, "2", 0},   {202, "2", 0},   {136, "010001002008", 0}, {137, "99", 0},
      {210, "99", 0},  {201, "2", 1},   {208, "2", 1},            {133, "99", 1},
      {132, "010001002009", 1},         {134, "255255255000", 1}, {135, "010001000002", 1},
      {209, "010001002007", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    TearDownListener();
    Reboot();
    Listen();
    Open(131);
    Open(c.page);
    TypeDigits(c.keys);
    if (std::string(c.keys).size() > 1) PressKeys({LCD_PAD_ENTER});
    ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 131);
    EXPECT_EQ(RestartLetters(), 0u);
    KeyCode(LCD_KEY_ESC);
    EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 126);
    EXPECT_EQ(RestartLetters(), c.letters);
  }
}

}  // namespace
