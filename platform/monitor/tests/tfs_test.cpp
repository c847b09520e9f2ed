// The flash file system as the journal, the file-system driver and the
// network files use it: files read in place, replacement, in-place modify,
// space accounting, defragmenting, descriptors and the failures they map.
#include <cstring>
#include <string>

#include "monitor_fixture.h"

namespace {

constexpr uint32_t kHdr = 128;

uint32_t Span(uint32_t size) { return (kHdr + size + 15) & ~15u; }

class TfsTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    config_.flash_size = 1u << 20;
    Boot();
  }
};

TEST_F(TfsTest, FileIsReadInPlaceThroughItsHeader) {
  ASSERT_EQ(mon_tfsadd("CONFIG.XML", "cfg", "p", "<xml/>", 6), TFS_OKAY);
  tfs_header* h = mon_tfsstat("CONFIG.XML");
  ASSERT_NE(h, nullptr);
  const uint8_t* raw = reinterpret_cast<const uint8_t*>(h);
  uint16_t hdr_size;
  uint32_t size, flags;
  std::memcpy(&hdr_size, raw, 2);
  std::memcpy(&size, raw + 4, 4);
  std::memcpy(&flags, raw + 8, 4);
  EXPECT_EQ(hdr_size, kHdr);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(flags, TFS_FLAG_P);
  EXPECT_STREQ(reinterpret_cast<const char*>(raw + 28), "CONFIG.XML");
  EXPECT_STREQ(h->info, "cfg");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw + hdr_size), size), "<xml/>");
  EXPECT_EQ(mon_tfsstat("config.xml"), nullptr);  // names are exact
}

uint32_t g_now = 0;
uint32_t TimeHook() { return g_now; }

TEST_F(TfsTest, TimeHookStampsNewFiles) {
  ASSERT_EQ(Add("a", "1"), TFS_OKAY);
  EXPECT_EQ(mon_tfsstat("a")->mod_time, 0u);
  g_now = 1234567;
  ASSERT_EQ(mon_tfsctrl(TFS_CTRL_HOOKS, reinterpret_cast<intptr_t>(&TimeHook), 0), TFS_OKAY);
  ASSERT_EQ(Add("b", "2"), TFS_OKAY);
  EXPECT_EQ(mon_tfsstat("b")->mod_time, 1234567u);
}

TEST_F(TfsTest, FlagLettersMapToTheirBits) {
  struct Row {
    const char* letters;
    uint32_t flags;
  } rows[] = {{"", 0},
              {"e", 0x000001},
              {"b", 0x000002},
              {"l", 0x000008},
              {"E", 0x000010},
              {"i", 0x000080},
              {"v", 0x200000},
              {"p", 0x400000},
              {"c", 0x800000},
              {"bEp", 0x400012}};
  int n = 0;
  for (const Row& r : rows) {
    std::string name = "f" + std::to_string(n++);
    ASSERT_EQ(mon_tfsadd(name.c_str(), nullptr, r.letters, "x", 1), TFS_OKAY) << r.letters;
    EXPECT_EQ(mon_tfsstat(name.c_str())->flags, r.flags) << r.letters;
  }
  EXPECT_EQ(mon_tfsadd("g", nullptr, "x", "x", 1), TFS_ERR_BADARG);
  EXPECT_EQ(mon_tfsstat("g"), nullptr);
}

TEST_F(TfsTest, BadNamesAndArgumentsAreRefused) {
  std::string long_name(64, 'n');
  const char* bad[] = {"", long_name.c_str(), "tab\there", nullptr};
  for (const char* name : bad) EXPECT_EQ(mon_tfsadd(name, nullptr, "", "x", 1), TFS_ERR_BADARG) << (name ? name : "null");
  EXPECT_EQ(mon_tfsadd(std::string(63, 'n').c_str(), nullptr, "", "x", 1), TFS_OKAY);
  EXPECT_EQ(mon_tfsadd("a", std::string(32, 'i').c_str(), "", "x", 1), TFS_ERR_BADARG);
  EXPECT_EQ(mon_tfsunlink("missing"), TFS_ERR_NOFILE);
  EXPECT_EQ(mon_tfsstat(nullptr), nullptr);
}

