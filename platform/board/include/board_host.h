// Host-side control of the board models: building the board from its host
// configuration, reaching each model, and the host end of each serial port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "board_models.h"
#include "can_models.h"
#include "datakey_model.h"
#include "display_models.h"
#include "emac_models.h"
#include "module_response_model.h"

namespace board {

// Host end of a serial port.
enum class serial_kind {
  none,  // nothing attached: transmitted bytes are lost, nothing arrives
  pipe,  // in memory, driven by the test (serial_line's far-end operations)
  pty,   // a pseudo-terminal; a terminal program opens serial_line::pty_path()
  tcp,   // a listener on 127.0.0.1; one client at a time is the far end
  stdio, // the program's own standard input and output (the console)
};

struct serial_end {
  serial_kind kind = serial_kind::pipe;
  uint16_t tcp_port = 0;   // 0: an ephemeral port, see serial_line::tcp_port()
  std::string pty_link;    // when set, a symbolic link to the pty's slave
};

// Parses "none", "pipe", "stdio", "pty", "pty:<link path>", "tcp" or
// "tcp:<port>".
bool parse_serial_end(const std::string& text, serial_end* out);

// The data key in the front panel's socket.
struct datakey_config {
  bool inserted = false;  // a key sits in the socket at power-up
  std::string file;       // its contents on the host (empty: in memory only)
  uint32_t size = datakey_memory::DEFAULT_SIZE;
};

struct board_config {
  uint8_t board_id = 5;           // bits 9-12 of 0xF0200004 (also the clock field)
  bool epld_configured = true;    // the EPLD holds an image at power-up
  serial_end serial[6];           // ports 0-1: processor UARTs, 2-5: quad UART channels
  datakey_config datakey;
};

// The far end of one serial port.
class serial_line {
 public:
  serial_line(uart16550& uart, const serial_end& end);
  ~serial_line();
  serial_line(const serial_line&) = delete;
  serial_line& operator=(const serial_line&) = delete;

  uart16550& uart() { return m_uart; }
  serial_kind kind() const { return m_end.kind; }

  // ---- pipe ends
  // Sends bytes to the port's receiver.
  void send(const std::string& bytes);
  // Shifts up to max bytes out of the port's transmitter to the far end (one
  // step of the line); returns how many moved. The transmitter only empties
  // when the far end takes its bytes, so tests see the FIFO fill.
  size_t transmit(size_t max = SIZE_MAX);
  // Transmits until the transmitter stays empty (bounded); returns the bytes.
  size_t transmit_all();
  // What the far end has received so far.
  std::string received();
  std::string take_received();
  // Transmitted bytes come back to the receiver (a loopback plug).
  void set_loopback(bool on) { m_loopback = on; }
  // The far end keeps up with the line: a full transmitter is emptied at
  // once, in the writer's thread, and the bytes wait in received() for
  // whoever serves the device at its own pace; transmit() takes the rest.
  // Only before system code runs.
  void keep_up();

  // ---- pty and tcp ends
  std::string pty_path() const { return m_pty_path; }
  uint16_t tcp_port() const { return m_tcp_port; }
  bool connected() const { return m_connected.load(); }

 private:
  void pump();
  void wake();
  void drain_in_writer();
  bool take_console_text(bool idle, std::string* text);
  void deliver(const uint8_t* data, size_t n);
  bool open_pty();
  bool open_tcp();
  void set_connected(bool on);

  uart16550& m_uart;
  serial_end m_end;
  std::mutex m_lock;
  std::string m_received;
  bool m_loopback = false;
  bool m_keep_up = false;
  // pty / tcp
  int m_fd = -1;          // pty master, the connected client, or standard input
  int m_out = -1;         // where transmitted bytes go when not m_fd (standard output)
  bool m_input_open = true;
  int m_slave = -1;       // kept open so the master never sees a hang-up
  int m_listen = -1;
  int m_wake[2] = {-1, -1};
  std::string m_pty_path;
  uint16_t m_tcp_port = 0;
  std::atomic<bool> m_connected{false};
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
  // stdio: the console's text, held until a line ends or the output pauses
  std::mutex m_text_lock;
  std::string m_text;
  uint64_t m_text_bytes = 0;  // ever appended, to see a pause
  std::atomic<bool> m_draining{false}, m_tx_more{false};
};

// The whole board. reset() builds it from a configuration (stopping the
// previous one first); shutdown() stops the host ends and unmaps everything.
// Neither may run while system code runs.
void reset(const board_config& config = board_config());
void shutdown();
bool present();

uic_model& uic();
cpc_model& cpc();
gpio_model& gpio();
cpld_model& cpld();
epld_model& epld();
epld_config_port& epld_config();
// Port 0 and 1: processor UARTs at 0xEF600300 / 0xEF600400; ports 2-5: quad
// UART channels 0-3 at 0xF0500000 + 8k.
uart16550& uart(unsigned port);
serial_line& serial(unsigned port);
// The CAN controller on SPI device 0 and the wire of its bus; the EPLD's CAN
// packet FIFO and the wires of its CAN channels 0-15. Simulated boards and
// tests attach to the wires (and detach before the board is reset).
can_controller_model& can_chip();
can_wire& q5_wire();
epld_can_fifo& can_fifo();
can_wire& epld_wire(unsigned channel);
// The bus on the front-panel unit's own CAN port (sensor bus C): the unit
// on the panel line and the boards cabled to its port attach here.
can_wire& panel_can_wire();
// The EPLD's module-response registers, which the module link latches.
module_response_model& module_responses();
// The EPLD's data-key interface and its socket; the board's own key (the
// configured one, kept whether or not it is inserted).
datakey_port& datakey();
datakey_memory& datakey_key();
// The memory reserved for frame transfers, DMA channel 0 and the display
// FPGA that it feeds.
memory_model& frame_memory();
dma_model& dma();
display_output_model& display_output();
// The Ethernet MAC with its MAL and PHY.
emac_model& emac();

// UIC input bits of the board's devices.
enum : uint32_t {
  IRQ_UART0 = 0x80000000,
  IRQ_UART1 = 0x40000000,
  IRQ_EPLD = 0x00000020,
  IRQ_CAN = 0x00000004,
};

// Clock of the processor UARTs (boot-monitor service 53 divides it).
constexpr uint32_t UART_CLOCK = 11059200;

}  // namespace board
