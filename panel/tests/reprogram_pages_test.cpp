// The reprogram wizard and its progress page through the simulated unit:
// hidden without files, the request it posts, and every end the page shows.
#include <string>
#include <vector>

#include "panel/pages/reprogram_pages.h"
#include "panel/tests/logged_in_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class Panel : public reprogram_panel {
 public:
  std::vector<std::string> files;
  int posted = 0;
  bool busy = false;
  bool FileName(uint32_t index, char* out, uint32_t size) override {
    if (index >= files.size()) return false;
    std::snprintf(out, size, "%s", files[index].c_str());
    return true;
  }
  uint16_t DetectedType(uint32_t) override { return 91; }
  void Post(reprogram_request&) override { ++posted; }
  can_reprogram* Programmer() override { return nullptr; }
  bool Busy() override { return busy; }
};

class ReprogramPageTest : public LoggedInPanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    lcd_reprogram_set_panel(&panel);
    Boot();
  }
  void TearDown() override {
    lcd_reprogram_set_panel(nullptr);
    PanelTest::TearDown();
  }
  bool Listed() {
    bool listed = false;
    InThread([&] {
      CLCD_ReprogramWiz wiz(72);
      listed = wiz.HasRights(mgr_);
    });
    return listed;
  }

  Panel panel;
};

TEST_F(ReprogramPageTest, HiddenWithoutProgrammableFiles) {
  panel.files = {"CONFIG.XML", "SIGN.EXE"};
  EXPECT_FALSE(Listed());
  panel.files.push_back("modules.HEX");
  EXPECT_TRUE(Listed());
}

TEST_F(ReprogramPageTest, EveryEndIsShownAndAKeyLeaves) {
  panel.files = {"CONFIG.XML", "a.hex", "b.bin"};
  InThread([&] { mgr_->InvalidateFileMenus(); });  // after a file transfer
  struct Row {
    uint8_t state;
    const char* text;
  } rows[] = {
      {REPROGRAM_SUCCESS, "SUCCESS"},
      {REPROGRAM_NO_MEMORY, "NO FREE MEMORY"},
      {REPROGRAM_BAD_FILE, "BAD FILE"},
      {REPROGRAM_FAILURE, "FAILURE"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    Open(72);
    EXPECT_EQ(Unit().line(1), Centred("SELECT FILE TO SEND"));
    EXPECT_EQ(Unit().line(3), Line("2) b.bin"));
    Key('2');  // b.bin
    Key('1');  // detect
    EXPECT_NE(Unit().line(4).find("PROGRAMMING, PLEASE WAIT"), std::string::npos);
    reprogram_request& req = lcd_reprogram_request();
    EXPECT_STREQ(req.file, "b.bin");
    EXPECT_EQ(req.type, 91);
    EXPECT_EQ(req.menu, 72u);
    EXPECT_EQ(req.state, REPROGRAM_RUNNING);
    // Keys wait while the run goes on.
    Key('5');
    EXPECT_EQ(Unit().line(5), Centred("0%"));
    // The end shows once the display task is back from the run.
    panel.busy = true;
    req.state = r.state;
    Tick(2);
    EXPECT_NE(Unit().line(4).find("PROGRAMMING, PLEASE WAIT"), std::string::npos);
    panel.busy = false;
    Tick(2);
    EXPECT_EQ(Unit().line(4), Centred(r.text));
    EXPECT_EQ(Unit().line(5), Centred("(PRESS ANY KEY TO CONTINUE)"));
    Key('5');
    EXPECT_NE(Unit().line(4), Centred(r.text));
    EXPECT_NE(mgr_->CurrentMenu()->m_iId, 72);
  }
}

TEST_F(ReprogramPageTest, ARunUnderWayIsFollowedNotChanged) {
  panel.files = {"a.hex", "b.bin"};
  InThread([&] { mgr_->InvalidateFileMenus(); });
  reprogram_request& req = lcd_reprogram_request();
  std::snprintf(req.file, sizeof(req.file), "a.hex");
  req.state = REPROGRAM_RUNNING;
  panel.busy = true;  // the display task still runs it
  Open(72);
  Key('2');  // b.bin
  Key('1');  // detect
  EXPECT_NE(Unit().line(4).find("PROGRAMMING, PLEASE WAIT"), std::string::npos);
  EXPECT_EQ(panel.posted, 0);
  EXPECT_STREQ(req.file, "a.hex");
  req.state = REPROGRAM_SUCCESS;
  panel.busy = false;
  Tick(2);
  EXPECT_EQ(Unit().line(4), Centred("SUCCESS"));
}

}  // namespace
