// The parameter database: every configuration and state object of the
// controller, in a non-volatile area (journalled to flash) and a volatile
// area (rebuilt at every start). Objects are named by area, offset, width.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "frame/bus/subscriber.h"
#include "frame/task/task_base.h"
#include "tx_api.h"

class CDB;
class db_journal;

// Access flags, the last argument of every accessor.
enum db_access_flags : uint32_t {
  DB_NOTIFY = 1,       // announce the write (change notification)
  DB_NO_JOURNAL = 2,   // a non-volatile write is not journalled
  DB_GLOBAL_TIME = 4,  // the access to the global time is meant
  DB_NO_VALIDATE = 8,  // skip the write hook
};

// What a quiet write skips (CDataBase::BeginQuiet).
enum db_quiet : uint32_t {
  DB_QUIET_NOTIFY = 1,
  DB_QUIET_HOOKS = 2,
};

// Writers' results: SNMPv1 error-status numbers.
enum db_result : uint32_t {
  DB_OK = 0,
  DB_BAD_VALUE = 3,
  DB_GEN_ERR = 5,
};

constexpr uint32_t MIB_NV_SIZE = 98108;
constexpr uint32_t MIB_V_SIZE = 26448;
constexpr uint32_t DB_GLOBAL_TIME_OFFSET = 48180;
// A non-volatile string block longer than this is taken as damaged: no
// object takes more (a MULTI text), and the journal keeps up to this.
constexpr uint32_t DB_NV_STRING_MAX = 3000;

// Kinds of change notice.
enum db_change_kind : uint32_t { DB_CHANGE_SAME = 1, DB_CHANGE_CHANGED = 2 };

// The board registers the database keeps state in: the real-time clock
// that holds the global time, and the boot-failure counter that survives a
// restart. The defaults keep both in memory; start-up points them at the
// board.
struct db_board_regs {
  uint32_t (*clock_read)();
  void (*clock_write)(uint32_t value);
  uint8_t (*boot_counter_read)();
  void (*boot_counter_write)(uint8_t value);
};

class CDataBase : public CTaskBase {
 public:
  explicit CDataBase(post_office* router);
  ~CDataBase() override;

  // --- object store
  uint32_t GetValue(uint32_t offset, uint32_t width, const uint8_t* area, uint32_t flags);
  uint32_t SetValue(uint32_t offset, uint32_t width, uint32_t value, uint8_t* area, uint32_t flags);
  // The bytes are the calling thread's own copy of the object, NUL
  // terminated: they stay readable and belong to that object for the
  // thread's life, and change only when the thread reads it again.
  const uint8_t* GetString(uint32_t offset, uint32_t width, const uint8_t* area, uint32_t* length);
  uint32_t SetString(uint32_t offset, uint32_t width, const void* data, uint32_t length, uint8_t* area,
                     uint32_t flags);
  uint32_t GetTimeValue(uint32_t offset, uint32_t width, const uint8_t* area, uint32_t flags);
  uint32_t SetTimeValue(uint32_t offset, uint32_t width, uint32_t value, uint8_t* area, uint32_t flags);
  uint8_t IsFlashMode() const { return m_byFlashMode; }
  // Whether the mib_nv object at this offset is a string (the journal's
  // records carry no type).
  static bool IsStringObject(uint32_t offset);
  // Whether an integer of this width at this offset would touch the 4-byte
  // handle of a string object.
  static bool OverlapsStringSlot(uint32_t offset, uint32_t width);

  // --- write hooks (validation and re-derivation of dependent objects)
  uint32_t ValidateValue(uint32_t offset, uint32_t width, uint32_t value, uint8_t* area);
  uint32_t ValidateString(uint32_t offset, uint32_t width, const void* data, uint32_t length, uint8_t* area);

  // --- change notification
  void NotifyChange(uint32_t offset, const uint8_t* area, uint32_t kind);

  // --- task and start-up
  int Create(TX_BYTE_POOL* pool);
  int Subscribe();
  int Init();
  void LoadDefaults(int keep);
  void InitVolatileDefaults();
  void StateMachine_BootCounter(int argument);
  void PrintBytePoolInfo(TX_BYTE_POOL* pool);
  int LoadFont(const char* name, int slot);
  void LoadDefaultFonts();
  void UpdateFontVersionID(int slot);
  int Process() override;

  // Where string blocks come from ("dynamic database"). The same pool
  // handed in again was made afresh by a new start: the handles into it are
  // dropped.
  void SetStringPool(TX_BYTE_POOL* pool);
  TX_BYTE_POOL* StringPool() const { return m_pStringPool; }
  void SetBoardRegs(const db_board_regs& regs) { m_regs = regs; }

