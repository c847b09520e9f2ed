// A cellular modem's AT command port on 127.0.0.1 (TCP): after a
// connection it greets, takes a password line, and answers one reply per
// command packet: identity queries (ATI0, ATI3, AT*NETOP?, AT*NETPHONE?),
// the signal strength (AT*NETRSSI?), settings and provisioning commands
// ("OK", or "ERROR" when told to refuse them). Echo is on until ATE0, which
// the modem keeps across connections.
// Served by a host thread of its own; every command is kept for the test.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

class cell_modem {
 public:
  // Listens on 127.0.0.1:port (0: an ephemeral port).
  explicit cell_modem(uint16_t port = 0);
  ~cell_modem();
  cell_modem(const cell_modem&) = delete;
  cell_modem& operator=(const cell_modem&) = delete;

  uint16_t port() const { return m_port; }

  void set_operator(const std::string& text);
  void set_signal(int dbm);
  void set_identity(const std::string& model, const std::string& esn, const std::string& phone);
  // Settings and provisioning commands are answered with ERROR.
  void set_refuse_settings(bool on);

  std::vector<std::string> commands() const;  // without their CR
  size_t connections() const;

 private:
  void run();
  void serve(int fd);
  std::string answer(const std::string& command);

  mutable std::mutex m_lock;
  int m_listen = -1;
  uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
  std::string m_operator = "Verizon Wireless";
  std::string m_model = "CELL MODEM 2";
  std::string m_esn = "0x5A0C71E2";
  std::string m_phone = "5551230000";
  int m_signal = -75;
  bool m_refuse = false;
  bool m_echo = true;
  std::vector<std::string> m_commands;
  size_t m_connections = 0;
};

}  // namespace sim
