// The bench around the running controller: the state folder's "bench.conf"
// says what hardware the program has — the sign and the modules that
// answer for it, the front-panel unit, a UPS on AUX, CAN field boards, and
// the host end of every serial channel. Without the file the bench is the
// default one (see bench_config).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board_host.h"

constexpr const char* HOST_BENCH_FILE = "bench.conf";

// Board serial ports of the channels the file names (port 1 is the
// console, always the program's terminal).
enum bench_channel : unsigned { BENCH_CCP = 0, BENCH_AUX = 2, BENCH_MODEM = 3, BENCH_PANEL = 4, BENCH_LAPTOP = 5 };

struct bench_can_board {
  uint32_t address = 0;
  std::string kind;    // temperature, humidity, light, fan, io, isolation (volts in tenths) or acio
  int reading = 0;     // what a sensor reads (degrees, percent, ...)
  bool panel = false;  // cabled to the panel unit's CAN port (sensor bus C)
};

// A switch wired to an input point (24..63) of an io or acio board: on is
// the contact closed (the point reads 0), off open (it reads 1).
struct bench_switch {
  uint32_t address = 0;
  uint32_t point = 0;
  bool on = false;
};

struct bench_config {
  // The sign: a module type of the table and the size in pixels. With
  // `factory` the stored sign is kept (a first start: the factory's 7 x 25
  // line-matrix sign) and modules answer for that.
  bool factory_sign = false;
  uint16_t module_type = 97;  // 16 x 16 full colour
  uint16_t height = 32;
  uint16_t width = 112;
  bool modules = true;  // the module line and distribution board answer
  bool panel = true;    // the front-panel unit on the panel line
  // The telnet console among the board's features (it ships without).
  bool telnet = false;
  // A trap manager on the bench (0: none set): the Ethernet link's traps,
  // cold and warm starts among them, go to this address and port.
  uint32_t trap_address = 0;
  uint16_t trap_port = 0;
  enum class ups_kind { none, status_byte, colon, q1 } ups = ups_kind::none;
  // A modem: a dial-up one on the MODEM line (an external modem record, the
  // port on PPP; its calls come from and go to loopback TCP), or a cellular
  // one's AT command port on loopback (the feature that starts its task).
  enum class modem_kind { none, dialup, cellular } modem = modem_kind::none;
  uint16_t modem_tcp_port = 0;  // dial-up: calls come in here (0: ephemeral)
  // A speed radar on AUX that sees one vehicle a second at this speed.
  bool radar = false;
  uint16_t radar_speed = 0;
  std::vector<bench_can_board> can_boards;
  std::vector<bench_switch> switches;
  // The Ethernet: the main instance on host sockets (the default), or
  // frames through the MAC model and its driver to the far end of a
  // simulated wire, which forwards the SNMP port from 127.0.0.1.
  bool ethernet_wire = false;
  // Host ends by board port; the console's entry is unused.
  board::serial_end serial[6];
};

// Reads the file's text over the defaults; false with "line N: reason" on
// the first bad line.
bool bench_parse(const std::string& text, bench_config* out, std::string* error);

// The simulated devices of a bench, attached to the board (which must be
// up) until destroyed; the serial devices are served by a host thread of
// their own.
class bench_devices {
 public:
  explicit bench_devices(const bench_config& config);
  ~bench_devices();
  bench_devices(const bench_devices&) = delete;
  bench_devices& operator=(const bench_devices&) = delete;

  // The module line's set-up for a sign of this module type (line = module
  // row, positions = modules across).
  struct layout {
    unsigned rows = 0;
    unsigned across = 0;
  };
  static layout sign_layout(uint16_t module_type, uint16_t height, uint16_t width);
  // Answer for a sign of this type and size (replaces the modules).
  void answer_for_sign(uint16_t module_type, uint16_t height, uint16_t width);
  // The loopback port of the modem: where dial-up calls come in, or the
  // cellular modem's command port. 0 without a modem.
  uint16_t modem_port() const;

  // ---- switches and outputs of the I/O boards while the program runs
  // Takes the switch lines of a bench file's text (the rest of it waits for
  // the next start): a point no line names any more is open again. False
  // with the reason when the text is refused; nothing changes then. What
  // changed is announced on standard output.
  bool set_switches(const std::string& text, std::string* error);
  // The I/O boards' output points that changed since the last call, one
  // "bench: <address> output <point> on|off" line each (on: the controller
  // drives the point to 1).
  std::string output_changes();
  // Watches the bench file: each time it is saved its switch lines are
  // taken, and output changes are printed.
  void watch(const std::string& path);

 private:
  struct impl;
  std::unique_ptr<impl> m;
  uint16_t m_modem_port = 0;
};

// What the file configures in the database at a start whose stored sign
// differs from the bench's (called with the database up, before the
// display reads it). Nothing for a factory bench.
void bench_configure(const bench_config& config);
