#include "comm/dhcp/dhcp_startup.h"

#include <cstdio>

#include "comm/comm_services.h"
#include "comm/comm_task.h"
#include "comm/network.h"
#include "frame/trace/trace.h"
#include "mon_api.h"

NX_DHCP g_dhcp_client;

namespace {

void dotted(uint32_t v, char* out, size_t size) {
  std::snprintf(out, size, "%d.%d.%d.%d", static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 0xFF),
                static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF));
}

void print_address(const char* label, uint32_t v) {
  monitor_printf("%s %x:%d.%d.%d.%d\n", label, v, static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 0xFF),
                 static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF));
}

void service_start(NX_IP* ip) { dhcp_initialize(ip, &g_dhcp_client); }

uint32_t service_force_renew() { return nx_dhcp_force_renew(&g_dhcp_client); }

// A client that the start-up gave up on is made anew, so a renewal request
// can still bring the lease.
void service_restart() {
  if (!g_dhcp_client.nx_dhcp_created) {
    if (!network_ip_created()) return;
    if (nx_dhcp_create(&g_dhcp_client, &g_netx_ip, "DHCP Client") != NX_SUCCESS) return;
    nx_dhcp_state_change_notify(&g_dhcp_client, dhcp_state_changed);
  } else {
    nx_dhcp_stop(&g_dhcp_client);
  }
  nx_dhcp_start(&g_dhcp_client);
}

}  // namespace

int dhcp_initialize(NX_IP* ip, NX_DHCP* dhcp) {
  bool link = false;
  for (uint32_t i = 0; i < DHCP_LINK_CHECKS && !link; ++i) {
    ULONG actual = 0;
    link = nx_ip_status_check(ip, NX_IP_LINK_ENABLED, &actual, DHCP_LINK_WAIT) == NX_SUCCESS;
  }
  if (!link) return 0;

  UINT status = nx_dhcp_create(dhcp, ip, "DHCP Client");
  if (status != NX_SUCCESS) {
    monitor_printf("nx_dhcp_create failed:0x%02X\n", status);
    return 0;
  }
  nx_dhcp_state_change_notify(dhcp, dhcp_state_changed);
  status = nx_dhcp_start(dhcp);
  if (status != NX_SUCCESS) {
    nx_dhcp_delete(dhcp);
    monitor_printf("nx_dhcp_start failed:0x%02X\n", status);
    return 0;
  }
  ULONG actual = 0;
  status = nx_ip_status_check(ip, NX_IP_ADDRESS_RESOLVED, &actual, DHCP_ADDRESS_WAIT);
  if (status != NX_SUCCESS) {
    nx_dhcp_stop(dhcp);
    nx_dhcp_delete(dhcp);
    monitor_printf("nx_ip_status_check failed:0x%02X\n", status);
    return 0;
  }
  monitor_printf("dhcp initialized ok\n");
  return 1;
}

void dhcp_state_changed(NX_DHCP* dhcp, UCHAR new_state) {
  monitor_printf("dhcp_state_changed, new state:%d\n", new_state);
  if (new_state != NX_DHCP_STATE_BOUND || !dhcp) return;
  NX_IP* ip = dhcp->nx_dhcp_ip_ptr;
  ULONG address = 0, mask = 0, gateway = 0;
  nx_ip_address_get(ip, &address, &mask);
  nx_ip_gateway_address_get(ip, &gateway);
  print_address("IP Address", address);
  print_address("Subnet", mask);
  print_address("Gateway", gateway);

  char text[16];
  dotted(address, text, sizeof text);
  mon_setenv("IPADD", text);
  dotted(mask, text, sizeof text);
  mon_setenv("NETMASK", text);
  dotted(gateway, text, sizeof text);
  mon_setenv("GIPADD", text);
  parse_net_address(mon_getenv("ETHERADD"), mon_getenv("IPADD"), mon_getenv("GIPADD"), mon_getenv("NETMASK"));
}

void dhcp_install_services() {
  comm_services s = comm_get_services();
  s.dhcp_start = service_start;
  s.dhcp_force_renew = service_force_renew;
  s.dhcp_restart = service_restart;
  comm_set_services(s);
}
