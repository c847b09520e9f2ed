#include "peripherals/devices/humidity_light.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "database/objects.h"
#include "frame/trace/trace.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_task.h"

namespace {

struct type_name {
  uint16_t type;
  const char* name;
};

const type_name kHumidityNames[] = {{630, "HUMIDITY AMBIENT1"},
                                    {631, "HUMIDITY SIGN1"},
                                    {632, "HUMIDITY CABINET1"},
                                    {633, "HUMIDITY SIGN2"},
                                    {634, "HUMIDITY SIGN3"}};
const type_name kLightNames[] = {{1, "LGHTAMBIENT"},  {2, "LGHTFRONT"},    {3, "LGHTREAR"},     {150, "LGHTLINE1"},
                                 {151, "LGHTLINE2"},  {152, "LGHTLINE3"},  {153, "LGHTLINE4"},  {154, "LGHTLINE5"},
                                 {155, "LGHTLINE6"},  {156, "LUXLGHTLINE1"}};

template <size_t N>
const char* name_of(const type_name (&table)[N], uint16_t type) {
  for (const type_name& t : table)
    if (t.type == type) return t.name;
  return nullptr;
}

template <size_t N>
uint16_t type_of(const type_name (&table)[N], const char* name) {
  if (!name) return 0;
  for (const type_name& t : table)
    if (std::strcmp(t.name, name) == 0) return t.type;
  return 0;
}

// Parameters, construction, poll interval 10 with a random phase, Init,
// spread, enabled; null when Init fails.
template <class T>
CPeripheral* create_sensor(const pl_record& record, uint16_t cabinet_type) {
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t address = CPeripheral::s_dwParamValues[0];
  uint32_t selector = CPeripheral::s_dwParamValues[1];
  const uint32_t bus = CPeripheral::s_dwParamValues[2];
  if (record.type_id == cabinet_type && selector == 0) selector = 4;
  T* s = new (std::nothrow) T(record.type_id, selector, address, bus);
  if (!s) return nullptr;
  s->m_wPollInterval = T::POLL_INTERVAL;
  s->m_wPollCountdown = static_cast<uint16_t>(std::rand() % T::POLL_INTERVAL);
  s->m_wConfigSlot = record.slot;
  s->m_byFromDatabase = 1;
  if (!s->Init()) {
    delete s;
    return nullptr;
  }
  if (g_pPeripheralTask) g_pPeripheralTask->SpreadSensorPolls(s, 0);
  s->SetEnabled(1);
  return s;
}

bool is_sign_humidity(uint16_t t) {
  return t == CHumidity::TYPE_SIGN1 || t == CHumidity::TYPE_SIGN2 || t == CHumidity::TYPE_SIGN3;
}

}  // namespace

// ---------------------------------------------------------------- humidity

CHumidity::CHumidity(uint16_t type_id, uint32_t selector, uint32_t address, uint32_t bus)
    : can_peripheral(CLASS_CODE, type_id, selector, address, bus) {}

CHumidity::~CHumidity() {
  if (can_core* core = hub()) core->unregister_device(this);
  if (!peripheral_tables_live()) return;
  CPeripheral::UnregisterStatus(m_uStatusRow);
  m_uStatusRow = kRowAny;
  CPeripheral::UnregisterHumidityRow(&m_iTableRow);
}

const char* CHumidity::NameOfType(uint16_t type_id) { return name_of(kHumidityNames, type_id); }
uint16_t CHumidity::TypeOfName(const char* name) { return type_of(kHumidityNames, name); }

CPeripheral* CHumidity::Create(const pl_record& record) { return create_sensor<CHumidity>(record, TYPE_CABINET); }

int CHumidity::Init() {
  RegisterCan();
  if (!CPeripheral::RegisterHumidityRow(&m_iTableRow, TypeName()))
    monitor_printf("Failed to register %s in Humidity Table\n", TypeName());
  if (!register_status_row(this, &m_uStatusRow, PORT_ANALOG, 2, 8)) {
    CPeripheral::SetHumidityBitmapBit(m_iTableRow);
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  m_byState = PERIPHERAL_READING;
  return 1;
}

void CHumidity::UpdateSignAverage() {
  static const uint16_t kSign[] = {TYPE_SIGN1, TYPE_SIGN2, TYPE_SIGN3};
  uint32_t sum = 0, count = 0;
  for (uint16_t t : kSign) {
    CHumidity* h = dynamic_cast<CHumidity*>(live_peripheral(t));
    if (!h || !h->IsValid()) continue;
    sum += h->m_byReading;
    ++count;
  }
  pdb::set_v(vol::humiditySignAverage, count ? sum / count : 0);
}

void CHumidity::Publish() {
  if (m_wTypeId == TYPE_AMBIENT)
    pdb::set_v(vol::quorAmbientHumidity, m_byReading);
  else if (m_wTypeId == TYPE_CABINET)
    pdb::set_v(vol::quorCabinetHumidity, m_byReading);
  else if (is_sign_humidity(m_wTypeId))
    UpdateSignAverage();
}

void CHumidity::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  can_packet p;
  while (read(&p)) {
    if (!WellFormed(p, "CHumidity::Poll")) continue;
    m_bySilence = 0;
    if (p.data[0] == CAN_REPLY_INPUTS) {
      m_byState = PERIPHERAL_VALID;
      m_byReading = p.data[3];
      Publish();
      if (m_iTableRow >= 0) {
        const uint32_t r = static_cast<uint32_t>(m_iTableRow);
        pdb::set_v(vol::humidityReading(r), m_byReading);
        if (pdb::get_v(vol::humidityStatus(r)) != 2) CPeripheral::ClearHumidityBitmapBit(m_iTableRow);
      }
      CPeripheral::SetStatusValue(m_uStatusRow, m_byReading);
    } else if (p.data[0] == CAN_REPLY_IDENTIFY) {
      m_wVersion = Word(p, 5);
      m_byConversation = STATE_READ;
    }
  }
  if (m_byConversation == STATE_IDENTIFY)
    SendCommand(CAN_CMD_IDENTIFY);
  else if (m_byConversation == STATE_READ)
    SendCommand(CAN_CMD_READ);
  else
    monitor_printf("CHumidity::Poll: Error m_byState:%d\n", m_byConversation);

  if (m_bySilence < SILENT_POLLS) {
    ++m_bySilence;
  } else if (m_bySilence == SILENT_POLLS) {
    m_bySilence = SILENT_POLLS + 1;
    m_byReading = 0;
    // Failed first, so that the sign's average leaves this sensor out.
    m_byState = PERIPHERAL_COMM_ERROR;
    Publish();
    CPeripheral::SetStatusValue(m_uStatusRow, 0);
    CPeripheral::SetHumidityBitmapBit(m_iTableRow);
  }
}

