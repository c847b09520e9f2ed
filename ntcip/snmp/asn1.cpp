#include "ntcip/snmp/asn1.h"

#include <cstring>

#include "frame/trace/trace.h"

namespace {

asn1_tolerant_query g_tolerant_query = nullptr;

int fail(asn1_stream* s, uint32_t code)
{
    if (s->error == ASN1_ERR_NONE)
        s->error = code;
    return 0;
}

// Contents decoders work between the cursor and an end position that a header
// produced; anything else is treated as a value that ended early.
bool contents_bounded(const asn1_stream* s, const uint8_t* end)
{
    return end != nullptr && s->cursor <= end && end <= s->end;
}

// One base-128 number (tag number or sub-identifier) that must end before limit.
int base128_decode(asn1_stream* s, const uint8_t* limit, uint32_t* out)
{
    uint32_t value = 0;
    uint8_t byte = 0;
    do {
        if (s->cursor >= limit)
            return fail(s, ASN1_ERR_ENDED);
        byte = *s->cursor++;
        // A number past 32 bits would be cut to another number: refuse it.
        if (value > (UINT32_MAX >> 7))
            return fail(s, ASN1_ERR_OVERFLOW);
        value = (value << 7) | (byte & 0x7F);
    } while (byte & 0x80);
    *out = value;
    return 1;
}

int base128_encode(asn1_stream* s, uint32_t value)
{
    if (!g_asn1_octet_encode(s, static_cast<uint8_t>(value & 0x7F)))
        return 0;
    value >>= 7;
    while (value != 0) {
        if (!g_asn1_octet_encode(s, static_cast<uint8_t>((value & 0x7F) | 0x80)))
            return 0;
        value >>= 7;
    }
    return 1;
}

}  // namespace

void g_asn1_set_tolerant_query(asn1_tolerant_query query) { g_tolerant_query = query; }

bool g_asn1_tolerant() { return g_tolerant_query != nullptr && g_tolerant_query(); }

int g_asn1_open(asn1_stream* s, uint8_t* buffer, uint32_t length, uint32_t mode)
{
    s->begin = buffer;
    s->end = buffer + length;
    s->cursor = mode == ASN1_DECODE ? s->begin : s->end;
    s->error = ASN1_ERR_NONE;
    return 1;
}

int g_asn1_close(asn1_stream* s, uint8_t** start, uint32_t* length)
{
    *start = s->cursor;
    *length = static_cast<uint32_t>(s->end - s->cursor);
    return 1;
}

int g_asn1_get_cursor(asn1_stream* s, uint8_t** position)
{
    *position = s->cursor;
    return 1;
}

int g_asn1_set_cursor(asn1_stream* s, uint8_t* position)
{
    if (position < s->begin || position > s->end)
        return fail(s, ASN1_ERR_ENDED);
    s->cursor = position;
    return 1;
}

int g_asn1_octet_encode(asn1_stream* s, uint8_t byte)
{
    if (s->cursor <= s->begin)
        return fail(s, ASN1_ERR_NO_ROOM);
    *--s->cursor = byte;
    return 1;
}

int g_asn1_octet_decode(asn1_stream* s, uint8_t* byte)
{
    if (s->cursor >= s->end)
        return fail(s, ASN1_ERR_ENDED);
    *byte = *s->cursor++;
    return 1;
}

int g_asn1_tag_encode(asn1_stream* s, uint32_t tag) { return base128_encode(s, tag); }

int g_asn1_tag_decode(asn1_stream* s, uint32_t* tag) { return base128_decode(s, s->end, tag); }

int g_asn1_id_encode(asn1_stream* s, uint32_t cls, uint32_t form, uint32_t tag)
{
    uint8_t first = static_cast<uint8_t>((cls & 3) << 6 | (form & 1) << 5);
    if (tag >= 31) {
        if (!g_asn1_tag_encode(s, tag))
            return 0;
        return g_asn1_octet_encode(s, first | 31);
    }
    return g_asn1_octet_encode(s, static_cast<uint8_t>(first | tag));
}

int g_asn1_id_decode(asn1_stream* s, uint32_t* cls, uint32_t* form, uint32_t* tag)
{
    uint8_t byte = 0;
    if (!g_asn1_octet_decode(s, &byte))
        return 0;
    *cls = (byte >> 6) & 3;
    *form = (byte >> 5) & 1;
    *tag = byte & 31;
    if (*tag == 31)
        return g_asn1_tag_decode(s, tag);
    return 1;
}

int g_asn1_length_encode(asn1_stream* s, uint32_t definite, uint32_t length)
{
    if (!definite)
        return g_asn1_octet_encode(s, 0x80);
    if (length < 128)
        return g_asn1_octet_encode(s, static_cast<uint8_t>(length));
    uint8_t count = 0;
    while (length != 0) {
        if (!g_asn1_octet_encode(s, static_cast<uint8_t>(length & 0xFF)))
            return 0;
        length >>= 8;
        ++count;
    }
    return g_asn1_octet_encode(s, static_cast<uint8_t>(0x80 | count));
}

