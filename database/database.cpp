// The object store: integer and string objects of both areas.
#include "database/database.h"

#include <cstring>

#include "database/journal.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

CDataBase* g_pDataBase = nullptr;

namespace {

// Replaced string blocks stay readable this long before they are freed, so
// a reader that was handed the old bytes is not left with freed memory.
constexpr uint32_t kRetireTicks = 200;

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
  g_pDataBase = this;
}

CDataBase::~CDataBase() {
  ReclaimStrings(true);
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
    if (load_be(area + offset, width) == value) {
      if (flags & DB_NOTIFY) NotifyChange(offset, area, DB_CHANGE_SAME);
      return DB_OK;
    }
    store_be(area + offset, width, value);
    if (area == mib_nv && !(flags & DB_NO_JOURNAL) && m_byFlashMode == 1) Journal(offset, width, value);
  }
  if (flags & DB_NOTIFY) NotifyChange(offset, area, DB_CHANGE_CHANGED);
  return DB_OK;
}

void CDataBase::SetStringPool(TX_BYTE_POOL* pool) {
  if (pool && pool == m_pStringPool) {
    m_retiredCount = 0;
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
  if (handle - 1 >= m_pStringPool->size) return nullptr;
  return base + (handle - 1);
}

void CDataBase::SetSlot(uint8_t* area, uint32_t offset, uint8_t* block) {
  uint32_t handle = 0;
  if (block) handle = static_cast<uint32_t>(block - static_cast<uint8_t*>(m_pStringPool->start)) + 1;
  store_be(area + offset, 4, handle);
}

const uint8_t* CDataBase::GetString(uint32_t offset, uint32_t width, const uint8_t* area, uint32_t* length) {
  if (length) *length = 0;
  if (!IsArea(area) || !InRange(area, offset, 4, "GetString")) return kEmpty;
  uint8_t* block = BlockOf(area, offset);
  if (!block) return kEmpty;
  uint32_t len = load_be(block, 4);
  if (area == mib_nv && len > DB_NV_STRING_MAX) {
    monitor_printf_debug("DB Error! Dynamic Object Too Long!\n");
    return kEmpty;
  }
  if (length) *length = len;
  return block + 4;
}

uint32_t CDataBase::SetString(uint32_t offset, uint32_t width, const void* data, uint32_t length, uint8_t* area,
                              uint32_t flags) {
  if (!IsArea(area)) return DB_GEN_ERR;
  if (!InRange(area, offset, 4, "SetString")) return DB_GEN_ERR;
  if (length && !data) return DB_GEN_ERR;
  if (!(flags & DB_NO_VALIDATE)) {
    uint32_t r = ValidateString(offset, width, data, length, area);
    if (r != DB_OK) {
      monitor_printf("SetString invalid value\r\n");
      return r;
    }
  }
  uint8_t* old = BlockOf(area, offset);
  // An empty string that stays empty is unchanged too.
  if ((old && load_be(old, 4) == length && std::memcmp(old + 4, data, length) == 0) || (!old && length == 0)) {
    if (flags & DB_NOTIFY) NotifyChange(offset, area, DB_CHANGE_SAME);
    return DB_OK;
  }
  // A changed string always gets a fresh block: a reader may still be
  // looking at the old bytes, so they are neither overwritten nor freed now.
  if (old) {
    SetSlot(area, offset, nullptr);
    Retire(old);
  }
  if (length) {
    void* mem = nullptr;
    os_status st = m_pStringPool ? os_byte_allocate(m_pStringPool, &mem, length + kBlockOverhead, OS_NO_WAIT)
                                 : OS_FAILURE;
    if (st != OS_SUCCESS && m_pStringPool) {
      ReclaimStrings(true);
      st = os_byte_allocate(m_pStringPool, &mem, length + kBlockOverhead, OS_NO_WAIT);
    }
    if (st != OS_SUCCESS) {
      monitor_printf_debug("%s Allocation Error:%d! Ptr:%08x, Size:%d\n", area == mib_nv ? "NV" : "V", st, 0u,
                           length + kBlockOverhead);
      if (m_pStringPool) PrintBytePoolInfo(m_pStringPool);
      return DB_GEN_ERR;
    }
    uint8_t* block = static_cast<uint8_t*>(mem);
    store_be(block, 4, length);
    std::memcpy(block + 4, data, length);
    block[4 + length] = 0;
    SetSlot(area, offset, block);
  }
  if (area == mib_nv && !(flags & DB_NO_JOURNAL) && m_byFlashMode == 1)
    JournalString(offset, static_cast<const uint8_t*>(data), length);
  if (flags & DB_NOTIFY) NotifyChange(offset, area, DB_CHANGE_CHANGED);
  return DB_OK;
}

void CDataBase::Retire(uint8_t* block) {
  // Full: the oldest block has waited longest and goes back first.
  if (m_retiredCount == kRetiredMax) {
    os_byte_release(m_retired[0].block);
    std::memmove(m_retired, m_retired + 1, (kRetiredMax - 1) * sizeof m_retired[0]);
    --m_retiredCount;
  }
  m_retired[m_retiredCount++] = {block, tx_time_get()};
}

void CDataBase::ReclaimStrings(bool all) {
  uint32_t now = tx_time_get();
  uint32_t kept = 0;
  uint8_t* release[kRetiredMax];
  uint32_t n = 0;
  // Pick the blocks first: releasing is a kernel call, and the list must be
  // consistent whenever another writer might run.
  for (uint32_t i = 0; i < m_retiredCount; ++i) {
    if (all || now - m_retired[i].tick >= kRetireTicks)
      release[n++] = m_retired[i].block;
    else
      m_retired[kept++] = m_retired[i];
  }
  m_retiredCount = kept;
  for (uint32_t i = 0; i < n; ++i) os_byte_release(release[i]);
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

void CDataBase::Journal(uint32_t offset, uint32_t width, uint32_t value) {
  if (!m_pJournal) return;
  uint32_t address = 0;
  switch (width) {
    case 1:
      m_pJournal->INT8(offset, static_cast<uint8_t>(value), &address);
      break;
    case 2:
      m_pJournal->INT16(offset, static_cast<uint16_t>(value), &address);
      break;
    default:
      m_pJournal->INT32(offset, value, &address);
      break;
  }
}

void CDataBase::JournalString(uint32_t offset, const uint8_t* data, uint32_t length) {
  if (!m_pJournal) return;
  uint32_t address = 0;
  // Longer strings are refused by the journal itself.
  m_pJournal->STRING(offset, data, length > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(length), &address);
}

void CDataBase::PrintBytePoolInfo(TX_BYTE_POOL* pool) {
  const char* name = nullptr;
  uint32_t total = 0, avail = 0, frags = 0;
  if (os_byte_pool_info(pool, &name, &total, &avail, &frags) == OS_SUCCESS)
    monitor_printf_debug("Byte Pool Info for %s 0x%08x Avail %d Frag\n", name, avail, frags);
}
