#include "frame/can/mcp2510.h"

#include <cstring>

#include "board_io.h"
#include "frame/board/board_regs.h"
#include "frame/os/interrupts_masked.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "tx_api.h"

namespace {

constexpr uint32_t kDevice = 0;  // the chip's select on the SPI port

struct bit_timing {
  uint8_t cnf1, cnf2;
};
// 8 time quanta per bit with CNF2 0x90, 10 with 0xA0; rates for a 16 MHz clock.
constexpr bit_timing kBitTimings[] = {
    {0x01, 0x90},  // 500 kbit/s
    {0x01, 0xA0},  // 400 kbit/s
    {0x03, 0x90},  // 250 kbit/s
    {0x04, 0x90},  // 200 kbit/s
    {0x04, 0xA0},  // 160 kbit/s
    {0x07, 0x90},  // 125 kbit/s
    {0x09, 0x90},  // 100 kbit/s
    {0x09, 0xA0},  // 80 kbit/s
    {0x13, 0x90},  // 50 kbit/s
};
constexpr uint8_t kCnf3 = 0x02;

constexpr uint8_t kTxReq = 0x08;

// Register accesses and queue changes run with external interrupts masked,
// so the interrupt service and the task never interleave on the SPI bus.
using masked = interrupts_masked;

void spin(uint32_t iterations) {
  for (volatile uint32_t i = 0; i < iterations;) i = i + 1;
}

void uic_modify(uint32_t dcr, uint32_t set, uint32_t clear) {
  masked m;
  mtdcr(dcr, (mfdcr(dcr) & ~clear) | set);
}

uint8_t tx_ctrl(uint32_t buffer) { return static_cast<uint8_t>(MCP_TXB0CTRL + 0x10 * (buffer - 1)); }

}  // namespace

// ------------------------------------------------------------------ registers

void CMCP2510::Deselect() { reg_write16(SPI_CONTROL, SPI_SELECT_NONE); }

uint8_t CMCP2510::ReadRegister(uint8_t reg) {
  masked m;
  m_spi.Write(kDevice, MCP_READ);
  m_spi.Write(kDevice, reg);
  uint8_t v = m_spi.Read(kDevice);
  Deselect();
  return v;
}

void CMCP2510::ReadRegisters(uint8_t reg, uint8_t* out, uint32_t count) {
  masked m;
  m_spi.Write(kDevice, MCP_READ);
  m_spi.Write(kDevice, reg);
  for (uint32_t i = 0; i < count; ++i) out[i] = m_spi.Read(kDevice);
  Deselect();
}

void CMCP2510::WriteRegister(uint8_t reg, uint8_t value) {
  masked m;
  m_spi.Write(kDevice, MCP_WRITE);
  m_spi.Write(kDevice, reg);
  m_spi.Write(kDevice, value);
  Deselect();
}

void CMCP2510::BitModify(uint8_t reg, uint8_t mask, uint32_t set) {
  masked m;
  m_spi.Write(kDevice, MCP_BIT_MODIFY);
  m_spi.Write(kDevice, reg);
  m_spi.Write(kDevice, mask);
  m_spi.Write(kDevice, set ? 0xFF : 0x00);
  Deselect();
}

uint8_t CMCP2510::ReadStatus() {
  masked m;
  m_spi.Write(kDevice, MCP_READ_STATUS);
  uint8_t v = m_spi.Read(kDevice);
  Deselect();
  return v;
}

void CMCP2510::Reset() {
  masked m;
  m_spi.Write(kDevice, MCP_RESET);
  Deselect();
}

uint32_t CMCP2510::IsErrorState() { return (ReadRegister(MCP_EFLG) & (0x20 | 0x10 | 0x08)) ? 1 : 0; }

void CMCP2510::SetBitTiming(uint8_t index) {
  if (index >= sizeof kBitTimings / sizeof kBitTimings[0]) return;
  WriteRegister(MCP_CNF1, kBitTimings[index].cnf1);
  WriteRegister(MCP_CNF2, kBitTimings[index].cnf2);
  WriteRegister(MCP_CNF3, kCnf3);
}

uint8_t CMCP2510::PendingFlags() {
  return ReadStatus() & (MCP_STATUS_RX0IF | MCP_STATUS_RX1IF | MCP_STATUS_TX0IF | MCP_STATUS_TX1IF | MCP_STATUS_TX2IF);
}

// ------------------------------------------------------------------ configuration

