// OID comparison, the value checks of a set and the handlers' matching
// functions.
#include <gtest/gtest.h>

#include <algorithm>

#include "frame/trace/trace.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/tests/agent_test_util.h"

namespace {

int cmp(const oid_t& a, const oid_t& b)
{
    return oid_compare(a.data(), static_cast<uint32_t>(a.size()), b.data(), static_cast<uint32_t>(b.size()));
}

TEST(MibOid, CompareOrdersLikeTheWalk)
{
    struct {
        const char* a;
        const char* b;
        int expected;
    } cases[] = {
        {"1.3.6", "1.3.6", 0},       {"1.3.6", "1.3.7", -1},     {"1.3.7", "1.3.6", 1},
        {"1.3", "1.3.6", -1},        {"1.3.6.1", "1.3.6", 1},    {"1.3.6.4294967295", "1.3.6.0", 1},
        {"1.2.9.9", "1.3", -1},      {"", "1", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, cmp(O(c.a), O(c.b))) << c.a << " vs " << c.b;
}

TEST(MibOid, CompareNReadsNeitherPastItsEnd)
{
    struct {
        const char* a;
        const char* b;
        uint32_t n;
        int expected;
    } cases[] = {
        {"1.3.6.1.9", "1.3.6.1", 4, 0},  // a under the prefix b
        {"1.3.6.2", "1.3.6.1", 4, 1},
        {"1.3", "1.3.6.1", 4, -1},       // a shorter than n and than b
        {"1.3.6.1", "1.3", 4, 1},        // b shorter than n: never read past it
        {"1.3", "1.3", 4, 0},
        {"1.4", "1.3.6.1", 4, 1},
    };
    for (const auto& c : cases) {
        oid_t a = O(c.a), b = O(c.b);
        EXPECT_EQ(c.expected, oid_compare_n(a.data(), static_cast<uint32_t>(a.size()), b.data(),
                                            static_cast<uint32_t>(b.size()), c.n))
            << c.a << " vs " << c.b;
    }
}

TEST(MibOid, BytesRoundTripWithTheClosingZero)
{
    const uint32_t oid[] = {1, 3, 6, 0x01020304, 0xFFFFFFFF};
    uint8_t bytes[4 * 5 + 2];
    std::memset(bytes, 0xAA, sizeof bytes);
    oid_to_bytes(bytes, oid, 5);
    EXPECT_EQ(0x00, bytes[20]);
    EXPECT_EQ(0xAA, bytes[21]);  // nothing past it
    EXPECT_EQ(0x01, bytes[12]);
    EXPECT_EQ(0x04, bytes[15]);

    uint32_t back[8] = {};
    EXPECT_EQ(5u, bytes_to_oid(back, 8, bytes, 21));  // a trailing partial group is not taken
    EXPECT_EQ(0, std::memcmp(back, oid, sizeof oid));
    uint32_t small[2] = {};
    EXPECT_EQ(2u, bytes_to_oid(small, 2, bytes, 20));  // bounded by the capacity
}

TEST(MibChecks, SyntaxPairs)
{
    const std::pair<uint16_t, uint8_t> good[] = {{SNMP_INTEGER, MIB_INTEGER},     {SNMP_OCTET_STRING, MIB_OCTET_STRING},
                                                 {SNMP_OBJECT_ID, MIB_OBJECT_ID}, {SNMP_IPADDRESS, MIB_IPADDRESS},
                                                 {SNMP_COUNTER, MIB_COUNTER},     {SNMP_GAUGE, MIB_GAUGE},
                                                 {SNMP_TIMETICKS, MIB_TIMETICKS}, {SNMP_OPAQUE, MIB_OPAQUE}};
    for (uint16_t v = 0; v <= 14; ++v)
        for (uint8_t r = 0; r <= 13; ++r) {
            bool expected = std::find(std::begin(good), std::end(good), std::make_pair(v, r)) != std::end(good);
            EXPECT_EQ(expected, snmp_check_syntax(v, r)) << v << " on " << int(r);
        }
}

mib_variable with(mib_constraint c)
{
    static const uint32_t kOid[] = {1, 3, 6, 1, 2, 1, 1, 9, 0};
    return mib_row(kOid, MIB_INTEGER, 0, MIB_READ_WRITE, var_stub_scalar, 0, 0, c);
}

TEST(MibChecks, IntegerConstraints)
{
    mib_constraint two_ranges{MIB_UNSIGNED_RANGES, MIB_LIST_PAIRS, 2, {1, 2, 3, 4}};
    mib_constraint odd_kind{7, MIB_LIST_PAIRS, 1, {0, 100}};
    struct {
        const char* what;
        mib_constraint c;
        uint32_t value;
        bool ok;
    } cases[] = {
        {"unsigned top", mib_unsigned_range(0, 255), 255, true},
        {"unsigned past", mib_unsigned_range(0, 255), 256, false},
        {"unsigned huge", mib_unsigned_range(0, 255), 0xFFFFFFFF, false},
        {"signed -10", mib_signed_range(-10, 10), static_cast<uint32_t>(-10), true},
        {"signed -11", mib_signed_range(-10, 10), static_cast<uint32_t>(-11), false},
        {"signed 11", mib_signed_range(-10, 10), 11, false},
        {"values hit", {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 3, {1, 3, 5}}, 5, true},
        {"values miss", {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 3, {1, 3, 5}}, 4, false},
        {"second pair", two_ranges, 4, true},
        {"between pairs", two_ranges, 0, false},
        {"unknown kind never holds", odd_kind, 5, false},
        {"no constraint", {}, 123456, true},
    };
    for (const auto& c : cases) {
        mib_variable row = with(c.c);
        EXPECT_EQ(c.ok, snmp_check_int_constraint(c.value, &row)) << c.what;
    }
}

TEST(MibChecks, LengthConstraint)
{
    mib_variable exact = with(mib_length_range(12, 12));
    uint8_t b[16] = {};
    EXPECT_FALSE(snmp_check_length_constraint(b, 11, &exact));
    EXPECT_TRUE(snmp_check_length_constraint(b, 12, &exact));
    EXPECT_FALSE(snmp_check_length_constraint(b, 13, &exact));
    mib_variable values = with({MIB_LENGTH_RANGE, MIB_LIST_VALUES, 1, {12}});
    EXPECT_TRUE(snmp_check_length_constraint(b, 3, &values));  // only pairs bound a length
}

constexpr uint32_t kColumn[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 5, 255};
constexpr uint32_t kTable[] = {1, 3, 6, 1, 4, 1, 1206, 2, 1, 1, 3, 1, 2, 255};

TEST(MibHeader, IndexServesOnlyWholeInstancesOfItsColumn)
{
    mib_variable row = mib_row(kColumn, MIB_INTEGER, 0, MIB_READ_WRITE, var_stub_column, 1);
    struct {
        const char* name;
        uint32_t op;
        int result;
        bool column_done;
    } cases[] = {
        {"1.3.6.1.2.1.2.2.1.5.1", MIB_GET, 0, false},
        {"1.3.6.1.2.1.2.2.1.5.3", MIB_SET, 0, false},
        {"1.3.6.1.2.1.2.2.1.5.0", MIB_GET, -1, false},       // no element 0
        {"1.3.6.1.2.1.2.2.1.5.4", MIB_GET, -1, false},
        {"1.3.6.1.2.1.2.2.1.5.4", MIB_GETNEXT, -1, true},     // ran out: the next column starts at 1
        {"1.3.6.1.2.1.2.2.1.5.2.7", MIB_GET, -1, false},     // longer than an instance
        {"1.3.6.1.2.1.2.2.1.4.2", MIB_GET, -1, false},       // another column's instance
        {"1.3.6.1.2.1.2.2.1.6.2", MIB_GETNEXT, -1, true},
        {"1.3.6.1.2.1.2.2.1.5", MIB_GET, -1, false},
        {"1.3.6.1.2.1.2.2.1.5.2", MIB_GETNEXT, 0, false},
    };
    for (const auto& c : cases) {
        oid_t name = O(c.name);
        mib_walk_reset();
        uint32_t vlen = 0;
        EXPECT_EQ(c.result, header_index(&row, name.data(), static_cast<uint32_t>(name.size()), c.op, &vlen, 3))
            << c.name;
        EXPECT_EQ(c.column_done, mib_column_done() != 0) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(4u, vlen);
        }
    }
}

TEST(MibHeader, IndexNRefusesZeroAndAsksForCarries)
{
    mib_variable row = mib_row(kTable, MIB_INTEGER, 0, MIB_READ_WRITE, var_stub_table, 2);
    const uint32_t highest[] = {2, 3};
    struct {
        const char* name;
        uint32_t op;
        int result;
        uint8_t carry;
        const char* after;  // the name afterwards
    } cases[] = {
        {"ENT.2.1.1.3.1.2.1.1", MIB_GET, 0, 0, "ENT.2.1.1.3.1.2.1.1"},
        {"ENT.2.1.1.3.1.2.2.3", MIB_SET, 0, 0, "ENT.2.1.1.3.1.2.2.3"},
        {"ENT.2.1.1.3.1.2.0.1", MIB_GET, -1, 0, "ENT.2.1.1.3.1.2.0.1"},  // element -1 of no table
        {"ENT.2.1.1.3.1.2.1.0", MIB_SET, -1, 0, "ENT.2.1.1.3.1.2.1.0"},
        {"ENT.2.1.1.3.1.2.0.2", MIB_GETNEXT, 0, 0, "ENT.2.1.1.3.1.2.1.1"},  // the first instance after it
        {"ENT.2.1.1.3.1.2.1.4", MIB_GETNEXT, -1, 1, "ENT.2.1.1.3.1.2.1.4"},
        {"ENT.2.1.1.3.1.2.3.1", MIB_GETNEXT, -1, 2, "ENT.2.1.1.3.1.2.3.1"},
        {"ENT.2.1.1.3.1.2.3.1", MIB_GET, -1, 0, "ENT.2.1.1.3.1.2.3.1"},  // no carry outside a walk
        {"ENT.2.1.1.3.1.2.1", MIB_GET, -1, 0, "ENT.2.1.1.3.1.2.1"},
        {"ENT.2.1.1.3.1.3.1.1", MIB_GET, -1, 0, "ENT.2.1.1.3.1.3.1.1"},
    };
    for (const auto& c : cases) {
        oid_t name = O(c.name);
        uint32_t len = static_cast<uint32_t>(name.size());
        mib_walk_reset();
        uint32_t vlen = 0;
        EXPECT_EQ(c.result, header_index_n(&row, name.data(), &len, c.op, &vlen, highest, 2)) << c.name;
        EXPECT_EQ(c.carry, mib_carry_depth()) << c.name;
        EXPECT_EQ(dotted(O(c.after)), dotted(name.data(), len)) << c.name;
    }
}

TEST(MibHeader, AddressTranslationEntries)
{
    const uint32_t at[] = {1, 3, 6, 1, 2, 1, 3, 1, 1, 2, 5, 1, 255};
    mib_variable row = mib_row(at, MIB_OCTET_STRING, 0, MIB_READ_ONLY, var_stub_scalar, 3);
    snmp_clear_interface_addresses();
    const uint8_t mac[6] = {0, 1, 2, 3, 4, 5};
    snmp_set_interface_address(0, 0x0A000102, mac);
    snmp_set_interface_address(7, 0x01010101, mac);  // no such entry: ignored
    EXPECT_EQ(nullptr, snmp_interface_address(1));

    oid_t name = O("1.3.6.1.2.1.3.1.1.2");
    uint32_t len = static_cast<uint32_t>(name.size());
    name.resize(MIB_MAX_OID);
    uint32_t vlen = 0;
    EXPECT_EQ(1, header_at(&row, name.data(), &len, MIB_GETNEXT, &vlen));
    EXPECT_EQ("1.3.6.1.2.1.3.1.1.2.1.1.10.0.1.2", dotted(name.data(), len));
    EXPECT_EQ(4u, vlen);
    EXPECT_EQ(1, header_at(&row, name.data(), &len, MIB_GET, &vlen));  // the entry's own name

    trace_capture trace;
    EXPECT_EQ(-1, header_at(&row, name.data(), &len, MIB_GETNEXT, &vlen));  // nothing after it
    EXPECT_TRUE(trace.contains("header_at.. index out of range\n"));
    snmp_clear_interface_addresses();
}

}  // namespace
