// The seven activation slots and their arbitration. Every source of
// messages writes its own slot; the display task runs the code of the
// first slot that holds one, carrying a message's time across the
// overrides of more urgent slots, and falls back to a blank message when
// every slot is empty.
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "display/activation/display_services.h"
#include "display/codes/msg_codes.h"
#include "display/message/db_read.h"
#include "display/tables/message_table.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_lock.h"
#include "frame/bus/post_office.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint16_t kForever = 0xFFFF;
constexpr uint8_t kSourceLocal = 2;
constexpr uint8_t kSourceCentral = 8;
constexpr uint8_t kReasonRequest = 2;
constexpr uint32_t kSecondsPerMinute = 60;

// A slot's code as stored; false (and *code cleared) unless it is exactly
// 12 bytes.
bool read_code(const db_object& o, CMsgActivationCode* code) {
  uint32_t length = 0;
  const uint8_t* bytes = nullptr;
  if (g_pDataBase) bytes = g_pDataBase->GetString(o.offset, 4, g_pDataBase->mib_v, &length);
  return code->Decode(bytes, bytes ? length : 0);
}

bool all_zero(const uint8_t* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

}  // namespace

bool CDisplay::determine_msg_to_run(uint8_t* slot) {
  for (uint8_t s = 0; s < SLOTS; ++s) {
    CMsgActivationCode code;
    if (!read_code(vol::activationSlotCode(s), &code) || all_zero(code.m_encoded, MSG_ACTIVATION_CODE_SIZE)) continue;
    monitor_printf_debug("determine_msg_to_run:%d\n", s);
    *slot = s;
    return true;
  }
  return false;
}

void CDisplay::StartSlotTimer(uint8_t slot) {
  CMsgActivationCode code;
  read_code(vol::activationSlotCode(slot), &code);
  set_vol(vol::activationSlotEndTime(slot), global_time() + kSecondsPerMinute * code.m_wDuration, DB_NOTIFY);
}

bool CDisplay::UpdateSlotDuration(uint8_t slot) {
  CMsgActivationCode code;
  read_code(vol::activationSlotCode(slot), &code);
  if (code.m_wDuration == kForever) return true;
  const uint32_t now = global_time();
  const uint32_t end = vol_value(vol::activationSlotEndTime(slot));
  uint32_t remaining = now < end ? (end - now) / kSecondsPerMinute : 0;
  // A clock set back far must not turn the rest into "without end".
  if (remaining >= kForever) remaining = kForever - 1;
  code.m_wDuration = static_cast<uint16_t>(remaining);
  code.Encode();
  // Not announced: the rewrite must not start another arbitration.
  set_vol_bytes(vol::activationSlotCode(slot), code.m_encoded, MSG_ACTIVATION_CODE_SIZE, 0);
  return remaining != 0;
}

bool CDisplay::IsNewSlotActivation(uint8_t lastSlot, uint8_t slot) {
  if (slot <= lastSlot) return true;
  CMsgActivationCode code, last;
  read_code(vol::activationSlotCode(slot), &code);
  read_code(vol::activationSlotLastCode(slot), &last);
  return !code.IsSameMessage(last);
}

void CDisplay::handle_activate_msg() {
  // The letter path and the central path never arbitrate at once.
  display_lock lock(this);
  if (!lock.ok()) return;
  monitor_printf_debug("handle_activate_msg\n");

  uint8_t s = 0;
  if (!determine_msg_to_run(&s)) {
    monitor_printf("Error! fail safe blank msg\n");
    CMsgActivationCode blank;
    blank.m_wDuration = kForever;
    blank.m_byPriority = 255;
    blank.m_byMemoryType = MEMORY_BLANK;
    blank.m_wMessageNumber = 1;
    blank.m_wCRC = 0;
    blank.Encode();
    request_activation(blank.m_encoded, MSG_ACTIVATION_CODE_SIZE, 0, true, kSourceLocal, kReasonRequest);
    return;
  }

  const bool fresh = IsNewSlotActivation(m_byLastSlotRun, s);
  if (!fresh && !m_bFirstActivation) {
    // The message is uncovered again: it runs for what is left of its time.
    if (!UpdateSlotDuration(s)) {
      ActivateEndDurationMessage();
      monitor_printf_debug("activating end duration msg\n");
      return;
    }
  } else {
    StartSlotTimer(s);
  }

  // Copied: the code goes on into the slot's last code. A code that is no
  // longer 12 bytes long is handed on as it is, to be refused.
  uint32_t length = 0;
  const uint8_t* stored = nullptr;
  if (g_pDataBase) stored = g_pDataBase->GetString(vol::activationSlotCode(s).offset, 4, g_pDataBase->mib_v, &length);
  uint8_t bytes[MSG_ACTIVATION_CODE_SIZE] = {};
  const bool whole = stored && length == MSG_ACTIVATION_CODE_SIZE;
  if (whole) std::memcpy(bytes, stored, sizeof bytes);
  const uint8_t mode = static_cast<uint8_t>(vol_value(vol::activationSlotSourceMode(s)));
  const uint8_t reason = static_cast<uint8_t>(vol_value(vol::activationSlotReason(s)));
  if (request_activation(whole ? bytes : stored, stored ? length : 0, static_cast<uint8_t>(s + 1), true, mode,
                         reason) != ACTIVATE_NONE)
    return;  // recorded; the running message stays

  m_bFirstActivation = false;
  m_byLastSlotRun = s;
  set_vol_bytes(vol::activationSlotLastCode(s), bytes, sizeof bytes, DB_NOTIFY);
  CMsgActivationCode code;
  code.Decode(bytes, sizeof bytes);
  if (code.m_byMemoryType != MEMORY_CURRENT_BUFFER)
    set_nv_bytes(nv::quorLastActivatedCode, bytes, sizeof bytes, DB_NOTIFY);
  if (code.m_byMemoryType == MEMORY_SCHEDULE) {
    post_office* router = m_Inbox.Router();
    if (router) router->Publish(MSG_MESSAGE_ACTIVATED);
  }
}

void CDisplay::ProcessActivateRequest() {
  display_lock lock(this);
  if (!lock.ok()) return;
  if (nv_value(nv::quorDisplayMode) != 1) set_nv(nv::quorDisplayMode, 1, DB_NOTIFY);
  ClearPowerLossActivation();

  uint32_t length = 0;
  const uint8_t* central = nullptr;
  if (g_pDataBase) central = g_pDataBase->GetString(vol::dmsActivateMessage.offset, 4, g_pDataBase->mib_v, &length);
  set_vol(vol::activationSlotSourceMode(REQUEST_SLOT), kSourceCentral, DB_NOTIFY);
  set_vol(vol::activationSlotReason(REQUEST_SLOT), kReasonRequest, DB_NOTIFY);
  // Not announced: the arbitration follows right here.
  set_vol_bytes(vol::activationSlotCode(REQUEST_SLOT), central, central ? length : 0, 0);
  handle_activate_msg();
}

bool display_activate_message() {
  CDisplay* display = g_pDisplay;
  if (!display) return true;
  display_lock lock(display);
  if (!lock.ok()) {
    // Reported as a failure of its own rather than with the last result.
    display->RecordActivationResult(ACTIVATE_OTHER);
    return true;
  }
  display->ProcessActivateRequest();
  // Read while no other activation can change it.
  return nv_value(nv::dmsActivateMsgError) != ACTIVATE_NONE;
}

void display_process_graphic_table() {
  CDisplay* display = g_pDisplay;
  if (!display) return;
  display_lock lock(display);
  if (lock.ok()) display->ProcessGraphicTable();
}
