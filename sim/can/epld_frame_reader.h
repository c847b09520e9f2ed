// The module bus's part in the CAN path behind the EPLD, reduced to CAN
// frames: it takes the bytes the EPLD hands the controller, turns each CAN
// frame packet back into a frame and gives it to the packet driver's buses.
// Other packets and bytes that do not make a well-formed packet are skipped
// and counted.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/can/can_db_driver.h"

namespace sim {

class epld_frame_reader : public can_db_receiver {
 public:
  explicit epld_frame_reader(can_db_driver& driver) : m_driver(driver) {}

  // Interrupt context.
  void ReceiveByte(uint8_t byte) override;
  uint32_t ErrorCount() override { return m_errors; }

  uint32_t frames() const { return m_frames; }

 private:
  void Packet();

  can_db_driver& m_driver;
  std::vector<uint8_t> m_bytes;
  uint32_t m_frames = 0;
  uint32_t m_errors = 0;
};

}  // namespace sim
