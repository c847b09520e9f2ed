// The checks of an activation code: the message it names is looked up in
// its memory type's table, and then held against its status, its CRC, the
// running message's priority and a trial parse of its MULTI text.
#include "database/objects.h"
#include "display/activation/display_services.h"
#include "display/message/db_read.h"
#include "display/multi/parser.h"
#include "display/tables/message_table.h"
#include "display/task/display.h"
#include "display/task/display_lock.h"

namespace {

// What a blank message's empty text and owner point at: present, not absent.
const uint8_t kEmptyText[1] = {0};
constexpr uint32_t kTolerantBlankPriority = 100;

}  // namespace

uint32_t CDisplay::PrepareActivation(const uint8_t* code, uint32_t length, CMessageActivation* a) {
  if (!a || !code || length != MSG_ACTIVATION_CODE_SIZE) return ACTIVATE_OTHER;
  a->m_code.Decode(code, length);
  const uint8_t type = a->m_code.m_byMemoryType;
  const uint16_t number = a->m_code.m_wMessageNumber;

  msg_row row{};
  const uint32_t found = msg_find_row(type, number, &row);
  if (found != ACTIVATE_NONE) return found;

  a->m_multi.Clear();
  a->m_owner.Clear();
  if (type == MEMORY_BLANK) {
    a->m_pStoredText = kEmptyText;
    a->m_dwMultiLength = 0;
    a->m_dwOwnerLength = 0;
    a->m_wStoredCRC = 0;
    a->m_dwBeacon = 0;
    a->m_dwPixelService = 0;
    a->m_dwStatus = MSG_STATUS_VALID;
    a->m_dwRunTimePriority = msg_tolerant_mode() ? kTolerantBlankPriority : number;
    return ACTIVATE_NONE;
  }

  // Both texts are copied at once: the stored ones may be replaced by a
  // writer while the record is in use. A copy that fails leaves its text
  // absent (its count short of its length).
  uint32_t multi_length = 0, owner_length = 0;
  const uint8_t* multi = msg_row_bytes(row, row.multi, &multi_length);
  const uint8_t* owner = msg_row_bytes(row, row.owner, &owner_length);
  a->m_pStoredText = multi;
  a->m_dwMultiLength = multi_length;
  a->m_multi.Assign(multi, multi_length);
  a->m_dwOwnerLength = owner_length;
  a->m_owner.Assign(owner, owner_length);
  a->m_wStoredCRC = static_cast<uint16_t>(msg_row_value(row, row.crc));
  a->m_dwBeacon = msg_row_value(row, row.beacon);
  a->m_dwPixelService = msg_row_value(row, row.pixel_service);
  a->m_dwRunTimePriority = msg_row_value(row, row.priority);
  a->m_dwStatus = msg_row_value(row, row.status);
  return ACTIVATE_NONE;
}

uint32_t CDisplay::ValidateActivation(CMessageActivation* a) {
  if (!a) return ACTIVATE_OTHER;
  const bool multi_present = a->m_pStoredText && a->m_multi.Count() == a->m_dwMultiLength;
  const bool owner_present = a->m_owner.Count() == a->m_dwOwnerLength;
  if (!multi_present || !owner_present || !m_pParserRef) return ACTIVATE_OTHER;

  const CMsgActivationCode& code = a->m_code;
  const uint8_t type = code.m_byMemoryType;
  if (type != MEMORY_SCHEDULE && a->m_dwStatus != MSG_STATUS_VALID) return ACTIVATE_MESSAGE_STATUS;

  if (!msg_tolerant_mode()) {
    const bool no_row_crc = type == MEMORY_SCHEDULE || type == MEMORY_BLANK;
    if (no_row_crc ? code.m_wCRC != 0 : code.m_wCRC != a->m_wStoredCRC) return ACTIVATE_MESSAGE_CRC;
  }

  // The running message may be replaced by one of at least its priority.
  if (code.m_byPriority < nv_value(nv::currentBufferRunTimePriority)) return ACTIVATE_PRIORITY;

  uint32_t position = 0;
  const uint32_t parsed = TrialParse(a->m_multi.Data(), a->m_multi.Count(), &position);
  if (parsed == 0) return ACTIVATE_OTHER;  // no parser, or no memory for the parse
  if (parsed != MULTI_OK && parsed != MULTI_NOTHING_LEFT) {
    a->m_dwMultiSyntaxError = parsed;
    a->m_dwMultiErrorPosition = position;
    return ACTIVATE_SYNTAX_MULTI;
  }
  return ACTIVATE_NONE;
}

uint32_t display_check_activation(const uint8_t* code, uint32_t length) {
  CDisplay* display = g_pDisplay;
  if (!display) return ACTIVATE_OTHER;
  // The priority read and the parse see one running message.
  display_lock lock(display);
  if (!lock.ok()) return ACTIVATE_OTHER;
  CMessageActivation activation;
  uint32_t result = display->PrepareActivation(code, length, &activation);
  if (result == ACTIVATE_NONE) result = display->ValidateActivation(&activation);
  return result;
}
