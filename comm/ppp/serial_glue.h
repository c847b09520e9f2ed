// The serial glue of the links: the byte functions through which the PPP
// (and PMPP) links reach the serial ports CCP, AUX, MODEM and LAPTOP, with
// the port-wide state they keep: the serial driver each port's endpoint is
// bound to, the dial-up modem driver serving it, and its carrier.
//
// A port with a modem delivers bytes to its link only while the carrier is
// present; without carrier its bytes are the modem's responses and go to the
// modem driver. The loss of the carrier resets the port's PPP link.
//
// The read and write functions run in the links' worker threads and in
// whatever thread sends a frame; the port state is changed only by the
// endpoint binding (drivers, modems) and by each port's own read function
// (its carrier).
#pragma once

#include <cstdint>

#include "comm/ppp/ppp_link.h"

class CSerialDriver;

// Ports by comm-port id.
enum : uint8_t {
  GLUE_PORT_CCP = 0,
  GLUE_PORT_AUX = 2,
  GLUE_PORT_MODEM = 3,
  GLUE_PORT_LAPTOP = 5,
};

// Bits of the link status.
enum : uint8_t { GLUE_CARRIER_CCP = 1, GLUE_CARRIER_AUX = 2, GLUE_CARRIER_MODEM = 4 };

// What the glue needs of a dial-up modem driver: take one received byte into
// its response buffer, and whether that buffer is at least 75 % full.
struct glue_modem {
  void* driver;
  void (*feed_byte)(void* driver, uint8_t byte);
  bool (*is_buffer_high)(void* driver);
};

// The display diagnostics' side of the LAPTOP port: whether the channel's
// pass-through flag is set, whether the distribution board that takes the
// bytes was identified, and the FIFO they are pushed into. Null members
// count as "no".
struct glue_laptop_passthrough {
  bool (*active)();
  bool (*board_present)();
  void (*push)(uint8_t byte);
};

// The serial driver of a port's bound endpoint (null: unbound). Ports other
// than the four are ignored.
void serial_glue_bind(uint8_t port, CSerialDriver* driver);
CSerialDriver* serial_glue_driver(uint8_t port);
// The modem driver serving CCP, AUX or MODEM; null: none. The glue copies
// the record.
void serial_glue_link_modem(uint8_t port, const glue_modem* modem);
void serial_glue_set_laptop_passthrough(const glue_laptop_passthrough* hooks);
// Bit 0 CCP carrier, bit 1 AUX carrier, bit 2 MODEM carrier.
uint8_t serial_glue_link_status();
// The MODEM port's carrier bit (1 or 0), which the PPP receive path watches.
uint8_t modem_port_carrier();
// Forgets every driver, modem and carrier (a new start, tests).
void serial_glue_reset();

// The read and write functions of a port, for ppp_set_port_hooks; the null
// hooks for ports without glue.
ppp_read_byte_fn serial_glue_read_function(uint8_t port);
ppp_write_byte_fn serial_glue_write_function(uint8_t port);

// Binds a PPP link to a serial port: the glue remembers the driver, the
// link gets the port's byte functions, and the driver's receive callback
// wakes the link's worker. With a null driver (or a port without glue) the
// link gets the null hooks and the port is forgotten.
void ppp_bind_serial(ppp_link* link, uint8_t port, CSerialDriver* driver);
// Undoes ppp_bind_serial: the driver's receive callback is removed, the port
// forgotten, the link gets the null hooks.
void ppp_unbind_serial(ppp_link* link, uint8_t port);

bool ccp_ppp_read(uint8_t* byte);
bool aux_ppp_read(uint8_t* byte);
bool modem_ppp_read(uint8_t* byte);
bool laptop_port_read(uint8_t* byte);
void ccp_port_write(uint8_t byte);
void aux_port_write(uint8_t byte);
void modem_port_write(uint8_t byte);
void laptop_port_write(uint8_t byte);
