// The host configuration: which host port carries each controller port, and
// which loopback address and port stand for each outside peer.
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <unistd.h>
#include <sys/socket.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>

#include "nx_internal.h"

namespace nx_impl {

namespace {

std::mutex g_config_mutex;

net_host_config& current() {
  static auto* c = new net_host_config;
  return *c;
}

bool parse_address(const std::string& text, ULONG* out) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  *out = ntohl(a.s_addr);
  return true;
}

bool parse_port(const std::string& text, UINT* out, bool allow_zero) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  unsigned long v = std::strtoul(text.c_str(), nullptr, 10);
  if (v > 65535 || (!allow_zero && v == 0)) return false;
  *out = static_cast<UINT>(v);
  return true;
}

// "a.b.c.d" or "a.b.c.d:port".
bool parse_endpoint(const std::string& text, ULONG* address, UINT* port) {
  auto colon = text.find(':');
  *port = 0;
  if (colon == std::string::npos) return parse_address(text, address);
  return parse_address(text.substr(0, colon), address) && parse_port(text.substr(colon + 1), port, false);
}

}  // namespace

ULONG config_listen_address() {
  std::lock_guard<std::mutex> lk(g_config_mutex);
  return current().listen_address;
}

uint16_t config_host_port(UINT port) {
  std::lock_guard<std::mutex> lk(g_config_mutex);
  const net_host_config& c = current();
  for (const net_port_map& m : c.ports)
    if (m.port == port) return m.host_port;
  if (c.ephemeral || port >= kFirstClientPort) return 0;
  ULONG mapped = static_cast<ULONG>(port) + c.port_offset;
  return mapped > 65535 ? 0 : static_cast<uint16_t>(mapped);
}

bool config_peer(ULONG address, UINT port, host_target* out) {
  std::lock_guard<std::mutex> lk(g_config_mutex);
  const net_peer_map* any = nullptr;
  for (const net_peer_map& m : current().peers) {
    if (m.address != address) continue;
    if (m.port == port) {
      out->address = m.host_address;
      out->port = static_cast<uint16_t>(m.host_port ? m.host_port : port);
      return true;
    }
    if (m.port == 0 && !any) any = &m;
  }
  if (!any) return false;
  out->address = any->host_address;
  out->port = static_cast<uint16_t>(any->host_port ? any->host_port : port);
  return true;
}

bool config_reverse(ULONG host_address, uint16_t host_port, ULONG* address, UINT* port) {
  std::lock_guard<std::mutex> lk(g_config_mutex);
  const net_peer_map* any = nullptr;
  for (const net_peer_map& m : current().peers) {
    if (m.host_address != host_address) continue;
    if (m.port != 0) {
      if ((m.host_port ? m.host_port : m.port) == host_port) {
        *address = m.address;
        *port = m.port;
        return true;
      }
    } else if (!m.host_port && !any) {
      any = &m;
    }
  }
  if (!any) return false;
  *address = any->address;
  *port = host_port;
  return true;
}

}  // namespace nx_impl

using namespace nx_impl;

bool net_host_configure(const net_host_config& config, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (!is_loopback(config.listen_address))
    return fail("listen address " + address_text(config.listen_address) + " is not a loopback address");
  for (const net_peer_map& m : config.peers)
    if (!is_loopback(m.host_address))
      return fail("peer " + address_text(m.address) + " maps to " + address_text(m.host_address) +
                  ", not a loopback address");
  for (const net_port_map& m : config.ports)
    if (m.port == 0 || m.port > 65535) return fail("port " + std::to_string(m.port) + " out of range");
  std::lock_guard<std::mutex> lk(g_config_mutex);
  current() = config;
  return true;
}

net_host_config net_host_current_config() {
  std::lock_guard<std::mutex> lk(g_config_mutex);
  return current();
}

