// The EMAC, MAL and PHY models as the driver reaches them: MII operations
// through STACR, the PHY's negotiation and link, descriptors in board
// memory for sending and receiving, the address filter, and the interrupt
// outputs.
#include <gtest/gtest.h>

#include <vector>

#include "board_host.h"
#include "board_io.h"
#include "ethernet_wire.h"

namespace {

using board::emac_model;
using board::phy_model;
using bytes = std::vector<uint8_t>;

constexpr uint32_t kEmac = emac_model::BASE;
constexpr uint32_t kTable = board::ETHERNET_MEMORY_BASE + 0x11000;
constexpr uint32_t kBuffers = board::ETHERNET_MEMORY_BASE;

class EmacModelTest : public ::testing::Test {
 protected:
  void SetUp() override { board::reset(); }
  void TearDown() override { board::shutdown(); }
  emac_model& M() { return board::emac(); }

  // One MII operation; the STACR value at its end.
  uint32_t Mii(uint32_t command) {
    reg_write32(kEmac + emac_model::STACR, command);
    return reg_read32(kEmac + emac_model::STACR);
  }
  uint16_t PhyRead(unsigned reg) { return static_cast<uint16_t>(Mii(0x1420 | reg) >> 16); }
  void PhyWrite(unsigned reg, uint16_t v) { Mii((uint32_t(v) << 16) | 0x2420 | reg); }

