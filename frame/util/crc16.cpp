#include "frame/util/crc16.h"

#include <array>

namespace {

constexpr std::array<uint16_t, 256> make_crc16_table()
{
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t r = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0x8408) : static_cast<uint16_t>(r >> 1);
        t[i] = r;
    }
    return t;
}

// Built at compile time so it lands in read-only data.
constexpr std::array<uint16_t, 256> crc16_table = make_crc16_table();
static_assert(crc16_table[1] == 0x1189 && crc16_table[128] == 0x8408);

} // namespace

int crc16_begin(crc16_state* state, uint16_t initial)
{
    if (!state)
        return 2;
    if (state->magic == CRC16_MAGIC_OPEN)
        return 1;
    state->magic = CRC16_MAGIC_OPEN;
    state->value = initial;
    return 0;
}

int crc16_update(crc16_state* state, const void* bytes, uint32_t length)
{
    if (!state || state->magic != CRC16_MAGIC_OPEN)
        return 2;
    if (length == 0)
        return 0;
    if (!bytes)
        return 2;
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint16_t v = state->value;
    for (uint32_t i = 0; i < length; ++i)
        v = static_cast<uint16_t>((v >> 8) ^ crc16_table[(v ^ p[i]) & 0xFF]);
    state->value = v;
    return 0;
}

int crc16_result(crc16_state* state, uint16_t* out, uint32_t options)
{
    if (!state || !out || state->magic != CRC16_MAGIC_OPEN)
        return 2;
    uint16_t v = state->value;
    if (options & CRC16_COMPLEMENT)
        v ^= 0xFFFF;
    if (options & CRC16_SWAP)
        v = static_cast<uint16_t>((v << 8) | (v >> 8));
    *out = v;
    return 0;
}

int crc16_end(crc16_state* state)
{
    if (!state || state->magic != CRC16_MAGIC_OPEN)
        return 2;
    state->magic = CRC16_MAGIC_ENDED;
    return 0;
}

uint16_t crc16_fcs(uint16_t fcs, const uint8_t* bytes, uint32_t length)
{
    crc16_state s{};
    crc16_begin(&s, fcs);
    crc16_update(&s, bytes, length);
    uint16_t out = fcs;
    crc16_result(&s, &out, 0);
    crc16_end(&s);
    return out;
}
