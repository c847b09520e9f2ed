#include "frame/startup/bench.h"

#include <arpa/inet.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "database/database.h"
#include "database/objects.h"
#include "display/driver/module_type.h"
#include "net_host.h"
#include "peripherals/pl_iterator.h"
#include "sim/can/field_board.h"
#include "sim/modem/cell_modem.h"
#include "sim/modem/hayes_modem.h"
#include "sim/serial/speed_radar.h"
#include "sim/modules/module_line.h"
#include "sim/panel/front_panel.h"
#include "sim/ups/ups_unit.h"

namespace {

bool number(const std::string& word, unsigned long max, unsigned long* out) {
  if (word.empty()) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(word.c_str(), &end, 0);
  if (*end || v > max) return false;
  *out = v;
  return true;
}

bool on_off(const std::string& word, bool* out) {
  if (word == "on" || word == "yes") return *out = true, true;
  if (word == "off" || word == "no") return *out = false, true;
  return false;
}

int channel_port(const std::string& name) {
  if (name == "ccp") return BENCH_CCP;
  if (name == "aux") return BENCH_AUX;
  if (name == "modem") return BENCH_MODEM;
  if (name == "panel") return BENCH_PANEL;
  if (name == "laptop") return BENCH_LAPTOP;
  return -1;
}

// Reading bytes 1..7 of a sensor board: one signed byte, or a word.
std::vector<uint8_t> sensor_reading(const bench_can_board& b) {
  if (b.kind == "temperature") return {0x01, 0x01, static_cast<uint8_t>(static_cast<int8_t>(b.reading))};
  const uint16_t v = static_cast<uint16_t>(b.reading);
  return {0x01, 0x01, static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
          static_cast<uint8_t>(v)};
}

// The peripheral types a technician gives a CAN board of each kind (the
// first one no record uses yet), the settings after its address, and which
// of them (counting from 1) names the bus.
struct can_kind_record {
  const char* kind;
  uint16_t types[5];
  const char* settings;
  unsigned bus_field;
};
const can_kind_record kCanRecords[] = {
    {"temperature", {13, 14, 15, 12, 11}, ",0,0", 1},
    {"humidity", {631, 633, 634, 630, 632}, ",0,0", 1},
    {"light", {1, 2, 3}, ",0,0", 1},
    {"fan", {730, 731, 732, 733, 734}, ",0", 1},
    {"io", {52, 53, 54, 51}, ",F0,FF,F0,FF,0,0", 5},
    {"isolation", {794, 795, 796, 797, 798}, ",0,0", 1},
    {"acio", {490}, ",F0,FF,F0,F0,0,0", 5},
};

// The settings of a board's record; one on the panel's CAN port names
// sensor bus C.
std::string record_settings(const can_kind_record& k, bool panel) {
  std::string s = k.settings;
  if (!panel) return s;
  size_t at = std::string::npos;
  for (unsigned n = 0; n < k.bus_field; ++n) {
    at = s.find(',', at == std::string::npos ? 0 : at + 1);
    if (at == std::string::npos) return s;
  }
  const size_t end = s.find(',', at + 1);
  s.replace(at + 1, (end == std::string::npos ? s.size() : end) - at - 1, "4");
  return s;
}

// The input points of the boards' records: ports 3 and 5 of an io board,
// 3, 5 and 6 of an acio board (F0 above). Nothing is wired to them at
// first, so they read open.
std::vector<uint32_t> input_points(const std::string& kind) {
  std::vector<uint32_t> points;
  for (uint32_t port : {3u, 5u, 6u})
    if (port != 6 || kind == "acio")
      for (uint32_t bit = 0; bit < 8; ++bit) points.push_back(port * 8 + bit);
  return points;
}

bool is_io(const std::string& kind) { return kind == "io" || kind == "acio"; }

// A record for each CAN board that has none (none whose parameters start
// with the board's address), in a free slot, so the boards are loaded as
// peripherals at start as a technician's records would have them.
void write_can_records(CDataBase& db, const std::vector<bench_can_board>& boards) {
  uint8_t* nv = db.mib_nv;
  std::vector<uint16_t> types(PL_SLOTS);
  std::vector<uint32_t> addresses(PL_SLOTS);
  for (uint32_t slot = 0; slot < PL_SLOTS; ++slot) {
    const db_object id = nv::quorPeripheralID(slot), parameters = nv::quorPeripheralParameters(slot);
    types[slot] = static_cast<uint16_t>(db.GetValue(id.offset, id.width, nv, 0));
    uint32_t length = 0;
    const uint8_t* text = db.GetString(parameters.offset, parameters.width, nv, &length);
    if (types[slot] && text)
      addresses[slot] = static_cast<uint32_t>(
          std::strtoul(std::string(reinterpret_cast<const char*>(text), length).c_str(), nullptr, 16));
  }
  for (const bench_can_board& b : boards) {
    bool recorded = false;
    for (uint32_t slot = 0; slot < PL_SLOTS; ++slot)
      recorded = recorded || (types[slot] && addresses[slot] == b.address);
    if (recorded) continue;
    const can_kind_record* kind = nullptr;
    for (const can_kind_record& k : kCanRecords)
      if (b.kind == k.kind) kind = &k;
    if (!kind) continue;
    uint16_t type = 0;
    for (uint16_t t : kind->types)
      if (t && !type && std::find(types.begin(), types.end(), t) == types.end()) type = t;
    const auto free_slot = std::find(types.begin(), types.end(), 0);
    if (!type || free_slot == types.end()) {
      std::fprintf(stderr, "bench: no peripheral record left for the %s board at 0x%X\n", b.kind.c_str(), b.address);
      continue;
    }
    const uint32_t slot = static_cast<uint32_t>(free_slot - types.begin());
    char text[40];
    std::snprintf(text, sizeof text, "%X%s", b.address, record_settings(*kind, b.panel).c_str());
    const db_object id = nv::quorPeripheralID(slot), parameters = nv::quorPeripheralParameters(slot);
    db.SetValue(id.offset, id.width, type, nv, DB_NO_VALIDATE);
    db.SetString(parameters.offset, parameters.width, text, static_cast<uint32_t>(std::strlen(text)), nv,
                 DB_NO_VALIDATE);
    types[slot] = type;
    addresses[slot] = b.address;
  }
}

}  // namespace

