// The communication ports' drivers, lent out by id: the serial drivers and
// the Ethernet servers of the communication task.
#pragma once

#include <cstdint>

class CSerialDriver;

enum : uint32_t {
  COMM_DRIVER_CONSOLE = 1,
  COMM_DRIVER_TCP_SERVER = 9,   // CTCP_Server: the SNMP port and 14001
  COMM_DRIVER_UDP_SERVER = 10,  // CUDP_Server: the SNMP port and 3002
  COMM_DRIVER_TRAP_SERVER = 11, // CTCP_Server: port 162
  COMM_DRIVERS = 12,
};

// Marks the id as lent out and gives its table entry, of whichever class
// stands behind the id (null for ids without a driver). False when the id
// is 12 or above or already lent out.
bool AttainPort(uint32_t id, void** entry);
// The serial driver of a port, or null when the id is 12 or above, is
// already lent out or has no serial driver.
CSerialDriver* AttainDriver(uint32_t id);
// 1 after giving the driver back; 0 for an id of 16 or above.
uint32_t ReleaseDriver(uint32_t id);

// Opens the serial ports with the current settings and, on the first call
// with a memory cursor, creates the NTCIP endpoints and binds them.
void InitializeNTCIPObjects(uint8_t** cursor);
