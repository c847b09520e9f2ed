// The data key: its serial flash part and the EPLD's interface to its socket.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "datakey_model.h"
#include "tx_api.h"

namespace board {

// ------------------------------------------------------------------ memory

datakey_memory::datakey_memory(uint32_t size, const std::string& file)
    : m_size(size >= PAGE && (size & (size - 1)) == 0 ? size : DEFAULT_SIZE),
      m_file(file),
      m_data(m_size, 0xFF),
      m_clock([] { return static_cast<uint32_t>(tx_time_get()); }),
      m_page(PAGE, 0xFF),
      m_page_set(PAGE, false) {
  if (m_file.empty()) return;
  int fd = ::open(m_file.c_str(), O_RDONLY);
  if (fd < 0) return;  // a new key: erased until its first program
  size_t got = 0;
  while (got < m_data.size()) {
    ssize_t n = ::read(fd, m_data.data() + got, m_data.size() - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
}

void datakey_memory::store_locked(uint32_t address, uint32_t length) {
  if (m_file.empty()) return;
  int fd = ::open(m_file.c_str(), O_WRONLY | O_CREAT, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "datakey: cannot write %s\n", m_file.c_str());
    return;
  }
  // The file always holds the whole part, so a later load reads it back.
  off_t end = ::lseek(fd, 0, SEEK_END);
  if (end < static_cast<off_t>(m_size)) {
    address = 0;
    length = m_size;
  }
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pwrite(fd, m_data.data() + address + done, length - done, static_cast<off_t>(address + done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
}

bool datakey_memory::busy_locked(uint32_t now) const {
  if (!m_busy) return false;
  if (m_stuck) return true;
  return static_cast<int32_t>(now - m_busy_until) < 0;
}

void datakey_memory::select(bool selected, uint32_t now) {
  std::lock_guard<std::mutex> lk(m_lock);
  if (!m_powered) return;
  if (selected == m_selected) return;
  if (selected) {
    m_selected = true;
    m_pos = 0;
    m_op = 0;
    m_address = 0;
    m_moved = 0;
    std::fill(m_page_set.begin(), m_page_set.end(), false);
    return;
  }
  finish_locked(now);
  m_selected = false;
}

void datakey_memory::finish_locked(uint32_t now) {
  if (m_pos == 0) return;
  if (busy_locked(now) && m_op != RDSR) return;  // the part ignores all but the status while busy
  if (m_busy && !busy_locked(now)) m_busy = false;
  switch (m_op) {
    case WREN:
      if (!m_protected) m_wel = true;
      break;
    case PP: {
      if (!m_wel || m_pos < 4) break;
      uint32_t base = m_address & ~(PAGE - 1) & (m_size - 1);
      for (uint32_t i = 0; i < PAGE; ++i)
        if (m_page_set[i]) m_data[base + i] &= m_page[i];
      store_locked(base, PAGE);
      m_wel = false;
      m_busy = true;
      m_busy_until = now + m_program_ticks;
      break;
    }
    case CE:
      if (!m_wel) break;
      std::fill(m_data.begin(), m_data.end(), 0xFF);
      store_locked(0, m_size);
      m_wel = false;
      m_busy = true;
      m_busy_until = now + m_erase_ticks;
      break;
    default:
      break;
  }
  m_commands.push_back({m_op, (m_op == READ || m_op == PP) ? m_address : 0, m_moved});
}

uint8_t datakey_memory::exchange(uint8_t out, uint32_t now) {
  std::lock_guard<std::mutex> lk(m_lock);
  if (!m_powered || !m_selected) return 0xFF;
  uint32_t pos = m_pos++;
  if (pos == 0) {
    m_op = out;
    return 0xFF;
  }
  if (m_op == RDSR) {
    ++m_moved;
    ++m_status_reads;
    bool busy = busy_locked(now);
    if (!busy) m_busy = false;
    return static_cast<uint8_t>((busy ? SR_WIP : 0) | (m_wel ? SR_WEL : 0));
  }
  if (busy_locked(now)) return 0xFF;
  if (m_op != READ && m_op != PP) return 0xFF;
  if (pos <= 3) {
    m_address = ((m_address << 8) | out) & 0xFFFFFF;
    return 0xFF;
  }
  if (m_op == READ) {
    uint8_t b = m_data[(m_address + m_moved) & (m_size - 1)];
    ++m_moved;
    return b;
  }
  // Page program: the address wraps within the page, as the part's own
  // counter does.
  uint32_t offset = (m_address + m_moved) & (PAGE - 1);
  m_page[offset] = out;
  m_page_set[offset] = true;
  ++m_moved;
  return 0xFF;
}

void datakey_memory::set_powered(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  if (on == m_powered) return;
  m_powered = on;
  m_selected = false;
  m_wel = false;
  m_busy = false;
}

bool datakey_memory::powered() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_powered;
}

void datakey_memory::set_clock(std::function<uint32_t()> clock) { m_clock = std::move(clock); }

void datakey_memory::set_timing(uint32_t program_ticks, uint32_t erase_ticks) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_program_ticks = program_ticks;
  m_erase_ticks = erase_ticks;
}

void datakey_memory::set_stuck_busy(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_stuck = on;
}

void datakey_memory::set_write_protected(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_protected = on;
  if (on) m_wel = false;
}

std::vector<uint8_t> datakey_memory::peek(uint32_t address, uint32_t length) {
  std::lock_guard<std::mutex> lk(m_lock);
  std::vector<uint8_t> out;
  for (uint32_t i = 0; i < length; ++i) out.push_back(m_data[(address + i) & (m_size - 1)]);
  return out;
}

void datakey_memory::poke(uint32_t address, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lk(m_lock);
  for (size_t i = 0; i < bytes.size(); ++i) m_data[(address + i) & (m_size - 1)] = bytes[i];
}

std::vector<datakey_memory::command> datakey_memory::commands() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_commands;
}

void datakey_memory::clear_commands() {
  std::lock_guard<std::mutex> lk(m_lock);
  m_commands.clear();
}

uint64_t datakey_memory::status_reads() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_status_reads;
}

