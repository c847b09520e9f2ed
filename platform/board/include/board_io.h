// The processor's view of the board: memory-mapped device registers and the
// device-control registers (DCRs), as the system's drivers reach them. On the
// board these are volatile loads and stores and the mfdcr/mtdcr instructions;
// here each access goes to the register model mapped at that address.
//
// Addresses are the board's physical addresses. Multi-byte registers are
// big-endian, as the processor sees them: the byte at a register's address is
// its most significant byte. An access where nothing is mapped reads all ones
// (a floating bus) and writes nothing.
#pragma once

#include <cstdint>

uint8_t reg_read8(uint32_t address);
uint16_t reg_read16(uint32_t address);
uint32_t reg_read32(uint32_t address);
void reg_write8(uint32_t address, uint8_t value);
void reg_write16(uint32_t address, uint16_t value);
void reg_write32(uint32_t address, uint32_t value);

// Memory at a physical address, as the processor's loads and stores reach
// it (on the board the address itself): null unless memory is mapped over
// the whole range.
uint8_t* board_memory(uint32_t address, uint32_t length);
// The physical address of a byte of mapped memory (the inverse of
// board_memory); 0 when the pointer is in none.
uint32_t board_address(const void* pointer);

uint32_t mfdcr(uint32_t dcrn);
void mtdcr(uint32_t dcrn, uint32_t value);

// The processor's external-interrupt vector: the board start-up code installs
// the routine that the interrupt controller's non-critical output runs (in
// interrupt context). It belongs to the processor, so resetting the board
// models keeps it.
void board_install_external_vector(void (*vector)());
