// Traps over the serial ports: they leave only over a PPP link that is up.
// When a dial-up modem serves the port, the controller dials the central's
// callback number to bring the link up, sends the pending traps one per
// step, and hangs up again. The CCP port in radio mode sends them over its
// PMPP link instead. All counts are in communication-task steps (2 s).
#include <cstring>

#include "comm/ntcip_endpoint.h"
#include "comm/ntcip_link.h"
#include "comm/ports.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/trap/trap_buffer.h"
#include "ntcip/snmp/trap/snmp_trap.h"

namespace {

constexpr uint32_t kEscapeAt = 237;  // connect wait at which the modem is escaped
constexpr uint32_t kHangUpAt = 240;  // and hung up
constexpr uint8_t kHangUpCountdown = 20;
constexpr uint8_t kEscapeCount = 4;
constexpr int32_t kLcpResetAt = 5;   // steps of the wait left when the link is reset
constexpr uint32_t kUnlimited = 255;
constexpr uint32_t kTrapsEnabled = 1;

// The callback state of one modem-capable port.
struct callback_state {
  int32_t callback_wait;
  int32_t connect_wait;
  int32_t attempts;
  uint32_t last_trap_time;
  uint8_t hang_up;
};
callback_state g_callback[3];  // CCP, AUX, MODEM

struct port_step {
  uint32_t index;  // of the configuration arrays
  uint8_t port;
  const char* ppp;
  uint8_t carrier;
  int32_t wait_after_trap;
  const char* prefix;         // of the callback traces
  const char* direct_trace;   // without a modem
  bool needs_modem;
  bool radio;
};

const port_step kCcp = {PORT_INDEX_CCP, COMM_PORT_CCP, "ccp_ppp", NTCIP_CARRIER_CCP, 60,
                        "CNTCIP::ProcessPPPTrapsCCP: ", "CNTCIP::ProcessTrapsCCP: ccp_ppp link up, send trap\n",
                        false, true};
const port_step kAux = {PORT_INDEX_AUX, COMM_PORT_AUX, "aux_ppp", NTCIP_CARRIER_AUX, 30,
                        "CNTCIP::ProcessPPPTrapsAUX: ", "CNTCIP::ProcessPPPTrapsAUX: aux_ppp link up, send trap\n",
                        false, false};
const port_step kModem = {PORT_INDEX_MODEM, COMM_PORT_MODEM, "modem_ppp", NTCIP_CARRIER_MODEM, 30,
                          "CNTCIP::ProcessPPPTrapsModem: ", nullptr, true, false};

CDataBase* db() { return g_pDataBase; }
uint32_t nv_value(const db_object& o) {
  CDataBase* d = db();
  return d ? d->GetValue(o.offset, o.width, d->mib_nv, 0) : 0;
}

// PPP codes: 4, and 5, which binds the PPP endpoint as well.
bool is_ppp(uint32_t protocol) { return protocol == PORT_PROTOCOL_PPP || protocol == PORT_PROTOCOL_PPP_ALT; }

bool ppp_up(CNTCIP* endpoint) {
  const ntcip_link_ops* ops = ntcip_get_link_ops(NTCIP_LINK_PPP);
  return ops && ops->ipcp_state && ops->ipcp_state(endpoint->Agent()) == NTCIP_IPCP_OPENED;
}

void send_one(CNTCIP* endpoint) {
  snmp_agent* agent = endpoint->Agent();
  snmp_trap_send_oldest(g_trap_buffer, agent, SNMP_TRAP_OWN_LINK, agent->trap_port, g_ntcip_ip.Own().bytes);
}

void trace(const port_step& s, const char* text) { monitor_printf_debug("%s%s", s.prefix, text); }

void callback_step(const port_step& s, CNTCIP* endpoint, ntcip_modem* modem, callback_state& r, bool pending) {
  const bool carrier = (ntcip_carrier_bits() & s.carrier) != 0;
  const ntcip_link_ops* ops = ntcip_get_link_ops(NTCIP_LINK_PPP);
  if (pending) {
    // Every new trap starts a new burst of attempts.
    if (CNTCIP::LastTrapTime() != r.last_trap_time) {
      r.last_trap_time = CNTCIP::LastTrapTime();
      r.attempts = 0;
    }
    if (carrier) {
      r.attempts = 0;
      if (ppp_up(endpoint)) {
        trace(s, "ppp link up, send trap\n");
        send_one(endpoint);
        r.hang_up = kHangUpCountdown;
        r.callback_wait = s.wait_after_trap;
      } else if (r.connect_wait == static_cast<int32_t>(kEscapeAt)) {
        trace(s, "establish ppp connection timed out\n");
        modem->Escape();
        ++r.connect_wait;
      } else if (r.connect_wait >= static_cast<int32_t>(kHangUpAt)) {
        modem->HangUp();
        r.connect_wait = 0;
      } else {
        ++r.connect_wait;
      }
      return;
    }
    r.connect_wait = 0;
    if (r.callback_wait > 0) {
      if (r.callback_wait == kLcpResetAt && ops && ops->post_lcp_event)
        ops->post_lcp_event(endpoint->Agent(), NTCIP_LCP_LINK_RESET);
      --r.callback_wait;
      return;
    }
    CDataBase* d = db();
    uint32_t length = 0;
    const uint8_t* number = d ? d->GetString(nv::quorCallbackNumber.offset, 4, d->mib_nv, &length) : nullptr;
    if (!number || length == 0) return;  // no callback: the traps wait for central's call
    const uint32_t max_attempts = nv_value(nv::quorCallbackMaxAttempts);
    if (max_attempts != kUnlimited) {
      if (r.attempts >= static_cast<int32_t>(max_attempts)) return;
      ++r.attempts;
    }
    char text[64];
    if (length >= sizeof text) length = sizeof text - 1;
    std::memcpy(text, number, length);
    text[length] = '\0';
    trace(s, "attempting callback...\n");
    if (ops && ops->restart_negotiation) ops->restart_negotiation(endpoint->Agent());
    modem->Dial(text);
    r.callback_wait = static_cast<int32_t>(nv_value(nv::quorCallbackMinTimeBetweenAttempts) * 30);
    return;
  }
  // Nothing pending: hang up a while after the last trap.
  if (carrier) {
    if (r.hang_up > kEscapeCount) {
      --r.hang_up;
    } else if (r.hang_up == kEscapeCount) {
      modem->Escape();
      r.hang_up = kEscapeCount - 1;
    } else if (r.hang_up == 1) {
      modem->HangUp();
      r.hang_up = 0;
    } else if (r.hang_up > 0) {
      --r.hang_up;
    }
  } else {
    r.hang_up = 0;
  }
  if (r.callback_wait > 0) --r.callback_wait;
}

void radio_step() {
  if (nv_value(nv::quorRemoteIPAddress) == 0 || nv_value(nv::quorRemoteIPPort) == 0 || nv_value(nv::quorRdiLid) == 0)
    return;
  CNTCIP* endpoint = CNTCIP::Endpoint("ccp_pmpp");
  if (!endpoint || g_trap_buffer.IsEmpty()) return;
  monitor_printf_debug("CNTCIP::ProcessPPPTrapsModem: RDI Protocol, send trap\n");
  send_one(endpoint);
}

void serial_step(const port_step& s, callback_state& r) {
  if (nv_value(nv::quorCommConfigTraps(s.index)) != kTrapsEnabled) return;
  const uint32_t protocol = nv_value(nv::quorCommConfigProtocol(s.index));
  if (is_ppp(protocol)) {
    CNTCIP* endpoint = CNTCIP::Endpoint(s.ppp);
    if (!endpoint) return;
    const bool pending = !g_trap_buffer.IsEmpty();
    ntcip_modem* modem = CNTCIP::LinkedModem(s.port);
    if (!modem) {
      if (s.needs_modem || !pending) return;
      if (ppp_up(endpoint)) {
        monitor_printf_debug("%s", s.direct_trace);
        send_one(endpoint);
      }
      return;
    }
    callback_step(s, endpoint, modem, r, pending);
  } else if (s.radio && protocol == PORT_PROTOCOL_RADIO) {
    radio_step();
  }
}

}  // namespace

void CNTCIP::ProcessPPPTrapsCCP() { serial_step(kCcp, g_callback[0]); }
void CNTCIP::ProcessPPPTrapsAUX() { serial_step(kAux, g_callback[1]); }
void CNTCIP::ProcessPPPTrapsModem() { serial_step(kModem, g_callback[2]); }

void CNTCIP::ProcessPPPTrapsLaptop() {
  if (nv_value(nv::quorCommConfigTraps(PORT_INDEX_LAPTOP)) != kTrapsEnabled) return;
  if (!is_ppp(nv_value(nv::quorCommConfigProtocol(PORT_INDEX_LAPTOP)))) return;
  CNTCIP* endpoint = Endpoint("laptop_ppp");
  if (!endpoint || g_trap_buffer.IsEmpty() || !ppp_up(endpoint)) return;
  monitor_printf_debug("CNTCIP::ProcessPPPTrapsModem: laptop_ppp link up, send trap\n");
  send_one(endpoint);
}

void CNTCIP::ResetLinkTrapState() { std::memset(g_callback, 0, sizeof g_callback); }
