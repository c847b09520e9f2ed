#include "frame/can/can_q5_driver.h"

#include "board_io.h"
#include "frame/board/board_regs.h"
#include "frame/board/epld_program.h"
#include "frame/can/can_packet.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"

CCANQ5Driver* g_pCANQ5Driver = nullptr;

namespace {

constexpr uint32_t kEpldControl = 0xF0500022;
constexpr uint8_t kEpldCanInit = 0x08;
// Flags served per interrupt at most; more come with the next edge.
constexpr int kMaxServices = 16;

CCANQ5Driver::epld_ready_query s_epldReady = nullptr;

void epld_control_set(uint8_t bits) {
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  reg_write8(kEpldControl, reg_read8(kEpldControl) | bits);
  tx_interrupt_control(posture);
}

}  // namespace

void CCANQ5Driver::SetEpldReadyQuery(epld_ready_query query) { s_epldReady = query; }

uint32_t CCANQ5Driver::EpldReady() { return s_epldReady ? s_epldReady() : (epld_status_bit() ? 1 : 0); }

CCANQ5Driver::CCANQ5Driver() {
  g_pCANQ5Driver = this;
  m_chip.SetReconfigureNotify(&CCANQ5Driver::RequestReconfigure, this);
}

CCANQ5Driver::~CCANQ5Driver() {
  if (m_created) {
    UINT posture = tx_interrupt_control(TX_INT_DISABLE);
    mtdcr(UIC0_ER, mfdcr(UIC0_ER) & ~UIC_CAN);
    tx_interrupt_control(posture);
  }
  if (m_workerCreated) {
    tx_thread_terminate(&m_worker);
    tx_thread_delete(&m_worker);
    tx_semaphore_delete(&m_reconfigure);
  }
  if (m_created) os_mutex_delete(&m_mutex);
  if (g_pCANQ5Driver == this) g_pCANQ5Driver = nullptr;
}

uint32_t CCANQ5Driver::Initialize(uint32_t, uint32_t, uint32_t) {
  if (!m_created) {
    if (os_mutex_create(&m_mutex, "canq5drv", TX_INHERIT) != OS_SUCCESS) return 0;
    m_created = 1;
    if (tx_semaphore_create(&m_reconfigure, const_cast<char*>("canq5 reconfigure"), 0) == TX_SUCCESS) {
      if (tx_thread_create(&m_worker, const_cast<char*>("canq5 reconfigure"), &CCANQ5Driver::ReconfigureEntry, 0,
                           m_stack, sizeof m_stack, RECONFIGURE_PRIORITY, RECONFIGURE_PRIORITY, TX_NO_TIME_SLICE,
                           TX_AUTO_START) == TX_SUCCESS)
        m_workerCreated = 1;
      else
        tx_semaphore_delete(&m_reconfigure);
    }
    Interrupt::Register(UIC_CAN, this);
    epld_control_set(kEpldCanInit);
  }
  if (os_mutex_get(&m_mutex, OS_WAIT_FOREVER) != OS_SUCCESS) return 0;
  uint32_t result = 0;
  if (!EpldReady())
    monitor_printf_debug("CCANQ5Driver::Initialize: epld not programmed\n");
  else
    result = m_chip.Configure(EXTENDED_IDS, BIT_TIMING, QUEUE_BYTES, nullptr);
  os_mutex_put(&m_mutex);
  return result;
}

uint32_t CCANQ5Driver::Send(uint32_t id, uint32_t remote, uint32_t length, const uint8_t* data, uint32_t) {
  if (!length || !data || length > 8 || !m_created) return 0;
  if (os_mutex_get(&m_mutex, OS_WAIT_FOREVER) != OS_SUCCESS) return 0;
  uint32_t result = 0;
  if (!EpldReady()) {
    monitor_printf_debug("CCANQ5Driver::Initialize: epld not programmed\n");
  } else {
    // A reconfiguration the interrupt service asked for, if the thread has
    // not run it yet.
    m_chip.ReconfigureIfPending();
    if (m_chip.IsErrorState()) {
      monitor_printf_debug("reinitializing MCP2510 due to bus off state\n");
      m_chip.Configure(EXTENDED_IDS, BIT_TIMING, QUEUE_BYTES, nullptr);
    }
    result = m_chip.Send(id, remote, length, data);
    if (result) ++m_packetsSent;
    os_sleep(2);
  }
  os_mutex_put(&m_mutex);
  return result;
}

uint32_t CCANQ5Driver::ReadFrame(uint32_t*, uint8_t*, uint8_t*, uint8_t*) { return 0; }

void CCANQ5Driver::OnInterrupt() {
  if (!EpldReady()) return;
  for (int n = 0; n < kMaxServices; ++n) {
    can_packet p;
    uint32_t id = 0;
    uint8_t remote = 0, length = 0;
    if (m_chip.Receive(&id, &remote, &length, p.data)) {
      p.id = id;
      p.flags = remote ? CAN_FLAG_REMOTE : CAN_FLAG_DATA;
      p.length = length;
      p.channel = 0;
      ++m_packetsReceived;
      DeliverToNodes(p);
    }
    // The line is edge-triggered: a flag left set would never interrupt
    // again.
    if (!m_chip.PendingFlags()) break;
  }
}

// ------------------------------------------------------------------ reconfiguration

void CCANQ5Driver::RequestReconfigure(void* context) {
  auto* self = static_cast<CCANQ5Driver*>(context);
  if (self->m_workerCreated) tx_semaphore_put(&self->m_reconfigure);
}

void CCANQ5Driver::Reconfigure() {
  if (os_mutex_get(&m_mutex, OS_WAIT_FOREVER) != OS_SUCCESS) return;
  if (EpldReady()) m_chip.ReconfigureIfPending();
  os_mutex_put(&m_mutex);
}

void CCANQ5Driver::ReconfigureEntry(ULONG) {
  for (;;) {
    CCANQ5Driver* self = g_pCANQ5Driver;
    if (!self || tx_semaphore_get(&self->m_reconfigure, TX_WAIT_FOREVER) != TX_SUCCESS) return;
    self->Reconfigure();
  }
}
