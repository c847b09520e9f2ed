// The PMPP link's IP side: datagrams in frames of IPI 0x21 to and from the
// link's IP instance, and the instance's link driver.
#include <cstring>

#include "comm/pmpp/pmpp_link.h"
#include "comm/ppp/link_ip.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t kIpv4Header = 20;
// A frame being built ends once its stuffed length reaches this; the
// datagram goes on in the next frame.
constexpr uint32_t kFrameSplit = PMPP_FRAME_SIZE - 10;
constexpr UINT kNoLink = 0x20;
constexpr UINT kUnhandled = 0x44;

// Frames one datagram into `out`, closed frames back to back; the bytes
// written, or 0 when they do not fit.
uint32_t frame_datagram(const pmpp_link* link, NX_PACKET* packet, uint8_t* out, uint32_t capacity,
                        uint32_t* frames) {
  uint32_t used = 0;
  *frames = 0;
  pmpp_frame_writer w{};
  auto open = [&] {
    pmpp_frame_open(&w, out + used, capacity - used, link->station_address, PMPP_CONTROL);
    pmpp_frame_put(&w, PMPP_IPI_IP);
  };
  auto close = [&] {
    if (!pmpp_frame_close(&w)) return false;
    used += w.length;
    ++*frames;
    return true;
  };
  open();
  for (NX_PACKET* p = packet; p; p = p->nx_packet_next)
    for (const UCHAR* c = p->nx_packet_prepend_ptr; c < p->nx_packet_append_ptr; ++c) {
      if (w.length >= kFrameSplit) {
        if (!close()) return 0;
        open();
      }
      pmpp_frame_put(&w, *c);
    }
  return close() ? used : 0;
}

}  // namespace

bool pmpp_ip_receive_reset(pmpp_link* link) {
  link->datagram_remaining = 0;
  return link_packet_drop(&link->first_packet, &link->current_packet);
}

void pmpp_ip_packet_receive(pmpp_link* link, const uint8_t* data, uint32_t length) {
  if (!link->ip || !link->ip->nx_ip_default_pool) return;
  uint32_t i = 0;
  if (!link->first_packet) {
    // A new datagram: its first frame carries at least its header, whose
    // total length says how many bytes the frames bring.
    const uint32_t total = length >= 4 ? (uint32_t(data[2]) << 8) | data[3] : 0;
    const uint32_t header = length >= 1 ? (data[0] & 0x0Fu) * 4 : 0;
    if (length < kIpv4Header || (data[0] >> 4) != 4 || header < kIpv4Header || total < header ||
        total > PMPP_FRAME_SIZE) {
      ++link->count.datagrams_malformed;
      monitor_printf_debug("pmpp_ip_packet_receive: datagram header refused (%u bytes, total %u)\n", length, total);
      return;
    }
    if (!link_packet_next(link->ip->nx_ip_default_pool, &link->first_packet, &link->current_packet)) {
      ++link->count.datagrams_lost;
      monitor_printf_debug("pmpp_ip_packet_receive: no packet\n");
      return;
    }
    link->first_packet->nx_packet_length = total;
    link->datagram_remaining = static_cast<uint16_t>(total);
  }
  for (; i < length && link->datagram_remaining > 0; ++i, --link->datagram_remaining) {
    if (!link_packet_append(link->ip->nx_ip_default_pool, &link->first_packet, &link->current_packet, data[i])) {
      // The pool ran dry: the datagram is lost, and the next frame starts
      // afresh instead of continuing it.
      ++link->count.datagrams_lost;
      monitor_printf_debug("pmpp_ip_packet_receive: no packet\n");
      pmpp_ip_receive_reset(link);
      return;
    }
  }
  if (i < length) {
    ++link->count.datagrams_malformed;
    monitor_printf_debug("pmpp_ip_packet_receive: frame runs %u bytes past its datagram\n", length - i);
    pmpp_ip_receive_reset(link);
    return;
  }
  if (link->datagram_remaining == 0) {
    NX_PACKET* packet = link->first_packet;
    link->first_packet = link->current_packet = nullptr;
    _nx_ip_packet_deferred_receive(link->ip, packet);
  }
}

void pmpp_ip_packet_send(pmpp_link* link, NX_PACKET* packet) {
  const bool hold = link->request_address == PMPP_ALL_STATIONS || link->group_request;
  uint8_t* out = hold ? link->held + link->held_length : link->tx_buffer;
  const uint32_t capacity = hold ? sizeof link->held - link->held_length : sizeof link->tx_buffer;
  uint32_t frames = 0;
  const uint32_t n = frame_datagram(link, packet, out, capacity, &frames);
  if (n == 0) {
    ++link->count.answers_dropped;
    monitor_printf("pmpp_ip_packet_send: datagram of %u bytes dropped\n", static_cast<uint32_t>(packet->nx_packet_length));
  } else if (hold) {
    // Each datagram joins what waits for the master's poll.
    link->held_length += n;
    link->held_frames += frames;
    link->count.ip_frames_sent += frames;
  } else {
    link->count.frames_sent += frames;
    link->count.ip_frames_sent += frames;
    pmpp_emit(link, out, n);
  }
  _nx_packet_transmit_release(packet);
}

namespace {

void* link_of_ip(NX_IP* ip) { return pmpp_link_of_ip(ip); }
ULONG link_mtu(void*) { return PMPP_FRAME_SIZE; }
TX_MUTEX* link_protect(void* link) { return &static_cast<pmpp_link*>(link)->protect; }
void link_send(void* link, NX_PACKET* packet) { pmpp_ip_packet_send(static_cast<pmpp_link*>(link), packet); }

constexpr link_driver kDriver = {link_of_ip, link_mtu, link_protect, link_send, nullptr,
                                 nullptr,    nullptr,  kNoLink,      kUnhandled};

}  // namespace

VOID pmpp_ip_driver(NX_IP_DRIVER* request) { link_driver_request(request, kDriver); }
