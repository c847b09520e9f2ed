#include "panel/pages/geometry_pages.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "display/driver/module_type.h"
#include "display/task/display.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_keys.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kModuleTypeType = 36;
constexpr CLCD_FactoryType kMatrixTypeType = 37;
constexpr CLCD_FactoryType kSignWidthType = 39;
constexpr CLCD_FactoryType kSignHeightType = 40;
constexpr CLCD_FactoryType kSignAddressType = 42;
constexpr CLCD_FactoryType kSignAccessType = 43;
constexpr CLCD_FactoryType kSerialNumberType = 61;

constexpr uint32_t kSerialNumberModuleRow = 6;

// Character sizes A..G: millimetres (also the pixel pitch they give) and
// the text.
struct char_size {
  uint8_t mm;
  const char* text;
};
const char_size kCharSizes[8] = {
    {0, ""},
    {20, "20mm ( 6\" Character)"},
    {25, "25mm (7\" Character)"},
    {34, "34mm ( 9\" Character)"},
    {44, "44mm (12\" Character)"},
    {46, "46mm (12\" Character)"},
    {51, "51mm (14\" Character)"},
    {66, "66mm (18\" Character)"},
};
enum : uint8_t { A = 1, B, C, D, E, F, G };

struct generation {
  const char* name;
  bool small_boards;
  const lcd_module_choice* modules;
  uint32_t count;
};
struct colour {
  const char* name;
  const generation* generations;
  uint32_t count;
};

// Every list is built from modules that exist, so a choice always selects
// one; boards 5 and 6 see the first generation of each colour, and of it
// the modules they drive.
const lcd_module_choice kMono1[] = {{21, 7, 5, {D, G}, true},
                                    {22, 9, 5, {D, G}, true},
                                    {23, 8, 8, {C, E}, true},
                                    {154, 7, 15, {C}, true},
                                    {24, 16, 16, {A, C, D, G}, true}};
const lcd_module_choice kMono2[] = {
    {1, 7, 5, {D, G}, false}, {2, 9, 5, {D, G}, false}, {3, 8, 8, {C, E}, false},
    {4, 16, 16, {A}, false},  {5, 5, 7, {D, G}, false}};
const lcd_module_choice kMono3[] = {{126, 7, 5, {D, G}, false}, {127, 9, 5, {D, G}, false}, {128, 8, 8, {C, E}, false}};
const lcd_module_choice kMono4[] = {
    {6, 7, 5, {D, G}, false}, {7, 9, 5, {D, G}, false}, {8, 9, 6, {D, G}, false}, {106, 8, 5, {D, G}, false}};
const lcd_module_choice kRedGreen1[] = {{102, 7, 5, {D, G}, true},
                                        {169, 7, 15, {C}, true},
                                        {103, 9, 5, {D, G}, false},
                                        {104, 8, 8, {C, E}, false},
                                        {105, 16, 16, {A}, false}};
const lcd_module_choice kRedGreen2[] = {
    {13, 7, 5, {D, G}, false}, {14, 9, 5, {D, G}, false}, {15, 8, 8, {C, E}, false}, {27, 5, 4, {B, F}, false}};
const lcd_module_choice kColour1[] = {{97, 16, 16, {A, C, D, G}, true}};
const lcd_module_choice kColour2[] = {{17, 7, 5, {D, G}, false}, {18, 9, 5, {D, G}, false}, {19, 8, 8, {C, E}, false}};

#define LCD_COUNT(a) (sizeof(a) / sizeof((a)[0]))
const char* const kGen4 = "GEN 4 (24 Volt Bus)";
const generation kMonoGenerations[] = {{kGen4, true, kMono1, LCD_COUNT(kMono1)},
                                       {"SMART DRIVER", false, kMono2, LCD_COUNT(kMono2)},
                                       {"SMART DRIVER REPLACEMENT", false, kMono3, LCD_COUNT(kMono3)},
                                       {"MPSC UPGRADE", false, kMono4, LCD_COUNT(kMono4)}};
const generation kRedGreenGenerations[] = {{kGen4, true, kRedGreen1, LCD_COUNT(kRedGreen1)},
                                           {"SMART DRIVER", false, kRedGreen2, LCD_COUNT(kRedGreen2)}};
