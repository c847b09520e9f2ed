#include "panel/pages/module_bus_pages.h"

#include <new>

#include "database/objects.h"
#include "display/driver/module_type.h"
#include "display/driver/q5_display_driver.h"
#include "display/task/display.h"
#include "frame/can/can_db_driver.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_keys.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kSpecialFeaturesType = 51;
constexpr CLCD_FactoryType kBitsPerColourType = 52;
constexpr CLCD_FactoryType kFramesPerSecondType = 53;
constexpr CLCD_FactoryType kPixelsPerLineType = 54;
constexpr CLCD_FactoryType kBaudRateType = 55;
constexpr CLCD_FactoryType kModuleTimeoutType = 66;

constexpr uint8_t kBitsMask = 0x07;
constexpr uint8_t kSpeedTemplate = 1;
constexpr uint32_t kDefaultSpeed = 1;

// Speed codes 1 (the module type's own) and 3..6 (index code - 2).
const char* const kSpeedTexts[6] = {"DEFAULT", "100K", "250K", "500K", "800K", nullptr};
constexpr uint8_t kSpeedCodes[5] = {1, 3, 4, 5, 6};

const module_type_row* current_module() { return find_module_type(lcd_nv(nv::quorModuleID)); }

uint8_t bits_setting() {
  return g_pDisplay ? g_pDisplay->BitsPerColour() : static_cast<uint8_t>(lcd_nv(nv::quorBitsPerColour));
}

struct feature {
  const char* text;
  uint32_t bit;
};
const feature kFeatures[CLCD_SpecialFeatureConfig::kOptions] = {
    {"DEFAULT 50 PERCENT DIMMING", 0x1},   {"PERM MSG1 PRIORITY 50", 0x2},
    {"USE 8 DIMMING LEVELS", 0x8},         {"USE PRIMARY SECONDARY FANS", 0x10},
    {"VIZO REZ SOFTWARE SUPPORT", 0x20},   {"ROVIZ ORA SOFTWARE SUPPORT", 0x40},
    {"GEN4 TEST MODE", 0x80},              {"USE LEGACY UPS SUPPORT", 0x200},
    {"USE SCHEDULED FILE CLEANUP", 0x400}, {"USE VOLATILE DATABASE", 0x800},
    {"USE NO SUCH NAME ON SENSORS", 0x1000},
};

}  // namespace

// ---------------------------------------------------------------- numbers

namespace {

void show_bits(CLCD* lcd, uint32_t line, uint8_t align) { lcd->Printf(line, align, "%d", bits_setting() & kBitsMask); }

// The other flags of the setting byte stay as they are.
void store_bits(uint32_t value) {
  const uint8_t bits = static_cast<uint8_t>((bits_setting() & ~kBitsMask) | (value & kBitsMask));
  if (g_pDisplay)
    g_pDisplay->SetBitsPerColour(bits);
  else
    lcd_set_nv(nv::quorBitsPerColour, bits);
}

void store_frames(uint32_t value) {
  if (g_pDisplay)
    g_pDisplay->SetRefreshRate(static_cast<uint8_t>(value));
  else
    lcd_set_nv(nv::quorFrameRate, value & 0xFF);
}

void show_pixels(CLCD* lcd, uint32_t line, uint8_t align) {
  const uint32_t modules = lcd_nv(nv::quorCANMaxLineLength);
  if (modules == 0)
    lcd->Printf(line, align, "DEFAULT");
  else
    lcd->Printf(line, align, "%d", static_cast<int>(modules * current_module()->width));
}

// The bus carries whole modules.
void store_pixels(uint32_t value) {
  const uint32_t width = current_module()->width ? current_module()->width : 1;
  const uint32_t modules = value / width;
  lcd_set_nv(nv::quorCANMaxLineLength, modules > 255 ? 255 : modules);
  lcd_set_nv(nv::quorFrameRate, 0);
  lcd_set_nv(nv::quorBitsPerColour, 0);
  if (g_pDisplay) g_pDisplay->UpdateDriverInfo();
}

const lcd_number_page kBitsPerColour = {
    .title = "NUMBER BITS/COLOR", .rights = LCD_RIGHT_CONFIGURATION, .label = "BITS",
    .restriction = ">= 1 AND <= 5", .min = 1, .max = 5, .show = show_bits, .store = store_bits,
};

const lcd_number_page kFramesPerSecond = {
    .title = "NUMBER FRAMES/SECOND", .rights = LCD_RIGHT_CONFIGURATION, .label = "FRAMES",
    .restriction = ">= 1 AND <= 10", .min = 1, .max = 10, .object = &nv::quorFrameRate, .store = store_frames,
};

const lcd_number_page kPixelsPerLine = {
    .title = "MAXIMUM PIXELS PER CAN LINE", .rights = LCD_RIGHT_CONFIGURATION, .label = "PIXELS",
    .line7 = "ZERO RESTORES DEFAULTS", .show = show_pixels, .store = store_pixels,
};

const lcd_number_page kModuleTimeout = {
    .title = "MODULE TIMEOUT", .rights = LCD_RIGHT_CONFIGURATION, .label = "TIMEOUT",
    .restriction = "=> 0 AND <= 65535", .line8 = "ENTER TIME IN SECONDS", .max = 65535,
    .object = &nv::quorModTimeout,
};

}  // namespace

