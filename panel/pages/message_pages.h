// The "MESSAGE CONTROL" branch: its entry list, the message list that runs,
// previews or deletes a stored message, the blank and delete confirmations,
// and the default-font option page.
//
// Entry numbers on the panel: 1..500 are changeable messages, 501..550 the
// permanent messages 3..52.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

class CLCD_MessageControl : public CLCD_MenuItemEx {
 public:
  explicit CLCD_MessageControl(CLCD_MenuId id);
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Enter(CLCD_Manager* mgr) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  // Every changeable entry was in use when the editor was asked for.
  uint8_t m_bySlotsFull = 0;
};

class CLCD_MessageList : public CMenuItem {
 public:
  static constexpr uint32_t kEntries = 550;
  static constexpr uint32_t kChangeable = 500;
  static constexpr uint32_t kRows = 6;
  static constexpr uint32_t kRowText = 22;
  static constexpr uint32_t kSortKey = 24;
  static constexpr int32_t kJumpTicks = 3;
  enum : uint32_t { ARROW_UP = 1, ARROW_DOWN = 2 };
  enum : uint8_t { SHOW_PREVIOUS = 0, SHOW_NEXT = 1, SHOW_FIRST = 2, SHOW_LAST = 3, SHOW_HOLDING = 4 };

  CLCD_MessageList(CLCD_MenuId id, const char* title, const char* title_fr, uint32_t rights);

  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  bool HasRights(CLCD_Manager* mgr) override;

  void Collect();
  void Sort();
  // index: an entry index (entry number - 1).
  void ShowPage(uint32_t index, uint8_t mode);
  void JumpToLetter(uint16_t letter);
  // Whether the typed number is listed (the page then holds it).
  bool SelectTyped();
  // The memory type and number of an entry number: 7, 1 when not listed.
  void GetTarget(uint32_t number, uint32_t* memory_type, uint32_t* message_number);

  const char* m_pszAction = "";
  const char* m_pszActionFr = "";
  CLCD_MenuId m_iTarget = 0;
  struct row {
    uint32_t number;
    char text[kRowText];
  } m_aRows[kRows] = {};
  uint32_t m_dwRowCount = 0;
  uint32_t m_dwHighest = kEntries;
  uint32_t m_dwTyped = 0;
  int32_t m_iCountdown = 0;
  uint32_t m_dwArrows = 0;
  uint16_t m_awEntries[kEntries] = {};
  uint32_t m_dwCount = 0;

 private:
  // Position in the collected list, or kEntries when not listed.
  uint32_t PositionOf(uint32_t index) const;
  uint32_t m_dwPage = 0;
  // Preview texts of the entries, by entry index.
  char m_aszKeys[kEntries][kSortKey] = {};
  char m_szMulti[1024] = {};
};

class CLCD_MessageBlank : public CMenuItem {
 public:
  explicit CLCD_MessageBlank(CLCD_MenuId id);
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
};

class CLCD_MessageDeleteC : public CMenuItem {
 public:
  explicit CLCD_MessageDeleteC(CLCD_MenuId id);
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
};

class CLCD_MessageDefaults_Font : public CLCD_SimpleMenuBase {
 public:
  static constexpr uint32_t kFonts = 20;
  static constexpr uint32_t kNameSize = 48;

  explicit CLCD_MessageDefaults_Font(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void OnSelect(CLCD_Manager* mgr, CLCD_MenuOption* option) override;

  CLCD_MenuOption m_aOptions[kFonts];
  char m_aszNames[kFonts][kNameSize] = {};
};

// Blanks the sign through the panel's activation slot.
bool lcd_blank_sign(CLCD_Manager* mgr);
