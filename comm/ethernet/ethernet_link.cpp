#include "comm/ethernet/ethernet_link.h"

#include <cstring>
#include <new>

#include "comm/network.h"
#include "comm/ppp/ppp_link.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/snmp_counters.h"
#include "frame/os/interrupts_masked.h"

namespace {

ethernet_link* g_head = nullptr;
uint32_t g_link_count = 0;
// One counter for all Ethernet links paces their front-panel activity report.
uint8_t g_activity_count = 0;

void receive_thread_entry(ULONG) {
  TX_THREAD* self = tx_thread_identify();
  ethernet_link* link = nullptr;
  {
    interrupts_masked m;
    ethernet_link* l = g_head;
    for (uint32_t i = 0; l && i < g_link_count; ++i, l = l->next) {
      if (&l->receive_thread == self) {
        link = l;
        break;
      }
    }
  }
  if (!link) return;
  // Once a wait has run out (the LED is off) and no message is part-way in,
  // a time-out has nothing left to do: wait for the next piece.
  bool lapsed = false;
  for (;;) {
    const bool quiet = lapsed && link->state == 0 && link->message_length == 0;
    lapsed = !ethernet_receive_step(link, quiet ? TX_WAIT_FOREVER : ETHERNET_WAIT_SLICE);
  }
}

void reset_assembly(ethernet_link* link) {
  link->state = 0;
  link->message_length = 0;
  link->remaining = 0;
  link->length_bytes = 0;
}

void deliver(ethernet_link* link) {
  uint32_t length = link->message_length;
  reset_assembly(link);
  ++link->messages_received;
  link->reply_to = link->source;
  if (link->deliver) {
    link->deliver(link, link->message, length);
  } else if (snmp_agent* agent = link->agent) {
    if (length > SNMP_AGENT_BUFFER) {
      monitor_printf("SNMP PACKET TOO LONG: %d\n", length);
      length = SNMP_AGENT_BUFFER;
    }
    agent->last_sender_address[0] = static_cast<uint8_t>(link->source.address >> 24);
    agent->last_sender_address[1] = static_cast<uint8_t>(link->source.address >> 16);
    agent->last_sender_address[2] = static_cast<uint8_t>(link->source.address >> 8);
    agent->last_sender_address[3] = static_cast<uint8_t>(link->source.address);
    agent->last_sender_port = link->source.port;
    if (agent->receive_buffer) {
      std::memcpy(agent->receive_buffer, link->message, length);
      snmp_agent_process(agent, agent->receive_buffer, length);
    }
  }
  tx_thread_relinquish();
}

bool append(ethernet_link* link, uint8_t byte) {
  if (link->message_length >= ETHERNET_MESSAGE_SIZE) {
    reset_assembly(link);
    return false;
  }
  link->message[link->message_length++] = byte;
  return true;
}

// One byte through the assembly; true when it completed a message.
bool assemble(ethernet_link* link, uint8_t byte) {
  switch (link->state) {
    case 0:
      if (byte != 0x30) return false;
      append(link, byte);
      link->state = 1;
      return false;
    case 1:
      if (!append(link, byte)) return false;
      if (byte & 0x80) {
        link->length_bytes = byte & 0x7F;
        link->remaining = 0;
        link->state = 2;
        if (link->length_bytes != 0) return false;
      } else {
        link->remaining = byte;
      }
      break;
    case 2:
      if (!append(link, byte)) return false;
      link->remaining = (link->remaining << 8) | byte;
      // Checked at every byte, so that no length of any size can wrap.
      if (link->remaining > ETHERNET_CONTENT_MAX) {
        reset_assembly(link);
        return false;
      }
      if (--link->length_bytes != 0) return false;
      break;
    default:
      if (!append(link, byte)) return false;
      if (link->remaining > 0) --link->remaining;
      return link->remaining == 0;
  }
  // The length is complete: the content follows.
  link->state = 3;
  return link->remaining == 0;
}

UINT enqueue(ethernet_link* link, const uint8_t* data, uint32_t length, uint8_t kind, const ethernet_peer& from) {
  if (!link || (!data && length)) return ETHERNET_QUEUE_FULL;
  if (length == 0) return 0;
  uint32_t taken = 0;
  bool new_chunk = false;
  {
    interrupts_masked m;
    const uint32_t room = link->queue_capacity - link->count;
    ethernet_chunk* tail =
        link->chunk_count ? &link->chunks[(link->chunk_head + link->chunk_count - 1) % ETHERNET_CHUNKS] : nullptr;
    const bool merge = kind == ETHERNET_STREAM && tail && tail->kind == ETHERNET_STREAM && tail->peer == from;
    if (merge || link->chunk_count < ETHERNET_CHUNKS) {
      if (kind == ETHERNET_DATAGRAM)
        taken = length <= room ? length : 0;
      else
        taken = length <= room ? length : room;
    }
    for (uint32_t i = 0; i < taken; ++i) {
      link->queue[link->write_index] = data[i];
      link->write_index = static_cast<uint16_t>((link->write_index + 1) % link->queue_capacity);
    }
    if (taken) {
      link->count = static_cast<uint16_t>(link->count + taken);
      link->bytes_received += taken;
      if (merge) {
        tail->length = static_cast<uint16_t>(tail->length + taken);
      } else {
        ethernet_chunk& c = link->chunks[(link->chunk_head + link->chunk_count) % ETHERNET_CHUNKS];
        c.length = static_cast<uint16_t>(taken);
        c.kind = kind;
        c.peer = from;
        ++link->chunk_count;
        new_chunk = true;
      }
    }
    link->bytes_dropped += length - taken;
  }
  if (new_chunk) {
    UINT status = tx_semaphore_put(&link->arrived);
    if (status != TX_SUCCESS) monitor_printf_debug("---ethernet_byte_receive tx_sem put failed %02x\n", status);
  }
  if (taken < length) {
    monitor_printf("_nx_ethernet_byte_receive: error buffer full\n");
    return ETHERNET_QUEUE_FULL;
  }
  return 0;
}

void unlink(ethernet_link* link) {
  interrupts_masked m;
  if (!g_head || !link->next) return;
  if (link->next == link) {
    g_head = nullptr;
  } else {
    link->previous->next = link->next;
    link->next->previous = link->previous;
    if (g_head == link) g_head = link->next;
  }
  link->next = link->previous = nullptr;
  --g_link_count;
}

}  // namespace

