#include "frame/util/preview.h"

#include <cstring>

#include "frame/util/strings.h"

namespace {

struct preview_out {
    char* buf;
    uint32_t size;
    uint32_t pos = 0;  // buf[pos] is the terminator slot; pos < size always

    uint32_t room() const { return size - pos; }

    void put(char c)
    {
        if (room() > 1)
            buf[pos++] = c;
    }

    void put(const char* s)
    {
        for (; *s; ++s)
            put(*s);
    }
};

// Case-insensitive prefix test that never reads past the text's zero byte.
bool starts_with(const char* text, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    return strnlen(text, n) == n && mem_casecmp(text, prefix, static_cast<uint32_t>(n)) == 0;
}

bool is_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Skips the rest of a tag body up to the "]" that closes it, counting nested
// "[" levels; returns the position after that "]" (or at the zero byte).
const char* skip_tag(const char* p)
{
    int depth = 1;
    for (; *p; ++p) {
        if (*p == '[') {
            ++depth;
        } else if (*p == ']' && --depth == 0) {
            return p + 1;
        }
    }
    return p;
}

// The message carries its own name: the preview becomes that name, with a
// graphic mark when a graphic came before it.
void write_name(const char* p, preview_out& out, bool graphic_seen)
{
    std::memset(out.buf, 0, out.size);
    out.pos = 0;
    for (; *p && *p != ']'; ++p)
        out.put(*p);
    if (graphic_seen) {
        static constexpr char mark[] = " <GR>";
        // Keep the mark visible: overwrite the end of the name if needed.
        if (out.room() < sizeof mark)
            out.pos = out.size >= sizeof mark ? out.size - static_cast<uint32_t>(sizeof mark) : 0;
        out.put(mark);
    }
    out.buf[out.pos] = '\0';
}

// Handles one tag body (p is just after its "["). Returns the position after
// the tag, or null when conversion is complete.
const char* convert_tag(const char* p, preview_out& out, bool& graphic_seen)
{
    if (starts_with(p, "ms11,name,")) {
        write_name(p + 10, out, graphic_seen);
        return nullptr;
    }
    if (starts_with(p, "ms11,g") || starts_with(p, "g")) {
        if (!graphic_seen)
            out.put("<GRAPHIC> ");
        graphic_seen = true;
    } else if (starts_with(p, "ms11,spm,")) {
        out.put("<MPH>");
    } else if (starts_with(p, "ms11,spk,")) {
        out.put("<KPH>");
    } else if (starts_with(p, "ms11,r,")) {
        out.put("<RTD>");
    } else if (starts_with(p, "f") && !starts_with(p, "fl") && !starts_with(p, "fo")) {
        out.put("<RTF>");
    } else if (starts_with(p, "nl") || starts_with(p, "np")) {
        out.put(' ');
    } else if (starts_with(p, "hc")) {
        uint32_t value = 0;
        for (p += 2; *p && *p != ']'; ++p)
            if (is_hex(*p))
                value = ((value << 4) | hex_digit_value(*p)) & 0xFF;
        // A zero byte would end the preview string early.
        if (value)
            out.put(static_cast<char>(value));
    } else if (starts_with(p, "mv")) {
        int commas = 0;
        for (; *p && *p != ']' && commas < 3; ++p)
            if (*p == ',')
                ++commas;
        if (commas == 3) {
            while (*p) {
                if ((p[0] == '[' || p[0] == ']') && p[1] == p[0]) {
                    out.put(*p);
                    p += 2;
                } else if (*p == ']' || *p == '[') {
                    break;  // closing "]", or a nested tag left to skip_tag
                } else {
                    out.put(*p++);
                }
            }
        }
    }
    return skip_tag(p);
}

} // namespace

void multi_to_preview_text(const char* multi, char* output, uint32_t size)
{
    if (!multi || !output || size == 0)
        return;
    std::memset(output, 0, size);
    preview_out out{output, size};
    bool graphic_seen = false;
    const char* p = multi;
    while (out.room() > 1 && *p) {
        // p[0] is not zero here, so reading p[1] stays within the text.
        if ((p[0] == '[' || p[0] == ']') && p[1] == p[0]) {
            out.put(p[0]);
            p += 2;
        } else if (p[0] == '[') {
            p = convert_tag(p + 1, out, graphic_seen);
            if (!p)
                return;
        } else {
            out.put(*p++);
        }
    }
    output[out.pos] = '\0';
}
