// The "Database" task: start-up of the store (journal, defaults, volatile
// defaults), the once-a-second cycle, and the boot-failure counter.
#include <cstring>
#include <memory>

#include "database/config_file.h"
#include "database/database.h"
#include "database/defaults.h"
#include "database/journal.h"
#include "database/objects.h"
#include "frame/bus/letter.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

namespace {

const uint32_t kSubscriptions[] = {MSG_DATABASE_STOP, MSG_DATABASE_SUSPEND, MSG_DATABASE_RESUME,
                                   MSG_DATABASE_STACK_REPORT, 0};

// Volatile-only operation: the journal is not the record of the
// configuration.
constexpr uint32_t kVolatileOnlyFeature = 0x800;

const task_letters_s kControl = {MSG_DATABASE_STOP, 0, "Suspending database task\n", "Resuming database task\n",
                                 "Database"};

void database_thread_entry(ULONG) { g_pDataBase->Run("Database Task", nullptr, 0); }

void database_timer(ULONG) { g_pDataBase->TimerExpired(); }

}  // namespace

int CDataBase::Create(TX_BYTE_POOL* pool) { return CTaskBase::Create(pool, database_thread_entry, database_timer); }

int CDataBase::Subscribe() { return m_mailbox.Subscribe(kSubscriptions); }

int CDataBase::Process() {
  CTaskBase::Process();
  letter_s* letter = nullptr;
  while (m_mailbox.Receive(&letter)) {
    bool stop = letter->Id() == MSG_DATABASE_STOP;
    HandleControlLetter(&m_mailbox, letter, kControl);
    if (stop) return 0;  // the stop letter went back with the thread's end
    m_mailbox.Release(letter);
  }

  uint32_t features = GetValue(nv::quorSpecialFeatureSet.offset, 4, mib_nv, 0);
  if ((features & kVolatileOnlyFeature) && m_byFlashMode == 1) {
    monitor_printf("disabling flash database, running in volatile only mode\n");
    m_byFlashMode = 0;
    m_pStartImage.reset();
  } else if (!(features & kVolatileOnlyFeature) && m_byFlashMode == 0 && !m_bJournalLost) {
    monitor_printf("enabling flash database, running in non-volatile mode\n");
    m_byFlashMode = 1;
    JournalStartWrites();
    // Two writes put the current value into the journal even when it still
    // holds the older value with the bit set.
    SetValue(nv::quorSpecialFeatureSet.offset, 4, features | kVolatileOnlyFeature, mib_nv, DB_NOTIFY);
    SetValue(nv::quorSpecialFeatureSet.offset, 4, features & ~kVolatileOnlyFeature, mib_nv, DB_NOTIFY);
  }
  if (m_byFlashMode == 1 && m_pJournal) {
    m_pJournal->Deleting();
    m_pJournal->StateMachine_Defrag();
  }
  if (!m_byBootCountCleared && tx_time_get() > 3000) {
    StateMachine_BootCounter(1);
    m_byBootCountCleared = 1;
  }
  return 0;
}

int CDataBase::Init() {
  // The volatile area starts empty at every start, as the board's RAM does.
  std::memset(mib_v, 0, sizeof mib_v);
  m_bHookEnable = false;
  CDB::CreateMutexes();
  CreateWriterLock();
  StateMachine_BootCounter(0);
  CDB* journal = CDB::Instance(this);
  m_pJournal = journal;
  if (journal->Load() == 0) {
    std::memset(mib_nv, 0, sizeof mib_nv);
    LoadDefaults(0);
    config_file_restore();
    journal_validate_new_header(journal);
  } else if (GetValue(nv::quorSpecialFeatureSet.offset, 4, mib_nv, 0) & kVolatileOnlyFeature) {
    config_file_restore();
  }
  InitVolatileDefaults();
  for (int slot = 0; slot < 20; ++slot) UpdateFontVersionID(slot);
  m_byReady = 1;
  m_bNotifyEnable = true;
  m_bHookEnable = true;
  return 1;
}

