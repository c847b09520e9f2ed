#include "panel/pages/brightness_pages.h"

#include <new>

#include "database/objects.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_keys.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kBrightnessControlType = 35;
constexpr CLCD_FactoryType kMasterBrightnessType = 64;
constexpr CLCD_FactoryType kLegibilityType = 59;

// Kept no higher than the master brightness.
constexpr db_object kIllumLevelCap{95021, 1};

constexpr uint32_t kPhotocell = 2;
constexpr uint32_t kManual = 4;

bool manual(uint32_t control) { return control == 4 || control == 5 || control == 6; }

// 0..255 as a percentage, any remainder taken up to the next percent.
uint32_t percent_up(uint32_t level) { return (level * 100 + 254) / 255; }

const uint8_t kUpArrow[8] = {0x10, 0x38, 0x54, 0x10, 0x10, 0x10, 0x10, 0x00};

}  // namespace

// ---------------------------------------------------------------- dimming

CLCD_BrightnessControl::CLCD_BrightnessControl(CLCD_MenuId id)
    : CMenuItem(id, "BRIGHTNESS CONTROL", "CONTROLE DE LUMINOSITE", LCD_RIGHT_BRIGHTNESS, 0) {}

void CLCD_BrightnessControl::Enter(CLCD_Manager*) { m_dwPercent = 0; }

bool CLCD_BrightnessControl::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!mgr || !key) return false;
  const uint32_t control = lcd_nv(nv::dmsIllumControl);
  const uint16_t code = lcd_key_code(*key);
  if (manual(control)) {
    if (mgr->EditNumber(&m_dwPercent, 100, *key)) return true;
    if (code == LCD_KEY_ENTER) {
      // An entered 0 keeps the level: nothing was typed.
      if (m_dwPercent) lcd_set_nv(nv::dmsIllumManLevel, m_dwPercent * lcd_v(vol::dmsIllumNumBrightLevels) / 100);
      m_dwPercent = 0;
      m_byLevelLine = kLevelLineEvery;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      return true;
    }
  }
  if (code == LCD_KEY_UP) {
    lcd_set_nv(nv::dmsIllumControl, control == kPhotocell ? kManual : kPhotocell);
    mgr->RequestRedraw(LCD_DRAW_FULL);
    return true;
  }
  return false;
}

void CLCD_BrightnessControl::DrawLevelLine(CLCD* lcd) {
  const uint32_t current = percent_up(lcd_v(vol::dmsIllumBrightLevelStatus));
  const uint32_t desired = percent_up(lcd_v(vol::quorRequestedBrightness));
  const uint32_t reason = lcd_v(vol::quorBrightnessLimitReason);
  if (reason == 1) {
    lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "DIMMING LEVEL:%3d%%", static_cast<int>(current));
    lcd->ClearLine(5);
    return;
  }
  lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "DIMMING LEVEL:%3d%% (DESIRED %d%%)", static_cast<int>(current),
                  static_cast<int>(desired));
  if (reason == 2) lcd->PrintfLine(5, LCD_ALIGN_CENTRE, "LIMITED DUE TO TEMPERATURE");
  if (reason == 3) lcd->PrintfLine(5, LCD_ALIGN_CENTRE, "LIMITED DUE TO PIXELS ON");
}

