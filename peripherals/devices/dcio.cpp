#include "peripherals/devices/dcio.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "frame/os/interrupts_masked.h"
#include "frame/trace/trace.h"
#include "peripherals/peripheral_task.h"

namespace {

struct type_name {
  uint16_t type;
  const char* name;
};

const type_name kNames[] = {
    {50, "PROD BRD IO"},        {51, "DC I/O 2"},           {52, "DC I/O 3"},           {53, "DC I/O 4"},
    {54, "DC I/O 5"},           {55, "HCB 01"},             {56, "DC I/O 6"},           {170, "MINI I/O LINE 1"},
    {171, "MINI I/O LINE 2"},   {172, "MINI I/O LINE 3"},   {173, "MINI I/O LINE 4"},   {174, "MINI I/O LINE 5"},
    {175, "MINI I/O LINE 6"},   {590, "MINI DC I/O 1"},     {591, "MINI DC I/O 2"},     {592, "MINI DC I/O 3"},
    {593, "MINI DC I/O 4"},     {594, "MINI DC I/O 5"},     {595, "MINI DC I/O 6"},
};

// Names that lead to a type but are not its display name.
const type_name kOtherNames[] = {{50, "DC I/O 1"}};

uint32_t s_next_node_id = 0;

constexpr uint8_t kResend = 10;
constexpr int8_t kDimmingEvery = 10;

// The trigger steps: kind, port (its point-set byte), p, k.
struct trigger_step {
  uint8_t kind;
  uint8_t port;
};
constexpr uint8_t kTriggerSteps = 15;
constexpr uint8_t kTriggerPorts[3] = {3, 4, 6};
constexpr uint8_t kTriggerK[6] = {0, 4, 4, 1, 2, 3};

}  // namespace

// ---------------------------------------------------------------- interface_cfg

interface_cfg::interface_cfg() {
  if (++s_next_node_id == 0) ++s_next_node_id;
  m_dwNodeId = s_next_node_id;
  key = m_dwNodeId;
}

interface_cfg::interface_cfg(uint32_t channel_bits, uint8_t write_access, uint32_t trigger_bits, uint8_t trigger_kind)
    : interface_cfg() {
  m_Channels = point_set::FromBits(channel_bits);
  m_Triggers = point_set::FromBits(trigger_bits);
  m_byWriteAccess = write_access;
  m_byTriggerKind = trigger_kind;
}

void interface_cfg::CopyFrom(const interface_cfg& o) {
  m_Channels = o.m_Channels;
  m_Values = o.m_Values;
  m_Triggers = o.m_Triggers;
  m_byTriggerKind = o.m_byTriggerKind;
  m_byWriteAccess = o.m_byWriteAccess;
  m_dwNodeId = o.m_dwNodeId;
  key = o.m_dwNodeId;
  m_byReadOnlyOverride = o.m_byReadOnlyOverride;
  m_byResendCountdown = o.m_byResendCountdown;
  m_byPending = o.m_byPending;
  m_Taken = o.m_Taken;
  m_TriggersTaken = o.m_TriggersTaken;
}

// ---------------------------------------------------------------- dcio_bridge

dcio_bridge::dcio_bridge() { m_Nodes.open(); }

dcio_bridge::~dcio_bridge() {
  Detach();
  m_Nodes.clear();
}

void dcio_bridge::Detach() {
  if (m_pCIO) m_pCIO->RemoveClient(m_pOwner);
  m_pCIO = nullptr;
}

bool dcio_bridge::Init(uint16_t board_type, CPeripheral* client) {
  m_Nodes.open();
  // Only a DC I/O board can be a client's board, whatever type the record
  // names.
  DCIO* board = dynamic_cast<DCIO*>(live_peripheral(board_type));
  if (!board) {
    monitor_printf("dcio_bridge::Init: failed to find dcio class\n");
    return false;
  }
  Detach();
  m_pCIO = board;
  m_pOwner = client;
  board->AddClient(client);
  return true;
}

interface_cfg* dcio_bridge::Find(uint32_t node_id) const {
  return static_cast<interface_cfg*>(m_Nodes.find(&node_id));
}

