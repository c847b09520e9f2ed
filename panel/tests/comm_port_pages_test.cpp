// The pages of the five port lists through the simulated unit: what each
// stores, what the communication task is told, how the lists show the
// settings, and the status lines of a port.
#include <string>
#include <vector>

#include "panel/lcd_manager.h"
#include "panel/pages/comm_port_pages.h"
#include "panel/tests/logged_in_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class CommPortPagesTest : public LoggedInPanelTest {
 protected:
  // Chooses option n on the page.
  void Choose(CLCD_MenuId page, char n) {
    Open(page);
    PressKeys({pad(n)});
  }
  void Store(CLCD_MenuId page, const std::string& digits) {
    Open(page);
    TypeDigits(digits);
    PressKeys({LCD_PAD_ENTER});
  }
  // The right-hand value of the entry named `name` in the list.
  std::string ValueIn(CLCD_MenuId list, const std::string& name) {
    Open(list);
    return EntryValue(Unit().screen(), name);
  }
};

TEST_F(CommPortPagesTest, EthernetSpeedModesAreStoredAndRestartTheController) {
  Boot();
  const struct {
    char option;
    uint32_t speed, duplex;
    const char* shown;
  } cases[] = {
      {'5', 0x32000000, 6, "100 FULL"}, {'2', 0x05000000, 5, "10 HALF"}, {'3', 0x05000000, 6, "10 FULL"},
      {'4', 0x32000000, 5, "100 HALF"}, {'1', 0x32000000, 4, "AUTO"},  // the speed word stays
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    InThread([] { SetNv(nv::dmsSWReset, 0); });
    Choose(127, c.option);
    EXPECT_EQ(Nv(nv::ifSpeed), c.speed);
    EXPECT_EQ(Nv(nv::quorCommConfigFlowControl(4)), c.duplex);
    EXPECT_EQ(Nv(nv::dmsSWReset), 1u);
    EXPECT_EQ(ValueIn(126, "BAUD RATE"), c.shown);
  }
  // A pair no option names prints nothing.
  InThread([] { SetNv(nv::quorCommConfigFlowControl(4), 5), SetNv(nv::ifSpeed, 1000); });
  EXPECT_EQ(ValueIn(126, "BAUD RATE"), "");
}

TEST_F(CommPortPagesTest, SerialSpeedIsLeftToTheSpeedLetter) {
  Boot();
  InThread([] { SetNv(nv::quorCommPortReinit, 0); });
  Open(107);
  EXPECT_EQ(Unit().line(1), Centred("BAUD RATE"));
  EXPECT_EQ(Unit().line(5).substr(0, 8), "4) 19200");
  PressKeys({pad('4')});
  EXPECT_EQ(Nv(nv::rs232PortInSpeed(1)), 19200u);
  EXPECT_EQ(Nv(nv::quorCommPortReinit), 0u);
  EXPECT_EQ(Nv(nv::dmsSWReset), 0u);
  EXPECT_EQ(ValueIn(106, "BAUD RATE"), "19200");
}

TEST_F(CommPortPagesTest, ProtocolsByPortAndWhatTheListsShow) {
  Boot();
  Open(101);
  EXPECT_EQ(Unit().line(4).substr(0, 16), "3) M/A COM RADIO");
  Open(122);
  EXPECT_EQ(Unit().line(4), kBlank) << "only the CCP has the radio mode";
  Open(128);
  EXPECT_EQ(Unit().line(4).substr(0, 20), "3) TCP/IP AND UDP/IP");

  InThread([] { SetNv(nv::quorCommConfigProtocol(3), 4), SetNv(nv::quorCommPortReinit, 0); });
  Choose(122, '1');
  EXPECT_EQ(Nv(nv::quorCommConfigProtocol(3)), 2u);
  EXPECT_EQ(Nv(nv::quorCommPortReinit), 4u);

  const struct {
    CLCD_MenuId list;
    uint8_t port;
    uint32_t code;
    const char* shown;
  } cases[] = {
      {106, 1, 19, "ALPHA 3500"}, {106, 1, 20, "TRIPPLITE"}, {106, 1, 4, "PPP"},
      {99, 0, 19, "OTHER"},       {99, 0, 14, "M/A COM RADIO"}, {126, 4, 9, "PMPP TCP/IP"},
  };
  for (const auto& c : cases) {
    InThread([&] { SetNv(nv::quorCommConfigProtocol(c.port), c.code); });
    EXPECT_EQ(ValueIn(c.list, "PROTOCOL"), c.shown) << c.code;
  }
}

TEST_F(CommPortPagesTest, HandshakingAndTraps) {
  Boot();
  InThread([] { SetNv(nv::quorCommPortReinit, 0); });
  Choose(109, '5');  // RTS SHAKE RS232E
  EXPECT_EQ(Nv(nv::quorCommConfigFlowControl(1)), 7u);
  EXPECT_EQ(Nv(nv::quorCommPortReinit), 4u);
  EXPECT_EQ(ValueIn(106, "HANDSHAKING"), "RTS SHAKE RS232E");
  InThread([] { SetNv(nv::quorCommConfigFlowControl(1), 5); });
  EXPECT_EQ(ValueIn(106, "HANDSHAKING"), "OTHER");

  Choose(129, '3');  // push over TCP
  EXPECT_EQ(Nv(nv::quorCommConfigTraps(4)), 2u);
  EXPECT_EQ(ValueIn(126, "TRAPS"), "ENABLE PUSH OVER TCP");
  Choose(123, '2');
  EXPECT_EQ(Nv(nv::quorCommConfigTraps(3)), 1u);

  InThread([] { SetNv(nv::quorCommConfigTraps(3), 9); });
  EXPECT_EQ(ValueIn(120, "TRAPS"), "OTHER");
  mgr_->m_dwLanguage = 1;
  EXPECT_EQ(ValueIn(120, "DEROUTEMENTS"), "AUTRE");
  InThread([] { SetNv(nv::quorCommConfigTraps(4), 3); });
  EXPECT_EQ(ValueIn(126, "DEROUTEMENTS"), "UDP");
}

