#include "sim/panel/front_panel.h"

#include <cstring>

#include "board_host.h"

namespace sim {

namespace {

constexpr uint8_t kCommand = 0xFE;
constexpr uint8_t kEscape = 0xFF;

}  // namespace

front_panel::front_panel() : front_panel(config()) {}

front_panel::front_panel(const config& c) : m_config(c) {
  std::memset(m_text, ' ', sizeof m_text);
  std::memset(m_pixels, 0, sizeof m_pixels);
}

front_panel::~front_panel() { plug_can(nullptr); }

// ---------------------------------------------------------------- CAN port

void front_panel::plug_can(board::can_wire* wire, uint32_t rate) {
  if (m_can_wire) m_can_wire->detach(&m_can_port);
  m_can_wire = wire;
  m_can_rate = rate;
  if (wire) wire->attach(&m_can_port);
}

bool front_panel::can_port::acknowledges(uint32_t rate) {
  return rate == 0 || rate == m_unit.m_can_rate;
}

void front_panel::can_port::on_frame(const board::can_frame& f, uint32_t rate) {
  if (!acknowledges(rate)) return;
  const size_t n = f.remote ? 0 : (f.dlc < 8 ? f.dlc : 8);
  m_unit.can_frame(f.id, f.extended, std::vector<uint8_t>(f.data, f.data + n), f.remote);
}

// Outside the unit's lock: a board's answer comes back through on_frame.
void front_panel::send_can_out() {
  std::vector<board::can_frame> out;
  {
    std::lock_guard<std::mutex> g(m_lock);
    out.swap(m_can_out);
  }
  for (const board::can_frame& f : out)
    if (m_can_wire) m_can_wire->transmit(&m_can_port, f, m_can_rate);
}

// ---------------------------------------------------------------- panel to controller

void front_panel::queue(std::initializer_list<uint8_t> bytes) {
  for (uint8_t b : bytes) m_output.push_back(static_cast<char>(b));
}

std::string front_panel::take_output() {
  std::lock_guard<std::mutex> g(m_lock);
  std::string out;
  out.swap(m_output);
  return out;
}

bool front_panel::has_output() const {
  std::lock_guard<std::mutex> g(m_lock);
  return !m_output.empty();
}

void front_panel::press(uint8_t key) {
  std::lock_guard<std::mutex> g(m_lock);
  queue({static_cast<uint8_t>(key & 0x0F)});
}

void front_panel::key_switch_local() {
  std::lock_guard<std::mutex> g(m_lock);
  queue({kEscape, 0xB3});
}

void front_panel::key_switch_remote() {
  std::lock_guard<std::mutex> g(m_lock);
  queue({kEscape, 0xB4});
}

void front_panel::toggle_local() {
  std::lock_guard<std::mutex> g(m_lock);
  queue({kEscape, 0xB9});
}

void front_panel::restarted() {
  std::lock_guard<std::mutex> g(m_lock);
  m_revision_reported = false;
  queue({kEscape, 0xB0});
}

void front_panel::laptop(bool connected) {
  std::lock_guard<std::mutex> g(m_lock);
  queue({kEscape, static_cast<uint8_t>(connected ? 0xB2 : 0xB1)});
}

void front_panel::restart_controller() {
  std::lock_guard<std::mutex> g(m_lock);
  queue({kEscape, 0xB5});
}

void front_panel::keyboard(uint8_t state, const std::vector<uint8_t>& scan_codes) {
  std::lock_guard<std::mutex> g(m_lock);
  queue({kEscape, 0xBD, state});
  for (uint8_t b : scan_codes) queue({b});
  queue({0xED});
}

void front_panel::can_frame(uint32_t identifier, bool extended, const std::vector<uint8_t>& data, bool remote) {
  std::vector<uint8_t> frame;
  if (extended) {
    frame.push_back(static_cast<uint8_t>(identifier >> 21));
    frame.push_back(static_cast<uint8_t>(((identifier >> 18) & 0x07) << 5 | 0x18 | ((identifier >> 15) & 0x07)));
    frame.push_back(static_cast<uint8_t>(identifier >> 7));
    frame.push_back(static_cast<uint8_t>((identifier & 0x7F) << 1 | (remote ? 1 : 0)));
  } else {
    frame.push_back(static_cast<uint8_t>(identifier >> 3));
    frame.push_back(static_cast<uint8_t>((identifier & 0x07) << 5 | (remote ? 0x10 : 0)));
  }
  frame.push_back(static_cast<uint8_t>(data.size()));
  frame.insert(frame.end(), data.begin(), data.end());
  std::lock_guard<std::mutex> g(m_lock);
  queue({kEscape, 0xB8});
  for (uint8_t b : frame) {
    if (b == 0xFE || b == 0xFF)
      queue({0xFE, static_cast<uint8_t>(b ^ 0x20)});
    else
      queue({b});
  }
}

void front_panel::send_raw(const std::string& bytes) {
  std::lock_guard<std::mutex> g(m_lock);
  m_output += bytes;
}

// ---------------------------------------------------------------- controller to panel

void front_panel::receive(const uint8_t* data, size_t n) {
  {
    std::lock_guard<std::mutex> g(m_lock);
    for (size_t i = 0; i < n; ++i) byte_in(data[i]);
  }
  send_can_out();
}

bool front_panel::escapes() const {
  // Units of revision 1..6 take parameters raw, once the controller knows
  // the revision.
  const bool old = (m_config.hardware_revision >= 1 && m_config.hardware_revision <= 6) ||
                   (m_config.firmware_revision >= 1 && m_config.firmware_revision <= 6);
  return !(old && m_revision_reported);
}

size_t front_panel::params_wanted() const {
  switch (m_current.letter) {
    case 'G':
    case 'p':
      return 2;
    case 'd':
      return 4;
    case 'r':
    case 'x':
      return 5;
    case 'P':
    case 'B':
    case 'c':
      return 1;
    case 'A':
      // Bit 3 of the second identifier byte tells the frame's form.
      if (m_current.params.size() < 2) return 2;
      return (m_current.params[1] & 0x08) ? 13 : 11;
    default:
      return 0;
  }
}

void front_panel::byte_in(uint8_t b) {
  if (b == kCommand && escapes()) {
    // A command byte never occurs escaped: whatever was under way is cut
    // short.
    if (m_state != state::text) ++m_unknown;
    m_state = state::letter;
    m_escape = false;
    return;
  }
  switch (m_state) {
    case state::text:
      if (b == kCommand) {
        m_state = state::letter;
      } else if (b == kEscape) {
        ++m_stray;
      } else {
        put_text(b);
      }
      return;
    case state::letter:
      start_command(b);
      return;
    case state::params:
    case state::bitmap_data:
      if (escapes()) {
        if (m_escape) {
          m_escape = false;
          b = static_cast<uint8_t>(b ^ 0x20);
        } else if (b == kEscape) {
          m_escape = true;
          return;
        }
      }
      param(b);
      return;
  }
}

void front_panel::start_command(uint8_t letter) {
  m_current = command{letter, {}};
  switch (letter) {
    case 'X': case 'G': case 'd': case 'r': case 'x': case 'P': case 'B': case 'F': case 'V': case 'W':
    case 'Y': case '6': case '7': case '9': case 0x40: case '<': case ';': case 'c': case 'p': case 'A':
      break;
    default:
      ++m_unknown;
      m_state = state::text;
      return;
  }
  m_state = state::params;
  if (params_wanted() == 0) finish_command();
}

void front_panel::param(uint8_t b) {
  if (m_state == state::bitmap_data) {
    const command& c = m_current;
    const int x0 = c.params[0], y0 = c.params[1];
    const int w = c.params[2] - x0 + 1;
    const int stride = (w + 7) / 8;
    const int row = static_cast<int>(m_bitmap_index / stride);
    const int col = static_cast<int>(m_bitmap_index % stride) * 8;
    for (int bit = 0; bit < 8 && col + bit < w; ++bit) set_pixel(x0 + col + bit, y0 + row, (b >> (7 - bit)) & 1);
    if (++m_bitmap_index >= m_bitmap_bytes) {
      m_log.push_back(m_current);
      m_state = state::text;
    }
    return;
  }
  m_current.params.push_back(b);
  if (m_current.params.size() >= params_wanted()) finish_command();
}

void front_panel::finish_command() {
  command& c = m_current;
  m_state = state::text;
  switch (c.letter) {
    case 'X':
      std::memset(m_text, ' ', sizeof m_text);
      std::memset(m_pixels, 0, sizeof m_pixels);
      m_column = m_line = 1;
      break;
    case 'G':
      m_column = c.params[0] ? c.params[0] : 1;
      m_line = c.params[1] ? c.params[1] : 1;
      break;
    case 'd': {
      const int w = c.params[2] - c.params[0] + 1;
      const int h = c.params[3] - c.params[1] + 1;
      if (w <= 0 || h <= 0) {
        ++m_unknown;
        break;
      }
      m_bitmap_bytes = static_cast<size_t>((w + 7) / 8) * static_cast<size_t>(h);
      m_bitmap_index = 0;
      m_state = state::bitmap_data;
      return;  // logged once its data is in
    }
    case 'r':
    case 'x': {
      const bool on = c.params[0] != 0;
      const int x1 = c.params[1], y1 = c.params[2], x2 = c.params[3], y2 = c.params[4];
      for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x)
          if (c.letter == 'x' || y == y1 || y == y2 || x == x1 || x == x2) set_pixel(x, y, on);
      break;
    }
    case 'P':
      m_contrast += c.params[0] ? 1 : -1;
      break;
    case 'B':
      m_backlight = true;
      m_backlight_level = c.params[0];
      break;
    case 'F':
      m_backlight = false;
      break;
    case 'V':
      m_local_lamp = true;
      break;
    case 'W':
      m_local_lamp = false;
      break;
    case '6':
      if (m_config.answers_probe) {
        queue({kEscape, static_cast<uint8_t>(0xA0 + (m_config.hardware_revision & 0x0F))});
        m_revision_reported = true;
      }
      break;
    case '7':
      if (m_config.answers_probe) queue({kEscape, static_cast<uint8_t>(0xA0 + (m_config.firmware_revision & 0x0F))});
      break;
    case '<':
      m_suspended = true;
      break;
    case ';':
      m_suspended = false;
      break;
    case 'A': {
      m_can_frames.push_back(c.params);
      if (!m_can_wire) break;
      const std::vector<uint8_t>& p = c.params;
      board::can_frame f;
      size_t data;
      f.extended = (p[1] & 0x08) != 0;
      if (f.extended) {
        f.id = static_cast<uint32_t>(p[0]) << 21 | static_cast<uint32_t>(p[1] >> 5) << 18 |
               static_cast<uint32_t>(p[1] & 0x07) << 15 | static_cast<uint32_t>(p[2]) << 7 | p[3] >> 1;
        f.remote = (p[3] & 0x01) != 0;
        f.dlc = p[4] & 0x0F;
        data = 5;
      } else {
        f.id = static_cast<uint32_t>(p[0]) << 3 | p[1] >> 5;
        f.remote = (p[1] & 0x10) != 0;
        f.dlc = p[2] & 0x0F;
        data = 3;
      }
      for (size_t k = 0; k < 8 && data + k < p.size(); ++k) f.data[k] = p[data + k];
      m_can_out.push_back(f);
      break;
    }
    default:
      break;
  }
  m_log.push_back(c);
}

