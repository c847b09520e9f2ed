// Factory defaults of MIB-II and of the objects other subsystems keep in
// the database (fdot, traps, beacon, vestrel, location).
#include "database/tests/defaults_fixture.h"

namespace {

const std::string kSignName = "Quorvantis, Inc. KSR-7100 Palisade(tm) VMS Field Controller";

const std::vector<int_row> kMib2Ints = {
    {98024, 4, 83886080, FULL}, {98032, 4, 0},        {98036, 1, 2},
    {98040, 4, 100},            {98044, 4, 0},        {98048, 4, 9600, FULL, 4},
    {98064, 4, 10, FULL},
};

const std::vector<str_row> kMib2Strings = {
    {98016, kSignName},
    {98020, "Unknown"},
    {98028, "0.0.0.0"},
};

const std::vector<int_row> kNeighbourInts = {
    {98084, 2, 0}, {98086, 1, 0}, {98088, 4, 0xFFFFFFFF, FULL}, {98092, 2, 3600}, {98104, 1, 2, ALWAYS, 2},
};

std::string Oid(std::initializer_list<uint32_t> subids) {
  std::string s;
  for (uint32_t v : subids)
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>(v >> shift));
  return s;
}

const std::vector<int_row> kMib2VolatileInts = {
    {24572, 4, 0},  {24576, 1, 67}, {24580, 4, 1},  {24584, 4, 1},  {24592, 1, 6},
    {24596, 4, 1518}, {24604, 1, 1, ALWAYS, 2}, {24608, 4, 0, ALWAYS, 13}, {24664, 4, 1},
    {24668, 4, 0, ALWAYS, 18}, {24740, 4, 0, ALWAYS, 4}, {24756, 2, 0}, {24760, 4, 0, ALWAYS, 7},
    {24788, 1, 1},  {24789, 1, 0},  {24792, 4, 0, ALWAYS, 2}, {24804, 4, 0}, {24812, 4, 0},
    {24816, 1, 0},  {24820, 4, 1},  {24824, 4, 0, ALWAYS, 12}, {24876, 1, 0}, {24880, 4, 0},
    {24904, 4, 0, ALWAYS, 20}, {25004, 4, 0, ALWAYS, 10}, {25064, 4, 0}, {25088, 1, 2, ALWAYS, 2},
    {25090, 1, 1},  {25091, 1, 2},  {25092, 1, 1},  {25116, 4, 0, ALWAYS, 10}, {25156, 4, 0, ALWAYS, 25},
    {25256, 4, 2},
};

const std::vector<str_row> kMib2VolatileStrings = {
    {24564, kSignName},
    {24568, Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3})},
    {24588, "Ethernet Port"},
    {24600, ""},
    {24660, Zeros(8)},
    {24800, Zeros(8)},
    {24808, ""},
    {24872, Oid({1, 3, 6, 1, 2, 1, 10, 7, 8, 2, 1})},
    {25044, Zeros(8), ALWAYS, 5},
};

const std::vector<int_row> kNeighbourVolatileInts = {
    {25260, 1, 0},  {25264, 1, 2, ALWAYS, 2}, {25280, 4, 0},
    // vestrel
    {25288, 1, 0, ALWAYS, 4}, {25296, 1, 0, ALWAYS, 11}, {25308, 1, 1, ALWAYS, 10}, {25320, 1, 0},
    {25324, 4, 0}, {25340, 4, 0, ALWAYS, 4}, {25356, 1, 0, ALWAYS, 7}, {25368, 1, 0, ALWAYS, 3},
    {25376, 1, 0, ALWAYS, 3}, {25384, 1, 0}, {25388, 1, 0, ALWAYS, 300}, {26288, 1, 0, ALWAYS, 15},
    {26308, 1, 0, ALWAYS, 5},
    // location
    {26436, 4, 90000001}, {26440, 4, 180000001}, {26444, 2, 0},
};

const std::vector<str_row> kNeighbourVolatileStrings = {
    {25268, Zeros(1)}, {25272, Zeros(2)}, {25276, ""},           {25284, Zeros(1)},
    {25292, ""},       {25328, "", ALWAYS, 3}, {25364, ""},      {25372, ""},
    {25380, ""},       {25688, "", ALWAYS, 150}, {26316, "", ALWAYS, 25}, {26416, "", ALWAYS, 5},
};

}  // namespace

TEST_F(DefaultsTest, Mib2OnAFullAndAPartialReset) {
  CheckResets(kMib2Ints, kMib2Strings);
  uint32_t length = 0;
  db_->GetString(98012, 4, nv(), &length);
  EXPECT_EQ(length, 46u);  // the sales contact line
}

TEST_F(DefaultsTest, FdotAndTrapObjectsOnAFullAndAPartialReset) { CheckResets(kNeighbourInts, {}); }

TEST_F(DefaultsTest, Mib2AndNeighbourObjectsAtEveryStart) {
  db_->LoadDefaults(0);
  db_->InitVolatileDefaults();
  ExpectInts(vol(), kMib2VolatileInts, "MIB-II");
  ExpectStrings(vol(), kMib2VolatileStrings, "MIB-II");
  for (uint32_t p = 0; p < 5; ++p) {
    for (uint32_t column : {24884u, 24984u, 25068u, 25096u}) EXPECT_EQ(db_->GetValue(column + 4 * p, 4, vol(), 0), p + 1);
  }
  ExpectInts(vol(), kNeighbourVolatileInts, "neighbours");
  ExpectStrings(vol(), kNeighbourVolatileStrings, "neighbours");
}

TEST_F(DefaultsTest, LocationStartsAtTheConfiguredSite) {
  db_->SetValue(95100, 4, 27950000, nv(), DB_NO_VALIDATE);
  db_->SetValue(95104, 4, static_cast<uint32_t>(-82460000), nv(), DB_NO_VALIDATE);
  db_->InitVolatileDefaults();
  EXPECT_EQ(db_->GetValue(26436, 4, vol(), 0), 27950000u);
  EXPECT_EQ(db_->GetValue(26440, 4, vol(), 0), static_cast<uint32_t>(-82460000));
}
