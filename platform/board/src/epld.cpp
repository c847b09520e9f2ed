// EPLD register window and its passive-serial configuration port.
#include <zlib.h>

#include <cstring>

#include "board_models.h"

namespace board {

// ------------------------------------------------------------------ EPLD

epld_model::epld_model() {
  for (unsigned k = 0; k < 4; ++k) {
    m_channels.push_back(std::make_unique<uart16550>(true));
    m_channels.back()->on_irq_changed = [this] { changed(); };
  }
}

void epld_model::changed() {
  if (on_line_changed) on_line_changed();
}

uint8_t epld_model::status_locked() {
  uint8_t s = m_extra & 0xE0;
  for (unsigned k = 0; k < 4; ++k)
    if (m_channels[k]->irq()) s |= 1u << k;
  if (m_fifo_pending && (m_regs[FIFO_ENABLE] & 0x80)) s |= 0x10;
  return s;
}

uint8_t epld_model::status() {
  std::lock_guard<std::mutex> lk(m_lock);
  return status_locked();
}

bool epld_model::line() {
  if (!m_configured.load()) return false;
  return status() != 0;
}

uint8_t epld_model::read_byte(uint32_t offset) {
  if (!m_configured.load()) return 0xFF;
  // Channel registers are served without the EPLD's lock: a read may change
  // the channel's interrupt, whose notification comes back through here.
  if (offset < 0x20) return static_cast<uint8_t>(m_channels[offset >> 3]->read(offset & 7, 1));
  for (const part& p : m_parts)
    if (offset - p.offset < p.size) return static_cast<uint8_t>(p.device->read(offset - p.offset, 1));
  std::lock_guard<std::mutex> lk(m_lock);
  if (offset == STATUS) return status_locked();
  return m_regs[offset];
}

void epld_model::write_byte(uint32_t offset, uint8_t value) {
  if (!m_configured.load()) return;
  if (offset < 0x20) {
    m_channels[offset >> 3]->write(offset & 7, 1, value);
    return;
  }
  if (offset == STATUS) return;
  for (const part& p : m_parts) {
    if (offset - p.offset < p.size) {
      p.device->write(offset - p.offset, 1, value);
      return;
    }
  }
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_regs[offset] = value;
  }
  if (offset == FIFO_ENABLE) changed();
}

uint32_t epld_model::read(uint32_t offset, unsigned width) {
  uint32_t v = 0;
  for (unsigned i = 0; i < width; ++i) v = (v << 8) | read_byte((offset + i) % SIZE);
  return v;
}

void epld_model::write(uint32_t offset, unsigned width, uint32_t value) {
  for (unsigned i = 0; i < width; ++i)
    write_byte((offset + i) % SIZE, (value >> (8 * (width - 1 - i))) & 0xFF);
}

void epld_model::attach(uint32_t offset, uint32_t size, bus_device* device) { m_parts.push_back({offset, size, device}); }

void epld_model::set_configured(bool on) {
  if (on) {
    // A fresh configuration starts the EPLD's own registers from the image's
    // power-up state (the display driver sets its enables again). The quad
    // UART's channels keep their set-up: nothing opens the serial ports
    // again after the sign's module type is programmed anew.
    std::lock_guard<std::mutex> lk(m_lock);
    std::memset(m_regs, 0, sizeof m_regs);
  }
  m_configured.store(on);
  changed();
}

void epld_model::set_fifo_pending(bool on) {
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_fifo_pending = on;
  }
  changed();
}

void epld_model::set_extra_sources(uint8_t bits) {
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_extra = bits & 0xE0;
  }
  changed();
}

uint8_t epld_model::reg(uint32_t offset) {
  std::lock_guard<std::mutex> lk(m_lock);
  return offset < SIZE ? m_regs[offset] : 0;
}

// ------------------------------------------------------------------ configuration port

namespace {
const uint8_t k_sync[4] = {0x6A, 0x0F, 0xA5, 0x3C};
}

void epld_config_port::power_up(bool configured) {
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_state = configured ? state::done : state::blank;
    m_nconfig = true;
    m_dclk = false;
    m_part.clear();
  }
  m_epld.set_configured(configured);
}

void epld_config_port::pins(bool nconfig, bool data0, bool dclk) {
  int notify = -1;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    if (!nconfig) {
      // Held in reset: the device loses its configuration.
      if (m_state == state::done) notify = 0;
      m_state = state::blank;
      m_nconfig = false;
      m_dclk = dclk;
      m_count = 0;
    } else {
      if (!m_nconfig) {
        // End of the configuration pulse: a new attempt.
        ++m_attempts;
        m_count = 0;
        m_bits = 0;
        m_shift = 0;
        m_crc = crc32(0L, Z_NULL, 0);
        m_release_reads = 0;
        m_error_armed = m_error_at >= 0 && m_error_attempts != 0;
        if (m_error_attempts > 0) --m_error_attempts;
        m_state = (m_stuck || m_release_delay) ? state::waiting_release : state::receiving;
      }
      m_nconfig = true;
      bool rising = dclk && !m_dclk;
      m_dclk = dclk;
      if (rising && m_state == state::receiving) {
        m_shift |= static_cast<uint8_t>(data0) << m_bits;
        if (++m_bits == 8) {
          uint8_t b = m_shift;
          m_bits = 0;
          m_shift = 0;
          byte_in(b);
          if (m_state == state::done) notify = 1;
        }
      }
    }
  }
  if (notify >= 0) m_epld.set_configured(notify == 1);
}

