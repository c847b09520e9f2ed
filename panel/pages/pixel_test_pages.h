// The pixel test from the panel: starting it, the failed pixels as a
// picture of the sign or as a list with module coordinates, and clearing
// them; the same pages show the failures found in real time while messages
// run (source 1), which an option page switches on or off.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

enum : uint8_t { PIXEL_SOURCE_TEST = 0, PIXEL_SOURCE_REAL_TIME = 1 };

// The failure rows of a source (at most 500).
uint32_t lcd_pixel_failure_rows(uint8_t source);

class CLCD_PixelTestActivation : public CLCD_ConfirmMenu {
 public:
  explicit CLCD_PixelTestActivation(CLCD_MenuId id);
  void OnSelect(CLCD_Manager* mgr, CLCD_MenuOption* option) override;
};

class CLCD_PixelTestResults : public CLCD_MenuItemEx {
 public:
  explicit CLCD_PixelTestResults(CLCD_MenuId id);
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  bool IsRunning(CLCD_Manager* mgr) override;
  void DrawRunning(CLCD_Manager* mgr, CLCD* lcd, uint32_t first_line, uint32_t column) override;

  bool m_bShownRunning = false;
};

class CLCD_PixelTestResultsBitmap : public CMenuItem {
 public:
  CLCD_PixelTestResultsBitmap(CLCD_MenuId id, uint8_t source);
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  bool HasRights(CLCD_Manager* mgr) override;

  uint8_t m_bySource;
};

class CLCD_PixelTestResultsList : public CLCD_SimpleMenuBase {
 public:
  static constexpr uint32_t kRows = 500;
  static constexpr uint32_t kTextSize = 30;

  CLCD_PixelTestResultsList(CLCD_MenuId id, uint8_t source);
  void Enter(CLCD_Manager* mgr) override;
  bool HasRights(CLCD_Manager* mgr) override;
  void DrawOptionValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t index, uint32_t line, uint8_t align) override;

  CLCD_MenuOption m_aOptions[kRows];
  char m_aszTexts[kRows][kTextSize] = {};
  uint32_t m_dwRows = 0;
  uint8_t m_bySource;
};

class CLCD_PixelTestResultsClear : public CLCD_ConfirmMenu {
 public:
  CLCD_PixelTestResultsClear(CLCD_MenuId id, uint8_t source);
  bool HasRights(CLCD_Manager* mgr) override;
  void OnSelect(CLCD_Manager* mgr, CLCD_MenuOption* option) override;

  uint8_t m_bySource;
};

// "REAL-TIME PIXEL ERRORS": real-time detection on or off.
class CLCD_RealTimePixel : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_RealTimePixel(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Item;
};
