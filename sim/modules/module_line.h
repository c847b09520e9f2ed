// The display modules of a sign and the distribution board that feeds them,
// at the far end of the controller's module link: modules on the CAN lines
// behind the EPLD (channels 1-9 for lines 0-8) and the board that takes the
// link's control packets.
//
// A module answers
//   the line reset (identifier 16)        with its identity: identifier
//                                          base + position, data 00 type-lo
//                                          revision type-hi quick-test-flag
//   the pixel test (identifier 0x22)      with its scripted pixel reports
//                                          (not for a quick test: flag 1)
//   a result request (0x21, 15 00 mode)   with its scripted pixel reports
//   the poll requests (0x21, code c ...)  codes 2 (voltages and
//                                          temperature), 9 (module
//                                          information), 12 (the subtype;
//                                          gen4 types only) and 18 (next
//                                          information)
// and latches its bit in the EPLD's module-response registers whenever it
// answers. Replies other than the identity are laid out as the module's
// type does it: modules of the old layout send their measurements as eight
// bytes without a reply code. With one response word a reply whose first
// byte is not 0 carries the position in bits 3 and up of its identifier
// (base + 8 x position). The board answers a configuration request (kind
// 5) with its identification and, when told to, a class-2 result request
// (kind 30) with the completion packet; it remembers the link rate it was
// given.
// Modules and the board can be silent or answer wrongly.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "can_models.h"

namespace sim {

class module_line {
 public:
  static constexpr unsigned LINES = 9;

  // How a module or the board misbehaves.
  enum class fault : uint8_t {
    none,
    silent,        // on the bus, answers nothing
    wrong,         // answers, but not what was asked (a reply the controller cannot use)
    bad_checksum,  // the board's replies fail their checksum
  };

  struct module_setup {
    uint16_t type = 21;
    uint8_t revision = 3;
    bool quick_test = false;
    fault behaviour = fault::none;
    // What the module measures and reports.
    uint16_t voltage1 = 120, voltage2 = 118;
    int8_t temperature = 35;
    uint8_t status = 1;
    uint16_t subtype = 0;
    bool single_input = false;
    // Colour planes of the module (1: one colour); the new layout's
    // measurement reply follows it.
    uint8_t depth = 1;
  };

  // A frame the controller sent on a line.
  struct request {
    unsigned line;
    uint32_t id;
    std::vector<uint8_t> data;
  };

  // Attaches to the board's EPLD wires and module link (a board must be up).
  module_line();
  ~module_line();
  module_line(const module_line&) = delete;
  module_line& operator=(const module_line&) = delete;

  // ---- modules
  // Replies at 0x700 + position and two response words per line (else
  // 0x500 + position and one word).
  void set_two_response_words(bool on);
  void add_module(unsigned line, unsigned position, const module_setup& setup);
  // A row of modules at positions 0 .. count - 1.
  void add_modules(unsigned line, unsigned count, const module_setup& setup);
  void set_module_fault(unsigned line, unsigned position, fault f);
  // A pixel report the module sends during a test (identifier and data as
  // on the wire).
  void add_pixel_report(unsigned line, unsigned position, uint32_t id, const std::vector<uint8_t>& data);
  // A frame sent on a line as a module would (any identifier and data).
  void module_send(unsigned line, uint32_t id, const std::vector<uint8_t>& data);

  // ---- board
  // The board's code and revision; sender 0 or 1 (its kind byte's bits 6-7
  // are sender + 1).
  void set_board(uint8_t code, uint8_t revision, uint8_t sender = 0);
  void set_board_fault(fault f);
  // Answer class-2 result requests with the completion packet.
  void set_test_done_reply(bool on);
  // Sends bytes to the controller as if the board had (any packet).
  void board_send(const std::vector<uint8_t>& bytes);

  // ---- observation
  uint32_t configuration_requests();
  uint32_t result_requests();
  // The link-rate frame's divisor (115200 / rate) last received, 0 if none.
  uint8_t link_divisor();
  std::vector<request> requests();
  std::vector<request> take_requests();
  // Control packets taken that the board does not know.
  uint32_t other_packets();

  // Builds a whole module-bus frame (checksum appended).
  static std::vector<uint8_t> frame(uint8_t kind_byte, const std::vector<uint8_t>& data, uint8_t length_byte);

 private:
  struct module_state {
    module_setup setup;
    std::vector<board::can_frame> reports;
  };
  class line_node : public board::can_wire::node {
   public:
    line_node(module_line& owner, unsigned line) : m_owner(owner), m_line(line) {}
    bool acknowledges(uint32_t) override;
    void on_frame(const board::can_frame& f, uint32_t) override;

   private:
    module_line& m_owner;
    unsigned m_line;
  };

  void on_line_frame(unsigned line, const board::can_frame& f);
  // The module's answer to a poll request with reply code `code`; false
  // when it has none.
  bool poll_reply(unsigned position, const module_setup& setup, uint8_t code, board::can_frame& r) const;
  void on_link_packet(const std::vector<uint8_t>& p);
  void latch(unsigned line, unsigned position);
  std::vector<uint8_t> finish(std::vector<uint8_t> bytes);

  std::mutex m_lock;
  std::vector<std::unique_ptr<line_node>> m_nodes;
  std::map<unsigned, module_state> m_modules[LINES];
  bool m_two_words = false;
  uint8_t m_board_code = 30;
  uint8_t m_board_revision = 1;
  uint8_t m_board_sender = 0;
  fault m_board_fault = fault::none;
  bool m_test_done_reply = false;
  uint32_t m_configuration_requests = 0;
  uint32_t m_result_requests = 0;
  uint32_t m_other_packets = 0;
  uint8_t m_link_divisor = 0;
  std::vector<request> m_requests;
};

}  // namespace sim
