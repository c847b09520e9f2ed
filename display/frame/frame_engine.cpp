#include "display/frame/frame_engine.h"

namespace disp {

// Detaching through the base: a derived engine has already taken its own
// part down in its destructor.
frame_engine::~frame_engine() {
  if (IsAttached()) frame_engine::Detach();
}

bool frame_engine::Attach(face* f) {
  if (IsAttached() || !f) return false;
  m_byState = ATTACHED;
  return true;
}

bool frame_engine::Detach() {
  if (!IsAttached()) return false;
  m_byState = DETACHED;
  return true;
}

void frame_engine::Commit() {}

bool frame_engine::GetFrame(frame**) { return false; }

}  // namespace disp
