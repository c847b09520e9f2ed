// Finds the utility boards on a bus: sends the identify query to each
// address of a list on bus channels 0 to 6, and records every answer in the
// accepted range with the channel it came on.
#pragma once

#include <cstdint>

#include "frame/can/can_device.h"

class can_core;

class can_detect : public can_device {
 public:
  static constexpr uint32_t CHANNELS = 7;
  static constexpr uint32_t MAX_RESPONDERS = 64;

  can_detect(void* owner, can_core* hub);
  ~can_detect() override;

  // Registers on the named bus and sends the queries (sleeping one tick
  // after each). Returns the running flag: 0 when refused (running, no
  // list, no hub, or the registration failed).
  uint32_t start(uint8_t mode, const char* busName, uint32_t lowest, uint32_t highest, const uint32_t* addresses,
                 uint32_t count);
  // Unregisters. Returns the running flag (0).
  uint32_t stop();
  // The recorded responders in the order they answered: 1 and one of them,
  // 0 at the end or while running.
  uint32_t first(uint32_t* address, uint8_t* channel);
  uint32_t next(uint32_t* address, uint8_t* channel);

  uint32_t accept(const can_packet& packet) override;
  uint32_t receive(const can_packet& packet) override;

  bool running() const { return m_running != 0; }
  uint32_t responders() const { return m_count; }
  uint32_t responders_lost() const { return m_lost; }
  uint8_t mode() const { return m_mode; }

 private:
  void* m_owner;
  can_core* m_hub;
  uint8_t m_running = 0;
  uint8_t m_mode = 0;
  char m_label[32] = {};
  uint32_t m_addresses[MAX_RESPONDERS] = {};
  uint8_t m_channels[MAX_RESPONDERS] = {};
  volatile uint32_t m_count = 0;
  uint32_t m_lost = 0;
  uint32_t m_cursor = 0;
};
