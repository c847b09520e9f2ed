// The comm ports and the twelve NTCIP endpoints: which endpoint each port's
// protocol binds, the re-configuration that central and the front panel
// request, how the serial ports are opened, and endpoint configuration that
// is refused.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "comm/tests/endpoints_fixture.h"
#include "frame/serial/serial_driver.h"

namespace {

using namespace ct;

const char* const kNames[NTCIP_ENDPOINTS] = {"ccp_pmpp",    "ccp_ppp",    "aux_pmpp",      "aux_ppp",
                                            "modem_pmpp",  "modem_ppp",  "laptop_pmpp",   "laptop_ppp",
                                            "ethernet_pmpp", "ethernet_ppp", "ethernet_tcp", "ethernet_udp"};

class PortTest : public EndpointsTest {
 protected:
  std::map<std::string, uint8_t> Bindings() {
    std::map<std::string, uint8_t> out;
    for (const char* n : kNames) out[n] = PortOf(n);
    return out;
  }
  // The re-configuration as the task's steps run it: 4 requested, 3 due.
  void Reinit() {
    SetNv(nv::quorCommPortReinit, 4);
    InThread([] { g_comm_task.CheckPortConfigApply(); });
    EXPECT_EQ(3u, Nv(nv::quorCommPortReinit));
    InThread([] { g_comm_task.CheckPortConfigApply(); });
    EXPECT_EQ(1u, Nv(nv::quorCommPortReinit));
  }
};

TEST_F(PortTest, TwelveEndpointsInOrderEachOnItsPortsDefault) {
  uint32_t count = 0;
  const ntcip_endpoint_entry* table = CNTCIP::Table(&count);
  ASSERT_EQ(NTCIP_ENDPOINTS, count);
  const uint8_t types[NTCIP_ENDPOINTS] = {1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 3, 3};
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_STREQ(kNames[i], table[i].endpoint->Name());
    EXPECT_EQ(types[i], table[i].link_type) << kNames[i];
    EXPECT_EQ(&g_trap_buffer, table[i].trap_buffer) << kNames[i];
    const snmp_agent* agent = table[i].endpoint->Agent();
    EXPECT_EQ(types[i] == NTCIP_LINK_IP ? 161 : 1161, agent->snmp_port) << kNames[i];
    EXPECT_EQ(types[i] == NTCIP_LINK_IP ? 162 : 1162, agent->trap_port) << kNames[i];
  }
  // A fresh database: PMPP on every serial port, SNMP over UDP and TCP.
  const std::map<std::string, uint8_t> expected = {
      {"ccp_pmpp", 0},      {"ccp_ppp", 100},      {"aux_pmpp", 2},       {"aux_ppp", 100},
      {"modem_pmpp", 3},    {"modem_ppp", 100},    {"laptop_pmpp", 5},    {"laptop_ppp", 100},
      {"ethernet_pmpp", 100}, {"ethernet_ppp", 100}, {"ethernet_tcp", 9}, {"ethernet_udp", 10}};
  EXPECT_EQ(expected, Bindings());
  // Only the LAPTOP port's requests are local.
  EXPECT_EQ(1, CNTCIP::Endpoint("laptop_pmpp")->Agent()->local);
  EXPECT_EQ(0, CNTCIP::Endpoint("ccp_pmpp")->Agent()->local);
}

