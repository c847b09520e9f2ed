#include "database/journal.h"

// The journal is not on flash yet: nothing is replayed, and appends are
// accepted without being kept, so every start begins from the defaults.

CDB* CDB::Instance(CDataBase* db) {
  static CDB* s_journal = nullptr;
  if (!s_journal) s_journal = new CDB(db);
  s_journal->m_pDataBase = db;
  return s_journal;
}

void CDB::CreateMutexes() {}
int CDB::Load() { return 0; }
int CDB::INT8(uint32_t, uint8_t, uint32_t*) { return 1; }
int CDB::INT16(uint32_t, uint16_t, uint32_t*) { return 1; }
int CDB::INT32(uint32_t, uint32_t, uint32_t*) { return 1; }
int CDB::STRING(uint32_t, const uint8_t*, uint16_t, uint32_t*) { return 1; }
void CDB::Deleting() {}
void CDB::StateMachine_Defrag() {}
uint32_t CDB::FillPercent() { return 0; }

bool journal_file_exists(const char*) { return false; }
void journal_file_delete(const char*) {}
void journal_validate_new_header(CDB*) {}
