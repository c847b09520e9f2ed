// DC I/O boards and the bridges their clients use.
//
// A point is bit (p mod 8) of data byte (p div 8) of the board's frames;
// bytes 0..2 are the command header, so points 24..63 carry I/O and records
// address 24..55 (ports 3..6). A point set is 8 bytes lined up byte for
// byte with a frame's data.
//
// DCIO owns the CAN conversation with a board: identify, port directions,
// beacon and trigger set-up, then a steady cycle of input requests and
// output frames. Clients (fans, heaters, beacons, door switches...) attach
// through a dcio_bridge: it checks each registration against the port
// directions and the points other clients hold, reads input levels from
// the board's last input report and turns output requests into the
// board's output frame.
//
// Poll, SendNext, AddClient/RemoveClient and every bridge operation but Get
// run in the peripheral task. Frames arrive in the CAN receive path, which
// stores the input report and calls the clients' OnInput (where they may
// call Get). Client slots change with external interrupts masked, so a
// client is never notified once it has left.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/util/impl_list.h"
#include "peripherals/devices/can_peripheral.h"

class DCIO;

// 64 points, byte k holding points 8k..8k+7.
struct point_set {
  uint8_t bytes[8] = {};

  bool Has(uint32_t p) const { return p < 64 && (bytes[p / 8] >> (p % 8) & 1); }
  void Put(uint32_t p, bool on) {
    if (p >= 64) return;
    if (on)
      bytes[p / 8] |= static_cast<uint8_t>(1u << (p % 8));
    else
      bytes[p / 8] &= static_cast<uint8_t>(~(1u << (p % 8)));
  }
  bool Any() const {
    for (uint8_t b : bytes)
      if (b) return true;
    return false;
  }
  bool Intersects(const point_set& o) const {
    for (int i = 0; i < 8; ++i)
      if (bytes[i] & o.bytes[i]) return true;
    return false;
  }
  void Add(const point_set& o) {
    for (int i = 0; i < 8; ++i) bytes[i] |= o.bytes[i];
  }
  void Remove(const point_set& o) {
    for (int i = 0; i < 8; ++i) bytes[i] &= static_cast<uint8_t>(~o.bytes[i]);
  }
  // Bit j of `bits` is point 24 + j (points 24..55).
  static point_set FromBits(uint32_t bits) {
    point_set s;
    for (int i = 0; i < 4; ++i) s.bytes[3 + i] = static_cast<uint8_t>(bits >> (8 * i));
    return s;
  }
};

// One registered group of points.
class interface_cfg : public impl::node {
 public:
  interface_cfg();
  // Bit j of each u32 is point 24 + j.
  interface_cfg(uint32_t channel_bits, uint8_t write_access, uint32_t trigger_bits, uint8_t trigger_kind);
  // Every field, the node id included.
  void CopyFrom(const interface_cfg& other);
  uint32_t NodeId() const { return m_dwNodeId; }

  point_set m_Channels;
  point_set m_Values;  // requested output levels
  point_set m_Triggers;
  uint8_t m_byTriggerKind = 0;  // 0 none, 1..5
  uint8_t m_byWriteAccess = 0;
  uint32_t m_dwNodeId = 0;
  uint8_t m_byReadOnlyOverride = 0;
  uint8_t m_byResendCountdown = 0;
  uint8_t m_byPending = 0;
  // What this node added to the board's claimed and trigger sets; a
  // read-only override leaves what others hold to them.
  point_set m_Taken;
  point_set m_TriggersTaken;
};

class interface_bridge {
 public:
  interface_bridge() = default;
  virtual ~interface_bridge() = default;
  interface_bridge(const interface_bridge&) = delete;
  interface_bridge& operator=(const interface_bridge&) = delete;

  virtual bool Init(uint16_t board_type, CPeripheral* client) = 0;
  virtual uint32_t Register(const interface_cfg& cfg) = 0;
  virtual bool UnRegister(uint32_t node_id) = 0;
  virtual uint32_t Get(uint32_t node_id, uint32_t context) = 0;
  virtual void Set(uint32_t node_id, uint32_t bits) = 0;
  virtual void Process() {}
  virtual uint8_t LastReplyCode(uint32_t) { return 0; }
  virtual uint8_t CountChannels(uint32_t) { return 0; }
  virtual bool InputsValid() { return false; }

 protected:
  CPeripheral* m_pOwner = nullptr;
};

class dcio_bridge : public interface_bridge {
 public:
  dcio_bridge();
  ~dcio_bridge() override;

