// The object store: integer and string objects of both areas.
#include "database/database.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "database/journal.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

CDataBase* g_pDataBase = nullptr;

namespace {

// String blocks: u32 length, the bytes, a NUL.
constexpr uint32_t kBlockOverhead = 5;

uint32_t load_be(const uint8_t* p, uint32_t width) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < width; ++i) v = (v << 8) | p[i];
  return v;
}

void store_be(uint8_t* p, uint32_t width, uint32_t v) {
  for (uint32_t i = width; i-- > 0;) {
    p[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}

uint32_t g_memory_clock = 0;
uint8_t g_memory_boot_counter = 0;

const uint8_t kEmpty[1] = {0};

// What GetString hands out: each thread's own copy of each string object it
// has read. A copy holds only the bytes of its object and lives as long as
// its thread, so a reader never sees another object's bytes or freed
// memory, whatever the writers do meanwhile. A copy that must grow leaves
// the smaller one in place (a pointer to it may still be held): lengths
// double, so that is at most a dozen per object.
class reader_copies {
 public:
  uint8_t* Room(const uint8_t* area, uint32_t offset, uint32_t size) {
    copy& c = m_copies[reinterpret_cast<uintptr_t>(area) + offset];
    if (c.capacity < size) {
      if (c.bytes) m_outgrown.push_back(std::move(c.bytes));
      c.capacity = std::max<uint32_t>(size, std::max<uint32_t>(32, c.capacity * 2));
      c.bytes = std::make_unique<uint8_t[]>(c.capacity);
    }
    return c.bytes.get();
  }

 private:
  struct copy {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t capacity = 0;
  };
  std::unordered_map<uintptr_t, copy> m_copies;
  std::vector<std::unique_ptr<uint8_t[]>> m_outgrown;
};

thread_local reader_copies t_copies;

}  // namespace

CDataBase::CDataBase(post_office* router)
    : CTaskBase("Database", 8192, 4, 0, 200, 100),
      m_mailbox(router, Events(), 1, Thread()),
      m_regs{[] { return g_memory_clock; }, [](uint32_t v) { g_memory_clock = v; },
             [] { return g_memory_boot_counter; }, [](uint8_t v) { g_memory_boot_counter = v; }} {
  std::memset(mib_nv, 0, sizeof mib_nv);
  std::memset(mib_v, 0, sizeof mib_v);
  // Without a board the registers start cleared, as at power-up.
  g_memory_clock = 0;
  g_memory_boot_counter = 0;
  CreateWriterLock();
  g_pDataBase = this;
}

void CDataBase::CreateWriterLock() {
  // A start in the same process finds the last kernel's control block.
  // Without a kernel writers are alone and go unlocked.
  m_writerLock = TX_MUTEX{};
  m_bWriterLock = os_mutex_create(&m_writerLock, "Database Writers", 1) == OS_SUCCESS;
}

CDataBase::~CDataBase() {
  if (m_bWriterLock) os_mutex_delete(&m_writerLock);
  if (g_pDataBase == this) g_pDataBase = nullptr;
}

bool CDataBase::InRange(const uint8_t* area, uint32_t offset, uint32_t width, const char* who) {
  uint32_t size = AreaSize(area);
  if (width <= size && offset <= size - width) return true;
  // Offsets are often derived from outside input (table indexes): refuse
  // rather than touch a neighbouring object.
  monitor_printf("CDataBase::%s: offset %u width %u outside %s\n", who, offset, width,
                 area == mib_nv ? "mib_nv" : "mib_v");
  return false;
}

uint32_t CDataBase::GetValue(uint32_t offset, uint32_t width, const uint8_t* area, uint32_t flags) {
  if (!IsArea(area)) return 0;
  if (area == mib_nv && offset == DB_GLOBAL_TIME_OFFSET && !(flags & (DB_NO_JOURNAL | DB_GLOBAL_TIME)))
    monitor_printf("DATABASE ERROR: Getting Global Time\n");
  if (width != 1 && width != 2 && width != 4) return 0;
  if (!InRange(area, offset, width, "GetValue")) return 0;
  return load_be(area + offset, width);
}

uint32_t CDataBase::SetValue(uint32_t offset, uint32_t width, uint32_t value, uint8_t* area, uint32_t flags) {
  if (!IsArea(area)) return DB_GEN_ERR;
  if (area == mib_nv && offset == DB_GLOBAL_TIME_OFFSET && !(flags & (DB_NO_JOURNAL | DB_GLOBAL_TIME)))
    monitor_printf("DATABASE ERROR: Setting Global Time\n");
  if ((width == 1 || width == 2 || width == 4) && !InRange(area, offset, width, "SetValue")) return DB_GEN_ERR;
  if (!(flags & DB_NO_VALIDATE)) {
    uint32_t r = ValidateValue(offset, width, value, area);
    if (r != DB_OK) {
      monitor_printf("Validate Bad Value\r\n");
      return r;
    }
  }
  bool store = true;
  if (width == 1) {
    value &= 0xFF;
  } else if (width == 2) {
    if (value > 0xFFFF) {
      // Kept as a success for the callers that rely on it, but made visible.
      monitor_printf("CDataBase::SetValue: %u does not fit the 2-byte object at %u\n", value, offset);
      store = false;
    }
  } else if (width != 4) {
    store = false;
  }
  if (store) {
    // Journalled writers one at a time, as for strings: the journal call
    // may switch threads, and two writers of one object must leave RAM and
    // the journal with the same last value.
    const bool journalled = Journalled(area, flags);
    std::optional<writer_scope> writing;
    if (journalled) writing.emplace(this);
    if (load_be(area + offset, width) == value) {
      if (writing) writing->Release();
      if (flags & DB_NOTIFY) NotifyChange(offset, area, DB_CHANGE_SAME);
      return DB_OK;
    }
    // Journalled first: a change the journal refused would come back as
    // the old value after a restart, so the writer is told and RAM keeps it.
    if (journalled && !Journal(offset, width, value)) {
      monitor_printf("CDataBase::SetValue: journal refused the object at %u\n", offset);
      return DB_GEN_ERR;
    }
    store_be(area + offset, width, value);
  }
  if (flags & DB_NOTIFY) NotifyChange(offset, area, DB_CHANGE_CHANGED);
  return DB_OK;
}

void CDataBase::SetStringPool(TX_BYTE_POOL* pool) {
  if (pool && pool == m_pStringPool) {
    std::memset(mib_v, 0, sizeof mib_v);
    for (uint32_t offset = 0; offset + 4 <= sizeof mib_nv; offset += 4)
      if (IsStringObject(offset)) store_be(mib_nv + offset, 4, 0);
  }
  m_pStringPool = pool;
}

uint8_t* CDataBase::BlockOf(const uint8_t* area, uint32_t offset) {
  uint32_t handle = load_be(area + offset, 4);
  if (handle == 0 || !m_pStringPool) return nullptr;
  // The slot holds the block's distance from the pool's start, plus one.
  uint8_t* base = static_cast<uint8_t*>(m_pStringPool->start);
  uint32_t at = handle - 1, size = m_pStringPool->size;
  if (at >= size || size - at < kBlockOverhead) return nullptr;
  // The length must keep the block inside the pool too.
  if (load_be(base + at, 4) > size - at - kBlockOverhead) return nullptr;
  return base + at;
}

void CDataBase::SetSlot(uint8_t* area, uint32_t offset, uint8_t* block) {
  uint32_t handle = 0;
  if (block) handle = static_cast<uint32_t>(block - static_cast<uint8_t*>(m_pStringPool->start)) + 1;
  store_be(area + offset, 4, handle);
}

const uint8_t* CDataBase::GetString(uint32_t offset, uint32_t width, const uint8_t* area, uint32_t* length) {
  if (length) *length = 0;
  if (!IsArea(area) || !InRange(area, offset, 4, "GetString")) return kEmpty;
  // The copy is made under the lock that writers swap blocks under, and
  // nothing in between is a kernel call, so no writer frees the block while
  // its bytes are copied.
  std::lock_guard<std::mutex> hold(m_stringLock);
  uint8_t* block = BlockOf(area, offset);
  if (!block) return kEmpty;
  uint32_t len = load_be(block, 4);
  if (area == mib_nv && len > DB_NV_STRING_MAX) {
    monitor_printf_debug("DB Error! Dynamic Object Too Long!\n");
    return kEmpty;
  }
  uint8_t* copy = t_copies.Room(area, offset, len + 1);
  std::memcpy(copy, block + 4, len);
  copy[len] = 0;
  if (length) *length = len;
  return copy;
}

uint32_t CDataBase::SetString(uint32_t offset, uint32_t width, const void* data, uint32_t length, uint8_t* area,
                              uint32_t flags) {
  if (!IsArea(area)) return DB_GEN_ERR;
  if (!InRange(area, offset, 4, "SetString")) return DB_GEN_ERR;
  if (length && !data) return DB_GEN_ERR;
  // No non-volatile object takes more, and a longer block would read as
  // damaged.
  if (area == mib_nv && length > DB_NV_STRING_MAX) {
    monitor_printf("CDataBase::SetString: %u bytes too long for the object at %u\n", length, offset);
    return DB_BAD_VALUE;
  }
  if (!(flags & DB_NO_VALIDATE)) {
    uint32_t r = ValidateString(offset, width, data, length, area);
    if (r != DB_OK) {
      monitor_printf("SetString invalid value\r\n");
      return r;
    }
  }
  // Writers of strings one at a time: the journal then holds the values in
  // the order the objects took them.
  writer_scope writing(this);
  bool same;
  {
    std::lock_guard<std::mutex> hold(m_stringLock);
    uint8_t* old = BlockOf(area, offset);
    // An empty string that stays empty is unchanged too.
    same = old ? load_be(old, 4) == length && std::memcmp(old + 4, data, length) == 0 : length == 0;
  }
  if (same) {
    writing.Release();
    if (flags & DB_NOTIFY) NotifyChange(offset, area, DB_CHANGE_SAME);
    return DB_OK;
  }
  // A changed string always gets a fresh block, which is complete before
  // the slot points at it.
  uint8_t* block = nullptr;
  if (length) {
    block = AllocateBlock(area, length);
    if (!block) return DB_GEN_ERR;
    store_be(block, 4, length);
    std::memcpy(block + 4, data, length);
    block[4 + length] = 0;
  }
  if (Journalled(area, flags) && !JournalString(offset, static_cast<const uint8_t*>(data), length)) {
    monitor_printf("CDataBase::SetString: journal refused the object at %u (%u bytes)\n", offset, length);
    if (block) os_byte_release(block);
    return DB_GEN_ERR;
  }
  uint8_t* old;
  {
    std::lock_guard<std::mutex> hold(m_stringLock);
    old = BlockOf(area, offset);
    SetSlot(area, offset, block);
  }
  // Readers copy under the lock: once the slot is swapped no one reads the
  // old block, and only this writer holds it.
  if (old) os_byte_release(old);
  writing.Release();
  if (flags & DB_NOTIFY) NotifyChange(offset, area, DB_CHANGE_CHANGED);
  return DB_OK;
}

uint8_t* CDataBase::AllocateBlock(const uint8_t* area, uint32_t length) {
  void* mem = nullptr;
  os_status st =
      m_pStringPool ? os_byte_allocate(m_pStringPool, &mem, length + kBlockOverhead, OS_NO_WAIT) : OS_FAILURE;
  if (st != OS_SUCCESS) {
    monitor_printf_debug("%s Allocation Error:%d! Ptr:%08x, Size:%d\n", area == mib_nv ? "NV" : "V", st, 0u,
                         length + kBlockOverhead);
    if (m_pStringPool) PrintBytePoolInfo(m_pStringPool);
    return nullptr;
  }
  return static_cast<uint8_t*>(mem);
}

CDataBase::writer_scope::writer_scope(CDataBase* db) : m_db(db) {
  m_held = db->m_bWriterLock && os_mutex_get(&db->m_writerLock, OS_WAIT_FOREVER) == OS_SUCCESS;
}

void CDataBase::writer_scope::Release() {
  if (m_held) os_mutex_put(&m_db->m_writerLock);
  m_held = false;
}

uint32_t CDataBase::GetTimeValue(uint32_t offset, uint32_t width, const uint8_t* area, uint32_t flags) {
  if (!IsArea(area) || width != 4) return 0;
  return m_regs.clock_read();
}

uint32_t CDataBase::SetTimeValue(uint32_t offset, uint32_t width, uint32_t value, uint8_t* area, uint32_t flags) {
  if (!IsArea(area) || width != 4) return DB_GEN_ERR;
  if (m_regs.clock_read() == value) {
    if (flags & DB_NOTIFY) NotifyChange(offset, area, DB_CHANGE_SAME);
    return DB_OK;
  }
  m_regs.clock_write(value);
  if (flags & DB_NOTIFY) NotifyChange(offset, area, DB_CHANGE_CHANGED);
  return DB_OK;
}

bool CDataBase::Journalled(const uint8_t* area, uint32_t flags) const {
  return area == mib_nv && !(flags & DB_NO_JOURNAL) && m_byFlashMode == 1 && m_pJournal;
}

bool CDataBase::Journal(uint32_t offset, uint32_t width, uint32_t value) {
  uint32_t address = 0;
  switch (width) {
    case 1:
      return m_pJournal->INT8(offset, static_cast<uint8_t>(value), &address) == 1;
    case 2:
      return m_pJournal->INT16(offset, static_cast<uint16_t>(value), &address) == 1;
    default:
      return m_pJournal->INT32(offset, value, &address) == 1;
  }
}

bool CDataBase::JournalString(uint32_t offset, const uint8_t* data, uint32_t length) {
  uint32_t address = 0;
  // Longer strings are refused by the journal itself.
  return m_pJournal->STRING(offset, data, length > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(length), &address) == 1;
}

void CDataBase::PrintBytePoolInfo(TX_BYTE_POOL* pool) {
  const char* name = nullptr;
  uint32_t total = 0, avail = 0, frags = 0;
  if (os_byte_pool_info(pool, &name, &total, &avail, &frags) == OS_SUCCESS)
    monitor_printf_debug("Byte Pool Info for %s 0x%08x Avail %d Frag\n", name, avail, frags);
}
