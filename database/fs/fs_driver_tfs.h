// The file-system driver over the boot monitor's flash file system (TFS).
#pragma once

#include "database/fs/fs_driver.h"

class CFileSystem_DriverTFS : public CFileSystem_Driver {
 public:
  CFileSystem_DriverTFS() = default;
  ~CFileSystem_DriverTFS() override = default;

  // Writes a whole file in one call; a file of that name is replaced.
  fs_status FileCreateWithData(fs_media* media, fs_file* file, const char* name, uint32_t attributes,
                               const void* data, uint32_t size) override;
  fs_status FileAttributesRead(fs_media* media, const char* name, uint32_t* attributes) override;
  fs_status FileAttributesSet(fs_media* media, const char* name, uint32_t attributes) override;
  // Prepares a new file for writing; FileOpen on the same object completes it.
  fs_status FileCreate(fs_media* media, fs_file* file, const char* name, uint32_t mode) override;
  fs_status FileDelete(fs_media* media, const char* name) override;
  fs_status FileOpen(fs_media* media, fs_file* file, const char* name, uint32_t mode) override;
  fs_status FileClose(fs_file* file) override;
  fs_status FileSeek(fs_file* file, uint32_t offset) override;
  fs_status FileRead(fs_file* file, void* buffer, uint32_t size, uint32_t* actual) override;
  fs_status FileWrite(fs_file* file, const void* data, uint32_t size) override;
  fs_status LocalPathClear(fs_media* media) override;
  fs_status LocalPathGet(fs_media* media, char** path) override;
  fs_status LocalPathSet(fs_media* media, fs_path_record* record, const char* path) override;
  fs_status DirectoryFirstEntryFind(fs_media* media, char** name) override;
  fs_status DirectoryFirstFullEntryFind(fs_media* media, char** name, uint32_t* attributes, uint32_t* size,
                                        uint32_t* date1, uint32_t* date2, uint32_t* date3) override;
  fs_status DirectoryNextEntryFind(fs_media* media, char** name) override;
  fs_status DirectoryNextFullEntryFind(fs_media* media, char** name, uint32_t* attributes, uint32_t* size,
                                       uint32_t* date1, uint32_t* date2, uint32_t* date3) override;
  fs_status MediaOpen(fs_media* media, uintptr_t parameter) override;
  fs_status MediaClose(fs_media* media) override;
  fs_status MediaSpaceAvailable(fs_media* media, uint32_t* free, uint32_t* total) override;
  // Restarts so that the boot monitor compacts its flash.
  fs_status MediaDefragment(fs_media* media) override;

 private:
  fs_status FileLock(fs_file* file);
};
