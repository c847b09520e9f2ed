// The flash journal of the non-volatile area: every non-volatile change is
// appended as a record to "nv1.dat" or "nv2.dat" and replayed at start.
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

class CDB : public db_journal {
 public:
  static CDB* Instance(CDataBase* db);
  static void CreateMutexes();

  // 1 when a valid journal was replayed into mib_nv; 0 when a new, empty
  // journal was created (the caller loads the defaults).
  int Load();
  int INT8(uint32_t offset, uint8_t value, uint32_t* address) override;
  int INT16(uint32_t offset, uint16_t value, uint32_t* address) override;
  int INT32(uint32_t offset, uint32_t value, uint32_t* address) override;
  int STRING(uint32_t offset, const uint8_t* data, uint16_t length, uint32_t* address) override;
  void Deleting() override;
  void StateMachine_Defrag() override;
  uint32_t FillPercent();
  // Name of the live journal file, or null when there is none.
  const char* CurrentFileName() const { return m_pszCurrent; }

 private:
  explicit CDB(CDataBase* db) : m_pDataBase(db) {}
  CDataBase* m_pDataBase;
  const char* m_pszCurrent = nullptr;
};

// Files of the journal on the flash file system.
bool journal_file_exists(const char* name);
void journal_file_delete(const char* name);
// Makes a newly created journal's header valid (its first byte becomes 0x7F).
void journal_validate_new_header(CDB* journal);