void null_byte_output(uint8_t) {}

int null_frame_send(const uint8_t*, uint32_t, const ethernet_peer*) { return 0; }

int ethernet_create(ethernet_link* link, const char* name, void* context, snmp_agent* agent, UINT priority,
                    TX_BYTE_POOL* stacks, ethernet_byte_output byte_output, ethernet_frame_send frame_send) {
  if (!link) return TX_PTR_ERROR;
  std::memset(static_cast<void*>(link), 0, sizeof *link);
  link->name = name;
  link->context = context;
  link->agent = agent;
  link->byte_output = byte_output ? byte_output : null_byte_output;
  link->frame_send = frame_send ? frame_send : null_frame_send;
  link->queue_capacity = ETHERNET_QUEUE_SIZE;
  link->led_bit = CommLED_RegisterAgent();

  int result = 0;
  UINT status = tx_mutex_create(&link->protection, "ETHERNET PROTECT MUTEX", TX_NO_INHERIT);
  if (status != TX_SUCCESS) {
    monitor_printf("ethernet_create: tx_mutex_create ETHERNET PROTECT MUTEX failed  %02x\n", status);
    result = static_cast<int>(status);
  }
  status = tx_semaphore_create(&link->arrived, "ETHERNET SERIAL BUFFER SEMAPHORE", 0);
  if (status != TX_SUCCESS) {
    monitor_printf("ethernet_create: tx_semaphore_create ETHERNET SERIAL BUFFER SEMAPHORE failed %02x\n", status);
    if (!result) result = static_cast<int>(status);
  }

  link->id = ETHERNET_LINK_ID;
  {
    interrupts_masked m;
    if (!g_head) {
      g_head = link->next = link->previous = link;
    } else {
      link->next = g_head;
      link->previous = g_head->previous;
      g_head->previous->next = link;
      g_head->previous = link;
    }
    ++g_link_count;
  }

  void* stack = nullptr;
  status = stacks ? tx_byte_allocate(stacks, &stack, ETHERNET_STACK_SIZE, TX_NO_WAIT) : TX_PTR_ERROR;
  if (status != TX_SUCCESS || !stack) {
    monitor_printf("nx_ethernet_receive_thread Allocation Error:%d! Ptr:%08x, Size:%d\n", status,
                   static_cast<uint32_t>(reinterpret_cast<uintptr_t>(stack)), ETHERNET_STACK_SIZE);
    return result ? result : static_cast<int>(status ? status : TX_NO_MEMORY);
  }
  std::memset(stack, 0xEF, ETHERNET_STACK_SIZE);
  link->receive_stack = stack;
  status = tx_thread_create(&link->receive_thread, "ETHERNET RECEIVE THREAD", receive_thread_entry, 0, stack,
                            ETHERNET_STACK_SIZE, priority, priority, TX_NO_TIME_SLICE, TX_AUTO_START);
  if (status != TX_SUCCESS) {
    monitor_printf("ethernet_create: nx_ethernet_rx_thread failed %02x\n", status);
    if (!result) result = static_cast<int>(status);
  }
  return result;
}

