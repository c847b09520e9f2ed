// The entry of a dotted IPv4 address, octet by octet; the cursor moves on
// by itself once an octet can take no further digit.
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/menu_bases.h"

CLCD_SimpleIPAddrBase::CLCD_SimpleIPAddrBase(CLCD_MenuId id, const char* title, const char* title_fr,
                                             uint32_t rights)
    : CMenuItem(id, title, title_fr, rights, 0) {}

void CLCD_SimpleIPAddrBase::Enter(CLCD_Manager*) {
  m_byOctet = 0;
  for (uint32_t i = 0; i < 4; ++i) m_adwOctets[i] = m_adwDigits[i] = 0;
  LoadValue();
}

void CLCD_SimpleIPAddrBase::Activate(CLCD_Manager* mgr) {
  CMenuItem::Activate(mgr);
  mgr->m_byKey12Pass = 1;
}

bool CLCD_SimpleIPAddrBase::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key || m_byLocked) return false;
  uint8_t c = m_byOctet < 4 ? m_byOctet : 3;
  const bool consumed = mgr->EditNumber(&m_adwOctets[c], 255, *key);
  const uint16_t code = lcd_key_code(*key);
  if (lcd_key_is_backspace(*key)) {
    if (m_adwDigits[c] > 0) {
      --m_adwDigits[c];
    } else if (c > 0) {
      --c;
      if (m_adwDigits[c] > 0) {
        m_adwOctets[c] /= 10;
        --m_adwDigits[c];
      }
    }
  } else if (code == LCD_KEY_RIGHT) {
    if (c < 3) ++c;
  } else {
    if (m_adwDigits[c] == 1 && m_adwOctets[c] > 25) {
      m_adwDigits[c] = 2;
      if (c < 3) ++c;
    } else if (m_adwDigits[c] < 2) {
      ++m_adwDigits[c];
    } else {
      if (m_adwOctets[c] > 100 && m_adwDigits[c] < 3) ++m_adwDigits[c];
      if (c < 3) ++c;
    }
  }
  m_byOctet = c;
  mgr->RequestRedraw(LCD_DRAW_PARTIAL);
  if (code == LCD_KEY_ENTER) {
    m_dwEntered = (m_adwOctets[0] << 24) | (m_adwOctets[1] << 16) | (m_adwOctets[2] << 8) | m_adwOctets[3];
    m_byChanged = m_dwEntered != m_dwCurrent ? 1 : 0;
    StoreValue(mgr);
    mgr->ActivateMenu(LCD_MENU_PARENT, this, false);
    return true;
  }
  if (lcd_key_is_function(*key)) return true;
  return consumed;
}

void CLCD_SimpleIPAddrBase::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  if (mode == LCD_DRAW_FULL) {
    lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
    if (m_byLocked) {
      if (mgr->m_dwLanguage == 1) {
        lcd->Printf(4, LCD_ALIGN_CENTRE, "IMPOSSIBLE DE MODIFIER A");
        lcd->Printf(5, LCD_ALIGN_CENTRE, "CAUSE DU MODE ETHERNET");
        lcd->Printf(6, LCD_ALIGN_CENTRE, "(APPUYER SUR ESCAPE POUR CONTINUER)");
      } else {
        lcd->Printf(4, LCD_ALIGN_CENTRE, "UNABLE TO MODIFY DUE TO ETHERNET MODE");
        lcd->Printf(6, LCD_ALIGN_CENTRE, "(PRESS ESC TO CONTINUE)");
      }
      return;
    }
    const uint32_t a = m_dwCurrent;
    lcd->Printf(2, LCD_ALIGN_CENTRE, mgr->m_dwLanguage == 1 ? "ADRESSE:%u.%u.%u.%u" : "CURRENT:%u.%u.%u.%u",
                a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
    lcd->PrintfLine(7, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, m_pszLine7, m_pszLine7Fr));
    lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, m_pszLine8, m_pszLine8Fr));
    mgr->ShowCursor(true, 4, 15);
  }
  lcd->PrintfAt(4, 15, "%-3u.%-3u.%-3u.%-3u", m_adwOctets[0], m_adwOctets[1], m_adwOctets[2], m_adwOctets[3]);
  const uint8_t c = m_byOctet < 4 ? m_byOctet : 3;
  mgr->ShowCursor(true, 4, static_cast<int32_t>(15 + 4 * c + m_adwDigits[c]));
}
