#include "sim/can/boot_loader_micro.h"

#include <cstring>

namespace sim {

void boot_loader_micro::answer(uint16_t status, bool ok, uint8_t error) {
  if (!ok) ++m_refusals;
  if (m_silent) return;
  uint8_t f[8] = {static_cast<uint8_t>(status >> 8), static_cast<uint8_t>(status), m_node, ok ? uint8_t(0) : uint8_t(1),
                  0, 0, 0, error};
  m_reply(f);
}

void boot_loader_micro::receive(const uint8_t* d, uint8_t length) {
  if (length < 3) return;
  uint8_t node = d[2];
  if (node != 0 && node != 128 && node != m_node) return;
  uint8_t cmd = d[0], sub = d[1];
  if (cmd == 0x70 && (sub == 0x00 || sub == 0x01) && length == 7) {
    bool ok = static_cast<uint16_t>(d[3] << 8 | d[4]) == m_type;
    if (sub == 0x00 && m_refuse_contacts > 0) {
      --m_refuse_contacts;
      return;
    }
    if (sub == 0x00) {
      m_blocks = 0;
      m_sum = 0;
    } else {
      m_in_loader = ok;
    }
    answer(sub == 0x00 ? 0x7000 : 0x7001, ok);
    return;
  }
  if ((cmd == 0x70 || cmd == 0x72) && sub == 0x02 && length == 8) {
    if (cmd == 0x70) m_loader_running = true;
    if (cmd == 0x72) m_app_running = true;
    answer(cmd == 0x70 ? 0x7002 : 0x7202, true);
    return;
  }
  if (cmd == 0x72 && sub == 0x04 && length == 8) {
    // The resident loader erases too (raw images come without a transfer loader).
    bool ok = (m_loader_running || m_in_loader) && !m_refuse_erase;
    if (ok) {
      ++m_erases;
      m_app.clear();
      m_blocks = 0;
      m_sum = 0;
    }
    answer(0x7204, ok, ok ? 0 : 0x04);
    return;
  }
  if (cmd != 0x71 && cmd != 0x73) return;
  // Blocks only after entering the loader.
  bool allowed = cmd == 0x71 ? m_in_loader : (m_loader_running || m_in_loader);
  if (sub == 0x80 && length == 8) {
    uint8_t s = 0;
    for (int i = 2; i <= 7; ++i) s = static_cast<uint8_t>(s + d[i]);
    m_have_address = s == 0 && allowed;
    m_phase = cmd;
    m_block_address = static_cast<uint32_t>(d[6]) << 16 | static_cast<uint32_t>(d[3] << 8 | d[4]);
    m_frames = 0;
    std::memset(m_block, 0xFF, sizeof(m_block));
    return;
  }
  if (sub <= 0x0C && length == 8) {
    if (!m_have_address || cmd != m_phase) return;
    std::memcpy(m_block + 5 * sub, d + 3, sub < 12 ? 5 : 4);
    m_frames |= static_cast<uint16_t>(1u << sub);
    if (sub != 0x0C) return;
    uint8_t s = d[7];
    for (uint8_t b : m_block) s = static_cast<uint8_t>(s + b);
    bool ok = s == 0 && m_frames == 0x1FFF;
    if (ok) {
      auto& image = cmd == 0x71 ? m_loader : m_app;
      for (uint32_t i = 0; i < 64; ++i)
        if (m_block[i] != 0xFF) image[m_block_address + i] = m_block[i];
      ++m_blocks;
      for (uint8_t b : m_block) m_sum = static_cast<uint8_t>(m_sum + b);
    }
    m_have_address = false;
    answer(cmd == 0x71 ? 0x710C : 0x730C, ok, ok ? 0 : 0x02);
    return;
  }
  if (sub == 0x81 && length == 6) {
    bool ok = allowed && static_cast<uint16_t>(d[3] << 8 | d[4]) == m_blocks && d[5] == m_sum;
    answer(cmd == 0x71 ? 0x7181 : 0x7381, ok, ok ? 0 : 0x80);
  }
}

}  // namespace sim
