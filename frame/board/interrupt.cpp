#include "frame/board/interrupt.h"

#include "board_io.h"
#include "frame/board/board_regs.h"
#include "frame/trace/trace.h"
#include "tx_api.h"

uint32_t g_interrupt_count = 0;
uint32_t g_ethernet_interrupt_count = 0;
uint8_t g_ethernet_activity = 0;

namespace {

Interrupt* s_handlers[32];
bool s_handlers_cleared = false;

CEpldInterrupt* s_sources[8];
bool s_epld_setup_done = false;

void (*s_ethernet_service[6])();
const uint32_t k_ethernet_bits[6] = {0x00200000, 0x00100000, 0x00080000, 0x00040000, 0x00020000, 0x00010000};

// A pass serves every pending bit once; a source still pending after this
// many passes is taken again when the vector returns.
constexpr int k_max_passes = 16;
constexpr int k_max_epld_passes = 8;

int lowest_bit(uint32_t mask) {
  for (int k = 0; k < 32; ++k)
    if (mask & (1u << k)) return k;
  return -1;
}

// A pending bit that nothing serves and that its source holds active would
// be taken again at once, for ever: switch it off at the controller.
void switch_off_if_still_pending(uint32_t bit) {
  if (mfdcr(UIC0_MSR) & bit) {
    mtdcr(UIC0_ER, mfdcr(UIC0_ER) & ~bit);
    monitor_printf("unserved isr:0x%08X disabled\n", bit);
  }
}

}  // namespace

void interrupt_set_ethernet_service(unsigned index, void (*service)()) {
  if (index < 6) s_ethernet_service[index] = service;
}

void interrupt_power_on() {
  for (auto& h : s_handlers) h = nullptr;
  for (auto& s : s_sources) s = nullptr;
  s_handlers_cleared = false;
  s_epld_setup_done = false;
}

Interrupt::Interrupt() {
  if (!s_handlers_cleared) {
    for (auto& h : s_handlers) h = nullptr;
    s_handlers_cleared = true;
    // The board start-up code's external-interrupt vector.
    board_install_external_vector(&Interrupt::DispatchWithInterruptsOff);
  }
}

// A handler never outlives its object.
Interrupt::~Interrupt() {
  for (auto& h : s_handlers)
    if (h == this) h = nullptr;
}

void Interrupt::Register(uint32_t mask, Interrupt* handler) {
  int k = lowest_bit(mask);
  if (!handler || k < 0) {
    monitor_printf("registering isr:0x%08X failed\n", mask);
    return;
  }
  s_handlers[k] = handler;
}

Interrupt* Interrupt::Lookup(uint32_t mask) {
  int k = lowest_bit(mask);
  return k < 0 ? nullptr : s_handlers[k];
}

void Interrupt::Unregister(uint32_t mask) {
  int k = lowest_bit(mask);
  if (k >= 0) s_handlers[k] = nullptr;
}

void Interrupt::DispatchExternal() {
  for (int pass = 0; pass < k_max_passes; ++pass) {
    uint32_t work = mfdcr(UIC0_MSR);
    if (!work) return;

    for (unsigned i = 0; i < 6; ++i) {
      uint32_t bit = k_ethernet_bits[i];
      if (!(work & bit)) continue;
      work &= ~bit;
      if (s_ethernet_service[i]) s_ethernet_service[i]();
      ++g_interrupt_count;
      ++g_ethernet_interrupt_count;
      g_ethernet_activity = 1;
    }
    mtdcr(UIC0_SR, UIC_ETHERNET_MASK);
    for (unsigned i = 0; i < 6; ++i)
      if (!s_ethernet_service[i]) switch_off_if_still_pending(k_ethernet_bits[i]);

    for (int k = 0; k < 32; ++k) {
      uint32_t bit = 1u << k;
      if (!(work & bit)) continue;
      ++g_interrupt_count;
      Interrupt* h = s_handlers[k];
      if (h) h->OnInterrupt();
      mtdcr(UIC0_SR, bit);
      if (!h) switch_off_if_still_pending(bit);
    }
  }
}