TEST_F(TfsTest, AddingUnderAnExistingNameReplacesTheFile) {
  const uint32_t free0 = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
  ASSERT_EQ(Add("monrc", std::string(100, 'a'), "e"), TFS_OKAY);
  ASSERT_EQ(Add("monrc", std::string(200, 'b'), "e"), TFS_OKAY);
  EXPECT_EQ(Data("monrc"), std::string(200, 'b'));
  EXPECT_EQ(Names(), std::vector<std::string>{"monrc"});
  EXPECT_EQ(uint32_t(mon_tfsctrl(TFS_CTRL_DEAD, 0, 0)), Span(100));
  EXPECT_EQ(uint32_t(mon_tfsctrl(TFS_CTRL_FREE, 0, 0)), free0 - Span(100) - Span(200));
}

TEST_F(TfsTest, ReservedFileStartsErased) {
  const uint32_t free0 = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
  ASSERT_EQ(mon_tfsadd("nv1.dat", nullptr, "i", nullptr, 65536), TFS_OKAY);
  tfs_header* h = mon_tfsstat("nv1.dat");
  ASSERT_NE(h, nullptr);
  const uint8_t* d = reinterpret_cast<const uint8_t*>(h) + h->hdr_size;
  bool erased = true;
  for (uint32_t i = 0; i < h->data_size; ++i) erased = erased && d[i] == 0xFF;
  EXPECT_TRUE(erased);
  // The whole space is taken at the add, not as the file fills.
  EXPECT_EQ(uint32_t(mon_tfsctrl(TFS_CTRL_FREE, 0, 0)), free0 - Span(65536));
}

TEST_F(TfsTest, InPlaceModifyOnlyClearsBits) {
  ASSERT_EQ(mon_tfsadd("nv1.dat", nullptr, "i", nullptr, 64), TFS_OKAY);
  ASSERT_EQ(Add("plain", "abc"), TFS_OKAY);
  const uint8_t* d = reinterpret_cast<const uint8_t*>(mon_tfsstat("nv1.dat")) + kHdr;
  struct Row {
    uint32_t offset;
    uint8_t value;
    int result;
    uint8_t after;
  } rows[] = {
      {0, 0x7F, TFS_OKAY, 0x7F},         // the journal's header becomes valid
      {0, 0x7F, TFS_OKAY, 0x7F},         // programming the same value again
      {0, 0xFF, TFS_ERR_SETBITS, 0x7F},  // an erased byte cannot be written back
      {0, 0x80, TFS_ERR_SETBITS, 0x7F},  // a bit that is clear cannot come back
      {1, 0x7E, TFS_OKAY, 0x7E},         // a live record marker ...
      {1, 0x3E, TFS_OKAY, 0x3E},         // ... deleted by clearing one bit
      {1, 0x7E, TFS_ERR_SETBITS, 0x3E},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(mon_tfsipmod("nv1.dat", &r.value, r.offset, 1), r.result) << int(r.value);
    EXPECT_EQ(d[r.offset], r.after) << int(r.value);
  }
  // A refused modify changes none of its bytes, not even the ones before.
  uint8_t two[2] = {0x00, 0x7E};
  EXPECT_EQ(mon_tfsipmod("nv1.dat", two, 0, 2), TFS_ERR_SETBITS);
  EXPECT_EQ(d[0], 0x7F);
  EXPECT_EQ(d[1], 0x3E);
  uint8_t z = 0;
  EXPECT_EQ(mon_tfsipmod("plain", &z, 0, 1), TFS_ERR_NOTPERMITTED);
  EXPECT_EQ(mon_tfsipmod("nv1.dat", &z, 64, 1), TFS_ERR_NOSPACE);
  EXPECT_EQ(mon_tfsipmod("nv1.dat", &z, 0xFFFFFFFF, 2), TFS_ERR_NOSPACE);
  EXPECT_EQ(mon_tfsipmod("missing", &z, 0, 1), TFS_ERR_NOFILE);
}

