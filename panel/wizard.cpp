// The step-by-step wizard over items of five kinds: a number, a decimal, a
// text, a choice list and a page embedded as one step. ESC walks back along
// the items actually visited.
#include <cstdio>
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/menu_bases.h"

namespace {

constexpr uint32_t kRuleScan = 100;
constexpr uint32_t kPeripheralSlots = 255;

// Decimal digits at text[*i], moving *i past them.
uint32_t read_number(const char* text, uint32_t* i, uint32_t end) {
  uint64_t n = 0;
  while (*i < end && text[*i] >= '0' && text[*i] <= '9') {
    n = n * 10 + static_cast<uint32_t>(text[*i] - '0');
    if (n > 0xFFFFFFFFull) n = 0xFFFFFFFFull;
    ++*i;
  }
  return static_cast<uint32_t>(n);
}

uint32_t scan_end(const char* text) { return static_cast<uint32_t>(strnlen(text, kRuleScan)); }

}  // namespace

CLCD_SimpleWizardBase::CLCD_SimpleWizardBase(CLCD_MenuId id, const char* title, const char* title_fr,
                                             uint32_t rights)
    : CMenuItem(id, title, title_fr, rights, 0) {}

CLCD_WizardItem* CLCD_SimpleWizardBase::CurrentItem() const {
  return m_dwCurrent < m_dwItemCount ? m_apItems[m_dwCurrent] : nullptr;
}

// ---------------------------------------------------------------- items

bool CLCD_SimpleWizardBase::AddItem(CLCD_WizardItem* item) {
  if (!item || m_dwItemCount >= kMaxItems) return false;
  item->position = static_cast<uint8_t>(m_dwItemCount);
  m_apItems[m_dwItemCount++] = item;
  return true;
}

void CLCD_SimpleWizardBase::RemoveItem(CLCD_WizardItem* item) {
  for (uint32_t i = 0; i < m_dwItemCount; ++i) {
    if (m_apItems[i] != item) continue;
    item->position = 0;
    for (uint32_t k = i + 1; k < m_dwItemCount; ++k) m_apItems[k - 1] = m_apItems[k];
    m_apItems[--m_dwItemCount] = nullptr;
    return;
  }
}

void CLCD_SimpleWizardBase::ClearItems() {
  for (CLCD_WizardItem*& item : m_apItems) {
    if (item) item->position = 0;
    item = nullptr;
  }
  m_dwItemCount = 0;
}

bool CLCD_SimpleWizardBase::HasItem(CLCD_WizardItem* item) const {
  for (CLCD_WizardItem* i : m_apItems)
    if (i && i == item) return true;
  return false;
}

bool CLCD_SimpleWizardBase::GetNextItem(CLCD_Manager*, CLCD_WizardItem*, uint32_t& index) {
  if (index + 1 >= m_dwItemCount) return false;
  ++index;
  return true;
}

void CLCD_SimpleWizardBase::EnterItem(CLCD_Manager* mgr, CLCD_WizardItem* item) {
  if (item && item->kind == WIZARD_MENU && item->menu) item->menu->Activate(mgr);
}

void CLCD_SimpleWizardBase::LeaveItem(CLCD_Manager* mgr, CLCD_WizardItem* item) {
  if (item && item->kind == WIZARD_MENU && item->menu) item->menu->Deactivate(mgr, m_iId);
}

bool CLCD_SimpleWizardBase::NextItem(CLCD_Manager* mgr) {
  if (m_dwItemCount == 0) return false;
  const uint32_t old_index = m_dwCurrent;
  CLCD_WizardItem* old_item = CurrentItem();
  if (!old_item) return false;
  uint32_t next = old_index;
  const bool moved = old_item->next_item ? old_item->next_item(old_item, next) : GetNextItem(mgr, old_item, next);
  if (!moved || next >= m_dwItemCount) return false;
  m_dwCurrent = next;
  CLCD_WizardItem* new_item = m_apItems[next];
  EnterItem(mgr, new_item);
  new_item->previous = static_cast<uint8_t>(old_index);
  LeaveItem(mgr, old_item);
  mgr->m_byCursorVisible = 0;
  mgr->RequestRedraw(LCD_DRAW_FULL);
  m_byChoicePage = 0;
  return true;
}

bool CLCD_SimpleWizardBase::PreviousItem(CLCD_Manager* mgr) {
  CLCD_WizardItem* item = CurrentItem();
  if (m_dwCurrent == 0 || !item) return false;
  const uint32_t back = item->previous < m_dwItemCount ? item->previous : 0;
  LeaveItem(mgr, item);
  m_dwCurrent = back;
  EnterItem(mgr, m_apItems[back]);
  mgr->m_byCursorVisible = 0;
  mgr->RequestRedraw(LCD_DRAW_FULL);
  m_byChoicePage = 0;
  return true;
}

