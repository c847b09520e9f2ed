// The PMPP link's life, its worker, frame dispatch and the answers.
#include "comm/pmpp/pmpp_link.h"

#include <cstring>

#include "comm/network.h"
#include "comm/ppp/ppp_link.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/agent/snmp_agent.h"
#include "ntcip/snmp/db/snmp_chap.h"
#include "frame/os/interrupts_masked.h"

namespace {

void serve(pmpp_link* link);
void serve_row(void* link) { serve(static_cast<pmpp_link*>(link)); }
void nx_pmpp_rx_thread(ULONG);
link_worker g_worker = {"pmpp", "PMPP RX WORKER THREAD", "PMPP Worker Events", nx_pmpp_rx_thread, serve_row};
void nx_pmpp_rx_thread(ULONG) { link_worker_run(&g_worker); }

// One counter for all PMPP links paces their front-panel activity report.
uint8_t g_activity_count = 0;

bool read_none(uint8_t*) { return false; }
void write_none(uint8_t) {}

bool queue_take(pmpp_link* link, uint8_t* byte) {
  interrupts_masked m;
  if (link->queue_count == 0) return false;
  *byte = link->queue[link->queue_read];
  link->queue_read = static_cast<uint16_t>((link->queue_read + 1) % PMPP_FRAME_SIZE);
  --link->queue_count;
  return true;
}

// One row of a worker pass.
void serve(pmpp_link* link) {
  if (!link_worker_take_bit(link->worker_events, link->worker_bit) && !link->timeout_pending) return;
  bool had_bytes = false;
  for (;;) {
    // Bytes stay in the port's driver while the queue is full; they are
    // read once it is emptied.
    bool full = false;
    uint8_t b = 0;
    while (!(full = link->queue_count >= PMPP_FRAME_SIZE) && link->read_byte(&b)) pmpp_byte_receive(link, b);
    if (link->queue_count == 0) break;
    if (!had_bytes) {
      had_bytes = true;
      tx_timer_deactivate(&link->timer);
      link->timer_running = 0;
      link->timeout_pending = 0;
    }
    pmpp_receive_queued(link);
    if (!full) break;
  }
  if (!had_bytes) CommLED_Indicate(link->led_bit, 0);
  if (link->timeout_pending) {
    link->timeout_pending = 0;
    link->timer_running = 0;
    if (link->rdi.mode)
      pmpp_rdi_timeout(link);
    else
      pmpp_receive_timeout(link);
  }
  if (link->rdi.mode) {
    pmpp_timer_arm(link, pmpp_rdi_wait(link->rdi));
    return;
  }
  ULONG ticks = link->inter_char_timeout * 100 / 1000;
  if (ticks < PMPP_MINIMUM_TIMEOUT) ticks = PMPP_MINIMUM_TIMEOUT;
  pmpp_timer_arm(link, ticks);
}

// Opens an answer frame of the station's own address.
void open_answer(pmpp_link* link, pmpp_frame_writer* w) {
  pmpp_frame_open(w, link->tx_buffer, sizeof link->tx_buffer, link->station_address, PMPP_CONTROL);
}

// Closes the frame and sends it (under the mutex).
void send_frame(pmpp_link* link, pmpp_frame_writer* w) {
  if (!pmpp_frame_close(w)) {
    ++link->count.answers_dropped;
    monitor_printf("pmpp_send_frame: frame longer than %u bytes dropped\n", w->capacity);
    return;
  }
  ++link->count.frames_sent;
  pmpp_emit(link, w->buffer, w->length);
}

bool group_listed(uint8_t address) { return pmpp_address_listed(address) != 0; }

}  // namespace

// ---------------------------------------------------------------- creation

UINT nx_pmpp_create(pmpp_link* link, const char* name, NX_IP* ip, void* owner, UINT worker_priority) {
  if (!link) return 0;
  std::memset(static_cast<void*>(link), 0, sizeof *link);
  link->name = name;
  link->ip = ip;
  link->owner = owner;
  link->station_address = 1;
  link->write_byte = write_none;
  link->read_byte = read_none;
  link->last_data_protocol = PMPP_IPI_SNMP;
  monitor_printf_debug("pmpp_create ip_ptr %x\n", 0u);
  UINT status = tx_mutex_create(&link->protect, "PMPP PROTECT MUTEX", TX_NO_INHERIT);
  if (status != TX_SUCCESS) monitor_printf("pmpp_create: tx_mutex_create PMPP PROTECT MUTEX failed %02x\n", status);
  link->led_bit = CommLED_RegisterAgent();
  link->row = link_worker_register(&g_worker, link, worker_priority, &link->worker_events, &link->worker_bit);
  status = tx_timer_create(&link->timer, "PMPP Comm Timeout", pmpp_timer_entry, link->row, PMPP_MINIMUM_TIMEOUT, 0,
                           TX_NO_ACTIVATE);
  if (status != TX_SUCCESS) monitor_printf("nx_pmpp_create: tx_timer_create failed:0x%02X\n", status);
  std::memcpy(link->tag, "PMPP", 4);
  return 0;
}

