#include "frame/util/preview.h"

#include <gtest/gtest.h>

#include <string>

#include "util_guard.h"

namespace {

// Preview of text into size bytes; the input sits in a block of exactly its
// length plus the zero byte so any read past the end is reported.
std::string preview(const std::string& text, uint32_t size = 64)
{
    exact_text in(text);
    guarded_buffer out(size);
    multi_to_preview_text(in.get(), out.data(), out.size());
    EXPECT_TRUE(out.guards_intact()) << text;
    if (size == 0) {
        EXPECT_TRUE(out.untouched());
        return {};
    }
    // Cleared for its whole size: everything after the text is zero.
    const std::string s = out.str();
    for (uint32_t i = static_cast<uint32_t>(s.size()); i < size; ++i)
        EXPECT_EQ(0, out.data()[i]) << text << " at " << i;
    return s;
}

struct preview_case {
    const char* multi;
    const char* expected;
};

TEST(Preview, TagsBecomeMarks)
{
    const preview_case cases[] = {
        {"[g1,1,1]ABC[nl]D", "<GRAPHIC> ABC D"},
        {"PRICE[[5]]", "PRICE[5]"},
        {"[g2][ms11,name,MORNING]", "MORNING <GR>"},
        {"[g1][G2]A", "<GRAPHIC> A"},  // only the first graphic is shown
        {"[ms11,g3]X", "<GRAPHIC> X"},
        {"[ms11,spm,1]/[ms11,spk,2]/[MS11,R,3]", "<MPH>/<KPH>/<RTD>"},
        {"[f1,2]|[F12]|[fo3]|[fl]|[flt5o5]", "<RTF>|<RTF>|||"},
        {"A[nl2]B[np]C[NL]D", "A B C D"},
        {"[hc41][HC4a][hc1234][hcz4z1]", "AJ4A"},  // kept to 8 bits, non-hex skipped
        {"[hc]X", "X"},                            // no digits: no character
        {"[mvtdw,100,1,HELLO]!", "HELLO!"},
        {"[mvc,1,2,A[[B]]C]", "A[B]C"},
        {"[mvc,1,2,A[nl]B]C", "AC"},               // a nested tag ends the copy
        {"[jp3][pt10o5][cb2]T", "T"},              // everything else dropped
        {"[x[y]z]A", "A"},                          // nested brackets in a tag body
        {"[ms11,name,EVE]IGNORED", "EVE"},         // conversion ends at the name
        {"AB[ms11,name,X]", "X"},                   // earlier preview discarded
        {"a]b", "a]b"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, preview(c.multi)) << c.multi;
}

TEST(Preview, UnterminatedInputNeverReadPastEnd)
{
    const preview_case cases[] = {
        {"A[", "A"},
        {"A[[", "A["},
        {"]", "]"},
        {"[hc", ""},
        {"[hc4", "\x04"},
        {"[hc41", "A"},
        {"[g", "<GRAPHIC> "},
        {"[f", "<RTF>"},
        {"[m", ""},
        {"[ms11,na", ""},
        {"[ms11,name,", ""},
        {"[ms11,name,LATE", "LATE"},
        {"[g1][ms11,name,", " <GR>"},
        {"[mv", ""},
        {"[mvtdw,1,", ""},
        {"[mvtdw,1]Z", "Z"},          // fewer than three commas
        {"[mvtdw,1,2,RUN", "RUN"},
        {"[mvtdw,1,2,R]]", "R]"},
        {"[mvtdw,1,2,R[", "R"},
        {"[a[b[c", ""},
        {"[nl", " "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, preview(c.multi)) << c.multi;
}

TEST(Preview, OutputSizeLimits)
{
    struct {
        const char* multi;
        uint32_t size;
        const char* expected;
    } cases[] = {
        {"ABC", 0, ""},
        {"ABC", 1, ""},
        {"ABC", 4, "ABC"},  // exactly full
        {"ABCD", 4, "ABC"},
        {"[g1]X", 5, "<GRA"},
        {"[g1]X", 11, "<GRAPHIC> "},
        {"[ms11,spm,1]", 3, "<M"},
        {"A[[B", 3, "A["},
        {"[hc41]B", 2, "A"},
        {"[mvx,1,2,LONG]", 3, "LO"},
        {"[ms11,name,LONGNAME]", 5, "LONG"},
        {"[g1][ms11,name,LONGNAME]", 10, "<GRAPHIC>"},  // full before the name
        {"[g1][ms11,name,LONGNAME]", 12, "LONGNA <GR>"},  // mark overwrites the end
        {"[g1][ms11,name,LONGNAME]", 14, "LONGNAME <GR>"},
        {"[g1][ms11,name,AB]", 1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, preview(c.multi, c.size)) << c.multi << " size " << c.size;
}

TEST(Preview, NullArgumentsDoNothing)
{
    guarded_buffer out(8);
    multi_to_preview_text(nullptr, out.data(), out.size());
    EXPECT_TRUE(out.untouched());
    multi_to_preview_text("ABC", nullptr, 8);
}

} // namespace
