// Field values: the time, temperatures and speeds that MULTI field tags
// stand for, and the NTCIP field status table they are reported in.
#include <cstdio>
#include <cstring>

#include "database/database.h"
#include "display/message/db_read.h"
#include "display/render/render.h"
#include "display/render/render_hooks.h"
#include "display/render/render_internal.h"
#include "display/render/render_time.h"

namespace render_detail {

void set_vol(const db_object& o, uint32_t value, uint32_t flags) {
  if (g_pDataBase) g_pDataBase->SetValue(o.offset, o.width, value, g_pDataBase->mib_v, flags);
}

void set_nv(const db_object& o, uint32_t value, uint32_t flags) {
  if (g_pDataBase) g_pDataBase->SetValue(o.offset, o.width, value, g_pDataBase->mib_nv, flags);
}

void set_vol_string(const db_object& o, const void* data, uint32_t length, uint32_t flags) {
  if (g_pDataBase) g_pDataBase->SetString(o.offset, 4, data, length, g_pDataBase->mib_v, flags);
}

const uint8_t* vol_bytes(const db_object& o, uint32_t* length) {
  static const uint8_t empty[1] = {0};
  *length = 0;
  const uint8_t* p = g_pDataBase ? g_pDataBase->GetString(o.offset, 4, g_pDataBase->mib_v, length) : nullptr;
  if (!p) {
    *length = 0;
    return empty;
  }
  return p;
}

namespace {

// The event's format text prints one integer. It is applied here rather
// than handed to printf: literal characters, "%%" and one "%[flags][width]d"
// conversion are understood, and anything else ends the text.
uint32_t format_integer(char* out, uint32_t size, const char* format, int32_t value) {
  uint32_t n = 0;
  auto put = [&](const char* s, uint32_t count) {
    for (uint32_t i = 0; i < count && n + 1 < size; ++i) out[n++] = s[i];
  };
  for (const char* f = format; *f; ++f) {
    if (*f != '%') {
      put(f, 1);
      continue;
    }
    if (f[1] == '%') {
      put("%", 1);
      ++f;
      continue;
    }
    char conversion[16] = "%";
    uint32_t s = 1;
    const char* q = f + 1;
    while ((*q == '-' || *q == '0' || *q == ' ' || *q == '+') && s < 6) conversion[s++] = *q++;
    int width = 0;
    while (*q >= '0' && *q <= '9') {
      if (width < 1000) width = width * 10 + (*q - '0');
      ++q;
    }
    if (*q != 'd') break;
    if (width > static_cast<int>(RENDER_FIELD_SIZE) - 1) width = RENDER_FIELD_SIZE - 1;
    s += static_cast<uint32_t>(std::snprintf(conversion + s, sizeof conversion - s, "%dd", width));
    char text[RENDER_FIELD_SIZE + 16];
    int printed = std::snprintf(text, sizeof text, conversion, static_cast<int>(value));
    if (printed > 0) put(text, static_cast<uint32_t>(printed) < sizeof text ? static_cast<uint32_t>(printed) : sizeof text - 1);
    f = q;
  }
  if (size) out[n < size ? n : size - 1] = 0;
  return n;
}

int32_t to_mph(uint32_t kmh) { return static_cast<int32_t>(static_cast<float>(kmh) * 0.6214f); }

uint32_t radar_speed(uint32_t sensor) {
  if (g_render_hooks.radar_speed) return g_render_hooks.radar_speed(sensor);
  return sensor == 0 ? vol_value(vol::dmsCurrentSpeed) : 0;
}

}  // namespace

uint32_t field_text(const render_event_s& e, char* out) {
  const render_event_s::field_s& field = e.arg.field;
  // The event's format is a fixed array; it need not end in a NUL.
  char format[RE_FORMAT_SIZE + 1];
  std::memcpy(format, field.format, RE_FORMAT_SIZE);
  format[RE_FORMAT_SIZE] = 0;
  out[0] = 0;
  switch (e.kind) {
    case RE_TIME: {
      calendar_record c{};
      calendar_from_seconds(vol_value(vol::controllerLocalTime), &c);
      uint32_t n = render_strftime(out, RENDER_FIELD_SIZE, format, &c);
      if (n == 0) out[0] = 0;
      // Field 13 keeps its lower-case "am" / "pm".
      if (field.time_code != 13)
        for (uint32_t i = 0; i < n; ++i)
          if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
      return n;
    }
    case RE_TEMP_C:
      return format_integer(out, RENDER_FIELD_SIZE, format, static_cast<int8_t>(vol_value(vol::tempMaxAmbient)));
    case RE_TEMP_F: {
      int32_t celsius = static_cast<int8_t>(vol_value(vol::tempMaxAmbient));
      return format_integer(out, RENDER_FIELD_SIZE, format, celsius * 9 / 5 + 32);
    }
    case RE_SPEED_MPH:
      return format_integer(out, RENDER_FIELD_SIZE, format, to_mph(vol_value(vol::dmsCurrentSpeed)));
    case RE_SPEED_KMH:
      return format_integer(out, RENDER_FIELD_SIZE, format, static_cast<int32_t>(vol_value(vol::dmsCurrentSpeed)));
    case RE_HEX_CHAR:
      out[0] = static_cast<char>(e.arg.hex.code & 0xFF);
      out[1] = 0;
      return 1;
    case RE_SPEED_SENSOR: {
      uint32_t kmh = radar_speed(field.width);
      int32_t speed = field.code == 1 ? to_mph(kmh) : static_cast<int32_t>(kmh);
      return format_integer(out, RENDER_FIELD_SIZE, format, speed);
    }
  }
  return 0;
}

void field_status(CMessage* m, const char* text, uint32_t count) {
  const uint16_t row = m->m_wFieldCounter;
  // The table has 11 rows; further fields of the page are drawn but not
  // reported.
  if (row >= MSG_FIELD_ROWS) return;
  const render_event_s::field_s& field = m->m_event.arg.field;
  uint32_t code = m->m_event.kind == RE_TIME ? field.time_code : field.code;
  set_vol(vol::statMultiFieldCode(row), code & 0xFF, DB_NOTIFY);
  set_vol_string(vol::statMultiCurrentFieldValue(row), text, count, DB_NOTIFY);
  m->m_wFieldCounter = static_cast<uint16_t>(row + 1);
}

}  // namespace render_detail
