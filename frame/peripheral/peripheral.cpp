// The peripheral base: fields, default operations, state texts, the poll
// countdown and the parameter-text parser.
#include "frame/peripheral/peripheral.h"

#include <cstring>

#include "database/database.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "frame/util/strings.h"

namespace {

constexpr uint32_t kPeripheralsChanged = 0x40;

const char* UnknownName(uint16_t) { return "UNKNOWN"; }
peripheral_name_function s_name_function = UnknownName;

}  // namespace

uint32_t CPeripheral::s_dwParamValues[CPeripheral::kParamFields];
char CPeripheral::s_szParamTexts[CPeripheral::kParamFields][CPeripheral::kParamTextSize];

void peripheral_set_name_function(peripheral_name_function fn) { s_name_function = fn ? fn : UnknownName; }

CPeripheral::CPeripheral(uint8_t class_code, uint16_t type_id)
    : m_pszStatusText("        "),
      m_byClass(class_code),
      m_wTypeId(type_id),
      m_wVersion(0),
      m_wConfigSlot(65535),
      m_wPollInterval(0),
      m_wPollCountdown(0),
      m_byEnabled(0),
      m_byFromDatabase(0),
      m_byState(PERIPHERAL_SETTING_UP) {}

CPeripheral::~CPeripheral() { os_event_set(&g_database_flags, kPeripheralsChanged, OS_EVENT_OR); }

const char* CPeripheral::GetVersionText() { return ""; }
uint32_t CPeripheral::GetCanAddress() { return 0; }
uint8_t CPeripheral::GetCanBus() { return 0; }
void CPeripheral::OnEvent(letter_s*) {}
void CPeripheral::OnInput() {}
void CPeripheral::OnTimer(uint32_t) {}

void CPeripheral::ShowStatus() {
  monitor_printf("%s is currently %s\n", TypeName(), m_byEnabled ? "enabled" : "disabled");
}

void CPeripheral::SetEnabled(uint8_t enabled) { m_byEnabled = enabled; }

const char* CPeripheral::TypeName() const {
  const char* name = s_name_function(m_wTypeId);
  return name ? name : "UNKNOWN";
}

int CPeripheral::GetStateText(const char** text) const {
  const char* t;
  switch (m_byState) {
    case PERIPHERAL_SETTING_UP:
      t = "SETTING UP";
      break;
    case PERIPHERAL_INIT_ERROR:
      t = "INIT ERROR";
      break;
    case PERIPHERAL_READING:
    case PERIPHERAL_READING_ALT:
      t = "READING";
      break;
    case PERIPHERAL_COMM_ERROR:
      t = "COMM ERROR";
      break;
    case PERIPHERAL_VALID:
      t = "VALID";
      break;
    default:
      t = "UNKNOWN";
      break;
  }
  if (text) *text = t;
  return m_byState == PERIPHERAL_VALID;
}

uint32_t CPeripheral::GetErrorCode() const {
  if (m_byState == PERIPHERAL_INIT_ERROR) return 1;
  if (m_byState == PERIPHERAL_COMM_ERROR) return 2;
  return 0;
}

int CPeripheral::PollCycle() {
  if (!m_byEnabled) return 0;
  if (m_wPollCountdown < m_wPollInterval) m_wPollCountdown++;
  // A countdown set beyond the interval counts as reached.
  if (m_wPollCountdown < m_wPollInterval) return 0;
  m_wPollCountdown = 0;
  Poll();
  return 1;
}

void CPeripheral::ParseParameters(const char* text) {
  if (!text) return;
  std::memset(s_dwParamValues, 0, sizeof s_dwParamValues);
  std::memset(s_szParamTexts, 0, sizeof s_szParamTexts);
  uint32_t field = 0;
  uint32_t length = 0;
  for (const char* p = text; *p; ++p) {
    if (*p == ',') {
      if (field + 1 >= kParamFields) break;  // fields beyond the eighth
      ++field;
      length = 0;
      continue;
    }
    // The buffers were cleared, so every field stays terminated.
    if (length < kParamTextSize - 1) s_szParamTexts[field][length++] = *p;
  }
  for (uint32_t i = 0; i <= field; ++i) s_dwParamValues[i] = hex_to_uint(s_szParamTexts[i]);
}
