// statPower and statTemp over SNMP: the UPS's values, the low-fuel
// threshold, signed temperatures, and the option that hides the extremes
// of sensor groups without a live sensor.
#include <set>

#include "ntcip/tests/dms_status_fixture.h"

namespace {

using namespace status;

oid_t Power(uint32_t n) { return Dms("9.8." + Ix(n) + ".0"); }
oid_t Temp(uint32_t n) { return Dms("9.9." + Ix(n) + ".0"); }

// The live peripheral types of a test.
std::set<uint16_t> g_live;
bool live(uint16_t type_id) { return g_live.count(type_id) != 0; }

constexpr uint32_t kNoSuchNameOnSensors = 0x1000;

class DmsPowerTempTest : public DmsStatusTest {
protected:
    void SetUp() override
    {
        DmsStatusTest::SetUp();
        g_live.clear();
    }
};

TEST_F(DmsPowerTempTest, PowerValuesAndTheFuelThreshold)
{
    // The start values: mains power.
    EXPECT_EQ(4u, GetInt(Power(6)));
    EXPECT_EQ(120u, GetInt(Power(5)));
    // A UPS on battery.
    SetVol(vol::powerSource, 7);
    SetVol(vol::lineVolts, 0);
    SetVol(vol::signVolts, 1180);
    EXPECT_EQ(7u, GetInt(Power(6)));
    EXPECT_EQ(0u, GetInt(Power(5)));
    EXPECT_EQ(1180u, GetInt(Power(1)));
    EXPECT_EQ(0u, GetInt(Power(3)));
    EXPECT_EQ(0u, GetInt(Power(4)));

    response r = Set({vb_int(Power(2), 25)});
    ASSERT_EQ(0u, r.error_status);
    EXPECT_EQ(25u, r.varbinds[0].integer);
    EXPECT_EQ(25u, Vol(vol::lowFuelThreshold));
    // No write mask: any community that may set.
    EXPECT_EQ(0u, Set({vb_int(Power(2), 100)}, "viewer").error_status);

    struct {
        const char* what;
        vb value;
        uint32_t status;
    } refused[] = {
        {"threshold 101", vb_int(Power(2), 101), 3},
        {"threshold as text", vb_str(Power(2), "5"), 3},
        {"read-only voltage", vb_int(Power(1), 5), 2},
        {"read-only source", vb_int(Power(6), 4), 2},
    };
    for (const auto& c : refused)
        EXPECT_EQ(c.status, Set({c.value}).error_status) << c.what;
    EXPECT_EQ(100u, GetInt(Power(2)));
    EXPECT_EQ(7u, GetInt(Power(6)));
}

TEST_F(DmsPowerTempTest, TemperaturesAreSignedAndHiddenWithoutSensors)
{
    // With the option clear and nothing fitted, all six answer 0.
    for (uint32_t n = 1; n <= 6; ++n)
        EXPECT_EQ(0u, GetInt(Temp(n))) << n;
    SetVol(vol::tempMinCtrlCabinet, static_cast<uint8_t>(-5));
    SetVol(vol::tempMaxCtrlCabinet, 31);
    SetVol(vol::tempMinAmbient, static_cast<uint8_t>(-20));
    SetVol(vol::tempMaxSignHousing, 127);
    SetVolBytes(vol::tempWarningMap, std::string("\x04", 1));
    EXPECT_EQ(static_cast<uint32_t>(-5), GetInt(Temp(1)));
    EXPECT_EQ(31u, GetInt(Temp(2)));
    EXPECT_EQ(static_cast<uint32_t>(-20), GetInt(Temp(3)));
    EXPECT_EQ(127u, GetInt(Temp(6)));
    EXPECT_EQ(std::string("\x04", 1), GetText(Temp(7)));
    EXPECT_EQ("", GetText(Temp(8)));

    // The option: only groups with a live sensor answer.
    SetNv(nv::quorSpecialFeatureSet, kNoSuchNameOnSensors);
    for (uint32_t n = 1; n <= 6; ++n)
        EXPECT_EQ(2u, GetStatus(Temp(n))) << "no presence answer installed, " << n;
    snmp_set_peripheral_presence(live);
    g_live = {10};  // a controller sensor, no ambient one
    struct {
        const char* what;
        uint32_t node;
        uint32_t status;
    } cases[] = {
        {"cabinet min", 1, 0}, {"cabinet max", 2, 0}, {"ambient min", 3, 2},
        {"ambient max", 4, 2}, {"housing min", 5, 2}, {"housing max", 6, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, GetStatus(Temp(c.node))) << c.what;
    EXPECT_EQ(static_cast<uint32_t>(-5), GetInt(Temp(1)));
    // The maps answer whatever is fitted.
    EXPECT_EQ(std::string("\x04", 1), GetText(Temp(7)));
    // A walk passes over the hidden ones.
    EXPECT_EQ(dotted(Temp(7)), dotted(NextOf(Temp(2)).name));

    // Any type of a group makes it answer: a line sensor for the housing.
    g_live = {12, 163};
    EXPECT_EQ(2u, GetStatus(Temp(1)));
    EXPECT_EQ(static_cast<uint32_t>(-20), GetInt(Temp(3)));
    EXPECT_EQ(127u, GetInt(Temp(6)));
    EXPECT_EQ(dotted(Temp(3)), dotted(NextOf(Temp(0)).name));
}

}  // namespace
