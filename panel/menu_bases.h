// The generic page classes almost every front-panel page derives from: the
// numbered submenu list, the numbered option list, the entry of one number,
// the entry of an IPv4 address and the step-by-step wizard with its items.
// A subclass supplies texts, limits and the load and store of its object.
#pragma once

#include <cstdint>
#include <new>

#include "panel/menu_item.h"

// Texts in the manager's language: French when it is 1 and the French text
// is there.
const char* lcd_text(const CLCD_Manager* mgr, const char* en, const char* fr);

// The list arrows at the right edge: up unless on page 0, down unless on
// the last page.
constexpr uint32_t kLcdArrowX = 234;
void lcd_draw_page_arrows(CLCD* lcd, uint32_t page, uint32_t last_page, uint32_t x = kLcdArrowX);
void lcd_draw_up_arrow_area(CLCD* lcd, uint32_t page, uint32_t x = kLcdArrowX);

// Keys that turn the pages of a list.
enum lcd_page_key { LCD_PAGE_NONE, LCD_PAGE_PREVIOUS, LCD_PAGE_NEXT, LCD_PAGE_FIRST, LCD_PAGE_LAST };
lcd_page_key lcd_page_key_of(LCDKeyEvent key);

// ---------------------------------------------------------------- submenu list

class CLCD_MenuItemEx : public CMenuItem {
 public:
  static constexpr uint32_t MAX_SUBMENUSIZE = 30;

  CLCD_MenuItemEx(CLCD_MenuId id, const char* title = "", const char* title_fr = "", uint8_t redraw_interval = 0);

  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  // A list is there while one of its entries is.
  bool HasRights(CLCD_Manager* mgr) override;
  virtual void DrawSubMenus(CLCD_Manager* mgr, CLCD* lcd, uint32_t first_line, uint32_t column);
  virtual bool IsRunning(CLCD_Manager* mgr);
  virtual void DrawRunning(CLCD_Manager* mgr, CLCD* lcd, uint32_t first_line, uint32_t column);

  bool AddSubMenu(CMenuItem* submenu);
  // Visible entries; makes this list the parent of every entry.
  uint32_t CountVisible(CLCD_Manager* mgr);
  // The n-th visible entry, n from 1; null when fewer are visible.
  CMenuItem* GetVisible(CLCD_Manager* mgr, uint32_t n);

  CMenuItem* m_apSubMenus[MAX_SUBMENUSIZE] = {};
  const char* m_pszFooter = nullptr;
  const char* m_pszFooterFr = nullptr;
  uint32_t m_dwSubMenuCount = 0;
  uint8_t m_byPage = 0;
  uint8_t m_byDrawnCount = 0;
  uint32_t m_dwPerPage = 6;
};

// ---------------------------------------------------------------- option list

class CLCD_MenuOption {
 public:
  CLCD_MenuOption(uint32_t value = 0, const char* text = "", const char* text_fr = "", CLCD_MenuId next = 0)
      : m_dwValue(value), m_iNextMenu(next), m_pszText(text), m_pszTextFr(text_fr) {}
  uint32_t m_dwValue;
  CLCD_MenuId m_iNextMenu;  // 0: back to the parent
  const char* m_pszText;
  const char* m_pszTextFr;
};

class CLCD_SimpleMenuBase : public CMenuItem {
 public:
  static constexpr uint32_t kMaxOptions = 500;  // the pixel-failure list holds 500
  static constexpr uint32_t kPerPage = 6;

  CLCD_SimpleMenuBase(CLCD_MenuId id, const char* title = "", const char* title_fr = "", uint32_t rights = 0,
                      uint8_t redraw_interval = 0);

  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  virtual void OnSelect(CLCD_Manager* mgr, CLCD_MenuOption* option);
  virtual void DrawOptionValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t index, uint32_t line, uint8_t align);

  void AddOption(CLCD_MenuOption* option);
  void ClearOptions();
  bool FindOption(uint32_t value, CLCD_MenuOption** out);
  void DrawOptions(CLCD_Manager* mgr, CLCD* lcd);

  CLCD_MenuOption* m_apOptions[kMaxOptions] = {};
  uint32_t m_dwOptionCount = 0;
  uint8_t m_byPage = 0;
  uint8_t m_byDrawnCount = 0;
  uint32_t m_dwSelected = 0;
  uint8_t m_byAutoNavigate = 1;
  uint8_t m_byContinuousNumbering = 0;
  uint8_t m_byNoNumbering = 0;
};

