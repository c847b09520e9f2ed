#include "panel/service/reprogram_service.h"

#include <cstdio>

#include "database/fs/fs_system.h"
#include "display/modbus/bus_ksr7100.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/task/display.h"
#include "display/task/display_lock.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/can/can_db_driver.h"
#include "panel/pages/can_reprogram.h"
#include "panel/pages/reprogram_pages.h"
#include "panel/pages/reprogram_run.h"
#include "panel/service/flash_files.h"
#include "peripherals/peripheral_task.h"

namespace {

// The board code of the HCB distribution board.
constexpr uint8_t kHcbBoard = 27;

// What the hardware a file names must be: the first present module's type,
// or the identified distribution board.
uint8_t PresentHardware(uint32_t menu) {
  if (menu == REPROGRAM_MENU_MODULES) return g_diag_ksr7100.GetModuleType();
  return g_pDisplay ? g_pDisplay->m_byModuleInfoC : 0;
}

class ReprogramHost : public reprogram_host {
 public:
  uint8_t* TakeBlock() override {
    void* block = nullptr;
    return g_gpbuffer.Allocate(&block, GPBUFFER_REPROGRAM) ? static_cast<uint8_t*>(block) : nullptr;
  }
  void ReleaseBlock(uint8_t* block) override {
    void* p = block;
    if (p) g_gpbuffer.Release(&p);
  }
  bool SetLocalPath() override {
    CFileSystem_Driver* fs = g_pFileSystemDriver;
    return fs && flash_retry([&] { return fs->LocalPathSet(&g_fs_media, &m_Path, "./"); }) == FS_SUCCESS;
  }
  void ClearLocalPath() override { flash_clear_path(); }
  bool ReadFile(const char* name, uint8_t* buffer, size_t capacity, size_t* length) override {
    return flash_read(name, buffer, capacity, length);
  }
  uint8_t Hardware(uint32_t menu) override { return PresentHardware(menu); }
  bool HcbDistributionBoard() override {
    return g_hcb_distribution_board && g_pDisplay && g_pDisplay->m_byModuleInfoC == kHcbBoard;
  }

 private:
  fs_path_record m_Path{};
};

class ReprogramPanel : public reprogram_panel {
 public:
  bool FileName(uint32_t index, char* out, uint32_t size) override {
    uint32_t at = 0;
    bool found = false;
    flash_walk([&](const char* name, uint32_t) {
      if (at++ != index) return true;
      std::snprintf(out, size, "%s", name);
      found = true;
      return false;
    });
    return found;
  }
  uint16_t DetectedType(uint32_t menu) override { return PresentHardware(menu); }
  void Post(reprogram_request& request) override {
    // Taken by the display's next frame step: nothing that sets its state
    // meanwhile can lose the request.
    display_lock lock(g_pDisplay);
    if (g_pDisplay && lock.ok())
      g_pDisplay->m_byReprogramRequested = 1;
    else
      request.state = REPROGRAM_FAILURE;
  }
  can_reprogram* Programmer() override { return &reprogram_programmer(); }
  bool Busy() override {
    return g_pDisplay &&
           (g_pDisplay->m_byReprogramRequested || g_pDisplay->m_dwDisplayState == CDisplay::STATE_REPROGRAM);
  }
};

ReprogramHost s_host;
ReprogramPanel s_panel;

// Mode 7 of the display task.
void RunPosted() {
  reprogram_request& request = lcd_reprogram_request();
  if (request.state == REPROGRAM_RUNNING) reprogram_modules(request, s_host, reprogram_programmer());
}

void Reply(uint32_t, uint32_t id, uint32_t length, const uint8_t* data) {
  if (length <= 8) reprogram_programmer().HandleResponse(id, static_cast<uint8_t>(length), data);
}

}  // namespace

bool reprogram_send_frame(uint32_t channel, const uint8_t* data, uint8_t length) {
  can_db_driver* driver = module_line_driver();
  if (!driver) return false;
  const bool queued = driver->SendCanFrame(channel, 0, can_reprogram::REQUEST_ID, 0, length, data) == 1;
  driver->WriteEPLDPacket('2');
  return queued;
}

can_reprogram& reprogram_programmer() {
  static can_reprogram programmer(reprogram_send_frame);
  return programmer;
}

void reprogram_install() {
  lcd_reprogram_set_panel(&s_panel);
  g_pfnDisplayReprogram = RunPosted;
  g_module_link_services.reprogram_response = Reply;
}