void pmpp_destroy(pmpp_link* link) {
  if (!link || std::memcmp(link->tag, "PMPP", 4) != 0) return;
  {
    interrupts_masked m;
    link_worker_remove(&g_worker, link->row, link);
    std::memset(link->tag, 0, sizeof link->tag);
  }
  tx_timer_deactivate(&link->timer);
  tx_timer_delete(&link->timer);
  pmpp_ip_receive_reset(link);
  tx_mutex_delete(&link->protect);
}

pmpp_link* pmpp_link_of_ip(NX_IP* ip) {
  if (!ip) return nullptr;
  interrupts_masked m;
  for (uint32_t row = 0; row < PMPP_WORKER_LINKS; ++row) {
    auto* link = static_cast<pmpp_link*>(link_worker_row(&g_worker, row));
    if (link && link->ip == ip) return link;
  }
  return nullptr;
}

void pmpp_forget_links() { link_worker_forget(&g_worker); }

bool pmpp_in_worker() { return link_worker_in(&g_worker); }

void pmpp_set_port_hooks(pmpp_link* link, pmpp_read_byte_fn read, pmpp_write_byte_fn write, pmpp_frame_send_fn send) {
  if (!link) return;
  // A frame being written keeps the port it started on.
  tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
  link->read_byte = read ? read : read_none;
  link->write_byte = write ? write : write_none;
  link->frame_send = send;
  tx_mutex_put(&link->protect);
}

void pmpp_set_station_address(pmpp_link* link, uint8_t address) {
  if (link) link->station_address = address;
}

void nx_pmpp_set_inner_char_timeout(pmpp_link* link, uint32_t milliseconds) {
  if (link) link->inter_char_timeout = milliseconds;
}

// ---------------------------------------------------------------- byte path

UINT pmpp_byte_receive(pmpp_link* link, uint8_t byte) {
  if (!link) return PMPP_QUEUE_FULL;
  {
    interrupts_masked m;
    if (link->queue_count >= PMPP_FRAME_SIZE) {
      ++link->count.bytes_dropped;
      return PMPP_QUEUE_FULL;
    }
    link->queue[link->queue_write] = byte;
    link->queue_write = static_cast<uint16_t>((link->queue_write + 1) % PMPP_FRAME_SIZE);
    ++link->queue_count;
    ++link->count.bytes_received;
  }
  if (link->worker_events) tx_event_flags_set(link->worker_events, link->worker_bit, TX_OR);
  return PMPP_BYTE_DONE;
}

void pmpp_receive_queued(pmpp_link* link) {
  uint8_t b = 0;
  while (queue_take(link, &b)) {
    link_activity_paced(&g_activity_count, 1);
    CommLED_Indicate(link->led_bit, 1);
    if (link->rdi.mode) {
      pmpp_rdi_byte(link, b);
      continue;
    }
    switch (pmpp_deframe_byte(&link->rx, b)) {
      case PMPP_RX_FRAME:
        ++link->count.frames_received;
        pmpp_frame_dispatch(link, link->rx.buffer, link->rx.length);
        break;
      case PMPP_RX_OUTSIDE:
        ++link->count.bytes_outside;
        break;
      case PMPP_RX_FCS_ERROR:
        ++link->count.fcs_errors;
        monitor_printf_debug("pmpp_receive_buffer_process: FCS error\n");
        break;
      case PMPP_RX_TOO_LONG:
        ++link->count.frames_too_long;
        break;
      case PMPP_RX_ABORTED:
        ++link->count.frames_aborted;
        break;
      case PMPP_RX_SHORT:
        ++link->count.frames_short;
        break;
      default:
        break;
    }
  }
}