const generation kColourGenerations[] = {{kGen4, true, kColour1, LCD_COUNT(kColour1)},
                                         {"SMART DRIVER", false, kColour2, LCD_COUNT(kColour2)}};
const colour kColours[] = {{"MONOCHROME", kMonoGenerations, LCD_COUNT(kMonoGenerations)},
                           {"RED-GREEN", kRedGreenGenerations, LCD_COUNT(kRedGreenGenerations)},
                           {"FULL COLOR", kColourGenerations, LCD_COUNT(kColourGenerations)}};
#undef LCD_COUNT

bool small_board() {
  const uint8_t board = lcd_product_board();
  return board == 5 || board == 6;
}

// The n-th (from 1) entry of a list that the board is offered; null when
// there are fewer.
const generation* offered_generation(const colour& c, uint32_t n) {
  for (uint32_t i = 0; i < c.count; ++i)
    if ((!small_board() || c.generations[i].small_boards) && --n == 0) return &c.generations[i];
  return nullptr;
}
const lcd_module_choice* offered_module(const generation& g, uint32_t n) {
  for (uint32_t i = 0; i < g.count; ++i)
    if ((!small_board() || g.modules[i].small_boards) && --n == 0) return &g.modules[i];
  return nullptr;
}


// The module's rows and columns of the module type in use.
const module_type_row* current_module() { return find_module_type(lcd_nv(nv::quorModuleID)); }

}  // namespace

// ---------------------------------------------------------------- module type

CLCD_ModuleType::CLCD_ModuleType(CLCD_MenuId id)
    : CMenuItem(id, "MODULE TYPE", "TYPE DE MODULE", LCD_RIGHT_CONFIGURATION, 0) {}

void CLCD_ModuleType::Enter(CLCD_Manager*) {
  m_byLevel = 0;
  std::memset(m_abyChoices, 0, sizeof m_abyChoices);
}

uint32_t CLCD_ModuleType::ListOfLevel(const char* out[kMaxChoices]) const {
  uint32_t n = 0;
  if (m_byLevel == 0) {
    for (const colour& c : kColours) out[n++] = c.name;
    return n;
  }
  const uint32_t ci = m_abyChoices[0];
  if (ci < 1 || ci > sizeof kColours / sizeof kColours[0]) return 0;
  const colour& c = kColours[ci - 1];
  if (m_byLevel == 1) {
    for (const generation* g; n < kMaxChoices && (g = offered_generation(c, n + 1));) out[n++] = g->name;
    return n;
  }
  const generation* g = offered_generation(c, m_abyChoices[1]);
  if (!g) return 0;
  if (m_byLevel == 2) {
    static char texts[kMaxChoices][8];
    for (const lcd_module_choice* m; n < kMaxChoices && (m = offered_module(*g, n + 1));) {
      snprintf(texts[n], sizeof texts[n], "%ux%u", m->rows, m->columns);
      out[n] = texts[n];
      ++n;
    }
    return n;
  }
  const lcd_module_choice* m = offered_module(*g, m_abyChoices[2]);
  if (!m) return 0;
  for (uint8_t s : m->sizes) {
    if (!s) break;
    out[n++] = kCharSizes[s].text;
  }
  return n;
}

const lcd_module_choice* CLCD_ModuleType::ChosenModule() const {
  const uint32_t ci = m_abyChoices[0];
  if (ci < 1 || ci > sizeof kColours / sizeof kColours[0]) return nullptr;
  const generation* g = offered_generation(kColours[ci - 1], m_abyChoices[1]);
  return g ? offered_module(*g, m_abyChoices[2]) : nullptr;
}

