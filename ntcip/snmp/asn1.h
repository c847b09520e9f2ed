// BER codec of the SNMP engine. Decoding reads forwards through a received
// buffer; encoding writes backwards from the end of the output buffer, so a
// constructed value's contents exist before its header and no length is
// computed in advance.
//
// Every function takes the stream first and returns 1 on success, 0 on
// failure; the first failure's code stays in the stream's error field.
#pragma once

#include <cstdint>

struct asn1_stream {
    uint8_t* cursor;  // next byte to read, or the first byte written so far
    uint8_t* begin;
    uint8_t* end;     // one past the last byte of the buffer
    uint32_t error;   // 0, or the code of the first failure
};

enum : uint32_t {
    ASN1_ERR_NONE = 0,
    ASN1_ERR_NO_ROOM = 1,       // encode: no room left before the cursor
    ASN1_ERR_ENDED = 2,         // decode: the buffer (or the value) ended
    ASN1_ERR_EOC = 3,           // decode: indefinite value without two zero octets
    ASN1_ERR_END_MISMATCH = 4,  // decode: a constructed value did not end where its length says
    ASN1_ERR_OVERFLOW = 5,      // decode: too many octets for the number
    ASN1_ERR_OID_SHORT = 6,     // encode: an OID that BER cannot express
    ASN1_ERR_CAPACITY = 7,      // decode: contents longer than the caller's destination
    ASN1_ERR_LENGTH = 8,        // decode: indefinite, or a length of more than 4 octets
};

enum : uint32_t { ASN1_DECODE = 1, ASN1_ENCODE = 0 };

// Classes, forms and the universal tags the engine uses.
enum : uint32_t { ASN1_UNI = 0, ASN1_APL = 1, ASN1_CTX = 2, ASN1_PRV = 3 };
enum : uint32_t { ASN1_PRI = 0, ASN1_CON = 1 };
enum : uint32_t {
    ASN1_BOL = 1,
    ASN1_INT = 2,
    ASN1_BTS = 3,
    ASN1_OTS = 4,
    ASN1_NUL = 5,
    ASN1_OJI = 6,
    ASN1_SEQ = 16,
};

int g_asn1_open(asn1_stream* s, uint8_t* buffer, uint32_t length, uint32_t mode);
int g_asn1_close(asn1_stream* s, uint8_t** start, uint32_t* length);
int g_asn1_get_cursor(asn1_stream* s, uint8_t** position);
// Refuses a position outside the buffer.
int g_asn1_set_cursor(asn1_stream* s, uint8_t* position);

int g_asn1_octet_encode(asn1_stream* s, uint8_t byte);
int g_asn1_octet_decode(asn1_stream* s, uint8_t* byte);

int g_asn1_tag_encode(asn1_stream* s, uint32_t tag);
int g_asn1_tag_decode(asn1_stream* s, uint32_t* tag);
int g_asn1_id_encode(asn1_stream* s, uint32_t cls, uint32_t form, uint32_t tag);
int g_asn1_id_decode(asn1_stream* s, uint32_t* cls, uint32_t* form, uint32_t* tag);

int g_asn1_length_encode(asn1_stream* s, uint32_t definite, uint32_t length);
// 0x80 reports an indefinite length; more than 4 length octets are refused.
int g_asn1_length_decode(asn1_stream* s, uint32_t* definite, uint32_t* length);

// end null: indefinite length. Otherwise the length is end - cursor.
int g_asn1_header_encode(asn1_stream* s, uint8_t* end, uint32_t cls, uint32_t form, uint32_t tag);
// The end position is cursor + length and never lies past the buffer's end.
// Indefinite lengths are refused: every value the engine reads has a definite one.
int g_asn1_header_decode(asn1_stream* s, uint8_t** end, uint32_t* cls, uint32_t* form, uint32_t* tag);

// end non-null: remember where contents end; null: write two zero octets.
int g_asn1_eoc_encode(asn1_stream* s, uint8_t** end);
// end null: two zero octets must follow. Otherwise the cursor must be at end,
// or exactly 2 bytes past it in tolerant mode.
int g_asn1_eoc_decode(asn1_stream* s, uint8_t* end);

int g_asn1_int_encode(asn1_stream* s, uint8_t** end, int32_t value);
int g_asn1_int_decode(asn1_stream* s, uint8_t* end, int32_t* value);
int g_asn1_uint_encode(asn1_stream* s, uint8_t** end, uint32_t value);
int g_asn1_uint_decode(asn1_stream* s, uint8_t* end, uint32_t* value);
// Decodes a header and checks that it is the expected one.
int g_asn1_expect_header(asn1_stream* s, uint8_t** end, uint32_t cls, uint32_t form, uint32_t tag);
// Decodes a whole universal INTEGER field as an unsigned value.
int g_asn1_uint_field_decode(asn1_stream* s, uint32_t* value);

int g_asn1_octets_encode(asn1_stream* s, uint8_t** end, const uint8_t* bytes, uint32_t count);
// Copies the contents up to end into buffer; more than capacity bytes is
// ASN1_ERR_CAPACITY and copies nothing. A null buffer only skips the contents.
int g_asn1_octets_decode(asn1_stream* s, uint8_t* end, uint8_t* buffer, uint32_t capacity, uint32_t* count);

int g_asn1_subid_encode(asn1_stream* s, uint32_t subid);
int g_asn1_subid_decode(asn1_stream* s, uint32_t* subid);

int g_asn1_oid_encode(asn1_stream* s, uint8_t** end, const uint32_t* subids, uint32_t count);
// More than capacity sub-identifiers is ASN1_ERR_CAPACITY. A null subids
// array only counts them (the capacity still applies).
int g_asn1_oid_decode(asn1_stream* s, uint8_t* end, uint32_t* subids, uint32_t capacity, uint32_t* count);

// The tolerant end test (contents running exactly 2 bytes past a constructed
// value's length) follows an option bit of the parameter database. The
// database's services install their query here; without one the mode is off.
typedef bool (*asn1_tolerant_query)();
void g_asn1_set_tolerant_query(asn1_tolerant_query query);
bool g_asn1_tolerant();
