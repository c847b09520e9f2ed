#include "sim/modem/hayes_modem.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>

#include "board_host.h"

namespace sim {

namespace {

constexpr size_t kLineMax = 255;

int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

sockaddr_in loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

// Digits from *i on; -1 when none.
int number_at(const std::string& s, size_t* i) {
  if (*i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[*i]))) return -1;
  int v = 0;
  while (*i < s.size() && std::isdigit(static_cast<unsigned char>(s[*i])) && v < 100000) v = v * 10 + (s[(*i)++] - '0');
  return v;
}

}  // namespace

hayes_modem::~hayes_modem() {
  std::lock_guard<std::mutex> lk(m_lock);
  close_peer_locked();
  if (m_listen >= 0) ::close(m_listen);
  m_listen = -1;
}

void hayes_modem::connect_line(board::serial_line* line) {
  attach(line);
  std::lock_guard<std::mutex> lk(m_lock);
  m_line = line;
  m_uart = line ? &line->uart() : nullptr;
  set_dcd_locked(false);
}

void hayes_modem::receive(const uint8_t* data, size_t n) {
  std::vector<std::string> lines;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    for (size_t k = 0; k < n; ++k) {
      const char c = static_cast<char>(data[k]);
      if (m_online && !m_command_mode) {
        // "+++" on its own escapes to the command state; the call stays up.
        if (c == '+') {
          m_plus += c;
          if (m_plus == "+++") {
            m_plus.clear();
            m_command_mode = true;
            result_locked(OK, "OK");
          }
          continue;
        }
        m_to_peer += m_plus;
        m_plus.clear();
        m_to_peer += c;
        continue;
      }
      if (m_echo) m_out += c;
      if (c == '\r') {
        lines.push_back(m_line_in);
        m_line_in.clear();
      } else if (c != '\n' && m_line_in.size() < kLineMax) {
        m_line_in += c;
      }
    }
  }
  for (const std::string& l : lines) command_line(l);
}

std::string hayes_modem::take_output() {
  std::lock_guard<std::mutex> lk(m_lock);
  std::string out;
  out.swap(m_out);
  return out;
}

void hayes_modem::result_locked(int code, const std::string& words) {
  if (m_verbose)
    m_out += "\r\n" + words + "\r\n";
  else
    m_out += std::to_string(code) + "\r";
}

void hayes_modem::set_dcd_locked(bool on) {
  if (m_uart) m_uart->set_dcd(on);
}

void hayes_modem::go_online_locked() {
  m_online = true;
  m_command_mode = false;
  m_calling_in = false;
  m_dialling = false;
  m_rings = 0;
  m_plus.clear();
  set_dcd_locked(true);
  result_locked(CONNECT, "CONNECT");
}

void hayes_modem::drop_call_locked(bool report) {
  const bool had = m_online || m_calling_in || m_dialling;
  m_online = false;
  m_command_mode = true;
  m_calling_in = false;
  m_dialling = false;
  m_rings = 0;
  m_plus.clear();
  close_peer_locked();
  set_dcd_locked(false);
  if (had && report) result_locked(NO_CARRIER, "NO CARRIER");
}

void hayes_modem::close_peer_locked() {
  if (m_peer >= 0) ::close(m_peer);
  m_peer = -1;
}

void hayes_modem::command_line(const std::string& text) {
  std::lock_guard<std::mutex> lk(m_lock);
  size_t at = std::string::npos;
  for (size_t i = 0; i + 1 < text.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) == 'A' &&
        std::toupper(static_cast<unsigned char>(text[i + 1])) == 'T') {
      at = i;
      break;
    }
  if (at == std::string::npos) return;  // not a command: ignored as a modem does
  const std::string line = text.substr(at);
  m_commands.push_back(line);
  std::string s;
  for (char c : line.substr(2)) s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i++];
    int v = 0;
    switch (c) {
      case ' ':
        break;
      case 'E':
        m_echo = number_at(s, &i) != 0;
        break;
      case 'V':
        m_verbose = number_at(s, &i) != 0;
        break;
      case 'Q':
      case 'X':
      case 'I':
      case 'M':
      case 'L':
        number_at(s, &i);
        break;
      case 'Z':
        number_at(s, &i);
        m_echo = m_verbose = true;
        m_s0 = 0;
        m_caller_id = false;
        break;
      case '&':
        if (i < s.size() && s[i] == 'F') {
          m_echo = m_verbose = true;
          m_s0 = 0;
          m_caller_id = false;
        }
        if (i < s.size()) ++i;
        number_at(s, &i);
        break;
      case 'S':
        v = number_at(s, &i);
        if (i < s.size() && s[i] == '=') {
          ++i;
          const int value = number_at(s, &i);
          if (v == 0 && value >= 0) m_s0 = value;
        } else if (i < s.size() && s[i] == '?') {
          ++i;
          if (v == 0) m_out += "\r\n" + std::to_string(m_s0) + "\r\n";
        }
        break;
      case '+':
        if (s.compare(i, 5, "VCID=") == 0) {
          i += 5;
          m_caller_id = number_at(s, &i) > 0;
        } else {
          result_locked(ERROR, "ERROR");
          return;
        }
        break;
      case 'H':
        number_at(s, &i);
        if (m_online || m_calling_in || m_dialling) ++m_hang_ups;
        drop_call_locked(false);
        break;
      case 'A':
        if (!m_calling_in) {
          result_locked(NO_CARRIER, "NO CARRIER");
          return;
        }
        go_online_locked();
        return;
      case 'O':
        number_at(s, &i);
        if (!m_online) {
          result_locked(NO_CARRIER, "NO CARRIER");
          return;
        }
        m_command_mode = false;
        result_locked(CONNECT, "CONNECT");
        return;
      case 'D': {
        std::string number;
        for (; i < s.size(); ++i)
          if (std::isdigit(static_cast<unsigned char>(s[i]))) number += s[i];
        m_dialled.push_back(number);
        m_dialling = true;
        const long port = number.size() <= 5 && !number.empty() ? std::strtol(number.c_str(), nullptr, 10) : 0;
        if (m_listen >= 0 && port >= 1024 && port <= 65535) {
          // The number is a loopback port: that program answers the call.
          const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
          const sockaddr_in a = loopback(static_cast<uint16_t>(port));
          if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
            close_peer_locked();
            m_peer = fd;
            go_online_locked();
          } else {
            if (fd >= 0) ::close(fd);
            m_dialling = false;
            result_locked(NO_CARRIER, "NO CARRIER");
          }
        }
        return;  // the result comes when the far end answers
      }
      default:
        if (std::isdigit(static_cast<unsigned char>(c))) break;
        result_locked(ERROR, "ERROR");
        return;
    }
  }
  result_locked(OK, "OK");
}

