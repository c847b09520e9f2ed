#include "peripherals/devices/acio.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "database/objects.h"
#include "frame/trace/trace.h"
#include "peripherals/pdb.h"

namespace {

const char* const kBoardName = "AC I/O BOARD";
const char* const kPortName = "AUX IO BIDIRECT";

}  // namespace

// ------------------------------------------------------------------ board

ACIO::ACIO(uint16_t type_id, uint32_t selector, uint32_t address, uint32_t channel)
    : DCIO(CLASS_ACIO, type_id, selector, address, channel) {}

const char* ACIO::NameOfType(uint16_t) { return kBoardName; }

uint16_t ACIO::TypeOfName(const char* name) { return name && std::strcmp(name, kBoardName) == 0 ? TYPE_ID : 0; }

CPeripheral* ACIO::Create(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t* v = s_dwParamValues;
  uint8_t d[4];
  for (int i = 0; i < 4; ++i) d[i] = static_cast<uint8_t>(v[1 + i] > 0xFF ? 0 : v[1 + i]);
  auto* board = new (std::nothrow) ACIO(record.type_id, v[5], v[0], v[6]);
  if (!board) return nullptr;
  board->m_wPollInterval = POLL_INTERVAL;
  board->m_wPollCountdown = static_cast<uint16_t>(std::rand() % POLL_INTERVAL);
  board->m_wConfigSlot = record.slot;
  board->m_byFromDatabase = 1;
  if (!board->Init(d[0], d[1], d[2], d[3])) {
    delete board;
    return nullptr;
  }
  board->SetEnabled(1);
  return board;
}

uint32_t ACIO::SendFrame(can_packet p) {
  p.data[5] = MARKER;
  return send(p);
}

void ACIO::SendNext() {
  if (m_bySendState == 1) {
    SendFrame(Command(address(), CAN_CMD_IDENTIFY));
  } else if (m_bySendState == SEND_OPERATIONAL) {
    if (m_byOutputsChanged) {
      m_byOutputsChanged = 0;
      can_packet p = Command(address(), CAN_CMD_OUTPUTS);
      for (int i = 3; i < 8; ++i) p.data[i] = m_abyOutputs[i];
      SendFrame(p);
    } else {
      SendFrame(Command(address(), CAN_CMD_READ));
    }
  } else {
    m_bySendState = SEND_OPERATIONAL;
  }
}

void ACIO::Drain() {
  m_byInputReceived = 0;
  can_packet p;
  while (NextReply(&p)) {
    m_bySilence = 0;
    m_byRetries = 0;
    if (m_byState != PERIPHERAL_VALID) m_byState = PERIPHERAL_READING_ALT;
    if (m_byReceiveState == 1) {
      if (p.data[0] != CAN_REPLY_IDENTIFY) continue;
      m_wVersion = Word(p, 5);
      if (m_wTypeId == TYPE_ID) {
        m_byReceiveState = 6;
        m_bySendState = SEND_OPERATIONAL;
      }
    } else if (m_byReceiveState == 6) {
      if (p.data[0] != CAN_REPLY_INPUTS) continue;
      m_byState = PERIPHERAL_VALID;
      m_byInputReceived = 1;
      m_LastInput = p;
    } else {
      m_byReceiveState = 1;
    }
  }
}

uint32_t ACIO::receive(const can_packet& packet) {
  const uint32_t queued = can_device::receive(packet);
  Drain();
  if (m_byInputReceived) {
    for (CPeripheral* c : m_apClients)
      if (c) c->OnInput();
  }
  return queued;
}

// ------------------------------------------------------------------ bridge

bool acio_bridge::Init(uint16_t board_type, CPeripheral* client) {
  if (!dynamic_cast<ACIO*>(live_peripheral(board_type))) {
    monitor_printf("acio_bridge::Init: failed to find acio class\n");
    return false;
  }
  return dcio_bridge::Init(board_type, client);
}

uint32_t acio_bridge::Register(const interface_cfg& cfg) {
  // The board keeps no trigger sets.
  interface_cfg plain;
  plain.CopyFrom(cfg);
  plain.m_Triggers = point_set();
  plain.m_byTriggerKind = 0;
  return dcio_bridge::Register(plain);
}

// ------------------------------------------------------------ bidirectional port

