#pragma once
// Case-insensitive string routines and number parsing. Only "A"-"Z" are
// folded; other bytes compare as they are.

#include <cstdint>

// Compares exactly n bytes, not stopping at a zero byte. -1, 0 or 1.
// A null pointer compares unequal (null sorts first) unless both are null.
int mem_casecmp(const void* a, const void* b, uint32_t n);

// folded(a[i]) - folded(b[i]) at the first difference or at the end of a.
// A null string counts as empty.
int stricmp(const char* a, const char* b);

// Lower-cases "A"-"Z" in exactly n bytes, zero bytes included.
void str_tolower(char* buffer, uint32_t n);

// First occurrence of pattern in text ignoring case; null when not found,
// for a null argument or for an empty pattern.
const char* stristr(const char* text, const char* pattern);
char* stristr(char* text, const char* pattern);

// Formats into scratch (scratch_size bytes, cleared first) and appends the
// result to destination. room is the number of bytes free in destination
// from its terminating zero onwards (sizeof buffer - strlen), so the text
// plus its terminator must fit in room.
// 0 appended; 1 formatting failed, the text did not fit scratch or room
// (destination untouched); 2 null destination, scratch or format, or
// scratch_size 0.
int str_append_format(char* destination, uint32_t room, char* scratch, uint32_t scratch_size, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

// Copies source to output with every occurrence of pattern (left to right,
// not overlapping) replaced. output (size bytes) is cleared first and stays
// zero-terminated.
// 1 replaced at least once; 0 no occurrence; -1 the result needs size bytes
// or more (output holds the part built so far); -2 null argument; -3 empty
// pattern.
int str_replace_all(const char* source, const char* pattern, const char* replacement, char* output, uint32_t size);

// 0-15 for a hexadecimal digit, 0 for anything else.
uint32_t hex_digit_value(char c);

// Hexadecimal text up to its zero byte; non-hex characters count as digit 0
// and only the last eight digits survive. 0 for null.
uint32_t hex_to_uint(const char* text);

// Collects the runs of decimal digits in text[0..length-1] (every other
// character separates) into values, which is cleared for capacity words
// first. A run is cut at length.
// 0 ok (*count set); 1 null argument; 2 more runs than capacity (*count
// not written).
int parse_number_list(const char* text, uint32_t length, uint32_t* values, uint32_t capacity, uint32_t* count);

// 1 for a Gregorian leap year, else 0.
int is_leap_year(uint32_t year);