void front_panel::put_text(uint8_t c) {
  if (m_line >= 1 && m_line <= LINES && m_column >= 1 && m_column <= COLUMNS) m_text[m_line - 1][m_column - 1] = c;
  if (++m_column > COLUMNS) {
    m_column = 1;
    m_line = m_line >= LINES ? 1 : m_line + 1;
  }
}

void front_panel::set_pixel(int x, int y, bool on) {
  if (x < 0 || y < 0 || x >= static_cast<int>(WIDTH) || y >= static_cast<int>(HEIGHT)) return;
  m_pixels[y][x] = on;
}

// ---------------------------------------------------------------- observation

std::string front_panel::line(unsigned n) const {
  std::lock_guard<std::mutex> g(m_lock);
  if (n < 1 || n > LINES) return std::string();
  return std::string(reinterpret_cast<const char*>(m_text[n - 1]), COLUMNS);
}

std::string front_panel::screen() const {
  std::string s;
  for (unsigned n = 1; n <= LINES; ++n) s += line(n) + "\n";
  return s;
}

bool front_panel::pixel(unsigned x, unsigned y) const {
  std::lock_guard<std::mutex> g(m_lock);
  return x < WIDTH && y < HEIGHT && m_pixels[y][x];
}

std::string front_panel::pixels(unsigned x, unsigned y, unsigned width, unsigned height) const {
  std::string s;
  for (unsigned r = 0; r < height; ++r) {
    for (unsigned c = 0; c < width; ++c) s += pixel(x + c, y + r) ? '#' : '.';
    s += '\n';
  }
  return s;
}

unsigned front_panel::cursor_column() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_column;
}

unsigned front_panel::cursor_line() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_line;
}

std::vector<front_panel::command> front_panel::commands() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_log;
}

std::vector<front_panel::command> front_panel::take_commands() {
  std::lock_guard<std::mutex> g(m_lock);
  std::vector<command> out;
  out.swap(m_log);
  return out;
}

size_t front_panel::count(uint8_t letter) const {
  std::lock_guard<std::mutex> g(m_lock);
  size_t n = 0;
  for (const command& c : m_log)
    if (c.letter == letter) ++n;
  return n;
}

bool front_panel::local_lamp() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_local_lamp;
}

bool front_panel::backlight() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_backlight;
}

uint8_t front_panel::backlight_level() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_backlight_level;
}

int front_panel::contrast() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_contrast;
}

bool front_panel::suspended() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_suspended;
}

size_t front_panel::unknown_commands() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_unknown;
}

size_t front_panel::stray_bytes() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_stray;
}

std::vector<std::vector<uint8_t>> front_panel::can_frames() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_can_frames;
}

void front_panel::clear_log() {
  std::lock_guard<std::mutex> g(m_lock);
  m_log.clear();
  m_can_frames.clear();
}

}  // namespace sim
