// The letters that tasks exchange on the message bus, and their ids.
#pragma once

#include <cstdint>

#include "frame/util/impl_list.h"

// Message ids. 0 ends a subscription list. Each task has four consecutive
// control ids (stop, suspend, resume, stack report) and each watched task
// three watchdog check-in ids (start, alive, stop).
enum letter_id : uint32_t {
  MSG_NONE = 0,
  // Power and UPS.
  MSG_POWER_LOST = 1,
  MSG_POWER_RESTORED = 2,
  MSG_UPS_ON_BATTERY = 3,
  MSG_UPS_ON_AC = 4,
  MSG_SPARE_5 = 5,
  // Event-log configuration: clear time of class c is MSG_EVENT_CLASS_CLEAR_TIME + c.
  MSG_EVENT_CLASS_CLEAR_TIME = 6,
  MSG_EVENT_CLASS_CLEAR_TIME_0 = 6,
  MSG_EVENT_CLASS_CLEAR_TIME_1 = 7,
  MSG_EVENT_CLASS_CLEAR_TIME_2 = 8,
  MSG_EVENT_CLASS_CLEAR_TIME_3 = 9,
  MSG_EVENT_CLASS_CLEAR_TIME_4 = 10,
  MSG_EVENT_CLASS_CLEAR_TIME_5 = 11,
  MSG_EVENT_CLASS_CLEAR_TIME_6 = 12,
  MSG_EVENT_CLASS_CLEAR_TIME_7 = 13,
  MSG_EVENT_CLASS_CLEAR_TIME_8 = 14,
  MSG_EVENT_CLASS_CLEAR_TIME_9 = 15,
  MSG_EVENT_CLASS_CLEAR_TIME_10 = 16,
  MSG_EVENT_CLASS_CLEAR_TIME_11 = 17,
  MSG_EVENT_CLASS_CLEAR_TIME_12 = 18,
  MSG_EVENT_CLASS_CLEAR_TIME_13 = 19,
  MSG_EVENT_CLASS_CLEAR_TIME_14 = 20,
  MSG_EVENT_CLASS_CLEAR_TIME_15 = 21,
  MSG_EVENT_CLASS_LIMIT = 22,
  // Database-change and other notices.
  MSG_CHG_VOL243 = 23,
  MSG_CHG_NV95028 = 24,
  MSG_CONFIG_LOADED = 25,
  MSG_SPARE_26 = 26,
  MSG_SPARE_27 = 27,
  MSG_SPARE_28 = 28,
  MSG_SPARE_29 = 29,
  MSG_SPARE_30 = 30,
  MSG_PIXEL_DIAG_OPTION = 31,
  MSG_TCP_CLIENT_CONNECTED = 32,
  MSG_TCP_CLIENT_CLOSED = 33,
  MSG_CHG_NV33624 = 34,
  MSG_NETWORK_UP = 35,
  MSG_NETWORK_CONFIG_CHANGED = 36,
  // Task control and watchdog check-ins.
  MSG_MONITOR_STOP = 37,
  MSG_MONITOR_SUSPEND = 38,
  MSG_MONITOR_RESUME = 39,
  MSG_MONITOR_STACK_REPORT = 40,
  MSG_WDT_MONITOR_START = 41,
  MSG_WDT_MONITOR_ALIVE = 42,
  MSG_WDT_MONITOR_STOP = 43,
  MSG_DISPLAY_STOP = 44,
  MSG_DISPLAY_SUSPEND = 45,
  MSG_DISPLAY_RESUME = 46,
  MSG_DISPLAY_STACK_REPORT = 47,
  MSG_WDT_DISPLAY_START = 48,
  MSG_WDT_DISPLAY_ALIVE = 49,
  MSG_WDT_DISPLAY_STOP = 50,
  MSG_PERIPHERALS_DISABLE = 51,
  MSG_PERIPHERALS_ENABLE = 52,
  MSG_SCHEDULE_STOP = 53,
  MSG_SCHEDULE_SUSPEND = 54,
  MSG_SCHEDULE_RESUME = 55,
  MSG_SCHEDULE_STACK_REPORT = 56,
  MSG_WDT_SCHEDULE_START = 57,
  MSG_WDT_SCHEDULE_ALIVE = 58,
  MSG_WDT_SCHEDULE_STOP = 59,
  MSG_PERIPHERAL_STOP = 60,
  MSG_PERIPHERAL_SUSPEND = 61,
  MSG_PERIPHERAL_RESUME = 62,
  MSG_PERIPHERAL_STACK_REPORT = 63,
  MSG_WDT_PERIPHERAL_START = 64,
  MSG_WDT_PERIPHERAL_ALIVE = 65,
  MSG_WDT_PERIPHERAL_STOP = 66,
  MSG_CONTROLLED_RESET_ACK = 67,
  MSG_DATABASE_STOP = 68,
  MSG_DATABASE_SUSPEND = 69,
  MSG_DATABASE_RESUME = 70,
  MSG_DATABASE_STACK_REPORT = 71,
  MSG_WATCHDOG_STOP = 72,
  MSG_WATCHDOG_SUSPEND = 73,
  MSG_WATCHDOG_RESUME = 74,
  MSG_WATCHDOG_STACK_REPORT = 75,
  // Watchdog, reset and requests.
  MSG_WATCHDOG_CYCLE = 76,
  MSG_COMM_RUNNING_QUERY = 77,
  MSG_COMM_RUNNING_REPLY = 78,
  MSG_SYSTEM_RESET = 79,
  MSG_POWER_SHUTDOWN = 80,
  MSG_SHUTDOWN_REQUEST = 81,
  MSG_SHUTDOWN_RESET = 82,
  MSG_DEFRAG_RESET = 83,
  // Modem and front-panel notices.
  MSG_MODEM_RING = 84,
  MSG_MODEM_CONNECT = 85,
  MSG_MODEM_DISCONNECT = 86,
  MSG_SHUTOFF_TEMP_CHANGED = 87,
  MSG_FONT_STATUS_CHANGED = 88,
  MSG_CHG_NV48188 = 89,
  MSG_TIME_ZONE_CHANGED = 90,
  MSG_ACTIVATION_WRITTEN = 91,
  MSG_MAC_ADDRESS_CHANGED = 92,
  MSG_CONFIG_OBJECT_CHANGED = 93,
  MSG_FRONT_PANEL_DISABLE = 94,
  MSG_FRONT_PANEL_ENABLE = 95,
  MSG_SIGN_TYPE_CHANGED = 96,
  // Communication.
  MSG_COMM_STOP = 97,
  MSG_COMM_SUSPEND = 98,
  MSG_COMM_RESUME = 99,
  MSG_COMM_STACK_REPORT = 100,
  MSG_WDT_COMM_START = 101,
  MSG_WDT_COMM_ALIVE = 102,
  MSG_WDT_COMM_STOP = 103,
  MSG_COMM_STARTED = 104,
  MSG_CHG_NV95229 = 105,
  MSG_PORT_SETTINGS_CHANGED = 106,
  MSG_DHCP_RENEW = 107,
  MSG_WATCHDOG_DISABLE = 108,
  MSG_WATCHDOG_ENABLE = 109,
  MSG_FEATURE_SET_CHANGED = 110,
  MSG_PERIPHERALS_ALL_OFF = 111,
  MSG_PERIPHERALS_ALL_ON = 112,
  MSG_CLEAR_PIXEL_RESULTS = 113,
  MSG_CLEAR_AUX_PIXEL_RESULTS = 114,
  MSG_PORT_CLAIM = 115,
  MSG_PORT_CLAIM_REPLY = 116,
  MSG_PERIPHERAL_RECOUNT = 117,
  MSG_MESSAGE_ACTIVATED = 118,
  MSG_SPECIAL_FEATURES_CHANGED = 119,
  MSG_CONTROLLED_RESET = 120,
  // Display and peripheral deliveries.
  MSG_DISPLAY_TO_PERIPHERAL = 121,
  MSG_AUTO_DETECT = 122,
  MSG_CHG_VOL17317 = 123,
  MSG_MODULE_INFO = 124,
  MSG_FILE_TRANSFER_DONE = 125,
  MSG_RESET_SPI = 126,
  MSG_PERIPHERAL_REPORT = 127,
  MSG_PERIPHERAL_CLASS_EVENT = 128,
  MSG_LAST = 128,
};

