// The directory listing file: a management client names a directory pattern
// as the file transfer's name ("Bitmaps/*", "Bitmaps/*.bmp" or one file);
// the communication task has CFile_Directory write the matching files of the
// flash file system into "//SD/<dir>", which the client then fetches.
//
// One fixed-width line per file, in flash order: "00000080", 28 zeros, the
// modification time as YYYYMMDDhhmmss, the size as "%08X", the full name and
// "\r\n".
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "database/fs/fs_driver.h"
#include "frame/peripheral/peripheral.h"

class CFile_Directory : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 15 };
  enum : uint16_t { TYPE_ID = 300 };
  static constexpr uint32_t kBufferSize = 262144;
  static constexpr const char* kFileName = "//SD/<dir>";
  // Bytes of a pattern that Matches looks at.
  static constexpr uint32_t kPatternMax = 150;

  CFile_Directory();

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  // Null unless the record's type is 300.
  static CPeripheral* Create(const pl_record& record);

  void Poll() override;

  // 1 when the listing file was written (an empty one when the request's
  // CRC does not match its pattern), 0 otherwise.
  static int Write(fs_media* media, CFileSystem_Driver* driver);
  // The listing of mib_v.fileTransferName into buffer; empty without a
  // pattern or when mib_v.fileTransferNameCrc does not match it. Lines that
  // do not fit are left out. 0; 1 for a null buffer or no database.
  static uint32_t Build(char* buffer, uint32_t size, uint32_t* length);
  // Whether the file name matches the pattern (its first kPatternMax bytes):
  // within the pattern's directory, "*" takes every file, "*.ext" the files
  // of that extension, anything else the one name.
  static int Matches(const char* pattern, uint32_t pattern_length, const char* name);
};

// Seconds since 1 January 1970 as year, month 1-12, day, hour, minute,
// second.
struct file_date {
  uint32_t year, month, day, hour, minute, second;
};
file_date file_date_from_seconds(uint32_t seconds);
