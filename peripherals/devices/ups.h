// External UPS units on the AUX serial port (class 39, types 20..25). The
// base class takes the port from the communication links and gives it back,
// runs the poll cycle (three query phases, a reply each poll, a time-out
// after 120 silent polls), registers the UPS as a row of the power-supply
// table and turns the vendor-neutral status flags into powerSource,
// lineVolts, signVolts, power-supply errors, the power letters and the
// enterprise traps 9, 10, 11, 12 and 18. The five vendor classes fix the
// port settings, send the queries and parse the replies byte by byte.
//
// Every parser keeps its position bounded: a reply of the wrong length or
// format is dropped with a level-1 trace and never read past its end.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"

class CSerialDriver;

enum ups_status_flags : uint32_t {
  UPS_BATTERY_LOW = 0x001,
  UPS_ON_BATTERY = 0x002,
  UPS_BOOST_TRIM = 0x004,
  UPS_OVERLOAD = 0x008,
  UPS_BAD_BATTERY = 0x010,
  UPS_TEST_CYCLE = 0x020,
  UPS_BATTERY_VOLTS_READY = 0x040,
  UPS_LINE_VOLTS_READY = 0x080,
  UPS_BREAKER_OPEN = 0x100,
};

enum ups_reported_flags : uint8_t {
  UPS_REPORTED_LOW = 0x01,
  UPS_REPORTED_BATTERY = 0x02,
  UPS_REPORTED_OVERLOAD = 0x08,
  UPS_REPORTED_BAD = 0x10,
};

class CUninterruptiblePowerSupply : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 39 };
  enum : uint16_t {
    TYPE_POWERCOM = 20,
    TYPE_MINUTEMAN = 21,
    TYPE_CLARY = 22,
    TYPE_ALPHA_FXM = 23,
    TYPE_ALPHA_3500 = 24,
    TYPE_TRIPP = 25,
  };
  static constexpr uint32_t AUX_PORT = 2;
  static constexpr uint32_t AUX_INDEX = 1;  // the AUX row of the port settings
  static constexpr uint8_t SILENCE_LIMIT = 120;
  enum : uint8_t { SOURCE_AC = 4, SOURCE_BATTERY = 7 };
  enum : uint32_t {
    TRAP_ON_BATTERY = 9,
    TRAP_ON_AC = 10,
    TRAP_OVERLOAD = 11,
    TRAP_OVERLOAD_CLEARED = 12,
    TRAP_BATTERY_LOW = 18,
  };

  explicit CUninterruptiblePowerSupply(uint16_t type_id);
  // Gives the AUX port back to the communication task (protocol 2, no flow
  // control, 9600 baud, re-initialisation 4) and drops the table row.
  ~CUninterruptiblePowerSupply() override;

  static CPeripheral* Create(const pl_record& record);
  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);

  // The base part of every vendor Open: the table row, the port claim, the
  // driver. 0 (INIT ERROR) when the communication task refuses the port;
  // 1 with INIT ERROR and the row's error when the driver is in use.
  virtual int Open();
  void Poll() override;
  virtual void SendQuery(uint8_t phase, uint16_t type_id) = 0;
  // 1 when a status reply is complete.
  virtual int ParseReply(uint8_t byte) = 0;

  void FlushInput();
  int ReadReplies();
  void EvaluateStatus();

  uint32_t StatusFlags() const { return m_dwStatus; }
  uint8_t Reported() const { return m_byReported; }
  uint8_t Phase() const { return m_byPhase; }
  uint8_t SilenceCount() const { return m_bySilence; }
  uint16_t PowerSupplyId() const { return m_wPsId; }
  uint32_t BatteryVoltage() const { return m_dwBatteryVoltage; }
  uint8_t LineVoltage() const { return m_byLineVoltage; }
  bool HoldsPort() const { return m_pDriver != nullptr; }

 protected:
  // The port settings of a vendor, with change notification.
  static void WritePort(uint8_t protocol, uint8_t flow, uint32_t speed, bool speed_before_flow = false);
  void Put(uint8_t byte);
  void PutString(const char* text);
  void PutBytes(const uint8_t* bytes, uint32_t n);
  // The reply position, held at 255 so that an endless stream cannot wrap
  // it back to a field position.
  void Advance() {
    if (m_byReplyPos < 255) ++m_byReplyPos;
  }

  uint8_t m_bySilence = 0;
  uint8_t m_byPhase = 1;
  uint16_t m_wPsId = 0;
  uint8_t m_byReplyPos = 0;
  uint8_t m_byReplyKind = 0;
  uint8_t m_byReported = 0;
  CSerialDriver* m_pDriver = nullptr;
  uint32_t m_dwBatteryVoltage = 0;
  uint8_t m_byLineVoltage = 0;
  uint32_t m_dwStatus = 0;
};

