// CAN on the board: in-memory CAN buses ("wires") that simulated boards and
// tests attach to, the stand-alone CAN controller on SPI device 0 of the
// board logic, and the EPLD's CAN packet FIFO with its sixteen CAN channels.
//
// Locking: a wire calls its nodes without holding its lock, except for
// node::acknowledges; a node never calls a wire while holding its own lock.
// So a node may transmit from inside on_frame (a reply): the frame is queued
// and delivered by the delivery already running.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "board_models.h"

namespace board {

// ------------------------------------------------------------------ wire

// One CAN frame as it crosses a wire.
struct can_frame {
  uint32_t id = 0;       // 11 or 29 significant bits
  bool extended = false;
  bool remote = false;
  uint8_t dlc = 0;       // data length code as sent (0-15; at most 8 data bytes)
  uint8_t data[8] = {};

  bool operator==(const can_frame& o) const;
};

// Builds a data frame (tests and simulated boards).
can_frame make_frame(uint32_t id, bool extended, std::initializer_list<uint8_t> data);

class can_wire {
 public:
  class node {
   public:
    virtual ~node() = default;
    // True when the node would acknowledge a frame sent at `rate` bits per
    // second (0: a sender that runs at any rate). Called with the wire's
    // lock held: it must not call the wire.
    virtual bool acknowledges(uint32_t rate) = 0;
    // A frame that another node sent at `rate`. Every attached node but the
    // sender gets it; a node at another rate ignores it.
    virtual void on_frame(const can_frame& frame, uint32_t rate) = 0;
  };

  explicit can_wire(std::string name = "");
  ~can_wire();
  can_wire(const can_wire&) = delete;
  can_wire& operator=(const can_wire&) = delete;

  const std::string& name() const { return m_name; }

  // Nodes attach and detach while the wire is quiet.
  void attach(node* n);
  void detach(node* n);

  // Offers a frame. True when another node acknowledged it; only an
  // acknowledged frame is queued for delivery (an unacknowledged one is an
  // error for its sender, which retries).
  bool queue(node* from, const can_frame& frame, uint32_t rate);
  // Delivers queued frames, including those queued meanwhile by the
  // receivers, unless a delivery is already running (which takes them).
  void deliver();
  bool transmit(node* from, const can_frame& frame, uint32_t rate);

  // ---- observation: the frames delivered, in order (the last 4096)
  std::vector<can_frame> log();
  void clear_log();
  uint64_t frames();

 private:
  struct item {
    node* from;
    can_frame frame;
    uint32_t rate;
  };

  std::string m_name;
  std::mutex m_lock;
  std::vector<node*> m_nodes;
  std::deque<item> m_queue;
  bool m_delivering = false;
  std::deque<can_frame> m_log;
  uint64_t m_frames = 0;
};

// ------------------------------------------------------------------ CAN controller

// A stand-alone CAN controller driven over SPI: the instructions RESET
// (0xC0), READ (0x03), WRITE (0x02), BIT MODIFY (0x05), READ STATUS (0xA0) and
// request-to-send (0x80-0x87); 128 registers with the usual map (filters
// 0x00-0x1B, CANSTAT/CANCTRL at every xE/xF, TEC 0x1C, REC 0x1D, masks
// 0x20-0x27, CNF3-1 0x28-0x2A, CANINTE 0x2B, CANINTF 0x2C, EFLG 0x2D,
// transmit buffers 0x30/0x40/0x50, receive buffers 0x60/0x70); operating
// modes with configuration-only registers; acceptance masks and filters with
// roll-over; transmit and receive error counters with warning, passive and
// bus-off states; an interrupt output (active low) while an enabled flag of
// CANINTF is set.
//
// On its wire the controller runs at the bit rate its CNF registers give for
// its clock; it sends a frame once TXREQ is set and the instruction that set
// it ends (chip select released). An unacknowledged frame is retried at once
// until the controller turns error passive, then at the end of each later
// instruction.
class can_controller_model : public spi_device, public can_wire::node {
 public:
  static constexpr uint32_t CLOCK = 16000000;
  enum : uint8_t { NORMAL = 0, SLEEP = 1, LOOPBACK = 2, LISTEN_ONLY = 3, CONFIGURATION = 4 };

