#include "frame/util/strings.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

inline unsigned fold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

} // namespace

int mem_casecmp(const void* a, const void* b, uint32_t n)
{
    if (n == 0 || a == b)
        return 0;
    if (!a)
        return -1;
    if (!b)
        return 1;
    const auto* pa = static_cast<const unsigned char*>(a);
    const auto* pb = static_cast<const unsigned char*>(b);
    for (uint32_t i = 0; i < n; ++i) {
        const unsigned fa = fold(pa[i]);
        const unsigned fb = fold(pb[i]);
        if (fa != fb)
            return fa < fb ? -1 : 1;
    }
    return 0;
}

int stricmp(const char* a, const char* b)
{
    if (!a)
        a = "";
    if (!b)
        b = "";
    for (size_t i = 0;; ++i) {
        const int fa = static_cast<int>(fold(static_cast<unsigned char>(a[i])));
        const int fb = static_cast<int>(fold(static_cast<unsigned char>(b[i])));
        if (fa != fb || fa == 0)
            return fa - fb;
    }
}

void str_tolower(char* buffer, uint32_t n)
{
    if (!buffer)
        return;
    for (uint32_t i = 0; i < n; ++i)
        buffer[i] = static_cast<char>(fold(static_cast<unsigned char>(buffer[i])));
}

const char* stristr(const char* text, const char* pattern)
{
    if (!text || !pattern || !*pattern)
        return nullptr;
    for (const char* start = text; *start; ++start) {
        size_t i = 0;
        while (pattern[i] && start[i]
               && fold(static_cast<unsigned char>(start[i])) == fold(static_cast<unsigned char>(pattern[i])))
            ++i;
        if (!pattern[i])
            return start;
        if (!start[i])
            return nullptr;  // text ran out: no later start can match either
    }
    return nullptr;
}

char* stristr(char* text, const char* pattern)
{
    return const_cast<char*>(stristr(static_cast<const char*>(text), pattern));
}

int str_append_format(char* destination, uint32_t room, char* scratch, uint32_t scratch_size, const char* format, ...)
{
    if (!destination || !scratch || !format || scratch_size == 0)
        return 2;
    std::memset(scratch, 0, scratch_size);
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(scratch, scratch_size, format, args);
    va_end(args);
    // A cut text is a failure too: appending half a line would go unnoticed.
    if (written < 0 || static_cast<uint32_t>(written) >= scratch_size)
        return 1;
    const auto len = static_cast<uint32_t>(written);
    if (len >= room)  // the terminator needs a byte of room too
        return 1;
    std::memcpy(destination + std::strlen(destination), scratch, len + 1);
    return 0;
}

int str_replace_all(const char* source, const char* pattern, const char* replacement, char* output, uint32_t size)
{
    if (!source || !pattern || !replacement || !output)
        return -2;
    if (!*pattern)
        return -3;
    std::memset(output, 0, size);
    const size_t plen = std::strlen(pattern);
    const size_t rlen = std::strlen(replacement);
    size_t pos = 0;  // output[pos] is always a zero byte inside size
    int replaced = 0;
    for (const char* s = source; *s;) {
        if (std::strncmp(s, pattern, plen) == 0) {
            if (pos + rlen >= size)
                return -1;
            std::memcpy(output + pos, replacement, rlen);
            pos += rlen;
            s += plen;
            replaced = 1;
        } else {
            if (pos + 1 >= size)
                return -1;
            output[pos++] = *s++;
        }
    }
    if (pos >= size)  // size 0: not even the terminator fits
        return -1;
    return replaced;
}

uint32_t hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<uint32_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<uint32_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<uint32_t>(c - 'a' + 10);
    return 0;
}

uint32_t hex_to_uint(const char* text)
{
    if (!text)
        return 0;
    uint32_t value = 0;
    for (; *text; ++text)
        value = (value << 4) + hex_digit_value(*text);
    return value;
}

int parse_number_list(const char* text, uint32_t length, uint32_t* values, uint32_t capacity, uint32_t* count)
{
    if (!text || !values || !count)
        return 1;
    std::memset(values, 0, static_cast<size_t>(capacity) * sizeof *values);
    uint32_t found = 0;
    uint32_t i = 0;
    while (i < length) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        if (found == capacity)
            return 2;
        uint32_t value = 0;
        for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i)
            value = value * 10 + static_cast<uint32_t>(text[i] - '0');
        values[found++] = value;
    }
    *count = found;
    return 0;
}

int is_leap_year(uint32_t year)
{
    return (year % 4 == 0 && (year % 400 == 0 || year % 100 != 0)) ? 1 : 0;
}
