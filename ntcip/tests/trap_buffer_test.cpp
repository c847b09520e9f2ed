// The trap queue: records built with their values inside, the ring's order,
// a full ring losing its oldest record, and expiry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/peripheral/peripheral_trap.h"
#include "ntcip/snmp/trap/trap_buffer.h"
#include "ntcip/snmp/trap/trap_capture.h"

namespace {

snmp_trap_varbind Varbind(std::vector<uint32_t> name, uint8_t syntax, const void* value, uint32_t length)
{
    snmp_trap_varbind v{};
    std::copy(name.begin(), name.end(), v.name);
    v.name_length = static_cast<uint32_t>(name.size());
    v.syntax = syntax;
    v.value = static_cast<const uint8_t*>(value);
    v.value_length = length;
    return v;
}

// A record told apart by its specific number and time stamp.
trap_record Numbered(uint32_t n)
{
    uint32_t word = 1000 + n;
    snmp_trap_varbind v = Varbind({1, 3, 6, 1, 2, 1, 1, 3, 0}, SNMP_COUNTER, &word, 4);
    trap_record r;
    CTrapBuffer::BuildRecord(&r, TRAP_ENTERPRISE, n, 1, &v, 100 + n);
    return r;
}

uint32_t WordOf(const snmp_trap_varbind& v)
{
    uint32_t w = 0;
    std::memcpy(&w, v.value, 4);
    return w;
}

TEST(TrapRecord, BuildKeepsItsOwnCopyWithinBounds)
{
    std::string text(30, 'x');
    text[0] = 'a';
    std::vector<uint32_t> long_name(45, 7);
    uint32_t counter = 0xDEADBEEF;
    snmp_trap_varbind in[12];
    for (auto& v : in)
        v = Varbind({1, 3, 6}, SNMP_COUNTER, &counter, 4);
    in[0] = Varbind({1, 3, 6, 1, 2, 1, 1, 6, 0}, SNMP_OCTET_STRING, text.data(), 30);
    in[1] = Varbind({}, SNMP_INTEGER, nullptr, 4);
    in[1].name_length = 45;
    std::copy(long_name.begin(), long_name.begin() + 40, in[1].name);

    trap_record r;
    CTrapBuffer::BuildRecord(&r, TRAP_ENTERPRISE, 17, 12, in, 555);
    EXPECT_EQ(6u, r.generic_trap);
    EXPECT_EQ(17u, r.specific_trap);
    EXPECT_EQ(555u, r.time_stamp);
    EXPECT_EQ(TRAP_MAX_VARBINDS, r.varbind_count) << "at most 10 varbinds";
    // A 30-byte value keeps 20 bytes, in the record's own slot.
    EXPECT_EQ(20u, r.varbinds[0].value_length);
    EXPECT_EQ(r.values[0], r.varbinds[0].value);
    EXPECT_EQ(std::string(text, 0, 20), std::string(reinterpret_cast<const char*>(r.values[0]), 20));
    // A name of more than 40 sub-identifiers keeps 40; a null value is empty.
    EXPECT_EQ(40u, r.varbinds[1].name_length);
    EXPECT_EQ(0u, r.varbinds[1].value_length);
    // The caller's value may change afterwards.
    counter = 0;
    EXPECT_EQ(0xDEADBEEFu, WordOf(r.varbinds[2]));
}

TEST(TrapBuffer, FirstInFirstOutWithPointersIntoTheCopy)
{
    CTrapBuffer b;
    EXPECT_TRUE(b.IsEmpty());
    trap_record out;
    EXPECT_FALSE(b.Get(&out));
    for (uint32_t n = 1; n <= 3; ++n)
        b.Put(Numbered(n));
    EXPECT_EQ(3u, b.Count());
    for (uint32_t n = 1; n <= 3; ++n) {
        trap_record r;
        ASSERT_TRUE(b.Get(&r));
        EXPECT_EQ(n, r.specific_trap);
        EXPECT_EQ(100 + n, r.time_stamp);
        EXPECT_EQ(r.values[0], r.varbinds[0].value) << "the value points into the caller's record";
        EXPECT_EQ(1000 + n, WordOf(r.varbinds[0]));
    }
    EXPECT_TRUE(b.IsEmpty());
}

TEST(TrapBuffer, AFullRingLosesItsOldest)
{
    CTrapBuffer b;
    for (uint32_t n = 1; n <= 11; ++n)
        b.Put(Numbered(n));
    EXPECT_EQ(10u, b.Count());
    std::vector<uint32_t> order;
    trap_record r;
    while (b.Get(&r))
        order.push_back(r.specific_trap);
    EXPECT_EQ((std::vector<uint32_t>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), order);

    // Wrapping around with gets in between keeps the order too.
    for (uint32_t n = 1; n <= 7; ++n)
        b.Put(Numbered(n));
    ASSERT_TRUE(b.Get(&r));
    ASSERT_TRUE(b.Get(&r));
    for (uint32_t n = 8; n <= 16; ++n)
        b.Put(Numbered(n));
    order.clear();
    while (b.Get(&r))
        order.push_back(r.specific_trap);
    EXPECT_EQ((std::vector<uint32_t>{7, 8, 9, 10, 11, 12, 13, 14, 15, 16}), order);
}

TEST(TrapBuffer, ExpireDropsTheOldestUpToTheTime)
{
    struct {
        uint32_t time;
        uint32_t left;
        uint32_t next;  // the oldest left, 0 for none
    } cases[] = {
        {100, 3, 1},  // before every record
        {101, 2, 2},  // equal to the oldest's time stamp
        {102, 1, 3},
        {200, 0, 0},
    };
    for (const auto& c : cases) {
        CTrapBuffer b;
        for (uint32_t n = 1; n <= 3; ++n)
            b.Put(Numbered(n));
        b.Expire(c.time);
        EXPECT_EQ(c.left, b.Count()) << c.time;
        trap_record r;
        if (c.next) {
            ASSERT_TRUE(b.Get(&r)) << c.time;
            EXPECT_EQ(c.next, r.specific_trap) << c.time;
        }
    }
    // Expiry stops at the first record that is still valid, even when a
    // later one is older.
    CTrapBuffer b;
    b.Put(Numbered(5));  // 105
    b.Put(Numbered(1));  // 101
    b.Expire(102);
    EXPECT_EQ(2u, b.Count());
}

TEST(TrapBuffer, PeripheralTrapsReachTheQueue)
{
    CTrapBuffer b;
    snmp_trap_capture capture(&b);
    snmp_install_peripheral_trap_sender();
    const char location[] = "Exit 12";
    uint32_t now = 0x01020304;
    peripheral_trap_binding bindings[2] = {};
    const uint32_t loc[] = {1, 3, 6, 1, 2, 1, 1, 6, 0};
    std::copy(loc, loc + 9, bindings[0].oid);
    bindings[0].oid_length = 9;
    bindings[0].type = TRAP_VALUE_OCTETS;
    bindings[0].length = 7;
    bindings[0].value = reinterpret_cast<const uint8_t*>(location);
    bindings[1].oid_length = 3;
    bindings[1].type = TRAP_VALUE_COUNTER;
    bindings[1].length = 4;
    bindings[1].value = reinterpret_cast<const uint8_t*>(&now);
    peripheral_send_trap(TRAP_ENTERPRISE, TRAP_FIRST_FAN_FAILURE, 2, bindings);
    peripheral_set_trap_sender(nullptr);

    trap_record r;
    ASSERT_TRUE(b.Get(&r));
    EXPECT_EQ(TRAP_FIRST_FAN_FAILURE, r.specific_trap);
    ASSERT_EQ(2u, r.varbind_count);
    EXPECT_EQ(9u, r.varbinds[0].name_length);
    EXPECT_EQ("Exit 12", std::string(reinterpret_cast<const char*>(r.varbinds[0].value), r.varbinds[0].value_length));
    EXPECT_EQ(SNMP_COUNTER, r.varbinds[1].syntax);
    EXPECT_EQ(now, WordOf(r.varbinds[1]));
}

}  // namespace