  explicit can_controller_model(can_wire& wire);
  ~can_controller_model() override;

  // ---- SPI side
  void spi_select(bool selected) override;
  uint8_t spi_exchange(uint8_t out) override;

  // ---- wire side
  bool acknowledges(uint32_t rate) override;
  void on_frame(const can_frame& frame, uint32_t rate) override;

  // Interrupt output: true while the pin is driven low. on_int_changed is
  // called (without the lock) when it changes.
  bool int_asserted();
  std::function<void()> on_int_changed;

  // Power-up state (as after a RESET instruction).
  void power_up();

  // ---- observation
  uint8_t reg(uint8_t address);  // as a READ would give it, without side effects
  uint8_t mode();
  uint32_t bit_rate();           // bits per second from CNF1-3 and the clock
  uint32_t tec();
  uint32_t rec();
  bool bus_off();
  uint32_t resets();             // RESET instructions
  uint64_t instructions();
  uint64_t frames_sent();
  uint64_t frames_received();
  uint64_t frames_lost();        // receive overflows
  // Writes to a transmit buffer while its TXREQ was set (ignored by the chip).
  uint64_t pending_buffer_writes();

  // ---- faults
  // Nothing answers on the SPI port (reads float high) nor on the wire.
  void set_absent(bool on);
  // A requested operating mode (and the configuration mode of a reset) is
  // reached only after this many reads of CANSTAT.
  void set_mode_delay(uint32_t reads);
  // Error counters as if errors had happened; a transmit count above 255 is
  // bus-off (only a reset ends it).
  void set_error_counters(uint32_t tec, uint32_t rec);
  void set_clock(uint32_t hz);

 private:
  enum class spi_state : uint8_t { idle, instruction, read_address, read_data, write_address, write_data,
                                   modify_address, modify_mask, modify_data, status, ignore };

  void reset_locked();
  uint8_t read_locked(uint8_t address, bool side_effects);
  void write_locked(uint8_t address, uint8_t value, uint8_t mask);
  uint8_t canstat_locked();
  uint8_t eflg_locked();
  uint8_t status_locked();
  uint32_t bit_rate_locked();
  void request_mode_locked(uint8_t requested);
  void set_mode_locked(uint8_t m);
  void error_state_changed_locked(uint8_t before);
  bool receive_locked(const can_frame& frame);
  bool accepts_locked(unsigned buffer, const can_frame& frame, uint8_t* hit);
  void load_rx_locked(unsigned buffer, const can_frame& frame, uint8_t hit);
  int pending_tx_locked();
  can_frame tx_frame_locked(unsigned buffer);
  void transmit_pending();
  void finish(std::unique_lock<std::mutex>& lk);

  std::mutex m_lock;
  can_wire& m_wire;
  uint8_t m_regs[128] = {};
  uint8_t m_mode = CONFIGURATION;
  uint8_t m_requested = CONFIGURATION;
  uint32_t m_mode_wait = 0;
  uint32_t m_mode_delay = 0;
  uint32_t m_tec = 0, m_rec = 0;
  bool m_bus_off = false;
  uint8_t m_overflow = 0;  // EFLG bits 6-7
  spi_state m_state = spi_state::idle;
  uint8_t m_address = 0;
  uint8_t m_mask = 0;
  bool m_selected = false;
  bool m_absent = false;
  bool m_last_int = false;
  uint32_t m_clock = CLOCK;
  uint32_t m_resets = 0;
  uint64_t m_instructions = 0, m_sent = 0, m_received = 0, m_lost = 0, m_pending_writes = 0;
};

// ------------------------------------------------------------------ EPLD CAN FIFO

// The EPLD's packet FIFO at 0xF0500040 (offsets 0x40-0x43 of its window):
// writes to 0x40 enter the transmit FIFO, reads of 0x40 take the next byte
// received for the controller, bit 0 of 0x42 (and of 0x43) is set while the
// transmit FIFO is busy (half full or more). While receive bytes wait, EPLD
// source 4 (status bit 0x10) is pending.
//
// The EPLD takes packets that start 0x55 0xAA and end with a checksum that
// makes all bytes add up to 0: CAN frames (kind 0x01, 11-bit identifier;
// 0x02, 29-bit) go out on the CAN channel (0-15) the packet names, stream
// packets ('2', '3') and others are recorded. A frame that a node sends on a
// channel comes back to the controller as a CAN frame packet of the same
// form.
class epld_can_fifo : public bus_device {
 public:
  static constexpr uint32_t OFFSET = 0x40;
  static constexpr uint32_t SIZE = 4;
  static constexpr size_t TX_DEPTH = 1024;
  static constexpr size_t BUSY_LEVEL = TX_DEPTH / 2;
  static constexpr size_t RX_DEPTH = 4096;
  static constexpr unsigned CHANNELS = 16;

