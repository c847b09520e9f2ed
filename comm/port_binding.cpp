// Binding the NTCIP endpoints to their ports from the protocol settings,
// and the port re-configuration that central and the front panel request.
#include <initializer_list>

#include "comm/comm_task.h"
#include "comm/ports.h"
#include "database/database.h"
#include "database/objects.h"

namespace {

constexpr uint8_t kMaskPpp = 0x01;
constexpr uint8_t kMaskPmpp = 0x02;
constexpr uint8_t kMaskSnmp = 0x04;
constexpr uint8_t kMaskRealTimeData = 16;
constexpr uint8_t kMaskUps = 64;

// The CCP port's graphic limits in and out of the radio mode.
constexpr uint32_t kRadioBlockSize = 400, kRadioMaxSize = 25200;
constexpr uint32_t kBlockSize = 1023, kMaxSize = 64449;
constexpr uint32_t kRadioBaud = 9600;
constexpr uint32_t kRadioHandshake = 2;
constexpr uint32_t kGraphics = 50;
enum : uint8_t { GRAPHIC_NOT_USED = 1, GRAPHIC_IN_USE = 5, GRAPHIC_NOT_USED_REQ = 9 };

// Port reconfiguration requests: 4 requested, 3 due, 1 applied.
enum : uint32_t { REINIT_APPLIED = 1, REINIT_DUE = 3, REINIT_REQUESTED = 4 };

CDataBase* db() { return g_pDataBase; }
uint32_t nv_value(const db_object& o) {
  CDataBase* d = db();
  return d ? d->GetValue(o.offset, o.width, d->mib_nv, 0) : 0;
}

bool is_ppp(uint32_t protocol) { return protocol == PORT_PROTOCOL_PPP || protocol == PORT_PROTOCOL_PPP_ALT; }

// The blank message, asked for in the slot of normal requests.
void request_blank(CDataBase& d) {
  const uint8_t code[12] = {0xFF, 0xFF, 255, 7, 0, 1, 0, 0, 127, 0, 0, 1};
  d.SetValue(vol::activationSlotSourceMode(6).offset, 1, 2, d.mib_v, DB_NOTIFY);
  d.SetValue(vol::activationSlotReason(6).offset, 1, 2, d.mib_v, DB_NOTIFY);
  d.SetString(vol::activationSlotCode(6).offset, 4, code, sizeof code, d.mib_v, DB_NOTIFY);
}

}  // namespace

void comm_task::ApplyPortProtocols() {
  const uint32_t ccp = nv_value(nv::quorCommConfigProtocol(PORT_INDEX_CCP));
  SelectCcpProtocol(is_ppp(ccp) ? kMaskPpp : kMaskPmpp);

  const uint32_t aux = nv_value(nv::quorCommConfigProtocol(PORT_INDEX_AUX));
  uint8_t aux_mask = kMaskPmpp;
  if (is_ppp(aux)) {
    aux_mask = kMaskPpp;
  } else if (aux == 6 || aux == 7 || aux == 12 || aux == 18 || aux == 19 || aux == 20) {
    aux_mask = kMaskUps;  // a UPS of that make owns the port
  } else if (aux == PORT_PROTOCOL_REAL_TIME_DATA) {
    aux_mask = kMaskRealTimeData;
  }
  SelectAuxProtocol(aux_mask);
  SelectModemProtocol(is_ppp(nv_value(nv::quorCommConfigProtocol(PORT_INDEX_MODEM))) ? kMaskPpp : kMaskPmpp);
  SelectLaptopProtocol(is_ppp(nv_value(nv::quorCommConfigProtocol(PORT_INDEX_LAPTOP))) ? kMaskPpp : kMaskPmpp);

  uint8_t p = static_cast<uint8_t>(nv_value(nv::quorCommConfigProtocol(PORT_INDEX_ETHERNET)));
  if (p == ETHERNET_PROTOCOL_NONE) p = ETHERNET_PROTOCOL_SNMP;  // the servers' own "none" is no setting
  void* entry = nullptr;
  ReleaseDriver(COMM_DRIVER_UDP_SERVER);
  if (AttainPort(COMM_DRIVER_UDP_SERVER, &entry)) {
    static_cast<CUDP_Server*>(entry)->SetProtocol(p);
    ReleaseDriver(COMM_DRIVER_UDP_SERVER);
  }
  ReleaseDriver(COMM_DRIVER_TCP_SERVER);
  if (AttainPort(COMM_DRIVER_TCP_SERVER, &entry)) {
    static_cast<CTCP_Server*>(entry)->SetProtocol(p);
    ReleaseDriver(COMM_DRIVER_TCP_SERVER);
  }
  SelectEthernetProtocol(p == ETHERNET_PROTOCOL_PMPP ? 0x01 : p == ETHERNET_PROTOCOL_PPP ? 0x02 : kMaskSnmp);
}

