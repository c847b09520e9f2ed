// The NTCIP 1204 position objects as a central system sees them: the
// site's configured position from the start, read-only.
#include <gtest/gtest.h>

#include "comm/dhcp/ess_location.h"
#include "ntcip/tests/mib_group_fixture.h"

namespace {

using namespace mg;

const oid_t kLatitude = O("ENT.4.2.5.2.2.1.0");
const oid_t kLongitude = O("ENT.4.2.5.2.2.2.0");
const oid_t kBearing = O("ENT.4.2.5.2.2.4.0");

class EssLocationTest : public MibGroupTest {
 protected:
  // The program's whole registry, where the position group joins.
  void SetUp() override {
    MibGroupTest::SetUp();
    ASSERT_EQ(1, snmp_mib_init());
  }
  void Start(int32_t latitude, int32_t longitude) {
    SetNv(nv::quorDefaultLatitude, static_cast<uint32_t>(latitude));
    SetNv(nv::quorDefaultLongitude, static_cast<uint32_t>(longitude));
    rtos::cpu_scope s;
    ess_location_set_defaults();
  }
};

TEST_F(EssLocationTest, StartsFromTheConfiguredPosition) {
  // Factory values: no position.
  Start(90000001, 180000001);
  EXPECT_EQ(90000001u, Integer(kLatitude));
  EXPECT_EQ(180000001u, Integer(kLongitude));
  EXPECT_EQ(0u, Integer(kBearing));

  Start(27950000, -82460000);
  EXPECT_EQ(27950000u, Integer(kLatitude));
  EXPECT_EQ(static_cast<uint32_t>(-82460000), Integer(kLongitude));
}

TEST_F(EssLocationTest, SetsAreRefusedAsReadOnly) {
  Start(27950000, -82460000);
  for (const oid_t& name : {kLatitude, kLongitude, kBearing}) {
    const reply r = Set({Int(name, 5)});
    EXPECT_EQ(2u, r.status);
  }
  EXPECT_EQ(27950000u, Integer(kLatitude));
  EXPECT_EQ(0u, Integer(kBearing));
  // Only the exact instances answer.
  EXPECT_NE(0u, Get({O("ENT.4.2.5.2.2.1.1")}).status);
}

}  // namespace
