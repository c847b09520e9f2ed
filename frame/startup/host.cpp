#include "frame/startup/host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "board_host.h"
#include "comm/ethernet/emac_driver.h"
#include "ethernet_wire.h"
#include "mon_api.h"
#include "display/driver/module_type.h"
#include "display/driver/sign_picture.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/startup/bench.h"
#include "frame/startup/startup.h"
#include "monitor_host.h"
#include "net_host.h"
#include "tx_api.h"

namespace {

std::unique_ptr<board::ethernet_wire> g_wire;
struct termios g_saved_terminal;
bool g_terminal_saved = false;
CSignPicture g_sign_picture;
bench_config g_bench;
constexpr const char* kRestartedMark = "SIGNCTL_RESTARTED";
constexpr const char* kBootCounterVariable = "SIGNCTL_BOOT_COUNTER";
std::unique_ptr<bench_devices> g_bench_devices;

// The board's battery-backed clock register: it keeps the last second the
// controller wrote through a power cut, in the state folder, so a start
// measures how long the sign was off.
int g_clock_register_fd = -1;
uint32_t g_clock_register = 0;

uint32_t clock_register_read() { return g_clock_register; }

void clock_register_write(uint32_t value) {
  g_clock_register = value;
  if (g_clock_register_fd < 0) return;
  const uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
  if (pwrite(g_clock_register_fd, bytes, sizeof bytes, 0) != sizeof bytes)
    std::fprintf(stderr, "cannot keep the clock register: %s\n", std::strerror(errno));
}

void clock_register_open(const std::string& path) {
  if (g_clock_register_fd >= 0) close(g_clock_register_fd);
  g_clock_register = 0;
  g_clock_register_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  uint8_t bytes[4];
  if (g_clock_register_fd >= 0 && pread(g_clock_register_fd, bytes, sizeof bytes, 0) == sizeof bytes)
    g_clock_register = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

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

// The host ports of the controller's listening sockets must be its own: a
// controller that shared them with another program would answer for it.
// They stay bound from here until the stack opens them, so a second
// controller started before this one's network is up finds them busy.
// On a wire the SNMP port's host port belongs to the wire's forward, which
// binds it itself (and says so when it is busy).
bool ports_free(const std::string& state_folder, bool telnet, bool wire) {
  std::vector<net_listen_port> ports = {{net_proto::udp, 162},   {net_proto::udp, 3002},  {net_proto::tcp, 162},
                                        {net_proto::tcp, 14001}, {net_proto::tcp, 15002}};
  if (!wire) ports.insert(ports.begin(), {{net_proto::udp, 161}, {net_proto::tcp, 161}});
  if (telnet) ports.push_back({net_proto::tcp, 23});
  std::string busy;
  if (net_host_hold_ports(ports, &busy)) return true;
  std::fprintf(stderr,
               "signctl: %s by another program (another controller?).\n"
               "Stop it, or give this controller other host ports in %s/%s, for example the line \"offset 20000\".\n",
               busy.c_str(), state_folder.c_str(), HOST_NET_CONFIG);
  return false;
}

// The state folder's bench file over the default bench.
bool read_bench(const std::string& state_folder, bench_config* bench) {
  const std::string path = state_folder + "/" + HOST_BENCH_FILE;
  std::ifstream in(path);
  if (!in) return true;
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  if (!bench_parse(text.str(), bench, &error)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

// What the bench has, and where the serial channels' host ends are.
void print_bench(const bench_config& bench) {
  if (bench.factory_sign) {
    std::printf("bench: the stored sign (factory: 7 x 25 line matrix)");
  } else {
    const module_type_row* row = find_module_type(g_builtin_module_types, BUILTIN_MODULE_TYPE_COUNT, bench.module_type);
    std::printf("bench: %u x %u sign of %s modules", bench.height, bench.width, row->name);
  }
  if (bench.panel) std::printf(", front panel");
  if (bench.ups != bench_config::ups_kind::none) std::printf(", UPS on AUX");
  if (!bench.can_boards.empty()) std::printf(", %zu CAN board(s)", bench.can_boards.size());
  std::printf("\n");
  static const struct {
    unsigned port;
    const char* name;
  } kChannels[] = {{BENCH_CCP, "CCP"}, {BENCH_AUX, "AUX"}, {BENCH_MODEM, "MODEM"}, {BENCH_PANEL, "panel line"},
                   {BENCH_LAPTOP, "LAPTOP"}};
  for (const auto& c : kChannels) {
    board::serial_line& line = board::serial(c.port);
    if (line.kind() == board::serial_kind::pty)
      std::printf("bench: %s on %s\n", c.name, line.pty_path().c_str());
    else if (line.kind() == board::serial_kind::tcp)
      std::printf("bench: %s on 127.0.0.1:%u\n", c.name, static_cast<unsigned>(line.tcp_port()));
  }
  std::fflush(stdout);
}

uint32_t env_address(const char* name) {
  const char* text = mon_getenv(name);
  in_addr a{};
  return text && inet_pton(AF_INET, text, &a) == 1 ? ntohl(a.s_addr) : 0;
}

// A loopback port free for UDP and TCP now.
uint16_t free_loopback_port() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  if (fd >= 0) close(fd);
  return port;
}

// Wire mode: the far end on the controller's subnet (from the boot
// monitor's environment), forwarding the SNMP port's host port, and the
// board's Ethernet as the main instance's link.
bool start_wire() {
  board::wire_config w;
  w.address = env_address("IPADD");
  w.mask = env_address("NETMASK");
  w.gateway = env_address("GIPADD");
  if (!w.address || !w.mask) {
    std::fprintf(stderr, "wire mode needs the boot monitor's IPADD and NETMASK\n");
    return false;
  }
  uint16_t host_port = net_host_listen_port(161);
  if (!host_port) host_port = free_loopback_port();
  w.forwards = {{true, host_port, 161}, {false, host_port, 161}};
  g_wire = std::make_unique<board::ethernet_wire>(board::emac());
  std::string error;
  if (!g_wire->start(w, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  emac_install(board::ETHERNET_MEMORY_BASE);
  std::printf("bench: Ethernet on a wire, SNMP from 127.0.0.1:%u (UDP, TCP)\n", static_cast<unsigned>(host_port));
  std::fflush(stdout);
  return true;
}

}  // namespace

bool host_prepare(const std::string& state_folder, const std::vector<std::string>& argv, bool exit_on_restart) {
  if (mkdir(state_folder.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "cannot use state folder %s: %s\n", state_folder.c_str(), std::strerror(errno));
    return false;
  }
  if (!configure_network(state_folder)) return false;
  g_bench = bench_config();
  if (!read_bench(state_folder, &g_bench)) return false;
  clock_register_open(state_folder + "/" + HOST_CLOCK_REGISTER);
  if (CDataBase* db = g_pDataBase) {
    // The boot counter register keeps its value through the board's own
    // restarts (the program runs itself again, with its environment), so
    // a controller that keeps restarting early drops its journal; a start
    // from the shell is a power-up and finds it 0. It is not kept in the
    // state folder: stopping and starting the program by hand eight times
    // within 30 s each must not throw the journal away.
    static uint8_t boot_counter;
    const char* kept = std::getenv(kBootCounterVariable);
    boot_counter = kept && std::getenv(kRestartedMark) ? static_cast<uint8_t>(std::atoi(kept)) : 0;
    db->SetBoardRegs({clock_register_read, clock_register_write, [] { return boot_counter; },
                      [](uint8_t value) {
                        boot_counter = value;
                        setenv(kBootCounterVariable, std::to_string(value).c_str(), 1);
                      }});
  }
  if (!ports_free(state_folder, g_bench.telnet, g_bench.ethernet_wire)) return false;
  board::board_config config;
  for (unsigned port : {BENCH_CCP, BENCH_AUX, BENCH_MODEM, BENCH_PANEL, BENCH_LAPTOP})
    config.serial[port] = g_bench.serial[port];
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
  g_bench_devices.reset();
  g_wire.reset();
  board::reset(config);
  for (unsigned port : {BENCH_CCP, BENCH_AUX, BENCH_MODEM, BENCH_PANEL, BENCH_LAPTOP}) {
    if (g_bench.serial[port].kind != board::serial_kind::pty && g_bench.serial[port].kind != board::serial_kind::tcp)
      continue;
    if (board::serial(port).pty_path().empty() && board::serial(port).tcp_port() == 0) {
      std::fprintf(stderr, "cannot open the host end of serial port %u\n", port);
      return false;
    }
  }
  g_bench_devices = std::make_unique<bench_devices>(g_bench);
  // Its switch lines press and release switches while the program runs.
  g_bench_devices->watch(state_folder + "/" + HOST_BENCH_FILE);
  print_bench(g_bench);
  if (g_bench.modem != bench_config::modem_kind::none) {
    std::printf(g_bench.modem == bench_config::modem_kind::dialup ? "bench: dial-up modem on MODEM, calls on 127.0.0.1:%u\n"
                                                                  : "bench: cellular modem, AT commands on 127.0.0.1:%u\n",
                static_cast<unsigned>(g_bench_devices->modem_port()));
    std::fflush(stdout);
  }
  // Started from the shell, the board was powered up: a cold start. The
  // boot monitor's restart runs this program again, with the mark set.
  static bool power_up;
  power_up = std::getenv(kRestartedMark) == nullptr;
  setenv(kRestartedMark, "1", 1);
  g_startup_configure = [] {
    bench_configure(g_bench);
    if (power_up) {
      constexpr uint32_t kPowerUp = 3;
      g_pDataBase->SetValue(nv::dmsSWReset.offset, nv::dmsSWReset.width, kPowerUp, g_pDataBase->mib_nv,
                            DB_NO_VALIDATE);
    }
  };
  host_show_sign(state_folder + "/" + HOST_SIGN_PICTURE);

  monitor::monitor_config mon;
  mon.state_folder = state_folder;
  mon.on_restart = exit_on_restart ? monitor::restart_action::exit : monitor::restart_action::exec;
  mon.argv = argv;
  mon.before_restart = host_restore_terminal;
  // The board's watchdog runs in real time, whatever the kernel's ticks do.
  mon.watchdog_host_clock = true;
  monitor::reset(mon);
  if (g_bench.ethernet_wire && !start_wire()) {
    // The devices' and the watchdog's threads end before what they serve
    // goes at exit.
    g_bench_devices.reset();
    monitor::shutdown();
    return false;
  }
  return true;
}

void host_restore_terminal() {
  if (g_terminal_saved) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_terminal);
}

void host_show_sign(const std::string& path) {
  g_sign_picture.SetFile(path);
  // Each frame the display hardware decoded, in the display task's thread;
  // the picture is written by a thread of its own.
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

CSignPicture& host_sign_picture() { return g_sign_picture; }
