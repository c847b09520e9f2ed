// A loopback bridge between SNMP managers and a PMPP line: it listens for
// UDP datagrams on 127.0.0.1, sends each SNMP message in a PMPP frame to a
// field station over a serial end (a pty or a TCP serial port), and sends
// the station's answer back to the manager that asked. net-snmp's snmpget
// and snmpset reach a controller's PMPP port through it.
//
// Individual requests go to the station's own address; with `broadcast`
// each request goes to all stations (63) and a poll of the station fetches
// the held answer. With `station_ip` set, each message travels as a UDP
// datagram to port 161 of that address in frames of IPI 0x21 instead of
// directly in an SNMP frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "sim/pmpp/pmpp_central.h"

namespace sim {

class pmpp_bridge {
 public:
  struct options {
    std::string pty_path;   // the station's pty, or
    uint16_t tcp_port = 0;  // its TCP serial end on 127.0.0.1
    unsigned station = 1;
    bool broadcast = false;
    uint16_t udp_port = 0;  // where managers send (0: a free port)
    uint32_t station_ip = 0;  // host order; 0: SNMP frames
  };

  ~pmpp_bridge() { stop(); }
  // Opens the serial end and the UDP listener and starts the bridge's
  // thread; false when either cannot be opened.
  bool start(const options& o);
  void stop();
  // Where managers send their requests.
  uint16_t udp_port() const { return m_udp_port; }
  uint32_t requests() const { return m_requests.load(); }
  uint32_t answers() const { return m_answers.load(); }
  // Frames from the station that were not a good SNMP answer to it.
  uint32_t other_frames() const { return m_other.load(); }

 private:
  void run();
  // The request in the frames the options ask for.
  std::string request_frames(const std::string& message);
  // The answer a frame completes, if any: the SNMP message, or the UDP data
  // of an IP datagram from the station's port 161.
  bool answer(const pmpp::frame& f, std::string* message);
  bool write_all(const std::string& bytes);

  options m_options;
  int m_serial = -1;
  int m_udp = -1;
  int m_wake[2] = {-1, -1};
  uint16_t m_udp_port = 0;
  uint16_t m_ip_id = 0;
  std::string m_ip_bytes;  // of a datagram that goes on in the next frame
  std::thread m_thread;
  std::atomic<uint32_t> m_requests{0}, m_answers{0}, m_other{0};
};

}  // namespace sim