  void Descriptor(uint32_t table, unsigned k, uint16_t control, uint16_t length, uint32_t buffer) {
    reg_write16(table + 8 * k, control);
    reg_write16(table + 8 * k + 2, length);
    reg_write32(table + 8 * k + 4, buffer);
  }
  // Both channels on, one table each, receive buffers of 1536 bytes.
  void Run(uint32_t rmr = 0x40500000) {
    mtdcr(emac_model::MAL_TXCTP0R, kTable);
    mtdcr(emac_model::MAL_RXCTP0R, kTable + 0x100);
    mtdcr(emac_model::MAL_RCBS0, 0x60);
    mtdcr(emac_model::MAL_TXCASR, emac_model::CHANNEL0);
    mtdcr(emac_model::MAL_RXCASR, emac_model::CHANNEL0);
    mtdcr(emac_model::MAL_IER, 0x1F);
    reg_write32(kEmac + emac_model::IAHR, 0x0205);
    reg_write32(kEmac + emac_model::IALR, 0xAC123456);
    reg_write32(kEmac + emac_model::RMR, rmr);
    reg_write32(kEmac + emac_model::MR0, 0x18000000);
  }
  bytes Frame(uint8_t first, size_t n) {
    bytes f(n, 0x5A);
    const uint8_t to[6] = {first, 0x05, 0xAC, 0x12, 0x34, 0x56};
    std::copy(to, to + 6, f.begin());
    return f;
  }
};

TEST_F(EmacModelTest, MiiReachesThePhyAtAddressOne) {
  EXPECT_EQ(0x8000u, reg_read32(kEmac + emac_model::STACR) & 0x8000u) << "idle: operation complete";
  const uint32_t status = Mii(0x1420 | 1);
  EXPECT_EQ(0u, status & 0x4000);
  EXPECT_EQ(0x780Cu, (status >> 16) & ~0x0020u) << "abilities, can negotiate, link";
  PhyWrite(4, 0x0021);
  EXPECT_EQ(0x0021u, PhyRead(4));
  EXPECT_EQ(0x4000u, Mii(0x1400 | (2 << 5) | 1) & 0x4000u) << "nothing at address 2";
  M().phy().set_present(false);
  EXPECT_EQ(0x4000u, Mii(0x1421) & 0x4000u);
  M().phy().set_present(true);
  M().set_mii_stuck(true);
  EXPECT_EQ(0u, Mii(0x1421) & 0x8000u) << "never completes";
}

TEST_F(EmacModelTest, NegotiationResolvesWithThePartner) {
  M().phy().set_partner(0x0081);  // 100 half only
  PhyWrite(0, 0x8000);
  EXPECT_EQ(0x3000u, PhyRead(0)) << "reset is over at once, negotiation on";
  PhyWrite(0, 0x1200);  // restart
  EXPECT_EQ(0u, PhyRead(1) & 0x0020);
  EXPECT_EQ(0u, PhyRead(1) & 0x0020);
  EXPECT_EQ(0x0020u, PhyRead(1) & 0x0020) << "complete after two status reads";
  EXPECT_EQ(0x0081u, PhyRead(5));
  M().phy().set_link(false);
  EXPECT_EQ(0u, PhyRead(1) & 0x0024);
  EXPECT_EQ(0u, PhyRead(5));
  M().phy().set_remote_fault(true);
  M().phy().set_link(true);
  for (int k = 0; k < 3; ++k) PhyRead(1);
  EXPECT_EQ(0x0010u, PhyRead(1) & 0x0010);
  EXPECT_EQ(0x2000u, PhyRead(5) & 0x2000);
}

TEST_F(EmacModelTest, SendsReadyDescriptorsPaddedAndRaisesEndOfBuffer) {
  Run();
  uint8_t* mem = board_memory(kBuffers, 64);
  for (int k = 0; k < 20; ++k) mem[k] = static_cast<uint8_t>(k);
  Descriptor(kTable, 0, 0x9700 | 0x4000, 20, kBuffers);
  EXPECT_FALSE(M().irq(emac_model::IRQ_TXEOB));
  reg_write32(kEmac + emac_model::TMR0, 0x80000000);
  auto sent = M().take_sent();
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ(60u, sent[0].size()) << "padded";
  EXPECT_EQ(19, sent[0][19]);
  EXPECT_EQ(0, sent[0][59]);
  EXPECT_EQ(0u, reg_read16(kTable) & 0x8000u) << "given back";
  EXPECT_TRUE(M().irq(emac_model::IRQ_TXEOB));
  mtdcr(emac_model::MAL_TXEOBISR, mfdcr(emac_model::MAL_TXEOBISR));
  EXPECT_FALSE(M().irq(emac_model::IRQ_TXEOB));
  // A buffer where no memory is: a descriptor error, and the channel stops.
  Descriptor(kTable, 0, 0xC700, 20, 0x30000000);
  reg_write32(kEmac + emac_model::TMR0, 0x80000000);
  EXPECT_TRUE(M().take_sent().empty());
  EXPECT_EQ(0x80000000u, mfdcr(emac_model::MAL_TXDEIR));
  EXPECT_EQ(0u, mfdcr(emac_model::MAL_TXCASR));
  EXPECT_TRUE(M().irq(emac_model::IRQ_TXDE));
}

TEST_F(EmacModelTest, ReceivesIntoEmptyDescriptorsThroughTheFilter) {
  Run();
  Descriptor(kTable + 0x100, 0, 0x8400, 0, kBuffers + 0x1000);
  Descriptor(kTable + 0x100, 1, 0xC400, 0, kBuffers + 0x2000);
  struct row {
    const char* what;
    bytes frame;
    bool taken;
  } rows[] = {
      {"own address", Frame(0x02, 64), true},
      {"another station", Frame(0x06, 64), false},
      {"broadcast", bytes(64, 0xFF), true},
      {"multicast without the hash", Frame(0x01, 64), false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    const uint64_t before = M().frames_received();
    M().receive(r.frame.data(), r.frame.size());
    EXPECT_EQ(before + (r.taken ? 1 : 0), M().frames_received());
  }
  EXPECT_EQ(0x1400u, reg_read16(kTable + 0x100)) << "full, last buffer, no error";
  EXPECT_EQ(64u, reg_read16(kTable + 0x102));
  EXPECT_EQ(0x5A, board_memory(kBuffers + 0x1000, 64)[63]);
  EXPECT_TRUE(M().irq(emac_model::IRQ_RXEOB));
  // The second descriptor wrapped the ring: the first is next, and full.
  const bytes own = Frame(0x02, 64);
  M().receive(own.data(), own.size());
  EXPECT_EQ(1u, M().frames_no_descriptor());
  // Too long for the buffer: cut, with an error bit.
  Descriptor(kTable + 0x100, 0, 0x8400, 0, kBuffers + 0x1000);
  const bytes big = Frame(0x02, 1600);
  M().receive(big.data(), big.size());
  EXPECT_NE(0u, reg_read16(kTable + 0x100) & 0x03FFu);
  EXPECT_EQ(1536u, reg_read16(kTable + 0x102));
  // Receive off: nothing is taken.
  reg_write32(kEmac + emac_model::MR0, 0x10000000);
  EXPECT_EQ(0x80000000u, reg_read32(kEmac + emac_model::MR0) & 0x80000000u) << "receive idle";
  const uint64_t filtered = M().frames_filtered();
  M().receive(own.data(), own.size());
  EXPECT_EQ(filtered + 1, M().frames_filtered());
}

TEST_F(EmacModelTest, ResetsAndSystemErrors) {
  Run();
  reg_write32(kEmac + emac_model::MR0, 0x20000000);
  EXPECT_EQ(0u, reg_read32(kEmac + emac_model::MR0) & 0x38000000u) << "soft reset over, both directions off";
  EXPECT_EQ(0u, reg_read32(kEmac + emac_model::RMR));
  M().raise_system_error(emac_model::ESR_RECEIVE | emac_model::ESR_DESCRIPTOR);
  EXPECT_TRUE(M().irq(emac_model::IRQ_SERR));
  EXPECT_EQ(0u, mfdcr(emac_model::MAL_RXCASR)) << "the named channel stops";
  EXPECT_EQ(0x80000000u, mfdcr(emac_model::MAL_TXCASR));
  mtdcr(emac_model::MAL_ESR, mfdcr(emac_model::MAL_ESR));
  EXPECT_FALSE(M().irq(emac_model::IRQ_SERR));
  mtdcr(emac_model::MAL_CFG, 0x80000000);
  EXPECT_EQ(0u, mfdcr(emac_model::MAL_CFG) & 0x80000000u);
  EXPECT_EQ(0u, mfdcr(emac_model::MAL_TXCASR));
  EXPECT_EQ(0u, mfdcr(emac_model::MAL_IER));
}


// Only answers from the forwarded ports, ARP and DHCP reach the far end:
// nothing the controller starts leaves the wire.
TEST(EthernetWire, OnlyAnswersFromForwardedPortsCross) {
  constexpr uint32_t kFar = 0xC0A80101;  // 192.168.1.1
  auto ip = [](uint8_t proto, uint32_t to, uint16_t from_port, uint16_t to_port, uint16_t fragment = 0) {
    bytes f(60, 0);
    f[12] = 0x08;
    f[14] = 0x45;
    f[20] = static_cast<uint8_t>(fragment >> 8);
    f[21] = static_cast<uint8_t>(fragment);
    f[23] = proto;
    for (int k = 0; k < 4; ++k) f[30 + k] = static_cast<uint8_t>(to >> (24 - 8 * k));
    f[34] = static_cast<uint8_t>(from_port >> 8);
    f[35] = static_cast<uint8_t>(from_port);
    f[36] = static_cast<uint8_t>(to_port >> 8);
    f[37] = static_cast<uint8_t>(to_port);
    return f;
  };
  bytes arp(60, 0);
  arp[12] = 0x08;
  arp[13] = 0x06;
  bytes ipv6(60, 0);
  ipv6[12] = 0x86;
  ipv6[13] = 0xDD;
  struct row {
    const char* what;
    bytes frame;
    bool crosses;
  } rows[] = {
      {"ARP", arp, true},
      {"UDP answer from 161", ip(17, kFar, 161, 40000), true},
      {"TCP answer from 161", ip(6, kFar, 161, 40000), true},
      {"UDP from a client port", ip(17, kFar, 49152, 162), false},
      {"TCP connect from a client port", ip(6, kFar, 49153, 80), false},
      {"from 161 to another address", ip(17, 0x08080808, 161, 53), false},
      {"ICMP", ip(1, kFar, 0, 0), false},
      {"DHCP", ip(17, 0xFFFFFFFF, 68, 67), true},
      {"a later fragment to the far end", ip(17, kFar, 0x1234, 0x5678, 0x00B9), true},
      {"a later fragment elsewhere", ip(17, 0x08080808, 0x1234, 0x5678, 0x00B9), false},
      {"IPv6", ipv6, false},
      {"runt", bytes(20, 0), false},
  };
  for (const row& r : rows) EXPECT_EQ(r.crosses, board::wire_crosses(r.frame.data(), r.frame.size(), kFar, {161})) << r.what;
}

}  // namespace
