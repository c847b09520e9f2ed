// Board memory and DMA channel 0.
#include "board_io.h"
#include "display_models.h"

namespace board {

// ------------------------------------------------------------------ memory

uint32_t memory_model::read(uint32_t offset, unsigned width) {
  m_reads.fetch_add(1);
  uint32_t v = 0;
  for (unsigned i = 0; i < width; ++i) v = (v << 8) | (offset + i < m_bytes.size() ? m_bytes[offset + i] : 0xFF);
  return v;
}

void memory_model::write(uint32_t offset, unsigned width, uint32_t value) {
  for (unsigned i = 0; i < width; ++i)
    if (offset + i < m_bytes.size()) m_bytes[offset + i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
}

uint8_t* memory_model::direct(uint32_t offset, uint32_t length) {
  if (offset > m_bytes.size() || length > m_bytes.size() - offset) return nullptr;
  return m_bytes.data() + offset;
}

// ------------------------------------------------------------------ DMA

uint32_t dma_model::read_dcr(uint32_t dcrn) {
  std::unique_lock<std::mutex> lk(m_lock);
  switch (dcrn) {
    case DMA0_CR0: return m_cr0;
    case DMA0_CT0: return m_ct0;
    case DMA0_DA0: return m_da0;
    case DMA0_SA0: return m_sa0;
    case DMA0_SR: {
      ++m_status_reads;
      if (m_pending && !m_stuck && m_wait > 0 && --m_wait == 0) {
        finish(lk);
        lk.lock();
      }
      return m_sr;
    }
    default: return 0;
  }
}

void dma_model::write_dcr(uint32_t dcrn, uint32_t value) {
  std::unique_lock<std::mutex> lk(m_lock);
  switch (dcrn) {
    case DMA0_CR0:
      m_cr0 = value;
      if (value & CR_ENABLE) {
        // A start while a transfer runs abandons it.
        m_pending = true;
        m_pending_source = m_sa0;
        m_pending_count = m_ct0;
        m_last_source = m_sa0;
        m_last_count = m_ct0;
        ++m_starts;
        m_wait = m_completion_reads;
        if (!m_stuck && m_wait == 0) finish(lk);
      }
      break;
    case DMA0_CT0: m_ct0 = value; break;
    case DMA0_DA0: m_da0 = value; break;
    case DMA0_SA0: m_sa0 = value; break;
    case DMA0_SR: m_sr &= ~value; break;
    default: break;
  }
}

// The channel reads the memory as it transfers: what the buffer holds when
// the transfer finishes is what the display gets.
bool dma_model::fetch_locked(std::vector<uint8_t>* out) {
  const uint64_t bytes = static_cast<uint64_t>(m_pending_count) * 2;
  if (bytes > 0xFFFFFFFFu) return false;
  const uint8_t* p = board_memory(m_pending_source, static_cast<uint32_t>(bytes));
  if (!p) return false;
  out->assign(p, p + bytes);
  return true;
}

// Ends the pending transfer; returns with the lock released.
void dma_model::finish(std::unique_lock<std::mutex>& lk) {
  std::vector<uint8_t> data;
  const bool ok = fetch_locked(&data);
  m_pending = false;
  m_cr0 &= ~CR_ENABLE;
  if (ok) {
    m_sr |= SR_TC0;
    ++m_completions;
  } else {
    m_sr |= SR_ERR0;
    ++m_errors;
  }
  auto sink = on_transfer;
  lk.unlock();
  if (ok && sink) sink(data.data(), data.size());
}

void dma_model::set_completion_reads(uint32_t reads) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_completion_reads = reads;
}

void dma_model::set_stuck(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_stuck = on;
}

uint64_t dma_model::starts() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_starts;
}
uint64_t dma_model::completions() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_completions;
}
uint64_t dma_model::errors() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_errors;
}
uint64_t dma_model::status_reads() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_status_reads;
}
uint32_t dma_model::last_count() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_last_count;
}
uint32_t dma_model::last_source() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_last_source;
}
uint32_t dma_model::control() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_cr0;
}

}  // namespace board
