// Register models of the board's devices. The system reaches them only
// through board_io.h; tests and the host ends of the devices use the host-side
// operations declared here (the far end of a serial line, fault injection,
// observation).
//
// Locking: every model has its own lock and never calls another model, nor
// an interrupt notification, while holding it, except along this order:
// interrupt controller -> EPLD -> UART, GPIO -> EPLD configuration port,
// data-key port -> data-key memory, display FPGA -> EPLD configuration port.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace board {

// ------------------------------------------------------------------ bus

// A device on the processor's bus. Offsets are relative to the device's
// window; width is 1, 2 or 4 bytes.
class bus_device {
 public:
  virtual ~bus_device() = default;
  virtual uint32_t read(uint32_t offset, unsigned width) = 0;
  virtual void write(uint32_t offset, unsigned width, uint32_t value) = 0;
  // Memory reached with plain loads and stores: its bytes from offset on, or
  // null (registers, or a range that runs past the device).
  virtual uint8_t* direct(uint32_t offset, uint32_t length) { return nullptr; }
};

// A device of 32-bit registers: byte and half-word accesses are lanes of the
// word (big-endian); a narrow write changes only its lanes.
class word_device : public bus_device {
 public:
  uint32_t read(uint32_t offset, unsigned width) override;
  void write(uint32_t offset, unsigned width, uint32_t value) override;

 protected:
  virtual uint32_t read_word(uint32_t offset) = 0;
  virtual void write_word(uint32_t offset, uint32_t value) = 0;
};

class dcr_device {
 public:
  virtual ~dcr_device() = default;
  virtual uint32_t read_dcr(uint32_t dcrn) = 0;
  virtual void write_dcr(uint32_t dcrn, uint32_t value) = 0;
};

// The bus map. Devices are mapped while no system code runs (board reset);
// later models (CAN chip, data key, MAC, DMA) add themselves the same way.
void map_device(uint32_t base, uint32_t size, bus_device* device);
void map_dcr(uint32_t first, uint32_t count, dcr_device* device);
void unmap_all();
// Accesses that found nothing mapped, and the last such address.
uint64_t unmapped_accesses();
uint32_t last_unmapped_address();

// ------------------------------------------------------------------ UIC

// DCR numbers of the universal interrupt controller and chip control 0.
enum : uint32_t {
  UIC0_SR = 0xC0,
  UIC0_ER = 0xC2,
  UIC0_CR = 0xC3,
  UIC0_PR = 0xC4,
  UIC0_TR = 0xC5,
  UIC0_MSR = 0xC6,
  UIC0_VR = 0xC7,
  UIC0_VCR = 0xC8,
  CPC0_CR0 = 0xB1,
};

// The interrupt controller: 32 inputs, status latched per trigger mode
// (level: set while the input is active, edge: set on the active edge),
// write-one-to-clear status, masked status = status & enable. While an
// enabled, non-critical status bit is set the processor's external-interrupt
// vector runs in interrupt context; it is taken again after it returns for
// as long as one is set, and never nested.
class uic_model : public dcr_device {
 public:
  // Pin level of an input: 1 high, 0 low, -1 not connected (never active).
  // An input is active when its level equals its polarity bit.
  using level_fn = std::function<int()>;

  uic_model();
  uint32_t read_dcr(uint32_t dcrn) override;
  void write_dcr(uint32_t dcrn, uint32_t value) override;

  void connect(uint32_t bit, level_fn level);
  // A device's output changed: re-evaluate these inputs and deliver.
  void input_changed(uint32_t mask);
  // Test lines: active while forced, whatever the polarity.
  void force(uint32_t mask, bool active);

  uint32_t status();
  uint32_t enabled();
  uint64_t deliveries() const { return m_deliveries.load(); }
  // Runs the vector while a delivery is due (interrupt context).
  void run_vector();

 private:
  uint32_t active_locked();
  void evaluate_locked();
  void maybe_deliver();

