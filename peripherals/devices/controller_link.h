// The controller link: several sign controllers on one controller CAN bus
// ("Q5 CONTROLLER BUS"), one of them the primary, which hands its measured
// light level to the others so that every sign of an installation dims
// alike. controller_comm ("CTRL COMM PRIMARY", type 792) is the sending end,
// ctrl_secondary ("CTRL COMM SECONDARY", type 793) the receiving end.
//
// What travels is a list of actions, each a mail on the controller bus; the
// one action is ctrl_set_light. Its light mail, as the mail record holds it:
//
//   header 0x01 (high nibble: destination, 0 = every controller; low: 1)
//   byte 1, then action id 0 (u16), data length 2 (u16), level hi, level lo
//
// so a level of 0x1234 is the mail 01 01 00 00 00 02 12 34.
//
// Polls run in the peripheral task; the timer events' OnTimer runs in the
// timer service and touches single bytes only.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/can/can_bus.h"
#include "frame/can/can_device.h"
#include "frame/can/can_packet.h"
#include "frame/peripheral/peripheral.h"

class ctrl_action {
 public:
  ctrl_action() = default;
  virtual ~ctrl_action() = default;
  ctrl_action(const ctrl_action&) = delete;
  ctrl_action& operator=(const ctrl_action&) = delete;

  // Sends what the action has to send; the busy value for its sender (non
  // zero: an answer is awaited).
  virtual uint8_t BuildFrame(uint8_t sequence, controller_bus* bus);
  // A received mail of this action's id.
  virtual void OnFrame(const can_mail& mail, controller_bus* bus);
  virtual uint16_t ActionId() const = 0;
};

class ctrl_set_light : public ctrl_action {
 public:
  static constexpr uint16_t ACTION_ID = 0;
  static constexpr uint8_t PRIMARY_NODE = 1;

  // node: the node nibble that mails must be addressed to (besides 0).
  explicit ctrl_set_light(uint8_t node);

  // Sends the light mail while the level to send is not 0; never busy.
  uint8_t BuildFrame(uint8_t sequence, controller_bus* bus) override;
  // Takes the level of a mail for this node or for every node. A mail too
  // short to hold a level is dropped.
  void OnFrame(const can_mail& mail, controller_bus* bus) override;
  uint16_t ActionId() const override { return static_cast<uint16_t>(m_dwHeader >> 16); }

  uint8_t Node() const { return static_cast<uint8_t>((m_dwHeader >> 12) & 0xF); }
  void SetLevel(uint16_t level) { m_wLevelToSend = level; }
  uint16_t LevelToSend() const { return m_wLevelToSend; }
  uint16_t LevelReceived() const { return m_wLevelReceived; }

  // The light mail of a level.
  static can_mail LightMail(uint16_t level);

 private:
  uint32_t m_dwHeader;  // upper half: action id; bits 12..15: node
  uint16_t m_wLevelToSend = 0;
  uint16_t m_wLevelReceived = 0;
};

// What both ends share: the device on the controller bus and its timer.
class controller_link_device : public CPeripheral, public can_device {
 public:
  static constexpr uint32_t CAN_ID = CAN_MAIL_ID;
  static constexpr uint8_t BUS_NUMBER = 8;

  ~controller_link_device() override;

  // Marks the bus: raw identifiers for a primary (its mails leave as
  // 0x5B001), offset ones for a secondary.
  void set_bus(can_bus* bus) override;
  // Mails of the link in either identifier form, on the device's channel.
  uint32_t accept(const can_packet& packet) override;

  uint32_t TimerId() const { return m_dwTimerId; }

 protected:
  controller_link_device(uint8_t class_code, uint16_t type_id, uint8_t primary);
  // Registration with the CAN hub and the repeating timer event; READING
  // and 1, or INIT ERROR and 0.
  int InitLink(uint32_t timer_period);
  // The controller bus the device is attached to, or null.
  controller_bus* ControllerBus();
  // The next complete mail from the received frames: 1 and the mail.
  int NextMail(controller_bus* bus, can_mail* mail);

  uint32_t m_dwTimerId = 0;
};

class controller_comm : public controller_link_device {
 public:
  enum : uint8_t { CLASS_CODE = 5 };
  enum : uint16_t { TYPE_ID = 792 };
  static constexpr uint32_t TIMER_PERIOD = 500;
  static constexpr uint32_t MAX_ACTIONS = 3;

  explicit controller_comm(uint16_t type_id);
  ~controller_comm() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  // Poll interval 2 with a random phase; null when Init fails.
  static CPeripheral* Create(const pl_record& record);

  int Init();
  void Poll() override;
  void OnTimer(uint32_t argument) override;

  void SetLightLevel(uint16_t level);
  uint8_t Busy() const { return m_byBusy; }
  const can_mail& LastMail() const { return m_ReceiveMail; }

 private:
  can_mail m_ReceiveMail;
  uint8_t m_byTimerArgument = 0;
  volatile uint8_t m_byBusy = 0;
  ctrl_action* m_apActions[MAX_ACTIONS] = {};
  uint8_t m_byNextAction = 0;
  uint8_t m_byActionCount = 0;
  uint8_t m_bySequence = 0;
  uint8_t m_bySequenceLimit = 0;
};

class ctrl_secondary : public controller_link_device {
 public:
  enum : uint8_t { CLASS_CODE = 6 };
  enum : uint16_t { TYPE_ID = 793 };
  static constexpr uint32_t TIMEOUT = 12000;

  ctrl_secondary(uint16_t type_id, uint8_t node);
  ~ctrl_secondary() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  // The record's first field is the node number (low byte).
  static CPeripheral* Create(const pl_record& record);

  int Init();
  void Poll() override;
  // The time-out: no mail for 120 s.
  void OnTimer(uint32_t argument) override;

  uint16_t GetLightLevel() const { return m_Action.LevelReceived(); }
  uint8_t Node() const { return m_Action.Node(); }

 private:
  ctrl_set_light m_Action;
};
