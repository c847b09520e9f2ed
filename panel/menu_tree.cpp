// The menu table (every page, in build and search order) and the builder
// that links the pages into the tree: titles and settings the classes do
// not carry, direct parents, and the entries of every list.
#include "frame/trace/trace.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/menu_bases.h"

const lcd_menu_row g_lcd_menu_table[] = {
    {0, 1},     {1, 2},     {2, 3},     {3, 19},    {4, 20},    {5, 21},    {7, 22},    {11, 27},   {12, 28},
    {7, 29},    {13, 30},   {7, 25},    {14, 31},   {15, 32},   {16, 33},   {10, 26},   {9, 24},    {8, 23},
    {141, 36},  {18, 37},   {19, 38},   {141, 4},   {24, 5},    {25, 6},    {26, 7},    {27, 8},    {28, 9},
    {29, 10},   {30, 11},   {31, 12},   {141, 13},  {29, 14},   {30, 15},   {31, 16},   {34, 35},   {32, 17},
    {33, 18},   {35, 44},   {141, 45},  {141, 46},  {141, 47},  {36, 49},   {37, 50},   {39, 52},   {40, 53},
    {43, 57},   {42, 56},   {157, 211}, {141, 48},  {44, 82},   {57, 77},   {59, 78},   {58, 79},   {141, 60},
    {52, 61},   {53, 62},   {54, 63},   {55, 65},   {51, 64},   {64, 83},   {66, 85},   {141, 86},  {67, 87},
    {67, 88},   {67, 89},   {67, 90},   {67, 91},   {67, 92},   {67, 93},   {67, 94},   {67, 95},   {56, 70},
    {143, 196}, {144, 197}, {145, 199}, {41, 54},   {60, 80},   {61, 81},   {141, 71},  {63, 72},   {63, 73},
    {63, 75},   {47, 66},   {48, 67},   {49, 68},   {50, 69},   {141, 98},  {141, 99},  {70, 100},  {71, 101},
    {72, 102},  {73, 103},  {74, 104},  {68, 96},   {69, 97},   {75, 105},  {141, 106}, {70, 107},  {71, 108},
    {72, 109},  {73, 110},  {74, 111},  {75, 112},  {141, 113}, {70, 114},  {71, 115},  {72, 116},  {73, 117},
    {74, 118},  {75, 119},  {141, 120}, {70, 121},  {71, 122},  {73, 123},  {74, 124},  {75, 125},  {141, 126},
    {70, 127},  {71, 128},  {73, 129},  {74, 130},  {77, 139},  {76, 131},  {78, 132},  {79, 133},  {80, 134},
    {81, 135},  {84, 136},  {85, 137},  {149, 203}, {150, 204}, {151, 205}, {152, 206}, {153, 207}, {146, 200},
    {148, 202}, {147, 201}, {154, 208}, {155, 209}, {156, 210}, {75, 138},  {141, 153}, {141, 154}, {86, 155},
    {87, 156},  {105, 175}, {96, 166},  {88, 157},  {141, 158}, {89, 159},  {90, 161},  {93, 160},  {94, 164},
    {95, 165},  {97, 167},  {112, 185}, {99, 169},  {111, 181}, {110, 180}, {101, 171}, {102, 172}, {103, 173},
    {100, 170}, {104, 174}, {107, 177}, {109, 179}, {113, 182}, {115, 184}, {108, 178}, {118, 188}, {120, 190},
    {121, 191}, {123, 193}, {119, 189}, {124, 195}, {141, 140}, {126, 141}, {127, 142}, {128, 143}, {129, 144},
    {130, 145}, {131, 146}, {132, 147}, {133, 148}, {134, 149}, {135, 150}, {136, 151}, {137, 212}, {139, -1},
    {142, 198},
};
const uint32_t g_lcd_menu_table_rows = sizeof g_lcd_menu_table / sizeof g_lcd_menu_table[0];

