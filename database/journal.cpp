// The flash journal: appending records, marking superseded ones deleted,
// replaying at start, and copying the live records into a fresh file when
// the old one fills up.
#include "database/journal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "frame/util/crc16.h"
#include "frame/watchdog/watchdog_task.h"
#include "mon_api.h"

static_assert(JOURNAL_STRING_MAX == DB_NV_STRING_MAX, "the journal keeps every string the store takes");

namespace {

const char kNv1[] = "nv1.dat";
const char kNv2[] = "nv2.dat";

constexpr uint32_t kPendingDeleteAt = 7950;  // the copy runs a deletion pass above this
constexpr uint32_t kCopyReturns = 10;        // returns to the end before the copy holds the lock
constexpr uint16_t kRetryCountdown = 360;    // steps (about six minutes) before another attempt
constexpr uint32_t kScheduledCleanup = 0x400;

TX_MUTEX g_flash_mutex;
TX_MUTEX g_delete_mutex;

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
void put_be32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// A journal mutex. Before the threads are launched start-up code runs where
// no thread can wait: the take fails, and the caller, alone in the system,
// goes on unlocked. After the launch a failed take means the caller gives up.
class journal_lock {
 public:
  explicit journal_lock(TX_MUTEX* m) : m_mutex(m) { m_held = os_mutex_get(m, OS_WAIT_FOREVER) == OS_SUCCESS; }
  ~journal_lock() { Release(); }
  journal_lock(const journal_lock&) = delete;
  journal_lock& operator=(const journal_lock&) = delete;
  bool Held() const { return m_held; }
  void Release() {
    if (m_held) os_mutex_put(m_mutex);
    m_held = false;
  }

 private:
  TX_MUTEX* m_mutex;
  bool m_held;
};

// Runs the calling thread at another priority for the scope's life.
class priority_scope {
 public:
  explicit priority_scope(UINT priority) : m_self(tx_thread_identify()) {
    m_changed = m_self && tx_thread_priority_change(m_self, priority, &m_old) == TX_SUCCESS;
  }
  ~priority_scope() {
    UINT ignored = 0;
    if (m_changed) tx_thread_priority_change(m_self, m_old, &ignored);
  }
  priority_scope(const priority_scope&) = delete;
  priority_scope& operator=(const priority_scope&) = delete;

 private:
  TX_THREAD* m_self;
  UINT m_old = 0;
  bool m_changed;
};

bool header_valid(const uint8_t* h, uint32_t size) {
  if (!h || size < JOURNAL_HEADER_SIZE || h[0] != JOURNAL_HEADER_VALID) return false;
  uint16_t crc = journal_crc(h + 1, 10);
  return h[11] == (crc & 0xFF) && h[12] == (crc >> 8);
}

// Day of the month of seconds since 1970.
uint32_t day_of_month(uint32_t seconds) {
  int64_t days = seconds / 86400 + 719468;
  int64_t era = days / 146097;
  int64_t doe = days - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  return static_cast<uint32_t>(doy - (153 * mp + 2) / 5 + 1);
}

CDB* g_journal = nullptr;

}  // namespace

// ------------------------------------------------------------ format

uint16_t journal_crc(const uint8_t* bytes, uint32_t length) {
  crc16_state s{};
  crc16_begin(&s, 0xFFFF);
  crc16_update(&s, bytes, length);
  uint16_t out = 0;
  crc16_result(&s, &out, CRC16_COMPLEMENT);
  crc16_end(&s);
  return out;
}

uint32_t journal_record_size(const uint8_t* p, const uint8_t* end) {
  if (!p || p >= end || end - p < 7) return 0;
  uint32_t l = be16(p + 1);
  if (l < 6 || l > JOURNAL_RECORD_MAX_L || static_cast<uint32_t>(end - p) < l + 4) return 0;
  if (p[l + 3] != JOURNAL_TERMINATOR) return 0;
  uint16_t crc = journal_crc(p + 1, l);
  if (p[l + 1] != (crc & 0xFF) || p[l + 2] != (crc >> 8)) return 0;
  return l + 4;
}

