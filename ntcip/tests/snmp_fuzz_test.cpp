// A short, repeatable fuzzing run under the test build's sanitizers: golden
// messages mutated in the ways that break decoders (flipped bits, boundary
// bytes in length positions, cuts, insertions, splices) and plain random
// bytes go through the message decoder; whatever it accepts must encode again
// and decode to the same record. tools/fuzz_snmp.sh runs the real fuzzer.
#include <gtest/gtest.h>

#include <random>

#include "frame/trace/trace.h"
#include "ntcip/fuzz/snmp_roundtrip.h"
#include "ntcip/tests/snmp_golden.h"
#include "ntcip/tests/snmp_test_util.h"

namespace {

class SnmpFuzz : public snmp_test {
protected:
    void SetUp() override
    {
        snmp_test::SetUp();
        m_a = new_message();
        m_b = new_message();
        for (const char* m : kGoldenMessages)
            m_seeds.push_back(hex(m));
        // A GetBulkRequest, and a version-2 message.
        m_seeds.push_back(hex("30 26 02 01 01 04 06 70 75 62 6C 69 63 A5 19 02 01 01 02 01 00 02 01 0A "
                               "30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 05 00"));
        m_seeds.push_back(hex("30 26 02 01 02 04 06 70 75 62 6C 69 63 A1 19 02 01 01 02 01 00 02 01 00 "
                               "30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 05 00"));
    }

    bytes mutate(std::mt19937& rng)
    {
        auto pick = [&](size_t n) { return n == 0 ? size_t(0) : std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
        bytes m = m_seeds[pick(m_seeds.size())];
        static const uint8_t interesting[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0x81, 0x82, 0x84, 0x85, 0xFE, 0xFF};
        int rounds = 1 + int(pick(3));
        for (int r = 0; r < rounds; ++r) {
            switch (pick(8)) {
            case 0:  // flip a bit
                if (!m.empty())
                    m[pick(m.size())] ^= uint8_t(1u << pick(8));
                break;
            case 1:  // a boundary value, often where a length sits
                if (!m.empty())
                    m[pick(m.size())] = interesting[pick(sizeof interesting)];
                break;
            case 2:  // nudge a byte by one
                if (!m.empty())
                    m[pick(m.size())] += pick(2) ? 1 : 0xFF;
                break;
            case 3:  // cut
                m.resize(pick(m.size() + 1));
                break;
            case 4: {  // insert random bytes
                size_t at = pick(m.size() + 1);
                size_t n = 1 + pick(4);
                for (size_t i = 0; i < n; ++i)
                    m.insert(m.begin() + at, uint8_t(pick(256)));
                break;
            }
            case 5: {  // delete a range
                if (m.empty())
                    break;
                size_t at = pick(m.size());
                size_t n = 1 + pick(std::min<size_t>(8, m.size() - at));
                m.erase(m.begin() + at, m.begin() + at + n);
                break;
            }
            case 6: {  // splice another seed's tail in
                const bytes& other = m_seeds[pick(m_seeds.size())];
                size_t at = pick(m.size() + 1);
                size_t from = pick(other.size());
                m.resize(at);
                m.insert(m.end(), other.begin() + from, other.end());
                break;
            }
            default: {  // duplicate a range (repeated varbinds, nested headers)
                if (m.empty())
                    break;
                size_t at = pick(m.size());
                size_t n = 1 + pick(std::min<size_t>(32, m.size() - at));
                bytes part(m.begin() + at, m.begin() + at + n);
                m.insert(m.begin() + at, part.begin(), part.end());
                break;
            }
            }
        }
        return m;
    }

    // Runs one input in both end-test modes; returns how many were accepted.
    int run(const bytes& input)
    {
        int accepted = 0;
        for (bool tolerant : {false, true}) {
            tolerant_flag() = tolerant;
            // An exact-size copy: the sanitizer sees any read past the input.
            std::unique_ptr<uint8_t[]> copy(new uint8_t[input.size() + 1]);
            std::copy(input.begin(), input.end(), copy.get());
            snmp_roundtrip_result r = snmp_roundtrip(copy.get(), input.size(), m_a.get(), m_b.get());
            EXPECT_NE(SNMP_RT_MISMATCH, r) << (tolerant ? "tolerant: " : "") << to_hex(input);
            accepted += r == SNMP_RT_OK;
        }
        return accepted;
    }

    std::unique_ptr<snmp_message> m_a, m_b;
    std::vector<bytes> m_seeds;
};

TEST_F(SnmpFuzz, SeedsRoundTrip)
{
    for (const bytes& seed : m_seeds)
        EXPECT_EQ(2, run(seed)) << to_hex(seed);
}

TEST_F(SnmpFuzz, MutatedMessages)
{
    trace_capture quiet;  // the decoders' failure traces
    std::mt19937 rng(20240611);
    int accepted = 0;
    const int runs = 6000;
    for (int i = 0; i < runs && !HasFailure(); ++i)
        accepted += run(mutate(rng));
    // Enough mutants survive decoding for the re-encoding side to be exercised.
    EXPECT_GT(accepted, runs / 10);
}

TEST_F(SnmpFuzz, RandomBytes)
{
    trace_capture quiet;
    std::mt19937 rng(7);
    for (int i = 0; i < 3000 && !HasFailure(); ++i) {
        bytes input(std::uniform_int_distribution<size_t>(0, 120)(rng));
        for (auto& b : input)
            b = uint8_t(rng());
        // Mostly a SEQUENCE start, so that the outer header is passed now and then.
        if (!input.empty() && i % 2 == 0)
            input[0] = 0x30;
        run(input);
    }
}

}  // namespace
