// A Hayes-type dial-up modem at the far end of one of the controller's
// serial lines. On the controller's side it takes AT commands (echo,
// numeric or verbal result codes, S0 auto-answer, caller-id reporting, dial,
// answer, escape with "+++", hang-up) and drives the line's carrier detect
// and ring indicator. On the telephone side a test places calls, makes the
// rings and plays the remote party in memory; or, for the running
// controller, a TCP client on 127.0.0.1 is an incoming call, and a dialled
// number of 1024..65535 reaches 127.0.0.1 on that port.
//
// Written from the command set alone, apart from the controller's driver,
// so each checks the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sim/serial/serial_device.h"

namespace board {
class serial_line;
class uart16550;
}  // namespace board

namespace sim {

class hayes_modem : public serial_device {
 public:
  enum result : int { OK = 0, CONNECT = 1, RING = 2, NO_CARRIER = 3, ERROR = 4, NO_ANSWER = 8 };

  hayes_modem() = default;
  ~hayes_modem() override;

  // The controller's line: attach() for the bytes, and its UART for the
  // carrier and ring lines.
  void connect_line(board::serial_line* line);

  // ---- controller to modem, modem to controller
  using serial_device::receive;
  void receive(const uint8_t* data, size_t n) override;
  std::string take_output() override;

  // ---- the telephone side
  // An incoming call from this number (empty: no caller id); rings come
  // with ring().
  void incoming_call(const std::string& number);
  // One ring of the incoming call: the ring indicator pulses, RING is
  // reported (the caller id after the first), and the modem answers on the
  // S0-th ring when S0 is not 0. False without a call.
  bool ring();
  // The dialled party picks up (or the line stays silent: NO CARRIER).
  void answer_dial(bool picks_up);
  // The remote party hangs up: carrier drops, NO CARRIER.
  void remote_hang_up();
  // The remote party's bytes, carried while on line.
  void peer_send(const std::string& bytes);
  std::string peer_take();

  // ---- what happened
  bool online() const;           // a call is connected (carrier on)
  bool data_mode() const;        // connected and not escaped to commands
  std::vector<std::string> commands() const;  // AT lines taken, without CR
  std::vector<std::string> dialled() const;   // numbers dialled
  int auto_answer_rings() const;  // S0
  bool caller_id_on() const;
  size_t hang_ups() const;

  // ---- loopback TCP peer (the running controller)
  // Listens on 127.0.0.1 (0: an ephemeral port); returns the port, 0 on
  // failure. A client that connects is an incoming call that rings once a
  // second until answered; its bytes are the remote party's.
  uint16_t listen_tcp(uint16_t port);
  // Serves the TCP peer (rings, bytes both ways); called with pump().
  size_t serve_tcp();

 private:
  void command_line(const std::string& line);
  void result_locked(int code, const std::string& words);
  void go_online_locked();
  void drop_call_locked(bool report);
  void set_dcd_locked(bool on);
  void close_peer_locked();

  mutable std::mutex m_lock;
  board::serial_line* m_line = nullptr;
  board::uart16550* m_uart = nullptr;
  std::string m_out;       // to the controller
  std::string m_line_in;   // command line being typed
  std::string m_to_peer;   // carried to the remote party
  std::string m_plus;      // "+" seen in data mode
  bool m_echo = true;
  bool m_verbose = true;
  bool m_caller_id = false;
  int m_s0 = 0;
  int m_rings = 0;
  bool m_calling_in = false;
  std::string m_caller;
  bool m_dialling = false;
  bool m_online = false;
  bool m_command_mode = true;
  size_t m_hang_ups = 0;
  std::vector<std::string> m_commands;
  std::vector<std::string> m_dialled;
  // TCP peer
  int m_listen = -1;
  int m_peer = -1;
  int64_t m_next_ring_ms = 0;
};

}  // namespace sim
