#include "frame/startup/host.h"

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "board_host.h"
#include "display/driver/sign_picture.h"
#include "monitor_host.h"
#include "net_host.h"
#include "tx_api.h"

namespace {

struct termios g_saved_terminal;
bool g_terminal_saved = false;
CSignPicture g_sign_picture;

// The host ports of the controller's network, from "net.conf" in the state
// folder when there is one (see net_host_parse_config for its lines).
bool configure_network(const std::string& state_folder) {
  const std::string path = state_folder + "/" + HOST_NET_CONFIG;
  std::ifstream in(path);
  if (!in) return true;
  std::stringstream text;
  text << in.rdbuf();
  net_host_config config;
  std::string error;
  if (!net_host_parse_config(text.str(), &config, &error) || !net_host_configure(config, &error)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool host_prepare(const std::string& state_folder, const std::vector<std::string>& argv, bool exit_on_restart) {
  if (mkdir(state_folder.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "cannot use state folder %s: %s\n", state_folder.c_str(), std::strerror(errno));
    return false;
  }
  if (!configure_network(state_folder)) return false;
  board::board_config config;
  // The console UART is the program's terminal.
  config.serial[1].kind = board::serial_kind::stdio;
  // A data key sits in the front panel's socket; its contents live in the
  // state folder.
  config.datakey.inserted = true;
  config.datakey.file = state_folder + "/" + HOST_DATAKEY_FILE;
  if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &g_saved_terminal) == 0) {
    g_terminal_saved = true;
    struct termios raw = g_saved_terminal;
    // Characters reach the console as typed; the controller echoes them.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  board::reset(config);
  host_show_sign(state_folder + "/" + HOST_SIGN_PICTURE);

  monitor::monitor_config mon;
  mon.state_folder = state_folder;
  mon.on_restart = exit_on_restart ? monitor::restart_action::exit : monitor::restart_action::exec;
  mon.argv = argv;
  mon.before_restart = host_restore_terminal;
  // The board's watchdog runs in real time, whatever the kernel's ticks do.
  mon.watchdog_host_clock = true;
  monitor::reset(mon);
  return true;
}

void host_restore_terminal() {
  if (g_terminal_saved) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_terminal);
}

void host_show_sign(const std::string& path) {
  g_sign_picture = CSignPicture();
  g_sign_picture.SetFile(path);
  // Each frame the display hardware decoded, in the display task's thread.
  board::display_output().on_frame = [] {
    const board::display_face f = board::display_output().face();
    sign_face_s face;
    face.width = f.width;
    face.height = f.height;
    face.wide = f.wide;
    face.colours = f.colours;
    face.pixels = f.pixels.data();
    g_sign_picture.Offer(face, tx_time_get());
  };
}

const CSignPicture& host_sign_picture() { return g_sign_picture; }
