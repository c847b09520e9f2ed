// The configuration file CONFIG.XML: a text backup of the configuration
// objects (database/config_table.h) in the flash file system, written some
// minutes after the last configuration change and read back at start-up
// when the journal holds no valid image. CFile_Config is the built-in
// peripheral that writes it.
//
// Format: the header line "<!-- CONFIG.XML Q5 V2.0 -->\n", then one record
// per element of each table row, in table order:
//   integer  "<name>[<index %04X>]:XXXX,<value %X>\n"
//   string   "<name>[<index %04X>]:<length %04X>,<raw bytes>\n"
// A version 1 file has no header and holds "<name>[<index>]:<value>\n"
// lines (hexadecimal integers, strings up to the end of the line).
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "database/fs/fs_driver.h"
#include "frame/peripheral/peripheral.h"

class CFile_Config : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 14 };
  enum : uint16_t { TYPE_ID = 301 };
  // Cycles of the peripheral task between the last change and the write.
  enum : uint16_t { POLL_INTERVAL = 600 };
  // ParseFile's result for a file of another tool or format.
  enum : uint32_t { PARSE_CORRUPT = 11 };
  // The whole file is built and read in one buffer of this size.
  static constexpr uint32_t kBufferSize = 262144;
  static constexpr const char* kFileName = "CONFIG.XML";
  static constexpr const char* kBackupName = "CONFIG.BAK";
  static constexpr const char* kHeader = "<!-- CONFIG.XML Q5 V2.0 -->\n";
  static constexpr uint32_t kHeaderLength = 28;

  // VALID from the start: the file is written on request only.
  CFile_Config();

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  // Null unless the record's type is 301.
  static CPeripheral* Create(const pl_record& record);

  // Writes CONFIG.XML while g_config_write_request is set, and clears the
  // request once a write succeeded (a failed one is tried at the next poll).
  void Poll() override;

  // 1 written (and CONFIG.BAK removed), 0 failed.
  static int Write(fs_media* media, CFileSystem_Driver* driver);
  // Restores the configuration objects from CONFIG.XML, or CONFIG.BAK when
  // that is missing. 1 restored; 0 no buffer, no file (the present
  // configuration is written instead), a failed read, or a corrupt file
  // (deleted).
  static int Restore(fs_media* media, CFileSystem_Driver* driver);

  // The file's text into buffer. 0 with *length set; 1 for a null buffer,
  // no database, or a text that does not fit (*length then holds what was
  // built, which must not be written).
  static uint32_t Build(char* buffer, uint32_t size, uint32_t* length);
  // Restores every record of the text (size bytes, or up to a zero byte
  // where a record would start). 0, or PARSE_CORRUPT when IsValidFile
  // refuses the text.
  static uint32_t ParseFile(const char* text, uint32_t size);
  // 0 for a file of another tool (starting with "<CFG" or
  // "<!-- CONFIG.XML WIN32 ") or a null text, else 1.
  static uint32_t IsValidFile(const char* text, uint32_t size);
  // Restores one record (without its line feed) of the given file version.
  // A record that names no table element is reported and skipped.
  static void Parse(const char* line, uint32_t length, int version);
};

// The write request: set by the peripheral task when a configuration object
// changed (letter 93, together with a poll countdown of 0 for type 301),
// cleared by a successful write from CFile_Config::Poll.
extern uint8_t g_config_write_request;

// Called after a restore wrote quorModuleID: the display re-reads its
// colour settings. The display installs it; null does nothing.
extern void (*g_config_module_id_restored)();
