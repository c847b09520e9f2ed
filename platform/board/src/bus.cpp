// The bus map and the processor's register accesses.
#include <atomic>
#include <vector>

#include "board_io.h"
#include "board_models.h"

namespace board {

namespace {

struct window {
  uint32_t base, size;
  bus_device* device;
};
struct dcr_window {
  uint32_t first, count;
  dcr_device* device;
};

std::vector<window> g_windows;
std::vector<dcr_window> g_dcrs;
std::atomic<uint64_t> g_unmapped{0};
std::atomic<uint32_t> g_last_unmapped{0};

bus_device* find(uint32_t address, uint32_t* offset) {
  for (const window& w : g_windows) {
    if (address - w.base < w.size) {
      *offset = address - w.base;
      return w.device;
    }
  }
  g_unmapped.fetch_add(1);
  g_last_unmapped.store(address);
  return nullptr;
}

dcr_device* find_dcr(uint32_t dcrn) {
  for (const dcr_window& w : g_dcrs)
    if (dcrn - w.first < w.count) return w.device;
  g_unmapped.fetch_add(1);
  g_last_unmapped.store(dcrn);
  return nullptr;
}

uint32_t read(uint32_t address, unsigned width, uint32_t floating) {
  uint32_t offset;
  bus_device* d = find(address, &offset);
  return d ? d->read(offset, width) : floating;
}

void write(uint32_t address, unsigned width, uint32_t value) {
  uint32_t offset;
  if (bus_device* d = find(address, &offset)) d->write(offset, width, value);
}

}  // namespace

std::atomic<void (*)()> g_external_vector{nullptr};

void map_device(uint32_t base, uint32_t size, bus_device* device) { g_windows.push_back({base, size, device}); }
void map_dcr(uint32_t first, uint32_t count, dcr_device* device) { g_dcrs.push_back({first, count, device}); }
void unmap_all() {
  g_windows.clear();
  g_dcrs.clear();
}
uint64_t unmapped_accesses() { return g_unmapped.load(); }
uint32_t last_unmapped_address() { return g_last_unmapped.load(); }

uint32_t word_device::read(uint32_t offset, unsigned width) {
  uint32_t word = read_word(offset & ~3u);
  if (width == 4) return word;
  unsigned shift = (4 - width - (offset & 3)) * 8;
  return (word >> shift) & (width == 1 ? 0xFFu : 0xFFFFu);
}

void word_device::write(uint32_t offset, unsigned width, uint32_t value) {
  if (width == 4) {
    write_word(offset & ~3u, value);
    return;
  }
  unsigned shift = (4 - width - (offset & 3)) * 8;
  uint32_t mask = (width == 1 ? 0xFFu : 0xFFFFu) << shift;
  uint32_t word = read_word(offset & ~3u);
  write_word(offset & ~3u, (word & ~mask) | ((value << shift) & mask));
}

}  // namespace board

uint8_t reg_read8(uint32_t address) { return static_cast<uint8_t>(board::read(address, 1, 0xFF)); }
uint16_t reg_read16(uint32_t address) { return static_cast<uint16_t>(board::read(address, 2, 0xFFFF)); }
uint32_t reg_read32(uint32_t address) { return board::read(address, 4, 0xFFFFFFFF); }
void reg_write8(uint32_t address, uint8_t value) { board::write(address, 1, value); }
void reg_write16(uint32_t address, uint16_t value) { board::write(address, 2, value); }
void reg_write32(uint32_t address, uint32_t value) { board::write(address, 4, value); }

uint8_t* board_memory(uint32_t address, uint32_t length) {
  for (const board::window& w : board::g_windows)
    if (address - w.base < w.size) {
      const uint32_t offset = address - w.base;
      return length <= w.size - offset ? w.device->direct(offset, length) : nullptr;
    }
  return nullptr;
}

uint32_t board_address(const void* pointer) {
  const auto* p = static_cast<const uint8_t*>(pointer);
  for (const board::window& w : board::g_windows) {
    const uint8_t* start = w.device->direct(0, w.size);
    if (start && p >= start && p < start + w.size) return w.base + static_cast<uint32_t>(p - start);
  }
  return 0;
}

uint32_t mfdcr(uint32_t dcrn) {
  board::dcr_device* d = board::find_dcr(dcrn);
  return d ? d->read_dcr(dcrn) : 0;
}

void mtdcr(uint32_t dcrn, uint32_t value) {
  if (board::dcr_device* d = board::find_dcr(dcrn)) d->write_dcr(dcrn, value);
}

void board_install_external_vector(void (*vector)()) { board::g_external_vector.store(vector); }
