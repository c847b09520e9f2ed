// A short fuzzing campaign under the sanitizers: random and mutated MULTI
// texts through validation and display. The long campaign is the libFuzzer
// target (tools/fuzz_multi.sh).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "display/fuzz/multi_fuzz_one.h"
#include "frame/trace/trace.h"
#include "multi_fixture.h"

namespace {

using MultiFuzzTest = MultiTest;

const char* const kSeeds[] = {
    "[jl3]AB[nl]C",
    "[[ABC]]",
    "A[np]B[np]C[np]D[np]E[np]F[np]G",
    "[fo2]WIDE[nl][fo3,1234]X[/fl][flt5o5]FLASH[/fl]",
    "[mvcl50,2,5,MOVING [fo2]TEXT]AFTER",
    "[mvl10r20,1,1,]]X[[]",
    "[tr1,1,48,16][jp2]TOP[tr49,17,0,0][jp4][jl4]BOTTOM",
    "[cr1,1,0,0,9][cr10,5,3,2,255,255,0][pb1,2,3]",
    "[g7][g7,2,3][g7,1,1,1234][g9][g8]",
    "[f1][f2][f3,2][f7,5][f12][f92][f99]",
    "[ms11,xy,5,9]A[ms11,gpo,3,1][ms11,spm,1,12][ms11,r,10,20][ms11,g,1,1,a.bmp]",
    "[ms11,cf,255,0,0][ms11,cb,0,0,255][ms12,x][/ms][ms11,name]",
    "[hc41][hc][sc3]A[/sc][pt5o6][po][pto]",
    "[nl][nl5][np][NP]",
    "[jp3][jp4]",
    "ABC]",
    "[fo",
    "[",
    "]]]]",
};

const char* const kTokens[] = {"[",   "]",   "[[",  "]]",   "[np]", "[nl]", "[mv",  ",",     "-",     "0",
                               "1",   "9",   "99",  "255",  "256",  "ms11", "fo",   "tr",    "cr",    "jl",
                               "jp",  "fl",  "t",   "o",    "g",    "f",    "hc",   "xy",    "sp",    "gpo",
                               "pb",  "cf",  "cb",  "sc",   "/sc",  "/fl",  "/ms",  "65536", "99999999999999"};

std::string Mutate(std::mt19937& rng, std::string s) {
  auto pick = [&rng](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
  int rounds = 1 + static_cast<int>(rng() % 6);
  for (int i = 0; i < rounds; ++i) {
    size_t at = pick(s.size() + 1);
    switch (rng() % 7) {
      case 0:
        if (!s.empty()) s[pick(s.size())] = static_cast<char>(rng());
        break;
      case 1:
        s.insert(at, kTokens[pick(std::size(kTokens))]);
        break;
      case 2:
        s.erase(at, pick(8));
        break;
      case 3:
        s.insert(at, s.substr(pick(s.size()), pick(12)));
        break;
      case 4:
        s.resize(pick(s.size() + 1));
        break;
      case 5:
        s += kSeeds[pick(std::size(kSeeds))];
        break;
      default:
        s.insert(at, 1, "[]0,"[rng() % 4]);
        break;
    }
  }
  return s;
}

std::string Random(std::mt19937& rng) {
  static const char kAlphabet[] = "[]][,,0123456789abcdefghijklmnopqrstuvwxyzFTOLR/-";
  std::string s(rng() % 64, ' ');
  for (auto& c : s) c = kAlphabet[rng() % (sizeof kAlphabet - 1)];
  return s;
}

TEST_F(MultiFuzzTest, ArbitraryTextsNeverBreakTheParser) {
  trace_capture quiet;
  std::mt19937 rng(20240611);
  std::vector<std::string> inputs;
  for (const char* seed : kSeeds) inputs.emplace_back(seed);
  for (int i = 0; i < 1500; ++i) inputs.push_back(Mutate(rng, kSeeds[rng() % std::size(kSeeds)]));
  for (int i = 0; i < 1000; ++i) inputs.push_back(Random(rng));
  for (int i = 0; i < 500; ++i) inputs.push_back(Mutate(rng, inputs[rng() % inputs.size()]));
  // The longest message, and beyond it.
  std::string tall;
  while (tall.size() < 3100) tall += "[jl4]LINE[nl][[X]][fo2]";
  inputs.push_back(tall);

  int failures = 0;
  for (size_t i = 0; i < inputs.size() && failures < 5; ++i) {
    std::string bytes = std::string(1, static_cast<char>(rng())) + inputs[i];
    std::string problem = multi_fuzz::run_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (!problem.empty()) {
      ++failures;
      ADD_FAILURE() << problem << " for config " << int(uint8_t(bytes[0])) << " text \"" << inputs[i] << "\"";
    }
  }
  quiet.clear();
}

}  // namespace
