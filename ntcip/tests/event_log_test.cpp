// The event logger: which configurations are evaluated, each mode's
// condition and duration, what an entry holds, the classes as rings of
// their limit, clearing and trimming, and the nearly-full trap.
#include "ntcip/tests/event_log_fixture.h"

#include "frame/bus/letter.h"
#include "frame/trace/trace.h"
#include "ntcip/eventlog/event_value.h"

namespace {

using namespace evlog;

const std::string kIntBytes = OidBytes(kIntOid);
const std::string kTextBytes = OidBytes(kTextOid);
const std::string kNone = OidBytes({0, 0});

class EventLoggerTest : public EventLogTest {
protected:
    void SetUp() override
    {
        EventLogTest::SetUp();
        SetNv(nv::eventClassLimit(0), 20);
        SetNv(nv::eventClassLimit(1), 20);
    }
};

TEST_F(EventLoggerTest, OnlyLoggingConfigurationsOfAKnownModeAreEvaluated)
{
    struct {
        const char* what;
        uint32_t mode, action;
        uint32_t entries;  // after three steps
    } cases[] = {
        {"periodic, logging", EVENT_MODE_PERIODIC, EVENT_ACTION_LOG, 3},
        {"periodic, disabled", EVENT_MODE_PERIODIC, EVENT_ACTION_DISABLED, 0},
        {"periodic, other action", EVENT_MODE_PERIODIC, EVENT_ACTION_OTHER, 0},
        {"mode other", EVENT_MODE_OTHER, EVENT_ACTION_LOG, 0},
        {"mode 0", 0, EVENT_ACTION_LOG, 0},
        {"mode 8", 8, EVENT_ACTION_LOG, 0},
    };
    for (const auto& c : cases) {
        SetNv(nv::eventClassNumRowsInLog(0), 0);
        for (uint32_t k = 0; k < 20; ++k)
            SetNv(nv::eventLogTime(k), 0);
        logger_ = std::make_unique<CEventLogging>();
        Configure(7, 1, c.mode, 0, 0, kIntBytes, kIntBytes, c.action);
        for (uint32_t t = 1; t <= 3; ++t)
            StepAt(100 + t);
        EXPECT_EQ(c.entries, Rows(0)) << c.what;
    }
}

TEST_F(EventLoggerTest, OnChangeLogsEachNewValueButNotTheFirst)
{
    g_watched[kInt].integer = 5;
    Configure(2, 2, EVENT_MODE_ON_CHANGE, 0, 0, kIntBytes, kIntBytes);
    StepAt(100);
    EXPECT_EQ(0u, Rows(1)) << "the first evaluation only learns the value";
    StepAt(101);
    EXPECT_EQ(0u, Rows(1));
    g_watched[kInt].integer = static_cast<uint32_t>(-1);
    StepAt(102);
    ASSERT_EQ(1u, Rows(1));
    EXPECT_EQ((entry{3, 102, "02 01 FF"}), Entry(1, 0)) << "configuration 3 logged -1 at 102";
    StepAt(103);
    g_watched[kInt].integer = 7;
    StepAt(104);
    ASSERT_EQ(2u, Rows(1));
    EXPECT_EQ((entry{3, 104, "02 01 07"}), Entry(1, 1));
    EXPECT_EQ(2u, V(vol::numEvents));
    EXPECT_EQ(2u, V(vol::eventClassNumEvents(1)));
    EXPECT_EQ(0u, V(vol::eventClassNumEvents(0)));

    // A string is watched by its CRC: a new text is a new value.
    Configure(3, 1, EVENT_MODE_ON_CHANGE, 0, 0, kTextBytes, kTextBytes);
    g_watched[kText].bytes = "abc";
    StepAt(105);
    g_watched[kText].bytes = "abd";
    StepAt(106);
    ASSERT_EQ(1u, Rows(0));
    EXPECT_EQ((entry{4, 106, "04 03 61 62 64"}), Entry(0, 0));
}

TEST_F(EventLoggerTest, GreaterThanMustHoldForTheDuration)
{
    // cv2 = 25 tenths: 2 whole seconds.
    Configure(0, 1, EVENT_MODE_GREATER, 10, 25, kIntBytes, kIntBytes);
    struct {
        uint32_t time, value;
    } steps[] = {
        {100, 11}, {101, 11}, {102, 11},  // held 2 s at 102: logged once
        {103, 12}, {104, 12},             // still held: disarmed
        {105, 9},                         // falls back: re-armed
        {106, 11}, {107, 10},             // 10 is not greater: the count restarts
        {108, 11}, {109, 11}, {110, 11},  // logged at 110
    };
    for (const auto& s : steps) {
        g_watched[kInt].integer = s.value;
        StepAt(s.time);
    }
    EXPECT_EQ((std::vector<uint32_t>{102, 110}), Times(0));
    EXPECT_EQ("02 01 0B", Entry(0, 1).value);
}

TEST_F(EventLoggerTest, ThresholdModesCompareSigned)
{
    struct {
        const char* what;
        uint32_t mode, cv1, cv2, value;
        bool logged;
    } cases[] = {
        {"-3 < 0", EVENT_MODE_SMALLER, 0, 0, static_cast<uint32_t>(-3), true},
        {"3 < 0", EVENT_MODE_SMALLER, 0, 0, 3, false},
        {"0 > -1", EVENT_MODE_GREATER, static_cast<uint32_t>(-1), 0, 0, true},
        {"0x12 and 0x02", EVENT_MODE_AND, 0x02, 0, 0x12, true},
        {"0x10 and 0x02", EVENT_MODE_AND, 0x02, 0, 0x10, false},
        {"a duration of 9 tenths is none", EVENT_MODE_GREATER, 0, 9, 1, true},
        {"a duration of 10 tenths is a second", EVENT_MODE_GREATER, 0, 10, 1, false},
        {"a negative duration never ends", EVENT_MODE_GREATER, 0, static_cast<uint32_t>(-20), 1, false},
    };
    for (const auto& c : cases) {
        logger_ = std::make_unique<CEventLogging>();
        SetNv(nv::eventClassNumRowsInLog(0), 0);
        SetNv(nv::eventLogTime(0), 0);
        Configure(0, 1, c.mode, c.cv1, c.cv2, kIntBytes, kIntBytes);
        g_watched[kInt].integer = c.value;
        StepAt(500);
        EXPECT_EQ(c.logged ? 1u : 0u, Rows(0)) << c.what;
    }
}

TEST_F(EventLoggerTest, HysteresisLogsOnceOutsideTheBand)
{
    // cv1 = 10, cv2 = 5: the band 5..10, bounds included.
    Configure(0, 1, EVENT_MODE_HYSTERESIS, 10, 5, kIntBytes, kIntBytes);
    const uint32_t values[] = {11, 12, 10, 11, 4, 7, 4, 5};
    uint32_t t = 200;
    for (uint32_t v : values) {
        g_watched[kInt].integer = v;
        StepAt(t++);
    }
    EXPECT_EQ((std::vector<uint32_t>{200, 203, 206}), Times(0));
    EXPECT_EQ("02 01 04", Entry(0, 2).value);
}

TEST_F(EventLoggerTest, PeriodicLogsEveryPeriod)
{
    Configure(0, 1, EVENT_MODE_PERIODIC, 0, 0, kNone, kIntBytes);  // every pass, nothing watched
    Configure(1, 2, EVENT_MODE_PERIODIC, 3, 0, kNone, kIntBytes);  // every 3 seconds
    for (uint32_t t = 10; t <= 17; ++t)
        StepAt(t);
    EXPECT_EQ(8u, Rows(0));
    EXPECT_EQ((std::vector<uint32_t>{13, 16}), Times(1));
    // Two passes in the same second still log each time with cv1 = 0.
    StepAt(17);
    EXPECT_EQ(9u, Rows(0));
}

TEST_F(EventLoggerTest, AFullClassDropsItsOldest)
{
    SetNv(nv::eventClassLimit(0), 3);
    Configure(0, 1, EVENT_MODE_PERIODIC, 0, 0, kNone, kIntBytes);
    for (uint32_t t = 1; t <= 4; ++t) {
        g_watched[kInt].integer = t;
        StepAt(100 + t);
    }
    EXPECT_EQ(3u, Rows(0));
    EXPECT_EQ((entry{1, 102, "02 01 02"}), Entry(0, 0));
    EXPECT_EQ((entry{1, 103, "02 01 03"}), Entry(0, 1));
    EXPECT_EQ((entry{1, 104, "02 01 04"}), Entry(0, 2)) << "the newest lands at index 2";
    EXPECT_EQ((entry{0, 0, ""}), Entry(0, 3));
    EXPECT_EQ(4u, V(vol::eventClassNumEvents(0)));
}

TEST_F(EventLoggerTest, LoweringTheLimitTrimsTheOldest)
{
    SetNv(nv::eventClassLimit(0), 10);
    Configure(0, 1, EVENT_MODE_PERIODIC, 0, 0, kNone, kIntBytes);
    for (uint32_t t = 1; t <= 10; ++t)
        StepAt(t);
    SetNv(nv::eventConfigAction(0), EVENT_ACTION_DISABLED);
    ASSERT_EQ(10u, Rows(0));
    SetNv(nv::eventClassLimit(0), 4);
    EXPECT_TRUE(logger_->HandleLetter(MSG_EVENT_CLASS_LIMIT));
    EXPECT_EQ(4u, Rows(0));
    EXPECT_EQ((std::vector<uint32_t>{7, 8, 9, 10}), Times(0));
    EXPECT_EQ((entry{1, 7, "02 01 00"}), Entry(0, 0));
    EXPECT_EQ((entry{0, 0, ""}), Entry(0, 4));
}

TEST_F(EventLoggerTest, ClearingByTimeKeepsTheLaterEntries)
{
    Configure(0, 2, EVENT_MODE_PERIODIC, 0, 0, kNone, kIntBytes);
    for (uint32_t t = 100; t <= 104; ++t)
        StepAt(t);
    SetNv(nv::eventConfigAction(0), EVENT_ACTION_DISABLED);
    SetNv(nv::eventClassClearTime(1), 102);
    EXPECT_TRUE(logger_->HandleLetter(MSG_EVENT_CLASS_CLEAR_TIME + 1));
    EXPECT_EQ(2u, Rows(1));
    EXPECT_EQ((std::vector<uint32_t>{103, 104}), Times(1));
    // The same clear time again changes nothing; a later one clears all.
    EXPECT_TRUE(logger_->HandleLetter(MSG_EVENT_CLASS_CLEAR_TIME + 1));
    EXPECT_EQ(2u, Rows(1));
    SetNv(nv::eventClassClearTime(1), 0xFFFFFFFF);
    logger_->ClearByTime(1);
    EXPECT_EQ(0u, Rows(1));
    EXPECT_TRUE(Times(1).empty());
    EXPECT_FALSE(logger_->HandleLetter(MSG_EVENT_CLASS_LIMIT + 1));
}

TEST_F(EventLoggerTest, AnEntryLoggedAtTimeZeroCountsAsFree)
{
    SetNv(nv::eventClassLimit(0), 3);
    Configure(0, 1, EVENT_MODE_PERIODIC, 0, 0, kNone, kIntBytes);
    g_watched[kInt].integer = 1;
    StepAt(0);
    EXPECT_EQ((entry{1, 0, "02 01 01"}), Entry(0, 0));
    g_watched[kInt].integer = 2;
    StepAt(50);
    EXPECT_EQ((entry{1, 50, "02 01 02"}), Entry(0, 0)) << "its place is taken";
}

TEST_F(EventLoggerTest, NearlyFullTrapOncePerCrossing)
{
    CTrapBuffer traps;
    snmp_trap_capture capture(&traps);
    SetNvText(nv::sysLocation, "I-95 mile 12");
    for (uint32_t c = 0; c < 16; ++c)
        SetNv(nv::eventClassLimit(c), 0);

    StepAt(300);
    EXPECT_TRUE(traps.IsEmpty());
    // A limit of 1 counts as nearly full even while empty.
    SetNv(nv::eventClassLimit(5), 1);
    StepAt(301);
    EXPECT_EQ(1u, V(vol::eventLogNearlyFullSent));
    StepAt(302);
    ASSERT_EQ(1u, traps.Count()) << "not again while it stays nearly full";
    trap_record r;
    ASSERT_TRUE(traps.Get(&r));
    EXPECT_EQ(TRAP_ENTERPRISE, r.generic_trap);
    EXPECT_EQ(EVENT_TRAP_NEARLY_FULL, r.specific_trap);
    ASSERT_EQ(2u, r.varbind_count);
    EXPECT_EQ("1.3.6.1.2.1.1.6.0", dotted(r.varbinds[0].name, r.varbinds[0].name_length));
    EXPECT_EQ(SNMP_OCTET_STRING, r.varbinds[0].syntax);
    EXPECT_EQ("I-95 mile 12",
              std::string(reinterpret_cast<const char*>(r.varbinds[0].value), r.varbinds[0].value_length));
    EXPECT_EQ("1.3.6.1.4.1.1206.4.2.6.3.1.0", dotted(r.varbinds[1].name, r.varbinds[1].name_length));
    EXPECT_EQ(SNMP_COUNTER, r.varbinds[1].syntax);
    uint32_t time = 0;
    std::memcpy(&time, r.varbinds[1].value, 4);
    EXPECT_EQ(301u, time);

    // Re-armed when no class is nearly full; 9 of 10 rows is 90 %.
    SetNv(nv::eventClassLimit(5), 10);
    StepAt(303);
    EXPECT_EQ(0u, V(vol::eventLogNearlyFullSent));
    SetNv(nv::eventClassNumRowsInLog(5), 8);
    StepAt(304);
    EXPECT_TRUE(traps.IsEmpty());
    SetNv(nv::eventClassNumRowsInLog(5), 9);
    StepAt(305);
    EXPECT_EQ(1u, traps.Count());
    // Classes at or above maxEventClasses are not looked at, nor any past 16.
    SetNv(nv::eventClassNumRowsInLog(5), 0);
    StepAt(306);
    SetV(vol::maxEventClasses, 5);
    SetNv(nv::eventClassNumRowsInLog(5), 10);
    StepAt(307);
    EXPECT_EQ(0u, V(vol::eventLogNearlyFullSent));
    SetV(vol::maxEventClasses, 255);
    StepAt(308);
    EXPECT_EQ(1u, V(vol::eventLogNearlyFullSent));
}

TEST_F(EventLoggerTest, WatchedObjectsOnTheDeferralListWaitForTheStartUp)
{
    SetNv(nv::eventClassLimit(1), 100);
    SetNv(nv::eventClassLimit(2), 100);
    Configure(0, 1, EVENT_MODE_PERIODIC, 0, 0, OidBytes(kDoorOid), kIntBytes);
    Configure(1, 2, EVENT_MODE_PERIODIC, 0, 0, kNone, kIntBytes);
    // The other twelve objects of the list, and the door without its instance.
    const char* const others[] = {
        "ENT.4.2.3.9.9.1.0", "ENT.4.2.3.9.9.2.0", "ENT.4.2.3.9.9.3.0", "ENT.4.2.3.9.9.4.0",
        "ENT.4.2.3.9.9.5.0", "ENT.4.2.3.9.9.6.0", "ENT.3.11.5.7.0",    "ENT.3.11.5.8.0",
        "ENT.3.11.5.9.0",    "ENT.3.6.11.1.0",    "ENT.3.35.2.0",      "ENT.3.35.4.0",
    };
    uint32_t i = 2;
    for (const char* text : others) {
        const oid_t o = O(text);
        Configure(i++, 3, EVENT_MODE_PERIODIC, 0, 0, OidBytes(o.data(), o.size()), kIntBytes);
    }
    Configure(i, 4, EVENT_MODE_PERIODIC, 0, 0, OidBytes(kDoorOid, 12), kIntBytes);
    SetNv(nv::eventClassLimit(3), 100);

    logger_->Update();  // the start-up pass
    for (uint32_t step = 1; step <= 58; ++step)
        logger_->Update();
    EXPECT_EQ(0u, Rows(0)) << "the start-up pass and 58 steps";
    EXPECT_EQ(0u, Rows(2));
    EXPECT_EQ(59u, Rows(1));
    EXPECT_EQ(59u, Rows(3));
    logger_->Update();
    EXPECT_EQ(1u, Rows(0));
    EXPECT_EQ(12u, Rows(2));
    EXPECT_EQ(0, logger_->Countdown());

    event_deferred_oid door{{1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 6, 0}, 13};
    const std::string bytes = OidBytes(kDoorOid);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_TRUE(CEventLogging::MatchesOid(p, 52, door));
    EXPECT_FALSE(CEventLogging::MatchesOid(p, 48, door)) << "without its instance";
    EXPECT_FALSE(CEventLogging::MatchesOid(nullptr, 0, door));
}

TEST_F(EventLoggerTest, WhatIsNotLogged)
{
    trace_capture trace;
    // An unreadable log object: nothing stored, and the episode counts as logged.
    g_watched[kInt].integer = 20;
    Configure(0, 1, EVENT_MODE_GREATER, 10, 0, kIntBytes, OidBytes({1, 3, 6, 1, 2, 1, 1, 99, 0}));
    StepAt(100);
    EXPECT_TRUE(trace.contains("CEventLogging::Log: noSuchObject\n"));
    EXPECT_EQ(0u, Rows(0));
    SetNvOid(nv::eventConfigLogOID(0), kIntBytes);
    StepAt(101);
    EXPECT_EQ(0u, Rows(0)) << "still disarmed";
    g_watched[kInt].integer = 0;
    StepAt(102);
    g_watched[kInt].integer = 20;
    StepAt(103);
    EXPECT_EQ(1u, Rows(0));

    // Classes that do not exist or keep nothing: dropped, nothing written.
    logger_ = std::make_unique<CEventLogging>();
    for (uint32_t cls : {0u, 17u, 255u}) {
        trace.clear();
        Configure(0, cls, EVENT_MODE_PERIODIC, 0, 0, kNone, kIntBytes);
        StepAt(200);
        EXPECT_TRUE(trace.contains("event 1 dropped")) << cls;
    }
    SetNv(nv::eventClassLimit(3), 0);
    Configure(0, 4, EVENT_MODE_PERIODIC, 0, 0, kNone, kIntBytes);
    StepAt(201);
    for (uint32_t c = 0; c < 16; ++c)
        EXPECT_EQ(c == 0 ? 1u : 0u, Rows(c)) << c;
    EXPECT_EQ(1u, V(vol::numEvents));

    // The fdot comm-loss condition suppresses logging.
    CEventLogging::SetCommLossQuery([] { return true; });
    Configure(0, 1, EVENT_MODE_PERIODIC, 0, 0, kNone, kIntBytes);
    StepAt(202);
    EXPECT_EQ(1u, Rows(0));
    CEventLogging::SetCommLossQuery(nullptr);
    StepAt(203);
    EXPECT_EQ(2u, Rows(0));

    // A watched object that cannot be read leaves the configuration alone.
    logger_ = std::make_unique<CEventLogging>();
    Configure(0, 1, EVENT_MODE_ON_CHANGE, 0, 0, OidBytes({1, 3, 6, 1, 2, 1, 1, 98, 0}), kIntBytes);
    StepAt(204);
    EXPECT_EQ(1, logger_->State(0).armed);
    // A log object of a syntax without an encoding: an empty value.
    Configure(0, 1, EVENT_MODE_PERIODIC, 0, 0, kNone, OidBytes(kOpaqueOid));
    StepAt(205);
    EXPECT_EQ((entry{1, 205, ""}), Entry(0, 2));
}

TEST_F(EventLoggerTest, CountersWrapAt65536)
{
    SetV(vol::numEvents, 65535);
    SetV(vol::eventClassNumEvents(0), 65535);
    Configure(0, 1, EVENT_MODE_PERIODIC, 0, 0, kNone, kIntBytes);
    StepAt(10);
    EXPECT_EQ(0u, V(vol::numEvents));
    EXPECT_EQ(0u, V(vol::eventClassNumEvents(0)));
}

TEST_F(EventLoggerTest, WatchedValuesOfEachSyntax)
{
    g_watched[kCounter].integer = 0xFFFFFFF0;
    g_watched[kGauge].integer = 42;
    g_watched[kTicks].integer = 43;
    g_watched[kText].bytes = "123456789";
    g_watched[kOpaque].bytes = "123456789";
    g_watched[kAddress].integer = 0x31323334;  // "1234"
    g_watched[kOid].bytes = "1234";
    struct {
        const char* what;
        std::string oid;
        uint32_t value;
    } cases[] = {
        {"Counter", OidBytes(kCounterOid), 0xFFFFFFF0},
        {"Gauge", OidBytes(kGaugeOid), 42},
        {"TimeTicks", OidBytes(kTicksOid), 43},
        // The X.25 CRC of "123456789" is 0x906E, stored byte-swapped.
        {"OCTET STRING", OidBytes(kTextOid), 0x6E90},
        {"Opaque", OidBytes(kOpaqueOid), 0x6E90},
        {"IpAddress", OidBytes(kAddressOid), 0},
        {"OBJECT IDENTIFIER", OidBytes(kOidOid), 0},
    };
    uint32_t crc_1234 = 0;
    for (const auto& c : cases) {
        bool failed = true;
        uint32_t v = logger_->GetValue(reinterpret_cast<const uint8_t*>(c.oid.data()),
                                       static_cast<uint32_t>(c.oid.size()), &failed);
        EXPECT_FALSE(failed) << c.what;
        if (c.value)
            EXPECT_EQ(c.value, v) << c.what;
        else if (crc_1234 == 0)
            crc_1234 = v;
        else
            EXPECT_EQ(crc_1234, v) << "an address by its four bytes, as a string of them";
    }
    bool failed = false;
    logger_->GetValue(reinterpret_cast<const uint8_t*>(kNone.data()), 8, &failed);
    EXPECT_TRUE(failed) << "two sub-identifiers name nothing";
    const std::string unknown = OidBytes({1, 3, 6, 1, 2, 1, 1, 99, 0});
    failed = false;
    logger_->GetValue(reinterpret_cast<const uint8_t*>(unknown.data()), 36, &failed);
    EXPECT_TRUE(failed);
}

TEST(EventValue, EncodingsOfEachSyntax)
{
    const uint8_t oid_bytes[] = {0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 6, 0, 0, 0, 1, 0, 0, 0, 4,
                                 0, 0, 0, 1, 0, 0, 0x04, 0xB6};  // 1.3.6.1.4.1.1206
    const uint8_t wide_arcs[] = {0, 0, 0, 2, 0, 0, 0x03, 0xE7};  // 2.999
    struct {
        const char* what;
        uint8_t syntax;
        uintptr_t cell;
        uint32_t length;
        const char* encoded;
        bool handled;
    } cases[] = {
        {"INTEGER -1", MIB_INTEGER, 0xFFFFFFFF, 4, "02 01 FF", true},
        {"INTEGER 0", MIB_INTEGER, 0, 4, "02 01 00", true},
        {"INTEGER 127", MIB_INTEGER, 127, 4, "02 01 7F", true},
        {"INTEGER 128", MIB_INTEGER, 128, 4, "02 02 00 80", true},
        {"INTEGER -129", MIB_INTEGER, 0xFFFFFF7F, 4, "02 02 FF 7F", true},
        {"INTEGER max", MIB_INTEGER, 0x7FFFFFFF, 4, "02 04 7F FF FF FF", true},
        {"Counter 200", MIB_COUNTER, 200, 4, "41 02 00 C8", true},
        {"Counter 127", MIB_COUNTER, 127, 4, "41 01 7F", true},
        {"Counter 0", MIB_COUNTER, 0, 4, "41 01 00", true},
        {"Gauge", MIB_GAUGE, 0x12345, 4, "42 03 01 23 45", true},
        {"Gauge 0x8000", MIB_GAUGE, 0x8000, 4, "42 03 00 80 00", true},
        {"TimeTicks", MIB_TIMETICKS, 0xFFFFFFFF, 4, "43 05 00 FF FF FF FF", true},
        {"IpAddress", MIB_IPADDRESS, 0x0A000009, 4, "40 04 0A 00 00 09", true},
        {"OCTET STRING", MIB_OCTET_STRING, reinterpret_cast<uintptr_t>("abc"), 3, "04 03 61 62 63", true},
        {"empty OCTET STRING", MIB_OCTET_STRING, 0, 0, "04 00", true},
        {"OBJECT IDENTIFIER", MIB_OBJECT_ID, reinterpret_cast<uintptr_t>(oid_bytes), 28, "06 07 2B 06 01 04 01 89 36",
         true},
        {"first arcs above 39", MIB_OBJECT_ID, reinterpret_cast<uintptr_t>(wide_arcs), 8, "06 02 88 37", true},
        {"Opaque", MIB_OPAQUE, reinterpret_cast<uintptr_t>("abc"), 3, "", false},
    };
    for (const auto& c : cases) {
        uint8_t out[EVENT_VALUE_BUFFER];
        uint32_t length = 99;
        EXPECT_EQ(c.handled, event_value_writer(c.syntax, c.cell, c.length, out, &length)) << c.what;
        EXPECT_EQ(to_hex(hex(c.encoded)), to_hex(out, length)) << c.what;
    }
}

TEST(EventValue, LongValuesAreCutToFit)
{
    struct {
        uint32_t length;
        const char* header;
        uint32_t content;
    } strings[] = {
        {127, "04 7F", 127},
        {128, "04 81 80", 128},
        {255, "04 81 FF", 255},
        {256, "04 82 01 00", 256},
        {507, "04 82 01 FB", 507},  // 511 bytes in all
        {508, "04 82 01 FB", 507},
        {2000, "04 82 01 FB", 507},
    };
    for (const auto& s : strings) {
        std::string text(s.length, 'q');
        std::vector<uint8_t> out(EVENT_VALUE_BUFFER + 8, 0xA5);
        uint32_t length = 0;
        ASSERT_TRUE(event_value_writer(MIB_OCTET_STRING, reinterpret_cast<uintptr_t>(text.data()), s.length,
                                       out.data(), &length));
        const std::string header = to_hex(hex(s.header));
        EXPECT_EQ(header, to_hex(out.data(), hex(s.header).size())) << s.length;
        EXPECT_EQ(hex(s.header).size() + s.content, length) << s.length;
        EXPECT_LE(length, EVENT_VALUE_MAX);
        for (size_t k = EVENT_VALUE_BUFFER; k < out.size(); ++k)
            EXPECT_EQ(0xA5, out[k]);
    }
    // An OID is cut at a whole sub-identifier: 1.3 then 120 arcs of 5 bytes.
    std::vector<uint8_t> oid(4 * 122, 0xFF);
    std::fill(oid.begin(), oid.begin() + 8, 0);
    oid[3] = 1;
    oid[7] = 3;
    uint8_t out[EVENT_VALUE_BUFFER];
    uint32_t length = 0;
    ASSERT_TRUE(event_value_writer(MIB_OBJECT_ID, reinterpret_cast<uintptr_t>(oid.data()),
                                   static_cast<uint32_t>(oid.size()), out, &length));
    // The first arc and 101 more (506 content bytes, 510 in all) fit; one more would not.
    const uint32_t content = 1 + 5 * ((EVENT_VALUE_MAX - 4 - 1) / 5);
    EXPECT_EQ(4 + content, length);
    EXPECT_EQ(0x06, out[0]);
    EXPECT_EQ(0x82, out[1]);
    EXPECT_EQ(content, static_cast<uint32_t>(out[2] << 8 | out[3]));
    EXPECT_EQ(0x8F, out[length - 5]) << "the last arc is whole";
    EXPECT_EQ(0x7F, out[length - 1]);
}

}  // namespace
