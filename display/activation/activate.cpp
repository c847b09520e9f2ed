// One activation from its code to the running message: prepared, checked,
// made current (the current-buffer row, the display task's running message
// and the NTCIP objects that describe it) and recorded in the activation
// error objects.
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "display/message/db_read.h"
#include "display/render/render.h"
#include "display/tables/message_table.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_lock.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t kMessageError = 0x80;       // bit of mib_v.shortErrorStatus
constexpr uint32_t kActivationToggle = 0x4;    // bit of mib_v.vestrelStatusBits
constexpr uint32_t kGraphicRows = 50;
constexpr uint8_t kGraphicInUse = 5;
constexpr uint8_t kGraphicReady = 4;
constexpr uint32_t kLoopback = 0x7F000001;

uint32_t load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

}  // namespace

uint32_t CDisplay::request_activation(const uint8_t* code, uint32_t length, uint8_t slot, bool record,
                                      uint8_t sourceMode, uint8_t reason) {
  CMessageActivation activation;
  const bool named = code && length >= 6;
  monitor_printf_debug("request_activation:%d,%d\n", named ? code[3] : 0, named ? code[4] << 8 | code[5] : 0);

  // The running message changes only under the display lock.
  display_lock lock(this);
  uint32_t result = lock.ok() ? PrepareActivation(code, length, &activation) : ACTIVATE_OTHER;
  if (result == ACTIVATE_NONE) result = ValidateActivation(&activation);
  if (result == ACTIVATE_NONE) {
    ActivateMessage(&activation, slot);
    set_nv(nv::dmsMsgSourceMode, sourceMode, DB_NOTIFY);
    set_vol(vol::quorActivationReason, reason, DB_NOTIFY);
  }
  if (record) {
    RecordActivationResult(result);
    set_nv(nv::dmsMultiSyntaxError, activation.m_dwMultiSyntaxError, DB_NOTIFY);
    set_nv(nv::dmsMultiSyntaxErrorPosition, activation.m_dwMultiErrorPosition, DB_NOTIFY);
  }
  return result;
}

void CDisplay::ActivateMessage(CMessageActivation* a, uint8_t slot) {
  (void)slot;
  monitor_printf_debug("ActivateMessage\n");
  const CMsgActivationCode& code = a->m_code;

  ClearGPOutputRequests();
  for (uint32_t g = 0; g < kGraphicRows; ++g)
    if (nv_value(nv::dmsGraphicStatus(g)) == kGraphicInUse)
      set_nv(nv::dmsGraphicStatus(g), kGraphicReady, DB_NOTIFY | DB_NO_VALIDATE);

  set_nv(nv::dmsMessageTimeRemaining, code.m_wDuration, DB_NOTIFY);
  // The new message's time counts from now, also when its duration equals
  // what the previous one had left.
  m_dwTimeRemainingSeen = 0xFFFFFFFF;

  if (m_pParserRef) {
    // The running message takes its own copy of the text: the record goes
    // when the activation is done.
    StartMessage(a->m_multi.Data(), a->m_multi.Count(), code.m_byMemoryType == MEMORY_BLANK);
    m_byBeaconRequest = a->m_dwBeacon != 0;
  }

  set_vol_bytes(vol::currentBufferOverride, "", 0, 0);
  set_nv_bytes(nv::currentBufferMultiString, a->m_multi.Data(), a->m_multi.Count(), DB_NOTIFY);
  set_nv_bytes(nv::currentBufferOwner, a->m_owner.Data(), a->m_owner.Count(), DB_NOTIFY);
  set_nv(nv::currentBufferCRC, a->m_wStoredCRC, DB_NOTIFY);
  set_nv(nv::currentBufferBeacon, a->m_dwBeacon, DB_NOTIFY);
  set_nv(nv::currentBufferPixelService, a->m_dwPixelService, DB_NOTIFY);
  set_nv(nv::currentBufferRunTimePriority, a->m_dwRunTimePriority, DB_NOTIFY);
  set_nv(nv::currentBufferStatus, MSG_STATUS_VALID, DB_NOTIFY);

  m_byPatternActive = 0;
  (m_pRenderRef ? m_pRenderRef : &g_render)->m_dwPatternMode = m_byPatternActive;

  set_vol(vol::vestrelStatusBits, vol_value(vol::vestrelStatusBits) ^ kActivationToggle, DB_NOTIFY);
  StoreActivateDefaults();

  CMsgIDCode id;
  id.Set(code.m_byMemoryType, code.m_wMessageNumber, a->m_wStoredCRC);
  set_nv_bytes(nv::dmsMsgTableSource, id.m_encoded, MSG_ID_CODE_SIZE, DB_NOTIFY);

  const uint32_t address = load32(code.m_bySource);
  set_nv(nv::dmsMsgRequesterID, address == kLoopback ? 0 : address, DB_NOTIFY);
}

void CDisplay::RecordActivationResult(uint32_t result) {
  uint32_t length = 0;
  const uint8_t* central = nullptr;
  if (g_pDataBase) central = g_pDataBase->GetString(vol::dmsActivateMessage.offset, 4, g_pDataBase->mib_v, &length);
  set_vol_bytes(vol::dmsMessageCodeOfActivationError, central, central ? length : 0, DB_NOTIFY);
  set_nv(nv::dmsActivateMsgError, result, DB_NOTIFY);
  const uint32_t bits = vol_value(vol::shortErrorStatus);
  set_vol(vol::shortErrorStatus, result == ACTIVATE_NONE ? bits & ~kMessageError : bits | kMessageError, DB_NOTIFY);
}

void CDisplay::StoreActivateDefaults() {
  message_defaults& d = m_Message.m_defaults;
  d.Load();
  set_nv(nv::defaultFlashOnActivate, d.m_byFlashOn, DB_NOTIFY);
  set_nv(nv::defaultFlashOffActivate, d.m_byFlashOff, DB_NOTIFY);
  set_nv(nv::defaultFontActivate, d.m_byFont, DB_NOTIFY);
  set_nv(nv::defaultJustificationLineActivate, d.m_byLineJustification, DB_NOTIFY);
  set_nv(nv::defaultJustificationPageActivate, d.m_byPageJustification, DB_NOTIFY);
  set_nv(nv::defaultPageOnTimeActivate, d.m_byPageOn, DB_NOTIFY);
  set_nv(nv::defaultPageOffTimeActivate, d.m_byPageOff, DB_NOTIFY);
  // The stored colours keep their stored lengths (at most the three bytes
  // the defaults hold).
  set_nv_bytes(nv::defaultForegroundRGBActivate, d.m_byForegroundRGB,
               d.m_byForegroundLength < 3 ? d.m_byForegroundLength : 3, DB_NOTIFY);
  set_nv_bytes(nv::defaultBackgroundRGBActivate, d.m_byBackgroundRGB,
               d.m_byBackgroundLength < 3 ? d.m_byBackgroundLength : 3, DB_NOTIFY);
}