void comm_task::SelectSerialProtocol(uint8_t port, const char* ppp, const char* pmpp, uint8_t mask) {
  CNTCIP::Configure(ppp, COMM_PORT_NONE);
  CNTCIP::Configure(pmpp, COMM_PORT_NONE);
  if (mask & kMaskPpp)
    CNTCIP::Configure(ppp, port);
  else if (mask & kMaskPmpp)
    CNTCIP::Configure(pmpp, port);
}

void comm_task::SelectCcpProtocol(uint8_t mask) {
  SwitchCcpRadioMode();
  SelectSerialProtocol(COMM_PORT_CCP, "ccp_ppp", "ccp_pmpp", mask);
}

void comm_task::SelectAuxProtocol(uint8_t mask) { SelectSerialProtocol(COMM_PORT_AUX, "aux_ppp", "aux_pmpp", mask); }

void comm_task::SelectModemProtocol(uint8_t mask) {
  SelectSerialProtocol(COMM_PORT_MODEM, "modem_ppp", "modem_pmpp", mask);
}

void comm_task::SelectLaptopProtocol(uint8_t mask) {
  SelectSerialProtocol(COMM_PORT_LAPTOP, "laptop_ppp", "laptop_pmpp", mask);
}

void comm_task::SelectEthernetProtocol(uint8_t mask) {
  for (const char* name : {"ethernet_pmpp", "ethernet_ppp", "ethernet_tcp", "ethernet_udp"})
    CNTCIP::Configure(name, COMM_PORT_NONE);
  if (mask & 0x01) {
    CNTCIP::Configure("ethernet_pmpp", COMM_PORT_TCP_SERVER);
  } else if (mask & 0x02) {
    CNTCIP::Configure("ethernet_ppp", COMM_PORT_TCP_SERVER);
  } else if (mask & kMaskSnmp) {
    CNTCIP::Configure("ethernet_udp", COMM_PORT_UDP_SERVER);
    CNTCIP::Configure("ethernet_tcp", COMM_PORT_TCP_SERVER);
  }
}

// The radio mode carries smaller graphics at a fixed speed and handshake;
// graphics stored for either mode do not fit the other and are cleared.
void comm_task::SwitchCcpRadioMode() {
  CDataBase* d = db();
  if (!d) return;
  const uint8_t p = static_cast<uint8_t>(nv_value(nv::quorCommConfigProtocol(PORT_INDEX_CCP)));
  const uint8_t q = m_byCcpProtocolSeen;
  m_byCcpProtocolSeen = p;
  const bool leaving = q == PORT_PROTOCOL_RADIO && p != PORT_PROTOCOL_RADIO;
  const bool entering = q != PORT_PROTOCOL_RADIO && p == PORT_PROTOCOL_RADIO;
  if (!leaving && !entering) return;
  const db_object flow = nv::quorCommConfigFlowControl(PORT_INDEX_CCP);
  if (leaving) {
    d->SetValue(flow.offset, flow.width, 0, d->mib_nv, 0);
    d->SetValue(vol::dmsGraphicBlockSize.offset, 2, kBlockSize, d->mib_v, 0);
    d->SetValue(vol::dmsGraphicMaxSize.offset, 2, kMaxSize, d->mib_v, 0);
  } else {
    const db_object speed = nv::rs232PortInSpeed(PORT_INDEX_CCP);
    d->SetValue(speed.offset, speed.width, kRadioBaud, d->mib_nv, 0);
    d->SetValue(flow.offset, flow.width, kRadioHandshake, d->mib_nv, 0);
    d->SetValue(vol::dmsGraphicBlockSize.offset, 2, kRadioBlockSize, d->mib_v, 0);
    d->SetValue(vol::dmsGraphicMaxSize.offset, 2, kRadioMaxSize, d->mib_v, 0);
  }
  for (uint32_t g = 0; g < kGraphics; ++g) {
    const db_object status = nv::dmsGraphicStatus(g);
    if (d->GetValue(status.offset, 1, d->mib_nv, 0) == GRAPHIC_IN_USE) request_blank(*d);
    // The table's transition rules guard central's requests; this clearing is
    // the controller's own, and a graphic in use must go as well.
    if (d->GetValue(status.offset, 1, d->mib_nv, 0) != GRAPHIC_NOT_USED)
      d->SetValue(status.offset, 1, GRAPHIC_NOT_USED_REQ, d->mib_nv, DB_NOTIFY | DB_NO_VALIDATE);
  }
}

void comm_task::CheckPortConfigApply() {
  CDataBase* d = db();
  if (!d) return;
  const db_object o = nv::quorCommPortReinit;
  switch (d->GetValue(o.offset, o.width, d->mib_nv, 0)) {
    case REINIT_DUE:
      ReloadPorts();
      d->SetValue(o.offset, o.width, REINIT_APPLIED, d->mib_nv, 0);
      break;
    case REINIT_REQUESTED:
      d->SetValue(o.offset, o.width, REINIT_DUE, d->mib_nv, 0);
      break;
    default:
      break;
  }
}
