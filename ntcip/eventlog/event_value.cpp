#include "ntcip/eventlog/event_value.h"

#include <algorithm>

#include "ntcip/mib/mib_registry.h"

namespace {

// Commits a byte only while fewer than EVENT_VALUE_MAX are written.
struct writer {
    uint8_t* out;
    uint32_t count = 0;
    void put(uint8_t b)
    {
        if (count < EVENT_VALUE_MAX)
            out[count++] = b;
    }
};

// Bytes the definite length of a content of n bytes takes.
uint32_t length_size(uint32_t n)
{
    if (n < 128)
        return 1;
    uint32_t m = 0;
    for (uint32_t v = n; v; v >>= 8)
        ++m;
    return 1 + m;
}

bool fits(uint32_t content) { return 1 + length_size(content) + content <= EVENT_VALUE_MAX; }

void put_length(writer& w, uint32_t n)
{
    if (n < 128) {
        w.put(static_cast<uint8_t>(n));
        return;
    }
    uint32_t m = length_size(n) - 1;
    w.put(static_cast<uint8_t>(0x80 + m));
    for (uint32_t i = m; i-- > 0;)
        w.put(static_cast<uint8_t>(n >> (8 * i)));
}

void put_signed(writer& w, int32_t value)
{
    const uint32_t bits = static_cast<uint32_t>(value);
    uint32_t n = 4;
    // Drop a leading byte that only repeats the sign of the next one.
    while (n > 1) {
        uint8_t top = static_cast<uint8_t>(bits >> (8 * (n - 1)));
        uint8_t next_byte = static_cast<uint8_t>(bits >> (8 * (n - 2)));
        if ((top == 0x00 && !(next_byte & 0x80)) || (top == 0xFF && (next_byte & 0x80)))
            --n;
        else
            break;
    }
    w.put(0x02);
    w.put(static_cast<uint8_t>(n));
    for (uint32_t i = n; i-- > 0;)
        w.put(static_cast<uint8_t>(bits >> (8 * i)));
}

// Counter, Gauge, TimeTicks: the value's bytes without leading zero bytes,
// with a 0x00 in front of a high first bit so that a decoder does not read
// the (unsigned) value as negative.
void put_unsigned(writer& w, uint8_t tag, uint32_t value)
{
    uint32_t n = 1;
    while (n < 4 && (value >> (8 * n)) != 0)
        ++n;
    const bool pad = (value >> (8 * (n - 1))) & 0x80;
    w.put(tag);
    w.put(static_cast<uint8_t>(n + (pad ? 1 : 0)));
    if (pad)
        w.put(0x00);
    for (uint32_t i = n; i-- > 0;)
        w.put(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t load_be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// One sub-identifier in base-128 groups into at most 10 bytes; the count.
uint32_t base128(uint64_t value, uint8_t* out)
{
    uint8_t groups[10];
    uint32_t n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0 && n < sizeof groups);
    for (uint32_t i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(groups[n - 1 - i] | (i + 1 < n ? 0x80 : 0));
    return n;
}

void put_oid(writer& w, const uint8_t* bytes, uint32_t length)
{
    const uint32_t count = bytes ? length / 4 : 0;
    uint8_t content[EVENT_VALUE_BUFFER];
    uint32_t used = 0;
    for (uint32_t i = 0; i < count;) {
        uint64_t value = 0;
        uint32_t taken = 1;
        if (i == 0) {
            // The first two arcs share one number.
            value = 40ull * load_be32(bytes);
            if (count > 1) {
                value += load_be32(bytes + 4);
                taken = 2;
            }
        } else {
            value = load_be32(bytes + 4 * i);
        }
        uint8_t group[10];
        uint32_t n = base128(value, group);
        if (!fits(used + n))
            break;  // cut at a whole sub-identifier
        std::copy(group, group + n, content + used);
        used += n;
        i += taken;
    }
    w.put(0x06);
    put_length(w, used);
    for (uint32_t i = 0; i < used; ++i)
        w.put(content[i]);
}

void put_octets(writer& w, const uint8_t* bytes, uint32_t length)
{
    uint32_t n = bytes ? length : 0;
    n = std::min(n, EVENT_VALUE_MAX);
    while (n > 0 && !fits(n))
        --n;
    w.put(0x04);
    put_length(w, n);
    for (uint32_t i = 0; i < n; ++i)
        w.put(bytes[i]);
}

}  // namespace

bool event_value_writer(uint8_t syntax, uintptr_t cell, uint32_t value_length, uint8_t* out, uint32_t* length)
{
    writer w{out};
    const uint32_t word = static_cast<uint32_t>(cell);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(cell);
    bool handled = true;
    switch (syntax) {
    case MIB_INTEGER:
        put_signed(w, static_cast<int32_t>(word));
        break;
    case MIB_COUNTER:
        put_unsigned(w, 0x41, word);
        break;
    case MIB_GAUGE:
        put_unsigned(w, 0x42, word);
        break;
    case MIB_TIMETICKS:
        put_unsigned(w, 0x43, word);
        break;
    case MIB_IPADDRESS:
        w.put(0x40);
        w.put(0x04);
        for (uint32_t i = 4; i-- > 0;)
            w.put(static_cast<uint8_t>(word >> (8 * i)));
        break;
    case MIB_OCTET_STRING:
        put_octets(w, bytes, value_length);
        break;
    case MIB_OBJECT_ID:
        put_oid(w, bytes, value_length);
        break;
    default:
        handled = false;
        break;
    }
    *length = w.count;
    return handled;
}