// ---------------------------------------------------------------- light

CLight::CLight(uint16_t type_id, uint32_t selector, uint32_t address, uint32_t bus)
    : can_peripheral(CLASS_CODE, type_id, selector, address, bus) {}

CLight::~CLight() {
  if (can_core* core = hub()) core->unregister_device(this);
  if (!peripheral_tables_live()) return;
  CPeripheral::UnregisterStatus(m_uStatusRow);
  m_uStatusRow = kRowAny;
  CPeripheral::UnregisterLightRow(&m_iTableRow);
}

const char* CLight::NameOfType(uint16_t type_id) { return name_of(kLightNames, type_id); }
uint16_t CLight::TypeOfName(const char* name) { return type_of(kLightNames, name); }

CPeripheral* CLight::Create(const pl_record& record) { return create_sensor<CLight>(record, 0); }

int CLight::Init() {
  RegisterCan();
  if (!CPeripheral::RegisterLightRow(&m_iTableRow, TypeName()))
    monitor_printf("Failed to register %s in Light Table\n", TypeName());
  if (!register_status_row(this, &m_uStatusRow, PORT_ANALOG, 2, 16)) {
    CPeripheral::SetLightBitmapBit(m_iTableRow);
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  m_byState = PERIPHERAL_READING;
  return 1;
}

void CLight::ServiceIfDue() {
  if ((m_wSilence == 20 || m_wSilence == 40 || m_wSilence == 60 || m_wSilence == SILENT_READS) &&
      (m_busNumber & 2) && m_byRetries < MAX_SERVICES) {
    monitor_printf_debug("reinit q5 can driver \n");
    ++m_byRetries;
    service();
  }
}

void CLight::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  if (!m_byStarted) {
    m_byStarted = 1;
    return;
  }
  can_packet p;
  while (read(&p)) {
    if (!WellFormed(p, "CLight::Poll")) continue;
    if (p.data[0] == CAN_REPLY_INPUTS) {
      m_wSilence = 0;
      m_byState = PERIPHERAL_VALID;
      uint32_t first = Word(p, 3), second = Word(p, 5);
      if ((address() & 0xFFFF0) == 0x42010) {
        const uint32_t scale = pdb::get_nv(nv::quorPhotocellScale);
        first = first * scale / 100;
        second = second * scale / 100;
      }
      m_wFirst = static_cast<uint16_t>(first);
      m_wSecond = static_cast<uint16_t>(second);
      if (m_iTableRow >= 0) {
        const uint32_t r = static_cast<uint32_t>(m_iTableRow);
        pdb::set_v(vol::lightReading(r), m_wSecond);
        if (pdb::get_v(vol::lightStatus(r)) != 2) CPeripheral::ClearLightBitmapBit(m_iTableRow);
      }
      CPeripheral::SetStatusValue(m_uStatusRow, m_wSecond);
    } else if (p.data[0] == CAN_REPLY_IDENTIFY) {
      m_wSilence = 0;
      m_wVersion = Word(p, 5);
      CPeripheral::ClearLightBitmapBit(m_iTableRow);
    }
  }
  if (m_byIdentifyCountdown == 10) {
    m_byIdentifyCountdown = 0;
    SendCommand(CAN_CMD_IDENTIFY);
  } else {
    ++m_byIdentifyCountdown;
    SendCommand(CAN_CMD_READ);
    if (m_wSilence < SILENT_READS) {
      ++m_wSilence;
      if (m_wSilence != SILENT_READS) ServiceIfDue();
    }
  }
  if (m_wSilence == SILENT_READS) {
    monitor_printf("Light Comm Error timeout = %d\n", SILENT_READS);
    ServiceIfDue();
    m_wSilence = SILENT_READS + 1;
    m_wFirst = m_wSecond = 0;
    CPeripheral::SetStatusValue(m_uStatusRow, 0);
    m_byState = PERIPHERAL_COMM_ERROR;
    CPeripheral::SetLightBitmapBit(m_iTableRow);
  }
}