void CLCD_ModuleType::Apply() {
  const lcd_module_choice* m = ChosenModule();
  const uint32_t p = m_abyChoices[3];
  if (!m || p < 1 || p > 4 || !m->sizes[p - 1]) return;
  const uint8_t pitch = kCharSizes[m->sizes[p - 1]].mm;
  lcd_set_nv(nv::vmsHorizontalPitch, pitch);
  lcd_set_nv(nv::vmsVerticalPitch, pitch);
  if (g_pDisplay) g_pDisplay->UpdateSignDimensions();
  if (g_pDisplay)
    g_pDisplay->SetSignGeometry(m->type, static_cast<uint16_t>(lcd_nv(nv::vmsSignHeightPixels)),
                                static_cast<uint16_t>(lcd_nv(nv::vmsSignWidthPixels)), m->rows, m->columns);
  else
    lcd_set_nv(nv::quorModuleID, m->type);
  lcd_set_nv(nv::quorCANBaudRate, 1);
  lcd_set_nv(nv::quorCANMaxLineLength, 0);
  lcd_set_nv(nv::quorFrameRate, 0);
  lcd_set_nv(nv::quorBitsPerColour, 0);
  if (g_pDisplay) g_pDisplay->ReconfigureColours();
}

bool CLCD_ModuleType::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!mgr || !key) return false;
  const uint16_t code = lcd_key_code(*key);
  if (code >= '1' && code <= '7') {
    const uint8_t choice = static_cast<uint8_t>(code - '0');
    if (choice > m_byDrawn || m_byLevel >= kLevels) return true;
    m_abyChoices[m_byLevel] = choice;
    if (m_byLevel < kLevels - 1) {
      ++m_byLevel;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      return true;
    }
    mgr->ActivateMenu(LCD_MENU_PARENT, this, false);
    Apply();
    return true;
  }
  if (code == LCD_KEY_ESC) {
    if (m_byLevel == 0) {
      mgr->ActivateMenu(LCD_MENU_PARENT, this, false);
    } else {
      m_abyChoices[m_byLevel] = 0;
      --m_byLevel;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
    }
    return true;
  }
  return false;
}

void CLCD_ModuleType::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (!lcd || mode == LCD_DRAW_REFRESH) return;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  for (uint32_t line = 2; line <= 8; ++line) lcd->ClearLine(line);
  const char* list[kMaxChoices] = {};
  const uint32_t n = ListOfLevel(list);
  for (uint32_t i = 0; i < n; ++i) {
    if (m_byLevel == 0)
      lcd->PrintfAt(i + 2, 2, "%d) %s", static_cast<int>(i + 1), list[i]);
    else
      lcd->PrintfAt(i + 2, 1, " %d) %s", static_cast<int>(i + 1), list[i]);
  }
  m_byDrawn = static_cast<uint8_t>(n);
}

void CLCD_ModuleType::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (lcd) lcd->Printf(line, align, "%s", current_module()->name);
}

// ---------------------------------------------------------------- matrix type

namespace {
const char* const kMatrixEn[3] = {"FULL", "LINE", "CHAR"};
const char* const kMatrixFr[3] = {"PLEINE", "LIGNE", "CARACTERE"};
constexpr uint8_t kMatrixSignType[3] = {6, 5, 4};

bool matrix_next_item(CLCD_WizardItem* item, uint32_t& index) {
  if (item->kind != WIZARD_CHOICE || item->choice.selected != 1) return false;
  index = 1;
  return true;
}
}  // namespace

CLCD_MatrixType::CLCD_MatrixType(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "DISPLAY TYPE", "TYPE DE MATRICE", LCD_RIGHT_CONFIGURATION) {
  m_Type.kind = WIZARD_CHOICE;
  m_Type.choice.choices = m_apszChoices;
  m_Type.choice.per_page = 6;
  m_Type.next_item = matrix_next_item;
  m_LineHeight.kind = WIZARD_NUMBER;
  AddItem(&m_Type);
  AddItem(&m_LineHeight);
  for (uint32_t i = 0; i < 3; ++i) m_apszChoices[i] = kMatrixEn[i];
}

void CLCD_MatrixType::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_LineHeight.number.value = 0;
  for (uint32_t i = 0; i < 3; ++i) m_apszChoices[i] = lcd_text(mgr, kMatrixEn[i], kMatrixFr[i]);
  m_Type.choice.title = Title(mgr);
  m_Type.choice.selected = 0;
  m_LineHeight.number.title = lcd_text(mgr, "LINE HEIGHT", "HAUTEUR D'UNE LIGNE");
  m_LineHeight.number.label = lcd_text(mgr, "HEIGHT", "HAUTEUR");
}

