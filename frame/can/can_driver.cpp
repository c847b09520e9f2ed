#include "frame/can/can_driver.h"

#include <cstring>

#include "frame/can/can_bus.h"
#include "tx_api.h"

can_driver::~can_driver() {
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  for (can_bus* n = m_firstNode; n;) {
    can_bus* next = n->m_nextOnDriver;
    n->m_nextOnDriver = nullptr;
    if (n->m_driver == this) n->m_driver = nullptr;
    n = next;
  }
  m_firstNode = nullptr;
  m_nodeCount = 0;
  tx_interrupt_control(posture);
}

uint32_t can_driver::AttachNode(can_bus* node) {
  if (!node || !node->name()[0]) return 0;
  for (can_bus* n = m_firstNode; n; n = n->m_nextOnDriver)
    if (n == node || std::strcmp(n->name(), node->name()) == 0) return 0;
  // The interrupt path walks the list.
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  node->m_nextOnDriver = nullptr;
  can_bus** link = &m_firstNode;
  while (*link) link = &(*link)->m_nextOnDriver;
  *link = node;
  ++m_nodeCount;
  tx_interrupt_control(posture);
  return 1;
}

void can_driver::DetachNode(can_bus* node) {
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  for (can_bus** link = &m_firstNode; *link; link = &(*link)->m_nextOnDriver) {
    if (*link == node) {
      *link = node->m_nextOnDriver;
      node->m_nextOnDriver = nullptr;
      --m_nodeCount;
      break;
    }
  }
  tx_interrupt_control(posture);
}

void can_driver::DeliverToNodes(const can_packet& packet) {
  for (can_bus* n = m_firstNode; n; n = n->m_nextOnDriver) n->deliver(packet);
}
