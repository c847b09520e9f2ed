// The base of every front-panel page, the page ids, and the class factory
// that builds the pages of the menu table.
#pragma once

#include <cstdint>

#include "panel/lcd_keys.h"

class CLCD;
class CLCD_Manager;
struct letter_s;

// Menu ids (CLCD_MenuId). 0 asks FindMenu for the caller's parent.
typedef int32_t CLCD_MenuId;
enum : CLCD_MenuId {
  LCD_MENU_INSUFFICIENT_RIGHTS = -1,
  LCD_MENU_PARENT = 0,
  LCD_MENU_SPLASH = 1,
  LCD_MENU_LOGIN = 2,
  LCD_MENU_MAIN = 3,
  LCD_MENU_DIAGNOSTICS = 4,
  LCD_MENU_CURRENT_DISPLAY = 19,
  LCD_MENU_MESSAGE_CONTROL = 21,
  LCD_MENU_RUN_SAVED_MESSAGE = 22,
  LCD_MENU_RUN_OPTIONS = 23,
  LCD_MENU_DELETE_MESSAGE = 25,
  LCD_MENU_BLANK_DISPLAY = 27,
  LCD_MENU_MESSAGE_EDITOR = 28,
  LCD_MENU_QUICK_SCHEDULE = 36,
  LCD_MENU_BRIGHTNESS = 44,
  LCD_MENU_CONFIGURATION = 45,
  LCD_MENU_SYSTEM_ERRORS = 140,
  LCD_MENU_SLOTS_FULL = 194,  // not in the table
  LCD_MENU_CHANGE_PASSWORD = 212,
};

// Redraw modes of Draw and levels of RequestRedraw.
enum : uint8_t { LCD_DRAW_REFRESH = 0, LCD_DRAW_FULL = 1, LCD_DRAW_PARTIAL = 2 };

class CMenuItem {
 public:
  CMenuItem(CLCD_MenuId id, const char* title = "", const char* title_fr = "", uint32_t rights = 0,
            uint8_t redraw_interval = 0);
  virtual ~CMenuItem();
  CMenuItem(const CMenuItem&) = delete;
  CMenuItem& operator=(const CMenuItem&) = delete;

  // The page becomes current without a forwarded key: resets its state.
  virtual void Enter(CLCD_Manager* mgr);
  // After Enter or the forwarded key: the page's redraw interval becomes
  // the manager's, and RIGHT is held back again.
  virtual void Activate(CLCD_Manager* mgr);
  virtual void Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id);
  // true when the key was consumed.
  virtual bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) = 0;
  // mode: 1 full on a cleared screen, 2 partial, 0 nothing changed.
  virtual void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) = 0;
  virtual bool HasRights(CLCD_Manager* mgr);
  virtual void OnEvent(letter_s* letter);
  // The page's current value beside its entry in a list (line, alignment).
  virtual void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align);
  // true while a job runs that must not be interrupted.
  virtual bool IsBusy();
  // The flash files changed: pages that list them scan again.
  virtual void InvalidateFiles();

  // The title in the manager's language (English when no French one).
  const char* Title(const CLCD_Manager* mgr) const;

  // Fields, in their firmware order.
  CLCD_MenuId m_iId;
  const char* m_pszTitle;
  const char* m_pszTitleFr;
  uint32_t m_dwRights;
  CMenuItem* m_pParent = nullptr;
  uint8_t m_byRedrawInterval;
};

// A page that turns its views with RIGHT, which the manager holds back
// from other pages: RIGHT passes while the page is shown, and the flag is
// put back as it was when it goes.
class CLCD_RightKeyPage : public CMenuItem {
 public:
  using CMenuItem::CMenuItem;
  void Activate(CLCD_Manager* mgr) override;
  void Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id) override;

  uint8_t m_bySavedKey12Pass = 0;
};

// ---- the class factory

// Factory types of the page classes (CLCD_FactoryType).
typedef uint32_t CLCD_FactoryType;
enum : CLCD_FactoryType {
  LCD_CLASS_SPLASH = 0,
  LCD_CLASS_LOGIN = 1,
  LCD_CLASS_MAIN_MENU = 2,
  LCD_CLASS_INSUFFICIENT_RIGHTS = 139,
  LCD_CLASS_MENU_ITEM_EX = 141,
};

struct class_descriptor {
  CLCD_FactoryType type;
  // (menu id, second argument); most classes keep their own id.
  CMenuItem* (*create)(CLCD_MenuId id, uint32_t arg);
};

class class_factory {
 public:
  static constexpr uint32_t kCapacity = 155;

  class_factory() = default;
  virtual ~class_factory();

  // Appends the descriptor (a second one of a type is reported and kept);
  // the type number, or 0xFFFFFFFF for a null descriptor.
  uint32_t Register(const class_descriptor* descriptor);
  // The first descriptor of the type builds the page; null when none.
  CMenuItem* Create(CLCD_FactoryType type, CLCD_MenuId a, uint32_t b);
  uint32_t Registered() const { return m_dwCount; }

 private:
  const class_descriptor* m_apDescriptors[kCapacity] = {};
  uint32_t m_dwCount = 0;
};

// The page classes that are built: each page class has its descriptor in
// this list. Classes added at run time (tests) join every manager built
// after them; at most 16.
void lcd_register_page_classes(class_factory* factory);
bool lcd_add_page_class(const class_descriptor* descriptor);
void lcd_clear_added_page_classes();
