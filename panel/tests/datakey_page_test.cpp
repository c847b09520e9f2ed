// The data-key page through the simulated unit, over a key and flash files
// in memory: the menus by what the key offers, a save run to its end, and
// a pulled key.
#include <string>
#include <vector>

#include "frame/datakey/datakey_memory.h"
#include "panel/pages/datakey_page.h"
#include "panel/tests/logged_in_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class DataKeyPageTest : public LoggedInPanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    flash.files["SIGN.EXE"] = std::vector<uint8_t>(5000, 0x11);
    flash.files["CONFIG.XML"] = std::vector<uint8_t>(300, 0x22);
    lcd_datakey_set_jobs(&jobs);
    Boot();
  }
  void TearDown() override {
    lcd_datakey_set_jobs(nullptr);
    PanelTest::TearDown();
  }
  // Saves the flash files to the key, then drops those the key should not offer.
  void SaveKeyWith(const std::vector<std::string>& drop) {
    key.present = true;
    InThread([&] { jobs.SaveToKey(); });
    ASSERT_EQ(jobs.GetState(), CDataKeyJobs::SUCCESS);
    key.present = false;
    jobs.SetState(CDataKeyJobs::NO_KEY);
    for (const std::string& name : drop) {
      // A record hidden by a broken header CRC.
      uint32_t at = name == "SIGN.EXE" ? 0 : uint32_t(key.bytes[24]) << 24 | key.bytes[25] << 16 |
                                                  key.bytes[26] << 8 | key.bytes[27];
      key.bytes[at + 40] ^= 1;
    }
  }

  CDataKeyInMemory key;
  CDataKeyFlashInMemory flash;
  CDataKeyJobs jobs{&key, &flash};
};

TEST_F(DataKeyPageTest, MenusFollowTheKey) {
  key.present = false;
  Open(198);
  EXPECT_EQ(Unit().line(4), Centred("INSERT DATAKEY"));
  key.present = true;
  Tick(2);
  EXPECT_EQ(Unit().line(3), Line("DATAKEY FIRMWARE: EMPTY"));
  EXPECT_EQ(Unit().line(5), Line("1) SAVE FIRMWARE/CONFIG TO DATAKEY"));
  EXPECT_EQ(Unit().line(6), kBlank);

  key.present = false;
  Tick(2);
  SaveKeyWith({});
  key.present = true;
  Tick(2);
  EXPECT_EQ(Unit().line(3), Line("DATAKEY FIRMWARE: 1.9.4588.42"));
  EXPECT_EQ(Unit().line(6), Line("2) UPDATE CONTROLLER FIRMWARE"));
  EXPECT_EQ(Unit().line(7), Line("3) UPDATE CONTROLLER CONFIG"));
  EXPECT_EQ(Unit().line(8), kBlank);

  // A later header broken: only that record is hidden.
  key.present = false;
  Tick(2);
  SaveKeyWith({"CONFIG.XML"});
  key.present = true;
  Tick(2);
  EXPECT_EQ(Unit().line(6), Line("2) UPDATE CONTROLLER FIRMWARE"));
  EXPECT_EQ(Unit().line(7), kBlank);
}

TEST_F(DataKeyPageTest, SaveRunsToItsEndAndAKeyReturnsToTheMenu) {
  Open(198);
  EXPECT_EQ(Unit().line(3), Line("DATAKEY FIRMWARE: EMPTY"));
  Key('1');
  EXPECT_EQ(Unit().line(4), Centred("SUCCESS (PRESS ANY KEY)"));
  EXPECT_TRUE(mgr_->CurrentMenu()->IsBusy());
  Key('9');
  Tick(2);
  EXPECT_EQ(Unit().line(6), Line("2) UPDATE CONTROLLER FIRMWARE"));
  EXPECT_FALSE(mgr_->CurrentMenu()->IsBusy());
  // Configuration update, then the key pulled on the result.
  flash.files["CONFIG.XML"] = {1};
  Key('3');
  EXPECT_EQ(Unit().line(4), Centred("SUCCESS (PRESS ANY KEY)"));
  EXPECT_EQ(flash.files["CONFIG.XML"], std::vector<uint8_t>(300, 0x22));
  key.present = false;
  Tick(2);
  EXPECT_EQ(Unit().line(4), Centred("INSERT DATAKEY"));
  EXPECT_FALSE(jobs.WorkerAlive());
}

TEST_F(DataKeyPageTest, FrenchTexts) {
  mgr_->m_dwLanguage = 1;
  key.present = false;
  Open(198);
  EXPECT_EQ(Unit().line(4), Centred("INSERER LA DATAKEY"));
  key.present = true;
  Tick(2);
  EXPECT_EQ(Unit().line(2), Line("VERSION COURANTE: 1.9.4588.42"));
  EXPECT_EQ(Unit().line(3), Line("VERSION DATAKEY:  VIDE"));
  EXPECT_EQ(Unit().line(5), Line("1) COPIER CODE/CONFIG VERS DATAKEY"));
  Key('1');
  EXPECT_EQ(Unit().line(4), Centred("REUSSI (APPUYER SUR UNE TOUCHE)"));
  Key('9');
  Tick(2);
  EXPECT_EQ(Unit().line(3), Line("VERSION DATAKEY:  1.9.4588.42"));
  EXPECT_EQ(Unit().line(6), Line("2) MISE A JOUR DU CODE"));
  EXPECT_EQ(Unit().line(7), Line("3) MISE A JOUR DU CONFIG"));
}

}  // namespace
