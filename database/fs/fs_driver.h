// The file-system driver: every file access of the controller apart from the
// flash journal goes through one CFileSystem_Driver and its media. The
// interface follows an embedded FAT-style API (media, file objects, per-thread
// current directories); CFileSystem_DriverTFS maps it onto the boot monitor's
// flash file system.
#pragma once

#include <cstdint>

#include "frame/util/list.h"
#include "mon_api.h"
#include "tx_api.h"

// Result of every driver operation.
enum fs_status : uint32_t {
  FS_SUCCESS = 0,
  FS_NO_BUFFER = 1,          // no buffer available for the file
  FS_EXISTS = 2,             // the file exists
  FS_ALREADY_OPEN = 3,
  FS_NOT_PERMITTED = 4,      // wrong open mode, deletion refused, monitor -10 on a write
  FS_NOT_FOUND = 5,
  FS_NOT_OPEN = 6,           // not an open file object
  FS_NO_SPACE = 7,           // no flash space, or opening for creation failed
  FS_MEDIA_NOT_OPEN = 8,
  FS_ERROR = 9,              // other file-system error
  FS_END_OF_FILE = 10,
  FS_FLASH_ERROR = 11,       // monitor -13 on a whole-file write
  FS_NAME_TOO_LONG = 12,     // name or path longer than FS_PATH_MAX
  FS_BAD_ARGUMENT = 13,      // monitor -4, a path outside the current directory, in-place creation
  FS_BUSY = 14,              // the media lock is held by another thread
  FS_NOT_SUPPORTED = 15,     // or no path record
  FS_NO_DIRECTORY = 16,      // the path has no directory part
};

// Mode and attribute bits (one word for both).
enum : uint32_t {
  FS_ATTR_P = 0x0040,
  FS_MODE_EXEC_SCRIPT = 0x0080,  // the boot monitor runs it (its start-up file)
  FS_MODE_EXEC_IMAGE = 0x0100,
  FS_MODE_LINK = 0x0200,
  FS_MODE_BOOT = 0x0400,
  FS_MODE_IN_PLACE = 0x0800,     // in-place modifiable; as an open mode: write in place
  FS_ATTR_C = 0x1000,
  FS_MODE_BUFFERED = 0x2000,     // as an open mode: reads are served from the file buffer
  FS_MODE_READ = 0x4000,
  FS_MODE_WRITE = 0x8000,        // appending
};

constexpr uint32_t FS_PATH_MAX = 200;
constexpr uint32_t FS_MEDIA_ID = 0x4D454449;  // "MEDI"
constexpr uint32_t FS_FILE_ID = 0x46494C45;   // "FILE"
constexpr uint32_t FS_FILE_BUFFER_SIZE = 524288;

uint32_t fs_tfs_flags_to_attributes(uint32_t tfs_flags);
uint32_t fs_attributes_to_tfs_flags(uint32_t attributes);

// A thread's current directory (caller-owned; the media keeps a pointer).
struct fs_path_record {
  const char* thread_name;
  char path[FS_PATH_MAX + 1];  // separators stored as "\\"
  tfs_header* cursor;          // last directory entry returned, null before the first
};

struct fs_media {
  uint32_t id;
  uintptr_t parameter;
  uint32_t file_buffer_size;
  LIST local_paths;
  fs_path_record default_record;  // for threads without a record of their own
  TX_MUTEX lock;                  // "TFS FS Driver", taken without waiting
  uint32_t (*watchdog_hook)();    // after a whole-file write: is the monitor's watchdog to be on?
};

struct fs_file {
  uint32_t id;
  const char* name;  // the caller's (not copied; must outlive the open file)
  uint32_t mode;
  fs_media* media;
  tfs_header* header;  // null while the file does not exist in flash yet
  int32_t descriptor;  // negative when not open
  uint32_t position;
  void* buffer;        // borrowed from the buffer pool while the file is open
};

// A fresh file object (not open, no descriptor).
void fs_file_init(fs_file* file);

