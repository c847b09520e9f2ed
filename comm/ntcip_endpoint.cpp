#include "comm/ntcip_endpoint.h"

#include <cstring>

#include "comm/comm_task.h"
#include "comm/ntcip_link.h"
#include "comm/ports.h"
#include "comm/servers/tcp_server.h"
#include "comm/servers/udp_server.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/serial/serial_driver.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/trap/trap_buffer.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/snmp/agent/request.h"

CNTCIP_IP g_ntcip_ip;

namespace {

ntcip_endpoint_entry g_table[NTCIP_ENDPOINTS];
uint32_t g_count = 0;
bool g_engine_started = false;

// What the endpoints are bound to: the serial driver of each serial port
// (by comm-port id) and the Ethernet servers.
constexpr uint8_t kSerialPorts = 6;
CSerialDriver* g_port_drivers[kSerialPorts] = {};
CTCP_Server* g_tcp_server = nullptr;
CUDP_Server* g_udp_server = nullptr;

const ntcip_link_ops* g_link_ops[4] = {};
const ntcip_port_glue* g_port_glue[kSerialPorts] = {};
// The dial-up modem serving the CCP, AUX and MODEM port.
ntcip_modem* g_modems[kSerialPorts] = {};
uint8_t (*g_carrier_source)() = nullptr;

constexpr uint32_t kAlign = 16;
uint32_t align_up(uint32_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

bool is_serial_port(uint8_t port) {
  return port == COMM_PORT_CCP || port == COMM_PORT_AUX || port == COMM_PORT_MODEM || port == COMM_PORT_LAPTOP;
}

CDataBase* db() { return g_pDataBase; }
uint32_t nv_value(const db_object& o) {
  CDataBase* d = db();
  return d ? d->GetValue(o.offset, o.width, d->mib_nv, 0) : 0;
}

// --- Hooks of the Ethernet pseudo link.
int tcp_frame_send(const uint8_t* frame, uint32_t length, const ethernet_peer* to) {
  CTCP_Server* server = g_tcp_server;
  if (!server) return 0;
  return to ? server->SendTo(frame, length, *to) : server->Send(frame, length);
}

int udp_frame_send(const uint8_t* frame, uint32_t length, const ethernet_peer* to) {
  CUDP_Server* server = g_udp_server;
  if (!server) return 0;
  return to && to->channel ? server->SendTo(frame, length, *to) : server->Send(frame, length);
}

// --- Hooks of the serial links.
bool null_byte_input(uint8_t*) { return false; }
void null_serial_output(uint8_t) {}
int null_frame_out(const uint8_t*, uint32_t) { return 0; }
int tcp_frame_out(const uint8_t* frame, uint32_t length) {
  CTCP_Server* server = g_tcp_server;
  return server ? server->Send(frame, length) : 0;
}
int udp_frame_out(const uint8_t* frame, uint32_t length) {
  CUDP_Server* server = g_udp_server;
  return server ? server->Send(frame, length) : 0;
}
const ntcip_port_io kNullIo = {null_byte_input, null_serial_output, null_frame_out};

// A port without a glue of its own reads and writes its bound driver.
template <uint8_t P>
bool direct_read(uint8_t* byte) {
  CSerialDriver* d = g_port_drivers[P];
  uint32_t value = 0;
  if (!d || !byte || !d->ReadByte(&value)) return false;
  *byte = static_cast<uint8_t>(value);
  return true;
}
template <uint8_t P>
void direct_write(uint8_t byte) {
  if (CSerialDriver* d = g_port_drivers[P]) d->PutTxByte(byte);
}
const ntcip_port_glue kDirectGlue[kSerialPorts] = {
    {direct_read<0>, direct_write<0>, nullptr}, {nullptr, nullptr, nullptr},
    {direct_read<2>, direct_write<2>, nullptr}, {direct_read<3>, direct_write<3>, nullptr},
    {nullptr, nullptr, nullptr},                {direct_read<5>, direct_write<5>, nullptr},
};

const ntcip_port_glue& glue_of(uint8_t port) {
  return g_port_glue[port] ? *g_port_glue[port] : kDirectGlue[port];
}

// Receive notification: the bound driver or server wakes the link's worker.
void link_notify(void* group, uint32_t bits) {
  if (group) tx_event_flags_set(static_cast<TX_EVENT_FLAGS_GROUP*>(group), bits, TX_OR);
}

// The transport of a PPP or PMPP endpoint whose link module is not there:
// it takes no memory, receives nothing and sends nothing.
int unbuilt_link_transport(snmp_agent*, uint32_t, uint32_t operation, uint8_t*, uint32_t* length) {
  switch (operation) {
    case SNMP_NET_INITIALISE:
      if (length) *length = 0;
      return 0;
    case SNMP_NET_OPEN:
    case SNMP_NET_CLOSE:
      return 0;
    default:
      return 1;
  }
}

ntcip_endpoint_entry* entry_of(const char* name) {
  int i = CNTCIP::FindEndpoint(name);
  return i < 0 ? nullptr : &g_table[i];
}

const ntcip_link_ops* ops_of(const ntcip_endpoint_entry* e) {
  return e && e->link_type < 4 && e->link_type != NTCIP_LINK_IP ? g_link_ops[e->link_type] : nullptr;
}

void set_serial_io(ntcip_endpoint_entry* e, const ntcip_port_io& io) {
  const ntcip_link_ops* ops = ops_of(e);
  if (ops && ops->set_io) ops->set_io(e->endpoint->Agent(), io);
}

void set_null_hooks(ntcip_endpoint_entry* e) {
  if (e->link_type == NTCIP_LINK_IP)
    ethernet_set_hooks(e->endpoint->Link(), null_byte_output, null_frame_send);
  else
    set_serial_io(e, kNullIo);
}

// Gives back the port the endpoint holds and forgets its driver.
void unbind(ntcip_endpoint_entry* e) {
  const uint8_t port = e->port;
  if (port == COMM_PORT_NONE) return;
  ReleaseDriver(port);
  if (port < kSerialPorts && is_serial_port(port)) {
    if (CSerialDriver* d = g_port_drivers[port]) d->SetRxCallback(nullptr, nullptr, 0);
    g_port_drivers[port] = nullptr;
    if (const ntcip_port_glue* glue = g_port_glue[port]; glue && glue->bind) glue->bind(nullptr);
  } else if (port == COMM_PORT_TCP_SERVER) {
    if (CTCP_Server* server = g_tcp_server) server->SetReceiveCallback(nullptr, nullptr, 0);
    g_tcp_server = nullptr;
  } else if (port == COMM_PORT_UDP_SERVER) {
    g_udp_server = nullptr;
  }
  e->port = COMM_PORT_NONE;
}

void bind_serial_link(ntcip_endpoint_entry* e, uint8_t port, void* driver) {
  CNTCIP* endpoint = e->endpoint;
  snmp_agent* agent = endpoint->Agent();
  const ntcip_link_ops* ops = ops_of(e);
  TX_EVENT_FLAGS_GROUP* group = nullptr;
  uint32_t bit = 0;
  if (ops && ops->receive_event) ops->receive_event(agent, &group, &bit);

  if (is_serial_port(port)) {
    auto* serial = static_cast<CSerialDriver*>(driver);
    g_port_drivers[port] = serial;
    const ntcip_port_glue& glue = glue_of(port);
    if (glue.bind) glue.bind(serial);
    set_serial_io(e, {glue.read, glue.write, null_frame_out});
    if (serial) serial->SetRxCallback(group ? link_notify : nullptr, group, bit);
    if (port == COMM_PORT_LAPTOP) agent->local = 1;
  } else if (port == COMM_PORT_TCP_SERVER) {
    auto* server = static_cast<CTCP_Server*>(driver);
    g_tcp_server = server;
    set_serial_io(e, {null_byte_input, null_serial_output, tcp_frame_out});
    if (server) server->SetReceiveCallback(group ? link_notify : nullptr, group, bit);
  } else if (port == COMM_PORT_UDP_SERVER) {
    g_udp_server = static_cast<CUDP_Server*>(driver);
    set_serial_io(e, {null_byte_input, null_serial_output, udp_frame_out});
  } else {
    // The PPP text has always carried this spelling; tools match on it.
    monitor_printf(e->link_type == NTCIP_LINK_PPP ? "CNTICIP::Configure: error invalid port setting:%d\n"
                                                  : "CNTCIP::Configure: error invalid port setting:%d\n",
                   port);
    set_serial_io(e, kNullIo);
  }
}

}  // namespace

void ntcip_set_link_ops(uint8_t link_type, const ntcip_link_ops* ops) {
  if (link_type == NTCIP_LINK_PMPP || link_type == NTCIP_LINK_PPP) g_link_ops[link_type] = ops;
}

const ntcip_link_ops* ntcip_get_link_ops(uint8_t link_type) { return link_type < 4 ? g_link_ops[link_type] : nullptr; }

void ntcip_set_port_glue(uint8_t port, const ntcip_port_glue* glue) {
  if (port < kSerialPorts && is_serial_port(port)) g_port_glue[port] = glue;
}

void ntcip_set_carrier_source(uint8_t (*bits)()) { g_carrier_source = bits; }
uint8_t ntcip_carrier_bits() { return g_carrier_source ? g_carrier_source() : 0; }

void CNTCIP_IP::SetAddress(uint32_t address) {
  m_Own.address = address;
  for (int i = 0; i < 4; ++i) m_Own.bytes[i] = static_cast<uint8_t>(address >> (24 - 8 * i));
}

void CNTCIP_IP::SetTrapAddress(uint32_t address) {
  m_Trap.address = address;
  for (int i = 0; i < 4; ++i) m_Trap.bytes[i] = static_cast<uint8_t>(address >> (24 - 8 * i));
}

bool CNTCIP::Initialize(CNTCIP* endpoint, uint8_t** cursor, const char* name, NX_PACKET_POOL* pool,
                        uint8_t link_type) {
  if (!endpoint || !cursor || !*cursor) return false;
  if (!g_engine_started) {
    g_engine_started = true;
    snmp_entry();
  }
  endpoint->m_pPool = pool;
  endpoint->m_byRadio = 0;
  endpoint->m_Agent.packet_pool = pool;
  const uint32_t buffers = 2 * align_up(SNMP_AGENT_BUFFER);
  uint32_t used = 0;
  int rc = 0;
  if (link_type == NTCIP_LINK_IP) {
    const uint32_t memory = align_up(sizeof(ethernet_link)) + buffers;
    rc = snmp_agent_create(&endpoint->m_Agent, name, 161, 162, g_ntcip_ip.Own().bytes, *cursor, memory, &used,
                           SERVER_STACK_SIZE, processPppPdu, snmp_v3_hook, snmp_ethernet_net_drv, nullptr, nullptr);
  } else {
    const ntcip_link_ops* ops = g_link_ops[link_type];
    snmp_net_drv transport = ops && ops->transport ? ops->transport : unbuilt_link_transport;
    snmp_dispatch_entry udp_entry = ops ? ops->udp_entry : nullptr;
    snmp_dispatch_entry tcp_entry = ops ? ops->tcp_entry : nullptr;
    const uint32_t memory = align_up(ops ? ops->link_memory : 0) + buffers +
                            (udp_entry ? align_up(NTCIP_DISPATCH_STACK) : 0) +
                            (tcp_entry ? align_up(NTCIP_DISPATCH_STACK) : 0);
    rc = snmp_agent_create(&endpoint->m_Agent, name, NTCIP_SERIAL_SNMP_PORT, NTCIP_SERIAL_TRAP_PORT,
                           g_ntcip_ip.Own().bytes, *cursor, memory, &used, NTCIP_DISPATCH_STACK, processPppPdu,
                           snmp_v3_hook, transport, udp_entry, tcp_entry);
  }
  if (rc != 0) return false;
  *cursor += align_up(used);

  snmp_agent* agent = &endpoint->m_Agent;
  if (link_type == NTCIP_LINK_IP) {
    if (ethernet_link* link = endpoint->Link()) {
      link->bytes_received = link->frames_transmitted = link->bytes_dropped = link->bytes_invalid = 0;
      link->messages_received = 0;
      ethernet_set_hooks(link, null_byte_output, null_frame_send);
    }
  } else if (const ntcip_link_ops* ops = g_link_ops[link_type]) {
    if (link_type == NTCIP_LINK_PMPP && ops->set_station_address)
      ops->set_station_address(agent, static_cast<uint8_t>(nv_value(nv::quorhdlcAddress)));
    if (ops->clear_statistics) ops->clear_statistics(agent);
    if (ops->set_io) ops->set_io(agent, kNullIo);
  }
  return Register(endpoint, link_type);
}

bool CNTCIP::InitializeIP(CNTCIP* endpoint, uint8_t** cursor, const char* name, NX_PACKET_POOL* pool) {
  return Initialize(endpoint, cursor, name, pool, NTCIP_LINK_IP);
}

bool CNTCIP::InitializePMPP(CNTCIP* endpoint, uint8_t** cursor, const char* name, NX_PACKET_POOL* pool) {
  return Initialize(endpoint, cursor, name, pool, NTCIP_LINK_PMPP);
}

bool CNTCIP::InitializePPP(CNTCIP* endpoint, uint8_t** cursor, const char* name, NX_PACKET_POOL* pool,
                           const char* parameters) {
  if (!Initialize(endpoint, cursor, name, pool, NTCIP_LINK_PPP)) return false;
  const uint8_t chap = parameters && std::strcmp(parameters, "nchap") == 0 ? 0 : 1;
  const ntcip_link_ops* ops = g_link_ops[NTCIP_LINK_PPP];
  if (ops && ops->set_chap_required) ops->set_chap_required(endpoint->Agent(), chap);
  return true;
}

bool CNTCIP::Register(CNTCIP* endpoint, uint8_t link_type) {
  if (!endpoint || g_count >= NTCIP_ENDPOINTS) return false;
  g_table[g_count++] = {endpoint, COMM_PORT_NONE, link_type, &g_trap_buffer};
  return true;
}

int CNTCIP::FindEndpoint(const char* name) {
  if (!name) return -1;
  for (uint32_t i = 0; i < g_count; ++i)
    if (std::strncmp(g_table[i].endpoint->Name(), name, SNMP_AGENT_NAME_SIZE) == 0) return static_cast<int>(i);
  return -1;
}

CNTCIP* CNTCIP::Endpoint(const char* name) {
  ntcip_endpoint_entry* e = entry_of(name);
  return e ? e->endpoint : nullptr;
}

ethernet_link* CNTCIP::Link() { return LinkType() == NTCIP_LINK_IP ? ethernet_link_of(&m_Agent) : nullptr; }

uint8_t CNTCIP::Port() const {
  for (uint32_t i = 0; i < g_count; ++i)
    if (g_table[i].endpoint == this) return g_table[i].port;
  return COMM_PORT_NONE;
}

uint8_t CNTCIP::LinkType() const {
  for (uint32_t i = 0; i < g_count; ++i)
    if (g_table[i].endpoint == this) return g_table[i].link_type;
  // Not yet registered: an agent on the Ethernet transport is of IP type.
  return m_Agent.transport == snmp_ethernet_net_drv ? NTCIP_LINK_IP : 0;
}

CSerialDriver* CNTCIP::PortDriver(uint8_t port) { return port < kSerialPorts ? g_port_drivers[port] : nullptr; }

uint32_t CNTCIP::Configure(const char* name, uint8_t port) {
  ntcip_endpoint_entry* e = entry_of(name);
  if (!e) return 0;
  unbind(e);
  if (port == COMM_PORT_NONE) {
    set_null_hooks(e);
    return 1;
  }
  void* driver = nullptr;
  if (!AttainPort(port, &driver)) {
    monitor_printf("CNTCIP::Configure: error unable to attain driver:%d\n", port);
    return 0;
  }
  e->port = port;
  CNTCIP* endpoint = e->endpoint;
  endpoint->m_byRadio = 0;

  if (e->link_type != NTCIP_LINK_IP) {
    bind_serial_link(e, port, driver);
    if (e->link_type == NTCIP_LINK_PMPP && port == COMM_PORT_CCP && comm_ccp_radio_mode()) endpoint->m_byRadio = 1;
    return 1;
  }
  ethernet_link* link = endpoint->Link();
  if (port == COMM_PORT_TCP_SERVER) {
    g_tcp_server = static_cast<CTCP_Server*>(driver);
    ethernet_set_hooks(link, null_byte_output, tcp_frame_send);
  } else if (port == COMM_PORT_UDP_SERVER) {
    g_udp_server = static_cast<CUDP_Server*>(driver);
    ethernet_set_hooks(link, null_byte_output, udp_frame_send);
  } else {
    monitor_printf("CNTCIP::Configure: error invalid port setting:%d\n", port);
    ethernet_set_hooks(link, null_byte_output, null_frame_send);
  }
  return 1;
}

uint32_t CNTCIP::SetInnerCharTimeoutIP(CNTCIP* endpoint, const char* name, uint32_t timeout) {
  CNTCIP* e = endpoint ? endpoint : Endpoint(name);
  if (!e) return 1;
  e->m_uInnerCharTimeout = timeout;
  ethernet_set_timeout(e->Link(), timeout);
  return 1;
}

uint32_t CNTCIP::SetSerialTimeout(CNTCIP* endpoint, const char* name, uint32_t timeout, uint8_t link_type) {
  CNTCIP* e = endpoint ? endpoint : Endpoint(name);
  if (!e) return 1;
  e->m_uInnerCharTimeout = timeout;
  const ntcip_link_ops* ops = g_link_ops[link_type];
  if (ops && ops->set_timeout) ops->set_timeout(e->Agent(), timeout);
  return 1;
}

uint32_t CNTCIP::SetInnerCharTimeoutPPP(CNTCIP* endpoint, const char* name, uint32_t timeout) {
  return SetSerialTimeout(endpoint, name, timeout, NTCIP_LINK_PPP);
}

uint32_t CNTCIP::SetInnerCharTimeoutPMPP(CNTCIP* endpoint, const char* name, uint32_t timeout) {
  return SetSerialTimeout(endpoint, name, timeout, NTCIP_LINK_PMPP);
}

uint32_t CNTCIP::SetPMPPParameters(CNTCIP* endpoint, const char* name, uint32_t timeout, uint16_t ack2_timeout,
                                   uint8_t retries, uint32_t remote, uint16_t lid) {
  CNTCIP* e = endpoint ? endpoint : Endpoint(name);
  if (!e) return 1;
  SetSerialTimeout(e, name, timeout, NTCIP_LINK_PMPP);
  const ntcip_link_ops* ops = g_link_ops[NTCIP_LINK_PMPP];
  if (ops && ops->set_radio) ops->set_radio(e->Agent(), ack2_timeout, retries, remote, lid);
  return 1;
}

void CNTCIP::SetHdlcAddress(uint32_t address) {
  const ntcip_link_ops* ops = g_link_ops[NTCIP_LINK_PMPP];
  if (!ops || !ops->set_station_address) return;
  for (uint32_t i = 0; i < g_count; ++i)
    if (g_table[i].link_type == NTCIP_LINK_PMPP)
      ops->set_station_address(g_table[i].endpoint->Agent(), static_cast<uint8_t>(address));
}

void CNTCIP::AssignIpAddresses() {
  const CNTCIP_IP::record& own = g_ntcip_ip.Own();
  for (uint32_t i = 0; i < g_count; ++i) {
    ntcip_endpoint_entry& e = g_table[i];
    std::memcpy(e.endpoint->m_Agent.own_address, own.bytes, 4);
    const ntcip_link_ops* ops = ops_of(&e);
    if (ops && ops->set_addresses)
      ops->set_addresses(e.endpoint->Agent(), own.address, interface_settings.mask, g_ntcip_ip.Trap().address);
  }
  uint8_t mac[6] = {};
  if (CDataBase* d = db()) {
    uint32_t n = 0;
    const uint8_t* p = d->GetString(vol::ifPhysAddress.offset, vol::ifPhysAddress.width, d->mib_v, &n);
    if (p && n >= 6) std::memcpy(mac, p, 6);
  }
  snmp_set_interface_address(0, own.address, mac);
}

uint32_t CNTCIP::GetLinkStatistic(const char* name, uint32_t field) {
  ntcip_endpoint_entry* e = entry_of(name);
  if (!e || field < 1 || field > 4) return 0;
  if (e->link_type != NTCIP_LINK_IP) {
    const ntcip_link_ops* ops = ops_of(e);
    return ops && ops->statistic ? ops->statistic(e->endpoint->Agent(), field) : 0;
  }
  ethernet_link* link = e->endpoint->Link();
  if (!link) return 0;
  switch (field) {
    case 1:
      return link->messages_received;
    case 2:
      return link->frames_transmitted;
    case 3:
      return link->bytes_dropped;
    default:
      return link->bytes_invalid;
  }
}

uint32_t CNTCIP::TrapsEnabled(const char* name) {
  ntcip_endpoint_entry* e = entry_of(name);
  if (!e) return 1;
  int index = -1;
  switch (e->port) {
    case COMM_PORT_CCP: index = 0; break;
    case COMM_PORT_AUX: index = 1; break;
    case COMM_PORT_MODEM: index = 2; break;
    case COMM_PORT_LAPTOP: index = 3; break;
    default: return 1;
  }
  return nv_value(nv::quorCommConfigTraps(static_cast<uint32_t>(index))) == 1 ? 0 : 1;
}

uint32_t CNTCIP::IsTrapBufferEmpty(const char* name) {
  ntcip_endpoint_entry* e = entry_of(name);
  return !e || !e->trap_buffer || e->trap_buffer->IsEmpty() ? 1 : 0;
}

void CNTCIP::GetTrap(const char* name, trap_record* record) {
  ntcip_endpoint_entry* e = entry_of(name);
  if (e && e->trap_buffer && record) e->trap_buffer->Get(record);
}

uint32_t CNTCIP::LinkExternalModem(uint8_t port, ntcip_modem* modem) {
  if (port != COMM_PORT_CCP && port != COMM_PORT_AUX && port != COMM_PORT_MODEM) {
    monitor_printf("CNTCIP::LinkExternalModem: error unknown comm port setting\n");
    return 0;
  }
  g_modems[port] = modem;
  return 0;
}

uint32_t CNTCIP::ReleaseModemLink(ntcip_modem* modem) {
  if (!modem) return 0;
  static const struct {
    uint8_t port;
    const char* name;
  } kPorts[] = {{COMM_PORT_CCP, "ccp_ppp"}, {COMM_PORT_AUX, "aux_ppp"}, {COMM_PORT_MODEM, "modem_ppp"}};
  for (const auto& p : kPorts) {
    if (g_modems[p.port] != modem) continue;
    ntcip_endpoint_entry* e = entry_of(p.name);
    const ntcip_link_ops* ops = ops_of(e);
    if (ops && ops->post_lcp_event) ops->post_lcp_event(e->endpoint->Agent(), NTCIP_LCP_LINK_RESET);
    g_modems[p.port] = nullptr;
  }
  return 0;
}

ntcip_modem* CNTCIP::LinkedModem(uint8_t port) { return port < kSerialPorts ? g_modems[port] : nullptr; }

const ntcip_endpoint_entry* CNTCIP::Table(uint32_t* count) {
  if (count) *count = g_count;
  return g_table;
}

void CNTCIP::ResetTable() {
  g_count = 0;
  g_engine_started = false;
  g_tcp_server = nullptr;
  g_udp_server = nullptr;
  for (uint8_t p = 0; p < kSerialPorts; ++p) {
    g_port_drivers[p] = nullptr;
    g_modems[p] = nullptr;
  }
  ResetTrapState();
}

uint8_t peripheral_status_get_model(uint32_t row) {
  CDataBase* d = db();
  return d ? static_cast<uint8_t>(d->GetValue(vol::auxIOPortResolution(row).offset, 1, d->mib_v, 0)) : 0;
}
