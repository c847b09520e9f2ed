// The driver over TFS: each operation checks its media or file object, takes
// the media lock without waiting, makes its monitor calls and maps their
// results to fs_status.
#include "database/fs/fs_driver_tfs.h"

#include <algorithm>
#include <cstring>

#include "board_io.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/os/os.h"
#include "frame/watchdog/watchdog_task.h"

namespace {

constexpr uint32_t kUart0Scratch = 0xEF600307;

// Letters of the flag text of a whole-file write, in the order of the
// attribute bits.
struct letter_row {
  uint32_t attribute;
  char letter;
};
const letter_row kLetters[] = {
    {FS_ATTR_P, 'p'},          {FS_MODE_EXEC_SCRIPT, 'e'}, {FS_MODE_EXEC_IMAGE, 'E'}, {FS_MODE_LINK, 'l'},
    {FS_MODE_BOOT, 'b'},       {FS_MODE_IN_PLACE, 'i'},    {FS_ATTR_C, 'c'},          {FS_MODE_BUFFERED, 'v'},
};

fs_status map_add(int r) {
  switch (r) {
    case TFS_OKAY: return FS_SUCCESS;
    case TFS_ERR_BADARG: return FS_BAD_ARGUMENT;
    case TFS_ERR_EXISTS: return FS_EXISTS;
    case TFS_ERR_FLASH: return FS_FLASH_ERROR;
    case TFS_ERR_FLASHFULL: return FS_NO_SPACE;
    default: return FS_ERROR;
  }
}

fs_status map_close(int r) {
  switch (r) {
    case TFS_OKAY: return FS_SUCCESS;
    case TFS_ERR_BADARG: return FS_BAD_ARGUMENT;
    default: return FS_ERROR;
  }
}

fs_status map_write(int r) {
  switch (r) {
    case TFS_OKAY: return FS_SUCCESS;
    case TFS_ERR_NOSPACE: return FS_NO_SPACE;
    case TFS_ERR_NOTPERMITTED: return FS_NOT_PERMITTED;
    case TFS_ERR_BADARG: return FS_BAD_ARGUMENT;
    default: return FS_ERROR;
  }
}

bool too_long(const char* name) { return std::strlen(name) > FS_PATH_MAX; }

void give_back(fs_file* file) {
  if (file->buffer) g_gpbuffer.Release(&file->buffer);
  file->buffer = nullptr;
}

}  // namespace

fs_status CFileSystem_DriverTFS::FileLock(fs_file* file) {
  if (!file || file->id != FS_FILE_ID) return FS_NOT_OPEN;
  return Lock(file->media);
}

fs_status CFileSystem_DriverTFS::FileCreateWithData(fs_media* media, fs_file*, const char* name,
                                                    uint32_t attributes, const void* data, uint32_t size) {
  if (!name) return FS_BAD_ARGUMENT;
  if (too_long(name)) return FS_NAME_TOO_LONG;
  char flags[sizeof kLetters / sizeof kLetters[0] + 1];
  size_t n = 0;
  for (const letter_row& r : kLetters)
    if (attributes & r.attribute) flags[n++] = r.letter;
  flags[n] = 0;

  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  int32_t free = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
  if (free < 0 || static_cast<uint32_t>(free) < size) {
    // The boot monitor compacts its flash during a restart; a restart that
    // cannot make the room would only come round again.
    int32_t dead = mon_tfsctrl(TFS_CTRL_DEAD, 0, 0);
    if (free >= 0 && dead >= 0 && uint64_t(free) + uint64_t(dead) >= size) system_defrag_reset();
    Unlock(media);
    return FS_NO_SPACE;
  }
  fs_path_record* record = nullptr;
  char full[FS_PATH_MAX * 2 + 2];
  full[0] = 0;
  if (fs_local_path_find(this, media, &record, FS_PATH_OF_THREAD | FS_PATH_DEFAULT) == FS_SUCCESS) {
    size_t i = 0;
    for (; i < FS_PATH_MAX && record->path[i]; ++i) full[i] = record->path[i] == '\\' ? '/' : record->path[i];
    full[i] = 0;
  }
  std::strcat(full, name);
  int r = mon_tfsadd(full, "", flags, data, size);
  if (media->watchdog_hook) mon_watchdog_enable(media->watchdog_hook() ? 1 : 0);
  Unlock(media);
  return map_add(r);
}

fs_status CFileSystem_DriverTFS::FileAttributesRead(fs_media* media, const char* name, uint32_t* attributes) {
  if (!name || !attributes) return FS_BAD_ARGUMENT;
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  tfs_header* h = mon_tfsstat(name);
  if (h) *attributes = fs_tfs_flags_to_attributes(h->flags);
  Unlock(media);
  return h ? FS_SUCCESS : FS_NOT_FOUND;
}