// One row per set of protocol settings: what each port then carries.
TEST_F(PortTest, ReinitBindsWhatEachPortsProtocolAsks) {
  struct row {
    uint8_t ccp, aux, modem, laptop, ethernet;
    std::map<std::string, uint8_t> bound;  // every other endpoint is unbound
  } rows[] = {
      {4, 4, 4, 4, 9, {{"ccp_ppp", 0}, {"aux_ppp", 2}, {"modem_ppp", 3}, {"laptop_ppp", 5}, {"ethernet_pmpp", 9}}},
      // 5 is PPP as well; a UPS code leaves AUX to the UPS.
      {5, 18, 2, 5, 10, {{"ccp_ppp", 0}, {"modem_pmpp", 3}, {"laptop_ppp", 5}, {"ethernet_ppp", 9}}},
      // The radio mode is PMPP on CCP; the real-time data input owns AUX; an
      // Ethernet code the menus do not offer carries SNMP.
      {14, 16, 3, 2, 7,
       {{"ccp_pmpp", 0}, {"modem_pmpp", 3}, {"laptop_pmpp", 5}, {"ethernet_tcp", 9}, {"ethernet_udp", 10}}},
      {2, 6, 2, 2, 11,
       {{"ccp_pmpp", 0}, {"modem_pmpp", 3}, {"laptop_pmpp", 5}, {"ethernet_tcp", 9}, {"ethernet_udp", 10}}},
  };
  for (const row& r : rows) {
    SetNv(nv::quorCommConfigProtocol(0), r.ccp);
    SetNv(nv::quorCommConfigProtocol(1), r.aux);
    SetNv(nv::quorCommConfigProtocol(2), r.modem);
    SetNv(nv::quorCommConfigProtocol(3), r.laptop);
    SetNv(nv::quorCommConfigProtocol(4), r.ethernet);
    Reinit();
    std::map<std::string, uint8_t> expected;
    for (const char* n : kNames) expected[n] = COMM_PORT_NONE;
    for (const auto& [name, port] : r.bound) expected[name] = port;
    EXPECT_EQ(expected, Bindings()) << int(r.ccp) << "/" << int(r.aux) << "/" << int(r.modem) << "/"
                                    << int(r.laptop) << "/" << int(r.ethernet);
    EXPECT_EQ(r.ccp == 14, CNTCIP::Endpoint("ccp_pmpp")->RadioProtocol() == 1);
    // A port no endpoint holds is free for its other owner.
    if (r.aux == 18 || r.aux == 16) {
      CSerialDriver* aux = AttainDriver(COMM_DRIVER_AUX);
      EXPECT_NE(nullptr, aux);
      ReleaseDriver(COMM_DRIVER_AUX);
    }
  }
}

// The serial ports open with their settings; the MODEM port only for a new
// speed, so that a handshake change alone does not drop a modem's line.
TEST_F(PortTest, ReinitReopensTheSerialPortsButTheModemOnlyForANewSpeed) {
  SetNv(nv::rs232PortInSpeed(2), 9600);
  SetNv(nv::quorCommConfigFlowControl(2), 2);  // RTS/DTR SET
  SetNv(nv::quorCommConfigFlowControl(3), 2);
  SetNv(nv::quorCommPortReinit, 4);
  InThread([] { g_comm_task.CheckPortConfigApply(); });
  EXPECT_FALSE(board::uart(5).dtr()) << "4 only makes the request due";
  InThread([] { g_comm_task.CheckPortConfigApply(); });
  EXPECT_TRUE(board::uart(3).dtr());
  EXPECT_TRUE(board::uart(5).dtr());
  const uint16_t divisor_9600 = board::uart(3).divisor();

  SetNv(nv::quorCommConfigFlowControl(2), 0);  // NONE: DTR off
  SetNv(nv::quorCommConfigFlowControl(3), 0);
  Reinit();
  EXPECT_TRUE(board::uart(3).dtr()) << "the MODEM port keeps its line";
  EXPECT_FALSE(board::uart(5).dtr());

  SetNv(nv::rs232PortInSpeed(2), 19200);
  Reinit();
  EXPECT_FALSE(board::uart(3).dtr());
  EXPECT_NE(divisor_9600, board::uart(3).divisor());
  // The endpoints stay where they were.
  EXPECT_EQ(COMM_PORT_MODEM, PortOf("modem_pmpp"));
  EXPECT_EQ(COMM_PORT_LAPTOP, PortOf("laptop_pmpp"));
}

TEST(HandshakeModes, OptionsAndExtraFlagsOfEachCode) {
  const struct {
    uint32_t code, options, flow;
  } rows[] = {{0, 0x3121, 0}, {1, 0x1821, 0}, {2, 0x5221, 0}, {3, 0x5421, 0},
              {7, 0x5021, 1}, {8, 0x5421, 2}, {4, 0x3121, 0}, {255, 0x3121, 0}};
  for (const auto& r : rows) {
    serial_open_mode m = comm_handshake_mode(0x1021, r.code);
    EXPECT_EQ(r.options, m.options) << r.code;
    EXPECT_EQ(r.flow, m.flow) << r.code;
  }
}

