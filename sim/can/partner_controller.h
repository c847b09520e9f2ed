// Another sign controller on the controller CAN bus, as the controller link
// sees it: it collects the mails it receives (identifier 0x5B001, a first
// frame with header, type and length, then the payload five bytes a frame)
// and sends light mails of its own, as a primary does.
//
//   first frame    80|b1  01  n  header  type-hi type-lo  len-hi len-lo
//   next frames    80|b1  k   n  up to five payload bytes
//
// b1 is the mail's second byte and n the number of frames. A light mail is
// header (destination << 4 | 1), b1 1, type 0, length 2, level hi, level lo.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "can_models.h"

namespace sim {

class partner_controller : public board::can_wire::node {
 public:
  static constexpr uint32_t MAIL_ID = 0x5B001;

  // rate 0: at any rate (an EPLD channel).
  explicit partner_controller(board::can_wire& wire, uint32_t rate = 0);
  ~partner_controller() override;
  partner_controller(const partner_controller&) = delete;
  partner_controller& operator=(const partner_controller&) = delete;

  bool acknowledges(uint32_t rate) override;
  void on_frame(const board::can_frame& frame, uint32_t rate) override;

  // The mail as its frames; each is sent at once. False when a frame was
  // not acknowledged.
  bool send_mail(const std::vector<uint8_t>& mail);
  bool send_light(uint16_t level, uint8_t destination = 0);
  bool send_frame(const board::can_frame& frame);

  // ---- observation
  // Every complete mail received: header, b1, type (2), length (2), payload.
  std::vector<std::vector<uint8_t>> mails();
  // The levels of the light mails among them.
  std::vector<uint16_t> light_levels();
  uint32_t frames_received();

 private:
  board::can_wire& m_wire;
  const uint32_t m_rate;
  std::mutex m_lock;
  std::vector<std::vector<uint8_t>> m_mails;
  std::vector<uint8_t> m_building;  // the mail being assembled
  uint8_t m_next = 0;               // its next frame number; 0: none
  uint8_t m_total = 0;
  uint32_t m_frames = 0;
};

// The light mail of a level for a destination nibble.
std::vector<uint8_t> light_mail(uint16_t level, uint8_t destination = 0);

}  // namespace sim
