#include "display/core/core.h"

#include <cstring>

#include "display/core/bus.h"
#include "display/core/face.h"

namespace disp {

namespace {

bool same(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

face* as_face(impl::node* n) { return static_cast<face*>(n); }
bus* as_bus(impl::node* n) { return static_cast<bus*>(n); }

}  // namespace

bool core::Open() {
  if (IsOpen()) return false;
  m_faces.open();
  m_buses.open();
  m_byState = OPEN;
  return true;
}

bool core::Close() {
  if (!IsOpen()) return false;
  for (impl::node* n = m_faces.head(); n; n = n->next) as_face(n)->DetachBus();
  m_faces.clear();
  m_buses.clear();
  m_byState = CLOSED;
  return true;
}

bool core::HasBusNamed(const char* name) const {
  for (impl::node* n = m_buses.head(); n; n = n->next)
    if (same(as_bus(n)->Name(), name)) return true;
  return false;
}

bool core::HasFaceNamed(const char* name) const {
  for (impl::node* n = m_faces.head(); n; n = n->next)
    if (same(as_face(n)->Name(), name)) return true;
  return false;
}

bool core::AttachBus(bus* b) {
  if (!b || !IsOpen() || !b->IsOpen() || HasBusNamed(b->Name())) return false;
  if (!m_buses.push_back(b)) return false;
  b->m_pCore = this;
  for (impl::node* n = m_faces.head(); n; n = n->next)
    if (same(as_face(n)->BusName(), b->Name())) as_face(n)->AttachBus(b);
  return true;
}

void core::DetachFacesOfBus(const char* name) {
  for (impl::node* n = m_faces.head(); n; n = n->next)
    if (same(as_face(n)->BusName(), name)) as_face(n)->DetachBus();
}

bool core::DetachBus(bus* b) {
  if (!b || !b->Name() || !IsOpen()) return false;
  impl::node* found = nullptr;
  for (impl::node* n = m_buses.head(); n && !found; n = n->next)
    if (same(as_bus(n)->Name(), b->Name())) found = n;
  if (!found) return false;
  DetachFacesOfBus(b->Name());
  m_buses.remove(found);
  b->m_pCore = nullptr;
  return true;
}

bool core::AttachFace(face* f) {
  if (!f || !IsOpen() || !f->IsOpen() || HasFaceNamed(f->Name())) return false;
  if (!m_faces.push_back(f)) return false;
  for (impl::node* n = m_buses.head(); n; n = n->next)
    if (same(as_bus(n)->Name(), f->BusName())) {
      f->AttachBus(as_bus(n));
      break;
    }
  return true;
}

bool core::DetachFace(face* f) {
  if (!f || !f->Description() || !IsOpen()) return false;
  impl::node* found = nullptr;
  for (impl::node* n = m_faces.head(); n && !found; n = n->next)
    if (same(as_face(n)->Name(), f->Name())) found = n;
  if (!found) return false;
  as_face(found)->DetachBus();
  m_faces.remove(found);
  return true;
}

void core::Dispatch(packet* p, bus* b) {
  if (!b || !IsOpen()) return;
  for (impl::node* n = m_faces.head(); n; n = n->next)
    if (same(as_face(n)->BusName(), b->Name())) as_face(n)->HandlePacket(p);
}

}  // namespace disp