// A question with two options: "CONFIRM" (value 1) and "CANCEL" (value 0),
// both back to the parent unless OnSelect says otherwise.
class CLCD_ConfirmMenu : public CLCD_SimpleMenuBase {
 public:
  CLCD_ConfirmMenu(CLCD_MenuId id, const char* title, const char* title_fr, uint32_t rights);
  CLCD_MenuOption m_Confirm;
  CLCD_MenuOption m_Cancel;
};

// ---------------------------------------------------------------- switch list

// Pages of on/off switches, six a page: a digit flips the switch on its
// line, UP and DOWN turn the pages, ESC leaves.
class CLCD_SwitchList : public CMenuItem {
 public:
  static constexpr uint32_t kPerPage = 6;

  CLCD_SwitchList(CLCD_MenuId id, const char* title, const char* title_fr, uint32_t rights, uint8_t pages);
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  // Flips switch `index` (page x 6 + line - 1) and stores it; false when
  // there is no such switch.
  virtual bool Toggle(uint32_t index) = 0;

  uint8_t m_byPage = 0;
  uint8_t m_byPageCount;
};

// ---------------------------------------------------------------- number entry

class CLCD_SimpleNumberEntry : public CMenuItem {
 public:
  CLCD_SimpleNumberEntry(CLCD_MenuId id, const char* title = "", const char* title_fr = "", uint32_t rights = 0);

  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  virtual void StoreValue(CLCD_Manager* mgr) = 0;
  virtual bool ValidateValue(CLCD_Manager* mgr);

  const char* m_pszLabel = "VALUE";
  const char* m_pszLabelFr = "VALEUR";
  const char* m_pszRestriction = "NONE";
  const char* m_pszRestrictionFr = "AUCUNE";
  const char* m_pszLine7 = "";
  const char* m_pszLine7Fr = "";
  const char* m_pszLine8 = "PRESS ENTER TO SAVE";
  const char* m_pszLine8Fr = "APPUYER SUR ENTER POUR ENREGISTRER";
  const char* m_pszInvalid = "INVALID ENTRY";
  const char* m_pszInvalidFr = "ENTREE INVALIDE";
  uint32_t m_dwValue = 0;
  CLCD_MenuId m_iNextMenu = 0;
  uint8_t m_byInvalid = 0;
};

struct db_object;

// A number entry page told by its description alone. A null text keeps
// the entry's own.
struct lcd_number_page {
  const char* title = "";
  const char* title_fr = "";
  uint32_t rights = 0;
  const char* label = nullptr;
  const char* label_fr = nullptr;
  const char* restriction = nullptr;
  const char* restriction_fr = nullptr;
  const char* line7 = nullptr;
  const char* line8 = nullptr;
  const char* line8_fr = nullptr;
  // The values taken.
  uint32_t min = 0;
  uint32_t max = 0xFFFFFFFF;
  // The NV object shown beside the entry in a list and stored as entered,
  // unless show or store say otherwise.
  const db_object* object = nullptr;
  void (*show)(CLCD* lcd, uint32_t line, uint8_t align) = nullptr;
  void (*store)(uint32_t value) = nullptr;
};

class CLCD_NumberPage : public CLCD_SimpleNumberEntry {
 public:
  CLCD_NumberPage(CLCD_MenuId id, const lcd_number_page& page);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void StoreValue(CLCD_Manager* mgr) override;
  bool ValidateValue(CLCD_Manager* mgr) override;

  const lcd_number_page& m_Page;
};

// The factory's maker of a described number page.
template <const lcd_number_page& Page>
CMenuItem* lcd_create_number_page(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_NumberPage(id, Page);
}

// ---------------------------------------------------------------- IPv4 entry

class CLCD_SimpleIPAddrBase : public CMenuItem {
 public:
  CLCD_SimpleIPAddrBase(CLCD_MenuId id, const char* title = "", const char* title_fr = "", uint32_t rights = 0);

  void Enter(CLCD_Manager* mgr) override;
  void Activate(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  // Sets the current address (and the locked flag when it comes from DHCP).
  virtual void LoadValue() = 0;
  // Reads the entered address and the changed flag.
  virtual void StoreValue(CLCD_Manager* mgr) = 0;

  const char* m_pszLine7 = "";
  const char* m_pszLine7Fr = "";
  const char* m_pszLine8 = "PRESS ENTER TO SAVE";
  const char* m_pszLine8Fr = "APPUYER SUR ENTER POUR ENREGISTRER";
  uint32_t m_dwCurrent = 0;
  uint32_t m_dwEntered = 0;
  uint8_t m_byChanged = 0;
  uint8_t m_byLocked = 0;
  uint8_t m_byOctet = 0;
  uint32_t m_adwOctets[4] = {};
  uint32_t m_adwDigits[4] = {};
};

// ---------------------------------------------------------------- wizard

struct CLCD_WizardItem;
typedef bool (*lcd_next_item_hook)(CLCD_WizardItem* item, uint32_t& index);

enum : uint8_t {
  WIZARD_NUMBER = 0,
  WIZARD_DECIMAL = 1,
  WIZARD_TEXT = 2,
  WIZARD_CHOICE = 3,
  WIZARD_MENU = 4,
};
enum : uint8_t { WIZARD_AFTER_KEY_NEXT = 1, WIZARD_AFTER_KEY_PARENT = 2 };

struct CLCD_WizardItem {
  uint8_t kind = WIZARD_NUMBER;
  uint8_t position = 0;
  lcd_next_item_hook next_item = nullptr;
  uint8_t previous = 0;
  uint8_t after_key = 0;  // embedded menus only