// ---------------------------------------------------------------- bus speed

CLCD_ModuleBaudRate::CLCD_ModuleBaudRate(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "MODULE BAUD RATE", "MODULE BAUD RATE", LCD_RIGHT_CONFIGURATION) {
  m_Item.kind = WIZARD_CHOICE;
  m_Item.choice.title = "MODULE BAUD RATE";
  m_Item.choice.choices = kSpeedTexts;
  m_Item.choice.per_page = 6;
  AddItem(&m_Item);
}

void CLCD_ModuleBaudRate::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t code = lcd_nv(nv::quorCANBaudRate);
  const uint32_t shown = code == kDefaultSpeed ? current_module()->line_bitrate + 2u : code;
  for (uint32_t i = 1; i < 5; ++i) {
    if (kSpeedCodes[i] != shown) continue;
    if (code == kDefaultSpeed)
      lcd->Printf(line, align, "DEFAULT (%s)", kSpeedTexts[i]);
    else
      lcd->Printf(line, align, "%s", kSpeedTexts[i]);
  }
}

void CLCD_ModuleBaudRate::Finish(CLCD_Manager*) {
  if (m_Item.choice.selected >= 5) return;
  const uint8_t code = kSpeedCodes[m_Item.choice.selected];
  const uint8_t index = code == kDefaultSpeed ? current_module()->line_bitrate : static_cast<uint8_t>(code - 2);
  if (can_db_driver* lines = CQ5DisplayDriver::LineDriver()) lines->SendTemplatePacket(kSpeedTemplate, index);
  lcd_set_nv(nv::quorCANBaudRate, code);
}

// ---------------------------------------------------------------- special features

CLCD_SpecialFeatureConfig::CLCD_SpecialFeatureConfig(CLCD_MenuId id)
    : CLCD_SwitchList(id, "QUOR SPECIAL FEATURES", "", LCD_RIGHT_CONFIGURATION, 2) {}

void CLCD_SpecialFeatureConfig::Enter(CLCD_Manager* mgr) {
  CLCD_SwitchList::Enter(mgr);
  m_byPageCount = 2;
  m_byDrawn = 0;
}

bool CLCD_SpecialFeatureConfig::Toggle(uint32_t index) {
  if (index % kPerPage >= m_byDrawn || index >= kOptions) return false;
  lcd_set_nv(nv::quorSpecialFeatureSet, lcd_nv(nv::quorSpecialFeatureSet) ^ kFeatures[index].bit);
  return true;
}

void CLCD_SpecialFeatureConfig::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (!lcd || mode == LCD_DRAW_REFRESH) return;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  for (uint32_t line = 2; line <= 7; ++line) lcd->ClearLine(line);
  const uint32_t set = lcd_nv(nv::quorSpecialFeatureSet);
  m_byDrawn = 0;
  for (uint32_t k = m_byPage * kPerPage; k < kOptions && k / kPerPage == m_byPage; ++k) {
    const uint32_t line = k % kPerPage + 2;
    lcd->PrintfAt(line, 1, "%d) %s", static_cast<int>(k % kPerPage + 1), kFeatures[k].text);
    lcd->Printf(line, LCD_ALIGN_RIGHT, "%s", (set & kFeatures[k].bit) ? "ON" : "OFF");
    ++m_byDrawn;
  }
  lcd_draw_page_arrows(lcd, m_byPage, m_byPageCount - 1u);
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_baud_rate(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_ModuleBaudRate(id); }
CMenuItem* create_features(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_SpecialFeatureConfig(id); }
}  // namespace

const class_descriptor g_bits_per_colour_class = {kBitsPerColourType, lcd_create_number_page<kBitsPerColour>};
const class_descriptor g_frames_per_second_class = {kFramesPerSecondType, lcd_create_number_page<kFramesPerSecond>};
const class_descriptor g_pixels_per_line_class = {kPixelsPerLineType, lcd_create_number_page<kPixelsPerLine>};
const class_descriptor g_module_timeout_class = {kModuleTimeoutType, lcd_create_number_page<kModuleTimeout>};
const class_descriptor g_module_baud_rate_class = {kBaudRateType, create_baud_rate};
const class_descriptor g_special_features_class = {kSpecialFeaturesType, create_features};