bool net_host_parse_config(const std::string& text, net_host_config* config, std::string* error) {
  net_host_config c;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(number) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string s; words >> s;) w.push_back(s);
    if (w.empty()) continue;
    if (w[0] == "listen" && w.size() == 2) {
      if (!parse_address(w[1], &c.listen_address)) return fail("bad address '" + w[1] + "'");
      if (!is_loopback(c.listen_address)) return fail(w[1] + " is not a loopback address");
    } else if (w[0] == "offset" && w.size() == 2) {
      UINT v;
      if (!parse_port(w[1], &v, true)) return fail("bad offset '" + w[1] + "'");
      c.port_offset = v;
    } else if (w[0] == "ephemeral" && w.size() == 1) {
      c.ephemeral = true;
    } else if (w[0] == "port" && w.size() == 3) {
      net_port_map m;
      UINT host;
      if (!parse_port(w[1], &m.port, false)) return fail("bad port '" + w[1] + "'");
      if (!parse_port(w[2], &host, true)) return fail("bad host port '" + w[2] + "'");
      m.host_port = static_cast<uint16_t>(host);
      c.ports.push_back(m);
    } else if (w[0] == "peer" && w.size() == 3) {
      net_peer_map m;
      UINT host_port;
      if (!parse_endpoint(w[1], &m.address, &m.port)) return fail("bad peer '" + w[1] + "'");
      if (!parse_endpoint(w[2], &m.host_address, &host_port)) return fail("bad host end '" + w[2] + "'");
      if (!is_loopback(m.host_address)) return fail(w[2] + " is not a loopback address");
      if (host_port && !m.port) return fail("a host port needs a peer port");
      m.host_port = static_cast<uint16_t>(host_port);
      c.peers.push_back(m);
    } else {
      return fail("unknown setting '" + line + "'");
    }
  }
  *config = c;
  return true;
}

uint16_t net_host_listen_port(UINT port) { return nx_impl::config_host_port(port); }

namespace {

// Host sockets bound by net_host_hold_ports that the stack has not taken.
std::mutex g_held_mutex;
std::map<std::pair<net_proto, uint16_t>, int> g_held;

// Binds each listening port's host port as the stack will (TCP with
// SO_REUSEADDR, as a listener still refuses a port another one listens on;
// UDP without); keeps the sockets in *fds, else closes them.
bool try_ports(const std::vector<net_listen_port>& ports, std::string* busy,
               std::vector<std::pair<std::pair<net_proto, uint16_t>, int>>* fds) {
  const ULONG address = nx_impl::config_listen_address();
  for (const net_listen_port& p : ports) {
    const uint16_t host_port = net_host_listen_port(p.port);
    if (!host_port) continue;
    const bool udp = p.proto == net_proto::udp;
    const int fd = socket(AF_INET, (udp ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) continue;
    const int on = 1;
    if (!udp) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(host_port);
    const bool free = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && (udp || listen(fd, 16) == 0);
    const int error = errno;
    if (free && fds) {
      fds->push_back({{p.proto, host_port}, fd});
      continue;
    }
    close(fd);
    if (!free && error == EADDRINUSE) {
      if (busy)
        *busy = "host port " + std::to_string(host_port) + " (" + (udp ? "UDP" : "TCP") + ", the controller's port " +
                std::to_string(p.port) + ") is in use";
      if (fds)
        for (const auto& held : *fds) close(held.second);
      return false;
    }
  }
  return true;
}

}  // namespace

bool net_host_ports_free(const std::vector<net_listen_port>& ports, std::string* busy) {
  return try_ports(ports, busy, nullptr);
}

bool net_host_hold_ports(const std::vector<net_listen_port>& ports, std::string* busy) {
  std::vector<std::pair<std::pair<net_proto, uint16_t>, int>> fds;
  if (!try_ports(ports, busy, &fds)) return false;
  std::lock_guard<std::mutex> lk(g_held_mutex);
  for (const auto& [key, fd] : fds) {
    auto [it, added] = g_held.insert({key, fd});
    if (!added) close(fd);
  }
  return true;
}

namespace nx_impl {
int config_take_held(net_proto proto, uint16_t host_port) {
  std::lock_guard<std::mutex> lk(g_held_mutex);
  auto it = g_held.find({proto, host_port});
  if (it == g_held.end()) return -1;
  const int fd = it->second;
  g_held.erase(it);
  return fd;
}

void config_release_held() {
  std::lock_guard<std::mutex> lk(g_held_mutex);
  for (const auto& held : g_held) close(held.second);
  g_held.clear();
}
}  // namespace nx_impl