class CFileSystem_Driver {
 public:
  CFileSystem_Driver() = default;
  virtual ~CFileSystem_Driver() = default;
  CFileSystem_Driver(const CFileSystem_Driver&) = delete;
  CFileSystem_Driver& operator=(const CFileSystem_Driver&) = delete;

  virtual fs_status FileCreateWithData(fs_media* media, fs_file* file, const char* name, uint32_t attributes,
                                       const void* data, uint32_t size);
  virtual fs_status FileAttributesRead(fs_media* media, const char* name, uint32_t* attributes);
  virtual fs_status FileAttributesSet(fs_media* media, const char* name, uint32_t attributes);
  virtual fs_status FileCreate(fs_media* media, fs_file* file, const char* name, uint32_t mode);
  virtual fs_status FileDelete(fs_media* media, const char* name);
  virtual fs_status FileOpen(fs_media* media, fs_file* file, const char* name, uint32_t mode);
  virtual fs_status FileClose(fs_file* file);
  virtual fs_status FileSeek(fs_file* file, uint32_t offset);
  virtual fs_status FileRead(fs_file* file, void* buffer, uint32_t size, uint32_t* actual);
  virtual fs_status FileWrite(fs_file* file, const void* data, uint32_t size);
  virtual fs_status Reserved12();
  virtual fs_status Reserved13();
  virtual fs_status Reserved14();
  // The entry of `path` in the caller's current directory.
  virtual fs_status DirectoryInformationGet(fs_media* media, const char* path, uint32_t* attributes,
                                            uint32_t* size, uint32_t* date1, uint32_t* date2, uint32_t* date3);
  virtual fs_status LocalPathClear(fs_media* media);
  virtual fs_status LocalPathGet(fs_media* media, char** path);
  virtual fs_status LocalPathSet(fs_media* media, fs_path_record* record, const char* path);
  virtual fs_status DirectoryFirstEntryFind(fs_media* media, char** name);
  virtual fs_status DirectoryFirstFullEntryFind(fs_media* media, char** name, uint32_t* attributes, uint32_t* size,
                                                uint32_t* date1, uint32_t* date2, uint32_t* date3);
  virtual fs_status DirectoryNextEntryFind(fs_media* media, char** name);
  virtual fs_status DirectoryNextFullEntryFind(fs_media* media, char** name, uint32_t* attributes, uint32_t* size,
                                               uint32_t* date1, uint32_t* date2, uint32_t* date3);
  virtual fs_status MediaOpen(fs_media* media, uintptr_t parameter);
  virtual fs_status MediaClose(fs_media* media);
  virtual fs_status Reserved25();
  virtual fs_status MediaSpaceAvailable(fs_media* media, uint32_t* free, uint32_t* total);
  virtual fs_status MediaDefragment(fs_media* media);
  virtual fs_status MediaBufferSizeSet(fs_media* media, uint32_t size);
  virtual fs_status MediaBufferSizeGet(fs_media* media, uint32_t* size);

 protected:
  // Checks the media's id and takes its lock without waiting: 0, 8 or 14.
  fs_status Lock(fs_media* media);
  void Unlock(fs_media* media);
};

// Path helpers; `out` has room for max + 1 characters.
// The directory part with "\\" separators, ending in its separator: 12 when
// the path is longer than max, 16 when it has no directory part.
fs_status fs_path_directory(CFileSystem_Driver* driver, const char* path, char* out, uint32_t max);
// The part after the last "/" or "\\" (the whole path without either); 12
// when longer than max.
fs_status fs_path_basename(CFileSystem_Driver* driver, const char* path, char* out, uint32_t max);
// Path record lookup flags.
enum : uint32_t { FS_PATH_OF_THREAD = 1, FS_PATH_DEFAULT = 2 };
// With FS_PATH_OF_THREAD the calling thread's record (by thread name); failing
// that, with FS_PATH_DEFAULT, the media's default record; else 5.
fs_status fs_local_path_find(CFileSystem_Driver* driver, fs_media* media, fs_path_record** record, uint32_t flags);
