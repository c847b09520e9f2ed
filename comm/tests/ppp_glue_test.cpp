// The serial glue between the ports and the links: which bytes reach a link
// and which go to a dial-up modem, the carrier bits, the resets a lost
// carrier causes, and where written bytes go.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "comm/tests/ppp_fixture.h"
#include "frame/serial/q5_quad_serial_driver.h"
#include "frame/trace/trace.h"

namespace {

using namespace pt;

// A dial-up modem driver's response buffer, as the glue sees it.
struct fake_modem {
  std::string fed;
  size_t high_at = 1000;  // "at least 75 % full" from this many bytes on
  glue_modem record() {
    return {this, [](void* d, uint8_t b) { static_cast<fake_modem*>(d)->fed += static_cast<char>(b); },
            [](void* d) {
              auto* m = static_cast<fake_modem*>(d);
              return m->fed.size() >= m->high_at;
            }};
  }
};

std::string g_fifo;
bool g_passthrough = false;
bool g_board = false;

class PppGlueTest : public PppTest {
 protected:
  void SetUp() override {
    PppTest::SetUp();
    aux_ = std::make_unique<CQ5QuadSerialDriver>();
    modem_ = std::make_unique<CQ5QuadSerialDriver>();
    laptop_ = std::make_unique<CQ5QuadSerialDriver>();
    ASSERT_EQ(1u, aux_->Open(2, 9600, 8, 0x1021, 0, 2000));
    ASSERT_EQ(1u, modem_->Open(3, 9600, 8, 0x1021, 0, 2000));
    ASSERT_EQ(1u, laptop_->Open(5, 9600, 8, 0x1021, 0, 2000));
    serial_glue_bind(GLUE_PORT_AUX, aux_.get());
    serial_glue_bind(GLUE_PORT_MODEM, modem_.get());
    serial_glue_bind(GLUE_PORT_LAPTOP, laptop_.get());
    g_fifo.clear();
    g_passthrough = g_board = false;
  }
  void TearDown() override {
    serial_glue_reset();
    aux_.reset();
    modem_.reset();
    laptop_.reset();
    PppTest::TearDown();
  }
  static std::string ReadAll(bool (*read)(uint8_t*)) {
    std::string s;
    uint8_t b = 0;
    while (read(&b)) s += static_cast<char>(b);
    return s;
  }
  static std::string Sent(unsigned port) {
    board::serial(port).transmit_all();
    return board::serial(port).take_received();
  }
  std::unique_ptr<CQ5QuadSerialDriver> aux_, modem_, laptop_;
};

TEST_F(PppGlueTest, APortWithoutAModemDeliversEveryByte) {
  board::uart(2).set_dcd(true);
  board::serial(2).send("abc");
  EXPECT_EQ("abc", ReadAll(aux_ppp_read));
  EXPECT_EQ(0, serial_glue_link_status()) << "the carrier is not looked at";
  board::serial(5).send("xyz");
  EXPECT_EQ("xyz", ReadAll(laptop_port_read));
  serial_glue_bind(GLUE_PORT_AUX, nullptr);
  board::serial(2).send("d");
  EXPECT_EQ("", ReadAll(aux_ppp_read)) << "unbound";
  uint8_t b = 0;
  EXPECT_FALSE(port_read_none(&b));
}

// With a modem on AUX and no carrier the modem's responses go to the modem
// driver; once the carrier rises, bytes belong to the link.
TEST_F(PppGlueTest, WithoutCarrierTheModemGetsTheBytes) {
  fake_modem modem;
  const glue_modem record = modem.record();
  serial_glue_link_modem(GLUE_PORT_AUX, &record);
  board::uart(2).set_dcd(false);
  board::serial(2).send("RING\r\n");
  EXPECT_EQ("", ReadAll(aux_ppp_read));
  EXPECT_EQ("RING\r\n", modem.fed);
  EXPECT_EQ(0, serial_glue_link_status() & GLUE_CARRIER_AUX);

  board::uart(2).set_dcd(true);
  board::serial(2).send("\x7E\xFF");
  EXPECT_EQ("\x7E\xFF", ReadAll(aux_ppp_read));
  EXPECT_EQ("RING\r\n", modem.fed);
  EXPECT_EQ(GLUE_CARRIER_AUX, serial_glue_link_status() & GLUE_CARRIER_AUX);

  // While the modem's buffer is high, reading stops and bytes wait.
  board::uart(2).set_dcd(false);
  modem.fed.clear();
  modem.high_at = 3;
  board::serial(2).send("123456");
  EXPECT_EQ("", ReadAll(aux_ppp_read));
  EXPECT_EQ("123", modem.fed);
  EXPECT_EQ(3u, aux_->GetRxSize() - aux_->GetRxFree());
}

// A carrier drop on the MODEM port resets LCP and CHAP of "modem_ppp" once.
TEST_F(PppGlueTest, ACarrierDropResetsTheModemLinkOnce) {
  auto agent = std::make_unique<snmp_agent>();
  std::strcpy(agent->name, "modem_ppp");
  auto link = std::make_unique<ppp_link>();
  {
    rtos::cpu_scope s;
    nx_ppp_create(link.get(), "test", nullptr, agent.get(), 3, nullptr, nullptr);
    nx_ppp_chap_enable(link.get(), nullptr, nullptr, nullptr);
    link->lcp_state = PPP_OPENED;
    link->chap_state = CHAP_DONE;
  }
  board::uart(3).set_dcd(true);
  board::serial(3).send("ab");
  EXPECT_EQ("ab", ReadAll(modem_ppp_read));
  EXPECT_EQ(GLUE_CARRIER_MODEM, serial_glue_link_status() & GLUE_CARRIER_MODEM);
  EXPECT_EQ(1, modem_port_carrier());
  EXPECT_EQ(PPP_OPENED, link->lcp_state);

  board::uart(3).set_dcd(false);
  board::serial(3).send("NO CARRIER");
  EXPECT_EQ("", ReadAll(modem_ppp_read)) << "without a modem the bytes are lost";
  EXPECT_EQ(PPP_STOPPED, link->lcp_state);
  EXPECT_EQ(CHAP_IDLE, link->chap_state);
  EXPECT_EQ(0, modem_port_carrier());
  const uint32_t sent = link->lcp_sent;
  EXPECT_EQ("", ReadAll(modem_ppp_read));
  EXPECT_EQ(sent, link->lcp_sent) << "one reset per drop";
  rtos::cpu_scope s;
  ppp_destroy(link.get());
}

TEST_F(PppGlueTest, WhereWrittenBytesGo) {
  fake_modem modem;
  const glue_modem record = modem.record();
  board::uart(3).set_dcd(false);
  modem_port_write('m');
  EXPECT_EQ("", Sent(3)) << "MODEM without carrier";
  board::uart(3).set_dcd(true);
  modem_port_write('M');
  EXPECT_EQ("M", Sent(3));

  board::uart(2).set_dcd(false);
  aux_port_write('a');
  EXPECT_EQ("a", Sent(2)) << "AUX without a modem";
  serial_glue_link_modem(GLUE_PORT_AUX, &record);
  aux_port_write('b');
  EXPECT_EQ("", Sent(2)) << "AUX with a modem and no carrier";
  board::uart(2).set_dcd(true);
  aux_port_write('c');
  EXPECT_EQ("c", Sent(2));

  // LAPTOP: the display diagnostics' pass-through takes the bytes while its
  // flag is set, when the distribution board was identified.
  static const glue_laptop_passthrough hooks = {[] { return g_passthrough; }, [] { return g_board; },
                                                [](uint8_t b) { g_fifo += static_cast<char>(b); }};
  serial_glue_set_laptop_passthrough(&hooks);
  laptop_port_write('1');
  g_passthrough = true;
  laptop_port_write('2');
  g_board = true;
  laptop_port_write('3');
  EXPECT_EQ("1", Sent(5));
  EXPECT_EQ("3", g_fifo);
}

// A link that asks for CHAP watches the MODEM port's carrier: when it drops
// the link resets at its next byte, whichever port it is bound to.
TEST_F(PppGlueTest, ACarrierDropResetsChapLinksAtTheirNextByte) {
  CreateAgent(true);
  BringUp();
  board::uart(3).set_dcd(true);
  EXPECT_EQ("", ReadAll(modem_ppp_read));
  trace_capture trace;
  auto frames = Exchange(Frame(PPP_PROTOCOL_SNMP, GetSysDescr()));
  EXPECT_EQ(1u, frames.size());
  EXPECT_TRUE(trace.contains("ReceiveBufferProcess Modem connected 1 0")) << trace.text();
  EXPECT_EQ(PPP_OPENED, link_->lcp_state);

  board::uart(3).set_dcd(false);
  EXPECT_EQ("", ReadAll(modem_ppp_read));
  frames = Exchange(Frame(PPP_PROTOCOL_SNMP, GetSysDescr()));
  EXPECT_TRUE(trace.contains("ReceiveBufferProcess Modem disconnected 0 1")) << trace.text();
  EXPECT_EQ(PPP_STOPPED, link_->lcp_state);
  ASSERT_NE(nullptr, Find(frames, PPP_PROTOCOL_LCP, 6)) << "the reset's Terminate-Ack";
  EXPECT_EQ(nullptr, Find(frames, PPP_PROTOCOL_SNMP, 0x30)) << "no answer";
}

}  // namespace
