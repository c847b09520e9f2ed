// "PREVIEW MESSAGE" draws a stored message on the panel frame by frame,
// without putting it on the sign, with the failed pixels of the last pixel
// test blinking on it; the save pages store the editor's text as a
// changeable message and then offer to run it.
#pragma once

#include <cstdint>

#include "display/driver/lcd_display_driver.h"
#include "display/surface/surface.h"
#include "panel/menu_item.h"

class CLCD_MessagePreview : public CLCD_RightKeyPage {
 public:
  static constexpr uint32_t kFailureRows = 500;
  static constexpr uint32_t kTextSize = 2048;

  explicit CLCD_MessagePreview(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  // The MULTI text of the target into m_szText; false when the message is
  // not valid or its memory type has no table.
  bool FetchText(CLCD_Manager* mgr);
  // Frame n drawn into the page's driver.
  bool Render(uint32_t frame);

  CLCDDisplayDriver m_Driver;
  CSurface m_Surface;
  uint32_t m_dwLeft = 0;
  uint32_t m_dwTop = 0;
  uint32_t m_dwSignWidth = 0;
  uint32_t m_dwSignHeight = 0;
  uint32_t m_dwFailures = 0;
  uint8_t m_byPhase = 0;
  uint8_t m_byFrame = 1;
  uint8_t m_byView = 0;  // 0 left part, 1 right end of a wide sign
  uint32_t m_dwTargetType = 0;
  uint32_t m_dwTargetNumber = 0;
  uint8_t m_byFrameCount = 0;
  char m_szText[kTextSize] = {};
  uint32_t m_dwTextLength = 0;
};

class CLCD_MessageSave : public CMenuItem {
 public:
  explicit CLCD_MessageSave(CLCD_MenuId id);
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
};

class CLCD_MessageSaveAs : public CMenuItem {
 public:
  explicit CLCD_MessageSaveAs(CLCD_MenuId id);
  void Activate(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  uint32_t m_dwSlot = 0;
};

class CLCD_MessageSlotUsed : public CMenuItem {
 public:
  explicit CLCD_MessageSlotUsed(CLCD_MenuId id);
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
};

// Stores the editor's text in the edit slot and opens the run options
// (message control when the store failed).
void lcd_store_and_offer_run(CLCD_Manager* mgr, CMenuItem* from);
