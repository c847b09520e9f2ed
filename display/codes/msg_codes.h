// The two NTCIP value classes that name a message everywhere in the
// controller: the 12-byte MessageActivationCode and the 5-byte
// MessageIDCode. Each keeps the encoded bytes (as they travel in SNMP and as
// the database stores them) beside the decoded fields; neither interprets
// the fields.
#pragma once

#include <cstdint>

constexpr uint32_t MSG_ACTIVATION_CODE_SIZE = 12;
constexpr uint32_t MSG_ID_CODE_SIZE = 5;

class CMsgActivationCode {
 public:
  CMsgActivationCode();
  virtual ~CMsgActivationCode() = default;

  // Decodes 12 bytes (most significant byte first) and keeps them as the
  // encoded form; true. With no bytes every field and the encoded form
  // become 0; false.
  bool Decode(const uint8_t* bytes);
  // The same for a stored or received byte string: anything but exactly 12
  // bytes decodes as none (false), so a short string is never read past.
  bool Decode(const uint8_t* bytes, uint32_t length);
  // Writes the encoded form from the fields; call it after changing a field
  // and before the encoded bytes are stored or sent.
  void Encode();
  // Same memory type, message number and CRC; duration, priority and
  // source address take no part.
  bool IsSameMessage(const CMsgActivationCode& other) const;

  // The 12-byte string handed to the database accessors and to SNMP.
  uint8_t m_encoded[MSG_ACTIVATION_CODE_SIZE];
  uint16_t m_wDuration;
  uint8_t m_byPriority;
  uint8_t m_byMemoryType;
  uint16_t m_wMessageNumber;
  uint16_t m_wCRC;
  // The requester's IPv4 address in the encoded octet order.
  uint8_t m_bySource[4];
};

class CMsgIDCode {
 public:
  CMsgIDCode();
  virtual ~CMsgIDCode() = default;

  // Decodes 5 bytes and keeps them as the encoded form; true. With no bytes
  // the fields and the encoded form become 0; false.
  bool Decode(const uint8_t* bytes);
  // Exactly 5 bytes, or decodes as none (false).
  bool Decode(const uint8_t* bytes, uint32_t length);
  // Stores the three fields, then encodes.
  void Set(uint8_t memory_type, uint16_t message_number, uint16_t crc);
  void Encode();

  uint8_t m_encoded[MSG_ID_CODE_SIZE];
  uint8_t m_byMemoryType;
  uint16_t m_wMessageNumber;
  uint16_t m_wCRC;
};