void hayes_modem::incoming_call(const std::string& number) {
  std::lock_guard<std::mutex> lk(m_lock);
  if (m_online) return;
  m_calling_in = true;
  m_caller = number;
  m_rings = 0;
}

bool hayes_modem::ring() {
  std::lock_guard<std::mutex> lk(m_lock);
  if (!m_calling_in) return false;
  ++m_rings;
  if (m_uart) {
    // The UART reports the trailing edge of the ring indicator.
    m_uart->set_ri(true);
    m_uart->set_ri(false);
  }
  result_locked(RING, "RING");
  if (m_caller_id && m_rings == 1 && !m_caller.empty())
    m_out += "\r\nDATE = 1211\r\nTIME = 0242\r\nNMBR = " + m_caller + "\r\nNAME = O\r\n";
  if (m_s0 > 0 && m_rings >= m_s0) go_online_locked();
  return true;
}

void hayes_modem::answer_dial(bool picks_up) {
  std::lock_guard<std::mutex> lk(m_lock);
  if (!m_dialling) return;
  if (picks_up) {
    go_online_locked();
  } else {
    m_dialling = false;
    result_locked(NO_CARRIER, "NO CARRIER");
  }
}

void hayes_modem::remote_hang_up() {
  std::lock_guard<std::mutex> lk(m_lock);
  drop_call_locked(true);
}

void hayes_modem::peer_send(const std::string& bytes) {
  std::lock_guard<std::mutex> lk(m_lock);
  if (m_online && !m_command_mode) m_out += bytes;
}

std::string hayes_modem::peer_take() {
  std::lock_guard<std::mutex> lk(m_lock);
  std::string out;
  out.swap(m_to_peer);
  return out;
}

bool hayes_modem::online() const {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_online;
}

bool hayes_modem::data_mode() const {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_online && !m_command_mode;
}

std::vector<std::string> hayes_modem::commands() const {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_commands;
}

std::vector<std::string> hayes_modem::dialled() const {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_dialled;
}

int hayes_modem::auto_answer_rings() const {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_s0;
}

bool hayes_modem::caller_id_on() const {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_caller_id;
}

size_t hayes_modem::hang_ups() const {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_hang_ups;
}

uint16_t hayes_modem::listen_tcp(uint16_t port) {
  std::lock_guard<std::mutex> lk(m_lock);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = loopback(port);
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 1) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(fd);
    return 0;
  }
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  m_listen = fd;
  return ntohs(a.sin_port);
}

size_t hayes_modem::serve_tcp() {
  bool ring_now = false;
  size_t moved = 0;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    if (m_listen < 0) return 0;
    if (m_peer < 0 && !m_online && !m_dialling) {
      const int fd = ::accept(m_listen, nullptr, nullptr);
      if (fd >= 0) {
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        m_peer = fd;
        m_calling_in = true;
        m_caller = "5550100";
        m_rings = 0;
        m_next_ring_ms = now_ms();
      }
    }
    if (m_peer < 0) return 0;
    if (m_calling_in && now_ms() >= m_next_ring_ms) {
      m_next_ring_ms = now_ms() + 1000;
      ring_now = true;
    }
    char buffer[512];
    const ssize_t got = ::recv(m_peer, buffer, sizeof buffer, 0);
    if (got == 0) {
      drop_call_locked(true);
      return 0;
    }
    if (got > 0 && m_online && !m_command_mode) {
      m_out.append(buffer, static_cast<size_t>(got));
      moved += static_cast<size_t>(got);
    }
    if (m_online && !m_to_peer.empty()) {
      const ssize_t sent = ::send(m_peer, m_to_peer.data(), m_to_peer.size(), MSG_NOSIGNAL);
      if (sent > 0) {
        m_to_peer.erase(0, static_cast<size_t>(sent));
        moved += static_cast<size_t>(sent);
      }
    }
  }
  if (ring_now) ring();
  return moved;
}

}  // namespace sim
