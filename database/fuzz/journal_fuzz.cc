// Fuzz target: a flash image of the journal replayed into the database at
// start. The first byte picks the form of the rest:
//   bit 0 clear: the bytes follow a valid header as they are (damaged
//                records, erased runs, stray markers);
//   bit 0 set:   the bytes are a list of records whose CRCs are made good,
//                so the replay's checks of offsets, widths and strings are
//                reached: per record a flags byte, an object offset (u32,
//                big-endian), a value length (u16) and the value. Flags bit
//                0 marks it deleted, bit 1 breaks its CRC, bit 2 puts a NUL
//                at its end.
//   bit 1 set:   the header names another database size.
// The file is as long as its content plus an erased tail, so images of any
// size reach the loader.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "database/fuzz/fuzz_database.h"
#include "database/journal.h"
#include "mon_api.h"
#include "monitor_host.h"

namespace {

CDataBase* g_db;

void header(std::vector<uint8_t>& out, bool other_size) {
  uint8_t h[JOURNAL_HEADER_SIZE];
  journal_make_header(h, JOURNAL_HEADER_VALID, 7);
  if (other_size) {
    h[10] ^= 0x10;
    uint16_t crc = journal_crc(h + 1, 10);
    h[11] = static_cast<uint8_t>(crc);
    h[12] = static_cast<uint8_t>(crc >> 8);
  }
  out.insert(out.end(), h, h + JOURNAL_HEADER_SIZE);
}

void records(std::vector<uint8_t>& out, const uint8_t* p, const uint8_t* end) {
  std::vector<uint8_t> r(JOURNAL_RECORD_MAX_L + 8);
  while (end - p >= 7) {
    uint8_t flags = p[0];
    uint32_t offset = uint32_t(p[1]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 8 | p[4];
    // Up to one byte longer than a record may be: the loader must refuse it.
    uint32_t length = std::min<uint32_t>(uint32_t(p[5]) << 8 | p[6], JOURNAL_RECORD_MAX_L - 6 + 1);
    p += 7;
    length = std::min<uint32_t>(length, static_cast<uint32_t>(end - p));
    std::vector<uint8_t> value(p, p + length);
    p += length;
    if ((flags & 4) && !value.empty()) value.back() = 0;
    uint32_t n = journal_make_record(r.data(), offset, value.data(), static_cast<uint32_t>(value.size()));
    if (flags & 1) r[0] = JOURNAL_DELETED;
    if ((flags & 2) && n > 2) r[n - 2] ^= 0x5A;
    out.insert(out.end(), r.begin(), r.begin() + n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  monitor::monitor_config config;  // flash in memory
  config.flash_size = 12u << 20;
  monitor::reset(config);
  g_db = fuzz_database_start(2u << 20, [] { CDB::CreateMutexes(); });
  g_db->LoadDefaults(0);
  g_db->SetHooksEnabled(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 2 * JOURNAL_FILE_SIZE) return 0;
  const uint8_t mode = data[0];
  std::vector<uint8_t> image;
  header(image, mode & 2);
  if (mode & 1)
    records(image, data + 1, data + size);
  else
    image.insert(image.end(), data + 1, data + size);
  image.resize(std::min<size_t>(image.size() + 4096, JOURNAL_FILE_SIZE), 0xFF);

  mon_tfsunlink("nv1.dat");
  mon_tfsunlink("nv2.dat");
  if (mon_tfsadd("nv1.dat", nullptr, "i", image.data(), static_cast<uint32_t>(image.size())) != TFS_OKAY) return 0;
  CDB* journal = CDB::Instance(g_db);
  g_db->m_pJournal = journal;
  journal->Load();
  g_db->m_pJournal = nullptr;
  CDB::DestroyInstance();
  return 0;
}
