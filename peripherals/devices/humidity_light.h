// Humidity and light sensors: CAN boards that answer an identify with their
// revision (0x42) and a read with the measurement (0x40). Each owns one row
// of its table (humidity, light), marks it failed when the board falls
// silent, and mirrors its reading into its row of the peripheral status
// table. Polls run in the peripheral task; the CAN receive path only
// queues frames.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "peripherals/devices/can_peripheral.h"

class CHumidity : public can_peripheral {
 public:
  enum : uint8_t { CLASS_CODE = 23 };
  enum : uint16_t { TYPE_AMBIENT = 630, TYPE_SIGN1 = 631, TYPE_CABINET = 632, TYPE_SIGN2 = 633, TYPE_SIGN3 = 634 };
  enum : uint8_t { STATE_IDENTIFY = 1, STATE_READ = 2 };
  static constexpr uint16_t POLL_INTERVAL = 10;
  static constexpr uint8_t SILENT_POLLS = 10;

  CHumidity(uint16_t type_id, uint32_t selector, uint32_t address, uint32_t bus);
  ~CHumidity() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  int Init();
  void Poll() override;

  uint8_t Reading() const { return m_byReading; }
  int32_t TableRow() const { return m_iTableRow; }
  uint32_t StatusRow() const { return m_uStatusRow; }
  uint8_t Conversation() const { return m_byConversation; }

 private:
  void Publish();
  static void UpdateSignAverage();

  uint8_t m_bySilence = 0;
  uint8_t m_byConversation = STATE_IDENTIFY;  // identify until the board has answered one
  uint8_t m_byReading = 0;
  uint32_t m_uStatusRow = kRowAny;
  int32_t m_iTableRow = -1;
};

class CLight : public can_peripheral {
 public:
  enum : uint8_t { CLASS_CODE = 27 };
  static constexpr uint16_t POLL_INTERVAL = 10;
  static constexpr uint16_t SILENT_READS = 80;
  static constexpr uint8_t MAX_SERVICES = 10;

  CLight(uint16_t type_id, uint32_t selector, uint32_t address, uint32_t bus);
  ~CLight() override;

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  static CPeripheral* Create(const pl_record& record);

  uint8_t GetCanBus() override { return channel(); }
  int Init();
  void Poll() override;

  // The level the sign's brightness follows (the second reading).
  uint16_t GetOutputLevel() const { return m_wSecond; }
  uint16_t FirstReading() const { return m_wFirst; }
  int32_t TableRow() const { return m_iTableRow; }
  uint32_t StatusRow() const { return m_uStatusRow; }
  uint8_t Services() const { return m_byRetries; }

 private:
  void ServiceIfDue();

  uint16_t m_wFirst = 0;
  uint16_t m_wSecond = 0;
  uint16_t m_wSilence = 0;
  uint32_t m_uStatusRow = kRowAny;
  int32_t m_iTableRow = -1;
  uint8_t m_byRetries = 0;
  uint8_t m_byStarted = 0;
  uint8_t m_byIdentifyCountdown = 10;
};
