#include "database/files/file_manager.h"

#include <cstring>
#include <new>

namespace {

const char kName[] = "FILE MANAGER";

}  // namespace

CFile_Manager::CFile_Manager() : CPeripheral(CLASS_CODE, TYPE_ID) {}

const char* CFile_Manager::NameOfType(uint16_t) { return kName; }

uint16_t CFile_Manager::TypeOfName(const char* name) {
  return name && std::strcmp(name, kName) == 0 ? TYPE_ID : 0;
}

CPeripheral* CFile_Manager::Create(const pl_record& record) {
  if (record.type_id != TYPE_ID) return nullptr;
  CFile_Manager* p = new (std::nothrow) CFile_Manager();
  if (!p) return nullptr;
  p->m_wPollInterval = 5;
  p->m_wPollCountdown = 0;
  p->m_wConfigSlot = record.slot;
  p->m_byFromDatabase = 0;
  p->SetEnabled(1);
  return p;
}

void CFile_Manager::Poll() { m_byState = PERIPHERAL_VALID; }
