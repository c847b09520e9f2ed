#include "frame/serial/serial_driver.h"

#include "tx_api.h"

CSerialDriver::~CSerialDriver() {
  delete m_txRing;
  delete m_rxRing;
}

uint32_t CSerialDriver::Write(const uint8_t* bytes, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i)
    if (!PutTxByte(bytes[i])) return 0;
  return 1;
}

uint32_t CSerialDriver::WriteString(const char* text) {
  for (; *text; ++text)
    if (!PutTxByte(static_cast<uint8_t>(*text))) return 0;
  return 1;
}

uint32_t CSerialDriver::GetRxFree() { return m_rxRing ? m_rxRing->Size() - m_rxRing->Count() : 0; }

uint32_t CSerialDriver::GetRxSize() { return m_rxRing ? m_rxRing->Size() : 0; }

void CSerialDriver::Flush() {
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  if (m_rxRing) m_rxRing->Clear();
  if (m_txRing) m_txRing->Clear();
  tx_interrupt_control(posture);
}

void CSerialDriver::SetRxCallback(serial_callback fn, void* context, uint32_t argument) {
  m_rxCallback = fn;
  m_rxContext = context;
  m_rxArgument = argument;
}

void CSerialDriver::SetTxCallback(serial_callback fn, void* context, uint32_t argument) {
  m_txCallback = fn;
  m_txContext = context;
  m_txArgument = argument;
}

void CSerialDriver::SetModemCallback(void* context, modem_callback fn) {
  m_modemContext = context;
  m_modemCallback = fn;
}