void pmpp_receive_timeout(pmpp_link* link) {
  if (pmpp_deframe_reset(&link->rx)) ++link->count.frames_timed_out;
  // The rest of a datagram comes in frames right after its first: silence
  // ends it, so that the next request does not continue it.
  if (pmpp_ip_receive_reset(link)) ++link->count.datagrams_lost;
}

void pmpp_frame_dispatch(pmpp_link* link, const uint8_t* frame, uint32_t length) {
  pmpp_request r{};
  const pmpp_frame_kind kind = pmpp_frame_parse(frame, length, link->station_address, group_listed, &r);
  switch (kind) {
    case PMPP_FRAME_SHORT:
      ++link->count.frames_short;
      return;
    case PMPP_FRAME_OTHER_STATION:
      ++link->count.frames_other_station;
      return;
    case PMPP_FRAME_BAD_CONTROL:
      ++link->count.frames_bad_control;
      return;
    default:
      break;
  }
  link->request_address = r.to.address;
  link->group_request = r.to.group ? 255 : 0;
  if (r.poll) {
    ++link->count.polls;
    pmpp_send_poll_answer(link);
  }
  switch (kind) {
    case PMPP_FRAME_SNMP:
      link->last_data_protocol = PMPP_IPI_SNMP;
      if (auto* agent = static_cast<snmp_agent*>(link->owner)) snmp_agent_process(agent, r.data, r.length);
      break;
    case PMPP_FRAME_SNMP_MALFORMED:
      ++link->count.messages_malformed;
      monitor_printf_debug("pmpp_snmp_frame_receive: message header runs past its frame (%u bytes)\n", r.length);
      break;
    case PMPP_FRAME_IP:
      link->last_data_protocol = PMPP_IPI_IP;
      ++link->count.ip_frames_received;
      pmpp_ip_packet_receive(link, r.data, r.length);
      break;
    case PMPP_FRAME_OTHER_IPI:
      ++link->count.other_ipi_frames;
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- sending

void pmpp_emit(pmpp_link* link, const uint8_t* bytes, uint32_t length) {
  if (length == 0) return;
  if (link->frame_send && link->frame_send(bytes, length)) return;
  for (uint32_t i = 0; i < length; ++i) link->write_byte(bytes[i]);
  link->count.bytes_sent += length;
}

void ntcip_pmpp_packet_send(pmpp_link* link, const uint8_t* message, uint32_t length) {
  if (!link || (!message && length)) return;
  tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
  pmpp_frame_writer w{};
  open_answer(link, &w);
  pmpp_frame_put(&w, PMPP_IPI_SNMP);
  for (uint32_t i = 0; i < length; ++i) pmpp_frame_put(&w, message[i]);
  if (link->request_address != PMPP_ALL_STATIONS && !link->group_request) {
    send_frame(link, &w);
  } else if (!pmpp_frame_close(&w)) {
    ++link->count.answers_dropped;
    monitor_printf("ntcip_pmpp_packet_send: answer of %u bytes dropped\n", length);
  } else {
    // Held whole until the master polls.
    std::memcpy(link->held, w.buffer, w.length);
    link->held_length = w.length;
    link->held_frames = 1;
  }
  tx_mutex_put(&link->protect);
}

void pmpp_send_poll_answer(pmpp_link* link) {
  tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
  if (link->held_length) {
    link->count.frames_sent += link->held_frames;
    const uint32_t n = link->held_length;
    link->held_length = 0;
    link->held_frames = 0;
    pmpp_emit(link, link->held, n);
  } else {
    pmpp_frame_writer w{};
    open_answer(link, &w);
    send_frame(link, &w);
  }
  tx_mutex_put(&link->protect);
}

// ---------------------------------------------------------------- worker

void pmpp_worker_pass() { link_worker_pass(&g_worker); }

void pmpp_timer_entry(ULONG row) {
  auto* link = static_cast<pmpp_link*>(link_worker_row(&g_worker, row));
  if (!link) return;
  link->timeout_pending = 1;
  link->timer_running = 0;
  tx_event_flags_set(link->worker_events, link->worker_bit, TX_OR);
}

void pmpp_timer_arm(pmpp_link* link, ULONG ticks) {
  if (link->timer_running) return;
  tx_timer_deactivate(&link->timer);
  tx_timer_change(&link->timer, ticks, 0);
  tx_timer_activate(&link->timer);
  link->timer_running = 1;
}

void pmpp_timer_restart(pmpp_link* link, ULONG ticks) {
  link->timer_running = 0;
  link->timeout_pending = 0;
  pmpp_timer_arm(link, ticks);
}
