// A simulated front-panel unit at the far end of the panel link: it decodes
// the controller's command bytes (FE and a letter, parameters escaped as
// FF, byte ^ 0x20 unless the unit is of revision 1..6) into a screen of 8 x
// 40 text cells over a 240 x 64 pixel layer, answers the revision queries,
// and sends what a technician does: keypad keys, the key switch, panel
// restarts, the laptop port, PS/2 scan codes and CAN frames of its port.
// Its CAN port can be cabled to a bus: the frames the controller writes
// (FE 'A') go out on it, and what the bus's boards send comes back.
//
// Text and pixels are two layers, as on the unit: clearing the screen
// clears both, rectangles and bitmaps touch only the pixels. A position
// command with column 0 means the first column.
//
// Either transport works: front_panel_port is an in-memory serial driver
// whose far end is the panel (unit tests), attach()/pump() put the panel on
// a board serial line's pipe end (the whole controller).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "can_models.h"
#include "sim/serial/serial_device.h"

namespace board {
class serial_line;
}

namespace sim {

class front_panel : public serial_device {
 public:
  static constexpr unsigned LINES = 8;
  static constexpr unsigned COLUMNS = 40;
  static constexpr unsigned WIDTH = 240;
  static constexpr unsigned HEIGHT = 64;

  struct config {
    uint8_t hardware_revision = 7;
    uint8_t firmware_revision = 9;
    bool answers_probe = true;  // a silent unit never answers FE '6' / '7'
  };

  // One decoded command: its letter and its parameter bytes (unescaped).
  struct command {
    uint8_t letter;
    std::vector<uint8_t> params;
  };

  front_panel();
  explicit front_panel(const config& c);
  ~front_panel() override;
  front_panel(const front_panel&) = delete;
  front_panel& operator=(const front_panel&) = delete;

  // ---- the unit's CAN port
  // Cables the port to a bus at `rate` bits per second (null unplugs it);
  // while the bus is quiet.
  static constexpr uint32_t CAN_RATE = 100000;
  void plug_can(board::can_wire* wire, uint32_t rate = CAN_RATE);

  // ---- controller to panel
  using serial_device::receive;
  void receive(const uint8_t* data, size_t n) override;

  // ---- panel to controller
  std::string take_output() override;
  bool has_output() const;
  void press(uint8_t key);  // keypad code 0..15
  void key_switch_local();
  void key_switch_remote();
  void toggle_local();
  void restarted();           // the unit announces its own restart (FF B0)
  void laptop(bool connected);
  void restart_controller();  // FF B5
  // FF BD, the modifier byte, the scan codes, ED.
  void keyboard(uint8_t state, const std::vector<uint8_t>& scan_codes);
  // FF B8 and the frame; FE and FF in it travel as FE, byte ^ 0x20.
  void can_frame(uint32_t identifier, bool extended, const std::vector<uint8_t>& data, bool remote = false);
  // Anything, as is (a test of bad input).
  void send_raw(const std::string& bytes);

  // ---- the screen
  std::string line(unsigned n) const;  // 40 characters, lines 1..8
  std::string screen() const;          // the 8 lines, each ended by '\n'
  bool pixel(unsigned x, unsigned y) const;
  // The pixels of a box as rows of '#' and '.', each ended by '\n'.
  std::string pixels(unsigned x, unsigned y, unsigned width, unsigned height) const;
  unsigned cursor_column() const;
  unsigned cursor_line() const;

  // ---- what the unit was told
  std::vector<command> commands() const;
  std::vector<command> take_commands();
  size_t count(uint8_t letter) const;
  bool local_lamp() const;
  bool backlight() const;
  uint8_t backlight_level() const;
  int contrast() const;
  bool suspended() const;
  size_t unknown_commands() const;
  size_t stray_bytes() const;  // bytes that fit no command (escape bytes outside one)
  std::vector<std::vector<uint8_t>> can_frames() const;  // FE 'A' frames, bytes 2..
  void clear_log();

  // ---- a board serial line as the transport
  // Moves what the controller sent into the unit and the unit's bytes to
  // the controller; the number of bytes taken from the line.

 private:
  enum class state { text, letter, params, bitmap_data };
  void byte_in(uint8_t b);
  void start_command(uint8_t letter);
  void param(uint8_t b);
  void finish_command();
  void put_text(uint8_t c);
  void queue(std::initializer_list<uint8_t> bytes);
  bool escapes() const;
  size_t params_wanted() const;
  void set_pixel(int x, int y, bool on);

  // The CAN port as a node of its bus.
  class can_port : public board::can_wire::node {
   public:
    explicit can_port(front_panel& unit) : m_unit(unit) {}
    bool acknowledges(uint32_t rate) override;
    void on_frame(const board::can_frame& frame, uint32_t rate) override;

   private:
    front_panel& m_unit;
  };
  void send_can_out();

  mutable std::mutex m_lock;
  config m_config;
  can_port m_can_port{*this};
  board::can_wire* m_can_wire = nullptr;
  uint32_t m_can_rate = CAN_RATE;
  std::vector<board::can_frame> m_can_out;  // written by the controller, not yet on the bus
  bool m_revision_reported = false;
  state m_state = state::text;
  bool m_escape = false;
  command m_current{};
  size_t m_bitmap_bytes = 0;
  size_t m_bitmap_index = 0;
  std::vector<command> m_log;
  std::string m_output;
  uint8_t m_text[LINES][COLUMNS];
  bool m_pixels[HEIGHT][WIDTH];
  unsigned m_column = 1;
  unsigned m_line = 1;
  bool m_local_lamp = false;
  bool m_backlight = true;
  uint8_t m_backlight_level = 0;
  int m_contrast = 0;
  bool m_suspended = false;
  size_t m_unknown = 0;
  size_t m_stray = 0;
  std::vector<std::vector<uint8_t>> m_can_frames;
};

using front_panel_port = serial_device_port;

}  // namespace sim
