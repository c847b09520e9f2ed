// The private sign and display objects through request processing, byte
// for byte over the memory transport: their gets, walks and sets with the
// registry's and the database's refusals, the configuration lock's write
// override, activation by message number, the serial numbers, the storage
// health and the pixel-failure details.
#include <algorithm>

#include "frame/trace/trace.h"
#include "mon_api.h"
#include "ntcip/snmp/agent/memory_transport.h"
#include "ntcip/tests/private_fixture.h"

namespace {

using priv::Quor;

class QuorSignTest : public PrivateMibTest {};

TEST_F(QuorSignTest, AGetIsAnsweredByteForByte)
{
    const oid_t name = Quor("1.1.0");
    std::vector<uint8_t> request = request_message(1, "administrator", SNMP_PDU_GET, {vb_null(name)}, 7);
    std::vector<snmp_memory_message> sent;
    ASSERT_TRUE(rtos::run_in_thread([&] {
        snmp_agent_process(&manager_.agent_, request.data(), static_cast<uint32_t>(request.size()));
        sent = snmp_memory_transport_of(&manager_.agent_)->Take();
    }));
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(request_message(1, "administrator", SNMP_PDU_RESPONSE, {vb_int(name, 1)}, 7), sent[0].bytes);
}

TEST_F(QuorSignTest, GetsAnswerTheStoredValuesAndRefuseOtherNames)
{
    SetV(vol::quorPixelFailureDetail(0), 0x11);     // type 1, index 1
    SetV(vol::quorPixelFailureDetail(1499), 0x33);  // type 3, index 500
    SetNv(nv::quorLineLength(8), 4);
    struct {
        const char* what;
        oid_t name;
        uint32_t status;
        uint32_t value;
    } cases[] = {
        {"display mode", Quor("1.1.0"), 0, 1},
        {"display mode without its instance", Quor("1.1"), 2, 0},
        {"display mode with a longer name", Quor("1.1.0.1"), 2, 0},
        {"legibility ratio", Quor("2.13.0"), 0, 100},
        {"module time-out", Quor("2.36.0"), 0, 10},
        {"photocell scale", Quor("2.37.0"), 0, 40},
        {"bay height", Quor("2.32.1.0"), 0, 3},
        {"line lengths", Quor("2.32.3.0"), 0, 9},
        {"line length 9", Quor("2.32.4.1.2.9"), 0, 4},
        {"line length 10", Quor("2.32.4.1.2.10"), 2, 0},
        {"line length 0", Quor("2.32.4.1.2.0"), 2, 0},
        {"message IDs", Quor("2.18.1.0"), 0, 50},
        {"message ID index 50", Quor("2.18.2.1.1.50"), 0, 50},
        {"message ID index 51", Quor("2.18.2.1.1.51"), 2, 0},
        {"pixel detail of type 1 (a get serves it)", Quor("1.2.1.3.1.1"), 0, 0x11},
        {"pixel detail 3.500", Quor("1.2.1.3.3.500"), 0, 0x33},
        {"pixel detail 3.501", Quor("1.2.1.3.3.501"), 2, 0},
        {"pixel detail 4.1", Quor("1.2.1.3.4.1"), 2, 0},
        {"pixel detail 0.1", Quor("1.2.1.3.0.1"), 2, 0},
        {"pixel detail 1.0", Quor("1.2.1.3.1.0"), 2, 0},
        {"pixel detail type column", Quor("1.2.1.1.2.7"), 0, 2},
        {"pixel detail index column", Quor("1.2.1.2.2.7"), 0, 7},
        {"node 2.7 is not served", Quor("2.7.0"), 2, 0},
    };
    for (const auto& c : cases) {
        response r = Get(c.name);
        ASSERT_TRUE(r.ok) << c.what;
        EXPECT_EQ(c.status, r.error_status) << c.what;
        if (c.status == 0) {
            ASSERT_EQ(1u, r.varbinds.size()) << c.what;
            EXPECT_EQ(SNMP_INTEGER, r.varbinds[0].syntax) << c.what;
            EXPECT_EQ(c.value, r.varbinds[0].integer) << c.what;
        }
    }
}

TEST_F(QuorSignTest, SetsStoreAndAnnounceOrAreRefused)
{
    struct {
        const char* what;
        vb value;
        const char* community;
        uint32_t status;
        db_object object;
        bool nv;
        uint32_t stored;  // the object afterwards
        uint32_t flags;   // database flags raised (checked when not 0)
    } cases[] = {
        {"memory request 9 is outside 1..8", vb_int(Quor("2.3.0"), 9), "administrator", 3, vol::quorResetOption, false,
         1, 0},
        {"memory request 8", vb_int(Quor("2.3.0"), 8), "administrator", 0, vol::quorResetOption, false, 8, 0x200},
        {"shut-off temperature the database refuses", vb_int(Quor("2.4.0"), 50), "administrator", 3,
         nv::quorShutOffTemp, true, 0, 0},
        {"shut-off temperature", vb_int(Quor("2.4.0"), 90), "administrator", 0, nv::quorShutOffTemp, true, 90, 0},
        {"test pattern", vb_int(Quor("1.1.0"), 5), "administrator", 0, nv::quorDisplayMode, true, 5, 0x800000},
        {"test pattern 0", vb_int(Quor("1.1.0"), 0), "administrator", 3, nv::quorDisplayMode, true, 5, 0},
        {"module id without the write mask", vb_int(Quor("2.9.0"), 22), "viewer", 2, nv::quorModuleID, true, 21, 0},
        {"module id", vb_int(Quor("2.9.0"), 22), "config", 0, nv::quorModuleID, true, 22, 0x40000000},
        {"legibility ratio is read-only", vb_int(Quor("2.13.0"), 50), "administrator", 2, vol::quorLegibilityRatio,
         false, 100, 0},
        {"frame rate 11", vb_int(Quor("2.22.0"), 11), "administrator", 3, nv::quorFrameRate, true, 0, 0},
        {"CAN baud rate 0", vb_int(Quor("2.24.0"), 0), "administrator", 3, nv::quorCANBaudRate, true, 1, 0},
        {"a string for an integer", vb_str(Quor("2.23.0"), "8"), "administrator", 3, nv::quorBitsPerColour, true, 0, 0},
        {"line length under the bay mask", vb_int(Quor("2.32.4.1.2.3"), 4), "bay", 0, nv::quorLineLength(2), true, 4,
         0x40000000},
        {"line length under another mask", vb_int(Quor("2.32.4.1.2.3"), 5), "config", 2, nv::quorLineLength(2), true, 4,
         0},
        {"line length index is read-only", vb_int(Quor("2.32.4.1.1.3"), 5), "administrator", 2, nv::quorLineLength(2),
         true, 4, 0},
        {"special features", vb_int(Quor("2.33.0"), 0x200), "administrator", 0, nv::quorSpecialFeatureSet, true, 0x200,
         0x100000},
        {"module time-out is read-only", vb_int(Quor("2.36.0"), 20), "administrator", 2, nv::quorModTimeout, true, 10,
         0},
        {"photocell scale 0", vb_int(Quor("2.37.0"), 0), "bay", 3, nv::quorPhotocellScale, true, 40, 0},
        {"heartbeat", vb_int(Quor("2.38.0"), 600), "bay", 0, nv::quorHeartBeatThreshold, true, 600, 0},
    };
    for (const auto& c : cases) {
        Flags();
        response r = Set(c.value, c.community);
        ASSERT_TRUE(r.ok) << c.what;
        EXPECT_EQ(c.status, r.error_status) << c.what;
        EXPECT_EQ(c.stored, c.nv ? Nv(c.object) : V(c.object)) << c.what;
        uint32_t raised = Flags();
        if (c.flags) {
            EXPECT_EQ(c.flags, raised & c.flags) << c.what;
        }
        if (c.status == 0) {
            ASSERT_EQ(1u, r.varbinds.size()) << c.what;
            EXPECT_EQ(c.stored, r.varbinds[0].integer) << c.what;
        }
    }
    std::vector<uint32_t> letters = Letters();
    EXPECT_EQ(1, std::count(letters.begin(), letters.end(), uint32_t(MSG_SHUTOFF_TEMP_CHANGED)));
    EXPECT_EQ(1, std::count(letters.begin(), letters.end(), uint32_t(MSG_SPECIAL_FEATURES_CHANGED)));
}

TEST_F(QuorSignTest, MessageIDCodesAndTheEmergencyMessage)
{
    const std::string code("\x03\x00\x07\xBE\xEF", 5);
    EXPECT_EQ(0u, Set(vb_str(Quor("2.18.2.1.2.50"), code)).error_status);
    EXPECT_EQ(code, Text(nv::quorMessageIDCode(49), true));
    EXPECT_EQ(code, GetText(Quor("2.18.2.1.2.50")));
    EXPECT_EQ(3u, Set(vb_str(Quor("2.18.2.1.2.1"), code.substr(0, 4))).error_status);
    EXPECT_EQ("", Text(nv::quorMessageIDCode(0), true));
    EXPECT_EQ(2u, Set(vb_str(Quor("2.18.2.1.2.51"), code)).error_status);

    EXPECT_EQ(std::string("\x07\x00\x01\x00\x00", 5), GetText(Quor("2.5.0")));
    EXPECT_EQ(3u, Set(vb_str(Quor("2.5.0"), "abc")).error_status);
    EXPECT_EQ(0u, Set(vb_str(Quor("2.5.0"), code)).error_status);
    EXPECT_EQ(code, Text(nv::quorEmergencyMessage, true));
}

TEST_F(QuorSignTest, TheLockOpensTheAccessThreeRowsUntilItIsLockedOrTheControllerStarts)
{
    const oid_t lid = Quor("2.17.3.0");
    EXPECT_EQ(2u, Set(vb_int(lid, 5)).error_status);
    EXPECT_EQ(0u, Nv(nv::quorRdiLid));

    Letters();
    response r = Set(vb_int(Quor("2.8.0"), 2), "config");
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(2u, Nv(nv::quorMessageTableMode));
    std::vector<uint32_t> letters = Letters();
    EXPECT_NE(letters.end(), std::find(letters.begin(), letters.end(), uint32_t(MSG_CHG_NV95028)));

    EXPECT_EQ(0u, Set(vb_int(lid, 5)).error_status);
    EXPECT_EQ(5u, Nv(nv::quorRdiLid));
    // Past the registry's checks the handler still wants an integer that the
    // object can hold.
    EXPECT_EQ(3u, Set(vb_str(lid, "5")).error_status);
    EXPECT_EQ(3u, Set(vb_int(lid, 70000)).error_status);
    EXPECT_EQ(3u, Set(vb_int(Quor("2.17.5.0"), 256)).error_status);
    EXPECT_EQ(5u, Nv(nv::quorRdiLid));
    EXPECT_EQ(2u, Nv(nv::quorRdiRetries));

    EXPECT_EQ(0u, Set(vb_int(Quor("2.8.0"), 1), "config").error_status);
    EXPECT_EQ(2u, Set(vb_int(lid, 6)).error_status);
    EXPECT_EQ(3u, Set(vb_int(Quor("2.8.0"), 3), "config").error_status);

    // A start builds the registry afresh: the overrides are off whatever the
    // stored lock says.
    EXPECT_EQ(0u, Set(vb_int(Quor("2.8.0"), 2), "config").error_status);
    const mib_group* const groups[] = {&g_quor_sign_group, &g_quor_comm_group};
    ASSERT_EQ(1, snmp_mib_build(groups, 2));
    EXPECT_EQ(2u, Nv(nv::quorMessageTableMode));
    EXPECT_EQ(2u, Set(vb_int(lid, 7)).error_status);
    EXPECT_EQ(5u, Nv(nv::quorRdiLid));
}

TEST_F(QuorSignTest, ActivationByNumberAsksForTheStoredMessageInSlotSix)
{
    SetNv(nv::dmsMessageCRC(4), 0x1234);  // changeable message 5
    SetText(nv::dmsMsgTableSource, true, std::string("\x03\x00\x0C\x56\x78", 5));
    EXPECT_EQ(0x3000Cu, GetInt(Quor("2.27.0")));

    const std::string expected("\xFF\xFF\xFF\x03\x00\x05\x12\x34\x7F\x00\x00\x01", 12);
    for (uint32_t v : {0x305u, 0x30005u}) {
        SetText(vol::activationSlotCode(6), false, "");
        SetV(vol::activationSlotSourceMode(6), 1);
        SetV(vol::activationSlotReason(6), 1);
        Letters();
        response r = Set(vb_int(Quor("2.27.0"), v));
        EXPECT_EQ(0u, r.error_status) << v;
        ASSERT_EQ(1u, r.varbinds.size());
        // The message running when the request came: the display takes the
        // slot at its next step.
        EXPECT_EQ(0x3000Cu, r.varbinds[0].integer) << v;
        EXPECT_EQ(expected, Text(vol::activationSlotCode(6), false)) << v;
        EXPECT_EQ(2u, V(vol::activationSlotSourceMode(6))) << v;
        EXPECT_EQ(2u, V(vol::activationSlotReason(6))) << v;
        std::vector<uint32_t> letters = Letters();
        EXPECT_EQ(1, std::count(letters.begin(), letters.end(), uint32_t(MSG_ACTIVATION_WRITTEN))) << v;
    }
    // Memory type 0, message 4096: no such message, so CRC 0; the display's
    // validation refuses it.
    EXPECT_EQ(0u, Set(vb_int(Quor("2.27.0"), 0x1000)).error_status);
    EXPECT_EQ(std::string("\xFF\xFF\xFF\x00\x10\x00\x00\x00\x7F\x00\x00\x01", 12),
              Text(vol::activationSlotCode(6), false));
    EXPECT_EQ(3u, Set(vb_int(Quor("2.27.0"), 0)).error_status);
    EXPECT_EQ(3u, Set(vb_int(Quor("2.27.0"), 524288)).error_status);
}

TEST_F(QuorSignTest, SerialNumbersAreWrittenIntoTheModuleTable)
{
    struct {
        const char* oid;
        uint32_t value;
        uint32_t row;
        const char* text;
    } cases[] = {
        {"2.28.0", 0, 1, "SN: ----"},
        {"2.28.0", 1234, 1, "SN: 1234"},
        {"2.29.0", 2147483647, 6, "SN: 2147483647"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(0u, Set(vb_int(Quor(c.oid), c.value)).error_status) << c.text;
        EXPECT_EQ(c.text, Text(vol::moduleVersion(c.row), false));
    }
    EXPECT_EQ(3u, Set(vb_int(Quor("2.28.0"), 0x80000000u)).error_status);
    EXPECT_EQ(1234u, Nv(nv::quorControllerSerialNum));
    EXPECT_EQ("SN: 1234", Text(vol::moduleVersion(1), false));
}

TEST_F(QuorSignTest, StorageHealthIsMeasuredAtEveryAccess)
{
    // Dead space: files written and deleted again.
    const std::string data(100000, 'x');
    for (const char* name : {"a.bin", "b.bin"})
        ASSERT_EQ(0, mon_tfsadd(name, nullptr, "", data.data(), static_cast<uint32_t>(data.size())));
    ASSERT_EQ(0, mon_tfsunlink("a.bin"));
    int64_t dead = mon_tfsctrl(TFS_CTRL_DEAD, 0, 0), available = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
    ASSERT_GT(dead, 0);
    const uint32_t percent = static_cast<uint32_t>(dead * 100 / (dead + available));
    const int level = trace_level();
    trace_set_level(1);
    trace_capture trace;
    EXPECT_EQ(percent, GetInt(Quor("2.34.0")));
    trace_set_level(level);
    EXPECT_EQ(percent, V(vol::quorFlashDeadSpace));
    EXPECT_TRUE(trace.contains("Dead: ")) << trace.text();
    EXPECT_EQ(2u, Set(vb_int(Quor("2.34.0"), 1)).error_status);
    // No journal here: an empty one.
    EXPECT_EQ(0u, GetInt(Quor("2.35.0")));
}

TEST_F(QuorSignTest, AWalkOfThePixelDetailsPassesOverTypeOne)
{
    SetV(vol::quorPixelFailureDetail(500), 21);   // type 2, index 1
    SetV(vol::quorPixelFailureDetail(1000), 31);  // type 3, index 1
    struct {
        const char* what;
        oid_t from;
        oid_t next;
    } cases[] = {
        {"from the table", Quor("1.2"), Quor("1.2.1.1.2.1")},
        {"from the detail column", Quor("1.2.1.3"), Quor("1.2.1.3.2.1")},
        {"from type 1", Quor("1.2.1.3.1.17"), Quor("1.2.1.3.2.1")},
        {"from 1.500", Quor("1.2.1.3.1.500"), Quor("1.2.1.3.2.1")},
        {"from 2.500", Quor("1.2.1.3.2.500"), Quor("1.2.1.3.3.1")},
        {"from an index 0", Quor("1.2.1.3.0"), Quor("1.2.1.3.2.1")},
        {"from 3.500 out of the table", Quor("1.2.1.3.3.500"), Quor("2.3.0")},
        {"past the type column", Quor("1.2.1.1.3.500"), Quor("1.2.1.2.2.1")},
    };
    for (const auto& c : cases) {
        response r = Next(c.from);
        ASSERT_TRUE(r.ok && r.error_status == 0 && r.varbinds.size() == 1) << c.what;
        EXPECT_EQ(dotted(c.next), dotted(r.varbinds[0].name)) << c.what;
    }
    EXPECT_EQ(21u, Next(Quor("1.2.1.3.1.500")).varbinds[0].integer);
    EXPECT_EQ(31u, Next(Quor("1.2.1.3.2.500")).varbinds[0].integer);
    std::vector<oid_t> names = Walk(Quor("1.2.1.3"), Quor("1.2.1.3"));
    ASSERT_EQ(1000u, names.size());
    EXPECT_EQ(dotted(Quor("1.2.1.3.3.500")), dotted(names.back()));
}

TEST_F(QuorSignTest, ALineLengthWalkTracesEveryCall)
{
    trace_capture trace;
    std::vector<oid_t> names = Walk(Quor("2.32.4"), Quor("2.32.4"));
    ASSERT_EQ(18u, names.size());
    EXPECT_EQ(dotted(Quor("2.32.4.1.1.1")), dotted(names.front()));
    EXPECT_EQ(dotted(Quor("2.32.4.1.2.9")), dotted(names.back()));
    EXPECT_TRUE(trace.contains("inside var_quorLineLengthTable: QUORLINELENGTHINDEX\n"));
    EXPECT_TRUE(trace.contains("inside var_quorLineLengthTable: QUORLINELENGTH\n"));
    trace.clear();
    EXPECT_EQ(3u, GetInt(Quor("2.32.2.0")));
    EXPECT_TRUE(trace.contains("inside quorSignConfig:\n"));
}

TEST_F(QuorSignTest, ThePanelAdministratorPinIsTheAdministratorsOnly)
{
    SetNv(nv::quorLCDAdminPassword, 4321);
    EXPECT_EQ(4321u, GetInt(Quor("2.12.0")));
    EXPECT_EQ(2u, Get(Quor("2.12.0"), "config").error_status);
    EXPECT_EQ(2u, Set(vb_int(Quor("2.12.0"), 1), "config").error_status);
    response r = Next(Quor("2.11.0"), "config");
    ASSERT_TRUE(r.ok && r.varbinds.size() == 1);
    EXPECT_EQ(dotted(Quor("2.13.0")), dotted(r.varbinds[0].name));
    EXPECT_EQ(0u, Set(vb_int(Quor("2.12.0"), 1111)).error_status);
    EXPECT_EQ(1111u, Nv(nv::quorLCDAdminPassword));
}

TEST(QuorRegistry, TheProgramsRegistryHoldsThePrivateSubtrees)
{
    trace_capture trace;
    ASSERT_EQ(1, snmp_mib_init()) << trace.text();
    const mib_subtree* quor = snmp_subtree_find("quor");
    const mib_subtree* vestrel = snmp_subtree_find("vestrel");
    ASSERT_NE(nullptr, quor);
    ASSERT_NE(nullptr, vestrel);
    EXPECT_EQ(116u, g_quor_sign_group.count + g_quor_comm_group.count + g_quor_status_group.count);
    EXPECT_GE(quor->row_count, 116u);
    EXPECT_EQ(66u, g_vestrel_group.count);
    EXPECT_EQ(66u, vestrel->row_count);
    // Every access-3 row of the subtree is one of the radio link's.
    uint32_t access3 = 0;
    for (uint32_t i = 0; i < quor->row_count; ++i)
        access3 += quor->rows[i].access == MIB_READ_ONLY_SNMP;
    EXPECT_EQ(3u, access3);
}

}  // namespace
