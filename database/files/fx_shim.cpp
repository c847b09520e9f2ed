#include "database/files/fx_shim.h"

#include <cstring>

#include "database/fs/fs_system.h"
#include "frame/watchdog/watchdog_task.h"
#include "mon_api.h"

namespace {

fs_file s_file = {0, nullptr, 0, nullptr, nullptr, -1, 0, nullptr};
// The open file's name: the driver keeps the pointer while the file is open.
char s_name[FS_PATH_MAX + 1];

const char* const kWebFiles[] = {"index.html", "view.html",     "message.html", "quick.html",
                                 "diag.html",  "quorstyle.css", "list.html"};

const char* without_slash(const char* name) { return name && name[0] == '/' ? name + 1 : name; }

uint32_t result(fs_status st) { return st == FS_SUCCESS ? FX_SUCCESS : FX_IO_ERROR; }

fs_file* file_of(FX_FILE* handle) { return handle ? handle->file : nullptr; }

}  // namespace

fs_file* fx_shared_file() { return &s_file; }

uint32_t fx_file_create(FX_MEDIA*, const char* name) {
  // Created under the name that the later open uses.
  name = without_slash(name);
  return result(g_pFileSystemDriver->FileCreate(&g_fs_media, &s_file, name, 0));
}

uint32_t fx_file_delete(FX_MEDIA*, const char* name) {
  return result(g_pFileSystemDriver->FileDelete(&g_fs_media, without_slash(name)));
}

uint32_t fx_file_open(FX_MEDIA*, FX_FILE* handle, const char* name, uint32_t open_type) {
  name = without_slash(name);
  if (!handle || !name || std::strlen(name) > FS_PATH_MAX) return FX_IO_ERROR;
  handle->file = &s_file;
  uint32_t mode = 0;
  if (open_type == FX_OPEN_FOR_READ) mode = FS_MODE_READ;
  if (open_type == FX_OPEN_FOR_WRITE) mode = FS_MODE_WRITE;
  for (const char* web : kWebFiles)
    if (std::strcmp(name, web) == 0) mode |= FS_MODE_BUFFERED;
  if (std::strstr(name, ".EXE")) mode |= FS_ATTR_P;
  // The name of a file already open stays where the driver points.
  if (s_file.id == FS_FILE_ID) return FX_IO_ERROR;
  std::strcpy(s_name, name);
  return result(g_pFileSystemDriver->FileOpen(&g_fs_media, &s_file, s_name, mode));
}

uint32_t fx_file_close(FX_FILE* handle) { return result(g_pFileSystemDriver->FileClose(file_of(handle))); }

uint32_t fx_file_read(FX_FILE* handle, void* buffer, uint32_t size, uint32_t* actual) {
  uint32_t got = 0;
  fs_status st = g_pFileSystemDriver->FileRead(file_of(handle), buffer, size, &got);
  if (actual) *actual = got;
  if (st == FS_END_OF_FILE) return FX_END_OF_FILE;
  return result(st);
}

uint32_t fx_file_write(FX_FILE* handle, const void* data, uint32_t size) {
  return result(g_pFileSystemDriver->FileWrite(file_of(handle), data, size));
}

uint32_t fx_file_seek(FX_FILE*, uint32_t offset) {
  return g_pFileSystemDriver->FileSeek(&s_file, offset) == FS_SUCCESS ? FX_SUCCESS : FX_SEEK_ERROR;
}

uint32_t fx_directory_information_get(FX_MEDIA*, const char* name, uint32_t* attributes, uint32_t* size,
                                      uint32_t* year, uint32_t* month, uint32_t* day, uint32_t* hour,
                                      uint32_t* minute, uint32_t* second) {
  tfs_header* h = name ? mon_tfsstat(without_slash(name)) : nullptr;
  if (!h) return FX_NOT_FOUND;
  auto put = [](uint32_t* out, uint32_t value) {
    if (out) *out = value;
  };
  put(size, h->data_size);
  put(attributes, 0);
  put(year, 2004);
  put(month, 1);
  put(day, 1);
  put(hour, 0);
  put(minute, 0);
  put(second, 0);
  return FX_SUCCESS;
}

uint32_t fx_media_ready() { return g_pWatchdog && g_pWatchdog->HardwareEnabled() ? 1 : 0; }

void fx_media_hook_install() { g_fs_media.watchdog_hook = fx_media_ready; }