  std::mutex m_lock;
  uint32_t m_sr = 0, m_er = 0, m_cr = 0, m_pr = 0, m_tr = 0, m_vcr = 0;
  uint32_t m_last_active = 0;
  uint32_t m_forced = 0;
  level_fn m_inputs[32];
  bool m_delivering = false;
  std::atomic<uint64_t> m_deliveries{0};
};

// Chip control register 0 (only the bit that routes the IRQ1 pin matters).
class cpc_model : public dcr_device {
 public:
  static constexpr uint32_t IRQ1_AS_GPIO = 0x40000;
  uint32_t read_dcr(uint32_t) override { return m_cr0.load(); }
  void write_dcr(uint32_t, uint32_t value) override;
  uint32_t cr0() const { return m_cr0.load(); }
  std::function<void()> on_change;

 private:
  std::atomic<uint32_t> m_cr0{0x40000};
};

// ------------------------------------------------------------------ 16550

// A 16550-type UART: 16-byte FIFOs (one-byte holding registers while the
// FIFOs are off), divisor latch, line and modem status, and the four
// interrupt causes with their priorities and clearing rules. The far end of
// the line (a host end or a test) uses the line-side operations.
class uart16550 : public bus_device {
 public:
  static constexpr size_t FIFO_DEPTH = 16;

  // out2_gates: the interrupt output is enabled by OUT2 (modem control bit 3).
  explicit uart16550(bool out2_gates);

  uint32_t read(uint32_t offset, unsigned width) override;
  void write(uint32_t offset, unsigned width, uint32_t value) override;

  // Interrupt output; on_irq_changed is called (without the lock) when it
  // changes. on_tx is called when bytes enter the transmit FIFO.
  bool irq();
  std::function<void()> on_irq_changed;
  std::function<void()> on_tx;

  // ---- line side
  // Bytes arriving from the far end; they enter the receive FIFO as it has
  // room (and, with honour_rts, while RTS is on).
  void rx_offer(const uint8_t* data, size_t length);
  size_t rx_backlog();
  // Error bits (line status bits 1-4) that arrive with the line now.
  void rx_line_error(uint8_t lsr_bits);
  // Shifts up to max bytes out of the transmit FIFO.
  size_t tx_take(uint8_t* out, size_t max);
  size_t tx_level();
  bool tx_full();
  void set_honour_rts(bool on);
  void set_cts(bool on);
  void set_dsr(bool on);
  void set_dcd(bool on);
  void set_ri(bool on);
  bool rts();
  bool dtr();
  bool out2();

  // ---- observation
  uint16_t divisor();
  uint8_t lcr();
  uint8_t ier();
  uint8_t mcr();
  uint8_t scratch();
  size_t rx_level();
  uint64_t tx_overruns();   // bytes written to a full transmit FIFO (lost)
  size_t tx_peak();         // most bytes the transmit FIFO ever held
  uint64_t thr_writes();

 private:
  enum class cause : uint8_t { none, line, rx, timeout, thre, modem };
  cause cause_locked();
  uint8_t iir_locked();
  uint8_t lsr_locked();
  uint8_t msr_locked();
  bool irq_locked();
  void refill_locked();
  void finish(std::unique_lock<std::mutex>& lk);
  size_t depth_locked() const { return m_fifo_on ? FIFO_DEPTH : 1; }
  void modem_input(uint8_t bit, bool on);

  std::mutex m_lock;
  const bool m_out2_gates;
  uint8_t m_ier = 0, m_lcr = 0, m_mcr = 0, m_scr = 0, m_dll = 0, m_dlm = 0;
  uint8_t m_lsr_err = 0;     // bits 1-4 until line status is read
  uint8_t m_msr_delta = 0;   // bits 0-3 until modem status is read
  uint8_t m_msr_lines = 0;   // bits 4-7: CTS, DSR, RI, DCD as seen by the UART
  bool m_fifo_on = false;
  unsigned m_trigger = 1;
  bool m_thre_pending = false;
  std::deque<uint8_t> m_rx, m_tx, m_backlog;
  bool m_honour_rts = false;
  bool m_last_irq = false;
  bool m_tx_written = false;
  uint64_t m_tx_overruns = 0, m_thr_writes = 0;
  size_t m_tx_peak = 0;
};

