// Fixture of the PMPP link tests: a kernel on the manual clock with the
// board's serial models, the database with its factory defaults and the
// SNMP engine; a PMPP agent is created and its link bound to the CCP port.
// The test plays the central system on the port's pipe end with the sim's
// own encoder and decoder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"
#include "comm/pmpp/snmp_pmpp.h"
#include "comm/ppp/serial_glue.h"
#include "comm/tests/comm_fixture.h"
#include "database/defaults.h"
#include "database/objects.h"
#include "frame/board/board_control.h"
#include "frame/board/interrupt.h"
#include "frame/serial/q5_serial_driver.h"
#include "ntcip/snmp/agent/request.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "sim/pmpp/pmpp_central.h"

namespace pmt {

namespace central = sim::pmpp;

inline std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

// A GET of `count` times sysDescr.0 (v1, community "fernly"): its answer
// grows with the count.
inline std::string GetSysDescr(int count = 1, int request_id = 1) {
  const std::string varbind = Bytes({0x30, 0x0C, 0x06, 0x08, 0x2B, 6, 1, 2, 1, 1, 1, 0, 0x05, 0x00});
  std::string list;
  for (int i = 0; i < count; ++i) list += varbind;
  const std::string pdu =
      Bytes({0x02, 0x01, request_id, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, static_cast<int>(list.size())}) + list;
  const std::string message =
      Bytes({0x02, 0x01, 0x00, 0x04, 0x06}) + "fernly" + Bytes({0xA0, static_cast<int>(pdu.size())}) + pdu;
  return Bytes({0x30, static_cast<int>(message.size())}) + message;
}

// True when the bytes are an SNMP GetResponse (a SEQUENCE whose PDU tag is
// 0xA2).
inline bool IsResponse(const std::string& message) {
  return message.find('\xA2') != std::string::npos && !message.empty() && message[0] == '\x30';
}

class PmppTest : public ct::CommTest {
 protected:
  void SetUp() override {
    CommTest::SetUp();
    interrupt_power_on();
    board_control_power_on();
    board::reset(board::board_config());
    pmpp_forget_links();
    snmp_ip_forget();
    serial_glue_reset();
    defaults_global_nv(*db_, 0);
    defaults_mib2_nv(*db_, 0);
    defaults_mib2_v(*db_);
    {
      rtos::cpu_scope s;
      snmp_entry();
    }
  }

  void TearDown() override {
    rtos::settle();
    serial_glue_reset();
    ccp_.reset();
    board::shutdown();
    board_install_external_vector(nullptr);
    pmpp_forget_links();
    snmp_ip_forget();
    serial_glue_reset();
    snmp_db_services_shutdown();
    CommTest::TearDown();
  }

  void CreateAgent(uint8_t station = 1) {
    const uint32_t size = snmp_pmpp_link_memory() + 2 * SNMP_AGENT_BUFFER + 2 * 2048 + 128;
    memory_.reset(new uint8_t[size]);
    agent_ = std::make_unique<snmp_agent>();
    agent_->packet_pool = &g_netx_pool;
    const uint8_t own[4] = {192, 168, 1, 20};
    uint32_t used = 0;
    {
      rtos::cpu_scope s;
      ASSERT_EQ(0, snmp_agent_create(agent_.get(), "ccp_pmpp", 1161, 1162, own, memory_.get(), size, &used, 2048,
                                     processPppPdu, snmp_v3_hook, snmp_pmpp_net_drv, pmpp_udp_ip_thread_entry,
                                     pmpp_tcp_ip_thread_entry));
      link_ = pmpp_link_of(agent_.get());
      ASSERT_NE(nullptr, link_);
      pmpp_set_station_address(link_, station);
    }
    ASSERT_LE(used, size);
    ccp_ = std::make_unique<CQ5SerialDriver>();
    ASSERT_EQ(1u, ccp_->Open(0, 9600, 8, 0x1021, 0, 8192));
    {
      rtos::cpu_scope s;
      serial_glue_bind(GLUE_PORT_CCP, ccp_.get());
      pmpp_set_port_hooks(link_, ccp_ppp_read, ccp_port_write, nullptr);
      ccp_->SetRxCallback(ppp_link_notify, link_->worker_events, link_->worker_bit);
    }
    rtos::settle();
  }

  board::serial_line& Line() { return board::serial(0); }

  // Lets the clock run (time-outs, the dispatch threads' polls) and takes
  // what the controller answers.
  std::vector<central::frame> Advance(uint32_t ticks) {
    rtos::advance(ticks);
    return Collect();
  }

  // Sends the bytes on the line and takes what the controller answers.
  std::vector<central::frame> Exchange(const std::string& bytes) {
    Line().send(bytes);
    return Collect();
  }
  std::vector<central::frame> Collect() {
    const std::string wire = Wire();
    last_wire_ += wire;
    return decoder_.feed(wire);
  }
  // What the controller puts on the line until it falls silent.
  std::string Wire() {
    std::string wire;
    for (int round = 0; round < 8; ++round) {
      rtos::settle();
      Line().transmit_all();
      std::string got = Line().take_received();
      if (got.empty() && round > 0) break;
      wire += got;
    }
    return wire;
  }

  std::unique_ptr<uint8_t[]> memory_;
  std::unique_ptr<snmp_agent> agent_;
  pmpp_link* link_ = nullptr;
  std::unique_ptr<CQ5SerialDriver> ccp_;
  central::decoder decoder_;
  std::string last_wire_;
};

}  // namespace pmt