uint32_t dcio_bridge::Register(const interface_cfg& cfg) {
  if (cfg.m_byReadOnlyOverride && cfg.m_byWriteAccess) {
    monitor_printf("dcio_bridge::Register: cannot register read-only override access because write access flag was set\n");
    return 0;
  }
  if (!m_pCIO) {
    monitor_printf("dcio_bridge::Reigster: m_pCIO is null\n");
    return 0;
  }
  for (int k = 0; k < 8; ++k) {
    if (!cfg.m_Channels.bytes[k]) continue;
    if (cfg.m_byWriteAccess && m_pCIO->m_abyDirection[k] == DCIO::DIR_IN) {
      monitor_printf("dcio_bridge::Register: cannot register output on input port\n");
      return 0;
    }
    if (!cfg.m_byWriteAccess && m_pCIO->m_abyDirection[k] == DCIO::DIR_OUT) {
      monitor_printf("dcio_bridge::Register: cannot register input on output port\n");
      return 0;
    }
  }
  if (!cfg.m_byReadOnlyOverride && cfg.m_Channels.Intersects(m_pCIO->m_Claimed)) {
    monitor_printf("dcio_bridge::Register: conflict found\n");
    return 0;
  }
  for (int k = 0; k < 8; ++k) {
    if (cfg.m_Triggers.bytes[k] && m_pCIO->m_abyDirection[k] == DCIO::DIR_OUT) {
      monitor_printf("dcio_bridge::Register: cannot configure trigger on output port\n");
      return 0;
    }
  }
  interface_cfg* copy = new (std::nothrow) interface_cfg();
  if (!copy) return 0;
  copy->CopyFrom(cfg);
  copy->owned = 1;
  if (cfg.m_byTriggerKind >= 1 && cfg.m_byTriggerKind <= 5) {
    point_set& triggers = m_pCIO->TriggerSet(cfg.m_byTriggerKind);
    copy->m_TriggersTaken = cfg.m_Triggers;
    copy->m_TriggersTaken.Remove(triggers);
    triggers.Add(cfg.m_Triggers);
  }
  copy->m_Taken = cfg.m_Channels;
  copy->m_Taken.Remove(m_pCIO->m_Claimed);
  m_pCIO->m_Claimed.Add(cfg.m_Channels);
  m_Nodes.push_back(copy);
  return copy->m_dwNodeId;
}

bool dcio_bridge::UnRegister(uint32_t node_id) {
  interface_cfg* n = Find(node_id);
  if (!n) {
    monitor_printf("dcio_bridge::UnRegister: failed to find node\n");
    return false;
  }
  if (m_pCIO) {
    m_pCIO->m_Claimed.Remove(n->m_Taken);
    if (n->m_byTriggerKind >= 1 && n->m_byTriggerKind <= 5)
      m_pCIO->TriggerSet(n->m_byTriggerKind).Remove(n->m_TriggersTaken);
  }
  m_Nodes.remove(n);
  return true;
}

uint32_t dcio_bridge::Get(uint32_t node_id, uint32_t context) {
  interface_cfg* n = Find(node_id);
  if (!n) {
    monitor_printf("dcio_bridge::Get: failed to find node  ID %X  ISR %d\n", static_cast<unsigned>(node_id),
                   static_cast<int>(context));
    return 0;
  }
  if (!m_pCIO) return 0;
  uint32_t bits = 0, k = 0;
  for (uint32_t p = 24; p < 64 && k < 32; ++p) {
    if (!n->m_Channels.Has(p)) continue;
    if (m_pCIO->m_LastInput.data[p / 8] >> (p % 8) & 1) bits |= 1u << k;
    ++k;
  }
  return bits;
}

void dcio_bridge::Set(uint32_t node_id, uint32_t bits) {
  interface_cfg* n = Find(node_id);
  if (!n) {
    monitor_printf("dcio_bridge::Set: failed to find node\n");
    return;
  }
  if (!n->m_byWriteAccess) {
    monitor_printf("dcio_bridge::Set: cannot set read only peripheral\n");
    return;
  }
  uint32_t k = 0;
  for (uint32_t p = 24; p < 64 && k < 32; ++p) {
    if (!n->m_Channels.Has(p)) continue;
    const bool on = (bits >> k++) & 1;
    if (n->m_Values.Has(p) != on) {
      n->m_Values.Put(p, on);
      n->m_byPending = 1;
      n->m_byResendCountdown = kResend;
    }
  }
}

