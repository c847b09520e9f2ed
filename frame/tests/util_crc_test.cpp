#include "frame/util/crc16.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char digits[] = "123456789";

uint16_t crc_of(const void* bytes, uint32_t length, uint16_t initial, uint32_t options)
{
    crc16_state s{};
    EXPECT_EQ(0, crc16_begin(&s, initial));
    EXPECT_EQ(0, crc16_update(&s, bytes, length));
    uint16_t out = 0;
    EXPECT_EQ(0, crc16_result(&s, &out, options));
    EXPECT_EQ(0, crc16_end(&s));
    return out;
}

TEST(Crc16, EmptyInputGivesInitialValue)
{
    EXPECT_EQ(0xFFFF, crc_of(nullptr, 0, 0xFFFF, 0));
    EXPECT_EQ(0x0000, crc_of(nullptr, 0, 0xFFFF, CRC16_COMPLEMENT));
}

TEST(Crc16, CheckValueUnderEachOption)
{
    struct {
        uint32_t options;
        uint16_t expected;
    } cases[] = {
        {0, 0x6F91},  // raw register
        {1, 0x6F91},  // option 1 has no effect
        {2, 0x906E},  // X.25 check value
        {3, 0x906E},
        {4, 0x916F},
        {6, 0x6E90},
        {7, 0x6E90},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, crc_of(digits, 9, 0xFFFF, c.options)) << "options " << c.options;
}

TEST(Crc16, TableMatchesReflectedPolynomial)
{
    // From a zero register one byte b leaves exactly table[b].
    const uint8_t one = 1, top = 128;
    EXPECT_EQ(0x1189, crc_of(&one, 1, 0, 0));
    EXPECT_EQ(0x8408, crc_of(&top, 1, 0, 0));
}

TEST(Crc16, PiecewiseUpdatesAndResultKeepsStateOpen)
{
    crc16_state s{};
    ASSERT_EQ(0, crc16_begin(&s, 0xFFFF));
    uint16_t mid = 0, out = 0;
    ASSERT_EQ(0, crc16_update(&s, digits, 4));
    ASSERT_EQ(0, crc16_result(&s, &mid, 2));
    ASSERT_EQ(0, crc16_update(&s, digits + 4, 5));
    ASSERT_EQ(0, crc16_result(&s, &out, 2));
    EXPECT_EQ(crc_of(digits, 4, 0xFFFF, 2), mid);
    EXPECT_EQ(0x906E, out);
}

TEST(Crc16, StateLifecycle)
{
    crc16_state s{};
    uint16_t out = 0x1234;
    // Never begun.
    EXPECT_EQ(2, crc16_update(&s, digits, 9));
    EXPECT_EQ(2, crc16_result(&s, &out, 0));
    EXPECT_EQ(2, crc16_end(&s));
    EXPECT_EQ(0x1234, out);

    ASSERT_EQ(0, crc16_begin(&s, 0xFFFF));
    EXPECT_EQ(CRC16_MAGIC_OPEN, s.magic);
    ASSERT_EQ(0, crc16_update(&s, digits, 9));
    // Beginning an open state is refused and keeps the running value.
    EXPECT_EQ(1, crc16_begin(&s, 0));
    ASSERT_EQ(0, crc16_result(&s, &out, 2));
    EXPECT_EQ(0x906E, out);

    ASSERT_EQ(0, crc16_end(&s));
    EXPECT_EQ(CRC16_MAGIC_ENDED, s.magic);
    EXPECT_EQ(2, crc16_update(&s, digits, 9));
    EXPECT_EQ(2, crc16_result(&s, &out, 0));
    EXPECT_EQ(2, crc16_end(&s));

    // An ended state can be begun again.
    ASSERT_EQ(0, crc16_begin(&s, 0xFFFF));
    ASSERT_EQ(0, crc16_result(&s, &out, 0));
    EXPECT_EQ(0xFFFF, out);
}

TEST(Crc16, NullPointersRefused)
{
    crc16_state s{};
    uint16_t out = 0;
    EXPECT_EQ(2, crc16_begin(nullptr, 0));
    EXPECT_EQ(2, crc16_update(nullptr, digits, 1));
    EXPECT_EQ(2, crc16_result(nullptr, &out, 0));
    EXPECT_EQ(2, crc16_end(nullptr));
    ASSERT_EQ(0, crc16_begin(&s, 0xFFFF));
    EXPECT_EQ(2, crc16_update(&s, nullptr, 1));
    EXPECT_EQ(0, crc16_update(&s, nullptr, 0));
    EXPECT_EQ(2, crc16_result(&s, nullptr, 0));
    EXPECT_EQ(0xFFFF, s.value);
}

} // namespace
