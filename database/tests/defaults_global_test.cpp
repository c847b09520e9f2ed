// Factory defaults of the NTCIP global objects and of the protocol objects
// kept beside them.
#include "database/tests/defaults_fixture.h"
#include "frame/trace/trace.h"

namespace {

std::string Oid(std::initializer_list<uint32_t> subids) {
  std::string s;
  for (uint32_t v : subids)
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>(v >> shift));
  return s;
}

const std::string kNullOid = Zeros(8);

const std::vector<int_row> kGlobalInts = {
    {48132, 2, 0},
    {48134, 1, 10},
    {48136, 4, 0, ALWAYS, 10},
    {48176, 4, 0},
    {48192, 4, static_cast<uint32_t>(-21600), FULL},
    {48184, 1, 1, FULL},
    // Daylight saving: one rule (second Sunday of March to the first of
    // November), nine unused entries.
    {48196, 1, 3, FULL},
    {48197, 1, 14, FULL, 9},
    {48206, 1, 2, FULL},
    {48207, 1, 1, FULL, 9},
    {48216, 1, 1, FULL, 20},
    {48236, 4, 7200, FULL},
    {48240, 4, 0, FULL, 9},
    {48276, 1, 11, FULL},
    {48277, 1, 14, FULL, 9},
    {48286, 1, 1, FULL, 30},
    {48316, 4, 7200, FULL},
    {48320, 4, 0, FULL, 9},
    {48356, 2, 3600, FULL},
    {48358, 2, 0, FULL, 9},
    // Schedules and day plans.
    {48376, 2, 29},
    {48378, 1, 20},
    {48379, 1, 24},
    {48380, 1, 0},
    {48382, 2, 0},
    {48384, 2, 0, ALWAYS, 29},
    {48442, 1, 0, ALWAYS, 29},
    {48472, 4, 0, ALWAYS, 29},
    {48588, 1, 0, ALWAYS, 29},
    {48620, 1, 0, ALWAYS, 960},
    // Event configurations and the event log.
    {51500, 1, 1, ALWAYS, 120},
    {51620, 4, 0, ALWAYS, 120},
    {52580, 1, 2, ALWAYS, 120},
    {52700, 2, 1, ALWAYS, 4080},
    {60860, 4, 0, ALWAYS, 4080},
    {93500, 1, 0, ALWAYS, 16},
    {93516, 4, 0, ALWAYS, 16},
    {93644, 1, 0, ALWAYS, 16},
    // Communities: only the third user community has rights.
    {94064, 4, 0, ALWAYS, 2},
    {94072, 4, 0xFFFFFFFF},
    {94076, 4, 0, ALWAYS, 97},
};

const std::vector<str_row> kGlobalStrings = {
    {48124, "GRANVOLT", FULL},
    {48128, "BRIMOX", FULL},
    {49580, Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0}), ALWAYS, 480},
    {52100, kNullOid, ALWAYS, 120},
    {77180, "", ALWAYS, 4080},
    {93580, "", ALWAYS, 16},
    {93660, "quillfeathers"},
    {93664, "fernly", ALWAYS, 2},
    {93672, "Fernly"},
    {93676, "fernly", ALWAYS, 97},
    {94464, "UNUSED", ALWAYS, 136},
};

const std::vector<int_row> kGlobalVolatileInts = {
    {12224, 1, 1},  {12228, 4, 2050}, {12232, 1, 8},  {12368, 1, 3},  {12369, 1, 2}, {12370, 1, 3, ALWAYS, 5},
    {12375, 1, 2},  {12376, 1, 1},    {12377, 1, 7},  {12384, 1, 0, ALWAYS, 3},       {12392, 4, 0},
    {12396, 1, 10}, {12398, 2, 60},   {12400, 2, 255}, {12402, 1, 16}, {12404, 2, 0},
    {12406, 2, 0, ALWAYS, 16}, {12438, 1, 100}, {12539, 1, 112}, {12540, 1, 24},
    {12544, 1, 3, ALWAYS, 112}, {12656, 1, 2, ALWAYS, 24}, {12816, 1, 0, ALWAYS, 136},
    {12952, 4, 0, ALWAYS, 136}, {13496, 1, 2, ALWAYS, 136}, {13632, 4, 0, ALWAYS, 136},
};

const std::string kSignNode = Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3});

const std::vector<str_row> kGlobalVolatileStrings = {
    {12236,
     "NTCIP 1101:1996v01.12\r\nNTCIP 1201:v03.03\r\nNTCIP 1203:v02.35\r\nNTCIP 2101:2001v01.19\r\nNTCIP "
     "2103:v02.04\r\nNTCIP 2201:2003 v01.15\r\nNTCIP 2202:2001 v01.05"},
    {12240, kSignNode, ALWAYS, 5},
    {12260, ""},  // row 6 has no node or make of its own
    {12264, kSignNode, ALWAYS, 2},
    {12272, "Quorvantis, Inc.", ALWAYS, 5},
    {12292, ""},
    {12296, "Quorvantis, Inc.", ALWAYS, 2},
    {12304, "PX3907561 - KSR-7100 FW"},
    {12308, "CONTROLLER SERIAL NUMBER"},
    {12312, "DISPLAY DRIVER"},
    {12316, "CONTROL PANEL"},
    {12320, "DISPLAY MODULE"},
    {12324, "CAN PROD BOARD FW"},
    {12328, "KB90521 - BOOTLOADER"},
    {12332, "SIGN MODEL"},
    {12336, "1.9.4588.42"},
    {12340, "SN: ----"},
    {12344, "", ALWAYS, 4},
    {12360, "1.9.4588.42"},
    {12364, "SN: ----"},
    {12380, kNullOid},
    {12388, ""},
};

}  // namespace

TEST_F(DefaultsTest, GlobalObjectsOnAFullAndAPartialReset) {
  trace_capture cap;
  CheckResets(kGlobalInts, kGlobalStrings);
  EXPECT_TRUE(cap.contains("Global Init, set begin month to march\n"));
}

TEST_F(DefaultsTest, FullResetStopsTheClockAndPartialKeepsIt) {
  db_->SetTimeValue(48180, 4, 123456, nv(), DB_GLOBAL_TIME);
  db_->LoadDefaults(1);
  EXPECT_EQ(db_->GetTimeValue(48180, 4, nv(), DB_GLOBAL_TIME), 123456u);
  db_->LoadDefaults(0);
  EXPECT_EQ(db_->GetTimeValue(48180, 4, nv(), DB_GLOBAL_TIME), 0u);
}

TEST_F(DefaultsTest, GlobalVolatileObjectsAtEveryStart) {
  // The boot monitor's identification holds no '-': row 7 shows the firmware version.
  db_->InitVolatileDefaults();
  ExpectInts(vol(), kGlobalVolatileInts, "volatile");
  ExpectStrings(vol(), kGlobalVolatileStrings, "volatile");
  for (uint32_t k = 0; k < 100; ++k) ASSERT_EQ(db_->GetValue(12439 + k, 1, vol(), 0), k + 1);
  for (uint32_t i = 0; i < 136; ++i) ASSERT_EQ(db_->GetValue(12680 + i, 1, vol(), 0), i < 112 ? i + 1 : i - 111);
}

TEST_F(DefaultsTest, BootLoaderVersionIsTheMonitorsTextAfterItsDash) {
  monitor::monitor_config mon;
  mon.flash_size = 5u << 20;
  mon.version = "Nov 20 2006 09:41:07, monitor-2.4.1";
  monitor::reset(mon);
  db_->InitVolatileDefaults();
  EXPECT_EQ(Str(12360, vol()), "2.4.1");
}
