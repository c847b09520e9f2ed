// The board: its models, their places on the bus and their interrupt wiring.
#include "board_host.h"
#include "board_io.h"
#include "can_models.h"
#include "display_models.h"
#include "emac_models.h"

namespace board {

namespace {

struct the_board {
  uic_model uic;
  cpc_model cpc;
  epld_model epld;
  epld_config_port config{epld};
  gpio_model gpio{config};
  cpld_model cpld;
  uart16550 uart0{false}, uart1{false};
  std::unique_ptr<serial_line> lines[6];
  // The wires outlive the nodes the board attaches to them.
  can_wire q5_wire{"q5"};
  can_wire epld_wires[epld_can_fifo::CHANNELS];
  can_wire panel_wire{"panel"};
  can_controller_model can_chip{q5_wire};
  epld_can_fifo can_fifo{epld, epld_wires};
  module_response_model module_responses;
  datakey_memory key;
  datakey_port datakey;
  memory_model low_memory{LOW_MEMORY_SIZE};
  memory_model frame_memory{FRAME_MEMORY_SIZE};
  dma_model dma;
  display_output_model display{config};
  emac_model emac;
  memory_model ethernet_memory{ETHERNET_MEMORY_SIZE};
  memory_model packet_memory{PACKET_MEMORY_SIZE};

  explicit the_board(const board_config& c) : cpld(c.board_id), key(c.datakey.size, c.datakey.file) {}
};

std::unique_ptr<the_board> g_board;

}  // namespace

void shutdown() {
  if (!g_board) return;
  // Host ends first: their threads may be delivering interrupts.
  for (auto& l : g_board->lines) l.reset();
  unmap_all();
  g_board.reset();
}

void reset(const board_config& config) {
  shutdown();
  g_board = std::make_unique<the_board>(config);
  the_board& b = *g_board;

  map_dcr(UIC0_SR, 9, &b.uic);
  map_dcr(CPC0_CR0, 1, &b.cpc);
  map_device(0xEF600300, 8, &b.uart0);
  map_device(0xEF600400, 8, &b.uart1);
  map_device(gpio_model::BASE, 0x20, &b.gpio);
  map_device(cpld_model::BASE, 0x10, &b.cpld);
  map_device(epld_model::BASE, epld_model::SIZE, &b.epld);
  b.epld.attach(epld_can_fifo::OFFSET, epld_can_fifo::SIZE, &b.can_fifo);
  b.epld.attach(module_response_model::OFFSET, module_response_model::SIZE, &b.module_responses);
  b.cpld.attach_spi(0, &b.can_chip);
  b.epld.attach(datakey_port::OFFSET, datakey_port::SIZE, &b.datakey);
  if (config.datakey.inserted) b.datakey.insert(&b.key);
  map_device(LOW_MEMORY_BASE, LOW_MEMORY_SIZE, &b.low_memory);
  map_device(FRAME_MEMORY_BASE, FRAME_MEMORY_SIZE, &b.frame_memory);
  map_dcr(dma_model::DMA0_CR0, 4, &b.dma);
  map_dcr(dma_model::DMA0_SR, 1, &b.dma);
  map_device(display_output_model::BASE, display_output_model::SIZE, &b.display);
  map_device(emac_model::BASE, emac_model::SIZE, &b.emac);
  map_dcr(emac_model::MAL_FIRST_DCR, emac_model::MAL_DCRS, &b.emac);
  map_dcr(emac_model::CHIP_ETH, 1, &b.emac);
  map_device(ETHERNET_MEMORY_BASE, ETHERNET_MEMORY_SIZE, &b.ethernet_memory);
  map_device(PACKET_MEMORY_BASE, PACKET_MEMORY_SIZE, &b.packet_memory);
  // DMA channel 0 feeds the display FPGA.
  display_output_model* display = &b.display;
  b.dma.on_transfer = [display](const uint8_t* data, size_t length) { display->receive(data, length); };

  // Interrupt wiring. The EPLD's output reaches IRQ1 only while the shared
  // pin is switched to interrupt use and not driven by GPIO.
  uic_model* uic = &b.uic;
  b.uart0.on_irq_changed = [uic] { uic->input_changed(IRQ_UART0); };
  b.uart1.on_irq_changed = [uic] { uic->input_changed(IRQ_UART1); };
  b.epld.on_line_changed = [uic] { uic->input_changed(IRQ_EPLD); };
  b.cpc.on_change = [uic] { uic->input_changed(IRQ_EPLD); };
  b.gpio.on_tcr_change = [uic] { uic->input_changed(IRQ_EPLD); };
  uart16550* u0 = &b.uart0;
  uart16550* u1 = &b.uart1;
  epld_model* epld = &b.epld;
  cpc_model* cpc = &b.cpc;
  gpio_model* gpio = &b.gpio;
  b.uic.connect(IRQ_UART0, [u0] { return u0->irq() ? 1 : 0; });
  b.uic.connect(IRQ_UART1, [u1] { return u1->irq() ? 1 : 0; });
  // The CAN controller's interrupt output is active low.
  can_controller_model* chip = &b.can_chip;
  b.can_chip.on_int_changed = [uic] { uic->input_changed(IRQ_CAN); };
  b.uic.connect(IRQ_CAN, [chip] { return chip->int_asserted() ? 0 : 1; });
  b.uic.connect(IRQ_EPLD, [epld, cpc, gpio] {
    if ((cpc->cr0() & cpc_model::IRQ1_AS_GPIO) || (gpio->tcr() & gpio_model::IRQ1_OUTPUT)) return -1;
    return epld->line() ? 1 : 0;
  });

  // The six Ethernet sources, each a level of the MAL or the EMAC.
  emac_model* emac = &b.emac;
  b.emac.on_irq_changed = [uic](uint32_t mask) { uic->input_changed(mask); };
  for (uint32_t bit = emac_model::IRQ_EMAC; bit <= emac_model::IRQ_SERR; bit <<= 1)
    b.uic.connect(bit, [emac, bit] { return emac->irq(bit) ? 1 : 0; });

  b.config.power_up(config.epld_configured);
  for (unsigned p = 0; p < 6; ++p)
    b.lines[p] = std::make_unique<serial_line>(uart(p), config.serial[p]);
}

bool present() { return g_board != nullptr; }

uic_model& uic() { return g_board->uic; }
cpc_model& cpc() { return g_board->cpc; }
gpio_model& gpio() { return g_board->gpio; }
cpld_model& cpld() { return g_board->cpld; }
epld_model& epld() { return g_board->epld; }
epld_config_port& epld_config() { return g_board->config; }

can_controller_model& can_chip() { return g_board->can_chip; }
epld_can_fifo& can_fifo() { return g_board->can_fifo; }
module_response_model& module_responses() { return g_board->module_responses; }
can_wire& q5_wire() { return g_board->q5_wire; }
can_wire& epld_wire(unsigned channel) { return g_board->epld_wires[channel % epld_can_fifo::CHANNELS]; }
can_wire& panel_can_wire() { return g_board->panel_wire; }

datakey_port& datakey() { return g_board->datakey; }
datakey_memory& datakey_key() { return g_board->key; }

memory_model& frame_memory() { return g_board->frame_memory; }
dma_model& dma() { return g_board->dma; }
display_output_model& display_output() { return g_board->display; }
emac_model& emac() { return g_board->emac; }

uart16550& uart(unsigned port) {
  if (port == 0) return g_board->uart0;
  if (port == 1) return g_board->uart1;
  return g_board->epld.channel((port - 2) & 3);
}

serial_line& serial(unsigned port) { return *g_board->lines[port % 6]; }

}  // namespace board
