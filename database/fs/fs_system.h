// The controller's one file-system driver and its media, the "system drive".
#pragma once

#include "database/fs/fs_driver.h"
#include "database/fs/fs_driver_tfs.h"

extern CFileSystem_DriverTFS g_fs_driver_tfs;
extern CFileSystem_Driver* g_pFileSystemDriver;
extern fs_media g_fs_media;

// The boot-monitor start-up's step: opens the media as "system drive"; 0
// when it opened.
int file_system_media_open();
