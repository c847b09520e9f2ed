// The file-system driver over TFS: status codes, file life cycle, whole-file
// writes, per-thread current directories and the path helpers.
#include <cstring>

#include "fs_fixture.h"

namespace {

TEST(FsPaths, DirectoryAndBaseName) {
  struct Row {
    const char* path;
    fs_status dir_status;
    const char* dir;
    const char* base;
  } rows[] = {
      {"a/b/c.txt", FS_SUCCESS, "a\\b\\", "c.txt"},
      {"c.txt", FS_NO_DIRECTORY, "", "c.txt"},
      {"a\\b/c.txt", FS_SUCCESS, "a\\b\\", "c.txt"},
      {"a/b\\c.txt", FS_SUCCESS, "a\\b\\", "c.txt"},
      {"Bitmaps/", FS_SUCCESS, "Bitmaps\\", ""},
      {"/x", FS_SUCCESS, "\\", "x"},
      {"", FS_NO_DIRECTORY, "", ""},
  };
  for (const Row& r : rows) {
    char out[FS_PATH_MAX + 1];
    EXPECT_EQ(fs_path_directory(nullptr, r.path, out, FS_PATH_MAX), r.dir_status) << r.path;
    EXPECT_STREQ(out, r.dir) << r.path;
    ASSERT_EQ(fs_path_basename(nullptr, r.path, out, FS_PATH_MAX), FS_SUCCESS) << r.path;
    EXPECT_STREQ(out, r.base) << r.path;
  }
  // Longer than the room given: 12, and nothing written past it.
  std::string name(201, 'n');
  char out[FS_PATH_MAX + 2];
  out[FS_PATH_MAX + 1] = 'G';
  EXPECT_EQ(fs_path_directory(nullptr, name.c_str(), out, FS_PATH_MAX), FS_NAME_TOO_LONG);
  EXPECT_EQ(fs_path_basename(nullptr, name.c_str(), out, FS_PATH_MAX), FS_NAME_TOO_LONG);
  EXPECT_EQ(out[FS_PATH_MAX + 1], 'G');
  name.pop_back();
  EXPECT_EQ(fs_path_basename(nullptr, name.c_str(), out, FS_PATH_MAX), FS_SUCCESS);
  EXPECT_EQ(out[FS_PATH_MAX + 1], 'G');
}

TEST(FsFlags, ModeBitsAndTheirMonitorFlags) {
  struct Row {
    uint32_t attribute, tfs;
  } rows[] = {{0x0040, 0x400000}, {0x0080, 0x000001}, {0x0100, 0x000010}, {0x0200, 0x000008}, {0x0400, 0x000002},
              {0x0800, 0x000080}, {0x1000, 0x800000}, {0x2000, 0x200000}, {0x4000, 0x010000}, {0x8000, 0x040000}};
  uint32_t all_a = 0, all_t = 0;
  for (const Row& r : rows) {
    EXPECT_EQ(fs_attributes_to_tfs_flags(r.attribute), r.tfs) << std::hex << r.attribute;
    EXPECT_EQ(fs_tfs_flags_to_attributes(r.tfs), r.attribute) << std::hex << r.tfs;
    all_a |= r.attribute;
    all_t |= r.tfs;
  }
  EXPECT_EQ(fs_attributes_to_tfs_flags(all_a), all_t);
  EXPECT_EQ(fs_tfs_flags_to_attributes(all_t), all_a);
  EXPECT_EQ(fs_tfs_flags_to_attributes(0x20000), 0u);  // the create flag has no attribute
}

TEST_F(FileSystemTest, StatusCodesOfFileOperations) {
  ASSERT_EQ(Add("page.html", "<html>hello</html>"), TFS_OKAY);
  ASSERT_EQ(Add("data.bin", "0123456789", "i"), TFS_OKAY);
  const std::string long_name(FS_PATH_MAX + 1, 'n');
  char buffer[64];
  uint32_t actual = 99;

  // Opening the same object twice; closing one never opened.
  fs_file f = NewFile();
  EXPECT_EQ(driver_.FileOpen(&media_, &f, "page.html", FS_MODE_READ), FS_SUCCESS);
  EXPECT_EQ(f.id, FS_FILE_ID);
  EXPECT_EQ(driver_.FileOpen(&media_, &f, "page.html", FS_MODE_READ), FS_ALREADY_OPEN);
  EXPECT_EQ(driver_.FileClose(&f), FS_SUCCESS);
  EXPECT_EQ(f.id, 0u);
  EXPECT_EQ(driver_.FileClose(&f), FS_NOT_OPEN);
  fs_file never = NewFile();
  EXPECT_EQ(driver_.FileClose(&never), FS_NOT_OPEN);
  EXPECT_EQ(driver_.FileRead(&never, buffer, 4, &actual), FS_NOT_OPEN);

  // Over-long names.
  EXPECT_EQ(driver_.FileOpen(&media_, &f, long_name.c_str(), FS_MODE_READ), FS_NAME_TOO_LONG);
  fs_path_record record{};
  EXPECT_EQ(driver_.LocalPathSet(&media_, &record, long_name.c_str()), FS_NAME_TOO_LONG);

  // Reading without the read mode.
  ASSERT_EQ(driver_.FileOpen(&media_, &f, "page.html", FS_MODE_WRITE), FS_SUCCESS);
  EXPECT_EQ(driver_.FileRead(&f, buffer, sizeof buffer, &actual), FS_NOT_PERMITTED);
  EXPECT_EQ(actual, 0u);
  ASSERT_EQ(driver_.FileClose(&f), FS_SUCCESS);
  // Writing without the write mode.
  ASSERT_EQ(driver_.FileOpen(&media_, &f, "page.html", FS_MODE_READ), FS_SUCCESS);
  EXPECT_EQ(driver_.FileWrite(&f, "x", 1), FS_NOT_PERMITTED);
  ASSERT_EQ(driver_.FileClose(&f), FS_SUCCESS);

  // Read from the buffer up to the end, then 10 and nothing.
  ASSERT_EQ(driver_.FileOpen(&media_, &f, "page.html", FS_MODE_READ | FS_MODE_BUFFERED), FS_SUCCESS);
  EXPECT_EQ(driver_.FileRead(&f, buffer, 10, &actual), FS_SUCCESS);
  EXPECT_EQ(actual, 10u);
  EXPECT_EQ(driver_.FileRead(&f, buffer + 10, sizeof buffer, &actual), FS_SUCCESS);
  EXPECT_EQ(actual, 8u);
  EXPECT_EQ(std::string(buffer, 18), "<html>hello</html>");
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(driver_.FileRead(&f, buffer, sizeof buffer, &actual), FS_END_OF_FILE);
  EXPECT_EQ(actual, 0u);
  EXPECT_EQ(buffer[0], '#');
  ASSERT_EQ(driver_.FileSeek(&f, 6), FS_SUCCESS);
  EXPECT_EQ(driver_.FileRead(&f, buffer, 5, &actual), FS_SUCCESS);
  EXPECT_EQ(std::string(buffer, actual), "hello");
  ASSERT_EQ(driver_.FileClose(&f), FS_SUCCESS);

  // Read through the monitor in pieces, then the end of the file.
  ASSERT_EQ(driver_.FileOpen(&media_, &f, "page.html", FS_MODE_READ), FS_SUCCESS);
  std::string got;
  fs_status st;
  while ((st = driver_.FileRead(&f, buffer, 7, &actual)) == FS_SUCCESS) got.append(buffer, actual);
  EXPECT_EQ(st, FS_END_OF_FILE);
  EXPECT_EQ(got, "<html>hello</html>");
  EXPECT_EQ(driver_.FileSeek(&f, 100), FS_END_OF_FILE);
  ASSERT_EQ(driver_.FileClose(&f), FS_SUCCESS);

  // Writing in place programs at the position and moves it on.
  ASSERT_EQ(driver_.FileOpen(&media_, &f, "data.bin", FS_MODE_WRITE | FS_MODE_IN_PLACE), FS_SUCCESS);
  ASSERT_EQ(driver_.FileSeek(&f, 2), FS_SUCCESS);
  EXPECT_EQ(driver_.FileWrite(&f, "\x20\x20", 2), FS_SUCCESS);
  EXPECT_EQ(driver_.FileWrite(&f, "\x04", 1), FS_SUCCESS);
  EXPECT_EQ(f.position, 5u);
  EXPECT_EQ(driver_.FileWrite(&f, "\xFF", 1), FS_ERROR);  // flash cannot set bits
  ASSERT_EQ(driver_.FileClose(&f), FS_SUCCESS);
  EXPECT_EQ(Content("data.bin"), std::string("01  \x04" "56789"));
  // A file not made for it refuses.
  ASSERT_EQ(driver_.FileOpen(&media_, &f, "page.html", FS_MODE_WRITE | FS_MODE_IN_PLACE), FS_SUCCESS);
  EXPECT_EQ(driver_.FileWrite(&f, "\x20", 1), FS_NOT_PERMITTED);
  ASSERT_EQ(driver_.FileClose(&f), FS_SUCCESS);

  // Creation: in place refused, an existing name refused.
  EXPECT_EQ(driver_.FileCreate(&media_, &f, "new.txt", FS_MODE_IN_PLACE), FS_BAD_ARGUMENT);
  EXPECT_EQ(driver_.FileCreate(&media_, &f, "page.html", 0), FS_EXISTS);
  EXPECT_EQ(f.buffer, nullptr);

  // Absent files, attributes.
  EXPECT_EQ(driver_.FileOpen(&media_, &f, "absent", FS_MODE_READ), FS_NOT_FOUND);
  EXPECT_EQ(f.buffer, nullptr);
  EXPECT_EQ(driver_.FileDelete(&media_, "absent"), FS_NOT_FOUND);
  uint32_t attributes = 0;
  EXPECT_EQ(driver_.FileAttributesRead(&media_, "absent", &attributes), FS_NOT_FOUND);
  EXPECT_EQ(driver_.FileAttributesRead(&media_, "data.bin", &attributes), FS_SUCCESS);
  EXPECT_EQ(attributes, FS_MODE_IN_PLACE);
  EXPECT_EQ(driver_.FileAttributesSet(&media_, "data.bin", 0), FS_NOT_SUPPORTED);
  EXPECT_EQ(driver_.FileDelete(&media_, "data.bin"), FS_SUCCESS);
  EXPECT_EQ(Content("data.bin"), "<none>");

  // Every buffer borrowed went back.
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
}

TEST_F(FileSystemTest, CreatedFileComesIntoBeingWhenClosed) {
  fs_file f = NewFile();
  ASSERT_EQ(driver_.FileCreate(&media_, &f, "upload.bin", 0), FS_SUCCESS);
  EXPECT_NE(f.id, FS_FILE_ID);  // prepared, not open yet
  EXPECT_EQ(driver_.FileCreate(&media_, &f, "upload.bin", 0), FS_ALREADY_OPEN);
  ASSERT_EQ(driver_.FileOpen(&media_, &f, "upload.bin", FS_MODE_WRITE), FS_SUCCESS);
  EXPECT_EQ(f.mode, FS_MODE_WRITE);
  EXPECT_EQ(driver_.FileWrite(&f, "abc", 3), FS_SUCCESS);
  EXPECT_EQ(driver_.FileWrite(&f, "def", 3), FS_SUCCESS);
  EXPECT_EQ(Content("upload.bin"), "<none>");
  ASSERT_EQ(driver_.FileClose(&f), FS_SUCCESS);
  EXPECT_EQ(Content("upload.bin"), "abcdef");
  // Appending to it copies it and adds it again at the close.
  ASSERT_EQ(driver_.FileOpen(&media_, &f, "upload.bin", FS_MODE_WRITE), FS_SUCCESS);
  EXPECT_EQ(driver_.FileWrite(&f, "g", 1), FS_SUCCESS);
  ASSERT_EQ(driver_.FileClose(&f), FS_SUCCESS);
  EXPECT_EQ(Content("upload.bin"), "abcdefg");
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
}

TEST_F(FileSystemTest, NoBufferForTheFile) {
  std::vector<void*> held;
  void* b = nullptr;
  while (g_gpbuffer.Allocate(&b, FS_FILE_BUFFER_SIZE)) held.push_back(b);
  ASSERT_EQ(Add("a.txt", "a"), TFS_OKAY);
  fs_file f = NewFile();
  EXPECT_EQ(driver_.FileOpen(&media_, &f, "a.txt", FS_MODE_READ), FS_NO_BUFFER);
  EXPECT_EQ(driver_.FileCreate(&media_, &f, "b.txt", 0), FS_NO_BUFFER);
  for (void* p : held) g_gpbuffer.Release(&p);
  EXPECT_EQ(driver_.FileOpen(&media_, &f, "a.txt", FS_MODE_READ), FS_SUCCESS);
  EXPECT_EQ(driver_.FileClose(&f), FS_SUCCESS);
}

TEST_F(FileSystemTest, WholeFileWriteReplacesTheOldContent) {
  EXPECT_EQ(driver_.FileCreateWithData(&media_, nullptr, "monrc", FS_MODE_EXEC_SCRIPT, "old", 3), FS_SUCCESS);
  EXPECT_EQ(driver_.FileCreateWithData(&media_, nullptr, "monrc", FS_MODE_EXEC_SCRIPT, "set IPADD 1\r\n", 13),
            FS_SUCCESS);
  EXPECT_EQ(Content("monrc"), "set IPADD 1\r\n");
  uint32_t attributes = 0;
  ASSERT_EQ(driver_.FileAttributesRead(&media_, "monrc", &attributes), FS_SUCCESS);
  EXPECT_EQ(attributes, FS_MODE_EXEC_SCRIPT);
  ASSERT_EQ(driver_.FileCreateWithData(&media_, nullptr, "x.cfg", FS_ATTR_P | FS_MODE_IN_PLACE | FS_MODE_BUFFERED,
                                       "x", 1),
            FS_SUCCESS);
  EXPECT_EQ(mon_tfsstat("x.cfg")->flags, TFS_FLAG_P | TFS_FLAG_IPMOD | TFS_FLAG_V);
  // The name joins the writer's current directory.
  RunAs("web", [&] {
    fs_path_record record{};
    ASSERT_EQ(driver_.LocalPathSet(&media_, &record, "Bitmaps/"), FS_SUCCESS);
    EXPECT_EQ(driver_.FileCreateWithData(&media_, nullptr, "a.bmp", 0, "BM", 2), FS_SUCCESS);
    EXPECT_EQ(driver_.LocalPathClear(&media_), FS_SUCCESS);
  });
  EXPECT_EQ(Content("Bitmaps/a.bmp"), "BM");
  // The monitor's answers, mapped.
  EXPECT_EQ(driver_.FileCreateWithData(&media_, nullptr, "bad\x01name", 0, "x", 1), FS_BAD_ARGUMENT);
  monitor::fault_flash_full(true);
  std::string big(64 << 10, 'b');
  EXPECT_EQ(driver_.FileCreateWithData(&media_, nullptr, "big", 0, big.data(), static_cast<uint32_t>(big.size())),
            FS_NO_SPACE);
  EXPECT_EQ(monitor::restart_count(), 0u);  // compacting could not make room
  monitor::fault_flash_full(false);
}

TEST_F(FileSystemTest, WholeFileWriteRestartsWhenCompactingMakesRoom) {
  // Most of the flash held by a deleted file: only a restart gives it back.
  int32_t free = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
  ASSERT_EQ(mon_tfsadd("old", nullptr, nullptr, nullptr, static_cast<uint32_t>(free) - 4096), TFS_OKAY);
  ASSERT_EQ(mon_tfsunlink("old"), TFS_OKAY);
  std::string data(64 << 10, 'd');
  EXPECT_EQ(driver_.FileCreateWithData(&media_, nullptr, "data", 0, data.data(), static_cast<uint32_t>(data.size())),
            FS_NO_SPACE);
  EXPECT_EQ(monitor::restart_count(), 1u);
  uint32_t space = 0, total = 0;
  EXPECT_EQ(driver_.MediaSpaceAvailable(&media_, &space, &total), FS_SUCCESS);
  EXPECT_EQ(space, static_cast<uint32_t>(mon_tfsctrl(TFS_CTRL_FREE, 0, 0)));
  EXPECT_EQ(total, space + static_cast<uint32_t>(mon_tfsctrl(TFS_CTRL_DEAD, 0, 0)));
}

TEST_F(FileSystemTest, WatchdogHookDecidesAfterAWholeFileWrite) {
  static uint32_t answer;
  media_.watchdog_hook = [] { return answer; };
  answer = 1;
  mon_watchdog_enable(0);
  ASSERT_EQ(driver_.FileCreateWithData(&media_, nullptr, "a", 0, "a", 1), FS_SUCCESS);
  EXPECT_TRUE(monitor::watchdog_enabled());
  answer = 0;
  ASSERT_EQ(driver_.FileCreateWithData(&media_, nullptr, "a", 0, "b", 1), FS_SUCCESS);
  EXPECT_FALSE(monitor::watchdog_enabled());
}

TEST_F(FileSystemTest, MediaStates) {
  EXPECT_EQ(media_.id, FS_MEDIA_ID);
  EXPECT_EQ(driver_.MediaOpen(&media_, 1), FS_ALREADY_OPEN);
  uint32_t size = 0;
  EXPECT_EQ(driver_.MediaBufferSizeGet(&media_, &size), FS_SUCCESS);
  EXPECT_EQ(size, FS_FILE_BUFFER_SIZE);
  RunAs("web", [&] { EXPECT_EQ(driver_.MediaClose(&media_), FS_SUCCESS); });
  EXPECT_EQ(media_.id, 0u);
  fs_file f = NewFile();
  char* name = nullptr;
  EXPECT_EQ(driver_.FileOpen(&media_, &f, "a", FS_MODE_READ), FS_MEDIA_NOT_OPEN);
  EXPECT_EQ(driver_.FileDelete(&media_, "a"), FS_MEDIA_NOT_OPEN);
  EXPECT_EQ(driver_.DirectoryFirstEntryFind(&media_, &name), FS_MEDIA_NOT_OPEN);
  EXPECT_EQ(driver_.MediaClose(&media_), FS_MEDIA_NOT_OPEN);
  RunAs("web", [&] { EXPECT_EQ(driver_.MediaOpen(&media_, 2), FS_SUCCESS); });
  EXPECT_EQ(media_.parameter, 2u);
}

TEST_F(FileSystemTest, AnotherThreadInsideTheDriverMakesItBusy) {
  ASSERT_EQ(Add("a.txt", "a"), TFS_OKAY);
  static fs_media* media;
  static bool release;
  media = &media_;
  release = false;
  TX_THREAD holder{};
  std::vector<uint8_t> stack(16384);
  {
    rtos::cpu_scope scope;
    ASSERT_EQ(tx_thread_create(
                  &holder, const_cast<char*>("holder"),
                  [](ULONG) {
                    os_mutex_get(&media->lock, OS_WAIT_FOREVER);
                    while (!release) tx_thread_sleep(1);
                    os_mutex_put(&media->lock);
                  },
                  0, stack.data(), static_cast<ULONG>(stack.size()), 5, 5, 0, TX_AUTO_START),
              TX_SUCCESS);
  }
  rtos::advance(1);
  RunAs("web", [&] {
    fs_file f = NewFile();
    EXPECT_EQ(driver_.FileOpen(&media_, &f, "a.txt", FS_MODE_READ), FS_BUSY);
    EXPECT_EQ(driver_.FileDelete(&media_, "a.txt"), FS_BUSY);
    uint32_t attributes = 0, size = 0, d = 0;
    EXPECT_EQ(driver_.DirectoryInformationGet(&media_, "a.txt", &attributes, &size, &d, &d, &d), FS_BUSY);
  });
  // Start-up code outside any thread is turned away too while a thread is in.
  uint32_t attributes = 0;
  EXPECT_EQ(driver_.FileAttributesRead(&media_, "a.txt", &attributes), FS_BUSY);
  release = true;
  rtos::advance(2);
  EXPECT_EQ(driver_.FileAttributesRead(&media_, "a.txt", &attributes), FS_SUCCESS);
  rtos::cpu_scope scope;
  tx_thread_terminate(&holder);
  tx_thread_delete(&holder);
}

// ------------------------------------------------------------ current directories

class DirectoryTest : public FileSystemTest {
 protected:
  void SetUp() override {
    FileSystemTest::SetUp();
    for (const char* n : {"index.html", "Bitmaps/a.bmp", "Fonts/f.fnt", "Bitmaps/b.bmp", "Bitmaps/x/deep.bmp"})
      ASSERT_EQ(Add(n, n), TFS_OKAY);
  }
  std::vector<std::string> Walk() {
    std::vector<std::string> out;
    char* name = nullptr;
    for (fs_status st = driver_.DirectoryFirstEntryFind(&media_, &name); st == FS_SUCCESS;
         st = driver_.DirectoryNextEntryFind(&media_, &name))
      out.push_back(name);
    return out;
  }
};

TEST_F(DirectoryTest, EachThreadHasItsOwnCurrentDirectory) {
  fs_path_record bitmaps{}, fonts{};
  RunAs("web", [&] {
    ASSERT_EQ(driver_.LocalPathSet(&media_, &bitmaps, "Bitmaps/"), FS_SUCCESS);
    char* path = nullptr;
    ASSERT_EQ(driver_.LocalPathGet(&media_, &path), FS_SUCCESS);
    EXPECT_STREQ(path, "Bitmaps\\");
    EXPECT_STREQ(bitmaps.thread_name, "web");
    EXPECT_EQ(Walk(), (std::vector<std::string>{"Bitmaps/a.bmp", "Bitmaps/b.bmp"}));
  });
  RunAs("panel", [&] {
    ASSERT_EQ(driver_.LocalPathSet(&media_, &fonts, "./Fonts/"), FS_SUCCESS);
    char* path = nullptr;
    ASSERT_EQ(driver_.LocalPathGet(&media_, &path), FS_SUCCESS);
    EXPECT_STREQ(path, "Fonts\\");
    EXPECT_EQ(Walk(), (std::vector<std::string>{"Fonts/f.fnt"}));
  });
  // A thread without a record walks the root: names without a separator.
  RunAs("schedule", [&] {
    char* path = nullptr;
    EXPECT_EQ(driver_.LocalPathGet(&media_, &path), FS_NOT_FOUND);
    EXPECT_EQ(driver_.LocalPathClear(&media_), FS_NOT_FOUND);
    EXPECT_EQ(Walk(), (std::vector<std::string>{"index.html"}));
  });
  // The first thread still has its own; clearing it sends it to the root.
  RunAs("web", [&] {
    char* name = nullptr;
    uint32_t attributes = 0, size = 0, d1 = 0, d2 = 0, d3 = 0;
    ASSERT_EQ(driver_.DirectoryFirstFullEntryFind(&media_, &name, &attributes, &size, &d1, &d2, &d3), FS_SUCCESS);
    EXPECT_STREQ(name, "Bitmaps/a.bmp");
    EXPECT_EQ(size, 13u);
    EXPECT_EQ(d1, mon_tfsstat("Bitmaps/a.bmp")->mod_time);
    EXPECT_EQ(driver_.LocalPathClear(&media_), FS_SUCCESS);
    EXPECT_EQ(Walk(), (std::vector<std::string>{"index.html"}));
  });
  EXPECT_EQ(media_.local_paths.count, 1u);
}

TEST_F(DirectoryTest, RecordSetAgainIsNotListedTwice) {
  fs_path_record record{};
  RunAs("web", [&] {
    for (int i = 0; i < 5; ++i) ASSERT_EQ(driver_.LocalPathSet(&media_, &record, i % 2 ? "Fonts" : "Bitmaps/"), 0u);
    EXPECT_EQ(media_.local_paths.count, 1u);
    // A null path takes the default record's (the root).
    ASSERT_EQ(driver_.LocalPathSet(&media_, &record, nullptr), FS_SUCCESS);
    EXPECT_STREQ(record.path, "");
    EXPECT_EQ(driver_.LocalPathClear(&media_), FS_SUCCESS);
    EXPECT_EQ(media_.local_paths.count, 0u);
    char* path = nullptr;
    EXPECT_EQ(driver_.LocalPathGet(&media_, &path), FS_NOT_FOUND);
  });
  // Outside a thread there is no thread to keep a record for.
  EXPECT_EQ(driver_.LocalPathSet(&media_, &record, "Bitmaps/"), FS_NOT_SUPPORTED);
}

TEST_F(DirectoryTest, InformationOfAFileInTheCurrentDirectory) {
  fs_path_record record{};
  RunAs("web", [&] {
    uint32_t attributes = 9, size = 0, d1 = 0, d2 = 0, d3 = 0;
    // Without a record of its own the current directory is the root.
    EXPECT_EQ(driver_.DirectoryInformationGet(&media_, "Bitmaps/a.bmp", &attributes, &size, &d1, &d2, &d3),
              FS_BAD_ARGUMENT);
    EXPECT_EQ(driver_.DirectoryInformationGet(&media_, "index.html", &attributes, &size, &d1, &d2, &d3),
              FS_SUCCESS);
    EXPECT_EQ(size, 10u);
    ASSERT_EQ(driver_.LocalPathSet(&media_, &record, "Bitmaps\\"), FS_SUCCESS);
    EXPECT_EQ(driver_.DirectoryInformationGet(&media_, "Bitmaps/a.bmp", &attributes, &size, &d1, &d2, &d3),
              FS_SUCCESS);
    EXPECT_EQ(size, 13u);
    EXPECT_EQ(attributes, 0u);
    EXPECT_EQ(driver_.DirectoryInformationGet(&media_, "b.bmp", &attributes, &size, &d1, &d2, &d3), FS_SUCCESS);
    EXPECT_EQ(driver_.DirectoryInformationGet(&media_, "c.bmp", &attributes, &size, &d1, &d2, &d3), FS_NOT_FOUND);
    EXPECT_EQ(driver_.DirectoryInformationGet(&media_, "Fonts/f.fnt", &attributes, &size, &d1, &d2, &d3),
              FS_BAD_ARGUMENT);
    driver_.LocalPathClear(&media_);
  });
}

}  // namespace
