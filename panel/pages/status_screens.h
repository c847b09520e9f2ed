// The status screens under "*** SYSTEM ERRORS ***": one page per error bit
// of the short error status, each offered only while its bit is set. They
// only read the database. The base owns the paging and the title; each
// screen supplies its visibility test and its body.
#pragma once

#include <cstdint>

#include "panel/menu_item.h"

class CLCD_SimpleErrorMenuBase : public CMenuItem {
 public:
  static constexpr uint32_t kPerPage = 6;

  CLCD_SimpleErrorMenuBase(CLCD_MenuId id, const char* title, const char* title_fr);

  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  // selection 0: the list of the page; 1..6 one item (not used by Draw).
  virtual bool DrawBody(CLCD_Manager* mgr, CLCD* lcd, uint32_t page, uint32_t selection) = 0;

  // Whether the short error status has any of the bits.
  static bool ErrorBitsSet(uint32_t bits);

  uint8_t m_byItemsOnPage = 0;
  uint8_t m_byPageCount = 1;
  uint8_t m_byPage = 1;

 protected:
  // Page count from a number of items (at least 1), and the "(MORE)" mark
  // of line 8 for the page shown.
  void SetPages(uint32_t items);
  void DrawMore(CLCD* lcd);
};

#define LCD_ERROR_SCREEN(NAME)                                                          \
  class NAME : public CLCD_SimpleErrorMenuBase {                                        \
   public:                                                                              \
    explicit NAME(CLCD_MenuId id);                                                      \
    ~NAME() override;                                                                   \
    bool HasRights(CLCD_Manager* mgr) override;                                         \
    bool DrawBody(CLCD_Manager* mgr, CLCD* lcd, uint32_t page, uint32_t selection) override; \
  }

LCD_ERROR_SCREEN(CLCD_OtherErrorStatus);
LCD_ERROR_SCREEN(CLCD_CommErrorStatus);
LCD_ERROR_SCREEN(CLCD_PowerErrorStatus);
LCD_ERROR_SCREEN(CLCD_AttachedDeviceErrorStatus);
LCD_ERROR_SCREEN(CLCD_PhotocellErrorStatus);
LCD_ERROR_SCREEN(CLCD_MessageErrorStatus);
LCD_ERROR_SCREEN(CLCD_ControllerErrorStatus);
LCD_ERROR_SCREEN(CLCD_TemperatureErrorStatus);
LCD_ERROR_SCREEN(CLCD_ClimateErrorStatus);
LCD_ERROR_SCREEN(CLCD_DoorOpenStatus);
LCD_ERROR_SCREEN(CLCD_HumidityWarningStatus);

#undef LCD_ERROR_SCREEN
