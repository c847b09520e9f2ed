// Interrupt controller and chip control models.
#include <atomic>
#include <cstdio>

#include "board_host.h"
#include "rtos_host.h"

namespace board {

extern std::atomic<void (*)()> g_external_vector;

// External IRQ pins (the low seven inputs) are active low at power-up, the
// on-chip sources active high.
uic_model::uic_model() : m_pr(0xFFFFFF80) {}

uint32_t uic_model::active_locked() {
  uint32_t active = m_forced;
  for (unsigned k = 0; k < 32; ++k) {
    if (!m_inputs[k]) continue;
    int level = m_inputs[k]();
    if (level < 0) continue;
    if (static_cast<uint32_t>(level) == ((m_pr >> k) & 1u)) active |= 1u << k;
  }
  return active;
}

void uic_model::evaluate_locked() {
  uint32_t active = active_locked();
  uint32_t rising = active & ~m_last_active;
  m_sr |= (active & ~m_tr) | (rising & m_tr);
  m_last_active = active;
}

uint32_t uic_model::read_dcr(uint32_t dcrn) {
  std::lock_guard<std::mutex> lk(m_lock);
  switch (dcrn) {
    case UIC0_SR: return m_sr;
    case UIC0_ER: return m_er;
    case UIC0_CR: return m_cr;
    case UIC0_PR: return m_pr;
    case UIC0_TR: return m_tr;
    case UIC0_MSR: return m_sr & m_er;
    case UIC0_VCR: return m_vcr;
    default: return 0;
  }
}

void uic_model::write_dcr(uint32_t dcrn, uint32_t value) {
  {
    std::lock_guard<std::mutex> lk(m_lock);
    switch (dcrn) {
      case UIC0_SR: m_sr &= ~value; break;
      case UIC0_ER: m_er = value; break;
      case UIC0_CR: m_cr = value; break;
      case UIC0_PR: m_pr = value; break;
      case UIC0_TR: m_tr = value; break;
      case UIC0_VCR: m_vcr = value; break;
      default: return;
    }
    evaluate_locked();
  }
  maybe_deliver();
}

void uic_model::connect(uint32_t bit, level_fn level) {
  for (unsigned k = 0; k < 32; ++k) {
    if (bit & (1u << k)) {
      std::lock_guard<std::mutex> lk(m_lock);
      m_inputs[k] = std::move(level);
      return;
    }
  }
}

void uic_model::input_changed(uint32_t) {
  {
    std::lock_guard<std::mutex> lk(m_lock);
    evaluate_locked();
  }
  maybe_deliver();
}

void uic_model::force(uint32_t mask, bool active) {
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_forced = active ? (m_forced | mask) : (m_forced & ~mask);
    evaluate_locked();
  }
  maybe_deliver();
}

uint32_t uic_model::status() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_sr;
}

uint32_t uic_model::enabled() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_er;
}

// The vector runs with the processor's external interrupts off, so a source
// that becomes pending meanwhile only latches; it is seen by the running
// vector or taken when the vector returns.
void uic_model::maybe_deliver() {
  {
    std::lock_guard<std::mutex> lk(m_lock);
    if (m_delivering || !(m_sr & m_er & ~m_cr) || !g_external_vector.load()) return;
    m_delivering = true;
  }
  // Looked up when it runs: a delivery held back by masked interrupts must
  // not outlive the board it was raised on.
  rtos::raise_interrupt([] {
    if (present()) uic().run_vector();
  });
}

void uic_model::run_vector() {
  // A source that its handler never clears would take the vector for ever,
  // as it would hang the board; here the storm is reported and delivery
  // given up so that the fault shows.
  constexpr uint64_t k_storm = 10000;
  for (uint64_t runs = 0;; ++runs) {
    void (*vector)() = nullptr;
    {
      std::lock_guard<std::mutex> lk(m_lock);
      vector = g_external_vector.load();
      uint32_t pending = m_sr & m_er & ~m_cr;
      if (!pending || !vector || runs == k_storm) {
        if (pending && vector)
          std::fprintf(stderr, "board: interrupt storm, status 0x%08X never served\n", pending);
        m_delivering = false;
        return;
      }
    }
    m_deliveries.fetch_add(1);
    vector();
  }
}

void cpc_model::write_dcr(uint32_t, uint32_t value) {
  m_cr0.store(value);
  if (on_change) on_change();
}

}  // namespace board
