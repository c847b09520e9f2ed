#include "peripherals/devices/can_product_board.h"

#include <cstring>
#include <new>

namespace {
const char* const kName = "CAN PRODUCT BOARD";
const char* const kOtherName = "DISTRIBUTION BOARD";
}  // namespace

CCANDBPeripheral::CCANDBPeripheral() : CPeripheral(CLASS_CODE, TYPE_ID) {}

const char* CCANDBPeripheral::NameOfType(uint16_t type_id) { return type_id == TYPE_ID ? kName : nullptr; }

uint16_t CCANDBPeripheral::TypeOfName(const char* name) {
  return name && std::strcmp(name, kOtherName) == 0 ? TYPE_ID : 0;
}

CPeripheral* CCANDBPeripheral::Create(const pl_record& record) {
  CCANDBPeripheral* board = new (std::nothrow) CCANDBPeripheral();
  if (!board) return nullptr;
  board->m_wPollInterval = POLL_INTERVAL;
  board->m_wPollCountdown = 0;
  board->m_wConfigSlot = record.slot;
  board->m_byFromDatabase = 0;
  board->SetEnabled(1);
  return board;
}

void CCANDBPeripheral::OnEvent(letter_s* letter) {
  if (!letter) return;
  m_byState = letter->LowHalf(0) == REPORT_NO_ANSWER ? PERIPHERAL_COMM_ERROR : PERIPHERAL_VALID;
}
