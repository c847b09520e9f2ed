#include "peripherals/pl_mediator.h"

#include "frame/os/os.h"
#include "frame/peripheral/peripheral.h"
#include "frame/trace/trace.h"
#include "peripherals/pl_factory.h"
#include "peripherals/pl_iterator.h"
#include "peripherals/peripheral_types.h"

pl_mediator::~pl_mediator() { Close(); }

bool pl_mediator::Lock() { return os_mutex_get(&m_Mutex, kMutexWait) == OS_SUCCESS; }
void pl_mediator::Unlock() { os_mutex_put(&m_Mutex); }

int pl_mediator::Open(pl_factory* factory, void* owner) {
  if (m_byState != STATE_CONSTRUCTED && m_byState != STATE_CLOSED) return 0;
  if (!factory || !owner) return 0;
  if (os_mutex_create(&m_Mutex, "pl_mediator", 1) != OS_SUCCESS) return 0;
  m_pFactory = factory;
  m_pOwner = owner;
  m_byState = STATE_OPEN;
  return 1;
}

int pl_mediator::Close() {
  if (m_byState < STATE_OPEN) return 0;
  if (os_mutex_delete(&m_Mutex) != OS_SUCCESS) return 0;
  // Shut-down: no other thread reaches the list any more.
  while (m_uCount) {
    CPeripheral* p = m_apList[--m_uCount];
    m_apList[m_uCount] = nullptr;
    delete p;
  }
  m_byState = STATE_CLOSED;
  return 1;
}

bool pl_mediator::s_bAbandoning = false;

void pl_mediator::Abandon() {
  // The peripherals' destructors leave the old kernel's tables alone.
  s_bAbandoning = true;
  while (m_uCount) {
    CPeripheral* p = m_apList[--m_uCount];
    m_apList[m_uCount] = nullptr;
    delete p;
  }
  s_bAbandoning = false;
  m_Mutex = TX_MUTEX{};
  if (m_byState != STATE_CONSTRUCTED) m_byState = STATE_CLOSED;
}

bool pl_mediator::Contains(const CPeripheral* p) const {
  for (uint32_t i = 0; i < m_uCount; ++i)
    if (m_apList[i] == p) return true;
  return false;
}

int pl_mediator::Append(CPeripheral* p) {
  if (!Lock()) return 0;
  int ok = 0;
  if (m_uCount < kCapacity) {
    m_apList[m_uCount++] = p;
    ok = 1;
  }
  Unlock();
  return ok;
}

int32_t pl_mediator::IndexOf(uint16_t type_id) const {
  for (uint32_t i = 0; i < m_uCount; ++i)
    if (m_apList[i]->m_wTypeId == type_id) return static_cast<int32_t>(i);
  return -1;
}

void pl_mediator::RemoveAt(uint32_t index) {
  CPeripheral* p = m_apList[index];
  for (uint32_t i = index + 1; i < m_uCount; ++i) m_apList[i - 1] = m_apList[i];
  m_apList[--m_uCount] = nullptr;
  delete p;
}

int pl_mediator::Create(uint16_t type_id, const char* parameters) {
  if (m_byState < STATE_OPEN) {
    monitor_printf("Error creating menu %d, %s \n", type_id, parameters ? parameters : "");
    return 0;
  }
  pl_record record;
  record.slot = PL_SLOT_BUILTIN;
  record.type_id = type_id;
  record.class_code = peripheral_class_of_type(type_id);
  record.parameters = parameters;
  CPeripheral* p = nullptr;
  if (!m_pFactory->Create(record, &p) || !p) return 0;
  if (!Append(p)) {
    // Not in the list, so nobody else would ever free it.
    delete p;
    return 0;
  }
  return 1;
}

int pl_mediator::Load(pl_iterator* cursor) {
  if (m_byState < STATE_OPEN || m_byState >= STATE_LOADED || !cursor) return 0;
  cursor->Rewind();
  pl_record record;
  while (cursor->Next(&record)) {
    const char* name = peripheral_name_of_type(record.type_id);
    if (Exists(record.type_id)) {
      monitor_printf("skip duplicate %s\n", name);
      continue;
    }
    record.class_code = peripheral_class_of_type(record.type_id);
    CPeripheral* p = nullptr;
    // The status writes below walk the records with a cursor of their own.
    pl_iterator status;
    if (m_pFactory->Create(record, &p) && p && Append(p)) {
      status.SetStatus(record.type_id, 0);
    } else {
      delete p;
      monitor_printf("load failure on %s\n", name);
      status.SetStatus(record.type_id, 1);
    }
  }
  m_byState = STATE_LOADED;
  return 1;
}

int pl_mediator::UnloadConfigured() {
  if (m_byState != STATE_LOADED) return 0;
  // Without the lock nothing was unloaded: stay loaded and say so.
  if (!Lock()) return 0;
  for (uint32_t i = m_uCount; i-- > 0;)
    if (m_apList[i]->m_wConfigSlot != PL_SLOT_BUILTIN) RemoveAt(i);
  Unlock();
  m_byState = STATE_UNLOADED;
  return 1;
}

int pl_mediator::Remove(uint16_t type_id) {
  if (m_byState < STATE_OPEN || !Lock()) return 0;
  int32_t i = IndexOf(type_id);
  if (i >= 0) RemoveAt(static_cast<uint32_t>(i));
  Unlock();
  return i >= 0 ? 1 : 0;
}

int pl_mediator::Find(uint16_t type_id, CPeripheral** out) {
  if (out) *out = nullptr;
  if (m_byState < STATE_OPEN || m_uCount == 0 || !Lock()) return 0;
  int32_t i = IndexOf(type_id);
  CPeripheral* p = i >= 0 ? m_apList[i] : nullptr;
  Unlock();
  if (out) *out = p;
  return p ? 1 : 0;
}

int pl_mediator::FindFirst(uint8_t class_code, cursor* it, CPeripheral** out) {
  if (it) *it = 0;
  return FindNext(class_code, it, out);
}

int pl_mediator::FindNext(uint8_t class_code, cursor* it, CPeripheral** out) {
  if (out) *out = nullptr;
  if (!it) return 0;
  while (*it < m_uCount) {
    CPeripheral* p = m_apList[(*it)++];
    if (class_code != PCLASS_ANY && p->m_byClass != class_code) continue;
    if (out) *out = p;
    return 1;
  }
  return 0;
}

int pl_mediator::Enable(uint16_t type_id) {
  CPeripheral* p = nullptr;
  if (!Find(type_id, &p)) return 0;
  p->SetEnabled(1);
  return 1;
}

int pl_mediator::Disable(uint16_t type_id) {
  CPeripheral* p = nullptr;
  if (!Find(type_id, &p)) return 0;
  p->SetEnabled(0);
  return 1;
}

int pl_mediator::SetPollInterval(uint16_t type_id, uint16_t interval, uint16_t* old_interval) {
  if (m_byState < STATE_OPEN || !Lock()) return 0;
  CPeripheral* p = nullptr;
  int found = Find(type_id, &p);
  if (found) {
    if (old_interval) *old_interval = p->m_wPollInterval;
    p->m_wPollCountdown = 0;
    p->m_wPollInterval = interval;
  }
  Unlock();
  return found;
}

int pl_mediator::SetPollCountdown(uint16_t type_id, uint16_t value) {
  if (m_byState < STATE_OPEN || !Lock()) return 0;
  CPeripheral* p = nullptr;
  int found = Find(type_id, &p);
  if (found) p->m_wPollCountdown = value;
  Unlock();
  return found;
}
