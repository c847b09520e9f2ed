// A database with the real flash journal over a boot monitor whose flash
// lives in a state folder of the test's own, so that Restart() starts the
// database again on the same flash, as the board does after a restart.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/journal.h"
#include "database/objects.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "mon_api.h"
#include "monitor_host.h"
#include "rtos_host.h"

class JournalTest : public ::testing::Test {
 protected:
  // Room for two journal files and a little more.
  static constexpr uint32_t kFlashSize = (8u << 20) + (256u << 10);

  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "journal.XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    folder_ = buf.data();
    config_.state_folder = folder_;
    config_.flash_size = kFlashSize;
    s_boot_counter = 0;
    Boot();
  }

  void TearDown() override {
    Halt();
    std::filesystem::remove_all(folder_);
  }

  void Boot() {
    monitor::reset(config_);
    rtos::kernel_config c;
    c.memory_size = 4u << 20;
    rtos::kernel_start(c, [this](void* mem) {
      ASSERT_EQ(os_byte_pool_create(&pool_, "dynamic database", mem, kPoolSize), OS_SUCCESS);
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
      CDB::CreateMutexes();
    });
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&pool_);
    db_->SetBoardRegs({[] { return s_clock; }, [](uint32_t v) { s_clock = v; }, [] { return s_boot_counter; },
                       [](uint8_t v) { s_boot_counter = v; }});
    journal_ = CDB::Instance(db_.get());
    db_->m_pJournal = journal_;
  }

  void Halt() {
    db_.reset();
    rtos::kernel_stop();
    CDB::DestroyInstance();
    journal_ = nullptr;
    monitor::shutdown();
  }

  void Restart() {
    Halt();
    Boot();
  }

  // A factory-fresh flash.
  void Wipe() {
    Halt();
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directory(folder_);
    Boot();
  }

  // Load as at start, with its trace.
  int Load() {
    trace_capture cap;
    int r = journal_->Load();
    load_trace_ = cap.text();
    return r;
  }

  // A new journal whose header is made valid, as start-up does after the
  // defaults.
  void Fresh() {
    ASSERT_EQ(Load(), 0);
    journal_validate_new_header(journal_);
  }

  // Restarts and replays; the result of Load.
  int Replay() {
    Restart();
    return Load();
  }

  void SetNv(db_object o, uint32_t v) { ASSERT_EQ(db_->SetValue(o.offset, o.width, v, db_->mib_nv, DB_NO_VALIDATE), DB_OK); }
  void SetStr(db_object o, const std::string& s) {
    ASSERT_EQ(db_->SetString(o.offset, 4, s.data(), static_cast<uint32_t>(s.size()), db_->mib_nv, DB_NO_VALIDATE),
              DB_OK);
  }
  uint32_t Nv(db_object o) { return db_->GetValue(o.offset, o.width, db_->mib_nv, 0); }
  std::string Str(db_object o) {
    uint32_t len = 0;
    const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_nv, &len);
    return std::string(reinterpret_cast<const char*>(p), len);
  }

  // A file's data in place, or null.
  static const uint8_t* Data(const char* name, uint32_t* size = nullptr) {
    tfs_header* h = mon_tfsstat(name);
    if (size) *size = h ? h->data_size : 0;
    return h ? reinterpret_cast<const uint8_t*>(h) + h->hdr_size : nullptr;
  }
  static bool Exists(const char* name) { return mon_tfsstat(name) != nullptr; }

  // Markers of the well-formed records of a file, in order ('~' or '>'),
  // with their objects.
  struct record_info {
    uint8_t marker;
    uint32_t offset;
    uint32_t at;
  };
  static std::vector<record_info> Records(const char* name) {
    std::vector<record_info> out;
    uint32_t size = 0;
    const uint8_t* d = Data(name, &size);
    if (!d) return out;
    uint32_t end = size;
    while (end > 0 && d[end - 1] == 0xFF) --end;
    for (uint32_t p = JOURNAL_HEADER_SIZE; p < end;) {
      uint32_t n = journal_record_size(d + p, d + end);
      if (!n) {
        ++p;
        continue;
      }
      out.push_back({d[p], uint32_t(d[p + 3]) << 24 | uint32_t(d[p + 4]) << 16 | uint32_t(d[p + 5]) << 8 | d[p + 6],
                     p});
      p += n;
    }
    return out;
  }
  static uint32_t Sequence(const char* name) {
    const uint8_t* d = Data(name);
    return uint32_t(d[2]) << 24 | uint32_t(d[3]) << 16 | uint32_t(d[4]) << 8 | d[5];
  }

  // Writes a journal file as given (a header and records), the rest erased.
  static void WriteFile(const char* name, const std::vector<uint8_t>& content) {
    std::vector<uint8_t> image(JOURNAL_FILE_SIZE, 0xFF);
    std::copy(content.begin(), content.end(), image.begin());
    ASSERT_EQ(mon_tfsadd(name, nullptr, "i", image.data(), JOURNAL_FILE_SIZE), TFS_OKAY);
  }
  static std::vector<uint8_t> Header(uint32_t sequence, uint32_t db_size = MIB_NV_SIZE, uint8_t rev = 0,
                                     uint8_t db_rev = 0) {
    std::vector<uint8_t> h(JOURNAL_HEADER_SIZE);
    journal_make_header(h.data(), JOURNAL_HEADER_VALID, sequence);
    h[1] = rev;
    h[6] = db_rev;
    for (int i = 0; i < 4; ++i) h[7 + i] = static_cast<uint8_t>(db_size >> (24 - 8 * i));
    uint16_t crc = journal_crc(h.data() + 1, 10);
    h[11] = static_cast<uint8_t>(crc);
    h[12] = static_cast<uint8_t>(crc >> 8);
    return h;
  }
  static std::vector<uint8_t> Record(uint32_t offset, const std::vector<uint8_t>& value) {
    std::vector<uint8_t> r(JOURNAL_RECORD_MAX_L + 4);
    r.resize(journal_make_record(r.data(), offset, value.data(), static_cast<uint32_t>(value.size())));
    return r;
  }
  static std::vector<uint8_t> Int32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  }
  static void Append(std::vector<uint8_t>* to, const std::vector<uint8_t>& bytes) {
    to->insert(to->end(), bytes.begin(), bytes.end());
  }

  static constexpr uint32_t kPoolSize = 2097152;
  // The board registers that keep their values over a restart.
  static inline uint8_t s_boot_counter = 0;
  static inline uint32_t s_clock = 0;
  std::string folder_;
  monitor::monitor_config config_;
  TX_BYTE_POOL pool_{};
  std::unique_ptr<CDataBase> db_;
  CDB* journal_ = nullptr;
  std::string load_trace_;
};
