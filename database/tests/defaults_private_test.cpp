// Factory defaults of the private objects.
#include "database/config_table.h"
#include "database/tests/defaults_fixture.h"

namespace {

const std::vector<int_row> kPrivateInts = {
    {95016, 1, 1},
    {95020, 1, 100, FULL},
    {95048, 1, 40, FULL},
    {95023, 1, 0, FULL},
    {95030, 2, 21, FULL},
    {95032, 1, 0, FULL},
    {95036, 4, 1, FULL},
    {95040, 4, DB_FACTORY_ADMIN_PIN, FULL},
    {95044, 1, 0, FULL},
    {95052, 4, 0, FULL},
    {95056, 4, 0, FULL},
    {95060, 2, 162, FULL},
    {95066, 1, 1, FULL},
    {95062, 2, 161, FULL},
    {95096, 4, 20, FULL},
    {95064, 2, 80, FULL},
    {95068, 4, 0, FULL},
    {95076, 2, 60, FULL},
    {95078, 1, 0, FULL, 2},
    {95092, 1, 1, FULL},
    {95093, 1, 0, FULL},
    {95046, 2, 10, FULL},
    {95028, 1, 1, FULL},
    {95080, 1, 1, FULL},
    {95081, 1, 1, FULL},
    {95100, 4, 90000001, FULL},
    {95104, 4, 180000001, FULL},
    {95112, 4, 0, FULL},
    {95108, 4, 0, FULL},
    {95050, 2, 0, FULL},
    {95116, 1, 3, FULL, 2},
    {95118, 1, 0, FULL, 9},
    {95130, 2, 65535, FULL},
    {95128, 1, 2, FULL},
    {95132, 1, 50, FULL},
    {95133, 1, 100, FULL},
    {95134, 1, 0, FULL, 3},
    {95137, 1, 100, FULL},
    {95138, 1, 50, FULL},
    {95139, 1, 0, FULL, 3},
    {95148, 2, 5, FULL},
    {95150, 1, 5, FULL},
    {95152, 4, DB_FACTORY_USER_PIN, FULL},
    {95168, 4, 0, FULL},
    {95181, 1, 2, FULL, 4},
    {95185, 1, 11, FULL},
    {95176, 1, 0, FULL, 4},
    {95180, 1, 4, FULL},
    {95186, 1, 0, FULL, 5},
    {95192, 2, 0, FULL, 5},
    {95224, 2, 0, FULL},
    {95226, 2, 45000, FULL},  // a time-out that fits its 16 bits
    {95228, 1, 2, FULL},
    {95229, 1, 1, FULL},
    {95232, 2, 0, FULL, 255},
    {97784, 1, 64, FULL},
    {97792, 4, 0, FULL},
    {97796, 1, 50},
    {98000, 2, 1024},
};

const std::vector<str_row> kPrivateStrings = {
    {95072, "", FULL},
    {95024, kBlank1, FULL},
    {95084, kBlank1},
    {95088, std::string("\xFF\xFF\x01\x07\x00\x01\x00\x00\x00\x00\x00\x00", 12)},
    {95144, "", FULL},
    {95164, "", FULL},
    {95172, "", FULL},
    {95204, "", FULL, 5},
    {95744, "", FULL, 255},
    {97788, "\xC5\x21\x02", FULL},
    {97800, "", ALWAYS, 50},
};

const std::vector<int_row> kPrivateVolatileInts = {
    {14176, 2, 0, ALWAYS, 1500},
    {17176, 1, 1},
    {17177, 1, 100},
    {17178, 1, 2},
    {17179, 1, 0, ALWAYS, 2},
    {17214, 1, 1, ALWAYS, 5},   // source modes of slots 2..6
    {17221, 1, 1, ALWAYS, 5},   // reasons
    {17236, 4, 0, ALWAYS, 5},   // end times
    {17284, 2, 0xFF81},         // -127 dBm as a 16-bit value
    {17316, 1, 9},
    {17317, 1, 1},
    {17320, 1, 0},
    {17322, 2, 0},
    {17324, 4, 0},
    {17328, 2, 0},
    {17336, 2, 0},
    {17340, 2, 0, ALWAYS, 2},
    {17344, 1, 0, ALWAYS, 3},
    {17347, 1, 100},
    {17348, 1, 1},
    {17349, 1, 0},
    {17350, 1, 1},
    {17356, 2, 0, ALWAYS, 4},
    {17364, 4, 1000},
    {17372, 1, 5},
    {17373, 1, 2, ALWAYS, 2},
    {17375, 1, 3},
    {17376, 1, 2},
    {17377, 1, 4},
    {17380, 2, 255},
    {17378, 1, 2},
    {17382, 1, 0, ALWAYS, 255},
    {17638, 2, 0},
    {17640, 1, 0, ALWAYS, 2},
    {17748, 1, 0, ALWAYS, 26},
    {17774, 2, 0, ALWAYS, 26},
    {17826, 1, 1, ALWAYS, 78},
    {24560, 1, 0, ALWAYS, 4},
};

const std::vector<str_row> kPrivateVolatileStrings = {
    {17184, Zeros(12), ALWAYS, 2},
    {17192, "", ALWAYS, 5},
    {17264, "", ALWAYS, 5},
    {17292, "", ALWAYS, 5},
    {17312, ""},
    {17332, ""},
    {17368, ""},
    {17644, "", ALWAYS, 26},
    {17904, "", ALWAYS, 26},
    {18008, Zeros(1024), ALWAYS, 1638},
};

}  // namespace

TEST_F(DefaultsTest, PrivateObjectsOnAFullAndAPartialReset) { CheckResets(kPrivateInts, kPrivateStrings); }

TEST_F(DefaultsTest, PrivateRunTimeObjectsAtEveryStart) {
  db_->InitVolatileDefaults();
  ExpectInts(vol(), kPrivateVolatileInts, "volatile");
  ExpectStrings(vol(), kPrivateVolatileStrings, "volatile");
}
