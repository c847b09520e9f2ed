#include "comm/ppp/serial_glue.h"

#include "comm/ppp/ppp_negotiation.h"
#include "frame/serial/serial_driver.h"

namespace {

struct port_state {
  CSerialDriver* driver = nullptr;
  glue_modem modem{};
  bool has_modem = false;
  uint8_t last_carrier = 0;
};

// Indexed by comm-port id 0..5; 1 (console) and 4 (panel) stay unused.
port_state g_ports[6];
volatile uint8_t g_link_status = 0;
glue_laptop_passthrough g_laptop{};

bool glued(uint8_t port) {
  return port == GLUE_PORT_CCP || port == GLUE_PORT_AUX || port == GLUE_PORT_MODEM || port == GLUE_PORT_LAPTOP;
}

uint8_t carrier_bit(uint8_t port) {
  switch (port) {
    case GLUE_PORT_CCP:
      return GLUE_CARRIER_CCP;
    case GLUE_PORT_AUX:
      return GLUE_CARRIER_AUX;
    case GLUE_PORT_MODEM:
      return GLUE_CARRIER_MODEM;
    default:
      return 0;
  }
}

void set_status(uint8_t port, uint8_t carrier) {
  const uint8_t bit = carrier_bit(port);
  if (carrier)
    g_link_status = static_cast<uint8_t>(g_link_status | bit);
  else
    g_link_status = static_cast<uint8_t>(g_link_status & ~bit);
}

// The carrier dropped: the port's PPP endpoint starts over.
void reset_link(const char* endpoint) {
  ppp_link* link = ppp_find(endpoint);
  if (!link) return;
  lcp_state_machine(link, LCP_RTR);
  chap_state_macine(link, CHAP_RESET);
}

bool next_byte(CSerialDriver* driver, uint8_t* byte) {
  uint32_t b = 0;
  if (!driver->ReadByte(&b)) return false;
  *byte = static_cast<uint8_t>(b);
  return true;
}

// CCP and AUX: without a modem every byte is the link's; with one, only
// while the carrier is present.
bool modem_capable_read(uint8_t port, const char* endpoint, uint8_t* byte) {
  port_state& p = g_ports[port];
  CSerialDriver* driver = p.driver;
  if (!driver) return false;
  if (!p.has_modem) return next_byte(driver, byte);
  const uint8_t carrier = driver->GetDCD() ? 1 : 0;
  if (carrier != p.last_carrier) {
    p.last_carrier = carrier;
    if (!carrier) reset_link(endpoint);
  }
  bool got = false;
  uint8_t b = 0;
  while (next_byte(driver, &b)) {
    if (carrier) {
      *byte = b;
      got = true;
      break;
    }
    if (p.modem.feed_byte) p.modem.feed_byte(p.modem.driver, b);
    if (p.modem.is_buffer_high && p.modem.is_buffer_high(p.modem.driver)) break;
  }
  set_status(port, carrier);
  return got;
}

}  // namespace

void serial_glue_bind(uint8_t port, CSerialDriver* driver) {
  if (glued(port)) g_ports[port].driver = driver;
}

CSerialDriver* serial_glue_driver(uint8_t port) { return glued(port) ? g_ports[port].driver : nullptr; }

void serial_glue_link_modem(uint8_t port, const glue_modem* modem) {
  if (port != GLUE_PORT_CCP && port != GLUE_PORT_AUX && port != GLUE_PORT_MODEM) return;
  port_state& p = g_ports[port];
  p.has_modem = modem != nullptr;
  p.modem = modem ? *modem : glue_modem{};
}

void serial_glue_set_laptop_passthrough(const glue_laptop_passthrough* hooks) {
  g_laptop = hooks ? *hooks : glue_laptop_passthrough{};
}

uint8_t serial_glue_link_status() { return g_link_status; }

uint8_t modem_port_carrier() { return (g_link_status & GLUE_CARRIER_MODEM) ? 1 : 0; }

void serial_glue_reset() {
  for (port_state& p : g_ports) p = port_state{};
  g_link_status = 0;
  g_laptop = glue_laptop_passthrough{};
}

