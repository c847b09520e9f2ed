#include "sim/pmpp/pmpp_bridge.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <cerrno>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

int open_serial(const pmpp_bridge::options& o) {
  if (!o.pty_path.empty()) {
    int fd = open(o.pty_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(o.tcp_port);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

constexpr uint32_t kCentral = 0x0A000009;  // 10.0.0.9, the central system's own
constexpr uint16_t kCentralPort = 1161;

void put16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>((v >> 8) & 0xFF);
  s[at + 1] = static_cast<char>(v & 0xFF);
}
void put32(std::string& s, size_t at, uint32_t v) {
  put16(s, at, v >> 16);
  put16(s, at + 2, v & 0xFFFF);
}
uint32_t get16(const std::string& s, size_t at) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 8) | static_cast<uint8_t>(s[at + 1]);
}

// The Internet checksum (ones' complement sum of 16-bit words).
uint16_t inet_sum(const std::string& s, size_t at, size_t n, uint32_t sum = 0) {
  for (size_t i = 0; i + 1 < n; i += 2) sum += get16(s, at + i);
  if (n & 1) sum += static_cast<uint32_t>(static_cast<uint8_t>(s[at + n - 1])) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

uint32_t pseudo_sum(uint32_t src, uint32_t dst, size_t length) {
  return (src >> 16) + (src & 0xFFFF) + (dst >> 16) + (dst & 0xFFFF) + 17 + static_cast<uint32_t>(length);
}

// An IPv4 datagram with one UDP datagram, from the central system.
std::string udp_datagram(uint32_t dst, uint16_t id, const std::string& data) {
  std::string d(28, '\0');
  d += data;
  d[0] = 0x45;
  put16(d, 2, static_cast<uint32_t>(d.size()));
  put16(d, 4, id);
  d[8] = 64;
  d[9] = 17;
  put32(d, 12, kCentral);
  put32(d, 16, dst);
  put16(d, 10, inet_sum(d, 0, 20));
  put16(d, 20, kCentralPort);
  put16(d, 22, 161);
  put16(d, 24, static_cast<uint32_t>(8 + data.size()));
  uint16_t c = inet_sum(d, 20, d.size() - 20, pseudo_sum(kCentral, dst, d.size() - 20));
  put16(d, 26, c ? c : 0xFFFF);
  return d;
}

}  // namespace

bool pmpp_bridge::start(const options& o) {
  stop();
  m_options = o;
  m_ip_bytes.clear();
  m_serial = open_serial(o);
  m_udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(o.udp_port);
  socklen_t len = sizeof a;
  if (m_serial < 0 || m_udp < 0 || bind(m_udp, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(m_udp, reinterpret_cast<sockaddr*>(&a), &len) != 0 || pipe2(m_wake, O_CLOEXEC) != 0) {
    stop();
    return false;
  }
  m_udp_port = ntohs(a.sin_port);
  m_thread = std::thread([this] { run(); });
  return true;
}

void pmpp_bridge::stop() {
  if (m_thread.joinable()) {
    const char c = 0;
    if (write(m_wake[1], &c, 1) < 0) {
    }
    m_thread.join();
  }
  for (int* fd : {&m_serial, &m_udp, &m_wake[0], &m_wake[1]}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

bool pmpp_bridge::write_all(const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    // A TCP serial end the controller closed must not end the process with
    // SIGPIPE; a pty is no socket and takes a plain write.
    ssize_t n = send(m_serial, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = write(m_serial, bytes.data() + at, bytes.size() - at);
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

std::string pmpp_bridge::request_frames(const std::string& message) {
  const unsigned to = m_options.broadcast ? pmpp::kAllStations : m_options.station;
  std::string out;
  if (!m_options.station_ip) {
    out = pmpp::SnmpFrame(to, false, message);
  } else {
    // A request fits one frame: managers' messages are far below its size.
    const std::string d = udp_datagram(m_options.station_ip, ++m_ip_id, message);
    out = pmpp::Frame(to, false, pmpp::kUi, std::string(1, static_cast<char>(pmpp::kIp)) + d);
  }
  if (m_options.broadcast) out += pmpp::PollFrame(m_options.station);
  return out;
}

bool pmpp_bridge::answer(const pmpp::frame& f, std::string* message) {
  const uint8_t ipi = f.info.empty() ? 0 : static_cast<uint8_t>(f.info[0]);
  const uint8_t wanted = m_options.station_ip ? pmpp::kIp : pmpp::kSnmp;
  if (!f.fcs_ok || f.address != m_options.station || ipi != wanted) {
    ++m_other;
    return false;
  }
  if (!m_options.station_ip) {
    *message = f.info.substr(1);
    return true;
  }
  // A long datagram goes on in the next frames.
  m_ip_bytes += f.info.substr(1);
  if (m_ip_bytes.size() < 20) return false;
  const uint32_t total = get16(m_ip_bytes, 2);
  if (total < 20) {
    m_ip_bytes.clear();
    ++m_other;
    return false;
  }
  if (m_ip_bytes.size() < total) return false;
  const std::string d = m_ip_bytes.substr(0, total);
  m_ip_bytes.erase(0, total);
  const size_t header = (static_cast<uint8_t>(d[0]) & 0x0F) * 4u;
  // Fragments are not put together here: managers' answers are short.
  const bool ok = total >= header + 8 && header >= 20 && inet_sum(d, 0, header) == 0 && d[9] == 17 &&
                  (get16(d, 6) & 0x3FFF) == 0 && get16(d, header) == 161 && get16(d, header + 2) == kCentralPort;
  if (!ok) {
    ++m_other;
    return false;
  }
  *message = d.substr(header + 8);
  return true;
}

void pmpp_bridge::run() {
  pmpp::decoder decoder;
  sockaddr_in manager{};
  bool have_manager = false;
  for (;;) {
    pollfd p[3] = {{m_wake[0], POLLIN, 0}, {m_udp, POLLIN, 0}, {m_serial, POLLIN, 0}};
    if (poll(p, 3, -1) < 0) continue;
    if (p[0].revents) return;
    char buf[4096];
    if (p[1].revents & POLLIN) {
      socklen_t len = sizeof manager;
      ssize_t n = recvfrom(m_udp, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&manager), &len);
      if (n > 0) {
        have_manager = true;
        ++m_requests;
        write_all(request_frames(std::string(buf, static_cast<size_t>(n))));
      }
    }
    if (p[2].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t n = read(m_serial, buf, sizeof buf);
      if (n <= 0) {
        // A pty without its other side reports a hang-up until it returns.
        if (p[2].revents & POLLHUP) usleep(10000);
        continue;
      }
      for (const pmpp::frame& f : decoder.feed(std::string(buf, static_cast<size_t>(n)))) {
        std::string message;
        if (!answer(f, &message)) continue;
        if (!have_manager) {
          ++m_other;
          continue;
        }
        ++m_answers;
        sendto(m_udp, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&manager), sizeof manager);
      }
    }
  }
}

}  // namespace sim