TEST_F(TfsTest, DefragmentingGivesDeadSpaceBack) {
  ASSERT_EQ(Add("keep1", std::string(1000, '1')), TFS_OKAY);
  ASSERT_EQ(Add("gone1", std::string(3000, 'x')), TFS_OKAY);
  ASSERT_EQ(mon_tfsadd("keep2", "info", "i", "22", 2), TFS_OKAY);
  ASSERT_EQ(Add("gone2", std::string(5000, 'y')), TFS_OKAY);
  ASSERT_EQ(mon_tfsunlink("gone1"), TFS_OKAY);
  ASSERT_EQ(mon_tfsunlink("gone2"), TFS_OKAY);
  const uint32_t dead = Span(3000) + Span(5000);
  const uint32_t free0 = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
  EXPECT_EQ(uint32_t(mon_tfsctrl(TFS_CTRL_DEAD, 0, 0)), dead);
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_FRAGMENT, reinterpret_cast<intptr_t>("//SF/"), 0),
            int32_t(uint64_t(dead) * 10000 / (1u << 20)));
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_FRAGMENT, reinterpret_cast<intptr_t>("//XX/"), 0), TFS_ERR_BADARG);

  ASSERT_EQ(mon_tfsctrl(TFS_CTRL_DEFRAG, 0, 0), TFS_OKAY);
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_DEAD, 0, 0), 0);
  EXPECT_EQ(uint32_t(mon_tfsctrl(TFS_CTRL_FREE, 0, 0)), free0 + dead);
  EXPECT_EQ(Names(), (std::vector<std::string>{"keep1", "keep2"}));
  EXPECT_EQ(Data("keep1"), std::string(1000, '1'));
  EXPECT_EQ(Data("keep2"), "22");
  EXPECT_EQ(mon_tfsstat("keep2")->flags, TFS_FLAG_IPMOD);
  EXPECT_STREQ(mon_tfsstat("keep2")->info, "info");
  // A compacted file is still modified in place.
  uint8_t c = '0';
  EXPECT_EQ(mon_tfsipmod("keep2", &c, 0, 1), TFS_OKAY);
  EXPECT_EQ(Data("keep2"), "02");
}

TEST_F(TfsTest, FullFlashRefusesAdds) {
  // A file of exactly the free space fits; then nothing does.
  uint32_t free0 = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
  ASSERT_EQ(mon_tfsadd("big", nullptr, "i", nullptr, free0 + 1), TFS_ERR_FLASHFULL);
  ASSERT_EQ(mon_tfsadd("big", nullptr, "i", nullptr, free0), TFS_OKAY);
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_FREE, 0, 0), 0);
  EXPECT_EQ(Add("one", "1"), TFS_ERR_FLASHFULL);
  EXPECT_EQ(mon_tfsadd("huge", nullptr, "", nullptr, 0xFFFFFFF0u), TFS_ERR_FLASHFULL);
  ASSERT_EQ(mon_tfsunlink("big"), TFS_OKAY);
  ASSERT_EQ(mon_tfsctrl(TFS_CTRL_DEFRAG, 0, 0), TFS_OKAY);
  EXPECT_EQ(Add("one", "1"), TFS_OKAY);
}

TEST_F(TfsTest, InjectedFaults) {
  ASSERT_EQ(mon_tfsadd("nv1.dat", nullptr, "i", nullptr, 16), TFS_OKAY);
  uint8_t z = 0;
  monitor::fault_ipmod_failures(2);
  EXPECT_EQ(mon_tfsipmod("nv1.dat", &z, 0, 1), TFS_ERR_FLASH);
  EXPECT_EQ(mon_tfsipmod("nv1.dat", &z, 0, 1), TFS_ERR_FLASH);
  EXPECT_EQ(Data("nv1.dat")[0], char(0xFF));
  EXPECT_EQ(mon_tfsipmod("nv1.dat", &z, 0, 1), TFS_OKAY);

  monitor::fault_flash_full(true);
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_FREE, 0, 0), 0);
  EXPECT_EQ(Add("a", "1"), TFS_ERR_FLASHFULL);
  monitor::fault_flash_full(false);
  EXPECT_EQ(Add("a", "1"), TFS_OKAY);
}