void ethernet_destroy(ethernet_link* link) {
  if (!link || link->id != ETHERNET_LINK_ID) return;
  unlink(link);
  if (link->receive_stack) {
    tx_thread_terminate(&link->receive_thread);
    tx_thread_delete(&link->receive_thread);
    tx_byte_release(link->receive_stack);
    link->receive_stack = nullptr;
  }
  tx_semaphore_delete(&link->arrived);
  tx_mutex_delete(&link->protection);
  link->id = 0;
}

void ethernet_forget_links() {
  interrupts_masked m;
  g_head = nullptr;
  g_link_count = 0;
}

void ethernet_set_hooks(ethernet_link* link, ethernet_byte_output byte_output, ethernet_frame_send frame_send) {
  if (!link) return;
  link->byte_output = byte_output ? byte_output : null_byte_output;
  link->frame_send = frame_send ? frame_send : null_frame_send;
}

void ethernet_set_timeout(ethernet_link* link, uint32_t timeout) {
  if (link) link->inter_char_timeout = timeout;
}

UINT ethernet_datagram_receive(ethernet_link* link, const uint8_t* data, uint32_t length, const ethernet_peer& from) {
  return enqueue(link, data, length, ETHERNET_DATAGRAM, from);
}

UINT ethernet_stream_receive(ethernet_link* link, const uint8_t* data, uint32_t length, const ethernet_peer& from) {
  return enqueue(link, data, length, ETHERNET_STREAM, from);
}

UINT _nx_ethernet_byte_receive(ethernet_link* link, uint8_t byte) {
  return enqueue(link, &byte, 1, ETHERNET_STREAM, ethernet_peer{});
}

