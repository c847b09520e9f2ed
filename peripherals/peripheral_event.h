// A timed event of a peripheral: the timer service calls the peripheral's
// OnTimer with the argument given here. The controller link and the
// temperature sensors use them for their silence time-outs.
//
// An event added to the service belongs to the service from then on:
// RemoveEvent destroys it. peripheral_event::Add deletes an event that the
// service refused.
#pragma once

#include <cstdint>

#include "frame/timer/timer_event.h"

class CPeripheral;

class peripheral_event : public timer_event {
 public:
  peripheral_event(CPeripheral* peripheral, uint32_t argument) : m_pPeripheral(peripheral), m_dwArgument(argument) {}

  // Runs in the timer service's context.
  void Fire() override;

  // A new event for the peripheral, added to the timer service (repeating
  // or not): its id, or 0 when none could be made or the service refused it.
  static uint32_t Add(CPeripheral* peripheral, uint32_t argument, uint32_t period, uint8_t repeat);
  // Removes (and so destroys) an event; 0 does nothing.
  static void Remove(uint32_t id);
  // Due one period from now; 0 for an id the service does not hold.
  static int Restart(uint32_t id);

 private:
  CPeripheral* m_pPeripheral;
  uint32_t m_dwArgument;
};
