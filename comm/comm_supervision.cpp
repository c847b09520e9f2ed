// What the communication task watches on each step: when central last
// spoke (communication loss, the max-poll condition, the heartbeat), the
// community options of the special features, and the Ethernet link.
#include <cstring>

#include "comm/comm_services.h"
#include "comm/comm_task.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/agent/request.h"
#include "ntcip/snmp/trap/snmp_trap.h"
#include "tx_api.h"

namespace {

constexpr uint8_t kControlLocal = 2;
constexpr uint8_t kCurrentBuffer = 5;
constexpr uint8_t kCommLossSource = 12;
constexpr uint8_t kSlot = 6;
constexpr uint8_t kReasonRequest = 2;
constexpr uint32_t kSpecialTimeSync = 0x20;
constexpr uint32_t kSpecialUserAccess = 0x40;
// The Ethernet supervision: a PHY loss only counts once the board has run a
// while; 1200 steps (40 minutes) without an interrupt ask for a soft reset,
// at most four until the interrupts move again.
constexpr ULONG kPhyGraceTicks = 500;
constexpr uint16_t kSilentStepLimit = 1200;
constexpr uint8_t kSoftResetLimit = 5;
constexpr uint32_t kLinkLed = 5;

CDataBase* db() { return g_pDataBase; }
uint32_t get(const db_object& o, const uint8_t* area) {
  CDataBase* d = db();
  return d ? d->GetValue(o.offset, o.width, area, 0) : 0;
}
uint32_t nv_value(const db_object& o) { return db() ? get(o, db()->mib_nv) : 0; }
uint32_t vol_value(const db_object& o) { return db() ? get(o, db()->mib_v) : 0; }

void set_short_error(uint32_t value) {
  if (CDataBase* d = db())
    d->SetValue(vol::shortErrorStatus.offset, vol::shortErrorStatus.width, value, d->mib_v, DB_NOTIFY);
}

void store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

void write_user_community(CDataBase& d, uint32_t mask) {
  d.SetString(nv::communityNameUser(0).offset, 4, SNMP_TRAP_COMMUNITY,
              static_cast<uint32_t>(std::strlen(SNMP_TRAP_COMMUNITY)), d.mib_nv, DB_NOTIFY);
  d.SetValue(nv::communityNameAccessMask(0).offset, 4, mask, d.mib_nv, DB_NOTIFY);
}

}  // namespace

void comm_task::NoteActivity(uint32_t t) {
  if (g_comm_activity == 1) {
    m_uLastCommTimestamp = t;
    g_comm_activity = 0;
  }
}

void comm_task::CheckFdotCommLoss(uint32_t t) {
  if (nv_value(nv::fdotDmsMaxPollTimeEnable) == 0) {
    m_byFdotCommLoss = 0;
    return;
  }
  m_byFdotCommLoss = t - m_uLastCommTimestamp >= nv_value(nv::fdotDmsMaxPollTime) * 60 ? 1 : 0;
}

void comm_task::CheckCommLoss(uint32_t t) {
  if (m_iCommLossMinutes <= 0) return;
  if (vol_value(vol::dmsControlMode) == kControlLocal) {
    // Local control holds the timer.
    m_uLastCommTimestamp = t;
    return;
  }
  const uint32_t status = vol_value(vol::shortErrorStatus);
  if (t - m_uLastCommTimestamp >= static_cast<uint32_t>(m_iCommLossMinutes) * 60) {
    if (status & COMM_ERROR_BIT) return;  // announced once per loss
    ActivateCommLossMessage();
    set_short_error(vol_value(vol::shortErrorStatus) | COMM_ERROR_BIT);
  } else {
    set_short_error(status & ~COMM_ERROR_BIT);
  }
}

void comm_task::ActivateCommLossMessage() {
  CDataBase* d = db();
  if (!d || nv_value(nv::dmsTimeCommLoss) == 0 || vol_value(vol::dmsControlMode) == kControlLocal) return;
  uint32_t length = 0;
  const uint8_t* id = d->GetString(nv::dmsCommunicationsLossMessage.offset, 4, d->mib_nv, &length);
  if (!id || length != 5) return;  // no message ID code: nothing to show
  uint8_t code[12];
  const uint8_t memory_type = id[0];
  const uint32_t duration = memory_type == kCurrentBuffer ? nv_value(nv::dmsMessageTimeRemaining) : 0xFFFF;
  store16(code, duration);
  code[2] = 255;  // the lowest priority
  code[3] = memory_type;
  std::memcpy(code + 4, id + 1, 4);  // message number and CRC
  const uint8_t local[4] = {127, 0, 0, 1};
  std::memcpy(code + 8, local, 4);
  d->SetValue(vol::activationSlotSourceMode(kSlot).offset, 1, kCommLossSource, d->mib_v, DB_NOTIFY);
  d->SetValue(vol::activationSlotReason(kSlot).offset, 1, kReasonRequest, d->mib_v, DB_NOTIFY);
  d->SetString(vol::activationSlotCode(kSlot).offset, 4, code, sizeof code, d->mib_v, DB_NOTIFY);
}

