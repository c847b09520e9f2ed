#include "comm/network.h"

#include <cstring>

#include "board_io.h"
#include "comm/ethernet/emac_driver.h"
#include "comm/ethernet/host_driver.h"
#include "emac_models.h"
#include "frame/trace/trace.h"

NX_PACKET_POOL g_netx_pool;
NX_IP g_netx_ip;

namespace {

// The board keeps the pool at a fixed address, where the Ethernet MAL
// reaches the frames it sends; without the board, a fixed block.
alignas(16) uint8_t g_pool_memory[NETX_POOL_SIZE];
TX_BYTE_POOL* g_stack_pool = nullptr;

}  // namespace

bool network_ip_created() { return g_netx_ip.impl != nullptr; }

void network_memory_areas() {
  nx_system_initialize();
  std::memset(&g_netx_pool, 0, sizeof g_netx_pool);
  std::memset(&g_netx_ip, 0, sizeof g_netx_ip);
  ethernet_host_driver_reset();
  emac_driver_reset();
  uint8_t* memory = board_memory(board::PACKET_MEMORY_BASE, NETX_POOL_SIZE);
  if (!memory) memory = g_pool_memory;
  UINT status = nx_packet_pool_create(&g_netx_pool, "NetX", NETX_PAYLOAD, memory, NETX_POOL_SIZE);
  if (status != NX_SUCCESS) monitor_printf("nx_packet_pool_create: failure:0x%02X\n", status);
}

void comm_set_thread_stack_pool(TX_BYTE_POOL* pool) { g_stack_pool = pool; }
TX_BYTE_POOL* comm_thread_stack_pool() { return g_stack_pool; }
