#include "frame/can/can_db_driver.h"

#include "board_io.h"
#include "frame/can/can_packet.h"
#include "frame/os/interrupts_masked.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

namespace {

can_db_driver::frame_rate_query s_frameRate = nullptr;

using masked = interrupts_masked;

// Appends the checksum: all bytes of a packet add up to 0.
uint32_t finish_packet(uint8_t* p, uint32_t n) {
  uint8_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + p[i]);
  p[n] = static_cast<uint8_t>(0 - sum);
  return n + 1;
}

}  // namespace

void can_db_driver::SetFrameRateQuery(frame_rate_query query) { s_frameRate = query; }

uint32_t can_db_driver::ChunkSize(uint32_t fps) {
  // Stream data leaves room in the FIFO for the frame data.
  if (fps < 3) return 100;
  if (fps < 5) return 75;
  if (fps == 5) return 50;
  return 25;
}

can_db_driver::can_db_driver() = default;

can_db_driver::~can_db_driver() {
  if (m_initialized) CEpldInterrupt::Unregister(EPLD_SOURCE_FIFO);
  if (m_mutexCreated) os_mutex_delete(&m_mutex);
}

bool can_db_driver::EnsureMutex() {
  if (m_mutexCreated) return true;
  // Packets may be queued before Initialize (the EPLD's bit-rate set-up at
  // start-up); whoever comes first creates the mutex.
  masked m;
  if (!m_mutexCreated && os_mutex_create(&m_mutex, "CANDBDriver Mutex", TX_INHERIT) == OS_SUCCESS)
    m_mutexCreated = 1;
  return m_mutexCreated != 0;
}

uint32_t can_db_driver::Initialize(uint32_t defaultChannel, uint32_t extendedIds, uint32_t) {
  m_defaultChannel = defaultChannel;
  m_extendedIds = extendedIds ? 1 : 0;
  if (m_initialized) return 1;
  if (!EnsureMutex()) return 0;
  {
    masked m;
    reg_write8(EPLD_FIFO_INTERRUPT, reg_read8(EPLD_FIFO_INTERRUPT) | 0x80);
  }
  CEpldInterrupt::Register(EPLD_SOURCE_FIFO, this);
  m_initialized = 1;
  return 1;
}

uint32_t can_db_driver::Send(uint32_t id, uint32_t remote, uint32_t length, const uint8_t* data, uint32_t channel) {
  if (channel == 0) channel = m_defaultChannel & 0xFF;
  return SendCanFrame(channel, m_extendedIds, id, remote, length, data);
}

uint32_t can_db_driver::ReadFrame(uint32_t*, uint8_t*, uint8_t*, uint8_t*) { return 0; }

uint32_t can_db_driver::SendCanFrame(uint32_t channel, uint32_t extended, uint32_t id, uint32_t remote,
                                     uint32_t length, const uint8_t* data) {
  // The packet's length nibble and channel nibble bound what can be sent.
  if (!m_initialized || length > 8 || channel > 15 || (length && !data)) return 0;
  uint8_t p[18];
  uint32_t n = 0;
  p[n++] = 0x55;
  p[n++] = 0xAA;
  if (extended) {
    p[n++] = 0x02;
    p[n++] = static_cast<uint8_t>(channel << 4 | length);
    p[n++] = static_cast<uint8_t>(id >> 21);
    p[n++] = static_cast<uint8_t>(((id >> 13) & 0xE0) | 0x18 | ((id >> 15) & 0x07));
    p[n++] = static_cast<uint8_t>(id >> 7);
    p[n++] = static_cast<uint8_t>(((id << 1) & 0xFE) | (remote ? 1 : 0));
  } else {
    p[n++] = 0x01;
    p[n++] = static_cast<uint8_t>(channel << 4 | length);
    p[n++] = static_cast<uint8_t>(id >> 3);
    p[n++] = static_cast<uint8_t>(((id << 5) & 0xE0) | (remote ? 0x10 : 0));
  }
  for (uint32_t i = 0; i < length; ++i) p[n++] = data[i];
  n = finish_packet(p, n);
  uint32_t queued = QueuePacket(p, n);
  if (queued) ++m_packetsSent;
  return queued;
}

uint32_t can_db_driver::SendTemplatePacket(uint8_t param, uint8_t value) {
  uint8_t p[15] = {0x55, 0xAA, 0xCA, 0x0A, param};
  for (uint32_t i = 5; i < 14; ++i) p[i] = value;
  return QueuePacket(p, finish_packet(p, 14));
}