// The heartbeat measures the time between the last accepted request and
// the last read of globalTime: a central that talks but stops reading the
// time resets the controller; a silent central does not.
void comm_task::CheckHeartbeat(uint32_t t) {
  const uint32_t threshold = nv_value(nv::quorHeartBeatThreshold);
  if (threshold == 0) return;
  const uint32_t gap = m_uLastCommTimestamp >= m_uSavedGlobalTime ? m_uLastCommTimestamp - m_uSavedGlobalTime
                                                                  : m_uSavedGlobalTime - m_uLastCommTimestamp;
  if (t % 10 == 0)
    monitor_printf_debug(
        "savedGlobalTime = %d, last_comm_timestamp = %d, time_now = %d, last_comm_timestamp - savedGlobalTime = %d, "
        "_GetNV(quorHeartBeatThreshold) = %d\n",
        m_uSavedGlobalTime, m_uLastCommTimestamp, t, gap, threshold);
  if (vol_value(vol::shortErrorStatus) & COMM_ERROR_BIT) {
    monitor_printf_debug("Comm Loss, don't reset\n");
    m_uSavedGlobalTime = t;
    return;
  }
  if (gap < threshold || m_uSavedGlobalTime == 0) return;
  monitor_printf_debug(
      "Reset controller ->time_now = %d, savedGlobalTime = %d, last_comm_timestamp = %d, (last_comm_timestamp - "
      "savedGlobalTime) = %d,quorHeartBeatThreshold = %d \n",
      t, m_uSavedGlobalTime, m_uLastCommTimestamp, gap, threshold);
  m_uSavedGlobalTime = 0;
  if (CDataBase* d = db()) {
    // The requester of the running message is forgotten.
    d->SetValue(vol::quorActivationReason.offset, 1, 0, d->mib_v, DB_NOTIFY);
    d->SetValue(nv::dmsMsgSourceMode.offset, 1, 1, d->mib_nv, DB_NOTIFY);
    d->SetValue(nv::dmsSWReset.offset, 1, 1, d->mib_nv, DB_NOTIFY);
  }
}

void comm_task::ApplySnmpOptions() {
  CDataBase* d = db();
  if (!d) return;
  const uint32_t now = nv_value(nv::quorSpecialFeatureSet);
  const uint32_t before = m_uPreviousSpecialFeatures;
  const uint32_t on = now & ~before;
  const uint32_t off = before & ~now;
  if (on & kSpecialTimeSync) {
    const uint32_t local = vol_value(vol::controllerLocalTime);
    d->SetTimeValue(nv::globalTime.offset, nv::globalTime.width, local, d->mib_nv, DB_NOTIFY | DB_GLOBAL_TIME);
    d->SetValue(nv::controllerStandardTimeZone.offset, 4, 0, d->mib_nv, DB_NOTIFY);
    write_user_community(*d, 0xFFFFFFFF);
  }
  if (off & kSpecialTimeSync) write_user_community(*d, 0);
  if (on & kSpecialUserAccess) write_user_community(*d, 0xFFFFFFFF);
  if (off & kSpecialUserAccess) write_user_community(*d, 0);
  m_uPreviousSpecialFeatures = now;
}

void comm_task::SuperviseEthernet() {
  const comm_services& s = comm_get_services();
  if (s.link_monitor) s.link_monitor();

  if (s.phy_absent && s.phy_absent() && tx_time_get() > kPhyGraceTicks) {
    letter_s request(MSG_CONTROLLED_RESET);
    letter_s reply;
    post_office* router = m_Inbox.Router();
    if (router && router->SendAndWait(&request, &reply) && reply.Id() == MSG_CONTROLLED_RESET_ACK &&
        s.ethernet_reset)
      s.ethernet_reset();
  }

  if (s.interrupt_seen && s.interrupt_seen() && s.interrupt_count) {
    const uint32_t count = s.interrupt_count();
    if (count != m_uLastInterruptCount) {
      m_uLastInterruptCount = count;
      m_wSilentSteps = 0;
      m_bySoftResets = 0;
    } else if (++m_wSilentSteps >= kSilentStepLimit) {
      m_wSilentSteps = 0;
      m_bySoftResets = static_cast<uint8_t>(m_bySoftResets + 1);
      if (m_bySoftResets < kSoftResetLimit) {
        monitor_printf("Ethernet soft reset\n");
        if (s.reinitialize) s.reinitialize();
      }
    }
  }

  if (s.panel_present && s.panel_present() && s.panel_led) {
    s.panel_led(kLinkLed, comm_ethernet_link_up() ? 1 : 2);
  }
}