namespace {

uint8_t s_product_board = 0;

struct title_row {
  CLCD_MenuId id;
  const char* en;
  const char* fr;
};
// Titles the builder gives: the plain lists and the pages whose class
// serves several ids.
const title_row kTitles[] = {
    {4, "DIAGNOSTICS", "DIAGNOSTICS"},
    {13, "REAL TIME PIXEL RESULTS", ""},
    {21, "MESSAGE CONTROL", nullptr},
    {36, "QUICK SCHEDULE", "HORAIRE RAPIDE"},
    {45, "CONFIGURATION", "CONFIGURATION"},
    {46, "SYSTEM CONFIGURATION", "CONFIGURATION DE L'ENSEIGNE"},
    {47, "CONFIGURE DISPLAY", ""},
    {48, "CONFIGURE OPTIONS", ""},
    {60, "SPECIAL FEATURES", "FONCTIONNALITES SPECIALES"},
    {71, "REPROGRAM DEVICES", ""},
    {86, "LINE LENGTHS", ""},
    {98, "COMMUNICATION CONFIGURATION", "CONFIGURATION DE LA COMMUNICATION"},
    {99, "CENTRAL CONTROL PORT", "PORT MODEM EXTERNE"},
    {106, "AUXILIARY CONTROL PORT", "PORT ACCESSOIRE"},
    {120, "LOCAL CONTROL PORT", "PORT LOCAL"},
    {126, "ETHERNET CONTROL PORT", "PORT ETHERNET"},
    {140, "*** SYSTEM ERRORS ***", ""},
    {153, "PERIPHERAL CONFIGURATION", "CONFIGURATION DES PERIPHERIQUES"},
    {154, "ADD PERIPHERALS", "AJOUTER PERIPHERIQUES"},
    {158, "ADD FAN MONITORING", ""},
    {10, "PIXEL TEST RESULTS BITMAP", "AFFICHAGE DU RESULTAT GRAPHIQUE"},
    {11, "PIXEL TEST RESULTS LIST", "AFFICHAGE DU RESULTAT EN LISTE"},
    {12, "CLEAR PIXEL TEST RESULTS", "EFFACER LE RESULTAT DU TEST DE PIXEL"},
    {14, "REAL TIME PIXEL RESULTS BITMAP", ""},
    {15, "REAL TIME PIXEL RESULTS LIST", ""},
    {16, "CLEAR REAL TIME PIXEL RESULTS", ""},
    {29, "PREVIEW A MESSAGE", ""},
    {22, "RUN SAVED MESSAGE", "AFFICHER MESSAGE"},
    {25, "DELETE MESSAGE", "SUPPRIMER UN MESSAGE"},
};

struct rights_row {
  CLCD_MenuId id;
  uint32_t rights;
};
const rights_row kRights[] = {
    {22, LCD_RIGHT_RUN_MESSAGES},    {25, LCD_RIGHT_EDIT_MESSAGES},   {29, LCD_RIGHT_EDIT_MESSAGES},
    {71, LCD_RIGHT_CONFIGURATION},   {99, LCD_RIGHT_COMMUNICATION},   {106, LCD_RIGHT_COMMUNICATION},
    {113, LCD_RIGHT_COMMUNICATION},  {120, LCD_RIGHT_COMMUNICATION},  {126, LCD_RIGHT_COMMUNICATION},
};

struct interval_row {
  CLCD_MenuId id;
  uint8_t interval;
};
const interval_row kIntervals[] = {{36, 1}, {99, 4}, {106, 4}, {113, 4}, {120, 4}, {14, 20}, {15, 20}};

struct parent_row {
  CLCD_MenuId id;
  CLCD_MenuId parent;
};
const parent_row kParents[] = {{20, 19}, {30, 29}, {24, 23}, {26, 25}, {31, 28},
                               {32, 31}, {205, 204}, {206, 204}, {207, 204}};

struct list_row {
  CLCD_MenuId list;
  CLCD_MenuId entries[24];  // 0 ends
};
const list_row kLists[] = {
    {3, {21, 4, 44, 45, 19, 140, 212}},
    {21, {22, 29, 27, 28, 25, 36}},
    {36, {37, 38}},
    {45, {46, 98, 153, 195}},
    {60, {64, 61, 62, 63, 65, 66, 67, 68, 69, 83, 85, 86}},
    {86, {87, 88, 89, 90, 91, 92, 93, 94, 95}},
    {153, {154, 188, 190, 191, 193, 189}},
    {154, {155, 156, 175, 166, 157, 158, 164, 165, 167, 185, 169, 181, 180, 171, 172, 173, 170, 174, 179, 182, 184,
           177, 178}},
    {158, {159, 161, 160}},
    {46, {47, 48, 54, 80, 81, 71}},
    {47, {49, 50, 53, 52, 57, 56, 211}},
    {48, {82, 77, 78, 79, 60, 70, 196, 197, 199}},
    {71, {72, 73, 75}},
    {4, {5, 6, 7, 188, 8, 9, 13, 35, 17, 18}},
    {9, {10, 11, 12}},
    {13, {14, 15, 16}},
    {140, {141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151, 10, 11, 14, 15}},
    {98, {99, 106, 113, 120, 126}},
    {99, {100, 101, 102, 103, 104, 96, 105}},
    {96, {132, 136, 137, 97}},
    {106, {107, 108, 109, 110, 111, 112}},
    {113, {114, 115, 116, 117, 118, 119}},
    {120, {121, 122, 123, 124, 125}},
    {126, {127, 128, 129, 130, 139, 131, 138}},
    {131, {132, 133, 134, 135, 136, 137, 203, 204, 200, 202, 201, 208, 209, 210}},
};

constexpr CLCD_MenuId kDataKeyPage = 198;
constexpr CLCD_MenuId kPortList2 = 113;
constexpr CLCD_MenuId kOptionsList = 48;

}  // namespace