uint32_t journal_make_record(uint8_t* out, uint32_t offset, const uint8_t* value, uint32_t length) {
  uint32_t l = length + 6;
  out[0] = JOURNAL_LIVE;
  out[1] = static_cast<uint8_t>(l >> 8);
  out[2] = static_cast<uint8_t>(l);
  put_be32(out + 3, offset);
  if (length) std::memcpy(out + 7, value, length);
  uint16_t crc = journal_crc(out + 1, l);
  out[l + 1] = static_cast<uint8_t>(crc);
  out[l + 2] = static_cast<uint8_t>(crc >> 8);
  out[l + 3] = JOURNAL_TERMINATOR;
  return l + 4;
}

void journal_make_header(uint8_t* out, uint8_t marker, uint32_t sequence) {
  out[0] = marker;
  out[1] = 0;
  put_be32(out + 2, sequence);
  out[6] = 0;
  put_be32(out + 7, MIB_NV_SIZE);
  uint16_t crc = journal_crc(out + 1, 10);
  out[11] = static_cast<uint8_t>(crc);
  out[12] = static_cast<uint8_t>(crc >> 8);
  out[13] = JOURNAL_TERMINATOR;
}

// ------------------------------------------------------------ iterator

namespace impl_token {

int iterator::Open(const uint8_t* begin, const uint8_t* end) {
  if (!begin || end < begin) return 0;
  m_pBegin = m_pCursor = begin;
  m_pEnd = end;
  m_byState = OPEN;
  return 1;
}

int iterator::Next(record_view* out) {
  if (m_byState != OPEN) return 0;
  const uint8_t* run = nullptr;  // first erased byte of the current run
  while (m_pCursor < m_pEnd) {
    const uint8_t* p = m_pCursor;
    if (*p == JOURNAL_LIVE || *p == JOURNAL_DELETED) {
      if (uint32_t size = journal_record_size(p, m_pEnd)) {
        m_pCursor = p + size;
        if (*p == JOURNAL_DELETED) {
          // Skipped whole: a deleted string's bytes may look like a record.
          run = nullptr;
          continue;
        }
        out->length = be16(p + 1);
        out->offset = be32(p + 3);
        out->value = p + 7;
        return 1;
      }
    }
    if (*p == 0xFF) {
      if (!run) run = p;
      if (p - run > static_cast<ptrdiff_t>(JOURNAL_ERASED_RUN_MAX)) {
        m_pCursor = m_pEnd;
        return 0;
      }
    } else {
      run = nullptr;
    }
    ++m_pCursor;
  }
  return 0;
}

}  // namespace impl_token

// ------------------------------------------------------------ the journal

CDB::CDB(CDataBase* db) : m_pDataBase(db) {
  m_files[0] = {kNv1, nullptr, 0, 0, false};
  m_files[1] = {kNv2, nullptr, 0, 0, false};
}

CDB* CDB::Instance(CDataBase* db) {
  if (!g_journal) g_journal = new CDB(db);
  if (db) g_journal->m_pDataBase = db;
  return g_journal;
}

void CDB::DestroyInstance() {
  delete g_journal;
  g_journal = nullptr;
}

void CDB::CreateMutexes() {
  // A start in the same process (tests) finds the last run's control blocks:
  // they belonged to a kernel that is gone.
  g_flash_mutex = TX_MUTEX{};
  g_delete_mutex = TX_MUTEX{};
  if (os_mutex_create(&g_flash_mutex, "Flash Database Mutex", 1) != OS_SUCCESS)
    monitor_printf("CDB::CreateMutexes: Flash Database Mutex failed\n");
  if (os_mutex_create(&g_delete_mutex, "Delete Object", 1) != OS_SUCCESS)
    monitor_printf("CDB::CreateMutexes: Delete Object failed\n");
}

