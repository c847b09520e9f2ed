#include "panel/service/datakey_flash.h"

#include <strings.h>

#include <cstring>

#include "database/fs/fs_driver.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/watchdog/watchdog_task.h"
#include "panel/lcd_manager.h"
#include "panel/pages/datakey_page.h"
#include "panel/service/flash_files.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"

namespace {

bool Contains(const char* haystack, const char* needle) {
  const size_t n = std::strlen(needle);
  for (const char* p = haystack; *p; ++p)
    if (strncasecmp(p, needle, n) == 0) return true;
  return false;
}

CLCD_Manager* FrontPanel() {
  CPeripheral* p = g_pPeripheralTask ? g_pPeripheralTask->GetPeripheral(PTYPE_LCD) : nullptr;
  return p && p->m_byClass == CLCD_Manager::CLASS_CODE ? static_cast<CLCD_Manager*>(p) : nullptr;
}

}  // namespace

bool CDataKeyFlashTfs::FirmwareFile(std::string* name) {
  name->clear();
  flash_walk([&](const char* file, uint32_t attributes) {
    if (!Contains(file, ".EXE") || (attributes & FIRMWARE_ATTRIBUTES) != FIRMWARE_ATTRIBUTES) return true;
    *name = file;
    return false;
  });
  return !name->empty();
}

bool CDataKeyFlashTfs::Exists(const std::string& name) { return mon_tfsstat(name.c_str()) != nullptr; }

bool CDataKeyFlashTfs::Load(const std::string& name, std::vector<uint8_t>* data, uint32_t* flags, uint32_t* time) {
  // The data lie in place behind the header.
  const tfs_header* h = mon_tfsstat(name.c_str());
  if (!h) return false;
  const uint8_t* at = reinterpret_cast<const uint8_t*>(h) + h->hdr_size;
  data->assign(at, at + h->data_size);
  *flags = h->flags;
  *time = h->mod_time;
  return true;
}

bool CDataKeyFlashTfs::Create(const std::string& name, uint32_t flags, const uint8_t* data, uint32_t size) {
  return flash_create(name.c_str(), fs_tfs_flags_to_attributes(flags), data, size);
}

bool CDataKeyFlashTfs::Remove(const std::string& name) { return mon_tfsunlink(name.c_str()) == TFS_OKAY; }

uint8_t* CDataKeyFlashTfs::TakeBlock() {
  void* block = nullptr;
  return g_gpbuffer.Allocate(&block, CDataKeyJobs::BLOCK) ? static_cast<uint8_t*>(block) : nullptr;
}

void CDataKeyFlashTfs::ReleaseBlock(uint8_t* block) {
  void* p = block;
  if (p) g_gpbuffer.Release(&p);
}

void CDataKeyFlashTfs::Quiet(bool on) {
  if (on) {
    // The panel and the watchdog first: both may wait, which the masked
    // worker should not do.
    m_pPanel = FrontPanel();
    if (m_pPanel) m_pPanel->m_Lcd.Suspend();
    m_bWatchdogOff = g_pWatchdog && g_pWatchdog->Disable() == 1;
    m_uPosture = tx_interrupt_control(TX_INT_DISABLE);
    return;
  }
  tx_interrupt_control(m_uPosture);
  if (m_pPanel) {
    m_pPanel->m_Lcd.Resume();
    m_pPanel->m_Lcd.Clear();
  }
  m_pPanel = nullptr;
  if (m_bWatchdogOff) g_pWatchdog->Enable();
  m_bWatchdogOff = false;
}

void datakey_install() {
  // Made once and kept: the worker may outlive any page.
  static CDataKeyMedium* key = new CDataKeyMedium();
  static CDataKeyFlashTfs* flash = new CDataKeyFlashTfs();
  static CDataKeyJobs* jobs = new CDataKeyJobs(key, flash);
  if (!jobs->WorkerAlive()) jobs->SetState(CDataKeyJobs::NO_KEY);
  lcd_datakey_set_jobs(jobs);
}
