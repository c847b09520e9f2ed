#pragma once
// Standard base64 ("A"-"Z", "a"-"z", "0"-"9", "+", "/", pad "=").

#include <cstdint>

// Fills buffer[0..63] with the alphabet (the rest of size is cleared).
// 1 on success, 0 for a null buffer or size below 64.
int base64_encode_table(char* buffer, uint32_t size);

// Clears size bytes and sets buffer[character] = value for the alphabet.
// 1 on success, 0 for a null buffer or size below 128.
int base64_decode_table(uint8_t* buffer, uint32_t size);

// Encodes length bytes with "=" padding and a terminating zero byte.
// *out_length = (length + 2) / 3 * 4 is set before the room check.
// 0 ok, 1 null pointer, 2 when out_length + 1 bytes do not fit in size.
// input and output may be the same buffer.
int base64_encode(const void* input, uint32_t length, char* output, uint32_t size, uint32_t* out_length);

// Decodes length / 4 whole groups (a partial trailing group is ignored);
// characters outside the alphabet count as 0 and "=" in the third or fourth
// place drops that place's byte. No terminating zero byte is written.
// 0 ok, 1 null pointer, 2 when (3 * length + 6) / 4 exceeds size.
int base64_decode(const char* text, uint32_t length, void* output, uint32_t size, uint32_t* out_length);
