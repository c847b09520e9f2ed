// The message table's status pass: the requests an SNMP manager writes into
// dmsMessageStatus (modify, validate, not used) are carried out here, the
// valid messages get their CRC, and the counters and free-memory figures
// follow the table.
#include <new>

#include "database/database.h"
#include "database/fs/fs_system.h"
#include "database/objects.h"
#include "display/message/db_read.h"
#include "display/render/render.h"
#include "display/activation/display_services.h"
#include "display/tables/message_table.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_lock.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t kMessageError = 0x80;  // bit of mib_v.shortErrorStatus
constexpr uint32_t kValidateSyntaxMulti = 5;
constexpr uint32_t kFreeChangeable = 750000;
constexpr uint32_t kFreeVolatile = 6000;
constexpr uint32_t kMessageSize = 1500;

// The log lines of the MULTI errors, by dmsMultiSyntaxError value 3..15.
struct multi_error_line {
  const char* format;
  bool always;  // printed at level 0, and flags the message error
};
const multi_error_line kErrorLines[] = {
    {"MULTI Error -> UNSUPPORTED_TAG At:%d\n", false},
    {"MULTI Error -> ERR_UNSUPPORTED_TAG_VALUE At:%d\n", false},
    {"MULTI Error -> ERR_TEXT_TOO_BIG\n", false},
    {"MULTI Error -> ERR_FONT_NOT_DEFINED At:%d\n", false},
    {"MULTI Error -> ERR_CHAR_NOT_DEFINED At:%d\n", false},
    {"MULTI Error -> ERR_FIELD_DEV_NOT_EXIST At:%d\n", false},
    {"MULTI Error -> ERR_FIELD_DEV_ERR At:%d\n", false},
    {"MULTI Error -> ERR_FLASH_REGION_ERR At:%d\n", false},
    {"MULTI Error -> ERR_TAG_CONFLICT At:%d\n", false},
    {"MULTI Error -> ERR_TOO_MANY_PAGES At:%d\n", false},
    {"MULTI Error -> ERR_FONT_VERSION_ID At:%d\n", true},
    {"MULTI Error -> ERR_GRAPHIC_VERSION_ID At:%d\n", true},
    {"MULTI Error -> ERR_GRAPHIC_NOT_DEFINED At:%d\n", false},
};
constexpr uint32_t kFirstError = MULTI_UNSUPPORTED_TAG;
constexpr uint32_t kLastError = MULTI_GRAPHIC_NOT_DEFINED;

void set_short_error(bool on) {
  const uint32_t bits = vol_value(vol::shortErrorStatus);
  set_vol(vol::shortErrorStatus, on ? bits | kMessageError : bits & ~kMessageError, DB_NOTIFY);
}

}  // namespace

uint32_t CDisplay::TrialParse(const uint8_t* text, uint32_t length, uint32_t* position) {
  *position = 0;
  // Two parses must not overlap, nor one the display step's drawing.
  display_lock lock(this);
  if (!lock.ok() || !m_pParserRef || !m_pRenderRef) return 0;
  // The running message keeps at most this much; a longer text would be
  // shown cut, so it does not pass.
  if (length > MULTI_TEXT_MAX) {
    *position = MULTI_TEXT_MAX;
    return MULTI_TEXT_TOO_BIG;
  }
  // The trial draws on a surface of the sign's size without a store: the
  // picture being shown is never cleared or drawn on by it.
  const CSurface& shown = m_pRenderRef->Surface();
  CSurface surface;
  surface.m_dwWidth = shown.Width();
  surface.m_dwHeight = shown.Height();
  surface.m_byDepth = shown.Depth();
  surface.m_dwHold = 1;
  // On the heap: the message record is large.
  CMessage* m = new (std::nothrow) CMessage(&surface);
  if (!m) return 0;
  m->m_rects[0] = {0, 0, static_cast<int32_t>(surface.Width()), static_cast<int32_t>(surface.Height())};
  const uint32_t result = m_pRenderRef->Validate(m_pParserRef, m, text, length);
  if (result != MULTI_OK && result != MULTI_NOTHING_LEFT && m->m_nErrorPosition >= 0)
    *position = static_cast<uint32_t>(m->m_nErrorPosition);
  delete m;
  return result;
}

bool CDisplay::ValidateMulti(const uint8_t* text, uint32_t length, uint32_t mode) {
  if (!m_pParserRef || !m_pRenderRef) return false;
  uint32_t position = 0;
  const uint32_t result = TrialParse(text, length, &position);
  set_nv(nv::dmsMultiSyntaxError, 0, DB_NOTIFY);
  set_nv(nv::dmsMultiSyntaxErrorPosition, 0, DB_NOTIFY);

  if (result == MULTI_OK || result == MULTI_NOTHING_LEFT) {
    set_nv(nv::dmsValidateMessageError, ACTIVATE_NONE, DB_NOTIFY);
    set_nv(nv::dmsMultiSyntaxError, MULTI_OK, DB_NOTIFY);
    set_nv(nv::dmsMultiSyntaxErrorPosition, 0, DB_NOTIFY);
    set_short_error(false);
    return true;
  }
  if (result < kFirstError || result > kLastError) return false;

  const multi_error_line& line = kErrorLines[result - kFirstError];
  if (line.always)
    monitor_printf(line.format, static_cast<int>(position));
  else
    monitor_printf_debug(line.format, static_cast<int>(position));
  set_nv(nv::dmsMultiSyntaxError, result, DB_NOTIFY);
  set_nv(nv::dmsValidateMessageError, kValidateSyntaxMulti, DB_NOTIFY);
  set_nv(nv::dmsMultiSyntaxErrorPosition, position, DB_NOTIFY);
  if (line.always) set_short_error(true);
  return false;
}

