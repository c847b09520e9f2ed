#include "display/modbus/bus_ksr7100.h"

#include "display/core/core.h"
#include "display/driver/q5_display_driver.h"
#include "display/modbus/stream_ksr7100.h"

can_db_driver* module_line_driver() { return CQ5DisplayDriver::LineDriver(); }

bool bus_ksr7100::Open(const char* name, disp::stream* s) {
  if (!disp::bus::Open(name, s)) return false;
  m_pKsrStream = dynamic_cast<stream_ksr7100*>(s);
  return true;
}

bool bus_ksr7100::Close() { return disp::bus::Close(); }

bool bus_ksr7100::Write(const uint8_t* bytes, uint32_t length) {
  can_db_driver* driver = module_line_driver();
  if (!IsOpen() || !driver || !bytes || !length) return false;
  return driver->QueuePacket(bytes, length) != 0;
}

void bus_ksr7100::ReceiveByte() {
  if (!m_pStream) return;
  m_pStream->Write(&m_byReceived, 1);
  // Refused while the job waits already: that run reads this byte too.
  if (m_pQueue) m_pQueue->Post(this);
}

void bus_ksr7100::ReceiveByte(uint8_t b) {
  m_byReceived = b;
  ReceiveByte();
}

uint32_t bus_ksr7100::ErrorCount() { return m_pKsrStream ? m_pKsrStream->Errors() : 0; }

void bus_ksr7100::Run() {
  if (!m_pStream) return;
  disp::packet* p = nullptr;
  while (m_pStream->Read(&p)) {
    // The packet is the stream's own: it is handled before the next read.
    if (p && m_pCore) m_pCore->Dispatch(p, this);
  }
}
