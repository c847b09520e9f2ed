#include "peripherals/devices/beacons.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "database/objects.h"
#include "display/task/display.h"
#include "peripherals/devices/can_peripheral.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_task.h"

namespace {

uint8_t (*s_beacon_source)() = nullptr;

const char* const kGpoNames[] = {"GP OUTPUT01", "GP OUTPUT02", "GP OUTPUT03", "GP OUTPUT04", "GP OUTPUT05",
                                 "GP OUTPUT06", "GP OUTPUT07", "GP OUTPUT08", "GP OUTPUT09", "GP OUTPUT10"};
const char* const kGen2Names[] = {"GEN2 BEACON1", "GEN2 BEACON2"};

template <size_t N>
const char* name_in(const char* const (&names)[N], uint16_t first, uint16_t type) {
  return type >= first && type < first + N ? names[type - first] : nullptr;
}

template <size_t N>
uint16_t type_in(const char* const (&names)[N], uint16_t first, const char* name) {
  if (!name) return 0;
  for (size_t i = 0; i < N; ++i)
    if (std::strcmp(names[i], name) == 0) return static_cast<uint16_t>(first + i);
  return 0;
}

}  // namespace

uint8_t peripheral_beacon_flag() {
  if (s_beacon_source) return s_beacon_source();
  return g_pDisplay ? g_pDisplay->m_byBeaconRequest : 0;
}

void peripheral_set_beacon_flag_source(uint8_t (*source)()) { s_beacon_source = source; }

// ------------------------------------------------------------------ shared

CBeaconBase::~CBeaconBase() {
  m_Bridge.Detach();
  if (!peripheral_tables_live()) return;
  if (m_iStatusRow >= 0) CPeripheral::UnregisterStatus(static_cast<uint32_t>(m_iStatusRow));
  m_iStatusRow = -1;
  if (m_dwNodeId) m_Bridge.UnRegister(m_dwNodeId);
  m_dwNodeId = 0;
}

template <class T, class... A>
CPeripheral* CBeaconBase::Build(const pl_record& record, A... init_args) {
  T* p = new (std::nothrow) T(record.type_id);
  if (!p) return nullptr;
  p->m_wPollInterval = POLL_INTERVAL;
  p->m_wPollCountdown = static_cast<uint16_t>(std::rand() % POLL_INTERVAL);
  p->m_wConfigSlot = record.slot;
  p->m_byFromDatabase = 1;
  if (!p->Init(init_args...)) {
    delete p;
    return nullptr;
  }
  p->SetEnabled(1);
  return p;
}

bool CBeaconBase::Attach(uint16_t board_type, uint32_t channels) {
  if (!m_Bridge.Init(board_type, this)) return false;
  m_pBoard = m_Bridge.Board();
  // An empty mask (a point outside 24..55) would register nothing.
  m_dwNodeId = channels ? m_Bridge.Register(interface_cfg(channels, 1, 0, 0)) : 0;
  uint32_t row = 0;
  if (register_status_row(this, &row, PORT_DIGITAL, DIR_OUTPUT, 1)) m_iStatusRow = static_cast<int32_t>(row);
  return true;
}

void CBeaconBase::FollowBoard() {
  DCIO* board = m_Bridge.Board();
  m_byState = board ? board->m_byState : static_cast<uint8_t>(PERIPHERAL_COMM_ERROR);
}

// ------------------------------------------------------------------ beacon

const char* CBeacon::NameOfType(uint16_t) { return "BEACON01"; }

uint16_t CBeacon::TypeOfName(const char* name) { return name && std::strcmp(name, "BEACON01") == 0 ? TYPE : 0; }

CPeripheral* CBeacon::Create(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t point = s_dwParamValues[0];
  if (point > 0xFF) return nullptr;
  return Build<CBeacon>(record, static_cast<uint8_t>(point), static_cast<uint16_t>(s_dwParamValues[1]));
}

bool CBeacon::Init(uint8_t point, uint16_t board_type) {
  uint32_t channels = 0;
  dcio_bridge::ChannelMask(point, &channels, true);
  if (!Attach(board_type, channels) || !m_dwNodeId) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return false;
  }
  const uint8_t on = peripheral_beacon_flag() ? 1 : 0;
  ShowOnOff(on);
  m_Bridge.Set(m_dwNodeId, on);
  m_byState = PERIPHERAL_READING;
  return true;
}

void CBeacon::OnInput() { m_byReadBack = m_Bridge.Get(m_dwNodeId, 1) != 0; }

void CBeacon::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  FollowBoard();
  const uint8_t on = peripheral_beacon_flag() ? 1 : 0;
  ShowOnOff(on);
  m_Bridge.Set(m_dwNodeId, on);
  if (m_iStatusRow >= 0) pdb::set_v(vol::auxIOPortValue(static_cast<uint32_t>(m_iStatusRow)), m_byReadBack);
  m_Bridge.Process();
}

// ------------------------------------------------------------- GEN2 beacon

const char* CBeaconIO::NameOfType(uint16_t type_id) { return name_in(kGen2Names, FIRST_TYPE, type_id); }

uint16_t CBeaconIO::TypeOfName(const char* name) { return type_in(kGen2Names, FIRST_TYPE, name); }