fs_status CFileSystem_DriverTFS::FileAttributesSet(fs_media*, const char*, uint32_t) { return FS_NOT_SUPPORTED; }

fs_status CFileSystem_DriverTFS::FileCreate(fs_media* media, fs_file* file, const char* name, uint32_t mode) {
  if (!file || !name) return FS_BAD_ARGUMENT;
  // A prepared or open object would lose its monitor descriptor.
  if (file->id == FS_FILE_ID || file->buffer) return FS_ALREADY_OPEN;
  if (too_long(name)) return FS_NAME_TOO_LONG;
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  file->header = mon_tfsstat(name);
  if (file->header) {
    Unlock(media);
    return FS_EXISTS;
  }
  file->mode = mode;
  if (mode & FS_MODE_IN_PLACE) {
    Unlock(media);
    return FS_BAD_ARGUMENT;
  }
  if (!g_gpbuffer.Allocate(&file->buffer, media->file_buffer_size)) {
    file->buffer = nullptr;
    Unlock(media);
    return FS_NO_BUFFER;
  }
  int fd = mon_tfsopen(name, fs_attributes_to_tfs_flags(mode) | TFS_OPEN_CREATE, file->buffer,
                       media->file_buffer_size);
  if (fd < 0) {
    give_back(file);
    file->descriptor = -1;
    Unlock(media);
    return FS_NO_SPACE;
  }
  file->descriptor = fd;
  file->position = 0;
  file->media = media;
  Unlock(media);
  return FS_SUCCESS;
}

fs_status CFileSystem_DriverTFS::FileDelete(fs_media* media, const char* name) {
  if (!name) return FS_BAD_ARGUMENT;
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  if (!mon_tfsstat(name))
    st = FS_NOT_FOUND;
  else if (mon_tfsunlink(name) != TFS_OKAY)
    st = FS_NOT_PERMITTED;
  Unlock(media);
  return st;
}

fs_status CFileSystem_DriverTFS::FileOpen(fs_media* media, fs_file* file, const char* name, uint32_t mode) {
  if (!file || !name) return FS_BAD_ARGUMENT;
  if (file->id == FS_FILE_ID) return FS_ALREADY_OPEN;
  if (too_long(name)) return FS_NAME_TOO_LONG;
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  if (!file->buffer) {
    if (!g_gpbuffer.Allocate(&file->buffer, media->file_buffer_size)) {
      file->buffer = nullptr;
      Unlock(media);
      return FS_NO_BUFFER;
    }
    uint32_t flags = fs_attributes_to_tfs_flags((mode & FS_MODE_BUFFERED) ? FS_MODE_BUFFERED : mode);
    int fd = mon_tfsopen(name, flags, file->buffer, media->file_buffer_size);
    if (fd < 0) {
      give_back(file);
      file->descriptor = -1;
      Unlock(media);
      return FS_NOT_FOUND;
    }
    file->descriptor = fd;
    file->position = 0;
    file->mode = 0;
  }
  file->header = mon_tfsstat(name);
  file->name = name;
  file->id = FS_FILE_ID;
  file->mode |= mode;
  file->media = media;
  Unlock(media);
  return FS_SUCCESS;
}

fs_status CFileSystem_DriverTFS::FileClose(fs_file* file) {
  fs_status st = FileLock(file);
  if (st != FS_SUCCESS) return st;
  fs_media* media = file->media;
  int r = mon_tfsclose(file->descriptor, nullptr);
  give_back(file);
  file->descriptor = -1;
  st = map_close(r);
  if (st == FS_SUCCESS) {
    file->id = 0;
    file->name = nullptr;
    file->header = nullptr;
    file->mode = 0;
  }
  Unlock(media);
  return st;
}

fs_status CFileSystem_DriverTFS::FileSeek(fs_file* file, uint32_t offset) {
  fs_status st = FileLock(file);
  if (st != FS_SUCCESS) return st;
  file->position = offset;
  int r = mon_tfsseek(file->descriptor, static_cast<int32_t>(offset), TFS_SEEK_SET);
  Unlock(file->media);
  if (r >= 0 && static_cast<uint32_t>(r) == offset) return FS_SUCCESS;
  return r == TFS_ERR_EOF ? FS_END_OF_FILE : FS_ERROR;
}