  bool NotifyEnabled() const { return m_bNotifyEnable; }
  bool HooksEnabled() const { return m_bHookEnable; }
  void SetNotifyEnabled(bool on) { m_bNotifyEnable = on; }
  void SetHooksEnabled(bool on) { m_bHookEnable = on; }
  void SetFlashMode(uint8_t mode) { m_byFlashMode = mode; }
  // The journal has no file in flash: writes stay in RAM, and journalling
  // is not switched on again in this run.
  void JournalUnavailable();
  // Journals what changed in mib_nv while journalling was off at start.
  void JournalStartWrites();
  // Makes the task step now instead of at its next period (journal copy).
  void WakeTask();
  bool JournalLost() const { return m_bJournalLost; }

  // Quiet writes: the calling thread's own writes skip the change notices
  // (DB_QUIET_NOTIFY) or the write hooks (DB_QUIET_HOOKS), while the writes
  // of every other thread go on as before. The defaults and the font
  // loaders run this way while the other tasks keep writing. Begin returns
  // the bits the thread had, End gives them back, so scopes nest.
  uint32_t BeginQuiet(uint32_t what);
  void EndQuiet(uint32_t previous);
  uint32_t QuietBits() const;

  uint8_t m_byThreadsLaunched = 0;
  subscriber m_mailbox;
  uint8_t m_byBootCountCleared = 0;
  db_journal* m_pJournal = nullptr;
  uint8_t m_byReady = 0;
  uint8_t mib_nv[MIB_NV_SIZE];
  uint8_t mib_v[MIB_V_SIZE];
  uint32_t m_dwConfigChangeCount = 0;
  // Bits of the event-configuration OIDs whose last write was refused: 0x10
  // the compare OID, 0x20 the log OID (shared by all 60 configurations).
  uint32_t m_dwOidErrors = 0;

 private:
  bool IsArea(const uint8_t* area) const { return area == mib_nv || area == mib_v; }
  uint32_t AreaSize(const uint8_t* area) const { return area == mib_nv ? MIB_NV_SIZE : MIB_V_SIZE; }
  bool InRange(const uint8_t* area, uint32_t offset, uint32_t width, const char* who);
  uint8_t* BlockOf(const uint8_t* area, uint32_t offset);
  void SetSlot(uint8_t* area, uint32_t offset, uint8_t* block);
  uint8_t* AllocateBlock(const uint8_t* area, uint32_t length);
  void CreateWriterLock();
  // Whether a write of this area with these flags goes to the journal.
  bool Journalled(const uint8_t* area, uint32_t flags) const;
  bool Journal(uint32_t offset, uint32_t width, uint32_t value);
  bool JournalString(uint32_t offset, const uint8_t* data, uint32_t length);

  uint8_t m_byFlashMode = 1;
  bool m_bJournalLost = false;
  // mib_nv as journalled when journalling went off at start, until it is
  // switched on again.
  std::unique_ptr<uint8_t[]> m_pStartImage;
  bool m_bNotifyEnable = false;
  bool m_bHookEnable = true;

  // The threads writing quietly (a null thread is the start-up context).
  struct quiet_writer {
    const TX_THREAD* thread;
    uint32_t bits;
    bool used;
  };
  static constexpr uint32_t kQuietWriters = 8;
  quiet_writer m_quiet[kQuietWriters] = {};
  TX_BYTE_POOL* m_pStringPool = nullptr;
  db_board_regs m_regs;

  // Slots and blocks of strings change under m_stringLock, which readers
  // copy under; no kernel call is made while it is held, so threads of the
  // kernel and host threads can share it. Journalled writers (and every
  // writer of strings) take m_writerLock (a kernel mutex) around their
  // whole write.
  std::mutex m_stringLock;
  TX_MUTEX m_writerLock{};
  bool m_bWriterLock = false;
  class writer_scope {
   public:
    explicit writer_scope(CDataBase* db);
    ~writer_scope() { Release(); }
    writer_scope(const writer_scope&) = delete;
    writer_scope& operator=(const writer_scope&) = delete;
    void Release();

   private:
    CDataBase* m_db;
    bool m_held;
  };
};

// Loads a built-in font into a font slot's objects (the display's font
// library installs it); 1 on success.
typedef int (*builtin_font_loader)(CDataBase& db, const char* name, int slot);
extern builtin_font_loader g_builtin_font_loader;

// The critical-temperature limits (degrees Celsius) of the sign's module
// type, which bound mib_nv.quorShutOffTemp. The module diagnostics install
// it; while it is null the limits of an unlisted module type apply.
typedef void (*module_critical_limits_fn)(int32_t* minimum, int32_t* maximum);
extern module_critical_limits_fn g_module_critical_limits;
constexpr int32_t DB_DEFAULT_CRITICAL_MIN = 85;
constexpr int32_t DB_DEFAULT_CRITICAL_MAX = 110;

// The one database of the controller.
extern CDataBase* g_pDataBase;

// mib_nv.globalTime in seconds, as the clock keeps it (0 without a database).
inline uint32_t db_global_time() {
  return g_pDataBase ? g_pDataBase->GetTimeValue(DB_GLOBAL_TIME_OFFSET, 4, g_pDataBase->mib_nv, DB_GLOBAL_TIME) : 0;
}

// The event flags "database" that change notices raise.
extern TX_EVENT_FLAGS_GROUP g_database_flags;
