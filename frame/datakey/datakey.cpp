#include "frame/datakey/datakey.h"

#include <algorithm>

#include "board_io.h"
#include "tx_api.h"

namespace {

uint8_t Control() { return reg_read8(CDataKey::REG_CONTROL); }
void SetControl(uint8_t value) { reg_write8(CDataKey::REG_CONTROL, value); }

}  // namespace

void CDataKey::WriteByte(uint8_t byte) {
  SetControl(static_cast<uint8_t>((Control() ^ STROBE) & ~DIR_READ));
  reg_write8(REG_TX, byte);
}

uint8_t CDataKey::ReadByte() {
  SetControl(static_cast<uint8_t>((Control() ^ STROBE) | DIR_READ));
  return reg_read8(REG_RX);
}

uint32_t CDataKey::IsPresent() { return Control() & PRESENT; }

uint32_t CDataKey::IsReady() { return (Control() & (PRESENT | POWER)) == (PRESENT | POWER) ? 1 : 0; }

void CDataKey::SetPower(uint32_t on) {
  uint8_t c = Control();
  SetControl(static_cast<uint8_t>(on ? c | POWER : c & ~POWER));
}

void CDataKey::SetSelect(uint32_t on) {
  uint8_t c = Control();
  SetControl(static_cast<uint8_t>(on ? c | SELECT : c & ~SELECT));
}

void CDataKey::Address(CDataKey* key, uint32_t address) {
  key->WriteByte(static_cast<uint8_t>(address >> 16));
  key->WriteByte(static_cast<uint8_t>(address >> 8));
  key->WriteByte(static_cast<uint8_t>(address));
}

void CDataKey::WriteEnable() {
  SetSelect(1);
  WriteByte(CMD_WREN);
  SetSelect(0);
}

uint8_t CDataKey::ReadStatus() {
  SetSelect(1);
  WriteByte(CMD_RDSR);
  uint8_t status = ReadByte();
  SetSelect(0);
  return status;
}

void CDataKey::ReadRaw(uint32_t address, uint8_t* buffer, uint32_t count) {
  SetSelect(1);
  WriteByte(CMD_READ);
  Address(this, address);
  for (uint32_t i = 0; i < count; ++i) buffer[i] = ReadByte();
  SetSelect(0);
}

void CDataKey::WritePage(uint32_t address, const uint8_t* buffer, uint32_t count) {
  SetSelect(1);
  WriteByte(CMD_PP);
  Address(this, address);
  for (uint32_t i = 0; i < count; ++i) WriteByte(buffer[i]);
  SetSelect(0);
}

void CDataKey::ChipErase() {
  SetSelect(1);
  WriteByte(CMD_CE);
  SetSelect(0);
}

uint32_t CDataKey::Power(uint32_t on) {
  if (!on) {
    SetPower(0);
    return 1;
  }
  if (!IsPresent()) return 0;
  SetPower(1);
  tx_thread_sleep(POWER_UP_TICKS);
  return IsReady();
}

uint32_t CDataKey::Read(uint32_t address, uint8_t* buffer, uint32_t count) {
  if (!IsReady() || (count && !buffer)) return 0;
  ReadRaw(address, buffer, count);
  // A key pulled during the read delivered nothing worth keeping.
  return IsReady();
}

uint32_t CDataKey::Write(uint32_t address, const uint8_t* buffer, uint32_t count) {
  if (!IsReady() || (count && !buffer)) return 0;
  while (count) {
    // Up to the end of the page the address falls in.
    uint32_t chunk = std::min(count, PAGE - (address % PAGE));
    WriteEnable();
    WritePage(address, buffer, chunk);
    if (!WaitReady(PROGRAM_POLL_TICKS)) return 0;
    address += chunk;
    buffer += chunk;
    count -= chunk;
  }
  return 1;
}

uint32_t CDataKey::Erase() {
  if (!IsReady()) return 0;
  WriteEnable();
  ChipErase();
  return WaitReady(ERASE_POLL_TICKS);
}

uint32_t CDataKey::WaitReady(uint32_t ticks) {
  if (ticks == 0) ticks = 1;
  uint32_t waited = 0;
  for (;;) {
    tx_thread_sleep(ticks);
    waited += ticks;
    if (!IsReady()) return 0;
    if (!(ReadStatus() & STATUS_WIP)) return IsReady();
    if (waited >= MAX_BUSY_TICKS) return 0;
  }
}

bool datakey_present() {
  CDataKey key;
  return key.IsPresent() != 0;
}

bool datakey_power(CDataKey* key, bool on) { return key && key->Power(on ? 1 : 0) != 0; }

bool datakey_read_block(CDataKey* key, uint32_t offset, uint8_t* buffer, uint32_t length) {
  return key && key->Read(offset, buffer, length) != 0;
}

bool datakey_write(CDataKey* key, uint32_t offset, const uint8_t* data, uint32_t length) {
  return key && key->Write(offset, data, length) != 0;
}

bool datakey_erase(CDataKey* key) { return key && key->Erase() != 0; }
