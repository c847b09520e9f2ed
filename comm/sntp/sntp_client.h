// The unicast SNTP client: keeps the controller's global time in step with
// one server. The communication task polls it on every step; it sends a
// request when its countdown runs out, checks each reply against its last
// request and moves mib_nv.globalTime by the measured offset.
#pragma once

#include <cstdint>

#include "comm/clients/udp_client.h"
#include "comm/sntp/ntp_packet.h"

constexpr uint8_t SNTP_MODE_OFF = 0;
constexpr uint8_t SNTP_MODE_UNICAST = 2;
constexpr uint32_t SNTP_FIRST_INTERVAL = 30;  // steps (a minute) until the first request
constexpr uint32_t SNTP_FRACTION_BASE = 437479356;

class CSNTP_Client {
 public:
  CSNTP_Client() = default;
  virtual ~CSNTP_Client() = default;

  void CreateSocket(NX_IP* ip, uint8_t** cursor, NX_PACKET_POOL* pool);
  void Start(uint8_t mode, uint32_t server);
  void SetPollInterval(uint32_t steps);
  // 1 when a reply was accepted and the clock set during this call.
  int Poll();

  uint8_t Mode() const { return m_byMode; }
  uint32_t Server() const { return m_uServer; }
  uint32_t Countdown() const { return m_uCountdown; }
  uint32_t PollInterval() const { return m_uPollInterval; }
  int32_t TripDelay() const { return m_iTripDelay; }
  const ntp_packet& LastRequest() const { return m_LastRequest; }
  const ntp_packet& LastReply() const { return m_LastReply; }
  udp_client& Udp() { return m_Udp; }

 private:
  void SendRequest(uint32_t t);
  int ProcessReply();

  uint32_t m_uServer = 0;
  uint8_t m_byMode = SNTP_MODE_OFF;
  uint32_t m_uCountdown = 5;
  uint32_t m_uPollInterval = 2048;
  int32_t m_iTripDelay = 0;
  ntp_packet m_LastRequest{};
  ntp_packet m_LastReply{};
  udp_client m_Udp{};
};

// The controller's client (the communication task drives it).
extern CSNTP_Client g_sntp_client;

// The communication task's SNTP step: before the first poll after the start
// the interval is 30 steps; each accepted reply sets it to
// mib_nv.quorNTPPollTime minutes.
void sntp_step();
// Creates the socket on the instance and starts the client in unicast mode
// with the server; 1.
int sntp_start(NX_IP* ip, uint32_t server);
// Installs sntp_start and sntp_step into the communication task's services.
void sntp_install_services();
