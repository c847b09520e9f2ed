// File transfer over SNMP: downloads in blocks, plain and zlib-compressed,
// executables stored as .EXE with the configuration kept, uploads read
// back in blocks with their CRCs, the whole-file CRC, delete, the directory
// listing, copy and move, and the idle time-out of a download.
#include <cstring>

#include "comm/tests/transfer_fixture.h"

namespace {

using xfer::Crc;
using xfer::Pattern;

TEST(TransferNames, CrcNamesAndAttributes) {
  // CRC-16 from 0xFFFF, neither complemented nor swapped: the catalogue's
  // check value of "123456789".
  EXPECT_EQ(0x6F91, Crc("123456789"));
  EXPECT_EQ(0xFFFF, Crc(""));

  struct {
    std::string in;
    const char* out;  // null: refused
  } names[] = {
      {"C\\Bitmaps\\a.bmp", "Bitmaps/a.bmp"},
      {"Bitmaps/a.bmp", "Bitmaps/a.bmp"},
      {"<dir>", "//SD/<dir>"},
      {"x<dir>C\\Bitmaps\\", "x//SD/<dir>Bitmaps/"},
      {std::string(200, 'n'), ""},
      {std::string(201, 'n'), nullptr},  // a cut name would address another file
      {std::string(190, 'n') + "<dir>", ""},     // 200 once normalised
      {std::string(191, 'n') + "<dir>", nullptr},  // 201 once normalised
      {std::string("CONFIG.XML\0junk", 15), nullptr},
      {"", nullptr},
  };
  for (const auto& c : names) {
    char out[XFER_NAME_MAX + 1];
    bool ok = CFileTransfer::NormaliseName(reinterpret_cast<const uint8_t*>(c.in.data()),
                                           static_cast<uint32_t>(c.in.size()), out);
    EXPECT_EQ(c.out != nullptr, ok) << c.in;
    if (c.out && *c.out) {
      EXPECT_STREQ(c.out, out);
    }
  }

  struct {
    const char* name;
    uint32_t base, attributes;
  } attrs[] = {
      {"a.txt", 0x4000, 0x4000},          {"//SD/<dir>", 0x4000, 0x6000}, {"//PR/x", 0, 0x40},
      {"CONFIG.XML", 0x4000, 0x4040},     {"APP.EXE", 0, 0x40},           {"CONFIG.BAK", 0x4000, 0x4000},
  };
  for (const auto& a : attrs) EXPECT_EQ(a.attributes, CFileTransfer::OpenAttributes(a.name, a.base)) << a.name;
}

TEST_F(TransferTest, PlainDownloadInBlocksThenUploadReadsItBack) {
  const std::string data = Pattern(2500);
  EXPECT_EQ(2u, Begin("C\\Bitmaps\\logo.bmp", 2500, 1000, 3));
  EXPECT_EQ(std::vector<uint32_t>{MSG_FRONT_PANEL_DISABLE}, TransferLetters());
  EXPECT_TRUE(g_file_transfer.Busy());
  // A block out of order is refused and the download goes on when it comes
  // with the right number.
  EXPECT_EQ(3u, Block(2, data.substr(1000, 1000)));
  EXPECT_EQ(2u, Block(1, data.substr(0, 1000)));
  EXPECT_EQ(2u, Block(2, data.substr(1000, 1000)));
  EXPECT_EQ(2u, Block(3, data.substr(2000)));
  // The agent's step never commits: that is the communication task's.
  EXPECT_EQ(0u, SetInt(xfer::kState, 6));
  EXPECT_EQ("<none>", Flash("Bitmaps/logo.bmp"));
  EXPECT_TRUE(rtos::run_in_thread([] { g_file_transfer.StateWritten(); }));
  EXPECT_EQ(2u, State());
  EXPECT_EQ(data, Flash("Bitmaps/logo.bmp"));
  EXPECT_EQ((std::vector<uint32_t>{MSG_FRONT_PANEL_ENABLE, MSG_FILE_TRANSFER_DONE}), TransferLetters());
  EXPECT_EQ(1u, Locks());
  EXPECT_EQ(1u, Unlocks());
  EXPECT_FALSE(g_file_transfer.HoldsBuffer());
  EXPECT_EQ(0u, g_gpbuffer.BuffersOut());

  // Both spellings of the bitmap directory name the same file.
  EXPECT_EQ(data, Upload("Bitmaps/logo.bmp", 1000));
  EXPECT_EQ(data, Upload("C\\Bitmaps\\logo.bmp", 700));
  // Block count + 1 and block 0 are refused.
  SetInt(xfer::kBlockSize, 700);
  for (uint32_t n : {0u, 5u}) {
    SetInt(xfer::kBlockNumber, n);
    EXPECT_EQ(3u, Command(8)) << n;
  }
}

// A plain download commits only when every declared byte came: a short one
// is refused and writes nothing, the file in flash stays.
TEST_F(TransferTest, PlainDownloadCommitsOnlyTheDeclaredBytes) {
  struct {
    const char* what;
    uint32_t declared, block_size, blocks;
    std::vector<std::string> data;
    uint32_t state;
  } cases[] = {
      {"one block short of the size", 100, 64, 1, {"sixty bytes or so"}, 3},
      {"two blocks, one byte short", 100, 64, 2, {std::string(64, 'a'), std::string(35, 'b')}, 3},
      {"exactly the size", 100, 64, 2, {std::string(64, 'a'), std::string(36, 'b')}, 2},
  };
  for (const auto& c : cases) {
    Put("short.txt", "the old file", "");
    ASSERT_EQ(2u, Begin("short.txt", c.declared, c.block_size, c.blocks)) << c.what;
    for (uint32_t n = 0; n < c.data.size(); ++n) ASSERT_EQ(2u, Block(n + 1, c.data[n])) << c.what;
    EXPECT_EQ(c.state, Commit()) << c.what;
    std::string all;
    for (const std::string& d : c.data) all += d;
    EXPECT_EQ(c.state == 2 ? all : std::string("the old file"), Flash("short.txt")) << c.what;
    EXPECT_FALSE(g_file_transfer.HoldsBuffer()) << c.what;
    EXPECT_EQ(0u, g_gpbuffer.BuffersOut()) << c.what;
  }
}

TEST_F(TransferTest, CompressedDownloadWritesTheInflatedLength) {
  const std::string plain = Pattern(1500, 7) + std::string(30000, 'A') + Pattern(900, 9);
  const std::string packed = xfer::Deflate(plain);
  ASSERT_EQ('\x78', packed[0]);
  ASSERT_EQ('\xDA', packed[1]);
  ASSERT_LT(packed.size(), plain.size());
  EXPECT_EQ(2u, Download("big.dat", packed, 512));
  EXPECT_EQ(plain, Flash("big.dat"));
  EXPECT_EQ(plain, Upload("big.dat"));
}

TEST_F(TransferTest, ExecutablesAreStoredAsExeAndKeepTheConfiguration) {
  const std::string config = "<config>kept</config>";
  Put("CONFIG.XML", config, "p");
  const std::string elf = std::string("\x7F" "ELF", 4) + Pattern(3000, 3);
  EXPECT_EQ(2u, Download("APP.BIN", elf, 1024));
  EXPECT_EQ("<none>", Flash("APP.BIN"));
  EXPECT_EQ(elf, Flash("APP.EXE"));
  EXPECT_EQ(TFS_FLAG_BOOT | TFS_FLAG_EXEC_IMAGE | TFS_FLAG_P, FlashFlags("APP.EXE"));
  EXPECT_EQ(config, Flash("CONFIG.XML"));
  EXPECT_EQ(TFS_FLAG_P, FlashFlags("CONFIG.XML"));
  EXPECT_EQ("<none>", Flash("CONFIG.BAK"));

  // A name ending in .EXE whose data are no ELF image fails at the commit
  // and the image in flash stays.
  TransferLetters();
  EXPECT_EQ(3u, Download("APP.EXE", Pattern(800, 4), 400));
  EXPECT_EQ(elf, Flash("APP.EXE"));
  EXPECT_EQ(std::vector<uint32_t>({MSG_FRONT_PANEL_DISABLE, MSG_FRONT_PANEL_ENABLE}), TransferLetters());
  EXPECT_EQ(0u, g_gpbuffer.BuffersOut());

  // The boot monitor's start-up file and the configuration get their flags.
  EXPECT_EQ(2u, Download("monrc", "set IPADD 10.0.0.9\n"));
  EXPECT_EQ(TFS_FLAG_EXEC_SCRIPT, FlashFlags("monrc"));
  EXPECT_EQ(2u, Download("CONFIG.XML", "<config>new</config>"));
  EXPECT_EQ(TFS_FLAG_P, FlashFlags("CONFIG.XML"));
}

TEST_F(TransferTest, FileCrcDeleteListingCopyAndMove) {
  const std::string a = Pattern(3000, 11);
  Put("Bitmaps/a.bmp", a);
  Put("Bitmaps/b.bmp", "bee");
  Put("notes.txt", "top level");

  // CRC of a whole file, in and out of a directory.
  SetData("C\\Bitmaps\\a.bmp");
  EXPECT_EQ(2u, Command(9));
  EXPECT_EQ(3000u, V(vol::quorFileTransferFileSize));
  EXPECT_EQ(Crc(a), V(vol::fileTransferNameCrc));
  SetData("notes.txt");
  EXPECT_EQ(2u, Command(9));
  EXPECT_EQ(Crc("top level"), V(vol::fileTransferNameCrc));
  SetData("missing.txt");
  EXPECT_EQ(3u, Command(9));

  // The listing of a pattern, fetched as "<dir>".
  SetData("Bitmaps/*");
  SetInt(xfer::kCrc, Crc("Bitmaps/*"));
  EXPECT_EQ(2u, Command(11));
  std::string listing = Upload("<dir>", 256);
  EXPECT_NE(std::string::npos, listing.find("Bitmaps/a.bmp\r\n"));
  EXPECT_NE(std::string::npos, listing.find("Bitmaps/b.bmp\r\n"));
  EXPECT_EQ(std::string::npos, listing.find("notes.txt"));

  // Copy: select the source with its name's CRC, then the destination.
  auto select = [&](const std::string& name, int crc_error = 0) {
    SetData(name);
    SetInt(xfer::kCrc, static_cast<uint16_t>(Crc(name) + crc_error));
    return Command(12);
  };
  auto to = [&](const std::string& name, uint32_t command) {
    SetData(name);
    SetInt(xfer::kCrc, Crc(name));
    return Command(command);
  };
  EXPECT_EQ(2u, select("C\\Bitmaps\\a.bmp"));
  EXPECT_EQ(2u, to("Bitmaps/copy.bmp", 14));
  EXPECT_EQ(a, Flash("Bitmaps/copy.bmp"));
  EXPECT_EQ(a, Flash("Bitmaps/a.bmp"));
  // The selection serves one command only.
  EXPECT_EQ(3u, to("Bitmaps/again.bmp", 14));
  EXPECT_EQ("<none>", Flash("Bitmaps/again.bmp"));

  // Move.
  EXPECT_EQ(2u, select("Bitmaps/copy.bmp"));
  EXPECT_EQ(2u, to("moved.bmp", 13));
  EXPECT_EQ(a, Flash("moved.bmp"));
  EXPECT_EQ("<none>", Flash("Bitmaps/copy.bmp"));

  // Delete.
  TransferLetters();
  SetData("moved.bmp");
  SetInt(xfer::kBlockSize, 1);
  EXPECT_EQ(2u, Command(10));
  EXPECT_EQ("<none>", Flash("moved.bmp"));
  EXPECT_EQ(std::vector<uint32_t>{MSG_FILE_TRANSFER_DONE}, TransferLetters());
  EXPECT_EQ(3u, Command(10));

  // What a move or copy refuses; the files stay as they were.
  struct {
    const char* what;
    std::function<uint32_t()> run;
  } refused[] = {
      {"move without a selection", [&] { return to("x.bmp", 13); }},
      {"source name with a wrong CRC", [&] { return select("Bitmaps/a.bmp", 1); }},
      {"source that does not exist", [&] { return select("Bitmaps/none.bmp"); }},
      {"destination with a wrong CRC",
       [&] {
         select("Bitmaps/a.bmp");
         SetData("x.bmp");
         SetInt(xfer::kCrc, static_cast<uint16_t>(Crc("x.bmp") + 1));
         return Command(13);
       }},
      {"move onto itself",
       [&] {
         select("Bitmaps/a.bmp");
         return to("C\\Bitmaps\\a.bmp", 13);
       }},
      {"copy onto an existing file",
       [&] {
         select("Bitmaps/a.bmp");
         return to("notes.txt", 14);
       }},
      {"delete with block size 0",
       [&] {
         SetData("notes.txt");
         SetInt(xfer::kBlockSize, 0);
         return Command(10);
       }},
  };
  for (const auto& c : refused) EXPECT_EQ(3u, c.run()) << c.what;
  EXPECT_EQ(a, Flash("Bitmaps/a.bmp"));
  EXPECT_EQ("top level", Flash("notes.txt"));
  EXPECT_EQ("<none>", Flash("x.bmp"));

  // A state above the commands does nothing (the registry refuses it).
  EXPECT_EQ(3u, SetInt(xfer::kState, 15));
}

TEST_F(TransferTest, UploadBlockCounts) {
  Put("k.bin", Pattern(2048));
  Put("empty.bin", "");
  struct {
    const char* name;
    uint32_t block_size, state, blocks;
  } cases[] = {
      {"k.bin", 1024, 2, 2}, {"k.bin", 1000, 2, 3}, {"k.bin", 1, 2, 2048}, {"empty.bin", 512, 2, 0},
      {"k.bin", 0, 3, 0},    {"none.bin", 512, 3, 0},
  };
  for (const auto& c : cases) {
    SetData(c.name);
    SetInt(xfer::kBlockNumber, 0);
    SetInt(xfer::kBlockSize, c.block_size);
    EXPECT_EQ(c.state, Command(7)) << c.name << " " << c.block_size;
    if (c.state == 2) {
      EXPECT_EQ(c.blocks, V(vol::quorFileTransferBlockNumber)) << c.name << " " << c.block_size;
    }
  }
  // A block beyond 1024 bytes never reaches the transfer.
  EXPECT_EQ(3u, SetInt(xfer::kBlockSize, 1025));
  EXPECT_EQ(Pattern(2048), Upload("k.bin", 1024));
}

TEST_F(TransferTest, AnIdleDownloadIsDroppedAfterItsTimeOut) {
  EXPECT_EQ(2u, Begin("slow.txt", 10, 10, 1));
  TransferLetters();
  for (uint32_t i = 0; i < XFER_IDLE_STEPS; ++i) g_file_transfer.IdleStep();
  EXPECT_EQ(2u, State());
  EXPECT_TRUE(g_file_transfer.HoldsBuffer());
  EXPECT_TRUE(rtos::run_in_thread([] { g_file_transfer.IdleStep(); }));
  EXPECT_EQ(0u, State());
  EXPECT_FALSE(g_file_transfer.HoldsBuffer());
  EXPECT_FALSE(g_file_transfer.Busy());
  EXPECT_EQ(0u, g_gpbuffer.BuffersOut());
  EXPECT_EQ(std::vector<uint32_t>{MSG_FRONT_PANEL_ENABLE}, TransferLetters());
  // A command restarts the count; without a download nothing is counted.
  g_file_transfer.IdleStep();
  EXPECT_EQ(0u, State());
}

}  // namespace
