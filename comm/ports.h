// The communication ports' drivers, lent out by id (comm_port_id): the
// serial drivers of CCP, console, AUX, MODEM, front-panel line and LAPTOP,
// and the Ethernet servers of the communication task. The port set-up opens
// the serial ports from their settings and creates the NTCIP endpoints.
#pragma once

#include <cstdint>

class CSerialDriver;

enum : uint32_t {
  COMM_DRIVER_CCP = 0,      // CQ5SerialDriver, channel 0
  COMM_DRIVER_CONSOLE = 1,  // CQ5SerialDriver, channel 1 (the monitor task)
  COMM_DRIVER_AUX = 2,      // CQ5QuadSerialDriver, channels 2 to 5
  COMM_DRIVER_MODEM = 3,
  COMM_DRIVER_PANEL = 4,    // the front panel's line
  COMM_DRIVER_LAPTOP = 5,
  COMM_DRIVER_TCP_SERVER = 9,   // CTCP_Server: the SNMP port and 14001
  COMM_DRIVER_UDP_SERVER = 10,  // CUDP_Server: the SNMP port and 3002
  COMM_DRIVER_TRAP_SERVER = 11, // CTCP_Server: port 162
  COMM_DRIVERS = 12,
};

// Index of the per-port configuration arrays (quorCommConfigProtocol, ...).
enum : uint32_t {
  PORT_INDEX_CCP = 0,
  PORT_INDEX_AUX = 1,
  PORT_INDEX_MODEM = 2,
  PORT_INDEX_LAPTOP = 3,
  PORT_INDEX_ETHERNET = 4,
};

// Protocol codes of quorCommConfigProtocol.
enum : uint8_t {
  PORT_PROTOCOL_PMPP = 2,
  PORT_PROTOCOL_PPP = 4,
  PORT_PROTOCOL_PPP_ALT = 5,
  PORT_PROTOCOL_RADIO = 14,           // CCP: PMPP in the radio mode
  PORT_PROTOCOL_REAL_TIME_DATA = 16,  // AUX: the real-time data input owns the port
};

// Marks the id as lent out and gives its table entry, of whichever class
// stands behind the id (null for ids without a driver). False when the id
// is 12 or above or already lent out. Test and mark are one step.
bool AttainPort(uint32_t id, void** entry);
// The serial driver of a port, or null when the id is 12 or above, is
// already lent out or has no serial driver (the id is marked all the same
// when it was free).
CSerialDriver* AttainDriver(uint32_t id);
// 1 after giving the driver back; 0 for an id of 16 or above. Nobody checks
// that the caller held it.
uint32_t ReleaseDriver(uint32_t id);

// Opens the serial ports with the current settings and pushes the
// endpoints' parameters; given the start-up's memory cursor (once per
// start), also opens the front-panel line, creates the twelve endpoints and
// binds them.
void InitializeNTCIPObjects(uint8_t** cursor);

// 1 while the CCP port runs the radio protocol (set by the port set-up).
uint8_t comm_ccp_radio_mode();

// A serial port's open options and extra flags for a handshake code.
struct serial_open_mode {
  uint32_t options;
  uint32_t flow;
};
serial_open_mode comm_handshake_mode(uint32_t base_options, uint32_t handshake);

// Sends the bytes to the manager connected to the trap port (162); dropped
// while another user holds that server. 1 when sent.
int tcp_trap_port_send(const uint8_t* bytes, uint32_t length);
// Puts the byte into the LAPTOP port's receive queue as if it had come on
// the line.
void laptop_port_put_byte(uint8_t byte);
