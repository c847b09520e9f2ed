// Mails between two controllers: a first frame with the header, type and
// length, then the payload in frames of five bytes, all with identifier
// 0x5B001. Byte 0 of every frame is 0x80 | destination, byte 1 the frame
// number (1 for the first), byte 2 the number of frames.
#include <cstring>

#include "frame/can/can_bus.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t kChunk = 5;
constexpr uint32_t kMaxFrames = 1 + (CAN_MAIL_PAYLOAD + kChunk - 1) / kChunk;

uint32_t frames_for(uint32_t length) { return 1 + (length + kChunk - 1) / kChunk; }

can_packet mail_frame(uint8_t destination, uint8_t k, uint8_t total) {
  can_packet p;
  p.id = CAN_MAIL_ID;
  p.flags = CAN_FLAG_DATA;
  p.length = 8;
  p.data[0] = static_cast<uint8_t>(0x80 | destination);
  p.data[1] = k;
  p.data[2] = total;
  return p;
}

}  // namespace

uint32_t controller_bus::send_mail(const can_mail& mail) {
  if (mail.length > CAN_MAIL_PAYLOAD) return 0;
  uint8_t total = static_cast<uint8_t>(frames_for(mail.length));
  can_packet first = mail_frame(mail.destination, 1, total);
  first.data[3] = mail.header;
  first.data[4] = static_cast<uint8_t>(mail.type >> 8);
  first.data[5] = static_cast<uint8_t>(mail.type);
  first.data[6] = static_cast<uint8_t>(mail.length >> 8);
  first.data[7] = static_cast<uint8_t>(mail.length);
  uint32_t ok = send(first, nullptr);
  for (uint8_t k = 2; k <= total; ++k) {
    can_packet p = mail_frame(mail.destination, k, total);
    uint32_t offset = (k - 2) * kChunk;
    uint32_t n = mail.length - offset < kChunk ? mail.length - offset : kChunk;
    std::memcpy(p.data + 3, mail.payload + offset, n);
    ok &= send(p, nullptr);
  }
  return ok;
}

void controller_bus::abandon() {
  m_received = m_expected = 0;
  m_total = 0;
}

uint32_t controller_bus::assemble_mail(const can_packet& packet, can_mail* mail) {
  const uint8_t* d = packet.data;
  uint8_t k = d[1], total = d[2];
  monitor_printf_debug("assemble packet %d of %d\n", k, total);
  if (!mail) return 0;
  // Frame numbers, totals and lengths come from the wire: a frame that does
  // not fit the mail in progress abandons it rather than write past it.
  if (packet.length != 8) {
    abandon();
    return 0;
  }
  if (k == 1) {
    if (d[0] & 0x10) {
      mail->length = 0;
      return 0;
    }
    uint32_t length = static_cast<uint32_t>(d[6]) << 8 | d[7];
    if (length > CAN_MAIL_PAYLOAD || total != frames_for(length)) {
      abandon();
      return 0;
    }
    m_mail = can_mail();
    m_mail.destination = d[0] & 0x0F;
    m_mail.header = d[3];
    m_mail.type = static_cast<uint16_t>(d[4] << 8 | d[5]);
    m_mail.length = static_cast<uint16_t>(length);
    m_total = total;
    m_received = 1;
    m_expected = (1u << total) - 1;
  } else {
    if (!m_received) return 0;
    if (k < 2 || total != m_total || k > total || total > kMaxFrames) {
      abandon();
      return 0;
    }
    uint32_t offset = (k - 2) * kChunk;
    uint32_t n = k == total ? m_mail.length - offset : kChunk;
    std::memcpy(m_mail.payload + offset, d + 3, n);
    m_received |= 1u << (k - 1);
  }
  if (m_received != m_expected) return 0;
  monitor_printf_debug("mail assembled\n");
  *mail = m_mail;
  abandon();
  return 1;
}