void lcd_set_product_board(uint8_t id) { s_product_board = id; }
uint8_t lcd_product_board() { return s_product_board; }

uint32_t CLCD_Manager::BuildMenuTree() {
  uint32_t missing = 0;
  auto page = [&](CLCD_MenuId id) -> CMenuItem* {
    CMenuItem* p = FindMenu(id, nullptr);
    if (!p) missing = 1;
    return p;
  };

  m_pStartMenu = page(LCD_MENU_SPLASH);

  for (const title_row& t : kTitles) {
    if (CMenuItem* p = page(t.id)) {
      p->m_pszTitle = t.en;
      if (t.fr) p->m_pszTitleFr = t.fr;
    }
  }
  for (const rights_row& r : kRights)
    if (CMenuItem* p = page(r.id)) p->m_dwRights = r.rights;
  for (const interval_row& r : kIntervals)
    if (CMenuItem* p = page(r.id)) p->m_byRedrawInterval = r.interval;
  // Classes that serve several ids (message lists, pixel-result pages,
  // line lengths, port pages) take their per-page settings here once they
  // are built; the option list's footnote is the one of the lists.
  if (CLCD_MenuItemEx* options = dynamic_cast<CLCD_MenuItemEx*>(page(kOptionsList)))
    options->m_pszFooter = "* = REQUIRES REBOOT";

  for (const parent_row& r : kParents) {
    CMenuItem* p = page(r.id);
    CMenuItem* parent = page(r.parent);
    if (p && parent) p->m_pParent = parent;
  }

  for (const list_row& l : kLists) {
    CLCD_MenuItemEx* list = dynamic_cast<CLCD_MenuItemEx*>(page(l.list));
    if (!list) continue;
    for (CLCD_MenuId id : l.entries) {
      if (id == 0) break;
      if (CMenuItem* entry = page(id)) list->AddSubMenu(entry);
    }
  }

  // What depends on the product board.
  if (CMenuItem* p = page(kPortList2)) {
    p->m_pszTitle = (s_product_board == 5 || s_product_board == 6) ? "AUXILIARY CONTROL PORT 2"
                                                                     : "INTERNAL MODEM CONTROL PORT";
    p->m_pszTitleFr = "PORT ACCESSOIRE 2";
  }
  if (s_product_board == 2) {
    CLCD_MenuItemEx* configuration = dynamic_cast<CLCD_MenuItemEx*>(page(LCD_MENU_CONFIGURATION));
    if (CMenuItem* datakey = page(kDataKeyPage); configuration && datakey) configuration->AddSubMenu(datakey);
  }
  return missing;
}
