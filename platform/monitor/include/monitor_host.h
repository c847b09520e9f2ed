// Host-side control of the boot monitor's stand-in: where it keeps its state
// (flash image, environment, its own small state), what a restart does,
// the hardware watchdog, fault injection and observation for tests.
//
// reset() is the monitor's boot: it loads the state folder, mounts the
// flash file system (defragmenting it first when the UART0 scratch register
// asked for it before the restart), installs a stored boot-loader file, and
// runs the start-up script "monrc". Host calls are made while no system code
// runs, except watchdog_poll().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace monitor {

enum class restart_kind : int {
  application = 0,  // mon_restart(0)
  bootloader = 1,   // mon_restart(1): install "KB90521.BIN" on the way
  watchdog = 2,     // the hardware watchdog was not serviced in time
};
const char* restart_kind_name(restart_kind kind);

enum class restart_action {
  record,  // count it, call restart_hook, and return to the caller (tests)
  exec,    // re-execute the program with the same arguments (the controller)
  exit,    // end the process with status RESTART_EXIT_STATUS + kind
};
constexpr int RESTART_EXIT_STATUS = 64;

// Files of the state folder.
constexpr const char* FLASH_FILE = "flash.img";
constexpr const char* ENV_FILE = "monitor.env";
constexpr const char* STATE_FILE = "monitor.state";

// The identification text of the monitor a fresh board carries; the same
// build as the boot-loader image the application installs.
constexpr const char* CURRENT_VERSION = "Nov 20 2006 09:41:07, boot monitor 2.4 (host)";
// Boot-loader file layout (see tools/gen_bootloader_image.py).
constexpr const char* BOOTLOADER_FILE = "KB90521.BIN";

struct monitor_config {
  // Empty: nothing is kept on the host (the flash lives in memory).
  std::string state_folder;
  // Size of a new flash image; an existing image keeps its own size.
  uint32_t flash_size = 16u << 20;
  // Identification text of a fresh board; empty: CURRENT_VERSION.
  std::string version;
  // Environment of a fresh board (no environment file yet).
  std::vector<std::pair<std::string, std::string>> initial_env = {
      {"ETHERADD", "02:00:00:00:00:01"},
      {"IPADD", "192.168.1.20"},
      {"NETMASK", "255.255.255.0"},
      {"GIPADD", "192.168.1.1"},
  };

  restart_action on_restart = restart_action::record;
  std::function<void(restart_kind)> restart_hook;
  // exec and exit: run first (the terminal is put back).
  std::function<void()> before_restart;
  // exec: the program's arguments (argv[0] first); the program itself is
  // found through /proc/self/exe.
  std::vector<std::string> argv;

  // Hardware watchdog: time without service after which it restarts the
  // board while enabled (0: never). Measured on the kernel's ticks (tests on
  // the manual clock) or on the host's clock with a thread of its own that
  // watches (the controller).
  uint32_t watchdog_timeout_ms = 5000;
  bool watchdog_host_clock = false;

  // Where the monitor's console output goes while no output hook is
  // installed; unset: the board's UART 1 when a board is present, else
  // nowhere (the output is kept for console_output() either way).
  std::function<void(const char* text, size_t length)> console_out;
  // Seconds since 1970 of the host (the board clock runs from it); unset:
  // the host's time.
  std::function<int64_t()> host_time;
  // Controller board temperature (service 57).
  int8_t board_temperature = 32;
};

void reset(const monitor_config& config = monitor_config());
// Stops the watchdog thread, closes the flash image and forgets the hooks.
void shutdown();
const monitor_config& config();

// ---- restarts
// Restarts since the last reset().
uint32_t restart_count();
restart_kind last_restart();
// The UART0 scratch register (0xEF600307): the board's when a board is
// present, else the monitor's own copy. Bit 0 asks for defragmenting.
uint8_t scratch();
void set_scratch(uint8_t value);

// ---- hardware watchdog
bool watchdog_enabled();
uint64_t watchdog_kicks();
// Restarts the board (kind watchdog) when the watchdog is enabled and was
// not serviced within the time-out; true when it did.
bool watchdog_poll();

// ---- console
// Characters for mon_getchar, served before the board's UART.
void console_feed(const std::string& text);
// Everything the monitor printed on its console (not through the hook), and
// clears it.
std::string console_output();

// ---- flash
uint32_t flash_size();
// The flash's bytes, for tests that look at the image.
const uint8_t* flash_bytes();
// Bytes programmed into the flash since reset.
uint64_t flash_bytes_programmed();

// ---- faults
// The power fails after `bytes` more bytes are programmed (-1: never). The
// bytes up to the cut are in the image; every later flash operation fails
// with TFS_ERR_FLASH until the next reset.
void fault_power_cut_after(int64_t bytes);
bool powered();
// The next `count` in-place modifies fail with TFS_ERR_FLASH, changing
// nothing (-1: all of them).
void fault_ipmod_failures(int count);
// The flash reports no room: adds fail with TFS_ERR_FLASHFULL and the free
// space reads 0.
void fault_flash_full(bool on);

}  // namespace monitor
