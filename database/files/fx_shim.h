// The file calls of the web server: the embedded HTTP server reads and
// writes files through a FAT-style file API; these entry points map it onto
// the controller's file-system driver and media. The media argument is
// ignored. Every handle the server opens refers to one shared file object,
// so one file is open through the shim at a time.
#pragma once

#include <cstdint>

#include "database/fs/fs_driver.h"

// The server's media and file handles. A file handle's first word points at
// the shared file object once it was opened.
struct FX_MEDIA {
  uint32_t reserved;
};
struct FX_FILE {
  fs_file* file;
};

// Results.
enum : uint32_t {
  FX_SUCCESS = 0,
  FX_NOT_FOUND = 4,
  FX_SEEK_ERROR = 7,
  FX_END_OF_FILE = 9,
  FX_IO_ERROR = 0x90,  // any other failure of the driver
};
// Open types.
enum : uint32_t { FX_OPEN_FOR_READ = 0, FX_OPEN_FOR_WRITE = 1 };

// Names may start with "/", which is dropped. A file that the server uploads
// is created with fx_file_create and then opened for writing, which
// completes it.
uint32_t fx_file_create(FX_MEDIA* media, const char* name);
uint32_t fx_file_delete(FX_MEDIA* media, const char* name);
// The web pages of the controller are served from the file buffer.
uint32_t fx_file_open(FX_MEDIA* media, FX_FILE* file, const char* name, uint32_t open_type);
uint32_t fx_file_close(FX_FILE* file);
uint32_t fx_file_read(FX_FILE* file, void* buffer, uint32_t size, uint32_t* actual);
uint32_t fx_file_write(FX_FILE* file, const void* data, uint32_t size);
uint32_t fx_file_seek(FX_FILE* file, uint32_t offset);
// FX_NOT_FOUND for a missing file; else its size, attributes 0 and the
// fixed date 2004-01-01 00:00:00.
uint32_t fx_directory_information_get(FX_MEDIA* media, const char* name, uint32_t* attributes, uint32_t* size,
                                      uint32_t* year, uint32_t* month, uint32_t* day, uint32_t* hour,
                                      uint32_t* minute, uint32_t* second);

// The media's watchdog hook: after a whole-file write the boot monitor's
// watchdog is to run when the watchdog task has the hardware watchdog on
// (not before the task started, nor while a long operation switched it
// off). 1 run, 0 stay off.
uint32_t fx_media_ready();
// Installs fx_media_ready as the system media's watchdog hook (a step of the
// boot-monitor start-up).
void fx_media_hook_install();

// The shared file object (tests look at it).
fs_file* fx_shared_file();