void dcio_bridge::Process() {
  if (!m_pCIO || !m_pCIO->IsOperational()) return;
  impl::list::iterator it(&m_Nodes);
  for (impl::node* node = it.current(); node; node = it.next() ? it.current() : nullptr) {
    interface_cfg* n = static_cast<interface_cfg*>(node);
    if (!n->m_byWriteAccess) continue;
    for (int k = 0; k < 8; ++k) {
      const uint8_t wanted = n->m_Channels.bytes[k] & n->m_Values.bytes[k];
      const uint8_t seen = n->m_Channels.bytes[k] & m_pCIO->m_LastInput.data[k];
      if (wanted == seen) continue;
      // The board echoes its outputs: one it did not take goes again.
      if (n->m_byResendCountdown) {
        --n->m_byResendCountdown;
      } else {
        n->m_byResendCountdown = kResend;
        n->m_byPending = 1;
      }
    }
    if (!n->m_byPending) continue;
    for (uint32_t p = 24; p < 64; ++p) {
      if (!n->m_Channels.Has(p)) continue;
      const uint8_t bit = static_cast<uint8_t>(1u << (p % 8));
      if (n->m_Values.Has(p))
        m_pCIO->m_abyOutputs[p / 8] |= bit;
      else
        m_pCIO->m_abyOutputs[p / 8] &= static_cast<uint8_t>(~bit);
    }
    m_pCIO->m_byOutputsChanged = 1;
    n->m_byPending = 0;
  }
}

uint8_t dcio_bridge::LastReplyCode(uint32_t) { return m_pCIO ? m_pCIO->m_LastInput.data[0] : 0; }

uint8_t dcio_bridge::CountChannels(uint32_t node_id) {
  interface_cfg* n = Find(node_id);
  if (!n) return 0;
  uint8_t count = 0;
  for (uint32_t p = 24; p < 64; ++p) count += n->m_Channels.Has(p) ? 1 : 0;
  return count;
}

bool dcio_bridge::InputsValid() { return m_pCIO && m_pCIO->m_byInputReceived; }

void dcio_bridge::ChannelMask(uint8_t point, uint32_t* bits, bool clear) {
  if (!bits) return;
  if (clear) *bits = 0;
  if (point >= 24 && point <= 55) *bits |= 1u << (point - 24);
}

// ---------------------------------------------------------------- DCIO

uint8_t DCIO::s_byDimmingLevel = 0;
int8_t DCIO::s_chDimmingCountdown = kDimmingEvery;

DCIO::DCIO(uint8_t class_code, uint16_t type_id, uint32_t selector, uint32_t address, uint32_t bus)
    : can_peripheral(class_code, type_id, selector, address, bus) {
  m_abyOutputs[0] = m_abyOutputs[1] = m_abyOutputs[2] = 0x01;
}

DCIO::~DCIO() {
  if (can_core* core = hub()) core->unregister_device(this);
}

const char* DCIO::NameOfType(uint16_t type_id) {
  for (const type_name& t : kNames)
    if (t.type == type_id) return t.name;
  return nullptr;
}

uint16_t DCIO::TypeOfName(const char* name) {
  if (!name) return 0;
  for (const type_name& t : kOtherNames)
    if (std::strcmp(t.name, name) == 0) return t.type;
  for (const type_name& t : kNames)
    if (t.type != TYPE_PRODUCT_BOARD && std::strcmp(t.name, name) == 0) return t.type;
  return 0;
}

bool DCIO::IsMini() const {
  return (m_wTypeId >= 170 && m_wTypeId <= 175) || (m_wTypeId >= 590 && m_wTypeId <= 595);
}

point_set& DCIO::TriggerSet(uint8_t kind) {
  // Stored in the order of kinds 2, 1, 4, 5, 3.
  static const uint8_t kIndex[6] = {0, 1, 0, 4, 2, 3};
  return m_aTriggers[kind <= 5 ? kIndex[kind] : 0];
}

namespace {

CPeripheral* finish(DCIO* board, const pl_record& record, const uint8_t d[4]) {
  board->m_wPollInterval = DCIO::POLL_INTERVAL;
  board->m_wPollCountdown = static_cast<uint16_t>(std::rand() % DCIO::POLL_INTERVAL);
  board->m_wConfigSlot = record.slot;
  board->m_byFromDatabase = 1;
  if (!board->Init(d[0], d[1], d[2], d[3])) {
    delete board;
    return nullptr;
  }
  board->SetEnabled(1);
  return board;
}

}  // namespace

CPeripheral* DCIO::Create(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t* v = s_dwParamValues;
  uint32_t selector = v[5];
  if (record.type_id == TYPE_DCIO5 && selector == 0) selector = 2;
  // A value beyond a byte is no direction parameter either.
  const uint8_t d[4] = {static_cast<uint8_t>(v[1] > 0xFF ? 0 : v[1]), static_cast<uint8_t>(v[2] > 0xFF ? 0 : v[2]),
                        static_cast<uint8_t>(v[3] > 0xFF ? 0 : v[3]), static_cast<uint8_t>(v[4] > 0xFF ? 0 : v[4])};
  DCIO* board = new (std::nothrow) DCIO(CLASS_CODE, record.type_id, selector, v[0], v[6]);
  return board ? finish(board, record, d) : nullptr;
}

