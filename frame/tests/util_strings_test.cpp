#include "frame/util/strings.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "util_guard.h"

namespace {

TEST(MemCasecmp, ComparesExactlyNFoldedBytes)
{
    struct {
        std::string a, b;
        uint32_t n;
        int expected;
    } cases[] = {
        {"ABC", "abd", 3, -1},
        {std::string("a\0x", 3), std::string("A\0y", 3), 3, -1},  // no stop at NUL
        {"Hello", "hELLO", 5, 0},
        {"abz", "ABC", 3, 1},
        {"abX", "ABy", 2, 0},  // bytes beyond n ignored
        {"x", "y", 0, 0},
        {"[", "{", 1, -1},     // only A-Z fold: '[' is not '{'
        {"@", "`", 1, -1},
        {"\xe9", "e", 1, 1},   // high bytes compare unsigned
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, mem_casecmp(c.a.data(), c.b.data(), c.n)) << c.a << " / " << c.b;
    EXPECT_EQ(-1, mem_casecmp(nullptr, "a", 1));
    EXPECT_EQ(1, mem_casecmp("a", nullptr, 1));
}

TEST(Stricmp, FoldsAndStopsAtEndOfA)
{
    EXPECT_EQ(0, stricmp("ABC", "abc"));
    EXPECT_EQ(0, stricmp("", ""));
    EXPECT_EQ('c' - 'd', stricmp("abC", "ABD"));
    EXPECT_EQ(-'c', stricmp("ab", "abc"));
    EXPECT_EQ('c', stricmp("abc", "AB"));
    EXPECT_EQ('[' - 'a', stricmp("[", "A"));
    EXPECT_GT(stricmp("\xe9", "z"), 0);
    EXPECT_EQ(0, stricmp(nullptr, ""));
    EXPECT_LT(stricmp(nullptr, "a"), 0);
}

TEST(StrTolower, ExactlyNBytesThroughZeros)
{
    guarded_buffer b(6);
    std::memcpy(b.data(), "AB\0CD[", 6);
    str_tolower(b.data(), 5);
    EXPECT_EQ(0, std::memcmp(b.data(), "ab\0cd[", 6));
    EXPECT_TRUE(b.guards_intact());

    guarded_buffer none(0);
    str_tolower(none.data(), 0);
    EXPECT_TRUE(none.untouched());
    str_tolower(nullptr, 5);
}

TEST(Stristr, FindsIgnoringCase)
{
    const char* name = "file.HEX";
    EXPECT_EQ(name + 4, stristr(name, ".hex"));
    const char* repeat = "aaAB";
    EXPECT_EQ(repeat + 2, stristr(repeat, "ab"));  // partial match restarts
    const char* whole = "Boot.BIN";
    EXPECT_EQ(whole, stristr(whole, "boot.bin"));
    EXPECT_EQ(nullptr, stristr("file.he", ".hex"));  // text ends mid-match
    EXPECT_EQ(nullptr, stristr("file.bin", ".hex"));
    EXPECT_EQ(nullptr, stristr("file", ""));
    EXPECT_EQ(nullptr, stristr(static_cast<const char*>(nullptr), "a"));
    EXPECT_EQ(nullptr, stristr("a", nullptr));

    char buf[] = "X.Bin";
    char* hit = stristr(buf, ".BIN");
    ASSERT_EQ(buf + 1, hit);
}

class AppendFormat : public ::testing::Test {
protected:
    // Destination holding "ab" in a buffer of dest_size bytes; room is what
    // is left from its terminator on.
    int append(uint32_t dest_size, const char* word)
    {
        dest = std::make_unique<guarded_buffer>(dest_size, '\0');
        if (dest_size >= 3)
            std::memcpy(dest->data(), "ab", 3);
        const uint32_t used = dest_size >= 3 ? 2 : 0;
        return str_append_format(dest->data(), dest_size - used, scratch.data(), scratch.size(), "%s", word);
    }

