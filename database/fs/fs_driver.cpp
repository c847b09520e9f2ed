// What the abstract driver does itself: the do-nothing operations, the
// buffer size, the directory information built on the directory walk, and
// the path helpers.
#include "database/fs/fs_driver.h"

#include <cstring>

#include "frame/os/os.h"

namespace {

struct flag_row {
  uint32_t attribute;
  uint32_t tfs;
};
const flag_row kFlagRows[] = {
    {FS_ATTR_P, TFS_FLAG_P},
    {FS_MODE_EXEC_SCRIPT, TFS_FLAG_EXEC_SCRIPT},
    {FS_MODE_EXEC_IMAGE, TFS_FLAG_EXEC_IMAGE},
    {FS_MODE_LINK, TFS_FLAG_LINK},
    {FS_MODE_BOOT, TFS_FLAG_BOOT},
    {FS_MODE_IN_PLACE, TFS_FLAG_IPMOD},
    {FS_ATTR_C, TFS_FLAG_C},
    {FS_MODE_BUFFERED, TFS_FLAG_V},
    {FS_MODE_READ, TFS_OPEN_READ},
    {FS_MODE_WRITE, TFS_OPEN_APPEND},
};

bool is_separator(char c) { return c == '/' || c == '\\'; }

}  // namespace

uint32_t fs_tfs_flags_to_attributes(uint32_t tfs_flags) {
  uint32_t out = 0;
  for (const flag_row& r : kFlagRows)
    if ((tfs_flags & r.tfs) == r.tfs) out |= r.attribute;
  return out;
}

uint32_t fs_attributes_to_tfs_flags(uint32_t attributes) {
  uint32_t out = 0;
  for (const flag_row& r : kFlagRows)
    if ((attributes & r.attribute) == r.attribute) out |= r.tfs;
  return out;
}

void fs_file_init(fs_file* file) {
  if (!file) return;
  std::memset(file, 0, sizeof *file);
  file->descriptor = -1;
}

// ------------------------------------------------------------ path helpers

fs_status fs_path_directory(CFileSystem_Driver*, const char* path, char* out, uint32_t max) {
  if (!path || !out) return FS_BAD_ARGUMENT;
  size_t n = std::strlen(path);
  if (n > max) return FS_NAME_TOO_LONG;
  size_t cut = 0;
  for (size_t i = 0; i < n; ++i) {
    out[i] = path[i] == '/' ? '\\' : path[i];
    if (is_separator(path[i])) cut = i + 1;
  }
  out[cut] = 0;
  return cut ? FS_SUCCESS : FS_NO_DIRECTORY;
}

fs_status fs_path_basename(CFileSystem_Driver*, const char* path, char* out, uint32_t max) {
  if (!path || !out) return FS_BAD_ARGUMENT;
  size_t n = std::strlen(path);
  if (n > max) return FS_NAME_TOO_LONG;
  size_t start = 0;
  for (size_t i = 0; i < n; ++i)
    if (is_separator(path[i])) start = i + 1;
  std::memcpy(out, path + start, n - start + 1);
  return FS_SUCCESS;
}

fs_status fs_local_path_find(CFileSystem_Driver*, fs_media* media, fs_path_record** record, uint32_t flags) {
  if (!media || !record) return FS_BAD_ARGUMENT;
  *record = nullptr;
  const char* self = nullptr;
  if ((flags & FS_PATH_OF_THREAD) && os_thread_name(&self) == OS_SUCCESS && self) {
    for (list_node* n = media->local_paths.head; n; n = n->next) {
      fs_path_record* r = reinterpret_cast<fs_path_record*>(n->item);
      if (r && r->thread_name && std::strcmp(r->thread_name, self) == 0) {
        *record = r;
        return FS_SUCCESS;
      }
    }
  }
  if (flags & FS_PATH_DEFAULT) {
    *record = &media->default_record;
    return FS_SUCCESS;
  }
  return FS_NOT_FOUND;
}

// ------------------------------------------------------------ the base

fs_status CFileSystem_Driver::Lock(fs_media* media) {
  if (!media || media->id != FS_MEDIA_ID) return FS_MEDIA_NOT_OPEN;
  // A thread that finds another inside the driver decides itself whether
  // to retry; the owner may take the lock again.
  os_status st = os_mutex_get(&media->lock, OS_NO_WAIT);
  if (st == OS_SUCCESS) return FS_SUCCESS;
  // Start-up code (the configuration restore) runs before any thread,
  // alone in the system: it goes on without the lock.
  if (st == OS_CALLER_ERROR && !media->lock.owner) return FS_SUCCESS;
  return FS_BUSY;
}

