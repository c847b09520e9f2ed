// The flash journal of the non-volatile area: every non-volatile change is
// appended as a record to "nv1.dat" or "nv2.dat" and replayed at start.
//
// File layout (big-endian numbers, CRC-16 X.25 complemented, low byte first):
//   header  0x7F | rev 0 | sequence u32 | db rev 0 | db size u32 | crc | '|'
//   record  '~' | L u16 | object offset u32 | value (L - 6 bytes) | crc | '|'
// A record is deleted by programming its '~' to '>' (one bit cleared).
#pragma once

#include <cstdint>

class CDataBase;

// What the object store needs of a journal.
class db_journal {
 public:
  virtual ~db_journal() = default;
  virtual int INT8(uint32_t offset, uint8_t value, uint32_t* address) = 0;
  virtual int INT16(uint32_t offset, uint16_t value, uint32_t* address) = 0;
  virtual int INT32(uint32_t offset, uint32_t value, uint32_t* address) = 0;
  virtual int STRING(uint32_t offset, const uint8_t* data, uint16_t length, uint32_t* address) = 0;
  // Housekeeping of the database task's cycle.
  virtual void Deleting() {}
  virtual void StateMachine_Defrag() {}
};

constexpr uint32_t JOURNAL_FILE_SIZE = 4194304;
constexpr uint32_t JOURNAL_HEADER_SIZE = 14;
// The longest string any object takes (a MULTI text), journalled whole.
constexpr uint32_t JOURNAL_STRING_MAX = 3000;
constexpr uint32_t JOURNAL_RECORD_MAX_L = JOURNAL_STRING_MAX + 1 + 6;  // longer L: not a record
// A run of more erased bytes than this between records is the erased tail.
constexpr uint32_t JOURNAL_ERASED_RUN_MAX = 1700;
constexpr uint32_t JOURNAL_DEFRAG_USED = 3145728;  // used bytes that start a defragmentation
constexpr uint32_t JOURNAL_INDEX_SIZE = 8000;
constexpr uint8_t JOURNAL_HEADER_VALID = 0x7F;
constexpr uint8_t JOURNAL_LIVE = '~';
constexpr uint8_t JOURNAL_DELETED = '>';
constexpr uint8_t JOURNAL_TERMINATOR = '|';
// Name of the monitor variable that counts the defragmenting restarts the
// journal asked for in a row without getting room for a file.
constexpr const char* JOURNAL_RESTART_VARIABLE = "NVDEFRAG";
constexpr uint32_t JOURNAL_RESTARTS_MAX = 3;

// CRC of the journal: X.25 over the bytes, complemented.
uint16_t journal_crc(const uint8_t* bytes, uint32_t length);
// Bytes of the well-formed record (live or deleted) at p, which may use the
// bytes up to end: L within limits, inside, terminator and CRC; else 0.
uint32_t journal_record_size(const uint8_t* p, const uint8_t* end);
// Builds a record into out (room for JOURNAL_RECORD_MAX_L + 4); its size.
uint32_t journal_make_record(uint8_t* out, uint32_t offset, const uint8_t* value, uint32_t length);
// Builds a header; marker 0xFF for a journal still being filled.
void journal_make_header(uint8_t* out, uint8_t marker, uint32_t sequence);

namespace impl_token {

// One record as the replay sees it.
struct record_view {
  const uint8_t* value;  // the value bytes, in place in the file
  uint32_t offset;       // the object's offset in mib_nv
  uint16_t length;       // L
};

// Walks the live records of a byte range. Deleted records are stepped over
// whole, damaged bytes one at a time; a run of more than
// JOURNAL_ERASED_RUN_MAX erased bytes ends the walk (the rest is erased).
class iterator {
 public:
  enum : uint8_t { CLOSED = 1, OPEN = 2 };
  int Open(const uint8_t* begin, const uint8_t* end);
  void Close() { m_byState = CLOSED; }
  void Rewind() { m_pCursor = m_pBegin; }
  // 1 and the next live record, or 0 at the end.
  int Next(record_view* out);
  uint8_t State() const { return m_byState; }

