// The data-key jobs against the board's key model: save, scan and install
// round trips, damaged and hostile keys, pulled keys and failing erases, and
// the single worker.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "board_fixture.h"
#include "frame/datakey/datakey_jobs.h"

namespace {

using J = CDataKeyJobs;

// Flash files in memory.
class FakeFlash : public DataKeyFlash {
 public:
  struct File {
    std::vector<uint8_t> data;
    uint32_t flags = 0;
    uint32_t time = 0;
  };
  std::map<std::string, File> files;
  std::string firmware = "SIGN.EXE";
  bool fail_create = false;
  std::vector<uint8_t> block = std::vector<uint8_t>(J::BLOCK + 64, 0xA5);
  int blocks_out = 0;
  int quiet = 0;

  bool FirmwareFile(std::string* name) override {
    *name = firmware;
    return !firmware.empty();
  }
  bool Exists(const std::string& name) override { return files.count(name) != 0; }
  bool Load(const std::string& name, std::vector<uint8_t>* data, uint32_t* flags, uint32_t* time) override {
    auto it = files.find(name);
    if (it == files.end()) return false;
    *data = it->second.data;
    *flags = it->second.flags;
    *time = it->second.time;
    return true;
  }
  bool Create(const std::string& name, uint32_t flags, const uint8_t* data, uint32_t size) override {
    if (fail_create) return false;
    files[name] = {std::vector<uint8_t>(data, data + size), flags, 0};
    return true;
  }
  bool Remove(const std::string& name) override { return files.erase(name) != 0; }
  uint8_t* TakeBlock() override {
    if (blocks_out) return nullptr;
    ++blocks_out;
    return block.data();
  }
  void ReleaseBlock(uint8_t*) override { --blocks_out; }
  void Quiet(bool on) override { quiet += on ? 1 : -1; }
};

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * seed) >> 3);
  return v;
}