// Letter payload forms (kind).
enum : uint16_t {
  LETTER_KIND_NONE = 0,   // none, or one flag word
  LETTER_KIND_BYTE = 1,   // one byte
  LETTER_KIND_PAIRS = 2,  // word 0: two u16 halves (a high, b low); word 1: bytes
};

struct make_final {};

// A letter. Its id is the node's key. Copying a letter (into a mailbox, or
// as a reply) copies the id, the value, the kind, the payload words and the
// reply address; a request's own payload is words 0 and 1, as the bus keeps
// the wake-up event's id in word 3.
class letter_s final : public impl::node, public make_final {
 public:
  letter_s() : m_pScratch(m_abyScratch) {}
  explicit letter_s(uint32_t id) : impl::node(id), m_pScratch(m_abyScratch) {}

  uint32_t Id() const { return key; }
  void Copy(const letter_s& from) {
    key = from.key;
    value = from.value;
    kind = from.kind;
    for (int i = 0; i < 4; ++i) payload[i] = from.payload[i];
    reply_to = from.reply_to;
  }
  // Halves and bytes of the kind-2 form.
  uint16_t HighHalf(int word) const { return static_cast<uint16_t>(payload[word] >> 16); }
  uint16_t LowHalf(int word) const { return static_cast<uint16_t>(payload[word]); }
  uint8_t* Scratch() { return m_pScratch; }

  uint32_t value = 0;
  uint16_t kind = LETTER_KIND_NONE;
  uint32_t payload[4] = {0, 0, 0, 0};
  // A request's reply letter, set by post_office::SendAndWait (null in any
  // other letter). Pointer-sized, so it lives beside the payload words.
  letter_s* reply_to = nullptr;

 private:
  uint8_t* m_pScratch;  // small inline storage, not copied
  uint8_t m_abyScratch[4] = {0, 0, 0, 0};
};

// Payload word 3 of a request: the id of the requester's wake-up event.
enum : int { LETTER_WORD_EVENT = 3 };
