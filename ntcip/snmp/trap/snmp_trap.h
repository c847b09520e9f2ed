// SNMPv1 trap messages: a queued trap becomes a Trap-PDU (enterprise
// 1.3.6.1.4.11), is encoded as SEQUENCE { version 0, community, Trap-PDU } of
// at most the agent's message size, and leaves on one of four subnetworks:
//   1  the endpoint's own link, through its agent's transport;
//   2  the UDP trap client, 3 the TCP trap client, 4 the TCP trap port.
// Subnetworks 2 to 4 belong to the communication side, which installs a
// route for each; an encoded trap for a subnetwork without a route is
// dropped with a trace.
//
// Events raise traps through snmp_raise_trap, which hands them to the
// endpoint layer's admission (the trap settings decide whether a trap is
// queued); until one is installed, raised traps are dropped.
#pragma once

#include <cstdint>

#include "ntcip/snmp/agent/snmp_agent.h"
#include "ntcip/snmp/trap/trap_buffer.h"

enum : uint32_t {
    SNMP_TRAP_OWN_LINK = 1,
    SNMP_TRAP_UDP_CLIENT = 2,
    SNMP_TRAP_TCP_CLIENT = 3,
    SNMP_TRAP_TCP_PORT = 4,
};

constexpr uint16_t SNMP_TRAP_PORT = 162;
// The community of every trap the controller sends: the factory default
// user community.
extern const char* const SNMP_TRAP_COMMUNITY;

// --- Routes of the communication side.
// Sends an encoded trap message to the trap destination; 0 when it was taken.
typedef int (*snmp_trap_route)(const uint8_t* message, uint32_t length, uint16_t port, const uint8_t address[4]);
// Subnetworks 2, 3, 4; a null route removes it.
void snmp_set_trap_route(uint32_t subnetwork, snmp_trap_route route);
// Called before a trap leaves on an endpoint's own link, so that a link
// that frames traps itself (the radio mode of the point-to-multipoint link)
// can prepare its headers.
typedef void (*snmp_trap_link_prepare)(snmp_agent* agent, uint16_t trap_port);
void snmp_set_trap_link_prepare(snmp_trap_link_prepare prepare);

// --- Raising a trap (the endpoint layer's CNTCIP::SendTrap installs itself).
// The admission copies the varbinds and their values before it returns.
typedef void (*snmp_trap_admission)(uint32_t generic, uint32_t specific, uint32_t count,
                                    const snmp_trap_varbind* varbinds);
void snmp_set_trap_admission(snmp_trap_admission admission);
void snmp_raise_trap(uint32_t generic, uint32_t specific, uint32_t count, const snmp_trap_varbind* varbinds);
// Makes the peripherals' trap sender (frame/peripheral/peripheral_trap.h)
// raise their traps here.
void snmp_install_peripheral_trap_sender();

// --- Sending.
// Builds the Trap-PDU and sends it (sendPduTrap's result). address: the agent address of the PDU and the
// destination handed to the route. Uses agent, subnetwork, port, address,
// community (null: SNMP_TRAP_COMMUNITY), generic, specific and the varbinds;
// the other arguments are accepted and not used. Generic traps (0 to 5)
// carry no varbinds and specific trap 0.
int snmp_trap(snmp_agent* agent, uint32_t subnetwork, uint16_t trap_port, const uint8_t address[4], uint32_t version,
              uint32_t security_model, const char* community, uint32_t security_level, const char* context_engine_id,
              const char* context_name, uint8_t flags, uint32_t generic, uint32_t specific, uint32_t count,
              const snmp_trap_varbind* varbinds);

// A queued record through snmp_trap with the trap community and version 0.
int snmp_trap_send_record(snmp_agent* agent, uint32_t subnetwork, uint16_t trap_port, const uint8_t address[4],
                          const trap_record& record);

// The oldest record of the buffer through snmp_trap_send_record. The record
// leaves the buffer only when it was sent, or can never be: a failed send
// leaves it for the next try. False when the buffer was empty.
bool snmp_trap_send_oldest(CTrapBuffer& buffer, snmp_agent* agent, uint32_t subnetwork, uint16_t trap_port,
                           const uint8_t address[4]);

// Encodes and sends one Trap-PDU: 1 when the link or route took it, 0 when
// it did not (no route, a refusing route, a failed send: worth another try),
// -1 for a version other than 0 or a message that cannot be encoded (never
// worth one).
int sendPduTrap(snmp_agent* agent, uint32_t subnetwork, uint16_t trap_port, const uint8_t address[4],
                uint32_t version, uint32_t security_model, const char* community, uint32_t security_level,
                const char* context_engine_id, const char* context_name, uint32_t pdu_version,
                const snmp_trap_request* pdu);

// Encodes the message backwards into buffer (at most size bytes, never more
// than SNMP_MAX_MESSAGE). Out: the port (162 when 0), the address, the
// message's start within buffer and its length. 1, or 0 with a trace.
int snmpv1_prepare_trap_message(snmp_agent* agent, uint16_t port, const uint8_t address[4],
                                uint32_t message_processing_model, uint32_t security_model, const char* community,
                                uint32_t security_level, const snmp_trap_request* pdu, uint32_t pdu_version,
                                uint16_t* port_out, uint8_t address_out[4], uint8_t** message_start,
                                uint32_t* message_length, uint8_t* buffer, uint32_t size);
