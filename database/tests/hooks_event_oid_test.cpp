// The event-configuration OIDs must name objects the agent serves; the log
// OID may not name the security or CHAP objects. A refusal marks the row's
// status as error until the refused column is written again with a good OID.
#include "database/tests/hooks_fixture.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/mib/mib_stub.h"

namespace {

#define ENT 1, 3, 6, 1, 4, 1, 1206
constexpr uint32_t kSysDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
constexpr uint32_t kSecurity[] = {ENT, 4, 2, 6, 5, 1, 0};
constexpr uint32_t kAfterSecurity[] = {ENT, 4, 2, 6, 6, 1, 0};
constexpr uint32_t kChap[] = {ENT, 4, 1, 1, 1, 1, 0};
constexpr uint32_t kAuxColumn[] = {ENT, 4, 2, 6, 7, 3, 1, 5, 255};

const mib_variable kClsB[] = {mib_row(kSysDescr, MIB_OCTET_STRING, 0, MIB_READ_ONLY, var_stub_scalar)};
const mib_variable kGlobal[] = {
    mib_row(kSecurity, MIB_OCTET_STRING, 1, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kAfterSecurity, MIB_INTEGER, 2, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kAuxColumn, MIB_INTEGER, 3, MIB_READ_WRITE, var_stub_column, 1),
};
const mib_variable kProtocol[] = {mib_row(kChap, MIB_OCTET_STRING, 4, MIB_READ_WRITE, var_stub_scalar)};
const mib_group kGroups[] = {{"cls b", kClsB, 1}, {"global", kGlobal, 3}, {"protocol", kProtocol, 1}};
const mib_group* const kGroupList[] = {&kGroups[0], &kGroups[1], &kGroups[2]};

constexpr uint32_t kCompareOID = 52100, kLogOID = 52340, kStatus = 52640;
enum : uint32_t { DISABLED = 2, ENABLED = 3, ERROR_STATUS = 4 };

}  // namespace

class EventOidTest : public HookTest {
 protected:
  void SetUp() override {
    HookTest::SetUp();
    mib_stub_reset();
    g_mib_stub[3].highest[0] = 5;
    ASSERT_EQ(snmp_mib_build(kGroupList, 3), 1);
  }
  void TearDown() override {
    snmp_mib_build(nullptr, 0);
    HookTest::TearDown();
  }
};

TEST_F(EventOidTest, OidsAreLookedUpInTheRegistry) {
  struct row {
    const char* what;
    std::string oid;
    uint32_t compare, log;  // results in the two columns
  } rows[] = {
      {"0.0, no object", OidBytes({0, 0}), DB_OK, DB_OK},
      {"two sub-identifiers are not looked up", OidBytes({9, 9}), DB_OK, DB_OK},
      {"empty", "", DB_OK, DB_OK},
      {"a served scalar", OidBytes({1, 3, 6, 1, 2, 1, 1, 1, 0}), DB_OK, DB_OK},
      {"an object not served", OidBytes({1, 3, 6, 1, 2, 1, 1, 99, 0}), DB_BAD_VALUE, DB_BAD_VALUE},
      {"the scalar without its instance", OidBytes({1, 3, 6, 1, 2, 1, 1, 1}), DB_BAD_VALUE, DB_BAD_VALUE},
      {"a column instance", OidBytes({ENT, 4, 2, 6, 7, 3, 1, 5, 3}), DB_OK, DB_OK},
      {"a column instance beyond the table", OidBytes({ENT, 4, 2, 6, 7, 3, 1, 5, 6}), DB_BAD_VALUE, DB_BAD_VALUE},
      {"the security node", OidBytes({ENT, 4, 2, 6, 5, 1, 0}), DB_OK, DB_BAD_VALUE},
      {"the CHAP node", OidBytes({ENT, 4, 1, 1, 1, 1, 0}), DB_OK, DB_BAD_VALUE},
      {"beside the security node", OidBytes({ENT, 4, 2, 6, 6, 1, 0}), DB_OK, DB_OK},
      {"a part of a sub-identifier", OidBytes({1, 3, 6, 1, 2, 1, 1, 1, 0}) + "\x01", DB_BAD_VALUE, DB_BAD_VALUE},
      {"longer than any name", OidBytes({1, 3, 6, 1, 2, 1, 1, 1, 0}) + std::string(4 * 40, '\0'), DB_BAD_VALUE,
       DB_BAD_VALUE},
  };
  for (const row& r : rows) {
    db_->m_dwOidErrors = 0;
    EXPECT_EQ(WriteString(nv(), kCompareOID + 4 * 7, r.oid), r.compare) << r.what;
    EXPECT_EQ(Get(nv(), kStatus + 7), r.compare == DB_OK ? DISABLED : ERROR_STATUS) << r.what;
    db_->m_dwOidErrors = 0;
    EXPECT_EQ(WriteString(nv(), kLogOID + 4 * 59, r.oid), r.log) << r.what;
    EXPECT_EQ(Get(nv(), kStatus + 59), r.log == DB_OK ? DISABLED : ERROR_STATUS) << r.what;
  }
}

TEST_F(EventOidTest, StatusStaysInErrorUntilBothColumnsAreGood) {
  const std::string good = OidBytes({1, 3, 6, 1, 2, 1, 1, 1, 0});
  const std::string bad = OidBytes({1, 3, 6, 1, 2, 1, 1, 99, 0});
  Put(nv(), kStatus, 1, ENABLED);
  EXPECT_EQ(WriteString(nv(), kCompareOID, good), DB_OK);
  EXPECT_EQ(Get(nv(), kStatus), ENABLED);  // an enabled row stays enabled
  EXPECT_EQ(WriteString(nv(), kCompareOID, bad), DB_BAD_VALUE);
  EXPECT_EQ(db_->m_dwOidErrors, 0x10u);
  EXPECT_EQ(Get(nv(), kStatus), ERROR_STATUS);
  EXPECT_EQ(WriteString(nv(), kLogOID, bad), DB_BAD_VALUE);
  EXPECT_EQ(db_->m_dwOidErrors, 0x30u);
  EXPECT_EQ(WriteString(nv(), kLogOID, good), DB_OK);
  EXPECT_EQ(db_->m_dwOidErrors, 0x10u);
  EXPECT_EQ(Get(nv(), kStatus), ERROR_STATUS);  // the compare OID is still refused
  EXPECT_EQ(WriteString(nv(), kCompareOID, good), DB_OK);
  EXPECT_EQ(db_->m_dwOidErrors, 0u);
  EXPECT_EQ(Get(nv(), kStatus), DISABLED);  // out of error, not enabled
}