uint32_t CMCP2510::Configure(uint8_t extendedIds, uint8_t bitTiming, uint32_t queueBytes, uint8_t* storage) {
  m_extendedIds = extendedIds;
  m_bitTiming = bitTiming;
  m_queueBytes = queueBytes;
  m_storage = storage;
  uic_modify(UIC0_ER, 0, UIC_CAN);

  Reset();
  spin(10000);
  bool configuration = false;
  for (int i = 0; i < 50 && !configuration; ++i) {
    os_sleep(10);
    configuration = (ReadRegister(MCP_CANSTAT) & 0xE0) == 0x80;
  }
  if (!configuration) {
    monitor_printf("failed to reach configuration mode\n");
    return 0;
  }

  SetBitTiming(bitTiming);
  // Masks open: every frame is accepted.
  for (uint8_t r = MCP_RXM0; r < MCP_RXM0 + 8; ++r) WriteRegister(r, 0x00);
  for (uint8_t r = MCP_RXF2; r < MCP_RXF2 + 4; ++r) WriteRegister(r, 0xFF);
  for (uint8_t r = MCP_RXF3; r < MCP_RXF5 + 4; ++r) WriteRegister(r, 0xFF);

  WriteRegister(MCP_CANCTRL, 0x0F);  // normal mode, clock output on
  for (int i = 0; i < 3 && (ReadRegister(MCP_CANSTAT) & 0xE0) != 0; ++i) {
    WriteRegister(MCP_CANCTRL, 0x8F);
    WriteRegister(MCP_CANCTRL, 0x0F);
  }

  WriteRegister(MCP_CANINTE, 0x03);
  WriteRegister(MCP_RXB0CTRL, 0x04);  // roll over into buffer 1
  WriteRegister(MCP_RXB1CTRL, 0x00);
  WriteRegister(MCP_CANINTF, 0x00);
  WriteRegister(MCP_TXB0CTRL, 0x03);
  WriteRegister(MCP_TXB1CTRL, 0x03);
  WriteRegister(MCP_TXB2CTRL, 0x03);

  if (queueBytes) {
    m_queued = 1;
    int32_t capacity = 0;
    uint8_t* queue = nullptr;
    // Storage too small for a queue (or none) leaves the buffers in direct use.
    if (storage && queueBytes >= MCP_MIN_QUEUE_BYTES) {
      queue = storage;
      capacity = static_cast<int32_t>(queueBytes / MCP_ENTRY_SIZE);
      BitModify(MCP_CANINTE, 0x04, 1);
    }
    if (queue != m_queue || capacity != m_queueCapacity) m_queueRead = m_queueWrite = 0;
    m_queue = queue;
    m_queueCapacity = capacity;

    uic_modify(UIC0_CR, 0, UIC_CAN);  // normal, not critical
    uic_modify(UIC0_PR, 0, UIC_CAN);  // active low
    uic_modify(UIC0_TR, UIC_CAN, 0);  // edge
    mtdcr(UIC0_SR, UIC_CAN);          // acknowledge only this bit
    uic_modify(UIC0_ER, UIC_CAN, 0);
    // The line is edge-triggered: a flag raised before the line was enabled
    // gave its edge to nobody. Re-arm the output so that it falls again.
    uint8_t enabled = ReadRegister(MCP_CANINTE);
    if (ReadRegister(MCP_CANINTF) & enabled) {
      WriteRegister(MCP_CANINTE, 0x00);
      WriteRegister(MCP_CANINTE, enabled);
    }
  }
  m_initialized = 1;
  return 1;
}

void CMCP2510::SetReconfigureNotify(reconfigure_notify fn, void* context) {
  m_reconfigureNotify = fn;
  m_reconfigureContext = context;
}

uint32_t CMCP2510::ReconfigureIfPending() {
  if (!m_reconfigurePending) return 0;
  m_reconfigurePending = 0;
  return Configure(m_extendedIds, m_bitTiming, m_queueBytes, m_storage);
}

// ------------------------------------------------------------------ transmit

void CMCP2510::BuildEntry(uint8_t* e, uint8_t extended, uint32_t id, uint32_t remote, uint32_t length,
                          const uint8_t* data) {
  if (extended) {
    e[0] = static_cast<uint8_t>(id >> 21);
    e[1] = static_cast<uint8_t>(((id >> 13) & 0xE0) | 0x08 | ((id >> 16) & 0x03));
    e[2] = static_cast<uint8_t>(id >> 8);
    e[3] = static_cast<uint8_t>(id);
  } else {
    e[0] = static_cast<uint8_t>(id >> 3);
    e[1] = static_cast<uint8_t>((id << 5) & 0xE0);
    e[2] = e[3] = 0;
  }
  // Only the frame's own bytes are read from the caller.
  std::memset(e + 4, 0, 8);
  if (data) std::memcpy(e + 4, data, length);
  e[12] = static_cast<uint8_t>(remote ? (length | 0x40) : (length & ~0x40u));
}

uint32_t CMCP2510::LoadTxBuffer(const uint8_t* entry, uint32_t buffer) {
  if (buffer < 1 || buffer > 3) return 0;
  uint8_t ctrl = tx_ctrl(buffer);
  for (uint8_t i = 0; i < 4; ++i) WriteRegister(static_cast<uint8_t>(ctrl + 1 + i), entry[i]);
  WriteRegister(static_cast<uint8_t>(ctrl + 5), entry[12]);
  for (uint8_t i = 0; i < 8; ++i) WriteRegister(static_cast<uint8_t>(ctrl + 6 + i), entry[4 + i]);
  masked m;
  WriteRegister(ctrl, ReadRegister(ctrl) | kTxReq);
  return 1;
}