// ------------------------------------------------------------------ EPLD

class epld_model;

// Passive-serial configuration port of the EPLD, wired to GPIO pins: a low
// pulse on nCONFIG clears the device; once nSTATUS is released, each rising
// DCLK edge shifts in DATA0, least significant bit of each byte first. A
// complete, valid image raises CONF_DONE; a bad image pulls nSTATUS low.
// The image layout is that of tools/gen_epld_images.py.
class epld_config_port {
 public:
  static constexpr uint32_t IMAGE_SIZE = 98023;

  explicit epld_config_port(epld_model& epld) : m_epld(epld) {}

  // Pins from the GPIO outputs; results from the input pins.
  void pins(bool nconfig, bool data0, bool dclk);
  bool nstatus();
  bool conf_done();

  // Power-up state: configured with an image already (as after the boot
  // monitor loaded one), or blank.
  void power_up(bool configured);

  // ---- faults
  // nSTATUS is never released after a configuration pulse.
  void set_stuck_status(bool on);
  // nSTATUS is released only after this many reads of it.
  void set_release_delay(uint32_t reads);
  // A configuration error once byte `index` (0-based) is in, for the next
  // `attempts` configuration attempts (-1: every attempt).
  void set_error_at_byte(int64_t index, int attempts = 1);

  // ---- observation
  uint32_t attempts();          // configuration pulses seen
  uint32_t bytes_received();    // bytes of the current attempt
  std::string part_number();    // of the image that configured the device
  bool configured();

 private:
  enum class state { blank, waiting_release, receiving, error, done };
  void byte_in(uint8_t b);

  std::mutex m_lock;
  epld_model& m_epld;
  state m_state = state::blank;
  bool m_nconfig = true, m_dclk = false;
  uint32_t m_attempts = 0;
  uint32_t m_count = 0;
  uint8_t m_shift = 0;
  unsigned m_bits = 0;
  uint32_t m_crc = 0;
  uint8_t m_header[40] = {};
  uint8_t m_tail[4] = {};
  std::string m_part;
  bool m_stuck = false;
  uint32_t m_release_delay = 0, m_release_reads = 0;
  int64_t m_error_at = -1;
  int m_error_attempts = 0;
  bool m_error_armed = false;
};

// The EPLD's register window at 0xF0500000: the quad UART's four channels,
// the interrupt status of its eight sources, control registers. Without a
// configuration it does not answer (reads all ones).
class epld_model : public bus_device {
 public:
  static constexpr uint32_t BASE = 0xF0500000;
  static constexpr uint32_t SIZE = 0x100;
  static constexpr uint32_t STATUS = 0x21;
  static constexpr uint32_t FIFO_ENABLE = 0x28;  // bit 7: module-data FIFO interrupt enable

  epld_model();
  uint32_t read(uint32_t offset, unsigned width) override;
  void write(uint32_t offset, unsigned width, uint32_t value) override;

  // Combined interrupt output (active high) and its change notification.
  bool line();
  std::function<void()> on_line_changed;

  uart16550& channel(unsigned k) { return *m_channels[k]; }
  void set_configured(bool on);
  bool configured() const { return m_configured.load(); }

  // A later model takes over a range of the window (offsets relative to the
  // range); the rest are plain registers.
  void attach(uint32_t offset, uint32_t size, bus_device* device);

  // ---- sources without a model yet
  void set_fifo_pending(bool on);        // source 4, the module-data FIFO
  void set_extra_sources(uint8_t bits);  // sources 5-7
  uint8_t status();
  uint8_t reg(uint32_t offset);           // a control register's value

 private:
  uint8_t read_byte(uint32_t offset);
  void write_byte(uint32_t offset, uint8_t value);
  uint8_t status_locked();
  void changed();

  std::mutex m_lock;
  std::atomic<bool> m_configured{false};
  std::vector<std::unique_ptr<uart16550>> m_channels;
  uint8_t m_regs[SIZE] = {};
  bool m_fifo_pending = false;
  uint8_t m_extra = 0;
  struct part {
    uint32_t offset, size;
    bus_device* device;
  };
  std::vector<part> m_parts;
};