int g_asn1_length_decode(asn1_stream* s, uint32_t* definite, uint32_t* length)
{
    uint8_t byte = 0;
    if (!g_asn1_octet_decode(s, &byte))
        return 0;
    if (byte == 0x80) {
        *definite = 0;
        *length = 0;
        return 1;
    }
    if (byte < 0x80) {
        *definite = 1;
        *length = byte;
        return 1;
    }
    // A longer count would have to drop high octets and give another length.
    uint32_t count = byte & 0x7F;
    if (count > 4)
        return fail(s, ASN1_ERR_LENGTH);
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (!g_asn1_octet_decode(s, &byte))
            return 0;
        value = (value << 8) | byte;
    }
    *definite = 1;
    *length = value;
    return 1;
}

int g_asn1_header_encode(asn1_stream* s, uint8_t* end, uint32_t cls, uint32_t form, uint32_t tag)
{
    if (end != nullptr) {
        if (!g_asn1_length_encode(s, 1, static_cast<uint32_t>(end - s->cursor)))
            return 0;
    } else if (!g_asn1_length_encode(s, 0, 0)) {
        return 0;
    }
    return g_asn1_id_encode(s, cls, form, tag);
}

int g_asn1_header_decode(asn1_stream* s, uint8_t** end, uint32_t* cls, uint32_t* form, uint32_t* tag)
{
    uint32_t definite = 0, length = 0;
    if (!g_asn1_id_decode(s, cls, form, tag) || !g_asn1_length_decode(s, &definite, &length))
        return 0;
    if (!definite)
        return fail(s, ASN1_ERR_LENGTH);
    // Compared as a count so that a huge length cannot wrap the pointer.
    if (length > static_cast<uint32_t>(s->end - s->cursor))
        return fail(s, ASN1_ERR_ENDED);
    *end = s->cursor + length;
    return 1;
}

int g_asn1_eoc_encode(asn1_stream* s, uint8_t** end)
{
    if (end != nullptr) {
        *end = s->cursor;
        return 1;
    }
    return g_asn1_octet_encode(s, 0) && g_asn1_octet_encode(s, 0);
}

int g_asn1_eoc_decode(asn1_stream* s, uint8_t* end)
{
    if (end == nullptr) {
        uint8_t a = 0, b = 0;
        if (!g_asn1_octet_decode(s, &a) || !g_asn1_octet_decode(s, &b))
            return 0;
        if (a != 0 || b != 0)
            return fail(s, ASN1_ERR_EOC);
        return 1;
    }
    if (s->cursor == end)
        return 1;
    if (s->cursor - end == 2 && g_asn1_tolerant())
        return 1;
    return fail(s, ASN1_ERR_END_MISMATCH);
}

int g_asn1_int_encode(asn1_stream* s, uint8_t** end, int32_t value)
{
    *end = s->cursor;
    uint32_t bits = static_cast<uint32_t>(value);
    if (value < 0) {
        for (int i = 0; i < 4; ++i, bits >>= 8)
            if (!g_asn1_octet_encode(s, static_cast<uint8_t>(bits & 0xFF)))
                return 0;
        return 1;
    }
    return g_asn1_uint_encode(s, end, bits);
}

int g_asn1_int_decode(asn1_stream* s, uint8_t* end, int32_t* value)
{
    if (!contents_bounded(s, end))
        return fail(s, ASN1_ERR_ENDED);
    uint32_t count = static_cast<uint32_t>(end - s->cursor);
    if (count == 0)
        return fail(s, ASN1_ERR_ENDED);
    if (count > 5)
        return fail(s, ASN1_ERR_OVERFLOW);
    const uint8_t* p = s->cursor;
    // Five octets: a 0x00 lead carries an unsigned 32-bit pattern, a 0xFF lead
    // a negative value in range; any other lead is a number outside 32 bits.
    if (count == 5 && !(p[0] == 0x00 || (p[0] == 0xFF && (p[1] & 0x80))))
        return fail(s, ASN1_ERR_OVERFLOW);
    uint32_t bits = (p[0] & 0x80) ? UINT32_MAX : 0;
    for (uint32_t i = 0; i < count; ++i)
        bits = (bits << 8) | p[i];
    s->cursor = end;
    *value = static_cast<int32_t>(bits);
    return 1;
}

int g_asn1_uint_encode(asn1_stream* s, uint8_t** end, uint32_t value)
{
    *end = s->cursor;
    uint8_t top = 0;
    do {
        top = static_cast<uint8_t>(value & 0xFF);
        if (!g_asn1_octet_encode(s, top))
            return 0;
        value >>= 8;
    } while (value != 0);
    if (top & 0x80)
        return g_asn1_octet_encode(s, 0x00);
    return 1;
}

