// The table of comm-port drivers, lent out by id, and the port set-up.
#include "comm/ports.h"

#include "comm/clients/trap_clients.h"
#include "comm/comm_task.h"
#include "comm/ethernet/ethernet_link.h"
#include "comm/ntcip_endpoint.h"
#include "comm/pmpp/pmpp_link.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/serial/q5_quad_serial_driver.h"
#include "frame/serial/q5_serial_driver.h"
#include "frame/trace/trace.h"
#include "tx_api.h"
#include "frame/os/interrupts_masked.h"

namespace {

CQ5SerialDriver g_ccp_driver;
CQ5SerialDriver g_console_driver;
CQ5QuadSerialDriver g_aux_driver;
CQ5QuadSerialDriver g_modem_driver;
CQ5QuadSerialDriver g_panel_driver;
CQ5QuadSerialDriver g_laptop_driver;

uint32_t g_drivers_in_use = 0;
bool g_first_call = true;
uint32_t g_modem_baud = 0;  // baud of the last MODEM open
uint8_t g_radio_mode = 0;

constexpr uint32_t kSerialOptions = 0x1021;  // interrupt-driven, no parity, one stop bit
constexpr uint32_t kEvenParity = 0x1022;     // interrupt-driven, even parity
constexpr uint32_t kConsoleOptions = 0x1121;
constexpr uint32_t kPanelOptions = 0x3121;
// The links write a whole frame into the transmit ring at once and a full
// ring drops the rest: it holds the longest stuffed answer.
constexpr uint32_t kRing = 8192;
static_assert(kRing >= PMPP_TX_SIZE, "a held PMPP answer must fit the transmit ring");
constexpr uint32_t kPanelRing = 4000;
constexpr uint32_t kLineBaud = 19200;
constexpr uint32_t kHandshakeBits = 0x6F00;  // RTS and DTR bits

void* table_entry(uint32_t id) {
  switch (id) {
    case COMM_DRIVER_CCP:
      return static_cast<CSerialDriver*>(&g_ccp_driver);
    case COMM_DRIVER_CONSOLE:
      return static_cast<CSerialDriver*>(&g_console_driver);
    case COMM_DRIVER_AUX:
      return static_cast<CSerialDriver*>(&g_aux_driver);
    case COMM_DRIVER_MODEM:
      return static_cast<CSerialDriver*>(&g_modem_driver);
    case COMM_DRIVER_PANEL:
      return static_cast<CSerialDriver*>(&g_panel_driver);
    case COMM_DRIVER_LAPTOP:
      return static_cast<CSerialDriver*>(&g_laptop_driver);
    case COMM_DRIVER_TCP_SERVER:
      return &g_comm_task.TcpServer();
    case COMM_DRIVER_UDP_SERVER:
      return &g_comm_task.UdpServer();
    case COMM_DRIVER_TRAP_SERVER:
      return &g_comm_task.TrapServer();
    default:
      return nullptr;
  }
}

uint32_t nv_value(CDataBase& db, const db_object& o) { return db.GetValue(o.offset, o.width, db.mib_nv, 0); }

void open_serial(CSerialDriver& driver, uint32_t channel, uint32_t baud, const serial_open_mode& mode) {
  driver.Open(channel, baud, 8, mode.options, mode.flow, kRing);
}

// The serial ports, each from its settings.
void open_serial_ports(CDataBase& db) {
  const uint32_t ccp_protocol = nv_value(db, nv::quorCommConfigProtocol(PORT_INDEX_CCP));
  g_radio_mode = ccp_protocol == PORT_PROTOCOL_RADIO ? 1 : 0;
  open_serial(g_ccp_driver, 0, nv_value(db, nv::rs232PortInSpeed(PORT_INDEX_CCP)),
              comm_handshake_mode(g_radio_mode ? kEvenParity : kSerialOptions,
                                  nv_value(db, nv::quorCommConfigFlowControl(PORT_INDEX_CCP))));

  g_console_driver.Open(1, kLineBaud, 8, kConsoleOptions, 0, kRing);

  serial_open_mode aux = comm_handshake_mode(kSerialOptions, nv_value(db, nv::quorCommConfigFlowControl(PORT_INDEX_AUX)));
  // The real-time data input reads the port with even parity and no handshake.
  if (nv_value(db, nv::quorCommConfigProtocol(PORT_INDEX_AUX)) == PORT_PROTOCOL_REAL_TIME_DATA) aux.options = kEvenParity;
  open_serial(g_aux_driver, 2, nv_value(db, nv::rs232PortInSpeed(PORT_INDEX_AUX)), aux);

  // The MODEM port is only opened again for a new speed: a modem on it
  // keeps its line through a change of the handshake.
  const uint32_t modem_baud = nv_value(db, nv::rs232PortInSpeed(PORT_INDEX_MODEM));
  if (modem_baud != g_modem_baud) {
    open_serial(g_modem_driver, 3, modem_baud,
                comm_handshake_mode(kSerialOptions, nv_value(db, nv::quorCommConfigFlowControl(PORT_INDEX_MODEM))));
    g_modem_baud = modem_baud;
  }

  open_serial(g_laptop_driver, 5, nv_value(db, nv::rs232PortInSpeed(PORT_INDEX_LAPTOP)),
              comm_handshake_mode(kSerialOptions, nv_value(db, nv::quorCommConfigFlowControl(PORT_INDEX_LAPTOP))));
}

// Each endpoint gets its port's inter-character time-out, ccp_pmpp also the
// radio settings.
void push_endpoint_parameters(CDataBase& db) {
  static const struct {
    const char* name;
    uint32_t index;
  } kEndpoints[] = {
      {"ccp_ppp", PORT_INDEX_CCP},         {"aux_pmpp", PORT_INDEX_AUX},          {"aux_ppp", PORT_INDEX_AUX},
      {"modem_pmpp", PORT_INDEX_MODEM},    {"modem_ppp", PORT_INDEX_MODEM},       {"laptop_pmpp", PORT_INDEX_LAPTOP},
      {"laptop_ppp", PORT_INDEX_LAPTOP},   {"ethernet_pmpp", PORT_INDEX_ETHERNET}, {"ethernet_ppp", PORT_INDEX_ETHERNET},
      {"ethernet_tcp", PORT_INDEX_ETHERNET}, {"ethernet_udp", PORT_INDEX_ETHERNET},
  };
  CNTCIP::SetPMPPParameters(nullptr, "ccp_pmpp", nv_value(db, nv::quorCommConfigInnerCharTimeout(PORT_INDEX_CCP)),
                            static_cast<uint16_t>(nv_value(db, nv::quorRdiAck2Timeout)),
                            static_cast<uint8_t>(nv_value(db, nv::quorRdiRetries)),
                            nv_value(db, nv::quorRemoteIPAddress), static_cast<uint16_t>(nv_value(db, nv::quorRdiLid)));
  for (const auto& e : kEndpoints) {
    CNTCIP* endpoint = CNTCIP::Endpoint(e.name);
    if (!endpoint) continue;
    const uint32_t timeout = nv_value(db, nv::quorCommConfigInnerCharTimeout(e.index));
    switch (endpoint->LinkType()) {
      case NTCIP_LINK_PPP:
        CNTCIP::SetInnerCharTimeoutPPP(endpoint, e.name, timeout);
        break;
      case NTCIP_LINK_PMPP:
        CNTCIP::SetInnerCharTimeoutPMPP(endpoint, e.name, timeout);
        break;
      default:
        CNTCIP::SetInnerCharTimeoutIP(endpoint, e.name, timeout);
        break;
    }
  }
}

}  // namespace