bool bench_parse(const std::string& text, bench_config* out, std::string* error) {
  bench_config c = *out;
  std::istringstream lines(text);
  std::string line;
  for (int n = 1; std::getline(lines, line); ++n) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string s; words >> s;) w.push_back(s);
    if (w.empty()) continue;
    auto fail = [&](const std::string& why) {
      if (error) *error = "line " + std::to_string(n) + ": " + why;
      return false;
    };
    unsigned long a = 0, b = 0, d = 0;
    if (w[0] == "sign") {
      if (w.size() == 2 && w[1] == "factory") {
        c.factory_sign = true;
      } else if (w.size() == 4 && number(w[1], 0xFFFF, &a) && number(w[2], 9 * 16, &b) && number(w[3], 2000, &d) &&
                 b && d) {
        const module_type_row* row = find_module_type(g_builtin_module_types, BUILTIN_MODULE_TYPE_COUNT, a);
        if (row == &g_default_module_type) return fail("module type " + w[1] + " is not in the table");
        if (b % row->height || d % row->width)
          return fail("a sign of " + std::string(row->name) + " modules is a whole number of " +
                      std::to_string(row->height) + " x " + std::to_string(row->width) + " modules");
        c.factory_sign = false;
        c.module_type = static_cast<uint16_t>(a);
        c.height = static_cast<uint16_t>(b);
        c.width = static_cast<uint16_t>(d);
      } else {
        return fail("sign <module type> <height> <width>, or sign factory");
      }
    } else if (w[0] == "modules" || w[0] == "panel" || w[0] == "telnet") {
      bool on = false;
      if (w.size() != 2 || !on_off(w[1], &on)) return fail(w[0] + " on|off");
      (w[0] == "modules" ? c.modules : w[0] == "panel" ? c.panel : c.telnet) = on;
    } else if (w[0] == "ups") {
      using k = bench_config::ups_kind;
      if (w.size() != 2) return fail("ups off|status|colon|q1");
      if (w[1] == "off") c.ups = k::none;
      else if (w[1] == "status") c.ups = k::status_byte;
      else if (w[1] == "colon") c.ups = k::colon;
      else if (w[1] == "q1") c.ups = k::q1;
      else return fail("ups off|status|colon|q1");
    } else if (w[0] == "modem") {
      using k = bench_config::modem_kind;
      const char* usage = "modem off|dialup [tcp:<port>]|cellular";
      if (w.size() < 2 || w.size() > 3) return fail(usage);
      c.modem_tcp_port = 0;
      if (w[1] == "off" && w.size() == 2) c.modem = k::none;
      else if (w[1] == "cellular" && w.size() == 2) c.modem = k::cellular;
      else if (w[1] == "dialup") c.modem = k::dialup;
      else return fail(usage);
      if (w.size() == 3) {
        if (c.modem != k::dialup || w[2].rfind("tcp:", 0) != 0 || !number(w[2].substr(4), 65535, &a) || a < 1024)
          return fail(usage);
        c.modem_tcp_port = static_cast<uint16_t>(a);
      }
    } else if (w[0] == "can") {
      static const char* const kinds[] = {"temperature", "humidity", "light", "fan", "io", "isolation", "acio"};
      bool known = false;
      for (const char* k : kinds) known = known || (w.size() >= 3 && w[2] == k);
      const bool panel = w.size() >= 4 && w.back() == "panel";
      if (panel) w.pop_back();
      long reading = 0;
      if (w.size() == 4) {
        char* end = nullptr;
        reading = std::strtol(w[3].c_str(), &end, 0);
        if (*end || reading < -128 || reading > 65535) return fail("reading " + w[3] + " out of range");
      }
      if (w.size() < 3 || w.size() > 4 || !number(w[1], 0x1FFFFFFF, &a) || !known)
        return fail("can <address> temperature|humidity|light|fan|io|isolation|acio [reading] [panel]");
      c.can_boards.push_back({static_cast<uint32_t>(a), w[2], static_cast<int>(reading), panel});
    } else if (w[0] == "switch") {
      bool on = false;
      if (w.size() != 4 || !number(w[1], 0x1FFFFFFF, &a) || !number(w[2], 63, &b) || b < 24 || !on_off(w[3], &on))
        return fail("switch <address> <point 24..63> on|off");
      c.switches.push_back({static_cast<uint32_t>(a), static_cast<uint32_t>(b), on});
    } else if (w[0] == "radar") {
      // A speed radar on AUX reporting one speed every second.
      if (w.size() != 2) return fail("radar off|<speed>");
      if (w[1] == "off") {
        c.radar = false;
      } else {
        if (!number(w[1], 999, &a)) return fail("radar off|<speed 0..999>");
        c.radar = true;
        c.radar_speed = static_cast<uint16_t>(a);
      }
    } else if (w[0] == "traps") {
      const size_t colon = w.size() == 2 ? w[1].find(':') : std::string::npos;
      in_addr a4{};
      if (colon == std::string::npos || inet_pton(AF_INET, w[1].substr(0, colon).c_str(), &a4) != 1 ||
          !number(w[1].substr(colon + 1), 65535, &a) || !a)
        return fail("traps <address>:<port>");
      c.trap_address = ntohl(a4.s_addr);
      c.trap_port = static_cast<uint16_t>(a);
    } else if (w[0] == "ethernet") {
      if (w.size() != 2 || (w[1] != "wire" && w[1] != "sockets")) return fail("ethernet wire|sockets");
      c.ethernet_wire = w[1] == "wire";
    } else if (w[0] == "serial") {
      const int port = w.size() == 3 ? channel_port(w[1]) : -1;
      board::serial_end end;
      if (port < 0) return fail("serial ccp|aux|modem|panel|laptop <end>");
      std::string kind = w[2] == "memory" ? "pipe" : w[2];
      if (kind == "stdio" || kind == "pipe:" || !board::parse_serial_end(kind, &end))
        return fail("host end " + w[2] + ": memory, pty, pty:<link>, tcp, tcp:<port> or none");
      if (end.kind == board::serial_kind::tcp && end.tcp_port && end.tcp_port < 1024)
        return fail("tcp port " + std::to_string(end.tcp_port) + " needs privileges: take one from 1024 up");
      c.serial[port] = end;
    } else {
      return fail("unknown setting \"" + w[0] + "\"");
    }
  }
  for (const bench_can_board& b : c.can_boards)
    if (b.panel && !c.panel) {
      if (error) *error = "a board on the panel's CAN port needs the panel unit: \"panel on\"";
      return false;
    }
  for (const bench_switch& sw : c.switches) {
    bool io = false;
    for (const bench_can_board& b : c.can_boards) io = io || (b.address == sw.address && is_io(b.kind));
    if (!io) {
      char text[80];
      std::snprintf(text, sizeof text, "switch at 0x%X: no io or acio board there", sw.address);
      if (error) *error = text;
      return false;
    }
  }
  // The simulated units talk through the in-memory end of their line.
  if (c.panel && c.serial[BENCH_PANEL].kind != board::serial_kind::pipe) {
    if (error) *error = "the panel unit sits on the panel line: give the line another end with \"panel off\"";
    return false;
  }
  if (c.radar && c.ups != bench_config::ups_kind::none) {
    if (error) *error = "the UPS and the radar both sit on AUX: keep one";
    return false;
  }
  if (c.radar && c.serial[BENCH_AUX].kind != board::serial_kind::pipe) {
    if (error) *error = "the radar sits on AUX: give AUX another end with \"radar off\"";
    return false;
  }
  if (c.ups != bench_config::ups_kind::none && c.serial[BENCH_AUX].kind != board::serial_kind::pipe) {
    if (error) *error = "the UPS sits on AUX: give AUX another end with \"ups off\"";
    return false;
  }
  if (c.modem == bench_config::modem_kind::dialup && c.serial[BENCH_MODEM].kind != board::serial_kind::pipe) {
    if (error) *error = "the dial-up modem sits on the MODEM line: give the line another end with \"modem off\"";
    return false;
  }
  *out = c;
  return true;
}

