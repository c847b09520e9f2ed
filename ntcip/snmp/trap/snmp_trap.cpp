#include "ntcip/snmp/trap/snmp_trap.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "frame/peripheral/peripheral_trap.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/asn1.h"
#include "tx_api.h"

const char* const SNMP_TRAP_COMMUNITY = "fernly";

namespace {

// 1.3.6.1.4.11: the controller's enterprise in its traps.
constexpr uint32_t kEnterprise[] = {1, 3, 6, 1, 4, 11};

snmp_trap_route g_routes[5] = {};
snmp_trap_link_prepare g_link_prepare = nullptr;
snmp_trap_admission g_admission = nullptr;

// The trap record and its message, per sending thread: the comm task and
// the agents' threads send traps side by side, and a record is about 400 KB.
struct trap_storage {
    snmp_record record;
    uint8_t message[SNMP_MAX_MESSAGE];
};
thread_local std::unique_ptr<trap_storage> t_storage;

trap_storage* storage()
{
    if (!t_storage)
        t_storage.reset(new (std::nothrow) trap_storage);
    return t_storage.get();
}

// One trap varbind into a varbind entry of the PDU.
void convert(snmp_varbind& to, const snmp_trap_varbind& from)
{
    to.name_length = std::min(from.name_length, SNMP_MAX_OID);
    std::memcpy(to.name, from.name, to.name_length * sizeof(uint32_t));
    to.syntax = from.syntax;
    to.value_length = 0;
    to.value_cell = 0;
    const uint32_t length = from.value ? from.value_length : 0;
    switch (from.syntax) {
    case SNMP_INTEGER:
    case SNMP_COUNTER:
    case SNMP_GAUGE:
    case SNMP_TIMETICKS: {
        uint32_t word = 0;
        if (length)
            std::memcpy(&word, from.value, std::min<uint32_t>(length, 4));
        to.value_words[0] = word;
        to.value_length = 4;
        break;
    }
    case SNMP_OCTET_STRING:
    case SNMP_IPADDRESS:
    case SNMP_OPAQUE: {
        uint32_t n = std::min(length, SNMP_MAX_STRING);
        if (n)
            std::memcpy(to.value, from.value, n);
        to.value[n] = 0;
        to.value_length = n;
        break;
    }
    case SNMP_OBJECT_ID: {
        uint32_t n = std::min(length / 4, SNMP_MAX_OID_VALUE);
        if (n)
            std::memcpy(to.value_words, from.value, 4 * n);
        to.value_length = n;
        break;
    }
    default:
        monitor_printf("snmp_trap: trap varType error\n");
        break;
    }
}

// The peripherals' bindings have the layout of trap varbinds; they are
// copied over rather than reinterpreted.
void forward_peripheral_trap(uint32_t generic, uint32_t specific, uint32_t count,
                             const peripheral_trap_binding* bindings)
{
    snmp_trap_varbind varbinds[TRAP_MAX_VARBINDS];
    const uint32_t n = bindings ? std::min(count, TRAP_MAX_VARBINDS) : 0;
    for (uint32_t k = 0; k < n; ++k) {
        const peripheral_trap_binding& b = bindings[k];
        snmp_trap_varbind& v = varbinds[k];
        v.name_length = std::min(b.oid_length, TRAP_MAX_SUBIDS);
        std::memcpy(v.name, b.oid, v.name_length * sizeof(uint32_t));
        v.syntax = b.type;
        v.value_length = b.length;
        v.value = b.value;
    }
    snmp_raise_trap(generic, specific, n, varbinds);
}

int failed(const char* text)
{
    monitor_printf("snmpv1_prepare_trap_message: %s\n", text);
    return 0;
}

}  // namespace

void snmp_set_trap_route(uint32_t subnetwork, snmp_trap_route route)
{
    if (subnetwork >= SNMP_TRAP_UDP_CLIENT && subnetwork <= SNMP_TRAP_TCP_PORT)
        g_routes[subnetwork] = route;
}

void snmp_set_trap_link_prepare(snmp_trap_link_prepare prepare) { g_link_prepare = prepare; }

