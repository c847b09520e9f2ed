// The boot monitor's call interface: what the application reaches through the
// monitor's call table. The monitor owns the console's command interpreter,
// the environment, the flash file system (TFS), the watchdog service, the
// board clock and the restart of the board.
//
// Once monConnect has been given a lock pair, every call below takes the
// lock on entry and gives it back on return; calls made from inside a call
// (hooks, added commands) nest.
#pragma once

#include <cstddef>
#include <cstdint>

// ------------------------------------------------------------ connection

// The u32 at this address holds the address of the monitor's call table.
constexpr uint32_t MON_TABLE_POINTER = 0xFFFFFFF4;
// Where the call table lives in the boot flash.
constexpr uint32_t MON_TABLE_ADDRESS = 0xFFF80000;

typedef void (*mon_lock_fn)();
// Connects to the call table found at `table`; lock and unlock (both or
// neither) bracket every later call. 0 when `table` is the monitor's table,
// -1 otherwise (the lock pair is installed either way).
int monConnect(uintptr_t table, mon_lock_fn lock, mon_lock_fn unlock);

// ------------------------------------------------------------ commands

// One command of an added table; the table ends with a null name. `help` is a
// null-terminated list of lines that the monitor's "help" prints.
struct mon_command {
  const char* name;
  int (*func)(int argc, char** argv);
  const char* const* help;
};
// Adds a command table (kept by pointer; it must outlive the monitor's use).
// Up to 8 tables; 0, or -1 when the table is null or no slot is left.
int mon_addcommand(const mon_command* table);
// Runs one command line: split at blanks (double quotes group words) into at
// most 32 words of a line of at most 255 characters. The command's result;
// -1 for an unknown command or a line that cannot be split.
int mon_docommand(const char* line, int verbose);

// ------------------------------------------------------------ console

// Non-zero when a console character waits.
int mon_gotachar();
// The next console character, or -1 when none waits (the monitor does not
// block its caller).
int mon_getchar();
int mon_putchar(int c);
// The monitor's own printer: to the output hook when one is installed
// (service 300), else straight to the console.
int mon_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ------------------------------------------------------------ environment

// The variable's text, or null when it is not set. The text stays valid for
// the life of this monitor run.
const char* mon_getenv(const char* name);
// Sets (or, with a null or empty text, removes) a variable; kept across
// restarts. 0, or -1 for a bad name.
int mon_setenv(const char* name, const char* value);

// ------------------------------------------------------------ identity, restart, watchdog

// Identification text; its first eleven characters are the build date
// "Mmm dd yyyy" (the day padded with a blank).
const char* mon_version();
// Restarts the board: kind 0 a plain restart, 1 a restart that installs the
// boot-loader file "KB90521.BIN". Does not return on the board; the host may
// record the restart and return, and callers try again.
void mon_restart(int kind);
// Services the watchdog.
int mon_watchdog();
// 0 switches the watchdog off, 1 on, 0xFF back to its state before the last
// switch-off. The previous state (0 or 1).
int mon_watchdog_enable(int mode);

// ------------------------------------------------------------ clock

// The board clock as ten words: seconds, minutes, hours, day of month (1-31),
// month (0-11), years since 1900, weekday (0 = Sunday), day of year, and two
// words that are 0. 0, or -1 for a null pointer.
int mon_clock_get(uint32_t* date);
int mon_clock_set(const uint32_t* date);

// ------------------------------------------------------------ TFS

// A file's header in flash; the file's data follow it (at hdr_size) and can
// be read in place. A header stays where it is until the flash is
// defragmented.
struct tfs_header {
  uint16_t hdr_size;   // bytes of this header
  uint8_t state;       // programmed towards 0 as the entry progresses
  uint8_t layout;      // header layout version
  uint32_t data_size;  // bytes of data
  uint32_t flags;      // TFS_FLAG_* of the file
  uint32_t span;       // bytes from this header to the next entry
  uint32_t reserved;
  uint32_t mod_time;   // from the time hook at add, else 0
  uint32_t hdr_crc;    // CRC-32 of the header, state and this word as ones
  char name[64];
  char info[32];
  uint32_t magic;
};
static_assert(sizeof(tfs_header) == 128, "the header is 128 bytes of flash");
static_assert(offsetof(tfs_header, data_size) == 4 && offsetof(tfs_header, flags) == 8 &&
                  offsetof(tfs_header, mod_time) == 20 && offsetof(tfs_header, name) == 28,
              "callers read these fields at fixed offsets");

constexpr uint32_t TFS_NAME_MAX = 63;
constexpr uint32_t TFS_INFO_MAX = 31;

