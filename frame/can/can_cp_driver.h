// A CAN driver whose wire is the front panel's link: a frame to send is
// wrapped into the panel command FE 'A' and written to the panel, whose own
// CAN port puts it on the bus; frames the panel receives come back through
// Dispatch. The panel side is given as a port once the panel exists.
// Errors count in the base's error counter.
#pragma once

#include <cstdint>

#include "frame/can/can_driver.h"

class can_cp_driver : public can_driver {
 public:
  static constexpr uint32_t EXTENDED_SIZE = 15, STANDARD_SIZE = 13;
  static constexpr uint32_t BUSY_POLLS = 100;

  // The panel as the tunnel reaches it.
  class panel_port {
   public:
    virtual ~panel_port() = default;
    virtual uint8_t HardwareRevision() = 0;
    virtual uint8_t FirmwareRevision() = 0;  // 0 until the panel reported it
    virtual void WriteCommand(const uint8_t* bytes, uint32_t count) = 0;
  };

  void SetPanel(panel_port* panel) { m_panel = panel; }
  // A port going away: the driver no longer writes to it.
  void ForgetPanel(panel_port* panel) {
    if (m_panel == panel) m_panel = nullptr;
  }
  // A flag that reads 1 while the link is busy transmitting (none: never).
  void SetBusyFlag(const volatile uint8_t* flag) { m_busy = flag; }

  // Builds the panel command of one frame into out[15]; its size, or 0 for
  // a frame longer than 8 data bytes.
  static uint32_t BuildFrame(bool extended, uint32_t id, bool remote, uint8_t length, const uint8_t* data,
                             uint8_t* out);

  // 1 when the frame was written to the panel. Option 0 for plain sends.
  uint32_t WritePacket(uint32_t id, uint8_t remote, uint8_t length, const uint8_t* data, uint8_t option);
  // A frame that the panel's CAN port received, to every attached bus.
  void Dispatch(uint32_t id, uint8_t flags, uint8_t length, const uint8_t* data);

  uint32_t Send(uint32_t id, uint32_t remote, uint32_t length, const uint8_t* data, uint32_t channel) override;
  uint32_t ReadFrame(uint32_t*, uint8_t*, uint8_t*, uint8_t[8]) override { return 0; }
  uint32_t Initialize(uint32_t, uint32_t extended, uint32_t) override {
    m_extended = extended != 0;
    return 1;
  }

  bool Extended() const { return m_extended; }

 private:
  bool m_extended = true;
  panel_port* m_panel = nullptr;
  const volatile uint8_t* m_busy = nullptr;
};

// Sensor bus C's driver, for the whole run: the peripheral task opens the
// bus on it, the front panel gives it its port and its received frames.
extern can_cp_driver g_can_cp_driver;
