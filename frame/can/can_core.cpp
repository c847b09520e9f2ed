#include "frame/can/can_core.h"

#include <cstring>

#include "frame/can/can_bus.h"
#include "frame/can/can_device.h"
#include "frame/os/interrupts_masked.h"
#include "frame/trace/trace.h"
#include "tx_api.h"

namespace {

// The interrupt path walks the lists: they change with external interrupts
// masked.
using masked = interrupts_masked;

bool same(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

}  // namespace

can_core::~can_core() {
  masked m;
  for (can_bus* b = m_firstBus; b;) {
    can_bus* next = b->m_nextInHub;
    b->m_nextInHub = nullptr;
    b->m_hub = nullptr;
    b = next;
  }
  for (can_device* d = m_firstDevice; d;) {
    can_device* next = d->m_nextInHub;
    d->m_nextInHub = nullptr;
    d->m_hub = nullptr;
    d = next;
  }
  m_firstBus = nullptr;
  m_firstDevice = nullptr;
  m_busCount = m_deviceCount = 0;
}

can_bus* can_core::find_bus(const char* name) const {
  if (!name) return nullptr;
  for (can_bus* b = m_firstBus; b; b = b->m_nextInHub)
    if (same(b->name(), name)) return b;
  return nullptr;
}

can_device* can_core::find_device(const char* name) const {
  if (!name) return nullptr;
  for (can_device* d = m_firstDevice; d; d = d->m_nextInHub)
    if (same(d->name(), name)) return d;
  return nullptr;
}

uint32_t can_core::register_bus(can_bus* bus) {
  if (!bus || !bus->name()[0] || find_bus(bus->name()) || bus->m_hub) return 0;
  monitor_printf_debug("register can bus:%s\n", bus->name());
  {
    masked m;
    bus->m_hub = this;
    bus->m_nextInHub = nullptr;
    can_bus** link = &m_firstBus;
    while (*link) link = &(*link)->m_nextInHub;
    *link = bus;
    ++m_busCount;
  }
  // Outside the masked section: a device may send from set_bus.
  for (can_device* d = m_firstDevice; d; d = d->m_nextInHub)
    if (same(d->bus_name(), bus->name())) d->set_bus(bus);
  return 1;
}

uint32_t can_core::unregister_bus(can_bus* bus) {
  masked m;
  for (can_bus** link = &m_firstBus; *link; link = &(*link)->m_nextInHub) {
    if (*link == bus) {
      *link = bus->m_nextInHub;
      bus->m_nextInHub = nullptr;
      bus->m_hub = nullptr;
      --m_busCount;
      return 1;
    }
  }
  return 0;
}

uint32_t can_core::register_device(can_device* device) {
  if (!device || !device->name()[0] || find_device(device->name()) || device->m_hub) return 0;
  {
    masked m;
    device->m_hub = this;
    device->m_nextInHub = nullptr;
    can_device** link = &m_firstDevice;
    while (*link) link = &(*link)->m_nextInHub;
    *link = device;
    ++m_deviceCount;
  }
  if (can_bus* bus = find_bus(device->bus_name())) device->set_bus(bus);
  return 1;
}

uint32_t can_core::unregister_device(can_device* device) {
  if (!device) return 0;
  can_device* found = nullptr;
  for (can_device* d = m_firstDevice; d && !found; d = d->m_nextInHub)
    if (d == device || same(d->name(), device->name())) found = d;
  if (!found) return 0;
  for (can_bus* b = m_firstBus; b; b = b->m_nextInHub) {
    if (b == found->bus()) {
      found->unset_bus();
      break;
    }
  }
  monitor_printf_debug("unregister can device:%s\n", found->name());
  masked m;
  for (can_device** link = &m_firstDevice; *link; link = &(*link)->m_nextInHub) {
    if (*link == found) {
      *link = found->m_nextInHub;
      break;
    }
  }
  found->m_nextInHub = nullptr;
  found->m_hub = nullptr;
  --m_deviceCount;
  return 1;
}

void can_core::dispatch(can_bus* bus, const can_packet& packet) {
  if (!bus) return;
  for (can_device* d = m_firstDevice; d; d = d->m_nextInHub)
    if (same(d->bus_name(), bus->name()) && d->accept(packet)) d->receive(packet);
}

uint32_t can_core::assemble_mail(can_bus* bus, const can_packet& packet, can_mail* mail) {
  if (!bus || bus->kind() != can_bus::KIND_CONTROLLER) return 0;
  return static_cast<controller_bus*>(bus)->assemble_mail(packet, mail);
}

void can_core::print_counters(const can_device& d) {
  monitor_printf("\t packets_sent:%d\n", static_cast<int>(d.m_packetsSent));
  monitor_printf("\t packets_received:%d\n", static_cast<int>(d.m_packetsReceived));
  monitor_printf("\t packets_dropped:%d\n", static_cast<int>(d.m_packetsDropped));
  monitor_printf("\t packets_invalid:%d\n", static_cast<int>(d.m_packetsRejected));
  monitor_printf("\t transmit_failures:%d\n", static_cast<int>(d.m_sendFailures));
}

void can_core::print_counters(const can_bus& b) {
  monitor_printf("\t packets_sent:%d\n", static_cast<int>(b.m_packetsSent));
  monitor_printf("\t packets_received:%d\n", static_cast<int>(b.m_packetsDelivered));
  monitor_printf("\t packets_dropped:%d\n", static_cast<int>(b.m_deliveriesRefused));
  monitor_printf("\t packets_invalid:%d\n", static_cast<int>(b.m_sendFailures));
  monitor_printf("\t transmit_failures:%d\n", static_cast<int>(b.m_serviceCalls));
}
