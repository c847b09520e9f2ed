// The file manager: a built-in peripheral without a file of its own. It
// stands in the live peripheral list with its type, name and state, and
// reports VALID from its first poll on.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"

class CFile_Manager : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 17 };
  enum : uint16_t { TYPE_ID = 304 };

  // SETTING UP until the first poll.
  CFile_Manager();

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  // Null unless the record's type is 304.
  static CPeripheral* Create(const pl_record& record);

  void Poll() override;
};
