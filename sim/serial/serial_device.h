// A device at the far end of one of the controller's serial lines. Tests
// reach it either through serial_device_port, an in-memory port whose far
// end is the device, or by attach()/pump() on a board serial line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/serial/serial_driver.h"

namespace board {
class serial_line;
}

namespace sim {

class serial_device {
 public:
  virtual ~serial_device() = default;

  // Bytes the controller sent.
  virtual void receive(const uint8_t* data, size_t n) = 0;
  void receive(const std::string& bytes) { receive(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); }
  // What the device has to send back, taken.
  virtual std::string take_output() = 0;

  void attach(board::serial_line* line) { m_serial = line; }
  // Moves bytes both ways on the attached line; the number received.
  size_t pump();
  // Bytes pump() has sent to the controller, ever.
  uint64_t sent_total() const { return m_sent_total; }

 private:
  board::serial_line* m_serial = nullptr;
  uint64_t m_sent_total = 0;
};

// An in-memory serial port whose far end is a device: every byte put for
// sending goes to the device, and the device's bytes are read back.
class serial_device_port : public CSerialDriver {
 public:
  explicit serial_device_port(serial_device& device) : m_device(device) {}
  uint32_t PutTxByte(uint8_t byte) override;
  uint32_t ReadByte(uint32_t* out) override;
  uint32_t Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 1; }
  uint32_t SetBaudRate(uint32_t) override { return 1; }
  // Everything the port sent, in order.
  std::string sent() const { return m_sent; }
  std::string take_sent();

 private:
  serial_device& m_device;
  std::string m_pending;
  std::string m_sent;
};

}  // namespace sim
