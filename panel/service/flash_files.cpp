#include "panel/service/flash_files.h"

#include "comm/comm_task.h"
#include "database/fs/fs_system.h"
#include "frame/os/os.h"

fs_status flash_retry(const std::function<fs_status()>& op) {
  fs_status st = op();
  for (uint32_t t = 0; st == FS_BUSY && t < FLASH_BUSY_TICKS; ++t) {
    os_sleep(1);
    st = op();
  }
  return st;
}

bool flash_walk(const std::function<bool(const char* name, uint32_t attributes)>& visit) {
  CFileSystem_Driver* fs = g_pFileSystemDriver;
  if (!fs) return false;
  fs_path_record record{};
  if (flash_retry([&] { return fs->LocalPathSet(&g_fs_media, &record, "./"); }) != FS_SUCCESS) return false;
  char* name = nullptr;
  uint32_t attributes = 0, size = 0, d1 = 0, d2 = 0, d3 = 0;
  fs_status st = flash_retry(
      [&] { return fs->DirectoryFirstFullEntryFind(&g_fs_media, &name, &attributes, &size, &d1, &d2, &d3); });
  while (st == FS_SUCCESS && name && visit(name, attributes))
    st = flash_retry(
        [&] { return fs->DirectoryNextFullEntryFind(&g_fs_media, &name, &attributes, &size, &d1, &d2, &d3); });
  flash_clear_path();
  return true;
}

void flash_clear_path() {
  CFileSystem_Driver* fs = g_pFileSystemDriver;
  // A record left in the media's list would outlive its owner: the lock
  // is always given back, so this waits as long as it takes.
  while (fs && fs->LocalPathClear(&g_fs_media) == FS_BUSY)
    if (os_sleep(1) != OS_SUCCESS) break;
}

bool flash_read(const char* name, uint8_t* buffer, size_t capacity, size_t* length) {
  *length = 0;
  CFileSystem_Driver* fs = g_pFileSystemDriver;
  if (!fs || !name) return false;
  fs_file file;
  fs_file_init(&file);
  if (flash_retry([&] { return fs->FileOpen(&g_fs_media, &file, name, FS_MODE_READ); }) != FS_SUCCESS) return false;
  bool ok = true;
  while (*length < capacity) {
    uint32_t got = 0;
    const uint32_t want = static_cast<uint32_t>(capacity - *length);
    fs_status st = flash_retry([&] { return fs->FileRead(&file, buffer + *length, want, &got); });
    if (st == FS_END_OF_FILE) break;
    if (st != FS_SUCCESS) {
      ok = false;
      break;
    }
    if (got == 0) break;
    *length += got;
  }
  flash_retry([&] { return fs->FileClose(&file); });
  return ok;
}

bool flash_create(const char* name, uint32_t attributes, const uint8_t* data, uint32_t size) {
  CFileSystem_Driver* fs = g_pFileSystemDriver;
  if (!fs || !name) return false;
  fs_file file;
  fs_file_init(&file);
  g_comm_task.Lock();
  fs_status st =
      flash_retry([&] { return fs->FileCreateWithData(&g_fs_media, &file, name, attributes, data, size); });
  g_comm_task.Unlock();
  return st == FS_SUCCESS;
}