fs_status CFileSystem_DriverTFS::FileRead(fs_file* file, void* buffer, uint32_t size, uint32_t* actual) {
  if (actual) *actual = 0;
  fs_status st = FileLock(file);
  if (st != FS_SUCCESS) return st;
  if (!(file->mode & FS_MODE_READ)) {
    st = FS_NOT_PERMITTED;
  } else if (!buffer && size) {
    st = FS_BAD_ARGUMENT;
  } else if (file->mode & FS_MODE_BUFFERED) {
    uint32_t length = file->header ? file->header->data_size : 0;
    if (file->position >= length) {
      st = FS_END_OF_FILE;
    } else {
      uint32_t n = std::min(size, length - file->position);
      std::memcpy(buffer, static_cast<const uint8_t*>(file->buffer) + file->position, n);
      file->position += n;
      if (actual) *actual = n;
    }
  } else {
    int r = mon_tfsread(file->descriptor, buffer, size);
    if (r >= 0) {
      if (actual) *actual = static_cast<uint32_t>(r);
    } else {
      st = r == TFS_ERR_EOF ? FS_END_OF_FILE : r == TFS_ERR_BADARG ? FS_BAD_ARGUMENT : FS_ERROR;
    }
  }
  Unlock(file->media);
  return st;
}

fs_status CFileSystem_DriverTFS::FileWrite(fs_file* file, const void* data, uint32_t size) {
  fs_status st = FileLock(file);
  if (st != FS_SUCCESS) return st;
  if (!(file->mode & FS_MODE_WRITE)) {
    st = FS_NOT_PERMITTED;
  } else if (file->mode & FS_MODE_IN_PLACE) {
    st = map_write(mon_tfsipmod(file->name, data, file->position, size));
    if (st == FS_SUCCESS) file->position += size;
  } else {
    st = map_write(mon_tfswrite(file->descriptor, data, size));
  }
  Unlock(file->media);
  return st;
}

fs_status CFileSystem_DriverTFS::LocalPathClear(fs_media* media) {
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  const char* self = nullptr;
  st = FS_NOT_FOUND;
  if (os_thread_name(&self) == OS_SUCCESS && self) {
    for (list_node* n = media->local_paths.head; n; n = n->next) {
      fs_path_record* r = reinterpret_cast<fs_path_record*>(n->item);
      if (r && r->thread_name && std::strcmp(r->thread_name, self) == 0) {
        list_remove(&media->local_paths, n);
        st = FS_SUCCESS;
        break;
      }
    }
  }
  Unlock(media);
  return st;
}

fs_status CFileSystem_DriverTFS::LocalPathGet(fs_media* media, char** path) {
  if (!path) return FS_BAD_ARGUMENT;
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  fs_path_record* record = nullptr;
  st = fs_local_path_find(this, media, &record, FS_PATH_OF_THREAD);
  if (st == FS_SUCCESS) *path = record->path;
  Unlock(media);
  return st;
}

fs_status CFileSystem_DriverTFS::LocalPathSet(fs_media* media, fs_path_record* record, const char* path) {
  if (!record) return FS_BAD_ARGUMENT;
  if (path && too_long(path)) return FS_NAME_TOO_LONG;
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  const char* self = nullptr;
  if (os_thread_name(&self) != OS_SUCCESS || !self) {
    Unlock(media);
    return FS_NOT_SUPPORTED;
  }
  record->thread_name = self;
  record->cursor = nullptr;
  if (!path) {
    std::memcpy(record->path, media->default_record.path, sizeof record->path);
  } else {
    if (path[0] == '.' && path[1] == '/') path += 2;
    size_t i = 0;
    for (; i < FS_PATH_MAX && path[i]; ++i) record->path[i] = path[i] == '/' ? '\\' : path[i];
    record->path[i] = 0;
  }
  // A record set again is updated where it stands: a second node would
  // outlive a clear and grow the list with every call.
  bool listed = false;
  for (list_node* n = media->local_paths.head; n && !listed; n = n->next)
    listed = n->item == reinterpret_cast<uintptr_t>(record);
  if (!listed) {
    list_node* node = nullptr;
    if (list_add(&media->local_paths, &node) != LIST_OK || !node) {
      Unlock(media);
      return FS_NOT_SUPPORTED;
    }
    node->item = reinterpret_cast<uintptr_t>(record);
  }
  Unlock(media);
  return FS_SUCCESS;
}

fs_status CFileSystem_DriverTFS::DirectoryFirstEntryFind(fs_media* media, char** name) {
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  fs_path_record* record = nullptr;
  if (fs_local_path_find(this, media, &record, FS_PATH_OF_THREAD | FS_PATH_DEFAULT) != FS_SUCCESS) {
    st = FS_NOT_SUPPORTED;
  } else {
    record->cursor = nullptr;
    st = DirectoryNextEntryFind(media, name);
  }
  Unlock(media);
  return st;
}