void CDB::ResetRun() {
  for (journal_file& f : m_files) {
    f.base = nullptr;
    f.size = 0;
    f.end = 0;
    f.end_known = false;
  }
  m_pCurrentBase = nullptr;
  m_pszCurrent = nullptr;
  m_byRescan = 0;
  m_uPendingCount = 0;
  m_bFirstAppend = true;
  m_byDefragState = 0;
  m_uCountdown = 6;
  m_bRetryWait = false;
  m_pszTarget = nullptr;
  m_uLastUsed = 0;
  m_uLastDay = 1;
  m_bRestartAsked = false;
}

void CDB::Refresh(journal_file& f) {
  tfs_header* h = mon_tfsstat(f.name);
  uint8_t* base = h ? reinterpret_cast<uint8_t*>(h) + h->hdr_size : nullptr;
  if (base != f.base) f.end_known = false;
  f.base = base;
  f.size = h ? h->data_size : 0;
  if (!base) f.end = 0;
}

void CDB::FindEnd(journal_file& f) {
  Refresh(f);
  f.end_known = true;
  if (!f.base) return;
  uint32_t n = f.size;
  // Whole words of erased bytes first: the file is mostly erased.
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, f.base + n - 8, 8);
    if (w != ~uint64_t(0)) break;
    n -= 8;
  }
  while (n > 0 && f.base[n - 1] == 0xFF) --n;
  f.end = n;
}

void CDB::Unlink(journal_file& f) {
  mon_tfsunlink(f.name);
  Refresh(f);
  f.end = 0;
  f.end_known = true;
  if (m_pszCurrent == f.name) {
    m_pszCurrent = nullptr;
    m_pCurrentBase = nullptr;
  }
}

CDB::journal_file& CDB::File(const char* name) {
  return m_files[name && std::strcmp(name, kNv2) == 0 ? 1 : 0];
}

CDB::journal_file* CDB::Live() {
  if (!m_pszCurrent) return nullptr;
  journal_file& f = File(m_pszCurrent);
  return f.base ? &f : nullptr;
}

uint32_t CDB::Used() {
  journal_file* f = Live();
  if (!f) return 0;
  if (!f->end_known) FindEnd(*f);
  return f->end;
}

uint32_t CDB::UsedLength() {
  // Other tasks ask (the agent, the front panel): the end moves under the
  // appenders' lock.
  journal_lock lock(&g_flash_mutex);
  return Used();
}

uint32_t CDB::FillPercent() {
  return static_cast<uint32_t>(uint64_t(UsedLength()) * 100 / JOURNAL_FILE_SIZE);
}

int CDB::write(const char* name, const uint8_t* data, uint32_t length, uint32_t* address, bool rescan) {
  journal_file& f = File(name);
  if (m_bFirstAppend || m_byRescan) {
    FindEnd(m_files[0]);
    FindEnd(m_files[1]);
    m_bFirstAppend = false;
    m_byRescan = 0;
  } else if (rescan || !f.end_known) {
    FindEnd(f);
  }
  if (!f.base || uint64_t(f.end) + length >= f.size) return 0;
  if (address) *address = f.end;
  int r = mon_tfsipmod(f.name, data, f.end, length);
  if (r != TFS_OKAY) {
    monitor_printf("%s,0x%08X,0x%08X - 0x%08X = %d,%d\n", f.name, static_cast<uint32_t>(uintptr_t(data)),
                   static_cast<uint32_t>(uintptr_t(f.base + f.end)), static_cast<uint32_t>(uintptr_t(f.base)),
                   static_cast<int>(f.end), static_cast<int>(length));
    monitor_printf("CDatabase::write: mon_tfsipmod failed:%d\n", r);
  }
  // Advanced also after a failure: the damaged bytes are stepped over.
  f.end += length;
  return r == TFS_OKAY;
}