void CLCD_BrightnessControl::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (!mgr || !lcd) return;
  const bool is_manual = lcd_nv(nv::dmsIllumControl) != kPhotocell;
  const bool fr = mgr->m_dwLanguage == 1;
  if (mode == LCD_DRAW_FULL) {
    m_byLevelLine = 100;
    lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
    if (is_manual) {
      mgr->ShowCursor(true, 8, 29);
      lcd->PrintfLine(3, LCD_ALIGN_CENTRE, "%s", fr ? "REGLAGE MANUEL" : "MANUAL DIMMING");
      lcd->PrintfLine(6, LCD_ALIGN_CENTRE, "%s",
                      fr ? "POUR LUMINOSITE AUTOMATIQUE" : "PRESS UP ARROW FOR AUTOMATIC DIMMING");
    } else {
      mgr->ShowCursor(false, 8, 29);
      lcd->PrintfLine(3, LCD_ALIGN_CENTRE, "%s", fr ? "REGLAGE AUTOMATIQUE" : "AUTOMATIC DIMMING");
      lcd->PrintfLine(6, LCD_ALIGN_CENTRE, "%s",
                      fr ? "POUR LUMINOSITE MANUELLE" : "PRESS UP ARROW FOR MANUAL DIMMING");
    }
    if (fr) {
      // The French line starts with an up arrow in place of the words.
      if (is_manual) {
        lcd->DrawRect(0, 36, 40, 42, 48);
        lcd->Bitmap(24, 40, 8, 8, kUpArrow);
      } else {
        lcd->DrawRect(0, 24, 40, 30, 48);
        lcd->Bitmap(36, 40, 8, 8, kUpArrow);
      }
    }
  }
  if (is_manual && mode != LCD_DRAW_REFRESH) {
    lcd->Printf(8, LCD_ALIGN_CENTRE, "%s", fr ? "ENTRER LE POURCENTAGE:" : "ENTER PERCENTAGE:");
    mgr->DrawNumberField(8, fr ? 33 : 30, m_dwPercent, 2, true);
  }
  const uint8_t before = m_byLevelLine++;
  if (before > kLevelLineEvery) {
    m_byLevelLine = 0;
    DrawLevelLine(lcd);
  }
}

// ---------------------------------------------------------------- master brightness

namespace {

// Every level is scaled by it, and the level cap follows it down.
void store_master(uint32_t value) {
  lcd_set_nv(nv::quorIllumBrightnessScaler, value);
  if (lcd_nv(kIllumLevelCap) > value) lcd_set_nv(kIllumLevelCap, value);
}

const lcd_number_page kMasterBrightness = {
    .title = "MASTER BRIGHTNESS", .title_fr = "NIVEAU DE LUMINOSITE MAX", .rights = LCD_RIGHT_CONFIGURATION,
    .label = "BRIGHTNESS", .label_fr = "LUMINOSITE", .restriction = ">= 1 AND <= 100",
    .restriction_fr = ">= 1 ET <= 100", .line8 = "ENTER % OF MAXIMUM BRIGHTNESS",
    .line8_fr = "ENTRER % DE LUMINOSITE MAXIMALE", .min = 1, .max = 100, .object = &nv::quorIllumBrightnessScaler,
    .store = store_master,
};

}  // namespace

// ---------------------------------------------------------------- legibility

CLCD_LegibilityThreshold::CLCD_LegibilityThreshold(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "LEGIBILITY THRESHOLD", "LEGIBILITY THRESHOLD", LCD_RIGHT_CONFIGURATION) {
  m_Item.kind = WIZARD_NUMBER;
  m_Item.number.title = "LEGIBILITY THRESHOLD";
  m_Item.number.label = "PERCENT";
  m_Item.number.rule = "<101";
  m_Item.number.line8 = "PRESS ENTER TO SAVE";
  AddItem(&m_Item);
}

void CLCD_LegibilityThreshold::Enter(CLCD_Manager*) { m_Item.number.value = 0; }

void CLCD_LegibilityThreshold::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t threshold = lcd_nv(nv::quorLegibilityRatioThreshold);
  if (threshold == 0)
    lcd->Printf(line, align, "DISABLED ");
  else
    lcd->Printf(line, align, "%d%% ", static_cast<int>(threshold));
}

void CLCD_LegibilityThreshold::Finish(CLCD_Manager*) {
  lcd_set_nv(nv::quorLegibilityRatioThreshold, m_Item.number.value);
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_brightness(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_BrightnessControl(id); }
CMenuItem* create_legibility(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_LegibilityThreshold(id); }
}  // namespace

const class_descriptor g_brightness_control_class = {kBrightnessControlType, create_brightness};
const class_descriptor g_master_brightness_class = {kMasterBrightnessType, lcd_create_number_page<kMasterBrightness>};
const class_descriptor g_legibility_threshold_class = {kLegibilityType, create_legibility};
