#include "sim/net/udp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

namespace sim {

udp_peer::udp_peer(handler h) : m_handler(std::move(h)) {
  m_fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (m_fd < 0 || pipe(m_wake) != 0) return;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
  socklen_t len = sizeof a;
  getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
  m_port = ntohs(a.sin_port);
  m_thread = std::thread([this] { run(); });
}

udp_peer::~udp_peer() {
  if (m_wake[1] >= 0) {
    const char one = 1;
    (void)!write(m_wake[1], &one, 1);
  }
  if (m_thread.joinable()) m_thread.join();
  for (int fd : {m_fd, m_wake[0], m_wake[1]})
    if (fd >= 0) close(fd);
}

bool udp_peer::wait_received(uint32_t n) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (m_received.load() < n) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::yield();
  }
  return true;
}

void udp_peer::run() {
  std::vector<char> buffer(65536);
  for (;;) {
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = recvfrom(m_fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) continue;
    const std::string answer = m_handler(std::string(buffer.data(), static_cast<size_t>(n)));
    if (!answer.empty())
      sendto(m_fd, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    // Counted after the answer went, so a waiter finds it on its way.
    m_received.fetch_add(1);
  }
}

}  // namespace sim
