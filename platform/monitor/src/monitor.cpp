// The boot monitor: its boot, its call table's connection and lock, its
// identity, the restart of the board, the watchdog service, the board clock
// and the numbered services; the file-system and environment calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <thread>

#include "board_host.h"
#include "board_io.h"
#include "internal.h"
#include "rtos_host.h"
#include "tx_api.h"

namespace monitor_impl {

namespace {

std::unique_ptr<monitor_state> g_state;

constexpr uint32_t kUart0Scratch = 0xEF600307;

// The top of the boot flash: the word at 0xFFFFFFF4 holds the call table's
// address.
class table_pointer : public board::word_device {
 protected:
  uint32_t read_word(uint32_t offset) override { return offset == 4 ? MON_TABLE_ADDRESS : 0xFFFFFFFF; }
  void write_word(uint32_t, uint32_t) override {}
};
table_pointer g_table_pointer;

// ---- hardware watchdog
struct watchdog_model {
  std::atomic<bool> enabled{false};
  std::atomic<bool> before_off{false};
  std::atomic<uint32_t> last_tick{0};
  std::atomic<int64_t> last_ns{0};
  std::atomic<uint64_t> kicks{0};
  std::thread watcher;
  std::mutex m;
  std::condition_variable cv;
  bool stop = false;
};
watchdog_model g_wdt;

std::atomic<uint32_t> g_restarts{0};
std::atomic<int> g_last_restart{0};

int64_t steady_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void watchdog_service() {
  g_wdt.last_tick = static_cast<uint32_t>(tx_time_get());
  g_wdt.last_ns = steady_ns();
}

void watcher_main(uint32_t timeout_ms) {
  std::unique_lock<std::mutex> lk(g_wdt.m);
  while (!g_wdt.stop) {
    // Armed, it wakes when the period since the last kick would end (a kick
    // meanwhile only moves that on); off, it looks now and then.
    const int64_t timeout_ns = int64_t(timeout_ms) * 1000000;
    if (g_wdt.enabled)
      g_wdt.cv.wait_until(lk, std::chrono::steady_clock::time_point(
                                  std::chrono::nanoseconds(g_wdt.last_ns.load() + timeout_ns + 1000000)));
    else
      g_wdt.cv.wait_for(lk, std::chrono::milliseconds(100));
    if (g_wdt.stop) break;
    lk.unlock();
    monitor::watchdog_poll();
    lk.lock();
  }
}

void stop_watcher() {
  if (!g_wdt.watcher.joinable()) return;
  {
    std::lock_guard<std::mutex> lk(g_wdt.m);
    g_wdt.stop = true;
  }
  g_wdt.cv.notify_all();
  if (g_wdt.watcher.get_id() == std::this_thread::get_id())
    g_wdt.watcher.detach();
  else
    g_wdt.watcher.join();
}

// ---- the state file
std::string state_path() {
  const std::string& folder = M().config.state_folder;
  return folder.empty() ? std::string() : folder + "/" + monitor::STATE_FILE;
}

void state_load() {
  monitor_state& m = M();
  std::string path = state_path();
  if (path.empty()) return;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "version" && value.size() >= 11 && value.size() < 200)
      m.version = value;
    else if (key == "scratch")
      m.scratch = static_cast<uint8_t>(std::strtoul(value.c_str(), nullptr, 0));
    else if (key == "clock_offset")
      m.clock_offset = std::strtoll(value.c_str(), nullptr, 0);
    else if (key == "install_pending")
      m.install_pending = value == "1";
  }
}

uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A boot-loader file stored before a restart of kind 1 becomes the monitor.
// Layout: "BOOTIMG1", u32 length, 48 bytes of identification text, the
// body, and a CRC-32 of everything before it (big-endian numbers).
void install_bootloader() {
  monitor_state& m = M();
  tfs_header* h = m.fs.stat(monitor::BOOTLOADER_FILE);
  if (!h) return;
  const uint8_t* d = reinterpret_cast<const uint8_t*>(h) + h->hdr_size;
  const uint32_t n = h->data_size;
  bool ok = n >= 64 && std::memcmp(d, "BOOTIMG1", 8) == 0 && be32(d + 8) == n &&
            be32(d + n - 4) == static_cast<uint32_t>(crc32(0, d, n - 4)) && std::memchr(d + 12, 0, 48) &&
            std::strlen(reinterpret_cast<const char*>(d + 12)) >= 11;
  if (ok) {
    m.version = reinterpret_cast<const char*>(d + 12);
    console_printf("boot monitor updated: %s\n", m.version.c_str());
  } else {
    console_printf("%s refused: not a boot-loader image\n", monitor::BOOTLOADER_FILE);
  }
  m.fs.unlink(monitor::BOOTLOADER_FILE);
}

