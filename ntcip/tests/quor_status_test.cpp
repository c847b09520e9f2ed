// The private peripheral, power, status and diagnostic objects through
// request processing: the three steps of editing the peripheral table, the
// low-power table, the climate request, the status group and the display
// modules' diagnostic tables.
#include "ntcip/tests/private_fixture.h"

namespace {

using priv::Quor;

oid_t Peripheral(uint32_t column, uint32_t slot)
{
    return Quor("2.15.3.1." + std::to_string(column) + "." + std::to_string(slot));
}
enum : uint32_t { kIndex = 1, kID, kParameters, kStatus, kAuxIO };

class QuorStatusTest : public PrivateMibTest {};

TEST_F(QuorStatusTest, ThePeripheralTableChangesOnlyWhileItIsOpen)
{
    EXPECT_EQ(2u, GetInt(Quor("2.15.1.0")));
    EXPECT_EQ(255u, GetInt(Quor("2.15.2.0")));
    EXPECT_EQ(0u, GetInt(Quor("2.15.4.0")));

    // Closed: no column takes a value.
    const vb closed[] = {vb_int(Peripheral(kID, 5), 40), vb_str(Peripheral(kParameters, 5), "0x1"),
                         vb_int(Peripheral(kStatus, 5), 1), vb_str(Peripheral(kAuxIO, 5), "0x5")};
    for (const vb& v : closed)
        EXPECT_EQ(2u, Set(v, "config").error_status) << dotted(v.name);
    EXPECT_EQ(0u, Nv(nv::quorPeripheralID(4)));
    EXPECT_EQ("", Text(nv::quorPeripheralParameters(4), true));
    EXPECT_EQ(0u, V(vol::peripheralLoadStatus(4)));

    // Open it: the peripheral task hears of it through the database flag.
    Flags();
    EXPECT_EQ(0u, Set(vb_int(Quor("2.15.1.0"), 1), "config").error_status);
    EXPECT_EQ(0x1000000u, Flags() & 0x1000000u);
    for (const vb& v : closed)
        EXPECT_EQ(0u, Set(v, "config").error_status) << dotted(v.name);
    EXPECT_EQ(40u, Nv(nv::quorPeripheralID(4)));
    EXPECT_EQ("0x1", Text(nv::quorPeripheralParameters(4), true));
    EXPECT_EQ("0x5", Text(nv::quorPeripheralAuxIOTableIndex(4), true));
    EXPECT_EQ(1u, V(vol::peripheralLoadStatus(4)));
    EXPECT_EQ(40u, GetInt(Peripheral(kID, 5)));
    EXPECT_EQ(5u, GetInt(Peripheral(kIndex, 5)));

    // A freed slot keeps no parameters.
    EXPECT_EQ(0u, Set(vb_int(Peripheral(kID, 5), 0), "config").error_status);
    EXPECT_EQ("", Text(nv::quorPeripheralParameters(4), true));
    EXPECT_EQ(3u, Set(vb_str(Peripheral(kParameters, 5), std::string(81, 'p')), "config").error_status);
    EXPECT_EQ(2u, Set(vb_int(Peripheral(kID, 5), 40), "viewer").error_status);
    EXPECT_EQ(2u, Get(Peripheral(kID, 256)).error_status);
    EXPECT_EQ(2u, Get(Peripheral(kID, 0)).error_status);
    EXPECT_EQ(255u, GetInt(Peripheral(kIndex, 255)));

    // Closed again: a SET whose earlier varbind was written keeps it.
    EXPECT_EQ(0u, Set(vb_int(Quor("2.15.1.0"), 2), "config").error_status);
    response r = manager_.Set({vb_int(Quor("2.30.2.0"), 120), vb_int(Peripheral(kID, 6), 41)});
    EXPECT_EQ(2u, r.error_status);
    EXPECT_EQ(2u, r.error_index);
    EXPECT_EQ(120u, Nv(nv::quorLowPowerDuration));
    EXPECT_EQ(0u, Nv(nv::quorPeripheralID(5)));
}

TEST_F(QuorStatusTest, LowPowerSettings)
{
    EXPECT_EQ(2u, GetInt(Quor("2.30.1.0")));
    EXPECT_EQ(65535u, GetInt(Quor("2.30.2.0")));
    EXPECT_EQ(1u, GetInt(Quor("2.30.4.0")));
    const uint32_t pixels[] = {50, 100, 0, 0, 0}, brightness[] = {100, 50, 0, 0, 0};
    for (uint32_t i = 1; i <= 5; ++i) {
        EXPECT_EQ(pixels[i - 1], GetInt(Quor("2.30.3.1.2." + std::to_string(i)))) << i;
        EXPECT_EQ(brightness[i - 1], GetInt(Quor("2.30.3.1.3." + std::to_string(i)))) << i;
    }
    // The index is writable but stores nothing.
    response r = Set(vb_int(Quor("2.30.3.1.1.3"), 4));
    EXPECT_EQ(0u, r.error_status);
    ASSERT_EQ(1u, r.varbinds.size());
    EXPECT_EQ(3u, r.varbinds[0].integer);
    EXPECT_EQ(3u, Set(vb_int(Quor("2.30.3.1.1.3"), 9)).error_status);
    EXPECT_EQ(2u, Get(Quor("2.30.3.1.2.6")).error_status);

    EXPECT_EQ(0u, Set(vb_int(Quor("2.30.3.1.2.1"), 60)).error_status);
    EXPECT_EQ(60u, Nv(nv::quorPixelDimPercent(0)));
    EXPECT_EQ(3u, Set(vb_int(Quor("2.30.3.1.3.2"), 101)).error_status);
    EXPECT_EQ(50u, Nv(nv::quorPixelDimBrightness(1)));
    EXPECT_EQ(3u, Set(vb_int(Quor("2.30.1.0"), 6)).error_status);
    EXPECT_EQ(0u, Set(vb_int(Quor("2.30.2.0"), 240)).error_status);
    EXPECT_EQ(240u, Nv(nv::quorLowPowerDuration));
    EXPECT_EQ(2u, Set(vb_int(Quor("2.30.4.0"), 2)).error_status);
}

TEST_F(QuorStatusTest, ClimateRequestAndTheStatusGroup)
{
    EXPECT_EQ(2u, GetInt(Quor("2.20.0")));
    EXPECT_EQ(3u, Set(vb_int(Quor("2.20.0"), 3)).error_status);
    EXPECT_EQ(2u, Set(vb_int(Quor("2.20.0"), 1), "config").error_status);
    EXPECT_EQ(0u, Set(vb_int(Quor("2.20.0"), 1)).error_status);
    EXPECT_EQ(1u, V(vol::maintenanceHeaterRequest));

    SetV(vol::quorFailedPixelsDisplay, 12);
    SetV(vol::quorFailedPixelsTest, 34);
    SetV(vol::humiditySignAverage, 45);
    SetV(vol::quorAmbientHumidity, 60);
    SetV(vol::quorCabinetHumidity, 20);
    SetV(vol::quorRequestedBrightness, 200);
    SetV(vol::quorBrightnessLimitReason, 3);
    struct {
        const char* oid;
        uint32_t value;
    } reads[] = {{"5.3.0", 12}, {"5.4.0", 34}, {"5.7.0", 45},   {"5.8.0", 60},
                 {"5.9.0", 20}, {"5.11.0", 1}, {"5.12.0", 200}, {"5.13.0", 3}};
    for (const auto& c : reads)
        EXPECT_EQ(c.value, GetInt(Quor(c.oid))) << c.oid;
    for (const char* oid : {"5.3.0", "5.7.0", "5.11.0", "5.13.0"})
        EXPECT_EQ(2u, Set(vb_int(Quor(oid), 1)).error_status) << oid;

    EXPECT_EQ(0u, Set(vb_int(Quor("5.5.0"), 2468)).error_status);
    EXPECT_EQ(2468u, Nv(nv::quorLCDPassword));

    std::vector<oid_t> words = Walk(Quor("5.10"), Quor("5.10"));
    ASSERT_EQ(8u, words.size());
    for (uint32_t j = 1; j <= 4; ++j) {
        EXPECT_EQ(j, GetInt(Quor("5.10.1.1." + std::to_string(j))));
        EXPECT_EQ(0u, GetInt(Quor("5.10.1.2." + std::to_string(j))));
    }
    EXPECT_EQ(2u, Get(Quor("5.10.1.2.5")).error_status);
}

TEST_F(QuorStatusTest, DiagnosticTables)
{
    // Face 1 with two tables in slots 1 and 2, as the registrar leaves them.
    SetV(vol::quorDiagTableCount, 2);
    SetV(vol::quorDiagFaceCount, 1);
    SetText(vol::quorDiagTableTitle(0), false, "Pixel Test Errors");
    SetV(vol::quorDiagTableHeight(0), 7);
    SetV(vol::quorDiagTableWidth(0), 300);
    SetV(vol::quorDiagTableKind(1), 4);
    SetText(vol::quorDiagTableTiming(1), false, "300,7");
    SetText(vol::quorDiagTableLine(1, 61), false, "row 62");
    SetV(vol::quorDiagFaceFirstTable(0), 1);
    SetV(vol::quorDiagFaceLastTable(0), 2);

    EXPECT_EQ(2u, GetInt(Quor("11.1.0")));
    EXPECT_EQ(1u, GetInt(Quor("11.5.0")));
    EXPECT_EQ("Pixel Test Errors", GetText(Quor("11.2.1.2.1")));
    EXPECT_EQ(7u, GetInt(Quor("11.2.1.3.1")));
    EXPECT_EQ(300u, GetInt(Quor("11.2.1.4.1")));
    EXPECT_EQ(1u, GetInt(Quor("11.2.1.5.1")));
    EXPECT_EQ(4u, GetInt(Quor("11.2.1.6.2")));
    EXPECT_EQ(1u, GetInt(Quor("11.2.1.7.26")));
    EXPECT_EQ("300,7", GetText(Quor("11.2.1.8.2")));
    EXPECT_EQ(2u, Get(Quor("11.2.1.2.27")).error_status);
    EXPECT_EQ(1u, GetInt(Quor("11.6.1.2.1")));
    EXPECT_EQ(2u, GetInt(Quor("11.6.1.3.1")));
    EXPECT_EQ(2u, Get(Quor("11.6.1.2.3")).error_status);

    // Lines: 1024 zero bytes until a table is stored.
    EXPECT_EQ(std::string(1024, '\0'), GetText(Quor("11.3.1.3.1.1")));
    EXPECT_EQ("row 62", GetText(Quor("11.3.1.3.2.62")));
    EXPECT_EQ(63u, GetInt(Quor("11.3.1.2.26.63")));
    struct {
        const char* oid;
    } outside[] = {{"11.3.1.3.27.1"}, {"11.3.1.3.1.64"}, {"11.3.1.3.0.1"}, {"11.3.1.3.1.0"}, {"11.3.1.3.1"}};
    for (const auto& c : outside)
        EXPECT_EQ(2u, Get(Quor(c.oid)).error_status) << c.oid;
    // A walk carries from a table's last line into the next table.
    response r = Next(Quor("11.3.1.1.1.63"));
    ASSERT_TRUE(r.ok && r.varbinds.size() == 1);
    EXPECT_EQ(dotted(Quor("11.3.1.1.2.1")), dotted(r.varbinds[0].name));
    r = Next(Quor("11.3.1.3.26.63"));
    ASSERT_TRUE(r.ok && r.varbinds.size() == 1);
    EXPECT_EQ(dotted(Quor("11.4.0")), dotted(r.varbinds[0].name));

    EXPECT_EQ(1024u, GetInt(Quor("11.4.0")));
    EXPECT_EQ(3u, Set(vb_int(Quor("11.4.0"), 0)).error_status);
    EXPECT_EQ(3u, Set(vb_int(Quor("11.4.0"), 1501)).error_status);
    EXPECT_EQ(0u, Set(vb_int(Quor("11.4.0"), 1500)).error_status);
    EXPECT_EQ(1500u, Nv(nv::quorDiagLineSize));
    EXPECT_EQ(2u, Set(vb_int(Quor("11.1.0"), 3)).error_status);

    // The walk of the group table ends the subtree.
    std::vector<oid_t> groups = Walk(Quor("11.6"), Quor("11.6"));
    ASSERT_EQ(6u, groups.size());
}

}  // namespace
