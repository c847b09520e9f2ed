// The boot monitor's start-up script "monrc" and the directory listing
// "//SD/<dir>": their bytes, the listing's patterns and its request check.
#include <cstring>
#include <string>

#include "database/files/file_directory.h"
#include "database/files/file_monrc.h"
#include "database/objects.h"
#include "files_fixture.h"
#include "frame/trace/trace.h"

namespace {

class ScriptFilesTest : public FilesTest {
 protected:
  void SetVolString(db_object o, const std::string& s) {
    ASSERT_EQ(db_->SetString(o.offset, 4, s.data(), static_cast<uint32_t>(s.size()), db_->mib_v, 0), DB_OK);
  }
  void SetVol(db_object o, uint32_t v) { ASSERT_EQ(db_->SetValue(o.offset, o.width, v, db_->mib_v, 0), DB_OK); }
  // The request as the file-transfer objects leave it: the name and its
  // CRC-16 (initial 0xFFFF, the raw register).
  void Request(const std::string& pattern, int crc_error = 0) {
    uint16_t crc = 0xFFFF;
    for (unsigned char c : pattern) {
      crc ^= c;
      for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    SetVolString(vol::fileTransferName, pattern);
    SetVol(vol::fileTransferNameCrc, static_cast<uint16_t>(crc + crc_error));
  }
  static uint32_t s_now;
  static uint32_t Now() { return s_now; }
};
uint32_t ScriptFilesTest::s_now = 0;

TEST_F(ScriptFilesTest, MonrcHoldsTheAddressesAndTheMacAddress) {
  struct Row {
    uint32_t ip, mask, gateway;
    const char* mac;  // null: no MAC address string
    uint32_t mac_length;
    const char* text;
  } rows[] = {
      {0xC0A80114, 0xFFFFFF00, 0xC0A80101, "\x00\x1A\x2B\x3C\x4D\x5E", 6,
       "set IPADD 192.168.1.20\r\nset NETMASK 255.255.255.0\r\nset GIPADD 192.168.1.1\r\n"
       "set ETHERADD 00:1A:2B:3C:4D:5E\r\n"},
      {0xC0A80114, 0xFFFFFF00, 0xC0A80101, nullptr, 0,
       "set IPADD 192.168.1.20\r\nset NETMASK 255.255.255.0\r\nset GIPADD 192.168.1.1\r\n"},
      {0, 0, 0, nullptr, 0, "set IPADD 0.0.0.0\r\nset NETMASK 0.0.0.0\r\nset GIPADD 0.0.0.0\r\n"},
      // Too short to be an address: left out rather than read past its end.
      {0x0A000001, 0xFF000000, 0x0A0000FE, "\xAB\xCD", 2,
       "set IPADD 10.0.0.1\r\nset NETMASK 255.0.0.0\r\nset GIPADD 10.0.0.254\r\n"},
  };
  for (const Row& r : rows) {
    SetVol(vol::ipAdEntAddr, r.ip);
    SetVol(vol::ipAdEntNetMask, r.mask);
    SetVol(vol::ipRouteDest, r.gateway);
    if (r.mac)
      SetVolString(vol::ifPhysAddress, std::string(r.mac, r.mac_length));
    else
      ASSERT_EQ(db_->SetString(vol::ifPhysAddress.offset, 4, nullptr, 0, db_->mib_v, 0), DB_OK);
    trace_capture cap;
    EXPECT_EQ(CFile_Monrc::Write(&g_fs_media, g_pFileSystemDriver), 1);
    EXPECT_EQ(cap.text(), " - Writing monrc\t\t\t\t\t[ OK ]\n");
    EXPECT_EQ(Content("monrc"), r.text);
    EXPECT_EQ(mon_tfsstat("monrc")->flags & TFS_FLAG_EXEC_SCRIPT, TFS_FLAG_EXEC_SCRIPT);
  }
  // A refused write is reported and leaves the file as it was.
  monitor::fault_flash_full(true);
  trace_capture cap;
  EXPECT_EQ(CFile_Monrc::Write(&g_fs_media, g_pFileSystemDriver), 0);
  EXPECT_EQ(cap.text(), " - Writing monrc\t\t\t\t\t[FAIL]\n");
  monitor::fault_flash_full(false);
  EXPECT_EQ(Content("monrc"), rows[3].text);
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
}

TEST(DirectoryPattern, MatchesWithinItsDirectory) {
  struct Row {
    std::string pattern;
    std::string name;
    int match;
  } rows[] = {
      {"Bitmaps/*.bmp", "Bitmaps/a.bmp", 1},
      {"Bitmaps/*.bmp", "Bitmaps/a.txt", 0},
      {"Bitmaps/*.bmp", "Other/b.bmp", 0},
      {"Bitmaps/*.bmp", "BitmapsX/a.bmp", 0},
      {"Bitmaps/*.bmp", "Bitmaps/noext", 0},
      {"Bitmaps/*", "Bitmaps/a.txt", 1},
      {"Bitmaps/*", "Other/a.txt", 0},
      {"Bitmaps/a.bmp", "Bitmaps/a.bmp", 1},
      {"Bitmaps/a.bmp", "Bitmaps/b.bmp", 0},
      {"Bitmaps/a.bmp", "a.bmp", 0},
      // Patterns the transfer client does not send: still answered, within
      // their bytes.
      {"*", "CONFIG.XML", 1},
      {"*.XML", "CONFIG.XML", 1},
      {"*.XML", "monrc", 0},
      {"*XML", "CONFIG.XML", 0},
      {"CONFIG.XML", "CONFIG.XML", 1},
      {"", "CONFIG.XML", 0},
      {"Bitmaps/", "Bitmaps/a.bmp", 0},
      {"/", "a", 0},
      {"Bitmaps/" + std::string(142, 'a'), "Bitmaps/" + std::string(142, 'a'), 1},
      // Only the first 150 bytes count.
      {"Bitmaps/" + std::string(142, 'a') + "zzz", "Bitmaps/" + std::string(142, 'a'), 1},
      {std::string(400, '*'), "x.y", 0},
      {std::string("Bitmaps/*\0.bmp", 14), "Bitmaps/a.txt", 1},
  };
  for (const Row& r : rows) {
    std::vector<char> exact(r.pattern.begin(), r.pattern.end());
    EXPECT_EQ(CFile_Directory::Matches(exact.data(), static_cast<uint32_t>(exact.size()), r.name.c_str()), r.match)
        << r.pattern << " / " << r.name;
  }
  EXPECT_EQ(CFile_Directory::Matches(nullptr, 0, "a"), 0);
  EXPECT_EQ(CFile_Directory::Matches("*", 1, nullptr), 0);
}

TEST(DirectoryDate, SecondsToCalendar) {
  struct Row {
    uint32_t seconds;
    file_date d;
  } rows[] = {
      {0, {1970, 1, 1, 0, 0, 0}},
      {1330956429, {2012, 3, 5, 14, 7, 9}},
      {951868799, {2000, 2, 29, 23, 59, 59}},
      {951868800, {2000, 3, 1, 0, 0, 0}},
      {0xFFFFFFFF, {2106, 2, 7, 6, 28, 15}},
  };
  for (const Row& r : rows) {
    file_date d = file_date_from_seconds(r.seconds);
    EXPECT_EQ(std::vector<uint32_t>({d.year, d.month, d.day, d.hour, d.minute, d.second}),
              std::vector<uint32_t>({r.d.year, r.d.month, r.d.day, r.d.hour, r.d.minute, r.d.second}))
        << r.seconds;
  }
}

TEST_F(ScriptFilesTest, ListingHasOneFixedWidthLinePerMatchingFile) {
  mon_tfsctrl(TFS_CTRL_HOOKS, reinterpret_cast<intptr_t>(&Now), 0);
  s_now = 1330956429;  // 5 March 2012 14:07:09
  ASSERT_EQ(Add("Bitmaps/a.bmp", std::string(4660, 'a')), TFS_OKAY);
  ASSERT_EQ(Add("Bitmaps/b.txt", "b"), TFS_OKAY);
  ASSERT_EQ(Add("Other/c.bmp", "c"), TFS_OKAY);
  s_now = 0;
  ASSERT_EQ(Add("Bitmaps/d.bmp", std::string(0x1F, 'd')), TFS_OKAY);
  mon_tfsctrl(TFS_CTRL_HOOKS, 0, 0);

  Request("Bitmaps/*.bmp");
  ASSERT_EQ(CFile_Directory::Write(&g_fs_media, g_pFileSystemDriver), 1);
  const std::string zeros(28, '0');
  EXPECT_EQ(Content("//SD/<dir>"), "00000080" + zeros + "20120305140709" + "00001234" + "Bitmaps/a.bmp\r\n" +
                                       "00000080" + zeros + "19700101000000" + "0000001F" + "Bitmaps/d.bmp\r\n");
  EXPECT_EQ(mon_tfsstat("//SD/<dir>")->flags & TFS_FLAG_V, TFS_FLAG_V);

  Request("Bitmaps/b.txt");
  ASSERT_EQ(CFile_Directory::Write(&g_fs_media, g_pFileSystemDriver), 1);
  EXPECT_EQ(Content("//SD/<dir>"), "00000080" + zeros + "20120305140709" + "00000001" + "Bitmaps/b.txt\r\n");

  // A name whose CRC does not match gets an empty listing, as does no name
  // (even with the CRC of no bytes).
  Request("Bitmaps/*", 1);
  ASSERT_EQ(CFile_Directory::Write(&g_fs_media, g_pFileSystemDriver), 1);
  EXPECT_EQ(Content("//SD/<dir>"), "");
  Request("");
  ASSERT_EQ(CFile_Directory::Write(&g_fs_media, g_pFileSystemDriver), 1);
  EXPECT_EQ(Content("//SD/<dir>"), "");
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);

  // Lines that do not fit are left out whole.
  Request("Bitmaps/*");
  char small[100];
  uint32_t length = 0;
  EXPECT_EQ(CFile_Directory::Build(small, sizeof small, &length), 0u);
  EXPECT_EQ(length, 8u + 28 + 14 + 8 + 13 + 2);
  EXPECT_EQ(CFile_Directory::Build(nullptr, 0, &length), 1u);
}

}  // namespace