 private:
  uint8_t m_byState = CLOSED;
  const uint8_t* m_pBegin = nullptr;
  const uint8_t* m_pEnd = nullptr;
  const uint8_t* m_pCursor = nullptr;
};

}  // namespace impl_token

class CDB : public db_journal {
 public:
  static CDB* Instance(CDataBase* db);
  // Frees the journal (tests that start over).
  static void DestroyInstance();
  // "Flash Database Mutex" and "Delete Object".
  static void CreateMutexes();

  // 1 when a valid journal was replayed into mib_nv; 0 when a new, empty
  // journal was created (the caller loads the defaults).
  int Load();
  // The record address given back is the record's offset in the file.
  int INT8(uint32_t offset, uint8_t value, uint32_t* address) override;
  int INT16(uint32_t offset, uint16_t value, uint32_t* address) override;
  int INT32(uint32_t offset, uint32_t value, uint32_t* address) override;
  int STRING(uint32_t offset, const uint8_t* data, uint16_t length, uint32_t* address) override;
  void Deleting() override;
  void StateMachine_Defrag() override;
  uint32_t FillPercent();
  // Name of the live journal file, or null when there is none.
  const char* CurrentFileName() const { return m_pszCurrent; }
  // Bytes used in the live file (0 when there is none).
  uint32_t UsedLength();
  uint32_t PendingCount() const { return m_uPendingCount; }
  uint8_t DefragState() const { return m_byDefragState; }

 private:
  struct index_entry {
    uint32_t address;  // record's offset in the live file
    uint32_t offset;   // object's offset in mib_nv
  };
  struct journal_file {
    const char* name;
    uint8_t* base;  // data start, null when the file does not exist
    uint32_t size;  // data size
    uint32_t end;   // used length
    bool end_known;
  };

  explicit CDB(CDataBase* db);
  journal_file& File(const char* name);
  journal_file* Live();
  void Refresh(journal_file& f);
  void FindEnd(journal_file& f);
  void Unlink(journal_file& f);
  void ResetRun();
  uint32_t Used();  // UsedLength for callers that hold the lock or run alone
  int write(const char* name, const uint8_t* data, uint32_t length, uint32_t* address, bool rescan);
  int Append(const char* who, uint32_t offset, const uint8_t* value, uint32_t length, uint32_t* address);
  void IndexRecord(uint32_t address, uint32_t offset);
  void delete_obj(uint32_t offset, uint32_t address);
  int FFS_SDH(const uint8_t* old_header, const char* name);
  bool RoomForFile(const char* name);
  int LoadFiles();
  void Replay(const journal_file& f);
  int Recreate(const char* name, const char* failure);
  void Copy();
  void TranslateIndex(const journal_file& f);

  uint8_t* m_pCurrentBase = nullptr;
  const char* m_pszCurrent = nullptr;
  CDataBase* m_pDataBase;
  journal_file m_files[2];
  uint8_t m_byRescan = 0;
  uint32_t m_uPendingCount = 0;
  index_entry m_work[JOURNAL_INDEX_SIZE];
  index_entry m_pending[JOURNAL_INDEX_SIZE];

  // Appender and defragmenter.
  bool m_bFirstAppend = true;
  uint8_t m_byDefragState = 0;  // 0 idle, 1 copying, 2 cleaning
  uint16_t m_uCountdown = 6;
  bool m_bRetryWait = false;  // the countdown is the wait after a failed attempt
  const char* m_pszTarget = nullptr;
  uint32_t m_uLastUsed = 0;
  uint32_t m_uLastDay = 1;
  bool m_bRestartAsked = false;  // a defragmenting restart was asked for in this run
};

// Files of the journal on the flash file system.
bool journal_file_exists(const char* name);
void journal_file_delete(const char* name);
// Makes a newly created journal's header valid (its first byte becomes 0x7F).
void journal_validate_new_header(CDB* journal);
