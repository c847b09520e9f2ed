// The boot monitor's stand-in, inside: the flash part, the file system on it,
// the environment, the console and the interpreter.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mon_api.h"
#include "mon_service.h"
#include "monitor_host.h"

namespace monitor_impl {

// ------------------------------------------------------------ call lock

// Takes the application's lock pair (monConnect) for one public call.
class call_guard {
 public:
  call_guard();
  ~call_guard();
  call_guard(const call_guard&) = delete;
  call_guard& operator=(const call_guard&) = delete;
  // Around calls back into the application that may wait (added commands).
  void release();
  void retake();

 private:
  bool m_held = false;
};

// ------------------------------------------------------------ flash

// A NOR flash part: erased bytes read 0xFF and programming only clears bits.
// Its bytes live in memory (callers read files in place) and, with a state
// folder, in an image file that every program operation writes through.
class flash_part {
 public:
  flash_part() = default;
  ~flash_part() { close(); }
  flash_part(const flash_part&) = delete;
  flash_part& operator=(const flash_part&) = delete;

  // Opens (or creates erased) the image; an empty path keeps it in memory.
  bool open(const std::string& path, uint32_t size);
  void close();
  uint8_t* bytes() { return m_bytes.get(); }
  uint32_t size() const { return m_size; }

  // Programs len bytes at offset: each byte becomes old AND new. False when
  // the power failed on the way (the bytes before the cut are programmed).
  bool program(uint32_t offset, const void* data, uint32_t len);
  // Replaces the whole content at once (the compaction of a defragment): a
  // new image is written beside the old and takes its place only when it is
  // complete, so a power cut leaves the old content. False on a cut.
  bool replace(const std::vector<uint8_t>& content);

  void set_power_budget(int64_t bytes) { m_budget = bytes; }
  bool powered() const { return m_powered; }
  uint64_t programmed() const { return m_programmed; }

 private:
  // Takes up to n bytes from the power budget; fewer when the power fails.
  uint32_t take_budget(uint32_t n);
  void write_through(uint32_t offset, uint32_t len);

  std::unique_ptr<uint8_t[]> m_bytes;
  uint32_t m_size = 0;
  std::string m_path;
  int m_fd = -1;
  int64_t m_budget = -1;
  bool m_powered = true;
  uint64_t m_programmed = 0;
};

// ------------------------------------------------------------ TFS

class tfs {
 public:
  static constexpr uint32_t HDR = sizeof(tfs_header);
  static constexpr uint32_t ALIGN = 16;
  static constexpr uint32_t MAGIC = 0x31526448;  // "HdR1"
  static constexpr uint8_t LAYOUT = 1;
  // Header states, each programmed over the one before.
  static constexpr uint8_t STATE_ERASED = 0xFF;
  static constexpr uint8_t STATE_CLAIMED = 0xFE;   // header and data on their way
  static constexpr uint8_t STATE_COMPLETE = 0xFC;  // a live file
  static constexpr uint8_t STATE_DELETED = 0xF8;
  static constexpr int DESCRIPTORS = 16;

  explicit tfs(flash_part& flash) : m_flash(flash) {}

  // Walks the flash: live files, dead entries, and an entry that a power cut
  // tore (dead up to the last programmed byte). Of two live files of one
  // name (a replacement cut short) the later stays.
  void mount();
  void close_all();

  int add(const char* name, const char* info, const char* flags, const void* data, uint32_t size);
  int unlink(const char* name);
  tfs_header* stat(const char* name);
  tfs_header* next(const tfs_header* prev);
  int ipmod(const char* name, const void* data, uint32_t offset, uint32_t size);
  int open(const char* name, uint32_t mode, void* buffer, uint32_t buffer_size);
  int read(int fd, void* buffer, uint32_t size);
  int write(int fd, const void* data, uint32_t size);
  int seek(int fd, int32_t offset, int whence);
  int close(int fd, const char* info);
  int defragment();

  uint32_t free_bytes() const;
  uint32_t dead_bytes() const { return m_dead; }
  uint32_t used_end() const { return m_end; }
  bool any_open() const;
  // Removes every file whose name matches the pattern (* and ?); the count.
  int remove_matching(const char* pattern);

  // Faults.
  int m_ipmod_failures = 0;
  bool m_full = false;

  static int parse_flags(const char* text, uint32_t* flags);
  static void flags_text(uint32_t flags, char* out);  // at most 9 characters

 private:
  struct descriptor {
    bool used = false;
    bool writing = false;
    uint32_t header = 0;  // offset of the read file's header
    std::string name;
    uint32_t flags = 0;
    uint8_t* buffer = nullptr;
    uint32_t capacity = 0;
    uint32_t length = 0;
    uint32_t position = 0;
  };

  tfs_header* at(uint32_t offset) { return reinterpret_cast<tfs_header*>(m_flash.bytes() + offset); }
  bool header_valid(uint32_t offset);
  uint32_t header_crc(const tfs_header& h) const;
  int find(const char* name) const;  // index in m_live, or -1
  bool is_open(uint32_t header) const;
  bool mark(uint32_t offset, uint8_t state);
  descriptor* desc(int fd);

  flash_part& m_flash;
  std::vector<uint32_t> m_live;  // offsets of live headers, in flash order
  uint32_t m_end = 0;            // first byte after the last entry
  uint32_t m_dead = 0;           // bytes of deleted and torn entries
  descriptor m_fd[DESCRIPTORS];
};

// ------------------------------------------------------------ the monitor

struct monitor_state {
  monitor::monitor_config config;
  flash_part flash;
  tfs fs{flash};

  // Environment: the values handed out stay valid for the run.
  std::map<std::string, std::string*> env;
  std::vector<std::unique_ptr<std::string>> env_texts;

  // Kept in the state file across restarts.
  std::string version;
  uint8_t scratch = 0;
  int64_t clock_offset = 0;
  bool install_pending = false;

  mon_lock_fn lock = nullptr;
  mon_lock_fn unlock = nullptr;
  uintptr_t table = 0;
  mon_putc_hook output_hook = nullptr;
  tfs_time_hook time_hook = nullptr;
  tfs_date_hook date_hook = nullptr;
  std::vector<const mon_command*> tables;

  std::mutex console_lock;
  std::string console_in;
  std::string console_out;
};

monitor_state& M();

// Console output: the output hook, else the configured console, else UART 1.
void console_write(const char* text, size_t length);
void console_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Environment.
void env_load();
void env_save();
int env_set(const char* name, const char* value);
const char* env_get(const char* name);

// The interpreter (the caller holds the call guard, or nothing at boot).
int run_command(const char* line, call_guard* guard);
// Runs the lines of a script file ("monrc").
void run_script(const char* name);

// The state file.
void state_save();

// Restart through the configured action.
void restart(monitor::restart_kind kind);

// Host time of the board clock.
int64_t host_now();
// Modification time of a new file: the time hook's, else 0.
uint32_t stamp_time();

}  // namespace monitor_impl
