#include "frame/util/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util_guard.h"

namespace {

const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

TEST(Base64Tables, EncodeTable)
{
    guarded_buffer small(63);
    EXPECT_EQ(0, base64_encode_table(small.data(), small.size()));
    EXPECT_TRUE(small.untouched());
    EXPECT_EQ(0, base64_encode_table(nullptr, 64));

    guarded_buffer t(70);
    ASSERT_EQ(1, base64_encode_table(t.data(), t.size()));
    EXPECT_EQ(std::string(alphabet), std::string(t.data(), 64));
    for (int i = 64; i < 70; ++i)
        EXPECT_EQ(0, t.data()[i]);
    EXPECT_TRUE(t.guards_intact());
}

TEST(Base64Tables, DecodeTable)
{
    guarded_buffer small(127);
    EXPECT_EQ(0, base64_decode_table(reinterpret_cast<uint8_t*>(small.data()), small.size()));
    EXPECT_TRUE(small.untouched());

    guarded_buffer t(130);
    auto* d = reinterpret_cast<uint8_t*>(t.data());
    ASSERT_EQ(1, base64_decode_table(d, t.size()));
    EXPECT_TRUE(t.guards_intact());
    int mapped = 0;
    for (int c = 0; c < 130; ++c) {
        const char* at = c < 128 && c ? std::strchr(alphabet, c) : nullptr;
        EXPECT_EQ(at ? at - alphabet : 0, d[c]) << "character " << c;
        mapped += at != nullptr;
    }
    EXPECT_EQ(64, mapped);
}

struct vector_case {
    std::string raw;
    std::string text;
};

const vector_case vectors[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
    {std::string("\xff\xfe\x00\x80", 4), "//4AgA=="},
};

TEST(Base64, KnownVectorsBothWays)
{
    for (const auto& v : vectors) {
        guarded_buffer out(static_cast<uint32_t>(v.text.size() + 1));
        uint32_t n = 999;
        ASSERT_EQ(0, base64_encode(v.raw.data(), static_cast<uint32_t>(v.raw.size()), out.data(), out.size(), &n));
        EXPECT_EQ(v.text.size(), n);
        EXPECT_EQ(v.text, std::string(out.data()));
        EXPECT_TRUE(out.guards_intact());

        guarded_buffer raw(static_cast<uint32_t>((3 * v.text.size() + 6) / 4));
        ASSERT_EQ(0, base64_decode(v.text.data(), static_cast<uint32_t>(v.text.size()), raw.data(), raw.size(), &n));
        EXPECT_EQ(v.raw, std::string(raw.data(), n));
        EXPECT_TRUE(raw.guards_intact());
    }
}

TEST(Base64, EncodeNeedsRoomForTerminator)
{
    uint32_t n = 0;
    guarded_buffer four(4);
    EXPECT_EQ(2, base64_encode("abc", 3, four.data(), four.size(), &n));
    EXPECT_EQ(4u, n);
    EXPECT_TRUE(four.untouched());

    guarded_buffer five(5);
    EXPECT_EQ(0, base64_encode("abc", 3, five.data(), five.size(), &n));
    EXPECT_EQ("YWJj", std::string(five.data()));
    EXPECT_TRUE(five.guards_intact());

    guarded_buffer zero(0), one(1);
    EXPECT_EQ(2, base64_encode("", 0, zero.data(), zero.size(), &n));
    EXPECT_EQ(0u, n);
    EXPECT_TRUE(zero.untouched());
    EXPECT_EQ(0, base64_encode("", 0, one.data(), one.size(), &n));
    EXPECT_EQ(0, one.data()[0]);
    EXPECT_TRUE(one.guards_intact());
    EXPECT_EQ(2, base64_encode("a", 1, one.data(), one.size(), &n));
}

TEST(Base64, EncodeInPlaceMatchesSeparateBuffer)
{
    for (uint32_t len = 0; len <= 20; ++len) {
        std::vector<uint8_t> raw(len);
        for (uint32_t i = 0; i < len; ++i)
            raw[i] = static_cast<uint8_t>(i * 37 + 200);
        const uint32_t need = (len + 2) / 3 * 4 + 1;

        guarded_buffer apart(need);
        uint32_t n1 = 0, n2 = 0;
        ASSERT_EQ(0, base64_encode(raw.data(), len, apart.data(), apart.size(), &n1));

        guarded_buffer same(need);
        if (len)
            std::memcpy(same.data(), raw.data(), len);
        ASSERT_EQ(0, base64_encode(same.data(), len, same.data(), same.size(), &n2));
        EXPECT_EQ(n1, n2);
        EXPECT_STREQ(apart.data(), same.data()) << "length " << len;
        EXPECT_TRUE(same.guards_intact());
    }
}

TEST(Base64, AllByteValuesRoundTrip)
{
    std::string raw;
    for (int i = 0; i < 256; ++i)
        raw.push_back(static_cast<char>(i));
    std::vector<char> text(345 + 1);
    uint32_t n = 0;
    ASSERT_EQ(0, base64_encode(raw.data(), 256, text.data(), static_cast<uint32_t>(text.size()), &n));
    ASSERT_EQ(344u, n);
    std::vector<char> back(300);
    ASSERT_EQ(0, base64_decode(text.data(), n, back.data(), static_cast<uint32_t>(back.size()), &n));
    EXPECT_EQ(raw, std::string(back.data(), n));
}

TEST(Base64, DecodeGroupRules)
{
    struct {
        const char* text;
        std::string bytes;
    } cases[] = {
        {"TWE=", "Ma"},
        {"TQ==", "M"},
        {"TW=B", std::string("M\x01", 2)},    // "=" third, not fourth: step 3 still runs
        {"TWFuTW", "Man"},                    // partial trailing group ignored
        {"T", ""},
        {"!!!!", std::string(3, '\0')},       // outside the alphabet counts as 0
        {"\xff\x80\xc3\xa9", std::string(3, '\0')},  // bytes of 128 and above
    };
    for (const auto& c : cases) {
        const auto len = static_cast<uint32_t>(std::strlen(c.text));
        guarded_buffer out((3 * len + 6) / 4);
        uint32_t n = 99;
        ASSERT_EQ(0, base64_decode(c.text, len, out.data(), out.size(), &n)) << c.text;
        EXPECT_EQ(c.bytes, std::string(out.data(), n)) << c.text;
        EXPECT_TRUE(out.guards_intact());
    }
}

TEST(Base64, DecodeSizeCheck)
{
    uint32_t n = 0;
    // 4 characters need (12 + 6) / 4 = 4 bytes.
    guarded_buffer three(3);
    EXPECT_EQ(2, base64_decode("TWFu", 4, three.data(), three.size(), &n));
    EXPECT_TRUE(three.untouched());
    guarded_buffer four(4);
    EXPECT_EQ(0, base64_decode("TWFu", 4, four.data(), four.size(), &n));
    EXPECT_EQ("Man", std::string(four.data(), n));
    EXPECT_TRUE(four.guards_intact());

    guarded_buffer zero(0), one(1);
    EXPECT_EQ(2, base64_decode("", 0, zero.data(), zero.size(), &n));  // (0 + 6) / 4 = 1
    EXPECT_TRUE(zero.untouched());
    EXPECT_EQ(0, base64_decode("", 0, one.data(), one.size(), &n));
    EXPECT_EQ(0u, n);
    EXPECT_TRUE(one.untouched());
}

TEST(Base64, NullPointers)
{
    char buf[16];
    uint32_t n = 0;
    EXPECT_EQ(1, base64_encode(nullptr, 3, buf, sizeof buf, &n));
    EXPECT_EQ(1, base64_encode("abc", 3, nullptr, sizeof buf, &n));
    EXPECT_EQ(1, base64_encode("abc", 3, buf, sizeof buf, nullptr));
    EXPECT_EQ(1, base64_decode(nullptr, 4, buf, sizeof buf, &n));
    EXPECT_EQ(1, base64_decode("TWFu", 4, nullptr, sizeof buf, &n));
    EXPECT_EQ(1, base64_decode("TWFu", 4, buf, sizeof buf, nullptr));
}

} // namespace