// A record as a foreign writer might lay it down: any declared size.
std::vector<uint8_t> Record(const char* name, const std::vector<uint8_t>& data, uint32_t next, uint32_t declared) {
  std::vector<uint8_t> body(compressBound(data.size()));
  uLongf n = body.size();
  compress2(body.data(), &n, data.data(), data.size(), 9);
  body.resize(n);
  DataKeyRecord h;
  h.body_size = static_cast<uint32_t>(n);
  h.flags = 0x8040;
  h.body_crc = data_key_crc32(body.data(), h.body_size, 0);
  std::snprintf(h.name, sizeof(h.name), "%s", name);
  std::snprintf(h.info, sizeof(h.info), "7.7");
  h.size = declared;
  h.header_crc = h.ComputeHeaderCrc();
  h.next = next;
  std::vector<uint8_t> out(DataKeyRecord::HEADER);
  h.Encode(out.data());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

class DataKeyJobsTest : public BoardTest {
 protected:
  void SetUp() override {
    board::board_config c;
    c.datakey.inserted = true;
    c.datakey.size = 1u << 20;
    StartBoard(c);
    key().set_timing(1, 5);
    flash.files["SIGN.EXE"] = {Pattern(300000, 7), 0x400540, 0x12345678};
    flash.files["CONFIG.XML"] = {Pattern(5000, 3), 0x400000, 42};
  }
  board::datakey_memory& key() { return board::datakey_key(); }
  void InThread(const std::function<void()>& fn) { ASSERT_TRUE(rtos::run_in_thread(fn)); }
  void Save() { InThread([&] { jobs.SaveToKey(); }); }
  void Check() { InThread([&] { jobs.KeyCheck(); }); }
  uint32_t Get32(uint32_t at) {
    auto b = key().peek(at, 4);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
  }

  CDataKeyMedium medium;
  FakeFlash flash;
  CDataKeyJobs jobs{&medium, &flash};
};

TEST_F(DataKeyJobsTest, SaveScanAndInstallRoundTrip) {
  Save();
  EXPECT_EQ(jobs.GetState(), J::SUCCESS);
  EXPECT_EQ(flash.blocks_out, 0);
  // Two records: firmware at 0, CONFIG.XML at the next page boundary, last.
  uint32_t body = Get32(4), next = Get32(24);
  EXPECT_EQ(next, (body + 475) & ~255u);
  EXPECT_EQ(Get32(8), 0x400540u | 0x8040u);  // the CRC flag is never stored
  EXPECT_EQ(Get32(20), 0x12345678u);
  EXPECT_EQ(Get32(next + 24), 0xFFFFFFFFu);

  jobs.SetState(J::NO_KEY);
  Check();
  ASSERT_EQ(jobs.GetState(), J::RECORDS);
  ASSERT_EQ(jobs.Table().size(), 2u);
  EXPECT_EQ(jobs.Table()[1].offset, next);
  EXPECT_TRUE(jobs.HasFirmware());
  EXPECT_TRUE(jobs.HasConfig());
  EXPECT_FALSE(jobs.HasHex());
  EXPECT_EQ(jobs.KeyVersion(), "1.9.4588.42");

  // Install the configuration over a changed one.
  std::vector<uint8_t> config = flash.files["CONFIG.XML"].data;
  flash.files["CONFIG.XML"].data = {1, 2, 3};
  jobs.SetState(J::RECORDS);
  InThread([&] { jobs.UpdateConfig(); });
  EXPECT_EQ(jobs.GetState(), J::SUCCESS);
  EXPECT_EQ(flash.files["CONFIG.XML"].data, config);
  EXPECT_EQ(flash.files["CONFIG.XML"].flags, 0x408000u);  // the key's own flag cleared

  // Firmware: the existing configuration is folded back with flag "p".
  std::vector<uint8_t> firmware = flash.files["SIGN.EXE"].data;
  flash.files["SIGN.EXE"].data = {9};
  flash.files["CONFIG.XML"] = {{4, 5, 6}, 0, 0};
  jobs.SetState(J::RECORDS);
  InThread([&] { jobs.UpdateFirmware(); });
  EXPECT_EQ(jobs.GetState(), J::SUCCESS);
  EXPECT_EQ(flash.files["SIGN.EXE"].data, firmware);
  EXPECT_EQ(flash.files["CONFIG.XML"].data, (std::vector<uint8_t>{4, 5, 6}));
  EXPECT_EQ(flash.files["CONFIG.XML"].flags, uint32_t(DataKeyRecord::FLAG_P));
  EXPECT_FALSE(flash.Exists("CONFIG.BAK"));
  EXPECT_EQ(flash.quiet, 0);
  EXPECT_EQ(flash.blocks_out, 0);
}

TEST_F(DataKeyJobsTest, FailedFirmwareInstallStillFoldsTheBackupBack) {
  Save();
  jobs.SetState(J::NO_KEY);
  Check();
  flash.files["CONFIG.XML"] = {{4, 5, 6}, 0, 0};
  key().poke(300, {0x00});  // inside the firmware body
  InThread([&] { jobs.UpdateFirmware(); });
  EXPECT_EQ(jobs.GetState(), J::CRC_ERROR);
  EXPECT_EQ(flash.files["CONFIG.XML"].data, (std::vector<uint8_t>{4, 5, 6}));
  EXPECT_FALSE(flash.Exists("CONFIG.BAK"));
}

TEST_F(DataKeyJobsTest, DamagedKeys) {
  struct Row {
    const char* what;
    uint32_t where;  // 0xFFFFFFFF: erase the whole key
    uint8_t state;
    size_t records;
  } rows[] = {
      {"erased", 0xFFFFFFFF, J::EMPTY, 0},
      {"first header", 40, J::EMPTY, 0},
      {"second header", 0, J::RECORDS, 1},  // offset filled in below
  };
  for (Row r : rows) {
    SCOPED_TRACE(r.what);
    key().poke(0, std::vector<uint8_t>(key().size(), 0xFF));
    if (r.where != 0xFFFFFFFF) {
      Save();
      uint32_t at = r.where ? r.where : Get32(24) + 40;
      key().poke(at, {static_cast<uint8_t>(key().peek(at, 1)[0] ^ 1)});
    }
    jobs.SetState(J::NO_KEY);
    Check();
    EXPECT_EQ(jobs.GetState(), r.state);
    EXPECT_EQ(jobs.Table().size(), r.records);
    EXPECT_FALSE(jobs.HasConfig());
  }
}

TEST_F(DataKeyJobsTest, InflateNeverWritesPastTheDeclaredSize) {
  std::vector<uint8_t> data = Pattern(4000, 5);
  for (uint32_t declared : {1000u, 3999u}) {
    SCOPED_TRACE(declared);
    key().poke(0, std::vector<uint8_t>(key().size(), 0xFF));
    std::vector<uint8_t> record = Record("CONFIG.XML", data, 0xFFFFFFFF, declared);
    key().poke(0, record);
    std::fill(flash.block.begin(), flash.block.end(), 0xA5);
    jobs.SetState(J::NO_KEY);
    Check();
    ASSERT_EQ(jobs.GetState(), J::RECORDS);
    InThread([&] { jobs.UpdateConfig(); });
    EXPECT_EQ(jobs.GetState(), J::COMPRESSION_ERROR);
    // Behind the file lies the compressed body, read there and never
    // overwritten by the output.
    EXPECT_TRUE(std::equal(record.begin() + DataKeyRecord::HEADER, record.end(), flash.block.begin() + declared));
    EXPECT_EQ(flash.files["CONFIG.XML"].data.size(), 5000u);
  }
  // A record that claims the whole block is refused outright.
  key().poke(0, std::vector<uint8_t>(key().size(), 0xFF));
  key().poke(0, Record("CONFIG.XML", data, 0xFFFFFFFF, J::BLOCK));
  jobs.SetState(J::NO_KEY);
  Check();
  InThread([&] { jobs.UpdateConfig(); });
  EXPECT_EQ(jobs.GetState(), J::COMPRESSION_ERROR);
  EXPECT_EQ(flash.blocks_out, 0);
}

TEST_F(DataKeyJobsTest, ScanIsBoundedAndNeedsIncreasingOffsets) {
  std::vector<uint8_t> data = Pattern(100, 3);
  struct Row {
    const char* what;
    std::vector<uint32_t> nexts;  // records at 0, 0x1000, 0x2000, ...
    size_t records;
  } rows[] = {
      {"loops to itself", {0}, 1},
      {"runs backwards", {0x1000, 0}, 2},
      {"into its own body", {0x10}, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    key().poke(0, std::vector<uint8_t>(key().size(), 0xFF));
    for (size_t i = 0; i < r.nexts.size(); ++i) key().poke(i * 0x1000, Record("A.HEX", data, r.nexts[i], 100));
    jobs.SetState(J::NO_KEY);
    Check();
    EXPECT_EQ(jobs.GetState(), J::RECORDS);
    EXPECT_EQ(jobs.Table().size(), r.records);
  }
  // A long well-formed chain fills the table and stops.
  key().poke(0, std::vector<uint8_t>(key().size(), 0xFF));
  for (uint32_t i = 0; i < J::MAX_RECORDS + 5; ++i) key().poke(i * 0x400, Record("A.HEX", data, (i + 1) * 0x400, 100));
  jobs.SetState(J::NO_KEY);
  Check();
  EXPECT_EQ(jobs.Table().size(), J::MAX_RECORDS);
  EXPECT_TRUE(jobs.HasHex());
}

TEST_F(DataKeyJobsTest, HexUpdateClearsFlagP) {
  key().poke(0, Record("SIGNS.HEX", Pattern(700, 9), 0xFFFFFFFF, 700));
  Check();
  InThread([&] { jobs.UpdateHexFiles(); });
  EXPECT_EQ(jobs.GetState(), J::SUCCESS);
  EXPECT_EQ(flash.files["SIGNS.HEX"].data, Pattern(700, 9));
  EXPECT_EQ(flash.files["SIGNS.HEX"].flags, 0x8000u);
}

TEST_F(DataKeyJobsTest, FailuresEndInTheirStates) {
  struct Row {
    const char* what;
    std::function<void()> arrange;
    uint8_t state;
  } rows[] = {
      {"no config", [&] { flash.files.erase("CONFIG.XML"); }, J::NOT_FOUND},
      {"key pulled while writing", [&] { board::datakey().remove_after(2000); }, J::REMOVED},
      {"erase never ends", [&] { key().set_stuck_busy(true); }, J::REMOVED},
      {"no block", [&] { flash.blocks_out = 1; }, J::NO_MEMORY},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    r.arrange();
    Save();
    EXPECT_EQ(jobs.GetState(), r.state);
    EXPECT_EQ(flash.quiet, 0);
    flash.blocks_out = 0;
    TearDown();
    SetUp();
  }
  Save();
  jobs.SetState(J::NO_KEY);
  Check();
  flash.fail_create = true;
  InThread([&] { jobs.UpdateConfig(); });
  EXPECT_EQ(jobs.GetState(), J::WRITE_ERROR);
}

TEST_F(DataKeyJobsTest, PullingTheKeyNeverStartsASecondWorker) {
  Save();
  jobs.SetState(J::NO_KEY);
  Check();
  ASSERT_EQ(jobs.GetState(), J::RECORDS);
  ASSERT_TRUE(jobs.StartWorker(J::UPDATE_CONFIG));
  EXPECT_FALSE(jobs.StartWorker(J::SAVE));
  rtos::advance(3);  // the worker is powering the key
  board::datakey().remove();
  Check();
  EXPECT_EQ(jobs.GetState(), J::NO_KEY);
  board::datakey().insert(&key());
  Check();
  // No rescan while the old worker lives, so nothing to start.
  EXPECT_EQ(jobs.GetState(), J::NO_KEY);
  EXPECT_FALSE(jobs.StartWorker(J::SAVE));
  for (int i = 0; i < 200 && jobs.GetState() < J::SUCCESS; ++i) rtos::advance(10);
  EXPECT_GE(jobs.GetState(), J::SUCCESS);
  rtos::advance(2);
  EXPECT_TRUE(jobs.StopWorker());
  EXPECT_FALSE(jobs.WorkerAlive());
  Check();
  EXPECT_EQ(jobs.GetState(), J::RECORDS);
  ASSERT_TRUE(jobs.StartWorker(J::UPDATE_CONFIG));
  for (int i = 0; i < 200 && jobs.GetState() < J::SUCCESS; ++i) rtos::advance(10);
  EXPECT_EQ(jobs.GetState(), J::SUCCESS);
  rtos::advance(2);
  EXPECT_TRUE(jobs.StopWorker());
}

}  // namespace

namespace {

TEST_F(DataKeyJobsTest, ASaveCutShortByAPulledKeyShowsItsEndAndLeavesNoRecord) {
  board::datakey().remove_after(2000);
  ASSERT_TRUE(jobs.StartWorker(J::SAVE));
  for (int i = 0; i < 2000 && jobs.GetState() < J::SUCCESS; ++i) {
    rtos::advance(10);
    Check();  // the panel's draws meanwhile
  }
  ASSERT_EQ(jobs.GetState(), J::REMOVED);
  rtos::advance(2);
  // Still shown with the key out, until a key reaps the worker.
  Check();
  EXPECT_EQ(jobs.GetState(), J::REMOVED);
  EXPECT_TRUE(jobs.StopWorker());
  Check();
  EXPECT_EQ(jobs.GetState(), J::NO_KEY);
  // The first record's body was written, its header page never was.
  board::datakey().insert(&key());
  Check();
  EXPECT_EQ(jobs.GetState(), J::EMPTY);
  EXPECT_TRUE(jobs.Table().empty());
}

}  // namespace