  // wires: CHANNELS wires, one per CAN channel.
  epld_can_fifo(epld_model& epld, can_wire* wires);
  ~epld_can_fifo() override;

  uint32_t read(uint32_t offset, unsigned width) override;
  void write(uint32_t offset, unsigned width, uint32_t value) override;

  // ---- the EPLD's side
  // While held, written bytes wait in the transmit FIFO (which then fills
  // and turns busy); otherwise each byte is taken at once.
  void set_hold(bool on);
  // Takes up to max waiting bytes; returns how many.
  size_t release(size_t max = SIZE_MAX);
  size_t tx_level();
  uint64_t tx_overruns();
  // Bytes for the controller (as if the display link had sent them).
  void inject(const std::vector<uint8_t>& bytes);
  size_t rx_level();
  uint64_t rx_overruns();
  // Well-formed packets taken, in order, as written; and the packets refused
  // (bad sync, length or checksum).
  std::vector<std::vector<uint8_t>> packets();
  std::vector<std::vector<uint8_t>> take_packets();
  uint64_t bad_packets();
  // The payload bytes of stream '2' or '3' so far.
  std::string stream(char which);

  // The far end of the module link (the distribution board): every packet
  // taken that is not a CAN frame packet, whole, as written. Called without
  // the FIFO's lock, so it may inject an answer. Set while the board is
  // quiet.
  std::function<void(const std::vector<uint8_t>& packet)> on_link_packet;

 private:
  class channel_node : public can_wire::node {
   public:
    channel_node(epld_can_fifo& fifo, unsigned ch) : m_fifo(fifo), m_channel(ch) {}
    bool acknowledges(uint32_t rate) override;
    void on_frame(const can_frame& frame, uint32_t rate) override;

   private:
    epld_can_fifo& m_fifo;
    unsigned m_channel;
  };
  struct outgoing {
    unsigned channel;
    can_frame frame;
    std::vector<uint8_t> link;  // a packet for the link's far end instead
  };

  void take_locked(size_t max, std::vector<outgoing>* out);
  void byte_locked(uint8_t b, std::vector<outgoing>* out);
  void packet_locked(std::vector<outgoing>* out);
  void push_rx(const std::vector<uint8_t>& bytes);
  void send(const std::vector<outgoing>& out);
  void update_pending();

  epld_model& m_epld;
  can_wire* m_wires;
  std::vector<std::unique_ptr<channel_node>> m_nodes;
  std::mutex m_lock;
  bool m_hold = false;
  std::deque<uint8_t> m_tx, m_rx;
  uint64_t m_tx_overruns = 0, m_rx_overruns = 0, m_bad = 0;
  std::vector<uint8_t> m_packet;  // the packet being parsed
  size_t m_expected = 0;          // its whole length once the length byte is in
  std::vector<std::vector<uint8_t>> m_packets;
  std::string m_stream2, m_stream3;
  bool m_pending = false;
};

}  // namespace board
