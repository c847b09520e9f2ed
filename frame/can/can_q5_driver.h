// The driver of the CAN controller on the SPI port: the controller board's
// own CAN bus (the sensor bus "CAN Q5 Driver").
#pragma once

#include <cstdint>

#include "frame/board/interrupt.h"
#include "frame/can/can_driver.h"
#include "frame/can/mcp2510.h"
#include "tx_api.h"

class CCANQ5Driver : public can_driver, public Interrupt {
 public:
  // The chip's settings: 29-bit identifiers at 100 kbit/s, interrupt-driven
  // receive, the transmit buffers without a queue.
  static constexpr uint8_t EXTENDED_IDS = 1;
  static constexpr uint8_t BIT_TIMING = 6;
  static constexpr uint32_t QUEUE_BYTES = 1;
  // The thread that configures the chip again when its interrupt service
  // asks for it.
  static constexpr UINT RECONFIGURE_PRIORITY = 2;
  static constexpr ULONG RECONFIGURE_STACK = 2048;

  CCANQ5Driver();
  ~CCANQ5Driver() override;

  // The first call creates the mutex "canq5drv" and the reconfiguration
  // thread, registers the interrupt and sets the EPLD's CAN bit; every call
  // configures the chip (0 while the EPLD is not programmed).
  uint32_t Initialize(uint32_t defaultChannel, uint32_t extendedIds, uint32_t third) override;
  // 1 when the chip took the frame; 0 for a missing or oversized frame,
  // before Initialize, while the EPLD is not programmed or when the chip
  // refused it.
  uint32_t Send(uint32_t id, uint32_t remote, uint32_t length, const uint8_t* data, uint32_t channel) override;
  // Frames arrive only through the interrupt: always 0.
  uint32_t ReadFrame(uint32_t* id, uint8_t* flags, uint8_t* length, uint8_t data[8]) override;
  // Serves every pending flag of the chip (its line is edge-triggered) and
  // hands each frame to the attached buses.
  void OnInterrupt() override;

  CMCP2510& Chip() { return m_chip; }

  // Whether the EPLD is programmed (the display driver's ready flag once it
  // exists; until then the EPLD's own configuration-done pin).
  typedef uint32_t (*epld_ready_query)();
  static void SetEpldReadyQuery(epld_ready_query query);
  static uint32_t EpldReady();

 private:
  static void ReconfigureEntry(ULONG);
  static void RequestReconfigure(void* context);
  void Reconfigure();

  CMCP2510 m_chip;
  TX_MUTEX m_mutex{};
  uint8_t m_created = 0;
  TX_SEMAPHORE m_reconfigure{};
  TX_THREAD m_worker{};
  uint8_t m_workerCreated = 0;
  uint8_t m_stack[RECONFIGURE_STACK] = {};
};

// The one driver object, for its reconfiguration thread.
extern CCANQ5Driver* g_pCANQ5Driver;
