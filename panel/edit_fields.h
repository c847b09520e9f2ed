// Two small building blocks of the panel: a date or a time typed digit by
// digit on the keypad (fields advance by themselves; untyped fields show
// placeholder letters), and a display frame turned into the panel's packed
// 1-bit bitmap (rows from the top, most significant bit leftmost, set bit
// lit).
#pragma once

#include <cstdint>

namespace disp {
class frame;
}

class frame_to_bitmap {
 public:
  frame_to_bitmap() = default;
  virtual ~frame_to_bitmap();
  frame_to_bitmap(const frame_to_bitmap&) = delete;
  frame_to_bitmap& operator=(const frame_to_bitmap&) = delete;

  // A zeroed bitmap of the frame's size (kept when the size is the same).
  bool Prepare(disp::frame* frame);
  void Clear();
  // Lit pixels of the frame set their bits; bits are never cleared here.
  bool Convert(disp::frame* frame, const uint8_t** out);

  const uint8_t* Bits() const { return m_pBits; }
  uint16_t Height() const { return m_wHeight; }
  uint16_t Width() const { return m_wWidth; }
  uint16_t Stride() const { return m_wStride; }

 private:
  uint8_t* m_pBits = nullptr;
  uint16_t m_wHeight = 0;
  uint16_t m_wWidth = 0;
  uint16_t m_wStride = 0;
};

// Results of KeyDigit.
enum : uint8_t { EDIT_REFUSED = 0, EDIT_OPEN = 1, EDIT_OVERFLOW = 2, EDIT_COMPLETE = 3 };

class CEditable {
 public:
  explicit CEditable(uint8_t fields) : m_byFieldCount(fields) {}
  CEditable(const CEditable&) = delete;
  CEditable& operator=(const CEditable&) = delete;

  virtual void Reset(uint8_t format) = 0;
  virtual void Format(char* out) = 0;  // at least 16 bytes
  virtual uint8_t KeyDigit(uint16_t key) = 0;
  virtual bool CanLeaveField() = 0;
  virtual bool Backspace() = 0;

  // Backspace is 8, ENTER 10 or 13. true when the key was taken.
  bool HandleKey(uint16_t key);
  bool IsComplete() const { return m_byCurrent >= m_byFieldCount; }
  uint8_t Current() const { return m_byCurrent; }

 protected:
  ~CEditable() = default;
  // The text of one field by its place relative to the current one.
  char* FormatField(char* out, uint32_t value, uint32_t width, char pad, char placeholder, int32_t position);

  uint8_t m_byCurrent = 0;
  uint8_t m_byFieldCount;
  uint8_t m_byLeadingZero = 0;
  uint8_t m_byFormat = 0;
};

class CDateField final : public CEditable {
 public:
  // Format 1: MM/DD/YYYY; format 0: YYYY/MM/DD.
  CDateField() : CEditable(3) {}
  void Reset(uint8_t format) override;
  void Format(char* out) override;
  uint8_t KeyDigit(uint16_t key) override;
  bool CanLeaveField() override;
  bool Backspace() override;

  uint16_t m_wYear = 0;
  uint8_t m_byMonth = 0;
  uint8_t m_byDay = 0;

 private:
  enum kind : uint8_t { YEAR, MONTH, DAY };
  kind KindOf(uint8_t field) const;
  uint8_t NumberDigit(uint16_t key, uint8_t* field, uint8_t maximum, uint8_t limit);
  uint8_t DaysInMonth() const;
};

class CTimeField final : public CEditable {
 public:
  // Format 1: 12-hour clock with an AM/PM field; format 0: 24-hour clock.
  CTimeField() : CEditable(3) {}
  void Reset(uint8_t format) override;
  void Format(char* out) override;
  uint8_t KeyDigit(uint16_t key) override;
  bool CanLeaveField() override;
  bool Backspace() override;

  uint8_t m_byHour = 0;
  uint8_t m_byPm = 0;
  uint8_t m_byMinute = 0;

 private:
  // 0 refused, 1 the leading zero taken, 2 go on with the digit.
  uint8_t ZeroCheck(uint32_t value, uint16_t key, bool allow_second_zero);
};