int CDB::Append(const char* who, uint32_t offset, const uint8_t* value, uint32_t length, uint32_t* address) {
  uint8_t record[JOURNAL_RECORD_MAX_L + 4];
  uint32_t size = journal_make_record(record, offset, value, length);
  journal_lock lock(&g_flash_mutex);
  if (!lock.Held() && m_pDataBase && m_pDataBase->m_byThreadsLaunched) {
    monitor_printf("%s: tx_mutex_get failed\n", who);
    return 0;
  }
  uint32_t at = 0;
  int ok = m_pszCurrent ? write(m_pszCurrent, record, size, &at, false) : 0;
  // Indexed before the lock goes: the address must belong to the file that
  // is live while the entry is made.
  if (ok) IndexRecord(at, offset);
  if (ok && address) *address = at;
  // Nearly full: the copy starts now rather than at the next look, so that
  // it keeps up with writers that fill the file within minutes.
  if (ok && m_byDefragState == 0 && !m_bRetryWait && m_uCountdown > 0 && Used() > JOURNAL_DEFRAG_USED) {
    m_uCountdown = 0;
    if (m_pDataBase) m_pDataBase->WakeTask();
  }
  return ok;
}

int CDB::INT8(uint32_t offset, uint8_t value, uint32_t* address) {
  return Append("CD::INT8", offset, &value, 1, address);
}

