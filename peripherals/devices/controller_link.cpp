#include "peripherals/devices/controller_link.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "frame/can/can_core.h"
#include "frame/trace/trace.h"
#include "peripherals/peripheral_can.h"
#include "peripherals/peripheral_event.h"
#include "peripherals/peripheral_types.h"

namespace {

const char* const kPrimaryName = "CTRL COMM PRIMARY";
const char* const kSecondaryName = "CTRL COMM SECONDARY";

constexpr uint16_t kPollInterval = 2;
constexpr uint16_t kLightDataLength = 2;
// Byte 1 of every light mail.
constexpr uint8_t kLightByte1 = 1;

uint32_t action_header(uint16_t action_id, uint8_t node) {
  return static_cast<uint32_t>(action_id) << 16 | static_cast<uint32_t>(node & 0xF) << 12;
}

// Poll interval 2, a random phase, from the records, enabled; the object is
// destroyed when its Init fails.
template <class T>
CPeripheral* finish_create(T* link, const pl_record& record) {
  link->m_wPollInterval = kPollInterval;
  link->m_wPollCountdown = static_cast<uint16_t>(std::rand() % kPollInterval);
  link->m_wConfigSlot = record.slot;
  link->m_byFromDatabase = 1;
  if (!link->Init()) {
    delete link;
    return nullptr;
  }
  link->SetEnabled(1);
  return link;
}

}  // namespace

// ---------------------------------------------------------------- actions

uint8_t ctrl_action::BuildFrame(uint8_t, controller_bus*) { return 0; }

void ctrl_action::OnFrame(const can_mail&, controller_bus*) {}

ctrl_set_light::ctrl_set_light(uint8_t node) : m_dwHeader(action_header(ACTION_ID, node)) {}

can_mail ctrl_set_light::LightMail(uint16_t level) {
  can_mail mail;
  mail.header = 0x01;  // destination 0: every controller
  mail.destination = kLightByte1;
  mail.type = ACTION_ID;
  mail.length = kLightDataLength;
  mail.payload[0] = static_cast<uint8_t>(level >> 8);
  mail.payload[1] = static_cast<uint8_t>(level);
  return mail;
}

uint8_t ctrl_set_light::BuildFrame(uint8_t, controller_bus* bus) {
  // A level of 0 is never sent: the secondaries then time out and fall back
  // to their own sensors.
  if (m_wLevelToSend && bus) bus->send_mail(LightMail(m_wLevelToSend));
  return 0;
}

void ctrl_set_light::OnFrame(const can_mail& mail, controller_bus*) {
  const uint8_t destination = static_cast<uint8_t>(mail.header >> 4);
  if (destination != Node() && destination != 0) return;
  if (mail.length < kLightDataLength) {
    monitor_printf("ctrl_set_light::OnFrame: mail of %u bytes dropped\n", static_cast<unsigned>(mail.length));
    return;
  }
  m_wLevelReceived = static_cast<uint16_t>(mail.payload[0] << 8 | mail.payload[1]);
}

// ---------------------------------------------------------------- the device

controller_link_device::controller_link_device(uint8_t class_code, uint16_t type_id, uint8_t primary)
    : CPeripheral(class_code, type_id) {
  m_primary = primary;
  m_busNumber = BUS_NUMBER;
  set_address(CAN_ID);
  // Mails carry the link's identifier itself.
  set_offset_ids(false);
}

controller_link_device::~controller_link_device() {
  // The event calls back into this object: it goes first.
  peripheral_event::Remove(m_dwTimerId);
  m_dwTimerId = 0;
  if (can_core* core = hub()) core->unregister_device(this);
}

void controller_link_device::set_bus(can_bus* bus) {
  can_device::set_bus(bus);
  if (bus && bus->kind() == can_bus::KIND_CONTROLLER) bus->set_raw_ids(m_primary != 0);
}

uint32_t controller_link_device::accept(const can_packet& packet) {
  // A controller whose bus adds the reply offset sends its mails 0x80 up.
  const bool link = packet.id == CAN_ID || packet.id == CAN_ID + CAN_REPLY_OFFSET;
  return link && packet.channel == channel();
}

