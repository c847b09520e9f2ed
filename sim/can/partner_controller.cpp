#include "sim/can/partner_controller.h"

namespace sim {

namespace {
constexpr uint32_t kChunk = 5;
constexpr size_t kHead = 6;  // header, b1, type, length
}  // namespace

std::vector<uint8_t> light_mail(uint16_t level, uint8_t destination) {
  return {static_cast<uint8_t>((destination & 0x0F) << 4 | 1), 1, 0, 0, 0, 2, static_cast<uint8_t>(level >> 8),
          static_cast<uint8_t>(level)};
}

partner_controller::partner_controller(board::can_wire& wire, uint32_t rate) : m_wire(wire), m_rate(rate) {
  m_wire.attach(this);
}

partner_controller::~partner_controller() { m_wire.detach(this); }

bool partner_controller::acknowledges(uint32_t rate) { return m_rate == 0 || rate == 0 || rate == m_rate; }

bool partner_controller::send_frame(const board::can_frame& frame) { return m_wire.transmit(this, frame, m_rate); }

bool partner_controller::send_mail(const std::vector<uint8_t>& mail) {
  if (mail.size() < kHead) return false;
  const size_t payload = mail.size() - kHead;
  const uint8_t total = static_cast<uint8_t>(1 + (payload + kChunk - 1) / kChunk);
  const uint8_t b0 = static_cast<uint8_t>(0x80 | (mail[1] & 0x0F));
  board::can_frame f;
  f.id = MAIL_ID;
  f.extended = true;
  f.dlc = 8;
  const uint8_t first[8] = {b0, 1, total, mail[0], mail[2], mail[3], mail[4], mail[5]};
  for (int i = 0; i < 8; ++i) f.data[i] = first[i];
  bool ok = send_frame(f);
  for (uint8_t k = 2; k <= total; ++k) {
    board::can_frame p;
    p.id = MAIL_ID;
    p.extended = true;
    p.dlc = 8;
    p.data[0] = b0;
    p.data[1] = k;
    p.data[2] = total;
    for (size_t i = 0; i < kChunk; ++i) {
      const size_t at = kHead + (k - 2) * kChunk + i;
      if (at < mail.size()) p.data[3 + i] = mail[at];
    }
    ok = send_frame(p) && ok;
  }
  return ok;
}

bool partner_controller::send_light(uint16_t level, uint8_t destination) {
  return send_mail(light_mail(level, destination));
}

void partner_controller::on_frame(const board::can_frame& f, uint32_t rate) {
  if (!acknowledges(rate) || f.id != MAIL_ID || f.remote || f.dlc < 3) return;
  std::lock_guard<std::mutex> lk(m_lock);
  ++m_frames;
  const uint8_t k = f.data[1], total = f.data[2];
  if (k == 1) {
    if (f.dlc < 8) {
      m_next = 0;
      return;
    }
    m_building = {f.data[3], static_cast<uint8_t>(f.data[0] & 0x0F), f.data[4], f.data[5], f.data[6], f.data[7]};
    m_total = total;
    m_next = 2;
  } else {
    if (!m_next || k != m_next || total != m_total) {
      m_next = 0;
      return;
    }
    const size_t length = static_cast<size_t>(m_building[4]) << 8 | m_building[5];
    for (uint8_t i = 3; i < f.dlc && m_building.size() < kHead + length; ++i) m_building.push_back(f.data[i]);
    ++m_next;
  }
  const size_t length = static_cast<size_t>(m_building[4]) << 8 | m_building[5];
  if (m_next > m_total) {
    if (m_building.size() >= kHead + length) m_mails.push_back(m_building);
    m_next = 0;
  }
}

std::vector<std::vector<uint8_t>> partner_controller::mails() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_mails;
}

std::vector<uint16_t> partner_controller::light_levels() {
  std::lock_guard<std::mutex> lk(m_lock);
  std::vector<uint16_t> levels;
  for (const auto& m : m_mails)
    if (m.size() >= kHead + 2 && m[2] == 0 && m[3] == 0) levels.push_back(static_cast<uint16_t>(m[6] << 8 | m[7]));
  return levels;
}

uint32_t partner_controller::frames_received() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_frames;
}

}  // namespace sim
