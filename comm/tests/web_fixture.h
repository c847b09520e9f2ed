// The web server on the IP stack stand-in, as the network start-up creates
// it, over a database, the flash file system, the registry of the whole MIB
// and the pool of large work buffers; started through http_server_enable.
// A test speaks HTTP to it over a loopback host socket.
#pragma once

#include <sys/socket.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "comm/tests/comm_fixture.h"
#include "comm/web/web_pages.h"
#include "database/fs/fs_system.h"
#include "database/objects.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/util/base64.h"
#include "mon_api.h"
#include "monitor_host.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/snmp/agent/snmp_agent.h"
#include "ntcip/snmp/db/snmp_db.h"

class WebTest : public ct::CommTest {
 protected:
  bool WithNetwork() const override { return true; }

  void SetUp() override {
    monitor::monitor_config mon;
    mon.flash_size = 8u << 20;
    monitor::reset(mon);
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    ct::CommTest::SetUp();
    pool_memory_.resize(GPBUFFER_POOL_SIZE + 64);
    stack_.resize(HTTP_STACK_SIZE);
    rtos::cpu_scope scope;
    uint8_t* cursor = pool_memory_.data();
    ASSERT_EQ(1, g_gpbuffer.Create(&cursor, GPBUFFER_POOL_SIZE));
    ASSERT_EQ(0, file_system_media_open());
    ASSERT_EQ(TX_SUCCESS, tx_mutex_create(&g_snmp_protect_mutex, const_cast<char*>("SNMP PROTECT MUTEX"),
                                          TX_NO_INHERIT));
    snmp_db_services_init();
    const mib_group* const groups[] = {
        &g_mib2_system_group,    &g_mib2_group,          &g_dms_control_group,   &g_dms_message_group,  &g_dms_sign_config_group,
        &g_dms_font_group,       &g_dms_multi_config_group, &g_dms_illum_group, &g_dms_error_status_group,
        &g_dms_power_temp_group, &g_global_config_group, &g_global_time_group,  &g_quor_sign_group,
        &g_quor_comm_group,      &g_quor_status_group};
    ASSERT_EQ(1, snmp_mib_build(groups, sizeof groups / sizeof groups[0]));
    db_->SetString(nv::communityNameAdmin.offset, 4, "administrator", 13, db_->mib_nv, 0);
    db_->SetValue(nv::quorHostHttpPort.offset, 2, 80, db_->mib_nv, 0);
    db_->SetValue(nv::quorDisplayMode.offset, 1, 1, db_->mib_nv, DB_NO_VALIDATE);
    uint8_t* stack = stack_.data();
    http_server_setup(&g_netx_ip, &stack, &g_netx_pool);
    EXPECT_EQ(stack, stack_.data() + HTTP_STACK_SIZE);
  }

  void TearDown() override {
    {
      rtos::cpu_scope scope;
      http_server_teardown();
    }
    rtos::settle();
    snmp_db_services_shutdown();
    {
      rtos::cpu_scope scope;
      g_pFileSystemDriver->MediaClose(&g_fs_media);
    }
    ct::CommTest::TearDown();
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    monitor::shutdown();
  }

  void Start() {
    {
      rtos::cpu_scope scope;
      http_server_enable(1);
    }
    port_ = HostPort(net_proto::tcp, 80);
    ASSERT_NE(0, port_);
  }

  static std::string Credentials(const std::string& user_password) {
    char text[256];
    uint32_t n = 0;
    base64_encode(user_password.data(), static_cast<uint32_t>(user_password.size()), text, sizeof text, &n);
    return std::string(text, n);
  }
  static std::string Auth(const std::string& password = "administrator") {
    return "Authorization: Basic " + Credentials(":" + password) + "\r\n";
  }

  // Sends the raw bytes and reads the whole answer (the server closes).
  std::string Exchange(const std::string& raw) {
    int fd = ct::Connect(port_);
    EXPECT_GE(fd, 0);
    if (fd < 0) return "";
    ct::Write(fd, raw);
    std::string answer;
    char buffer[4096];
    for (;;) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      answer.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return answer;
  }
  std::string Get(const std::string& target, const std::string& headers = Auth()) {
    return Exchange("GET " + target + " HTTP/1.0\r\n" + headers + "\r\n");
  }
  std::string Post(const std::string& target, const std::string& body, const std::string& headers = Auth()) {
    return Exchange("POST " + target + " HTTP/1.0\r\n" + headers +
                    "Content-Type: multipart/form-data; boundary=XyZ\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  static int Status(const std::string& answer) {
    if (answer.compare(0, 9, "HTTP/1.0 ") != 0) return -1;
    return std::atoi(answer.c_str() + 9);
  }
  static std::string Body(const std::string& answer) {
    const size_t p = answer.find("\r\n\r\n");
    return p == std::string::npos ? "" : answer.substr(p + 4);
  }
  // One multipart part of a posted form.
  static std::string Part(const std::string& name, const std::string& value) {
    return "--XyZ\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
  }

  uint32_t Nv(db_object o) { return db_->GetValue(o.offset, o.width, db_->mib_nv, 0); }
  uint32_t V(db_object o) { return db_->GetValue(o.offset, o.width, db_->mib_v, 0); }
  static std::string FileText(const char* name) {
    tfs_header* h = mon_tfsstat(name);
    if (!h) return "<none>";
    return std::string(reinterpret_cast<const char*>(h) + h->hdr_size, h->data_size);
  }

  uint16_t port_ = 0;
  std::vector<uint8_t> pool_memory_;
  std::vector<uint8_t> stack_;
};
