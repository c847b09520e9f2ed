// The SPI port of the board logic: one byte each way per transfer, two chip
// selects.
#include "board_models.h"

namespace board {

namespace {

constexpr uint16_t DATA = 0x00FF;
constexpr uint16_t SELECT = 0x0300;
constexpr uint16_t START = 0x0800;
constexpr uint16_t RESET = 0x1000;
constexpr uint16_t DONE = 0x0100;

// Device index of a chip-select field, or -1 for none.
int device_of(uint16_t control) {
  unsigned sel = (control & SELECT) >> 8;
  return sel < 2 ? static_cast<int>(sel) : -1;
}

}  // namespace

void cpld_model::attach_spi(unsigned device, spi_device* d) {
  std::lock_guard<std::recursive_mutex> lk(m_spi_lock);
  if (device < 2) m_spi[device] = d;
}

spi_device* cpld_model::spi_selected_locked() {
  int k = device_of(m_spi_control);
  return k < 0 ? nullptr : m_spi[k];
}

void cpld_model::spi_finish_locked() {
  spi_device* d = spi_selected_locked();
  // Nothing selected, or nothing there: the input floats high.
  m_spi_rx = d ? d->spi_exchange(m_spi_out) : 0xFF;
  m_spi_busy = false;
  ++m_spi_transfers;
}

void cpld_model::spi_control_write(uint16_t value) {
  std::lock_guard<std::recursive_mutex> lk(m_spi_lock);
  uint16_t before = m_spi_control;
  if (value & RESET) {
    m_spi_busy = false;
    m_spi_rx = 0;
    ++m_spi_resets;
  }
  int was = device_of(before), now = device_of(value);
  m_spi_control = value;
  if (was != now) {
    if (was >= 0 && m_spi[was]) m_spi[was]->spi_select(false);
    if (now >= 0 && m_spi[now]) m_spi[now]->spi_select(true);
  }
  if ((value & START) && !(before & START) && !(value & RESET)) {
    m_spi_out = static_cast<uint8_t>(value & DATA);
    m_spi_busy = true;
    m_spi_wait = m_spi_latency;
    if (!m_spi_stuck && m_spi_wait == 0) spi_finish_locked();
  }
}

uint16_t cpld_model::spi_status_read() {
  std::lock_guard<std::recursive_mutex> lk(m_spi_lock);
  if (m_spi_busy && !m_spi_stuck) {
    if (m_spi_wait == 0)
      spi_finish_locked();
    else
      --m_spi_wait;
  }
  return static_cast<uint16_t>(m_board_id << 9 | (m_spi_busy ? 0 : DONE) | m_spi_rx);
}

uint16_t cpld_model::spi_control() {
  std::lock_guard<std::recursive_mutex> lk(m_spi_lock);
  return m_spi_control;
}

void cpld_model::set_spi_latency(uint32_t reads) {
  std::lock_guard<std::recursive_mutex> lk(m_spi_lock);
  m_spi_latency = reads;
}

void cpld_model::set_spi_stuck(bool on) {
  std::lock_guard<std::recursive_mutex> lk(m_spi_lock);
  m_spi_stuck = on;
}

uint64_t cpld_model::spi_transfers() {
  std::lock_guard<std::recursive_mutex> lk(m_spi_lock);
  return m_spi_transfers;
}

uint32_t cpld_model::spi_resets() {
  std::lock_guard<std::recursive_mutex> lk(m_spi_lock);
  return m_spi_resets;
}

}  // namespace board
