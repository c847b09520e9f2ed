// The private communication objects through request processing: the
// station address's ranges, the port table and where its speed column
// lives, the notices that make the communication task reload the ports,
// the network settings, the file-transfer objects with their step, the
// real-time data text and the modem's caller objects.
#include <algorithm>

#include "ntcip/mib/quor_private.h"
#include "ntcip/tests/private_fixture.h"

namespace {

using priv::Quor;

oid_t Port(uint32_t column, uint32_t port)
{
    return Quor("2.17.2.1." + std::to_string(column) + "." + std::to_string(port));
}
enum : uint32_t { kIndex = 1, kFlowControl, kProtocol, kTraps, kInnerCharTimeout, kSpeed, kKind };

// What the file transfer's step saw.
struct step_log {
    uint32_t calls = 0;
    uint32_t state_seen = 0;
};
step_log& slog()
{
    static step_log log;
    return log;
}

class QuorCommTest : public PrivateMibTest {
protected:
    void SetUp() override
    {
        PrivateMibTest::SetUp();
        slog() = step_log{};
        snmp_set_file_transfer_step([] {
            ++slog().calls;
            CDataBase* db = g_pDataBase;
            slog().state_seen = db->GetValue(vol::quorFileTransferState.offset, 1, db->mib_v, 0);
            // The step moves the state on; the response still carries the
            // state as written.
            db->SetValue(vol::quorFileTransferState.offset, 1, 9, db->mib_v, DB_NOTIFY);
        });
    }
    void TearDown() override
    {
        snmp_set_file_transfer_step(nullptr);
        PrivateMibTest::TearDown();
    }
};

TEST_F(QuorCommTest, StationAddressRangesAndTheirNotice)
{
    struct {
        uint32_t value;
        uint32_t status;
    } cases[] = {{0, 3}, {1, 0}, {62, 0}, {63, 3}, {64, 0}, {8192, 0}, {8193, 3}};
    uint32_t stored = Nv(nv::quorhdlcAddress);
    for (const auto& c : cases) {
        Flags();
        response r = Set(vb_int(Quor("2.11.0"), c.value), "config");
        EXPECT_EQ(c.status, r.error_status) << c.value;
        EXPECT_EQ(c.status == 0 ? c.value : stored, Nv(nv::quorhdlcAddress)) << c.value;
        // A change raises the endpoints' flag.
        EXPECT_EQ(Nv(nv::quorhdlcAddress) != stored ? 0x20000000u : 0u, Flags() & 0x20000000u) << c.value;
        stored = Nv(nv::quorhdlcAddress);
    }
    EXPECT_EQ(8192u, GetInt(Quor("2.11.0")));
    EXPECT_EQ(2u, Set(vb_int(Quor("2.11.0"), 5), "transfer").error_status);
}

TEST_F(QuorCommTest, ThePortTableMapsItsSpeedColumn)
{
    SetNv(nv::rs232PortInSpeed(2), 9600);
    SetNv(nv::ifSpeed, 10000000);
    EXPECT_EQ(5u, GetInt(Quor("2.17.1.0")));
    EXPECT_EQ(9600u, GetInt(Port(kSpeed, 3)));
    EXPECT_EQ(10000000u, GetInt(Port(kSpeed, 5)));
    const uint32_t kinds[] = {2, 2, 3, 2, 4};
    const uint32_t protocols[] = {2, 2, 2, 2, 11};
    for (uint32_t p = 1; p <= 5; ++p) {
        EXPECT_EQ(p, GetInt(Port(kIndex, p)));
        EXPECT_EQ(kinds[p - 1], GetInt(Port(kKind, p))) << p;
        EXPECT_EQ(protocols[p - 1], GetInt(Port(kProtocol, p))) << p;
    }
    EXPECT_EQ(2u, Get(Port(kSpeed, 6)).error_status);
    EXPECT_EQ(2u, Get(Port(kSpeed, 0)).error_status);
    EXPECT_EQ(2u, Get(Port(8, 1)).error_status);

    Letters();
    EXPECT_EQ(0u, Set(vb_int(Port(kSpeed, 5), 100000000), "config").error_status);
    EXPECT_EQ(100000000u, Nv(nv::ifSpeed));
    EXPECT_EQ(0u, Set(vb_int(Port(kSpeed, 3), 19200), "config").error_status);
    EXPECT_EQ(19200u, Nv(nv::rs232PortInSpeed(2)));
    EXPECT_EQ(0u, Set(vb_int(Port(kInnerCharTimeout, 1), 20), "config").error_status);
    EXPECT_EQ(20u, Nv(nv::quorCommConfigInnerCharTimeout(0)));
    std::vector<uint32_t> letters = Letters();
    EXPECT_EQ(2, std::count(letters.begin(), letters.end(), uint32_t(MSG_PORT_SETTINGS_CHANGED)));

    // The flow control keeps one byte.
    EXPECT_EQ(0u, Set(vb_int(Port(kFlowControl, 2), 0x104), "config").error_status);
    EXPECT_EQ(4u, Nv(nv::quorCommConfigFlowControl(1)));
    EXPECT_EQ(0u, Set(vb_int(Port(kTraps, 4), 1), "config").error_status);
    EXPECT_EQ(1u, Nv(nv::quorCommConfigTraps(3)));
    EXPECT_EQ(2u, Set(vb_int(Port(kKind, 1), 3), "config").error_status);
    EXPECT_EQ(2u, Set(vb_int(Port(kProtocol, 1), 3), "viewer").error_status);

    // A protocol waits for the ports' reload, which the apply request asks for.
    EXPECT_EQ(0u, Set(vb_int(Port(kProtocol, 5), 9), "config").error_status);
    EXPECT_EQ(9u, Nv(nv::quorCommConfigProtocol(4)));
    EXPECT_TRUE(Letters().empty());
    EXPECT_EQ(3u, Set(vb_int(Quor("2.17.6.0"), 5)).error_status);
    EXPECT_EQ(3u, Set(vb_int(Quor("2.17.6.0"), 0)).error_status);
    EXPECT_EQ(0u, Set(vb_int(Quor("2.17.6.0"), 3)).error_status);
    letters = Letters();
    EXPECT_EQ(1, std::count(letters.begin(), letters.end(), uint32_t(MSG_CHG_NV95229)));

    std::vector<oid_t> names = Walk(Quor("2.17.2"), Quor("2.17.2"));
    ASSERT_EQ(35u, names.size());
    EXPECT_EQ(dotted(Port(kKind, 5)), dotted(names.back()));
}

TEST_F(QuorCommTest, NetworkSettings)
{
    // 10.1.2.3 as an IpAddress.
    vb address{Quor("2.21.1.0"), SNMP_IPADDRESS, 0x0302010A, {}};
    EXPECT_EQ(0u, Set(address, "config").error_status);
    EXPECT_EQ(0x0A010203u, Nv(nv::quorRemoteIPAddress));
    EXPECT_EQ(0x80000u, Flags() & 0x80000u);
    response r = Get(Quor("2.21.1.0"));
    ASSERT_TRUE(r.ok && r.varbinds.size() == 1);
    EXPECT_EQ(SNMP_IPADDRESS, r.varbinds[0].syntax);
    EXPECT_EQ(std::string("\x0A\x01\x02\x03", 4), r.varbinds[0].text);
    EXPECT_EQ(3u, Set(vb_int(Quor("2.21.1.0"), 5), "config").error_status);

    struct {
        const char* what;
        vb value;
        uint32_t status;
    } cases[] = {
        {"trap port 0", vb_int(Quor("2.21.2.0"), 0), 3},
        {"trap port", vb_int(Quor("2.21.2.0"), 1162), 0},
        {"SNMP port", vb_int(Quor("2.21.3.0"), 1161), 0},
        {"DHCP", vb_int(Quor("2.21.4.0"), 2), 0},
        {"mode 3", vb_int(Quor("2.21.4.0"), 3), 3},
        {"HTTP port", vb_int(Quor("2.21.5.0"), 8080), 0},
        {"NTP server", vb_int(Quor("2.21.6.0"), 0xC0A80001), 0},
        {"50-byte text", vb_str(Quor("2.21.7.0"), std::string(50, 't')), 0},
        {"51-byte text", vb_str(Quor("2.21.7.0"), std::string(51, 'u')), 3},
        {"NTP poll 0", vb_int(Quor("2.21.8.0"), 0), 3},
        {"feature set is read-only", vb_int(Quor("2.26.0"), 0), 2},
        {"generic traps", vb_int(Quor("2.16.1.0"), 65), 0},
        {"enterprise traps of 9 bytes", vb_str(Quor("2.16.2.0"), std::string(9, '\xFF')), 3},
        {"enterprise traps", vb_str(Quor("2.16.2.0"), std::string("\x01\x02", 2)), 0},
        {"callback number of 26", vb_str(Quor("3.1.0"), std::string(26, '5')), 3},
        {"callback number", vb_str(Quor("3.1.0"), "5550100"), 0},
        {"callback time 4", vb_int(Quor("3.2.0"), 4), 3},
        {"callback time 5", vb_int(Quor("3.2.0"), 5), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, Set(c.value, "config").error_status) << c.what;
    EXPECT_EQ(1162u, Nv(nv::quorRemoteIPPort));
    EXPECT_EQ(1161u, Nv(nv::quorHostIPPort));
    EXPECT_EQ(2u, Nv(nv::quorEthernetMode));
    EXPECT_EQ(8080u, Nv(nv::quorHostHttpPort));
    EXPECT_EQ(0xC0A80001u, Nv(nv::quorNTPIPAddress));
    EXPECT_EQ(std::string(50, 't'), Text(nv::quorNetworkText, true));
    EXPECT_EQ(60u, Nv(nv::quorNTPPollTime));
    EXPECT_EQ(20u, GetInt(Quor("2.26.0")));
    EXPECT_EQ(65u, Nv(nv::quorTrapsGeneric));
    EXPECT_EQ(std::string("\x01\x02", 2), Text(nv::quorTrapsEnterpriseSpecific, true));
    EXPECT_EQ("5550100", GetText(Quor("3.1.0")));
    EXPECT_EQ(5u, GetInt(Quor("3.3.0")));
}

TEST_F(QuorCommTest, FileTransferObjectsRunTheTransfersStep)
{
    response r = Set(vb_int(Quor("4.1.0"), 3), "transfer");
    EXPECT_EQ(0u, r.error_status);
    ASSERT_EQ(1u, r.varbinds.size());
    EXPECT_EQ(3u, r.varbinds[0].integer);
    EXPECT_EQ(1u, slog().calls);
    EXPECT_EQ(3u, slog().state_seen);
    EXPECT_EQ(9u, V(vol::quorFileTransferState));
    EXPECT_EQ(0x8000000u, Flags() & 0x8000000u);

    // A get runs nothing; the other objects only store.
    EXPECT_EQ(9u, GetInt(Quor("4.1.0")));
    EXPECT_EQ(0u, Set(vb_int(Quor("4.2.0"), 1024), "transfer").error_status);
    EXPECT_EQ(0u, Set(vb_int(Quor("4.3.0"), 70000), "transfer").error_status);
    EXPECT_EQ(0u, Set(vb_int(Quor("4.4.0"), 7), "transfer").error_status);
    EXPECT_EQ(0u, Set(vb_str(Quor("4.5.0"), "CONFIG.XML"), "transfer").error_status);
    EXPECT_EQ(0u, Set(vb_int(Quor("4.6.0"), 0xBEEF), "transfer").error_status);
    EXPECT_EQ(1u, slog().calls);
    EXPECT_EQ(1024u, V(vol::quorFileTransferBlockSize));
    EXPECT_EQ(70000u, V(vol::quorFileTransferFileSize));
    EXPECT_EQ(7u, V(vol::quorFileTransferBlockNumber));
    EXPECT_EQ("CONFIG.XML", Text(vol::fileTransferName, false));
    EXPECT_EQ(0xBEEFu, V(vol::fileTransferNameCrc));

    struct {
        const char* what;
        vb value;
        const char* community;
        uint32_t status;
    } refused[] = {
        {"state 15", vb_int(Quor("4.1.0"), 15), "transfer", 3},
        {"block of 1025", vb_int(Quor("4.2.0"), 1025), "transfer", 3},
        {"data of 1025 bytes", vb_str(Quor("4.5.0"), std::string(1025, 'd')), "transfer", 3},
        {"without the mask", vb_int(Quor("4.1.0"), 2), "viewer", 2},
    };
    for (const auto& c : refused)
        EXPECT_EQ(c.status, Set(c.value, c.community).error_status) << c.what;
    EXPECT_EQ(1u, slog().calls);
    EXPECT_EQ("CONFIG.XML", Text(vol::fileTransferName, false));

    // Without a transfer installed the state is only stored.
    snmp_set_file_transfer_step(nullptr);
    EXPECT_EQ(0u, Set(vb_int(Quor("4.1.0"), 4), "transfer").error_status);
    EXPECT_EQ(4u, V(vol::quorFileTransferState));
}

TEST_F(QuorCommTest, RealTimeDataAndTheLastCaller)
{
    EXPECT_EQ(1000u, GetInt(Quor("6.1.0")));
    EXPECT_EQ("", GetText(Quor("6.2.0")));
    EXPECT_EQ(0u, Set(vb_str(Quor("6.2.0"), "SPEED 45")).error_status);
    EXPECT_EQ("SPEED 45", Text(vol::quorRealTimeData, false));
    // A long text is kept whole.
    EXPECT_EQ(0u, Set(vb_str(Quor("6.2.0"), std::string(2100, 'r'))).error_status);
    EXPECT_EQ(std::string(2100, 'r'), Text(vol::quorRealTimeData, false));
    EXPECT_EQ(2u, Set(vb_int(Quor("6.1.0"), 5)).error_status);

    SetText(nv::quorCallerIDNumber, true, "5551234");
    SetNv(nv::quorCallerIDTime, 1700000000);
    SetText(nv::quorCallerIDName, true, "UNKNOWN");
    EXPECT_EQ("5551234", GetText(Quor("9.1.0")));
    response r = Get(Quor("9.2.0"));
    ASSERT_TRUE(r.ok && r.varbinds.size() == 1);
    EXPECT_EQ(SNMP_COUNTER, r.varbinds[0].syntax);
    EXPECT_EQ(1700000000u, r.varbinds[0].integer);
    EXPECT_EQ("UNKNOWN", GetText(Quor("9.3.0")));
    EXPECT_EQ(2u, Set(vb_str(Quor("9.1.0"), "0")).error_status);
    EXPECT_EQ(2u, Set(vb_str(Quor("9.3.0"), "x")).error_status);
}

}  // namespace