void CLCD_MatrixType::DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const int h = static_cast<int>(lcd_nv(nv::vmsCharacterHeightPixels));
  const int w = static_cast<int>(lcd_nv(nv::vmsCharacterWidthPixels));
  switch (lcd_nv(nv::dmsSignType)) {
    case 4:
    case 132:
      lcd->Printf(line, align, mgr && mgr->m_dwLanguage == 1 ? "CARACTERE %dX%d" : "CHAR %dX%d", h, w);
      break;
    case 5:
    case 133:
      lcd->Printf(line, align, mgr && mgr->m_dwLanguage == 1 ? "HAUTEUR DE LA LIGNE %d" : "LINE %d HIGH", h);
      break;
    case 6:
    case 134:
      lcd->Printf(line, align, "%s", lcd_text(mgr, "FULL", "PLEINE"));
      break;
    default:
      lcd->Printf(line, align, "%s", lcd_text(mgr, "OTHER", "AUTRE"));
      break;
  }
}

void CLCD_MatrixType::Finish(CLCD_Manager*) {
  const uint32_t choice = m_Type.choice.selected;
  if (choice >= 3) return;
  lcd_set_nv(nv::dmsSignType, kMatrixSignType[choice]);
  const module_type_row* module = current_module();
  uint32_t height = 0;
  uint32_t width = 0;
  if (choice == 1) {
    // Whole module rows per line.
    const uint32_t rows = module->height ? module->height : 1;
    height = (m_LineHeight.number.value + rows - 1) / rows * rows;
  } else if (choice == 2) {
    height = module->height;
    width = module->width;
  }
  lcd_set_nv(nv::vmsCharacterHeightPixels, height > 255 ? 255 : height);
  lcd_set_nv(nv::vmsCharacterWidthPixels, width);
}

// ---------------------------------------------------------------- size

namespace {

// Width and height go through the display's geometry rule.
void store_size(bool width, uint32_t entered) {
  if (!g_pDisplay) return;
  const module_type_row* module = current_module();
  const uint16_t value = static_cast<uint16_t>(entered);
  const uint16_t height = width ? static_cast<uint16_t>(lcd_nv(nv::vmsSignHeightPixels)) : value;
  const uint16_t across = width ? value : static_cast<uint16_t>(lcd_nv(nv::vmsSignWidthPixels));
  g_pDisplay->SetSignGeometry(static_cast<uint16_t>(lcd_nv(nv::quorModuleID)), height, across, module->height,
                              module->width);
  if (width) {
    // The line lengths change: the display works out its timing again.
    lcd_set_nv(nv::quorFrameRate, 0);
    lcd_set_nv(nv::quorBitsPerColour, 0);
  }
  g_pDisplay->UpdateDriverInfo();
  g_pDisplay->UpdateSignDimensions();
}

const lcd_number_page kSignWidth = {
    .title = "DISPLAY PIXEL WIDTH", .title_fr = "LARGEUR EN PIXELS DE L'ENSEIGNE",
    .rights = LCD_RIGHT_CONFIGURATION, .label = "WIDTH", .label_fr = "LARGEUR", .min = 1, .max = 496,
    .object = &nv::vmsSignWidthPixels, .store = [](uint32_t value) { store_size(true, value); },
};

const lcd_number_page kSignHeight = {
    .title = "DISPLAY PIXEL HEIGHT", .title_fr = "HAUTEUR EN PIXELS DE L'ENSEIGNE",
    .rights = LCD_RIGHT_CONFIGURATION, .label = "HEIGHT", .label_fr = "HAUTEUR", .min = 1, .max = 255,
    .object = &nv::vmsSignHeightPixels, .store = [](uint32_t value) { store_size(false, value); },
};

const lcd_number_page kSignAddress = {
    .title = "DISPLAY ADDRESS", .title_fr = "ADRESSE DE L'ENSEIGNE", .rights = LCD_RIGHT_CONFIGURATION,
    .label = "ADDRESS", .label_fr = "ADRESSE", .restriction = "MIN 1, MAX 256", .restriction_fr = "MIN 1, MAX 256",
    .min = 1, .max = 256, .object = &nv::quorhdlcAddress,
};

}  // namespace

