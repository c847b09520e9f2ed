// The comm-port driver table, the Ethernet endpoints and their binding, and
// the network start-up's reading of the boot monitor's addresses.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "comm/comm_task.h"
#include "comm/ports.h"
#include "comm/tests/comm_fixture.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/db/snmp_db.h"

namespace {

using namespace ct;

class EndpointTest : public CommTest {
 protected:
  void SetUp() override {
    CommTest::SetUp();
    for (uint32_t id = 0; id < 16; ++id) ReleaseDriver(id);
    CNTCIP::ResetTable();
    memory_.reset(new uint8_t[kMemory]);
    uint8_t* cursor = memory_.get();
    rtos::cpu_scope s;
    ASSERT_TRUE(CNTCIP::InitializeIP(&tcp_, &cursor, "ethernet_tcp", &g_netx_pool));
    ASSERT_TRUE(CNTCIP::InitializeIP(&udp_, &cursor, "ethernet_udp", &g_netx_pool));
    used_ = static_cast<uint32_t>(cursor - memory_.get());
  }
  void TearDown() override {
    rtos::settle();
    ethernet_destroy(tcp_.Link());
    ethernet_destroy(udp_.Link());
    CNTCIP::ResetTable();
    for (uint32_t id = 0; id < 16; ++id) ReleaseDriver(id);
    snmp_db_services_shutdown();
    CommTest::TearDown();
  }
  static constexpr uint32_t kMemory = 64 * 1024;
  CNTCIP tcp_, udp_;
  std::unique_ptr<uint8_t[]> memory_;
  uint32_t used_ = 0;
};

TEST_F(EndpointTest, EndpointsAreSetUpUnbound) {
  uint32_t count = 0;
  const ntcip_endpoint_entry* table = CNTCIP::Table(&count);
  ASSERT_EQ(2u, count);
  EXPECT_EQ(&tcp_, table[0].endpoint);
  EXPECT_EQ(COMM_PORT_NONE, table[0].port);
  EXPECT_EQ(NTCIP_LINK_IP, table[1].link_type);
  EXPECT_EQ(0, CNTCIP::FindEndpoint("ethernet_tcp"));
  EXPECT_EQ(1, CNTCIP::FindEndpoint("ethernet_udp"));
  EXPECT_EQ(-1, CNTCIP::FindEndpoint("ethernet_ppp"));
  EXPECT_STREQ("ethernet_udp", udp_.Agent()->name);
  EXPECT_EQ(161, udp_.Agent()->snmp_port);
  EXPECT_EQ(162, udp_.Agent()->trap_port);
  // The link lies at the start of the agent's memory, the buffers after it.
  ASSERT_NE(nullptr, udp_.Link());
  EXPECT_EQ(reinterpret_cast<uint8_t*>(udp_.Link()), udp_.Agent()->memory);
  EXPECT_EQ(udp_.Agent(), udp_.Link()->agent);
  EXPECT_EQ(udp_.Link(), ethernet_find("ethernet_udp"));
  EXPECT_LE(used_, kMemory);
}

TEST_F(EndpointTest, BindingAttainsAndGivesBackTheServers) {
  trace_capture trace;
  EXPECT_EQ(0u, CNTCIP::Configure("ethernet_pmpp", COMM_PORT_TCP_SERVER));  // no such endpoint
  EXPECT_EQ(1u, CNTCIP::Configure("ethernet_udp", COMM_PORT_UDP_SERVER));
  EXPECT_EQ(COMM_PORT_UDP_SERVER, udp_.Port());
  void* entry = nullptr;
  EXPECT_FALSE(AttainPort(COMM_DRIVER_UDP_SERVER, &entry));  // held by the endpoint
  EXPECT_NE(null_frame_send, udp_.Link()->frame_send);

  // A port held elsewhere cannot be bound.
  ASSERT_TRUE(AttainPort(COMM_DRIVER_TCP_SERVER, &entry));
  EXPECT_EQ(&g_comm_task.TcpServer(), entry);
  EXPECT_EQ(0u, CNTCIP::Configure("ethernet_tcp", COMM_PORT_TCP_SERVER));
  EXPECT_TRUE(trace.contains("CNTCIP::Configure: error unable to attain driver:9\n"));
  EXPECT_EQ(COMM_PORT_NONE, tcp_.Port());
  ReleaseDriver(COMM_DRIVER_TCP_SERVER);

  // Unbinding twice gives the driver back once: a later holder keeps it.
  EXPECT_EQ(1u, CNTCIP::Configure("ethernet_udp", COMM_PORT_NONE));
  EXPECT_EQ(null_frame_send, udp_.Link()->frame_send);
  ASSERT_TRUE(AttainPort(COMM_DRIVER_UDP_SERVER, &entry));
  EXPECT_EQ(1u, CNTCIP::Configure("ethernet_udp", COMM_PORT_NONE));
  EXPECT_FALSE(AttainPort(COMM_DRIVER_UDP_SERVER, &entry));

  // An IP endpoint on a serial port holds the driver but sends nothing.
  EXPECT_EQ(1u, CNTCIP::Configure("ethernet_tcp", COMM_PORT_AUX));
  EXPECT_TRUE(trace.contains("CNTCIP::Configure: error invalid port setting:2\n"));
  EXPECT_EQ(nullptr, AttainDriver(COMM_PORT_AUX));
  EXPECT_EQ(null_frame_send, tcp_.Link()->frame_send);
}

TEST_F(EndpointTest, DriverTable) {
  EXPECT_NE(nullptr, AttainDriver(COMM_DRIVER_CONSOLE));
  EXPECT_EQ(nullptr, AttainDriver(COMM_DRIVER_CONSOLE));  // lent out
  EXPECT_EQ(1u, ReleaseDriver(COMM_DRIVER_CONSOLE));
  EXPECT_NE(nullptr, AttainDriver(COMM_DRIVER_CONSOLE));
  void* entry = reinterpret_cast<void*>(1);
  EXPECT_TRUE(AttainPort(7, &entry));  // marked, though no driver stands behind it
  EXPECT_EQ(nullptr, entry);
  EXPECT_FALSE(AttainPort(7, &entry));
  EXPECT_FALSE(AttainPort(12, &entry));
  EXPECT_EQ(1u, ReleaseDriver(12));
  EXPECT_EQ(0u, ReleaseDriver(16));
  ASSERT_TRUE(AttainPort(COMM_DRIVER_TRAP_SERVER, &entry));
  EXPECT_EQ(&g_comm_task.TrapServer(), entry);
  ASSERT_TRUE(AttainPort(COMM_DRIVER_UDP_SERVER, &entry));
  EXPECT_EQ(&g_comm_task.UdpServer(), entry);
}

// The Ethernet protocol setting decides which endpoints are bound, and the
// servers carry it.
TEST_F(EndpointTest, EthernetProtocolBindsItsEndpoints) {
  struct {
    uint32_t protocol;
    uint8_t udp_port, tcp_port;
  } cases[] = {
      {11, COMM_PORT_UDP_SERVER, COMM_PORT_TCP_SERVER},
      {7, COMM_PORT_UDP_SERVER, COMM_PORT_TCP_SERVER},
      {0, COMM_PORT_UDP_SERVER, COMM_PORT_TCP_SERVER},
      {9, COMM_PORT_NONE, COMM_PORT_NONE},
      {10, COMM_PORT_NONE, COMM_PORT_NONE},
  };
  for (const auto& c : cases) {
    rtos::run_in_thread([&] {
      db_->SetValue(nv::quorCommConfigProtocol(4).offset, 1, c.protocol, db_->mib_nv, 0);
      g_comm_task.ApplyPortProtocols();
    });
    EXPECT_EQ(c.udp_port, udp_.Port()) << c.protocol;
    EXPECT_EQ(c.tcp_port, tcp_.Port()) << c.protocol;
    EXPECT_EQ(c.protocol, g_comm_task.UdpServer().Protocol());
    EXPECT_EQ(c.protocol, g_comm_task.TcpServer().Protocol());
  }
}

// Which server traffic is SNMP: any code but the two stream protocols, once
// a binding has given one; a server no binding touched (the trap port's)
// hands nothing on.
TEST(EthernetProtocol, CodesThatCarrySnmp) {
  const struct {
    uint8_t code;
    bool snmp;
  } cases[] = {{0, true}, {7, true}, {11, true}, {9, false}, {10, false}, {ETHERNET_PROTOCOL_NONE, false}};
  for (const auto& c : cases) EXPECT_EQ(c.snmp, ethernet_protocol_is_snmp(c.code)) << int(c.code);
  CTCP_Server trap;
  CUDP_Server udp;
  EXPECT_FALSE(ethernet_protocol_is_snmp(trap.Protocol()));
  EXPECT_FALSE(ethernet_protocol_is_snmp(udp.Protocol()));
}

TEST_F(EndpointTest, StatisticsOfTheLinks) {
  ethernet_link* link = udp_.Link();
  link->messages_received = 4;
  link->frames_transmitted = 3;
  link->bytes_dropped = 2;
  link->bytes_invalid = 1;
  for (uint32_t field = 1; field <= 4; ++field)
    EXPECT_EQ(5 - field, CNTCIP::GetLinkStatistic("ethernet_udp", field));
  EXPECT_EQ(0u, CNTCIP::GetLinkStatistic("ethernet_udp", 5));
  EXPECT_EQ(0u, CNTCIP::GetLinkStatistic("ccp_ppp", 1));
  EXPECT_EQ(1u, CNTCIP::SetInnerCharTimeoutIP(nullptr, "ethernet_udp", 5000));
  EXPECT_EQ(5000u, link->inter_char_timeout);
}

// ---------------------------------------------------------------- addresses

class AddressTest : public CommTest {};

TEST_F(AddressTest, BootMonitorTextsAreReadOrRefused) {
  struct {
    const char *mac, *ip, *gateway, *mask;
    uint32_t address, gateway_value, mask_value;
    const char* warning;  // null: none
  } cases[] = {
      {"02:00:00:00:00:01", "192.168.1.20", "192.168.1.1", "255.255.255.0", 0xC0A80114, 0xC0A80101, 0xFFFFFF00, nullptr},
      {"0A:bC:de:F0:12:34", "0.0.0.0", nullptr, "255.0.0.0", 0, 0xAC10C00E, 0xFF000000, nullptr},
      {"02:00:00:00:01", "10.1.2.3", "10.1.2.1", "255.255.0.0", 0x0A010203, 0x0A010201, 0xFFFF0000,
       "Warning: Invalid MAC Address - Using Default\n\r"},
      {"02:00:00:00:00:01:02", "10.1.2.3", "10.1.2.1", "255.255.0.0", 0x0A010203, 0x0A010201, 0xFFFF0000,
       "Warning: Invalid MAC Address - Using Default\n\r"},
      {"02:00:00:00:00:100", "10.1.2.3", "10.1.2.1", "255.255.0.0", 0x0A010203, 0x0A010201, 0xFFFF0000,
       "Warning: Invalid MAC Address - Using Default\n\r"},
      {"02:00:00:00:00:01", "10.1.2.3x", "10.1.2.1", "255.255.0.0", 0, 0x0A010201, 0xFFFF0000,
       "Warning: Misformed IP addr - Using Default\n\r"},
      {"02:00:00:00:00:01", nullptr, "10.1.2.1", "255.255.0.0", 0, 0x0A010201, 0xFFFF0000,
       "Warning: Misformed IP addr - Using Default\n\r"},
      {"02:00:00:00:00:01", "10.1.2.3", "10.1.256.1", "255.255.0.0", 0x0A010203, 0, 0xFFFF0000,
       "Warning: Misformed GIP addr - No Gateway\n\r"},
      {"02:00:00:00:00:01", "10.1.2.3", "10.1.2.1", "255.255.0", 0x0A010203, 0x0A010201, 0,
       "Warning: Misformed Net Mask addr - Using Default\n\r"},
      {"02:00:00:00:00:01", "1.2.3.4.5", "10.1.2.1", "", 0, 0x0A010201, 0,
       "Warning: Misformed IP addr - Using Default\n\r"},
  };
  for (const auto& c : cases) {
    interface_settings = {0, 0, 0, 0};
    trace_capture trace;
    rtos::run_in_thread([&] { EXPECT_EQ(1, parse_net_address(c.mac, c.ip, c.gateway, c.mask)); });
    EXPECT_EQ(c.address, interface_settings.address) << c.ip;
    EXPECT_EQ(c.gateway_value, interface_settings.gateway) << (c.gateway ? c.gateway : "(absent)");
    EXPECT_EQ(c.mask_value, interface_settings.mask) << c.mask;
    if (c.warning)
      EXPECT_TRUE(trace.contains(c.warning)) << c.warning;
    else
      EXPECT_EQ("", trace.text());
    rtos::cpu_scope s;
    if (c.address) {
      EXPECT_EQ(c.address, db_->GetValue(vol::ipAdEntAddr.offset, 4, db_->mib_v, 0));
    }
  }
  // The last good MAC is the interface's.
  rtos::cpu_scope s;
  uint32_t n = 0;
  const uint8_t* p = db_->GetString(vol::ifPhysAddress.offset, 4, db_->mib_v, &n);
  ASSERT_EQ(6u, n);
  EXPECT_EQ(std::string("\x02\x00\x00\x00\x00\x01", 6), std::string(reinterpret_cast<const char*>(p), 6));
}

}  // namespace
