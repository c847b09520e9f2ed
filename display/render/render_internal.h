// Shared between the renderer's event handling and its field values.
#pragma once

#include <cstdint>

#include "database/objects.h"
#include "display/message/message.h"

namespace render_detail {

// The text a field event (kinds 2 to 7, 13, 22 but 2) stands for, into
// out[RENDER_FIELD_SIZE]; the character count.
uint32_t field_text(const render_event_s& event, char* out);
// Kinds 3 to 7 in the drawing pass: the row of the field status table the
// message's field counter names, then the counter moves on.
void field_status(CMessage* m, const char* text, uint32_t count);

// Database writes of the renderer; nothing without a database.
void set_vol(const db_object& o, uint32_t value, uint32_t flags);
void set_nv(const db_object& o, uint32_t value, uint32_t flags);
void set_vol_string(const db_object& o, const void* data, uint32_t length, uint32_t flags);
// The stored bytes of a volatile string object; never null.
const uint8_t* vol_bytes(const db_object& o, uint32_t* length);

}  // namespace render_detail
