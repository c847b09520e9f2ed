// The receive side of the module bus: bytes from the EPLD's FIFO go into a
// ring (interrupt context), and the job-queue thread reads whole frames
// out of it. The parser resynchronises on the next 0x55 after any error
// and counts framing errors and lost bytes, which the CAN controller-bus
// driver reads back after every byte.
#pragma once

#include <cstdint>

#include "display/core/stream.h"
#include "display/modbus/packet.h"
#include "frame/can/fifo.h"

class stream_ksr7100 : public disp::stream {
 public:
  static constexpr uint32_t RING_SIZE = 1024;
  // Parser states.
  enum : uint8_t { WAIT_SYNC1 = 0, WAIT_SYNC2 = 1, KIND = 2, LENGTH = 3, DATA = 4, CHECKSUM = 5 };

  stream_ksr7100() = default;
  ~stream_ksr7100() override = default;

  // False for no bytes. Bytes the full ring refuses are lost (trace "E").
  bool Write(const uint8_t* bytes, uint32_t length) override;
  // The next whole, valid frame: *out is the stream's packet, valid until
  // the next Read. False when the ring ran empty first; a frame under way
  // stays in the parser.
  bool Read(disp::packet** out) override;
  // One byte into the parser: true when it completed a valid frame.
  bool ParseByte(uint8_t b);
  // The stored frame's last byte is its checksum.
  bool ChecksumOk() const;
  // Back to the state after power-up: an empty ring and parser, no errors.
  void PowerOn();

  uint32_t Errors() const { return m_dwErrors; }
  impl::fifo<uint8_t>& Ring() { return m_Ring; }
  uint8_t ParseState() const { return m_byParseState; }

  uint32_t m_dwErrors = 0;
  impl::fifo<uint8_t> m_Ring{RING_SIZE};
  disp::packet m_Packet;
  uint8_t m_byParseState = WAIT_SYNC1;
  uint8_t m_byRemaining = 0;
  bool m_bRestart = false;

 private:
  void Store(uint8_t b);
  uint32_t m_dwStored = 0;
};

// The stream of the controller's module bus.
extern stream_ksr7100 g_stream_ksr7100;
