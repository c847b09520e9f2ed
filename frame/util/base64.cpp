#include "frame/util/base64.h"

#include <cstring>

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

int base64_encode_table(char* buffer, uint32_t size)
{
    if (!buffer || size < 64)
        return 0;
    std::memset(buffer, 0, size);
    std::memcpy(buffer, alphabet, 64);
    return 1;
}

int base64_decode_table(uint8_t* buffer, uint32_t size)
{
    if (!buffer || size < 128)
        return 0;
    std::memset(buffer, 0, size);
    for (uint8_t v = 0; v < 64; ++v)
        buffer[static_cast<uint8_t>(alphabet[v])] = v;
    return 1;
}

int base64_encode(const void* input, uint32_t length, char* output, uint32_t size, uint32_t* out_length)
{
    if (!output || !out_length || (!input && length))
        return 1;
    const uint64_t needed = (static_cast<uint64_t>(length) + 2) / 3 * 4;
    *out_length = needed > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(needed);
    if (needed >= size)
        return 2;

    char table[64];
    base64_encode_table(table, sizeof table);

    // Working from the end lets the caller encode in place: every output
    // byte lies at or after the input bytes it is made from, and each group
    // is read completely before it is written.
    const auto* in = static_cast<const uint8_t*>(input);
    const uint32_t groups = length / 3;
    const uint32_t rest = length % 3;
    output[needed] = '\0';
    if (rest) {
        const uint8_t x = in[groups * 3];
        const uint8_t y = rest == 2 ? in[groups * 3 + 1] : 0;
        char* o = output + groups * 4;
        o[0] = table[x >> 2];
        o[1] = table[((x << 4) & 0x30) | (y >> 4)];
        o[2] = rest == 2 ? table[(y << 2) & 0x3C] : '=';
        o[3] = '=';
    }
    for (uint32_t g = groups; g-- > 0;) {
        const uint8_t x = in[g * 3];
        const uint8_t y = in[g * 3 + 1];
        const uint8_t z = in[g * 3 + 2];
        char* o = output + g * 4;
        o[0] = table[x >> 2];
        o[1] = table[((x << 4) & 0x30) | (y >> 4)];
        o[2] = table[((y << 2) & 0x3C) | (z >> 6)];
        o[3] = table[z & 0x3F];
    }
    return 0;
}

int base64_decode(const char* text, uint32_t length, void* output, uint32_t size, uint32_t* out_length)
{
    if (!output || !out_length || (!text && length))
        return 1;
    *out_length = 0;
    if ((3 * static_cast<uint64_t>(length) + 6) / 4 > size)
        return 2;

    uint8_t table[128];
    base64_decode_table(table, sizeof table);
    auto value = [&table](char c) -> uint8_t {
        const auto u = static_cast<uint8_t>(c);
        return u < 128 ? table[u] : 0;
    };

    auto* out = static_cast<uint8_t*>(output);
    uint32_t n = 0;
    for (uint32_t g = 0; g < length / 4; ++g) {
        const char* c = text + g * 4;
        const uint8_t v0 = value(c[0]), v1 = value(c[1]), v2 = value(c[2]), v3 = value(c[3]);
        const bool third = c[2] != '=';
        const bool fourth = c[3] != '=';
        out[n++] = static_cast<uint8_t>((v0 << 2) | (v1 >> 4));
        if (third)
            out[n++] = static_cast<uint8_t>((v1 << 4) | (v2 >> 2));
        if (fourth)
            out[n++] = static_cast<uint8_t>((v2 << 6) | v3);
    }
    *out_length = n;
    return 0;
}