  struct number_fields {
    const char* title = nullptr;
    const char* label = nullptr;
    const char* line8 = nullptr;
    const char* rule = nullptr;
    const char* restriction = nullptr;
    uint32_t value = 0;
  } number;
  struct decimal_fields {
    const char* title = nullptr;
    const char* restriction = nullptr;
    const char* label = nullptr;
    const char* line8_whole = nullptr;
    const char* line8_fraction = nullptr;
    const char* rule = nullptr;
    uint8_t typing_fraction = 0;
    uint8_t whole_digits = 0;
    uint8_t fraction_digits = 0;
    uint32_t whole = 0;
    uint32_t fraction = 0;
  } decimal;
  struct text_fields {
    const char* title = nullptr;
    const char* label = nullptr;
    const char* line8 = nullptr;
    char* buffer = nullptr;
    uint32_t per_line = 0;
    uint32_t lines = 0;
  } text;
  struct choice_fields {
    const char* title = nullptr;
    const char* line2 = nullptr;
    uint8_t first_line = 0;  // choices start on line first_line + 2
    uint8_t numbering = 0;   // 0 "%d) ", 1 "%3d) "
    const char* const* choices = nullptr;       // null-terminated
    const char* const* restrictions = nullptr;  // parallel to the choices, may be null
    uint8_t per_page = 6;
    uint8_t selected = 0;
    const char* value = nullptr;
  } choice;
  CMenuItem* menu = nullptr;
};

class CLCD_SimpleWizardBase : public CMenuItem {
 public:
  static constexpr uint32_t kMaxItems = 110;
  static constexpr uint32_t kMaxChoices = 110;

  CLCD_SimpleWizardBase(CLCD_MenuId id, const char* title = "", const char* title_fr = "", uint32_t rights = 0);

  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  void OnEvent(letter_s* letter) override;
  virtual bool ValidateItem(CLCD_WizardItem* item);
  virtual bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index);
  virtual void EnterItem(CLCD_Manager* mgr, CLCD_WizardItem* item);
  virtual void LeaveItem(CLCD_Manager* mgr, CLCD_WizardItem* item);
  virtual void Finish(CLCD_Manager* mgr) = 0;

  // false (and nothing added) when the wizard is full.
  bool AddItem(CLCD_WizardItem* item);
  void RemoveItem(CLCD_WizardItem* item);
  void ClearItems();
  bool HasItem(CLCD_WizardItem* item) const;
  bool NextItem(CLCD_Manager* mgr);
  bool PreviousItem(CLCD_Manager* mgr);
  bool CheckRange(CLCD_WizardItem* item);
  bool ValidateText(CLCD_WizardItem* item);
  bool CheckPeripheralExists(CLCD_WizardItem* item, uint32_t index);
  void DrawSelections(CLCD_Manager* mgr, CLCD* lcd, uint32_t page);
  CLCD_WizardItem* CurrentItem() const;
  uint32_t ChoiceCount(const CLCD_WizardItem* item) const;

  CLCD_WizardItem* m_apItems[kMaxItems] = {};
  uint32_t m_dwItemCount = 0;
  uint32_t m_dwCurrent = 0;
  uint32_t m_dwChoiceCount = 0;
  uint8_t m_byChoicePage = 0;
  uint8_t m_byChoicesDrawn = 0;

 private:
  void FinishAndLeave(CLCD_Manager* mgr);
};

// A page that runs as one step of a wizard: its item (kind 4, pointing at
// the page) is what the owning wizard adds.
class CLCD_SimpleWizardBaseMenu : public CMenuItem {
 public:
  CLCD_SimpleWizardBaseMenu(CLCD_MenuId id, const char* title = "", const char* title_fr = "", uint32_t rights = 0,
                            uint8_t after_key = WIZARD_AFTER_KEY_NEXT);
  CLCD_WizardItem m_Item;
};
