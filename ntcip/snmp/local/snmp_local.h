// Get and set by OID for the controller's own code (the start-up script, the
// web pages, the private status object, the event logger): an object named
// by its dotted OID text goes through the same registry lookup and handlers
// as a request from the network, without message, community or response.
//
// Each call builds its own one-varbind request record in the caller's
// thread. Every function returns 1 on success and 0 on failure.
#pragma once

#include <cstdint>

constexpr uint32_t SNMP_LOCAL_MAX_SUBIDS = 40;
constexpr uint32_t SNMP_LOCAL_MAX_OCTETS = 2000;  // bytes of one set

// Database switches of a set: a clear bit 0 keeps the set's writes from
// being announced (change notification), a clear bit 1 keeps them from the
// database's validation hooks. Only the writes of the set itself are
// affected; other threads' writes meanwhile are announced and validated as
// always.
enum : uint8_t { SNMP_LOCAL_NOTIFY = 0x01, SNMP_LOCAL_VALIDATE = 0x02 };

// Gets. A get of an object whose syntax cannot give the asked form fails
// (an integer asked of a string object, bytes asked of a number).
int snmp_local_get_int(const char* oid, uint32_t oid_length, uint32_t* value);
// The IpAddress as a number, most significant byte first.
int snmp_local_get_ip(const char* oid, uint32_t oid_length, uint32_t* value);
// Copies min(value length, size) bytes.
int snmp_local_get_octets(const char* oid, uint32_t oid_length, uint8_t* buffer, uint32_t size, uint32_t* length);
// The bytes (at most size of them) base64-encoded into text, NUL-terminated;
// fails when the text does not fit.
int snmp_local_get_octets_decoded(const char* oid, uint32_t oid_length, char* text, uint32_t size,
                                  uint32_t* text_length);

// Sets: a check pass, then (when it found no error) the commit pass. A set of
// a read-only object is served as a get: it succeeds and writes nothing. A
// set fails on an unknown object, a value of the wrong syntax or outside the
// object's constraint, and when the handler reports a refusal (such as a
// database validation hook refusing the value).
int snmp_local_set_int(const char* oid, uint32_t oid_length, uint32_t value, uint8_t switches, uint32_t mask);
// count at most SNMP_LOCAL_MAX_OCTETS.
int snmp_local_set_octets(const char* oid, uint32_t oid_length, const uint8_t* bytes, uint32_t count,
                          uint8_t switches, uint32_t mask);

// May rewrite the decoded bytes (at most capacity of them) and their count
// before they are set.
typedef void (*snmp_local_transform)(const char* oid, uint32_t oid_length, uint8_t* bytes, uint32_t* count,
                                     uint32_t capacity);
// Base64 text decoded (whole groups of four; the characters are not checked;
// an empty text fails), optionally transformed, then set as an OCTET STRING.
int snmp_local_set_octets_encoded(const char* oid, uint32_t oid_length, const char* text, uint32_t text_length,
                                  uint8_t switches, uint32_t mask, snmp_local_transform transform);

// --- The same lookup by sub-identifiers, with the answer as the registry
// gives it (the event logger reads any syntax this way).
struct snmp_local_value {
    uint8_t syntax;    // the row's syntax (mib_syntax)
    uintptr_t cell;    // the integer, or the address of the bytes
    uint32_t length;   // bytes of a string, OID (4 per sub-identifier) or 4
};
// The bytes a string answer points to stay valid until the next internal
// access of the calling thread.
int snmp_local_get_oid(const uint32_t* name, uint32_t name_length, snmp_local_value* out);

// The text's numbers as sub-identifiers: 0 for a null or empty text or one
// of more than SNMP_LOCAL_MAX_SUBIDS numbers.
int snmp_local_parse_oid(const char* oid, uint32_t oid_length, uint32_t* name, uint32_t* name_length);
