#pragma once
// Table-driven CRC-16 with the reflected CCITT polynomial 0x8408.
// Begun with 0xFFFF and taken with CRC16_COMPLEMENT it is the X.25 CRC.

#include <cstdint>

enum : uint16_t {
    CRC16_MAGIC_OPEN = 0x3136,   // "16"
    CRC16_MAGIC_ENDED = 0x554E,  // "UN"
};

// Option bits of crc16_result.
enum : uint32_t {
    CRC16_FINAL = 1,       // accepted, no effect
    CRC16_COMPLEMENT = 2,  // xor 0xFFFF
    CRC16_SWAP = 4,        // exchange the two bytes (after complementing)
};

struct crc16_state {
    uint16_t magic;
    uint16_t value;
};

// All return 0 on success.
// 1: begin on a state that is already open (its value is left alone).
// 2: update/result/end on a state that is not open, or a null pointer.
int crc16_begin(crc16_state* state, uint16_t initial);
int crc16_update(crc16_state* state, const void* bytes, uint32_t length);
int crc16_result(crc16_state* state, uint16_t* out, uint32_t options);
int crc16_end(crc16_state* state);

// The running FCS-16 of an HDLC-like frame over more bytes, before its
// final complement (one state opened and closed around them).
uint16_t crc16_fcs(uint16_t fcs, const uint8_t* bytes, uint32_t length);
