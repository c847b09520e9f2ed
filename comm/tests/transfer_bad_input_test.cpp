// Downloads a manager gets wrong: each is refused with state 3, the good
// file of that name stays as it was, and after a reset nothing is left
// held (work buffer, front panel).
#include <algorithm>
#include <functional>

#include "comm/tests/transfer_fixture.h"

namespace {

using xfer::Pattern;

class TransferBadInputTest : public TransferTest {
 protected:
  const std::string good_ = "<config>good</config>";
  const std::string next_ = Pattern(2000, 5);
};

TEST_F(TransferBadInputTest, RefusedDownloadsNeverReplaceTheGoodFile) {
  const std::string packed = xfer::Deflate(next_);
  std::string corrupt = packed;
  corrupt[10] = static_cast<char>(corrupt[10] ^ 0x55);
  corrupt[11] = static_cast<char>(corrupt[11] ^ 0x55);

  struct bad {
    const char* what;
    std::function<uint32_t()> run;  // the state the failing step leaves
  };
  const bad cases[] = {
      {"file size 0", [&] { return Begin("CONFIG.XML", 0, 1000, 2); }},
      {"file size above the work buffer", [&] { return Begin("CONFIG.XML", XFER_BUFFER_SIZE + 1, 1000, 2); }},
      {"file size negative", [&] { return Begin("CONFIG.XML", 0x80000000u, 1000, 2); }},
      {"block size 0", [&] { return Begin("CONFIG.XML", 2000, 0, 2); }},
      {"no blocks", [&] { return Begin("CONFIG.XML", 2000, 1000, 0); }},
      {"empty name", [&] { return Begin("", 2000, 1000, 2); }},
      {"name of 201 bytes", [&] { return Begin(std::string(201, 'C'), 2000, 1000, 2); }},
      {"name too long for the flash", [&] { return Begin(std::string(64, 'C'), 2000, 1000, 2); }},
      {"name with a backslash", [&] { return Begin("Bitmaps\\CONFIG.XML", 2000, 1000, 2); }},
      {"name with a control byte", [&] { return Begin("CONFIG.XML\n", 2000, 1000, 2); }},
      {"name with a NUL byte", [&] { return Begin(std::string("CONFIG.XML\0x", 12), 2000, 1000, 2); }},
      {"first block numbered 2",
       [&] {
         Begin("CONFIG.XML", 2000, 1000, 2);
         return Block(2, next_.substr(1000));
       }},
      {"block past the end",
       [&] {
         Begin("CONFIG.XML", 2000, 1000, 2);
         Block(1, next_.substr(0, 1000));
         Block(2, next_.substr(1000));
         return Block(3, "more");
       }},
      {"block with a wrong CRC",
       [&] {
         Begin("CONFIG.XML", 2000, 1000, 2);
         return Block(1, next_.substr(0, 1000), 1);
       }},
      {"plain blocks beyond the declared size",
       [&] {
         Begin("CONFIG.XML", 1500, 1000, 2);
         Block(1, next_.substr(0, 1000));
         return Block(2, next_.substr(1000));
       }},
      {"corrupt zlib stream",
       [&] {
         auto blocks = Split(corrupt, 16);
         Begin("CONFIG.XML", static_cast<uint32_t>(corrupt.size()), 16, static_cast<uint32_t>(blocks.size()));
         uint32_t s = 2;
         for (uint32_t i = 0; i < blocks.size() && s == 2; ++i) s = Block(i + 1, blocks[i]);
         return s == 2 ? Commit() : s;
       }},
      {"truncated zlib stream",
       [&] {
         std::string cut = packed.substr(0, packed.size() - 6);
         auto blocks = Split(cut, 100);
         Begin("CONFIG.XML", static_cast<uint32_t>(cut.size()), 100, static_cast<uint32_t>(blocks.size()));
         for (uint32_t i = 0; i < blocks.size(); ++i)
           if (Block(i + 1, blocks[i]) != 2) return 9u;
         return Commit();
       }},
      {"commit before the last block",
       [&] {
         Begin("CONFIG.XML", 2000, 1000, 2);
         Block(1, next_.substr(0, 1000));
         return Commit();
       }},
      {"commit without a download", [&] { return Commit(); }},
  };
  for (const bad& c : cases) {
    Put("CONFIG.XML", good_, "p");
    EXPECT_EQ(3u, c.run()) << c.what;
    EXPECT_EQ(good_, Flash("CONFIG.XML")) << c.what;
    // A reset gives back what the download held.
    EXPECT_EQ(0u, SetInt(xfer::kState, 0)) << c.what;
    EXPECT_FALSE(g_file_transfer.HoldsBuffer()) << c.what;
    EXPECT_FALSE(g_file_transfer.Busy()) << c.what;
    EXPECT_EQ(0u, g_gpbuffer.BuffersOut()) << c.what;
    std::vector<uint32_t> letters = TransferLetters();
    EXPECT_EQ(std::count(letters.begin(), letters.end(), MSG_FRONT_PANEL_DISABLE),
              std::count(letters.begin(), letters.end(), MSG_FRONT_PANEL_ENABLE))
        << c.what;
    EXPECT_EQ(0, std::count(letters.begin(), letters.end(), MSG_FILE_TRANSFER_DONE)) << c.what;
  }
  // A block without a download is passed over.
  EXPECT_EQ(5u, Block(1, "stray"));
  EXPECT_EQ(good_, Flash("CONFIG.XML"));
  // After all that the same download goes through.
  EXPECT_EQ(2u, Download("CONFIG.XML", next_));
  EXPECT_EQ(next_, Flash("CONFIG.XML"));
}

TEST_F(TransferBadInputTest, CompressedOutputBeyondTheWorkBufferIsRefused) {
  // 2 MiB and a little more of zeros packs into a few kilobytes.
  const std::string packed = xfer::Deflate(std::string(XFER_BUFFER_SIZE + 4096, '\0'));
  auto blocks = Split(packed, 1024);
  ASSERT_EQ(2u, Begin("huge.bin", static_cast<uint32_t>(packed.size()), 1024, static_cast<uint32_t>(blocks.size())));
  uint32_t s = 2;
  for (uint32_t i = 0; i < blocks.size() && s == 2; ++i) s = Block(i + 1, blocks[i]);
  if (s == 2) s = Commit();
  EXPECT_EQ(3u, s);
  EXPECT_EQ("<none>", Flash("huge.bin"));
  EXPECT_EQ(0u, SetInt(xfer::kState, 0));
  EXPECT_EQ(0u, g_gpbuffer.BuffersOut());
}

TEST_F(TransferBadInputTest, FilesLargerThanTheFlash) {
  // Leave less than a megabyte of the 8 MiB flash free.
  uint32_t fill = 0;
  {
    rtos::cpu_scope scope;
    fill = static_cast<uint32_t>(mon_tfsctrl(TFS_CTRL_FREE, 0, 0)) - (512u << 10);
    ASSERT_EQ(TFS_OKAY, mon_tfsadd("FILL", "", "", nullptr, fill));
  }
  const uint32_t restarts = monitor::restart_count();
  // Beyond what even a defragmented flash would give: refused at once.
  EXPECT_EQ(3u, Begin("big.dat", 1u << 20, 1024, 1024));
  EXPECT_EQ(restarts, monitor::restart_count());
  EXPECT_FALSE(g_file_transfer.HoldsBuffer());
  // Room only once deleted files are reclaimed: the controller restarts to
  // defragment, and the download must be begun again.
  {
    rtos::cpu_scope scope;
    ASSERT_EQ(TFS_OKAY, mon_tfsunlink("FILL"));
  }
  EXPECT_EQ(3u, Begin("big.dat", 1u << 20, 1024, 1024));
  EXPECT_EQ(restarts + 1, monitor::restart_count());
  EXPECT_FALSE(g_file_transfer.HoldsBuffer());
  EXPECT_EQ(0u, g_gpbuffer.BuffersOut());
}

}  // namespace
