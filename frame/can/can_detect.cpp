#include "frame/can/can_detect.h"

#include <cstdio>

#include "frame/can/can_core.h"
#include "frame/os/os.h"

namespace {

uint32_t g_detectors_created = 0;

// Identify query of the utility boards.
const uint8_t kQuery[8] = {0x02, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};

}  // namespace

can_detect::can_detect(void* owner, can_core* hub) : m_owner(owner), m_hub(hub) {
  std::snprintf(m_label, sizeof m_label, "auto detect utility %u", static_cast<unsigned>(++g_detectors_created));
  set_name(m_label);
}

can_detect::~can_detect() { stop(); }

uint32_t can_detect::start(uint8_t mode, const char* busName, uint32_t lowest, uint32_t highest,
                           const uint32_t* addresses, uint32_t count) {
  if (m_running || !addresses || !m_hub) return 0;
  m_mode = mode;
  set_bus_name(busName);
  set_range(lowest, highest);
  m_count = 0;
  m_lost = 0;
  m_cursor = 0;
  if (!m_hub->register_device(this)) return 0;
  m_running = 1;

  can_packet query;
  query.flags = CAN_FLAG_DATA;
  query.length = 8;
  for (uint32_t i = 0; i < 8; ++i) query.data[i] = kQuery[i];
  for (uint8_t ch = 0; ch < CHANNELS; ++ch) {
    set_channel(ch);
    for (uint32_t i = 0; i < count; ++i) {
      query.id = addresses[i];
      send(query);
      os_sleep(1);
    }
  }
  return m_running;
}

uint32_t can_detect::stop() {
  if (m_running) {
    if (m_hub) m_hub->unregister_device(this);
    m_running = 0;
  }
  return m_running;
}

uint32_t can_detect::accept(const can_packet& packet) { return address_matches(packet); }

uint32_t can_detect::receive(const can_packet& packet) {
  uint32_t address = packet.id - CAN_REPLY_OFFSET;
  uint32_t n = m_count;
  for (uint32_t i = 0; i < n; ++i)
    if (m_addresses[i] == address && m_channels[i] == packet.channel) return 1;
  if (n >= MAX_RESPONDERS) {
    ++m_lost;
    return 0;
  }
  m_addresses[n] = address;
  m_channels[n] = packet.channel;
  m_count = n + 1;
  ++m_packetsReceived;
  return 1;
}

uint32_t can_detect::first(uint32_t* address, uint8_t* channel) {
  m_cursor = 0;
  return next(address, channel);
}

uint32_t can_detect::next(uint32_t* address, uint8_t* channel) {
  if (m_running || !address || !channel || m_cursor >= m_count) return 0;
  *address = m_addresses[m_cursor];
  *channel = m_channels[m_cursor];
  ++m_cursor;
  return 1;
}