// Lets the console's last lines out before the board goes.
void drain_console() {
  if (rtos::in_thread()) tx_thread_sleep(20);
  if (!board::present()) return;
  for (int i = 0; i < 50 && board::uart(1).tx_level() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void mark_descriptors_cloexec() {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return;
  int self = dirfd(dir);
  while (dirent* e = readdir(dir)) {
    int fd = std::atoi(e->d_name);
    if (fd > 2 && fd != self) fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
  }
  closedir(dir);
}

}  // namespace

// Before reset() (a program or test that never powered the monitor up) the
// monitor answers as a fresh board without flash.
monitor_state& M() {
  if (!g_state) {
    g_state = std::make_unique<monitor_state>();
    g_state->version = monitor::CURRENT_VERSION;
  }
  return *g_state;
}

// ---- the lock pair

call_guard::call_guard() {
  if (mon_lock_fn lock = M().lock) {
    lock();
    m_held = true;
  }
}

call_guard::~call_guard() {
  // A thread ended by the kernel unwinds through here: the kernel gives its
  // mutexes back itself.
  if (m_held && std::uncaught_exceptions() == 0 && M().unlock) M().unlock();
}

void call_guard::release() {
  if (m_held && M().unlock) M().unlock();
  m_held = false;
}

void call_guard::retake() {
  if (!m_held && M().lock) {
    M().lock();
    m_held = true;
  }
}

void state_save() {
  monitor_state& m = M();
  std::string path = state_path();
  if (path.empty()) return;
  std::string tmp = path + ".new";
  FILE* f = std::fopen(tmp.c_str(), "w");
  if (!f) return;
  std::fprintf(f, "version=%s\nscratch=%u\nclock_offset=%lld\ninstall_pending=%d\nlast_restart=%s\n",
               m.version.c_str(), m.scratch, static_cast<long long>(m.clock_offset), m.install_pending ? 1 : 0,
               monitor::restart_kind_name(monitor::last_restart()));
  bool ok = std::fflush(f) == 0;
  std::fclose(f);
  if (ok) std::rename(tmp.c_str(), path.c_str());
}

int64_t host_now() {
  const auto& f = M().config.host_time;
  return f ? f() : static_cast<int64_t>(std::time(nullptr));
}

uint32_t stamp_time() {
  tfs_time_hook hook = M().time_hook;
  return hook ? hook() : 0;
}

void restart(monitor::restart_kind kind) {
  monitor_state& m = M();
  // The UART0 scratch register keeps its value through the restart.
  if (board::present()) m.scratch = reg_read8(kUart0Scratch);
  if (kind == monitor::restart_kind::bootloader) m.install_pending = true;
  g_last_restart = static_cast<int>(kind);
  ++g_restarts;
  state_save();
  switch (m.config.on_restart) {
    case monitor::restart_action::record:
      if (m.config.restart_hook) m.config.restart_hook(kind);
      return;
    case monitor::restart_action::exit:
      drain_console();
      if (m.config.before_restart) m.config.before_restart();
      std::fprintf(stderr, "monitor: restart (%s)\n", monitor::restart_kind_name(kind));
      std::fflush(nullptr);
      _exit(monitor::RESTART_EXIT_STATUS + static_cast<int>(kind));
    case monitor::restart_action::exec: {
      drain_console();
      if (m.config.before_restart) m.config.before_restart();
      std::fflush(nullptr);
      std::vector<std::string> args = m.config.argv;
      if (args.empty()) args.push_back("signctl");
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      // Nothing of this run may reach the next one: its listening sockets
      // and open files close on the way.
      mark_descriptors_cloexec();
      execv("/proc/self/exe", argv.data());
      std::fprintf(stderr, "monitor: restart failed: %s\n", std::strerror(errno));
      _exit(1);
    }
  }
}

}  // namespace monitor_impl

using namespace monitor_impl;

// ------------------------------------------------------------ connection

int monConnect(uintptr_t table, mon_lock_fn lock, mon_lock_fn unlock) {
  monitor_state& m = M();
  m.table = table;
  if (lock && unlock) {
    m.lock = lock;
    m.unlock = unlock;
  } else {
    m.lock = nullptr;
    m.unlock = nullptr;
  }
  return table == MON_TABLE_ADDRESS ? 0 : -1;
}

// ------------------------------------------------------------ identity, restart, watchdog

const char* mon_version() {
  call_guard g;
  return M().version.c_str();
}

void mon_restart(int kind) {
  call_guard g;
  restart(kind == 1 ? monitor::restart_kind::bootloader : monitor::restart_kind::application);
}

int mon_watchdog() {
  call_guard g;
  ++g_wdt.kicks;
  watchdog_service();
  return 0;
}

