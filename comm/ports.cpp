// The table of comm-port drivers, lent out by id. The console's serial
// driver and the communication task's servers are in it so far.
#include "comm/ports.h"

#include "comm/comm_task.h"
#include "comm/ethernet/ethernet_link.h"
#include "comm/ntcip_endpoint.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/serial/q5_serial_driver.h"
#include "frame/trace/trace.h"
#include "tx_api.h"

namespace {

CQ5SerialDriver g_console_driver;
uint32_t g_drivers_in_use = 0;
bool g_first_call = true;

// Test and set of a mark must not be split by another thread.
class masked {
 public:
  masked() : m_old(tx_interrupt_control(TX_INT_DISABLE)) {}
  ~masked() { tx_interrupt_control(m_old); }

 private:
  UINT m_old;
};

void* table_entry(uint32_t id) {
  switch (id) {
    case COMM_DRIVER_CONSOLE:
      return &g_console_driver;
    case COMM_DRIVER_TCP_SERVER:
      return &g_comm_task.TcpServer();
    case COMM_DRIVER_UDP_SERVER:
      return &g_comm_task.UdpServer();
    case COMM_DRIVER_TRAP_SERVER:
      return &g_comm_task.TrapServer();
    default:
      return nullptr;
  }
}

}  // namespace

void InitializeNTCIPObjects(uint8_t** cursor) {
  // The console: channel 1 at 19200 baud, interrupt-driven, 8N1.
  g_console_driver.Open(1, 19200, 8, 0x1121, 0, 2000);
  if (cursor && *cursor) {
    // Only the start-up gives the cursor, once per start: whatever a
    // former start left in this module is forgotten.
    g_first_call = false;
    g_drivers_in_use = 0;
    CNTCIP::ResetTable();
    ethernet_forget_links();
    g_comm_task.CreateEndpoints(cursor);
    g_comm_task.ApplyPortProtocols();
  } else if (g_first_call) {
    g_first_call = false;
    monitor_printf("Error: Initializing NTCIP Objects\n");
  }
  if (CDataBase* db = g_pDataBase) {
    const db_object o = nv::quorCommConfigInnerCharTimeout(4);
    g_comm_task.SetEthernetTimeout(db->GetValue(o.offset, o.width, db->mib_nv, 0));
  }
}

bool AttainPort(uint32_t id, void** entry) {
  if (entry) *entry = nullptr;
  if (id >= COMM_DRIVERS) return false;
  {
    masked m;
    if (g_drivers_in_use & (1u << id)) return false;
    g_drivers_in_use |= 1u << id;
  }
  if (entry) *entry = table_entry(id);
  return true;
}

CSerialDriver* AttainDriver(uint32_t id) {
  void* entry = nullptr;
  if (!AttainPort(id, &entry)) return nullptr;
  return id == COMM_DRIVER_CONSOLE ? static_cast<CSerialDriver*>(entry) : nullptr;
}

uint32_t ReleaseDriver(uint32_t id) {
  if (id >= 16) return 0;
  masked m;
  g_drivers_in_use &= ~(1u << id);
  return 1;
}
