// SNMP PDUs to request records and back, on top of the BER codec. Decoders
// fill the record straight from the message; encoders write backwards, the
// last element first. All g_snmp_ coders return 1 on success, 0 on failure.
#pragma once

#include <cstdint>

#include "ntcip/snmp/asn1.h"

constexpr uint32_t SNMP_MAX_VARBINDS = 50;
constexpr uint32_t SNMP_MAX_OID = 40;        // sub-identifiers per name
constexpr uint32_t SNMP_MAX_VALUE = 8000;    // value bytes per varbind
constexpr uint32_t SNMP_MAX_STRING = SNMP_MAX_VALUE - 1;     // room for the NUL
constexpr uint32_t SNMP_MAX_OID_VALUE = SNMP_MAX_VALUE / 4;  // sub-identifiers of an OID value
// A message, either way: room for a MULTI text of the longest the sign
// takes (3000 bytes) with the rest of a message row's SET around it, so
// that such a SET and its echoing answer are never dropped for size.
constexpr uint32_t SNMP_MAX_MESSAGE = 3400;
// The msgMaxSize version-3 answers announce, as they always have: below
// the limit, so a manager that honours it is always received.
constexpr uint32_t SNMP_V3_MAX_SIZE = 3000;

// The time since the start as TimeTicks: hundredths of a second.
uint32_t snmp_time_ticks();

// Value syntax codes.
enum : uint16_t {
    SNMP_NULL = 0,
    SNMP_INTEGER = 1,
    SNMP_OCTET_STRING = 2,
    SNMP_OBJECT_ID = 3,
    SNMP_IPADDRESS = 4,
    SNMP_COUNTER = 5,
    SNMP_GAUGE = 6,
    SNMP_TIMETICKS = 7,
    SNMP_OPAQUE = 8,
    SNMP_BIT_STRING = 9,
    SNMP_COUNTER64 = 11,
    SNMP_NO_SUCH_OBJECT = 12,
    SNMP_NO_SUCH_INSTANCE = 13,
    SNMP_END_OF_MIB_VIEW = 14,
    // A received value the agent cannot take, kept as it came (its bytes, its
    // class and tag) so that the answer can refuse it and repeat it.
    SNMP_WRONG_TYPE = 64,    // a type no object has (Counter64, BIT STRING)
    SNMP_WRONG_LENGTH = 65,  // a number over 32 bits, an address of another size
};

// PDU types (the context-specific tag of the PDU).
enum : uint32_t {
    SNMP_PDU_GET = 0,
    SNMP_PDU_GETNEXT = 1,
    SNMP_PDU_RESPONSE = 2,
    SNMP_PDU_SET = 3,
    SNMP_PDU_TRAP = 4,
    SNMP_PDU_GETBULK = 5,
    SNMP_PDU_INFORM = 6,
    SNMP_PDU_TRAP2 = 7,
};

// One varbind entry.
struct snmp_varbind {
    uint32_t name[SNMP_MAX_OID];
    uint32_t name_length;
    uint16_t syntax;
    // Bytes of a string or address; 4 for integers; for an OID value 4 x its
    // sub-identifiers when decoded, the count of them when encoded.
    uint32_t value_length;
    union {
        uint8_t value[SNMP_MAX_VALUE];  // strings NUL-terminated after the length
        uint32_t value_words[SNMP_MAX_OID_VALUE];  // an integer in word 0, or an OID's sub-identifiers
    };
    uintptr_t value_cell;  // the handler's result: an integer or a pointer to the bytes
    // Class and tag of a value kept as it came (SNMP_WRONG_TYPE, SNMP_WRONG_LENGTH).
    uint8_t raw_class;
    uint32_t raw_tag;
};

struct snmp_request {
    uint32_t pdu_type;
    uint32_t request_id;
    uint32_t error_status;  // non-repeaters of a GetBulkRequest
    uint32_t error_index;   // max-repetitions of a GetBulkRequest
    snmp_varbind varbinds[SNMP_MAX_VARBINDS];
    int16_t count;
    // Octets the request-id arrived in, so that the response repeats it byte
    // for byte; 0 for a record built here.
    uint8_t request_id_octets;
    // The request named more varbinds than the record keeps.
    uint8_t overflow;
};

// The SNMPv1 Trap-PDU variant.
struct snmp_trap_request {
    uint32_t pdu_type;
    uint32_t enterprise[SNMP_MAX_OID];
    uint32_t enterprise_length;
    uint8_t agent_address[4];
    uint32_t generic_trap;
    uint32_t specific_trap;
    uint32_t time_stamp;
    snmp_varbind varbinds[SNMP_MAX_VARBINDS];
    int16_t count;
};

// A decoded PDU: pdu_type tells which variant is live.
union snmp_record {
    uint32_t pdu_type;
    snmp_request request;
    snmp_trap_request trap;
};

// The tag table: class and tag of a value syntax, and back.
int g_snmp_syntax2tag_cls(uint16_t syntax, uint32_t* tag, uint32_t* cls);
int g_snmp_tag_cls2syntax(uint32_t tag, uint32_t cls, uint16_t* syntax);

// A null entry decodes and checks the varbind without keeping it.
int g_snmp_object_decode(asn1_stream* s, snmp_varbind* entry);
int g_snmp_object_encode(asn1_stream* s, const snmp_varbind* entry);
// count: every varbind in the list; only the first SNMP_MAX_VARBINDS are kept.
int g_snmp_list_decode(asn1_stream* s, snmp_varbind* entries, int* count);
int g_snmp_list_encode(asn1_stream* s, const snmp_varbind* entries, int count);

int g_snmp_request_decode(asn1_stream* s, snmp_request* request);
int g_snmp_request_encode(asn1_stream* s, const snmp_request* request);
int g_snmp_trap_decode(asn1_stream* s, snmp_trap_request* trap);
int g_snmp_trap_encode(asn1_stream* s, const snmp_trap_request* trap);

int g_snmp_pdu_v1_decode(asn1_stream* s, snmp_record* record);
int g_snmp_pdu_v1_encode(asn1_stream* s, const snmp_record* record);
int g_snmp_pdu_v2_decode(asn1_stream* s, snmp_request* request);
int g_snmp_pdu_v2_encode(asn1_stream* s, const snmp_request* request);
// SEQUENCE { contextEngineID, contextName, PDU }.
int g_snmp_pdu_v3_encode(asn1_stream* s, const snmp_request* request, const uint8_t* engine_id,
                         uint32_t engine_id_length, const uint8_t* context_name, uint32_t context_name_length);
