#include "comm/sntp/sntp_client.h"

#include <cstdlib>
#include <cstring>

#include "comm/comm_services.h"
#include "comm/comm_task.h"
#include "comm/network.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"

CSNTP_Client g_sntp_client;

namespace {

constexpr uint8_t kRequestHeader = 0x1B;  // leap 0, version 3, client
bool g_first_poll_done = false;


ntp_timestamp stamp(uint32_t t) {
  return {t + NTP_UNIX_OFFSET, static_cast<uint32_t>(std::rand()) + SNTP_FRACTION_BASE};
}

}  // namespace

void CSNTP_Client::CreateSocket(NX_IP* ip, uint8_t** cursor, NX_PACKET_POOL* pool) {
  udp_client_initialize(&m_Udp, ip, cursor, pool);
}

void CSNTP_Client::Start(uint8_t mode, uint32_t server) {
  m_byMode = mode;
  m_uServer = server;
  udp_client_configure(&m_Udp, NTP_PORT, server, NTP_PORT);
}

void CSNTP_Client::SetPollInterval(uint32_t steps) {
  m_uPollInterval = steps;
  m_uCountdown = steps;
}

int CSNTP_Client::Poll() {
  if (m_byMode != SNTP_MODE_UNICAST) return 0;
  if (m_uCountdown > 0) {
    --m_uCountdown;
  } else {
    SendRequest(db_global_time());
    m_uCountdown = m_uPollInterval;
  }
  return ProcessReply();
}

void CSNTP_Client::SendRequest(uint32_t t) {
  ntp_packet request{};
  request.li_vn_mode = kRequestHeader;
  request.transmit = stamp(t);
  request.originate = request.transmit;
  uint8_t wire[NTP_WIRE_SIZE];
  ntp_encode(request, wire);
  udp_client_send_data(&m_Udp, wire, sizeof wire);
  m_LastRequest = request;
}

int CSNTP_Client::ProcessReply() {
  const ntp_timestamp arrival = stamp(db_global_time());
  uint8_t wire[NTP_WIRE_SIZE] = {};
  const uint32_t got = udp_client_receive_data(&m_Udp, wire, sizeof wire, NX_NO_WAIT);
  ntp_packet reply{};
  // A reply shorter than the message would leave its timestamps unread.
  if (got == 0 || !ntp_decode(wire, got, &reply)) return 0;
  if (reply.mode() != NTP_MODE_SERVER) return 0;

  int result = 0;
  if (!(reply.transmit == m_LastReply.transmit) && reply.originate == m_LastRequest.transmit &&
      !reply.originate.zero() && !reply.receive.zero()) {
    const uint32_t t1 = reply.originate.seconds;
    const uint32_t t2 = reply.receive.seconds;
    const uint32_t t3 = reply.transmit.seconds;
    const uint32_t t4 = arrival.seconds;
    // Signed 32-bit differences, summed wide so the sum cannot overflow.
    const int64_t offset = (int64_t{static_cast<int32_t>(t2 - t1)} + static_cast<int32_t>(t3 - t4)) / 2;
    const int64_t delay = int64_t{static_cast<int32_t>(t4 - t1)} - static_cast<int32_t>(t3 - t2);
    m_iTripDelay = static_cast<int32_t>(delay);
    monitor_printf_debug(
        "NTP response_rec: %d sec, response_origin: %d sec, response_transmit: %d sec, dest: %d sec\n",
        static_cast<int>(t2), static_cast<int>(t1), static_cast<int>(t3), static_cast<int>(t4));
    monitor_printf_debug("NTP Clock Offset:%d sec,  Trip Delay: %d sec\n", static_cast<int>(offset),
                         static_cast<int>(m_iTripDelay));
    // The offset already allows for the path: half the trip is in it.
    const uint32_t now = db_global_time();
    const uint32_t corrected = now + static_cast<uint32_t>(static_cast<int32_t>(offset));
    if (CDataBase* d = g_pDataBase)
      d->SetTimeValue(nv::globalTime.offset, nv::globalTime.width, corrected, d->mib_nv, DB_GLOBAL_TIME | DB_NOTIFY);
    result = 1;
  }
  m_LastReply = reply;
  return result;
}

void sntp_step() {
  if (!g_first_poll_done) {
    g_sntp_client.SetPollInterval(SNTP_FIRST_INTERVAL);
    g_first_poll_done = true;
  }
  if (g_sntp_client.Poll()) {
    uint32_t minutes = 0;
    if (CDataBase* d = g_pDataBase)
      minutes = d->GetValue(nv::quorNTPPollTime.offset, nv::quorNTPPollTime.width, d->mib_nv, 0);
    g_sntp_client.SetPollInterval(minutes * COMM_STEPS_PER_MINUTE);
  }
}

int sntp_start(NX_IP* ip, uint32_t server) {
  g_first_poll_done = false;
  g_sntp_client = CSNTP_Client{};  // nothing of a former start is kept
  g_sntp_client.CreateSocket(ip, nullptr, &g_netx_pool);
  g_sntp_client.Start(SNTP_MODE_UNICAST, server);
  return 1;
}

void sntp_install_services() {
  comm_services s = comm_get_services();
  s.sntp_start = sntp_start;
  s.sntp_step = sntp_step;
  comm_set_services(s);
}
