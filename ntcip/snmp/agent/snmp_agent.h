// The SNMP agent of an NTCIP endpoint: it takes messages from its link's
// transport, decodes them, hands each request to its processing callback
// and sends the response back through the transport. Each endpoint owns one
// agent, so one link never holds up another link's requests.
#pragma once

#include <cstdint>

#include "ntcip/snmp/snmp_message.h"
#include "tx_api.h"

struct snmp_agent;

// Transport operations and the IP layers (IPI) they name.
enum : uint32_t {
    SNMP_NET_INITIALISE = 0,  // memory start / used bytes out
    SNMP_NET_OPEN = 1,
    SNMP_NET_RECEIVE = 2,  // receive buffer / message length out
    SNMP_NET_SEND = 3,     // encoded message / its length
    SNMP_NET_CLOSE = 4,
};
enum : uint32_t { SNMP_IPI_UDP = 0, SNMP_IPI_TCP = 1 };

// The contract of every transport; 0 on success.
//  initialise: set up the link's state in the agent's memory (its transport
//    area, agent->transport_area, at most agent->memory_size bytes) and
//    report the bytes taken in *length;
//  open: open the sockets;
//  receive: wait for one message on the IP layer, copy at most
//    SNMP_AGENT_BUFFER bytes into buffer, record the sender in the agent's
//    last sender port and address, give the length; non-zero when nothing came;
//  send: send the bytes to the requester by the way the last request came,
//    counting snmpOutPkts;
//  close: close the sockets.
typedef int (*snmp_net_drv)(snmp_agent* agent, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length);

// The processing callback (request processing) and the second callback
// (responses, and version-3 messages with a msgID), with the parts of the
// decoded message. The record becomes the response in place.
typedef void (*snmp_request_callback)(snmp_agent* agent, uint32_t version, uint32_t version_tag, const char* community,
                                      uint8_t flags, const char* context_engine_id, const char* context_name,
                                      uint32_t wrapper_tag, snmp_record* record, int slot);

// A dispatch thread's body (the transports give them).
typedef void (*snmp_dispatch_entry)(snmp_agent* agent);

constexpr uint32_t SNMP_AGENT_NAME_SIZE = 30;
constexpr uint32_t SNMP_AGENT_BUFFER = SNMP_MAX_MESSAGE;
constexpr UINT SNMP_DISPATCH_PRIORITY = 3;

struct snmp_agent {
    char name[SNMP_AGENT_NAME_SIZE];  // the endpoint's name ("ethernet_udp", "ccp_ppp", ...)
    uint16_t snmp_port;
    uint16_t trap_port;
    uint8_t own_address[4];   // most significant byte first
    uint8_t* response_buffer;  // SNMP_AGENT_BUFFER bytes (the trap path)
    uint8_t* receive_buffer;   // SNMP_AGENT_BUFFER bytes (the dispatch threads)
    snmp_request_callback process;
    snmp_request_callback second;
    snmp_net_drv transport;
    uint16_t last_sender_port;
    uint8_t last_sender_address[4];
    snmp_request_slot slots[SNMP_REQUEST_SLOTS];
    TX_THREAD udp_thread;  // "SNMP UDP Dispatch"
    TX_THREAD tcp_thread;  // "SNMP TCP Dispatch"
    void* transport_area;  // the transport's state, at the start of the agent's memory
    void* packet_pool;     // stored by the endpoint before creation
    uint8_t local;         // 1: the agent of a LAPTOP-port endpoint; its SETs are local
    // Set by snmp_agent_create.
    uint8_t* memory;
    uint32_t memory_size;
    snmp_dispatch_entry udp_entry;
    snmp_dispatch_entry tcp_entry;
};

// "SNMP PROTECT MUTEX", created by snmp_entry.
extern TX_MUTEX g_snmp_protect_mutex;

// Starts the SNMP engine, once, before the first agent: the mutex, the
// database services, the MIB registry.
void snmp_entry();

// Creates an agent on its transport. The memory (memory_size bytes) is
// carved into the transport's area, the response buffer, the receive buffer
// and the stacks of the dispatch threads that are given (stack_size each);
// *used gets the bytes taken. Returns 0, the transport's status, or a
// kernel status.
int snmp_agent_create(snmp_agent* agent, const char* name, uint16_t snmp_port, uint16_t trap_port,
                      const uint8_t own_address[4], uint8_t* memory, uint32_t memory_size, uint32_t* used,
                      uint32_t stack_size, snmp_request_callback process, snmp_request_callback second,
                      snmp_net_drv transport, snmp_dispatch_entry udp_entry, snmp_dispatch_entry tcp_entry);

// Decodes one message and runs the callbacks. A malformed message, an
// unknown version or a message that finds every request slot taken is
// dropped. A request that ends without a response gives its slot back.
void snmp_agent_process(snmp_agent* agent, const uint8_t* message, uint32_t length);

// Encodes the response held in the record and hands it to the transport;
// 1 when the transport took it. Called by request processing within the
// agent's processing of the request.
int returnResponsePdu(snmp_agent* agent, uint32_t version, uint32_t version_tag, const char* community, uint8_t flags,
                      const char* context_engine_id, const char* context_name, uint32_t wrapper_tag,
                      snmp_record* record, int slot);

// The second callback of every endpoint: it does nothing.
void snmp_v3_hook(snmp_agent* agent, uint32_t version, uint32_t version_tag, const char* community, uint8_t flags,
                  const char* context_engine_id, const char* context_name, uint32_t wrapper_tag, snmp_record* record,
                  int slot);

// One bit per registration, 1, 2, 4, ...; 0 from the 33rd call on.
uint32_t CommLED_RegisterAgent();
void CommLED_Indicate(uint32_t mask, uint32_t state);
