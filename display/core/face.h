// One visible display surface of the sign (the "primary" face): its
// description, the frame engine that draws it, the diagnostics that watch
// its modules, and the bus it is bound to. The display task owns its faces;
// the core keeps them in a list without owning them.
#pragma once

#include <cstdint>

#include "display/frame/face_description.h"
#include "frame/util/impl_list.h"

namespace disp {

class bus;
class packet;

// Whether a description can open a face (and its diagnostics): engines,
// sizes and colour code given, module rows matching the height, no module
// row (of all nine) wider than the face, and no more modules than the
// diagnostics have records for.
bool ValidateDescription(const face_description* d);

class face : public impl::node {
 public:
  // 0 constructed, 1 closed, 2 open and never bound, 3 open and unbound
  // after a bus, 4 open and bound.
  enum : uint8_t { CONSTRUCTED = 0, CLOSED = 1, OPEN = 2, UNBOUND = 3, BOUND = 4 };

  face() : impl::node(0, false) {}
  ~face() override { face::Close(); }

  // False without a description, when open already or for an invalid
  // description. Attaches the frame engine, then opens the diagnostics.
  bool Open(face_description* d);
  // Unbinds first when bound; closes the diagnostics and detaches the
  // engine.
  bool Close();
  bool AttachBus(bus* b);
  bool DetachBus();
  bool IsOpen() const { return m_byState >= OPEN; }
  virtual void HandlePacket(packet* p);

  // Forwarders to the diagnostics and the frame engine.
  void Refresh();
  void StartPixelTest();
  void FinishPixelTest();
  void ScanModules();
  void ClearResults();
  void ClearAuxResults();

  face_description* Description() const { return m_pDescription; }
  bus* Bus() const { return m_pBus; }
  // The face name, or "" without a description.
  const char* Name() const { return m_pDescription ? m_pDescription->face_name : ""; }
  const char* BusName() const { return m_pDescription ? m_pDescription->bus_name : ""; }

  uint8_t m_byState = CONSTRUCTED;
  face_description* m_pDescription = nullptr;
  bus* m_pBus = nullptr;
};

}  // namespace disp
