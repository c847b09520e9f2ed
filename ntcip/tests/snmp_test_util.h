// Helpers of the SNMP codec tests: hex bytes, the tolerant-mode switch and
// clean counters.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ntcip/snmp/asn1.h"
#include "ntcip/snmp/snmp_counters.h"
#include "ntcip/snmp/snmp_message.h"

using bytes = std::vector<uint8_t>;

inline bytes hex(const std::string& text)
{
    bytes out;
    int nibble = -1;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            continue;
        int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
        if (nibble < 0) {
            nibble = v;
        } else {
            out.push_back(static_cast<uint8_t>(nibble << 4 | v));
            nibble = -1;
        }
    }
    return out;
}

inline std::string to_hex(const uint8_t* p, size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        if (i)
            out += ' ';
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

inline std::string to_hex(const bytes& b) { return to_hex(b.data(), b.size()); }

inline bool& tolerant_flag()
{
    static bool on = false;
    return on;
}

inline bool tolerant_query() { return tolerant_flag(); }

// Every SNMP test starts with the counters at 0 and the tolerant mode off.
class snmp_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The codec's own counters, whatever an agent test installed before.
        snmp_counter_set_store(nullptr);
        snmp_counters_clear();
        tolerant_flag() = false;
        g_asn1_set_tolerant_query(tolerant_query);
    }
    void TearDown() override
    {
        tolerant_flag() = false;
        g_asn1_set_tolerant_query(nullptr);
    }
    static uint32_t counter(snmp_counter c) { return snmp_counter_get(c); }
    static std::unique_ptr<snmp_message> new_message() { return std::make_unique<snmp_message>(); }
};

// Encodes with fn into a stream of size bytes and returns what was written,
// or "FAIL <error>" text in place of the bytes.
template <typename Fn>
std::string encoded(uint32_t size, Fn fn)
{
    std::vector<uint8_t> buffer(size);
    asn1_stream s;
    g_asn1_open(&s, buffer.data(), size, ASN1_ENCODE);
    if (!fn(&s))
        return "FAIL " + std::to_string(s.error);
    uint8_t* start = nullptr;
    uint32_t length = 0;
    g_asn1_close(&s, &start, &length);
    return to_hex(start, length);
}