// ------------------------------------------------------------------ devices

struct bench_devices::impl {
  std::unique_ptr<sim::module_line> modules;
  std::unique_ptr<sim::front_panel> panel;
  std::unique_ptr<sim::ups_unit> ups;
  std::unique_ptr<sim::hayes_modem> dialup;
  std::unique_ptr<sim::cell_modem> cellular;
  std::unique_ptr<sim::speed_radar> radar;
  std::vector<std::unique_ptr<sim::field_board>> boards;
  std::atomic<bool> stop{false};
  std::thread serial_thread;
  // The I/O boards' switches as last set, and their outputs as last seen.
  std::mutex io_lock;
  std::vector<bench_switch> switches;
  std::vector<std::array<uint8_t, 8>> outputs;
  std::thread watch_thread;
  int watch_stop = -1;  // eventfd: ends the watch thread's wait

  sim::field_board* io_board(uint32_t address) {
    for (auto& b : boards)
      if (b->address() == address && b->is_io()) return b.get();
    return nullptr;
  }
};

bench_devices::layout bench_devices::sign_layout(uint16_t module_type, uint16_t height, uint16_t width) {
  const module_type_row* row = find_module_type(g_builtin_module_types, BUILTIN_MODULE_TYPE_COUNT, module_type);
  layout l;
  l.rows = row->height ? height / row->height : 0;
  l.across = row->width ? width / row->width : 0;
  if (l.rows > sim::module_line::LINES) l.rows = sim::module_line::LINES;
  return l;
}