class powercom_ups : public CUninterruptiblePowerSupply {
 public:
  explicit powercom_ups(uint16_t type_id) : CUninterruptiblePowerSupply(type_id) {}
  int Open() override;
  void SendQuery(uint8_t phase, uint16_t type_id) override;
  int ParseReply(uint8_t byte) override;
};

class minuteman_ups : public CUninterruptiblePowerSupply {
 public:
  static constexpr uint32_t kSpeeds[5] = {1200, 2400, 4800, 9600, 19200};
  enum : uint8_t { KIND_STATUS_1 = 8, KIND_ON_BATTERY = 10, KIND_STATUS_5 = 12, KIND_SPEED = 14 };

  explicit minuteman_ups(uint16_t type_id) : CUninterruptiblePowerSupply(type_id) {}
  int Open() override;
  void SendQuery(uint8_t phase, uint16_t type_id) override;
  int ParseReply(uint8_t byte) override;

  bool SpeedLocked() const { return m_bySpeedLocked != 0; }
  uint32_t CurrentSpeed() const { return m_dwSpeed; }
  // Back to the first probe (the shared index; tests and a new unit).
  static void ResetProbe() { s_byProbeIndex = 3; }

 private:
  uint8_t m_byRetries = 5;
  uint32_t m_dwSpeed = 0;
  uint8_t m_bySpeedLocked = 0;
  uint8_t m_byField = 0;
  uint8_t m_byDigits = 0;
  uint32_t m_dwAccumulator = 0;
  static uint8_t s_byProbeIndex;
  static char s_szEcho[6];
};

class clary_ups : public CUninterruptiblePowerSupply {
 public:
  explicit clary_ups(uint16_t type_id) : CUninterruptiblePowerSupply(type_id) {}
  int Open() override;
  void SendQuery(uint8_t phase, uint16_t type_id) override;
  int ParseReply(uint8_t byte) override;

 private:
  enum : uint8_t { WAIT_OPEN = 0, FIELDS = 1, STATUS = 2, END = 3, DONE = 4 };
  uint8_t m_byCountdown = 0;
  uint8_t m_byField = 0;
  uint8_t m_byStep = WAIT_OPEN;
  char m_acStatus[8] = {};
};

class alpha_ups : public CUninterruptiblePowerSupply {
 public:
  static constexpr uint32_t kLineSize = 300;
  explicit alpha_ups(uint16_t type_id) : CUninterruptiblePowerSupply(type_id) {}
  int Open() override;
  void SendQuery(uint8_t phase, uint16_t type_id) override;
  int ParseReply(uint8_t byte) override;

  // Each takes the gathered bytes (n of them) and returns 1 when the line or
  // frame was taken.
  int ParseInputLine(const char* after_colon, const char* end);
  int ParseOutputLine();
  int ParseBatteryLine(const char* after_colon, const char* end);
  int ParseEventLine(const char* star, const char* end);
  int ParseSystemStatus(const uint8_t* frame, uint32_t n);
  int ParseOverviewStatus(const uint8_t* frame, uint32_t n);

 private:
  void ClearLine();
  int TakeTextLine();
  int TakeFrame();

  uint8_t m_abyLine[kLineSize + 1] = {};  // one more for the terminator
  uint32_t m_dwFill = 0;
};

class tripp_ups : public CUninterruptiblePowerSupply {
 public:
  enum : uint8_t { KIND_DATA = 1, KIND_STATUS = 2 };
  explicit tripp_ups(uint16_t type_id) : CUninterruptiblePowerSupply(type_id) {}
  int Open() override;
  void SendQuery(uint8_t phase, uint16_t type_id) override;
  int ParseReply(uint8_t byte) override;
};
