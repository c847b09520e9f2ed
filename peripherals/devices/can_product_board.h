// The CAN product (distribution) board ("CAN PRODUCT BOARD", type 610,
// class 9). The display task talks to the board; this peripheral only
// mirrors, as its state, what the display reports of it, so that a board
// that stops answering shows in the peripheral status and raises the
// attached-device error. A built-in of every controller.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"

class CCANDBPeripheral : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 9 };
  enum : uint16_t { TYPE_ID = 610 };
  static constexpr uint16_t POLL_INTERVAL = 20;
  // The display's report that the board does not answer.
  static constexpr uint16_t REPORT_NO_ANSWER = 3;

  CCANDBPeripheral();

  static const char* NameOfType(uint16_t type_id);
  // "DISTRIBUTION BOARD" is the board's name here.
  static uint16_t TypeOfName(const char* name);
  // Poll interval 20, enabled; there is nothing to initialise.
  static CPeripheral* Create(const pl_record& record);

  // MSG_DISPLAY_TO_PERIPHERAL: payload b = 3 is COMM ERROR, anything else
  // VALID.
  void OnEvent(letter_s* letter) override;
  void Poll() override {}
};