bool ccp_ppp_read(uint8_t* byte) { return modem_capable_read(GLUE_PORT_CCP, "ccp_ppp", byte); }

bool aux_ppp_read(uint8_t* byte) { return modem_capable_read(GLUE_PORT_AUX, "aux_ppp", byte); }

// MODEM: the carrier is watched with or without a modem driver; bytes that
// come without carrier are the modem's, or lost when none is linked.
bool modem_ppp_read(uint8_t* byte) {
  port_state& p = g_ports[GLUE_PORT_MODEM];
  CSerialDriver* driver = p.driver;
  if (!driver) return false;
  const uint8_t carrier = driver->GetDCD() ? 1 : 0;
  if (carrier != p.last_carrier) {
    p.last_carrier = carrier;
    if (!carrier) reset_link("modem_ppp");
  }
  uint8_t b = 0;
  while (next_byte(driver, &b)) {
    if (carrier) {
      *byte = b;
      return true;
    }
    if (!p.has_modem) continue;
    if (p.modem.feed_byte) p.modem.feed_byte(p.modem.driver, b);
    if (p.modem.is_buffer_high && p.modem.is_buffer_high(p.modem.driver)) break;
  }
  set_status(GLUE_PORT_MODEM, carrier);
  return false;
}

bool laptop_port_read(uint8_t* byte) {
  CSerialDriver* driver = g_ports[GLUE_PORT_LAPTOP].driver;
  return driver && next_byte(driver, byte);
}

void ccp_port_write(uint8_t byte) {
  if (CSerialDriver* driver = g_ports[GLUE_PORT_CCP].driver) driver->PutTxByte(byte);
}

void aux_port_write(uint8_t byte) {
  port_state& p = g_ports[GLUE_PORT_AUX];
  if (!p.driver) return;
  if (p.has_modem && !p.driver->GetDCD()) return;
  p.driver->PutTxByte(byte);
}

void modem_port_write(uint8_t byte) {
  port_state& p = g_ports[GLUE_PORT_MODEM];
  if (p.driver && p.driver->GetDCD()) p.driver->PutTxByte(byte);
}

void laptop_port_write(uint8_t byte) {
  if (g_laptop.active && g_laptop.active()) {
    if (g_laptop.board_present && g_laptop.board_present() && g_laptop.push) g_laptop.push(byte);
    return;
  }
  if (CSerialDriver* driver = g_ports[GLUE_PORT_LAPTOP].driver) driver->PutTxByte(byte);
}

ppp_read_byte_fn serial_glue_read_function(uint8_t port) {
  switch (port) {
    case GLUE_PORT_CCP:
      return ccp_ppp_read;
    case GLUE_PORT_AUX:
      return aux_ppp_read;
    case GLUE_PORT_MODEM:
      return modem_ppp_read;
    case GLUE_PORT_LAPTOP:
      return laptop_port_read;
    default:
      return port_read_none;
  }
}

ppp_write_byte_fn serial_glue_write_function(uint8_t port) {
  switch (port) {
    case GLUE_PORT_CCP:
      return ccp_port_write;
    case GLUE_PORT_AUX:
      return aux_port_write;
    case GLUE_PORT_MODEM:
      return modem_port_write;
    case GLUE_PORT_LAPTOP:
      return laptop_port_write;
    default:
      return ppp_write_none;
  }
}

void ppp_bind_serial(ppp_link* link, uint8_t port, CSerialDriver* driver) {
  if (!link) return;
  if (!driver || !glued(port)) {
    ppp_unbind_serial(link, port);
    return;
  }
  serial_glue_bind(port, driver);
  ppp_set_port_hooks(link, serial_glue_read_function(port), serial_glue_write_function(port), nullptr);
  driver->SetRxCallback(ppp_link_notify, link->worker_events, link->worker_bit);
  // Bytes that came before the binding are the link's too.
  ppp_wake(link);
}

void ppp_unbind_serial(ppp_link* link, uint8_t port) {
  if (glued(port)) {
    if (CSerialDriver* driver = g_ports[port].driver) driver->SetRxCallback(nullptr, nullptr, 0);
    serial_glue_bind(port, nullptr);
  }
  if (link) ppp_set_port_hooks(link, nullptr, nullptr, nullptr);
}