bench_devices::bench_devices(const bench_config& config) : m(std::make_unique<impl>()) {
  if (config.modules) {
    m->modules = std::make_unique<sim::module_line>();
    // The factory sign: 7 x 25 of 7 x 5 modules.
    if (config.factory_sign)
      answer_for_sign(21, 7, 25);
    else
      answer_for_sign(config.module_type, config.height, config.width);
  }
  if (config.panel) {
    m->panel = std::make_unique<sim::front_panel>();
    m->panel->attach(&board::serial(BENCH_PANEL));
    // Boards cabled to its CAN port are on sensor bus C.
    m->panel->plug_can(&board::panel_can_wire());
  }
  using k = bench_config::ups_kind;
  if (config.ups != k::none) {
    const sim::ups_unit::dialect d = config.ups == k::status_byte ? sim::ups_unit::dialect::status_byte
                                     : config.ups == k::colon     ? sim::ups_unit::dialect::colon_command
                                                                  : sim::ups_unit::dialect::q1_line;
    m->ups = std::make_unique<sim::ups_unit>(d);
    m->ups->attach(&board::serial(BENCH_AUX));
  }
  if (config.modem == bench_config::modem_kind::dialup) {
    m->dialup = std::make_unique<sim::hayes_modem>();
    m->dialup->connect_line(&board::serial(BENCH_MODEM));
    m_modem_port = m->dialup->listen_tcp(config.modem_tcp_port);
  } else if (config.modem == bench_config::modem_kind::cellular) {
    // The modem's address on the controller's network leads to its port here.
    constexpr uint32_t kModemAddress = IP_ADDRESS(192, 168, 13, 31);
    constexpr uint16_t kCommandPort = 2332;
    m->cellular = std::make_unique<sim::cell_modem>();
    m_modem_port = m->cellular->port();
    net_host_config net = net_host_current_config();
    net_peer_map peer;
    peer.address = kModemAddress;
    peer.port = kCommandPort;
    peer.host_port = m_modem_port;
    net.peers.push_back(peer);
    net_host_configure(net);
  }
  for (const bench_can_board& b : config.can_boards) {
    const bool io = is_io(b.kind);
    auto fb = std::make_unique<sim::field_board>(b.panel ? board::panel_can_wire() : board::q5_wire(), b.address,
                                                 0x0005, io);
    fb->set_ac(b.kind == "acio");
    if (!io) fb->set_reading(sensor_reading(b));
    if (io)
      for (uint32_t point : input_points(b.kind)) fb->set_input(point, true);
    m->boards.push_back(std::move(fb));
  }
  m->outputs.resize(m->boards.size());
  for (const bench_switch& sw : config.switches)
    if (sim::field_board* fb = m->io_board(sw.address)) fb->set_input(sw.point, !sw.on);
  m->switches = config.switches;
  if (config.radar) {
    m->radar = std::make_unique<sim::speed_radar>(config.radar_speed, std::chrono::seconds(1));
    m->radar->attach(&board::serial(BENCH_AUX));
  }
  if (m->panel || m->ups || m->dialup || m->radar) {
    // As a pty or TCP end does: the line is served in a host thread. The
    // lines keep up with the controller's writes on their own, so the
    // devices are served as a slow device answers: every 20 ms while they
    // talk, and less often, down to every 200 ms, while they only listen
    // (the panel takes a refresh each tick and says nothing). An idle bench
    // then costs next to nothing.
    if (m->panel) board::serial(BENCH_PANEL).keep_up();
    if (m->ups || m->radar) board::serial(BENCH_AUX).keep_up();
    if (m->dialup) board::serial(BENCH_MODEM).keep_up();
    m->serial_thread = std::thread([this] {
      using std::chrono::milliseconds;
      constexpr milliseconds kTalking(20), kListening(200);
      milliseconds period = kTalking;
      auto next = std::chrono::steady_clock::now();
      while (!m->stop.load()) {
        uint64_t said = 0;
        for (sim::serial_device* d : {static_cast<sim::serial_device*>(m->panel.get()),
                                      static_cast<sim::serial_device*>(m->ups.get()),
                                      static_cast<sim::serial_device*>(m->dialup.get()),
                                      static_cast<sim::serial_device*>(m->radar.get())})
          if (d) {
            const uint64_t before = d->sent_total();
            d->pump();
            said += d->sent_total() - before;
          }
        if (m->dialup) said += m->dialup->serve_tcp();
        period = said ? kTalking : std::min(period * 2, kListening);
        next += period;
        const auto now = std::chrono::steady_clock::now();
        if (next < now) next = now;
        std::this_thread::sleep_until(next);
      }
    });
  }
}

