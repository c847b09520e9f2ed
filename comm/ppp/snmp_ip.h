// SNMP over an IP instance of a link's own: the part of the PPP and PMPP
// transports that is the same on both links. The instance runs over the
// link's NetX driver; the agent listens on UDP and TCP port 161 of it, one
// "tcp thread" serves the TCP connection, and an answer goes back the way
// its request came (to the full source address and port of a UDP request,
// on the connection of a TCP one).
#pragma once

#include <cstdint>

#include "ntcip/snmp/agent/snmp_agent.h"
#include "nx_api.h"
#include "tx_api.h"

constexpr uint32_t SNMP_IP_STACK = 2048;
constexpr uint32_t SNMP_IP_ARP_CACHE = 1024;
constexpr uint32_t SNMP_IP_MEMORY = 5120;  // IP stack, ARP cache, TCP server stack
constexpr UINT SNMP_IP_PRIORITY = 2;
constexpr UINT SNMP_IP_TCP_PRIORITY = 3;
constexpr UINT SNMP_IP_PORT = 161;
constexpr uint32_t SNMP_IP_MESSAGE_MAX = SNMP_AGENT_BUFFER;

// How the last request came over IP.
enum : uint8_t { SNMP_IP_UDP = 1, SNMP_IP_TCP = 2 };

// The IP side of a transport, at the start of the transport's record (and
// so of the agent's transport area).
struct snmp_ip_service {
  uint32_t id;  // the transport's
  NX_IP ip;
  NX_UDP_SOCKET udp;     // "UDP IP Socket"
  NX_TCP_SOCKET tcp;     // "TCP IP Socket"
  TX_THREAD tcp_thread;  // "tcp thread"
  volatile uint32_t relisten;
  volatile uint32_t connected;
  TX_THREAD* dispatch_thread;  // the agent's "SNMP TCP Dispatch"
  TX_SEMAPHORE accepted;       // put when a connection is accepted; the dispatch thread waits on it
  uint8_t accepted_ready;      // the semaphore exists
  uint8_t last_receive_kind;
  uint8_t opened;
  uint8_t created;  // the instance exists
  const char* who;  // the transport's name in traces
  uint8_t* memory;  // SNMP_IP_MEMORY bytes
  // Messages of the TCP dispatch thread, apart from the UDP dispatch
  // thread's agent receive buffer.
  uint8_t tcp_buffer[SNMP_IP_MESSAGE_MAX];
};

// Creates the instance `name` over `driver` with the agent's address (mask
// 255.255.0.0) and pool, ARP, ICMP, UDP, the "tcp thread" and TCP, from the
// service's memory. A failing instance creation leaves nothing behind and
// returns its status; later failures are traced and returned.
int snmp_ip_create(snmp_ip_service* s, snmp_agent* agent, const char* name, VOID (*driver)(NX_IP_DRIVER*));
// The UDP socket bound to port 161 and the TCP socket listening on it.
int snmp_ip_open(snmp_agent* agent, snmp_ip_service* s);
// One request of the kind `ipi` (SNMP_IPI_UDP or SNMP_IPI_TCP): 0 and the
// message in the buffer, or non-zero.
int snmp_ip_receive(snmp_agent* agent, snmp_ip_service* s, uint32_t ipi, uint8_t* buffer, uint32_t* length);
// An answer over UDP or TCP (`kind`), as the last request came.
void snmp_ip_send(snmp_agent* agent, snmp_ip_service* s, uint8_t kind, const uint8_t* message, uint32_t length);
// The UDP socket goes.
int snmp_ip_close(snmp_ip_service* s);
// The service of an agent whose transport has one, or null.
snmp_ip_service* snmp_ip_of(snmp_agent* agent);
// The dispatch threads of an agent on such a transport.
void snmp_ip_udp_thread_entry(snmp_agent* agent);
void snmp_ip_tcp_thread_entry(snmp_agent* agent);
// The "tcp thread" (argument: the service's index in the module's table).
void snmp_tcp_server_thread(ULONG index);
// Forgets the services (a new start, tests).
void snmp_ip_forget();
