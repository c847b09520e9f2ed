// The EPLD packet driver. Everything the controller sends through the EPLD's
// byte FIFO is a packet that starts 0x55 0xAA and ends with a checksum: CAN
// frames for the EPLD's CAN channels (the display lines, the sensor bus "CAN
// DB Driver", the controller bus), the data streams '2' (front panel) and
// '3' (a serial port carried over the link), and EPLD commands. Received
// bytes go to the module bus's stream reader.
#pragma once

#include <cstdint>

#include "frame/board/interrupt.h"
#include "frame/can/can_driver.h"
#include "frame/can/fifo.h"
#include "tx_api.h"

struct can_packet;

// What gets every byte the EPLD receives (the display modules' bus): the
// byte in interrupt context, then its stream's error count.
class can_db_receiver {
 public:
  virtual ~can_db_receiver() = default;
  virtual void ReceiveByte(uint8_t byte) = 0;
  virtual uint32_t ErrorCount() = 0;
};

constexpr uint32_t EPLD_CAN_CONTROL = 0xF0500022;   // bit 3: CAN controller initialised
constexpr uint32_t EPLD_FIFO_DATA = 0xF0500040;     // write: next byte out; read: next byte in
constexpr uint32_t EPLD_FIFO_STATUS = 0xF0500042;   // bit 0: transmit FIFO busy
constexpr uint32_t EPLD_FIFO_INTERRUPT = 0xF0500028;  // bit 7: receive interrupt enable
constexpr uint32_t EPLD_SOURCE_FIFO = 0x10;

class can_db_driver : public can_driver, public CEpldInterrupt {
 public:
  static constexpr uint32_t STREAM3_SIZE = 2000;
  static constexpr uint32_t STREAM2_SIZE = 4000;
  static constexpr uint32_t IN_STREAM_SIZE = 25;
  static constexpr uint32_t PACKET_RING_SIZE = 512;
  static constexpr uint32_t MAX_STREAM_PACKETS = 8;  // per WriteEPLDPacket
  static constexpr uint32_t FIFO_POLLS = 500;        // one tick apart
  static constexpr uint32_t WAIT_EVERY = 256;        // packet bytes between FIFO waits

  can_db_driver();
  ~can_db_driver() override;

  // Stores the default channel and identifier size; the first call creates
  // "CANDBDriver Mutex", enables the EPLD's receive interrupt and registers
  // for EPLD source 0x10.
  uint32_t Initialize(uint32_t defaultChannel, uint32_t extendedIds, uint32_t third) override;
  // Channel 0 is the default channel.
  uint32_t Send(uint32_t id, uint32_t remote, uint32_t length, const uint8_t* data, uint32_t channel) override;
  // Frames arrive through the module bus: always 0.
  uint32_t ReadFrame(uint32_t* id, uint8_t* flags, uint8_t* length, uint8_t data[8]) override;

  // A CAN frame packet for a channel (0-15), 0-8 data bytes: 1 when queued;
  // 0 before Initialize, for a bad frame, or when it was not queued.
  uint32_t SendCanFrame(uint32_t channel, uint32_t extended, uint32_t id, uint32_t remote, uint32_t length,
                        const uint8_t* data);
  // The bit-rate set-up packet (p, then the value nine times).
  uint32_t SendTemplatePacket(uint8_t p, uint8_t value);
  // The command packet: a and b as 16-bit values, then c, e, d.
  uint32_t SendCommandPacket(uint16_t a, uint16_t b, uint8_t c, uint8_t d, uint8_t e);
  // Puts a whole packet into the packet ring (in direct mode then writes it
  // out): 1, or 0 when it was dropped (ring full, counted) or the mutex
  // failed.
  uint32_t QueuePacket(const uint8_t* bytes, uint32_t n);
  // Writes waiting stream data of stream '2' or '3' (in chunks that follow
  // the display's frame rate, at most 8 packets) and then the packet ring.
  // Waits while the EPLD's FIFO is busy; what a time-out leaves stays for the
  // next call.
  void WriteEPLDPacket(uint8_t stream);
  void OnEpldInterrupt() override;
  // Hands a frame that arrived through the EPLD to every attached bus.
  void DispatchToNodes(const can_packet& packet);

  void SetReceiver(can_db_receiver* receiver) { m_receiver = receiver; }
  can_db_receiver* Receiver() const { return m_receiver; }
  // Direct (1, after construction): each queued packet is written at once.
  // Queued (0): packets wait for the next WriteEPLDPacket.
  void SetDirect(uint8_t direct) { m_direct = direct ? 1 : 0; }
  uint8_t Direct() const { return m_direct; }
  uint8_t Initialized() const { return m_initialized; }
  uint32_t DefaultChannel() const { return m_defaultChannel; }
  uint8_t ExtendedIds() const { return m_extendedIds; }

  // The frame rate of the display's first output, in frames per second
  // (the display task's; 0 until it says).
  typedef uint32_t (*frame_rate_query)();
  static void SetFrameRateQuery(frame_rate_query query);
  // Stream bytes per packet for a frame rate.
  static uint32_t ChunkSize(uint32_t framesPerSecond);

  impl::fifo<uint8_t>& StreamRing2() { return m_streamRing2; }
  impl::fifo<uint8_t>& StreamRing3() { return m_streamRing3; }
  impl::fifo<uint8_t>& InStreamRing() { return m_inStreamRing; }
  impl::fifo<uint8_t>& PacketRing() { return m_packetRing; }

  // Configuration requests not answered yet (the module diagnostics count
  // and reset them).
  uint32_t m_configurationRequests = 0;

 private:
  bool EnsureMutex();
  bool WaitFifo();
  static void WriteByte(uint8_t b);

  can_db_receiver* m_receiver = nullptr;
  impl::fifo<uint8_t> m_streamRing3{STREAM3_SIZE};
  impl::fifo<uint8_t> m_streamRing2{STREAM2_SIZE};
  impl::fifo<uint8_t> m_inStreamRing{IN_STREAM_SIZE};
  uint32_t m_defaultChannel = 0;
  uint8_t m_extendedIds = 0;
  TX_MUTEX m_mutex{};
  uint8_t m_mutexCreated = 0;
  uint8_t m_initialized = 0;
  uint8_t m_direct = 1;
  impl::fifo<uint8_t> m_packetRing{PACKET_RING_SIZE};
  // A writer is running (another caller leaves the rings to it), and the
  // packet ring was left mid-packet (stream packets must not go in between).
  uint8_t m_writing = 0;
  uint8_t m_midPacket = 0;
};
