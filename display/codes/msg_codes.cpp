#include "display/codes/msg_codes.h"

#include <cstring>

namespace {

uint16_t load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

}  // namespace

// Cleared so that a value read before any decode is all zero rather than
// whatever the stack held.
CMsgActivationCode::CMsgActivationCode() { Decode(nullptr); }

bool CMsgActivationCode::Decode(const uint8_t* bytes) {
  if (!bytes) {
    std::memset(m_encoded, 0, sizeof m_encoded);
    m_wDuration = 0;
    m_byPriority = 0;
    m_byMemoryType = 0;
    m_wMessageNumber = 0;
    m_wCRC = 0;
    std::memset(m_bySource, 0, sizeof m_bySource);
    return false;
  }
  // Copied first: the caller may hand in our own encoded bytes.
  std::memmove(m_encoded, bytes, sizeof m_encoded);
  m_wDuration = load16(m_encoded);
  m_byPriority = m_encoded[2];
  m_byMemoryType = m_encoded[3];
  m_wMessageNumber = load16(m_encoded + 4);
  m_wCRC = load16(m_encoded + 6);
  std::memcpy(m_bySource, m_encoded + 8, sizeof m_bySource);
  return true;
}

bool CMsgActivationCode::Decode(const uint8_t* bytes, uint32_t length) {
  return Decode(length == MSG_ACTIVATION_CODE_SIZE ? bytes : nullptr);
}

void CMsgActivationCode::Encode() {
  store16(m_encoded, m_wDuration);
  m_encoded[2] = m_byPriority;
  m_encoded[3] = m_byMemoryType;
  store16(m_encoded + 4, m_wMessageNumber);
  store16(m_encoded + 6, m_wCRC);
  std::memcpy(m_encoded + 8, m_bySource, sizeof m_bySource);
}

bool CMsgActivationCode::IsSameMessage(const CMsgActivationCode& other) const {
  return m_byMemoryType == other.m_byMemoryType && m_wMessageNumber == other.m_wMessageNumber &&
         m_wCRC == other.m_wCRC;
}

CMsgIDCode::CMsgIDCode() { Decode(nullptr); }

bool CMsgIDCode::Decode(const uint8_t* bytes) {
  if (!bytes) {
    std::memset(m_encoded, 0, sizeof m_encoded);
    m_byMemoryType = 0;
    m_wMessageNumber = 0;
    m_wCRC = 0;
    return false;
  }
  std::memmove(m_encoded, bytes, sizeof m_encoded);
  m_byMemoryType = m_encoded[0];
  m_wMessageNumber = load16(m_encoded + 1);
  m_wCRC = load16(m_encoded + 3);
  return true;
}

bool CMsgIDCode::Decode(const uint8_t* bytes, uint32_t length) {
  return Decode(length == MSG_ID_CODE_SIZE ? bytes : nullptr);
}

void CMsgIDCode::Set(uint8_t memory_type, uint16_t message_number, uint16_t crc) {
  m_byMemoryType = memory_type;
  m_wMessageNumber = message_number;
  m_wCRC = crc;
  Encode();
}

void CMsgIDCode::Encode() {
  m_encoded[0] = m_byMemoryType;
  store16(m_encoded + 1, m_wMessageNumber);
  store16(m_encoded + 3, m_wCRC);
}
