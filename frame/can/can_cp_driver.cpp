#include "frame/can/can_cp_driver.h"

#include <cstring>

#include "frame/can/can_packet.h"
#include "frame/trace/trace.h"

can_cp_driver g_can_cp_driver;

uint32_t can_cp_driver::BuildFrame(bool extended, uint32_t id, bool remote, uint8_t length, const uint8_t* data,
                                   uint8_t* out) {
  // The command has room for 8 data bytes; a longer frame would overrun it.
  if (length > 8 || (length && !data)) return 0;
  uint32_t size = extended ? EXTENDED_SIZE : STANDARD_SIZE;
  std::memset(out, 0, size);
  out[0] = 0xFE;
  out[1] = 0x41;
  uint32_t at;
  if (extended) {
    out[2] = static_cast<uint8_t>(id >> 21);
    out[3] = static_cast<uint8_t>((id >> 18 & 0x07) << 5 | 0x18 | (id >> 15 & 0x07));
    out[4] = static_cast<uint8_t>(id >> 7);
    out[5] = static_cast<uint8_t>((id & 0x7F) << 1 | (remote ? 1 : 0));
    at = 6;
  } else {
    out[2] = static_cast<uint8_t>(id >> 3);
    out[3] = static_cast<uint8_t>((id & 0x07) << 5 | (remote ? 0x10 : 0));
    at = 4;
  }
  out[at] = length & 0x0F;
  if (length) std::memcpy(out + at + 1, data, length);
  return size;
}

uint32_t can_cp_driver::WritePacket(uint32_t id, uint8_t remote, uint8_t length, const uint8_t* data,
                                    uint8_t option) {
  if (option != 0) return 0;
  uint8_t frame[EXTENDED_SIZE];
  uint32_t size = BuildFrame(m_extended, id, remote != 0, length, data, frame);
  if (!size) {
    ++m_streamErrors;
    return 0;
  }
  if (!m_panel) {
    ++m_streamErrors;
    monitor_printf_debug("can_cp_driver::WritePacket: cannot find lcd_manager\n");
    return 0;
  }
  if (m_panel->FirmwareRevision() == 0) {
    ++m_streamErrors;
    monitor_printf_debug("can_cp_driver::WritePacket: error, no remote lcd\n");
    return 0;
  }
  uint8_t hw = m_panel->HardwareRevision();
  if ((hw >= 1 && hw <= 6) || m_panel->FirmwareRevision() < 7) {
    ++m_streamErrors;
    monitor_printf("can_cp_driver::WritePacket: error, old lcd rev\n");
    return 0;
  }
  if (m_busy) {
    uint32_t polls = 0;
    while (*m_busy == 1) {
      monitor_printf("Waiting\n");
      if (++polls >= BUSY_POLLS) {
        ++m_streamErrors;
        monitor_printf("can_cp_driver::WritePacket: timeout\n");
        return 0;
      }
    }
  }
  ++m_packetsSent;
  m_panel->WriteCommand(frame, size);
  return 1;
}

uint32_t can_cp_driver::Send(uint32_t id, uint32_t remote, uint32_t length, const uint8_t* data, uint32_t) {
  if (length > 8) {
    ++m_streamErrors;
    return 0;
  }
  return WritePacket(id, static_cast<uint8_t>(remote != 0), static_cast<uint8_t>(length), data, 0);
}

void can_cp_driver::Dispatch(uint32_t id, uint8_t flags, uint8_t length, const uint8_t* data) {
  ++m_packetsReceived;
  can_packet p;
  p.id = id;
  p.flags = flags;
  p.length = length > 8 ? 8 : length;
  if (data && p.length) std::memcpy(p.data, data, p.length);
  DeliverToNodes(p);
}
