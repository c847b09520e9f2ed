// The display task with registered faces (7 x 15, the "A", "B", "C" font),
// message-table mode 1 and the verbose trace level, and helpers that store
// messages, build activation codes and fill activation slots.
#pragma once

#include <string>
#include <vector>

#include "display/activation/display_services.h"
#include "display/codes/msg_codes.h"
#include "display/tables/message_table.h"
#include "display/tests/display_fixture.h"

class ActivationTest : public DisplayTest {
 protected:
  using Bytes = std::vector<uint8_t>;

  void SetUp() override {
    DisplayTest::SetUp();
    saved_level_ = trace_level();
    trace_set_level(1);
    SetNv(nv::quorMessageTableMode, 1);
    SetVol(vol::dmsNumPermanentMsg, 2);
    SetVol(vol::dmsMaxChangeableMsg, 500);
    Register(7, 15);
    TakeFlags();
  }
  void TearDown() override {
    trace_set_level(saved_level_);
    DisplayTest::TearDown();
  }

  static Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

  // Writes a row of the message table as it stands (no validation).
  void WriteRow(const msg_row& row, const std::string& text, uint8_t status, uint16_t crc, uint8_t priority = 1,
                uint8_t beacon = 0, uint8_t pixel = 0, const std::string& owner = "tmc") {
    uint8_t* area = row.nv ? db_->mib_nv : db_->mib_v;
    db_->SetString(row.multi.offset, 4, text.data(), static_cast<uint32_t>(text.size()), area, DB_NO_VALIDATE);
    db_->SetString(row.owner.offset, 4, owner.data(), static_cast<uint32_t>(owner.size()), area, DB_NO_VALIDATE);
    db_->SetValue(row.crc.offset, 2, crc, area, DB_NO_VALIDATE);
    db_->SetValue(row.beacon.offset, 1, beacon, area, DB_NO_VALIDATE);
    db_->SetValue(row.pixel_service.offset, 1, pixel, area, DB_NO_VALIDATE);
    db_->SetValue(row.priority.offset, 1, priority, area, DB_NO_VALIDATE);
    db_->SetValue(row.status.offset, 1, status, area, DB_NO_VALIDATE);
  }
  // A valid changeable message n with its CRC; the CRC.
  uint16_t StoreChangeable(uint16_t n, const std::string& text, uint8_t priority = 1, uint8_t beacon = 0) {
    const uint16_t crc = message_crc(reinterpret_cast<const uint8_t*>(text.data()),
                                     static_cast<uint32_t>(text.size()), beacon, 0);
    WriteRow(msg_main_row(n - 1u), text, MSG_STATUS_VALID, crc, priority, beacon);
    return crc;
  }
  uint32_t RowValue(const msg_row& row, const db_object& column) {
    return db_->GetValue(column.offset, column.width, row.nv ? db_->mib_nv : db_->mib_v, 0);
  }
  std::string RowText(const msg_row& row, const db_object& column) {
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(column.offset, 4, row.nv ? db_->mib_nv : db_->mib_v, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  Bytes NvBytes(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_nv, &n);
    return Bytes(p, p + n);
  }
  Bytes VolCode(db_object o) {
    const std::string s = VolBytes(o);
    return Bytes(s.begin(), s.end());
  }

  static Bytes Code(uint8_t type, uint16_t number, uint16_t crc, uint8_t priority = 255, uint16_t duration = 0xFFFF,
                    std::vector<uint8_t> source = {0, 0, 0, 0}) {
    CMsgActivationCode c;
    c.m_wDuration = duration;
    c.m_byPriority = priority;
    c.m_byMemoryType = type;
    c.m_wMessageNumber = number;
    c.m_wCRC = crc;
    for (int i = 0; i < 4; ++i) c.m_bySource[i] = source[i];
    c.Encode();
    return Bytes(c.m_encoded, c.m_encoded + MSG_ACTIVATION_CODE_SIZE);
  }
  static uint16_t Duration(const Bytes& code) { return code.size() == 12 ? code[0] << 8 | code[1] : 0; }

  // The whole activation path in a thread, recorded.
  uint32_t Activate(const Bytes& code, uint8_t mode = 2, uint8_t reason = 2) {
    uint32_t r = 0;
    InThread([&] {
      r = display_->request_activation(code.data(), static_cast<uint32_t>(code.size()), 7, true, mode, reason);
    });
    return r;
  }
  // A slot written as its owner does: source mode, reason, then the code,
  // all announced (the code's write posts the arbitration letter).
  void WriteSlot(uint32_t slot, const Bytes& code, uint8_t mode = 2, uint8_t reason = 2) {
    InThread([&] {
      db_->SetValue(vol::activationSlotSourceMode(slot).offset, 1, mode, db_->mib_v, DB_NOTIFY);
      db_->SetValue(vol::activationSlotReason(slot).offset, 1, reason, db_->mib_v, DB_NOTIFY);
      db_->SetString(vol::activationSlotCode(slot).offset, 4, code.data(), static_cast<uint32_t>(code.size()),
                     db_->mib_v, DB_NOTIFY);
    });
  }
  void Withdraw(uint32_t slot) { WriteSlot(slot, Bytes(12, 0)); }
  void Arbitrate() {
    InThread([&] { display_->handle_activate_msg(); });
  }
  void SetTime(uint32_t seconds) {
    db_->SetTimeValue(nv::globalTime.offset, 4, seconds, db_->mib_nv, DB_GLOBAL_TIME);
  }
  // The running message's text as the display task holds it.
  std::string Running() const {
    const CMessage& m = display_->m_Message;
    return display_->m_pRunningMulti ? std::string(reinterpret_cast<const char*>(m.m_text), m.m_dwTextLength)
                                     : std::string("<none>");
  }

  int saved_level_ = 0;
};