uint32_t CMCP2510::Send(uint32_t id, uint32_t remote, uint32_t length, const uint8_t* data) {
  if (!m_initialized || length > 8) return 0;
  uint8_t entry[MCP_ENTRY_SIZE];
  BuildEntry(entry, m_extendedIds, id, remote, length, data);

  if (m_queueCapacity < 4) {
    for (uint32_t b = 1; b <= 3; ++b) {
      if (!(ReadRegister(tx_ctrl(b)) & kTxReq)) {
        LoadTxBuffer(entry, b);
        return 1;
      }
    }
    return 0;
  }

  // The interrupt service advances the same queue.
  masked m;
  uint32_t accepted = 0;
  if (m_queueWrite < m_queueCapacity) {
    std::memcpy(m_queue + m_queueWrite * MCP_ENTRY_SIZE, entry, MCP_ENTRY_SIZE);
    ++m_queueWrite;
    accepted = 1;
  }
  // Buffer 0 is loaded only while idle with no completion waiting for the
  // interrupt service (which then loads the next entry itself).
  uint8_t status = ReadStatus();
  if (!(status & (MCP_STATUS_TX0REQ | MCP_STATUS_TX0IF)) && m_queueRead < m_queueWrite)
    LoadTxBuffer(m_queue + m_queueRead * MCP_ENTRY_SIZE, 1);
  return accepted;
}

// ------------------------------------------------------------------ receive

void CMCP2510::CountError(uint8_t limit) {
  if (m_errorCount >= limit - 1) {
    m_reconfigurePending = 1;
    if (m_reconfigureNotify) m_reconfigureNotify(m_reconfigureContext);
  }
  if (m_errorCount < 0xFF) ++m_errorCount;
}

uint32_t CMCP2510::ReadRxBuffer(uint8_t ctrl, uint32_t* id, uint8_t* remote, uint8_t* length, uint8_t data[8]) {
  uint8_t r[13];  // SIDH, SIDL, EID8, EID0, DLC, data 0-7
  ReadRegisters(static_cast<uint8_t>(ctrl + 1), r, sizeof r);
  uint8_t sidh = r[0], sidl = r[1], dlc = r[4];
  if (sidl & 0x08) {
    *id = r[3] | static_cast<uint32_t>(r[2]) << 8 | (sidl & 0x03u) << 16 | (sidl & 0xE0u) << 13 |
          static_cast<uint32_t>(sidh) << 21;
    *remote = (dlc & 0x40) ? 1 : 0;
  } else {
    *id = (sidl >> 5) | static_cast<uint32_t>(sidh) << 3;
    *remote = (sidl & 0x10) ? 1 : 0;
  }
  // A data length code above 8 still carries 8 bytes.
  *length = (dlc & 0x0F) > 8 ? 8 : (dlc & 0x0F);
  std::memcpy(data, r + 5, 8);
  return 1;
}

uint32_t CMCP2510::Receive(uint32_t* id, uint8_t* remote, uint8_t* length, uint8_t data[8]) {
  if (!id || !remote || !length || !data) return 0;
  uint8_t eflg = ReadRegister(MCP_EFLG);
  uint8_t status = ReadStatus();

  struct rx {
    uint8_t status, overflow, ctrl;
  };
  static constexpr rx kRx[] = {{MCP_STATUS_RX0IF, 0x40, MCP_RXB0CTRL}, {MCP_STATUS_RX1IF, 0x80, MCP_RXB1CTRL}};
  for (const rx& b : kRx) {
    if (!(status & b.status)) continue;
    if (eflg & b.overflow) {
      BitModify(MCP_CANINTF, b.status, 0);
      BitModify(MCP_EFLG, b.overflow, 0);
      CountError(MCP_OVERFLOW_LIMIT);
      return 0;
    }
    ReadRxBuffer(b.ctrl, id, remote, length, data);
    BitModify(MCP_CANINTF, b.status, 0);
    m_errorCount = 0;
    return 1;
  }

  struct tx {
    uint8_t status, flag;
    uint32_t buffer;
  };
  static constexpr tx kTx[] = {{MCP_STATUS_TX0IF, 0x04, 1}, {MCP_STATUS_TX1IF, 0x08, 2}, {MCP_STATUS_TX2IF, 0x10, 3}};
  for (const tx& b : kTx) {
    if (!(status & b.status)) continue;
    ++m_queueRead;
    BitModify(MCP_CANINTF, b.flag, 0);
    if (m_queue && m_queueRead < m_queueWrite)
      LoadTxBuffer(m_queue + m_queueRead * MCP_ENTRY_SIZE, b.buffer);
    else
      m_queueRead = m_queueWrite = 0;
    return 0;
  }

  CountError(MCP_EMPTY_LIMIT);
  return 0;
}