// ---------------------------------------------------------------- access

namespace {
const char* const kAccessTexts[5] = {"OTHER", "WALK-IN", "REAR", "FRONT", nullptr};
constexpr uint8_t kAccessValues[4] = {1, 2, 4, 8};
}  // namespace

CLCD_SignAccess::CLCD_SignAccess(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "DISPLAY ACCESS", "DISPLAY ACCESS", LCD_RIGHT_CONFIGURATION) {
  m_Item.kind = WIZARD_CHOICE;
  m_Item.choice.title = "DISPLAY ACCESS";
  m_Item.choice.choices = kAccessTexts;
  m_Item.choice.per_page = 6;
  AddItem(&m_Item);
}

void CLCD_SignAccess::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t access = lcd_nv(nv::dmsSignAccess);
  for (uint32_t i = 0; i < 4; ++i)
    if (kAccessValues[i] == access) lcd->Printf(line, align, "%s", kAccessTexts[i]);
}

void CLCD_SignAccess::Finish(CLCD_Manager*) {
  if (m_Item.choice.selected >= 4) return;
  lcd_set_nv(nv::dmsSignAccess, kAccessValues[m_Item.choice.selected]);
  if (g_pDisplay) g_pDisplay->UpdateDriverInfo();
}

// ---------------------------------------------------------------- serial number

CLCD_SignSerialNumber::CLCD_SignSerialNumber(CLCD_MenuId id)
    : CLCD_SignSerialNumber(id, "DISPLAY SERIAL NUMBER", nv::quorSignSerialNum, kSerialNumberModuleRow) {}

CLCD_SignSerialNumber::CLCD_SignSerialNumber(CLCD_MenuId id, const char* title, db_object number, uint32_t row)
    : CLCD_SimpleWizardBase(id, title, title, LCD_RIGHT_CONFIGURATION), m_Number(number), m_dwRow(row) {
  m_Item.kind = WIZARD_NUMBER;
  m_Item.number.title = title;
  m_Item.number.label = "VALUE";
  m_Item.number.line8 = "PRESS ENTER TO SAVE";
  AddItem(&m_Item);
}

void CLCD_SignSerialNumber::Enter(CLCD_Manager*) { m_Item.number.value = 0; }

void CLCD_SignSerialNumber::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (lcd) lcd->Printf(line, align, "%u", static_cast<unsigned>(lcd_nv(m_Number)));
}

void CLCD_SignSerialNumber::Finish(CLCD_Manager*) {
  const uint32_t number = m_Item.number.value;
  lcd_set_nv(m_Number, number);
  char text[24];
  if (number == 0)
    snprintf(text, sizeof text, "SN: ----");
  else
    snprintf(text, sizeof text, "SN: %u", static_cast<unsigned>(number));
  if (g_pDataBase)
    g_pDataBase->SetString(vol::moduleVersion(m_dwRow).offset, 4, text,
                           static_cast<uint32_t>(strlen(text)), g_pDataBase->mib_v, DB_NOTIFY);
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_module_type(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_ModuleType(id); }
CMenuItem* create_matrix_type(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MatrixType(id); }
CMenuItem* create_sign_access(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_SignAccess(id); }
CMenuItem* create_serial_number(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_SignSerialNumber(id); }
}  // namespace

const class_descriptor g_module_type_class = {kModuleTypeType, create_module_type};
const class_descriptor g_matrix_type_class = {kMatrixTypeType, create_matrix_type};
const class_descriptor g_sign_width_class = {kSignWidthType, lcd_create_number_page<kSignWidth>};
const class_descriptor g_sign_height_class = {kSignHeightType, lcd_create_number_page<kSignHeight>};
const class_descriptor g_sign_address_class = {kSignAddressType, lcd_create_number_page<kSignAddress>};
const class_descriptor g_sign_access_class = {kSignAccessType, create_sign_access};
const class_descriptor g_sign_serial_number_class = {kSerialNumberType, create_serial_number};
