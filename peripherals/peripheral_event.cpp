#include "peripherals/peripheral_event.h"

#include <new>

#include "frame/peripheral/peripheral.h"
#include "frame/timer/timer_scheduler.h"

void peripheral_event::Fire() {
  if (m_pPeripheral) m_pPeripheral->OnTimer(m_dwArgument);
}

uint32_t peripheral_event::Add(CPeripheral* peripheral, uint32_t argument, uint32_t period, uint8_t repeat) {
  if (!g_timer_scheduler) return 0;
  peripheral_event* event = new (std::nothrow) peripheral_event(peripheral, argument);
  if (!event) return 0;
  const uint32_t id = g_timer_scheduler->AddEvent(event, period, repeat);
  if (!id) delete event;
  return id;
}

void peripheral_event::Remove(uint32_t id) {
  if (id && g_timer_scheduler) g_timer_scheduler->RemoveEvent(id);
}

int peripheral_event::Restart(uint32_t id) { return id && g_timer_scheduler ? g_timer_scheduler->RestartEvent(id) : 0; }
