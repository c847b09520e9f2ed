#include "database/config_file.h"

#include "database/files/file_config.h"
#include "database/fs/fs_system.h"

int config_file_restore() { return CFile_Config::Restore(&g_fs_media, g_pFileSystemDriver); }

int config_file_write() { return CFile_Config::Write(&g_fs_media, g_pFileSystemDriver); }

void config_file_write_on_reset() { config_file_write(); }
