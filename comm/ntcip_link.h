// What the endpoint layer needs of the serial-side link modules, which are
// built apart: the PPP and PMPP links (their transports, workers and
// negotiation), the serial glue that moves a port's bytes, and the dial-up
// modems that serve a port. Each module installs its part before the
// endpoints are created at start-up; until then a PPP or PMPP endpoint
// exists, can be bound and unbound like any other, but carries nothing and
// its link is never up.
#pragma once

#include <cstdint>

#include "ntcip/snmp/agent/snmp_agent.h"
#include "tx_api.h"

// A port as a link sees it: one received byte at a time (false when none
// is left), one byte out, or a whole frame to an Ethernet server (non-zero
// when it was taken).
struct ntcip_port_io {
  bool (*read)(uint8_t* byte);
  void (*write)(uint8_t byte);
  int (*frame_send)(const uint8_t* frame, uint32_t length);
};

// The PPP link's IPCP state when the link is up (RFC 1661 numbering).
constexpr uint16_t NTCIP_IPCP_OPENED = 9;
// LCP events the endpoint layer posts: the link reset after a carrier loss
// or before a callback.
constexpr uint32_t NTCIP_LCP_LINK_RESET = 0x1000;

// One link module's operations on the link that lives in an agent's
// transport area. Members a module does not have stay null.
struct ntcip_link_ops {
  // The agent's transport, its dispatch thread bodies, and the bytes of the
  // agent's memory the transport's area takes.
  snmp_net_drv transport;
  snmp_dispatch_entry udp_entry;
  snmp_dispatch_entry tcp_entry;
  uint32_t link_memory;
  // The port's functions, on every binding and unbinding.
  void (*set_io)(snmp_agent* agent, const ntcip_port_io& io);
  // The event flags and bit that wake the link's receive worker; the bound
  // driver or server sets them after each byte it receives.
  void (*receive_event)(snmp_agent* agent, TX_EVENT_FLAGS_GROUP** group, uint32_t* bit);
  // One byte of a TCP server's stream (the Ethernet PMPP and PPP modes).
  void (*stream_byte)(snmp_agent* agent, uint8_t byte);
  void (*set_timeout)(snmp_agent* agent, uint32_t timeout);
  // Counters: 1 received, 2 transmitted, 3 bytes dropped, 4 bytes invalid.
  uint32_t (*statistic)(snmp_agent* agent, uint32_t field);
  void (*clear_statistics)(snmp_agent* agent);
  // PPP.
  uint16_t (*ipcp_state)(snmp_agent* agent);
  void (*set_chap_required)(snmp_agent* agent, uint8_t required);
  void (*post_lcp_event)(snmp_agent* agent, uint32_t event);
  // Back to the first stage of negotiation, before a callback dials.
  void (*restart_negotiation)(snmp_agent* agent);
  // The link's IP instance: the controller's address and mask, and the peer.
  void (*set_addresses)(snmp_agent* agent, uint32_t own, uint32_t mask, uint32_t peer);
  // PMPP.
  void (*set_station_address)(snmp_agent* agent, uint8_t address);
  void (*set_radio)(snmp_agent* agent, uint16_t ack2_timeout, uint8_t retries, uint32_t remote, uint16_t lid);
};

// link_type: NTCIP_LINK_PMPP or NTCIP_LINK_PPP; null removes the module.
void ntcip_set_link_ops(uint8_t link_type, const ntcip_link_ops* ops);
const ntcip_link_ops* ntcip_get_link_ops(uint8_t link_type);

// The serial glue of one port (CCP, AUX, MODEM, LAPTOP): its byte functions
// and, on every binding and unbinding, the serial driver the port's
// endpoint is bound to (null: none). Until a glue is installed a port reads
// and writes its bound driver directly.
class CSerialDriver;
struct ntcip_port_glue {
  bool (*read)(uint8_t* byte);
  void (*write)(uint8_t byte);
  void (*bind)(CSerialDriver* driver);
};
void ntcip_set_port_glue(uint8_t port, const ntcip_port_glue* glue);

// A dial-up modem driver serving a port, as the trap callback uses it.
class ntcip_modem {
 public:
  virtual ~ntcip_modem() = default;
  virtual void Dial(const char* number) = 0;  // "ATDTW<number>"
  virtual void Escape() = 0;                  // "+++"
  virtual void HangUp() = 0;                  // "ATH0"
};

// Carrier bits of the modem-capable ports, as the serial glue keeps them
// (its link status); without a source no carrier is ever present.
enum : uint8_t { NTCIP_CARRIER_CCP = 0x01, NTCIP_CARRIER_AUX = 0x02, NTCIP_CARRIER_MODEM = 0x04 };
void ntcip_set_carrier_source(uint8_t (*bits)());
uint8_t ntcip_carrier_bits();