  bool Init(uint16_t board_type, CPeripheral* client) override;
  uint32_t Register(const interface_cfg& cfg) override;
  bool UnRegister(uint32_t node_id) override;
  uint32_t Get(uint32_t node_id, uint32_t context) override;
  void Set(uint32_t node_id, uint32_t bits) override;
  void Process() override;
  uint8_t LastReplyCode(uint32_t node_id) override;
  uint8_t CountChannels(uint32_t node_id) override;
  bool InputsValid() override;
  // Leaves the board: no more input notifications. Clients call it first
  // in their destructor; the bridge's destructor calls it too.
  void Detach();

  static void ChannelMask(uint8_t point, uint32_t* bits, bool clear);
  DCIO* Board() const { return m_pCIO; }
  interface_cfg* Find(uint32_t node_id) const;

 private:
  impl::list m_Nodes;
  DCIO* m_pCIO = nullptr;
};

// A GEN2 beacon (class 20) attached to a board: its five configuration
// bytes and whether it wants dimming.
class dcio_beacon_client {
 public:
  virtual ~dcio_beacon_client() = default;
  virtual void BeaconConfiguration(uint8_t bytes[5]) = 0;
  virtual uint8_t BeaconDimming() = 0;
};

class DCIO : public can_peripheral {
 public:
  enum : uint8_t { CLASS_CODE = 8, CLASS_MINI = 29, CLASS_BEACON_GEN2 = 20 };
  enum : uint16_t { TYPE_PRODUCT_BOARD = 50, TYPE_DCIO5 = 54, TYPE_HCB = 55, TYPE_MINI1 = 590 };
  enum : uint8_t { DIR_IN = 0x00, DIR_OUT = 0xFF, PARAM_IN = 0xF0, PARAM_OUT = 0xFF };
  enum : uint8_t { SEND_OPERATIONAL = 7, SEND_WAIT = 8 };
  static constexpr uint16_t POLL_INTERVAL = 2;
  static constexpr uint32_t MAX_CLIENTS = 255;
  static constexpr uint8_t SILENT_POLLS = 80;
  static constexpr uint8_t MAX_SERVICES = 10;

  DCIO(uint8_t class_code, uint16_t type_id, uint32_t selector, uint32_t address, uint32_t bus);
  ~DCIO() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);
  static CPeripheral* CreateMini(const pl_record& record);

  int Init(uint8_t d3, uint8_t d4, uint8_t d5, uint8_t d6);
  void Poll() override;
  // CAN receive path: the frame is queued, the queue drained, and on an
  // input report every client's OnInput called.
  uint32_t receive(const can_packet& packet) override;
  void OnFrame(const can_packet& packet) { receive(packet); }

  void AddClient(CPeripheral* client);
  void RemoveClient(CPeripheral* client);
  bool IsOperational() const { return m_bySendState == SEND_OPERATIONAL; }
  uint8_t GetPortDirection(uint32_t index) const { return index < 4 ? m_abyRawDirection[index] : 0; }
  bool IsMini() const;

  // What the bridges read and write.
  point_set& TriggerSet(uint8_t kind);  // kinds 1..5
  can_packet m_LastInput;
  uint8_t m_byReceiveState = 1;
  uint8_t m_bySendState = 1;
  uint8_t m_byRetries = 0;
  uint8_t m_byWaitCount = 0;
  uint8_t m_abyDirection[8] = {};
  uint8_t m_abyOutputs[8] = {};
  point_set m_Claimed;
  uint8_t m_byNextBeacon = 0;
  uint8_t m_byNextTrigger = 0;
  CPeripheral* m_apClients[MAX_CLIENTS] = {};
  point_set m_aTriggers[5];  // kinds 2, 1, 4, 5, 3
  uint8_t m_abyRawDirection[4] = {};
  uint8_t m_bySilence = 0;
  uint8_t m_byRestart = 0;
  volatile uint8_t m_byInputReceived = 0;
  uint8_t m_byDimming = 0;
  uint8_t m_byOutputsChanged = 0;
  uint8_t m_byAwaitingAck = 0;
  // The beacon dimming level sent in the dimming frame.
  static uint8_t s_byDimmingLevel;

 protected:
  void Restart();
  void ServiceIfDue();
  // The next frame of the board's conversation (one per poll).
  virtual void SendNext();

 private:
  void ReceiveFrames();
  bool Extended() const { return m_wTypeId >= 50 && m_wTypeId <= 55 && m_wVersion >= 5; }

  static int8_t s_chDimmingCountdown;
};