    guarded_buffer scratch{16};
    std::unique_ptr<guarded_buffer> dest;
};

TEST_F(AppendFormat, AppendsWhenTextAndTerminatorFit)
{
    ASSERT_EQ(0, append(8, "cdefg"));  // exactly full
    EXPECT_EQ("abcdefg", dest->str());
    EXPECT_TRUE(dest->guards_intact());
    EXPECT_TRUE(scratch.guards_intact());

    EXPECT_EQ(1, append(7, "cdefg"));  // one byte short
    EXPECT_EQ("ab", dest->str());
    EXPECT_EQ(0, dest->data()[3]);
    EXPECT_TRUE(dest->guards_intact());
}

TEST_F(AppendFormat, TinyRoom)
{
    EXPECT_EQ(1, append(0, ""));  // no byte even for the terminator
    EXPECT_TRUE(dest->guards_intact());
    EXPECT_EQ(0, append(1, ""));
    EXPECT_EQ(1, append(1, "x"));
    EXPECT_EQ(0, dest->data()[0]);
    EXPECT_TRUE(dest->guards_intact());
}

TEST_F(AppendFormat, ScratchLimits)
{
    char dst[64] = "n=";
    guarded_buffer s4(4), s1(1), s0(0);
    EXPECT_EQ(0, str_append_format(dst, sizeof dst - 2, s4.data(), s4.size(), "%d", 123));  // exactly full
    EXPECT_STREQ("n=123", dst);
    EXPECT_TRUE(s4.guards_intact());
    EXPECT_EQ(1, str_append_format(dst, sizeof dst - 5, s4.data(), s4.size(), "%d", 1234));  // would be cut
    EXPECT_STREQ("n=123", dst);
    EXPECT_TRUE(s4.guards_intact());
    EXPECT_EQ(1, str_append_format(dst, sizeof dst - 5, s1.data(), s1.size(), "%d", 1));
    EXPECT_EQ(0, s1.data()[0]);
    EXPECT_TRUE(s1.guards_intact());
    EXPECT_EQ(2, str_append_format(dst, sizeof dst - 5, s0.data(), s0.size(), "x"));
    EXPECT_TRUE(s0.untouched());
}

TEST_F(AppendFormat, ChainsAndRejectsNulls)
{
    char dst[32] = "";
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(0, str_append_format(dst, static_cast<uint32_t>(sizeof dst - std::strlen(dst)), scratch.data(),
                                       scratch.size(), "%s%02X", i ? "," : "", i + 0xA));
    EXPECT_STREQ("0A,0B,0C", dst);
    EXPECT_EQ(2, str_append_format(nullptr, 10, scratch.data(), scratch.size(), "x"));
    EXPECT_EQ(2, str_append_format(dst, 10, nullptr, 10, "x"));
    EXPECT_EQ(2, str_append_format(dst, 10, scratch.data(), scratch.size(), nullptr));
    EXPECT_STREQ("0A,0B,0C", dst);
}

TEST(StrReplaceAll, Results)
{
    struct {
        const char *src, *pat, *rep;
        uint32_t size;
        int result;
        const char* out;
    } cases[] = {
        {"a-b-c", "-", "::", 16, 1, "a::b::c"},
        {"hello", "x", "y", 16, 0, "hello"},
        {"aaa", "aa", "b", 16, 1, "ba"},       // left to right, not overlapping
        {"abab", "ab", "", 16, 1, ""},
        {"path/%d/x", "%d", "12", 10, 1, "path/12/x"},  // exactly full
        {"path/%d/x", "%d", "12", 9, -1, "path/12/"},   // one byte short
        {"abcd", "c", "XYZ", 5, -1, "ab"},     // replacement does not fit whole
        {"", "a", "b", 1, 0, ""},
        {"x", "a", "b", 1, -1, ""},
        {"", "a", "b", 0, -1, ""},
    };
    for (const auto& c : cases) {
        guarded_buffer out(c.size);
        EXPECT_EQ(c.result, str_replace_all(c.src, c.pat, c.rep, out.data(), out.size())) << c.src << " " << c.size;
        EXPECT_EQ(std::string(c.out), out.str());
        EXPECT_TRUE(out.guards_intact());
        if (c.size == 0) {
            EXPECT_TRUE(out.untouched());
        }
    }
}

TEST(StrReplaceAll, Refusals)
{
    guarded_buffer out(8);
    EXPECT_EQ(-3, str_replace_all("abc", "", "x", out.data(), out.size()));
    EXPECT_EQ(-2, str_replace_all(nullptr, "a", "x", out.data(), out.size()));
    EXPECT_EQ(-2, str_replace_all("abc", nullptr, "x", out.data(), out.size()));
    EXPECT_EQ(-2, str_replace_all("abc", "a", nullptr, out.data(), out.size()));
    EXPECT_EQ(-2, str_replace_all("abc", "a", "x", nullptr, 8));
    EXPECT_TRUE(out.untouched());
}

TEST(Hex, DigitValues)
{
    const std::string digits = "0123456789ABCDEFabcdef";
    const uint32_t values[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15};
    for (size_t i = 0; i < digits.size(); ++i)
        EXPECT_EQ(values[i], hex_digit_value(digits[i])) << digits[i];
    for (char c : std::string("gG/:@`x \0\xff", 10))
        EXPECT_EQ(0u, hex_digit_value(c)) << int(c);
}

TEST(Hex, ToUint)
{
    struct {
        const char* text;
        uint32_t value;
    } cases[] = {
        {"fffffffff", 0xFFFFFFFF},  // ninth digit shifts the first out
        {"123456789", 0x23456789},
        {"G1", 1},
        {"0x1F", 0x1F},
        {"1x", 0x10},
        {"", 0},
        {"dEaD", 0xDEAD},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value, hex_to_uint(c.text)) << c.text;
    EXPECT_EQ(0u, hex_to_uint(nullptr));
}

class NumberList : public ::testing::Test {
protected:
    // values[0..capacity-1] are the array; one extra word guards its end.
    int parse(const std::string& text, uint32_t length, uint32_t capacity)
    {
        values.assign(capacity + 1, 0xDEADBEEF);
        count = 0xEEEE;
        exact_text t(text, false);  // no terminator: the length is the only limit
        return parse_number_list(t.get(), length, values.data(), capacity, &count);
    }
    std::vector<uint32_t> got() const { return {values.begin(), values.begin() + count}; }

