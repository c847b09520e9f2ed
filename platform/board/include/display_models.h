// The sign's display output: memory the processor and the DMA controller
// share, DMA channel 0 of the processor, and the display FPGA at 0xF0400000
// that takes the frames the DMA channel feeds it.
//
// The FPGA shifts each frame out to the display modules in one of twelve
// byte orders (its layout code). The model undoes that order: every frame it
// receives is decoded back into the sign's pixels, which a test compares
// with what was rendered and the host shows as a picture.
//
// Locking: the DMA model calls the display model (never while holding its
// own lock); the display model reads the EPLD configuration port for the
// image it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "board_models.h"

namespace board {

// ------------------------------------------------------------------ memory

// Plain memory on the processor's bus: big-endian accesses, and direct
// access for code that uses it with loads and stores (board_memory).
class memory_model : public bus_device {
 public:
  explicit memory_model(uint32_t size) : m_bytes(size, 0) {}
  uint32_t read(uint32_t offset, unsigned width) override;
  void write(uint32_t offset, unsigned width, uint32_t value) override;
  uint8_t* direct(uint32_t offset, uint32_t length) override;
  uint32_t size() const { return static_cast<uint32_t>(m_bytes.size()); }
  uint64_t bus_reads() const { return m_reads.load(); }

 private:
  std::vector<uint8_t> m_bytes;
  std::atomic<uint64_t> m_reads{0};
};

// The board's memory map as far as the models use it: the lowest 16 KB
// (what the frame driver reads to push its data out of the cache) and the
// 128 KB area reserved for frame transfers.
constexpr uint32_t LOW_MEMORY_BASE = 0x00000000;
constexpr uint32_t LOW_MEMORY_SIZE = 0x4000;
constexpr uint32_t FRAME_MEMORY_BASE = 0x00FE0000;
constexpr uint32_t FRAME_MEMORY_SIZE = 0x20000;

// ------------------------------------------------------------------ DMA

// Channel 0 of the processor's DMA controller, wired to the display FPGA's
// data port (the destination is fixed by the board; DA0 is kept but not
// used). Writing CR0 with the enable bit starts a transfer of CT0 16-bit
// units from SA0; when it has finished, the channel's terminal-count bit
// (0x80000000) rises in SR. SR bits are cleared by writing ones. A source
// outside memory ends the transfer with the channel's error bit instead.
class dma_model : public dcr_device {
 public:
  enum : uint32_t { DMA0_CR0 = 0x100, DMA0_CT0 = 0x101, DMA0_DA0 = 0x102, DMA0_SA0 = 0x103, DMA0_SR = 0x120 };
  static constexpr uint32_t CR_ENABLE = 0x80000000;
  static constexpr uint32_t SR_TC0 = 0x80000000;
  static constexpr uint32_t SR_ERR0 = 0x00800000;

  uint32_t read_dcr(uint32_t dcrn) override;
  void write_dcr(uint32_t dcrn, uint32_t value) override;

  // Where channel 0's data go.
  std::function<void(const uint8_t* data, size_t length)> on_transfer;

  // ---- timing and faults
  // A transfer finishes only after this many SR reads (0: at once).
  void set_completion_reads(uint32_t reads);
  // Transfers never finish.
  void set_stuck(bool on);

  // ---- observation
  uint64_t starts();
  uint64_t completions();
  uint64_t errors();
  uint64_t status_reads();
  uint32_t last_count();
  uint32_t last_source();
  uint32_t control();

 private:
  // Moves the pending transfer's bytes out of memory; false on a bus error.
  bool fetch_locked(std::vector<uint8_t>* out);
  void finish(std::unique_lock<std::mutex>& lk);

