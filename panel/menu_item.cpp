#include "panel/menu_item.h"

#include "frame/trace/trace.h"
#include "panel/lcd_manager.h"

CMenuItem::CMenuItem(CLCD_MenuId id, const char* title, const char* title_fr, uint32_t rights,
                     uint8_t redraw_interval)
    : m_iId(id),
      m_pszTitle(title ? title : ""),
      m_pszTitleFr(title_fr ? title_fr : ""),
      m_dwRights(rights),
      m_byRedrawInterval(redraw_interval) {}

CMenuItem::~CMenuItem() = default;

void CMenuItem::Enter(CLCD_Manager*) {}

void CMenuItem::Activate(CLCD_Manager* mgr) {
  mgr->m_byPeriodicInterval = m_byRedrawInterval;
  mgr->m_byPeriodicCounter = 0;
  mgr->m_byKey12Pass = 0;
}

void CMenuItem::Deactivate(CLCD_Manager* mgr, CLCD_MenuId) { mgr->m_byPeriodicInterval = 0; }

void CLCD_RightKeyPage::Activate(CLCD_Manager* mgr) {
  CMenuItem::Activate(mgr);
  m_bySavedKey12Pass = mgr->m_byKey12Pass;
  mgr->m_byKey12Pass = 1;
}

void CLCD_RightKeyPage::Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id) {
  mgr->m_byKey12Pass = m_bySavedKey12Pass;
  CMenuItem::Deactivate(mgr, new_id);
}

bool CMenuItem::HasRights(CLCD_Manager* mgr) { return (m_dwRights & mgr->m_dwRights) == m_dwRights; }

void CMenuItem::OnEvent(letter_s*) {}

void CMenuItem::DrawValue(CLCD_Manager*, CLCD*, uint32_t, uint8_t) {}

bool CMenuItem::IsBusy() { return false; }

void CMenuItem::InvalidateFiles() {}

const char* CMenuItem::Title(const CLCD_Manager* mgr) const {
  if (mgr && mgr->m_dwLanguage == 1 && m_pszTitleFr && *m_pszTitleFr) return m_pszTitleFr;
  return m_pszTitle;
}

// ---------------------------------------------------------------- factory

class_factory::~class_factory() = default;

uint32_t class_factory::Register(const class_descriptor* descriptor) {
  if (!descriptor) return 0xFFFFFFFF;
  for (uint32_t i = 0; i < m_dwCount; ++i)
    if (m_apDescriptors[i]->type == descriptor->type)
      monitor_printf("class_factory::Register: error duplicate type:%d\n", static_cast<int>(descriptor->type));
  if (m_dwCount < kCapacity) m_apDescriptors[m_dwCount++] = descriptor;
  return descriptor->type;
}

CMenuItem* class_factory::Create(CLCD_FactoryType type, CLCD_MenuId a, uint32_t b) {
  for (uint32_t i = 0; i < m_dwCount; ++i)
    if (m_apDescriptors[i]->type == type) return m_apDescriptors[i]->create ? m_apDescriptors[i]->create(a, b) : nullptr;
  return nullptr;
}
