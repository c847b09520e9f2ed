// The dial-up modem as a peripheral ("INTERNAL DIALUP MODEM", type 91, and
// "EXTERNAL DIALUP MODEM", type 620; class 32): created from its record (the
// port and a parameter text), polled by the peripheral task, it runs its
// driver's initialisation, reports a modem that stays silent, and hangs the
// line up five minutes after the last SNMP request of a call.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"

class CModemDriver;

class CModem : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 32 };
  enum : uint16_t { TYPE_INTERNAL = 91, TYPE_EXTERNAL = 620 };
  static constexpr uint32_t COMM_TIMEOUT = 30000;  // ticks without SNMP before the hang-up
  static constexpr uint8_t FAILED_POLL_LIMIT = 10;
  static constexpr const char* INTERNAL_INIT = "AT&F&K0&D0V0S0=2&W0+VCID=1\r";
  static constexpr const char* EXTERNAL_INIT = "AT&F&K0&D0V0S0=2&W0\r";

  explicit CModem(uint16_t type_id);
  ~CModem() override;

  static const char* TypeName(uint16_t type_id);
  static uint16_t TypeId(const char* name);
  static CPeripheral* Create(const pl_record& record);

  // Creates and opens the driver for the type: state 2 and true, or state 1
  // and false.
  bool Init(uint8_t port, const char* parameters);
  void Poll() override;
  // Argument 0: the comm timer ran out; the next poll hangs up.
  void OnTimer(uint32_t argument) override;
  uint8_t GetModemPort() const;
  CModemDriver* Driver() const { return m_pDriver; }
  bool CommTimerRunning() const { return m_byTimerRunning != 0; }

  // Borrows the driver's port: unbinds its PPP and PMPP endpoints and takes
  // the serial driver. True when it was free.
  static bool RequestAccess(CModemDriver* driver);

 private:
  void StopCommTimer();

  CModemDriver* m_pDriver = nullptr;
  uint8_t m_byFailedPolls = 0;
  uint8_t m_byTimerRunning = 0;
  uint32_t m_dwTimerId = 0;
  volatile uint8_t m_byHangUpRequested = 0;
};
