// The boot monitor's start-up script "monrc": the board's Ethernet settings
// written from the database, so that the start that follows a change of the
// network settings or the MAC address comes up with them. CFile_Monrc is the
// built-in peripheral that owns the file; the peripheral task calls Write on
// letters 36 and 92 before it restarts the controller.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "database/fs/fs_driver.h"
#include "frame/peripheral/peripheral.h"

class CFile_Monrc : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 16 };
  enum : uint16_t { TYPE_ID = 302 };
  static constexpr uint32_t kBufferSize = 262144;
  static constexpr const char* kFileName = "monrc";

  CFile_Monrc();

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  // Null unless the record's type is 302.
  static CPeripheral* Create(const pl_record& record);

  void Poll() override;

  // 1 written, 0 not (no buffer, or the driver's failure).
  static int Write(fs_media* media, CFileSystem_Driver* driver);
  // The script's text: IPADD, NETMASK, GIPADD and, when the MAC address
  // string holds six bytes, ETHERADD; every line ends in "\r\n". 0; 1 for a
  // null buffer, no database or a buffer too small.
  static uint32_t Build(char* buffer, uint32_t size, uint32_t* length);
};