int controller_link_device::InitLink(uint32_t timer_period) {
  set_name(peripheral_name_of_type(m_wTypeId));
  set_bus_name(can_driver_name(BUS_NUMBER));
  can_core* core = peripheral_can_hub();
  if (!core || !core->register_device(this)) {
    monitor_printf("%s: unable to register can dev with core\n", peripheral_name_of_type(m_wTypeId));
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  m_dwTimerId = peripheral_event::Add(this, 0, timer_period, 1);
  if (!m_dwTimerId) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  m_byState = PERIPHERAL_READING;
  return 1;
}

controller_bus* controller_link_device::ControllerBus() {
  can_bus* b = bus();
  if (!b || b->kind() != can_bus::KIND_CONTROLLER) return nullptr;
  return static_cast<controller_bus*>(b);
}

int controller_link_device::NextMail(controller_bus* bus, can_mail* mail) {
  can_core* core = hub();
  can_packet packet;
  while (read(&packet)) {
    // A frame that cannot belong to a mail (the assembler checks numbers,
    // totals and lengths) abandons the mail in progress.
    if (core && core->assemble_mail(bus, packet, mail)) return 1;
  }
  return 0;
}

// ---------------------------------------------------------------- primary

controller_comm::controller_comm(uint16_t type_id) : controller_link_device(CLASS_CODE, type_id, 1) {
  m_apActions[0] = new (std::nothrow) ctrl_set_light(ctrl_set_light::PRIMARY_NODE);
  m_byActionCount = m_apActions[0] ? 1 : 0;
}

controller_comm::~controller_comm() {
  peripheral_event::Remove(m_dwTimerId);
  m_dwTimerId = 0;
  for (ctrl_action*& action : m_apActions) {
    delete action;
    action = nullptr;
  }
}

const char* controller_comm::NameOfType(uint16_t type_id) {
  if (type_id == controller_comm::TYPE_ID) return kPrimaryName;
  if (type_id == ctrl_secondary::TYPE_ID) return kSecondaryName;
  return nullptr;
}

uint16_t controller_comm::TypeOfName(const char* name) {
  if (!name) return 0;
  if (std::strcmp(name, kPrimaryName) == 0) return controller_comm::TYPE_ID;
  if (std::strcmp(name, kSecondaryName) == 0) return ctrl_secondary::TYPE_ID;
  return 0;
}

CPeripheral* controller_comm::Create(const pl_record& record) {
  controller_comm* link = new (std::nothrow) controller_comm(record.type_id);
  if (!link) return nullptr;
  return finish_create(link, record);
}

int controller_comm::Init() {
  if (!m_byActionCount) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  return InitLink(TIMER_PERIOD);
}

void controller_comm::SetLightLevel(uint16_t level) {
  if (m_byActionCount) static_cast<ctrl_set_light*>(m_apActions[0])->SetLevel(level);
}

void controller_comm::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  m_byState = PERIPHERAL_VALID;
  controller_bus* link = ControllerBus();
  if (!link) return;

  can_mail mail;
  while (NextMail(link, &mail)) {
    m_ReceiveMail = mail;
    for (uint8_t i = 0; i < m_byActionCount; ++i) {
      if (m_apActions[i]->ActionId() == mail.type) {
        m_apActions[i]->OnFrame(mail, link);
        break;
      }
    }
    m_byBusy = 0;
  }

  if (!m_byBusy && m_byActionCount) {
    // A secondary on the same bus turns raw identifiers off; the primary's
    // mails must still leave with the link's identifier.
    link->set_raw_ids(true);
    m_byBusy = m_apActions[m_byNextAction]->BuildFrame(static_cast<uint8_t>(m_bySequence + 2), link);
    if (++m_byNextAction >= m_byActionCount) {
      m_byNextAction = 0;
      if (++m_bySequence > m_bySequenceLimit) m_bySequence = 0;
    }
  }
  // Fires (and clears busy) only once polls stop.
  peripheral_event::Restart(m_dwTimerId);
}

void controller_comm::OnTimer(uint32_t) { m_byBusy = 0; }

// ---------------------------------------------------------------- secondary

ctrl_secondary::ctrl_secondary(uint16_t type_id, uint8_t node)
    : controller_link_device(CLASS_CODE, type_id, 0), m_Action(node) {}

const char* ctrl_secondary::NameOfType(uint16_t type_id) {
  return type_id == TYPE_ID ? kSecondaryName : nullptr;
}

uint16_t ctrl_secondary::TypeOfName(const char* name) {
  return name && std::strcmp(name, kSecondaryName) == 0 ? TYPE_ID : 0;
}

CPeripheral* ctrl_secondary::Create(const pl_record& record) {
  // Without a text the shared fields still hold the last record's.
  uint8_t node = 0;
  if (record.parameters) {
    CPeripheral::ParseParameters(record.parameters);
    node = static_cast<uint8_t>(CPeripheral::s_dwParamValues[0]);
  }
  ctrl_secondary* link = new (std::nothrow) ctrl_secondary(record.type_id, node);
  if (!link) return nullptr;
  return finish_create(link, record);
}

ctrl_secondary::~ctrl_secondary() {
  peripheral_event::Remove(m_dwTimerId);
  m_dwTimerId = 0;
}

int ctrl_secondary::Init() { return InitLink(TIMEOUT); }

void ctrl_secondary::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  controller_bus* link = ControllerBus();
  if (!link) return;
  can_mail mail;
  while (NextMail(link, &mail)) {
    peripheral_event::Restart(m_dwTimerId);
    m_byState = PERIPHERAL_VALID;
    if (mail.type == m_Action.ActionId()) m_Action.OnFrame(mail, link);
  }
}

void ctrl_secondary::OnTimer(uint32_t) { m_byState = PERIPHERAL_COMM_ERROR; }
