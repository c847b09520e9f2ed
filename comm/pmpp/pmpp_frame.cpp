#include "comm/pmpp/pmpp_frame.h"

#include <cstring>

#include "frame/util/crc16.h"
#include "ntcip/snmp/asn1.h"

namespace {

constexpr uint16_t kFcsInitial = 0xFFFF;
constexpr uint16_t kFcsGood = 0xF0B8;


// Room a frame keeps for its FCS (stuffed) and closing flag.
constexpr uint32_t kTail = 5;
// Address, control byte, two FCS bytes.
constexpr uint32_t kShortest = 4;

void put_raw(pmpp_frame_writer* w, uint8_t byte) {
  if (w->length + kTail > w->capacity) {
    w->overflow = 1;
    return;
  }
  w->buffer[w->length++] = byte;
}

void put_stuffed(pmpp_frame_writer* w, uint8_t byte) {
  if (byte == PMPP_FLAG || byte == PMPP_ESCAPE) {
    put_raw(w, PMPP_ESCAPE);
    put_raw(w, byte ^ 0x20);
  } else {
    put_raw(w, byte);
  }
}

}  // namespace

uint32_t pmpp_address_field(uint8_t address, uint8_t out[2]) {
  if (address < 64) {
    out[0] = static_cast<uint8_t>(address * 4 + 1);
    return 1;
  }
  out[0] = static_cast<uint8_t>((address * 4) & 0xFF);
  out[1] = static_cast<uint8_t>((address / 32) | 1);
  return 2;
}

bool pmpp_address_parse(const uint8_t* p, const uint8_t* end, pmpp_address* out) {
  if (!p || !out || p >= end) return false;
  const uint8_t first = p[0];
  out->group = (first & 2) ? 1 : 0;
  if (first & 1) {
    out->address = static_cast<uint8_t>(first / 4);
    out->length = 1;
    return true;
  }
  if (end - p < 2) return false;
  out->address = static_cast<uint8_t>(first / 4 + (p[1] & 0xFE) * 32);
  out->length = 2;
  return true;
}

void pmpp_frame_open(pmpp_frame_writer* w, uint8_t* buffer, uint32_t capacity, uint8_t address, uint8_t control) {
  w->buffer = buffer;
  w->capacity = capacity;
  w->length = 0;
  w->fcs = kFcsInitial;
  w->overflow = 0;
  put_raw(w, PMPP_FLAG);
  uint8_t field[2];
  const uint32_t n = pmpp_address_field(address, field);
  for (uint32_t i = 0; i < n; ++i) pmpp_frame_put(w, field[i]);
  pmpp_frame_put(w, control);
}

void pmpp_frame_put(pmpp_frame_writer* w, uint8_t byte) {
  w->fcs = crc16_fcs(w->fcs, &byte, 1);
  put_stuffed(w, byte);
}

bool pmpp_frame_close(pmpp_frame_writer* w) {
  const uint16_t fcs = static_cast<uint16_t>(~w->fcs);
  // The tail was kept free: these never overflow.
  w->capacity += kTail;
  put_stuffed(w, static_cast<uint8_t>(fcs & 0xFF));
  put_stuffed(w, static_cast<uint8_t>(fcs >> 8));
  put_raw(w, PMPP_FLAG);
  w->capacity -= kTail;
  return !w->overflow;
}

pmpp_rx_result pmpp_deframe_byte(pmpp_deframer* d, uint8_t byte) {
  if (!d->in_frame) {
    if (byte != PMPP_FLAG) return PMPP_RX_OUTSIDE;
    d->in_frame = 1;
    d->fill = 0;
    d->escaped = d->overflow = 0;
    return PMPP_RX_MORE;
  }
  if (byte == PMPP_FLAG) {
    // The flag that closes this frame opens the next.
    const uint32_t n = d->fill;
    const bool escaped = d->escaped, overflow = d->overflow;
    d->fill = 0;
    d->escaped = d->overflow = 0;
    if (escaped) return PMPP_RX_ABORTED;
    if (overflow) return PMPP_RX_TOO_LONG;
    if (n == 0) return PMPP_RX_MORE;  // back-to-back flags
    if (n < kShortest) return PMPP_RX_SHORT;
    if (crc16_fcs(kFcsInitial, d->buffer, n) != kFcsGood) return PMPP_RX_FCS_ERROR;
    d->length = static_cast<uint16_t>(n - 2);
    return PMPP_RX_FRAME;
  }
  if (byte == PMPP_ESCAPE && !d->escaped) {
    d->escaped = 1;
    return PMPP_RX_MORE;
  }
  if (d->escaped) {
    byte ^= 0x20;
    d->escaped = 0;
  }
  if (d->fill >= sizeof d->buffer)
    d->overflow = 1;
  else
    d->buffer[d->fill++] = byte;
  return PMPP_RX_MORE;
}

bool pmpp_deframe_reset(pmpp_deframer* d) {
  const bool lost = d->in_frame && (d->fill > 0 || d->overflow || d->escaped);
  d->in_frame = 0;
  d->fill = 0;
  d->escaped = d->overflow = 0;
  return lost;
}

uint32_t pmpp_message_length(const uint8_t* p, uint32_t available) {
  if (!p || available == 0) return 0;
  asn1_stream s{};
  // The decoder only reads through the stream.
  if (!g_asn1_open(&s, const_cast<uint8_t*>(p), available, ASN1_DECODE)) return 0;
  uint8_t* end = nullptr;
  uint32_t cls = 0, form = 0, tag = 0;
  if (!g_asn1_header_decode(&s, &end, &cls, &form, &tag)) return 0;
  if (cls != ASN1_UNI || form != ASN1_CON || tag != ASN1_SEQ || !end) return 0;
  return static_cast<uint32_t>(end - p);
}

pmpp_frame_kind pmpp_frame_parse(const uint8_t* frame, uint32_t length, uint8_t station,
                                 bool (*group_listed)(uint8_t address), pmpp_request* out) {
  *out = pmpp_request{};
  const uint8_t* p = frame;
  const uint8_t* end = frame + length;
  if (!pmpp_address_parse(p, end, &out->to)) return PMPP_FRAME_SHORT;
  p += out->to.length;
  const uint8_t address = out->to.address;
  const bool mine = address == PMPP_ALL_STATIONS ||
                    (out->to.group ? group_listed && group_listed(address) : address == station);
  if (!mine) return PMPP_FRAME_OTHER_STATION;
  if (p >= end) return PMPP_FRAME_SHORT;
  const uint8_t control = *p++;
  if (control == PMPP_CONTROL_POLL) {
    if (p >= end || *p != PMPP_POLL_BYTE) return PMPP_FRAME_BAD_CONTROL;
    ++p;
    out->poll = 1;
  } else if (control != PMPP_CONTROL && control != PMPP_CONTROL_UI) {
    return PMPP_FRAME_BAD_CONTROL;
  }
  if (p >= end) return PMPP_FRAME_NO_DATA;
  out->ipi = *p++;
  out->data = p;
  out->length = static_cast<uint32_t>(end - p);
  if (out->ipi == PMPP_IPI_IP) return PMPP_FRAME_IP;
  if (out->ipi != PMPP_IPI_SNMP) return PMPP_FRAME_OTHER_IPI;
  // The message's own header says how long it is; it must end within the
  // frame, and bytes after it are not part of it.
  out->length = pmpp_message_length(p, out->length);
  return out->length ? PMPP_FRAME_SNMP : PMPP_FRAME_SNMP_MALFORMED;
}
