// The on-chip Ethernet: the EMAC (registers at 0xEF600800), the MAL that
// moves frames between the EMAC and memory through descriptor tables (DCRs
// 0x180-0x1FF), and the PHY on the EMAC's MII management interface
// (address 1). The far end of the wire uses the line-side operations: it
// offers frames, and takes the frames the EMAC sends.
//
// Descriptors (8 bytes, big-endian: control/status, length, buffer address)
// and buffers are read and written in board memory at their physical
// addresses, as the MAL would; a descriptor or buffer outside mapped memory
// is a descriptor error of its channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "board_models.h"

namespace board {

// The PHY's registers as its MII interface shows them: 0 control, 1 status,
// 4 advertisement, 5 partner ability, 0x10 the board's own register.
// Auto-negotiation, once restarted, completes after a set number of status
// reads, with the partner's abilities in register 5, provided the link is up.
class phy_model {
 public:
  static constexpr uint16_t CTRL_RESET = 0x8000, CTRL_100 = 0x2000, CTRL_ANEG = 0x1000, CTRL_RESTART = 0x0200,
                            CTRL_FULL = 0x0100;
  static constexpr uint16_t ST_100FD = 0x4000, ST_100HD = 0x2000, ST_10FD = 0x1000, ST_10HD = 0x0800,
                            ST_ANEG_DONE = 0x0020, ST_REMOTE_FAULT = 0x0010, ST_ANEG_ABLE = 0x0008,
                            ST_LINK = 0x0004;
  static constexpr uint16_t ADV_100FD = 0x0100, ADV_100HD = 0x0080, ADV_10FD = 0x0040, ADV_10HD = 0x0020,
                            ADV_SELECTOR = 0x0001, LPA_REMOTE_FAULT = 0x2000;

  // False: an MII access fails with the PHY error bit.
  bool answers();
  uint16_t read(unsigned reg);
  void write(unsigned reg, uint16_t value);

  // ---- the cable and the partner
  void set_present(bool on);
  void set_link(bool up);
  // The partner's abilities (ADV_* bits) offered when negotiation runs.
  void set_partner(uint16_t abilities);
  // The PHY's own abilities (ST_* 0x7800 bits) and whether it negotiates.
  void set_abilities(uint16_t st_bits, bool can_negotiate);
  void set_remote_fault(bool on);
  // Status reads a negotiation takes to complete (0: done at the next read).
  void set_negotiation_reads(uint32_t reads);

  // ---- observation
  uint16_t reg(unsigned reg);
  uint32_t negotiations();  // restarts seen
  uint32_t resets();

 private:
  void reset_locked();
  uint16_t status_locked();

  std::mutex m_lock;
  bool m_present = true;
  bool m_link = true;
  uint16_t m_partner = ADV_100FD | ADV_100HD | ADV_10FD | ADV_10HD | ADV_SELECTOR;
  uint16_t m_abilities = ST_100FD | ST_100HD | ST_10FD | ST_10HD;
  bool m_can_negotiate = true;
  bool m_remote_fault = false;
  uint32_t m_negotiation_reads = 2;
  uint16_t m_control = CTRL_100 | CTRL_ANEG;
  uint16_t m_advertise = ADV_100FD | ADV_100HD | ADV_10FD | ADV_10HD | ADV_SELECTOR;
  uint16_t m_lpa = 0;
  uint16_t m_reg10 = 0;
  bool m_negotiating = false;
  bool m_negotiated = false;
  uint32_t m_reads_left = 0;
  uint32_t m_negotiations = 0;
  uint32_t m_resets = 0;
};

class emac_model : public word_device, public dcr_device {
 public:
  static constexpr uint32_t BASE = 0xEF600800;
  static constexpr uint32_t SIZE = 0x70;
  // EMAC register offsets.
  enum : uint32_t {
    MR0 = 0x00, MR1 = 0x04, TMR0 = 0x08, TMR1 = 0x0C, RMR = 0x10, ISR = 0x14, ISER = 0x18, IAHR = 0x1C,
    IALR = 0x20, GAHT1 = 0x40, GAHT2 = 0x44, GAHT3 = 0x48, GAHT4 = 0x4C, IPGVR = 0x58, STACR = 0x5C,
    TRTR = 0x60, RWMR = 0x64,
  };
  // DCR numbers of the MAL and the chip register the driver sets.
  enum : uint32_t {
    MAL_CFG = 0x180, MAL_ESR = 0x181, MAL_IER = 0x182, MAL_TXCASR = 0x184, MAL_TXCARR = 0x185,
    MAL_TXEOBISR = 0x186, MAL_TXDEIR = 0x187, MAL_RXCASR = 0x190, MAL_RXCARR = 0x191, MAL_RXEOBISR = 0x192,
    MAL_RXDEIR = 0x193, MAL_TXCTP0R = 0x1A0, MAL_RXCTP0R = 0x1C0, MAL_RCBS0 = 0x1E0, CHIP_ETH = 0xAA,
  };
  static constexpr uint32_t MAL_FIRST_DCR = 0x180, MAL_DCRS = 0x80;
  static constexpr uint32_t CHANNEL0 = 0x80000000;
  static constexpr uint32_t MR0_RX_IDLE = 0x80000000, MR0_TX_IDLE = 0x40000000, MR0_SOFT_RESET = 0x20000000,
                            MR0_TX_ENABLE = 0x10000000, MR0_RX_ENABLE = 0x08000000;
  static constexpr uint32_t RMR_STRIP_FCS = 0x40000000, RMR_BROADCAST = 0x00400000, RMR_INDIVIDUAL = 0x00100000,
                            RMR_MULTICAST = 0x00080000;
  // Descriptor control and status.
  static constexpr uint16_t D_EMPTY_READY = 0x8000, D_WRAP = 0x4000, D_LAST = 0x1000, D_INTERRUPT = 0x0400,
                            D_FCS = 0x0200, D_PAD = 0x0100, D_RX_ERRORS = 0x03FF, D_RX_TOO_LONG = 0x0004;
  // MAL error status.
  static constexpr uint32_t ESR_VALID = 0x80000000, ESR_RECEIVE = 0x40000000, ESR_DESCRIPTOR = 0x00100000,
                            ESR_PLB = 0x00010000;
  // UIC inputs, in the order the dispatcher tests them.
  static constexpr uint32_t IRQ_SERR = 0x00200000, IRQ_TXEOB = 0x00100000, IRQ_RXEOB = 0x00080000,
                            IRQ_TXDE = 0x00040000, IRQ_RXDE = 0x00020000, IRQ_EMAC = 0x00010000;
  static constexpr uint32_t IRQ_ALL = 0x003F0000;
  static constexpr size_t MAX_FRAME = 1518;
  static constexpr size_t MIN_FRAME = 60;