void snmp_set_trap_admission(snmp_trap_admission admission) { g_admission = admission; }

void snmp_install_peripheral_trap_sender() { peripheral_set_trap_sender(&forward_peripheral_trap); }

void snmp_raise_trap(uint32_t generic, uint32_t specific, uint32_t count, const snmp_trap_varbind* varbinds)
{
    snmp_trap_admission admission = g_admission;
    if (admission)
        admission(generic, specific, varbinds ? count : 0, varbinds);
    else
        monitor_printf_debug("snmp_raise_trap: no trap admission, trap %u/%u dropped\n", generic, specific);
}

int snmp_trap(snmp_agent* agent, uint32_t subnetwork, uint16_t trap_port, const uint8_t address[4], uint32_t version,
              uint32_t security_model, const char* community, uint32_t security_level, const char* context_engine_id,
              const char* context_name, uint8_t flags, uint32_t generic, uint32_t specific, uint32_t count,
              const snmp_trap_varbind* varbinds)
{
    if (!agent) {
        monitor_printf("snmp_trap: invalid snmp agent pointer\n");
        return -1;
    }
    trap_storage* st = storage();
    if (!st) {
        monitor_printf("snmp_trap: no room for the trap\n");
        return -1;
    }
    snmp_trap_request& pdu = st->record.trap;
    pdu.pdu_type = SNMP_PDU_TRAP;
    std::memcpy(pdu.enterprise, kEnterprise, sizeof kEnterprise);
    pdu.enterprise_length = sizeof kEnterprise / sizeof kEnterprise[0];
    if (address)
        std::memcpy(pdu.agent_address, address, 4);
    else
        std::memset(pdu.agent_address, 0, 4);
    pdu.generic_trap = generic;
    pdu.time_stamp = snmp_time_ticks();
    pdu.specific_trap = 0;
    pdu.count = 0;
    if (generic == TRAP_ENTERPRISE) {
        pdu.specific_trap = specific;
        const uint32_t n = varbinds ? std::min(count, TRAP_MAX_VARBINDS) : 0;
        for (uint32_t k = 0; k < n; ++k)
            convert(pdu.varbinds[k], varbinds[k]);
        pdu.count = static_cast<int16_t>(n);
    }
    return sendPduTrap(agent, subnetwork, trap_port, address, 0, 0, community ? community : SNMP_TRAP_COMMUNITY, 0,
                       "", "", 0, &pdu);
}

int snmp_trap_send_record(snmp_agent* agent, uint32_t subnetwork, uint16_t trap_port, const uint8_t address[4],
                          const trap_record& record)
{
    return snmp_trap(agent, subnetwork, trap_port, address, 0, 0, SNMP_TRAP_COMMUNITY, 0, "", "", 0,
                     record.generic_trap, record.specific_trap, record.varbind_count, record.varbinds);
}

bool snmp_trap_send_oldest(CTrapBuffer& buffer, snmp_agent* agent, uint32_t subnetwork, uint16_t trap_port,
                           const uint8_t address[4])
{
    std::unique_ptr<trap_record> record(new (std::nothrow) trap_record);
    uint32_t serial = 0;
    if (!record || !buffer.Peek(record.get(), &serial))
        return false;
    if (snmp_trap_send_record(agent, subnetwork, trap_port, address, *record) != 0)
        buffer.Remove(serial);
    return true;
}

