// The defaults as a whole: what they leave of the string pool, and that the
// journal can replay every record they write.
#include "database/tests/defaults_fixture.h"
#include "display/font/font_loader.h"

namespace {

uint32_t Available(TX_BYTE_POOL* pool) {
  const char* name = nullptr;
  uint32_t total = 0, available = 0, fragments = 0;
  os_byte_pool_info(pool, &name, &total, &available, &fragments);
  return available;
}

class DefaultsPoolTest : public DefaultsTest {
 protected:
  void SetUp() override {
    with_buffers_ = true;
    DefaultsTest::SetUp();
  }
};

}  // namespace

// The diagnostic lines take about 1.7 MB of the 2 MB pool at every start;
// the fonts, the day plans, the communities and the rest must still leave
// room for the strings written while the controller runs.
TEST_F(DefaultsPoolTest, DefaultsWithTheBuiltInFontsLeaveHeadroomInThePool) {
  display_fonts_install();
  db_->LoadDefaults(0);
  g_builtin_font_loader = nullptr;
  EXPECT_EQ(db_->GetValue(172 + 7, 1, nv(), 0), 7u);  // the eighth default font is loaded
  db_->InitVolatileDefaults();
  uint32_t after_start = Available(&pool_);
  EXPECT_GT(after_start, 100u * 1024) << "free bytes of the 2 MB pool";
  // A second pass (the next start of a running database) allocates nothing new.
  db_->InitVolatileDefaults();
  EXPECT_GE(Available(&pool_), after_start);
}

TEST_F(DefaultsTest, EveryJournalledDefaultCanBeReplayed) {
  db_->LoadDefaults(0);
  ASSERT_GT(journal_.records.size(), 5000u);
  for (const auto& r : journal_.records) {
    bool string = r.width == 0;
    ASSERT_EQ(CDataBase::IsStringObject(r.offset), string) << "offset " << r.offset;
    ASSERT_LT(r.offset, MIB_NV_SIZE);
  }
}