bool ethernet_receive_step(ethernet_link* link, ULONG wait) {
  ++link->idle;
  if (tx_semaphore_get(&link->arrived, wait) != TX_SUCCESS) {
    CommLED_Indicate(link->led_bit, 0);
    uint32_t limit = ETHERNET_IDLE_LIMIT + (link->inter_char_timeout ? link->inter_char_timeout / 250 : 0);
    if (link->idle >= limit) {
      monitor_printf_debug("nx_ethernet_time_out\n");
      link->idle = 0;
      reset_assembly(link);
    }
    return false;
  }
  ethernet_chunk chunk{};
  {
    interrupts_masked m;
    if (link->chunk_count == 0) return true;
    chunk = link->chunks[link->chunk_head];
    link->chunk_head = static_cast<uint8_t>((link->chunk_head + 1) % ETHERNET_CHUNKS);
    --link->chunk_count;
    for (uint32_t i = 0; i < chunk.length; ++i) {
      link->work[i] = link->queue[link->read_index];
      link->read_index = static_cast<uint16_t>((link->read_index + 1) % link->queue_capacity);
    }
    link->count = static_cast<uint16_t>(link->count - chunk.length);
  }
  link_activity_paced(&g_activity_count, chunk.length);
  CommLED_Indicate(link->led_bit, 1);
  link->idle = 0;

  // A datagram starts afresh; so does a stream whose bytes come from
  // another connection than the open message's.
  if (chunk.kind == ETHERNET_DATAGRAM || !(chunk.peer == link->source)) reset_assembly(link);
  link->source = chunk.peer;
  // A datagram is a message from its first byte, or none.
  const uint32_t length = chunk.kind == ETHERNET_DATAGRAM && chunk.length && link->work[0] != 0x30 ? 0 : chunk.length;
  for (uint32_t i = 0; i < length; ++i) {
    if (!assemble(link, link->work[i])) continue;
    deliver(link);
    if (chunk.kind == ETHERNET_DATAGRAM) break;  // one message per datagram
  }
  if (chunk.kind == ETHERNET_DATAGRAM) reset_assembly(link);
  return true;
}

int ethernet_send(ethernet_link* link, const uint8_t* bytes, uint32_t length) {
  if (!link || (!bytes && length)) return 0;
  tx_mutex_get(&link->protection, TX_WAIT_FOREVER);
  int sent = 0;
  if (length <= ETHERNET_FRAME_SIZE) {
    std::memcpy(link->frame, bytes, length);
    link->frame_length = length;
    sent = link->frame_send ? link->frame_send(link->frame, length, &link->reply_to) : 0;
  }
  if (sent) {
    ++link->frames_transmitted;
  } else {
    monitor_printf("failed to transmit packet on ethernet\n");
    for (uint32_t i = 0; i < length; ++i) {
      link->byte_output(bytes[i]);
      ++link->bytes_output;
    }
  }
  tx_mutex_put(&link->protection);
  return sent ? 1 : 0;
}

ethernet_link* ethernet_find(const char* agent_name) {
  if (!agent_name) return nullptr;
  interrupts_masked m;
  ethernet_link* l = g_head;
  for (uint32_t i = 0; l && i < g_link_count; ++i, l = l->next)
    if (l->agent && std::strncmp(l->agent->name, agent_name, SNMP_AGENT_NAME_SIZE) == 0) return l;
  return nullptr;
}

ethernet_link* ethernet_link_of(snmp_agent* agent) {
  if (!agent) return nullptr;
  auto* link = static_cast<ethernet_link*>(agent->transport_area);
  return link && link->id == ETHERNET_LINK_ID ? link : nullptr;
}

int snmp_ethernet_net_drv(snmp_agent* agent, uint32_t, uint32_t operation, uint8_t* buffer, uint32_t* length) {
  if (!agent) return 1;
  switch (operation) {
    case SNMP_NET_INITIALISE: {
      if (!buffer || !length || agent->memory_size < sizeof(ethernet_link)) return 1;
      auto* link = new (buffer) ethernet_link();
      agent->transport_area = link;
      *length = sizeof(ethernet_link);
      ethernet_create(link, "SNMP OVER ethernet", nullptr, agent, ETHERNET_PRIORITY, comm_thread_stack_pool(),
                      null_byte_output, null_frame_send);
      return 0;
    }
    case SNMP_NET_SEND: {
      ethernet_link* link = ethernet_link_of(agent);
      if (!link || !buffer || !length) return 1;
      if (!ethernet_send(link, buffer, *length)) return 1;
      snmp_counter_add(snmp_counter::snmpOutPkts);
      return 0;
    }
    case SNMP_NET_OPEN:
    case SNMP_NET_RECEIVE:
    case SNMP_NET_CLOSE:
      return 0;
    default:
      return 1;
  }
}