void CLCD_SimpleWizardBase::FinishAndLeave(CLCD_Manager* mgr) {
  Finish(mgr);
  mgr->ActivateMenu(LCD_MENU_PARENT, this, true);
}

// ---------------------------------------------------------------- rules

bool CLCD_SimpleWizardBase::CheckRange(CLCD_WizardItem* item) {
  if (!item || !item->number.rule) return true;
  const char* rule = item->number.rule;
  const uint32_t end = scan_end(rule);
  const uint32_t value = item->number.value;
  bool ok = true;
  for (uint32_t i = 0; i < end;) {
    const char op = rule[i++];
    if (op != '<' && op != '>' && op != '=') continue;
    const uint32_t n = read_number(rule, &i, end);
    if (op == '<' && !(value < n)) ok = false;
    if (op == '>' && !(value > n)) ok = false;
    // Any listed value passes: "=1,=2,=17" takes 1, 2 and 17.
    if (op == '=') {
      if (value == n) return true;
      ok = false;
    }
  }
  return ok;
}

bool CLCD_SimpleWizardBase::ValidateItem(CLCD_WizardItem* item) {
  if (!item || !item->decimal.rule) return true;
  const char* rule = item->decimal.rule;
  const uint32_t end = scan_end(rule);
  const uint32_t w = item->decimal.whole;
  const uint32_t f = item->decimal.fraction;
  bool any_condition = false;
  bool all = true;
  bool any = false;
  bool use_or = false;
  for (uint32_t i = 0; i < end;) {
    const char op = rule[i++];
    if (op == '|') {
      use_or = true;
      continue;
    }
    if (op != '<' && op != '>' && op != '=' && op != '!') continue;
    bool or_equal = false;
    if ((op == '<' || op == '>') && i < end && rule[i] == '=') {
      or_equal = true;
      ++i;
    }
    const uint32_t n = read_number(rule, &i, end);
    bool holds = false;
    switch (op) {
      case '<': holds = or_equal ? (w < n || (w == n && f == 0)) : w < n; break;
      case '>': holds = or_equal ? w >= n : w > n; break;
      case '=': holds = w == n; break;
      default: holds = w != n; break;
    }
    any_condition = true;
    all = all && holds;
    any = any || holds;
  }
  if (!any_condition) return true;
  return use_or ? any : all;
}

bool CLCD_SimpleWizardBase::ValidateText(CLCD_WizardItem*) { return true; }

bool CLCD_SimpleWizardBase::CheckPeripheralExists(CLCD_WizardItem* item, uint32_t index) {
  if (!item || !item->choice.restrictions) return true;
  if (index >= ChoiceCount(item)) return true;
  const char* text = item->choice.restrictions[index];
  if (!text) return true;
  const uint32_t end = scan_end(text);
  bool found = false;
  uint32_t type = 0;
  for (uint32_t i = 0; i < end;) {
    if (text[i++] != '?') continue;
    if (i < end && text[i] >= '0' && text[i] <= '9') {
      type = read_number(text, &i, end);
      found = true;
    }
  }
  if (!found || !g_pDataBase) return true;
  for (uint32_t slot = 0; slot < kPeripheralSlots; ++slot) {
    const db_object o = nv::quorPeripheralID(slot);
    if (g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_nv, 0) == type) return false;
  }
  return true;
}

uint32_t CLCD_SimpleWizardBase::ChoiceCount(const CLCD_WizardItem* item) const {
  if (!item || !item->choice.choices) return 0;
  uint32_t n = 0;
  while (n < kMaxChoices && item->choice.choices[n]) ++n;
  return n;
}

// ---------------------------------------------------------------- keys

void CLCD_SimpleWizardBase::Enter(CLCD_Manager* mgr) {
  m_dwCurrent = 0;
  m_dwChoiceCount = 0;
  m_byChoicePage = 0;
  m_byChoicesDrawn = 0;
  for (uint32_t i = 0; i < m_dwItemCount; ++i) {
    CLCD_WizardItem* item = m_apItems[i];
    if (!item) continue;
    if (item->kind == WIZARD_MENU && item->menu) item->menu->Enter(mgr);
    if (item->kind == WIZARD_DECIMAL) {
      item->decimal.typing_fraction = 0;
      item->decimal.whole_digits = 0;
      item->decimal.fraction_digits = 0;
    }
  }
}

void CLCD_SimpleWizardBase::OnEvent(letter_s* letter) {
  CLCD_WizardItem* item = CurrentItem();
  if (item && item->kind == WIZARD_MENU && item->menu) item->menu->OnEvent(letter);
}

