// The BER form in which the event log stores a logged value.
#pragma once

#include <cstdint>

constexpr uint32_t EVENT_VALUE_BUFFER = 512;
constexpr uint32_t EVENT_VALUE_MAX = 511;  // bytes of the buffer that are used

// Encodes a value as the registry answered it (row syntax, the integer or
// the address of the bytes, their length) into out (EVENT_VALUE_BUFFER
// bytes). A string or OID too long for EVENT_VALUE_MAX bytes is cut to the
// longest content whose whole encoding fits (an OID at a sub-identifier).
// Returns false, with *length 0, for a syntax without an encoding.
bool event_value_writer(uint8_t syntax, uintptr_t cell, uint32_t value_length, uint8_t* out, uint32_t* length);
