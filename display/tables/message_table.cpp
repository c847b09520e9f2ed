#include "display/tables/message_table.h"

#include "display/message/db_read.h"
#include "frame/util/crc16.h"

namespace {

constexpr uint32_t kTolerantMode = 0x20;

}  // namespace

msg_row msg_main_row(uint32_t r) {
  return {true,
          nv::dmsMessageMultiString(r),
          nv::dmsMessageOwner(r),
          nv::dmsMessageCRC(r),
          nv::dmsMessageBeacon(r),
          nv::dmsMessagePixelService(r),
          nv::dmsMessageRunTimePriority(r),
          nv::dmsMessageStatus(r)};
}

msg_row msg_volatile_row(uint32_t k) {
  return {false,
          vol::volatileMessageMultiString(k),
          vol::volatileMessageOwner(k),
          vol::volatileMessageCRC(k),
          vol::volatileMessageBeacon(k),
          vol::volatileMessagePixelService(k),
          vol::volatileMessageRunTimePriority(k),
          vol::volatileMessageStatus(k)};
}

msg_row msg_builtin_permanent_row(uint32_t k) {
  return {false,
          vol::permanentMessageMultiString(k),
          vol::permanentMessageOwner(k),
          vol::permanentMessageCRC(k),
          vol::permanentMessageBeacon(k),
          vol::permanentMessagePixelService(k),
          vol::permanentMessageRunTimePriority(k),
          vol::permanentMessageStatus(k)};
}

uint32_t msg_row_value(const msg_row& row, const db_object& column) {
  return row.nv ? nv_value(column) : vol_value(column);
}

const uint8_t* msg_row_bytes(const msg_row& row, const db_object& column, uint32_t* length) {
  static const uint8_t empty[1] = {0};
  *length = 0;
  if (!g_pDataBase) return empty;
  return g_pDataBase->GetString(column.offset, 4, row.nv ? g_pDataBase->mib_nv : g_pDataBase->mib_v, length);
}

void msg_row_set(const msg_row& row, const db_object& column, uint32_t value, uint32_t flags) {
  if (g_pDataBase)
    g_pDataBase->SetValue(column.offset, column.width, value, row.nv ? g_pDataBase->mib_nv : g_pDataBase->mib_v,
                          flags);
}

void msg_row_set_bytes(const msg_row& row, const db_object& column, const void* data, uint32_t length,
                       uint32_t flags) {
  if (g_pDataBase)
    g_pDataBase->SetString(column.offset, 4, data, length, row.nv ? g_pDataBase->mib_nv : g_pDataBase->mib_v,
                           flags);
}

uint32_t msg_main_rows_in_use() {
  return nv_value(nv::quorMessageTableMode) == 2 ? MSG_MAIN_ROWS : MSG_CHANGEABLE_ROWS;
}

uint32_t msg_find_row(uint8_t memoryType, uint16_t number, msg_row* row) {
  const uint32_t mode = nv_value(nv::quorMessageTableMode);
  switch (memoryType) {
    case MEMORY_PERMANENT: {
      if (number == 0) return ACTIVATE_MESSAGE_NUMBER;
      if (number <= MSG_BUILT_IN_PERMANENT) {
        const uint32_t k = number - 1u;
        *row = msg_builtin_permanent_row(k);
        return ACTIVATE_NONE;
      }
      // Stored permanent messages live in the upper rows, which the
      // 550-message mode gives to changeable messages. A count beyond the
      // table names no row.
      if (mode == 2 || number > vol_value(vol::dmsNumPermanentMsg) ||
          number + MSG_PERMANENT_ROW_OFFSET >= MSG_MAIN_ROWS)
        return ACTIVATE_MESSAGE_NUMBER;
      *row = msg_main_row(number + MSG_PERMANENT_ROW_OFFSET);
      return ACTIVATE_NONE;
    }
    case MEMORY_CHANGEABLE: {
      const uint32_t most = mode == 1 ? MSG_CHANGEABLE_ROWS : MSG_MAIN_ROWS;
      if (number == 0 || number > most) return ACTIVATE_MESSAGE_NUMBER;
      *row = msg_main_row(number - 1u);
      return ACTIVATE_NONE;
    }
    case MEMORY_VOLATILE:
      if (number == 0 || number > MSG_VOLATILE_ROWS) return ACTIVATE_MESSAGE_NUMBER;
      *row = msg_volatile_row(number - 1u);
      return ACTIVATE_NONE;
    case MEMORY_CURRENT_BUFFER:
      if (number != 1) return ACTIVATE_MESSAGE_NUMBER;
      *row = {true,
              nv::currentBufferMultiString,
              nv::currentBufferOwner,
              nv::currentBufferCRC,
              nv::currentBufferBeacon,
              nv::currentBufferPixelService,
              nv::currentBufferRunTimePriority,
              nv::currentBufferStatus};
      return ACTIVATE_NONE;
    case MEMORY_SCHEDULE:
      if (number != 1) return ACTIVATE_MESSAGE_NUMBER;
      *row = {true,
              nv::scheduleMessageMultiString,
              nv::scheduleMessageOwner,
              nv::scheduleMessageCRC,
              nv::scheduleMessageBeacon,
              nv::scheduleMessagePixelService,
              nv::scheduleMessageRunTimePriority,
              nv::scheduleMessageStatus};
      return ACTIVATE_NONE;
    case MEMORY_BLANK:
      if (number == 0 || number > MSG_BLANK_MAX) return ACTIVATE_MESSAGE_NUMBER;
      return ACTIVATE_NONE;
    default:
      return ACTIVATE_MEMORY_TYPE;
  }
}

uint16_t message_crc(const uint8_t* text, uint32_t length, uint8_t beacon, uint8_t pixelService) {
  crc16_state state{};
  crc16_begin(&state, 0xFFFF);
  if (text && length) crc16_update(&state, text, length);
  crc16_update(&state, &beacon, 1);
  crc16_update(&state, &pixelService, 1);
  uint16_t crc = 0;
  crc16_result(&state, &crc, CRC16_COMPLEMENT | CRC16_SWAP);
  crc16_end(&state);
  return crc;
}

db_object msg_special_ref(uint32_t i) {
  static const db_object kRefs[MSG_SPECIAL_REFS] = {
      nv::dmsEndDurationMessage,        nv::dmsCommunicationsLossMessage, nv::quorEmergencyMessage,
      nv::dmsResetMessage,              nv::dmsShortPowerRecoveryMessage, nv::dmsLongPowerRecoveryMessage,
      nv::quorMessageRef(0),            nv::quorMessageRef(1),
  };
  return kRefs[i < MSG_SPECIAL_REFS ? i : 0];
}

bool msg_tolerant_mode() { return (nv_value(nv::quorSpecialFeatureSet) & kTolerantMode) != 0; }