CPeripheral* DCIO::CreateMini(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t* v = s_dwParamValues;
  uint32_t selector = v[1];
  if (record.type_id == TYPE_MINI1 && selector == 0) selector = 4;
  static const uint8_t kFixed[4] = {PARAM_IN, PARAM_OUT, PARAM_IN, PARAM_IN};
  DCIO* board = new (std::nothrow) DCIO(CLASS_MINI, record.type_id, selector, v[0], v[2]);
  return board ? finish(board, record, kFixed) : nullptr;
}

int DCIO::Init(uint8_t d3, uint8_t d4, uint8_t d5, uint8_t d6) {
  RegisterCan();
  const uint8_t d[4] = {d3, d4, d5, d6};
  for (int i = 0; i < 4; ++i) {
    if (d[i] != PARAM_IN && d[i] != PARAM_OUT) {
      m_byState = PERIPHERAL_INIT_ERROR;
      return 0;
    }
    m_abyRawDirection[i] = d[i];
    m_abyDirection[3 + i] = d[i] == PARAM_OUT ? DIR_OUT : DIR_IN;
  }
  m_byState = PERIPHERAL_READING;
  return 1;
}

void DCIO::AddClient(CPeripheral* client) {
  if (!client) return;
  {
    interrupts_masked masked;
    for (CPeripheral*& slot : m_apClients) {
      if (!slot) {
        slot = client;
        break;
      }
    }
  }
  m_byRestart = 1;
}

void DCIO::RemoveClient(CPeripheral* client) {
  if (!client) return;
  {
    interrupts_masked masked;
    for (CPeripheral*& slot : m_apClients) {
      if (slot == client) {
        slot = nullptr;
        break;
      }
    }
  }
  m_byRestart = 1;
}

void DCIO::Restart() {
  m_bySendState = 1;
  m_byReceiveState = 1;
  m_bySilence = 0;
  m_byRetries = 0;
  m_byRestart = 0;
  m_byInputReceived = 0;
  m_byDimming = 0;
  m_byOutputsChanged = 0;
  const uint8_t off[8] = {1, 1, 1, 0, 0, 0, 0, 0};
  std::memcpy(m_abyOutputs, off, sizeof off);
}

void DCIO::ServiceIfDue() {
  if ((m_busNumber & 2) && m_byRetries < MAX_SERVICES) {
    ++m_byRetries;
    service();
  }
}

void DCIO::Poll() {
  if (m_byState == PERIPHERAL_SETTING_UP || m_byState == PERIPHERAL_INIT_ERROR) return;
  if (m_byRestart) Restart();
  SendNext();
  if (m_bySilence < SILENT_POLLS) {
    ++m_bySilence;
    if (m_bySilence == 20 || m_bySilence == 40 || m_bySilence == 60) ServiceIfDue();
  } else {
    monitor_printf_debug("Warning: Comm Timeout %d\n", m_wTypeId);
    m_bySilence = 0;
    m_byState = PERIPHERAL_COMM_ERROR;
    ServiceIfDue();
  }
}