TEST_F(TfsTest, NextWalksLiveFilesInFlashOrder) {
  EXPECT_EQ(mon_tfsnext(nullptr), nullptr);
  for (const char* n : {"a", "b", "c", "d"}) ASSERT_EQ(Add(n, n), TFS_OKAY);
  tfs_header* b = mon_tfsstat("b");
  ASSERT_EQ(mon_tfsunlink("b"), TFS_OKAY);
  ASSERT_EQ(Add("a", "again"), TFS_OKAY);
  EXPECT_EQ(Names(), (std::vector<std::string>{"c", "d", "a"}));
  // A walk standing on a file that was deleted meanwhile goes on after it.
  EXPECT_STREQ(mon_tfsnext(b)->name, "c");
}

TEST_F(TfsTest, CreatedFileAppearsAtClose) {
  char buf[16];
  int fd = mon_tfsopen("new.txt", TFS_OPEN_CREATE | TFS_OPEN_APPEND | TFS_FLAG_P, buf, sizeof buf);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(mon_tfswrite(fd, "hello ", 6), TFS_OKAY);
  EXPECT_EQ(mon_tfswrite(fd, "world", 5), TFS_OKAY);
  EXPECT_EQ(mon_tfswrite(fd, "123456", 6), TFS_ERR_NOSPACE);  // the buffer holds 16
  EXPECT_EQ(mon_tfsread(fd, buf, 1), TFS_ERR_NOTPERMITTED);
  EXPECT_EQ(mon_tfsstat("new.txt"), nullptr);
  EXPECT_EQ(mon_tfsclose(fd, "note"), TFS_OKAY);
  EXPECT_EQ(Data("new.txt"), "hello world");
  EXPECT_EQ(mon_tfsstat("new.txt")->flags, TFS_FLAG_P);
  EXPECT_STREQ(mon_tfsstat("new.txt")->info, "note");
  EXPECT_EQ(mon_tfsclose(fd, nullptr), TFS_ERR_BADARG);

  // Appending copies the file into the buffer and re-adds it.
  fd = mon_tfsopen("new.txt", TFS_OPEN_APPEND, buf, sizeof buf);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(mon_tfswrite(fd, "!", 1), TFS_OKAY);
  EXPECT_EQ(mon_tfsclose(fd, nullptr), TFS_OKAY);
  EXPECT_EQ(Data("new.txt"), "hello world!");
  char small[4];
  EXPECT_EQ(mon_tfsopen("new.txt", TFS_OPEN_APPEND, small, sizeof small), TFS_ERR_NOSPACE);
  EXPECT_EQ(mon_tfsopen("missing", TFS_OPEN_APPEND, buf, sizeof buf), TFS_ERR_NOFILE);
  EXPECT_EQ(mon_tfsopen("x", TFS_OPEN_CREATE, nullptr, 0), TFS_ERR_BADARG);
}

