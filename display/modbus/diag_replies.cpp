// Module replies: where a reply comes from on its CAN line, and what it
// says of the module (identity, measurements, spare fields).
#include <cstring>

#include "display/core/face.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/modbus/diag_registrar.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/can/can_packet.h"
#include "frame/trace/trace.h"

namespace {

bool between(uint32_t v, uint32_t low, uint32_t high) { return v >= low && v <= high; }

// Module types whose replies keep the old layout.
bool old_reply_format(uint32_t type, uint8_t revision) {
  if (type == 1 || between(type, 11, 17) || between(type, 19, 25) || between(type, 31, 35)) return true;
  if (between(type, 50, 54)) return revision < 3;
  return false;
}

}  // namespace

bool diag_ksr7100::LocateModule(const can_packet& frame, uint32_t& column, uint32_t& row) {
  if (!m_pDescription || frame.channel == 0 || frame.channel > LINES) return false;
  const uint32_t line = frame.channel - 1u;
  uint32_t p;
  if (TwoResponseWords())
    p = (frame.id - 0x700) & 0xFF;
  else if (frame.data[0] == 0)
    p = (frame.id - 0x500) & 0xFF;
  else
    p = ((frame.id - 0x500) >> 3) & 0xFF;
  // A line has no position at or past the modules it serves; a frame from
  // the wire must never reach past the records.
  const uint32_t per = ModulesPerLine();
  if (p >= per) return false;
  if (SplitLines()) {
    row = line / 2;
    column = line % 2 ? p + per : p;
  } else {
    row = line;
    column = p;
  }
  return RecordIndex(column, row) < ModuleCount();
}

void diag_ksr7100::Identify(disp::module& m, const uint8_t* data, uint32_t length, uint32_t index,
                            const can_packet& frame, const char* trace) {
  m.type = static_cast<uint16_t>(data[1] | data[3] << 8);
  m.revision = data[2];
  if (!trace) return;
  if (data[4] & 1) m.quick_test = 1;
  if (m.quick_test) return;
  monitor_printf(trace, static_cast<int>(index));
  for (uint32_t i = 4; i < 8; ++i) monitor_printf("[0x%02X] ", data[i]);
  monitor_printf("[0x%02X] ", frame.channel);
  monitor_printf("\n");
}

void diag_ksr7100::ProcessModuleReply(const can_packet& frame) {
  if (frame.channel == 0 || !m_pDescription) return;
  uint32_t column = 0, row = 0;
  if (!LocateModule(frame, column, row)) return;
  const uint32_t index = RecordIndex(column, row);
  if (index >= ModuleCount()) return;

  disp::diag_lock lock(*this);
  if (!lock.ok()) return;
  disp::module& m = m_Modules[index];
  const uint8_t* data = frame.data;
  const uint32_t length = frame.length;
  const uint8_t code = length ? data[0] : 0xFF;

  if (m.lost) {
    if (code != 0) {
      monitor_printf("drop mod reply at row:%d col:%d till rev is received\n", static_cast<int>(row + 1),
                     static_cast<int>(column + 1));
      return;
    }
    m.lost = 0;
  }
  m.unanswered = 0;

  if (!m.identified) {
    if (code != 0) return;
    Identify(m, data, length, index, frame, length == 5 ? "MOD:%d reports no support of pixel test\n" : nullptr);
    m.identified = 1;
    m.new_format = old_reply_format(m.type, m.revision) ? 0 : 1;
    return;
  }

  const uint8_t depth = m_pDescription->depth;
  if (!m.new_format) {
    if (length == 5) {
      m.field_a = data[1];
      m.field_b = data[2];
    } else if (length == 8) {
      const uint16_t v1 = static_cast<uint16_t>(data[0] << 8 | data[1]);
      const uint16_t v2 = static_cast<uint16_t>(data[2] << 8 | data[3]);
      SetModuleValues(m, v1, v2, static_cast<int8_t>(data[6]));
      m.value[0] = v1;
      m.value[1] = v2;
      m.value[2] = static_cast<uint16_t>(data[4] << 8 | data[5]);
      m.temperature = static_cast<int8_t>(data[6]);
      m.status_code = static_cast<uint8_t>(data[7] + 1);
      m.measurements_valid = 1;
    } else {
      m.type = static_cast<uint16_t>(data[1] | data[3] << 8);
      m.revision = data[2];
    }
    return;
  }

  switch (code) {
    case 0:
      Identify(m, data, length, index, frame, length > 4 ? "MOD=%d reports no support of pixel test\n" : nullptr);
      break;
    case 2:
      if (depth == 1) {
        SetModuleValues(m, data[1], data[2], static_cast<int8_t>(data[4]));
        m.value[0] = data[1];
        m.value[1] = data[2];
        m.value[2] = data[3];
        m.temperature = static_cast<int8_t>(data[4]);
        m.status_code = data[5];
        m.measurements_valid = 1;
      } else if (depth == 2 || depth == 3) {
        SetModuleValues(m, data[1], data[2], static_cast<int8_t>(data[6]));
        for (uint32_t k = 0; k < 5; ++k) m.value[k] = data[1 + k];
        m.temperature = static_cast<int8_t>(data[6]);
        m.status_code = data[7];
        m.measurements_valid = 1;
      }
      break;
    case 9:
      if (depth == 1) {
        m.field_a = data[1];
        m.field_b = data[2];
        m.field_c = data[6];
        m.field_d = data[7];
      } else if (depth == 2 || depth == 3) {
        m.field_a = data[1];
        m.field_e = data[2];
        m.field_f = data[3];
      }
      break;
    case 12:
      m.gen4_subtype = static_cast<uint16_t>(data[4] << 8 | data[5]);
      monitor_printf_debug("Device gen4 type %d\n", m.gen4_subtype);
      break;
    case 16:
      m.field_g = data[1];
      m.field_c = data[4];
      m.field_d = data[5];
      m.field_b = data[6];
      break;
    case 18:
      if (length > 4) {
        if (data[4] && !m_bySingleInput) {
          // One input: the second voltage's tables go.
          for (uint32_t slot = 0; slot < diag_index_registrar::SLOTS; ++slot) {
            const db_object kind = vol::quorDiagTableKind(slot);
            if (g_pDataBase && g_pDataBase->GetValue(kind.offset, kind.width, g_pDataBase->mib_v, 0) == 12)
              g_diag_index_registrar.Withdraw(slot);
          }
          m_dwSlots[FRAME_VOLTAGE2] = diag_index_registrar::NO_SLOT;
        }
        m_bySingleInput = data[4] ? 1 : 0;
      }
      break;
    default:
      break;
  }
}
