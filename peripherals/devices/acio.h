// The AC I/O board, the reduced twin of the DC I/O board: no trigger sets
// and no beacon set-up, and every frame it is sent carries 0x20 in data
// byte 5. Its clients attach through an acio_bridge. CAuxIOBidirect puts an
// auxiliary I/O port's value (its status row, which the agent's auxiliary
// I/O table reads and writes) out on a group of the board's output points
// as a one-of-n code, and reads it back from them at start-up.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "peripherals/devices/dcio.h"

class ACIO : public DCIO {
 public:
  enum : uint8_t { CLASS_ACIO = 45 };
  enum : uint16_t { TYPE_ID = 490 };
  static constexpr uint8_t MARKER = 0x20;

  ACIO(uint16_t type_id, uint32_t selector, uint32_t address, uint32_t channel);

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  // Parameters as a DC I/O board's: address, the four port directions
  // (F0 input, FF output), bus number, channel.
  static CPeripheral* Create(const pl_record& record);

  uint32_t receive(const can_packet& packet) override;

 protected:
  void SendNext() override;

 private:
  uint32_t SendFrame(can_packet p);
  void Drain();
};

// The bridge to an AC I/O board: the DC I/O bridge without triggers.
class acio_bridge : public dcio_bridge {
 public:
  bool Init(uint16_t board_type, CPeripheral* client) override;
  uint32_t Register(const interface_cfg& cfg) override;
};

class CAuxIOBidirect : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 46 };
  enum : uint16_t { TYPE_ID = 491 };
  enum : uint8_t { OPTION_ZERO_BASED = 0x01 };
  static constexpr uint16_t POLL_INTERVAL = 2;
  static constexpr uint8_t STARTUP_POLLS = 5;

  explicit CAuxIOBidirect(uint16_t type_id);
  ~CAuxIOBidirect() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  // Parameters: first point, number of points n, board type id, options.
  static CPeripheral* Create(const pl_record& record);

  bool Init(uint8_t first_point, int8_t count, uint16_t board_type, uint8_t options);
  void Poll() override;

  // The one-of-n code of a value 0..n, and back.
  static uint32_t Encode(uint32_t value, uint32_t n, uint8_t options);
  static uint32_t Decode(uint32_t code, uint32_t n, uint8_t options);
  int32_t StatusRow() const { return m_iStatusRow; }
  bool StartupPending() const { return m_byStartupPending != 0; }

 private:
  uint8_t m_byOptions = 0;
  int8_t m_chCount = 0;
  uint16_t m_wBoardType = 0;
  uint32_t m_dwNodeId = 0;
  int32_t m_iStatusRow = -1;
  uint8_t m_byStartupPending = 1;
  uint8_t m_byStartupCountdown = STARTUP_POLLS;
  acio_bridge m_Bridge;
};