int g_asn1_uint_decode(asn1_stream* s, uint8_t* end, uint32_t* value)
{
    if (!contents_bounded(s, end))
        return fail(s, ASN1_ERR_ENDED);
    uint32_t count = static_cast<uint32_t>(end - s->cursor);
    if (count == 0)
        return fail(s, ASN1_ERR_ENDED);
    const uint8_t* p = s->cursor;
    if (count > 5 || (count == 5 && p[0] != 0x00))
        return fail(s, ASN1_ERR_OVERFLOW);
    uint32_t bits = 0;
    for (uint32_t i = 0; i < count; ++i)
        bits = (bits << 8) | p[i];
    s->cursor = end;
    *value = bits;
    return 1;
}

int g_asn1_octets_encode(asn1_stream* s, uint8_t** end, const uint8_t* bytes, uint32_t count)
{
    *end = s->cursor;
    if (count > static_cast<uint32_t>(s->cursor - s->begin))
        return fail(s, ASN1_ERR_NO_ROOM);
    s->cursor -= count;
    if (count != 0)
        std::memcpy(s->cursor, bytes, count);
    return 1;
}

int g_asn1_octets_decode(asn1_stream* s, uint8_t* end, uint8_t* buffer, uint32_t capacity, uint32_t* count)
{
    *count = 0;
    if (!contents_bounded(s, end))
        return fail(s, ASN1_ERR_ENDED);
    uint32_t n = static_cast<uint32_t>(end - s->cursor);
    if (n > capacity)
        return fail(s, ASN1_ERR_CAPACITY);
    if (buffer != nullptr && n != 0)
        std::memcpy(buffer, s->cursor, n);
    s->cursor = end;
    *count = n;
    return 1;
}

int g_asn1_subid_encode(asn1_stream* s, uint32_t subid) { return base128_encode(s, subid); }

int g_asn1_subid_decode(asn1_stream* s, uint32_t* subid) { return base128_decode(s, s->end, subid); }

int g_asn1_oid_encode(asn1_stream* s, uint8_t** end, const uint32_t* subids, uint32_t count)
{
    *end = s->cursor;
    if (count < 2)
        return fail(s, ASN1_ERR_OID_SHORT);
    // The first two arcs share one number; arcs it cannot carry would come
    // back as a different OID.
    if (subids[0] > 2 || (subids[0] < 2 && subids[1] >= 40) || subids[1] > UINT32_MAX - 80)
        return fail(s, ASN1_ERR_OID_SHORT);
    for (uint32_t i = count - 1; i >= 2; --i)
        if (!g_asn1_subid_encode(s, subids[i]))
            return 0;
    return g_asn1_subid_encode(s, subids[0] * 40 + subids[1]);
}

int g_asn1_oid_decode(asn1_stream* s, uint8_t* end, uint32_t* subids, uint32_t capacity, uint32_t* count)
{
    *count = 0;
    if (!contents_bounded(s, end) || s->cursor == end) {
        monitor_printf("g_asn1_oid_decode failed 1\n");
        return fail(s, ASN1_ERR_ENDED);
    }
    const uint32_t limit = static_cast<uint32_t>(end - s->cursor) + 1;
    uint32_t first = 0;
    if (!base128_decode(s, end, &first)) {
        monitor_printf("g_asn1_oid_decode failed 1\n");
        return 0;
    }
    if (capacity < 2) {
        monitor_printf("g_asn1_oid_decode failed 4\n");
        return fail(s, ASN1_ERR_CAPACITY);
    }
    uint32_t arc0 = first < 40 ? 0 : first < 80 ? 1 : 2;
    if (subids != nullptr) {
        subids[0] = arc0;
        subids[1] = first - 40 * arc0;
    }
    uint32_t n = 2;
    while (s->cursor < end) {
        if (n >= limit) {
            monitor_printf("g_asn1_oid_decode failed 2\n");
            return fail(s, ASN1_ERR_OVERFLOW);
        }
        if (n >= capacity) {
            monitor_printf("g_asn1_oid_decode failed 4\n");
            return fail(s, ASN1_ERR_CAPACITY);
        }
        uint32_t subid = 0;
        if (!base128_decode(s, end, &subid)) {
            monitor_printf("g_asn1_oid_decode failed 3\n");
            return 0;
        }
        if (subids != nullptr)
            subids[n] = subid;
        ++n;
    }
    *count = n;
    return 1;
}

int g_asn1_expect_header(asn1_stream* s, uint8_t** end, uint32_t cls, uint32_t form, uint32_t tag)
{
    uint32_t c = 0, f = 0, t = 0;
    if (!g_asn1_header_decode(s, end, &c, &f, &t))
        return 0;
    return c == cls && f == form && t == tag;
}

int g_asn1_uint_field_decode(asn1_stream* s, uint32_t* value)
{
    uint8_t* end = nullptr;
    return g_asn1_expect_header(s, &end, ASN1_UNI, ASN1_PRI, ASN1_INT) && g_asn1_uint_decode(s, end, value);
}