void epld_config_port::byte_in(uint8_t b) {
  uint32_t index = m_count++;
  if (index < sizeof m_header) m_header[index] = b;
  if (index >= 16 && index < IMAGE_SIZE - 4) m_crc = crc32(m_crc, &b, 1);
  if (index >= IMAGE_SIZE - 4) m_tail[index - (IMAGE_SIZE - 4)] = b;

  if (m_error_armed && index == static_cast<uint64_t>(m_error_at)) {
    m_state = state::error;
    return;
  }
  if (index == 19 && std::memcmp(m_header + 16, k_sync, 4) != 0) {
    m_state = state::error;
    return;
  }
  if (index == 39) {
    uint32_t length = static_cast<uint32_t>(m_header[36]) << 24 | m_header[37] << 16 | m_header[38] << 8 | m_header[39];
    if (length != IMAGE_SIZE) {
      m_state = state::error;
      return;
    }
  }
  if (index == IMAGE_SIZE - 1) {
    uint32_t crc = static_cast<uint32_t>(m_tail[0]) << 24 | m_tail[1] << 16 | m_tail[2] << 8 | m_tail[3];
    if (crc != m_crc) {
      m_state = state::error;
      return;
    }
    m_part.assign(reinterpret_cast<const char*>(m_header + 20), strnlen(reinterpret_cast<const char*>(m_header + 20), 16));
    m_state = state::done;
  }
}

bool epld_config_port::nstatus() {
  std::lock_guard<std::mutex> lk(m_lock);
  switch (m_state) {
    case state::waiting_release:
      if (!m_stuck && ++m_release_reads >= m_release_delay) {
        m_state = state::receiving;
        return true;
      }
      return false;
    case state::receiving:
    case state::done:
      return true;
    case state::blank:
    case state::error:
      return false;
  }
  return false;
}

bool epld_config_port::conf_done() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_state == state::done;
}

void epld_config_port::set_stuck_status(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_stuck = on;
}

void epld_config_port::set_release_delay(uint32_t reads) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_release_delay = reads;
}

void epld_config_port::set_error_at_byte(int64_t index, int attempts) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_error_at = index;
  m_error_attempts = attempts;
}

uint32_t epld_config_port::attempts() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_attempts;
}

uint32_t epld_config_port::bytes_received() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_count;
}

std::string epld_config_port::part_number() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_part;
}

bool epld_config_port::configured() { return conf_done(); }

// ------------------------------------------------------------------ GPIO

uint32_t gpio_model::read_word(uint32_t offset) {
  switch (offset) {
    case 0x00: return m_or.load();
    case 0x04: return m_tcr.load();
    case 0x18: return m_odr.load();
    case 0x1C: return (m_config.nstatus() ? NSTATUS : 0) | (m_config.conf_done() ? CONF_DONE : 0);
    default: return 0;
  }
}

void gpio_model::write_word(uint32_t offset, uint32_t value) {
  switch (offset) {
    case 0x00:
      m_or.store(value);
      m_config.pins(value & NCONFIG, value & DATA0, value & DCLK);
      break;
    case 0x04:
      m_tcr.store(value);
      if (on_tcr_change) on_tcr_change();
      break;
    case 0x18: m_odr.store(value); break;
    default: break;
  }
}

// ------------------------------------------------------------------ CPLD

uint32_t cpld_model::read(uint32_t offset, unsigned width) {
  // One status read per access, whatever its width: a read advances a
  // transfer in progress.
  uint16_t status = 0xFFFF;
  if ((offset & ~1u) == 4 || (width > 2 && offset <= 4 && offset + width > 4)) status = spi_status_read();
  auto reg16 = [&](uint32_t even) -> uint16_t {
    switch (even) {
      case 0: return 0xFFFF;  // write-only: nothing drives the bus
      case 2: return spi_control();
      case 4: return status;
      default: return 0xFFFF;
    }
  };
  uint32_t v = 0;
  for (unsigned i = 0; i < width; ++i) {
    uint32_t a = offset + i;
    uint16_t r = reg16(a & ~1u);
    v = (v << 8) | ((a & 1) ? (r & 0xFF) : (r >> 8));
  }
  return v;
}

void cpld_model::write(uint32_t offset, unsigned width, uint32_t value) {
  if (width == 2 && offset == 0) {
    m_control.store(static_cast<uint16_t>(value));
    m_control_writes.fetch_add(1);
  } else if (width == 2 && offset == 2) {
    spi_control_write(static_cast<uint16_t>(value));
  }
}

}  // namespace board
