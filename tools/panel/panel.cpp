// The controller's front panel in a terminal, on its remote-panel port: the
// 40 x 8 text screen (and the 240 x 64 bitmap in braille dots while a page
// draws one), the keypad, the PS/2 keyboard's letters and function keys,
// and the key switch.
//
//   signctl-panel [--plain] [host:]port      (default 127.0.0.1:25002)
//
// --plain prints each new screen as text instead of drawing with curses
// (for scripts and terminals without cursor control).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <curses.h>

#include "sim/panel/front_panel.h"

namespace {

// Keypad codes the unit sends.
enum : uint8_t { PAD_CANCEL = 0, PAD_ENTER = 8, PAD_RIGHT = 12, PAD_LEFT = 13, PAD_DOWN = 14, PAD_UP = 15 };
const uint8_t kDigitPad[10] = {4, 3, 7, 11, 2, 6, 10, 1, 5, 9};  // '0'..'9'

// PS/2 set-2 make codes.
const uint8_t kLetterScan[26] = {0x1C, 0x32, 0x21, 0x23, 0x24, 0x2B, 0x34, 0x33, 0x43, 0x3B, 0x42, 0x4B, 0x3A,
                                 0x31, 0x44, 0x4D, 0x15, 0x2D, 0x1B, 0x2C, 0x3C, 0x2A, 0x1D, 0x22, 0x35, 0x1A};
const uint8_t kFunctionScan[12] = {0x05, 0x06, 0x04, 0x0C, 0x03, 0x0B, 0x83, 0x0A, 0x01, 0x09, 0x78, 0x07};
constexpr uint8_t kShift = 0x12, kSpace = 0x29, kBreak = 0xF0;

const char kHelp[] =
    "0-9 keypad  Enter ENTER  Esc/Backspace CANCEL  arrows  a-z A-Z space: keyboard  F1-F12  "
    "Tab local/remote  Ctrl-R remote mode  Ctrl-L local mode  Ctrl-Q quit";

struct key_input {
  enum kind_t { none, pad, scan, toggle, remote, local, quit } kind = none;
  uint8_t code = 0;
  bool shift = false;
};

key_input from_char(int c) {
  key_input k;
  if (c >= '0' && c <= '9') return {key_input::pad, kDigitPad[c - '0']};
  if (c == '\r' || c == '\n') return {key_input::pad, PAD_ENTER};
  if (c == 27 || c == 127 || c == 8) return {key_input::pad, PAD_CANCEL};
  if (c >= 'a' && c <= 'z') return {key_input::scan, kLetterScan[c - 'a']};
  if (c >= 'A' && c <= 'Z') return {key_input::scan, kLetterScan[c - 'A'], true};
  if (c == ' ') return {key_input::scan, kSpace};
  if (c == '\t') k.kind = key_input::toggle;
  if (c == 18) k.kind = key_input::remote;  // Ctrl-R
  if (c == 12) k.kind = key_input::local;   // Ctrl-L
  if (c == 17 || c == 3) k.kind = key_input::quit;  // Ctrl-Q, Ctrl-C
  return k;
}

void send_key(sim::front_panel& unit, const key_input& k) {
  switch (k.kind) {
    case key_input::pad:
      unit.press(k.code);
      break;
    case key_input::scan:
      if (k.shift)
        unit.keyboard(0, {kShift, k.code, kBreak, k.code, kBreak, kShift});
      else
        unit.keyboard(0, {k.code, kBreak, k.code});
      break;
    case key_input::toggle:
      unit.toggle_local();
      break;
    case key_input::remote:
      unit.key_switch_remote();
      break;
    case key_input::local:
      unit.key_switch_local();
      break;
    default:
      break;
  }
}

bool any_pixel(const sim::front_panel& unit) {
  for (unsigned y = 0; y < sim::front_panel::HEIGHT; ++y)
    for (unsigned x = 0; x < sim::front_panel::WIDTH; ++x)
      if (unit.pixel(x, y)) return true;
  return false;
}

// The bitmap as braille cells of 2 x 4 dots: 120 x 16 cells, UTF-8.
std::vector<std::string> braille(const sim::front_panel& unit) {
  static const int kDot[4][2] = {{0x01, 0x08}, {0x02, 0x10}, {0x04, 0x20}, {0x40, 0x80}};
  std::vector<std::string> rows;
  for (unsigned cy = 0; cy < sim::front_panel::HEIGHT / 4; ++cy) {
    std::string row;
    for (unsigned cx = 0; cx < sim::front_panel::WIDTH / 2; ++cx) {
      int bits = 0;
      for (int dy = 0; dy < 4; ++dy)
        for (int dx = 0; dx < 2; ++dx)
          if (unit.pixel(cx * 2 + dx, cy * 4 + dy)) bits |= kDot[dy][dx];
      const int cp = 0x2800 + bits;
      row += static_cast<char>(0xE0 | (cp >> 12));
      row += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      row += static_cast<char>(0x80 | (cp & 0x3F));
    }
    rows.push_back(row);
  }
  return rows;
}

std::string picture(const sim::front_panel& unit) {
  std::string s = unit.screen();
  if (any_pixel(unit))
    for (const std::string& r : braille(unit)) s += r + "\n";
  s += unit.local_lamp() ? "[LOCAL]\n" : "[remote]\n";
  return s;
}

int connect_to(const std::string& target) {
  std::string host = "127.0.0.1", port = target;
  const size_t colon = target.rfind(':');
  if (colon != std::string::npos) {
    host = target.substr(0, colon);
    port = target.substr(colon + 1);
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(std::atoi(port.c_str())));
  if (inet_pton(AF_INET, host.c_str(), &a.sin_addr) != 1) return -1;
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool send_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Moves the controller's bytes into the unit; false when the link ended.
bool take_from(int fd, sim::front_panel& unit) {
  uint8_t buf[4096];
  ssize_t n = recv(fd, buf, sizeof buf, 0);
  if (n <= 0) return false;
  unit.receive(buf, static_cast<size_t>(n));
  return true;
}

void draw(const sim::front_panel& unit, const std::string& target, const std::string& note) {
  erase();
  mvprintw(0, 0, "front panel at %s  %s", target.c_str(), unit.local_lamp() ? "[LOCAL]" : "[remote]");
  mvaddstr(1, 0, "+----------------------------------------+");
  for (unsigned l = 1; l <= sim::front_panel::LINES; ++l) mvprintw(1 + l, 0, "|%s|", unit.line(l).c_str());
  mvaddstr(10, 0, "+----------------------------------------+");
  int row = 11;
  if (any_pixel(unit))
    for (const std::string& r : braille(unit)) mvaddstr(row++, 0, r.c_str());
  mvaddstr(row + 1, 0, kHelp);
  if (!note.empty()) mvaddstr(row + 3, 0, note.c_str());
  refresh();
}

int run_plain(int fd, sim::front_panel& unit) {
  struct termios saved;
  const bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (tty) {
    struct termios raw = saved;
    cfmakeraw(&raw);
    raw.c_oflag |= OPOST | ONLCR;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  std::printf("%s\n", kHelp);
  std::fflush(stdout);
  std::string shown;
  int status = 0;
  for (;;) {
    pollfd p[2] = {{fd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    if (poll(p, 2, 100) < 0) break;
    if (p[0].revents && !take_from(fd, unit)) {
      std::printf("the controller closed the panel link\n");
      status = 1;
      break;
    }
    if (p[1].revents) {
      char c;
      if (read(STDIN_FILENO, &c, 1) != 1) break;
      const key_input k = from_char(static_cast<unsigned char>(c));
      if (k.kind == key_input::quit) break;
      send_key(unit, k);
    }
    if (!send_all(fd, unit.take_output())) {
      status = 1;
      break;
    }
    const std::string now = picture(unit);
    if (now != shown && !(p[0].revents && poll(p, 1, 20) > 0)) {
      // A whole screen at a time, once the controller paused.
      shown = now;
      std::printf("=== panel ===\n%s=== end ===\n", now.c_str());
      std::fflush(stdout);
    }
  }
  if (tty) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return status;
}

int run_curses(int fd, sim::front_panel& unit, const std::string& target) {
  std::setlocale(LC_ALL, "");
  initscr();
  raw();
  noecho();
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  curs_set(0);
  std::string note;
  int status = 0;
  draw(unit, target, note);
  for (;;) {
    pollfd p[2] = {{fd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    if (poll(p, 2, 100) < 0) break;
    bool changed = false;
    if (p[0].revents) {
      if (!take_from(fd, unit)) {
        status = 1;
        break;
      }
      changed = true;
    }
    for (int c; (c = getch()) != ERR;) {
      key_input k;
      switch (c) {
        case KEY_UP: k = {key_input::pad, PAD_UP}; break;
        case KEY_DOWN: k = {key_input::pad, PAD_DOWN}; break;
        case KEY_LEFT: k = {key_input::pad, PAD_LEFT}; break;
        case KEY_RIGHT: k = {key_input::pad, PAD_RIGHT}; break;
        case KEY_ENTER: k = {key_input::pad, PAD_ENTER}; break;
        case KEY_BACKSPACE: k = {key_input::pad, PAD_CANCEL}; break;
        default:
          if (c >= KEY_F(1) && c <= KEY_F(12))
            k = {key_input::scan, kFunctionScan[c - KEY_F(1)]};
          else if (c < 256)
            k = from_char(c);
      }
      if (k.kind == key_input::quit) {
        endwin();
        return 0;
      }
      send_key(unit, k);
    }
    if (!send_all(fd, unit.take_output())) {
      status = 1;
      break;
    }
    if (changed) draw(unit, target, note);
  }
  endwin();
  if (status) std::printf("the controller closed the panel link\n");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  bool plain = false;
  std::string target = "127.0.0.1:25002";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plain") == 0)
      plain = true;
    else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("signctl-panel [--plain] [host:]port   (default 127.0.0.1:25002)\n%s\n", kHelp);
      return 0;
    } else
      target = argv[i];
  }
  const int fd = connect_to(target);
  if (fd < 0) {
    std::fprintf(stderr,
                 "panel: cannot reach the remote panel at %s: is the controller running, and is that its "
                 "port 15002 on the host (net.conf)?\n",
                 target.c_str());
    return 2;
  }
  // The unit as seen from afar: it shows what the controller sends and
  // never answers the controller's revision queries.
  sim::front_panel::config c;
  c.answers_probe = false;
  sim::front_panel unit(c);
  const char* term = std::getenv("TERM");
  if (!plain && (!isatty(STDOUT_FILENO) || !term || std::strcmp(term, "dumb") == 0)) plain = true;
  const int status = plain ? run_plain(fd, unit) : run_curses(fd, unit, target);
  close(fd);
  return status;
}