serial_open_mode comm_handshake_mode(uint32_t base_options, uint32_t handshake) {
  serial_open_mode mode{base_options & ~kHandshakeBits, 0};
  switch (handshake) {
    case 1:  // RTS TOGGLE
      mode.options |= 0x800;
      break;
    case 2:  // RTS/DTR SET
      mode.options |= 0x200 | 0x4000;
      break;
    case 3:  // RTS SHAKE/DTR SET
      mode.options |= 0x400 | 0x4000;
      break;
    case 7:  // RTS SHAKE RS232E
      mode.options |= 0x4000;
      mode.flow = 1;
      break;
    case 8:  // RTS SHAKE/NO DCD
      mode.options |= 0x400 | 0x4000;
      mode.flow = 2;
      break;
    default:  // NONE, and every code the menus do not offer
      mode.options |= 0x100 | 0x2000;
      break;
  }
  return mode;
}

uint8_t comm_ccp_radio_mode() { return g_radio_mode; }

void InitializeNTCIPObjects(uint8_t** cursor) {
  CDataBase* db = g_pDataBase;
  const bool start = cursor && *cursor;
  if (start) {
    // Only the start-up gives the cursor, once per start: whatever a former
    // start left in this module is forgotten.
    g_first_call = true;
    g_drivers_in_use = 0;
    g_modem_baud = 0;
    CNTCIP::ResetTable();
    ethernet_forget_links();
    trap_clients_forget();
  }
  if (db) open_serial_ports(*db);
  if (g_first_call) {
    g_first_call = false;
    g_panel_driver.Open(4, kLineBaud, 8, kPanelOptions, 0, kPanelRing);
    if (start) {
      g_comm_task.CreateEndpoints(cursor);
      g_comm_task.ApplyPortProtocols();
    } else {
      monitor_printf("Error: Initializing NTCIP Objects\n");
    }
  }
  if (db) push_endpoint_parameters(*db);
}

bool AttainPort(uint32_t id, void** entry) {
  if (entry) *entry = nullptr;
  if (id >= COMM_DRIVERS) return false;
  {
    interrupts_masked m;
    if (g_drivers_in_use & (1u << id)) return false;
    g_drivers_in_use |= 1u << id;
  }
  if (entry) *entry = table_entry(id);
  return true;
}

CSerialDriver* AttainDriver(uint32_t id) {
  void* entry = nullptr;
  if (!AttainPort(id, &entry)) return nullptr;
  return id <= COMM_DRIVER_LAPTOP ? static_cast<CSerialDriver*>(entry) : nullptr;
}

uint32_t ReleaseDriver(uint32_t id) {
  if (id >= 16) return 0;
  interrupts_masked m;
  g_drivers_in_use &= ~(1u << id);
  return 1;
}

int tcp_trap_port_send(const uint8_t* bytes, uint32_t length) {
  void* entry = nullptr;
  if (!AttainPort(COMM_DRIVER_TRAP_SERVER, &entry)) return 0;
  int sent = entry ? static_cast<CTCP_Server*>(entry)->Send(bytes, length) : 0;
  ReleaseDriver(COMM_DRIVER_TRAP_SERVER);
  return sent;
}

void laptop_port_put_byte(uint8_t byte) {
  interrupts_masked m;
  g_laptop_driver.OnRxByte(byte);
}