uint16_t bench_devices::modem_port() const { return m_modem_port; }

bench_devices::~bench_devices() {
  m->stop.store(true);
  if (m->watch_stop >= 0) {
    const uint64_t one = 1;
    (void)!::write(m->watch_stop, &one, sizeof one);
  }
  if (m->serial_thread.joinable()) m->serial_thread.join();
  if (m->watch_thread.joinable()) m->watch_thread.join();
  if (m->watch_stop >= 0) ::close(m->watch_stop);
}

bool bench_devices::set_switches(const std::string& text, std::string* error) {
  bench_config c;
  if (!bench_parse(text, &c, error)) return false;
  for (const bench_switch& sw : c.switches)
    if (!m->io_board(sw.address)) {
      char why[96];
      std::snprintf(why, sizeof why, "switch at 0x%X: the board came after the start; restart for it", sw.address);
      if (error) *error = why;
      return false;
    }
  std::lock_guard<std::mutex> lk(m->io_lock);
  auto same_point = [](const bench_switch& a, const bench_switch& b) {
    return a.address == b.address && a.point == b.point;
  };
  // A point no line names any more is open again.
  std::vector<bench_switch> next = c.switches;
  for (const bench_switch& old : m->switches) {
    bool named = false;
    for (const bench_switch& sw : next) named = named || same_point(sw, old);
    if (!named && old.on) next.push_back({old.address, old.point, false});
  }
  for (const bench_switch& sw : next) {
    sim::field_board* fb = m->io_board(sw.address);
    const bool was_on = !((fb->input_port(sw.point / 8) >> (sw.point % 8)) & 1);
    fb->set_input(sw.point, !sw.on);
    if (was_on != sw.on)
      std::printf("bench: switch 0x%X %u %s\n", sw.address, sw.point, sw.on ? "on" : "off");
  }
  std::fflush(stdout);
  m->switches = c.switches;
  return true;
}

