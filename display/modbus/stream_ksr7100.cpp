#include "display/modbus/stream_ksr7100.h"

#include "display/modbus/module_bus_frame.h"
#include "frame/trace/trace.h"
#include "tx_api.h"

bool stream_ksr7100::Write(const uint8_t* bytes, uint32_t length) {
  if (!bytes || !length) return false;
  for (uint32_t i = 0; i < length; ++i)
    if (!m_Ring.Push(bytes[i])) monitor_printf_debug("E");
  return true;
}

bool stream_ksr7100::Read(disp::packet** out) {
  for (;;) {
    uint8_t b = 0;
    // Only the test and the removal are masked: the interrupt side pushes.
    UINT posture = tx_interrupt_control(TX_INT_DISABLE);
    const bool got = !m_Ring.IsEmpty() && m_Ring.Pop(b);
    tx_interrupt_control(posture);
    if (!got) return false;
    if (ParseByte(b)) {
      if (out) *out = &m_Packet;
      return true;
    }
  }
}

void stream_ksr7100::Store(uint8_t b) {
  if (m_dwStored < disp::packet::CAPACITY)
    m_Packet.bytes[m_dwStored++] = b;
  else
    ++m_dwErrors;
}

bool stream_ksr7100::ChecksumOk() const {
  if (m_dwStored < 2) return false;
  return module_bus::checksum(m_Packet.bytes, m_dwStored - 1) == m_Packet.bytes[m_dwStored - 1];
}

bool stream_ksr7100::ParseByte(uint8_t b) {
  if (m_bRestart) {
    m_byParseState = WAIT_SYNC1;
    m_byRemaining = 0;
    m_dwStored = 0;
    m_bRestart = false;
  }
  switch (m_byParseState) {
    case WAIT_SYNC1:
      if (b == module_bus::SYNC1) {
        Store(b);
        m_byParseState = WAIT_SYNC2;
      } else {
        monitor_printf_debug("1");
        ++m_dwErrors;
      }
      return false;
    case WAIT_SYNC2:
      if (b == module_bus::SYNC2) {
        Store(b);
        m_byParseState = KIND;
      } else {
        monitor_printf_debug("2");
        ++m_dwErrors;
        m_bRestart = true;
      }
      return false;
    case KIND:
      Store(b);
      m_byParseState = LENGTH;
      return false;
    case LENGTH: {
      Store(b);
      uint32_t n = 0;
      switch (module_bus::data_length(m_Packet.bytes[2], b, &n)) {
        case module_bus::length_rule::ok:
          m_byRemaining = static_cast<uint8_t>(n);
          break;
        case module_bus::length_rule::too_long:
          ++m_dwErrors;
          m_bRestart = true;
          break;
        case module_bus::length_rule::not_accepted:
          m_bRestart = true;
          break;
      }
      m_byParseState = DATA;
      return false;
    }
    case DATA:
      if (m_byRemaining) {
        Store(b);
        if (--m_byRemaining == 0) m_byParseState = CHECKSUM;
        return false;
      }
      // A frame without data: this byte is its checksum.
      [[fallthrough]];
    case CHECKSUM:
    default:
      Store(b);
      m_bRestart = true;
      if (m_dwStored >= 4 && ChecksumOk()) {
        m_Packet.length = m_dwStored - 3;
        m_Packet.data = m_Packet.bytes + 2;
        return true;
      }
      monitor_printf("checksum error\n");
      m_dwErrors += m_dwStored;
      return false;
  }
}

void stream_ksr7100::PowerOn() {
  m_Ring.Close();
  m_Ring.Open(RING_SIZE);
  m_dwErrors = 0;
  m_byParseState = WAIT_SYNC1;
  m_byRemaining = 0;
  m_bRestart = false;
  m_dwStored = 0;
  m_Packet.length = 0;
}
