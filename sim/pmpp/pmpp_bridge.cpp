#include "sim/pmpp/pmpp_bridge.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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

}  // namespace

bool pmpp_bridge::start(const options& o) {
  stop();
  m_options = o;
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
    ssize_t n = write(m_serial, bytes.data() + at, bytes.size() - at);
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
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
        const std::string message(buf, static_cast<size_t>(n));
        std::string out;
        if (m_options.broadcast)
          out = pmpp::SnmpFrame(pmpp::kAllStations, false, message) + pmpp::PollFrame(m_options.station);
        else
          out = pmpp::SnmpFrame(m_options.station, false, message);
        write_all(out);
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
        if (!f.fcs_ok || f.address != m_options.station || f.info.empty() ||
            static_cast<uint8_t>(f.info[0]) != pmpp::kSnmp || !have_manager) {
          ++m_other;
          continue;
        }
        ++m_answers;
        sendto(m_udp, f.info.data() + 1, f.info.size() - 1, 0, reinterpret_cast<sockaddr*>(&manager),
               sizeof manager);
      }
    }
  }
}

}  // namespace sim