    std::vector<uint32_t> values;
    uint32_t count = 0;
};

using u32s = std::vector<uint32_t>;

TEST_F(NumberList, SeparatorsAndCapacity)
{
    ASSERT_EQ(0, parse("12,x-7 9", 8, 3));
    EXPECT_EQ((u32s{12, 7, 9}), got());
    EXPECT_EQ(0xDEADBEEF, values[3]);

    EXPECT_EQ(2, parse("12,x-7 9", 8, 2));
    EXPECT_EQ(0xEEEEu, count);
    EXPECT_EQ(0xDEADBEEF, values[2]);

    ASSERT_EQ(0, parse("1.3.6.1.4.1", 11, 40));
    EXPECT_EQ((u32s{1, 3, 6, 1, 4, 1}), got());
    EXPECT_EQ(0u, values[6]);  // the unused words are cleared
    EXPECT_EQ(0u, values[39]);
    EXPECT_EQ(0xDEADBEEF, values[40]);
}

TEST_F(NumberList, RunIsCutAtLength)
{
    ASSERT_EQ(0, parse("123456", 3, 4));
    EXPECT_EQ((u32s{123}), got());
    ASSERT_EQ(0, parse("7,89", 3, 4));
    EXPECT_EQ((u32s{7, 8}), got());
}

TEST_F(NumberList, EmptyAndZeroCapacity)
{
    ASSERT_EQ(0, parse("", 0, 0));
    EXPECT_EQ(0u, count);
    ASSERT_EQ(0, parse("--", 2, 0));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0xDEADBEEF, values[0]);
    EXPECT_EQ(2, parse("-5", 2, 0));
    ASSERT_EQ(0, parse("5", 1, 1));  // exactly full
    EXPECT_EQ((u32s{5}), got());
    EXPECT_EQ(0xDEADBEEF, values[1]);
}

TEST_F(NumberList, NullArguments)
{
    uint32_t v[2] = {7, 7}, n = 9;
    EXPECT_EQ(1, parse_number_list(nullptr, 1, v, 2, &n));
    EXPECT_EQ(1, parse_number_list("1", 1, nullptr, 2, &n));
    EXPECT_EQ(1, parse_number_list("1", 1, v, 2, nullptr));
    EXPECT_EQ(7u, v[0]);
    EXPECT_EQ(9u, n);
}

TEST(LeapYear, GregorianRule)
{
    const std::pair<uint32_t, int> cases[] = {{1900, 0}, {2000, 1}, {2024, 1}, {2023, 0}, {2100, 0}, {2400, 1}, {0, 1}};
    for (const auto& [year, leap] : cases)
        EXPECT_EQ(leap, is_leap_year(year)) << year;
}

} // namespace