std::string bench_devices::output_changes() {
  std::lock_guard<std::mutex> lk(m->io_lock);
  std::string out;
  for (size_t i = 0; i < m->boards.size(); ++i) {
    const sim::field_board& fb = *m->boards[i];
    if (!fb.is_io()) continue;
    for (uint32_t port = 3; port < 8; ++port) {
      const uint8_t now = fb.output_port(port), before = m->outputs[i][port];
      for (uint32_t bit = 0; bit < 8; ++bit) {
        if (((now ^ before) >> bit & 1) == 0) continue;
        char line[64];
        std::snprintf(line, sizeof line, "bench: 0x%X output %u %s\n", fb.address(), port * 8 + bit,
                      (now >> bit & 1) ? "on" : "off");
        out += line;
      }
      m->outputs[i][port] = now;
    }
  }
  return out;
}

void bench_devices::watch(const std::string& path) {
  if (m->watch_thread.joinable()) return;
  m->watch_stop = eventfd(0, EFD_CLOEXEC);
  m->watch_thread = std::thread([this, path] {
    // The folder is watched for the file's writes and replacements; the I/O
    // boards' outputs are looked at every 200 ms when there are any. With
    // neither, the thread sleeps until the file changes.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const int notes = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notes >= 0) inotify_add_watch(notes, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE);
    bool io = false;
    for (const auto& b : m->boards) io = io || b->is_io();
    const int wait_ms = io || notes < 0 || m->watch_stop < 0 ? 200 : -1;
    struct stat last {};
    stat(path.c_str(), &last);
    while (!m->stop.load()) {
      pollfd fds[2] = {{m->watch_stop, POLLIN, 0}, {notes, POLLIN, 0}};
      if (poll(fds, notes >= 0 ? 2 : 1, wait_ms) < 0 && errno != EINTR) break;
      if (m->stop.load()) break;
      // Other files of the folder change too (the clock's every second):
      // only the bench file's own events are worth a look.
      bool named = wait_ms > 0;
      if (notes >= 0 && (fds[1].revents & POLLIN)) {
        alignas(inotify_event) char events[4096];
        ssize_t got;
        while ((got = read(notes, events, sizeof events)) > 0)
          for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            if ((e->mask & IN_Q_OVERFLOW) || (e->len && name == e->name)) named = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
          }
      }
      if (!named) continue;
      struct stat now {};
      const bool there = stat(path.c_str(), &now) == 0;
      if (there && (now.st_mtim.tv_sec != last.st_mtim.tv_sec || now.st_mtim.tv_nsec != last.st_mtim.tv_nsec ||
                    now.st_size != last.st_size)) {
        last = now;
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        std::string error;
        if (!set_switches(text.str(), &error))
          std::fprintf(stderr, "bench: %s: %s; the switches stay as they were\n", path.c_str(), error.c_str());
      }
      const std::string changes = output_changes();
      if (!changes.empty()) {
        std::fputs(changes.c_str(), stdout);
        std::fflush(stdout);
      }
    }
    if (notes >= 0) ::close(notes);
  });
}

void bench_devices::answer_for_sign(uint16_t module_type, uint16_t height, uint16_t width) {
  if (!m->modules) return;
  const module_type_row* row = find_module_type(g_builtin_module_types, BUILTIN_MODULE_TYPE_COUNT, module_type);
  const layout l = sign_layout(module_type, height, width);
  sim::module_line::module_setup setup;
  setup.type = module_type;
  setup.depth = row->colour_type;
  // Modules of this generation take the quick pixel test.
  setup.quick_test = true;
  for (unsigned line = 0; line < l.rows; ++line) m->modules->add_modules(line, l.across, setup);
}

