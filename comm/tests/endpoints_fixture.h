// The twelve NTCIP endpoints as the start-up makes them, on a fresh board
// (every serial port a pipe) and database, optionally with the main IP
// instance on host sockets. Link modules, port glue, modems and the carrier
// source installed by a test are removed again afterwards.
#pragma once

#include <memory>

#include "board_host.h"
#include "comm/clients/trap_clients.h"
#include "comm/comm_task.h"
#include "comm/ntcip_link.h"
#include "comm/ports.h"
#include "comm/tests/comm_fixture.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "ntcip/snmp/trap/snmp_trap.h"
#include "ntcip/snmp/trap/trap_buffer.h"

namespace ct {

class EndpointsTest : public CommTest {
 protected:
  static constexpr uint32_t kMemory = 512 * 1024;

  bool WithNetwork() const override { return with_network_; }

  void SetUp() override {
    board::reset();
    CommTest::SetUp();
    s_clock = 1000000;
    db_->SetBoardRegs({[] { return s_clock; }, [](uint32_t v) { s_clock = v; }, [] { return uint8_t(0); },
                       [](uint8_t) {}});
    for (uint32_t id = 0; id < 16; ++id) ReleaseDriver(id);
    memory_.reset(new uint8_t[kMemory]);
    BeforeEndpoints();
    ASSERT_TRUE(rtos::run_in_thread([&] {
      uint8_t* cursor = memory_.get();
      InitializeNTCIPObjects(&cursor);
      used_ = static_cast<uint32_t>(cursor - memory_.get());
    }));
    ASSERT_LE(used_, kMemory);
    g_trap_buffer.Clear();
  }

  void TearDown() override {
    rtos::settle();
    for (const char* name : {"ethernet_tcp", "ethernet_udp"})
      if (CNTCIP* e = CNTCIP::Endpoint(name)) ethernet_destroy(e->Link());
    CNTCIP::ResetTable();
    trap_clients_forget();
    for (uint32_t id = 0; id < 16; ++id) ReleaseDriver(id);
    ntcip_set_link_ops(NTCIP_LINK_PPP, nullptr);
    ntcip_set_link_ops(NTCIP_LINK_PMPP, nullptr);
    for (uint8_t port = 0; port < 6; ++port) ntcip_set_port_glue(port, nullptr);
    ntcip_set_carrier_source(nullptr);
    snmp_set_trap_admission(nullptr);
    for (uint32_t n = SNMP_TRAP_UDP_CLIENT; n <= SNMP_TRAP_TCP_PORT; ++n) snmp_set_trap_route(n, nullptr);
    g_trap_buffer.Clear();
    snmp_db_services_shutdown();
    CommTest::TearDown();
    board::shutdown();
  }

  // Runs before the endpoints are created (link modules install here).
  virtual void BeforeEndpoints() {}

  // In a kernel thread, as the communication task runs it.
  static void InThread(const std::function<void()>& fn) { ASSERT_TRUE(rtos::run_in_thread(fn)); }

  void SetNv(db_object o, uint32_t value, uint32_t flags = 0) {
    rtos::cpu_scope s;
    db_->SetValue(o.offset, o.width, value, db_->mib_nv, flags | DB_NO_VALIDATE);
  }
  uint32_t Nv(db_object o) {
    rtos::cpu_scope s;
    return db_->GetValue(o.offset, o.width, db_->mib_nv, 0);
  }
  uint32_t Vol(db_object o) {
    rtos::cpu_scope s;
    return db_->GetValue(o.offset, o.width, db_->mib_v, 0);
  }
  static uint8_t PortOf(const char* name) {
    CNTCIP* e = CNTCIP::Endpoint(name);
    return e ? e->Port() : 0xFF;
  }

  // globalTime, seconds.
  static inline uint32_t s_clock = 0;
  bool with_network_ = false;
  std::unique_ptr<uint8_t[]> memory_;
  uint32_t used_ = 0;
};

}  // namespace ct
