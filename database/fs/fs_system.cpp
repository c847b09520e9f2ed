#include "database/fs/fs_system.h"

CFileSystem_DriverTFS g_fs_driver_tfs;
CFileSystem_Driver* g_pFileSystemDriver = &g_fs_driver_tfs;
fs_media g_fs_media = {0, 0, FS_FILE_BUFFER_SIZE, {}, {}, {}, nullptr};

namespace {

const char kSystemDrive[] = "system drive";

}  // namespace

int file_system_media_open() {
  // A start in the same process (tests) finds the media as the last run
  // left it: its lock belonged to a kernel that is gone.
  if (g_fs_media.id == FS_MEDIA_ID) {
    list_destroy(&g_fs_media.local_paths);
    g_fs_media.id = 0;
    g_fs_media.lock = TX_MUTEX{};
  }
  return g_pFileSystemDriver->MediaOpen(&g_fs_media, reinterpret_cast<uintptr_t>(kSystemDrive)) == FS_SUCCESS ? 0
                                                                                                          : 1;
}
