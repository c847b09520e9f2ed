// The live peripherals: pl_mediator creates them from records (Load) or
// from built-in requests (Create), keeps them in one list in creation order,
// finds them by type id or class code, enables and disables them, changes
// their poll interval and destroys them. A type id is live at most once.
//
// The list changes only under the mutex "pl_mediator" (it allows its owner
// to take it again). FindFirst and FindNext take no lock: they are for the
// peripheral task's thread, the only thread that adds or removes
// peripherals in normal operation.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "tx_api.h"

class CPeripheral;
class pl_factory;
class pl_iterator;

class pl_mediator {
 public:
  enum : uint8_t {
    STATE_CONSTRUCTED = 0,
    STATE_CLOSED = 1,
    STATE_OPEN = 2,
    STATE_UNLOADED = 3,  // configured peripherals unloaded
    STATE_LOADED = 4,    // configured peripherals loaded
  };
  static constexpr uint32_t kMutexWait = 500;
  // Every record plus the built-ins, with room to spare.
  static constexpr uint32_t kCapacity = 320;
  // A walk position of FindFirst / FindNext.
  typedef uint32_t cursor;

  pl_mediator() = default;
  ~pl_mediator();
  pl_mediator(const pl_mediator&) = delete;
  pl_mediator& operator=(const pl_mediator&) = delete;

  // From state 0 or 1 with both pointers: creates the mutex; state 2.
  int Open(pl_factory* factory, void* owner);
  // From state 2 on: deletes the mutex, destroys every live peripheral;
  // state 1.
  int Close();

  // The kernel beneath was restarted (its mutex is gone): destroys every
  // live peripheral without the lock; state 1.
  void Abandon();
  // True while Abandon destroys peripherals: their database rows and the
  // timer service belong to the old kernel and must not be touched.
  static bool Abandoning() { return s_bAbandoning; }

  // A built-in peripheral (slot 65535) of the type, with the text (may be
  // null). 0 before Open, when the factory fails, or when the list cannot
  // take it (the object is then destroyed).
  int Create(uint16_t type_id, const char* parameters);
  // Every record, from slot 0 (the cursor walks them): a type already live
  // is skipped ("skip duplicate"), a failed creation gets load status 1,
  // a created one status 0. Only below state 4; state 4.
  int Load(pl_iterator* cursor);
  // Destroys every peripheral whose slot is not 65535 (tail to head). Only
  // in state 4; state 3. 0, still in state 4, when the lock is not had.
  int UnloadConfigured();
  // Destroys the peripheral of the type. 0 when absent.
  int Remove(uint16_t type_id);

  int Find(uint16_t type_id, CPeripheral** out);
  int Exists(uint16_t type_id) { return Find(type_id, nullptr); }
  // Head to tail; class PCLASS_ANY (1) matches every peripheral. 0 and
  // null at the end.
  int FindFirst(uint8_t class_code, cursor* it, CPeripheral** out);
  int FindNext(uint8_t class_code, cursor* it, CPeripheral** out);

  // CPeripheral::SetEnabled (1 / 0) outside the lock; 1 when found.
  int Enable(uint16_t type_id);
  int Disable(uint16_t type_id);
  // 1 when found: the old interval out, the new one in, countdown 0.
  int SetPollInterval(uint16_t type_id, uint16_t interval, uint16_t* old_interval);
  // 1 when found. A countdown of 0 puts the next poll one interval away.
  int SetPollCountdown(uint16_t type_id, uint16_t value);

  // Whether the object is still live (no lock: the task's thread).
  bool Contains(const CPeripheral* p) const;

  uint8_t State() const { return m_byState; }
  uint32_t Count() const { return m_uCount; }
  void* Owner() const { return m_pOwner; }

 private:
  bool Lock();
  void Unlock();
  // Appends under the lock; 0 when the lock or the room is missing.
  int Append(CPeripheral* p);
  // Index of the type in the list, or -1 (caller holds the lock).
  int32_t IndexOf(uint16_t type_id) const;
  void RemoveAt(uint32_t index);

  void* m_pOwner = nullptr;
  pl_factory* m_pFactory = nullptr;
  CPeripheral* m_apList[kCapacity] = {};
  uint32_t m_uCount = 0;
  TX_MUTEX m_Mutex{};
  uint8_t m_byState = STATE_CONSTRUCTED;
  static bool s_bAbandoning;
};