TEST_F(TfsTest, ReadSeekAndEndOfFile) {
  ASSERT_EQ(Add("f", "0123456789"), TFS_OKAY);
  int fd = mon_tfsopen("f", TFS_OPEN_READ, nullptr, 0);
  ASSERT_GE(fd, 0);
  char b[8] = {};
  EXPECT_EQ(mon_tfsread(fd, b, 4), 4);
  EXPECT_EQ(std::string(b, 4), "0123");
  EXPECT_EQ(mon_tfsseek(fd, 8, TFS_SEEK_SET), 8);
  EXPECT_EQ(mon_tfsread(fd, b, 8), 2);
  EXPECT_EQ(std::string(b, 2), "89");
  EXPECT_EQ(mon_tfsread(fd, b, 8), TFS_ERR_EOF);
  EXPECT_EQ(mon_tfsseek(fd, 11, TFS_SEEK_SET), TFS_ERR_EOF);
  EXPECT_EQ(mon_tfsseek(fd, -3, TFS_SEEK_END), 7);
  EXPECT_EQ(mon_tfsseek(fd, -8, TFS_SEEK_CUR), TFS_ERR_BADARG);
  EXPECT_EQ(mon_tfsseek(fd, 0, 9), TFS_ERR_BADARG);
  EXPECT_EQ(mon_tfswrite(fd, "x", 1), TFS_ERR_NOTPERMITTED);
  EXPECT_EQ(mon_tfsread(fd + 1, b, 1), TFS_ERR_BADARG);
  EXPECT_EQ(mon_tfsread(-1, b, 1), TFS_ERR_BADARG);

  // An open file can be neither removed nor replaced.
  EXPECT_EQ(mon_tfsunlink("f"), TFS_ERR_NOTPERMITTED);
  EXPECT_EQ(Add("f", "new"), TFS_ERR_EXISTS);
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_DEFRAG, 0, 0), TFS_ERR_NOTPERMITTED);
  EXPECT_EQ(mon_tfsclose(fd, nullptr), TFS_OKAY);
  EXPECT_EQ(Add("f", "new"), TFS_OKAY);
  EXPECT_EQ(mon_tfsopen("missing", TFS_OPEN_READ, nullptr, 0), TFS_ERR_NOFILE);
}

TEST_F(TfsTest, BufferedOpenDeliversTheFileIntoTheBuffer) {
  ASSERT_EQ(Add("page.htm", "<html>"), TFS_OKAY);
  char buf[6];
  int fd = mon_tfsopen("page.htm", TFS_OPEN_READ | TFS_OPEN_BUFFERED, buf, sizeof buf);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(std::string(buf, 6), "<html>");
  EXPECT_EQ(mon_tfsclose(fd, nullptr), TFS_OKAY);
  // A buffer too small is refused rather than overrun.
  char small[5] = {'s', 's', 's', 's', 's'};
  EXPECT_EQ(mon_tfsopen("page.htm", TFS_OPEN_READ | TFS_OPEN_BUFFERED, small, sizeof small), TFS_ERR_NOSPACE);
  EXPECT_EQ(std::string(small, 5), "sssss");
}

TEST_F(TfsTest, InPlaceOpenCopiesNothing) {
  ASSERT_EQ(mon_tfsadd("nv1.dat", nullptr, "i", nullptr, 65536), TFS_OKAY);
  char small[16];
  int fd = mon_tfsopen("nv1.dat", TFS_OPEN_APPEND | TFS_FLAG_IPMOD, small, sizeof small);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(mon_tfswrite(fd, "x", 1), TFS_ERR_NOTPERMITTED);
  ASSERT_EQ(mon_tfsipmod("nv1.dat", "\x7F", 0, 1), TFS_OKAY);
  char b = 0;
  EXPECT_EQ(mon_tfsread(fd, &b, 1), 1);
  EXPECT_EQ(b, '\x7F');
  const tfs_header* before = mon_tfsstat("nv1.dat");
  EXPECT_EQ(mon_tfsclose(fd, nullptr), TFS_OKAY);
  EXPECT_EQ(mon_tfsstat("nv1.dat"), before);  // not re-added
}

TEST_F(TfsTest, DescriptorsRunOut) {
  ASSERT_EQ(Add("f", "x"), TFS_OKAY);
  std::vector<int> fds;
  for (int i = 0; i < 16; ++i) {
    fds.push_back(mon_tfsopen("f", TFS_OPEN_READ, nullptr, 0));
    ASSERT_GE(fds.back(), 0);
  }
  EXPECT_EQ(mon_tfsopen("f", TFS_OPEN_READ, nullptr, 0), TFS_ERR_NOSLOT);
  for (int fd : fds) EXPECT_EQ(mon_tfsclose(fd, nullptr), TFS_OKAY);
  EXPECT_GE(mon_tfsopen("f", TFS_OPEN_READ, nullptr, 0), 0);
}

TEST_F(TfsTest, UnknownControlRequest) { EXPECT_EQ(mon_tfsctrl(99, 0, 0), TFS_ERR_BADARG); }

}  // namespace