int mon_watchdog_enable(int mode) {
  call_guard g;
  bool was = g_wdt.enabled;
  bool on;
  if (mode == 0) {
    g_wdt.before_off = was;
    on = false;
  } else if (mode == 0xFF) {
    on = g_wdt.before_off;
  } else {
    on = true;
  }
  // Switching on starts a fresh period.
  if (on && !was) watchdog_service();
  g_wdt.enabled = on;
  return was ? 1 : 0;
}

// ------------------------------------------------------------ clock

int mon_clock_get(uint32_t* date) {
  call_guard g;
  if (!date) return -1;
  time_t t = static_cast<time_t>(host_now() + M().clock_offset);
  struct tm tm {};
  gmtime_r(&t, &tm);
  uint32_t words[10] = {uint32_t(tm.tm_sec),  uint32_t(tm.tm_min),  uint32_t(tm.tm_hour), uint32_t(tm.tm_mday),
                        uint32_t(tm.tm_mon),  uint32_t(tm.tm_year), uint32_t(tm.tm_wday), uint32_t(tm.tm_yday),
                        0,                    0};
  std::memcpy(date, words, sizeof words);
  return 0;
}

int mon_clock_set(const uint32_t* date) {
  call_guard g;
  if (!date) return -1;
  struct tm tm {};
  tm.tm_sec = static_cast<int>(date[0]);
  tm.tm_min = static_cast<int>(date[1]);
  tm.tm_hour = static_cast<int>(date[2]);
  tm.tm_mday = static_cast<int>(date[3]);
  tm.tm_mon = static_cast<int>(date[4]);
  tm.tm_year = static_cast<int>(date[5]);
  if (date[0] > 60 || date[1] > 59 || date[2] > 23 || date[3] < 1 || date[3] > 31 || date[4] > 11 ||
      date[5] > 1000)
    return -1;
  M().clock_offset = static_cast<int64_t>(timegm(&tm)) - host_now();
  state_save();
  return 0;
}

// ------------------------------------------------------------ services

int mon_service31(uint32_t, uint32_t) { return 0; }

int mon_service53(uint32_t port, uint32_t baud, uint32_t data_bits, uint32_t options) {
  call_guard g;
  if (port > 1 || baud == 0) return -1;
  uint32_t base = port == 0 ? 0xEF600300 : 0xEF600400;
  uint32_t divisor = (board::UART_CLOCK + 8 * baud) / (16 * baud);
  if (divisor == 0) divisor = 1;
  uint8_t word = data_bits >= 5 && data_bits <= 8 ? static_cast<uint8_t>(data_bits - 5) : 3;
  reg_write8(base + 3, 0x80);
  reg_write8(base + 0, divisor & 0xFF);
  reg_write8(base + 1, (divisor >> 8) & 0xFF);
  reg_write8(base + 3, word);
  reg_write8(base + 2, 0x07);
  reg_write8(base + 1, reg_read8(base + 1) | 0x01);
  (void)options;
  return 0;
}

int8_t mon_service57() {
  call_guard g;
  return M().config.board_temperature;
}

// ------------------------------------------------------------ environment

const char* mon_getenv(const char* name) {
  call_guard g;
  return env_get(name);
}

int mon_setenv(const char* name, const char* value) {
  call_guard g;
  return env_set(name, value);
}

// ------------------------------------------------------------ TFS

int mon_tfsadd(const char* name, const char* info, const char* flags, const void* data, uint32_t size) {
  call_guard g;
  return M().fs.add(name, info, flags, data, size);
}

int mon_tfsunlink(const char* name) {
  call_guard g;
  return M().fs.unlink(name);
}

tfs_header* mon_tfsstat(const char* name) {
  call_guard g;
  return M().fs.stat(name);
}

tfs_header* mon_tfsnext(const tfs_header* prev) {
  call_guard g;
  return M().fs.next(prev);
}

int mon_tfsipmod(const char* name, const void* data, uint32_t offset, uint32_t size) {
  call_guard g;
  return M().fs.ipmod(name, data, offset, size);
}

int mon_tfsopen(const char* name, uint32_t mode, void* buffer, uint32_t buffer_size) {
  call_guard g;
  return M().fs.open(name, mode, buffer, buffer_size);
}

int mon_tfsread(int fd, void* buffer, uint32_t size) {
  call_guard g;
  return M().fs.read(fd, buffer, size);
}

int mon_tfswrite(int fd, const void* data, uint32_t size) {
  call_guard g;
  return M().fs.write(fd, data, size);
}

int mon_tfsseek(int fd, int32_t offset, int whence) {
  call_guard g;
  return M().fs.seek(fd, offset, whence);
}

int mon_tfsclose(int fd, const char* info) {
  call_guard g;
  return M().fs.close(fd, info);
}