void CDataBase::LoadDefaults(int keep) {
  // Defaults are journalled, except in volatile-only operation: a reload by
  // memory management must not switch the journal on behind the task's
  // switch.
  if (!(GetValue(nv::quorSpecialFeatureSet.offset, 4, mib_nv, 0) & kVolatileOnlyFeature) && !m_bJournalLost)
    m_byFlashMode = 1;
  // Quiet for this thread only: memory management reloads the defaults
  // while the other tasks write.
  const uint32_t quiet = BeginQuiet(DB_QUIET_NOTIFY | DB_QUIET_HOOKS);
  defaults_sign_nv(*this, keep);
  defaults_mib2_nv(*this, keep);
  defaults_private_nv(*this, keep);
  defaults_global_nv(*this, keep);
  defaults_fdot_nv(*this, keep);
  defaults_traps_nv(*this, keep);

  static const struct {
    uint32_t offset, value;
  } kHeader[] = {
      {0, 3},     {4, 98108},     {40, 1},       {8, 40},       {44, 48076},   {48116, 1},    {12, 48116},
      {48120, 46892}, {95008, 1}, {16, 95008},   {95012, 2996}, {98004, 1},    {20, 98004},   {98008, 72},
      {98076, 1}, {24, 98076},    {98080, 20},   {98096, 1},    {28, 98096},   {98100, 12},
  };
  for (const auto& h : kHeader) SetValue(h.offset, 4, h.value, mib_nv, DB_NOTIFY);

  uint32_t sign_type = GetValue(nv::dmsSignType.offset, 1, mib_nv, 0);
  if (sign_type == 4 || sign_type == 132) {
    SetValue(4, 1, 1, mib_v, DB_NOTIFY);
    LoadFont("FW07X5_1_NEMA4.FNT", 0);
  } else {
    monitor_printf("#1 KM_Series\n");
    if (m_byFlashMode == 1) {
      monitor_printf("#2 LoadFont\n");
      LoadDefaultFonts();
    }
  }
  monitor_printf_debug("DB Sizes - VersionInformation_mib_nv:%d dms:%d global:%d quor:%d classb:%d fdot:%d\n", 40,
                       48076, 46892, 2996, 72, 20);
  EndQuiet(quiet);
}

void CDataBase::JournalStartWrites() {
  if (!m_pStartImage || !m_pJournal) return;
  std::unique_ptr<uint8_t[]> image = std::move(m_pStartImage);
  uint32_t address = 0, written = 0;
  for (uint32_t at = 0; at < MIB_NV_SIZE; ++at) {
    if (mib_nv[at] == image[at]) continue;
    // The clock keeps the global time; the area's copy is not the record.
    if (at >= DB_GLOBAL_TIME_OFFSET && at < DB_GLOBAL_TIME_OFFSET + 4) continue;
    uint32_t slot = at;
    while (slot + 3 > at && slot > 0 && !IsStringObject(slot)) --slot;
    if (IsStringObject(slot) && at < slot + 4) {
      uint32_t length = 0;
      const uint8_t* text = GetString(slot, 4, mib_nv, &length);
      written += JournalString(slot, text, length);
      at = slot + 3;
      continue;
    }
    // Bytes as they are: whatever the object's width, a byte record puts
    // back exactly what changed.
    written += m_pJournal->INT8(at, mib_nv[at], &address) == 1;
  }
  monitor_printf_debug("CDataBase: %u start-up changes journalled\n", written);
}

void CDataBase::WakeTask() { os_event_set(Events(), FLAG_TIMER, OS_EVENT_OR); }

void CDataBase::JournalUnavailable() {
  m_bJournalLost = true;
  m_byFlashMode = 0;
}

void CDataBase::InitVolatileDefaults() {
  // At start-up journalling stays off until the task's first cycle; once
  // the threads run (memory management) it is left as the task set it.
  if (!m_byThreadsLaunched) {
    m_byFlashMode = 0;
    // What start-up writes meanwhile (the reset kind, the start-up script)
    // reaches the journal when it is switched on: the area as it is now is
    // what the journal already holds.
    m_pStartImage.reset();
    if (m_pJournal && !m_bJournalLost &&
        !(GetValue(nv::quorSpecialFeatureSet.offset, 4, mib_nv, 0) & kVolatileOnlyFeature)) {
      m_pStartImage = std::make_unique<uint8_t[]>(MIB_NV_SIZE);
      std::memcpy(m_pStartImage.get(), mib_nv, MIB_NV_SIZE);
    }
  }
  const uint32_t quiet = BeginQuiet(DB_QUIET_NOTIFY | DB_QUIET_HOOKS);
  defaults_sign_v(*this);
  defaults_mib2_v(*this);
  defaults_private_v(*this);
  defaults_global_v(*this);
  defaults_fdot_v(*this);
  defaults_traps_v(*this);
  defaults_beacon_v(*this);
  defaults_vestrel_v(*this);
  defaults_network_v(*this);
  EndQuiet(quiet);
}

void CDataBase::StateMachine_BootCounter(int argument) {
  uint8_t reg = m_regs.boot_counter_read();
  monitor_printf_debug("CDatabase::StateMachine_BootCounter:0x%02X\n", reg);
  uint8_t count = reg & 0x0F;
  uint8_t high = reg & 0xF0;
  bool journal_present = journal_file_exists("nv1.dat") || journal_file_exists("nv2.dat");
  if (argument == 1 || !journal_present) {
    m_regs.boot_counter_write(high);
    if (argument == 0) SetTimeValue(DB_GLOBAL_TIME_OFFSET, 4, 0, mib_nv, DB_GLOBAL_TIME);
    return;
  }
  // Starts that each ended within 30 s: from the eighth on the journal is
  // thrown away, at the fifteenth the configuration file too.
  if (count == 15) {
    journal_file_delete("nv1.dat");
    journal_file_delete("nv2.dat");
    journal_file_delete("CONFIG.XML");
  } else if (count >= 8) {
    m_regs.boot_counter_write(high | (count + 1));
    journal_file_delete("nv1.dat");
    journal_file_delete("nv2.dat");
  } else {
    m_regs.boot_counter_write(high | (count + 1));
  }
}
