// What the renderer and its adapters need of parts of the controller that
// are built apart from them: the display task's frame step, the faces'
// descriptions, radar speeds and the file system. The owners install their
// functions at start-up; a hook left null behaves as described beside it.
#pragma once

#include <cstdint>

namespace disp {
class face;
struct face_description;
}  // namespace disp

struct render_hooks_s {
  // The description a face was opened with. Null (or a null result): the
  // render adapter refuses to attach to the face.
  const disp::face_description* (*face_description)(const disp::face* face);
  // The display task's frame step and message-time count, run in this order
  // by the commit of the primary face. Null: nothing.
  void (*frame_step)();
  void (*count_message_time)();
  // Last speed in km/h of radar sensor `sensor` (0..3). Null: sensor 0 is
  // mib_v.dmsCurrentSpeed, the others 0.
  uint32_t (*radar_speed)(uint32_t sensor);
  // The contents of a stored file, valid until the next file call. Null:
  // no file exists.
  bool (*file_contents)(const char* name, const uint8_t** data, uint32_t* size);
};

extern render_hooks_s g_render_hooks;
