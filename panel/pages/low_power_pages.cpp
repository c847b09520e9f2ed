#include "panel/pages/low_power_pages.h"

#include <new>

#include "database/objects.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kPercentType = 143;
constexpr CLCD_FactoryType kDurationType = 144;

// The sign power mode peripheral is live.
constexpr uint32_t kPowerModeLive = 2;

const char* const kDurationChoices[] = {"NEVER BLANK", "SPECIFY DURATION", nullptr};
enum : uint8_t { kChoiceNever = 0, kChoiceSpecify = 1 };

}  // namespace

CLCD_LowPowerPage::CLCD_LowPowerPage(CLCD_MenuId id, const char* title, const char* label)
    : CLCD_SimpleWizardBase(id, title, "", LCD_RIGHT_CONFIGURATION) {
  m_Number.kind = WIZARD_NUMBER;
  m_Number.number.title = title;
  m_Number.number.label = label;
  m_Number.number.line8 = "PRESS ENTER TO SAVE";
}

void CLCD_LowPowerPage::Activate(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Activate(mgr);
  m_Number.number.value = 0;
}

bool CLCD_LowPowerPage::HasRights(CLCD_Manager* mgr) {
  return CLCD_SimpleWizardBase::HasRights(mgr) && lcd_v(vol::quorPowerModeStatus) == kPowerModeLive;
}

// ---------------------------------------------------------------- percent

CLCD_LowPowerPercent::CLCD_LowPowerPercent(CLCD_MenuId id)
    : CLCD_LowPowerPage(id, "SET PERCENT PIXELS ON DIM", "PERCENT") {
  m_Number.number.rule = "<101";
  AddItem(&m_Number);
}

void CLCD_LowPowerPercent::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (lcd) lcd->Printf(line, align, "%d", static_cast<int>(lcd_nv(nv::quorPixelDimPercent(0))));
}

void CLCD_LowPowerPercent::Finish(CLCD_Manager*) { lcd_set_nv(nv::quorPixelDimPercent(0), m_Number.number.value); }

// ---------------------------------------------------------------- backup time

CLCD_LowPowerDuration::CLCD_LowPowerDuration(CLCD_MenuId id)
    : CLCD_LowPowerPage(id, "SET MESSAGE BACKUP TIME", "HOURS") {
  m_Choice.kind = WIZARD_CHOICE;
  m_Choice.choice.title = "SET MESSAGE BACKUP TIME";
  m_Choice.choice.choices = kDurationChoices;
  m_Choice.choice.per_page = 6;
  AddItem(&m_Choice);
  AddItem(&m_Number);
}

void CLCD_LowPowerDuration::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t minutes = lcd_nv(nv::quorLowPowerDuration);
  if (minutes == kNeverBlank)
    lcd->Printf(line, align, "DISABLED");
  else
    lcd->Printf(line, align, "%d", static_cast<int>((minutes + 59) / 60));
}

bool CLCD_LowPowerDuration::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  if (item == &m_Choice && m_Choice.choice.selected == kChoiceNever) {
    m_Number.number.value = kNeverBlank;
    return false;
  }
  return CLCD_LowPowerPage::GetNextItem(mgr, item, index);
}

void CLCD_LowPowerDuration::Finish(CLCD_Manager*) {
  const uint32_t hours = m_Number.number.value;
  // More hours than 16 bits of minutes hold: the database refuses the
  // value and the old time stays.
  const uint64_t minutes = hours == kNeverBlank ? kNeverBlank : static_cast<uint64_t>(hours) * 60;
  lcd_set_nv(nv::quorLowPowerDuration, minutes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(minutes));
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_percent(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_LowPowerPercent(id); }
CMenuItem* create_duration(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_LowPowerDuration(id); }
}  // namespace

const class_descriptor g_low_power_percent_class = {kPercentType, create_percent};
const class_descriptor g_low_power_duration_class = {kDurationType, create_duration};
