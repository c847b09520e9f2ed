// The controller's module bus ("ksr-7100"): the CAN controller-bus driver
// hands it every byte the EPLD receives (interrupt context); the bus puts
// the byte into its stream and posts itself to the job queue, whose thread
// reads the whole frames out of the stream and gives them to the display
// core, which passes them to the faces bound to this bus. Frames the
// controller sends go unchanged into the driver's transmit queue.
#pragma once

#include <cstdint>

#include "display/core/bus.h"
#include "display/core/job_queue.h"
#include "frame/can/can_db_driver.h"

class stream_ksr7100;

// The CAN controller-bus driver that carries the module bus and the display
// lines (the sign driver's line driver); null while there is none.
can_db_driver* module_line_driver();

class bus_ksr7100 : public disp::bus, public job, public can_db_receiver {
 public:
  bus_ksr7100() : disp::bus(false) {}
  ~bus_ksr7100() override = default;

  bool Open(const char* name, disp::stream* s) override;
  bool Close() override;
  // A whole module-bus frame to the driver's transmit queue; false while
  // closed or without a driver, or when the driver dropped it.
  bool Write(const uint8_t* bytes, uint32_t length) override;
  // The byte stored in m_byReceived into the stream, and the bus's job to
  // the job queue (a job already waiting is not queued twice).
  void ReceiveByte() override;
  // The job: every complete frame in the stream to the core.
  void Run() override;

  // ---- can_db_receiver: what the driver calls for each received byte
  void ReceiveByte(uint8_t b) override;
  uint32_t ErrorCount() override;

  // The queue the bus posts to (the controller's by default).
  void SetQueue(job_queue* q) { m_pQueue = q; }

  uint8_t m_byReceived = 0;

 private:
  job_queue* m_pQueue = &g_job_queue;
  stream_ksr7100* m_pKsrStream = nullptr;
};

// The controller's module bus.
extern bus_ksr7100 g_bus_ksr7100;