// File flags and their letters in the flag text of mon_tfsadd.
constexpr uint32_t TFS_FLAG_EXEC_SCRIPT = 0x000001;  // "e"
constexpr uint32_t TFS_FLAG_BOOT = 0x000002;         // "b"
constexpr uint32_t TFS_FLAG_LINK = 0x000008;         // "l"
constexpr uint32_t TFS_FLAG_EXEC_IMAGE = 0x000010;   // "E"
constexpr uint32_t TFS_FLAG_IPMOD = 0x000080;        // "i": may be modified in place
constexpr uint32_t TFS_FLAG_V = 0x200000;            // "v"
constexpr uint32_t TFS_FLAG_P = 0x400000;            // "p"
constexpr uint32_t TFS_FLAG_C = 0x800000;            // "c"
constexpr uint32_t TFS_FLAGS_FILE = 0xE0009B;
// Open modes of mon_tfsopen.
constexpr uint32_t TFS_OPEN_READ = 0x010000;
constexpr uint32_t TFS_OPEN_CREATE = 0x020000;    // a new file, written into the caller's buffer, added at close
constexpr uint32_t TFS_OPEN_APPEND = 0x040000;    // an existing file, copied into the buffer, re-added at close
constexpr uint32_t TFS_OPEN_BUFFERED = 0x200000;  // reading: the whole file is delivered into the buffer at open
// Whence of mon_tfsseek.
enum : int { TFS_SEEK_SET = 1, TFS_SEEK_CUR = 2, TFS_SEEK_END = 3 };

// Results.
enum : int {
  TFS_OKAY = 0,
  TFS_ERR_NOFILE = -1,      // no such file
  TFS_ERR_NOSLOT = -2,      // no free descriptor
  TFS_ERR_EOF = -3,         // end of file
  TFS_ERR_BADARG = -4,      // bad name, flag letter, descriptor or argument
  TFS_ERR_EXISTS = -7,      // the file exists and is open, so it cannot be replaced
  TFS_ERR_NOTPERMITTED = -10,  // wrong mode, not modifiable in place, or open
  TFS_ERR_SETBITS = -11,    // an in-place modify would have to set bits
  TFS_ERR_FLASH = -13,      // programming the flash failed
  TFS_ERR_NOSPACE = -14,    // the data do not fit the buffer or the file
  TFS_ERR_FLASHFULL = -18,  // no room in the flash for the file
};

// Control requests of mon_tfsctrl.
enum : int {
  TFS_CTRL_DEAD = 3,       // bytes held by deleted files, given back by defragmenting
  TFS_CTRL_DEFRAG = 5,     // defragment now (refused while a file is open)
  TFS_CTRL_FREE = 10,      // bytes a new file may still take
  TFS_CTRL_HOOKS = 11,     // arg1: u32 (*)() time hook; arg2: char* (*)(u32, char*, int) date hook
  TFS_CTRL_FRAGMENT = 20,  // arg1 "//SF/": dead space in 1/10000 of the flash (above 1000: defragment)
};

// Adds a file (replacing a file of that name). A null `data` with a size
// reserves erased space (all 0xFF). flags: letters "ebElipcv" or null.
int mon_tfsadd(const char* name, const char* info, const char* flags, const void* data, uint32_t size);
int mon_tfsunlink(const char* name);
// The file's header, or null.
tfs_header* mon_tfsstat(const char* name);
// The file after `prev` in flash order (the first for null), or null.
tfs_header* mon_tfsnext(const tfs_header* prev);
// Programs size bytes at offset of a file made with "i"; only clears bits.
int mon_tfsipmod(const char* name, const void* data, uint32_t offset, uint32_t size);
// Opens a file; the descriptor (>= 0) or a result. The buffer (of
// buffer_size bytes) belongs to the descriptor until close: a created or
// appended file is written into it, and with TFS_OPEN_BUFFERED a read file
// is delivered into it. TFS_OPEN_APPEND with TFS_FLAG_IPMOD opens a file for
// writing in place (mon_tfsipmod): nothing is copied, and the descriptor
// reads like one opened for reading.
int mon_tfsopen(const char* name, uint32_t mode, void* buffer, uint32_t buffer_size);
// Bytes read (> 0), or TFS_ERR_EOF at the end.
int mon_tfsread(int fd, void* buffer, uint32_t size);
int mon_tfswrite(int fd, const void* data, uint32_t size);
// The new position, or TFS_ERR_EOF past the end.
int mon_tfsseek(int fd, int32_t offset, int whence);
// Closes; a created or appended file is added to the flash with `info`.
int mon_tfsclose(int fd, const char* info);
int32_t mon_tfsctrl(int request, intptr_t arg1, intptr_t arg2);

typedef uint32_t (*tfs_time_hook)();
typedef char* (*tfs_date_hook)(uint32_t seconds, char* buffer, int size);
