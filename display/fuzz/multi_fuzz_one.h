// One fuzz input through the MULTI parser: its first byte picks the sign's
// configuration, the rest is the MULTI text. The text is validated where it
// lies (in a buffer of exactly its size, so that the address sanitizer sees
// any read past it), then loaded and shown page by page. Shared by the
// libFuzzer target and the unit test that runs a short campaign.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "database/database.h"
#include "database/objects.h"
#include "display/multi/multi_hooks.h"
#include "display/multi/parser.h"

namespace multi_fuzz {

// A stand-in renderer: the bookkeeping the parser relies on, some layout
// values, and (when asked) refusals of text runs holding a "~".
struct renderer {
  bool refuse = false;
  uint32_t events = 0;

  static uint32_t Callback(void* context, CMessage* m) {
    auto* self = static_cast<renderer*>(context);
    render_event_s& e = m->m_event;
    ++self->events;
    switch (e.kind) {
      case RE_TEXT:
        if (e.arg.run.count == 0 || !e.arg.run.text) return 0xDEAD;  // never raised empty
        for (uint32_t i = 0; i < e.arg.run.count; ++i) {
          volatile uint8_t c = e.arg.run.text[i];  // the run must lie inside the text
          if (self->refuse && c == '~') {
            m->m_nErrorPosition = static_cast<int32_t>(e.arg.run.position);
            return MULTI_TEXT_TOO_BIG;
          }
        }
        m->CurrentLine().height = 7;
        m->CurrentLine().w_left = static_cast<uint16_t>(m->CurrentLine().w_left + e.arg.run.count);
        break;
      case RE_NEW_RECT:
        if (m->m_nRect < MSG_RECTANGLES - 1) ++m->m_nRect;
        break;
      case RE_NEW_LINE:
        if (m->m_nLine < MSG_LINES - 1) ++m->m_nLine;
        break;
      case RE_MOVING_END:
        if (m->m_nMoving < MSG_MOVING - 1) ++m->m_nMoving;
        break;
      case RE_MEASURED:
        m->m_byPageStarted = 0;
        break;
      case RE_FILE_GRAPHIC:
        if (std::memchr(e.arg.file.name, 0, sizeof e.arg.file.name) == nullptr) return 0xDEAD;
        break;
      case RE_TIME:
      case RE_TEMP_C:
      case RE_TEMP_F:
      case RE_SPEED_MPH:
      case RE_SPEED_KMH:
      case RE_SPEED_SENSOR:
        if (std::memchr(e.arg.field.format, 0, sizeof e.arg.field.format) == nullptr) return 0xDEAD;
        break;
      default:
        break;
    }
    e.Clear();
    return MULTI_OK;
  }
};

inline void set(CDataBase* db, uint8_t* area, const db_object& o, uint32_t v) {
  db->SetValue(o.offset, o.width, v, area, DB_NO_VALIDATE | DB_NO_JOURNAL);
}

// Fonts 1 to 3, graphic 7, and the sign picked by `config`.
inline void configure(CDataBase* db, uint8_t config) {
  static const uint32_t kTypes[] = {6, 4, 5, 132, 133, 6, 6, 6};
  set(db, db->mib_nv, nv::dmsSignType, kTypes[config & 7]);
  set(db, db->mib_nv, nv::vmsSignWidthPixels, config & 0x40 ? 0 : 96);
  set(db, db->mib_nv, nv::vmsSignHeightPixels, config & 0x40 ? 0 : 32);
  set(db, db->mib_nv, nv::vmsCharacterWidthPixels, config & 0x08 ? 0 : 5);
  set(db, db->mib_nv, nv::vmsCharacterHeightPixels, config & 0x08 ? 0 : 7);
  set(db, db->mib_nv, nv::quorModuleID, config & 0x10 ? 11 : 21);
  set(db, db->mib_nv, nv::defaultFont, 1);
  set(db, db->mib_nv, nv::defaultJustificationLine, 3);
  set(db, db->mib_nv, nv::defaultJustificationPage, 3);
  set(db, db->mib_nv, nv::defaultFlashOn, 5);
  set(db, db->mib_nv, nv::defaultFlashOff, config & 0x20 ? 0 : 5);
  for (uint32_t f = 0; f < 3; ++f) {
    set(db, db->mib_nv, nv::fontNumber(f), f + 1);
    set(db, db->mib_nv, nv::fontHeight(f), 7);
    set(db, db->mib_nv, nv::fontLineSpacing(f), 2 * f);
    set(db, db->mib_nv, nv::fontStatus(f), 4);
  }
  set(db, db->mib_nv, nv::dmsGraphicNumber(0), 7);
  set(db, db->mib_nv, nv::dmsGraphicStatus(0), 4);
  set(db, db->mib_nv, nv::dmsGraphicWidth(0), 10);
  set(db, db->mib_nv, nv::dmsGraphicHeight(0), 8);
}

inline bool known_result(uint32_t r) {
  switch (r) {
    case MULTI_OK:
    case MULTI_UNSUPPORTED_TAG:
    case MULTI_UNSUPPORTED_TAG_VALUE:
    case MULTI_TEXT_TOO_BIG:
    case MULTI_FONT_NOT_DEFINED:
    case MULTI_CHAR_NOT_DEFINED:
    case MULTI_FIELD_DEVICE_NOT_EXIST:
    case MULTI_TAG_CONFLICT:
    case MULTI_TOO_MANY_PAGES:
    case MULTI_FONT_VERSION_ID:
    case MULTI_GRAPHIC_ID:
    case MULTI_GRAPHIC_NOT_DEFINED:
      return true;
  }
  return false;
}

// Runs one input; an empty result, or what went wrong.
inline std::string run_one(const uint8_t* data, size_t size) {
  if (size == 0 || !g_pDataBase) return "";
  static CMessage* message = new CMessage();
  uint8_t config = data[0];
  configure(g_pDataBase, config);
  g_multi_hooks.frame_rate = config & 0x80 ? +[] { return uint8_t(100); } : nullptr;
  g_multi_hooks.file_exists = +[](const char* name) { return name[0] == 'a'; };

  uint32_t length = static_cast<uint32_t>(size - 1 > 4000 ? 4000 : size - 1);
  std::unique_ptr<uint8_t[]> text(new uint8_t[length ? length : 1]);
  if (length) std::memcpy(text.get(), data + 1, length);

  renderer r;
  r.refuse = (config & 3) == 3;
  CMULTIParser parser;
  uint32_t result = parser.Validate(&r, &renderer::Callback, message, text.get(), length);
  if (!known_result(result)) return "Validate gave " + std::to_string(result);
  if (result != MULTI_OK &&
      (message->m_nErrorPosition < 0 || static_cast<uint32_t>(message->m_nErrorPosition) > length))
    return "error position " + std::to_string(message->m_nErrorPosition) + " outside the text";

  uint8_t pages = parser.CountPages(text.get(), length);
  parser.Load(&r, &renderer::Callback, message, text.get(), length);
  // Every page moves the cursor on (a page takes at least its "[np]").
  uint32_t shown = 0;
  while (parser.NextPage(message)) {
    if (++shown > length / 4 + 2) return "pages never end";
    if (pages == 0) return "a page of a text without pages";
    parser.CurrentPage(message);
  }
  parser.ParsePage(&r, &renderer::Callback, message, 1 + (length ? text[0] % 4 : 0));
  return "";
}

}  // namespace multi_fuzz
