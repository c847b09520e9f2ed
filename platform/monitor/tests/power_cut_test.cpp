// The flash image after the power fails at any byte of an operation: the
// next boot reads every file that was complete before, sees the file of the
// operation either whole or not at all, and can go on adding files.
#include <algorithm>
#include <functional>
#include <string>

#include "monitor_fixture.h"

namespace {

class PowerCutTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    config_.flash_size = 64u << 10;
  }

  void Prepare() {
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directory(folder_);
    Boot();
    ASSERT_EQ(Add("keep", "kept content"), TFS_OKAY);
    ASSERT_EQ(Add("monrc", "set IPADD 10.0.0.1\r\n", "e"), TFS_OKAY);
    ASSERT_EQ(Add("old", std::string(300, 'o')), TFS_OKAY);
    ASSERT_EQ(mon_tfsadd("nv1.dat", nullptr, "i", nullptr, 256), TFS_OKAY);
    ASSERT_EQ(mon_tfsunlink("old"), TFS_OKAY);
  }

  // Bytes the operation programs when the power holds.
  uint64_t Measure(const std::function<void()>& op) {
    Prepare();
    uint64_t before = monitor::flash_bytes_programmed();
    op();
    return monitor::flash_bytes_programmed() - before;
  }

  // Runs the operation with the power failing after each possible byte and
  // checks the image at the next boot.
  void CutEverywhere(const std::function<void()>& op, const std::function<void(uint64_t)>& check) {
    uint64_t total = Measure(op);
    ASSERT_GT(total, 0u);
    for (uint64_t cut = 0; cut < total; ++cut) {
      Prepare();
      monitor::fault_power_cut_after(static_cast<int64_t>(cut));
      op();
      EXPECT_FALSE(monitor::powered()) << cut;
      Restart();
      EXPECT_EQ(Data("keep"), "kept content") << cut;
      EXPECT_EQ(Data("monrc"), "set IPADD 10.0.0.1\r\n") << cut;
      EXPECT_EQ(Data("old"), "<none>") << cut;
      check(cut);
      // The image goes on working: a new file is added and read back after
      // another boot.
      ASSERT_EQ(Add("after", "more"), TFS_OKAY) << cut;
      Restart();
      EXPECT_EQ(Data("after"), "more") << cut;
      EXPECT_EQ(Data("keep"), "kept content") << cut;
      if (HasFailure()) return;
    }
  }
};

TEST_F(PowerCutTest, AddIsWholeOrAbsent) {
  const std::string content(200, 'n');
  CutEverywhere([&] { Add("new", content); },
                [&](uint64_t cut) {
                  std::string d = Data("new");
                  EXPECT_TRUE(d == "<none>" || d == content) << cut;
                });
}

TEST_F(PowerCutTest, ReplacementKeepsOldOrNewContent) {
  const std::string content = "set IPADD 10.9.9.9\r\nset NETMASK 255.0.0.0\r\n";
  uint64_t total = Measure([&] { Add("monrc", content, "e"); });
  bool saw_old = false, saw_new = false;
  for (uint64_t cut = 0; cut < total; ++cut) {
    Prepare();
    monitor::fault_power_cut_after(static_cast<int64_t>(cut));
    EXPECT_EQ(Add("monrc", content, "e"), TFS_ERR_FLASH) << cut;
    Restart();
    std::string d = Data("monrc");
    saw_old = saw_old || d == "set IPADD 10.0.0.1\r\n";
    saw_new = saw_new || d == content;
    EXPECT_TRUE(d == "set IPADD 10.0.0.1\r\n" || d == content) << cut;
    // Never two files of one name, even when the cut fell between the new
    // file's completion and the old one's deletion.
    std::vector<std::string> names = Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"keep", "monrc", "nv1.dat"})) << cut;
  }
  EXPECT_TRUE(saw_old && saw_new);
}

TEST_F(PowerCutTest, InPlaceModifyKeepsTheBytesBeforeTheCut) {
  const std::string rec = "~\x00\x07\x00\x00\x01\x00\x2A\xAB\xCD|";
  uint64_t total = Measure([&] { mon_tfsipmod("nv1.dat", rec.data(), 14, static_cast<uint32_t>(rec.size())); });
  EXPECT_EQ(total, rec.size());
  for (uint64_t cut = 0; cut < total; ++cut) {
    Prepare();
    monitor::fault_power_cut_after(static_cast<int64_t>(cut));
    EXPECT_EQ(mon_tfsipmod("nv1.dat", rec.data(), 14, static_cast<uint32_t>(rec.size())), TFS_ERR_FLASH);
    Restart();
    std::string d = Data("nv1.dat");
    ASSERT_EQ(d.size(), 256u);
    EXPECT_EQ(d.substr(14, cut), rec.substr(0, cut)) << cut;
    EXPECT_EQ(d.substr(14 + cut), std::string(256 - 14 - cut, '\xFF')) << cut;
  }
}

TEST_F(PowerCutTest, UnlinkCutLeavesTheFile) {
  Prepare();
  monitor::fault_power_cut_after(0);
  EXPECT_EQ(mon_tfsunlink("keep"), TFS_ERR_FLASH);
  EXPECT_EQ(Add("x", "x"), TFS_ERR_FLASH);
  Restart();
  EXPECT_EQ(Data("keep"), "kept content");
}

TEST_F(PowerCutTest, DefragmentCutLeavesTheOldImage) {
  for (int64_t cut : {int64_t(0), int64_t(1), int64_t(32u << 10), int64_t((64u << 10) - 1)}) {
    Prepare();
    const uint32_t dead = mon_tfsctrl(TFS_CTRL_DEAD, 0, 0);
    ASSERT_GT(dead, 0u);
    monitor::fault_power_cut_after(cut);
    EXPECT_EQ(mon_tfsctrl(TFS_CTRL_DEFRAG, 0, 0), TFS_ERR_FLASH) << cut;
    Restart();
    EXPECT_EQ(Data("keep"), "kept content") << cut;
    EXPECT_EQ(Data("nv1.dat"), std::string(256, '\xFF')) << cut;
    EXPECT_EQ(uint32_t(mon_tfsctrl(TFS_CTRL_DEAD, 0, 0)), dead) << cut;
    EXPECT_FALSE(std::filesystem::exists(Path(std::string(monitor::FLASH_FILE) + ".new"))) << cut;
  }
}

}  // namespace