TEST_F(CommPortPagesTest, TimeoutBelow32768) {
  Boot();
  EXPECT_EQ(ValueIn(99, "TIMEOUT"), "DEFAULT");
  Open(104);
  EXPECT_EQ(Unit().line(2), Centred("RESTRICTIONS:< 32768ms"));
  const struct {
    const char* typed;
    uint32_t stored;
  } cases[] = {{"32768", 250}, {"32767", 32767}, {"0", 0}};
  InThread([] { SetNv(nv::quorCommConfigInnerCharTimeout(0), 250); });
  for (const auto& c : cases) {
    InThread([] { SetNv(nv::quorCommPortReinit, 0); });
    Store(104, c.typed);
    EXPECT_EQ(Nv(nv::quorCommConfigInnerCharTimeout(0)), c.stored) << c.typed;
    EXPECT_EQ(Nv(nv::quorCommPortReinit), c.stored == 250 ? 0u : 4u) << c.typed;
  }
  InThread([] { SetNv(nv::quorCommConfigInnerCharTimeout(0), 1500); });
  EXPECT_EQ(ValueIn(99, "TIMEOUT"), "1500ms");
}

TEST(CommPortEndpoints, ProtocolSelectsTheEndpoints) {
  const struct {
    uint8_t port;
    uint32_t protocol;
    std::vector<std::string> names;
  } cases[] = {
      {0, 2, {"ccp_pmpp"}},     {1, 3, {"aux_pmpp"}},        {2, 4, {"modem_ppp"}},
      {3, 5, {"laptop_ppp"}},   {4, 9, {"ethernet_pmpp"}},   {4, 10, {"ethernet_ppp"}},
      {4, 11, {"ethernet_tcp", "ethernet_udp"}},             {0, 14, {}},
      {1, 19, {}},              {5, 2, {}},
  };
  for (const auto& c : cases) {
    const char* names[2] = {};
    const uint32_t n = lcd_port_endpoints(c.port, c.protocol, names);
    ASSERT_EQ(n, c.names.size()) << int(c.port) << "/" << c.protocol;
    for (uint32_t i = 0; i < n; ++i) EXPECT_EQ(names[i], c.names[i]);
  }
  EXPECT_EQ(lcd_port_of_menu(105), LCD_PORT_CCP);
  EXPECT_EQ(lcd_port_of_menu(112), LCD_PORT_AUX);
  EXPECT_EQ(lcd_port_of_menu(116), LCD_PORT_MODEM);
  EXPECT_EQ(lcd_port_of_menu(125), LCD_PORT_LAPTOP);
  EXPECT_EQ(lcd_port_of_menu(138), LCD_PORT_ETHERNET);
}

class PortStatusTest : public CommPortPagesTest {};

TEST_F(PortStatusTest, CallerLinesOnTheModemPortOfOtherBoards) {
  lcd_set_product_board(2);
  Boot();
  InThread([] { SetNv(nv::quorCommConfigProtocol(2), 2); });
  Open(119);
  EXPECT_EQ(mgr_->m_byPeriodicInterval, 4);
  EXPECT_EQ(Unit().line(2).substr(0, 14), "1) COMM RX CNT");
  EXPECT_EQ(EntryValue(Unit().screen(), "COMM RX CNT"), "0") << Unit().screen();
  EXPECT_EQ(Unit().line(6).substr(0, 19), "5) CALLER ID NUMBER");
  EXPECT_EQ(EntryValue(Unit().screen(), "CALLER ID NUMBER"), "N/A");
  EXPECT_EQ(EntryValue(Unit().screen(), "CALLER ID TIME"), "N/A");

  // Called at 2026-03-04 05:06 UTC; local time is 2 hours behind.
  InThread([] {
    SetNvText(nv::quorCallerIDNumber, "5551234");
    SetNv(nv::quorCallerIDTime, 1772600760);
    Db().SetTimeValue(nv::globalTime.offset, 4, 1780000000, Db().mib_nv, 0);
    SetV(vol::controllerLocalTime, 1780000000 - 7200);
  });
  Tick(6);
  EXPECT_EQ(EntryValue(Unit().screen(), "CALLER ID NUMBER"), "5551234");
  EXPECT_EQ(EntryValue(Unit().screen(), "CALLER ID TIME"), "03/04/26 03:06") << Unit().screen();

  // Other ports, and protocols without an endpoint, have no caller lines
  // and no counts.
  InThread([] { SetNv(nv::quorCommConfigProtocol(0), 14); });
  Open(105);
  EXPECT_EQ(Unit().line(2), Line("1) COMM RX CNT"));
  EXPECT_EQ(Unit().line(6), kBlank);
}

TEST_F(PortStatusTest, BoardsWithoutTheInternalModemShowNoCallerLines) {
  Boot();  // product board 5
  Open(119);
  EXPECT_EQ(Unit().line(5).substr(0, 21), "4) COMM BYTES INVALID");
  EXPECT_EQ(Unit().line(6), kBlank);
}

}  // namespace