uint32_t can_db_driver::SendCommandPacket(uint16_t a, uint16_t b, uint8_t c, uint8_t d, uint8_t e) {
  uint8_t p[12] = {0x55,
                   0xAA,
                   'Y',
                   0x07,
                   static_cast<uint8_t>(a >> 8),
                   static_cast<uint8_t>(a),
                   static_cast<uint8_t>(b >> 8),
                   static_cast<uint8_t>(b),
                   c,
                   e,
                   d};
  return QueuePacket(p, finish_packet(p, 11));
}

uint32_t can_db_driver::QueuePacket(const uint8_t* bytes, uint32_t n) {
  if (!bytes || !n || !EnsureMutex()) return 0;
  // Both modes go through the ring, so a direct write finds the packet there.
  // A caller that cannot wait (start-up, before the threads run: the EPLD's
  // bit-rate set-up) has the processor to itself and only masks interrupts.
  os_status got = os_mutex_get(&m_mutex, OS_WAIT_FOREVER);
  if (got != OS_SUCCESS && got != OS_CALLER_ERROR) return 0;
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  uint32_t queued = 0;
  if (m_packetRing.FreeSpace() >= n) {
    queued = 1;
    for (uint32_t i = 0; i < n; ++i) {
      if (!m_packetRing.Push(bytes[i])) {
        ++m_bytesLost;
        queued = 0;
      }
    }
  } else {
    m_bytesLost += n;
  }
  tx_interrupt_control(posture);
  if (got == OS_SUCCESS) os_mutex_put(&m_mutex);
  if (m_direct) WriteEPLDPacket('3');
  return queued;
}

// ------------------------------------------------------------------ writing

void can_db_driver::WriteByte(uint8_t b) { reg_write8(EPLD_FIFO_DATA, b); }

bool can_db_driver::WaitFifo() {
  for (uint32_t i = 0; i < FIFO_POLLS; ++i) {
    if (!(reg_read8(EPLD_FIFO_STATUS) & 0x01)) return true;
    os_sleep(1);
  }
  return false;
}

void can_db_driver::WriteEPLDPacket(uint8_t stream) {
  {
    // One writer at a time: the FIFO waits sleep, and a second writer would
    // put its packets between the bytes of the first one's.
    masked m;
    if (m_writing) return;
    m_writing = 1;
  }
  impl::fifo<uint8_t>* ring = stream == '2' ? &m_streamRing2 : stream == '3' ? &m_streamRing3 : nullptr;

  // Stream data, unless the last call left a packet half written.
  for (uint32_t packets = 0; ring && !m_midPacket && !ring->IsEmpty() && packets < MAX_STREAM_PACKETS; ++packets) {
    if (!WaitFifo()) {
      monitor_printf_debug("WriteEPLDPacket1 timeout\r");
      m_writing = 0;
      return;
    }
    uint32_t chunk = ChunkSize(s_frameRate ? s_frameRate() : 0);
    uint8_t p[4 + 100 + 1];
    uint32_t count = 0;
    {
      masked m;
      uint8_t b;
      while (count < chunk && ring->Pop(b)) p[4 + count++] = b;
    }
    p[0] = 0x55;
    p[1] = 0xAA;
    p[2] = stream;
    p[3] = static_cast<uint8_t>(count);
    uint32_t n = finish_packet(p, 4 + count);
    for (uint32_t i = 0; i < n; ++i) WriteByte(p[i]);
  }

  // The packet ring.
  if (!WaitFifo()) {
    monitor_printf_debug("WriteEPLDPacket2 timeout\r");
    m_writing = 0;
    return;
  }
  uint32_t written = 0;
  uint8_t b;
  while (m_packetRing.Pop(b)) {
    WriteByte(b);
    if (++written % WAIT_EVERY == 0 && !m_packetRing.IsEmpty() && !WaitFifo()) {
      m_midPacket = 1;
      monitor_printf_debug("WriteEPLDPacket2 timeout\r");
      m_writing = 0;
      return;
    }
  }
  m_midPacket = 0;
  m_writing = 0;
}

// ------------------------------------------------------------------ receiving

void can_db_driver::OnEpldInterrupt() {
  uint8_t b = reg_read8(EPLD_FIFO_DATA);
  ++m_packetsReceived;
  if (m_receiver) {
    m_receiver->ReceiveByte(b);
    m_streamErrors = m_receiver->ErrorCount();
  }
}

void can_db_driver::DispatchToNodes(const can_packet& packet) { DeliverToNodes(packet); }