// Outside a thread the put fails harmlessly, as the get did.
void CFileSystem_Driver::Unlock(fs_media* media) { os_mutex_put(&media->lock); }

fs_status CFileSystem_Driver::FileCreateWithData(fs_media*, fs_file*, const char*, uint32_t, const void*, uint32_t) {
  return FS_SUCCESS;
}
fs_status CFileSystem_Driver::FileAttributesRead(fs_media*, const char*, uint32_t*) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::FileAttributesSet(fs_media*, const char*, uint32_t) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::FileCreate(fs_media*, fs_file*, const char*, uint32_t) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::FileDelete(fs_media*, const char*) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::FileOpen(fs_media*, fs_file*, const char*, uint32_t) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::FileClose(fs_file*) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::FileSeek(fs_file*, uint32_t) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::FileRead(fs_file*, void*, uint32_t, uint32_t*) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::FileWrite(fs_file*, const void*, uint32_t) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::Reserved12() { return FS_SUCCESS; }
fs_status CFileSystem_Driver::Reserved13() { return FS_SUCCESS; }
fs_status CFileSystem_Driver::Reserved14() { return FS_SUCCESS; }
fs_status CFileSystem_Driver::LocalPathClear(fs_media*) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::LocalPathGet(fs_media*, char**) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::LocalPathSet(fs_media*, fs_path_record*, const char*) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::DirectoryFirstEntryFind(fs_media*, char**) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::DirectoryFirstFullEntryFind(fs_media*, char**, uint32_t*, uint32_t*, uint32_t*,
                                                          uint32_t*, uint32_t*) {
  return FS_SUCCESS;
}
fs_status CFileSystem_Driver::DirectoryNextEntryFind(fs_media*, char**) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::DirectoryNextFullEntryFind(fs_media*, char**, uint32_t*, uint32_t*, uint32_t*,
                                                         uint32_t*, uint32_t*) {
  return FS_SUCCESS;
}
fs_status CFileSystem_Driver::MediaOpen(fs_media*, uintptr_t) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::MediaClose(fs_media*) { return FS_SUCCESS; }
fs_status CFileSystem_Driver::Reserved25() { return FS_SUCCESS; }
fs_status CFileSystem_Driver::MediaDefragment(fs_media*) { return FS_SUCCESS; }

fs_status CFileSystem_Driver::MediaSpaceAvailable(fs_media*, uint32_t* free, uint32_t* total) {
  if (free) *free = 0x7FFFFFFF;
  if (total) *total = 0x7FFFFFFF;
  return FS_SUCCESS;
}

fs_status CFileSystem_Driver::MediaBufferSizeSet(fs_media* media, uint32_t size) {
  if (!media) return FS_MEDIA_NOT_OPEN;
  media->file_buffer_size = size;
  return FS_SUCCESS;
}

fs_status CFileSystem_Driver::MediaBufferSizeGet(fs_media* media, uint32_t* size) {
  if (!media) return FS_MEDIA_NOT_OPEN;
  if (!size) return FS_BAD_ARGUMENT;
  *size = media->file_buffer_size;
  return FS_SUCCESS;
}

fs_status CFileSystem_Driver::DirectoryInformationGet(fs_media* media, const char* path, uint32_t* attributes,
                                                      uint32_t* size, uint32_t* date1, uint32_t* date2,
                                                      uint32_t* date3) {
  if (!path) return FS_BAD_ARGUMENT;
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  char dir[FS_PATH_MAX + 1];
  char base[FS_PATH_MAX + 1];
  st = fs_path_directory(this, path, dir, FS_PATH_MAX);
  if (st == FS_SUCCESS) {
    fs_path_record* record = nullptr;
    if (fs_local_path_find(this, media, &record, FS_PATH_OF_THREAD | FS_PATH_DEFAULT) != FS_SUCCESS) {
      st = FS_NOT_SUPPORTED;
    } else if (std::strcmp(dir, record->path) != 0) {
      st = FS_BAD_ARGUMENT;  // outside the current directory
    }
  } else if (st == FS_NO_DIRECTORY) {
    st = FS_SUCCESS;
  }
  if (st == FS_SUCCESS) st = fs_path_basename(this, path, base, FS_PATH_MAX);
  if (st == FS_SUCCESS) {
    char* name = nullptr;
    char entry[FS_PATH_MAX + 1];
    for (st = DirectoryFirstFullEntryFind(media, &name, attributes, size, date1, date2, date3); st == FS_SUCCESS;
         st = DirectoryNextFullEntryFind(media, &name, attributes, size, date1, date2, date3)) {
      if (fs_path_basename(this, name, entry, FS_PATH_MAX) == FS_SUCCESS && std::strcmp(entry, base) == 0) break;
    }
  }
  Unlock(media);
  return st;
}
