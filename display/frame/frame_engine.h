// The producer side of a face: the object that draws the face's picture
// and hands it on as a disp::frame. The face attaches its engine when it
// opens, commits it on every display step and detaches it when it closes.
// The base keeps the attach state and does nothing else.
#pragma once

#include <cstdint>

namespace disp {

class face;
class frame;

class frame_engine {
 public:
  static constexpr uint8_t DETACHED = 1;
  static constexpr uint8_t ATTACHED = 2;

  frame_engine() = default;
  virtual ~frame_engine();
  frame_engine(const frame_engine&) = delete;
  frame_engine& operator=(const frame_engine&) = delete;

  // False when attached already or without a face.
  virtual bool Attach(face* f);
  // False when not attached.
  virtual bool Detach();
  // Draws the next frame of the face; nothing in the base.
  virtual void Commit();
  // The face's current frame; false (out untouched) in the base.
  virtual bool GetFrame(frame** out);

  bool IsAttached() const { return m_byState == ATTACHED; }

  uint8_t m_byState = 0;
};

}  // namespace disp
