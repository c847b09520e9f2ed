// The NTCIP message table: where each memory type keeps its rows in the
// parameter database, which message numbers it accepts, the message CRC,
// and the special-message references that name messages the controller
// shows on its own.
#pragma once

#include <cstdint>

#include "database/objects.h"
#include "display/codes/msg_codes.h"

// NTCIP dmsMessageMemoryType.
enum msg_memory_type : uint8_t {
  MEMORY_OTHER = 1,
  MEMORY_PERMANENT = 2,
  MEMORY_CHANGEABLE = 3,
  MEMORY_VOLATILE = 4,
  MEMORY_CURRENT_BUFFER = 5,
  MEMORY_SCHEDULE = 6,
  MEMORY_BLANK = 7,
};

// NTCIP dmsMessageStatus.
enum msg_status : uint8_t {
  MSG_STATUS_NOT_USED = 1,
  MSG_STATUS_MODIFYING = 2,
  MSG_STATUS_VALIDATING = 3,
  MSG_STATUS_VALID = 4,
  MSG_STATUS_ERROR = 5,
  MSG_STATUS_MODIFY_REQ = 6,
  MSG_STATUS_VALIDATE_REQ = 7,
  MSG_STATUS_NOT_USED_REQ = 8,
};

// NTCIP dmsActivateMsgError (also the results of the activation path).
enum activation_error : uint32_t {
  ACTIVATE_OTHER = 1,
  ACTIVATE_NONE = 2,
  ACTIVATE_PRIORITY = 3,
  ACTIVATE_MESSAGE_STATUS = 4,
  ACTIVATE_MEMORY_TYPE = 5,
  ACTIVATE_MESSAGE_NUMBER = 6,
  ACTIVATE_MESSAGE_CRC = 7,
  ACTIVATE_SYNTAX_MULTI = 8,
};

// Rows of the main table: changeable messages first, the upper rows hold
// permanent messages 3 and up (or changeable 501..550 in the 550 mode).
constexpr uint32_t MSG_MAIN_ROWS = 550;
constexpr uint32_t MSG_CHANGEABLE_ROWS = 500;
constexpr uint32_t MSG_VOLATILE_ROWS = 4;
constexpr uint32_t MSG_BUILT_IN_PERMANENT = 2;
// Permanent message n >= 3 is main-table row n + 497.
constexpr uint32_t MSG_PERMANENT_ROW_OFFSET = 497;
constexpr uint32_t MSG_BLANK_MAX = 255;

// One stored row: its area (non-volatile or not) and its seven columns.
struct msg_row {
  bool nv;
  db_object multi, owner, crc, beacon, pixel_service, priority, status;
};

// Reads and writes of a row's columns in the row's area; nothing without a
// database (reads give 0 and empty).
uint32_t msg_row_value(const msg_row& row, const db_object& column);
const uint8_t* msg_row_bytes(const msg_row& row, const db_object& column, uint32_t* length);
void msg_row_set(const msg_row& row, const db_object& column, uint32_t value, uint32_t flags);
void msg_row_set_bytes(const msg_row& row, const db_object& column, const void* data, uint32_t length,
                       uint32_t flags);

// The rows of the tables the status pass serves.
msg_row msg_main_row(uint32_t r);
msg_row msg_volatile_row(uint32_t k);
// Built-in permanent message k + 1 (below MSG_BUILT_IN_PERMANENT).
msg_row msg_builtin_permanent_row(uint32_t k);

// The row of a memory type and message number: 2 with the row filled,
// ACTIVATE_MEMORY_TYPE for memory types 0, 1 and above 7,
// ACTIVATE_MESSAGE_NUMBER for a number the memory type does not hold.
// Blank messages (type 7, numbers 1..255) have no row: 2 with *row
// untouched; the caller makes the row up.
uint32_t msg_find_row(uint8_t memoryType, uint16_t number, msg_row* row);

// Rows of the main table the status pass serves (550 in the 550-message
// mode, else 500).
uint32_t msg_main_rows_in_use();

// The message CRC: X.25 over the MULTI text (its stored length), then the
// beacon byte and the pixel-service byte, complemented and its two bytes
// exchanged, as the CRC objects keep it.
uint16_t message_crc(const uint8_t* text, uint32_t length, uint8_t beacon, uint8_t pixelService);

// The eight special-message references (message ID codes).
constexpr uint32_t MSG_SPECIAL_REFS = 8;
db_object msg_special_ref(uint32_t i);

// The tolerant mode (bit value 0x20 of mib_nv.quorSpecialFeatureSet):
// no CRC check on activation, and blank messages have priority 100.
bool msg_tolerant_mode();