int32_t mon_tfsctrl(int request, intptr_t arg1, intptr_t arg2) {
  call_guard g;
  monitor_state& m = M();
  auto clamp = [](uint64_t v) { return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v); };
  switch (request) {
    case TFS_CTRL_DEAD:
      return clamp(m.fs.dead_bytes());
    case TFS_CTRL_DEFRAG:
      return m.fs.defragment();
    case TFS_CTRL_FREE:
      return clamp(m.fs.free_bytes());
    case TFS_CTRL_HOOKS:
      m.time_hook = reinterpret_cast<tfs_time_hook>(arg1);
      m.date_hook = reinterpret_cast<tfs_date_hook>(arg2);
      return TFS_OKAY;
    case TFS_CTRL_FRAGMENT: {
      const char* device = reinterpret_cast<const char*>(arg1);
      if (!device || std::strncmp(device, "//SF/", 5) != 0) return TFS_ERR_BADARG;
      uint32_t size = m.flash.size();
      return size ? clamp(uint64_t(m.fs.dead_bytes()) * 10000 / size) : 0;
    }
    default:
      return TFS_ERR_BADARG;
  }
}

// ------------------------------------------------------------ host control

namespace monitor {

const char* restart_kind_name(restart_kind kind) {
  switch (kind) {
    case restart_kind::application: return "application";
    case restart_kind::bootloader: return "bootloader";
    case restart_kind::watchdog: return "watchdog";
  }
  return "unknown";
}

void shutdown() {
  stop_watcher();
  if (!g_state) return;
  g_state->fs.close_all();
  g_state->flash.close();
  g_state.reset();
  g_wdt.enabled = false;
  g_wdt.before_off = false;
}

void reset(const monitor_config& config) {
  shutdown();
  monitor_state& m = M();
  m.config = config;
  m.version = config.version.empty() ? CURRENT_VERSION : config.version;
  g_wdt.kicks = 0;
  g_restarts = 0;
  if (!config.state_folder.empty()) {
    mkdir(config.state_folder.c_str(), 0755);
    state_load();
  }
  std::string image = config.state_folder.empty() ? std::string() : config.state_folder + "/" + FLASH_FILE;
  if (!m.flash.open(image, config.flash_size)) m.flash.open(std::string(), config.flash_size);
  m.fs.mount();

  // The application asked for a defragment before the restart.
  if (m.scratch & 0x01) {
    console_printf("defragmenting the flash file system...\n");
    int r = m.fs.defragment();
    if (r != TFS_OKAY) console_printf("defragmenting failed (%d)\n", r);
    m.scratch &= static_cast<uint8_t>(~0x01);
  }
  if (m.install_pending) {
    install_bootloader();
    m.install_pending = false;
  }
  state_save();

  if (board::present()) {
    reg_write8(kUart0Scratch, m.scratch);
    board::map_device(MON_TABLE_POINTER & ~0xFu, 0x10, &g_table_pointer);
  }
  env_load();
  run_script("monrc");

  if (config.watchdog_host_clock && config.watchdog_timeout_ms) {
    g_wdt.stop = false;
    g_wdt.watcher = std::thread(watcher_main, config.watchdog_timeout_ms);
  }
}

const monitor_config& config() { return M().config; }

uint32_t restart_count() { return g_restarts; }
restart_kind last_restart() { return static_cast<restart_kind>(g_last_restart.load()); }

uint8_t scratch() { return board::present() ? reg_read8(kUart0Scratch) : M().scratch; }

void set_scratch(uint8_t value) {
  if (board::present())
    reg_write8(kUart0Scratch, value);
  else
    M().scratch = value;
}

bool watchdog_enabled() { return g_wdt.enabled; }
uint64_t watchdog_kicks() { return g_wdt.kicks; }

bool watchdog_poll() {
  if (!g_state) return false;
  const monitor_config& c = M().config;
  if (!g_wdt.enabled || c.watchdog_timeout_ms == 0) return false;
  bool expired;
  if (c.watchdog_host_clock)
    expired = steady_ns() - g_wdt.last_ns > int64_t(c.watchdog_timeout_ms) * 1000000;
  else
    expired = static_cast<uint32_t>(tx_time_get()) - g_wdt.last_tick > (c.watchdog_timeout_ms + 9) / 10;
  if (!expired) return false;
  // The board resets: the watchdog is off again until the program arms it.
  g_wdt.enabled = false;
  restart(restart_kind::watchdog);
  return true;
}

uint32_t flash_size() { return M().flash.size(); }
const uint8_t* flash_bytes() { return M().flash.bytes(); }
uint64_t flash_bytes_programmed() { return M().flash.programmed(); }

void fault_power_cut_after(int64_t bytes) { M().flash.set_power_budget(bytes); }
bool powered() { return M().flash.powered(); }
void fault_ipmod_failures(int count) { M().fs.m_ipmod_failures = count; }
void fault_flash_full(bool on) { M().fs.m_full = on; }

}  // namespace monitor
