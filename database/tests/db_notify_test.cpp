// Change notification: letters and event-flag bits of notified writes.
#include "database/objects.h"
#include "db_fixture.h"

namespace {

using ids = std::vector<uint32_t>;

TEST_F(DatabaseTest, NotifiedWritesPublishTheirLetterAndFlag) {
  struct Row {
    const char* what;
    uint8_t* (*area)(CDataBase&);
    uint32_t offset, width, value;
    uint32_t flags;
    ids letters;
    uint32_t mask;
  };
  auto nvm = [](CDataBase& d) { return d.mib_nv; };
  auto vm = [](CDataBase& d) { return d.mib_v; };
  // Notices only: the write hooks have their own tests.
  db_->SetHooksEnabled(false);
  const Row rows[] = {
      {"no notify flag", nvm, 95052, 4, 7, 0, {}, 0},
      {"special features changed", nvm, 95052, 4, 8, DB_NOTIFY,
       {MSG_SPECIAL_FEATURES_CHANGED, MSG_CONFIG_OBJECT_CHANGED}, 1u << 20},
      {"special features same", nvm, 95052, 4, 8, DB_NOTIFY, {}, 0},
      {"clear time of class 3", nvm, 93528, 4, 100, DB_NOTIFY, {MSG_EVENT_CLASS_CLEAR_TIME + 3}, 0},
      {"clear time rewritten", nvm, 93528, 4, 100, DB_NOTIFY, {MSG_EVENT_CLASS_CLEAR_TIME + 3}, 0},
      {"inner char timeout of port 2", nvm, 95196, 2, 50, DB_NOTIFY,
       {MSG_PORT_SETTINGS_CHANGED, MSG_CONFIG_OBJECT_CHANGED}, 0},
      {"time zone changed", nvm, 48192, 4, 3600, DB_NOTIFY, {MSG_TIME_ZONE_CHANGED, MSG_CONFIG_OBJECT_CHANGED}, 0},
      {"time zone same", nvm, 48192, 4, 3600, DB_NOTIFY, {MSG_TIME_ZONE_CHANGED}, 0},
      {"sign type changed", nvm, 57, 1, 6, DB_NOTIFY, {MSG_SIGN_TYPE_CHANGED, MSG_CONFIG_OBJECT_CHANGED}, 0},
      {"sign type same", nvm, 57, 1, 6, DB_NOTIFY, {}, 0},
      {"sign height in pixels", nvm, 62, 2, 27, DB_NOTIFY, {MSG_CONFIG_OBJECT_CHANGED}, 1u << 30},
      {"message status row", nvm, 33000, 1, 4, DB_NOTIFY, {}, 1u << 11},
      {"font status", nvm, 280, 1, 2, DB_NOTIFY, {MSG_FONT_STATUS_CHANGED}, 0},
      {"lamp test", vm, 243, 1, 1, DB_NOTIFY, {MSG_CHG_VOL243}, 0},
      {"control mode", vm, 144, 1, 4, DB_NOTIFY, {}, 1u << 12},
      {"volatile object outside the tables", vm, 300, 1, 9, DB_NOTIFY, {}, 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(db_->SetValue(r.offset, r.width, r.value, r.area(*db_), r.flags), DB_OK) << r.what;
    EXPECT_EQ(Letters(), r.letters) << r.what;
    EXPECT_EQ(Flags(), r.mask) << r.what;
  }
}

TEST_F(DatabaseTest, ActivationSlotWritePublishesEvenWhenUnchanged) {
  const uint8_t code[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(db_->SetString(vol::activationSlotCode(6).offset, 4, code, 12, db_->mib_v, DB_NOTIFY), DB_OK);
    EXPECT_EQ(Letters(), ids{MSG_ACTIVATION_WRITTEN});
  }
  db_->SetString(vol::dmsActivateMessage.offset, 4, code, 12, db_->mib_v, DB_NOTIFY);
  EXPECT_EQ(Flags(), 1u << 14);
}

TEST_F(DatabaseTest, GlobalTimeChangeRaisesItsFlag) {
  db_->SetTimeValue(48180, 4, 99, db_->mib_nv, DB_NOTIFY);
  EXPECT_EQ(Flags(), 1u);
  db_->SetTimeValue(48180, 4, 99, db_->mib_nv, DB_NOTIFY);
  EXPECT_EQ(Flags(), 0u);
}

TEST_F(DatabaseTest, NothingIsAnnouncedBeforeNoticesAreSwitchedOn) {
  db_->SetNotifyEnabled(false);
  db_->SetValue(95052, 4, 1, db_->mib_nv, DB_NOTIFY);
  db_->SetValue(144, 1, 2, db_->mib_v, DB_NOTIFY);
  EXPECT_TRUE(Letters().empty());
  EXPECT_EQ(Flags(), 0u);
}

}  // namespace