int sendPduTrap(snmp_agent* agent, uint32_t subnetwork, uint16_t trap_port, const uint8_t address[4],
                uint32_t version, uint32_t security_model, const char* community, uint32_t security_level,
                const char* context_engine_id, const char* context_name, uint32_t pdu_version,
                const snmp_trap_request* pdu)
{
    if (version != 0) {
        monitor_printf("sendPduTrap: Unknown snmp version not supported\n");
        return -1;
    }
    trap_storage* st = storage();
    uint16_t port = 0;
    uint8_t to[4] = {0, 0, 0, 0};
    uint8_t* start = nullptr;
    uint32_t length = 0;
    if (!st || !pdu ||
        !snmpv1_prepare_trap_message(agent, trap_port, address, 0, security_model, community, security_level, pdu,
                                     pdu_version, &port, to, &start, &length, st->message, sizeof st->message)) {
        monitor_printf("sendPduTrap: Message processing failed!\n");
        return -1;
    }
    // 1 only when the message went out: a trap not sent stays queued.
    switch (subnetwork) {
    case SNMP_TRAP_OWN_LINK:
        if (g_link_prepare)
            g_link_prepare(agent, trap_port);
        if (agent && agent->transport)
            return agent->transport(agent, SNMP_IPI_TCP, SNMP_NET_SEND, start, &length) == 0 ? 1 : 0;
        return 0;
    case SNMP_TRAP_UDP_CLIENT:
    case SNMP_TRAP_TCP_CLIENT:
    case SNMP_TRAP_TCP_PORT:
        if (g_routes[subnetwork])
            return g_routes[subnetwork](start, length, port, to) == 0 ? 1 : 0;
        monitor_printf_debug("sendPduTrap: no route on subnetwork %u\n", subnetwork);
        return 0;
    default:
        monitor_printf("sendTrapPdu: error no subnetwork specified\n");
        return 0;
    }
}

int snmpv1_prepare_trap_message(snmp_agent* agent, uint16_t port, const uint8_t address[4],
                                uint32_t message_processing_model, uint32_t security_model, const char* community,
                                uint32_t security_level, const snmp_trap_request* pdu, uint32_t pdu_version,
                                uint16_t* port_out, uint8_t address_out[4], uint8_t** message_start,
                                uint32_t* message_length, uint8_t* buffer, uint32_t size)
{
    if (message_processing_model != 0)
        return failed("error in messageProcessingModel");
    if (security_model != 0 && security_model != 1)
        return failed("error in securityModel");
    if (security_level != 0)
        return failed("error in securityLevel");
    if (pdu_version != 0)
        return failed("error in pduVersion");
    if (!pdu || !buffer || !port_out || !address_out || !message_start || !message_length)
        return 0;

    // The PDU is encoded as the trap variant of a record.
    const snmp_record* record = reinterpret_cast<const snmp_record*>(pdu);
    asn1_stream s;
    uint8_t* end = nullptr;
    uint8_t* field_end = nullptr;
    g_asn1_open(&s, buffer, std::min(size, SNMP_MAX_MESSAGE), ASN1_ENCODE);
    if (!g_asn1_eoc_encode(&s, &end))
        monitor_printf("snmpv1_prepare_trap_message: error g_asn1_eoc_encode \n");
    if (!g_snmp_pdu_v1_encode(&s, record))
        return failed("error in g_asn1_pdu_v1_encode");
    const char* text = community ? community : SNMP_TRAP_COMMUNITY;
    const uint32_t text_length = static_cast<uint32_t>(strnlen(text, SNMP_MAX_MESSAGE));
    if (!g_asn1_octets_encode(&s, &field_end, reinterpret_cast<const uint8_t*>(text), text_length))
        return failed("error in g_asn1_encode secuityName");
    if (!g_asn1_header_encode(&s, field_end, ASN1_UNI, ASN1_PRI, ASN1_OTS))
        return failed("error in g_asn1_header_encode 1");
    if (!g_asn1_uint_encode(&s, &field_end, 0))
        return failed("error in g_asn1_unit_encode version");
    if (!g_asn1_header_encode(&s, field_end, ASN1_UNI, ASN1_PRI, ASN1_INT))
        return failed("error in g_asn1_header_encode 2");
    if (!g_asn1_header_encode(&s, end, ASN1_UNI, ASN1_CON, ASN1_SEQ))
        return failed("error in g_asn1_herder_encode");
    g_asn1_close(&s, message_start, message_length);
    *port_out = port != 0 ? port : SNMP_TRAP_PORT;
    if (address)
        std::memcpy(address_out, address, 4);
    else
        std::memset(address_out, 0, 4);
    return 1;
}