fs_status CFileSystem_DriverTFS::DirectoryFirstFullEntryFind(fs_media* media, char** name, uint32_t* attributes,
                                                             uint32_t* size, uint32_t* date1, uint32_t* date2,
                                                             uint32_t* date3) {
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  fs_path_record* record = nullptr;
  if (fs_local_path_find(this, media, &record, FS_PATH_OF_THREAD | FS_PATH_DEFAULT) != FS_SUCCESS) {
    st = FS_NOT_SUPPORTED;
  } else {
    record->cursor = nullptr;
    st = DirectoryNextFullEntryFind(media, name, attributes, size, date1, date2, date3);
  }
  Unlock(media);
  return st;
}

fs_status CFileSystem_DriverTFS::DirectoryNextEntryFind(fs_media* media, char** name) {
  uint32_t attributes, size, d1, d2, d3;
  return DirectoryNextFullEntryFind(media, name, &attributes, &size, &d1, &d2, &d3);
}

fs_status CFileSystem_DriverTFS::DirectoryNextFullEntryFind(fs_media* media, char** name, uint32_t* attributes,
                                                            uint32_t* size, uint32_t* date1, uint32_t* date2,
                                                            uint32_t* date3) {
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  fs_path_record* record = nullptr;
  if (fs_local_path_find(this, media, &record, FS_PATH_OF_THREAD | FS_PATH_DEFAULT) != FS_SUCCESS) {
    Unlock(media);
    return FS_NOT_SUPPORTED;
  }
  st = FS_NOT_FOUND;
  char dir[FS_PATH_MAX + 1];
  for (tfs_header* h = mon_tfsnext(record->cursor); h; h = mon_tfsnext(h)) {
    record->cursor = h;
    fs_status d = fs_path_directory(this, h->name, dir, FS_PATH_MAX);
    bool match = (d == FS_SUCCESS && std::strcmp(dir, record->path) == 0) ||
                 (d == FS_NO_DIRECTORY && record->path[0] == 0);
    if (!match) continue;
    if (name) *name = h->name;
    if (attributes) *attributes = fs_tfs_flags_to_attributes(h->flags);
    if (size) *size = h->data_size;
    if (date1) *date1 = h->mod_time;
    if (date2) *date2 = h->mod_time;
    if (date3) *date3 = h->mod_time;
    st = FS_SUCCESS;
    break;
  }
  Unlock(media);
  return st;
}

fs_status CFileSystem_DriverTFS::MediaOpen(fs_media* media, uintptr_t parameter) {
  if (!media) return FS_BAD_ARGUMENT;
  if (media->id == FS_MEDIA_ID) return FS_ALREADY_OPEN;
  if (os_mutex_create(&media->lock, "TFS FS Driver", 0) != OS_SUCCESS) return FS_NOT_SUPPORTED;
  if (list_init(&media->local_paths, LIST_TYPE, 0) != LIST_OK) {
    os_mutex_delete(&media->lock);
    return FS_NOT_SUPPORTED;
  }
  media->id = FS_MEDIA_ID;
  media->parameter = parameter;
  media->default_record.thread_name = nullptr;
  media->default_record.cursor = nullptr;
  media->default_record.path[0] = 0;
  return FS_SUCCESS;
}

fs_status CFileSystem_DriverTFS::MediaClose(fs_media* media) {
  if (!media || media->id != FS_MEDIA_ID) return FS_MEDIA_NOT_OPEN;
  bool ok = os_mutex_delete(&media->lock) == OS_SUCCESS;
  ok = list_destroy(&media->local_paths) == LIST_OK && ok;
  media->id = 0;
  media->parameter = 0;
  return ok ? FS_SUCCESS : FS_NOT_SUPPORTED;
}

fs_status CFileSystem_DriverTFS::MediaSpaceAvailable(fs_media* media, uint32_t* free, uint32_t* total) {
  fs_status st = Lock(media);
  if (st != FS_SUCCESS) return st;
  int32_t f = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
  int32_t dead = mon_tfsctrl(TFS_CTRL_DEAD, 0, 0);
  uint32_t fu = f > 0 ? static_cast<uint32_t>(f) : 0;
  if (free) *free = fu;
  if (total) *total = fu + (dead > 0 ? static_cast<uint32_t>(dead) : 0);
  Unlock(media);
  return FS_SUCCESS;
}

fs_status CFileSystem_DriverTFS::MediaDefragment(fs_media* media) {
  if (!media || media->id != FS_MEDIA_ID) return FS_MEDIA_NOT_OPEN;
  reg_write8(kUart0Scratch, reg_read8(kUart0Scratch) | 0x01);
  mon_restart(0);
  return FS_SUCCESS;
}
