// The message wrappers around the PDU: version and community of SNMPv1 and
// SNMPv2c, and the version-3 header (decoded without security processing),
// with the request slots that bound the requests one agent has in flight.
#pragma once

#include <cstdint>

#include "ntcip/snmp/asn1.h"
#include "ntcip/snmp/snmp_codec.h"

constexpr uint32_t SNMP_COMMUNITY_SIZE = 52;  // with the NUL
constexpr uint32_t SNMP_CONTEXT_SIZE = 50;    // with the NUL
constexpr int SNMP_REQUEST_SLOTS = 10;
constexpr int SNMP_NO_SLOT = -1;

struct snmp_request_slot {
    uint8_t in_use;
    uint32_t message_id;  // the version-3 msgID; 0 for SNMPv1 and SNMPv2c
};

// Lowest free slot: marks it in use with the message id and returns its
// index, or SNMP_NO_SLOT when all are in use. Safe between an agent's threads.
int snmp_request_slot_alloc(snmp_request_slot* slots, uint32_t message_id);
// Returns 1 and the slot's message id, or 0 when the slot is not in use.
int snmp_request_slot_free(snmp_request_slot* slots, int index, uint32_t* message_id);

// One decoded message. About 400 KB: it lives on the heap, never on a stack.
struct snmp_message {
    uint32_t version;      // 0 SNMPv1, 1 SNMPv2c, 2, 3
    uint32_t version_tag;  // 1 for SNMPv1, 2 for SNMPv2c, 0 for version 3
    uint8_t flags;         // 0
    uint32_t wrapper_tag;  // 0 SNMPv1, 2 SNMPv2c, msgVersion for version 3
    // The community, or for version 3 the msgSecurityParameters; NUL-terminated,
    // the length counts the bytes as received.
    char community[SNMP_COMMUNITY_SIZE];
    uint32_t community_length;
    char context_engine_id[SNMP_CONTEXT_SIZE];
    uint32_t context_engine_id_length;
    char context_name[SNMP_CONTEXT_SIZE];
    uint32_t context_name_length;
    uint32_t message_id;  // 0; all ones for a response PDU; the msgID of version 3
    int slot;             // SNMP_NO_SLOT for a response PDU
    snmp_record record;
};

// The steps of an agent's receive before its callbacks: counts snmpInPkts,
// reads the outer header and the version, and decodes the whole message with
// the wrapper of its version. Returns 1 when the message was accepted; the
// caller then passes it to request processing (message id 0) or to its second
// callback, and request processing gives the slot back. Returns 0 when the
// message is dropped: malformed (snmpInASNParseErrs), of a version no wrapper
// takes (snmpInBadVersions), or with no free request slot.
int snmp_message_decode(snmp_message* m, const uint8_t* data, uint32_t length, snmp_request_slot* slots);

// The wrappers; each decodes the message from its first byte.
int snmp_v1_message_decode(snmp_message* m, const uint8_t* data, uint32_t length, snmp_request_slot* slots);
int snmp_v2_message_decode(snmp_message* m, const uint8_t* data, uint32_t length, snmp_request_slot* slots);
int snmp_v3_message_decode(snmp_message* m, const uint8_t* data, uint32_t length, snmp_request_slot* slots);

// The response encoders write m's record (turned into the response) backwards
// into a stream opened for encoding, and check the wrapper's fields first.
int snmp_v1_response_encode(asn1_stream* s, const snmp_message* m);
int snmp_v2_response_encode(asn1_stream* s, const snmp_message* m);
int snmp_v3_response_encode(asn1_stream* s, const snmp_message* m, uint32_t message_id);

// Gives m's slot back, then encodes the response of m's version into buffer
// (at most size bytes, the agent's SNMP_MAX_MESSAGE). On success start and length give
// the encoded message within buffer.
// Encodes the response of a message in its own version (without giving
// back its request slot).
int snmp_response_message_encode(const snmp_message* m, uint32_t message_id, uint8_t* buffer, uint32_t size,
                                 uint8_t** start, uint32_t* length);
int snmp_response_encode(snmp_request_slot* slots, const snmp_message* m, uint8_t* buffer, uint32_t size,
                         uint8_t** start, uint32_t* length);
