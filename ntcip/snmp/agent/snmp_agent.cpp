#include "ntcip/snmp/agent/snmp_agent.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "frame/trace/trace.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "ntcip/snmp/snmp_counters.h"

TX_MUTEX g_snmp_protect_mutex;

namespace {

constexpr uint32_t kAlign = 16;
// Nested processing within one thread (a callback that processes another
// message) is bounded.
constexpr uint32_t kMaxDepth = 4;

uint32_t align_up(uint32_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

// What one call of snmp_agent_process works on: its decoded message (about
// 400 KB, never on a dispatch thread's stack) and the buffer its response is
// encoded in. Responses are encoded per call rather than in the agent's
// one response buffer, so that two threads of one agent (its UDP and TCP
// dispatch threads, a link's frame receiver) never encode into the same
// bytes while one of them waits in the transport's send.
struct call_storage {
    snmp_message message;
    uint8_t response[SNMP_AGENT_BUFFER];
};

struct call_frame {
    snmp_agent* agent;
    call_storage* storage;
    bool slot_given_back;
    call_frame* outer;
};

// Each thread that processes messages keeps its storage for its life: one
// allocation per thread and depth, none per message.
thread_local std::vector<std::unique_ptr<call_storage>> t_storage;
thread_local call_frame* t_frame = nullptr;
thread_local uint32_t t_depth = 0;

call_storage* storage_at(uint32_t depth)
{
    if (depth >= kMaxDepth)
        return nullptr;
    if (t_storage.size() <= depth)
        t_storage.resize(depth + 1);
    if (!t_storage[depth])
        t_storage[depth].reset(new (std::nothrow) call_storage);
    return t_storage[depth].get();
}

// A NUL-terminated text into a message's buffer of `size` bytes.
void copy_text(char* to, uint32_t size, uint32_t* length, const char* from)
{
    uint32_t n = 0;
    if (from)
        while (n + 1 < size && from[n])
            ++n;
    if (to != from)
        std::memmove(to, from, n);
    to[n] = 0;
    *length = n;
}

snmp_agent* agent_of_thread(uint32_t ipi)
{
    TX_THREAD* t = tx_thread_identify();
    if (!t)
        return nullptr;
    size_t offset = ipi == SNMP_IPI_TCP ? offsetof(snmp_agent, tcp_thread) : offsetof(snmp_agent, udp_thread);
    return reinterpret_cast<snmp_agent*>(reinterpret_cast<uint8_t*>(t) - offset);
}

// The kernel passes a word to a thread's entry; the agent is found from the
// thread's control block, which lies in it.
void dispatch_trampoline(ULONG ipi)
{
    snmp_agent* agent = agent_of_thread(ipi);
    if (!agent)
        return;
    snmp_dispatch_entry entry = ipi == SNMP_IPI_TCP ? agent->tcp_entry : agent->udp_entry;
    if (entry)
        entry(agent);
}

std::atomic<uint32_t> g_led_registrations{0};

}  // namespace

void snmp_entry()
{
    UINT status = tx_mutex_create(&g_snmp_protect_mutex, "SNMP PROTECT MUTEX", TX_NO_INHERIT);
    if (status != TX_SUCCESS)
        monitor_printf("snmp_entry: tx_mutex_create SNMP PROTECT MUTEX failed  %02x\n", status);
    snmp_db_services_init();
    snmp_mib_init();
}

int snmp_agent_create(snmp_agent* agent, const char* name, uint16_t snmp_port, uint16_t trap_port,
                      const uint8_t own_address[4], uint8_t* memory, uint32_t memory_size, uint32_t* used,
                      uint32_t stack_size, snmp_request_callback process, snmp_request_callback second,
                      snmp_net_drv transport, snmp_dispatch_entry udp_entry, snmp_dispatch_entry tcp_entry)
{
    if (!agent || !used || !memory || !transport)
        return TX_PTR_ERROR;
    agent->local = 0;
    agent->process = process;
    agent->second = second;
    agent->transport = transport;
    std::memset(agent->name, 0, sizeof agent->name);
    if (name)
        std::strncpy(agent->name, name, sizeof agent->name - 1);
    if (own_address)
        std::memcpy(agent->own_address, own_address, 4);
    else
        std::memset(agent->own_address, 0, 4);
    agent->snmp_port = snmp_port;
    agent->trap_port = trap_port;
    agent->last_sender_port = 0;
    std::memset(agent->last_sender_address, 0, 4);
    std::memset(agent->slots, 0, sizeof agent->slots);
    agent->response_buffer = nullptr;
    agent->receive_buffer = nullptr;
    agent->memory = memory;
    agent->memory_size = memory_size;
    agent->transport_area = nullptr;  // the transport places its state
    agent->udp_entry = udp_entry;
    agent->tcp_entry = tcp_entry;
    *used = 0;

    int rc = transport(agent, SNMP_IPI_UDP, SNMP_NET_INITIALISE, memory, used);
    if (rc != 0) {
        monitor_printf("snmp_agent_create: snmp_net_drv failed %d\n", rc);
        return rc;
    }
    if (!agent->transport_area)
        agent->transport_area = memory;
    uint32_t offset = align_up(*used);
    uint64_t need = uint64_t(offset) + 2 * align_up(SNMP_AGENT_BUFFER) + (udp_entry ? align_up(stack_size) : 0) +
                    (tcp_entry ? align_up(stack_size) : 0);
    if (*used > memory_size || need > memory_size) {
        monitor_printf("snmp_agent_create: %u bytes of memory, %u needed\n", memory_size, static_cast<uint32_t>(need));
        return TX_SIZE_ERROR;
    }
    agent->response_buffer = memory + offset;
    offset += align_up(SNMP_AGENT_BUFFER);
    agent->receive_buffer = memory + offset;
    offset += align_up(SNMP_AGENT_BUFFER);
    *used = offset;

    if (udp_entry) {
        uint8_t* stack = memory + offset;
        offset += align_up(stack_size);
        *used = offset;
        UINT status = tx_thread_create(&agent->udp_thread, "SNMP UDP Dispatch", dispatch_trampoline, SNMP_IPI_UDP,
                                       stack, stack_size, SNMP_DISPATCH_PRIORITY, SNMP_DISPATCH_PRIORITY,
                                       TX_NO_TIME_SLICE, TX_AUTO_START);
        if (status != TX_SUCCESS) {
            monitor_printf("snmp_agent_create: tx_thread_create failed %d\n", status);
            return static_cast<int>(status);
        }
    }
    if (tcp_entry) {
        uint8_t* stack = memory + offset;
        offset += align_up(stack_size);
        *used = offset;
        UINT status = tx_thread_create(&agent->tcp_thread, "SNMP TCP Dispatch", dispatch_trampoline, SNMP_IPI_TCP,
                                       stack, stack_size, SNMP_DISPATCH_PRIORITY, SNMP_DISPATCH_PRIORITY,
                                       TX_NO_TIME_SLICE, TX_AUTO_START);
        if (status != TX_SUCCESS) {
            monitor_printf("snmp_agent_create_tcp: tx_thread_create failed %d\n", status);
            return static_cast<int>(status);
        }
    }
    return 0;
}

void snmp_agent_process(snmp_agent* agent, const uint8_t* message, uint32_t length)
{
    if (!agent)
        return;
    call_storage* storage = storage_at(t_depth);
    if (!storage) {
        monitor_printf("snmp_agent_process: no room for the message\n");
        return;
    }
    snmp_message* m = &storage->message;
    if (!snmp_message_decode(m, message, length, agent->slots))
        return;

    call_frame frame{agent, storage, false, t_frame};
    t_frame = &frame;
    ++t_depth;
    snmp_request_callback callback = m->message_id != 0 ? agent->second : agent->process;
    if (callback)
        callback(agent, m->version, m->version_tag, m->community, m->flags, m->context_engine_id, m->context_name,
                 m->wrapper_tag, &m->record, m->slot);
    --t_depth;
    t_frame = frame.outer;

    // A request that ended without a response gives its slot back.
    if (m->slot != SNMP_NO_SLOT && !frame.slot_given_back) {
        uint32_t message_id = 0;
        snmp_request_slot_free(agent->slots, m->slot, &message_id);
    }
}

int returnResponsePdu(snmp_agent* agent, uint32_t version, uint32_t version_tag, const char* community, uint8_t flags,
                      const char* context_engine_id, const char* context_name, uint32_t wrapper_tag,
                      snmp_record* record, int slot)
{
    if (!agent || !record || !agent->transport)
        return 0;
    // The call that decoded this record; a record from elsewhere is copied.
    call_frame* frame = t_frame;
    while (frame && !(frame->agent == agent && &frame->storage->message.record == record))
        frame = frame->outer;
    std::unique_ptr<call_storage> own;
    call_storage* storage = frame ? frame->storage : nullptr;
    if (!storage) {
        own.reset(new (std::nothrow) call_storage);
        if (!own) {
            monitor_printf("returnResponsePdu: no room for the response\n");
            return 0;
        }
        std::memcpy(&own->message.record, record, sizeof *record);
        storage = own.get();
    }
    snmp_message* m = &storage->message;
    m->version = version;
    m->version_tag = version_tag;
    m->flags = flags;
    m->wrapper_tag = wrapper_tag;
    copy_text(m->community, SNMP_COMMUNITY_SIZE, &m->community_length, community);
    copy_text(m->context_engine_id, SNMP_CONTEXT_SIZE, &m->context_engine_id_length, context_engine_id);
    copy_text(m->context_name, SNMP_CONTEXT_SIZE, &m->context_name_length, context_name);

    // The slot first: a request is answered at most once, and only its own
    // slot is given back (another request may hold any other).
    uint32_t message_id = 0;
    if ((frame && (frame->slot_given_back || slot != frame->storage->message.slot)) ||
        !snmp_request_slot_free(agent->slots, slot, &message_id)) {
        monitor_printf_debug("returnResponsePdu: failed when prepare msg\n");
        return 0;
    }
    if (frame)
        frame->slot_given_back = true;

    uint8_t* start = nullptr;
    uint32_t length = 0;
    if (version > 3)
        return 0;
    if (!snmp_response_message_encode(m, message_id, storage->response, SNMP_AGENT_BUFFER, &start, &length)) {
        // An answer that does not fit the message size goes out as tooBig
        // without its varbinds, never not at all.
        snmp_request& answer = m->record.request;
        if (answer.pdu_type != SNMP_PDU_RESPONSE || answer.count == 0) {
            monitor_printf_debug("returnResponsePdu: failed when prepare msg\n");
            return 0;
        }
        answer.error_status = 1;  // tooBig
        answer.error_index = 0;
        answer.count = 0;
        snmp_counter_add(snmp_counter::snmpOutTooBigs);
        if (!snmp_response_message_encode(m, message_id, storage->response, SNMP_AGENT_BUFFER, &start, &length)) {
            monitor_printf_debug("returnResponsePdu: failed when prepare msg\n");
            return 0;
        }
    }
    return agent->transport(agent, SNMP_IPI_UDP, SNMP_NET_SEND, start, &length) == 0 ? 1 : 0;
}

void snmp_v3_hook(snmp_agent*, uint32_t, uint32_t, const char*, uint8_t, const char*, const char*, uint32_t,
                  snmp_record*, int)
{
}

uint32_t CommLED_RegisterAgent()
{
    uint32_t k = g_led_registrations.load();
    do {
        if (k >= 32) {
            monitor_printf("CommLED_RegisterAgent: error\n");
            return 0;
        }
    } while (!g_led_registrations.compare_exchange_weak(k, k + 1));
    return 1u << k;
}

void CommLED_Indicate(uint32_t, uint32_t) {}