  std::mutex m_lock;
  uint32_t m_cr0 = 0, m_ct0 = 0, m_da0 = 0, m_sa0 = 0, m_sr = 0;
  bool m_pending = false;
  uint32_t m_pending_source = 0, m_pending_count = 0;
  uint32_t m_wait = 0;
  uint32_t m_completion_reads = 0;
  bool m_stuck = false;
  uint64_t m_starts = 0, m_completions = 0, m_errors = 0, m_status_reads = 0;
  uint32_t m_last_count = 0, m_last_source = 0;
};

// ------------------------------------------------------------------ display FPGA

// How the FPGA image orders a frame's bytes: its layout code and what the
// code depends on. The image the EPLD runs chooses it (format_for_image);
// a test may fix one.
struct display_format {
  uint8_t layout = 7;
  // The modules the image drives: the variants of layouts 6, 8 and 9, and
  // the frame size the width and height registers stand for (types 5, 27
  // and 106 count module rows and columns their own way).
  uint32_t module_type = 0;
  // 1 monochrome (amber), 2 red-green, 3 full colour: how a person sees a
  // lit pixel.
  uint8_t colours = 1;
  // Layout 10: the module size and the chains of module records.
  uint8_t module_height = 0, module_width = 0;
  uint8_t chains = 0, chain_columns = 0, chain_rows = 0, blank_records = 0;
  bool rotated = false;
};

// The format of the image with this part number ("" while the EPLD runs the
// image it was powered up with).
display_format format_for_image(const std::string& part_number);

// The sign's face as the last good frame showed it.
struct display_face {
  uint32_t width = 0, height = 0;
  // Pixel values are 16-bit words (layout 9), else bytes.
  bool wide = false;
  uint8_t colours = 1;
  uint8_t layout = 0;
  // Row-major, top row first.
  std::vector<uint16_t> pixels;
  uint64_t sequence = 0;  // frames decoded so far

  uint16_t at(uint32_t x, uint32_t y) const { return x < width && y < height ? pixels[y * width + x] : 0; }
};

// The FPGA's registers (offsets from 0xF0400000, 16-bit):
//   0x00 brightness control: low byte the level, high byte control bits
//   0x02 frame width in pixels, 0x04 frame height
//   0x08 status (read): high byte the control bits last written to 0x00,
//        low byte the layout code
//   0x0E version (read)
class display_output_model : public bus_device {
 public:
  static constexpr uint32_t BASE = 0xF0400000;
  static constexpr uint32_t SIZE = 0x10;
  static constexpr uint16_t VERSION = 0x0015;

  explicit display_output_model(epld_config_port& epld) : m_epld(epld) {}
  uint32_t read(uint32_t offset, unsigned width) override;
  void write(uint32_t offset, unsigned width, uint32_t value) override;

  // A frame from the DMA channel: decoded when its length is the one the
  // format and the frame size call for, else counted as bad.
  void receive(const uint8_t* data, size_t length);
  // Called after each decoded frame (without the model's lock).
  std::function<void()> on_frame;

  // A fixed format in place of the image's; clear_format goes back.
  void set_format(const display_format& format);
  void clear_format();
  display_format format();

  // ---- observation
  display_face face();
  std::vector<uint8_t> last_frame();
  uint64_t frames();
  uint64_t bad_frames();
  uint8_t brightness();
  uint8_t control_bits();
  uint16_t frame_width();
  uint16_t frame_height();

 private:
  display_format format_locked();

  std::mutex m_lock;
  epld_config_port& m_epld;
  bool m_fixed = false;
  display_format m_format;
  uint16_t m_control = 0, m_width = 0, m_height = 0;
  display_face m_face;
  std::vector<uint8_t> m_last;
  uint64_t m_frames = 0, m_bad = 0;
};

// Decodes one frame of `format` for a sign of width x height pixels (as the
// display task renders it). False when the data are not such a frame (wrong
// length, impossible geometry).
bool decode_display_frame(const display_format& format, uint32_t width, uint32_t height, const uint8_t* data,
                          size_t length, display_face* out);
// The sign's size in pixels that the FPGA's width and height registers stand
// for with these modules.
void display_frame_size(uint32_t module_type, uint16_t width_reg, uint16_t height_reg, uint32_t* width,
                        uint32_t* height);

}  // namespace board
