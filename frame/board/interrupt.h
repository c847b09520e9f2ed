// Board interrupts: the interrupt controller's dispatcher with one handler
// per status bit, and the EPLD's demultiplexer with one handler per source.
#pragma once

#include <cstdint>

class Interrupt {
 public:
  Interrupt();
  virtual ~Interrupt();
  // Serves the device.
  virtual void OnInterrupt() = 0;

  // Stores handler in the slot of the lowest set bit of mask. Does not touch
  // the controller; the caller enables its bit.
  static void Register(uint32_t mask, Interrupt* handler);
  // The handler of the lowest set bit of mask, or null.
  static Interrupt* Lookup(uint32_t mask);
  static void Unregister(uint32_t mask);
  // The dispatcher, run from the external-interrupt vector.
  static void DispatchExternal();
  static void DispatchWithInterruptsOff();
};

class CEpldInterrupt : public Interrupt {
 public:
  ~CEpldInterrupt() override;
  // The EPLD line's handler is the demultiplexer.
  void OnInterrupt() final { Dispatch(); }
  void Dispatch();
  // Serves one EPLD source.
  virtual void OnEpldInterrupt() = 0;

  static void Register(uint32_t mask, CEpldInterrupt* handler);
  static void Unregister(uint32_t mask);
  // Sets up UIC bit 0x20 for the EPLD line (level, active high, normal) and
  // enables it; pending status bits are acknowledged.
  static void EnableLine();
};

// Counters of served interrupts (never reset) and the Ethernet-activity byte.
extern uint32_t g_interrupt_count;
extern uint32_t g_ethernet_interrupt_count;
extern uint8_t g_ethernet_activity;

// Service routines of the Ethernet/MAL bits, index 0 to 5 in the order
// 0x00200000 (error status), 0x00100000 (transmit done), 0x00080000
// (receive), 0x00040000 (MAL transmit error), 0x00020000 (MAL receive error),
// 0x00010000 (EMAC status acknowledge). Installed by the Ethernet driver.
void interrupt_set_ethernet_service(unsigned index, void (*service)());

// What a board reset does to this unit: both handler tables and their
// one-time flags back to their power-up state. Start-up state for tests.
void interrupt_power_on();