void DCIO::SendNext() {
  for (int steps = 0; steps < 255; ++steps) {
    switch (m_bySendState) {
      case 1:
        m_byNextBeacon = 0;
        m_byNextTrigger = 0;
        SendCommand(CAN_CMD_IDENTIFY);
        return;
      case 2: {
        const uint8_t rest[5] = {0, 0, 0, 0, 0x07};
        // The answer may come in before send returns: the state goes first.
        m_byWaitCount = 10;
        m_bySendState = SEND_WAIT;
        SendCommand(CAN_CMD_CONFIGURE, rest, 5);
        return;
      }
      case SEND_WAIT:
        if (m_byWaitCount) --m_byWaitCount;
        if (m_byWaitCount) return;
        m_bySendState = 2;
        break;
      case 3: {
        const uint8_t rest[5] = {m_abyRawDirection[0], m_abyRawDirection[1], m_abyRawDirection[2],
                                 m_abyRawDirection[3], 0};
        m_byAwaitingAck = 1;
        SendCommand(CAN_CMD_CONFIGURE, rest, 5);
        return;
      }
      case 4: {
        if (!Extended()) {
          m_byReceiveState = 6;
          m_bySendState = SEND_OPERATIONAL;
          break;
        }
        for (uint32_t i = m_byNextBeacon; i < MAX_CLIENTS; ++i) {
          CPeripheral* c = m_apClients[i];
          dcio_beacon_client* beacon = c && c->m_byClass == CLASS_BEACON_GEN2 ? dynamic_cast<dcio_beacon_client*>(c) : nullptr;
          if (!beacon) continue;
          m_byNextBeacon = static_cast<uint8_t>(i + 1);
          m_byDimming = m_wVersion >= 6 && beacon->BeaconDimming() ? 1 : 0;
          uint8_t rest[5] = {};
          beacon->BeaconConfiguration(rest);
          SendCommand(CAN_CMD_CONFIGURE, rest, 5);
          return;
        }
        m_byReceiveState = 5;
        m_bySendState = 5;
        break;
      }
      case 5: {
        if (!Extended()) {
          m_byReceiveState = 6;
          m_bySendState = SEND_OPERATIONAL;
          break;
        }
        while (m_byNextTrigger < kTriggerSteps) {
          const uint8_t step = m_byNextTrigger++;
          const uint8_t kind = static_cast<uint8_t>(step / 3 + 1);
          const uint8_t port = kTriggerPorts[step % 3];
          if (port == 6 && m_abyRawDirection[3] != PARAM_IN) continue;
          const uint8_t mask = TriggerSet(kind).bytes[port];
          if (!mask) continue;
          const uint8_t rest[5] = {static_cast<uint8_t>(port - 3), mask, 0, 0, kTriggerK[kind]};
          SendCommand(CAN_CMD_CONFIGURE, rest, 5);
          return;
        }
        m_byReceiveState = 6;
        m_bySendState = SEND_OPERATIONAL;
        break;
      }
      case SEND_OPERATIONAL:
        if (m_byOutputsChanged) {
          m_byOutputsChanged = 0;
          send(Command(address(), m_abyOutputs[0], m_abyOutputs + 3, 5));
        } else if (m_byDimming && --s_chDimmingCountdown <= 0) {
          s_chDimmingCountdown = kDimmingEvery;
          const uint8_t rest[1] = {s_byDimmingLevel};
          SendCommand(CAN_CMD_DIMMING, rest, 1);
        } else {
          SendCommand(CAN_CMD_READ);
        }
        return;
      default:
        m_bySendState = SEND_OPERATIONAL;
        break;
    }
  }
}

uint32_t DCIO::receive(const can_packet& packet) {
  const uint32_t queued = can_device::receive(packet);
  const bool report = packet.data[0] == CAN_REPLY_INPUTS && packet.length == kFrameLength &&
                      packet.id == address() + CAN_REPLY_OFFSET;
  ReceiveFrames();
  if (report) {
    for (CPeripheral* c : m_apClients)
      if (c) c->OnInput();
  }
  return queued;
}

void DCIO::ReceiveFrames() {
  m_byInputReceived = 0;
  can_packet p;
  while (NextReply(&p)) {
    m_bySilence = 0;
    m_byRetries = 0;
    if (m_byState != PERIPHERAL_VALID) m_byState = PERIPHERAL_READING_ALT;
    const uint8_t code = p.data[0];
    switch (m_byReceiveState) {
      case 1:
        if (code != CAN_REPLY_IDENTIFY) break;
        m_wVersion = Word(p, 5);
        if (IsMini()) {
          m_byReceiveState = 6;
          m_bySendState = SEND_OPERATIONAL;
        } else if (m_wTypeId >= 50 && m_wTypeId <= 56 && m_wVersion >= 5) {
          m_byReceiveState = m_bySendState = m_wTypeId == TYPE_HCB ? 3 : 2;
        } else {
          m_byReceiveState = m_bySendState = 3;
        }
        break;
      case 2:
        if (code != CAN_REPLY_CONFIGURED) break;
        m_byAwaitingAck = 0;
        m_byReceiveState = m_bySendState = 3;
        break;
      case 3:
        if (code != CAN_REPLY_CONFIGURED && !(m_byAwaitingAck && (code & 0xC0) == 0xC0)) break;
        if (Extended()) {
          m_byReceiveState = m_bySendState = 4;
        } else {
          m_byReceiveState = 6;
          m_bySendState = SEND_OPERATIONAL;
        }
        break;
      case 4:
      case 5:
        break;
      case 6:
        if (code != CAN_REPLY_INPUTS) break;
        m_byState = PERIPHERAL_VALID;
        m_byInputReceived = 1;
        m_LastInput = p;
        break;
      default:
        m_byReceiveState = 1;
        break;
    }
  }
}