void Interrupt::DispatchWithInterruptsOff() {
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  DispatchExternal();
  tx_interrupt_control(posture);
}

// ------------------------------------------------------------------ EPLD

CEpldInterrupt::~CEpldInterrupt() {
  for (auto& s : s_sources)
    if (s == this) s = nullptr;
  // The EPLD line stays served while another source object remains.
  if (Interrupt::Lookup(UIC_EPLD) == this) {
    Interrupt::Unregister(UIC_EPLD);
    for (CEpldInterrupt* s : s_sources) {
      if (s) {
        Interrupt::Register(UIC_EPLD, s);
        break;
      }
    }
  }
}

void CEpldInterrupt::EnableLine() {
  mtdcr(CPC0_CR0, mfdcr(CPC0_CR0) & ~CPC0_CR0_IRQ1_GPIO);
  reg_write32(GPIO0_TCR, reg_read32(GPIO0_TCR) & ~GPIO0_TCR_IRQ1);
  mtdcr(UIC0_CR, mfdcr(UIC0_CR) & ~UIC_EPLD);
  mtdcr(UIC0_PR, mfdcr(UIC0_PR) | UIC_EPLD);
  mtdcr(UIC0_TR, mfdcr(UIC0_TR) & ~UIC_EPLD);
  mtdcr(UIC0_SR, mfdcr(UIC0_SR) | UIC_EPLD);
  mtdcr(UIC0_ER, mfdcr(UIC0_ER) | UIC_EPLD);
}

void CEpldInterrupt::Register(uint32_t mask, CEpldInterrupt* handler) {
  if (!s_epld_setup_done) {
    reg_write8(EPLD_SCRATCH, 0x55);
    if (reg_read8(EPLD_SCRATCH) != 0x55) {
      monitor_printf("EPLD Interrupt Error! Hardware Not Found! 0x%08X. \n", mask);
      return;
    }
    EnableLine();
    Interrupt::Register(UIC_EPLD, handler);
    s_epld_setup_done = true;
    for (auto& s : s_sources) s = nullptr;
  }
  if (!handler) {
    monitor_printf("Error! Interrupt EPLD Registration:0x%08X. \n", mask);
    return;
  }
  int k = lowest_bit(mask & 0xFF);
  if (k >= 0) s_sources[k] = handler;
}

void CEpldInterrupt::Unregister(uint32_t mask) {
  int k = lowest_bit(mask & 0xFF);
  if (k >= 0) s_sources[k] = nullptr;
}

void CEpldInterrupt::Dispatch() {
  uint8_t stuck = 0;  // sources that have no handler and no enable to clear
  uint8_t status = 0;
  for (int pass = 0; pass < k_max_epld_passes; ++pass) {
    status = reg_read8(EPLD_INT_STATUS);
    if (!(status & ~stuck)) break;
    for (int k = 0; k < 8; ++k) {
      uint8_t bit = static_cast<uint8_t>(1u << k);
      if (!(status & bit)) continue;
      if (s_sources[k]) {
        s_sources[k]->OnEpldInterrupt();
        continue;
      }
      if (stuck & bit) continue;
      monitor_printf("unknown epld interrupt 0x%08X\n", status);
      if (k < 4) {
        uint32_t channel = EPLD_QUAD_UART + 8u * k;
        reg_write8(channel + UART_LCR, reg_read8(channel + UART_LCR) & 0x7F);
        reg_write8(channel + UART_IER, 0);
      } else if (k == 4) {
        reg_write8(EPLD_FIFO_CONTROL, reg_read8(EPLD_FIFO_CONTROL) & 0x7F);
      } else {
        stuck |= bit;
      }
    }
  }
  // Only the line itself is left to switch such a source off.
  if (status & stuck) {
    mtdcr(UIC0_ER, mfdcr(UIC0_ER) & ~UIC_EPLD);
    monitor_printf("epld interrupt 0x%08X cannot be switched off, line disabled\n", status & stuck);
  }
}
