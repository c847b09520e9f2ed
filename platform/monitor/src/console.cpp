// The monitor's console: UART 1 of the processor, polled, as the monitor uses
// it before the application's console driver takes the port. Once the
// application installs an output hook (service 300) the monitor prints
// through it instead.
#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

#include "board_host.h"
#include "board_io.h"
#include "internal.h"
#include "rtos_host.h"
#include "tx_api.h"

namespace monitor_impl {

namespace {

constexpr uint32_t kUart1 = 0xEF600400;
constexpr uint32_t kLsr = kUart1 + 5;
constexpr uint8_t kLsrDataReady = 0x01;
constexpr uint8_t kLsrThrEmpty = 0x20;
constexpr size_t kKeptOutput = 1u << 16;

constexpr int kQuickPolls = 1000;       // looks before the wait is timed
constexpr ULONG kStallTicks = 100;        // a kernel thread's limit
constexpr auto kStallTime = std::chrono::seconds(1);  // anyone else's
bool g_stalled = false;                   // given up until it empties

bool thr_empty() { return (reg_read8(kLsr) & kLsrThrEmpty) != 0; }

// Waits until the transmitter has room, however slowly the far end takes
// the characters: only a line that takes nothing for a second (100 ticks
// of the kernel's clock, manual or real, when a kernel thread waits) is
// given up, and then not waited for again until it empties.
void uart_wait() {
  for (int i = 0; i < kQuickPolls; ++i) {
    if (thr_empty()) {
      g_stalled = false;
      return;
    }
  }
  if (g_stalled) return;
  const bool thread = rtos::in_thread();
  const ULONG start_tick = thread ? tx_time_get() : 0;
  const auto start = std::chrono::steady_clock::now();
  while (!thr_empty()) {
    bool late = thread ? tx_time_get() - start_tick >= kStallTicks
                       : std::chrono::steady_clock::now() - start >= kStallTime;
    if (late) {
      g_stalled = true;
      return;
    }
    if (thread)
      tx_thread_sleep(1);
    else
      std::this_thread::yield();
  }
  g_stalled = false;
}

void uart_put(char c) {
  uart_wait();
  reg_write8(kUart1, static_cast<uint8_t>(c));
}

void default_console(const char* text, size_t length) {
  monitor_state& m = M();
  {
    std::lock_guard<std::mutex> lk(m.console_lock);
    if (m.console_out.size() + length > kKeptOutput) m.console_out.clear();
    m.console_out.append(text, length);
  }
  if (m.config.console_out) {
    m.config.console_out(text, length);
  } else if (board::present()) {
    for (size_t i = 0; i < length; ++i) {
      if (text[i] == '\n') uart_put('\r');
      uart_put(text[i]);
    }
  }
}

}  // namespace

void console_write(const char* text, size_t length) {
  monitor_state& m = M();
  if (m.output_hook) {
    for (size_t i = 0; i < length; ++i) m.output_hook(static_cast<unsigned char>(text[i]));
    return;
  }
  default_console(text, length);
}

void console_printf(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  console_write(line, std::min<size_t>(static_cast<size_t>(n), sizeof line - 1));
}

}  // namespace monitor_impl

using namespace monitor_impl;

int mon_gotachar() {
  call_guard g;
  monitor_state& m = M();
  {
    std::lock_guard<std::mutex> lk(m.console_lock);
    if (!m.console_in.empty()) return 1;
  }
  return board::present() && (reg_read8(kLsr) & kLsrDataReady) ? 1 : 0;
}

int mon_getchar() {
  call_guard g;
  monitor_state& m = M();
  {
    std::lock_guard<std::mutex> lk(m.console_lock);
    if (!m.console_in.empty()) {
      unsigned char c = static_cast<unsigned char>(m.console_in.front());
      m.console_in.erase(0, 1);
      return c;
    }
  }
  if (board::present() && (reg_read8(kLsr) & kLsrDataReady)) return reg_read8(kUart1);
  return -1;
}

int mon_putchar(int c) {
  call_guard g;
  char ch = static_cast<char>(c);
  console_write(&ch, 1);
  return c;
}

int mon_printf(const char* format, ...) {
  call_guard g;
  char line[512];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return n;
  size_t len = std::min<size_t>(static_cast<size_t>(n), sizeof line - 1);
  console_write(line, len);
  return static_cast<int>(len);
}

int mon_service300(mon_putc_hook hook) {
  call_guard g;
  M().output_hook = hook;
  return 0;
}

namespace monitor {

void console_feed(const std::string& text) {
  monitor_state& m = M();
  std::lock_guard<std::mutex> lk(m.console_lock);
  m.console_in += text;
}

std::string console_output() {
  monitor_state& m = M();
  std::lock_guard<std::mutex> lk(m.console_lock);
  std::string out;
  out.swap(m.console_out);
  return out;
}

}  // namespace monitor