  uint32_t read_dcr(uint32_t dcrn) override;
  void write_dcr(uint32_t dcrn, uint32_t value) override;

  phy_model& phy() { return m_phy; }
  // Level of one UIC input (IRQ_* bit).
  bool irq(uint32_t bit);
  // Called (without the lock) when an interrupt output may have changed.
  std::function<void(uint32_t mask)> on_irq_changed;

  // ---- line side
  // A frame from the wire (without FCS). Taken when receive is on, the
  // address filter passes it and an empty descriptor waits; else counted.
  void receive(const uint8_t* frame, size_t length);
  // Where sent frames go; without one they wait for take_sent().
  void set_wire(std::function<void(const uint8_t*, size_t)> out);
  std::vector<std::vector<uint8_t>> take_sent();

  // ---- faults
  // A MAL system error: ESR gets `esr` and the channel it names stops.
  void raise_system_error(uint32_t esr);
  // The MII interface never completes an operation.
  void set_mii_stuck(bool on);

  // ---- observation
  uint32_t reg(uint32_t offset);
  uint32_t dcr(uint32_t dcrn);
  uint64_t frames_sent();
  uint64_t frames_received();
  uint64_t frames_filtered();    // not for this station, or receive off
  uint64_t frames_no_descriptor();  // no empty descriptor: lost
  uint32_t mal_resets();
  uint32_t emac_resets();

 protected:
  uint32_t read_word(uint32_t offset) override;
  void write_word(uint32_t offset, uint32_t value) override;

 private:
  void transmit_locked(std::vector<std::vector<uint8_t>>* out);
  bool filter_locked(const uint8_t* frame, size_t length);
  void mii_command_locked(uint32_t value);
  void mal_reset_locked();
  uint32_t irq_levels_locked();
  void finish(std::unique_lock<std::mutex>& lk, std::vector<std::vector<uint8_t>>* out = nullptr);

  std::mutex m_lock;
  phy_model m_phy;
  uint32_t m_regs[SIZE / 4] = {};
  uint32_t m_stacr = 0x8000;
  bool m_mii_stuck = false;
  // MAL.
  uint32_t m_cfg = 0, m_esr = 0, m_ier = 0, m_tx_active = 0, m_rx_active = 0;
  uint32_t m_txeob = 0, m_txde = 0, m_rxeob = 0, m_rxde = 0;
  uint32_t m_txctp = 0, m_rxctp = 0, m_rcbs = 0, m_chip = 0;
  uint32_t m_tx_index = 0, m_rx_index = 0;
  uint32_t m_last_levels = 0;
  std::function<void(const uint8_t*, size_t)> m_wire;
  std::deque<std::vector<uint8_t>> m_sent;
  uint64_t m_frames_sent = 0, m_frames_received = 0, m_filtered = 0, m_no_descriptor = 0;
  uint32_t m_mal_resets = 0, m_emac_resets = 0;
};

// Board memory the Ethernet uses: the buffer area the board start-up hands
// to the driver, and the main packet pool's fixed block.
constexpr uint32_t ETHERNET_MEMORY_BASE = 0x00FC0000;
constexpr uint32_t ETHERNET_MEMORY_SIZE = 0x20000;
constexpr uint32_t PACKET_MEMORY_BASE = 0x00F00000;
constexpr uint32_t PACKET_MEMORY_SIZE = 0x10000;

}  // namespace board