CPeripheral* CBeaconIO::Create(const pl_record& record) {
  if (!NameOfType(record.type_id)) return nullptr;
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t* v = s_dwParamValues;
  return Build<CBeaconIO>(record, static_cast<uint16_t>(v[0]), v[1], static_cast<uint8_t>(v[2]),
                          static_cast<uint8_t>(v[3]), static_cast<uint8_t>(v[4]), static_cast<uint8_t>(v[5]));
}

void CBeaconIO::InitDefaults() {
  if (!g_pDataBase) return;
  const uint8_t nul = 0;
  g_pDataBase->SetString(vol::quorBlankedMessage.offset, 4, nullptr, 0, g_pDataBase->mib_v, 0);
  pdb::set_v(vol::quorBadCommunityCount, 0, 0);
  g_pDataBase->SetString(vol::quorFailedModuleMap.offset, 4, &nul, 1, g_pDataBase->mib_v, 0);
}

bool CBeaconIO::Init(uint16_t board_type, uint32_t channels, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t dimming) {
  m_wBoardType = board_type;
  // Port 6 (points 48..55) wins over port 5 (40..47); channels in neither
  // leave the board nothing to configure.
  const uint8_t port6 = static_cast<uint8_t>(channels >> 24);
  const uint8_t port5 = static_cast<uint8_t>(channels >> 16);
  m_byGroup = port6 ? 3 : port5 ? 2 : 0;
  m_byMask = port6 ? port6 : port5;
  m_abyConfig[0] = c1;
  m_abyConfig[1] = c2;
  m_abyConfig[2] = c3;
  m_byDimming = dimming;
  if (!Attach(board_type, channels) || !m_dwNodeId) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return false;
  }
  const bool on = peripheral_beacon_flag() != 0;
  ShowOnOff(on);
  m_Bridge.Set(m_dwNodeId, on ? 3 : 0);
  m_byState = PERIPHERAL_READING;
  return true;
}

void CBeaconIO::BeaconConfiguration(uint8_t bytes[5]) {
  bytes[0] = m_byGroup;
  bytes[1] = m_byMask;
  bytes[2] = m_abyConfig[0];
  bytes[3] = m_abyConfig[1];
  bytes[4] = m_abyConfig[2];
}

void CBeaconIO::OnInput() { m_byReadBack = m_Bridge.Get(m_dwNodeId, 1) != 0; }

void CBeaconIO::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  FollowBoard();
  const bool on = peripheral_beacon_flag() != 0;
  ShowOnOff(on);
  m_Bridge.Set(m_dwNodeId, on ? 3 : 0);
  if (m_iStatusRow >= 0) pdb::set_v(vol::auxIOPortValue(static_cast<uint32_t>(m_iStatusRow)), m_byReadBack);
  m_Bridge.Process();
}

// -------------------------------------------------- general-purpose output

const char* CGeneralPurposeOutput::NameOfType(uint16_t type_id) { return name_in(kGpoNames, FIRST_TYPE, type_id); }

uint16_t CGeneralPurposeOutput::TypeOfName(const char* name) { return type_in(kGpoNames, FIRST_TYPE, name); }

CPeripheral* CGeneralPurposeOutput::Create(const pl_record& record) {
  if (!NameOfType(record.type_id)) return nullptr;
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t point = s_dwParamValues[0];
  const uint16_t board_type = static_cast<uint16_t>(s_dwParamValues[1]);
  if (point > 0xFF || !live_peripheral(board_type)) return nullptr;
  CPeripheral* p = Build<CGeneralPurposeOutput>(record, static_cast<uint8_t>(point), board_type);
  if (p) static_cast<CGeneralPurposeOutput*>(p)->SetOutput(false);
  return p;
}

bool CGeneralPurposeOutput::Init(uint8_t point, uint16_t board_type) {
  uint32_t channels = 0;
  dcio_bridge::ChannelMask(point, &channels, true);
  if (!Attach(board_type, channels) || !m_dwNodeId) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return false;
  }
  m_byState = PERIPHERAL_READING;
  return true;
}

void CGeneralPurposeOutput::SetOutput(bool on) {
  m_Bridge.Set(m_dwNodeId, on ? 1 : 0);
  m_byCommanded = on ? 1 : 0;
}

bool CGeneralPurposeOutput::IsOutputOn() { return m_dwNodeId && m_Bridge.Get(m_dwNodeId, 0) != 0; }

void CGeneralPurposeOutput::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  FollowBoard();
  const uint32_t n = m_wTypeId - (FIRST_TYPE - 1);
  const bool wanted = g_pPeripheralTask && (g_pPeripheralTask->GPOutputMask() >> (n - 1) & 1);
  if (wanted && !m_byCommanded)
    SetOutput(true);
  else if (!wanted && m_byCommanded)
    SetOutput(false);
  if (m_iStatusRow >= 0) {
    const uint32_t level = IsOutputOn() ? 1 : 0;
    pdb::set_v(vol::auxIOPortValue(static_cast<uint32_t>(m_iStatusRow)), level);
    pdb::set_v(vol::auxIOPortLastCommandedState(static_cast<uint32_t>(m_iStatusRow)), level);
  }
  m_Bridge.Process();
}
