// The board's Ethernet hardware: the EMAC, the MAL's descriptor rings and the
// PHY on the MII interface. One transmit descriptor with a software queue
// behind it, a ring of 32 receive buffers from "enet packet pool", the six
// Ethernet interrupts, speed and duplex by auto-negotiation or by hand, the
// link watch and a soft reset. emac_driver_entry (emac_driver.h) drives it.
#pragma once

#include <cstdint>

#include "nx_api.h"

// Link-mode codes.
enum : uint32_t {
  EMAC_SPEED_AUTO = 100, EMAC_SPEED_100 = 101, EMAC_SPEED_10 = 102,
  EMAC_DUPLEX_AUTO = 100, EMAC_DUPLEX_HALF = 10, EMAC_DUPLEX_FULL = 20,
};

// Layout of the buffer area.
constexpr uint32_t EMAC_POOL_MEMORY = 69696;  // "enet packet pool"
constexpr uint32_t EMAC_POOL_PAYLOAD = 1540;
constexpr uint32_t EMAC_TX_TABLE = 0x11040;
constexpr uint32_t EMAC_RX_TABLE = 0x11060;
constexpr uint32_t EMAC_AREA_SIZE = EMAC_RX_TABLE + 32 * 8;
constexpr uint32_t EMAC_RX_DESCRIPTORS = 32;
constexpr uint32_t EMAC_MAX_FRAME = 1518;
// Fixed addresses when no area was set.
constexpr uint32_t EMAC_FIXED_POOL = 0x00702000, EMAC_FIXED_TX_TABLE = 0x00700000, EMAC_FIXED_RX_TABLE = 0x00700020;

UINT emac_set_buffer_area(uint32_t base);
// Where "enet packet pool" lives: the buffer area's start, or the fixed address.
uint32_t emac_buffer_area_pool();
const uint8_t* emac_mac_address();
UINT emac_set_mac_address(const uint8_t mac[6]);
void emac_set_link_mode(uint32_t speed, uint32_t duplex, uint32_t force_10_half);

UINT phy_probe();
int phy_read(uint32_t reg, uint16_t* value);
int phy_write(uint32_t reg, uint16_t value);
// count: status polls (0 = 1000); speed100 and full: offered in, resolved out.
int AutoNegotiate(uint32_t count, uint32_t* speed100, uint32_t* full);

UINT emac_hardware_init();
void emac_initialize();  // soft reset
void emac_enable();
void emac_disable();
UINT emac_send_packet(NX_IP* ip, NX_PACKET* packet);
void emac_multicast_join();
void emac_multicast_leave();
UINT emac_receive_dispatch(NX_IP* ip, NX_PACKET* packet);
void emac_link_monitor();

// The six interrupt services, in the dispatcher's order.
void emac_error_isr();
void emac_tx_isr();
void emac_rx_isr();
void mal_tx_error_isr();
void mal_rx_error_isr();
void emac_clear_status();

// Ring initialisations (also run by the error interrupts).
UINT emac_rx_ring_init(bool free_packets);
UINT emac_tx_ring_init();

// State read by the communication task, the console and tests.
uint8_t emac_link_up();
uint32_t emac_link_state();  // 0 down, 1 up, 2 not yet known
uint32_t emac_mr1();         // what MR1 was last given
struct emac_counters {
  uint32_t frames_sent = 0;
  uint32_t frames_received = 0;
  uint32_t bytes_received = 0;  // frame bytes handed on, after trimming
  uint32_t frames_dropped = 0;  // error bit, too long, or no packet for the ring
  uint32_t frames_refused = 0;  // too long to send
  uint32_t arp_filtered = 0;
  uint32_t tx_queued = 0;       // waited for the descriptor
  uint32_t errors = 0;          // error interrupts
};
emac_counters emac_get_counters();
void emac_clear_counters();
// The "enet packet pool", null before the driver created it.
NX_PACKET_POOL* emac_packet_pool();
// Back to the power-up configuration (tests).
void emac_power_on();
