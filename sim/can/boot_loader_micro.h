// A board or display-module micro as its resident boot loader answers on
// CAN: contact, entering the loader, 64-byte blocks of the transfer loader
// and of the application (address frame, thirteen data frames), validate,
// execute and erase. It rebuilds the written image and checks every sum the
// programmer sends; a bad sum is answered with a refusal.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace sim {

class boot_loader_micro {
 public:
  // Reply frames (identifier 0x32, 8 bytes).
  using reply_fn = std::function<void(const uint8_t data[8])>;
  boot_loader_micro(uint8_t node, uint16_t type, reply_fn reply) : m_node(node), m_type(type), m_reply(std::move(reply)) {}

  // A request frame (identifier 0x31).
  void receive(const uint8_t* data, uint8_t length);

  // ---- faults
  void set_silent(bool on) { m_silent = on; }        // answers nothing
  void set_refuse_erase(bool on) { m_refuse_erase = on; }
  void set_refuse_contact_count(int n) { m_refuse_contacts = n; }

  // ---- observation
  // Bytes written, by (page << 16 | address); loader and application apart.
  const std::map<uint32_t, uint8_t>& loader() const { return m_loader; }
  const std::map<uint32_t, uint8_t>& application() const { return m_app; }
  bool loader_running() const { return m_loader_running; }
  bool application_running() const { return m_app_running; }
  int erases() const { return m_erases; }
  int refusals() const { return m_refusals; }

 private:
  void answer(uint16_t status, bool ok, uint8_t error = 0);

  uint8_t m_node;
  uint16_t m_type;
  reply_fn m_reply;
  bool m_silent = false, m_refuse_erase = false;
  int m_refuse_contacts = 0;

  bool m_in_loader = false, m_loader_running = false, m_app_running = false;
  int m_erases = 0, m_refusals = 0;
  // The block being received.
  uint8_t m_phase = 0;  // 0x71 or 0x73
  uint32_t m_block_address = 0;
  bool m_have_address = false;
  uint8_t m_block[64] = {};
  uint16_t m_frames = 0;  // data frames seen (bit n)
  // Since the last contact or erase.
  uint16_t m_blocks = 0;
  uint8_t m_sum = 0;
  std::map<uint32_t, uint8_t> m_loader, m_app;
};

}  // namespace sim