namespace {

// Carries out the request in one row's status; the status it ends with.
// `step` flags write the transitions to modifying and validating and the
// repair of a bad status, `result` flags the outcome of a request.
uint32_t serve_status(CDisplay* display, const msg_row& row, uint32_t step, uint32_t result) {
  uint32_t status = msg_row_value(row, row.status);
  switch (status) {
    case MSG_STATUS_NOT_USED:
    case MSG_STATUS_MODIFYING:
    case MSG_STATUS_VALID:
    case MSG_STATUS_ERROR:
      return status;
    case MSG_STATUS_MODIFY_REQ:
      status = MSG_STATUS_MODIFYING;
      msg_row_set(row, row.status, status, step);
      display->PurgeUnusedBitmaps(g_pFileSystemDriver, &g_fs_media);
      return status;
    case MSG_STATUS_VALIDATE_REQ:
      msg_row_set(row, row.status, MSG_STATUS_VALIDATING, step);
      break;
    case MSG_STATUS_VALIDATING:
      break;
    case MSG_STATUS_NOT_USED_REQ:
      status = MSG_STATUS_NOT_USED;
      msg_row_set(row, row.status, status, result);
      display->PurgeUnusedBitmaps(g_pFileSystemDriver, &g_fs_media);
      return status;
    default:
      // The status machine of the write hook knows no way out of a bad
      // value: the repair goes past it.
      status = MSG_STATUS_NOT_USED;
      msg_row_set(row, row.status, status, step | DB_NO_VALIDATE);
      return status;
  }

  // Validating.
  uint32_t length = 0;
  const uint8_t* text = msg_row_bytes(row, row.multi, &length);
  if (!text || !display->ValidateMulti(text, length, 0)) {
    status = MSG_STATUS_ERROR;
  } else {
    const uint16_t crc = message_crc(text, length, static_cast<uint8_t>(msg_row_value(row, row.beacon)),
                                     static_cast<uint8_t>(msg_row_value(row, row.pixel_service)));
    msg_row_set(row, row.crc, crc, result);
    status = MSG_STATUS_VALID;
  }
  msg_row_set(row, row.status, status, result);
  return status;
}

}  // namespace

void CDisplay::ProcessMessageTable() {
  // The validation parse uses the display's parser and surface.
  display_lock lock(this);
  if (!lock.ok()) return;

  CMsgIDCode refs[MSG_SPECIAL_REFS];
  for (uint32_t i = 0; i < MSG_SPECIAL_REFS; ++i) {
    uint32_t length = 0;
    const uint8_t* bytes = nv_bytes(msg_special_ref(i), &length);
    refs[i].Decode(bytes, length);
  }

  uint32_t volatile_valid = 0;
  for (uint32_t k = 0; k < MSG_VOLATILE_ROWS; ++k)
    if (serve_status(this, msg_volatile_row(k), 0, 0) == MSG_STATUS_VALID) ++volatile_valid;
  set_vol(vol::dmsNumVolatileMsg, volatile_valid, DB_NOTIFY);
  set_vol(vol::dmsFreeVolatileMemory, kFreeVolatile - kMessageSize * volatile_valid, DB_NOTIFY);

  const uint32_t rows = msg_main_rows_in_use();
  uint32_t changeable = 0, upper = 0;
  for (uint32_t r = 0; r < rows; ++r) {
    if (serve_status(this, msg_main_row(r), 0, DB_NOTIFY | DB_NO_VALIDATE) == MSG_STATUS_VALID) {
      ++(r < MSG_CHANGEABLE_ROWS ? changeable : upper);
      continue;
    }
    // Special messages never name a message that is not valid: they fall
    // back to blank message 1.
    for (uint32_t i = 0; i < MSG_SPECIAL_REFS; ++i) {
      CMsgIDCode& ref = refs[i];
      if (ref.m_byMemoryType != MEMORY_CHANGEABLE || ref.m_wMessageNumber != r + 1) continue;
      ref.Set(MEMORY_BLANK, 1, 0);
      set_nv_bytes(msg_special_ref(i), ref.m_encoded, MSG_ID_CODE_SIZE, DB_NOTIFY);
    }
  }
  set_vol(vol::dmsNumChangeableMsg, changeable, DB_NOTIFY);
  if (nv_value(nv::quorMessageTableMode) == 2) set_vol(vol::dmsNumPermanentMsg, upper, DB_NOTIFY);
  set_vol(vol::dmsFreeChangeableMemory, kFreeChangeable - kMessageSize * changeable, DB_NOTIFY);
}

void display_process_message_table() {
  if (g_pDisplay) g_pDisplay->ProcessMessageTable();
}