void bench_configure(const bench_config& config) {
  CDataBase& db = *g_pDataBase;
  uint8_t* nv = db.mib_nv;
  auto get = [&](const db_object& o) { return db.GetValue(o.offset, o.width, nv, 0); };
  auto set = [&](const db_object& o, uint32_t v) { db.SetValue(o.offset, o.width, v, nv, DB_NO_VALIDATE); };
  constexpr uint32_t kFeatureTelnet = 0x8;
  const uint32_t features = get(nv::quorFeatureSet);
  constexpr uint32_t kFeatureCellModem = 0x20;
  uint32_t f = config.telnet ? features | kFeatureTelnet : features & ~kFeatureTelnet;
  f = config.modem == bench_config::modem_kind::cellular ? f | kFeatureCellModem : f & ~kFeatureCellModem;
  set(nv::quorFeatureSet, f);
  if (config.modem == bench_config::modem_kind::dialup) {
    // An external modem record for the MODEM port, which speaks PPP.
    constexpr uint16_t kExternalModem = 620;
    constexpr uint32_t kModemIndex = 2, kSlots = 255, kPpp = 4;
    int slot = -1;
    for (uint32_t s = 0; s < kSlots && slot < 0; ++s)
      if (get(nv::quorPeripheralID(s)) == kExternalModem) slot = static_cast<int>(s);
    for (uint32_t s = 0; s < kSlots && slot < 0; ++s)
      if (get(nv::quorPeripheralID(s)) == 0) slot = static_cast<int>(s);
    if (slot >= 0) {
      set(nv::quorPeripheralID(static_cast<uint32_t>(slot)), kExternalModem);
      db.SetString(nv::quorPeripheralParameters(static_cast<uint32_t>(slot)).offset, 4, "3", 1, nv, DB_NO_VALIDATE);
    }
    set(nv::quorCommConfigProtocol(kModemIndex), kPpp);
  }
  if (config.trap_port) {
    // The Ethernet link (comm port 4) sends its traps over UDP, the start
    // traps among them.
    constexpr uint32_t kEthernet = 4, kTrapsUdp = 3, kProtocolUdp = 11, kStartTraps = 0x43;
    set(nv::quorRemoteIPAddress, config.trap_address);
    set(nv::quorRemoteIPPort, config.trap_port);
    set(nv::quorCommConfigTraps(kEthernet), kTrapsUdp);
    set(nv::quorCommConfigProtocol(kEthernet), kProtocolUdp);
    set(nv::quorTrapsGeneric, get(nv::quorTrapsGeneric) | kStartTraps);
  }
  write_can_records(db, config.can_boards);
  if (config.factory_sign) return;
  if (get(nv::quorModuleID) == config.module_type && get(nv::vmsSignHeightPixels) == config.height &&
      get(nv::vmsSignWidthPixels) == config.width)
    return;
  const module_type_row* row = find_module_type(g_builtin_module_types, BUILTIN_MODULE_TYPE_COUNT, config.module_type);
  // As a technician sets a new sign up: a full matrix of these modules, in
  // its colours.
  set(nv::dmsSignType, 6);
  set(nv::quorModuleID, config.module_type);
  set(nv::vmsSignHeightPixels, config.height);
  set(nv::vmsSignWidthPixels, config.width);
  set(nv::vmsCharacterHeightPixels, 0);
  set(nv::vmsCharacterWidthPixels, 0);
  if (row->colour_type == 3) {
    static const uint8_t kBackground[3] = {0, 0, 0}, kForeground[3] = {255, 180, 0};
    set(nv::dmsColorScheme, 4);
    db.SetString(nv::defaultBackgroundRGB.offset, 4, reinterpret_cast<const char*>(kBackground), 3, nv,
                 DB_NO_VALIDATE);
    db.SetString(nv::defaultForegroundRGB.offset, 4, reinterpret_cast<const char*>(kForeground), 3, nv,
                 DB_NO_VALIDATE);
  } else {
    static const uint8_t kBackground = 0, kForeground = 9;
    set(nv::dmsColorScheme, 3);
    db.SetString(nv::defaultBackgroundRGB.offset, 4, reinterpret_cast<const char*>(&kBackground), 1, nv,
                 DB_NO_VALIDATE);
    db.SetString(nv::defaultForegroundRGB.offset, 4, reinterpret_cast<const char*>(&kForeground), 1, nv,
                 DB_NO_VALIDATE);
  }
  // Every row as long as the sign.
  for (unsigned i = 0; i < 9; ++i) set(nv::quorLineLength(i), 0);
}
