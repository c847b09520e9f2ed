// The registry between faces and module buses: a face is bound to the bus
// its description names, and every packet a bus receives goes to the faces
// bound to that bus. Registration runs in the display task (at start-up and
// after the sign's configuration changed); Dispatch runs in the job-queue
// thread. The core takes no lock and owns neither faces nor buses.
#pragma once

#include <cstdint>

#include "frame/util/impl_list.h"

namespace disp {

class bus;
class face;
class packet;

class core {
 public:
  enum : uint8_t { CONSTRUCTED = 0, CLOSED = 1, OPEN = 2 };

  core() = default;
  virtual ~core() { core::Close(); }
  core(const core&) = delete;
  core& operator=(const core&) = delete;

  bool Open();
  // Unbinds every face and forgets faces and buses.
  bool Close();
  // Refused for a closed bus or a second bus of the same name; binds the
  // faces that name it.
  bool AttachBus(bus* b);
  // Finds the registered bus of the same name, unbinds its faces, forgets it.
  bool DetachBus(bus* b);
  // Refused for a closed face or a second face of the same name; binds it
  // to its bus when that is registered already (else AttachBus does later).
  bool AttachFace(face* f);
  bool DetachFace(face* f);
  // The packet to every face bound by name to the bus, in list order.
  void Dispatch(packet* p, bus* b);

  bool HasBusNamed(const char* name) const;
  bool HasFaceNamed(const char* name) const;
  bool IsOpen() const { return m_byState == OPEN; }
  uint32_t FaceCount() const { return m_faces.count(); }
  uint32_t BusCount() const { return m_buses.count(); }

  impl::list m_faces;
  impl::list m_buses;
  uint8_t m_byState = CONSTRUCTED;

 private:
  void DetachFacesOfBus(const char* name);
};

}  // namespace disp

// The display core of the controller.
extern disp::core g_display_core;
