#include "panel/pages/reprogram_pages.h"

#include <new>
#include <strings.h>

#include "frame/trace/trace.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/pages/can_reprogram.h"
#include "panel/pages/page_classes.h"

namespace {

reprogram_panel* s_panel = nullptr;
reprogram_request s_request;

const char* const kTypeChoices[] = {"DETECT (RECOMMENDED)", "SPECIFY", nullptr};
const char* const kDots[4] = {"   ", ".  ", ".. ", "..."};
constexpr uint32_t kRights = 0x00001000;

bool Programmable(const char* name) {
  for (const char* p = name; *p; ++p)
    if (strncasecmp(p, ".hex", 4) == 0 || strncasecmp(p, ".bin", 4) == 0) return true;
  return false;
}

const char* TitleOf(CLCD_MenuId id) {
  if (id == REPROGRAM_MENU_PRODUCT_BOARD) return "REPROGRAM CAN PRODUCT BOARD";
  if (id == REPROGRAM_MENU_DISTRIBUTION) return "REPROGRAM DISTRIBUTION MICRO 2";
  return "REPROGRAM MODULES";
}

}  // namespace

void lcd_reprogram_set_panel(reprogram_panel* panel) { s_panel = panel; }
reprogram_request& lcd_reprogram_request() { return s_request; }

// ---------------------------------------------------------------- progress

CLCD_Reprogram::CLCD_Reprogram(CLCD_ReprogramWiz* owner)
    : CLCD_SimpleWizardBaseMenu(76, "REPROGRAM", "REPROGRAM", kRights, 0), m_pOwner(owner) {}

void CLCD_Reprogram::Activate(CLCD_Manager* mgr) {
  CMenuItem::Activate(mgr);
  m_byState = REPROGRAM_IDLE;
  m_byPhase = 0;
  m_Item.after_key = 0;
  if (s_panel && s_panel->Busy()) {
    // A run still under way (its page was left meanwhile) is followed,
    // never changed beneath the display task.
    m_byState = REPROGRAM_RUNNING;
    return;
  }
  reprogram_request& r = s_request;
  r.state = REPROGRAM_IDLE;
  r.menu = m_pOwner->m_iId;
  const char* file = m_pOwner->m_apszFiles[m_pOwner->m_File.choice.selected];
  std::snprintf(r.file, sizeof(r.file), "%s", file ? file : "");
  r.type = m_pOwner->m_Type.choice.selected == 0 ? m_pOwner->m_wDetectedType
                                                 : static_cast<uint16_t>(m_pOwner->m_Number.number.value);
  if (s_panel && s_panel->Programmer()) s_panel->Programmer()->ResetProgress();
  r.state = REPROGRAM_RUNNING;
  m_byState = REPROGRAM_RUNNING;
  if (s_panel)
    s_panel->Post(r);
  else
    r.state = REPROGRAM_FAILURE;  // nobody to carry it out
}

bool CLCD_Reprogram::HandleKey(CLCD_Manager* mgr, LCDKeyEvent*) {
  if (m_byState >= REPROGRAM_SUCCESS) {
    mgr->RequestRedraw(LCD_DRAW_PARTIAL);
    m_Item.after_key = WIZARD_AFTER_KEY_NEXT;
  }
  return true;
}

void CLCD_Reprogram::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  m_byPhase = static_cast<uint8_t>((m_byPhase + 1) & 3);
  can_reprogram* prog = s_panel ? s_panel->Programmer() : nullptr;
  uint8_t state = s_request.state;
  // The result shows once the display task is back from the run.
  if (state >= REPROGRAM_SUCCESS && s_panel && s_panel->Busy()) state = REPROGRAM_RUNNING;
  // The request's own end is final: a run that stopped before programming
  // is a failure, never a page left waiting.
  if (state == REPROGRAM_RUNNING && prog && prog->CurrentStep() == can_reprogram::FAILURE) state = REPROGRAM_FAILURE;
  if (state == REPROGRAM_FAILURE && m_byState != REPROGRAM_FAILURE && prog)
    monitor_printf_debug("programmer error:%d\n", int(prog->ProgrammerError()));
  m_byState = state;
  switch (state) {
    case REPROGRAM_RUNNING:
      lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "PROGRAMMING, PLEASE WAIT%s", kDots[m_byPhase]);
      lcd->PrintfLine(5, LCD_ALIGN_CENTRE, "%d%%", prog ? prog->Percent() : 0);
      return;
    case REPROGRAM_SUCCESS: lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "SUCCESS"); break;
    case REPROGRAM_NO_MEMORY: lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "NO FREE MEMORY"); break;
    case REPROGRAM_BAD_FILE: lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "BAD FILE"); break;
    case REPROGRAM_FAILURE: lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "FAILURE"); break;
    default: return;
  }
  lcd->PrintfLine(5, LCD_ALIGN_CENTRE, "(PRESS ANY KEY TO CONTINUE)");
}

// ---------------------------------------------------------------- wizard

CLCD_ReprogramWiz::CLCD_ReprogramWiz(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, TitleOf(id), TitleOf(id), kRights), m_Progress(this) {
  m_File.kind = WIZARD_CHOICE;
  m_File.choice.title = "SELECT FILE TO SEND";
  m_File.choice.choices = m_apszFiles;
  m_File.choice.per_page = 6;
  m_Type.kind = WIZARD_CHOICE;
  m_Type.choice.title = "SELECT DEVICE TYPE";
  m_Type.choice.choices = kTypeChoices;
  m_Type.choice.per_page = 6;
  m_Number.kind = WIZARD_NUMBER;
  m_Number.number.title = "SPECIFY TYPE TO SEND";
  m_Number.number.label = "DEVICE TYPE";
  m_Number.number.line8 = "PRESS ENTER TO SAVE";
  AddItem(&m_File);
  AddItem(&m_Type);
  AddItem(&m_Number);
  AddItem(&m_Progress.m_Item);
}

void CLCD_ReprogramWiz::RescanFiles() {
  if (!m_bRescan) return;
  m_bRescan = false;
  uint32_t n = 0;
  char name[201];
  for (uint32_t i = 0; s_panel && n < kMaxFiles && s_panel->FileName(i, name, sizeof(name)); ++i) {
    if (!Programmable(name)) continue;
    std::snprintf(m_aszFiles[n], sizeof(m_aszFiles[n]), "%s", name);
    m_apszFiles[n] = m_aszFiles[n];
    ++n;
  }
  m_apszFiles[n] = nullptr;
}

bool CLCD_ReprogramWiz::HasRights(CLCD_Manager* mgr) {
  if (!CMenuItem::HasRights(mgr)) return false;
  RescanFiles();
  return m_apszFiles[0] != nullptr;
}

void CLCD_ReprogramWiz::Enter(CLCD_Manager* mgr) {
  RescanFiles();
  CLCD_SimpleWizardBase::Enter(mgr);
}

void CLCD_ReprogramWiz::Activate(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Activate(mgr);
  m_Progress.m_pszTitle = Title(mgr);
  m_Progress.m_pszTitleFr = Title(mgr);
  m_wDetectedType = s_panel ? s_panel->DetectedType(m_iId) : 0;
}

bool CLCD_ReprogramWiz::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  // "DETECT" skips the number.
  if (item == &m_Type && m_Type.choice.selected == 0) {
    index = 3;
    return true;
  }
  return CLCD_SimpleWizardBase::GetNextItem(mgr, item, index);
}

namespace {
CMenuItem* create_reprogram(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_ReprogramWiz(id); }
}  // namespace

const class_descriptor g_reprogram_class = {LCD_CLASS_REPROGRAM, create_reprogram};