// ------------------------------------------------------------------ GPIO, CPLD

// GPIO0 at 0xEF600700: output register, three-state control, open drain,
// input register. The EPLD configuration pins hang on it.
class gpio_model : public word_device {
 public:
  static constexpr uint32_t BASE = 0xEF600700;
  static constexpr uint32_t NCONFIG = 0x40000000, DATA0 = 0x10000000, DCLK = 0x08000000;
  static constexpr uint32_t NSTATUS = 0x20000000, CONF_DONE = 0x00800000;
  static constexpr uint32_t IRQ1_OUTPUT = 0x2000;  // TCR bit of the IRQ1 pin

  explicit gpio_model(epld_config_port& config) : m_config(config) {}
  uint32_t tcr() const { return m_tcr.load(); }
  uint32_t output() const { return m_or.load(); }
  std::function<void()> on_tcr_change;

 protected:
  uint32_t read_word(uint32_t offset) override;
  void write_word(uint32_t offset, uint32_t value) override;

 private:
  epld_config_port& m_config;
  std::atomic<uint32_t> m_or{NCONFIG};
  std::atomic<uint32_t> m_tcr{NCONFIG | DATA0 | DCLK | IRQ1_OUTPUT};
  std::atomic<uint32_t> m_odr{0};
};

// A device on the board logic's SPI port.
class spi_device {
 public:
  virtual ~spi_device() = default;
  // Chip select asserted (true) or released.
  virtual void spi_select(bool selected) = 0;
  // One byte each way while selected: returns the byte the device shifts
  // out while it takes `out`.
  virtual uint8_t spi_exchange(uint8_t out) = 0;
};

// Board logic at 0xF0200000: the write-only control register, the SPI port's
// control and status (board id / clock field in bits 9-12 of the status).
//
// SPI control (0xF0200002): bits 0-7 the byte to send, bits 8-9 chip select
// (0 device 0, 1 device 1, 2 or 3 none), 0x400 read transfer, 0x800 start (a
// transfer begins when the bit goes from 0 to 1), 0x1000 reset of the SPI
// logic. SPI status (0xF0200004): bits 0-7 the byte received by the last
// transfer, 0x100 done (no transfer in progress).
class cpld_model : public bus_device {
 public:
  static constexpr uint32_t BASE = 0xF0200000;

  explicit cpld_model(uint8_t board_id) : m_board_id(board_id & 0x0F) {}
  uint32_t read(uint32_t offset, unsigned width) override;
  void write(uint32_t offset, unsigned width, uint32_t value) override;
  uint16_t control() const { return m_control.load(); }
  uint32_t control_writes() const { return m_control_writes.load(); }

  // Device 0 or 1 of the SPI port.
  void attach_spi(unsigned device, spi_device* d);

  // ---- SPI faults and observation
  // A transfer shows done only after this many status reads.
  void set_spi_latency(uint32_t reads);
  // Transfers never finish (a broken SPI clock): nothing is exchanged.
  void set_spi_stuck(bool on);
  uint16_t spi_control();
  uint64_t spi_transfers();
  uint32_t spi_resets();

 private:
  void spi_control_write(uint16_t value);
  uint16_t spi_status_read();
  void spi_finish_locked();
  spi_device* spi_selected_locked();

  const uint8_t m_board_id;
  std::atomic<uint16_t> m_control{0x0086};
  std::atomic<uint32_t> m_control_writes{0};
  // The SPI logic. Recursive: an interrupt routine that a device's change
  // raises may run on the same host thread and use the port.
  std::recursive_mutex m_spi_lock;
  spi_device* m_spi[2] = {nullptr, nullptr};
  uint16_t m_spi_control = 0x0200;
  uint8_t m_spi_rx = 0;
  bool m_spi_busy = false;
  uint8_t m_spi_out = 0;
  uint32_t m_spi_wait = 0;
  uint32_t m_spi_latency = 0;
  bool m_spi_stuck = false;
  uint64_t m_spi_transfers = 0;
  uint32_t m_spi_resets = 0;
};

}  // namespace board