bool CLCD_SimpleWizardBase::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  CLCD_WizardItem* item = CurrentItem();
  if (!key || !item) return false;
  const uint16_t code = lcd_key_code(*key);
  if (code == LCD_KEY_ESC && item->kind != WIZARD_MENU && PreviousItem(mgr)) return true;
  const bool digit = code >= '0' && code <= '9';

  switch (item->kind) {
    case WIZARD_NUMBER:
      if (mgr->EditNumber(&item->number.value, 0, *key)) return true;
      if (code != LCD_KEY_ENTER) return false;
      if (CheckRange(item) && !NextItem(mgr)) FinishAndLeave(mgr);
      return true;

    case WIZARD_DECIMAL: {
      auto& d = item->decimal;
      if (!d.typing_fraction) {
        if (mgr->EditNumber(&d.whole, 0, *key)) {
          if (digit) ++d.whole_digits;
          if (lcd_key_is_backspace(*key) && d.whole_digits) --d.whole_digits;
          if (d.whole == 0) d.whole_digits = 0;
          return true;
        }
        if (code == LCD_KEY_ENTER || code == LCD_KEY_RIGHT || code == '.' || code == LCD_KEY_DELETE) {
          d.typing_fraction = 1;
          d.fraction_digits = 0;
          mgr->RequestRedraw(LCD_DRAW_PARTIAL);
          return true;
        }
        return false;
      }
      if (mgr->EditNumber(&d.fraction, 0, *key)) {
        if (digit) ++d.fraction_digits;
        if (lcd_key_is_backspace(*key)) {
          if (d.fraction_digits) --d.fraction_digits;
          if (d.fraction_digits == 0) d.typing_fraction = 0;
        }
        return true;
      }
      if (code != LCD_KEY_ENTER) return false;
      if (ValidateItem(item) && !NextItem(mgr)) FinishAndLeave(mgr);
      return true;
    }

    case WIZARD_TEXT:
      if (mgr->EditText(item->text.buffer, item->text.per_line * item->text.lines, *key)) return true;
      if (code != LCD_KEY_ENTER) return false;
      ValidateText(item);
      if (!NextItem(mgr)) {
        monitor_printf_debug("goto menu parent request\n");
        FinishAndLeave(mgr);
      } else {
        monitor_printf_debug("load next wizard item\n");
      }
      return true;

    case WIZARD_CHOICE: {
      auto& c = item->choice;
      const uint32_t per_page = c.per_page ? c.per_page : 6;
      if (code >= '1' && code <= '0' + per_page && code <= '9') {
        const uint32_t k = code - '0';
        if (k > m_byChoicesDrawn) return true;
        const uint32_t index = (k - 1) + per_page * m_byChoicePage;
        if (index >= ChoiceCount(item) || !CheckPeripheralExists(item, index)) return true;
        c.selected = static_cast<uint8_t>(index);
        c.value = c.choices[index];
        if (!NextItem(mgr)) FinishAndLeave(mgr);
        return true;
      }
      const lcd_page_key page_key = lcd_page_key_of(*key);
      if (page_key == LCD_PAGE_NONE) return false;
      const uint32_t count = ChoiceCount(item);
      const uint32_t last = count ? (count - 1) / per_page : 0;
      uint8_t page = m_byChoicePage;
      if (page_key == LCD_PAGE_PREVIOUS && page > 0) --page;
      if (page_key == LCD_PAGE_NEXT && count && page < last) ++page;
      if (page_key == LCD_PAGE_FIRST) page = 0;
      if (page_key == LCD_PAGE_LAST && count) page = static_cast<uint8_t>(last);
      if (page != m_byChoicePage || page_key == LCD_PAGE_FIRST || page_key == LCD_PAGE_LAST) {
        m_byChoicePage = page;
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      return true;
    }

    case WIZARD_MENU: {
      if (!item->menu) return false;
      if (!item->menu->HandleKey(mgr, key)) {
        if (code == LCD_KEY_ESC && PreviousItem(mgr)) return true;
        return false;
      }
      if (item->after_key == WIZARD_AFTER_KEY_NEXT) {
        if (!NextItem(mgr)) FinishAndLeave(mgr);
      } else if (item->after_key == WIZARD_AFTER_KEY_PARENT) {
        mgr->ActivateMenu(LCD_MENU_PARENT, this, true);
      }
      return true;
    }

    default:
      return false;
  }
}

// ---------------------------------------------------------------- drawing