CAuxIOBidirect::CAuxIOBidirect(uint16_t type_id) : CPeripheral(CLASS_CODE, type_id) {}

CAuxIOBidirect::~CAuxIOBidirect() {
  m_Bridge.Detach();
  if (!peripheral_tables_live()) return;
  if (m_iStatusRow >= 0) CPeripheral::UnregisterStatus(static_cast<uint32_t>(m_iStatusRow));
  m_iStatusRow = -1;
  if (m_dwNodeId) m_Bridge.UnRegister(m_dwNodeId);
  m_dwNodeId = 0;
}

const char* CAuxIOBidirect::NameOfType(uint16_t) { return kPortName; }

uint16_t CAuxIOBidirect::TypeOfName(const char* name) {
  return name && std::strcmp(name, kPortName) == 0 ? TYPE_ID : 0;
}

CPeripheral* CAuxIOBidirect::Create(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t* v = s_dwParamValues;
  if (v[0] > 0xFF || v[1] == 0 || v[1] > 31) return nullptr;
  auto* p = new (std::nothrow) CAuxIOBidirect(record.type_id);
  if (!p) return nullptr;
  p->m_wPollInterval = POLL_INTERVAL;
  p->m_wPollCountdown = static_cast<uint16_t>(std::rand() % POLL_INTERVAL);
  p->m_wConfigSlot = record.slot;
  p->m_byFromDatabase = 1;
  if (!p->Init(static_cast<uint8_t>(v[0]), static_cast<int8_t>(v[1]), static_cast<uint16_t>(v[2]),
               static_cast<uint8_t>(v[3]))) {
    delete p;
    return nullptr;
  }
  p->SetEnabled(1);
  return p;
}

bool CAuxIOBidirect::Init(uint8_t first_point, int8_t count, uint16_t board_type, uint8_t options) {
  m_byOptions = options;
  m_chCount = count;
  m_wBoardType = board_type;
  uint32_t channels = 0;
  for (int k = 0; k < count; ++k) dcio_bridge::ChannelMask(static_cast<uint8_t>(first_point + k), &channels, false);
  if (channels && m_Bridge.Init(board_type, this)) m_dwNodeId = m_Bridge.Register(interface_cfg(channels, 1, 0, 0));
  uint32_t row = 0;
  if (m_dwNodeId && register_status_row(this, &row, PORT_DIGITAL, DIR_BIDIRECTIONAL, 8))
    m_iStatusRow = static_cast<int32_t>(row);
  if (!m_dwNodeId || m_iStatusRow < 0) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return false;
  }
  m_byState = PERIPHERAL_READING;
  return true;
}

uint32_t CAuxIOBidirect::Encode(uint32_t value, uint32_t n, uint8_t options) {
  if (value == 0 || value > n || n > 31) return 0;
  if (!(options & OPTION_ZERO_BASED)) return 1u << (value - 1);
  return value == n ? 1u : 1u << value;
}

uint32_t CAuxIOBidirect::Decode(uint32_t code, uint32_t n, uint8_t options) {
  for (uint32_t value = 1; value <= n && n <= 31; ++value)
    if (Encode(value, n, options) == code) return value;
  return 0;
}

void CAuxIOBidirect::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  DCIO* board = m_Bridge.Board();
  const uint32_t n = static_cast<uint32_t>(m_chCount > 0 ? m_chCount : 0);
  const uint32_t row = static_cast<uint32_t>(m_iStatusRow);
  if (m_byStartupPending) {
    if (!board || !board->IsOperational()) return;
    if (m_byStartupCountdown == 0) {
      CPeripheral::SetStatusValue(row, Decode(m_Bridge.Get(m_dwNodeId, 0), n, m_byOptions));
      m_byStartupPending = 0;
    } else {
      --m_byStartupCountdown;
    }
    return;
  }
  const uint32_t read_back = m_Bridge.Get(m_dwNodeId, 0);
  m_byState = read_back ? 4 : (board ? board->m_byState : static_cast<uint8_t>(PERIPHERAL_COMM_ERROR));
  uint32_t value = pdb::get_v(vol::auxIOPortValue(row));
  if (value > n) {
    value = 0;
    CPeripheral::SetStatusValue(row, 0);
  }
  const uint32_t code = Encode(value, n, m_byOptions);
  if (read_back != code) m_Bridge.Set(m_dwNodeId, code);
  m_Bridge.Process();
}