TEST_F(PortTest, EndpointConfigurationThatCannotBeServedIsRefusedWithATrace) {
  trace_capture trace;
  // No such endpoint: nothing to bind.
  EXPECT_EQ(0u, CNTCIP::Configure("ccp_ppx", COMM_PORT_CCP));

  // A port another owner holds (a UPS on AUX).
  InThread([] { CNTCIP::Configure("aux_pmpp", COMM_PORT_NONE); });
  ASSERT_NE(nullptr, AttainDriver(COMM_DRIVER_AUX));
  EXPECT_EQ(0u, CNTCIP::Configure("aux_ppp", COMM_PORT_AUX));
  EXPECT_TRUE(trace.contains("CNTCIP::Configure: error unable to attain driver:2\n"));
  EXPECT_EQ(COMM_PORT_NONE, PortOf("aux_ppp"));

  // Ports a serial link cannot use: the driver is held, nothing is carried.
  EXPECT_EQ(1u, CNTCIP::Configure("laptop_ppp", COMM_PORT_PANEL));
  EXPECT_TRUE(trace.contains("CNTICIP::Configure: error invalid port setting:4\n"));
  EXPECT_EQ(nullptr, AttainDriver(COMM_DRIVER_PANEL));
  EXPECT_EQ(1u, CNTCIP::Configure("modem_pmpp", COMM_PORT_CONSOLE));
  EXPECT_TRUE(trace.contains("CNTCIP::Configure: error invalid port setting:1\n"));

  // Unbinding gives the driver back once.
  EXPECT_EQ(1u, CNTCIP::Configure("laptop_ppp", COMM_PORT_NONE));
  EXPECT_EQ(1u, CNTCIP::Configure("laptop_ppp", COMM_PORT_NONE));
  EXPECT_NE(nullptr, AttainDriver(COMM_DRIVER_PANEL));
}

// A link module whose transport cannot be set up: its endpoints are not
// made, and the start-up says so; the others work.
class FailingLinkTest : public EndpointsTest {
 protected:
  static int Refuse(snmp_agent*, uint32_t, uint32_t op, uint8_t*, uint32_t* length) {
    if (length) *length = 0;
    return op == SNMP_NET_INITIALISE ? 7 : 0;
  }
  void BeforeEndpoints() override {
    ops_.transport = Refuse;
    ntcip_set_link_ops(NTCIP_LINK_PMPP, &ops_);
    trace_ = std::make_unique<trace_capture>();
  }
  ntcip_link_ops ops_{};
  std::unique_ptr<trace_capture> trace_;
};

TEST_F(FailingLinkTest, EndpointsOfARefusingLinkAreLeftOutWithATrace) {
  for (const char* name : {"ccp_pmpp", "aux_pmpp", "modem_pmpp", "laptop_pmpp", "ethernet_pmpp"}) {
    EXPECT_TRUE(trace_->contains(std::string("comm_task::CreateEndpoints: endpoint ") + name + " not created\n"))
        << name;
    EXPECT_EQ(-1, CNTCIP::FindEndpoint(name));
  }
  EXPECT_TRUE(trace_->contains("Error: Initializing NTCIP Objects\n"));
  uint32_t count = 0;
  CNTCIP::Table(&count);
  EXPECT_EQ(7u, count);
  // The ports whose endpoint is missing stay free; PPP still binds.
  EXPECT_NE(nullptr, AttainDriver(COMM_DRIVER_CCP));
  ReleaseDriver(COMM_DRIVER_CCP);
  SetNv(nv::quorCommConfigProtocol(0), 4);
  InThread([] { g_comm_task.ApplyPortProtocols(); });
  EXPECT_EQ(COMM_PORT_CCP, PortOf("ccp_ppp"));
}

