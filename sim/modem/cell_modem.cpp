#include "sim/modem/cell_modem.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace sim {

cell_modem::cell_modem(uint16_t port) {
  m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
  if (m_listen < 0) return;
  const int one = 1;
  ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  socklen_t len = sizeof a;
  if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 2) != 0 ||
      ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(m_listen);
    m_listen = -1;
    return;
  }
  m_port = ntohs(a.sin_port);
  m_thread = std::thread([this] { run(); });
}

cell_modem::~cell_modem() {
  m_stop.store(true);
  if (m_thread.joinable()) m_thread.join();
  if (m_listen >= 0) ::close(m_listen);
}

void cell_modem::set_operator(const std::string& text) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_operator = text;
}
void cell_modem::set_signal(int dbm) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_signal = dbm;
}
void cell_modem::set_identity(const std::string& model, const std::string& esn, const std::string& phone) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_model = model;
  m_esn = esn;
  m_phone = phone;
}
void cell_modem::set_refuse_settings(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_refuse = on;
}
std::vector<std::string> cell_modem::commands() const {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_commands;
}
size_t cell_modem::connections() const {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_connections;
}

void cell_modem::run() {
  while (!m_stop.load()) {
    pollfd p{m_listen, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const int fd = ::accept(m_listen, nullptr, nullptr);
    if (fd < 0) continue;
    serve(fd);
    ::close(fd);
  }
}

void cell_modem::serve(int fd) {
  {
    std::lock_guard<std::mutex> lk(m_lock);
    ++m_connections;
  }
  const std::string greeting = "\r\nPassword: ";
  ::send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL);
  std::string pending;
  while (!m_stop.load()) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char buffer[512];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    pending.append(buffer, static_cast<size_t>(n));
    size_t cr;
    while ((cr = pending.find('\r')) != std::string::npos) {
      const std::string command = pending.substr(0, cr);
      pending.erase(0, cr + 1);
      std::string reply = answer(command);
      if (command.rfind("AT*PROVISION2=", 0) == 0) {
        // Provisioning takes the modem a while: its result comes on its own.
        const size_t result = reply.rfind("\r\n", reply.size() - 3);
        const std::string first = reply.substr(0, result);
        if (!first.empty()) ::send(fd, first.data(), first.size(), MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        reply.erase(0, result);
      }
      ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    }
  }
}

std::string cell_modem::answer(const std::string& command) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_commands.push_back(command);
  const std::string echo = m_echo ? command + "\r" : std::string();
  auto value = [&](const std::string& v) { return echo + "\r\n" + v + "\r\n\r\nOK\r\n"; };
  if (command.rfind("AT", 0) != 0) return "\r\nOK\r\n";  // the password
  if (command == "ATE0") {
    m_echo = false;
    return echo + "\r\nOK\r\n";
  }
  if (command == "ATI0") return value(m_model);
  if (command == "ATI3") return value(m_esn);
  if (command == "AT*NETOP?") return value(m_operator);
  if (command == "AT*NETPHONE?") return value(m_phone);
  if (command == "AT*NETRSSI?") return value(std::to_string(m_signal));
  return echo + (m_refuse ? "\r\nERROR\r\n" : "\r\nOK\r\n");
}

}  // namespace sim