void CLCD_SimpleWizardBase::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  CLCD_WizardItem* item = CurrentItem();
  if (!item) return;
  if (item->kind == WIZARD_MENU) {
    if (item->menu) item->menu->Draw(mgr, lcd, mode);
    return;
  }
  if (mode == LCD_DRAW_REFRESH) return;
  const bool full = mode == LCD_DRAW_FULL;

  switch (item->kind) {
    case WIZARD_NUMBER: {
      auto& n = item->number;
      const uint32_t column = n.label ? static_cast<uint32_t>(std::strlen(n.label)) + 11 : 0;
      if (full) {
        if (n.title) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", n.title);
        lcd->Printf(2, LCD_ALIGN_CENTRE, "RESTRICTIONS:%s", n.restriction ? n.restriction : "");
        if (n.label) {
          lcd->PrintfAt(4, 10, "%s:", n.label);
          mgr->ShowCursor(true, 4, static_cast<int32_t>(column));
        }
        if (n.line8) lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", n.line8);
      }
      lcd->ClearLine(4);
      if (!n.label) return;
      lcd->PrintfAt(4, 10, "%s:", n.label);
      mgr->DrawNumberField(4, column, n.value, 3, true);
      return;
    }
    case WIZARD_DECIMAL: {
      auto& d = item->decimal;
      const uint32_t column = d.label ? static_cast<uint32_t>(std::strlen(d.label)) + 11 : 0;
      if (full) {
        if (d.title) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", d.title);
        lcd->Printf(2, LCD_ALIGN_CENTRE, "RESTRICTIONS: %s", d.restriction ? d.restriction : "");
        if (d.label) {
          lcd->PrintfAt(4, 10, "%s:", d.label);
          mgr->ShowCursor(true, 4, static_cast<int32_t>(column));
        }
      }
      const char* line8 = d.typing_fraction ? d.line8_fraction : d.line8_whole;
      if (line8) lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", line8);
      lcd->ClearLine(4);
      if (!d.label) return;
      lcd->PrintfAt(4, 10, "%s:", d.label);
      mgr->DrawDecimalField(4, column, d.whole, d.whole_digits, d.fraction, d.fraction_digits, d.typing_fraction != 0,
                            true);
      return;
    }
    case WIZARD_TEXT: {
      auto& t = item->text;
      const char* label = t.label ? t.label : "";
      if (full) {
        if (t.title) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", t.title);
        lcd->PrintfAt(4, 1, "%s:", label);
        if (t.line8) lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", t.line8);
      }
      if (t.buffer)
        mgr->DrawTextField(4, static_cast<uint32_t>(std::strlen(label)) + 2, t.buffer, t.per_line, t.lines, true);
      return;
    }
    case WIZARD_CHOICE:
      if (full) {
        if (item->choice.title) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", item->choice.title);
        if (item->choice.line2) lcd->PrintfAt(2, 1, "%s", item->choice.line2);
      }
      DrawSelections(mgr, lcd, m_byChoicePage);
      return;
    default:
      return;
  }
}

void CLCD_SimpleWizardBase::DrawSelections(CLCD_Manager* mgr, CLCD* lcd, uint32_t page) {
  CLCD_WizardItem* item = CurrentItem();
  if (!item || !item->choice.choices) return;
  const auto& c = item->choice;
  const uint32_t count = ChoiceCount(item);
  m_dwChoiceCount = count;
  if (count == 0) return;
  const uint32_t per_page = c.per_page ? c.per_page : 6;
  uint32_t drawn = 0;
  for (uint32_t i = 0; i < per_page; ++i) {
    const uint32_t line = c.first_line + 2 + i;
    if (line > LCD_LINES) break;
    lcd->ClearLineFrom(line, 1);
    const uint32_t index = i + per_page * page;
    if (index >= count) continue;
    const char* mark = CheckPeripheralExists(item, index) ? "" : lcd_text(mgr, "(ADDED)", "(EXISTANT)");
    char prefix[16];
    if (c.numbering == 1) {
      std::snprintf(prefix, sizeof prefix, "%3d) ", static_cast<int>(i + 1));
    } else {
      if (c.numbering != 0)
        monitor_printf(
            "Error -- CLCD_SimpleWizardBase::DrawSelections: Selection Numbering format unknown set to default");
      std::snprintf(prefix, sizeof prefix, "%d) ", static_cast<int>(i + 1));
    }
    lcd->PrintfAt(line, 1, "%s%s %s", prefix, c.choices[index], mark);
    ++drawn;
  }
  m_byChoicesDrawn = static_cast<uint8_t>(drawn);
  if (count > per_page) lcd_draw_page_arrows(lcd, page, (count - 1) / per_page);
}

// ---------------------------------------------------------------- a page inside a wizard

CLCD_SimpleWizardBaseMenu::CLCD_SimpleWizardBaseMenu(CLCD_MenuId id, const char* title, const char* title_fr,
                                                     uint32_t rights, uint8_t after_key)
    : CMenuItem(id, title, title_fr, rights, 0) {
  m_Item.kind = WIZARD_MENU;
  m_Item.menu = this;
  m_Item.after_key = after_key;
}