int CDB::INT16(uint32_t offset, uint16_t value, uint32_t* address) {
  uint8_t v[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  return Append("CD::INT16", offset, v, 2, address);
}

int CDB::INT32(uint32_t offset, uint32_t value, uint32_t* address) {
  uint8_t v[4];
  put_be32(v, value);
  return Append("CD::INT32", offset, v, 4, address);
}

int CDB::STRING(uint32_t offset, const uint8_t* data, uint16_t length, uint32_t* address) {
  if (length > JOURNAL_STRING_MAX) return 0;
  if (length && !data) return 0;
  // The bytes and a NUL. The empty string is a record too (the NUL alone):
  // the newest record of an object is then always its value, in whichever
  // file it was copied to.
  uint8_t value[JOURNAL_STRING_MAX + 1];
  if (length) std::memcpy(value, data, length);
  value[length] = 0;
  return Append("CD::STRING", offset, value, length + 1u, address);
}

void CDB::IndexRecord(uint32_t address, uint32_t offset) {
  journal_lock lock(&g_delete_mutex);
  for (uint32_t i = 0; i < m_uPendingCount; ++i) {
    if (m_pending[i].offset == offset) {
      m_pending[i].address = address;
      return;
    }
  }
  if (m_uPendingCount < JOURNAL_INDEX_SIZE) {
    m_pending[m_uPendingCount++] = {address, offset};
    return;
  }
  delete_obj(offset, address);
}

void CDB::delete_obj(uint32_t offset, uint32_t address) {
  journal_file* f = Live();
  if (!f) return;
  const uint8_t* end = f->base + std::min(address, f->end);
  const uint8_t* p = f->base + JOURNAL_HEADER_SIZE;
  while (p < end) {
    uint32_t size = (*p == JOURNAL_LIVE || *p == JOURNAL_DELETED) ? journal_record_size(p, end) : 0;
    if (!size) {
      ++p;
      continue;
    }
    if (*p == JOURNAL_LIVE && be32(p + 3) == offset) {
      uint32_t at = static_cast<uint32_t>(p - f->base);
      int r = mon_tfsipmod(f->name, &JOURNAL_DELETED, at, 1);
      if (r != TFS_OKAY) {
        monitor_printf("%s,0x%08X,0x%08X - 0x%08X = %d,%d\n", f->name,
                       static_cast<uint32_t>(uintptr_t(&JOURNAL_DELETED)), static_cast<uint32_t>(uintptr_t(p)),
                       static_cast<uint32_t>(uintptr_t(f->base)), static_cast<int>(at), 1);
        monitor_printf("CDatabase::delete_obj: mon_tfsipmod failed:%d\n", r);
      }
    }
    p += size;
  }
}

void CDB::Deleting() {
  uint32_t count = 0;
  {
    // At priority 0 the copy is atomic with respect to every other thread.
    priority_scope urgent(0);
    journal_lock lock(&g_delete_mutex);
    count = m_uPendingCount;
    std::memcpy(m_work, m_pending, count * sizeof m_work[0]);
    m_uPendingCount = 0;
  }
  if (count == 0) return;
  monitor_printf_debug("CDB::Deleting:%d\n", count);
  journal_file* f = Live();
  if (f) {
    if (f->base[1] != 0) {
      monitor_printf("invalid header rev\n");
    } else {
      auto by_object = [](const index_entry& a, const index_entry& b) { return a.offset < b.offset; };
      std::sort(m_work, m_work + count, by_object);
      const uint8_t* end = f->base + Used();
      const uint8_t* p = f->base + JOURNAL_HEADER_SIZE;
      while (p < end) {
        uint32_t size = (*p == JOURNAL_LIVE || *p == JOURNAL_DELETED) ? journal_record_size(p, end) : 0;
        if (!size) {
          ++p;
          continue;
        }
        if (*p == JOURNAL_LIVE) {
          index_entry key{0, be32(p + 3)};
          const index_entry* e = std::lower_bound(m_work, m_work + count, key, by_object);
          uint32_t at = static_cast<uint32_t>(p - f->base);
          if (e != m_work + count && e->offset == key.offset && e->address > at) {
            int r = mon_tfsipmod(f->name, &JOURNAL_DELETED, at, 1);
            if (r != TFS_OKAY) monitor_printf("CDatabase::delete_obj's: mon_tfsipmod failed:%d\n", r);
          }
        }
        p += size;
      }
    }
  }
  monitor_printf_debug("CDB::Delete Complete\n");
}

// ------------------------------------------------------------ files

bool CDB::RoomForFile(const char* name) {
  int32_t free = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
  if (free >= 0 && static_cast<uint32_t>(free) >= JOURNAL_FILE_SIZE) {
    if (mon_getenv(JOURNAL_RESTART_VARIABLE)) mon_setenv(JOURNAL_RESTART_VARIABLE, nullptr);
    return true;
  }
  // The boot monitor compacts its flash during a restart. A restart is
  // asked for only while compacting can make the room, and only a few
  // times in a row: otherwise the controller would restart forever.
  if (m_bRestartAsked) return true;
  int32_t dead = mon_tfsctrl(TFS_CTRL_DEAD, 0, 0);
  const char* text = mon_getenv(JOURNAL_RESTART_VARIABLE);
  uint32_t restarts = text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : 0;
  if (free >= 0 && dead >= 0 && uint64_t(free) + uint64_t(dead) >= JOURNAL_FILE_SIZE &&
      restarts < JOURNAL_RESTARTS_MAX) {
    char count[12];
    std::snprintf(count, sizeof count, "%u", restarts + 1);
    mon_setenv(JOURNAL_RESTART_VARIABLE, count);
    m_bRestartAsked = true;
    system_defrag_reset();
    // Only a restart that did not happen comes back here.
    return true;
  }
  monitor_printf("CDatabase::FFS_SDH: no room for %s in flash (%d bytes free), running in volatile only mode\n", name,
                 static_cast<int>(free));
  return false;
}

int CDB::FFS_SDH(const uint8_t* old_header, const char* name) {
  if (!name) {
    monitor_printf("CDatabase::FFS_SDH: null ptr\n");
    return 0;
  }
  uint8_t header[JOURNAL_HEADER_SIZE];
  if (old_header)
    journal_make_header(header, JOURNAL_HEADER_VALID, be32(old_header + 2) + 1);
  else
    journal_make_header(header, 0xFF, 0);
  journal_file& f = File(name);
  if (!mon_tfsstat(name) && RoomForFile(name)) mon_tfsadd(name, nullptr, "i", nullptr, JOURNAL_FILE_SIZE);
  Refresh(f);
  uint32_t at = 0;
  int ok = write(name, header, JOURNAL_HEADER_SIZE, &at, true);
  if (!ok) monitor_printf("CDatabase::FFS_SDH: failed to save header\n");
  return ok;
}

int CDB::Recreate(const char* name, const char* failure) {
  monitor_printf("\tCreating %s\n", name);
  Unlink(File(name));
  if (!FFS_SDH(nullptr, name)) monitor_printf("%s", failure);
  journal_file& f = File(name);
  m_pszCurrent = f.base ? f.name : nullptr;
  m_pCurrentBase = f.base;
  return 0;
}

void CDB::Replay(const journal_file& f) {
  CDataBase& db = *m_pDataBase;
  impl_token::iterator it;
  it.Open(f.base + JOURNAL_HEADER_SIZE, f.base + f.size);
  impl_token::record_view r;
  const uint32_t flags = DB_NO_JOURNAL | DB_NO_VALIDATE;
  uint32_t skipped = 0;
  while (it.Next(&r)) {
    // A record whose CRC holds may still not name an object (a file of
    // another layout, damaged bytes that happen to check): a string slot
    // takes only a string, an integer only the bytes of integers.
    const uint32_t width = r.length - 6u;
    if (CDataBase::IsStringObject(r.offset)) {
      if (r.length >= 7 && r.value[width - 1] == 0 && width - 1 <= DB_NV_STRING_MAX)
        db.SetString(r.offset, 4, r.value, width - 1, db.mib_nv, flags);
      else
        ++skipped;
      continue;
    }
    if ((width != 1 && width != 2 && width != 4) || r.offset > MIB_NV_SIZE - width ||
        CDataBase::OverlapsStringSlot(r.offset, width)) {
      ++skipped;
      continue;
    }
    switch (width) {
      case 1:
        db.SetValue(r.offset, 1, r.value[0], db.mib_nv, flags);
        break;
      case 2:
        db.SetValue(r.offset, 2, be16(r.value), db.mib_nv, flags);
        break;
      case 4:
        db.SetValue(r.offset, 4, be32(r.value), db.mib_nv, flags);
        break;
      default:
        break;
    }
  }
  it.Close();
  if (skipped) monitor_printf("CDatabase::Load: %u records name no object, skipped\n", skipped);
}

int CDB::Load() {
  int r = LoadFiles();
  // Without a file every write would be refused: the store runs from RAM
  // and says so.
  if (!m_pszCurrent && m_pDataBase) {
    // A defragmenting restart on its way brings the room back.
    if (!m_bRestartAsked) monitor_printf("CDatabase::Load: no journal file, running in volatile only mode\n");
    m_pDataBase->JournalUnavailable();
  }
  return r;
}

int CDB::LoadFiles() {
  ResetRun();
  monitor_printf(" - Find Flash DB File\t\t\t\t\t");
  bool valid[2];
  for (int i = 0; i < 2; ++i) {
    journal_file& f = m_files[i];
    Refresh(f);
    valid[i] = f.base && header_valid(f.base, f.size);
    if (f.base && !valid[i]) Unlink(f);
  }
  int chosen = 0;
  if (valid[0] && valid[1]) {
    // A defragmentation was cut short: the higher sequence is the
    // unfinished copy.
    chosen = be32(m_files[1].base + 2) < be32(m_files[0].base + 2) ? 1 : 0;
    Unlink(m_files[1 - chosen]);
  } else if (valid[1]) {
    chosen = 1;
  }
  journal_file& f = m_files[chosen];
  if (!f.base) {
    monitor_printf("[FAIL]\n");
    monitor_printf("\tCreating %s\n", f.name);
    if (!FFS_SDH(nullptr, f.name)) {
      monitor_printf("\tfailed saving header 1st boot\n");
      Unlink(f);
      if (!FFS_SDH(nullptr, f.name)) monitor_printf("\tfailed saving header 1st boot retry\n");
    }
    m_pszCurrent = f.base ? f.name : nullptr;
    m_pCurrentBase = f.base;
    return 0;
  }
  monitor_printf("[ OK ]\n");
  monitor_printf(" - Loading off %s\t\t\t\t\t", f.name);
  if (f.base[1] != 0) {
    monitor_printf("[FAIL]\n");
    monitor_printf("\tinvalid header rev:%d\n", f.base[1]);
    return Recreate(f.name, "\tfailed saving header,1\n");
  }
  if (f.base[6] != 0) {
    monitor_printf("[FAIL]\n");
    monitor_printf("\tinvalid database revision:%d\n", f.base[6]);
    return Recreate(f.name, "\tfailed saving header,2\n");
  }
  if (be32(f.base + 7) != MIB_NV_SIZE) {
    monitor_printf("[FAIL]\n");
    monitor_printf("\tdatabase size changed\n");
    return Recreate(f.name, "\tfailed saving header,3\n");
  }
  m_pszCurrent = f.name;
  m_pCurrentBase = f.base;
  Replay(f);
  monitor_printf("[ OK ]\n");
  return 1;
}

// ------------------------------------------------------------ defragmentation

void CDB::StateMachine_Defrag() {
  switch (m_byDefragState) {
    case 0: {
      if (m_uCountdown > 0) {
        --m_uCountdown;
        return;
      }
      m_bRetryWait = false;
      journal_file* live = Live();
      if (!live) return;
      uint32_t used = UsedLength();
      m_uLastUsed = used;
      bool cleanup = false;
      CDataBase& db = *m_pDataBase;
      if (db.GetValue(nv::quorSpecialFeatureSet.offset, 4, db.mib_nv, 0) & kScheduledCleanup) {
        uint32_t day = day_of_month(db.GetValue(vol::controllerLocalTime.offset, 4, db.mib_v, 0));
        if (day == 1 && m_uLastDay != 1) {
          monitor_printf("kick off scheduled cleanup event\n");
          cleanup = true;
        }
        m_uLastDay = day;
      }
      if (used <= JOURNAL_DEFRAG_USED && !cleanup) return;
      m_pszTarget = live->name == kNv1 ? kNv2 : kNv1;
      if (!FFS_SDH(live->base, m_pszTarget)) {
        monitor_printf("failed to create header unlinking %s\n", m_pszTarget);
        Unlink(File(m_pszTarget));
        // Not again at once: the flash stays as full for a while.
        m_uCountdown = kRetryCountdown;
        m_bRetryWait = true;
        return;
      }
      m_byDefragState = 1;
      if (m_pDataBase) m_pDataBase->WakeTask();
      return;
    }
    case 1:
      Copy();
      m_byDefragState = 2;
      if (m_pDataBase) m_pDataBase->WakeTask();
      return;
    default: {
      monitor_printf("CDatabase::StateMachine_Defrag: cleaning\n");
      uint32_t used;
      {
        journal_lock lock(&g_flash_mutex);
        journal_file* live = Live();
        if (live) FindEnd(*live);
        used = Used();
      }
      if (used > JOURNAL_DEFRAG_USED) {
        m_uCountdown = kRetryCountdown;
        m_bRetryWait = true;
      }
      m_byRescan = 1;
      m_byDefragState = 0;
      return;
    }
  }
}

void CDB::Copy() {
  monitor_printf("CDatabase::StateMachine_Defrag: copying\n");
  priority_scope raised(2);
  journal_file* live = Live();
  journal_file& target = File(m_pszTarget);
  if (!live || !target.base) {
    monitor_printf("copying failed\n");
    if (target.base) Unlink(target);
    return;
  }
  bool holding = false;  // "Flash Database Mutex", or alone before the threads run
  bool locked = false;   // the mutex is really held
  uint32_t pos = JOURNAL_HEADER_SIZE;
  uint32_t returns = 0, copied = 0;
  uint32_t slice = tx_time_get();
  bool ok = true;
  for (;;) {
    if (!holding && m_uPendingCount > kPendingDeleteAt) Deleting();
    if (pos >= Used()) {
      if (holding) break;
      // Records may have come in meanwhile. After the last return the walk
      // keeps the lock to the end, so that no append can fall between the
      // copy and the switch of files.
      locked = os_mutex_get(&g_flash_mutex, OS_WAIT_FOREVER) == OS_SUCCESS;
      if (!locked && m_pDataBase->m_byThreadsLaunched) {
        ok = false;
        break;
      }
      holding = true;
      if (pos >= Used()) break;
      if (returns < kCopyReturns) {
        ++returns;
        if (locked) os_mutex_put(&g_flash_mutex);
        holding = locked = false;
        Deleting();
      }
      continue;
    }
    const uint8_t* p = live->base + pos;
    uint32_t size = (*p == JOURNAL_LIVE || *p == JOURNAL_DELETED) ? journal_record_size(p, live->base + live->end) : 0;
    if (!size) {
      ++pos;
      continue;
    }
    pos += size;
    if (*p == JOURNAL_DELETED) continue;
    uint32_t at = 0;
    if (!write(target.name, p, size, &at, false)) {
      monitor_printf("CDB::SM_D flash error\n");
      ok = false;
      break;
    }
    ++copied;
    // A tick of copying, then a tick for the other threads: a sleep per
    // record would copy a hundred records a second, fewer than writers add.
    if (!holding && tx_time_get() != slice) {
      os_sleep(1);
      slice = tx_time_get();
    }
  }
  bool switched = false;
  if (ok && copied > 0 && holding) {
    const char* old = live->name;
    if (mon_tfsunlink(old) == TFS_OKAY) {
      Refresh(*live);
      live->end = 0;
      live->end_known = true;
      m_pszCurrent = target.name;
      m_pCurrentBase = target.base;
      TranslateIndex(target);
      switched = true;
    } else {
      // Both files valid would bring the old one back at the next start.
      monitor_printf("CDatabase::StateMachine_Defrag: cannot unlink %s\n", old);
    }
  }
  if (!switched) {
    monitor_printf("copying failed\n");
    Unlink(target);
  }
  if (locked) os_mutex_put(&g_flash_mutex);
}

void CDB::TranslateIndex(const journal_file& f) {
  auto by_object = [](const index_entry& a, const index_entry& b) { return a.offset < b.offset; };
  // The pending entries hold addresses in the old file. Each becomes the
  // address of the object's newest record in the new one, where the next
  // deletion pass keeps it; an object without a record there is dropped.
  journal_lock lock(&g_delete_mutex);
  uint32_t n = m_uPendingCount;
  std::sort(m_pending, m_pending + n, by_object);
  for (uint32_t i = 0; i < n; ++i) m_pending[i].address = 0;
  const uint8_t* end = f.base + f.end;
  const uint8_t* p = f.base + JOURNAL_HEADER_SIZE;
  while (p < end) {
    uint32_t size = (*p == JOURNAL_LIVE || *p == JOURNAL_DELETED) ? journal_record_size(p, end) : 0;
    if (!size) {
      ++p;
      continue;
    }
    if (*p == JOURNAL_LIVE) {
      index_entry key{0, be32(p + 3)};
      index_entry* e = std::lower_bound(m_pending, m_pending + n, key, by_object);
      if (e != m_pending + n && e->offset == key.offset) e->address = static_cast<uint32_t>(p - f.base);
    }
    p += size;
  }
  uint32_t kept = 0;
  for (uint32_t i = 0; i < n; ++i)
    if (m_pending[i].address) m_pending[kept++] = m_pending[i];
  m_uPendingCount = kept;
}

// ------------------------------------------------------------ start-up helpers

bool journal_file_exists(const char* name) { return mon_tfsstat(name) != nullptr; }

void journal_file_delete(const char* name) { mon_tfsunlink(name); }

void journal_validate_new_header(CDB* journal) {
  if (!journal || !journal->CurrentFileName()) return;
  const uint8_t marker = JOURNAL_HEADER_VALID;
  int r = mon_tfsipmod(journal->CurrentFileName(), &marker, 0, 1);
  if (r != TFS_OKAY) monitor_printf("\tCDatabase::Init: mon_tfsipmod failed:%d\n", r);
}