// Leaving and entering the radio mode changes the CCP port's speed,
// handshake and graphic limits, and clears the graphics.
TEST_F(PortTest, RadioModeSwitchSetsTheCcpPortAndClearsTheGraphics) {
  auto graphic_status = [&](uint32_t g, uint32_t value) { SetNv(nv::dmsGraphicStatus(g), value); };
  graphic_status(0, 5);  // in use
  graphic_status(1, 1);  // not used
  graphic_status(2, 4);  // ready
  SetNv(nv::rs232PortInSpeed(0), 38400);
  SetNv(nv::quorCommConfigProtocol(0), 14);
  Reinit();
  EXPECT_EQ(9600u, Nv(nv::rs232PortInSpeed(0)));
  EXPECT_EQ(2u, Nv(nv::quorCommConfigFlowControl(0)));
  EXPECT_EQ(400u, Vol(vol::dmsGraphicBlockSize));
  EXPECT_EQ(25200u, Vol(vol::dmsGraphicMaxSize));
  EXPECT_EQ(9u, Nv(nv::dmsGraphicStatus(0)));
  EXPECT_EQ(1u, Nv(nv::dmsGraphicStatus(1)));
  EXPECT_EQ(9u, Nv(nv::dmsGraphicStatus(2)));
  // The graphic in use was taken off the sign: the blank message, slot 6.
  {
    rtos::cpu_scope s;
    uint32_t n = 0;
    const uint8_t* code = db_->GetString(vol::activationSlotCode(6).offset, 4, db_->mib_v, &n);
    ASSERT_EQ(12u, n);
    EXPECT_EQ(std::string("\xFF\xFF\xFF\x07\x00\x01\x00\x00", 8), std::string(reinterpret_cast<const char*>(code), 8));
  }
  EXPECT_EQ(1, CNTCIP::Endpoint("ccp_pmpp")->RadioProtocol());

  graphic_status(2, 4);
  SetNv(nv::quorCommConfigProtocol(0), 2);
  Reinit();
  EXPECT_EQ(0u, Nv(nv::quorCommConfigFlowControl(0)));
  EXPECT_EQ(1023u, Vol(vol::dmsGraphicBlockSize));
  EXPECT_EQ(64449u, Vol(vol::dmsGraphicMaxSize));
  EXPECT_EQ(9600u, Nv(nv::rs232PortInSpeed(0)));
  EXPECT_EQ(9u, Nv(nv::dmsGraphicStatus(2)));
  EXPECT_EQ(0, CNTCIP::Endpoint("ccp_pmpp")->RadioProtocol());
}

TEST_F(PortTest, DriverTableLendsEachSerialDriverOnce) {
  for (const char* name : kNames) InThread([&] { CNTCIP::Configure(name, COMM_PORT_NONE); });
  CSerialDriver* seen[6] = {};
  for (uint32_t id = 0; id <= 5; ++id) {
    if (id == COMM_DRIVER_CONSOLE) continue;
    seen[id] = AttainDriver(id);
    ASSERT_NE(nullptr, seen[id]) << id;
    EXPECT_EQ(nullptr, AttainDriver(id)) << id;
    for (uint32_t other = 0; other < id; ++other) EXPECT_NE(seen[other], seen[id]) << id;
  }
  for (uint32_t id = 6; id <= 11; ++id) EXPECT_EQ(nullptr, AttainDriver(id)) << id;  // no serial driver there
}

// Bytes the module diagnostics put into the LAPTOP port reach the link
// bound to it as if they had come on the line.
TEST_F(PortTest, LaptopPortPutByteFeedsTheBoundLink) {
  CSerialDriver* laptop = CNTCIP::PortDriver(COMM_PORT_LAPTOP);
  ASSERT_NE(nullptr, laptop);
  InThread([] {
    laptop_port_put_byte(0x7E);
    laptop_port_put_byte(0x21);
  });
  uint32_t byte = 0;
  {
    rtos::cpu_scope s;
    ASSERT_EQ(1u, laptop->ReadByte(&byte));
    EXPECT_EQ(0x7Eu, byte);
    ASSERT_EQ(1u, laptop->ReadByte(&byte));
    EXPECT_EQ(0x21u, byte);
    EXPECT_EQ(0u, laptop->ReadByte(&byte));
  }
}

}  // namespace