// ------------------------------------------------------------------ port

datakey_port::datakey_port(datakey_memory* key) { insert(key); }

void datakey_port::insert(datakey_memory* key) {
  datakey_memory* old;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    old = m_key;
    m_key = key;
    m_remove_after = -1;
  }
  if (old && old != key) old->set_powered(false);
  if (key) key->set_powered((control() & POWER) != 0);
}

bool datakey_port::present() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_key != nullptr;
}

datakey_memory* datakey_port::key() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_key;
}

void datakey_port::remove_after(int64_t transfers) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_remove_after = transfers;
}

uint8_t datakey_port::control() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_control;
}

uint64_t datakey_port::transfers() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_transfers;
}

void datakey_port::count_transfer_locked() {
  ++m_transfers;
  if (m_remove_after > 0 && --m_remove_after == 0) {
    m_remove_after = -1;
    if (m_key) m_key->set_powered(false);
    m_key = nullptr;
  }
}

uint32_t datakey_port::read(uint32_t offset, unsigned) {
  std::lock_guard<std::mutex> lk(m_lock);
  switch (offset) {
    case 0:
      return static_cast<uint32_t>((m_key ? PRESENT : 0) | m_control);
    case 1:
      return m_rx;
    default:
      return m_tx;
  }
}

void datakey_port::write(uint32_t offset, unsigned, uint32_t value) {
  datakey_memory* k = key();
  uint32_t now = k ? k->now() : 0;  // outside the lock: the clock enters the kernel
  std::lock_guard<std::mutex> lk(m_lock);
  const uint8_t v = static_cast<uint8_t>(value);
  if (offset == 0) {
    uint8_t before = m_control;
    m_control = v & (POWER | SELECT | STROBE | DIR_READ);
    if (!m_key) {
      if (((before ^ m_control) & STROBE) && (m_control & DIR_READ)) m_rx = 0xFF;  // nothing drives the line
      return;
    }
    if ((before ^ m_control) & POWER) m_key->set_powered((m_control & POWER) != 0);
    if ((before ^ m_control) & SELECT) m_key->select((m_control & SELECT) != 0, now);
    if (((before ^ m_control) & STROBE) && (m_control & DIR_READ)) {
      m_rx = m_key->exchange(0xFF, now);
      count_transfer_locked();
    }
    return;
  }
  if (offset == 2) {
    m_tx = v;
    if (m_control & DIR_READ) return;
    if (m_key) {
      m_key->exchange(v, now);
      count_transfer_locked();
    }
  }
}

}  // namespace board
